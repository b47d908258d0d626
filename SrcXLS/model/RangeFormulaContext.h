// What the records of conditional formats and data validations share: the
// formula services they turn their formulas into text and back with, and
// their areas as the file holds them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace xls {

class IFormulaServices;
class TBaseCellAreas;

// The workbook's formula services and the index of the sheet a collection
// belongs to (set by the sheet); without services formulas have no text.
struct TRangeFormulaContext {
    IFormulaServices* Formulas = nullptr;
    std::function<int()> SheetIndex;
    int Sheet() const { return SheetIndex ? SheetIndex() : -1; }
    // Raises "No formula services" when there are none.
    IFormulaServices& Services() const;
};

// The areas within a BIFF8 sheet, each as first row, last row, first column,
// last column: normalised, cut at the sheet's edge, those beyond it left out.
std::vector<std::array<uint16_t, 4>> BIFF8Areas(const TBaseCellAreas& areas);

} // namespace xls
