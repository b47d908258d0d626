// The record stream on arbitrary bytes, read as they are (a compound image or
// a plain BIFF stream) and once more as the "Workbook" stream of a compound
// file: every record is read, drawing groups joined over their pieces and
// string fields decoded.
#include "SrcXLS/formats/XLSStream.h"

using namespace xls;

static void ReadAll(const std::vector<uint8_t>& image) {
    TExtraObjects extra;
    TXLSStream s;
    s.SourceStream = &image;
    s.ExtraObjects = &extra;
    try {
        s.OpenRead("");
        TBIFFHeader h;
        std::vector<uint8_t> body;
        std::u16string text;
        while (s.ReadHeader(h) == 4) {
            int64_t start = s.Position();
            int64_t total = h.Length;
            if (h.Id == biff::MSODRAWINGGROUP || h.Id == 0x0862) {
                s.Seek(h.Length, 1);
                while (s.PeekRecordId() == biff::CONTINUE || s.PeekRecordId() == biff::MSODRAWINGGROUP ||
                       s.PeekRecordId() == biff::CONTINUEFRT) {
                    total += s.PeekRecordLength();
                    s.Seek(4 + s.PeekRecordLength(), 1);
                }
                s.Seek(start, 0);
                s.BeginJoin();
            }
            body.resize(size_t(total));
            int got = s.ReadRecordData(body.data(), int(total));
            s.EndJoin();
            if (got < total) break;
            if (h.Length >= 3) {
                s.Seek(start, 0);
                uint8_t count[2];
                s.ReadRecordData(count, 2);
                try {
                    s.ReadString(count[0] | count[1] << 8, text);
                } catch (const XLSError&) {
                }
                s.Seek(start + h.Length, 0);
            }
        }
    } catch (const XLSError&) {
    } catch (const platform::cfb::CompoundFileError&) {
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    ReadAll(bytes);
    platform::cfb::CompoundFile f;
    f.Root().AddStream(u"Workbook", bytes);
    ReadAll(f.Serialize());
    return 0;
}
