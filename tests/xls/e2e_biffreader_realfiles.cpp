// Every real-world .xls file: what python3-xlrd reads from it, the reader
// reads too (sheet names, every non-blank cell value); files xlrd refuses
// are read or refused with a message, never a crash. A file xlrd gives no
// verdict on is a failure (xlrd did not run) or a skip naming the reason.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// How another program's reading of a file xlrd refuses stands for xlrd's.
struct TOtherReading {
    const char* Program; // "gnumeric" or "libreoffice"
    // The file whose reading stands for this one's, when not the file itself.
    const char* Read = nullptr;
    // The one sheet has no name in the file: each reader gives it its own.
    bool Unnamed = false;
    // A cell of the first sheet the program reads otherwise (-1: none).
    int Row = -1, Col = -1;
};

// The files xlrd refuses that we read, and what we compare ours with.
const std::map<std::string, TOtherReading> kReadByOthers = {
    // gnumeric does not open it.
    {"ExcelDataReader/ExcelLibrary_newdoc.xls", {"libreoffice"}},
    {"ExcelDataReader/TestExcel_2040.xls", {"gnumeric"}},
    {"ExcelDataReader/Test_git_issue_368_header.xls", {"gnumeric"}},
    {"ExcelDataReader/Test_git_issue_411.xls", {"gnumeric"}},
    // A string runs on over an empty CONTINUE and one with a byte left over:
    // we read the characters the file holds, the others an empty text.
    {"ExcelDataReader/Test_git_issue_467_empty_continue_leftoverbytes.xls",
     {"gnumeric", nullptr, false, 96, 0}},
    {"ExcelDataReader/Test_git_issue_477_sst_wrong_count.xls", {"gnumeric"}},
    // The same workbook with a string table that counts no strings: the
    // others then read none of its strings, we read those the table holds.
    {"ExcelDataReader/Test_git_issue_477_sst_zero_count.xls",
     {"gnumeric", "ExcelDataReader/Test_git_issue_477_sst_wrong_count.xls"}},
    {"ExcelDataReader/protectedsheet-xxx.xls", {"gnumeric"}},
    {"apache-poi/50833.xls", {"gnumeric"}},
    // An embedded chart's workbook: a chart sheet with no name.
    {"apache-poi/64130.xls", {"gnumeric", nullptr, true}},
    {"sheetjs-test_files/phpexcel_bad_cfb_dir.xls", {"gnumeric"}},
    {"xlrd/corrupted_error.xls", {"gnumeric"}},
    // LibreOffice computes the damaged formula again; gnumeric keeps its value.
    {"xlrd/invalid_formula.xls", {"gnumeric"}},
};

// The files xlrd refuses and we refuse too, with what our message says.
const std::map<std::string, const char*> kRefused = {
    {"ExcelDataReader/TestFail_Binary.xls", "The file is not an Excel workbook"},
    {"ExcelDataReader/Test_Issue_12556_corrupt.xls", "Bad compound file: the header lists no FAT sector"},
    {"ExcelDataReader/Test_git_issue_242_std_rc4_pwd_password.xls", "unknown type of encryption"},
    {"ExcelDataReader/Test_git_issue_242_xor_pwd_password.xls", "unknown type of encryption"},
    {"ExcelDataReader/Test_git_issue_382_oom.xls", "Bad compound file: the directory reuses a sector"},
    {"ExcelDataReader/Test_git_issue_477_crypto_keylength40.xls", "unknown type of encryption"},
    {"ExcelDataReader/Test_git_issue_5.xls", "Bad compound file: the directory points past the end"},
    {"apache-poi/35897-type4.xls", "unknown type of encryption"},
    {"apache-poi/51832.xls", "File is encrypted. Password required."},
    {"apache-poi/60284.xls", "unknown type of encryption"},
    {"apache-poi/61300.xls", "Bad compound file: a stream is longer than its chain"},
    {"apache-poi/clusterfuzz-testcase-minimized-POIHSSFFuzzer-4651309315719168.xls",
     "Bad compound file: the mini stream points past the end"},
    {"apache-poi/clusterfuzz-testcase-minimized-POIHSSFFuzzer-5786329142919168.xls",
     "Bad compound file: a stream is longer than its chain"},
    {"apache-poi/clusterfuzz-testcase-minimized-POIHSSFFuzzer-5889658057523200.xls",
     "Bad compound file: a stream is longer than its chain"},
    {"apache-poi/clusterfuzz-testcase-minimized-POIHSSFFuzzer-6137883240824832.xls",
     "Bad compound file: unsupported mini sector size"},
    {"apache-poi/password.xls", "File is encrypted. Password required."},
    {"apache-poi/xor-encryption-abc.xls", "File encrypted with non-standard key"},
    {"libxls/xls2csv_ole_ole2_fread_327.xls", "Bad compound file: the FAT reuses a sector"},
    {"libxls/xls2csv_ole_read_MSAT_772.xls", "Bad compound file: a directory link points past the directory"},
    {"libxls/xls2csv_ole_read_MSAT_body_687.xls", "Bad compound file: the directory reuses a sector"},
    {"msoffcrypto-tool/rc4cryptoapi_password.xls", "unknown type of encryption"},
    {"msoffcrypto-tool/xor_password_123456789012345.xls", "File encrypted with non-standard key"},
    {"sheetjs-test_files/biff5/password_2002_40_xor.xls", "unknown type of encryption"},
    {"sheetjs-test_files/password_2002_128_enhanced.xls", "unknown type of encryption"},
    {"sheetjs-test_files/password_2002_128_strong.xls", "unknown type of encryption"},
    {"sheetjs-test_files/password_2002_40_972000.xls", "File is encrypted. Password required."},
    {"sheetjs-test_files/password_2002_40_basecrypto.xls", "unknown type of encryption"},
    {"sheetjs-test_files/password_2002_40_dhsc.xls", "unknown type of encryption"},
    {"sheetjs-test_files/password_2002_40_xor.xls", "File encrypted with non-standard key"},
};

// Whether a merged area covers the cell without starting at it.
bool Covered(TSheet& sheet, int col, int row) {
    for (int i = 0; i < sheet.MergedCells().Count(); ++i) {
        const TCellArea& a = sheet.MergedCells()[i];
        const bool inside = a.Col1i() <= col && col <= a.Col2i() && a.Row1i() <= row && row <= a.Row2i();
        if (inside && (a.Col1i() != col || a.Row1i() != row)) return true;
    }
    return false;
}

// The cells LibreOffice or gnumeric read from a file, through the package
// each writes of it, in the form xlrd's are.
oracle::XlrdBook ReadByOther(const fs::path& file, const std::string& program) {
    testfiles::ScratchDir dir;
    const std::string package = dir.File(file.stem().string() + ".xlsx");
    if (program == "libreoffice")
        testfiles::LibreOfficeConvert({file.string()}, dir.Path(), "xlsx");
    else
        oracle::Run("ssconvert " + oracle::Quote(file.string()) + " " + oracle::Quote(package));
    oracle::XlrdBook book;
    if (!testfiles::Exists(package)) {
        book.NoVerdict = program + " did not convert " + file.string();
        return book;
    }
    return oracle::ReadWithOpenpyxl(package);
}

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
    // Not judged at all: xlrd did not run (the test has failed) or a bound
    // stopped it (the test is marked skipped).
    if (!expected.NoVerdict.empty()) return;
    std::string reader = "xlrd";
    std::pair<int, int> skip{-1, -1}; // a cell of the first sheet read otherwise
    if (!expected.Ok) {
        // Refused by xlrd with its own message: refused here with ours, or
        // read as another program reads it.
        const std::string name = fs::relative(file, oracle::RealWorldDir()).generic_string();
        if (!error.empty()) {
            const auto refused = kRefused.find(name);
            ASSERT_NE(refused, kRefused.end())
                << "xlrd and we refuse this file: " << expected.Error << "; " << error;
            EXPECT_NE(error.find(refused->second), std::string::npos) << error;
            return;
        }
        const auto other = kReadByOthers.find(name);
        ASSERT_NE(other, kReadByOthers.end())
            << "xlrd refuses this file (" << expected.Error << "); we read it";
        const TOtherReading& how = other->second;
        reader = how.Program;
        expected = ReadByOther(how.Read ? oracle::RealWorldDir() / how.Read : file, reader);
        ASSERT_TRUE(expected.Ok) << reader << ": " << expected.Error << expected.NoVerdict;
        if (how.Unnamed) {
            ASSERT_EQ(expected.Sheets.size(), 1u);
            ASSERT_EQ(book.Sheets().Count(), 1);
            expected.Sheets[0] = book.Sheets().Items(0).Name();
        }
        std::erase_if(expected.Cells, [&](const oracle::XlrdCell& c) {
            return c.Sheet == 0 && c.Row == how.Row && c.Col == how.Col;
        });
        skip = {how.Row, how.Col};
    }
    ASSERT_EQ(error, "") << reader << " reads this file";
    SCOPED_TRACE(reader);

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
            if (s == 0 && std::pair<int, int>(int(c->Row), int(c->Col)) == skip) continue;
            // openpyxl reads the cells a merged area covers as empty.
            if (reader != "xlrd" && Covered(sheet, int(c->Col), int(c->Row))) continue;
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
                // The others' packages carry dates as date-times of whole microseconds.
                if (reader == "xlrd")
                    EXPECT_EQ(o.Number, std::stod(x.Value));
                else
                    EXPECT_NEAR(o.Number, std::stod(x.Value), 1e-12 * std::max(1.0, std::abs(o.Number)));
                break;
            case 't':
                EXPECT_EQ(WideToUtf8(o.Text), x.Value);
                break;
            default:
                // xlrd gives error codes, openpyxl their texts.
                if (x.Kind == 'e' && x.Value.rfind('#', 0) == 0)
                    EXPECT_EQ(WideToUtf8(ErrorCodeToText(uint8_t(o.Code))), x.Value);
                else
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
