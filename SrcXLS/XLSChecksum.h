// Checksums the pools hash with: the CRC-32 register (without the final
// inversion) and a 16-bit rotate-xor hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xls {

const uint32_t* Crc32Table();

// Continues a CRC register over bytes; start with 0xFFFFFFFF.
uint32_t Crc32Update(uint32_t crc, const uint8_t* p, size_t n);

// The published CRC-32 without its final inversion; 0xFFFFFFFF for nothing.
inline uint32_t Crc32OfBytes(const void* p, size_t n) {
    return Crc32Update(0xFFFFFFFFu, static_cast<const uint8_t*>(p), n);
}

// Characters above 255 fold their high byte first, then the low byte.
uint32_t Crc32OfWideString(std::u16string_view text);

uint16_t Hash16OfBytes(const void* p, size_t n);

} // namespace xls
