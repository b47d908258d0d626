// Formulas carried across a conversion between .xlsx and .xls: packages
// written by openpyxl, XlsxWriter, LibreOffice and gnumeric, copied to .xls
// with the library and read by our reader, xlrd, gnumeric (computing every
// formula again) and LibreOffice; binary workbooks written by LibreOffice
// and the real files' other workbooks copied to .xlsx and read by openpyxl,
// gnumeric, LibreOffice and our reader. What cannot be carried keeps its
// value with a warning of the write.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/formulas/DefinedNames.h"
#include "SrcXLS/formulas/FormulaText.h"
#include "fuzz/sheet_edits.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"
#include "tests/xls/support_biffbuild.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <set>

using namespace xls;
namespace fs = std::filesystem;

namespace {

std::string Script() {
    return "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("formula_conversions.py"));
}

// What an oracle script read from one file: formula texts and values by
// "sheet!cell", names, external links.
struct TSeen {
    bool Ok = false;
    std::string Error;
    std::map<std::string, std::string> Formulas, Values;
    std::vector<std::string> Names, Links;
    std::map<std::string, std::string> Defined; // a package's names: their formulas
    // Hyperlink locations, chart series, conditional formats and
    // validations of sheet Main: "what=reference", without quotes (readers
    // quote names differently).
    std::set<std::string> Refs;
};

std::string Unquoted(std::string text) {
    std::erase(text, '\'');
    return text;
}

std::vector<TSeen> ReadWith(const std::vector<std::string>& files) {
    std::vector<TSeen> out;
    for (const oracle::TOracleFile& f : oracle::RunPerFile(Script() + " read", files)) {
        TSeen s;
        s.Ok = f.Ok;
        s.Error = f.Error + f.NoVerdict;
        for (const auto& l : f.Lines) {
            if (l.size() >= 4 && l[0] == "F") s.Formulas[l[1] + "!" + l[2]] = l[3];
            if (l.size() >= 4 && l[0] == "V") s.Values[l[1] + "!" + l[2]] = l[3];
            if (l.size() >= 4 && l[0] == "N")
                s.Names.push_back(l[1] + " hidden=" + l[2] + " function=" + l[3]);
            if (l.size() >= 3 && l[0] == "L") s.Links.push_back(l[1] + ":" + l[2]);
            if (l.size() >= 3 && l[0] == "D") s.Defined[l[1]] = l[2];
            if (l.size() >= 4 && l[0] == "R") s.Refs.insert(l[2] + "=" + Unquoted(l[3]));
        }
        out.push_back(std::move(s));
    }
    return out;
}

// Reads a workbook and writes it in version; the write's warnings.
std::vector<std::string> CopyAs(const std::string& from, const std::string& to, TExcelVersion version) {
    TTabrix4 book;
    book.SetFilename(Utf8ToWide(from));
    book.Read();
    book.SetVersion(version);
    book.SetFilename(Utf8ToWide(to));
    book.Write();
    return book.Warnings();
}

// Reads a workbook and writes it in the other format; the write's warnings
// about formulas (others name what else the format leaves behind).
std::vector<std::string> Copy(const std::string& from, const std::string& to) {
    const bool package = to.size() > 5 && to.substr(to.size() - 5) == ".xlsx";
    std::vector<std::string> formulas;
    for (const std::string& w :
         CopyAs(from, to, package ? TExcelVersion::xvExcel2007 : TExcelVersion::xvExcel97))
        if (w.find(": formula") != std::string::npos) formulas.push_back(w);
    return formulas;
}

// Our reader's view: the formula's text and the value our evaluator
// computes ("?" when it hands the function to the caller).
struct TOurs {
    std::string Text, Value;
};
TOurs Ours(const std::string& file, const std::string& sheetName, int col, int row) {
    TTabrix4 book;
    book.SetFilename(Utf8ToWide(file));
    book.Read();
    int sheet = 0;
    while (sheet < book.Sheets().Count() && WideToUtf8(book.GetSheet(sheet).Name()) != sheetName) ++sheet;
    if (sheet == book.Sheets().Count()) return {"no sheet " + sheetName, ""};
    TOurs o;
    try {
        o.Text = book.GetSheet(sheet).GetAsFormula(col, row);
    } catch (const XLSError& e) {
        o.Text = std::string("no formula: ") + e.what();
    }
    TFormulaValue v;
    try {
        book.CalculateCell(sheet, col, row, v);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", v.Float);
        o.Value = v.ValType == fvFloat     ? std::string("n:") + buf
                  : v.ValType == fvString  ? "s:" + WideToUtf8(v.Text)
                  : v.ValType == fvBoolean ? std::string("b:") + (v.Boolean ? "1" : "0")
                                           : "e:" + WideToUtf8(FormulaValueAsString(v));
    } catch (const XLSError&) {
        o.Value = "?";
    }
    return o;
}

// "n:42.0" (Python's float text) as "n:42", for comparing with ours.
std::string Plain(std::string v) {
    if (v.size() > 4 && v.rfind("n:", 0) == 0 && v.substr(v.size() - 2) == ".0") v.resize(v.size() - 2);
    return v;
}

struct Conversions : FreshLibState {
    // The workbooks the tests share, made inside the first test that needs
    // them: a writer that does not run fails the tests (a suite set-up's
    // failure would mark them skipped).
    static void Make() {
        if (dir) return;
        dir = std::make_unique<testfiles::ScratchDir>();
        const oracle::TRun run = oracle::Run(Script() + " make " + oracle::Quote(dir->Path()));
        made = run.Status == 0;
        why = run.Output;
        if (!made) return;
        testfiles::LibreOfficeConvert({dir->File("libre.fods")}, dir->Path(), "xlsx");
        // A file of the corpus beside them.
        const fs::path outline = oracle::RealWorldDir() / "XlsxWriter" / "outline01.xlsx";
        if (fs::exists(outline)) fs::copy_file(outline, dir->File("outline01.xlsx"));
        oracle::Run("ssconvert " + oracle::Quote(dir->File("openpyxl.xlsx")) + " " +
                    oracle::Quote(dir->File("gnumeric.xlsx")));
        // gnumeric's Excel 95 file has "?" for the characters its code page lacks.
        oracle::Run("ssconvert --export-type=Gnumeric_Excel:excel_biff7 " +
                    oracle::Quote(dir->File("names.xlsx")) + " " + oracle::Quote(dir->File("names5.xls")));
        oracle::Run("ssconvert --export-type=Gnumeric_Excel:excel_dsf " +
                    oracle::Quote(dir->File("names.xlsx")) + " " + oracle::Quote(dir->File("names8.xls")));
        // gnumeric's Excel 95 file and package of a sheet named "Tab[x]y",
        // a range of sheets and later functions.
        oracle::Run("ssconvert --export-type=Gnumeric_Excel:excel_biff7 " +
                    oracle::Quote(dir->File("later.xlsx")) + " " + oracle::Quote(dir->File("later5.xls")));
        oracle::Run("ssconvert --export-type=Gnumeric_Excel:xlsx " + oracle::Quote(dir->File("later.xlsx")) +
                    " " + oracle::Quote(dir->File("later-gn.xlsx")));
    }
    static void TearDownTestSuite() { dir.reset(); }
    static inline std::unique_ptr<testfiles::ScratchDir> dir;
    static inline bool made = false;
    static inline std::string why;
};

// One formula of a package copied to .xls: the source, its cell, the text
// our reader gives for the copy, the value gnumeric (and LibreOffice, where
// it computes exactly) computes from the copy, and whether our evaluator
// computes it itself ("?": it hands the function over).
struct TToBinary {
    const char* File;
    const char* Sheet;
    const char* Cell;
    int Col, Row;
    const char* Text;
    const char* Value;
    bool LibreOffice; // LibreOffice computes it the same (not its rounded comparisons)
    bool OursComputes;
    // gnumeric's value where it lacks the function or its form.
    const char* Gnumeric = nullptr;
};

const TToBinary ToBinary[] = {
    // 3-D references with their sheets.
    {"openpyxl", "One", "A1", 0, 0, "Two!A1*2", "n:42", true, true},
    {"openpyxl", "One", "A2", 0, 1, "SUM('Two:My Sheet'!A1)", "n:26", true, true},
    {"openpyxl", "One", "A11", 0, 10, "'My Sheet'!A1+Two!A1", "n:26", true, true},
    // Functions BIFF8 lacks through hidden names and the add-in book.
    {"openpyxl", "One", "A3", 0, 2, "IFERROR(1/0,7)", "n:7", true, false},
    {"openpyxl", "One", "A4", 0, 3, "_xlfn.CONCAT(\"a\",\"b\")", "s:ab", true, false},
    {"openpyxl", "One", "A5", 0, 4, "_xlfn.IFS(1>2,1,TRUE,9)", "n:9", true, false},
    {"openpyxl", "One", "A6", 0, 5, "SUMIFS(B1:B3,B1:B3,\">1\")", "n:5", true, false},
    {"openpyxl", "One", "A7", 0, 6, "EDATE(40000,1)", "n:40031", true, false},
    {"openpyxl", "One", "A10", 0, 9, "su(B4)", "e:#NAME?", true, false},
    // Constants that need all their digits.
    {"openpyxl", "One", "A8", 0, 7, "INT(2.9999999999999996)", "n:2", false, true},
    {"openpyxl", "One", "A9", 0, 8, "IF(1.0000000000000002*4503599627370496=4503599627370496,0,1)", "n:1",
     false, true},
    // Functions that count bytes: written as such, computed by the caller.
    {"openpyxl", "One", "A12", 0, 11, "LENB(\"abc\")", "n:3", true, false},
    {"openpyxl", "One", "A13", 0, 12, "FINDB(\"c\",\"abc\",1)", "n:3", true, false},
    {"openpyxl", "One", "A14", 0, 13, "SEARCHB(\"B\",\"abc\")", "n:2", true, false},
    {"openpyxl", "One", "A15", 0, 14, "REPLACEB(\"abcd\",2,2,\"X\")", "s:aXd", true, false},
    {"openpyxl", "One", "A16", 0, 15, "LEFTB(\"abc\",2)&RIGHTB(\"abc\")", "s:abc", true, false},
    {"openpyxl", "One", "A17", 0, 16, "MIDB(\"abcd\",2,2)", "s:bc", true, false},
    {"openpyxl", "One", "A18", 0, 17, "ASC(\"ab\")", "s:ab", true, false},
    {"xlsxwriter", "Data", "F2", 5, 1, "LENB(\"abc\")", "n:3", true, false},
    // Later functions named without their prefix get the forms others read.
    {"openpyxl", "One", "A19", 0, 18, "NETWORKDAYS.INTL(45000,45100)", "n:73", true, false, "e:#NAME?"},
    {"openpyxl", "One", "A20", 0, 19, "_xlfn.TEXTJOIN(\",\",TRUE,\"a\",\"b\")", "s:a,b", true, false},
    // Table references resolved to their cells.
    {"xlsxwriter", "Data", "F1", 5, 0, "SUM($B$2:$B$3)", "n:6", true, true},
    {"xlsxwriter", "Data", "D2", 3, 1, "$B2*$C2", "n:6", true, true},
    {"xlsxwriter", "Data", "D3", 3, 2, "$B3*$C3", "n:20", true, true},
    {"xlsxwriter", "Data", "F5", 5, 4, "$C$1", "s:Qty", true, true},
    {"xlsxwriter", "Data", "F6", 5, 5, "COUNTA($A$1:$D$3)", "n:12", true, false},
    {"xlsxwriter", "Data", "F3", 5, 2, "SumVBA(A2:A6)", "e:#NAME?", true, false},
    {"xlsxwriter", "Data", "I4", 8, 3, "SUBTOTAL(109,$I$2:$I$3)", "n:30.75", true, false, "e:#NUM!"},
    {"xlsxwriter", "Data", "G1", 6, 0, "VLOOKUP(\"b\",A2:C3,3,FALSE)", "n:5", true, false},
    // LibreOffice's own texts: a range of sheets with a quoted name.
    {"libre", "Data", "B1", 1, 0, "SUM('Data:My Sheet'!A1:A1)", "n:6", true, true},
    // gnumeric's package of the openpyxl workbook.
    {"gnumeric", "One", "A1", 0, 0, "Two!A1*2", "n:42", true, true},
    {"gnumeric", "One", "A3", 0, 2, "IFERROR(1/0,7)", "n:7", true, false},
    {"gnumeric", "One", "A4", 0, 3, "_xlfn.CONCAT(\"a\",\"b\")", "s:ab", true, false},
};

} // namespace

TEST_F(Conversions, PackagesOfOtherWritersWrittenAsBinaryWorkbooks) {
    Make();
    ASSERT_TRUE(made) << why;
    const std::vector<std::string> sources = {"openpyxl", "xlsxwriter", "libre", "gnumeric"};
    std::map<std::string, std::vector<std::string>> warnings;
    std::vector<std::string> copies;
    for (const std::string& s : sources) {
        ASSERT_TRUE(testfiles::Exists(dir->File(s + ".xlsx"))) << s;
        warnings[s] = Copy(dir->File(s + ".xlsx"), dir->File(s + ".xls"));
        copies.push_back(dir->File(s + ".xls"));
    }
    // What cannot be written keeps its value and is named.
    EXPECT_TRUE(warnings["openpyxl"].empty()) << warnings["openpyxl"].front();
    const std::vector<std::string> xw = {"Data!F4: formula =SUM(Goods[#Totals]) not written to .xls (table "
                                         "Goods has no totals row); its value is kept"};
    EXPECT_EQ(warnings["xlsxwriter"], xw);
    ASSERT_EQ(warnings["libre"].size(), 1u);
    EXPECT_EQ(warnings["libre"][0].rfind("Data!C1: formula =SUM(A1,A1,", 0), 0u) << warnings["libre"][0];
    EXPECT_NE(warnings["libre"][0].find("(Wrong number of arguments for function SUM)"), std::string::npos);

    // gnumeric and LibreOffice compute the copies again.
    std::vector<std::string> gnumeric, libre;
    for (const std::string& s : sources) {
        oracle::Run("ssconvert --recalc " + oracle::Quote(dir->File(s + ".xls")) + " " +
                    oracle::Quote(dir->File("gn-" + s + ".xlsx")));
        gnumeric.push_back(dir->File("gn-" + s + ".xlsx"));
    }
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeConvert(copies, lo.Path(), "xlsx");
    for (const std::string& s : sources) libre.push_back(lo.File(s + ".xlsx"));
    const std::vector<TSeen> byGnumeric = ReadWith(gnumeric), byLibre = ReadWith(libre),
                             byXlrd = ReadWith(copies);
    for (const TToBinary& c : ToBinary) {
        const size_t i = size_t(std::find(sources.begin(), sources.end(), c.File) - sources.begin());
        const std::string where = std::string(c.File) + " " + c.Sheet + "!" + c.Cell;
        const std::string key = std::string(c.Sheet) + "!" + c.Cell;
        const TOurs ours = Ours(copies[i], c.Sheet, c.Col, c.Row);
        EXPECT_EQ(ours.Text, c.Text) << where;
        if (c.OursComputes) {
            EXPECT_EQ(ours.Value, c.Value) << where;
        }
        ASSERT_TRUE(byGnumeric[i].Ok) << byGnumeric[i].Error;
        EXPECT_EQ(Plain(byGnumeric[i].Values.count(key) ? byGnumeric[i].Values.at(key) : ""),
                  c.Gnumeric ? c.Gnumeric : c.Value)
            << where;
        ASSERT_TRUE(byLibre[i].Ok) << byLibre[i].Error;
        if (c.LibreOffice) {
            EXPECT_EQ(Plain(byLibre[i].Values.count(key) ? byLibre[i].Values.at(key) : ""), c.Value) << where;
        }
        ASSERT_TRUE(byXlrd[i].Ok) << byXlrd[i].Error;
        EXPECT_TRUE(byXlrd[i].Values.count(key)) << where;
    }
    // The copies keep the cached values the packages had, the formulas the
    // .xls cannot hold among them.
    EXPECT_EQ(byXlrd[1].Values.at("Data!F2"), "n:3.0");
    EXPECT_EQ(byXlrd[1].Values.at("Data!F3"), "n:1500.0");
    // XlsxWriter's package asks for a calculation on load, its cached 0s no
    // results: the copy holds what the library computes, and every formula
    // of it is calculated again when it opens (VLOOKUP's cached 0 among them).
    EXPECT_EQ(byXlrd[1].Values.at("Data!D2"), "n:6.0");
    EXPECT_EQ(byXlrd[1].Values.at("Data!F1"), "n:6.0");
    size_t formulas = 0;
    for (const biffbuild::Record& r :
         biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(copies[1]))))
        if (r.Id == 0x0006 && ++formulas) {
            EXPECT_EQ(r.Body[14] & 1, 1) << formulas;
        }
    EXPECT_GE(formulas, 8u);
    // The hidden names of the functions, after the workbook's own names.
    const std::vector<std::string> names = {"_xlfn.IFERROR hidden=1 function=1",
                                            "_xlfn.CONCAT hidden=1 function=1",
                                            "_xlfn.IFS hidden=1 function=1",
                                            "_xlfn.SUMIFS hidden=1 function=1",
                                            "su hidden=1 function=1",
                                            "_xlfn.NETWORKDAYS.INTL hidden=1 function=1",
                                            "_xlfn.TEXTJOIN hidden=1 function=1"};
    EXPECT_EQ(byXlrd[0].Names, names);
}

// Names and formulas of a package past the limits of an .xls keep what the
// .xls holds of them: their areas cut there (whole columns and rows stay
// whole), a name's reference wholly beyond made #REF!, a formula that does
// not compile made #NAME?; a cell's formula naming cells wholly beyond keeps
// its value. The values written are computed before the cut. The write
// names each. xlrd reads the names and values, gnumeric and LibreOffice
// compute the sums over them.
TEST_F(Conversions, NamesPastTheLimitsOfABinaryWorkbook) {
    Make();
    ASSERT_TRUE(made) << why;
    const std::string copy = dir->File("limits.xls");
    const std::vector<std::string> warnings =
        CopyAs(dir->File("limits.xlsx"), copy, TExcelVersion::xvExcel97);
    ASSERT_EQ(warnings.size(), 6u) << testing::PrintToString(warnings);
    EXPECT_EQ(warnings[4], "Main!A4: formula =SUM(S1!A1:A70000) cut at column IV or row 65536 in .xls; its "
                           "value is the uncut formula's");
    EXPECT_EQ(warnings[5],
              "Main!A5: formula =S1!A70000+1 not written to .xls (it names cells beyond column IV "
              "or row 65536); its value is kept");
    EXPECT_EQ(warnings[0], "Name Far: formula S1!$A$1:$A$70000 cut at column IV or row 65536 in .xls");
    EXPECT_EQ(warnings[1],
              "Name Beyond: formula S1!$A$70001:$B$70002 beyond column IV or row 65536: #REF! in .xls");
    EXPECT_EQ(warnings[2].rfind("Name Bad: formula 1+ not written to .xls (", 0), 0u) << warnings[2];
    EXPECT_EQ(
        warnings[3].rfind("Name Deep: formula " + std::string(200, '(') + "... not written to .xls (", 0), 0u)
        << warnings[3];
    for (const std::string& w : {warnings[2], warnings[3]})
        EXPECT_TRUE(w.ends_with("); the name gives #NAME?")) << w;

    const auto names =
        oracle::RunPerFile("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlrd_names.py")), {copy});
    ASSERT_TRUE(names[0].Ok) << names[0].Error << names[0].NoVerdict;
    std::map<std::string, std::string> got;
    for (const auto& l : names[0].Lines)
        if (l.size() >= 5) got[l[1]] = l[4];
    const std::map<std::string, std::string> want = {{"Far", "S1!$A$1:$A$65536"}, {"Wide", "S1!$A$1:$IV$1"},
                                                     {"Rows", "S1!$A$1:$IV$3"},   {"Beyond", "?"},
                                                     {"Bad", "\"#NAME?\""},       {"Deep", "\"#NAME?\""}};
    EXPECT_EQ(got, want);
    const TSeen cached = ReadWith({copy})[0];
    ASSERT_TRUE(cached.Ok) << cached.Error;
    for (const auto& [cell, value] : std::map<std::string, std::string>{
             {"Main!A1", "n:6"}, {"Main!A3", "n:116"}, {"Main!A4", "n:6"}, {"Main!A5", "n:1"}})
        EXPECT_EQ(cached.Values.count(cell) ? Plain(cached.Values.at(cell)) : "", value) << cell;

    oracle::Run("ssconvert --recalc " + oracle::Quote(copy) + " " +
                oracle::Quote(dir->File("gn-limits.xlsx")));
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeRecalculate({copy}, lo.Path(), "xlsx");
    const std::vector<TSeen> seen = ReadWith({dir->File("gn-limits.xlsx"), lo.File("limits.xlsx")});
    for (const TSeen& s : seen) {
        ASSERT_TRUE(s.Ok) << s.Error;
        // xlrd does not decompile a 3-D #REF! area; these readers do.
        EXPECT_EQ(s.Defined.count("Beyond") ? s.Defined.at("Beyond") : "", "#REF!");
        std::map<std::string, std::string> sums;
        for (const char* cell : {"Main!A1", "Main!A2", "Main!A3", "Main!A4", "Main!A5"})
            sums[cell] = s.Values.count(cell) ? Plain(s.Values.at(cell)) : "";
        EXPECT_EQ(sums, (std::map<std::string, std::string>{{"Main!A1", "n:6"},
                                                            {"Main!A2", "n:111"},
                                                            {"Main!A3", "n:116"},
                                                            {"Main!A4", "n:6"},
                                                            {"Main!A5", "n:1"}}));
    }
}

// A package's shared formula naming a whole column, one member moved away,
// written as .xls: every member keeps its formula (the whole column a whole
// column of the .xls), and xlrd, gnumeric and LibreOffice (computing them
// again) read the values.
TEST_F(Conversions, MovedMembersOfASharedFormulaWrittenAsBinaryWorkbooks) {
    Make();
    ASSERT_TRUE(made) << why;
    const std::string copy = dir->File("shared.xls");
    TTabrix4 book;
    book.SetFilename(Utf8ToWide(dir->File("shared.xlsx")));
    book.Read();
    book.MoveCells(0, 1, 4, 1, 4, 0, 3, 9, ICellOperations::coCells);
    book.SetVersion(TExcelVersion::xvExcel97);
    book.SetFilename(Utf8ToWide(copy));
    book.Write();
    EXPECT_TRUE(book.Warnings().empty()) << testing::PrintToString(book.Warnings());
    const std::map<std::string, std::string> formulas = {
        {"S!B2", "SUM(A:A)+A2"}, {"S!B3", "SUM(A:A)+A3"}, {"S!B4", "SUM(A:A)+A4"}, {"S!D10", "SUM(A:A)+A5"}};
    const std::map<std::string, std::string> values = {
        {"S!B2", "n:17"}, {"S!B3", "n:18"}, {"S!B4", "n:19"}, {"S!D10", "n:20"}};
    for (const auto& [cell, text] : formulas) {
        int col = 0, row = 0;
        ASSERT_TRUE(RefStrToColRowPlain(Utf8ToWide(cell.substr(2)), col, row));
        const TOurs ours = Ours(copy, "S", col, row);
        EXPECT_EQ(ours.Text, text) << cell;
        EXPECT_EQ(ours.Value, values.at(cell)) << cell;
    }
    oracle::Run("ssconvert --recalc " + oracle::Quote(copy) + " " +
                oracle::Quote(dir->File("gn-shared.xlsx")));
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeRecalculate({copy}, lo.Path(), "xlsx");
    const std::vector<TSeen> seen = ReadWith({copy, dir->File("gn-shared.xlsx"), lo.File("shared.xlsx")});
    for (size_t i = 0; i < seen.size(); ++i) {
        ASSERT_TRUE(seen[i].Ok) << i << ": " << seen[i].Error;
        for (const auto& [cell, value] : values)
            EXPECT_EQ(seen[i].Values.count(cell) ? Plain(seen[i].Values.at(cell)) : "", value)
                << i << " " << cell;
        // The spreadsheet programs' own packages carry the formulas.
        if (i > 0) {
            for (const auto& [cell, text] : formulas)
                EXPECT_EQ(seen[i].Formulas.count(cell) ? seen[i].Formulas.at(cell) : "", text)
                    << i << " " << cell;
        }
    }
}

// A binary workbook LibreOffice wrote from the openpyxl package (its hidden
// function names and add-in functions), gnumeric's (add-in names for the
// functions Excel lacks) and our own copy written as packages, and the
// package itself written again: openpyxl reads the spreadsheet programs'
// texts, later functions with their prefix, and gnumeric computes the same
// values.
TEST_F(Conversions, BinaryWorkbooksWrittenAsPackages) {
    Make();
    ASSERT_TRUE(made) << why;
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeConvert({dir->File("openpyxl.xlsx")}, lo.Path(), "xls");
    ASSERT_TRUE(testfiles::Exists(lo.File("openpyxl.xls")));
    Copy(dir->File("openpyxl.xlsx"), dir->File("ours.xls"));
    // gnumeric calls the functions Excel lacks through add-in names.
    oracle::Run("ssconvert " + oracle::Quote(dir->File("openpyxl.xlsx")) + " " +
                oracle::Quote(dir->File("gnumeric.xls")));
    // And the package itself written again: its texts as others read them.
    const std::vector<std::string> packages = {dir->File("from-libre.xlsx"), dir->File("from-ours.xlsx"),
                                               dir->File("from-gnumeric.xlsx"), dir->File("again.xlsx")};
    EXPECT_TRUE(Copy(lo.File("openpyxl.xls"), packages[0]).empty());
    EXPECT_TRUE(Copy(dir->File("ours.xls"), packages[1]).empty());
    EXPECT_TRUE(Copy(dir->File("gnumeric.xls"), packages[2]).empty());
    EXPECT_TRUE(Copy(dir->File("openpyxl.xlsx"), packages[3]).empty());
    std::vector<std::string> gnumeric;
    for (size_t i = 0; i < packages.size(); ++i) {
        gnumeric.push_back(dir->File("gn" + std::to_string(i) + ".xlsx"));
        oracle::Run("ssconvert --recalc " + oracle::Quote(packages[i]) + " " +
                    oracle::Quote(gnumeric.back()));
    }
    const std::vector<TSeen> texts = ReadWith(packages), values = ReadWith(gnumeric);
    enum { Libre = 1, Ours = 2, Gnumeric = 4, Again = 8, All = 15 };
    struct TCase {
        const char* Cell;
        const char* Text;
        const char* Value;
        int Copies = All; // LibreOffice wrote the constants of A8 and A9 rounded
    };
    const TCase cases[] = {
        {"A1", "Two!A1*2", "n:42"},
        {"A3", "IFERROR(1/0,7)", "n:7"},
        {"A4", "_xlfn.CONCAT(\"a\",\"b\")", "s:ab"},
        {"A5", "_xlfn.IFS(1>2,1,TRUE,9)", "n:9"},
        {"A6", "SUMIFS(B1:B3,B1:B3,\">1\")", "n:5", Libre | Ours | Again},
        {"A7", "EDATE(40000,1)", "n:40031"},
        {"A8", "INT(2.9999999999999996)", "n:2", Ours | Gnumeric | Again},
        {"A9", "IF(1.0000000000000002*4503599627370496=4503599627370496,0,1)", "n:1",
         Ours | Gnumeric | Again},
        {"A12", "LENB(\"abc\")", "n:3"},
        {"A15", "REPLACEB(\"abcd\",2,2,\"X\")", "s:aXd"},
        {"A17", "MIDB(\"abcd\",2,2)", "s:bc"},
        {"A19", "NETWORKDAYS.INTL(45000,45100)", "e:#NAME?"}, // gnumeric lacks it
        {"A20", "_xlfn.TEXTJOIN(\",\",TRUE,\"a\",\"b\")", "s:a,b", Ours | Gnumeric | Again},
    };
    for (size_t i = 0; i < packages.size(); ++i) {
        ASSERT_TRUE(texts[i].Ok) << texts[i].Error;
        ASSERT_TRUE(values[i].Ok) << values[i].Error;
        for (const TCase& c : cases) {
            if (!(c.Copies & (1 << i))) continue;
            const std::string key = std::string("One!") + c.Cell;
            EXPECT_EQ(texts[i].Formulas.count(key) ? texts[i].Formulas.at(key) : "", c.Text)
                << packages[i] << key;
            EXPECT_EQ(Plain(values[i].Values.count(key) ? values[i].Values.at(key) : ""), c.Value)
                << packages[i] << key;
        }
    }
}

// Sheet names a package cannot hold ("?" that an Excel 95 code page left or
// a package holds against the rule, a name of 40 characters) are written as
// a package can hold them, and the formulas, names, hyperlinks, chart
// series, conditional formats and validations that name those sheets
// follow: openpyxl reads the copies, gnumeric computes them again and
// LibreOffice keeps the sheets and finds the places they name.
TEST_F(Conversions, SheetNamesAPackageCannotHoldAreWrittenItsWay) {
    Make();
    ASSERT_TRUE(made) << why;
    const std::string cut = "A sheet name of forty character";
    const std::string cutWarning =
        "Sheet 'A sheet name of forty characters, 1234': written to the .xlsx file as '" + cut +
        "' (a package's sheet names hold at most 31 characters)";
    enum { Links = 1, Chart = 2 }; // what the source has of what names the sheets
    struct TCase {
        const char* Source;
        std::vector<std::string> Warnings;
        std::string Prices; // the name of the sheet "Ціни" in the copy
        bool Names;         // the source's names are read
        int Refs;
        std::vector<std::string> OldNames; // references no part of the copy holds
        const char16_t* Renamed = nullptr; // "Ціни" renamed so through the library first
    };
    const TCase cases[] = {
        {"names.xlsx", {cutWarning}, "Ціни", true, Links | Chart, {"characters, 1234'!"}},
        {"names5.xls",
         {"Sheet '\?\?\?\?': written to the .xlsx file as '____' (a package's sheet names cannot hold [ ] : "
          "* ? "
          "/ \\)",
          cutWarning},
         "____",
         true,
         0,
         {"characters, 1234'!", "\?\?\?\?'!"}},
        {"names8.xls", {cutWarning}, "Ціни", true, Links, {"characters, 1234'!"}},
        {"kept.xlsx",
         {"Sheet 'Ці?ни': written to the .xlsx file as 'Ці_ни' (a package's sheet names cannot hold [ ] : * "
          "? / "
          "\\)",
          cutWarning,
          "Sheet 'Chart?1': written to the .xlsx file as 'Chart_1' (a package's sheet names cannot hold [ ] "
          ": * ? "
          "/ \\)"},
         "Ці_ни",
         true,
         Links | Chart,
         {"characters, 1234'!", "Ці?ни'!", "&#1110;?&#1085;&#1080;'!"}},
        // Renamed in the model: its kept chart, hyperlinks, conditional
        // format and validation follow as the cells and names do.
        {"names.xlsx",
         {cutWarning},
         "Prices",
         true,
         Links | Chart,
         {"characters, 1234'!", "Ціни"},
         u"Prices"},
    };
    std::vector<std::string> copies, gnumeric;
    for (const TCase& c : cases) {
        ASSERT_TRUE(testfiles::Exists(dir->File(c.Source))) << c.Source;
        copies.push_back(
            dir->File(std::string(c.Renamed ? "model-renamed-" : "renamed-") + c.Source + ".xlsx"));
        TTabrix4 book;
        book.SetFilename(Utf8ToWide(dir->File(c.Source)));
        book.Read();
        if (c.Renamed) book.Sheets().FindByName(u"Ціни")->SetName(c.Renamed);
        book.SetVersion(TExcelVersion::xvExcel2007);
        book.SetFilename(Utf8ToWide(copies.back()));
        book.Write();
        std::vector<std::string> renames;
        // A reference that could not follow its sheet would be named too.
        for (const std::string& w : book.Warnings())
            if (w.find("written to the .xlsx file as") != w.npos || w.find("renamed sheet") != w.npos)
                renames.push_back(w);
        EXPECT_EQ(renames, c.Warnings) << c.Source;
        TXLSZipArchive copy;
        const std::string text = testfiles::Slurp(copies.back());
        const std::vector<uint8_t> bytes(text.begin(), text.end());
        copy.OpenBuffer(bytes);
        for (int p = 0; p < copy.Count(); ++p) {
            const std::string part = copy.ExtractIndex(p);
            for (const std::string& old : c.OldNames)
                EXPECT_EQ(part.find(old), std::string::npos)
                    << c.Source << " " << copy.EntryName(p) << " " << old;
        }
        gnumeric.push_back(
            dir->File(std::string(c.Renamed ? "gn-model-renamed-" : "gn-renamed-") + c.Source + ".xlsx"));
        oracle::Run("ssconvert --recalc " + oracle::Quote(copies.back()) + " " +
                    oracle::Quote(gnumeric.back()));
    }
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeConvert(copies, lo.Path(), "xlsx");
    std::vector<std::string> libre;
    for (const std::string& c : copies) libre.push_back(lo.File(fs::path(c).filename().string()));
    const std::vector<TSeen> seen = ReadWith(copies), computed = ReadWith(gnumeric),
                             byLibre = ReadWith(libre);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TCase& c = cases[i];
        const std::string prices = WideToUtf8(QuoteSheetName(Utf8ToWide(c.Prices))), where = c.Source;
        ASSERT_TRUE(seen[i].Ok) << where << seen[i].Error;
        ASSERT_TRUE(computed[i].Ok) << where << computed[i].Error;
        ASSERT_TRUE(byLibre[i].Ok) << where << byLibre[i].Error;
        // Formulas name the sheets as the copy does.
        const std::string a2 = seen[i].Formulas.count("Main!A2") ? seen[i].Formulas.at("Main!A2") : "";
        EXPECT_NE(a2.find("'" + cut + "'!A1"), std::string::npos) << where << " " << a2;
        EXPECT_NE(a2.find(prices + "!A1:A2"), std::string::npos) << where << " " << a2;
        EXPECT_EQ(computed[i].Values.count("Main!A1") ? computed[i].Values.at("Main!A1") : "", "n:20.0")
            << where;
        EXPECT_EQ(computed[i].Values.count("Main!A2") ? computed[i].Values.at("Main!A2") : "", "n:49.0")
            << where;
        // Each sheet keeps its cells.
        for (const TSeen* s : {&seen[i], &byLibre[i]}) {
            EXPECT_EQ(s->Values.count(c.Prices + "!A2") ? s->Values.at(c.Prices + "!A2") : "", "n:32.0")
                << where;
            EXPECT_EQ(s->Values.count(cut + "!A1") ? s->Values.at(cut + "!A1") : "", "n:7.0") << where;
        }
        // What names the sheets finds them in the copy, and LibreOffice finds them too.
        std::set<std::string> refs;
        if (c.Refs & Links)
            refs = {"hyperlink B1=" + cut + "!A1", "hyperlink B2=" + c.Prices + "!A2",
                    "format A1:A3=" + c.Prices + "!$A$1>5", "validation C1=" + cut + "!$A$1:$A$2"};
        if (c.Refs & Chart) refs.insert("chart=" + c.Prices + "!$A$1:$A$2");
        EXPECT_EQ(seen[i].Refs, refs) << where;
        EXPECT_EQ(byLibre[i].Refs, refs) << where;
        if (!c.Names) continue;
        EXPECT_EQ(seen[i].Defined.count("Seven") ? seen[i].Defined.at("Seven") : "", "'" + cut + "'!$A$1")
            << where;
        EXPECT_EQ(computed[i].Values.count("Main!A3") ? computed[i].Values.at("Main!A3") : "", "n:42.0")
            << where;
    }
}

// The other workbooks of binary workbooks (SUPBOOK, cached CRN values) as
// package link parts: openpyxl, LibreOffice and our reader see the books and
// the cached values; written back to .xls the links stay.
TEST_F(Conversions, OtherWorkbooksBecomeLinkParts) {
    const fs::path real = oracle::RealWorldDir();
    if (real.empty()) GTEST_SKIP() << "no real-world files";
    struct TCase {
        const char* File;
        const char* Sheet;
        int Col, Row;
        const char* Text;
        const char* Value;
        const char* Link;
        bool LibreLink; // LibreOffice writes a link part of its own (not for names alone)
    };
    const TCase cases[] = {
        {"apache-poi/multibookFormulaA.xls", "ASheet1", 0, 0, "[1]BSheet1!B1", "n:35",
         "1:BSheet1|AnotherSheet", true},
        {"apache-poi/XRefCalc.xls", "Sheet1", 4, 1, "Cost*[1]!Markup_Cost", "",
         "1:MarkupSheet|CostSheet|MarkupTestSheet", false},
    };
    testfiles::ScratchDir work;
    std::vector<std::string> packages;
    for (const TCase& c : cases) {
        packages.push_back(work.File(fs::path(c.File).stem().string() + ".xlsx"));
        EXPECT_TRUE(Copy((real / c.File).string(), packages.back()).empty()) << c.File;
    }
    const std::vector<TSeen> seen = ReadWith(packages);
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeConvert(packages, lo.Path(), "xlsx");
    std::vector<std::string> fromLibre;
    for (const std::string& p : packages) fromLibre.push_back(lo.File(fs::path(p).filename().string()));
    const std::vector<TSeen> libre = ReadWith(fromLibre);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TCase& c = cases[i];
        ASSERT_TRUE(seen[i].Ok) << seen[i].Error;
        const std::string key = std::string(c.Sheet) + "!" + char('A' + c.Col) + std::to_string(c.Row + 1);
        EXPECT_EQ(seen[i].Formulas.count(key) ? seen[i].Formulas.at(key) : "", c.Text) << c.File;
        EXPECT_EQ(seen[i].Links, std::vector<std::string>{c.Link}) << c.File;
        // LibreOffice reads the link part: it writes the book and the formula back.
        ASSERT_TRUE(libre[i].Ok) << libre[i].Error;
        EXPECT_EQ(libre[i].Formulas.count(key) ? libre[i].Formulas.at(key) : "", c.Text) << c.File;
        if (c.LibreLink) {
            EXPECT_EQ(libre[i].Links, std::vector<std::string>{c.Link}) << c.File;
        }
        const TOurs ours = Ours(packages[i], c.Sheet, c.Col, c.Row);
        EXPECT_EQ(ours.Text, c.Text) << c.File;
        if (*c.Value) {
            EXPECT_EQ(ours.Value, c.Value) << c.File;
            EXPECT_EQ(Plain(seen[i].Values.count(key) ? seen[i].Values.at(key) : ""), c.Value) << c.File;
        }
    }
    // Written to .xls again, the link table and the values come back.
    const std::string again = work.File("again.xls");
    EXPECT_TRUE(Copy(packages[0], again).empty());
    const TOurs back = Ours(again, "ASheet1", 0, 1);
    EXPECT_EQ(back.Text, "[multibookFormulaB.xls]BSheet1!$B$2+2*A3");
    EXPECT_EQ(back.Value, "n:264");
}

namespace {

// A copy is written in each version: a package, Excel 97, Excel 5, Excel 4.
constexpr TExcelVersion EveryVersion[] = {TExcelVersion::xvExcel2007, TExcelVersion::xvExcel97,
                                          TExcelVersion::xvExcel50, TExcelVersion::xvExcel40};
const char* const EveryVersionFile[] = {".xlsx", ".v8.xls", ".v5.xls", ".v4.xls"};

// What a copy holds of a formula cell: its formula (the text our reader
// gives for it), or
const char* const Kept = "=kept";     // its value, with a warning that names the cell
const char* const Lost = "=lost";     // a blank, with a warning that says its value is lost
const char* const Absent = "=absent"; // nothing: a sheet after the first of an Excel 4 copy

struct TEveryVersion {
    const char* Source;
    const char* Sheet;
    const char* Cell;
    // The formula's value, "n:101".
    const char* Value;
    // In the package, Excel 97, Excel 5 and Excel 4 copies.
    std::array<const char*, 4> Copies;
    // The copies (1 << version index) that hold what the source holds,
    // its tokens as read or its cached value: each reader computes such a
    // formula as it computes the source's (gnumeric reads a range of sheets
    // of its own Excel 95 files otherwise, LibreOffice none of the functions
    // they call through external names), and reads the value the source
    // cached.
    int LikeSource = 0;
    // The copies that gnumeric alone computes as it computes the source (a
    // function it lacks).
    int GnumericLikeSource = 0;
};

enum { InPackage = 1, In97 = 2, In5 = 4, In4 = 8 };

const TEveryVersion EveryVersionCases[] = {
    // Formulas whose writers cache no value (openpyxl none, xlwt an empty
    // text): the value a copy keeps is the one computed.
    {"values.xlsx", "Main", "C5", "n:101", {"SUM(Main:Other!A1)", "SUM(Main:Other!A1)", Kept, Kept}},
    {"values.xlsx", "Main", "C6", "n:523", {"Other!A1*5+23", "Other!A1*5+23", "Other!A1*5+23", Kept}},
    {"values.xlsx",
     "Main",
     "C9",
     "s:y",
     {"MID(\"xyz\",2,1)", "MID(\"xyz\",2,1)", "MID(\"xyz\",2,1)", "MID(\"xyz\",2,1)"}},
    // The library does not compute SUMIF: the Excel 4 copy says the value is lost.
    {"values.xlsx",
     "Main",
     "C10",
     "n:200",
     {"SUMIF(A1:A1,\">0\",Other!A1:A1)+Other!A1", "SUMIF(A1:A1,\">0\",Other!A1:A1)+Other!A1",
      "SUMIF(A1:A1,\">0\",Other!A1:A1)+Other!A1", Lost}},
    {"values.xls", "One", "A2", "n:3", {"SUM(One:Two!A1)", "SUM(One:Two!A1)", Kept, Kept}},
    {"values.xls", "One", "A3", "n:6", {"Two!A1*3", "Two!A1*3", "Two!A1*3", Kept}},
    // xlwt's empty text is no value: where the library does not compute the
    // formula, the value is lost.
    {"values.xls",
     "One",
     "A4",
     "n:1",
     {"SUMIF(A1:A1,\">0\")", "SUMIF(A1:A1,\">0\")", "SUMIF(A1:A1,\">0\")", Lost}},
    {"values.xls",
     "One",
     "A5",
     "n:1",
     {"VLOOKUP(1,A1:A1,1,FALSE)", "VLOOKUP(1,A1:A1,1,FALSE)", "VLOOKUP(1,A1:A1,1,FALSE)", Lost}},
    {"values.xls", "One", "A6", "n:3", {"WEEKDAY(45000,2)", "WEEKDAY(45000,2)", "WEEKDAY(45000,2)", Lost}},
    {"values.xls", "One", "A7", "s:x-y", {"HYPERLINK(\"x-y\")", "HYPERLINK(\"x-y\")", Lost, Lost}},
    {"values.xls",
     "One",
     "A8",
     "s:ab",
     {"CONCATENATE(\"a\",\"b\")", "CONCATENATE(\"a\",\"b\")", "CONCATENATE(\"a\",\"b\")", Kept}},
    // gnumeric's Excel 95 file: a range of sheets as every reader reads it.
    {"later5.xls",
     "Main",
     "C1",
     "n:28",
     {"SUM(Main:Lookup!A1)", "SUM(Main:Lookup!A1)", "SUM(Main:Lookup!A1)", Kept},
     In5},
    {"later-gn.xlsx", "Main", "C1", "n:28", {"SUM(Main:Lookup!A1)", "SUM(Main:Lookup!A1)", Kept, Kept}},
    // A sheet whose name holds brackets is a sheet of the workbook, named
    // as the copy names it; so is a defined name's.
    {"later5.xls", "Main", "C2", "n:7", {"SUM(Tab_x_y!A1)", "SUM('Tab[x]y'!A1)", "SUM('Tab[x]y'!A1)", Kept}},
    {"later5.xls", "Main", "C3", "n:14", {"SUM(TabRef)*2", "SUM(TabRef)*2", "SUM(TabRef)*2", Kept}},
    {"later-gn.xlsx",
     "Main",
     "C2",
     "n:7",
     {"SUM(Tab_x_y!A1)", "SUM('Tab[x]y'!A1)", "SUM('Tab[x]y'!A1)", Kept}},
    {"later-gn.xlsx", "Main", "C3", "n:14", {"SUM(TabRef)*2", "SUM(TabRef)*2", "SUM(TabRef)*2", Kept}},
    // Later functions an Excel 95 file calls through add-in names are
    // written as those of an Excel 97 file; its Excel 5 copy calls them as
    // it does. gnumeric lacks NETWORKDAYS.INTL and cached #NAME? for it.
    {"later5.xls",
     "Main",
     "C4",
     "s:big",
     {"_xlfn.IFS(A3>50,\"big\",TRUE,\"small\")", "_xlfn.IFS(A3>50,\"big\",TRUE,\"small\")",
      "_xlfn.IFS(A3>50,\"big\",TRUE,\"small\")", Kept},
     In5},
    {"later5.xls",
     "Main",
     "C5",
     "s:ab",
     {"_xlfn.CONCAT(\"a\",\"b\")", "_xlfn.CONCAT(\"a\",\"b\")", "_xlfn.CONCAT(\"a\",\"b\")", Kept},
     In5},
    {"later5.xls",
     "Main",
     "C6",
     "s:a,b",
     {"_xlfn.TEXTJOIN(\",\",TRUE,\"a\",\"b\")", "_xlfn.TEXTJOIN(\",\",TRUE,\"a\",\"b\")",
      "_xlfn.TEXTJOIN(\",\",TRUE,\"a\",\"b\")", Kept},
     In5},
    {"later5.xls",
     "Main",
     "C7",
     "n:73",
     {"NETWORKDAYS.INTL(45000,45100)", "NETWORKDAYS.INTL(45000,45100)", "NETWORKDAYS.INTL(45000,45100)",
      Kept},
     In5 | In4,
     InPackage | In97},
    {"later-gn.xlsx",
     "Main",
     "C4",
     "s:big",
     {"_xlfn.IFS(A3>50,\"big\",TRUE,\"small\")", "_xlfn.IFS(A3>50,\"big\",TRUE,\"small\")", Kept, Kept}},
    {"later-gn.xlsx",
     "Main",
     "C7",
     "n:73",
     {"NETWORKDAYS.INTL(45000,45100)", "NETWORKDAYS.INTL(45000,45100)", Kept, Kept},
     In5 | In4,
     InPackage | In97},
    // Each version gets the functions it has, with the arguments it has.
    {"functions.xlsx",
     "Main",
     "B1",
     "s:go",
     {"HYPERLINK(\"http://example.org/\",\"go\")", "HYPERLINK(\"http://example.org/\",\"go\")", Kept, Kept}},
    {"functions.xlsx", "Main", "B2", "n:3", {"AVERAGEA(A1:A3)", "AVERAGEA(A1:A3)", Kept, Kept}},
    {"functions.xlsx", "Main", "B3", "n:6", {"MAXA(A1:A3)", "MAXA(A1:A3)", Kept, Kept}},
    {"functions.xlsx", "Main", "B4", "n:1", {"MINA(A1:A3)", "MINA(A1:A3)", Kept, Kept}},
    {"functions.xlsx", "Main", "B5", "n:2", {"STDEVA(1,3,5)", "STDEVA(1,3,5)", Kept, Kept}},
    {"functions.xlsx",
     "Main",
     "B6",
     "s:ab",
     {"CONCATENATE(\"a\",\"b\")", "CONCATENATE(\"a\",\"b\")", "CONCATENATE(\"a\",\"b\")", Kept}},
    {"functions.xlsx",
     "Main",
     "B7",
     "n:9",
     {"SUBTOTAL(9,A1:A3)", "SUBTOTAL(9,A1:A3)", "SUBTOTAL(9,A1:A3)", Kept}},
    {"functions.xlsx",
     "Main",
     "B8",
     "n:8",
     {"SUMIF(A1:A3,\">1\")", "SUMIF(A1:A3,\">1\")", "SUMIF(A1:A3,\">1\")", Kept}},
    {"functions.xlsx",
     "Main",
     "B9",
     "n:2",
     {"COUNTIF(A1:A3,\">1\")", "COUNTIF(A1:A3,\">1\")", "COUNTIF(A1:A3,\">1\")", Kept}},
    {"functions.xlsx",
     "Main",
     "B10",
     "n:100",
     {"DATEDIF(45000,45100,\"d\")", "DATEDIF(45000,45100,\"d\")", "DATEDIF(45000,45100,\"d\")", Kept}},
    {"functions.xlsx",
     "Main",
     "B11",
     "n:2",
     {"VLOOKUP(2,A1:A3,1,FALSE)", "VLOOKUP(2,A1:A3,1,FALSE)", "VLOOKUP(2,A1:A3,1,FALSE)", Kept}},
    {"functions.xlsx",
     "Main",
     "B12",
     "n:2",
     {"VLOOKUP(2,A1:A3,1)", "VLOOKUP(2,A1:A3,1)", "VLOOKUP(2,A1:A3,1)", "VLOOKUP(2,A1:A3,1)"}},
    {"functions.xlsx",
     "Main",
     "B13",
     "n:3",
     {"WEEKDAY(45000,2)", "WEEKDAY(45000,2)", "WEEKDAY(45000,2)", Kept}},
    {"functions.xlsx",
     "Main",
     "B14",
     "n:4",
     {"WEEKDAY(45000)", "WEEKDAY(45000)", "WEEKDAY(45000)", "WEEKDAY(45000)"}},
    {"functions.xlsx",
     "Main",
     "B15",
     "n:98",
     {"DAYS360(45000,45100,TRUE)", "DAYS360(45000,45100,TRUE)", "DAYS360(45000,45100,TRUE)", Kept}},
    {"functions.xlsx", "Main", "B16", "s:IV", {"ROMAN(4)", "ROMAN(4)", "ROMAN(4)", Kept}},
    // A function numbered past 255 is read back as itself from an Excel 4 file.
    {"functions.xlsx",
     "Main",
     "B17",
     "n:2",
     {"AVEDEV(A1:A3)", "AVEDEV(A1:A3)", "AVEDEV(A1:A3)", "AVEDEV(A1:A3)"}},
    {"functions.xlsx",
     "Main",
     "B18",
     "n:8",
     {"STDEVA(1,3,5)+MAX(A1:A3)", "STDEVA(1,3,5)+MAX(A1:A3)", Kept, Kept}},
    {"outline01.xlsx",
     "Outlined Rows",
     "B6",
     "n:4300",
     {"SUBTOTAL(9,B2:B5)", "SUBTOTAL(9,B2:B5)", "SUBTOTAL(9,B2:B5)", Kept}},
};

// A value as the oracle script writes it, from our reader's cell.
std::string OurValue(TSheet& sheet, int col, int row) {
    TFormulaValue v;
    sheet.GetCellValue(col, row, v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v.Float);
    return sheet.GetCellType(col, row) == ctBlank || !sheet.Cells().FindCell(col, row) ? ""
           : v.ValType == fvFloat   ? std::string("n:") + buf
           : v.ValType == fvString  ? "s:" + WideToUtf8(v.Text)
           : v.ValType == fvBoolean ? std::string("b:") + (v.Boolean ? "1" : "0")
           : v.ValType == fvError   ? "e:" + WideToUtf8(ErrorFileText(v.Error))
                                    : "e:" + WideToUtf8(FormulaValueAsString(v));
}

// The value a reader gave for sheet!cell; in an Excel 4 copy the one sheet's.
std::string SeenValue(const TSeen& seen, const std::string& sheet, const std::string& cell, bool excel4) {
    if (excel4) {
        for (const auto& [key, value] : seen.Values)
            if (key.substr(key.find('!') + 1) == cell) return Plain(value);
        return "";
    }
    const auto found = seen.Values.find(sheet + "!" + cell);
    return found == seen.Values.end() ? "" : Plain(found->second);
}

} // namespace

// Workbooks made by other writers copied to every version: each formula is
// either in the copy, where our reader reads it and LibreOffice and gnumeric
// compute it again to the source's value, or the write's warnings name its
// cell and the copy holds its value (the one cached, or computed where the
// writer cached none), or, where there is no value to keep, a blank and a
// warning that says the value is lost. A copy that holds what the source
// holds reads in each reader as the source does.
TEST_F(Conversions, CopiesInEveryVersionKeepTheFormulaOrItsValue) {
    Make();
    ASSERT_TRUE(made) << why;
    std::vector<std::string> sources;
    for (const TEveryVersion& c : EveryVersionCases)
        if (std::find(sources.begin(), sources.end(), c.Source) == sources.end()) sources.push_back(c.Source);
    // copies[source][version], and the warnings of each write.
    std::map<std::string, std::array<std::string, 4>> copies;
    std::map<std::string, std::vector<std::string>> warnings;
    std::vector<std::string> all, recalculated;
    // The sources too, under names of their own: what each reader gives for them.
    std::map<std::string, std::string> origin;
    auto recalculate = [&](const std::string& file) {
        all.push_back(file);
        recalculated.push_back(dir->File("gn-" + fs::path(file).filename().string() + ".xlsx"));
        oracle::Run("ssconvert --recalc " + oracle::Quote(file) + " " + oracle::Quote(recalculated.back()));
    };
    for (const std::string& s : sources) {
        ASSERT_TRUE(testfiles::Exists(dir->File(s))) << s;
        std::string named = s;
        std::replace(named.begin(), named.end(), '.', '_');
        origin[s] = dir->File("source-" + named + fs::path(s).extension().string());
        if (!fs::exists(origin[s])) fs::create_symlink(dir->File(s), origin[s]);
        recalculate(origin[s]);
        for (size_t v = 0; v < 4; ++v) {
            const std::string copy = dir->File("every-" + s + EveryVersionFile[v]);
            warnings[copy] = CopyAs(dir->File(s), copy, EveryVersion[v]);
            copies[s][v] = copy;
            recalculate(copy);
        }
    }
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeRecalculate(all, lo.Path(), "xlsx");
    std::vector<std::string> byLibre;
    for (const std::string& c : all) byLibre.push_back(lo.File(fs::path(c).stem().string() + ".xlsx"));
    const std::vector<TSeen> read = ReadWith(all), gnumeric = ReadWith(recalculated),
                             libre = ReadWith(byLibre);
    std::map<std::string, size_t> index;
    for (size_t i = 0; i < all.size(); ++i) index[all[i]] = i;

    for (const TEveryVersion& c : EveryVersionCases) {
        int col = 0, row = 0;
        ASSERT_TRUE(RefStrToColRowPlain(Utf8ToWide(c.Cell), col, row)) << c.Cell;
        for (size_t v = 0; v < 4; ++v) {
            const std::string& copy = copies[c.Source][v];
            const size_t i = index[copy];
            const bool excel4 = EveryVersion[v] == TExcelVersion::xvExcel40;
            const std::string what = c.Copies[v], where = std::string(c.Sheet) + "!" + c.Cell;
            SCOPED_TRACE(fs::path(copy).filename().string() + " " + where);
            ASSERT_TRUE(read[i].Ok) << read[i].Error;
            ASSERT_TRUE(gnumeric[i].Ok) << gnumeric[i].Error;
            ASSERT_TRUE(libre[i].Ok) << libre[i].Error;
            // The warning that names the cell, if any.
            std::string warning;
            for (const std::string& w : warnings[copy])
                if (w.rfind(WideToUtf8(QuoteSheetName(Utf8ToWide(c.Sheet))) + "!" + c.Cell + ": formula",
                            0) == 0)
                    warning = w;
            TTabrix4 back;
            back.SetFilename(Utf8ToWide(copy));
            back.Read();
            int sheet = 0;
            while (!excel4 && sheet < back.Sheets().Count() &&
                   WideToUtf8(back.GetSheet(sheet).Name()) != c.Sheet)
                ++sheet;
            if (what == Absent) {
                EXPECT_TRUE(excel4 && sheet == 0 && WideToUtf8(back.GetSheet(0).Name()) != c.Sheet);
                continue;
            }
            ASSERT_LT(sheet, back.Sheets().Count());
            TSheet& s = back.GetSheet(sheet);
            const std::string value = what == Lost ? "" : c.Value;
            // What each reader gives for the source, where the copy holds what it holds.
            const size_t source = index[origin[c.Source]];
            const bool like = c.LikeSource & (1 << v),
                       gnumericLike = like || (c.GnumericLikeSource & (1 << v));
            // A value kept is the one the source cached; a formula each
            // reader computes as it computes the source's.
            auto expected = [&](const std::vector<TSeen>& by, bool asSource) {
                if (!asSource) return value;
                return SeenValue(what == Kept || what == Lost ? read[source] : by[source], c.Sheet, c.Cell,
                                 false);
            };
            if (what == Kept || what == Lost) {
                EXPECT_NE(warning.find(what == Kept ? "; its value is kept" : LostValue), std::string::npos)
                    << warning;
                EXPECT_FALSE(s.GetCellType(col, row) >= ctNumberFormula);
                EXPECT_EQ(OurValue(s, col, row), expected(read, like));
                EXPECT_EQ(SeenValue(read[i], c.Sheet, c.Cell, excel4), expected(read, like));
            } else {
                EXPECT_EQ(warning, "");
                std::string text;
                try {
                    text = s.GetAsFormula(col, row);
                } catch (const XLSError& e) {
                    text = std::string("no formula: ") + e.what();
                }
                EXPECT_EQ(text, what);
            }
            EXPECT_EQ(SeenValue(gnumeric[i], c.Sheet, c.Cell, excel4), expected(gnumeric, gnumericLike))
                << "gnumeric";
            EXPECT_EQ(SeenValue(libre[i], c.Sheet, c.Cell, excel4), expected(libre, like)) << "LibreOffice";
        }
    }
}

// A macro sheet's commands (a variable call whose number has bit 15 set)
// are no worksheet functions: our reader shows none and computes none for
// them, a copy as .xls keeps their tokens as read and a package keeps the
// cell's value, naming the cell; xlrd and gnumeric open every copy.
TEST_F(Conversions, MacroCommandsAreNoWorksheetFunctions) {
    const fs::path source = oracle::RealWorldDir() / "apache-poi" / "60405.xls";
    ASSERT_TRUE(fs::exists(source)) << source;
    // Macro1!A2 calls command 43 (not DMIN) with five arguments.
    const std::vector<uint8_t> command = {0x05, 0x2B, 0x80};
    auto tokensOf = [](TTabrix4& book) {
        auto* cell = dynamic_cast<TFormulaCell*>(book.GetSheet(1).GetCell(0, 1));
        return cell ? std::vector<uint8_t>(cell->Data().begin(), cell->Data().begin() + cell->TokenLength())
                    : std::vector<uint8_t>();
    };
    TTabrix4 book;
    book.SetFilename(Utf8ToWide(source.string()));
    book.Read();
    ASSERT_EQ(WideToUtf8(book.GetSheet(1).Name()), "Macro1");
    const std::vector<uint8_t> read = tokensOf(book);
    ASSERT_NE(std::search(read.begin(), read.end(), command.begin(), command.end()), read.end());
    EXPECT_EQ(book.GetSheet(1).GetAsFormula(0, 1).find("DMIN"), std::string::npos);
    TFormulaValue v;
    EXPECT_THROW(book.CalculateCell(1, 0, 1, v), XLSError);

    testfiles::ScratchDir out;
    std::vector<std::string> copies;
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(EveryVersionFile[k]);
        const std::string copy = out.File(std::string("60405") + EveryVersionFile[k]);
        copies.push_back(copy);
        std::string warning;
        for (const std::string& w : CopyAs(source.string(), copy, EveryVersion[k]))
            if (w.rfind("Macro1!A2: formula", 0) == 0) warning = w;
        TTabrix4 back;
        back.SetFilename(Utf8ToWide(copy));
        back.Read();
        const std::vector<uint8_t> written = tokensOf(back);
        if (EveryVersion[k] == TExcelVersion::xvExcel2007) {
            EXPECT_NE(warning.find("its value is kept"), std::string::npos) << warning;
            EXPECT_TRUE(written.empty());
            EXPECT_EQ(back.GetSheet(1).GetAsFloat(0, 1), 0);
        } else {
            EXPECT_EQ(warning, "");
            if (EveryVersion[k] == TExcelVersion::xvExcel97) {
                EXPECT_EQ(written, read);
            }
            EXPECT_NE(std::search(written.begin(), written.end(), command.begin(), command.end()),
                      written.end());
        }
        const oracle::TRun r =
            oracle::Run("ssconvert " + oracle::Quote(copy) + " " + oracle::Quote(copy + ".csv"));
        EXPECT_EQ(r.Status, 0) << r.Output;
    }
    for (const TSeen& s : ReadWith(copies)) EXPECT_TRUE(s.Ok) << s.Error;
}

// Tokens that read as another formula (a defined name or an EXTERNSHEET
// entry that is not there, a function number no function has, an error
// code no error has, values left over beside the result or a value missing)
// and a formula text longer than a package holds are not written into a
// package, nor into an Excel 5 or Excel 4 copy: the cell keeps its cached
// value, or, where none was cached (an empty text, as xlwt writes), the
// value the library computes, and the write names the cell. Our reader,
// openpyxl or xlrd, and gnumeric and LibreOffice computing the copy again,
// find the value and no formula.
TEST_F(Conversions, TokensOfAnotherMeaningKeepTheirValuesInEveryCopy) {
    // A formula of 4,200 names of 255 characters: over 1 MiB of text.
    const std::u16string longName = u"N" + std::u16string(254, u'x');
    std::vector<uint8_t> longTokens;
    for (int i = 0; i < 4200; ++i) {
        longTokens.insert(longTokens.end(), {0x23, 1, 0, 0, 0});
        if (i > 0) longTokens.push_back(0x03);
    }
    const double none = std::nan("");
    const std::string decode = "its tokens do not decode: ";
    const struct {
        std::vector<uint8_t> Tokens;
        double Cached;     // none: an empty text
        std::string Why;   // the warning's reason; "" for a formula written
        const char* Value; // in the copy
        // The reasons of the Excel 5 and Excel 4 copies where they differ.
        std::string Why5 = "", Why4 = "";
    } cases[] = {
        {{0x1E, 3, 0, 0x1E, 4, 0, 0x03}, 7, "", "n:7"},
        {{0x23, 9, 0, 0, 0}, 103, decode + "defined name 9 is not there", "n:103"},
        {{0x3A, 7, 0, 0, 0, 0, 0}, 104, decode + "EXTERNSHEET entry 7 is not there", "n:104"},
        {{0x1E, 1, 0, 0x42, 1, 0xE7, 0x03}, 103, decode + "function number 999 is not known", "n:103"},
        {{0x1E, 5, 0, 0x1E, 6, 0, 0x1E, 7, 0, 0x03}, 105, decode + "it leaves 2 values", "n:105"},
        {{0x1E, 5, 0, 0x1E, 6, 0}, 113, decode + "it leaves 2 values", "n:113"},
        {{0x23, 9, 0, 0, 0}, none, decode + "defined name 9 is not there", "e:#NAME?"},
        {{0x1C, 0x99}, 106, decode + "error code 153 is not known", "n:106"},
        {{0x1E, 5, 0, 0x03}, 107, decode + "a value is missing", "n:107"},
        {longTokens, 9,
         "its text of " + std::to_string(4200 * 256 - 1) + " bytes is longer than a package holds", "n:9",
         "its tokens take 67199 bytes, more than a record holds",
         "it names a defined name, which not every reader of Excel 4 files computes"},
    };
    struct TCopy {
        TExcelVersion Version;
        const char* File;
        const char* Target;
    };
    const TCopy copies[] = {{TExcelVersion::xvExcel2007, "tokens.xlsx", ".xlsx"},
                            {TExcelVersion::xvExcel50, "tokens5.xls", ".xls (Excel 5)"},
                            {TExcelVersion::xvExcel40, "tokens4.xls", ".xls (Excel 4)"}};
    testfiles::ScratchDir scratch, lo;
    std::vector<std::string> written, gnumeric, libre;
    std::vector<std::vector<std::string>> warnings;
    for (const TCopy& copy : copies) {
        TTabrix4 book;
        TInternalName& name = book.GetInternalNames().Add();
        name.SetName(longName);
        name.FormulaText = u"1";
        TSheet& sheet = book.GetSheet(0);
        for (size_t row = 0; row < std::size(cases); ++row) {
            const auto& c = cases[row];
            TFormulaResult r;
            r.Number = std::isnan(c.Cached) ? 0 : c.Cached;
            sheet.PutFormula(std::isnan(c.Cached) ? ctStringFormula : ctNumberFormula, 0, int(row), 15,
                             int(c.Tokens.size()), c.Tokens, r);
        }
        written.push_back(scratch.File(copy.File));
        book.SetVersion(copy.Version);
        book.SetFilename(Utf8ToWide(written.back()));
        try {
            book.Write();
        } catch (const XLSError& e) {
            FAIL() << copy.File << ": " << e.what();
        }
        warnings.push_back(book.Warnings());
        gnumeric.push_back(scratch.File(std::string("gn-") + copy.File + ".xlsx"));
        oracle::Run("ssconvert --recalc " + oracle::Quote(written.back()) + " " +
                    oracle::Quote(gnumeric.back()));
        libre.push_back(lo.File(fs::path(copy.File).stem().string() + ".xlsx"));
    }
    testfiles::LibreOfficeRecalculate(written, lo.Path(), "xlsx");
    const std::vector<TSeen> read = ReadWith(written), byGnumeric = ReadWith(gnumeric),
                             byLibre = ReadWith(libre);
    for (size_t k = 0; k < std::size(copies); ++k) {
        const bool package = k == 0, excel4 = copies[k].Version == TExcelVersion::xvExcel40;
        SCOPED_TRACE(copies[k].File);
        for (const std::vector<TSeen>* seen : {&read, &byGnumeric, &byLibre})
            ASSERT_TRUE((*seen)[k].Ok) << (*seen)[k].Error;
        TTabrix4 back;
        back.SetFilename(Utf8ToWide(written[k]));
        ASSERT_NO_THROW(back.Read());
        for (size_t row = 0; row < std::size(cases); ++row) {
            const auto& c = cases[row];
            const std::string& why = k == 1 && !c.Why5.empty()   ? c.Why5
                                     : k == 2 && !c.Why4.empty() ? c.Why4
                                                                 : c.Why;
            const std::string cell = "A" + std::to_string(row + 1);
            SCOPED_TRACE(cell);
            std::string warning;
            for (const std::string& w : warnings[k])
                if (w.rfind("Sheet1!" + cell + ": formula", 0) == 0) warning = w;
            if (c.Why.empty()) {
                EXPECT_EQ(warning, "");
            } else {
                EXPECT_NE(warning.find(std::string(" not written to ") + copies[k].Target + " (" + why +
                                       "); its value is kept"),
                          std::string::npos)
                    << warning;
            }
            EXPECT_EQ(back.GetSheet(0).GetCellType(0, int(row)) >= ctNumberFormula, c.Why.empty());
            EXPECT_EQ(OurValue(back.GetSheet(0), 0, int(row)), c.Value);
            if (package) {
                EXPECT_EQ(read[k].Formulas.count("Sheet1!" + cell), c.Why.empty() ? 1u : 0u) << "openpyxl";
            }
            EXPECT_EQ(SeenValue(read[k], "Sheet1", cell, excel4), c.Value) << "openpyxl or xlrd";
            EXPECT_EQ(SeenValue(byGnumeric[k], "Sheet1", cell, excel4), c.Value) << "gnumeric";
            EXPECT_EQ(SeenValue(byLibre[k], "Sheet1", cell, excel4), c.Value) << "LibreOffice";
        }
    }
}

namespace {

// A workbook LibreOffice writes (each formula with its cached value): A1 2,
// A2 5, A3 1, B1 =A1*3 (6), C1 =SUMIF(A1:A2;">0") (7, a function the library
// does not compute).
const char* const CopySource = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body><office:spreadsheet>
<table:table table:name="S">
<table:table-row><table:table-cell office:value-type="float" office:value="2"/>
<table:table-cell table:formula="of:=[.A1]*3" office:value-type="float" office:value="6"/>
<table:table-cell table:formula="of:=SUMIF([.A1:.A2];&quot;&gt;0&quot;)"
 office:value-type="float" office:value="7"/>
</table:table-row>
<table:table-row><table:table-cell office:value-type="float" office:value="5"/></table:table-row>
<table:table-row><table:table-cell office:value-type="float" office:value="1"/></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
)xml";

// A block copied or moved with its formulas adjusted, or a cell given a
// number, and what the copies hold in a cell: its formula's text, and the
// value each reader shows ("" none).
enum class TCellEdit { Copy, Move, Set };
struct TCopiedFormula {
    const char* What;
    TCellEdit Edit;
    const char* Block;
    const char* Dest; // for Set: the number
    const char* Cell;
    const char* Text;
    const char* Value;  // LibreOffice and gnumeric compute it
    const char* Cached; // openpyxl and xlrd take it as written
};

const TCopiedFormula CopiedFormulas[] = {
    {"a copy", TCellEdit::Copy, "B1:B1", "B2", "B2", "A2*3", "n:15", "n:15"},
    {"a move", TCellEdit::Move, "A1:B1", "D1", "E1", "D1*3", "n:6", "n:6"},
    // Not computed here: written without a value (an empty text in .xls),
    // calculated when the file is opened.
    {"a copy the library does not compute", TCellEdit::Copy, "C1:C1", "C2", "C2", "SUMIF(A2:A3,\">0\")",
     "n:6", ""},
    // The formulas that refer to a cell changed are written with the value
    // they compute now, or without one; LibreOffice shows a package's as it
    // is written.
    {"a value set", TCellEdit::Set, "A1:A1", "100", "B1", "A1*3", "n:300", "n:300"},
    {"a value set the library does not compute", TCellEdit::Set, "A2:A2", "-5", "C1", "SUMIF(A1:A2,\">0\")",
     "n:2", ""},
    {"a cell moved away", TCellEdit::Move, "A1:A1", "D5", "B1", "A1*3", "n:0", "n:0"},
};

} // namespace

// Formulas copied or moved hold no result of their own: a write gives them
// the computed value, or none and the file's calculate-on-load mark, never
// the value of where they came from (nor 0).
TEST_F(Conversions, CopiedAndMovedFormulasAreWrittenWithTheirValues) {
    testfiles::ScratchDir work;
    testfiles::Spit(work.File("source.fods"), CopySource);
    testfiles::LibreOfficeConvert({work.File("source.fods")}, work.Path(), "xlsx");
    ASSERT_TRUE(testfiles::Exists(work.File("source.xlsx"))) << "LibreOffice made no package";
    std::vector<std::string> copies, byGnumeric;
    for (const TCopiedFormula& c : CopiedFormulas)
        for (const char* ext : {".xlsx", ".xls"}) {
            TTabrix4 book;
            book.SetFilename(Utf8ToWide(work.File("source.xlsx")));
            book.Read();
            int col1, row1, col2, row2, col = 0, row = 0;
            ASSERT_TRUE(AreaStrToColRowPlain(Utf8ToWide(c.Block), col1, row1, col2, row2)) << c.Block;
            const int options = ICellOperations::coCells | ICellOperations::coAdjustFormulas;
            if (c.Edit == TCellEdit::Set)
                book.GetSheet(0).SetAsFloat(col1, row1, std::stod(c.Dest));
            else
                ASSERT_TRUE(RefStrToColRowPlain(Utf8ToWide(c.Dest), col, row)) << c.Dest;
            if (c.Edit == TCellEdit::Move)
                book.MoveCells(0, col1, row1, col2, row2, 0, col, row, options);
            else if (c.Edit == TCellEdit::Copy)
                book.CopyCells(0, col1, row1, col2, row2, 0, col, row, options);
            copies.push_back(work.File(std::string("copy") + std::to_string(copies.size()) + ext));
            book.SetVersion(std::string(ext) == ".xls" ? TExcelVersion::xvExcel97
                                                       : TExcelVersion::xvExcel2007);
            book.SetFilename(Utf8ToWide(copies.back()));
            book.Write();
            byGnumeric.push_back(work.File("gn" + std::to_string(copies.size()) + ".xlsx"));
            oracle::Run("ssconvert " + oracle::Quote(copies.back()) + " " + oracle::Quote(byGnumeric.back()));
        }
    testfiles::ScratchDir lo;
    testfiles::LibreOfficeConvert(copies, lo.Path(), "xlsx");
    std::vector<std::string> byLibre;
    for (const std::string& c : copies) byLibre.push_back(lo.File(fs::path(c).stem().string() + ".xlsx"));
    const std::vector<TSeen> read = ReadWith(copies), gnumeric = ReadWith(byGnumeric),
                             libre = ReadWith(byLibre);
    for (size_t i = 0; i < copies.size(); ++i) {
        const TCopiedFormula& c = CopiedFormulas[i / 2];
        SCOPED_TRACE(std::string(c.What) + " in " + fs::path(copies[i]).filename().string());
        ASSERT_TRUE(read[i].Ok) << read[i].Error;
        ASSERT_TRUE(gnumeric[i].Ok) << gnumeric[i].Error;
        ASSERT_TRUE(libre[i].Ok) << libre[i].Error;
        TTabrix4 back;
        back.SetFilename(Utf8ToWide(copies[i]));
        back.Read();
        int col, row;
        ASSERT_TRUE(RefStrToColRowPlain(Utf8ToWide(c.Cell), col, row));
        EXPECT_EQ(back.GetSheet(0).GetAsFormula(col, row), c.Text);
        // Written without a value, read without one: a write computes it again.
        const auto* f = dynamic_cast<const TFormulaCell*>(back.GetSheet(0).GetCell(col, row));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->NoResult, *c.Cached == 0);
        // xlrd reads the empty text of a formula without a value.
        const std::string cached = i % 2 == 1 && *c.Cached == 0 ? "s:" : c.Cached;
        EXPECT_EQ(SeenValue(read[i], "S", c.Cell, false), cached) << "openpyxl or xlrd";
        EXPECT_EQ(SeenValue(gnumeric[i], "S", c.Cell, false), c.Value) << "gnumeric";
        EXPECT_EQ(SeenValue(libre[i], "S", c.Cell, false), c.Value) << "LibreOffice";
    }
}

// A workbook of LibreOffice's (.xls and .xlsx) with sheets S1, S2 and S3:
// S2 deleted or S3 renamed through the library, written in either format.
// LibreOffice reads the copies with the formulas' and names' meaning kept
// and computes them again, as gnumeric does; xlrd opens the .xls copies.
TEST_F(Conversions, SheetsDeletedOrRenamedKeepEveryOtherReferencesSheet) {
    testfiles::ScratchDir work;
    testfiles::Spit(work.File("sheets.fods"), R"FODS(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body><office:spreadsheet>
<table:table table:name="S1">
<table:table-row><table:table-cell table:formula="of:=[$S3.A1]*2"/>
<table:table-cell office:value-type="float" office:value="1"/></table:table-row>
<table:table-row><table:table-cell table:formula="of:=[$S2.A1]+1"/></table:table-row>
<table:table-row><table:table-cell table:formula="of:=SUM([$S1.B1:$S3.B1])"/></table:table-row>
<table:table-row><table:table-cell table:formula="of:=Far+[.B1]"/></table:table-row>
<table:table-row><table:table-cell table:formula="of:=SUM([$S1.B1:$S2.B1])"/></table:table-row>
</table:table>
<table:table table:name="S2"><table:table-row>
<table:table-cell office:value-type="float" office:value="10"/>
<table:table-cell office:value-type="float" office:value="2"/></table:table-row></table:table>
<table:table table:name="S3"><table:table-row>
<table:table-cell office:value-type="float" office:value="20"/>
<table:table-cell office:value-type="float" office:value="3"/></table:table-row></table:table>
<table:named-expressions><table:named-range table:name="Far" table:base-cell-address="$S1.$A$1"
 table:cell-range-address="$S3.$A$1"/></table:named-expressions>
</office:spreadsheet></office:body></office:document>
)FODS");
    testfiles::LibreOfficeConvert({work.File("sheets.fods")}, work.Path(), "xls:MS Excel 97");
    testfiles::LibreOfficeConvert({work.File("sheets.fods")}, work.Path(), "xlsx");
    ASSERT_TRUE(testfiles::Exists(work.File("sheets.xls")) && testfiles::Exists(work.File("sheets.xlsx")));
    // The same as an Excel 95 file of gnumeric's (LibreOffice writes none).
    oracle::Run("ssconvert -T Gnumeric_Excel:excel_biff7 " + oracle::Quote(work.File("sheets.xlsx")) + " " +
                oracle::Quote(work.File("sheets.xls95")));
    ASSERT_TRUE(testfiles::Exists(work.File("sheets.xls95"))) << "gnumeric made no Excel 95 file";

    // What every reader must see in S1 after each edit (LibreOffice writes
    // B1 of a range of sheets as B1:B1).
    struct TCheck {
        bool Deleted;
        const char* Cell;
        const char* Text;
        const char* Value;
    };
    const TCheck checks[] = {
        {true, "A1", "S3!A1*2", "n:40"},         {true, "A2", "#REF!+1", "e:#REF!"},
        {true, "A3", "SUM(S1:S3!B1:B1)", "n:4"}, {true, "A4", "Far+B1", "n:21"},
        {true, "A5", "SUM(S1!B1:B1)", "n:1"},    {false, "A1", "Third!A1*2", "n:40"},
        {false, "A2", "S2!A1+1", "n:11"},        {false, "A3", "SUM(S1:Third!B1:B1)", "n:6"},
        {false, "A4", "Far+B1", "n:21"},         {false, "A5", "SUM(S1:S2!B1:B1)", "n:3"},
    };
    std::vector<std::string> copies;
    std::vector<bool> deleted, excel95;
    // An Excel 95 file is written in its version too, with the records it keeps.
    const std::map<std::string, TExcelVersion> versions = {{"xls", TExcelVersion::xvExcel97},
                                                           {"xlsx", TExcelVersion::xvExcel2007},
                                                           {"xls95", TExcelVersion::xvExcel50}};
    for (const char* from : {"xls", "xlsx", "xls95"})
        for (bool del : {true, false})
            for (const char* to : {"xls", "xlsx", "xls95"}) {
                if (std::string(to) == "xls95" && std::string(from) != "xls95") continue;
                TTabrix4 book;
                book.SetFilename(Utf8ToWide(work.File(std::string("sheets.") + from)));
                book.Read();
                if (del)
                    book.Sheets().Delete(1);
                else
                    book.GetSheet(2).SetName(u"Third");
                book.SetVersion(versions.at(to));
                copies.push_back(work.File(std::string(del ? "deleted" : "renamed") + "-from-" + from + "-" +
                                           to + (std::string(to) == "xlsx" ? ".xlsx" : ".xls")));
                deleted.push_back(del);
                excel95.push_back(std::string(to) == "xls95");
                book.SetFilename(Utf8ToWide(copies.back()));
                book.Write();
                for (const std::string& w : book.Warnings())
                    EXPECT_EQ(w.find("formula"), w.npos) << copies.back() << ": " << w;
            }
    testfiles::LibreOfficeRecalculate(copies, work.File("lo"), "xlsx");
    std::vector<std::string> libre, gnumeric;
    for (const std::string& c : copies) {
        const std::string stem = fs::path(c).stem().string();
        libre.push_back(work.File("lo/" + stem + ".xlsx"));
        gnumeric.push_back(work.File("gn-" + stem + ".xlsx"));
        oracle::Run("ssconvert --recalc " + oracle::Quote(c) + " " + oracle::Quote(gnumeric.back()));
    }
    const std::vector<TSeen> lo = ReadWith(libre), gn = ReadWith(gnumeric);
    for (size_t i = 0; i < copies.size(); ++i) {
        SCOPED_TRACE(copies[i]);
        ASSERT_TRUE(lo[i].Ok) << lo[i].Error;
        ASSERT_TRUE(gn[i].Ok) << gn[i].Error;
        for (const TCheck& c : checks) {
            if (c.Deleted != deleted[i]) continue;
            const std::string key = std::string("S1!") + c.Cell;
            // gnumeric's Excel 95 file has B1 of a range of sheets as B1.
            std::string text = Unquoted(lo[i].Formulas.count(key) ? lo[i].Formulas.at(key) : "");
            if (const size_t at = text.find("!B1)"); copies[i].find("from-xls95") != std::string::npos &&
                                                     at != text.npos &&
                                                     std::string(c.Text).find("!B1:B1)") != std::string::npos)
                text.replace(at, 3, "!B1:B1");
            EXPECT_EQ(text, c.Text) << key;
            for (const TSeen* seen : {&lo[i], &gn[i]}) {
                // gnumeric reads a range of sheets of an Excel 95 file (its
                // own too) short of its last sheet.
                const std::string text = c.Text;
                if (seen == &gn[i] && excel95[i] && text.find(':') < text.find('!')) continue;
                EXPECT_EQ(Plain(seen->Values.count(key) ? seen->Values.at(key) : ""), c.Value)
                    << key << (seen == &lo[i] ? " LibreOffice" : " gnumeric");
            }
        }
        EXPECT_EQ(Unquoted(lo[i].Defined.count("Far") ? lo[i].Defined.at("Far") : ""),
                  deleted[i] ? "S3!$A$1" : "Third!$A$1");
        if (copies[i].ends_with(".xls")) {
            const oracle::XlrdBook x = oracle::ReadWithXlrd(copies[i]);
            EXPECT_TRUE(x.Ok) << x.Error << x.NoVerdict;
            EXPECT_EQ(x.Sheets.size(), deleted[i] ? 2u : 3u);
        }
    }
}

// The workbooks of the edit sequences of Workbook.EditsKeepTheMeaningOfEveryFormulaTheyDoNotTouch
// (fuzz/sheet_edits.h), from a fixed seed, saved by LibreOffice (.xls, .xlsx) and gnumeric (Excel 95,
// .xlsx) and read from those files: every edit keeps every formula's meaning there too.
// Q710_EDITS_RECALC=1 has LibreOffice and gnumeric compute again the .xls and .xlsx copies each
// sequence writes at the end, which show what the sequence's model of the workbook computes.
TEST_F(Conversions, EditsOfOtherWritersWorkbooksKeepEveryFormulasMeaning) {
    testfiles::ScratchDir work;
    const bool recalc = std::getenv("Q710_EDITS_RECALC") != nullptr;
    std::mt19937 random(20261209);
    std::vector<std::vector<uint8_t>> cases;
    std::vector<std::string> made;
    for (int i = 0; i < 12; ++i) {
        std::vector<uint8_t>& bytes = cases.emplace_back(40 + random() % 200);
        for (uint8_t& b : bytes) b = uint8_t(random());
        made.push_back(work.File("made" + std::to_string(i) + ".xlsx"));
        sheetedits::TRunOptions options;
        options.Scratch = work.Path();
        sheetedits::TRun(bytes.data(), bytes.size(), options).WriteMade(made.back());
        LibState().Reset();
    }
    testfiles::LibreOfficeConvert(made, work.File("lo-xls"), "xls:MS Excel 97");
    testfiles::LibreOfficeConvert(made, work.File("lo-xlsx"), "xlsx");
    std::vector<std::pair<std::string, size_t>> origins;
    for (size_t i = 0; i < made.size(); ++i) {
        const std::string stem = "made" + std::to_string(i);
        origins.emplace_back(work.File("lo-xls/" + stem + ".xls"), i);
        origins.emplace_back(work.File("lo-xlsx/" + stem + ".xlsx"), i);
        for (const auto& [format, file] :
             {std::pair{"excel_biff7", stem + "-95.xls"}, {"xlsx", stem + "-gn.xlsx"}}) {
            oracle::Run("ssconvert -T Gnumeric_Excel:" + std::string(format) + " " + oracle::Quote(made[i]) +
                        " " + oracle::Quote(work.File(file)));
            origins.emplace_back(work.File(file), i);
        }
    }
    std::vector<sheetedits::TWrittenCopy> copies;
    for (size_t k = 0; k < origins.size(); ++k) {
        const auto& [file, i] = origins[k];
        ASSERT_TRUE(testfiles::Exists(file)) << "the other writer made no " << file;
        sheetedits::TRunOptions options;
        options.Scratch = work.File("run" + std::to_string(k));
        fs::create_directories(options.Scratch);
        options.OriginFile = file;
        options.KeepCopies = recalc;
        sheetedits::TRun run(cases[i].data(), cases[i].size(), options);
        EXPECT_EQ(run.Run(), "") << file;
        LibState().Reset();
        // Excel 5 copies name what LibreOffice and gnumeric read otherwise
        // (a sheet's own names, ranges of sheets).
        for (sheetedits::TWrittenCopy c : run.Copies()) {
            if (c.Format == sheetedits::TOrigin::Excel5) continue;
            const std::string unique =
                work.File("copy" + std::to_string(copies.size()) + fs::path(c.File).extension().string());
            fs::copy_file(c.File, unique);
            c.File = unique;
            copies.push_back(std::move(c));
        }
    }
    if (!recalc || copies.empty()) return;
    std::vector<std::string> files, libre, gnumeric;
    for (const sheetedits::TWrittenCopy& c : copies) files.push_back(c.File);
    testfiles::LibreOfficeRecalculate(files, work.File("lo"), "xlsx");
    for (size_t i = 0; i < files.size(); ++i) {
        libre.push_back(work.File("lo/" + fs::path(files[i]).stem().string() + ".xlsx"));
        gnumeric.push_back(work.File("gn" + std::to_string(i) + ".xlsx"));
        oracle::Run("ssconvert --recalc " + oracle::Quote(files[i]) + " " + oracle::Quote(gnumeric.back()));
    }
    const std::vector<TSeen> lo = ReadWith(libre), gn = ReadWith(gnumeric);
    for (size_t i = 0; i < copies.size(); ++i)
        for (const auto& [cell, value] : copies[i].Values) {
            const std::string sheet = cell.substr(0, cell.find('!')), at = cell.substr(cell.find('!') + 1);
            EXPECT_EQ(SeenValue(lo[i], sheet, at, false), value)
                << copies[i].File << " " << cell << " LibreOffice";
            EXPECT_EQ(SeenValue(gn[i], sheet, at, false), value)
                << copies[i].File << " " << cell << " gnumeric";
        }
}
