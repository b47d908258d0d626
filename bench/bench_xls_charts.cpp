// Charts: a workbook with 200 embedded charts of 10 series each, all over
// one block of 10,000 rows, written to a BIFF8 file and read back (every
// chart bound to the chart model on reading).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/drawing/ChartModel.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

using namespace xls;

constexpr int Charts = 200;
constexpr int Series = 10;
constexpr int Rows = 10000;

std::u16string Column(int col) {
    const std::u16string letter(1, char16_t(u'A' + col));
    return u"Sheet1!$" + letter + u"$1:$" + letter + u"$" + Utf8ToWide(std::to_string(Rows));
}

void Build(TTabrix4& book) {
    TSheet& sheet = book.GetSheet(0);
    for (int row = 0; row < Rows; ++row)
        for (int col = 0; col <= Series; ++col) sheet.SetAsFloat(col, row, row * 0.5 + col);
    for (int c = 0; c < Charts; ++c) {
        TDrwChart& chart = sheet.Charts().Add();
        chart.SetRow1(c * 18);
        chart.SetRow2(c * 18 + 16);
        // Further series after the first, each with the records of one.
        TChartRecord& record = *chart.Series[0].Record()->Parent();
        const int at = record.IndexOf(chart.Series[0].Record()) + 1;
        for (int s = 1; s < Series; ++s) {
            TChartRecord& series = record.Insert(
                std::make_unique<TChartRecord>(&record, chartid::SERIES, chart.Series[0].Record()->Body), at);
            InsertDefaultChartRecords(series, 2, nullptr);
        }
        chart.Bind();
        for (int s = 0; s < Series; ++s) {
            chart.Series[s].SetValues(Column(s + 1));
            chart.Series[s].SetCategory(Column(0));
        }
    }
}

std::filesystem::path File() {
    return std::filesystem::temp_directory_path() / "bench_xls_charts.xls";
}

void BM_WriteCharts(benchmark::State& state) {
    TTabrix4 book;
    Build(book);
    book.SetFilename(File().u16string());
    for (auto _ : state) book.Write();
    state.counters["bytes"] = double(std::filesystem::file_size(File()));
}
BENCHMARK(BM_WriteCharts)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadCharts(benchmark::State& state) {
    {
        TTabrix4 book;
        Build(book);
        book.SetFilename(File().u16string());
        book.Write();
    }
    for (auto _ : state) {
        TTabrix4 book;
        book.SetFilename(File().u16string());
        book.Read();
        if (book.GetSheet(0).Charts().Count() != Charts) state.SkipWithError("charts lost");
    }
}
BENCHMARK(BM_ReadCharts)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
