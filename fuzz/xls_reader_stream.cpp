// The BIFF8 reader on a raw workbook stream: the bytes become the
// "Workbook" stream of a compound file built here, so every mutation lands
// in the records and none in the container.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formats/TabrixReader.h"
#include "platform/compound/CompoundFile.h"

using namespace xls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", std::vector<uint8_t>(data, data + size));
    std::vector<uint8_t> image = file.Serialize();
    TTabrix4 book;
    try {
        ReadWorkbookFile(book, &image);
    } catch (const XLSError&) {
    }
    book.AfterRead();
    LibState().Reset();
    return 0;
}
