// The BIFF reader on a whole file image: a compound file or a plain
// BIFF2-BIFF4 stream, as the import dialog hands it over.
#include "fuzz/xls_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadImage(std::vector<uint8_t>(data, data + size));
    return 0;
}
