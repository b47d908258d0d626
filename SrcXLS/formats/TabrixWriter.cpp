#include "SrcXLS/formats/TabrixWriter.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/KeptRecords.h"
#include "SrcXLS/formats/VBAProject.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/Pane.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Selection.h"
#include "SrcXLS/model/XFonts.h"
#include "SrcXLS/model/XLSColumns.h"
#include "SrcXLS/model/XLSRows.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace xls {

namespace {

using namespace biff;

constexpr uint16_t BOUNDSHEET = 0x0085;
constexpr uint16_t OBPROJ = 0x00D3;
constexpr uint16_t FILESHARING = 0x005B;
constexpr uint16_t BOF4 = 0x0409;
constexpr uint16_t NOTE_RECORD = 0x001C;
// The code page number of UTF-16 text.
constexpr uint16_t Utf16CodePage = 1200;
constexpr uint16_t EXTERNCOUNT = 0x0016;
constexpr uint16_t EXTERNSHEET = 0x0017;

constexpr uint16_t BOFWorkbookGlobals = 0x0005;
constexpr uint16_t BOFWorksheet = 0x0010;

// BOUNDSHEET type byte of each boundsheet kind.
constexpr uint8_t SheetTypes[] = {0x00, 0x02, 0x06, 0x01};

std::vector<uint8_t> BOFBody(TExcelVersion v, uint16_t type, bool globals) {
    std::vector<uint8_t> body;
    TByteWriter w(body);
    if (v == TExcelVersion::xvExcel50) {
        w.U16(0x0500);
        w.U16(type);
        w.U16(0x0DBB);
        w.U16(0x07CE);
    } else {
        w.U16(0x0600);
        w.U16(type);
        w.U16(globals ? 0x1002 : 0x18AF);
        w.U16(0x07CD);
        w.U32(0x000080C9);
        w.U32(0x00000106);
    }
    return body;
}

// A kept STYLE body in the layout of the version written: a user style's
// name has a u16 count and a flag byte from BIFF8 on, a u8 count and 8-bit
// characters before.
std::vector<uint8_t> StyleBody(const std::vector<uint8_t>& body, bool fromBIFF8,
                               const TBIFFRecordWriter& records, int codePage) {
    const bool toBIFF8 = records.Version() >= TExcelVersion::xvExcel97;
    if (fromBIFF8 == toBIFF8 || body.size() < 3 || (GetU16(body.data()) & 0x8000)) return body;
    // A name the record cut short keeps what it holds.
    TByteReader r(body);
    const uint16_t format = r.U16("style format") & 0x0FFF;
    std::u16string name;
    if (fromBIFF8) {
        const size_t count = r.Remaining() >= 3 ? r.U16("style name") : 0;
        const bool wide = count && (r.U8("style name") & 1);
        for (size_t i = 0; i < count && r.Remaining() >= (wide ? 2u : 1u); ++i)
            name.push_back(wide ? char16_t(r.U16()) : char16_t(r.U8()));
    } else {
        const size_t count = std::min<size_t>(r.U8("style name"), r.Remaining());
        const auto bytes = r.Bytes(count, "style name");
        name = CodePageToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                              codePage);
    }
    std::vector<uint8_t> out;
    TByteWriter w(out);
    w.U16(format);
    if (toBIFF8) {
        w.U16(uint16_t(name.size()));
        w.U8(1);
        for (char16_t c : name) w.U16(c);
    } else {
        const std::string bytes = records.Encode8Bit(std::u16string_view(name).substr(0, 255));
        w.U8(uint8_t(bytes.size()));
        w.Bytes(bytes.data(), bytes.size());
    }
    return out;
}

uint16_t ClampLimit(uint32_t v, uint32_t limit) {
    return uint16_t(std::min(v, limit));
}

} // namespace

TTabrixWriter::TTabrixWriter(TBIFFWorkbookSource& source) : source(source), records(stream, source.CodePage) {
    stream.CodePage = source.CodePage;
}

void TTabrixWriter::Open(const std::filesystem::path& fileName, TExcelVersion v) {
    version = v;
    stream.TargetStream = source.TargetStream;
    stream.ExtraObjects = source.ExtraObjects;
    stream.ReadMacros = source.PreserveMacros;
    stream.SetVBA(source.VBA);
    // A stream encrypted once it is whole stays in memory.
    stream.SpillToFile = source.Password.empty();
    stream.OpenWrite(fileName, v);
}

void TTabrixWriter::Run(const TBIFFBlockWriter& block) {
    if (block) block(stream);
}

// ---- BIFF5 and BIFF8

void TTabrixWriter::WriteBIFFWorkbook(const std::filesystem::path& fileName, TExcelVersion v) {
    if (v != TExcelVersion::xvExcel50 && v != TExcelVersion::xvExcel97)
        throw XLSError("Unhandled Excel version");
    // Never write a workbook unprotected that was meant to be encrypted.
    if (!source.Password.empty() && v != TExcelVersion::xvExcel97)
        throw XLSError("Only Excel 97 workbooks can be saved with a password");
    version = v;
    ListBoundsheets();
    filePassEnd = -1;
    Open(fileName, v);
    struct Finish {
        TTabrixWriter& w;
        ~Finish() {
            w.stream.Discard();
            w.boundsheets.clear();
        }
    } finish{*this};

    if (source.Globals->Count() == 0) source.Globals->ApplyDefaults();
    WriteGlobals();
    // Substreams in the order of the sheet list.
    for (TBoundsheetData& entry : boundsheets) {
        if (entry.Kind == 1)
            WriteChartSheet(entry);
        else
            WriteSheet(entry);
    }
    EncryptWritten();
    stream.WriteVBA();
    stream.Close();
}

// Worksheets in their order, each chart sheet where its position puts it.
void TTabrixWriter::ListBoundsheets() {
    boundsheets.clear();
    size_t chart = 0;
    auto listCharts = [&](bool all) {
        for (; chart < source.ChartSheets.size(); ++chart) {
            const TBIFFChartSheetSource& c = source.ChartSheets[chart];
            if (!all && c.Position > int(boundsheets.size())) return;
            TBoundsheetData entry;
            entry.Kind = 1;
            entry.Index = int(chart);
            entry.Name = c.Name;
            entry.Hidden = c.Hidden;
            boundsheets.push_back(entry);
        }
    };
    for (int i = 0; i < int(source.Sheets.size()); ++i) {
        listCharts(false);
        TBIFFSheetSource& sheet = source.Sheets[size_t(i)];
        auto window2 = sheet.Records->Window2Data();
        uint16_t options = GetU16(window2.data());
        if (sheet.Pane && sheet.Pane->PaneType == TPaneType::ptFrozen &&
            sheet.Pane->FitsWithin(MaxColumn(version), LastFileRow(version)))
            options |= 0x0108;
        if (i == source.SelectedTab)
            options |= 0x0200;
        else
            options &= ~0x0200;
        PutU16(window2.data(), options);
        TBoundsheetData entry;
        entry.Kind = sheet.Kind == 1 ? 2 : sheet.Kind == 2 ? 3 : 0;
        entry.Index = i;
        entry.Name = sheet.Name;
        entry.Hidden = sheet.Hidden;
        boundsheets.push_back(entry);
    }
    listCharts(true);
}

void TTabrixWriter::WriteGlobals() {
    const TRecordStorageGlobals& globals = *source.Globals;
    paletteGenerated =
        version == TExcelVersion::xvExcel50 ||
        (source.Palette && !std::equal(source.Palette->begin() + 8, source.Palette->begin() + 64,
                                       DefaultPalette().begin() + 8));
    const std::vector<bool> written = KeptRecordsWritten(globals, source.ReadVersion, version);
    // The CONTINUE records of a record not written go with it.
    bool wrote = true;
    for (int i = 0; i < globals.Count(); ++i) {
        try {
            const TRecordBlock& block = globals.GetItem(i);
            if (block.Id() == CONTINUE && !wrote) continue;
            wrote = written[size_t(i)] && WriteGlobalRecord(block);
        } catch (const std::exception& e) {
            throw XLSError("Error on writing record # " + std::to_string(i) + "\r" + e.what());
        }
    }
}

bool TTabrixWriter::WriteGlobalRecord(const TRecordBlock& block) {
    const bool biff5 = version == TExcelVersion::xvExcel50;
    switch (block.Id()) {
    case BOF:
        WriteBOF(block);
        if (&block == source.Globals->DefaultBlock(BOF)) WriteFilePass();
        return true;
    case WRITEACCESS:
        if (biff5)
            WriteWriteAccess8Bit(32);
        else
            stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
        if (source.FileSharing.size() > 1) records.WriteRecord(FILESHARING, source.FileSharing);
        return true;
    case CODEPAGE:
        // A BIFF5 file says which code page its 8-bit text is in; BIFF8
        // text is UTF-16.
        records.WriteWord(CODEPAGE, uint16_t(biff5 ? source.CodePage : Utf16CodePage));
        return true;
    case OBPROJ:
        // The project's storage is written only while macros are kept.
        if (source.PreserveMacros) records.WriteEmpty(OBPROJ);
        return true;
    case TABID:
        // One TABID for the tabs there are now, in pieces of the version's
        // record size; a TABID read with the file goes with its CONTINUE
        // records.
        if (const TRecordBlock* own = source.Globals->DefaultBlock(TABID);
            block.Length() != 0 || (own && own != &block))
            return false;
        {
            std::vector<uint8_t> body;
            TByteWriter w(body);
            for (size_t i = 1; i <= boundsheets.size(); ++i) w.U16(uint16_t(i));
            stream.WriteLongRecord(TABID, body.data(), body.size());
        }
        if (source.PreserveMacros && source.VBA && source.VBA->ModuleCount() > 0 &&
            source.Globals->IndexOf(OBPROJ) < 0)
            records.WriteEmpty(OBPROJ);
        return true;
    case PALETTE:
        // The palette is generated with the formats; a kept copy would be a
        // second, possibly stale one.
        if (!paletteGenerated) stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
        return true;
    case INTERFACEHDR:
        // Another version's marker in the layout of the version written:
        // BIFF8 names the code page of the user interface.
        if (RewritesKeptRecord(INTERFACEHDR, source.ReadVersion, version)) {
            if (biff5)
                records.WriteEmpty(INTERFACEHDR);
            else
                records.WriteWord(INTERFACEHDR, Utf16CodePage);
        } else {
            stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
        }
        return true;
    case placeholder::Formats:
        WriteFormatBlock();
        return true;
    case placeholder::BoundSheets:
        WriteBoundsheets();
        return true;
    case placeholder::Dropped:
        return false;
    case placeholder::Names:
        if (biff5 && source.OldLinkTable) WriteOldLinkTable();
        Run(source.Names);
        return true;
    case placeholder::DrawingGroup:
        if (source.DrawingGroup) {
            stream.BeginContinued(8224);
            source.DrawingGroup(stream);
            stream.EndContinued();
        }
        return true;
    case placeholder::SST:
        if (!biff5) {
            Run(source.SharedStrings);
            if (source.Ex2007) source.Ex2007->WriteAll(stream);
        }
        return true;
    default:
        stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
        return true;
    }
}

// Every substream starts with a BOF of the version written, whatever
// version the kept one came from: readers take a sheet's layout from it.
void TTabrixWriter::WriteBOF(const TRecordBlock& block) {
    const bool globals = &block == source.Globals->DefaultBlock(BOF);
    uint16_t type = block.Length() >= 4 ? GetU16(block.Data() + 2)
                    : globals           ? BOFWorkbookGlobals
                                        : BOFWorksheet;
    const bool sameVersion = version == TExcelVersion::xvExcel97
                                 ? block.Length() >= 16 && GetU16(block.Data()) == 0x0600
                                 : block.Length() == 8 && GetU16(block.Data()) == 0x0500;
    if (version == TExcelVersion::xvExcel50 && globals) {
        records.WriteRecord(BOF, BOFBody(version, BOFWorkbookGlobals, true));
    } else if (!sameVersion) {
        records.WriteRecord(BOF, BOFBody(version, type, globals));
    } else {
        stream.WriteRawRecord(BOF, block.Data(), block.Length());
    }
}

void TTabrixWriter::WriteWriteAccess8Bit(size_t padTo) {
    std::string name = records.Encode8Bit(source.Globals->GetUserName());
    name.resize(std::min(name.size(), padTo - 1));
    std::vector<uint8_t> body(padTo, 0x20);
    body[0] = uint8_t(name.size());
    std::memcpy(body.data() + 1, name.data(), name.size());
    records.WriteRecord(WRITEACCESS, body);
}

void TTabrixWriter::WriteFormatBlock() {
    records.WriteFonts(*source.Fonts);
    records.WriteFormats(*source.Formats);
    records.WriteXFs(*source.Formats);
    WriteStyles();
    if (paletteGenerated) records.WritePalette(source.Palette ? *source.Palette : DefaultPalette(), true);
}

void TTabrixWriter::WriteBoundsheets() {
    for (TBoundsheetData& entry : boundsheets) {
        std::vector<uint8_t> body;
        TByteWriter w(body);
        w.U32(0);
        w.U16(uint16_t(SheetTypes[entry.Kind] << 8 | entry.Hidden));
        std::u16string_view name = CutWhole(entry.Name, 255);
        if (version == TExcelVersion::xvExcel97) {
            w.U8(uint8_t(name.size()));
            w.U8(1);
            for (char16_t c : name) w.U16(c);
        } else {
            std::string bytes = records.Encode8Bit(name);
            w.U8(uint8_t(bytes.size()));
            w.Bytes(bytes.data(), bytes.size());
        }
        stream.WriteHeader(BOUNDSHEET, uint16_t(body.size()));
        entry.BodyPosition = stream.Position();
        stream.WriteRecordData(body.data(), body.size());
    }
}

// The link table of BIFF5, in the globals for the names and in each sheet
// for its formulas: 3-D references and local names name a sheet of the
// workbook through its EXTERNSHEET record, the sheet's name after the code 3.
void TTabrixWriter::WriteOldLinkTable() {
    records.WriteWord(EXTERNCOUNT, uint16_t(boundsheets.size()));
    for (const TBoundsheetData& entry : boundsheets) {
        const std::string name = records.Encode8Bit(std::u16string_view(entry.Name).substr(0, 255));
        std::vector<uint8_t> body;
        TByteWriter w(body);
        w.U8(uint8_t(std::min<size_t>(name.size(), 255)));
        w.U8(3);
        w.Bytes(name.data(), std::min<size_t>(name.size(), 255));
        records.WriteRecord(EXTERNSHEET, body);
    }
}

bool TTabrixWriter::HasPanes(const TBIFFSheetSource& sheet) const {
    // A pane beyond the version's sheet is left out (the write's warnings
    // name it), with its selection.
    return sheet.Pane && sheet.Pane->PaneType != TPaneType::ptNone &&
           (sheet.Pane->SplitColX > 0 || sheet.Pane->SplitRowY > 0) &&
           sheet.Pane->FitsWithin(MaxColumn(version), LastFileRow(version));
}

void TTabrixWriter::PatchBoundsheet(const TBoundsheetData& entry) {
    const int64_t bof = stream.Position();
    stream.Seek(entry.BodyPosition, 0);
    stream.WriteDWord(uint32_t(bof));
    stream.Seek(0, 2);
}

void TTabrixWriter::WriteSheet(TBoundsheetData& entry) {
    TBIFFSheetSource& sheet = source.Sheets[size_t(entry.Index)];
    TRecordStorageSheet& list = *sheet.Records;
    // A file's protection stays while nothing changed the options.
    if (sheet.Protection != FullSheetProtection) list.SetProtect(1);
    if (list.Count() == 0) list.ApplyDefaults();
    PatchBoundsheet(entry);
    const std::vector<bool> written = KeptRecordsWritten(list, source.ReadVersion, version);
    for (int i = 0; i < list.Count(); ++i)
        if (written[size_t(i)]) WriteSheetRecord(sheet, list.GetItem(i));
}

void TTabrixWriter::WriteChartSheet(TBoundsheetData& entry) {
    PatchBoundsheet(entry);
    Run(source.ChartSheets[size_t(entry.Index)].Write);
}

void TTabrixWriter::WriteSheetRecord(const TBIFFSheetSource& sheet, const TRecordBlock& block) {
    TRecordStorageSheet& list = *sheet.Records;
    const bool biff8 = version == TExcelVersion::xvExcel97;
    switch (block.Id()) {
    case BOF:
        WriteBOF(block);
        return;
    case SELECTION:
        if (!HasPanes(sheet) && sheet.Selection) records.WriteSelection(3, *sheet.Selection);
        return;
    case DEFCOLWIDTH:
        // The 3-D references of a BIFF5 sheet's formulas go through the
        // sheet's own link table, where Excel 5 puts it.
        if (!biff8 && source.OldLinkTable) WriteOldLinkTable();
        stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
        return;
    case DIMENSIONS:
        // The filter block comes after the columns and the kept sort and
        // drop-down records, as readers expect it.
        Run(sheet.AutoFilters);
        WriteDimensions(list, biff8);
        return;
    case WINDOW2:
        if (biff8) {
            records.WriteScl(GetU16(list.Window2Data().data() + 12));
            stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
        } else {
            uint16_t options = GetU16(list.Window2Data().data());
            records.WriteWindow2Short(options, options & 0x0200);
            records.WriteScl(GetU16(list.Window2Data().data() + 12));
        }
        return;
    case placeholder::PageBreaks:
        if (sheet.Print) records.WritePageBreaks(*sheet.Print);
        return;
    case placeholder::HeaderFooter:
        if (sheet.Print) records.WriteHeaderFooter(*sheet.Print);
        return;
    case placeholder::Margins:
        if (sheet.Print) records.WriteMargins(*sheet.Print);
        return;
    case placeholder::ColInfo:
        if (sheet.Columns) sheet.Columns->WriteColInfos(stream);
        return;
    case placeholder::Cells:
        if (sheet.Rows) records.WriteRows(*sheet.Rows);
        Run(sheet.Cells);
        return;
    case placeholder::SheetTail:
        WriteSheetTail(sheet);
        return;
    case NOTE_RECORD:
        // Notes kept from older files have the older layout: a BIFF8 file
        // gets them as notes of its drawing (the component sees to that).
        if (!biff8) stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
        return;
    default:
        stream.WriteRawRecord(block.Id(), block.Data(), block.Length());
    }
}

void TTabrixWriter::WriteSheetTail(const TBIFFSheetSource& sheet) {
    Run(sheet.Drawing);
    if (HasPanes(sheet)) records.WritePane(*sheet.Pane);
    Run(sheet.MergedCells);
    Run(sheet.ConditionalFormats);
    Run(sheet.Hyperlinks);
    Run(sheet.Validations);
    // Excel 5 files have no record for what a protected sheet allows.
    if (version >= TExcelVersion::xvExcel97) records.WriteSheetProtection(sheet.Protection);
}

// Rows and columns past the last ones a BIFF sheet has are written as the
// last ones, so that the limits never wrap to 0.
void TTabrixWriter::WriteDimensions(TRecordStorageSheet& list, bool wide) {
    auto d = list.DimensionsData();
    const uint32_t firstRow = GetU32(d.data()), lastRow = GetU32(d.data() + 4);
    const uint16_t firstCol = GetU16(d.data() + 8), lastCol = GetU16(d.data() + 10);
    std::vector<uint8_t> body;
    TByteWriter w(body);
    // The limits are one past the last row and column: 65,536 fits only the
    // wide form.
    if (wide) {
        w.U32(std::min<uint32_t>(firstRow, 65535));
        w.U32(std::min<uint32_t>(lastRow, 65536));
    } else {
        // Files before Excel 97 hold 16,384 rows.
        w.U16(ClampLimit(firstRow, 16383));
        w.U16(ClampLimit(lastRow, 16384));
    }
    w.U16(ClampLimit(firstCol, 255));
    w.U16(ClampLimit(lastCol, 256));
    w.U16(0);
    records.WriteRecord(DIMENSIONS, body);
}

// The styles a file read keeps, in the layout of the version written.
void TTabrixWriter::WriteStyles() {
    const bool fromBIFF8 = source.ReadVersion >= TExcelVersion::xvExcel97;
    std::vector<std::vector<uint8_t>> styles;
    for (const std::vector<uint8_t>& body : source.Styles)
        styles.push_back(StyleBody(body, fromBIFF8, records, source.CodePage));
    records.WriteStyles(source.NewWorkbook, styles);
}

// ---- BIFF4

void TTabrixWriter::WriteBIFF4Sheet(const std::filesystem::path& fileName) {
    if (source.Sheets.empty()) throw XLSError("The workbook has no sheet");
    Open(fileName, TExcelVersion::xvExcel40);
    struct Finish {
        TTabrixWriter& w;
        ~Finish() { w.stream.Discard(); }
    } finish{*this};

    TRecordStorageGlobals& globals = *source.Globals;
    const TBIFFSheetSource& sheet = source.Sheets.front();
    TRecordStorageSheet& list = *sheet.Records;
    const TPrintSettings* print = sheet.Print;

    // Version 0, worksheet, build.
    const uint8_t bof[] = {0x00, 0x00, 0x10, 0x00, 0xAF, 0x18};
    records.WriteRecord(BOF4, bof);
    WriteWriteAccess8Bit(112);
    records.WriteWord(CODEPAGE, uint16_t(source.CodePage));
    records.WriteWord(CALCMODE, list.GetCalcMode());
    records.WriteWord(REFMODE, list.GetRefMode() == 0 ? 0 : 1);
    records.WriteBool(ITERATION, list.GetIteration());
    records.WriteBool(PRECISION, globals.GetPrecision());
    // The 1900 date system needs no record.
    if (globals.GetDateMode()) records.WriteBool(DATEMODE, true);
    records.WriteBool(PRINTHEADERS, list.GetPrintHeaders());
    records.WriteBool(PRINTGRIDLINES, list.GetPrintGridLines());
    {
        const uint16_t height = GetU16(list.DefaultRowHeightData().data() + 2);
        uint8_t body[4];
        PutU16(body, height > 0 ? 1 : 0);
        PutU16(body + 2, height > 0 ? height : 255);
        records.WriteRecord(DEFAULTROWHEIGHT, body);
    }
    records.WriteRecord(COUNTRY, globals.CountryData());
    records.WriteWord(HIDEOBJ, globals.GetHideObj());
    records.WriteWord(WSBOOL, list.GetWSBool());
    records.WriteFonts(*source.Fonts);
    if (print) {
        records.WritePageBreaks(*print);
        records.WriteHeaderFooter(*print);
    }
    records.WriteBool(HCENTER, list.GetHCenter());
    records.WriteBool(VCENTER, list.GetVCenter());
    // A new sheet's margins are every reader's: a new workbook's file holds
    // no margin record.
    if (print) records.WriteMargins(*print, true);
    {
        // The first six fields are those of Excel 4.
        auto setup = list.SetupData();
        std::vector<uint8_t> body(setup.begin(), setup.begin() + 34);
        PutU16(body.data(), uint16_t(GetU16(setup.data()) & 0x7F));
        // Its print options (the starting page's too), and whether the
        // printer's settings (paper, scale, orientation) are unset.
        PutU16(body.data() + 10, uint16_t(GetU16(setup.data() + 10) & 0xBF));
        PutU16(body.data() + 12, 600);
        PutU16(body.data() + 14, 600);
        records.WriteRecord(SETUP, body);
    }
    records.WriteBool(BACKUP, globals.GetBackup());
    records.WriteFormats(*source.Formats);
    Run(source.Names);
    records.WriteBool(WINDOWPROTECT, globals.GetWindowProtect());
    records.WriteXFs(*source.Formats);
    WriteStyles();
    records.WriteWord(DEFCOLWIDTH, list.GetDefColWidth());
    if (sheet.Columns) sheet.Columns->WriteColInfos(stream);
    WriteDimensions(list, false);
    if (sheet.Rows) records.WriteRows(*sheet.Rows);
    Run(sheet.Cells);
    records.WriteWindow1(globals.Window1Data());
    records.WriteWindow2Short(GetU16(list.Window2Data().data()), true);
    records.WriteScl(GetU16(list.Window2Data().data() + 12));
    if (sheet.Selection) records.WriteSelection(3, *sheet.Selection);
    records.WriteEmpty(EOF_RECORD);
    stream.Close();
}

} // namespace xls
