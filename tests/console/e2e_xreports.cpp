// The register's own reports from the button to what the user gets: sales
// recorded on the simulated register, the X report box, and the daily and
// periodic reports by hours through the format choice and the job window
// into a file of every format, read back by an independent reader.
#include <gtest/gtest.h>

#include <QAction>
#include <regex>

#include "SrcXLS/XLSLibState.h"
#include "console/ActionButton.h"
#include "exchange/JournalXml.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/RegionalSettings.h"
#include "support_files.h"
#include "support_program.h"
#include "support_readers.h"

namespace {

using testfiles::Rows;
using testing_console::ProgramHarness;

// A day of sales: the hours' receipts follow from them (9:00 two sales, 13:00
// a sale and a refund), the periodic hours add them to the days before.
const char* const kSales = "clear-sales\n"
                           "receipt sale at 2024-03-01T09:15 item 1 item 2 qty 2\n"
                           "receipt sale at 2024-03-01T09:40 item 4\n"
                           "receipt sale at 2024-03-01T13:05 item 1 discount percent 10\n"
                           "receipt refund at 2024-03-01T13:30 item 4\n"
                           "z-report at 2024-03-01T20:00\n"
                           "receipt sale at 2024-03-02T09:10 item 2\n";

struct Format {
    int index;
    const char* extension;
};
const Format kFormats[] = {{0, "xml"}, {1, "xls"}, {2, "csv"}, {3, "dbf"}};

class Program : public testing::Test {
protected:
    void SetUp() override {
        previous = platform::Regional();
        platform::SetRegional(platform::RegionalSettings{});
        xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
    }
    void TearDown() override {
        platform::SetRegional(previous);
        xls::LibState().Locale = xls::LocaleFromRegional(previous);
    }
    // The program connected to a register with the day's sales.
    void Start(ProgramHarness& h) {
        h.WriteScenario(kSales);
        ASSERT_TRUE(h.Create());
        h.Form().Connect->trigger();
    }
    // The format choice and the job window answered as the user would.
    static void ChooseFormat(ProgramHarness& h, const Format& format, const std::string& file) {
        h.ui.QueueModal([&format](QDialog& d) {
            auto& choice = dynamic_cast<exchange::TForm5&>(d);
            choice.SetItemIndex(format.index);
            choice.Button1->click();
            return choice.result();
        });
        h.ui.QueueModal([](QDialog& d) {
            auto& job = dynamic_cast<exchange::TForm4&>(d);
            job.FormShow();
            job.Timer1Timer();
            return job.result();
        });
        h.ui.QueueFile(file);
    }
    platform::RegionalSettings previous;
};

// Sale receipts per hour, as the independent reader gives the file back.
std::vector<std::string> SaleReceiptsColumn(const Format& format, const std::string& file) {
    std::vector<std::string> column;
    switch (format.index) {
    case 0:
        EXPECT_TRUE(testfiles::XmllintAccepts(file));
        for (const std::string& line : testfiles::PythonXmlOutline(file))
            if (line.rfind("REPORT/DATA/Item@SellRcptQty=", 0) == 0) column.push_back(line.substr(29));
        break;
    case 1: {
        Rows rows = testfiles::XlrdRows(file);
        for (std::size_t r = 3; r < rows.size(); ++r)
            column.push_back(rows[r][2].substr(2, rows[r][2].find('/') - 2));
        break;
    }
    case 2:
        for (const auto& row : testfiles::PythonCsvRows(file, ';', false, "cp1251")) column.push_back(row[2]);
        break;
    case 3:
        for (const auto& row : testfiles::DbfreadRecords(file)) column.push_back(row[2]);
        break;
    }
    return column;
}

TEST_F(Program, HourReportsFromTheButtonToTheFileInEveryFormat) {
    for (bool periodic : {false, true}) {
        for (const Format& format : kFormats) {
            SCOPED_TRACE(std::string(periodic ? "periodic " : "daily ") + format.extension);
            ProgramHarness h;
            Start(h);
            const std::string name =
                std::string(periodic ? "hourly_periodic." : "hourly_daily.") + format.extension;
            const std::string file = h.dir.File(name);
            ChooseFormat(h, format, file);
            console::TForm1& f = h.Form();
            (periodic ? f.BitBtnGetPeriodicXRepByHours : f.BitBtnXReportByHours)->click();

            ASSERT_EQ(h.ui.boxes.size(), 1u);
            EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Експорт даних завершено!");
            EXPECT_EQ(h.ui.PendingReplies(), 0u);
            ASSERT_TRUE(testfiles::Exists(file));
            testfiles::KeepTestOutput(file, name);
            // The day after the Z report: one sale at 9:00; the period: all four sales.
            std::vector<std::string> expected(24, "0");
            expected[9] = periodic ? "3" : "1";
            if (periodic) expected[13] = "1";
            EXPECT_EQ(SaleReceiptsColumn(format, file), expected);
            EXPECT_TRUE(Shared().HourlyReport.empty() && Shared().PeriodicHourlyReport.empty());
        }
    }
}

TEST_F(Program, XReportShowsTheDaysSales) {
    ProgramHarness h;
    Start(h);
    h.Form().BitBtnXReportOfDay->click();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    const std::string text = h.ui.boxes[0].Utf8Text();
    testfiles::ScratchDir out;
    testfiles::Spit(out.File("x_report.txt"), text);
    testfiles::KeepTestOutput(out.File("x_report.txt"), "x_report.txt");
    EXPECT_EQ(text.rfind("Кільксть чеків продажу: 1\r\nКільксть чеків виплат:   0\r\n"
                         "Дата та час початку нової зміни: 02.03.2024 9:10:00\r\r\n",
                         0),
              0u)
        << text;
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Дані поточного денного X-звіту");
}

// The date and time separators the X report sets hold for the exports that
// follow it: the Z report document of the same run writes its dates with them.
TEST_F(Program, XReportSeparatorsReachTheLaterZReportDocument) {
    platform::RegionalSettings us;
    us.shortDateFormat = "M/d/yyyy";
    us.longTimeFormat = "h:mm:ss tt";
    us.dateSeparator = '/';
    us.timeSeparator = '-';
    us.timeAm = "AM";
    us.timePm = "PM";
    platform::SetRegional(us);
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    h.Form().Connect->trigger();
    auto documentTime = [&h] {
        std::vector<uint8_t> buffer(178);
        const char* err = nullptr;
        EXPECT_EQ(h.State().Api().GetReport(412, buffer.data(), 177, &err), 0); // the demo's closed shift
        std::string text;
        EXPECT_TRUE(exchange::ZReportXmlText(412, buffer, text));
        std::smatch m;
        EXPECT_TRUE(std::regex_search(text, m, std::regex("<DocumentDateTime>([^<]*)<")));
        return m.size() > 1 ? m[1].str() : std::string();
    };
    const std::string before = documentTime();
    EXPECT_TRUE(std::regex_match(before, std::regex(R"(\d+/\d+/\d{4} \d+-\d\d-\d\d [AP]M)"))) << before;
    h.Form().BitBtnXReportOfDay->click();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    const std::string after = documentTime();
    std::string expected = before;
    for (char& c : expected) c = c == '/' ? '.' : c == '-' ? ':' : c;
    EXPECT_EQ(after, expected);
}

} // namespace
