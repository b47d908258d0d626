// Compound files and the record stream at sizes well beyond a real export:
// building and parsing a 100 MB image, and writing and reading a million records.
#include "SrcXLS/formats/XLSStream.h"

#include <benchmark/benchmark.h>

using platform::cfb::CompoundFile;

namespace {

constexpr size_t Big = 100u * 1024 * 1024;

CompoundFile BigTree() {
    CompoundFile f;
    std::vector<uint8_t> bytes(Big);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + (i >> 12));
    f.Root().AddStream(u"Workbook", std::move(bytes));
    f.Root().AddStream(u"\x05SummaryInformation", std::vector<uint8_t>(400, 1));
    auto& vba = f.Root().AddStorage(u"_VBA_PROJECT_CUR");
    for (int i = 0; i < 50; ++i)
        vba.AddStream(u"Module" + std::u16string(1, char16_t(u'A' + i % 26)) +
                          std::u16string(1, char16_t(u'a' + i / 26)),
                      std::vector<uint8_t>(3000, uint8_t(i)));
    return f;
}

void BM_CompoundSerialize100MB(benchmark::State& state) {
    CompoundFile f = BigTree();
    for (auto _ : state) {
        std::vector<uint8_t> image = f.Serialize();
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Big));
}

void BM_CompoundParse100MB(benchmark::State& state) {
    std::vector<uint8_t> image = BigTree().Serialize();
    for (auto _ : state) {
        CompoundFile f = CompoundFile::Parse(image);
        benchmark::DoNotOptimize(&f);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}

// A million 14-byte cell-like records, written and closed into an image.
std::vector<uint8_t> WriteRecords() {
    std::vector<uint8_t> image;
    xls::TXLSStream s;
    s.TargetStream = &image;
    s.OpenWrite("", xls::TExcelVersion::xvExcel97);
    uint8_t body[10] = {};
    for (uint32_t i = 0; i < 1000000; ++i) {
        s.WriteHeader(0x00FD, 10);
        body[0] = uint8_t(i);
        body[2] = uint8_t(i >> 8);
        s.WriteRecordData(body, sizeof body);
    }
    s.Close();
    return image;
}

void BM_XLSStreamWriteMillionRecords(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(WriteRecords().data());
    state.SetItemsProcessed(int64_t(state.iterations()) * 1000000);
}

void BM_XLSStreamReadMillionRecords(benchmark::State& state) {
    std::vector<uint8_t> image = WriteRecords();
    for (auto _ : state) {
        xls::TXLSStream s;
        s.SourceStream = &image;
        s.OpenRead("");
        xls::TBIFFHeader h;
        uint8_t body[16];
        int64_t n = 0;
        while (s.ReadHeader(h) == 4) n += s.ReadRecordData(body, h.Length);
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 1000000);
}

} // namespace

BENCHMARK(BM_CompoundSerialize100MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompoundParse100MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XLSStreamWriteMillionRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XLSStreamReadMillionRecords)->Unit(benchmark::kMillisecond);
