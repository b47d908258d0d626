#include "platform/ui/AnsiText.h"

#include "platform/CodePages.h"

namespace platform {

QString ToQString(std::string_view ansi) {
    std::u16string wide = AnsiToUtf16(ansi);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string FromQString(const QString& text) {
    return Utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<std::size_t>(text.size())));
}

std::string Ansi(std::string_view utf8) {
    return Utf8ToAnsi(utf8);
}

std::string Utf8(std::string_view ansi) {
    return AnsiToUtf8(ansi);
}

} // namespace platform
