// Bitmaps converted to PNG: any bytes are refused with the library's error
// or give a PNG.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/drawing/PictureFiles.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        std::vector<uint8_t> png = xls::BitmapToPng({data, size});
        if (png.size() < 8 || png[1] != 'P') std::abort();
    } catch (const xls::XLSError&) {
    }
    return 0;
}
