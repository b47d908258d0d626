#include "support_program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "SrcXLS/XLSLibState.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "support_readers.h"

namespace testing_console {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "console_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        // Never destroyed: the keyboard that key events create is a global of
        // Qt's that goes before a static application would at exit.
        std::make_unique<QApplication>(argc, argv).release();
        QApplication::setQuitOnLastWindowClosed(false);
    }
}

std::vector<bool> Cp866Holds(const std::vector<std::string>& names) {
    const std::string output = testfiles::RunPython("import sys\n"
                                                    "for name in sys.argv[1:]:\n"
                                                    "    try:\n"
                                                    "        name.encode('cp866')\n"
                                                    "        print(1)\n"
                                                    "    except UnicodeEncodeError:\n"
                                                    "        print(0)\n",
                                                    names);
    std::vector<bool> holds;
    for (char c : output)
        if (c == '0' || c == '1') holds.push_back(c == '1');
    EXPECT_EQ(holds.size(), names.size()) << "python3 did not judge the names";
    holds.resize(names.size(), false);
    return holds;
}

std::string Cp866ChangesText(const std::vector<std::pair<int, std::string>>& changed) {
    std::string text =
        "Кодова сторінка CP866 не має деяких літер назв, тож у файлі їх замінено схожими знаками. "
        "Змінено назв: " +
        std::to_string(changed.size()) + (changed.size() > 5 ? ", перші з них:" : ":");
    for (std::size_t i = 0; i < changed.size() && i < 5; ++i)
        text += "\r\n№" + std::to_string(changed[i].first) + " " + changed[i].second;
    return text;
}

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

std::vector<std::string> LogLines(const std::string& log, const std::string& from) {
    std::vector<std::string> lines;
    bool found = false;
    for (std::size_t start = 0; start < log.size();) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        found = found || line.rfind(from, 0) == 0;
        if (found) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

UkrainianSystem::UkrainianSystem()
    : previous(std::make_unique<platform::RegionalSettings>(platform::Regional())) {
    platform::SetRegional(platform::RegionalSettings{});
    xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
}

UkrainianSystem::~UkrainianSystem() {
    platform::SetRegional(*previous);
    xls::LibState().Locale = xls::LocaleFromRegional(*previous);
}

void QueueJob(ProgramHarness& h, int format, const std::string& file, bool import) {
    h.ui.QueueModal([format](QDialog& d) {
        auto& choice = dynamic_cast<exchange::TForm5&>(d);
        choice.SetItemIndex(format);
        choice.Button1->click();
        return choice.result();
    });
    if (import) h.ui.QueueFile(file);
    h.ui.QueueModal([](QDialog& d) {
        auto& job = dynamic_cast<exchange::TForm4&>(d);
        job.FormShow();
        job.Timer1Timer();
        return job.result();
    });
    if (!import) h.ui.QueueFile(file);
}

ProgramHarness::ProgramHarness(bool withLibrary) {
    EnsureApplication();
    const char* bin = std::getenv("Q710_BIN_DIR");
    if (withLibrary && bin != nullptr)
        std::filesystem::copy_file(std::filesystem::path(bin) / device::DeviceLibrary::FileName,
                                   dir.File(device::DeviceLibrary::FileName));
    platform::SetProgramFolder(dir.Path());
    setenv("Q710_SIM_STATE", dir.File("state.bin").c_str(), 1);
    setenv("Q710_SIM_LOG", dir.File("sim.log").c_str(), 1);
    setenv("Q710_SIM_SCENARIO", dir.File("scenario.txt").c_str(), 1);
}

ProgramHarness::~ProgramHarness() {
    program.reset();
    platform::SetProgramFolder("");
}

bool ProgramHarness::Create() {
    program = std::make_unique<app::Program>();
    return program->Create();
}

} // namespace testing_console
