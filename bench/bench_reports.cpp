// Reading a full goods base (5269 goods) from the simulated register through
// the main window's reading loop, offscreen with a scripted user, with and
// without saving the XML report; and the library's own cost for the same
// batch, so the loop's share per record can be told apart.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include "app/Program.h"
#include "console/RadioGroup.h"
#include "console/TForm6.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/ui/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
constexpr int kGoods = 5269;

fs::path ProgramFolderOfThisRun() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// One program, connected to a simulated register holding a full base.
class Bench {
public:
    Bench() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "bench_reports";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) app = std::make_unique<QApplication>(argc, argv);
        folder = fs::temp_directory_path() / ("q710bench-" + std::to_string(getpid()));
        fs::create_directories(folder);
        fs::copy_file(ProgramFolderOfThisRun() / device::DeviceLibrary::FileName,
                      folder / device::DeviceLibrary::FileName, fs::copy_options::overwrite_existing);
        std::ofstream(folder / "scenario.txt") << "seed-goods " << kGoods << "\n";
        setenv("Q710_SIM_STATE", (folder / "state.bin").c_str(), 1);
        setenv("Q710_SIM_SCENARIO", (folder / "scenario.txt").c_str(), 1);
        unsetenv("Q710_SIM_LOG");
        platform::SetProgramFolder(folder.string());
        ui = std::make_unique<platform::ScriptedUi>();
        program = std::make_unique<app::Program>();
        if (!program->Create()) std::abort();
        Form().Connect->trigger();
        exportJob = program->state.RunExchangeJob;
    }
    ~Bench() {
        program.reset();
        ui.reset();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    console::TForm1& Form() { return *program->windows.Form1; }

    // The report by all goods, whole base, every record.
    void QueueWholeBase() {
        ui->QueueModal([](QDialog& d) {
            auto& options = static_cast<console::TForm6&>(d);
            options.RGMode1->Click(3);
            options.Button1Click();
            return options.result();
        });
        ui->QueueAnswer(platform::IdNo); // not only failure records
    }

    fs::path folder;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<platform::ScriptedUi> ui;
    std::unique_ptr<app::Program> program;
    std::function<bool(console::ConsoleState&)> exportJob;
};

Bench& Shared() {
    static Bench bench;
    return bench;
}

// The batch as the library alone delivers it: first call, then NextCommand.
void BM_LibraryBatchOnly(benchmark::State& s) {
    Bench& b = Shared();
    const device::DeviceApi& api = b.program->state.Api();
    std::vector<uint8_t> buffer(Q710_RAW_GOODS_SIZE);
    for (auto _ : s) {
        GoodsStruct first;
        const char* err = nullptr;
        int records = api.GetGoodsByNumber(0, 0, &first, &err) == 0 ? 1 : 0;
        while (api.NextCommand(buffer.data(), Q710_RAW_GOODS_SIZE - 1, &err) == 0) ++records;
        if (records != kGoods) s.SkipWithError("unexpected record count");
    }
    s.counters["us_per_record"] = benchmark::Counter(
        double(s.iterations()) * kGoods * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LibraryBatchOnly)->Unit(benchmark::kMillisecond);

// The main window's reading loop over the same batch; the export job is a
// stand-in that keeps nothing, so this is the loop with its progress display.
void BM_ReadingLoop(benchmark::State& s) {
    Bench& b = Shared();
    std::size_t handed = 0;
    b.program->state.RunExchangeJob = [&handed](console::ConsoleState&) {
        handed = ::Shared().GoodsReport.size();
        return false;
    };
    for (auto _ : s) {
        b.QueueWholeBase();
        b.Form().ActionReadReportByAllGoods->trigger();
        if (handed != std::size_t(kGoods)) s.SkipWithError("unexpected record count");
    }
    s.counters["us_per_record"] = benchmark::Counter(
        double(s.iterations()) * kGoods * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    b.program->state.RunExchangeJob = b.exportJob;
}
BENCHMARK(BM_ReadingLoop)->Unit(benchmark::kMillisecond);

// Reading and saving the report as an XML document.
void BM_ReadAndSaveXml(benchmark::State& s) {
    Bench& b = Shared();
    const std::string file = (b.folder / "all_goods.xml").string();
    for (auto _ : s) {
        b.QueueWholeBase();
        b.ui->QueueModal([](QDialog& d) {
            auto& choice = static_cast<exchange::TForm5&>(d);
            choice.SetItemIndex(0);
            choice.Button1Click();
            return choice.result();
        });
        b.ui->QueueModal([](QDialog& d) {
            auto& job = static_cast<exchange::TForm4&>(d);
            job.FormShow();
            job.Timer1Timer();
            return job.result();
        });
        b.ui->QueueFile(file);
        b.Form().ActionReadReportByAllGoods->trigger();
        if (!fs::exists(file)) s.SkipWithError("no file written");
    }
    s.counters["us_per_record"] = benchmark::Counter(
        double(s.iterations()) * kGoods * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadAndSaveXml)->Unit(benchmark::kMillisecond);

} // namespace
