// An embedded chart read from the records after its BOF: the bytes are BIFF
// chart records (BEGIN/END nesting, FONTX, FBI, GELFRAME, MSODRAWING, AI,
// ...). What was read is bound to the chart model, whose series formulas
// are read and set; it is then written, and must read back as the same tree.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/drawing/ChartModel.h"
#include "platform/compound/CompoundFile.h"

#include <cstdlib>

using namespace xls;

namespace {

// A workbook stream: a globals BOF, then the records.
std::vector<uint8_t> Image(const uint8_t* records, size_t n) {
    std::vector<uint8_t> stream = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x05, 0x00, 0xBB, 0x0D,
                                   0xCC, 0x07, 0x41, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00};
    stream.insert(stream.end(), records, records + n);
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", stream);
    return file.Serialize();
}

// The chart's BOF ahead of the fuzzer's records.
std::vector<uint8_t> ChartImage(const uint8_t* records, size_t n) {
    std::vector<uint8_t> bytes = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x20, 0x00, 0xBB, 0x0D,
                                  0xCC, 0x07, 0x41, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00};
    bytes.insert(bytes.end(), records, records + n);
    return Image(bytes.data(), bytes.size());
}

// The chart of a shape, read from a stream standing after the globals BOF.
bool Read(TShapeClientAnchor& shape, TEscherGroup& group, TXFonts& fonts, std::vector<uint8_t> image) {
    TXLSStream s;
    s.SourceStream = &image;
    if (s.OpenRead("") != TExcelVersion::xvExcel97) return false;
    TBIFFHeader h;
    s.ReadHeader(h);
    s.Seek(h.Length, 1);
    shape.Attached = std::make_unique<TShapeOutsideMsoChart>(1, group, &fonts, std::vector<uint8_t>{});
    try {
        shape.Attached->ReadFollowing(s);
    } catch (const XLSError&) {
        return false;
    }
    return true;
}

// The tree as ids and body sizes (FONTX and FBI are written at their own
// sizes); false when it holds a drawing, which is written as a drawing.
bool Shape(const TChartRecord& r, std::string& out) {
    for (int i = 0; i < r.Count(); ++i) {
        const TChartRecord& c = r.Child(i);
        if (c.Id == biff::MSODRAWING) return false;
        out += std::to_string(c.Id);
        if (c.Id != chartid::FONTX && c.Id != chartid::FBI) out += ":" + std::to_string(c.Body.size());
        if (c.Count()) {
            out += "(";
            if (!Shape(c, out)) return false;
            out += ")";
        }
        out += " ";
    }
    return true;
}

std::vector<uint8_t> Written(const TShapeOutsideMsoChart& chart) {
    std::vector<uint8_t> image;
    TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", TExcelVersion::xvExcel97);
    WriteChartRecords(chart.Root, s, &chart);
    s.Close();
    return platform::cfb::CompoundFile::Parse(image).Root().FindStream(u"Workbook")->Data;
}

void Exercise(TDrwChart& chart) {
    for (int i = 0; i < chart.Series.Count(); ++i) {
        TXLSChartSerie& serie = chart.Series[i];
        for (auto get : {&TXLSChartSerie::GetValues, &TXLSChartSerie::GetValues2,
                         &TXLSChartSerie::GetCategory, &TXLSChartSerie::GetSerieName}) {
            try {
                (void)(serie.*get)();
            } catch (const XLSError&) {
            }
        }
        try {
            serie.SetValues(u"Sheet1!$A$1:$B$3");
            serie.SetSerieName(u"\"name\"");
        } catch (const XLSError&) {
        }
        serie.SetHasDefDataPoint(true);
        serie.SetGeomtery(TSerieItemGeomtery::sigCone);
    }
    try {
        chart.SetSheetOptions(csoDoNotSize);
    } catch (const XLSError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TTabrix4* book = new TTabrix4;
    TSheet& sheet = book->GetSheet(0);
    TShapeClientAnchor shape;
    if (!Read(shape, book->Pictures(), book->Fonts(), ChartImage(data, size))) return 0;
    auto& chart = static_cast<TShapeOutsideMsoChart&>(*shape.Attached);
    try {
        if (sheet.Charts().AddShape(shape)) Exercise(sheet.Charts()[sheet.Charts().Count() - 1]);
    } catch (const XLSError&) {
    }
    sheet.Charts().Forget(shape);
    std::vector<uint8_t> written;
    try {
        written = Written(chart);
    } catch (const XLSError&) {
        return 0;
    }
    std::string before, after;
    if (!Shape(chart.Root, before)) return 0;
    TShapeClientAnchor again;
    if (!Read(again, book->Pictures(), book->Fonts(), Image(written.data(), written.size()))) std::abort();
    if (!Shape(static_cast<TShapeOutsideMsoChart&>(*again.Attached).Root, after) || after != before)
        std::abort();
    return 0;
}
