// Little-endian byte writing and bounds-checked reading, for the raw
// records the register hands out and for the state file.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class ByteWriter {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v) { Unsigned(v, 2); }
    void U32(uint32_t v) { Unsigned(v, 4); }
    void U48(uint64_t v) { Unsigned(v, 6); }
    void U64(uint64_t v) { Unsigned(v, 8); }
    void F64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        U64(bits);
    }
    // Exactly `size` bytes: the text cut there, zeros after it.
    void Fixed(std::string_view text, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            bytes_.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
    // A length-prefixed text.
    void Text(std::string_view text) {
        U32(static_cast<uint32_t>(text.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    void Unsigned(uint64_t v, int count) {
        for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
};

// Every read past the end fails and leaves the reader failed; values read
// after that are zero.
class ByteReader {
public:
    ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Ok() const { return ok_; }
    bool AtEnd() const { return pos_ == size_; }
    uint8_t U8() { return static_cast<uint8_t>(Unsigned(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Unsigned(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Unsigned(4)); }
    uint64_t U64() { return Unsigned(8); }
    double F64() {
        const uint64_t bits = U64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string Text(std::size_t maxSize) {
        const uint32_t size = U32();
        if (!ok_ || size > maxSize || size > size_ - pos_) {
            ok_ = false;
            return {};
        }
        std::string text(reinterpret_cast<const char*>(data_ + pos_), size);
        pos_ += size;
        return text;
    }

private:
    uint64_t Unsigned(int count) {
        if (!ok_ || size_ - pos_ < static_cast<std::size_t>(count)) {
            ok_ = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < count; ++i) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
        pos_ += static_cast<std::size_t>(count);
        return v;
    }
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace sim
