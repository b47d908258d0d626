#include "SrcXLS/formats/BIFFSettingsRecords.h"

#include "SrcXLS/model/XFonts.h"
#include "platform/CodePages.h"

#include <algorithm>

namespace xls {

std::u16string TFileText::Decode8(std::span<const uint8_t> bytes) const {
    if (Unicode()) return Latin1ToWide(bytes);
    return platform::DecodeSingleByte(
        CodePage, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::u16string TFileText::Chars(TByteReader& r, size_t count) const {
    if (count == 0) return {};
    if (!Unicode()) return Decode8(r.Bytes(count, "text"));
    uint8_t flag = r.U8("string flag");
    if (!(flag & 1)) return Decode8(r.Bytes(count, "text"));
    auto raw = r.Bytes(2 * count, "text");
    std::u16string out(count, u'\0');
    for (size_t i = 0; i < count; ++i) out[i] = char16_t(GetU16(raw.data() + 2 * i));
    return out;
}

std::u16string TFileText::ContinuedChars(TByteReader& r, size_t count,
                                         const std::function<bool(std::vector<uint8_t>&)>& next) const {
    if (count == 0) return {};
    std::u16string text;
    std::vector<uint8_t> bytes8; // below BIFF8: decoded at the end, in the code page
    auto have = [&] { return Unicode() ? text.size() : bytes8.size(); };
    auto take = [&](TByteReader& in) {
        if (!Unicode()) {
            auto b = in.Bytes(std::min(count - bytes8.size(), in.Remaining()));
            bytes8.insert(bytes8.end(), b.begin(), b.end());
            return;
        }
        if (in.AtEnd()) return;
        const bool wide = in.U8("string flag") & 1;
        const size_t n = std::min(count - text.size(), in.Remaining() / (wide ? 2 : 1));
        auto b = in.Bytes(n * (wide ? 2 : 1), "text");
        for (size_t i = 0; i < n; ++i)
            text.push_back(wide ? char16_t(GetU16(b.data() + 2 * i)) : char16_t(b[i]));
    };
    take(r);
    std::vector<uint8_t> piece;
    while (have() < count && next(piece)) {
        TByteReader in(piece);
        take(in);
    }
    if (have() < count) throw XLSError("Record too short: text beyond the end");
    return Unicode() ? text : Decode8(bytes8);
}

bool IsBOFId(uint16_t id) {
    return id == 0x0009 || id == 0x0209 || id == 0x0409 || id == 0x0809;
}

TBOFRecord DecodeBOF(std::span<const uint8_t> body) {
    TByteReader r(body);
    TBOFRecord bof;
    bof.Version = r.U16("BOF version");
    bof.Type = r.U16("BOF type");
    if (r.Remaining() >= 2) bof.Build = r.U16();
    if (r.Remaining() >= 2) bof.Year = r.U16();
    if (r.Remaining() >= 8) {
        bof.History = r.U32();
        bof.Lowest = r.U32();
        bof.Full = true;
    }
    return bof;
}

TBoundSheetEntry DecodeBoundSheet(std::span<const uint8_t> body, const TFileText& text) {
    TByteReader r(body);
    TBoundSheetEntry e;
    e.Position = r.U32("sheet position");
    e.Visibility = r.U8("sheet visibility") & 3;
    e.Type = r.U8("sheet type");
    size_t count = r.U8("sheet name length");
    e.Name = text.Chars(r, count);
    return e;
}

TFormatEntry DecodeFormat(std::span<const uint8_t> body, const TFileText& text) {
    TByteReader r(body);
    TFormatEntry e;
    e.Index = r.U16("format index");
    size_t count = text.Unicode() ? r.U16("format length") : r.U8("format length");
    e.Text = text.Chars(r, count);
    return e;
}

std::u16string DecodeOldFormat(uint16_t id, std::span<const uint8_t> body, const TFileText& text) {
    TByteReader r(body);
    if (id == 0x041E) r.Skip(2, "format index");
    size_t count = r.U8("format length");
    return text.Decode8(r.Bytes(count, "format"));
}

// 0x7FFF is the automatic colour, 0 in the pool as the newer fonts have it;
// the eight fixed colours 0-7 of the older files are 8-15 of the palette.
uint8_t OldFontColor(uint16_t color) {
    return color > 255 ? 0 : color < 8 ? uint8_t(color + 8) : uint8_t(color);
}

void LoadOldFont(TXFont& font, std::span<const uint8_t> body, TExcelVersion version, const TFileText& text) {
    TByteReader r(body);
    uint16_t height = r.U16("font height");
    uint16_t options = r.U16("font options");
    uint16_t color = version >= TExcelVersion::xvExcel30 ? r.U16("font colour") : uint16_t(0x7FFF);
    size_t count = r.U8("font name length");
    std::u16string name = text.Decode8(r.Bytes(count, "font name"));
    font.Height = height;
    font.Style = uint8_t((options & 0x01 ? xfsBold : 0) | (options & 0x02 ? xfsItalic : 0) |
                         (options & 0x08 ? xfsStrikeOut : 0));
    font.Underline = options & 0x04 ? 1 : 0;
    font.ColorIndex = OldFontColor(color);
    font.Name = name;
    font.ResetHash();
}

std::vector<uint32_t> DecodePalette(std::span<const uint8_t> body) {
    TByteReader r(body);
    size_t count = r.U16("colour count");
    count = std::min({count, size_t(57), r.Remaining() / 4});
    std::vector<uint32_t> colors(count);
    for (auto& c : colors) c = r.U32();
    return colors;
}

std::u16string DecodeOldWriteAccess(std::span<const uint8_t> body, const TFileText& text) {
    TByteReader r(body);
    if (r.AtEnd()) return {};
    size_t count = r.U8();
    count = std::min(count, r.Remaining());
    std::u16string name = text.Decode8(r.Bytes(count));
    while (!name.empty() && name.back() <= u' ') name.pop_back();
    return name;
}

std::vector<uint8_t> PadWriteAccess(std::span<const uint8_t> body) {
    constexpr size_t size = 112;
    std::vector<uint8_t> out(body.begin(), body.end());
    if (out.size() < size) out.resize(size, 0x20);
    return out;
}

std::vector<uint8_t> Window2ToBIFF8(std::span<const uint8_t> body) {
    std::vector<uint8_t> out(body.begin(), body.end());
    if (out.size() < 18) out.resize(18, 0);
    return out;
}

std::vector<uint8_t> DimensionsToBIFF8(std::span<const uint8_t> body) {
    TByteReader r(body);
    uint16_t rwMic = r.U16("first row"), rwMac = r.U16("row limit");
    uint16_t colMic = r.U16("first column"), colMac = r.U16("column limit");
    std::vector<uint8_t> out;
    TByteWriter w(out);
    w.U32(rwMic);
    w.U32(rwMac);
    w.U16(colMic);
    w.U16(colMac);
    w.U16(0);
    return out;
}

std::u16string DecodeHeaderFooter(std::span<const uint8_t> body, const TFileText& text) {
    if (body.empty()) return {};
    TByteReader r(body);
    size_t count = text.Unicode() ? r.U16("text length") : r.U8("text length");
    return text.Chars(r, count);
}

namespace {

TSelectionArea ReadArea8(TByteReader& r) {
    TSelectionArea a;
    a.Row1 = r.U16();
    a.Row2 = r.U16();
    a.Col1 = r.U8();
    a.Col2 = r.U8();
    return a;
}

} // namespace

TSelectionRecord DecodeSelection(std::span<const uint8_t> body) {
    TByteReader r(body);
    TSelectionRecord s;
    s.Pane = r.U8("selection pane");
    s.ActiveRow = r.U16("active row");
    s.ActiveCol = r.U16("active column");
    s.ActiveIndex = r.U16("active area");
    size_t count = r.U16("area count");
    count = std::min(count, r.Remaining() / 6);
    for (size_t i = 0; i < count; ++i) s.Areas.push_back(ReadArea8(r));
    if (s.ActiveIndex >= int(s.Areas.size())) s.ActiveIndex = 0;
    return s;
}

TPaneRecord DecodePane(std::span<const uint8_t> body) {
    TByteReader r(body);
    TPaneRecord p;
    p.SplitColX = r.U16("pane split");
    p.SplitRowY = r.U16("pane split");
    p.TopRow = r.U16("pane top row");
    p.LeftCol = r.U16("pane left column");
    if (!r.AtEnd()) p.ActivePane = std::min<int>(r.U8(), 3);
    return p;
}

std::vector<TPageBreakEntry> DecodePageBreaks(std::span<const uint8_t> body, TExcelVersion version) {
    TByteReader r(body);
    size_t count = r.U16("break count");
    bool full = version >= TExcelVersion::xvExcel97;
    count = std::min(count, r.Remaining() / (full ? 6 : 2));
    std::vector<TPageBreakEntry> breaks(count);
    for (auto& b : breaks) {
        b.Position = r.U16();
        if (full) {
            b.Start = r.U16();
            b.End = r.U16();
        }
    }
    return breaks;
}

std::vector<TSelectionArea> DecodeMergedCells(std::span<const uint8_t> body) {
    TByteReader r(body);
    size_t count = r.U16("area count");
    count = std::min(count, r.Remaining() / 8);
    std::vector<TSelectionArea> areas(count);
    for (auto& a : areas) {
        a.Row1 = r.U16();
        a.Row2 = r.U16();
        a.Col1 = r.U16();
        a.Col2 = r.U16();
    }
    return areas;
}

std::optional<uint16_t> DecodeFeatHdrProtection(std::span<const uint8_t> body) {
    constexpr uint16_t isfProtection = 2;
    if (body.size() < 21 || GetU16(body.data() + 12) != isfProtection) return std::nullopt;
    return uint16_t(GetU16(body.data() + 19) & 0x7FFF);
}

std::optional<uint8_t> DecodeSheetExtTabColor(std::span<const uint8_t> body) {
    if (body.size() < 17) return std::nullopt;
    return uint8_t(body[16] & 0x7F);
}

void TStyles::Add(std::span<const uint8_t> body, bool eightBit) {
    size_t length = 4;
    if (eightBit && body.size() >= 3 && !(GetU16(body.data()) & 0x8000)) {
        length = 3 + body[2];
    } else if (!eightBit && body.size() >= 4 && !(GetU16(body.data()) & 0xF000)) {
        size_t chars = GetU16(body.data() + 2);
        uint8_t flag = body.size() >= 5 ? body[4] : 0;
        if (chars > 0) length += flag == 0 ? chars + 1 : flag == 1 ? 2 * chars + 1 : chars;
    }
    // A style record shorter than its own fields say keeps what it holds.
    length = std::min(length, body.size());
    items.emplace_back(body.begin(), body.begin() + std::ptrdiff_t(length));
}

} // namespace xls
