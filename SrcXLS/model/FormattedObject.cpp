#include "SrcXLS/model/FormattedObject.h"

namespace xls {

namespace {
TCellFormat* EntryOrDefault(TCellFormats* pool, int index) {
    if (TCellFormat* f = pool->GetItem(index)) return f;
    if (TCellFormat* f = pool->GetItem(DefaultCellFormat)) return f;
    if (pool->Count() == 0) throw XLSError("Cell format pool is empty");
    return pool->GetItem(0);
}
} // namespace

TFormattedObject::TFormattedObject(TCellFormats* pool, int index) : current(EntryOrDefault(pool, index)) {}

void TFormattedObject::SetFormatIndex(int i) {
    TCellFormats* pool = Pool();
    // The target is taken before the release, which may renumber entries.
    TCellFormat* target = EntryOrDefault(pool, i & 0xFFFF);
    if (target->PoolIndex >= pool->PermanentCount()) pool->AddUse(target);
    TCellFormat* old = current;
    current = target;
    if (counted) pool->ReleaseUse(old);
    counted = true;
}

void TFormattedObject::AcquireFormat() {
    TCellFormats* pool = Pool();
    if (counted) return;
    pool->AddUse(current);
    counted = true;
}

void TFormattedObject::SetFormat(const TCellFormat& working) {
    InternCellFormat(working);
    AfterSetter(true);
}

void TFormattedObject::ReleaseFormat() noexcept {
    TCellFormats* pool = Pool();
    TCellFormat* old = current;
    current = EntryOrDefault(pool, DefaultCellFormat);
    if (counted) pool->ReleaseUse(old);
    counted = false;
}

bool TFormattedObject::IsFormatted() const {
    return !(current->PoolIndex == DefaultCellFormat && current->GetFontIndex() == 0 &&
             current->GetNumberFormat().empty());
}

void TFormattedObject::InternCellFormat(const TCellFormat& working) {
    TCellFormats* pool = Pool();
    // The new entry is found or added before the old one is released, so a
    // deletion caused by the release cannot move it away.
    int found = pool->IndexOfEqual(working);
    TCellFormat* next;
    if (found >= 0) {
        next = pool->GetItem(found);
        pool->AddUse(next);
    } else {
        next = pool->AddCopy(working);
        next->UsageCount = 1;
    }
    TCellFormat* old = current;
    current = next;
    if (counted) pool->ReleaseUse(old);
    counted = true;
}

bool TFormattedObject::ChangeFormat(int (TCellFormat::*get)() const, void (TCellFormat::*set)(int),
                                    int value) {
    if (uint8_t((current->*get)()) == uint8_t(value)) {
        AfterSetter(false);
        return false;
    }
    TCellFormat working(Pool(), current->PoolIndex);
    (working.*set)(value);
    InternCellFormat(working);
    AfterSetter(true);
    return true;
}

void TFormattedObject::SetFillBackColor(int v) {
    ChangeFormat(&TCellFormat::GetFillBackColor, &TCellFormat::SetFillBackColor, v);
}
void TFormattedObject::SetFillForeColor(int v) {
    ChangeFormat(&TCellFormat::GetFillForeColor, &TCellFormat::SetFillForeColor, v);
}
void TFormattedObject::SetFillPattern(int v) {
    ChangeFormat(&TCellFormat::GetFillPattern, &TCellFormat::SetFillPattern, v);
}
void TFormattedObject::SetBorderBottomColor(int v) {
    ChangeFormat(&TCellFormat::GetBorderBottomColor, &TCellFormat::SetBorderBottomColor, v);
}
void TFormattedObject::SetBorderBottomStyle(int v) {
    ChangeFormat(&TCellFormat::GetBorderBottomStyle, &TCellFormat::SetBorderBottomStyle, v);
}
void TFormattedObject::SetBorderDiagColor(int v) {
    ChangeFormat(&TCellFormat::GetBorderDiagColor, &TCellFormat::SetBorderDiagColor, v);
}
void TFormattedObject::SetBorderDiagLines(int v) {
    ChangeFormat(&TCellFormat::GetBorderDiagLines, &TCellFormat::SetBorderDiagLines, v);
}
void TFormattedObject::SetBorderDiagStyle(int v) {
    ChangeFormat(&TCellFormat::GetBorderDiagStyle, &TCellFormat::SetBorderDiagStyle, v);
}
void TFormattedObject::SetBorderLeftColor(int v) {
    ChangeFormat(&TCellFormat::GetBorderLeftColor, &TCellFormat::SetBorderLeftColor, v);
}
void TFormattedObject::SetBorderLeftStyle(int v) {
    ChangeFormat(&TCellFormat::GetBorderLeftStyle, &TCellFormat::SetBorderLeftStyle, v);
}
void TFormattedObject::SetBorderRightColor(int v) {
    ChangeFormat(&TCellFormat::GetBorderRightColor, &TCellFormat::SetBorderRightColor, v);
}
void TFormattedObject::SetBorderRightStyle(int v) {
    ChangeFormat(&TCellFormat::GetBorderRightStyle, &TCellFormat::SetBorderRightStyle, v);
}
void TFormattedObject::SetBorderTopColor(int v) {
    ChangeFormat(&TCellFormat::GetBorderTopColor, &TCellFormat::SetBorderTopColor, v);
}
void TFormattedObject::SetBorderTopStyle(int v) {
    ChangeFormat(&TCellFormat::GetBorderTopStyle, &TCellFormat::SetBorderTopStyle, v);
}
void TFormattedObject::SetWrapShrink(int v) {
    ChangeFormat(&TCellFormat::GetWrapShrink, &TCellFormat::SetWrapShrink, v);
}
void TFormattedObject::SetIndent(int v) {
    ChangeFormat(&TCellFormat::GetIndent, &TCellFormat::SetIndent, v);
}
void TFormattedObject::SetProtection(int v) {
    ChangeFormat(&TCellFormat::GetProtection, &TCellFormat::SetProtection, v);
}
void TFormattedObject::SetRotation(int v) {
    ChangeFormat(&TCellFormat::GetRotation, &TCellFormat::SetRotation, v);
}
void TFormattedObject::SetHorizAlignment(int v) {
    ChangeFormat(&TCellFormat::GetHorizAlignment, &TCellFormat::SetHorizAlignment, v);
}
void TFormattedObject::SetVertAlignment(int v) {
    ChangeFormat(&TCellFormat::GetVertAlignment, &TCellFormat::SetVertAlignment, v);
}

void TFormattedObject::SetNumberFormat(std::u16string_view text) {
    if (current->GetNumberFormat() == text) {
        AfterSetter(false);
        return;
    }
    TCellFormat working(Pool(), current->PoolIndex);
    working.SetNumberFormat(text);
    InternCellFormat(working);
    AfterSetter(true);
}

const TXFont& TFormattedObject::Font() const {
    static const TXFont defaults;
    const TXFont* f = current->GetFont();
    return f ? *f : defaults;
}

template <class F> bool TFormattedObject::ChangeFont(F change) {
    const TXFont& font = Font();
    TXFont working;
    working.Assign(font);
    change(working);
    if (!Pool()->Fonts() || (working.Attributes() == font.Attributes() && working.Name == font.Name)) {
        AfterSetter(false);
        return false;
    }
    InternFont(working);
    AfterSetter(true);
    return true;
}

void TFormattedObject::InternFont(const TXFont& working) {
    TCellFormats* pool = Pool();
    TXFonts* fonts = pool->Fonts();
    TXFont* font = fonts->FindOrAdd(working);
    TCellFormat format(pool, current->PoolIndex);
    format.SetFontIndex(font->PoolIndex);
    InternCellFormat(format);
    // A font added here that no entry took is not kept.
    if (font->UsageCount < 1 && font->PoolIndex >= fonts->PermanentCount()) {
        int index = font->PoolIndex;
        fonts->AddUse(index);
        fonts->ReleaseUse(index);
    }
}

void TFormattedObject::SetFontCharset(int v) {
    ChangeFont([&](TXFont& f) { f.Charset = uint8_t(v); });
}
void TFormattedObject::SetFontColorRGB(uint32_t rgb) {
    ChangeFont([&](TXFont& f) { f.SetColorRGB(rgb); });
}
void TFormattedObject::SetFontFamily(int v) {
    ChangeFont([&](TXFont& f) { f.Family = uint8_t(v); });
}
void TFormattedObject::SetFontName(std::u16string_view name) {
    ChangeFont([&](TXFont& f) { f.Name = name; });
}
void TFormattedObject::SetFontColor(int v) {
    ChangeFont([&](TXFont& f) { f.ColorIndex = uint8_t(v); });
}
void TFormattedObject::SetFontSize20(uint32_t twips) {
    ChangeFont([&](TXFont& f) { f.SetSize20(twips); });
}
void TFormattedObject::SetFontSubSuperscript(int v) {
    ChangeFont([&](TXFont& f) { f.SubSuperscript = uint8_t(v); });
}
void TFormattedObject::SetFontUnderline(int v) {
    ChangeFont([&](TXFont& f) { f.Underline = uint8_t(v); });
}
void TFormattedObject::SetFontStyle(int styleBits) {
    ChangeFont([&](TXFont& f) { f.Style = uint8_t(styleBits & 7); });
}

} // namespace xls
