// The whole program in a test: its own program folder with a copy of the
// simulated register's library, the simulator's state and log files there,
// and the scripted user.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QWidget;

#include "app/Program.h"
#include "platform/RegionalSettings.h"
#include "platform/ui/ScriptedUi.h"
#include "support_files.h"

namespace testing_console {

void EnsureApplication();

// The user presses a key (Enter, Escape) with the focus in `widget`; a key the
// widget leaves goes on to its parents, as typed keys do. (QTest's keyboard
// outlives the tests' application and crashes at exit.)
void PressKey(QWidget* widget, int key);

// Lines of a call log from the first one that starts with `from` on.
std::vector<std::string> LogLines(const std::string& log, const std::string& from);

// A Ukrainian system's regional settings, the workbook library's included,
// while it lives.
class UkrainianSystem {
public:
    UkrainianSystem();
    ~UkrainianSystem();
    UkrainianSystem(const UkrainianSystem&) = delete;
    UkrainianSystem& operator=(const UkrainianSystem&) = delete;

private:
    std::unique_ptr<platform::RegionalSettings> previous;
};

class ProgramHarness;

// Which of the names (UTF-8) Python's cp866 codec can hold.
std::vector<bool> Cp866Holds(const std::vector<std::string>& names);
// What a CSV export in code page 866 tells of the names it could not hold,
// numbered (UTF-8): how many, and the first five.
std::string Cp866ChangesText(const std::vector<std::pair<int, std::string>>& changed);

// The user picks the format in the format choice and, for an import, the
// file in the open dialog; the job window runs its procedure; an export's
// save dialog then gets `file`.
void QueueJob(ProgramHarness& h, int format, const std::string& file, bool import);

class ProgramHarness {
public:
    // Without the library the folder holds no device library at all.
    explicit ProgramHarness(bool withLibrary = true);
    ~ProgramHarness();

    // Creates the windows (the main window reads the settings then).
    bool Create();
    console::TForm1& Form() { return *program->windows.Form1; }
    console::ConsoleState& State() { return program->state; }

    std::string Settings() const { return testfiles::Slurp(dir.File("Q710b.ini")); }
    void WriteSettingsFile(const std::string& text) const { testfiles::Spit(dir.File("Q710b.ini"), text); }
    // A scenario for the simulated register, read when the library loads.
    void WriteScenario(const std::string& text) const { testfiles::Spit(dir.File("scenario.txt"), text); }
    std::string SimulatorLog() const { return testfiles::Slurp(dir.File("sim.log")); }

    testfiles::ScratchDir dir;
    platform::ScriptedUi ui;
    std::unique_ptr<app::Program> program;
};

} // namespace testing_console
