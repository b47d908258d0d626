// The records of the sheet collections bound to cell areas, each read from
// a fuzzed body and written again: the first byte chooses the record.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/Hyperlinks.h"

#include <span>

namespace {

template <class Read, class Write> void ReadAndWrite(Read read, Write write) {
    try {
        read();
    } catch (const xls::XLSError&) {
        return;
    }
    std::vector<uint8_t> image;
    xls::TXLSStream stream;
    stream.TargetStream = &image;
    stream.OpenWrite("", xls::TExcelVersion::xvExcel97);
    try {
        write(stream);
    } catch (const xls::XLSError&) {
    }
    stream.Discard();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> body(data + 1, size - 1);
    switch (data[0] % 2) {
    case 0: {
        xls::THyperlinks links;
        ReadAndWrite(
            [&] {
                // A tool tip after the link: the body split at its middle.
                links.ReadHyperlink(body, 0);
                links.ReadToolTip(body.subspan(body.size() / 2));
            },
            [&](xls::TXLSStream& s) { links.WriteHyperlinks(s); });
        break;
    }
    default: {
        xls::THyperlinks links;
        ReadAndWrite([&] { links.ReadToolTip(body); }, [&](xls::TXLSStream& s) { links.WriteHyperlinks(s); });
        break;
    }
    }
    return 0;
}
