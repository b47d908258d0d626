// The goods report and the periodic goods report as dBase III tables: read
// back by dbfread under both regional profiles, and the job's dialog,
// cancel, refusal and failure paths.
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

#include "exchange/DBF.h"
#include "exchange/ReportDbfExport.h"
#include "platform/CodePages.h"
#include "support_dbf.h"
#include "support_reports.h"

using namespace exchange_test;

namespace {

exchange::DbfDate FixedDay() {
    return {2024, 3, 5};
}

Rows Concat(std::initializer_list<Rows> parts) {
    Rows out;
    for (const Rows& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Rows kBreadRecord = {Texts('.',
                                 "1|5|4820000000001|Хліб житній|12.5|1.5|3|1|True|True|False|2|2.0|1234.56|"
                                 "0.001|0.05|0.0|0.1|0.99|1.0")};
const Rows kWidestRecord = {Texts('.',
                                  "65535|999999|-999999999999|Молоко 2,5% пастеризоване 900мл|999999.99|"
                                  "4294967.295|100|5|False|False|True|3|4294967.295|9999999.99|0.0|0.0|0.01|"
                                  "42949.67|10.0|9999999.99")};
const Rows kPeriodicRecord = {
    Texts('.', "7|12|0|Сир твердий|150.75|2.5|1|3|True|False|True|0|-2.5|-1.5|3.0|0.0")};

Rows PeriodicFields() {
    Rows fields = GoodsTableFields();
    fields.resize(exchange::PeriodicReportValueCount);
    return fields;
}

class ReportDbf : public ::testing::Test {
protected:
    void SetUp() override { exchange::SetDbfClock(FixedDay); }
    void TearDown() override { exchange::SetDbfClock(nullptr); }
    exchange::DispatchResult Run(int kind, std::optional<std::string> path) {
        return RunExport(job, exchange::FormatDbf, kind, std::move(path), ui);
    }
    ScratchDir dir;
    platform::ScriptedUi ui;
    Job job;
};

} // namespace

TEST_F(ReportDbf, GoodsTableReadsBackUnderBothProfiles) {
    for (const auto& settings : {UkrainianProfile(), DotProfile()}) {
        SCOPED_TRACE(settings.decimalSeparator);
        RegionalProfile profile(settings);
        job.arrays.GoodsReport = {Bread(), Widest()};
        std::string path = dir.File(std::string("goods") + settings.decimalSeparator + ".dbf");
        ASSERT_EQ(Run(5, path), exchange::DispatchResult::Ran);
        EXPECT_EQ(DbfreadRows(path),
                  Concat({{{"673", "170"}}, GoodsTableFields(), {{"--"}}, kBreadRecord, kWidestRecord}));
        KeepTestOutput(path, "goods_report.dbf");
    }
}

TEST_F(ReportDbf, PeriodicTableKeepsTheSignsOfItsCounters) {
    for (const auto& settings : {UkrainianProfile(), DotProfile()}) {
        SCOPED_TRACE(settings.decimalSeparator);
        RegionalProfile profile(settings);
        job.arrays.PeriodicGoodsReport = {PeriodicBread()};
        std::string path = dir.File(std::string("periodic") + settings.decimalSeparator + ".dbf");
        ASSERT_EQ(Run(6, path), exchange::DispatchResult::Ran);
        EXPECT_EQ(DbfreadRows(path), Concat({{{"545", "130"}}, PeriodicFields(), {{"--"}}, kPeriodicRecord}));
        // Numbers stand right-aligned with a point, flags as T and F.
        std::string bytes = ReadFile(path);
        ASSERT_EQ(bytes.size(), 545u + 130u + 1u);
        std::string record = bytes.substr(545, 130);
        EXPECT_EQ(record.substr(0, 12), "     7    12");
        EXPECT_NE(record.find("TFT0"), std::string::npos);
        EXPECT_NE(record.find("      -2.500     -1.50"), std::string::npos);
    }
}

// A value wider than its field stops the export; the file the user chose
// keeps what it held before and nothing is left beside it.
TEST_F(ReportDbf, ValueTooWideIsShownAndLeavesThePreviousFile) {
    RegionalProfile profile(UkrainianProfile());
    GoodsStruct sevenDigitPlu = Bread();
    sevenDigitPlu.plu = 1048575;
    PeriodicGoodsStruct widePrice = PeriodicLarge();
    widePrice.plu = 1;
    struct Case {
        int kind;
        const char* where;
    } cases[] = {{9, "Ряд: 2, Поле: 2"}, {6, "Ряд: 2, Поле: 5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        ui.boxes.clear();
        job.arrays.GoodsReport = {Bread(), sevenDigitPlu, Bread()};
        job.arrays.PeriodicGoodsReport = {PeriodicBread(), widePrice};
        std::string path = dir.File("report.dbf");
        WriteFile(path, "old contents");
        EXPECT_EQ(Run(c.kind, path), exchange::DispatchResult::Failed);
        EXPECT_EQ(job.state.MakeMetod.Done, 0);
        EXPECT_FALSE(exchange::Side().FileWritten);
        EXPECT_EQ(job.arrays.GoodsReport.size(), 3u);
        EXPECT_EQ(job.arrays.PeriodicGoodsReport.size(), 2u);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].Utf8Text(),
                  std::string("SetFieldData: Недопустимый размер данных\r") + c.where);
        EXPECT_EQ(ReadFile(path), "old contents");
        EXPECT_EQ(testfiles::CountEntries(dir.Path()), 1);
    }
}

// A write the disk refuses stops the export with the system's reason, as
// the other formats tell it: while the table is made (its own box) or
// half-way (the job's failure box); the previous file stays.
TEST_F(ReportDbf, FullDiskIsToldWithItsReason) {
    RegionalProfile profile(UkrainianProfile());
    const std::string path = dir.File("report.dbf");
    const std::string reason = "\r\nНе вдається записати файл " + path + ": ";
    std::optional<dbftest::FileSizeLimit> limit;
    const struct {
        const char* what;
        std::function<void()> fail;
        exchange::DispatchResult result;
        std::string text;
    } cases[] = {
        {"disk full while the table is made",
         [] {
             platform::SetAtomicWriteHook(
                 [](const std::string&, std::size_t) { throw platform::FileError("disk full", ENOSPC); });
         },
         exchange::DispatchResult::Ran,
         "Не вдалося створити таблицю dbf!" + reason + "На пристрої не залишилося вільного місця"},
        {"no room half-way", [&limit] { limit.emplace(4096); }, exchange::DispatchResult::Failed,
         "Append: Ошибка сохранения записи" + reason + "Файл завеликий"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui.boxes.clear();
        job.state.MakeMetod.Done = 0;
        job.arrays.GoodsReport.assign(40, Bread());
        WriteFile(path, "old contents");
        c.fail();
        const exchange::DispatchResult result = Run(9, path);
        platform::SetAtomicWriteHook(nullptr);
        limit.reset();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(job.state.MakeMetod.Done, 0);
        EXPECT_FALSE(exchange::Side().FileWritten);
        EXPECT_EQ(job.arrays.GoodsReport.size(), 40u);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].Utf8Text(), c.text);
        EXPECT_EQ(ReadFile(path), "old contents");
        EXPECT_EQ(testfiles::CountEntries(dir.Path()), 1);
    }
}

TEST_F(ReportDbf, ReplacedFileKeepsItsPermissions) {
    std::string path = dir.File("shared.dbf");
    WriteFile(path, "old contents");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    job.arrays.GoodsReport = {Bread()};
    ASSERT_EQ(Run(9, path), exchange::DispatchResult::Ran);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(DbfreadRows(path).size(), 1u + 20u + 1u + 1u);
}
