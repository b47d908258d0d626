#include "SrcXLS/model/XLSColumns.h"

#include "SrcXLS/XLSBytes.h"

#include <algorithm>

namespace xls {

namespace {
// COLINFO option bits.
constexpr uint16_t HiddenBit = 0x0001;
constexpr uint16_t CustomWidthBit = 0x0002;
constexpr uint16_t CollapsedBit = 0x1000;
constexpr int LastBIFFColumn = 255;
} // namespace

// ---- TXLSColumn

TXLSColumn::TXLSColumn(TCellFormats* pool, int formatIndex, uint16_t col)
    : TFormattedObjectNotify(pool, formatIndex), Col(col) {
    AcquireFormat();
}

TXLSColumn::~TXLSColumn() {
    ReleaseFormat();
}

void TXLSColumn::SetWidth(int v) {
    if (v < 0 || v > 0xFFFF) throw XLSError("Invalid value");
    width = v;
}

void TXLSColumn::SetOutlineLevel(int level) {
    if (level < 0 || level > MaxOutlineLevel) throw XLSError("Invalid value");
    outlineLevel = uint8_t(level);
}

bool TXLSColumn::Equal(const TXLSColumn& other) const {
    return width == other.width && Hidden == other.Hidden && outlineLevel == other.outlineLevel &&
           Collapsed == other.Collapsed && GetFormatIndex() == other.GetFormatIndex();
}

bool TXLSColumn::IsDefault() const {
    return width == DefaultWidth && !Hidden && outlineLevel == 0 && !Collapsed &&
           GetFormatIndex() == DefaultCellFormat;
}

// ---- TXLSColumns

void TXLSColumns::CheckRange(int first, int last) {
    if (first < 0 || last < first || last >= SlotCount) throw XLSError("Invalid columns");
}

TXLSColumn* TXLSColumns::GetItem(int index) const {
    return index >= 0 && size_t(index) < slots.size() ? slots[size_t(index)].get() : nullptr;
}

TXLSColumn& TXLSColumns::Create(int col, int formatIndex) {
    auto c = std::make_unique<TXLSColumn>(pool, formatIndex, uint16_t(col));
    // Forwarded through the list, so a callback installed later still counts.
    c->OnChange = [this](TCellFormat* format, int owner) {
        if (OnChange) OnChange(format, owner);
    };
    if (size_t(col) >= slots.size()) slots.resize(size_t(col) + 1);
    slots[size_t(col)] = std::move(c);
    return *slots[size_t(col)];
}

void TXLSColumns::ClearRange(int first, int last) {
    CheckRange(first, last);
    for (int i = first; i <= last && size_t(i) < slots.size(); ++i) slots[size_t(i)].reset();
}

void TXLSColumns::SetWidths(int first, int last, int width) {
    CheckRange(first, last);
    if (width < 0 || width > 0xFFFF) throw XLSError("Invalid value");
    for (int i = first; i <= last; ++i) {
        TXLSColumn* slot = GetItem(i);
        if (!slot) {
            if (width != TXLSColumn::DefaultWidth) Create(i, DefaultCellFormat).SetWidth(width);
        } else if (slot->GetWidth() != width) {
            slot->SetWidth(width);
            if (slot->IsDefault()) slots[size_t(i)].reset();
        }
    }
}

void TXLSColumns::AddColumns(int first, int count) {
    if (count <= 0) return;
    CheckRange(first, first + count - 1);
    for (int i = first; i < first + count; ++i)
        if (!GetItem(i)) Create(i, DefaultCellFormat);
}

void TXLSColumns::LoadColInfo(std::span<const uint8_t> body) {
    TByteReader r(body);
    int first = std::min<int>(r.U16("first column"), LastBIFFColumn);
    int last = std::min<int>(r.U16("last column"), LastBIFFColumn);
    uint16_t width = r.U16("column width");
    uint16_t format = r.U16("column format");
    uint16_t flags = r.U16("column options");
    for (int i = first; i <= last; ++i) {
        TXLSColumn& c = Create(i, format);
        c.SetWidth(width);
        c.Hidden = flags & HiddenBit;
        c.CustomWidth = flags & CustomWidthBit;
        c.SetOutlineLevel((flags >> 8) & 7);
        c.Collapsed = flags & CollapsedBit;
    }
}

void TXLSColumns::WriteColInfos(TXLSStream& stream) const {
    for (int i = 0; i <= LastBIFFColumn;) {
        const TXLSColumn* c = GetItem(i);
        if (!c) {
            ++i;
            continue;
        }
        int last = i;
        while (last < LastBIFFColumn && GetItem(last + 1) && GetItem(last + 1)->Equal(*c)) ++last;
        uint16_t flags = c->GetWidth() != TXLSColumn::DefaultWidth ? CustomWidthBit : 0;
        if (c->Hidden) flags |= HiddenBit;
        if (c->CustomWidth) flags |= CustomWidthBit;
        // The record holds three bits of level; deeper levels are its deepest.
        flags |= uint16_t(std::min(c->GetOutlineLevel(), 7) << 8);
        if (c->Collapsed) flags |= CollapsedBit;
        uint8_t body[12];
        PutU16(body, uint16_t(i));
        PutU16(body + 2, uint16_t(last));
        PutU16(body + 4, uint16_t(c->GetWidth()));
        PutU16(body + 6, uint16_t(c->GetFormatIndex()));
        PutU16(body + 8, flags);
        PutU16(body + 10, 0);
        stream.WriteHeader(biff::COLINFO, sizeof body);
        stream.WriteRecordData(body, sizeof body);
        i = last + 1;
    }
}

} // namespace xls
