// The font pool: every font of a workbook once, shared by cell formats and
// rich-text runs, which refer to fonts by pool position.
#pragma once

#include "SrcXLS/XLSColors.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/HashTrie.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace xls {

class TCellFormats;

enum TXFontStyleBits : uint8_t { xfsBold = 1, xfsItalic = 2, xfsStrikeOut = 4 };

// A font as the platform describes it (point size, colour as 0x00BBGGRR).
struct TFontDesc {
    std::u16string Name = u"Arial";
    uint8_t Charset = 0;
    int Size = 10;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    uint32_t Color = 0;
};

// Palette index of a platform colour: fixed indexes for the basic colours.
int PlatformColorToIndex(uint32_t rgb);

class TXFont : public THashItem {
public:
    TXFont() = default;
    static std::unique_ptr<TXFont> CreateCopy(const TXFont& font);

    std::u16string Name = u"Arial";
    uint8_t Charset = 0;
    uint8_t Family = 2;
    uint8_t ColorIndex = 8;
    uint32_t Height = 200; // twips
    // The height a binary file holds: 1 to 409.55 points, the range its
    // readers take.
    uint16_t FileHeight() const { return uint16_t(std::clamp<uint32_t>(Height, 20, 8191)); }
    uint8_t Style = 0; // TXFontStyleBits
    uint8_t SubSuperscript = 0;
    uint8_t Underline = 0; // 0 none, 1 single, 2 double, 3/4 accounting

    int PoolIndex = -1;
    int UsageCount = 0;
    bool IsDefault = false; // never matched, never released

    // The ten attribute bytes hashed and compared as one block.
    std::array<uint8_t, 10> Attributes() const;

    uint32_t Hash() const override;
    bool Equal(const THashItem& other) const override;
    virtual void SetDefaults();
    virtual uint32_t GetColorRGB() const;
    virtual void SetColorRGB(uint32_t rgb);
    virtual void Assign(const TXFont& font);

    // FONT record body; returns the pool index. BIFF8 names are flagged
    // strings, older names 8-bit text of codePage.
    int LoadFromRecord(std::span<const uint8_t> body, TExcelVersion version = TExcelVersion::xvExcel97,
                       int codePage = DefaultCodePage);
    std::vector<uint8_t> SaveToRecord(TExcelVersion version, int codePage = DefaultCodePage) const;

    void AssignFromPlatformFont(const TFontDesc& font);
    void AssignToPlatformFont(TFontDesc& font) const;

    int GetSize() const { return int(Height / 20); }
    void SetSize(int points) {
        if (points > 0) Height = uint32_t(points) * 20;
    }
    void SetSize20(uint32_t twips) { Height = twips; }
};

// A font of the 2007 styles with its own colour record.
class TXFontEx12 : public TXFont {
public:
    TXFontEx12() { SetDefaults(); }
    TExtColor Color12;
    std::array<uint8_t, 5> Extra{};

    uint32_t Hash() const override;
    bool Equal(const THashItem& other) const override;
    void SetDefaults() override;
    uint32_t GetColorRGB() const override { return Color12.RGB; }
    void SetColorRGB(uint32_t rgb) override;
    void Assign(const TXFont& font) override;
};

class TXFonts {
public:
    TXFonts();
    ~TXFonts();
    TXFonts(const TXFonts&) = delete;
    TXFonts& operator=(const TXFonts&) = delete;

    int Count() const { return int(items.size()); }
    TXFont* GetItem(int i) const { return i >= 0 && i < Count() ? items[i].get() : nullptr; }
    int PermanentCount() const { return permanentCount; }

    void Clear();
    void AddDefaults();
    void MarkPermanent() { permanentCount = Count(); }
    TXFont* Add();
    TXFont* AddEx12();
    // A copy of a font read whole: the index holds it by its own attributes
    // at once, so a pool filled this way costs no rebuilding.
    TXFont* AddEx12(const TXFontEx12& font);
    // Removes font i; later fonts and the font indexes of the attached
    // format pools move down by one.
    void Delete(int i);

    // First pool font that is not default-flagged with equal attributes and
    // names equal ignoring case; -1 when none.
    int IndexOfEqual(const TXFont& font) const;
    TXFont* FindOrAdd(const TXFont& font);
    TXFont* FindOrAddPlatformFont(const TFontDesc& font);
    // Exact match through the hash index.
    TXFont* FindEqual(const TXFont& font) const;
    void RebuildHash();

    // Uses of a font by format entries and string runs; a released font
    // above the permanent ones that nobody uses any more is deleted.
    void AddUse(int index);
    void ReleaseUse(int index) noexcept;

    // Format pools whose font indexes follow deletions.
    void Attach(TCellFormats* formats);
    void Detach(TCellFormats* formats);

private:
    TXFont* Append(std::unique_ptr<TXFont> font);
    std::vector<std::unique_ptr<TXFont>> items;
    int permanentCount = 0;
    TObjectHashTrie trie;
    std::vector<TCellFormats*> attached;
};

} // namespace xls
