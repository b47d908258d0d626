// Sheet collections whose items apply to cell areas (conditional formats,
// data validations): copying, moving and deleting blocks of cells carries
// the items along. Each item kind does the area work on its own areas; the
// collection only iterates.
#pragma once

#include "SrcXLS/model/CellAreas.h"
#include "SrcXLS/model/Collection.h"

#include <memory>
#include <vector>

namespace xls {

class TCollectionItemMoveCopy : public TCollectionItem {
public:
    virtual bool Intersects(int col1, int row1, int col2, int row2) const = 0;
    // Adds copies of the parts inside the rectangle, shifted by the deltas.
    virtual void CopyArea(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) = 0;
    virtual void RemoveArea(int col1, int row1, int col2, int row2) = 0;
    // Keeps only the parts inside the rectangle.
    virtual void ClipArea(int col1, int row1, int col2, int row2) = 0;
    virtual void ShiftArea(int deltaCol, int deltaRow) = 0;
    // Moves the parts inside the rectangle by the deltas.
    virtual void MoveArea(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) = 0;
    // Copies everything of another item of the same kind.
    virtual void Assign(const TCollectionItemMoveCopy& source) = 0;
};

using TMoveCopyList = std::vector<TCollectionItemMoveCopy*>;

// The rectangle is the source block; DestCol, DestRow is where its top-left
// cell goes.
class TCollectionMoveCopy : public TCollection<TCollectionItemMoveCopy> {
public:
    void CollectIntersecting(TMoveCopyList& list, int col1, int row1, int col2, int row2) const;
    void CopyItems(int col1, int row1, int col2, int row2, int destCol, int destRow);
    // Adds a copy of each listed item (of another sheet), clipped to the
    // rectangle, then shifted to the destination.
    void InsertCopies(const TMoveCopyList& list, int col1, int row1, int col2, int row2, int destCol,
                      int destRow);
    // RemoveArea on the listed items that belong to this collection.
    void RemoveFromListed(const TMoveCopyList& list, int col1, int row1, int col2, int row2);
    void RemoveAreaFromAll(int col1, int row1, int col2, int row2);
    void MoveItems(int col1, int row1, int col2, int row2, int destCol, int destRow);

protected:
    // A new, empty item of this collection's kind.
    virtual std::unique_ptr<TCollectionItemMoveCopy> NewItem() const = 0;
};

// An item bound to a list of areas, doing each operation on its areas.
class TAreaBoundItem : public TCollectionItemMoveCopy {
public:
    TCellAreas Areas;

    bool Intersects(int col1, int row1, int col2, int row2) const override;
    void CopyArea(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) override;
    void RemoveArea(int col1, int row1, int col2, int row2) override;
    void ClipArea(int col1, int row1, int col2, int row2) override;
    void ShiftArea(int deltaCol, int deltaRow) override;
    void MoveArea(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) override;
    void Assign(const TCollectionItemMoveCopy& source) override;
};

} // namespace xls
