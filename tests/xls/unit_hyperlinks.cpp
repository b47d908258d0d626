#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/model/Hyperlinks.h"

#include "support_biffbuild.h"
#include "support_messages.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace biffbuild;

namespace {

// The HLINK records (with HLINKTOOLTIP) the links write, read back into a
// fresh collection.
std::vector<Record> WrittenRecords(const THyperlinks& links) {
    return Records(Written([&](TXLSStream& s) { links.WriteHyperlinks(s); }), true);
}

void ReadBack(const std::vector<Record>& records, THyperlinks& into) {
    for (const auto& r : records) {
        if (r.Id == hlink::HLINK) into.ReadHyperlink(r.Body, 2);
        if (r.Id == hlink::HLINKTOOLTIP) into.ReadToolTip(r.Body);
    }
}

const uint8_t StdLinkGuid[] = {0xD0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                               0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
const uint8_t UrlGuid[] = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                           0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};

// An HLINK body for A1 with the given flags; the rest is added by the caller.
Body LinkHead(uint32_t flags) {
    Body b;
    b.U16(0).U16(0).U16(0).U16(0);
    for (uint8_t c : StdLinkGuid) b.U8(c);
    b.U32(2).U32(flags);
    return b;
}

Body& StringField(Body& b, std::u16string_view text) {
    b.U32(uint32_t(text.size() + 1));
    for (char16_t c : text) b.U16(c);
    return b.U16(0);
}

} // namespace

TEST(Hyperlinks, TheAddressDecidesTheKind) {
    TTabrix4 book;
    book.Sheets().Add(0).SetName(u"Ціни");
    book.GetInternalNames().Add().SetName(u"Знижки");
    THyperlinks& links = book.GetSheet(0).Hyperlinks();
    struct Case {
        std::u16string address;
        THyperlinkType type;
        THyperlinkEncoding encoding;
        std::u16string textMark;
    } cases[] = {
        {u"http://example.com", THyperlinkType::hltURL, THyperlinkEncoding::hleURL, u""},
        {u"HTTPS://example.com", THyperlinkType::hltURL, THyperlinkEncoding::hleURL, u""},
        {u"www.example.com", THyperlinkType::hltURL, THyperlinkEncoding::hleURL, u""},
        {u"Ftp://files", THyperlinkType::hltURL, THyperlinkEncoding::hleURL, u""},
        {u"MAILTO:shop@example.com", THyperlinkType::hltURL, THyperlinkEncoding::hleURL, u""},
        {u"\\\\server\\share", THyperlinkType::hltUNC, THyperlinkEncoding::hleUNC, u""},
        {u"B7", THyperlinkType::hltWorkbook, THyperlinkEncoding::hleWorkbook, u"B7"},
        {u"'Ціни'!A1:B2", THyperlinkType::hltWorkbook, THyperlinkEncoding::hleWorkbook, u"'Ціни'!A1:B2"},
        {u"Sheet1!C3", THyperlinkType::hltWorkbook, THyperlinkEncoding::hleWorkbook, u"Sheet1!C3"},
        {u"Missing!C3", THyperlinkType::hltFile, THyperlinkEncoding::hleFile, u""},
        {u"Знижки", THyperlinkType::hltWorkbook, THyperlinkEncoding::hleWorkbook, u"Знижки"},
        {u"Prices", THyperlinkType::hltFile, THyperlinkEncoding::hleFile, u""},
        {u"report.xls", THyperlinkType::hltFile, THyperlinkEncoding::hleFile, u""},
        {u"..\\..\\docs\\звіт.xls", THyperlinkType::hltFile, THyperlinkEncoding::hleFile, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.address.begin(), c.address.end()));
        THyperlink& link = links.Add();
        link.SetAddress(c.address);
        EXPECT_EQ(link.HyperlinkType(), c.type);
        EXPECT_EQ(link.HyperlinkEncoding(), c.encoding);
        EXPECT_EQ(link.TextMark(), c.textMark);
        EXPECT_EQ(link.GetAddress(), c.address);
        EXPECT_TRUE(link.Changed());
    }
}

TEST(Hyperlinks, EveryKindIsWrittenAndReadBack) {
    TTabrix4 book;
    THyperlinks& links = book.GetSheet(0).Hyperlinks();
    // An address, and a place within the workbook (alone: a link made
    // without an address).
    const std::pair<std::u16string, std::u16string> addresses[] = {{u"http://example.com/a?b=1", u""},
                                                                   {u"mailto:shop@example.com", u""},
                                                                   {u"\\\\server\\share\\prices.xls", u""},
                                                                   {u"..\\..\\docs\\звіт.xls", u""},
                                                                   {u"C:\\data\\prices.xls", u""},
                                                                   {u"Sheet1!B3", u""},
                                                                   {u"notes.txt", u""},
                                                                   {u"", u"Sheet1!A5"},
                                                                   {u"http://example.com/", u"Top"}};
    for (int i = 0; i < int(std::size(addresses)); ++i) {
        THyperlink& link = links.Add();
        link.Row1 = 2 * i;
        link.Row2 = 2 * i + 1;
        link.Col1 = 1;
        link.Col2 = 3;
        if (!addresses[i].first.empty()) link.SetAddress(addresses[i].first);
        if (!addresses[i].second.empty()) link.SetLocation(addresses[i].second);
        if (i % 4 == 1) link.SetDescription(u"Опис " + addresses[i].first);
        if (i % 3 == 0) link.SetToolTip(u"Підказка");
    }
    EXPECT_EQ(links.Items(7).HyperlinkType(), THyperlinkType::hltWorkbook);
    EXPECT_EQ(links.Items(7).GetAddress(), u"Sheet1!A5");
    const auto records = WrittenRecords(links);
    EXPECT_EQ(CountOf(records, hlink::HLINK), std::size(addresses));
    EXPECT_EQ(CountOf(records, hlink::HLINKTOOLTIP), 3u);
    // No link is written without a target: one made and given nothing is
    // left out (the write names it).
    links.Add();
    std::vector<std::string> named;
    const auto again = Records(Written([&](TXLSStream& s) {
                                   links.WriteHyperlinks(s, [&](std::string text) { named.push_back(text); });
                               }),
                               true);
    EXPECT_EQ(CountOf(again, hlink::HLINK), std::size(addresses));
    EXPECT_EQ(named, std::vector<std::string>{"1 hyperlink without an address or place not written to .xls"});
    links.Delete(links.Count() - 1);
    THyperlinks back;
    ReadBack(records, back);
    ASSERT_EQ(back.Count(), links.Count());
    for (int i = 0; i < links.Count(); ++i) {
        const THyperlink &a = links.Items(i), &b = back.Items(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(b.GetAddress(), a.GetAddress());
        EXPECT_EQ(b.HyperlinkEncoding(), a.HyperlinkEncoding());
        EXPECT_EQ(b.GetDescription(), a.GetDescription());
        EXPECT_EQ(b.GetToolTip(), a.GetToolTip());
        EXPECT_EQ(b.TextMark(), a.TextMark());
        EXPECT_EQ(std::tie(b.Row1, b.Row2, b.Col1, b.Col2), std::tie(a.Row1, a.Row2, a.Col1, a.Col2));
        EXPECT_EQ(b.SheetIndex(), 2);
        EXPECT_FALSE(b.Changed());
    }
    // The relative file link: two up-levels, then the rest of the path; an
    // absolute one carries the absolute flag.
    const auto& relative = records[4].Body; // after the first link's tool tip
    // Header, moniker class, up-levels, an empty short path (not ASCII),
    // 24 bytes, the sizes, key and the 13 characters of "docs\звіт.xls".
    ASSERT_EQ(relative.size(), 32u + 16 + 2 + 4 + 1 + 24 + 4 + 4 + 2 + 2 * 13);
    EXPECT_EQ(GetU16(relative.data() + 32 + 16), 2);
    EXPECT_EQ(GetU32(relative.data() + 28) & 0x03, 0x01u);
    EXPECT_EQ(back.Items(4).Flags() & 0x03, 0x03u);
    // The tool tip record: its id, the area, the text and a zero.
    const auto& tip = records[1].Body;
    EXPECT_EQ(tip, (Body()
                        .U16(0x0800)
                        .U16(0)
                        .U16(1)
                        .U16(1)
                        .U16(3)
                        .Raw({0x1F, 0x04, 0x56, 0x04, 0x34, 0x04, 0x3A, 0x04, 0x30, 0x04, 0x37, 0x04, 0x3A,
                              0x04, 0x30, 0x04, 0, 0})
                        .b));
}

TEST(Hyperlinks, LinksOfOtherKindsAndMonikersAreKeptAsRead) {
    // With a creation time (0x40) and with an unknown moniker class.
    Body withTime = LinkHead(0x41);
    for (int i = 0; i < 24; ++i) withTime.U8(uint8_t(i));
    Body otherMoniker = LinkHead(0x03);
    for (int i = 0; i < 16; ++i) otherMoniker.U8(0x77);
    otherMoniker.U32(0);
    THyperlinks links;
    links.ReadHyperlink(withTime.b, 0);
    links.ReadHyperlink(otherMoniker.b, 0);
    ASSERT_EQ(links.Count(), 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(links.Items(i).HyperlinkType(), THyperlinkType::hltUnknown);
    auto records = WrittenRecords(links);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Body, withTime.b);
    EXPECT_EQ(records[1].Body, otherMoniker.b);

    // A package holds neither, nor a link's target frame: its write names them.
    TTabrix4 book;
    THyperlinks& sheetLinks = book.GetSheet(0).Hyperlinks();
    sheetLinks.ReadHyperlink(withTime.b, 0);
    Body framed = LinkHead(0x83);
    StringField(framed, u"_blank");
    for (uint8_t c : UrlGuid) framed.U8(c);
    framed.U32(2 * 3 + 2).U16('a').U16(':').U16('b').U16(0);
    sheetLinks.ReadHyperlink(framed.b, 0);
    ASSERT_EQ(sheetLinks.Items(1).TargetFrame(), u"_blank");
    std::vector<uint8_t> package;
    WritePackageFile(book, &package);
    EXPECT_EQ(book.Warnings(),
              (std::vector<std::string>{
                  "Sheet 'Sheet1': 1 hyperlink(s) of a kind not known here not written to the .xlsx file",
                  "Sheet 'Sheet1': the target frame of 1 hyperlink not written to the .xlsx file"}));
}

TEST(Hyperlinks, TheTextMarkComesFromItsOwnFieldAndTheDescriptionOnlyWithoutOne) {
    // A URL whose description holds a "#": the location field still counts.
    Body url = LinkHead(0x1F);
    StringField(url, u"Item #5");
    for (uint8_t c : UrlGuid) url.U8(c);
    url.U32(2 * 2 + 2).U16('h').U16('i').U16(0);
    StringField(url, u"Sheet1!A1");
    // A workbook link whose location only the description carries.
    Body local = LinkHead(0x1C);
    StringField(local, u"Jump#Sheet2!B2");
    THyperlinks links;
    links.ReadHyperlink(url.b, 0);
    links.ReadHyperlink(local.b, 0);
    EXPECT_EQ(links.Items(0).GetAddress(), u"hi");
    EXPECT_EQ(links.Items(0).TextMark(), u"Sheet1!A1");
    EXPECT_EQ(links.Items(1).HyperlinkType(), THyperlinkType::hltWorkbook);
    EXPECT_EQ(links.Items(1).GetAddress(), u"Sheet2!B2");
}

TEST(Hyperlinks, LengthsThatPassTheRecordAreRefused) {
    auto withUrlBytes = [](uint32_t bytes) {
        Body b = LinkHead(0x03);
        for (uint8_t c : UrlGuid) b.U8(c);
        return b.U32(bytes).U16('a').U16(0);
    };
    Body description = LinkHead(0x17);
    description.U32(1000).U16('x');
    Body file = LinkHead(0x01);
    for (uint8_t c : {0x03, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}) file.U8(uint8_t(c));
    file.U16(0).U32(500).Raw({'a', 0});
    Body unicode = LinkHead(0x01);
    for (uint8_t c : {0x03, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}) unicode.U8(uint8_t(c));
    unicode.U16(0).U32(2).Raw({'a', 0}).Raw(Bytes(24, 0)).U32(10).U32(400).U16(3).U16('b');
    Body textMark = LinkHead(0x08);
    textMark.U32(0x7FFFFFFF);
    struct Case {
        const char* what;
        Bytes body;
    } cases[] = {
        {"header cut", Bytes(20, 0)},         {"URL bytes", withUrlBytes(100).b},
        {"description count", description.b}, {"file path length", file.b},
        {"unicode path size", unicode.b},     {"text mark count", textMark.b},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        THyperlinks links;
        EXPECT_NE(MessageOf([&] { links.ReadHyperlink(c.body, 0); }).find("Record too short"),
                  std::string::npos);
    }
    THyperlinks ok;
    ok.ReadHyperlink(withUrlBytes(4).b, 0);
    EXPECT_EQ(ok.Items(0).GetAddress(), u"a");
}

TEST(Hyperlinks, TheSheetClearsAndCopiesItsLinks) {
    TTabrix4 book;
    TSheet& first = book.GetSheet(0);
    THyperlink& link = first.Hyperlinks().Add();
    link.SetAddress(u"http://example.com");
    link.SetToolTip(u"tip");
    TSheet& second = book.Sheets().Add(0);
    second.Assign(first);
    ASSERT_EQ(second.Hyperlinks().Count(), 1);
    EXPECT_EQ(second.Hyperlinks().Items(0).GetToolTip(), u"tip");
    first.Clear();
    EXPECT_EQ(first.Hyperlinks().Count(), 0);
    EXPECT_EQ(second.Hyperlinks().Count(), 1);
}
