// The decryption path of the BIFF8 reader. The first byte chooses how the
// rest is used: even, as the plain records after a FILEPASS made here for
// the password "fuzz" (they are encrypted before reading, so mutations reach
// the records the reader decrypts); odd, as a whole workbook stream read
// with that password (the FILEPASS itself mutated).
#include "SrcXLS/formats/BIFFEncryption.h"
#include "fuzz/xls_reader.h"
#include "platform/compound/CompoundFile.h"

namespace {

void ReadStream(std::vector<uint8_t> stream) {
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", std::move(stream));
    xls::TTabrix4 book;
    book.Password = u"fuzz";
    const std::vector<uint8_t> image = file.Serialize();
    try {
        xls::ReadWorkbookFile(book, &image);
    } catch (const xls::XLSError&) {
    }
    book.AfterRead();
    xls::LibState().Reset();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        ReadStream(std::vector<uint8_t>(data + 1, data + size));
        return 0;
    }
    static const bool fixed = [] {
        xls::SetFilePassRandomSource([](uint8_t* out, size_t n) {
            for (size_t i = 0; i < n; ++i) out[i] = uint8_t(i);
        });
        return true;
    }();
    (void)fixed;
    xls::TRC4Key key;
    const std::vector<uint8_t> filePass = xls::MakeFilePass(u"fuzz", key);
    const uint8_t bof[] = {0x09, 0x08, 16,   0,    0x00, 0x06, 0x05, 0x00, 0xBB, 0x0D,
                           0xCC, 0x07, 0xC9, 0x80, 0x00, 0x00, 0x06, 0x01, 0x00, 0x00};
    std::vector<uint8_t> stream(bof, bof + sizeof bof);
    stream.insert(stream.end(), {0x2F, 0x00, uint8_t(filePass.size()), 0});
    stream.insert(stream.end(), filePass.begin(), filePass.end());
    const size_t from = stream.size();
    stream.insert(stream.end(), data + 1, data + size);
    xls::CryptRecords(stream, from, key);
    ReadStream(std::move(stream));
    return 0;
}
