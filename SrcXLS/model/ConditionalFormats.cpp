#include "SrcXLS/model/ConditionalFormats.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/FormulaServices.h"
#include "SrcXLS/model/RangeFormulaContext.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>

namespace xls {

namespace {

constexpr uint32_t NotSet = 0xFFFFFFFF;
constexpr uint32_t NewFlags = 0x003FFFFF;
constexpr uint32_t ModifiedDefault = 0x9A;
constexpr size_t MaxFormula = 1024;
constexpr size_t MaxBody = 8224;
// Cleared, these flags say a part of the border or pattern block applies.
constexpr uint32_t SideFlags[4] = {0x0400, 0x0800, 0x1000, 0x2000}; // left, right, top, bottom
constexpr uint32_t PatternFlag = 0x10000, BackFlag = 0x20000, ForeFlag = 0x40000;

// Underline codes of the font block by TXUnderline.
constexpr uint8_t UnderlineCodes[] = {0x00, 0x01, 0x02, 0x21, 0x22};

} // namespace

// ---- font block

TCondFmtFont::TCondFmtFont() {
    PutU32(Block.data() + 64, NotSet);
    PutU16(Block.data() + 72, 400);
    PutU32(Block.data() + 80, NotSet);
    PutU32(Block.data() + 88, ModifiedDefault);
    PutU32(Block.data() + 92, 1);
    PutU32(Block.data() + 96, 1);
    PutU16(Block.data() + 116, 1);
}

int TCondFmtFont::GetColor() const {
    const uint32_t c = GetU32(Block.data() + 80);
    return c == NotSet ? 64 : int(c);
}

void TCondFmtFont::SetColor(int color) {
    PutU32(Block.data() + 80, color == 64 ? NotSet : uint32_t(color & 127));
    Used = true;
}

uint8_t TCondFmtFont::GetFontStyle() const {
    const uint32_t options = GetU32(Block.data() + 68);
    uint8_t style = 0;
    if (options & 0x02) style |= xfsItalic;
    if (options & 0x80) style |= xfsStrikeOut;
    if (GetU16(Block.data() + 72) >= 700) style |= xfsBold;
    return style;
}

void TCondFmtFont::SetFontStyle(uint8_t style) {
    PutU32(Block.data() + 68, ((style & xfsItalic) ? 0x02u : 0u) | ((style & xfsStrikeOut) ? 0x80u : 0u));
    PutU16(Block.data() + 72, (style & xfsBold) ? 700 : 400);
    uint32_t modified = ModifiedDefault;
    if (style & (xfsItalic | xfsBold)) modified &= ~0x02u;
    if (style & xfsStrikeOut) modified &= ~0x80u;
    PutU32(Block.data() + 88, modified);
    Used = true;
}

uint32_t TCondFmtFont::GetHeight20() const {
    const uint32_t h = GetU32(Block.data() + 64);
    return h == NotSet ? 0 : h;
}

void TCondFmtFont::SetHeight20(uint32_t height) {
    PutU32(Block.data() + 64, height == 0 ? NotSet : height);
    Used = height != 0;
}

uint16_t TCondFmtFont::GetEscapment() const {
    return GetU16(Block.data() + 74);
}

void TCondFmtFont::SetEscapment(uint16_t escapement) {
    PutU16(Block.data() + 74, escapement);
    PutU32(Block.data() + 92, 0);
    Used = true;
}

TXUnderline TCondFmtFont::GetUnderline() const {
    const uint8_t code = Block[76];
    for (size_t i = 0; i < std::size(UnderlineCodes); ++i)
        if (UnderlineCodes[i] == code) return TXUnderline(i);
    return TXUnderline::xulNone;
}

void TCondFmtFont::SetUnderline(TXUnderline underline) {
    Block[76] = UnderlineCodes[size_t(underline)];
    PutU32(Block.data() + 96, 0);
    Used = true;
}

// ---- border block

TCondFmtBorder::TCondFmtBorder() {
    PutU32(Block.data() + 2, 0x20402040);
}

namespace {
// Bit positions of each side's style (in the word) and colour (in the double word).
constexpr int StyleShift[4] = {0, 4, 8, 12};
constexpr int ColorShift[4] = {0, 7, 16, 23};
} // namespace

uint8_t TCondFmtBorder::GetStyle(int side) const {
    return uint8_t((GetU16(Block.data()) >> StyleShift[side]) & 0x0F);
}

void TCondFmtBorder::SetStyle(int side, uint8_t style) {
    uint16_t styles = GetU16(Block.data());
    styles = uint16_t((styles & ~(0x0F << StyleShift[side])) | ((style & 0x0F) << StyleShift[side]));
    PutU16(Block.data(), styles);
    UsedSides[size_t(side)] = style != 0;
}

int TCondFmtBorder::GetColor(int side) const {
    const int c = int((GetU32(Block.data() + 2) >> ColorShift[side]) & 0x7F);
    return c > 64 ? 64 : c;
}

void TCondFmtBorder::SetColor(int side, int color) {
    uint32_t colors = GetU32(Block.data() + 2);
    colors = (colors & ~(0x7Fu << ColorShift[side])) | (uint32_t(color & 0x7F) << ColorShift[side]);
    PutU32(Block.data() + 2, colors);
}

// ---- pattern block

uint8_t TCondFmtPattern::GetFillPattern() const {
    return uint8_t(GetU16(Block.data()) >> 10);
}

void TCondFmtPattern::SetFillPattern(uint8_t pattern) {
    UsedPattern = pattern != 0;
    PutU16(Block.data(), uint16_t((GetU16(Block.data()) & 0x03FF) | ((pattern & 0x3F) << 10)));
}

int TCondFmtPattern::GetBackColor() const {
    const int c = GetU16(Block.data() + 2) & 0x7F;
    return c == 0 ? 64 : c;
}

void TCondFmtPattern::SetBackColor(int color) {
    UsedBack = color != 0 && color != 64;
    const uint16_t v = uint16_t(UsedBack ? color & 0x7F : 0);
    PutU16(Block.data() + 2, uint16_t((GetU16(Block.data() + 2) & ~0x007F) | v));
}

int TCondFmtPattern::GetForeColor() const {
    const int c = (GetU16(Block.data() + 2) >> 7) & 0x7F;
    return c == 0 ? 64 : c;
}

void TCondFmtPattern::SetForeColor(int color) {
    UsedFore = color != 0 && color != 64;
    const uint16_t v = uint16_t(UsedFore ? color & 0x7F : 0);
    PutU16(Block.data() + 2, uint16_t((GetU16(Block.data() + 2) & ~0x3F80) | (v << 7)));
}

// ---- a condition

TCondFmtData::TCondFmtData() {
    Header[0] = 1;
    Header[1] = 3;
    PutU32(Header.data() + 6, NewFlags);
}

uint32_t TCondFmtData::Flags() const {
    return GetU32(Header.data() + 6);
}

IFormulaServices& TCondFmtData::Formulas() const {
    if (!Owner || !Owner->Context) throw XLSError("No formula services");
    return Owner->Context->Services();
}

int TCondFmtData::Sheet() const {
    return Owner && Owner->Context ? Owner->Context->Sheet() : -1;
}

// Relative references are offsets from the top-left cell of the areas.
void TCondFmtData::BaseCell(int& row, int& col) const {
    row = col = 0;
    if (!Owner || Owner->Areas.Count() == 0) return;
    const TAreaBounds b = Owner->Areas.GetBounds();
    row = int(b.FirstRow);
    col = int(b.FirstCol);
}

std::u16string TCondFmtData::GetFormula1() const {
    int row = 0, col = 0;
    BaseCell(row, col);
    return Formulas().RangeFormulaText(Sheet(), Formula1Tokens, row, col);
}

void TCondFmtData::SetFormula1(std::u16string_view text) {
    int row = 0, col = 0;
    BaseCell(row, col);
    Formula1Tokens = text.empty() ? std::vector<uint8_t>{}
                                  : Formulas().RangeFormulaTokens(Sheet(), text, 0, MaxFormula, row, col);
}

std::u16string TCondFmtData::GetFormula2() const {
    int row = 0, col = 0;
    BaseCell(row, col);
    return Formulas().RangeFormulaText(Sheet(), Formula2Tokens, row, col);
}

void TCondFmtData::SetFormula2(std::u16string_view text) {
    int row = 0, col = 0;
    BaseCell(row, col);
    Formula2Tokens = text.empty() ? std::vector<uint8_t>{}
                                  : Formulas().RangeFormulaTokens(Sheet(), text, 0, MaxFormula, row, col);
}

bool TCondFmtData::Used() const {
    return FmtFont.Used || FmtBorder.Used() || FmtPattern.Used() || !NumberFormat.empty() ||
           !Alignment.empty() || !Protection.empty();
}

void TCondFmtData::Read(std::span<const uint8_t> body) {
    FromFile = true;
    TByteReader r(body);
    auto header = r.Bytes(12, "condition");
    std::copy(header.begin(), header.end(), Header.begin());
    const size_t size1 = GetU16(Header.data() + 2), size2 = GetU16(Header.data() + 4);
    const uint32_t flags = Flags();
    // The blocks follow in this order, each when its flag is set.
    if (flags & condfmt::NumberBlock) {
        // A format of the user's (flag in the word after the flags) carries
        // its own size; a built-in one is two bytes.
        size_t size = 2;
        if (GetU16(Header.data() + 10) & 0x01) {
            r.Need(2, "number format");
            size = std::max<size_t>(GetU16(body.data() + r.Position()), 2);
        }
        auto b = r.Bytes(size, "number format");
        NumberFormat.assign(b.begin(), b.end());
    }
    FmtFont.Used = flags & condfmt::FontBlock;
    if (FmtFont.Used) {
        auto b = r.Bytes(FmtFont.Block.size(), "font block");
        std::copy(b.begin(), b.end(), FmtFont.Block.begin());
    }
    if (flags & condfmt::AlignmentBlock) {
        auto b = r.Bytes(8, "alignment block");
        Alignment.assign(b.begin(), b.end());
    }
    FmtBorder.UsedSides = {};
    if (flags & condfmt::BorderBlock) {
        auto b = r.Bytes(FmtBorder.Block.size(), "border block");
        std::copy(b.begin(), b.end(), FmtBorder.Block.begin());
        for (int side = 0; side < 4; ++side) FmtBorder.UsedSides[size_t(side)] = !(flags & SideFlags[side]);
    }
    FmtPattern.UsedPattern = FmtPattern.UsedBack = FmtPattern.UsedFore = false;
    if (flags & condfmt::PatternBlock) {
        auto b = r.Bytes(FmtPattern.Block.size(), "pattern block");
        std::copy(b.begin(), b.end(), FmtPattern.Block.begin());
        FmtPattern.UsedPattern = !(flags & PatternFlag);
        FmtPattern.UsedBack = !(flags & BackFlag);
        FmtPattern.UsedFore = !(flags & ForeFlag);
    }
    if (flags & condfmt::ProtectionBlock) {
        auto b = r.Bytes(2, "protection block");
        Protection.assign(b.begin(), b.end());
    }
    auto f1 = r.Bytes(size1, "formula 1");
    Formula1Tokens.assign(f1.begin(), f1.end());
    auto f2 = r.Bytes(size2, "formula 2");
    Formula2Tokens.assign(f2.begin(), f2.end());
}

std::vector<uint8_t> TCondFmtData::Body() const {
    std::array<uint8_t, 12> header = Header;
    uint32_t flags = Flags();
    auto setBit = [&](uint32_t bit, bool on) { flags = on ? flags | bit : flags & ~bit; };
    setBit(condfmt::NumberBlock, !NumberFormat.empty());
    setBit(condfmt::FontBlock, FmtFont.Used);
    setBit(condfmt::AlignmentBlock, !Alignment.empty());
    setBit(condfmt::BorderBlock, FmtBorder.Used());
    setBit(condfmt::PatternBlock, FmtPattern.Used());
    setBit(condfmt::ProtectionBlock, !Protection.empty());
    for (int side = 0; side < 4; ++side)
        if (FmtBorder.UsedSides[size_t(side)]) flags &= ~SideFlags[side];
    if (FmtPattern.UsedPattern) flags &= ~PatternFlag;
    if (FmtPattern.UsedBack) flags &= ~BackFlag;
    if (FmtPattern.UsedFore) flags &= ~ForeFlag;
    PutU32(header.data() + 6, flags);
    PutU16(header.data() + 2, uint16_t(Formula1Tokens.size()));
    PutU16(header.data() + 4, uint16_t(Formula2Tokens.size()));
    std::vector<uint8_t> body;
    TByteWriter w(body);
    w.Bytes(header.data(), header.size());
    w.Bytes(NumberFormat.data(), NumberFormat.size());
    if (FmtFont.Used) w.Bytes(FmtFont.Block.data(), FmtFont.Block.size());
    w.Bytes(Alignment.data(), Alignment.size());
    if (FmtBorder.Used()) w.Bytes(FmtBorder.Block.data(), FmtBorder.Block.size());
    if (FmtPattern.Used()) w.Bytes(FmtPattern.Block.data(), FmtPattern.Block.size());
    w.Bytes(Protection.data(), Protection.size());
    w.Bytes(Formula1Tokens.data(), Formula1Tokens.size());
    w.Bytes(Formula2Tokens.data(), Formula2Tokens.size());
    return body;
}

// ---- a format and the collection

void TConditionalFormat::Assign(const TCollectionItemMoveCopy& source) {
    TAreaBoundItem::Assign(source);
    if (auto* s = dynamic_cast<const TConditionalFormat*>(&source)) {
        Condition1.Assign(s->Condition1);
        Condition2.Assign(s->Condition2);
        Condition3.Assign(s->Condition3);
    }
}

TConditionalFormat& TConditionalFormats::Add() {
    return static_cast<TConditionalFormat&>(Insert(NewItem()));
}

std::unique_ptr<TCollectionItemMoveCopy> TConditionalFormats::NewItem() const {
    auto item = std::make_unique<TConditionalFormat>();
    item->Context = &Context;
    return item;
}

void TConditionalFormats::Assign(const TConditionalFormats& source) {
    Clear();
    for (int i = 0; i < source.Count(); ++i) Add().Assign(source.Items(i));
}

namespace {

// A condition in a few words, for a warning that names it.
std::u16string Described(const TCondFmtData& c) {
    static const char16_t* const operators[] = {u"",   u"between ", u"not between ", u"= ", u"<> ",
                                                u"> ", u"< ",       u">= ",          u"<= "};
    std::u16string first, second;
    try {
        first = c.GetFormula1();
        second = c.GetFormula2();
    } catch (const std::exception&) {
        // Tokens the formula handler cannot turn into text: the kind says enough.
    }
    if (!c.GetCompareCell()) return u"formula " + first;
    std::u16string text = u"cell value " + std::u16string(operators[size_t(c.GetCompOperator())]) + first;
    if (!second.empty()) text += u" and " + second;
    return text;
}

} // namespace

TConditionalFormats::TCondFmtRead
TConditionalFormats::ReadCondFmt(std::span<const uint8_t> body,
                                 const std::function<bool(std::vector<uint8_t>&)>& nextCF) {
    TByteReader r(body);
    TCondFmtRead result;
    result.Count = r.U16("condition count");
    r.Skip(10, "bounds");
    const uint16_t areas = r.U16("range count");
    if (size_t(areas) * 8 > r.Remaining()) throw XLSError("Record too short: ranges beyond the end");
    if (result.Count == 0) return result;
    TConditionalFormat& format = Add();
    for (uint16_t i = 0; i < areas; ++i) format.Areas.AddRef8(r.Bytes(8, "range"));
    std::vector<uint8_t> cf;
    int read = 0;
    while (read < result.Count && nextCF(cf)) {
        if (read < 3) {
            format.Condition(read++).Read(cf);
            continue;
        }
        // The model holds three; one past them is read only to be named.
        TCondFmtData beyond;
        beyond.Owner = &format;
        beyond.Read(cf);
        result.Beyond.push_back(Described(beyond));
        ++read;
    }
    result.Missing = result.Count - read;
    if (read == 0) Delete(Count() - 1);
    return result;
}

void TConditionalFormats::WriteCondFmts(TXLSStream& stream) const {
    for (int i = 0; i < Count(); ++i) {
        const TConditionalFormat& format = Items(i);
        std::vector<const TCondFmtData*> used;
        for (int c = 0; c < 3; ++c)
            if (format.Condition(c).Written()) used.push_back(&format.Condition(c));
        const auto areas = BIFF8Areas(format.Areas);
        if (used.empty() || areas.empty()) continue;
        if (14 + 8 * areas.size() > MaxBody) throw XLSError("Too many areas in a conditional format");
        std::array<uint16_t, 4> bounds = areas.front();
        for (const auto& a : areas) {
            bounds[0] = std::min(bounds[0], a[0]);
            bounds[1] = std::max(bounds[1], a[1]);
            bounds[2] = std::min(bounds[2], a[2]);
            bounds[3] = std::max(bounds[3], a[3]);
        }
        std::vector<uint8_t> body;
        TByteWriter w(body);
        w.U16(uint16_t(used.size()));
        w.U16(1);
        for (uint16_t v : bounds) w.U16(v);
        w.U16(uint16_t(areas.size()));
        for (const auto& a : areas)
            for (uint16_t v : a) w.U16(v);
        stream.WriteHeader(condfmt::CONDFMT, uint16_t(body.size()));
        stream.WriteRecordData(body.data(), body.size());
        for (const TCondFmtData* c : used) {
            const std::vector<uint8_t> cf = c->Body();
            if (cf.size() > MaxBody) throw XLSError("Conditional format too long");
            stream.WriteHeader(condfmt::CF, uint16_t(cf.size()));
            stream.WriteRecordData(cf.data(), cf.size());
        }
    }
}

} // namespace xls
