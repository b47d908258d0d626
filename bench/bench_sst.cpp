// The shared string table: interning a million cell texts and writing and
// reading an SST of 200,000 strings.
#include "SrcXLS/model/SST.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace xls;

// count texts of which about uniqueShare are distinct, Latin and Cyrillic mixed.
std::vector<std::u16string> Texts(int count, double uniqueShare) {
    std::mt19937 gen(42);
    int distinct = std::max(1, int(count * uniqueShare));
    std::vector<std::u16string> pool;
    pool.reserve(size_t(distinct));
    for (int i = 0; i < distinct; ++i) {
        std::u16string t = (i % 3 == 0) ? u"Товар " : u"Item ";
        for (int n = i; n > 0; n /= 10) t.push_back(char16_t(u'0' + n % 10));
        t.append(size_t(gen() % 12), u'x');
        pool.push_back(std::move(t));
    }
    std::vector<std::u16string> texts;
    texts.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        texts.push_back(i < distinct ? pool[size_t(i)] : pool[gen() % pool.size()]);
    std::shuffle(texts.begin(), texts.end(), gen);
    return texts;
}

void BM_InternMillion(benchmark::State& state) {
    auto texts = Texts(1000000, 0.3);
    for (auto _ : state) {
        TXFonts fonts;
        TSST2 sst(&fonts);
        for (const auto& t : texts) benchmark::DoNotOptimize(sst.AddString(t));
        state.counters["unique"] = double(sst.Count());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(texts.size()));
}
BENCHMARK(BM_InternMillion)->Unit(benchmark::kMillisecond);

void BM_WriteSST(benchmark::State& state) {
    TXFonts fonts;
    TSST2 sst(&fonts);
    for (const auto& t : Texts(200000, 1.0)) sst.AddString(t);
    size_t bytes = 0;
    for (auto _ : state) {
        auto image = sst.BuildSST(0);
        bytes = image.size();
        benchmark::DoNotOptimize(image.data());
    }
    state.counters["bytes"] = double(bytes);
    state.SetItemsProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_WriteSST)->Unit(benchmark::kMillisecond);

void BM_ReadSST(benchmark::State& state) {
    TXFonts fonts;
    TSST2 sst(&fonts);
    for (const auto& t : Texts(200000, 1.0)) sst.AddString(t);
    auto image = sst.BuildSST(0);
    std::vector<std::vector<uint8_t>> pieces;
    for (size_t at = 0; at + 4 <= image.size();) {
        size_t len = size_t(image[at + 2] | (image[at + 3] << 8));
        if (image[at] != 0xFF)
            pieces.emplace_back(image.begin() + long(at + 4), image.begin() + long(at + 4 + len));
        at += 4 + len;
    }
    for (auto _ : state) {
        TSST2 back(&fonts);
        back.ParseSST(pieces);
        benchmark::DoNotOptimize(back.ReadCount());
    }
    state.SetItemsProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_ReadSST)->Unit(benchmark::kMillisecond);

} // namespace
