// The model's limits through xlsbench:
//   xlsbench records N FILE   a sheet that keeps N empty records the model does not
//                             own (4 bytes each in the file); read it back with
//                             xlsbench read FILE
//   xlsbench limit FILE       1,048,576 rows x 16 columns (half numbers, half texts)
//                             in one sheet, then written (FILE: .xlsx)
//   xlsbench replace N        one cell replaced N times (a new text, then a number),
//                             resident memory printed every million
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "xlsbench_read.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace xls;

namespace {

using Clock = std::chrono::steady_clock;

// An id no BIFF version gives a meaning, so readers keep it as it is.
constexpr uint16_t UnownedId = 0x0123;

double Since(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double ResidentMB() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

// As a reader leaves the list: the BOF, the kept records, then the other
// defaults up to the EOF.
int RunRecords(long count, const char* file) {
    const auto start = Clock::now();
    TTabrix4 book;
    TRecordStorageSheet& list = book.GetSheet(0).Records();
    const TRecordBlock& bof = *list.TemplateAt(0);
    list.UpdateDefault(TBIFFHeader{bof.Id(), bof.Length()}, bof.Body());
    for (long i = 0; i < count; ++i) list.Add(UnownedId, {});
    list.UpdateDefault(TBIFFHeader{biff::EOF_RECORD, 0}, {});
    std::printf("records %ld, list %.1f MB (%.1f bytes per record)\n", count,
                double(list.BytesReserved()) / 1e6, double(list.BytesReserved()) / double(count ? count : 1));
    book.SetFilename(std::filesystem::path(file).u16string());
    book.Write();
    std::printf("write  %.3f s\n", Since(start));
    return 0;
}

void FillBig(TSheet& sheet, int rows) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 16; ++c) {
            const long n = long(r) * 16 + c;
            if (c < 8)
                sheet.SetAsFloat(c, r, double(n) * 0.5);
            else
                sheet.SetAsString(c, r, u"S" + Utf8ToWide(std::to_string(n % 314573)));
        }
}

int RunLimit(const char* file) {
    const auto start = Clock::now();
    TTabrix4 book;
    book.SetVersion(TExcelVersion::xvExcel2007);
    const int rows = TCellStorage::MaxRow + 1;
    FillBig(book.GetSheet(0), rows);
    std::printf("cells %ld, build %.3f s, resident %.1f MB\n", long(rows) * 16, Since(start), ResidentMB());
    book.SetFilename(std::filesystem::path(file).u16string());
    book.Write();
    std::printf("total  %.3f s\n", Since(start));
    return 0;
}

int RunReplace(long count) {
    const auto start = Clock::now();
    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    for (long i = 1; i <= count; ++i) {
        if (i % 2)
            sheet.SetAsString(3, 7, u"T" + Utf8ToWide(std::to_string(i)));
        else
            sheet.SetAsFloat(3, 7, double(i));
        if (i % 1000000 == 0) std::printf("%ld replaced, resident %.1f MB\n", i, ResidentMB());
    }
    std::printf("cells %lld, strings %d, total %.3f s\n", static_cast<long long>(sheet.Cells().Count()),
                book.Strings().StringCount(), Since(start));
    return 0;
}

} // namespace

int RunModel(int argc, char** argv) {
    const std::string command = argv[0];
    try {
        if (command == "records" && argc == 3) return RunRecords(std::stol(argv[1]), argv[2]);
        if (command == "limit" && argc == 2) return RunLimit(argv[1]);
        if (command == "replace" && argc == 2) return RunReplace(std::stol(argv[1]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xlsbench: %s\n", e.what());
        return 1;
    }
    return 2;
}
