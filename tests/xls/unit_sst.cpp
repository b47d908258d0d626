// The shared string table: interning, and SST/CONTINUE/EXTSST bytes.
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/SST.h"
#include "tests/xls/support_biffbuild.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace xls;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<biffbuild::Record> Records(const Bytes& image) {
    return biffbuild::Records(image, true);
}

// The SST and CONTINUE bodies of an image, as a reader gets them.
std::vector<Bytes> SSTPieces(const Bytes& image) {
    std::vector<Bytes> pieces;
    for (auto& r : Records(image))
        if (r.Id == BIFF_SST || r.Id == BIFF_CONTINUE) pieces.push_back(r.Body);
    return pieces;
}

} // namespace

TEST(SSTInterning, SharedEntriesAndUseCounts) {
    TXFonts fonts;
    TSST2 sst(&fonts);
    TSSTEntry* a = sst.AddString(u"Ціна");
    EXPECT_EQ(sst.AddString(u"Ціна"), a);
    EXPECT_EQ(a->UsageCount, 2);
    EXPECT_EQ(sst.StringCount(), 2);
    EXPECT_TRUE(a->IsWide());
    TSSTEntry* b = sst.AddString(u"Price \u00e9");
    EXPECT_FALSE(b->IsWide());
    EXPECT_EQ(sst.EntryText(b), u"Price \u00e9");
    EXPECT_EQ(sst.Count(), 2u);
    EXPECT_FALSE(sst.Release(a));
    EXPECT_TRUE(sst.Release(a));
    EXPECT_EQ(sst.Count(), 1u);
    EXPECT_EQ(sst.StringCount(), 1);
    EXPECT_EQ(sst.AddString(std::u16string(40000, u'x'))->CharCount, MaxSSTStringLength);
}

TEST(SSTInterning, RichStringsDifferByRunFont) {
    TXFonts fonts;
    TSST2 sst(&fonts);
    TSSTFontRun runs[2];
    runs[1].Pos = 2;
    runs[1].Font.Bold = true;
    TSSTEntry* a = sst.AddFormattedString(u"abcd", runs);
    EXPECT_EQ(TSST2::RunCount(a), 2);
    EXPECT_EQ(fonts.Count(), 6); // the bold run font
    EXPECT_EQ(fonts.GetItem(5)->UsageCount, 1);
    EXPECT_EQ(sst.AddFormattedString(u"abcd", runs), a);
    EXPECT_EQ(fonts.GetItem(5)->UsageCount, 1);
    runs[1].Font.Italic = true;
    TSSTEntry* b = sst.AddFormattedString(u"abcd", runs);
    EXPECT_NE(a, b);
    EXPECT_NE(sst.AddString(u"abcd"), a);
    EXPECT_THROW(TSST2::GetRun(a, 2), XLSError);
    EXPECT_THROW(TSST2::GetRun(sst.AddString(u"abcd"), 0), XLSError);
    EXPECT_EQ(TSST2::GetRun(a, 1).Pos, 2u);
    sst.Release(a);
    sst.Release(a);
    EXPECT_EQ(fonts.Count(), 6); // the italic run font is still used by b
    sst.Release(b);
    EXPECT_EQ(fonts.Count(), 5);
}

TEST(SSTRecords, OneStringByteForByte) {
    TXFonts fonts;
    TSST2 sst(&fonts);
    sst.AddString(u"ab");
    sst.AddString(u"ab");
    Bytes image = sst.BuildSST(1000);
    Bytes expected = {0xFC, 0x00, 0x0D, 0x00, 2,    0, 0, 0,         1,    0, 0, 0,  2, 0, 0, 'a',
                      'b',  0xFF, 0x00, 0x0A, 0x00, 8, 0, 0xE8 + 12, 0x03, 0, 0, 12, 0, 0, 0};
    EXPECT_EQ(image, expected);
}

TEST(SSTRecords, LongTextsGoOnInContinueRecords) {
    // 8-bit text splits anywhere and goes on after a zero option byte.
    // UTF-16 text has 8213 bytes left after the counts and the string
    // header, an odd number, so its record ends one byte early.
    const struct {
        std::u16string text;
        size_t first, next;
        Bytes nextStart;
    } cases[] = {{std::u16string(10000, u'q'), 8224, 1 + 10000 - (8224 - 11), {0, 'q'}},
                 {std::u16string(5000, u'\u0416'), 8223, 1 + 10000 - 8212, {1, 0x16, 0x04}},
                 // A character made of two across that end goes on whole.
                 {std::u16string(4105, u'\u0416') + u"\U0001F600" + std::u16string(1000, u'\u0416'),
                  8221,
                  1 + 2004,
                  {1, 0x3D, 0xD8, 0x00, 0xDE}}};
    for (const auto& c : cases) {
        TXFonts fonts;
        TSST2 sst(&fonts);
        sst.AddString(c.text);
        auto recs = Records(sst.BuildSST(0));
        ASSERT_EQ(recs.size(), 3u);
        EXPECT_EQ(recs[0].Body.size(), c.first);
        EXPECT_EQ(recs[1].Id, BIFF_CONTINUE);
        ASSERT_EQ(recs[1].Body.size(), c.next);
        EXPECT_EQ(Bytes(recs[1].Body.begin(), recs[1].Body.begin() + long(c.nextStart.size())), c.nextStart);
    }
}

TEST(SSTRecords, HeadersAndRunsAreNeverSplit) {
    TXFonts fonts;
    TSST2 sst(&fonts);
    // The first text leaves 10 bytes in the SST record: too few for a header.
    sst.AddString(std::u16string(8224 - 8 - 3 - 10, u'a'));
    auto recs = Records(sst.BuildSST(0));
    ASSERT_EQ(recs[0].Body.size(), 8214u);

    TSST2 rich(&fonts);
    TSSTFontRun runs[3];
    runs[1].Pos = 1;
    runs[1].Font.Bold = true;
    runs[2].Pos = 2;
    // Text ends 5 bytes before the record's end: one run fits, the next starts a CONTINUE.
    rich.AddFormattedString(std::u16string(8224 - 8 - 5 - 5, u'r'), runs);
    recs = Records(rich.BuildSST(0));
    ASSERT_GE(recs.size(), 3u);
    EXPECT_EQ(recs[0].Body.size(), 8224u - 1);
    EXPECT_EQ(recs[1].Id, BIFF_CONTINUE);
    EXPECT_EQ(recs[1].Body.size(), 8u); // two whole runs, no option byte
    TSST2 back(&fonts);
    back.ParseSST(SSTPieces(rich.BuildSST(0)));
    ASSERT_EQ(TSST2::RunCount(back.GetEntry(0)), 3);
    EXPECT_EQ(TSST2::GetRun(back.GetEntry(0), 1).Font->Style, xfsBold);
    EXPECT_EQ(TSST2::GetRun(back.GetEntry(0), 2).Pos, 2u);
}

TEST(SSTRecords, BucketsAndUniqueCount) {
    TXFonts fonts;
    for (int n : {100, 10000}) {
        TSST2 sst(&fonts);
        for (int i = 0; i < n; ++i)
            sst.AddString(u"s" + std::u16string(1, char16_t(0x400 + i % 200)) + u"#" +
                          std::u16string(1, char16_t(u'0' + i / 200 % 10)) +
                          std::u16string(1, char16_t(u'0' + i / 2000)));
        Bytes image = sst.BuildSST(512);
        EXPECT_EQ(sst.StringsPerBucket(), n == 100 ? 8 : 10);
        auto recs = Records(image);
        ASSERT_EQ(recs.back().Id, BIFF_EXTSST);
        size_t buckets = (size_t(n) + size_t(sst.StringsPerBucket()) - 1) / size_t(sst.StringsPerBucket());
        EXPECT_EQ(recs.back().Body.size(), 2 + 8 * buckets);
        // Every bucket points at the header of its first string.
        TSST2 back(&fonts);
        back.ParseSST(SSTPieces(image));
        const Bytes& ext = recs.back().Body;
        for (size_t k = 0; k < buckets; ++k) {
            uint32_t pos = uint32_t(ext[2 + 8 * k] | (ext[3 + 8 * k] << 8) | (ext[4 + 8 * k] << 16));
            uint16_t offset = uint16_t(ext[6 + 8 * k] | (ext[7 + 8 * k] << 8));
            size_t at = pos - 512;
            size_t recordStart = at - offset;
            EXPECT_TRUE(image[recordStart] == 0xFC || image[recordStart] == 0x3C);
            std::u16string text = back.GetEntry(int(k) * sst.StringsPerBucket())->Text();
            EXPECT_EQ(image[at], uint8_t(text.size()));
        }
    }
    TSST2 two(&fonts);
    two.AddString(u"same");
    two.AddString(u"same");
    Bytes image = two.BuildSST(0);
    EXPECT_EQ(image[4], 2);
    EXPECT_EQ(image[8], 1);
}

TEST(SSTRecords, ReadBackSharesRepeatedStrings) {
    TXFonts fonts;
    Bytes body = {3, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 'x', 2, 0, 1, 0x16, 0x04, 'y', 0, 1, 0, 0, 'x'};
    TSST2 sst(&fonts);
    sst.ParseSST(std::vector<Bytes>{body});
    ASSERT_EQ(sst.ReadCount(), 3);
    EXPECT_EQ(sst.GetEntry(0), sst.GetEntry(2));
    EXPECT_EQ(sst.GetEntry(1)->Text(), u"\u0416y");
    EXPECT_EQ(sst.Count(), 2u);
    sst.AddUse(sst.GetEntry(1));
    sst.EndRead();
    EXPECT_EQ(sst.Count(), 1u); // only the string a cell took stays
    EXPECT_THROW(sst.GetEntry(0), XLSError);
}

TEST(SSTRecords, EightBitStringContinuedInUtf16IsWidened) {
    TXFonts fonts;
    Bytes first = {1, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 'a', 'b'};
    Bytes second = {1, 0x16, 0x04, 'c', 0};
    TSST2 sst(&fonts);
    sst.ParseSST(std::vector<Bytes>{first, second});
    EXPECT_EQ(sst.GetEntry(0)->Text(), u"ab\u0416c");
}

TEST(SSTRecords, PhoneticBlocksRoundTrip) {
    TXFonts fonts;
    Bytes phonetic(9000);
    for (size_t i = 0; i < phonetic.size(); ++i) phonetic[i] = uint8_t(i * 13);
    Bytes body = {1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 4};
    uint32_t size = uint32_t(phonetic.size());
    for (int i = 0; i < 4; ++i) body.push_back(uint8_t(size >> (8 * i)));
    body.push_back('h');
    body.push_back('i');
    Bytes all = body;
    all.insert(all.end(), phonetic.begin(), phonetic.end());
    std::vector<Bytes> pieces = {Bytes(all.begin(), all.begin() + 8224),
                                 Bytes(all.begin() + 8224, all.end())};
    TSST2 sst(&fonts);
    sst.ParseSST(pieces);
    sst.AddUse(sst.GetEntry(0));
    sst.EndRead();
    Bytes image = sst.BuildSST(0);
    auto out = SSTPieces(image);
    Bytes joined;
    for (auto& p : out) joined.insert(joined.end(), p.begin(), p.end());
    EXPECT_EQ(joined, all); // phonetic pieces continue without option bytes
}

TEST(SSTRecords, MalformedTablesRaise) {
    TXFonts fonts;
    auto parse = [&](std::vector<Bytes> pieces) {
        TSST2 sst(&fonts);
        sst.ParseSST(pieces);
    };
    try {
        parse({{1, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 'a'}});
        FAIL();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "CONTINUE record is missing in SST");
    }
    try {
        parse({{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0x02, 'a'}});
        FAIL();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "STT: Unhandled string type in Read (02)");
    }
    EXPECT_THROW(parse({{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 8, 1, 0, 'a', 0, 0, 99, 0}}), XLSError); // no font 99
    EXPECT_THROW(parse({{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 4, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}}), XLSError);
    EXPECT_THROW(parse({{1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 1, 'a', 0, 'b'}, {1, 0}}), XLSError);
    EXPECT_THROW(parse({{1, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0}}), XLSError);
    EXPECT_THROW(parse({{1, 0, 0}}), XLSError);
}

// Writers get the counts of the head wrong; the strings the records hold
// are what counts. A byte left over from a character split between records
// is skipped.
TEST(SSTRecords, EveryStringPresentIsReadWhateverTheCountsSay) {
    TXFonts fonts;
    const Bytes two = {1, 0, 0, 'a', 2, 0, 1, 'b', 0, 'c', 0};
    for (uint32_t unique : {0u, 1u, 2u, 9u}) {
        SCOPED_TRACE(unique);
        Bytes body = biffbuild::Body().U32(unique).U32(unique).Raw(two).b;
        TSST2 sst(&fonts);
        sst.ParseSST(std::vector<Bytes>{body});
        ASSERT_EQ(sst.ReadCount(), 2);
        EXPECT_EQ(sst.GetEntry(1)->Text(), u"bc");
        sst.EndRead();
    }
    // "Жa" split after the first byte of 'a', the byte left over, the rest in
    // a piece of its own with its option byte.
    TSST2 split(&fonts);
    split.ParseSST(
        std::vector<Bytes>{{1, 0, 0, 0, 1, 0, 0, 0, 3, 0, 1, 0x16, 0x04, 'a'}, {1, 'x', 0, 0}, {1, 'y', 0}});
    EXPECT_EQ(split.GetEntry(0)->Text(), u"Жxy");
    split.EndRead();
}

TEST(SSTRecords, RandomTablesRoundTripAtEveryBoundary) {
    TXFonts fonts;
    std::mt19937 gen(5);
    TSST2 sst(&fonts);
    std::map<std::u16string, int> uses;
    for (int i = 0; i < 3000; ++i) {
        std::u16string text(gen() % 40 + (i % 50 == 0 ? 3000 : 0), u'\0');
        bool wide = gen() % 3 == 0;
        for (auto& c : text) c = char16_t(wide ? 0x400 + gen() % 64 : 'a' + gen() % 26);
        sst.AddString(text);
        ++uses[text];
    }
    Bytes image = sst.BuildSST(0);
    for (auto& r : Records(image)) EXPECT_LE(r.Body.size(), 8224u);
    TSST2 back(&fonts);
    back.ParseSST(SSTPieces(image));
    ASSERT_EQ(back.ReadCount(), int(uses.size()));
    for (int i = 0; i < back.ReadCount(); ++i) EXPECT_TRUE(uses.count(back.GetEntry(i)->Text()));
}

TEST(SSTStream, WrittenAndReadThroughTheRecordStream) {
    TXFonts fonts;
    TSST2 sst(&fonts);
    sst.AddString(std::u16string(6000, u'\u0416'));
    sst.AddString(u"tail");
    Bytes image;
    {
        TXLSStream s;
        s.TargetStream = &image;
        s.OpenWrite("", TExcelVersion::xvExcel40);
        Bytes bof = {0, 0, 0x10, 0};
        s.WriteRawRecord(0x0409, bof.data(), uint16_t(bof.size()));
        sst.WriteSST(s);
        s.Close();
    }
    TXLSStream s;
    s.SourceStream = &image;
    ASSERT_EQ(s.OpenRead(""), TExcelVersion::xvExcel40);
    TBIFFHeader h;
    s.ReadHeader(h);
    Bytes skip(h.Length);
    s.ReadRecordData(skip.data(), h.Length);
    s.ReadHeader(h);
    ASSERT_EQ(h.Id, BIFF_SST);
    TSST2 back(&fonts);
    back.ReadSST(s, h.Length);
    ASSERT_EQ(back.ReadCount(), 2);
    std::map<std::u16string, int> texts;
    for (int i = 0; i < 2; ++i) ++texts[back.GetEntry(i)->Text()];
    EXPECT_EQ(texts.count(std::u16string(6000, u'\u0416')), 1u);
    EXPECT_EQ(texts.count(u"tail"), 1u);
    EXPECT_EQ(s.PeekRecordId(), BIFF_EXTSST);
}
