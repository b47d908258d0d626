// The workbook component: the one object through which the rest of the
// program sees a workbook. It owns the pools, the sheets and the record
// lists, publishes the workbook-level properties and hands the model to the
// file readers and writers, chosen by Version on writing and by the file
// name's extension on reading.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSKeptPackage.h"
#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/FormControls.h"
#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formats/VBAProject.h"
#include "SrcXLS/formats/XLSXPackage.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/FormulaReach.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/CellFormatsEx12.h"
#include "SrcXLS/model/ReservedMember.h"
#include "SrcXLS/model/Sheet.h"
#include "SrcXLS/model/TextMeasure.h"
#include "SrcXLS/model/WorkbookContext.h"
#include "SrcXLS/model/XFonts.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace xls {

enum class TTempFileMode : uint8_t { tfmOnDisk, tfmInMemory };
enum class TCalcMode : uint8_t { cmManual, cmAutomatic, cmAutoExTables };
enum class TShowObjects : uint8_t { soShowAll, soPlaceholders, soHideAll };

// WINDOW1 flags.
enum TWorkbookOption : uint16_t {
    woHidden = 0x01,
    woIconized = 0x02,
    woHScroll = 0x08,
    woVScroll = 0x10,
    woTabs = 0x20,
};

// The workbook window, over the globals' WINDOW1 record.
class TWorkbookData {
public:
    explicit TWorkbookData(TRecordStorageGlobals& globals) : globals(globals) {}
    int GetLeft() const { return Word(0); }
    void SetLeft(int v) { SetWord(0, v); }
    int GetTop() const { return Word(2); }
    void SetTop(int v) { SetWord(2, v); }
    int GetWidth() const { return Word(4); }
    void SetWidth(int v) { SetWord(4, v); }
    int GetHeight() const { return Word(6); }
    void SetHeight(int v) { SetWord(6, v); }
    int GetSelectedTab() const { return Word(10); }
    void SetSelectedTab(int v) { SetWord(10, v); }
    uint16_t GetOptions() const;
    // Only the option bits are kept; every other flag is cleared.
    void SetOptions(uint16_t options);
    bool GetDate1904() const { return globals.GetDateMode(); }

private:
    int Word(int offset) const;
    void SetWord(int offset, int v);
    TRecordStorageGlobals& globals;
};

class TTabrix4;

// Calculation options: some kept in the globals, the rest copied from and to
// the sheets' records around reads and writes.
class TOptionsDialog {
public:
    explicit TOptionsDialog(TRecordStorageGlobals& globals) : globals(globals) {}

    bool GetSaveExtLinkVal() const { return globals.GetBookBool(); }
    void SetSaveExtLinkVal(bool v) { globals.SetBookBool(v); }
    TShowObjects GetShowObjects() const;
    void SetShowObjects(TShowObjects v) { globals.SetHideObj(uint16_t(v)); }
    bool GetPrecisionAsDisplayed() const { return globals.GetPrecision(); }
    void SetPrecisionAsDisplayed(bool v) { globals.SetPrecision(v); }
    int GetCalcCount() const { return calcCount; }
    // 0 gives 1; capped at 32767.
    void SetCalcCount(int v);

    TCalcMode CalcMode = TCalcMode::cmAutomatic;
    double Delta = 0.001;
    bool Iteration = false;
    bool R1C1Mode = false;
    bool RecalcBeforeSave = false;
    bool Uncalced = false;
    bool SaveRecalc = true;

    void ReadFrom(const TRecordStorageSheet& sheet);
    void WriteTo(TRecordStorageSheet& sheet) const;

private:
    TRecordStorageGlobals& globals;
    int calcCount = 100;
};

class TTabrix4 : public IWorkbookContext {
public:
    using TIntegerEvent = std::function<void(TTabrix4& sender, int value)>;

    TTabrix4();
    ~TTabrix4() override;
    TTabrix4(const TTabrix4&) = delete;
    TTabrix4& operator=(const TTabrix4&) = delete;

    static constexpr const char* ComponentVersion = "4.00.12a";

    // Empties the workbook to one empty worksheet; Version, Filename and the
    // other settings stay.
    void Clear();
    // Reads Filename: .xlsx, .xlsm and .zip as a package, others as BIFF.
    void Read();
    // Writes Filename in the format of Version.
    void Write();

    TExcelVersion GetVersion() const { return version; }
    void SetVersion(TExcelVersion value);
    TExcelVersion GetOrigVersion() const override { return origVersion; }
    const std::u16string& GetFilename() const { return filename; }
    void SetFilename(std::u16string_view name) { filename = name; }
    bool Excel2007MacroFile() const;

    TSheets& Sheets() { return *sheets; }
    TSheet& GetSheet(int index) { return sheets->Items(index); }
    TWorkbookData& Workbook() { return workbookData; }
    TOptionsDialog& OptionsDialog() { return optionsDialog; }

    TXFonts& Fonts() override { return fonts; }
    TMSOPictures& Pictures() override { return pictures; }
    TSheetCharts& ChartSheets() { return chartSheets; }
    const TDrawingNames* DrawingNames() const override { return &drawingNames; }
    TCellFormats& DefaultFormats() override { return defaultFormats; }
    TCellFormats& SecondFormats() { return secondFormats; }
    TCellFormat* DefaultFormat() const { return defaultFormat; }
    TSST2& Strings() override { return strings; }
    TCellValuesList& CellStores() override { return cellStores; }
    TRecordStorageGlobals& GlobalsStorage() { return globals; }
    TRecordStorageEx2007Unknown& Unknown2007() { return unknown2007; }
    TExtraObjects& ExtraObjects() { return extraObjects; }
    TStyles& Styles() { return styles; }
    TEx12CellStyles& Ex12Styles() { return ex12Styles; }
    // What a package read keeps beside the model, and the package itself.
    TXLSXBookData& PackageData() { return packageData; }
    TKeptPackage& KeptPackage() { return keptPackage; }
    // Adds a number format under its index to the default pool, as a used
    // entry; the Ex12 form takes the ids of an .xlsx styles part.
    void AddNumberFormat(std::u16string_view text, int index);
    void AddNumberFormatEx12(std::u16string_view text, int index);
    // The macro project of a read workbook (kept while PreserveMacros is on).
    TXLSVBA& VBA() { return *vba; }

    TXFont* GetFont() const override { return fonts.GetItem(0); }
    void SetFont(const TXFont& font);
    std::u16string GetUserName() const { return globals.GetUserName(); }
    void SetUserName(std::u16string_view name) { globals.SetUserName(name); }
    bool GetBookProtected() const;
    void SetBookProtected(bool v);
    bool GetBackup() const { return globals.GetBackup(); }
    void SetBackup(bool v) { globals.SetBackup(v); }
    bool GetRefreshAll() const { return globals.GetRefreshAll(); }
    void SetRefreshAll(bool v) { globals.SetRefreshAll(v); }
    bool GetRecomendReadOnly() const;
    void SetRecomendReadOnly(bool v);
    void SetFileSharing(std::span<const uint8_t> body) { fileSharing.assign(body.begin(), body.end()); }
    const std::vector<uint8_t>& GetFileSharing() const { return fileSharing; }

    // Library-wide boolean texts.
    static void SetStrTRUE(std::u16string_view text);
    static void SetStrFALSE(std::u16string_view text);

    bool ShowFormulas = false;
    bool IsMac = false;
    // Code page of the 8-bit text of BIFF2-BIFF5 files: the one read, for
    // writing such a file again.
    int CodePage = DefaultCodePage;
    bool PreserveMacros = true;
    std::u16string Password;
    TTempFileMode TempFileMode = TTempFileMode::tfmOnDisk;
    TPaperSize PaperSize = TPaperSize::psA4;
    // True while the workbook uses the built-in format block.
    bool DefaultFormatBlock = true;
    int GetMaxRecSize() const override { return maxRecSize; }

    TIntegerEvent OnProgress;
    // Computes the functions the library does not: it gets the function's
    // name, the arguments and the result to set.
    using TFunctionEvent = std::function<void(TTabrix4& sender, std::u16string_view funcName,
                                              std::vector<TFormulaValue>& args, TFormulaValue& result)>;
    TFunctionEvent OnFunction;
    // The value of the formula cell at (col, row) of sheet, computed now
    // from the cells and names it refers to; #N/A for any other cell. A
    // cell that refers to itself, also through other cells, gives #VALUE!.
    void CalculateCell(int sheet, int col, int row, TFormulaValue& value) override;
    std::optional<TFormulaValue> ComputedFormulaValue(int sheet, int col, int row) override;
    std::optional<TFormulaValue> FormulaValueToKeep(int sheet, const TFormulaCell& cell) override;
    std::optional<TFormulaValue> FormulaResultToWrite(int sheet, const TFormulaCell& cell) override;
    bool CalculatedOnLoad() const override;
    // The formula cell holds no result of its own (see TFormulaCell::NoResult),
    // its package cached none, or an edit made the one it holds stale.
    bool HoldsNoResult(int sheet, const TFormulaCell& cell);
    // The formulas that the cells changed since the read or the last write
    // can reach hold a stale result: every write computes them (or asks for
    // a calculation on load), the other formulas keep the results they hold.
    void SettleEdits();
    // While one lives, ComputedFormulaValue calculates each cell once, over
    // the workbook as it is (its cells must not change meanwhile); every
    // write makes one.
    class TCalculationPass {
    public:
        explicit TCalculationPass(TTabrix4& book) : book(book) { ++book.passes; }
        ~TCalculationPass() {
            if (--book.passes == 0) book.passEvaluator.reset();
        }
        TCalculationPass(const TCalculationPass&) = delete;
        TCalculationPass& operator=(const TCalculationPass&) = delete;

    private:
        TTabrix4& book;
    };
    // An evaluator over this workbook that calls OnFunction, for calculating
    // many cells in one pass.
    std::unique_ptr<TFormulaEvaluator> MakeEvaluator();
    // Asked for the password of an encrypted workbook being read; it gets
    // Password and may change it.
    std::function<void(TTabrix4& sender, std::u16string& password)> OnPassword;
    std::function<void(TTabrix4&)> OnReadDone;
    // Runs pending window messages during progress (installed by the program).
    std::function<void()> ProcessMessages;
    bool ReportsProgress() const override { return bool(OnProgress); }
    void ProgressStep() override;
    // Before a write: progress total and counter, options to every sheet.
    void PrepareWrite(int64_t totalCells);
    void AfterRead();

    // Text measuring for automatic column widths.
    // What the last Read or Write left behind or could not carry, one line
    // each (UTF-8); each Read and each Write starts the list anew, a Write
    // with what the edits since the last Read or Write did not keep.
    const std::vector<std::string>& Warnings() const { return warnings; }
    void AddWarning(std::string text) override { warnings.push_back(std::move(text)); }
    void AddEditWarning(std::string text) override {
        editWarnings.push_back(text);
        warnings.push_back(std::move(text));
    }

    TTextMeasurer& Measurer() override { return *measurer; }
    void SetMeasurer(std::unique_ptr<TTextMeasurer> m) { measurer = std::move(m); }

    bool FormulasShown() const override { return ShowFormulas; }
    IFormulaServices& Formulas() override { return formulaHandler; }
    TFormulaHandler& FormulaHandler() { return formulaHandler; }
    // The defined names. Deleting one turns the references to it into
    // #NAME? and renumbers those to later names in every formula.
    TInternalNames& GetInternalNames() { return formulaHandler.Names(); }
    // The cached value of an external name (EXTERNSHEET index, 1-based
    // name index); raises the library's messages for what has none.
    void GetExternNameValue(int externSheetIndex, int nameIndex, TFormulaValue& value) const {
        formulaHandler.ExternNameValue(externSheetIndex, nameIndex, value);
    }
    TPaperSize DefaultPaperSize() const override { return PaperSize; }

    // ICellOperations.
    void CopyCells(int srcSheet, int col1, int row1, int col2, int row2, int destSheet, int destCol,
                   int destRow, int options) override;
    void MoveCells(int srcSheet, int col1, int row1, int col2, int row2, int destSheet, int destCol,
                   int destRow, int options) override;
    void DeleteCells(int sheet, int col1, int row1, int col2, int row2) override;

private:
    void CopyOrMove(bool move, int srcSheet, int col1, int row1, int col2, int row2, int destSheet,
                    int destCol, int destRow, int options);
    void ReadFile();
    void WriteFile();
    void SetDefaultWindow();
    void NameDeleted(int position);
    // The formulas of conditional formats, validations and charts (chart
    // sheets too) through follow, which answers whether it changed them; the
    // sheet skip is passed over.
    using TTokensFollow = std::function<bool(std::vector<uint8_t>& tokens)>;
    void FollowRangeFormulas(const TSheet* skip, const TTokensFollow& follow);
    // A sheet deleted or renamed: everything that names it follows. index
    // is its place in the formulas' numbering.
    void SheetDeleting(TSheet& sheet, int index);
    void SheetRenaming(int index, std::u16string_view name);
    // Every formula kept as text, and every sheet name of text kept from a
    // package, through follow (the text, the formula's sheet and cell, -1
    // for none) and sheetName; the sheet skip is passed over.
    using TTextFollow = std::function<std::u16string(std::u16string_view text, int sheet, int col, int row)>;
    void FollowSheetTexts(const TSheet* skip, const TTextFollow& follow,
                          const std::function<std::u16string(std::u16string_view)>& sheetName);
    // The defined names as form controls and shape macros use them.
    void WireDrawingNames();
    // A cell of a store changed ((-1, -1): all its cells).
    void CellEdited(const TCellValues& store, int col, int row, TCell* cell);
    // The formulas the seeds reach hold a stale result from now on.
    void MarkReached(const TReachSeeds& seeds, int skipSheet = -1);

    // The cells' memory: it outlives every sheet.
    TArena cellArena;
    std::u16string filename;
    TKeptPackage keptPackage;
    TExcelVersion version = TExcelVersion::xvExcel97;
    TExcelVersion origVersion = TExcelVersion::xvNone;
    int maxRecSize = 8224;
    TRecordStorageGlobals globals;
    TRecordStorageEx2007Unknown unknown2007;
    TExtraObjects extraObjects;
    TWorkbookData workbookData;
    TOptionsDialog optionsDialog;
    TXFonts fonts;
    TCellFormats defaultFormats;
    TCellFormats secondFormats;
    TCellFormat* defaultFormat = nullptr;
    TSST2 strings{&fonts};
    TCellValuesList cellStores;
    TFormulaHandler formulaHandler{cellStores};
    TMSOPictures pictures;
    TDrawingNames drawingNames;
    TStyles styles;
    TEx12CellStyles ex12Styles;
    std::unique_ptr<TSheets> sheets;
    TSheetCharts chartSheets{pictures, &fonts};
    std::unique_ptr<TXLSVBA> vba;
    // Kept elements, relationships and style sections of a package.
    TXLSXBookData packageData;
    std::vector<uint8_t> fileSharing;
    std::unique_ptr<TTextMeasurer> measurer;
    std::vector<std::string> warnings;
    std::vector<std::string> editWarnings;
    // The cells changed since the read or the last write, by store; past a
    // bound a store counts as changed whole.
    struct TEditedCells {
        uint32_t Whole = 0; // when it changed whole last
        std::vector<TReachSeeds::TCell> Cells;
    };
    std::unordered_map<const TCellValues*, TEditedCells> editedCells;
    std::pair<const TCellValues*, TEditedCells*> lastEdited; // the store edited last
    uint32_t editClock = 0;
    // The calculation of the open passes, made when it is first needed.
    std::unique_ptr<TFormulaEvaluator> passEvaluator;
    int passes = 0;
    int64_t progressTotal = 0;
    int64_t progressCounter = 0;
};

// Reads the component's Filename, or image when given (a compound file or a
// plain BIFF2-BIFF4 stream), into the cleared component. Raises XLSError on
// failure; the model keeps what was read.
void ReadWorkbookFile(TTabrix4& owner, const std::vector<uint8_t>* image = nullptr);
// xvExcel97: BIFF8 in a compound file ("Workbook"); xvExcel50: BIFF5
// ("Book"); xvExcel40: the first sheet as a plain BIFF4 file. Raises
// "Can not write Excel 2.1/3.0 files" for the older versions.
void WriteWorkbookFile(TTabrix4& book);
// Reads the component's Filename, or image when given, as an .xlsx/.xlsm
// package into the cleared component, keeping the package for the writer.
void ReadPackageFile(TTabrix4& owner, const std::vector<uint8_t>* image = nullptr);
// Writes the component as a package: to Filename, or into image when given.
void WritePackageFile(TTabrix4& book, std::vector<uint8_t>* image = nullptr);

} // namespace xls
