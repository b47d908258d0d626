// Goods-group names and text patterns of the simulated register, read
// through its exported functions: the single calls, the batches the first
// group and the first pattern start, and the faults a scenario asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support_sim.h"

namespace {

class SimGroups : public simtest::SimLibraryTest {
protected:
    void SetUp() override {
        SimLibraryTest::SetUp();
        ConnectDirect();
    }
    // The records NextCommand hands out after a first call, each `size`
    // bytes, and the status that ended them.
    std::vector<std::vector<uint8_t>> Rest(int size, uint8_t& end, int lastIndex = -1) {
        std::vector<std::vector<uint8_t>> records;
        const char* err = nullptr;
        for (int guard = 0; guard < 200; ++guard) {
            std::vector<uint8_t> buffer(static_cast<std::size_t>(size) + 8, 0xCC);
            end = Api().NextCommand(buffer.data(), lastIndex < 0 ? size - 1 : lastIndex, &err);
            if (end != 0) break;
            // Exactly the record's bytes are written.
            EXPECT_EQ(buffer[static_cast<std::size_t>(size)], 0xCC);
            buffer.resize(static_cast<std::size_t>(size));
            records.push_back(buffer);
        }
        return records;
    }
    static std::string Text(const std::vector<uint8_t>& record, std::size_t from) {
        std::string text(record.begin() + static_cast<std::ptrdiff_t>(from), record.end());
        return text.substr(0, text.find('\0'));
    }
};

TEST_F(SimGroups, NamesAreWrittenClearedAndReadInABatchOf21ByteRecords) {
    const char* err = nullptr;
    ASSERT_EQ(Api().SetGoodsGroupName(2, "Milk", &err), 0);
    ASSERT_EQ(Api().SetGoodsGroupName(100, "12345678901234567890", &err), 0);
    ASSERT_EQ(Api().SetGoodsGroupName(3, nullptr, &err), 0) << "a null name clears the group";

    const char* name = nullptr;
    ASSERT_EQ(Api().GetGoodsGroupName(2, &name, &err), 0);
    EXPECT_EQ(device::DeviceText(name), "Milk");
    ASSERT_EQ(Api().GetGoodsGroupName(1, &name, &err), 0);
    EXPECT_FALSE(device::DeviceText(name).empty());
    uint8_t end = 0;
    auto rest = Rest(Q710_RAW_GROUP_NAME_SIZE, end);
    EXPECT_EQ(end, Q710_END_OF_DATA);
    ASSERT_EQ(rest.size(), 99u);
    EXPECT_EQ(Text(rest[0], 0), "Milk");
    EXPECT_EQ(Text(rest[1], 0), "");
    EXPECT_EQ(Text(rest[98], 0), "12345678901234567890");
    EXPECT_EQ(rest[98][20], 0) << "the 21st byte ends a full name";

    // Only the first group starts a batch.
    ASSERT_EQ(Api().GetGoodsGroupName(5, &name, &err), 0);
    std::vector<uint8_t> buffer(21);
    EXPECT_EQ(Api().NextCommand(buffer.data(), 20, &err), sim::StatusNoBatch);
}

TEST_F(SimGroups, PatternsKeepTheCursorAsShownAndTheBatchCountsItFromZero) {
    const char* err = nullptr;
    ASSERT_EQ(Api().SetTextPattern(1, 2, "abc", &err), 0);
    ASSERT_EQ(Api().SetTextPattern(2, 28, "1234567890123456789012345678", &err), 0);
    ASSERT_EQ(Api().SetTextPattern(20, 1, "", &err), 0);
    uint8_t cursor = 0;
    const char* text = nullptr;
    ASSERT_EQ(Api().GetTextPattern(1, &cursor, &text, &err), 0);
    EXPECT_EQ(cursor, 2);
    EXPECT_EQ(device::DeviceText(text), "abc");
    uint8_t end = 0;
    auto rest = Rest(Q710_RAW_TEXT_PATTERN_SIZE, end);
    EXPECT_EQ(end, Q710_END_OF_DATA);
    ASSERT_EQ(rest.size(), 19u);
    EXPECT_EQ(rest[0][0], 27);
    EXPECT_EQ(Text(rest[0], 1), "1234567890123456789012345678");
    EXPECT_EQ(rest[18][0], 0);
    EXPECT_EQ(Text(rest[18], 1), "");
}

TEST_F(SimGroups, ValuesOutsideTheRegistersRangesAreRefused) {
    const char* err = nullptr;
    const char* name = nullptr;
    uint8_t cursor = 0;
    struct Case {
        const char* what;
        uint8_t status;
    };
    const Case cases[] = {
        {"group 0", Api().GetGoodsGroupName(0, &name, &err)},
        {"group 101", Api().GetGoodsGroupName(101, &name, &err)},
        {"set group 101", Api().SetGoodsGroupName(101, "x", &err)},
        {"name of 21", Api().SetGoodsGroupName(1, "123456789012345678901", &err)},
        {"pattern 21", Api().GetTextPattern(21, &cursor, &name, &err)},
        {"cursor 0", Api().SetTextPattern(1, 0, "x", &err)},
        {"cursor 29", Api().SetTextPattern(1, 29, "x", &err)},
        {"text of 29", Api().SetTextPattern(1, 1, "12345678901234567890123456789", &err)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.status, sim::StatusBadValue) << c.what;
    ASSERT_EQ(Api().GetGoodsGroupName(1, &name, &err), 0);
    EXPECT_NE(device::DeviceText(name), "123456789012345678901");
}

TEST_F(SimGroups, ScenarioFaultsReachCallsAndRecords) {
    const char* err = nullptr;
    const char* name = nullptr;
    Ctl("fail SetGoodsGroupName at 2 status 0x33 text \"Збій запису\"");
    EXPECT_EQ(Api().SetGoodsGroupName(1, "a", &err), 0);
    EXPECT_EQ(Api().SetGoodsGroupName(2, "b", &err), 0x33);
    EXPECT_EQ(device::DeviceText(err), "\xC7\xE1\xB3\xE9 \xE7\xE0\xEF\xE8\xF1\xF3");

    Ctl("fail-record 3 status 0x44");
    ASSERT_EQ(Api().GetGoodsGroupName(1, &name, &err), 0);
    uint8_t end = 0;
    EXPECT_EQ(Rest(Q710_RAW_GROUP_NAME_SIZE, end).size(), 2u);
    EXPECT_EQ(end, 0x44);
    EXPECT_EQ(Rest(Q710_RAW_GROUP_NAME_SIZE, end).size(), 97u) << "a retry delivers the record";

    Ctl("end-batch 5");
    uint8_t cursor = 0;
    ASSERT_EQ(Api().GetTextPattern(1, &cursor, &name, &err), 0);
    EXPECT_EQ(Rest(Q710_RAW_TEXT_PATTERN_SIZE, end).size(), 4u);
    EXPECT_EQ(end, Q710_END_OF_DATA);

    Ctl("clear-faults\nbatch-first 0x55");
    EXPECT_EQ(Api().GetTextPattern(1, &cursor, &name, &err), 0x55);
    EXPECT_EQ(Api().GetTextPattern(1, &cursor, &name, &err), 0);
}

TEST_F(SimGroups, DamagedAnswersAreBoundedOrRefused) {
    const char* err = nullptr;
    const char* name = nullptr;
    ASSERT_EQ(Api().SetGoodsGroupName(2, "Milk", &err), 0);
    Ctl("unterminated on");
    ASSERT_EQ(Api().GetGoodsGroupName(1, &name, &err), 0);
    uint8_t end = 0;
    auto rest = Rest(Q710_RAW_GROUP_NAME_SIZE, end);
    ASSERT_EQ(rest.size(), 99u);
    EXPECT_EQ(std::string(rest[0].begin(), rest[0].end()), "Milk" + std::string(17, '~'));

    // Records longer than the buffer: the library refuses to write past it.
    Ctl("unterminated off\nrecord-size 40");
    ASSERT_EQ(Api().GetGoodsGroupName(1, &name, &err), 0);
    rest = Rest(Q710_RAW_GROUP_NAME_SIZE, end);
    EXPECT_TRUE(rest.empty());
    EXPECT_EQ(end, sim::StatusSmallBuffer);
    EXPECT_FALSE(device::DeviceText(err).empty());
    Ctl("record-size off");
    EXPECT_EQ(Ctl("dump").find("record-size"), std::string::npos);
}

} // namespace
