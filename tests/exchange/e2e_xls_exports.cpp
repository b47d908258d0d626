// The goods report workbooks as files: each export kind written as .xls and
// read back by xlrd (values, cell kinds, font colours and weights) and by
// gnumeric; the daily report of a full simulated base taken from the
// register through the format choice and the job window to the saved file.
#include <gtest/gtest.h>

// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"

#include <QPushButton>
#include <cstdlib>

#include "device/DeviceLibrary.h"
#include "exchange/ExchangeJob.h"
#include "exchange/JobWorkbook.h"
#include "exchange/ReportColumns.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "support_reports.h"

using namespace exchange_test;
using exchange::DispatchResult;

namespace {

// The rows as gnumeric reads them, through its CSV export (which leaves out
// leading empty rows).
Rows GnumericRows(const std::string& path) {
    std::string csv = path + ".csv";
    std::string command = "ssconvert --export-type=Gnumeric_stf:stf_csv '" + path + "' '" + csv + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char buffer[512];
    for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
    EXPECT_EQ(pclose(pipe.release()), 0) << out;
    return PythonCsvRows(csv, ',', true, "utf-8");
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// A record's row as xlrd shows it, built from the record's fields; column 1
// blue, the others in the default black.
template <class Record>
std::vector<std::string> ExpectedRow(const exchange::ReportLayout& layout, const Record& r) {
    std::string name(r.Name());
    name = name.substr(0, name.find('\0'));
    auto money = [](int64_t kopecks) {
        return "s:" + platform::AnsiToUtf8(platform::FormatMoneyKopecks(kopecks));
    };
    auto quantity = [](int64_t thousandths) {
        return "n:" + Number(static_cast<double>(thousandths) / 1000);
    };
    auto flag = [](int16_t f) { return std::string(f != 0 ? "b:1" : "b:0"); };
    std::vector<std::string> values = {"n:" + std::to_string(r.number),
                                       "n:" + std::to_string(r.plu),
                                       "s:" + std::to_string(r.barcode),
                                       "s:" + platform::AnsiToUtf8(name),
                                       money(r.price),
                                       quantity(r.remainder),
                                       "n:" + std::to_string(r.group),
                                       "n:" + std::to_string(r.tax + 1),
                                       flag(r.weighed),
                                       flag(r.presenceControl),
                                       flag(r.saleBlocking),
                                       "n:" + std::to_string(r.payoutOperation),
                                       quantity(r.soldQuantity),
                                       money(r.salesSum),
                                       quantity(r.payoutQuantity),
                                       money(r.payoutsSum)};
    if constexpr (std::is_same_v<Record, GoodsStruct>) {
        for (int64_t sum : {int64_t{r.discountsOnSales}, int64_t{r.discountsOnPayouts},
                            int64_t{r.marginsOnSales}, int64_t{r.marginsOnPayouts}})
            values.push_back(money(sum));
    }
    std::vector<std::string> row(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::size_t column = layout.xlsColumns[i];
        row[column] = values[i] + (column == 1 ? "/0000ff" : "/000000");
    }
    return row;
}

template <class Record>
Rows ExpectedSheet(const exchange::ReportLayout& layout, const std::vector<Record>& records) {
    std::size_t columns = layout.columns.size();
    Rows rows = {{"1", "80"}, std::vector<std::string>(columns, "e"), {}};
    for (const std::string& caption : exchange::XlsCaptions(layout))
        rows.back().push_back("s:" + caption + "/0000ff/B");
    for (const Record& r : records) rows.push_back(ExpectedRow(layout, r));
    return rows;
}

class XlsFiles : public ::testing::Test {
protected:
    XlsFiles() { xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional()); }
    DispatchResult Run(int kind, const std::string& path) {
        return RunExport(job, exchange::FormatXls, kind, path, ui);
    }

    RegionalProfile profile{UkrainianProfile()};
    ScratchDir dir;
    platform::ScriptedUi ui;
    Job job;
};

} // namespace

TEST_F(XlsFiles, EveryReportKindReadsBackWithItsValuesAndFonts) {
    const std::vector<GoodsStruct> goods = {Bread(), Widest()};
    for (int kind : {5, 9, 10}) {
        SCOPED_TRACE(kind);
        std::string path = dir.File("goods" + std::to_string(kind) + ".xls");
        job.arrays.GoodsReport = goods;
        ASSERT_EQ(Run(kind, path), DispatchResult::Ran);
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(job.state.MakeMetod.Done, 1);
        EXPECT_EQ(job.state.MakeMetod.FileName, path);
        EXPECT_TRUE(job.side().FileWritten);
        EXPECT_EQ(XlrdRows(path), ExpectedSheet(exchange::GoodsReportLayout(), goods));
        KeepTestOutput(path, "goods_report_kind" + std::to_string(kind) + ".xls");
    }

    const std::vector<PeriodicGoodsStruct> periodic = {PeriodicBread(), PeriodicLarge()};
    std::string path = dir.File("periodic.xls");
    job.arrays.PeriodicGoodsReport = periodic;
    ASSERT_EQ(Run(6, path), DispatchResult::Ran);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(XlrdRows(path), ExpectedSheet(exchange::PeriodicGoodsReportLayout(), periodic));
    KeepTestOutput(path, "periodic_report.xls");

    Rows gnumeric = GnumericRows(path);
    ASSERT_EQ(gnumeric.size(), 3u);
    EXPECT_EQ(gnumeric[0][1], "PLU:");
    EXPECT_EQ(gnumeric[1][3], "Сир твердий");
    EXPECT_EQ(gnumeric[1][8], "TRUE");
    EXPECT_EQ(gnumeric[1][12], "-2.5");
    EXPECT_EQ(gnumeric[2][1], "1048575");
    EXPECT_EQ(gnumeric[2][2], "4398046511103");
}

TEST_F(XlsFiles, EmptyReportWritesTheCaptionRow) {
    std::string path = dir.File("empty.xls");
    ASSERT_EQ(Run(9, path), DispatchResult::Ran);
    EXPECT_EQ(XlrdRows(path), ExpectedSheet(exchange::GoodsReportLayout(), std::vector<GoodsStruct>{}));
}

// A workbook read before left another version in the component; the export
// still writes BIFF8.
TEST_F(XlsFiles, ExportAfterAnotherVersionStillWritesBiff8) {
    exchange::JobWorkbook(job.side()).SetVersion(xls::TExcelVersion::xvExcel2007);
    std::string path = dir.File("after.xls");
    job.arrays.GoodsReport = {Bread()};
    ASSERT_EQ(Run(5, path), DispatchResult::Ran);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ReadFile(path).substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    EXPECT_EQ(XlrdRows(path)[0], (std::vector<std::string>{"1", "80"}));
}

// A write that fails shows why, keeps the file that stood there and does not
// end the job as done.
TEST_F(XlsFiles, FailedWriteKeepsTheOldFileAndReportsTheFailure) {
    std::string path = dir.File("old.xls");
    WriteFile(path, "old contents");
    platform::SetAtomicWriteHook(
        [](const std::string&, std::size_t) { throw platform::FileError("disk full while writing"); });
    job.arrays.GoodsReport = {Bread(), Widest()};
    DispatchResult result = Run(9, path);
    platform::SetAtomicWriteHook(nullptr);
    EXPECT_EQ(result, DispatchResult::Failed);
    EXPECT_EQ(ReadFile(path), "old contents");
    EXPECT_EQ(job.state.MakeMetod.Done, 0);
    EXPECT_FALSE(job.side().FileWritten);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].Utf8Text().find("disk full while writing"), std::string::npos);
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 1) << "no temporary file is left";

    ui.boxes.clear();
    job.arrays.GoodsReport = {Bread()};
    std::string nowhere = dir.File("missing/folder/day.xls");
    EXPECT_EQ(Run(9, nowhere), DispatchResult::Failed);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].Utf8Text().find("day.xls"), std::string::npos) << ui.boxes[0].Utf8Text();
    EXPECT_FALSE(FileExists(nowhere));
}

// The register's daily report by goods of a full base: read record by
// record, the workbook format chosen, the job window run, the file saved and
// success reported; read back by xlrd and gnumeric.
TEST(XlsRoad, DailyReportOfAFullBaseFromTheRegisterToAWorkbook) {
    EnsureApplication();
    ResetSide();
    RegionalProfile profile(UkrainianProfile());
    xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
    ScratchDir dir;
    WriteFile(dir.File("scenario.txt"), "seed-goods 5269\n");
    setenv("Q710_SIM_STATE", dir.File("state.bin").c_str(), 1);
    setenv("Q710_SIM_SCENARIO", dir.File("scenario.txt").c_str(), 1);
    unsetenv("Q710_SIM_LOG");
    device::DeviceLibrary library;
    const char* bin = std::getenv("Q710_BIN_DIR");
    std::string error;
    ASSERT_TRUE(library.Load(bin != nullptr ? bin : ".", error)) << error;
    const device::DeviceApi& api = library.Api();
    const char* err = nullptr;
    ASSERT_NE(api.HostConnect(1, 19200, 20, 20, &err), 0) << device::DeviceText(err);

    std::vector<GoodsStruct> day(1);
    ASSERT_EQ(api.GetSaleGoodsByMinNumber(0, &day[0], &err), Q710_OK) << device::DeviceText(err);
    CompleteLibraryRecord(day[0]);
    std::vector<uint8_t> raw(Q710_RAW_GOODS_SIZE);
    for (GoodsStruct next; api.NextCommand(raw.data(), Q710_RAW_GOODS_SIZE - 1, &err) == Q710_OK;) {
        ASSERT_TRUE(UnpackGoodsRecord(raw, next));
        day.push_back(next);
    }
    api.HostDisconnect();
    ASSERT_GT(day.size(), 3000u);

    console::ConsoleState state;
    console::TForm5 form5(state);
    console::TForm4 form4(state);
    platform::ScriptedUi ui;
    ui.QueueModal([](QDialog& d) {
        auto& f = dynamic_cast<console::TForm5&>(d);
        f.SetItemIndex(exchange::FormatXls);
        f.Button1->click();
        return f.result();
    });
    ui.QueueModal([](QDialog& d) {
        auto& f = dynamic_cast<console::TForm4&>(d);
        f.FormShow();
        f.Timer1Timer();
        return f.result();
    });
    const std::string path = dir.File("day.xls");
    ui.QueueFile(path);
    Shared().GoodsReport = day;
    EXPECT_TRUE(exchange::RunExportJob(state, 9));
    EXPECT_EQ(ui.PendingReplies(), 0u);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(Shared().GoodsReport.empty());
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_EQ(ui.fileDialogs[0].request.filter, "Excel files (*.xls)|*.xls");
    KeepTestOutput(path, "day_report_5269.xls");
    ASSERT_EQ(&exchange::JobWorkbook(exchange::Side()), form4.XLS.get()) << "the job window's component";
    EXPECT_EQ(form4.XLS->GetSheet(0).GetCellType(2, 2), 3);

    EXPECT_EQ(XlrdRows(path), ExpectedSheet(exchange::GoodsReportLayout(), day));

    Rows gnumeric = GnumericRows(path);
    ASSERT_EQ(gnumeric.size(), day.size() + 1);
    for (std::size_t i = 0; i < day.size(); ++i) {
        const GoodsStruct& g = day[i];
        const std::vector<std::string>& row = gnumeric[i + 1];
        ASSERT_EQ(row.size(), 20u) << i;
        std::string name(g.Name());
        EXPECT_EQ(row[0], std::to_string(g.number));
        EXPECT_EQ(row[1], std::to_string(g.barcode));
        EXPECT_EQ(row[2], std::to_string(g.plu));
        EXPECT_EQ(row[3], platform::AnsiToUtf8(name.substr(0, name.find('\0'))));
        EXPECT_EQ(row[13], platform::AnsiToUtf8(platform::FormatMoneyKopecks(g.salesSum)));
    }
    Shared().Clear();
    ResetSide();
}
