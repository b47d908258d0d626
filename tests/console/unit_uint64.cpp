// Unsigned 64-bit decimal text: every accepted form and every refusal, with
// the conversion message naming the input as given.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "console/UInt64Lib.h"

namespace {

using console::StrToUInt64;
using console::UInt64ToStr;

TEST(UInt64Text, AcceptedForms) {
    const std::pair<std::string, uint64_t> cases[] = {
        {"123", 123},
        {"  123", 123},
        {"+7", 7},
        {"  +7", 7},
        {"0", 0},
        {"000042", 42},
        {"18446744073709551615", UINT64_MAX},
        {"$FF", 255},
        {"0xFF", 255},
        {"0Xff", 255},
        {"+$ff", 255},
        {"$FFFFFFFFFFFFFFFF", UINT64_MAX},
        {"0x0000000000000000000FFFFFFFFFFFFFFFF", UINT64_MAX}, // leading zeros do not count
        {"0x1000000000000000", uint64_t{1} << 60},
        {std::string("12\0"
                     "34",
                     5),
         12}, // a zero character ends the text
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(StrToUInt64(text), value) << text;
}

TEST(UInt64Text, RefusedFormsNameTheWholeInput) {
    const char* cases[] = {
        "",
        " ",
        "123 ",
        "1 23",
        "-0",
        "-5",
        " -5",
        "+",
        "++1",
        "\t1",
        "$",
        "0x",
        "0X",
        "x1",
        "$FG",
        "0x-1",
        "1e3",
        "1.5",
        "abc",
        "12a",
        "0b1",
        "18446744073709551616",  // 2^64
        "99999999999999999999",  // 20 digits beyond
        "100000000000000000000", // 21 digits
        "$10000000000000000",    // 17 hexadecimal digits
        "0x1FFFFFFFFFFFFFFFF",
    };
    for (const char* text : cases) {
        try {
            StrToUInt64(text);
            ADD_FAILURE() << "accepted: '" << text << "'";
        } catch (const console::UInt64Error& error) {
            EXPECT_EQ(std::string(error.what()), "'" + std::string(text) + "' is not a valid UInt64 value");
        }
    }
}

// Decimal text of random values, read back; the decimal form checked
// against the standard library's own parser.
TEST(UInt64Text, DecimalTextRoundTrips) {
    EXPECT_EQ(UInt64ToStr(0), "0");
    EXPECT_EQ(UInt64ToStr(1000), "1000");
    EXPECT_EQ(UInt64ToStr(UINT64_MAX), "18446744073709551615");
    std::mt19937_64 random(7);
    for (int i = 0; i < 2000; ++i) {
        uint64_t value = random() >> (random() % 64);
        std::string text = UInt64ToStr(value);
        EXPECT_EQ(std::stoull(text), value);
        EXPECT_EQ(StrToUInt64(text), value);
        EXPECT_TRUE(text == "0" || text.front() != '0');
    }
}

} // namespace
