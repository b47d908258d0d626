// Cell areas and merged cells: cutting, clipping, shifting, copying and
// moving areas, whole-area rules of merged cells, and 2007-sized rows.
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/model/CellAreas.h"

#include "tests/xls/support_messages.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace xls;

namespace {

// Col1, Row1, Col2, Row2.
using Box = std::array<int64_t, 4>;
using Boxes = std::vector<Box>;

Boxes AreasOf(const TBaseCellAreas& areas) {
    Boxes out;
    for (int i = 0; i < areas.Count(); ++i)
        out.push_back({areas[i].Col1, areas[i].Row1, areas[i].Col2, areas[i].Row2});
    return out;
}

template <class Areas> void Fill(Areas& areas, const Boxes& boxes) {
    for (const Box& b : boxes) areas.AddArea(int(b[0]), int(b[1]), int(b[2]), int(b[3]));
}

using CellAreasTest = Biff8Limits;

} // namespace

TEST_F(CellAreasTest, AreaBasicsAndBounds) {
    TCellAreas a;
    EXPECT_EQ(a.GetBounds().FirstRow, 0xFFFFFFFFu);
    EXPECT_EQ(a.GetBounds().FirstCol, 0xFFFFFFFFu);
    EXPECT_EQ(a.GetBounds().LastRow, 0u);
    TCellArea& r = a.AddArea(1, 2, 3, 5);
    EXPECT_EQ(r.Row1i(), 2);
    EXPECT_EQ(r.Row2i(), 5);
    EXPECT_TRUE(r.IsInside(2, 3));
    EXPECT_FALSE(r.IsInside(1, 3));                     // on the edge
    EXPECT_FALSE(a.AddArea(4, 4, 4, 9).IsInside(4, 6)); // one column wide
    a.AddArea(9, 8, 7, 6);
    a.Normalize();
    EXPECT_EQ(AreasOf(a), (Boxes{{1, 2, 3, 5}, {4, 4, 4, 9}, {7, 6, 9, 8}}));
    TAreaBounds b = a.GetBounds();
    EXPECT_EQ(b.FirstRow, 2u);
    EXPECT_EQ(b.LastRow, 9u);
    EXPECT_EQ(b.FirstCol, 1u);
    EXPECT_EQ(b.LastCol, 9u);

    EXPECT_TRUE(a.Intersects(3, 5, 3, 5));
    EXPECT_TRUE(a.Intersects(0, 0, 1, 2));
    EXPECT_FALSE(a.Intersects(0, 0, 0, 100));
    EXPECT_FALSE(a.Intersects(5, 0, 6, 5));

    // BIFF8 range: rows first, then columns.
    const uint8_t ref[8] = {0x10, 0x00, 0x20, 0x00, 0x03, 0x00, 0x04, 0x00};
    a.AddRef8(ref);
    EXPECT_EQ(AreasOf(a).back(), (Box{3, 0x10, 4, 0x20}));
    EXPECT_THROW(a.AddRef8(std::span<const uint8_t>(ref, 6)), XLSError);

    TCellAreas copy;
    copy.Assign(a);
    EXPECT_EQ(AreasOf(copy), AreasOf(a));
}

TEST_F(CellAreasTest, RemoveRectLeavesThePiecesAround) {
    TCellAreas a;
    Fill(a, {{0, 0, 0, 0}, {1, 1, 3, 3}, {10, 10, 12, 12}});
    a.RemoveRect(2, 2, 2, 2);
    // Top row, bottom row, left and right cells of the middle row, in place.
    EXPECT_EQ(
        AreasOf(a),
        (Boxes{{0, 0, 0, 0}, {1, 1, 3, 1}, {1, 3, 3, 3}, {1, 2, 1, 2}, {3, 2, 3, 2}, {10, 10, 12, 12}}));

    TCellAreas b;
    Fill(b, {{0, 0, 5, 5}, {3, 3, 8, 8}});
    b.RemoveRect(0, 0, 5, 5); // the first whole, a corner of the second
    EXPECT_EQ(AreasOf(b), (Boxes{{3, 6, 8, 8}, {6, 3, 8, 5}}));
    b.RemoveRect(0, 0, 255, 65535);
    EXPECT_EQ(b.Count(), 0);
}

TEST_F(CellAreasTest, ClipAndShift) {
    TCellAreas a;
    Fill(a, {{0, 0, 4, 4}, {10, 10, 11, 11}, {3, 8, 6, 9}});
    a.ClipTo(2, 2, 5, 9);
    EXPECT_EQ(AreasOf(a), (Boxes{{2, 2, 4, 4}, {3, 8, 5, 9}}));

    // Off the top-left edge: clipped; wholly off: deleted; never wrapped.
    a.ShiftAll(-3, 0);
    EXPECT_EQ(AreasOf(a), (Boxes{{0, 2, 1, 4}, {0, 8, 2, 9}}));
    a.ShiftAll(0, -5);
    EXPECT_EQ(AreasOf(a), (Boxes{{0, 3, 2, 4}}));
    a.ShiftAll(0, -10);
    EXPECT_EQ(a.Count(), 0);
    // Past the last row of a BIFF8 sheet.
    a.AddArea(0, 65530, 0, 65534);
    a.ShiftAll(254, 3);
    EXPECT_EQ(AreasOf(a), (Boxes{{254, 65533, 254, 65535}}));
    a.ShiftAll(2, 0);
    EXPECT_EQ(a.Count(), 0);
}

TEST_F(CellAreasTest, CopyExtendsReplacesAndClips) {
    TCellAreas a;
    a.AddArea(1, 0, 2, 3);
    // Copied below with the same columns: the area grows instead.
    a.CopyAreas(1, 0, 2, 3, 1, 4);
    EXPECT_EQ(AreasOf(a), (Boxes{{1, 0, 2, 7}}));
    // Copied above it, touching: grows upwards.
    a.CopyAreas(1, 6, 2, 7, 1, 0);
    EXPECT_EQ(AreasOf(a), (Boxes{{1, 0, 2, 7}}));
    TCellAreas up;
    up.AddArea(1, 5, 2, 9);
    up.CopyAreas(1, 5, 2, 6, 1, 3);
    EXPECT_EQ(AreasOf(up), (Boxes{{1, 3, 2, 9}}));
    // Same rows, to the right.
    TCellAreas side;
    side.AddArea(0, 0, 1, 0);
    side.CopyAreas(0, 0, 1, 0, 2, 0);
    EXPECT_EQ(AreasOf(side), (Boxes{{0, 0, 3, 0}}));

    // Only the part inside the source is copied; what lies under the copy is
    // cut away.
    TCellAreas b;
    Fill(b, {{0, 0, 3, 0}, {5, 5, 6, 6}});
    b.CopyAreas(2, 0, 3, 0, 6, 5);
    EXPECT_EQ(AreasOf(b), (Boxes{{0, 0, 3, 0}, {5, 6, 6, 6}, {5, 5, 5, 5}, {6, 5, 7, 5}}));
    // A copy inside an existing area adds nothing.
    b.CopyAreas(0, 0, 0, 0, 6, 6);
    EXPECT_EQ(b.Count(), 4);

    // A copy running off the sheet is clipped; one wholly off is dropped.
    TCellAreas c;
    c.AddArea(0, 0, 9, 0);
    c.CopyAreas(0, 0, 9, 0, 250, 10);
    EXPECT_EQ(AreasOf(c), (Boxes{{0, 0, 9, 0}, {250, 10, 255, 10}}));
    c.CopyAreas(0, 0, 0, 0, 0, 70000);
    EXPECT_EQ(c.Count(), 2);
}

TEST_F(CellAreasTest, MoveTakesOnlyTheInsideAndMovesItOnce) {
    TCellAreas a;
    Fill(a, {{0, 0, 3, 3}, {20, 20, 21, 21}});
    // Rows 0..1 of the area move down by 10; the rest stays.
    a.MoveAreas(0, 0, 3, 1, 0, 10);
    EXPECT_EQ(AreasOf(a), (Boxes{{0, 2, 3, 3}, {20, 20, 21, 21}, {0, 10, 3, 11}}));

    // The destination overlaps the source: moved once, not again.
    TCellAreas b;
    b.AddArea(0, 0, 0, 4);
    b.MoveAreas(0, 0, 0, 9, 0, 2);
    EXPECT_EQ(AreasOf(b), (Boxes{{0, 2, 0, 6}}));

    // Moving onto an area replaces what lies under it.
    TCellAreas c;
    Fill(c, {{0, 0, 0, 1}, {2, 0, 4, 0}});
    c.MoveAreas(0, 0, 0, 1, 3, 0);
    EXPECT_EQ(AreasOf(c), (Boxes{{2, 0, 2, 0}, {4, 0, 4, 0}, {3, 0, 3, 1}}));

    // Deleting rows 5..9 of a sheet: rows below move up over them.
    TCellAreas d;
    Fill(d, {{0, 2, 1, 3}, {0, 12, 1, 14}});
    d.RemoveRect(0, 5, 255, 9);
    d.MoveAreas(0, 10, 255, 65535, 0, -5);
    EXPECT_EQ(AreasOf(d), (Boxes{{0, 2, 1, 3}, {0, 7, 1, 9}}));
}

TEST_F(CellAreasTest, MergedCellsStayWhole) {
    TMergedCells m;
    Fill(m, {{0, 0, 3, 1}, {10, 10, 12, 12}});
    m.RemoveRect(0, 0, 3, 1); // covers the first wholly
    EXPECT_EQ(AreasOf(m), (Boxes{{10, 10, 12, 12}}));
    m.RemoveRect(10, 10, 10, 12); // its left column: the rest remains
    EXPECT_EQ(AreasOf(m), (Boxes{{11, 10, 12, 12}}));

    TMergedCells n;
    Fill(n, {{0, 0, 1, 1}, {5, 5, 7, 7}});
    // The middle of the second would split it: nothing changes at all.
    EXPECT_EQ(MessageOf([&] { n.RemoveRect(0, 0, 6, 6); }), "Can not change part of a merged cell");
    EXPECT_EQ(AreasOf(n), (Boxes{{0, 0, 1, 1}, {5, 5, 7, 7}}));
    EXPECT_EQ(MessageOf([&] { n.RemoveRect(6, 0, 6, 100); }), "Can not change part of a merged cell");

    EXPECT_EQ(MessageOf([&] { n.ShiftAll(1, 0); }), "TSolidCellAreas.Move not implemented");
    n.ClipTo(0, 0, 0, 0);
    EXPECT_EQ(n.Count(), 2);

    // No two share a cell: an area over one already there is refused (its
    // corners either way round); a file's are taken as read and the later
    // of two that overlap goes, the first of a chain staying with the third.
    EXPECT_EQ(MessageOf([&] { n.AddArea(1, 1, 2, 2); }), "Merged areas can not overlap: A1:B2 and B2:C3");
    EXPECT_EQ(MessageOf([&] { n.AddArea(8, 8, 7, 7); }), "Merged areas can not overlap: F6:H8 and H8:I9");
    EXPECT_EQ(AreasOf(n), (Boxes{{0, 0, 1, 1}, {5, 5, 7, 7}}));
    TMergedCells read;
    for (const Box& b : Boxes{{1, 0, 2, 1}, {2, 1, 3, 2}, {3, 2, 4, 3}, {0, 5, 0, 6}, {0, 6, 1, 6}})
        read.AddAsRead(int(b[0]), int(b[1]), int(b[2]), int(b[3]));
    EXPECT_EQ(read.LaterOverlapping(), (std::vector<bool>{false, true, false, false, true}));
    std::u16string first;
    EXPECT_EQ(read.DeleteLaterOverlapping(first), 2);
    EXPECT_EQ(first, u"C2:D3");
    EXPECT_EQ(AreasOf(read), (Boxes{{1, 0, 2, 1}, {3, 2, 4, 3}, {0, 5, 0, 6}}));
}

TEST_F(CellAreasTest, MergedCellsFollowInsertedAndDeletedRows) {
    TMergedCells m;
    Fill(m, {{0, 1, 2, 2}, {0, 4, 1, 6}, {3, 8, 4, 9}});
    // Two rows inserted at row 5: whole-width block from row 5 down by 2.
    m.MoveAreas(0, 5, 255, 65535, 0, 2);
    EXPECT_EQ(AreasOf(m), (Boxes{{0, 1, 2, 2}, {0, 4, 1, 8}, {3, 10, 4, 11}}));
    // Columns inserted at column 3.
    m.MoveAreas(3, 0, 255, 65535, 1, 0);
    EXPECT_EQ(AreasOf(m), (Boxes{{0, 1, 2, 2}, {0, 4, 1, 8}, {4, 10, 5, 11}}));
    // Rows deleted above an area: it moves up and is clipped at row 0, never
    // wrapped; one that would lie wholly above the sheet is gone.
    TMergedCells up;
    Fill(up, {{0, 2, 1, 3}, {3, 0, 3, 1}});
    up.MoveAreas(0, 0, 255, 65535, 0, -3);
    EXPECT_EQ(AreasOf(up), (Boxes{{0, 0, 1, 0}}));
}

TEST_F(CellAreasTest, MergedCellsMoveWithTheirBlock) {
    TMergedCells m;
    Fill(m, {{2, 0, 3, 0}, {2, 19, 3, 19}, {10, 20, 12, 22}});
    // A block of columns 2..3, rows 0..4 moved three columns right: the area
    // in it goes along, the one below the block stays.
    m.MoveAreas(2, 0, 3, 4, 3, 0);
    EXPECT_EQ(AreasOf(m), (Boxes{{5, 0, 6, 0}, {2, 19, 3, 19}, {10, 20, 12, 22}}));
    // A block whose corner lies inside an area would split it.
    EXPECT_EQ(MessageOf([&] { m.MoveAreas(11, 21, 20, 30, 1, 0); }), "Can not change part of a merged cell");
    EXPECT_EQ(AreasOf(m), (Boxes{{5, 0, 6, 0}, {2, 19, 3, 19}, {10, 20, 12, 22}}));

    // Copies take whole areas, even those only partly in the source.
    m.CopyAreas(5, 0, 5, 0, 5, 40);
    EXPECT_EQ(AreasOf(m).back(), (Box{5, 40, 6, 40}));
    // To another sheet: collected here, inserted there, deleted here.
    TMergedCells other;
    TCellAreaList list;
    m.CollectIntersecting(list, 0, 0, 12, 22);
    ASSERT_EQ(list.size(), 3u);
    other.InsertMoved(list, 0, 0, 12, 22, 100, 1000);
    EXPECT_EQ(AreasOf(other),
              (Boxes{{105, 1000, 106, 1000}, {102, 1019, 103, 1019}, {110, 1020, 112, 1022}}));
    m.DeleteListed(list, 0, 0, 12, 22);
    EXPECT_EQ(AreasOf(m), (Boxes{{5, 40, 6, 40}}));
    // Areas not in the list are left alone even when the block covers them.
    TCellAreaList none;
    m.DeleteListed(none, 0, 0, 255, 65535);
    EXPECT_EQ(m.Count(), 1);
    // A listed area that the block would split refuses, changing nothing.
    m.AddArea(0, 50, 4, 50);
    TCellAreaList split;
    m.CollectIntersecting(split, 2, 50, 2, 50);
    EXPECT_EQ(MessageOf([&] { m.DeleteListed(split, 2, 50, 2, 50); }),
              "Can not change part of a merged cell");
    EXPECT_EQ(m.Count(), 2);
}

TEST_F(CellAreasTest, RowsOf2007SheetsSurviveEveryOperation) {
    LibState().SetLimits(TExcelVersion::xvExcel2007);
    TCellAreas a;
    a.AddArea(16000, 1000000, 16002, 1000002);
    a.RemoveRect(16001, 1000001, 16001, 1000001);
    EXPECT_EQ(AreasOf(a)[0], (Box{16000, 1000000, 16002, 1000000}));
    a.Clear();
    a.AddArea(0, 70000, 0, 70001);
    a.CopyAreas(0, 70000, 0, 70001, 0, 70002);
    EXPECT_EQ(AreasOf(a), (Boxes{{0, 70000, 0, 70003}}));
    a.MoveAreas(0, 70000, 0, 70003, 1, 900000);
    EXPECT_EQ(AreasOf(a), (Boxes{{1, 970000, 1, 970003}}));
    a.ShiftAll(0, 78575);
    EXPECT_EQ(AreasOf(a), (Boxes{{1, 1048575, 1, 1048575}}));
    EXPECT_TRUE(a.Intersects(1, 1048575, 1, 1048575));

    TMergedCells m;
    m.AddArea(0, 100000, 2, 100001);
    m.MoveAreas(0, 99999, 16383, 1048575, 0, 5);
    EXPECT_EQ(AreasOf(m), (Boxes{{0, 100005, 2, 100006}}));
    m.RemoveRect(0, 100005, 0, 100006);
    EXPECT_EQ(AreasOf(m), (Boxes{{1, 100005, 2, 100006}}));
}
