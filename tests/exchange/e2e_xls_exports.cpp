// The goods report workbooks as files: each export kind written as .xls and
// read back by xlrd (values, cell kinds, font colours and weights) and by
// gnumeric.
#include <gtest/gtest.h>

// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "exchange/JobWorkbook.h"
#include "exchange/ReportColumns.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "support_process.h"
#include "support_reports.h"

using namespace exchange_test;
using exchange::DispatchResult;

namespace {

// The rows as gnumeric reads them, through its CSV export (which leaves out
// leading empty rows).
Rows GnumericRows(const std::string& path) {
    std::string csv = path + ".csv";
    const testfiles::TProgramRun run =
        testfiles::RunProgram("ssconvert --export-type=Gnumeric_stf:stf_csv " + testfiles::ShellQuote(path) +
                              " " + testfiles::ShellQuote(csv));
    EXPECT_EQ(run.Status, 0) << run.Why();
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

// Negative sums and quantities of the periodic report keep their sign in the
// workbook under both profiles: the regional negative money pattern ("-n $"
// of the Ukrainian profile, "-$n" of the point profile) and a negative float.
TEST_F(XlsFiles, PeriodicNegativeValuesUnderBothProfiles) {
    struct Profile {
        platform::RegionalSettings settings;
        const char* price;
        const char* soldSum;
    };
    const Profile profiles[] = {{UkrainianProfile(), "150,75 грн.", "-1,50 грн."},
                                {DotProfile(), "$150.75", "-$1.50"}};
    for (const Profile& p : profiles) {
        RegionalProfile regional(p.settings);
        xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
        std::string path = dir.File(std::string("negative") + p.settings.decimalSeparator + ".xls");
        job.arrays.PeriodicGoodsReport = {PeriodicBread()};
        ASSERT_EQ(Run(6, path), DispatchResult::Ran);
        Rows rows = XlrdRows(path);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[3][4], std::string("s:") + p.price + "/000000");
        EXPECT_EQ(rows[3][12], "n:-2.5/000000");
        EXPECT_EQ(rows[3][13], std::string("s:") + p.soldSum + "/000000");
        EXPECT_EQ(rows[3][15], std::string("s:") +
                                   (p.settings.decimalSeparator == ',' ? "0,00 грн." : "$0.00") + "/000000");
    }
}

// Whatever an earlier job left in the component (another version, more
// sheets, more rows), an export starts from an empty BIFF8 workbook; an
// empty report leaves the caption row only.
TEST_F(XlsFiles, ExportStartsFromAnEmptyBiff8Workbook) {
    xls::TTabrix4& book = exchange::JobWorkbook(job.side());
    book.Sheets().Add(0).SetAsString(5, 70, u"stale");
    book.GetSheet(0).SetAsString(1, 9, u"stale");
    for (xls::TExcelVersion version : {xls::TExcelVersion::xvExcel2007, xls::TExcelVersion::xvExcel21}) {
        book.SetVersion(version);
        std::string path = dir.File("after.xls");
        ASSERT_EQ(Run(5, path), DispatchResult::Ran);
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(ReadFile(path).substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
        EXPECT_EQ(XlrdRows(path), ExpectedSheet(exchange::GoodsReportLayout(), std::vector<GoodsStruct>{}));
        book.Sheets().Add(0).SetAsString(5, 70, u"stale");
    }
}
