// Journal streams and Z report buffers built byte by byte for the tests, by
// the offsets of the register's layouts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace journal_test {

using Bytes = std::vector<uint8_t>;

// Little-endian pieces appended to a byte list.
struct Out {
    Bytes bytes;
    Out& U8(uint64_t v) { return Le(v, 1); }
    Out& U16(uint64_t v) { return Le(v, 2); }
    Out& U32(uint64_t v) { return Le(v, 4); }
    Out& U64(uint64_t v) { return Le(v, 8); }
    Out& Text(const std::string& ansi) {
        bytes.insert(bytes.end(), ansi.begin(), ansi.end());
        bytes.push_back(0);
        return *this;
    }
    Out& Raw(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    Out& Le(uint64_t v, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
};

// A receipt record: its length byte, its type, the payload.
Bytes Record(uint8_t type, const Bytes& payload);
// A document: its 9-byte header and the body.
Bytes Document(uint8_t type, uint16_t number, uint32_t time, const Bytes& body);
// Documents joined, then the end mark.
Bytes Stream(std::initializer_list<Bytes> documents, bool endMark = true);

// One stream with every document type and every record type, the values the
// golden files hold (texts in Windows-1251).
Bytes EveryKindStream();

// A Z report buffer of 178 bytes: FN and PN, then the fields by offset.
Bytes ZBuffer(const std::string& fn, const std::string& pn, uint16_t bodyLength = 165, uint8_t type = 10);

} // namespace journal_test
