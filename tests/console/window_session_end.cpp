// Ending the session while a register operation runs: "Відключитися" (F11)
// and "Розірвати зв'язок" (Ctrl+F11) stay off until the operation ends, and a
// close confirmed meanwhile ends the operation first. No register call ever
// follows RadarFree in the simulator's call log.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "console/ActionButton.h"
#include "support_reports.h"

namespace {

using platform::IdYes;
using testing_console::ProgramHarness;
using testing_console::ReportHarness;

// The user presses a shortcut key in the main window (it must be the active
// window for its shortcuts).
void PressShortcut(console::TForm1& form, QKeyCombination key) {
    form.show();
    QApplication::setActiveWindow(&form);
    QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
    QKeyEvent release(QEvent::KeyRelease, key.key(), key.keyboardModifiers());
    QApplication::sendEvent(&form, &press);
    QApplication::sendEvent(&form, &release);
}

int Count(const std::vector<std::string>& log, const std::string& line) {
    return static_cast<int>(std::count(log.begin(), log.end(), line));
}

// Nothing follows RadarFree, which comes once.
void ExpectRadarFreeLast(const std::vector<std::string>& log) {
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "RadarFree()");
    EXPECT_EQ(Count(log, "RadarFree()"), 1);
}

// A modem call that got through, with the exchange job standing in as in
// the reports' harness (it keeps nothing, it writes its file).
class ModemSession : public ::testing::Test {
protected:
    void SetUp() override {
        h.WriteScenario("modem-script 8\n");
        ASSERT_TRUE(h.Create());
        h.Form().Phone->setText("5551234");
        h.Form().ModemConnect->trigger();
        h.Form().Timer1Timer();
        ASSERT_TRUE(h.Form().SessionUsable());
        h.State().RunExchangeJob = [](console::ConsoleState&) { return true; };
        h.ui.onProcessMessages = [this] {
            if (atRecord) atRecord(++records);
        };
    }
    std::vector<std::string> Log(const std::string& from) const {
        return testing_console::LogLines(h.SimulatorLog(), from);
    }

    ProgramHarness h;
    int records = 0;
    std::function<void(int)> atRecord;
};

// F11 pressed while the day report is read disconnects nothing: the key is
// off, so the loop's next NextCommand(82) still has its connection.
TEST(SessionEnd, DisconnectKeyIsOffWhileTheDayReportIsRead) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    bool offMeanwhile = true;
    h.atRecord = [&](int k) {
        offMeanwhile = offMeanwhile && !f.Disconnect->isEnabled();
        if (k == 5) {
            PressShortcut(f, Qt::Key_F11);
            f.Disconnect->trigger();
            f.DisconnectExecute(); // even the handler itself waits for the loop
        }
    };
    f.ActionReadDayReport->trigger();
    EXPECT_TRUE(offMeanwhile);
    std::vector<std::string> log = h.Log("GetSaleGoodsByMinNumber");
    EXPECT_EQ(Count(log, "HostDisconnect()"), 0);
    EXPECT_EQ(Count(log, "RadarFree()"), 0);
    EXPECT_EQ(h.handOff.calls, 1);
    EXPECT_EQ(h.handOff.goods.size(), 200u); // every record was read
    for (const std::string& text : h.BoxTexts()) EXPECT_EQ(text.find("ВИБЕРІТЬ ДІЮ"), std::string::npos);

    // The operation over, the key works again and ends the session.
    ASSERT_TRUE(f.Disconnect->isEnabled());
    PressShortcut(f, Qt::Key_F11);
    log = h.Log("GetSaleGoodsByMinNumber");
    EXPECT_EQ(Count(log, "HostDisconnect()"), 1);
    ExpectRadarFreeLast(log);
    EXPECT_TRUE(f.Connect->isEnabled());
}

// Ctrl+F11 pressed during a batch hangs nothing up: the key is off, so the
// loop's next NextCommand(11) still has its connection.
TEST_F(ModemSession, HangUpKeyIsOffWhileTheHoursAreRead) {
    console::TForm1& f = h.Form();
    bool offMeanwhile = true;
    atRecord = [&](int k) {
        offMeanwhile = offMeanwhile && !f.ModemDisconnect->isEnabled() && !f.Disconnect->isEnabled();
        if (k == 5) PressShortcut(f, QKeyCombination(Qt::ControlModifier, Qt::Key_F11));
    };
    f.BitBtnXReportByHours->click();
    EXPECT_TRUE(offMeanwhile);
    std::vector<std::string> log = Log("GetXReportByHours");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(Count(log, "NextCommand(11)"), 23);
    EXPECT_EQ(Count(log, "ModemCancelCall()"), 0);
    EXPECT_EQ(Count(log, "RadarFree()"), 0);

    ASSERT_TRUE(f.ModemDisconnect->isEnabled());
    PressShortcut(f, QKeyCombination(Qt::ControlModifier, Qt::Key_F11));
    log = Log("GetXReportByHours");
    EXPECT_EQ(Count(log, "ModemCancelCall()"), 1);
    ExpectRadarFreeLast(log);
}

// Closing through the close box during the hours report: the question, then
// the loop ends; the hang-up and RadarFree come after it.
TEST_F(ModemSession, CloseDuringTheHoursEndsThemBeforeHangingUp) {
    console::TForm1& f = h.Form();
    f.show();
    atRecord = [&](int k) {
        if (k == 5) {
            h.ui.QueueAnswer(IdYes); // "Ви дійсно бажаєте завершити роботу програми?"
            EXPECT_FALSE(f.close()); // not yet: the report still runs
        }
    };
    bool exported = false;
    h.State().RunExchangeJob = [&exported](console::ConsoleState&) { return exported = true; };
    f.BitBtnXReportByHours->click();
    EXPECT_FALSE(exported);
    std::vector<std::string> log = Log("GetXReportByHours");
    EXPECT_EQ(Count(log, "NextCommand(11)"), 5);
    EXPECT_EQ(Count(log, "RadarFree()"), 0);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Ви дійсно бажаєте завершити роботу програми?");

    // Back in the message loop the window closes without asking again.
    QApplication::processEvents();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(h.ui.boxes.size(), 1u);
    log = Log("GetXReportByHours");
    EXPECT_EQ(Count(log, "NextCommand(11)"), 5);
    EXPECT_EQ(Count(log, "ModemCancelCall()"), 1);
    ExpectRadarFreeLast(log);
}

// A close the user declines during the report changes nothing: the report
// runs to its end and the session stays.
TEST(SessionEnd, DeclinedCloseDuringAReportLetsItRunOn) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    f.show();
    h.atRecord = [&](int k) {
        if (k == 5) {
            h.ui.QueueAnswer(platform::IdNo);
            EXPECT_FALSE(f.close());
        }
    };
    f.ActionReadDayReport->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(h.State().Closing, 0);
    EXPECT_EQ(h.handOff.goods.size(), 200u);
    EXPECT_EQ(Count(h.Log("GetSaleGoodsByMinNumber"), "RadarFree()"), 0);
    EXPECT_TRUE(f.Disconnect->isEnabled());
}

} // namespace
