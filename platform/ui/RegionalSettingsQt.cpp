#include "platform/ui/RegionalSettingsQt.h"

#include "platform/CodePages.h"

#include <QLocale>
#include <QString>
#include <algorithm>

namespace platform {

namespace {

bool IsLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == 0x00A0 || c == 0x202F || c == 0x2009;
}

// The 1251 text of a Qt string when it converts without loss.
std::optional<std::string> Ansi(const QString& s) {
    bool lossy = false;
    std::string out = Utf16ToAnsi(s.toStdU16String(), &lossy);
    if (lossy || out.empty()) return std::nullopt;
    return out;
}

std::optional<char> AnsiChar(const QString& s) {
    auto a = Ansi(s);
    if (!a || a->size() != 1) return std::nullopt;
    return (*a)[0];
}

// The money pattern of a currency text: the number replaced by 'n', the symbol by '$', spaces made plain.
std::u16string MoneyShape(QString text, const QString& number, const QString& symbol) {
    text.replace(number, QStringLiteral("n"));
    text.replace(symbol, QStringLiteral("$"));
    std::u16string out;
    for (char16_t c : text.toStdU16String()) {
        if (IsSpace(c)) c = u' ';
        if (c == 0x2212) c = u'-';
        if (c == 0x200E || c == 0x200F || c == 0x061C) continue; // direction marks
        out += c;
    }
    return out;
}

template <std::size_t N>
int IndexOf(const std::u16string& shape, const std::string_view (&placements)[N], int fallback) {
    for (std::size_t i = 0; i < N; ++i) {
        if (std::equal(shape.begin(), shape.end(), placements[i].begin(), placements[i].end()))
            return static_cast<int>(i);
    }
    return fallback;
}

char FirstSeparator(const std::string& pattern, char fallback) {
    bool quoted = false;
    for (char c : pattern) {
        if (c == '\'')
            quoted = !quoted;
        else if (!quoted && !IsLetter(static_cast<unsigned char>(c)) && c != ' ')
            return c;
    }
    return fallback;
}

// Whether a Qt date pattern writes day, month and year all as numbers (no
// month or day names).
bool NumericDate(const std::u16string& p) {
    bool day = false, month = false, year = false;
    for (std::size_t i = 0; i < p.size();) {
        if (p[i] == u'\'') {
            const std::size_t close = p.find(u'\'', i + 1);
            i = close == std::u16string::npos ? p.size() : close + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < p.size() && p[i + run] == p[i]) ++run;
        if ((p[i] == u'd' || p[i] == u'M') && run >= 3) return false;
        day = day || p[i] == u'd';
        month = month || p[i] == u'M';
        year = year || p[i] == u'y';
        i += run;
    }
    return day && month && year;
}

} // namespace

std::string WindowsPatternFromQt(const std::u16string& p) {
    bool twelveHour = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == u'\'') {
            auto close = p.find(u'\'', i + 1);
            if (close == std::u16string::npos) break;
            i = close;
        } else if (p[i] == u'A' || p[i] == u'a') {
            twelveHour = true;
        }
    }
    std::u16string out;
    std::size_t i = 0;
    while (i < p.size()) {
        char16_t c = p[i];
        if (c == u'\'') {
            auto close = p.find(u'\'', i + 1);
            if (close == std::u16string::npos) close = p.size();
            out += p.substr(i, close + 1 - i);
            i = close + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < p.size() && p[i + run] == c) ++run;
        bool dropWithNeighbours = false;
        switch (c) {
        case u'y':
            out += u"yyyy";
            break;
        case u'M':
            out += run >= 3 ? u"MM" : std::u16string(run, u'M');
            break;
        case u'd':
            if (run >= 3)
                dropWithNeighbours = true;
            else
                out += std::u16string(run, u'd');
            break;
        case u'h':
            out += std::u16string(std::min<std::size_t>(run, 2), twelveHour ? u'h' : u'H');
            break;
        case u'H':
            out += std::u16string(std::min<std::size_t>(run, 2), u'H');
            break;
        case u'A':
        case u'a':
            out += u"tt";
            if (i + run < p.size() && (p[i + run] == u'P' || p[i + run] == u'p')) ++run;
            break;
        case u'z':
        case u't':
            dropWithNeighbours = true;
            break;
        default:
            out += p.substr(i, run);
            break;
        }
        i += run;
        if (dropWithNeighbours) {
            // A dropped field takes the separator before it (or, at the start, the one after it) along.
            if (!out.empty()) {
                while (!out.empty() && !IsLetter(out.back()) && out.back() != u'\'') out.pop_back();
            } else {
                while (i < p.size() && !IsLetter(p[i]) && p[i] != u'\'') ++i;
            }
        }
    }
    bool lossy = false;
    return Utf16ToAnsi(out, &lossy);
}

RegionalSettings RegionalSettingsFromLocale(const QLocale& locale) {
    RegionalSettings rs;
    rs.decimalSeparator = AnsiChar(locale.decimalPoint()).value_or(',');
    if (auto group = Ansi(locale.groupSeparator())) rs.thousandsSeparator = *group;

    QString symbol = locale.currencySymbol(QLocale::CurrencySymbol);
    if (auto c = Ansi(symbol))
        rs.currency = *c;
    else if (symbol == QString(QChar(0x20B4)))
        rs.currency = "\xE3\xF0\xED.";
    else if (auto iso = Ansi(locale.currencySymbol(QLocale::CurrencyIsoCode)))
        rs.currency = *iso;

    const QString marker = QStringLiteral("\u00A4");
    const QString number = locale.toString(1234.5, 'f', 2);
    rs.currencyFormat = IndexOf(MoneyShape(locale.toCurrencyString(1234.5, marker, 2), number, marker),
                                CurrencyPlacements, rs.currencyFormat);
    rs.negativeCurrencyFormat =
        IndexOf(MoneyShape(locale.toCurrencyString(-1234.5, marker, 2), number, marker),
                NegativeCurrencyPlacements, rs.negativeCurrencyFormat);

    // Settings without a numeric short date (the C locale's "d MMM yyyy") keep the default dd.MM.yyyy.
    const std::u16string shortDate = locale.dateFormat(QLocale::ShortFormat).toStdU16String();
    if (NumericDate(shortDate)) rs.shortDateFormat = WindowsPatternFromQt(shortDate);
    rs.longTimeFormat = WindowsPatternFromQt(locale.timeFormat(QLocale::LongFormat).toStdU16String());
    rs.dateSeparator = FirstSeparator(rs.shortDateFormat, '.');
    rs.timeSeparator = FirstSeparator(rs.longTimeFormat, ':');
    rs.listSeparator = rs.decimalSeparator == ',' ? ';' : ',';
    rs.timeAm = Ansi(locale.amText()).value_or("AM");
    rs.timePm = Ansi(locale.pmText()).value_or("PM");
    return rs;
}

void ApplySystemRegionalSettings() {
    SetRegional(RegionalSettingsFromLocale(QLocale::system()));
}

} // namespace platform
