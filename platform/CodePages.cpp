#include "platform/CodePages.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Upper halves (0x80-0xFF); the lower halves are ASCII.
constexpr char16_t kAnsiHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr char16_t kOemHigh[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429,
    0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436,
    0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407,
    0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr char16_t k1252High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152,
    0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
    0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0,
    0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD,
    0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA,
    0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4,
    0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

// ANSI characters OEM 866 lacks and the OEM byte written for each; every other missing one becomes '?'.
constexpr std::pair<unsigned char, unsigned char> kAnsiToOemBestFit[] = {
    {0xB2, 'I'},  {0xB3, 'i'},                                          // І і
    {0xA5, 0x83}, {0xB4, 0xA3},                                         // Ґ ґ -> Г г
    {0x81, 0x83}, {0x83, 0xA3},                                         // Ѓ ѓ -> Г г
    {0x8D, 0x8A}, {0x9D, 0xAA},                                         // Ќ ќ -> К к
    {0xA3, 'J'},  {0xBC, 'j'},                                          // Ј ј
    {0xBD, 'S'},  {0xBE, 's'},                                          // Ѕ ѕ
    {0x82, '\''}, {0x91, '\''}, {0x92, '\''},                           // ‚ ‘ ’
    {0x84, '"'},  {0x93, '"'},  {0x94, '"'},  {0xAB, '"'}, {0xBB, '"'}, // „ “ ” « »
    {0x8B, '<'},  {0x9B, '>'},                                          // ‹ ›
    {0x96, '-'},  {0x97, '-'},  {0xAD, '-'},                            // – — soft hyphen
    {0xA6, '|'},                                                        // ¦
    {0x95, 0xF9},                                                       // • -> ∙
};

// Unicode of the upper half of each single-byte table, plus a sorted reverse index.
struct Table {
    std::array<char16_t, 256> toUnicode{};
    std::vector<std::pair<char16_t, unsigned char>> fromUnicode;

    explicit Table(const char16_t* high) {
        for (int b = 0; b < 128; ++b) toUnicode[b] = static_cast<char16_t>(b);
        for (int b = 0; b < 128; ++b) toUnicode[128 + b] = high[b];
        Index();
    }
    Table() = default;

    void Index() {
        fromUnicode.clear();
        for (int b = 0; b < 256; ++b) fromUnicode.emplace_back(toUnicode[b], static_cast<unsigned char>(b));
        // The lowest byte wins for a character two bytes share.
        std::stable_sort(fromUnicode.begin(), fromUnicode.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    bool Find(char16_t c, unsigned char& out) const {
        auto it = std::lower_bound(fromUnicode.begin(), fromUnicode.end(), c,
                                   [](const auto& e, char16_t v) { return e.first < v; });
        if (it == fromUnicode.end() || it->first != c) return false;
        out = it->second;
        return true;
    }

    std::u16string Decode(std::string_view bytes) const {
        std::u16string out(bytes.size(), u'\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            out[i] = toUnicode[static_cast<unsigned char>(bytes[i])];
        return out;
    }

    std::string Encode(std::u16string_view text, bool* lossy) const {
        std::string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            unsigned char b;
            if (Find(text[i], b)) {
                out.push_back(static_cast<char>(b));
                continue;
            }
            // A surrogate pair is one character: one '?'.
            if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] < 0xE000)
                ++i;
            out.push_back('?');
            if (lossy) *lossy = true;
        }
        return out;
    }
};

const Table& Ansi() {
    static const Table t(kAnsiHigh);
    return t;
}

const Table& Oem() {
    static const Table t(kOemHigh);
    return t;
}

const Table& Latin1252() {
    static const Table t(k1252High);
    return t;
}

// A table read byte by byte from iconv; bytes it refuses keep their own number.
std::unique_ptr<Table> TableFromIconv(const std::string& name) {
    const std::optional<std::array<char16_t, 128>> high = IconvHighHalf(name);
    if (!high) return nullptr;
    auto table = std::make_unique<Table>();
    for (int b = 0; b < 256; ++b) table->toUnicode[b] = static_cast<char16_t>(b);
    for (int b = 128; b < 256; ++b)
        if ((*high)[b - 128] != 0) table->toUnicode[b] = (*high)[b - 128];
    // An unassigned byte whose own number another byte already stands for takes a private-use character.
    for (int b = 128; b < 256; ++b) {
        if (table->toUnicode[b] != b) continue;
        for (int other = 128; other < 256; ++other) {
            if (other != b && table->toUnicode[other] == b)
                table->toUnicode[b] = static_cast<char16_t>(0xF700 + b);
        }
    }
    table->Index();
    return table;
}

// The iconv name of a code page SingleByteCodePage gives.
std::string IconvName(int codePage) {
    return codePage == 10000 ? "MACINTOSH" : "CP" + std::to_string(codePage);
}

// The table of a single-byte code page by its exact number (tables from iconv kept once made); 1252 for one
// iconv does not know.
const Table& ExactTable(int cp) {
    switch (cp) {
    case 1251:
        return Ansi();
    case 866:
        return Oem();
    case 1252:
        return Latin1252();
    default:
        break;
    }
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<Table>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = cache[cp];
    if (!slot) slot = TableFromIconv(IconvName(cp));
    return slot ? *slot : Latin1252();
}

const Table& TableFor(int codePage) {
    return ExactTable(SingleByteCodePage(codePage));
}

// A multi-byte text through iconv; a sequence it cannot read becomes U+FFFD and the next byte is tried.
std::u16string DecodeWithIconv(const char* name, std::string_view bytes) {
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return DecodeSingleByte(1252, bytes);
    std::u16string out;
    std::string in(bytes);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    while (inLeft > 0) {
        char buffer[256];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        for (const char* p = buffer; p + 1 < outPtr; p += 2)
            out += static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                         (static_cast<unsigned char>(p[1]) << 8));
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        out += u'\uFFFD';
        ++inPtr;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

unsigned char AnsiToOemByte(unsigned char c) {
    unsigned char b;
    if (Oem().Find(Ansi().toUnicode[c], b)) return b;
    for (const auto& fit : kAnsiToOemBestFit) {
        if (fit.first == c) return fit.second;
    }
    return '?';
}

unsigned char OemToAnsiByte(unsigned char c) {
    unsigned char b;
    char16_t u = Oem().toUnicode[c];
    if (Ansi().Find(u, b)) return b;
    if (u == 0x2219) return 0xB7; // ∙ -> ·
    if (u == 0x2502 || u == 0x2551) return '|';
    if (u == 0x2500 || u == 0x2550) return '-';
    if (u >= 0x2500 && u <= 0x256C) return '+';
    return '?';
}

template <unsigned char (*Map)(unsigned char)> struct ByteMap {
    std::array<unsigned char, 256> map{};
    ByteMap() {
        for (int b = 0; b < 256; ++b) map[b] = Map(static_cast<unsigned char>(b));
    }
    std::string Apply(std::string_view in) const {
        std::string out(in);
        for (char& c : out) c = static_cast<char>(map[static_cast<unsigned char>(c)]);
        return out;
    }
};

} // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::optional<std::array<char16_t, 128>> IconvHighHalf(const std::string& name) {
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::array<char16_t, 128> high{};
    for (int b = 128; b < 256; ++b) {
        char in = static_cast<char>(b);
        char outBuf[8];
        char* inPtr = &in;
        char* outPtr = outBuf;
        std::size_t inLeft = 1, outLeft = sizeof outBuf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r != static_cast<std::size_t>(-1) && inLeft == 0 && outLeft == sizeof outBuf - 2)
            high[b - 128] = static_cast<char16_t>(static_cast<unsigned char>(outBuf[0]) |
                                                  (static_cast<unsigned char>(outBuf[1]) << 8));
    }
    iconv_close(cd);
    return high;
}

char16_t AnsiCharToUnicode(unsigned char c) {
    return Ansi().toUnicode[c];
}
char16_t OemCharToUnicode(unsigned char c) {
    return Oem().toUnicode[c];
}

std::u16string AnsiToUtf16(std::string_view ansi) {
    return Ansi().Decode(ansi);
}
std::string Utf16ToAnsi(std::u16string_view text, bool* lossy) {
    return Ansi().Encode(text, lossy);
}
std::string AnsiToUtf8(std::string_view ansi) {
    return Utf16ToUtf8(AnsiToUtf16(ansi));
}
std::string Utf8ToAnsi(std::string_view utf8, bool* lossy) {
    return Utf16ToAnsi(Utf8ToUtf16(utf8), lossy);
}
std::u16string OemToUtf16(std::string_view oem) {
    return Oem().Decode(oem);
}
std::string Utf16ToOem(std::u16string_view text, bool* lossy) {
    return Oem().Encode(text, lossy);
}

std::string AnsiToOem(std::string_view ansi) {
    static const ByteMap<AnsiToOemByte> map;
    return map.Apply(ansi);
}

std::string OemToAnsi(std::string_view oem) {
    static const ByteMap<OemToAnsiByte> map;
    return map.Apply(oem);
}

bool IsUtf8(std::string_view bytes) {
    // Malformed sequences decode to U+FFFD and so do not come back as they were.
    return Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes;
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        auto b0 = static_cast<unsigned char>(s[i]);
        char32_t c = 0xFFFD;
        std::size_t len = 1;
        std::size_t need = 99; // continuation bytes after b0; 99: b0 cannot start a character
        if (b0 < 0x80)
            need = 0;
        else if (b0 >= 0xC2 && b0 < 0xE0)
            need = 1;
        else if (b0 >= 0xE0 && b0 < 0xF0)
            need = 2;
        else if (b0 >= 0xF0 && b0 < 0xF5)
            need = 3;
        if (need == 0) {
            c = b0;
        } else if (need != 99 && i + need < s.size()) {
            char32_t v = b0 & (0x3F >> need);
            bool ok = true;
            for (std::size_t k = 1; k <= need; ++k) {
                auto b = static_cast<unsigned char>(s[i + k]);
                if ((b & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                v = (v << 6) | (b & 0x3F);
            }
            static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
            if (ok && v >= kMin[need] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
                c = v;
                len = need + 1;
            }
        }
        i += len;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

int SingleByteCodePage(int codePage) {
    switch (codePage) {
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
    case 1255:
    case 1256:
    case 1257:
    case 1258:
    case 437:
    case 850:
    case 866:
    case 10000:
        return codePage;
    case 32768:
        return 10000;
    default:
        return 1252;
    }
}

bool CodePageAlias(int codePage) {
    return codePage == 32768 || codePage == 32769 || codePage == 367;
}

std::u16string DecodeSingleByte(int codePage, std::string_view bytes) {
    return TableFor(codePage).Decode(bytes);
}

std::string EncodeSingleByte(int codePage, std::u16string_view text, bool* lossy) {
    return TableFor(codePage).Encode(text, lossy);
}

std::u16string DecodeCodePage(int codePage, std::string_view bytes) {
    if (codePage == 932) return DecodeWithIconv("CP932", bytes);
    return ExactTable(codePage).Decode(bytes);
}

} // namespace platform
