// What the sheets need of the workbook that owns them: its pools, its text
// measurer, its settings and its progress. The component implements it, so
// the model below it never includes the component.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/XLSRange.h"

#include <optional>
#include <string>

namespace xls {

class TCellValuesList;
class TSST2;
class TCellFormats;
class TXFont;
class TTextMeasurer;
class IFormulaServices;
class TXFonts;
class TMSOPictures;
class TFormulaCell;
struct TDrawingNames;

// How a write's warning ends for a formula it cannot carry whose value it
// has neither cached nor computed (a blank is written).
inline constexpr const char* LostValue = "its value is lost (the file cached none and the library does not "
                                         "compute it)";
// The same for a formula whose cached value an edit made stale.
inline constexpr const char* StaleValueLost = "its value is lost (an edit changed what it computes from and "
                                              "the library does not compute it)";
inline const char* ValueLost(bool stale) {
    return stale ? StaleValueLost : LostValue;
}

class IWorkbookContext : public ICellOperations {
public:
    virtual TCellValuesList& CellStores() = 0;
    virtual TSST2& Strings() = 0;
    virtual TCellFormats& DefaultFormats() = 0;
    // Font 0 of the pool, nullptr when the pool is empty.
    virtual TXFont* GetFont() const = 0;
    virtual TXFonts& Fonts() = 0;
    // The picture store, which the sheet drawings register with.
    virtual TMSOPictures& Pictures() = 0;
    // The defined names as the macros of controls see them.
    virtual const TDrawingNames* DrawingNames() const = 0;
    virtual TTextMeasurer& Measurer() = 0;
    virtual bool FormulasShown() const = 0;
    virtual TPaperSize DefaultPaperSize() const = 0;
    // The version of the file read last, xvNone for a workbook made here.
    virtual TExcelVersion GetOrigVersion() const = 0;
    virtual int GetMaxRecSize() const = 0;
    // Whether anyone follows the progress of a write.
    virtual bool ReportsProgress() const = 0;
    // Called by the cell writer once per 100 cells written.
    virtual void ProgressStep() = 0;
    // The formula handler.
    virtual IFormulaServices& Formulas() = 0;
    // The value of the formula cell at (col, row) of sheet, computed from
    // the cells and names it refers to.
    virtual void CalculateCell(int sheet, int col, int row, TFormulaValue& value) = 0;
    // The same as a value a file can hold (a number, text, boolean or
    // error); none where the evaluator gives none: a function or token it
    // does not compute. During a write one calculation serves every cell.
    virtual std::optional<TFormulaValue> ComputedFormulaValue(int sheet, int col, int row) = 0;
    // The value a formula cell keeps where a write cannot carry its formula:
    // the result cached with it, or, where the file read cached none (a
    // package's formula without a value, a package calculated on load, the
    // empty text some writers cache for every formula), the computed value;
    // none when there is neither.
    virtual std::optional<TFormulaValue> FormulaValueToKeep(int sheet, const TFormulaCell& cell) = 0;
    // The result a formula is written with beside it: the one it holds, or,
    // where it holds none (set without one, copied or moved, read without
    // one), the computed value; none where there is neither (the file then
    // asks for a calculation on load). In a package calculated on load the
    // results held are provisional: the computed value comes first.
    virtual std::optional<TFormulaValue> FormulaResultToWrite(int sheet, const TFormulaCell& cell) = 0;
    // Whether the file read asks for every formula to be calculated when it
    // is opened (a package's fullCalcOnLoad): a copy asks the same.
    virtual bool CalculatedOnLoad() const = 0;
    // Notes a part of the file that the read or write in progress left behind
    // or could not carry (UTF-8, one line each); the read or write goes on.
    virtual void AddWarning(std::string text) = 0;
    // Notes what an edit through the library could not keep as given (a
    // text cut to what a cell holds): it shows at once and again among the
    // warnings of the next write, which carries the change.
    virtual void AddEditWarning(std::string text) = 0;
};

} // namespace xls
