// Picture data of the drawing group: MD4 identifiers, the picture type of
// a file name, metafile compression with a bound on what a stream may
// expand to, and bitmaps converted to PNG.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xls {

// Picture types of the picture store.
namespace pictype {
constexpr uint8_t Error = 0;
constexpr uint8_t EMF = 2;
constexpr uint8_t WMF = 3;
constexpr uint8_t PICT = 4;
constexpr uint8_t JPEG = 5;
constexpr uint8_t PNG = 6;
constexpr uint8_t DIB = 7;
constexpr uint8_t CMYKJPEG = 0x11;
constexpr uint8_t TIFF = 0x12;
} // namespace pictype

inline bool IsMetafile(uint8_t type) {
    return type == pictype::EMF || type == pictype::WMF || type == pictype::PICT;
}

using TMD4 = std::array<uint8_t, 16>;
TMD4 MD4Digest(std::span<const uint8_t> data);

// "WMF" 3, "EMF" 2, "PICT" 4, "JPG"/"JPEG" 5, "PNG" 6, "BMP" 7 (in any
// letter case); anything else raises "Unknown picture type " + extension.
uint8_t PictureTypeFromExt(std::u16string_view fileName);

// zlib deflate of a metafile.
std::vector<uint8_t> DeflateBytes(std::span<const uint8_t> data);
// The inflated stream when it is a complete zlib stream of exactly
// expectedSize bytes; nothing when it is damaged, shorter, or would expand
// past expectedSize (or past the library's bound). produced, when given,
// tells how many bytes it inflated, whether it succeeded or not.
std::optional<std::vector<uint8_t>> InflateBounded(std::span<const uint8_t> data, uint32_t expectedSize,
                                                   size_t* produced = nullptr);
// Largest metafile kept inflated in memory.
constexpr uint32_t MaxInflatedSize = 256u << 20;
// What all pictures of one workbook may inflate to together, whether they
// inflate whole or not: 32 times the bytes of its workbook stream, at least
// 64 MiB and at most 256 MiB. Pictures past it stay compressed as read.
uint64_t PictureInflateBudget(uint64_t streamSize);

// Decodes a BMP file (core, info, V4 and V5 headers; 1, 4, 8, 16, 24 and 32
// bits; uncompressed, bit fields, RLE4, RLE8; either row order) and encodes
// it as PNG. Raises "Invalid bitmap" with the reason for a file it cannot
// read, and refuses images past the library's pixel bound.
std::vector<uint8_t> BitmapToPng(std::span<const uint8_t> bmp);
constexpr uint64_t MaxBitmapPixels = uint64_t(1) << 25;

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& file);

} // namespace xls
