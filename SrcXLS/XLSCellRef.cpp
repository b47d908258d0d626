#include "SrcXLS/XLSCellRef.h"

#include "SrcXLS/XLSLibState.h"

#include <algorithm>
#include <cstdint>

namespace xls {

namespace {

std::u16string Decimal(int64_t v) {
    std::u16string s;
    do {
        s.insert(s.begin(), char16_t(u'0' + v % 10));
        v /= 10;
    } while (v > 0);
    return s;
}

std::u16string RefText(int col, int row, bool absCol, bool absRow) {
    std::u16string s;
    if (absCol) s += u'$';
    s += ColumnLetters(col);
    if (absRow) s += u'$';
    s += Decimal(int64_t(row) + 1);
    return s;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsLetter(char16_t c) {
    return c >= u'A' && c <= u'Z';
}

// Reads row digits to the end of text; the row number must be 1..maxRow+1.
bool ParseRow(std::u16string_view digits, int maxRow, int& row) {
    if (digits.empty()) return false;
    int64_t value = 0;
    for (char16_t c : digits) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - u'0');
        if (value > int64_t(maxRow) + 1) return false;
    }
    if (value < 1) return false;
    row = int(value - 1);
    return true;
}

bool ParseEx(std::u16string_view text, bool allowAbs, int& col, int& row, bool& absCol, bool& absRow) {
    const TLibraryState& st = LibState();
    size_t end = text.size();
    size_t d = end;
    while (d > 0 && IsDigit(text[d - 1])) --d;
    std::u16string_view digits = text.substr(d);
    size_t letterEnd = d;
    absRow = false;
    if (letterEnd > 0 && text[letterEnd - 1] == u'$') {
        if (!allowAbs) return false;
        absRow = true;
        --letterEnd;
    }
    size_t l = letterEnd;
    while (l > 0 && IsLetter(text[l - 1])) --l;
    if (l == letterEnd) return false;
    absCol = false;
    if (l > 0 && text[l - 1] == u'$') {
        if (!allowAbs) return false;
        absCol = true;
        --l;
    }
    if (l != 0) return false;
    int64_t value = 0;
    for (size_t i = absCol ? 1 : 0; i < letterEnd; ++i) {
        value = value * 26 + (text[i] - u'A' + 1);
        if (value - 1 > st.MaxColumn) return false;
    }
    col = int(value - 1);
    return ParseRow(digits, st.MaxRow, row);
}

bool SplitArea(std::u16string_view text, std::u16string_view& a, std::u16string_view& b) {
    size_t colon = text.find(u':');
    if (colon == text.npos) return false;
    a = text.substr(0, colon);
    b = text.substr(colon + 1);
    return true;
}

} // namespace

std::u16string ColumnLetters(int col) {
    std::u16string s;
    for (int64_t n = int64_t(std::max(col, 0)) + 1; n > 0; n = (n - 1) / 26)
        s.insert(s.begin(), char16_t(u'A' + (n - 1) % 26));
    return s;
}

std::u16string ColRowToRefStr(int col, int row, bool absCol, bool absRow) {
    return RefText(col, row, absCol, absRow);
}
std::u16string ColRowToRefStrEx(int col, int row, bool absCol, bool absRow) {
    return RefText(col, row, absCol, absRow);
}

std::u16string AreaToRefStr(int col1, int row1, int col2, int row2, bool absCol1, bool absRow1, bool absCol2,
                            bool absRow2) {
    return ColRowToRefStr(col1, row1, absCol1, absRow1) + u":" + ColRowToRefStr(col2, row2, absCol2, absRow2);
}
std::u16string AreaToRefStrEx(int col1, int row1, int col2, int row2, bool absCol1, bool absRow1,
                              bool absCol2, bool absRow2) {
    return ColRowToRefStrEx(col1, row1, absCol1, absRow1) + u":" +
           ColRowToRefStrEx(col2, row2, absCol2, absRow2);
}

bool RefStrToColRow(std::u16string_view text, int& col, int& row, bool& absCol, bool& absRow) {
    size_t i = 0;
    absCol = absRow = false;
    if (i < text.size() && text[i] == u'$') {
        absCol = true;
        ++i;
    }
    if (i >= text.size() || !IsLetter(text[i])) return false;
    int first = text[i++] - u'A';
    if (i < text.size() && IsLetter(text[i])) {
        if (first > u'I' - u'A') return false;
        col = (first + 1) * 26 + (text[i++] - u'A');
        if (col > 255) return false;
    } else {
        col = first;
    }
    if (i < text.size() && text[i] == u'$') {
        absRow = true;
        ++i;
    }
    return ParseRow(text.substr(i), LibState().MaxRow, row);
}

bool RefStrToColRowEx(std::u16string_view text, int& col, int& row, bool& absCol, bool& absRow) {
    return ParseEx(text, true, col, row, absCol, absRow);
}

bool RefStrToColRowPlain(std::u16string_view text, int& col, int& row) {
    bool a, b;
    return ParseEx(text, false, col, row, a, b);
}

bool AreaStrToColRow(std::u16string_view text, int& col1, int& row1, int& col2, int& row2, TRefFlags& f1,
                     TRefFlags& f2) {
    size_t bang = text.find(u'!');
    if (bang != text.npos) text = text.substr(bang + 1);
    std::u16string_view a, b;
    return SplitArea(text, a, b) && RefStrToColRow(a, col1, row1, f1.AbsCol, f1.AbsRow) &&
           RefStrToColRow(b, col2, row2, f2.AbsCol, f2.AbsRow);
}

bool AreaStrToColRowSimple(std::u16string_view text, int& col1, int& row1, int& col2, int& row2) {
    TRefFlags f1, f2;
    return AreaStrToColRow(text, col1, row1, col2, row2, f1, f2);
}

bool AreaStrToColRowEx(std::u16string_view text, int& col1, int& row1, int& col2, int& row2, TRefFlags& f1,
                       TRefFlags& f2) {
    std::u16string_view a, b;
    return SplitArea(text, a, b) && RefStrToColRowEx(a, col1, row1, f1.AbsCol, f1.AbsRow) &&
           RefStrToColRowEx(b, col2, row2, f2.AbsCol, f2.AbsRow);
}

bool AreaStrToColRowPlain(std::u16string_view text, int& col1, int& row1, int& col2, int& row2) {
    std::u16string_view a, b;
    return SplitArea(text, a, b) && RefStrToColRowPlain(a, col1, row1) && RefStrToColRowPlain(b, col2, row2);
}

void OrderArea(int& col1, int& row1, int& col2, int& row2) {
    if (col1 > col2) std::swap(col1, col2);
    if (row1 > row2) std::swap(row1, row2);
}

bool ClipAreaToLimits(int& col1, int& row1, int& col2, int& row2) {
    const TLibraryState& st = LibState();
    if (col1 > st.MaxColumn || row1 > st.MaxRow || col2 < 0 || row2 < 0) return false;
    col1 = std::max(col1, 0);
    row1 = std::max(row1, 0);
    col2 = std::min(col2, st.MaxColumn);
    row2 = std::min(row2, st.MaxRow);
    return true;
}

} // namespace xls
