// The periodic report by goods as an XML report document.
#pragma once

#include <functional>
#include <vector>

#include "device/GoodsRecords.h"
#include "exchange/JobSide.h"
#include "platform/XmlDocument.h"

namespace exchange {

// Sets the 16 attributes of one record on an Item, in column order.
void SetPeriodicGoodsItem(platform::XmlNode item, const PeriodicGoodsStruct& record);

// Builds the whole document; `afterRow` runs after each item and ends the
// loop by returning true. The result is whether the loop ran to the end.
bool BuildPeriodicGoodsReportDocument(platform::XmlDocument& document,
                                      const std::vector<PeriodicGoodsStruct>& records,
                                      const std::function<bool()>& afterRow);

// The job procedure: the document from PeriodicGoodsReport, which is
// emptied, then the save step (nothing is saved after a cancel).
void ExportPeriodicGoodsReportXml(JobContext& job);

} // namespace exchange
