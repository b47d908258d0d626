// The selection of a sheet's window: TSelection over the sheet's SELECTION
// record, and the list of selected areas with the active cell that the
// readers fill and the writers turn into SELECTION records.
#pragma once

#include "SrcXLS/formats/DefaultRecords.h"

#include <cstdint>
#include <vector>

namespace xls {

// Works on the record's body wherever the record lives. The record holds
// rows in 16 bits and the first range's columns in 8 bits: values beyond a
// field are stored as the field's largest value rather than cut to their low
// bits, which would name another cell.
class TSelection {
public:
    explicit TSelection(TRecordStorageSheet& records) : records(records) {}
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;

    int GetActiveRow() const { return Word(ActiveRowAt); }
    // Also makes the first range this one row.
    void SetActiveRow(int v);
    int GetActiveCol() const { return Word(ActiveColAt); }
    // Also makes the first range this one column.
    void SetActiveCol(int v);
    int GetRow1() const { return Word(Row1At); }
    void SetRow1(int v) { SetWord(Row1At, v); }
    int GetRow2() const { return Word(Row2At); }
    void SetRow2(int v) { SetWord(Row2At, v); }
    int GetCol1() const { return Byte(Col1At); }
    void SetCol1(int v) { SetByte(Col1At, v); }
    int GetCol2() const { return Byte(Col2At); }
    void SetCol2(int v) { SetByte(Col2At, v); }
    void Clear();

    static constexpr int PaneAt = 0;
    static constexpr int ActiveRowAt = 1;
    static constexpr int ActiveColAt = 3;
    static constexpr int ActiveIndexAt = 5;
    static constexpr int CountAt = 7;
    static constexpr int Row1At = 9;
    static constexpr int Row2At = 11;
    static constexpr int Col1At = 13;
    static constexpr int Col2At = 14;

private:
    int Word(int offset) const;
    void SetWord(int offset, int v);
    int Byte(int offset) const;
    void SetByte(int offset, int v);

    TRecordStorageSheet& records;
};

struct TSelectedArea {
    int Col1 = 0;
    int Row1 = 0;
    int Col2 = 0;
    int Row2 = 0;
};

class TSelectedAreas {
public:
    // One area: the cell A1, which is also the active cell.
    TSelectedAreas() { AddCell(0, 0); }

    int ActiveCol = 0;
    int ActiveRow = 0;
    // Position of the area that holds the active cell.
    int ActiveIndex = 0;

    int Count() const { return int(areas.size()); }
    TSelectedArea& Items(int index);
    const TSelectedArea& Items(int index) const;
    // Appends an empty area.
    TSelectedArea& Add();
    // Appends the one-cell area and makes it and its cell the active ones.
    TSelectedArea& AddCell(int col, int row);
    // Empties the list; the active cell stays.
    void Clear();
    // The single cell (col, active row) becomes the selection.
    void SetActiveCol(int col);
    // The single cell (active column, row) becomes the selection.
    void SetActiveRow(int row);

private:
    std::vector<TSelectedArea> areas;
};

} // namespace xls
