#include "exchange/ReportCsvExport.h"

#include <algorithm>

#include "exchange/CsvOptions.h"
#include "exchange/NameChanges.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"

namespace exchange {

namespace {

// A text value (a name, an hour): OEM 866 first when asked, since its best
// fits of the typographic quotes are quotes, then quoted as the options and
// its characters ask.
std::string TextField(std::string_view name, const console::CsvOptionsRecord& options) {
    std::string text(name);
    // A line break inside a name would split its record in two.
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    if (options.Cp866) text = AnsiToOemText(text);
    return CsvFieldText(text, options.Delimiter, options.Quotes);
}

template <class Record>
void ExportReportCsv(JobContext& job, const ReportLayout& layout, std::vector<Record>& report,
                     int32_t maximum = -1) {
    job.progress.SetMaximum(maximum >= 0 ? maximum : ProgressMaximumOf(report));
    const console::CsvOptionsRecord& options = job.state.CsvOptions;
    std::string text;
    ExportNameChanges changes(ExportNameChanges::Reading::Csv, options);
    for (std::size_t i = 0; i < report.size(); ++i) {
        const ReportRow row = RowAt(report, i);
        text += ReportCsvLine(layout, row, options);
        text += "\r\n";
        changes.Note(layout, row);
        if (job.progress.Step()) break;
    }
    report.clear();
    SaveBuiltExport(job, FormatCsv,
                    [&text](const std::string& path) { platform::WriteFileAtomic(path, text); });
    if (job.side.FileWritten) job.state.ExportChanges = changes.Text();
}

} // namespace

std::string ReportCsvLine(const ReportLayout& layout, const ReportRow& row,
                          const console::CsvOptionsRecord& options) {
    std::string line;
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        if (i > 0) line += options.Delimiter;
        ValueKind kind = layout.columns[i].kind;
        line += IsTextValue(kind)
                    ? TextField(TextValueOf(kind, row, i), options)
                    : CsvFieldText(PlainValueText(kind, row.numbers[i], "1", "0"), options.Delimiter, false);
    }
    return line;
}

void ExportGoodsCsv(JobContext& job) {
    ExportReportCsv(job, GoodsReportLayout(), job.arrays.GoodsReport);
}

void ExportPeriodicGoodsReportCsv(JobContext& job) {
    ExportReportCsv(job, PeriodicGoodsReportLayout(), job.arrays.PeriodicGoodsReport);
}

void ExportGroupsCsv(JobContext& job) {
    std::vector<GoodsGroupRecord>& table = job.arrays.GoodsGroupTable;
    table.resize(UsedGroupEntries(table));
    ExportReportCsv(job, GoodsGroupsLayout(), table, GoodsGroupCount);
    TellSavedFile(job);
}

void ExportDailyHoursReportCsv(JobContext& job) {
    ExportReportCsv(job, HoursReportLayout(), job.arrays.HourlyReport);
}

void ExportPeriodicHoursReportCsv(JobContext& job) {
    ExportReportCsv(job, HoursReportLayout(), job.arrays.PeriodicHourlyReport);
}

} // namespace exchange
