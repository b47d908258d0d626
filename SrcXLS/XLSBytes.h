// Little-endian byte access: a bounds-checked reader for bytes that come
// from files and a small appending writer for record bodies.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace xls {

inline uint16_t GetU16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Reads from a byte span; every read past the end raises XLSError naming
// what was being read, so malformed files never read out of bounds.
class TByteReader {
public:
    TByteReader() = default;
    TByteReader(const uint8_t* data, size_t size) : data(data), size(size) {}
    explicit TByteReader(std::span<const uint8_t> bytes) : data(bytes.data()), size(bytes.size()) {}

    size_t Position() const { return pos; }
    size_t Remaining() const { return size - pos; }
    bool AtEnd() const { return pos == size; }

    void Need(size_t n, const char* what = "data") const {
        if (n > size - pos) throw XLSError(std::string("Record too short: ") + what + " beyond the end");
    }
    uint8_t U8(const char* what = "byte") {
        Need(1, what);
        return data[pos++];
    }
    uint16_t U16(const char* what = "word") {
        Need(2, what);
        uint16_t v = GetU16(data + pos);
        pos += 2;
        return v;
    }
    uint32_t U32(const char* what = "double word") {
        Need(4, what);
        uint32_t v = GetU32(data + pos);
        pos += 4;
        return v;
    }
    double F64(const char* what = "number") {
        Need(8, what);
        uint64_t bits = uint64_t(GetU32(data + pos)) | (uint64_t(GetU32(data + pos + 4)) << 32);
        pos += 8;
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    std::span<const uint8_t> Bytes(size_t n, const char* what = "bytes") {
        Need(n, what);
        std::span<const uint8_t> s(data + pos, n);
        pos += n;
        return s;
    }
    void Skip(size_t n, const char* what = "bytes") {
        Need(n, what);
        pos += n;
    }

private:
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

// Appends little-endian values to a byte vector.
class TByteWriter {
public:
    explicit TByteWriter(std::vector<uint8_t>& out) : out(out) {}
    void U8(uint8_t v) { out.push_back(v); }
    void U16(uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    }
    void Bytes(const void* p, size_t n) {
        auto b = static_cast<const uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    size_t Size() const { return out.size(); }

private:
    std::vector<uint8_t>& out;
};

} // namespace xls
