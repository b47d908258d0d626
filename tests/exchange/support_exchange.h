// Shared helpers of the exchange tests: a scratch folder, a job without a
// window, goods records, regional profiles and the independent XML reader.
#pragma once

#include <string>
#include <vector>

#include "console/ConsoleState.h"
#include "device/GoodsRecords.h"
#include "exchange/JobSide.h"
#include "platform/RegionalSettings.h"
#include "support_files.h"
#include "support_readers.h"

namespace exchange_test {

void EnsureApplication();

using testfiles::ScratchDir;
inline std::string ReadFile(const std::string& path) {
    return testfiles::Slurp(path);
}
inline void WriteFile(const std::string& path, const std::string& bytes) {
    testfiles::Spit(path, bytes);
}
inline bool FileExists(const std::string& path) {
    return testfiles::Exists(path);
}

// Progress of a job without a window; cancels (as the cancel button would)
// after `cancelAfter` steps when that is not negative.
class FakeProgress : public exchange::JobProgress {
public:
    explicit FakeProgress(console::ConsoleState& state) : state(state) {}
    void SetMaximum(int32_t value) override;
    bool Step() override;
    int32_t maximum = -1;
    int steps = 0;
    int cancelAfter = -1;

private:
    console::ConsoleState& state;
};

// A job run straight through the dispatcher: its own state and arrays, the
// program's job side reset before and after.
struct Job {
    Job();
    ~Job();
    console::ConsoleState state;
    SharedArrays arrays;
    FakeProgress progress{state};
    exchange::JobContext Context() { return {state, arrays, exchange::Side(), progress}; }
    exchange::JobSide& side() { return exchange::Side(); }
};
void ResetSide();

// Loads the simulated register (from Q710_BIN_DIR) into the job's state with
// its memory in a scratch file, resets it to a fresh register, runs the
// control `commands` and connects directly. False (with a test failure)
// when it cannot be loaded.
bool ConnectSimulator(console::ConsoleState& state, const std::string& commands = "");
// Control commands to the loaded simulator; its reply.
std::string SimulatorControl(const std::string& commands);

GoodsStruct Goods(uint16_t number, int32_t plu, int64_t barcode, const std::string& ansiName);

// Sets the process's regional settings for the life of the object.
class RegionalProfile {
public:
    explicit RegionalProfile(const platform::RegionalSettings& settings);
    ~RegionalProfile();

private:
    platform::RegionalSettings previous;
};
platform::RegionalSettings UkrainianProfile(); // ',' decimal, NBSP thousands, "грн."
platform::RegionalSettings DotProfile();       // '.' decimal, ',' thousands, "$"

using testfiles::PythonXmlOutline;
using testfiles::XmllintAccepts;

} // namespace exchange_test
