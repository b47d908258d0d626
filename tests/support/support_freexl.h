// FreeXL (Debian's libfreexl, the .xls reader of GDAL and SpatiaLite) as an
// independent reader of the workbooks and compound files we write; it runs
// as tests/freexl_cells.cpp, a program of its own within the oracles' bounds.
#pragma once

#include <string>
#include <vector>

namespace testfiles {

struct FreeXLCell {
    unsigned Sheet = 0, Row = 0;
    unsigned short Col = 0;
};

struct FreeXLBook {
    // freexl_open's result; a file FreeXL gives up on opens with no handle.
    int Status = -1;
    bool Opened = false;
    unsigned Sheets = 0;
    // Rows and columns of each worksheet.
    std::vector<std::pair<unsigned, unsigned short>> Dimensions;
    // The asked cells: numbers as "%.15g", texts as UTF-8, "" for none.
    std::vector<std::string> Values;
    // Why FreeXL gave no answer at all (it did not run or was stopped); the
    // current test has failed or been marked skipped with it.
    std::string Failure;
    // Cells with a value over all worksheets, when counting was asked for.
    unsigned NonEmptyCells = 0;
};

FreeXLBook ReadWithFreeXL(const std::string& path, const std::vector<FreeXLCell>& cells = {},
                          bool countCells = false);

} // namespace testfiles
