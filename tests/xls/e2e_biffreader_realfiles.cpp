// Every real-world .xls file: what python3-xlrd reads from it, the reader
// reads too (sheet names, every non-blank cell value); files xlrd refuses
// are read or refused with a message, never a crash. A file xlrd gives no
// verdict on is a failure (xlrd did not run) or a skip naming the reason.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/Cell.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

using namespace xls;
namespace fs = std::filesystem;

namespace {

struct OurCell {
    char Kind = 'n';
    double Number = 0;
    std::u16string Text;
    int Code = 0;
};

OurCell Describe(TSheet& sheet, TCell& c) {
    OurCell o;
    switch (c.CellType()) {
    case ctString:
    case ctStringFormula:
    case ctStringArrayFormula:
        o.Kind = 't';
        o.Text = sheet.GetAsString(c.Col, int(c.Row));
        break;
    case ctBoolean:
        o.Kind = 'b';
        o.Code = static_cast<TBooleanCell&>(c).Value;
        break;
    case ctBooleanFormula:
        o.Kind = 'b';
        o.Code = static_cast<TBooleanFormulaCell&>(c).Value;
        break;
    case ctError:
        o.Kind = 'e';
        o.Code = ErrorIndexToCode(static_cast<TErrorCell&>(c).ErrorIndex);
        break;
    case ctErrorFormula:
        o.Kind = 'e';
        o.Code = ErrorIndexToCode(static_cast<TErrorFormulaCell&>(c).Value);
        break;
    case ctNumberArrayFormula: {
        const auto& a = static_cast<TNumberArrayFormulaCell&>(c);
        o.Kind = a.ResultKind == fvBoolean ? 'b' : a.ResultKind == fvError ? 'e' : 'n';
        o.Code = a.ResultKind == fvError ? ErrorIndexToCode(a.ResultCode) : a.ResultCode;
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

class RealFile : public testing::TestWithParam<fs::path> {};

} // namespace

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealFile);

TEST(RealFiles, FolderPresent) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    EXPECT_FALSE(oracle::RealWorldXls().empty());
}

TEST_P(RealFile, ReadsWhatXlrdReads) {
    const fs::path& file = GetParam();
    oracle::XlrdBook expected = oracle::ReadWithXlrd(file);
    TTabrix4 book;
    book.SetFilename(file.u16string());
    std::string error;
    try {
        book.Read();
    } catch (const XLSError& e) {
        error = e.what();
    }
    if (!expected.Ok) {
        // Refused by xlrd with its own message, or not judged at all (xlrd
        // did not run: the test has failed; a bound stopped it: the test is
        // marked skipped): a clear message or a read, nothing else.
        if (!error.empty()) {
            EXPECT_GT(error.size(), 10u) << error;
        }
        return;
    }
    ASSERT_EQ(error, "") << "xlrd reads this file";

    // xlrd lists worksheets only: its names are ours in order, macro and
    // module sheets aside. The one sheet of a BIFF2-BIFF4 file has no name
    // in the file; each reader gives it its own.
    std::vector<int> sheetOf;
    if (book.GetOrigVersion() <= TExcelVersion::xvExcel40 && expected.Sheets.size() == 1)
        expected.Sheets[0] = book.Sheets().Items(0).Name();
    for (int i = 0, j = 0; i < int(expected.Sheets.size()); ++i) {
        while (j < book.Sheets().Count() && book.Sheets().Items(j).Name() != expected.Sheets[size_t(i)]) ++j;
        ASSERT_LT(j, book.Sheets().Count())
            << "sheet " << WideToUtf8(expected.Sheets[size_t(i)]) << " missing";
        sheetOf.push_back(j++);
    }

    std::map<std::tuple<int, int, int>, const oracle::XlrdCell*> want;
    for (const auto& c : expected.Cells) want[{c.Sheet, c.Row, c.Col}] = &c;
    int compared = 0, ours = 0;
    for (int s = 0; s < int(sheetOf.size()); ++s) {
        TSheet& sheet = book.Sheets().Items(sheetOf[size_t(s)]);
        sheet.Cells().BeginIterate();
        while (TCell* c = sheet.Cells().NextCell()) {
            if (c->CellType() == ctBlank) continue;
            ++ours;
            auto it = want.find({s, int(c->Row), int(c->Col)});
            if (it == want.end()) {
                ADD_FAILURE() << "extra cell sheet " << s << " R" << c->Row << "C" << c->Col << " type "
                              << int(c->CellType()) << " "
                              << WideToUtf8(sheet.GetAsString(c->Col, int(c->Row)));
                continue;
            }
            const oracle::XlrdCell& x = *it->second;
            want.erase(it);
            OurCell o = Describe(sheet, *c);
            SCOPED_TRACE(testing::Message() << "sheet " << s << " R" << x.Row << "C" << x.Col);
            ASSERT_EQ(o.Kind, x.Kind) << x.Value;
            switch (x.Kind) {
            case 'n':
                EXPECT_EQ(o.Number, std::stod(x.Value));
                break;
            case 't':
                EXPECT_EQ(WideToUtf8(o.Text), x.Value);
                break;
            default:
                EXPECT_EQ(o.Code, std::stoi(x.Value));
                break;
            }
            ++compared;
        }
    }
    for (const auto& [key, x] : want)
        ADD_FAILURE() << "missing cell sheet " << x->Sheet << " R" << x->Row << "C" << x->Col << " "
                      << x->Kind << " " << x->Value;
    EXPECT_EQ(compared, ours);
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealFile, testing::ValuesIn(oracle::RealWorldXls()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             return oracle::CaseName(info.param);
                         });
