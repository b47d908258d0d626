// Builds a workbook through the component's public operations and writes
// it, printing the time of the build and of the write and the peak memory.
//   xlsbench write goods FILE   a goods report: captions and 20,000 rows
//   xlsbench write big FILE     65,536 rows x 16 columns, half numbers, half texts
//   xlsbench write half|double FILE   32,768 such rows, or two sheets of 65,536
// The file's extension chooses the format (.xlsx, .xlsm: a package; others BIFF8). --password TEXT
// encrypts the written workbook, or opens an encrypted one for reading.
//   xlsbench read|dump FILE, xlsbench copy IN OUT: see xlsbench_read.cpp and
//   xlsbench_copy.cpp; xlsbench records|limit|replace: see xlsbench_model.cpp.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "xlsbench_read.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <vector>

using namespace xls;

namespace {

using Clock = std::chrono::steady_clock;

std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

void BuildGoods(TTabrix4& book) {
    TSheet& sheet = book.GetSheet(0);
    const char16_t* captions[] = {u"Номер", u"Код",     u"Штрих-код", u"Назва",   u"Ціна", u"Залишок",
                                  u"Група", u"Податок", u"Вагов.",    u"Продано", u"Сума", u"Повернено"};
    for (int c = 0; c < 12; ++c) sheet.SetAsString(c, 0, captions[c]);
    sheet.Range().SetArea(0, 0, 11, 0).SetFontStyle(1);
    sheet.Range().SetArea(0, 0, 11, 0).SetFontColor(0x0000FF);
    for (int i = 0; i < 20000; ++i) {
        const int r = i + 1;
        sheet.SetAsInteger(0, r, i);
        sheet.SetAsInteger(1, r, 100000 + i);
        sheet.SetAsFloat(2, r, 4820000000000.0 + i);
        sheet.SetAsString(3, r, u"Товар тестовий №" + Wide(std::to_string(i)) + u" молоко пастеризоване");
        sheet.SetAsFloat(4, r, (i % 977) * 1.25);
        sheet.SetAsFloat(5, r, double((i * 7) % 1000) / 1000);
        sheet.SetAsInteger(6, r, 1 + i % 100);
        sheet.SetAsInteger(7, r, 1 + i % 5);
        sheet.SetAsInteger(8, r, i % 2);
        sheet.SetAsInteger(9, r, i % 50);
        sheet.SetAsFloat(10, r, (i % 50) * 1.25);
        sheet.SetAsInteger(11, r, i % 3);
    }
    sheet.AutoWidthCols(0, 11);
}

// 16 columns a row, half numbers and half texts, cells numbered on from
// `first`: the big sheet, half of it, and two of them in one workbook.
void BuildBig(TSheet& sheet, int rows, long first) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 16; ++c) {
            const long n = first + long(r) * 16 + c;
            if (c < 8)
                sheet.SetAsFloat(c, r, double(n) * 0.5);
            else
                sheet.SetAsString(c, r, u"S" + Wide(std::to_string(n % 314573)));
        }
}

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

int Usage() {
    std::fprintf(stderr, "usage: xlsbench write goods|big|half|double|formulas FILE [--password TEXT]\n"
                         "       xlsbench read|dump|formulas|recalc FILE [--password TEXT]\n"
                         "       xlsbench dump --shown FILE\n"
                         "       xlsbench copy IN OUT [--version 2007|8|5|4] [--password TEXT]\n"
                         "       xlsbench records N FILE | limit FILE | replace N\n");
    return 2;
}

// The versions a copy writes, by the names --version takes.
std::optional<TExcelVersion> WrittenVersion(std::string_view name) {
    static constexpr std::pair<std::string_view, TExcelVersion> versions[] = {
        {"2007", TExcelVersion::xvExcel2007},
        {"8", TExcelVersion::xvExcel97},
        {"5", TExcelVersion::xvExcel50},
        {"4", TExcelVersion::xvExcel40},
    };
    for (const auto& [text, v] : versions)
        if (name == text) return v;
    return std::nullopt;
}

double PeakBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024;
}

int RunWrite(const std::string& workload, const std::string& file, const std::u16string& password) {
    if (workload != "goods" && workload != "big" && workload != "half" && workload != "double" &&
        workload != "formulas")
        return 2;
    const std::string ext = file.size() >= 5 ? file.substr(file.size() - 5) : "";
    try {
        const auto start = Clock::now();
        TTabrix4 book;
        book.SetVersion(ext == ".xlsx" || ext == ".xlsm" ? TExcelVersion::xvExcel2007
                                                         : TExcelVersion::xvExcel97);
        long cells = 0;
        if (workload == "goods") {
            BuildGoods(book);
            cells = 12 + 20000L * 12;
        } else if (workload == "formulas") {
            BuildFormulas(book);
            cells = 10000L * 11;
        } else if (workload == "half") {
            BuildBig(book.GetSheet(0), 32768, 0);
            cells = 32768L * 16;
        } else {
            BuildBig(book.GetSheet(0), 65536, 0);
            cells = 65536L * 16;
            if (workload == "double") {
                BuildBig(book.Sheets().Add(0), 65536, cells);
                cells *= 2;
            }
        }
        const auto built = Clock::now();
        book.SetFilename(std::filesystem::path(file).u16string());
        book.Password = password;
        book.Write();
        const auto written = Clock::now();

        const double peak = PeakBytes();
        std::printf("workload %s, %ld cells\n", workload.c_str(), cells);
        std::printf("build  %.3f s\n", Seconds(start, built));
        std::printf("write  %.3f s\n", Seconds(built, written));
        std::printf("total  %.3f s\n", Seconds(start, written));
        std::printf("peak   %.1f MB, %.0f bytes per cell\n", peak / 1e6, peak / double(cells));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xlsbench: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int rawArgc, char** rawArgv) {
    const auto start = Clock::now();
    // --password TEXT, --version V and --shown may stand anywhere; the other
    // arguments keep their order.
    std::vector<char*> args;
    std::u16string password;
    std::optional<TExcelVersion> version;
    bool shown = false;
    for (int i = 0; i < rawArgc; ++i) {
        if (std::strcmp(rawArgv[i], "--shown") == 0) {
            shown = true;
        } else if (std::strcmp(rawArgv[i], "--password") == 0) {
            if (++i == rawArgc) return Usage();
            password = Utf8ToWide(rawArgv[i]);
        } else if (std::strcmp(rawArgv[i], "--version") == 0) {
            if (++i == rawArgc) return Usage();
            version = WrittenVersion(rawArgv[i]);
            if (!version) return Usage();
        } else {
            args.push_back(rawArgv[i]);
        }
    }
    const int argc = int(args.size());
    char** argv = args.data();
    int status = 2;
    if (argc == 3 && std::strcmp(argv[1], "read") == 0)
        status = RunRead(argv[2], password);
    else if (argc == 3 && std::strcmp(argv[1], "dump") == 0)
        status = RunDump(argv[2], password, shown);
    else if (argc == 3 && std::strcmp(argv[1], "formulas") == 0)
        status = RunFormulas(argv[2], password);
    else if (argc == 3 && std::strcmp(argv[1], "recalc") == 0)
        status = RunRecalc(argv[2], password);
    else if (argc == 4 && std::strcmp(argv[1], "copy") == 0)
        status = RunCopy(argv[2], argv[3], password, version);
    else if (argc == 4 && std::strcmp(argv[1], "write") == 0)
        status = RunWrite(argv[2], argv[3], password);
    else if (argc >= 3)
        status = RunModel(argc - 1, argv + 1);
    // Only a copy chooses the version it writes.
    if (status == 2 || (version && std::strcmp(argv[1], "copy") != 0)) return Usage();
    // The whole process as a user runs it: every workbook is gone by now.
    if (!(argc == 3 && (std::strcmp(argv[1], "dump") == 0 || std::strcmp(argv[1], "formulas") == 0)))
        std::printf("process %.3f s, peak %.1f MB\n", Seconds(start, Clock::now()), PeakBytes() / 1e6);
    return status;
}
