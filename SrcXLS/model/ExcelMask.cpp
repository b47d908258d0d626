#include "SrcXLS/model/ExcelMask.h"

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

void ParseBracket(TMaskSection& s, std::u16string_view inner) {
    std::u16string upper = UpperCaseWide(inner);
    if (!upper.empty() && upper[0] == u'$') {
        size_t dash = inner.find(u'-');
        Push(s, mtkString, 0, std::u16string(inner.substr(1, dash == inner.npos ? inner.npos : dash - 1)));
    } else if (upper == u"H" || upper == u"HH") {
        Push(s, mtkElapsedHours);
    } else if (upper == u"M" || upper == u"MM") {
        Push(s, mtkElapsedMinutes);
    } else if (upper == u"S" || upper == u"SS") {
        Push(s, mtkElapsedSeconds);
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

std::unique_ptr<TMaskSection> Tokenize(std::u16string_view s) {
    auto sec = std::make_unique<TMaskSection>();
    auto& t = sec->Tokens;
    bool afterPoint = false;
    size_t i = 0, n = s.size();
    while (i < n) {
        char16_t c = s[i];
        char16_t lc = Lower(c);
        if (c == u'"') {
            size_t close = s.find(u'"', i + 1);
            if (close == s.npos) break;
            Push(*sec, mtkString, 0, std::u16string(s.substr(i + 1, close - i - 1)));
            i = close + 1;
        } else if (c == u'\\' || c == u'*') {
            if (i + 1 < n) Push(*sec, mtkLiteral, s[i + 1]);
            i += 2;
        } else if (c == u'_') {
            i += 2;
        } else if (c == u'@') {
            Push(*sec, mtkText, c);
            sec->Flags = msfText;
            ++i;
        } else if (c == u'#' || c == u'?' || c == u'0') {
            Push(*sec, c == u'#' ? mtkDigitOpt : c == u'?' ? mtkDigitSpace : mtkDigitZero, c);
            if (afterPoint) ++sec->Decimals;
            sec->TrailingCommas = 0;
            ++i;
        } else if (c == u',') {
            Push(*sec, mtkComma, c);
            sec->Flags |= msfThousands;
            ++sec->TrailingCommas;
            ++i;
        } else if (c == u'.') {
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
            i += 2;
        } else if (c == u'[') {
            size_t close = s.find(u']', i + 1);
            if (close == s.npos) {
                Push(*sec, mtkLiteral, c);
                ++i;
                continue;
            }
            ParseBracket(*sec, s.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (StartsWithNoCase(s, i, u"am/pm") || StartsWithNoCase(s, i, u"a/p")) {
            bool full = StartsWithNoCase(s, i, u"am/pm");
            uint8_t kind = !full ? mtkAP : s.substr(i, 5) == u"am/pm" ? mtkampm : mtkAMPM;
            Push(*sec, kind, c);
            for (int k = int(t.size()) - 2; k >= 0; --k)
                if (t[k].Kind == mtkHour || t[k].Kind == mtkHour2) {
                    t[k].Kind = t[k].Kind == mtkHour ? mtkHour12 : mtkHour12x2;
                    break;
                }
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
            else if (run <= 2 && IsHourToken(prevKind))
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
    for (size_t k = 0; k < t.size(); ++k) {
        uint8_t kind = t[k].Kind;
        if (kind == mtkDigitOpt || kind == mtkDigitSpace || kind == mtkDigitZero || kind == mtkDecimalPoint) {
            t.insert(t.begin() + k, TMaskToken{mtkNumberStart, 0, {}});
            if (sec->DecimalPos >= int(k)) ++sec->DecimalPos;
            if (kind != mtkDecimalPoint) sec->Flags &= uint8_t(~msfDateTime);
            break;
        }
    }
    sec->TrailingCommas = std::min(sec->TrailingCommas, 4);
    return sec;
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
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    size_t e = s.find('e');
    std::string mantissa = s.substr(0, e), exponent;
    if (e != s.npos) {
        int x = std::stoi(s.substr(e + 1));
        exponent = "E" + std::to_string(x);
    }
    std::u16string out = Ascii((mantissa + exponent).c_str());
    for (char16_t& c : out)
        if (c == u'.') c = decimalSeparator;
    return out;
}

const TXLSLocale& TExcelMask::Locale() const {
    return locale ? *locale : LibState().Locale;
}

void TExcelMask::SetMask(std::u16string_view text) {
    if (text.size() > 255) throw XLSError("Format string more than 255 characthers");
    mask = text == u"GENERAL" ? u"@" : std::u16string(text);
    for (auto& s : sections) s.reset();
    std::u16string_view m(mask);
    size_t start = 0;
    int index = 0;
    bool quoted = false;
    for (size_t i = 0; i <= m.size() && index < 4; ++i) {
        if (i < m.size() && m[i] == u'"') quoted = !quoted;
        if (i == m.size() || (m[i] == u';' && !quoted)) {
            sections[index] = Tokenize(m.substr(start, i - start));
            if (index == 2) sections[index]->Flags |= msfZero;
            ++index;
            start = i + 1;
        }
    }
}

std::u16string TExcelMask::FormatValue(double value) const {
    if (mask == u"##,_b_y_t_e_s") return FormatByteSize(value);
    if (sections[1] && value < 0) return Render(sections[1].get(), -value, false);
    if (sections[2] && value == 0) return Render(sections[2].get(), value, true);
    return Render(sections[0].get(), value, false);
}

std::u16string TExcelMask::Render(const TMaskSection* s, double value, bool zeroSection) const {
    if (!s || s->Tokens.empty() || (s->Flags & msfText))
        return FloatToGeneralText(value, Locale().DecimalSeparator);
    if (s->Flags & msfDateTime) return RenderDateTime(*s, value);
    if (s->Flags & msfExponent) return RenderExponent(*s, value);
    return RenderNumber(*s, value, zeroSection);
}

std::u16string TExcelMask::RenderNumber(const TMaskSection& s, double value, bool zeroSection) const {
    const TXLSLocale& loc = Locale();
    std::u16string intPart, fracPart;
    bool negative = false;
    if (!zeroSection) {
        double v = value / std::pow(10.0, 3 * s.TrailingCommas);
        if (s.Flags & msfPercent) v *= 100;
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", s.Decimals, std::fabs(v));
        std::string printed = buf;
        negative = v < 0 && printed.find_first_not_of("0.") != printed.npos;
        size_t point = printed.find('.');
        std::string digits = printed.substr(0, point);
        if (point != printed.npos) fracPart = Ascii(printed.c_str() + point + 1);
        for (size_t k = 0; k < digits.size(); ++k) {
            if ((s.Flags & msfThousands) && k > 0 && (digits.size() - k) % 3 == 0)
                intPart.push_back(loc.ThousandSeparator);
            intPart.push_back(char16_t(digits[k]));
        }
    }
    // Integer part: from the decimal point (or the end) back to the start.
    std::u16string out;
    size_t p = intPart.size();
    int last = s.DecimalPos >= 0 ? s.DecimalPos - 1 : int(s.Tokens.size()) - 1;
    for (int k = last; k >= 0; --k) {
        const TMaskToken& t = s.Tokens[k];
        switch (t.Kind) {
        case mtkLiteral:
            out.insert(out.begin(), t.Ch);
            break;
        case mtkString:
            out.insert(0, t.Str);
            break;
        case mtkDigitOpt:
            if (p > 0) out.insert(out.begin(), intPart[--p]);
            break;
        case mtkDigitSpace:
            out.insert(out.begin(), p > 0 ? intPart[--p] : u' ');
            break;
        case mtkDigitZero:
            out.insert(out.begin(), p > 0 ? intPart[--p] : u'0');
            break;
        case mtkPercent:
            out.insert(out.begin(), u'%');
            break;
        case mtkNumberStart:
            out.insert(0, intPart.substr(0, p));
            p = 0;
            if (negative) out.insert(out.begin(), u'-');
            negative = false;
            break;
        case mtkThreeSpaces:
            out.insert(0, u"   ");
            break;
        default:
            break;
        }
    }
    if (negative) out.insert(out.begin(), u'-');
    if (s.DecimalPos < 0) return out;
    size_t q = 0;
    for (size_t k = size_t(s.DecimalPos); k < s.Tokens.size(); ++k) {
        const TMaskToken& t = s.Tokens[k];
        switch (t.Kind) {
        case mtkDecimalPoint:
            out.push_back(loc.DecimalSeparator);
            break;
        case mtkDigitOpt:
            if (q < fracPart.size()) out.push_back(fracPart[q++]);
            break;
        case mtkDigitSpace:
            out.push_back(q < fracPart.size() ? fracPart[q++] : u' ');
            break;
        case mtkDigitZero:
            out.push_back(q < fracPart.size() ? fracPart[q++] : u'0');
            break;
        case mtkLiteral:
            out.push_back(t.Ch);
            break;
        case mtkString:
            out += t.Str;
            break;
        case mtkPercent:
            out.push_back(u'%');
            break;
        default:
            break;
        }
    }
    return out;
}

std::u16string TExcelMask::RenderExponent(const TMaskSection& s, double value) const {
    int significant = std::clamp(s.Decimals - 1, 1, 18);
    int expDigits = std::clamp(s.DecimalPos, 1, 4);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", significant - 1, value);
    std::string t = buf;
    size_t e = t.find('e');
    int exponent = std::stoi(t.substr(e + 1));
    std::u16string out = Ascii(t.substr(0, e).c_str());
    for (char16_t& c : out)
        if (c == u'.') c = Locale().DecimalSeparator;
    out += exponent < 0 ? u"E-" : u"E+";
    out += Padded(std::abs(exponent), expDigits);
    return out;
}

std::u16string TExcelMask::RenderDateTime(const TMaskSection& s, double value) const {
    const TXLSLocale& loc = Locale();
    const auto& t = s.Tokens;
    // Milliseconds shown after a decimal point: round to them, else to seconds.
    int msDigits = 0;
    for (size_t k = 0; k + 1 < t.size(); ++k)
        if (t[k].Kind == mtkDecimalPoint && t[k + 1].Kind == mtkDigitZero) {
            for (size_t j = k + 1; j < t.size() && t[j].Kind == mtkDigitZero; ++j) ++msDigits;
            msDigits = std::min(msDigits, 3);
            break;
        }
    int64_t unit = msDigits == 0 ? 1000 : msDigits == 1 ? 100 : msDigits == 2 ? 10 : 1;
    double total = value * 86400000.0;
    if (!std::isfinite(total) || std::fabs(total) > 9e18)
        return FloatToGeneralText(value, loc.DecimalSeparator);
    int64_t totalMs = std::llround(total / double(unit)) * unit;
    int64_t days = totalMs >= 0 ? totalMs / 86400000 : -((-totalMs + 86399999) / 86400000);
    int64_t dayMs = totalMs - days * 86400000;
    int hour = int(dayMs / 3600000), minute = int(dayMs / 60000 % 60), second = int(dayMs / 1000 % 60);
    int ms = int(dayMs % 1000);
    int64_t totalSeconds = totalMs >= 0 ? totalMs / 1000 : -((-totalMs + 999) / 1000);
    int year, month, day;
    DecodeDate(days, year, month, day);
    int dow = int(((days + 6) % 7 + 7) % 7); // 1899-12-30 was a Saturday; Sunday is 0
    int hour12 = hour % 12 == 0 ? 12 : hour % 12;

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
            out += loc.LongMonthNames[month - 1];
            break;
        case mtkMonth + 4:
            out += loc.ShortMonthNames[month - 1].substr(0, 1);
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
            out += Padded(totalSeconds / 3600, 1);
            break;
        case mtkElapsedMinutes:
            out += Padded(totalSeconds / 60, 1);
            break;
        case mtkElapsedSeconds:
            out += Padded(totalSeconds, 1);
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
        case mtkAMPM:
            out += hour < 12 ? u"AM" : u"PM";
            break;
        case mtkampm:
            out += hour < 12 ? u"am" : u"pm";
            break;
        case mtkAP:
            out.push_back(tok.Ch == u'A' ? (hour < 12 ? u'A' : u'P') : (hour < 12 ? u'a' : u'p'));
            break;
        case mtkDecimalPoint:
            if (k + 1 < t.size() && t[k + 1].Kind == mtkDigitZero) {
                out.push_back(loc.DecimalSeparator);
                out += Padded(ms, 3).substr(0, size_t(msDigits));
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
