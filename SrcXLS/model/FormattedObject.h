// The base of everything that carries a cell format (cells, rows, columns).
// A setter never edits the shared pool entry: it changes a working copy and
// interns it, reusing an equal entry or adding one, then releases the old.
#pragma once

#include "SrcXLS/model/CellFormats.h"

#include <functional>
#include <string>
#include <string_view>

namespace xls {

class TFormattedObject {
public:
    // index past the pool's end gives the default cell format. The entry is
    // not counted until SetFormatIndex, AcquireFormat or a setter, and only a
    // counted use is ever released.
    TFormattedObject(TCellFormats* pool, int index);
    virtual ~TFormattedObject() = default;

    // The pool of the entry, which every entry an object points to is in.
    TCellFormats* Pool() const { return current->Pool(); }
    TCellFormat* Format() const { return current; }
    int GetFormatIndex() const { return current->PoolIndex; }
    int GetFontIndex() const { return current->GetFontIndex(); }
    // Points to entry i and counts it when it is not permanent.
    void SetFormatIndex(int i);
    // Interns a working format (never changed by the call).
    void SetFormat(const TCellFormat& working);
    // Counts the use of the current entry.
    void AcquireFormat();
    // Gives back the use of the current entry (when the owner goes).
    void ReleaseFormat() noexcept;
    // The same for an owner in its destructor: the entry is not looked at again.
    void DropFormat() noexcept {
        if (counted) current->Pool()->ReleaseUse(current);
    }
    bool IsFormatted() const;

    int GetFillBackColor() const { return current->GetFillBackColor(); }
    int GetFillForeColor() const { return current->GetFillForeColor(); }
    int GetFillPattern() const { return current->GetFillPattern(); }
    int GetBorderBottomColor() const { return current->GetBorderBottomColor(); }
    int GetBorderBottomStyle() const { return current->GetBorderBottomStyle(); }
    int GetBorderDiagColor() const { return current->GetBorderDiagColor(); }
    int GetBorderDiagLines() const { return current->GetBorderDiagLines(); }
    int GetBorderDiagStyle() const { return current->GetBorderDiagStyle(); }
    int GetBorderLeftColor() const { return current->GetBorderLeftColor(); }
    int GetBorderLeftStyle() const { return current->GetBorderLeftStyle(); }
    int GetBorderRightColor() const { return current->GetBorderRightColor(); }
    int GetBorderRightStyle() const { return current->GetBorderRightStyle(); }
    int GetBorderTopColor() const { return current->GetBorderTopColor(); }
    int GetBorderTopStyle() const { return current->GetBorderTopStyle(); }
    int GetWrapShrink() const { return current->GetWrapShrink(); }
    int GetIndent() const { return current->GetIndent(); }
    std::u16string GetNumberFormat() const { return current->GetNumberFormat(); }
    int GetProtection() const { return current->GetProtection(); }
    int GetRotation() const { return current->GetRotation(); }
    int GetHorizAlignment() const { return current->GetHorizAlignment(); }
    int GetVertAlignment() const { return current->GetVertAlignment(); }

    void SetFillBackColor(int v);
    void SetFillForeColor(int v);
    void SetFillPattern(int v);
    void SetBorderBottomColor(int v);
    void SetBorderBottomStyle(int v);
    void SetBorderDiagColor(int v);
    void SetBorderDiagLines(int v);
    void SetBorderDiagStyle(int v);
    void SetBorderLeftColor(int v);
    void SetBorderLeftStyle(int v);
    void SetBorderRightColor(int v);
    void SetBorderRightStyle(int v);
    void SetBorderTopColor(int v);
    void SetBorderTopStyle(int v);
    void SetWrapShrink(int v);
    void SetIndent(int v);
    void SetNumberFormat(std::u16string_view text);
    void SetProtection(int v);
    void SetRotation(int v);
    void SetHorizAlignment(int v);
    void SetVertAlignment(int v);

    int GetFontCharset() const { return Font().Charset; }
    uint32_t GetFontColorRGB() const { return Font().GetColorRGB(); }
    int GetFontFamily() const { return Font().Family; }
    std::u16string GetFontName() const { return Font().Name; }
    int GetFontColor() const { return Font().ColorIndex; }
    uint32_t GetFontSize20() const { return Font().Height; }
    int GetFontSize() const { return int(Font().Height / 20); }
    int GetFontSubSuperscript() const { return Font().SubSuperscript; }
    int GetFontUnderline() const { return Font().Underline; }
    int GetFontStyle() const { return Font().Style; }

    void SetFontCharset(int v);
    void SetFontColorRGB(uint32_t rgb);
    void SetFontFamily(int v);
    void SetFontName(std::u16string_view name);
    void SetFontColor(int v);
    void SetFontSize20(uint32_t twips);
    void SetFontSubSuperscript(int v);
    void SetFontUnderline(int v);
    void SetFontStyle(int styleBits);

protected:
    // Runs after every setter; changed tells whether the entry changed.
    virtual void AfterSetter(bool /*changed*/) {}

private:
    const TXFont& Font() const;
    bool ChangeFormat(int (TCellFormat::*get)() const, void (TCellFormat::*set)(int), int value);
    template <class F> bool ChangeFont(F change);
    void InternCellFormat(const TCellFormat& working);
    void InternFont(const TXFont& font);

    TCellFormat* current;
    bool counted = false;

protected:
    // Free for the derived classes: a byte that would otherwise be padding.
    uint8_t spare = 0;
};

// A formatted object that tells its list when its entry changes (rows, columns).
class TFormattedObjectNotify : public TFormattedObject {
public:
    using TOnChange = std::function<void(TCellFormat* format, int owner)>;
    using TFormattedObject::TFormattedObject;
    TOnChange OnChange;
    virtual int OwnerNumber() const = 0;

protected:
    virtual void AfterChange() {}
    void AfterSetter(bool changed) override {
        if (changed && OnChange) OnChange(Format(), OwnerNumber());
        AfterChange();
    }
};

} // namespace xls
