#include "SrcXLS/model/CollectionMoveCopy.h"

namespace xls {

void TCollectionMoveCopy::CollectIntersecting(TMoveCopyList& list, int col1, int row1, int col2,
                                              int row2) const {
    for (auto& item : items)
        if (item->Intersects(col1, row1, col2, row2)) list.push_back(item.get());
}

void TCollectionMoveCopy::CopyItems(int col1, int row1, int col2, int row2, int destCol, int destRow) {
    for (auto& item : items) item->CopyArea(col1, row1, col2, row2, destCol - col1, destRow - row1);
}

void TCollectionMoveCopy::InsertCopies(const TMoveCopyList& list, int col1, int row1, int col2, int row2,
                                       int destCol, int destRow) {
    for (const TCollectionItemMoveCopy* source : list) {
        TCollectionItemMoveCopy& copy = Insert(NewItem());
        copy.Assign(*source);
        copy.ClipArea(col1, row1, col2, row2);
        copy.ShiftArea(destCol - col1, destRow - row1);
    }
}

void TCollectionMoveCopy::RemoveFromListed(const TMoveCopyList& list, int col1, int row1, int col2,
                                           int row2) {
    for (TCollectionItemMoveCopy* item : list)
        if (item->Collection() == this && FindItemID(item->ID()) == item)
            item->RemoveArea(col1, row1, col2, row2);
}

void TCollectionMoveCopy::RemoveAreaFromAll(int col1, int row1, int col2, int row2) {
    for (auto& item : items) item->RemoveArea(col1, row1, col2, row2);
}

void TCollectionMoveCopy::MoveItems(int col1, int row1, int col2, int row2, int destCol, int destRow) {
    for (auto& item : items) item->MoveArea(col1, row1, col2, row2, destCol - col1, destRow - row1);
}

// ---- TAreaBoundItem

bool TAreaBoundItem::Intersects(int col1, int row1, int col2, int row2) const {
    return Areas.Intersects(col1, row1, col2, row2);
}

void TAreaBoundItem::CopyArea(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) {
    Areas.CopyAreas(col1, row1, col2, row2, col1 + deltaCol, row1 + deltaRow);
}

void TAreaBoundItem::RemoveArea(int col1, int row1, int col2, int row2) {
    Areas.RemoveRect(col1, row1, col2, row2);
}

void TAreaBoundItem::ClipArea(int col1, int row1, int col2, int row2) {
    Areas.ClipTo(col1, row1, col2, row2);
}

void TAreaBoundItem::ShiftArea(int deltaCol, int deltaRow) {
    Areas.ShiftAll(deltaCol, deltaRow);
}

void TAreaBoundItem::MoveArea(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) {
    Areas.MoveAreas(col1, row1, col2, row2, deltaCol, deltaRow);
}

void TAreaBoundItem::Assign(const TCollectionItemMoveCopy& source) {
    if (auto s = dynamic_cast<const TAreaBoundItem*>(&source)) Areas.Assign(s->Areas);
}

} // namespace xls
