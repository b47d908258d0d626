// The worksheets of a workbook: each sheet owns its cells, its record list,
// merged cells, print settings, pane, selection and the other per-sheet
// collections, and offers the typed cell operations through which every
// caller reads and writes values (cells by (Col, Row), zero-based, column
// first).
#pragma once

#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formats/XLSXPackage.h"
#include "SrcXLS/model/ApplyFormat.h"
#include "SrcXLS/model/AutoFilters.h"
#include "SrcXLS/model/CellAreas.h"
#include "SrcXLS/model/CellStorage.h"
#include "SrcXLS/model/Collection.h"
#include "SrcXLS/model/ConditionalFormats.h"
#include "SrcXLS/model/DataValidations.h"
#include "SrcXLS/model/Hyperlinks.h"
#include "SrcXLS/model/Pane.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/ReservedMember.h"
#include "SrcXLS/model/Selection.h"
#include "SrcXLS/model/WideStringList.h"
#include "SrcXLS/model/WorkbookContext.h"
#include "SrcXLS/model/XLSColumns.h"
#include "SrcXLS/model/XLSRange.h"
#include "SrcXLS/model/XLSRows.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

namespace xls {

class TSheets;
class TEscherDrawing;
struct TDrawingContext;
class TDrawingObjects;
class TControlObjects;
class TDrwCharts;
class TXLSStream;

enum class THiddenState : uint8_t { hsVisible, hsHidden, hsVeryHidden };

// WINDOW2 flags.
enum TSheetOption : uint16_t {
    soShowFormulas = 0x01,
    soGridlines = 0x02,
    soRowColHeadings = 0x04,
    soFrozenPanes = 0x08,
    soShowZeros = 0x10,
};
// WSBOOL flags.
enum TWorkspaceOption : uint16_t {
    woShowAutoBreaks = 0x001,
    woApplyStyles = 0x020,
    woRowSumsBelow = 0x040,
    woColSumsRight = 0x080,
    woFitToPage = 0x100,
    woOutlineSymbols = 0x400,
};

// A cell as a variant: no cell, blank (one byte 0), boolean (one byte 1/0),
// integer, number or text (strings and error texts).
using TCellVariant = std::variant<std::monostate, uint8_t, int32_t, double, std::u16string>;

// Cached results of formula cells read from a file.
struct TFormulaResult {
    double Number = 0;
    std::u16string Text;
    uint8_t Boolean = 0;
    uint8_t ErrorCode = 0x2A; // BIFF error code
};

class TBasicSheet : public TCollectionItem {
public:
    const std::u16string& Name() const { return name; }
    // A change of letter case only is ignored; a name another sheet has in
    // any letter case raises and keeps the old name, and so does a name
    // spreadsheet programs refuse: empty, longer than 31 characters, or with
    // one of : \ / ? * [ ].
    void SetName(std::u16string_view value);
    // A name as a file being read holds it: only its uniqueness is checked.
    void SetReadName(std::u16string_view value);

protected:
    friend class TSheets;
    TSheets* sheets = nullptr;
    std::u16string name;
    int nameEntry = -1;
};

class TSheet : public TBasicSheet {
public:
    TSheet(TSheets& sheets, IWorkbookContext& workbook);
    ~TSheet() override;

    void Clear();
    // Only from another sheet; raises "Object is not TSheet" otherwise.
    void Assign(const TCollectionItem& source);
    std::u16string GetDisplayName() const { return Name(); }
    // After a file was read: used area from DIMENSIONS joined with the cells.
    void AfterRead(TExcelVersion version);
    int Index() const;

    // Members.
    TRecordStorageSheet& Records() { return records; }
    TCellValues& Cells() { return cells; }
    const TCellValues& Cells() const { return cells; }
    TXLSColumns& Columns() { return columns; }
    TXLSRows& Rows() { return rows; }
    TApplyFormat& ApplyFormat() { return applyFormat; }
    TMergedCells& MergedCells() { return mergedCells; }
    THyperlinks& Hyperlinks() { return hyperlinks; }
    TConditionalFormats& ConditionalFormats() { return conditionalFormats; }
    TDataValidations& Validations() { return validations; }
    TAutoFilters& AutoFilters() { return autoFilters; }
    TPrintSettings& PrintSettings() { return printSettings; }
    TPane& Pane() { return pane; }
    TSelection& Selection() { return selection; }
    TSelectedAreas& SelectedAreas() { return selectedAreas; }
    // The sheet's range, which names the sheet by its current index.
    TXLSRange& Range();
    TCellAreas& AreaList() { return areaList; }
    TEscherDrawing& Drawing() { return *drawing; }
    TDrawingObjects& DrawingObjects() { return *drawingObjects; }
    TControlObjects& ControlsObjects() { return *controlsObjects; }
    // The embedded charts.
    TDrwCharts& Charts() { return *charts; }
    IWorkbookContext& Workbook() const { return workbook; }
    TXLSXSheetData& PackageData() { return packageData; }

    bool RecalcFormulas = true;
    THiddenState Hidden = THiddenState::hsVisible;
    uint16_t SheetProtection = 0x7FFF;
    uint8_t TabColor = 64;
    // 0 worksheet, 1 BOF type 0x0006, 2 macro sheet.
    int Kind = 0;
    std::function<void(int col, int row)> OnCellChanged;
    // The definitions (TABLE bodies) of the data tables read, by the cell
    // whose formula they follow (DataTableKey): written right after it.
    std::unordered_map<uint64_t, std::vector<uint8_t>> DataTables;
    static uint64_t DataTableKey(int col, uint32_t row) { return uint64_t(row) << 16 | uint16_t(col); }

    // Properties kept in the sheet's records.
    int GetDefaultRowHeight();
    void SetDefaultRowHeight(int twips);
    int GetDefaultColWidth() const { return records.GetDefColWidth(); }
    void SetDefaultColWidth(int v) { records.SetDefColWidth(uint16_t(v)); }
    uint16_t GetOptions();
    void SetOptions(uint16_t options);
    uint16_t GetWorkspaceOptions() const;
    void SetWorkspaceOptions(uint16_t options);
    int GetZoom();
    void SetZoom(int v);
    int GetZoomPreview();
    void SetZoomPreview(int v);

    // Getters.
    TCell* GetCell(int col, int row) { return cells.FindCell(col, row); }
    int GetCellType(int col, int row);
    // Integer cells as they are, float cells rounded half to even; anything
    // else raises "Cell is missing/is of wrong type".
    int32_t GetAsInteger(int col, int row);
    double GetAsFloat(int col, int row);
    std::u16string GetAsString(int col, int row);
    TCellVariant GetAsVariant(int col, int row);
    // The formula of a formula cell in file syntax ("." and ","), UTF-8;
    // the kept text of a formula read from an .xlsx file as it was kept.
    std::string GetAsFormula(int col, int row);
    // The area of the array formula a cell carries or belongs to: the ARRAY
    // record's for a cell read from a binary file, the kept one for the
    // formula of an .xlsx array (its own cell when none was kept); false
    // for any other cell.
    bool ArrayFormulaArea(const TCell& cell, int& col1, int& row1, int& col2, int& row2);
    void GetCellValue(int col, int row, TFormulaValue& value);
    void GetRefValue(const TFormulaValue& ref, TFormulaValue& value);
    // Computes a formula cell's value (#N/A for any other cell).
    void CalculateCell(int col, int row, TFormulaValue& value);
    // 1 left, 2 centred, 3 right: general alignment resolved by cell kind.
    int GetHorizAlignment(const TCell& cell) const;

    // Setters: a cell already at (col, row) is replaced, its format kept.
    void SetAsInteger(int col, int row, int32_t value);
    void SetAsFloat(int col, int row, double value);
    void SetAsBoolean(int col, int row, bool value);
    void SetAsString(int col, int row, std::u16string_view text);
    void DeleteCell(int col, int row);

    // Reader entry points: an explicit format index, kept where the cell
    // replaces one (a file's second record for a cell brings its format),
    // no notification.
    TCell* PutBlank(int col, int row, int format);
    TCell* PutBoolean(int col, int row, int format, bool value);
    TCell* PutError(int col, int row, int format, int errorIndex);
    TCell* PutFloat(int col, int row, int format, double value);
    TCell* PutInteger(int col, int row, int format, int32_t value);
    TCell* PutString(int col, int row, int format, std::u16string_view text);
    // The entry of a read file's SST index, with one more use.
    TCell* PutSSTString(int col, int row, int format, int sstIndex);
    // Kinds 8..11 from BIFF tokens; others raise "Invalid Formula cell type".
    // Without a result ({}) the formula is set without one: a write
    // computes it.
    TCell* PutFormula(TCellType kind, int col, int row, int format, int tokenLength,
                      std::span<const uint8_t> data, const std::optional<TFormulaResult>& result);
    // Kinds 8..11 kept as .xlsx text.
    TCell* PutFormulaText(TCellType kind, int col, int row, int format, std::string_view text,
                          uint16_t sharedLink, uint8_t options, const std::optional<TFormulaResult>& result);
    TCell* PutArrayFormulaNumber(int col, int row, int format, int tokenLength, std::span<const uint8_t> data,
                                 uint8_t arrayOptions, std::span<const uint8_t> arrayData, double value);
    TCell* PutArrayFormulaString(int col, int row, int format, int tokenLength, std::span<const uint8_t> data,
                                 uint8_t arrayOptions, std::span<const uint8_t> arrayData,
                                 std::u16string_view value);

    // Used area; the setters also fill DIMENSIONS (capped at 255/65535).
    int FirstCol() const { return firstCol; }
    int LastCol() const { return lastCol; }
    int FirstRow() const { return firstRow; }
    int LastRow() const { return lastRow; }
    int GetLastRow() const { return lastRow; }
    void SetFirstCol(int v);
    void SetFirstRow(int v);
    void SetLastCol(int v);
    void SetLastRow(int v);
    void UpdateDimensions();

    // The format a new cell at (col, row) gets: its column's, else its row's,
    // else the default format.
    int GetDefaultFormat(int col, int row);
    // The XF index a format index is written with.
    int GetWriteFormatIndex(TExcelVersion version, int index) const;

    // Fits the columns to their widest cell; returns the last column's
    // width in pixels (0 when it has no cell).
    int AutoWidthCol(int col);
    int AutoWidthCols(int col1, int col2);

    // Cell records of BIFF5/BIFF8 files.
    void WriteSheetCells(TExcelVersion version, TXLSStream& stream);
    void WriteMergedCells(TExcelVersion version, TXLSStream& stream);
    static void WriteRecord(TXLSStream& stream, uint16_t id, const void* data, uint16_t length);

private:
    friend class TSheets;
    template <class C, class... A> TCell* StoreNew(int col, int row, bool notify, A&&... args);
    std::u16string FormulaResultText(const TCell& cell);
    // Stores a string cell that takes over one counted use of entry. A cell
    // as read keeps its own format where it replaces one; set through the
    // component it takes the format of the cell it replaces.
    TCell* StoreString(int col, int row, int format, TSSTEntry* entry, bool asRead = false);
    // A column's or row's format entry changed: its cells take it.
    void FormatChanged(TCellFormat* format, int col, int row);

    IWorkbookContext& workbook;
    // Members in creation order.
    TRecordStorageSheet records;
    TCellValues cells;
    TXLSColumns columns;
    TXLSRows rows;
    TMergedCells mergedCells;
    TPrintSettings printSettings;
    TDataValidations validations;
    std::unique_ptr<TEscherDrawing> drawing;
    std::unique_ptr<TDrawingContext> drawingContext;
    std::unique_ptr<TDrawingObjects> drawingObjects;
    std::unique_ptr<TControlObjects> controlsObjects;
    std::unique_ptr<TDrwCharts> charts;
    TPane pane;
    TApplyFormat applyFormat;
    THyperlinks hyperlinks;
    TConditionalFormats conditionalFormats;
    TAutoFilters autoFilters;
    TSelection selection;
    TSelectedAreas selectedAreas;
    TXLSRange range;
    // Kept elements, relationships and formula areas of a package.
    TXLSXSheetData packageData;
    TCellAreas areaList;
    TReservedMember<struct QueriesTag> queries;
    int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
};

class TSheets : public TCollection<TSheet> {
public:
    explicit TSheets(IWorkbookContext& workbook);
    ~TSheets() override;

    TSheet& Items(int index) const { return GetItem(index); }
    TSheet& GetItem(int index) const { return TCollection<TSheet>::GetItem(index); }
    // kind: 0 worksheet, 1 BOF type 0x0006, 2 macro sheet.
    TSheet& Add(int kind = 0);
    // Clears every sheet, the shared strings, the stores' list and the names,
    // then deletes the sheets: none is left.
    void Clear();
    void ClearAndAddSheet();
    // Deletes the sheet at index; OnDeleting lets the workbook's formulas
    // and names follow first. Raises the list-index error for an index out
    // of range.
    void Delete(int index);
    // Installed by the workbook: called before a sheet goes, and before a
    // sheet is renamed through SetName (with its new name), with the
    // sheet's index in the formulas' numbering (chart sheets counted).
    std::function<void(TSheet& sheet, int formulaIndex)> OnDeleting;
    std::function<void(int formulaIndex, std::u16string_view name)> OnRenaming;
    TSheet* FindByName(std::u16string_view name) const;
    int IndexOf(const TSheet* sheet) const { return TCollection<TSheet>::IndexOf(sheet); }

    void SetMaxRecSize(int size) { maxRecSize = size; }
    int GetMaxRecSize() const { return maxRecSize; }
    IWorkbookContext& GetOwner() const { return workbook; }
    // The shared string table's records.
    void WriteSST(TXLSStream& stream);
    void ReadSST(TXLSStream& stream, int length);
    // Sheet names, one entry per sheet, for the formula services.
    TXLSWideStringList& NameList() { return names; }

private:
    friend class TBasicSheet;
    bool NameTaken(std::u16string_view name, const TBasicSheet* except) const;
    // The index of the names in upper case is brought up to date.
    void IndexNames() const;
    void Renamed(const TBasicSheet& sheet, const std::u16string& oldName);

    IWorkbookContext& workbook;
    TXLSWideStringList names;
    int maxRecSize = 8224;
    // The sheets by their names in upper case, for the many lookups of a
    // workbook of many sheets; rebuilt when sheets came or went behind it.
    mutable std::unordered_map<std::u16string, const TBasicSheet*> upperNames;
    mutable uint64_t indexedGeneration = ~uint64_t(0);
};

} // namespace xls
