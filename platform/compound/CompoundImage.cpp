// Parsing and building compound file images. Every sector, chain and
// directory index of an image is checked before it is used, and every sector
// may belong to one chain only, so a malformed image cannot make the parser
// loop, read outside the image or allocate more than the image holds.
#include "platform/compound/CompoundFile.h"

#include "platform/AtomicFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::cfb {

namespace {

constexpr uint32_t MaxRegSect = 0xFFFFFFFA;
constexpr uint32_t DifSect = 0xFFFFFFFC;
constexpr uint32_t FatSect = 0xFFFFFFFD;
constexpr uint32_t EndOfChain = 0xFFFFFFFE;
constexpr uint32_t FreeSect = 0xFFFFFFFF;
constexpr uint32_t NoStream = 0xFFFFFFFF;
constexpr size_t HeaderDifatEntries = 109;
constexpr size_t DirEntrySize = 128;
constexpr uint32_t MiniSectorSize = 64;
constexpr int MaxNesting = 128;

enum : uint8_t { TypeUnused = 0, TypeStorage = 1, TypeStream = 2, TypeRoot = 5 };
enum : uint8_t { Red = 0, Black = 1 };

uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) {
    return Get32(p) | uint64_t(Get32(p + 4)) << 32;
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, uint16_t(v));
    Put16(p + 2, uint16_t(v >> 16));
}
void Put64(uint8_t* p, uint64_t v) {
    Put32(p, uint32_t(v));
    Put32(p + 4, uint32_t(v >> 32));
}

[[noreturn]] void Fail(const std::string& what) {
    throw CompoundFileError("Bad compound file: " + what);
}

// The header sector's fields, in file order after the signature and a class
// id of zeros; the rest of the sector is zero. What this library writes is
// the default: version 3, 512-byte sectors, 64-byte mini sectors.
struct Header {
    uint16_t minorVersion = 0x003E;
    uint16_t majorVersion = 3;
    uint16_t byteOrder = 0xFFFE;
    uint16_t sectorShift = 9;
    uint16_t miniSectorShift = 6;
    // 6 reserved bytes
    uint32_t directorySectors = 0; // 0 with 512-byte sectors
    uint32_t fatSectors = 0;
    uint32_t firstDirectorySector = EndOfChain;
    uint32_t transactionSignature = 0;
    uint32_t miniStreamCutoff = MiniStreamCutoff;
    uint32_t firstMiniFatSector = EndOfChain;
    uint32_t miniFatSectors = 0;
    uint32_t firstDifatSector = EndOfChain;
    uint32_t difatSectors = 0;
    std::array<uint32_t, HeaderDifatEntries> difat{};
};

constexpr size_t HeaderClassIdSize = 16;
constexpr size_t HeaderReservedSize = 6;

Header DecodeHeader(const uint8_t* p) {
    Header h;
    p += Signature.size() + HeaderClassIdSize;
    auto u16 = [&p] {
        const uint16_t v = Get16(p);
        p += 2;
        return v;
    };
    auto u32 = [&p] {
        const uint32_t v = Get32(p);
        p += 4;
        return v;
    };
    h.minorVersion = u16();
    h.majorVersion = u16();
    h.byteOrder = u16();
    h.sectorShift = u16();
    h.miniSectorShift = u16();
    p += HeaderReservedSize;
    h.directorySectors = u32();
    h.fatSectors = u32();
    h.firstDirectorySector = u32();
    h.transactionSignature = u32();
    h.miniStreamCutoff = u32();
    h.firstMiniFatSector = u32();
    h.miniFatSectors = u32();
    h.firstDifatSector = u32();
    h.difatSectors = u32();
    for (uint32_t& sector : h.difat) sector = u32();
    return h;
}

void EncodeHeader(const Header& h, uint8_t (&out)[512]) {
    std::fill(std::begin(out), std::end(out), uint8_t(0));
    uint8_t* p = std::copy(Signature.begin(), Signature.end(), out) + HeaderClassIdSize;
    auto u16 = [&p](uint16_t v) {
        Put16(p, v);
        p += 2;
    };
    auto u32 = [&p](uint32_t v) {
        Put32(p, v);
        p += 4;
    };
    u16(h.minorVersion);
    u16(h.majorVersion);
    u16(h.byteOrder);
    u16(h.sectorShift);
    u16(h.miniSectorShift);
    p += HeaderReservedSize;
    u32(h.directorySectors);
    u32(h.fatSectors);
    u32(h.firstDirectorySector);
    u32(h.transactionSignature);
    u32(h.miniStreamCutoff);
    u32(h.firstMiniFatSector);
    u32(h.miniFatSectors);
    u32(h.firstDifatSector);
    u32(h.difatSectors);
    for (uint32_t sector : h.difat) u32(sector);
}

} // namespace

// The bytes an image is parsed from: held in memory, or read from an open
// file as they are needed, so a file's streams are read into memory once.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // n bytes from off, all within Size().
    virtual void Read(uint64_t off, uint8_t* out, size_t n) const = 0;
};

namespace {

class SpanSource : public ByteSource {
public:
    explicit SpanSource(std::span<const uint8_t> bytes) : bytes(bytes) {}
    uint64_t Size() const override { return bytes.size(); }
    void Read(uint64_t off, uint8_t* out, size_t n) const override {
        if (n > 0) std::memcpy(out, bytes.data() + off, n);
    }

private:
    std::span<const uint8_t> bytes;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(const std::filesystem::path& file) {
        name = file.string();
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) Refuse("Не вдається відкрити файл ", errno);
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int err = errno;
            ::close(fd);
            Refuse("Не вдається прочитати файл ", err);
        }
        size = uint64_t(st.st_size);
    }
    ~FileSource() override { ::close(fd); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    uint64_t Size() const override { return size; }
    void Read(uint64_t off, uint8_t* out, size_t n) const override {
        while (n > 0) {
            ssize_t got = ::pread(fd, out, n, off_t(off));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) Refuse("Не вдається прочитати файл ", got < 0 ? errno : EIO);
            out += got;
            off += uint64_t(got);
            n -= size_t(got);
        }
    }

private:
    // The messages of platform::ReadWholeFile.
    [[noreturn]] void Refuse(const char* what, int err) const {
        throw platform::FileError(what + name + ": " + platform::FileErrorReason(err));
    }
    int fd = -1;
    uint64_t size = 0;
    std::string name;
};

// Sectors of one kind (FAT sectors or mini sectors) with their allocation
// table; hands out chains and remembers which sectors already belong to one.
class SectorSpace {
public:
    SectorSpace(const char* kind, const ByteSource& bytes, uint32_t sectorSize, uint64_t firstOffset)
        : kind(kind), bytes(bytes), sectorSize(sectorSize), firstOffset(firstOffset) {
        uint64_t avail = bytes.Size() > firstOffset ? bytes.Size() - firstOffset : 0;
        count = uint32_t(std::min<uint64_t>((avail + sectorSize - 1) / sectorSize, MaxRegSect));
        owned.assign(count, false);
    }

    uint32_t Count() const { return count; }
    std::vector<uint32_t> table;

    // Marks a sector as used; a sector reached twice means shared or cyclic chains.
    void Claim(uint32_t s, const char* what) {
        if (s >= count) Fail(std::string(what) + " points past the end of the file");
        if (owned[s]) Fail(std::string(what) + " reuses a " + kind + " that is already in use");
        owned[s] = true;
    }

    // The sectors of a chain, all claimed; at most limit of them, since some
    // writers let a chain run on into the next stream's sectors.
    std::vector<uint32_t> Chain(uint32_t start, const char* what, uint64_t limit = UINT64_MAX) {
        std::vector<uint32_t> chain;
        for (uint32_t s = start; s != EndOfChain && chain.size() < limit;) {
            if (s > MaxRegSect) Fail(std::string(what) + " holds an invalid " + kind + " number");
            Claim(s, what);
            chain.push_back(s);
            if (chain.size() == limit) break;
            if (s >= table.size()) Fail(std::string(what) + " leaves its allocation table");
            s = table[s];
        }
        return chain;
    }

    // Appends n bytes of the sectors from chain[first] on, which follow one
    // another in the image; a sector cut short by the end of the image reads
    // as padded with zeros.
    void AppendRun(std::vector<uint8_t>& out, uint32_t s, size_t n) const {
        const uint64_t off = firstOffset + uint64_t(s) * sectorSize;
        const size_t avail = off < bytes.Size() ? size_t(std::min<uint64_t>(bytes.Size() - off, n)) : 0;
        const size_t at = out.size();
        out.resize(at + n, 0);
        if (avail > 0) bytes.Read(off, out.data() + at, avail);
    }

    // The bytes of a chain, read in runs of sectors that lie one after another.
    void AppendChain(std::vector<uint8_t>& out, const std::vector<uint32_t>& chain, uint64_t size) const {
        for (size_t i = 0; i < chain.size() && out.size() < size;) {
            size_t run = 1;
            while (i + run < chain.size() && chain[i + run] == chain[i] + run) ++run;
            AppendRun(out, chain[i],
                      size_t(std::min<uint64_t>(uint64_t(run) * sectorSize, size - out.size())));
            i += run;
        }
    }

    // The sectors of a stream of size bytes, all claimed.
    std::vector<uint32_t> StreamChain(uint32_t start, uint64_t size, const char* what) {
        uint64_t needed = size / sectorSize + (size % sectorSize != 0);
        if (needed > count) Fail(std::string(what) + " is longer than its chain");
        std::vector<uint32_t> chain = Chain(start, what, needed);
        if (chain.size() < needed) Fail(std::string(what) + " is longer than its chain");
        return chain;
    }

    uint32_t SectorSize() const { return sectorSize; }
    uint64_t Offset(uint32_t s) const { return firstOffset + uint64_t(s) * sectorSize; }

    std::vector<uint8_t> Read(uint32_t start, uint64_t size, const char* what) {
        std::vector<uint32_t> chain = StreamChain(start, size, what);
        std::vector<uint8_t> out;
        out.reserve(size_t(size));
        AppendChain(out, chain, size);
        return out;
    }

    std::vector<uint8_t> ReadChain(uint32_t start, const char* what) {
        std::vector<uint32_t> chain = Chain(start, what);
        std::vector<uint8_t> out;
        out.reserve(chain.size() * sectorSize);
        AppendChain(out, chain, uint64_t(chain.size()) * sectorSize);
        return out;
    }

    // One sector's bytes.
    void Append(std::vector<uint8_t>& out, uint32_t s, size_t n) const { AppendRun(out, s, n); }

private:
    const char* kind;
    const ByteSource& bytes;
    uint32_t sectorSize;
    uint64_t firstOffset;
    uint32_t count;
    std::vector<bool> owned;
};

std::vector<uint32_t> ToTable(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> t(bytes.size() / 4);
    for (size_t i = 0; i < t.size(); ++i) t[i] = Get32(&bytes[i * 4]);
    return t;
}

struct DirRecord {
    std::u16string name;
    uint8_t type;
    uint32_t left, right, child;
    Clsid clsid;
    uint32_t stateBits;
    uint64_t created, modified;
    uint32_t start;
    uint64_t size;
};

DirRecord DecodeDirEntry(const uint8_t* p, bool version3) {
    DirRecord r;
    size_t chars = std::min<size_t>(Get16(p + 64), 64) / 2;
    for (size_t i = 0; i < chars && i < MaxNameLength; ++i) {
        char16_t c = char16_t(Get16(p + 2 * i));
        if (c == 0) break;
        r.name.push_back(c);
    }
    r.type = p[66];
    r.left = Get32(p + 68);
    r.right = Get32(p + 72);
    r.child = Get32(p + 76);
    std::memcpy(r.clsid.data(), p + 80, 16);
    r.stateBits = Get32(p + 96);
    r.created = Get64(p + 100);
    r.modified = Get64(p + 108);
    r.start = Get32(p + 116);
    // Version 3 writers may leave garbage in the high half of the size.
    r.size = version3 ? Get32(p + 120) : Get64(p + 120);
    return r;
}

} // namespace

namespace {
class ImageSink;
}

using LeaveOnDisk = std::function<bool(std::u16string_view)>;

struct TreeAccess {
    static CompoundFile Parse(const ByteSource& image, std::shared_ptr<const ByteSource> source = nullptr,
                              const LeaveOnDisk& leaveOnDisk = nullptr);
    static std::unique_ptr<StreamOnDisk> OnDisk(std::shared_ptr<const ByteSource> file, SectorSpace& fat,
                                                uint32_t start, uint64_t size);
    static void Emit(const Element& root, ImageSink& sink);
    static std::vector<uint8_t> Serialize(const Element& root);
    static void Save(const Element& root, const std::filesystem::path& file);
};

// Runs of sectors that follow one another in the file, as AppendChain reads them.
std::unique_ptr<StreamOnDisk> TreeAccess::OnDisk(std::shared_ptr<const ByteSource> file, SectorSpace& fat,
                                                 uint32_t start, uint64_t size) {
    const std::vector<uint32_t> chain = fat.StreamChain(start, size, "a stream");
    auto out = std::make_unique<StreamOnDisk>();
    out->file = std::move(file);
    out->size = size;
    uint64_t done = 0;
    for (size_t i = 0; i < chain.size() && done < size;) {
        size_t run = 1;
        while (i + run < chain.size() && chain[i + run] == chain[i] + run) ++run;
        const uint64_t n = std::min<uint64_t>(uint64_t(run) * fat.SectorSize(), size - done);
        out->runs.push_back({done, fat.Offset(chain[i]), n});
        done += n;
        i += run;
    }
    return out;
}

CompoundFile TreeAccess::Parse(const ByteSource& image, std::shared_ptr<const ByteSource> source,
                               const LeaveOnDisk& leaveOnDisk) {
    uint8_t header[512];
    if (image.Size() < 512) {
        std::vector<uint8_t> head(size_t(image.Size()));
        image.Read(0, head.data(), head.size());
        if (!CompoundFile::IsCompoundFile(head)) throw CompoundFileError("Not a compound file");
        Fail("the header is cut short");
    }
    image.Read(0, header, sizeof header);
    if (!CompoundFile::IsCompoundFile(std::span<const uint8_t>(header, sizeof header)))
        throw CompoundFileError("Not a compound file");
    const Header h = DecodeHeader(header);
    uint16_t major = h.majorVersion;
    if (major != 3 && major != 4) Fail("unsupported version " + std::to_string(major));
    if (h.byteOrder != 0xFFFE) Fail("wrong byte order mark");
    uint16_t shift = h.sectorShift;
    if (shift != 9 && shift != 12) Fail("unsupported sector size");
    if (h.miniSectorShift != 6) Fail("unsupported mini sector size");
    uint32_t sectorSize = 1u << shift;
    if (image.Size() < sectorSize) Fail("the header is cut short");
    uint32_t miniCutoff = h.miniStreamCutoff;

    SectorSpace fat("sector", image, sectorSize, sectorSize);
    // The header's FAT count is only an upper bound: damaged files claim far
    // more FAT sectors than they hold. The FAT is made of the sectors the
    // header and the DIFAT chain list; free and end-of-chain entries among
    // them are padding, and entries past the end of the file (a file cut
    // short) are left out, so chains into them fail when they are followed.
    uint32_t fatCount = std::min(h.fatSectors, fat.Count());
    std::vector<uint32_t> fatSectors;
    fatSectors.reserve(fatCount);
    auto addFatSector = [&](uint32_t s) {
        if (s != FreeSect && s != EndOfChain && s < fat.Count()) fatSectors.push_back(s);
    };
    for (size_t i = 0; i < HeaderDifatEntries && fatSectors.size() < fatCount; ++i) addFatSector(h.difat[i]);
    // The DIFAT chain lists the rest; it ends early at an end mark or a
    // sector past the end of the file. Without DIFAT sectors some writers
    // leave 0 as its start.
    uint32_t perDifat = sectorSize / 4 - 1;
    uint32_t firstDifat = h.firstDifatSector;
    if (h.difatSectors == 0 && firstDifat == 0) firstDifat = EndOfChain;
    for (uint32_t d = firstDifat; fatSectors.size() < fatCount && d < fat.Count();) {
        fat.Claim(d, "the DIFAT");
        std::vector<uint8_t> sector;
        fat.Append(sector, d, sectorSize);
        for (uint32_t i = 0; i < perDifat && fatSectors.size() < fatCount; ++i)
            addFatSector(Get32(&sector[4 * i]));
        d = Get32(&sector[4 * perDifat]);
    }
    if (fatSectors.empty()) Fail("the header lists no FAT sector");
    std::vector<uint8_t> fatBytes;
    fatBytes.reserve(fatSectors.size() * sectorSize);
    for (uint32_t s : fatSectors) {
        fat.Claim(s, "the FAT");
        fat.Append(fatBytes, s, sectorSize);
    }
    fat.table = ToTable(fatBytes);

    bool version3 = major == 3;
    std::vector<uint8_t> dirBytes = fat.ReadChain(h.firstDirectorySector, "the directory");
    size_t dirCount = dirBytes.size() / DirEntrySize;
    if (dirCount == 0) Fail("the directory is empty");
    auto entry = [&](uint32_t i) { return DecodeDirEntry(&dirBytes[size_t(i) * DirEntrySize], version3); };

    DirRecord rootRec = entry(0);
    if (rootRec.type != TypeRoot) Fail("the first directory entry is not the root");

    // Mini stream (kept in the root entry's chain) and its allocation table.
    std::vector<uint8_t> miniBytes;
    if (rootRec.size > 0) miniBytes = fat.Read(rootRec.start, rootRec.size, "the mini stream");
    SpanSource miniSource(miniBytes);
    SectorSpace mini("mini sector", miniSource, MiniSectorSize, 0);
    uint32_t miniFatStart = h.firstMiniFatSector;
    if (h.miniFatSectors > 0 && miniFatStart != EndOfChain)
        mini.table = ToTable(fat.ReadChain(miniFatStart, "the mini FAT"));

    CompoundFile file;
    Element& root = *file.root;
    root.ClassId = rootRec.clsid;
    root.StateBits = rootRec.stateBits;
    root.CreationTime = rootRec.created;
    root.ModifiedTime = rootRec.modified;

    std::vector<bool> seen(dirCount, false);
    seen[0] = true;
    struct Pending {
        uint32_t child;
        Element* storage;
        int depth;
    };
    std::vector<Pending> storages{{rootRec.child, &root, 0}};
    std::vector<uint32_t> stack;
    while (!storages.empty()) {
        Pending p = storages.back();
        storages.pop_back();
        if (p.depth >= MaxNesting) Fail("storages are nested too deeply");
        // Walk the storage's sibling tree in order, without recursion.
        stack.clear();
        uint32_t cur = p.child;
        while (cur != NoStream || !stack.empty()) {
            while (cur != NoStream) {
                if (cur >= dirCount) Fail("a directory link points past the directory");
                if (seen[cur]) Fail("directory entries are shared or form a cycle");
                seen[cur] = true;
                stack.push_back(cur);
                cur = entry(cur).left;
            }
            uint32_t index = stack.back();
            stack.pop_back();
            DirRecord r = entry(index);
            cur = r.right;
            if (r.type != TypeStorage && r.type != TypeStream)
                Fail("directory entry " + std::to_string(index) + " is linked but not a storage or stream");
            auto e = std::make_unique<Element>(
                r.type == TypeStorage ? ElementType::Storage : ElementType::Stream, std::move(r.name));
            e->ClassId = r.clsid;
            e->StateBits = r.stateBits;
            e->CreationTime = r.created;
            e->ModifiedTime = r.modified;
            if (r.type == TypeStorage) {
                storages.push_back({r.child, e.get(), p.depth + 1});
            } else if (r.size >= miniCutoff && source && p.storage == &root && leaveOnDisk(e->Name())) {
                file.onDisk.emplace_back(e.get(), OnDisk(source, fat, r.start, r.size));
            } else if (r.size > 0) {
                e->Data = r.size < miniCutoff ? mini.Read(r.start, r.size, "a stream in the mini stream")
                                              : fat.Read(r.start, r.size, "a stream");
            }
            p.storage->children.push_back(std::move(e));
        }
    }
    return file;
}

namespace {

// Where an image goes, front to back.
class ImageSink {
public:
    virtual ~ImageSink() = default;
    virtual void Write(const uint8_t* p, size_t n) = 0;
};

class VectorSink : public ImageSink {
public:
    std::vector<uint8_t> out;
    void Write(const uint8_t* p, size_t n) override { out.insert(out.end(), p, p + n); }
};

// Gathers small writes into large ones.
class FileSink : public ImageSink {
public:
    explicit FileSink(platform::AtomicFile& file) : file(file) { buffer.reserve(Capacity); }
    void Write(const uint8_t* p, size_t n) override {
        if (buffer.size() + n > Capacity) Flush();
        if (n >= Capacity) {
            file.Write(std::string_view(reinterpret_cast<const char*>(p), n));
            return;
        }
        buffer.insert(buffer.end(), p, p + n);
    }
    void Flush() {
        if (!buffer.empty())
            file.Write(std::string_view(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
        buffer.clear();
    }

private:
    static constexpr size_t Capacity = size_t(1) << 20;
    platform::AtomicFile& file;
    std::vector<uint8_t> buffer;
};

uint64_t StreamSize(const Element& e) {
    return e.External ? e.External->Size : e.Data.size();
}

// A stream's bytes, from memory or from the file that holds them.
void WriteStreamBytes(const Element& e, ImageSink& sink) {
    if (!e.External) {
        sink.Write(e.Data.data(), e.Data.size());
        return;
    }
    std::vector<uint8_t> chunk(size_t(1) << 20);
    for (uint64_t off = 0; off < e.External->Size;) {
        const size_t n = size_t(std::min<uint64_t>(chunk.size(), e.External->Size - off));
        size_t got = 0;
        while (got < n) {
            ssize_t r = ::pread(e.External->Descriptor, chunk.data() + got, n - got, off_t(off + got));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) throw CompoundFileError("Cannot read back a compound file stream");
            got += size_t(r);
        }
        sink.Write(chunk.data(), n);
        off += n;
    }
}

// Lays an image out and writes it front to back: header, FAT, DIFAT,
// directory, mini FAT, mini stream, then the large streams, each padded to
// its sector.
class ImageWriter {
public:
    explicit ImageWriter(const Element& root) : entries{{&root}} {
        NumberEntries();
        PlaceStreams();
        CountSectors();
        ChainSectors();
    }

    void Write(ImageSink& sink) const {
        WriteHeader(sink);
        WriteTable(sink, fatTable);
        WriteDifat(sink);
        WriteDirectory(sink);
        WriteTable(sink, miniFat);
        sink.Write(miniStream.data(), miniStream.size());
        WriteLargeStreams(sink);
    }

private:
    static constexpr uint64_t SectorSize = 512;
    static constexpr uint64_t PerSector = SectorSize / 4;

    struct Entry {
        const Element* element;
        uint32_t left = NoStream, right = NoStream, child = NoStream;
        uint8_t color = Black;
        uint32_t start = EndOfChain;
        bool mini = false;
    };

    // Each storage's children get consecutive entries and form a balanced
    // tree; nodes on its deepest level are red when that level is not the
    // root's, every other node black, so every path has the same black count.
    void NumberEntries() {
        std::vector<const Element*> sorted;
        for (size_t i = 0; i < entries.size(); ++i) {
            const Element& e = *entries[i].element;
            if (!e.IsStorage() || e.Children().empty()) continue;
            sorted.clear();
            for (auto& c : e.Children()) {
                if (c->Name().size() > MaxNameLength)
                    throw CompoundFileError("Compound file element name is longer than 31 characters");
                sorted.push_back(c.get());
            }
            std::stable_sort(sorted.begin(), sorted.end(), [](const Element* a, const Element* b) {
                return CompareNames(a->Name(), b->Name()) < 0;
            });
            if (entries.size() + sorted.size() >= MaxRegSect)
                throw CompoundFileError("Too many compound file elements");
            const uint32_t base = uint32_t(entries.size());
            for (const Element* c : sorted) entries.push_back({c});
            int maxDepth = 0;
            while ((size_t(2) << maxDepth) <= sorted.size()) ++maxDepth;
            entries[i].child = LinkSiblings(base, 0, uint32_t(sorted.size()), 0, maxDepth);
        }
    }

    // The subtree of the siblings base + lo .. base + hi - 1; its root's entry.
    uint32_t LinkSiblings(uint32_t base, uint32_t lo, uint32_t hi, int depth, int maxDepth) {
        if (lo >= hi) return NoStream;
        const uint32_t mid = lo + (hi - lo) / 2;
        const uint32_t left = LinkSiblings(base, lo, mid, depth + 1, maxDepth);
        const uint32_t right = LinkSiblings(base, mid + 1, hi, depth + 1, maxDepth);
        Entry& m = entries[base + mid];
        m.color = depth == maxDepth && maxDepth > 0 ? Red : Black;
        m.left = left;
        m.right = right;
        return base + mid;
    }

    static uint64_t SectorsOf(uint64_t bytes, uint64_t sectorSize) {
        return (bytes + sectorSize - 1) / sectorSize;
    }
    static bool HasBytes(const Entry& en) { return en.element->IsStream() && StreamSize(*en.element) > 0; }

    // Small streams go to the mini stream, the others to whole sectors;
    // their start is counted from the first of their kind for now.
    void PlaceStreams() {
        for (Entry& en : entries) {
            if (!HasBytes(en)) continue;
            const uint64_t size = StreamSize(*en.element);
            if (size > 0xFFFFFFFFull * SectorSize) throw CompoundFileError("Compound file stream too large");
            en.mini = size < MiniStreamCutoff;
            if (en.mini) {
                en.start = uint32_t(miniSectors);
                miniSectors += SectorsOf(size, MiniSectorSize);
            } else {
                en.start = uint32_t(bigSectors);
                bigSectors += SectorsOf(size, SectorSize);
            }
        }
    }

    // The FAT covers itself and the DIFAT sectors that list it, so both
    // grow together until they hold still.
    void CountSectors() {
        dirSectors = SectorsOf(entries.size() * DirEntrySize, SectorSize);
        miniFatSectors = SectorsOf(miniSectors, PerSector);
        miniStreamSectors = SectorsOf(miniSectors * MiniSectorSize, SectorSize);
        const uint64_t dataSectors = dirSectors + miniFatSectors + miniStreamSectors + bigSectors;
        for (;;) {
            uint64_t f = SectorsOf(dataSectors + fatSectors + difatSectors, PerSector);
            uint64_t d = f > HeaderDifatEntries ? SectorsOf(f - HeaderDifatEntries, PerSector - 1) : 0;
            if (f == fatSectors && d == difatSectors) break;
            fatSectors = f;
            difatSectors = d;
        }
        if (fatSectors + difatSectors + dataSectors >= MaxRegSect)
            throw CompoundFileError("Compound file too large");
        firstDifat = uint32_t(fatSectors);
        firstDir = firstDifat + uint32_t(difatSectors);
        firstMiniFat = firstDir + uint32_t(dirSectors);
        firstMiniStream = firstMiniFat + uint32_t(miniFatSectors);
        firstBig = firstMiniStream + uint32_t(miniStreamSectors);
    }

    static void Chain(std::vector<uint32_t>& table, uint32_t first, uint64_t count) {
        for (uint64_t k = 0; k < count; ++k)
            table[first + k] = k + 1 < count ? uint32_t(first + k + 1) : EndOfChain;
    }

    // The allocation tables, and the mini stream with the small streams' bytes.
    void ChainSectors() {
        fatTable.assign(size_t(fatSectors * PerSector), FreeSect);
        for (uint32_t s = 0; s < fatSectors; ++s) fatTable[s] = FatSect;
        for (uint32_t s = 0; s < difatSectors; ++s) fatTable[firstDifat + s] = DifSect;
        Chain(fatTable, firstDir, dirSectors);
        Chain(fatTable, firstMiniFat, miniFatSectors);
        Chain(fatTable, firstMiniStream, miniStreamSectors);
        miniFat.assign(size_t(miniFatSectors * PerSector), FreeSect);
        miniStream.assign(size_t(miniStreamSectors * SectorSize), 0);
        for (Entry& en : entries) {
            if (!HasBytes(en)) continue;
            const uint64_t size = StreamSize(*en.element);
            if (en.mini) {
                Chain(miniFat, en.start, SectorsOf(size, MiniSectorSize));
                VectorSink small;
                WriteStreamBytes(*en.element, small);
                std::memcpy(miniStream.data() + uint64_t(en.start) * MiniSectorSize, small.out.data(),
                            size_t(size));
            } else {
                en.start += firstBig;
                Chain(fatTable, en.start, SectorsOf(size, SectorSize));
            }
        }
    }

    void WriteHeader(ImageSink& sink) const {
        Header head;
        head.fatSectors = uint32_t(fatSectors);
        head.firstDirectorySector = firstDir;
        head.firstMiniFatSector = miniFatSectors ? firstMiniFat : EndOfChain;
        head.miniFatSectors = uint32_t(miniFatSectors);
        head.firstDifatSector = difatSectors ? firstDifat : EndOfChain;
        head.difatSectors = uint32_t(difatSectors);
        // The FAT's first sectors, the rest in DIFAT sectors.
        for (size_t k = 0; k < HeaderDifatEntries; ++k)
            head.difat[k] = k < fatSectors ? uint32_t(k) : FreeSect;
        uint8_t header[SectorSize];
        EncodeHeader(head, header);
        sink.Write(header, sizeof header);
    }

    static void WriteTable(ImageSink& sink, const std::vector<uint32_t>& table) {
        uint8_t sector[SectorSize];
        for (size_t k = 0; k < table.size(); k += PerSector) {
            for (size_t i = 0; i < PerSector; ++i) Put32(sector + 4 * i, table[k + i]);
            sink.Write(sector, sizeof sector);
        }
    }

    // FAT sectors beyond the header's 109 are listed in DIFAT sectors of 127
    // entries and a link to the next one.
    void WriteDifat(ImageSink& sink) const {
        uint8_t sector[SectorSize];
        for (uint64_t d = 0; d < difatSectors; ++d) {
            for (uint64_t k = 0; k < PerSector - 1; ++k) {
                uint64_t fatIndex = HeaderDifatEntries + d * (PerSector - 1) + k;
                Put32(sector + 4 * k, fatIndex < fatSectors ? uint32_t(fatIndex) : FreeSect);
            }
            Put32(sector + SectorSize - 4, d + 1 < difatSectors ? uint32_t(firstDifat + d + 1) : EndOfChain);
            sink.Write(sector, sizeof sector);
        }
    }

    void EncodeEntry(size_t i, uint8_t* p) const {
        const Entry& en = entries[i];
        const Element& e = *en.element;
        std::u16string_view name =
            i == 0 ? std::u16string_view(u"Root Entry") : std::u16string_view(e.Name());
        for (size_t c = 0; c < name.size(); ++c) Put16(p + 2 * c, name[c]);
        Put16(p + 64, uint16_t(name.empty() ? 0 : (name.size() + 1) * 2));
        p[66] = i == 0 ? TypeRoot : e.IsStorage() ? TypeStorage : TypeStream;
        p[67] = en.color;
        Put32(p + 68, en.left);
        Put32(p + 72, en.right);
        Put32(p + 76, en.child);
        std::memcpy(p + 80, e.ClassId.data(), 16);
        Put32(p + 96, e.StateBits);
        Put64(p + 100, e.CreationTime);
        Put64(p + 108, e.ModifiedTime);
        if (i == 0) {
            Put32(p + 116, miniSectors ? firstMiniStream : EndOfChain);
            Put64(p + 120, miniSectors * MiniSectorSize);
        } else if (e.IsStream()) {
            const uint64_t size = StreamSize(e);
            Put32(p + 116, size == 0 ? EndOfChain : en.start);
            Put64(p + 120, size);
        }
    }

    // The entries, then unused ones to the end of the last sector.
    void WriteDirectory(ImageSink& sink) const {
        std::vector<uint8_t> dir(size_t(dirSectors * SectorSize), 0);
        for (size_t i = 0; i < dirSectors * (SectorSize / DirEntrySize); ++i) {
            uint8_t* p = dir.data() + i * DirEntrySize;
            if (i < entries.size()) {
                EncodeEntry(i, p);
            } else {
                Put32(p + 68, NoStream);
                Put32(p + 72, NoStream);
                Put32(p + 76, NoStream);
            }
        }
        sink.Write(dir.data(), dir.size());
    }

    void WriteLargeStreams(ImageSink& sink) const {
        const uint8_t zeros[SectorSize] = {};
        for (const Entry& en : entries) {
            if (!HasBytes(en) || en.mini) continue;
            const uint64_t size = StreamSize(*en.element);
            WriteStreamBytes(*en.element, sink);
            if (size % SectorSize) sink.Write(zeros, SectorSize - size % SectorSize);
        }
    }

    std::vector<Entry> entries;
    uint64_t miniSectors = 0, bigSectors = 0;
    uint64_t dirSectors = 0, miniFatSectors = 0, miniStreamSectors = 0, fatSectors = 0, difatSectors = 0;
    uint32_t firstDifat = 0, firstDir = 0, firstMiniFat = 0, firstMiniStream = 0, firstBig = 0;
    std::vector<uint32_t> fatTable, miniFat;
    std::vector<uint8_t> miniStream;
};

} // namespace

void TreeAccess::Emit(const Element& root, ImageSink& sink) {
    ImageWriter(root).Write(sink);
}

std::vector<uint8_t> TreeAccess::Serialize(const Element& root) {
    VectorSink sink;
    Emit(root, sink);
    return std::move(sink.out);
}

void TreeAccess::Save(const Element& root, const std::filesystem::path& file) {
    platform::AtomicFile out(file.string());
    FileSink sink(out);
    Emit(root, sink);
    sink.Flush();
    out.Commit();
}

CompoundFile CompoundFile::Parse(std::span<const uint8_t> image) {
    return TreeAccess::Parse(SpanSource(image));
}

CompoundFile CompoundFile::Load(const std::filesystem::path& file) {
    return TreeAccess::Parse(FileSource(file));
}

CompoundFile CompoundFile::Load(const std::filesystem::path& file,
                                const std::function<bool(std::u16string_view)>& leaveOnDisk) {
    auto source = std::make_shared<FileSource>(file);
    return TreeAccess::Parse(*source, source, leaveOnDisk);
}

std::unique_ptr<StreamOnDisk> CompoundFile::TakeOnDisk(const Element& stream) {
    for (auto& [element, bytes] : onDisk)
        if (element == &stream && bytes) return std::move(bytes);
    return nullptr;
}

void StreamOnDisk::Read(uint64_t off, uint8_t* out, size_t n) const {
    // The run that holds off: the last one starting at or before it.
    auto it = std::upper_bound(runs.begin(), runs.end(), off,
                               [](uint64_t at, const Run& r) { return at < r.streamOffset; });
    for (--it; n > 0; ++it) {
        const uint64_t inRun = off - it->streamOffset;
        const size_t take = size_t(std::min<uint64_t>(n, it->length - inRun));
        const uint64_t at = it->fileOffset + inRun;
        const size_t avail = at < file->Size() ? size_t(std::min<uint64_t>(file->Size() - at, take)) : 0;
        if (avail > 0) file->Read(at, out, avail);
        std::memset(out + avail, 0, take - avail);
        out += take;
        off += take;
        n -= take;
    }
}

std::vector<uint8_t> CompoundFile::Serialize() const {
    return TreeAccess::Serialize(*root);
}

void CompoundFile::Save(const std::filesystem::path& file) const {
    TreeAccess::Save(*root, file);
}

} // namespace platform::cfb
