// Importing a full goods base (5269 goods) from XML, XLS, CSV and DBF files
// that the program's own report export wrote: the file read and checked, the
// records built, the duplicate-PLU log written. The register is not asked
// (the size of its table is given), so the time is the program's own.
// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/Tabrix4.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

#include "console/ConsoleState.h"
#include "exchange/Dispatcher.h"
#include "exchange/DuplicatePluLog.h"
#include "exchange/GoodsImport.h"
#include "exchange/JobWorkbook.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/XmlDocument.h"
#include "platform/ui/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
constexpr int kGoods = 5269;

class NoWindow : public exchange::JobProgress {
public:
    void SetMaximum(int32_t) override {}
    bool Step() override { return false; }
};

std::vector<GoodsStruct> GoodsBase() {
    std::vector<GoodsStruct> base(kGoods);
    for (int n = 0; n < kGoods; ++n) {
        GoodsStruct& g = base[static_cast<std::size_t>(n)];
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
    }
    return base;
}

// The files, written once by the report exports.
struct Files {
    Files() {
        folder = fs::temp_directory_path() / ("q710imports-" + std::to_string(getpid()));
        fs::create_directories(folder);
        platform::SetRegional(platform::RegionalSettings{});
        console::ConsoleState state;
        SharedArrays arrays;
        NoWindow progress;
        exchange::JobContext job{state, arrays, exchange::Side(), progress};
        for (int format = 0; format < exchange::FormatCount; ++format) {
            arrays.GoodsReport = GoodsBase();
            paths[format] =
                (folder / ("goods." + std::string(exchange::DialogTextOf(format)->defaultExt))).string();
            ui.QueueFile(paths[format]);
            exchange::Dispatch(job, format, 5);
        }
    }
    ~Files() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
    platform::ScriptedUi ui;
    std::string paths[exchange::FormatCount];
};

Files& TheFiles() {
    static Files files;
    return files;
}

void Import(benchmark::State& s, int format) {
    Files& files = TheFiles();
    const std::string& path = files.paths[format];
    console::CsvOptionsRecord options;
    exchange::JobSide& side = exchange::Side();
    platform::XmlDocument document;
    std::size_t imported = 0;
    for (auto _ : s) {
        std::vector<GoodsProg> goods;
        std::vector<exchange::GoodsDupCheckRecord> dupCheck;
        exchange::GoodsImportRun run(
            kGoods, false, goods, dupCheck,
            [](const std::string&, const std::string&, unsigned) { return 0; }, [] { return false; });
        bool done = false;
        switch (format) {
        case exchange::FormatXml:
            done = exchange::ReadGoodsXmlFile(run, document, path);
            break;
        case exchange::FormatXls:
            done = exchange::ReadGoodsXlsFile(run, exchange::JobWorkbook(side), path);
            break;
        case exchange::FormatCsv:
            done = exchange::ReadGoodsCsvFile(run, path, options);
            break;
        default:
            done = exchange::ReadGoodsDbfFile(run, path);
        }
        exchange::WriteDuplicatePluLog(path, dupCheck);
        imported = goods.size();
        if (!done || imported != kGoods) s.SkipWithError("the file did not import whole");
    }
    s.counters["goods"] = static_cast<double>(imported);
    s.counters["file_kb"] = double(fs::file_size(path)) / 1024.0;
}

void BM_GoodsImportXml(benchmark::State& s) {
    Import(s, exchange::FormatXml);
}
void BM_GoodsImportXls(benchmark::State& s) {
    Import(s, exchange::FormatXls);
}
void BM_GoodsImportCsv(benchmark::State& s) {
    Import(s, exchange::FormatCsv);
}
void BM_GoodsImportDbf(benchmark::State& s) {
    Import(s, exchange::FormatDbf);
}
BENCHMARK(BM_GoodsImportXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsImportXls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsImportCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GoodsImportDbf)->Unit(benchmark::kMillisecond);

} // namespace
