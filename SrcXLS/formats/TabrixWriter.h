// The BIFF workbook writer: a BIFF8 or BIFF5 workbook in a compound file,
// made by replaying the globals and sheet record lists and expanding each
// placeholder into the records the model generates, or a single-sheet BIFF4
// file in a fixed record order.
#pragma once

#include "SrcXLS/formats/BIFFRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace xls {

class TXLSColumns;

// Writes a block of model records on the stream.
using TBIFFBlockWriter = std::function<void(TXLSStream&)>;

// What the writer needs of one worksheet: its record list and the model
// objects behind the generated records.
struct TBIFFSheetSource {
    TRecordStorageSheet* Records = nullptr;
    std::u16string Name;
    // 0 worksheet, 1 a sheet whose BOF type is 0x0006, 2 macro sheet.
    uint8_t Kind = 0;
    uint8_t Hidden = 0;
    uint16_t Protection = FullSheetProtection;
    const TPane* Pane = nullptr;
    const TSelectedAreas* Selection = nullptr;
    const TPrintSettings* Print = nullptr;
    const TXLSColumns* Columns = nullptr; // COLINFO records
    const TXLSRows* Rows = nullptr;       // ROW records
    TBIFFBlockWriter Cells;               // cell records
    TBIFFBlockWriter MergedCells;
    // In the sheet's tail after the merged cells, in this order.
    TBIFFBlockWriter ConditionalFormats;
    TBIFFBlockWriter Hyperlinks;
    TBIFFBlockWriter Validations;
    // Before DIMENSIONS.
    TBIFFBlockWriter AutoFilters;
    TBIFFBlockWriter Drawing; // the drawing, its OBJ, TXO and NOTE records
};

// A chart sheet: its tab and the writer of its substream.
struct TBIFFChartSheetSource {
    std::u16string Name;
    // Position among all sheets.
    int Position = 0;
    uint8_t Hidden = 0;
    TBIFFBlockWriter Write;
};

// What the writer needs of the workbook.
struct TBIFFWorkbookSource {
    TRecordStorageGlobals* Globals = nullptr;
    const TRecordStorageEx2007Unknown* Ex2007 = nullptr;
    const TXFonts* Fonts = nullptr;
    const TCellFormats* Formats = nullptr;
    // A workbook made here rather than read writes the built-in styles.
    bool NewWorkbook = true;
    std::span<const std::vector<uint8_t>> Styles;
    const TPalette* Palette = nullptr;
    std::vector<TBIFFSheetSource> Sheets;
    // In the order of their positions.
    std::vector<TBIFFChartSheetSource> ChartSheets;
    int SelectedTab = 0;
    std::vector<uint8_t> FileSharing;
    std::u16string Password;
    // The macro project, written while macros are kept.
    TXLSVBA* VBA = nullptr;
    bool PreserveMacros = true;
    // Code page of 8-bit text below BIFF8.
    int CodePage = DefaultCodePage;
    // The version the kept records were read in: they go into a file of
    // another version only where their layout is the same there.
    TExcelVersion ReadVersion = TExcelVersion::xvNone;
    TBIFFBlockWriter SharedStrings; // SST and EXTSST
    TBIFFBlockWriter Names;         // external references and defined names
    // A BIFF5 write of a workbook read from another version whose names or
    // formulas name sheets: the BIFF5 link table (one EXTERNSHEET per sheet
    // tab) comes before the names and in every worksheet.
    bool OldLinkTable = false;
    TBIFFBlockWriter DrawingGroup; // MSODRAWINGGROUP, continued past 8224 bytes
    // Given: the finished file goes to this buffer instead of the file.
    std::vector<uint8_t>* TargetStream = nullptr;
    TExtraObjects* ExtraObjects = nullptr;
};

// One sheet tab of the BOUNDSHEET block.
struct TBoundsheetData {
    uint8_t Kind = 0; // 0 worksheet, 1 chart, 2 VBA module, 3 macro sheet
    int Index = 0;
    int64_t BodyPosition = -1;
    std::u16string Name;
    uint8_t Hidden = 0;
};

class TTabrixWriter {
public:
    explicit TTabrixWriter(TBIFFWorkbookSource& source);

    // An xvExcel50 or xvExcel97 workbook. Nothing reaches the file unless
    // the whole workbook was written.
    void WriteBIFFWorkbook(const std::filesystem::path& fileName, TExcelVersion version);
    // The first sheet as a BIFF4 file.
    void WriteBIFF4Sheet(const std::filesystem::path& fileName);

    const std::vector<TBoundsheetData>& Boundsheets() const { return boundsheets; }

private:
    void ListBoundsheets();
    void WriteGlobals();
    // False for a record left out (its CONTINUE records follow it out).
    bool WriteGlobalRecord(const TRecordBlock& block);
    void WriteBOF(const TRecordBlock& block);
    // With a password: FILEPASS after the globals BOF, and at the end the
    // stream encrypted.
    void WriteFilePass();
    void EncryptWritten();
    void WriteFormatBlock();
    void WriteStyles();
    void WriteBoundsheets();
    void WriteOldLinkTable();
    void WriteSheet(TBoundsheetData& entry);
    void WriteChartSheet(TBoundsheetData& entry);
    // The first 4 bytes of the entry's BOUNDSHEET body := the stream position.
    void PatchBoundsheet(const TBoundsheetData& entry);
    void WriteSheetRecord(const TBIFFSheetSource& sheet, const TRecordBlock& block);
    void WriteDimensions(TRecordStorageSheet& records, bool wide);
    void WriteWriteAccess8Bit(size_t padTo);
    void WriteSheetTail(const TBIFFSheetSource& sheet);
    bool HasPanes(const TBIFFSheetSource& sheet) const;
    void Run(const TBIFFBlockWriter& block);
    void Open(const std::filesystem::path& fileName, TExcelVersion version);

    TBIFFWorkbookSource& source;
    TXLSStream stream;
    TBIFFRecordWriter records;
    std::vector<TBoundsheetData> boundsheets;
    TExcelVersion version = TExcelVersion::xvExcel97;
    bool paletteGenerated = false;
    int64_t filePassEnd = -1;
    TRC4Key key{};
};

} // namespace xls
