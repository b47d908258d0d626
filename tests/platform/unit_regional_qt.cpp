#include "platform/ui/RegionalSettingsQt.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(RegionalQt, UkrainianLocaleGivesTheWindowsValues) {
    RegionalSettings rs = RegionalSettingsFromLocale(QLocale(QLocale::Ukrainian, QLocale::Ukraine));
    EXPECT_EQ(rs.decimalSeparator, ',');
    EXPECT_EQ(rs.thousandsSeparator, "\xA0");
    EXPECT_EQ(rs.currency, "\xE3\xF0\xED."); // the hryvnia sign has no 1251 byte
    EXPECT_EQ(rs.currencyFormat, 3);
    EXPECT_EQ(rs.negativeCurrencyFormat, 8);
    EXPECT_EQ(rs.shortDateFormat, "dd.MM.yyyy");
    EXPECT_EQ(rs.longTimeFormat, "HH:mm:ss");
    EXPECT_EQ(rs.dateSeparator, '.');
    EXPECT_EQ(rs.timeSeparator, ':');
    EXPECT_EQ(rs.listSeparator, ';');
    EXPECT_EQ(FormatMoneyKopecks(-123450, rs), "-1\xA0"
                                               "234,50 \xE3\xF0\xED.");
    EXPECT_EQ(FormatRegisterTime(3600, rs), "01.01.2001 01:00:00");
}

TEST(RegionalQt, UsLocaleGivesTwelveHourTimesAndParentheses) {
    RegionalSettings rs = RegionalSettingsFromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(rs.decimalSeparator, '.');
    EXPECT_EQ(rs.thousandsSeparator, ",");
    EXPECT_EQ(rs.currency, "$");
    EXPECT_EQ(rs.currencyFormat, 0);
    EXPECT_EQ(rs.negativeCurrencyFormat, 0);
    EXPECT_EQ(rs.shortDateFormat, "M/d/yyyy");
    EXPECT_EQ(rs.longTimeFormat, "h:mm:ss tt");
    EXPECT_EQ(rs.dateSeparator, '/');
    EXPECT_EQ(rs.listSeparator, ',');
    EXPECT_EQ(FormatRegisterTime(13 * 3600 + 5, rs), "1/1/2001 1:00:05 PM");
    // Every money text agrees with Qt's own for the same value.
    QLocale us(QLocale::English, QLocale::UnitedStates);
    for (long long k : {0LL, 5LL, -5LL, 123456LL, -98765432LL})
        EXPECT_EQ(QString::fromStdString(FormatMoneyKopecks(k, rs)), us.toCurrencyString(k / 100.0, "$", 2))
            << k;
}

// Settings whose short date names the month or the day (the C locale under
// LANG=C.UTF-8) write dates as dd.MM.yyyy, as the Ukrainian ones do.
TEST(RegionalQt, ShortDatesWithoutNumbersFallBackToDayMonthYear) {
    const struct {
        QLocale locale;
        const char* pattern;
        const char* time; // of 09.01.2024 08:30:00
    } cases[] = {
        {QLocale::c(), "dd.MM.yyyy", "09.01.2024 08:30:00"},
        {QLocale(QLocale::Ukrainian, QLocale::Ukraine), "dd.MM.yyyy", "09.01.2024 08:30:00"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "dd/MM/yyyy", "09/01/2024 08:30:00"},
        {QLocale(QLocale::Chinese, QLocale::China), "yyyy/M/d", "2024/1/9 08:30:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        RegionalSettings rs = RegionalSettingsFromLocale(c.locale);
        EXPECT_EQ(rs.shortDateFormat, c.pattern);
        EXPECT_EQ(FormatDateTime({2024, 1, 9, 8, 30, 0}, rs), c.time);
    }
}

TEST(RegionalQt, PatternsLoseZonesMillisecondsAndNames) {
    EXPECT_EQ(WindowsPatternFromQt(u"HH:mm:ss t"), "HH:mm:ss");
    EXPECT_EQ(WindowsPatternFromQt(u"h:mm:ss.zzz AP t"), "h:mm:ss tt");
    EXPECT_EQ(WindowsPatternFromQt(u"H:mm:ss"), "H:mm:ss");
    EXPECT_EQ(WindowsPatternFromQt(u"h:mm"), "H:mm"); // no AM/PM field: a 24-hour clock
    EXPECT_EQ(WindowsPatternFromQt(u"yy-MM-dd"), "yyyy-MM-dd");
    EXPECT_EQ(WindowsPatternFromQt(u"dddd, d MMM yy"), "d MM yyyy");
    EXPECT_EQ(WindowsPatternFromQt(u"d.MM.yy '\u0440.'"), "d.MM.yyyy '\xF0.'");
    EXPECT_EQ(WindowsPatternFromQt(u"tttt HH:mm"), "HH:mm");
    // Other locales stay usable: German, Chinese (no 1251 characters), Arabic digits aside.
    for (QLocale::Language lang : {QLocale::German, QLocale::Chinese, QLocale::Arabic, QLocale::French}) {
        RegionalSettings rs = RegionalSettingsFromLocale(QLocale(lang));
        EXPECT_EQ(rs.shortDateFormat.find('t'), std::string::npos);
        EXPECT_NE(rs.shortDateFormat.find("yyyy"), std::string::npos) << rs.shortDateFormat;
        EXPECT_FALSE(FormatMoneyKopecks(-123456, rs).empty());
        EXPECT_NE(rs.currency.find('?'), 0u);
    }
}

} // namespace
