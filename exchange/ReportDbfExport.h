// The goods reports and the reports by hours as dBase III tables, one record
// per report record, fields in column order.
#pragma once

#include <string>

#include "exchange/DBF.h"
#include "exchange/JobSide.h"
#include "exchange/ReportColumns.h"

namespace exchange {

// A new table of the layout's fields, built in a file of its own beside the
// target and renamed over the target by Commit. Without Commit the file is
// removed and the target stays as it was.
class ReportTable {
public:
    // Throws when the table cannot be created (platform::FileError with the
    // system's error number when the file could not be written).
    ReportTable(const std::string& target, const ReportLayout& layout);
    ~ReportTable();
    ReportTable(const ReportTable&) = delete;
    ReportTable& operator=(const ReportTable&) = delete;

    // Appends and posts one record. Throws ED when a value does not fit, and
    // platform::FileError (the table's message and the system's reason,
    // naming the target) when the file cannot be written.
    void Add(const ReportLayout& layout, const ReportRow& row);
    // Closes the table and puts it in the target's place.
    void Commit();

private:
    // The failure as it is, or with the system's reason when a write failed.
    [[noreturn]] void ThrowWithReason(const ED& failure) const;

    std::string target;
    std::string staged;
    TDBF table;
};

// The job procedures: the save dialog first (not confirmed: nothing happens,
// Done stays 0), then the table filled from the report. A cancel keeps the
// records written so far and ends with Done 1; a failure leaves the previous
// file and the report as they were, with Done 0.
void ExportGoodsDbf(JobContext& job);
void ExportPeriodicGoodsReportDbf(JobContext& job);
void ExportDailyHoursReportDbf(JobContext& job);
void ExportPeriodicHoursReportDbf(JobContext& job);
// The used goods groups: fields ID N(3) and NAME C(20), one record each.
void ExportGroupsDbf(JobContext& job);

} // namespace exchange
