// What travels with a shape: the first byte chooses the reader, the rest is
// records (OBJ, TXO with its CONTINUEs) or a NOTE body of either layout.
// A text read is written again and must read back the same.
#include "drawing_records.h"

#include <cstdlib>

using namespace xls;
using fuzzdrawing::Reading;

namespace {

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
    std::vector<uint8_t> written = fuzzdrawing::Written([&](TDrawingOut& out) { text.Write(out); });
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
