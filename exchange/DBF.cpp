#include "exchange/DBF.h"

#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exchange {

namespace {

constexpr std::size_t DescriptorSize = 32;
constexpr unsigned char HeaderEnd = 0x0D;
constexpr char EndMark = 0x1A;
// dBase's code-page marks (header byte 29) and the code page each names; 0x57
// is the system's ANSI code page, the register's 1251. Texts of a table
// marked otherwise (0 among them) are taken as they stand.
struct CodePageMark {
    unsigned char mark;
    int codePage;
};
constexpr CodePageMark CodePageMarks[] = {
    {0x01, 437}, {0x02, 850}, {0x03, 1252}, {0x26, 866},  {0x57, 1251}, {0x64, 852},  {0x65, 866},
    {0x66, 865}, {0x6A, 737}, {0x7B, 932},  {0x7D, 1255}, {0xC8, 1250}, {0xC9, 1251}, {0xCB, 1253},
};
constexpr int AnsiCodePage = 1251;

int CodePageOfMark(unsigned char mark) {
    for (const CodePageMark& m : CodePageMarks)
        if (m.mark == mark) return m.codePage;
    return AnsiCodePage;
}
// Field names are at most 10 characters, so a descriptor must leave room for the type letter at byte 11.
constexpr std::size_t NameLength = 10;

DbfClock clock = nullptr;

DbfDate Today() {
    if (clock) return clock();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

[[noreturn]] void Fail(std::string_view utf8, const std::string& tail = {}) {
    throw ED(std::string(utf8) + tail);
}

std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutU16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& s, std::size_t at, std::uint32_t v) {
    PutU16(s, at, v & 0xFFFF);
    PutU16(s, at + 2, v >> 16);
}

void PutDate(std::string& s, const DbfDate& d) {
    s[1] = static_cast<char>(std::clamp(d.year - 1900, 0, 255));
    s[2] = static_cast<char>(d.month);
    s[3] = static_cast<char>(d.day);
}

bool ReadAt(int fd, std::uint64_t offset, char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

// 0, or the system's error number of the write that failed.
int WriteAt(int fd, std::uint64_t offset, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

bool IsBlank(unsigned char c) {
    return c <= 32;
}

std::string Trim(std::string_view s) {
    while (!s.empty() && IsBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && IsBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

std::string UpperAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

struct TypeLetter {
    TDbfFieldType type;
    char letter;
};
constexpr TypeLetter TypeLetters[] = {
    {dftLogical, 'L'}, {dftDate, 'D'}, {dftFloat, 'F'}, {dftNumeric, 'N'}, {dftCharacter, 'C'},
};

TDbfFieldType TypeOf(char letter) {
    for (const auto& t : TypeLetters) {
        if (t.letter == letter) return t.type;
    }
    return dftUnknown;
}

char LetterOf(TDbfFieldType type) {
    for (const auto& t : TypeLetters) {
        if (t.type == type) return t.letter;
    }
    return 'C';
}

bool IsNumber(char letter) {
    return letter == 'N' || letter == 'F';
}

std::optional<int> Digits(std::string_view s) {
    if (s.empty()) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string_view Part(std::string_view s, std::size_t from, std::size_t count) {
    return from < s.size() ? s.substr(from, count) : std::string_view{};
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && LeapYear(y) ? 29 : days[m - 1];
}

// dd.mm.yy to yyyymmdd; two-digit years up to 50 are this century's.
std::optional<std::string> DateToFile(std::string_view text) {
    auto day = Digits(Part(text, 0, 2));
    auto month = Digits(Part(text, 3, 2));
    auto year = Digits(Part(text, 6, 2));
    if (!day || !month || !year) return std::nullopt;
    int y = *year <= 50 ? 2000 + *year : 1900 + *year;
    if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(y, *month)) return std::nullopt;
    auto two = [](int v) {
        return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
    };
    return std::to_string(y) + two(*month) + two(*day);
}

std::string LogicalToFile(const std::string& text) {
    std::string word = UpperAscii(text);
    if (word == "TRUE" || word == "YES") return "T";
    if (word == "FALSE" || word == "NO") return "F";
    return " ";
}

std::string LogicalFromFile(const std::string& text) {
    if (text.empty()) return text;
    switch (text[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
        return "True";
    case 'F':
    case 'f':
    case 'N':
    case 'n':
        return "False";
    default:
        return " ";
    }
}

std::string RowAndField(std::uint32_t recNo, int fieldNo) {
    return "Ряд: " + std::to_string(recNo) + ", Поле: " + std::to_string(fieldNo);
}

} // namespace

void SetDbfClock(DbfClock c) {
    clock = c;
}

TDBF::TDBF() = default;

TDBF::~TDBF() {
    Release();
}

void TDBF::Release() noexcept {
    if (fd >= 0) ::close(fd);
    fd = -1;
    modified = false;
    written = false;
    recNo = 0;
    recordCount = 0;
    header.fill(0);
    headerLength = 0;
    recordLength = 0;
    codePage = AnsiCodePage;
    fields.clear();
    buffer.clear();
}

void TDBF::SetTableName(const std::string& name) {
    if (Active()) Fail("TableName: Это свойство нельзя изменять, если файл открыт");
    std::string_view base(name);
    if (auto slash = base.find_last_of('/'); slash != std::string_view::npos) base.remove_prefix(slash + 1);
    auto dot = base.find_last_of('.');
    std::string ext =
        dot == std::string_view::npos ? std::string() : UpperAscii(std::string(base.substr(dot)));
    if (!name.empty() && ext != ".DBF") Fail("TableName: Недопустимый тип файла");
    tableName = name;
}

void TDBF::SetExclusive(bool value) {
    if (Active()) Fail("Exclusive: Это свойство нельзя изменять, если файл открыт");
    exclusive = value;
}

void TDBF::AddFieldDefs(const std::string& Name, TDbfFieldType FldType, std::uint8_t FldSize,
                        std::uint8_t FldPrecision) {
    if (Active()) Fail("AddFieldDefs: В открытом файле нельзя изменять описания полей");
    if (FldSize == 0) Fail("AddFieldDefs: Недопустимый размер поля");
    Field f;
    f.name = UpperAscii(Name.substr(0, NameLength));
    f.letter = LetterOf(FldType);
    f.length = f.letter == 'L' ? 1 : f.letter == 'D' ? 8 : FldSize;
    if (IsNumber(f.letter)) {
        // A number with decimals needs at least one digit before the point.
        if (FldPrecision > 0 && FldPrecision + 2 > FldSize)
            Fail("AddFieldDefs: Недопустимое значение FldPrecision");
        f.decimals = FldPrecision;
    }
    fields.push_back(std::move(f));
}

std::string TDBF::HeaderImage() const {
    std::string image(DescriptorSize * (fields.size() + 1) + 1, '\0');
    image[0] = 3;
    PutDate(image, Today());
    std::size_t recLen = 1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const Field& f = fields[i];
        std::size_t at = DescriptorSize * (i + 1);
        image.replace(at, f.name.size(), f.name);
        image[at + 11] = f.letter;
        image[at + 16] = static_cast<char>(f.length);
        image[at + 17] = static_cast<char>(f.decimals);
        recLen += f.length;
    }
    // Both lengths are 16-bit in the header; more would wrap and describe another table.
    if (image.size() > 0xFFFF || recLen > 0xFFFF) Fail("WriteHeader: Ошибка сохранения заголовка файла");
    PutU16(image, 8, static_cast<std::uint32_t>(image.size()));
    PutU16(image, 10, static_cast<std::uint32_t>(recLen));
    image.back() = static_cast<char>(HeaderEnd);
    return image;
}

void TDBF::CreateTable() {
    if (Active()) Fail("CreateTable: Необходимо закрыть открытый файл");
    if (tableName.empty()) Fail("CreateTable: Необходимо указать имя файла");
    if (fields.empty()) Fail("CreateTable: Не заданы описания полей");
    std::string image = HeaderImage() + EndMark;
    {
        platform::AtomicFile out(tableName);
        try {
            out.Write(image);
            out.Commit();
        } catch (const platform::FileError& e) {
            systemError = e.SystemError();
            Fail("WriteHeader: Ошибка сохранения заголовка файла");
        }
    }
    fields.clear();
    Open();
}

void TDBF::Open() {
    if (Active()) Fail("Open: Необходимо закрыть открытый файл");
    struct stat st {};
    if (::stat(tableName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) Fail("Open: Не найден файл ", tableName);
    int handle = ::open(tableName.c_str(), O_RDWR | O_CLOEXEC);
    // A read-only file still serves for reading; writes to it fail with their own messages.
    if (handle < 0 && (errno == EACCES || errno == EROFS))
        handle = ::open(tableName.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle >= 0 && ::flock(handle, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(handle);
        handle = -1;
    }
    if (handle < 0) {
        auto slash = tableName.find_last_of('/');
        std::string base = slash == std::string::npos ? tableName : tableName.substr(slash + 1);
        throw ED("Файл " + base +
                 " невозможно открыть в монопольном\rрежиме, т.к. он уже используется другой программой");
    }
    fields.clear();
    fd = handle;
    try {
        ReadHeader();
        if (recordCount >= 1) LoadRecord(1);
    } catch (...) {
        Release();
        throw;
    }
}

void TDBF::ReadHeader() {
    auto bad = [] { Fail("ReadHeader: Ошибка чтения заголовка файла"); };
    struct stat st {};
    if (::fstat(fd, &st) != 0) bad();
    std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
    if (!ReadAt(fd, 0, reinterpret_cast<char*>(header.data()), header.size())) bad();
    headerLength = U16(&header[8]);
    recordLength = U16(&header[10]);
    recordCount = U32(&header[4]);
    if (headerLength < 2 * DescriptorSize + 1 || headerLength > fileSize || recordLength < 2) bad();
    std::string image(headerLength - DescriptorSize, '\0');
    if (!ReadAt(fd, DescriptorSize, image.data(), image.size())) bad();
    // Descriptors end at the 0x0D mark; some writers put more bytes after it inside the header.
    std::size_t maxFields = headerLength / DescriptorSize - 1;
    std::vector<Field> found;
    std::size_t offset = 1;
    for (std::size_t i = 0; i < maxFields; ++i) {
        const char* d = image.data() + i * DescriptorSize;
        if (static_cast<unsigned char>(d[0]) == HeaderEnd) break;
        Field f;
        f.name = std::string(d, strnlen(d, NameLength + 1));
        f.letter = d[11];
        f.length = static_cast<std::uint8_t>(d[16]);
        f.decimals = static_cast<std::uint8_t>(d[17]);
        f.offset = offset;
        if (f.length == 0) bad();
        offset += f.length;
        found.push_back(std::move(f));
    }
    if (found.empty() || offset > recordLength) bad();
    if (headerLength + std::uint64_t{recordCount} * recordLength > fileSize) bad();
    fields = std::move(found);
    codePage = CodePageOfMark(header[29]);
    recNo = 0;
    buffer.assign(recordLength, ' ');
}

std::uint64_t TDBF::RecordOffset(std::uint32_t number) const {
    return std::uint64_t{number - 1} * recordLength + headerLength;
}

std::string TDBF::ReadRecord(std::uint32_t number) const {
    std::string data(recordLength, '\0');
    if (number < 1 || number > recordCount || !ReadAt(fd, RecordOffset(number), data.data(), data.size()))
        Fail("ReadRecord: Ошибка чтения записи");
    return data;
}

void TDBF::LoadRecord(std::uint32_t number) {
    buffer = ReadRecord(number);
    recNo = number;
    modified = false;
}

void TDBF::WriteRecord() {
    std::string date(4, '\0');
    PutDate(date, Today());
    std::string_view stamp = std::string_view(date).substr(1);
    if (stamp != std::string_view(reinterpret_cast<const char*>(header.data()) + 1, 3)) {
        if ((systemError = WriteAt(fd, 1, stamp)) != 0) Fail("WriteRecord: Ошибка сохранения записи");
        std::copy(stamp.begin(), stamp.end(), header.begin() + 1);
    }
    if ((systemError = WriteAt(fd, RecordOffset(recNo), buffer)) != 0)
        Fail("WriteRecord: Ошибка сохранения записи");
    written = true;
    modified = false;
}

void TDBF::RequireOpen(const char* operation) const {
    if (!Active()) Fail(operation, ": Файл не открыт");
}

void TDBF::Close() {
    RequireOpen("Close");
    // Records written in place reach the disk before the table counts as closed.
    bool synced = !written || ::fsync(fd) == 0;
    if (!synced) systemError = errno;
    Release();
    if (!synced) Fail("WriteRecord: Ошибка сохранения записи");
}

void TDBF::MoveTo(const char* operation, std::uint32_t number) {
    if (recordCount < 1) Fail(operation, ": В файле нет записей");
    if (modified) WriteRecord();
    if (number != recNo) LoadRecord(number);
}

void TDBF::First() {
    MoveTo("First", 1);
}

void TDBF::Next() {
    MoveTo("Next", recNo < recordCount ? recNo + 1 : recNo);
}

void TDBF::Last() {
    MoveTo("Last", recordCount);
}

void TDBF::Append() {
    RequireOpen("Append");
    if (recordCount == 0xFFFFFFFFu) Fail("Append: Ошибка сохранения записи");
    std::uint32_t count = recordCount + 1;
    std::string record(recordLength, ' ');
    // The record and the end mark first: until the header counts it, the file is the table it was.
    std::string head(reinterpret_cast<const char*>(header.data()), header.size());
    PutDate(head, Today());
    PutU32(head, 4, count);
    std::uint64_t end = std::uint64_t{recordCount} * recordLength + headerLength;
    if ((systemError = WriteAt(fd, end, record + EndMark)) != 0 ||
        (systemError = WriteAt(fd, 0, head)) != 0) {
        // Readers that stop at the end mark rather than at the count must not see a part of a record.
        WriteAt(fd, end, std::string_view(&EndMark, 1));
        [[maybe_unused]] int ignored = ::ftruncate(fd, static_cast<off_t>(end + 1));
        Fail("Append: Ошибка сохранения записи");
    }
    std::copy(head.begin(), head.end(), header.begin());
    written = true;
    recordCount = count;
    recNo = count;
    buffer = std::move(record);
    modified = false;
}

void TDBF::Post() {
    RequireOpen("Post");
    if (recordCount >= 1 && recNo >= 1) WriteRecord();
}

const TDBF::Field& TDBF::FieldAt(const char* operation, int fieldNo) const {
    if (fieldNo < 1 || fieldNo > FieldCount() ||
        buffer.size() < fields[fieldNo - 1].offset + fields[fieldNo - 1].length)
        Fail(operation, ": Неверный номер поля: " + std::to_string(fieldNo));
    return fields[fieldNo - 1];
}

std::string TDBF::GetFieldName(int FieldNo) const {
    return UpperAscii(FieldAt("GetFieldName", FieldNo).name);
}

TDbfFieldType TDBF::GetFieldType(int FieldNo) const {
    return TypeOf(FieldAt("GetFieldType", FieldNo).letter);
}

std::string TDBF::GetFieldData(int FieldNo) const {
    const Field& f = FieldAt("GetFieldData", FieldNo);
    std::string text = Trim(std::string_view(buffer).substr(f.offset, f.length));
    switch (TypeOf(f.letter)) {
    case dftLogical:
        return LogicalFromFile(text);
    case dftDate:
        if (text.size() != 8) return text;
        return text.substr(6, 2) + "." + text.substr(4, 2) + "." + text.substr(2, 2);
    case dftFloat:
    case dftNumeric:
        std::replace(text.begin(), text.end(), '.', platform::Regional().decimalSeparator);
        return text;
    case dftCharacter:
        return AnsiText(text, nullptr);
    default:
        return text;
    }
}

std::string TDBF::AnsiText(std::string_view text, bool* lossy) const {
    if (codePage == AnsiCodePage) return std::string(text);
    // OEM 866 keeps the look-alikes of its line drawing.
    if (codePage == 866 && lossy == nullptr) return platform::OemToAnsi(text);
    return platform::Utf16ToAnsi(platform::DecodeCodePage(codePage, text), lossy);
}

bool TDBF::FieldTextFitsAnsi(int FieldNo) const {
    const Field& f = FieldAt("GetFieldData", FieldNo);
    if (TypeOf(f.letter) != dftCharacter) return true;
    bool lossy = false;
    AnsiText(std::string_view(buffer).substr(f.offset, f.length), &lossy);
    return !lossy;
}

std::string TDBF::StoredText(const Field& f, int fieldNo, std::string text) const {
    auto conversionError = [&] { Fail("SetFieldData: Ошибка данных - ", RowAndField(recNo, fieldNo)); };
    switch (TypeOf(f.letter)) {
    case dftDate: {
        auto date = DateToFile(text);
        if (!date) conversionError();
        return *date;
    }
    case dftLogical:
        return LogicalToFile(text);
    case dftFloat:
    case dftNumeric: {
        platform::RegionalSettings rs = platform::Regional();
        if (rs.decimalSeparator == ',') std::replace(text.begin(), text.end(), '.', ',');
        auto value = platform::ParseDecimal(text, rs);
        if (!value) conversionError();
        rs.decimalSeparator = '.';
        return platform::FormatFixed(*value, f.decimals, rs);
    }
    default:
        return text;
    }
}

void TDBF::SetFieldData(int FieldNo, const std::string& Text) {
    const Field& f = FieldAt("SetFieldData", FieldNo);
    std::string_view trimmed(Text);
    while (!trimmed.empty() && IsBlank(static_cast<unsigned char>(trimmed.back()))) trimmed.remove_suffix(1);
    std::size_t limit = f.letter == 'L' ? 5 : f.length;
    auto tooLong = [&] {
        Fail("SetFieldData: Недопустимый размер данных", "\r" + RowAndField(recNo, FieldNo));
    };
    if (trimmed.size() > limit) tooLong();
    std::string value = trimmed.empty() ? std::string() : StoredText(f, FieldNo, std::string(trimmed));
    // A formatted number can outgrow its field; it must never reach the next one.
    if (value.size() > f.length) tooLong();
    std::string padded(f.length - value.size(), ' ');
    value = IsNumber(f.letter) ? padded + value : value + padded;
    buffer.replace(f.offset, f.length, value);
    modified = true;
}

void TDBF::EmptyTable() {
    RequireOpen("EmptyTable");
    std::uint32_t kept = recordCount;
    recordCount = 0;
    try {
        RewriteTable();
    } catch (...) {
        if (Active()) recordCount = kept;
        throw;
    }
}

void TDBF::RewriteTable() {
    RequireOpen("RewriteTable");
    auto fail = [] { Fail("RewriteTable: Ошибка при перезаписи файла"); };
    try {
        platform::AtomicFile out(tableName);
        std::string head(headerLength, '\0');
        if (!ReadAt(fd, 0, head.data(), head.size())) fail();
        PutDate(head, Today());
        PutU32(head, 4, recordCount);
        out.Write(head);
        // Records go over in blocks so that a large table is never held whole in memory.
        std::uint64_t left = std::uint64_t{recordCount} * recordLength;
        std::uint64_t at = headerLength;
        std::string block;
        while (left > 0) {
            block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(left, 1 << 20)));
            if (!ReadAt(fd, at, block.data(), block.size())) fail();
            out.Write(block);
            at += block.size();
            left -= block.size();
        }
        out.Write(std::string_view(&EndMark, 1));
        out.Commit();
    } catch (const platform::FileError& e) {
        systemError = e.SystemError();
        fail();
    }
    // The new file is in place; the table follows it.
    Release();
    try {
        Open();
    } catch (const ED&) {
        fail();
    }
}

} // namespace exchange
