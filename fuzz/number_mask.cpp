// Number format masks from files: the text after the first 8 bytes (Latin-1
// and the mask syntax's own characters), rendered for the value the first 8
// bytes hold, for a few fixed ones and for a text.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/model/ExcelMask.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    double value;
    std::memcpy(&value, data, 8);
    std::u16string text(data + 8, data + size);
    xls::TExcelMask mask;
    try {
        mask.SetMask(text);
    } catch (const xls::XLSError&) {
        return 0;
    }
    for (double v : {value, 0.0, -1.5, 1234.5678, 45292.75, 1e300, -1e-300}) (void)mask.FormatValue(v);
    (void)mask.FormatText(u"txt");
    return 0;
}
