#include "SrcXLS/formats/VBACompression.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSDefs.h"

#include <algorithm>
#include <string>

namespace xls {

namespace {

constexpr size_t ChunkSize = 4096;
constexpr uint16_t CompressedChunk = 0xB000; // flag bit and signature 3
constexpr uint16_t RawChunk = 0x3FFF;        // signature 3, 4096 bytes

// Bits of a copy token that hold the offset: as many as the bytes already
// decompressed in the chunk need, at least 4.
int OffsetBits(size_t decompressed) {
    int bits = 4;
    while ((size_t(1) << bits) < decompressed) ++bits;
    return bits;
}

[[noreturn]] void Malformed(const char* what) {
    throw XLSError(std::string("Bad compressed VBA data: ") + what);
}

[[noreturn]] void TooLarge(size_t limit) {
    throw EVBATooLarge("VBA data decompresses past " + std::to_string(limit) + " bytes");
}

void DecompressTokens(std::span<const uint8_t> chunk, std::vector<uint8_t>& out, size_t limit) {
    const size_t start = out.size();
    // What this chunk can make is checked once: at most 4096 bytes.
    const bool bounded = limit - start < ChunkSize;
    size_t pos = 0;
    while (pos < chunk.size()) {
        const uint8_t flags = chunk[pos++];
        for (int bit = 0; bit < 8 && pos < chunk.size(); ++bit) {
            if (!(flags & (1 << bit))) {
                if (out.size() - start >= ChunkSize) Malformed("a chunk holds more than 4096 bytes");
                if (bounded && out.size() >= limit) TooLarge(limit);
                out.push_back(chunk[pos++]);
                continue;
            }
            if (chunk.size() - pos < 2) Malformed("a copy token cut short");
            const uint16_t token = GetU16(chunk.data() + pos);
            pos += 2;
            const size_t done = out.size() - start;
            const int bits = OffsetBits(done);
            const size_t offset = size_t(token >> (16 - bits)) + 1;
            const size_t length = size_t(token & (0xFFFF >> bits)) + 3;
            if (offset > done) Malformed("a copy token points before its chunk");
            if (done + length > ChunkSize) Malformed("a chunk holds more than 4096 bytes");
            if (bounded && out.size() + length > limit) TooLarge(limit);
            // Copies may overlap the bytes they make: one byte at a time.
            const size_t at = out.size();
            out.resize(at + length);
            uint8_t* to = out.data() + at;
            const uint8_t* from = to - offset;
            for (size_t k = 0; k < length; ++k) to[k] = from[k];
        }
    }
}

// The compressed tokens of one piece of at most 4096 bytes.
void CompressTokens(std::span<const uint8_t> piece, bool bestMatch, std::vector<uint8_t>& out) {
    size_t flagPos = 0;
    int tokens = 8;
    for (size_t p = 0; p < piece.size();) {
        if (tokens == 8) {
            flagPos = out.size();
            out.push_back(0);
            tokens = 0;
        }
        const int bits = OffsetBits(p);
        const size_t maxLength = std::min((size_t(1) << (16 - bits)) - 1, piece.size() - p);
        size_t bestLength = 0, bestOffset = 0;
        for (size_t from = p; from-- > 0;) {
            size_t n = 0;
            while (n < maxLength && piece[from + n] == piece[p + n]) ++n;
            if (n > bestLength && n >= 3) {
                bestLength = n;
                bestOffset = p - from;
                if (!bestMatch || n == maxLength) break;
            }
        }
        if (bestLength >= 3) {
            out[flagPos] = uint8_t(out[flagPos] | (1 << tokens));
            const uint16_t token = uint16_t(((bestOffset - 1) << (16 - bits)) | (bestLength - 3));
            out.push_back(uint8_t(token));
            out.push_back(uint8_t(token >> 8));
            p += bestLength;
        } else {
            out.push_back(piece[p++]);
        }
        ++tokens;
    }
}

} // namespace

std::vector<uint8_t> VBADecompress(std::span<const uint8_t> data, size_t limit) {
    if (data.empty() || data[0] != 1) Malformed("no signature");
    std::vector<uint8_t> out;
    size_t pos = 1;
    while (pos < data.size()) {
        if (data.size() - pos < 2) Malformed("a chunk header cut short");
        const uint16_t header = GetU16(data.data() + pos);
        if (((header >> 12) & 7) != 3) Malformed("a chunk without its signature");
        // A chunk that claims more than there is ends with the data.
        const size_t end = std::min(data.size(), pos + (header & 0x0FFF) + 3);
        pos += 2;
        const auto chunk = data.subspan(pos, end - pos);
        if (header & 0x8000) {
            DecompressTokens(chunk, out, limit);
        } else {
            const size_t n = std::min(chunk.size(), ChunkSize);
            if (n > limit - out.size()) TooLarge(limit);
            out.insert(out.end(), chunk.begin(), chunk.begin() + long(n));
        }
        pos = end;
    }
    return out;
}

std::vector<uint8_t> VBACompress(std::span<const uint8_t> data, bool bestMatch) {
    std::vector<uint8_t> out{1};
    for (size_t at = 0; at < data.size(); at += ChunkSize) {
        const auto piece = data.subspan(at, std::min(ChunkSize, data.size() - at));
        const size_t headerPos = out.size();
        out.resize(out.size() + 2);
        CompressTokens(piece, bestMatch, out);
        const size_t size = out.size() - headerPos;
        if (size - 3 <= 0x0FFF) {
            PutU16(out.data() + headerPos, uint16_t(CompressedChunk | (size - 3)));
            continue;
        }
        // What does not shrink is stored as it is; a raw chunk always holds
        // 4096 bytes, so a short last one is padded with zeros.
        out.resize(headerPos);
        TByteWriter w(out);
        w.U16(RawChunk);
        w.Bytes(piece.data(), piece.size());
        out.resize(out.size() + ChunkSize - piece.size(), 0);
    }
    return out;
}

} // namespace xls
