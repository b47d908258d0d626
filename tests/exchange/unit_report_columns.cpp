// The column table as a workbook writer sees it: the caption row and the
// cell of each value, in workbook column order.
#include <gtest/gtest.h>

#include "exchange/ReportColumns.h"
#include "platform/CodePages.h"
#include "support_reports.h"

using namespace exchange_test;
using exchange::XlsCellKind;

namespace {

// Column -> "kind:text" with the integer, float or Boolean written as text.
std::vector<std::string> Cells(const exchange::ReportLayout& layout, const exchange::ReportRow& row) {
    std::vector<std::string> cells(layout.columns.size());
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        exchange::XlsCellValue cell = exchange::XlsCellOf(layout, row, i);
        std::string text;
        switch (cell.kind) {
        case XlsCellKind::Integer:
            text = "i:" + std::to_string(cell.integer);
            break;
        case XlsCellKind::Float:
            text = "f:" + std::to_string(cell.number);
            break;
        case XlsCellKind::Boolean:
            text = cell.flag ? "b:true" : "b:false";
            break;
        case XlsCellKind::Text:
            text = "s:" + platform::AnsiToUtf8(cell.text);
            break;
        }
        cells.at(static_cast<std::size_t>(cell.column)) = text;
    }
    return cells;
}

} // namespace

// Barcode and PLU change places between the two workbooks; the rest keep
// the order of the text formats.
TEST(ReportColumns, CaptionRowsFollowTheWorkbookColumns) {
    std::vector<std::string> goods = exchange::XlsCaptions(exchange::GoodsReportLayout());
    ASSERT_EQ(goods.size(), 20u);
    EXPECT_EQ(std::vector<std::string>(goods.begin(), goods.begin() + 4),
              (std::vector<std::string>{"НОМЕР:", "ШТРИХ-КОД:", "PLU:", "НАЙМЕНУВАННЯ:"}));
    EXPECT_EQ(goods[19], "СУМА НАЦІНОК З ВИПЛАТ:");
    std::vector<std::string> periodic = exchange::XlsCaptions(exchange::PeriodicGoodsReportLayout());
    ASSERT_EQ(periodic.size(), 16u);
    EXPECT_EQ(std::vector<std::string>(periodic.begin(), periodic.begin() + 4),
              (std::vector<std::string>{"НОМЕР:", "PLU:", "ШТРИХ-КОД:", "НАЙМЕНУВАННЯ:"}));
    EXPECT_EQ(std::vector<std::string>(periodic.begin() + 4, periodic.end()),
              std::vector<std::string>(goods.begin() + 4, goods.begin() + 16));
    EXPECT_STREQ(exchange::GoodsReportLayout().xlsFilter, "Excel files (*.xls)|*.xls");
    EXPECT_STREQ(exchange::PeriodicGoodsReportLayout().xlsFilter, "Excel files(*.xls)|*.xls");
}

TEST(ReportColumns, WorkbookCellsHoldMoneyAsRegionalTextAndQuantitiesAsNumbers) {
    RegionalProfile profile(UkrainianProfile());
    EXPECT_EQ(Cells(exchange::GoodsReportLayout(), exchange::RowOf(Bread())),
              (std::vector<std::string>{"i:1",          "s:4820000000001",
                                        "i:5",          "s:Хліб житній",
                                        "s:12,50 грн.", "f:1.500000",
                                        "i:3",          "i:1",
                                        "b:true",       "b:true",
                                        "b:false",      "i:2",
                                        "f:2.000000",   "s:1\u00A0234,56 грн.",
                                        "f:0.001000",   "s:0,05 грн.",
                                        "s:0,00 грн.",  "s:0,10 грн.",
                                        "s:0,99 грн.",  "s:1,00 грн."}));
    std::vector<std::string> periodic =
        Cells(exchange::PeriodicGoodsReportLayout(), exchange::RowOf(PeriodicBread()));
    ASSERT_EQ(periodic.size(), 16u);
    EXPECT_EQ(periodic[1], "i:12");
    EXPECT_EQ(periodic[2], "s:0");
    EXPECT_EQ(periodic[12], "f:-2.500000");
    EXPECT_EQ(periodic[13], "s:-1,50 грн.");

    RegionalProfile dot(DotProfile());
    periodic = Cells(exchange::PeriodicGoodsReportLayout(), exchange::RowOf(PeriodicLarge()));
    EXPECT_EQ(periodic[4], "s:$42,949,672.95");
    EXPECT_EQ(periodic[15], "s:-$2,814,749,767,106.55");
}
