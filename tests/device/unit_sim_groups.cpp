// Goods-group names and text patterns of the simulated register, read
// through its exported functions: the single calls and the batches the first
// group and the first pattern start, decoded here by byte offsets. Its
// scenario faults are met by the group page's tests.
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

} // namespace
