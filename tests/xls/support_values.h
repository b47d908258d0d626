// Formula values as the end-to-end tests compare them with the texts other
// programs give.
#pragma once

#include "SrcXLS/XLSValues.h"

#include <string>

namespace testvalues {

// A number with 15 significant digits, TRUE/FALSE, the error's text, the
// string itself; "" for anything else.
std::string Text(const xls::TFormulaValue& v);
// Numbers within tolerance (relative); anything else as text. LibreOffice
// writes the booleans of number cells as 1 and 0 and the error of a bad
// argument as Err:502.
bool Same(const std::string& ours, const std::string& theirs, double tolerance = 1e-9);

// A cell's value as the oracles print it: n a number, t a text, b 0 or 1,
// e the error's text.
struct TCellValue {
    char Kind = 0;
    std::string Text;
    double Number = 0;
};
// The same kind and text, numbers within 1e-12 (relative).
bool SameValue(const TCellValue& a, const TCellValue& b);
// "n 2.5", "t text"; "(no cell)" for none.
std::string Shown(const TCellValue* v);
// Whether a formula calls a function whose value changes every time it is
// computed (NOW, RAND, OFFSET and the like).
bool Volatile(const std::string& formula);

} // namespace testvalues
