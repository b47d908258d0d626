// The simulated register's connection, modem, goods table, injected faults
// and call log, through its exported functions.
#include <gtest/gtest.h>

#include <tuple>

#include "support_sim.h"

namespace {

const std::string NoAnswer =
    "\xC5\xCA\xCA\xC0 \xED\xE5 \xE2\xB3\xE4\xEF\xEE\xE2\xB3\xE4\xE0\xBA"; // ЕККА не відповідає

class SimDevice : public simtest::SimLibraryTest {};

TEST_F(SimDevice, DirectLinkNeedsAPresentPortAndTheRegistersAddress) {
    const char* err = nullptr;
    EXPECT_NE(Api().MemoryFree(&err), 0);
    EXPECT_NE(device::DeviceText(err).find(NoAnswer), std::string::npos);

    Ctl("ports 1,2\naddress 7");
    EXPECT_EQ(Api().HostConnect(4, 19200, 20, 20, &err), 0);
    EXPECT_NE(device::DeviceText(err).find("COM4"), std::string::npos);
    EXPECT_NE(Api().MemoryFree(&err), 0);

    Api().SetAddressTransmitter(1);
    Api().SetAddressReceiver(5);
    ASSERT_NE(Api().HostConnect(2, 19200, 20, 20, &err), 0);
    EXPECT_TRUE(device::DeviceText(err).empty());
    EXPECT_NE(Api().MemoryFree(&err), 0); // nobody at address 5
    EXPECT_NE(device::DeviceText(err).find(NoAnswer), std::string::npos);
    Api().SetAddressReceiver(7);
    EXPECT_EQ(Api().MemoryFree(&err), 0);
    Api().SetAddressReceiver(5);
    Api().DisableRS485();
    EXPECT_EQ(Api().MemoryFree(&err), 0); // no network: any address
    Api().SetAddressReceiver(0);
    EXPECT_EQ(Api().MemoryFree(&err), 0);

    ASSERT_EQ(Api().PowerOff(&err), 0);
    EXPECT_NE(Api().MemoryFree(&err), 0);
    Api().HostDisconnect();
    ASSERT_NE(Api().HostConnect(1, 9600, 20, 20, &err), 0);
    EXPECT_EQ(Api().MemoryFree(&err), 0);
    Api().HostDisconnect();
    EXPECT_NE(Api().MemoryFree(&err), 0);
    EXPECT_EQ(Api().HostConnect(1, 1200, 20, 20, &err), 0);
}

TEST_F(SimDevice, ModemFollowsItsScriptOnePollAtATime) {
    const char* err = nullptr;
    Ctl("modem-script 9:1/3 6 0:7 9:2/3 42 15 8");
    EXPECT_EQ(Api().SetModemMaxAttempts(0, &err), 0);
    EXPECT_FALSE(device::DeviceText(err).empty());
    EXPECT_EQ(Api().SetModemMaxAttempts(11, &err), 0);
    ASSERT_NE(Api().SetModemMaxAttempts(3, &err), 0);
    // The connection object has to exist before dialling.
    EXPECT_EQ(Api().ModemDial(-1, 0, 0, 0, "0441234567", &err), 0);
    EXPECT_FALSE(device::DeviceText(err).empty());
    Api().RadarCreate();
    Api().RadarCreate();
    ASSERT_NE(Api().ModemDial(-1, 0, 0, 0, "0441234567", &err), 0);

    const char* name = nullptr;
    ASSERT_NE(Api().GetModemDeviceName(&name, &err), 0);
    EXPECT_FALSE(device::DeviceText(name).empty());
    std::vector<std::tuple<int, int, int, int>> seen; // state, attempt, maximum, wait
    for (int poll = 0; poll < 8; ++poll) {
        uint8_t state = 0;
        uint16_t attempt = 0, maximum = 0, wait = 0;
        ASSERT_NE(Api().GetModemState(&state, &err), 0);
        Api().GetModemCurrentAttempt(&attempt, &err);
        Api().GetModemMaxAttempts(&maximum, &err);
        Api().GetModemRetryWait(&wait, &err);
        seen.emplace_back(state, attempt, maximum, wait);
        if (poll < 6) {
            EXPECT_NE(Api().MemoryFree(&err), 0) << poll;
        }
    }
    const std::vector<std::tuple<int, int, int, int>> expected = {{9, 1, 3, 0}, {6, 1, 3, 0},  {0, 1, 3, 7},
                                                                  {9, 2, 3, 0}, {42, 2, 3, 0}, {15, 2, 3, 0},
                                                                  {8, 2, 3, 0}, {8, 2, 3, 0}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(Api().MemoryFree(&err), 0);

    ASSERT_NE(Api().ModemCancelCall(&err), 0);
    EXPECT_NE(Api().MemoryFree(&err), 0);
    Api().RadarFree();
    Api().RadarFree();
}

TEST_F(SimDevice, ModemGivesUpAndDialsQuietly) {
    const char* err = nullptr;
    Ctl("modem-script 9:1/1 0:0");
    Api().RadarCreate();
    ASSERT_NE(Api().ModemDial(0, 0, 0, 0, "123", &err), 0);
    uint8_t state = 99;
    uint16_t wait = 99;
    Api().GetModemState(&state, &err);
    Api().GetModemState(&state, &err);
    Api().GetModemRetryWait(&wait, &err);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(wait, 0);

    // Answering 0 without a text still starts the call.
    Ctl("quiet-dial on\nmodem-script 8");
    EXPECT_EQ(Api().ModemDial(0, 0, 0, 0, "123", &err), 0);
    EXPECT_TRUE(device::DeviceText(err).empty());
    Api().GetModemState(&state, &err);
    EXPECT_EQ(state, 8);
    EXPECT_EQ(Api().MemoryFree(&err), 0);

    Ctl("fail ModemCancelCall text \"Лінія зайнята\"");
    EXPECT_EQ(Api().ModemCancelCall(&err), 0);
    EXPECT_FALSE(device::DeviceText(err).empty());
    EXPECT_EQ(Api().MemoryFree(&err), 0); // the call stays up
}

TEST_F(SimDevice, GoodsTableWritesAndTheirRefusals) {
    ConnectDirect();
    const char* err = nullptr;
    Q710GoodsProgData g{};
    g.price = 1999;
    g.group = 12;
    g.tax = 2;
    g.quantity = 10000;
    g.plu = 4321;
    g.barcode = 4820000099999;
    g.name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"; // longer than the name length 25
    ASSERT_EQ(Api().SetGoodsByCode(g, &err), 0) << device::DeviceText(err);
    Q710GoodsData read{};
    ASSERT_EQ(Api().GetGoodsByCode(4321, 4820000099999, &read, &err), 0);
    EXPECT_EQ(device::DeviceText(read.name), "ABCDEFGHIJKLMNOPQRSTUVWXY");
    EXPECT_EQ(read.remainder, 10000u);
    const uint16_t number = read.number;

    g.price = 2100;
    g.quantity = 2500;
    ASSERT_EQ(Api().SetGoodsByCode2(g, &err), 0);
    ASSERT_EQ(Api().GetGoodsByCode(4321, 4820000099999, &read, &err), 0);
    EXPECT_EQ(read.number, number);
    EXPECT_EQ(read.price, 2100u);
    EXPECT_EQ(read.remainder, 12500u);

    ASSERT_EQ(Api().SetGoodsQuantity(4321, 4820000099999, 500, 2, &err), 0);
    ASSERT_EQ(Api().SetGoodsQuantity(4321, 4820000099999, 1000, 1, &err), 0);
    ASSERT_EQ(Api().GetGoodsByCode(4321, 4820000099999, &read, &err), 0);
    EXPECT_EQ(read.remainder, 13000u);
    EXPECT_NE(Api().SetGoodsQuantity(4321, 4820000099999, 13001, 2, &err), 0);
    ASSERT_EQ(Api().SetGoodsQuantity(4321, 4820000099999, 7, 0, &err), 0);
    ASSERT_EQ(Api().SetGoodsPrice(4321, 4820000099999, 5, &err), 0);
    ASSERT_EQ(Api().GetGoodsByCode(4321, 4820000099999, &read, &err), 0);
    EXPECT_EQ(read.remainder, 7u);
    EXPECT_EQ(read.price, 5u);

    EXPECT_EQ(Api().SetGoodsByNumber(5269, g, &err), 0x2D);
    EXPECT_EQ(Api().SetGoodsByNumber(static_cast<uint16_t>(number + 1), g, &err), 0x96);
    g.group = 0;
    EXPECT_EQ(Api().SetGoodsByCode(g, &err), 0x13);
    EXPECT_NE(Api().SetLengthGoodsName(19, &err), 0);
    EXPECT_NE(Api().SetLengthGoodsName(32, &err), 0);

    ASSERT_EQ(Api().EraseGoodsByCode(4321, 4820000099999, &err), 0);
    EXPECT_EQ(Api().GetGoodsByCode(4321, 4820000099999, &read, &err), Q710_NOT_FOUND);
    EXPECT_EQ(Api().EraseGoodsByCode(4321, 4820000099999, &err), Q710_NOT_FOUND);
    EXPECT_EQ(Api().SetGoodsPrice(4321, 4820000099999, 5, &err), Q710_NOT_FOUND);

    ASSERT_EQ(Api().EraseAllGoods(&err), 0);
    ASSERT_EQ(Api().EraseAdditionalCodes(1, 9999999999999, &err), 0);
    EXPECT_NE(Api().EraseAdditionalCodes(5, 1, &err), 0);
    EXPECT_NE(Ctl("dump").find("additional-codes=0"), std::string::npos);
    EXPECT_NE(Ctl("dump").find("programmed=0"), std::string::npos);
}

// Each field at its limits: the last value the table takes and the first it
// refuses, written by code and by number.
TEST_F(SimDevice, GoodsFieldLimits) {
    ConnectDirect();
    struct Case {
        const char* what;
        void (*set)(Q710GoodsProgData&);
        uint8_t status;
    } cases[] = {
        {"PLU 20 bits", [](Q710GoodsProgData& g) { g.plu = 0xFFFFF; }, 0},
        {"PLU beyond 20 bits", [](Q710GoodsProgData& g) { g.plu = 0x100000; }, 0x13},
        {"negative PLU", [](Q710GoodsProgData& g) { g.plu = -1; }, 0x13},
        {"13-digit barcode", [](Q710GoodsProgData& g) { g.barcode = 9999999999999; }, 0},
        {"14-digit barcode", [](Q710GoodsProgData& g) { g.barcode = 10000000000000; }, 0x13},
        {"barcode only", [](Q710GoodsProgData& g) { g.plu = 0; }, 0},
        {"PLU only", [](Q710GoodsProgData& g) { g.barcode = 0; }, 0},
        {"no code at all", [](Q710GoodsProgData& g) { g.plu = 0, g.barcode = 0; }, 0x13},
        {"group 100", [](Q710GoodsProgData& g) { g.group = 100; }, 0},
        {"group 101", [](Q710GoodsProgData& g) { g.group = 101; }, 0x13},
        {"tax group 5", [](Q710GoodsProgData& g) { g.tax = 5; }, 0x13},
        {"payout 4", [](Q710GoodsProgData& g) { g.payoutOperation = 4; }, 0x13},
        {"negative price", [](Q710GoodsProgData& g) { g.price = -1; }, 0x13},
        {"negative quantity", [](Q710GoodsProgData& g) { g.quantity = -1; }, 0x13},
    };
    const char* err = nullptr;
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Api().EraseAllGoods(&err), 0);
        Q710GoodsProgData g{};
        g.group = 1;
        g.plu = 77;
        g.barcode = 4820000000077;
        g.name = "Goods";
        c.set(g);
        EXPECT_EQ(Api().SetGoodsByCode(g, &err), c.status);
        ASSERT_EQ(Api().EraseAllGoods(&err), 0);
        EXPECT_EQ(Api().SetGoodsByNumber(static_cast<uint16_t>(number++), g, &err), c.status);
        EXPECT_EQ(device::DeviceText(err).empty(), c.status == 0);
    }
    // Names take the programmed length, 20 to 31 bytes.
    for (int length : {20, 31}) {
        ASSERT_EQ(Api().SetLengthGoodsName(length, &err), 0);
        Q710GoodsProgData g{};
        g.group = 1;
        g.plu = 5;
        g.name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        ASSERT_EQ(Api().SetGoodsByNumber(0, g, &err), 0);
        Q710GoodsData read{};
        ASSERT_EQ(Api().GetGoodsByCode(5, 0, &read, &err), 0);
        EXPECT_EQ(device::DeviceText(read.name).size(), static_cast<std::size_t>(length));
    }
}

TEST_F(SimDevice, LastShiftPeriodFromTheState) {
    const char* err = nullptr;
    double opened = 0, closed = 0;
    EXPECT_EQ(Api().GetPeiodOfLastDay(&opened, &closed, &err), 0x02);
    ConnectDirect();
    ASSERT_EQ(Api().GetPeiodOfLastDay(&opened, &closed, &err), 0) << device::DeviceText(err);
    EXPECT_DOUBLE_EQ(opened, 45299.3333333333);
    EXPECT_DOUBLE_EQ(closed, 45299.9166666667);
    EXPECT_EQ(Api().GetPeiodOfLastDay(nullptr, &closed, &err), 0x13);
}

TEST_F(SimDevice, InjectedCallFaultsOnceOrPersistently) {
    ConnectDirect();
    const char* err = nullptr;
    Ctl("fail MemoryFree at 2 status 0x41 text \"Збій\"");
    EXPECT_EQ(Api().MemoryFree(&err), 0);
    EXPECT_EQ(Api().MemoryFree(&err), 0x41);
    EXPECT_EQ(device::DeviceText(err), "\xC7\xE1\xB3\xE9");
    EXPECT_EQ(Api().MemoryFree(&err), 0);

    Ctl("fail HostConnect persistent");
    EXPECT_EQ(Api().HostConnect(1, 9600, 20, 20, &err), 0);
    EXPECT_FALSE(device::DeviceText(err).empty());
    EXPECT_EQ(Api().HostConnect(1, 9600, 20, 20, &err), 0);

    Ctl("null-error MemoryFree");
    err = "stale";
    Api().MemoryFree(&err);
    EXPECT_EQ(err, nullptr);
    Api().MemoryFree(&err);
    EXPECT_NE(err, nullptr);

    // Texts followed by filler instead of a terminator within their bound.
    Ctl("unterminated on\nfail PowerOff text \"x\"");
    Api().PowerOff(&err);
    const std::string text = device::DeviceText(err);
    EXPECT_EQ(text.size(), 1024u);
    EXPECT_EQ(text.substr(0, 2), "x~");
}

TEST_F(SimDevice, ControlRefusesBadCommandsAndChangesNothing) {
    char reply[64];
    EXPECT_NE(control_("frobnicate", reply, sizeof reply), 0);
    EXPECT_NE(std::string(reply).find("frobnicate"), std::string::npos);
    EXPECT_NE(control_("fail MemoryFree at zero", reply, sizeof reply), 0);
    EXPECT_NE(control_("fail MemoryFree text \"open", reply, sizeof reply), 0);
    EXPECT_NE(control_("seed-goods 5270", reply, sizeof reply), 0);
    EXPECT_NE(control_("modem-script 9:x", reply, sizeof reply), 0);
    EXPECT_NE(control_("ports 0", reply, sizeof reply), 0);
    ConnectDirect();
    const char* err = nullptr;
    EXPECT_EQ(Api().MemoryFree(&err), 0);
    // The reply is cut to the buffer and always terminated.
    char tiny[8];
    std::memset(tiny, 'z', sizeof tiny);
    EXPECT_EQ(control_("dump", tiny, 5), 0);
    EXPECT_EQ(std::strlen(tiny), 4u);
    EXPECT_EQ(tiny[5], 'z');
    EXPECT_EQ(control_("# comment only", nullptr, 0), 0);
}

// Calls f with every argument value-initialised: null pointers, zeros.
template <class R, class... A> void CallWithNothing(R (*f)(A...)) {
    f(A{}...);
}

TEST_F(SimDevice, EveryFunctionSurvivesNullArgumentsInAnyState) {
    for (int round = 0; round < 2; ++round) {
        if (round == 1) ConnectDirect();
#define Q710_CALL_EMPTY(ret, name, params) CallWithNothing(Api().name);
        Q710_DEVICE_FUNCTIONS(Q710_CALL_EMPTY)
#undef Q710_CALL_EMPTY
    }
    const char* err = nullptr;
    EXPECT_NE(Api().GetDataXReport(nullptr, &err), 0);
    EXPECT_FALSE(device::DeviceText(err).empty());
}

TEST_F(SimDevice, CallLogHasOneLineOfInputsPerCall) {
    const std::string path = folder_->File("calls.log");
    Ctl("log " + path);
    const char* err = nullptr;
    Api().HostConnect(4, 19200, 20, 20, &err);
    Api().SetAddressReceiver(-3);
    Api().RadarCreate();
    Api().ModemDial(-1, 0, 0, -1, "044\"1\\\x01", &err);
    uint16_t count = 0;
    Api().GetQuantityRecordsOfGoods(-1, &count, &err);
    Api().GetGoodsWithLessQuantity(0, 7, 1250, nullptr, &err);
    Api().EraseAdditionalCodes(1, 9999999999999, &err);
    Q710GoodsProgData g{};
    g.price = 150;
    g.group = 3;
    g.tax = 4;
    g.weighed = -1;
    g.quantity = 2000;
    g.plu = 12;
    g.barcode = 4820000000012;
    g.name = "\xD5\xEB\xB3\xE1";
    Api().SetGoodsByCode(g, &err);
    Api().SetGoodsGroupName(1, nullptr, &err);
    Q710DiscountGroupRecord record{};
    record.group = 3;
    record.value = 0x0102;
    record.lastCard = 0xFF;
    Api().SetDiscountGroupParameters103(3, record, &err);
    std::vector<uint8_t> buffer(83);
    Api().NextCommand(buffer.data(), 82, &err);
    Ctl("log off");
    Api().PowerOff(&err);

    const std::string expectedRecord = "0300020100000000" + std::string(16, '0') + "ff" +
                                       std::string(14, '0') + std::string(2 * 72 - 48, '0');
    EXPECT_EQ(testfiles::Slurp(path),
              "HostConnect(4, 19200, 20, 20)\n"
              "SetAddressReceiver(-3)\n"
              "RadarCreate()\n"
              "ModemDial(-1, 0, 0, -1, \"044\\\"1\\\\\\x01\")\n"
              "GetQuantityRecordsOfGoods(-1)\n"
              "GetGoodsWithLessQuantity(0, 7, 1250)\n"
              "EraseAdditionalCodes(1, 9999999999999)\n"
              "SetGoodsByCode({150, 3, 4, -1, 0, 0, 0, 2000, 12, 4820000000012, \"\xD5\xEB\xB3\xE1\"})\n"
              "SetGoodsGroupName(1, null)\n"
              "SetDiscountGroupParameters103(3, " +
                  expectedRecord +
                  ")\n"
                  "NextCommand(82)\n");
}

} // namespace
