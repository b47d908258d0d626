// The daily and periodic reports by hours in every file format, read back by
// independent readers (xmllint and Python's XML parser, xlrd, csv, dbfread)
// under both regional profiles, with counters and sums at their limits.
#include <gtest/gtest.h>

#include <climits>

// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/XLSLibState.h"
#include "exchange/ReportColumns.h"
#include "exchange/ReportCsvExport.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "support_reports.h"

using namespace exchange_test;
using exchange::DispatchResult;

namespace {

struct Values {
    uint64_t sales, refunds;
    int64_t saleSum, refundSum;
};

// Hour k of a day: receipts and sums of its own, the last hour at the
// 16- and 32-bit limits.
std::vector<Values> DailyValues() {
    std::vector<Values> v;
    for (int64_t k = 0; k < 24; ++k)
        v.push_back({uint64_t(3 * k), uint64_t(k % 2), 12345 * k, k == 9 ? 150 : 0});
    v[23] = {65535, 1, 4294967295, 0};
    return v;
}

// A period: negative sums; with `wide` receipt counts from 2^31 and the
// 64-bit sums' limits, which no table field holds.
std::vector<Values> PeriodicValues(bool wide) {
    std::vector<Values> v;
    for (int64_t k = 0; k < 24; ++k) v.push_back({uint64_t(100 * k), uint64_t(k), 456789 * k, 1500 * k});
    v[7].saleSum = -150;
    v[8].refundSum = -999999999;
    if (wide) {
        v[5].sales = 2147483648u;
        v[6].sales = 4294967295u;
        v[10].saleSum = INT64_MIN;
        v[11].refundSum = INT64_MAX;
    }
    return v;
}

std::vector<HourlyReportLine> DailyLines() {
    std::vector<HourlyReportLine> lines;
    for (const Values& v : DailyValues())
        lines.push_back({uint16_t(v.sales), uint16_t(v.refunds), uint32_t(v.saleSum), uint32_t(v.refundSum)});
    return lines;
}

std::vector<PeriodicHourlyReportLine> PeriodicLines(bool wide) {
    std::vector<PeriodicHourlyReportLine> lines;
    for (const Values& v : PeriodicValues(wide))
        lines.push_back({uint32_t(v.sales), uint32_t(v.refunds), v.saleSum, v.refundSum});
    return lines;
}

// "%0.2f" of kopecks, written out by hand.
std::string Fixed2(int64_t kopecks, char sep) {
    const uint64_t m = kopecks < 0 ? 0 - static_cast<uint64_t>(kopecks) : static_cast<uint64_t>(kopecks);
    const std::string cents = std::to_string(m % 100);
    return (kopecks < 0 ? "-" : "") + std::to_string(m / 100) + sep + (cents.size() < 2 ? "0" : "") + cents;
}

std::vector<std::string> LineTexts(std::size_t k, const Values& v, char sep) {
    return {std::to_string(k) + ":00", std::to_string((k + 1) % 24) + ":00",
            std::to_string(v.sales),   Fixed2(v.saleSum, sep),
            std::to_string(v.refunds), Fixed2(v.refundSum, sep)};
}

Rows ExpectedTexts(const std::vector<Values>& values, char sep) {
    Rows rows;
    for (std::size_t k = 0; k < values.size(); ++k) rows.push_back(LineTexts(k, values[k], sep));
    return rows;
}

struct Report {
    const char* name;
    int kind;
    const char* id;
    const char* title;
};
const Report kDaily{"daily", 7, "{XMLREP6}", "Денний звіт по годинам"};
const Report kPeriodic{"periodic", 8, "{XMLREP7}", "Періодичний звіт по годинам"};

// The profile of a decimal separator: ',' Ukrainian, '.' the point profile.
platform::RegionalSettings ProfileOf(char separator) {
    return separator == ',' ? UkrainianProfile() : DotProfile();
}

class HoursFiles : public ::testing::TestWithParam<char> {
protected:
    HoursFiles() : profile(ProfileOf(GetParam())) {
        xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
    }
    char Sep() const { return platform::Regional().decimalSeparator; }
    // Writes the report in a format; the file's path.
    std::string Write(const Report& r, int format, const std::string& extension, bool wide = true) {
        Job job;
        platform::ScriptedUi ui;
        job.arrays.HourlyReport = DailyLines();
        job.arrays.PeriodicHourlyReport = PeriodicLines(wide);
        job.state.CsvOptions.Quotes = Sep() == ','; // the hours quoted under one profile only
        const std::string path = dir.File(std::string(r.name) + Sep() + "." + extension);
        EXPECT_EQ(RunExport(job, format, r.kind, path, ui), DispatchResult::Ran);
        EXPECT_EQ(job.state.MakeMetod.Done, 1);
        EXPECT_TRUE(job.side().FileWritten);
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_TRUE(job.arrays.HourlyReport.empty() == (r.kind == 7));
        EXPECT_TRUE(job.arrays.PeriodicHourlyReport.empty() == (r.kind == 8));
        return path;
    }
    std::vector<Values> ValuesOf(const Report& r, bool wide = true) const {
        return r.kind == 7 ? DailyValues() : PeriodicValues(wide);
    }

    RegionalProfile profile;
    ScratchDir dir;
};

TEST_P(HoursFiles, XmlDocumentsHoldTheFrameAndOneItemPerHour) {
    const char* attributes[] = {"Start_hour",   "End_hour",   "SellRcptQty",
                                "TotalSellSum", "RefRcptQty", "TotalRefSum"};
    const char* captions[] = {
        "ЧАС (З)",       "ЧАС (ПО)", "К-ТЬ ЧЕКІВ (ПРОДАЖ)", "СУМА (ПРОДАЖ)", "К-ТЬ ЧЕКІВ (ВИПЛАТА)",
        "СУМА (ВИПЛАТА)"};
    for (const Report& r : {kDaily, kPeriodic}) {
        SCOPED_TRACE(r.name);
        const std::string path = Write(r, exchange::FormatXml, "xml");
        EXPECT_TRUE(XmllintAccepts(path));
        std::vector<std::string> expected = {"REPORT",
                                             "REPORT/HEADER",
                                             "REPORT/HEADER/DEVELOPMENT=ТОВ \"ВЕЛОТА\"",
                                             "REPORT/HEADER/MODEL=ZRV-Q710",
                                             "REPORT/HEADER/VERSION=2-01",
                                             std::string("REPORT/HEADER/REPORT_ID=") + r.id,
                                             std::string("REPORT/HEADER/REPORT_NAME=") + r.title,
                                             "REPORT/FIELDS_NAME"};
        for (int i = 0; i < 6; ++i)
            expected.push_back("REPORT/FIELDS_NAME@FIELD_" + std::to_string(i + 1) + "=" + captions[i]);
        expected.push_back("REPORT/DATA");
        for (const auto& texts : ExpectedTexts(ValuesOf(r), Sep())) {
            expected.push_back("REPORT/DATA/Item");
            for (int i = 0; i < 6; ++i)
                expected.push_back(std::string("REPORT/DATA/Item@") + attributes[i] + "=" + texts[i]);
        }
        EXPECT_EQ(PythonXmlOutline(path), expected);
    }
}

TEST_P(HoursFiles, WorkbooksHoldTextHoursAndSumsNumberCountsAndColouredColumns) {
    const char* captions[] = {"ЧАС (З):",      "ЧАС (ПО):",         "ЧЕКІВ ПРОДАЖУ:", "СУМА ПРОДАЖІВ (грн):",
                              "ЧЕКІВ ВИПЛАТ:", "СУМА ВИПЛАТ (грн):"};
    for (const Report& r : {kDaily, kPeriodic}) {
        SCOPED_TRACE(r.name);
        const std::string path = Write(r, exchange::FormatXls, "xls");
        Rows expected = {{"1", "80"}, std::vector<std::string>(6, "e"), {}};
        for (const char* caption : captions)
            expected.back().push_back(std::string("s:") + caption + "/0000ff/B");
        const auto money = [](int64_t kopecks) {
            return "s:" + platform::AnsiToUtf8(platform::FormatMoneyKopecks(kopecks)) + "/000000";
        };
        for (const auto& v : ValuesOf(r)) {
            const std::string k = std::to_string(expected.size() - 3);
            const std::string end = std::to_string((expected.size() - 2) % 24);
            // Green start, red end; a count from 2^31 is a positive number.
            expected.push_back({"s:" + k + ":00/008000", "s:" + end + ":00/ff0000",
                                "n:" + std::to_string(v.sales) + "/000000", money(v.saleSum),
                                "n:" + std::to_string(v.refunds) + "/000000", money(v.refundSum)});
        }
        EXPECT_EQ(XlrdRows(path), expected);
    }
}

TEST_P(HoursFiles, CsvLinesHaveSixFieldsAndNoHeader) {
    for (const Report& r : {kDaily, kPeriodic}) {
        SCOPED_TRACE(r.name);
        const bool quoted = Sep() == ',';
        const std::string path = Write(r, exchange::FormatCsv, "csv");
        EXPECT_EQ(PythonCsvRows(path, ';', quoted, "cp1251"), ExpectedTexts(ValuesOf(r), Sep()));
        const std::string bytes = ReadFile(path);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 24);
        EXPECT_EQ(bytes.substr(0, 10), quoted ? "\"0:00\";\"1:" : "0:00;1:00;");
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    }
}

TEST_P(HoursFiles, TablesHoldTheFieldsCutToTenCharactersAndNegativeSums) {
    const Rows fields = {{"START_HOUR", "C", "5", "0"}, {"END_HOUR", "C", "5", "0"},
                         {"SELRCPTQTY", "N", "6", "0"}, {"TOTALSELSU", "F", "12", "2"},
                         {"REFRCPTQTY", "N", "6", "0"}, {"TOTALREFSU", "F", "12", "2"}};
    for (const Report& r : {kDaily, kPeriodic}) {
        SCOPED_TRACE(r.name);
        // A daily count of 65535 fits; the periodic counts from 2^31 do not.
        const std::string path = Write(r, exchange::FormatDbf, "dbf", false);
        Rows header = DbfreadRows(path);
        header.resize(1 + fields.size());
        EXPECT_EQ(header[0], (std::vector<std::string>{"225", "47"}));
        EXPECT_EQ(Rows(header.begin() + 1, header.end()), fields);
        EXPECT_EQ(DbfreadRecords(path), ExpectedTexts(ValuesOf(r, false), '.'));
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, HoursFiles, testing::Values(',', '.'),
                         [](const testing::TestParamInfo<char>& info) {
                             return info.param == ',' ? "Comma" : "Point";
                         });

// A count above the field's six digits is shown and leaves no file; the
// report stays for another try.
TEST(HoursTable, CountTooWideForItsFieldLeavesNoFile) {
    RegionalProfile profile(UkrainianProfile());
    ScratchDir dir;
    Job job;
    platform::ScriptedUi ui;
    job.arrays.PeriodicHourlyReport = PeriodicLines(false);
    job.arrays.PeriodicHourlyReport[12].saleReceipts = 1000000;
    const std::string path = dir.File("wide.dbf");
    EXPECT_EQ(RunExport(job, exchange::FormatDbf, 8, path, ui), DispatchResult::Failed);
    EXPECT_EQ(job.state.MakeMetod.Done, 0);
    EXPECT_FALSE(job.side().FileWritten);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 0);
    EXPECT_EQ(job.arrays.PeriodicHourlyReport.size(), 24u);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].style & 0xF0u, platform::MbIconError);
}

// With the comma as delimiter and as decimal separator the sums carry the
// delimiter unquoted; only the hours are quoted.
// QUOTES quotes the hours; a sum holding the delimiter (a decimal comma in a
// comma file) is quoted whatever QUOTES says, so the line splits back right.
TEST(HoursCsv, HoursAndSumsHoldingTheDelimiterAreQuoted) {
    RegionalProfile profile(UkrainianProfile());
    console::CsvOptionsRecord options;
    options.Delimiter = ',';
    options.Quotes = true;
    options.Cp866 = true;
    const HourlyReportLine line{27, 1, 111105, 150};
    EXPECT_EQ(exchange::ReportCsvLine(exchange::HoursReportLayout(), exchange::RowOf(line, 9), options),
              "\"9:00\",\"10:00\",27,\"1111,05\",1,\"1,50\"");
    options.Quotes = false;
    const PeriodicHourlyReportLine last{4294967295u, 0, -150, 0};
    EXPECT_EQ(exchange::ReportCsvLine(exchange::HoursReportLayout(), exchange::RowOf(last, 23), options),
              "23:00,0:00,4294967295,\"-1,50\",0,\"0,00\"");
    options.Delimiter = ';';
    EXPECT_EQ(exchange::ReportCsvLine(exchange::HoursReportLayout(), exchange::RowOf(last, 23), options),
              "23:00;0:00;4294967295;-1,50;0;0,00");
}

} // namespace
