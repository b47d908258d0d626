// The package reader on a whole .xlsx image as the import dialog hands it
// over: the zip container, the relationships and every part; then the
// package written back from what was read and kept (parts moved, damaged
// entries left out) and read again.
#include "SrcXLS/Tabrix4.h"
#include "fuzz/package_copy.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    // Components for every run: a read clears them, and their construction
    // (which tidies the temporary folder) stays out of the loop.
    static xls::TTabrix4 book, again;
    book.TempFileMode = xls::TTempFileMode::tfmInMemory;
    again.TempFileMode = xls::TTempFileMode::tfmInMemory;
    try {
        xls::ReadPackageFile(book, &image);
    } catch (const xls::XLSError&) {
        book.AfterRead();
        return 0;
    }
    book.AfterRead();
    CopyPackage(book, again, image);
    return 0;
}
