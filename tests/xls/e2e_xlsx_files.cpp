// Packages between this library and other programs: what openpyxl,
// XlsxWriter, SheetJS, LibreOffice and gnumeric write reads with the values
// they were given; what this library writes opens in openpyxl (values and
// formatting), in LibreOffice and in gnumeric, passes "unzip -t" and names
// a content type for every part; a package read and written back keeps the
// parts the model does not hold.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/formulas/FormulaEncoder.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <set>

using namespace xls;
namespace fs = std::filesystem;

namespace {

std::string Source(const std::string& name) {
    const char* src = std::getenv("Q710_SOURCE_DIR");
    return std::string(src ? src : ".") + "/tests/xls/" + name;
}

void Keep(const std::string& path, const std::string& name) {
    const char* out = std::getenv("Q710_TEST_OUT");
    if (!out || !*out) return;
    fs::create_directories(out);
    fs::copy_file(path, fs::path(out) / name, fs::copy_options::overwrite_existing);
}

std::string Cell(TTabrix4& book, int sheet, int col, int row) {
    TSheet& s = book.GetSheet(sheet);
    TCell* c = s.GetCell(col, row);
    if (!c) return "-";
    // A package has no integer cells: they come back as numbers.
    const int type = c->CellType() == ctInteger ? ctFloat : c->CellType();
    return std::to_string(type) + ":" + WideToUtf8(s.GetAsString(col, row));
}

std::vector<uint8_t> Bytes(const std::string& path) {
    std::string s = testfiles::Slurp(path);
    return {s.begin(), s.end()};
}

// Every entry of a package with its inflated bytes.
std::map<std::string, std::string> Entries(const std::string& path) {
    std::vector<uint8_t> bytes = Bytes(path);
    TXLSZipArchive zip;
    zip.OpenBuffer(bytes);
    std::map<std::string, std::string> out;
    for (int i = 0; i < zip.Count(); ++i)
        if (std::string n = zip.EntryName(i); !n.empty() && n.back() != '/') out[n] = zip.ExtractIndex(i);
    return out;
}

// Every part has a content type: an Override of its name or a Default of its extension.
void ExpectContentTypes(const std::map<std::string, std::string>& entries) {
    ASSERT_TRUE(entries.count("[Content_Types].xml"));
    const std::string& types = entries.at("[Content_Types].xml");
    std::set<std::string> overrides, defaults;
    std::smatch m;
    for (std::string s = types; std::regex_search(s, m, std::regex("PartName=\"/([^\"]+)\"")); s = m.suffix())
        overrides.insert(m[1]);
    for (std::string s = types; std::regex_search(s, m, std::regex("Extension=\"([^\"]+)\"")); s = m.suffix())
        defaults.insert(m[1]);
    for (const auto& [name, data] : entries) {
        if (name == "[Content_Types].xml") continue;
        const std::string ext = name.substr(name.rfind('.') + 1);
        EXPECT_TRUE(overrides.count(name) || defaults.count(ext)) << name << " has no content type";
    }
    for (const std::string& o : overrides) EXPECT_TRUE(entries.count(o)) << o << " is named but missing";
}

// The runs of Second!A2 (bold, then red italic) in the workbook and in its
// .xls copy, which gnumeric reads without a complaint.
void ExpectRichCopy(TTabrix4& book, const testfiles::ScratchDir& dir) {
    auto runs = [](TTabrix4& b) {
        std::string out;
        auto* cell = dynamic_cast<TStringCell*>(b.GetSheet(1).GetCell(0, 1));
        if (!cell || !cell->Entry()) return out;
        for (const TSSTRun& run : cell->Entry()->Runs())
            out += std::to_string(run.Pos) + ((run.Font->Style & xfsBold) ? "b" : "") +
                   ((run.Font->Style & xfsItalic) ? "i" : "") + (run.Font->ColorIndex == 10 ? "r" : "") + " ";
        return out;
    };
    EXPECT_EQ(runs(book), "0 6b 10 15ir ");
    const std::string copy = dir.File("rich.xls");
    book.SetVersion(TExcelVersion::xvExcel97);
    book.SetFilename(fs::path(copy).u16string());
    book.Write();
    book.SetVersion(TExcelVersion::xvExcel2007);
    TTabrix4 back;
    back.SetFilename(fs::path(copy).u16string());
    back.Read();
    EXPECT_EQ(runs(back), "0 6b 10 15ir ");
    const oracle::TRun r = oracle::Run("ssconvert '" + copy + "' '" + dir.File("rich.csv") + "'");
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_EQ(r.Output.find("WARNING"), std::string::npos) << r.Output;
}

} // namespace

TEST(XlsxPeers, PackagesOfOtherWritersReadWithTheirValues) {
    testfiles::ScratchDir dir;
    ASSERT_EQ(oracle::Run("/usr/bin/python3 '" + Source("xlsx_peers.py") + "' '" + dir.Path() + "'").Status,
              0);
    std::vector<std::string> files = {dir.File("openpyxl.xlsx"), dir.File("xlsxwriter.xlsx"),
                                      dir.File("customxml.xlsx")};
    // LibreOffice and gnumeric write what they read from openpyxl's package;
    // LibreOffice reads the sheet whose Id a custom XML part reuses.
    testfiles::LibreOfficeConvert({dir.File("openpyxl.xlsx"), dir.File("customxml.xlsx")}, dir.File("lo"),
                                  "xlsx");
    fs::copy_file(dir.File("lo/openpyxl.xlsx"), dir.File("libreoffice.xlsx"));
    fs::copy_file(dir.File("lo/customxml.xlsx"), dir.File("libreoffice-customxml.xlsx"));
    oracle::Run("ssconvert '" + dir.File("openpyxl.xlsx") + "' '" + dir.File("gnumeric.xlsx") + "'");
    files.push_back(dir.File("libreoffice.xlsx"));
    files.push_back(dir.File("libreoffice-customxml.xlsx"));
    files.push_back(dir.File("gnumeric.xlsx"));
    // gnumeric's own package of XlsxWriter's: rich texts inline.
    oracle::Run("ssconvert '" + dir.File("xlsxwriter.xlsx") + "' '" + dir.File("gnumeric-rich.xlsx") + "'");
    files.push_back(dir.File("gnumeric-rich.xlsx"));
    if (fs::exists(oracle::SheetJSDir() + "/node_modules/xlsx")) {
        oracle::Run("node '" + Source("sheetjs_write.js") + "' '" + oracle::SheetJSDir() + "' '" +
                    dir.File("sheetjs.xlsx") + "'");
        files.push_back(dir.File("sheetjs.xlsx"));
    }
    LibState().Locale.DecimalSeparator = u'.';
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(testfiles::Exists(file));
        Keep(file, "xlsx_peer_" + fs::path(file).filename().string());
        TTabrix4 book;
        book.SetFilename(fs::path(file).u16string());
        ASSERT_NO_THROW(book.Read());
        ASSERT_EQ(book.Sheets().Count(), 2);
        EXPECT_EQ(book.GetSheet(0).Name(), u"Goods & groups");
        EXPECT_EQ(book.GetSheet(1).Name(), u"Second");
        EXPECT_EQ(Cell(book, 0, 0, 0), "5:Назва");
        EXPECT_EQ(Cell(book, 0, 1, 0), "4:12.5");
        EXPECT_EQ(Cell(book, 0, 0, 1), "5:a & <b>");
        EXPECT_EQ(Cell(book, 0, 1, 1), "4:-3");
        EXPECT_EQ(Cell(book, 0, 0, 2), "5:  lead");
        EXPECT_EQ(Cell(book, 0, 1, 2), "4:1234567890123");
        EXPECT_EQ(Cell(book, 0, 2, 2), "4:0.1");
        EXPECT_EQ(Cell(book, 0, 0, 3), "5:рядок\nдругий");
        EXPECT_EQ(Cell(book, 1, 0, 0), "5:x");
        // TRUE, as a value or as LibreOffice's TRUE() formula.
        EXPECT_TRUE(Cell(book, 0, 2, 0) == "6:TRUE" || Cell(book, 0, 2, 0) == "10:TRUE")
            << Cell(book, 0, 2, 0);
        // The formula, with its result where the writer stored one.
        TCell* f = book.GetSheet(0).GetCell(3, 0);
        ASSERT_TRUE(f && f->CellType() == ctNumberFormula);
        EXPECT_EQ(book.GetSheet(0).GetAsFormula(3, 0), "B1*2");
        if (file != dir.File("openpyxl.xlsx") && file != dir.File("customxml.xlsx")) {
            EXPECT_EQ(Cell(book, 0, 3, 0), "8:25");
        }
        if (file != dir.File("customxml.xlsx")) {
            EXPECT_TRUE(book.Warnings().empty()) << book.Warnings().front();
            if (file == dir.File("xlsxwriter.xlsx") || file == dir.File("gnumeric-rich.xlsx"))
                ExpectRichCopy(book, dir);
            continue;
        }
        // The Id given twice is named; written back, the custom part is
        // kept under an Id of its own and openpyxl reads both sheets.
        EXPECT_EQ(book.Warnings(), std::vector<std::string>{"Workbook: relationship Id rId1 is given twice "
                                                            "(worksheet, customXml); the sheet takes the "
                                                            "worksheet, the customXml is kept"});
        book.SetFilename(fs::path(dir.File("customxml-copy.xlsx")).u16string());
        book.Write();
        const oracle::XlrdBook copy = oracle::ReadWithOpenpyxl(dir.File("customxml-copy.xlsx"));
        ASSERT_TRUE(copy.Ok) << copy.Error << copy.NoVerdict;
        EXPECT_EQ(copy.Sheets, (std::vector<std::u16string>{u"Goods & groups", u"Second"}));
        ASSERT_FALSE(copy.Cells.empty());
        EXPECT_EQ(copy.Cells[0].Value, "Назва");
        EXPECT_TRUE(Entries(dir.File("customxml-copy.xlsx")).count("customXml/item1.xml"));
    }
    LibState().Reset();
}

namespace {

// A workbook with what the program's exports use and more: texts, numbers,
// booleans, errors, a formula, fonts, fills, borders, number formats,
// merged cells, widths, heights and a hidden row.
void BuildBook(TTabrix4& book) {
    TSheet& s = book.GetSheet(0);
    s.SetName(u"Товари & групи");
    s.SetAsString(0, 0, u"Назва");
    s.SetAsString(1, 0, u"Ціна");
    s.SetAsString(0, 1, u"  lead <&>");
    s.SetAsFloat(1, 1, 12.5);
    s.SetAsBoolean(2, 1, true);
    s.PutError(3, 1, DefaultCellFormat, 7);
    s.SetAsFloat(4, 1, 45000);
    TEncodeOptions options;
    TEncodedFormula f = EncodeFormula(u"B2*2", options);
    TFormulaResult r;
    r.Number = 25;
    s.PutFormula(ctNumberFormula, 0, 2, DefaultCellFormat, int(f.TokenLength), f.Data, r);
    s.SetAsString(0, 3, u"hidden row");
    s.SetAsString(0, 4, u"merged");
    s.SetAsString(0, 5, std::u16string(u"a") + char16_t(1) + u"b\r\nc");
    s.SetAsInteger(1, 5, -7);

    TCell* a1 = s.GetCell(0, 0);
    a1->SetFontStyle(xfsBold);
    a1->SetFontColor(10);
    a1->SetFontSize20(240);
    a1->SetFillPattern(1);
    a1->SetFillForeColor(13);
    s.GetCell(1, 0)->SetFontStyle(xfsItalic);
    TCell* b2 = s.GetCell(1, 1);
    b2->SetNumberFormat(u"0.00");
    for (auto set : {&TCell::SetBorderLeftStyle, &TCell::SetBorderRightStyle, &TCell::SetBorderTopStyle,
                     &TCell::SetBorderBottomStyle})
        (b2->*set)(1);
    s.GetCell(4, 1)->SetNumberFormat(u"dd.mm.yyyy");
    s.MergedCells().AddArea(0, 4, 2, 4);
    s.Columns().SetWidths(0, 0, 20 * 256);
    s.Rows().Add(1).SetHeight(600);
    s.Rows().Add(3).SetHidden(true);
    s.Rows().Sort();
    book.Sheets().Add(0).SetAsFloat(0, 0, 1);
    // A global name and a print area local to the first sheet, as tokens.
    TFormulaHandler& formulas = book.FormulaHandler();
    auto name = [&](std::u16string_view text, std::u16string_view formula, int sheet) {
        TFormulaEncoding how;
        how.Class = 0x20;
        how.FileSyntax = true;
        TEncodedFormula f = formulas.EncodeFormula(formula, how);
        TInternalName& n = formulas.Names().Add();
        n.SetName(text);
        n.SheetNumber = uint16_t(sheet + 1);
        n.Data = f.Data;
        n.TokenLength = uint16_t(f.TokenLength);
    };
    name(u"Goods", u"'Товари & групи'!$A$1:$B$2", -1);
    name(u"_xlnm.Print_Area", u"'Товари & групи'!$A$1:$E$6", 0);
}

} // namespace

TEST(XlsxWriter, PackagesOpenInOtherReaders) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("written.xlsx");
    TTabrix4 book;
    book.SetVersion(TExcelVersion::xvExcel2007);
    BuildBook(book);
    book.SetFilename(fs::path(file).u16string());
    ASSERT_NO_THROW(book.Write());
    Keep(file, "xlsx_written.xlsx");

    EXPECT_EQ(oracle::Run("unzip -tq '" + file + "'").Status, 0);
    ExpectContentTypes(Entries(file));

    // openpyxl: the values ...
    oracle::XlrdBook cells = oracle::ReadWithOpenpyxl(file);
    ASSERT_TRUE(cells.Ok) << cells.Error;
    EXPECT_EQ(cells.Sheets, (std::vector<std::u16string>{u"Товари & групи", u"Sheet2"}));
    std::map<std::string, std::string> got;
    for (const auto& c : cells.Cells)
        got[std::to_string(c.Sheet) + ":" + std::to_string(c.Row) + ":" + std::to_string(c.Col)] =
            std::string(1, c.Kind) + c.Value;
    const std::map<std::string, std::string> want = {
        {"0:0:0", "tНазва"},
        {"0:0:1", "tЦіна"},
        {"0:1:0", "t  lead <&>"},
        {"0:1:1", "n12.5"},
        {"0:1:2", "b1"},
        {"0:1:3", "e#N/A"},
        {"0:1:4", "n45000.0"},
        {"0:2:0", "n25.0"},
        // openpyxl leaves the format's "_x0001_" escapes in the text.
        {"0:3:0", "thidden row"},
        {"0:4:0", "tmerged"},
        {"0:5:0", "ta_x0001_b_x000D_\nc"},
        {"0:5:1", "n-7.0"},
        {"1:0:0", "n1.0"}};
    EXPECT_EQ(got, want);
    // ... and the formatting.
    oracle::TRun styles = oracle::OpenpyxlStyles(file);
    ASSERT_EQ(styles.Status, 0) << styles.Output;
    for (const char* line : {"font 0 0 bold=1 italic=0 size=12 name=Arial rgb=indexed:10",
                             "font 0 1 bold=0 italic=1 size=10 name=Arial", "fill 0 0 solid indexed:13",
                             "border 1 1 thin thin thin thin", "numfmt 1 1 0.00", "numfmt 1 4 dd.mm.yyyy",
                             "merged A5:C5", "width A 20", "height 1 30 hidden=0", "height 3 0 hidden=1",
                             "name Goods 'Товари & групи'!$A$1:$B$2", "print_area ['$A$1:$E$6']"})
        EXPECT_TRUE(oracle::Has(styles.Output, line)) << line << "\n" << styles.Output;

    // LibreOffice shows the values as their formats show them (UTF-8 text,
    // cells as shown), gnumeric the same values.
    testfiles::TProgramRun lo = testfiles::LibreOfficeConvert(
        {file}, dir.File("csv"), "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true");
    const std::string loCsv = testfiles::Exists(dir.File("csv/written.csv"))
                                  ? testfiles::Slurp(dir.File("csv/written.csv"))
                                  : lo.Output;
    for (const char* text :
         {"Назва,Ціна", "  lead <&>,12.50,TRUE,#N/A,15.03.2023", "25", "hidden row", "merged", "-7"})
        EXPECT_TRUE(oracle::Has(loCsv, text)) << text << " in\n" << loCsv;
    oracle::TRun gn = oracle::GnumericCsv(file, dir.File("gnumeric.csv"));
    ASSERT_EQ(gn.Status, 0) << gn.Output;
    for (const char* text :
         {"Назва,Ціна", "\"  lead <&>\",12.5,TRUE,#N/A,2023/03/15", "25", "hidden row", "merged", "-7"})
        EXPECT_TRUE(oracle::Has(gn.Output, text)) << text << " in\n" << gn.Output;

    // Read back here, the cells and their formats are the same.
    TTabrix4 back;
    back.SetFilename(fs::path(file).u16string());
    ASSERT_NO_THROW(back.Read());
    TSheet& s = back.GetSheet(0);
    for (int row = 0; row < 6; ++row)
        for (int col = 0; col < 5; ++col)
            EXPECT_EQ(Cell(back, 0, col, row), Cell(book, 0, col, row)) << row << "," << col;
    EXPECT_EQ(s.GetAsFormula(0, 2), "B2*2");
    EXPECT_EQ(s.GetCell(0, 0)->GetFontStyle(), xfsBold);
    EXPECT_EQ(s.GetCell(0, 0)->GetFillPattern(), 1);
    EXPECT_EQ(s.GetCell(0, 0)->GetFillForeColor(), 13);
    EXPECT_EQ(s.GetCell(1, 1)->GetBorderTopStyle(), 1);
    EXPECT_EQ(s.GetCell(1, 1)->GetNumberFormat(), u"0.00");
    EXPECT_EQ(s.Columns()[0]->GetWidth(), 20 * 256);
    ASSERT_NE(s.Rows().Find(3), nullptr);
    EXPECT_TRUE(s.Rows().Find(3)->Flags & TXLSRow::HiddenBit);
    EXPECT_EQ(s.Rows().Find(1)->Height, 600);
    EXPECT_EQ(s.MergedCells().Count(), 1);
}

TEST(XlsxWriter, DefinedNamesComeBackAsTheyWere) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    const fs::path source = oracle::RealWorldDir() / "XlsxWriter/defined_name01.xlsx";
    TTabrix4 book;
    book.SetFilename(source.u16string());
    ASSERT_NO_THROW(book.Read());
    EXPECT_EQ(book.GetInternalNames().Count(), 10);
    book.SetFilename(fs::path(dir.File("names.xlsx")).u16string());
    ASSERT_NO_THROW(book.Write());
    auto names = [](const std::string& workbook) {
        size_t a = workbook.find("<definedNames>"), b = workbook.find("</definedNames>");
        return a == std::string::npos || b == std::string::npos ? std::string() : workbook.substr(a, b - a);
    };
    const std::string before = names(Entries(source.string()).at("xl/workbook.xml"));
    EXPECT_FALSE(before.empty());
    EXPECT_EQ(names(Entries(dir.File("names.xlsx")).at("xl/workbook.xml")), before);
}

TEST(XlsxWriter, PackageReadAndWrittenBackKeepsWhatTheModelDoesNotHold) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    for (const char* name :
         {"XlsxWriter/macro01.xlsm", "XlsxWriter/chartsheet01.xlsx", "XlsxWriter/comment01.xlsx",
          "XlsxWriter/image01.xlsx", "XlsxWriter/hyperlink01.xlsx", "XlsxWriter/cond_format01.xlsx",
          "XlsxWriter/data_validation01.xlsx", "XlsxWriter/autofilter01.xlsx",
          "sheetjs-test_files/BlankSheetTypes.xlsm", "ExcelDataReader/strict/Test10x10.xlsx"}) {
        SCOPED_TRACE(name);
        const fs::path source = oracle::RealWorldDir() / name;
        const std::string target = dir.File(source.filename().string());
        for (TTempFileMode mode : {TTempFileMode::tfmOnDisk, TTempFileMode::tfmInMemory}) {
            TTabrix4 book;
            book.TempFileMode = mode;
            book.SetFilename(source.u16string());
            ASSERT_NO_THROW(book.Read());
            book.SetFilename(fs::path(target).u16string());
            ASSERT_NO_THROW(book.Write());
        }
        Keep(target, "xlsx_kept_" + source.filename().string());
        const auto before = Entries(source.string()), after = Entries(target);
        ExpectContentTypes(after);
        // Every part is still there; the parts the writer does not make are unchanged.
        static const std::regex made(
            R"(\[Content_Types\]\.xml|_rels/\.rels|docProps/(core|app)\.xml|)"
            R"(xl/(workbook|styles|sharedStrings|calcChain)\.xml|xl/_rels/workbook\.xml\.rels|)"
            R"(xl/worksheets/(_rels/)?sheet\d+\.xml(\.rels)?)");
        for (const auto& [part, bytes] : before) {
            if (part.find("calcChain") != std::string::npos) continue;
            ASSERT_TRUE(after.count(part)) << part << " lost";
            if (!std::regex_match(part, made)) {
                EXPECT_EQ(after.at(part), bytes) << part << " changed";
            }
        }
        // The package's relationships (a thumbnail, custom properties) still lead to their parts, once.
        std::smatch m;
        const std::string& rels = after.at("_rels/.rels");
        for (std::string r = before.at("_rels/.rels");
             std::regex_search(r, m, std::regex("Target=\"([^\"]+)\"")); r = m.suffix()) {
            const std::string wanted = "Target=\"" + m[1].str() + "\"";
            EXPECT_TRUE(oracle::Has(rels, wanted)) << m[1];
            EXPECT_EQ(rels.find(wanted), rels.rfind(wanted)) << m[1] << " twice";
        }
        // openpyxl opens it and sees the same sheets as in the original (none in a strict package).
        oracle::XlrdBook a = oracle::ReadWithOpenpyxl(source), b = oracle::ReadWithOpenpyxl(target);
        ASSERT_TRUE(b.Ok) << b.Error;
        if (a.Sheets.empty()) continue;
        EXPECT_EQ(a.Sheets, b.Sheets);
        EXPECT_EQ(a.Cells.size(), b.Cells.size());
        if (std::string(name).find(".xlsm") != std::string::npos) {
            EXPECT_TRUE(oracle::Has(after.at("[Content_Types].xml"),
                                    "application/vnd.ms-excel.sheet.macroEnabled.main+xml"));
        }
    }
}

// The defined names of packages written as binary workbooks keep their
// formulas: xlrd reads from the .xls the names, scopes and formulas of the
// package's workbook part (xlrd writes whole rows and columns by their
// corners and error constants as strings).
TEST(XlsxWriter, PackageNamesKeepTheirFormulasAsBinaryWorkbooks) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    static const std::regex defined(R"x(<definedName name="([^"]+)"([^>]*)>([^<]*)</definedName>)x");
    static const std::regex sheet(R"x(localSheetId="(\d+)")x");
    static const std::vector<std::pair<std::regex, const char*>> xlrdForm = {
        {std::regex(R"((\$[A-Z]+):(\$[A-Z]+)(?![$\d]))"), "$1$$1:$2$$65536"},
        {std::regex(R"(\$(\d+):\$(\d+))"), "$$A$$$1:$$IV$$$2"},
        {std::regex(R"(^(#[A-Z0-9/]+[!?]?)$)"), "\"$1\""},
        {std::regex("&amp;"), "&"},
        {std::regex("&apos;"), "'"}};
    std::vector<std::string> written;
    std::vector<std::vector<std::string>> expected;
    for (const char* name : {"XlsxWriter/defined_name01.xlsx", "xlnt/19_defined_names.xlsx",
                             "apache-poi/shared_formulas.xlsx", "XlsxWriter/autofilter01.xlsx"}) {
        const fs::path source = oracle::RealWorldDir() / name;
        std::vector<std::string> lines;
        std::smatch m, s;
        for (std::string w = Entries(source.string()).at("xl/workbook.xml"); std::regex_search(w, m, defined);
             w = m.suffix()) {
            std::string n = m[1], text = m[3], attributes = m[2];
            const bool builtIn = n.rfind("_xlnm.", 0) == 0;
            for (const auto& [from, to] : xlrdForm) text = std::regex_replace(text, from, to);
            const std::string scope = std::regex_search(attributes, s, sheet) ? s[1].str() : "-1";
            lines.push_back((builtIn ? n.substr(6) : n) + "\t" + scope + "\t" + (builtIn ? "1" : "0") + "\t" +
                            text);
        }
        ASSERT_FALSE(lines.empty()) << name;
        TTabrix4 book;
        book.SetFilename(source.u16string());
        ASSERT_NO_THROW(book.Read());
        written.push_back(dir.File(source.stem().string() + ".xls"));
        book.SetVersion(TExcelVersion::xvExcel97);
        book.SetFilename(fs::path(written.back()).u16string());
        ASSERT_NO_THROW(book.Write());
        expected.push_back(std::move(lines));
    }
    const auto read =
        oracle::RunPerFile("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlrd_names.py")), written);
    for (size_t i = 0; i < written.size(); ++i) {
        ASSERT_TRUE(read[i].Ok) << written[i] << ": " << read[i].Error;
        std::vector<std::string> got;
        for (const auto& l : read[i].Lines)
            if (l.size() >= 5) got.push_back(l[1] + "\t" + l[2] + "\t" + l[3] + "\t" + l[4]);
        EXPECT_EQ(got, expected[i]) << written[i];
    }
}
