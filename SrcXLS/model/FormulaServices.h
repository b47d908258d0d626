// What the sheets need of the formula services (the workbook's formula
// handler): the text of a formula cell and the tokens the BIFF8 cell
// writer writes for it. The handler implements it, so the model never
// includes the formula code that builds on it.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TBaseArrayFormulaCell;
class TFormulaCell;

class IFormulaServices {
public:
    virtual ~IFormulaServices() = default;
    // The formula of a cell of the sheet at index sheet: in file syntax
    // ("." and ",", as GetAsFormula and the .xlsx writer want it) or with
    // the user's separators; a formula kept as .xlsx text as it was kept.
    virtual std::u16string CellFormulaText(int sheet, const TFormulaCell& cell, bool fileSyntax) = 0;
    // The tokens of a formula cell (tokens, then their array data) in the
    // layout of version (BIFF4, BIFF5 or BIFF8), converted from another
    // layout or encoded from kept text when needed; false when the formula
    // has no form there (its cached value is written instead), with the
    // reason in why when given; a package's formula whose areas pass the
    // limits of the version is written with them cut, and why says so.
    virtual bool FormulaTokens(int sheet, const TFormulaCell& cell, TExcelVersion version,
                               std::vector<uint8_t>& data, size_t& tokenLength,
                               std::string* why = nullptr) = 0;
    // The same for the array formula of an array's first cell (the tokens
    // its ARRAY record carries); the cells of the array hold a token that
    // points at that cell, the same in every layout.
    virtual bool ArrayFormulaTokens(int sheet, const TBaseArrayFormulaCell& cell, TExcelVersion version,
                                    std::vector<uint8_t>& data, size_t& tokenLength,
                                    std::string* why = nullptr) = 0;

    // The formulas of conditional formats and validations of a sheet: BIFF8
    // tokens without array data whose relative references are offsets from
    // a base cell (the top-left cell of their areas), as text with the
    // user's separators written for that cell. Making tokens raises the
    // encoder's XLSError for a text that does not compile, holds array
    // constants or is longer than maxSize.
    virtual std::u16string RangeFormulaText(int sheet, std::span<const uint8_t> tokens, int baseRow,
                                            int baseCol) = 0;
    virtual std::vector<uint8_t> RangeFormulaTokens(int sheet, std::u16string_view text, uint8_t operandClass,
                                                    size_t maxSize, int baseRow, int baseCol) = 0;
    // Whether a text compiles as a formula of at most maxSize bytes on the
    // sheet (a hyperlink's address into the workbook).
    virtual bool CompilesAsFormula(int sheet, std::u16string_view text, size_t maxSize) = 0;
    // Deletes the filter range name (built-in name 13) of the sheet at
    // index sheet wherever it stands; references to the names after it are
    // renumbered.
    virtual void DeleteFilterRangeName(int sheet) = 0;
};

} // namespace xls
