// The workbook model at the size of a full BIFF8 report: 65,536 rows by 16
// columns, half numbers and half texts, filled through the sheet's setters,
// walked in storage order, turned into cell records, cleared and torn down.
// Heap bytes per cell are reported as counters. Also the small costs that
// grow badly when repeated: an empty workbook, ROW records read backwards;
// and the records a workbook keeps without owning them.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/RecordStorage.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/XLSRows.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <memory>

namespace {

using namespace xls;

constexpr int Rows = 65536;
constexpr int Cols = 16;
constexpr double Cells = double(Rows) * Cols;

size_t HeapInUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

std::u16string Name(int row, int col) {
    std::u16string t = col % 4 == 1 ? u"Товар " : u"Goods ";
    for (int n = row; n > 0; n /= 10) t.push_back(char16_t(u'0' + n % 10));
    return t;
}

void Fill(TSheet& sheet) {
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Cols; ++c) {
            if (c % 2)
                sheet.SetAsString(c, r, Name(r, c));
            else if (c % 4)
                sheet.SetAsFloat(c, r, r * 0.01 + c);
            else
                sheet.SetAsInteger(c, r, r * Cols + c);
        }
}

void BM_FillCells(benchmark::State& state) {
    double bytesPerCell = 0;
    for (auto _ : state) {
        size_t before = HeapInUse();
        TTabrix4 wb;
        Fill(wb.GetSheet(0));
        bytesPerCell = double(HeapInUse() - before) / Cells;
        benchmark::DoNotOptimize(wb.GetSheet(0).Cells().Count());
    }
    state.counters["bytes/cell"] = bytesPerCell;
    state.counters["cells/s"] = benchmark::Counter(Cells, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FillCells)->Unit(benchmark::kMillisecond);

void BM_WalkCells(benchmark::State& state) {
    TTabrix4 wb;
    Fill(wb.GetSheet(0));
    TCellValues& store = wb.GetSheet(0).Cells();
    for (auto _ : state) {
        double sum = 0;
        store.BeginIterate();
        while (TCell* cell = store.NextCell()) {
            double v;
            if (cell->GetNumber(v)) sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["cells/s"] = benchmark::Counter(Cells, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WalkCells)->Unit(benchmark::kMillisecond);

void BM_FindCells(benchmark::State& state) {
    TTabrix4 wb;
    Fill(wb.GetSheet(0));
    TSheet& sheet = wb.GetSheet(0);
    for (auto _ : state) {
        int64_t n = 0;
        for (int c = 0; c < Cols; ++c)
            for (int r = 0; r < Rows; ++r) n += sheet.GetCellType(c, r);
        benchmark::DoNotOptimize(n);
    }
    state.counters["cells/s"] = benchmark::Counter(Cells, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FindCells)->Unit(benchmark::kMillisecond);

void BM_WriteCellRecords(benchmark::State& state) {
    TTabrix4 wb;
    Fill(wb.GetSheet(0));
    size_t recordBytes = 0, peakPerCell = 0;
    for (auto _ : state) {
        size_t before = HeapInUse();
        std::vector<uint8_t> out;
        TXLSStream stream;
        stream.TargetStream = &out;
        stream.OpenWrite("", TExcelVersion::xvExcel40);
        wb.Sheets().WriteSST(stream);
        wb.GetSheet(0).WriteSheetCells(TExcelVersion::xvExcel97, stream);
        peakPerCell = (HeapInUse() - before) / size_t(Cells);
        stream.Close();
        recordBytes = out.size();
    }
    state.counters["record bytes/cell"] = double(recordBytes) / Cells;
    state.counters["write heap bytes/cell"] = double(peakPerCell);
    state.counters["cells/s"] = benchmark::Counter(Cells, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WriteCellRecords)->Unit(benchmark::kMillisecond);

// A full workbook destroyed (arg 0) or its sheet cleared (arg 1): the cells
// and their strings go in bulk.
void BM_Teardown(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto wb = std::make_unique<TTabrix4>();
        Fill(wb->GetSheet(0));
        state.ResumeTiming();
        if (state.range(0) == 1) wb->GetSheet(0).Clear();
        wb.reset();
    }
    state.counters["cells/s"] = benchmark::Counter(Cells, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Teardown)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What every reader fuzz run and every small export pays at least.
void BM_EmptyWorkbook(benchmark::State& state) {
    for (auto _ : state) {
        TTabrix4 wb;
        benchmark::DoNotOptimize(wb.GetSheet(0).Cells().Count());
    }
}
BENCHMARK(BM_EmptyWorkbook)->Unit(benchmark::kMicrosecond);

// A million tiny records the model does not own, added as a reader adds
// them (bodies of 0 to 7 bytes), then dropped with the list.
void BM_KeptRecords(benchmark::State& state) {
    constexpr int Count = 1'000'000;
    const uint8_t body[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    double bytesPerRecord = 0;
    for (auto _ : state) {
        size_t before = HeapInUse();
        TBaseRecordStorage list;
        for (int i = 0; i < Count; ++i) list.Add(0x0123, std::span<const uint8_t>(body, size_t(i % 8)));
        bytesPerRecord = double(HeapInUse() - before) / Count;
        benchmark::DoNotOptimize(list.Count());
    }
    state.counters["bytes/record"] = bytesPerRecord;
    state.counters["records/s"] = benchmark::Counter(Count, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KeptRecords)->Unit(benchmark::kMillisecond);

// 65,536 ROW records read in ascending (arg 0) or descending (arg 1) order.
void BM_ReadRowRecords(benchmark::State& state) {
    std::vector<std::vector<uint8_t>> bodies;
    for (int i = 0; i < Rows; ++i) {
        std::vector<uint8_t> b(16, 0);
        PutU16(b.data(), uint16_t(state.range(0) ? Rows - 1 - i : i));
        PutU16(b.data() + 6, 300);
        PutU16(b.data() + 12, 0x0140);
        bodies.push_back(std::move(b));
    }
    TTabrix4 wb;
    for (auto _ : state) {
        TXLSRows rows(&wb.DefaultFormats());
        for (const auto& b : bodies) rows.LoadRowRecord(b);
        benchmark::DoNotOptimize(rows.Find(Rows / 2));
    }
    state.counters["rows/s"] = benchmark::Counter(Rows, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadRowRecords)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
