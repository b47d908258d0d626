// Exporting a goods report and a periodic goods report of a full base (5269
// goods) and the daily and periodic reports by hours (24 hours) to CSV, DBF,
// XML and XLS through the job dispatcher, the save dialog answered by a
// script; the file goes to a temporary folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

#include "console/ConsoleState.h"
#include "exchange/Dispatcher.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/ui/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
constexpr int kGoods = 5269;

class NoWindow : public exchange::JobProgress {
public:
    void SetMaximum(int32_t) override {}
    bool Step() override { return false; }
};

template <class Record> void Fill(Record& g, int n) {
    g.number = static_cast<uint16_t>(n);
    g.plu = n + 1;
    g.barcode = 4820000000000LL + int64_t{n} * 17;
    g.SetName(platform::Utf8ToAnsi("Товар номер ") + std::to_string(n));
    g.price = 50 + static_cast<uint32_t>(n * 37 % 49950);
    g.group = static_cast<uint8_t>(1 + n % 100);
    g.tax = static_cast<uint8_t>(n % 5);
    g.weighed = n % 7 == 3 ? -1 : 0;
    g.presenceControl = n % 3 == 0 ? -1 : 0;
    g.remainder = static_cast<uint32_t>(n * 311 % 200000);
    g.soldQuantity = 1000 * (1 + n % 20);
    g.salesSum = g.price * (1 + n % 20);
}

std::vector<GoodsStruct> GoodsBase() {
    std::vector<GoodsStruct> base(kGoods);
    for (int n = 0; n < kGoods; ++n) {
        Fill(base[n], n);
        base[n].discountsOnSales = base[n].salesSum / 50;
    }
    return base;
}

std::vector<PeriodicGoodsStruct> PeriodicBase() {
    std::vector<PeriodicGoodsStruct> base(kGoods);
    for (int n = 0; n < kGoods; ++n) Fill(base[n], n);
    return base;
}

template <class Line> std::vector<Line> HourLines() {
    std::vector<Line> lines(24);
    for (int h = 0; h < 24; ++h)
        lines[h] = {static_cast<uint16_t>(40 * h), static_cast<uint16_t>(h % 3),
                    static_cast<uint32_t>(456789 * h), static_cast<uint32_t>(1500 * h)};
    return lines;
}

struct Bench {
    Bench() {
        folder = fs::temp_directory_path() / ("q710exports-" + std::to_string(getpid()));
        fs::create_directories(folder);
        platform::SetRegional(platform::RegionalSettings{});
    }
    ~Bench() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
    platform::ScriptedUi ui;
    std::vector<GoodsStruct> goods = GoodsBase();
    std::vector<PeriodicGoodsStruct> periodic = PeriodicBase();
    std::vector<HourlyReportLine> hours = HourLines<HourlyReportLine>();
    std::vector<PeriodicHourlyReportLine> periodicHours = HourLines<PeriodicHourlyReportLine>();
};

Bench& Shared() {
    static Bench bench;
    return bench;
}

void Export(benchmark::State& s, int format, int kind, const char* file, int records = kGoods) {
    Bench& b = Shared();
    console::ConsoleState state;
    SharedArrays arrays;
    NoWindow progress;
    exchange::JobContext job{state, arrays, exchange::Side(), progress};
    const std::string path = (b.folder / file).string();
    for (auto _ : s) {
        s.PauseTiming();
        arrays.GoodsReport = b.goods;
        arrays.PeriodicGoodsReport = b.periodic;
        arrays.HourlyReport = b.hours;
        arrays.PeriodicHourlyReport = b.periodicHours;
        b.ui.QueueFile(path);
        s.ResumeTiming();
        if (exchange::Dispatch(job, format, kind) != exchange::DispatchResult::Ran ||
            !exchange::Side().FileWritten)
            s.SkipWithError("no file written");
    }
    s.counters["us_per_record"] = benchmark::Counter(
        double(s.iterations()) * records * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    s.counters["file_kb"] = double(fs::file_size(path)) / 1024.0;
}

void BM_GoodsReportCsv(benchmark::State& s) {
    Export(s, exchange::FormatCsv, 9, "goods.csv");
}
void BM_GoodsReportDbf(benchmark::State& s) {
    Export(s, exchange::FormatDbf, 9, "goods.dbf");
}
void BM_GoodsReportXml(benchmark::State& s) {
    Export(s, exchange::FormatXml, 9, "goods.xml");
}
void BM_GoodsReportXls(benchmark::State& s) {
    Export(s, exchange::FormatXls, 9, "goods.xls");
}
void BM_PeriodicReportCsv(benchmark::State& s) {
    Export(s, exchange::FormatCsv, 6, "periodic.csv");
}
void BM_PeriodicReportDbf(benchmark::State& s) {
    Export(s, exchange::FormatDbf, 6, "periodic.dbf");
}
void BM_PeriodicReportXml(benchmark::State& s) {
    Export(s, exchange::FormatXml, 6, "periodic.xml");
}
void BM_PeriodicReportXls(benchmark::State& s) {
    Export(s, exchange::FormatXls, 6, "periodic.xls");
}
void BM_DailyHoursCsv(benchmark::State& s) {
    Export(s, exchange::FormatCsv, 7, "hours.csv", 24);
}
void BM_DailyHoursDbf(benchmark::State& s) {
    Export(s, exchange::FormatDbf, 7, "hours.dbf", 24);
}
void BM_DailyHoursXml(benchmark::State& s) {
    Export(s, exchange::FormatXml, 7, "hours.xml", 24);
}
void BM_DailyHoursXls(benchmark::State& s) {
    Export(s, exchange::FormatXls, 7, "hours.xls", 24);
}
void BM_PeriodicHoursCsv(benchmark::State& s) {
    Export(s, exchange::FormatCsv, 8, "periodic_hours.csv", 24);
}
void BM_PeriodicHoursDbf(benchmark::State& s) {
    Export(s, exchange::FormatDbf, 8, "periodic_hours.dbf", 24);
}
void BM_PeriodicHoursXml(benchmark::State& s) {
    Export(s, exchange::FormatXml, 8, "periodic_hours.xml", 24);
}
void BM_PeriodicHoursXls(benchmark::State& s) {
    Export(s, exchange::FormatXls, 8, "periodic_hours.xls", 24);
}
BENCHMARK(BM_GoodsReportCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsReportDbf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsReportXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsReportXls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicReportCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicReportDbf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicReportXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicReportXls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DailyHoursCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DailyHoursDbf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DailyHoursXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DailyHoursXls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicHoursCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicHoursDbf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicHoursXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodicHoursXls)->Unit(benchmark::kMillisecond);

} // namespace
