#include "platform/RegionalSettings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace platform {

namespace {

RegionalSettings& Current() {
    static RegionalSettings settings;
    return settings;
}

bool AllZeroDigits(std::string_view digits) {
    for (char c : digits) {
        if (c >= '1' && c <= '9') return false;
    }
    return true;
}

// Decimal digits of a magnitude scaled by 10^decimals, split into integer and fraction digits.
struct Digits {
    bool negative = false;
    std::string whole;
    std::string fraction;
};

Digits SplitScaled(std::uint64_t magnitude, bool negative, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 19) decimals = 19;
    std::string all = std::to_string(magnitude);
    if (all.size() <= static_cast<std::size_t>(decimals))
        all.insert(0, static_cast<std::size_t>(decimals) + 1 - all.size(), '0');
    Digits d;
    d.whole = all.substr(0, all.size() - static_cast<std::size_t>(decimals));
    d.fraction = all.substr(all.size() - static_cast<std::size_t>(decimals));
    d.negative = negative && magnitude != 0;
    return d;
}

std::uint64_t Magnitude(std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

Digits SplitDouble(double value, int decimals) {
    Digits d;
    if (!std::isfinite(value)) {
        d.whole = std::isnan(value) ? "NAN" : "INF";
        d.negative = value < 0;
        return d;
    }
    if (decimals < 0) decimals = 0;
    if (decimals > 30) decimals = 30;
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, decimals);
    std::string text(buf, res.ptr);
    auto dot = text.find('.');
    d.whole = text.substr(0, dot);
    if (dot != std::string::npos) d.fraction = text.substr(dot + 1);
    d.negative = std::signbit(value) && !(AllZeroDigits(d.whole) && AllZeroDigits(d.fraction));
    return d;
}

std::string Plain(const Digits& d, const RegionalSettings& rs) {
    std::string out = d.negative ? "-" : "";
    out += d.whole;
    if (!d.fraction.empty()) {
        out += rs.decimalSeparator;
        out += d.fraction;
    }
    return out;
}

template <std::size_t N>
std::string_view Placement(const std::string_view (&placements)[N], int index, int fallback) {
    return placements[index >= 0 && index < int(N) ? index : fallback];
}

std::string Money(const Digits& d, const RegionalSettings& rs) {
    std::string n = GroupDigits(d.whole, rs.thousandsSeparator);
    if (!d.fraction.empty()) {
        n += rs.decimalSeparator;
        n += d.fraction;
    }
    return PlaceCurrency(n, d.negative, rs);
}

// Days since 01.01.1970 of a civil date and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, CivilDateTime& t) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    t.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string Padded(int value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<int> SmallNumber(std::string_view s, std::size_t maxDigits) {
    s = TrimBlanks(s);
    if (s.empty() || s.size() > maxDigits) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

} // namespace

std::string GroupDigits(const std::string& whole, const std::string& separator) {
    std::string out;
    std::size_t lead = whole.size() % 3;
    if (lead == 0) lead = 3;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i == lead || (i > lead && (i - lead) % 3 == 0)) out += separator;
        out += whole[i];
    }
    return out;
}

std::string PlaceCurrency(const std::string& amount, bool negative, const RegionalSettings& rs) {
    const std::string_view placement =
        negative ? Placement(NegativeCurrencyPlacements, rs.negativeCurrencyFormat, 8)
                 : Placement(CurrencyPlacements, rs.currencyFormat, 3);
    std::string out;
    for (char c : placement) {
        if (c == '$')
            out += rs.currency;
        else if (c == 'n')
            out += amount;
        else
            out += c;
    }
    return out;
}

const RegionalSettings& Regional() {
    return Current();
}
void SetRegional(const RegionalSettings& settings) {
    Current() = settings;
}

std::string FormatFixed(double value, int decimals, const RegionalSettings& rs) {
    return Plain(SplitDouble(value, decimals), rs);
}

std::string FormatScaled(std::int64_t units, int decimals, const RegionalSettings& rs) {
    return Plain(SplitScaled(Magnitude(units), units < 0, decimals), rs);
}

std::string FormatScaled(std::uint64_t units, int decimals, const RegionalSettings& rs) {
    return Plain(SplitScaled(units, false, decimals), rs);
}

std::string FormatMoney(double value, const RegionalSettings& rs) {
    Digits d = SplitDouble(value, 2);
    if (!std::isfinite(value)) return Plain(d, rs);
    return Money(d, rs);
}

std::string FormatMoneyKopecks(std::int64_t kopecks, const RegionalSettings& rs) {
    return Money(SplitScaled(Magnitude(kopecks), kopecks < 0, 2), rs);
}

std::string FormatGeneral(double value, const RegionalSettings& rs) {
    if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
    if (value == 0) return "0";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    std::string text(buf, res.ptr); // d.dddddddddddddde±XX
    auto ePos = text.find('e');
    int exponent = std::atoi(text.c_str() + ePos + 1);
    std::string digits = text.substr(0, 1) + text.substr(2, ePos - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    if (exponent >= 15 || exponent < -4) {
        out += digits[0];
        if (digits.size() > 1) {
            out += rs.decimalSeparator;
            out += digits.substr(1);
        }
        out += "E" + std::to_string(exponent);
        return out;
    }
    if (exponent < 0) {
        out += "0";
        out += rs.decimalSeparator;
        out += std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        return out;
    }
    auto wholeDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= wholeDigits) return out + digits + std::string(wholeDigits - digits.size(), '0');
    out += digits.substr(0, wholeDigits);
    out += rs.decimalSeparator;
    out += digits.substr(wholeDigits);
    return out;
}

std::string FormatGeneralThousandths(std::int64_t thousandths, const RegionalSettings& rs) {
    Digits d = SplitScaled(Magnitude(thousandths), thousandths < 0, 3);
    while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.pop_back();
    std::size_t significant = d.whole == "0" ? 0 : d.whole.size();
    if (significant == 0) {
        std::size_t lead = d.fraction.find_first_not_of('0');
        significant = lead == std::string::npos ? 0 : d.fraction.size() - lead;
    } else {
        significant += d.fraction.size();
    }
    if (significant > 15) return FormatGeneral(static_cast<double>(thousandths) / 1000.0, rs);
    return Plain(d, rs);
}

CivilDateTime RegisterTimeToCivil(std::uint32_t seconds) {
    CivilDateTime t;
    CivilFromDays(DaysFromCivil(2001, 1, 1) + seconds / 86400, t);
    std::uint32_t rest = seconds % 86400;
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

CivilDateTime DaysToCivil(double days) {
    CivilDateTime t;
    // 30.12.1899 is day 0; 01.01.0001 and 31.12.9999 are the ends of the range.
    if (!std::isfinite(days) || days < -693593.0 || days >= 2958466.0) days = 0;
    double whole = std::trunc(days);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(days - whole) * 86400000.0));
    if (ms >= 86400000) ms = 86399999;
    CivilFromDays(DaysFromCivil(1899, 12, 30) + static_cast<std::int64_t>(whole), t);
    std::int64_t s = ms / 1000;
    t.hour = static_cast<int>(s / 3600);
    t.minute = static_cast<int>(s / 60 % 60);
    t.second = static_cast<int>(s % 60);
    return t;
}

double CivilToDays(const CivilDateTime& t) {
    const auto date = static_cast<double>(
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) -
        DaysFromCivil(1899, 12, 30));
    const double time = (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
    // Before 30.12.1899 the time of day counts away from zero, as DaysToCivil reads it.
    return date < 0 ? date - time : date + time;
}

std::string FormatDateTimePattern(std::string_view pattern, const CivilDateTime& t,
                                  const RegionalSettings& rs) {
    std::string out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        char c = pattern[i];
        if (c == '\'' || c == '"') {
            auto close = pattern.find(c, i + 1);
            if (close == std::string_view::npos) close = pattern.size();
            out += pattern.substr(i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
        const std::string& ampm = t.hour < 12 ? rs.timeAm : rs.timePm;
        switch (c) {
        case 'd':
            out += Padded(t.day, run >= 2 ? 2 : 1);
            break;
        case 'M':
            out += Padded(t.month, run >= 2 ? 2 : 1);
            break;
        case 'y':
            out += run <= 2 ? Padded(t.year % 100, 2) : Padded(t.year, 4);
            break;
        case 'H':
            out += Padded(t.hour, run >= 2 ? 2 : 1);
            break;
        case 'h':
            out += Padded(hour12, run >= 2 ? 2 : 1);
            break;
        case 'm':
            out += Padded(t.minute, run >= 2 ? 2 : 1);
            break;
        case 's':
            out += Padded(t.second, run >= 2 ? 2 : 1);
            break;
        case 't':
            out += run == 1 ? ampm.substr(0, 1) : ampm;
            break;
        case '/':
            out += std::string(run, rs.dateSeparator);
            break;
        case ':':
            out += std::string(run, rs.timeSeparator);
            break;
        default:
            out += pattern.substr(i, run);
            break;
        }
        i += run;
    }
    return out;
}

std::string FormatShortDate(const CivilDateTime& t, const RegionalSettings& rs) {
    return FormatDateTimePattern(rs.shortDateFormat, t, rs);
}

std::string FormatLongTime(const CivilDateTime& t, const RegionalSettings& rs) {
    return FormatDateTimePattern(rs.longTimeFormat, t, rs);
}

std::string FormatDateTime(const CivilDateTime& t, const RegionalSettings& rs) {
    std::string text = FormatShortDate(t, rs);
    if (t.hour != 0 || t.minute != 0 || t.second != 0) text += " " + FormatLongTime(t, rs);
    return text;
}

std::string FormatRegisterTime(std::uint32_t seconds, const RegionalSettings& rs) {
    return FormatDateTime(RegisterTimeToCivil(seconds), rs);
}

std::optional<CivilDateTime> ParseShortDate(std::string_view text, const RegionalSettings& rs) {
    // Order of day, month and year in the pattern.
    std::string order;
    bool quoted = false;
    for (char c : rs.shortDateFormat) {
        if (c == '\'') quoted = !quoted;
        if (!quoted && (c == 'd' || c == 'M' || c == 'y') && order.find(c) == std::string::npos) order += c;
    }
    if (order.size() != 3) order = "dMy";
    std::string_view parts[3];
    std::size_t count = 0;
    text = TrimBlanks(text);
    for (;;) {
        if (count == 3) return std::nullopt;
        auto sep = text.find(rs.dateSeparator);
        parts[count++] = text.substr(0, sep);
        if (sep == std::string_view::npos) break;
        text.remove_prefix(sep + 1);
    }
    if (count != 3) return std::nullopt;
    CivilDateTime t;
    for (std::size_t k = 0; k < 3; ++k) {
        auto v = SmallNumber(parts[k], order[k] == 'y' ? 4 : 2);
        if (!v) return std::nullopt;
        if (order[k] == 'd') t.day = *v;
        if (order[k] == 'M') t.month = *v;
        if (order[k] == 'y') t.year = parts[k].size() <= 2 ? 2000 + *v : *v;
    }
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month))
        return std::nullopt;
    return t;
}

std::optional<CivilDateTime> ParseTime(std::string_view text, const RegionalSettings& rs) {
    text = TrimBlanks(text);
    int half = 0; // 1 AM, 2 PM
    for (int k = 0; k < 2 && half == 0; ++k) {
        for (std::string_view word :
             {std::string_view(k == 0 ? rs.timeAm : rs.timePm), std::string_view(k == 0 ? "AM" : "PM")}) {
            if (!word.empty() && text.size() > word.size() &&
                EqualNoCase(text.substr(text.size() - word.size()), word)) {
                text = TrimBlanks(text.substr(0, text.size() - word.size()));
                half = k + 1;
                break;
            }
        }
    }
    int fields[3] = {0, 0, 0};
    std::size_t count = 0;
    for (;;) {
        if (count == 3) return std::nullopt;
        auto sep = text.find(rs.timeSeparator);
        auto v = SmallNumber(text.substr(0, sep), 2);
        if (!v) return std::nullopt;
        fields[count++] = *v;
        if (sep == std::string_view::npos) break;
        text.remove_prefix(sep + 1);
    }
    CivilDateTime t;
    t.hour = fields[0];
    t.minute = fields[1];
    t.second = fields[2];
    if (half != 0) {
        if (t.hour < 1 || t.hour > 12) return std::nullopt;
        t.hour = t.hour % 12 + (half == 2 ? 12 : 0);
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    return t;
}

std::optional<double> ParseDecimal(std::string_view text, const RegionalSettings& rs) {
    text = TrimBlanks(text);
    std::string plain;
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t mantissaDigits = 0;
    std::size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') plain += text[i++], ++mantissaDigits;
    if (i < text.size() && text[i] == rs.decimalSeparator) {
        plain += '.';
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') plain += text[i++], ++mantissaDigits;
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) plain += text[i++];
        std::size_t expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') plain += text[i++], ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    double value = 0;
    auto res = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (res.ec != std::errc() || res.ptr != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace platform
