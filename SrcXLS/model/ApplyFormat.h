// A sheet's working cell format: a format can be prepared here, bound to the
// workbook's format pool but not in it, before it is applied to cells.
#pragma once

#include "SrcXLS/model/CellFormats.h"

#include <functional>
#include <memory>

namespace xls {

class TCellValues;

class TApplyFormat {
public:
    // The sheet's answer to "which format does a new cell at (col, row) get".
    using TDefaultFormatFunc = std::function<int(int col, int row)>;

    TApplyFormat(TCellFormats* pool, TCellValues* cells)
        : format(std::make_unique<TCellFormat>(pool)), pool(pool), cells(cells) {}
    TApplyFormat(const TApplyFormat&) = delete;
    TApplyFormat& operator=(const TApplyFormat&) = delete;

    TCellFormat& Format() { return *format; }
    TCellFormats* Pool() const { return pool; }
    TCellValues* Cells() const { return cells; }

    // Installed by the sheet after it created the holder.
    TDefaultFormatFunc DefaultFormat;

private:
    std::unique_ptr<TCellFormat> format;
    TCellFormats* pool;
    TCellValues* cells;
};

} // namespace xls
