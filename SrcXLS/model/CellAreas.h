// Rectangles of cells and lists of them: the areas of conditional formats,
// validations and selections, and the sheet's merged cells. The lists copy,
// cut, clip, shift and move their areas when blocks of cells are copied,
// moved or deleted; merged cells stay whole and refuse a change that would
// split one.
#pragma once

#include "SrcXLS/model/Collection.h"

#include <cstdint>
#include <span>
#include <vector>

namespace xls {

// Zero-based, inclusive bounds. Rows and columns are full 32-bit values so
// that areas of 2007 sheets keep their rows through every operation.
class TCellArea : public TCollectionItem {
public:
    uint32_t Col1 = 0;
    uint32_t Row1 = 0;
    uint32_t Col2 = 0;
    uint32_t Row2 = 0;

    int32_t Col1i() const { return int32_t(Col1); }
    int32_t Row1i() const { return int32_t(Row1); }
    int32_t Col2i() const { return int32_t(Col2); }
    int32_t Row2i() const { return int32_t(Row2); }

    void Assign(const TCellArea& source);
    // Strictly inside: an area one cell wide or high has no inside.
    bool IsInside(int64_t col, int64_t row) const;
};

// A rectangle as the area routines pass it; signed and wide, so that a shift
// past the sheet's edge is seen by the clip instead of wrapping.
struct TAreaRect {
    int64_t Row1 = 0;
    int64_t Row2 = 0;
    int64_t Col1 = 0;
    int64_t Col2 = 0;
};

struct TAreaBounds {
    uint32_t FirstRow = 0xFFFFFFFF;
    uint32_t LastRow = 0;
    uint32_t FirstCol = 0xFFFFFFFF;
    uint32_t LastCol = 0;
};

using TCellAreaList = std::vector<TCellArea*>;

class TBaseCellAreas : public TCollection<TCellArea> {
public:
    explicit TBaseCellAreas(void* owner = nullptr) : owner(owner) {}
    void* Owner() const { return owner; }

    TCellArea& Add();
    TCellArea& AddArea(int col1, int row1, int col2, int row2);
    // From the 8-byte BIFF8 range: first row, last row, first column, last
    // column, all u16.
    TCellArea& AddRef8(std::span<const uint8_t> ref);
    // Replaces the areas by copies of the source's.
    void Assign(const TBaseCellAreas& source);

    bool Intersects(int col1, int row1, int col2, int row2) const;
    void Normalize();
    TAreaBounds GetBounds() const;

    virtual void CopyAreas(int col1, int row1, int col2, int row2, int destCol, int destRow) = 0;
    virtual void RemoveRect(int col1, int row1, int col2, int row2) = 0;
    virtual void ClipTo(int col1, int row1, int col2, int row2) = 0;
    virtual void ShiftAll(int deltaCol, int deltaRow) = 0;
    virtual void MoveAreas(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) = 0;

    // Appends every area that shares a cell with the rectangle.
    void CollectIntersecting(TCellAreaList& list, int col1, int row1, int col2, int row2);

protected:
    TCellArea& InsertRect(const TAreaRect& r, int index = -1);
    // Lengthens an area that the rectangle continues; true when nothing is
    // left to add.
    bool TryExtend(const TAreaRect& r);

private:
    void* owner;
};

class TCellAreas : public TBaseCellAreas {
public:
    using TBaseCellAreas::TBaseCellAreas;

    void CopyAreas(int col1, int row1, int col2, int row2, int destCol, int destRow) override;
    void RemoveRect(int col1, int row1, int col2, int row2) override;
    void ClipTo(int col1, int row1, int col2, int row2) override;
    void ShiftAll(int deltaCol, int deltaRow) override;
    void MoveAreas(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) override;

private:
    void Remove(const TAreaRect& r);
    // Clips a copied or moved rectangle to the sheet and adds it, merging it
    // into an area it continues or replacing what lies under it.
    void Place(TAreaRect r);
};

// Areas that only exist whole.
class TSolidCellAreas : public TBaseCellAreas {
public:
    using TBaseCellAreas::TBaseCellAreas;

    void CopyAreas(int, int, int, int, int, int) override {}
    void RemoveRect(int col1, int row1, int col2, int row2) override;
    void ClipTo(int, int, int, int) override {}
    void ShiftAll(int deltaCol, int deltaRow) override;
    void MoveAreas(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) override;

    // The refusals of RemoveRect (of the listed areas only, when a list is
    // given) and of MoveAreas, raised without changing anything, so that a
    // block operation can check them before it changes anything.
    void CheckRemove(const TCellAreaList* list, int col1, int row1, int col2, int row2) const;
    void CheckMove(int col1, int row1, int col2, int row2) const;
    // A move of cells takes merged areas only whole: an area the rectangle
    // would cut in two, part moved and part left, refuses it.
    void CheckWholeMove(int col1, int row1, int col2, int row2) const;

protected:
    // Removes the rectangle from the listed areas of this collection (all of
    // them when list is null); nothing changes when one would be split.
    void RemoveFrom(const TCellAreaList* list, const TAreaRect& r);
    // Deletes every area, but those listed, that shares a cell with one of
    // the rectangles: areas put there replace what stood there.
    void DeleteOverlapping(const std::vector<TAreaRect>& rects, const TCellAreaList& spare = {});
};

class TMergedCells : public TSolidCellAreas {
public:
    using TSolidCellAreas::TSolidCellAreas;

    void CopyAreas(int col1, int row1, int col2, int row2, int destCol, int destRow) override;

    // No two merged areas share a cell: an area that shares one with an area
    // already there is refused ("Merged areas can not overlap: ...").
    TCellArea& AddArea(int col1, int row1, int col2, int row2);
    // An area of a file being read, taken as it is (see DeleteLaterOverlapping).
    TCellArea& AddAsRead(int col1, int row1, int col2, int row2) {
        return TBaseCellAreas::AddArea(col1, row1, col2, row2);
    }
    // For each area, whether it shares a cell with an earlier one that is
    // not itself marked: of two that overlap the first stays.
    std::vector<bool> LaterOverlapping() const;
    // Deletes those; the number deleted and the first one's text ("C2:D3").
    int DeleteLaterOverlapping(std::u16string& first);

    // For a copy or move to another sheet: the source collects, the
    // destination inserts, the source deletes. The destination's areas that
    // the copied block or the copied areas overlap are deleted first.
    void DeleteListed(const TCellAreaList& list, int col1, int row1, int col2, int row2);
    void InsertMoved(const TCellAreaList& list, int col1, int row1, int col2, int row2, int destCol,
                     int destRow);
};

} // namespace xls
