// Every goods report of the main window in every file format, from the
// button to the file: the report read from a full simulated base, its
// options and the format chosen through the dialogs, the job window run, the
// file saved and success reported once. Each file is read back by an
// independent reader and compared, value by value, with the register's own
// records read straight from its library.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <tuple>

#include "SrcXLS/XLSLibState.h"
#include "console/RadioGroup.h"
#include "console/TForm11.h"
#include "console/TForm6.h"
#include "console/TForm7.h"
#include "device/GoodsRecords.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/RegionalSettings.h"
#include "support_files.h"
#include "support_program.h"
#include "support_readers.h"
#include "support_report_files.h"

namespace {

using testing_console::ProgramHarness;
using testing_console::RegisterRecord;
using testing_console::Rows;

constexpr int kBaseSize = 5269;

// The option dialog's reply: fills the fields, then presses the run button.
void Accept(ProgramHarness& h, std::function<void(QDialog&)> fill) {
    h.ui.QueueModal([fill](QDialog& dialog) {
        fill(dialog);
        dialog.findChild<QPushButton*>("Button1")->click();
        return dialog.result();
    });
}

struct Report {
    const char* name; // of the kept file
    testing_console::XmlIdentity xml;
    bool periodic;
    // Queues the replies of its options, if it has any.
    std::function<void(ProgramHarness&)> options;
    // Presses the report's button.
    std::function<void(console::TForm1&)> press;
    // The same selection asked of the register directly.
    std::function<std::vector<RegisterRecord>(const device::DeviceApi&)> expected;
};

const char* const kLtd = "ТОВ \"ВЕЛОТА\"";

const Report& ReportAt(int index) {
    using testing_console::ReadGoodsBatch;
    static const Report reports[] = {
        {"day_by_goods",
         {kLtd, "{XMLREP3}", "Звіт по товарам (денний)"},
         false,
         nullptr,
         [](console::TForm1& f) { f.ActionReadDayReport->trigger(); },
         [](const device::DeviceApi& api) {
             return ReadGoodsBatch(api, [&api](Q710GoodsData* g, const char** e) {
                 return api.GetSaleGoodsByMinNumber(0, g, e);
             });
         }},
        {"periodic_by_goods",
         {"ЗАТ \"ВЕЛОТА\"", "{XMLREP5}", "Періодичний звіт по товарам"},
         true,
         nullptr,
         [](console::TForm1& f) { f.ActionReadPeriodicReport->trigger(); },
         [](const device::DeviceApi& api) { return testing_console::ReadPeriodicBatch(api); }},
        {"all_goods",
         {kLtd, "{XMLREP2}", "Звіт по товарам (повний)"},
         false,
         [](ProgramHarness& h) {
             Accept(h, [](QDialog& d) { static_cast<console::TForm6&>(d).RGMode1->Click(3); });
             h.ui.QueueAnswer(platform::IdNo); // not only the failure records
         },
         [](console::TForm1& f) { f.ActionReadReportByAllGoods->trigger(); },
         [](const device::DeviceApi& api) {
             return ReadGoodsBatch(
                 api, [&api](Q710GoodsData* g, const char** e) { return api.GetGoodsByNumber(0, 0, g, e); });
         }},
        {"code_range",
         {kLtd, "{XMLREP2}", "Звіт по товарам (повний)"},
         false,
         [](ProgramHarness& h) {
             Accept(h, [](QDialog& d) {
                 auto& f = static_cast<console::TForm11&>(d);
                 f.FirstPLU->setText("1000");
                 f.LastPLU->setText("2500");
                 f.FirstBarcode->setText("4820000000000");
                 f.LastBarcode->setText("4820000080000");
             });
         },
         [](console::TForm1& f) { f.BitBtn6->click(); },
         [](const device::DeviceApi& api) {
             return ReadGoodsBatch(api, [&api](Q710GoodsData* g, const char** e) {
                 return api.GetGoodsByRange(1000, 2500, 4820000000000, 4820000080000, g, e);
             });
         }},
        {"critical_remains",
         {kLtd, "{XMLREP4}", "Звіт по товарам з критичним залишком"},
         false,
         [](ProgramHarness& h) {
             Accept(h, [](QDialog& d) {
                 auto& f = static_cast<console::TForm7&>(d);
                 f.RadioGroup2->Click(0); // all goods groups
                 f.CriticalRemain->setText("50,000");
             });
         },
         [](console::TForm1& f) { f.ActionReadReportByCriticalRemains->trigger(); },
         [](const device::DeviceApi& api) {
             return ReadGoodsBatch(api, [&api](Q710GoodsData* g, const char** e) {
                 return api.GetGoodsWithLessQuantity(0, 0, 50000, g, e);
             });
         }},
    };
    return reports[index];
}

struct Format {
    int index; // in the format choice
    const char* extension;
    const char* filter; // of the save dialog
    const char* periodicFilter;
};

const Format kFormats[] = {
    {0, "xml", "XML Document (*.xml)|*.xml", "XML Document (*.xml)|*.xml"},
    {1, "xls", "Excel files (*.xls)|*.xls", "Excel files(*.xls)|*.xls"},
    {2, "csv", "CSV (*.csv)|*.csv", "CSV (*.csv)|*.csv"},
    {3, "dbf", "DBF (*.dbf)|*.dbf", "DBF (*.dbf)|*.dbf"},
};

std::string Joined(const std::string& line) {
    return line;
}
std::string Joined(const std::vector<std::string>& row) {
    std::string text;
    for (const std::string& cell : row) text += (text.empty() ? "" : " | ") + cell;
    return text;
}

// Lists of thousands of lines: the sizes and the first difference only.
template <class Line> void ExpectSame(const std::vector<Line>& actual, const std::vector<Line>& expected) {
    EXPECT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        if (actual[i] == expected[i]) continue;
        ADD_FAILURE() << "first difference at line " << i << "\n  written:  " << Joined(actual[i])
                      << "\n  expected: " << Joined(expected[i]);
        return;
    }
}

class ReportFile : public testing::TestWithParam<std::tuple<int, int>> {
protected:
    void SetUp() override {
        previous = platform::Regional();
        platform::SetRegional(platform::RegionalSettings{}); // a Ukrainian system
        xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
    }
    void TearDown() override {
        platform::SetRegional(previous);
        xls::LibState().Locale = xls::LocaleFromRegional(previous);
    }
    platform::RegionalSettings previous;
};

TEST_P(ReportFile, ReadsBackAsTheRegistersRecords) {
    const Report& report = ReportAt(std::get<0>(GetParam()));
    const Format& format = kFormats[std::get<1>(GetParam())];
    ProgramHarness h;
    h.WriteScenario("seed-goods " + std::to_string(kBaseSize) + "\n");
    ASSERT_TRUE(h.Create());
    h.Form().Connect->trigger();

    const std::string file = h.dir.File(std::string("report.") + format.extension);
    if (report.options) report.options(h);
    h.ui.QueueModal([&format](QDialog& d) {
        auto& choice = dynamic_cast<exchange::TForm5&>(d);
        choice.SetItemIndex(format.index);
        choice.Button1->click();
        return choice.result();
    });
    h.ui.QueueModal([](QDialog& d) {
        auto& job = dynamic_cast<exchange::TForm4&>(d);
        job.FormShow();
        job.Timer1Timer(); // the timer's one shot
        return job.result();
    });
    // Last time's file stands at the path, longer than the new one: it is replaced whole.
    testfiles::Spit(file, std::string(3 << 20, 'x'));
    h.ui.QueueFile(file);
    report.press(h.Form());

    // The register's own records, asked for after the program's batch ended.
    const std::vector<RegisterRecord> records = report.expected(h.State().Api());
    ASSERT_GT(records.size(), 1000u);

    // After the success, the names whose end blanks the format does not keep
    // (the goods XML import and dBase tables cut them) are told: how many.
    std::vector<std::string> boxes;
    for (const auto& box : h.ui.boxes) boxes.push_back(box.Utf8Text());
    std::vector<std::string> expectedBoxes = {"Експорт даних завершено!"};
    if (std::string(report.name) == "all_goods")
        expectedBoxes.insert(expectedBoxes.begin(), "Читати тільки збійні записи?");
    const auto blankEnded = std::count_if(records.begin(), records.end(), [](const RegisterRecord& r) {
        return !r.name.empty() && (static_cast<unsigned char>(r.name.front()) <= ' ' ||
                                   static_cast<unsigned char>(r.name.back()) <= ' ');
    });
    if ((format.index == 3 || (format.index == 0 && !report.periodic)) && blankEnded > 0) {
        ASSERT_EQ(boxes.size(), expectedBoxes.size() + 1);
        const std::string told =
            "Пропуски на початку й у кінці назв, переведення рядків і керівні знаки цей "
            "формат не зберігає: імпорт прочитає ці назви без них або з пропусками замість "
            "них. Змінено назв: " +
            std::to_string(blankEnded) + ", перші з них:\r\n";
        EXPECT_EQ(boxes.back().substr(0, told.size()), told);
        boxes.pop_back();
    }
    ASSERT_EQ(boxes, expectedBoxes);
    EXPECT_EQ(h.ui.boxes.back().Utf8Caption(), "Повідомлення");
    EXPECT_EQ(h.ui.PendingReplies(), 0u);
    ASSERT_EQ(h.ui.fileDialogs.size(), 1u);
    EXPECT_EQ(h.ui.fileDialogs[0].request.filter, report.periodic ? format.periodicFilter : format.filter);
    EXPECT_EQ(h.ui.fileDialogs[0].request.defaultExt, format.extension);
    EXPECT_TRUE(Shared().GoodsReport.empty());
    EXPECT_TRUE(Shared().PeriodicGoodsReport.empty());
    ASSERT_TRUE(testfiles::Exists(file));
    testfiles::KeepTestOutput(file, std::string(report.name) + "." + format.extension);

    switch (format.index) {
    case 0:
        EXPECT_TRUE(testfiles::XmllintAccepts(file));
        ExpectSame(testfiles::PythonXmlOutline(file),
                   testing_console::ExpectedXmlOutline(records, report.periodic, report.xml));
        break;
    case 1:
        ExpectSame(testfiles::XlrdRows(file), testing_console::ExpectedXlsRows(records, report.periodic));
        break;
    case 2: {
        // One line per record, each ended by CR LF.
        const std::string bytes = testfiles::Slurp(file);
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = bytes.find('\n', at)) != std::string::npos; ++at, ++lines)
            ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "line " << lines + 1;
        EXPECT_EQ(lines, records.size());
        EXPECT_EQ(bytes.back(), '\n');
        ExpectSame(testfiles::PythonCsvRows(file, ';', true, "cp1251"),
                   testing_console::ExpectedCsvRows(records));
        break;
    }
    case 3: {
        Rows table = testfiles::DbfreadRows(file, "oem-or-ansi");
        Rows header = testing_console::ExpectedDbfHeader(report.periodic);
        ASSERT_GE(table.size(), header.size());
        EXPECT_EQ(Rows(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(header.size())), header);
        ExpectSame(testfiles::DbfreadRecords(file, "oem-or-ansi"),
                   testing_console::ExpectedDbfRecords(records));
        // The records, then the end mark, and nothing after it.
        const std::string bytes = testfiles::Slurp(file);
        EXPECT_EQ(bytes.size(), std::stoul(header[0][0]) + records.size() * std::stoul(header[0][1]) + 1);
        EXPECT_EQ(bytes.back(), '\x1a');
        break;
    }
    }
}

std::string CaseName(const testing::TestParamInfo<std::tuple<int, int>>& info) {
    return std::string(ReportAt(std::get<0>(info.param)).name) + "_" +
           kFormats[std::get<1>(info.param)].extension;
}

INSTANTIATE_TEST_SUITE_P(EveryReportEveryFormat, ReportFile,
                         testing::Combine(testing::Range(0, 5), testing::Range(0, 4)), CaseName);

} // namespace
