// BIFF records of a drawing's objects as the fuzz targets read and write
// them: a stream over records that stands after a BIFF8 worksheet BOF, and
// the records an object writes.
#pragma once

#include "SrcXLS/drawing/ObjRecords.h"
#include "platform/compound/CompoundFile.h"

#include <functional>

namespace fuzzdrawing {

inline std::vector<uint8_t> Image(const uint8_t* records, size_t n) {
    std::vector<uint8_t> stream = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x10, 0x00, 0xBB, 0x0D,
                                   0xCC, 0x07, 0x41, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00};
    stream.insert(stream.end(), records, records + n);
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", stream);
    return file.Serialize();
}

// A stream over the records, standing after the BOF.
struct Reading {
    std::vector<uint8_t> image;
    xls::TXLSStream stream;
    Reading(const uint8_t* records, size_t n) : image(Image(records, n)) {
        stream.SourceStream = &image;
        stream.OpenRead("");
        xls::TBIFFHeader h;
        stream.ReadHeader(h);
        stream.Seek(h.Length, 1);
    }
};

// The records a write puts into a drawing's channel.
inline std::vector<uint8_t> Written(const std::function<void(xls::TDrawingOut&)>& write) {
    std::vector<uint8_t> image;
    xls::TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", xls::TExcelVersion::xvExcel97);
    xls::TDrawingOut out(s);
    write(out);
    s.Close();
    return platform::cfb::CompoundFile::Parse(image).Root().FindStream(u"Workbook")->Data;
}

} // namespace fuzzdrawing
