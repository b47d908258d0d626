#include "exchange/NumberTexts.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/CodePages.h"

namespace exchange {

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The characters a sign is written with: '-', the minus sign, the en dash.
bool IsSign(char16_t c) {
    return c == u'-' || c == 0x2212 || c == 0x2013;
}

// Dashes and minus-like characters that are no sign of a number.
bool IsOtherDash(char16_t c) {
    constexpr char16_t kDashes[] = {0x00AD, 0x02D7, 0x2010, 0x2011, 0x2012, 0x2014, 0x2015,
                                    0x2043, 0x207B, 0x208B, 0x2796, 0xFE58, 0xFE63, 0xFF0D};
    return std::find(std::begin(kDashes), std::end(kDashes), c) != std::end(kDashes);
}

bool IsDash(char16_t c) {
    return IsSign(c) || IsOtherDash(c);
}

// A blank that may stand between the thousands: a space, a non-breaking one
// or a narrow one.
bool IsGroupBlank(std::u16string_view separator) {
    return separator == u" " || separator == u"\u00A0" || separator == u"\u202F";
}

// Parentheses around the digits: one opened before them that is not closed
// there, and one closed after them before any other opens.
bool InParentheses(std::u16string_view before, std::u16string_view after) {
    const std::size_t open = before.rfind(u'(');
    const std::size_t closedBefore = before.rfind(u')');
    if (open == std::u16string_view::npos ||
        (closedBefore != std::u16string_view::npos && closedBefore > open))
        return false;
    const std::size_t close = after.find(u')');
    return close != std::u16string_view::npos && close < after.find(u'(');
}

// The sign the text before the digits gives: 1, -1, or 0 when it makes no
// number (two signs, another dash).
int SignBefore(std::u16string_view before, std::u16string_view after) {
    if (std::any_of(before.begin(), before.end(), IsOtherDash)) return 0;
    const auto signs = std::count_if(before.begin(), before.end(), IsSign);
    const bool parentheses = InParentheses(before, after);
    if (signs > 1 || (signs == 1 && parentheses)) return 0;
    return signs == 1 || parentheses ? -1 : 1;
}

// Whether the text after the last digit leaves the number as it is: a
// decimal separator, with a dash after it where the number has no
// decimals yet, then a currency text without a sign or dash in it.
bool CleanAfter(std::u16string_view after, char16_t decimal, bool decimals) {
    if (!after.empty() && after.front() == decimal) {
        after.remove_prefix(1);
        std::size_t dashes = 0;
        while (dashes < after.size() && IsDash(after[dashes])) ++dashes;
        if (!decimals && dashes <= 2) after.remove_prefix(dashes);
    }
    return std::none_of(after.begin(), after.end(), IsDash);
}

} // namespace

std::string NumberTextOf(std::u16string_view text, const platform::RegionalSettings& rs) {
    const auto isDigit = [](char16_t c) { return IsDigit(c); };
    const auto firstDigit = std::find_if(text.begin(), text.end(), isDigit);
    if (firstDigit == text.end()) return {};
    const std::size_t first = static_cast<std::size_t>(firstDigit - text.begin());
    const std::size_t last =
        text.size() - 1 -
        static_cast<std::size_t>(std::find_if(text.rbegin(), text.rend(), isDigit) - text.rbegin());
    const std::u16string_view before = text.substr(0, first);
    const std::u16string_view after = text.substr(last + 1);
    const char16_t decimal = platform::AnsiCharToUnicode(static_cast<unsigned char>(rs.decimalSeparator));
    const std::u16string thousands = platform::AnsiToUtf16(rs.thousandsSeparator);

    const int sign = SignBefore(before, after);
    if (sign == 0) return {};
    std::string out = sign < 0 ? "-" : "";
    // A decimal separator right before the digits marks them as decimals;
    // another mark there would make them decimals elsewhere.
    bool decimals = !before.empty() && before.back() == decimal;
    if (decimals) out += rs.decimalSeparator;
    if (!decimals && !before.empty() && (before.back() == u'.' || before.back() == u',')) return {};
    bool grouped = false;
    for (std::size_t at = first; at <= last;) {
        std::size_t end = at;
        while (end <= last && IsDigit(text[end])) ++end;
        for (std::size_t i = at; i < end; ++i) out += static_cast<char>(text[i]);
        if (end > last) break;
        std::size_t next = end;
        while (!IsDigit(text[next])) ++next;
        const std::u16string_view separator = text.substr(end, next - end);
        std::size_t digits = 0;
        while (next + digits <= last && IsDigit(text[next + digits])) ++digits;
        if (separator.size() == 1 && separator[0] == decimal && !decimals) {
            decimals = true;
            out += rs.decimalSeparator;
        } else {
            // A thousands separator or a blank before exactly three digits;
            // a first group of zeros is never one of thousands.
            const bool leadingZeros = !grouped && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at),
                                                              text.begin() + static_cast<std::ptrdiff_t>(end),
                                                              [](char16_t c) { return c == u'0'; });
            if (decimals || digits != 3 || leadingZeros ||
                (separator != thousands && !IsGroupBlank(separator)))
                return {};
            grouped = true;
        }
        at = next;
    }
    if (!CleanAfter(after, decimal, decimals)) return {};
    return out;
}

std::optional<double> NumberTextValue(std::u16string_view text, const platform::RegionalSettings& rs) {
    const std::string clean = NumberTextOf(text, rs);
    if (clean.empty()) return std::nullopt;
    const bool negative = clean.front() == '-';
    // Digits with a point, a digit before it: the form from_chars reads.
    std::string plain = "0";
    for (char c : std::string_view(clean).substr(negative ? 1 : 0))
        plain += c == rs.decimalSeparator ? '.' : c;
    double value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

std::string CleanNumberText(std::string_view text, const platform::RegionalSettings& rs) {
    return NumberTextOf(platform::AnsiToUtf16(text), rs);
}

} // namespace exchange
