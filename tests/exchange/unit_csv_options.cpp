// CSV options in the settings file and the text helpers.
#include <gtest/gtest.h>

#include "exchange/CsvOptions.h"
#include "platform/CodePages.h"
#include "support_exchange.h"

using namespace exchange_test;

// Only the separators between the digits are judged: the decimal separator
// once, the thousands separator or a blank before exactly three digits; any
// other gives no number (a price is never scaled by a power of ten). Signs
// before the digits, a dash for no kopecks after them; any other dash makes
// no number.
TEST(CsvText, CleanNumberTextJudgesTheSeparatorsBetweenDigits) {
    struct Case {
        const char* in;
        const char* comma;
        const char* dot;
    } cases[] = {
        {"1 234,50 \xE3\xF0\xED,", "1234,50", ""}, // "1 234,50 грн,"
        {"1\xA0"
         "234,50 \xE3\xF0\xED.",
         "1234,50", ""},
        {"1,234.50 $.", "", "1234.50"},
        {"$1,234,567.5", "", "1234567.5"},
        {"12,,", "12", "12"},
        {"12..", "12", "12"},
        {"", "", ""},
        {",", "", ""},
        {",5 \xE3\xF0\xED", ",5", ""},
        {".5", "", ".5"},
        {"15.50", "", "15.50"},
        {"15,50", "15,50", ""},
        {"1,234.5", "", "1234.5"},
        {"1 2345", "", ""},
        {"12 34", "", ""},
        {"1 234 567", "1234567", "1234567"},
        {"1 234,567 8", "", ""},
        {"1,5E3", "", ""},
        {"12'345", "", ""},
        {"-5", "-5", "-5"},
        {"(1 234,50 \xE3\xF0\xED.)", "-1234,50", ""},
        {"(\xE3\xF0\xED) 7", "7", "7"},
        {"1 234,50- \xE3\xF0\xED.", "", ""},
        {"\xE3\xF0\xED. 7", "7", "7"},
        {"15,- \xE3\xF0\xED", "15", ""}, // "15,- грн"
        {"15.-", "", "15"},
        {"15,\x97", "15", ""}, // an em dash for no kopecks
        {"15,5-", "", ""},
        {"(\xE0\xEA\xF6\xB3\xFF) 12,00", "12,00", ""}, // "(акція) 12,00"
        {"(12,00) (\xEE\xEF\xF2)", "-12,00", ""},
        {"\x96"
         "7,50 \xE3\xF0\xED",
         "-7,50", ""}, // en dash
        {"\x97"
         "7,50",
         "", ""}, // em dash
        {"--5", "", ""},
        {"-(5)", "", ""},
        {"0,500", "0,500", ""},
        {"0,001", "0,001", ""},
        {"00 500", "", ""},
        {"10,500", "10,500", "10500"},
        {"1e3", "", ""},
        {"1e-5", "", ""},
        {"1,5E3", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(exchange::CleanNumberText(c.in, UkrainianProfile()), c.comma);
        EXPECT_EQ(exchange::CleanNumberText(c.in, DotProfile()), c.dot);
    }
    RegionalProfile dot(DotProfile());
    EXPECT_EQ(exchange::CleanNumberText("7.5 kg."), "7.5");
}

// Characters no 8-bit code page of the register holds, as workbook cells and
// XML attributes bring them.
TEST(CsvText, TypographicSignsAndBlanks) {
    struct Case {
        std::u16string in;
        std::optional<double> comma;
        std::optional<double> dot;
    } cases[] = {
        {u"\u22125,00", -5, {}}, {u"\u2212 5.00 $", {}, -5},
        {u"\u20107,50", {}, {}},                                // hyphen
        {u"\uFF0D7,50", {}, {}},                                // full-width hyphen-minus
        {u"7,50\u2212", {}, {}}, {u"1\u202F234,5", 1234.5, {}}, // narrow non-breaking space
        {u"15,\u2013", 15, {}},  {u"0,125", 0.125, {}},
        {u",5", 0.5, {}},        {u"1" + std::u16string(400, u'0'), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.in));
        EXPECT_EQ(exchange::NumberTextValue(c.in, UkrainianProfile()), c.comma);
        EXPECT_EQ(exchange::NumberTextValue(c.in, DotProfile()), c.dot);
    }
}

// UTF-8 files are told from files of the register's code pages, also where
// OEM 866 letters happen to make valid UTF-8.
TEST(CsvText, Utf8FilesAreToldFromCodePageFiles) {
    const struct {
        std::string bytes;
        bool ansi; // taken for UTF-8 where Windows-1251 is expected
        bool oem;  // where OEM 866 is
    } cases[] = {
        {"1;\xD0\xA7\xD0\xB0\xD0\xB9", true, true}, // "Чай"
        {"1;Caf\xC3\xA9 \xE2\x80\x94 \xE2\x84\x96"
         "5",
         true, true},                               // "Café — №5"
        {"1;\xE4\xB8\xAD\xE8\x8C\xB6", true, true}, // "中茶"
        {"\xEF\xBB\xBF"
         "1;tea",
         true, true},
        {"1;tea", false, false},
        {"1;" + platform::Utf16ToOem(u"Чай"), false, false},
        {"1;" + platform::Utf16ToOem(u"ЄЧай"), true, false}, // F2 97 A0 A9: valid UTF-8 (U+97829)
        {"1;" + platform::Utf16ToOem(u"сАБ"), true, false},  // E1 80 81: U+1001
        {"1;Tea \xE2\x80\x9CLipton\xE2\x80\x9D \xE2\x84\x96"
         "5",
         true, true}, // only three-byte letters: "Tea “Lipton” №5"
        {"1;" + platform::Utf16ToAnsi(u"Чай"), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(exchange::IsUtf8Text(c.bytes, false), c.ansi);
        EXPECT_EQ(exchange::IsUtf8Text(c.bytes, true), c.oem);
    }
}

TEST(CsvOptionsFile, WrittenValuesReadBackWithAnyCaseAndOtherSectionsStay) {
    ScratchDir dir;
    std::string path = dir.File("Q710b.ini");
    WriteFile(path, "[GENERAL]\r\nPORT=3\r\n[csv]\r\nDELIM=|\r\nquotes=1\r\n");
    platform::IniFile ini(path);
    for (int item = 0; item < 3; ++item) {
        console::CsvOptionsRecord options;
        options.Quotes = item == 1;
        exchange::WriteCsvOptions(ini, item, options);
        EXPECT_EQ(ini.ReadString("CSV", "DELIM", "?"), exchange::DelimiterKeyText(item));
        EXPECT_EQ(ini.ReadBool("CSV", "Quotes", true), item == 1);
        EXPECT_FALSE(ini.ReadBool("csv", "cp866", true));
        EXPECT_TRUE(ini.ReadBool("CSV", "IgnoreEmptyLines", false));
    }
    EXPECT_EQ(ini.ReadInteger("GENERAL", "PORT", 0), 3);
    // No chosen delimiter leaves the stored one.
    exchange::WriteCsvOptions(ini, -1, console::CsvOptionsRecord{});
    EXPECT_EQ(ini.ReadString("CSV", "DELIM", "?"), "TAB");
}
