// A1 cell-reference text in both directions, and area helpers bound to the
// library's active limits. Columns and rows are zero-based.
#pragma once

#include <string>
#include <string_view>

namespace xls {

std::u16string ColumnLetters(int col); // 0 A, 25 Z, 26 AA, 16383 XFD
std::u16string ColRowToRefStr(int col, int row, bool absCol, bool absRow);
std::u16string ColRowToRefStrEx(int col, int row, bool absCol, bool absRow);
std::u16string AreaToRefStr(int col1, int row1, int col2, int row2, bool absCol1, bool absRow1, bool absCol2,
                            bool absRow2);
std::u16string AreaToRefStrEx(int col1, int row1, int col2, int row2, bool absCol1, bool absRow1,
                              bool absCol2, bool absRow2);

struct TRefFlags {
    bool AbsCol = false;
    bool AbsRow = false;
};

// 256-column form: one or two letters (IV at most), digits for the row.
bool RefStrToColRow(std::u16string_view text, int& col, int& row, bool& absCol, bool& absRow);
// Any width up to the active limits.
bool RefStrToColRowEx(std::u16string_view text, int& col, int& row, bool& absCol, bool& absRow);
// As the Ex form without "$" marks.
bool RefStrToColRowPlain(std::u16string_view text, int& col, int& row);

// Drops a sheet part up to "!" and needs "A1:B2".
bool AreaStrToColRow(std::u16string_view text, int& col1, int& row1, int& col2, int& row2, TRefFlags& f1,
                     TRefFlags& f2);
bool AreaStrToColRowSimple(std::u16string_view text, int& col1, int& row1, int& col2, int& row2);
bool AreaStrToColRowEx(std::u16string_view text, int& col1, int& row1, int& col2, int& row2, TRefFlags& f1,
                       TRefFlags& f2);
bool AreaStrToColRowPlain(std::u16string_view text, int& col1, int& row1, int& col2, int& row2);

void OrderArea(int& col1, int& row1, int& col2, int& row2);
bool ClipAreaToLimits(int& col1, int& row1, int& col2, int& row2);

} // namespace xls
