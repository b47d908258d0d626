// Conversion between the program's 8-bit ANSI texts (Windows-1251) and the
// Unicode strings of the windowing layer.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 source text to Windows-1251; characters the code page lacks become '?'.
std::string Ansi(std::string_view utf8);
// Windows-1251 to UTF-8.
std::string Utf8(std::string_view ansi);
QString ToQString(std::string_view ansi);
// A caption written in the source (UTF-8) as a Qt string.
inline QString UiText(const char* utf8) {
    return QString::fromUtf8(utf8);
}
std::string FromQString(const QString& text);

} // namespace platform
