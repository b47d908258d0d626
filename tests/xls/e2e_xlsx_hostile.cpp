// Hostile and broken packages: each is refused with the library's message
// or read within bounds; none crashes, hangs or takes memory it should not.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formats/XLSZip.h"
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>

using namespace xls;

namespace {

using TParts = std::map<std::string, std::string>;

TParts MinimalPackage() {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    return {
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"},
        {"_rels/.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" +
             rel +
             "/officeDocument\" Target=\"xl/workbook.xml\"/>"
             "</Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns:r=\"" + rel +
                                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>"
                                "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
             "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
        {"xl/sharedStrings.xml", "<sst count=\"1\" uniqueCount=\"1\"><si><t>x</t></si></sst>"},
        {"xl/worksheets/sheet1.xml", "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                     "<c r=\"B1\"><v>2.5</v></c></row></sheetData></worksheet>"},
    };
}

std::vector<uint8_t> Zip(const TParts& parts, int extraEntries = 0) {
    TXLSZipArchive zip;
    zip.Create();
    for (const auto& [name, data] : parts) zip.AddFile(name, data, 6);
    for (int i = 0; i < extraEntries; ++i) zip.AddFile("x/" + std::to_string(i), "", 0);
    return zip.Close();
}

// Patches a field of one entry's local and central headers.
void Patch(std::vector<uint8_t>& bytes, const std::string& entry, int local, int central, uint32_t value,
           int size) {
    for (size_t i = 0; i + 46 < bytes.size(); ++i) {
        uint32_t sig = bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | uint32_t(bytes[i + 3]) << 24;
        size_t nameAt = sig == 0x04034b50 ? i + 30 : sig == 0x02014b50 ? i + 46 : 0;
        if (!nameAt || std::string(bytes.begin() + std::ptrdiff_t(nameAt),
                                   bytes.begin() + std::ptrdiff_t(std::min(bytes.size(),
                                                                           nameAt + entry.size()))) != entry)
            continue;
        const int at = sig == 0x04034b50 ? local : central;
        for (int b = 0; b < size; ++b) bytes[i + size_t(at + b)] = uint8_t(value >> (8 * b));
    }
}

// The message of the read ("" when it succeeded), and the book read; the
// after-read steps run either way, as Read runs them.
std::string Read(const std::vector<uint8_t>& image, TTabrix4& book) {
    std::string message;
    try {
        ReadPackageFile(book, &image);
    } catch (const XLSError& e) {
        message = e.what();
    }
    book.AfterRead();
    return message;
}

} // namespace

TEST(XlsxHostile, RefusedWithAMessage) {
    const std::string sheet = "xl/worksheets/sheet1.xml";
    struct Case {
        const char* what;
        std::function<std::vector<uint8_t>()> make;
        std::string message;
    } cases[] = {
        {"an entry claiming 4 GB",
         [&] {
             auto b = Zip(MinimalPackage());
             Patch(b, sheet, 22, 24, 0xFFFFFFF0u, 4);
             return b;
         },
         "ZIP entry too large: " + sheet},
        {"a 1,000:1 ratio beyond 100 MB",
         [&] {
             auto b = Zip(MinimalPackage());
             Patch(b, sheet, 22, 24, 300u << 20, 4);
             return b;
         },
         "ZIP entry expands beyond any package part: " + sheet},
        // The parts, 100,000 others and the entries of their folders.
        {"100,000 entries", [] { return Zip(MinimalPackage(), 100000); },
         "Too many entries in ZIP archive: 100011"},
        {"an encrypted entry",
         [] {
             auto b = Zip(MinimalPackage());
             Patch(b, "xl/workbook.xml", 6, 8, 1, 2);
             return b;
         },
         "Encrypted ZIP entry: xl/workbook.xml"},
        {"no workbook part",
         [] {
             TParts p = MinimalPackage();
             p.erase("xl/workbook.xml");
             return Zip(p);
         },
         "The package holds no workbook part"},
        {"a document type declaration",
         [&] {
             TParts p = MinimalPackage();
             p[sheet] = "<!DOCTYPE lol [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                        "\"&a;&a;&a;&a;\">]><worksheet>&b;</worksheet>";
             return Zip(p);
         },
         "XML document type declarations are not allowed (" + sheet + ")"},
        {"a column past the limits",
         [&] {
             TParts p = MinimalPackage();
             p[sheet] = "<worksheet><sheetData><row><c r=\"XFE1\"><v>1</v></c></row></sheetData></worksheet>";
             return Zip(p);
         },
         "Invalid value of r: \"XFE1\" (" + sheet + ")"},
        {"a row past the limits",
         [&] {
             TParts p = MinimalPackage();
             p[sheet] =
                 "<worksheet><sheetData><row r=\"1048577\"><c><v>1</v></c></row></sheetData></worksheet>";
             return Zip(p);
         },
         "Invalid value of r: \"1048577\" (" + sheet + ")"},
        {"not a zip archive", [] { return std::vector<uint8_t>(1000, 'x'); },
         "File is not a ZIP archive or is damaged"},
        // What a cell reads stays in memory until the cell ends: a million
        // values of one cell pass what a package's elements may take.
        {"a cell of a million values",
         [&] {
             TParts p = MinimalPackage();
             std::string values;
             for (int i = 0; i < 1000000; ++i) values += "<v>7</v>";
             p[sheet] =
                 "<worksheet><sheetData><row><c r=\"A1\">" + values + "</c></row></sheetData></worksheet>";
             return Zip(p);
         },
         "XML part holds more than 64 MiB of elements at once (" + sheet + ")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> image = c.make();
        // The refusal is bounded in time; making the image is not part of it.
        const auto start = std::chrono::steady_clock::now();
        TTabrix4 book;
        EXPECT_EQ(Read(image, book), c.message);
        // Whatever was read before the refusal, the component is usable.
        EXPECT_GE(book.Sheets().Count(), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
}

TEST(XlsxHostile, ReadWithinBounds) {
    const std::string sheet = "xl/worksheets/sheet1.xml";
    // A shared-string count of a billion, a column range to 2^31, a style
    // index far beyond the formats, a row 0 (passed over, as other readers do).
    TParts p = MinimalPackage();
    p["xl/sharedStrings.xml"] =
        "<sst count=\"1000000000\" uniqueCount=\"1000000000\"><si><t>x</t></si></sst>";
    p[sheet] =
        "<worksheet><cols><col min=\"1\" max=\"2147483648\" width=\"5\"/><col min=\"0\" max=\"-1\"/></cols>"
        "<sheetData><row r=\"0\"><c r=\"A0\"><v>9</v></c></row>"
        "<row r=\"1\"><c r=\"A1\" t=\"s\" s=\"999999999999\"><v>0</v></c><c><v>2.5</v></c></row>"
        "</sheetData></worksheet>";
    TTabrix4 book;
    ASSERT_EQ(Read(Zip(p), book), "");
    TSheet& s = book.GetSheet(0);
    EXPECT_EQ(s.GetAsString(0, 0), u"x");
    EXPECT_EQ(s.GetAsFloat(1, 0), 2.5);
    EXPECT_EQ(s.Cells().Count(), 2);
    EXPECT_EQ(s.GetCell(0, 0)->GetFormatIndex(), DefaultCellFormat);
    ASSERT_NE(s.Columns()[16383], nullptr);
    EXPECT_EQ(s.Columns()[16383]->GetWidth(), 5 * 256);

    // A shared string that is not there reads as an empty text; a sheet
    // whose part is missing as an empty sheet.
    p = MinimalPackage();
    p[sheet] = "<worksheet><sheetData><row><c r=\"A1\" t=\"s\"><v>5</v></c></row></sheetData></worksheet>";
    TTabrix4 index;
    ASSERT_EQ(Read(Zip(p), index), "");
    EXPECT_EQ(index.GetSheet(0).GetCellType(0, 0), ctString);
    EXPECT_EQ(index.GetSheet(0).GetAsString(0, 0), u"");
    p.erase(sheet);
    TTabrix4 missing;
    ASSERT_EQ(Read(Zip(p), missing), "");
    ASSERT_EQ(missing.Sheets().Count(), 1);
    EXPECT_EQ(missing.GetSheet(0).Cells().Count(), 0);
    ASSERT_EQ(missing.Warnings().size(), 1u);
    EXPECT_NE(missing.Warnings()[0].find("is missing from the package"), std::string::npos);

    // Sheets listed in two sheets elements are read, and the copy lists
    // them once: it reads back.
    p = MinimalPackage();
    p["xl/workbook.xml"] = "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                           "relationships\"><sheets><sheet name=\"A\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
                           "<sheets><sheet name=\"B\" sheetId=\"2\" r:id=\"rId1\"/></sheets></workbook>";
    TTabrix4 twice;
    ASSERT_EQ(Read(Zip(p), twice), "");
    std::vector<uint8_t> copy;
    WritePackageFile(twice, &copy);
    TTabrix4 again;
    ASSERT_EQ(Read(copy, again), "");
    EXPECT_EQ(again.Sheets().Count(), twice.Sheets().Count());

    // A sheet whose relationship leads to no sheet part (here the shared
    // strings), or is missing, is left out and named; a later sheet keeps its
    // local name, and the copy lists only the sheets read.
    p = MinimalPackage();
    p["xl/workbook.xml"] = "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                           "relationships\"><sheets><sheet name=\"S\" r:id=\"rId2\"/><sheet name=\"T\" "
                           "r:id=\"rId9\"/><sheet name=\"S\" r:id=\"rId1\"/></sheets><definedNames>"
                           "<definedName name=\"L\" localSheetId=\"2\">S!$B$1</definedName>"
                           "</definedNames></workbook>";
    TTabrix4 astray;
    ASSERT_EQ(Read(Zip(p), astray), "");
    ASSERT_EQ(astray.Sheets().Count(), 1);
    EXPECT_EQ(astray.GetSheet(0).GetAsFloat(1, 0), 2.5);
    std::string warned;
    for (const std::string& w : astray.Warnings()) warned += w + "\n";
    EXPECT_NE(warned.find("Sheet 'S' left out: its relationship rId2 leads to no sheet (sharedStrings)"),
              std::string::npos)
        << warned;
    EXPECT_NE(warned.find("Sheet 'T' left out: the workbook has no relationship rId9"), std::string::npos)
        << warned;
    EXPECT_EQ(warned.find("local to a sheet"), std::string::npos) << warned;
    copy.clear();
    WritePackageFile(astray, &copy);
    TTabrix4 astrayAgain;
    ASSERT_EQ(Read(copy, astrayAgain), "");
    EXPECT_EQ(astrayAgain.Sheets().Count(), 1);
}

// A part that does not read, or an element past a bound, costs that part or
// element with a warning: the cells are read.
TEST(XlsxHostile, ADamagedPartCostsItself) {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string sheetRels = "xl/worksheets/_rels/sheet1.xml.rels";
    const std::string styles = "xl/styles.xml";
    const std::string stylesRel =
        "<Relationship Id=\"rId3\" Type=\"" + rel + "/styles\" Target=\"styles.xml\"/>";
    auto withStyles = [&](TParts p, const std::string& text) {
        std::string& rels = p["xl/_rels/workbook.xml.rels"];
        rels.insert(rels.find("</Relationships>"), stylesRel);
        p[styles] = text;
        return p;
    };
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<ext uri=\"x\">";
    for (int i = 0; i < 300; ++i) deep += "</ext>";
    const std::string huge(17 << 20, 'a');
    struct Case {
        const char* what;
        TParts parts;
        std::string warning;
    } cases[] = {
        {"a sheet's relationships with an attribute twice",
         [&] {
             TParts p = MinimalPackage();
             p[sheetRels] =
                 "<Relationships><Relationship Id=\"rId1\" Type=\"a\" Type=\"b\" Target=\"x.xml\"/>"
                 "</Relationships>";
             return p;
         }(),
         "Duplicate tag value: Type"},
        {"a sheet's relationships with an attribute past 16 MiB",
         [&] {
             TParts p = MinimalPackage();
             p[sheetRels] = "<Relationships><Relationship Id=\"rId1\" Type=\"" + huge +
                            "\" Target=\"x.xml\"/></Relationships>";
             return p;
         }(),
         "its relationships part " + sheetRels + " could not be read"},
        {"no styles part", withStyles(MinimalPackage(), ""),
         "is missing from the package; the default styles stand"},
        {"a number format whose id is no number",
         withStyles(MinimalPackage(),
                    "<styleSheet><numFmts count=\"1\"><numFmt numFmtId=\"x\" formatCode=\"0.0\"/>"
                    "</numFmts></styleSheet>"),
         "Invalid value of numFmtId"},
        {"styles with an attribute past 16 MiB",
         withStyles(MinimalPackage(),
                    "<styleSheet><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"" + huge +
                        "\"/></numFmts></styleSheet>"),
         "the default styles stand"},
        {"an extension list nested past the bound",
         [&] {
             TParts p = MinimalPackage();
             std::string& sheet = p["xl/worksheets/sheet1.xml"];
             sheet.insert(sheet.find("</worksheet>"), "<extLst>" + deep + "</extLst>");
             return p;
         }(),
         "1 element(s) of xl/worksheets/sheet1.xml nested more than 256 levels deep were left out"},
        {"a part whose name is no UTF-8",
         [&] {
             TParts p = MinimalPackage();
             p["xl/style@@xml"] = "<a/>"; // named so below, in the zip's own bytes
             return p;
         }(),
         "its name is no part name"},
        {"an array formula without its area and a member of a shared formula without its group",
         [&] {
             TParts p = MinimalPackage();
             std::string& sheet = p["xl/worksheets/sheet1.xml"];
             sheet.insert(sheet.find("</row>"), "<c r=\"C1\"><f t=\"array\">1+1</f><v>2</v></c>"
                                                "<c r=\"D1\"><f t=\"shared\" si=\"3\"/><v>5</v></c>");
             return p;
         }(),
         "S!D1: formula not written to .xlsx (no cell of the file holds the formula of its shared group); "
         "its value is kept"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.parts.count(styles) && c.parts[styles].empty()) c.parts.erase(styles);
        std::vector<uint8_t> image = Zip(c.parts);
        std::string bytes(image.begin(), image.end());
        for (size_t at; (at = bytes.find("style@@xml")) != std::string::npos;)
            bytes.replace(at + 5, 2, "\xFF\x13");
        image.assign(bytes.begin(), bytes.end());
        TTabrix4 book;
        ASSERT_EQ(Read(image, book), "");
        EXPECT_EQ(book.GetSheet(0).GetAsString(0, 0), u"x");
        EXPECT_EQ(book.GetSheet(0).GetAsFloat(1, 0), 2.5);
        // What the read or the write of its copy names.
        std::string all;
        for (const std::string& w : book.Warnings()) all += w + "\n";
        std::vector<uint8_t> copy;
        WritePackageFile(book, &copy);
        for (const std::string& w : book.Warnings()) all += w + "\n";
        EXPECT_NE(all.find(c.warning), std::string::npos) << all;
        TTabrix4 again;
        EXPECT_EQ(Read(copy, again), "");
        // Names and texts the package's XML cannot hold stay out of the copy.
        EXPECT_EQ(std::string(copy.begin(), copy.end()).find("\xFF\x13"), std::string::npos);
        // An array formula has its area, a shared one its group.
        TXLSZipArchive zip;
        zip.OpenBuffer(copy);
        const std::string sheet = zip.Extract("xl/worksheets/sheet1.xml");
        EXPECT_EQ(sheet.find("ref=\"\""), std::string::npos) << sheet;
        EXPECT_EQ(sheet.find("t=\"shared\""), std::string::npos) << sheet;
        if (again.GetSheet(0).GetCell(3, 0)) {
            EXPECT_EQ(again.GetSheet(0).GetAsFloat(3, 0), 5);
        }
    }
}

// Texts longer than a cell holds (a shared string of 1,048,576 characters,
// a rich one, an inline one), which openpyxl reads whole: each cell keeps
// the first 65,535 characters, and the read names the first cell.
TEST(XlsxHostile, TextsLongerThanACellHoldsAreCutWithAWarning) {
    // With the namespaces and content types openpyxl asks for.
    const std::string main =
                          "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">",
                      type = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    TParts p = MinimalPackage();
    p["[Content_Types].xml"] =
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
        type +
        "sheet.main+xml\"/><Override PartName=\"/xl/worksheets/sheet1.xml\" "
        "ContentType=\"" +
        type + "worksheet+xml\"/><Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" + type +
        "sharedStrings+xml\"/></Types>";
    p["xl/workbook.xml"].insert(10, "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" ");
    p["xl/sharedStrings.xml"] =
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>" +
        std::string(1 << 20, 'z') + "</t></si><si><r><t>" + std::string(40000, 'r') + "</t></r><r><t>" +
        std::string(40000, 's') + "</t></r></si><si><t>short</t></si></sst>";
    p["xl/worksheets/sheet1.xml"] =
        main +
        "<sheetData><row r=\"1\"><c r=\"B1\" t=\"s\"><v>2</v></c><c r=\"C1\" t=\"s\"><v>0</v></c>"
        "<c r=\"D1\" t=\"s\"><v>1</v></c><c r=\"E1\" t=\"inlineStr\"><is><t>" +
        std::string(70000, 'y') +
        "</t></is></c></row><row r=\"2\"><c r=\"C2\" t=\"s\"><v>0</v></c></row>"
        "</sheetData></worksheet>";
    testfiles::ScratchDir dir;
    const std::vector<uint8_t> image = Zip(p);
    testfiles::Spit(dir.File("long.xlsx"), std::string(image.begin(), image.end()));
    const oracle::XlrdBook seen = oracle::ReadWithOpenpyxl(dir.File("long.xlsx"));
    ASSERT_TRUE(seen.Ok) << seen.Error << seen.NoVerdict;
    std::vector<size_t> lengths;
    for (const oracle::XlrdCell& c : seen.Cells) lengths.push_back(c.Value.size());
    EXPECT_EQ(lengths, (std::vector<size_t>{5, 1 << 20, 80000, 70000, 1 << 20}));
    TTabrix4 book;
    ASSERT_EQ(Read(image, book), "");
    TSheet& s = book.GetSheet(0);
    for (int col : {2, 3, 4}) EXPECT_EQ(s.GetAsString(col, 0).size(), 65535u) << col;
    EXPECT_EQ(s.GetAsString(3, 0).substr(39999, 2), u"rs");
    EXPECT_EQ(s.GetAsString(1, 0), u"short");
    EXPECT_EQ(book.Warnings(),
              std::vector<std::string>{"S!C1: a text of 1048576 characters cut to the 65535 a "
                                       "cell holds, and the texts of 3 more cell(s)"});
}
