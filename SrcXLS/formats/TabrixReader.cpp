#include "SrcXLS/formats/TabrixReader.h"

#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/drawing/EscherRecords.h"
#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/SST.h"
#include "SrcXLS/model/Sheet.h"
#include "SrcXLS/model/XFonts.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace xls {

namespace {

namespace id {
constexpr uint16_t DIMENSIONS2 = 0x0000;
constexpr uint16_t INDEX2 = 0x000B;
constexpr uint16_t HEADER = 0x0014;
constexpr uint16_t FOOTER = 0x0015;
constexpr uint16_t EXTERNSHEET = 0x0017;
constexpr uint16_t NAME = 0x0018;
constexpr uint16_t NAME3 = 0x0218;
constexpr uint16_t VERTICALPAGEBREAKS = 0x001A;
constexpr uint16_t HORIZONTALPAGEBREAKS = 0x001B;
constexpr uint16_t NOTE = 0x001C;
constexpr uint16_t EXTERNNAME = 0x0023;
constexpr uint16_t COLWIDTH2 = 0x0024;
constexpr uint16_t ROW2 = 0x0008;
constexpr uint16_t FONTCOLOR2 = 0x0045;
constexpr uint16_t EXTERNNAME3 = 0x0223;
constexpr uint16_t LEFTMARGIN = 0x0026;
constexpr uint16_t BOTTOMMARGIN = 0x0029;
constexpr uint16_t FONT = 0x0031;
constexpr uint16_t FONT3 = 0x0231;
constexpr uint16_t PANE = 0x0041;
constexpr uint16_t XCT = 0x0059;
constexpr uint16_t CRN = 0x005A;
constexpr uint16_t FILESHARING = 0x005B;
constexpr uint16_t COLINFO = 0x007D;
constexpr uint16_t BOUNDSHEET = 0x0085;
constexpr uint16_t PALETTE = 0x0092;
constexpr uint16_t DBCELL = 0x00D7;
constexpr uint16_t XF2 = 0x0043;
constexpr uint16_t XF = 0x00E0;
constexpr uint16_t XF3 = 0x0243;
constexpr uint16_t XF4 = 0x0443;
constexpr uint16_t MERGEDCELLS = 0x00E5;
constexpr uint16_t MSODRAWINGSELECTION = 0x00ED;
constexpr uint16_t SCL = 0x00A0;
constexpr uint16_t SST = 0x00FC;
constexpr uint16_t EXTSST = 0x00FF;
constexpr uint16_t USERBVIEW = 0x01A9;
constexpr uint16_t USERSVIEWBEGIN = 0x01AA;
constexpr uint16_t USERSVIEWEND = 0x01AB;
constexpr uint16_t SUPBOOK = 0x01AE;
constexpr uint16_t HLINK = 0x01B8;
constexpr uint16_t ROW = 0x0208;
constexpr uint16_t INDEX = 0x020B;
constexpr uint16_t STYLE = 0x0293;
constexpr uint16_t FORMAT = 0x041E;
constexpr uint16_t FORMAT2 = 0x001E;
constexpr uint16_t IXFE2 = 0x0044;
constexpr uint16_t SHEETEXT = 0x0862;
constexpr uint16_t FEATHDR = 0x0867;
} // namespace id

// How a plain settings record is stored: in place of its default from a
// version on (grown with the default's later fields where an older layout
// has fewer), or dropped.
enum class TRule : uint8_t { Replace, ReplaceGrown, Drop };
struct TSimpleRecord {
    uint16_t Id;
    TRule Rule;
    TExcelVersion From; // below it the record is dropped
};

constexpr TExcelVersion Any = TExcelVersion::xvNone;
constexpr TExcelVersion BIFF5 = TExcelVersion::xvExcel50;
constexpr TExcelVersion BIFF8 = TExcelVersion::xvExcel97;

constexpr TSimpleRecord SimpleRecords[] = {
    {biff::CALCCOUNT, TRule::Replace, BIFF5},
    {biff::CALCMODE, TRule::Replace, BIFF5},
    {biff::PRECISION, TRule::Replace, BIFF5},
    {biff::REFMODE, TRule::Replace, BIFF5},
    {biff::DELTA, TRule::Replace, BIFF5},
    {biff::ITERATION, TRule::Replace, BIFF5},
    {biff::PROTECT, TRule::Replace, Any},
    {biff::WINDOWPROTECT, TRule::Replace, BIFF5},
    {biff::DATEMODE, TRule::Replace, Any},
    {biff::PRINTHEADERS, TRule::Replace, BIFF5},
    {biff::PRINTGRIDLINES, TRule::Replace, BIFF5},
    {biff::WINDOW1, TRule::Replace, BIFF8},
    {biff::BACKUP, TRule::Replace, BIFF5},
    {biff::DEFCOLWIDTH, TRule::Replace, BIFF5},
    {biff::SAVERECALC, TRule::Replace, BIFF5},
    {biff::GUTS, TRule::Replace, BIFF5},
    {biff::GRIDSET, TRule::Replace, BIFF5},
    {biff::HCENTER, TRule::Replace, BIFF5},
    {biff::VCENTER, TRule::Replace, BIFF5},
    {biff::HIDEOBJ, TRule::Replace, BIFF5},
    {biff::FNGROUPCOUNT, TRule::Replace, Any},
    {biff::SETUP, TRule::ReplaceGrown, TExcelVersion::xvExcel40},
    {biff::DSF, TRule::Replace, Any},
    {biff::PROT4REV, TRule::Replace, Any},
    {biff::REFRESHALL, TRule::Replace, Any},
    {biff::RECALCID, TRule::Replace, Any},
    {biff::DEFAULTROWHEIGHT, TRule::Replace, BIFF5},
    {id::DBCELL, TRule::Drop, Any},
    {id::INDEX, TRule::Drop, Any},
    {id::INDEX2, TRule::Drop, Any},
    {id::MSODRAWINGSELECTION, TRule::Drop, Any},
    {id::EXTSST, TRule::Drop, Any},
    {id::USERBVIEW, TRule::Drop, Any},
};

const TSimpleRecord* FindSimple(uint16_t recordId) {
    for (const auto& r : SimpleRecords)
        if (r.Id == recordId) return &r;
    return nullptr;
}

// A BIFF2 ROW in the later layout: its height's bit 15 marks the default
// height, which the later flags say the other way round.
std::vector<uint8_t> RowFromBIFF2(std::span<const uint8_t> body) {
    TByteReader r(body);
    std::vector<uint8_t> row(16, 0);
    PutU16(row.data(), r.U16("row"));
    PutU16(row.data() + 2, r.U16("first column"));
    PutU16(row.data() + 4, r.U16("last column"));
    const uint16_t height = r.U16("row height");
    PutU16(row.data() + 6, height & 0x7FFF);
    PutU16(row.data() + 12, height & 0x8000 ? 0x0100 : 0x0140);
    PutU16(row.data() + 14, DefaultCellFormat);
    return row;
}

std::string WrapMessage(int count, uint16_t recordId, int64_t offset, const char* message) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "Error on reading record # %d, %.4X Offs: %.8X\r", count,
                  unsigned(recordId), unsigned(offset));
    return std::string(prefix) + message;
}

} // namespace

TTabrixReader::TTabrixReader(TBIFFWorkbookTarget& target) : Target(target) {
    Stream.ReadMacros = target.ReadMacros;
    Stream.SetVBA(target.VBA);
}

TTabrixReader::~TTabrixReader() = default;

void TTabrixReader::Reset() {
    SheetIndex = -1;
    SheetNames.Clear();
    BoundsheetIndex = -1;
    SharedFormulas.clear();
    Arrays.clear();
    ArrayAt.clear();
    Mark1998 = false;
    RecordCount = 0;
    LastPercent = 0;
    SkippingViews = false;
    SheetOpen = false;
    Finished = false;
    DrawingSheet = -1;
    OldFormats.clear();
    OldXFs = false;
    Ixfe = 15;
    OldNames.clear();
    LastFont = nullptr;
    SheetStarts.clear();
    LostDrawing = false;
    OutsideRecords = 0;
    AfterLostObject = false;
}

TRecordStorageDefault* TTabrixReader::Globals() const {
    return Target.Globals;
}

// ---- the loop

void TTabrixReader::OpenStream(const std::vector<uint8_t>* source) {
    Stream.SourceStream = source;
    Stream.ExtraObjects = Target.ExtraObjects;
    Version = Stream.OpenRead(Target.FileName);
    // The stream name says BIFF5 or BIFF8; the first BOF says what the
    // stream holds, and some writers name a BIFF8 stream "Book".
    if (Stream.IsCompound() && Stream.PeekRecordId() == biff::BOF) {
        uint8_t head[6];
        int64_t at = Stream.Position();
        if (Stream.ReadUnencrypted(head, 6) == 6) {
            uint16_t v = GetU16(head + 4);
            if (v == 0x0600) Version = TExcelVersion::xvExcel97;
            if (v == 0x0500) Version = TExcelVersion::xvExcel50;
        }
        Stream.Seek(at, 0);
    }
    if (Version == TExcelVersion::xvNone || Version == TExcelVersion::xvExcelUnknown ||
        !IsBOFId(Stream.PeekRecordId()))
        throw XLSError("The file is not an Excel workbook");
}

void TTabrixReader::ReadBIFFRecords(const std::vector<uint8_t>* source) {
    Reset();
    struct CloseAtEnd {
        TTabrixReader* r;
        ~CloseAtEnd() {
            r->Stream.Discard();
            // Strings no cell took go.
            r->Target.Strings->EndRead();
            r->Buffer = {};
            r->Arrays = {};
            r->ArrayAt = {};
        }
    } closeAtEnd{this};
    try {
        OpenStream(source);
    } catch (const XLSError&) {
        throw;
    } catch (const std::exception& e) {
        // The container's own faults reach the caller as the library's.
        throw XLSError(e.what());
    }
    Target.SetVersion(Version);
    Text = {Version, DefaultCodePage};
    Buffer.resize(size_t(MaxRecordSize(Version)));
    CurrentStorage = Globals();
    if (Target.Progress) Target.Progress(0);
    try {
        ReadLoop();
    } catch (const std::exception& e) {
        throw XLSError(WrapMessage(RecordCount, Header.Id, Stream.Position(), e.what()));
    }
    if (OutsideRecords > 0 && Target.Warn)
        Target.Warn(std::to_string(OutsideRecords) + " record(s) outside every substream were left out");
    CompleteLists();
    CompleteFonts();
    GlobalNamesOfNoSheet();
    CompileOldNames();
    if (Target.Progress) Target.Progress(100);
}

void TTabrixReader::ReadLoop() {
    while (!Finished && Stream.ReadHeader(Header) == 4) {
        RecordStart = Stream.Position() - 4;
        if (Header.Id & 0x8000) {
            // Some writers leave an empty 0xFFFF record where they dropped one.
            if (Header.Length == 0) continue;
            throw XLSError("Bad record in file");
        }
        if (Header.Length > Buffer.size()) Buffer.resize(Header.Length);
        bool selfRead = IsBOFId(Header.Id) || Header.Id == id::SST || ReadsOwnBody();
        if (!selfRead && !ReadBody()) throw XLSError("Bad record in file");
        Progress();
        if (SkippingViews) {
            if (Header.Id == id::USERSVIEWEND) SkippingViews = false;
            continue;
        }
        if (Header.Id == id::USERSVIEWBEGIN) {
            SkippingViews = true;
            continue;
        }
        if (!SheetOpen && StartsLostSubstream()) continue;
        // A record outside every substream (after an EOF, after a BOF that
        // opened none) belongs to no list: a copy would write it where no
        // reader looks for it.
        if (!SheetOpen && !IsBOFId(Header.Id)) {
            if (selfRead) Stream.Seek(Header.Length, 1);
            ++OutsideRecords;
            continue;
        }
        KeepRecord = true;
        DispatchItem();
        if (KeepRecord) CurrentStorage->Add(Header, Body());
        ++RecordCount;
    }
}

// A body shorter than its header says is a cut file: the handlers never
// see stale bytes of an earlier record.
bool TTabrixReader::ReadBody() {
    return Stream.ReadRecordData(Buffer.data(), Header.Length) == Header.Length;
}

void TTabrixReader::Progress() {
    if (!Target.Progress || Stream.Size() <= 0) return;
    int percent = int(std::nearbyint(double(Stream.Position()) / double(Stream.Size()) * 100.0));
    if (percent > LastPercent && percent < 100) {
        LastPercent = percent;
        Target.Progress(percent);
    }
}

// ---- storage rules

// A replaced record takes the place of the default of the list that has
// one: a globals-only record met inside a sheet goes to the globals, and a
// record no list has a default for is kept as it is.
void TTabrixReader::Replace() {
    TRecordStorageDefault* target = CurrentStorage;
    if (!target->HasDefault(Header.Id)) target = Globals();
    if (!target->HasDefault(Header.Id)) return;
    // A record longer than the layout it has (shorter, in Excel 97) is
    // damaged: the default stays.
    if (const TRecordBlock* d = target->DefaultBlock(Header.Id);
        d && ((Version >= BIFF8 && Header.Length < d->Length()) ||
              (Version >= BIFF5 && Header.Length > d->Length())))
        throw XLSError("Record of " + std::to_string(Header.Length) + " bytes where its layout has " +
                       std::to_string(d->Length()));
    KeepRecord = false;
    PutDefault(*target, Header.Id, Body());
}

// A second record of the same id replaces the first whatever its length.
void TTabrixReader::PutDefault(TRecordStorageDefault& list, uint16_t recordId,
                               std::span<const uint8_t> body) {
    if (list.IndexOf(recordId) >= 0) {
        list.Assign(*list.DefaultBlock(recordId), body);
        return;
    }
    list.UpdateDefault(TBIFFHeader{recordId, uint16_t(body.size())}, body);
}

void TTabrixReader::ReplaceFrom(TExcelVersion lowest) {
    if (Version >= lowest)
        Replace();
    else
        Drop();
}

void TTabrixReader::Placeholder(uint16_t placeholderId) {
    if (CurrentStorage->IndexOf(placeholderId) < 0) CurrentStorage->InsertPlaceholder(placeholderId);
}

void TTabrixReader::Warn(const std::string& what) const {
    if (!Target.Warn) return;
    if (SheetIndex >= 0 && SheetIndex < Target.Sheets->Count() && CurrentStorage != Globals())
        Target.Warn("Sheet '" + WideToUtf8(Target.Sheets->Items(SheetIndex).Name()) + "': " + what);
    else
        Target.Warn(what);
}

TSheet& TTabrixReader::Sheet() {
    if (SheetIndex < 0 || SheetIndex >= Target.Sheets->Count()) throw XLSError("Bad record in file");
    return Target.Sheets->Items(SheetIndex);
}

// Cells of a file without XF records get the default formats.
TSheet& TTabrixReader::CellSheet() {
    TCellFormats& pool = *Target.Formats;
    if (pool.Count() == 0) {
        pool.AddDefaults();
        pool.MarkPermanent();
    }
    return Sheet();
}

// ---- dispatch

void TTabrixReader::Dispatch() {
    const uint16_t rid = Header.Id;
    if (IsBOFId(rid)) {
        ReadBOF();
        return;
    }
    if (IsValueCellRecord(rid)) {
        ReadValueCells();
        return;
    }
    // The object and text records of a drawing left out go with it, also
    // where a record between them ended the drawing's run: a sheet's objects
    // without their drawing are no Excel 97 file.
    const bool objectRecord = rid == biff::OBJ || rid == biff::TXO;
    if (Version >= TExcelVersion::xvExcel97 && InSheet() && DrawingSheet == SheetIndex && LostDrawing &&
        (objectRecord || (rid == biff::CONTINUE && AfterLostObject))) {
        AfterLostObject = true;
        Drop();
        return;
    }
    AfterLostObject = false;
    if (const TSimpleRecord* simple = FindSimple(rid)) {
        if (simple->Rule == TRule::Drop) {
            Drop();
            return;
        }
        ReplaceFrom(simple->From);
        if (simple->Rule == TRule::ReplaceGrown && Version >= simple->From)
            for (TRecordStorageDefault* list : {CurrentStorage, Globals()})
                if (list->HasDefault(rid)) {
                    list->GrowToDefault(rid);
                    break;
                }
        return;
    }
    if (TRecordStorageEx2007Unknown::Keeps(rid)) {
        Target.Ex2007->Add(Header, Body());
        Drop();
        return;
    }
    const bool biff5 = Version >= BIFF5;
    const bool biff8 = Version >= BIFF8;
    switch (rid) {
    case id::DIMENSIONS2:
        if (Version == BIFF5 || Mark1998 || biff8) {
            Drop();
            return;
        }
        ReadDimensions();
        return;
    case biff::DIMENSIONS:
        ReadDimensions();
        return;
    case biff::FORMULA:
    case biff::FORMULA3:
    case biff::FORMULA4:
        ReadFormula();
        return;
    case biff::EOF_RECORD:
        ReadEOF();
        return;
    default:
        break;
    }
    if (!DispatchBook(biff8) && !DispatchSheet(biff5, biff8)) DispatchOld();
}

// Records of the workbook's globals: fonts, formats, names, the sheet list.
bool TTabrixReader::DispatchBook(bool biff8) {
    switch (Header.Id) {
    case biff::PASSWORD:
        if (BoundsheetIndex < 0 && !InSheet()) Replace();
        return true;
    case id::EXTERNSHEET:
    case id::NAME:
    case id::NAME3:
    case id::EXTERNNAME:
    case id::EXTERNNAME3:
    case id::SUPBOOK:
        ReadNameRecord();
        return true;
    case biff::FILEPASS:
        ReadFilePass();
        return true;
    case id::FONT:
    case id::FONT3:
        ReadFont();
        return true;
    case biff::CODEPAGE:
        ReadCodePage();
        return true;
    case id::XCT:
        ReadXCT();
        return true;
    case id::FILESHARING:
        Target.FileSharing.assign(Body().begin(), Body().end());
        Drop();
        return true;
    case biff::WRITEACCESS:
        ReadWriteAccess();
        return true;
    case id::BOUNDSHEET:
        ReadBoundSheet();
        return true;
    case biff::COUNTRY:
        if (biff8 && !Mark1998)
            Replace();
        else
            Drop();
        return true;
    case id::PALETTE:
        ReadPalette();
        return true;
    case biff::BOOKBOOL:
        Replace();
        Placeholder(placeholder::Formats);
        return true;
    case id::XF2:
    case id::XF:
    case id::XF3:
    case id::XF4:
        ReadXF();
        return true;
    case id::SST:
        ReadSST();
        return true;
    case biff::MSODRAWINGGROUP:
        ReadDrawingGroup();
        return true;
    case id::STYLE:
        Target.Styles->Add(Body(), Version < BIFF8);
        Drop();
        return true;
    case id::FORMAT:
        ReadFormat();
        return true;
    default:
        return false;
    }
}

// Records of a sheet: its settings, collections and drawing.
bool TTabrixReader::DispatchSheet(bool biff5, bool biff8) {
    switch (Header.Id) {
    case id::HEADER:
    case id::FOOTER:
        // BIFF2-BIFF4 have the BIFF5 layout.
        ReadHeaderFooter();
        return true;
    case id::VERTICALPAGEBREAKS:
    case id::HORIZONTALPAGEBREAKS:
        ReadPageBreaks();
        return true;
    case id::LEFTMARGIN:
    case id::LEFTMARGIN + 1:
    case id::LEFTMARGIN + 2:
    case id::BOTTOMMARGIN:
        ReadMargin();
        return true;
    case id::PANE:
        ReadPane();
        return true;
    case id::COLINFO:
        // BIFF3 and BIFF4 have the same COLINFO.
        if (InSheet()) {
            Placeholder(placeholder::ColInfo);
            CellSheet().Columns().LoadColInfo(Body());
            Drop();
        }
        return true;
    case biff::WSBOOL:
        // The same options from Excel 3 on (fitting to pages among them).
        if (InSheet() && Version >= TExcelVersion::xvExcel30) Replace();
        return true;
    case id::HLINK:
        if (biff8 && InSheet()) ReadHyperlink();
        return true;
    case condfmt::CONDFMT:
        if (biff8 && InSheet()) ReadCondFmt();
        return true;
    case condfmt::CF:
        if (biff8 && InSheet()) DropOrphanCF();
        return true;
    case dval::DVAL:
        if (biff8 && InSheet()) ReadDVal();
        return true;
    case autofilter::FILTERMODE:
    case autofilter::AUTOFILTERINFO:
    case autofilter::AUTOFILTER:
        if (biff8 && InSheet()) ReadAutoFilterRecord();
        return true;
    case id::MERGEDCELLS:
        ReadMergedCells();
        return true;
    case biff::MSODRAWING:
        ReadSheetDrawing();
        return true;
    case id::NOTE:
        ReadNote();
        return true;
    case id::ROW:
        if (InSheet()) {
            Sheet().Rows().LoadRowRecord(Body());
            Drop();
        }
        return true;
    case biff::WINDOW2:
        ReadWindow2();
        return true;
    case id::SCL:
        ReadScl();
        return true;
    case biff::SELECTION:
        if (biff5) {
            ReadSelection();
        } else if (InSheet()) {
            // Older files: the selection goes to the model, which the
            // single-sheet writer writes it from.
            ApplySelection(DecodeSelection(Body()));
            Drop();
        }
        return true;
    case id::SHEETEXT:
        ReadSheetExt();
        return true;
    case id::FEATHDR:
        ReadFeatHdr();
        return true;
    default:
        return false;
    }
}

// Records of BIFF2 and BIFF3 files alone.
bool TTabrixReader::DispatchOld() {
    switch (Header.Id) {
    case id::FONTCOLOR2:
        // A BIFF2 font's colour follows it in a record of its own.
        if (Version <= TExcelVersion::xvExcel21 && LastFont) {
            LastFont->ColorIndex = OldFontColor(TByteReader(Body()).U16("font colour"));
            LastFont->ResetHash();
            Drop();
        }
        return true;
    case id::COLWIDTH2:
        if (Version <= TExcelVersion::xvExcel21 && InSheet()) {
            TByteReader r(Body());
            const int first = r.U8("first column"), last = r.U8("last column");
            const int width = r.U16("column width");
            Placeholder(placeholder::ColInfo);
            if (first <= last) CellSheet().Columns().SetWidths(first, last, width);
            Drop();
        }
        return true;
    case id::ROW2:
        if (Version <= TExcelVersion::xvExcel21 && InSheet()) {
            CellSheet().Rows().LoadRowRecord(RowFromBIFF2(Body()));
            Drop();
        }
        return true;
    case id::FORMAT2:
        if (Version <= TExcelVersion::xvExcel30) ReadFormat();
        return true;
    case id::IXFE2:
        if (Version <= TExcelVersion::xvExcel21) {
            Ixfe = TByteReader(Body()).U16("cell format");
            Drop();
        }
        return true;
    default:
        return false;
    }
}

// ---- substreams

void TTabrixReader::ReadBOF() {
    SharedFormulas.clear();
    Arrays.clear();
    ArrayAt.clear();
    if (Stream.ReadUnencrypted(Buffer.data(), Header.Length) != Header.Length)
        throw XLSError("Bad record in file");
    Drop();
    TBOFRecord bof = DecodeBOF(Body());
    if (SheetOpen) {
        // A chart inside a sheet is kept whole.
        if (bof.Type == bofType::Chart && Header.Id == VersionBOF()) {
            KeepSubstream();
            return;
        }
        const bool sheet = bof.Type == bofType::Worksheet || bof.Type == bofType::VBModule ||
                           bof.Type == bofType::MacroSheet || bof.Type == bofType::Chart;
        char what[64];
        std::snprintf(what, sizeof what, "a BOF record (0x%04X, substream type 0x%04X)", unsigned(Header.Id),
                      unsigned(bof.Type));
        if (!sheet || Header.Id != VersionBOF() || BoundsheetIndex + 1 >= SheetNames.GetCount()) {
            Warn(std::string(what) + " that starts no substream was left out");
            return;
        }
        // The open substream's EOF is damaged: it ends where the next starts.
        Warn("its EOF record is missing; it ends at the next sheet's BOF");
        EndSubstream();
    }
    switch (bof.Type) {
    case bofType::Globals: {
        if (Header.Length > 256) throw XLSError("Invalid BOF size");
        CapBOF();
        Target.IsMac = Version >= BIFF8 && (bof.History & 0x10);
        if (Header.Length >= 6) PutU16(Buffer.data() + 4, 0x1002);
        CurrentStorage = Globals();
        CurrentStorage->UpdateDefault(Header, Body());
        Mark1998 = bof.Full && bof.Year == 0x07CE && bof.History == 0 && bof.Lowest == 6;
        SheetOpen = true;
        return;
    }
    case bofType::Worksheet:
        StartSheet(bof, 0);
        return;
    case bofType::VBModule:
        StartSheet(bof, 1);
        return;
    case bofType::MacroSheet:
        StartSheet(bof, 2);
        return;
    case bofType::Chart:
        StartChartSheet();
        return;
    case bofType::Workspace:
        throw XLSError("BIFF4 Workbook unhandled");
    default:
        return;
    }
}

void TTabrixReader::StartSheet(const TBOFRecord& bof, int kind) {
    ++BoundsheetIndex;
    ++SheetIndex;
    bool old = Version <= TExcelVersion::xvExcel40;
    if (!old && BoundsheetIndex >= SheetNames.GetCount()) throw XLSError("Bad record in file");
    TSheet& sheet = Target.Sheets->Add(kind);
    if (old) {
        sheet.SetReadName(u"Sheet1");
        // The whole old file is this sheet: its records belong to its list,
        // after a BOF of the list's own (the file's has another layout).
        CurrentStorage = &sheet.Records();
        const TRecordBlock& own = *CurrentStorage->DefaultBlock(biff::BOF);
        const std::vector<uint8_t> body(own.Body().begin(), own.Body().end());
        CurrentStorage->UpdateDefault(TBIFFHeader{biff::BOF, own.Length()}, body);
    } else {
        sheet.SetReadName(SheetNames.GetItem(BoundsheetIndex));
        sheet.Hidden = THiddenState(std::min(SheetNames.GetValue(BoundsheetIndex), 2));
        CurrentStorage = &sheet.Records();
        CapBOF();
        CurrentStorage->UpdateDefault(Header, Body());
    }
    // The lowest version is the low byte; the bits above it name the last
    // version that saved the file.
    LowestVersion = bof.Full ? bof.Lowest & 0xFF : 0;
    SheetOpen = true;
}

// A BOF of the later versions is 16 bytes at most: bytes past them are
// damage, not written back.
void TTabrixReader::CapBOF() {
    if (Header.Id == 0x0809 && Header.Length > 16) Header.Length = 16;
}

void TTabrixReader::ReadEOF() {
    Drop();
    EndSubstream();
}

void TTabrixReader::EndSubstream() {
    // An EOF with a body is still the end of its substream.
    CurrentStorage->UpdateDefault(TBIFFHeader{biff::EOF_RECORD, 0}, {});
    SharedFormulas.clear();
    SheetOpen = false;
    if (!SheetNames.GetCount() || BoundsheetIndex >= SheetNames.GetCount() - 1) Finished = true;
}

// A list whose substream did not end (the globals of a single-sheet file
// of BIFF2-BIFF4, a file cut short) gets the defaults it still lacks, its
// EOF last, so that a write in any version gives it whole.
void TTabrixReader::CompleteLists() {
    // EOF is the last default of both sets; its template stands until it is placed.
    auto complete = [](TRecordStorageDefault& list) {
        if (list.TemplateAt(list.SlotCount() - 1)) list.UpdateDefault(TBIFFHeader{biff::EOF_RECORD, 0}, {});
    };
    complete(*Globals());
    for (int i = 0; i < Target.Sheets->Count(); ++i) complete(Target.Sheets->Items(i).Records());
}

// Some writers of the older versions leave out the FONT records: the
// formats still name fonts 0 to 3, which get the default font.
void TTabrixReader::CompleteFonts() {
    TXFonts& fonts = *Target.Fonts;
    const TCellFormats& formats = *Target.Formats;
    int highest = -1;
    for (int i = 0; i < formats.Count(); ++i) highest = std::max(highest, formats[i]->GetFontIndex());
    if (highest < fonts.Count()) return;
    if (fonts.Count() == 0) fonts.AddDefaults();
    // A workbook holds 512 fonts at most: an index past them is the file's fault.
    while (fonts.Count() <= std::min(highest, 511)) fonts.Add();
    fonts.MarkPermanent();
}

// Every record up to the matching EOF, BOF and EOF included, goes to the
// current list as read.
void TTabrixReader::KeepSubstream() {
    CurrentStorage->Add(Header, Body());
    int depth = 1;
    while (depth > 0) {
        if (Stream.ReadHeader(Header) != 4) throw XLSError("Bad record in file");
        if (Header.Length > Buffer.size()) Buffer.resize(Header.Length);
        if (!ReadBody()) throw XLSError("Bad record in file");
        if (IsBOFId(Header.Id)) ++depth;
        if (Header.Id == biff::EOF_RECORD) --depth;
        CurrentStorage->Add(Header, Body());
    }
}

void TTabrixReader::SkipSubstream() {
    int depth = 1;
    while (depth > 0) {
        if (Stream.ReadHeader(Header) != 4) throw XLSError("Bad record in file");
        if (Stream.Seek(Header.Length, 1) > Stream.Size()) throw XLSError("Bad record in file");
        if (IsBOFId(Header.Id)) ++depth;
        if (Header.Id == biff::EOF_RECORD) --depth;
    }
}

void TTabrixReader::ReadFilePass() {
    Drop();
    switch (ClassifyFilePass(Body(), Version)) {
    case TEncryption::XOR:
        throw XLSError("File encrypted with non-standard key. French?");
    case TEncryption::Unknown:
        throw XLSError("Can not read file, unknown type of encryption.");
    case TEncryption::Malformed:
        throw XLSError("Bad record in file");
    case TEncryption::RC4:
        break;
    }
    // Files saved with the default password open without asking.
    if (Target.Password.empty() && Stream.StartDecryption(Body(), DefaultPassword)) return;
    if (!Target.AskPassword && Target.Password.empty())
        throw XLSError("File is encrypted. Password required.");
    std::u16string password = Target.Password;
    if (Target.AskPassword) Target.AskPassword(password);
    if (password.empty()) throw XLSError("Password is missing.");
    if (!Stream.StartDecryption(Body(), password)) throw XLSError("Invalid password");
}

// ---- workbook settings

void TTabrixReader::ReadCodePage() {
    TByteReader r(Body());
    const int codePage = r.U16("code page");
    // A code page no reader knows is a damaged record: the default stands,
    // and an older file's text is read, and written again, in code page 1252.
    if (codePage != 1200 && codePage != 1252 && !platform::CodePageAlias(codePage) &&
        platform::SingleByteCodePage(codePage) == 1252) {
        Drop();
        Warn("the CODEPAGE record names code page " + std::to_string(codePage) +
             ", which is none; it was left out and the text read as code page 1252");
        Text.CodePage = Stream.CodePage = 1252;
        if (Version < BIFF8) Target.CodePage = Text.CodePage;
        return;
    }
    // 1200 marks UTF-16 text in BIFF8; an old file claiming it has 8-bit
    // text all the same, read with the default.
    Text.CodePage = codePage == 1200 ? DefaultCodePage : platform::SingleByteCodePage(codePage);
    Stream.CodePage = Text.CodePage;
    // The 8-bit text of a BIFF2-BIFF5 file is in it; a BIFF8 file's text is
    // not, so writing it as an older file keeps the default.
    if (Version < BIFF8) Target.CodePage = Text.CodePage;
    ReplaceFrom(BIFF5);
}

void TTabrixReader::ReadFont() {
    Drop();
    TXFonts& fonts = *Target.Fonts;
    TXFont* font = fonts.Add();
    // The fifth FONT of a file has index 5: BIFF font index 4 is never used.
    if (fonts.Count() == 4) fonts.Add();
    // Fonts of the file stay while formats take and release their uses; a
    // font that does not read keeps its place as the default font.
    fonts.MarkPermanent();
    LastFont = font;
    if (Version >= BIFF5)
        font->LoadFromRecord(Body(), Version, Text.CodePage);
    else
        LoadOldFont(*font, Body(), Version, Text);
}

void TTabrixReader::ReadFormat() {
    Drop();
    if (Version < BIFF5) {
        // The older versions number their formats by order.
        OldFormats.push_back(
            Target.Formats->NumberFormats().AddOld(DecodeOldFormat(Header.Id, Body(), Text)));
        return;
    }
    TFormatEntry f = DecodeFormat(Body(), Text);
    Target.Formats->NumberFormats().AddRead(f.Text, f.Index, 1);
}

void TTabrixReader::ReadXF() {
    Drop();
    TCellFormats& pool = *Target.Formats;
    if (Version < BIFF5) {
        // A format the file never defined is a cosmetic fault: General.
        const bool biff2 = Version <= TExcelVersion::xvExcel21;
        const size_t place =
            biff2 ? (Header.Length > 2 ? Buffer[2] & 0x3F : 0) : (Header.Length > 1 ? Buffer[1] : 0);
        const int number = place < OldFormats.size() ? OldFormats[place] : 0;
        pool.Add()->LoadFromOldXF(Body(), Version, number);
        pool.MarkPermanent();
        OldXFs = true;
        return;
    }
    std::vector<uint8_t> body(Body().begin(), Body().end());
    // A number format the file never defined is a cosmetic fault: General.
    if (body.size() >= 4) {
        int number = GetU16(body.data() + 2);
        if (number > LastBuiltInNumberFormat && !pool.NumberFormats().ByIndex(number))
            PutU16(body.data() + 2, 0);
    }
    TCellFormat* format = pool.Add();
    if (Version >= BIFF8)
        format->LoadFromXF8(body);
    else
        format->LoadFromXF5(body);
    // Formats of the file keep their positions while cells come and go.
    pool.MarkPermanent();
}

void TTabrixReader::ReadPalette() {
    Drop();
    auto colors = DecodePalette(Body());
    TPalette& palette = LibState().Palette;
    for (size_t i = 0; i < colors.size(); ++i) palette[8 + i] = colors[i];
}

void TTabrixReader::ReadBoundSheet() {
    Drop();
    Placeholder(placeholder::BoundSheets);
    TBoundSheetEntry e = DecodeBoundSheet(Body(), Text);
    SheetNames.AddWithValue(e.Name, e.Visibility);
    e.Name.clear();
    SheetStarts.push_back(e);
}

void TTabrixReader::ReadWriteAccess() {
    Drop();
    TRecordStorageGlobals& globals = *Target.Globals;
    std::vector<uint8_t> body;
    std::u16string oldName;
    if (Version >= BIFF8) {
        body = PadWriteAccess(Body());
    } else {
        oldName = DecodeOldWriteAccess(Body(), Text);
        body = PadWriteAccess({});
    }
    PutDefault(globals, biff::WRITEACCESS, body);
    if (Version < BIFF8) globals.SetUserName(oldName);
}

void TTabrixReader::ReadSST() {
    Drop();
    Placeholder(placeholder::SST);
    Target.Strings->ReadSST(Stream, Header.Length);
}

} // namespace xls
