#include "console/UInt64Lib.h"

#include "platform/CodePages.h"

namespace console {
namespace {

[[noreturn]] void Refuse(std::string_view text) {
    throw UInt64Error("'" + platform::AnsiToUtf8(text) + "' is not a valid UInt64 value");
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

uint64_t StrToUInt64(std::string_view text) {
    std::string_view s = text.substr(0, text.find('\0'));
    if (s.empty()) Refuse(text);
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size() && s[i] == '-') Refuse(text);
    if (i < s.size() && s[i] == '+') ++i;
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) Refuse(text);
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        if (hex) {
            int digit = HexDigit(s[i]);
            // A value of 2^60 or more would lose its top four bits.
            if (digit < 0 || value >= (uint64_t{1} << 60)) Refuse(text);
            value = value * 16 + static_cast<uint64_t>(digit);
        } else {
            if (s[i] < '0' || s[i] > '9') Refuse(text);
            uint64_t digit = static_cast<uint64_t>(s[i] - '0');
            if (value > (UINT64_MAX - digit) / 10) Refuse(text);
            value = value * 10 + digit;
        }
    }
    return value;
}

std::string UInt64ToStr(uint64_t value) {
    return std::to_string(value);
}

} // namespace console
