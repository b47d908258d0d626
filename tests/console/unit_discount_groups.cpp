// The discount groups without their page: percentage texts, card codes and
// ranges, the register's batch record, the listing and "\Discount.ini".
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/DiscountGroups.h"
#include "console/Guarded.h"
#include "platform/CodePages.h"
#include "platform/IniFile.h"
#include "support_files.h"

namespace {

using namespace console;
using testfiles::ScratchDir;
using testfiles::Slurp;
using testfiles::Spit;

constexpr double kJan1 = 45292.0; // 01.01.2024
constexpr double kDec31 = 45657.0;

std::string U(const std::string& ansi) {
    return platform::AnsiToUtf8(ansi);
}

platform::RegionalSettings Ukrainian() {
    return platform::RegionalSettings{};
}

TEST(DiscountPercent, TextsOfTheMaskedEdits) {
    const std::pair<uint32_t, const char*> texts[] = {
        {0, "00.00"}, {5, "00.05"}, {550, "05.50"}, {1234, "12.34"}, {9999, "99.99"}};
    for (auto [value, text] : texts) {
        EXPECT_EQ(PercentText(value), text);
        EXPECT_EQ(PercentValue(text), value);
    }
    EXPECT_EQ(PercentValue("12.04"), 1204); // a cleared 3 reads as 0
    EXPECT_EQ(PercentValue("1?.34"), std::nullopt);
    EXPECT_EQ(PercentValue(""), std::nullopt);
}

TEST(DiscountCards, CodesAsTheirEditsLeaveThem) {
    struct Case {
        const char* typed;
        const char* text;
        uint64_t value;
        bool refused;
    };
    const Case cases[] = {
        {"123", "123", 123, false},
        {"  42 ", "42", 42, false},
        {"18446744073709551615", "18446744073709551615", UINT64_MAX, false},
        {"$FF", "$FF", 255, false},
        {"0", "1", 1, false}, // silently
        {"abc", "1", 1, true},
        {"", "1", 1, true},
        {"123456789012345678901", "1", 1, true}, // 21 digits
        {"18446744073709551616", "1", 1, true},  // 2^64
        {"-5", "1", 1, true},
    };
    for (const Case& c : cases) {
        CardCheck check = CheckCardCode(c.typed);
        EXPECT_EQ(check.text, c.text) << c.typed;
        EXPECT_EQ(check.value, c.value) << c.typed;
        EXPECT_EQ(check.refused, c.refused) << c.typed;
    }
    EXPECT_EQ(U(CardCodeMessage(true)),
              "Невірно заданий початковий код дисконтної картки!\r\nМожливий діапазон значень: "
              "1..9999999999999999999!");
}

TEST(DiscountCards, RangesCompareUnsigned) {
    const std::tuple<uint64_t, uint64_t, bool> cases[] = {
        {123, 200, false}, {200, 123, true},      {5, 5, false},
        {99, 100, false},  {UINT64_MAX, 1, true}, {uint64_t{1} << 63, 1, true}, // negative if signed
    };
    DiscountGroupTable table = DefaultDiscountGroups(kJan1, kDec31);
    EXPECT_EQ(FirstRefusedGroup(table), 0);
    for (auto [first, last, refused] : cases) {
        Q710DiscountGroupRecord g = DefaultDiscountGroup(1, kJan1, kDec31);
        g.firstCard = first;
        g.lastCard = last;
        EXPECT_EQ(CardRangeRefused(g), refused) << first << " " << last;
    }
    table[6].firstCard = 10;
    table[11].firstCard = 10;
    EXPECT_EQ(FirstRefusedGroup(table), 7);
}

TEST(DiscountDefaults, EveryGroupWithItsNumberAndThePickersDates) {
    DiscountGroupTable table = DefaultDiscountGroups(kJan1, kDec31);
    for (int i = 0; i < DiscountGroupCount; ++i) {
        const Q710DiscountGroupRecord& g = table[i];
        EXPECT_EQ(g.group, i + 1);
        EXPECT_EQ(g.terms, 0);
        EXPECT_EQ(g.value, 0);
        EXPECT_EQ(g.firstCard, 1u);
        EXPECT_EQ(g.lastCard, 1u);
        EXPECT_EQ(g.beginDate, kJan1);
        EXPECT_EQ(g.endDate, kDec31);
        EXPECT_EQ(g.beginTime, 0.0);
        for (int16_t day : g.days) EXPECT_EQ(day, 0);
    }
}

// A 33-byte record written field by field, as the register lays it out.
std::vector<uint8_t> Batch(uint8_t groupByte, uint16_t value, uint64_t first, uint64_t last, uint8_t terms,
                           uint32_t beginDate, uint32_t endDate, uint16_t beginTime, uint16_t endTime,
                           uint8_t days) {
    std::vector<uint8_t> b(Q710_RAW_DISCOUNT_GROUP_SIZE);
    b[0] = groupByte;
    std::memcpy(&b[1], &value, 2);
    std::memcpy(&b[3], &first, 8);
    std::memcpy(&b[11], &last, 8);
    b[19] = terms;
    std::memcpy(&b[20], &beginDate, 4);
    std::memcpy(&b[24], &endDate, 4);
    std::memcpy(&b[28], &beginTime, 2);
    std::memcpy(&b[30], &endTime, 2);
    b[32] = days;
    return b;
}

TEST(DiscountBatch, RecordsGoIntoTheirGroupsEntry) {
    const double today = 45500.0;
    DiscountGroupTable table = DefaultDiscountGroups(kJan1, kDec31);
    // Group byte 14: group 15, every term.
    auto raw = Batch(14, 1550, 777, 888, 7, 725760000 /* 01.01.2024 */, 725846400, 540, 1439, 0x41);
    auto record = UnpackDiscountBatch(raw);
    ASSERT_TRUE(record);
    ASSERT_TRUE(ApplyDiscountBatch(table, *record, today));
    const Q710DiscountGroupRecord& g = table[14];
    EXPECT_EQ(g.group, 15);
    EXPECT_EQ(g.value, 1550);
    EXPECT_EQ(g.firstCard, 777u);
    EXPECT_EQ(g.lastCard, 888u);
    EXPECT_EQ(g.terms, 7);
    EXPECT_DOUBLE_EQ(g.beginDate, kJan1);
    EXPECT_DOUBLE_EQ(g.endDate, kJan1 + 1);
    EXPECT_DOUBLE_EQ(g.beginTime, today + 540 / 1440.0);
    EXPECT_DOUBLE_EQ(g.endTime, today + 1439 / 1440.0);
    const int16_t days[7] = {-1, 0, 0, 0, 0, 0, -1};
    for (int d = 0; d < 7; ++d) EXPECT_EQ(g.days[d], days[d]) << d;

    // Value 0: the number and the value only; terms not set leave their fields.
    auto zero = UnpackDiscountBatch(Batch(2, 0, 5, 6, 7, 1, 2, 3, 4, 0x7F));
    ASSERT_TRUE(ApplyDiscountBatch(table, *zero, today));
    EXPECT_EQ(table[2].firstCard, 1u);
    EXPECT_EQ(table[2].terms, 0);
    auto datesOnly = UnpackDiscountBatch(Batch(3, 100, 5, 6, 1, 86400, 172800, 60, 120, 0x7F));
    ASSERT_TRUE(ApplyDiscountBatch(table, *datesOnly, today));
    EXPECT_DOUBLE_EQ(table[3].beginDate, 36893.0);
    EXPECT_EQ(table[3].beginTime, 0.0);
    EXPECT_EQ(table[3].days[0], 0);

    // Group numbers outside 1..15 change nothing; short records are no records.
    DiscountGroupTable before = table;
    for (uint8_t byte : {uint8_t{15}, uint8_t{255}}) {
        auto bad = UnpackDiscountBatch(Batch(byte, 100, 1, 2, 0, 0, 0, 0, 0, 0));
        EXPECT_FALSE(ApplyDiscountBatch(table, *bad, today));
    }
    EXPECT_EQ(std::memcmp(&before, &table, sizeof table), 0);
    EXPECT_FALSE(UnpackDiscountBatch(std::vector<uint8_t>(32)));
}

TEST(DiscountListing, LinesColoursAndTerms) {
    using C = ListingColour;
    Q710DiscountGroupRecord g = DefaultDiscountGroup(3, kJan1, kDec31);
    auto texts = [](const std::vector<ListingLine>& lines) {
        std::vector<std::pair<std::string, C>> out;
        for (const auto& l : lines) out.emplace_back(U(l.text), l.colour);
        return out;
    };
    using Lines = std::vector<std::pair<std::string, C>>;
    EXPECT_EQ(texts(DiscountGroupListing(g, Ukrainian())),
              (Lines{{"ДИСКОНТНА ГРУПА №3", C::WindowText}, {"Значення знижки: 0,00%", C::Blue}}));
    g.value = 550;
    g.firstCard = 100;
    g.lastCard = 18446744073709551615ull;
    const Lines head = {{"ДИСКОНТНА ГРУПА №3", C::WindowText},
                        {"Значення знижки: 5,50%", C::Blue},
                        {"Початковий код картки: 100", C::Blue},
                        {"Кінцевий код картки: 18446744073709551615", C::Blue},
                        {std::string(50, '-'), C::Blue}};
    Lines unlimited = head;
    unlimited.push_back({"Тип знижки: безстрокова", C::Blue});
    EXPECT_EQ(texts(DiscountGroupListing(g, Ukrainian())), unlimited);
    g.terms = 7;
    g.beginTime = 45300.375;
    g.endTime = 0.875;
    g.days[0] = -1;
    g.days[6] = -1;
    Lines all = head;
    all.push_back({"Термін дії знижки:", C::Blue});
    all.push_back({"По діапазону дат: 01.01.2024 - 31.12.2024", C::Red});
    all.push_back({"Інтервал часу: 9:00:00 - 21:00:00", C::Maroon});
    all.push_back({"По днях тижня: Пн Нд", C::Green});
    EXPECT_EQ(texts(DiscountGroupListing(g, Ukrainian())), all);
    // Term 5: dates and days only; another decimal separator.
    g.terms = 5;
    platform::RegionalSettings dot;
    dot.decimalSeparator = '.';
    Lines five = texts(DiscountGroupListing(g, dot));
    ASSERT_EQ(five.size(), 8u);
    EXPECT_EQ(five[1].first, "Значення знижки: 5.50%");
    EXPECT_EQ(five[6].second, C::Red);
    EXPECT_EQ(five[7].second, C::Green);
}

// A table with every kind of value, saved and loaded back.
DiscountGroupTable Varied() {
    DiscountGroupTable t = DefaultDiscountGroups(kJan1, kDec31);
    t[0].value = 550;
    t[0].terms = 7;
    t[0].firstCard = 18446744073709551615ull;
    t[0].lastCard = 18446744073709551615ull;
    t[0].beginTime = 0.375;
    t[0].endTime = 23 / 24.0 + 59 / 1440.0 + 59 / 86400.0;
    t[0].days[2] = -1;
    t[4].value = 9999;
    t[4].terms = 1;
    t[4].beginDate = 36892.0;
    t[4].endDate = 73050.0; // 31.12.2099
    return t;
}

TEST(DiscountIni, SavedAndLoadedBackWhole) {
    ScratchDir dir;
    platform::IniFile ini(dir.File(DiscountIniName));
    DiscountGroupTable saved = Varied();
    int groups = 0;
    SaveDiscountGroups(
        ini, saved, [&groups] { ++groups; }, Ukrainian());
    EXPECT_EQ(groups, 15);
    std::string text = Slurp(dir.File(DiscountIniName));
    EXPECT_EQ(text.substr(0, text.find("[GROUP2]")),
              "[GROUP1]\r\nDiscountGroup=1\r\nDiscountType=7\r\nDiscountValue=550\r\n"
              "FirstCodeByGroup=18446744073709551615\r\nLastCodeByGroup=18446744073709551615\r\n"
              "BeginDate=01.01.2024\r\nEndDate=31.12.2024\r\nBeginTime=9:00:00\r\nEndTime=23:59:59\r\n"
              "MON=0\r\nTUE=0\r\nWED=1\r\nTHU=0\r\nFRI=0\r\nSAT=0\r\nSUN=0\r\n");
    EXPECT_NE(text.find("[GROUP15]\r\nDiscountGroup=15\r\n"), std::string::npos);
    DiscountGroupTable loaded = LoadDiscountGroups(ini, 1.0, 2.0, Ukrainian());
    for (int i = 0; i < DiscountGroupCount; ++i) {
        SCOPED_TRACE(i + 1);
        const auto &a = saved[i], &b = loaded[i];
        EXPECT_EQ(b.group, a.group);
        EXPECT_EQ(b.terms, a.terms);
        EXPECT_EQ(b.value, a.value);
        EXPECT_EQ(b.firstCard, a.firstCard);
        EXPECT_EQ(b.lastCard, a.lastCard);
        EXPECT_DOUBLE_EQ(b.beginDate, a.beginDate);
        EXPECT_DOUBLE_EQ(b.endDate, a.endDate);
        EXPECT_NEAR(b.beginTime, a.beginTime, 1e-9);
        EXPECT_NEAR(b.endTime, a.endTime, 1e-9);
        EXPECT_EQ(std::memcmp(a.days, b.days, sizeof a.days), 0);
    }
}

// A file with group 3 only: the others take the defaults, the dates those
// the pickers show.
TEST(DiscountIni, MissingSectionsAndKeysTakeTheirDefaults) {
    ScratchDir dir;
    Spit(dir.File(DiscountIniName), "[group3]\nDiscountValue=700\nDiscountType=2\nBeginTime=8:30\nSAT=1\n");
    DiscountGroupTable t = LoadDiscountGroups(platform::IniFile(dir.File(DiscountIniName)), kJan1, kDec31);
    EXPECT_EQ(t[2].value, 700);
    EXPECT_EQ(t[2].terms, 2);
    EXPECT_NEAR(t[2].beginTime, 8.5 / 24, 1e-9);
    EXPECT_EQ(t[2].endTime, 0.0);
    EXPECT_EQ(t[2].days[5], -1);
    EXPECT_EQ(t[2].firstCard, 1u);
    for (int i : {0, 1, 3, 14}) {
        EXPECT_EQ(t[i].group, i + 1);
        EXPECT_EQ(t[i].value, 0);
        EXPECT_EQ(t[i].lastCard, 1u);
        EXPECT_EQ(t[i].beginDate, kJan1);
        EXPECT_EQ(t[i].endDate, kDec31);
        EXPECT_EQ(t[i].beginTime, 0.0);
    }
}

// Values that do not convert end the load with the conversion message;
// the caller's table stays as it was because nothing is returned.
TEST(DiscountIni, BadValuesRefuseTheWholeFile) {
    struct Case {
        const char* line;
        const char* message; // UTF-8
    };
    const Case cases[] = {
        {"FirstCodeByGroup=abc", "'abc' is not a valid UInt64 value"},
        {"LastCodeByGroup=18446744073709551616", "'18446744073709551616' is not a valid UInt64 value"},
        {"LastCodeByGroup=123456789012345678901", "'123456789012345678901' is not a valid UInt64 value"},
        {"BeginDate=31.02.2024", "'31.02.2024' is not a valid date"},
        {"EndDate=tomorrow", "'tomorrow' is not a valid date"},
        {"EndTime=25:00", "'25:00' is not a valid time"},
        {"DiscountValue=10000", "Невірне значення \"DiscountValue\" у секції [GROUP14] файлу налаштунків "
                                "дисконтних груп: 10000"},
        {"DiscountType=8", "Невірне значення \"DiscountType\" у секції [GROUP14] файлу налаштунків "
                           "дисконтних груп: 8"},
        {"DiscountGroup=16", "Невірне значення \"DiscountGroup\" у секції [GROUP14] файлу налаштунків "
                             "дисконтних груп: 16"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        Spit(dir.File(DiscountIniName),
             std::string("[GROUP1]\nDiscountValue=5\n[GROUP14]\n") + c.line + "\n");
        try {
            LoadDiscountGroups(platform::IniFile(dir.File(DiscountIniName)), kJan1, kDec31);
            ADD_FAILURE() << "loaded: " << c.line;
        } catch (const ConsoleError& e) {
            EXPECT_EQ(std::string(e.what()), c.message); // UTF-8, as every exception text
        }
    }
    // A number that is no number reads as the key's default, as ini files go.
    Spit(dir.File(DiscountIniName), "[GROUP2]\nDiscountValue=abc\nMON=yes\n");
    DiscountGroupTable t = LoadDiscountGroups(platform::IniFile(dir.File(DiscountIniName)), kJan1, kDec31);
    EXPECT_EQ(t[1].value, 0);
    EXPECT_EQ(t[1].days[0], 0);
}

} // namespace
