// The BIFF workbook reader: reads a binary workbook of BIFF2 to BIFF8 into
// the component, handing every record to the part of the model that owns
// it and keeping every record no owner takes, in file order, in the record
// list of the substream it came from.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/BIFFCellRecords.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/WideStringList.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace xls {

class TTabrix4;
class TSheet;
class TRecordStorageDefault;

// Reads the component's Filename, or image when given (a compound file or a
// plain BIFF2-BIFF4 stream), into the component, which the caller has
// cleared. Raises XLSError on failure; the model keeps what was read.
void ReadWorkbookFile(TTabrix4& owner, const std::vector<uint8_t>* image = nullptr);

class TTabrixReader {
public:
    explicit TTabrixReader(TTabrix4& owner);
    ~TTabrixReader();
    TTabrixReader(const TTabrixReader&) = delete;
    TTabrixReader& operator=(const TTabrixReader&) = delete;

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
    std::span<const uint8_t> Body() const { return {Buffer.data(), Header.Length}; }

    // Storage rules.
    void Replace();
    static void PutDefault(TRecordStorageDefault& list, uint16_t recordId, std::span<const uint8_t> body);
    void ReplaceFrom(TExcelVersion lowest);
    void Drop() { KeepRecord = false; }
    void Placeholder(uint16_t id);
    TSheet& Sheet();
    TSheet& CellSheet();
    bool InSheet() const { return SheetIndex >= 0 && CurrentStorage != Globals(); }
    TRecordStorageDefault* Globals() const;

    // Substreams.
    void ReadBOF();
    void StartSheet(const TBOFRecord& bof, int kind);
    void ReadEOF();
    void KeepSubstream();
    void SkipSubstream();
    void ReadFilePass();
    bool Finished = false;

    // Workbook settings.
    void ReadCodePage();
    void ReadFont();
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
    void ReadFeatHdr();
    void ReadSheetExt();
    void ReadXCT();
    void ReadDimensions();

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

    TTabrix4& Owner;
    std::vector<uint8_t> Buffer;
    int SheetIndex = -1;
    TXLSStream Stream;
    TXLSWideStringList SheetNames;
    int BoundsheetIndex = -1;
    TBIFFHeader Header;
    std::vector<TSharedFormula> SharedFormulas;
    uint32_t LowestVersion = 0;
    std::vector<uint8_t> ArrayData;
    bool Mark1998 = false;
    TRecordStorageDefault* CurrentStorage = nullptr;
    bool KeepRecord = true;

    TExcelVersion Version = TExcelVersion::xvNone;
    TFileText Text;
    int RecordCount = 0;
    int LastPercent = 0;
    bool SkippingViews = false;
    bool SheetOpen = false; // between a worksheet's BOF and its EOF
    std::vector<TReadCell> Cells;
};

} // namespace xls
