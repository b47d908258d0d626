#include "platform/CodePages.h"

#include <gtest/gtest.h>
#include <iconv.h>

using namespace platform;

namespace {

// Unicode of one byte through glibc's iconv, the independent reference; 0 when iconv refuses it.
char16_t IconvChar(const char* codePage, unsigned char byte) {
    iconv_t cd = iconv_open("UTF-16LE", codePage);
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char in = static_cast<char>(byte);
    char out[8];
    char* inPtr = &in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || outLeft != sizeof out - 2) return 0;
    return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1])
                                                                          << 8);
}

std::string AllBytes() {
    std::string s;
    for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
}

TEST(CodePages, AnsiAndOemTablesAgreeWithIconvAndRoundTrip) {
    for (int b = 0; b < 256; ++b) {
        auto byte = static_cast<unsigned char>(b);
        char16_t ref = IconvChar("CP1251", byte);
        if (b == 0x98)
            EXPECT_EQ(AnsiCharToUnicode(byte), u'\u0098');
        else
            EXPECT_EQ(AnsiCharToUnicode(byte), ref) << "1251 byte " << b;
        EXPECT_EQ(OemCharToUnicode(byte), IconvChar("CP866", byte)) << "866 byte " << b;
    }
    const std::string all = AllBytes();
    bool lossy = false;
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all), &lossy), all);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all), &lossy), all);
    EXPECT_EQ(Utf16ToOem(OemToUtf16(all), &lossy), all);
    EXPECT_FALSE(lossy);
}

TEST(CodePages, UnmappableCharactersBecomeQuestionMarks) {
    bool lossy = false;
    // "₴5" and a character outside the BMP (one '?' for the surrogate pair).
    EXPECT_EQ(Utf16ToAnsi(u"\u20B45\U0001F600x", &lossy), "?5?x");
    EXPECT_TRUE(lossy);
    lossy = false;
    EXPECT_EQ(Utf8ToAnsi("\xD0\x86\xD1\x96", &lossy), "\xB2\xB3"); // І і
    EXPECT_FALSE(lossy);
    EXPECT_EQ(Utf16ToOem(u"\u0406", &lossy), "?");
    EXPECT_TRUE(lossy);
}

TEST(CodePages, AnsiToOemBestFitTable) {
    struct Case {
        unsigned char ansi;
        unsigned char oem;
    };
    // The documented best fits, and a few that have none.
    const Case cases[] = {
        {0xB2, 'I'},  {0xB3, 'i'}, {0xA5, 0x83}, {0xB4, 0xA3}, {0x81, 0x83}, {0x83, 0xA3}, {0x8D, 0x8A},
        {0x9D, 0xAA}, {0xA3, 'J'}, {0xBC, 'j'},  {0xBD, 'S'},  {0xBE, 's'},  {0x82, '\''}, {0x91, '\''},
        {0x92, '\''}, {0x84, '"'}, {0x93, '"'},  {0x94, '"'},  {0xAB, '"'},  {0xBB, '"'},  {0x8B, '<'},
        {0x9B, '>'},  {0x96, '-'}, {0x97, '-'},  {0xAD, '-'},  {0xA6, '|'},  {0x95, 0xF9}, {0x88, '?'},
        {0x98, '?'},  {0xA9, '?'}, {0x80, '?'},  {0xB9, 0xFC}, // № exists in both
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<unsigned char>(AnsiToOem(std::string(1, static_cast<char>(c.ansi)))[0]), c.oem)
            << "ANSI byte " << int(c.ansi);
    // Every ANSI character OEM has keeps its identity through OEM and back; the rest have a fit or '?'.
    const std::string all = AllBytes();
    std::string oem = AnsiToOem(all);
    ASSERT_EQ(oem.size(), 256u);
    int exact = 0;
    for (int b = 0; b < 256; ++b) {
        char16_t u = AnsiCharToUnicode(static_cast<unsigned char>(b));
        char16_t back = OemCharToUnicode(static_cast<unsigned char>(oem[b]));
        if (u == back) ++exact;
    }
    EXPECT_EQ(exact, 256 - 51);
    // "Ціна: 12,50 грн." in 1251 and in 866.
    EXPECT_EQ(AnsiToOem("\xD6\xB3\xED\xE0: 12,50 \xE3\xF0\xED."), "\x96i\xAD\xA0: 12,50 \xA3\xE0\xAD.");
}

TEST(CodePages, OemToAnsiKeepsLengthAndDrawsLinesWithAscii) {
    const std::string all = AllBytes();
    std::string ansi = OemToAnsi(all);
    ASSERT_EQ(ansi.size(), 256u);
    EXPECT_EQ(ansi[0xB3], '|');                                                   // │
    EXPECT_EQ(ansi[0xCD], '-');                                                   // ═
    EXPECT_EQ(ansi[0xC5], '+');                                                   // ┼
    EXPECT_EQ(ansi[0xB0], '?');                                                   // ░
    EXPECT_EQ(ansi[0xF9], '\xB7');                                                // ∙ -> ·
    EXPECT_EQ(OemToAnsi("\x8F\xE0\xA8\xA2\xA5\xE2"), "\xCF\xF0\xE8\xE2\xE5\xF2"); // Привет
    EXPECT_EQ(OemToAnsi(""), "");
    // OEM letters survive ANSI and back.
    for (int b = 0x80; b < 0xB0; ++b) {
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(AnsiToOem(OemToAnsi(one)), one);
    }
}

TEST(CodePages, Utf8DecodingReplacesMalformedSequences) {
    EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00E9\u20AC\U0001F600");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");                     // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");           // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");                     // cut short at the end
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD"); // above U+10FFFF
    EXPECT_EQ(Utf8ToUtf16(std::string("\0x", 2)), std::u16string(u"\0x", 2));
    EXPECT_EQ(Utf16ToUtf8(u"\xD800x\xDC00"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(CodePages, DeclaredCodePagesDecodeLikeIconvAndRoundTrip) {
    struct Page {
        int number;
        const char* iconvName;
    };
    const Page pages[] = {{1250, "CP1250"},    {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"},
                          {1254, "CP1254"},    {1255, "CP1255"}, {1256, "CP1256"}, {1257, "CP1257"},
                          {1258, "CP1258"},    {437, "CP437"},   {850, "CP850"},   {866, "CP866"},
                          {10000, "MACINTOSH"}};
    const std::string all = AllBytes();
    for (const Page& p : pages) {
        std::u16string text = DecodeSingleByte(p.number, all);
        ASSERT_EQ(text.size(), 256u);
        for (int b = 0x80; b < 256; ++b) {
            char16_t ref = IconvChar(p.iconvName, static_cast<unsigned char>(b));
            // Bytes the code page leaves unassigned keep their number or take a private-use character.
            if (ref)
                EXPECT_EQ(text[b], ref) << p.number << " byte " << b;
            else
                EXPECT_TRUE(text[b] == b || text[b] == 0xF700 + b) << p.number << " byte " << b;
        }
        bool lossy = false;
        EXPECT_EQ(EncodeSingleByte(p.number, text, &lossy), all) << p.number;
        EXPECT_FALSE(lossy) << p.number;
    }
}

// Code pages of dBase tables beyond those of workbooks, by their exact
// number: single-byte ones as iconv reads them, Shift-JIS a character of one
// or two bytes.
TEST(CodePages, TablePagesDecodeByTheirNumber) {
    const std::string all = AllBytes();
    for (const auto& [number, name] : {std::pair{737, "CP737"}, {852, "CP852"}, {865, "CP865"}}) {
        const std::u16string text = DecodeCodePage(number, all);
        ASSERT_EQ(text.size(), 256u);
        for (int b = 0x80; b < 256; ++b)
            EXPECT_EQ(text[b], IconvChar(name, static_cast<unsigned char>(b))) << b;
    }
    EXPECT_EQ(DecodeCodePage(932, "\x84X\x84p\x84z \x87\x82"
                                  "5"),
              u"Чай №5");
    EXPECT_EQ(DecodeCodePage(932, "\x92\x83\x84"), u"茶\uFFFD");
    EXPECT_EQ(DecodeCodePage(932, "a\x84\x20"
                                  "b"),
              u"a\uFFFD b");
    EXPECT_EQ(DecodeCodePage(1251, "\xC0"), u"А");
}

TEST(CodePages, UnknownCodePagesReadAs1252) {
    EXPECT_EQ(SingleByteCodePage(32769), 1252);
    EXPECT_EQ(SingleByteCodePage(367), 1252);
    EXPECT_EQ(SingleByteCodePage(932), 1252);
    EXPECT_EQ(SingleByteCodePage(32768), 10000);
    EXPECT_EQ(DecodeSingleByte(12345, "\x80\xE9"), u"\u20AC\u00E9");
    bool lossy = false;
    EXPECT_EQ(EncodeSingleByte(1252, u"\u20AC\u0416", &lossy), "\x80?");
    EXPECT_TRUE(lossy);
    EXPECT_EQ(EncodeSingleByte(10000, u"\u00E9", nullptr), "\x8E");
}

} // namespace
