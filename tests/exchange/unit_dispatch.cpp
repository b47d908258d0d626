// What the dispatcher does around each procedure: the table of procedures,
// the duplicate-PLU log after goods imports, the emptying of GoodsDupCheck,
// failures.
#include <gtest/gtest.h>

#include "exchange/Dispatcher.h"
#include "exchange/DuplicatePluLog.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"

using namespace exchange_test;
using exchange::DispatchResult;

namespace {

const char* const kFormatNames[4] = {"XML", "XLS", "CSV", "DBF"};

// The job window's table: operation kinds 1..10 by format XML, XLS, CSV, DBF.
const char* const kProcedures[10][4] = {
    {"ImportGroupsXml", "ImportGroupsXls", "ImportGroupsCsv", "ImportGroupsDbf"},
    {"ExportGroupsXml", "ExportGroupsXls", "ExportGroupsCsv", "ExportGroupsDbf"},
    {"ImportGoodsXml(false)", "ImportGoodsXls(false)", "ImportGoodsCsv(false)", "ImportGoodsDbf(false)"},
    {"ImportGoodsXml(true)", "ImportGoodsXls(true)", "ImportGoodsCsv(true)", "ImportGoodsDbf(true)"},
    {"ExportGoodsXml(1)", "ExportGoodsXls", "ExportGoodsCsv", "ExportGoodsDbf"},
    {"ExportPeriodicGoodsReportXml", "ExportPeriodicGoodsReportXls", "ExportPeriodicGoodsReportCsv",
     "ExportPeriodicGoodsReportDbf"},
    {"ExportDailyHoursReportXml", "ExportDailyHoursReportXls", "ExportDailyHoursReportCsv",
     "ExportDailyHoursReportDbf"},
    {"ExportPeriodicHoursReportXml", "ExportPeriodicHoursReportXls", "ExportPeriodicHoursReportCsv",
     "ExportPeriodicHoursReportDbf"},
    {"ExportGoodsXml(0)", "ExportGoodsXls", "ExportGoodsCsv", "ExportGoodsDbf"},
    {"ExportGoodsXml(2)", "ExportGoodsXls", "ExportGoodsCsv", "ExportGoodsDbf"},
};

// The report id each export kind writes into its XML document.
const char* const kReportIds[11] = {nullptr,     nullptr,     "{XMLREP1}", nullptr,
                                    nullptr,     "{XMLREP2}", "{XMLREP5}", "{XMLREP6}",
                                    "{XMLREP7}", "{XMLREP3}", "{XMLREP4}"};

} // namespace

TEST(Dispatch, TableHoldsEveryProcedureAtItsKindAndFormat) {
    for (int kind = 1; kind <= 10; ++kind) {
        for (int format = 0; format < 4; ++format) {
            SCOPED_TRACE(std::to_string(kind) + " " + kFormatNames[format]);
            const exchange::DispatchEntry* entry = exchange::FindProcedure(format, kind);
            ASSERT_NE(entry, nullptr);
            EXPECT_STREQ(entry->name, kProcedures[kind - 1][format]);
            EXPECT_NE(entry->run, nullptr);
        }
    }
    for (int format : {-1, 4}) EXPECT_EQ(exchange::FindProcedure(format, 5), nullptr);
    for (int kind : {0, 11, 255}) EXPECT_EQ(exchange::FindProcedure(0, kind), nullptr);
}

// Each export pair runs its own procedure: the file is of the pair's format
// (an XML document with the kind's report id, a compound file, text lines, a
// dBase III table) and the job is done. The group import without its file
// imports nothing.
TEST(Dispatch, EveryExportWritesItsOwnFormat) {
    ScratchDir dir;
    for (int kind = 1; kind <= 10; ++kind) {
        if (exchange::IsGoodsImportKind(kind)) continue; // they read a file and ask the register: own tests
        for (int format = 0; format < 4; ++format) {
            SCOPED_TRACE(std::to_string(kind) + " " + kFormatNames[format]);
            platform::ScriptedUi ui;
            Job job;
            job.arrays.GoodsReport = {Goods(1, 1, 0, "A")};
            job.arrays.PeriodicGoodsReport.resize(1);
            job.arrays.HourlyReport.resize(24);
            job.arrays.PeriodicHourlyReport.resize(24);
            job.arrays.GoodsGroupTable = {{1, "A"}};
            job.state.MakeMetod.OperationKind = static_cast<uint8_t>(kind);
            std::string path = dir.File("out" + std::to_string(kind) + "_" + std::to_string(format));
            ui.QueueFile(path);
            exchange::JobContext context = job.Context();
            DispatchResult result = exchange::Dispatch(context, format, kind);
            if (exchange::IsImportKind(kind)) {
                EXPECT_EQ(job.state.MakeMetod.Done, 0);
                EXPECT_FALSE(exchange::Side().FileWritten);
                continue;
            }
            EXPECT_EQ(result, DispatchResult::Ran);
            EXPECT_EQ(job.state.MakeMetod.Done, 1);
            EXPECT_TRUE(exchange::Side().FileWritten);
            EXPECT_TRUE(ui.boxes.empty());
            // The save dialog adds the format's extension.
            std::string bytes = ReadFile(job.state.MakeMetod.FileName);
            switch (format) {
            case exchange::FormatXml:
                EXPECT_EQ(bytes.rfind("<?xml", 0), 0u);
                EXPECT_NE(bytes.find(std::string("<REPORT_ID>") + kReportIds[kind] + "</REPORT_ID>"),
                          std::string::npos);
                break;
            case exchange::FormatXls:
                EXPECT_EQ(bytes.rfind("\xD0\xCF\x11\xE0", 0), 0u);
                break;
            case exchange::FormatCsv:
                EXPECT_NE(bytes.find("\r\n"), std::string::npos);
                EXPECT_EQ(bytes.find('\0'), std::string::npos);
                break;
            default:
                EXPECT_EQ(bytes.substr(0, 1), "\x03");
            }
        }
    }
}

TEST(Dispatch, KindOrFormatOutOfRangeRunsNothingQuietly) {
    for (auto [format, kind] : {std::pair{0, 0}, {0, 11}, {4, 5}, {-1, 9}}) {
        platform::ScriptedUi ui;
        Job job;
        job.arrays.GoodsReport = {Goods(1, 1, 0, "A")};
        job.side().GoodsDupCheck.push_back({1, 2, 3, 0});
        exchange::JobContext context = job.Context();
        EXPECT_EQ(exchange::Dispatch(context, format, kind), DispatchResult::NothingToRun);
        EXPECT_EQ(job.state.MakeMetod.Done, 0);
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_TRUE(ui.fileDialogs.empty());
        EXPECT_EQ(job.arrays.GoodsReport.size(), 1u);
        EXPECT_TRUE(exchange::Side().GoodsDupCheck.empty());
    }
}

TEST(Dispatch, GoodsImportsLeaveTheDuplicateLogWhateverTheProcedureDid) {
    ScratchDir dir;
    for (int kind : {3, 4}) {
        platform::ScriptedUi ui;
        Job job;
        ASSERT_TRUE(ConnectSimulator(job.state));
        std::string importFile = dir.File("goods" + std::to_string(kind) + ".csv");
        job.state.MakeMetod.FileName = importFile;
        job.side().GoodsDupCheck = {{10, 7, 0, 0}, {11, 8, 0, 0}, {12, 7, 0, 0}};
        exchange::JobContext context = job.Context();
        exchange::Dispatch(context, exchange::FormatCsv, kind);
        EXPECT_EQ(ReadFile(importFile + ".log"), "[PLU:7 Barcode:0] \xCD\xEE\xEC\xE5\xF0 \xE7\xE0 "
                                                 "\xF1\xEF\xE8\xF1\xEA\xEE\xEC: 10 = 12\r\n");
        EXPECT_TRUE(exchange::Side().GoodsDupCheck.empty());
    }
    // Other kinds neither write nor remove a log.
    platform::ScriptedUi ui;
    Job job;
    std::string importFile = dir.File("goods3.csv");
    job.state.MakeMetod.FileName = importFile;
    job.side().GoodsDupCheck = {{10, 7, 0, 0}, {12, 7, 0, 0}};
    exchange::JobContext context = job.Context();
    exchange::Dispatch(context, exchange::FormatCsv, 1);
    EXPECT_TRUE(FileExists(importFile + ".log"));
    EXPECT_TRUE(exchange::Side().GoodsDupCheck.empty());
}

TEST(Dispatch, AFailingProcedureIsShownAndTheJobIsNotDone) {
    ScratchDir dir;
    platform::ScriptedUi ui;
    platform::SetApplicationTitle("ZRV-Q710");
    Job job;
    job.arrays.GoodsReport = {Goods(1, 1, 0, "A")};
    ui.QueueFile(dir.File("no/such/folder/x.xml"));
    exchange::JobContext context = job.Context();
    EXPECT_EQ(exchange::Dispatch(context, exchange::FormatXml, 10), DispatchResult::Failed);
    EXPECT_EQ(job.state.MakeMetod.Done, 0);
    EXPECT_FALSE(exchange::Side().FileWritten);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "ZRV-Q710");
    EXPECT_EQ(ui.boxes[0].style, static_cast<unsigned>(platform::MbIconError));
}
