// Fast keys, executed key sequences, the fixed discount and margin and the
// discount groups of the simulated register, read through its exported
// functions; the 33-byte batch records unpacked here by byte offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support_sim.h"

namespace {

using simtest::Le;

constexpr double Days2001 = 36892.0;

// One 33-byte batch record by its offsets.
struct Batch {
    int group; // the record's byte + 1
    uint64_t value, first, last, terms, beginDate, endDate, beginTime, endTime, days;
};

Batch Unpack(const std::vector<uint8_t>& b) {
    const uint8_t* p = b.data();
    return {p[0] + 1,     Le(p, 1, 2),  Le(p, 3, 8),  Le(p, 11, 8), p[19],
            Le(p, 20, 4), Le(p, 24, 4), Le(p, 28, 2), Le(p, 30, 2), p[32]};
}

class SimDiscounts : public simtest::SimLibraryTest {
protected:
    void SetUp() override {
        SimLibraryTest::SetUp();
        ConnectDirect();
    }
    // The first call of the batch and every record after it; the statuses
    // of the NextCommand calls go to `statuses`, the last one ends it.
    std::vector<Batch> ReadAll(Q710DiscountGroupRecord& first, uint8_t& firstStatus,
                               std::vector<uint8_t>& statuses, std::vector<std::string>& texts) {
        const char* err = nullptr;
        firstStatus = Api().GetDiscountGroupParameters103(1, &first, &err);
        texts.push_back(device::DeviceText(err));
        std::vector<Batch> records;
        for (int i = 0; i < 20; ++i) {
            std::vector<uint8_t> buffer(Q710_RAW_DISCOUNT_GROUP_SIZE);
            uint8_t status = Api().NextCommand(buffer.data(), Q710_RAW_DISCOUNT_GROUP_SIZE - 1, &err);
            statuses.push_back(status);
            texts.push_back(device::DeviceText(err));
            if (status == 0) records.push_back(Unpack(buffer));
            if (status != 0 && status != Q710_DISCOUNT_GROUP_NOT_AVAILABLE) break;
        }
        return records;
    }
};

TEST_F(SimDiscounts, FixedDiscountAndMarginWithTheirSwitches) {
    const char* err = nullptr;
    uint16_t discount = 0, margin = 0;
    int16_t discounts = 0, margins = 0;
    ASSERT_EQ(Api().GetDiscMargValues(&discount, &margin, &discounts, &margins, &err), 0);
    EXPECT_EQ(discount, 500);
    EXPECT_EQ(margin, 250);
    EXPECT_EQ(discounts, -1);
    EXPECT_EQ(margins, 0);
    ASSERT_EQ(Api().SetDiscMargValues(1204, 9999, &err), 0);
    ASSERT_EQ(Api().SetDiscountMarginFlags(0, -1, &err), 0);
    ASSERT_EQ(Api().GetDiscMargValues(&discount, &margin, &discounts, &margins, &err), 0);
    EXPECT_EQ(discount, 1204);
    EXPECT_EQ(margin, 9999);
    EXPECT_EQ(discounts, 0);
    EXPECT_EQ(margins, -1);
    // Percentages beyond 99,99 % and negative ones are refused, nothing changes.
    for (auto [d, m] : {std::pair{10000, 0}, std::pair{0, 10000}, std::pair{-1, 5}}) {
        EXPECT_EQ(Api().SetDiscMargValues(d, m, &err), sim::StatusBadValue);
        EXPECT_EQ(device::DeviceText(err), "\xCD\xE5\xE2\xB3\xF0\xED\xE5 \xE7\xED\xE0\xF7\xE5\xED\xED\xFF "
                                           "\xEF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xE0");
    }
    ASSERT_EQ(Api().GetDiscMargValues(&discount, &margin, &discounts, &margins, &err), 0);
    EXPECT_EQ(discount, 1204);
    Ctl("fail SetDiscountMarginFlags status 0x31 text \"Зміна заборонена\"");
    EXPECT_EQ(Api().SetDiscountMarginFlags(-1, -1, &err), 0x31);
    Api().HostDisconnect();
    EXPECT_EQ(Api().GetDiscMargValues(&discount, &margin, &discounts, &margins, &err), sim::StatusNoLink);
    EXPECT_EQ(Api().GetDiscMargValues(nullptr, &margin, &discounts, &margins, &err), sim::StatusBadValue);
}

TEST_F(SimDiscounts, FastKeysAndExecutedSequencesAreKept) {
    const char* err = nullptr;
    const char* code = nullptr;
    ASSERT_EQ(Api().GetFastCode(1, &code, &err), 0);
    EXPECT_STREQ(code, "12");
    ASSERT_EQ(Api().GetFastCode(3, &code, &err), 0);
    EXPECT_STREQ(code, "");
    ASSERT_EQ(Api().SetFastCode(8, "FP7Q*", &err), 0); // Q is no key of the keypad: kept as sent
    ASSERT_EQ(Api().GetFastCode(8, &code, &err), 0);
    EXPECT_STREQ(code, "FP7Q*");
    for (int key : {0, 9, -1}) {
        EXPECT_EQ(Api().GetFastCode(key, &code, &err), sim::StatusBadValue) << key;
        EXPECT_EQ(Api().SetFastCode(key, "1", &err), sim::StatusBadValue) << key;
    }
    EXPECT_EQ(Api().GetFastCode(1, nullptr, &err), sim::StatusBadValue);
    ASSERT_EQ(Api().ExecuteBarCode("12:P", &err), 0);
    ASSERT_EQ(Api().ExecuteBarCode("", &err), 0);
    EXPECT_NE(Ctl("dump").find("sent-sequences=2\n"), std::string::npos);
    // Both survive the state file.
    Ctl("save\nstate-file " + folder_->File("state.bin"));
    ASSERT_EQ(Api().GetFastCode(8, &code, &err), 0);
    EXPECT_STREQ(code, "FP7Q*");
    EXPECT_NE(Ctl("dump").find("sent-sequences=2\n"), std::string::npos);
    Ctl("fast-key 2 \"\\x01\"");
    ASSERT_EQ(Api().GetFastCode(2, &code, &err), 0);
    EXPECT_STREQ(code, "\x01");
    Api().HostDisconnect();
    EXPECT_EQ(Api().ExecuteBarCode("1", &err), sim::StatusNoLink);
    EXPECT_NE(
        device::DeviceText(err).find("\xC5\xCA\xCA\xC0 \xED\xE5 \xE2\xB3\xE4\xEF\xEE\xE2\xB3\xE4\xE0\xBA"),
        std::string::npos); // "ЕККА не відповідає"
}

// A fresh register's groups read as one batch: the first call's 72-byte
// record and 14 records of 33 bytes with dates in seconds since 2001, times
// in minutes and the days as bits.
TEST_F(SimDiscounts, AllGroupsAsOneBatch) {
    Q710DiscountGroupRecord first{};
    uint8_t firstStatus = 0xFF;
    std::vector<uint8_t> statuses;
    std::vector<std::string> texts;
    std::vector<Batch> rest = ReadAll(first, firstStatus, statuses, texts);
    ASSERT_EQ(firstStatus, 0);
    EXPECT_EQ(first.group, 1);
    EXPECT_EQ(first.terms, 1);
    EXPECT_EQ(first.value, 100);
    EXPECT_EQ(first.firstCard, 1000u);
    EXPECT_EQ(first.lastCard, 1999u);
    EXPECT_DOUBLE_EQ(first.beginDate, 45292.0);
    ASSERT_EQ(rest.size(), 14u);
    EXPECT_EQ(statuses.back(), Q710_END_OF_DATA);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const Batch& b = rest[i];
        const int group = static_cast<int>(i) + 2;
        SCOPED_TRACE(group);
        EXPECT_EQ(b.group, group);
        EXPECT_EQ(b.value, 100u * group);
        EXPECT_EQ(b.first, 1000u * group);
        EXPECT_EQ(b.last, 1000u * group + 999);
        EXPECT_EQ(b.terms, group <= 3 ? 1u << (group - 1) : 0u);
        EXPECT_EQ(b.beginDate, static_cast<uint64_t>((45292.0 - Days2001) * 86400)); // 01.01.2024
        EXPECT_EQ(b.endDate, static_cast<uint64_t>((45657.0 - Days2001) * 86400));
        EXPECT_EQ(b.beginTime, 9u * 60);
        EXPECT_EQ(b.endTime, 21u * 60);
        EXPECT_EQ(b.days, 0x1Fu); // Monday to Friday
    }
}

// Groups the register does not hand out: 0xFD in their turn (the batch goes
// on), 0xFD on the first call with the record of the first available group,
// 0xA2 when there is none, 0xFD with "ЕККА не відповідає" without a link.
TEST_F(SimDiscounts, UnavailableGroupsAndTheirStatuses) {
    Q710DiscountGroupRecord first{};
    uint8_t firstStatus = 0;
    std::vector<uint8_t> statuses;
    std::vector<std::string> texts;
    Ctl("discount-group 1 unavailable\ndiscount-group 2 unavailable\ndiscount-group 5 unavailable\n"
        "discount-group 15 unavailable");
    std::vector<Batch> rest = ReadAll(first, firstStatus, statuses, texts);
    EXPECT_EQ(firstStatus, Q710_DISCOUNT_GROUP_NOT_AVAILABLE);
    EXPECT_EQ(first.group, 3);
    ASSERT_EQ(statuses.size(), 13u); // groups 4..15 and the end
    EXPECT_EQ(statuses[1], Q710_DISCOUNT_GROUP_NOT_AVAILABLE);
    EXPECT_EQ(texts[2], "\xC4\xE8\xF1\xEA\xEE\xED\xF2\xED\xE0 \xE3\xF0\xF3\xEF\xE0 \xB9"
                        "5 "
                        "\xED\xE5\xE4\xEE\xF1\xF2\xF3\xEF\xED\xE0"); // "Дисконтна група №5 недоступна"
    EXPECT_EQ(statuses[11], Q710_DISCOUNT_GROUP_NOT_AVAILABLE);
    EXPECT_EQ(statuses[12], Q710_END_OF_DATA);
    ASSERT_EQ(rest.size(), 10u);
    EXPECT_EQ(rest.front().group, 4);
    EXPECT_EQ(rest.back().group, 14);
    EXPECT_NE(Ctl("dump").find("discount-groups-unavailable=1,2,5,15\n"), std::string::npos);

    const char* err = nullptr;
    Q710DiscountGroupRecord one{};
    EXPECT_EQ(Api().GetDiscountGroupParameters103(5, &one, &err), Q710_DISCOUNT_GROUP_NOT_AVAILABLE);
    EXPECT_EQ(Api().GetDiscountGroupParameters103(6, &one, &err), 0);
    EXPECT_EQ(one.group, 6);
    for (int group : {0, 16})
        EXPECT_EQ(Api().GetDiscountGroupParameters103(group, &one, &err), sim::StatusBadValue) << group;

    for (int g = 1; g <= 15; ++g) Ctl("discount-group " + std::to_string(g) + " unavailable");
    EXPECT_EQ(Api().GetDiscountGroupParameters103(1, &one, &err), Q710_END_OF_DATA);
    Api().HostDisconnect();
    EXPECT_EQ(Api().GetDiscountGroupParameters103(1, &one, &err), Q710_DISCOUNT_GROUP_NOT_AVAILABLE);
    EXPECT_NE(
        device::DeviceText(err).find("\xC5\xCA\xCA\xC0 \xED\xE5 \xE2\xB3\xE4\xEF\xEE\xE2\xB3\xE4\xE0\xBA"),
        std::string::npos);
}

// Out-of-range group bytes on request, for the program's range checks; once, and not past a reset.
TEST_F(SimDiscounts, GroupBytesOutOfRangeOnRequest) {
    Q710DiscountGroupRecord first{};
    uint8_t firstStatus = 0;
    std::vector<uint8_t> statuses;
    std::vector<std::string> texts;
    Ctl("discount-group-byte 0 16");
    ReadAll(first, firstStatus, statuses, texts);
    EXPECT_EQ(first.group, 16);
    statuses.clear();
    Ctl("discount-group-byte 3 15"); // record 3: group 4, byte 15 names group 16
    std::vector<Batch> rest = ReadAll(first, firstStatus, statuses, texts);
    EXPECT_EQ(first.group, 1);
    ASSERT_EQ(rest.size(), 14u);
    EXPECT_EQ(rest[2].group, 16);
    EXPECT_EQ(rest[3].group, 5);
    statuses.clear();
    rest = ReadAll(first, firstStatus, statuses, texts);
    EXPECT_EQ(rest[2].group, 4);
    Ctl("discount-group-byte 0 16\nreset");
    ConnectDirect();
    ReadAll(first, firstStatus, statuses, texts);
    EXPECT_EQ(first.group, 1) << "a reset register has no byte waiting";
}

TEST_F(SimDiscounts, WritingAGroupStoresItAsSent) {
    const char* err = nullptr;
    Q710DiscountGroupRecord r{};
    r.group = 0; // as the program sends one group
    r.terms = 7;
    r.value = 1550;
    r.firstCard = 123;
    r.lastCard = 18446744073709551615ull;
    r.beginDate = 45500.0;
    r.endDate = 45510.75;
    r.beginTime = 45300.5;     // 12:00
    r.endTime = 0.99930555555; // 23:59
    r.days[0] = -1;
    r.days[6] = 1; // any non-zero flag counts as set
    r.reserved1[2] = 9;
    Ctl("discount-group 9 unavailable");
    ASSERT_EQ(Api().SetDiscountGroupParameters103(9, r, &err), 0) << device::DeviceText(err);
    Q710DiscountGroupRecord back{};
    ASSERT_EQ(Api().GetDiscountGroupParameters103(9, &back, &err), 0);
    EXPECT_EQ(back.group, 9);
    EXPECT_EQ(back.value, 1550);
    EXPECT_EQ(back.lastCard, 18446744073709551615ull);
    EXPECT_EQ(back.days[6], -1);
    EXPECT_EQ(back.reserved1[2], 0);
    EXPECT_DOUBLE_EQ(back.endDate, 45510.75);

    Q710DiscountGroupRecord first{};
    uint8_t firstStatus = 0;
    std::vector<uint8_t> statuses;
    std::vector<std::string> texts;
    std::vector<Batch> rest = ReadAll(first, firstStatus, statuses, texts);
    const Batch& b = rest[7];
    EXPECT_EQ(b.group, 9);
    EXPECT_EQ(b.terms, 7u);
    EXPECT_EQ(b.beginDate, static_cast<uint64_t>((45500.0 - Days2001) * 86400));
    EXPECT_EQ(b.endDate, static_cast<uint64_t>((45510.0 - Days2001) * 86400)); // the date part
    EXPECT_EQ(b.beginTime, 720u);
    EXPECT_EQ(b.endTime, 1439u);
    EXPECT_EQ(b.days, 0x41u);

    // Refusals: a first card above the last, a value above 99,99 %, bad terms, a group outside 1..15.
    Q710DiscountGroupRecord bad = r;
    bad.firstCard = 200;
    bad.lastCard = 123;
    EXPECT_EQ(Api().SetDiscountGroupParameters103(9, bad, &err), sim::StatusBadValue);
    bad = r;
    bad.value = 10000;
    EXPECT_EQ(Api().SetDiscountGroupParameters103(9, bad, &err), sim::StatusBadValue);
    bad = r;
    bad.terms = 8;
    EXPECT_EQ(Api().SetDiscountGroupParameters103(9, bad, &err), sim::StatusBadValue);
    EXPECT_EQ(Api().SetDiscountGroupParameters103(0, r, &err), sim::StatusBadValue);
    EXPECT_EQ(Api().SetDiscountGroupParameters103(16, r, &err), sim::StatusBadValue);
    ASSERT_EQ(Api().GetDiscountGroupParameters103(9, &back, &err), 0);
    EXPECT_EQ(back.value, 1550);
}

} // namespace
