#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The user's number, money, date and time conventions. Texts are Windows-1251 bytes like every other 8-bit
// text of the program. The defaults are those of a Ukrainian system: "1 234,50 грн." with a non-breaking
// space (1251 byte 0xA0) between the thousands, dates as 31.12.2024, times as 9:05:00.
//
// Date and time patterns use the Windows picture letters: d dd (day), M MM (month; MMM MMMM are written as
// MM), yy yyyy (year), H HH (hour 0-23), h hh (hour 1-12), m mm, s ss, t tt (first letter or whole of the
// AM/PM text), text in single quotes as is; '/' stands for `dateSeparator` and ':' for `timeSeparator`, so
// changing a separator changes the texts of patterns written with them. Any other character is copied.
struct RegionalSettings {
    char decimalSeparator = ',';
    std::string thousandsSeparator = "\xA0";
    std::string currency = "\xE3\xF0\xED."; // "грн."
    // Placement of the currency text: an index of CurrencyPlacements, and of NegativeCurrencyPlacements.
    int currencyFormat = 3;
    int negativeCurrencyFormat = 8;
    std::string shortDateFormat = "dd.MM.yyyy";
    std::string longTimeFormat = "H:mm:ss";
    char dateSeparator = '.';
    char timeSeparator = ':';
    char listSeparator = ';';
    std::string timeAm;
    std::string timePm;
};

// The placements of the currency text by their Windows numbers: '$' stands for the currency text, 'n' for the
// number. A number outside the table counts as the default.
inline constexpr std::string_view CurrencyPlacements[] = {"$n", "n$", "$ n", "n $"};
inline constexpr std::string_view NegativeCurrencyPlacements[] = {
    "($n)", "-$n",  "$-n",  "$n-",  "(n$)", "-n$",  "n-$",   "n$-",
    "-n $", "-$ n", "n $-", "$ n-", "$ -n", "n- $", "($ n)", "(n $)"};

// The process-wide settings: the defaults until SetRegional is called (at start-up from the user's locale,
// in tests explicitly). Read and set on the user-interface thread only.
const RegionalSettings& Regional();
void SetRegional(const RegionalSettings& settings);

// "%0.Nf": `decimals` digits after the regional decimal separator, no thousands separator, '-' before a
// negative value. The value is rounded as printf rounds the double.
std::string FormatFixed(double value, int decimals, const RegionalSettings& rs = Regional());
// The same computed exactly from an integer count of 1/10^decimals units: 1005 with 2 decimals gives "10,05",
// -5 gives "-0,05", 2500 with 3 decimals "2,500".
std::string FormatScaled(std::int64_t units, int decimals, const RegionalSettings& rs = Regional());
std::string FormatScaled(std::uint64_t units, int decimals, const RegionalSettings& rs = Regional());
// Kopecks as money amount "%0.2f" and thousandths as quantity "%0.3f", exact.
inline std::string FormatKopecks(std::int64_t kopecks, const RegionalSettings& rs = Regional()) {
    return FormatScaled(kopecks, 2, rs);
}
inline std::string FormatThousandths(std::int64_t thousandths, const RegionalSettings& rs = Regional()) {
    return FormatScaled(thousandths, 3, rs);
}

// Whole digits with the separator between groups of three ("1234567" -> "1 234 567").
std::string GroupDigits(const std::string& whole, const std::string& separator);
// An amount text placed beside the currency by the positive or negative money format.
std::string PlaceCurrency(const std::string& amount, bool negative, const RegionalSettings& rs);

// "%0.2m": the regional money format with two decimals (thousands grouped, currency placed by the positive or
// negative format).
std::string FormatMoney(double value, const RegionalSettings& rs = Regional());
// The same computed exactly from kopecks.
std::string FormatMoneyKopecks(std::int64_t kopecks, const RegionalSettings& rs = Regional());

// General text: the shortest decimal text with at most 15 significant digits, regional decimal separator, no
// trailing zeros, no separator for a whole number; exponent form ("1,5E20", "1E-5") when more than 15 digits
// would stand before the separator or the value is below 0,0001. 1.5 gives "1,5", 2.0 gives "2", -0.0 "0".
std::string FormatGeneral(double value, const RegionalSettings& rs = Regional());
// The same computed exactly from thousandths: 1500 gives "1,5", 2000 gives "2", 1 gives "0,001".
std::string FormatGeneralThousandths(std::int64_t thousandths, const RegionalSettings& rs = Regional());

// A calendar date and time of day (no time zone).
struct CivilDateTime {
    int year = 2001;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Seconds since 01.01.2001 00:00:00, as the register counts time.
CivilDateTime RegisterTimeToCivil(std::uint32_t seconds);
// Days since 30.12.1899 00:00 with the time of day as fraction (the date-time value of the register's X
// report). Values outside the years 1-9999 or not finite give 30.12.1899.
CivilDateTime DaysToCivil(double days);
// The other way: the days of a valid calendar date (and time of day) since 30.12.1899.
double CivilToDays(const CivilDateTime& t);

// Texts of a date or time by a pattern (see RegionalSettings).
std::string FormatDateTimePattern(std::string_view pattern, const CivilDateTime& t,
                                  const RegionalSettings& rs = Regional());
std::string FormatShortDate(const CivilDateTime& t, const RegionalSettings& rs = Regional());
std::string FormatLongTime(const CivilDateTime& t, const RegionalSettings& rs = Regional());
// Short date, a blank and long time; at exactly 00:00:00 the date alone.
std::string FormatDateTime(const CivilDateTime& t, const RegionalSettings& rs = Regional());
// FormatDateTime of a register time (seconds since 01.01.2001 00:00:00): 0 gives "01.01.2001", 3600
// "01.01.2001 1:00:00".
std::string FormatRegisterTime(std::uint32_t seconds, const RegionalSettings& rs = Regional());

// A date typed or stored in the short date format: day, month and year as numbers in the order of the
// pattern, separated by `dateSeparator`; a year below 100 is taken as 2000 + year. Nothing for any other text
// or an impossible date. The time fields of the result are 0.
std::optional<CivilDateTime> ParseShortDate(std::string_view text, const RegionalSettings& rs = Regional());
// A time as hours[:minutes[:seconds]] with `timeSeparator`, optionally followed by the AM or PM text; "0" is
// midnight. Nothing for any other text. The date fields of the result are 01.01.2001.
std::optional<CivilDateTime> ParseTime(std::string_view text, const RegionalSettings& rs = Regional());
// A decimal number with the regional decimal separator (no thousands separator), optional sign and exponent,
// blanks around it allowed. Nothing for any other text.
std::optional<double> ParseDecimal(std::string_view text, const RegionalSettings& rs = Regional());

} // namespace platform
