// Other workbooks that formulas read: a binary workbook's SUPBOOK books with
// their cached values written as package link parts ("[1]Sheet!A1") and read
// back from them, with the values the evaluator gives; link parts of other
// writers, bad ones among them; encoded paths both ways.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXExternalLinks.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace xls;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Crn(uint8_t col, uint16_t row, double v) {
    Bytes b = {col, col, uint8_t(row), uint8_t(row >> 8), 0x01};
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) b.push_back(uint8_t(bits >> (8 * i)));
    return b;
}

Bytes Body(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Flagged(std::string_view s) {
    Bytes b(s.size() + 1, 0);
    std::memcpy(b.data() + 1, s.data(), s.size());
    return b;
}

std::string Part(const std::vector<uint8_t>& image, const std::string& name) {
    TXLSZipArchive zip;
    zip.OpenBuffer(image);
    return zip.IndexOf(name) >= 0 ? zip.Extract(name) : std::string();
}

struct LinkBook : FreshLibState {
    TTabrix4 book;
    TFormulaHandler& formulas = book.FormulaHandler();

    // Another workbook "data\Prices.xls" with sheets Items and "My Sheet",
    // Items!B2 = 12.5, B3 = 7 cached, and the names Total (Items!$B$2, read
    // as Excel writes external names) and Local, local to its second sheet.
    void AddOtherBook() {
        TExternalNames& ext = formulas.Externals();
        ext.ReadSupBook(Body({{2, 0},
                              {16, 0},
                              Flagged("\x01"
                                      "data\x03Prices.xls"),
                              {5, 0},
                              Flagged("Items"),
                              {8, 0},
                              Flagged("My Sheet")}));
        ext.ReadExternName(
            Body({{0, 0, 0, 0, 0, 0, 5}, Flagged("Total"), {9, 0, 0x3A, 0, 0, 0, 0, 1, 0, 1, 0}}));
        ext.ReadExternName(
            Body({{0, 0, 2, 0, 0, 0, 5}, Flagged("Local"), {9, 0, 0x3A, 1, 0, 1, 0, 0, 0, 0, 0}}));
        ext.ReadCRN(0, Crn(1, 1, 12.5));
        ext.ReadCRN(0, Crn(1, 2, 7));
    }
    void Put(int col, int row, std::u16string_view text) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        TEncodedFormula f = formulas.EncodeFormula(text, how);
        PutTokens(col, row, f.Data);
    }
    void PutTokens(int col, int row, const Bytes& tokens) {
        TFormulaResult r;
        book.GetSheet(0).PutFormula(ctNumberFormula, col, row, 15, int(tokens.size()), tokens, r);
    }
    // The external name Total of the other book, plus one.
    Bytes TotalPlusOne() {
        int entry = -1, number = -1;
        EXPECT_TRUE(formulas.Externals().FindExternName(u"data\\", u"Prices.xls", u"Total", entry, number));
        return {0x39, uint8_t(entry), 0, uint8_t(number), 0, 0, 0, 0x1E, 1, 0, 0x03};
    }
    double Value(TTabrix4& b, int col, int row) {
        TFormulaValue v;
        b.CalculateCell(0, col, row, v);
        EXPECT_EQ(int(v.ValType), int(fvFloat)) << int(v.Error) << WideToUtf8(v.Text);
        return v.Float;
    }
};

} // namespace

TEST_F(LinkBook, OtherWorkbooksOfABinaryWorkbookBecomeLinkParts) {
    AddOtherBook();
    Put(0, 0, u"'data\\[Prices.xls]Items'!B2*2");
    Put(0, 1, u"SUM('data\\[Prices.xls]Items'!B2:B3)");
    PutTokens(0, 2, TotalPlusOne());
    EXPECT_EQ(Value(book, 0, 0), 25);
    EXPECT_EQ(Value(book, 0, 2), 13.5);
    book.SetVersion(TExcelVersion::xvExcel2007);
    std::vector<uint8_t> image;
    WritePackageFile(book, &image);
    const std::string sheet = Part(image, "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<f>[1]Items!B2*2</f>"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("<f>SUM([1]Items!B2:B3)</f>"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("<f>[1]!Total+1</f>"), std::string::npos) << sheet;
    // The text of the cells outside the package keeps the path.
    EXPECT_EQ(book.GetSheet(0).GetAsFormula(0, 0), "'data\\[Prices.xls]Items'!B2*2");
    const std::string link = Part(image, "xl/externalLinks/externalLink1.xml");
    EXPECT_NE(link.find("<sheetNames><sheetName val=\"Items\"/><sheetName val=\"My Sheet\"/></sheetNames>"),
              std::string::npos)
        << link;
    EXPECT_NE(link.find("<definedName name=\"Total\" refersTo=\"=Items!$B$2\"/>"), std::string::npos) << link;
    EXPECT_NE(link.find("<definedName name=\"Local\" sheetId=\"1\" refersTo=\"='My Sheet'!$A$1\"/>"),
              std::string::npos)
        << link;
    EXPECT_NE(link.find("<row r=\"2\"><cell r=\"B2\"><v>12.5</v></cell></row>"), std::string::npos) << link;
    EXPECT_NE(Part(image, "xl/externalLinks/_rels/externalLink1.xml.rels").find("Target=\"data/Prices.xls\""),
              std::string::npos);
    EXPECT_NE(Part(image, "xl/workbook.xml").find("<externalReferences><externalReference r:id=\""),
              std::string::npos);
    EXPECT_NE(Part(image, "[Content_Types].xml").find("/xl/externalLinks/externalLink1.xml"),
              std::string::npos);

    // Read back, the formulas find the cached values through "[1]".
    TTabrix4 back;
    back.SetFilename(u"back.xlsx");
    ReadPackageFile(back, &image);
    EXPECT_EQ(back.GetSheet(0).GetAsFormula(0, 0), "[1]Items!B2*2");
    EXPECT_EQ(Value(back, 0, 0), 25);
    EXPECT_EQ(Value(back, 0, 1), 19.5);
    EXPECT_EQ(Value(back, 0, 2), 13.5);
    const TExternalNames& ext = back.FormulaHandler().Externals();
    ASSERT_GE(ext.BookCount(), 1);
    EXPECT_EQ(ext.DecodeSupBookPath(ext.Book(0)), u"data\\[Prices.xls]");
    ASSERT_EQ(ext.Book(0).Names.size(), 2u);
    EXPECT_EQ(ext.Book(0).Names[1].Reserved[0], 2); // local to the second sheet

    // Written to a binary workbook again: the same book, entries and values.
    testfiles::ScratchDir dir;
    back.SetVersion(TExcelVersion::xvExcel97);
    back.SetFilename(Utf8ToWide(dir.File("again.xls")));
    back.Write();
    EXPECT_TRUE(back.Warnings().empty()) << back.Warnings().front();
    TTabrix4 again;
    again.SetFilename(Utf8ToWide(dir.File("again.xls")));
    again.Read();
    EXPECT_EQ(again.GetSheet(0).GetAsFormula(0, 1), "SUM('data\\[Prices.xls]Items'!B2:B3)");
    EXPECT_EQ(Value(again, 0, 1), 19.5);
    EXPECT_EQ(Value(again, 0, 2), 13.5);
}

TEST_F(LinkBook, LinkPartsOfOtherWritersAreReadWithinBounds) {
    struct Case {
        const char* Name;
        std::string Part;
        int Sheets, Names, Cached;
    };
    const std::string head =
        "<externalLink xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
    const Case cases[] = {
        {"values of every kind",
         head +
             "<externalBook r:id=\"rId1\"><sheetNames><sheetName val=\"S\"/></sheetNames><sheetDataSet>"
             "<sheetData sheetId=\"0\"><row r=\"1\"><cell r=\"A1\"><v>1</v></cell><cell r=\"B1\" t=\"str\">"
             "<v>x</v></cell><cell r=\"C1\" t=\"b\"><v>1</v></cell><cell r=\"D1\" t=\"e\"><v>#N/A</v></cell>"
             "</row></sheetData></sheetDataSet></externalBook></externalLink>",
         1, 0, 4},
        {"cells a binary workbook cannot hold are left out",
         head + "<externalBook r:id=\"rId1\"><sheetNames><sheetName val=\"S\"/></sheetNames><sheetDataSet>"
                "<sheetData sheetId=\"0\"><row r=\"70000\"><cell r=\"A70000\"><v>1</v></cell></row>"
                "<row r=\"1\"><cell r=\"IW1\"><v>1</v></cell><cell r=\"A2\"><v>1</v></cell></row>"
                "</sheetData><sheetData sheetId=\"9\"><row r=\"1\"><cell r=\"A1\"><v>1</v></cell></row>"
                "</sheetData></sheetDataSet></externalBook></externalLink>",
         1, 0, 0},
        {"values that are none",
         head + "<externalBook r:id=\"rId1\"><sheetNames><sheetName val=\"S\"/></sheetNames><sheetDataSet>"
                "<sheetData sheetId=\"0\"><row r=\"1\"><cell r=\"A1\"><v>x</v></cell><cell r=\"B1\" t=\"e\">"
                "<v>#WHAT</v></cell><cell r=\"C1\"/><cell><v>1</v></cell></row></sheetData></sheetDataSet>"
                "</externalBook></externalLink>",
         1, 0, 0},
        {"names with and without a reference",
         head +
             "<externalBook r:id=\"rId1\"><sheetNames><sheetName val=\"S\"/></sheetNames><definedNames>"
             "<definedName name=\"A\" refersTo=\"=S!$A$1\"/><definedName name=\"B\" "
             "refersTo=\"=Nowhere!A1\"/>"
             "<definedName name=\"C\"/><definedName name=\"\"/></definedNames></externalBook></externalLink>",
         1, 3, 0},
    };
    for (const Case& c : cases) {
        TExternalLinkReader reader;
        TSupBook b;
        std::string id;
        reader.Read(c.Part, "xl/externalLinks/externalLink1.xml", b, id);
        EXPECT_EQ(id, "rId1") << c.Name;
        EXPECT_EQ(int(b.Sheets.size()), c.Sheets) << c.Name;
        EXPECT_EQ(int(b.Names.size()), c.Names) << c.Name;
        size_t cached = 0;
        for (const TSupBookSheet& s : b.Sheets) cached += s.CRNs.size();
        EXPECT_EQ(int(cached), c.Cached) << c.Name;
    }
    // A name whose reference lies beyond what a binary workbook holds keeps
    // its text only: its row does not wrap to another cell.
    {
        TExternalLinkReader reader;
        TSupBook b;
        std::string id;
        reader.Read(head + "<externalBook r:id=\"rId1\"><sheetNames><sheetName val=\"S\"/></sheetNames>"
                           "<definedNames><definedName name=\"Far\" refersTo=\"=S!$A$70000\"/>"
                           "<definedName name=\"Wide\" refersTo=\"=S!$A$1:$IW$2\"/>"
                           "<definedName name=\"Near\" refersTo=\"=S!$A$65536\"/></definedNames>"
                           "</externalBook></externalLink>",
                    "xl/externalLinks/externalLink1.xml", b, id);
        ASSERT_EQ(b.Names.size(), 3u);
        EXPECT_TRUE(b.Names[0].Tokens.empty());
        EXPECT_TRUE(b.Names[1].Tokens.empty());
        EXPECT_FALSE(b.Names[2].Tokens.empty());
    }
    // A DDE link, a part that is no XML: refused, the reader names the part.
    for (const std::string& bad : {head + "<ddeLink ddeService=\"x\" ddeTopic=\"y\"/></externalLink>",
                                   std::string("<externalLink><externalBook")}) {
        TExternalLinkReader reader;
        TSupBook b;
        std::string id;
        EXPECT_THROW(reader.Read(bad, "xl/externalLinks/externalLink1.xml", b, id), XLSError);
    }
}

TEST(ExternalLinkPaths, TargetsAndEncodedPathsBothWays) {
    struct Case {
        const char* Target;
        std::u16string Encoded; // after the flag byte
        const char* Back;
    };
    const Case cases[] = {
        {"book.xls",
         u"\x01"
         "book.xls",
         "book.xls"},
        {"data/book.xls",
         u"\x01"
         "data\x03"
         "book.xls",
         "data/book.xls"},
        {"../../up/book.xls",
         u"\x01\x04\x04"
         "up\x03"
         "book.xls",
         "../../up/book.xls"},
        {"file:///C:/dir/book.xls",
         u"\x01\x01"
         "Cdir\x03"
         "book.xls",
         "file:///C:/dir/book.xls"},
        {"/root/book.xls",
         u"\x01\x02"
         "root\x03"
         "book.xls",
         "/root/book.xls"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> encoded = EncodedPathOfTarget(c.Target);
        EXPECT_EQ(BIFFStrText(encoded), c.Encoded) << c.Target;
        EXPECT_EQ(TargetOfEncodedPath(encoded), c.Back) << c.Target;
    }
}
