// Read then write of the real files: every record the model does not own
// comes back byte for byte and in order in its substream, a second read and
// write gives the same file byte for byte, xlrd reads the same values from
// the written file as from the original, gnumeric recomputes the same
// values, and shared formulas keep their meaning in every member.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <tuple>

using namespace xls;
namespace fs = std::filesystem;

namespace {

// Records the model reads and writes itself, or drops on purpose.
const std::set<uint16_t>& ModelIds() {
    static const std::set<uint16_t> ids = {
        // substreams, cells and formulas
        0x0809, 0x000A, 0x0200, 0x0201, 0x0203, 0x0204, 0x0205, 0x027E, 0x00BD, 0x00BE, 0x00D6, 0x00FD,
        0x0006, 0x0207, 0x0221, 0x04BC, 0x00BC, 0x0206, 0x0406, 0x007E, 0x0001, 0x0002, 0x0003, 0x0004,
        0x0005,
        // workbook settings: fonts, formats, styles, palette, sheet list, strings
        0x0031, 0x041E, 0x00E0, 0x0293, 0x0092, 0x0085, 0x00FC, 0x00FF, 0x005C, 0x0042, 0x013D, 0x005B,
        0x002F,
        // records in place of the defaults
        0x000C, 0x000D, 0x000E, 0x000F, 0x0010, 0x0011, 0x0012, 0x0013, 0x0019, 0x0022, 0x002A, 0x002B,
        0x003D, 0x0040, 0x0055, 0x005F, 0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x008C, 0x008D, 0x009C,
        0x00A1, 0x00DA, 0x0161, 0x01AF, 0x01B7, 0x01C1, 0x0225, 0x023E, 0x001D,
        // sheet settings and dropped records
        0x0014, 0x0015, 0x0026, 0x0027, 0x0028, 0x0029, 0x001A, 0x001B, 0x0041, 0x00E5, 0x0867, 0x00D7,
        0x020B, 0x00ED, 0x01A9, 0x01AA, 0x01AB, 0x0000, 0x00A0, 0x0208, 0x007D,
        // the macro project's record, written with the macro storage
        0x00D3,
        // defined names and external references
        0x0017, 0x0018, 0x0023, 0x0059, 0x005A, 0x01AE,
        // sheet collections bound to areas: hyperlinks, conditional formats, validations
        0x01B8, 0x0800, 0x01B0, 0x01B1, 0x01B2, 0x01BE,
        // autofilters
        0x009B, 0x009D, 0x009E,
        // later-version records: written back in a list of their own
        0x0863, 0x087C, 0x087D, 0x088C, 0x088E, 0x0892, 0x0896, 0x089A, 0x089B, 0x08A3};
    return ids;
}

using Substream = std::vector<biffbuild::Record>;

// The drawing records of BIFF8 files, which the drawing layer reads and
// writes (its own test compares them decoded); NOTE records of older files
// are kept as they are.
bool DrawingRecord(uint16_t id) {
    return id == 0x00EB || id == 0x00EC || id == 0x005D || id == 0x01B6 || id == 0x001C;
}

// Top-level substreams (chart sheets among them) without custom-view blocks.
std::vector<Substream> ModelSubstreams(const biffbuild::Bytes& stream) {
    std::vector<Substream> out;
    for (auto& s : biffbuild::Substreams(stream)) {
        const bool biff8 = s.front().Body.size() >= 2 && s.front().Body[1] == 0x06;
        Substream kept;
        bool views = false;
        uint16_t owner = 0; // a CONTINUE belongs to the record before it
        for (auto& r : s) {
            if (r.Id != 0x003C) owner = r.Id;
            if (r.Id == 0x01AA) views = true;
            if (!views && !ModelIds().count(owner) && !(biff8 && DrawingRecord(owner))) kept.push_back(r);
            if (r.Id == 0x01AB) views = false;
        }
        out.push_back(std::move(kept));
    }
    return out;
}

// -1 when part is a subsequence of whole, else the id of the first record
// of part not found in order.
int FirstMissing(const Substream& part, const std::vector<biffbuild::Record>& whole) {
    size_t i = 0;
    for (const auto& r : whole)
        if (i < part.size() && r == part[i]) ++i;
    return i == part.size() ? -1 : part[i].Id;
}

bool IsCompound(const std::string& image) {
    return image.compare(0, 8, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) == 0;
}

// Reads from and writes to, in the version read (BIFF2 and BIFF3, which
// are not written, as BIFF4); the file written.
std::string ReadWrite(const fs::path& from, const fs::path& to) {
    TTabrix4 book;
    book.SetFilename(from.u16string());
    book.Read();
    if (book.GetVersion() < TExcelVersion::xvExcel40) book.SetVersion(TExcelVersion::xvExcel40);
    book.SetFilename(to.u16string());
    book.Write();
    return testfiles::Slurp(to.string());
}

class RoundTrip : public testing::TestWithParam<fs::path> {};

std::vector<oracle::XlrdCell> Sorted(std::vector<oracle::XlrdCell> cells) {
    std::sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) {
        return std::tie(a.Sheet, a.Row, a.Col) < std::tie(b.Sheet, b.Row, b.Col);
    });
    return cells;
}

} // namespace

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RoundTrip);

TEST_P(RoundTrip, KeepsUnownedRecordsAndValues) {
    const fs::path& file = GetParam();
    oracle::XlrdBook original = oracle::ReadWithXlrd(file);
    testfiles::ScratchDir dir;
    std::string image = testfiles::Slurp(file.string());
    std::string once;
    try {
        once = ReadWrite(file, dir.File("once.xls"));
    } catch (const XLSError& e) {
        // What xlrd reads is read here too (the real-file test says so).
        if (!original.Ok && original.NoVerdict.empty())
            GTEST_SKIP() << "refused like xlrd does: " << e.what();
        if (!original.Ok) GTEST_SKIP() << original.NoVerdict << "; refused here: " << e.what();
        FAIL() << e.what();
    }
    biffbuild::Bytes first = biffbuild::WorkbookStream(once);

    // Records the model does not own: same bytes, same order, same substream
    // (in the files xlrd takes for workbooks).
    if (IsCompound(image) && original.Ok) {
        auto in = ModelSubstreams(biffbuild::WorkbookStream(image));
        auto out = biffbuild::Substreams(first);
        ASSERT_EQ(in.size(), out.size());
        for (size_t i = 0; i < in.size(); ++i)
            EXPECT_EQ(FirstMissing(in[i], out[i]), -1) << "substream " << i;
    }

    // A second read and write gives the same file, byte for byte.
    std::string twice = ReadWrite(dir.File("once.xls"), dir.File("twice.xls"));
    if (once != twice) {
        auto a = biffbuild::Records(first), b = biffbuild::Records(biffbuild::WorkbookStream(twice));
        for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
            ASSERT_TRUE(a[i] == b[i]) << "record " << i << " id " << std::hex << a[i].Id << " / " << b[i].Id;
        ASSERT_EQ(a.size(), b.size());
        FAIL() << "same records, different container";
    }

    // xlrd reads the written file as it read the original.
    if (!original.Ok) return;
    oracle::XlrdBook written = oracle::ReadWithXlrd(dir.File("once.xls"));
    if (!written.NoVerdict.empty()) return; // failed or marked skipped with the reason
    ASSERT_TRUE(written.Ok) << written.Error;
    // A BIFF2-BIFF4 file holds one sheet, whose name each reader makes up.
    if (!IsCompound(image) && written.Sheets.size() == 1 && original.Sheets.size() == 1)
        written.Sheets = original.Sheets;
    EXPECT_EQ(written.Sheets, original.Sheets);
    auto a = Sorted(original.Cells), b = Sorted(written.Cells);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(std::tie(a[i].Sheet, a[i].Row, a[i].Col, a[i].Kind, a[i].Value),
                  std::tie(b[i].Sheet, b[i].Row, b[i].Col, b[i].Kind, b[i].Value))
            << "R" << a[i].Row << "C" << a[i].Col;
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RoundTrip, testing::ValuesIn(oracle::RealWorldXls()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             return oracle::CaseName(info.param);
                         });

namespace {

// Real files rich in formulas of several makers and every BIFF version
// (BIFF2 and BIFF3 are written as BIFF4), and the checks that use them.
enum Use { Gnumeric = 1, Shared = 2, Both = 3 };
const std::pair<const char*, int> FormulaFiles[] = {
    {"ExcelDataReader/Test_Excel_OpenOffice.xls", Both},
    {"ExcelDataReader/Test_Issue_11573_BlankValues.xls", Both},
    {"ExcelDataReader/Test_Issue_11642_ValuesNotLoaded.xls", Shared},
    {"ExcelDataReader/as3xls_BIFF2.xls", Gnumeric},
    {"ExcelDataReader/as3xls_BIFF4.xls", Gnumeric},
    {"ExcelDataReader/as3xls_BIFF5.xls", Both},
    {"ExcelDataReader/biff3.xls", Gnumeric},
    {"apache-poi/12843-1.xls", Both},
    {"apache-poi/31749.xls", Both},
    {"apache-poi/44010-TwoCharts.xls", Both},
    {"apache-poi/45538_classic_Header.xls", Shared},
    {"apache-poi/57925.xls", Both},
    {"apache-poi/NewStyleConditionalFormattings.xls", Both},
    {"apache-poi/SharedFormulaTest.xls", Both},
    {"apache-poi/StringContinueRecords.xls", Both},
    {"apache-poi/WithThreeCharts.xls", Shared},
    {"apache-poi/ex47747-sharedFormula.xls", Both},
    {"apache-poi/overlapSharedFormula.xls", Both},
    {"libxls/test2.xls", Gnumeric},
    {"read-excel/MiscOperatorTests.xls", Gnumeric},
    {"read-excel/stringformula.xls", Gnumeric},
    {"readxl/biff5-label-records.xls", Gnumeric},
    {"readxl/deaths.xls", Both},
    {"sheetjs-test_files/ErrorTypes.xls", Both},
    {"sheetjs-test_files/biff5/comments_stress_test.xls", Both},
    {"sheetjs-test_files/biff5/number_format_greek.xls", Both},
    {"sheetjs-test_files/biff5/numfmt_1_russian.xls", Both},
    {"sheetjs-test_files/comments_stress_test.xls", Both},
    {"sheetjs-test_files/formula_stress_test.xls", Shared},
    {"sheetjs-test_files/numfmt_1_russian.xls", Shared},
    {"xlrd/Formate.xls", Gnumeric},
    {"xlrd/biff4_no_format_no_window2.xls", Gnumeric},
    {"xlrd/formula_test_sjmachin.xls", Gnumeric},
    {"xlrd/namesdemo.xls", Gnumeric},
    {"xlrd/profiles.xls", Gnumeric},
    {"xlrd/ragged.xls", Gnumeric},
    {"xlwt/less_simple.xls", Gnumeric},
};

// Those of the files for a check that are here.
std::vector<fs::path> FormulaFilesFor(int use) {
    std::vector<fs::path> out;
    for (const auto& [name, uses] : FormulaFiles)
        if ((uses & use) && fs::exists(oracle::RealWorldDir() / name))
            out.push_back(oracle::RealWorldDir() / name);
    return out;
}

// The rows of a CSV text (quoted fields with doubled quotes, CR LF or LF).
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                rows.back().back() += text[++i];
            else if (c == '"')
                quoted = false;
            else
                rows.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\n') {
            rows.emplace_back(1);
        } else if (c != '\r') {
            rows.back().back() += c;
        }
    }
    while (!rows.empty() && rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

// Equal texts, or numbers equal but for the last bits (gnumeric computes
// RK numbers in a wider type than the double written back).
bool SameField(const std::string& a, const std::string& b) {
    if (a == b) return true;
    char* endA = nullptr;
    char* endB = nullptr;
    double x = std::strtod(a.c_str(), &endA), y = std::strtod(b.c_str(), &endB);
    if (a.empty() || b.empty() || *endA || *endB) return false;
    return std::fabs(x - y) <= 1e-12 * std::max(std::fabs(x), std::fabs(y));
}

} // namespace

// gnumeric recomputes every formula of a written file and gets the same
// values as from the original, sheet by sheet: a selection of files of
// several makers and every BIFF version, shared formulas among them
// (BIFF2 and BIFF3 are written as BIFF4). Values are compared raw, so the
// check does not depend on number formats.
TEST(RoundTripGnumeric, SameValuesAsTheOriginal) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    struct Case {
        fs::path File;
        std::string Dir;
    };
    std::vector<Case> cases;
    std::string commands;
    for (const fs::path& file : FormulaFilesFor(Gnumeric)) {
        std::string d = dir.File(std::to_string(cases.size()));
        fs::create_directory(d);
        ReadWrite(file, d + "/w.xls");
        cases.push_back({file, d});
        for (auto [stem, in] : {std::pair<std::string, std::string>{"a", file.string()}, {"b", d + "/w.xls"}})
            commands += "ssconvert --recalc -S -T Gnumeric_stf:stf_assistant -O 'separator=, format=raw' '" +
                        in + "' '" + d + "/" + stem + ".%s.csv' >/dev/null 2>&1\n";
    }
    ASSERT_FALSE(cases.empty());
    // All conversions at once, three at a time (each within the oracles' bounds).
    testfiles::Spit(dir.File("commands"), commands);
    oracle::Run("xargs -P 3 -d '\\n' -n 1 sh -c < " + oracle::Quote(dir.File("commands")), 300);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.File.string());
        // The worksheets: chart sheets are not read.
        oracle::XlrdBook x = oracle::ReadWithXlrd(c.File);
        ASSERT_TRUE(x.Ok) << x.Error;
        for (const std::u16string& wide : x.Sheets) {
            std::string sheet = WideToUtf8(wide);
            SCOPED_TRACE(sheet);
            std::string a = c.Dir + "/a." + sheet + ".csv", b = c.Dir + "/b." + sheet + ".csv";
            // A BIFF2-BIFF4 sheet has no name of its own in the file.
            if (!fs::exists(a) || !fs::exists(b)) {
                auto only = [&](const std::string& stem) {
                    std::vector<std::string> found;
                    for (const auto& e : fs::directory_iterator(c.Dir))
                        if (e.path().filename().string().rfind(stem + ".", 0) == 0) found.push_back(e.path());
                    return found.size() == 1 ? found[0] : std::string();
                };
                if (x.Sheets.size() == 1) a = only("a"), b = only("b");
            }
            ASSERT_TRUE(fs::exists(a) && fs::exists(b)) << "gnumeric wrote no sheet";
            auto ra = ParseCsv(testfiles::Slurp(a)), rb = ParseCsv(testfiles::Slurp(b));
            ASSERT_EQ(ra.size(), rb.size());
            for (size_t r = 0; r < ra.size(); ++r) {
                ra[r].resize(std::max(ra[r].size(), rb[r].size()));
                rb[r].resize(ra[r].size());
                for (size_t col = 0; col < ra[r].size(); ++col)
                    ASSERT_TRUE(SameField(ra[r][col], rb[r][col]))
                        << "R" << r + 1 << "C" << col + 1 << ": " << ra[r][col] << " / " << rb[r][col];
            }
        }
    }
}

// Each member of a shared formula reads in the written file as the formula
// it was in the original: xlrd's decompiler gives the same text for the
// written cell's own tokens as for the original's shared tokens at that
// cell (BIFF8 and BIFF5 files).
TEST(RoundTripSharedFormulas, MembersKeepTheirFormulas) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    std::vector<std::string> names;
    std::string arguments;
    for (const fs::path& file : FormulaFilesFor(Shared)) {
        std::string written = dir.File(std::to_string(names.size()) + ".xls");
        ReadWrite(file, written);
        names.push_back(file.string());
        arguments += " '" + file.string() + "' '" + written + "'";
    }
    ASSERT_FALSE(names.empty());
    const char* src = std::getenv("Q710_SOURCE_DIR");
    std::string script = std::string(src ? src : ".") + "/tests/xls/xlrd_formulas.py";
    oracle::Run("/usr/bin/python3 '" + script + "' '" + dir.Path() + "'" + arguments);
    int compared = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        std::string original = testfiles::Slurp(dir.File(std::to_string(2 * i) + ".txt"));
        std::string written = testfiles::Slurp(dir.File(std::to_string(2 * i + 1) + ".txt"));
        ASSERT_EQ(original.substr(0, 3), "OK\n") << original.substr(0, 200);
        auto lines = [](const std::string& text) {
            std::set<std::string> out;
            std::stringstream ss(text);
            for (std::string line; std::getline(ss, line);)
                if (line.rfind("F\t", 0) == 0) out.insert(line);
            return out;
        };
        auto a = lines(original), b = lines(written);
        for (const auto& line : a)
            if (!b.count(line)) ADD_FAILURE() << "formula changed: " << line;
        EXPECT_EQ(a.size(), b.size());
        compared += int(a.size());
    }
    EXPECT_GT(compared, 1000);
}
