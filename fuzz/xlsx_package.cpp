// The package reader and writer over the parts of a package (as
// xlsx_parts.h cuts the input), read into a workbook and written back.
#include "SrcXLS/Tabrix4.h"
#include "fuzz/package_copy.h"
#include "fuzz/xlsx_parts.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image;
    if (!PackageOfParts(data, size, image)) return 0;
    // Components for every run: a read clears them, and their construction
    // (which tidies the temporary folder) stays out of the loop.
    static xls::TTabrix4 book, again;
    book.TempFileMode = xls::TTempFileMode::tfmInMemory;
    again.TempFileMode = xls::TTempFileMode::tfmInMemory;
    bool read = true;
    try {
        xls::ReadPackageFile(book, &image);
    } catch (const xls::XLSError&) {
        read = false;
    }
    book.AfterRead();
    CopyPackage(book, again, image, read);
    return 0;
}
