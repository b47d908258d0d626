// The goods report (all goods or a range, the day's sales, critical remains)
// as an XML report document.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "device/GoodsRecords.h"
#include "exchange/JobSide.h"
#include "exchange/ReportDocument.h"

namespace exchange {

// Report variants as the dispatcher passes them.
enum GoodsReportVariant : uint8_t { GoodsVariantDaily = 0, GoodsVariantFull = 1, GoodsVariantCritical = 2 };

// Id and name of a variant; throws std::invalid_argument for any other value.
const ReportIdentity& GoodsReportIdentity(uint8_t reportVariant);

// The 19 captions of FIELDS_NAME and the 20 attribute names of an Item.
const std::vector<const char*>& GoodsReportCaptions();
const std::vector<const char*>& GoodsReportAttributes();

// Sets the 20 attributes of one record on an Item, in column order, with the
// process's regional settings.
void SetGoodsItem(platform::XmlNode item, const GoodsStruct& record);

// Builds the whole document; `afterRow` runs after each item and ends the
// loop by returning true. The result is whether the loop ran to the end.
bool BuildGoodsReportDocument(platform::XmlDocument& document, uint8_t reportVariant,
                              const std::vector<GoodsStruct>& records, const std::function<bool()>& afterRow);

// The job procedure: the document from GoodsReport, which is emptied, then
// the save step (nothing is saved after a cancel).
void ExportGoodsXml(JobContext& job, uint8_t ReportVariant);

} // namespace exchange
