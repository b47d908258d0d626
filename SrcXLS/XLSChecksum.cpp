#include "SrcXLS/XLSChecksum.h"

#include <array>

namespace xls {

namespace {
// Table k advances the register over a byte followed by k zero bytes, so
// eight bytes are folded at once.
using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;
constexpr TCrcTables MakeCrcTables() {
    TCrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}
constexpr TCrcTables crcTables = MakeCrcTables();
constexpr const std::array<uint32_t, 256>& crcTable = crcTables[0];
} // namespace

const uint32_t* Crc32Table() {
    return crcTable.data();
}

uint32_t Crc32Update(uint32_t crc, const uint8_t* p, size_t n) {
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t lo =
            crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        crc = crcTables[7][lo & 0xFF] ^ crcTables[6][(lo >> 8) & 0xFF] ^ crcTables[5][(lo >> 16) & 0xFF] ^
              crcTables[4][lo >> 24] ^ crcTables[3][p[4]] ^ crcTables[2][p[5]] ^ crcTables[1][p[6]] ^
              crcTables[0][p[7]];
    }
    for (; n > 0; --n, ++p) crc = crcTable[(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
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
