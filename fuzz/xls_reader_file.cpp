// The BIFF reader on a whole file image: a compound file or a plain
// BIFF2-BIFF4 stream, as the import dialog hands it over.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formats/TabrixReader.h"

using namespace xls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    TTabrix4 book;
    try {
        ReadWorkbookFile(book, &image);
    } catch (const XLSError&) {
    }
    book.AfterRead();
    LibState().Reset();
    return 0;
}
