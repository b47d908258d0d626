#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace exchange {

// Failure of a table operation. The message (UTF-8, as every exception text) is the operation's name, ": "
// and the reason.
class ED : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Field types as the callers pass and receive them; the letter in the file follows each name.
enum TDbfFieldType : std::uint8_t {
    dftLogical = 0,   // L, length 1: "True", "False", " " or "" when read; TRUE/YES, FALSE/NO when written
    dftDate = 1,      // D, length 8: "yyyymmdd" in the file, dd.mm.yy outside
    dftFloat = 2,     // F: right-aligned number with '.', the regional separator outside
    dftNumeric = 3,   // N: as F
    dftCharacter = 4, // C: left-aligned text, read in the code page the table's mark names
    dftUnknown = 5,   // any other letter (only returned by GetFieldType)
};

// The date written into the header. The clock is a test seam: nullptr restores the local calendar date.
struct DbfDate {
    int year = 2001;
    int month = 1;
    int day = 1;
};
using DbfClock = DbfDate (*)();
void SetDbfClock(DbfClock clock);

// One dBase III table file (no memo file). Field numbers are 1-based; texts are 8-bit (Windows-1251):
// character fields of a table whose code-page mark names another code page (dBase's marks: 0x01 437, 0x02
// 850, 0x03 1252, 0x26 and 0x65 866, 0x64 852, 0x66 865, 0x6A 737, 0x7B 932, 0x7D 1255, 0xC8 1250, 0xCB
// 1253) are read in it; 0x57, 0xC9, 0 and any other mark read as they stand.
//
// Writing: CreateTable replaces a file of the same name only once the whole empty table is on disk (written
// beside it and renamed over it). Append, Post and the moves then change the file in place, in an order that
// keeps the file a valid table after every step: a new record and the end mark are written before the header
// counts them, so a failure or a cancel part-way leaves a table holding every record posted so far.
// EmptyTable and RewriteTable build the compacted table beside the old one and rename it over it; on a
// failure the old file and the open table stay as they were.
//
// Reading: Open checks the header against the file (header and record lengths, field count and sizes,
// record count against the file size) and refuses a malformed file with "ReadHeader: ..."; no read ever
// goes past the data.
//
// Sharing: Exclusive opens with an exclusive advisory lock, otherwise a shared one, so an exclusive table
// and any other open of the same file exclude each other.
class TDBF {
public:
    TDBF();
    // Releases the file without writing a modified record buffer (callers Close first).
    ~TDBF();
    TDBF(const TDBF&) = delete;
    TDBF& operator=(const TDBF&) = delete;

    const std::string& TableName() const { return tableName; }
    // The extension must be ".dbf" (any case); refused while open.
    void SetTableName(const std::string& name);
    bool Exclusive() const { return exclusive; }
    void SetExclusive(bool value);

    // Name upper-cased and cut to 10 characters; L has length 1 and D length 8 whatever FldSize says;
    // decimals are kept for F and N only and must leave room for a digit and the point.
    void AddFieldDefs(const std::string& Name, TDbfFieldType FldType, std::uint8_t FldSize,
                      std::uint8_t FldPrecision);
    // Creates (or replaces) the file with the field descriptors added so far and opens it. Creating the file
    // can also fail with platform::FileError.
    void CreateTable();
    void Open();
    // A modified record buffer is not written (Post first).
    void Close();

    void First();
    void Next();
    void Last();
    bool Eof() const { return recNo == recordCount; }
    bool IsEmpty() const { return recordCount < 1; }
    // A record of blanks at the end, made current.
    void Append();
    void Post();

    std::string GetFieldData(int FieldNo) const;
    // False when the field's text, read in the table's code page, holds a
    // character the ANSI code page lacks (GetFieldData gives a look-alike or
    // '?').
    bool FieldTextFitsAnsi(int FieldNo) const;
    void SetFieldData(int FieldNo, const std::string& Text);
    std::string GetFieldName(int FieldNo) const;
    TDbfFieldType GetFieldType(int FieldNo) const;

    // Sets the record count to 0 and compacts the file.
    void EmptyTable();
    // Rewrites the file with the header, the descriptors and the records the header counts (bytes beyond
    // them are dropped) and opens it again.
    void RewriteTable();

    bool Active() const { return fd >= 0; }
    std::uint32_t RecordCount() const { return recordCount; }
    int FieldCount() const { return static_cast<int>(fields.size()); }
    // Current record, 1-based; 0 when the table is empty.
    std::uint32_t RecNo() const { return recNo; }
    // The system's error number of the last write to the file that failed
    // (ED tells only which operation), 0 when none did.
    int SystemError() const { return systemError; }

private:
    struct Field {
        std::string name;
        char letter = 'C';
        std::uint8_t length = 0;
        std::uint8_t decimals = 0;
        std::size_t offset = 0; // in the record, after the deletion mark
    };

    void RequireOpen(const char* operation) const;
    const Field& FieldAt(const char* operation, int fieldNo) const;
    void ReadHeader();
    std::string ReadRecord(std::uint32_t number) const;
    void LoadRecord(std::uint32_t number);
    void WriteRecord();
    void MoveTo(const char* operation, std::uint32_t number);
    void Release() noexcept;
    // Header and descriptors of a new table without records, up to its 0x0D.
    std::string HeaderImage() const;
    std::string StoredText(const Field& field, int fieldNo, std::string text) const;
    // A character field's text of the table's code page in ANSI; `lossy` tells of characters ANSI lacks.
    std::string AnsiText(std::string_view text, bool* lossy) const;
    std::uint64_t RecordOffset(std::uint32_t number) const;

    std::string tableName;
    bool exclusive = false;
    bool modified = false;
    bool written = false;
    std::uint32_t recNo = 0;
    std::uint32_t recordCount = 0;
    int fd = -1;
    std::array<unsigned char, 32> header{};
    std::uint16_t headerLength = 0;
    std::uint16_t recordLength = 0;
    int codePage = 1251; // of the character fields, by the header's mark
    int systemError = 0;
    std::vector<Field> fields;
    std::string buffer;
};

} // namespace exchange
