// Every real-world .xlsx and .xlsm file: what python3-openpyxl reads from it,
// the package reader reads too (worksheet titles, every value; a formula's
// cached value where the file has one), and the package written back from
// it reads the same in openpyxl. Files openpyxl refuses are read or refused
// with a message, never a crash.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXWriter.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

using namespace xls;
namespace fs = std::filesystem;

namespace {

struct OurCell {
    char Kind = 'n';
    double Number = 0;
    std::string Text;
};

OurCell Describe(TSheet& sheet, TCell& c) {
    OurCell o;
    switch (c.CellType()) {
    case ctString:
    case ctStringFormula:
    case ctStringArrayFormula:
        o.Kind = 't';
        o.Text = WideToUtf8(sheet.GetAsString(c.Col, int(c.Row)));
        break;
    case ctBoolean:
        o.Kind = 'b';
        o.Text = std::to_string(static_cast<TBooleanCell&>(c).Value);
        break;
    case ctBooleanFormula:
        o.Kind = 'b';
        o.Text = std::to_string(static_cast<TBooleanFormulaCell&>(c).Value);
        break;
    case ctError:
        o.Kind = 'e';
        o.Text = WideToUtf8(ErrorFileText(static_cast<TErrorCell&>(c).ErrorIndex));
        break;
    case ctErrorFormula:
        o.Kind = 'e';
        o.Text = WideToUtf8(ErrorFileText(static_cast<TErrorFormulaCell&>(c).Value));
        break;
    case ctNumberArrayFormula: {
        const auto& a = static_cast<TNumberArrayFormulaCell&>(c);
        o.Kind = a.ResultKind == fvBoolean ? 'b' : a.ResultKind == fvError ? 'e' : 'n';
        o.Text = a.ResultKind == fvError     ? WideToUtf8(ErrorFileText(a.ResultCode))
                 : a.ResultKind == fvBoolean ? std::to_string(a.ResultCode)
                                             : "";
        o.Number = a.Value;
        break;
    }
    default:
        o.Kind = 'n';
        o.Number = sheet.GetAsFloat(c.Col, int(c.Row));
        break;
    }
    return o;
}

// openpyxl keeps the value of a merged area's first cell only.
bool HiddenByMerge(TSheet& sheet, const TCell& c) {
    for (int i = 0; i < sheet.MergedCells().Count(); ++i) {
        const TCellArea& a = sheet.MergedCells()[i];
        if (c.Col >= a.Col1 && c.Col <= a.Col2 && c.Row >= a.Row1 && c.Row <= a.Row2)
            return c.Col != a.Col1 || c.Row != a.Row1;
    }
    return false;
}

// Our cells against the oracle's: same worksheet titles in order (as a
// package holds them when the oracle read the package we wrote), same
// values; a formula the oracle knows without a cached value is a formula.
void Compare(TTabrix4& book, const oracle::XlrdBook& expected, bool written = false) {
    ASSERT_EQ(book.Sheets().Count(), int(expected.Sheets.size()));
    std::vector<std::u16string> names;
    for (int s = 0; s < book.Sheets().Count(); ++s) names.push_back(book.Sheets().Items(s).Name());
    const std::vector<TPackageSheetName> packageNames = PackageSheetNames(names);
    for (int s = 0; s < book.Sheets().Count(); ++s)
        EXPECT_EQ(WideToUtf8(written ? packageNames[size_t(s)].Name : names[size_t(s)]),
                  WideToUtf8(expected.Sheets[size_t(s)]));
    std::map<std::tuple<int, int, int>, const oracle::XlrdCell*> want;
    for (const auto& c : expected.Cells) want[{c.Sheet, c.Row, c.Col}] = &c;
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.Sheets().Items(s);
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell()) {
            auto it = want.find({s, int(c->Row), int(c->Col)});
            if (it == want.end()) {
                // A blank cell and a formula with an empty text are nothing to openpyxl.
                if (c->CellType() == ctBlank || HiddenByMerge(sheet, *c)) continue;
                OurCell o = Describe(sheet, *c);
                if (o.Kind == 't' && o.Text.empty()) continue;
                ADD_FAILURE() << "extra cell sheet " << s << " R" << c->Row << "C" << c->Col << " type "
                              << int(c->CellType()) << " " << o.Text << o.Number;
                continue;
            }
            const oracle::XlrdCell& x = *it->second;
            want.erase(it);
            SCOPED_TRACE(testing::Message() << "sheet " << s << " R" << x.Row << "C" << x.Col);
            if (x.Kind == 'f') {
                EXPECT_TRUE(c->IsFormula()) << "type " << int(c->CellType());
                continue;
            }
            OurCell o = Describe(sheet, *c);
            ASSERT_EQ(o.Kind, x.Kind) << x.Value;
            if (x.Kind == 'n') {
                // Dates go through openpyxl's datetime, which keeps microseconds.
                // openpyxl has no day 60 (29 February 1900): it reads day 59.
                double v = std::stod(x.Value);
                if (o.Number >= 60 && o.Number < 61 && v >= 59 && v < 60) v += 1;
                EXPECT_NEAR(o.Number, v, 1e-6 + std::abs(v) * 1e-15);
            } else {
                // openpyxl leaves the format's "_x000D_" escapes in the text.
                EXPECT_EQ(o.Text, WideToUtf8(DecodeXString(Utf8ToWide(x.Value))));
            }
        }
    }
    for (const auto& [key, x] : want)
        ADD_FAILURE() << "missing cell sheet " << x->Sheet << " R" << x->Row << "C" << x->Col << " "
                      << x->Kind << " " << x->Value;
}

class RealPackage : public testing::TestWithParam<fs::path> {};
class RealWorkbook : public testing::TestWithParam<fs::path> {};

} // namespace

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealPackage);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealWorkbook);

// A binary workbook written as a package: openpyxl reads the values the
// workbook holds.
TEST_P(RealWorkbook, WrittenAsPackageReadsInOpenpyxl) {
    const fs::path& file = GetParam();
    TTabrix4 book;
    book.SetFilename(file.u16string());
    try {
        book.Read();
    } catch (const XLSError&) {
        GTEST_SKIP() << "not read here";
    }
    testfiles::ScratchDir dir;
    const std::string target = dir.File("converted.xlsx");
    book.SetVersion(TExcelVersion::xvExcel2007);
    book.SetFilename(fs::path(target).u16string());
    ASSERT_NO_THROW(book.Write());
    const oracle::XlrdBook back = oracle::ReadWithOpenpyxl(target);
    if (!back.NoVerdict.empty()) return; // failed or marked skipped with the reason
    ASSERT_TRUE(back.Ok) << back.Error;
    Compare(book, back, true);
}

TEST(RealPackages, FolderPresent) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    EXPECT_FALSE(oracle::RealWorldXlsx().empty());
}

TEST_P(RealPackage, ReadsAndWritesWhatOpenpyxlReads) {
    const fs::path& file = GetParam();
    const oracle::XlrdBook expected = oracle::ReadWithOpenpyxl(file);
    TTabrix4 book;
    book.SetFilename(file.u16string());
    std::string error;
    try {
        book.Read();
    } catch (const XLSError& e) {
        error = e.what();
    }
    if (!expected.Ok) {
        // Refused by openpyxl with its own message, or not judged at all
        // (openpyxl did not run: the test has failed; its memory cap or time
        // limit stopped it: the test is marked skipped): a clear message or a
        // read, nothing else.
        if (!error.empty()) {
            EXPECT_GT(error.size(), 10u) << error;
        }
        return;
    }
    ASSERT_EQ(error, "") << "openpyxl reads this file";
    // Strict packages: openpyxl opens them and finds no worksheet.
    if (expected.Sheets.empty()) return;
    Compare(book, expected);

    // Written back, the package reads the same.
    testfiles::ScratchDir dir;
    const char* out = std::getenv("Q710_TEST_OUT");
    if (out && *out) fs::create_directories(out);
    const std::string target =
        (out && *out ? std::string(out) : dir.Path()) + "/xlsx_roundtrip_" + oracle::CaseName(file) + ".xlsx";
    book.SetFilename(fs::path(target).u16string());
    ASSERT_NO_THROW(book.Write());
    const oracle::XlrdBook back = oracle::ReadWithOpenpyxl(target);
    if (!back.NoVerdict.empty()) return; // failed or marked skipped with the reason
    ASSERT_TRUE(back.Ok) << back.Error;
    TTabrix4 again;
    again.SetFilename(fs::path(target).u16string());
    ASSERT_NO_THROW(again.Read());
    Compare(again, back);
    // openpyxl sees in our package what it saw in the file.
    ASSERT_EQ(back.Sheets, expected.Sheets);
    std::map<std::tuple<int, int, int>, const oracle::XlrdCell*> first;
    for (const auto& c : expected.Cells)
        if (c.Kind != 't' || !c.Value.empty()) first[{c.Sheet, c.Row, c.Col}] = &c;
    for (const auto& c : back.Cells) {
        if (c.Kind == 't' && c.Value.empty()) continue; // an empty text is no value to openpyxl
        auto it = first.find({c.Sheet, c.Row, c.Col});
        if (it == first.end()) {
            ADD_FAILURE() << "cell added by writing: sheet " << c.Sheet << " R" << c.Row << "C" << c.Col;
            continue;
        }
        EXPECT_TRUE(c.Kind == it->second->Kind || it->second->Kind == 'f')
            << "R" << c.Row << "C" << c.Col << " " << c.Kind << " " << c.Value << " was "
            << it->second->Value;
        first.erase(it);
    }
    for (const auto& [key, x] : first)
        ADD_FAILURE() << "cell lost by writing: sheet " << x->Sheet << " R" << x->Row << "C" << x->Col << " "
                      << x->Value;
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealWorkbook, testing::ValuesIn(oracle::RealWorldXls()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             return oracle::CaseName(info.param);
                         });

INSTANTIATE_TEST_SUITE_P(Corpus, RealPackage, testing::ValuesIn(oracle::RealWorldXlsx()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             return oracle::CaseName(info.param);
                         });
