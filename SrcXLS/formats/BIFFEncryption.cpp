#include "SrcXLS/formats/BIFFEncryption.h"

#include "SrcXLS/XLSBytes.h"

// RC4 and MD5 through their plain functions: the newer interfaces offer RC4
// only in the legacy provider and cost a context per 1024-byte block.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#include <openssl/rand.h>
#include <openssl/rc4.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace xls {

namespace {

using TDigest = std::array<uint8_t, 16>;

TDigest Digest(const uint8_t* data, size_t count) {
    TDigest out{};
    MD5(data, count, out.data());
    return out;
}

TRandomSource& RandomSource() {
    static TRandomSource source;
    return source;
}

void RandomBytes(uint8_t* out, size_t count) {
    if (RandomSource()) {
        RandomSource()(out, count);
        return;
    }
    if (RAND_bytes(out, int(count)) != 1) throw XLSError("No random numbers for the password");
}

// Records every reader of encrypted streams takes as plain: BOF, FILEPASS,
// INTERFACEHDR and the records of shared workbooks.
bool StaysPlain(uint16_t id) {
    switch (id) {
    case 0x0009:
    case 0x0209:
    case 0x0409:
    case 0x0809:
    case biff::FILEPASS:
    case biff::INTERFACEHDR:
    case 0x0138: // RRDHEAD
    case 0x0194: // USREXCL
    case 0x0195: // FILELOCK
    case 0x0196: // RRDINFO
        return true;
    default:
        return false;
    }
}

constexpr uint16_t BOUNDSHEET = 0x0085;
constexpr uint32_t BlockSize = TRC4Keystream::BlockSize;
// Below this many blocks a thread of its own does not pay.
constexpr size_t BlocksPerThread = 64;

} // namespace

TEncryption ClassifyFilePass(std::span<const uint8_t> body, TExcelVersion version) {
    // Before BIFF8 the record holds a 4-byte key and hash and no type.
    if (version < TExcelVersion::xvExcel97 || body.size() == 4) return TEncryption::Unknown;
    if (body.size() < 2) return TEncryption::Malformed;
    const uint16_t type = GetU16(body.data());
    if (type == 0) return TEncryption::XOR;
    if (type != 1) return TEncryption::Unknown;
    if (body.size() < 6) return TEncryption::Malformed;
    if (GetU16(body.data() + 2) != 1 || GetU16(body.data() + 4) != 1) return TEncryption::Unknown;
    return body.size() == FilePassRC4Size ? TEncryption::RC4 : TEncryption::Malformed;
}

TRC4Key DeriveRC4Key(std::u16string_view password, std::span<const uint8_t, 16> salt) {
    password = password.substr(0, MaxPasswordLength);
    uint8_t text[2 * MaxPasswordLength];
    for (size_t n = 0; n < password.size(); ++n) PutU16(text + 2 * n, password[n]);
    const TDigest h0 = Digest(text, 2 * password.size());
    uint8_t buffer[16 * 21];
    for (int n = 0; n < 16; ++n) {
        std::memcpy(buffer + 21 * n, h0.data(), 5);
        std::memcpy(buffer + 21 * n + 5, salt.data(), 16);
    }
    const TDigest h1 = Digest(buffer, sizeof buffer);
    TRC4Key key;
    std::copy_n(h1.begin(), key.size(), key.begin());
    return key;
}

bool VerifyPassword(std::span<const uint8_t> filePass, std::u16string_view password, TRC4Key& key) {
    if (filePass.size() < FilePassRC4Size) return false;
    key = DeriveRC4Key(password, filePass.subspan<6, 16>());
    // Verifier and its hash both sit at the start of block 0's keystream.
    uint8_t verifier[32];
    std::memcpy(verifier, filePass.data() + 22, sizeof verifier);
    TRC4Keystream stream(key);
    stream.Apply(0, verifier, sizeof verifier);
    const TDigest hash = Digest(verifier, 16);
    return std::equal(hash.begin(), hash.end(), verifier + 16);
}

std::vector<uint8_t> MakeFilePass(std::u16string_view password, TRC4Key& key) {
    std::vector<uint8_t> body(FilePassRC4Size);
    PutU16(body.data(), 1);
    PutU16(body.data() + 2, 1);
    PutU16(body.data() + 4, 1);
    uint8_t random[32];
    RandomBytes(random, sizeof random);
    std::memcpy(body.data() + 6, random, 16);
    key = DeriveRC4Key(password, std::span<const uint8_t, 16>(body.data() + 6, 16));
    const TDigest hash = Digest(random + 16, 16);
    std::memcpy(body.data() + 22, random + 16, 16);
    std::memcpy(body.data() + 38, hash.data(), 16);
    TRC4Keystream stream(key);
    stream.Apply(0, body.data() + 22, 32);
    return body;
}

void SetFilePassRandomSource(TRandomSource source) {
    RandomSource() = std::move(source);
}

// ---- keystream

// A block's whole keystream at once: every byte of a block is used, plain
// bytes advancing it as much as encrypted ones.
namespace {

// The keystream of block n: every byte of a block is used, plain bytes
// advancing it as much as encrypted ones.
void BlockKeystream(const TRC4Key& key, uint32_t n, uint8_t* out, size_t count) {
    uint8_t material[9];
    std::memcpy(material, key.data(), key.size());
    PutU32(material + 5, n);
    const TDigest blockKey = Digest(material, sizeof material);
    static const uint8_t zeros[BlockSize] = {};
    RC4_KEY state;
    RC4_set_key(&state, int(blockKey.size()), blockKey.data());
    RC4(&state, std::min<size_t>(count, BlockSize), zeros, out);
}

// data ^= keystream, eight bytes at a time.
void Xor(uint8_t* data, const uint8_t* keystream, size_t count) {
    size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        uint64_t a, b;
        std::memcpy(&a, data + k, 8);
        std::memcpy(&b, keystream + k, 8);
        a ^= b;
        std::memcpy(data + k, &a, 8);
    }
    for (; k < count; ++k) data[k] ^= keystream[k];
}

} // namespace

void TRC4Keystream::MakeBlock(uint32_t n) {
    BlockKeystream(key, n, bytes.data(), bytes.size());
    block = n;
}

void TRC4Keystream::Apply(uint64_t position, uint8_t* data, size_t count) {
    while (count > 0) {
        const uint32_t n = uint32_t(position / BlockSize);
        const uint32_t at = uint32_t(position % BlockSize);
        if (block != int64_t(n)) MakeBlock(n);
        const size_t take = std::min<size_t>(count, BlockSize - at);
        Xor(data, bytes.data() + at, take);
        data += take;
        position += take;
        count -= take;
    }
}

// The stream is cut into parts on block borders, one per thread, each
// thread walking the records from the one that holds its part's first byte:
// the records are walked once before, to find those, and the threads are
// joined once.
void CryptRecords(std::span<uint8_t> stream, size_t from, const TRC4Key& key) {
    const size_t size = stream.size();
    if (from >= size) return;
    const size_t firstBlock = from / BlockSize;
    const size_t blocks = (size + BlockSize - 1) / BlockSize - firstBlock;
    const size_t parts = std::max<size_t>(
        1, std::min<size_t>({std::thread::hardware_concurrency(), 8, blocks / BlocksPerThread}));
    std::vector<size_t> bounds(parts + 1), starts(parts);
    for (size_t p = 0; p < parts; ++p)
        bounds[p] = std::max(from, (firstBlock + blocks * p / parts) * BlockSize);
    bounds[parts] = size;
    auto next = [&](size_t pos) {
        return pos + 4 + std::min<size_t>(GetU16(stream.data() + pos + 2), size - pos - 4);
    };
    starts[0] = from;
    size_t pos = from, part = 1;
    for (; part < parts && size - pos >= 4; pos = next(pos))
        while (part < parts && next(pos) > bounds[part]) starts[part++] = pos;
    for (; part < parts; ++part) starts[part] = pos;

    auto crypt = [&](size_t p) {
        TRC4Keystream keystream(key);
        const size_t lo = bounds[p], hi = bounds[p + 1];
        for (size_t at = starts[p]; at < hi && size - at >= 4; at = next(at)) {
            const uint16_t id = GetU16(stream.data() + at);
            if (StaysPlain(id)) continue;
            const size_t body = at + 4;
            const size_t plain = id == BOUNDSHEET ? 4 : 0;
            const size_t begin = std::max(lo, std::min(body + plain, next(at)));
            const size_t end = std::min(hi, next(at));
            if (begin < end) keystream.Apply(begin, stream.data() + begin, end - begin);
        }
    };
    std::vector<std::thread> workers;
    for (size_t p = 1; p < parts; ++p) workers.emplace_back(crypt, p);
    crypt(0);
    for (auto& w : workers) w.join();
}

} // namespace xls
