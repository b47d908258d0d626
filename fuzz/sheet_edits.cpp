// Random sequences of sheet and cell edits on a small workbook made from
// the input (fuzz/sheet_edits.h): a formula that computes otherwise than
// its edit allows, or a copy written that reads back otherwise, is a
// finding.
#include "fuzz/sheet_edits.h"

#include "SrcXLS/XLSLibState.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const struct TScratch {
        std::filesystem::path Dir =
            std::filesystem::temp_directory_path() / ("fuzz_sheet_edits_" + std::to_string(getpid()));
        TScratch() { std::filesystem::create_directories(Dir); }
        ~TScratch() {
            std::error_code e;
            std::filesystem::remove_all(Dir, e);
        }
    } scratch;
    const std::string fault = sheetedits::RunCase(data, size, scratch.Dir.string());
    xls::LibState().Reset();
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
