#include "SrcXLS/XLSLocale.h"

#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace xls {

namespace {
char16_t AnsiChar(char c) {
    return platform::AnsiCharToUnicode(static_cast<unsigned char>(c));
}
} // namespace

TXLSLocale LocaleFromRegional(const platform::RegionalSettings& settings) {
    TXLSLocale locale;
    locale.DecimalSeparator = AnsiChar(settings.decimalSeparator);
    locale.ThousandSeparator =
        settings.thousandsSeparator.empty() ? u'\0' : AnsiChar(settings.thousandsSeparator[0]);
    locale.DateSeparator = AnsiChar(settings.dateSeparator);
    locale.TimeSeparator = AnsiChar(settings.timeSeparator);
    locale.ListSeparator = AnsiChar(settings.listSeparator);
    return locale;
}

namespace {
// As LibreOffice shows them: nominative month names capitalised, the
// genitive and the short names in lower case, short day names capitalised.
TXLSLocale Russian() {
    TXLSLocale l;
    l.DecimalSeparator = u',';
    l.ThousandSeparator = u'\u00A0';
    l.DateSeparator = u'.';
    l.LongMonthNames = {u"Январь", u"Февраль", u"Март",     u"Апрель",  u"Май",    u"Июнь",
                        u"Июль",   u"Август",  u"Сентябрь", u"Октябрь", u"Ноябрь", u"Декабрь"};
    l.GenitiveMonthNames = {u"января", u"февраля", u"марта",    u"апреля",  u"мая",    u"июня",
                            u"июля",   u"августа", u"сентября", u"октября", u"ноября", u"декабря"};
    l.ShortMonthNames = {u"янв", u"фев", u"мар", u"апр", u"май", u"июн",
                         u"июл", u"авг", u"сен", u"окт", u"ноя", u"дек"};
    l.LongDayNames = {u"воскресенье", u"понедельник", u"вторник", u"среда",
                      u"четверг",     u"пятница",     u"суббота"};
    l.ShortDayNames = {u"Вс", u"Пн", u"Вт", u"Ср", u"Чт", u"Пт", u"Сб"};
    return l;
}

TXLSLocale Ukrainian() {
    TXLSLocale l;
    l.DecimalSeparator = u',';
    l.ThousandSeparator = u'\u00A0';
    l.DateSeparator = u'.';
    l.LongMonthNames = {u"Січень", u"Лютий",   u"Березень", u"Квітень", u"Травень",  u"Червень",
                        u"Липень", u"Серпень", u"Вересень", u"Жовтень", u"Листопад", u"Грудень"};
    l.GenitiveMonthNames = {u"січня", u"лютого", u"березня", u"квітня", u"травня",    u"червня",
                            u"липня", u"серпня", u"вересня", u"жовтня", u"листопада", u"грудня"};
    l.ShortMonthNames = {u"січ", u"лют", u"бер", u"квт", u"трв", u"чер",
                         u"лип", u"сер", u"вер", u"жов", u"лис", u"гру"};
    l.LongDayNames = {u"неділя", u"понеділок", u"вівторок", u"середа", u"четвер", u"п'ятниця", u"субота"};
    l.ShortDayNames = {u"Нд", u"Пн", u"Вт", u"Ср", u"Чт", u"Пт", u"Сб"};
    return l;
}
} // namespace

const TXLSLocale* LocaleOfLanguage(uint32_t localeId) {
    static const TXLSLocale english, russian = Russian(), ukrainian = Ukrainian();
    // The bits above the language id choose a calendar or digits.
    switch (localeId & 0xFFFF) {
    case 0x0409:
        return &english;
    case 0x0419:
        return &russian;
    case 0x0422:
        return &ukrainian;
    default:
        return nullptr;
    }
}

} // namespace xls
