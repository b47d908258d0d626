#include "SrcXLS/XLSChecksum.h"

#include <array>

namespace xls {

namespace {
constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr std::array<uint32_t, 256> crcTable = MakeCrcTable();
} // namespace

const uint32_t* Crc32Table() {
    return crcTable.data();
}

uint32_t Crc32OfWideString(std::u16string_view text) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char16_t c : text) {
        if (c > 255) crc = (crc >> 8) ^ crcTable[(crc & 0xFF) ^ (c >> 8)];
        crc = (crc >> 8) ^ crcTable[(crc & 0xFF) ^ (c & 0xFF)];
    }
    return crc;
}

uint16_t Hash16OfBytes(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    uint16_t h = 0;
    for (size_t i = 0; i < n; ++i) h = uint16_t(((h << 5) | (h >> 11)) ^ b[i]);
    return h;
}

} // namespace xls
