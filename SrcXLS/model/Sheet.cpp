#include "SrcXLS/model/Sheet.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartModel.h"
#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/FormulaServices.h"
#include "SrcXLS/model/SST.h"
#include "SrcXLS/model/TextMeasure.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

namespace xls {

namespace {
const char* const WrongCell = "Cell is missing/is of wrong type";
}

// ---------------------------------------------------------------------------
// Names

void TBasicSheet::SetName(std::u16string_view value) {
    constexpr std::u16string_view refused = u":\\/?*[]";
    if (value.empty() || value.size() > 31 || value.find_first_of(refused) != value.npos)
        throw XLSError("Invalid sheet name \"" + WideToUtf8(value) + "\"");
    if (UpperCaseWide(value) == UpperCaseWide(name)) return;
    if (sheets && sheets->NameTaken(value, this))
        throw XLSError("Sheet name \"" + WideToUtf8(value) + "\" allready exists");
    // The formulas, names and kept texts that name the sheet follow.
    if (sheets && sheets->OnRenaming && nameEntry >= 0) sheets->OnRenaming(nameEntry, value);
    SetReadName(value);
}

void TBasicSheet::SetReadName(std::u16string_view value) {
    if (UpperCaseWide(value) == UpperCaseWide(name)) return;
    if (sheets && sheets->NameTaken(value, this))
        throw XLSError("Sheet name \"" + WideToUtf8(value) + "\" allready exists");
    std::u16string old = std::move(name);
    name = value;
    if (sheets) sheets->Renamed(*this, old);
    if (sheets && nameEntry >= 0) sheets->names.SetItem(nameEntry, name);
}

void TSheets::IndexNames() const {
    if (indexedGeneration == Generation()) return;
    upperNames.clear();
    for (int i = 0; i < Count(); ++i) upperNames.emplace(UpperCaseWide(GetItem(i).Name()), &GetItem(i));
    indexedGeneration = Generation();
}

void TSheets::Renamed(const TBasicSheet& sheet, const std::u16string& oldName) {
    if (indexedGeneration != Generation()) return;
    auto old = upperNames.find(UpperCaseWide(oldName));
    if (old != upperNames.end() && old->second == &sheet) upperNames.erase(old);
    upperNames.emplace(UpperCaseWide(sheet.Name()), &sheet);
}

bool TSheets::NameTaken(std::u16string_view name, const TBasicSheet* except) const {
    IndexNames();
    auto found = upperNames.find(UpperCaseWide(name));
    return found != upperNames.end() && found->second != except;
}

// ---------------------------------------------------------------------------
// Sheet

TSheet::TSheet(TSheets& owner, IWorkbookContext& wb)
    : workbook(wb), cells(&wb.CellStores(), &wb.Strings(), &wb.DefaultFormats()),
      columns(&wb.DefaultFormats()), rows(&wb.DefaultFormats()), mergedCells(this), printSettings(records),
      drawing(std::make_unique<TEscherDrawing>(wb.Pictures(), &wb.Fonts())),
      applyFormat(&wb.DefaultFormats(), &cells), selection(records),
      range(0, &wb, &mergedCells, &wb.DefaultFormats(), &cells), areaList(this) {
    sheets = &owner;
    wb.CellStores().Add(&cells);
    drawingContext =
        std::make_unique<TDrawingContext>(TDrawingContext{drawing.get(), wb.DrawingNames(), &wb.Pictures()});
    drawingObjects = std::make_unique<TDrawingObjects>(*drawingContext);
    controlsObjects = std::make_unique<TControlObjects>(*drawingContext);
    charts = std::make_unique<TDrwCharts>(*drawing, &wb.Formulas(), &wb.Fonts());
    charts->SheetName = [this] { return Name(); };
    autoFilters.Controls = &controlsObjects->ComboBoxes;
    drawing->Names = wb.DrawingNames();
    // Shapes read from a file or copied get the item of their kind; items
    // go with their shapes.
    drawing->OnShapeAdded = [this](TEscherDrawing&, TShape& shape) {
        if (!drawingObjects->Bind(shape) && !controlsObjects->Bind(shape)) charts->AddShape(shape);
    };
    drawing->OnShapeDeleting = [this](TShape& shape) {
        drawingObjects->Forget(shape);
        controlsObjects->Forget(shape);
        charts->Forget(shape);
    };
    printSettings.SetPaperSize(wb.DefaultPaperSize());
    // The record's default names B2; a new sheet selects A1, as it is written.
    selection.Clear();
    range.DefaultFormat = [this](int col, int row) { return GetDefaultFormat(col, row); };
    applyFormat.DefaultFormat = range.DefaultFormat;
    columns.OnChange = [this](TCellFormat* format, int col) { FormatChanged(format, col, -1); };
    rows.OnChange = [this](TCellFormat* format, int row) { FormatChanged(format, -1, row); };
    // Formulas of the sheet's collections go through the workbook's handler.
    auto sheetIndex = [this] { return Index(); };
    hyperlinks.CompilesAsFormula = [this](std::u16string_view text) {
        return workbook.Formulas().CompilesAsFormula(Index(), text, 255);
    };
    conditionalFormats.Context = {&workbook.Formulas(), sheetIndex};
    validations.Context = {&workbook.Formulas(), sheetIndex};
    autoFilters.DeleteRangeName = [this] { workbook.Formulas().DeleteFilterRangeName(Index()); };
}

TSheet::~TSheet() {
    workbook.CellStores().Remove(&cells);
}

TXLSRange& TSheet::Range() {
    range.SheetIndex = Index();
    return range;
}

int TSheet::Index() const {
    return sheets->IndexOf(this);
}

void TSheet::Clear() {
    TabColor = 64;
    SheetProtection = 0x7FFF;
    records.Clear();
    validations.Clear();
    mergedCells.Clear();
    printSettings.SetDefaults();
    columns.Clear();
    rows.Clear();
    drawingObjects->Clear();
    controlsObjects->Clear();
    charts->Clear();
    drawing->Clear();
    pane.Clear();
    hyperlinks.Clear();
    conditionalFormats.Clear();
    autoFilters.Clear();
    selection.Clear();
    selectedAreas.Clear();
    queries.Clear();
    cells.Clear();
    DataTables.clear();
    packageData.Clear();
    areaList.Clear();
    firstRow = lastRow = firstCol = lastCol = 0;
}

void TSheet::Assign(const TCollectionItem& source) {
    auto* s = dynamic_cast<const TSheet*>(&source);
    if (!s) throw XLSError("Object is not TSheet");
    TSheet& src = const_cast<TSheet&>(*s);
    SetDefaultColWidth(src.GetDefaultColWidth());
    SetDefaultRowHeight(src.GetDefaultRowHeight());
    SetOptions(src.GetOptions());
    SetWorkspaceOptions(src.GetWorkspaceOptions());
    SheetProtection = src.SheetProtection;
    SetZoom(src.GetZoom());
    SetZoomPreview(src.GetZoomPreview());
    RecalcFormulas = src.RecalcFormulas;
    Hidden = src.Hidden;
    printSettings.Assign(src.printSettings);
    mergedCells.Assign(src.mergedCells);
    hyperlinks.Assign(src.hyperlinks);
}

void TSheet::AfterRead(TExcelVersion version) {
    rows.Sort();
    autoFilters.LinkDropDowns();
    // Of two merged areas that share a cell the file's first stays.
    std::u16string first;
    if (const int n = mergedCells.DeleteLaterOverlapping(first))
        workbook.AddWarning("Sheet '" + WideToUtf8(Name()) + "': " + std::to_string(n) +
                            (n == 1 ? " merged area" : " merged areas") +
                            " sharing cells with an earlier one left out (first: " + WideToUtf8(first) + ")");
    if (version < TExcelVersion::xvExcel2007) {
        auto d = records.DimensionsData();
        bool wide = d.size() >= 14;
        int fr = wide ? int(GetU32(d.data())) : GetU16(d.data());
        int rowLimit = wide ? int(GetU32(d.data() + 4)) : GetU16(d.data() + 2);
        int fc = GetU16(d.data() + (wide ? 8 : 4));
        int colLimit = GetU16(d.data() + (wide ? 10 : 6));
        firstCol = fc;
        firstRow = fr;
        lastCol = colLimit > 0 ? colLimit - 1 : 0;
        lastRow = rowLimit >= 1 ? rowLimit - 1 : 0;
    }
    // A DIMENSIONS record that understates the cells must not hide rows.
    if (cells.Count() > 0) {
        cells.CalcDimensions(TCellStorage::MaxCol, TCellStorage::MaxRow);
        firstCol = std::min(firstCol, cells.FirstCol);
        firstRow = std::min(firstRow, cells.FirstRow);
        lastCol = std::max(lastCol, cells.LastCol);
        lastRow = std::max(lastRow, cells.LastRow);
    }
}

// ---------------------------------------------------------------------------
// Properties kept in records

int TSheet::GetDefaultRowHeight() {
    return GetU16(records.DefaultRowHeightData().data() + 2);
}

void TSheet::SetDefaultRowHeight(int twips) {
    auto d = records.DefaultRowHeightData();
    uint16_t flags = GetU16(d.data());
    flags = twips == 255 ? uint16_t(flags & ~1u) : uint16_t(flags | 1u);
    PutU16(d.data(), flags);
    PutU16(d.data() + 2, uint16_t(twips));
}

uint16_t TSheet::GetOptions() {
    return GetU16(records.Window2Data().data()) & 0x1F;
}

void TSheet::SetOptions(uint16_t options) {
    PutU16(records.Window2Data().data(), uint16_t(0x04A0 | (options & 0x1F)));
}

uint16_t TSheet::GetWorkspaceOptions() const {
    return records.GetWSBool() & 0x05E1;
}

void TSheet::SetWorkspaceOptions(uint16_t options) {
    records.SetWSBool(options & 0x05E1);
}

int TSheet::GetZoom() {
    auto d = records.Window2Data();
    return d.size() >= 14 ? GetU16(d.data() + 12) : 0;
}

void TSheet::SetZoom(int v) {
    auto d = records.Window2Data();
    if (d.size() >= 14) PutU16(d.data() + 12, uint16_t(v));
}

int TSheet::GetZoomPreview() {
    auto d = records.Window2Data();
    return d.size() >= 12 ? GetU16(d.data() + 10) : 0;
}

void TSheet::SetZoomPreview(int v) {
    auto d = records.Window2Data();
    if (d.size() >= 12) PutU16(d.data() + 10, uint16_t(v));
}

// ---------------------------------------------------------------------------
// Getters

int TSheet::GetCellType(int col, int row) {
    TCell* cell = cells.FindCell(col, row);
    return cell ? cell->CellType() : ctNone;
}

int32_t TSheet::GetAsInteger(int col, int row) {
    TCell* cell = cells.FindCell(col, row);
    if (cell && cell->CellType() == ctInteger) return static_cast<TIntegerCell*>(cell)->Value;
    if (cell && cell->CellType() == ctFloat) {
        // Round half to even; a value no 32-bit integer holds is refused.
        double r = std::nearbyint(static_cast<TFloatCell*>(cell)->Value);
        if (r >= -2147483648.0 && r <= 2147483647.0) return int32_t(r);
    }
    throw XLSError(WrongCell);
}

double TSheet::GetAsFloat(int col, int row) {
    TCell* cell = cells.FindCell(col, row);
    double v = 0;
    if (cell && cell->GetNumber(v)) return v;
    return 0;
}

std::u16string TSheet::FormulaResultText(const TCell& cell) {
    const auto& f = static_cast<const TFormulaCell&>(cell);
    if (workbook.FormulasShown()) return workbook.Formulas().CellFormulaText(Index(), f, false);
    switch (cell.CellType()) {
    case ctNumberFormula:
        return FloatToGeneralText(static_cast<const TNumberFormulaCell&>(cell).Value,
                                  LibState().Locale.DecimalSeparator);
    case ctNumberArrayFormula: {
        const auto& array = static_cast<const TNumberArrayFormulaCell&>(cell);
        if (array.ResultKind != fvFloat) return array.ResultText();
        return FloatToGeneralText(array.Value, LibState().Locale.DecimalSeparator);
    }
    default:
        return cells.GetValueText(cell);
    }
}

std::u16string TSheet::GetAsString(int col, int row) {
    TCell* cell = cells.FindCell(col, row);
    if (!cell) return {};
    switch (cell->CellType()) {
    case ctBlank:
        return {};
    case ctInteger: {
        std::string s = std::to_string(static_cast<TIntegerCell*>(cell)->Value);
        return std::u16string(s.begin(), s.end());
    }
    case ctFloat:
        return FloatToGeneralText(static_cast<TFloatCell*>(cell)->Value, LibState().Locale.DecimalSeparator);
    default:
        if (cell->IsFormula()) return FormulaResultText(*cell);
        return cells.GetValueText(*cell);
    }
}

TCellVariant TSheet::GetAsVariant(int col, int row) {
    TCell* cell = cells.FindCell(col, row);
    if (!cell) return std::monostate();
    double number = 0;
    switch (cell->CellType()) {
    case ctBlank:
        return uint8_t(0);
    case ctInteger:
        return static_cast<TIntegerCell*>(cell)->Value;
    case ctBoolean:
        return uint8_t(static_cast<TBooleanCell*>(cell)->GetValue() ? 1 : 0);
    case ctBooleanFormula:
        return uint8_t(static_cast<TBooleanFormulaCell*>(cell)->GetValue() ? 1 : 0);
    case ctNumberArrayFormula:
        if (auto* array = static_cast<TNumberArrayFormulaCell*>(cell); array->ResultKind == fvBoolean)
            return uint8_t(array->ResultCode ? 1 : 0);
        [[fallthrough]];
    default:
        if (cell->GetNumber(number)) return number;
        return cells.GetValueText(*cell);
    }
}

std::string TSheet::GetAsFormula(int col, int row) {
    auto* f = dynamic_cast<TFormulaCell*>(cells.FindCell(col, row));
    if (!f) throw XLSError(WrongCell);
    // A member of a shared formula has no text of its own: it is made from the anchor's.
    if (f->IsText() && f->TokenLength() > 0) return std::string(f->Data().begin(), f->Data().end());
    return WideToUtf8(workbook.Formulas().CellFormulaText(Index(), *f, true));
}

bool TSheet::ArrayFormulaArea(const TCell& cell, int& col1, int& row1, int& col2, int& row2) {
    if (const auto* array = dynamic_cast<const TBaseArrayFormulaCell*>(&cell)) {
        const std::span<const uint8_t> head = array->ArrayData();
        row1 = GetU16(head.data());
        row2 = GetU16(head.data() + 2);
        col1 = head[4];
        col2 = head[5];
        OrderArea(col1, row1, col2, row2);
        return true;
    }
    const auto* f = dynamic_cast<const TFormulaCell*>(&cell);
    if (!f || !f->IsText() || !(f->Options() & KeptArrayFormula)) return false;
    col1 = col2 = cell.Col;
    row1 = row2 = int(cell.Row);
    const auto& kept = packageData.ArrayAreas;
    if (auto it = kept.find(uint64_t(cell.Row) << 16 | cell.Col); it != kept.end()) {
        int c1, r1, c2, r2;
        if (AreaStrToColRowPlain(Utf8ToWide(it->second), c1, r1, c2, r2)) {
            OrderArea(c1, r1, c2, r2);
            col1 = c1, row1 = r1, col2 = c2, row2 = r2;
        }
    }
    return true;
}

void TSheet::GetCellValue(int col, int row, TFormulaValue& value) {
    TCell* cell = cells.FindCell(col, row);
    if (!cell) {
        SetFormulaValueError(value, 7);
        return;
    }
    double number = 0;
    switch (cell->CellType()) {
    case ctBlank:
        SetFormulaValueError(value, 7);
        break;
    case ctNumberArrayFormula:
    case ctStringArrayFormula:
        break;
    case ctBoolean:
        SetFormulaValueBoolean(value, static_cast<TBooleanCell*>(cell)->GetValue());
        break;
    case ctBooleanFormula:
        SetFormulaValueBoolean(value, static_cast<TBooleanFormulaCell*>(cell)->GetValue());
        break;
    case ctError:
        SetFormulaValueError(value, static_cast<TErrorCell*>(cell)->ErrorIndex);
        break;
    case ctErrorFormula:
        SetFormulaValueError(value, static_cast<TErrorFormulaCell*>(cell)->Value);
        break;
    case ctString:
        SetFormulaValueString(value, static_cast<TStringCell*>(cell)->Text());
        break;
    case ctStringFormula:
        SetFormulaValueString(value, static_cast<TStringFormulaCell*>(cell)->Value);
        break;
    default:
        if (cell->GetNumber(number)) SetFormulaValueFloat(value, number);
    }
}

void TSheet::GetRefValue(const TFormulaValue& ref, TFormulaValue& value) {
    if (ref.ValType != fvRef && ref.ValType != fvXRef) throw XLSError("FV Ref expected");
    TCell* cell = cells.FindCell(ref.Col1, int(ref.Row1));
    if (!cell || cell->CellType() == ctBlank) {
        SetFormulaValueEmpty(value);
        return;
    }
    GetCellValue(ref.Col1, int(ref.Row1), value);
}

void TSheet::CalculateCell(int col, int row, TFormulaValue& value) {
    workbook.CalculateCell(Index(), col, row, value);
}

int TSheet::GetHorizAlignment(const TCell& cell) const {
    int h = cell.GetHorizAlignment();
    if (h != 0) return h;
    switch (cell.CellType()) {
    case ctInteger:
    case ctFloat:
    case ctNumberFormula:
        return 3;
    case ctBoolean:
    case ctError:
    case ctErrorFormula:
        return 2;
    default:
        return 1;
    }
}

// ---------------------------------------------------------------------------
// Setters

template <class C, class... A> TCell* TSheet::StoreNew(int col, int row, bool notify, A&&... args) {
    TCellStorage::CheckPosition(col, row);
    TCell* stored = cells.PutCell(col, row,
                                  NewCell<C>(&workbook.DefaultFormats(), GetDefaultFormat(col, row), col, row,
                                             std::forward<A>(args)...));
    if (notify && OnCellChanged) OnCellChanged(col, row);
    return stored;
}

void TSheet::SetAsInteger(int col, int row, int32_t value) {
    StoreNew<TIntegerCell>(col, row, true, value);
}

void TSheet::SetAsFloat(int col, int row, double value) {
    // No file holds a number that is not finite: the cell holds the error
    // spreadsheet programs give for one.
    if (!std::isfinite(value))
        StoreNew<TErrorCell>(col, row, true, ErrorIndexNum);
    else
        StoreNew<TFloatCell>(col, row, true, value);
}

void TSheet::SetAsBoolean(int col, int row, bool value) {
    StoreNew<TBooleanCell>(col, row, true, uint8_t(value ? 1 : 0));
}

void TSheet::SetAsString(int col, int row, std::u16string_view text) {
    TCellStorage::CheckPosition(col, row);
    StoreString(col, row, GetDefaultFormat(col, row), workbook.Strings().AddString(text));
    if (text.size() > size_t(MaxSSTStringLength))
        workbook.AddEditWarning(WideToUtf8(QuoteSheetName(Name())) + "!" +
                                WideToUtf8(ColRowToRefStr(col, row, false, false)) + ": a text of " +
                                std::to_string(text.size()) + " characters cut to the " +
                                std::to_string(MaxSSTStringLength) + " a cell holds");
}

void TSheet::DeleteCell(int col, int row) {
    // A string cell gives its string back as it goes.
    cells.RemoveCell(col, row);
}

// ---------------------------------------------------------------------------
// Reader entry points

namespace {
template <class C, class... A>
TCell* Put(TCellValues& cells, TCellFormats* pool, int col, int row, int format, A&&... args) {
    TCellStorage::CheckPosition(col, row);
    return cells.PutCellKeepFormat(col, row, NewCell<C>(pool, format, col, row, std::forward<A>(args)...));
}
} // namespace

TCell* TSheet::PutBlank(int col, int row, int format) {
    return Put<TBlankCell>(cells, &workbook.DefaultFormats(), col, row, format);
}
TCell* TSheet::PutBoolean(int col, int row, int format, bool value) {
    return Put<TBooleanCell>(cells, &workbook.DefaultFormats(), col, row, format, uint8_t(value ? 1 : 0));
}
TCell* TSheet::PutError(int col, int row, int format, int errorIndex) {
    return Put<TErrorCell>(cells, &workbook.DefaultFormats(), col, row, format, errorIndex);
}
TCell* TSheet::PutFloat(int col, int row, int format, double value) {
    return Put<TFloatCell>(cells, &workbook.DefaultFormats(), col, row, format, value);
}
TCell* TSheet::PutInteger(int col, int row, int format, int32_t value) {
    return Put<TIntegerCell>(cells, &workbook.DefaultFormats(), col, row, format, value);
}

TCell* TSheet::PutString(int col, int row, int format, std::u16string_view text) {
    TCellStorage::CheckPosition(col, row);
    return StoreString(col, row, format, workbook.Strings().AddString(text, MaxReadStringLength), true);
}

TCell* TSheet::PutSSTString(int col, int row, int format, int sstIndex) {
    TCellStorage::CheckPosition(col, row);
    TSSTEntry* entry = workbook.Strings().GetEntry(sstIndex);
    if (!entry) throw XLSError("SST index out of range");
    workbook.Strings().AddUse(entry);
    return StoreString(col, row, format, entry, true);
}

TCell* TSheet::StoreString(int col, int row, int format, TSSTEntry* entry, bool asRead) {
    TSST2* strings = &workbook.Strings();
    std::unique_ptr<TCell> cell;
    try {
        cell = NewCell<TStringCell>(&workbook.DefaultFormats(), format, col, row, strings, entry);
    } catch (...) {
        strings->Release(entry);
        throw;
    }
    return asRead ? cells.PutCellKeepFormat(col, row, std::move(cell))
                  : cells.PutCell(col, row, std::move(cell));
}

namespace {
// A formula cell of kind 8..11, built by make from the class it is given.
template <class Make> std::unique_ptr<TFormulaCell> MakeFormulaOfKind(TCellType kind, Make make) {
    switch (kind) {
    case ctNumberFormula:
        return make(std::type_identity<TNumberFormulaCell>());
    case ctStringFormula:
        return make(std::type_identity<TStringFormulaCell>());
    case ctBooleanFormula:
        return make(std::type_identity<TBooleanFormulaCell>());
    case ctErrorFormula:
        return make(std::type_identity<TErrorFormulaCell>());
    default:
        throw XLSError("Invalid Formula cell type");
    }
}

void SetResult(TFormulaCell& cell, const std::optional<TFormulaResult>& given) {
    cell.NoResult = !given;
    const TFormulaResult result = given.value_or(TFormulaResult());
    switch (cell.CellType()) {
    case ctNumberFormula:
        static_cast<TNumberFormulaCell&>(cell).Value = result.Number;
        break;
    case ctStringFormula:
        static_cast<TStringFormulaCell&>(cell).Value = result.Text;
        break;
    case ctBooleanFormula:
        static_cast<TBooleanFormulaCell&>(cell).Value = result.Boolean;
        break;
    default: {
        int index = ErrorCodeToIndex(result.ErrorCode);
        static_cast<TErrorFormulaCell&>(cell).Value = uint8_t(index ? index : 7);
    }
    }
}
} // namespace

TCell* TSheet::PutFormula(TCellType kind, int col, int row, int format, int tokenLength,
                          std::span<const uint8_t> data, const std::optional<TFormulaResult>& result) {
    TCellStorage::CheckPosition(col, row);
    TCellFormats* pool = &workbook.DefaultFormats();
    auto cell = MakeFormulaOfKind(kind, [&](auto type) -> std::unique_ptr<TFormulaCell> {
        return NewCell<typename decltype(type)::type>(pool, format, col, row, tokenLength, data);
    });
    SetResult(*cell, result);
    return cells.PutCellKeepFormat(col, row, std::move(cell));
}

TCell* TSheet::PutFormulaText(TCellType kind, int col, int row, int format, std::string_view text,
                              uint16_t sharedLink, uint8_t options,
                              const std::optional<TFormulaResult>& result) {
    TCellStorage::CheckPosition(col, row);
    TCellFormats* pool = &workbook.DefaultFormats();
    auto cell = MakeFormulaOfKind(kind, [&](auto type) -> std::unique_ptr<TFormulaCell> {
        return NewCell<typename decltype(type)::type>(pool, format, col, row, text, sharedLink, options);
    });
    SetResult(*cell, result);
    return cells.PutCellKeepFormat(col, row, std::move(cell));
}

TCell* TSheet::PutArrayFormulaNumber(int col, int row, int format, int tokenLength,
                                     std::span<const uint8_t> data, uint8_t arrayOptions,
                                     std::span<const uint8_t> arrayData, double value) {
    TCellStorage::CheckPosition(col, row);
    auto cell = NewCell<TNumberArrayFormulaCell>(&workbook.DefaultFormats(), format, col, row, tokenLength,
                                                 data, arrayOptions, arrayData);
    cell->Value = value;
    return cells.PutCellKeepFormat(col, row, std::move(cell));
}

TCell* TSheet::PutArrayFormulaString(int col, int row, int format, int tokenLength,
                                     std::span<const uint8_t> data, uint8_t arrayOptions,
                                     std::span<const uint8_t> arrayData, std::u16string_view value) {
    TCellStorage::CheckPosition(col, row);
    auto cell = NewCell<TStringArrayFormulaCell>(&workbook.DefaultFormats(), format, col, row, tokenLength,
                                                 data, arrayOptions, arrayData);
    cell->Value = value;
    return cells.PutCellKeepFormat(col, row, std::move(cell));
}

// ---------------------------------------------------------------------------
// Used area

void TSheet::SetFirstCol(int v) {
    firstCol = v;
    PutU16(records.DimensionsData().data() + 8, uint16_t(std::clamp(v, 0, 255)));
}

void TSheet::SetFirstRow(int v) {
    firstRow = v;
    PutU32(records.DimensionsData().data(), uint32_t(std::clamp(v, 0, 65535)));
}

// DIMENSIONS holds one past the last column and row: 256 and 65,536 for a
// sheet whose last column and row are used.
void TSheet::SetLastCol(int v) {
    lastCol = v;
    PutU16(records.DimensionsData().data() + 10, uint16_t(std::clamp(v + 1, 0, 256)));
}

void TSheet::SetLastRow(int v) {
    lastRow = v;
    PutU32(records.DimensionsData().data() + 4, uint32_t(std::clamp(v + 1, 0, 65536)));
}

void TSheet::UpdateDimensions() {
    cells.CalcDimensions(LibState().MaxColumn, LibState().MaxRow);
    SetFirstCol(cells.FirstCol);
    SetFirstRow(cells.FirstRow);
    SetLastCol(cells.LastCol);
    SetLastRow(cells.LastRow);
}

// ---------------------------------------------------------------------------
// Formats and widths

int TSheet::GetDefaultFormat(int col, int row) {
    if (TXLSColumn* c = columns.GetItem(col); c && c->GetFormatIndex() != DefaultCellFormat)
        return c->GetFormatIndex();
    if (TXLSRow* r = rows.Find(row); r && r->GetFormatIndex() != DefaultCellFormat)
        return r->GetFormatIndex();
    return DefaultCellFormat;
}

void TSheet::FormatChanged(TCellFormat* format, int col, int row) {
    // Every cell of the column or row, wherever the used area was last taken.
    std::vector<TCell*> affected;
    cells.BeginIterate();
    while (TCell* cell = cells.NextCell())
        if ((col >= 0 && cell->Col == col) || (row >= 0 && cell->Row == uint32_t(row)))
            affected.push_back(cell);
    for (TCell* cell : affected) cell->SetFormatIndex(format->PoolIndex);
}

// The BIFF writers write the workbook's own cell formats in every version,
// so a cell's index needs no shift.
int TSheet::GetWriteFormatIndex(TExcelVersion, int index) const {
    return index < 0 ? DefaultCellFormat : index;
}

int TSheet::AutoWidthCol(int col) {
    return AutoWidthCols(col, col);
}

// One walk over the cells measures every column of the range.
int TSheet::AutoWidthCols(int col1, int col2) {
    // No cell stands outside the sheet's columns.
    const bool pastLast = col2 >= TXLSColumns::SlotCount;
    col1 = std::max(col1, 0);
    col2 = std::min(col2, TXLSColumns::SlotCount - 1);
    if (col2 < col1) return 0;
    TTextMeasurer& m = workbook.Measurer();
    const TXFont defaults;
    const TXFont* defaultFont = workbook.GetFont() ? workbook.GetFont() : &defaults;
    m.SelectFont(*defaultFont);
    const TXFont* current = defaultFont;
    int leading = m.InternalLeading();
    std::vector<int> largest(size_t(col2 - col1) + 1, 0);
    std::u16string text;
    cells.BeginIterate();
    while (TCell* cell = cells.NextCell()) {
        if (cell->Col < col1 || cell->Col > col2) continue;
        const TXFont* font = cell->Format()->GetFont();
        if (!font) font = defaultFont;
        if (font != current) {
            m.SelectFont(*font);
            current = font;
            leading = m.InternalLeading();
        }
        if (workbook.FormulasShown() && cell->IsFormula())
            text = workbook.Formulas().CellFormulaText(Index(), static_cast<TFormulaCell&>(*cell), false);
        else
            cells.DisplayTextTo(*cell, text);
        int rotation = cell->GetRotation();
        int size =
            rotation == 90 || rotation == 180 || rotation == 255 ? m.TextHeight(text) : m.TextWidth(text);
        size += 2 * leading;
        if (GetHorizAlignment(*cell) == 3) size += leading;
        int& widest = largest[size_t(cell->Col - col1)];
        widest = std::max(widest, size);
    }
    m.SelectFont(*defaultFont);
    const int zero = std::max(1, m.TextWidth(u"0"));
    for (int c = col1; c <= col2; ++c) {
        const int pixels = largest[size_t(c - col1)];
        if (pixels <= 0) continue;
        double width = std::nearbyint(double(pixels) / double(zero) * 256.0);
        // Wider than a column can be: the widest column instead of a failure.
        columns.SetWidths(c, c, int(std::min(width, 65535.0)));
    }
    return pastLast ? 0 : largest.back();
}

// ---------------------------------------------------------------------------
// Sheets

TSheets::TSheets(IWorkbookContext& wb) : workbook(wb) {}

TSheets::~TSheets() = default;

TSheet& TSheets::Add(int kind) {
    int entry = names.Add(u"");
    IndexNames();
    TSheet& sheet = Insert(std::make_unique<TSheet>(*this, workbook));
    // The new sheet has no name yet: the index stays as it was.
    indexedGeneration = Generation();
    sheet.Kind = kind;
    sheet.nameEntry = entry;
    // The running number names the sheet; a number another sheet's name
    // already uses is skipped.
    for (int n = sheet.ID() + 1;; ++n) {
        std::string s = "Sheet" + std::to_string(n);
        std::u16string name(s.begin(), s.end());
        if (!NameTaken(name, &sheet)) {
            sheet.name = name;
            break;
        }
    }
    Renamed(sheet, u"");
    names.SetItem(entry, sheet.name);
    return sheet;
}

void TSheets::Clear() {
    for (int i = 0; i < Count(); ++i) GetItem(i).Clear();
    workbook.Strings().Clear();
    workbook.CellStores().Clear();
    names.Clear();
    TCollection<TSheet>::Clear();
}

// The strings in the order the cell writer first meets them: a workbook
// read and written again gets the same table.
void TSheets::WriteSST(TXLSStream& stream) {
    std::vector<TSSTEntry*> firstUse;
    for (int i = 0; i < Count(); ++i) {
        TCellValues& cells = GetItem(i).Cells();
        cells.BeginIterate();
        while (TCell* cell = cells.NextCell())
            if (cell->CellType() == ctString)
                if (TSSTEntry* e = static_cast<TStringCell*>(cell)->Entry()) firstUse.push_back(e);
    }
    workbook.Strings().WriteSST(stream, firstUse);
}

void TSheets::ReadSST(TXLSStream& stream, int length) {
    workbook.Strings().ReadSST(stream, length);
}

void TSheets::Delete(int index) {
    TSheet& sheet = GetItem(index);
    const int entry = sheet.nameEntry;
    if (OnDeleting) OnDeleting(sheet, entry);
    TCollection<TSheet>::Delete(index);
    if (entry < 0) return;
    names.Delete(entry);
    for (int i = 0; i < Count(); ++i)
        if (GetItem(i).nameEntry > entry) --GetItem(i).nameEntry;
}

void TSheets::ClearAndAddSheet() {
    Clear();
    Add(0);
}

TSheet* TSheets::FindByName(std::u16string_view name) const {
    std::u16string upper = UpperCaseWide(name);
    for (int i = 0; i < Count(); ++i)
        if (UpperCaseWide(GetItem(i).Name()) == upper) return &GetItem(i);
    return nullptr;
}

} // namespace xls
