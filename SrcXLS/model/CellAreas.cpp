#include "SrcXLS/model/CellAreas.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <climits>
#include <optional>

namespace xls {

namespace {

const char* const SplitMergedCell = "Can not change part of a merged cell";

TAreaRect RectOf(const TCellArea& a) {
    return {a.Row1, a.Row2, a.Col1, a.Col2};
}

TAreaRect Rect(int col1, int row1, int col2, int row2) {
    return {row1, row2, col1, col2};
}

void SetBounds(TCellArea& a, const TAreaRect& r) {
    a.Col1 = uint32_t(r.Col1);
    a.Row1 = uint32_t(r.Row1);
    a.Col2 = uint32_t(r.Col2);
    a.Row2 = uint32_t(r.Row2);
}

std::optional<TAreaRect> Intersection(const TAreaRect& a, const TAreaRect& b) {
    TAreaRect r{std::max(a.Row1, b.Row1), std::min(a.Row2, b.Row2), std::max(a.Col1, b.Col1),
                std::min(a.Col2, b.Col2)};
    if (r.Row1 > r.Row2 || r.Col1 > r.Col2) return std::nullopt;
    return r;
}

TAreaRect Shifted(TAreaRect r, int64_t deltaCol, int64_t deltaRow) {
    r.Col1 += deltaCol;
    r.Col2 += deltaCol;
    r.Row1 += deltaRow;
    r.Row2 += deltaRow;
    return r;
}

// Clips to the active sheet limits; false when nothing of it is on the sheet.
bool Clip(TAreaRect& r) {
    auto narrow = [](int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); };
    int c1 = narrow(r.Col1), r1 = narrow(r.Row1), c2 = narrow(r.Col2), r2 = narrow(r.Row2);
    if (!ClipAreaToLimits(c1, r1, c2, r2)) return false;
    r = {r1, r2, c1, c2};
    return true;
}

// What is left of area a outside rectangle cut: above, below, left, right.
std::vector<TAreaRect> Pieces(const TAreaRect& a, const TAreaRect& cut) {
    std::vector<TAreaRect> pieces;
    int64_t midFirst = a.Row1, midLast = a.Row2;
    if (a.Row1 < cut.Row1) {
        pieces.push_back({a.Row1, cut.Row1 - 1, a.Col1, a.Col2});
        midFirst = cut.Row1;
    }
    if (a.Row2 > cut.Row2) {
        pieces.push_back({cut.Row2 + 1, a.Row2, a.Col1, a.Col2});
        midLast = cut.Row2;
    }
    if (a.Col1 < cut.Col1) pieces.push_back({midFirst, midLast, a.Col1, cut.Col1 - 1});
    if (a.Col2 > cut.Col2) pieces.push_back({midFirst, midLast, cut.Col2 + 1, a.Col2});
    return pieces;
}

// "C2:D3", "C2" for one cell.
std::u16string AreaText(const TAreaRect& r) {
    const int c1 = int(r.Col1), r1 = int(r.Row1), c2 = int(r.Col2), r2 = int(r.Row2);
    return c1 == c2 && r1 == r2 ? ColRowToRefStrEx(c1, r1, false, false)
                                : AreaToRefStrEx(c1, r1, c2, r2, false, false, false, false);
}

} // namespace

// ---- TCellArea

void TCellArea::Assign(const TCellArea& source) {
    Col1 = source.Col1;
    Row1 = source.Row1;
    Col2 = source.Col2;
    Row2 = source.Row2;
}

bool TCellArea::IsInside(int64_t col, int64_t row) const {
    return int64_t(Col1) < col && col < int64_t(Col2) && int64_t(Row1) < row && row < int64_t(Row2);
}

// ---- TBaseCellAreas

TCellArea& TBaseCellAreas::Add() {
    return Insert(std::make_unique<TCellArea>());
}

TCellArea& TBaseCellAreas::AddArea(int col1, int row1, int col2, int row2) {
    TCellArea& a = Add();
    a.Col1 = uint32_t(col1);
    a.Row1 = uint32_t(row1);
    a.Col2 = uint32_t(col2);
    a.Row2 = uint32_t(row2);
    return a;
}

TCellArea& TBaseCellAreas::AddRef8(std::span<const uint8_t> ref) {
    TByteReader r(ref);
    int row1 = r.U16("area"), row2 = r.U16("area"), col1 = r.U16("area"), col2 = r.U16("area");
    return AddArea(col1, row1, col2, row2);
}

TCellArea& TBaseCellAreas::InsertRect(const TAreaRect& r, int index) {
    TCellArea& a = Insert(std::make_unique<TCellArea>(), index);
    SetBounds(a, r);
    return a;
}

void TBaseCellAreas::Assign(const TBaseCellAreas& source) {
    Clear();
    for (int i = 0; i < source.Count(); ++i) Add().Assign(source[i]);
}

bool TBaseCellAreas::Intersects(int col1, int row1, int col2, int row2) const {
    TAreaRect r = Rect(col1, row1, col2, row2);
    for (auto& a : items)
        if (Intersection(RectOf(*a), r)) return true;
    return false;
}

void TBaseCellAreas::CollectIntersecting(TCellAreaList& list, int col1, int row1, int col2, int row2) {
    TAreaRect r = Rect(col1, row1, col2, row2);
    for (auto& a : items)
        if (Intersection(RectOf(*a), r)) list.push_back(a.get());
}

void TBaseCellAreas::Normalize() {
    for (auto& a : items) {
        if (a->Col1 > a->Col2) std::swap(a->Col1, a->Col2);
        if (a->Row1 > a->Row2) std::swap(a->Row1, a->Row2);
    }
}

TAreaBounds TBaseCellAreas::GetBounds() const {
    TAreaBounds b;
    for (auto& a : items) {
        b.FirstRow = std::min(b.FirstRow, a->Row1);
        b.LastRow = std::max(b.LastRow, a->Row2);
        b.FirstCol = std::min(b.FirstCol, a->Col1);
        b.LastCol = std::max(b.LastCol, a->Col2);
    }
    return b;
}

// Lengthens [first, last] to take in [newFirst, newLast] when it continues it.
static bool ExtendSpan(uint32_t& first, uint32_t& last, int64_t newFirst, int64_t newLast) {
    if (newLast >= int64_t(first) - 1 && newLast <= int64_t(last)) {
        first = uint32_t(newFirst);
        return true;
    }
    if (newFirst >= int64_t(first) && newFirst <= int64_t(last) + 1) {
        last = uint32_t(newLast);
        return true;
    }
    return false;
}

bool TBaseCellAreas::TryExtend(const TAreaRect& r) {
    for (auto& item : items) {
        TCellArea& a = *item;
        TAreaRect e = RectOf(a);
        if (e.Row1 <= r.Row1 && r.Row2 <= e.Row2 && e.Col1 <= r.Col1 && r.Col2 <= e.Col2) return true;
        if (e.Col1 == r.Col1 && e.Col2 == r.Col2 && ExtendSpan(a.Row1, a.Row2, r.Row1, r.Row2)) return true;
        if (e.Row1 == r.Row1 && e.Row2 == r.Row2 && ExtendSpan(a.Col1, a.Col2, r.Col1, r.Col2)) return true;
    }
    return false;
}

// ---- TCellAreas

void TCellAreas::Remove(const TAreaRect& r) {
    for (int i = 0; i < Count();) {
        TAreaRect a = RectOf(*items[size_t(i)]);
        if (!Intersection(a, r)) {
            ++i;
            continue;
        }
        Delete(i);
        for (const TAreaRect& p : Pieces(a, r)) InsertRect(p, i++);
    }
}

void TCellAreas::Place(TAreaRect r) {
    if (!Clip(r)) return;
    if (TryExtend(r)) return;
    Remove(r);
    InsertRect(r);
}

void TCellAreas::CopyAreas(int col1, int row1, int col2, int row2, int destCol, int destRow) {
    TAreaRect src = Rect(col1, row1, col2, row2);
    int64_t deltaCol = int64_t(destCol) - col1, deltaRow = int64_t(destRow) - row1;
    std::vector<TAreaRect> copies;
    for (auto& a : items)
        if (auto part = Intersection(RectOf(*a), src)) copies.push_back(Shifted(*part, deltaCol, deltaRow));
    for (const TAreaRect& r : copies) Place(r);
}

void TCellAreas::RemoveRect(int col1, int row1, int col2, int row2) {
    Remove(Rect(col1, row1, col2, row2));
}

void TCellAreas::ClipTo(int col1, int row1, int col2, int row2) {
    TAreaRect r = Rect(col1, row1, col2, row2);
    for (int i = 0; i < Count();) {
        if (auto part = Intersection(RectOf(*items[size_t(i)]), r)) {
            SetBounds(*items[size_t(i)], *part);
            ++i;
        } else {
            Delete(i);
        }
    }
}

void TCellAreas::ShiftAll(int deltaCol, int deltaRow) {
    for (int i = 0; i < Count();) {
        TAreaRect r = Shifted(RectOf(*items[size_t(i)]), deltaCol, deltaRow);
        if (Clip(r)) {
            SetBounds(*items[size_t(i)], r);
            ++i;
        } else {
            Delete(i);
        }
    }
}

// The parts inside the rectangle are taken out first and placed after, so an
// area that lands inside the rectangle again is not moved twice.
void TCellAreas::MoveAreas(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) {
    TAreaRect src = Rect(col1, row1, col2, row2);
    std::vector<TAreaRect> moved;
    for (int i = 0; i < Count();) {
        TAreaRect a = RectOf(*items[size_t(i)]);
        auto part = Intersection(a, src);
        if (!part) {
            ++i;
            continue;
        }
        moved.push_back(Shifted(*part, deltaCol, deltaRow));
        Delete(i);
        for (const TAreaRect& p : Pieces(a, src)) InsertRect(p, i++);
    }
    for (const TAreaRect& r : moved) Place(r);
}

// ---- TSolidCellAreas

void TSolidCellAreas::CheckRemove(const TCellAreaList* list, int col1, int row1, int col2, int row2) const {
    TAreaRect r = Rect(col1, row1, col2, row2);
    for (auto& a : items) {
        if (list && std::find(list->begin(), list->end(), a.get()) == list->end()) continue;
        if (Intersection(RectOf(*a), r) && Pieces(RectOf(*a), r).size() > 1) throw XLSError(SplitMergedCell);
    }
}

void TSolidCellAreas::RemoveFrom(const TCellAreaList* list, const TAreaRect& r) {
    CheckRemove(list, int(r.Col1), int(r.Row1), int(r.Col2), int(r.Row2));
    auto selected = [&](const TCellArea* a) {
        return !list || std::find(list->begin(), list->end(), a) != list->end();
    };
    for (int i = 0; i < Count();) {
        TCellArea& a = *items[size_t(i)];
        if (!selected(&a) || !Intersection(RectOf(a), r)) {
            ++i;
            continue;
        }
        auto pieces = Pieces(RectOf(a), r);
        if (pieces.empty()) {
            Delete(i);
        } else {
            SetBounds(a, pieces.front());
            ++i;
        }
    }
}

void TSolidCellAreas::DeleteOverlapping(const std::vector<TAreaRect>& rects, const TCellAreaList& spare) {
    for (int i = 0; i < Count();) {
        TCellArea* a = items[size_t(i)].get();
        bool hit = std::find(spare.begin(), spare.end(), a) == spare.end() &&
                   std::any_of(rects.begin(), rects.end(),
                               [&](const TAreaRect& r) { return bool(Intersection(RectOf(*a), r)); });
        if (hit)
            Delete(i);
        else
            ++i;
    }
}

void TSolidCellAreas::RemoveRect(int col1, int row1, int col2, int row2) {
    RemoveFrom(nullptr, Rect(col1, row1, col2, row2));
}

void TSolidCellAreas::ShiftAll(int, int) {
    throw XLSError("TSolidCellAreas.Move not implemented");
}

void TSolidCellAreas::CheckMove(int col1, int row1, int col2, int row2) const {
    for (auto& a : items)
        for (int64_t col : {col1, col2})
            for (int64_t row : {row1, row2})
                if (a->IsInside(col, row)) throw XLSError(SplitMergedCell);
}

void TSolidCellAreas::CheckWholeMove(int col1, int row1, int col2, int row2) const {
    const TAreaRect src = Rect(col1, row1, col2, row2);
    for (auto& a : items)
        if (Intersection(RectOf(*a), src) && !Pieces(RectOf(*a), src).empty())
            throw XLSError(SplitMergedCell);
}

// Bounds inside the rectangle's column range move by the column delta, bounds
// inside its row range by the row delta: with a rectangle spanning whole rows
// or columns this inserts or deletes them. Areas outside the rectangle stay,
// but for those the moved block or a moved area now overlaps.
void TSolidCellAreas::MoveAreas(int col1, int row1, int col2, int row2, int deltaCol, int deltaRow) {
    CheckMove(col1, row1, col2, row2);
    TAreaRect src = Rect(col1, row1, col2, row2);
    auto inside = [](int64_t v, int64_t first, int64_t last) { return v >= first && v <= last; };
    std::vector<TAreaRect> landed{Shifted(src, deltaCol, deltaRow)};
    TCellAreaList moved;
    for (int i = 0; i < Count();) {
        TCellArea& a = *items[size_t(i)];
        TAreaRect r = RectOf(a);
        if (!Intersection(r, src)) {
            ++i;
            continue;
        }
        if (inside(r.Col1, src.Col1, src.Col2)) r.Col1 += deltaCol;
        if (inside(r.Col2, src.Col1, src.Col2)) r.Col2 += deltaCol;
        if (inside(r.Row1, src.Row1, src.Row2)) r.Row1 += deltaRow;
        if (inside(r.Row2, src.Row1, src.Row2)) r.Row2 += deltaRow;
        if (r.Col1 <= r.Col2 && r.Row1 <= r.Row2 && Clip(r)) {
            SetBounds(a, r);
            landed.push_back(r);
            moved.push_back(&a);
            ++i;
        } else {
            Delete(i);
        }
    }
    DeleteOverlapping(landed, moved);
}

// ---- TMergedCells

void TMergedCells::CopyAreas(int col1, int row1, int col2, int row2, int destCol, int destRow) {
    TCellAreaList list;
    CollectIntersecting(list, col1, row1, col2, row2);
    InsertMoved(list, col1, row1, col2, row2, destCol, destRow);
}

TCellArea& TMergedCells::AddArea(int col1, int row1, int col2, int row2) {
    const int c1 = std::min(col1, col2), r1 = std::min(row1, row2);
    const int c2 = std::max(col1, col2), r2 = std::max(row1, row2);
    const TAreaRect r = Rect(c1, r1, c2, r2);
    for (const auto& a : items)
        if (Intersection(RectOf(*a), r))
            throw XLSError("Merged areas can not overlap: " + WideToUtf8(AreaText(RectOf(*a))) + " and " +
                           WideToUtf8(AreaText(r)));
    return TBaseCellAreas::AddArea(c1, r1, c2, r2);
}

std::vector<bool> TMergedCells::LaterOverlapping() const {
    const size_t n = items.size();
    // The pairs that overlap, found over the areas in the order of their
    // first rows: each is compared only with those that start within it.
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return items[a]->Row1 < items[b]->Row1; });
    std::vector<std::vector<size_t>> earlier(n);
    for (size_t k = 0; k < n; ++k) {
        const TAreaRect a = RectOf(*items[order[k]]);
        for (size_t m = k + 1; m < n && int64_t(items[order[m]]->Row1) <= a.Row2; ++m)
            if (Intersection(a, RectOf(*items[order[m]]))) {
                const auto [first, later] = std::minmax(order[k], order[m]);
                earlier[later].push_back(first);
            }
    }
    std::vector<bool> marked(n, false);
    for (size_t i = 0; i < n; ++i)
        for (size_t j : earlier[i])
            if (!marked[j]) {
                marked[i] = true;
                break;
            }
    return marked;
}

int TMergedCells::DeleteLaterOverlapping(std::u16string& first) {
    const std::vector<bool> marked = LaterOverlapping();
    int deleted = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        if (!marked[size_t(i)]) continue;
        first = AreaText(RectOf(GetItem(i)));
        Delete(i);
        ++deleted;
    }
    return deleted;
}

void TMergedCells::DeleteListed(const TCellAreaList& list, int col1, int row1, int col2, int row2) {
    RemoveFrom(&list, Rect(col1, row1, col2, row2));
}

void TMergedCells::InsertMoved(const TCellAreaList& list, int col1, int row1, int col2, int row2, int destCol,
                               int destRow) {
    int64_t deltaCol = int64_t(destCol) - col1, deltaRow = int64_t(destRow) - row1;
    std::vector<TAreaRect> moved;
    for (const TCellArea* a : list) {
        TAreaRect r = Shifted(RectOf(*a), deltaCol, deltaRow);
        if (Clip(r)) moved.push_back(r);
    }
    std::vector<TAreaRect> covered = moved;
    covered.push_back(Shifted(Rect(col1, row1, col2, row2), deltaCol, deltaRow));
    DeleteOverlapping(covered);
    for (const TAreaRect& r : moved) InsertRect(r);
}

} // namespace xls
