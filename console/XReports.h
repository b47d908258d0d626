// The register's own reports on the reports page, without any window: the
// X report's text, the reading of the daily and periodic reports by hours,
// the field checks of the erase box and the erasing of the periodic reports.
// Texts are ANSI.
#pragma once

#include <cstdint>
#include <string>

#include "console/GoodsReports.h"
#include "console/ReportOptions.h"
#include "device/DeviceLibrary.h"
#include "platform/RegionalSettings.h"

namespace console {

// The X report of the day as its information box shows it: the two receipt
// counts, the shift start (or the closed-day line) and the 22 money lines in
// blocks, lines ended by CR LF, a block's last line by CR CR LF, the text's
// last line by nothing.
std::string XReportText(const Q710XReportData& data,
                        const platform::RegionalSettings& rs = platform::Regional());

// The date and time separators the X report sets for the rest of the run:
// the full stop and the colon, in the process-wide settings.
void UseXReportSeparators();

// Lines of a report by hours.
inline constexpr std::size_t HoursPerReport = 24;

// The daily (kind 7) and periodic (kind 8) reports by hours into
// HourlyReport and PeriodicHourlyReport: the bar's maximum 24, line 0 from
// the first call, lines 1..23 from the batch; any failure or an early end
// ends the operation without an export.
ReadingJob DailyHoursReportJob(const device::DeviceApi& api, SharedArrays& arrays, ProgressDisplay& display);
ReadingJob PeriodicHoursReportJob(const device::DeviceApi& api, SharedArrays& arrays,
                                  ProgressDisplay& display);

// The group edits of the erase box: an integer, kept as typed; anything else
// is refused and becomes "1". No range is checked.
FieldCheck CheckEraseGroupField(const std::string& text);

// Modes of the erase box.
enum EraseMode : int { EraseByCodes = 0, EraseByGroups = 1, EraseAllGoods = 2 };

// The texts of the erase box's edits as the register gets them.
struct EraseFields {
    std::string firstPlu, lastPlu, firstBarcode, lastBarcode, firstGroup, lastGroup;
};

// Erases the periodic report by goods in a mode: by codes (PLU as 32-bit,
// barcodes as 64-bit integers), by groups, or all goods (groups 0 and 0).
// A text that does not convert raises ConsoleError before any call. The
// outcome carries the success text, or the library's text of a failure.
struct EraseOutcome {
    bool ok = false;
    std::string text;
};
EraseOutcome ErasePeriodicGoodsReport(const device::DeviceApi& api, int mode, const EraseFields& fields);

} // namespace console
