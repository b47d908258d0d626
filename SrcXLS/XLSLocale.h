// The locale values the workbook library shows numbers and dates with.
// The owner fills them from the program's regional settings at start-up;
// tests set them explicitly.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {
struct RegionalSettings;
}

namespace xls {

struct TXLSLocale {
    char16_t DecimalSeparator = u'.';
    char16_t ThousandSeparator = u',';
    char16_t DateSeparator = u'/';
    char16_t TimeSeparator = u':';
    char16_t ListSeparator = u',';
    std::array<std::u16string, 12> ShortMonthNames = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                      u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    std::array<std::u16string, 12> LongMonthNames = {u"January",   u"February", u"March",    u"April",
                                                     u"May",       u"June",     u"July",     u"August",
                                                     u"September", u"October",  u"November", u"December"};
    // Sunday first.
    std::array<std::u16string, 7> ShortDayNames = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    std::array<std::u16string, 7> LongDayNames = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                                  u"Thursday", u"Friday", u"Saturday"};
    // Month names after a day of the month ("2 січня"); empty where the
    // language has no such case.
    std::array<std::u16string, 12> GenitiveMonthNames = {};
};

// The separators and names of a language a format names ("[$-422]"): by
// the language id of the locale id; nullptr for a language not held here.
const TXLSLocale* LocaleOfLanguage(uint32_t localeId);

// The separators of the program's regional settings (names stay as they are).
TXLSLocale LocaleFromRegional(const platform::RegionalSettings& settings);

} // namespace xls
