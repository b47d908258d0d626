#include <gtest/gtest.h>

#include "console/Connection.h"
#include "console/Guarded.h"
#include "platform/ui/AnsiText.h"

namespace {

using namespace console;
using platform::Ansi;

TEST(DirectSession, ItemsOutsideTheListsGiveTheFirstPortAndTheDefaultRate) {
    EXPECT_EQ(PortOfIndex(-1), 1);
    EXPECT_EQ(PortOfIndex(8), 1);
    EXPECT_EQ(PortOfIndex(7), 8);
    EXPECT_EQ(BaudOfIndex(-1), 9600u);
    EXPECT_EQ(BaudOfIndex(0), 4800u);
    EXPECT_EQ(BaudOfIndex(3), 38400u);
}

TEST(IntegerValue, TakesSignedDecimalsAndRefusesTheRest) {
    EXPECT_EQ(IntegerValue("12"), 12);
    EXPECT_EQ(IntegerValue("  7 "), 7);
    EXPECT_EQ(IntegerValue("+5"), 5);
    EXPECT_EQ(IntegerValue("-3"), -3);
    for (const char* bad : {"", " ", "abc", "1a", "99999999999", "1 2", "++1"})
        EXPECT_THROW(IntegerValue(bad), ConsoleError) << bad;
}

TEST(AddressEdits, BadTextsAreCorrectedWithTheirMessages) {
    struct Case {
        AddressEdit edit;
        const char* text;
        const char* other;
        const char* result;
        const char* message; // UTF-8, empty: none
        bool refocus;
    };
    const Case cases[] = {
        {AddressEdit::Ecr, "ab", "1", "2", "Невірно задана адреса ЕККА!\r\nМожливий діапазон значень: 1..99!",
         false},
        {AddressEdit::Pc, "1x", "5", "1", "Невірно задана адреса ПК!\r\nМожливий діапазон значень: 1..99!",
         false},
        {AddressEdit::Pc, "-4", "5", "1", "Невірно задана адреса ПК!\r\nМожливий діапазон значень: 1..99!",
         false},
        {AddressEdit::Ecr, "150", "1", "99", "", false},
        {AddressEdit::Ecr, "00000000000000000000000150", "1", "99", "", false},
        {AddressEdit::Ecr, "99999999999999999999", "1", "99", "", false},
        {AddressEdit::Pc, "0", "5", "1", "", false},
        {AddressEdit::Pc, "  ", "5", "1", "", false},
        {AddressEdit::Ecr, "", "1", "2", "", false},
        {AddressEdit::Ecr, " 42 ", "1", "42", "", false},
        {AddressEdit::Ecr, "7", "7", "2",
         "Адреса ЕККА співпадає з адресою ПК!\r\nВведіть нове значення адреси ЕККА.", true},
        {AddressEdit::Pc, "3", "3", "1",
         "Адреса ПК співпадає з адресою ЕККА!\r\nВведіть нове значення адреси ПК.", true},
        // Clamped onto the other address.
        {AddressEdit::Pc, "500", "99", "1",
         "Адреса ПК співпадає з адресою ЕККА!\r\nВведіть нове значення адреси ПК.", true},
    };
    for (const Case& c : cases) {
        AddressCheck check = CheckAddress(c.edit, c.text, c.other);
        EXPECT_EQ(check.text, c.result) << c.text;
        EXPECT_EQ(platform::Utf8(check.message), c.message) << c.text;
        EXPECT_EQ(check.refocus, c.refocus) << c.text;
    }
}

} // namespace
