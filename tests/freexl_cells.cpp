// FreeXL's view of a workbook for the tests, in a process of its own so that
// it runs within the memory cap and time limit of every oracle.
// Usage: freexl_cells [--count] FILE [SHEET:ROW:COL...]; prints
//   open <freexl_open's result>
//   sheets <count>
//   size <rows> <columns>       one line per worksheet
//   cells <count>               with --count: the cells with a value, all sheets
//   value <text>                one line per asked cell: numbers as "%.15g",
//                               texts as UTF-8 (\ and line breaks escaped), empty for none
#include <freexl.h>

#include <cstdio>
#include <string>

namespace {

void PrintValue(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    std::printf("value %s\n", out.c_str());
}

std::string CellText(const void* handle, unsigned sheet, unsigned row, unsigned short col) {
    FreeXL_CellValue v{};
    if (freexl_select_active_worksheet(handle, (unsigned short)(sheet)) != FREEXL_OK ||
        freexl_get_cell_value(handle, row, col, &v) != FREEXL_OK)
        return "";
    char buf[40];
    switch (v.type) {
    case FREEXL_CELL_INT:
        return std::to_string(v.value.int_value);
    case FREEXL_CELL_DOUBLE:
        std::snprintf(buf, sizeof buf, "%.15g", v.value.double_value);
        return buf;
    case FREEXL_CELL_NULL:
        return "";
    default:
        return v.value.text_value ? v.value.text_value : "";
    }
}

} // namespace

int main(int argc, char** argv) {
    const bool count = argc > 1 && std::string(argv[1]) == "--count";
    if (count) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: freexl_cells [--count] FILE [SHEET:ROW:COL...]\n");
        return 2;
    }
    const void* handle = nullptr;
    const int status = freexl_open(argv[1], &handle);
    std::printf("open %d\n", status);
    if (status != FREEXL_OK || !handle) return 0;
    unsigned sheets = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets);
    std::printf("sheets %u\n", sheets);
    unsigned cells = 0;
    for (unsigned s = 0; s < sheets; ++s) {
        unsigned rows = 0;
        unsigned short cols = 0;
        if (freexl_select_active_worksheet(handle, (unsigned short)(s)) == FREEXL_OK)
            freexl_worksheet_dimensions(handle, &rows, &cols);
        std::printf("size %u %u\n", rows, unsigned(cols));
        FreeXL_CellValue v{};
        for (unsigned r = 0; count && r < rows; ++r)
            for (unsigned short c = 0; c < cols; ++c)
                if (freexl_get_cell_value(handle, r, c, &v) == FREEXL_OK && v.type != FREEXL_CELL_NULL)
                    ++cells;
    }
    if (count) std::printf("cells %u\n", cells);
    for (int i = 2; i < argc; ++i) {
        unsigned sheet = 0, row = 0, col = 0;
        if (std::sscanf(argv[i], "%u:%u:%u", &sheet, &row, &col) != 3) {
            std::fprintf(stderr, "not a cell: %s\n", argv[i]);
            return 2;
        }
        PrintValue(CellText(handle, sheet, row, (unsigned short)(col)));
    }
    freexl_close(handle);
    return 0;
}
