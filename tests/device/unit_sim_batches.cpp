// Goods report batches of the simulated register, read through its exported
// functions and unpacked here by byte offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support_sim.h"

namespace {

using simtest::Le;

Q710GoodsProgData Prog(int32_t plu, int64_t barcode, const char* name) {
    Q710GoodsProgData g{};
    g.price = 1250;
    g.group = 7;
    g.tax = 0;
    g.quantity = 3000;
    g.plu = plu;
    g.barcode = barcode;
    g.name = name;
    return g;
}

class SimBatches : public simtest::SimLibraryTest {
protected:
    void SetUp() override {
        SimLibraryTest::SetUp();
        ConnectDirect();
    }
    // Programs goods 3, 10 and 11 into an empty table.
    void ProgramThree() {
        const char* err = nullptr;
        ASSERT_EQ(Api().EraseAllGoods(&err), 0);
        Q710GoodsProgData a = Prog(5, 51203, "1234567890123456789012345678901");
        a.group = 100;
        a.tax = 1;
        a.weighed = -1;
        a.payoutOperation = 3;
        ASSERT_EQ(Api().SetLengthGoodsName(31, &err), 0);
        ASSERT_EQ(Api().SetGoodsByNumber(10, a, &err), 0) << device::DeviceText(err);
        ASSERT_EQ(Api().SetGoodsByNumber(3, Prog(1, 4820000000001, "\xD5\xEB\xB3\xE1"), &err), 0);
        Q710GoodsProgData c = Prog(77, 0, "Tea");
        c.presenceControl = -1;
        c.saleBlocking = -1;
        c.quantity = 500;
        ASSERT_EQ(Api().SetGoodsByNumber(11, c, &err), 0);
    }
    // Reads the rest of a batch; the final status goes to `end`.
    std::vector<std::vector<uint8_t>> ReadRest(int size, uint8_t& end) {
        std::vector<std::vector<uint8_t>> records;
        const char* err = nullptr;
        for (;;) {
            std::vector<uint8_t> buffer(size);
            end = Api().NextCommand(buffer.data(), size - 1, &err);
            if (end != 0) return records;
            records.push_back(buffer);
            if (records.size() > 6000) return records;
        }
    }
};

TEST_F(SimBatches, AllGoodsByNumberAsFirstRecordAndRawRecords) {
    ProgramThree();
    Q710GoodsData first{};
    const char* err = nullptr;
    ASSERT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), 0);
    EXPECT_EQ(first.number, 3);
    EXPECT_EQ(first.price, 1250u);
    EXPECT_EQ(first.group, 7);
    EXPECT_EQ(first.remainder, 3000u);
    EXPECT_EQ(first.plu, 1);
    EXPECT_EQ(first.barcode, 4820000000001);
    EXPECT_EQ(device::DeviceText(first.name), "\xD5\xEB\xB3\xE1");

    uint8_t end = 0;
    const auto rest = ReadRest(Q710_RAW_GOODS_SIZE, end);
    EXPECT_EQ(end, Q710_END_OF_DATA);
    ASSERT_EQ(rest.size(), 2u);
    const uint8_t* r = rest[0].data();
    EXPECT_EQ(Le(r, 0, 2), 10u);
    EXPECT_EQ(Le(r, 2, 4), 1250u);
    EXPECT_EQ(r[6], 99);   // group 100
    EXPECT_EQ(r[7], 0xC9); // tax 1, weighed, payout operation 3
    EXPECT_EQ(Le(r, 8, 4), 3000u);
    EXPECT_EQ(Le(r, 44, 8), 0xC80300005u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 52), 31), "1234567890123456789012345678901");
    const uint8_t* t = rest[1].data();
    EXPECT_EQ(Le(t, 0, 2), 11u);
    EXPECT_EQ(t[7], 0x30); // presence control and sale blocking, tax 0
    EXPECT_EQ(Le(t, 44, 8), 77u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 52), 4), std::string("Tea\0", 4));
    // Past the end the batch keeps answering its end.
    std::vector<uint8_t> buffer(83);
    EXPECT_EQ(Api().NextCommand(buffer.data(), 82, &err), Q710_END_OF_DATA);
}

TEST_F(SimBatches, FromNumberFailuresOnlyAndNothingFound) {
    ProgramThree();
    Q710GoodsData first{};
    const char* err = nullptr;
    ASSERT_EQ(Api().GetGoodsByNumber(11, 0, &first, &err), 0);
    EXPECT_EQ(first.number, 11);
    uint8_t end = 0;
    EXPECT_TRUE(ReadRest(83, end).empty());

    EXPECT_EQ(Api().GetGoodsByNumber(0, -1, &first, &err), Q710_NOT_FOUND);
    EXPECT_FALSE(device::DeviceText(err).empty());
    Ctl("mark-failure 10");
    ASSERT_EQ(Api().GetGoodsByNumber(0, -1, &first, &err), 0);
    EXPECT_EQ(first.number, 10);
    EXPECT_TRUE(ReadRest(83, end).empty());

    uint8_t length = 0;
    uint16_t capacity = 0, programmed = 0, failures = 0;
    ASSERT_EQ(Api().GetLengthGoodsName(&length, &capacity, &programmed, &failures, &err), 0);
    EXPECT_EQ(length, 31);
    EXPECT_EQ(capacity, 5269);
    EXPECT_EQ(programmed, 3);
    EXPECT_EQ(failures, 1);
    ASSERT_EQ(Api().EraseFailureRecords(&err), 0);
    ASSERT_EQ(Api().GetLengthGoodsName(&length, &capacity, &programmed, &failures, &err), 0);
    EXPECT_EQ(programmed, 2);
    EXPECT_EQ(failures, 0);
}

TEST_F(SimBatches, DayReportMatchesItsCountAndTheGoodsTable) {
    Ctl("seed-goods 5269");
    const char* err = nullptr;
    uint16_t count = 0;
    ASSERT_EQ(Api().GetQuantityRecordsOfGoods(0, &count, &err), 0);
    ASSERT_GT(count, 0);
    Q710GoodsData first{};
    ASSERT_EQ(Api().GetSaleGoodsByMinNumber(0, &first, &err), 0);
    uint8_t end = 0;
    const auto rest = ReadRest(83, end);
    EXPECT_EQ(end, Q710_END_OF_DATA);
    EXPECT_EQ(rest.size() + 1, count);
    unsigned previous = first.number;
    for (const auto& r : rest) {
        const unsigned number = static_cast<unsigned>(Le(r.data(), 0, 2));
        EXPECT_GT(number, previous);
        previous = number;
        bool sold = false;
        for (int offset = 12; offset < 44; offset += 4) sold = sold || Le(r.data(), offset, 4) != 0;
        EXPECT_TRUE(sold) << number;
    }
    // A sample record agrees with the same goods read by its codes.
    const uint8_t* r = rest[rest.size() / 2].data();
    const uint64_t code = Le(r, 44, 8);
    Q710GoodsData byCode{};
    ASSERT_EQ(Api().GetGoodsByCode(static_cast<int32_t>(code & 0xFFFFF), static_cast<int64_t>(code >> 20),
                                   &byCode, &err),
              0);
    EXPECT_EQ(byCode.number, Le(r, 0, 2));
    EXPECT_EQ(byCode.price, Le(r, 2, 4));
    EXPECT_EQ(byCode.group, r[6] + 1);
    EXPECT_EQ(byCode.tax, r[7] & 7);
    EXPECT_EQ(byCode.soldQuantity, Le(r, 12, 4));
    EXPECT_EQ(byCode.marginsOnPayouts, Le(r, 40, 4));
    EXPECT_EQ(device::DeviceText(byCode.name),
              std::string(reinterpret_cast<const char*>(r + 52)).substr(0, 31));
}

TEST_F(SimBatches, PeriodicReportDeliversSeventyFiveByteRecords) {
    const char* err = nullptr;
    uint16_t count = 0;
    ASSERT_EQ(Api().GetQuantityRecordsOfGoods(-1, &count, &err), 0);
    Q710PeriodicGoodsData first{};
    ASSERT_EQ(Api().GetPeriodicReportOfGoodsByNumber(0, &first, &err), 0);
    EXPECT_GT(first.salesSum, 0);
    // A larger buffer than the record: only 75 bytes are written.
    std::vector<uint8_t> buffer(100, 0xCC);
    ASSERT_EQ(Api().NextCommand(buffer.data(), 99, &err), 0);
    for (int i = 75; i < 100; ++i) EXPECT_EQ(buffer[i], 0xCC) << i;
    const uint8_t* r = buffer.data();
    EXPECT_GT(Le(r, 0, 2), first.number);
    EXPECT_GT(Le(r, 12, 6), 0u); // sold quantity
    Q710GoodsData byCode{};
    const uint64_t code = Le(r, 36, 8);
    const uint64_t sold = Le(r, 12, 6);
    ASSERT_EQ(Api().GetGoodsByCode(static_cast<int32_t>(code & 0xFFFFF), static_cast<int64_t>(code >> 20),
                                   &byCode, &err),
              0);
    EXPECT_EQ(byCode.number, Le(r, 0, 2));
    EXPECT_EQ(device::DeviceText(byCode.name),
              std::string(reinterpret_cast<const char*>(r + 44)).substr(0, 31));
    EXPECT_GE(sold, byCode.soldQuantity);

    ASSERT_EQ(Api().GetPeriodicReportOfGoodsByNumber(0, &first, &err), 0);
    uint8_t end = 0;
    EXPECT_EQ(ReadRest(75, end).size() + 1, count);
    EXPECT_EQ(end, Q710_END_OF_DATA);
}

TEST_F(SimBatches, NextCommandNeverWritesPastTheGivenSize) {
    ProgramThree();
    Q710GoodsData first{};
    const char* err = nullptr;
    ASSERT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), 0);
    std::vector<uint8_t> buffer(83 + 16, 0xCC);
    // One byte short: refused, nothing written, the record is not lost.
    const uint8_t status = Api().NextCommand(buffer.data(), 81, &err);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, Q710_END_OF_DATA);
    EXPECT_FALSE(device::DeviceText(err).empty());
    for (uint8_t b : buffer) EXPECT_EQ(b, 0xCC);
    EXPECT_NE(Api().NextCommand(nullptr, 82, &err), 0);
    EXPECT_NE(Api().NextCommand(buffer.data(), -1, &err), 0);
    ASSERT_EQ(Api().NextCommand(buffer.data(), 82, &err), 0);
    EXPECT_EQ(Le(buffer.data(), 0, 2), 10u);
    for (int i = 83; i < 83 + 16; ++i) EXPECT_EQ(buffer[i], 0xCC) << i;
}

TEST_F(SimBatches, AnotherCallClosesTheBatchButAModemPollDoesNot) {
    ProgramThree();
    Q710GoodsData first{};
    const char* err = nullptr;
    std::vector<uint8_t> buffer(83);
    ASSERT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), 0);
    uint8_t state = 0;
    Api().GetModemState(&state, &err);
    ASSERT_EQ(Api().NextCommand(buffer.data(), 82, &err), 0);
    ASSERT_EQ(Api().MemoryFree(&err), 0);
    const uint8_t status = Api().NextCommand(buffer.data(), 82, &err);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, Q710_END_OF_DATA);
    EXPECT_NE(status, Q710_NOT_FOUND);
    EXPECT_FALSE(device::DeviceText(err).empty());
}

TEST_F(SimBatches, RangeAndLessQuantitySelectTheirGoods) {
    ProgramThree();
    Q710GoodsData first{};
    const char* err = nullptr;
    uint8_t end = 0;
    ASSERT_EQ(Api().GetGoodsByRange(2, 100, 0, 9999999999999, &first, &err), 0);
    EXPECT_EQ(first.number, 10);
    const auto rest = ReadRest(83, end);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(Le(rest[0].data(), 0, 2), 11u);
    EXPECT_EQ(Api().GetGoodsByRange(0, 1048575, 1, 51202, &first, &err), Q710_NOT_FOUND);

    // Group 7 holds goods 3 (3,000) and 11 (0,500); 10 is in group 100.
    ASSERT_EQ(Api().GetGoodsWithLessQuantity(0, 7, 1250, &first, &err), 0);
    EXPECT_EQ(first.number, 11);
    EXPECT_TRUE(ReadRest(83, end).empty());
    ASSERT_EQ(Api().GetGoodsWithLessQuantity(0, 0, 3001, &first, &err), 0);
    EXPECT_EQ(first.number, 3);
    EXPECT_EQ(ReadRest(83, end).size(), 2u);
    EXPECT_EQ(Api().GetGoodsWithLessQuantity(0, 7, 500, &first, &err), Q710_NOT_FOUND);
}

TEST_F(SimBatches, InjectedRecordFailuresEarlyEndsAndCounts) {
    ProgramThree();
    Q710GoodsData first{};
    const char* err = nullptr;
    std::vector<uint8_t> buffer(83);

    // Once: the retry delivers the same record.
    Ctl("fail-record 1 status 0x33 text \"Збій\"");
    ASSERT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), 0);
    EXPECT_EQ(Api().NextCommand(buffer.data(), 82, &err), 0x33);
    EXPECT_EQ(device::DeviceText(err), "\xC7\xE1\xB3\xE9");
    ASSERT_EQ(Api().NextCommand(buffer.data(), 82, &err), 0);
    EXPECT_EQ(Le(buffer.data(), 0, 2), 10u);

    // Persistent: every retry fails.
    Ctl("fail-record 2 persistent");
    ASSERT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), 0);
    ASSERT_EQ(Api().NextCommand(buffer.data(), 82, &err), 0);
    EXPECT_NE(Api().NextCommand(buffer.data(), 82, &err), 0);
    EXPECT_NE(Api().NextCommand(buffer.data(), 82, &err), 0);
    Ctl("clear-faults");

    // Early end after two records with "nothing found".
    Ctl("end-batch 2 status 0x14");
    ASSERT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), 0);
    ASSERT_EQ(Api().NextCommand(buffer.data(), 82, &err), 0);
    EXPECT_EQ(Api().NextCommand(buffer.data(), 82, &err), Q710_NOT_FOUND);
    Ctl("end-batch 0 status 0xA2");
    EXPECT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), Q710_END_OF_DATA);
    Ctl("clear-faults");

    // The first call of the next batch only.
    Ctl("batch-first 0x14");
    EXPECT_EQ(Api().GetSaleGoodsByMinNumber(0, &first, &err), Q710_NOT_FOUND);
    EXPECT_EQ(Api().GetGoodsByNumber(0, 0, &first, &err), 0);

    uint16_t count = 1;
    Ctl("count 0 0\ncount -1 5000");
    ASSERT_EQ(Api().GetQuantityRecordsOfGoods(0, &count, &err), 0);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(Api().GetQuantityRecordsOfGoods(-1, &count, &err), 0);
    EXPECT_EQ(count, 5000);
    EXPECT_NE(Api().GetQuantityRecordsOfGoods(3, &count, &err), 0);
}

} // namespace
