// The package layers below the reader and writer: the element tree and its
// getters, kept fragments, relationships and their rebuild, and the zip
// container with its bounds.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXKeptSheetNames.h"
#include "SrcXLS/formats/XLSXRelations.h"
#include "SrcXLS/formats/XLSXSheetRanges.h"
#include "SrcXLS/formats/XLSXWriter.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/model/Sheet.h"
#include "SrcXLS/model/XFonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

using namespace xls;

namespace {

// Keeps every finished element's text by its id; consumes nothing.
class TreeReader : public TXLSExcelXmlReader {
public:
    std::function<void(TExXMLTag&)> Check;
    std::vector<std::pair<int, std::string>> Finished;
    bool Consume = false; // cells, as the workbook reader does

protected:
    bool OnTag(int id, TExXMLTag& tag) override {
        Finished.emplace_back(id, tag.ToText());
        if (Check) Check(tag);
        return Consume && (id == etc || id == etrow);
    }
};

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const XLSError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(XlsxTags, AttributesStayWithTheirElementAndFragmentsKeepEverything) {
    TreeReader r;
    const std::string part =
        "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac\">"
        "<x:sheetPr codeName=\"Sheet1\"><x:outlinePr summaryBelow=\"1\"/><x:tabColor "
        "rgb=\"FF00FF00\"/></x:sheetPr>"
        "<extLst><ext uri=\"{1}\"><x14:cfRule type=\"dataBar\"/><x14:cfRule type=\"dataBar\"/></ext></extLst>"
        "</x:worksheet>";
    r.ReadPart(part, "sheet1.xml");
    std::map<int, std::string> texts;
    for (auto& [id, text] : r.Finished) texts[id] = text;
    // Elements with the main namespace's prefix have their ids; unknown
    // attributes and prefixes survive in the fragment text.
    EXPECT_EQ(texts[etsheetPr], "<x:sheetPr codeName=\"Sheet1\"><x:outlinePr summaryBelow=\"1\"/>"
                                "<x:tabColor rgb=\"FF00FF00\"/></x:sheetPr>");
    EXPECT_EQ(texts[ettabColor], "<x:tabColor rgb=\"FF00FF00\"/>");
    // Two unknown elements with the same known attribute each keep their own.
    EXPECT_EQ(texts[etextLst], "<extLst><ext uri=\"{1}\"><x14:cfRule type=\"dataBar\"/><x14:cfRule "
                               "type=\"dataBar\"/></ext></extLst>");
    EXPECT_EQ(
        r.RootAttributeText(*r.Root().Children[0]),
        " xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac\"");
    // A relationship Id under another prefix, declared on the element itself.
    r.Check = [](TExXMLTag& t) {
        if (t.Id == etsheet) {
            EXPECT_EQ(t.GetText(ear_id), "rId3");
        }
    };
    r.ReadPart(
        "<workbook><sheets><sheet name=\"a\" xmlns:ns=\"http://schemas.openxmlformats.org/officeDocument/"
        "2006/relationships\" ns:id=\"rId3\"/></sheets></workbook>",
        "workbook.xml");
    EXPECT_EQ(ErrorOf([&] { r.ReadPart("<c r=\"A1\" r=\"A2\"/>", "doc.xml"); }),
              "Duplicate tag value: r; Doc=doc.xml; Tag=c");
}

// Elements that stay open or unconsumed while the part moves on in pieces
// keep their names, attributes and texts.
TEST(XlsxTags, PartsInPiecesBuildTheSameTree) {
    const std::string part =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" a=\"root\">"
        "<sheetPr codeName=\"Sheet1\">pr<!--x-->text<tabColor rgb=\"FF00FF00\"/></sheetPr>"
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>12</v></c><c r=\"B1\"><is><t>long "
        "text</t></is></c></row></sheetData><extLst><ext uri=\"{1}\"/></extLst></worksheet>";
    for (bool consume : {false, true}) {
        TreeReader whole;
        whole.Consume = consume;
        whole.ReadPart(part, "sheet1.xml");
        for (size_t piece : {1, 3, 7, 16}) {
            TreeReader r;
            r.Consume = consume;
            size_t at = 0;
            r.ReadPart(
                [&](char* to, size_t n) {
                    n = std::min(n, part.size() - at);
                    std::copy_n(part.data() + at, n, to);
                    at += n;
                    return n;
                },
                "sheet1.xml", piece);
            EXPECT_EQ(r.Finished, whole.Finished) << piece;
            EXPECT_EQ(r.Root().ToText(), whole.Root().ToText()) << piece;
        }
    }
}

namespace {
// Holds each element below a modelled one as a table by its name says
// (the rest modelled); the text of every element below the document's
// root is taken as it ends, and whether its kept subtree ran past KeepLeft.
class HoldingReader : public TXLSExcelXmlReader {
public:
    using THold = TXLSExcelXmlReader::THold;
    std::map<std::string, THold, std::less<>> Holds;
    std::vector<std::string> Taken;
    bool Past = false;
    void Limit(uint64_t keep, uint64_t tree) {
        KeepLeft = keep;
        TreeBudget = tree;
    }

protected:
    THold HoldOf(int, const TExXMLTag& tag) const override {
        auto found = Holds.find(tag.Name);
        return found == Holds.end() ? THold::Model : found->second;
    }
    bool OnTag(int, TExXMLTag& tag) override {
        if (!tag.Parent || !tag.Parent->Parent || tag.Parent->Parent->Parent) return false;
        Past = Past || HeldPastBudget();
        Taken.push_back(tag.TakeText());
        return true;
    }
};

std::string Repeated(const std::string& unit, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += unit;
    return out;
}
} // namespace

// What the tree holds follows what its reader reads: a kept element
// becomes text as its elements end (the same text the whole tree gives,
// whole or in pieces), passed-over elements go as they end, and what is
// modelled counts against the tree's bound.
TEST(XlsxTags, WhatTheTreeHoldsFollowsWhatItReads) {
    using THold = HoldingReader::THold;
    const std::string kept = "<keep a='x\"y' b=\"2\">head<e/>mid<f x=\"1\">t<g><h/></g></f><i></i></keep>";
    const std::string flood = Repeated("<x a=\"1\"/>", 200000);
    const struct {
        const char* Name;
        std::string Part;
        std::map<std::string, THold, std::less<>> Holds;
        uint64_t KeepLeft, TreeBudget;
        std::vector<std::string> Taken;
        bool Past;
        std::string Error;
    } cases[] = {
        {"kept as text",
         "<w>" + kept + "<m><n/></m></w>",
         {{"keep", THold::Keep}},
         UINT64_MAX,
         1 << 20,
         {"<keep a=\"x&quot;y\" b=\"2\">head<e/><f x=\"1\">t<g><h/></g></f><i/></keep>", "<m><n/></m>"},
         false,
         ""},
        {"kept past its bound",
         "<w>" + kept + "<m/></w>",
         {{"keep", THold::Keep}},
         20,
         1 << 20,
         {"<keep a=\"x&quot;y\" b=\"2\">head</keep>", "<m/>"},
         true,
         ""},
        {"kept, many",
         "<w><keep>" + flood + "</keep></w>",
         {{"keep", THold::Keep}},
         UINT64_MAX,
         64 << 10,
         {"<keep>" + flood + "</keep>"},
         false,
         ""},
        {"passed over, many",
         "<w><m>" + flood + "<n/></m></w>",
         {{"x", THold::Drop}},
         UINT64_MAX,
         64 << 10,
         {"<m><n/></m>"},
         false,
         ""},
        {"modelled, many",
         "<w><m>" + flood + "</m></w>",
         {},
         UINT64_MAX,
         1 << 20,
         {},
         false,
         "XML part holds more than 1 MiB of elements at once"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (size_t piece : {size_t(0), size_t(7), size_t(4096)}) {
            HoldingReader r;
            r.Holds = c.Holds;
            r.Limit(c.KeepLeft, c.TreeBudget);
            size_t at = 0;
            const std::string error = ErrorOf([&] {
                if (piece == 0)
                    r.ReadPart(c.Part, "part.xml");
                else
                    r.ReadPart(
                        [&](char* to, size_t n) {
                            n = std::min(n, c.Part.size() - at);
                            std::copy_n(c.Part.data() + at, n, to);
                            at += n;
                            return n;
                        },
                        "part.xml", piece);
            });
            EXPECT_EQ(error, c.Error) << piece;
            if (!c.Error.empty()) continue;
            EXPECT_EQ(r.Taken, c.Taken) << piece;
            EXPECT_EQ(r.Past, c.Past) << piece;
        }
    }
}

TEST(XlsxTags, GettersReadValuesAndRefuseBadOnes) {
    TreeReader r;
    r.Check = [](TExXMLTag& t) {
        if (t.Id != etc) return;
        EXPECT_TRUE(t.GetBool(eahidden, false));
        EXPECT_FALSE(t.GetBool(eacustomFormat, true));
        EXPECT_EQ(t.GetInt(eas, 0), 12);
        EXPECT_EQ(t.GetInt(eastyle, 5), 5);        // not a number: the default
        EXPECT_EQ(t.GetInt(eaoutlineLevel, 7), 3); // "3.0"
        EXPECT_EQ(t.GetFloat(eaht, 1), 12.75);
        EXPECT_EQ(t.GetFloat(eawidth, 2), 2); // NaN is no number
        EXPECT_EQ(t.GetEnum(eat, HorizAlignmentNames(), 0), 2);
        int col = -1, row = -1, c2 = -1, r2 = -1;
        t.ReqCellRef(ear, col, row);
        EXPECT_EQ(col, 16383);
        EXPECT_EQ(row, 1048575);
        t.ReqArea(earef, col, row, c2, r2);
        EXPECT_EQ(col, 1);
        EXPECT_EQ(c2, 1);
        EXPECT_EQ(row, 4);
        EXPECT_EQ(r2, 4);
        EXPECT_EQ(ErrorOf([&] { t.ReqInt(eamin); }), "Required value missing: min");
        EXPECT_EQ(ErrorOf([&] { t.ReqArea(easqref, col, row, c2, r2); }),
                  "Invalid value of sqref: \"A1:XFE1\"");
        EXPECT_EQ(ErrorOf([&] { t.ReqCellRef(eaactiveCell, col, row); }),
                  "Invalid value of activeCell: \"A1048577\"");
    };
    r.ReadPart("<c r=\"XFD1048576\" ref=\"B5\" sqref=\"A1:XFE1\" activeCell=\"A1048577\" hidden=\"true\" "
               "customFormat=\"0\" s=\"12\" style=\"x\" outlineLevel=\"3.0\" ht=\"12.75\" width=\"NaN\" "
               "t=\"center\"/>",
               "c.xml");
}

TEST(XlsxTags, StyleChildrenAndTheirWriters) {
    TreeReader r;
    std::vector<TXFontEx12> fonts;
    r.Check = [&](TExXMLTag& t) {
        if (t.Id != etfont) return;
        fonts.emplace_back();
        ReadFont(t, fonts.back());
    };
    r.ReadPart("<fonts>"
               "<font><b/><i val=\"0\"/><strike val=\"true\"/><u val=\"singleAccounting\"/><sz val=\"11.5\"/>"
               "<color theme=\"1\" tint=\"-0.249977111117893\"/><name val=\"Calibri\"/><scheme "
               "val=\"minor\"/></font>"
               "<font><u/><vertAlign val=\"subscript\"/><color rgb=\"FFFF0000\"/></font>"
               "<font><u val=\"none\"/><b val=\"1\"/><color indexed=\"10\"/></font>"
               "</fonts>",
               "styles.xml");
    ASSERT_EQ(fonts.size(), 3u);
    EXPECT_EQ(fonts[0].Style, xfsBold | xfsStrikeOut);
    EXPECT_EQ(fonts[0].Underline, 3);
    EXPECT_EQ(fonts[0].Height, 230u);
    EXPECT_EQ(fonts[0].Name, u"Calibri");
    EXPECT_EQ(fonts[0].Color12.Kind, eckTheme);
    EXPECT_EQ(fonts[0].Extra[4], 1);
    EXPECT_EQ(fonts[1].Underline, 1);
    EXPECT_EQ(fonts[1].SubSuperscript, 2);
    EXPECT_EQ(fonts[1].Height, 160u); // no size: 8 points
    EXPECT_EQ(fonts[1].Name, u"Arial");
    EXPECT_EQ(fonts[1].Color12.Value, 0xFFFF0000u);
    EXPECT_EQ(fonts[2].Underline, 0);
    EXPECT_EQ(fonts[2].Style, xfsBold);
    EXPECT_EQ(fonts[2].ColorIndex, 10);

    // Written back, each font reads the same.
    TXLSExcelXmlWriter w;
    w.WriteRaw("<fonts>");
    for (const auto& f : fonts) w.WriteFont(f, false);
    w.WriteRaw("</fonts>");
    std::vector<TXFontEx12> first = std::move(fonts);
    fonts.clear();
    r.ReadPart(w.Buffer(), "styles.xml");
    ASSERT_EQ(fonts.size(), first.size());
    for (size_t i = 0; i < fonts.size(); ++i) EXPECT_TRUE(fonts[i].Equal(first[i])) << i << " " << w.Buffer();
    // A font below a point (a binary file may hold one) goes as one point;
    // a name with a character XML cannot carry in the package's escape.
    TXFontEx12 tiny;
    tiny.Height = 5;
    tiny.Name = u"Ari\x02"
                u"al";
    w.Clear();
    w.WriteFont(tiny, false);
    EXPECT_TRUE(w.Buffer().find("<sz val=\"1\"/>") != std::string::npos) << w.Buffer();
    EXPECT_TRUE(w.Buffer().find("<name val=\"Ari_x0002_al\"/>") != std::string::npos) << w.Buffer();
    fonts.clear();
    r.ReadPart("<fonts>" + w.Buffer() + "</fonts>", "styles.xml");
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].Name, tiny.Name);

    TExtColor rgb;
    rgb.Kind = eckRGB;
    rgb.Value = 0xFF00FF00;
    w.Clear();
    w.WriteColor("", rgb);
    rgb.Kind = eckTheme;
    rgb.Value = 4;
    rgb.Tint = 0.39997558519241921;
    w.WriteColor("fg", rgb);
    rgb.Kind = eckNotSet;
    w.WriteColor("bg", rgb);
    EXPECT_EQ(w.Buffer(), "<color rgb=\"FF00FF00\"/><fgColor theme=\"4\" tint=\"0.3999755851924192\"/>");
}

TEST(XlsxRelations, ListsFindKeepAndRebuild) {
    TXMLRelations list;
    for (const char* id : {"rId2", "rId10", "rId1"}) list.Add(id);
    EXPECT_EQ(list.Item(1).Id, "rId10"); // sorted as texts
    ASSERT_NE(list.Find("rId2"), nullptr);
    EXPECT_EQ(list.Find("rId3"), nullptr);
    EXPECT_EQ(ErrorOf([&] { list.Find("rId3", true); }), "Required relationship missing: rId3");
    EXPECT_EQ(ErrorOf([&] { list.Add("rId1"); }), "Duplicate relation id");

    TXMLRelation r;
    TXMLRelations::SetType(r, "http://example.com/relationships/thing");
    EXPECT_EQ(r.Prefix, rpNone);
    EXPECT_EQ(r.TypeName, "http://example.com/relationships/thing");
    TXMLRelationsWorkbook::SetWorkbookType(
        r, "http://schemas.microsoft.com/office/2006/relationships/vbaProject");
    EXPECT_EQ(r.Prefix, rpOffice2006);
    EXPECT_EQ(r.Kind, rkVbaProject);
    EXPECT_EQ(TXMLRelations::FullType(r),
              "http://schemas.microsoft.com/office/2006/relationships/vbaProject");

    TXMLRelationsWorkbook book;
    const std::string ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    for (const char* t : {"worksheet", "sharedStrings", "styles", "calcChain"})
        EXPECT_FALSE(book.KeepRelation(ns + t));
    EXPECT_TRUE(book.KeepRelation(ns + "theme"));
    // Kept: custom XML as rId4 and an external link as rId7, no theme.
    book.SetUnchecked();
    auto keep = [&](const char* id, const char* type, const char* target) {
        TXMLRelation& k = book.Add(id);
        TXMLRelationsWorkbook::SetWorkbookType(k, ns + type);
        k.Target = target;
    };
    keep("rId4", "customXml", "../customXml/item1.xml");
    keep("rId7", "externalLink", "externalLinks/externalLink1.xml");
    book.SetChecked();
    TXMLRelationsWorkbook::TRebuilt ids = book.BuildForWrite(2);
    std::map<std::string, std::string> byTarget;
    for (int i = 0; i < book.Count(); ++i) byTarget[book.Item(i).Target] = book.Item(i).Id;
    EXPECT_EQ(byTarget["../customXml/item1.xml"], "rId1");
    EXPECT_EQ(byTarget["worksheets/sheet1.xml"], "rId2");
    EXPECT_EQ(byTarget["worksheets/sheet2.xml"], "rId3");
    EXPECT_EQ(byTarget["externalLinks/externalLink1.xml"], "rId4");
    EXPECT_EQ(byTarget["theme/theme1.xml"], "rId5");
    EXPECT_EQ(byTarget["styles.xml"], "rId6");
    EXPECT_EQ(byTarget["sharedStrings.xml"], "rId7");
    EXPECT_EQ(ids.SheetIds, (std::vector<std::string>{"rId2", "rId3"}));
    EXPECT_EQ(ids.NewIds["rId4"], "rId1");
    EXPECT_EQ(ids.NewIds["rId7"], "rId4");

    EXPECT_EQ(ResolvePartName("xl/workbook.xml", "worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
    EXPECT_EQ(ResolvePartName("xl/worksheets/sheet1.xml", "../drawings/./drawing1.xml"),
              "xl/drawings/drawing1.xml");
    EXPECT_EQ(ResolvePartName("xl/workbook.xml", "/xl/other.xml"), "xl/other.xml");
    EXPECT_EQ(ResolvePartName("", "xl/workbook.xml"), "xl/workbook.xml");
    EXPECT_EQ(RelationshipsPartName("xl/workbook.xml"), "xl/_rels/workbook.xml.rels");
    EXPECT_EQ(RelationshipsPartName(""), "_rels/.rels");
}

namespace {

std::vector<uint8_t> Archive(std::initializer_list<std::pair<const char*, std::string>> entries) {
    TXLSZipArchive zip;
    zip.Create();
    for (const auto& [name, data] : entries) zip.AddFile(name, data, 9);
    return zip.Close();
}

// Patches the fields of an entry's local and central headers.
void Patch(std::vector<uint8_t>& bytes, int localOffset, int centralOffset, uint32_t value, int size = 4) {
    for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
        uint32_t sig = bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | uint32_t(bytes[i + 3]) << 24;
        int at = sig == 0x04034b50 ? localOffset : sig == 0x02014b50 ? centralOffset : -1;
        if (at < 0) continue;
        for (int b = 0; b < size; ++b) bytes[i + size_t(at + b)] = uint8_t(value >> (8 * b));
    }
}

std::string ExtractError(std::vector<uint8_t> bytes, const char* name, const TZipLimits& limits = {}) {
    TXLSZipArchive zip;
    return ErrorOf([&] {
        zip.OpenBuffer(bytes, limits);
        zip.Extract(name);
    });
}

} // namespace

TEST(XlsxRelations, SheetNamesAPackageCannotHoldAreMadeUnique) {
    const std::u16string forty = u"A sheet name of forty characters, 1234";
    const std::u16string smile = std::u16string(30, u'x') + u"\U0001F600"; // 32 units: the pair stays whole
    struct Case {
        std::vector<std::u16string> Names, Others, Written;
    };
    const Case cases[] = {
        {{u"Main", u"a?b", u"a_b", u"A_B?"}, {}, {u"Main", u"a_b_2", u"a_b", u"A_B_"}},
        {{u"[x]:*?/\\"}, {}, {u"_x______"}},
        {{forty, forty + u"5"}, {}, {forty.substr(0, 31), forty.substr(0, 29) + u"_2"}},
        {{u"", u"Chart?"}, {u"chart_"}, {u"_", u"Chart__2"}},
        {{smile}, {}, {smile.substr(0, 30)}},
        {{u"Ціни", u"'quoted'"}, {}, {u"Ціни", u"'quoted'"}},
    };
    for (const Case& c : cases) {
        const std::vector<TPackageSheetName> got = PackageSheetNames(c.Names, c.Others);
        ASSERT_EQ(got.size(), c.Names.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(got[i].Name == c.Written[i])
                << &c - cases << " " << i << " " << WideToUtf8(got[i].Name);
            EXPECT_EQ(got[i].Reason.empty(), got[i].Name == c.Names[i]) << i;
        }
    }
}

// Text kept from a package names the renamed sheets as the package does:
// formulas of elements and attributes, hyperlink places and the sheets of
// pivot and consolidation sources; all else stays byte for byte.
TEST(XlsxRelations, KeptTextNamesSheetsAsWritten) {
    TTabrix4 book;
    book.Sheets().Clear();
    for (const char16_t* name : {u"Main", u"Bad?Name", u"A&B"}) book.Sheets().Add().SetReadName(name);
    TFormulaHandler& formulas = book.FormulaHandler();
    struct Case {
        std::string Kept, Written, Unfollowed = {};
    };
    const Case cases[] = {
        {"<c:f>'Bad?Name'!$A$1:$A$3</c:f>", "<c:f>Bad_Name!$A$1:$A$3</c:f>"},
        {"<cfRule><formula>'Bad?Name'!$A$1&gt;5</formula></cfRule>",
         "<cfRule><formula>Bad_Name!$A$1&gt;5</formula></cfRule>"},
        {"<x14:formula1><xm:f>'bad?name'!A1:A2</xm:f></x14:formula1>",
         "<x14:formula1><xm:f>Bad_Name!A1:A2</xm:f></x14:formula1>"},
        {"<hyperlink ref=\"B1\" location=\"'Bad?Name'!A2\" display=\"'Bad?Name'!A2\"/>",
         "<hyperlink ref=\"B1\" location=\"Bad_Name!A2\" display=\"'Bad?Name'!A2\"/>"},
        {"<worksheetSource ref=\"A1:B4\" sheet=\"Bad?Name\"/>",
         "<worksheetSource ref=\"A1:B4\" sheet=\"Bad_Name\"/>"},
        {"<dataRef ref='A1' sheet='A&amp;B'/>", "<dataRef ref='A1' sheet='A_B'/>"},
        {"<formControlPr fmlaLink='&apos;Bad?Name&apos;!$C$1'/>",
         "<formControlPr fmlaLink='Bad_Name!$C$1'/>"},
        {"<x:ClientData><x:FmlaRange>'A&amp;B'!$A$1:$A$4</x:FmlaRange></x:ClientData>",
         "<x:ClientData><x:FmlaRange>A_B!$A$1:$A$4</x:FmlaRange></x:ClientData>"},
        // Texts that name no renamed sheet, and the ones that are no formulas.
        {"<f>'Main'!A1 +  2</f><v>'Bad?Name'!A1</v><!-- <f>'Bad?Name'!A1</f> -->",
         "<f>'Main'!A1 +  2</f><v>'Bad?Name'!A1</v><!-- <f>'Bad?Name'!A1</f> -->"},
        {"<worksheetSource name=\"Bad?Name\"/><f/><f></f>",
         "<worksheetSource name=\"Bad?Name\"/><f/><f></f>"},
        // A formula that cannot be read stays and is named.
        {"<c:f>'Bad?Name'!$A$1:(</c:f>", "<c:f>'Bad?Name'!$A$1:(</c:f>", "'Bad?Name'!$A$1:("},
    };
    for (const Case& c : cases) {
        std::vector<std::string> unfollowed;
        EXPECT_EQ(KeptTextWithWrittenSheetNames(c.Kept, formulas, 0, unfollowed), c.Kept) << "not renamed";
        formulas.SetWrittenSheetNames({u"Main", u"Bad_Name", u"A_B"});
        EXPECT_EQ(KeptTextWithWrittenSheetNames(c.Kept, formulas, 0, unfollowed), c.Written) << c.Kept;
        formulas.SetWrittenSheetNames({});
        EXPECT_EQ(unfollowed,
                  c.Unfollowed.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Unfollowed})
            << c.Kept;
    }
}

// Lists of a package part the writer adds to: the kept children first, the
// count following.
TEST(XlsxRelations, KeptListsTakeMadeChildren) {
    const std::string dxf = "<dxfs count=\"1\"><dxf><b/></dxf></dxfs>";
    struct Case {
        std::string Kept, Made, Merged;
        int Count;
    };
    const Case cases[] = {
        {"", dxf, dxf, 1},
        {"<dxfs count=\"2\"><dxf><font/></dxf><dxf/></dxfs>", dxf,
         "<dxfs count=\"3\"><dxf><font/></dxf><dxf/><dxf><b/></dxf></dxfs>", 3},
        {"<dxfs count=\"0\"/>", dxf, "<dxfs count=\"1\"><dxf><b/></dxf></dxfs>", 1},
        {"<x:hyperlinks><x:hyperlink ref=\"A1\"/></x:hyperlinks>",
         "<hyperlinks><hyperlink ref=\"B1\"/></hyperlinks>",
         "<x:hyperlinks><x:hyperlink ref=\"A1\"/><hyperlink ref=\"B1\"/></x:hyperlinks>", 2},
        {"<dxfs><dxf/></dxfs>", "", "<dxfs><dxf/></dxfs>", 1},
    };
    for (const Case& c : cases) {
        const std::string merged = MergeListElements(c.Kept, c.Made);
        EXPECT_EQ(merged, c.Merged) << c.Kept;
        EXPECT_EQ(ListElementCount(merged), c.Count) << merged;
    }
}

TEST(XlsxZip, EntriesGoInAndComeOutBounded) {
    const std::string zeros(20000, '\0');
    std::vector<uint8_t> bytes = Archive({{"a.xml", "<a/>"}, {"dir/b.bin", zeros}});
    TXLSZipArchive zip;
    zip.OpenBuffer(bytes);
    // A part in a folder comes after the folder's own entry.
    EXPECT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.EntryName(1), "dir/");
    EXPECT_EQ(zip.Extract("dir/"), "");
    EXPECT_EQ(zip.IndexOf("DIR/B.BIN"), 2);
    EXPECT_EQ(zip.IndexOf("A.XML"), 0);
    EXPECT_EQ(zip.IndexOf("DIR/C.BIN"), -1);
    EXPECT_EQ(zip.Extract("dir/b.bin"), zeros);
    EXPECT_EQ(ErrorOf([&] { zip.Extract("c.xml"); }), "Can not find file c.xml in ZIP");

    // A part added twice: the reader finds the one added last.
    TXLSZipArchive out;
    out.Create();
    out.CopyEntry(zip, 0);
    out.AddFile("a.xml", "<b/>");
    int produced = 0;
    out.AddGenerated("g.xml", [&](std::string& chunk) {
        chunk += "<g>";
        return ++produced < 3;
    });
    std::vector<uint8_t> second = out.Close();
    TXLSZipArchive back;
    back.OpenBuffer(second);
    EXPECT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Extract("a.xml"), "<b/>");
    EXPECT_EQ(back.Extract("g.xml"), "<g><g><g>");

    // A producer's failure is the write's failure.
    TXLSZipArchive failing;
    failing.Create();
    failing.AddGenerated("g.xml", [](std::string&) -> bool { throw XLSError("Cell is missing"); });
    EXPECT_EQ(ErrorOf([&] { failing.Close(); }), "Cell is missing");

    TZipLimits few;
    few.MaxEntries = 1;
    EXPECT_EQ(ExtractError(bytes, "a.xml", few), "Too many entries in ZIP archive: 3");
    EXPECT_EQ(ExtractError({'P', 'K', 3, 4, 0, 0}, "a.xml"), "File is not a ZIP archive or is damaged");
}

TEST(XlsxZip, RefusesHostileEntries) {
    const std::string zeros(20000, '\0');
    struct Case {
        const char* what;
        int local, central, size;
        uint32_t value;
        const char* message;
    } cases[] = {
        {"an entry claiming 4 GB", 22, 24, 4, 0xFFFFFFF0u, "ZIP entry too large: z.bin"},
        {"an entry inflating 1000 times beyond 100 MB", 22, 24, 4, 200u << 20,
         "ZIP entry expands beyond any package part: z.bin"},
        {"an encrypted entry", 6, 8, 2, 1, "Encrypted ZIP entry: z.bin"},
        {"an entry longer than it says", 22, 24, 4, 100, "ZIP entry is damaged: z.bin"},
        {"a damaged checksum", 14, 16, 4, 0x12345678, "ZIP entry is damaged: z.bin"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = Archive({{"z.bin", zeros}});
        Patch(bytes, c.local, c.central, c.value, c.size);
        EXPECT_EQ(ExtractError(bytes, "z.bin"), c.message) << c.what;
        // Read in pieces: the same refusal.
        TXLSZipArchive zip;
        zip.OpenBuffer(bytes);
        EXPECT_EQ(ErrorOf([&] {
                      TXLSZipEntry entry = zip.OpenEntry("z.bin");
                      char piece[7];
                      while (entry.Read(piece, sizeof piece) != 0) {
                      }
                  }),
                  c.message)
            << c.what;
    }
}
