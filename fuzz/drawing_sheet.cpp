// A sheet drawing read from the records that carry it: the bytes are BIFF
// records (MSODRAWING, OBJ, TXO, CONTINUE, NOTE, ...) after a worksheet BOF.
// What was read is written again and must read back with the same shapes.
#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/model/XFonts.h"
#include "platform/compound/CompoundFile.h"

#include <cstdlib>

using namespace xls;

namespace {

std::vector<uint8_t> Image(const std::vector<uint8_t>& records) {
    std::vector<uint8_t> stream = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x10, 0x00, 0xBB, 0x0D,
                                   0xCC, 0x07, 0x41, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00};
    stream.insert(stream.end(), records.begin(), records.end());
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", stream);
    return file.Serialize();
}

// Reads the drawing at the first MSODRAWING and the NOTE records after it.
bool Read(TEscherDrawing& drawing, const std::vector<uint8_t>& records) {
    std::vector<uint8_t> image = Image(records);
    TXLSStream s;
    s.SourceStream = &image;
    if (s.OpenRead("") != TExcelVersion::xvExcel97) return false;
    TBIFFHeader h;
    s.ReadHeader(h);
    s.Seek(h.Length, 1);
    while (s.ReadHeader(h) == 4) {
        if (h.Id == biff::MSODRAWING) break;
        s.Seek(h.Length, 1);
    }
    if (h.Id != biff::MSODRAWING) return false;
    try {
        drawing.ReadDrawing(s, h.Length);
        while (s.PeekRecordId() == biff::NOTE && s.ReadHeader(h) == 4) {
            std::vector<uint8_t> body(h.Length);
            if (s.ReadRecordData(body.data(), h.Length) != h.Length) break;
            TNoteRecord n = DecodeNote(body);
            drawing.BindNote(n.Col, n.Row, n.Author, n.ObjectId, n.Flags);
        }
    } catch (const XLSError&) {
        return false;
    }
    return true;
}

std::vector<uint8_t> Written(const TEscherDrawing& drawing) {
    std::vector<uint8_t> image;
    TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", TExcelVersion::xvExcel97);
    drawing.WriteDrawing(s);
    s.Close();
    platform::cfb::CompoundFile file = platform::cfb::CompoundFile::Parse(image);
    return file.Root().FindStream(u"Workbook")->Data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TXFonts fonts;
    TEscherGroup group;
    TEscherDrawing drawing(group, &fonts);
    if (!Read(drawing, std::vector<uint8_t>(data, data + size)) || drawing.ShapeCount() == 0) return 0;
    std::vector<uint8_t> once;
    try {
        once = Written(drawing);
    } catch (const XLSError&) {
        return 0; // a drawing that can not be written says so
    }
    TEscherGroup group2;
    TEscherDrawing back(group2, &fonts);
    if (!Read(back, once) || back.ShapeCount() != drawing.ShapeCount()) std::abort();
    if (Written(back) != once) std::abort();
    return 0;
}
