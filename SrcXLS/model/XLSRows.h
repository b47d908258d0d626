// The rows of a sheet that have their own height, visibility, outline level
// or format, and their BIFF ROW records. A row is a formatted object: a
// format change is reported to the list's owner, which passes it on to the
// cells of the row.
#pragma once

#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/model/FormattedObject.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace xls {

namespace biff {
constexpr uint16_t ROW = 0x0208;
} // namespace biff

class TXLSRow : public TFormattedObjectNotify {
public:
    // The row counts one use of its format while it lives.
    TXLSRow(TCellFormats* pool, int formatIndex, uint32_t row, int maxColumn);
    ~TXLSRow() override;
    TXLSRow(const TXLSRow&) = delete;
    TXLSRow& operator=(const TXLSRow&) = delete;

    // ROW option bits.
    static constexpr uint16_t LevelBits = 0x0007;
    static constexpr uint16_t CollapsedBit = 0x0010;
    static constexpr uint16_t HiddenBit = 0x0020;
    static constexpr uint16_t CustomHeightBit = 0x0040;
    static constexpr uint16_t FormattedBit = 0x0080;
    static constexpr uint16_t DefaultHeight = 255;

    // Full 2007 range, so that a row beyond the BIFF limit never stands
    // for another row whose number has the same low bits.
    uint32_t Row;
    uint16_t FirstCol = 0;
    // One past the last column with a cell.
    uint16_t LastCol;
    // Twips.
    uint16_t Height = DefaultHeight;
    uint16_t Flags;
    uint8_t OutlineLevel = 0;

    // The default height clears the custom-height flag, any other sets it.
    void SetHeight(uint16_t twips);
    void SetHidden(bool v);
    void SetCollapsed(bool v);
    // Levels from 16 on leave the row without an outline level in the file;
    // deeper levels than the record holds are kept as its deepest, 7.
    void SetOutlineLevel(uint8_t level);

    int OwnerNumber() const override { return int(Row); }
};

class TXLSRows {
public:
    using TOnChange = TFormattedObjectNotify::TOnChange;

    explicit TXLSRows(TCellFormats* pool, const TLibraryState& limits = LibState());
    TXLSRows(const TXLSRows&) = delete;
    TXLSRows& operator=(const TXLSRows&) = delete;

    // Called with the new format and the row number whenever a row's format
    // entry changes; installed by the owner.
    TOnChange OnChange;

    int Count() const {
        Settle();
        return int(rows.size());
    }
    TXLSRow& GetItem(int index) const;
    TXLSRow& operator[](int index) const { return GetItem(index); }
    TXLSRow* Find(int64_t row) const;
    // Position of the row in the list, -1 when it has no row object.
    int IndexOf(int64_t row) const;
    // Appends a row with the default format; Sort puts it in place.
    TXLSRow& Add(uint32_t row);
    void Sort();
    void Clear() {
        rows.clear();
        pending.clear();
    }

    // A read ROW body. The row is put in order, in place of a row with the
    // same number, so lookups stay right whatever order a file lists rows in.
    TXLSRow& LoadRowRecord(std::span<const uint8_t> body);
    // The ROW body of the row at index; false for rows beyond what the
    // record can hold, which the writer leaves out.
    bool WriteRowRecord(int index, std::span<uint8_t, 16> body) const;

private:
    TXLSRow& Place(std::unique_ptr<TXLSRow> row);
    // Merges the pending rows into the list.
    void Settle() const {
        if (!pending.empty()) Merge();
    }
    void Merge() const;
    std::unique_ptr<TXLSRow> NewRow(int formatIndex, uint32_t row);

    TCellFormats* pool;
    const TLibraryState& limits;
    mutable std::vector<std::unique_ptr<TXLSRow>> rows;
    // Read rows that came out of order, in the order read; merged in at the
    // next lookup, so a file listing its rows backwards costs no insert each.
    mutable std::vector<std::unique_ptr<TXLSRow>> pending;
};

} // namespace xls
