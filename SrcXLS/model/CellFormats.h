// The cell format pool: every cell, row and column points to one shared,
// usage-counted entry holding the 20-byte body of a BIFF8 XF record.
#pragma once

#include "SrcXLS/XLSArena.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/model/ExcelMask.h"
#include "SrcXLS/model/NumberFormats.h"
#include "SrcXLS/model/XFonts.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace xls {

class TCellFormats;
class TCellFormatEx12;
class TFills;
class TBorders;

using TXFBody = std::array<uint8_t, 20>;

// One side of a cell border for the 2007 writer.
struct TBorderSide {
    bool Set = false;
    uint8_t Color = 0;
    uint8_t Style = 0;
};

// The entry cells get by default.
constexpr int DefaultCellFormat = 15;

class TCellFormat {
public:
    // A new-format entry bound to pool (not in it).
    explicit TCellFormat(TCellFormats* pool = nullptr);
    // A working copy of pool entry i, bound to pool and not in it.
    TCellFormat(TCellFormats* pool, int copyOf);
    virtual ~TCellFormat();
    TCellFormat(const TCellFormat&) = delete;
    TCellFormat& operator=(const TCellFormat&) = delete;

    int UsageCount = 0;
    int PoolIndex = -1;
    TCellFormats* Pool() const { return pool; }
    bool InPool() const { return inPool; }
    const TXFBody& Body() const { return body; }

    int GetFontIndex() const { return Word(0); }
    void SetFontIndex(int i);
    virtual int GetNumberFormatIndex() const { return Word(2); }
    virtual void SetNumberFormatIndex(int i);
    virtual std::u16string GetNumberFormat() const;
    // The same text where it is stored; empty when there is none.
    std::u16string_view NumberFormatText() const;
    // Raises without a pool and for a text the mask refuses.
    virtual void SetNumberFormat(std::u16string_view text);
    virtual bool IsDateFormat() const;

    virtual int GetProtection() const { return Word(4) & 3; }
    virtual void SetProtection(int p);
    bool IsStyle() const { return Word(4) & 4; }
    int GetParent() const { return Word(4) >> 4; }

    virtual int GetHorizAlignment() const { return body[6] & 7; }
    virtual void SetHorizAlignment(int h);
    virtual int GetVertAlignment() const { return (body[6] >> 4) & 7; }
    virtual void SetVertAlignment(int v);
    virtual int GetWrapShrink() const { return ((body[6] >> 3) & 1) | (((body[8] >> 4) & 1) << 1); }
    virtual void SetWrapShrink(int flags);
    virtual int GetRotation() const;
    virtual void SetRotation(int r);
    virtual int GetIndent() const { return body[8] & 15; }
    virtual void SetIndent(int n);
    virtual bool GetMerge() const { return (body[8] >> 5) & 1; }
    virtual void SetMerge(bool b);
    uint8_t UsedAttributes() const { return body[9]; }

    virtual int GetBorderLeftStyle() const { return Word(10) & 15; }
    virtual int GetBorderRightStyle() const { return (Word(10) >> 4) & 15; }
    virtual int GetBorderTopStyle() const { return (Word(10) >> 8) & 15; }
    virtual int GetBorderBottomStyle() const { return (Word(10) >> 12) & 15; }
    virtual int GetBorderDiagStyle() const { return (DWord(14) >> 21) & 15; }
    virtual void SetBorderLeftStyle(int s);
    virtual void SetBorderRightStyle(int s);
    virtual void SetBorderTopStyle(int s);
    virtual void SetBorderBottomStyle(int s);
    virtual void SetBorderDiagStyle(int s);

    virtual int GetBorderLeftColor() const { return Word(12) & 127; }
    virtual int GetBorderRightColor() const { return (Word(12) >> 7) & 127; }
    virtual int GetBorderDiagLines() const { return Word(12) >> 14; }
    virtual int GetBorderTopColor() const { return DWord(14) & 127; }
    virtual int GetBorderBottomColor() const { return (DWord(14) >> 7) & 127; }
    virtual int GetBorderDiagColor() const { return (DWord(14) >> 14) & 127; }
    virtual void SetBorderLeftColor(int c);
    virtual void SetBorderRightColor(int c);
    virtual void SetBorderDiagLines(int l);
    virtual void SetBorderTopColor(int c);
    virtual void SetBorderBottomColor(int c);
    virtual void SetBorderDiagColor(int c);

    virtual int GetFillPattern() const { return DWord(14) >> 26; }
    virtual int GetFillForeColor() const { return Word(18) & 127; }
    virtual int GetFillBackColor() const;
    virtual void SetFillPattern(int p);
    virtual void SetFillForeColor(int c);
    virtual void SetFillBackColor(int c);

    // Run-time palette colours of the indexes.
    virtual uint32_t GetFillForeColorRGB() const;
    virtual uint32_t GetFillBackColorRGB() const;
    virtual uint32_t GetBorderLeftColorRGB() const;
    virtual uint32_t GetBorderRightColorRGB() const;
    virtual uint32_t GetBorderTopColorRGB() const;
    virtual uint32_t GetBorderBottomColorRGB() const;
    virtual uint32_t GetBorderDiagColorRGB() const;
    // The BIFF8 body keeps palette indexes only: these do nothing.
    virtual void SetBorderLeftColorRGB(uint32_t) {}
    virtual void SetBorderRightColorRGB(uint32_t) {}
    virtual void SetBorderTopColorRGB(uint32_t) {}
    virtual void SetBorderBottomColorRGB(uint32_t) {}
    virtual void SetBorderDiagColorRGB(uint32_t) {}
    virtual void SetFillBackColorRGB(uint32_t) {}
    virtual void SetCellColorRGB(uint32_t);

    virtual TXFont* GetFont() const;
    virtual bool HasFill() const { return GetFillPattern() != 0; }
    virtual bool HasBorder() const;
    virtual bool HasCustomFont() const { return GetFontIndex() > 5; }
    virtual bool Equal(const TCellFormat& other) const { return body == other.body; }
    // Copies the body (and so one more use of its number format).
    virtual void Assign(const TCellFormat& other);

    void LoadFromXF8(std::span<const uint8_t> body);
    void LoadFromXF5(std::span<const uint8_t> body);
    // An XF of BIFF2 (4 bytes), BIFF3 or BIFF4 (12 bytes); numberFormat is
    // the model's index of the format the record names by its place.
    void LoadFromOldXF(std::span<const uint8_t> body, TExcelVersion version, int numberFormat);
    TXFBody SaveToXF8() const { return body; }
    std::array<uint8_t, 16> SaveToXF5() const;
    std::array<uint8_t, 12> SaveToXF4() const;
    // side: 0 left, 1 right, 2 top, 3 bottom, 4-6 diagonal.
    TBorderSide GetBorderSide(int side) const;

protected:
    int Word(int off) const { return body[off] | (body[off + 1] << 8); }
    uint32_t DWord(int off) const { return uint32_t(Word(off)) | (uint32_t(Word(off + 2)) << 16); }

private:
    friend class TCellFormats;
    // Applies a change to the body and keeps the counted uses in step.
    void Replace(const TXFBody& next);
    template <class F> void Change(F f) {
        TXFBody next = body;
        f(next);
        Replace(next);
    }
    void SetUsedBit(TXFBody& b, int bit, bool on) const;
    void UpdateBorderUsed(TXFBody& b) const;
    void UpdatePatternUsed(TXFBody& b) const;

    TCellFormats* pool;
    bool inPool = false;
    TXFBody body;
};

class TCellFormats {
public:
    TCellFormats(TXFonts* fonts, bool withDefaults);
    ~TCellFormats();
    TCellFormats(const TCellFormats&) = delete;
    TCellFormats& operator=(const TCellFormats&) = delete;

    int Count() const { return int(items.size()); }
    TCellFormat* GetItem(int i) const { return i >= 0 && i < Count() ? items[i].get() : nullptr; }
    TCellFormat* operator[](int i) const { return items[i].get(); }
    int PermanentCount() const { return permanentCount; }
    bool WithDefaults() const { return withDefaults; }
    TXFonts* Fonts() const { return fonts; }
    TNumberFormats& NumberFormats() { return numberFormats; }
    // Where the cells on this pool live (NewCell), set by the workbook that
    // owns both; none: the heap.
    TArena* CellArena = nullptr;
    TExcelMask& Mask() { return mask; }

    void InitDefaults();
    void ResetDefaults();
    void AddDefaults();
    void MarkPermanent() { permanentCount = Count(); }
    void Clear();

    TCellFormat* Add();
    // A 2007 entry (fill, border and font of its own).
    TCellFormatEx12* AddEx12();
    // Appends an entry assigned from format.
    TCellFormat* AddCopy(const TCellFormat& format);
    // Removes entry i; later entries' pool indexes move down by one.
    void Delete(int i);
    // First entry with an equal body; -1 when none.
    int IndexOfEqual(const TCellFormat& format) const;

    // Uses by formatted objects; entries above the permanent ones that
    // nobody uses any more are deleted.
    void AddUse(TCellFormat* format);
    void ReleaseUse(TCellFormat* format) noexcept;

    // The 2007 fill and border lists.
    TFills& Fills() { return *fills; }
    TBorders& Borders() { return *borders; }
    // Renumbers the fills and borders and gives every 2007 entry the font
    // index of the font it holds.
    void ResetEx12Lists();

    // From the font pool.
    void FontDeleted(int fontIndex);
    void DetachFonts() { fonts = nullptr; }

private:
    friend class TCellFormat;
    static uint64_t BodyHash(const TXFBody& body);
    TCellFormat* Append(std::unique_ptr<TCellFormat> format);
    void Dirty() { indexDirty = true; }
    void RebuildIndex() const;
    void ReleaseFontsOfAll();

    TXFonts* fonts;
    bool withDefaults;
    TNumberFormats numberFormats;
    TExcelMask mask;
    // Before the entries, which hold uses of fills and borders until they go.
    std::unique_ptr<TFills> fills;
    std::unique_ptr<TBorders> borders;
    std::vector<std::unique_ptr<TCellFormat>> items;
    int permanentCount = 0;
    mutable std::unordered_multimap<uint64_t, TCellFormat*> index;
    mutable bool indexDirty = false;
};

} // namespace xls
