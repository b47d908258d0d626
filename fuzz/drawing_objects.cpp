// What travels with a shape: the first byte chooses the reader, the rest is
// records (OBJ, TXO with its CONTINUEs) or a NOTE body of either layout.
// A text read is written again and must read back the same.
#include "SrcXLS/drawing/ObjRecords.h"
#include "platform/compound/CompoundFile.h"

#include <cstdlib>

using namespace xls;

namespace {

std::vector<uint8_t> Image(const uint8_t* records, size_t n) {
    std::vector<uint8_t> stream = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x10, 0x00, 0xBB, 0x0D,
                                   0xCC, 0x07, 0x41, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00};
    stream.insert(stream.end(), records, records + n);
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", stream);
    return file.Serialize();
}

// A stream over the image, standing after the BOF.
struct Reading {
    std::vector<uint8_t> image;
    TXLSStream stream;
    Reading(const uint8_t* records, size_t n) : image(Image(records, n)) {
        stream.SourceStream = &image;
        stream.OpenRead("");
        TBIFFHeader h;
        stream.ReadHeader(h);
        stream.Seek(h.Length, 1);
    }
};

void Text(const uint8_t* data, size_t size) {
    TShapeOutsideMsoBaseText text(1, okTextBox);
    {
        Reading in(data, size);
        try {
            text.ReadText(in.stream);
        } catch (const XLSError&) {
            return;
        }
    }
    std::vector<uint8_t> image;
    TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", TExcelVersion::xvExcel97);
    TDrawingOut out(s);
    text.Write(out);
    s.Close();
    std::vector<uint8_t> written =
        platform::cfb::CompoundFile::Parse(image).Root().FindStream(u"Workbook")->Data;
    // After the ClientTextbox's MSODRAWING.
    Reading again(written.data() + 12, written.size() - 12);
    TShapeOutsideMsoBaseText back(1, okTextBox);
    back.ReadText(again.stream);
    if (back.Text != text.Text) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0] % 4;
    ++data;
    --size;
    try {
        if (mode == 0) {
            Reading in(data, size);
            TShape shape;
            uint16_t highest = 0;
            auto kept = ReadObjRecord(shape, in.stream, highest);
            if (!kept) (void)CreateAttachedObject(shape);
        } else if (mode == 1) {
            Text(data, size);
        } else if (mode == 2) {
            DecodeNote({data, size});
        } else {
            std::vector<TOldNote> notes;
            AddOldNote(notes, {data, size}, 1251);
        }
    } catch (const XLSError&) {
    }
    return 0;
}
