// The evaluator against independent results: the values cached in the
// real-world files, and the values gnumeric and LibreOffice compute for
// formulas over edge values (blanks, texts in ranges, negative divisors,
// halves, errors, empty arguments) in a workbook we write.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/model/Cell.h"
#include "platform/RegionalSettings.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"
#include "support_state.h"
#include "support_values.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

using namespace xls;
using testvalues::Same;
using testvalues::Text;
namespace fs = std::filesystem;

namespace {

struct UsRegional {
    UsRegional() : saved(platform::Regional()) {
        platform::RegionalSettings us;
        us.decimalSeparator = '.';
        us.thousandsSeparator = ",";
        us.currency = "$";
        us.currencyFormat = 0;
        us.negativeCurrencyFormat = 1; // -$n

        platform::SetRegional(us);
    }
    ~UsRegional() { platform::SetRegional(saved); }
    platform::RegionalSettings saved;
};

} // namespace

// Every formula of the real files whose functions we compute gives the value
// the file caches.
TEST(EvaluatorFiles, RealFilesCachedValues) {
    const auto files = oracle::RealWorldXls();
    if (files.empty()) GTEST_SKIP() << "no real-world files";
    UsRegional us;
    int evaluated = 0, agreed = 0;
    std::map<std::string, int> differing; // file -> cells
    for (const fs::path& file : files) {
        LibState().Reset();
        TTabrix4 book;
        try {
            book.SetFilename(file.u16string());
            book.Read();
        } catch (const XLSError&) {
            continue;
        }
        const auto ev = book.MakeEvaluator();
        for (int s = 0; s < book.Sheets().Count(); ++s) {
            TSheet& sheet = book.GetSheet(s);
            std::vector<std::pair<int, int>> cells;
            sheet.Cells().BeginIterate();
            while (TCell* c = sheet.Cells().NextCell())
                if (c->CellType() >= ctNumberFormula && c->CellType() <= ctErrorFormula)
                    cells.emplace_back(c->Col, int(c->Row));
            for (auto [col, row] : cells) {
                TFormulaValue cached, ours;
                sheet.GetCellValue(col, row, cached);
                std::string got;
                try {
                    ev->CalculateCell(s, col, row, ours);
                    got = Text(ours);
                } catch (const XLSError& e) {
                    // A function handed over that nobody computes.
                    if (std::string(e.what()).rfind("Can not calculate function", 0) == 0) continue;
                    got = e.what();
                }
                ++evaluated;
                if (Same(got, Text(cached)))
                    ++agreed;
                else
                    ++differing[oracle::CaseName(file)];
            }
        }
    }
    LibState().Reset();
    std::string list;
    for (const auto& [file, n] : differing) list += file + ": " + std::to_string(n) + "\n";
    std::printf("evaluated %d, agreeing %d\n%s", evaluated, agreed, list.c_str());
    EXPECT_GT(evaluated, 4000);
    EXPECT_GE(agreed, evaluated * 0.98) << list;
    // References into other workbooks take the values those files cached.
    for (const char* file : {"apache_poi_multibookFormulaA_xls", "apache_poi_multibookFormulaB_xls"}) {
        const bool present = std::any_of(files.begin(), files.end(),
                                         [&](const fs::path& f) { return oracle::CaseName(f) == file; });
        if (present) {
            EXPECT_EQ(differing.count(file), 0u) << file;
        }
    }
}

namespace {

// Data!A1:A8: 1, blank, "x", 2, -2.5, 0.5, #DIV/0!, TRUE; the formulas in
// column C. Where the two programs differ (ROUND(2.675,2), a negative
// DOLLAR, LOOKUP in unsorted values) the unit tests hold our choice.
const char16_t* const EdgeFormulas[] = {
    u"SUM(A1:A6)",
    u"AVERAGE(A1:A6)",
    u"MIN(A1:A6)",
    u"MAX(A1:A6)",
    u"COUNT(A1:A7)",
    u"SUM(A1:A7)",
    u"SUM(A1,)",
    u"ROUND(A5,0)",
    u"ROUND(A6,0)",
    u"ROUND(-0.5,0)",
    u"ROUND(1234.5678,-2)",
    u"INT(A5)",
    u"MOD(-7,3)",
    u"MOD(7,-3)",
    u"MOD(A5,A4)",
    u"MOD(A1,A2)",
    u"A1/A2",
    u"A3&A1",
    u"A3*2",
    u"A2+1",
    u"A7+1",
    u"1/0+NA()",
    u"5%*A4",
    u"A5^2",
    u"CONCATENATE(A3,A2,A1)",
    u"CONCATENATE(A3,A7)",
    u"AND(A1,A2,A8)",
    u"OR(A2,A3,FALSE)",
    u"AND(A1:A4)",
    u"NOT(A2)",
    u"IF(A2,1,2)",
    u"IF(A3=\"X\",\"eq\",\"ne\")",
    u"IF(A7,1,2)",
    u"ISERROR(A7)",
    u"ISNA(A7)",
    u"ISNUMBER(A3)",
    u"ISNUMBER(A4)",
    u"STDEV(A1:A6)",
    u"NPV(0.1,A1:A6)",
    u"FIXED(1234.567,1)",
    u"FIXED(-0.5,0)",
    u"FIXED(1234.567,-2,TRUE)",
    u"DOLLAR(1234.5)",
    u"SIGN(A5)",
    u"ABS(A5)",
    u"LN(A5)",
    u"LOG10(A6)",
    u"EXP(A2)",
    u"ATAN(1)",
    u"COS(0)",
    u"TAN(A6)",
    u"\"a\"<\"B\"",
    u"A2=0",
    u"A2=\"\"",
    u"1<\"a\"",
    u"ROW(A3:B4)",
    u"COLUMN()",
    u"LOOKUP(1.5,A1:A6)",
    u"LOOKUP(3,{1,2,3},{\"a\",\"b\",\"c\"})",
    u"PI()",
};

void WriteEdgeBook(const std::string& file) {
    TTabrix4 book;
    TSheet& data = book.GetSheet(0);
    data.SetName(u"Data");
    data.SetAsFloat(0, 0, 1);
    data.SetAsString(0, 2, u"x");
    data.SetAsFloat(0, 3, 2);
    data.SetAsFloat(0, 4, -2.5);
    data.SetAsFloat(0, 5, 0.5);
    data.PutError(0, 6, 15, 2);
    data.SetAsBoolean(0, 7, true);
    int row = 0;
    for (const char16_t* text : EdgeFormulas) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Sheet = 0;
        const TEncodedFormula f = book.FormulaHandler().EncodeFormula(text, how);
        data.PutFormula(ctNumberFormula, 2, row++, 15, int(f.TokenLength), f.Data, {});
    }
    book.SetFilename(Utf8ToWide(file));
    book.Write();
}

// Column C of a CSV file, row by row.
std::vector<std::string> ColumnC(const std::string& csv) {
    std::vector<std::string> out;
    for (const auto& f : oracle::CsvRows(csv)) out.push_back(f.size() > 2 ? f[2] : "");
    return out;
}

} // namespace

TEST(EvaluatorFiles, EdgeValuesAsGnumericAndLibreOfficeCompute) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("edge.xls");
    WriteEdgeBook(file);
    const oracle::TRun gnumeric = oracle::Run("ssconvert --recalc " + oracle::Quote(file) + " " +
                                              oracle::Quote(dir.File("gnumeric.csv")));
    ASSERT_EQ(gnumeric.Status, 0) << gnumeric.Output;
    const testfiles::TProgramRun office = testfiles::LibreOfficeConvert({file}, dir.File("office"), "csv");
    ASSERT_EQ(office.Status, 0) << office.Output;
    const auto fromGnumeric = ColumnC(testfiles::Slurp(dir.File("gnumeric.csv")));
    const auto fromOffice = ColumnC(testfiles::Slurp(dir.File("office/edge.csv")));

    UsRegional us;
    TTabrix4 book;
    book.SetFilename(Utf8ToWide(file));
    book.Read();
    const auto ev = book.MakeEvaluator();
    for (size_t row = 0; row < std::size(EdgeFormulas); ++row) {
        const std::string formula = WideToUtf8(EdgeFormulas[row]);
        TFormulaValue v;
        ev->CalculateCell(0, 2, int(row), v);
        const std::string ours = Text(v);
        ASSERT_LT(row, fromGnumeric.size());
        ASSERT_LT(row, fromOffice.size());
        // The CSV texts carry as many digits as the cells show.
        EXPECT_TRUE(Same(ours, fromGnumeric[row], 1e-9))
            << formula << ": ours " << ours << ", gnumeric " << fromGnumeric[row];
        EXPECT_TRUE(Same(ours, fromOffice[row], 1e-9))
            << formula << ": ours " << ours << ", LibreOffice " << fromOffice[row];
    }
    if (const char* out = std::getenv("Q710_TEST_OUT"))
        fs::copy_file(file, fs::path(out) / "evaluator-edge.xls", fs::copy_options::overwrite_existing);
}
