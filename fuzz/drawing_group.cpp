// The drawing group with its picture store: the bytes are the body of an
// MSODRAWINGGROUP record, cut into CONTINUE pieces of a size the first byte
// chooses. What was read is written again and must read back alike.
#include "SrcXLS/drawing/DrawingGroup.h"
#include "platform/compound/CompoundFile.h"

#include <cstdlib>

using namespace xls;

namespace {

void AddRecord(std::vector<uint8_t>& s, uint16_t id, const uint8_t* body, size_t n) {
    s.push_back(uint8_t(id));
    s.push_back(uint8_t(id >> 8));
    s.push_back(uint8_t(n));
    s.push_back(uint8_t(n >> 8));
    s.insert(s.end(), body, body + n);
}

// Reads the group from a stream of records that starts with it.
bool Read(TEscherGroup& group, const std::vector<uint8_t>& stream) {
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", stream);
    std::vector<uint8_t> image = file.Serialize();
    TXLSStream s;
    s.SourceStream = &image;
    if (s.OpenRead("") != TExcelVersion::xvExcel97) return false;
    TBIFFHeader h;
    if (s.ReadHeader(h) != 4) return false;
    try {
        group.ReadDrawingGroup(s, h.Length);
    } catch (const XLSError&) {
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = 1 + size_t(data[0]) * 64;
    std::vector<uint8_t> stream;
    for (size_t at = 1; at < size || at == 1; at += piece)
        AddRecord(stream, at == 1 ? 0x00EB : 0x003C, data + std::min(at, size),
                  std::min(piece, size - std::min(at, size)));
    TEscherGroup group;
    if (!Read(group, stream)) return 0;
    for (int i = 0; i < group.Count(); ++i) group.Items(i).RefCount = 1;
    std::vector<uint8_t> image;
    TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", TExcelVersion::xvExcel97);
    s.BeginContinued(8224);
    group.WriteDrawingGroup(s);
    s.EndContinued();
    s.Close();
    std::vector<uint8_t> written =
        platform::cfb::CompoundFile::Parse(image).Root().FindStream(u"Workbook")->Data;
    TEscherGroup back;
    if (!Read(back, written) || back.Count() != group.Count()) std::abort();
    for (int i = 0; i < group.Count(); ++i)
        if (back.Items(i).Data != group.Items(i).Data) std::abort();
    return 0;
}
