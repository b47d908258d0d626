#include "SrcXLS/model/CellStorage.h"

#include "SrcXLS/XLSLibState.h"
#include "platform/RegionalSettings.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

namespace xls {

TCellStorage::TCellStorage() = default;

TCellStorage::~TCellStorage() {
    TCellStorage::Clear();
}

void TCellStorage::CheckPosition(int64_t col, int64_t row) {
    if (col < 0 || col > MaxCol || row < 0 || row > MaxRow)
        throw XLSError("Cell position is outside the sheet");
}

int TCellStorage::TLeaf::Rank(int slot) const {
    int r = 0;
    if (slot >= 64) {
        r = std::popcount(Bits[0]);
        slot -= 64;
        if (slot) r += std::popcount(Bits[1] & ((uint64_t(1) << slot) - 1));
        return r;
    }
    return slot ? std::popcount(Bits[0] & ((uint64_t(1) << slot) - 1)) : 0;
}

TCellStorage::TRow* TCellStorage::FindRow(int row) const {
    const size_t group = size_t(row) >> GroupBits;
    if (group >= top.size() || !top[group]) return nullptr;
    return &top[group]->Rows[size_t(row & (GroupRows - 1))];
}

TCellStorage::TRow& TCellStorage::MakeRow(int row) {
    const size_t group = size_t(row) >> GroupBits;
    if (group >= top.size()) top.resize(group + 1);
    auto& block = top[group];
    if (!block) block = std::make_unique<TRowBlock>();
    return block->Rows[size_t(row & (GroupRows - 1))];
}

std::unique_ptr<TCell>* TCellStorage::FindSlot(int col, int row) {
    if (col < 0 || col > MaxCol || row < 0 || row > MaxRow) return nullptr;
    TRow* r = FindRow(row);
    if (!r) return nullptr;
    uint16_t block = uint16_t(col >> 7);
    int slot = col & 0x7F;
    for (TLeaf& leaf : *r) {
        if (leaf.Block == block) return leaf.Has(slot) ? &leaf.Cells[size_t(leaf.Rank(slot))] : nullptr;
        if (leaf.Block > block) break;
    }
    return nullptr;
}

std::unique_ptr<TCell>& TCellStorage::MakeSlot(int col, int row) {
    TRow& r = MakeRow(row);
    uint16_t block = uint16_t(col >> 7);
    int slot = col & 0x7F;
    auto it = std::lower_bound(r.begin(), r.end(), block,
                               [](const TLeaf& leaf, uint16_t b) { return leaf.Block < b; });
    if (it == r.end() || it->Block != block) {
        it = r.insert(it, TLeaf());
        it->Block = block;
    }
    TLeaf& leaf = *it;
    // Cells of a row mostly come left to right: one past every cell of the
    // leaf goes at its end.
    const bool last =
        slot >= 64 ? (leaf.Bits[1] >> (slot - 64)) == 0 : leaf.Bits[1] == 0 && (leaf.Bits[0] >> slot) == 0;
    auto pos = last ? leaf.Cells.end() : leaf.Cells.begin() + leaf.Rank(slot);
    if (leaf.Has(slot)) return *pos;
    leaf.Bits[size_t(slot >> 6)] |= uint64_t(1) << (slot & 63);
    ++count;
    // A row's leaf grows by 4, 16 and then doubling: a row of a table takes
    // one or two allocations instead of one per power of two.
    if (leaf.Cells.size() == leaf.Cells.capacity()) {
        const size_t at = size_t(pos - leaf.Cells.begin());
        const size_t n = leaf.Cells.size();
        leaf.Cells.reserve(n < 4 ? 4 : n < 16 ? 16 : 2 * n);
        pos = leaf.Cells.begin() + ptrdiff_t(at);
    }
    return *leaf.Cells.insert(pos, nullptr);
}

TCell* TCellStorage::FindCell(int col, int row) {
    if (cache && cache->Col == col && cache->Row == uint32_t(row) && row >= 0) return cache;
    auto* slot = FindSlot(col, row);
    if (!slot) return nullptr;
    cache = slot->get();
    return cache;
}

void TCellStorage::ReportShared(TCell& cell) {
    if (auto* f = dynamic_cast<TFormulaCell*>(&cell); f && f->SharedLink() != NoSharedFormula)
        SharedFormulaRemoved(cell);
}

TCell* TCellStorage::Store(int col, int row, std::unique_ptr<TCell> cell, bool takeFormat) {
    CheckPosition(col, row);
    if (cell) cell->SetPosition(col, row);
    std::unique_ptr<TCell>* existing = FindSlot(col, row);
    if (existing && *existing) {
        TCell& old = **existing;
        if (cell && takeFormat) cell->SetFormatIndex(old.GetFormatIndex());
        ReportShared(old);
        Forget(&old);
        // The report may have changed the store: look the slot up again.
        existing = FindSlot(col, row);
    }
    if (!cell) {
        RemoveCell(col, row);
        return nullptr;
    }
    std::unique_ptr<TCell>& slot = existing ? *existing : MakeSlot(col, row);
    if (slot && slot->HoldsMore()) --holdingMore;
    if (cell->HoldsMore()) ++holdingMore;
    slot = std::move(cell);
    cache = slot.get();
    CellChanged(col, row, cache);
    return cache;
}

TCell* TCellStorage::PutCell(int col, int row, std::unique_ptr<TCell> cell) {
    return Store(col, row, std::move(cell), true);
}

TCell* TCellStorage::PutCellKeepFormat(int col, int row, std::unique_ptr<TCell> cell) {
    return Store(col, row, std::move(cell), false);
}

void TCellStorage::RemoveCell(int col, int row) {
    std::unique_ptr<TCell>* slot = FindSlot(col, row);
    if (!slot) return;
    ReportShared(**slot);
    std::unique_ptr<TCell> gone = DetachCell(col, row);
}

std::unique_ptr<TCell> TCellStorage::DetachCell(int col, int row) {
    TRow* r = col >= 0 && col <= MaxCol && row >= 0 && row <= MaxRow ? FindRow(row) : nullptr;
    if (!r) return nullptr;
    uint16_t block = uint16_t(col >> 7);
    int slot = col & 0x7F;
    for (auto it = r->begin(); it != r->end(); ++it) {
        if (it->Block != block) continue;
        if (!it->Has(slot)) return nullptr;
        auto pos = it->Cells.begin() + it->Rank(slot);
        std::unique_ptr<TCell> cell = std::move(*pos);
        it->Cells.erase(pos);
        it->Bits[size_t(slot >> 6)] &= ~(uint64_t(1) << (slot & 63));
        if (it->Cells.empty()) r->erase(it);
        if (r->empty()) r->shrink_to_fit();
        --count;
        if (cell->HoldsMore()) --holdingMore;
        Forget(cell.get());
        if (lastWalked == cell.get()) lastWalked = nullptr;
        CellChanged(col, row, nullptr);
        return cell;
    }
    return nullptr;
}

void TCellStorage::BeginIterate() {
    curTop = curRow = curLeaf = curCell = 0;
    lastWalked = nullptr;
}

TCell* TCellStorage::NextCell() {
    for (; curTop < int(top.size()); ++curTop, curRow = 0) {
        const auto& block = top[size_t(curTop)];
        if (!block) continue;
        for (; curRow < GroupRows; ++curRow, curLeaf = 0) {
            const TRow& r = block->Rows[size_t(curRow)];
            for (; curLeaf < int(r.size()); ++curLeaf, curCell = 0) {
                const TLeaf& leaf = r[size_t(curLeaf)];
                if (curCell < int(leaf.Cells.size())) {
                    TCell* cell = leaf.Cells[size_t(curCell++)].get();
                    lastWalked = cell;
                    return cell;
                }
            }
        }
    }
    lastWalked = nullptr;
    return nullptr;
}

TCell* TCellStorage::NextBlankInRow() {
    if (!lastWalked) return nullptr;
    const TCell* previous = lastWalked;
    int saveTop = curTop, saveRow = curRow, saveLeaf = curLeaf, saveCell = curCell;
    TCell* next = NextCell();
    if (next && next->CellType() == ctBlank && next->Row == previous->Row && next->Col == previous->Col + 1)
        return next;
    curTop = saveTop;
    curRow = saveRow;
    curLeaf = saveLeaf;
    curCell = saveCell;
    lastWalked = previous;
    return nullptr;
}

void TCellStorage::CalcDimensions(int maxCol, int maxRow) {
    FirstCol = maxCol;
    FirstRow = maxRow;
    LastCol = LastRow = 0;
    if (count == 0) {
        FirstCol = FirstRow = 0;
        return;
    }
    for (int t = 0; t < int(top.size()); ++t) {
        if (!top[size_t(t)]) continue;
        for (int r = 0; r < GroupRows; ++r) {
            const TRow& row = top[size_t(t)]->Rows[size_t(r)];
            if (row.empty()) continue;
            int rowNo = (t << GroupBits) | r;
            FirstRow = std::min(FirstRow, rowNo);
            LastRow = std::max(LastRow, rowNo);
            FirstCol = std::min<int>(FirstCol, row.front().Cells.front()->Col);
            LastCol = std::max<int>(LastCol, row.back().Cells.back()->Col);
        }
    }
}

void TCellStorage::Clear() {
    if (count > 0) CellChanged(-1, -1, nullptr);
    cache = nullptr;
    lastWalked = nullptr;
    for (auto& block : top) {
        if (!block) continue;
        for (TRow& r : block->Rows)
            for (TLeaf& leaf : r)
                for (auto& cell : leaf.Cells)
                    if (cell) TCell::Dispose(cell.release());
        block.reset();
    }
    top.clear();
    top.shrink_to_fit();
    count = 0;
    holdingMore = 0;
    BeginIterate();
}

void TCellStorage::Discard() {
    for (auto& block : top) {
        if (!block) continue;
        for (TRow& r : block->Rows)
            for (TLeaf& leaf : r)
                for (auto& cell : leaf.Cells)
                    if (holdingMore == 0 || !cell->HoldsMore()) (void)cell.release();
    }
    TCellStorage::Clear();
}

size_t TCellStorage::TableBytes() const {
    size_t bytes = sizeof(*this) + top.capacity() * sizeof(top[0]);
    for (const auto& block : top) {
        if (!block) continue;
        bytes += sizeof(TRowBlock);
        for (const TRow& r : block->Rows) {
            bytes += r.capacity() * sizeof(TLeaf);
            for (const TLeaf& leaf : r) bytes += leaf.Cells.capacity() * sizeof(std::unique_ptr<TCell>);
        }
    }
    return bytes;
}

void TCellStorage::SharedFormulaRemoved(TCell&) {
    throw XLSError("Can not delete shared formula");
}

// ---------------------------------------------------------------------------

TCellValues::TCellValues(TCellValuesList* owner, TSST2* strings, TCellFormats* formats)
    : owner(owner), strings(strings), formats(formats) {}

TCellValues::~TCellValues() {
    // The cells give their uses back while the tables still stand; the
    // store going is no change of its cells.
    going = true;
    TCellValues::Clear();
}

void TCellValues::CellChanged(int col, int row, TCell* cell) {
    if (!going && owner && owner->OnCellChanged && owner->Quiet == 0)
        owner->OnCellChanged(*this, col, row, cell);
}

void TCellValues::Clear() {
    if (owner && owner->Discarding) {
        Discard();
    } else {
        // The strings the cells give back leave the table in one sweep.
        if (strings) strings->BeginRelease();
        TCellStorage::Clear();
        if (strings) strings->EndRelease();
    }
    StringList.clear();
    SharedAnchors.clear();
}

void TCellValues::SharedFormulaRemoved(TCell& cell) {
    if (owner && owner->OnSharedFormulaRemoved)
        owner->OnSharedFormulaRemoved(*this, cell);
    else
        TCellStorage::SharedFormulaRemoved(cell);
}

std::u16string TCellValues::GetDisplayText(int col, int row) {
    TCell* cell = FindCell(col, row);
    return cell ? GetDisplayText(*cell) : std::u16string();
}

std::u16string TCellValues::GetDisplayText(const TCell& cell) {
    std::u16string out = GetValueText(cell);
    switch (cell.CellType()) {
    case ctString:
    case ctStringFormula:
    case ctStringArrayFormula:
        ShowText(cell.Format(), out);
        break;
    default:
        break;
    }
    return out;
}

void TCellValues::ShowText(const TCellFormat* format, std::u16string& text) {
    std::u16string regional;
    const std::u16string_view maskText = MaskTextOf(format, regional);
    if (maskText.empty()) return;
    const TExcelMask& m = MaskOf(maskText);
    if (m.HasTextSection()) text = m.FormatText(text);
}

std::u16string TCellValues::GetValueText(const TCell& cell) {
    const std::u16string& strTrue = LibState().StrTRUE;
    const std::u16string& strFalse = LibState().StrFALSE;
    double number;
    switch (cell.CellType()) {
    case ctString:
        return static_cast<const TStringCell&>(cell).Text();
    case ctStringFormula:
        return static_cast<const TStringFormulaCell&>(cell).Value;
    case ctStringArrayFormula:
        return static_cast<const TStringArrayFormulaCell&>(cell).Value;
    case ctBoolean:
        return static_cast<const TBooleanCell&>(cell).GetValue() ? strTrue : strFalse;
    case ctBooleanFormula:
        return static_cast<const TBooleanFormulaCell&>(cell).GetValue() ? strTrue : strFalse;
    case ctError:
        return static_cast<const TErrorCell&>(cell).GetErrorText();
    case ctErrorFormula:
        return static_cast<const TErrorFormulaCell&>(cell).GetErrorText();
    case ctNumberArrayFormula:
        if (static_cast<const TNumberArrayFormulaCell&>(cell).ResultKind != fvFloat)
            return static_cast<const TNumberArrayFormulaCell&>(cell).ResultText();
        [[fallthrough]];
    default:
        if (cell.GetNumber(number)) return GetNumberText(cell.Format(), number);
        return {};
    }
}

namespace {

// A Windows-style date or time pattern ("dd.MM.yyyy", "H:mm:ss") as a mask.
std::u16string PatternToMask(std::string_view pattern, bool dropSeconds) {
    std::u16string mask;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        switch (c) {
        case 'd':
        case 'y':
        case 'm':
        case 'h':
            mask.append(run, char16_t(c));
            break;
        case 'M':
            mask.append(run, u'm');
            break;
        case 'H':
            mask.append(run, u'h');
            break;
        case 's':
            if (!dropSeconds) mask.append(run, u's');
            break;
        case 't':
            mask += u"AM/PM";
            break;
        case '\'':
            break;
        default:
            for (size_t k = 0; k < run; ++k) {
                mask += u'\\';
                mask += char16_t(uint8_t(c));
            }
        }
        i += run - 1;
    }
    if (dropSeconds) {
        // The separator that stood before the seconds goes with them.
        while (mask.size() >= 2 && mask[mask.size() - 2] == u'\\') mask.resize(mask.size() - 2);
    }
    return mask;
}

} // namespace

std::u16string TCellValues::GetNumberText(int formatIndex, double value) {
    if (formatIndex <= 0 || !formats) return ShownGeneralText(value, LibState().Locale.DecimalSeparator);
    return GetNumberText(formats->GetItem(formatIndex), value);
}

std::u16string_view TCellValues::MaskTextOf(const TCellFormat* format, std::u16string& regional) const {
    if (!format || format->PoolIndex <= 0) return {};
    switch (format->GetNumberFormatIndex()) {
    case 11:
        return u"0.00E+00";
    case 14:
        regional = PatternToMask(platform::Regional().shortDateFormat, false);
        return regional;
    case 20:
        regional = PatternToMask(platform::Regional().longTimeFormat, true);
        return regional;
    default:
        return format->NumberFormatText();
    }
}

std::u16string TCellValues::GetNumberText(const TCellFormat* format, double value) {
    std::u16string regional;
    const std::u16string_view maskText = MaskTextOf(format, regional);
    if (maskText.empty()) return ShownGeneralText(value, LibState().Locale.DecimalSeparator);
    MaskOf(maskText);
    mask.Date1904 = maskDates && owner && owner->Date1904 && owner->Date1904();
    return mask.FormatValue(value);
}

const TExcelMask& TCellValues::MaskOf(std::u16string_view maskText) {
    if (!maskSet || mask.Mask() != maskText) {
        mask.SetMask(maskText);
        maskSet = true;
        maskDates = false;
        for (int i = 0; i < 4; ++i)
            if (mask.Section(i) && (mask.Section(i)->Flags & msfDateTime)) maskDates = true;
    }
    return mask;
}

void TCellValues::DisplayTextTo(const TCell& cell, std::u16string& out) {
    double number;
    std::u16string regional;
    if (cell.CellType() == ctString && static_cast<const TStringCell&>(cell).Entry()) {
        static_cast<const TStringCell&>(cell).Entry()->CopyText(out);
        ShowText(cell.Format(), out);
    } else if ((cell.CellType() == ctInteger || cell.CellType() == ctFloat) && cell.GetNumber(number) &&
               MaskTextOf(cell.Format(), regional).empty()) {
        ShownGeneralTextTo(number, LibState().Locale.DecimalSeparator, out);
    } else {
        out = GetDisplayText(cell);
    }
}

// ---------------------------------------------------------------------------

TCellValues& TCellValuesList::Items(int index) const {
    if (index < 0 || index >= Count())
        throw XLSError("List index out of bounds (" + std::to_string(index) + ")");
    return *stores[size_t(index)];
}

void TCellValuesList::Remove(TCellValues* store) {
    stores.erase(std::remove(stores.begin(), stores.end(), store), stores.end());
}

int TCellValuesList::IndexOf(const TCellValues* store) const {
    for (size_t i = 0; i < stores.size(); ++i)
        if (stores[i] == store) return int(i);
    return -1;
}

} // namespace xls
