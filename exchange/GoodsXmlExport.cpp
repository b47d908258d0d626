#include "exchange/GoodsXmlExport.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "exchange/NameChanges.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace exchange {

const ReportIdentity& GoodsReportIdentity(uint8_t reportVariant) {
    switch (reportVariant) {
    case GoodsVariantDaily:
        return DailyGoodsReport;
    case GoodsVariantFull:
        return FullGoodsReport;
    case GoodsVariantCritical:
        return CriticalRemainsReport;
    default:
        throw std::invalid_argument("Невідомий варіант звіту по товарам: " + std::to_string(reportVariant));
    }
}

const std::vector<const char*>& GoodsReportCaptions() {
    static const std::vector<const char*> captions = {
        "PLU",
        "ШТРИХ-КОД",
        "НАЙМЕНУВАННЯ",
        "ЦІНА",
        "ЗАЛИШОК",
        "ТОВАРНА ГРУПА",
        "ПОДАТКОВА ГРУПА",
        "ТИП",
        "КОНТРОЛЬ НАЯВНОСТІ",
        "БЛОКУВАННЯ ПРОДАЖУ",
        "НОМЕР ОПЕРАЦІЇ ВИПЛАТИ",
        "КІЛЬ-ТЬ (ПРОДАЖ)",
        "СУМА (ПРОДАЖ)",
        "КІЛЬ-ТЬ (ВИПЛАТИ)",
        "СУМА (ВИПЛАТИ)",
        "СУМА ЗНИЖОК З ПРОДАЖІВ",
        "СУМА ЗНИЖОК З ВИПЛАТ",
        "СУМА НАЦІНОК З ПРОДАЖІВ",
        "СУМА НАЦІНОК З ВИПЛАТ",
    };
    return captions;
}

const std::vector<const char*>& GoodsReportAttributes() {
    static const std::vector<const char*> attributes = {
        "Number",
        "PLU",
        "Barcode",
        "Name",
        "Price",
        "Remains",
        "GroupID",
        "VAT",
        "Weight",
        "Presence",
        "Blocking",
        "PaymentType",
        "TotalSoldQuantity",
        "TotalSoldSum",
        "TotalRefundQuantity",
        "TotalRefundSum",
        "TotalSalesDiscountSum",
        "TotalRefundsDiscountSum",
        "TotalSalesMarkupSum",
        "TotalRefundsMarkupSum",
    };
    return attributes;
}

void SetGoodsItem(platform::XmlNode item, const GoodsStruct& record) {
    // Money and quantities are unsigned on the register: a pattern with the top bit set is a large value.
    auto money = [](uint32_t kopecks) { return platform::FormatScaled(uint64_t{kopecks}, 2); };
    auto quantity = [](uint32_t thousandths) {
        return platform::FormatGeneralThousandths(int64_t{thousandths});
    };
    std::string_view name = record.Name();
    name = name.substr(0, name.find('\0'));

    item.SetAttributeInt("Number", record.number);
    item.SetAttribute("PLU", std::to_string(record.plu));
    item.SetAttribute("Barcode", std::to_string(record.barcode));
    item.SetAttribute("Name", platform::AnsiToUtf8(name));
    item.SetAttribute("Price", money(record.price));
    item.SetAttribute("Remains", quantity(record.remainder));
    item.SetAttributeInt("GroupID", record.group);
    item.SetAttributeInt("VAT", record.tax + 1);
    item.SetAttributeBool("Weight", record.weighed != 0);
    item.SetAttributeBool("Presence", record.presenceControl != 0);
    item.SetAttributeBool("Blocking", record.saleBlocking != 0);
    item.SetAttributeInt("PaymentType", record.payoutOperation);
    item.SetAttribute("TotalSoldQuantity", quantity(record.soldQuantity));
    item.SetAttribute("TotalSoldSum", money(record.salesSum));
    item.SetAttribute("TotalRefundQuantity", quantity(record.payoutQuantity));
    item.SetAttribute("TotalRefundSum", money(record.payoutsSum));
    item.SetAttribute("TotalSalesDiscountSum", money(record.discountsOnSales));
    item.SetAttribute("TotalRefundsDiscountSum", money(record.discountsOnPayouts));
    item.SetAttribute("TotalSalesMarkupSum", money(record.marginsOnSales));
    item.SetAttribute("TotalRefundsMarkupSum", money(record.marginsOnPayouts));
}

bool BuildGoodsReportDocument(platform::XmlDocument& document, uint8_t reportVariant,
                              const std::vector<GoodsStruct>& records,
                              const std::function<bool()>& afterRow) {
    ReportDocumentWriter writer(document, GoodsReportIdentity(reportVariant), GoodsReportCaptions());
    for (const GoodsStruct& record : records) {
        SetGoodsItem(writer.AddItem(), record);
        if (afterRow && afterRow()) return false;
    }
    return true;
}

void ExportGoodsXml(JobContext& job, uint8_t ReportVariant) {
    std::vector<GoodsStruct>& report = job.arrays.GoodsReport;
    job.progress.SetMaximum(static_cast<int32_t>(std::min<std::size_t>(report.size(), INT32_MAX)));
    platform::XmlDocument& document = job.side.NewXmlDocument();
    BuildGoodsReportDocument(document, ReportVariant, report, [&job] { return job.progress.Step(); });
    // The goods import cuts the blanks at the ends of names.
    ExportNameChanges changes(ExportNameChanges::Reading::XmlTrimmed);
    changes.NoteAll(GoodsReportLayout(), report);
    report.clear();
    SaveBuiltExport(job, FormatXml, [&document](const std::string& path) { document.Save(path); });
    if (job.side.FileWritten) job.state.ExportChanges = changes.Text();
}

} // namespace exchange
