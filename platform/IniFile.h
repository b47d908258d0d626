#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// A settings file could not be written; the old file is left as it was.
class IniError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A classic ini file ("[SECTION]" headers, "key=value" lines) read and written the way Windows private
// profiles are:
// - section and key names compare without regard to case (ASCII and Windows-1251 letters), blanks around
//   them ignored; the first matching section and the first matching key in it win;
// - a value loses its leading and trailing blanks and one pair of enclosing quotes ('...' or "...");
// - every call reads the file afresh, so several objects on one file see each other's writes;
// - a missing or unreadable file reads as empty;
// - each write changes only its own line (or adds one) and keeps every other byte of the file, then
//   replaces the file atomically; a write that cannot be done throws IniError.
// Texts are 8-bit bytes, kept as they are.
// A section exists when its header is in the file, even with no keys under it.
class IniFile {
public:
    explicit IniFile(std::string path);

    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // Decimal (optional sign) or "0x"/"$" hexadecimal text; anything else, or a value beyond 32 bits, gives
    // def.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    // Read as an integer: non-zero is true; a missing or non-numeric value gives def.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // Line breaks inside a value would split the line into others; they are written as blanks.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    // Writes "1" or "0".
    void WriteBool(std::string_view section, std::string_view key, bool value);
    // Writes the keys of one section in order, as WriteString would one after the other, with one write
    // of the file.
    void WriteValues(std::string_view section, std::span<const std::pair<std::string, std::string>> values);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // Removes every section of that name with all its lines.
    void EraseSection(std::string_view section);

    const std::string& FileName() const { return path; }

private:
    std::string path;
};

// Lower case of a Windows-1251 byte (ASCII and Cyrillic letters); other bytes are returned unchanged.
unsigned char LowerAnsi(unsigned char c);
// Equality of two Windows-1251 texts without regard to case.
bool SameTextAnsi(std::string_view a, std::string_view b);

} // namespace platform
