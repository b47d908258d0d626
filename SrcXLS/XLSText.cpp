#include "SrcXLS/XLSText.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSDefs.h"
#include "platform/CodePages.h"

namespace xls {

std::u16string CodePageToWide(std::string_view bytes, int codePage) {
    return platform::DecodeSingleByte(codePage, bytes);
}

std::string WideToCodePage(std::u16string_view text, int codePage) {
    bool lossy = false;
    std::string out = platform::EncodeSingleByte(codePage, text, &lossy);
    // A character the code page lacks would be written as '?': the text
    // would change without notice, so the write fails instead.
    if (lossy)
        throw XLSError("Text can not be written in code page " + std::to_string(codePage) + ": " +
                       platform::Utf16ToUtf8(text.substr(0, 64)));
    return out;
}

std::u16string Latin1ToWide(std::span<const uint8_t> bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = bytes[i];
    return out;
}

bool IsWideText(std::u16string_view text) {
    for (char16_t c : text)
        if (c > 255) return true;
    return false;
}

int BIFFStrCharCount(std::span<const uint8_t> s) {
    if (s.empty()) return 0;
    return s[0] != 0 ? int((s.size() - 1) / 2) : int(s.size() - 1);
}

TBIFFString BytesToBIFFStr(std::span<const uint8_t> buf, int n) {
    if (n < 0 || buf.empty()) throw XLSError("Bad string in record");
    bool wide = buf[0] != 0;
    size_t bytes = size_t(n) * (wide ? 2 : 1);
    if (buf.size() - 1 < bytes) throw XLSError("Bad string in record");
    TBIFFString s(buf.begin(), buf.begin() + 1 + bytes);
    s[0] = wide ? 1 : 0;
    return s;
}

std::u16string BIFFStrToWideString(std::span<const uint8_t> buf, int n) {
    if (n <= 0 || buf.empty()) return {};
    size_t count = size_t(n);
    if (buf[0] == 1) {
        if ((buf.size() - 1) / 2 < count) throw XLSError("Bad string in record");
        std::u16string out(count, u'\0');
        for (size_t i = 0; i < count; ++i) out[i] = char16_t(buf[1 + 2 * i] | (buf[2 + 2 * i] << 8));
        return out;
    }
    if (buf.size() - 1 < count) throw XLSError("Bad string in record");
    return Latin1ToWide(buf.subspan(1, count));
}

std::u16string BIFFStrText(std::span<const uint8_t> s) {
    return BIFFStrToWideString(s, BIFFStrCharCount(s));
}

TBIFFString ReadBIFFStr(TByteReader& r, size_t n, const char* what) {
    const uint8_t flag = r.U8(what);
    auto chars = r.Bytes(n * ((flag & 1) ? 2 : 1), what);
    TBIFFString s(1 + chars.size());
    s[0] = flag & 1;
    std::copy(chars.begin(), chars.end(), s.begin() + 1);
    return s;
}

TBIFFString WideStringToBIFFStr(std::u16string_view text) {
    TBIFFString s(1 + 2 * text.size());
    s[0] = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        s[1 + 2 * i] = uint8_t(text[i]);
        s[2 + 2 * i] = uint8_t(text[i] >> 8);
    }
    return s;
}

std::u16string ByteStrToWideString(std::span<const uint8_t> s, int codePage) {
    if (s.empty()) return {};
    auto asChars = [](std::span<const uint8_t> b) {
        return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
    };
    if (s[0] == 0) return CodePageToWide(asChars(s.subspan(1)), codePage);
    if (s[0] == 1) return BIFFStrToWideString(s, int((s.size() - 1) / 2));
    return CodePageToWide(asChars(s), codePage);
}

std::u16string BIFFStrBufToWideString(std::span<const uint8_t> buf, int n, int codePage) {
    if (n <= 0 || buf.empty()) return {};
    size_t bytes = size_t(n) * (buf[0] == 1 ? 2 : 1);
    if (buf.size() - 1 < bytes) throw XLSError("Bad string in record");
    return ByteStrToWideString(buf.first(1 + bytes), codePage);
}

std::u16string WideBufToString(std::span<const uint8_t> buf) {
    size_t count = buf.size() / 2;
    count = count > 0 ? count - 1 : 0;
    std::u16string out;
    for (size_t i = 0; i < count; ++i) {
        char16_t c = char16_t(buf[2 * i] | (buf[2 * i + 1] << 8));
        if (c == 0) break;
        out.push_back(c);
    }
    return out;
}

int CharPos(char c, std::string_view text) {
    size_t p = text.find(c);
    return p == text.npos ? -1 : int(p) + 1;
}
int WideCharPos(char16_t c, std::u16string_view text) {
    size_t p = text.find(c);
    return p == text.npos ? -1 : int(p) + 1;
}
int WideCharLastPos(char16_t c, std::u16string_view text) {
    size_t p = text.rfind(c);
    return p == text.npos ? -1 : int(p) + 1;
}
bool WideCharInSet(char16_t c, const std::bitset<256>& set) {
    return c < 256 && set[c];
}

int IndexOfWideStr(std::u16string_view text, std::span<const std::u16string> items) {
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return int(i);
    return -1;
}

char16_t UpperCaseChar(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 32);
        if (c == 0xFF) return 0x178;
        if (c == 0xB5) return 0x39C;
        return c;
    }
    if (c < 0x180) {
        if (c == 0x131) return u'I';
        if (c == 0x17F) return u'S';
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        bool evenUpper = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        if (oddUpper && (c & 1) == 0) return char16_t(c - 1);
        if (evenUpper && (c & 1) == 1) return char16_t(c - 1);
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? char16_t(0x3A3) : char16_t(c - 32);
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return char16_t(c - 37);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return char16_t(c - 63);
    if (c >= 0x430 && c <= 0x44F) return char16_t(c - 32);
    if (c >= 0x450 && c <= 0x45F) return char16_t(c - 80);
    bool cyrPairs = (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F);
    if (cyrPairs && (c & 1) == 1) return char16_t(c - 1);
    if (c >= 0x4C1 && c <= 0x4CE && (c & 1) == 0) return char16_t(c - 1);
    if (c == 0x4CF) return 0x4C0;
    return c;
}

std::u16string UpperCaseWide(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = UpperCaseChar(c);
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::u16string Utf8ToWide(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t i = 0, n = bytes.size();
    auto cont = [&](size_t k) { return k < n && (uint8_t(bytes[k]) & 0xC0) == 0x80; };
    while (i < n) {
        uint8_t b = uint8_t(bytes[i]);
        uint32_t cp;
        size_t len;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if (b >= 0xC2 && b < 0xE0 && cont(i + 1)) {
            cp = ((b & 0x1F) << 6) | (uint8_t(bytes[i + 1]) & 0x3F);
            len = 2;
        } else if (b >= 0xE0 && b < 0xF0 && cont(i + 1) && cont(i + 2)) {
            cp = ((b & 0x0F) << 12) | ((uint8_t(bytes[i + 1]) & 0x3F) << 6) | (uint8_t(bytes[i + 2]) & 0x3F);
            len = 3;
            if (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
        } else if (b >= 0xF0 && b < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((b & 0x07) << 18) | ((uint8_t(bytes[i + 1]) & 0x3F) << 12) |
                 ((uint8_t(bytes[i + 2]) & 0x3F) << 6) | (uint8_t(bytes[i + 3]) & 0x3F);
            len = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
        } else {
            cp = 0xFFFD;
            len = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += len;
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

std::string WideToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string WideStringReplaceAll(std::u16string_view text, std::u16string_view pattern,
                                    std::u16string_view replacement) {
    if (pattern.empty()) return std::u16string(text);
    std::u16string out;
    size_t from = 0;
    for (size_t p; (p = text.find(pattern, from)) != text.npos; from = p + pattern.size()) {
        out.append(text.substr(from, p - from));
        out.append(replacement);
    }
    out.append(text.substr(from));
    return out;
}

std::u16string_view CutWhole(std::u16string_view text, size_t maxChars) {
    if (text.size() <= maxChars) return text;
    const bool split = maxChars > 0 && text[maxChars - 1] >= 0xD800 && text[maxChars - 1] < 0xDC00;
    return text.substr(0, split ? maxChars - 1 : maxChars);
}

} // namespace xls
