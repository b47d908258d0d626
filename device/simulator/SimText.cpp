#include "device/simulator/SimText.h"

#include <cstdint>

namespace sim {

namespace {

// Cyrillic letters and signs outside U+0410..U+044F.
struct Extra {
    char32_t code;
    unsigned char byte;
};
constexpr Extra Extras[] = {
    {0x0401, 0xA8}, {0x0451, 0xB8}, {0x0404, 0xAA}, {0x0454, 0xBA}, {0x0406, 0xB2}, {0x0456, 0xB3},
    {0x0407, 0xAF}, {0x0457, 0xBF}, {0x0490, 0xA5}, {0x0491, 0xB4}, {0x2116, 0xB9}, {0x2019, 0x92},
    {0x00AB, 0xAB}, {0x00BB, 0xBB}, {0x2013, 0x96}, {0x2014, 0x97}, {0x00A0, 0xA0},
};

unsigned char ToByte(char32_t c) {
    if (c < 0x80) return static_cast<unsigned char>(c);
    if (c >= 0x0410 && c <= 0x044F) return static_cast<unsigned char>(0xC0 + (c - 0x0410));
    for (const Extra& e : Extras)
        if (e.code == c) return e.byte;
    return '?';
}

} // namespace

std::string ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int extra = b < 0x80             ? 0
                          : (b & 0xE0) == 0xC0 ? 1
                          : (b & 0xF0) == 0xE0 ? 2
                          : (b & 0xF8) == 0xF0 ? 3
                                               : -1;
        if (extra < 0) {
            out.push_back('?');
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        if (!valid) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(static_cast<char>(ToByte(c)));
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string BoundedText(const char* text, std::size_t maxBytes) {
    if (text == nullptr) return {};
    std::size_t length = 0;
    while (length < maxBytes && text[length] != '\0') ++length;
    return std::string(text, length);
}

} // namespace sim
