// Collections bound to cell areas carried along by copies, moves and
// deletions of blocks of cells, within a sheet and between sheets.
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/model/CollectionMoveCopy.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace xls;

namespace {

using Box = std::array<int64_t, 4>;
using Boxes = std::vector<Box>;

class TTestItems : public TCollectionMoveCopy {
public:
    TAreaBoundItem& AddWith(const Boxes& boxes) {
        auto& item = static_cast<TAreaBoundItem&>(Insert(NewItem()));
        for (const Box& b : boxes) item.Areas.AddArea(int(b[0]), int(b[1]), int(b[2]), int(b[3]));
        return item;
    }
    Boxes AreasAt(int index) const {
        Boxes out;
        auto& areas = static_cast<TAreaBoundItem&>(GetItem(index)).Areas;
        for (int i = 0; i < areas.Count(); ++i)
            out.push_back({areas[i].Col1, areas[i].Row1, areas[i].Col2, areas[i].Row2});
        return out;
    }

protected:
    std::unique_ptr<TCollectionItemMoveCopy> NewItem() const override {
        return std::make_unique<TAreaBoundItem>();
    }
};

using MoveCopyTest = Biff8Limits;

} // namespace

TEST_F(MoveCopyTest, WithinOneSheet) {
    TTestItems items;
    items.AddWith({{0, 0, 1, 1}});
    items.AddWith({{5, 5, 5, 5}, {0, 10, 0, 10}});
    items.AddWith({{20, 20, 20, 20}});

    TMoveCopyList touching;
    items.CollectIntersecting(touching, 0, 0, 5, 5);
    ASSERT_EQ(touching.size(), 2u);
    EXPECT_EQ(touching[0], &items[0]);
    EXPECT_EQ(touching[1], &items[1]);

    // Copy rows 0..5 of columns 0..5 to row 30: each item adds its own parts.
    items.CopyItems(0, 0, 5, 5, 0, 30);
    EXPECT_EQ(items.AreasAt(0), (Boxes{{0, 0, 1, 1}, {0, 30, 1, 31}}));
    EXPECT_EQ(items.AreasAt(1), (Boxes{{5, 5, 5, 5}, {0, 10, 0, 10}, {5, 35, 5, 35}}));
    EXPECT_EQ(items.AreasAt(2), (Boxes{{20, 20, 20, 20}}));

    // Move columns 0..1 three to the right.
    items.MoveItems(0, 0, 1, 65535, 3, 0);
    EXPECT_EQ(items.AreasAt(0), (Boxes{{3, 0, 4, 1}, {3, 30, 4, 31}}));
    EXPECT_EQ(items.AreasAt(1), (Boxes{{5, 5, 5, 5}, {5, 35, 5, 35}, {3, 10, 3, 10}}));

    // Deleting a block cuts it out of every item; emptied items stay.
    items.RemoveAreaFromAll(0, 0, 10, 40);
    EXPECT_EQ(items.Count(), 3);
    EXPECT_TRUE(items.AreasAt(0).empty());
    EXPECT_TRUE(items.AreasAt(1).empty());
    EXPECT_EQ(items.AreasAt(2), (Boxes{{20, 20, 20, 20}}));
}

TEST_F(MoveCopyTest, ToAnotherSheet) {
    TTestItems source, dest;
    source.AddWith({{0, 0, 3, 3}});
    source.AddWith({{9, 9, 9, 9}});
    source.AddWith({{2, 2, 10, 2}});
    dest.AddWith({{50, 50, 50, 50}});

    TMoveCopyList none;
    dest.InsertCopies(none, 0, 0, 3, 3, 100, 0);
    EXPECT_EQ(dest.Count(), 1);

    // Copies are clipped to the block first, then shifted to the destination.
    TMoveCopyList list;
    source.CollectIntersecting(list, 2, 2, 4, 4);
    ASSERT_EQ(list.size(), 2u);
    dest.InsertCopies(list, 2, 2, 4, 4, 100, 0);
    ASSERT_EQ(dest.Count(), 3);
    EXPECT_EQ(dest.AreasAt(1), (Boxes{{100, 0, 101, 1}}));
    EXPECT_EQ(dest.AreasAt(2), (Boxes{{100, 0, 102, 0}}));

    // A move finishes by removing the block from the listed source items.
    source.RemoveFromListed(list, 2, 2, 4, 4);
    EXPECT_EQ(source.AreasAt(0), (Boxes{{0, 0, 3, 1}, {0, 2, 1, 3}}));
    EXPECT_EQ(source.AreasAt(1), (Boxes{{9, 9, 9, 9}}));
    EXPECT_EQ(source.AreasAt(2), (Boxes{{5, 2, 10, 2}}));
}

TEST_F(MoveCopyTest, RemoveFromListedTouchesOnlyItsOwnItems) {
    TTestItems a, b;
    a.AddWith({{0, 0, 5, 5}});
    b.AddWith({{0, 0, 5, 5}});
    // Both first items carry ID 0; the listed one belongs to b.
    ASSERT_EQ(a[0].ID(), b[0].ID());
    TMoveCopyList list{&b[0]};
    a.RemoveFromListed(list, 0, 0, 5, 5);
    EXPECT_EQ(a.AreasAt(0), (Boxes{{0, 0, 5, 5}}));
    EXPECT_EQ(b.AreasAt(0), (Boxes{{0, 0, 5, 5}}));
    b.RemoveFromListed(list, 0, 0, 5, 5);
    EXPECT_TRUE(b.AreasAt(0).empty());

    // IDs run on and are never given twice, even after Clear.
    a.AddWith({});
    EXPECT_EQ(a[1].ID(), 1);
    a.Clear();
    EXPECT_EQ(a.AddWith({}).ID(), 2);
    EXPECT_EQ(a.FindItemID(2), &a[0]);
    EXPECT_EQ(a.FindItemID(0), nullptr);
    EXPECT_THROW(a.GetItem(1), XLSError);
}
