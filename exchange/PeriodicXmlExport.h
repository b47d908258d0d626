// The periodic goods report and the reports by hours as XML report
// documents: their items are written by the columns of the report's layout.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "device/GoodsRecords.h"
#include "exchange/JobSide.h"
#include "exchange/ReportColumns.h"
#include "platform/XmlDocument.h"

namespace exchange {

// Sets the attributes of one row on an Item, in column order, under the
// given names: integers as decimal, flags as Boolean, the rest as their texts.
void SetLayoutItem(platform::XmlNode item, const ReportLayout& layout, const ReportRow& row,
                   std::span<const char* const> attributes);

// Sets the 16 attributes of one record on an Item, in column order.
void SetPeriodicGoodsItem(platform::XmlNode item, const PeriodicGoodsStruct& record);

// Builds the whole document; `afterRow` runs after each item and ends the
// loop by returning true. The result is whether the loop ran to the end.
bool BuildPeriodicGoodsReportDocument(platform::XmlDocument& document,
                                      const std::vector<PeriodicGoodsStruct>& records,
                                      const std::function<bool()>& afterRow);
bool BuildHoursReportDocument(platform::XmlDocument& document, const std::vector<HourlyReportLine>& lines,
                              const std::function<bool()>& afterRow);
bool BuildHoursReportDocument(platform::XmlDocument& document,
                              const std::vector<PeriodicHourlyReportLine>& lines,
                              const std::function<bool()>& afterRow);

// The job procedures: the document from the report's array, which is
// emptied, then the save step (nothing is saved after a cancel).
void ExportPeriodicGoodsReportXml(JobContext& job);
void ExportDailyHoursReportXml(JobContext& job);
void ExportPeriodicHoursReportXml(JobContext& job);

} // namespace exchange
