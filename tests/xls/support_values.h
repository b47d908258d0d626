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

} // namespace testvalues
