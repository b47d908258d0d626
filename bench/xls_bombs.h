// Damaged workbooks whose parts claim or expand to far more than the file
// holds, made for the bounds of the readers: metafile pictures of zeros or
// with sizes they do not have, a macro project made of one repeated chunk,
// and packages with one endless text or endless blanks and comments. The
// benchmarks time them and the tests read them under memory limits.
#pragma once

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/formats/VBAProject.h"
#include "platform/compound/CompoundFile.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bombs {

// Built with AddressSanitizer, whose allocator keeps freed memory in
// quarantine and maps shadow memory for all of it: a cap on the address
// space measures the sanitizer, not the reader. The bounds are checked in
// the plain build; there RunLimited runs its body in this process, uncapped.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

struct TLimitedRun {
    bool Ok = false;
    // The exception's message, or how the child ended.
    std::string Error;
    // The child's peak resident memory and its wall time.
    double PeakMB = 0;
    double Seconds = 0;
};

// Runs body in a child process whose address space is capped extraBytes
// above what this process maps, for at most `seconds`; body reports a
// failure by raising. A reader that allocates what a damaged file claims
// fails there instead of taking the machine's memory.
inline TLimitedRun RunLimited(size_t extraBytes, const std::function<void()>& body, unsigned seconds = 60) {
    struct TReport {
        bool Ok;
        long PeakKB;
        char Error[512];
    };
    TLimitedRun result;
    if constexpr (kAddressSanitizer) {
        const auto start = std::chrono::steady_clock::now();
        try {
            body();
            result.Ok = true;
        } catch (const std::exception& e) {
            result.Error = e.what();
        }
        result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        result.Error = "no pipe";
        return result;
    }
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = rlim_t(pages * size_t(sysconf(_SC_PAGESIZE)) + extraBytes);
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        alarm(seconds);
        rlimit cap{limit, limit};
        setrlimit(RLIMIT_AS, &cap);
        TReport report{};
        try {
            body();
            report.Ok = true;
        } catch (const std::exception& e) {
            std::snprintf(report.Error, sizeof report.Error, "%s", e.what());
        } catch (...) {
            std::snprintf(report.Error, sizeof report.Error, "an exception that is not std::exception");
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        report.PeakKB = usage.ru_maxrss;
        const ssize_t n = write(fds[1], &report, sizeof report);
        _exit(n == ssize_t(sizeof report) ? 0 : 1);
    }
    close(fds[1]);
    TReport report{};
    const ssize_t got = read(fds[0], &report, sizeof report);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (got != ssize_t(sizeof report)) {
        result.Error = WIFSIGNALED(status) ? "the child ended by signal " + std::to_string(WTERMSIG(status))
                                           : "the child ended without a report";
        return result;
    }
    result.Ok = report.Ok;
    result.Error = report.Error;
    result.PeakMB = double(report.PeakKB) / 1024.0;
    return result;
}

// zlib stream of count zero bytes.
inline std::vector<uint8_t> DeflatedZeros(uint64_t count) {
    z_stream z{};
    deflateInit(&z, 9);
    std::vector<uint8_t> zeros(size_t(1) << 20, 0), out, chunk(size_t(1) << 16);
    for (uint64_t left = count;;) {
        const size_t take = size_t(std::min<uint64_t>(left, zeros.size()));
        left -= take;
        z.next_in = zeros.data();
        z.avail_in = uInt(take);
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int rc;
        do {
            z.next_out = chunk.data();
            z.avail_out = uInt(chunk.size());
            rc = deflate(&z, flush);
            out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
        } while (z.avail_out == 0);
        if (rc == Z_STREAM_END || left == 0) break;
    }
    deflateEnd(&z);
    return out;
}

// A BIFF8 workbook of a few cells with count metafile pictures (EMF), each
// on a picture frame of the first sheet, whose compressed data is given and
// whose header claims `claimed` bytes once inflated.
inline void PicturesWorkbook(const std::filesystem::path& file, int count,
                             const std::vector<uint8_t>& compressed, uint32_t claimed) {
    xls::TTabrix4 book;
    xls::TSheet& sheet = book.GetSheet(0);
    for (int row = 0; row < 3; ++row) sheet.SetAsInteger(0, row, 10 * (row + 1));
    for (int i = 0; i < count; ++i) {
        auto picture = std::make_unique<xls::TMSOPicture>();
        picture->PictureType = xls::pictype::EMF;
        picture->Name = u"zeros" + xls::Utf8ToWide(std::to_string(i)) + u".emf";
        picture->Data = compressed;
        picture->KeptCompressed = true;
        picture->MetaHeader.assign(34, 0);
        xls::PutU32(picture->MetaHeader.data(), claimed);
        xls::PutU32(picture->MetaHeader.data() + 12, 100);
        xls::PutU32(picture->MetaHeader.data() + 16, 100);
        picture->MetaHeader[33] = 0xFE;
        picture->UID[0] = uint8_t(i), picture->UID[1] = uint8_t(i >> 8);
        book.Pictures().Insert(std::move(picture));
        xls::TShapeClientAnchor& frame = sheet.Drawing().AddPicture();
        frame.Opt.BlipRef()->Value = uint32_t(i + 1);
        frame.Anchor.Col1 = 2 + i % 10, frame.Anchor.Row1 = 1 + i / 10;
        frame.Anchor.Col2 = frame.Anchor.Col1 + 1, frame.Anchor.Row2 = frame.Anchor.Row1 + 1;
    }
    book.SetFilename(file.u16string());
    book.Write();
}

// count EMF pictures of `zeros` zero bytes each.
inline void PicturesOfZeros(const std::filesystem::path& file, int count, uint32_t zeros) {
    PicturesWorkbook(file, count, DeflatedZeros(zeros), zeros);
}

// count pictures of 10 real bytes that claim `claimed` bytes each.
inline void PicturesClaiming(const std::filesystem::path& file, int count, uint32_t claimed) {
    PicturesWorkbook(file, count, DeflatedZeros(10), claimed);
}

// count pictures that claim `claimed` bytes each and inflate to one byte
// short of it.
inline void PicturesOneByteShort(const std::filesystem::path& file, int count, uint32_t claimed) {
    PicturesWorkbook(file, count, DeflatedZeros(claimed - 1), claimed);
}

// The records of a BIFF stream, and the stream again from records (the
// sheets' offsets in BOUNDSHEET brought up to date).
struct TRecord {
    uint16_t Id;
    std::vector<uint8_t> Body;
};

inline std::vector<TRecord> SplitRecords(const std::vector<uint8_t>& stream) {
    std::vector<TRecord> records;
    for (size_t at = 0; at + 4 <= stream.size();) {
        const uint16_t id = xls::GetU16(stream.data() + at), length = xls::GetU16(stream.data() + at + 2);
        const auto body = stream.begin() + std::ptrdiff_t(at + 4);
        records.push_back({id, std::vector<uint8_t>(body, body + length)});
        at += 4 + size_t(length);
    }
    return records;
}

inline std::vector<uint8_t> JoinRecords(std::vector<TRecord>& records) {
    std::vector<uint32_t> sheetStarts;
    uint32_t at = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].Id == 0x0809 && i > 0) sheetStarts.push_back(at);
        at += 4 + uint32_t(records[i].Body.size());
    }
    size_t sheet = 0;
    std::vector<uint8_t> out;
    for (TRecord& r : records) {
        if (r.Id == 0x0085 && sheet < sheetStarts.size()) xls::PutU32(r.Body.data(), sheetStarts[sheet++]);
        xls::TByteWriter w(out);
        w.U16(r.Id);
        w.U16(uint16_t(r.Body.size()));
        w.Bytes(r.Body.data(), r.Body.size());
    }
    return out;
}

// `groups` drawing groups of one EMF of `zeros` zero bytes each, whose
// default properties are empty, one after the other in the globals with an
// MMS record between them.
inline void GroupsOfOnePicture(const std::filesystem::path& file, int groups, uint32_t zeros) {
    PicturesOfZeros(file, 1, zeros);
    auto cf = platform::cfb::CompoundFile::Load(file);
    platform::cfb::Element* stream = cf.Root().FindStream(u"Workbook");
    if (!stream) throw std::runtime_error("no workbook stream was written");
    std::vector<TRecord> records = SplitRecords(stream->Data), out;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].Id != 0x00EB) {
            out.push_back(std::move(records[i]));
            continue;
        }
        std::vector<uint8_t> group = records[i].Body;
        while (i + 1 < records.size() && records[i + 1].Id == 0x003C) {
            ++i;
            group.insert(group.end(), records[i].Body.begin(), records[i].Body.end());
        }
        // The container's children without the default properties, then an empty OPT.
        std::vector<uint8_t> children;
        for (size_t p = 8; p + 8 <= group.size();) {
            const size_t length = 8 + xls::GetU32(group.data() + p + 4);
            if (xls::GetU16(group.data() + p + 2) != 0xF00B)
                children.insert(children.end(), group.begin() + std::ptrdiff_t(p),
                                group.begin() + std::ptrdiff_t(p + length));
            p += length;
        }
        xls::TByteWriter w(children);
        w.U16(3), w.U16(0xF00B), w.U32(0);
        std::vector<uint8_t> container;
        xls::TByteWriter c(container);
        c.U16(15), c.U16(0xF000), c.U32(uint32_t(children.size()));
        container.insert(container.end(), children.begin(), children.end());
        for (int g = 0; g < groups; ++g) {
            if (g > 0) out.push_back({0x00C1, {0, 0}});
            for (size_t p = 0; p < container.size(); p += 8224) {
                const auto from = container.begin() + std::ptrdiff_t(p);
                out.push_back({uint16_t(p == 0 ? 0x00EB : 0x003C),
                               std::vector<uint8_t>(from, from + std::ptrdiff_t(std::min<size_t>(
                                                                     8224, container.size() - p)))});
            }
        }
    }
    stream->Data = JoinRecords(out);
    cf.Save(file);
}

// A BIFF8 workbook of `count` sheets of one number each.
inline void ManySheets(const std::filesystem::path& file, int count) {
    xls::TTabrix4 book;
    book.GetSheet(0).SetAsInteger(0, 0, 1);
    for (int i = 1; i < count; ++i) book.Sheets().Add().SetAsInteger(0, 0, i + 1);
    book.SetFilename(file.u16string());
    book.Write();
}

// A BIFF8 workbook of `count` sheets, each with its number and a picture
// (PNG bytes of its own) of which the store entry `damaged` is broken: its
// BSE claims a size of 0xFFFFFFFF or (inBlip) its picture record claims
// 0x7FFFFFF0 bytes.
inline void SheetsWithADamagedPicture(const std::filesystem::path& file, int count, int damaged,
                                      bool inBlip) {
    {
        xls::TTabrix4 book;
        for (int i = 0; i < count; ++i) {
            xls::TSheet& sheet = i == 0 ? book.GetSheet(0) : book.Sheets().Add();
            sheet.SetAsInteger(0, 0, i + 1);
            auto picture = std::make_unique<xls::TMSOPicture>();
            picture->PictureType = xls::pictype::PNG;
            picture->Data.assign(64, uint8_t(i));
            xls::PutU32(picture->Data.data(), uint32_t(i));
            picture->UID[0] = uint8_t(i), picture->UID[1] = uint8_t(i >> 8);
            book.Pictures().Insert(std::move(picture));
            xls::TShapeClientAnchor& frame = sheet.Drawing().AddPicture();
            frame.Opt.BlipRef()->Value = uint32_t(i + 1);
            frame.Anchor.Col1 = 2, frame.Anchor.Row1 = 1, frame.Anchor.Col2 = 3, frame.Anchor.Row2 = 3;
        }
        book.SetFilename(file.u16string());
        book.Write();
    }
    auto cf = platform::cfb::CompoundFile::Load(file);
    platform::cfb::Element* stream = cf.Root().FindStream(u"Workbook");
    if (!stream) throw std::runtime_error("no workbook stream was written");
    std::vector<TRecord> records = SplitRecords(stream->Data);
    // The drawing group with its continuations, as one body.
    size_t first = 0;
    while (first < records.size() && records[first].Id != 0x00EB) ++first;
    std::vector<size_t> pieces;
    std::vector<uint8_t> group;
    for (size_t i = first; i < records.size() && (i == first || records[i].Id == 0x003C); ++i) {
        pieces.push_back(i);
        group.insert(group.end(), records[i].Body.begin(), records[i].Body.end());
    }
    int entry = 0;
    for (size_t at = 8; at + 8 <= group.size();) {
        const uint16_t type = xls::GetU16(group.data() + at + 2);
        if (type == 0xF007 && entry++ == damaged) {
            xls::PutU32(group.data() + at + (inBlip ? 8 + 36 + 4 : 8 + 20),
                        inBlip ? 0x7FFFFFF0u : 0xFFFFFFFFu);
            break;
        }
        at += type == 0xF001 ? 8 : 8 + xls::GetU32(group.data() + at + 4);
    }
    size_t at = 0;
    for (size_t i : pieces) {
        std::copy_n(group.begin() + std::ptrdiff_t(at), records[i].Body.size(), records[i].Body.begin());
        at += records[i].Body.size();
    }
    stream->Data = JoinRecords(records);
    cf.Save(file);
}

// A workbook of `count` FORMAT records in its globals, before its first XF:
// an Excel 97 file's with indexes from 164 on (past the last index they
// start again, texts of their own), or an Excel 4 file's, which numbers its
// formats by order and has no cap.
inline void FormatRecords(const std::filesystem::path& file, int count, bool biff4) {
    {
        xls::TTabrix4 book;
        book.GetSheet(0).SetAsInteger(0, 0, 1);
        book.SetVersion(biff4 ? xls::TExcelVersion::xvExcel40 : xls::TExcelVersion::xvExcel97);
        book.SetFilename(file.u16string());
        book.Write();
    }
    auto format = [biff4](int i) {
        const std::string text = "0.00\"" + std::to_string(i) + "\"";
        std::vector<uint8_t> body;
        xls::TByteWriter w(body);
        if (biff4) {
            w.U16(0);
            w.U8(uint8_t(text.size()));
        } else {
            w.U16(uint16_t(164 + i % 65000));
            w.U16(uint16_t(text.size()));
            w.U8(0);
        }
        w.Bytes(text.data(), text.size());
        return TRecord{0x041E, body};
    };
    auto insert = [&](std::vector<TRecord>& records) {
        size_t at = 0;
        while (at < records.size() && records[at].Id != 0x00E0 && records[at].Id != 0x0443) ++at;
        std::vector<TRecord> formats;
        for (int i = 0; i < count; ++i) formats.push_back(format(i));
        records.insert(records.begin() + std::ptrdiff_t(at), formats.begin(), formats.end());
    };
    if (biff4) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<TRecord> records = SplitRecords(stream);
        insert(records);
        const std::vector<uint8_t> out = JoinRecords(records);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
        return;
    }
    auto cf = platform::cfb::CompoundFile::Load(file);
    platform::cfb::Element* stream = cf.Root().FindStream(u"Workbook");
    if (!stream) throw std::runtime_error("no workbook stream was written");
    std::vector<TRecord> records = SplitRecords(stream->Data);
    insert(records);
    stream->Data = JoinRecords(records);
    cf.Save(file);
}

// A BIFF8 workbook with a macro project of one module whose source (or,
// with inDir, whose dir stream) is `chunks` copies of one compressed chunk
// that makes 4096 bytes of six.
inline void MacroChunks(const std::filesystem::path& file, int chunks, bool inDir) {
    {
        xls::TTabrix4 book;
        book.GetSheet(0).SetAsInteger(0, 0, 1);
        xls::TVBAModuleSource& module = book.VBA().AddModule(u"Module1", xls::TVBAModuleKind::Procedural);
        module.Code.Add(u"Sub Hello()");
        module.Code.Add(u"End Sub");
        book.VBA().Rebuild = true;
        book.SetFilename(file.u16string());
        book.Write();
    }
    auto cf = platform::cfb::CompoundFile::Load(file);
    platform::cfb::Element* project = cf.Root().FindStorage(u"_VBA_PROJECT_CUR");
    platform::cfb::Element* vba = project ? project->FindStorage(u"VBA") : nullptr;
    platform::cfb::Element* stream = vba ? vba->FindStream(inDir ? u"dir" : u"Module1") : nullptr;
    if (!stream) throw std::runtime_error("no macro project was written");
    std::vector<uint8_t> data(inDir ? 0 : 16, 0);
    data.push_back(1);
    for (int i = 0; i < chunks; ++i) data.insert(data.end(), {0x03, 0xB0, 0x02, 0x41, 0xFC, 0x0F});
    stream->Data = std::move(data);
    cf.Save(file);
}

// A zip archive written entry by entry; each entry's text comes from a
// generator in pieces and is deflated as it comes.
class TZipWriter {
public:
    explicit TZipWriter(const std::filesystem::path& file) : out(file, std::ios::binary) {}
    ~TZipWriter() { Finish(); }

    // next appends the entry's next piece to its argument; false when done.
    // A claimed size other than 0 stands in the headers instead of the real one.
    void Add(const std::string& name, const std::function<bool(std::string&)>& next, uint32_t claimed = 0) {
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        std::vector<uint8_t> packed, chunk(size_t(1) << 16);
        uLong crc = crc32(0, nullptr, 0);
        uint64_t size = 0;
        std::string piece;
        bool more = true;
        while (more) {
            piece.clear();
            more = next(piece);
            crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.data()), uInt(piece.size()));
            size += piece.size();
            z.next_in = reinterpret_cast<Bytef*>(piece.data());
            z.avail_in = uInt(piece.size());
            int rc;
            do {
                z.next_out = chunk.data();
                z.avail_out = uInt(chunk.size());
                rc = deflate(&z, more ? Z_NO_FLUSH : Z_FINISH);
                packed.insert(packed.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
            } while (z.avail_out == 0 || (!more && rc != Z_STREAM_END));
        }
        deflateEnd(&z);
        Entry e{name, uint32_t(crc), uint32_t(packed.size()), claimed ? claimed : uint32_t(size),
                uint32_t(out.tellp())};
        Header(0x04034b50, e, false);
        out.write(reinterpret_cast<const char*>(packed.data()), std::streamsize(packed.size()));
        entries.push_back(e);
    }
    void Add(const std::string& name, const std::string& text) {
        Add(name, [&text](std::string& piece) {
            piece = text;
            return false;
        });
    }
    void Finish() {
        if (finished) return;
        finished = true;
        const uint32_t start = uint32_t(out.tellp());
        for (const Entry& e : entries) Header(0x02014b50, e, true);
        const uint32_t size = uint32_t(out.tellp()) - start;
        std::string end;
        Put32(end, 0x06054b50), Put16(end, 0), Put16(end, 0), Put16(end, uint16_t(entries.size()));
        Put16(end, uint16_t(entries.size())), Put32(end, size), Put32(end, start), Put16(end, 0);
        out << end;
        out.close();
    }

private:
    struct Entry {
        std::string Name;
        uint32_t Crc, Packed, Size, Offset;
    };
    static void Put16(std::string& s, uint16_t v) { s += char(v & 0xFF), s += char(v >> 8); }
    static void Put32(std::string& s, uint32_t v) { Put16(s, uint16_t(v)), Put16(s, uint16_t(v >> 16)); }
    void Header(uint32_t signature, const Entry& e, bool central) {
        std::string h;
        Put32(h, signature);
        if (central) Put16(h, 20);
        Put16(h, 20), Put16(h, 0), Put16(h, 8), Put16(h, 0), Put16(h, 0x21);
        Put32(h, e.Crc), Put32(h, e.Packed), Put32(h, e.Size);
        Put16(h, uint16_t(e.Name.size())), Put16(h, 0);
        if (central) Put16(h, 0), Put16(h, 0), Put16(h, 0), Put32(h, 0), Put32(h, e.Offset);
        out << h << e.Name;
    }
    std::ofstream out;
    std::vector<Entry> entries;
    bool finished = false;
};

// The parts of a package of one sheet around a sheet part and a shared
// strings part given as generators.
// The relationships of the workbook may come from a generator that claims
// a size of its own; a styles part may come from a generator too.
inline void Package(const std::filesystem::path& file, const std::function<bool(std::string&)>& sheet,
                    const std::function<bool(std::string&)>& strings,
                    const std::function<bool(std::string&)>& relationships = nullptr, uint32_t claimed = 0,
                    const std::function<bool(std::string&)>& styles = nullptr) {
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    TZipWriter zip(file);
    zip.Add("[Content_Types].xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" "
            "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/xl/workbook.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
            "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
            "<Override PartName=\"/xl/sharedStrings.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
            "</Types>");
    zip.Add("_rels/.rels", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"" + pkg +
                               "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                               "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    zip.Add("xl/workbook.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"" + main +
                                   "\" xmlns:r=\"" + rel +
                                   "\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
                                   "</workbook>");
    const std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"" + pkg +
        "\"><Relationship Id=\"rId1\" Type=\"" + rel +
        "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
        "/sharedStrings\" Target=\"sharedStrings.xml\"/>" +
        (styles ? "<Relationship Id=\"rId3\" Type=\"" + rel + "/styles\" Target=\"styles.xml\"/>" : "") +
        "</Relationships>";
    if (relationships)
        zip.Add("xl/_rels/workbook.xml.rels", relationships, claimed);
    else
        zip.Add("xl/_rels/workbook.xml.rels", rels);
    zip.Add("xl/worksheets/sheet1.xml", sheet);
    zip.Add("xl/sharedStrings.xml", strings);
    if (styles) zip.Add("xl/styles.xml", styles);
}

// A generator of head, then `bytes` bytes repeating unit, then tail.
inline std::function<bool(std::string&)> Repeating(std::string head, std::string unit, uint64_t bytes,
                                                   std::string tail) {
    struct TState {
        int Step = 0;
        uint64_t Left;
    };
    auto state = std::make_shared<TState>(TState{0, bytes});
    return [=](std::string& piece) {
        if (state->Step == 0) {
            piece = head;
            state->Step = 1;
            return true;
        }
        if (state->Left > 0) {
            while (piece.size() < (size_t(1) << 20) && state->Left > 0) {
                const size_t take = size_t(std::min<uint64_t>(state->Left, unit.size()));
                piece.append(unit, 0, take);
                state->Left -= take;
            }
            return true;
        }
        piece = tail;
        return false;
    };
}

inline const char* SheetHead() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
           "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
}

// A package whose only shared string, shown in A1 (B1 holds 7), is head,
// `bytes` bytes repeating unit, and tail.
inline void PackageOneString(const std::filesystem::path& file, const std::string& head,
                             const std::string& unit, uint64_t bytes, const std::string& tail) {
    Package(file,
            Repeating(std::string(SheetHead()) +
                          "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>7</v></c></row>",
                      "", 0, "</sheetData></worksheet>"),
            Repeating("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
                      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"1\" "
                      "uniqueCount=\"1\"><si>" +
                          head,
                      unit, bytes, tail + "</si></sst>"));
}

// A package whose only shared string is `bytes` letters long, shown in A1;
// B1 holds 7.
inline void PackageLongString(const std::filesystem::path& file, uint64_t bytes) {
    PackageOneString(file, "<t>", "abcdefghijklmnopqrstuvwxyz", bytes, "</t>");
}

// A package whose sheet part holds `bytes` of blanks and comments, half
// between its rows and half inside the value of A1 (7).
inline void PackageBlanks(const std::filesystem::path& file, uint64_t bytes) {
    const std::string unit = "        <!-- blank -->        \n";
    auto first = Repeating(SheetHead(), unit, bytes / 2, "<row r=\"1\"><c r=\"A1\"><v>");
    auto second = Repeating("", unit, bytes / 2, "7</v></c></row></sheetData></worksheet>");
    bool inSecond = false;
    Package(
        file,
        [=](std::string& piece) mutable {
            if (!inSecond) {
                if (first(piece)) return true;
                inSecond = true;
                return true;
            }
            return second(piece);
        },
        Repeating("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
                  "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"0\" "
                  "uniqueCount=\"0\">",
                  "", 0, "</sst>"));
}

// One generator after the other.
inline std::function<bool(std::string&)> Chain(std::vector<std::function<bool(std::string&)>> parts) {
    auto at = std::make_shared<size_t>(0);
    return [=](std::string& piece) {
        while (*at < parts.size()) {
            if (parts[*at](piece)) return true;
            ++*at;
            if (!piece.empty()) return *at < parts.size();
        }
        return false;
    };
}

// A generator of count copies of head, `bytes` bytes repeating unit, tail.
inline std::function<bool(std::string&)> Repeated(int count, std::string head, std::string unit,
                                                  uint64_t bytes, std::string tail) {
    std::vector<std::function<bool(std::string&)>> parts;
    for (int i = 0; i < count; ++i) parts.push_back(Repeating(head, unit, bytes, tail));
    return Chain(std::move(parts));
}

inline std::function<bool(std::string&)> NoStrings() {
    return Repeating("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
                     "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"0\" "
                     "uniqueCount=\"0\">",
                     "", 0, "</sst>");
}

inline std::string OneCellRow() {
    return std::string(SheetHead()) + "<row r=\"1\"><c r=\"A1\"><v>7</v></c></row></sheetData>";
}

// A package whose sheet (A1 = 7) has, in the element list, `count`
// elements that each hold a text of `bytes` letters between head and tail.
inline void PackageLongTexts(const std::filesystem::path& file, const std::string& list, int count,
                             const std::string& head, uint64_t bytes, const std::string& tail) {
    Package(file,
            Chain({Repeating(OneCellRow() + "<" + list + ">", "", 0, ""),
                   Repeated(count, head, "abcdefghijklmnopqrstuvwxyz", bytes, tail),
                   Repeating("</" + list + "></worksheet>", "", 0, "")}),
            NoStrings());
}

// A package whose sheet (A1 = 7) has `count` hyperlinks, each with a
// display text of `bytes` letters.
inline void PackageHyperlinks(const std::filesystem::path& file, int count, uint64_t bytes) {
    PackageLongTexts(file, "hyperlinks", count, "<hyperlink ref=\"A1\" location=\"Sheet1!A1\" display=\"",
                     bytes, "\"/>");
}

// A package whose sheet (A1 = 7) has an extension list of `count`
// extensions, each a text of `bytes` letters.
inline void PackageExtensions(const std::filesystem::path& file, int count, uint64_t bytes) {
    PackageLongTexts(file, "extLst", count, "<ext uri=\"{B025F937-C7B1-47D3-B67F-A62EFF666E3E}\">", bytes,
                     "</ext>");
}

// A package whose cell A1 (7) carries an attribute of `bytes` letters.
inline void PackageLongTag(const std::filesystem::path& file, uint64_t bytes) {
    Package(file,
            Repeating(std::string(SheetHead()) + "<row r=\"1\"><c r=\"A1\" x=\"",
                      "abcdefghijklmnopqrstuvwxyz", bytes, "\"><v>7</v></c></row></sheetData></worksheet>"),
            NoStrings());
}

// A package whose workbook relationships claim `claimed` bytes and hold
// `bytes` bytes, most of them a comment of letters that hardly compress.
inline void PackageClaimingRelations(const std::filesystem::path& file, uint32_t claimed, uint64_t bytes) {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    struct TState {
        int Step = 0;
        uint64_t Left;
        uint32_t X = 12345;
    };
    auto state = std::make_shared<TState>(TState{0, bytes});
    auto relationships = [=](std::string& piece) {
        if (state->Step == 0) {
            piece = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" Type=\"" +
                    rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><!--";
            state->Step = 1;
            return true;
        }
        if (state->Left > 0) {
            for (; piece.size() < (size_t(1) << 20) && state->Left > 0; --state->Left) {
                state->X = state->X * 1103515245u + 12345u;
                piece += char('a' + (state->X >> 16) % 26);
            }
            return true;
        }
        piece = "--></Relationships>";
        return false;
    };
    Package(file, Repeating(OneCellRow() + "</worksheet>", "", 0, ""), NoStrings(), relationships, claimed);
}

// A package whose only shared string, shown in A1 (B1 holds 7), is `runs`
// runs of rich text of two letters each, bold and not in turn.
inline void PackageRichRuns(const std::filesystem::path& file, uint64_t runs) {
    const std::string unit = "<r><rPr><b/><sz val=\"11\"/></rPr><t>ab</t></r><r><t>cd</t></r>";
    PackageOneString(file, "", unit, runs / 2 * unit.size(), "");
}

// A package whose sheet (A1 = 7) has an extension of `count` empty elements.
inline void PackageEmptyExtensions(const std::filesystem::path& file, uint64_t count) {
    Package(file,
            Repeating(OneCellRow() + "<extLst><ext uri=\"{B025F937-C7B1-47D3-B67F-A62EFF666E3E}\">", "<x/>",
                      count * 4, "</ext></extLst></worksheet>"),
            NoStrings());
}

// A package whose first row holds A1 = 7 and `count` empty elements more.
inline void PackageRowChildren(const std::filesystem::path& file, uint64_t count) {
    Package(file,
            Repeating(std::string(SheetHead()) + "<row r=\"1\"><c r=\"A1\"><v>7</v></c>", "<x/>", count * 4,
                      "</row></sheetData></worksheet>"),
            NoStrings());
}

// A package whose styles part has a section of `count` items, the i-th
// made by item(i), and the sections a package needs besides; A1 = 7.
inline void PackageStyleItems(const std::filesystem::path& file, const std::string& section, uint64_t count,
                              std::function<std::string(uint64_t)> item) {
    struct TState {
        int Step = 0;
        uint64_t Done = 0;
    };
    auto state = std::make_shared<TState>();
    auto styles = [=](std::string& piece) {
        if (state->Step == 0) {
            piece = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet "
                    "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><" +
                    section + " count=\"" + std::to_string(count) + "\">";
            state->Step = 1;
            return true;
        }
        for (; state->Done < count && piece.size() < (size_t(1) << 20); ++state->Done)
            piece += item(state->Done);
        if (state->Done < count) return true;
        piece +=
            "</" + section + ">" +
            (section == "fonts"
                 ? ""
                 : "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Arial\"/></font></fonts>") +
            "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill>"
            "<patternFill patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border/></borders>"
            "<cellStyleXfs count=\"1\"><xf/></cellStyleXfs><cellXfs count=\"1\"><xf xfId=\"0\"/></cellXfs>"
            "</styleSheet>";
        return false;
    };
    Package(file, Repeating(OneCellRow() + "</worksheet>", "", 0, ""), NoStrings(), nullptr, 0, styles);
}

// A package whose styles part has `count` fonts, of 400 sizes in turn.
inline void PackageFonts(const std::filesystem::path& file, uint64_t count) {
    PackageStyleItems(file, "fonts", count, [](uint64_t i) {
        return "<font><sz val=\"" + std::to_string(i % 400 + 1) + "\"/><name val=\"Arial\"/></font>";
    });
}

// A package whose styles part has `count` number formats, ids from 164 on.
inline void PackageNumberFormats(const std::filesystem::path& file, uint64_t count) {
    PackageStyleItems(file, "numFmts", count, [](uint64_t i) {
        return "<numFmt numFmtId=\"" + std::to_string(164 + i) + "\" formatCode=\"0." +
               std::string(i % 30 + 1, '0') + "\"/>";
    });
}

// Packages of millions of small elements, by file name: a shared string of
// 1, 2 and 4 million rich runs, an extension of 8 million empty elements, a
// row of 8 million empty elements, styles of 10,000 to a million fonts and
// of 100,000 number formats.
struct TElementPackage {
    const char* Name;
    void (*Make)(const std::filesystem::path&);
};
inline constexpr TElementPackage ElementPackages[] = {
    {"rich_runs_1M.xlsx", [](const std::filesystem::path& f) { PackageRichRuns(f, 1000000); }},
    {"rich_runs_2M.xlsx", [](const std::filesystem::path& f) { PackageRichRuns(f, 2000000); }},
    {"rich_runs_4M.xlsx", [](const std::filesystem::path& f) { PackageRichRuns(f, 4000000); }},
    {"empty_extensions_8M.xlsx", [](const std::filesystem::path& f) { PackageEmptyExtensions(f, 8000000); }},
    {"row_children_8M.xlsx", [](const std::filesystem::path& f) { PackageRowChildren(f, 8000000); }},
    {"fonts_10000.xlsx", [](const std::filesystem::path& f) { PackageFonts(f, 10000); }},
    {"fonts_20000.xlsx", [](const std::filesystem::path& f) { PackageFonts(f, 20000); }},
    {"fonts_40000.xlsx", [](const std::filesystem::path& f) { PackageFonts(f, 40000); }},
    {"fonts_1M.xlsx", [](const std::filesystem::path& f) { PackageFonts(f, 1000000); }},
    {"number_formats_100000.xlsx", [](const std::filesystem::path& f) { PackageNumberFormats(f, 100000); }},
};

} // namespace bombs
