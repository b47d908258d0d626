// The formula handler's part for conditional formats, validations and
// hyperlinks: formulas whose relative references are offsets from a base
// cell, and the test whether a text compiles.
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/TokenRewriting.h"

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

std::u16string TFormulaHandler::RangeFormulaText(int sheet, std::span<const uint8_t> tokens, int baseRow,
                                                 int baseCol) {
    return RangeFormulaText(sheet, tokens, baseRow, baseCol, false);
}

std::u16string TFormulaHandler::RangeFormulaText(int sheet, std::span<const uint8_t> tokens, int baseRow,
                                                 int baseCol, bool fileSyntax) {
    if (tokens.empty()) return {};
    TFormulaDecoding how;
    how.Row = baseRow;
    how.Col = baseCol;
    how.Sheet = sheet;
    how.FileSyntax = fileSyntax;
    if (auto cell = SharedFormulaToCell(tokens, {}, TExcelVersion::xvExcel97, baseCol, baseRow))
        return DecodeFormula(*cell, cell->size(), how);
    return DecodeFormula(tokens, tokens.size(), how);
}

std::u16string TFormulaHandler::RangeFormulaTextAt(int sheet, std::span<const uint8_t> tokens, int baseRow,
                                                   int baseCol, int row, int col) {
    if (tokens.empty() || (row == baseRow && col == baseCol))
        return RangeFormulaText(sheet, tokens, baseRow, baseCol, true);
    // Offsets from the base cell, which hold at any cell.
    const std::vector<uint8_t> relative = ToRelative({tokens.begin(), tokens.end()}, baseRow, baseCol);
    return RangeFormulaText(sheet, relative, row, col, true);
}

std::vector<uint8_t> TFormulaHandler::RangeFormulaTokens(int sheet, std::u16string_view text,
                                                         uint8_t operandClass, size_t maxSize, int baseRow,
                                                         int baseCol) {
    TFormulaEncoding how;
    how.Class = operandClass;
    how.MaxSize = maxSize;
    how.Sheet = sheet;
    how.BIFF8 = true;
    how.UserText = true;
    TEncodedFormula f = EncodeFormula(text, how);
    if (f.Data.size() != f.TokenLength) throw XLSError("Array constants are not allowed here");
    return ToRelative(std::move(f.Data), baseRow, baseCol);
}

bool TFormulaHandler::CompilesAsFormula(int sheet, std::u16string_view text, size_t maxSize) {
    TFormulaEncoding how;
    how.MaxSize = maxSize;
    how.Sheet = sheet;
    how.BIFF8 = true;
    try {
        EncodeFormula(text, how);
        return true;
    } catch (const XLSError&) {
        return false;
    }
}

} // namespace xls
