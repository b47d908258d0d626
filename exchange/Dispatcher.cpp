#include "exchange/Dispatcher.h"

#include <exception>

#include "console/Guarded.h"
#include "exchange/DuplicatePluLog.h"
#include "exchange/GoodsImport.h"
#include "exchange/GoodsXmlExport.h"
#include "exchange/GroupsImport.h"
#include "exchange/GroupsXmlExport.h"
#include "exchange/PeriodicXmlExport.h"
#include "exchange/ReportCsvExport.h"
#include "exchange/ReportDbfExport.h"
#include "exchange/ReportXlsExport.h"

namespace exchange {

namespace {

// Rows: operation kinds 1..10; columns: XML, XLS, CSV, DBF.
const DispatchEntry kTable[OperationKindCount][FormatCount] = {
    {{"ImportGroupsXml", ImportGroupsXml},
     {"ImportGroupsXls", ImportGroupsXls},
     {"ImportGroupsCsv", ImportGroupsCsv},
     {"ImportGroupsDbf", ImportGroupsDbf}},
    {{"ExportGroupsXml", ExportGroupsXml},
     {"ExportGroupsXls", ExportGroupsXls},
     {"ExportGroupsCsv", ExportGroupsCsv},
     {"ExportGroupsDbf", ExportGroupsDbf}},
    {{"ImportGoodsXml(false)", [](JobContext& job) { ImportGoodsXml(job, false); }},
     {"ImportGoodsXls(false)", [](JobContext& job) { ImportGoodsXls(job, false); }},
     {"ImportGoodsCsv(false)", [](JobContext& job) { ImportGoodsCsv(job, false); }},
     {"ImportGoodsDbf(false)", [](JobContext& job) { ImportGoodsDbf(job, false); }}},
    {{"ImportGoodsXml(true)", [](JobContext& job) { ImportGoodsXml(job, true); }},
     {"ImportGoodsXls(true)", [](JobContext& job) { ImportGoodsXls(job, true); }},
     {"ImportGoodsCsv(true)", [](JobContext& job) { ImportGoodsCsv(job, true); }},
     {"ImportGoodsDbf(true)", [](JobContext& job) { ImportGoodsDbf(job, true); }}},
    {{"ExportGoodsXml(1)", [](JobContext& job) { ExportGoodsXml(job, GoodsVariantFull); }},
     {"ExportGoodsXls", ExportGoodsXls},
     {"ExportGoodsCsv", ExportGoodsCsv},
     {"ExportGoodsDbf", ExportGoodsDbf}},
    {{"ExportPeriodicGoodsReportXml", ExportPeriodicGoodsReportXml},
     {"ExportPeriodicGoodsReportXls", ExportPeriodicGoodsReportXls},
     {"ExportPeriodicGoodsReportCsv", ExportPeriodicGoodsReportCsv},
     {"ExportPeriodicGoodsReportDbf", ExportPeriodicGoodsReportDbf}},
    {{"ExportDailyHoursReportXml", ExportDailyHoursReportXml},
     {"ExportDailyHoursReportXls", ExportDailyHoursReportXls},
     {"ExportDailyHoursReportCsv", ExportDailyHoursReportCsv},
     {"ExportDailyHoursReportDbf", ExportDailyHoursReportDbf}},
    {{"ExportPeriodicHoursReportXml", ExportPeriodicHoursReportXml},
     {"ExportPeriodicHoursReportXls", ExportPeriodicHoursReportXls},
     {"ExportPeriodicHoursReportCsv", ExportPeriodicHoursReportCsv},
     {"ExportPeriodicHoursReportDbf", ExportPeriodicHoursReportDbf}},
    {{"ExportGoodsXml(0)", [](JobContext& job) { ExportGoodsXml(job, GoodsVariantDaily); }},
     {"ExportGoodsXls", ExportGoodsXls},
     {"ExportGoodsCsv", ExportGoodsCsv},
     {"ExportGoodsDbf", ExportGoodsDbf}},
    {{"ExportGoodsXml(2)", [](JobContext& job) { ExportGoodsXml(job, GoodsVariantCritical); }},
     {"ExportGoodsXls", ExportGoodsXls},
     {"ExportGoodsCsv", ExportGoodsCsv},
     {"ExportGoodsDbf", ExportGoodsDbf}},
};

} // namespace

const DispatchEntry* FindProcedure(int formatIndex, int operationKind) {
    if (operationKind < 1 || operationKind > OperationKindCount) return nullptr;
    if (formatIndex < 0 || formatIndex >= FormatCount) return nullptr;
    return &kTable[operationKind - 1][formatIndex];
}

bool IsGoodsImportKind(int operationKind) {
    return operationKind == 3 || operationKind == 4;
}

bool IsImportKind(int operationKind) {
    return operationKind == 1 || IsGoodsImportKind(operationKind);
}

DispatchResult Dispatch(JobContext& job, int formatIndex, int operationKind) {
    DispatchResult result = DispatchResult::NothingToRun;
    if (const DispatchEntry* entry = FindProcedure(formatIndex, operationKind))
        result = console::Guarded([&] { entry->run(job); }) ? DispatchResult::Ran : DispatchResult::Failed;
    // The log covers the rows read so far, also after a cancel or a failure.
    if (IsGoodsImportKind(operationKind) && !job.state.MakeMetod.FileName.empty()) {
        if (!console::Guarded(
                [&] { WriteDuplicatePluLog(job.state.MakeMetod.FileName, job.side.GoodsDupCheck); }))
            result = DispatchResult::Failed;
    }
    job.side.GoodsDupCheck.clear();
    return result;
}

} // namespace exchange
