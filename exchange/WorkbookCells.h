// What the workbook imports take from the cells of a workbook they read. A
// formula cell gives its cached value where the writer computed one, and the
// value the workbook library computes where the package asks for a full
// calculation on load or the cell holds no cached value (an empty text
// counts as none: some writers store one for every formula); a formula with
// neither gives no value, which no column takes.
// The workbook headers come before Qt's: include this from plain sources.
#pragma once

#include "SrcXLS/Tabrix4.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace exchange {

struct WorkbookValue {
    int type = xls::ctNone; // the cell's type code, 0 for no cell
    // As TSheet::GetAsVariant gives it; a computed formula's value in the same
    // forms (an error as its text).
    xls::TCellVariant value;
    // An error value, or a formula without a value.
    bool error = false;

    // A number cell, or a formula whose value is a number.
    bool IsNumber() const;
    // What a number column's row is read for: a number, or an error or a
    // formula without a value, which gets the column's message rather than
    // passing silently; a text (a caption) is none.
    bool IsNumberOrError() const { return IsNumber() || error; }
    // The number rounded to the nearest integer (ties to even) within 32
    // bits; nothing for another value.
    std::optional<int64_t> Integer() const;
};

class WorkbookCells {
public:
    WorkbookCells(xls::TTabrix4& book, int sheetIndex);
    ~WorkbookCells();
    WorkbookCells(const WorkbookCells&) = delete;
    WorkbookCells& operator=(const WorkbookCells&) = delete;

    xls::TSheet& Sheet() { return sheet; }
    WorkbookValue At(int col, int row);
    // The cell as text: TSheet::GetAsString, or the text of a computed value.
    std::u16string Text(int col, int row);

private:
    // Whether the formula cell at (col, row) takes the computed value.
    bool Computes(int col, int row, const xls::TCellVariant& cached);
    // The library's value of the formula; nothing when it cannot compute it.
    std::optional<xls::TFormulaValue> Computed(int col, int row);

    xls::TTabrix4& book;
    xls::TSheet& sheet;
    int sheetIndex;
    bool fullCalculation;
    xls::TTabrix4::TCalculationPass pass;
};

// Reads `path` (UTF-8) into the cleared component. A workbook the library
// refuses raises its text after a sentence of ours that names the file; a
// text that names the file already (the system's reason why it cannot be
// opened or read) is raised as it is.
void ReadImportWorkbook(xls::TTabrix4& book, const std::string& path);
// "Не вдається прочитати книгу Excel <path>:" + CR LF + the library's text.
std::string WorkbookFailureText(const std::string& path, const std::string& reason);

} // namespace exchange
