#include "exchange/PeriodicXmlExport.h"

#include "exchange/GoodsXmlExport.h"
#include "exchange/ReportColumns.h"
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

} // namespace

void SetPeriodicGoodsItem(platform::XmlNode item, const PeriodicGoodsStruct& record) {
    const ReportLayout& layout = PeriodicGoodsReportLayout();
    const std::vector<const char*>& attributes = GoodsReportAttributes();
    ReportRow row = RowOf(record);
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        const char* name = attributes[i];
        int64_t n = row.numbers[i];
        switch (layout.columns[i].kind) {
        case ValueKind::Integer:
            item.SetAttributeInt(name, n);
            break;
        case ValueKind::Name:
            item.SetAttribute(name, platform::AnsiToUtf8(row.name));
            break;
        case ValueKind::Flag:
            item.SetAttributeBool(name, n != 0);
            break;
        default:
            item.SetAttribute(name, PlainValueText(layout.columns[i].kind, n, "", ""));
            break;
        }
    }
}

bool BuildPeriodicGoodsReportDocument(platform::XmlDocument& document,
                                      const std::vector<PeriodicGoodsStruct>& records,
                                      const std::function<bool()>& afterRow) {
    ReportDocumentWriter writer(document, PeriodicGoodsReportId, PeriodicCaptions(),
                                PeriodicReportDevelopment);
    for (const PeriodicGoodsStruct& record : records) {
        SetPeriodicGoodsItem(writer.AddItem(), record);
        if (afterRow && afterRow()) return false;
    }
    return true;
}

void ExportPeriodicGoodsReportXml(JobContext& job) {
    std::vector<PeriodicGoodsStruct>& report = job.arrays.PeriodicGoodsReport;
    job.progress.SetMaximum(ProgressMaximumOf(report));
    platform::XmlDocument& document = job.side.NewXmlDocument();
    BuildPeriodicGoodsReportDocument(document, report, [&job] { return job.progress.Step(); });
    report.clear();
    SaveBuiltExport(job, FormatXml, [&document](const std::string& path) { document.Save(path); });
}

} // namespace exchange
