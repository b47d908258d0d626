// BIFF string buffers, code-page and UTF-8 conversions, wide-string helpers.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"

#include <gtest/gtest.h>

using namespace xls;

namespace {
std::vector<uint8_t> B(std::initializer_list<int> v) {
    return std::vector<uint8_t>(v.begin(), v.end());
}
} // namespace

TEST(BIFFStrings, FlaggedBuffers) {
    EXPECT_EQ(BIFFStrCharCount({}), 0);
    EXPECT_EQ(BIFFStrCharCount(B({0, 'a', 'b', 'c'})), 3);
    EXPECT_EQ(BIFFStrCharCount(B({1, 'a', 0, 'b', 0})), 2);

    auto wide = WideStringToBIFFStr(u"A\u0416");
    EXPECT_EQ(wide, B({1, 'A', 0, 0x16, 0x04}));
    EXPECT_EQ(BIFFStrToWideString(wide, 2), u"A\u0416");
    // 8-bit characters of BIFF8 are Latin-1.
    EXPECT_EQ(BIFFStrToWideString(B({0, 0xE9, 'x'}), 2), u"\u00e9x");
    // Any non-zero flag means 16-bit characters and is normalised to 1.
    EXPECT_EQ(BytesToBIFFStr(B({5, 'a', 0, 'b', 0, 'z'}), 2), B({1, 'a', 0, 'b', 0}));
    EXPECT_EQ(BytesToBIFFStr(B({0, 'a', 'b', 'c'}), 2), B({0, 'a', 'b'}));
}

TEST(BIFFStrings, ShortBuffersRaise) {
    EXPECT_THROW(BytesToBIFFStr(B({1, 'a', 0}), 2), XLSError);
    EXPECT_THROW(BytesToBIFFStr({}, 0), XLSError);
    EXPECT_THROW(BIFFStrToWideString(B({1, 'a', 0, 'b'}), 2), XLSError);
    EXPECT_THROW(BIFFStrToWideString(B({0, 'a'}), 2), XLSError);
    EXPECT_THROW(BIFFStrBufToWideString(B({1, 'a', 0}), 3), XLSError);
    EXPECT_EQ(BIFFStrBufToWideString(B({1, 'a', 0}), 0), u"");
}

TEST(BIFFStrings, ByteStrings) {
    EXPECT_EQ(ByteStrToWideString({}), u"");
    EXPECT_EQ(ByteStrToWideString(B({1, 'h', 0, 'i', 0, 'x'})), u"hi"); // odd tail ignored
    EXPECT_EQ(ByteStrToWideString(B({0, 'o', 'k'})), u"ok");
    EXPECT_EQ(ByteStrToWideString(B({'w', 'h', 'o', 'l', 'e'})), u"whole");
    EXPECT_EQ(BIFFStrBufToWideString(B({1, 'a', 0, 'b', 0, 'c', 0}), 2), u"ab");
}

TEST(BIFFStrings, WideBufStopsAtNulAndNeverUnderflows) {
    EXPECT_EQ(WideBufToString(B({'a', 0, 'b', 0, 0, 0, 'c', 0, 0, 0})), u"ab");
    EXPECT_EQ(WideBufToString(B({'a', 0, 'b', 0})), u"a"); // the last character is the terminator
    EXPECT_EQ(WideBufToString(B({'a'})), u"");
    EXPECT_EQ(WideBufToString({}), u"");
}

TEST(Utf8, RoundTripAndRepair) {
    std::u16string text = u"Ціна \u20ac \U0001F600 end";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(WideToUtf8(u"\u0416"), "\xD0\x96");
    EXPECT_EQ(Utf8ToWide("a\xC3"), u"a\uFFFD");         // truncated sequence
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"\uFFFD");   // encoded surrogate
    EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(WideHelpers, UpperCaseCoversTheScriptsOfOurFiles) {
    EXPECT_EQ(UpperCaseWide(u"arial \u00e9\u00ff"), u"ARIAL \u00c9\u0178");
    EXPECT_EQ(UpperCaseWide(u"\u0491\u0456\u0457\u0454 \u0430\u044f\u0451"),
              u"\u0490\u0406\u0407\u0404 \u0410\u042f\u0401");
    EXPECT_EQ(UpperCaseWide(u"\u03b1\u03c2\u0101\u017e"), u"\u0391\u03a3\u0100\u017d");
    EXPECT_EQ(UpperCaseWide(u"\u00f7\u00d7123"), u"\u00f7\u00d7123");
}

TEST(WideHelpers, PositionsAndReplace) {
    EXPECT_EQ(CharPos('b', "abcb"), 2);
    EXPECT_EQ(WideCharPos(u'x', u"abc"), -1);
    EXPECT_EQ(WideCharLastPos(u'b', u"abcb"), 4);
    std::bitset<256> set;
    set['a'] = true;
    EXPECT_TRUE(WideCharInSet(u'a', set));
    EXPECT_FALSE(WideCharInSet(char16_t(0x100 + 'a'), set));
    std::vector<std::u16string> items = {u"x", u"Y", u"y"};
    EXPECT_EQ(IndexOfWideStr(u"y", items), 2);
    EXPECT_EQ(IndexOfWideStr(u"z", items), -1);
    EXPECT_EQ(WideStringReplaceAll(u"aaa", u"a", u"aa"), u"aaaaaa"); // no rescan of the result
    EXPECT_EQ(WideStringReplaceAll(u"abab", u"ab", u""), u"");
    EXPECT_EQ(WideStringReplaceAll(u"abc", u"", u"x"), u"abc");
    EXPECT_TRUE(IsWideText(u"a\u0100"));
    EXPECT_FALSE(IsWideText(u"\u00ff"));
}
