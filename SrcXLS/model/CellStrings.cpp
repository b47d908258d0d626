#include "SrcXLS/model/CellStrings.h"

namespace xls {

struct TCellString {
    const std::u16string* Key = nullptr;
    int Uses = 0;
    uint32_t Index = 0xFFFF;
};

TPlainCellStrings::TPlainCellStrings() = default;
TPlainCellStrings::~TPlainCellStrings() = default;

void TPlainCellStrings::Clear() {
    entries.clear();
}

TCellString* TPlainCellStrings::AddString(std::u16string_view text) {
    auto [it, added] = entries.try_emplace(std::u16string(text));
    if (added) {
        it->second = std::make_unique<TCellString>();
        it->second->Key = &it->first;
    }
    ++it->second->Uses;
    return it->second.get();
}

void TPlainCellStrings::AddUse(TCellString* entry) {
    ++entry->Uses;
}

void TPlainCellStrings::Release(TCellString* entry) noexcept {
    if (--entry->Uses < 1) entries.erase(*entry->Key);
}

std::u16string TPlainCellStrings::Text(const TCellString* entry) const {
    return *entry->Key;
}

uint32_t TPlainCellStrings::WriteIndex(const TCellString* entry) const {
    return entry->Index;
}

int TPlainCellStrings::UseCount(const TCellString* entry) const {
    return entry->Uses;
}

void TPlainCellStrings::AssignWriteIndexes() {
    uint32_t next = 0;
    for (auto& e : entries) e.second->Index = next++;
}

} // namespace xls
