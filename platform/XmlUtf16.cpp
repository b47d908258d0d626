#include "platform/XmlUtf16.h"

#include "platform/CodePages.h"
#include "platform/XmlTagSplitter.h"

namespace platform {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

} // namespace

std::optional<XmlUtf16Reader> XmlUtf16Reader::ForDocument(std::string_view head) {
    bool bigEndian = false;
    std::size_t skip = 0;
    if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") {
        bigEndian = head[0] == '\xFE';
        skip = 2;
    } else if (head.substr(0, 4) == std::string_view("<\0?\0", 4) ||
               head.substr(0, 4) == std::string_view("\0<\0?", 4)) {
        bigEndian = head[0] == '\0';
    } else {
        return std::nullopt;
    }
    // The declaration in ASCII, from the characters below 0x80.
    std::string ascii;
    for (std::size_t i = skip; i + 1 < head.size(); i += 2) {
        const unsigned char hi = static_cast<unsigned char>(head[bigEndian ? i : i + 1]);
        const char lo = head[bigEndian ? i + 1 : i];
        ascii += hi == 0 && static_cast<unsigned char>(lo) < 0x80 ? lo : '\x7F';
    }
    if (ascii.rfind("<?xml", 0) == 0 && ascii.size() > 5 &&
        (ascii[5] == ' ' || ascii[5] == '\t' || ascii[5] == '\r' || ascii[5] == '\n')) {
        const std::size_t end = ascii.find("?>");
        if (end == std::string::npos) return std::nullopt;
        const std::string declared = Lower(XmlTagSplitter::DeclaredEncoding(ascii.substr(0, end)));
        if (!declared.empty() && declared != "utf-16" && declared != "utf16") return std::nullopt;
    }
    return XmlUtf16Reader(bigEndian, skip);
}

void XmlUtf16Reader::Unit(char16_t unit, std::string& out) {
    // No document holds U+0000: the text ends there, before the parser could take its bytes for another
    // encoding's.
    if (unit == 0) {
        broken = true;
        return;
    }
    if (high != 0) {
        if (unit < 0xDC00 || unit > 0xDFFF) {
            broken = true;
            return;
        }
        AppendUtf8(out, 0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00));
        high = 0;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
        high = unit;
    } else {
        // A low surrogate alone goes on as a character, which the parser then refuses where it stands.
        AppendUtf8(out, unit);
    }
}

void XmlUtf16Reader::Feed(std::string_view bytes, std::string& out) {
    for (const char c : bytes) {
        if (broken) return;
        if (skip > 0) {
            --skip;
        } else if (!odd) {
            first = static_cast<unsigned char>(c);
            odd = true;
        } else {
            const auto second = static_cast<unsigned char>(c);
            odd = false;
            Unit(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first), out);
        }
    }
}

std::string XmlUtf16Reader::Decode(XmlUtf16Reader reader, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    reader.Feed(bytes, out);
    return out;
}

} // namespace platform
