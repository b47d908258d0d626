// The formula evaluator: runs a formula's tokens (any of the three layouts)
// on a value stack and gives one value. References to formula cells that are
// not yet calculated are calculated first, from an explicit work list, so a
// chain of any length takes no native stack; a cell that takes part in a
// cycle gives #VALUE!. Defined names are evaluated with a bounded depth.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formulas/FormulaTokens.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace xls {

class TCell;
class TSheets;
class TSheet;
class TFormulaHandler;

// Receives the functions the evaluator does not compute: the function's
// name, the arguments in order (references and areas as 3-D ones) and the
// result, an error value with index 0 ("no result") until it is set.
using TFunctionHandler =
    std::function<void(std::u16string_view name, std::vector<TFormulaValue>& args, TFormulaValue& result)>;

// A value on the stack: a formula value, an array constant (its values row
// by row; V holds the first) or a union of references (V unused).
struct TEvalValue {
    TFormulaValue V;
    std::shared_ptr<const std::vector<TFormulaValue>> List;
    int ListCols = 0;
    bool Union = false;
};

class TFormulaEvaluator {
public:
    // Deepest nesting of defined names inside one another.
    static constexpr int MaxNameDepth = 64;

    TFormulaEvaluator(TSheets& sheets, TFormulaHandler& handler);
    ~TFormulaEvaluator();

    TFunctionHandler OnFunction;

    // The value of the formula cell at (col, row) of sheet; #N/A for a cell
    // without a formula. Results are kept until Reset, so each cell is
    // calculated once however often it is referred to. Raises the library's
    // messages for tokens it cannot run.
    void CalculateCell(int sheet, int col, int row, TFormulaValue& result);
    // Tokens (tokenLength bytes, then their array data) in the layout of
    // version, for the base cell (col, row) of sheet. A reference result
    // gives the cell's value; an area stays an area.
    // As an array formula (asArray), operators and the functions of single
    // values work on every element of arrays and areas; the result is then
    // the first element of the array computed.
    void EvaluateTokens(std::span<const uint8_t> data, size_t tokenLength, TExcelVersion version, int sheet,
                        int col, int row, TFormulaValue& result, bool asArray = false);
    // Forgets the calculated values (the cells changed).
    void Reset();

    // For the functions (FormulaFunctions.cpp).
    void CellValue(int sheet, int col, int row, TFormulaValue& out);
    // A stack value as one value: a reference by its cell, an area by the
    // cell in the formula's row or column, an array by its first value.
    TFormulaValue Scalar(const TEvalValue& v);
    // Every value of a reference, area, union or array in turn; false from
    // visit stops. Areas are limited to the cells the sheet stores, so the
    // blanks beyond them are not visited.
    void ForEachValue(const TEvalValue& v, const std::function<bool(const TFormulaValue&)>& visit);
    TSheet* SheetAt(int index);
    int BaseSheet() const { return frame.Sheet; }
    int BaseRow() const { return frame.Row; }
    int BaseCol() const { return frame.Col; }
    // Whether an array formula is being run.
    bool InArrayFormula() const { return frame.Array; }
    // How many cells the current run found not yet calculated.
    size_t MissingCount() const { return missing.size(); }

private:
    struct TFrame {
        int Sheet = 0, Col = 0, Row = 0;
        TTokenLayout Layout = TTokenLayout::BIFF8;
        bool Array = false;
    };
    // Rows and columns of a value as array arithmetic takes it.
    struct TShape {
        int64_t Rows = 1, Cols = 1;
    };

    void Drive(uint64_t key);
    // The stored extent of a sheet: first col, first row, last col, last row.
    const std::array<int, 4>& ExtentOf(int sheet, TSheet& s);
    void RunCell(uint64_t key, TFormulaValue& result);
    void Run(std::span<const uint8_t> data, size_t tokenLength, TTokenLayout layout, TEvalValue& result);
    // One token of a run: its value pushed or its operation done; false
    // ends the run. arrayPos is where the data of the next array constant
    // or memory area starts.
    bool RunToken(const TToken& t, std::span<const uint8_t> data, size_t& arrayPos);
    void PushString(const TToken& t);
    void PushArrayConstant(const TToken& t, std::span<const uint8_t> data, size_t& arrayPos);
    void PushNameToken(const TToken& t);
    // A reference or area of the formula's own sheet; of several sheets.
    void PushCells(const TToken& t);
    void Push3d(const TToken& t);
    void Operate(uint8_t op);
    // An array formula's element for the cell (col, row) of sheet, the
    // formula being that of cell (an array cell, a cell pointing into one,
    // or an .xlsx array formula); false when cell belongs to none.
    bool ArrayElement(int sheet, const TCell& cell, int col, int row, TFormulaValue& result);
    bool IsMulti(const TEvalValue& v) const;
    TShape ShapeOf(const TEvalValue& v) const;
    // The element (i, j) of v of shape s: a row or column of one repeats,
    // beyond that #N/A.
    TFormulaValue ElementAt(const TEvalValue& v, TShape s, int64_t i, int64_t j);
    // A new array of the shape; null when the budget of elements is spent.
    std::shared_ptr<std::vector<TFormulaValue>> NewArray(TShape s);
    void PushArray(std::shared_ptr<std::vector<TFormulaValue>> list, TShape s);
    void OperateElements(uint8_t op, const TEvalValue& first, const TEvalValue& second);
    void EvaluateElements(int index, std::vector<TEvalValue>& args, TEvalValue& result);
    void Function(int index, int count);
    void PushName(int index);
    void PushExternName(int entry, int number);
    void PushExternCells(const TToken& t, const uint8_t* q, int entry);
    void PushError(int index);
    TEvalValue Pop();
    void EvaluateFunction(int index, std::vector<TEvalValue>& args, TEvalValue& result);

    TSheets& sheets;
    TFormulaHandler& handler;
    TFrame frame;
    std::vector<TEvalValue> stack;
    // Where the values of the tokens being run start on the stack.
    size_t runBase = 0;
    // Calculated cells by key; cells being calculated; cells a run needed
    // that are not calculated yet.
    std::unordered_map<uint64_t, TFormulaValue> done;
    std::unordered_set<uint64_t> inProgress;
    std::vector<uint64_t> missing;
    std::vector<uint64_t> workList;
    // Defined names being evaluated (their positions), innermost last.
    std::vector<int> names;
    // The computed arrays of array formulas by their first cell's key.
    std::unordered_map<uint64_t, TEvalValue> arrays;
    // Elements of arrays the current run may still make.
    int64_t elementBudget = 0;

public:
    // The values of one kind in a LOOKUP vector with their positions, and
    // whether they ascend; kept for the pass.
    struct TLookupList {
        std::vector<int64_t> Positions;
        std::vector<TFormulaValue> Values;
        bool Sorted = true;
    };
    std::map<std::array<int64_t, 6>, std::shared_ptr<const TLookupList>> LookupLists;

private:
    // The stored extent of each sheet (first col, first row, last col, last row), -1 unknown.
    std::vector<std::array<int, 4>> extents;
    friend struct TFunctionContext;
};

// The evaluator of the built-in functions; index is the function number,
// args in order. Returns false for a function it does not compute.
bool ComputeFunction(TFormulaEvaluator& ev, int index, std::vector<TEvalValue>& args, TEvalValue& result);
// Whether a computed function gives one value from single values, so that
// in an array formula it is computed for each element of an array or area
// passed where it takes a value.
bool ComputesPerElement(int index);

} // namespace xls
