// Formula text in both directions over 100,000 formulas of the real files'
// mix: every BIFF8 formula of the real-world test files (folder from
// Q710_REALWORLD, else ../shared/testdata/realworld beside the source tree),
// repeated until there are 100,000, decoded to text, and that text encoded
// back to tokens.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/model/Cell.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace xls;
namespace fs = std::filesystem;

constexpr size_t FormulaCount = 100000;

struct TSample {
    TFormulaHandler* Handler;
    std::vector<uint8_t> Data;
    size_t TokenLength;
    int Row, Col, Sheet;
    std::u16string Text;
};

struct TMix {
    std::vector<std::unique_ptr<TTabrix4>> Books;
    std::vector<TSample> Samples;
};

fs::path CorpusDir() {
    if (const char* dir = std::getenv("Q710_REALWORLD")) return dir;
    return fs::path(__FILE__).parent_path() / ".." / ".." / "shared" / "testdata" / "realworld";
}

const TMix& Mix() {
    static TMix mix = [] {
        TMix m;
        std::error_code error;
        for (const auto& e : fs::recursive_directory_iterator(CorpusDir(), error)) {
            std::string ext = e.path().extension().string();
            for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (!e.is_regular_file() || ext != ".xls") continue;
            auto book = std::make_unique<TTabrix4>();
            try {
                book->SetFilename(e.path().u16string());
                book->Read();
            } catch (const XLSError&) {
                continue;
            }
            if (book->GetVersion() != TExcelVersion::xvExcel97) continue;
            for (int s = 0; s < book->Sheets().Count(); ++s) {
                TCellValues& cells = book->GetSheet(s).Cells();
                cells.BeginIterate();
                while (TCell* c = cells.NextCell()) {
                    auto* f = dynamic_cast<TFormulaCell*>(c);
                    if (!f || dynamic_cast<TBaseArrayFormulaCell*>(f) || f->TokenLength() == 0) continue;
                    TSample sample{&book->FormulaHandler(),
                                   {f->Data().begin(), f->Data().end()},
                                   size_t(f->TokenLength()),
                                   int(f->Row),
                                   f->Col,
                                   s,
                                   {}};
                    try {
                        sample.Text = sample.Handler->DecodeFormula(
                            sample.Data, sample.TokenLength,
                            {.Row = sample.Row, .Col = sample.Col, .FileSyntax = true});
                        sample.Handler->EncodeFormula(sample.Text,
                                                      {.Sheet = s, .FileSyntax = true, .BIFF8 = true});
                    } catch (const XLSError&) {
                        continue; // formulas that do not go both ways are left out of the mix
                    }
                    m.Samples.push_back(std::move(sample));
                }
            }
            m.Books.push_back(std::move(book));
        }
        return m;
    }();
    return mix;
}

void BM_Decode100k(benchmark::State& state) {
    const TMix& mix = Mix();
    if (mix.Samples.empty()) {
        state.SkipWithError("no real-world files");
        return;
    }
    for (auto _ : state) {
        size_t chars = 0;
        for (size_t i = 0; i < FormulaCount; ++i) {
            const TSample& s = mix.Samples[i % mix.Samples.size()];
            chars +=
                s.Handler
                    ->DecodeFormula(s.Data, s.TokenLength, {.Row = s.Row, .Col = s.Col, .FileSyntax = true})
                    .size();
        }
        benchmark::DoNotOptimize(chars);
    }
    state.counters["distinct"] = double(mix.Samples.size());
    size_t chars = 0, bytes = 0;
    for (const TSample& s : mix.Samples) {
        chars += s.Text.size();
        bytes += s.TokenLength;
    }
    // The size of the mix's average formula, as text and as tokens.
    state.counters["chars"] = double(chars) / double(mix.Samples.size());
    state.counters["tokenBytes"] = double(bytes) / double(mix.Samples.size());
}

void BM_Encode100k(benchmark::State& state) {
    const TMix& mix = Mix();
    if (mix.Samples.empty()) {
        state.SkipWithError("no real-world files");
        return;
    }
    for (auto _ : state) {
        size_t bytes = 0;
        for (size_t i = 0; i < FormulaCount; ++i) {
            const TSample& s = mix.Samples[i % mix.Samples.size()];
            bytes += s.Handler->EncodeFormula(s.Text, {.Sheet = s.Sheet, .FileSyntax = true, .BIFF8 = true})
                         .Data.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
}

} // namespace

BENCHMARK(BM_Decode100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode100k)->Unit(benchmark::kMillisecond);
