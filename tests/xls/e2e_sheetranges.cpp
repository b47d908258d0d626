// Hyperlinks, conditional formats, validations and autofilters in files:
// the real-world files keep them through a read and a write as independent
// readers decode them, and what the component makes LibreOffice finds
// (converted to .xlsx and read with openpyxl).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace xls;
namespace fs = std::filesystem;

namespace {

void ReadAndWrite(const fs::path& from, const std::string& to) {
    TTabrix4 book;
    book.SetFilename(from.u16string());
    book.Read();
    book.SetFilename(Utf8ToWide(to));
    book.Write();
}

struct SemicolonLocale : testing::Test {
    void SetUp() override { LibState().Locale.ListSeparator = u';'; }
    void TearDown() override { LibState().Reset(); }
};

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

// A workbook with every kind of hyperlink, conditional formats and
// validations, made through the component.
void MakeCollections(TTabrix4& book) {
    TSheet& sheet = book.GetSheet(0);
    sheet.SetName(u"Склад");
    const char16_t* addresses[] = {u"http://example.com/a?b=1", u"mailto:shop@example.com",
                                   u"\\\\server\\share\\prices.xls", u"..\\docs\\report.xls", u"'Склад'!B3"};
    for (int i = 0; i < int(std::size(addresses)); ++i) {
        sheet.SetAsString(0, i, u"link");
        THyperlink& link = sheet.Hyperlinks().Add();
        link.Row1 = link.Row2 = i;
        link.SetAddress(addresses[i]);
        link.SetDescription(u"Опис");
        link.SetToolTip(u"Підказка");
    }
    for (int r = 0; r < 10; ++r) sheet.SetAsInteger(1, r, r);
    TConditionalFormat& cf = sheet.ConditionalFormats().Add();
    cf.Areas.AddArea(1, 0, 1, 9);
    cf.Condition1.SetCompOperator(TConditionOperator::coBetween);
    cf.Condition1.SetFormula1(u"3");
    cf.Condition1.SetFormula2(u"5");
    cf.Condition1.FmtFont.SetFontStyle(xfsBold);
    cf.Condition2.SetCompareCell(false);
    cf.Condition2.SetFormula1(u"B1>7");
    cf.Condition2.FmtPattern.SetFillPattern(1);
    cf.Condition2.FmtPattern.SetBackColor(13);
    TDataValidation& list = sheet.Validations().Add();
    list.Areas.AddArea(2, 0, 2, 9);
    list.SetValidationType(TValidationType::vtList);
    list.SetExpression1(u"\"чай;кава\"");
    TDataValidation& count = sheet.Validations().Add();
    count.Areas.AddArea(3, 0, 3, 9);
    count.SetValidationType(TValidationType::vtInteger);
    count.SetValidationOperator(TValidationOperator::vopBetween);
    count.SetExpression1(u"1");
    count.SetExpression2(u"100");
    count.SetInputTitle(u"Кількість");
    count.SetInputMsg(u"Від 1 до 100");
    count.SetErrorMsg(u"Неправильно");
}

} // namespace

// Each real-world file read and written; the reader's view of the copy
// equals its view of the original. A file the reader refuses, original or
// copy, is no pass.
static void ExpectKept(const std::string& reader, const std::vector<const char*>& files) {
    const fs::path dir = oracle::RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir tmp;
    std::vector<std::string> paths;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string out = tmp.File("out" + std::to_string(i) + ".xls");
        ASSERT_NO_THROW(ReadAndWrite(dir / files[i], out)) << files[i];
        paths.push_back((dir / files[i]).string());
        paths.push_back(out);
    }
    auto dumps = oracle::SheetRanges(reader, paths);
    ASSERT_EQ(dumps.size(), paths.size());
    for (size_t i = 0; i < dumps.size(); i += 2) {
        SCOPED_TRACE(paths[i]);
        EXPECT_FALSE(dumps[i].empty());
        std::string refused;
        for (size_t j : {i, i + 1})
            for (const std::string& line : dumps[j])
                if (line.rfind("ERROR", 0) == 0) refused += "\n" + paths[j] + ": " + line;
        EXPECT_EQ(refused, "") << reader << " refuses";
        EXPECT_EQ(dumps[i + 1], dumps[i]);
    }
}

// The biff reader opens only the "Workbook" stream: a BIFF5 file and its
// copy are refused alike, which is no pass.
TEST(SheetRangeFiles, FilesTheReaderRefusesAreNoPass) {
    EXPECT_NONFATAL_FAILURE(ExpectKept("biff", {"sheetjs-test_files/biff5/comments_stress_test.xls"}),
                            "biff refuses");
}

TEST(SheetRangeFiles, RealWorldHyperlinksSurviveAReadAndAWrite) {
    // xlrd decodes the hyperlinks.
    ExpectKept("xlrd", {
                           "ExcelDataReader/StringContinuationAfterCharacterData.xls",
                           "apache-poi/47847.xls",
                           "apache-poi/WithHyperlink.xls",
                           "apache-poi/com.aida-tour.www_SPO_files_maldives%20august%20october.xls",
                           "sheetjs-test_files/hyperlink_stress_test_2011.xls",
                       });
}

TEST(SheetRangeFiles, RealWorldConditionalFormatsValidationsAndAutofiltersSurviveAReadAndAWrite) {
    // The records decoded from their published layouts, independently of
    // the library.
    ExpectKept("biff", {
                           "ExcelDataReader/StringContinuationAfterCharacterData.xls",
                           "ExcelDataReader/Test_Issue_11642_ValuesNotLoaded.xls",
                           "apache-poi/47847.xls",
                           "apache-poi/NewStyleConditionalFormattings.xls",
                           "apache-poi/StringContinueRecords.xls",
                           "apache-poi/WithConditionalFormatting.xls",
                           "ExcelDataReader/Test_Issue_11573_BlankValues.xls",
                           "apache-poi/31749.xls",
                           "apache-poi/ContinueRecordProblem.xls",
                           "apache-poi/dvEmpty.xls",
                           "apache-poi/ex45978-extraLinkTableSheets.xls",
                           "apache-poi/unicodeNameRecord.xls",
                           "sheetjs-test_files/AutoFilter.xls",
                           "apache-poi/SimpleWithAutofilter.xls",
                           "apache-poi/ContinueRecordProblem.xls",
                       });
}

TEST_F(SemicolonLocale, LibreOfficeFindsWhatTheComponentMade) {
    testfiles::ScratchDir tmp;
    TTabrix4 book;
    MakeCollections(book);
    const std::string file = tmp.File("made.xls");
    book.SetFilename(Utf8ToWide(file));
    book.Write();

    // Excel 5 and Excel 4 files have none of them: their writes say so.
    for (const auto& [version, target] : {std::pair{TExcelVersion::xvExcel50, ".xls (Excel 5)"},
                                          std::pair{TExcelVersion::xvExcel40, ".xls (Excel 4)"}}) {
        book.SetVersion(version);
        book.SetFilename(Utf8ToWide(tmp.File("older.xls")));
        ASSERT_NO_THROW(book.Write());
        std::string named;
        for (const std::string& w : book.Warnings()) named += w + "\n";
        const std::string t = target;
        EXPECT_EQ(named, "Sheet 'Склад': 1 conditional format not written to " + t +
                             "\nSheet 'Склад': 2 data validations not written to " + t +
                             "\nSheet 'Склад': 5 hyperlinks not written to " + t + "\n");
    }
    book.SetVersion(TExcelVersion::xvExcel97);
    book.SetFilename(Utf8ToWide(file));

    // Read back here first.
    TTabrix4 back;
    back.SetFilename(Utf8ToWide(file));
    back.Read();
    THyperlinks& links = back.GetSheet(0).Hyperlinks();
    ASSERT_EQ(links.Count(), 5);
    EXPECT_EQ(links.Items(4).GetAddress(), u"'Склад'!B3");
    EXPECT_EQ(links.Items(3).GetAddress(), u"..\\docs\\report.xls");
    EXPECT_EQ(links.Items(0).GetToolTip(), u"Підказка");

    // Autofilters of a real file, read and written here: LibreOffice finds
    // the same ones in the copy as in the original (converted in one call).
    std::vector<std::string> files = {file};
    const fs::path dir = oracle::RealWorldDir();
    if (!dir.empty()) {
        testfiles::Spit(tmp.File("original.xls"),
                        testfiles::Slurp((dir / "sheetjs-test_files/AutoFilter.xls").string()));
        ReadAndWrite(dir / "sheetjs-test_files/AutoFilter.xls", tmp.File("copy.xls"));
        files.push_back(tmp.File("original.xls"));
        files.push_back(tmp.File("copy.xls"));
    }
    ASSERT_EQ(testfiles::LibreOfficeConvert(files, tmp.Path(), "xlsx").Status, 0);
    auto dumps = oracle::SheetRanges(
        "openpyxl", {tmp.File("made.xlsx"), tmp.File("original.xlsx"), tmp.File("copy.xlsx")});
    ASSERT_EQ(dumps.size(), 3u);
    if (!dir.empty()) {
        EXPECT_TRUE(Contains(dumps[1], "autofilter Two Cond A1:E22"));
        EXPECT_EQ(dumps[2], dumps[1]);
    }
    const auto& lines = dumps[0];
    EXPECT_TRUE(Contains(lines, "link Склад A1 'http://example.com/a?b=1'")) << testing::PrintToString(lines);
    EXPECT_TRUE(Contains(lines, "link Склад A2 'mailto:shop@example.com'"));
    EXPECT_TRUE(Contains(lines, "link Склад A3 'file://server/share/prices.xls'"));
    EXPECT_TRUE(Contains(lines, "link Склад A4 '") && Contains(lines, "docs%5Creport.xls'"));
    EXPECT_TRUE(Contains(lines, "link Склад A5 None 'Склад!B3'"));
    EXPECT_TRUE(Contains(lines, "cf Склад B1:B10 cellIs between ['3', '5']"));
    EXPECT_TRUE(Contains(lines, "cf Склад B1:B10 expression None ['B1>7']"));
    EXPECT_TRUE(Contains(lines, "dv Склад C1:C10 list equal '\"чай,кава\"'"));
    EXPECT_TRUE(Contains(lines,
                         "dv Склад D1:D10 whole between '1' '100' True 'Кількість' 'Від 1 до 100' None "
                         "'Неправильно'"));
}
