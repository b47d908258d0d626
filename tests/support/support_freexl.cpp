#include "support_freexl.h"

#include <freexl.h>

#include <cstdio>

namespace testfiles {

FreeXLBook ReadWithFreeXL(const std::string& path, const std::vector<FreeXLCell>& cells, bool countCells) {
    FreeXLBook book;
    const void* handle = nullptr;
    book.Status = freexl_open(path.c_str(), &handle);
    book.Opened = book.Status == FREEXL_OK && handle;
    if (!book.Opened) return book;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &book.Sheets);
    for (unsigned s = 0; s < book.Sheets; ++s) {
        unsigned rows = 0;
        unsigned short cols = 0;
        if (freexl_select_active_worksheet(handle, (unsigned short)(s)) == FREEXL_OK)
            freexl_worksheet_dimensions(handle, &rows, &cols);
        book.Dimensions.emplace_back(rows, cols);
        FreeXL_CellValue v{};
        for (unsigned r = 0; countCells && r < rows; ++r)
            for (unsigned short c = 0; c < cols; ++c)
                if (freexl_get_cell_value(handle, r, c, &v) == FREEXL_OK && v.type != FREEXL_CELL_NULL)
                    ++book.NonEmptyCells;
    }
    for (const FreeXLCell& c : cells) {
        std::string text;
        FreeXL_CellValue v{};
        if (freexl_select_active_worksheet(handle, (unsigned short)(c.Sheet)) == FREEXL_OK &&
            freexl_get_cell_value(handle, c.Row, c.Col, &v) == FREEXL_OK) {
            char buf[40];
            switch (v.type) {
            case FREEXL_CELL_INT:
                text = std::to_string(v.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                std::snprintf(buf, sizeof buf, "%.15g", v.value.double_value);
                text = buf;
                break;
            case FREEXL_CELL_NULL:
                break;
            default:
                text = v.value.text_value ? v.value.text_value : "";
            }
        }
        book.Values.push_back(text);
    }
    freexl_close(handle);
    return book;
}

} // namespace testfiles
