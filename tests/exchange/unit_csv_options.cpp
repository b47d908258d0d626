// CSV options in the settings file and the text helpers.
#include <gtest/gtest.h>

#include "exchange/CsvOptions.h"
#include "support_exchange.h"

using namespace exchange_test;

TEST(CsvText, CleanNumberTextKeepsDigitsAndTheRegionalSeparator) {
    struct Case {
        const char* in;
        const char* comma;
        const char* dot;
    } cases[] = {
        {"1 234,50 \xE3\xF0\xED,", "1234,50", "123450"}, // "1 234,50 грн,"
        {"1\xA0"
         "234,50 \xE3\xF0\xED.",
         "1234,50", "123450"},
        {"1,234.50 $.", "1,23450", "1234.50"},
        {"12,,", "12,", "12"},
        {"12..", "12", "12."},
        {"", "", ""},
        {",", "", ""},
        {"-5", "5", "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(exchange::CleanNumberText(c.in, UkrainianProfile()), c.comma);
        EXPECT_EQ(exchange::CleanNumberText(c.in, DotProfile()), c.dot);
    }
    RegionalProfile dot(DotProfile());
    EXPECT_EQ(exchange::CleanNumberText("7.5 kg."), "7.5");
}

TEST(CsvText, OemAndAnsiConversionsKeepTheLength) {
    // "Привіт, Ґанок!" in 1251: Ukrainian letters CP866 lacks take their look-alikes.
    std::string ansi = "\xCF\xF0\xE8\xE2\xB3\xF2, \xA5\xE0\xED\xEE\xEA!";
    std::string oem = exchange::AnsiToOemText(ansi);
    EXPECT_EQ(oem, "\x8F\xE0\xA8\xA2i\xE2, \x83\xA0\xAD\xAE\xAA!");
    EXPECT_EQ(exchange::OemToAnsiText(oem), "\xCF\xF0\xE8\xE2i\xF2, \xC3\xE0\xED\xEE\xEA!");
    EXPECT_EQ(exchange::OemToAnsiText(""), "");
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(exchange::AnsiToOemText(all).size(), all.size());
    EXPECT_EQ(exchange::OemToAnsiText(all).size(), all.size());
}

TEST(CsvOptionsFile, MissingFileGetsOnlyTheCsvSection) {
    ScratchDir dir;
    platform::IniFile ini(dir.File("Q710b.ini"));
    console::CsvOptionsRecord options;
    options.Cp866 = true;
    options.Quotes = true;
    options.LRBlanks = false;
    options.IgnoreEmptyLines = false;
    exchange::WriteCsvOptions(ini, 2, options);
    EXPECT_EQ(ReadFile(dir.File("Q710b.ini")),
              "[CSV]\r\nDELIM=TAB\r\nCP866=1\r\nQUOTES=1\r\nLRBlanks=0\r\nIgnoreEmptyLines=0\r\n");
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

TEST(CsvOptionsFile, DelimiterItemsMapBothWays) {
    EXPECT_EQ(exchange::DelimiterItem(';'), 0);
    EXPECT_EQ(exchange::DelimiterItem(','), 1);
    EXPECT_EQ(exchange::DelimiterItem('\t'), 2);
    EXPECT_EQ(exchange::DelimiterItem('|'), -1);
    for (int item = 0; item < 3; ++item)
        EXPECT_EQ(exchange::DelimiterItem(exchange::DelimiterOfItem(item)), item);
    EXPECT_EQ(exchange::DelimiterOfItem(7), ';');
}
