#include "SrcXLS/formats/WorkbookFile.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/TabrixWriter.h"
#include "SrcXLS/model/Cell.h"

#include <algorithm>

namespace xls {

namespace {

constexpr uint16_t SST = 0x00FC;
constexpr uint16_t EXTSST = 0x00FF;
constexpr uint16_t COLINFO = 0x007D;

// The shared strings in write-index order, and how many cells use them.
struct TStringList {
    std::vector<const std::u16string*> Texts;
    std::vector<std::u16string> Owned;
    uint32_t Total = 0;
};

TStringList CollectStrings(TTabrix4& book) {
    TStringList list;
    auto* plain = dynamic_cast<TPlainCellStrings*>(&book.Strings());
    if (!plain) return list;
    plain->AssignWriteIndexes();
    list.Owned.resize(size_t(plain->Count()));
    std::vector<bool> seen(list.Owned.size());
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TCellValues& cells = book.GetSheet(s).Cells();
        cells.BeginIterate();
        while (TCell* cell = cells.NextCell()) {
            if (cell->CellType() != ctString) continue;
            TCellString* entry = static_cast<TStringCell*>(cell)->Entry();
            if (!entry) continue;
            ++list.Total;
            uint32_t i = plain->WriteIndex(entry);
            if (i >= seen.size() || seen[i]) continue;
            seen[i] = true;
            list.Owned[i] = plain->Text(entry);
        }
    }
    for (auto& t : list.Owned) list.Texts.push_back(&t);
    return list;
}

// SST with its CONTINUE records and EXTSST. A string's header never splits;
// its characters may, and each continued part starts with its option byte.
void WriteSST(const TStringList& list, TXLSStream& stream) {
    constexpr size_t Capacity = 8224;
    const int64_t base = stream.Position();
    std::vector<uint8_t> out;
    out.reserve(list.Texts.size() * 16 + 64);
    size_t recordStart = 0;
    auto openRecord = [&](uint16_t id) {
        if (!out.empty()) PutU16(out.data() + recordStart + 2, uint16_t(out.size() - recordStart - 4));
        recordStart = out.size();
        TByteWriter w(out);
        w.U16(id);
        w.U16(0);
    };
    auto room = [&] { return Capacity - (out.size() - recordStart - 4); };
    const size_t perBucket = std::max<size_t>(8, list.Texts.size() / 1027 + 1);
    std::vector<std::pair<uint32_t, uint16_t>> buckets;

    openRecord(SST);
    TByteWriter w(out);
    w.U32(list.Total);
    w.U32(uint32_t(list.Texts.size()));
    for (size_t i = 0; i < list.Texts.size(); ++i) {
        std::u16string_view text = *list.Texts[i];
        text = text.substr(0, 0xFFFF);
        const bool wide = IsWideText(text);
        if (room() < 4) openRecord(0x003C);
        if (i % perBucket == 0)
            buckets.emplace_back(uint32_t(base + int64_t(out.size())), uint16_t(out.size() - recordStart));
        w.U16(uint16_t(text.size()));
        w.U8(wide ? 1 : 0);
        size_t done = 0;
        while (done < text.size()) {
            size_t fit = wide ? room() / 2 : room();
            if (fit == 0) {
                openRecord(0x003C);
                w.U8(wide ? 1 : 0);
                continue;
            }
            size_t n = std::min(fit, text.size() - done);
            for (size_t k = 0; k < n; ++k) {
                char16_t c = text[done + k];
                out.push_back(uint8_t(c));
                if (wide) out.push_back(uint8_t(c >> 8));
            }
            done += n;
        }
    }
    PutU16(out.data() + recordStart + 2, uint16_t(out.size() - recordStart - 4));
    stream.WriteRaw(out.data(), out.size());

    std::vector<uint8_t> ext;
    TByteWriter e(ext);
    e.U16(uint16_t(perBucket));
    for (auto& [position, offset] : buckets) {
        e.U32(position);
        e.U16(offset);
        e.U16(0);
    }
    ext.resize(std::min(ext.size(), Capacity));
    stream.WriteHeader(EXTSST, uint16_t(ext.size()));
    stream.WriteRecordData(ext.data(), ext.size());
}

// Widths set by fitting columns to their cells.
void WriteColumnWidths(TSheet& sheet, TXLSStream& stream) {
    for (int c = 0; c <= 255; ++c) {
        int width = sheet.FittedWidth(c);
        if (width < 0) continue;
        uint8_t body[12] = {};
        PutU16(body, uint16_t(c));
        PutU16(body + 2, uint16_t(c));
        PutU16(body + 4, uint16_t(width));
        PutU16(body + 6, DefaultCellFormat);
        stream.WriteRawRecord(COLINFO, body, sizeof body);
    }
}

} // namespace

void WriteWorkbookFile(TTabrix4& book) {
    const TExcelVersion version = book.GetVersion();
    if (version == TExcelVersion::xvExcel21 || version == TExcelVersion::xvExcel30)
        throw XLSError("Can not write Excel 2.1/3.0 files");

    int64_t cells = 0;
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        TSheet& sheet = book.GetSheet(i);
        sheet.UpdateDimensions();
        cells += sheet.Cells().Count();
    }
    book.PrepareWrite(cells);

    TBIFFWorkbookSource source;
    source.Globals = &book.GlobalsStorage();
    source.Ex2007 = &book.Unknown2007();
    source.Fonts = &book.Fonts();
    source.Formats = &book.DefaultFormats();
    source.NewWorkbook = book.GetOrigVersion() == TExcelVersion::xvNone;
    std::vector<std::vector<uint8_t>> styles;
    for (int i = 0; i < book.Styles().Count(); ++i) styles.push_back(book.Styles().Items(i));
    source.Styles = styles;
    source.Palette = &LibState().Palette;
    source.SelectedTab = book.Workbook().GetSelectedTab();
    source.FileSharing = book.GetFileSharing();
    source.Password = book.Password;
    source.ExtraObjects = &book.ExtraObjects();
    TStringList strings;
    if (version == TExcelVersion::xvExcel97) {
        strings = CollectStrings(book);
        source.SharedStrings = [&strings](TXLSStream& s) { WriteSST(strings, s); };
    }
    for (int i = 0; i < book.Sheets().Count(); ++i) {
        TSheet& sheet = book.GetSheet(i);
        TBIFFSheetSource s;
        s.Records = &sheet.Records();
        s.Name = sheet.Name();
        s.Kind = uint8_t(sheet.Kind);
        s.Hidden = uint8_t(sheet.Hidden);
        s.Protection = sheet.SheetProtection;
        s.Pane = &sheet.Pane();
        s.Selection = &sheet.SelectedAreas();
        s.Print = &sheet.PrintSettings();
        s.Columns = [&sheet](TXLSStream& st) { WriteColumnWidths(sheet, st); };
        s.Cells = [&sheet, version](TXLSStream& st) { sheet.WriteSheetCells(version, st); };
        s.MergedCells = [&sheet, version](TXLSStream& st) { sheet.WriteMergedCells(version, st); };
        source.Sheets.push_back(std::move(s));
    }

    TTabrixWriter writer(source);
    const std::filesystem::path file(book.GetFilename());
    if (version >= TExcelVersion::xvExcel50)
        writer.WriteBIFFWorkbook(file, version);
    else
        writer.WriteBIFF4Sheet(file);
}

} // namespace xls
