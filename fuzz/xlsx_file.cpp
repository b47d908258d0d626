// The package reader on a whole .xlsx image as the import dialog hands it
// over: the zip container, the relationships and every part.
#include "SrcXLS/Tabrix4.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    // One component for every run: a read clears it, and its construction
    // (which tidies the temporary folder) stays out of the loop.
    static xls::TTabrix4 book;
    book.TempFileMode = xls::TTempFileMode::tfmInMemory;
    try {
        xls::ReadPackageFile(book, &image);
    } catch (const xls::XLSError&) {
    }
    book.AfterRead();
    return 0;
}
