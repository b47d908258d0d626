// Record bodies written out by hand as hexadecimal text, for tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

using HexBytes = std::vector<uint8_t>;

// "01 A0 FF": pairs of hexadecimal digits, blanks ignored.
inline HexBytes FromHex(const std::string& text) {
    HexBytes out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(uint8_t(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
        i += 2;
    }
    return out;
}

inline HexBytes BytesOf(std::span<const uint8_t> s) {
    return HexBytes(s.begin(), s.end());
}

inline HexBytes Cat(std::initializer_list<HexBytes> parts) {
    HexBytes out;
    for (const HexBytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
