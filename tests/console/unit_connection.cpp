#include <gtest/gtest.h>

#include "console/Connection.h"
#include "console/Guarded.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/ScriptedUi.h"
#include "support_fakedevice.h"

namespace {

using namespace console;
using platform::Ansi;
using testing_console::FakeDevice;

TEST(DirectSession, PortAndRateItemsGiveTheLibrarysArguments) {
    FakeDevice fake;
    DirectLink link{3, 7, PortOfIndex(3), BaudOfIndex(2)};
    EXPECT_EQ(OpenDirectSession(fake.Api(), link).result, DirectResult::Connected);
    EXPECT_EQ(fake.Calls(),
              "SetAddressTransmitter(3) SetAddressReceiver(7) HostConnect(4,19200,20,20) MemoryFree");
    // No item selected, or one beyond the lists.
    EXPECT_EQ(PortOfIndex(-1), 1);
    EXPECT_EQ(PortOfIndex(8), 1);
    EXPECT_EQ(PortOfIndex(7), 8);
    EXPECT_EQ(BaudOfIndex(-1), 9600u);
    EXPECT_EQ(BaudOfIndex(0), 4800u);
    EXPECT_EQ(BaudOfIndex(3), 38400u);
}

TEST(DirectSession, PortThatDoesNotOpenGivesTheLibrarysText) {
    FakeDevice fake;
    fake.hostConnect = 0;
    fake.errorText = "\xCF\xEE\xF0\xF2 \xE7\xE0\xE9\xED\xFF\xF2\xE8\xE9";
    DirectOutcome outcome = OpenDirectSession(fake.Api(), DirectLink{});
    EXPECT_EQ(outcome.result, DirectResult::ConnectFailed);
    EXPECT_EQ(outcome.errorText, fake.errorText);
    EXPECT_EQ(fake.calls.back(), "HostConnect(1,4800,20,20)");
    fake.errorText = nullptr;
    EXPECT_EQ(OpenDirectSession(fake.Api(), DirectLink{}).errorText, "");
}

TEST(DirectSession, SilentRegisterGetsItsPortClosedAgain) {
    FakeDevice fake;
    fake.memoryFree = 0x01;
    EXPECT_EQ(OpenDirectSession(fake.Api(), DirectLink{}).result, DirectResult::NoLink);
    ASSERT_GE(fake.calls.size(), 2u);
    EXPECT_EQ(fake.calls[fake.calls.size() - 2], "MemoryFree");
    EXPECT_EQ(fake.calls.back(), "HostDisconnect");
}

TEST(DirectSession, StatusTextNamesPortAndRate) {
    EXPECT_EQ(platform::Utf8(DirectStatusText("COM1", Ansi("4800 б/с"))),
              "Статус: пряме підключення; порт ПК: COM1; швидкість: 4800 б/с.");
}

TEST(IntegerValue, TakesSignedDecimalsAndRefusesTheRest) {
    EXPECT_EQ(IntegerValue("12"), 12);
    EXPECT_EQ(IntegerValue("  7 "), 7);
    EXPECT_EQ(IntegerValue("+5"), 5);
    EXPECT_EQ(IntegerValue("-3"), -3);
    for (const char* bad : {"", " ", "abc", "1a", "99999999999", "1 2", "++1"})
        EXPECT_THROW(IntegerValue(bad), ConsoleError) << bad;
}

TEST(AddressEdits, BadTextsAreCorrectedWithTheirMessages) {
    struct Case {
        AddressEdit edit;
        const char* text;
        const char* other;
        const char* result;
        const char* message; // UTF-8, empty: none
        bool refocus;
    };
    const Case cases[] = {
        {AddressEdit::Ecr, "ab", "1", "2", "Невірно задана адреса ЕККА!\r\nМожливий діапазон значень: 1..99!",
         false},
        {AddressEdit::Pc, "1x", "5", "1", "Невірно задана адреса ПК!\r\nМожливий діапазон значень: 1..99!",
         false},
        {AddressEdit::Pc, "-4", "5", "1", "Невірно задана адреса ПК!\r\nМожливий діапазон значень: 1..99!",
         false},
        {AddressEdit::Ecr, "150", "1", "99", "", false},
        {AddressEdit::Ecr, "00000000000000000000000150", "1", "99", "", false},
        {AddressEdit::Ecr, "99999999999999999999", "1", "99", "", false},
        {AddressEdit::Pc, "0", "5", "1", "", false},
        {AddressEdit::Pc, "  ", "5", "1", "", false},
        {AddressEdit::Ecr, "", "1", "2", "", false},
        {AddressEdit::Ecr, " 42 ", "1", "42", "", false},
        {AddressEdit::Ecr, "7", "7", "2",
         "Адреса ЕККА співпадає з адресою ПК!\r\nВведіть нове значення адреси ЕККА.", true},
        {AddressEdit::Pc, "3", "3", "1",
         "Адреса ПК співпадає з адресою ЕККА!\r\nВведіть нове значення адреси ПК.", true},
        // Clamped onto the other address.
        {AddressEdit::Pc, "500", "99", "1",
         "Адреса ПК співпадає з адресою ЕККА!\r\nВведіть нове значення адреси ПК.", true},
    };
    for (const Case& c : cases) {
        AddressCheck check = CheckAddress(c.edit, c.text, c.other);
        EXPECT_EQ(check.text, c.result) << c.text;
        EXPECT_EQ(platform::Utf8(check.message), c.message) << c.text;
        EXPECT_EQ(check.refocus, c.refocus) << c.text;
    }
}

TEST(ModemCall, PreparesPausesAndDialsWithTheChosenOptions) {
    FakeDevice fake;
    platform::ScriptedUi ui;
    ModemCall call{5, true, false, true, "0442223344"};
    StartModemCall(fake.Api(), call);
    EXPECT_EQ(
        fake.Calls(),
        "SetAddressTransmitter(1) SetAddressReceiver(0) DisableRS485 RadarCreate SetModemMaxAttempts(5) "
        "ModemDial(-1,0,0,-1,0442223344)");
    EXPECT_EQ(ui.sleeps, std::vector<unsigned>{2000});
}

TEST(ModemCall, RefusalsCarryTheLibrarysTextAndStopTheCall) {
    FakeDevice fake;
    platform::ScriptedUi ui;
    fake.errorText = "no modem";
    fake.setMaxAttempts = 0;
    try {
        StartModemCall(fake.Api(), ModemCall{});
        FAIL() << "no error";
    } catch (const ConsoleError& e) {
        EXPECT_STREQ(e.what(), "no modem");
    }
    EXPECT_EQ(fake.calls.back(), "SetModemMaxAttempts(3)");

    fake.setMaxAttempts = 1;
    fake.modemDial = 0;
    EXPECT_THROW(StartModemCall(fake.Api(), ModemCall{}), ConsoleError);
    // A refusal without a text counts as a started call.
    fake.errorText = nullptr;
    EXPECT_NO_THROW(StartModemCall(fake.Api(), ModemCall{}));
    fake.errorText = "";
    EXPECT_NO_THROW(StartModemCall(fake.Api(), ModemCall{}));
}

TEST(ModemPoll, EveryKnownStateHasItsStatusText) {
    FakeDevice fake;
    fake.modem = {{9, 0, 2, 5}, {6}, {0, 7}, {15}, {8}, {3}, {0, 0}};
    const std::string phone = "123";
    auto poll = [&] { return PollModem(fake.Api(), phone); };
    ModemPoll p = poll();
    EXPECT_EQ(p.kind, ModemPollKind::Status);
    EXPECT_EQ(platform::Utf8(p.status), "Модем: USR 56K Статус: дозвон (123), cпроба: 2 з 5.");
    EXPECT_EQ(platform::Utf8(poll().status), "Модем: USR 56K Статус: занято.");
    EXPECT_EQ(platform::Utf8(poll().status), "Модем: USR 56K Статус: очікування (7 секунд).");
    EXPECT_EQ(platform::Utf8(poll().status), "Модем: USR 56K Статус невизначено.");
    p = poll();
    EXPECT_EQ(p.kind, ModemPollKind::Connected);
    EXPECT_EQ(platform::Utf8(p.status), "Модем: USR 56K Статус: зв'язок встановлено");
    EXPECT_EQ(poll().kind, ModemPollKind::Unchanged);
    EXPECT_EQ(poll().kind, ModemPollKind::GiveUp);
    // The 'c' of the attempt text is Latin.
    fake.modem = {{9, 0, 1, 1}};
    EXPECT_NE(PollModem(fake.Api(), "").status.find("c\xEF\xF0\xEE\xE1\xE0"), std::string::npos);
}

TEST(ModemPoll, FailingQueriesRaiseTheLibrarysText) {
    FakeDevice fake;
    fake.modem = {{8}};
    fake.errorText = "port lost";
    fake.stateOk = 0;
    EXPECT_THROW(PollModem(fake.Api(), ""), ConsoleError);
    fake.stateOk = 1;
    fake.deviceNameOk = 0;
    fake.calls.clear();
    EXPECT_THROW(PollModem(fake.Api(), ""), ConsoleError);
    EXPECT_EQ(fake.Calls(), "GetModemDeviceName");
    // A name the library leaves out reads as empty.
    fake.deviceNameOk = 1;
    fake.modemName = nullptr;
    EXPECT_EQ(platform::Utf8(PollModem(fake.Api(), "").status), "Модем:  Статус: зв'язок встановлено");
    fake.cancelCall = 0;
    EXPECT_THROW(CancelModemCall(fake.Api()), ConsoleError);
}

TEST(PowerOff, AsksFirstAndReportsTheOutcome) {
    FakeDevice fake;
    platform::ScriptedUi ui;
    ui.QueueAnswer(platform::IdNo);
    ConfirmPowerOff(fake.Api());
    EXPECT_TRUE(fake.calls.empty());
    ui.QueueAnswer(platform::IdYes);
    ConfirmPowerOff(fake.Api());
    fake.powerOff = 0x33;
    fake.errorText = "busy";
    ui.QueueAnswer(platform::IdYes);
    ConfirmPowerOff(fake.Api());
    EXPECT_EQ(fake.Calls(), "PowerOff PowerOff");
    ASSERT_EQ(ui.boxes.size(), 5u);
    EXPECT_EQ(ui.boxes[0].Utf8Text(), "Ви дійсно бажаєте вимкнути живлення ЕККА?");
    EXPECT_EQ(ui.boxes[0].Utf8Caption(), "Попередження");
    EXPECT_EQ(ui.boxes[0].style, 0x2034u);
    EXPECT_EQ(ui.boxes[2].Utf8Text(), "Живлення ЕККА вимкнене!");
    EXPECT_EQ(ui.boxes[2].style, 0x2040u);
    EXPECT_EQ(ui.boxes[4].text, "busy");
    EXPECT_EQ(ui.boxes[4].Utf8Caption(), "Помилка");
    EXPECT_EQ(ui.boxes[4].style, 0x2010u);
}

} // namespace
