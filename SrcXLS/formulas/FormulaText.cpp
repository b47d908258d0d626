#include "SrcXLS/formulas/FormulaText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace xls {

TFormulaSyntax TFormulaSyntax::Display(const TXLSLocale& locale) {
    TFormulaSyntax s;
    s.ListSeparator = locale.ListSeparator ? locale.ListSeparator : u',';
    s.DecimalSeparator = locale.DecimalSeparator ? locale.DecimalSeparator : u'.';
    s.ArrayColSeparator = s.ListSeparator == u';' ? u'\\' : s.ListSeparator;
    s.ArrayRowSeparator = u';';
    s.ExactNumbers = false;
    return s;
}

namespace {

// The characters of value in the general format with the given number of
// significant digits ("%.*g" style).
std::string General(double value, int digits) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    return std::string(buf, r.ptr);
}

// The shortest digits that read back to value, written out in full from
// 1E-7 to below 1E21 ("123456789012345680000"), else with an exponent
// ("1.2345678901234568e+25").
std::string Shortest(double value) {
    char buf[64];
    const char* begin = buf;
    const char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr;
    const char* e = std::find(begin, end, 'e');
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
    if (exponent < -7 || exponent >= 21) return std::string(begin, end);
    const bool negative = buf[0] == '-';
    std::string digits;
    for (const char* p = buf + (negative ? 1 : 0); p < e; ++p)
        if (*p != '.') digits.push_back(*p);
    std::string out = negative ? "-" : "";
    if (exponent < 0) {
        out += "0." + std::string(size_t(-exponent - 1), '0') + digits;
    } else if (size_t(exponent) + 1 >= digits.size()) {
        out += digits + std::string(size_t(exponent) + 1 - digits.size(), '0');
    } else {
        out += digits.substr(0, size_t(exponent) + 1) + "." + digits.substr(size_t(exponent) + 1);
    }
    return out;
}

bool IsLetter(char16_t c) {
    // Letters of every script are letters; Latin-1 has its own signs.
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 0x100 ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7) || c == 0xAA || c == 0xB5 || c == 0xBA;
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// "A1", "xfd1048576", "R1C1", "R", "C12": texts other programs read as
// references rather than sheet names.
bool LooksLikeReference(std::u16string_view s) {
    size_t i = 0;
    while (i < s.size() && IsAsciiLetter(s[i])) ++i;
    if (i >= 1 && i <= 3 && i < s.size()) {
        size_t j = i;
        while (j < s.size() && IsDigit(s[j])) ++j;
        if (j == s.size()) return true;
    }
    auto upper = [](char16_t c) { return char16_t(c >= u'a' && c <= u'z' ? c - 32 : c); };
    size_t k = 0;
    auto digits = [&] {
        while (k < s.size() && IsDigit(s[k])) ++k;
    };
    if (k < s.size() && upper(s[k]) == u'R') {
        ++k;
        digits();
    }
    if (k < s.size() && upper(s[k]) == u'C') {
        ++k;
        digits();
    }
    return k > 0 && k == s.size();
}

} // namespace

std::u16string FormulaNumberText(double value, char16_t decimalSeparator, bool exact) {
    if (!std::isfinite(value)) return u"#NUM!";
    std::string text = General(value, 15);
    if (exact) {
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        if (back != value) text = Shortest(value);
    }
    std::u16string out;
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            out.push_back(decimalSeparator);
        } else if (c == 'e') {
            out.push_back(u'E');
            ++i;
            out.push_back(i < text.size() && text[i] == '-' ? u'-' : u'+');
            if (i < text.size() && text[i] != '-' && text[i] != '+') --i;
            std::string digits = text.substr(i + 1);
            if (digits.size() < 2) digits.insert(digits.begin(), '0');
            for (char d : digits) out.push_back(char16_t(d));
            break;
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

std::u16string QuoteFormulaString(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() + 2);
    out.push_back(u'"');
    for (char16_t c : text) {
        if (c == u'"') out.push_back(u'"');
        out.push_back(c);
    }
    out.push_back(u'"');
    return out;
}

namespace {

std::u16string InQuotes(std::u16string_view text) {
    std::u16string out = u"'";
    for (char16_t c : text) {
        if (c == u'\'') out.push_back(u'\'');
        out.push_back(c);
    }
    out.push_back(u'\'');
    return out;
}

// Letters, digits, "_" and "." after a letter or "_".
bool PlainCharacters(std::u16string_view name) {
    bool plain = !name.empty() && (IsLetter(name[0]) || name[0] == u'_');
    for (size_t i = 0; plain && i < name.size(); ++i)
        plain = IsLetter(name[i]) || IsDigit(name[i]) || name[i] == u'_' || name[i] == u'.';
    return plain;
}

bool PlainSheetName(std::u16string_view name) {
    return PlainCharacters(name) && !LooksLikeReference(name);
}

} // namespace

std::u16string QuoteSheetName(std::u16string_view name) {
    return PlainSheetName(name) ? std::u16string(name) : InQuotes(name);
}

std::u16string QuoteSheetRange(std::u16string_view first, std::u16string_view last) {
    std::u16string range(first);
    range += u':';
    range += last;
    // A name that only reads as a cell ("S1") stays bare in a range, as
    // LibreOffice and gnumeric write it: neither reads such a range quoted.
    return PlainCharacters(first) && PlainCharacters(last) ? range : InQuotes(range);
}

} // namespace xls
