// The goods reports against the simulated register: every report through
// the same endings of the reading loop, then each report's own options.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "console/RadioGroup.h"
#include "console/TForm11.h"
#include "console/TForm6.h"
#include "console/TForm7.h"
#include "console/TQProgressBar.h"
#include "platform/ui/AnsiText.h"
#include "support_reports.h"

namespace {

using platform::IdNo;
using platform::IdYes;
using testing_console::ReportHarness;

// One goods report: how it is started and what it shows. The expected
// records are those of a fresh simulated register (300 goods numbered 0..299).
struct ReportCase {
    const char* name;
    std::function<void(ReportHarness&)> start;
    std::vector<std::string> calls; // before the first NextCommand
    std::size_t records;
    uint8_t kind;                                    // 9 day, 6 periodic, 5 full, 10 critical remains
    console::ActionButton* console::TForm1::*button; // the starting button, or null

    bool periodic() const { return kind == 6; }
    bool critical() const { return kind == 10; }
    std::string next() const { return periodic() ? "NextCommand(74)" : "NextCommand(82)"; }
    std::string prefix() const { return critical() ? "Q710 Експорт (критичний залишок) " : "Q710 Експорт "; }
    const char* stopCaption() const {
        return critical() ? "Експорт звіту (критичний залишок)" : "Експорт звіту по товарам";
    }
    const char* nothingFound() const {
        if (kind == 9 || kind == 6) return "У товарній таблиці не знайдено\r\nжодного проданого товару!";
        if (kind == 5)
            return "У товарній таблиці при обраному режимі\r\nекспорту данних не знайдено жодного товару!";
        return "У товарній таблиці не знайдено жодного\r\nтовару, задовольняючого заданим умовам!";
    }
    std::string stopQuestion() const {
        const char* what = kind == 9   ? "денного звіту по товарам"
                           : kind == 6 ? "періодичного звіту по товарам"
                           : kind == 5 ? "повного звіту по товарам"
                                       : "звіту по товарам з критичним залишком";
        return std::string("Ви дійсно бажаєте зупинити експорт ") + what + "?";
    }
    // The day and periodic reports leave the register's count as the bar's maximum.
    int32_t maximumAtEnd() const { return kind == 9 || kind == 6 ? 5269 : -1; }
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

void Accept(ReportHarness& h, std::function<void(QDialog&)> fill) {
    h.ui.QueueModal([fill](QDialog& dialog) {
        fill(dialog);
        dialog.findChild<QPushButton*>("Button1")->click();
        return dialog.result();
    });
}

std::vector<ReportCase> Cases() {
    using F = console::TForm1;
    return {
        {"Day",
         [](ReportHarness& h) { h.Form().ActionReadDayReport->trigger(); },
         {"GetQuantityRecordsOfGoods(0)", "GetSaleGoodsByMinNumber(0)"},
         200,
         9,
         &F::BitBtnReadDayReport},
        {"Periodic",
         [](ReportHarness& h) { h.Form().ActionReadPeriodicReport->trigger(); },
         {"GetQuantityRecordsOfGoods(-1)", "GetPeriodicReportOfGoodsByNumber(0)"},
         240,
         6,
         &F::BitBtnReadPeriodicReport},
        {"AllGoods",
         [](ReportHarness& h) {
             Accept(h, [](QDialog& d) { static_cast<console::TForm6&>(d).RGMode1->Click(3); });
             h.ui.QueueAnswer(IdNo); // not only failure records
             h.Form().ActionReadReportByAllGoods->trigger();
         },
         {"GetLengthGoodsName()", "GetGoodsByNumber(0, 0)"},
         300,
         5,
         &F::BitBtnReadReportByAllGoods},
        {"Range",
         [](ReportHarness& h) {
             Accept(h, [](QDialog& d) {
                 auto& f = static_cast<console::TForm11&>(d);
                 f.FirstPLU->setText("1");
                 f.LastPLU->setText("999999");
                 f.FirstBarcode->setText("1");
                 f.LastBarcode->setText("9999999999999");
             });
             h.Form().BitBtn6->click();
         },
         {"GetGoodsByRange(1, 999999, 1, 9999999999999)"},
         300,
         5,
         nullptr},
        {"CriticalRemains",
         [](ReportHarness& h) {
             Accept(h,
                    [](QDialog& d) { static_cast<console::TForm7&>(d).CriticalRemain->setText("200,000"); });
             h.Form().ActionReadReportByCriticalRemains->trigger();
         },
         {"GetGoodsWithLessQuantity(0, 0, 200000)"},
         300,
         10,
         &F::BitBtnReadReportByCriticalRemains},
    };
}

class GoodsReport : public testing::TestWithParam<ReportCase> {
protected:
    // After every ending: the window is as before the report.
    static void ExpectRestored(ReportHarness& h, const ReportCase& c) {
        console::TForm1& f = h.Form();
        EXPECT_EQ(h.State().Busy, 0);
        EXPECT_EQ(h.State().StopRequested.Goods, 0);
        EXPECT_EQ(platform::ApplicationTitle(), "ZRV-Q710");
        EXPECT_EQ(f.Label8->text().toStdString(), "0 %");
        EXPECT_EQ(f.QProgressBar3->Position(), 0);
        if (c.maximumAtEnd() >= 0) {
            EXPECT_EQ(f.QProgressBar3->Maximum(), c.maximumAtEnd());
        }
        for (QAction* a : f.DeviceActions) EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
        EXPECT_TRUE(f.BitBtn6->isEnabled());
        if (c.button != nullptr) {
            EXPECT_NE((f.*c.button)->Action(), f.ActionGoodsStop);
        }
        EXPECT_TRUE(Shared().GoodsReport.empty() && Shared().PeriodicGoodsReport.empty());
    }
    static std::size_t Handed(const ReportHarness& h, const ReportCase& c) {
        return c.periodic() ? h.handOff.periodic.size() : h.handOff.goods.size();
    }
    static std::string First(const ReportCase& c) { return c.calls.front(); }
};

TEST_P(GoodsReport, ReadsEveryRecordAndHandsThemToTheExport) {
    const ReportCase& c = GetParam();
    ReportHarness h;
    bool lockedWhileReading = true;
    h.atRecord = [&](int) {
        console::TForm1& f = h.Form();
        for (QAction* a : f.DeviceActions) lockedWhileReading = lockedWhileReading && !a->isEnabled();
        lockedWhileReading =
            lockedWhileReading && !f.BitBtn6->isEnabled() && f.PageControl1->currentIndex() == 5;
        if (c.button != nullptr)
            lockedWhileReading = lockedWhileReading && (f.*c.button)->Action() == f.ActionGoodsStop &&
                                 (f.*c.button)->text() == QString::fromUtf8("Cтоп !");
    };
    c.start(h);

    std::vector<std::string> log = h.Log(First(c));
    ASSERT_GE(log.size(), c.calls.size());
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + c.calls.size()), c.calls);
    // One NextCommand per further record, and one that ends the data.
    EXPECT_EQ(h.Count(log, c.next()), static_cast<int>(c.records));
    EXPECT_EQ(log.size(), c.calls.size() + c.records);
    EXPECT_TRUE(lockedWhileReading);
    ASSERT_EQ(h.handOff.calls, 1);
    EXPECT_EQ(h.handOff.kind, c.kind);
    EXPECT_EQ(Handed(h, c), c.records);
    EXPECT_EQ(h.handOff.label, "100 %");
    EXPECT_EQ(h.handOff.position, h.handOff.maximum);
    EXPECT_EQ(h.handOff.title, "ZRV-Q710"); // restored before the format choice
    for (const auto& sample : h.progress) {
        EXPECT_EQ(sample.title, c.prefix() + sample.label);
        EXPECT_TRUE(sample.busy);
    }
    EXPECT_EQ(h.progress.size(), c.records - 1);
    EXPECT_EQ(h.BoxTexts().back(), "Експорт даних завершено!");
    EXPECT_EQ(h.ui.boxes.back().style, 0x2040u);
    EXPECT_EQ(h.ui.boxes.back().Utf8Caption(), "Повідомлення");
    EXPECT_EQ(h.ui.PendingReplies(), 0u);
    ExpectRestored(h, c);

    // Each record handed over owns its name (the values are compared with the
    // register's in the end-to-end test).
    for (const auto& r : h.handOff.periodic) EXPECT_EQ(r.name, r.nameString.c_str());
    for (const auto& r : h.handOff.goods) EXPECT_EQ(r.name, r.nameString.c_str());
}

TEST_P(GoodsReport, ExportThatWritesNothingIsNotReportedAsDone) {
    const ReportCase& c = GetParam();
    ReportHarness h;
    h.exportWrites = false;
    c.start(h);
    EXPECT_EQ(h.handOff.calls, 1);
    for (const auto& text : h.BoxTexts()) EXPECT_NE(text, "Експорт даних завершено!");
    ExpectRestored(h, c);
}

TEST_P(GoodsReport, StopAnsweredNoGoesOnAndYesEndsWithoutExport) {
    const ReportCase& c = GetParam();
    ReportHarness h;
    h.atRecord = [&](int k) {
        if (k == 5 || k == 10) {
            console::TForm1& f = h.Form();
            if (c.button != nullptr)
                (f.*c.button)->click(); // the starting button is the stop button now
            else
                f.ActionGoodsStop->trigger();
            h.ui.QueueAnswer(k == 5 ? IdNo : IdYes);
        }
    };
    c.start(h);
    EXPECT_EQ(h.handOff.calls, 0);
    std::vector<std::string> log = h.Log(First(c));
    EXPECT_EQ(h.Count(log, c.next()), 10);
    ASSERT_GE(h.ui.boxes.size(), 2u);
    auto stops = std::vector<platform::ScriptedUi::Box>(h.ui.boxes.end() - 2, h.ui.boxes.end());
    for (const auto& box : stops) {
        EXPECT_EQ(box.Utf8Text(), c.stopQuestion());
        EXPECT_EQ(box.Utf8Caption(), c.stopCaption());
        EXPECT_EQ(box.style, 0x2024u);
    }
    ExpectRestored(h, c);
}

TEST_P(GoodsReport, FailedRecordAsksRetryOrCancel) {
    const ReportCase& c = GetParam();
    for (int answer : {platform::IdRetry, platform::IdCancel}) {
        ReportHarness h("fail-record 3\n");
        h.atRecord = [&](int k) {
            if (k == 1) h.ui.QueueAnswer(answer);
        };
        c.start(h);
        bool retry = answer == platform::IdRetry;
        // Retry reads the failed record again; Cancel ends at it.
        EXPECT_EQ(h.Count(h.Log(First(c)), c.next()), retry ? static_cast<int>(c.records) + 1 : 3);
        auto box = std::find_if(h.ui.boxes.begin(), h.ui.boxes.end(),
                                [](const auto& b) { return b.style == 0x2015; });
        ASSERT_NE(box, h.ui.boxes.end());
        EXPECT_EQ(box->Utf8Text(), "Імітована помилка ЕККА\r\nВИБЕРІТЬ ДІЮ!");
        EXPECT_EQ(box->Utf8Caption(), "Помилка");
        EXPECT_EQ(h.handOff.calls, retry ? 1 : 0);
        if (retry) {
            EXPECT_EQ(Handed(h, c), c.records); // nothing lost, nothing twice
            EXPECT_EQ(h.BoxTexts().back(), "Експорт даних завершено!");
        } else {
            EXPECT_EQ(h.ui.boxes.back().style, 0x2015u);
        }
        ExpectRestored(h, c);
    }
}

TEST_P(GoodsReport, EarlyEndOfDataExportsWhatWasRead) {
    const ReportCase& c = GetParam();
    ReportHarness h("end-batch 4 status 0x14\n");
    c.start(h);
    ASSERT_EQ(h.handOff.calls, 1);
    EXPECT_EQ(Handed(h, c), 4u);
    EXPECT_EQ(h.handOff.label, "100 %");
    EXPECT_EQ(h.handOff.position, h.handOff.maximum);
    EXPECT_EQ(h.BoxTexts().back(), "Експорт даних завершено!");
    ExpectRestored(h, c);
}

TEST_P(GoodsReport, EmptyBaseShowsTheNothingFoundText) {
    const ReportCase& c = GetParam();
    ReportHarness h("seed-goods 0\n");
    c.start(h);
    EXPECT_EQ(h.handOff.calls, 0);
    EXPECT_EQ(h.Count(h.Log(First(c)), c.next()), 0);
    ASSERT_FALSE(h.ui.boxes.empty());
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), c.nothingFound());
    EXPECT_EQ(h.ui.boxes.back().Utf8Caption(), "Повідомлення");
    EXPECT_EQ(h.ui.boxes.back().style, 0x2040u);
    ExpectRestored(h, c);
}

// The close box during the batch: the question, then the loop ends without
// an export; the window closes once it has, and frees the connection last.
TEST_P(GoodsReport, CloseDuringTheBatchEndsItBeforeTheConnectionIsFreed) {
    const ReportCase& c = GetParam();
    ReportHarness h;
    h.Form().show();
    h.atRecord = [&](int k) {
        if (k == 5) {
            h.ui.QueueAnswer(IdYes); // "Ви дійсно бажаєте завершити роботу програми?"
            EXPECT_FALSE(h.Form().close());
        }
    };
    c.start(h);
    EXPECT_EQ(h.State().Closing, 1);
    EXPECT_EQ(h.handOff.calls, 0);
    std::vector<std::string> texts = h.BoxTexts();
    EXPECT_EQ(texts.back(), "Ви дійсно бажаєте завершити роботу програми?");
    std::vector<std::string> log = h.Log(First(c));
    EXPECT_EQ(h.Count(log, c.next()), 5);
    EXPECT_EQ(h.Count(log, "RadarFree()"), 0);
    EXPECT_EQ(h.State().Busy, 0);
    EXPECT_EQ(platform::ApplicationTitle(), "ZRV-Q710");

    QApplication::processEvents();
    EXPECT_FALSE(h.Form().isVisible());
    EXPECT_EQ(h.BoxTexts().size(), texts.size()); // not asked twice
    log = h.Log(First(c));
    EXPECT_EQ(h.Count(log, c.next()), 5);
    EXPECT_EQ(log.back(), "RadarFree()");
}

INSTANTIATE_TEST_SUITE_P(Reports, GoodsReport, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<ReportCase>& info) { return info.param.name; });

TEST(DayReport, PercentageFollowsTheCountAndZeroCountShowsZero) {
    for (int count : {400, 0, 150}) {
        ReportHarness h("count 0 " + std::to_string(count) + "\n");
        h.Form().ActionReadDayReport->trigger();
        ASSERT_EQ(h.progress.size(), 199u) << count;
        for (std::size_t i = 0; i < h.progress.size(); ++i) {
            const auto& s = h.progress[i];
            int32_t position = static_cast<int32_t>(i) + 2; // the first record and this one
            EXPECT_EQ(s.maximum, count);
            EXPECT_EQ(s.position, position);
            // Past the count the label stays at 100 %.
            std::string expected =
                count == 0 ? "0 %" : std::to_string(std::min(position, count) * 100 / count) + " %";
            EXPECT_EQ(s.label, expected) << count << " at " << position;
            EXPECT_EQ(s.title, "Q710 Експорт " + expected);
        }
        EXPECT_EQ(h.handOff.label, "100 %");
        EXPECT_EQ(h.handOff.position, count);
        EXPECT_EQ(h.Form().QProgressBar3->Maximum(), 5269);
    }
}

TEST(DayReport, CountFailureShowsTheLibraryTextAndReadsNothing) {
    ReportHarness h("fail GetQuantityRecordsOfGoods text \"Лічильник недоступний\"\n");
    h.Form().ActionReadDayReport->trigger();
    EXPECT_TRUE(h.Log("GetSaleGoodsByMinNumber").empty());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Лічильник недоступний");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
    EXPECT_EQ(h.State().Busy, 0);
}

TEST(DayReport, FirstRecordFailureShowsTheLibraryText) {
    ReportHarness h("batch-first 0x33 text \"Збій пам'яті\"\n");
    h.Form().ActionReadDayReport->trigger();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Збій пам'яті");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
    EXPECT_EQ(h.handOff.calls, 0);
}

// The modem gives the call up while the report is read: the session's end
// is not held for it, and the actions stay off afterwards.
TEST(DayReport, ActionsStayOffAfterTheSessionWasLostDuringTheReport) {
    testing_console::ProgramHarness h;
    h.WriteScenario("modem-script 8 0:0\n");
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.Phone->setText("5551234");
    f.ModemConnect->trigger();
    f.Timer1Timer(); // connected
    ASSERT_TRUE(f.SessionUsable());
    h.State().RunExchangeJob = [](console::ConsoleState&) { return true; };
    int records = 0;
    h.ui.onProcessMessages = [&] {
        if (++records == 3) f.Timer1Timer(); // the call is given up
    };
    f.ActionReadDayReport->trigger();
    for (QAction* a : f.DeviceActions) EXPECT_FALSE(a->isEnabled());
    EXPECT_FALSE(f.BitBtn6->isEnabled());
    EXPECT_FALSE(f.ModemDisconnect->isEnabled());
    EXPECT_TRUE(f.Connect->isEnabled() && f.ModemConnect->isEnabled());
}

// Report by all goods.

void RunAllGoods(ReportHarness& h, int mode, const char* goodsNum, int failuresAnswer,
                 const char* first = "0", const char* last = "0") {
    Accept(h, [=](QDialog& d) {
        auto& f = static_cast<console::TForm6&>(d);
        f.GoodsNum->setText(goodsNum);
        f.FirstNumber->setText(first);
        f.LastNumber->setText(last);
        f.RGMode1->Click(mode);
    });
    h.ui.QueueAnswer(failuresAnswer);
    h.Form().ActionReadReportByAllGoods->trigger();
}

TEST(AllGoodsReport, SingleNumberEndsAtTheFirstRecordAtOrAboveIt) {
    ReportHarness h;
    const char* err = nullptr;
    // Goods 10 and 11 (PLU n + 1) leave the table, so the batch starts at 12.
    ASSERT_EQ(h.State().Api().EraseGoodsByCode(11, 4820000000170, &err), 0);
    ASSERT_EQ(h.State().Api().EraseGoodsByCode(12, 4820000000187, &err), 0);
    RunAllGoods(h, 0, "10", IdNo);
    std::vector<std::string> log = h.Log("GetGoodsByNumber");
    EXPECT_EQ(log, std::vector<std::string>{"GetGoodsByNumber(10, 0)"});
    ASSERT_EQ(h.handOff.goods.size(), 1u);
    EXPECT_EQ(h.handOff.goods[0].number, 12);
    EXPECT_EQ(h.handOff.maximum, 1);
    EXPECT_EQ(h.ui.boxes.front().Utf8Text(), "Читати тільки збійні записи?");
    EXPECT_EQ(h.ui.boxes.front().Utf8Caption(), "Запитання");
    EXPECT_EQ(h.ui.boxes.front().style, 0x2024u);
}

// Each mode's first call, the numbers read and the bar's maximum.
TEST(AllGoodsReport, ModesReadTheirNumbers) {
    struct Case {
        int mode;
        const char *goodsNum, *first, *last;
        int failuresAnswer;
        const char* call;
        std::vector<uint16_t> numbers; // first and last read
        std::size_t count;
        int32_t maximum; // -1: not checked
    } cases[] = {
        {4, "0", "10", "3", IdNo, "GetGoodsByNumber(3, 0)", {3, 10}, 8, 7}, // from the smaller number
        {2, "100", "0", "0", IdNo, "GetGoodsByNumber(100, 0)", {100, 299}, 200, 5269 - 100},
        {3, "0", "0", "0", IdYes, "GetGoodsByNumber(0, -1)", {17, 123}, 2, -1}, // failure records only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        ReportHarness h;
        RunAllGoods(h, c.mode, c.goodsNum, c.failuresAnswer, c.first, c.last);
        EXPECT_EQ(h.Log("GetGoodsByNumber").front(), c.call);
        ASSERT_EQ(h.handOff.goods.size(), c.count);
        EXPECT_EQ(h.handOff.goods.front().number, c.numbers[0]);
        EXPECT_EQ(h.handOff.goods.back().number, c.numbers[1]);
        if (c.maximum >= 0) {
            EXPECT_EQ(h.handOff.maximum, c.maximum);
        }
    }
}

TEST(AllGoodsReport, LengthQueryFailureEndsBeforeAnyRead) {
    ReportHarness h("fail GetLengthGoodsName text \"Таблиця недоступна\"\n");
    Accept(h, [](QDialog& d) { static_cast<console::TForm6&>(d).RGMode1->Click(3); });
    h.Form().ActionReadReportByAllGoods->trigger();
    EXPECT_TRUE(h.Log("GetGoodsByNumber").empty());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Таблиця недоступна");
    EXPECT_EQ(h.State().Busy, 0);
}

// Report by a range of codes.

TEST(RangeReport, TextThatIsNotACodeShowsTheRangeMessageAndCallsNothing) {
    ReportHarness h;
    Accept(h, [](QDialog& d) { static_cast<console::TForm11&>(d).FirstBarcode->setText("abc"); });
    h.Form().BitBtn6->click();
    EXPECT_TRUE(h.Log("GetGoodsByRange").empty());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Помилка діапазона товарних кодів!");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Повідомлення");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2040u);
}

TEST(RangeReport, ReadsTheCodesInTheRangeWithItsOwnMaximum) {
    ReportHarness h;
    Accept(h, [](QDialog& d) {
        auto& f = static_cast<console::TForm11&>(d);
        f.FirstPLU->setText("5");
        f.LastPLU->setText("24");
        f.FirstBarcode->setText("4820000000000");
        f.LastBarcode->setText("4820000000300");
    });
    h.Form().BitBtn6->click();
    EXPECT_EQ(h.Log("GetGoodsByRange").front(), "GetGoodsByRange(5, 24, 4820000000000, 4820000000300)");
    // PLU n + 1 and barcode 4820000000000 + 17 n: numbers 4..17.
    ASSERT_EQ(h.handOff.goods.size(), 14u);
    for (const auto& g : h.handOff.goods) {
        EXPECT_GE(g.plu, 5);
        EXPECT_LE(g.barcode, 4820000000300);
    }
    EXPECT_EQ(h.handOff.maximum, 5270);
    EXPECT_EQ(h.handOff.kind, 5);
}

// Report of goods with critical remains.

TEST(CriticalRemainsReport, GroupAndThresholdGoToTheCall) {
    ReportHarness h;
    Accept(h, [](QDialog& d) {
        auto& f = static_cast<console::TForm7&>(d);
        f.CriticalRemain->setText("1,250");
        f.CriticalRemainExit();
        f.RadioGroup2->Click(1);
        f.Goods_Group2->setText("7");
        f.Goods_Group2Exit();
    });
    h.Form().ActionReadReportByCriticalRemains->trigger();
    EXPECT_EQ(h.Log("GetGoodsWithLessQuantity").front(), "GetGoodsWithLessQuantity(0, 7, 1250)");
    for (const auto& g : h.handOff.goods) {
        EXPECT_EQ(g.group, 7);
        EXPECT_LT(g.remainder, 1250u);
    }
    EXPECT_EQ(h.handOff.kind, 10);
    // The bar keeps its maximum.
    EXPECT_EQ(h.Form().QProgressBar3->Maximum(), 5269);
}

// The all-goods dialog may leave the bar's maximum at 1; a report that keeps
// the maximum then runs past it, and its label stops at 100 %.
TEST(CriticalRemainsReport, LabelNeverPassesAHundredPercent) {
    ReportHarness h;
    Accept(h, [](QDialog& d) { static_cast<console::TForm6&>(d).GoodsNum->setText("3"); });
    h.Form().ActionReadReportByAllGoods->trigger();
    ASSERT_EQ(h.Form().QProgressBar3->Maximum(), 1);
    h.progress.clear();
    Accept(h, [](QDialog& d) { static_cast<console::TForm7&>(d).CriticalRemain->setText("200,000"); });
    h.Form().ActionReadReportByCriticalRemains->trigger();
    ASSERT_GT(h.handOff.goods.size(), 2u);
    ASSERT_FALSE(h.progress.empty());
    for (const auto& p : h.progress) EXPECT_LE(std::stoi(p.label), 100) << p.label;
    EXPECT_EQ(h.handOff.label, "100 %");
}

TEST(CriticalRemainsReport, ThresholdBeyondThirtyTwoBitsIsRefusedBeforeAnyCall) {
    ReportHarness h;
    Accept(h, [](QDialog& d) {
        auto& f = static_cast<console::TForm7&>(d);
        f.CriticalRemain->setText("9999999999");
        f.CriticalRemainExit(); // 9999999,999
    });
    h.Form().ActionReadReportByCriticalRemains->trigger();
    EXPECT_TRUE(h.Log("GetGoodsWithLessQuantity").empty());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Помилка в параметрі \"критичний залишок\"!");
}

// An option dialog closed with its close box reads nothing, even after an
// earlier dialog was accepted.
TEST(ReportOptions, CloseBoxReadsNothing) {
    struct Case {
        std::function<void(console::TForm1&)> start;
        const char* call;
    } cases[] = {
        {[](console::TForm1& f) { f.ActionReadReportByAllGoods->trigger(); }, "GetLengthGoodsName"},
        {[](console::TForm1& f) { f.BitBtn6->click(); }, "GetGoodsByRange"},
        {[](console::TForm1& f) { f.ActionReadReportByCriticalRemains->trigger(); },
         "GetGoodsWithLessQuantity"},
    };
    for (const Case& c : cases) {
        ReportHarness h;
        h.State().DialogAccepted = 1;
        h.ui.QueueModalResult(0);
        c.start(h.Form());
        EXPECT_TRUE(h.Log(c.call).empty()) << c.call;
        EXPECT_TRUE(h.ui.boxes.empty());
        EXPECT_EQ(h.State().DialogAccepted, 0);
    }
}

} // namespace
