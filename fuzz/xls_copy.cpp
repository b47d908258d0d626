// A whole .xls image read and written again in every binary version: the
// names, link table and formula tokens of a hostile file converted to the
// layouts of Excel 97, Excel 5 and Excel 4, and each copy read back. Only
// the first read and the writes may refuse, with the library's message: a
// copy written that does not read back is a finding; so is an Excel 97 or
// Excel 5 copy that xlrd refuses where Q710_FUZZ_ORACLE is set (its reading
// of Excel 4 arrays takes the later layout).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "fuzz/oracle_judge.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using namespace xls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The copies of each run go to one file, removed at the end.
    static const struct TScratch {
        std::filesystem::path File =
            std::filesystem::temp_directory_path() / ("fuzz_xls_copy_" + std::to_string(getpid()) + ".xls");
        ~TScratch() {
            std::error_code e;
            std::filesystem::remove(File, e);
        }
    } scratch;
    const std::vector<uint8_t> image(data, data + size);
    for (TExcelVersion version :
         {TExcelVersion::xvExcel97, TExcelVersion::xvExcel50, TExcelVersion::xvExcel40}) {
        TTabrix4 book;
        book.TempFileMode = TTempFileMode::tfmInMemory;
        try {
            ReadWorkbookFile(book, &image);
        } catch (const XLSError&) {
            LibState().Reset();
            return 0;
        }
        book.AfterRead();
        try {
            book.SetVersion(version);
            book.SetFilename(scratch.File.u16string());
            book.Write();
        } catch (const XLSError&) {
            LibState().Reset();
            continue;
        }
        TTabrix4 again;
        again.TempFileMode = TTempFileMode::tfmInMemory;
        again.SetFilename(scratch.File.u16string());
        try {
            again.Read();
        } catch (const XLSError& e) {
            std::fprintf(stderr, "the copy written as version %d does not read back: %s\n", int(version),
                         e.what());
            std::abort();
        }
        LibState().Reset();
        if (TOracleJudge* judge = TOracleJudge::Get(); judge && version != TExcelVersion::xvExcel40) {
            std::ifstream in(scratch.File, std::ios::binary);
            const std::vector<uint8_t> copy{std::istreambuf_iterator<char>(in), {}};
            judge->Judge(image, false, copy, false,
                         version == TExcelVersion::xvExcel97 ? "Excel 97 copy" : "Excel 5 copy");
        }
    }
    return 0;
}
