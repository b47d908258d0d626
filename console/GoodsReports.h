// The goods reports read from the register into the shared arrays and handed
// to the export job, and the two goods writing operations: for each, the
// loop member (calls, texts, operation kind) and the array it fills.
#pragma once

#include <memory>

#include "console/BatchLoop.h"
#include "console/ReportOptions.h"
#include "device/DeviceLibrary.h"

namespace console {

// The designed maximum of the reports' progress bar.
inline constexpr int32_t ReportBarMaximum = 5269;
// The maximum the report by a range of codes sets before its first call.
inline constexpr int32_t RangeBarMaximum = 5270;

struct ReadingJob {
    ReadingMember member;
    std::unique_ptr<BatchTarget> target;
};

// The day's sales (kind 9) and the periodic sales (kind 6) by goods.
ReadingJob DayReportJob(const device::DeviceApi& api, SharedArrays& arrays);
ReadingJob PeriodicReportJob(const device::DeviceApi& api, SharedArrays& arrays);

// The report by all goods (kind 5) in a read mode of its options; the
// preparation sets the bar's maximum for modes 2 and 3 and asks whether only
// failure records are read.
struct AllGoodsOptions {
    int mode = 0;
    int32_t firstGoodsNumber = 0;
    int32_t lastGoodsNumber = -1;
};
ReadingJob AllGoodsReportJob(const device::DeviceApi& api, SharedArrays& arrays, ProgressDisplay& display,
                             const AllGoodsOptions& options);

// Goods in a range of codes (kind 5).
ReadingJob RangeReportJob(const device::DeviceApi& api, SharedArrays& arrays, ProgressDisplay& display,
                          const CodeRange& range);

// Goods whose remainder is below a threshold in thousandths, in one goods
// group or in all (group 0) (kind 10).
ReadingJob CriticalRemainsReportJob(const device::DeviceApi& api, SharedArrays& arrays, int32_t group,
                                    int32_t threshold);

// Loading the goods table by number (kind 3) and updating it by code (kind 4).
WritingMember WriteGoodsByNumberMember(const device::DeviceApi& api);
WritingMember UpdateGoodsByCodeMember(const device::DeviceApi& api);

} // namespace console
