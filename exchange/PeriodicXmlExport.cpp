#include "exchange/PeriodicXmlExport.h"

#include "exchange/GoodsXmlExport.h"
#include "exchange/NameChanges.h"
#include "exchange/ReportDocument.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace exchange {

namespace {

// The goods report's captions and attribute names, as far as this report goes.
const std::vector<const char*>& PeriodicCaptions() {
    static const std::vector<const char*> captions(
        GoodsReportCaptions().begin(), GoodsReportCaptions().begin() + PeriodicReportValueCount - 1);
    return captions;
}

const std::vector<const char*> kHoursCaptions = {
    "ЧАС (З)", "ЧАС (ПО)", "К-ТЬ ЧЕКІВ (ПРОДАЖ)", "СУМА (ПРОДАЖ)", "К-ТЬ ЧЕКІВ (ВИПЛАТА)", "СУМА (ВИПЛАТА)",
};
const char* const kHoursAttributes[] = {"Start_hour",   "End_hour",   "SellRcptQty",
                                        "TotalSellSum", "RefRcptQty", "TotalRefSum"};

template <class Record>
bool BuildLayoutDocument(platform::XmlDocument& document, const ReportIdentity& identity,
                         const std::vector<const char*>& captions, std::string_view development,
                         const ReportLayout& layout, std::span<const char* const> attributes,
                         const std::vector<Record>& records, const std::function<bool()>& afterRow) {
    ReportDocumentWriter writer(document, identity, captions, development);
    for (std::size_t i = 0; i < records.size(); ++i) {
        SetLayoutItem(writer.AddItem(), layout, RowAt(records, i), attributes);
        if (afterRow && afterRow()) return false;
    }
    return true;
}

template <class Line>
bool BuildHours(platform::XmlDocument& document, const ReportIdentity& identity,
                const std::vector<Line>& lines, const std::function<bool()>& afterRow) {
    return BuildLayoutDocument(document, identity, kHoursCaptions, ReportDevelopment, HoursReportLayout(),
                               kHoursAttributes, lines, afterRow);
}

template <class Record, class Build>
void ExportXml(JobContext& job, const ReportLayout& layout, std::vector<Record>& report, Build build) {
    job.progress.SetMaximum(ProgressMaximumOf(report));
    platform::XmlDocument& document = job.side.NewXmlDocument();
    build(document, report, [&job] { return job.progress.Step(); });
    ExportNameChanges changes(ExportNameChanges::Reading::Xml);
    changes.NoteAll(layout, report);
    report.clear();
    SaveBuiltExport(job, FormatXml, [&document](const std::string& path) { document.Save(path); });
    if (job.side.FileWritten) job.state.ExportChanges = changes.Text();
}

} // namespace

void SetLayoutItem(platform::XmlNode item, const ReportLayout& layout, const ReportRow& row,
                   std::span<const char* const> attributes) {
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        const char* name = attributes[i];
        const ValueKind kind = layout.columns[i].kind;
        const int64_t n = row.numbers[i];
        if (kind == ValueKind::Integer)
            item.SetAttributeInt(name, n);
        else if (kind == ValueKind::Flag)
            item.SetAttributeBool(name, n != 0);
        else if (IsTextValue(kind))
            item.SetAttribute(name, platform::AnsiToUtf8(TextValueOf(kind, row, i)));
        else
            item.SetAttribute(name, PlainValueText(kind, n, "", ""));
    }
}

void SetPeriodicGoodsItem(platform::XmlNode item, const PeriodicGoodsStruct& record) {
    SetLayoutItem(item, PeriodicGoodsReportLayout(), RowOf(record), GoodsReportAttributes());
}

bool BuildPeriodicGoodsReportDocument(platform::XmlDocument& document,
                                      const std::vector<PeriodicGoodsStruct>& records,
                                      const std::function<bool()>& afterRow) {
    return BuildLayoutDocument(document, PeriodicGoodsReportId, PeriodicCaptions(), PeriodicReportDevelopment,
                               PeriodicGoodsReportLayout(), GoodsReportAttributes(), records, afterRow);
}

bool BuildHoursReportDocument(platform::XmlDocument& document, const std::vector<HourlyReportLine>& lines,
                              const std::function<bool()>& afterRow) {
    return BuildHours(document, DailyHoursReport, lines, afterRow);
}

bool BuildHoursReportDocument(platform::XmlDocument& document,
                              const std::vector<PeriodicHourlyReportLine>& lines,
                              const std::function<bool()>& afterRow) {
    return BuildHours(document, PeriodicHoursReport, lines, afterRow);
}

void ExportPeriodicGoodsReportXml(JobContext& job) {
    ExportXml(job, PeriodicGoodsReportLayout(), job.arrays.PeriodicGoodsReport,
              [](auto& document, const auto& report, const auto& step) {
                  return BuildPeriodicGoodsReportDocument(document, report, step);
              });
}

void ExportDailyHoursReportXml(JobContext& job) {
    ExportXml(job, HoursReportLayout(), job.arrays.HourlyReport,
              [](auto& document, const auto& report, const auto& step) {
                  return BuildHoursReportDocument(document, report, step);
              });
}

void ExportPeriodicHoursReportXml(JobContext& job) {
    ExportXml(job, HoursReportLayout(), job.arrays.PeriodicHourlyReport,
              [](auto& document, const auto& report, const auto& step) {
                  return BuildHoursReportDocument(document, report, step);
              });
}

} // namespace exchange
