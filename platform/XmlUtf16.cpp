#include "platform/XmlUtf16.h"

#include "platform/CodePages.h"
#include "platform/XmlTagSplitter.h"

#include <cerrno>
#include <iconv.h>

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

namespace {

// What iconv_open answers when it has no such conversion.
iconv_t NoConverter() {
    return reinterpret_cast<iconv_t>(-1);
}

// The declared encoding of a document's first characters, lower case; "" where it declares none.
std::string DeclaredIn(const std::string& ascii) {
    if (ascii.rfind("<?xml", 0) != 0) return {};
    const std::size_t end = ascii.find("?>");
    return Lower(
        XmlTagSplitter::DeclaredEncoding(ascii.substr(0, end == std::string::npos ? ascii.size() : end)));
}

// The head's characters below 0x80 as the converter gives them ('\x7F' for any other), up to the first it
// refuses.
std::string AsciiOf(iconv_t converter, std::string_view head) {
    std::string bytes(head);
    char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    std::string out(bytes.size() * 4 + 4, '\0');
    char* o = out.data();
    std::size_t outLeft = out.size();
    iconv(converter, &in, &inLeft, &o, &outLeft);
    out.resize(out.size() - outLeft);
    for (char& c : out)
        if (static_cast<unsigned char>(c) >= 0x80) c = '\x7F';
    return out;
}

} // namespace

std::optional<XmlIconvReader> XmlIconvReader::ForDocument(std::string_view head) {
    const std::string_view first = head.substr(0, 4);
    std::string from;
    std::size_t skip = 0;
    if (first == std::string_view("\0\0\xFE\xFF", 4) || first == std::string_view("\0\0\0<", 4)) {
        from = "UCS-4BE";
        skip = first[2] == '\xFE' ? 4 : 0;
    } else if (first == std::string_view("\xFF\xFE\0\0", 4) || first == std::string_view("<\0\0\0", 4)) {
        from = "UCS-4LE";
        skip = first[0] == '\xFF' ? 4 : 0;
    } else if (first == "\x4C\x6F\xA7\x94") {
        from = "IBM037";
    } else {
        return std::nullopt;
    }
    iconv_t converter = iconv_open("UTF-8", from.c_str());
    if (converter == NoConverter()) return std::nullopt;
    const std::string declared = DeclaredIn(AsciiOf(converter, head.substr(skip)));
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (from == "IBM037") {
        if (!declared.empty() && declared != "ibm037") {
            if (iconv_t named = iconv_open("UTF-8", declared.c_str()); named != NoConverter()) {
                iconv_close(converter);
                converter = named;
            }
        }
    } else if (!declared.empty() && declared != "ucs-4" && declared != "ucs4" &&
               declared != "iso-10646-ucs-4" && declared != "utf-32" && declared != "utf32") {
        iconv_close(converter);
        return std::nullopt;
    }
    return XmlIconvReader(converter, skip);
}

XmlIconvReader::XmlIconvReader(XmlIconvReader&& other) noexcept
    : converter(other.converter), skip(other.skip), carry(std::move(other.carry)), broken(other.broken) {
    other.converter = NoConverter();
}

XmlIconvReader& XmlIconvReader::operator=(XmlIconvReader&& other) noexcept {
    if (this != &other) {
        if (converter != NoConverter()) iconv_close(static_cast<iconv_t>(converter));
        converter = other.converter;
        skip = other.skip;
        carry = std::move(other.carry);
        broken = other.broken;
        other.converter = NoConverter();
    }
    return *this;
}

XmlIconvReader::~XmlIconvReader() {
    if (converter != NoConverter()) iconv_close(static_cast<iconv_t>(converter));
}

void XmlIconvReader::Feed(std::string_view bytes, std::string& out) {
    if (broken) return;
    const std::size_t dropped = std::min(skip, bytes.size());
    skip -= dropped;
    carry.append(bytes.substr(dropped));
    char* in = carry.data();
    std::size_t inLeft = carry.size();
    char buffer[1 << 14];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(static_cast<iconv_t>(converter), &in, &inLeft, &o, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (done != static_cast<std::size_t>(-1) || errno == EINVAL) break;
        if (errno != E2BIG) {
            broken = true;
            break;
        }
    }
    carry.erase(0, carry.size() - inLeft);
}

std::string XmlIconvReader::Decode(XmlIconvReader reader, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    reader.Feed(bytes, out);
    return out;
}

} // namespace platform
