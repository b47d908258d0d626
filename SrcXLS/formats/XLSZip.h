// The zip container of a package, over libzip. Reading is bounded: an
// archive with too many entries, an encrypted entry, an entry larger than a
// package part can be, or one that inflates far beyond its compressed size
// is refused with the library's message before it costs memory or time.
// Writing builds the archive in memory; a part may be produced while the
// archive is written, so that a big worksheet never stands whole in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct zip;
struct zip_file;
struct zip_source;

namespace xls {

struct TZipLimits {
    // The most a zip archive holds without its 64-bit extension; the
    // writer makes no archive its reader would refuse.
    int MaxEntries = 65535;
    uint64_t MaxEntrySize = uint64_t(1) << 30; // 1 GiB inflated
    // Beyond this many inflated bytes an entry must not inflate more than
    // MaxRatio times its compressed size.
    uint64_t RatioFloor = 100u << 20;
    uint64_t MaxRatio = 1000;
    uint64_t MaxTotalSize = uint64_t(2) << 30; // all entries read from one archive
};

// An entry being inflated, read in pieces. A short or overlong entry, or one
// failing its checksum, raises "ZIP entry is damaged: <name>" at the read
// that meets it.
class TXLSZipEntry {
public:
    TXLSZipEntry(TXLSZipEntry&& other) noexcept;
    TXLSZipEntry& operator=(TXLSZipEntry&&) = delete;
    ~TXLSZipEntry();

    uint64_t Size() const { return size; }
    // Up to n bytes; 0 once the whole entry was read and checked.
    size_t Read(char* to, size_t n);
    std::string ReadAll();
    // Reads to the end for the checks alone.
    void Drain();
    // A read raised the entry's damage.
    bool Failed() const { return failed; }

private:
    friend class TXLSZipArchive;
    TXLSZipEntry(zip_file* file, std::string name, uint64_t size);
    [[noreturn]] void Damaged();
    zip_file* file;
    std::string name;
    uint64_t size, got = 0;
    bool failed = false;
};

class TXLSZipArchive {
public:
    // Produces the next piece of a generated entry into chunk (appending);
    // false when the entry is complete.
    using TProducer = std::function<bool(std::string& chunk)>;

    TXLSZipArchive();
    ~TXLSZipArchive();
    TXLSZipArchive(const TXLSZipArchive&) = delete;
    TXLSZipArchive& operator=(const TXLSZipArchive&) = delete;

    // An existing archive held in memory (which must outlive the archive).
    void OpenBuffer(std::span<const uint8_t> data, const TZipLimits& limits = {});
    // A new empty archive, written to memory by Close.
    void Create();
    // A new empty archive written into an open file (from its start) while
    // Close runs; the file stays open, its owner commits or drops it.
    void CreateInFile(int fd);

    int Count() const;
    std::string EntryName(int index) const;
    // Position of an entry (names compared without regard to ASCII case), -1
    // when missing.
    int IndexOf(std::string_view name) const;
    // The inflated entry; raises "Can not find file %s in ZIP" when missing.
    std::string Extract(std::string_view name);
    std::string ExtractIndex(int index);
    // The entry opened for reading in pieces, after the same checks.
    TXLSZipEntry OpenEntry(std::string_view name);
    TXLSZipEntry OpenIndex(int index);

    // Adds (or replaces) an entry; level 0..9 of deflate. The entry of the
    // folder the name stands in ("xl/worksheets/") is made first when the
    // archive has none; so for the others below.
    void AddFile(std::string_view name, std::string data, int level = 6);
    void AddGenerated(std::string_view name, TProducer producer, int level = 6);
    // Copies an entry of another open archive as it is stored there.
    void CopyEntry(TXLSZipArchive& from, int index);
    // Writes the archive; returns its bytes when it was made in memory.
    std::vector<uint8_t> Close();
    void Discard();

private:
    struct TGenerated;
    struct TFileSink;
    [[noreturn]] void Fail(std::string_view what) const;
    void AddSource(std::string_view name, zip_source* source, int level);
    void AddFolder(std::string_view name);
    zip* archive = nullptr;
    zip_source* target = nullptr;
    std::vector<std::unique_ptr<std::string>> pending; // data of added entries
    std::vector<std::unique_ptr<TGenerated>> generated;
    std::unique_ptr<TFileSink> sink;
    TZipLimits limits;
    uint64_t totalRead = 0;
    mutable std::unordered_map<std::string, int> folded; // names in lower case
    std::set<std::string> folders;                       // folder entries made
};

} // namespace xls
