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
    void Add(const std::string& name, const std::function<bool(std::string&)>& next) {
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
        Entry e{name, uint32_t(crc), uint32_t(packed.size()), uint32_t(size), uint32_t(out.tellp())};
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
inline void Package(const std::filesystem::path& file, const std::function<bool(std::string&)>& sheet,
                    const std::function<bool(std::string&)>& strings) {
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
    zip.Add("xl/_rels/workbook.xml.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"" + pkg +
                "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
                "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
    zip.Add("xl/worksheets/sheet1.xml", sheet);
    zip.Add("xl/sharedStrings.xml", strings);
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

// A package whose only shared string is `bytes` letters long, shown in A1;
// B1 holds 7.
inline void PackageLongString(const std::filesystem::path& file, uint64_t bytes) {
    Package(file,
            Repeating(std::string(SheetHead()) +
                          "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>7</v></c></row>",
                      "", 0, "</sheetData></worksheet>"),
            Repeating("<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst "
                      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"1\" "
                      "uniqueCount=\"1\"><si><t>",
                      "abcdefghijklmnopqrstuvwxyz", bytes, "</t></si></sst>"));
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

} // namespace bombs
