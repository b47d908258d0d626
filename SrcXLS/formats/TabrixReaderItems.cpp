// Items of a workbook that hold no cell: a record, or a record with those
// that belong to it (a drawing with its OBJ, TXO and chart records, a
// conditional format with its CF records, validations with their DV
// records). One that fails to read costs itself: what it added to the
// model goes, the stream goes on after its last record, and a warning names
// it and its sheet. Cell records and the records that frame the substreams
// (BOF, EOF, BOUNDSHEET, SST, FILEPASS) still refuse the workbook.
#include "SrcXLS/formats/TabrixReader.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/EscherRecords.h"
#include "SrcXLS/formats/BIFFEncryption.h"
#include "SrcXLS/formats/BIFFRecords.h"
#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/model/Sheet.h"

#include <algorithm>
#include <cstdio>

namespace xls {

namespace {
constexpr uint16_t SST = 0x00FC, BOUNDSHEET = 0x0085, CRN = 0x005A, XCT = 0x0059;

} // namespace

// What a warning calls an item, and the records after its first that belong
// to it (a chart substream among them where Charts is set).
struct TItemKind {
    uint16_t Id;
    const char* What;
    uint16_t Followers[4];
    bool Charts = false;
};

namespace {

constexpr TItemKind ItemKinds[] = {
    {biff::MSODRAWING,
     "drawing with all its shapes, pictures, notes, text boxes, controls and charts",
     {biff::MSODRAWING, biff::OBJ, biff::TXO, biff::CONTINUE},
     true},
    {biff::MSODRAWINGGROUP,
     "drawing group with the workbook's pictures",
     {biff::CONTINUE, biff::MSODRAWINGGROUP}},
    {condfmt::CONDFMT, "conditional format with its CF records", {condfmt::CF}},
    {dval::DVAL, "data validations with their DV records", {dval::DV}},
    {hlink::HLINK, "hyperlink", {hlink::HLINKTOOLTIP}},
    {XCT, "cached values of another workbook with their CRN records", {CRN}},
    {biff::NOTE, "note", {}},
    {biff::PANE, "pane", {}},
    {biff::FONT, "font", {}},
    {biff::FONT4, "font", {}},
    {biff::XF, "cell format", {}},
    {biff::XF4, "cell format", {}},
    {biff::FORMAT, "number format", {}},
    {biff::PALETTE, "palette", {}},
    {biff::STYLE, "cell style", {}},
    {0x00E5, "list of merged cells", {}},
    {0x0018, "defined name", {biff::CONTINUE}},
    {0x0017, "link table", {biff::CONTINUE}},
    {0x01AE, "link to a workbook", {biff::CONTINUE}},
    {0x0023, "external name", {biff::CONTINUE}},
    {biff::HEADER, "page header", {}},
    {biff::FOOTER, "page footer", {}},
    {biff::HORIZONTALPAGEBREAKS, "page breaks", {}},
    {biff::VERTICALPAGEBREAKS, "page breaks", {}},
};

const TItemKind* FindKind(uint16_t recordId) {
    for (const TItemKind& k : ItemKinds)
        if (k.Id == recordId) return &k;
    return nullptr;
}

} // namespace

bool TTabrixReader::HoldsCells(uint16_t recordId) const {
    if (IsBOFId(recordId) || IsValueCellRecord(recordId)) return true;
    switch (recordId) {
    case biff::EOF_RECORD:
    case biff::FILEPASS:
    case BOUNDSHEET:
    case SST:
    case biff::FORMULA:
    case biff::FORMULA3:
    case biff::FORMULA4:
        return true;
    default:
        return false;
    }
}

TTabrixReader::TItemMark TTabrixReader::MarkItem() const {
    TItemMark m;
    m.Header = Header;
    // Records whose handlers read their own bodies stand before them.
    const bool selfRead = IsBOFId(Header.Id) || Header.Id == SST || ReadsOwnBody();
    m.BodyStart = Stream.Position() - (selfRead ? 0 : Header.Length);
    m.Sheet = InSheet() ? SheetIndex : -1;
    if (m.Sheet >= 0) {
        TSheet& sheet = Target.Sheets->Items(m.Sheet);
        m.CondFmts = sheet.ConditionalFormats().Count();
        m.Validations = sheet.Validations().Count();
        m.Hyperlinks = sheet.Hyperlinks().Count();
    }
    return m;
}

void TTabrixReader::DispatchItem() {
    if (HoldsCells(Header.Id)) {
        Dispatch();
        return;
    }
    const TItemMark mark = MarkItem();
    try {
        Dispatch();
    } catch (const std::exception& e) {
        LoseItem(mark, e.what());
    }
}

// What the item added goes; the stream goes on after the item's records.
void TTabrixReader::LoseItem(const TItemMark& mark, const std::string& reason) {
    KeepRecord = false;
    const TItemKind* kind = FindKind(mark.Header.Id);
    if (mark.Sheet >= 0 && mark.Sheet < Target.Sheets->Count()) {
        TSheet& sheet = Target.Sheets->Items(mark.Sheet);
        while (sheet.ConditionalFormats().Count() > mark.CondFmts)
            sheet.ConditionalFormats().Delete(sheet.ConditionalFormats().Count() - 1);
        while (sheet.Validations().Count() > mark.Validations)
            sheet.Validations().Delete(sheet.Validations().Count() - 1);
        while (sheet.Hyperlinks().Count() > mark.Hyperlinks)
            sheet.Hyperlinks().Delete(sheet.Hyperlinks().Count() - 1);
        if (mark.Header.Id == biff::MSODRAWING && DrawingSheet == mark.Sheet) {
            sheet.Drawing().Clear();
            LostDrawing = true;
        }
    }
    if (mark.Header.Id == biff::MSODRAWINGGROUP && Target.Pictures) Target.Pictures->Clear();
    SkipItem(mark, kind);
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", unsigned(mark.Header.Id));
    // A font or cell format keeps its place, which the formats and cells count by.
    const bool standsIn = mark.Header.Id == biff::FONT || mark.Header.Id == biff::FONT4 ||
                          mark.Header.Id == biff::XF || mark.Header.Id == biff::XF4;
    Warn(std::string("the ") + (kind ? kind->What : "record") + " (record " + hex +
         ") could not be read and " + (standsIn ? "the default stands in its place: " : "was left out: ") +
         reason);
}

void TTabrixReader::SkipItem(const TItemMark& mark, const TItemKind* kind) {
    Stream.EndJoin();
    Stream.Seek(mark.BodyStart + mark.Header.Length, 0);
    while (kind && Stream.Size() - Stream.Position() >= 4) {
        const uint16_t next = Stream.PeekRecordId();
        const bool chart = kind->Charts && IsBOFId(next) && NextIsChartBOF();
        if (!chart && std::find(std::begin(kind->Followers), std::end(kind->Followers), next) ==
                          std::end(kind->Followers))
            break;
        // An unset follower is 0, which no item has after it.
        if (!chart && next == 0) break;
        Stream.ReadHeader(Header);
        Stream.Seek(Header.Length, 1);
        if (chart) SkipSubstream();
    }
    // Notes of a drawing that went go with it.
    if (kind && kind->Id == biff::MSODRAWING)
        while (Stream.Size() - Stream.Position() >= 4 && Stream.PeekRecordId() == biff::NOTE) {
            Stream.ReadHeader(Header);
            Stream.Seek(Header.Length, 1);
        }
    Header = mark.Header;
}

// Whether the record ahead is the BOF of a chart substream.
bool TTabrixReader::NextIsChartBOF() {
    const int64_t at = Stream.Position();
    TBIFFHeader h;
    uint8_t body[4] = {};
    bool chart = false;
    if (Stream.ReadHeader(h) == 4 && h.Length >= 4 && Stream.ReadUnencrypted(body, 4) == 4)
        chart = GetU16(body + 2) == bofType::Chart;
    Stream.Seek(at, 0);
    return chart;
}

} // namespace xls

namespace xls {

uint16_t TTabrixReader::VersionBOF() const {
    if (Version >= TExcelVersion::xvExcel50) return 0x0809;
    if (Version == TExcelVersion::xvExcel40) return 0x0409;
    if (Version == TExcelVersion::xvExcel30) return 0x0209;
    return 0x0009;
}

// A chart sheet whose records do not read is left out; its name keeps its
// place among the sheets, which formulas count by.
void TTabrixReader::StartChartSheet() {
    ++BoundsheetIndex;
    const std::u16string name =
        BoundsheetIndex < SheetNames.GetCount() ? SheetNames.GetItem(BoundsheetIndex) : std::u16string();
    const int charts = Target.ChartSheets ? Target.ChartSheets->Count() : 0;
    const int64_t after = Stream.Position();
    try {
        ReadChartSheet();
    } catch (const std::exception& e) {
        while (Target.ChartSheets && Target.ChartSheets->Count() > charts)
            Target.ChartSheets->Delete(Target.ChartSheets->Count() - 1);
        Stream.EndJoin();
        Stream.Seek(after, 0);
        SkipSubstream();
        if (Target.Warn)
            Target.Warn("Chart sheet '" + WideToUtf8(name) +
                        "' could not be read and was left out: " + e.what());
    }
    if (BoundsheetIndex < SheetNames.GetCount()) Target.Sheets->NameList().Add(name);
    if (!SheetNames.GetCount() || BoundsheetIndex >= SheetNames.GetCount() - 1) Finished = true;
}

bool TTabrixReader::StartsLostSubstream() {
    if (IsBOFId(Header.Id) || Version < TExcelVersion::xvExcel50) return false;
    const size_t next = size_t(BoundsheetIndex + 1);
    if (next >= SheetStarts.size() || int(next) >= SheetNames.GetCount() ||
        int64_t(SheetStarts[next].Position) != RecordStart)
        return false;
    const std::u16string name = SheetNames.GetItem(int(next));
    const uint8_t type = SheetStarts[next].Type;
    if (Target.Warn)
        Target.Warn((type == 2 ? "Chart sheet '" : "Sheet '") + WideToUtf8(name) +
                    "': its BOF record is damaged" +
                    (type == 2 ? "; the chart sheet was left out" : "; read as a sheet all the same"));
    if (type == 2) {
        ++BoundsheetIndex;
        Target.Sheets->NameList().Add(name);
        if (Header.Id != biff::EOF_RECORD) SkipSubstream();
        if (BoundsheetIndex >= SheetNames.GetCount() - 1) Finished = true;
        return true;
    }
    // The sheet starts with a BOF of its own in place of the damaged one.
    const bool biff8 = Version >= TExcelVersion::xvExcel97;
    const uint16_t kind = type == 1   ? bofType::MacroSheet
                          : type == 6 ? bofType::VBModule
                                      : bofType::Worksheet;
    std::vector<uint8_t> bof;
    TByteWriter w(bof);
    w.U16(biff8 ? 0x0600 : 0x0500);
    w.U16(kind);
    w.U16(biff8 ? 0x18AF : 0x0DBB);
    w.U16(biff8 ? 0x07CD : 0x07CC);
    if (biff8) {
        w.U32(0);
        w.U32(0x0106);
    }
    if (Buffer.size() < bof.size()) Buffer.resize(bof.size());
    std::copy(bof.begin(), bof.end(), Buffer.begin());
    Header = TBIFFHeader{VersionBOF(), uint16_t(bof.size())};
    StartSheet(DecodeBOF(Body()), kind == bofType::Worksheet ? 0 : kind == bofType::VBModule ? 1 : 2);
    return true;
}

} // namespace xls
