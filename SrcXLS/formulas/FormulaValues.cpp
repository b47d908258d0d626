#include "SrcXLS/formulas/FormulaValues.h"

#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/ExcelMask.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace xls {

namespace {

// The regional separator as one UTF-16 character; 0 when it is none.
char16_t Separator(const std::string& ansi) {
    const std::u16string wide = platform::AnsiToUtf16(ansi);
    return wide.size() == 1 ? wide[0] : 0;
}

// text without the thousands separators of its whole part where they stand
// between groups of three digits ("1,234,567.5"); as it is when one is
// misplaced ("1,23").
std::u16string WithoutGroups(std::u16string_view text, char16_t group) {
    size_t start = 0;
    while (start < text.size() && text[start] == u' ') ++start;
    if (start < text.size() && (text[start] == u'-' || text[start] == u'+')) ++start;
    size_t end = start;
    while (end < text.size() && ((text[end] >= u'0' && text[end] <= u'9') || text[end] == group)) ++end;
    const std::u16string_view whole = text.substr(start, end - start);
    if (!group || whole.find(group) == whole.npos) return std::u16string(text);
    size_t run = 0;
    bool first = true;
    for (char16_t c : whole) {
        if (c != group) {
            ++run;
            continue;
        }
        if (run == 0 || run > 3 || (!first && run != 3)) return std::u16string(text);
        first = false;
        run = 0;
    }
    if (run != 3) return std::u16string(text);
    std::u16string out(text.substr(0, start));
    for (char16_t c : whole)
        if (c != group) out.push_back(c);
    out += text.substr(end);
    return out;
}

std::optional<double> PlainNumber(std::u16string_view text, const platform::RegionalSettings& rs) {
    const std::u16string plain = WithoutGroups(text, Separator(rs.thousandsSeparator));
    std::string narrow;
    narrow.reserve(plain.size());
    for (char16_t c : plain) {
        if (c > 0x7F) return std::nullopt;
        narrow.push_back(char(c));
    }
    return platform::ParseDecimal(narrow, rs);
}

// A money amount in the regional positive or negative form, as DOLLAR
// writes it ("$1,234.50", "($0.50)").
std::optional<double> MoneyAmount(std::u16string_view text, const platform::RegionalSettings& rs) {
    for (bool negative : {false, true}) {
        const std::u16string form = platform::AnsiToUtf16(platform::PlaceCurrency("\x01", negative, rs));
        const size_t at = form.find(u'\x01');
        const std::u16string_view before = std::u16string_view(form).substr(0, at);
        const std::u16string_view after = std::u16string_view(form).substr(at + 1);
        if (text.size() <= before.size() + after.size() || !text.starts_with(before) ||
            !text.ends_with(after))
            continue;
        const auto n =
            PlainNumber(text.substr(before.size(), text.size() - before.size() - after.size()), rs);
        if (n) return negative ? -*n : *n;
    }
    return std::nullopt;
}

} // namespace

std::optional<double> TextToNumber(std::u16string_view text) {
    const platform::RegionalSettings& rs = platform::Regional();
    if (auto n = PlainNumber(text, rs)) return n;
    return MoneyAmount(text, rs);
}

std::u16string NumberText(double value) {
    const char16_t separator = Separator(std::string(1, platform::Regional().decimalSeparator));
    return ShownGeneralText(value, separator ? separator : u'.');
}

std::u16string ValueText(const TFormulaValue& v) {
    switch (v.ValType) {
    case fvFloat:
        return NumberText(v.Float);
    case fvBoolean:
        return v.Boolean ? LibState().StrTRUE : LibState().StrFALSE;
    case fvError:
        return std::u16string(ErrorFileText(v.Error));
    case fvString:
        return v.Text;
    default:
        return {};
    }
}

int ValueToNumber(const TFormulaValue& v, double& out) {
    switch (v.ValType) {
    case fvFloat:
        out = v.Float;
        return 0;
    case fvBoolean:
        out = v.Boolean ? 1 : 0;
        return 0;
    case fvNull:
        out = 0;
        return 0;
    case fvError:
        return v.Error ? v.Error : fe::Value;
    case fvString:
        if (auto n = TextToNumber(v.Text)) {
            out = *n;
            return 0;
        }
        // The texts TRUE and FALSE count as their booleans do.
        if (bool b; ValueToBoolean(v, b) == 0) {
            out = b ? 1 : 0;
            return 0;
        }
        return fe::Value;
    default:
        return fe::Value;
    }
}

int ValueToBoolean(const TFormulaValue& v, bool& out) {
    switch (v.ValType) {
    case fvFloat:
        out = v.Float != 0;
        return 0;
    case fvBoolean:
        out = v.Boolean;
        return 0;
    case fvNull:
        out = false;
        return 0;
    case fvError:
        return v.Error ? v.Error : fe::Value;
    case fvString: {
        const std::u16string upper = UpperCaseWide(v.Text);
        if (upper == UpperCaseWide(LibState().StrTRUE) || upper == u"TRUE") {
            out = true;
            return 0;
        }
        if (upper == UpperCaseWide(LibState().StrFALSE) || upper == u"FALSE") {
            out = false;
            return 0;
        }
        return fe::Value;
    }
    default:
        return fe::Value;
    }
}

namespace {
// Rank of a kind in comparisons; empty takes the other side's kind.
int KindRank(TFormulaValueType t) {
    return t == fvFloat ? 0 : t == fvString ? 1 : 2;
}
} // namespace

bool NearlyEqual(double a, double b) {
    if (a == b) return true;
    if (a == 0 || b == 0 || (a < 0) != (b < 0) || !std::isfinite(a) || !std::isfinite(b)) return false;
    // Within half a unit of the 15th significant digit of the larger; the
    // logarithm only guesses the digits before the point (999999999999999
    // has 15, its logarithm rounds to 15.0).
    const double larger = std::max(std::fabs(a), std::fabs(b));
    // Whole numbers are exact up to 2^53: they carry no roundoff to forgive
    // (MOD(1E15,3) is 1).
    if (larger <= 0x1p53 && a == std::trunc(a) && b == std::trunc(b)) return false;
    int exponent = int(std::floor(std::log10(larger)));
    if (std::pow(10.0, exponent) > larger) --exponent;
    if (std::pow(10.0, exponent + 1) <= larger) ++exponent;
    return std::fabs(a - b) < std::pow(10.0, exponent - 14) / 2;
}

double CancellingAdd(double a, double b) {
    return (a < 0) != (b < 0) && NearlyEqual(a, -b) ? 0 : a + b;
}

double CancellingSubtract(double a, double b) {
    return NearlyEqual(a, b) ? 0 : a - b;
}

int CompareScalars(const TFormulaValue& a, const TFormulaValue& b) {
    TFormulaValueType ta = a.ValType, tb = b.ValType;
    if (ta == fvNull && tb == fvNull) return 0;
    if (ta == fvNull) ta = tb;
    if (tb == fvNull) tb = ta;
    if (ta != tb) return KindRank(ta) < KindRank(tb) ? -1 : 1;
    switch (ta) {
    case fvFloat: {
        const double x = a.ValType == fvNull ? 0 : a.Float, y = b.ValType == fvNull ? 0 : b.Float;
        return NearlyEqual(x, y) ? 0 : x < y ? -1 : 1;
    }
    case fvBoolean: {
        const bool x = a.ValType == fvNull ? false : a.Boolean, y = b.ValType == fvNull ? false : b.Boolean;
        return x == y ? 0 : x ? 1 : -1;
    }
    default: {
        const std::u16string x = UpperCaseWide(a.ValType == fvNull ? u"" : a.Text);
        const std::u16string y = UpperCaseWide(b.ValType == fvNull ? u"" : b.Text);
        const int c = x.compare(y);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    }
}

double RoundHalfAway(double value, int digits) {
    if (!std::isfinite(value) || digits > 308 || digits < -308) return digits < -308 ? 0 : value;
    const double scale = std::pow(10.0, std::abs(digits));
    double x = digits >= 0 ? value * scale : value / scale;
    if (!std::isfinite(x)) return value;
    // The decimal value the double stands for: 2.675 is 2.67499999... in
    // binary but rounds as 2.675 does in a spreadsheet.
    if (std::fabs(x) < 1e15) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.14e", x);
        x = std::strtod(buf, nullptr);
    }
    const double r = std::round(x);
    return digits >= 0 ? r / scale : r * scale;
}

namespace {

// A positive value with decimals (none when 0 or less) where they ask for
// more than 15 significant digits: its first 15, then zeros
// ("123456789012346000", "1.570774248206160"); empty when they do not.
std::string FifteenDigits(double value, int decimals, const platform::RegionalSettings& rs) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const int exponent = std::atoi(buf + 17);
    decimals = std::max(decimals, 0);
    if (value == 0 || exponent + 1 + decimals <= 15) return {};
    const std::string significant = std::string(1, buf[0]) + std::string(buf + 2, 14);
    auto digit = [&](int position) { // of 10^position
        const int k = exponent - position;
        return k >= 0 && k < 15 ? significant[size_t(k)] : '0';
    };
    std::string out;
    for (int p = std::max(exponent, 0); p >= 0; --p) out += digit(p);
    if (decimals > 0) out += rs.decimalSeparator;
    for (int p = -1; p >= -decimals; --p) out += digit(p);
    return out;
}

// The digits of value rounded to decimals, grouped when asked; no sign.
// Digits past the 15th significant one show as zeros.
std::string Digits(double value, int decimals, bool groups, const platform::RegionalSettings& rs) {
    const double rounded = RoundHalfAway(std::fabs(value), decimals);
    std::string plain = FifteenDigits(rounded, decimals, rs);
    if (plain.empty()) plain = platform::FormatFixed(rounded, decimals > 0 ? decimals : 0, rs);
    if (!groups) return plain;
    const size_t sep = plain.find(rs.decimalSeparator);
    const std::string whole = plain.substr(0, sep);
    return platform::GroupDigits(whole, rs.thousandsSeparator) +
           (sep == std::string::npos ? "" : plain.substr(sep));
}

bool Negative(double value, int decimals) {
    return RoundHalfAway(value, decimals) < 0;
}
} // namespace

std::u16string FixedText(double value, int decimals, bool noGroups, const platform::RegionalSettings& rs) {
    std::string out = Negative(value, decimals) ? "-" : "";
    out += Digits(value, decimals, !noGroups, rs);
    return platform::AnsiToUtf16(out);
}

std::u16string MoneyText(double value, int decimals, const platform::RegionalSettings& rs) {
    const std::string n = Digits(value, decimals, true, rs);
    const bool negative = Negative(value, decimals);
    return platform::AnsiToUtf16(platform::PlaceCurrency(n, negative, rs));
}

} // namespace xls
