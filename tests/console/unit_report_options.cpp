#include <gtest/gtest.h>

#include "console/ReportOptions.h"

namespace {

using console::ApplyReadMode;
using console::FieldCheck;

void ExpectCheck(const FieldCheck& check, const std::string& text, bool refused, const std::string& input) {
    EXPECT_EQ(check.text, text) << "from \"" << input << "\"";
    EXPECT_EQ(check.refused, refused) << "from \"" << input << "\"";
}

TEST(ReadMode, EachModeGivesItsNumbersFieldsAndBarMaximum) {
    struct Row {
        int mode;
        int32_t goodsNum, first, last;
        int32_t wantFirst, wantLast;
        std::optional<int32_t> bar;
        bool goodsNum_, range;
    };
    const Row rows[] = {
        {0, 42, 0, 0, 42, 42, 1, true, false},
        {1, 42, 0, 0, 0, 42, 42, true, false},
        {1, 0, 0, 0, 0, 0, 1, true, false},
        {2, 42, 0, 0, 42, -1, std::nullopt, true, false},
        {3, 42, 7, 9, 0, -1, std::nullopt, false, false},
        {4, 42, 10, 3, 3, 10, 7, false, true},
        {4, 42, 5, 5, 5, 5, 1, false, true},
    };
    for (const Row& r : rows) {
        auto o = ApplyReadMode(r.mode, r.goodsNum, r.first, r.last);
        EXPECT_EQ(o.firstGoodsNumber, r.wantFirst) << r.mode;
        EXPECT_EQ(o.lastGoodsNumber, r.wantLast) << r.mode;
        EXPECT_EQ(o.barMaximum, r.bar) << r.mode;
        EXPECT_EQ(o.goodsNumEnabled, r.goodsNum_) << r.mode;
        EXPECT_EQ(o.rangeEnabled, r.range) << r.mode;
    }
}

TEST(GoodsNumberField, DigitsWithinTheBaseOthersCorrected) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"12", "12", false},     {" 7 ", "7", false},
        {"", "0", false},        {"   ", "0", false},
        {"12a", "0", true},      {"-1", "0", true},
        {"9999", "5268", false}, {"5268", "5268", false},
        {"5269", "5268", false}, {"99999999999999999999", "5268", false},
    };
    for (auto [in, out, refused] : rows) ExpectCheck(console::CheckGoodsNumberField(in), out, refused, in);
}

TEST(GoodsGroupField, OneToHundred) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"7", "7", false},     {"0", "1", false}, {"", "1", false},   {"150", "100", false},
        {"100", "100", false}, {"x", "1", true},  {"1.5", "1", true},
    };
    for (auto [in, out, refused] : rows) ExpectCheck(console::CheckGoodsGroupField(in), out, refused, in);
}

TEST(Threshold, NormalisedToThreeDecimalsAfterAComma) {
    const std::tuple<const char*, const char*> rows[] = {
        {"5", "0,005"},
        {"12", "0,012"},
        {"123", "0,123"},
        {"1234", "1,234"},
        {"2,5", "2,500"},
        {",5", "0,500"},
        {"1,23456", "1,234"},
        {"007,5", "7,500"},
        {"0", "0,000"},
        {"0000", "0,000"},
        {"5,", "5,000"},
        {" 1,25 ", "1,250"},
        {"1234567890", "1234567,890"},
        {"12345678901234", "0,000"},
        {",12345", "0,123"},
        {"10,05", "10,050"},
    };
    for (auto [in, out] : rows) ExpectCheck(console::NormaliseThreshold(in), out, false, in);
}

TEST(Threshold, AnythingButDigitsAndOneCommaIsRefused) {
    for (const char* in : {"abc", "", ",", "-1", "+1", "1e3", "1,2,3", "1.5", "1 5"})
        ExpectCheck(console::NormaliseThreshold(in), "0,000", true, in);
}

TEST(Threshold, ValueInThousandths) {
    EXPECT_EQ(console::ThresholdOf("1,250"), 1250);
    EXPECT_EQ(console::ThresholdOf("0,500"), 500);
    EXPECT_EQ(console::ThresholdOf("2147483,647"), 2147483647);
    EXPECT_EQ(console::ThresholdOf("2147483,648"), std::nullopt);
    EXPECT_EQ(console::ThresholdOf("x,000"), std::nullopt);
}

TEST(BarcodeField, ZeroEmptiesSilentlyAndOnlyIntegersStay) {
    ExpectCheck(console::CheckBarcodeField(""), "", true, "");
    ExpectCheck(console::CheckBarcodeField("abc"), "", true, "abc");
    ExpectCheck(console::CheckBarcodeField("99999999999999999999"), "", true, "huge");
    ExpectCheck(console::CheckBarcodeField("0"), "", false, "0");
    ExpectCheck(console::CheckBarcodeField("12"), "12", false, "12");
    ExpectCheck(console::CheckBarcodeField(" 4820000000017"), " 4820000000017", false, "typed");
}

TEST(CodeRange, AllFourTextsMustBeIntegers) {
    auto range = console::CodeRangeOf("1", "999999", "1000000", "9999999999999");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->firstPlu, 1);
    EXPECT_EQ(range->lastPlu, 999999);
    EXPECT_EQ(range->firstBarcode, 1000000);
    EXPECT_EQ(range->lastBarcode, 9999999999999);
    EXPECT_FALSE(console::CodeRangeOf("1", "2", "abc", "3"));
    EXPECT_FALSE(console::CodeRangeOf("1", "2", "", "3"));
    EXPECT_FALSE(console::CodeRangeOf("1", "3000000000", "1", "3"));
}

} // namespace
