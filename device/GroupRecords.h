// Goods-group names and receipt text patterns: the program's records, the raw
// batch records NextCommand delivers, and the table an import fills and an
// export reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int GoodsGroupCount = 100;
inline constexpr std::size_t GroupNameSize = 20; // characters of a name
inline constexpr int TextPatternCount = 20;
inline constexpr std::size_t PatternTextSize = 28; // characters of a pattern
inline constexpr int CursorPositionMax = 28;

// One goods group: number 1..100 (0 marks an unused entry) and its name,
// at most 20 characters of Windows-1251.
struct GoodsGroupRecord {
    uint8_t Number = 0;
    std::string Name;
};

// The entries readers take: from the first up to, not including, the first
// whose number is outside 1..100, and never more than 100.
std::size_t UsedGroupEntries(const std::vector<GoodsGroupRecord>& table);

// 100 unused entries, as every import starts its table.
std::vector<GoodsGroupRecord> EmptyGroupTable();

// A text the library hands out at a pointer: up to its zero byte, at most
// `maxBytes` (a text without a terminator is cut there); null reads as empty.
std::string BoundedLibraryText(const char* text, std::size_t maxBytes);

// A group-name batch record (21 bytes): the name up to its zero byte, at
// most 20 bytes. A shorter span reads what it holds.
std::string UnpackGroupName(std::span<const uint8_t> raw);

// A text-pattern batch record (29 bytes): byte 0 the cursor position as the
// register counts it, bytes 1..28 the text up to its zero byte.
struct TextPatternRecord {
    uint8_t cursor = 0;
    std::string text;
};
// False (the record left as it was) for an empty span.
[[nodiscard]] bool UnpackTextPattern(std::span<const uint8_t> raw, TextPatternRecord& record);
