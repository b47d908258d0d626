// The XML tokenizer and writer of package parts: tokens and their events,
// references and escapes in both directions, numbers, and the writer's
// primitives byte for byte.
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXml.h"
#include "bench/xls_bombs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

using namespace xls;

namespace {

// Every event as one line: "B name text empty?", "E name", "A name=value";
// a text longer than 64 bytes as its length and its first and last 8 bytes.
class Recorder : public TXLSXmlReader {
public:
    std::vector<std::string> Events;

protected:
    void OnBeginTag(std::string_view name, std::string_view text, bool isEmpty) override {
        std::string shown(text);
        if (text.size() > 64)
            shown = std::to_string(text.size()) + ":" + std::string(text.substr(0, 8)) + ".." +
                    std::string(text.substr(text.size() - 8));
        Events.push_back("B " + std::string(name) + " [" + shown + "]" + (isEmpty ? " empty" : ""));
    }
    void OnEndTag(std::string_view name) override { Events.push_back("E " + std::string(name)); }
    void OnAttribute(std::string_view name, std::string_view value) override {
        Events.push_back("A " + std::string(name) + "=" + std::string(value));
    }
};

std::string Events(std::string_view xml) {
    Recorder r;
    r.SetSource(xml);
    r.ParseDocument("test.xml");
    std::string all;
    for (const auto& e : r.Events) all += (all.empty() ? "" : "|") + e;
    return all;
}

// The events (and the error, if any) of a part that fill gives in pieces of
// pieceSize bytes, texts longer than `buffered` read as they arrive.
std::string FillEvents(const TXLSXmlReader::TPieceSource& fill, size_t pieceSize, size_t buffered) {
    Recorder r;
    r.MaxBufferedToken = buffered;
    std::string error;
    try {
        r.SetSource(fill, pieceSize);
        r.ParseDocument("test.xml");
    } catch (const XLSError& e) {
        error = e.what();
    }
    std::string all;
    for (const auto& e : r.Events) all += e + "|";
    return all + error + " level " + std::to_string(r.Level);
}

// The same for a part given in pieces of pieceSize bytes, each handed over
// at most `step` bytes at a time; a piece size of 0 reads it whole.
std::string PieceEvents(std::string_view xml, size_t pieceSize, size_t step,
                        size_t buffered = size_t(2) << 20) {
    if (pieceSize == 0) {
        Recorder r;
        std::string error;
        try {
            r.SetSource(xml);
            r.ParseDocument("test.xml");
        } catch (const XLSError& e) {
            error = e.what();
        }
        std::string all;
        for (const auto& e : r.Events) all += e + "|";
        return all + error + " level " + std::to_string(r.Level);
    }
    size_t at = 0;
    return FillEvents(
        [&](char* to, size_t n) {
            n = std::min({n, step, xml.size() - at});
            std::copy_n(xml.data() + at, n, to);
            at += n;
            return n;
        },
        pieceSize, buffered);
}

} // namespace

TEST(XmlTokenizer, ReportsTagsAttributesAndText) {
    struct Case {
        const char* xml;
        const char* events;
    } cases[] = {
        {"<a/>", "B a [] empty|E a"},
        {"<a b=\"1\"/>", "A b=1|B a [] empty|E a"},
        {"<a b=\"x/y\">t</a>", "A b=x/y|B a [t]|E a"},
        {"<a b='x>y' c=\"it's\"/>", "A b=x>y|A c=it's|B a [] empty|E a"},
        // Tabs and line breaks separate attributes as blanks do.
        {"<a\n\tb=\"1\"\r\nc = '2'/>", "A b=1|A c=2|B a [] empty|E a"},
        // An empty value reaches the reader; a name without a value does not.
        {"<a x=\"\" y z=/>", "A x=|B a [] empty|E a"},
        // Blanks around a text stay, with or without xml:space.
        {"<t xml:space=\"preserve\">  x  </t>", "A xml:space=preserve|B t [  x  ]|E t"},
        {"<t>  x  </t>", "B t [  x  ]|E t"},
        // Only the text before the first child belongs to the element.
        {"<a>one<b>two</b>three</a>", "B a [one]|B b [two]|E b|E a"},
        {"<?xml version=\"1.0\"?><!-- note --><a><?pi x?><b/></a>", "B a []|B b [] empty|E b|E a"},
        // Comments and CDATA inside a text: CDATA is kept in escaped form.
        {"<t>a<!--c-->b<![CDATA[<&>]]>c</t>", "B t [ab&lt;&amp;&gt;c]|E t"},
        {"<x:c r=\"A1\"><x:v>1</x:v></x:c>", "A r=A1|B x:c []|B x:v [1]|E x:v|E x:c"},
    };
    for (const Case& c : cases) EXPECT_EQ(Events(c.xml), c.events) << c.xml;
}

TEST(XmlTokenizer, LevelsAndTruncatedParts) {
    Recorder r;
    r.SetSource("<a><b/><c></c>");
    while (r.ReadNextTag()) {
    }
    EXPECT_EQ(r.Level, 1);
    // A tag cut off at the end of the part fires nothing.
    EXPECT_EQ(Events("<a><b c=\"1"), "B a []");
    EXPECT_EQ(Events("<a>text"), "B a [text]");
    // The prolog is a token of its own kind.
    r.SetSource("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    ASSERT_TRUE(r.ReadNextTag());
    EXPECT_EQ(r.TagKind, TXLSXmlReader::tkProlog);
}

// Every piece boundary falls somewhere inside a tag, an attribute, a text, a
// comment or a CDATA section of these parts: the events stay those of the
// whole part.
TEST(XmlTokenizer, PartsInPiecesReadAsWhole) {
    const std::string cases[] = {
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- note --><a x=\"1\" y='a>b'><?pi x?><b/>tail</a>",
        "<t xml:space=\"preserve\"> a<!--c-->b<![CDATA[<&>]]>c<?p?>d </t><u>" + std::string(40, 'x') + "</u>",
        "<a><!-->--></a><b><![CDATA[]]]]></b><c>x<",
        "<a><b c=\"1",
        "<a><!DOCTYPE a></a>",
        "<a x=\"1\" x=\"2\"><!DOCTYPE a>",
        "</x>",
        std::string("\xFF\xFE<\0a\0/\0>\0", 8),
    };
    for (const std::string& xml : cases) {
        const std::string whole = PieceEvents(xml, 0, 0);
        for (size_t piece = 1; piece <= 12; ++piece)
            for (size_t step : {size_t(1), size_t(5), xml.size()})
                EXPECT_EQ(PieceEvents(xml, piece, step), whole) << xml << " in pieces of " << piece;
    }
}

TEST(XmlTokenizer, RefusesWhatItMustNotRead) {
    struct Case {
        std::string xml;
        const char* message;
    } cases[] = {
        {"</x>", "XML level < 0"},
        {"<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", "XML document type declarations are not allowed"},
    };
    for (const Case& c : cases) {
        try {
            Events(c.xml);
            ADD_FAILURE() << "no error for " << c.xml.substr(0, 40);
        } catch (const XLSError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

// An element nested past the bound is left out with all it holds, counted;
// what stands beside it is read.
TEST(XmlTokenizer, ElementsNestedPastTheBoundAreLeftOut) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<a x=\"1\"><e/>";
    for (int i = 0; i < 300; ++i) deep += "</a>";
    Recorder r;
    const std::string xml = "<r>" + deep + "<b/>" + deep + "</r>";
    r.SetSource(xml);
    r.ParseDocument("test.xml");
    EXPECT_EQ(r.CutElements, 2);
    // r, then 255 levels of a, each with its e, then b.
    EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "B a [] "), 0);
    EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "E a"), 2 * 255);
    EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "B b [] empty"), 1);
    EXPECT_EQ(r.Events.back(), "E r");
}

TEST(XmlTokenizer, ReadsUtf16Parts) {
    std::u16string text = u"<a b=\"Б\">ж</a>";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    EXPECT_EQ(Events(bytes), "A b=\xD0\x91|B a [\xD0\xB6]|E a");
}

TEST(XmlText, ReferencesResolveOnce) {
    struct Case {
        const char* raw;
        std::u16string text;
    } cases[] = {
        {"&#065;", u"A"},
        {"&#10;", u"\n"},
        {"&#1053;&#1072;", u"На"},
        {"&#x41;&#X430;", u"Aа"},
        {"&#x1F600;", u"\U0001F600"},
        {"&nbsp;&quot;&apos;&lt;&gt;", u" \"'<>"},
        {"&amp;quot;", u"&quot;"},
        {"&Ucirc;&yuml;&iexcl;", u"\u00DB\u00FF\u00A1"},
        // What is not a reference stays as it is.
        {"a & b &bogus; &#0; &#xD800; &#;", u"a & b &bogus; &#0; &#xD800; &#;"},
        // Line ends read as one line feed.
        {"a\r\nb\rc\nd", u"a\nb\nc\nd"},
        {"Назва", u"Назва"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(XMLDecodeText(c.raw), c.text) << c.raw;
        EXPECT_EQ(XMLDecodeEntities(Utf8ToWide(c.raw)), c.text) << c.raw;
    }
    EXPECT_EQ(XMLEncodeText("a<b & \"c\">"), "a&lt;b &amp; &quot;c&quot;&gt;");
    EXPECT_EQ(HexToInt("FF00ff00"), 0xFF00FF00u);
    EXPECT_EQ(HexToInt("#x1-2"), 0x12u);
    EXPECT_EQ(HexToInt(""), 0u);
}

TEST(XmlText, CellTextsSurviveEscapingAndReading) {
    const std::u16string texts[] = {u"plain",
                                    u"  lead and trail  ",
                                    u"a\r\nb\rc",
                                    u"\x01\x02\x1F",
                                    u"_x0041_",
                                    u"<&>\"'",
                                    u"Кирилиця і ґ",
                                    std::u16string(1, char16_t(0xFFFF)),
                                    u"tab\there",
                                    u"_x",
                                    u"\U0001F600 emoji",
                                    std::u16string(1, char16_t(0xD800)) + u"a",
                                    u"b" + std::u16string(1, char16_t(0xDC00))};
    for (const std::u16string& t : texts) {
        std::string written = PackageText(t);
        EXPECT_EQ(written, XMLEncodeText(EncodeXString(t)));
        EXPECT_EQ(DecodeXString(XMLDecodeText(written)), t) << written;
    }
    EXPECT_EQ(EncodeXString(u"a\rb"), "a_x000D_b");
    EXPECT_EQ(DecodeXString(u"_x000d__x0041_"), u"\rA");
    // Text read as it stands (formulas, sheet names): what XML cannot carry
    // is replaced and counted; line ends and tabs stay, as references.
    struct Case {
        std::u16string Text;
        std::string Written;
        int Replaced;
    } plain[] = {
        {u"=\"a\"&B1", "=&quot;a&quot;&amp;B1", 0},
        {u"a\x01"
         u"b\x1F",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD",
         2},
        {u"a\r\nb\tc", "a&#13;&#10;b&#9;c", 0},
        {std::u16string(1, char16_t(0xFFFE)) + u"x" + std::u16string(1, char16_t(0xD800)),
         "\xEF\xBF\xBD"
         "x\xEF\xBF\xBD",
         2},
        {u"\U0001F600", "\xF0\x9F\x98\x80", 0},
    };
    for (const Case& c : plain) {
        int replaced = 0;
        EXPECT_EQ(PackageText(c.Text, TPackageText::Plain, &replaced), c.Written);
        EXPECT_EQ(replaced, c.Replaced);
        EXPECT_EQ(PackageCarries(WideToUtf8(c.Text)), c.Replaced == 0);
    }
}

TEST(XmlText, NumbersInTheirShortestText) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},        {0.1, "0.1"},        {-0.5, "-0.5"},      {4820000000000.0, "4820000000000"},
        {1e20, "1E+20"}, {1.5e-7, "1.5E-07"}, {123.456, "123.456"}};
    for (const Case& c : cases) {
        std::string out;
        ASSERT_TRUE(AppendXMLNumber(out, c.value));
        EXPECT_EQ(out, c.text);
    }
    for (double v : {1.0 / 3, 0.1 + 0.2, 1e308, 5e-324, 2.0 / 7 * 1e10}) {
        std::string out;
        AppendXMLNumber(out, v);
        EXPECT_EQ(std::strtod(out.c_str(), nullptr), v) << out;
    }
    std::string out;
    EXPECT_FALSE(AppendXMLNumber(out, std::nan("")));
    EXPECT_FALSE(AppendXMLNumber(out, std::numeric_limits<double>::infinity()));
}

TEST(XmlWriter, WritesEachPrimitive) {
    TXLSXmlWriter w;
    w.WriteTextTag("t", " x");
    w.WriteTextTag("t", "");
    w.WriteTextTag("t", "a<b");
    w.AddAttrInt(true, "r", 1);
    w.AddAttrInt(false, "skip", 2);
    w.AddAttrBool(true, "hidden", true);
    w.AddAttrStr(true, "name", "Goods & \"groups\"");
    w.AddAttrFloat(true, "ht", 12.75);
    w.BeginTagWithAttrs("row");
    w.WriteValBool("b", true);
    w.WriteValInt("sz", 11);
    w.WriteValStr("name", "A&B");
    w.WriteValFloat("sz", 10.5);
    w.EndTag();
    w.WriteEmptyTagText("dimension", "ref=\"A1\"");
    EXPECT_EQ(w.Buffer(), "<t xml:space=\"preserve\"> x</t><t></t><t>a&lt;b</t>"
                          "<row r=\"1\" hidden=\"1\" name=\"Goods &amp; &quot;groups&quot;\" ht=\"12.75\">"
                          "<b val=\"true\"/><sz val=\"11\"/><name val=\"A&amp;B\"/><sz val=\"10.5\"/></row>"
                          "<dimension ref=\"A1\"/>");
    w.Clear();
    w.BeginTag("a");
    w.BeginTag("b");
    try {
        w.CheckClosed();
        ADD_FAILURE() << "open tags not reported";
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Tag stack not empty: a, b");
    }
}

// A text read as it arrives gives what the whole part gives: comments and
// processing instructions passed over, CDATA joined escaped, blanks kept.
TEST(XmlTokenizer, TextsReadAsTheyArriveMatchTheWholePart) {
    const std::string cases[] = {
        "<a><t xml:space=\"preserve\"> a<!--c-->b<![CDATA[<&>]]>c<?p?>d </t><u>" + std::string(60, 'x') +
            "</u></a>",
        "<a x=\"1\"><b>" + std::string(100, ' ') + "<!-- " + std::string(50, '-') + " -->7" +
            std::string(30, '\n') + "</b><c>tail<!-- open",
        "<t>x<![CDATA[" + std::string(70, ']') + "]]]>y</t>",
        "<t>a<!x></t>",
        "<t a=\"1\" b='2'>x" + std::string(30, ' ') + "<!DOCTYPE></t>",
        std::string("\xFF\xFE<\0t\0>\0\x16\x04\0\xD8\0\xDC<\0/\0t\0>\0", 22),
    };
    for (const std::string& xml : cases) {
        const std::string whole = PieceEvents(xml, 0, 0);
        for (size_t piece : {1, 3, 7, 16})
            for (size_t buffered : {1, 5, 20})
                EXPECT_EQ(PieceEvents(xml, piece, xml.size(), buffered), whole)
                    << xml.substr(0, 30) << " piece " << piece << " buffered " << buffered;
    }
}

// A text far longer than any cell keeps its first MiB, a run of blanks its
// first 128 KiB, and comments go as they come: the memory stays near a
// piece. A tag that does not end within 16 MiB is refused.
TEST(XmlTokenizer, TextsFarLongerThanACellStayWithinBounds) {
    struct Case {
        const char* Name;
        std::string Head, Unit, Tail;
        const char* Events;
    };
    // Under the address sanitizer the run is uncapped and many times slower:
    // a smaller flood still passes every bound.
    const uint64_t size = uint64_t(bombs::kAddressSanitizer ? 6 : 64) << 20;
    const Case cases[] = {
        {"letters", "<t>", "abcdefgh", "</t>", "B t [1048576:abcdefgh..abcdefgh]|E t| level 0"},
        {"blanks", "<v>", "        ", "7</v>", "B v [131073:        ..       7]|E v| level 0"},
        {"comments", "<v>", "  <!-- xxxxxxxxx -->  ", "7</v>",
         "B v [131073:        ..       7]|E v| level 0"},
        {"between", "<a>", "  <!-- x -->\n", "<v>7</v></a>",
         "B a [131072:  \n  \n  ..  \n  \n  ]|B v [7]|E v|E a| level 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        // Whole units, so that no comment is cut.
        auto next = bombs::Repeating(c.Head, c.Unit, size / c.Unit.size() * c.Unit.size(), c.Tail);
        const auto run = bombs::RunLimited(size_t(48) << 20, [&] {
            std::string pending;
            size_t at = 0;
            bool more = true;
            const std::string events = FillEvents(
                [&](char* to, size_t n) {
                    while (pending.size() - at < n && more) {
                        pending.erase(0, at), at = 0;
                        std::string piece;
                        more = next(piece);
                        pending += piece;
                    }
                    n = std::min(n, pending.size() - at);
                    std::copy_n(pending.data() + at, n, to);
                    at += n;
                    return n;
                },
                1 << 20, size_t(2) << 20);
            if (events != c.Events) throw std::runtime_error(events.substr(0, 300));
        });
        EXPECT_TRUE(run.Ok) << run.Error;
    }
    // The bound holds whatever the buffer grew to; the reader of the
    // package names the part.
    for (size_t mib : {16, 17, 24, 31}) {
        const size_t length = (mib << 20) - (mib == 16 ? 16 : 0);
        const std::string tag = "<a b=\"" + std::string(length - 8, 'x') + "\"/>";
        const std::string events = PieceEvents(tag, 1 << 20, tag.size());
        if (mib == 16)
            EXPECT_TRUE(events.ends_with("x|B a [] empty|E a| level 0")) << events.substr(0, 100);
        else
            EXPECT_EQ(events, "XML tag longer than 16 MiB level 0") << mib;
    }
}
