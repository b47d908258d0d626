// Workbook encryption of BIFF8 files: the RC4 scheme with MD5 key
// derivation of the FILEPASS record (type 1, version 1.1). A password and
// a 16-byte salt give a 5-byte key; byte n of the workbook stream is
// XORed with byte n mod 1024 of the RC4 keystream of block n div 1024.
// Record headers and a few records stay plain; which ones is decided by
// the record id, as every reader of such files does.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace xls {

namespace biff {
constexpr uint16_t FILEPASS = 0x002F;
constexpr uint16_t INTERFACEHDR = 0x00E1;
constexpr uint16_t MMS = 0x00C1;
constexpr uint16_t INTERFACEEND = 0x00E2;
} // namespace biff

// Files saved with this password open without asking in the real programs.
constexpr std::u16string_view DefaultPassword = u"VelvetSweatshop";
constexpr size_t FilePassRC4Size = 54;
// Only this many characters of a password count.
constexpr size_t MaxPasswordLength = 31;

// What a FILEPASS body says about the encryption of the stream after it.
enum class TEncryption : uint8_t {
    XOR,       // type 0: the obfuscation of older versions
    RC4,       // type 1, version 1.1: the one read and written here
    Unknown,   // CryptoAPI and the 4-byte records of BIFF5 files
    Malformed, // an RC4 record of the wrong size, or one too short to say
};
TEncryption ClassifyFilePass(std::span<const uint8_t> body, TExcelVersion version);

using TRC4Key = std::array<uint8_t, 5>;

// The key of a password and a 16-byte salt.
TRC4Key DeriveRC4Key(std::u16string_view password, std::span<const uint8_t, 16> salt);

// True when the password opens a stream with this RC4 FILEPASS body; the
// derived key is left in key.
bool VerifyPassword(std::span<const uint8_t> filePass, std::u16string_view password, TRC4Key& key);

// A FILEPASS body for the password with a fresh salt and verifier; the
// derived key is left in key.
std::vector<uint8_t> MakeFilePass(std::u16string_view password, TRC4Key& key);

// Fills its buffer with the random bytes of a salt or a verifier.
using TRandomSource = std::function<void(uint8_t* out, size_t count)>;
// Installs the source MakeFilePass takes its salt and verifier from (tests
// fix them so); an empty one restores the system's random generator.
void SetFilePassRandomSource(TRandomSource source);

// The RC4 keystream of a stream: Apply XORs bytes that sit at a stream
// position with the keystream of their block, in any order.
class TRC4Keystream {
public:
    static constexpr uint32_t BlockSize = 1024;
    explicit TRC4Keystream(const TRC4Key& key) : key(key) {}
    void Apply(uint64_t position, uint8_t* data, size_t count);

private:
    void MakeBlock(uint32_t n);

    TRC4Key key;
    int64_t block = -1;
    std::array<uint8_t, BlockSize> bytes{}; // the keystream of that block
};

// Encrypts or decrypts (the same XOR) the record bodies of a workbook
// stream from offset `from` on, leaving plain the headers, the records that
// stay plain and the sheet position at the start of each BOUNDSHEET. A
// record cut by the end of the stream is handled as far as it goes.
void CryptRecords(std::span<uint8_t> stream, size_t from, const TRC4Key& key);

} // namespace xls
