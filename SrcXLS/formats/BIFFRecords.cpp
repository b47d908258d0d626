#include "SrcXLS/formats/BIFFRecords.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/Pane.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Selection.h"
#include "SrcXLS/model/XFonts.h"
#include "SrcXLS/model/XLSRows.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace xls {

namespace {

uint16_t Clamp16(int v) {
    return uint16_t(std::clamp(v, 0, 0xFFFF));
}

uint8_t Clamp8(int v) {
    return uint8_t(std::clamp(v, 0, 0xFF));
}

void PutDouble(TByteWriter& w, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    w.U32(uint32_t(bits));
    w.U32(uint32_t(bits >> 32));
}

// Character set of the fonts whose 8-bit text is in the code page.
uint8_t CharsetOf(int codePage) {
    static constexpr struct {
        int CodePage;
        uint8_t Charset;
    } charsets[] = {{874, 222},  {932, 128},  {936, 134},  {949, 129},  {950, 136},  {1250, 238}, {1251, 204},
                    {1253, 161}, {1254, 162}, {1255, 177}, {1256, 178}, {1257, 186}, {1258, 163}};
    for (const auto& c : charsets)
        if (c.CodePage == codePage) return c.Charset;
    return 0;
}

// Built-in styles of a new workbook: cell format, style id.
constexpr struct {
    uint16_t Format;
    uint8_t Id;
} BuiltInStyles[] = {{16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}};

} // namespace

TBIFFRecordWriter::TBIFFRecordWriter(TXLSStream& stream, int codePage) : stream(stream), codePage(codePage) {
    buf.reserve(size_t(MaxRecordSize(TExcelVersion::xvExcel97)));
}

void TBIFFRecordWriter::WriteRecord(uint16_t id, std::span<const uint8_t> body) {
    stream.WriteHeader(id, uint16_t(body.size()));
    if (!body.empty()) stream.WriteRecordData(body.data(), body.size());
}

void TBIFFRecordWriter::WriteWord(uint16_t id, uint16_t value) {
    uint8_t b[2];
    PutU16(b, value);
    WriteRecord(id, b);
}

std::string TBIFFRecordWriter::Encode8Bit(std::u16string_view text) const {
    if (Version() >= TExcelVersion::xvExcel97) {
        std::string out(text.size(), '\0');
        for (size_t i = 0; i < text.size(); ++i) out[i] = char(text[i] <= 0xFF ? text[i] : u'?');
        return out;
    }
    return WideToCodePage(text, codePage);
}

// BIFF8: u16 count, flag 1, UTF-16 characters, as many as the record
// holds; below: u8 count and 8-bit characters.
void TBIFFRecordWriter::PutText(TByteWriter& w, std::u16string_view text) const {
    if (Version() >= TExcelVersion::xvExcel97) {
        text = CutWhole(text, (size_t(MaxBody()) - w.Size() - 3) / 2);
        w.U16(uint16_t(text.size()));
        w.U8(1);
        for (char16_t c : text) w.U16(c);
    } else {
        std::string bytes = Encode8Bit(text.substr(0, 255));
        w.U8(uint8_t(bytes.size()));
        w.Bytes(bytes.data(), bytes.size());
    }
}

// ---- window records

void TBIFFRecordWriter::WriteWindow1(std::span<const uint8_t> window1) {
    uint8_t stored[10] = {};
    std::memcpy(stored, window1.data(), std::min<size_t>(window1.size(), sizeof stored));
    buf.clear();
    TByteWriter w(buf);
    w.Bytes(stored, 8);
    w.U16(uint16_t(GetU16(stored + 8) & 0x3B));
    w.U16(0);
    w.U16(0);
    w.U16(1);
    w.U16(600);
    WriteRecord(biff::WINDOW1, buf);
}

void TBIFFRecordWriter::WriteWindow2Short(uint16_t options, bool selected) {
    buf.clear();
    TByteWriter w(buf);
    w.U16(uint16_t(0x04A0 | (options & 0x1F) | (selected ? 0x0200 : 0)));
    w.U16(0);
    w.U16(0);
    w.U32(0);
    WriteRecord(biff::WINDOW2, buf);
}

void TBIFFRecordWriter::WriteScl(int zoom) {
    if (zoom <= 0 || zoom == 100) return;
    buf.clear();
    TByteWriter w(buf);
    w.U16(Clamp16(zoom));
    w.U16(100);
    WriteRecord(biff::SCL, buf);
}

// ranges: first column, first row, last column, last row per range.
void TBIFFRecordWriter::WriteSelectionBody(int pane, int activeRow, int activeCol, int activeIndex,
                                           std::span<const int> ranges) {
    // Ranges that would not fit the record are left out.
    size_t count = std::min<size_t>(ranges.size() / 4, size_t(MaxBody() - 9) / 6);
    // Rows past the version's last one (16,384 rows before Excel 97) stand at it.
    const int lastRow = Version() >= TExcelVersion::xvExcel97 ? 0xFFFF : 0x3FFF;
    auto row = [lastRow](int r) { return Clamp16(std::min(r, lastRow)); };
    buf.clear();
    TByteWriter w(buf);
    w.U8(uint8_t(pane));
    w.U16(row(activeRow));
    w.U16(Clamp8(activeCol));
    w.U16(Clamp16(activeIndex < int(count) ? activeIndex : 0));
    w.U16(uint16_t(count));
    for (size_t i = 0; i < count; ++i) {
        const int* r = &ranges[4 * i];
        w.U16(row(r[1]));
        w.U16(row(r[3]));
        w.U8(Clamp8(r[0]));
        w.U8(Clamp8(r[2]));
    }
    WriteRecord(biff::SELECTION, buf);
}

void TBIFFRecordWriter::WriteSelection(int pane, const TSelectedAreas& selection) {
    std::vector<int> ranges;
    if (selection.Count() == 0) {
        ranges = {selection.ActiveCol, selection.ActiveRow, selection.ActiveCol, selection.ActiveRow};
    } else {
        ranges.reserve(size_t(selection.Count()) * 4);
        for (int i = 0; i < selection.Count(); ++i) {
            const TSelectedArea& a = selection.Items(i);
            ranges.insert(ranges.end(), {a.Col1, a.Row1, a.Col2, a.Row2});
        }
    }
    WriteSelectionBody(pane, selection.ActiveRow, selection.ActiveCol, selection.ActiveIndex, ranges);
}

void TBIFFRecordWriter::WritePane(const TPane& pane) {
    const int x = pane.SplitColX, y = pane.SplitRowY;
    if (pane.PaneType == TPaneType::ptNone || (x <= 0 && y <= 0)) return;
    buf.clear();
    TByteWriter w(buf);
    w.U16(Clamp16(x));
    w.U16(Clamp16(y));
    w.U16(Clamp16(pane.TopRow));
    w.U16(Clamp16(pane.LeftCol));
    w.U16(x > 0 && y > 0 ? 0 : x > 0 ? 1 : 2);
    WriteRecord(biff::PANE, buf);

    const TBaseRecordStorage& kept = pane.Records();
    if (kept.Count() == (x > 0 && y > 0 ? 4 : 2)) {
        kept.WriteAll(stream);
        return;
    }
    struct Cell {
        int Pane, Row, Col;
    };
    std::vector<Cell> cells;
    if (x > 0 && y > 0)
        cells = {{3, 0, 0}, {2, pane.TopRow, 0}, {1, 0, pane.LeftCol}, {0, pane.TopRow, pane.LeftCol}};
    else if (x > 0)
        cells = {{3, pane.TopRow, 0}, {1, 0, pane.LeftCol}};
    else
        cells = {{3, 0, 0}, {2, pane.TopRow, 0}};
    for (const Cell& c : cells) {
        const int range[4] = {c.Col, c.Row, c.Col, c.Row};
        WriteSelectionBody(c.Pane, c.Row, c.Col, 0, range);
    }
}

void TBIFFRecordWriter::WriteSheetProtection(uint16_t options) {
    if ((options & FullSheetProtection) == FullSheetProtection) return;
    uint8_t body[23] = {};
    PutU16(body, biff::SHEETPROTECTION);
    body[12] = 2;
    body[14] = 1;
    std::memset(body + 15, 0xFF, 4);
    PutU16(body + 19, uint16_t(options & FullSheetProtection));
    WriteRecord(biff::SHEETPROTECTION, body);
}

// ---- format block

void TBIFFRecordWriter::WriteFonts(const TXFonts& fonts) {
    for (int i = 0; i < fonts.Count(); ++i) {
        // Font index 4 does not exist in the file format: readers skip it.
        if (i == 4) continue;
        const TXFont& f = *fonts.GetItem(i);
        if (Version() > TExcelVersion::xvExcel40) {
            std::vector<uint8_t> body = f.SaveToRecord(Version(), codePage);
            // Readers take bold from this flag as well as from the weight.
            if (f.Style & xfsBold) body[2] |= 0x01;
            // 8-bit text is read in the code page of its font's character
            // set: a font that names none gets the file's.
            if (Version() == TExcelVersion::xvExcel50 && body[12] <= 1) body[12] = CharsetOf(codePage);
            WriteRecord(biff::FONT, body);
            continue;
        }
        buf.clear();
        TByteWriter w(buf);
        w.U16(f.FileHeight());
        w.U16(uint16_t((f.Style & xfsBold ? 0x01 : 0) | (f.Style & xfsItalic ? 0x02 : 0) |
                       (f.Underline ? 0x04 : 0) | (f.Style & xfsStrikeOut ? 0x08 : 0)));
        w.U16(f.ColorIndex == 0 ? 0x7FFF : uint16_t(f.ColorIndex & 127));
        std::string name = Encode8Bit(std::u16string_view(f.Name).substr(0, 255));
        w.U8(uint8_t(name.size()));
        w.Bytes(name.data(), name.size());
        WriteRecord(biff::FONT4, buf);
    }
}

void TBIFFRecordWriter::WriteFormats(const TCellFormats& formats) {
    TNumberFormats& list = const_cast<TCellFormats&>(formats).NumberFormats();
    const bool places = Version() <= TExcelVersion::xvExcel40;
    std::vector<bool> named;
    if (places) {
        for (int i = 0; i < formats.Count(); ++i) {
            size_t index = size_t(formats[i]->GetNumberFormatIndex());
            if (index >= named.size()) named.resize(index + 1);
            named[index] = true;
        }
        formatPlace.assign(size_t(list.HighestIndex()) + 1, 0);
    }
    auto write = [&](int index, std::u16string_view text) {
        buf.clear();
        TByteWriter w(buf);
        w.U16(uint16_t(index));
        PutText(w, text);
        WriteRecord(biff::FORMAT, buf);
    };
    int place = 0;
    if (places) {
        write(0, u"General");
        ++place;
    }
    for (int p = 1; p < list.Count(); ++p) {
        const TNumberFormat& f = *list.GetItem(p);
        bool needed = !f.IsUnused() || (places && size_t(f.Index) < named.size() && named[size_t(f.Index)]);
        if (!needed || (places && f.Index == 0)) continue;
        if (places) {
            // A cell format holds the place in one byte.
            if (place > 0xFF || size_t(f.Index) >= formatPlace.size()) continue;
            formatPlace[size_t(f.Index)] = place++;
            write(f.Index, f.Text().empty() ? u"General" : std::u16string_view(f.Text()));
        } else {
            write(f.Index, f.Text());
        }
    }
}

void TBIFFRecordWriter::WriteXFs(const TCellFormats& formats) {
    // Excel 5 and later files hold at least the 15 style formats and the
    // default cell format 15, to which rows and columns refer; a pool read
    // from an older file may hold fewer, and gets default ones.
    const int count = Version() >= TExcelVersion::xvExcel50 ? std::max(formats.Count(), 16) : formats.Count();
    for (int i = 0; i < count; ++i) {
        TCellFormat standard;
        if (i >= formats.Count() && i < DefaultCellFormat) {
            TXFBody style = standard.SaveToXF8();
            PutU16(style.data() + 4, 0xFFF5); // a style entry, locked
            standard.LoadFromXF8(style);
        }
        const TCellFormat& f = i < formats.Count() ? *formats[i] : standard;
        if (Version() >= TExcelVersion::xvExcel97) {
            const TXFBody body = f.SaveToXF8();
            WriteRecord(biff::XF, body);
        } else if (Version() == TExcelVersion::xvExcel50) {
            const auto body = f.SaveToXF5();
            WriteRecord(biff::XF, body);
        } else {
            auto body = f.SaveToXF4();
            size_t index = size_t(f.GetNumberFormatIndex());
            body[1] = uint8_t(index < formatPlace.size() ? formatPlace[index] : 0);
            WriteRecord(biff::XF4, body);
        }
    }
}

void TBIFFRecordWriter::WriteStyles(bool builtIns, std::span<const std::vector<uint8_t>> stored) {
    if (!builtIns) {
        for (const auto& body : stored) WriteRecord(biff::STYLE, body);
        return;
    }
    for (const auto& s : BuiltInStyles) {
        uint8_t body[4];
        PutU16(body, uint16_t(s.Format | 0x8000));
        body[2] = s.Id;
        body[3] = 0xFF;
        WriteRecord(biff::STYLE, body);
    }
}

void TBIFFRecordWriter::WritePalette(const TPalette& palette, bool always) {
    const TPalette& standard = DefaultPalette();
    if (!always && std::equal(palette.begin() + 8, palette.begin() + 64, standard.begin() + 8)) return;
    buf.clear();
    TByteWriter w(buf);
    w.U16(56);
    for (int i = 8; i < 64; ++i) w.U32(palette[size_t(i)] & 0x00FFFFFF);
    WriteRecord(biff::PALETTE, buf);
}

// ---- page setup

void TBIFFRecordWriter::WriteHeaderText(uint16_t id, std::u16string_view text) {
    if (text.empty()) {
        WriteEmpty(id);
        return;
    }
    buf.clear();
    TByteWriter w(buf);
    PutText(w, text);
    WriteRecord(id, buf);
}

void TBIFFRecordWriter::WriteHeaderFooter(const TPrintSettings& settings) {
    WriteHeaderText(biff::HEADER, settings.GetHeader());
    WriteHeaderText(biff::FOOTER, settings.GetFooter());
}

void TBIFFRecordWriter::WriteMargins(const TPrintSettings& settings, bool onlyOwn) {
    const struct {
        uint16_t Id;
        double Value;
    } margins[] = {{biff::LEFTMARGIN, settings.GetMarginLeft()},
                   {biff::RIGHTMARGIN, settings.GetMarginRight()},
                   {biff::TOPMARGIN, settings.GetMarginTop()},
                   {biff::BOTTOMMARGIN, settings.GetMarginBottom()}};
    for (size_t i = 0; i < std::size(margins); ++i) {
        const auto& m = margins[i];
        if (!(m.Value >= 0) || (onlyOwn && m.Value == TPrintSettings::DefaultMargins[i])) continue;
        buf.clear();
        TByteWriter w(buf);
        PutDouble(w, m.Value);
        WriteRecord(m.Id, buf);
    }
}

void TBIFFRecordWriter::WritePageBreaks(const TPrintSettings& settings) {
    const bool ranges = Version() >= TExcelVersion::xvExcel97;
    const size_t maxCount = size_t(MaxBody() - 2) / (ranges ? 6 : 2);
    auto write = [&](uint16_t id, int count, auto values) {
        if (count == 0) return;
        size_t n = std::min(size_t(count), maxCount);
        buf.clear();
        TByteWriter w(buf);
        w.U16(uint16_t(n));
        for (size_t i = 0; i < n; ++i) {
            auto [pos, first, last] = values(int(i));
            w.U16(Clamp16(pos + 1));
            if (!ranges) continue;
            w.U16(Clamp16(first + 1));
            w.U16(Clamp16(last + 1));
        }
        WriteRecord(id, buf);
    };
    const THorizPagebreaks& h = settings.HorizPagebreaks();
    write(biff::HORIZONTALPAGEBREAKS, h.Count(), [&](int i) {
        const THorizPagebreak& b = h[i];
        return std::array<int, 3>{b.Row, b.Col1, b.Col2};
    });
    const TVertPagebreaks& v = settings.VertPagebreaks();
    write(biff::VERTICALPAGEBREAKS, v.Count(), [&](int i) {
        const TVertPagebreak& b = v[i];
        return std::array<int, 3>{b.Col, b.Row1, b.Row2};
    });
}

void TBIFFRecordWriter::WriteRows(const TXLSRows& rows) {
    std::array<uint8_t, 16> body;
    const uint32_t lastRow = uint32_t(LastFileRow(Version()));
    for (int i = 0; i < rows.Count(); ++i)
        if (rows.GetItem(i).Row <= lastRow && rows.WriteRowRecord(i, body)) WriteRecord(biff::ROW, body);
}

} // namespace xls
