#include "SrcXLS/model/XLSRows.h"

#include "SrcXLS/XLSBytes.h"

#include <algorithm>
#include <string>

namespace xls {

// ---- TXLSRow

TXLSRow::TXLSRow(TCellFormats* pool, int formatIndex, uint32_t row, int maxColumn)
    : TFormattedObjectNotify(pool, formatIndex), Row(row), LastCol(uint16_t(maxColumn)) {
    AcquireFormat();
    Flags = GetFormatIndex() != DefaultCellFormat ? FormattedBit : 0;
}

TXLSRow::~TXLSRow() {
    ReleaseFormat();
}

void TXLSRow::SetHeight(uint16_t twips) {
    Height = twips;
    Flags = twips == DefaultHeight ? uint16_t(Flags & ~CustomHeightBit) : uint16_t(Flags | CustomHeightBit);
}

void TXLSRow::SetHidden(bool v) {
    Flags = v ? uint16_t(Flags | HiddenBit) : uint16_t(Flags & ~HiddenBit);
}

void TXLSRow::SetCollapsed(bool v) {
    Flags = v ? uint16_t(Flags | CollapsedBit) : uint16_t(Flags & ~CollapsedBit);
}

void TXLSRow::SetOutlineLevel(uint8_t level) {
    Flags = uint16_t(Flags & ~LevelBits);
    if (level < 16) Flags = uint16_t(Flags | std::min<uint8_t>(level, LevelBits));
    OutlineLevel = level;
}

// ---- TXLSRows

TXLSRows::TXLSRows(TCellFormats* pool, const TLibraryState& limits) : pool(pool), limits(limits) {}

std::unique_ptr<TXLSRow> TXLSRows::NewRow(int formatIndex, uint32_t row) {
    auto r = std::make_unique<TXLSRow>(pool, formatIndex, row, limits.MaxColumn);
    // Forwarded through the list, so a callback installed later still counts.
    r->OnChange = [this](TCellFormat* format, int owner) {
        if (OnChange) OnChange(format, owner);
    };
    return r;
}

TXLSRow& TXLSRows::GetItem(int index) const {
    if (index < 0 || index >= Count())
        throw XLSError("List index out of bounds (" + std::to_string(index) + ")");
    return *rows[size_t(index)];
}

int TXLSRows::IndexOf(int64_t row) const {
    Settle();
    if (row < 0 || rows.empty() || row > limits.MaxRow) return -1;
    int low = 0, high = Count() - 1, middle = 0;
    while (low <= high) {
        middle = (low + high) / 2;
        uint32_t at = rows[size_t(middle)]->Row;
        if (at < row)
            low = middle + 1;
        else if (at > row)
            high = middle - 1;
        else
            return middle;
    }
    return -1;
}

TXLSRow* TXLSRows::Find(int64_t row) const {
    int i = IndexOf(row);
    return i < 0 ? nullptr : rows[size_t(i)].get();
}

TXLSRow& TXLSRows::Add(uint32_t row) {
    rows.push_back(NewRow(DefaultCellFormat, row));
    return *rows.back();
}

void TXLSRows::Sort() {
    Settle();
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a->Row < b->Row; });
}

TXLSRow& TXLSRows::Place(std::unique_ptr<TXLSRow> row) {
    if (pending.empty()) {
        if (rows.empty() || rows.back()->Row < row->Row) {
            rows.push_back(std::move(row));
            return *rows.back();
        }
        auto at = std::lower_bound(rows.begin(), rows.end(), row->Row,
                                   [](const auto& r, uint32_t n) { return r->Row < n; });
        if ((*at)->Row == row->Row) {
            *at = std::move(row);
            return **at;
        }
    }
    pending.push_back(std::move(row));
    return *pending.back();
}

void TXLSRows::Merge() const {
    const auto byRow = [](const auto& a, const auto& b) { return a->Row < b->Row; };
    std::stable_sort(pending.begin(), pending.end(), byRow);
    std::vector<std::unique_ptr<TXLSRow>> merged;
    merged.reserve(rows.size() + pending.size());
    size_t i = 0;
    for (size_t k = 0; k < pending.size(); ++k) {
        // Of rows with one number, the one placed last stands.
        if (k + 1 < pending.size() && pending[k + 1]->Row == pending[k]->Row) continue;
        while (i < rows.size() && rows[i]->Row < pending[k]->Row) merged.push_back(std::move(rows[i++]));
        if (i < rows.size() && rows[i]->Row == pending[k]->Row) ++i;
        merged.push_back(std::move(pending[k]));
    }
    while (i < rows.size()) merged.push_back(std::move(rows[i++]));
    rows = std::move(merged);
    pending.clear();
}

TXLSRow& TXLSRows::LoadRowRecord(std::span<const uint8_t> body) {
    TByteReader r(body);
    uint16_t rw = r.U16("row");
    uint16_t colMic = r.U16("first column");
    uint16_t colMac = r.U16("last column");
    uint16_t height = r.U16("row height");
    r.Skip(4, "reserved");
    uint16_t flags = r.U16("row options");
    uint16_t format = r.U16("row format");
    auto row = NewRow(flags & TXLSRow::FormattedBit ? format : DefaultCellFormat, rw);
    row->FirstCol = colMic;
    row->LastCol = colMac;
    row->Height = height;
    row->Flags = flags;
    row->OutlineLevel = uint8_t(flags & TXLSRow::LevelBits);
    return Place(std::move(row));
}

bool TXLSRows::WriteRowRecord(int index, std::span<uint8_t, 16> body) const {
    const TXLSRow& row = GetItem(index);
    if (row.Row > 0xFFFF) return false;
    uint16_t flags = row.Flags | 0x0100;
    if (row.GetFormatIndex() != DefaultCellFormat)
        flags |= TXLSRow::FormattedBit;
    else
        flags &= uint16_t(~TXLSRow::FormattedBit);
    uint8_t* p = body.data();
    PutU16(p, uint16_t(row.Row));
    PutU16(p + 2, std::min<uint16_t>(row.FirstCol, 255));
    PutU16(p + 4, std::min<uint16_t>(row.LastCol, 255));
    PutU16(p + 6, row.Height);
    PutU32(p + 8, 0);
    PutU16(p + 12, flags);
    PutU16(p + 14, uint16_t(row.GetFormatIndex()));
    return true;
}

} // namespace xls
