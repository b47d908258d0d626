#include "SrcXLS/model/CellFormatsEx12.h"

#include "SrcXLS/XLSLibState.h"

#include <algorithm>

namespace xls {

int ExtColorIndex(const TExtColor& color) {
    switch (color.Kind) {
    case eckIndexed:
        return color.Index;
    case eckRGB:
    case eckTheme:
        return color.RGB == AutomaticColorMarker ? 64 : NearestPaletteIndexOfRGB(color.RGB & 0xFFFFFF);
    default:
        return 64;
    }
}

namespace {
TExtColor IndexedColor(int index) {
    TExtColor c;
    c.Kind = eckIndexed;
    c.Index = uint8_t(std::clamp(index, 0, 255));
    c.RGB = ResolveExtColor(c);
    return c;
}
TExtColor RGBColor(uint32_t rgb) {
    TExtColor c;
    c.Kind = eckRGB;
    c.Value = rgb & 0xFFFFFF;
    c.RGB = rgb & 0xFFFFFF;
    return c;
}
TExtColor NoColor() {
    TExtColor c;
    c.Kind = eckNotSet;
    return c;
}
} // namespace

bool TGradientFill::operator==(const TGradientFill& o) const {
    if (Path != o.Path || Degree != o.Degree || edges != o.edges || edgeSet != o.edgeSet ||
        Stops.size() != o.Stops.size())
        return false;
    for (size_t i = 0; i < Stops.size(); ++i)
        if (Stops[i].Position != o.Stops[i].Position || !(Stops[i].Color == o.Stops[i].Color)) return false;
    return true;
}

TFill::TFill() : FgColor(NoColor()), BgColor(NoColor()) {}

std::unique_ptr<TFill> TFill::CreatePattern(int pattern, int foreIndex, int backIndex) {
    auto f = std::make_unique<TFill>();
    f->PatternType = uint8_t(pattern);
    f->FgColor = IndexedColor(foreIndex);
    f->BgColor = IndexedColor(backIndex);
    return f;
}

void TFill::SetGradient(bool on) {
    if (on && !Gradient) Gradient = std::make_unique<TGradientFill>();
    if (!on) Gradient.reset();
}

bool TFill::SameAs(const TFill& o) const {
    if (PatternType != o.PatternType || !(FgColor == o.FgColor) || !(BgColor == o.BgColor)) return false;
    if (IsGradient() != o.IsGradient()) return false;
    return !Gradient || *Gradient == *o.Gradient;
}

TBorder::TBorder() {
    for (auto& s : Sides) s.Color = NoColor();
}

TFill* TFills::Add() {
    return Add(std::make_unique<TFill>());
}

TFill* TFills::Add(std::unique_ptr<TFill> fill) {
    fill->Index = Count();
    items.push_back(std::move(fill));
    return items.back().get();
}

void TFills::AddDefaults() {
    Add()->PatternType = 0;
    Add()->PatternType = 17;
}

bool TFills::StartsWithDefaults() const {
    return Count() >= 2 && !items[0]->IsGradient() && items[0]->PatternType == 0 && !items[1]->IsGradient() &&
           items[1]->PatternType == 17;
}

void TFills::Renumber() {
    for (int i = 0; i < Count(); ++i) items[size_t(i)]->Index = i;
}

TBorder* TBorders::Add() {
    items.push_back(std::make_unique<TBorder>());
    items.back()->Index = Count() - 1;
    return items.back().get();
}

void TBorders::AddDefaults() {
    Add();
}

bool TBorders::StartsWithDefaults() const {
    if (Count() < 1) return false;
    for (const auto& s : items[0]->Sides)
        if (s.Style != 0) return false;
    return items[0]->Flags == 0;
}

void TBorders::Renumber() {
    for (int i = 0; i < Count(); ++i) items[size_t(i)]->Index = i;
}

// ---------------------------------------------------------------------------
// Cell format

TCellFormatEx12::~TCellFormatEx12() {
    if (fill) --fill->UsageCount;
    if (border) --border->UsageCount;
}

void TCellFormatEx12::SetFill(TFill* f) {
    if (f) ++f->UsageCount;
    if (fill) --fill->UsageCount;
    fill = f;
}

void TCellFormatEx12::SetBorder(TBorder* b) {
    if (b) ++b->UsageCount;
    if (border) --border->UsageCount;
    border = b;
}

void TCellFormatEx12::SetHeldFont(TXFont* f) {
    font = f;
    if (f && f->PoolIndex >= 0) SetFontIndex(f->PoolIndex);
}

void TCellFormatEx12::MirrorToBody() {
    if (fill && !fill->IsGradient()) {
        // A solid fill shows its foreground colour.
        TCellFormat::SetFillPattern(fill->PatternType);
        TCellFormat::SetFillForeColor(ExtColorIndex(fill->FgColor));
        TCellFormat::SetFillBackColor(fill->BgColor.Kind == eckNotSet ? 65 : ExtColorIndex(fill->BgColor));
        // Setting a colour makes the fill solid: the pattern read stands.
        if (TCellFormat::GetFillPattern() != fill->PatternType)
            TCellFormat::SetFillPattern(fill->PatternType);
    } else if (fill && !fill->Gradient->Stops.empty()) {
        TCellFormat::SetFillPattern(1);
        TCellFormat::SetFillForeColor(ExtColorIndex(fill->Gradient->Stops.front().Color));
    }
    if (border) {
        using S = TBorder;
        TCellFormat::SetBorderLeftStyle(border->Sides[S::bsLeft].Style);
        TCellFormat::SetBorderRightStyle(border->Sides[S::bsRight].Style);
        TCellFormat::SetBorderTopStyle(border->Sides[S::bsTop].Style);
        TCellFormat::SetBorderBottomStyle(border->Sides[S::bsBottom].Style);
        TCellFormat::SetBorderLeftColor(ExtColorIndex(border->Sides[S::bsLeft].Color));
        TCellFormat::SetBorderRightColor(ExtColorIndex(border->Sides[S::bsRight].Color));
        TCellFormat::SetBorderTopColor(ExtColorIndex(border->Sides[S::bsTop].Color));
        TCellFormat::SetBorderBottomColor(ExtColorIndex(border->Sides[S::bsBottom].Color));
        const TBorderLine& d = border->Sides[S::bsDiagonal];
        if (d.Style != 0 && (border->Flags & (S::bfDiagonalDown | S::bfDiagonalUp))) {
            TCellFormat::SetBorderDiagStyle(d.Style);
            TCellFormat::SetBorderDiagColor(ExtColorIndex(d.Color));
            TCellFormat::SetBorderDiagLines(((border->Flags & S::bfDiagonalDown) ? 1 : 0) |
                                            ((border->Flags & S::bfDiagonalUp) ? 2 : 0));
        }
    }
}

int TCellFormatEx12::SideIndex(int side) const {
    const TBorderLine* s = Side(side);
    return s ? ExtColorIndex(s->Color) : 64;
}

int TCellFormatEx12::SideStyle(int side) const {
    const TBorderLine* s = Side(side);
    return s ? s->Style : 0;
}

uint32_t TCellFormatEx12::SideRGB(int side) const {
    const TBorderLine* s = Side(side);
    return s ? s->Color.RGB : 0;
}

void TCellFormatEx12::SetSideIndex(int side, int index) {
    if (TBorderLine* s = Side(side)) s->Color = IndexedColor(index);
}

void TCellFormatEx12::SetSideRGB(int side, uint32_t rgb) {
    if (TBorderLine* s = Side(side)) s->Color = RGBColor(rgb);
}

int TCellFormatEx12::GetFillForeColor() const {
    return fill ? ExtColorIndex(fill->FgColor) : 64;
}

int TCellFormatEx12::GetFillBackColor() const {
    return fill ? ExtColorIndex(fill->BgColor) : 65;
}

void TCellFormatEx12::SetCellColorRGB(uint32_t rgb) {
    if (fill) fill->FgColor = RGBColor(rgb);
}

void TCellFormatEx12::SetFillBackColorRGB(uint32_t rgb) {
    if (fill) fill->BgColor = RGBColor(rgb);
}

void TCellFormatEx12::Assign(const TCellFormat& other) {
    TCellFormat::Assign(other);
    if (auto* ex = dynamic_cast<const TCellFormatEx12*>(&other)) {
        SetFill(ex->fill);
        SetBorder(ex->border);
        font = ex->font;
        StyleXfId = ex->StyleXfId;
        ApplyMask = ex->ApplyMask;
        QuotePrefix = ex->QuotePrefix;
        PivotButton = ex->PivotButton;
        JustifyLastLine = ex->JustifyLastLine;
        RelativeIndent = ex->RelativeIndent;
        Indent = ex->Indent;
        HasAlignment = ex->HasAlignment;
        HasProtection = ex->HasProtection;
    }
}

} // namespace xls
