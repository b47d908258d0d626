#include "SrcXLS/model/RangeFormulaContext.h"

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/model/CellAreas.h"

#include <algorithm>

namespace xls {

IFormulaServices& TRangeFormulaContext::Services() const {
    if (!Formulas) throw XLSError("No formula services");
    return *Formulas;
}

std::vector<std::array<uint16_t, 4>> BIFF8Areas(const TBaseCellAreas& areas) {
    constexpr uint32_t MaxRow = 65535, MaxCol = 255;
    std::vector<std::array<uint16_t, 4>> out;
    for (int i = 0; i < areas.Count(); ++i) {
        const TCellArea& a = areas.GetItem(i);
        const uint32_t r1 = std::min(a.Row1, a.Row2), r2 = std::max(a.Row1, a.Row2);
        const uint32_t c1 = std::min(a.Col1, a.Col2), c2 = std::max(a.Col1, a.Col2);
        if (r1 > MaxRow || c1 > MaxCol) continue;
        out.push_back(
            {uint16_t(r1), uint16_t(std::min(r2, MaxRow)), uint16_t(c1), uint16_t(std::min(c2, MaxCol))});
    }
    return out;
}

} // namespace xls
