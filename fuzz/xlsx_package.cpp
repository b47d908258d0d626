// The package reader and writer over the parts of a package: the input is
// cut at "\n--\n" into the parts of a small package (workbook, its
// relationships, styles, shared strings, two worksheets and the first
// one's relationships), zipped, read into a workbook and written back.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formats/XLSZip.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* names[] = {"xl/workbook.xml",
                                  "xl/_rels/workbook.xml.rels",
                                  "xl/styles.xml",
                                  "xl/sharedStrings.xml",
                                  "xl/worksheets/sheet1.xml",
                                  "xl/worksheets/sheet2.xml",
                                  "xl/worksheets/_rels/sheet1.xml.rels"};
    std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> image;
    try {
        xls::TXLSZipArchive zip;
        zip.Create();
        size_t from = 0;
        for (const char* name : names) {
            if (from > input.size()) break;
            size_t end = input.find("\n--\n", from);
            if (end == std::string::npos) end = input.size();
            zip.AddFile(name, input.substr(from, end - from), 0);
            from = end + 4;
        }
        image = zip.Close();
    } catch (const xls::XLSError&) {
        return 0;
    }
    // Components for every run: a read clears them, and their construction
    // (which tidies the temporary folder) stays out of the loop.
    static xls::TTabrix4 book, again;
    book.TempFileMode = xls::TTempFileMode::tfmInMemory;
    again.TempFileMode = xls::TTempFileMode::tfmInMemory;
    try {
        xls::ReadPackageFile(book, &image);
    } catch (const xls::XLSError&) {
    }
    book.AfterRead();
    try {
        std::vector<uint8_t> written;
        xls::WritePackageFile(book, &written);
        xls::ReadPackageFile(again, &written);
    } catch (const xls::XLSError&) {
    }
    return 0;
}
