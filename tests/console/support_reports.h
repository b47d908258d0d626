// The program connected to the simulated register with a stand-in for the
// exchange job: it keeps what the reading loops hand over and records the
// progress shown after each record.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/GoodsRecords.h"
#include "support_program.h"

namespace testing_console {

// What the main window handed to the export job.
struct HandOff {
    int calls = 0;
    uint8_t kind = 0;
    std::vector<GoodsStruct> goods;
    std::vector<PeriodicGoodsStruct> periodic;
    std::vector<HourlyReportLine> hourly;
    std::vector<PeriodicHourlyReportLine> periodicHourly;
    std::string title; // application title at the hand-off, UTF-8
    std::string label;
    int32_t position = 0;
    int32_t maximum = 0;
};

// The report bar, its label and the title after one record.
struct ProgressSample {
    int32_t position = 0;
    int32_t maximum = 0;
    std::string label;
    std::string title; // UTF-8
    bool busy = false;
};

class ReportHarness : public ProgramHarness {
public:
    // Creates the program with the scenario and connects directly.
    explicit ReportHarness(const std::string& scenario = "");

    // The job's answer: true when it wrote its file.
    bool exportWrites = true;
    // Runs inside the message loop after record `k` (1 = the first record
    // after the batch's first call).
    std::function<void(int k)> atRecord;
    // Fills ImportedGoods for the writing loops.
    std::function<void()> importJob;

    HandOff handOff;
    std::vector<ProgressSample> progress;

    // Log lines from the first one that starts with `from` on.
    std::vector<std::string> Log(const std::string& from) const;
    int Count(const std::vector<std::string>& lines, const std::string& line) const;
    // Texts of the boxes shown, UTF-8.
    std::vector<std::string> BoxTexts() const;
};

} // namespace testing_console
