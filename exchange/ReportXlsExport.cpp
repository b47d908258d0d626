#include "exchange/ReportXlsExport.h"

#include <algorithm>
#include <climits>

#include "SrcXLS/Tabrix4.h"
#include "exchange/JobWorkbook.h"
#include "exchange/ReportColumns.h"
#include "platform/CodePages.h"

namespace exchange {

namespace {

constexpr uint32_t kBlue = 0xFF0000; // 0x00BBGGRR
constexpr int kBold = 1;

xls::TSheet& FreshSheet(xls::TTabrix4& book) {
    book.Clear();
    book.Sheets().Clear();
    return book.Sheets().Count() == 0 ? book.Sheets().Add(0) : book.Sheets().GetItem(0);
}

void SetCell(xls::TSheet& sheet, int row, const XlsCellValue& cell) {
    switch (cell.kind) {
    case XlsCellKind::Integer:
        sheet.SetAsInteger(cell.column, row, cell.integer);
        break;
    case XlsCellKind::Float:
        sheet.SetAsFloat(cell.column, row, cell.number);
        break;
    case XlsCellKind::Boolean:
        sheet.SetAsBoolean(cell.column, row, cell.flag);
        break;
    case XlsCellKind::Text:
        sheet.SetAsString(cell.column, row, platform::AnsiToUtf16(cell.text));
        break;
    }
}

template <class Record>
bool BuildReportSheet(xls::TTabrix4& book, const ReportLayout& layout, const std::vector<Record>& records,
                      const std::function<bool()>& afterRow) {
    xls::TSheet& sheet = FreshSheet(book);
    const int lastColumn = static_cast<int>(layout.columns.size()) - 1;
    const int lastRow = static_cast<int>(std::min<std::size_t>(records.size() + 1, INT_MAX));
    // The ranges come first: the values written later keep their cells' fonts.
    const int colouredLastRow = layout.xlsColourLastRow > 0 ? layout.xlsColourLastRow : lastRow;
    for (const XlsColumnColour& c : layout.xlsColours)
        sheet.Range().SetArea(c.column, 1, c.column, colouredLastRow).SetFontColor(c.colour);
    xls::TXLSRange& captionRow = sheet.Range().SetArea(0, 1, lastColumn, 1);
    captionRow.SetFontColor(kBlue);
    captionRow.SetFontStyle(kBold);

    std::vector<std::string> captions = XlsCaptions(layout);
    for (int column = 0; column <= lastColumn; ++column)
        sheet.SetAsString(column, 1, platform::Utf8ToUtf16(captions[static_cast<std::size_t>(column)]));

    bool complete = true;
    int row = 2;
    for (std::size_t r = 0; r < records.size(); ++r) {
        ReportRow values = RowAt(records, r);
        for (std::size_t i = 0; i < layout.columns.size(); ++i)
            SetCell(sheet, row, XlsCellOf(layout, values, i));
        ++row;
        if (afterRow && afterRow()) {
            complete = false;
            break;
        }
    }
    sheet.AutoWidthCols(0, lastColumn);
    return complete;
}

template <class Record>
void ExportReportXls(JobContext& job, const ReportLayout& layout, std::vector<Record>& report,
                     int32_t maximum = -1) {
    job.progress.SetMaximum(maximum >= 0 ? maximum : ProgressMaximumOf(report));
    xls::TTabrix4& book = JobWorkbook(job.side);
    // A workbook read earlier may have left another version behind.
    book.SetVersion(xls::TExcelVersion::xvExcel97);
    BuildReportSheet(book, layout, report, [&job] { return job.progress.Step(); });
    report.clear();
    SaveBuiltExport(
        job, FormatXls,
        [&book](const std::string& path) {
            book.SetFilename(platform::Utf8ToUtf16(path));
            book.Write();
        },
        layout.xlsFilter);
}

} // namespace

bool BuildGoodsReportSheet(xls::TTabrix4& book, const std::vector<GoodsStruct>& records,
                           const std::function<bool()>& afterRow) {
    return BuildReportSheet(book, GoodsReportLayout(), records, afterRow);
}

bool BuildPeriodicGoodsReportSheet(xls::TTabrix4& book, const std::vector<PeriodicGoodsStruct>& records,
                                   const std::function<bool()>& afterRow) {
    return BuildReportSheet(book, PeriodicGoodsReportLayout(), records, afterRow);
}

bool BuildHoursReportSheet(xls::TTabrix4& book, const std::vector<HourlyReportLine>& lines,
                           const std::function<bool()>& afterRow) {
    return BuildReportSheet(book, HoursReportLayout(), lines, afterRow);
}

bool BuildHoursReportSheet(xls::TTabrix4& book, const std::vector<PeriodicHourlyReportLine>& lines,
                           const std::function<bool()>& afterRow) {
    return BuildReportSheet(book, HoursReportLayout(), lines, afterRow);
}

void ExportGoodsXls(JobContext& job) {
    ExportReportXls(job, GoodsReportLayout(), job.arrays.GoodsReport);
}

void ExportPeriodicGoodsReportXls(JobContext& job) {
    ExportReportXls(job, PeriodicGoodsReportLayout(), job.arrays.PeriodicGoodsReport);
}

void ExportGroupsXls(JobContext& job) {
    std::vector<GoodsGroupRecord>& table = job.arrays.GoodsGroupTable;
    table.resize(UsedGroupEntries(table));
    ExportReportXls(job, GoodsGroupsLayout(), table, GoodsGroupCount);
    TellSavedFile(job);
}

void ExportDailyHoursReportXls(JobContext& job) {
    ExportReportXls(job, HoursReportLayout(), job.arrays.HourlyReport);
}

void ExportPeriodicHoursReportXls(JobContext& job) {
    ExportReportXls(job, HoursReportLayout(), job.arrays.PeriodicHourlyReport);
}

} // namespace exchange
