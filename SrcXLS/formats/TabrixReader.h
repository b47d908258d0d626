// The BIFF workbook reader: reads a binary workbook of BIFF2 to BIFF8 into
// the component, handing every record to the part of the model that owns
// it and keeping every record no owner takes, in file order, in the record
// list of the substream it came from.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/BIFFCellRecords.h"
#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/WideStringList.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace xls {

class TSheet;
class TCell;
class TSheets;
class TRecordStorageDefault;
class TRecordStorageGlobals;
class TRecordStorageEx2007Unknown;
class TExtraObjects;
class TXFonts;
class TXFont;
class TCellFormats;
class TSST2;
class TStyles;
class TFormulaHandler;
class TMSOPictures;
class TSheetCharts;
// What a warning calls an item of the file, and the records that belong to it.
struct TItemKind;

// What the reader fills: the workbook's parts, which the caller has cleared,
// and the settings found in the file, which the caller takes back.
struct TBIFFWorkbookTarget {
    std::filesystem::path FileName;
    bool ReadMacros = true;
    TXLSVBA* VBA = nullptr; // reads the macro project when ReadMacros is on
    std::u16string Password;
    // Asked for the password of an encrypted file, given Password; empty
    // when nobody is asked.
    std::function<void(std::u16string& password)> AskPassword;
    TSheets* Sheets = nullptr;
    TRecordStorageGlobals* Globals = nullptr;
    TRecordStorageEx2007Unknown* Ex2007 = nullptr;
    TExtraObjects* ExtraObjects = nullptr;
    TXFonts* Fonts = nullptr;
    TCellFormats* Formats = nullptr;
    TSST2* Strings = nullptr;
    TStyles* Styles = nullptr;
    // Defined names and external references (BIFF8), the names of older
    // files for the text of their formulas.
    TFormulaHandler* Formulas = nullptr;
    TMSOPictures* Pictures = nullptr;
    TSheetCharts* ChartSheets = nullptr;
    // Told the file's version before the first record is read.
    std::function<void(TExcelVersion)> SetVersion;
    // The percentage read; empty when nobody follows it.
    std::function<void(int percent)> Progress;
    // Told of each part of the file the read leaves behind (UTF-8, one line).
    std::function<void(std::string)> Warn;

    // Found in the file.
    int CodePage = DefaultCodePage; // of the 8-bit text of BIFF2-BIFF5
    bool IsMac = false;
    std::vector<uint8_t> FileSharing;
};

class TTabrixReader {
public:
    explicit TTabrixReader(TBIFFWorkbookTarget& target);
    ~TTabrixReader();
    TTabrixReader(const TTabrixReader&) = delete;
    TTabrixReader& operator=(const TTabrixReader&) = delete;

    // Reads the target's file, or source when given (a compound file or a
    // plain BIFF2-BIFF4 stream). Raises XLSError on failure; the model keeps
    // what was read.
    void ReadBIFFRecords(const std::vector<uint8_t>* source = nullptr);

private:
    struct TSharedFormula {
        TSharedFormulaRange Range;
        std::vector<uint8_t> Tokens;
        std::vector<uint8_t> Extra;
    };

    void Reset();
    void OpenStream(const std::vector<uint8_t>* source);
    void ReadLoop();
    bool ReadBody();
    void Progress();
    void Dispatch();
    bool DispatchBook(bool biff8);
    bool DispatchSheet(bool biff5, bool biff8);
    bool DispatchOld();

    // Items that hold no cell: one that fails to read costs itself
    // (TabrixReaderItems.cpp).
    struct TItemMark {
        TBIFFHeader Header;
        int64_t BodyStart = 0;
        int Sheet = -1;
        int CondFmts = 0, Validations = 0, Hyperlinks = 0;
    };
    bool HoldsCells(uint16_t recordId) const;
    TItemMark MarkItem() const;
    void DispatchItem();
    void LoseItem(const TItemMark& mark, const std::string& reason);
    void SkipItem(const TItemMark& mark, const TItemKind* kind);
    bool NextIsChartBOF();
    bool LostDrawing = false;     // the drawing of the sheet being read went
    bool AfterLostObject = false; // the record before was an object of it
    std::span<const uint8_t> Body() const { return {Buffer.data(), Header.Length}; }

    // Storage rules.
    void Replace();
    static void PutDefault(TRecordStorageDefault& list, uint16_t recordId, std::span<const uint8_t> body);
    void ReplaceFrom(TExcelVersion lowest);
    void Drop() { KeepRecord = false; }
    // Notes a part of the file left behind, naming the sheet being read.
    void Warn(const std::string& what) const;
    void Placeholder(uint16_t id);
    TSheet& Sheet();
    TSheet& CellSheet();
    bool InSheet() const { return SheetIndex >= 0 && CurrentStorage != Globals(); }
    TRecordStorageDefault* Globals() const;

    // Substreams.
    void ReadBOF();
    void StartSheet(const TBOFRecord& bof, int kind);
    void ReadEOF();
    void EndSubstream();
    void CapBOF();
    // The BOF id of the file's version, which every substream of it starts with.
    uint16_t VersionBOF() const;
    // A record where a sheet's BOF should stand, after the last substream
    // ended: the BOF is damaged, and the sheet is read all the same.
    bool StartsLostSubstream();
    void StartChartSheet();
    // Where each BOUNDSHEET says its substream starts, and its type.
    std::vector<TBoundSheetEntry> SheetStarts;
    int64_t RecordStart = 0;
    void CompleteLists();
    // Every font the cell formats name, the default fonts where the file
    // has none.
    void CompleteFonts();
    void KeepSubstream();
    void SkipSubstream();
    void ReadFilePass();
    bool Finished = false;

    // Workbook settings.
    void ReadCodePage();
    void ReadFont();
    TXFont* LastFont = nullptr;
    void ReadFormat();
    void ReadXF();
    void ReadPalette();
    void ReadBoundSheet();
    void ReadWriteAccess();
    void ReadSST();

    // Sheet settings.
    void ReadWindow2();
    void ReadScl();
    void ReadSelection();
    void ApplySelection(const TSelectionRecord& s);
    void ReadPane();
    void ReadHeaderFooter();
    void ReadMargin();
    void ReadPageBreaks();
    void ReadMergedCells();
    // Sheet collections bound to cell areas.
    void ReadHyperlink();
    void ReadCondFmt();
    void DropOrphanCF();
    void ReadDVal();
    void ReadAutoFilterRecord();
    void ReadFeatHdr();
    void ReadSheetExt();
    void ReadXCT();
    // NAME, SUPBOOK, EXTERNNAME and EXTERNSHEET.
    void ReadNameRecord();
    // A NAME of a BIFF2-BIFF5 file, and the formulas of those names made
    // into BIFF8 tokens at the end of the read.
    void ReadOldName();
    void GlobalNamesOfNoSheet();
    void CompileOldNames();
    struct TOldName {
        int Index = 0;
        std::vector<uint8_t> Tokens;
        size_t TokenLength = 0;
    };
    std::vector<TOldName> OldNames;
    // The body with the CONTINUE records that follow it.
    std::vector<uint8_t> JoinedBody();
    // A formula cell read from a file older than BIFF8 keeps its layout.
    void MarkTokens(TCell* cell) const;
    void ReadDimensions();

    // Drawings (TabrixReaderDrawing.cpp).
    bool ReadsOwnBody() const;
    void ReadDrawingGroup();
    void ReadSheetDrawing();
    void ReadNote();
    void ReadChartSheet();
    int DrawingSheet = -1; // the sheet whose drawing was read

    // Cells.
    void ReadValueCells();
    void ReadFormula();
    void ReadFormulaBIFF5(const TFormulaRecord& f);
    // valueOnly: the cached result as a plain value cell, without the formula.
    void PutFormulaResult(const TFormulaRecord& f, std::span<const uint8_t> tokens, int cce, int format,
                          bool valueOnly = false);
    bool ReadArrayMember(const TFormulaRecord& f);
    void CheckCell(int col, int64_t row) const;
    // The body of the next record when it has this id (consumed), else empty.
    bool NextRecordIs(std::initializer_list<uint16_t> ids, std::vector<uint8_t>& body);
    bool NextFormulaString(std::u16string& text);

    TBIFFWorkbookTarget& Target;
    std::vector<uint8_t> Buffer;
    int SheetIndex = -1;
    TXLSStream Stream;
    TXLSWideStringList SheetNames;
    int BoundsheetIndex = -1;
    TBIFFHeader Header;
    std::vector<TSharedFormula> SharedFormulas;
    uint32_t LowestVersion = 0;
    // The ARRAY records of the sheet being read, and where each is by its
    // first cell (row << 8 | column).
    std::vector<std::vector<uint8_t>> Arrays;
    std::map<uint32_t, size_t> ArrayAt;
    bool Mark1998 = false;
    TRecordStorageDefault* CurrentStorage = nullptr;
    bool KeepRecord = true;

    TExcelVersion Version = TExcelVersion::xvNone;
    TFileText Text;
    int RecordCount = 0;
    int OutsideRecords = 0; // records met while no substream was open
    int LastPercent = 0;
    bool SkippingViews = false;
    bool SheetOpen = false; // between a worksheet's BOF and its EOF
    std::vector<TReadCell> Cells;
    // BIFF2-BIFF4: the model's number format of each FORMAT, by order; whether
    // XF records were read; the format of BIFF2 cells that name the IXFE.
    std::vector<int> OldFormats;
    bool OldXFs = false;
    int Ixfe = 15;
    int OldCellFormat(int attributeFormat) const;
};

} // namespace xls
