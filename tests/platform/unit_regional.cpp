#include "platform/RegionalSettings.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

using namespace platform;

namespace {

const std::string kNbsp = "\xA0";
const std::string kHrn = "\xE3\xF0\xED.";

RegionalSettings DotProfile() {
    RegionalSettings rs;
    rs.decimalSeparator = '.';
    rs.thousandsSeparator = ",";
    rs.currency = "$";
    rs.currencyFormat = 0;
    rs.negativeCurrencyFormat = 1;
    rs.shortDateFormat = "M/d/yyyy";
    rs.longTimeFormat = "h:mm:ss tt";
    rs.dateSeparator = '/';
    rs.timeSeparator = ':';
    rs.listSeparator = ',';
    rs.timeAm = "AM";
    rs.timePm = "PM";
    return rs;
}

TEST(Regional, DefaultsAreUkrainianAndTheProcessValueCanBeSet) {
    RegionalSettings saved = Regional();
    EXPECT_EQ(saved.decimalSeparator, ',');
    EXPECT_EQ(FormatMoneyKopecks(123456), "1" + kNbsp + "234,56 " + kHrn);
    SetRegional(DotProfile());
    EXPECT_EQ(FormatKopecks(1005), "10.05");
    EXPECT_EQ(FormatRegisterTime(3600), "1/1/2001 1:00:00 AM");
    SetRegional(saved);
    EXPECT_EQ(FormatKopecks(1005), "10,05");
}

TEST(Regional, FixedTextFromDoubles) {
    RegionalSettings uk;
    EXPECT_EQ(FormatFixed(12.5, 2, uk), "12,50");
    EXPECT_EQ(FormatFixed(4294967295u / 100.0, 2, uk), "42949672,95");
    EXPECT_EQ(FormatFixed(1234567.891, 2, uk), "1234567,89"); // no thousands separator
    EXPECT_EQ(FormatFixed(-3.14159, 3, uk), "-3,142");
    EXPECT_EQ(FormatFixed(-0.001, 2, uk), "0,00");
    EXPECT_EQ(FormatFixed(2.675, 2, uk), "2,67"); // the double lies just below 2.675
    EXPECT_EQ(FormatFixed(7, 0, uk), "7");
    EXPECT_EQ(FormatFixed(1e300, 2, uk).size(), 304u);
}

TEST(Regional, ScaledTextIsExact) {
    RegionalSettings uk;
    EXPECT_EQ(FormatKopecks(1005, uk), "10,05");
    EXPECT_EQ(FormatKopecks(-5, uk), "-0,05");
    EXPECT_EQ(FormatKopecks(0, uk), "0,00");
    EXPECT_EQ(FormatThousandths(2500, uk), "2,500");
    EXPECT_EQ(FormatThousandths(1, uk), "0,001");
    EXPECT_EQ(FormatKopecks(std::numeric_limits<std::int64_t>::min(), uk), "-92233720368547758,08");
    EXPECT_EQ(FormatScaled(std::numeric_limits<std::uint64_t>::max(), 2, uk), "184467440737095516,15");
    EXPECT_EQ(FormatScaled(std::int64_t{42}, 0, uk), "42");
    // The exact and the floating route agree for register-sized values.
    for (std::int64_t v : {0LL, 1LL, 99LL, 100LL, 12345LL, 4294967295LL, 999999999999LL})
        EXPECT_EQ(FormatKopecks(v, uk), FormatFixed(static_cast<double>(v) / 100.0, 2, uk)) << v;
}

TEST(Regional, MoneyFollowsThePositiveAndNegativeFormats) {
    RegionalSettings uk;
    EXPECT_EQ(FormatMoneyKopecks(0, uk), "0,00 " + kHrn);
    EXPECT_EQ(FormatMoneyKopecks(99999, uk), "999,99 " + kHrn);
    EXPECT_EQ(FormatMoneyKopecks(100000000, uk), "1" + kNbsp + "000" + kNbsp + "000,00 " + kHrn);
    EXPECT_EQ(FormatMoneyKopecks(-123456, uk), "-1" + kNbsp + "234,56 " + kHrn);
    EXPECT_EQ(FormatMoney(1234.5, uk), "1" + kNbsp + "234,50 " + kHrn);
    EXPECT_EQ(FormatMoney(-0.001, uk), "0,00 " + kHrn);

    RegionalSettings us = DotProfile();
    const char* positive[] = {"$1,234.56", "1,234.56$", "$ 1,234.56", "1,234.56 $"};
    for (int f = 0; f < 4; ++f) {
        us.currencyFormat = f;
        EXPECT_EQ(FormatMoneyKopecks(123456, us), positive[f]) << f;
    }
    const char* negative[] = {"($1,234.56)", "-$1,234.56",  "$-1,234.56",   "$1,234.56-",
                              "(1,234.56$)", "-1,234.56$",  "1,234.56-$",   "1,234.56$-",
                              "-1,234.56 $", "-$ 1,234.56", "1,234.56 $-",  "$ 1,234.56-",
                              "$ -1,234.56", "1,234.56- $", "($ 1,234.56)", "(1,234.56 $)"};
    for (int f = 0; f < 16; ++f) {
        us.negativeCurrencyFormat = f;
        EXPECT_EQ(FormatMoneyKopecks(-123456, us), negative[f]) << f;
        EXPECT_EQ(FormatMoney(-1234.56, us), negative[f]) << f;
    }
}

TEST(Regional, GeneralTextIsShortestWithFifteenDigits) {
    RegionalSettings uk;
    EXPECT_EQ(FormatGeneral(1.5, uk), "1,5");
    EXPECT_EQ(FormatGeneral(2.0, uk), "2");
    EXPECT_EQ(FormatGeneral(0.1 + 0.2, uk), "0,3");
    EXPECT_EQ(FormatGeneral(-2.5, uk), "-2,5");
    EXPECT_EQ(FormatGeneral(-0.0, uk), "0");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0, uk), "0,333333333333333");
    EXPECT_EQ(FormatGeneral(4294967295.0 / 1000.0, uk), "4294967,295");
    EXPECT_EQ(FormatGeneral(999999999999999.0, uk), "999999999999999");
    EXPECT_EQ(FormatGeneral(1e15, uk), "1E15");
    EXPECT_EQ(FormatGeneral(1.5e20, uk), "1,5E20");
    EXPECT_EQ(FormatGeneral(0.0001, uk), "0,0001");
    EXPECT_EQ(FormatGeneral(0.00001, uk), "1E-5");
    EXPECT_EQ(FormatGeneral(1200.0, uk), "1200");
    EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::infinity(), uk), "INF");
    EXPECT_EQ(FormatGeneral(std::nan(""), uk), "NAN");

    EXPECT_EQ(FormatGeneralThousandths(1500, uk), "1,5");
    EXPECT_EQ(FormatGeneralThousandths(2000, uk), "2");
    EXPECT_EQ(FormatGeneralThousandths(1, uk), "0,001");
    EXPECT_EQ(FormatGeneralThousandths(-1500, uk), "-1,5");
    EXPECT_EQ(FormatGeneralThousandths(0, uk), "0");
    EXPECT_EQ(FormatGeneralThousandths(std::numeric_limits<std::int64_t>::max(), uk), "9,22337203685478E15");
    // The exact route agrees with the floating one wherever both apply.
    for (std::int64_t v = -3000; v <= 3000; v += 7)
        EXPECT_EQ(FormatGeneralThousandths(v, uk), FormatGeneral(static_cast<double>(v) / 1000.0, uk)) << v;
    for (std::int64_t v : {4294967295LL, 2147483648LL, 123456789012345LL, 999999999999999999LL})
        EXPECT_EQ(FormatGeneralThousandths(v, uk), FormatGeneral(static_cast<double>(v) / 1000.0, uk)) << v;
}

TEST(Regional, RegisterTimesAndDateValues) {
    RegionalSettings uk;
    EXPECT_EQ(FormatRegisterTime(0, uk), "01.01.2001");
    EXPECT_EQ(FormatRegisterTime(3600, uk), "01.01.2001 1:00:00");
    EXPECT_EQ(FormatRegisterTime(86399, uk), "01.01.2001 23:59:59");
    EXPECT_EQ(FormatRegisterTime(86400, uk), "02.01.2001");
    EXPECT_EQ(FormatRegisterTime(110376000, uk), "01.07.2004 12:00:00");
    EXPECT_EQ(FormatRegisterTime(1234567890, uk), "14.02.2040 23:31:30");
    EXPECT_EQ(FormatRegisterTime(4294967295u, uk), "07.02.2137 6:28:15");

    CivilDateTime t = DaysToCivil(45000.75);
    EXPECT_EQ(FormatDateTime(t, uk), "15.03.2023 18:00:00");
    EXPECT_EQ(FormatDateTime(DaysToCivil(36892.0), uk), "01.01.2001");
    EXPECT_EQ(FormatDateTime(DaysToCivil(-1.25), uk), "29.12.1899 6:00:00");
    EXPECT_EQ(FormatDateTime(DaysToCivil(std::nan("")), uk), "30.12.1899");
    EXPECT_EQ(FormatDateTime(DaysToCivil(1e300), uk), "30.12.1899");
    EXPECT_EQ(FormatLongTime(DaysToCivil(0.99999999999), uk), "23:59:59");
}

TEST(Regional, PatternsAndSeparators) {
    RegionalSettings rs;
    CivilDateTime t{2004, 2, 9, 15, 7, 3};
    EXPECT_EQ(FormatDateTimePattern("d.M.yy H:m:s", t, rs), "9.2.04 15:7:3");
    EXPECT_EQ(FormatDateTimePattern("dd/MM/yyyy HH:mm:ss", t, rs), "09.02.2004 15:07:03");
    rs.dateSeparator = '-';
    rs.timeSeparator = '.';
    EXPECT_EQ(FormatDateTimePattern("dd/MM/yyyy hh:mm", t, rs), "09-02-2004 03.07");
    // Literal separators stay; quoted text is copied.
    EXPECT_EQ(FormatDateTimePattern("dd.MM.yyyy 'at' H", t, rs), "09.02.2004 at 15");
    rs.timeAm = "AM";
    rs.timePm = "PM";
    EXPECT_EQ(FormatDateTimePattern("h:mm tt|t", t, rs), "3.07 PM|P");
    EXPECT_EQ(FormatDateTimePattern("h tt", CivilDateTime{2004, 2, 9, 0, 0, 0}, rs), "12 AM");
}

TEST(Regional, ParsingDatesTimesAndNumbers) {
    RegionalSettings uk;
    auto d = ParseShortDate("31.12.2024", uk);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->year, 2024);
    EXPECT_EQ(d->month, 12);
    EXPECT_EQ(d->day, 31);
    EXPECT_EQ(ParseShortDate(" 1.2.24 ", uk)->year, 2024);
    EXPECT_EQ(ParseShortDate("29.02.2024", uk)->day, 29);
    for (const char* bad :
         {"29.02.2023", "32.01.2024", "1.13.2024", "1.2", "1.2.3.4", "a.b.c", "", "1..2024", "01.01.20245"})
        EXPECT_FALSE(ParseShortDate(bad, uk)) << bad;
    RegionalSettings us = DotProfile();
    EXPECT_EQ(ParseShortDate("12/31/2024", us)->day, 31);
    EXPECT_FALSE(ParseShortDate("31/12/2024", us));
    // Formatting and parsing agree.
    CivilDateTime t{1999, 7, 4, 0, 0, 0};
    EXPECT_EQ(ParseShortDate(FormatShortDate(t, uk), uk)->month, 7);

    auto midnight = ParseTime("0", uk);
    ASSERT_TRUE(midnight);
    EXPECT_EQ(midnight->hour + midnight->minute + midnight->second, 0);
    auto tm = ParseTime("9:05:07", uk);
    ASSERT_TRUE(tm);
    EXPECT_EQ(tm->hour * 10000 + tm->minute * 100 + tm->second, 90507);
    EXPECT_EQ(ParseTime("12:30 PM", us)->hour, 12);
    EXPECT_EQ(ParseTime("12:30 am", us)->hour, 0);
    EXPECT_EQ(ParseTime("1:30PM", us)->hour, 13);
    for (const char* bad : {"24:00", "1:60", "1:2:3:4", "", "x", "13:00 PM", "1::2"})
        EXPECT_FALSE(ParseTime(bad, us)) << bad;

    EXPECT_EQ(*ParseDecimal("1,5", uk), 1.5);
    EXPECT_EQ(*ParseDecimal(" -2,25 ", uk), -2.25);
    EXPECT_EQ(*ParseDecimal(",5", uk), 0.5);
    EXPECT_EQ(*ParseDecimal("5,", uk), 5.0);
    EXPECT_EQ(*ParseDecimal("+1,5E3", uk), 1500.0);
    EXPECT_EQ(*ParseDecimal("1.5", us), 1.5);
    for (const char* bad : {"1.5", "", "-", ",", "1 234,5", "1e", "1e999", "0x10", "1,5,"})
        EXPECT_FALSE(ParseDecimal(bad, uk)) << bad;
}

} // namespace
