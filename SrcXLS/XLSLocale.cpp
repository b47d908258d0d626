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

} // namespace xls
