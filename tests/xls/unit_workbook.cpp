// The workbook component and its sheets as the exchange side uses them.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "support_messages.h"

#include <gtest/gtest.h>

using namespace xls;

namespace {

struct Fresh : ::testing::Test {
    void SetUp() override { LibState().Reset(); }
    void TearDown() override { LibState().Reset(); }
};

using Workbook = Fresh;

} // namespace

TEST_F(Workbook, NewComponentDefaults) {
    TTabrix4 wb;
    EXPECT_EQ(wb.GetVersion(), TExcelVersion::xvExcel97);
    EXPECT_EQ(wb.GetOrigVersion(), TExcelVersion::xvNone);
    ASSERT_EQ(wb.Sheets().Count(), 1);
    EXPECT_EQ(wb.GetSheet(0).Name(), u"Sheet1");
    EXPECT_EQ(LibState().MaxColumn, 255);
    EXPECT_EQ(LibState().MaxRow, 65535);
    EXPECT_EQ(wb.Workbook().GetLeft(), 100);
    EXPECT_EQ(wb.Workbook().GetTop(), 100);
    EXPECT_EQ(wb.Workbook().GetWidth(), 10000);
    EXPECT_EQ(wb.Workbook().GetHeight(), 7000);
    EXPECT_EQ(wb.Workbook().GetOptions(), woHScroll | woVScroll | woTabs);
    EXPECT_TRUE(wb.OptionsDialog().GetPrecisionAsDisplayed());
    EXPECT_EQ(wb.OptionsDialog().CalcMode, TCalcMode::cmAutomatic);
    EXPECT_EQ(LibState().StrTRUE, u"TRUE");
    EXPECT_EQ(LibState().StrFALSE, u"FALSE");
    EXPECT_EQ(wb.TempFileMode, TTempFileMode::tfmOnDisk);
    EXPECT_TRUE(wb.PreserveMacros);
}
