// The register's own reports on the reports page against the simulated
// register: the X report box, the daily and periodic reports by hours
// through every ending of their reading, and erasing the periodic reports.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "console/RadioGroup.h"
#include "console/TQProgressBar.h"
#include "console/UpDown.h"
#include "console/XReports.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/ui/AnsiText.h"
#include "support_reports.h"

namespace {

using platform::IdNo;
using platform::IdYes;
using testing_console::ReportHarness;

const char* const kDone = "Експорт даних завершено!";

// Every hour line set to values of its own: hour k sells k + 1 receipts.
std::string HourScenario() {
    std::string text;
    for (int k = 0; k < 24; ++k) {
        const std::string h = std::to_string(k);
        text += "hour daily " + h + " " + std::to_string(k + 1) + " " + std::to_string(k % 3) + " " +
                std::to_string(1000 * k + 5) + " " + std::to_string(7 * k) + "\n";
        text += "hour periodic " + h + " " + std::to_string(k + 100) + " " + h + " " +
                std::to_string(-150 * k) + " " + std::to_string(4294967296LL * k) + "\n";
    }
    return text;
}

struct HoursCase {
    const char* name;
    bool periodic;
    console::ActionButton* console::TForm1::*button;

    uint8_t kind() const { return periodic ? 8 : 7; }
    std::string first() const {
        return periodic ? "GetPeriodicXReportByHours103(0)" : "GetXReportByHours(0)";
    }
    std::string next() const { return periodic ? "NextCommand(23)" : "NextCommand(11)"; }
    std::string prefix() const {
        return periodic ? "Q710 Експорт (періодичний погодинний звіт) "
                        : "Q710 Експорт (денний погодинний звіт) ";
    }
    std::string stopQuestion() const {
        return std::string("Ви дійсно бажаєте зупинити експорт ") + (periodic ? "періодичного" : "денного") +
               " погодинного звіту?";
    }
    void Start(ReportHarness& h) const { (h.Form().*button)->click(); }
    std::size_t Handed(const ReportHarness& h) const {
        return periodic ? h.handOff.periodicHourly.size() : h.handOff.hourly.size();
    }
};

void PrintTo(const HoursCase& c, std::ostream* os) {
    *os << c.name;
}

class HoursReport : public testing::TestWithParam<HoursCase> {
protected:
    static void ExpectRestored(ReportHarness& h, const HoursCase& c) {
        console::TForm1& f = h.Form();
        EXPECT_EQ(h.State().Busy, 0);
        EXPECT_EQ(h.State().StopRequested.Goods, 0);
        EXPECT_EQ(platform::ApplicationTitle(), "ZRV-Q710");
        EXPECT_EQ(f.Label8->text().toStdString(), "0 %");
        EXPECT_EQ(f.QProgressBar3->Position(), 0);
        EXPECT_EQ(f.QProgressBar3->Maximum(), 5269);
        for (QAction* a : f.DeviceActions) EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
        EXPECT_NE((f.*c.button)->Action(), f.ActionGoodsStop);
        EXPECT_TRUE(Shared().HourlyReport.empty() && Shared().PeriodicHourlyReport.empty());
    }
};

TEST_P(HoursReport, ReadsTwentyFourLinesAndHandsThemToTheExport) {
    const HoursCase& c = GetParam();
    ReportHarness h(HourScenario());
    bool locked = true;
    h.atRecord = [&](int) {
        console::TForm1& f = h.Form();
        locked = locked && !f.ActionXReportOfDay->isEnabled() &&
                 (f.*c.button)->Action() == f.ActionGoodsStop && f.PageControl1->currentIndex() == 5;
    };
    c.Start(h);

    std::vector<std::string> log = h.Log(c.first());
    ASSERT_EQ(log.size(), 24u);
    EXPECT_EQ(h.Count(log, c.next()), 23);
    EXPECT_TRUE(locked);
    ASSERT_EQ(h.handOff.calls, 1);
    EXPECT_EQ(h.handOff.kind, c.kind());
    ASSERT_EQ(c.Handed(h), 24u);
    for (uint32_t k = 0; k < 24; ++k) {
        if (c.periodic) {
            const PeriodicHourlyReportLine& l = h.handOff.periodicHourly[k];
            EXPECT_EQ(l.saleReceipts, k + 100);
            EXPECT_EQ(l.refundReceipts, k);
            EXPECT_EQ(l.saleSum, -150 * int64_t{k});
            EXPECT_EQ(l.refundSum, 4294967296LL * k);
        } else {
            const HourlyReportLine& l = h.handOff.hourly[k];
            EXPECT_EQ(l.saleReceipts, k + 1);
            EXPECT_EQ(l.refundReceipts, k % 3);
            EXPECT_EQ(l.saleSum, 1000 * k + 5);
            EXPECT_EQ(l.refundSum, 7 * k);
        }
    }
    ASSERT_EQ(h.progress.size(), 23u);
    for (std::size_t i = 0; i < h.progress.size(); ++i) {
        const auto& s = h.progress[i];
        const int32_t position = static_cast<int32_t>(i) + 2; // line 0 and this one
        EXPECT_EQ(s.maximum, 24);
        EXPECT_EQ(s.position, position);
        EXPECT_EQ(s.label, std::to_string(position * 100 / 24) + " %");
        EXPECT_EQ(s.title, c.prefix() + s.label);
        EXPECT_TRUE(s.busy);
    }
    EXPECT_EQ(h.handOff.label, "100 %");
    EXPECT_EQ(h.handOff.position, 24);
    EXPECT_EQ(h.handOff.title, "ZRV-Q710");
    EXPECT_EQ(h.BoxTexts(), std::vector<std::string>{kDone});
    EXPECT_EQ(h.ui.boxes.back().style, 0x2040u);
    ExpectRestored(h, c);
}

// Whatever ends the reading before hour 23 ends it without an export and
// without the completion box; the user is told why, and never asked Retry.
TEST_P(HoursReport, EveryEarlyEndIsShownAndExportsNothing) {
    const HoursCase& c = GetParam();
    struct Ending {
        const char* scenario;
        int nextCommands;
        const char* text;
    };
    const Ending endings[] = {
        {"end-batch 10", 10, "ЕККА передав звіт по годинам не повністю!\r\nЕкспорт даних не виконано."},
        {"fail-record 5 persistent", 5, "Імітована помилка ЕККА"},
        {"batch-first 0xE0 text \"Збій зв'язку\"", 0, "Збій зв'язку"},
        {"hour-batch 0", 0, "Кінець даних"},
        {"hour-batch 24 size 30", 1, "Розмір буфера замалий для запису"},
    };
    for (const Ending& e : endings) {
        SCOPED_TRACE(e.scenario);
        ReportHarness h(std::string(e.scenario) + "\n");
        c.Start(h);
        EXPECT_EQ(h.Count(h.Log(c.first()), c.next()), e.nextCommands);
        EXPECT_EQ(h.handOff.calls, 0);
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        EXPECT_EQ(h.ui.boxes[0].Utf8Text(), e.text);
        EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
        EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
        ExpectRestored(h, c);
    }
}

TEST_P(HoursReport, MoreLinesThanADayReadsOnlyTheDay) {
    const HoursCase& c = GetParam();
    ReportHarness h("hour-batch 30\n");
    c.Start(h);
    EXPECT_EQ(h.Count(h.Log(c.first()), c.next()), 23);
    EXPECT_EQ(c.Handed(h), 24u);
    EXPECT_EQ(h.BoxTexts().back(), kDone);
}

TEST_P(HoursReport, StopAnsweredNoGoesOnAndYesEndsWithoutExport) {
    const HoursCase& c = GetParam();
    ReportHarness h;
    h.atRecord = [&](int k) {
        if (k == 5 || k == 10) {
            (h.Form().*c.button)->click(); // the stop button now
            h.ui.QueueAnswer(k == 5 ? IdNo : IdYes);
        }
    };
    c.Start(h);
    EXPECT_EQ(h.handOff.calls, 0);
    EXPECT_EQ(h.Count(h.Log(c.first()), c.next()), 10);
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    for (const auto& box : h.ui.boxes) {
        EXPECT_EQ(box.Utf8Text(), c.stopQuestion());
        EXPECT_EQ(box.Utf8Caption(), "Експорт погодинного звіту");
        EXPECT_EQ(box.style, 0x2024u);
    }
    ExpectRestored(h, c);
}

TEST_P(HoursReport, ExportThatWritesNothingIsNotReportedAsDone) {
    const HoursCase& c = GetParam();
    ReportHarness h;
    h.exportWrites = false;
    c.Start(h);
    EXPECT_EQ(h.handOff.calls, 1);
    EXPECT_TRUE(h.ui.boxes.empty());
    ExpectRestored(h, c);
}

INSTANTIATE_TEST_SUITE_P(Reports, HoursReport,
                         testing::Values(HoursCase{"Daily", false, &console::TForm1::BitBtnXReportByHours},
                                         HoursCase{"Periodic", true,
                                                   &console::TForm1::BitBtnGetPeriodicXRepByHours}),
                         [](const testing::TestParamInfo<HoursCase>& info) { return info.param.name; });

TEST(XReportBox, ShowsTheDayAndSetsTheSeparators) {
    platform::RegionalSettings saved = platform::Regional();
    platform::RegionalSettings slashes = saved;
    slashes.shortDateFormat = "dd/MM/yyyy";
    slashes.dateSeparator = '/';
    slashes.timeSeparator = '-';
    platform::SetRegional(slashes);
    {
        ReportHarness h("receipt sale at 2024-01-09T12:30 item 5 pay cash 1000.00\n");
        h.Form().BitBtnXReportOfDay->click();
        EXPECT_EQ(h.Log("GetDataXReport"), std::vector<std::string>{"GetDataXReport()"});
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        const auto& box = h.ui.boxes[0];
        EXPECT_EQ(box.Utf8Caption(), "Дані поточного денного X-звіту");
        EXPECT_EQ(box.style, 0x2040u);
        Q710XReportData data{};
        const char* err = nullptr;
        ASSERT_EQ(h.State().Api().GetDataXReport(&data, &err), 0);
        EXPECT_EQ(data.saleReceipts, 58); // the demo's 57 and the receipt above
        EXPECT_EQ(box.text, console::XReportText(data));
        EXPECT_NE(box.Utf8Text().find("нової зміни: 09.01.2024 8:30:00\r\r\n"), std::string::npos);
        EXPECT_EQ(platform::Regional().dateSeparator, '.');
        EXPECT_EQ(platform::Regional().timeSeparator, ':');
    }
    platform::SetRegional(saved);
    {
        ReportHarness h("z-report\n");
        h.Form().ActionXReportOfDay->trigger();
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        EXPECT_NE(h.ui.boxes[0].Utf8Text().find("нової зміни: РОБОЧИЙ ДЕНЬ НА ЕККА ЗАКРИТО\r\r\n"),
                  std::string::npos);
    }
    {
        ReportHarness h("fail GetDataXReport\n");
        h.Form().ActionXReportOfDay->trigger();
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Імітована помилка ЕККА");
        EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
        EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
    }
    platform::SetRegional(saved);
}

TEST(EraseHours, AsksFirstAndErasesOnYes) {
    const char* question = "Буде здійснено обнуління періодичного погодинного звіту.\r\nВи впевнені?";
    ReportHarness h;
    h.ui.QueueAnswer(IdNo);
    h.Form().BitBtnErasePeriodXRepByHours->click();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), question);
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Обнуління погодинного звіту");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2034u);
    EXPECT_TRUE(h.Log("ErasePeriodicXReportByHours103").empty());

    h.ui.QueueAnswer(IdYes);
    h.Form().ActionErasePeriodXRepByHours->trigger();
    EXPECT_EQ(h.Log("ErasePeriodicXReportByHours103").size(), 1u);
    ASSERT_EQ(h.ui.boxes.size(), 3u);
    EXPECT_EQ(h.ui.boxes[2].Utf8Text(), "Обнуління періодичного погодинного звіту завершено.");
    EXPECT_EQ(h.ui.boxes[2].Utf8Caption(), "Обнуління погодинного звіту");
    EXPECT_EQ(h.ui.boxes[2].style, 0x2040u);
    // The register's periodic lines are empty now.
    uint32_t sales = 1, refunds = 1;
    int64_t sum = 1, refundSum = 1;
    const char* err = nullptr;
    ASSERT_EQ(h.State().Api().GetPeriodicXReportByHours103(0, &sales, &refunds, &sum, &refundSum, &err), 0);
    std::vector<uint8_t> line(24, 0xEE);
    int nonZero = 0;
    while (h.State().Api().NextCommand(line.data(), 23, &err) == 0)
        for (uint8_t b : line) nonZero += b != 0;
    EXPECT_EQ(nonZero, 0);

    ReportHarness failing("fail ErasePeriodicXReportByHours103 text \"Відмова\"\n");
    failing.ui.QueueAnswer(IdYes);
    failing.Form().ActionErasePeriodXRepByHours->trigger();
    ASSERT_EQ(failing.ui.boxes.size(), 2u);
    EXPECT_EQ(failing.ui.boxes[1].Utf8Text(), "Відмова");
    EXPECT_EQ(failing.ui.boxes[1].style, 0x2010u);
}

TEST(EraseGoodsReport, EachModeSendsItsRangeWithoutAQuestion) {
    struct Case {
        int mode;
        std::vector<const char*> fields; // first and last PLU, barcode, group
        const char* call;                // the call logged, or none
        const char* text;
        unsigned style;
    };
    const Case cases[] = {
        {0,
         {"1", "999999", "1", "9999999999999", "1", "1"},
         "ErasePeriodicReportByGoodsCode103(1, 999999, 1, 9999999999999)",
         "Обнолення періодичного звіту ПО КОДАХ ТОВАРІВ успішно виконано!",
         0x2040},
        {1,
         {"1", "1", "", "", "3", "7"},
         "ErasePeriodicReportByGoodsGroup103(3, 7)",
         "Обнолення періодичного звіту ПО ГРУПАХ ТОВАРІВ успішно виконано!",
         0x2040},
        {2,
         {"x", "x", "x", "x", "x", "x"},
         "ErasePeriodicReportByGoodsGroup103(0, 0)",
         "Обнолення періодичного звіту ПО ВСІХ ТОВАРАХ успішно виконано!",
         0x2040},
        // "0" goes to the register as it stands; the register refuses the range.
        {1,
         {"1", "1", "", "", "0", "5"},
         "ErasePeriodicReportByGoodsGroup103(0, 5)",
         "Невірний діапазон",
         0x2010},
        // A barcode that is not a number never reaches the register.
        {0,
         {"1", "1", "", "5", "1", "1"},
         nullptr,
         "Невірно заданий початковий штрих-код!\r\nМожливий діапазон значень: 1000000..9999999999999!",
         0x2010},
        {0, {"x", "1", "5", "5", "1", "1"}, nullptr, "'x' is not a valid integer value", 0x10},
        {1,
         {"1", "1", "", "", "1", "abc"},
         nullptr,
         "Номер кінцевої товарної групи заданий невірно!\r\nВ якості номера товарної групи може бути тільки "
         "число!",
         0x2010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ReportHarness h;
        console::TForm1& f = h.Form();
        f.RGEraseMode->Click(c.mode);
        QLineEdit* edits[] = {f.FirstPLU,    f.LastPLU,         f.FirstBarcode,
                              f.LastBarcode, f.FirstGoodsGroup, f.LastGoodsGroup};
        for (int i = 0; i < 6; ++i)
            edits[i]->setText(QString::fromUtf8(c.fields[static_cast<std::size_t>(i)]));
        f.BitBtnErasePeriodicReport->click();
        std::vector<std::string> calls = h.Log("ErasePeriodicReportBy");
        if (c.call)
            EXPECT_EQ(calls, std::vector<std::string>{c.call});
        else
            EXPECT_TRUE(calls.empty());
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        EXPECT_EQ(h.ui.boxes[0].Utf8Text(), c.text);
        EXPECT_EQ(h.ui.boxes[0].style & 0xFFFFu, c.style);
        if (c.style == 0x2040) {
            EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Повідомлення");
        }
    }
    // Erasing all goods leaves nothing in the periodic report.
    ReportHarness h;
    h.Form().RGEraseMode->Click(2);
    h.Form().ActionErasePeriodicReport->trigger();
    uint16_t count = 1;
    const char* err = nullptr;
    ASSERT_EQ(h.State().Api().GetQuantityRecordsOfGoods(-1, &count, &err), 0);
    EXPECT_EQ(count, 0);
}

TEST(EraseGoodsReport, EditChecksOnLeaving) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    EXPECT_EQ(f.RGEraseMode->ItemIndex(), 0);
    EXPECT_EQ(f.FirstBarcode->text(), "");
    EXPECT_EQ(f.FirstBarcode->maxLength(), 13);
    EXPECT_EQ(f.FirstPLU->text(), "1");
    EXPECT_EQ(f.LastPLU->maxLength(), 6);
    EXPECT_EQ(f.FirstGoodsGroup->text(), "1");
    EXPECT_EQ(f.LastGoodsGroup->maxLength(), 3);
    EXPECT_EQ(f.UpDownFirstGoodsGroup->Min(), 1);

    struct Leave {
        QLineEdit* edit;
        bool (console::TForm1::*exit)();
        const char* typed;
        const char* after;
        const char* message; // none: silent
    };
    const char* barcodeTail = "\r\nМожливий діапазон значень: 1000000..9999999999999!";
    const char* groupTail = "\r\nВ якості номера товарної групи може бути тільки число!";
    const Leave leaves[] = {
        {f.FirstBarcode, &console::TForm1::FirstBarcodeExit, "abc", "",
         "Невірно заданий початковий штрих-код!"},
        {f.LastBarcode, &console::TForm1::LastBarcodeExit, "12x", "", "Невірно заданий кінцевий штрих-код!"},
        {f.FirstBarcode, &console::TForm1::FirstBarcodeExit, "0", "", nullptr},
        {f.FirstBarcode, &console::TForm1::FirstBarcodeExit, " 42 ", " 42 ", nullptr}, // no range check
        {f.FirstGoodsGroup, &console::TForm1::FirstGoodsGroupExit, "abc", "1",
         "Номер початкової товарної групи заданий невірно!"},
        {f.LastGoodsGroup, &console::TForm1::LastGoodsGroupExit, "", "1",
         "Номер кінцевої товарної групи заданий невірно!"},
        {f.FirstGoodsGroup, &console::TForm1::FirstGoodsGroupExit, "0", "0", nullptr},
        {f.LastGoodsGroup, &console::TForm1::LastGoodsGroupExit, "250", "250", nullptr},
    };
    for (const Leave& l : leaves) {
        SCOPED_TRACE(l.typed);
        h.ui.boxes.clear();
        l.edit->setText(QString::fromUtf8(l.typed));
        EXPECT_EQ((f.*l.exit)(), l.message == nullptr);
        EXPECT_EQ(l.edit->text().toStdString(), l.after);
        if (l.message == nullptr) {
            EXPECT_TRUE(h.ui.boxes.empty());
            continue;
        }
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        const bool barcode = l.edit == f.FirstBarcode || l.edit == f.LastBarcode;
        EXPECT_EQ(h.ui.boxes[0].Utf8Text(), std::string(l.message) + (barcode ? barcodeTail : groupTail));
        EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
    }
}

} // namespace
