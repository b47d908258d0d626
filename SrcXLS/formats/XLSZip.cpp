#include "SrcXLS/formats/XLSZip.h"

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <exception>
#include <unistd.h>
#include <zip.h>

namespace xls {

struct TXLSZipArchive::TGenerated {
    TProducer Producer;
    std::string Buf;
    size_t Off = 0;
    bool Done = false;
    std::exception_ptr Error;
    zip_error_t ZipError;
    TGenerated() { zip_error_init(&ZipError); }
    ~TGenerated() { zip_error_fini(&ZipError); }

    // libzip asks for the entry's bytes while it writes the archive; a
    // failure of the producer is kept and raised after libzip returns.
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
        auto* g = static_cast<TGenerated*>(state);
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            g->Buf.clear();
            g->Off = 0;
            g->Done = false;
            return 0;
        case ZIP_SOURCE_READ: {
            try {
                while (g->Buf.size() - g->Off < len && !g->Done) {
                    if (g->Off > 0) {
                        g->Buf.erase(0, g->Off);
                        g->Off = 0;
                    }
                    if (!g->Producer(g->Buf)) g->Done = true;
                }
            } catch (...) {
                g->Error = std::current_exception();
                zip_error_set(&g->ZipError, ZIP_ER_INTERNAL, 0);
                return -1;
            }
            size_t n = std::min<size_t>(len, g->Buf.size() - g->Off);
            std::memcpy(data, g->Buf.data() + g->Off, n);
            g->Off += n;
            return zip_int64_t(n);
        }
        case ZIP_SOURCE_CLOSE:
            g->Buf.clear();
            g->Buf.shrink_to_fit();
            g->Off = 0;
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->mtime = std::time(nullptr);
            st->valid |= ZIP_STAT_MTIME;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&g->ZipError, data, len);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&g->ZipError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
};

// An empty archive that libzip writes into a file descriptor: it seeks back
// to complete each entry's header, which a plain stream could not do.
struct TXLSZipArchive::TFileSink {
    int Fd = -1;
    int64_t Pos = 0, End = 0;
    zip_error_t ZipError;
    TFileSink() { zip_error_init(&ZipError); }
    ~TFileSink() { zip_error_fini(&ZipError); }

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
        auto* f = static_cast<TFileSink*>(state);
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_COMMIT_WRITE:
        case ZIP_SOURCE_ROLLBACK_WRITE:
        case ZIP_SOURCE_REMOVE:
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_READ:
            return 0; // the archive starts empty
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = 0;
            st->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_SEEK:
        case ZIP_SOURCE_TELL:
            return 0;
        case ZIP_SOURCE_BEGIN_WRITE:
            if (::ftruncate(f->Fd, 0) != 0) return Fail(f, ZIP_ER_WRITE);
            f->Pos = f->End = 0;
            return 0;
        case ZIP_SOURCE_WRITE: {
            const auto* bytes = static_cast<const uint8_t*>(data);
            zip_uint64_t done = 0;
            while (done < len) {
                ssize_t n = ::pwrite(f->Fd, bytes + done, len - done, off_t(f->Pos + int64_t(done)));
                if (n <= 0) return Fail(f, ZIP_ER_WRITE);
                done += zip_uint64_t(n);
            }
            f->Pos += int64_t(len);
            f->End = std::max(f->End, f->Pos);
            return zip_int64_t(len);
        }
        case ZIP_SOURCE_SEEK_WRITE: {
            zip_int64_t to = zip_source_seek_compute_offset(zip_uint64_t(f->Pos), zip_uint64_t(f->End), data,
                                                            len, &f->ZipError);
            if (to < 0) return -1;
            f->Pos = to;
            return 0;
        }
        case ZIP_SOURCE_TELL_WRITE:
            return f->Pos;
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&f->ZipError, data, len);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
                ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_WRITE,
                ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_SEEK_WRITE,
                ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, -1);
        default:
            zip_error_set(&f->ZipError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
    static zip_int64_t Fail(TFileSink* f, int code) {
        zip_error_set(&f->ZipError, code, errno);
        return -1;
    }
};

TXLSZipArchive::TXLSZipArchive() = default;

TXLSZipArchive::~TXLSZipArchive() {
    Discard();
}

void TXLSZipArchive::Fail(std::string_view what) const {
    std::string message(what);
    if (archive) {
        const char* reason = zip_strerror(archive);
        if (reason && *reason) message += std::string(": ") + reason;
    }
    throw XLSError(message);
}

void TXLSZipArchive::Discard() {
    folded.clear();
    folders.clear();
    if (archive) zip_discard(archive);
    archive = nullptr;
    if (target) zip_source_free(target);
    target = nullptr;
    pending.clear();
    generated.clear();
    sink.reset();
}

void TXLSZipArchive::OpenBuffer(std::span<const uint8_t> data, const TZipLimits& l) {
    Discard();
    limits = l;
    totalRead = 0;
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(data.data(), data.size(), 0, &err);
    if (src) archive = zip_open_from_source(src, ZIP_RDONLY, &err);
    if (!archive) {
        if (src) zip_source_free(src);
        const int code = zip_error_code_zip(&err);
        zip_error_fini(&err);
        if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS || code == ZIP_ER_SEEK || code == ZIP_ER_READ)
            throw XLSError("File is not a ZIP archive or is damaged");
        throw XLSError("Can not open ZIP archive");
    }
    zip_error_fini(&err);
    if (Count() > limits.MaxEntries)
        throw XLSError("Too many entries in ZIP archive: " + std::to_string(Count()));
}

void TXLSZipArchive::Create() {
    Discard();
    zip_error_t err;
    zip_error_init(&err);
    target = zip_source_buffer_create(nullptr, 0, 0, &err);
    if (target) {
        zip_source_keep(target);
        archive = zip_open_from_source(target, ZIP_CREATE | ZIP_TRUNCATE, &err);
    }
    zip_error_fini(&err);
    if (!archive) {
        if (target) zip_source_free(target);
        target = nullptr;
        throw XLSError("Can not create ZIP archive");
    }
}

void TXLSZipArchive::CreateInFile(int fd) {
    Discard();
    sink = std::make_unique<TFileSink>();
    sink->Fd = fd;
    zip_error_t err;
    zip_error_init(&err);
    target = zip_source_function_create(&TFileSink::Callback, sink.get(), &err);
    if (target) {
        zip_source_keep(target);
        archive = zip_open_from_source(target, ZIP_CREATE | ZIP_TRUNCATE, &err);
    }
    zip_error_fini(&err);
    if (!archive) {
        if (target) zip_source_free(target);
        target = nullptr;
        throw XLSError("Can not create ZIP archive");
    }
}

int TXLSZipArchive::Count() const {
    if (!archive) return 0;
    zip_int64_t n = zip_get_num_entries(archive, 0);
    return n < 0 ? 0 : int(std::min<zip_int64_t>(n, INT32_MAX));
}

std::string TXLSZipArchive::EntryName(int index) const {
    const char* name = archive ? zip_get_name(archive, zip_uint64_t(index), ZIP_FL_ENC_RAW) : nullptr;
    return name ? name : "";
}

int TXLSZipArchive::IndexOf(std::string_view name) const {
    if (!archive) return -1;
    std::string n(name);
    zip_int64_t i = zip_name_locate(archive, n.c_str(), ZIP_FL_ENC_RAW);
    if (i >= 0) return int(i);
    // In any letter case through an index built once: a package may look
    // for many parts it does not hold, and a scan each time is quadratic.
    if (folded.empty())
        for (int k = 0, count = Count(); k < count; ++k) folded.emplace(AsciiLower(EntryName(k)), k);
    auto it = folded.find(AsciiLower(n));
    return it == folded.end() ? -1 : it->second;
}

std::string TXLSZipArchive::Extract(std::string_view name) {
    int index = IndexOf(name);
    if (index < 0) throw XLSError("Can not find file " + std::string(name) + " in ZIP");
    return ExtractIndex(index);
}

std::string TXLSZipArchive::ExtractIndex(int index) {
    return OpenIndex(index).ReadAll();
}

TXLSZipEntry TXLSZipArchive::OpenEntry(std::string_view name) {
    int index = IndexOf(name);
    if (index < 0) throw XLSError("Can not find file " + std::string(name) + " in ZIP");
    return OpenIndex(index);
}

TXLSZipEntry TXLSZipArchive::OpenIndex(int index) {
    std::string name = EntryName(index);
    zip_stat_t st;
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) != 0) Fail("Can not read ZIP entry " + name);
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        throw XLSError("Encrypted ZIP entry: " + name);
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > limits.MaxEntrySize)
        throw XLSError("ZIP entry too large: " + name);
    const uint64_t packed = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    if (st.size > limits.RatioFloor && st.size / std::max<uint64_t>(packed, 1) > limits.MaxRatio)
        throw XLSError("ZIP entry expands beyond any package part: " + name);
    if (totalRead + st.size > limits.MaxTotalSize) throw XLSError("ZIP archive expands too far: " + name);
    totalRead += st.size;

    zip_file_t* f = zip_fopen_index(archive, zip_uint64_t(index), 0);
    if (!f) Fail("Can not read ZIP entry " + name);
    return TXLSZipEntry(f, std::move(name), st.size);
}

TXLSZipEntry::TXLSZipEntry(zip_file* f, std::string n, uint64_t s) : file(f), name(std::move(n)), size(s) {}

TXLSZipEntry::TXLSZipEntry(TXLSZipEntry&& other) noexcept
    : file(other.file), name(std::move(other.name)), size(other.size), got(other.got), failed(other.failed) {
    other.file = nullptr;
}

TXLSZipEntry::~TXLSZipEntry() {
    if (file) zip_fclose(file);
}

void TXLSZipEntry::Damaged() {
    if (file) zip_fclose(file);
    file = nullptr;
    failed = true;
    throw XLSError("ZIP entry is damaged: " + name);
}

size_t TXLSZipEntry::Read(char* to, size_t n) {
    if (!file) {
        if (failed) Damaged();
        return 0;
    }
    if (got == size) {
        // One more read ends the entry: its checksum is tested there, and an
        // entry holding more than its header says is refused.
        char extra;
        if (zip_fread(file, &extra, 1) != 0) Damaged();
        zip_fclose(file);
        file = nullptr;
        return 0;
    }
    n = size_t(std::min<uint64_t>(n, size - got));
    zip_int64_t r = zip_fread(file, to, n);
    if (r <= 0) Damaged();
    got += uint64_t(r);
    return size_t(r);
}

// The buffer grows as the data arrives: an entry whose header claims far
// more than it holds costs what it holds.
std::string TXLSZipEntry::ReadAll() {
    std::string data;
    for (;;) {
        const size_t had = data.size();
        const size_t room = size_t(std::min<uint64_t>(std::max<size_t>(had, size_t(64) << 10),
                                                      size - std::min<uint64_t>(had, size)));
        // One byte of room at the end lets the read test the entry's end.
        data.resize(had + std::max<size_t>(room, 1));
        const size_t n = Read(data.data() + had, data.size() - had);
        data.resize(had + n);
        if (n == 0) return data;
    }
}

void TXLSZipEntry::Drain() {
    char scratch[16384];
    while (Read(scratch, sizeof scratch) != 0) {
    }
}

void TXLSZipArchive::AddFolder(std::string_view name) {
    // Each folder on the way, outermost first ("xl/", "xl/worksheets/").
    for (size_t slash = name.find('/'); slash != name.npos; slash = name.find('/', slash + 1)) {
        if (slash == 0 || slash + 1 == name.size()) continue;
        std::string folder(name.substr(0, slash + 1));
        if (!folders.insert(folder).second) continue;
        if (zip_dir_add(archive, folder.c_str(), ZIP_FL_ENC_UTF_8) < 0)
            Fail("Can not add ZIP entry " + folder);
    }
}

void TXLSZipArchive::AddSource(std::string_view name, zip_source_t* src, int level) {
    if (!src) Fail("Can not add ZIP entry");
    folded.clear();
    // The folder's own entry comes first.
    try {
        AddFolder(name);
    } catch (...) {
        zip_source_free(src);
        throw;
    }
    std::string n(name);
    zip_int64_t i = zip_file_add(archive, n.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (i < 0) {
        zip_source_free(src);
        Fail("Can not add ZIP entry " + n);
    }
    zip_set_file_compression(archive, zip_uint64_t(i), ZIP_CM_DEFLATE, zip_uint32_t(level));
}

void TXLSZipArchive::AddFile(std::string_view name, std::string data, int level) {
    pending.push_back(std::make_unique<std::string>(std::move(data)));
    const std::string& d = *pending.back();
    AddSource(name, zip_source_buffer(archive, d.data(), d.size(), 0), level);
}

void TXLSZipArchive::AddGenerated(std::string_view name, TProducer producer, int level) {
    generated.push_back(std::make_unique<TGenerated>());
    TGenerated& g = *generated.back();
    g.Producer = std::move(producer);
    AddSource(name, zip_source_function(archive, &TGenerated::Callback, &g), level);
}

void TXLSZipArchive::CopyEntry(TXLSZipArchive& from, int index) {
    const std::string name = from.EntryName(index);
    AddFolder(name);
    zip_source_t* src = zip_source_zip(archive, from.archive, zip_uint64_t(index), ZIP_FL_COMPRESSED, 0, -1);
    if (!src) Fail("Can not copy ZIP entry " + name);
    folded.clear();
    if (zip_file_add(archive, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_RAW) < 0) {
        zip_source_free(src);
        Fail("Can not copy ZIP entry " + name);
    }
}

std::vector<uint8_t> TXLSZipArchive::Close() {
    if (!archive || !target) throw XLSError("No ZIP archive to close");
    if (zip_close(archive) != 0) {
        for (auto& g : generated)
            if (g->Error) {
                auto error = g->Error;
                Discard();
                std::rethrow_exception(error);
            }
        std::string message = std::string("Can not write ZIP archive: ") + zip_strerror(archive);
        Discard();
        throw XLSError(message);
    }
    archive = nullptr;
    std::vector<uint8_t> bytes;
    if (sink) {
        zip_source_free(target);
        target = nullptr;
        pending.clear();
        generated.clear();
        sink.reset();
        return bytes;
    }
    if (zip_source_open(target) == 0) {
        zip_source_seek(target, 0, SEEK_END);
        zip_int64_t size = zip_source_tell(target);
        zip_source_seek(target, 0, SEEK_SET);
        if (size > 0) {
            bytes.resize(size_t(size));
            zip_int64_t got = zip_source_read(target, bytes.data(), bytes.size());
            if (got != size) bytes.clear();
        }
        zip_source_close(target);
    }
    zip_source_free(target);
    target = nullptr;
    pending.clear();
    generated.clear();
    if (bytes.empty()) throw XLSError("Can not write ZIP archive");
    return bytes;
}

} // namespace xls
