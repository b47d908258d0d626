// The columns of a sheet that have their own width, visibility, outline
// level or format, and their BIFF COLINFO records. A column with default
// settings has no object at all; the others are found by direct indexing.
#pragma once

#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/FormattedObject.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace xls {

namespace biff {
constexpr uint16_t COLINFO = 0x007D;
} // namespace biff

class TXLSColumn : public TFormattedObjectNotify {
public:
    // The column counts one use of its format while it lives.
    TXLSColumn(TCellFormats* pool, int formatIndex, uint16_t col);
    ~TXLSColumn() override;
    TXLSColumn(const TXLSColumn&) = delete;
    TXLSColumn& operator=(const TXLSColumn&) = delete;

    static constexpr int DefaultWidth = 2500;
    static constexpr int MaxOutlineLevel = 16;

    // Full 2007 range, so that a column beyond the BIFF limit never stands
    // for another column whose number has the same low bits.
    uint16_t Col;
    bool Hidden = false;
    bool Collapsed = false;
    bool CustomWidth = false;

    // 1/256 of a character's width; 0..65535, else "Invalid value".
    int GetWidth() const { return width; }
    void SetWidth(int v);
    int GetOutlineLevel() const { return outlineLevel; }
    // 0..16, else "Invalid value".
    void SetOutlineLevel(int level);

    // Same width, visibility, outline and format; the custom-width mark
    // does not count.
    bool Equal(const TXLSColumn& other) const;
    bool IsDefault() const;

    int OwnerNumber() const override { return Col; }

private:
    int width = DefaultWidth;
    uint8_t outlineLevel = 0;
};

class TXLSColumns {
public:
    using TOnChange = TFormattedObjectNotify::TOnChange;
    static constexpr int SlotCount = 16384;

    explicit TXLSColumns(TCellFormats* pool) : pool(pool) {}
    TXLSColumns(const TXLSColumns&) = delete;
    TXLSColumns& operator=(const TXLSColumns&) = delete;

    // Called with the new format and the column number whenever a column's
    // format entry changes; installed by the owner.
    TOnChange OnChange;

    // nullptr for a column with default settings or outside 0..16383.
    TXLSColumn* GetItem(int index) const;
    TXLSColumn* operator[](int index) const { return GetItem(index); }

    // Ranges must lie in 0..16383 with first <= last, else "Invalid columns".
    void ClearRange(int first, int last);
    void Clear() { ClearRange(0, SlotCount - 1); }
    // Columns that end up with default settings are freed.
    void SetWidths(int first, int last, int width);
    // Default columns for the empty slots of first .. first + count - 1.
    void AddColumns(int first, int count);

    // A read COLINFO body; only columns up to 255 exist in the record.
    void LoadColInfo(std::span<const uint8_t> body);
    // One COLINFO per run of equal columns among 0..255.
    void WriteColInfos(TXLSStream& stream) const;

private:
    static void CheckRange(int first, int last);
    TXLSColumn& Create(int col, int formatIndex);

    TCellFormats* pool;
    // Up to the last column that has settings: a sheet without any holds none.
    std::vector<std::unique_ptr<TXLSColumn>> slots;
};

} // namespace xls
