// A table file image: the header, the descriptors and every record and field read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "exchange/DBF.h"
#include "platform/AtomicFile.h"

namespace {

void ReadAll(const std::string& path) {
    exchange::TDBF table;
    table.SetTableName(path);
    try {
        table.Open();
    } catch (const exchange::ED&) {
        return;
    }
    if (!table.IsEmpty()) {
        table.First();
        for (;;) {
            for (int f = 1; f <= table.FieldCount(); ++f) {
                table.GetFieldName(f);
                table.GetFieldType(f);
                table.GetFieldData(f);
            }
            if (table.Eof()) break;
            std::uint32_t before = table.RecNo();
            table.Next();
            if (table.RecNo() != before + 1) __builtin_trap();
        }
        if (table.RecNo() != table.RecordCount()) __builtin_trap();
    }
    table.Close();
}

} // namespace

// The table class reads files, not memory: each input goes into a file of its own, removed afterwards.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = platform::TempFolder() + "/fuzz_dbf_XXXXXX.dbf";
    int fd = mkstemps(path.data(), 4);
    if (fd < 0) std::abort();
    bool written = write(fd, data, size) == static_cast<ssize_t>(size);
    close(fd);
    if (written) ReadAll(path);
    unlink(path.c_str());
    if (!written) std::abort();
    return 0;
}
