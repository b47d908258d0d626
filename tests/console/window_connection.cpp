#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "platform/IniFile.h"
#include "platform/ui/AnsiText.h"
#include "support_program.h"

namespace {

using testing_console::ProgramHarness;

// The simulator's log lines from the first one that starts with `from`.
std::vector<std::string> LogFrom(const ProgramHarness& h, const std::string& from) {
    return testing_console::LogLines(h.SimulatorLog(), from);
}

bool Logged(const ProgramHarness& h, const std::string& call) {
    return !LogFrom(h, call).empty();
}

std::string Utf8Status(ProgramHarness& h) {
    return platform::Utf8(h.Form().StatusText());
}

// Every control that leads to a register call: the actions, the plain
// buttons and the buttons of the dialogs that call the register themselves.
bool AllDeviceActions(ProgramHarness& h, bool on) {
    for (QAction* a : h.Form().DeviceActions)
        if (a->isEnabled() != on) return false;
    for (const auto* controls : {&h.Form().DeviceButtons, &h.Form().DialogButtons})
        for (QWidget* w : *controls)
            if (w->isEnabled() != on) return false;
    return true;
}

TEST(DirectConnection, OpensThePortOfTheChosenItemsAndClosesIt) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.PortNumber->setCurrentIndex(3);
    f.BRate->setCurrentIndex(2);
    f.Connect->trigger();
    EXPECT_EQ(LogFrom(h, "SetAddressTransmitter"),
              (std::vector<std::string>{"SetAddressTransmitter(1)", "SetAddressReceiver(0)",
                                        "HostConnect(4, 19200, 20, 20)", "MemoryFree()"}));
    EXPECT_TRUE(h.ui.boxes.empty());
    EXPECT_EQ(Utf8Status(h), "Статус: пряме підключення; порт ПК: COM4; швидкість: 19200 б/с.");
    EXPECT_FALSE(f.PortNumber->isEnabled() || f.BRate->isEnabled() || f.Phone->isEnabled());
    EXPECT_FALSE(f.Connect->isEnabled() || f.ModemConnect->isEnabled() || f.ModemDisconnect->isEnabled());
    EXPECT_TRUE(f.Disconnect->isEnabled());
    EXPECT_TRUE(AllDeviceActions(h, true));
    EXPECT_TRUE(f.ECRPowerOff->isEnabled());
    EXPECT_FALSE(f.ModemECRPowerOff->isEnabled());
    EXPECT_EQ(h.State().DirectSession, 1);
    EXPECT_TRUE(f.SessionUsable());

    f.Disconnect->trigger();
    EXPECT_EQ(LogFrom(h, "HostDisconnect"), (std::vector<std::string>{"HostDisconnect()", "RadarFree()"}));
    EXPECT_TRUE(f.Connect->isEnabled() && f.ModemConnect->isEnabled() && f.PortNumber->isEnabled());
    EXPECT_FALSE(f.Disconnect->isEnabled());
    EXPECT_TRUE(AllDeviceActions(h, false));
    EXPECT_FALSE(f.ECRPowerOff->isEnabled());
    EXPECT_EQ(Utf8Status(h), "");
    // The key and journal dialogs do not open: they would call the library
    // after RadarFree.
    for (QPushButton* b : {f.BitBtn3, f.BitBtn4, f.BitBtn5, f.BitBtn7}) b->click();
    EXPECT_TRUE(h.ui.modals.empty());
    EXPECT_EQ(LogFrom(h, "RadarFree"), (std::vector<std::string>{"RadarFree()"}));
}

TEST(DirectConnection, PortThatDoesNotOpenShowsTheLibrarysText) {
    ProgramHarness h;
    h.WriteScenario("ports 1,2\n");
    ASSERT_TRUE(h.Create());
    h.Form().PortNumber->setCurrentIndex(3);
    h.Form().Connect->trigger();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Порт COM4 недоступний");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
    EXPECT_FALSE(Logged(h, "MemoryFree"));
    EXPECT_EQ(Utf8Status(h), "");
    EXPECT_TRUE(h.Form().Connect->isEnabled());
    EXPECT_TRUE(AllDeviceActions(h, false));
}

TEST(DirectConnection, SilentRegisterClosesThePortAgain) {
    ProgramHarness h;
    h.WriteScenario("fail MemoryFree persistent\n");
    ASSERT_TRUE(h.Create());
    h.Form().Connect->trigger();
    EXPECT_EQ(LogFrom(h, "MemoryFree"), (std::vector<std::string>{"MemoryFree()", "HostDisconnect()"}));
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Немає зв'язку з ЕККА!");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
    EXPECT_TRUE(h.Form().Connect->isEnabled());
    EXPECT_FALSE(h.Form().Disconnect->isEnabled());
    EXPECT_TRUE(AllDeviceActions(h, false));
}

TEST(DirectConnection, AddressThatIsNotANumberStopsTheConnect) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    h.Form().AddrPC->setText("x"); // typed, the edit not left yet
    h.Form().Connect->trigger();
    EXPECT_FALSE(Logged(h, "HostConnect"));
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].caption, "ZRV-Q710");
    EXPECT_TRUE(h.Form().Connect->isEnabled());
}

TEST(DirectConnection, PowerOffAsksAndReports) {
    ProgramHarness h;
    h.WriteScenario("fail PowerOff at 2 text \"Зайнято\"\n");
    ASSERT_TRUE(h.Create());
    h.Form().Connect->trigger();
    for (int answer : {platform::IdNo, platform::IdYes, platform::IdYes}) {
        h.ui.QueueAnswer(answer);
        h.Form().ECRPowerOff->trigger();
    }
    EXPECT_EQ(LogFrom(h, "PowerOff").size(), 2u);
    ASSERT_EQ(h.ui.boxes.size(), 5u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Ви дійсно бажаєте вимкнути живлення ЕККА?");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Попередження");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2034u);
    EXPECT_EQ(h.ui.boxes[2].Utf8Text(), "Живлення ЕККА вимкнене!");
    EXPECT_EQ(h.ui.boxes[2].style, 0x2040u);
    EXPECT_EQ(h.ui.boxes[4].Utf8Text(), "Зайнято");
    EXPECT_EQ(h.ui.boxes[4].Utf8Caption(), "Помилка");
    EXPECT_EQ(h.ui.boxes[4].style, 0x2010u);
    // The session and its actions stay as they were.
    EXPECT_TRUE(h.Form().Disconnect->isEnabled());
    EXPECT_TRUE(h.Form().ECRPowerOff->isEnabled());
}

class ModemConnection : public ::testing::Test {
protected:
    void Dial(const std::string& script) {
        h.WriteScenario(script);
        ASSERT_TRUE(h.Create());
        h.Form().Phone->setText("5551234");
        h.Form().CBDialMode->setChecked(true);
        h.Form().ModemConnect->trigger();
    }
    void Tick() {
        ASSERT_TRUE(h.Form().Timer1->isActive());
        h.Form().Timer1Timer();
    }
    ProgramHarness h;
};

TEST_F(ModemConnection, DialsAfterThePauseAndPollsEveryState) {
    Dial("modem-script 9:1/3 6 0:7 15 3 8\n");
    console::TForm1& f = h.Form();
    EXPECT_EQ(LogFrom(h, "SetAddressTransmitter"),
              (std::vector<std::string>{"SetAddressTransmitter(1)", "SetAddressReceiver(0)", "DisableRS485()",
                                        "RadarCreate()", "SetModemMaxAttempts(3)",
                                        "ModemDial(-1, 0, 0, 0, \"5551234\")"}));
    EXPECT_EQ(h.ui.sleeps, std::vector<unsigned>{2000});
    EXPECT_TRUE(h.ui.boxes.empty());
    EXPECT_EQ(f.Timer1->interval(), 500);
    EXPECT_TRUE(f.ModemDisconnect->isEnabled());
    EXPECT_FALSE(f.Connect->isEnabled() || f.Disconnect->isEnabled() || f.ModemConnect->isEnabled());
    EXPECT_FALSE(f.AddrPC->isEnabled() || f.NetMode->isEnabled() || f.CBAttempts->isEnabled());
    EXPECT_EQ(h.State().ModemSession, 1);

    const char* texts[] = {"Модем: Standard 33600 bps Modem Статус: дозвон (5551234), cпроба: 1 з 3.",
                           "Модем: Standard 33600 bps Modem Статус: занято.",
                           "Модем: Standard 33600 bps Modem Статус: очікування (7 секунд).",
                           "Модем: Standard 33600 bps Modem Статус невизначено.",
                           "Модем: Standard 33600 bps Modem Статус невизначено."}; // 3: unchanged
    for (const char* text : texts) {
        Tick();
        EXPECT_EQ(Utf8Status(h), text);
        EXPECT_TRUE(AllDeviceActions(h, false));
        EXPECT_TRUE(f.Timer1->isActive());
    }
    Tick();
    EXPECT_EQ(Utf8Status(h), "Модем: Standard 33600 bps Modem Статус: зв'язок встановлено");
    EXPECT_TRUE(AllDeviceActions(h, true));
    EXPECT_TRUE(f.ModemECRPowerOff->isEnabled());
    EXPECT_FALSE(f.ECRPowerOff->isEnabled());
    EXPECT_TRUE(f.Timer1->isActive()); // polling goes on for the whole call

    // A tick that finds the timer off does nothing.
    f.Timer1->stop();
    std::size_t lines = LogFrom(h, "").size();
    f.Timer1Timer();
    EXPECT_EQ(LogFrom(h, "").size(), lines);
}

TEST_F(ModemConnection, ConnectedDuringALongOperationLeavesTheActionsOff) {
    Dial("modem-script 8\n");
    h.State().Busy = 1;
    Tick();
    EXPECT_EQ(Utf8Status(h), "Модем: Standard 33600 bps Modem Статус: зв'язок встановлено");
    EXPECT_TRUE(AllDeviceActions(h, false));
    // Once the operation ends the actions come back: the call got through.
    h.State().Busy = 0;
    h.Form().RestoreDeviceActions();
    EXPECT_TRUE(AllDeviceActions(h, true));
}

TEST_F(ModemConnection, WaitOfZeroGivesTheCallUp) {
    Dial("modem-script 9:1/1 0:0\n");
    Tick();
    Tick();
    console::TForm1& f = h.Form();
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(Utf8Status(h), "");
    EXPECT_TRUE(f.Connect->isEnabled() && f.ModemConnect->isEnabled() && f.AddrPC->isEnabled());
    EXPECT_FALSE(f.ModemDisconnect->isEnabled() || f.Disconnect->isEnabled());
    EXPECT_FALSE(f.AddrECR->isEnabled()); // network mode is still off
    EXPECT_TRUE(AllDeviceActions(h, false));
    EXPECT_FALSE(f.SessionUsable());
}

// A refusal before or while dialling, or a failing poll, is shown once and
// stops the polling; a dial refused without a text still starts the call.
TEST(ModemFailures, AreShownAndStopThePolling) {
    struct Case {
        const char* scenario;
        int ticks;
        const char* box; // UTF-8, empty: none
        bool dialled;
        bool polling;
    } cases[] = {
        {"fail SetModemMaxAttempts text \"Невірна кількість\"\n", 0, "Невірна кількість", false, false},
        {"fail ModemDial text \"Немає гудка\"\n", 0, "Немає гудка", true, false},
        {"quiet-dial on\nmodem-script 9\n", 1, "", true, true},
        {"modem-script 9\nfail GetModemState at 2 text \"Модем не відповідає\"\n", 2, "Модем не відповідає",
         true, false},
        {"modem-script 9\nfail GetModemDeviceName text \"Немає модему\"\n", 1, "Немає модему", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        ProgramHarness h;
        h.WriteScenario(c.scenario);
        ASSERT_TRUE(h.Create());
        h.Form().Phone->setText("1");
        h.Form().ModemConnect->trigger();
        for (int t = 0; t < c.ticks; ++t) h.Form().Timer1Timer();
        EXPECT_EQ(Logged(h, "ModemDial"), c.dialled);
        EXPECT_EQ(h.Form().Timer1->isActive(), c.polling);
        if (*c.box == '\0') {
            EXPECT_TRUE(h.ui.boxes.empty());
            continue;
        }
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        EXPECT_EQ(h.ui.boxes[0].Utf8Text(), c.box);
        EXPECT_EQ(h.ui.boxes[0].caption, "ZRV-Q710");
        EXPECT_EQ(h.ui.boxes[0].style, 0x10u);
        EXPECT_EQ(h.Form().ModemDisconnect->isEnabled(), c.ticks > 0);
        EXPECT_EQ(h.Form().ModemConnect->isEnabled(), c.ticks == 0);
    }
}

TEST_F(ModemConnection, RefusedHangUpKeepsTheCall) {
    Dial("modem-script 8\nfail ModemCancelCall text \"Лінія зайнята\"\n");
    Tick();
    h.Form().ModemDisconnect->trigger();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Лінія зайнята");
    EXPECT_TRUE(h.Form().ModemDisconnect->isEnabled());
    EXPECT_TRUE(h.Form().Timer1->isActive());
    EXPECT_TRUE(AllDeviceActions(h, true));
    EXPECT_FALSE(Logged(h, "RadarFree"));
}

TEST_F(ModemConnection, ClosingDuringTheCallHangsUpFirst) {
    Dial("modem-script 8\n");
    Tick();
    h.Form().show();
    h.ui.QueueAnswer(platform::IdYes);
    EXPECT_TRUE(h.Form().close());
    EXPECT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Ви дійсно бажаєте завершити роботу програми?");
    EXPECT_EQ(LogFrom(h, "ModemCancelCall"),
              (std::vector<std::string>{"ModemCancelCall()", "RadarFree()"})); // never freed twice
    EXPECT_FALSE(h.Form().Timer1->isActive());
    platform::IniFile ini(h.dir.File("Q710b.ini"));
    EXPECT_TRUE(ini.SectionExists("GENERAL"));
    EXPECT_EQ(ini.ReadString("REMOTE CONNECTION", "PHONE", ""), "5551234");
    EXPECT_EQ(ini.ReadString("REMOTE CONNECTION", "DIAL MODE", ""), "1");
}

TEST_F(ModemConnection, ClosingGoesOnWhenTheHangUpIsRefused) {
    Dial("modem-script 8\nfail ModemCancelCall persistent text \"Лінія зайнята\"\n");
    Tick();
    h.Form().show();
    h.ui.QueueAnswer(platform::IdYes);
    EXPECT_TRUE(h.Form().close());
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[1].Utf8Text(), "Лінія зайнята");
    EXPECT_FALSE(h.Form().Timer1->isActive());
    EXPECT_TRUE(platform::IniFile(h.dir.File("Q710b.ini")).SectionExists("REMOTE CONNECTION"));
}

} // namespace
