#include "SrcXLS/model/ExcelMask.h"

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xls {

namespace {

std::u16string Ascii(const char* s) {
    std::u16string out;
    for (; *s; ++s) out.push_back(char16_t(uint8_t(*s)));
    return out;
}

std::u16string Padded(int64_t v, int width) {
    std::u16string s = Ascii(std::to_string(v).c_str());
    if (int(s.size()) < width) s.insert(0, size_t(width) - s.size(), u'0');
    return s;
}

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool StartsWithNoCase(std::u16string_view s, size_t i, std::u16string_view word) {
    if (s.size() - i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (Lower(s[i + k]) != word[k]) return false;
    return true;
}

bool IsHourToken(uint8_t k) {
    return k >= mtkHour && k <= mtkHour12x2;
}

int PreviousSignificant(const std::vector<TMaskToken>& t) {
    for (int i = int(t.size()) - 1; i >= 0; --i)
        if (t[i].Kind != mtkLiteral && t[i].Kind != mtkString && t[i].Kind != mtkComma) return i;
    return -1;
}

void Push(TMaskSection& s, uint8_t kind, char16_t ch = 0, std::u16string str = {}) {
    s.Tokens.push_back({kind, ch, std::move(str)});
}

bool IsDigitToken(uint8_t k) {
    return k == mtkDigitOpt || k == mtkDigitSpace || k == mtkDigitZero;
}

// The language id of the system's long time format.
constexpr uint32_t SystemLongTime = 0xF400;

// The locale id after "[$-": hex digits, as many as there are (at most 8).
uint32_t LocaleId(std::u16string_view hex) {
    uint32_t id = 0;
    for (size_t i = 0; i < hex.size() && i < 8; ++i) {
        char16_t c = Lower(hex[i]);
        int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
        if (digit < 0) break;
        id = id << 4 | uint32_t(digit);
    }
    return id;
}

// "[h]" or "[hh]": the letter once or twice, the least number of digits shown.
bool IsRunOf(std::u16string_view s, char16_t letter) {
    return (s.size() == 1 || s.size() == 2) && s[0] == letter && s.back() == letter;
}

// language receives the locale id of a "[$-422]" (no currency text) when
// the caller allows one here.
void ParseBracket(TMaskSection& s, std::u16string_view inner, uint32_t* language) {
    std::u16string upper = UpperCaseWide(inner);
    const uint8_t elapsed = IsRunOf(upper, u'H')   ? mtkElapsedHours
                            : IsRunOf(upper, u'M') ? mtkElapsedMinutes
                            : IsRunOf(upper, u'S') ? mtkElapsedSeconds
                                                   : 0;
    if (!upper.empty() && upper[0] == u'$') {
        size_t dash = inner.find(u'-');
        std::u16string_view text = inner.substr(1, dash == inner.npos ? inner.npos : dash - 1);
        if (!text.empty())
            Push(s, mtkString, 0, std::u16string(text));
        else if (dash != inner.npos && language)
            *language = LocaleId(inner.substr(dash + 1));
    } else if (elapsed) {
        Push(s, elapsed, char16_t(upper.size()));
    } else if (!upper.empty() && (upper[0] == u'<' || upper[0] == u'>' || upper[0] == u'=')) {
        static const std::pair<std::u16string_view, TMaskCondition> ops[] = {
            {u"<=", mcLessEqual}, {u">=", mcGreaterEqual}, {u"<>", mcNotEqual},
            {u"<", mcLess},       {u">", mcGreater},       {u"=", mcEqual}};
        for (auto [op, cond] : ops)
            if (upper.starts_with(op)) {
                std::string number = WideToUtf8(std::u16string_view(upper).substr(op.size()));
                char* end = nullptr;
                double v = std::strtod(number.c_str(), &end);
                if (end != number.c_str()) {
                    s.Condition = cond;
                    s.ConditionValue = v;
                }
                break;
            }
    } else {
        static const std::pair<std::u16string_view, uint32_t> colors[] = {
            {u"BLACK", 0x000000}, {u"CYAN", 0xFF00FF},  {u"MAGENTA", 0x800080}, {u"WHITE", 0xFFFFFF},
            {u"BLUE", 0xFF0000},  {u"GREEN", 0x008000}, {u"RED", 0x0000FF},     {u"YELLOW", 0x00FFFF}};
        for (auto [name, color] : colors)
            if (upper == name) s.Color = color;
    }
    if (!s.Tokens.empty()) {
        uint8_t k = s.Tokens.back().Kind;
        if (k == mtkElapsedHours || k == mtkElapsedMinutes || k == mtkElapsedSeconds) s.Flags |= msfDateTime;
    }
}

// language: see ParseBracket; only the first section's leading brackets
// name the language of the whole format.
std::unique_ptr<TMaskSection> Tokenize(std::u16string_view s, uint32_t* language) {
    auto sec = std::make_unique<TMaskSection>();
    auto& t = sec->Tokens;
    bool afterPoint = false, inExponent = false;
    size_t i = 0, n = s.size();
    while (i < n) {
        char16_t c = s[i];
        char16_t lc = Lower(c);
        if (c == u'"') {
            size_t close = s.find(u'"', i + 1);
            if (close == s.npos) break;
            Push(*sec, mtkString, 0, std::u16string(s.substr(i + 1, close - i - 1)));
            i = close + 1;
        } else if (c == u'\\') {
            if (i + 1 < n) Push(*sec, mtkLiteral, s[i + 1]);
            i += 2;
        } else if (c == u'*') {
            // A fill to the cell's width: shown as nothing.
            i += 2;
        } else if (c == u'_') {
            // Room as wide as the next character: a blank.
            Push(*sec, mtkLiteral, u' ');
            i += 2;
        } else if (c == u'@') {
            Push(*sec, mtkText, c);
            sec->Flags = msfText;
            ++i;
        } else if (StartsWithNoCase(s, i, u"general")) {
            Push(*sec, mtkGeneral);
            i += 7;
        } else if (c == u'#' || c == u'?' || c == u'0') {
            Push(*sec, c == u'#' ? mtkDigitOpt : c == u'?' ? mtkDigitSpace : mtkDigitZero, c);
            if (inExponent) {
                ++sec->ExponentDigits;
            } else {
                if (afterPoint) ++sec->Decimals;
                // A comma between digits groups thousands; after them it scales.
                if (sec->TrailingCommas > 0 && !afterPoint) sec->Flags |= msfThousands;
                sec->TrailingCommas = 0;
            }
            ++i;
        } else if (c == u',') {
            Push(*sec, mtkComma, c);
            ++sec->TrailingCommas;
            ++i;
        } else if (c == u'.' && (sec->Flags & msfDateTime) && (i + 1 >= n || s[i + 1] != u'0')) {
            // Between the parts of a date a point separates them; only before
            // the decimals of a second is it the decimal separator.
            Push(*sec, mtkLiteral, c);
            ++i;
        } else if (c == u'.' && !afterPoint && !inExponent) {
            sec->DecimalPos = int(t.size());
            Push(*sec, mtkDecimalPoint, c);
            sec->Flags |= msfDecimalPoint;
            afterPoint = true;
            ++i;
        } else if (c == u'%') {
            Push(*sec, mtkPercent, c);
            sec->Flags |= msfPercent;
            ++i;
        } else if (lc == u'e' && i + 1 < n && (s[i + 1] == u'+' || s[i + 1] == u'-')) {
            Push(*sec, mtkText, c, std::u16string(s.substr(i, 2)));
            sec->Flags |= msfExponent;
            inExponent = true;
            i += 2;
        } else if (c == u'/' && !(sec->Flags & msfExponent) && !t.empty() && IsDigitToken(t.back().Kind) &&
                   i + 1 < n &&
                   (s[i + 1] == u'#' || s[i + 1] == u'?' || (s[i + 1] >= u'0' && s[i + 1] <= u'9'))) {
            Push(*sec, mtkFractionBar, c);
            sec->Flags |= msfFraction;
            ++i;
            if (s[i] >= u'1' && s[i] <= u'9') {
                size_t end = i;
                // Longer denominators are digits of their own.
                while (end < n && end - i < 6 && s[end] >= u'0' && s[end] <= u'9') ++end;
                Push(*sec, mtkDenominator, 0, std::u16string(s.substr(i, end - i)));
                i = end;
            }
        } else if (c == u'[') {
            size_t close = s.find(u']', i + 1);
            if (close == s.npos) {
                Push(*sec, mtkLiteral, c);
                ++i;
                continue;
            }
            ParseBracket(*sec, s.substr(i + 1, close - i - 1), t.empty() ? language : nullptr);
            i = close + 1;
        } else if (StartsWithNoCase(s, i, u"am/pm") || StartsWithNoCase(s, i, u"a/p")) {
            bool full = StartsWithNoCase(s, i, u"am/pm");
            uint8_t kind = !full ? mtkAP : s.substr(i, 5) == u"am/pm" ? mtkampm : mtkAMPM;
            Push(*sec, kind, c);
            sec->Flags |= msfDateTime;
            i += full ? 5 : 3;
        } else if (lc == u'd' || lc == u'h' || lc == u'm' || lc == u's' || lc == u'y') {
            size_t run = 1;
            while (i + run < n && Lower(s[i + run]) == lc) ++run;
            int prev = PreviousSignificant(t);
            uint8_t prevKind = prev >= 0 ? t[prev].Kind : 0xFF;
            uint8_t kind;
            if (lc == u'y')
                kind = run <= 2 ? mtkYear2 : mtkYear4;
            else if (lc == u'd')
                kind = uint8_t(mtkDay + std::min<size_t>(run, 4) - 1);
            else if (lc == u'h')
                kind = run == 1 ? mtkHour : mtkHour2;
            else if (lc == u's')
                kind = run == 1 ? mtkSecond : mtkSecond2;
            else if (run <= 2 && (IsHourToken(prevKind) || prevKind == mtkElapsedHours))
                kind = run == 1 ? mtkMinute : mtkMinute2;
            else
                kind = uint8_t(mtkMonth + std::min<size_t>(run, 5) - 1);
            // Seconds make a month right before them minutes.
            if (lc == u's' && (prevKind == mtkMonth || prevKind == mtkMonth + 1))
                t[prev].Kind = prevKind == mtkMonth ? mtkMinute : mtkMinute2;
            Push(*sec, kind, c);
            sec->Flags |= msfDateTime;
            i += run;
        } else {
            Push(*sec, mtkLiteral, c);
            ++i;
        }
    }
    // A section with an AM/PM mark shows every hour on the 12-hour clock,
    // before the mark or after it.
    if (std::any_of(t.begin(), t.end(),
                    [](const TMaskToken& k) { return k.Kind >= mtkAMPM && k.Kind <= mtkAP; }))
        for (TMaskToken& k : t)
            if (k.Kind == mtkHour || k.Kind == mtkHour2) k.Kind = k.Kind == mtkHour ? mtkHour12 : mtkHour12x2;
    for (size_t k = 0; k < t.size(); ++k) {
        uint8_t kind = t[k].Kind;
        if (IsDigitToken(kind) || kind == mtkDecimalPoint) {
            t.insert(t.begin() + k, TMaskToken{mtkNumberStart, 0, {}});
            if (sec->DecimalPos >= int(k)) ++sec->DecimalPos;
            if (kind != mtkDecimalPoint) sec->Flags &= uint8_t(~msfDateTime);
            break;
        }
    }
    sec->TrailingCommas = std::min(sec->TrailingCommas, 4);
    return sec;
}

// |v| rounded half away from zero to a number of decimals, as spreadsheet
// programs round what they show: the digits of the shortest text that reads
// back as v (so 0.15 gives 0.2, 2.675 gives 2.68 and 0.24999999999999997
// gives 0.2), of which at most 15 significant ones count. With fifteen, the
// digits are v's own to 15 places (for quotients whose last bits are noise).
struct TDigits {
    std::string Int;  // no leading zeros; empty for a zero integer part
    std::string Frac; // exactly the decimals asked for
    int Exponent = 0; // of the first significant digit, for exponent forms
    bool Zero = true;
};

enum class TDigitSource { Shortest, Fifteen };

TDigits RoundedDigits(double v, int decimals, TDigitSource source = TDigitSource::Shortest) {
    TDigits d;
    decimals = std::clamp(decimals, 0, 40);
    v = std::fabs(v);
    if (v == 0 || !std::isfinite(v)) {
        d.Frac.assign(size_t(decimals), '0');
        return d;
    }
    char buf[40];
    char* end = source == TDigitSource::Shortest
                    ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific).ptr
                    : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14).ptr;
    char* e = std::find(buf, end, 'e');
    std::string digits(1, buf[0]);
    if (buf + 1 < e) digits.append(buf + 2, e);
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
    int point = exponent + 1; // digits before the decimal point
    int keep = std::min(point + decimals, 15);
    if (keep < 0) {
        digits.clear();
    } else if (keep < int(digits.size())) {
        bool up = digits[size_t(keep)] >= '5';
        digits.resize(size_t(keep));
        if (up) {
            int k = keep - 1;
            while (k >= 0 && digits[size_t(k)] == '9') digits[size_t(k--)] = '0';
            if (k < 0) {
                digits.insert(digits.begin(), '1');
                ++point;
                ++exponent;
            } else {
                ++digits[size_t(k)];
            }
        }
    }
    for (int k = 0; k < point; ++k) d.Int.push_back(k < int(digits.size()) ? digits[size_t(k)] : '0');
    for (int k = point; k < point + decimals; ++k)
        d.Frac.push_back(k >= 0 && k < int(digits.size()) ? digits[size_t(k)] : '0');
    size_t first = d.Int.find_first_not_of('0');
    d.Int.erase(0, first == d.Int.npos ? d.Int.size() : first);
    d.Zero = d.Int.empty() && d.Frac.find_first_not_of('0') == d.Frac.npos;
    d.Exponent = exponent;
    return d;
}

// Digits into the digit placeholders of tokens [first, last), from the right:
// '0' pads with zeros, '?' with blanks, '#' with nothing; the leftmost
// placeholder (or the number start before it) takes the digits left over.
// Thousands separators go between every third digit shown. Literals stay
// where they are.
void PlaceInteger(const std::vector<TMaskToken>& t, int first, int last, std::string_view digits,
                  bool thousands, char16_t separator, std::u16string& out) {
    std::u16string placed;
    size_t left = digits.size();
    int shown = 0;
    auto digit = [&](char16_t c) {
        if (thousands && shown > 0 && shown % 3 == 0) placed.insert(placed.begin(), separator);
        placed.insert(placed.begin(), c);
        ++shown;
    };
    int leftmost = first;
    while (leftmost < last && !IsDigitToken(t[size_t(leftmost)].Kind)) ++leftmost;
    for (int k = last - 1; k >= first; --k) {
        const TMaskToken& tok = t[size_t(k)];
        switch (tok.Kind) {
        case mtkDigitOpt:
        case mtkDigitSpace:
        case mtkDigitZero:
            if (left > 0) {
                digit(char16_t(digits[--left]));
                while (k == leftmost && left > 0) digit(char16_t(digits[--left]));
            } else if (tok.Kind == mtkDigitZero) {
                digit(u'0');
            } else if (tok.Kind == mtkDigitSpace) {
                placed.insert(placed.begin(), u' ');
            }
            break;
        case mtkNumberStart:
            while (left > 0) digit(char16_t(digits[--left]));
            break;
        case mtkLiteral:
            placed.insert(placed.begin(), tok.Ch);
            break;
        case mtkString:
            placed.insert(0, tok.Str);
            break;
        case mtkPercent:
            placed.insert(placed.begin(), u'%');
            break;
        case mtkThreeSpaces:
            placed.insert(0, u"   ");
            break;
        default:
            break;
        }
    }
    out += placed;
}

// The decimals of tokens [first, last) after the decimal point: trailing
// zeros of '#' placeholders are left out and those of '?' become blanks; the
// point goes too when no decimal is left to show.
void PlaceFraction(const std::vector<TMaskToken>& t, int first, int last, std::string_view frac,
                   char16_t separator, std::u16string& out) {
    std::vector<int> places;
    for (int k = first; k < last; ++k)
        if (IsDigitToken(t[size_t(k)].Kind)) places.push_back(k);
    size_t shownDigits = std::min(places.size(), frac.size());
    size_t hidden = 0; // trailing placeholders not showing their zero
    for (size_t k = shownDigits; k-- > 0;) {
        if (t[size_t(places[k])].Kind == mtkDigitZero || frac[k] != '0') break;
        ++hidden;
    }
    bool pointShown = false;
    for (size_t k = 0; k < places.size(); ++k)
        if (k < shownDigits - hidden || t[size_t(places[k])].Kind != mtkDigitOpt) pointShown = true;
    size_t digit = 0;
    for (int k = first; k < last; ++k) {
        const TMaskToken& tok = t[size_t(k)];
        switch (tok.Kind) {
        case mtkDecimalPoint:
            if (pointShown) out.push_back(separator);
            break;
        case mtkDigitOpt:
        case mtkDigitSpace:
        case mtkDigitZero:
            if (digit < shownDigits - hidden)
                out.push_back(char16_t(frac[digit]));
            else if (tok.Kind == mtkDigitSpace)
                out.push_back(u' ');
            else if (tok.Kind == mtkDigitZero)
                out.push_back(u'0');
            ++digit;
            break;
        case mtkLiteral:
            out.push_back(tok.Ch);
            break;
        case mtkString:
            out += tok.Str;
            break;
        case mtkPercent:
            out.push_back(u'%');
            break;
        default:
            break;
        }
    }
}

// The fraction num/den nearest to v with a denominator up to maxDen (the
// smaller denominator of two as near).
void NearestFraction(double v, int64_t maxDen, int64_t& num, int64_t& den) {
    num = std::llround(v);
    den = 1;
    double best = std::fabs(v - double(num));
    for (int64_t d = 2; d <= maxDen && best > 0; ++d) {
        int64_t n = std::llround(v * double(d));
        double err = std::fabs(v - double(n) / double(d));
        if (err < best - 1e-12) {
            best = err;
            num = n;
            den = d;
        }
    }
}

std::string Decimal(int64_t v) {
    return std::to_string(v);
}

// Civil date of a day count from 1899-12-30.
void DecodeDate(int64_t days, int& year, int& month, int& day) {
    int64_t z = days - 25569 + 719468; // to days from 0000-03-01
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

std::u16string FloatToGeneralText(double value, char16_t decimalSeparator) {
    if (std::isnan(value)) return u"NAN";
    if (std::isinf(value)) return value > 0 ? u"INF" : u"-INF";
    // Fifteen significant digits, as "%.15g" gives them.
    char buf[40];
    char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15).ptr;
    std::u16string out;
    out.reserve(size_t(end - buf));
    for (const char* p = buf; p < end; ++p) {
        if (*p == '.') {
            out.push_back(decimalSeparator);
        } else if (*p == 'e') {
            // "1e+20" is written "1E20", "1e-07" "1E-7".
            out.push_back(u'E');
            ++p;
            if (*p == '-') out.push_back(u'-');
            ++p;
            while (p + 1 < end && *p == '0') ++p;
            for (; p < end; ++p) out.push_back(char16_t(*p));
            break;
        } else {
            out.push_back(char16_t(*p));
        }
    }
    return out;
}

std::u16string ShownGeneralText(double value, char16_t decimalSeparator) {
    std::u16string out;
    ShownGeneralTextTo(value, decimalSeparator, out);
    return out;
}

void ShownGeneralTextTo(double value, char16_t decimalSeparator, std::u16string& result) {
    if (std::isnan(value)) {
        result = u"NAN";
        return;
    }
    if (std::isinf(value)) {
        result = value > 0 ? u"INF" : u"-INF";
        return;
    }
    if (value == 0) {
        result = u"0";
        return;
    }
    const double a = std::fabs(value);
    // Built as ASCII with '.' standing for the separator, widened once: this
    // runs for every number cell an automatic column width measures.
    char text[48];
    char* out = text;
    if (value < 0) *out++ = '-';
    if (a <= 9007199254740992.0 && a == std::trunc(a)) {
        out = std::to_chars(out, text + sizeof text, int64_t(a)).ptr;
    } else {
        // Fifteen significant digits, as "%.14e" gives them.
        char buf[32];
        const char* e = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14).ptr;
        char digits[16];
        digits[0] = buf[0];
        std::memcpy(digits + 1, buf + 2, 14);
        int count = 15;
        while (count > 1 && digits[count - 1] == '0') --count;
        int exponent = 0;
        std::from_chars(buf + 18, e, exponent);
        if (buf[17] == '-') exponent = -exponent;
        const int decimals = std::max(0, count - exponent - 1);
        if (a >= 1e15 || exponent < -9 || decimals > 18) {
            *out++ = digits[0];
            if (count > 1) {
                *out++ = '.';
                out = std::copy(digits + 1, digits + count, out);
            }
            *out++ = 'E';
            *out++ = exponent < 0 ? '-' : '+';
            const int magnitude = std::abs(exponent);
            if (exponent >= 0 && magnitude < 100) *out++ = '0';
            if (magnitude < 10) *out++ = '0';
            out = std::to_chars(out, text + sizeof text, magnitude).ptr;
        } else if (exponent < 0) {
            *out++ = '0';
            *out++ = '.';
            out = std::fill_n(out, -exponent - 1, '0');
            out = std::copy(digits, digits + count, out);
        } else {
            for (int k = 0; k <= exponent; ++k) *out++ = k < count ? digits[k] : '0';
            if (decimals > 0) {
                *out++ = '.';
                out = std::copy(digits + exponent + 1, digits + count, out);
            }
        }
    }
    result.resize(size_t(out - text));
    for (size_t i = 0; i < result.size(); ++i)
        result[i] = text[i] == '.' ? decimalSeparator : char16_t(text[i]);
}

bool TMaskSection::Matches(double v) const {
    switch (Condition) {
    case mcLess:
        return v < ConditionValue;
    case mcGreater:
        return v > ConditionValue;
    case mcEqual:
        return v == ConditionValue;
    case mcLessEqual:
        return v <= ConditionValue;
    case mcGreaterEqual:
        return v >= ConditionValue;
    case mcNotEqual:
        return v != ConditionValue;
    default:
        return true;
    }
}

const TXLSLocale& TExcelMask::Locale() const {
    if (language) return *language;
    return locale ? *locale : LibState().Locale;
}

void TExcelMask::SetMask(std::u16string_view text) {
    if (text.size() > 255) throw XLSError("Format string more than 255 characthers");
    mask = text == u"GENERAL" ? u"@" : std::u16string(text);
    for (auto& s : sections) s.reset();
    language = nullptr;
    uint32_t languageId = 0;
    std::u16string_view m(mask);
    size_t start = 0;
    int index = 0;
    bool quoted = false;
    for (size_t i = 0; i <= m.size() && index < 4; ++i) {
        if (i < m.size() && m[i] == u'"') quoted = !quoted;
        if (i == m.size() || (m[i] == u';' && !quoted)) {
            sections[index] = Tokenize(m.substr(start, i - start), index == 0 ? &languageId : nullptr);
            if (index == 2) sections[index]->Flags |= msfZero;
            ++index;
            start = i + 1;
        }
    }
    // A last second or third section that holds '@' is the text section:
    // numbers take the sections before it.
    if ((index == 2 || index == 3) && (sections[size_t(index - 1)]->Flags & msfText))
        sections[3] = std::move(sections[size_t(index - 1)]);
    language = LocaleOfLanguage(languageId);
    // "[$-F400]" names the system's long time, which shows the hours in two
    // digits ("07:12:00 AM").
    if ((languageId & 0xFFFF) == SystemLongTime)
        for (TMaskToken& k : sections[0]->Tokens)
            if (k.Kind == mtkHour || k.Kind == mtkHour12) k.Kind = k.Kind == mtkHour ? mtkHour2 : mtkHour12x2;
}

// Without conditions the first section shows positive numbers (and zero when
// there are two), the second negative ones without their sign, the third
// zero. A condition on the first section picks it for the numbers it holds;
// of the others the second takes those its own condition holds, or without
// one the negative numbers when a third follows and all of them when not;
// the third the rest. The second section always shows the number without
// its sign, and so does a first one whose condition takes the negative
// numbers ("[<0]", "[<=0]") while the second's takes the others or there is
// none.
const TMaskSection* TExcelMask::Choose(double value, bool& unsigned_) const {
    unsigned_ = false;
    const TMaskSection* first = sections[0].get();
    const TMaskSection* second = sections[1].get();
    const TMaskSection* third = sections[2].get();
    if (first && first->ConditionValue == 0 &&
        (first->Condition == mcLess || first->Condition == mcLessEqual) && first->Matches(value)) {
        if (!second)
            unsigned_ = true;
        else if (second->Condition == mcNone)
            unsigned_ = !third;
        else if (second->ConditionValue == 0)
            unsigned_ = second->Condition == mcGreater ||
                        (first->Condition == mcLess &&
                         (second->Condition == mcEqual || second->Condition == mcGreaterEqual));
        return first;
    }
    if (!second) return first;
    if (first->Condition != mcNone) {
        if (first->Matches(value)) return first;
        const bool secondTakes = second->Condition != mcNone ? second->Matches(value) : !third || value < 0;
        if (secondTakes || !third) {
            unsigned_ = true;
            return secondTakes ? second : nullptr;
        }
        return third;
    }
    if (value < 0) {
        unsigned_ = true;
        return second;
    }
    if (third && value == 0) return third;
    return first;
}

const TMaskSection* TExcelMask::TextSection() const {
    if (sections[0] && (sections[0]->Flags & msfText)) return sections[0].get();
    return sections[3].get();
}

std::u16string TExcelMask::FormatText(std::u16string_view text) const {
    const TMaskSection* s = TextSection();
    return s ? RenderText(*s, text) : std::u16string(text);
}

// In a text section '@' and "General" stand for the text; placeholders of
// numbers are shown as written, codes of dates and colours not at all.
std::u16string TExcelMask::RenderText(const TMaskSection& s, std::u16string_view text) const {
    std::u16string out;
    for (const TMaskToken& t : s.Tokens) {
        switch (t.Kind) {
        case mtkText:
            if (t.Str.empty())
                out += text;
            else
                out += t.Str;
            break;
        case mtkGeneral:
            out += text;
            break;
        case mtkString:
        case mtkDenominator:
            out += t.Str;
            break;
        case mtkThreeSpaces:
            out += u"   ";
            break;
        case mtkLiteral:
        case mtkDigitOpt:
        case mtkDigitSpace:
        case mtkDigitZero:
        case mtkDecimalPoint:
        case mtkPercent:
        case mtkComma:
        case mtkFractionBar:
            out.push_back(t.Ch);
            break;
        default:
            break;
        }
    }
    return out;
}

std::u16string TExcelMask::FormatValue(double value) const {
    if (mask == u"##,_b_y_t_e_s") return FormatByteSize(value);
    bool unsigned_ = false;
    const TMaskSection* s = Choose(value, unsigned_);
    return Render(s, unsigned_ ? std::fabs(value) : value);
}

std::u16string TExcelMask::Render(const TMaskSection* s, double value) const {
    const char16_t separator = Locale().DecimalSeparator;
    // An empty section of several shows nothing; an empty mask is General.
    if (s && s->Tokens.empty() && sections[1]) return {};
    // A number in the text section of several shows the section's text alone.
    if (s && (s->Flags & msfText) && sections[1]) return RenderText(*s, {});
    if (!s || s->Tokens.empty() || (s->Flags & msfText)) return ShownGeneralText(value, separator);
    if (s->Flags & msfDateTime) return RenderDateTime(*s, value);
    const bool general = std::any_of(s->Tokens.begin(), s->Tokens.end(),
                                     [](const TMaskToken& t) { return t.Kind == mtkGeneral; });
    if (general) {
        std::u16string out;
        for (const TMaskToken& t : s->Tokens) {
            if (t.Kind == mtkGeneral) out += ShownGeneralText(value, separator);
            if (t.Kind == mtkLiteral) out.push_back(t.Ch);
            if (t.Kind == mtkString) out += t.Str;
        }
        return out;
    }
    if (s->Flags & msfExponent) return RenderExponent(*s, value);
    if (s->Flags & msfFraction) return RenderFraction(*s, value);
    return RenderNumber(*s, value);
}

namespace {
// A minus before the whole text, for a number shown as other than zero.
std::u16string Signed(std::u16string text, bool negative) {
    if (negative) text.insert(text.begin(), u'-');
    return text;
}

bool HasDigits(const std::vector<TMaskToken>& t) {
    return std::any_of(t.begin(), t.end(), [](const TMaskToken& k) { return IsDigitToken(k.Kind); });
}
} // namespace

std::u16string TExcelMask::RenderNumber(const TMaskSection& s, double value) const {
    const TXLSLocale& loc = Locale();
    double v = std::fabs(value) / std::pow(10.0, 3 * s.TrailingCommas);
    if (s.Flags & msfPercent) v *= 100;
    const TDigits d = RoundedDigits(v, s.Decimals);
    const auto& t = s.Tokens;
    const int point = s.DecimalPos >= 0 ? s.DecimalPos : int(t.size());
    std::u16string out;
    PlaceInteger(t, 0, point, d.Int, s.Flags & msfThousands, loc.ThousandSeparator, out);
    if (s.DecimalPos >= 0) PlaceFraction(t, point, int(t.size()), d.Frac, loc.DecimalSeparator, out);
    return Signed(std::move(out), value < 0 && !d.Zero && HasDigits(t));
}

// The mantissa shows one integer digit, the other placeholders before the
// point padding it ("00.00E+0": 03.02E+6); with '#' among several of them
// the exponent is a multiple of their count ("##0.0E+0": 123.5E+3). Minus
// zero keeps its sign.
std::u16string TExcelMask::RenderExponent(const TMaskSection& s, double value) const {
    const auto& t = s.Tokens;
    int mark = 0;
    while (mark < int(t.size()) && !(t[size_t(mark)].Kind == mtkText && !t[size_t(mark)].Str.empty())) ++mark;
    const int point = s.DecimalPos >= 0 && s.DecimalPos < mark ? s.DecimalPos : mark;
    int intPlaces = 0;
    bool optional = false;
    for (int k = 0; k < point; ++k)
        if (IsDigitToken(t[size_t(k)].Kind)) {
            ++intPlaces;
            optional = optional || t[size_t(k)].Kind == mtkDigitOpt;
        }
    const int step = intPlaces > 1 && optional ? intPlaces : 1;
    const double a = std::fabs(value);
    TDigits d;
    int exponent = 0;
    if (a != 0 && std::isfinite(a)) {
        exponent = RoundedDigits(a, 40, TDigitSource::Fifteen).Exponent;
        for (int pass = 0; pass < 2; ++pass) {
            const int base = step > 1 ? int(std::floor(double(exponent) / step)) * step : exponent;
            d = RoundedDigits(a / std::pow(10.0, base), s.Decimals, TDigitSource::Fifteen);
            if (int(d.Int.size()) <= step || pass == 1) {
                exponent = base;
                break;
            }
            ++exponent;
        }
    } else {
        // Zero shows one digit however optional its places are: "0E+0".
        d = RoundedDigits(0, s.Decimals);
        d.Int = "0";
    }
    const TXLSLocale& loc = Locale();
    std::u16string out;
    PlaceInteger(t, 0, point, d.Int, false, loc.ThousandSeparator, out);
    if (s.DecimalPos >= 0 && s.DecimalPos < mark)
        PlaceFraction(t, point, mark, d.Frac, loc.DecimalSeparator, out);
    if (mark < int(t.size())) {
        out.push_back(t[size_t(mark)].Str[0]);
        if (exponent < 0)
            out.push_back(u'-');
        else if (t[size_t(mark)].Str[1] == u'+')
            out.push_back(u'+');
        out += Padded(std::abs(exponent), std::max(s.ExponentDigits, 1));
        for (size_t k = size_t(mark) + 1; k < t.size(); ++k) {
            if (t[k].Kind == mtkLiteral) out.push_back(t[k].Ch);
            if (t[k].Kind == mtkString) out += t[k].Str;
        }
    }
    return Signed(std::move(out), std::signbit(value) && (!d.Zero || value == 0));
}

// "# ?/?": a whole part, a numerator and a denominator of as many places
// (or a fixed one); without a whole part the fraction is improper. Under a
// whole part a fraction of 0 is hidden (unless its numerator has a '0'):
// where '?' placeholders are, blanks keep its room, else it goes with the
// text before it. A whole part of 0 shows as its placeholders say, and the
// text between it and the fraction goes with it when it shows nothing and
// the numerator has no '?'.
std::u16string TExcelMask::RenderFraction(const TMaskSection& s, double value) const {
    const auto& t = s.Tokens;
    int bar = 0;
    while (t[size_t(bar)].Kind != mtkFractionBar) ++bar;
    int numFirst = bar;
    while (numFirst > 0 && IsDigitToken(t[size_t(numFirst - 1)].Kind)) --numFirst;
    int wholeLast = numFirst; // tokens of the whole part end here
    bool hasWhole = false;
    for (int k = 0; k < numFirst; ++k)
        if (IsDigitToken(t[size_t(k)].Kind)) {
            hasWhole = true;
            wholeLast = k + 1;
        }
    int denLast = bar + 1;
    int64_t fixed = 0;
    int denPlaces = 0;
    if (denLast < int(t.size()) && t[size_t(denLast)].Kind == mtkDenominator) {
        fixed = std::atoll(WideToUtf8(t[size_t(denLast)].Str).c_str());
        ++denLast;
    } else {
        while (denLast < int(t.size()) && IsDigitToken(t[size_t(denLast)].Kind)) {
            ++denPlaces;
            ++denLast;
        }
    }
    auto has = [&](int from, int to, uint8_t kind) {
        for (int k = from; k < to; ++k)
            if (t[size_t(k)].Kind == kind) return true;
        return false;
    };
    const double a = std::fabs(value);
    // From 1E15 on a number has no fraction to show: a whole part shows its
    // digits and the fraction its room; without one, the general text.
    const bool huge = !(a < 1e15);
    if (!std::isfinite(a) || (huge && !hasWhole)) return ShownGeneralText(value, Locale().DecimalSeparator);
    double whole = hasWhole ? std::floor(a) : 0;
    const double part = a - whole;
    int64_t num, den;
    if (huge) {
        num = 0;
        den = std::max<int64_t>(fixed, 1);
    } else if (fixed > 0) {
        // The nearest numerator; of two as near the smaller.
        den = fixed;
        num = int64_t(std::ceil(part * double(den) - 0.5));
    } else {
        int64_t maxDen = 1;
        for (int k = 0; k < std::min(denPlaces, 4); ++k) maxDen *= 10;
        NearestFraction(part, std::max<int64_t>(maxDen - 1, 1), num, den);
    }
    if (hasWhole && num >= den) {
        whole += 1;
        num = 0;
    }
    const TXLSLocale& loc = Locale();
    std::u16string out;
    auto copyText = [&](int from, int to) {
        for (int k = from; k < to; ++k) {
            if (t[size_t(k)].Kind == mtkLiteral) out.push_back(t[size_t(k)].Ch);
            if (t[size_t(k)].Kind == mtkString) out += t[size_t(k)].Str;
        }
    };
    auto placeDenominator = [&] {
        out.push_back(u'/');
        const std::string denDigits = Decimal(den);
        out += Ascii(denDigits.c_str());
        if (fixed > 0) return;
        for (int k = bar + 1 + int(denDigits.size()); k < denLast; ++k)
            if (t[size_t(k)].Kind == mtkDigitSpace)
                out.push_back(u' ');
            else if (t[size_t(k)].Kind == mtkDigitZero)
                out.push_back(u'0');
    };
    if (!hasWhole) {
        PlaceInteger(t, 0, bar, Decimal(num), false, loc.ThousandSeparator, out);
        placeDenominator();
    } else {
        const bool hidden = num == 0 && !has(numFirst, bar, mtkDigitZero);
        const bool fractionBlanks = has(numFirst, denLast, mtkDigitSpace);
        const bool wholeShowsZero = has(0, wholeLast, mtkDigitZero) || has(0, wholeLast, mtkDigitSpace);
        const std::string wholeDigits = huge        ? RoundedDigits(whole, 0).Int
                                        : whole > 0 ? Decimal(int64_t(whole))
                                        : num == 0  ? "0"
                                                    : "";
        PlaceInteger(t, 0, wholeLast, wholeDigits, false, loc.ThousandSeparator, out);
        const bool keepBetween = hidden ? fractionBlanks || has(0, wholeLast, mtkDigitSpace)
                                        : whole > 0 || wholeShowsZero || has(numFirst, bar, mtkDigitSpace);
        if (keepBetween) copyText(wholeLast, numFirst);
        if (!hidden) {
            PlaceInteger(t, numFirst, bar, Decimal(num), false, loc.ThousandSeparator, out);
            placeDenominator();
        } else if (fractionBlanks) {
            for (int k = numFirst; k < denLast; ++k) {
                const TMaskToken& tok = t[size_t(k)];
                if (tok.Kind == mtkDigitSpace || tok.Kind == mtkFractionBar) out.push_back(u' ');
            }
        }
    }
    copyText(denLast, int(t.size()));
    return Signed(std::move(out), value < 0 && (whole > 0 || num > 0));
}

namespace {
// v to 15 significant digits: a time of day computed from a date and time
// loses its last bits, and 45000.291666666664 is 7:00:00.
double Approx15(double v) {
    char buf[40];
    char* end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14).ptr;
    double out = v;
    std::from_chars(buf, end, out);
    return out;
}

bool IsDateToken(uint8_t k) {
    return k >= mtkYear2 && k <= mtkDay + 3;
}

bool IsElapsedToken(uint8_t k) {
    return k == mtkElapsedHours || k == mtkElapsedMinutes || k == mtkElapsedSeconds;
}

// x rounded half up to decimals, the scaled value first taken to 15
// significant digits (3.4999999999999964 rounds as 3.5).
double RoundCorrected(double x, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::floor(Approx15(x * scale) + 0.5) / scale;
}

// The decimals of a clock time's second are rounded (12.345678 s shows
// 12.35 under "ss.00"): the seconds of the day are first rounded to the
// nanosecond, or to fewer places as the date takes digits of the 15, then
// the second's fraction to its decimals, so that a tie falls as the digits
// of the time say (0.09336510416666667 is 2:14:26.745, shown .74 when it
// is one below the tie). A fraction that would round up to the next second
// is cut instead (62.96 s shows 01:02.9 under "mm:ss.0"). units is the
// time of day cut to 1/unit seconds.
int64_t RoundedSecondFraction(double value, int64_t units, int64_t unit, int decimals) {
    const double a = std::fabs(value);
    const int places = a < 1 ? 9 : std::clamp(10 - int(std::ceil(std::log10(a))), 2, 9);
    const double raw = (value - std::floor(value)) * 86400.0;
    double seconds = RoundCorrected(raw, places);
    if (seconds >= 86400.0) seconds = raw;
    const double whole = std::floor(seconds);
    if (whole != double(units / unit)) return units;
    const double part = seconds - whole;
    double fraction = RoundCorrected(part, decimals);
    if (fraction >= 1) fraction = std::trunc(part * double(unit)) / double(unit);
    return units / unit * unit + std::llround(fraction * double(unit));
}
} // namespace

namespace {

// What a date and time format shows of a value: the day, the time of day in
// 1/Unit seconds (Decimals of the second shown), a minus for a negative
// elapsed time, and whether month names after a day are in the genitive.
struct TDateTimeParts {
    int64_t Days = 0, Units = 0, Unit = 1;
    int Decimals = 0;
    bool Negative = false, Genitive = false;
};

TDateTimeParts DateTimeParts(const std::vector<TMaskToken>& t, double value) {
    TDateTimeParts d;
    for (size_t k = 0; k + 1 < t.size(); ++k)
        if (t[k].Kind == mtkDecimalPoint && t[k + 1].Kind == mtkDigitZero) {
            for (size_t j = k + 1; j < t.size() && t[j].Kind == mtkDigitZero; ++j) ++d.Decimals;
            d.Decimals = std::min(d.Decimals, 3);
            break;
        }
    bool elapsed = false, hasDate = false, timeShown = false;
    int firstDayOfMonth = -1, firstMonthName = -1;
    for (size_t k = 0; k < t.size(); ++k) {
        const uint8_t kind = t[k].Kind;
        elapsed = elapsed || IsElapsedToken(kind);
        hasDate = hasDate || IsDateToken(kind);
        timeShown = timeShown || (kind >= mtkHour && kind <= mtkAP);
        if ((kind == mtkDay || kind == mtkDay + 1) && firstDayOfMonth < 0) firstDayOfMonth = int(k);
        if (kind >= mtkMonth + 2 && kind <= mtkMonth + 4 && firstMonthName < 0) firstMonthName = int(k);
    }
    // Month names after a day of the month are in the genitive ("2 січня").
    d.Genitive = firstDayOfMonth >= 0 && firstDayOfMonth < firstMonthName;
    const int64_t unit = d.Unit = d.Decimals == 0 ? 1 : d.Decimals == 1 ? 10 : d.Decimals == 2 ? 100 : 1000;
    if (elapsed) {
        d.Units = std::llround(std::fabs(value) * 86400.0 * double(unit));
        d.Negative = value < 0 && d.Units > 0;
        d.Days = int64_t(std::floor(value));
        return d;
    }
    const double perDay = 86400.0 * double(unit);
    const double wholeDay = std::floor(value);
    const double scaled = std::floor(Approx15(value * perDay));
    double day = std::floor(scaled / perDay);
    double inDay = scaled - day * perDay;
    if (inDay < 0) {
        day -= 1;
        inDay += perDay;
    }
    // Half a unit short of midnight stays on its day.
    const bool nextDay =
        timeShown && hasDate && day == wholeDay && std::ceil((value - wholeDay) * perDay - 0.5) >= perDay;
    if (nextDay) {
        day += 1;
        inDay = 0;
    }
    d.Days = int64_t(day);
    d.Units = std::clamp<int64_t>(int64_t(inDay), 0, 86400 * unit - 1);
    if (d.Decimals > 0 && !nextDay) d.Units = RoundedSecondFraction(value, d.Units, unit, d.Decimals);
    return d;
}

} // namespace

// Elapsed times ("[h]:mm:ss") are rounded to the second, or to the decimals
// of the second shown, and show a minus when negative. A clock time is cut:
// 13:29:59.6 shows as 13:29:59. Only where a date is shown does a time that
// rounds to the end of the day turn into the next day at 0:00:00; without one
// 23:59:59.9 stays 23:59:59.
std::u16string TExcelMask::RenderDateTime(const TMaskSection& s, double value) const {
    const TXLSLocale& loc = Locale();
    const auto& t = s.Tokens;
    if (!std::isfinite(value) || std::fabs(value) * 86400000.0 > 9e18)
        return FloatToGeneralText(value, loc.DecimalSeparator);
    const TDateTimeParts parts = DateTimeParts(t, value);
    const int64_t days = parts.Days, units = parts.Units, unit = parts.Unit;
    const int decimals = parts.Decimals;
    const bool negative = parts.Negative, genitive = parts.Genitive;
    const int64_t totalSeconds = units / unit;
    const int64_t fraction = units % unit;
    const int hour = int(totalSeconds / 3600 % 24), minute = int(totalSeconds / 60 % 60),
              second = int(totalSeconds % 60);
    int year, month, day;
    // Day 0 of the 1904 system is day 1462 of the 1900 one.
    const int64_t civilDays = Date1904 ? days + 1462 : days;
    DecodeDate(civilDays, year, month, day);
    int dow = int(((civilDays + 6) % 7 + 7) % 7); // 1899-12-30 was a Saturday; Sunday is 0
    int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    const std::u16string& monthName = genitive && !loc.GenitiveMonthNames[size_t(month - 1)].empty()
                                          ? loc.GenitiveMonthNames[size_t(month - 1)]
                                          : loc.LongMonthNames[size_t(month - 1)];

    std::u16string out;
    for (size_t k = 0; k < t.size(); ++k) {
        const TMaskToken& tok = t[k];
        switch (tok.Kind) {
        case mtkLiteral:
            out.push_back(tok.Ch == u'/' ? loc.DateSeparator : tok.Ch == u':' ? loc.TimeSeparator : tok.Ch);
            break;
        case mtkString:
            out += tok.Str;
            break;
        case mtkYear2:
            out += Padded((year % 100 + 100) % 100, 2);
            break;
        case mtkYear4:
            out += Padded(year, 4);
            break;
        case mtkMonth:
            out += Padded(month, 1);
            break;
        case mtkMonth + 1:
            out += Padded(month, 2);
            break;
        case mtkMonth + 2:
            out += loc.ShortMonthNames[month - 1];
            break;
        case mtkMonth + 3:
            out += monthName;
            break;
        case mtkMonth + 4:
            out += monthName.substr(0, 1);
            break;
        case mtkDay:
            out += Padded(day, 1);
            break;
        case mtkDay + 1:
            out += Padded(day, 2);
            break;
        case mtkDay + 2:
            out += loc.ShortDayNames[dow];
            break;
        case mtkDay + 3:
            out += loc.LongDayNames[dow];
            break;
        case mtkHour:
            out += Padded(hour, 1);
            break;
        case mtkHour2:
            out += Padded(hour, 2);
            break;
        case mtkHour12:
            out += Padded(hour12, 1);
            break;
        case mtkHour12x2:
            out += Padded(hour12, 2);
            break;
        case mtkElapsedHours:
            out += Padded(totalSeconds / 3600, tok.Ch);
            break;
        case mtkElapsedMinutes:
            out += Padded(totalSeconds / 60, tok.Ch);
            break;
        case mtkElapsedSeconds:
            out += Padded(totalSeconds, tok.Ch);
            break;
        case mtkMinute:
            out += Padded(minute, 1);
            break;
        case mtkMinute2:
            out += Padded(minute, 2);
            break;
        case mtkSecond:
            out += Padded(second, 1);
            break;
        case mtkSecond2:
            out += Padded(second, 2);
            break;
        // In the letter case the spreadsheet programs show, whatever the mask's.
        case mtkAMPM:
        case mtkampm:
            out += hour < 12 ? u"AM" : u"PM";
            break;
        case mtkAP:
            out.push_back(hour < 12 ? u'a' : u'p');
            break;
        case mtkDecimalPoint:
            if (k + 1 < t.size() && t[k + 1].Kind == mtkDigitZero) {
                out.push_back(loc.DecimalSeparator);
                out += Padded(fraction, decimals);
                while (k + 1 < t.size() && t[k + 1].Kind == mtkDigitZero) ++k;
            } else {
                out.push_back(u'.');
            }
            break;
        case mtkPercent:
            out.push_back(u'%');
            break;
        case mtkThreeSpaces:
            out += u"   ";
            break;
        case mtkComma:
            out.push_back(u',');
            break;
        default:
            break;
        }
    }
    if (negative) out.insert(out.begin(), u'-');
    return out;
}

std::u16string TExcelMask::FormatByteSize(double value) const {
    auto fixed2 = [&](double v, const char* unit) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f %s", v, unit);
        std::u16string s = Ascii(buf);
        for (char16_t& c : s)
            if (c == u'.') c = Locale().DecimalSeparator;
        return s;
    };
    if (value == 0) return u"0 bytes";
    if (value < 1024) return Ascii(std::to_string(int64_t(std::nearbyint(value))).c_str()) + u" bytes";
    if (value < 1048576) return fixed2(value / 1024, "kb");
    if (value < 1073741824) return fixed2(value / 1048576, "Mb");
    return fixed2(value / 1073741824, "Gb");
}

} // namespace xls
