// A table file image: the header, the descriptors and every record and field read back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "exchange/DBF.h"
#include "platform/AtomicFile.h"

namespace {

// One file per process, rewritten for each input: the table class reads files, not memory.
const std::string& TablePath() {
    static const std::string path = [] {
        std::string pattern = platform::TempFolder() + "/fuzz_dbf_XXXXXX.dbf";
        int fd = mkstemps(pattern.data(), 4);
        if (fd < 0) std::abort();
        close(fd);
        std::atexit([] { unlink(TablePath().c_str()); });
        return pattern;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = TablePath();
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) std::abort();
    exchange::TDBF table;
    table.SetTableName(path);
    try {
        table.Open();
    } catch (const exchange::ED&) {
        return 0;
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
    return 0;
}
