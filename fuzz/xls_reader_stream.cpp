// The BIFF8 reader on a raw workbook stream: the bytes become the
// "Workbook" stream of a compound file built here, so every mutation lands
// in the records and none in the container.
#include "fuzz/xls_reader.h"
#include "platform/compound/CompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::cfb::CompoundFile file;
    file.Root().AddStream(u"Workbook", std::vector<uint8_t>(data, data + size));
    ReadImage(file.Serialize());
    return 0;
}
