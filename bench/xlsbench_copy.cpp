// xlsbench copy IN OUT [--version 2007|8|5|4]: reads a workbook and writes
// it again, so a file can be round-tripped from the command line. --version
// chooses the version written; without it OUT's extension does: .xlsx and
// .xlsm a package, anything else a binary workbook in the version read
// (BIFF2 and BIFF3, which are not written, as BIFF4; a package read as
// BIFF8). --password TEXT opens an encrypted workbook and encrypts the copy
// with it. Exits with 1 and the library's message when refused.
#include "xlsbench_read.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

using namespace xls;

namespace {

TExcelVersion VersionFor(const std::filesystem::path& out, TExcelVersion read) {
    const std::u16string ext = UpperCaseWide(out.extension().u16string());
    if (ext == u".XLSX" || ext == u".XLSM") return TExcelVersion::xvExcel2007;
    if (read == TExcelVersion::xvExcel2007) return TExcelVersion::xvExcel97;
    if (read < TExcelVersion::xvExcel40) return TExcelVersion::xvExcel40;
    return read;
}

} // namespace

int RunCopy(const char* in, const char* out, const std::u16string& password,
            std::optional<TExcelVersion> version) {
    try {
        const auto start = std::chrono::steady_clock::now();
        TTabrix4 book;
        book.Password = password;
        book.SetFilename(std::filesystem::path(in).u16string());
        book.Read();
        PrintWarnings(book);
        const auto read = std::chrono::steady_clock::now();
        book.SetVersion(version ? *version : VersionFor(out, book.GetVersion()));
        book.SetFilename(std::filesystem::path(out).u16string());
        book.Write();
        PrintWarnings(book);
        const auto written = std::chrono::steady_clock::now();
        std::printf("read   %.3f s\nwrite  %.3f s\n", std::chrono::duration<double>(read - start).count(),
                    std::chrono::duration<double>(written - read).count());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xlsbench: %s\n", e.what());
        return 1;
    }
}
