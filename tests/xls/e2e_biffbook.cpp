// Workbooks built through the component and written in each BIFF version,
// read back by xlrd and gnumeric: values, Cyrillic strings, fonts, colours,
// merged cells and column widths; and the versions that cannot be written.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/PrintSettings.h"
#include "platform/compound/CompoundFile.h"

#include "support_files.h"
#include "tests/xls/support_biffbuild.h"
#include "tests/xls/support_messages.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

using namespace xls;
using V = TExcelVersion;

namespace {

using oracle::Has;

// A small goods report: captions in row 1 (bold, red), rows from 2.
void FillReport(TTabrix4& book) {
    book.Clear();
    TSheet& sheet = book.GetSheet(0);
    sheet.SetName(u"Звіт");
    const char16_t* captions[] = {u"Код", u"Назва", u"Ціна", u"Залишок"};
    for (int c = 0; c < 4; ++c) sheet.SetAsString(c, 1, captions[c]);
    sheet.Range().SetArea(0, 1, 3, 1).SetFontStyle(1);
    sheet.Range().SetArea(0, 1, 3, 1).SetFontColor(0x0000FF);
    for (int r = 0; r < 3; ++r) {
        sheet.SetAsInteger(0, r + 2, 100 + r);
        sheet.SetAsString(1, r + 2, r == 1 ? u"Хліб «Київ»" : u"Молоко 2,5%");
        sheet.SetAsFloat(2, r + 2, 12.35 + r);
        sheet.SetAsFloat(3, r + 2, 0.1 * 3); // no exact short form
    }
    sheet.SetAsString(0, 6, u"Разом");
    TCellArea& merged = sheet.MergedCells().Add();
    merged.Col2 = 2;
    merged.Row1 = merged.Row2 = 6;
    sheet.AutoWidthCols(0, 3);
    // A taller caption row and a hidden one.
    sheet.Rows().Add(1).SetHeight(400);
    sheet.Rows().Add(5).SetHidden(true);
    sheet.Rows().Sort();
    // Its page setup: margins, two pages across, a page break, the zoom.
    TPrintSettings& print = sheet.PrintSettings();
    print.SetMarginLeft(1.5);
    print.SetMarginBottom(0.5);
    print.SetFitWidth(2);
    print.SetFitHeight(0);
    print.HorizPagebreaks().Add().Row = 4;
    sheet.SetWorkspaceOptions(sheet.GetWorkspaceOptions() | woFitToPage);
    sheet.SetZoom(130);
}

class BIFFBook : public ::testing::TestWithParam<V> {
protected:
    void TearDown() override { LibState().Reset(); }
    testfiles::ScratchDir dir;
};

} // namespace

TEST_P(BIFFBook, IndependentReadersSeeTheReport) {
    const V v = GetParam();
    const std::string file = dir.File("report.xls");
    TTabrix4 book;
    FillReport(book);
    book.SetVersion(v);
    book.SetFilename(std::u16string(file.begin(), file.end()));
    book.Write();
    // BIFF5 and BIFF8 in a compound file, BIFF4 as a plain stream.
    const std::string raw = testfiles::Slurp(file);
    const biffbuild::Bytes bytes(raw.begin(), raw.end());
    EXPECT_EQ(platform::cfb::CompoundFile::IsCompoundFile(bytes), v != V::xvExcel40);
    auto records = biffbuild::Records(biffbuild::WorkbookStream(bytes), true);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().Id, v == V::xvExcel40 ? 0x0409 : 0x0809);
    EXPECT_EQ(records.back().Id, 0x000A);

    auto x = oracle::XlrdDump(file);
    ASSERT_EQ(x.Status, 0) << x.Output;
    const std::string& o = x.Output;
    if (v != V::xvExcel40) {
        EXPECT_TRUE(Has(o, "sheet 0 Звіт 7 4")) << o;
    }
    EXPECT_TRUE(Has(o, "cell 0 1 1 1 Назва")) << o;
    EXPECT_TRUE(Has(o, "cell 0 3 1 1 Хліб «Київ»")) << o;
    EXPECT_TRUE(Has(o, "cell 0 2 0 2 100.0")) << o;
    EXPECT_TRUE(Has(o, "cell 0 4 2 2 14.35")) << o;
    EXPECT_TRUE(Has(o, "cell 0 2 3 2 0.30000000000000004")) << o;
    EXPECT_TRUE(Has(o, "font 0 1 0 Arial bold=1 italic=0 colour=10")) << o;
    EXPECT_TRUE(Has(o, "font 0 2 0 Arial bold=0 italic=0 colour=8")) << o;
    if (v == V::xvExcel97) {
        EXPECT_TRUE(Has(o, "merged 0 6 7 0 3")) << o;
    }
    // Widths fitted to the cells reach the file; the text columns are wider
    // than the default.
    for (int c = 0; c < 4; ++c) {
        const TXLSColumn* column = book.GetSheet(0).Columns()[c];
        ASSERT_NE(column, nullptr) << c;
        EXPECT_TRUE(Has(o, "width 0 " + std::to_string(c) + " " + std::to_string(column->GetWidth()))) << o;
    }
    EXPECT_GT(book.GetSheet(0).Columns()[1]->GetWidth(), TXLSColumn::DefaultWidth);
    // Row objects reach the file as ROW records.
    EXPECT_TRUE(Has(o, "rowheight 0 1 400")) << o;
    EXPECT_TRUE(Has(o, "rowheight 0 5 255")) << o;
    // The page setup reads back in every version; a new sheet's margins
    // make no record.
    TTabrix4 back;
    back.SetFilename(Utf8ToWide(file));
    back.Read();
    TSheet& sheet = back.GetSheet(0);
    const TPrintSettings& print = sheet.PrintSettings();
    EXPECT_EQ(print.GetMarginLeft(), 1.5);
    EXPECT_EQ(print.GetMarginBottom(), 0.5);
    EXPECT_EQ(print.GetFitWidth(), 2);
    EXPECT_EQ(print.GetFitHeight(), 0);
    EXPECT_TRUE(sheet.GetWorkspaceOptions() & woFitToPage);
    ASSERT_EQ(print.HorizPagebreaks().Count(), 1);
    EXPECT_EQ(print.HorizPagebreaks()[0].Row, 4);
    EXPECT_EQ(sheet.GetZoom(), 130);
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const biffbuild::Record& r) { return r.Id == 0x0027; }),
              v == V::xvExcel40 ? 0 : 1); // RIGHTMARGIN

    auto csv = oracle::GnumericCsv(file, dir.File("report.csv"));
    ASSERT_EQ(csv.Status, 0) << csv.Output;
    // gnumeric takes BIFF4 8-bit text by the font's character set, which
    // BIFF4 fonts lack: only the numbers are compared there.
    if (v == V::xvExcel40) {
        EXPECT_TRUE(Has(csv.Output, "100,")) << csv.Output;
        EXPECT_TRUE(Has(csv.Output, ",14.35,0.3000000000000000444")) << csv.Output;
    } else {
        // The full value of 0.1 * 3 shows that it went out exactly.
        EXPECT_EQ(csv.Output, "Код,Назва,Ціна,Залишок\n"
                              "100,\"Молоко 2,5%\",12.35,0.3000000000000000444\n"
                              "101,\"Хліб «Київ»\",13.35,0.3000000000000000444\n"
                              "102,\"Молоко 2,5%\",14.35,0.3000000000000000444\n"
                              ",,,\n"
                              "Разом,,,\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, BIFFBook, ::testing::Values(V::xvExcel97, V::xvExcel50, V::xvExcel40));

TEST(BIFFBookVersions, OldVersionsAreRefusedAndWriteNothing) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("old.xls");
    TTabrix4 book;
    book.SetFilename(std::u16string(file.begin(), file.end()));
    for (V v : {V::xvExcel21, V::xvExcel30}) {
        book.SetVersion(v);
        EXPECT_EQ(MessageOf([&] { book.Write(); }), "Can not write Excel 2.1/3.0 files");
    }
    // Every reader needs a sheet: a workbook without one is refused alike.
    book.Sheets().Clear();
    for (V v : {V::xvExcel97, V::xvExcel50, V::xvExcel40, V::xvExcel2007}) {
        book.SetVersion(v);
        EXPECT_EQ(MessageOf([&] { book.Write(); }), "The workbook has no sheet");
    }
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 0);
    LibState().Reset();
}

// A text longer than a cell holds keeps its first 32,767 characters, and the
// cell and the length given are named at once and by the next write; xlrd
// and openpyxl read the cut text.
TEST(BIFFBookTexts, ALongTextIsCutAndNamed) {
    testfiles::ScratchDir dir;
    const std::string named = "'My sheet'!C2: a text of 40000 characters cut to the 32767 a cell holds";
    for (V v : {V::xvExcel97, V::xvExcel2007}) {
        SCOPED_TRACE(int(v));
        TTabrix4 book;
        book.GetSheet(0).SetName(u"My sheet");
        book.GetSheet(0).SetAsString(2, 1, std::u16string(40000, u'ж'));
        book.GetSheet(0).SetAsString(2, 2, std::u16string(32767, u'q'));
        EXPECT_EQ(book.Warnings(), std::vector<std::string>{named});
        const std::string file = dir.File(v == V::xvExcel97 ? "long.xls" : "long.xlsx");
        book.SetVersion(v);
        book.SetFilename(Utf8ToWide(file));
        book.Write();
        EXPECT_EQ(book.Warnings(), std::vector<std::string>{named});
        // The next write has nothing to say.
        book.Write();
        EXPECT_TRUE(book.Warnings().empty());
        const oracle::XlrdBook read =
            v == V::xvExcel97 ? oracle::ReadWithXlrd(file) : oracle::ReadWithOpenpyxl(file);
        if (!read.NoVerdict.empty()) continue;
        ASSERT_TRUE(read.Ok) << read.Error;
        ASSERT_EQ(read.Cells.size(), 2u);
        EXPECT_EQ(Utf8ToWide(read.Cells[0].Value), std::u16string(32767, u'ж'));
        EXPECT_EQ(read.Cells[1].Value, std::string(32767, 'q'));
    }
}
