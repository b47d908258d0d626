// The goods reports and the reports by hours as CSV text: one line per
// record, the values in column order, no header.
#pragma once

#include <string>

#include "console/ConsoleState.h"
#include "exchange/JobSide.h"
#include "exchange/ReportColumns.h"

namespace exchange {

// One line without its end: the values joined by the delimiter. The text
// values (the name, the hours) are converted to OEM 866 (CP866) and quoted
// (QUOTES); any value holding the delimiter or a quote, a number included, is
// quoted too, with its quotes doubled, so the imports read it back whole.
std::string ReportCsvLine(const ReportLayout& layout, const ReportRow& row,
                          const console::CsvOptionsRecord& options);

// The job procedures: the lines of every record (CR LF after each), the
// report emptied, then the save step; nothing is saved after a cancel. The
// names the file changes (ExportNameChanges) are left for the main window to
// tell after its success (ExportChanges).
void ExportGoodsCsv(JobContext& job);
void ExportPeriodicGoodsReportCsv(JobContext& job);
void ExportDailyHoursReportCsv(JobContext& job);
void ExportPeriodicHoursReportCsv(JobContext& job);
// The used goods groups, "number;name" each; the save tells the main window's memo.
void ExportGroupsCsv(JobContext& job);

} // namespace exchange
