// The checks of the group and pattern number edits, the memo lines, the caret
// of a pattern and the raw group and pattern records, as tables.
#include <gtest/gtest.h>

#include "console/GroupBatches.h"
#include "device/GroupRecords.h"
#include "platform/ui/AnsiText.h"

namespace {

using console::FieldCheck;

struct CheckCase {
    FieldCheck (*check)(const std::string&);
    const char* typed;
    const char* shown;
    bool refused;
};

TEST(GroupTexts, NumberEditsAsLeavingThemLeavesThem) {
    using console::CheckCursorPosition;
    using console::CheckGroupNumber;
    using console::CheckPatternNumber;
    const CheckCase cases[] = {
        {CheckGroupNumber, "abc", "1", true},     {CheckGroupNumber, "0", "1", false},
        {CheckGroupNumber, "101", "101", false},  {CheckGroupNumber, "7", "7", false},
        {CheckGroupNumber, "", "1", true},        {CheckGroupNumber, "1.5", "1", true},
        {CheckPatternNumber, "25", "20", false},  {CheckPatternNumber, "0", "1", false},
        {CheckPatternNumber, "1a", "1", true},    {CheckPatternNumber, "", "1", false},
        {CheckPatternNumber, " 7 ", "7", false},  {CheckPatternNumber, "-3", "1", true},
        {CheckPatternNumber, "20", "20", false},  {CheckPatternNumber, "99999999999", "20", false},
        {CheckCursorPosition, "30", "28", false}, {CheckCursorPosition, "28", "28", false},
        {CheckCursorPosition, "00", "1", false},  {CheckCursorPosition, "x", "1", true},
    };
    for (const CheckCase& c : cases) {
        FieldCheck result = c.check(c.typed);
        EXPECT_EQ(result.text, c.shown) << '"' << c.typed << '"';
        EXPECT_EQ(result.refused, c.refused) << '"' << c.typed << '"';
    }
}

TEST(GroupTexts, CaretStandsBeforeTheCursorsCharacterAndStaysInTheText) {
    const struct {
        const char* text;
        int position;
        const char* marked;
    } cases[] = {
        {"abc", 2, "a^bc"}, {"abc", 1, "^abc"},   {"abc", 4, "abc^"},
        {"abc", 0, "^abc"}, {"abc", 200, "abc^"}, {"", 5, "^"},
    };
    for (const auto& c : cases) EXPECT_EQ(console::WithCaret(c.text, c.position), c.marked) << c.position;
    EXPECT_EQ(platform::Utf8(console::GroupMemoLine(7, platform::Ansi("Хліб"))), "Група 7: Хліб");
    EXPECT_EQ(platform::Utf8(console::GroupMemoLine(100, "")), "Група 100: <немає назви>");
}

TEST(GroupTexts, RawRecordsReadNoFurtherThanTheirFields) {
    std::vector<uint8_t> full(21, 'x');
    EXPECT_EQ(UnpackGroupName(full), std::string(20, 'x')) << "no terminator: 20 characters";
    std::vector<uint8_t> shortName = {'A', 'b', 0, 'z', 'z'};
    EXPECT_EQ(UnpackGroupName(shortName), "Ab");
    EXPECT_EQ(UnpackGroupName({}), "");

    std::vector<uint8_t> pattern(29, 'y');
    pattern[0] = 3;
    TextPatternRecord record;
    ASSERT_TRUE(UnpackTextPattern(pattern, record));
    EXPECT_EQ(record.cursor, 3);
    EXPECT_EQ(record.text, std::string(28, 'y'));
    EXPECT_FALSE(UnpackTextPattern({}, record));

    const std::vector<char> unterminated(24, 'q'); // no zero anywhere
    EXPECT_EQ(BoundedLibraryText(unterminated.data(), 20), std::string(20, 'q'));
    EXPECT_EQ(BoundedLibraryText(nullptr, 20), "");
}

TEST(GroupTexts, UsedEntriesEndAtTheFirstNumberOutsideTheRange) {
    auto table = [](std::initializer_list<int> numbers) {
        std::vector<GoodsGroupRecord> t;
        for (int n : numbers) t.push_back({static_cast<uint8_t>(n), "n"});
        return t;
    };
    EXPECT_EQ(UsedGroupEntries(table({5, 5, 100, 1})), 4u) << "numbers need not ascend or differ";
    EXPECT_EQ(UsedGroupEntries(table({3, 0, 4})), 1u);
    EXPECT_EQ(UsedGroupEntries(table({101, 4})), 0u);
    EXPECT_EQ(UsedGroupEntries(EmptyGroupTable()), 0u);
    std::vector<GoodsGroupRecord> tooMany(150, GoodsGroupRecord{9, "x"});
    EXPECT_EQ(UsedGroupEntries(tooMany), 100u);
}

} // namespace
