#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/XmlDocument.h"
#include "platform/XmlStream.h"
#include "platform/XmlTagSplitter.h"
#include "support_files.h"
#include "support_readers.h"

#include <gtest/gtest.h>

using namespace platform;
using testfiles::ScratchDir;
using testfiles::Slurp;
using testfiles::Spit;
using testfiles::XmllintAccepts;

namespace {

// The frame every report export writes.
void BuildReport(XmlDocument& doc, int items) {
    ASSERT_TRUE(doc.LoadXml("<REPORT/>"));
    doc.Node().InsertBefore(
        doc.CreateProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\""),
        doc.DocumentElement());
    XmlNode root = doc.DocumentElement();
    XmlNode header = root.AppendChild(doc.CreateElement("HEADER"));
    XmlNode fields = root.AppendChild(doc.CreateElement("FIELDS_NAME"));
    XmlNode data = root.AppendChild(doc.CreateElement("DATA"));
    XmlNode model = doc.CreateElement("MODEL");
    model.AppendChild(doc.CreateTextNode("ZRV-Q710"));
    header.AppendChild(model);
    XmlNode id = header.AppendChild(doc.CreateElement("REPORT_ID"));
    id.AppendChild(doc.CreateTextNode("{XMLREP1}"));
    fields.SetAttribute("FIELD_1", "НОМЕР");
    fields.SetAttribute("FIELD_2", "НАЗВА");
    for (int i = 1; i <= items; ++i) {
        XmlNode item = doc.CreateElement("Item");
        item.SetAttributeInt("Id", i);
        item.SetAttribute("Name", "Група \"" + std::to_string(i) + "\" & <ко>");
        data.AppendChild(item);
    }
}

TEST(Xml, BuiltReportSavesExactlyAndReadsBack) {
    XmlDocument doc;
    BuildReport(doc, 2);
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<REPORT><HEADER><MODEL>ZRV-Q710</MODEL><REPORT_ID>{XMLREP1}</REPORT_ID></HEADER>"
        "<FIELDS_NAME FIELD_1=\"НОМЕР\" FIELD_2=\"НАЗВА\"/><DATA>"
        "<Item Id=\"1\" Name=\"Група &quot;1&quot; &amp; &lt;ко&gt;\"/>"
        "<Item Id=\"2\" Name=\"Група &quot;2&quot; &amp; &lt;ко&gt;\"/></DATA></REPORT>\r\n";
    EXPECT_EQ(doc.SaveToString(), expected);

    ScratchDir dir;
    std::string path = dir.File("groups.xml");
    doc.Save(path);
    EXPECT_EQ(Slurp(path), expected);
    EXPECT_TRUE(XmllintAccepts(path));

    XmlDocument back;
    ASSERT_TRUE(back.Load(path)) << back.ParseError();
    EXPECT_EQ(back.ParseError(), "");
    XmlNode root = back.DocumentElement();
    EXPECT_EQ(root.Name(), "REPORT");
    ASSERT_EQ(root.ChildCount(), 3u);
    EXPECT_EQ(root.Child(0).Name(), "HEADER");
    EXPECT_EQ(root.FirstChild().SelectSingleNode("REPORT_ID").Text(), "{XMLREP1}");
    EXPECT_FALSE(root.FirstChild().SelectSingleNode("VERSION"));
    XmlNode data = root.Child(2);
    ASSERT_EQ(data.ChildCount(), 2u);
    EXPECT_EQ(data.Child(1).Attribute("Id"), "2");
    EXPECT_EQ(data.Child(1).Attribute("Name"), "Група \"2\" & <ко>");
    EXPECT_FALSE(data.Child(1).Attribute("Price"));
    EXPECT_FALSE(data.Child(5));
    EXPECT_EQ(root.Child(1).Attributes().size(), 2u);
    EXPECT_FALSE(data.Child(0).HasChildNodes());
    EXPECT_EQ(back.Node().FirstChild().Name(), "REPORT"); // the declaration is no node once read

    // Without items the frame stays whole.
    XmlDocument empty;
    BuildReport(empty, 0);
    empty.Save(path);
    EXPECT_TRUE(XmllintAccepts(path));
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.DocumentElement().Child(2).Name(), "DATA");
    EXPECT_FALSE(back.DocumentElement().Child(2).HasChildNodes());
}

TEST(Xml, TypedAttributeValues) {
    RegionalSettings saved = Regional();
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<Item/>"));
    XmlNode item = doc.DocumentElement();
    item.SetAttributeInt("Number", -2147483648LL);
    item.SetAttributeBool("Weight", true);
    item.SetAttributeBool("Blocking", false);
    item.SetAttributeDouble("Remains", 4294967295.0 / 1000.0);
    item.SetAttributeDouble("Qty", 2.0);
    RegionalSettings dot;
    dot.decimalSeparator = '.';
    SetRegional(dot);
    item.SetAttributeDouble("Dot", 1.5);
    SetRegional(saved);
    item.SetAttribute("Number", "7"); // replaced in place
    EXPECT_EQ(doc.SaveToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Item Number=\"7\" Weight=\"True\" Blocking=\"False\" Remains=\"4294967,295\" "
              "Qty=\"2\" Dot=\"1.5\"/>\r\n");
}

namespace {

// A text in UCS-4 of either byte order.
std::string UcsFour(std::u32string_view text, bool bigEndian) {
    std::string bytes;
    for (char32_t c : text)
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>(c >> (8 * (bigEndian ? 3 - i : i)));
    return bytes;
}

} // namespace

TEST(Xml, Windows1251AndUtf16DocumentsAreDecoded) {
    ScratchDir dir;
    std::string path = dir.File("cp1251.xml");
    Spit(path, "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
               "<REPORT><DATA><Item "
               "Name=\"\xB2\xB3\xAA\xBA\xAF\xBF\xA5\xB4\">\xD6\xB3\xED\xE0</Item></DATA></REPORT>");
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(path)) << doc.ParseError();
    XmlNode item = doc.DocumentElement().FirstChild().FirstChild();
    EXPECT_EQ(item.Attribute("Name"), "ІіЄєЇїҐґ");
    EXPECT_EQ(item.Text(), "Ціна");

    // UTF-16 with byte-order mark.
    std::u16string text = u"\uFEFF<A b=\"\u0416\"/>";
    std::string bytes;
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    ASSERT_TRUE(doc.LoadXml(bytes)) << doc.ParseError();
    EXPECT_EQ(doc.DocumentElement().Attribute("b"), "Ж");

    // UCS-4 of either byte order, with its mark or a declaration, and EBCDIC in the code page declared.
    const std::string ebcdic = "\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7D\xF1\x4B"
                               "\xF0\x7D\x40\x85\x95\x83\x96\x84\x89\x95\x87\x7E\x7D\xC9\xC2\xD4\xF5"
                               "\xF0\xF0\x7D\x6F\x6E\x4C\xC1\x40\x82\x7E\x7F\xC3\x5A\x7F\x61\x6E";
    const std::pair<std::string, const char*> others[] = {
        {UcsFour(U"\uFEFF<A b=\"\u0416\"/>", true), "Ж"},
        {UcsFour(U"<?xml version='1.0' encoding='UCS-4'?><A b='\U0001F600'/>", false), "\U0001F600"},
        {ebcdic, "C]"}, // 0x5A: IBM500's ], IBM037's !
    };
    for (const auto& [document, value] : others) {
        ASSERT_TRUE(doc.LoadXml(document)) << doc.ParseError();
        EXPECT_EQ(doc.DocumentElement().Attribute("b"), value);
    }
}

TEST(Xml, MalformedInputGivesAReasonAndAnEmptyDocument) {
    XmlDocument doc;
    const char* bad[] = {"",
                         "<",
                         "<a></b>",
                         "<a b='1' b='2'/>",
                         "text",
                         "<a>&x;</a>",
                         "<a/><b/>",
                         "<?xml version='1.0' encoding='nope'?><a/>",
                         "\xFF\xFE\x00",
                         "<a>\x01</a>",
                         "<!-- only a comment -->"};
    for (const char* text : bad) {
        EXPECT_FALSE(doc.LoadXml(text)) << text;
        EXPECT_NE(doc.ParseError(), "") << text;
        EXPECT_FALSE(doc.DocumentElement()) << text;
    }
    EXPECT_FALSE(doc.LoadXml("<a>\n</b>"));
    EXPECT_EQ(doc.ParseError(), "Opening and ending tag mismatch: a line 1 and b"); // the parser's own text
    EXPECT_EQ(doc.ParseErrorLine(), 2);
    ASSERT_TRUE(doc.LoadXml("<ok/>"));
    EXPECT_EQ(doc.ParseError(), "");

    ScratchDir dir;
    EXPECT_FALSE(doc.Load(dir.File("missing.xml")));
    EXPECT_NE(doc.ParseError().find("missing.xml"), std::string::npos);
}

TEST(Xml, EntityDeclarationsAndExternalFilesAreRefused) {
    ScratchDir dir;
    Spit(dir.File("secret.txt"), "secret");
    XmlDocument doc;
    std::string xxe = "<!DOCTYPE a [<!ENTITY s SYSTEM \"file://" + dir.File("secret.txt") + "\">]><a>&s;</a>";
    EXPECT_FALSE(doc.LoadXml(xxe));
    EXPECT_EQ(doc.ParseError(), "Оголошення сутностей у документі не допускаються");
    std::string laughs = "<!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;\">]>"
                         "<a>&y;&y;&y;&y;&y;&y;&y;&y;&y;&y;</a>";
    EXPECT_FALSE(doc.LoadXml(laughs));
    // A document type without entities is fine; its external subset is not read.
    ASSERT_TRUE(doc.LoadXml("<!DOCTYPE a SYSTEM \"" + dir.File("none.dtd") + "\"><a>1</a>"))
        << doc.ParseError();
    EXPECT_EQ(doc.DocumentElement().Text(), "1");
}

TEST(Xml, BlankTextIsNoChildButCommentsAre) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<REPORT>\n  <HEADER>\n    <REPORT_ID> {XMLREP1} </REPORT_ID>\n  </HEADER>\r\n"
                            "  <!-- note -->\n  <FIELDS_NAME/>\n\t<DATA> </DATA>\n</REPORT>"));
    XmlNode root = doc.DocumentElement();
    ASSERT_EQ(root.ChildCount(), 4u);
    EXPECT_EQ(root.Child(1).Kind(), XmlNodeKind::Comment);
    EXPECT_EQ(root.Child(1).Name(), "#comment");
    EXPECT_EQ(root.Child(0).ChildCount(), 1u);
    EXPECT_EQ(root.Child(0).Text(), " {XMLREP1} ");
    EXPECT_FALSE(root.Child(3).HasChildNodes());
    EXPECT_EQ(root.Text(), " {XMLREP1} ");

    ASSERT_TRUE(doc.LoadXml("<a xml:space='preserve'> <b/> </a>"));
    EXPECT_EQ(doc.DocumentElement().Text(), "  ");
    // Preserved blanks still do not count as children.
    EXPECT_EQ(doc.DocumentElement().ChildCount(), 1u);

    XmlDocument built;
    ASSERT_TRUE(built.LoadXml("<a/>"));
    built.DocumentElement().AppendChild(built.CreateTextNode("  \n"));
    built.DocumentElement().AppendChild(built.CreateElement("b"));
    EXPECT_EQ(built.DocumentElement().ChildCount(), 1u);
    EXPECT_EQ(built.DocumentElement().FirstChild().Name(), "b");
}

TEST(Xml, ForbiddenCharactersAreWrittenAsBlanks) {
    EXPECT_EQ(XmlSafeText(std::string("a\x01\x08\x0B\x0C\x1F\tb\r\n\0c", 12)), "a     \tb\r\n c");
    EXPECT_EQ(XmlSafeText("\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD"), "  \xEF\xBF\xBD");
    EXPECT_EQ(XmlSafeText("\xC0x"), "\xEF\xBF\xBDx");

    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<MAIN/>"));
    XmlNode rec = doc.DocumentElement().AppendChild(doc.CreateElement("DocumentRecord"));
    rec.SetAttribute("ItemName", "Хліб\x01\x02 батон\x1B");
    rec.AppendChild(doc.CreateTextNode(std::string("x\0y", 3)));
    XmlNode pi = doc.CreateProcessingInstruction("note", "a?>b\x02");
    doc.Node().AppendChild(pi);
    ScratchDir dir;
    doc.Save(dir.File("j.xml"));
    EXPECT_TRUE(XmllintAccepts(dir.File("j.xml")));
    XmlDocument back;
    ASSERT_TRUE(back.Load(dir.File("j.xml"))) << back.ParseError();
    XmlNode r = back.DocumentElement().FirstChild();
    EXPECT_EQ(r.Attribute("ItemName"), "Хліб   батон ");
    EXPECT_EQ(r.Text(), "x y");
    EXPECT_EQ(back.Node().Child(1).Text(), "a? >b ");
}

TEST(Xml, BuildingMistakesThrowAndLeaveTheTreeWhole) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<a><b/></a>"));
    XmlNode a = doc.DocumentElement();
    XmlNode b = a.FirstChild();
    EXPECT_THROW(doc.CreateElement("1bad"), XmlError);
    EXPECT_THROW(doc.CreateElement(""), XmlError);
    EXPECT_THROW(a.SetAttribute("has space", "x"), XmlError);
    EXPECT_THROW(doc.CreateProcessingInstruction("XML", "x"), XmlError);
    EXPECT_THROW(b.AppendChild(a), XmlError);
    EXPECT_THROW(b.AppendChild(b), XmlError);
    EXPECT_THROW(doc.Node().AppendChild(doc.CreateElement("second")), XmlError);
    EXPECT_THROW(doc.Node().AppendChild(doc.CreateTextNode("t")), XmlError);
    XmlDocument other;
    EXPECT_THROW(a.AppendChild(other.CreateElement("x")), XmlError);
    XmlNode text = doc.CreateTextNode("t");
    EXPECT_THROW(text.AppendChild(doc.CreateElement("x")), XmlError);
    EXPECT_THROW(a.InsertBefore(doc.CreateElement("x"), text), XmlError);
    EXPECT_THROW(text.SetAttribute("x", "1"), XmlError);
    EXPECT_EQ(doc.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a><b/></a>\r\n");
}

TEST(Xml, MovingAndReplacingNodesKeepsHandlesUsable) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<a><b/><c/></a>"));
    XmlNode a = doc.DocumentElement();
    XmlNode b = a.Child(0);
    XmlNode c = a.Child(1);
    a.InsertBefore(c, b);
    XmlNode t1 = a.AppendChild(doc.CreateTextNode("x"));
    XmlNode t2 = a.AppendChild(doc.CreateTextNode("y")); // two text nodes side by side stay two
    EXPECT_EQ(doc.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a><c/><b/>xy</a>\r\n");
    EXPECT_EQ(a.ChildCount(), 4u);
    b.SetText("new");
    b.SetText("newer");
    a.SetText("");
    EXPECT_FALSE(a.HasChildNodes());
    // Taken-out nodes can be put back.
    a.AppendChild(b);
    a.AppendChild(t2);
    EXPECT_EQ(t1.Text(), "x");
    EXPECT_EQ(doc.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a><b>newer</b>y</a>\r\n");
    XmlNode orphan = doc.CreateElement("never");
    orphan.AppendChild(doc.CreateElement("inside"));
}

TEST(Xml, NamespacesReadAsWritten) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<MAIN/>"));
    doc.DocumentElement().SetAttribute("xmlns", "urn:q710:journal");
    std::string text = doc.SaveToString();
    EXPECT_NE(text.find("<MAIN xmlns=\"urn:q710:journal\"/>"), std::string::npos);
    ASSERT_TRUE(doc.LoadXml(text));
    EXPECT_EQ(doc.DocumentElement().Name(), "MAIN");
    EXPECT_EQ(doc.DocumentElement().Attribute("xmlns"), "urn:q710:journal");
    ASSERT_TRUE(doc.LoadXml("<p:a xmlns:p='u' p:x='1'/>"));
    EXPECT_EQ(doc.DocumentElement().Name(), "p:a");
    EXPECT_EQ(doc.DocumentElement().Attribute("p:x"), "1");
}

void FailWrites(const std::string&, std::size_t) {
    throw FileError("disk full");
}

TEST(Xml, FailedSaveThrowsAndKeepsTheOldFile) {
    ScratchDir dir;
    std::string path = dir.File("report.xml");
    Spit(path, "<old/>");
    XmlDocument doc;
    BuildReport(doc, 3);
    SetAtomicWriteHook(FailWrites);
    EXPECT_THROW(doc.Save(path), XmlError);
    SetAtomicWriteHook(nullptr);
    EXPECT_EQ(Slurp(path), "<old/>");
    try {
        doc.Save(dir.File("no/folder/report.xml"));
        ADD_FAILURE();
    } catch (const XmlError& e) {
        EXPECT_NE(std::string(e.what()).find("report.xml"), std::string::npos);
    }
}

} // namespace

namespace {

// A node as a line: depth, kind, name and the attributes with their values.
std::string NodeLine(std::size_t depth, XmlNodeKind kind, std::string_view name,
                     const std::vector<std::pair<std::string, std::string>>& attributes = {}) {
    std::string line =
        std::to_string(depth) + " " + std::to_string(static_cast<int>(kind)) + " " + std::string(name);
    for (const auto& [n, v] : attributes) line += " " + n + "=" + v;
    return line;
}

struct Recorder : XmlStreamHandler {
    void StartElement(std::size_t depth, std::string_view name, const XmlStreamAttributes& a) override {
        std::vector<std::pair<std::string, std::string>> attributes;
        for (std::size_t i = 0; i < a.Count(); ++i) attributes.emplace_back(a.Name(i), a.Value(i));
        lines.push_back(NodeLine(depth, XmlNodeKind::Element, name, attributes));
    }
    void EndElement(std::size_t depth) override { lines.push_back(std::to_string(depth) + " end"); }
    void Leaf(std::size_t depth, XmlNodeKind kind, std::string_view name) override {
        lines.push_back(NodeLine(depth, kind, name));
    }
    std::vector<std::string> lines;
};

// The same lines from a whole document, in document order.
void Walk(const XmlNode& node, std::size_t depth, std::vector<std::string>& lines) {
    if (node.Kind() != XmlNodeKind::Element) {
        lines.push_back(NodeLine(depth, node.Kind(), node.Name()));
        return;
    }
    std::vector<std::pair<std::string, std::string>> attributes = node.Attributes();
    // Namespace declarations read as attributes, after the element's own.
    for (const char* declaration : {"xmlns:p", "xmlns"})
        if (auto value = node.Attribute(declaration)) attributes.emplace_back(declaration, *value);
    lines.push_back(NodeLine(depth, XmlNodeKind::Element, node.Name(), attributes));
    for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) Walk(child, depth + 1, lines);
    lines.push_back(std::to_string(depth) + " end");
}

// Attributes a<from>="<from>" up to a<to - 1>, each after a blank or, every
// seventh, a line break; values of every fourth with references in them, of
// every fifth with line breaks, tabs and every reference the parser knows,
// of every sixth with letters beyond ASCII.
std::string ManyAttributes(int from, int to) {
    std::string text;
    for (int i = from; i < to; ++i) {
        text += i % 7 == 0 ? "\n " : " ";
        std::string value = std::to_string(i);
        if (i % 4 == 0) value = "&amp;&#x416;\"" + value;
        if (i % 5 == 0) value += "\r\nx\ry\tz&#10;&#13;&#9;&lt;&gt;&apos;&#38;&#x1F600;";
        if (i % 6 == 0) value += "Чай ґ";
        text += "a" + std::to_string(i) + "='" + value + "'";
    }
    return text;
}

} // namespace

// A document read as a stream shows the nodes a whole document holds, and is
// refused for the same reason at the same line; also where tags hold more
// attributes than the stream hands the parser at once.
TEST(XmlStream, SeesWhatTheWholeDocumentHolds) {
    std::string utf16;
    for (char16_t c : std::u16string(u"\uFEFF<A b=\"\u0416\"><!--c--></A>"))
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    std::string utf16Many;
    for (char c : "<A" + ManyAttributes(0, 40) + "/>") utf16Many += {c, '\0'};
    // UTF-16 of either byte order, with its mark or with a declaration alone.
    const auto inUtf16 = [](std::u16string_view text, bool bigEndian, bool mark) {
        std::string bytes = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char16_t c : text) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
        }
        return bytes;
    };
    const std::u16string many16 = platform::Utf8ToUtf16(ManyAttributes(0, 60));
    std::u32string many32;
    for (char16_t c : many16) many32 += c; // the attributes hold no pair of surrogates
    const std::string documents[] = {
        "<REPORT>\n  <HEADER>\n    <REPORT_ID> {XMLREP1} </REPORT_ID>\n  </HEADER>\r\n"
        "  <!-- note -->\n  <FIELDS_NAME/>\n\t<DATA> <Item Id='1' Name='a &amp; b &#38; &lt;c&gt; "
        "&#x416;'/></DATA>\n"
        "</REPORT>",
        "<?xml version='1.0'?><?pi data?><a xml:space='preserve'> <b/> x<![CDATA[ ]]><![CDATA[y]]>z<?t "
        "d?></a><!--end-->",
        "<p:a xmlns:p='u' xmlns='v' p:x='1' y='&amp;#38;'>t<p:b/>&#10;</p:a>",
        "<!DOCTYPE a [<!ATTLIST a d CDATA 'dflt'>]><a n='1'>\n</a>",
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?><R N=\"\xB2\xB3\xAA\">\xD6\xB3</R>",
        utf16,
        utf16Many,
        inUtf16(u"<?xml version='1.0' encoding='UTF-16'?>\n<R" + many16 + u">\u0416</R>", true, true),
        inUtf16(u"<?xml version='1.0' encoding='utf-16'?><R" + many16 + u"/>", false, false),
        inUtf16(u"<?xml version='1.0' encoding='UTF-16'?>\n<!DOCTYPE R>\n<R" + many16 + u"/>", false, true),
        inUtf16(u"<?xml version='1.0' encoding='windows-1251'?><R" + many16 + u"/>", false, true),
        inUtf16(u"<R a='1'>\n\nx\xD800y</R>", false, true),
        inUtf16(u"<R a='1'>x</R>\n\xDC00", true, true),
        inUtf16(u"<R" + many16 + u">x\U0001F600</R>", false, true) + "\x41",
        inUtf16(u"<R>\uFFFE</R>", false, true),
        inUtf16(u"<R>x</R>\xD800", false, true),
        inUtf16(u"<R>x\xD800</R>", true, false),
        // UCS-4 and EBCDIC, also cut inside a character or holding none.
        UcsFour(U"<?xml version='1.0' encoding='UCS-4'?>\n<R" + many32 + U">\u0416</R>", true),
        UcsFour(U"\uFEFF<R" + many32 + U"/>", false),
        UcsFour(U"<R" + many32 + U">x</R>", false) + "\x41\x00",
        UcsFour(U"<R>x", true) + std::string("\0\x11\0\0", 4) + UcsFour(U"</R>", true),
        UcsFour(U"<?xml version='1.0' encoding='windows-1251'?><R/>", false),
        "\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7D\xF1\x4B\xF0\x7D\x6F\x6E\x4C\xD9"
        "\x40\x81\x7E\x7D\xF1\x7D\x61\x6E",
        "",
        "<",
        "<a>\n</b>",
        "<a b='1' b='2'/>",
        "<a>&x;</a>",
        "<a/><b/>",
        "<a>\x01</a>",
        "<!DOCTYPE r [\n<!ENTITY a \"b\">]><r/>",
        "<REPORT>\n" + std::string(300 * 3, ' ') +
            [] {
                std::string deep;
                for (int i = 0; i < 300; ++i) deep += "<a>";
                return deep;
            }(),
        // Tags of many attributes: empty, with children, the root, next to one another.
        "<R" + ManyAttributes(0, 70) + "/>",
        "<R>\n<Item" + ManyAttributes(0, 100) + ">t<c" + ManyAttributes(0, 33) + "\n/></Item>\n<Item" +
            ManyAttributes(0, 64) + " \n></Item><Item" + ManyAttributes(0, 65) + "/></R>",
        "<?xml version='1.0' encoding='UTF-8'?>\n<p:R xmlns:p='u'><p:I" + ManyAttributes(0, 40) + "/></p:R>",
        // Repeated names, told where the tag ends.
        "<R" + ManyAttributes(0, 40) + "\n a5='x'" + ManyAttributes(40, 50) + "\n/>",
        "<R" + ManyAttributes(0, 40) + " a3='x' a7='y'\n a3='z'" + ManyAttributes(40, 45) + ">\n</R>",
        "<R" + ManyAttributes(0, 34) + " a0='x'/>",
        "<R a='1' a='2'" + ManyAttributes(0, 40) + "/>",
        // What the parser refuses in a part, or in a tag that goes on whole.
        "<R" + ManyAttributes(0, 50) + "\n b='&nope;'" + ManyAttributes(50, 60) + "/>",
        "<R" + ManyAttributes(0, 50) + "\n b='<'" + ManyAttributes(50, 60) + "/>",
        "<R" + ManyAttributes(0, 50) + " b='\x01'/>",
        "<R" + ManyAttributes(0, 40) + " 1b='1'/>",
        "<R" + ManyAttributes(0, 40) + " b='1'c='2'/>",
        "<R" + ManyAttributes(0, 40) + " b=1/>",
        "<R" + ManyAttributes(0, 40),
        "<R>" + std::string("<R") + ManyAttributes(0, 40) + ">",
        "<q:R" + ManyAttributes(0, 40) + "/>",
        // Namespaces and prefixed names: the tag goes on whole.
        "<R xmlns:p='u'" + ManyAttributes(0, 40) + " p:a1='1' p:a2='2'/>",
        "<R" + ManyAttributes(0, 40) + " xmlns='v'/>",
        // Another code page, a document type, deep tags.
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?><R" +
            [] {
                std::string cyrillic;
                for (int i = 0; i < 40; ++i)
                    cyrillic += " \xC0" + std::to_string(i) + "=\"\xB2" + std::to_string(i) + "\"";
                return cyrillic;
            }() +
            "/>",
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?><R" +
            [] {
                std::string values;
                for (int i = 0; i < 40; ++i)
                    values += " a" + std::to_string(i) + "=\"\xC0\xE1\x88\xB9&#x416;\r\n" +
                              std::to_string(i) + "\"";
                return values;
            }() +
            "/>",
        "<!DOCTYPE R><R" + ManyAttributes(0, 40) + "/>",
        // Document types: attributes declared of another type than CDATA have their blanks collapsed.
        "<!DOCTYPE R [\n<!-- ]> in a comment --><?pi ]>?>\n<!ELEMENT R ANY>\n"
        "<!ATTLIST R a45 NMTOKENS #IMPLIED a50 (x|y) 'x' b CDATA '>]' a40 ID #IMPLIED a45 CDATA #IMPLIED>\n"
        "<!ATTLIST R a55 NOTATION (n) #REQUIRED a56 CDATA #FIXED ' 1  2 ' a57 CDATA 'dflt'>\n]>\n<R" +
            ManyAttributes(0, 45) + " a45='  p   q  '" + ManyAttributes(46, 60) + " b='  z  '/>",
        "<!DOCTYPE R SYSTEM 'none.dtd'><R" + ManyAttributes(0, 40) + "/>",
        "<!DOCTYPE R [<!ATTLIST R a40 NMTOKEN #IMPLIED>%p;]><R" + ManyAttributes(0, 45) + "/>",
        "<!DOCTYPE R [<!ATTLIST R a40 NMTOKEN #IMPLIED>]><R" + ManyAttributes(0, 45) + "/>\n<!DOCTYPE S>",
        "<!DOCTYPE R [<!ATTLIST R a40 NMTOKEN>]><R" + ManyAttributes(0, 45) + "/>",
        "<!DOCTYPE R [<!ATTLIST R a40 NMTOKEN #IMPLIED>]><R" + ManyAttributes(0, 45),
        "<?xml version=\"1.0\" encoding=\"koi8-r\"?><!DOCTYPE R><R" +
            [] {
                std::string values;
                for (int i = 0; i < 40; ++i)
                    values += " a" + std::to_string(i) + "=\"\xE1\xC2\xFF\x9A" + std::to_string(i) + "\"";
                return values;
            }() +
            "/>",
        [] {
            std::string deep;
            for (int i = 0; i < 210; ++i) deep += "<a" + ManyAttributes(0, i % 50 == 0 ? 40 : 1) + ">";
            for (int i = 0; i < 210; ++i) deep += "</a>";
            return deep;
        }(),
    };
    for (const std::string& text : documents) {
        SCOPED_TRACE(text.substr(0, 60));
        XmlDocument doc;
        const bool loaded = doc.LoadXml(text);
        Recorder streamed;
        const XmlStreamResult result = StreamXmlText(text, streamed);
        EXPECT_EQ(result.reason, doc.ParseError());
        EXPECT_EQ(result.line, doc.ParseErrorLine());
        EXPECT_FALSE(result.fileError);
        if (!loaded) continue;
        std::vector<std::string> whole;
        for (XmlNode node = doc.Node().FirstChild(); node; node = node.NextSibling())
            // The declaration and the document type are no nodes of the stream.
            if (node.Kind() != XmlNodeKind::Other &&
                (node.Kind() != XmlNodeKind::ProcessingInstruction || node.Name() != "xml"))
                Walk(node, 0, whole);
        EXPECT_EQ(streamed.lines, whole);
    }

    // Files: read piece by piece, and a file that cannot be read is told as XmlDocument tells it.
    ScratchDir dir;
    std::string big = "<DATA>";
    for (int i = 0; i < 20000; ++i) big += "<Item Id='" + std::to_string(i) + "'/>";
    Spit(dir.File("big.xml"), big + "</DATA>");
    Recorder streamed;
    ASSERT_TRUE(StreamXmlFile(dir.File("big.xml"), streamed).Ok());
    ASSERT_EQ(streamed.lines.size(), 2u + 2 * 20000);
    EXPECT_EQ(streamed.lines[20000 * 2 - 1], "1 2 Item Id=19999");
    for (const std::string& path : {dir.File("missing.xml"), dir.Path()}) {
        XmlDocument doc;
        EXPECT_FALSE(doc.Load(path));
        const XmlStreamResult result = StreamXmlFile(path, streamed);
        EXPECT_TRUE(result.fileError);
        EXPECT_EQ(result.reason, doc.ParseError());
    }
}

// A tag of more attributes than the parser gets at once goes on with its
// first ones and the line breaks of the others, which are taken out as the
// parser hands values on; a repeated name goes last with its first.
TEST(XmlStream, TagsOfManyAttributesGoOnWithTheirFirst) {
    auto attributes = [](int from, int to) {
        std::string text;
        for (int i = from; i < to; ++i)
            text += (i == 40 ? "\n" : " ") + std::string("a") + std::to_string(i) + "='" + std::to_string(i) +
                    "'";
        return text;
    };
    auto names = [](int from, int to) {
        std::string text;
        for (int i = from; i < to; ++i) text += "a" + std::to_string(i) + "=" + std::to_string(i) + " ";
        return text;
    };
    const struct {
        std::string in;
        std::string out;
        std::vector<std::pair<std::size_t, std::string>> splits; // ordinal, attributes taken out
    } cases[] = {
        {"<?xml version='1.0'?><D><R" + attributes(0, 70) + " />",
         "<?xml version='1.0'?><D><R" + attributes(0, 32) + "\n />",
         {{1, names(32, 70)}}},
        {"<R" + attributes(0, 32) + "><S" + attributes(0, 33) + ">",
         "<R" + attributes(0, 32) + "><S" + attributes(0, 32) + ">",
         {{1, names(32, 33)}}},
        {"<R" + attributes(0, 40) + " a3='x'>",
         "<R" + attributes(0, 3) + attributes(4, 33) + " a3='3' a3='x'>",
         {{0, names(33, 40)}}},
        {"<R" + attributes(0, 32) + " b='&lt;&#x416;\r\n&#10;\t&amp;#38;'/>",
         "<R" + attributes(0, 32) + "\r\n/>",
         {{0, "b=<\xD0\x96 \n &#38; "}}},
        {"<?xml version='1.0' encoding='windows-1251'?><R" + attributes(0, 32) + " b='\xC6'/>",
         "<?xml version='1.0' encoding='windows-1251'?><R" + attributes(0, 32) + "/>",
         {{0, "b=\xD0\x96 "}}},
        {"<?xml version='1.0' encoding='UTF-16'?><R" + attributes(0, 40) + "/>",
         "<?xml version='1.0' encoding='UTF-16'?><R" + attributes(0, 40) + "/>",
         {}},
        {"<R" + attributes(0, 40) + " b='&nope;'/>", "<R" + attributes(0, 40) + " b='&nope;'/>", {}},
        // A document type goes on whole, and splitting goes on after it.
        {"<!DOCTYPE R [<!ATTLIST R b NMTOKENS #IMPLIED>]><R" + attributes(0, 32) + " b='  x   y '/>",
         "<!DOCTYPE R [<!ATTLIST R b NMTOKENS #IMPLIED>]><R" + attributes(0, 32) + "/>",
         {{0, "b=x y "}}},
        // Another 8-bit code page: its letters as the parser hands them on.
        {"<?xml version='1.0' encoding='KOI8-U'?><R" + attributes(0, 32) + " b='\xA4\xF7'/>",
         "<?xml version='1.0' encoding='KOI8-U'?><R" + attributes(0, 32) + "/>",
         {{0, "b=\xD1\x94\xD0\x92 "}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.substr(0, 60));
        // Fed a byte at a time and whole.
        for (bool bytewise : {true, false}) {
            XmlTagSplitter splitter;
            std::string out;
            if (bytewise) {
                for (char b : c.in) splitter.Feed(std::string_view(&b, 1), out);
            } else {
                splitter.Feed(c.in, out);
            }
            splitter.Finish(out);
            EXPECT_EQ(out, c.out);
            std::vector<std::pair<std::size_t, std::string>> splits;
            for (const auto& split : splitter.splits) {
                std::string taken;
                for (const auto& [name, value] : split.attributes) taken += name + "=" + value + " ";
                splits.emplace_back(split.ordinal, taken);
            }
            EXPECT_EQ(splits, c.splits);
        }
    }
}
