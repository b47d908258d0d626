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
    if (to.ends_with(".xlsx")) book.SetVersion(TExcelVersion::xvExcel2007);
    book.SetFilename(Utf8ToWide(to));
    book.Write();
    // A package carries the sheet's collections.
    for (const std::string& w : book.Warnings()) EXPECT_EQ(w.find("autofilter"), w.npos) << w;
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
    // The same written as a package by the component.
    book.SetVersion(TExcelVersion::xvExcel2007);
    book.SetFilename(Utf8ToWide(tmp.File("ours.xlsx")));
    book.Write();
    EXPECT_TRUE(book.Warnings().empty()) << book.Warnings().front();
    // Read back, the package keeps them as it read them; more made here
    // join them.
    TTabrix4 more;
    more.SetFilename(Utf8ToWide(tmp.File("ours.xlsx")));
    more.Read();
    TSheet& sheet = more.GetSheet(0);
    THyperlink& added = sheet.Hyperlinks().Add();
    added.Row1 = added.Row2 = 11;
    added.SetAddress(u"https://example.org/");
    TDataValidation& text = sheet.Validations().Add();
    text.Areas.AddArea(4, 0, 4, 3);
    text.SetValidationType(TValidationType::vtTextLength);
    text.SetValidationOperator(TValidationOperator::vopLessEqual);
    text.SetExpression1(u"8");
    TConditionalFormat& red = sheet.ConditionalFormats().Add();
    red.Areas.AddArea(5, 0, 5, 3);
    red.Condition1.SetCompOperator(TConditionOperator::coGreater);
    red.Condition1.SetFormula1(u"0");
    red.Condition1.FmtFont.SetColor(10);
    more.SetFilename(Utf8ToWide(tmp.File("more.xlsx")));
    more.Write();
    EXPECT_TRUE(more.Warnings().empty()) << more.Warnings().front();

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
        ReadAndWrite(dir / "sheetjs-test_files/AutoFilter.xls", tmp.File("ours-filter.xlsx"));
        files.push_back(tmp.File("original.xls"));
        files.push_back(tmp.File("copy.xls"));
    }
    ASSERT_EQ(testfiles::LibreOfficeConvert(files, tmp.Path(), "xlsx").Status, 0);
    auto dumps = oracle::SheetRanges("openpyxl", {tmp.File("made.xlsx"), tmp.File("original.xlsx"),
                                                  tmp.File("copy.xlsx"), tmp.File("ours.xlsx"),
                                                  tmp.File("ours-filter.xlsx"), tmp.File("more.xlsx")});
    ASSERT_EQ(dumps.size(), 6u);
    // The package's own and the ones made after the read, in one package.
    for (const std::string& line : dumps[3]) EXPECT_TRUE(Contains(dumps[5], line)) << line;
    for (const char* line :
         {"link Склад A12 'https://example.org/'", "cf Склад F1:F4 cellIs greaterThan ['0']",
          "dv Склад E1:E4 textLength lessThanOrEqual '8'"})
        EXPECT_TRUE(Contains(dumps[5], line)) << line << testing::PrintToString(dumps[5]);
    EXPECT_EQ(dumps[5].size(), dumps[3].size() + 3);
    if (!dir.empty()) {
        EXPECT_TRUE(Contains(dumps[1], "autofilter Two Cond A1:E22"));
        EXPECT_EQ(dumps[2], dumps[1]);
        // The binary file's autofilters written as a package by the component:
        // LibreOffice's own, and the conditions its package leaves out.
        for (const std::string& line : dumps[1]) EXPECT_TRUE(Contains(dumps[4], line)) << line;
        for (const char* line :
             {"filter NE 0 None [('notEqual', '3')]", "filter GT 0 None [('greaterThan', '2')]",
              "filter AND Bounding 0 None [('greaterThanOrEqual', '2'), ('lessThanOrEqual', '4')]",
              "filter OR Range 0 None [('greaterThanOrEqual', '4'), ('lessThanOrEqual', '1')]"})
            EXPECT_TRUE(Contains(dumps[4], line)) << line;
    }
    // LibreOffice's package of the .xls and the component's own package.
    struct TExpected {
        const char* Line;
        bool Libre, Ours;
    };
    const TExpected expected[] = {
        {"link Склад A1 'http://example.com/a?b=1'", true, true},
        {"link Склад A2 'mailto:shop@example.com'", true, true},
        {"link Склад A3 'file://server/share/prices.xls'", true, true},
        {"link Склад A4 '../docs%5Creport.xls'", true, false}, // LibreOffice keeps one backslash
        {"link Склад A4 '../docs/report.xls'", false, true},
        {"link Склад A5 None 'Склад!B3'", true, true},
        {"cf Склад B1:B10 cellIs between ['3', '5']", true, true},
        {"cf Склад B1:B10 expression None ['B1>7']", true, true},
        {"dv Склад C1:C10 list equal '\"чай,кава\"'", true, true},
        {"dv Склад D1:D10 whole between '1' '100' True 'Кількість' 'Від 1 до 100' None 'Неправильно'", true,
         true},
    };
    for (const TExpected& e : expected) {
        EXPECT_EQ(Contains(dumps[0], e.Line), e.Libre) << e.Line << testing::PrintToString(dumps[0]);
        EXPECT_EQ(Contains(dumps[3], e.Line), e.Ours) << e.Line << testing::PrintToString(dumps[3]);
    }
    EXPECT_EQ(dumps[3].size(), dumps[0].size());
}

// List validations whose items gnumeric writes as an array constant (from
// LibreOffice's lists of items) are read as those items, with the cells they
// cover: the copies as .xlsx (read by openpyxl) and as .xls (read by
// LibreOffice, whose package openpyxl reads) list them as the source does.
TEST(SheetRangeFiles, ListsGivenAsArrayConstantsAreReadAsTheirItems) {
    testfiles::ScratchDir dir;
    testfiles::Spit(dir.File("lists.fods"), R"FODS(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body><office:spreadsheet>
<table:content-validations>
<table:content-validation table:name="v1"
 table:condition="of:cell-content-is-in-list(&quot;a&quot;;&quot;b&quot;;&quot;c&quot;)"
 table:allow-empty-cell="true" table:base-cell-address="S.A1"/>
<table:content-validation table:name="v2"
 table:condition="of:cell-content-is-in-list(&quot;чай&quot;;&quot;кава&quot;)"
 table:allow-empty-cell="true" table:base-cell-address="S.B2"/>
</table:content-validations>
<table:table table:name="S">
<table:table-row><table:table-cell table:content-validation-name="v1"
 office:value-type="string"><text:p>a</text:p></table:table-cell></table:table-row>
<table:table-row table:number-rows-repeated="2"><table:table-cell/>
<table:table-cell table:content-validation-name="v2"/></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
)FODS");
    testfiles::LibreOfficeConvert({dir.File("lists.fods")}, dir.Path(), "ods");
    const oracle::TRun gnumeric = oracle::Run("ssconvert " + oracle::Quote(dir.File("lists.ods")) + " " +
                                              oracle::Quote(dir.File("lists.xls")));
    ASSERT_TRUE(testfiles::Exists(dir.File("lists.xls"))) << gnumeric.Output;
    ReadAndWrite(dir.File("lists.xls"), dir.File("copy.xlsx"));
    ReadAndWrite(dir.File("lists.xls"), dir.File("copy.xls"));
    testfiles::LibreOfficeConvert({dir.File("copy.xls")}, dir.File("lo"), "xlsx");
    for (const std::string& file : {dir.File("copy.xlsx"), dir.File("lo/copy.xlsx")}) {
        SCOPED_TRACE(file);
        const std::vector<std::vector<std::string>> seen = oracle::SheetRanges("openpyxl", {file});
        ASSERT_EQ(seen.size(), 1u);
        std::vector<std::string> lists;
        for (const std::string& line : seen[0])
            if (line.rfind("dv ", 0) == 0) lists.push_back(line.substr(0, line.find(" between")));
        std::sort(lists.begin(), lists.end());
        EXPECT_EQ(lists, (std::vector<std::string>{"dv S A1 list", "dv S B2 list", "dv S B3 list"}));
        EXPECT_TRUE(Contains(seen[0], "'\"a,b,c\"'")) << testing::PrintToString(seen[0]);
        EXPECT_TRUE(Contains(seen[0], "'\"чай,кава\"'")) << testing::PrintToString(seen[0]);
    }
}
