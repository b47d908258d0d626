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

std::optional<double> TextToNumber(std::u16string_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text) {
        if (c > 0x7F) return std::nullopt;
        narrow.push_back(char(c));
    }
    return platform::ParseDecimal(narrow, platform::Regional());
}

std::u16string NumberText(double value) {
    const std::u16string separator =
        platform::AnsiToUtf16(std::string(1, platform::Regional().decimalSeparator));
    return ShownGeneralText(value, separator.empty() ? u'.' : separator[0]);
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
    const double larger = std::max(std::fabs(a), std::fabs(b));
    // Whole numbers are exact up to 2^53: they carry no roundoff to forgive.
    if (larger <= 0x1p53 && a == std::trunc(a) && b == std::trunc(b)) return false;
    // Half a unit of the 15th significant digit of the larger, or the
    // roundoff of its last four bits where that is more (9.99999999999999
    // equals 9.99999999999998).
    const double halfUnit = std::pow(10.0, std::floor(std::log10(larger)) - 14) / 2;
    return std::fabs(a - b) < std::max(halfUnit, larger * 0x1p-48);
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

// The digits of value rounded to decimals, grouped when asked; no sign.
std::string Digits(double value, int decimals, bool groups, const platform::RegionalSettings& rs) {
    const double rounded = RoundHalfAway(std::fabs(value), decimals);
    std::string plain = platform::FormatFixed(rounded, decimals > 0 ? decimals : 0, rs);
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
