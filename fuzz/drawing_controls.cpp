// The OBJ record of a form control: the input is the record's body (its
// sub-records). A control read is asked for its macro, linked cell and
// source range, follows a deleted name, and is written; the written OBJ
// read again must write the same bytes.
#include "SrcXLS/drawing/FormControls.h"
#include "drawing_records.h"

#include <cstdlib>

using namespace xls;

namespace {

const std::u16string nameTexts[] = {u"First", u"Macro1", u"Third"};

const TDrawingNames& Names() {
    static const TDrawingNames names = [] {
        TDrawingNames n;
        n.IndexOfName = [](std::u16string_view text) {
            for (int i = 0; i < 3; ++i)
                if (nameTexts[i] == text) return i;
            return -1;
        };
        n.NameText = [](int position) {
            return position >= 0 && position < 3 ? nameTexts[position] : std::u16string();
        };
        return n;
    }();
    return names;
}

// The control read from an OBJ record, nullptr for other objects.
std::unique_ptr<TShapeOutsideMso> ReadControl(const std::vector<uint8_t>& record) {
    fuzzdrawing::Reading in(record.data(), record.size());
    TShape shape;
    uint16_t highest = 0;
    TObjContext context;
    context.Names = &Names();
    return ReadObjRecord(shape, in.stream, highest, context);
}

// The OBJ record a control writes (its caption records left out).
std::vector<uint8_t> WrittenObj(const TShapeOutsideMso& control) {
    std::vector<uint8_t> written = fuzzdrawing::Written([&](TDrawingOut& out) { control.Write(out); });
    if (written.size() < 4) std::abort();
    const size_t length = size_t(written[2]) | size_t(written[3]) << 8;
    if (written[0] != 0x5D || written[1] != 0 || written.size() < 4 + length) std::abort();
    written.resize(4 + length);
    return written;
}

void Exercise(TShapeOutsideMso& control) {
    if (auto* text = dynamic_cast<TShapeOutsideMsoBaseTextMacro*>(&control)) {
        (void)text->GetMacroName();
        text->NameDeleted(0);
    } else if (auto* list = dynamic_cast<TShapeControlListBox*>(&control)) {
        int sheet = 0, c1 = 0, r1 = 0, c2 = 0, r2 = 0;
        try {
            list->GetLinkCell(c1, r1);
        } catch (const XLSError&) {
        }
        try {
            list->GetSourceArea(sheet, c1, r1, c2, r2);
        } catch (const XLSError&) {
        }
        list->NameDeleted(0);
    } else if (auto* bar = dynamic_cast<TShapeControlScrollBar*>(&control)) {
        (void)bar->LinkCell();
        bar->NameDeleted(0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8224) return 0;
    std::vector<uint8_t> record = {0x5D, 0x00, uint8_t(size), uint8_t(size >> 8)};
    record.insert(record.end(), data, data + size);
    std::unique_ptr<TShapeOutsideMso> control;
    try {
        control = ReadControl(record);
    } catch (const XLSError&) {
        return 0;
    }
    if (!control || !control->WritesOwnObj) return 0;
    Exercise(*control);
    const std::vector<uint8_t> first = WrittenObj(*control);
    std::unique_ptr<TShapeOutsideMso> again = ReadControl(first);
    if (!again || WrittenObj(*again) != first) std::abort();
    return 0;
}
