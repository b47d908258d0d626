#include "SrcXLS/model/RangeFormulas.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/formulas/FormulaDecoder.h"
#include "SrcXLS/formulas/FormulaEncoder.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/TokenRewriting.h"
#include "SrcXLS/model/CellAreas.h"

#include <algorithm>

namespace xls {

namespace {

// References (tRef, tArea) as relative ones (tRefN, tAreaN): the parts
// without "$" become offsets from the base cell, a row a signed 16-bit and a
// column a signed 8-bit one.
std::vector<uint8_t> ToRelative(std::vector<uint8_t> tokens, int baseRow, int baseCol) {
    TTokenWalker walker(tokens, TTokenLayout::BIFF8, false);
    TToken t;
    while (walker.Next(t) == TWalkStatus::Token) {
        if (t.Base != ptg::Ref && t.Base != ptg::Area) continue;
        uint8_t* id = tokens.data() + t.Pos;
        const int corners = t.Base == ptg::Ref ? 1 : 2;
        for (int k = 0; k < corners; ++k) {
            uint8_t* row = id + 1 + 2 * k;
            uint8_t* col = id + 1 + 2 * corners + 2 * k;
            const uint16_t c = GetU16(col);
            if (c & 0x8000) PutU16(row, uint16_t(GetU16(row) - baseRow));
            if (c & 0x4000) PutU16(col, uint16_t((c & 0xC000) | uint8_t((c & 0xFF) - baseCol)));
        }
        *id = uint8_t(*id + (ptg::RefN - ptg::Ref));
    }
    return tokens;
}

} // namespace

std::u16string RangeFormulaText(std::span<const uint8_t> tokens, int baseRow, int baseCol) {
    if (tokens.empty()) return {};
    TDecodeContext context;
    context.Syntax = TFormulaSyntax::Display(LibState().Locale);
    context.Row = baseRow;
    context.Col = baseCol;
    if (auto cell = SharedFormulaToCell(tokens, {}, TExcelVersion::xvExcel97, baseCol, baseRow))
        return DecodeFormula(*cell, cell->size(), context);
    return DecodeFormula(tokens, tokens.size(), context);
}

std::vector<uint8_t> RangeFormulaTokens(std::u16string_view text, uint8_t operandClass, size_t maxSize,
                                        int baseRow, int baseCol) {
    TEncodeOptions options;
    options.Syntax = TFormulaSyntax::Display(LibState().Locale);
    options.Class = operandClass;
    options.MaxSize = maxSize;
    TEncodedFormula f = EncodeFormula(text, options);
    if (f.Data.size() != f.TokenLength) throw XLSError("Array constants are not allowed here");
    return ToRelative(std::move(f.Data), baseRow, baseCol);
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
