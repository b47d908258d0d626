#include "platform/IniFile.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// Upper-case Windows-1251 letters outside А..Я and their lower-case partners.
constexpr unsigned char kCyrillicPairs[][2] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
    {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
    {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// One line of the file: [begin, end) is its text, [end, next) its line break (CR LF, LF, CR or none).
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

enum class Kind { Other, Section, Key };

struct ParsedLine {
    Kind kind = Kind::Other;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // raw value after '=' (keys only)
};

class IniText {
public:
    explicit IniText(std::string data) : text(std::move(data)) { Split(); }

    const std::string& Text() const { return text; }
    std::size_t LineCount() const { return lines.size(); }

    ParsedLine Parse(std::size_t i) const {
        std::string_view raw(text.data() + lines[i].begin, lines[i].end - lines[i].begin);
        if (i == 0 && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
        std::string_view t = Trim(raw);
        ParsedLine p;
        if (!t.empty() && t.front() == '[') {
            t.remove_prefix(1);
            auto close = t.find(']');
            p.kind = Kind::Section;
            p.name = Trim(t.substr(0, close));
            return p;
        }
        auto eq = t.find('=');
        if (eq == std::string_view::npos) return p;
        p.kind = Kind::Key;
        p.name = Trim(t.substr(0, eq));
        p.value = t.substr(eq + 1);
        return p;
    }

    // Index of the first header of the section, if any.
    std::optional<std::size_t> FindSection(std::string_view section, std::size_t from = 0) const {
        std::string_view wanted = Trim(section);
        for (std::size_t i = from; i < lines.size(); ++i) {
            ParsedLine p = Parse(i);
            if (p.kind == Kind::Section && SameTextAnsi(p.name, wanted)) return i;
        }
        return std::nullopt;
    }

    // One past the last line of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const {
        std::size_t i = header + 1;
        while (i < lines.size() && Parse(i).kind != Kind::Section) ++i;
        return i;
    }

    std::optional<std::size_t> FindKey(std::string_view section, std::string_view key) const {
        auto header = FindSection(section);
        if (!header) return std::nullopt;
        std::string_view wanted = Trim(key);
        std::size_t end = SectionEnd(*header);
        for (std::size_t i = *header + 1; i < end; ++i) {
            ParsedLine p = Parse(i);
            if (p.kind == Kind::Key && SameTextAnsi(p.name, wanted)) return i;
        }
        return std::nullopt;
    }

    bool IsBlankLine(std::size_t i) const {
        return Trim(std::string_view(text.data() + lines[i].begin, lines[i].end - lines[i].begin)).empty();
    }

    void ReplaceLineText(std::size_t i, std::string_view newText) {
        std::string rebuilt = text.substr(0, lines[i].begin);
        rebuilt += newText;
        rebuilt += text.substr(lines[i].end);
        Reset(std::move(rebuilt));
    }

    // Inserts whole lines before line i (i == LineCount() appends).
    void InsertLines(std::size_t i, std::string_view newLines) {
        std::string rebuilt;
        if (i >= lines.size()) {
            rebuilt = text;
            if (!lines.empty() && lines.back().next == lines.back().end) rebuilt += LineBreak();
            rebuilt += newLines;
        } else {
            rebuilt = text.substr(0, lines[i].begin);
            rebuilt += newLines;
            rebuilt += text.substr(lines[i].begin);
        }
        Reset(std::move(rebuilt));
    }

    void EraseLines(std::size_t first, std::size_t last) {
        std::size_t from = lines[first].begin;
        std::size_t to = last < lines.size() ? lines[last].begin : text.size();
        Reset(text.substr(0, from) + text.substr(to));
    }

    // The line break the file already uses, CR LF for a new file.
    std::string LineBreak() const {
        for (const Line& l : lines) {
            if (l.next > l.end) return text.substr(l.end, l.next - l.end);
        }
        return "\r\n";
    }

private:
    void Reset(std::string data) {
        text = std::move(data);
        Split();
    }

    void Split() {
        lines.clear();
        std::size_t pos = 0;
        while (pos < text.size()) {
            Line l;
            l.begin = pos;
            while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') ++pos;
            l.end = pos;
            if (pos < text.size()) {
                if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
                ++pos;
            }
            l.next = pos;
            lines.push_back(l);
        }
    }

    std::string text;
    std::vector<Line> lines;
};

// The file's bytes; empty when it does not exist. `mustRead` makes other failures throw (before a write,
// where reading nothing would wipe the file's other settings).
std::string Load(const std::string& path, bool mustRead) {
    try {
        return ReadWholeFile(path);
    } catch (const FileError& e) {
        if (!mustRead) return {};
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) return {};
        if (fd >= 0) ::close(fd);
        throw IniError(std::string("Не вдається оновити файл налаштувань: ") + e.what());
    }
}

void Store(const std::string& path, const std::string& text) {
    try {
        WriteFileAtomic(path, text);
    } catch (const FileError& e) {
        throw IniError(std::string("Не вдається зберегти файл налаштувань: ") + e.what());
    }
}

std::string_view Unquote(std::string_view v) {
    v = Trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

void CheckName(std::string_view what, std::string_view name, const std::string& path) {
    std::string_view t = Trim(name);
    bool bad = t.empty() || name.find_first_of("\r\n") != std::string_view::npos;
    if (what == "key")
        bad = bad || t.find('=') != std::string_view::npos || t.front() == '[';
    else
        bad = bad || t.find(']') != std::string_view::npos;
    if (bad)
        throw IniError("Не вдається зберегти файл налаштувань " + path + ": недопустима назва " +
                       std::string(what == "key" ? "ключа" : "секції") + " \"" + std::string(name) + "\"");
}

// A 32-bit integer: decimal with an optional sign, or hexadecimal after "0x" or "$".
std::optional<int> ParseInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (!s.empty() && s[0] == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal texts name the 32 bits: $FFFFFFFF is -1.
        auto bits = static_cast<std::uint32_t>(v);
        if (negative) bits = 0u - bits;
        return static_cast<int>(bits);
    }
    if (negative) {
        if (v > 2147483648ull) return std::nullopt;
        return static_cast<int>(-static_cast<std::int64_t>(v));
    }
    if (v > 2147483647ull) return std::nullopt;
    return static_cast<int>(v);
}

} // namespace

unsigned char LowerAnsi(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDF) return static_cast<unsigned char>(c + 0x20);
    for (const auto& pair : kCyrillicPairs) {
        if (pair[0] == c) return pair[1];
    }
    return c;
}

bool SameTextAnsi(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAnsi(static_cast<unsigned char>(a[i])) != LowerAnsi(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

IniFile::IniFile(std::string path) : path(std::move(path)) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    IniText ini(Load(path, false));
    auto line = ini.FindKey(section, key);
    if (!line) return std::string(def);
    return std::string(Unquote(ini.Parse(*line).value));
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    std::string text = ReadString(section, key, "");
    return ParseInteger(text).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

namespace {

// One key's write into the text, as WriteString does it.
void PutValue(IniText& ini, std::string_view section, std::string_view key, std::string_view value,
              const std::string& path) {
    CheckName("section", section, path);
    CheckName("key", key, path);
    std::string flat(value);
    for (char& c : flat) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    std::string br = ini.LineBreak();
    if (auto line = ini.FindKey(section, key)) {
        ParsedLine p = ini.Parse(*line);
        ini.ReplaceLineText(*line, std::string(p.name) + "=" + flat);
    } else if (auto header = ini.FindSection(section)) {
        // After the section's last non-blank line, so blank lines before the next section stay there.
        std::size_t at = ini.SectionEnd(*header);
        while (at > *header + 1 && ini.IsBlankLine(at - 1)) --at;
        ini.InsertLines(at, std::string(Trim(key)) + "=" + flat + br);
    } else {
        ini.InsertLines(ini.LineCount(), "[" + std::string(Trim(section)) + "]" + br +
                                             std::string(Trim(key)) + "=" + flat + br);
    }
}

} // namespace

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    IniText ini(Load(path, true));
    PutValue(ini, section, key, value, path);
    Store(path, ini.Text());
}

void IniFile::WriteValues(std::string_view section,
                          std::span<const std::pair<std::string, std::string>> values) {
    IniText ini(Load(path, true));
    for (const auto& [key, value] : values) PutValue(ini, section, key, value, path);
    Store(path, ini.Text());
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool IniFile::SectionExists(std::string_view section) const {
    return IniText(Load(path, false)).FindSection(section).has_value();
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    return IniText(Load(path, false)).FindKey(section, key).has_value();
}

void IniFile::EraseSection(std::string_view section) {
    IniText ini(Load(path, true));
    bool changed = false;
    while (auto header = ini.FindSection(section)) {
        ini.EraseLines(*header, ini.SectionEnd(*header));
        changed = true;
    }
    if (changed) Store(path, ini.Text());
}

} // namespace platform
