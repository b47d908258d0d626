// The goods reports and the reports by hours as a workbook: row 0 left
// empty, the captions in row 1 (blue and bold), one row per record from
// row 2; the goods reports' workbook column 1 in blue, the hours' column 0
// green and column 1 red.
#pragma once

#include <functional>
#include <vector>

#include "device/GoodsRecords.h"
#include "exchange/JobSide.h"

namespace xls {
class TTabrix4;
}

namespace exchange {

// Empties the workbook and fills its one sheet with the report; `afterRow`
// runs after each record and ends the loop by returning true. The columns
// are fitted to their contents also after such an end. The result is whether
// the loop ran to the end.
bool BuildGoodsReportSheet(xls::TTabrix4& book, const std::vector<GoodsStruct>& records,
                           const std::function<bool()>& afterRow);
bool BuildPeriodicGoodsReportSheet(xls::TTabrix4& book, const std::vector<PeriodicGoodsStruct>& records,
                                   const std::function<bool()>& afterRow);
bool BuildHoursReportSheet(xls::TTabrix4& book, const std::vector<HourlyReportLine>& lines,
                           const std::function<bool()>& afterRow);
bool BuildHoursReportSheet(xls::TTabrix4& book, const std::vector<PeriodicHourlyReportLine>& lines,
                           const std::function<bool()>& afterRow);

// The job procedures: the sheet from the report's array, which is emptied, then the save step (nothing is
// saved after a cancel). The workbook is always written as BIFF8, whatever was read into it before.
void ExportGoodsXls(JobContext& job);
void ExportPeriodicGoodsReportXls(JobContext& job);
void ExportDailyHoursReportXls(JobContext& job);
void ExportPeriodicHoursReportXls(JobContext& job);
// The used goods groups, one row each; the save tells the main window's memo.
void ExportGroupsXls(JobContext& job);

} // namespace exchange
