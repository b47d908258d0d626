#include "device/GroupRecords.h"

#include <algorithm>

namespace {

std::string TextUpToZero(std::span<const uint8_t> bytes, std::size_t maxBytes) {
    bytes = bytes.first(std::min(bytes.size(), maxBytes));
    auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return std::string(bytes.begin(), end);
}

} // namespace

std::size_t UsedGroupEntries(const std::vector<GoodsGroupRecord>& table) {
    std::size_t used = 0;
    while (used < table.size() && used < std::size_t(GoodsGroupCount) && table[used].Number >= 1 &&
           table[used].Number <= GoodsGroupCount)
        ++used;
    return used;
}

std::vector<GoodsGroupRecord> EmptyGroupTable() {
    return std::vector<GoodsGroupRecord>(GoodsGroupCount);
}

std::string BoundedLibraryText(const char* text, std::size_t maxBytes) {
    if (text == nullptr) return {};
    // Byte by byte: nothing past the terminator or the bound is touched.
    std::size_t length = 0;
    while (length < maxBytes && text[length] != '\0') ++length;
    return std::string(text, length);
}

std::string UnpackGroupName(std::span<const uint8_t> raw) {
    return TextUpToZero(raw, GroupNameSize);
}

bool UnpackTextPattern(std::span<const uint8_t> raw, TextPatternRecord& record) {
    if (raw.empty()) return false;
    record.cursor = raw[0];
    record.text = TextUpToZero(raw.subspan(1), PatternTextSize);
    return true;
}
