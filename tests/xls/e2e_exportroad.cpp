// The exchange side's road to an .xls file, through a component that wrote
// an earlier file: clear the workbook and its sheets, add a worksheet,
// colour and embolden caption and data ranges before any cell exists, write
// captions and typed cells, fit the columns, name the file and write it.
// xlrd reads the file back: values, kinds, font colours through the
// palette, bold, widths, and nothing of the earlier file.
#include "SrcXLS/Tabrix4.h"

#include "support_files.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace xls;

namespace {

using oracle::Has;

// The font line xlrd gives for a cell, from its name on.
std::string FontOf(const std::string& dump, int row, int col) {
    std::istringstream in(dump);
    const std::string prefix = "font 0 " + std::to_string(row) + " " + std::to_string(col) + " ";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    return "";
}

struct HourLine {
    const char16_t* From;
    const char16_t* To;
    int32_t SaleReceipts;
    const char16_t* SaleSum;
    uint32_t RefundReceipts; // an unsigned count goes in as its bits
};

class ExportRoad : public ::testing::Test {
protected:
    void TearDown() override { LibState().Reset(); }
    testfiles::ScratchDir dir;
};

} // namespace

TEST_F(ExportRoad, ReportWrittenThroughTheComponentReadsBackWithItsFonts) {
    TTabrix4 xls;
    // An earlier export on the same component, as the job window does it:
    // nothing of it may reach the new file.
    xls.GetSheet(0).SetAsString(7, 7, u"old");
    xls.Sheets().Add(0).SetAsInteger(0, 0, 1);
    xls.GetSheet(0).Range().SetArea(0, 1, 1, 1).SetFontStyle(1);
    xls.GetSheet(0).SetAsString(0, 6, u"лише в першому");
    const std::string earlier = dir.File("earlier.xls");
    xls.SetFilename(std::u16string(earlier.begin(), earlier.end()));
    xls.Write();

    xls.Clear();
    ASSERT_EQ(xls.Sheets().Count(), 1);
    xls.Sheets().Clear();
    ASSERT_EQ(xls.Sheets().Count(), 0);
    TSheet& sheet = xls.Sheets().Add(0);
    ASSERT_EQ(xls.Sheets().Count(), 1);
    ASSERT_EQ(&xls.Sheets().GetItem(0), &sheet);

    const HourLine lines[] = {
        {u"08:00", u"09:00", 12, u"1234,50", 1},
        {u"09:00", u"10:00", 0, u"0,00", 0xFFFFFFFFu},
        {u"10:00", u"11:00", 7, u"99,99", 2},
    };
    const int n = 3;
    // Ranges before cells: the cells written later keep these fonts.
    sheet.Range().SetArea(0, 1, 0, n + 1).SetFontColor(0x008000);
    sheet.Range().SetArea(1, 1, 1, n + 1).SetFontColor(0x0000FF);
    sheet.Range().SetArea(0, 1, 7, 1).SetFontColor(0xFF0000);
    sheet.Range().SetArea(0, 1, 7, 1).SetFontStyle(1);

    const char16_t* captions[] = {u"ЧАС (З):",      u"ЧАС (ПО):", u"ЧЕКІВ ПРОДАЖУ:", u"СУМА ПРОДАЖІВ (грн):",
                                  u"ЧЕКІВ ВИПЛАТ:", u"ВАГОВИЙ:",  u"ЦІНА:",          u"НАЗВА:"};
    for (int c = 0; c < 8; ++c) sheet.SetAsString(c, 1, captions[c]);
    for (int k = 0; k < n; ++k) {
        const HourLine& l = lines[k];
        const int row = k + 2;
        sheet.SetAsString(0, row, l.From);
        sheet.SetAsString(1, row, l.To);
        sheet.SetAsInteger(2, row, l.SaleReceipts);
        sheet.SetAsString(3, row, l.SaleSum);
        sheet.SetAsInteger(4, row, int32_t(l.RefundReceipts));
        sheet.SetAsBoolean(5, row, k == 1);
        sheet.SetAsFloat(6, row, 12.5 * (k + 1) + 0.01);
        sheet.SetAsString(7, row, k == 2 ? u"Хліб «Київ» житній, нарізний" : u"Молоко");
    }
    sheet.AutoWidthCols(0, 7);

    const std::string file = dir.File("hours.xls");
    xls.SetFilename(std::u16string(file.begin(), file.end()));
    xls.Write();
    EXPECT_EQ(xls.GetVersion(), TExcelVersion::xvExcel97) << "exports write BIFF8 by default";

    auto x = oracle::XlrdDump(file);
    ASSERT_EQ(x.Status, 0) << x.Output;
    const std::string& o = x.Output;
    EXPECT_TRUE(Has(o, "sheet 0 Sheet")) << o;
    EXPECT_FALSE(Has(o, " old\n")) << o;
    EXPECT_FALSE(Has(o, "лише в першому")) << o;
    EXPECT_FALSE(Has(o, "cell 0 7 7")) << o;
    EXPECT_FALSE(Has(o, "sheet 1 ")) << o;
    // Row 0 stays empty; captions in row 1.
    EXPECT_FALSE(Has(o, "cell 0 0 ")) << o;
    EXPECT_TRUE(Has(o, "cell 0 1 0 1 ЧАС (З):")) << o;
    EXPECT_TRUE(Has(o, "cell 0 1 3 1 СУМА ПРОДАЖІВ (грн):")) << o;
    // Text, integer, boolean (kind 4) and float cells.
    EXPECT_TRUE(Has(o, "cell 0 2 0 1 08:00")) << o;
    EXPECT_TRUE(Has(o, "cell 0 2 3 1 1234,50")) << o;
    EXPECT_TRUE(Has(o, "cell 0 2 2 2 12.0")) << o;
    EXPECT_TRUE(Has(o, "cell 0 3 4 2 -1.0")) << o;
    EXPECT_TRUE(Has(o, "cell 0 3 5 4 1")) << o;
    EXPECT_TRUE(Has(o, "cell 0 2 5 4 0")) << o;
    EXPECT_TRUE(Has(o, "cell 0 4 6 2 37.51")) << o;
    EXPECT_TRUE(Has(o, "cell 0 4 7 1 Хліб «Київ» житній, нарізний")) << o;

    // Captions blue and bold, column 0 green, column 1 red, the rest plain
    // black; every colour resolves through the file's palette.
    const std::string captionFont = "bold=1 italic=0 colour=12 height=200 rgb=0000FF";
    for (int c = 0; c < 8; ++c) EXPECT_TRUE(Has(FontOf(o, 1, c), captionFont)) << c << "\n" << o;
    for (int row = 2; row <= n + 1; ++row) {
        EXPECT_TRUE(Has(FontOf(o, row, 0), "bold=0 italic=0 colour=17 height=200 rgb=008000")) << row;
        EXPECT_TRUE(Has(FontOf(o, row, 1), "bold=0 italic=0 colour=10 height=200 rgb=FF0000")) << row;
        for (int c = 2; c < 8; ++c) EXPECT_TRUE(Has(FontOf(o, row, c), "bold=0 italic=0")) << row << " " << c;
        for (int c = 2; c < 8; ++c) EXPECT_FALSE(Has(FontOf(o, row, c), "colour=1")) << FontOf(o, row, c);
    }
    // The coloured area reaches row n + 1 = 4 in columns 0 and 1 only.
    EXPECT_FALSE(Has(o, "cell 0 5 ")) << o;

    // Widths fitted to the cells, written as COLINFO: the long name column
    // is the widest, every fitted column has its width in the file.
    for (int c = 0; c < 8; ++c) {
        const TXLSColumn* column = sheet.Columns()[c];
        ASSERT_NE(column, nullptr) << c;
        EXPECT_TRUE(Has(o, "width 0 " + std::to_string(c) + " " + std::to_string(column->GetWidth()))) << o;
    }
    EXPECT_GT(sheet.Columns()[7]->GetWidth(), sheet.Columns()[6]->GetWidth());
    EXPECT_GT(sheet.Columns()[3]->GetWidth(), TXLSColumn::DefaultWidth);
}
