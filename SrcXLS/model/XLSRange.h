// A sheet's handle for formatting a rectangular block of cells at once: a
// format setter first creates a blank cell at every empty position of the
// area, so the format lands on every cell of the block.
#pragma once

#include "SrcXLS/model/CellAreas.h"
#include "SrcXLS/model/CellStorage.h"

#include <functional>

namespace xls {

// Cell-block operations of the workbook. Sheets are zero-based indexes.
class ICellOperations {
public:
    enum TOption : int {
        coAdjustFormulas = 0x01,
        coAdjustOption2 = 0x02, // the first row of each reference stays
        coAdjustOption4 = 0x04, // absolute parts move too
        coCells = 0x08,
        coDrawingObjects = 0x10,
        coConditionalFormats = 0x40,
        coValidations = 0x80,
        coMergedCells = 0x100,
    };
    virtual ~ICellOperations() = default;
    virtual void CopyCells(int srcSheet, int col1, int row1, int col2, int row2, int destSheet, int destCol,
                           int destRow, int options) = 0;
    virtual void MoveCells(int srcSheet, int col1, int row1, int col2, int row2, int destSheet, int destCol,
                           int destRow, int options) = 0;
    virtual void DeleteCells(int sheet, int col1, int row1, int col2, int row2) = 0;
};

class TXLSRange {
public:
    using TDefaultFormatFunc = std::function<int(int col, int row)>;

    TXLSRange(int sheetIndex, ICellOperations* cellOperations, TMergedCells* mergedCells,
              TCellFormats* formats, TCellStorage* cells);

    // Clipped to the active limits and put in order. A start beyond them or
    // an end before 0 raises "Range is outside sheet limits", keeping the area.
    TXLSRange& SetArea(int col1, int row1, int col2, int row2);
    // 0x00BBGGRR; the nearest palette colour is taken.
    void SetFontColor(uint32_t color);
    // Bit 0 bold, bit 1 italic, bit 2 strike-out.
    void SetFontStyle(int style);

    int Col1() const { return col1; }
    int Row1() const { return row1; }
    int Col2() const { return col2; }
    int Row2() const { return row2; }
    // 0 one cell, 1 one column, 2 one row, 3 a block.
    int AreaKind() const { return kind; }
    int SheetIndex = 0;
    ICellOperations* CellOperations() const { return cellOperations; }

    // Installed by the sheet: the format a new cell at (col, row) gets.
    TDefaultFormatFunc DefaultFormat;

private:
    template <class F> void ForEachCell(F apply);

    ICellOperations* cellOperations;
    TMergedCells* mergedCells;
    TCellFormats* formats;
    TCellStorage* cells;
    int col1 = 0, row1 = 0, col2 = 0, row2 = 0;
    int kind = 0;
};

} // namespace xls
