#include "support_reports.h"

#include <QAction>
#include <QLabel>
#include <gtest/gtest.h>

#include "console/TQProgressBar.h"
#include "platform/ui/AnsiText.h"

namespace testing_console {

ReportHarness::ReportHarness(const std::string& scenario) {
    WriteScenario(scenario);
    if (!Create()) return;
    Form().Connect->trigger();
    ui.onProcessMessages = [this] {
        console::TForm1& f = Form();
        progress.push_back({f.QProgressBar3->Position(), f.QProgressBar3->Maximum(),
                            f.Label8->text().toStdString(), platform::Utf8(platform::ApplicationTitle()),
                            State().Busy != 0});
        if (atRecord) atRecord(static_cast<int>(progress.size()));
    };
    State().RunExchangeJob = [this](console::ConsoleState& state) {
        console::TForm1& f = Form();
        ++handOff.calls;
        handOff.kind = state.MakeMetod.OperationKind;
        handOff.goods = Shared().GoodsReport;
        handOff.periodic = Shared().PeriodicGoodsReport;
        handOff.hourly = Shared().HourlyReport;
        handOff.periodicHourly = Shared().PeriodicHourlyReport;
        handOff.title = platform::Utf8(platform::ApplicationTitle());
        handOff.label = f.Label8->text().toStdString();
        handOff.position = f.QProgressBar3->Position();
        handOff.maximum = f.QProgressBar3->Maximum();
        if (importJob) importJob();
        return exportWrites;
    };
}

std::vector<std::string> ReportHarness::Log(const std::string& from) const {
    return LogLines(SimulatorLog(), from);
}

int ReportHarness::Count(const std::vector<std::string>& lines, const std::string& line) const {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

std::vector<std::string> ReportHarness::BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui.boxes) texts.push_back(box.Utf8Text());
    return texts;
}

} // namespace testing_console
