// Formula text (without the leading "=") to tokens: a tokenizer cuts the
// text into typed pieces and a recursive-descent parser writes the tokens
// in reverse Polish order. Failures raise XLSError with "Error in formula
// <text>\r" and the reason.
#pragma once

#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/formulas/TableReferences.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

// What the encoder asks about names and sheets; the formula handler answers.
class TFormulaNameResolver {
public:
    virtual ~TFormulaNameResolver() = default;
    // The 0-based index of a defined name, -1 when there is none. sheet is
    // the sheet part the name was written with ("" for none).
    virtual int DefinedNameIndex(std::u16string_view name, std::u16string_view sheet) = 0;
    // The EXTERNSHEET index of a sheet ("Sheet1", or "Sheet1:Sheet3" for a
    // range of sheets) of this workbook (path and file empty) or of another
    // workbook; -1 when it cannot be referred to. sheetIndex receives the
    // sheet's index in this workbook (-1 for another workbook).
    virtual int ExternSheetIndex(std::u16string_view path, std::u16string_view file,
                                 std::u16string_view sheet, int& sheetIndex) = 0;
    // Whether the workbook has a sheet of that name (any letter case): a
    // sheet read from a file may hold characters a quoted name may not.
    virtual bool HasSheet(std::u16string_view /*name*/) { return false; }
    // An external name (of an add-in when path and file are empty): its
    // EXTERNSHEET index and 1-based number; false when there is none.
    virtual bool ExternName(std::u16string_view path, std::u16string_view file, std::u16string_view name,
                            int& externIndex, int& number) = 0;
    // A function the function table lacks, called in a text of a file: true
    // with what calls it, found or made: a (hidden) function name (its
    // 0-based index in nameIndex) or an add-in's external name (externIndex
    // and its 1-based number; nameIndex -1). false when it has none.
    virtual bool FunctionName(std::u16string_view /*name*/, int& /*nameIndex*/, int& /*externIndex*/,
                              int& /*number*/) {
        return false;
    }
    // The cells of a structured reference to a table ("" for the table the
    // formula's cell at (baseRow, baseCol) stands in; selector the text in its
    // outer brackets): the area and, when the table lies on another sheet
    // than the formula, the EXTERNSHEET index of its sheet (else -1). False
    // with the reason in why.
    virtual bool TableReference(std::u16string_view /*table*/, std::u16string_view /*selector*/,
                                int /*baseRow*/, int /*baseCol*/, int& /*externIndex*/, TTableArea& /*area*/,
                                std::string& why) {
        why = "a table reference where there are no tables";
        return false;
    }
};

enum class TEncodeMode : uint8_t {
    emBIFF8 = 1,        // BIFF8 tokens, references within 256 x 65536
    em2007 = 2,         // the 2007 layout: a leading marker, 32-bit rows
    emOpenDocument = 3, // "[.A1]" style references, BIFF8 tokens
};

struct TEncodeOptions {
    TEncodeMode Mode = TEncodeMode::emBIFF8;
    TFormulaSyntax Syntax;
    // Class of the operands of the top-level expression: 0 the defaults,
    // 0x20 for formulas that must give references, 0x40, 0x60.
    uint8_t Class = 0;
    // The largest token stream (with its array data) the caller takes.
    size_t MaxSize = 8224;
    TFormulaNameResolver* Names = nullptr;
    // Functions the table lacks are called through names the resolver
    // finds or makes (texts of files); otherwise only through names that
    // exist, and any other is error 4.
    bool LaterFunctions = false;
    // The formula's own cell, for the row a table reference takes; -1 when none.
    int BaseRow = -1, BaseCol = -1;
    // Receives a numbered error (number, the whole message) instead of an
    // exception; the encoding then gives no tokens (TokenLength 0). An
    // error of the tokenizer is still raised after it, as "Error in formula".
    std::function<void(int number, const std::string& message)> OnError;
};

struct TEncodedFormula {
    std::vector<uint8_t> Data; // tokens, then the data of their array constants
    size_t TokenLength = 0;
    // The sheet index of the last 3-D reference encoded, -1 when none.
    int LastSheet = -1;
};

TEncodedFormula EncodeFormula(std::u16string_view text, const TEncodeOptions& options);

} // namespace xls
