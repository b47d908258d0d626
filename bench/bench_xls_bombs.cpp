// Damaged workbooks that claim or expand to far more than they hold, each
// read by a child process under an address-space limit: six and twenty
// metafile pictures of 200 MB of zeros, 200 pictures of 10 bytes that claim
// 256 MiB or 60 MiB each (a file of 52 KB), a macro project whose module
// source or dir stream is 70,000 copies of one 6-byte chunk, and packages
// with a 500 MiB shared string and with 1000 MiB of blanks and comments in
// a sheet part; twenty drawing groups of one 60 MiB metafile each, twenty
// and two hundred metafiles that claim 60 MiB and inflate to one byte short;
// packages with 60 hyperlinks of a 15 MiB display text, 450 extension texts
// of 1.9 MiB, a tag of 17, 24 or 31 MiB and workbook relationships that
// claim 1 GiB over 2 MB; workbooks of 20,000 and 10,000 one-cell sheets,
// and of 300 sheets of a picture each, one picture's store entry broken;
// Excel 97 and Excel 4 workbooks of 30,000 to a million FORMAT records;
// packages of millions of small elements (rich runs of one shared string,
// empty elements in an extension or a row, fonts).
// Counters: the file's size and the child's peak resident
// memory; "failed" is 1 when the read raised (the limit included). BOMB_DIR
// keeps the files in that folder; `xlsbench read` shows what each read
// leaves behind.
#include "bench/xls_bombs.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

// What the child process may map beyond the benchmark's own: the bombs must
// stay far below it.
constexpr size_t AddressLimit = size_t(2) << 30;

fs::path Folder() {
    const char* kept = std::getenv("BOMB_DIR");
    fs::path dir = kept ? fs::path(kept) : fs::temp_directory_path() / "bench_xls_bombs";
    fs::create_directories(dir);
    return dir;
}

// The file, made once per process.
fs::path Made(const std::string& name, const std::function<void(const fs::path&)>& make) {
    const fs::path file = Folder() / name;
    if (!fs::exists(file)) make(file);
    return file;
}

void Run(benchmark::State& state, const fs::path& file) {
    bombs::TLimitedRun last;
    for (auto _ : state) {
        last = bombs::RunLimited(AddressLimit, [&file] {
            xls::TTabrix4 book;
            book.SetFilename(file.u16string());
            book.Read();
        });
        state.SetIterationTime(last.Seconds);
    }
    state.counters["file_KB"] = double(fs::file_size(file)) / 1024.0;
    state.counters["peak_MB"] = last.PeakMB;
    state.counters["failed"] = last.Ok ? 0 : 1;
}

void BM_SixPicturesOfZeros(benchmark::State& state) {
    Run(state,
        Made("six_emf_200MB.xls", [](const fs::path& f) { bombs::PicturesOfZeros(f, 6, 200u << 20); }));
}
BENCHMARK(BM_SixPicturesOfZeros)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TwentyPicturesOfZeros(benchmark::State& state) {
    Run(state,
        Made("twenty_emf_200MB.xls", [](const fs::path& f) { bombs::PicturesOfZeros(f, 20, 200u << 20); }));
}
BENCHMARK(BM_TwentyPicturesOfZeros)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PicturesClaiming256MiB(benchmark::State& state) {
    Run(state,
        Made("claims_256MiB.xls", [](const fs::path& f) { bombs::PicturesClaiming(f, 200, 256u << 20); }));
}
BENCHMARK(BM_PicturesClaiming256MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PicturesClaiming60MiB(benchmark::State& state) {
    Run(state,
        Made("claims_60MiB.xls", [](const fs::path& f) { bombs::PicturesClaiming(f, 200, 60u << 20); }));
}
BENCHMARK(BM_PicturesClaiming60MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MacroModuleChunks(benchmark::State& state) {
    Run(state,
        Made("macro_module_chunks.xls", [](const fs::path& f) { bombs::MacroChunks(f, 70000, false); }));
}
BENCHMARK(BM_MacroModuleChunks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MacroDirChunks(benchmark::State& state) {
    Run(state, Made("macro_dir_chunks.xls", [](const fs::path& f) { bombs::MacroChunks(f, 70000, true); }));
}
BENCHMARK(BM_MacroDirChunks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PackageLongString(benchmark::State& state) {
    Run(state, Made("string_500MiB.xlsx",
                    [](const fs::path& f) { bombs::PackageLongString(f, uint64_t(500) << 20); }));
}
BENCHMARK(BM_PackageLongString)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PackageBlanks(benchmark::State& state) {
    Run(state, Made("blanks_1000MiB.xlsx",
                    [](const fs::path& f) { bombs::PackageBlanks(f, uint64_t(1000) << 20); }));
}
BENCHMARK(BM_PackageBlanks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GroupsOfOnePicture(benchmark::State& state) {
    Run(state,
        Made("groups_20x60MiB.xls", [](const fs::path& f) { bombs::GroupsOfOnePicture(f, 20, 60u << 20); }));
}
BENCHMARK(BM_GroupsOfOnePicture)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PicturesOneByteShort(benchmark::State& state) {
    const int count = int(state.range(0));
    Run(state, Made("short_" + std::to_string(count) + "x60MiB.xls",
                    [count](const fs::path& f) { bombs::PicturesOneByteShort(f, count, 60u << 20); }));
}
BENCHMARK(BM_PicturesOneByteShort)
    ->Arg(20)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_PackageHyperlinks(benchmark::State& state) {
    Run(state, Made("hyperlinks_60x15MiB.xlsx",
                    [](const fs::path& f) { bombs::PackageHyperlinks(f, 60, uint64_t(15) << 20); }));
}
BENCHMARK(BM_PackageHyperlinks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PackageExtensions(benchmark::State& state) {
    Run(state, Made("extensions_450x1.9MiB.xlsx",
                    [](const fs::path& f) { bombs::PackageExtensions(f, 450, (uint64_t(19) << 20) / 10); }));
}
BENCHMARK(BM_PackageExtensions)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PackageLongTag(benchmark::State& state) {
    const uint64_t mib = uint64_t(state.range(0));
    Run(state, Made("tag_" + std::to_string(mib) + "MiB.xlsx",
                    [mib](const fs::path& f) { bombs::PackageLongTag(f, mib << 20); }));
}
BENCHMARK(BM_PackageLongTag)
    ->Arg(17)
    ->Arg(24)
    ->Arg(31)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_PackageClaimingRelations(benchmark::State& state) {
    Run(state, Made("relations_1GiB.xlsx",
                    [](const fs::path& f) { bombs::PackageClaimingRelations(f, (1u << 30) - 1, 2000000); }));
}
BENCHMARK(BM_PackageClaimingRelations)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ManySheets(benchmark::State& state) {
    const int count = int(state.range(0));
    Run(state, Made("sheets_" + std::to_string(count) + ".xls",
                    [count](const fs::path& f) { bombs::ManySheets(f, count); }));
}
BENCHMARK(BM_ManySheets)
    ->Arg(10000)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// 300 sheets of a picture each, one picture's store entry broken (its BSE
// size, or with 1 its picture record's length).
void BM_SheetsWithADamagedPicture(benchmark::State& state) {
    const bool inBlip = state.range(0) != 0;
    Run(state, Made(std::string("sheets_300_damaged_") + (inBlip ? "blip" : "bse") + ".xls",
                    [inBlip](const fs::path& f) { bombs::SheetsWithADamagedPicture(f, 300, 150, inBlip); }));
}
BENCHMARK(BM_SheetsWithADamagedPicture)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// FORMAT records in the globals: Excel 97 (range 0) and Excel 4 (range 1)
// files of `count` of them.
void BM_FormatRecords(benchmark::State& state) {
    const bool biff4 = state.range(0) != 0;
    const int count = int(state.range(1));
    Run(state, Made(std::string("formats_") + (biff4 ? "biff4_" : "biff8_") + std::to_string(count) + ".xls",
                    [count, biff4](const fs::path& f) { bombs::FormatRecords(f, count, biff4); }));
}
BENCHMARK(BM_FormatRecords)
    ->Args({0, 30000})
    ->Args({0, 60000})
    ->Args({0, 120000})
    ->Args({0, 1000000})
    ->Args({1, 40000})
    ->Args({1, 80000})
    ->Args({1, 160000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Packages of millions of small elements (bombs::ElementPackages).
void BM_PackageElements(benchmark::State& state) {
    const bombs::TElementPackage& package = bombs::ElementPackages[state.range(0)];
    state.SetLabel(package.Name);
    Run(state, Made(package.Name, package.Make));
}
BENCHMARK(BM_PackageElements)
    ->DenseRange(0, int(std::size(bombs::ElementPackages)) - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
