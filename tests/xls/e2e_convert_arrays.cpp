// Shared and array formulas of packages across the conversion to a binary
// workbook of each version (Excel 97, 5 and 4) and back: packages written by
// openpyxl, XlsxWriter, LibreOffice and gnumeric, and gnumeric's Excel 95
// file of one, read, computed and copied both ways by the library, and
// compared with what openpyxl reads, what LibreOffice and gnumeric compute
// from the source and from our copy, and what xlrd reads from the copy.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"
#include "support_state.h"
#include "support_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

using namespace xls;
using testvalues::Same;
using testvalues::Text;

namespace {

struct TRecipe {
    const char* Name;  // the package: <name>.xlsx
    const char* Maker; // how it was made
    // The workbook the library reads when it is not the package: gnumeric's
    // Excel 95 file of it, <name>.xls.
    bool Excel95 = false;
};

const TRecipe Recipes[] = {
    {"openpyxl-shared", "openpyxl, rewritten into shared formulas"},
    {"openpyxl-arrays", "openpyxl: the first cell of each array only"},
    {"xlsxwriter-arrays", "XlsxWriter: every cell of each array"},
    {"libreoffice-arrays", "LibreOffice from openpyxl-arrays"},
    {"gnumeric-arrays", "gnumeric from openpyxl-arrays"},
    {"array_formula01", "XlsxWriter: the shared corpus's"},
    {"xlsxwriter-arrays", "gnumeric's Excel 95 file of xlsxwriter-arrays", true},
};

// A formula as openpyxl reads it: the cell's text and its array's area.
struct TFormula {
    std::string Text, Area;
    bool operator==(const TFormula&) const = default;
};
using TFormulas = std::map<std::pair<int, int>, TFormula>; // by (row, column)

void PrintTo(const TFormula& f, std::ostream* out) {
    *out << f.Text << (f.Area.empty() ? "" : " over " + f.Area);
}

// An area as "A1:B2" or a single cell.
bool ParseArea(const std::string& text, int& col1, int& row1, int& col2, int& row2) {
    if (text.find(':') != std::string::npos)
        return AreaStrToColRowPlain(Utf8ToWide(text), col1, row1, col2, row2);
    if (!RefStrToColRowPlain(Utf8ToWide(text), col1, row1)) return false;
    col2 = col1, row2 = row1;
    return true;
}

TFormulas OpenpyxlFormulas(const std::string& file) {
    const oracle::TRun r =
        oracle::Run("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("convert_formulas.py")) +
                    " formulas " + oracle::Quote(file));
    EXPECT_EQ(r.Status, 0) << r.Output;
    TFormulas out;
    std::stringstream lines(r.Output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto f = oracle::Fields(line);
        int col, row;
        if (f.size() < 3 || !RefStrToColRowPlain(Utf8ToWide(f[0]), col, row)) continue;
        out[{row, col}] = {f[1], f[2]};
    }
    return out;
}

// The cells of a CSV export by (row, column).
using TGrid = std::vector<std::vector<std::string>>;

std::string At(const TGrid& grid, int row, int col) {
    if (row < 0 || size_t(row) >= grid.size() || col < 0 || size_t(col) >= grid[size_t(row)].size())
        return "";
    return grid[size_t(row)][size_t(col)];
}

// The first sheet computed by LibreOffice and by gnumeric.
struct TComputed {
    TGrid Office, Gnumeric;
};

TComputed Compute(const std::string& file, const std::string& dir) {
    TComputed c;
    const std::string office = dir + "/office";
    const testfiles::TProgramRun lo = testfiles::LibreOfficeConvert({file}, office, "csv");
    const std::string stem = std::filesystem::path(file).stem().string();
    EXPECT_TRUE(testfiles::Exists(office + "/" + stem + ".csv"))
        << "LibreOffice did not convert " << file << "\n"
        << lo.Output;
    if (testfiles::Exists(office + "/" + stem + ".csv"))
        c.Office = oracle::CsvRows(testfiles::Slurp(office + "/" + stem + ".csv"));
    const std::string csv = dir + "/" + stem + ".gnumeric.csv";
    const oracle::TRun gn =
        oracle::Run("ssconvert --recalc " + oracle::Quote(file) + " " + oracle::Quote(csv));
    EXPECT_EQ(gn.Status, 0) << "gnumeric did not convert " << file << "\n" << gn.Output;
    if (gn.Status == 0) c.Gnumeric = oracle::CsvRows(testfiles::Slurp(csv));
    return c;
}

std::unique_ptr<TTabrix4> Read(const std::string& file) {
    auto book = std::make_unique<TTabrix4>();
    book->SetFilename(Utf8ToWide(file));
    book->Read();
    return book;
}

void Write(TTabrix4& book, const std::string& file, TExcelVersion version) {
    book.SetVersion(version);
    book.SetFilename(Utf8ToWide(file));
    book.Write();
}

// Every formula openpyxl read from the source shows the same text in the
// book, and computes to what LibreOffice and gnumeric computed from the
// source; each cell of an array to its own element.
void ExpectFormulas(TTabrix4& book, const TFormulas& source, const TComputed& computed, bool arrayCells) {
    TSheet& sheet = book.GetSheet(0);
    const auto ev = book.MakeEvaluator();
    auto expectValue = [&](int row, int col, const std::string& formula) {
        TFormulaValue v;
        std::string ours;
        try {
            ev->CalculateCell(0, col, row, v);
            ours = Text(v);
        } catch (const XLSError& e) {
            ours = e.what();
        }
        EXPECT_TRUE(Same(ours, At(computed.Office, row, col)))
            << formula << " at row " << row << " column " << col << ": ours " << ours << ", LibreOffice "
            << At(computed.Office, row, col);
        EXPECT_TRUE(Same(ours, At(computed.Gnumeric, row, col)))
            << formula << " at row " << row << " column " << col << ": ours " << ours << ", gnumeric "
            << At(computed.Gnumeric, row, col);
    };
    for (const auto& [at, f] : source) {
        const auto [row, col] = at;
        std::string text;
        try {
            text = sheet.GetAsFormula(col, row);
        } catch (const XLSError& e) {
            text = e.what();
        }
        EXPECT_EQ(text, f.Text) << "row " << row << " column " << col;
        expectValue(row, col, f.Text);
        if (f.Area.empty()) continue;
        int c1, r1, c2, r2;
        ASSERT_TRUE(ParseArea(f.Area, c1, r1, c2, r2)) << f.Area;
        int a1, b1, a2, b2;
        ASSERT_TRUE(sheet.ArrayFormulaArea(*sheet.GetCell(col, row), a1, b1, a2, b2)) << f.Text;
        EXPECT_EQ(std::vector<int>({a1, b1, a2, b2}), std::vector<int>({c1, r1, c2, r2})) << f.Text;
        if (!arrayCells) continue;
        // The array's further cells that the file holds compute their own elements.
        for (int r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c)
                if ((r != r1 || c != c1) && sheet.GetCell(c, r)) {
                    EXPECT_EQ(sheet.GetAsFormula(c, r), f.Text);
                    expectValue(r, c, f.Text);
                }
    }
}

} // namespace

TEST(ConvertFormulas, SharedAndArrayFormulasOfPackagesCrossToBinaryAndBack) {
    LibState().Reset();
    testfiles::ScratchDir dir;
    const std::string src = dir.Path();
    const oracle::TRun made =
        oracle::Run("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("convert_formulas.py")) +
                    " make " + oracle::Quote(src));
    ASSERT_EQ(made.Status, 0) << made.Output;
    // LibreOffice and gnumeric write the openpyxl arrays as they write arrays.
    const testfiles::TProgramRun lo =
        testfiles::LibreOfficeConvert({src + "/openpyxl-arrays.xlsx"}, src + "/lo", "xlsx");
    ASSERT_TRUE(testfiles::Exists(src + "/lo/openpyxl-arrays.xlsx")) << lo.Output;
    std::filesystem::rename(src + "/lo/openpyxl-arrays.xlsx", src + "/libreoffice-arrays.xlsx");
    const oracle::TRun gn = oracle::Run("ssconvert " + oracle::Quote(src + "/openpyxl-arrays.xlsx") + " " +
                                        oracle::Quote(src + "/gnumeric-arrays.xlsx"));
    ASSERT_EQ(gn.Status, 0) << gn.Output;
    const oracle::TRun gn95 = oracle::Run("ssconvert --export-type=Gnumeric_Excel:excel_biff7 " +
                                          oracle::Quote(src + "/xlsxwriter-arrays.xlsx") + " " +
                                          oracle::Quote(src + "/xlsxwriter-arrays.xls"));
    ASSERT_EQ(gn95.Status, 0) << gn95.Output;
    const std::filesystem::path corpus = oracle::RealWorldDir() / "XlsxWriter" / "array_formula01.xlsx";
    std::string skipped;
    if (std::filesystem::exists(corpus))
        std::filesystem::copy_file(corpus, src + "/array_formula01.xlsx");
    else
        skipped = corpus.string() + " is not there";

    for (const TRecipe& recipe : Recipes) {
        SCOPED_TRACE(std::string(recipe.Name) + " (" + recipe.Maker + ")");
        const std::string work = src + "/" + recipe.Name + (recipe.Excel95 ? "-95" : "");
        const std::string package = src + "/" + recipe.Name + ".xlsx";
        if (!testfiles::Exists(package)) continue;
        std::filesystem::create_directories(work);
        const TFormulas formulas = OpenpyxlFormulas(package);
        ASSERT_FALSE(formulas.empty());
        const TComputed computed = Compute(package, work);

        // The workbook as read.
        auto book = Read(recipe.Excel95 ? src + "/" + recipe.Name + ".xls" : package);
        ExpectFormulas(*book, formulas, computed, recipe.Excel95);

        // Written as a binary workbook of each version: the other programs
        // compute what they computed from the package, every formula has
        // its text, and each cell of an array its element.
        for (const auto& [version, suffix] :
             {std::pair{TExcelVersion::xvExcel97, ""}, std::pair{TExcelVersion::xvExcel50, "5"},
              std::pair{TExcelVersion::xvExcel40, "4"}}) {
            SCOPED_TRACE(std::string("version ") + (*suffix ? suffix : "8"));
            const std::string binary = work + "/copy" + suffix + ".xls";
            Write(*book, binary, version);
            const TComputed fromCopy = Compute(binary, work);
            EXPECT_EQ(fromCopy.Office, computed.Office);
            EXPECT_EQ(fromCopy.Gnumeric, computed.Gnumeric);
            const oracle::XlrdBook xlrd = oracle::ReadWithXlrd(binary);
            EXPECT_TRUE(xlrd.Ok) << xlrd.Error;
            auto copy = Read(binary);
            ExpectFormulas(*copy, formulas, computed, true);

            // And back to a package: openpyxl reads the formulas of the source.
            const std::string back = work + "/back" + suffix + ".xlsx";
            Write(*copy, back, TExcelVersion::xvExcel2007);
            EXPECT_EQ(OpenpyxlFormulas(back), formulas);
            if (const char* out = std::getenv("Q710_TEST_OUT")) {
                std::filesystem::copy_file(
                    binary, std::filesystem::path(out) / (std::string(recipe.Name) + suffix + ".xls"),
                    std::filesystem::copy_options::overwrite_existing);
            }
        }
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}
