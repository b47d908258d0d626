// What the dispatcher does around each procedure: the
// "not available" message for procedures still missing, the duplicate-PLU
// log after goods imports, the emptying of GoodsDupCheck, failures.
#include <gtest/gtest.h>

#include "exchange/Dispatcher.h"
#include "exchange/DuplicatePluLog.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"

using namespace exchange_test;
using exchange::DispatchResult;

namespace {

const char* const kFormatNames[4] = {"XML", "XLS", "CSV", "DBF"};

} // namespace

// Every pair run once: a present procedure ends its job; a missing one says
// so and never leaves the job looking done or a file written.
TEST(Dispatch, MissingProceduresAreReportedNeverSucceed) {
    ScratchDir dir;
    for (int kind = 1; kind <= 10; ++kind) {
        for (int format = 0; format < 4; ++format) {
            SCOPED_TRACE(std::to_string(kind) + " " + kFormatNames[format]);
            // The goods imports read a file and ask the register: their own tests run them.
            if (exchange::IsGoodsImportKind(kind)) {
                EXPECT_NE(exchange::FindProcedure(format, kind)->run, nullptr);
                continue;
            }
            platform::ScriptedUi ui;
            Job job;
            job.arrays.GoodsReport = {Goods(1, 1, 0, "A")};
            job.state.MakeMetod.OperationKind = static_cast<uint8_t>(kind);
            std::string path = dir.File("out" + std::to_string(kind) + "_" + std::to_string(format));
            ui.QueueFile(path);
            exchange::JobContext context = job.Context();
            DispatchResult result = exchange::Dispatch(context, format, kind);
            if (exchange::FindProcedure(format, kind)->run != nullptr && exchange::IsImportKind(kind)) {
                // The file to import is not there: nothing imported, nothing written.
                EXPECT_EQ(job.state.MakeMetod.Done, 0);
                EXPECT_FALSE(exchange::Side().FileWritten);
                continue;
            }
            if (exchange::FindProcedure(format, kind)->run != nullptr) {
                EXPECT_EQ(result, DispatchResult::Ran);
                EXPECT_EQ(job.state.MakeMetod.Done, 1);
                EXPECT_TRUE(exchange::Side().FileWritten);
                continue;
            }
            EXPECT_EQ(result, DispatchResult::NotAvailable);
            EXPECT_EQ(job.state.MakeMetod.Done, 0);
            EXPECT_FALSE(exchange::Side().FileWritten);
            EXPECT_TRUE(ui.fileDialogs.empty());
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].Utf8Caption(), "Помилка");
            EXPECT_EQ(ui.boxes[0].style, 0x2010u);
            EXPECT_NE(ui.boxes[0].Utf8Text().find(kFormatNames[format]), std::string::npos);
            EXPECT_NE(ui.boxes[0].Utf8Text().find("не доступн"), std::string::npos);
        }
    }
    for (int format : {-1, 4}) EXPECT_EQ(exchange::FindProcedure(format, 5), nullptr);
    for (int kind : {0, 11, 255}) EXPECT_EQ(exchange::FindProcedure(0, kind), nullptr);
    // Only the goods report exports to XML are there so far.
    for (int kind : {5, 9, 10}) EXPECT_NE(exchange::FindProcedure(exchange::FormatXml, kind)->run, nullptr);
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
