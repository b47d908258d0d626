#include "SrcXLS/model/CellFormats.h"

#include "SrcXLS/model/CellFormatsEx12.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"

#include <algorithm>

namespace xls {

namespace {

void PutWord(TXFBody& b, int off, int v) {
    PutU16(b.data() + off, uint16_t(v));
}
int GetWord(const TXFBody& b, int off) {
    return GetU16(b.data() + off);
}
uint32_t GetDWord(const TXFBody& b, int off) {
    return GetU32(b.data() + off);
}
void PutDWord(TXFBody& b, int off, uint32_t v) {
    PutU32(b.data() + off, v);
}
// Stores value masked to its field of width bits at shift.
void SetWordField(TXFBody& b, int off, int shift, int width, int value) {
    int mask = ((1 << width) - 1) << shift;
    PutWord(b, off, (GetWord(b, off) & ~mask) | ((value << shift) & mask));
}
void SetDWordField(TXFBody& b, int off, int shift, int width, uint32_t value) {
    uint32_t mask = ((uint32_t(1) << width) - 1) << shift;
    PutDWord(b, off, (GetDWord(b, off) & ~mask) | ((value << shift) & mask));
}
void SetBit(uint8_t& byte, int bit, bool on) {
    byte = on ? uint8_t(byte | (1 << bit)) : uint8_t(byte & ~(1 << bit));
}

constexpr int UsedAlignment = 4, UsedBorder = 5, UsedPattern = 6;

TXFBody NewFormatBody() {
    TXFBody b{};
    PutWord(b, 4, 0x0001);
    PutWord(b, 6, 0x0020);
    PutWord(b, 12, 0x2040);
    PutWord(b, 14, 0x2040);
    PutWord(b, 16, 0x0010);
    PutWord(b, 18, 0x20C0);
    return b;
}

uint32_t PaletteColor(int index) {
    return LibState().Palette[std::clamp(index, 0, PaletteSize - 1)];
}

} // namespace

TCellFormat::TCellFormat(TCellFormats* pool) : pool(pool), body(NewFormatBody()) {}

TCellFormat::TCellFormat(TCellFormats* pool, int copyOf) : pool(pool), body(NewFormatBody()) {
    if (pool && pool->GetItem(copyOf)) Assign(*pool->GetItem(copyOf));
}

TCellFormat::~TCellFormat() {
    if (pool) pool->numberFormats.ReleaseQuietly(GetNumberFormatIndex());
}

void TCellFormat::Replace(const TXFBody& next) {
    int oldNumber = GetWord(body, 2), newNumber = GetWord(next, 2);
    int oldFont = GetWord(body, 0), newFont = GetWord(next, 0);
    if (pool && oldNumber != newNumber && pool->numberFormats.ByIndex(newNumber))
        pool->numberFormats.AddUse(newNumber);
    body = next;
    if (!pool) return;
    if (oldNumber != newNumber) pool->numberFormats.ReleaseQuietly(oldNumber);
    if (inPool) {
        pool->Dirty();
        if (oldFont != newFont && pool->fonts) {
            pool->fonts->AddUse(newFont);
            pool->fonts->ReleaseUse(oldFont);
        }
    }
}

void TCellFormat::SetUsedBit(TXFBody& b, int bit, bool on) const {
    SetBit(b[9], bit, on);
}

void TCellFormat::UpdateBorderUsed(TXFBody& b) const {
    SetUsedBit(b, UsedBorder, GetWord(b, 10) != 0 || ((GetDWord(b, 14) >> 21) & 15) != 0);
}

void TCellFormat::UpdatePatternUsed(TXFBody& b) const {
    SetUsedBit(b, UsedPattern, (GetWord(b, 18) & 0x3FFF) != 0x2040);
}

void TCellFormat::SetFontIndex(int i) {
    Change([&](TXFBody& b) { PutWord(b, 0, i); });
}

void TCellFormat::SetNumberFormatIndex(int i) {
    Change([&](TXFBody& b) { PutWord(b, 2, i); });
}

std::u16string TCellFormat::GetNumberFormat() const {
    return std::u16string(NumberFormatText());
}

std::u16string_view TCellFormat::NumberFormatText() const {
    if (!pool) return {};
    TNumberFormat* f = pool->numberFormats.ByIndex(GetNumberFormatIndex());
    return f ? std::u16string_view(f->Text()) : std::u16string_view();
}

void TCellFormat::SetNumberFormat(std::u16string_view text) {
    if (!pool) throw XLSError("CellFormat has no parent");
    if (text.empty()) {
        SetNumberFormatIndex(0);
        return;
    }
    pool->mask.SetMask(text);
    int index = pool->numberFormats.FindOrAdd(text)->Index;
    SetNumberFormatIndex(index);
    // FindOrAdd counted one use; the entry's use was counted by the change.
    pool->numberFormats.ReleaseQuietly(index);
}

bool TCellFormat::IsDateFormat() const {
    int i = GetNumberFormatIndex();
    return i == 14 || i == 20;
}

void TCellFormat::SetProtection(int p) {
    Change([&](TXFBody& b) { SetWordField(b, 4, 0, 2, p); });
}

void TCellFormat::SetHorizAlignment(int h) {
    Change([&](TXFBody& b) {
        b[6] = uint8_t((b[6] & ~7) | (h & 7));
        SetUsedBit(b, UsedAlignment, (b[6] & 0x7F) != 0);
    });
}

void TCellFormat::SetVertAlignment(int v) {
    Change([&](TXFBody& b) {
        b[6] = uint8_t((b[6] & ~0x70) | ((v & 7) << 4));
        SetUsedBit(b, UsedAlignment, (b[6] & 0x7F) != 0);
    });
}

void TCellFormat::SetWrapShrink(int flags) {
    Change([&](TXFBody& b) {
        SetBit(b[6], 3, flags & 1);
        SetBit(b[6], 7, false);
        SetBit(b[8], 4, flags & 2);
        SetUsedBit(b, UsedAlignment, (b[6] & 0x0F) != 0);
    });
}

int TCellFormat::GetRotation() const {
    int r = body[7];
    return r >= 91 && r <= 180 ? -(r - 90) : r;
}

void TCellFormat::SetRotation(int r) {
    int stored = r >= 255 ? 255 : r > 90 ? 90 : r < -90 ? 180 : r < 0 ? 90 - r : r;
    Change([&](TXFBody& b) { b[7] = uint8_t(stored); });
}

void TCellFormat::SetIndent(int n) {
    Change([&](TXFBody& b) { b[8] = uint8_t((b[8] & ~15) | (n & 15)); });
}

void TCellFormat::SetMerge(bool on) {
    Change([&](TXFBody& b) { SetBit(b[8], 5, on); });
}

void TCellFormat::SetBorderLeftStyle(int s) {
    Change([&](TXFBody& b) {
        SetWordField(b, 10, 0, 4, s);
        UpdateBorderUsed(b);
    });
}
void TCellFormat::SetBorderRightStyle(int s) {
    Change([&](TXFBody& b) {
        SetWordField(b, 10, 4, 4, s);
        UpdateBorderUsed(b);
    });
}
void TCellFormat::SetBorderTopStyle(int s) {
    Change([&](TXFBody& b) {
        SetWordField(b, 10, 8, 4, s);
        UpdateBorderUsed(b);
    });
}
void TCellFormat::SetBorderBottomStyle(int s) {
    Change([&](TXFBody& b) {
        SetWordField(b, 10, 12, 4, s);
        UpdateBorderUsed(b);
    });
}
void TCellFormat::SetBorderDiagStyle(int s) {
    Change([&](TXFBody& b) {
        SetDWordField(b, 14, 21, 4, uint32_t(s));
        UpdateBorderUsed(b);
    });
}

void TCellFormat::SetBorderLeftColor(int c) {
    Change([&](TXFBody& b) { SetWordField(b, 12, 0, 7, c); });
}
void TCellFormat::SetBorderRightColor(int c) {
    Change([&](TXFBody& b) { SetWordField(b, 12, 7, 7, c); });
}
void TCellFormat::SetBorderDiagLines(int l) {
    Change([&](TXFBody& b) { SetWordField(b, 12, 14, 2, l); });
}
void TCellFormat::SetBorderTopColor(int c) {
    Change([&](TXFBody& b) { SetDWordField(b, 14, 0, 7, uint32_t(c)); });
}
void TCellFormat::SetBorderBottomColor(int c) {
    Change([&](TXFBody& b) { SetDWordField(b, 14, 7, 7, uint32_t(c)); });
}
void TCellFormat::SetBorderDiagColor(int c) {
    Change([&](TXFBody& b) { SetDWordField(b, 14, 14, 7, uint32_t(c)); });
}

int TCellFormat::GetFillBackColor() const {
    return std::min((Word(18) >> 7) & 127, 64);
}

void TCellFormat::SetFillPattern(int p) {
    Change([&](TXFBody& b) {
        SetDWordField(b, 14, 26, 6, uint32_t(p));
        SetUsedBit(b, UsedPattern, (p & 63) != 0);
    });
}

void TCellFormat::SetFillForeColor(int c) {
    Change([&](TXFBody& b) {
        SetWordField(b, 18, 0, 7, c);
        UpdatePatternUsed(b);
    });
    if (c != 64) {
        SetFillPattern(1);
        SetFillBackColor(9);
    }
}

void TCellFormat::SetFillBackColor(int c) {
    Change([&](TXFBody& b) {
        SetWordField(b, 18, 7, 7, c & 127);
        UpdatePatternUsed(b);
    });
}

uint32_t TCellFormat::GetFillForeColorRGB() const {
    return PaletteColor(GetFillForeColor());
}
uint32_t TCellFormat::GetFillBackColorRGB() const {
    return PaletteColor(GetFillBackColor());
}
uint32_t TCellFormat::GetBorderLeftColorRGB() const {
    return PaletteColor(GetBorderLeftColor());
}
uint32_t TCellFormat::GetBorderRightColorRGB() const {
    return PaletteColor(GetBorderRightColor());
}
uint32_t TCellFormat::GetBorderTopColorRGB() const {
    return PaletteColor(GetBorderTopColor());
}
uint32_t TCellFormat::GetBorderBottomColorRGB() const {
    return PaletteColor(GetBorderBottomColor());
}
uint32_t TCellFormat::GetBorderDiagColorRGB() const {
    return PaletteColor(GetBorderDiagColor());
}

void TCellFormat::SetCellColorRGB(uint32_t) {
    throw XLSError("Not implemented: SetCellColorRGB");
}

TXFont* TCellFormat::GetFont() const {
    return pool && pool->fonts ? pool->fonts->GetItem(GetFontIndex()) : nullptr;
}

bool TCellFormat::HasBorder() const {
    return Word(10) != 0 || GetBorderDiagStyle() != 0;
}

void TCellFormat::Assign(const TCellFormat& other) {
    Replace(other.body);
}

void TCellFormat::LoadFromXF8(std::span<const uint8_t> xf) {
    if (xf.size() < 20) throw XLSError("Record too short: XF body");
    TXFBody next;
    std::copy_n(xf.begin(), 20, next.begin());
    // A format index the file does not define is an error of the file.
    if (pool) pool->numberFormats.AddUse(GetWord(next, 2));
    Replace(next);
    if (pool) pool->numberFormats.ReleaseQuietly(GetWord(next, 2));
}

void TCellFormat::LoadFromXF5(std::span<const uint8_t> xf) {
    if (xf.size() < 16) throw XLSError("Record too short: XF body");
    auto w = [&](int i) { return xf[2 * i] | (xf[2 * i + 1] << 8); };
    TXFBody b{};
    PutWord(b, 0, w(0));
    PutWord(b, 2, w(1));
    PutWord(b, 4, w(2));
    b[6] = uint8_t(w(3));
    static constexpr uint8_t rotation[4] = {0, 255, 90, 180};
    b[7] = rotation[(w(3) >> 8) & 3];
    PutWord(b, 8, w(3) & 0xFC00);
    int left = (w(6) >> 3) & 7, right = (w(6) >> 6) & 7, top = w(6) & 7, bottom = (w(5) >> 6) & 7;
    PutWord(b, 10, left | (right << 4) | (top << 8) | (bottom << 12));
    PutWord(b, 12, w(7) & 0x3FFF);
    PutDWord(b, 14,
             uint32_t((w(6) >> 9) & 127) | (uint32_t((w(5) >> 9) & 127) << 7) | (uint32_t(w(5) & 63) << 26));
    // Pattern colour, the full 7-bit background colour and the extra bit.
    PutWord(b, 18, w(4) & 0x7FFF);
    if (pool) pool->numberFormats.AddUse(GetWord(b, 2));
    Replace(b);
    if (pool) pool->numberFormats.ReleaseQuietly(GetWord(b, 2));
}

void TCellFormat::LoadFromOldXF(std::span<const uint8_t> xf, TExcelVersion version, int numberFormat) {
    const bool biff2 = version <= TExcelVersion::xvExcel21;
    if (xf.size() < (biff2 ? 4u : 12u)) throw XLSError("Record too short: XF body");
    TXFBody b{};
    PutWord(b, 0, xf[0]);
    PutWord(b, 2, numberFormat);
    constexpr int VertBottom = 2;
    if (biff2) {
        // Locked and hidden bits above the format; alignment and four
        // border flags (thin lines) and shading in the last byte.
        PutWord(b, 4, ((xf[2] >> 6) & 1) | ((xf[2] >> 6) & 2));
        b[6] = uint8_t((xf[3] & 7) | (VertBottom << 4));
        PutWord(b, 8, 0xFC00);
        const int left = (xf[3] >> 3) & 1, right = (xf[3] >> 4) & 1, top = (xf[3] >> 5) & 1,
                  bottom = (xf[3] >> 6) & 1;
        PutWord(b, 10, left | (right << 4) | (top << 8) | (bottom << 12));
        PutWord(b, 12, 64 | (64 << 7));
        PutDWord(b, 14, 64u | (64u << 7) | (xf[3] & 0x80 ? uint32_t(4) << 26 : 0));
        PutWord(b, 18, 64 | (65 << 7));
    } else {
        auto u16 = [&](int at) { return xf[size_t(at)] | (xf[size_t(at) + 1] << 8); };
        // The automatic colours have 5-bit indexes here.
        auto color = [](int c) { return c == 24 ? 64 : c == 25 ? 65 : c; };
        const bool biff4 = version >= TExcelVersion::xvExcel40;
        int align;
        if (biff4) {
            PutWord(b, 4, u16(2));
            align = xf[4];
            static constexpr uint8_t rotation[4] = {0, 255, 90, 180};
            b[7] = rotation[(align >> 6) & 3];
            PutWord(b, 8, (xf[5] & 0xFC) << 8);
        } else {
            PutWord(b, 4, (xf[2] & 7) | (u16(4) & 0xFFF0));
            align = (u16(4) & 0x0F) | (VertBottom << 4);
            PutWord(b, 8, (xf[3] & 0xFC) << 8);
        }
        b[6] = uint8_t(align & 0x3F);
        const int fill = u16(6);
        const uint32_t lines = uint32_t(u16(8)) | (uint32_t(u16(10)) << 16);
        auto style = [&](int at) { return int(lines >> at) & 7; };
        auto lineColor = [&](int at) { return color(int(lines >> (at + 3)) & 31); };
        PutWord(b, 10, style(8) | (style(24) << 4) | (style(0) << 8) | (style(16) << 12));
        PutWord(b, 12, lineColor(8) | (lineColor(24) << 7));
        PutDWord(b, 14,
                 uint32_t(lineColor(0)) | (uint32_t(lineColor(16)) << 7) | (uint32_t(fill & 63) << 26));
        PutWord(b, 18, color((fill >> 6) & 31) | (color((fill >> 11) & 31) << 7));
    }
    if (pool) pool->numberFormats.AddUse(GetWord(b, 2));
    Replace(b);
    if (pool) pool->numberFormats.ReleaseQuietly(GetWord(b, 2));
}

std::array<uint8_t, 16> TCellFormat::SaveToXF5() const {
    std::array<uint8_t, 16> out{};
    auto put = [&](int i, int v) {
        out[2 * i] = uint8_t(v);
        out[2 * i + 1] = uint8_t(v >> 8);
    };
    put(0, Word(0));
    put(1, Word(2));
    put(2, Word(4));
    int r = body[7];
    int orientation = r == 255 ? 1 : (r >= 46 && r <= 135) ? 2 : (r >= 136 && r <= 254) ? 3 : 0;
    put(3, body[6] | (orientation << 8) | (Word(8) & 0xFC00));
    put(4, Word(18) & 0x7FFF);
    // Line styles have three bits here; the newer styles become thin lines.
    auto style = [](int v) { return v <= 7 ? v : 1; };
    put(5, GetFillPattern() | (style(GetBorderBottomStyle()) << 6) | (GetBorderBottomColor() << 9));
    put(6, style(GetBorderTopStyle()) | (style(GetBorderLeftStyle()) << 3) |
               (style(GetBorderRightStyle()) << 6) | (GetBorderTopColor() << 9));
    put(7, Word(12) & 0x3FFF);
    return out;
}

std::array<uint8_t, 12> TCellFormat::SaveToXF4() const {
    std::array<uint8_t, 12> out{};
    out[0] = uint8_t(GetFontIndex());
    out[1] = uint8_t(GetNumberFormatIndex() - 59);
    out[2] = uint8_t(GetProtection() & 3);
    int h = GetHorizAlignment(), v = GetVertAlignment();
    bool wrap = GetWrapShrink() & 1;
    out[4] = uint8_t((h >= 1 && h <= 6 ? h : 0) | (wrap ? 8 : 0) | (v == 1 ? 16 : 0) | (v == 2 ? 32 : 0));
    uint8_t used = 8;
    if (GetNumberFormatIndex() != 0) used |= 4;
    if (!(h == 0 && !wrap && v == 2)) used |= 16;
    if (Word(10) != 0) used |= 32;
    if (GetProtection() != 1) used |= 128;
    out[5] = used;
    int styles[4] = {GetBorderTopStyle(), GetBorderLeftStyle(), GetBorderBottomStyle(),
                     GetBorderRightStyle()};
    for (int i = 0; i < 4; ++i) {
        int s = styles[i] <= 7 ? styles[i] : 0;
        out[8 + i] = uint8_t(s ? s | 0xC0 : 0);
    }
    return out;
}

TBorderSide TCellFormat::GetBorderSide(int side) const {
    switch (side) {
    case 0:
        return {true, uint8_t(GetBorderLeftColor()), uint8_t(GetBorderLeftStyle())};
    case 1:
        return {true, uint8_t(GetBorderRightColor()), uint8_t(GetBorderRightStyle())};
    case 2:
        return {true, uint8_t(GetBorderTopColor()), uint8_t(GetBorderTopStyle())};
    case 3:
        return {true, uint8_t(GetBorderBottomColor()), uint8_t(GetBorderBottomStyle())};
    default:
        return {true, uint8_t(GetBorderDiagColor()), uint8_t(GetBorderDiagStyle())};
    }
}

TCellFormats::TCellFormats(TXFonts* fonts, bool withDefaults)
    : fonts(fonts), withDefaults(withDefaults), fills(std::make_unique<TFills>()),
      borders(std::make_unique<TBorders>()) {
    if (fonts) fonts->Attach(this);
    if (withDefaults) InitDefaults();
}

TCellFormats::~TCellFormats() {
    if (fonts) {
        ReleaseFontsOfAll();
        fonts->Detach(this);
    }
    items.clear();
}

void TCellFormats::InitDefaults() {
    numberFormats.AddBuiltIns();
    fills->AddDefaults();
    borders->AddDefaults();
    AddDefaults();
    Add();
    MarkPermanent();
}

void TCellFormats::ResetDefaults() {
    numberFormats.AddBuiltIns();
    AddDefaults();
    MarkPermanent();
}

void TCellFormats::AddDefaults() {
    if (Count() > 0) throw XLSError("Add default formats when not empty.");
    for (int i = 0; i < 21; ++i) {
        int font = (i == 1 || i == 2) ? 1 : (i == 3 || i == 4) ? 2 : 0;
        static constexpr int numbers[21] = {0, 0, 0, 0, 0, 0,  0,  0,  0,  0, 0,
                                            0, 0, 0, 0, 0, 42, 43, 44, 45, 9};
        TXFBody b{};
        PutWord(b, 0, font);
        PutWord(b, 2, numbers[i]);
        PutWord(b, 4, i == 15 ? 0x0001 : 0xFFF5);
        b[6] = 0x20;
        b[9] = (i >= 1 && i <= 14) ? 0xF4 : 0x00;
        PutWord(b, 18, 0x20C0);
        auto entry = std::make_unique<TCellFormat>(this);
        entry->body = b;
        Append(std::move(entry));
        if (numbers[i] != 0)
            if (TNumberFormat* f = numberFormats.ByIndex(numbers[i])) f->UsageCount = 1;
    }
}

TCellFormat* TCellFormats::Append(std::unique_ptr<TCellFormat> format) {
    format->PoolIndex = Count();
    format->inPool = true;
    TCellFormat* f = format.get();
    items.push_back(std::move(format));
    if (fonts) fonts->AddUse(f->GetFontIndex());
    if (!indexDirty) index.emplace(BodyHash(f->body), f);
    return f;
}

TCellFormat* TCellFormats::Add() {
    return Append(std::make_unique<TCellFormat>(this));
}

TCellFormatEx12* TCellFormats::AddEx12() {
    return static_cast<TCellFormatEx12*>(Append(std::make_unique<TCellFormatEx12>(this)));
}

void TCellFormats::ResetEx12Lists() {
    fills->Renumber();
    borders->Renumber();
    for (const auto& f : items)
        if (auto* ex = dynamic_cast<TCellFormatEx12*>(f.get());
            ex && ex->GetFont() && ex->GetFont()->PoolIndex >= 0)
            PutWord(f->body, 0, ex->GetFont()->PoolIndex);
    indexDirty = true;
}

TCellFormat* TCellFormats::AddCopy(const TCellFormat& format) {
    auto entry = std::make_unique<TCellFormat>(this);
    entry->Assign(format);
    return Append(std::move(entry));
}

void TCellFormats::Delete(int i) {
    if (i < 0 || i >= Count()) return;
    std::unique_ptr<TCellFormat> entry = std::move(items[i]);
    items.erase(items.begin() + i);
    for (int k = i; k < Count(); ++k) items[k]->PoolIndex = k;
    if (i < permanentCount) --permanentCount;
    if (!indexDirty) {
        auto range = index.equal_range(BodyHash(entry->body));
        for (auto it = range.first; it != range.second; ++it)
            if (it->second == entry.get()) {
                index.erase(it);
                break;
            }
    }
    entry->inPool = false;
    entry->PoolIndex = -1;
    if (fonts) fonts->ReleaseUse(entry->GetFontIndex());
}

uint64_t TCellFormats::BodyHash(const TXFBody& body) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : body) h = (h ^ b) * 1099511628211ull;
    return h;
}

void TCellFormats::RebuildIndex() const {
    index.clear();
    index.reserve(items.size());
    for (const auto& f : items) index.emplace(BodyHash(f->body), f.get());
    indexDirty = false;
}

int TCellFormats::IndexOfEqual(const TCellFormat& format) const {
    if (indexDirty) RebuildIndex();
    int best = -1;
    auto range = index.equal_range(BodyHash(format.body));
    for (auto it = range.first; it != range.second; ++it)
        if (it->second->Equal(format) && format.Equal(*it->second) &&
            (best < 0 || it->second->PoolIndex < best))
            best = it->second->PoolIndex;
    return best;
}

void TCellFormats::AddUse(TCellFormat* format) {
    ++format->UsageCount;
}

void TCellFormats::ReleaseUse(TCellFormat* format) noexcept {
    if (!format || !format->inPool || format->PoolIndex < permanentCount) return;
    if (--format->UsageCount < 1) Delete(format->PoolIndex);
}

void TCellFormats::FontDeleted(int fontIndex) {
    for (const auto& f : items) {
        int i = f->GetFontIndex();
        if (i > fontIndex)
            PutWord(f->body, 0, i - 1);
        else if (i == fontIndex)
            PutWord(f->body, 0, 0);
    }
    indexDirty = true;
}

void TCellFormats::ReleaseFontsOfAll() {
    // From the last entry down, so that renumbering after a font deletion
    // reaches the entries still to be released.
    while (!items.empty()) {
        std::unique_ptr<TCellFormat> entry = std::move(items.back());
        items.pop_back();
        entry->inPool = false;
        if (fonts) fonts->ReleaseUse(entry->GetFontIndex());
    }
}

void TCellFormats::Clear() {
    ReleaseFontsOfAll();
    fills->Clear();
    borders->Clear();
    index.clear();
    indexDirty = false;
    numberFormats.Clear();
    permanentCount = 0;
}

} // namespace xls
