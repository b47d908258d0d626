#include "SrcXLS/model/Selection.h"

#include <algorithm>
#include <string>

namespace xls {

// ---- TSelection

int TSelection::Word(int offset) const {
    return GetU16(records.SelectionData().data() + offset);
}

void TSelection::SetWord(int offset, int v) {
    PutU16(records.SelectionData().data() + offset, uint16_t(std::clamp(v, 0, 0xFFFF)));
}

int TSelection::Byte(int offset) const {
    return records.SelectionData()[size_t(offset)];
}

void TSelection::SetByte(int offset, int v) {
    records.SelectionData()[size_t(offset)] = uint8_t(std::clamp(v, 0, 0xFF));
}

void TSelection::SetActiveRow(int v) {
    SetWord(ActiveRowAt, v);
    SetWord(Row1At, v);
    SetWord(Row2At, v);
}

void TSelection::SetActiveCol(int v) {
    SetWord(ActiveColAt, v);
    SetByte(Col1At, v);
    SetByte(Col2At, v);
}

void TSelection::Clear() {
    SetActiveRow(0);
    SetActiveCol(0);
}

// ---- TSelectedAreas

TSelectedArea& TSelectedAreas::Items(int index) {
    if (index < 0 || index >= Count())
        throw XLSError("List index out of bounds (" + std::to_string(index) + ")");
    return areas[size_t(index)];
}

const TSelectedArea& TSelectedAreas::Items(int index) const {
    return const_cast<TSelectedAreas*>(this)->Items(index);
}

TSelectedArea& TSelectedAreas::Add() {
    return areas.emplace_back();
}

// The active area follows the active cell, so that a selection written
// afterwards never names an area that does not hold it.
TSelectedArea& TSelectedAreas::AddCell(int col, int row) {
    TSelectedArea& a = areas.emplace_back(TSelectedArea{col, row, col, row});
    ActiveCol = col;
    ActiveRow = row;
    ActiveIndex = Count() - 1;
    return a;
}

void TSelectedAreas::Clear() {
    areas.clear();
    ActiveIndex = 0;
}

void TSelectedAreas::SetActiveCol(int col) {
    Clear();
    AddCell(col, ActiveRow);
}

void TSelectedAreas::SetActiveRow(int row) {
    Clear();
    AddCell(ActiveCol, row);
}

} // namespace xls
