// Window state of a sheet: the pane's reset and its active-pane range, the
// SELECTION body after each setter, and the selected areas with their
// active cell.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/model/Pane.h"
#include "SrcXLS/model/Selection.h"

#include "tests/xls/support_hex.h"
#include "tests/xls/support_messages.h"
#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

using namespace xls;

TEST(PaneTest, ClearResetsEverythingAndTheActivePaneIsChecked) {
    TPane pane;
    EXPECT_EQ(pane.PaneType, TPaneType::ptNone);
    EXPECT_EQ(pane.GetActivePane(), 3);

    pane.PaneType = TPaneType::ptFrozen;
    pane.SplitColX = 2;
    pane.SplitRowY = 1;
    pane.LeftCol = 2;
    pane.TopRow = 1;
    pane.SetActivePane(0);
    HexBytes sel = FromHex("03 00 00 00 00 00 00 01 00 00 00 00 00 00 00");
    pane.Records().Add(biff::SELECTION, sel);

    EXPECT_EQ(MessageOf([&] { pane.SetActivePane(4); }), "Value out of range");
    EXPECT_EQ(MessageOf([&] { pane.SetActivePane(-1); }), "Value out of range");
    EXPECT_EQ(pane.GetActivePane(), 0);

    pane.Clear();
    EXPECT_EQ(pane.PaneType, TPaneType::ptNone);
    EXPECT_EQ(pane.SplitColX + pane.SplitRowY + pane.LeftCol + pane.TopRow, 0);
    EXPECT_EQ(pane.GetActivePane(), 3);
    EXPECT_EQ(pane.Records().Count(), 0);
}

TEST(SelectionTest, SettersWriteTheirFieldsOfTheRecord) {
    TRecordStorageSheet records;
    TSelection s(records);
    auto body = [&] { return BytesOf(records.SelectionData()); };

    s.Clear();
    EXPECT_EQ(body(), FromHex("03 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));

    s.SetActiveCol(5);
    s.SetActiveRow(0x1234);
    EXPECT_EQ(body(), FromHex("03 34 12 05 00 00 00 01 00 34 12 34 12 05 05"));

    // The range fields alone leave the active cell.
    s.SetRow1(2);
    s.SetRow2(9);
    s.SetCol1(1);
    s.SetCol2(7);
    EXPECT_EQ(body(), FromHex("03 34 12 05 00 00 00 01 00 02 00 09 00 01 07"));
    EXPECT_EQ(s.GetActiveRow(), 0x1234);
    EXPECT_EQ(s.GetCol2(), 7);
}

TEST(SelectionTest, ValuesBeyondAFieldStopAtItsEnd) {
    TRecordStorageSheet records;
    TSelection s(records);
    s.SetActiveCol(300);
    s.SetActiveRow(70000);
    EXPECT_EQ(s.GetActiveCol(), 300);
    EXPECT_EQ(s.GetCol1(), 255);
    EXPECT_EQ(s.GetCol2(), 255);
    EXPECT_EQ(s.GetActiveRow(), 65535);
    EXPECT_EQ(s.GetRow1(), 65535);
    s.SetRow2(-5);
    s.SetCol1(-1);
    EXPECT_EQ(s.GetRow2(), 0);
    EXPECT_EQ(s.GetCol1(), 0);
}

TEST(SelectionTest, ARecordWithSeveralRangesKeepsItsOtherRanges) {
    TRecordStorageSheet records;
    HexBytes read = FromHex("03 02 00 01 00 01 00 03 00 "
                            "00 00 00 00 00 00 02 00 04 00 01 02 08 00 08 00 05 05");
    records.UpdateDefault(TBIFFHeader{biff::SELECTION, uint16_t(read.size())}, read);
    TSelection s(records);
    EXPECT_EQ(s.GetActiveRow(), 2);
    s.SetActiveCol(6);
    HexBytes expect = read;
    expect[3] = 6;
    expect[13] = 6;
    expect[14] = 6;
    EXPECT_EQ(BytesOf(records.SelectionData()), expect);

    // A short record is read as if the defaults followed, never beyond.
    TRecordStorageSheet shortRecords;
    HexBytes cut = FromHex("03 07 00 02 00");
    shortRecords.UpdateDefault(TBIFFHeader{biff::SELECTION, 5}, cut);
    TSelection t(shortRecords);
    EXPECT_EQ(t.GetActiveRow(), 7);
    EXPECT_EQ(t.GetRow1(), 1);
    t.SetCol2(3);
    EXPECT_EQ(shortRecords.SelectionData().size(), 15u);
}

TEST(SelectedAreasTest, ActiveCellAndAreasMoveTogether) {
    TSelectedAreas a;
    TSelectedArea& b = a.AddCell(4, 70000);
    EXPECT_EQ(b.Col1, 4);
    EXPECT_EQ(b.Col2, 4);
    EXPECT_EQ(b.Row1, 70000);
    EXPECT_EQ(a.ActiveCol, 4);
    EXPECT_EQ(a.ActiveRow, 70000);
    EXPECT_EQ(a.ActiveIndex, 1);

    a.SetActiveCol(9);
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Items(0).Col1, 9);
    EXPECT_EQ(a.Items(0).Row1, 70000);
    EXPECT_EQ(a.ActiveIndex, 0);
    a.SetActiveRow(3);
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Items(0).Col2, 9);
    EXPECT_EQ(a.Items(0).Row2, 3);

    // What a reader does: empty the list, set the active cell, add areas.
    a.Clear();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.ActiveCol, 9);
    a.ActiveIndex = 1;
    a.Add().Col2 = 2;
    a.Add();
    EXPECT_EQ(a.Count(), 2);
    EXPECT_EQ(a.Items(0).Col2, 2);
    EXPECT_EQ(a.ActiveIndex, 1);
    EXPECT_EQ(MessageOf([&] { a.Items(2); }), "List index out of bounds (2)");
    EXPECT_EQ(MessageOf([&] { a.Items(-1); }), "List index out of bounds (-1)");
}

using SheetSelection = FreshLibState;

// A new sheet's selection record names the cell A1, as its selected areas
// and the written file do: the workbook's first sheet and one added.
TEST_F(SheetSelection, NewSheetsSelectTheCellA1) {
    TTabrix4 book;
    for (TSheet* sheet : {&book.GetSheet(0), &book.Sheets().Add(0)}) {
        TSelection& s = sheet->Selection();
        EXPECT_EQ(std::vector<int>({s.GetActiveCol(), s.GetActiveRow(), s.GetCol1(), s.GetRow1(), s.GetCol2(),
                                    s.GetRow2()}),
                  std::vector<int>(6, 0));
    }
}
