// What the records of conditional formats and data validations share: their
// formulas as text and tokens (BIFF8 tokens without array data, text in the
// user's separators) and their areas as the file holds them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

// The formulas of conditional formats and validations hold their relative
// references as offsets from a base cell, the top-left cell of their areas:
// they move with the areas.

// The text of the tokens as the formula of the base cell.
std::u16string RangeFormulaText(std::span<const uint8_t> tokens, int baseRow, int baseCol);

// The tokens of a text written for the base cell; raises the encoder's
// XLSError when the text does not compile, holds array constants or is
// longer than maxSize.
std::vector<uint8_t> RangeFormulaTokens(std::u16string_view text, uint8_t operandClass, size_t maxSize,
                                        int baseRow, int baseCol);

class TBaseCellAreas;

// The areas within a BIFF8 sheet, each as first row, last row, first column,
// last column: normalised, cut at the sheet's edge, those beyond it left out.
std::vector<std::array<uint16_t, 4>> BIFF8Areas(const TBaseCellAreas& areas);

} // namespace xls
