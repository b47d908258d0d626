#include "console/NumberText.h"

#include <charconv>

namespace console {
namespace {

template <class Int> std::optional<Int> IntegerOf(const std::string& text) {
    std::string trimmed = TrimText(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+') ++first;
    Int value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last) return std::nullopt;
    return value;
}

} // namespace

std::string TrimText(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
}

std::optional<int32_t> Int32Of(const std::string& text) {
    return IntegerOf<int32_t>(text);
}

std::optional<int64_t> Int64Of(const std::string& text) {
    return IntegerOf<int64_t>(text);
}

} // namespace console
