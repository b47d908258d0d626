// Sound workbooks of LibreOffice, gnumeric, XlsxWriter and this library
// (tests/xls/damage, made by make_sources.py there) damaged one record, one
// drawing record or one package part at a time: every record kind and part
// they hold, in several ways each. A sample drawn from a fixed seed runs by
// default; Q710_DAMAGE=all runs every variant, Q710_DAMAGE=N a sample of N.
// Each variant is read, or refused only where the damage reaches the cells;
// a read keeps every cell of the undamaged file, value by value; its copy in
// the same format reads back in our reader and in xlrd (.xls) or openpyxl
// (.xlsx).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/model/Cell.h"
#include "platform/compound/CompoundFile.h"

#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>

using namespace xls;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct TRecord {
    uint16_t Id;
    Bytes Body;
};

std::vector<TRecord> Split(const Bytes& stream) {
    std::vector<TRecord> out;
    for (size_t at = 0; at + 4 <= stream.size();) {
        const uint16_t id = GetU16(stream.data() + at), length = GetU16(stream.data() + at + 2);
        if (at + 4 + length > stream.size()) break;
        out.push_back({id, Bytes(stream.begin() + std::ptrdiff_t(at + 4),
                                 stream.begin() + std::ptrdiff_t(at + 4 + length))});
        at += 4 + size_t(length);
    }
    return out;
}

// The records joined, the BOUNDSHEETs pointing at the BOFs that follow the
// globals (a damaged BOF keeps its place).
Bytes Join(std::vector<TRecord> records, const std::vector<size_t>& bofs) {
    std::vector<uint32_t> starts;
    uint32_t at = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (std::find(bofs.begin(), bofs.end(), i) != bofs.end() && i > 0) starts.push_back(at);
        at += 4 + uint32_t(records[i].Body.size());
    }
    Bytes out;
    size_t sheet = 0;
    for (TRecord& r : records) {
        if (r.Id == 0x0085 && sheet < starts.size() && r.Body.size() >= 4)
            PutU32(r.Body.data(), starts[sheet++]);
        TByteWriter w(out);
        w.U16(r.Id);
        w.U16(uint16_t(r.Body.size()));
        w.Bytes(r.Body.data(), r.Body.size());
    }
    return out;
}

// Records whose damage reaches the cells: the cells themselves, the records
// that frame the substreams, the shared strings (with their CONTINUEs) and,
// in the older versions, the code page of their text.
bool ReachesCells(uint16_t id, bool biff8) {
    static const std::set<uint16_t> cells = {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0009,
                                             0x000A, 0x0021, 0x002F, 0x007E, 0x0085, 0x00BC, 0x00BD, 0x00BE,
                                             0x00D6, 0x00FC, 0x00FD, 0x0201, 0x0203, 0x0204, 0x0205, 0x0206,
                                             0x0207, 0x0209, 0x0221, 0x027E, 0x0406, 0x0409, 0x04BC, 0x0809};
    return cells.count(id) || (!biff8 && id == 0x0042);
}

struct TSource {
    fs::path File;
    bool Package = false;
    Bytes Image;
    // .xls: the stream's records, the BOFs' positions, the stream's name.
    std::vector<TRecord> Records;
    std::vector<size_t> Bofs;
    std::u16string StreamName;
    bool Biff8 = true;
    // .xlsx: the entries.
    std::vector<std::pair<std::string, std::string>> Parts;
    std::string Cells; // of the undamaged file, as our reader reads it
};

struct TVariant {
    size_t Source;
    size_t Site;   // record or part
    size_t Offset; // of a drawing record's header inside the record; SIZE_MAX for the record itself
    int Kind;
    std::string What;
};

std::string CellsOf(TTabrix4& book) {
    std::ostringstream out;
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.Sheets().Items(s);
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell())
            out << s << '\t' << c->Row << '\t' << c->Col << '\t'
                << WideToUtf8(sheet.GetAsString(c->Col, int(c->Row))) << '\n';
    }
    return out.str();
}

// The drawing record headers inside one record's body (containers opened).
std::vector<size_t> DrawingHeaders(const Bytes& body) {
    std::vector<size_t> out;
    for (size_t at = 0; at + 8 <= body.size();) {
        out.push_back(at);
        const uint16_t verInst = GetU16(body.data() + at);
        const uint32_t length = GetU32(body.data() + at + 4);
        at += (verInst & 0x0F) == 0x0F ? 8 : 8 + size_t(length);
    }
    return out;
}

bool CellPart(const std::string& name) {
    return name == "[Content_Types].xml" || name == "_rels/.rels" || name == "xl/workbook.xml" ||
           name == "xl/_rels/workbook.xml.rels" || name == "xl/sharedStrings.xml" ||
           (name.starts_with("xl/worksheets/sheet") && name.ends_with(".xml"));
}

class Damage : public ::testing::Test {
protected:
    void SetUp() override {
        const char* src = std::getenv("Q710_SOURCE_DIR");
        const fs::path dir = fs::path(src ? src : ".") / "tests" / "xls" / "damage";
        if (!fs::is_directory(dir)) GTEST_SKIP() << "no source files in " << dir;
        std::vector<fs::path> files;
        // Q710_DAMAGE_SOURCES=text takes the files whose name holds it.
        const char* only = std::getenv("Q710_DAMAGE_SOURCES");
        for (const auto& e : fs::directory_iterator(dir))
            if ((e.path().extension() == ".xls" || e.path().extension() == ".xlsx") &&
                (!only || e.path().filename().string().find(only) != std::string::npos))
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) Load(f);
    }

    void Load(const fs::path& f) {
        TSource s;
        s.File = f;
        const std::string raw = testfiles::Slurp(f.string());
        s.Image.assign(raw.begin(), raw.end());
        s.Package = f.extension() == ".xlsx";
        if (s.Package) {
            TXLSZipArchive zip;
            zip.OpenBuffer(s.Image);
            for (int i = 0; i < zip.Count(); ++i)
                if (!zip.EntryName(i).ends_with("/"))
                    s.Parts.emplace_back(zip.EntryName(i), zip.ExtractIndex(i));
        } else {
            platform::cfb::CompoundFile cf = platform::cfb::CompoundFile::Parse(s.Image);
            for (const char16_t* name : {u"Workbook", u"Book"})
                if (auto* e = cf.Root().FindStream(name)) {
                    s.StreamName = name;
                    s.Records = Split(e->Data);
                    break;
                }
            for (size_t i = 0; i < s.Records.size(); ++i)
                if (s.Records[i].Id == 0x0809) s.Bofs.push_back(i);
            s.Biff8 = !s.Records.empty() && s.Records[0].Body.size() >= 2 &&
                      GetU16(s.Records[0].Body.data()) == 0x0600;
        }
        TTabrix4 book;
        ReadImage(book, s.Image, s.Package);
        s.Cells = CellsOf(book);
        Sources.push_back(std::move(s));
    }

    static void ReadImage(TTabrix4& book, const Bytes& image, bool package) {
        LibState().Reset();
        book.TempFileMode = TTempFileMode::tfmInMemory;
        if (package)
            ReadPackageFile(book, &image);
        else
            ReadWorkbookFile(book, &image);
        book.AfterRead();
    }

    // Every variant the sources give.
    std::vector<TVariant> Variants() const {
        std::vector<TVariant> out;
        for (size_t s = 0; s < Sources.size(); ++s) {
            const TSource& src = Sources[s];
            const std::string name = src.File.filename().string();
            if (src.Package) {
                for (size_t p = 0; p < src.Parts.size(); ++p)
                    for (int k = 0; k < 5; ++k)
                        out.push_back({s, p, SIZE_MAX, k, name + " " + src.Parts[p].first});
                continue;
            }
            for (size_t r = 1; r < src.Records.size(); ++r) {
                char id[40];
                std::snprintf(id, sizeof id, "#%zu 0x%04X", r, unsigned(src.Records[r].Id));
                for (int k = 0; k < 5; ++k) out.push_back({s, r, SIZE_MAX, k, name + " record " + id});
                if (src.Records[r].Id == 0x00EC || src.Records[r].Id == 0x00EB)
                    for (size_t at : DrawingHeaders(src.Records[r].Body))
                        for (int k = 0; k < 5; ++k)
                            out.push_back(
                                {s, r, at, k,
                                 name + " record " + id + " drawing record at " + std::to_string(at)});
            }
        }
        return out;
    }

    // The damaged image; cells: whether the damage reaches the cells.
    Bytes Damaged(const TVariant& v, std::mt19937& random, bool& cells, std::string& how) const {
        const TSource& src = Sources[v.Source];
        if (src.Package) return DamagedPackage(src, v, random, cells, how);
        std::vector<TRecord> records = src.Records;
        TRecord& r = records[v.Site];
        cells = ReachesCells(r.Id, src.Biff8);
        if (v.Offset != SIZE_MAX) {
            uint8_t* h = r.Body.data() + v.Offset;
            const uint32_t length = GetU32(h + 4);
            switch (v.Kind) {
            case 0:
                PutU32(h + 4, length + 6);
                how = "length + 6";
                break;
            case 1:
                PutU32(h + 4, length - 6);
                how = "length - 6";
                break;
            case 2:
                PutU32(h + 4, 0x7FFFFFF0);
                how = "length 0x7FFFFFF0";
                break;
            case 3:
                PutU16(h + 2, uint16_t(0xF000 + random() % 0x120));
                how = "type changed";
                break;
            default:
                PutU16(h, uint16_t(random()));
                how = "version and instance changed";
                break;
            }
        } else {
            switch (v.Kind) {
            case 0:
                r.Body.resize(r.Body.empty() ? 0 : random() % r.Body.size());
                how = "cut to " + std::to_string(r.Body.size()) + " bytes";
                break;
            case 1:
                for (unsigned n = 1 + random() % 16; n > 0; --n) r.Body.push_back(uint8_t(random()));
                how = "lengthened to " + std::to_string(r.Body.size()) + " bytes";
                break;
            case 2: {
                const TRecord& other = Sources[v.Source].Records[1 + random() % (src.Records.size() - 1)];
                r.Id = other.Id;
                cells = cells || ReachesCells(r.Id, src.Biff8);
                char id[16];
                std::snprintf(id, sizeof id, "0x%04X", unsigned(r.Id));
                how = std::string("id changed to ") + id;
                break;
            }
            default:
                if (r.Body.size() >= 2) {
                    const size_t at = random() % (r.Body.size() - 1);
                    PutU16(r.Body.data() + at, v.Kind == 3 ? 0xFFFF : uint16_t(random()));
                    how = "word at " + std::to_string(at) + " changed";
                }
            }
        }
        platform::cfb::CompoundFile cf = platform::cfb::CompoundFile::Parse(src.Image);
        cf.Root().FindStream(src.StreamName)->Data = Join(records, src.Bofs);
        return cf.Serialize();
    }

    static Bytes DamagedPackage(const TSource& src, const TVariant& v, std::mt19937& random, bool& cells,
                                std::string& how) {
        std::vector<std::pair<std::string, std::string>> parts = src.Parts;
        std::string& text = parts[v.Site].second;
        cells = CellPart(parts[v.Site].first);
        const bool xml = parts[v.Site].first.ends_with(".xml") || parts[v.Site].first.ends_with(".rels") ||
                         parts[v.Site].first.ends_with(".vml");
        switch (xml ? v.Kind : std::min(v.Kind, 1)) {
        case 0:
            parts.erase(parts.begin() + std::ptrdiff_t(v.Site));
            how = "left out";
            break;
        case 1:
            text.resize(text.empty() ? 0 : random() % text.size());
            how = "cut to " + std::to_string(text.size()) + " bytes";
            break;
        case 2: {
            // An attribute given twice.
            const size_t eq = text.find("=\"", text.find('<', random() % std::max<size_t>(text.size(), 1)));
            if (eq == std::string::npos) break;
            size_t name = eq;
            while (name > 0 && text[name - 1] != ' ') --name;
            const size_t end = text.find('"', eq + 2);
            if (end == std::string::npos) break;
            text.insert(end + 1, " " + text.substr(name, end + 1 - name));
            how = "an attribute given twice";
            break;
        }
        case 3: {
            // A number that is none.
            const size_t at = text.find("Id=\"", random() % std::max<size_t>(text.size(), 1));
            if (at == std::string::npos) break;
            text.insert(at + 4, "x");
            how = "an id that is no number";
            break;
        }
        default: {
            // Elements nested far past any bound.
            const size_t close = text.rfind("</");
            if (close == std::string::npos) break;
            std::string deep;
            for (int i = 0; i < 300; ++i) deep += "<x:extLst xmlns:x=\"urn:damage\">";
            for (int i = 0; i < 300; ++i) deep += "</x:extLst>";
            text.insert(close, deep);
            how = "nested 300 deep";
        }
        }
        TXLSZipArchive zip;
        zip.Create();
        for (auto& [name, data] : parts) zip.AddFile(name, data);
        return zip.Close();
    }

    std::vector<TSource> Sources;
};

size_t SampleSize(size_t all) {
    const char* knob = std::getenv("Q710_DAMAGE");
    if (knob && std::string(knob) == "all") return all;
    if (knob && std::atoi(knob) > 0) return std::min<size_t>(all, size_t(std::atoi(knob)));
    return std::min<size_t>(all, 300);
}

} // namespace

TEST_F(Damage, ADamagedRecordOrPartCostsItselfAndTheCopyReadsBack) {
    std::vector<TVariant> variants = Variants();
    ASSERT_GT(variants.size(), std::getenv("Q710_DAMAGE_SOURCES") ? 0u : 1000u);
    std::mt19937 random(48);
    std::shuffle(variants.begin(), variants.end(), random);
    // Packages have fewer parts than workbooks records: a third of the sample.
    std::stable_partition(variants.begin(), variants.end(),
                          [&](const TVariant& v) { return Sources[v.Source].Package; });
    const size_t packages = size_t(std::count_if(
        variants.begin(), variants.end(), [&](const TVariant& v) { return Sources[v.Source].Package; }));
    const size_t size = SampleSize(variants.size());
    if (size < variants.size()) {
        const size_t fromPackages = std::min(packages, size / 3);
        std::vector<TVariant> sample(variants.begin(), variants.begin() + std::ptrdiff_t(fromPackages));
        sample.insert(sample.end(), variants.begin() + std::ptrdiff_t(packages),
                      variants.begin() + std::ptrdiff_t(packages + size - fromPackages));
        variants = std::move(sample);
    }

    testfiles::ScratchDir dir;
    std::vector<std::string> xlsCopies, xlsxCopies;
    std::map<std::string, std::string> copyOf;  // copy file -> variant
    std::map<std::string, std::string> inputOf; // copy file -> the damaged file it was made from
    int refused = 0, read = 0;
    for (size_t n = 0; n < variants.size(); ++n) {
        const TVariant& v = variants[n];
        const TSource& src = Sources[v.Source];
        bool cells = false;
        std::string how;
        const Bytes image = Damaged(v, random, cells, how);
        const std::string what = v.What + " (" + how + ")";
        if (std::getenv("Q710_DAMAGE_TRACE")) std::fprintf(stderr, "%zu %s\n", n, what.c_str());
        TTabrix4 book;
        try {
            ReadImage(book, image, src.Package);
        } catch (const XLSError& e) {
            ++refused;
            if (!cells) ADD_FAILURE() << what << " is refused: " << e.what();
            continue;
        }
        ++read;
        if (!cells) {
            EXPECT_EQ(CellsOf(book), src.Cells) << what << " changes the cells read";
        }
        const std::string copy = dir.File(std::to_string(n) + (src.Package ? ".xlsx" : ".xls"));
        book.SetFilename(Utf8ToWide(copy));
        try {
            book.Write();
        } catch (const XLSError&) {
            // A write may refuse what the file holds, saying why.
            continue;
        }
        TTabrix4 again;
        again.SetFilename(Utf8ToWide(copy));
        try {
            LibState().Reset();
            again.Read();
        } catch (const XLSError& e) {
            ADD_FAILURE() << what << ": its copy does not read back: " << e.what();
            continue;
        }
        (src.Package ? xlsxCopies : xlsCopies).push_back(copy);
        copyOf[copy] = what;
        inputOf[copy] = dir.File(std::to_string(n) + "-input" + (src.Package ? ".xlsx" : ".xls"));
        testfiles::Spit(inputOf[copy], std::string(image.begin(), image.end()));
    }
    LibState().Reset();
    // The oracles, once for all copies; a copy they refuse is a fault where
    // they read the damaged file it was made from (a part kept as read may
    // bring the file's own fault along).
    auto judge = [&](const std::string& script, const std::vector<std::string>& copies) {
        if (copies.empty()) return;
        const std::string command = "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath(script));
        // In runs of a few hundred files: a command line holds no more.
        auto run = [&](const std::vector<std::string>& files) {
            std::vector<oracle::TOracleFile> out;
            for (size_t at = 0; at < files.size(); at += 400) {
                const std::vector<std::string> part(files.begin() + std::ptrdiff_t(at),
                                                    files.begin() +
                                                        std::ptrdiff_t(std::min(files.size(), at + 400)));
                for (auto& v : oracle::RunPerFile(command, part, 600)) out.push_back(std::move(v));
            }
            return out;
        };
        const auto verdicts = run(copies);
        std::vector<std::string> refused, inputs;
        for (size_t i = 0; i < copies.size(); ++i) {
            if (!verdicts[i].NoVerdict.empty()) GTEST_SKIP() << verdicts[i].NoVerdict;
            if (!verdicts[i].Ok) {
                refused.push_back(copies[i]);
                inputs.push_back(inputOf[copies[i]]);
                copyOf[copies[i]] += ": " + verdicts[i].Error;
            }
        }
        const auto before = run(inputs);
        for (size_t i = 0; i < refused.size(); ++i) {
            if (!before[i].NoVerdict.empty()) GTEST_SKIP() << before[i].NoVerdict;
            EXPECT_FALSE(before[i].Ok)
                << copyOf[refused[i]] << ": " << script << " reads the damaged file but refuses its copy";
        }
    };
    judge("xlrd_cells.py", xlsCopies);
    judge("openpyxl_cells.py", xlsxCopies);
    std::printf("%zu variants: %d read, %d refused; %zu .xls and %zu .xlsx copies judged\n", variants.size(),
                read, refused, xlsCopies.size(), xlsxCopies.size());
}
