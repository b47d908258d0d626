#include "SrcXLS/formulas/FormulaEvaluator.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/FormulaValues.h"
#include "SrcXLS/formulas/FunctionTable.h"
#include "SrcXLS/formulas/LaterFunctions.h"
#include "SrcXLS/model/Sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace xls {

namespace {

using L = TTokenLayout;

// The function index a call by name (fn::External) is evaluated under: its
// first argument names the function. Indexes from it on are handed over
// without their argument count checked.
constexpr int CalledByName = 338;
// A name of an older file used for its value.
// The elements the arrays of one cell's calculation may make in all: a
// whole column of a package once.
constexpr int64_t MaxArrayElements = int64_t(1) << 20;

uint64_t CellKey(int sheet, int col, int row) {
    return (uint64_t(uint16_t(sheet)) << 48) | (uint64_t(uint16_t(col)) << 32) | uint32_t(row);
}

using TAddress = TRefAddress;

bool IsReference(const TEvalValue& v) {
    return v.Union || v.V.ValType == fvXRef || v.V.ValType == fvXArea || v.V.ValType == fvRef ||
           v.V.ValType == fvArea;
}

TFormulaValue ArrayValue(const TArrayValue& a) {
    TFormulaValue v;
    switch (a.Kind) {
    case TArrayValue::avNumber:
        SetFormulaValueFloat(v, a.Number);
        break;
    case TArrayValue::avString:
        SetFormulaValueString(v, a.Text);
        break;
    case TArrayValue::avBoolean:
        SetFormulaValueBoolean(v, a.Code != 0);
        break;
    case TArrayValue::avError: {
        const int e = ErrorCodeToIndex(a.Code);
        SetFormulaValueError(v, e ? e : fe::Value);
        break;
    }
    default:
        break;
    }
    return v;
}

// The areas a reference value covers (3-D, normalised corners).
void AreasOf(const TEvalValue& v, std::vector<TFormulaValue>& out) {
    if (v.Union) {
        if (v.List) out.insert(out.end(), v.List->begin(), v.List->end());
        return;
    }
    TFormulaValue a = v.V;
    if (a.ValType == fvXRef || a.ValType == fvRef) a.ValType = fvXArea;
    if (a.ValType == fvArea) a.ValType = fvXArea;
    if (a.Col1 > a.Col2) std::swap(a.Col1, a.Col2);
    if (a.Row1 > a.Row2) std::swap(a.Row1, a.Row2);
    out.push_back(a);
}

// The result an array formula's program computed for one of its cells.
void ArrayResult(const TCell& cell, TFormulaValue& out) {
    if (cell.CellType() == ctStringArrayFormula) {
        SetFormulaValueString(out, static_cast<const TStringArrayFormulaCell&>(cell).Value);
        return;
    }
    const auto& a = static_cast<const TNumberArrayFormulaCell&>(cell);
    if (a.ResultKind == fvBoolean)
        SetFormulaValueBoolean(out, a.ResultCode != 0);
    else if (a.ResultKind == fvError)
        SetFormulaValueError(out, a.ResultCode ? a.ResultCode : fe::Value);
    else
        SetFormulaValueFloat(out, a.Value);
}

std::string Format(const char* pattern, const std::u16string& name, int count = -1) {
    const std::string n = WideToUtf8(name);
    char buf[512];
    if (count >= 0)
        std::snprintf(buf, sizeof buf, pattern, count, n.c_str());
    else
        std::snprintf(buf, sizeof buf, pattern, n.c_str());
    return buf;
}

} // namespace

TFormulaEvaluator::TFormulaEvaluator(TSheets& sheets, TFormulaHandler& handler)
    : sheets(sheets), handler(handler) {}
TFormulaEvaluator::~TFormulaEvaluator() = default;

void TFormulaEvaluator::Reset() {
    done.clear();
    inProgress.clear();
    missing.clear();
    extents.clear();
    LookupLists.clear();
    arrays.clear();
}

TSheet* TFormulaEvaluator::SheetAt(int index) {
    if (index < 0 || index >= sheets.Count()) return nullptr;
    return &sheets.Items(index);
}

void TFormulaEvaluator::CalculateCell(int sheet, int col, int row, TFormulaValue& result) {
    TSheet* s = SheetAt(sheet);
    TCell* cell = s && col >= 0 && row >= 0 && col <= TCellStorage::MaxCol && row <= TCellStorage::MaxRow
                      ? s->GetCell(col, row)
                      : nullptr;
    if (!cell || !cell->IsFormula()) {
        SetFormulaValueError(result, fe::NA);
        return;
    }
    const uint64_t key = CellKey(sheet, col, row);
    if (auto it = done.find(key); it != done.end()) {
        result = it->second;
        return;
    }
    Drive(key);
    result = done[key];
}

void TFormulaEvaluator::Drive(uint64_t root) {
    if (done.empty()) {
        size_t cells = 0;
        for (int s = 0; s < sheets.Count(); ++s) cells += size_t(sheets.Items(s).Cells().Count());
        done.reserve(std::min<size_t>(cells, 1 << 22));
    }
    std::vector<uint64_t>& work = workList;
    work.assign(1, root);
    try {
        while (!work.empty()) {
            const uint64_t key = work.back();
            if (done.count(key)) {
                work.pop_back();
                continue;
            }
            inProgress.insert(key);
            missing.clear();
            TFormulaValue value;
            RunCell(key, value);
            if (!missing.empty()) {
                // Calculated first; this cell runs again after them.
                work.insert(work.end(), missing.begin(), missing.end());
                continue;
            }
            done.emplace(key, std::move(value));
            inProgress.erase(key);
            work.pop_back();
        }
    } catch (...) {
        for (uint64_t key : work) inProgress.erase(key);
        missing.clear();
        throw;
    }
}

void TFormulaEvaluator::RunCell(uint64_t key, TFormulaValue& result) {
    const int sheet = int(key >> 48), col = int((key >> 32) & 0xFFFF), row = int(uint32_t(key));
    TSheet& s = *SheetAt(sheet);
    TCell* cell = s.GetCell(col, row);
    const TCellType type = cell->CellType();
    auto& f = static_cast<TFormulaCell&>(*cell);
    const std::span<const uint8_t> data = f.Data();
    elementBudget = MaxArrayElements;
    if (ArrayElement(sheet, *cell, col, row, result)) return;
    // Arrays of the oldest layouts and table cells keep the result their
    // program computed.
    if (type == ctNumberArrayFormula || type == ctStringArrayFormula) {
        ArrayResult(*cell, result);
        return;
    }
    if (!f.IsText() && f.TokenLength() > 0 && (data[0] == ptg::Exp || data[0] == ptg::Tbl)) {
        s.GetCellValue(col, row, result);
        return;
    }
    TEncodedFormula e;
    if (f.IsText() && !handler.CompileText(sheet, f, e)) {
        SetFormulaValueError(result, fe::Name);
        return;
    }
    const TFrame saved = frame;
    frame = {sheet, col, row, TokenLayoutOf(f.TokenVersion())};
    TEvalValue v;
    try {
        if (f.IsText()) {
            frame.Layout = L::BIFF8;
            Run(e.Data, e.TokenLength, L::BIFF8, v);
        } else {
            Run(data, size_t(f.TokenLength()), frame.Layout, v);
        }
    } catch (...) {
        frame = saved;
        throw;
    }
    result = Scalar(v);
    // A formula showing an empty cell shows 0.
    if (result.ValType == fvNull) SetFormulaValueFloat(result, 0);
    frame = saved;
}

bool TFormulaEvaluator::ArrayElement(int sheet, const TCell& cell, int col, int row, TFormulaValue& result) {
    TSheet& s = *SheetAt(sheet);
    const TCell* holder = &cell;
    const auto& f = static_cast<const TFormulaCell&>(cell);
    const std::span<const uint8_t> own = f.Data();
    // A cell that points into an array (tExp alone) takes the array's element.
    if (!f.IsText() && !dynamic_cast<const TBaseArrayFormulaCell*>(&cell) && f.TokenLength() == 5 &&
        own[0] == ptg::Exp) {
        holder = s.GetCell(GetU16(own.data() + 3), GetU16(own.data() + 1));
        if (!holder || !dynamic_cast<const TBaseArrayFormulaCell*>(holder)) return false;
    }
    int col1, row1, col2, row2;
    if (!s.ArrayFormulaArea(*holder, col1, row1, col2, row2)) return false;
    if (col < col1 || col > col2 || row < row1 || row > row2) return false;
    const auto* array = dynamic_cast<const TBaseArrayFormulaCell*>(holder);
    if (array && array->TokenVersion() < TExcelVersion::xvExcel30) return false;
    const uint64_t key = CellKey(sheet, col1, row1);
    auto it = arrays.find(key);
    if (it == arrays.end()) {
        const TFrame saved = frame;
        TEvalValue v;
        try {
            if (array) {
                const TTokenLayout layout = TokenLayoutOf(array->TokenVersion());
                frame = {sheet, col1, row1, layout, true};
                Run(array->ArrayData().subspan(TBaseArrayFormulaCell::ArrayHeadSize),
                    size_t(array->GetArrayTokenLength()), layout, v);
            } else {
                TEncodedFormula e;
                if (!handler.CompileText(sheet, static_cast<const TFormulaCell&>(*holder), e)) {
                    frame = saved;
                    SetFormulaValueError(result, fe::Name);
                    return true;
                }
                frame = {sheet, int(holder->Col), int(holder->Row), L::BIFF8, true};
                Run(e.Data, e.TokenLength, L::BIFF8, v);
            }
        } catch (...) {
            frame = saved;
            throw;
        }
        frame = saved;
        // Run again once the cells it needs are calculated.
        if (!missing.empty()) return true;
        it = arrays.emplace(key, std::move(v)).first;
    }
    const TFrame saved = frame;
    frame = {sheet, col1, row1, frame.Layout, true};
    result = ElementAt(it->second, ShapeOf(it->second), int64_t(row) - row1, int64_t(col) - col1);
    frame = saved;
    if (result.ValType == fvNull) SetFormulaValueFloat(result, 0);
    return true;
}

void TFormulaEvaluator::EvaluateTokens(std::span<const uint8_t> data, size_t tokenLength,
                                       TExcelVersion version, int sheet, int col, int row,
                                       TFormulaValue& result, bool asArray) {
    const TFrame saved = frame;
    for (;;) {
        frame = {sheet, col, row, TokenLayoutOf(version), asArray};
        missing.clear();
        elementBudget = MaxArrayElements;
        TEvalValue v;
        try {
            Run(data, tokenLength, frame.Layout, v);
        } catch (...) {
            frame = saved;
            throw;
        }
        if (asArray) {
            frame.Array = true;
            result = ElementAt(v, ShapeOf(v), 0, 0);
        }
        frame = saved;
        if (missing.empty()) {
            if (asArray) return;
            if (v.V.ValType == fvXRef || v.V.ValType == fvRef)
                result = Scalar(v);
            else
                result = v.V;
            return;
        }
        const std::vector<uint64_t> needed = std::move(missing);
        missing.clear();
        for (uint64_t key : needed) Drive(key);
    }
}

void TFormulaEvaluator::CellValue(int sheet, int col, int row, TFormulaValue& out) {
    TSheet* s = SheetAt(sheet);
    if (!s) {
        SetFormulaValueError(out, fe::Ref);
        return;
    }
    TCell* cell = col >= 0 && row >= 0 && col <= TCellStorage::MaxCol && row <= TCellStorage::MaxRow
                      ? s->GetCell(col, row)
                      : nullptr;
    if (!cell || cell->CellType() == ctBlank) {
        SetFormulaValueEmpty(out);
        return;
    }
    const TCellType type = cell->CellType();
    if (type == ctNumberArrayFormula || type == ctStringArrayFormula) {
        ArrayResult(*cell, out);
        return;
    }
    if (cell->IsFormula()) {
        const uint64_t key = CellKey(sheet, col, row);
        if (auto it = done.find(key); it != done.end()) {
            out = it->second;
        } else if (inProgress.count(key)) {
            SetFormulaValueError(out, fe::Value); // a cycle
        } else {
            missing.push_back(key);
            SetFormulaValueEmpty(out);
        }
        return;
    }
    s->GetCellValue(col, row, out);
}

TFormulaValue TFormulaEvaluator::Scalar(const TEvalValue& v) {
    TFormulaValue out;
    if (v.Union) {
        SetFormulaValueError(out, fe::Value);
        return out;
    }
    const TFormulaValue& a = v.V;
    switch (a.ValType) {
    case fvRef:
    case fvXRef:
        CellValue(a.ValType == fvXRef ? a.Sheet : frame.Sheet, a.Col1, int(a.Row1), out);
        return out;
    case fvArea:
    case fvXArea: {
        const int sheet = a.ValType == fvXArea ? a.Sheet : frame.Sheet;
        const int c1 = std::min(a.Col1, a.Col2), c2 = std::max(a.Col1, a.Col2);
        const int64_t r1 = std::min(a.Row1, a.Row2), r2 = std::max(a.Row1, a.Row2);
        // The cell of the area in the formula's own row or column; of an
        // area of several rows and columns, the one in both (on another
        // sheet: on the own sheet that is the formula itself).
        const bool inRows = frame.Row >= r1 && frame.Row <= r2, inCols = frame.Col >= c1 && frame.Col <= c2;
        if (c1 == c2 && r1 == r2)
            CellValue(sheet, c1, int(r1), out);
        else if (c1 == c2 && inRows)
            CellValue(sheet, c1, frame.Row, out);
        else if (r1 == r2 && inCols)
            CellValue(sheet, frame.Col, int(r1), out);
        else if (inRows && inCols)
            CellValue(sheet, frame.Col, frame.Row, out);
        else
            SetFormulaValueError(out, fe::Value);
        return out;
    }
    default:
        return a;
    }
}

const std::array<int, 4>& TFormulaEvaluator::ExtentOf(int sheet, TSheet& s) {
    if (extents.size() <= size_t(sheet)) extents.resize(size_t(sheet) + 1, {-1, -1, -1, -1});
    auto& e = extents[size_t(sheet)];
    if (e[0] < 0) {
        TCellValues& store = s.Cells();
        if (store.Count() == 0) {
            e = {1, 1, 0, 0}; // nothing stored: an empty extent
        } else {
            store.CalcDimensions(TCellStorage::MaxCol, TCellStorage::MaxRow);
            e = {store.FirstCol, store.FirstRow, store.LastCol, store.LastRow};
        }
    }
    return e;
}

void TFormulaEvaluator::ForEachValue(const TEvalValue& v,
                                     const std::function<bool(const TFormulaValue&)>& visit) {
    if (v.List && !v.Union) {
        for (const TFormulaValue& x : *v.List)
            if (!visit(x)) return;
        return;
    }
    if (!IsReference(v)) {
        visit(v.V);
        return;
    }
    std::vector<TFormulaValue> areas;
    AreasOf(v, areas);
    TFormulaValue cell;
    for (TFormulaValue& a : areas) {
        const int sheet = a.Sheet;
        TSheet* s = SheetAt(sheet);
        if (!s) {
            SetFormulaValueError(cell, fe::Ref);
            if (!visit(cell)) return;
            continue;
        }
        const auto& e = ExtentOf(sheet, *s);
        const int64_t r1 = std::max<int64_t>(a.Row1, e[1]), r2 = std::min<int64_t>(a.Row2, e[3]);
        const int c1 = std::max<int>(a.Col1, e[0]), c2 = std::min<int>(a.Col2, e[2]);
        for (int64_t r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c) {
                CellValue(sheet, c, int(r), cell);
                if (!visit(cell)) return;
            }
    }
}

void TFormulaEvaluator::PushError(int index) {
    TEvalValue v;
    SetFormulaValueError(v.V, index);
    stack.push_back(std::move(v));
}

TEvalValue TFormulaEvaluator::Pop() {
    if (stack.empty()) throw XLSError("Empty stack");
    TEvalValue v = std::move(stack.back());
    stack.pop_back();
    return v;
}

void TFormulaEvaluator::Run(std::span<const uint8_t> data, size_t tokenLength, TTokenLayout layout,
                            TEvalValue& result) {
    const size_t base = stack.size();
    // The run's values start here; the caller's start again on every way out.
    struct TRestore {
        size_t& Target;
        size_t Value;
        ~TRestore() { Target = Value; }
    } restore{runBase, runBase};
    runBase = base;
    TTokenWalker walker(data.first(std::min(tokenLength, data.size())), layout);
    size_t arrayPos = tokenLength;
    TToken t;
    bool whole = false;
    for (;;) {
        const TWalkStatus status = walker.Next(t);
        if (status == TWalkStatus::End) {
            whole = true;
            break;
        }
        if (status != TWalkStatus::Token) {
            PushError(fe::Value);
            break;
        }
        if (!RunToken(t, data, arrayPos)) break;
    }
    if (stack.size() <= base) throw XLSError("Empty stack");
    // Tokens that leave more than one value are no formula: the last value
    // alone would be another one's result.
    if (whole && stack.size() > base + 1) {
        stack.resize(base);
        throw XLSError("Values left over");
    }
    result = std::move(stack.back());
    stack.resize(base);
}

bool TFormulaEvaluator::RunToken(const TToken& t, std::span<const uint8_t> data, size_t& arrayPos) {
    const uint8_t* p = t.Data;
    const bool biff8 = t.Layout == L::BIFF8 || t.Layout == L::X2007;
    TEvalValue v;
    switch (t.Base) {
    case ptg::Exp:
    case ptg::Tbl:
        throw XLSError("Illegal ptg in formula");
    case ptg::Paren:
    case ptg::Sheet:
    case ptg::EndSheet:
    case ptg::MemErr:
    case ptg::MemNoMem:
    case ptg::MemFunc:
    case ptg::MemAreaN:
    case ptg::MemNoMemN:
        break;
    case ptg::MemArea: {
        // Its cached areas stand in the data after the tokens.
        TByteReader r(data.subspan(std::min(arrayPos, data.size())));
        const size_t areas = r.U16("memory areas");
        r.Skip(areas * (biff8 ? 8 : 6), "memory areas");
        arrayPos += r.Position();
        break;
    }
    case ptg::MissArg:
        stack.emplace_back();
        break;
    case ptg::Str:
        PushString(t);
        break;
    case ptg::Extended:
        if (t.Size > 3 && (p[0] == 6 || p[0] == 7))
            PushName(GetU16(p + 1));
        else
            PushError(fe::Value);
        break;
    case ptg::Attr:
        if (p[0] & attr::Sum) Function(fn::Sum, 1);
        break;
    case ptg::Err: {
        const int e = ErrorCodeToIndex(p[0]);
        PushError(e ? e : fe::Value);
        break;
    }
    case ptg::Bool:
        SetFormulaValueBoolean(v.V, p[0] != 0);
        stack.push_back(std::move(v));
        break;
    case ptg::Int:
        SetFormulaValueFloat(v.V, GetU16(p));
        stack.push_back(std::move(v));
        break;
    case ptg::Num: {
        double d;
        std::memcpy(&d, p, 8);
        SetFormulaValueFloat(v.V, d);
        stack.push_back(std::move(v));
        break;
    }
    case ptg::Array:
        PushArrayConstant(t, data, arrayPos);
        break;
    case ptg::Func: {
        const int number = FunctionCallOf(t).Number;
        Function(number, number < ExcelFunctionCount ? ExcelFunction(number).MinArgs : 0);
        break;
    }
    case ptg::FuncVar: {
        const TFunctionCall call = FunctionCallOf(t);
        // What a macro sheet's command does is not computed.
        if (call.Command) throw XLSError("Can not calculate macro command " + std::to_string(call.Number));
        Function(call.Number == fn::External ? CalledByName : call.Number, FuncVarCount(p[0], t.Layout));
        break;
    }
    case ptg::Name:
    case ptg::NameX:
        PushNameToken(t);
        break;
    case ptg::Ref:
    case ptg::RefN:
    case ptg::Area:
    case ptg::AreaN:
        PushCells(t);
        break;
    case ptg::RefErr:
    case ptg::AreaErr:
    case ptg::RefErr3d:
    case ptg::AreaErr3d:
        PushError(fe::Ref);
        break;
    case ptg::Ref3d:
    case ptg::Area3d:
        Push3d(t);
        break;
    default:
        if (t.Id >= ptg::Add && t.Id <= ptg::Percent) {
            Operate(t.Id);
            break;
        }
        PushError(fe::Value);
        return false;
    }
    return true;
}

void TFormulaEvaluator::PushString(const TToken& t) {
    const uint8_t* p = t.Data;
    const size_t n = p[0];
    std::u16string text;
    if (t.Layout == L::BIFF8 || t.Layout == L::X2007) {
        const bool wide = p[1] & 1;
        for (size_t i = 0; i < n; ++i)
            text.push_back(wide ? char16_t(GetU16(p + 2 + 2 * i)) : char16_t(p[2 + i]));
    } else {
        text = CodePageToWide(std::string_view(reinterpret_cast<const char*>(p + 1), n), handler.CodePage);
    }
    TEvalValue v;
    SetFormulaValueString(v.V, text);
    stack.push_back(std::move(v));
}

void TFormulaEvaluator::PushArrayConstant(const TToken& t, std::span<const uint8_t> data, size_t& arrayPos) {
    const TArrayConstant a = ReadArrayConstant(data, arrayPos, t.Layout, handler.CodePage);
    auto list = std::make_shared<std::vector<TFormulaValue>>();
    list->reserve(a.Values.size());
    for (const TArrayValue& x : a.Values) list->push_back(ArrayValue(x));
    TEvalValue v;
    if (!list->empty()) v.V = list->front();
    v.ListCols = a.Cols;
    v.List = std::move(list);
    stack.push_back(std::move(v));
}

void TFormulaEvaluator::PushNameToken(const TToken& t) {
    const uint8_t* p = t.Data;
    if (t.Layout == L::BIFF8 || t.Layout == L::X2007) {
        if (t.Base == ptg::Name)
            PushName(GetU16(p));
        else
            PushExternName(GetU16(p), GetU16(p + 2));
        return;
    }
    // Older layouts hold the name's number first; BIFF5 names one of the
    // workbook's own through a negative EXTERNSHEET index.
    if (t.Base == ptg::Name)
        PushName(GetU16(p));
    else if (t.Layout == L::BIFF5 && int16_t(GetU16(p)) < 0)
        PushName(GetU16(p + 10));
    else
        PushError(fe::Name);
}

void TFormulaEvaluator::PushCells(const TToken& t) {
    const uint8_t* p = t.Data;
    TEvalValue v;
    if (t.Base == ptg::Ref || t.Base == ptg::RefN) {
        TAddress a = ReadRefAddress(p, p + (t.Layout == L::X2007 ? 4 : 2), t.Layout);
        if (t.Base == ptg::RefN) ResolveRefAddress(a, t.Layout, frame.Row, frame.Col);
        SetFormulaValueXRef(v.V, int(a.Col), int(a.Row), frame.Sheet);
    } else {
        TAddress a, b;
        ReadAreaAddresses(p, t.Layout, a, b);
        if (t.Base == ptg::AreaN) {
            ResolveRefAddress(a, t.Layout, frame.Row, frame.Col);
            ResolveRefAddress(b, t.Layout, frame.Row, frame.Col);
        }
        SetFormulaValueXArea(v.V, int(a.Col), int(a.Row), int(b.Col), int(b.Row), frame.Sheet);
    }
    stack.push_back(std::move(v));
}

void TFormulaEvaluator::Push3d(const TToken& t) {
    const uint8_t* p = t.Data;
    int first = -1, last = -1, entry = -1;
    const uint8_t* q;
    if (t.Layout == L::BIFF8 || t.Layout == L::X2007) {
        const TExternalNames& ext = handler.Externals();
        entry = GetU16(p);
        first = ext.GetSelfSheet(entry);
        if (first >= 0) last = ext.Entry(entry).Last;
        q = p + 2;
    } else {
        // Own-book references have a negative index.
        if (int16_t(GetU16(p)) < 0) {
            first = GetU16(p + 10);
            last = GetU16(p + 12);
        }
        q = p + 14;
    }
    if (first < 0 && entry >= 0) {
        PushExternCells(t, q, entry);
        return;
    }
    if (first < 0 || first >= 0xF000 || !SheetAt(first) || last < first) {
        PushError(fe::Ref);
        return;
    }
    if (last >= sheets.Count()) last = sheets.Count() - 1;
    TAddress a, b;
    if (t.Base == ptg::Ref3d)
        a = b = ReadRefAddress(q, q + (t.Layout == L::X2007 ? 4 : 2), t.Layout);
    else
        ReadAreaAddresses(q, t.Layout, a, b);
    TEvalValue v;
    if (first == last) {
        if (t.Base == ptg::Ref3d)
            SetFormulaValueXRef(v.V, int(a.Col), int(a.Row), first);
        else
            SetFormulaValueXArea(v.V, int(a.Col), int(a.Row), int(b.Col), int(b.Row), first);
    } else {
        // Sheet1:Sheet3!A1 covers the cell on each of the sheets.
        auto list = std::make_shared<std::vector<TFormulaValue>>();
        for (int s = first; s <= last; ++s) {
            list->emplace_back();
            SetFormulaValueXArea(list->back(), int(a.Col), int(a.Row), int(b.Col), int(b.Row), s);
        }
        v.List = std::move(list);
        v.Union = true;
    }
    stack.push_back(std::move(v));
}

void TFormulaEvaluator::PushName(int index) {
    TInternalNames& list = handler.Names();
    if (index < 1 || index > list.Count()) {
        PushError(fe::Name);
        return;
    }
    const int position = index - 1;
    TInternalName& name = list.Items(position);
    if (name.Options & (noFunction | noVBAProcedure)) {
        // The function's own name: "_xlfn.CONCAT" calls CONCAT.
        TEvalValue v;
        SetFormulaValueString(v.V, std::u16string(WithoutFuturePrefix(name.GetName())));
        stack.push_back(std::move(v));
        return;
    }
    // A name met again inside itself is a cycle; nesting is bounded.
    if (int(names.size()) >= MaxNameDepth || std::find(names.begin(), names.end(), position) != names.end()) {
        PushError(fe::Value);
        return;
    }
    std::vector<uint8_t> encoded;
    std::span<const uint8_t> data = name.Data;
    size_t tokenLength = name.TokenLength;
    // A name's own text runs over the cells as they are, whatever a write
    // to another version made of it.
    if (!name.FormulaText.empty()) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Layout2007 = true;
        how.Sheet = name.SheetNumber ? name.SheetNumber - 1 : -1;
        try {
            TEncodedFormula e = handler.EncodeFormula(name.FormulaText, how);
            encoded = std::move(e.Data);
            tokenLength = e.TokenLength;
        } catch (const XLSError&) {
            PushError(fe::Name);
            return;
        }
        data = encoded;
    }
    if (tokenLength == 0) {
        PushError(fe::Name);
        return;
    }
    names.push_back(position);
    const TTokenLayout savedLayout = frame.Layout;
    TEvalValue v;
    try {
        Run(data, tokenLength, L::BIFF8, v);
    } catch (...) {
        names.pop_back();
        frame.Layout = savedLayout;
        throw;
    }
    names.pop_back();
    frame.Layout = savedLayout;
    stack.push_back(std::move(v));
}

// A reference into another workbook (BIFF8) gives the values the file
// cached for it (CRN records): a cell its value, an area its values row by
// row as an array; what the file did not cache is #REF! or #VALUE!.
void TFormulaEvaluator::PushExternCells(const TToken& t, const uint8_t* q, int entry) {
    // An area of more cells than this (a million: whole columns of a binary
    // sheet fit) gives #REF! rather than a list that large.
    constexpr int64_t MaxCells = int64_t(1) << 20;
    TEvalValue v;
    if (t.Base == ptg::Ref3d) {
        const TAddress a = ReadRefAddress(q, q + (t.Layout == L::X2007 ? 4 : 2), t.Layout);
        handler.ExternCellValue(entry, 0, int(a.Row), int(a.Col), v.V);
        stack.push_back(std::move(v));
        return;
    }
    TAddress a, b;
    ReadAreaAddresses(q, t.Layout, a, b);
    const int64_t rows = b.Row - a.Row + 1, cols = b.Col - a.Col + 1;
    if (rows <= 0 || cols <= 0 || rows * cols > MaxCells) {
        PushError(fe::Ref);
        return;
    }
    auto list = std::make_shared<std::vector<TFormulaValue>>(size_t(rows * cols));
    for (int64_t r = 0; r < rows; ++r)
        for (int64_t c = 0; c < cols; ++c)
            handler.ExternCellValue(entry, 0, int(a.Row + r), int(a.Col + c), (*list)[size_t(r * cols + c)]);
    v.V = list->front();
    v.ListCols = int(cols);
    v.List = std::move(list);
    stack.push_back(std::move(v));
}

void TFormulaEvaluator::PushExternName(int entry, int number) {
    const TExternalNames& ext = handler.Externals();
    if (!ext.BookOf(entry)) {
        PushError(fe::Ref);
        return;
    }
    if (ext.GetSelfSheet(entry) >= 0) {
        PushName(number);
        return;
    }
    TEvalValue v;
    ext.GetNameValue(entry, number, v.V);
    stack.push_back(std::move(v));
}

namespace {

// An operator of one operand on a single value.
TFormulaValue UnaryOperation(uint8_t op, const TFormulaValue& x) {
    TFormulaValue r;
    // A leading plus keeps its operand, texts too.
    if (op == ptg::Uplus) return x;
    double d;
    if (int e = ValueToNumber(x, d))
        SetFormulaValueError(r, e);
    else
        // -0 shows as 0.
        SetFormulaValueFloat(r, op == ptg::Uminus ? 0 - d : d / 100);
    return r;
}

// An operator of two operands on single values.
TFormulaValue BinaryOperation(uint8_t op, const TFormulaValue& a, const TFormulaValue& b) {
    TFormulaValue r;
    if (a.ValType == fvError || b.ValType == fvError) return a.ValType == fvError ? a : b;
    if (op == ptg::Concat) {
        SetFormulaValueString(r, ValueText(a) + ValueText(b));
    } else if (op >= ptg::LT && op <= ptg::NE) {
        const int c = CompareScalars(a, b);
        const bool results[] = {c<0, c <= 0, c == 0, c >= 0, c> 0, c != 0};
        SetFormulaValueBoolean(r, results[op - ptg::LT]);
    } else {
        double x = 0, y = 0;
        int e = ValueToNumber(a, x);
        if (!e) e = ValueToNumber(b, y);
        if (e) {
            SetFormulaValueError(r, e);
        } else if (op == ptg::Div && y == 0) {
            SetFormulaValueError(r, fe::Div0);
        } else if (op == ptg::Power && x == 0 && y < 0) {
            SetFormulaValueError(r, fe::Div0);
        } else {
            double z = 0;
            switch (op) {
            case ptg::Add:
                z = CancellingAdd(x, y);
                break;
            case ptg::Sub:
                z = CancellingSubtract(x, y);
                break;
            case ptg::Mul:
                z = x * y;
                break;
            case ptg::Div:
                z = x / y;
                break;
            default:
                z = std::pow(x, y);
                break;
            }
            if (std::isfinite(z))
                SetFormulaValueFloat(r, z);
            else
                SetFormulaValueError(r, fe::Num);
        }
    }
    return r;
}

} // namespace

void TFormulaEvaluator::Operate(uint8_t op) {
    const bool unary = op == ptg::Uplus || op == ptg::Uminus || op == ptg::Percent;
    const size_t needed = unary ? 1 : 2;
    if (stack.size() < runBase + needed) throw XLSError("Value is missing");
    TEvalValue second = Pop();
    TEvalValue result;
    TFormulaValue& r = result.V;
    if (unary) {
        if (frame.Array && IsMulti(second)) {
            OperateElements(op, second, second);
            return;
        }
        r = UnaryOperation(op, Scalar(second));
        stack.push_back(std::move(result));
        return;
    }
    TEvalValue first = Pop();
    if (op == ptg::Range || op == ptg::Union || op == ptg::Isect) {
        if (!IsReference(first) || !IsReference(second)) {
            SetFormulaValueError(r, fe::Value);
            stack.push_back(std::move(result));
            return;
        }
        std::vector<TFormulaValue> areas;
        AreasOf(first, areas);
        const size_t split = areas.size();
        AreasOf(second, areas);
        if (op == ptg::Union) {
            result.Union = true;
            result.List = std::make_shared<std::vector<TFormulaValue>>(std::move(areas));
        } else if (op == ptg::Range) {
            TFormulaValue box = areas[0];
            bool sameSheet = true;
            for (const TFormulaValue& a : areas) {
                sameSheet = sameSheet && a.Sheet == box.Sheet;
                box.Col1 = std::min(box.Col1, a.Col1);
                box.Row1 = std::min(box.Row1, a.Row1);
                box.Col2 = std::max(box.Col2, a.Col2);
                box.Row2 = std::max(box.Row2, a.Row2);
            }
            if (sameSheet)
                r = box;
            else
                SetFormulaValueError(r, fe::Value);
        } else {
            // Intersection of the first operand's areas with the second's.
            std::vector<TFormulaValue> parts;
            for (size_t i = 0; i < split; ++i)
                for (size_t j = split; j < areas.size(); ++j) {
                    const TFormulaValue &a = areas[i], &b = areas[j];
                    if (a.Sheet != b.Sheet) continue;
                    TFormulaValue x = a;
                    x.Col1 = std::max(a.Col1, b.Col1);
                    x.Row1 = std::max(a.Row1, b.Row1);
                    x.Col2 = std::min(a.Col2, b.Col2);
                    x.Row2 = std::min(a.Row2, b.Row2);
                    if (x.Col1 <= x.Col2 && x.Row1 <= x.Row2) parts.push_back(x);
                }
            if (parts.empty())
                SetFormulaValueError(r, fe::Null);
            else if (parts.size() == 1)
                r = parts[0];
            else {
                result.Union = true;
                result.List = std::make_shared<std::vector<TFormulaValue>>(std::move(parts));
            }
        }
        stack.push_back(std::move(result));
        return;
    }
    if (frame.Array && (IsMulti(first) || IsMulti(second))) {
        OperateElements(op, first, second);
        return;
    }
    r = BinaryOperation(op, Scalar(first), Scalar(second));
    stack.push_back(std::move(result));
}

bool TFormulaEvaluator::IsMulti(const TEvalValue& v) const {
    const TShape s = ShapeOf(v);
    return !v.Union && (v.List || s.Rows * s.Cols > 1);
}

TFormulaEvaluator::TShape TFormulaEvaluator::ShapeOf(const TEvalValue& v) const {
    TShape s;
    if (v.Union) return s;
    if (v.List) {
        s.Cols = std::max(v.ListCols, 1);
        s.Rows = std::max<int64_t>(int64_t(v.List->size()) / s.Cols, 1);
        return s;
    }
    const TFormulaValue& a = v.V;
    if (a.ValType == fvArea || a.ValType == fvXArea) {
        s.Rows = std::abs(int64_t(a.Row2) - int64_t(a.Row1)) + 1;
        s.Cols = std::abs(int(a.Col2) - int(a.Col1)) + 1;
    }
    return s;
}

TFormulaValue TFormulaEvaluator::ElementAt(const TEvalValue& v, TShape s, int64_t i, int64_t j) {
    TFormulaValue out;
    if (s.Rows == 1) i = 0;
    if (s.Cols == 1) j = 0;
    if (i < 0 || j < 0 || i >= s.Rows || j >= s.Cols) {
        SetFormulaValueError(out, fe::NA);
        return out;
    }
    if (v.Union) {
        SetFormulaValueError(out, fe::Value);
        return out;
    }
    if (v.List) {
        const size_t k = size_t(i * s.Cols + j);
        if (k < v.List->size()) out = (*v.List)[k];
        return out;
    }
    const TFormulaValue& a = v.V;
    if (a.ValType != fvArea && a.ValType != fvXArea) return Scalar(v);
    const int sheet = a.ValType == fvXArea ? a.Sheet : frame.Sheet;
    const int64_t col = std::min(a.Col1, a.Col2) + j, row = std::min(a.Row1, a.Row2) + i;
    // Whole columns and rows reach far beyond the cells a sheet stores.
    if (TSheet* s = SheetAt(sheet)) {
        const auto& e = ExtentOf(sheet, *s);
        if (col < e[0] || col > e[2] || row < e[1] || row > e[3]) {
            SetFormulaValueEmpty(out);
            return out;
        }
    }
    CellValue(sheet, int(col), int(row), out);
    return out;
}

void TFormulaEvaluator::PushArray(std::shared_ptr<std::vector<TFormulaValue>> list, TShape s) {
    TEvalValue v;
    v.V = list->front();
    v.ListCols = int(s.Cols);
    v.List = std::move(list);
    stack.push_back(std::move(v));
}

std::shared_ptr<std::vector<TFormulaValue>> TFormulaEvaluator::NewArray(TShape s) {
    const int64_t n = s.Rows * s.Cols;
    if (n <= 0 || n > elementBudget) {
        elementBudget = 0;
        return nullptr;
    }
    elementBudget -= n;
    return std::make_shared<std::vector<TFormulaValue>>(size_t(n));
}

// Array arithmetic: the operator on each pair of elements; the result has
// the larger of the operands' rows and columns.
void TFormulaEvaluator::OperateElements(uint8_t op, const TEvalValue& first, const TEvalValue& second) {
    const bool unary = op == ptg::Uplus || op == ptg::Uminus || op == ptg::Percent;
    const TShape a = ShapeOf(first), b = ShapeOf(second);
    const TShape s{std::max(a.Rows, b.Rows), std::max(a.Cols, b.Cols)};
    const auto list = NewArray(s);
    if (!list) {
        PushError(fe::Num);
        return;
    }
    for (int64_t i = 0; i < s.Rows; ++i)
        for (int64_t j = 0; j < s.Cols; ++j) {
            const TFormulaValue y = ElementAt(second, b, i, j);
            (*list)[size_t(i * s.Cols + j)] =
                unary ? UnaryOperation(op, y) : BinaryOperation(op, ElementAt(first, a, i, j), y);
        }
    PushArray(list, s);
}

void TFormulaEvaluator::Function(int index, int count) {
    if (count < 0 || stack.size() < runBase + size_t(count)) throw XLSError("Value is missing");
    std::vector<TEvalValue> args(std::make_move_iterator(stack.end() - count),
                                 std::make_move_iterator(stack.end()));
    stack.resize(stack.size() - size_t(count));
    TEvalValue result;
    EvaluateFunction(index, args, result);
    stack.push_back(std::move(result));
}

void TFormulaEvaluator::EvaluateFunction(int index, std::vector<TEvalValue>& args, TEvalValue& result) {
    const int count = int(args.size());
    std::u16string name;
    if (index < CalledByName && ExcelFunction(index).Refused()) {
        // Not computed here and with no argument range: handed over as it is.
        name = ExcelFunction(index).Name;
    } else if (index < CalledByName) {
        const TExcelFunctions& f = ExcelFunction(index);
        // A function of any number of arguments takes what a call can hold.
        const int most = f.MaxArgs == VariableArgs ? Max2007Arguments : f.MaxArgs;
        if (count < f.MinArgs || count > most)
            throw XLSError(Format("Wrong number of arguments (%d) to function %s", f.Name, count));
        if (frame.Array && ComputesPerElement(index)) {
            EvaluateElements(index, args, result);
            return;
        }
        if (ComputeFunction(*this, index, args, result)) return;
        name = f.Name;
    } else if (index == CalledByName) {
        if (args.empty()) throw XLSError("Value is missing");
        const TFormulaValue first = Scalar(args[0]);
        if (first.ValType == fvError) {
            result.V = first;
            return;
        }
        name = ValueText(first);
        args.erase(args.begin());
    } else if (index < ExcelFunctionCount) {
        name = ExcelFunction(index).Name;
    } else {
        name = u"?<" + NumberText(index) + u">?";
    }
    TFormulaValue& r = result.V;
    SetFormulaValueError(r, 0);
    if (OnFunction) {
        std::vector<TFormulaValue> values;
        values.reserve(args.size());
        for (const TEvalValue& a : args) {
            TFormulaValue x = a.Union && a.List && !a.List->empty() ? a.List->front() : a.V;
            if (x.ValType == fvRef) SetFormulaValueXRef(x, x.Col1, int(x.Row1), frame.Sheet);
            if (x.ValType == fvArea)
                SetFormulaValueXArea(x, x.Col1, int(x.Row1), x.Col2, int(x.Row2), frame.Sheet);
            values.push_back(std::move(x));
        }
        OnFunction(name, values, r);
    }
    if (r.ValType == fvError && r.Error == 0) throw XLSError(Format("Can not calculate function %s", name));
}

// In an array formula a function of single values is computed for each
// element of the arrays and areas passed where it takes a value.
void TFormulaEvaluator::EvaluateElements(int index, std::vector<TEvalValue>& args, TEvalValue& result) {
    const TExcelFunctions& f = ExcelFunction(index);
    std::vector<TShape> shapes(args.size());
    std::vector<bool> spread(args.size());
    TShape s;
    bool any = false;
    for (size_t k = 0; k < args.size(); ++k) {
        spread[k] = ArgumentClass(f, int(k)) == ptg::ClassValue && IsMulti(args[k]);
        if (!spread[k]) continue;
        any = true;
        shapes[k] = ShapeOf(args[k]);
        s.Rows = std::max(s.Rows, shapes[k].Rows);
        s.Cols = std::max(s.Cols, shapes[k].Cols);
    }
    if (!any) {
        ComputeFunction(*this, index, args, result);
        return;
    }
    const auto list = NewArray(s);
    if (!list) {
        SetFormulaValueError(result.V, fe::Num);
        return;
    }
    std::vector<TEvalValue> one(args.size());
    for (int64_t i = 0; i < s.Rows; ++i)
        for (int64_t j = 0; j < s.Cols; ++j) {
            for (size_t k = 0; k < args.size(); ++k) {
                one[k] = spread[k] ? TEvalValue() : args[k];
                if (spread[k]) one[k].V = ElementAt(args[k], shapes[k], i, j);
            }
            TEvalValue r;
            ComputeFunction(*this, index, one, r);
            (*list)[size_t(i * s.Cols + j)] = Scalar(r);
        }
    result.V = list->front();
    result.ListCols = int(s.Cols);
    result.List = list;
}

} // namespace xls
