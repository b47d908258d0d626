#include "SrcXLS/model/XLSRange.h"

#include "SrcXLS/XLSCellRef.h"

#include <utility>

namespace xls {

TXLSRange::TXLSRange(int sheetIndex, ICellOperations* cellOperations, TMergedCells* mergedCells,
                     TCellFormats* formats, TCellStorage* cells)
    : SheetIndex(sheetIndex), cellOperations(cellOperations), mergedCells(mergedCells), formats(formats),
      cells(cells) {}

TXLSRange& TXLSRange::SetArea(int c1, int r1, int c2, int r2) {
    if (!ClipAreaToLimits(c1, r1, c2, r2)) throw XLSError("Range is outside sheet limits");
    if (c1 > c2) std::swap(c1, c2);
    if (r1 > r2) std::swap(r1, r2);
    col1 = c1;
    row1 = r1;
    col2 = c2;
    row2 = r2;
    kind = c1 == c2 ? (r1 == r2 ? 0 : 1) : (r1 != r2 ? 3 : 2);
    return *this;
}

template <class F> void TXLSRange::ForEachCell(F apply) {
    for (int r = row1; r <= row2; ++r) {
        for (int c = col1; c <= col2; ++c) {
            if (cells->FindCell(c, r)) continue;
            int format = DefaultFormat ? DefaultFormat(c, r) : DefaultCellFormat;
            cells->PutCell(c, r, NewCell<TBlankCell>(formats, format, c, r));
        }
    }
    for (int r = row1; r <= row2; ++r)
        for (int c = col1; c <= col2; ++c) apply(*cells->FindCell(c, r));
}

void TXLSRange::SetFontColor(uint32_t color) {
    ForEachCell([color](TCell& cell) { cell.SetFontColorRGB(color); });
}

void TXLSRange::SetFontStyle(int style) {
    ForEachCell([style](TCell& cell) { cell.SetFontStyle(style); });
}

} // namespace xls
