// Number format lists and rendering through format masks.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/model/ExcelMask.h"
#include "SrcXLS/model/NumberFormats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

using namespace xls;

namespace {
const TXLSLocale english;

std::u16string Render(const char16_t* mask, double v, const TXLSLocale* loc = &english) {
    TExcelMask m;
    m.SetLocale(loc);
    m.SetMask(mask);
    return m.FormatValue(v);
}
} // namespace

TEST(NumberFormats, IndexesOfNewAndReadFormats) {
    TNumberFormats list;
    list.AddBuiltIns();
    EXPECT_EQ(list.Count(), 59);
    EXPECT_TRUE(list.ByIndex(14)->IsUnused());
    EXPECT_EQ(list.ByIndex(14)->Text(), u"m/d/yy");
    EXPECT_EQ(list.ByIndex(13)->Text(), u"# ?\?/??");
    TNumberFormat* f = list.FindOrAdd(u"0.000");
    EXPECT_EQ(f->Index, 59);
    EXPECT_EQ(f->UsageCount, 1);
    EXPECT_EQ(list.FindOrAdd(u"0.000"), f);
    EXPECT_EQ(f->UsageCount, 2);
    list.AddRead(u"#,##0.0", 180, 1);
    EXPECT_EQ(list.FindOrAdd(u"0.0000")->Index, 181);
    list.AddRead(u"General", 0, 1);
    EXPECT_EQ(list.Count(), 62);
    EXPECT_EQ(list.ByIndex(0)->Text(), u"General");
    EXPECT_EQ(list.ByIndex(0)->UsageCount, 1);
    EXPECT_EQ(list.IndexOfIndex(-1), -1);
    EXPECT_EQ(list.IndexOfIndex(100), -1);
}

TEST(NumberFormats, UsesAndReleases) {
    TNumberFormats list;
    list.AddBuiltIns();
    int i = list.FindOrAdd(u"0.0")->Index;
    list.AddUse(i);
    list.Release(i);
    list.Release(i);
    EXPECT_EQ(list.ByIndex(i), nullptr);
    try {
        list.Release(i);
        FAIL();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Can not find number format# 59");
    }
    EXPECT_THROW(list.AddUse(77), XLSError);
    EXPECT_NO_THROW(list.ReleaseQuietly(77));
    list.Release(14); // built-ins stay
    EXPECT_NE(list.ByIndex(14), nullptr);
    list.AddXLSX(u"0.00", 2);
    list.AddXLSX(u"0.0%", 164);
    EXPECT_EQ(list.ByIndex(2)->Text(), u"0.00");
    EXPECT_EQ(list.ByIndex(164)->Text(), u"0.0%");
}

TEST(ExcelMask, NumberSections) {
    struct {
        const char16_t* mask;
        double value;
        const char16_t* text;
    } cases[] = {
        {u"#,##0.00", 1234.5, u"1,234.50"},
        {u"#,##0.00", -1234.5, u"-1,234.50"},
        {u"#,##0", 1234567, u"1,234,567"},
        {u"0%", 0.5, u"50%"},
        {u"0.00%", 0.12345, u"12.35%"},
        {u"0.00;(0.00);-", -2, u"(2.00)"},
        {u"0.00;(0.00);-", 0, u"-"},
        {u"0.00;(0.00);-", 3.14159, u"3.14"},
        {u"000", -5, u"-005"},
        {u"00000", 12, u"00012"},
        {u"\"$\"#,##0.00", 5, u"$5.00"},
        {u"[$\u0433\u0440\u043d.-422] #,##0.00", 7, u"\u0433\u0440\u043d. 7.00"},
        {u"[Red]0.0", 2.25, u"2.3"}, // halves away from zero
        {u"#,##0,", 1234567, u"1,235"},
        {u"0.00E+00", 12345, u"1.23E+04"},
        {u"0.00E+00", 0.00012345, u"1.23E-04"},
        {u"@", 1.5, u"1.5"},
        {u"GENERAL", 0.1, u"0.1"},
        {u"", 1e20, u"1E+020"},
        {u"", 1.5e-7, u"0.00000015"},
        {u"??.?", 1.5, u" 1.5"},
        {u"##,_b_y_t_e_s", 1536, u"1.50 kb"},
        {u"##,_b_y_t_e_s", 0, u"0 bytes"},
        {u"##,_b_y_t_e_s", 1000, u"1000 bytes"},
        {u"##,_b_y_t_e_s", 3 * 1048576.0, u"3.00 Mb"},
    };
    for (const auto& c : cases) EXPECT_EQ(Render(c.mask, c.value), c.text) << c.value;
}

TEST(ExcelMask, DatesAndTimes) {
    struct {
        const char16_t* mask;
        double value;
        const char16_t* text;
    } cases[] = {
        {u"[h]:mm:ss", 1.5, u"36:00:00"},
        {u"h:mm AM/PM", 0.75, u"6:00 PM"},
        {u"h:mm AM/PM", 0.5 + 1.0 / 48, u"12:30 PM"},
        {u"h:mm am/pm", 1.0 / 48, u"12:30 AM"},
        {u"[h]:mm", 1.5, u"36:00"},
        {u"[h]:mm:ss", 0.5625, u"13:30:00"},
        {u"[h]", 0.79, u"18"},
        {u"[m]", 1.0 / 24 + 59.5 / 1440, u"119"},
        {u"m/d/yy", 45000, u"3/15/23"},
        {u"d-mmm-yyyy", 45000, u"15-Mar-2023"},
        {u"dddd, mmmm d", 45000, u"Wednesday, March 15"},
        {u"mmmmm", 45000, u"M"},
        {u"mm:ss.0", 1.0 / 86400 * 61.26, u"01:01.3"},
        {u"h:mm:ss", 0.5 + 0.6 / 86400, u"12:00:00"},
        {u"dd.mm.yyyy", 45000, u"15.03.2023"},
        {u"yy", 1, u"99"},
    };
    for (const auto& c : cases) EXPECT_EQ(Render(c.mask, c.value), c.text) << std::string(c.mask, c.mask + 5);
}

TEST(ExcelMask, LocaleSeparatorsAndNames) {
    TXLSLocale loc;
    loc.DecimalSeparator = u',';
    loc.ThousandSeparator = u' ';
    loc.DateSeparator = u'.';
    loc.ShortMonthNames[2] = u"\u0431\u0435\u0440";
    EXPECT_EQ(Render(u"#,##0.00", 1234.5, &loc), u"1 234,50");
    EXPECT_EQ(Render(u"d/m/yyyy", 45000, &loc), u"15.3.2023");
    EXPECT_EQ(Render(u"d mmm", 45000, &loc), u"15 \u0431\u0435\u0440");
    EXPECT_EQ(Render(u"", 2.5, &loc), u"2,5");
}

// A language prefix of the first section sets the separators and names of
// the whole format, over the locale set; a currency's language id and a
// language this library does not hold leave the locale as it is.
TEST(ExcelMask, LanguagePrefixOverTheLocale) {
    TXLSLocale loc;
    loc.DecimalSeparator = u',';
    loc.ThousandSeparator = u' ';
    loc.DateSeparator = u'.';
    const struct {
        const char16_t* mask;
        double value;
        const char16_t* text;
        const TXLSLocale* locale;
    } cases[] = {
        {u"[$-409]#,##0.00", 1234.5, u"1,234.50", &loc},
        {u"[$-409]d/m/yyyy", 45000, u"15/3/2023", &loc},
        {u"[$-0422]#,##0.00", 1234.5, u"1\u00A0234,50", &english},
        {u"[$-10419]d mmmm", 45000, u"15 марта", &english},
        {u"[$-422]mmmmm", 45000, u"Б", &english},
        {u"[$-407]#,##0.00", 1234.5, u"1 234,50", &loc},
        {u"[$-FC19]d mmmm", 45000, u"15 March", &english},
        {u"[$\u0433\u0440\u043d.-422] #,##0.00", 1234.5, u"\u0433\u0440\u043d. 1 234,50", &loc},
        {u"0.00;[$-422]-0.00", -1.5, u"-1.50", &english},
        {u"d mmmm", 45000, u"15 March", &english}, // no genitive held: the names as they are
    };
    for (const auto& c : cases) EXPECT_EQ(Render(c.mask, c.value, c.locale), c.text) << c.value;
    TExcelMask m;
    m.SetLocale(&english);
    m.SetMask(u"[$-422]0.00");
    EXPECT_EQ(m.FormatValue(1.5), u"1,50");
    m.SetMask(u"0.00");
    EXPECT_EQ(m.FormatValue(1.5), u"1.50");
}

TEST(ExcelMask, SectionsAndLimits) {
    TExcelMask m;
    m.SetMask(u"GENERAL");
    EXPECT_EQ(m.Section(0)->Flags & msfText, msfText);
    m.SetMask(u"General");
    EXPECT_EQ(m.Section(0)->Flags & msfText, 0);
    m.SetMask(u"0;\"a;b\";0.0;@;ignored");
    ASSERT_NE(m.Section(3), nullptr);
    EXPECT_EQ(m.Section(1)->Tokens[0].Str, u"a;b");
    EXPECT_EQ(m.Section(2)->Flags & msfZero, msfZero);
    m.SetMask(u"#,,,,,,");
    EXPECT_EQ(m.Section(0)->TrailingCommas, 4);
    EXPECT_THROW(m.SetMask(std::u16string(256, u'0')), XLSError);
    EXPECT_NO_THROW(m.SetMask(std::u16string(255, u'0')));
    m.SetLocale(&english);
    m.SetMask(u"\"unterminated");
    EXPECT_EQ(m.FormatValue(3), u"3");
}

// General number text: fifteen significant digits, exponents as "E20" and
// "E-7", the locale's decimal separator; compared with C's "%.15g" over
// values of every magnitude, rounding and sign.
TEST(GeneralText, FifteenDigitsAsPrintfWithExcelExponents) {
    EXPECT_EQ(FloatToGeneralText(0.1 * 3, u','), u"0,3");
    EXPECT_EQ(FloatToGeneralText(1e20, u'.'), u"1E20");
    EXPECT_EQ(FloatToGeneralText(-1.5e-7, u'.'), u"-1.5E-7");
    EXPECT_EQ(FloatToGeneralText(1.25e100, u'.'), u"1.25E100");
    EXPECT_EQ(FloatToGeneralText(4820000000000.0, u'.'), u"4820000000000");
    EXPECT_EQ(FloatToGeneralText(-0.0, u'.'), u"-0");
    uint64_t state = 88172645463325252ull;
    for (int i = 0; i < 20000; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        double mantissa = double(state >> 11) / double(1ull << 53);
        double value = std::ldexp(mantissa, int(state % 200) - 100) * ((state >> 8) & 1 ? -1 : 1);
        if (i % 4 == 0) value = std::round(value * 1000) / 1000; // short decimals
        char expected[40];
        std::snprintf(expected, sizeof expected, "%.15g", value);
        std::string want(expected);
        size_t e = want.find('e');
        if (e != want.npos) want = want.substr(0, e) + "E" + std::to_string(std::stoi(want.substr(e + 1)));
        std::u16string got = FloatToGeneralText(value, u'.');
        ASSERT_EQ(std::string(got.begin(), got.end()), want) << value;
    }
}

// The text a General cell shows (and automatic widths measure): fifteen
// significant digits, whole numbers to 2^53 in full, "E+015"/"E-10" past the
// plain range. Taken from the formatting that the LibreOffice check accepts.
TEST(GeneralText, ShownTextAtTheEdgesOfThePlainRange) {
    const std::pair<double, const char*> cases[] = {
        {123456789012345, "123456789012345"},
        {1234567890123456, "1234567890123456"},
        {9007199254740992, "9007199254740992"},
        {9007199254740994, "9,00719925474099E+015"},
        {0.1 + 0.2, "0,3"},
        {2.675, "2,675"},
        {1e-9, "0,000000001"},
        {1.5e-10, "1,5E-10"},
        {123456.7890123456, "123456,789012346"},
        {99999999999999.984, "100000000000000"},
        {1e21, "1E+021"},
        {-4820000000000.5, "-4820000000000,5"},
        {1.0 / 3, "0,333333333333333"},
        {12345678901234567890.0, "1,23456789012346E+019"},
        {4.9406564584124654e-324, "4,94065645841247E-324"},
        {1.7976931348623157e308, "1,79769313486232E+308"},
        {1e100, "1E+100"},
    };
    for (const auto& [value, shown] : cases) {
        const std::u16string got = ShownGeneralText(value, u',');
        EXPECT_EQ(std::string(got.begin(), got.end()), shown) << value;
    }
}
