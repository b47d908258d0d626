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

// The names of an export in code page 866 that it cannot hold, which the file
// gets with look-alike letters: how many, and the first ones.
class OemNameChanges {
public:
    static constexpr std::size_t Named = 5;
    void Note(const ReportLayout& layout, const ReportRow& row);
    // What the user is told (ANSI): the count and the first names, each with
    // its number ("№12 Хліб"); empty when every name was held.
    std::string Text() const;

private:
    std::size_t count = 0;
    std::vector<std::string> first;
};

// The job procedures: the lines of every record (CR LF after each), the
// report emptied, then the save step; nothing is saved after a cancel. In
// code page 866 the names it cannot hold are left for the main window to
// tell after its success (ExportChanges).
void ExportGoodsCsv(JobContext& job);
void ExportPeriodicGoodsReportCsv(JobContext& job);
void ExportDailyHoursReportCsv(JobContext& job);
void ExportPeriodicHoursReportCsv(JobContext& job);
// The used goods groups, "number;name" each; the save tells the main window's memo.
void ExportGroupsCsv(JobContext& job);

} // namespace exchange
