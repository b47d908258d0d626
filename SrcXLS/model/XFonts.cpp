#include "SrcXLS/model/XFonts.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSChecksum.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/model/CellFormats.h"

#include <algorithm>

namespace xls {

int PlatformColorToIndex(uint32_t rgb) {
    static constexpr std::pair<uint32_t, int> fixed[] = {
        {0x000000, 8},  {0x000080, 16}, {0x0000FF, 10}, {0x008000, 17}, {0x008080, 19},
        {0x00FF00, 11}, {0x00FFFF, 13}, {0x800000, 18}, {0x800080, 36}, {0x808000, 49},
        {0x808080, 55}, {0xC0C0C0, 22}, {0xFF0000, 12}, {0xFF00FF, 33}, {0xFFFF00, 15}};
    for (auto [color, index] : fixed)
        if (color == rgb) return index;
    return NearestPaletteIndex(rgb);
}

std::unique_ptr<TXFont> TXFont::CreateCopy(const TXFont& font) {
    auto copy = std::make_unique<TXFont>();
    copy->Assign(font);
    return copy;
}

std::array<uint8_t, 10> TXFont::Attributes() const {
    return {Charset,
            Family,
            ColorIndex,
            uint8_t(Height),
            uint8_t(Height >> 8),
            uint8_t(Height >> 16),
            uint8_t(Height >> 24),
            Style,
            SubSuperscript,
            Underline};
}

uint32_t TXFont::Hash() const {
    auto attr = Attributes();
    uint32_t crc = Crc32OfBytes(attr.data(), attr.size());
    for (char16_t c : Name) {
        uint8_t b[2] = {uint8_t(c), uint8_t(c >> 8)};
        crc = Crc32Update(crc, b, 2);
    }
    return crc;
}

bool TXFont::Equal(const THashItem& other) const {
    auto* f = dynamic_cast<const TXFont*>(&other);
    return f && typeid(*f) == typeid(*this) && Attributes() == f->Attributes() && Name == f->Name;
}

void TXFont::SetDefaults() {
    Name = u"Arial";
    Charset = 0;
    Family = 2;
    ColorIndex = 8;
    Height = 200;
    Style = SubSuperscript = Underline = 0;
    ResetHash();
}

uint32_t TXFont::GetColorRGB() const {
    return LibState().Palette[std::min<int>(ColorIndex, PaletteSize - 1)];
}

void TXFont::SetColorRGB(uint32_t rgb) {
    ColorIndex = uint8_t(NearestPaletteIndex(rgb));
    ResetHash();
}

void TXFont::Assign(const TXFont& font) {
    Name = font.Name;
    Charset = font.Charset;
    Family = font.Family;
    ColorIndex = font.ColorIndex;
    Height = font.Height;
    Style = font.Style;
    SubSuperscript = font.SubSuperscript;
    Underline = font.Underline;
    ResetHash();
}

int TXFont::LoadFromRecord(std::span<const uint8_t> body, TExcelVersion version, int codePage) {
    TByteReader r(body);
    uint16_t height = r.U16("font height");
    uint16_t options = r.U16("font options");
    uint16_t color = r.U16("font colour");
    uint16_t weight = r.U16("font weight");
    uint16_t escapement = r.U16("font escapement");
    uint8_t underline = r.U8("font underline");
    uint8_t family = r.U8("font family");
    uint8_t charset = r.U8("font character set");
    r.Skip(1, "font reserved byte");
    uint8_t length = r.U8("font name length");
    std::u16string name;
    if (version >= TExcelVersion::xvExcel97) {
        uint8_t flag = length ? r.U8("font name flag") : 0;
        auto chars = r.Bytes(size_t(length) * (flag == 1 ? 2 : 1), "font name");
        std::vector<uint8_t> buf{flag};
        buf.insert(buf.end(), chars.begin(), chars.end());
        name = BIFFStrToWideString(buf, length);
    } else {
        auto chars = r.Bytes(length, "font name");
        name = CodePageToWide(std::string_view(reinterpret_cast<const char*>(chars.data()), chars.size()),
                              codePage);
    }
    Height = height;
    Style = uint8_t((weight >= 700 ? xfsBold : 0) | (options & 0x02 ? xfsItalic : 0) |
                    (options & 0x08 ? xfsStrikeOut : 0));
    ColorIndex = color > 255 ? 0 : uint8_t(color);
    SubSuperscript = escapement <= 2 ? uint8_t(escapement) : 0;
    Underline = underline == 0x21 ? 3 : underline == 0x22 ? 4 : underline;
    Family = family;
    Charset = charset;
    Name = name;
    ResetHash();
    return PoolIndex;
}

std::vector<uint8_t> TXFont::SaveToRecord(TExcelVersion version, int codePage) const {
    std::vector<uint8_t> body;
    TByteWriter w(body);
    // The record holds a 16-bit height and a one-byte name length.
    w.U16(FileHeight());
    w.U16(uint16_t((Style & xfsItalic ? 0x02 : 0) | (Style & xfsStrikeOut ? 0x08 : 0)));
    w.U16(ColorIndex == 0 ? 0x7FFF : uint16_t(ColorIndex & 127));
    w.U16(Style & xfsBold ? 700 : 400);
    w.U16(SubSuperscript);
    w.U8(Underline == 3 ? 0x21 : Underline == 4 ? 0x22 : Underline);
    w.U8(Family);
    w.U8(Charset);
    w.U8(0);
    std::u16string_view name(Name);
    name = name.substr(0, 255);
    w.U8(uint8_t(name.size()));
    if (version >= TExcelVersion::xvExcel97) {
        w.U8(1);
        for (char16_t c : name) w.U16(c);
    } else {
        std::string bytes = WideToCodePage(name, codePage);
        w.Bytes(bytes.data(), bytes.size());
    }
    return body;
}

void TXFont::AssignFromPlatformFont(const TFontDesc& font) {
    Charset = font.Charset;
    Family = 2;
    ColorIndex = uint8_t(PlatformColorToIndex(font.Color));
    Name = font.Name;
    Height = uint32_t(std::max(font.Size, 0)) * 20;
    Style = uint8_t((font.Bold ? xfsBold : 0) | (font.Italic ? xfsItalic : 0) |
                    (font.StrikeOut ? xfsStrikeOut : 0));
    Underline = font.Underline ? 1 : 0;
    SubSuperscript = 0;
    ResetHash();
}

void TXFont::AssignToPlatformFont(TFontDesc& font) const {
    font.Charset = Charset;
    font.Name = Name;
    font.Size = int(Height / 20);
    font.Underline = Underline != 0;
    font.Bold = Style & xfsBold;
    font.Italic = Style & xfsItalic;
    font.StrikeOut = Style & xfsStrikeOut;
    font.Color = ColorIndex == 64 ? 0 : LibState().Palette[std::min(ColorIndex & 127, PaletteSize - 1)];
}

uint32_t TXFontEx12::Hash() const {
    uint32_t crc = TXFont::Hash();
    uint8_t c[12] = {Color12.Kind, Color12.Index};
    PutU32(c + 2, Color12.Value);
    PutU32(c + 6, Color12.RGB);
    crc = Crc32Update(crc, c, 10);
    crc = Crc32Update(crc, reinterpret_cast<const uint8_t*>(&Color12.Tint), sizeof(double));
    return Crc32Update(crc, Extra.data(), Extra.size());
}

bool TXFontEx12::Equal(const THashItem& other) const {
    auto* f = dynamic_cast<const TXFontEx12*>(&other);
    return f && TXFont::Equal(other) && Color12 == f->Color12 && Extra == f->Extra;
}

void TXFontEx12::SetDefaults() {
    TXFont::SetDefaults();
    Color12 = TExtColor();
    Color12.Kind = eckNotSet;
    Extra = {};
}

void TXFontEx12::SetColorRGB(uint32_t rgb) {
    Color12.Kind = eckRGB;
    Color12.Value = rgb;
    Color12.RGB = rgb;
    ResetHash();
}

void TXFontEx12::Assign(const TXFont& font) {
    TXFont::Assign(font);
    Color12.Kind = eckIndexed;
    Color12.Index = font.ColorIndex;
}

TXFonts::TXFonts() {
    AddDefaults();
}

TXFonts::~TXFonts() {
    for (TCellFormats* f : attached) f->DetachFonts();
}

TXFont* TXFonts::Append(std::unique_ptr<TXFont> font) {
    font->PoolIndex = Count();
    items.push_back(std::move(font));
    TXFont* f = items.back().get();
    trie.AddObject(f);
    return f;
}

void TXFonts::Clear() {
    trie.Clear();
    items.clear();
    permanentCount = 0;
}

void TXFonts::AddDefaults() {
    for (int i = 0; i < 5; ++i) Add();
    MarkPermanent();
}

TXFont* TXFonts::Add() {
    return Append(std::make_unique<TXFont>());
}
TXFont* TXFonts::AddEx12() {
    return Append(std::make_unique<TXFontEx12>());
}
TXFont* TXFonts::AddEx12(const TXFontEx12& font) {
    auto copy = std::make_unique<TXFontEx12>(font);
    copy->UsageCount = 0;
    copy->ResetHash();
    return Append(std::move(copy));
}

void TXFonts::Delete(int i) {
    if (i < 0 || i >= Count()) return;
    // The index is rebuilt below; emptied first, while every font it holds
    // is alive (an equal font may stand before this one in its chain).
    trie.Clear();
    items.erase(items.begin() + i);
    for (int k = i; k < Count(); ++k) items[k]->PoolIndex = k;
    if (i < permanentCount) --permanentCount;
    for (TCellFormats* formats : attached) formats->FontDeleted(i);
    RebuildHash();
}

int TXFonts::IndexOfEqual(const TXFont& font) const {
    auto attr = font.Attributes();
    std::u16string upper;
    for (const auto& f : items) {
        if (f->IsDefault || f->Attributes() != attr || f->Name.size() != font.Name.size()) continue;
        if (f->Name == font.Name) return f->PoolIndex;
        if (upper.empty()) upper = UpperCaseWide(font.Name);
        if (UpperCaseWide(f->Name) == upper) return f->PoolIndex;
    }
    return -1;
}

TXFont* TXFonts::FindOrAdd(const TXFont& font) {
    int i = IndexOfEqual(font);
    if (i >= 0) return items[i].get();
    auto added = std::make_unique<TXFont>();
    added->Assign(font);
    return Append(std::move(added));
}

TXFont* TXFonts::FindOrAddPlatformFont(const TFontDesc& font) {
    int colorIndex = PlatformColorToIndex(font.Color);
    uint8_t style = uint8_t((font.Bold ? xfsBold : 0) | (font.Italic ? xfsItalic : 0) |
                            (font.StrikeOut ? xfsStrikeOut : 0));
    for (const auto& f : items) {
        if (f->IsDefault || (font.Underline && f->Underline != 1)) continue;
        if (f->Charset == font.Charset && f->Name == font.Name && f->Height == uint32_t(font.Size) * 20 &&
            f->Style == style && f->SubSuperscript == 0 && f->Underline < 2 && f->ColorIndex == colorIndex)
            return f.get();
    }
    auto added = std::make_unique<TXFont>();
    added->AssignFromPlatformFont(font);
    return Append(std::move(added));
}

TXFont* TXFonts::FindEqual(const TXFont& font) const {
    // A probe's fields may have changed since its hash was cached.
    return static_cast<TXFont*>(trie.Find(font, font.Hash()));
}

void TXFonts::RebuildHash() {
    trie.Clear();
    for (const auto& f : items) {
        f->ResetHash();
        trie.AddObject(f.get());
    }
}

void TXFonts::AddUse(int index) {
    if (TXFont* f = GetItem(index)) ++f->UsageCount;
}

void TXFonts::ReleaseUse(int index) noexcept {
    TXFont* f = GetItem(index);
    if (!f) return;
    --f->UsageCount;
    if (f->UsageCount < 1 && index >= permanentCount && !f->IsDefault) Delete(index);
}

void TXFonts::Attach(TCellFormats* formats) {
    if (std::find(attached.begin(), attached.end(), formats) == attached.end()) attached.push_back(formats);
}

void TXFonts::Detach(TCellFormats* formats) {
    std::erase(attached, formats);
}

} // namespace xls
