// Formula tokens of BIFF5 and BIFF8 files: the tokens of a shared formula
// made into the tokens of one of its cells.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace xls {

// The tokens of a shared formula (SHRFMLA) as the formula of the cell at
// col, row: each relative reference (tRefN, tAreaN, and the 3-D references'
// relative parts) becomes an ordinary reference to the cell or area it
// points at from there, its relative flags kept. When the tokens hold array
// constants, extra (the SHRFMLA's data after the tokens, their values)
// follows them. Empty when a token is not known, runs past the end, or has
// data after the tokens that a cell cannot take over (memory areas); the
// caller then keeps the cached value.
std::optional<std::vector<uint8_t>> SharedFormulaToCell(std::span<const uint8_t> tokens,
                                                        std::span<const uint8_t> extra, TExcelVersion version,
                                                        int col, int row);

} // namespace xls
