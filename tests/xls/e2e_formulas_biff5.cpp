// Formulas of Excel 5 files: array constants in their own layout as gnumeric
// writes them and as our writer writes them, the defined names they use, and
// an area of another sheet taken as the one value in the formula's row and
// column (a real file); checked against what LibreOffice, gnumeric and xlrd
// read and compute.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/model/Cell.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_oracle.h"
#include "support_process.h"
#include "support_state.h"
#include "support_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

using namespace xls;
using testvalues::Same;
using testvalues::Text;

namespace {

// Column A of the first sheet of each file as LibreOffice computes it
// (UTF-8 text), in one conversion; the files' names differ in their stems.
std::vector<std::vector<std::string>> OfficeColumnsA(const std::vector<std::string>& files,
                                                     const std::string& dir) {
    const testfiles::TProgramRun r =
        testfiles::LibreOfficeConvert(files, dir + "/office", "csv:Text - txt - csv (StarCalc):44,34,76");
    std::vector<std::vector<std::string>> out;
    for (const std::string& file : files) {
        const std::string csv = dir + "/office/" + std::filesystem::path(file).stem().string() + ".csv";
        EXPECT_TRUE(testfiles::Exists(csv)) << "LibreOffice did not convert " << file << "\n" << r.Output;
        std::vector<std::string>& column = out.emplace_back();
        if (testfiles::Exists(csv))
            for (const auto& row : oracle::CsvRows(testfiles::Slurp(csv)))
                column.push_back(row.empty() ? "" : row[0]);
    }
    return out;
}

// Column A of the first sheet as gnumeric computes it.
std::vector<std::string> GnumericColumnA(const std::string& file, const std::string& dir) {
    const std::string stem = dir + "/" + std::filesystem::path(file).stem().string() + ".gnumeric";
    const std::string csv = stem + ".0.csv";
    const oracle::TRun r = oracle::Run("ssconvert --recalc --export-file-per-sheet " + oracle::Quote(file) +
                                       " " + oracle::Quote(stem + ".%n.csv"));
    EXPECT_EQ(r.Status, 0) << "gnumeric did not convert " << file << "\n" << r.Output;
    // gnumeric names what it finds wrong in a file and reads on.
    EXPECT_EQ(r.Output.find("CRITICAL"), std::string::npos) << file << "\n" << r.Output;
    EXPECT_EQ(r.Output.find("corrupt"), std::string::npos) << file << "\n" << r.Output;
    std::vector<std::string> out;
    if (r.Status == 0)
        for (const auto& row : oracle::CsvRows(testfiles::Slurp(csv)))
            out.push_back(row.empty() ? "" : row[0]);
    return out;
}

std::string At(const std::vector<std::string>& column, int row) {
    return size_t(row) < column.size() ? column[size_t(row)] : "";
}

// Our value of a formula cell, or the message its calculation raised.
std::string Computed(TTabrix4& book, int sheet, int col, int row) {
    TFormulaValue v;
    try {
        book.MakeEvaluator()->CalculateCell(sheet, col, row, v);
    } catch (const XLSError& e) {
        return std::string("raised ") + e.what();
    }
    return Text(v);
}

// For each formula of the first sheet (by row), how many tokens each of its
// tAttrIf, tAttrSkip and tAttrChoose jumps passes over: the same in every
// layout, whatever the size of the tokens.
std::map<int, std::vector<int>> JumpsOfFirstSheet(const std::string& file, TTokenLayout layout) {
    std::map<int, std::vector<int>> out;
    const auto substreams = biffbuild::Substreams(biffbuild::WorkbookStream(testfiles::Slurp(file)));
    if (substreams.size() < 2) return out;
    for (const biffbuild::Record& r : substreams[1]) {
        if (r.Id != 0x0006 || r.Body.size() < 22) continue;
        const std::span<const uint8_t> tokens(r.Body.data() + 22, GetU16(r.Body.data() + 20));
        std::vector<size_t> starts;
        std::vector<std::pair<size_t, size_t>> jumps; // from, to
        TTokenWalker walker(tokens, layout);
        TToken t;
        while (walker.Next(t) == TWalkStatus::Token) {
            starts.push_back(t.Pos);
            if (t.Id != ptg::Attr) continue;
            const size_t end = t.Pos + t.Size;
            if (t.Data[0] & (attr::If | attr::Skip)) jumps.emplace_back(end, end + GetU16(t.Data + 1));
            if (t.Data[0] & attr::Choose)
                for (size_t i = 0; t.Pos + 4 + 2 * i + 2 <= end; ++i)
                    jumps.emplace_back(end, t.Pos + 4 + GetU16(tokens.data() + t.Pos + 4 + 2 * i));
        }
        std::vector<int>& counts = out[GetU16(r.Body.data())];
        for (const auto& [from, to] : jumps)
            counts.push_back(int(
                std::count_if(starts.begin(), starts.end(), [&](size_t s) { return s >= from && s < to; })));
    }
    return out;
}

} // namespace

// gnumeric's Excel 95 file with array constants and defined names (Rate, a
// cell; Block, an area; Table, two columns a lookup reads): its formulas
// read back as openpyxl wrote them and compute what LibreOffice computes,
// and its copies as .xlsx and Excel 97 keep the names, so that LibreOffice
// computes the same values from them (no #NAME?).
TEST(Biff5Formulas, GnumericsConstantsAndNamesComputeAndTheirCopiesKeepTheNames) {
    LibState().Reset();
    testfiles::ScratchDir dir;
    const std::string source = dir.File("constants.xlsx"), file = dir.File("constants.xls");
    const oracle::TRun made =
        oracle::Run("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("convert_formulas.py")) +
                    " constants " + oracle::Quote(source));
    ASSERT_EQ(made.Status, 0) << made.Output;
    const oracle::TRun biff7 = oracle::Run("ssconvert -T Gnumeric_Excel:excel_biff7 " +
                                           oracle::Quote(source) + " " + oracle::Quote(file));
    ASSERT_EQ(biff7.Status, 0) << biff7.Output;
    const oracle::XlrdBook xlrd = oracle::ReadWithXlrd(file);
    ASSERT_TRUE(xlrd.Ok) << xlrd.Error;

    // The formulas as openpyxl wrote them, read back from the BIFF5 file.
    const oracle::TRun texts =
        oracle::Run("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("convert_formulas.py")) +
                    " formulas " + oracle::Quote(source));
    std::vector<std::string> formulas;
    std::stringstream lines(texts.Output);
    for (std::string line; std::getline(lines, line);) formulas.push_back(oracle::Fields(line).at(1));
    ASSERT_EQ(formulas.size(), 7u) << texts.Output;

    TTabrix4 book;
    book.SetFilename(Utf8ToWide(file));
    book.Read();
    ASSERT_EQ(book.GetVersion(), TExcelVersion::xvExcel50);
    for (const char16_t* name : {u"Rate", u"Block", u"Table"})
        EXPECT_GE(book.GetInternalNames().IndexOfName(name), 0) << WideToUtf8(name);
    const std::string copy8 = dir.File("copy8.xls"), copyx = dir.File("copyx.xlsx");
    for (const auto& [copy, version] :
         {std::pair{copy8, TExcelVersion::xvExcel97}, std::pair{copyx, TExcelVersion::xvExcel2007}}) {
        TTabrix4 again;
        again.SetFilename(Utf8ToWide(file));
        again.Read();
        again.SetVersion(version);
        again.SetFilename(Utf8ToWide(copy));
        again.Write();
    }
    const auto office = OfficeColumnsA({file, copy8, copyx}, dir.Path());
    ASSERT_EQ(office.size(), 3u);
    TSheet& sheet = book.GetSheet(0);
    for (int row = 0; row < int(formulas.size()); ++row) {
        SCOPED_TRACE(formulas[size_t(row)]);
        EXPECT_EQ(sheet.GetAsFormula(0, row), formulas[size_t(row)]);
        std::string cached;
        for (const oracle::XlrdCell& c : xlrd.Cells)
            if (c.Sheet == 0 && c.Row == row && c.Col == 0) cached = c.Value;
        EXPECT_EQ(At(office[1], row), At(office[0], row)) << "the Excel 97 copy";
        EXPECT_EQ(At(office[2], row), At(office[0], row)) << "the .xlsx copy";
        EXPECT_NE(At(office[1], row), "#NAME?");
        // Lookups are computed by a handler the caller installs.
        if (formulas[size_t(row)].find("LOOKUP(3") != std::string::npos) continue;
        const std::string ours = Computed(book, 0, 0, row);
        EXPECT_TRUE(Same(ours, cached)) << "ours " << ours << ", xlrd " << cached;
        EXPECT_TRUE(Same(ours, At(office[0], row)))
            << "ours " << ours << ", LibreOffice " << At(office[0], row);
    }
}

// Formulas written as Excel 5 from a workbook made here, read from Excel 97
// (ours and LibreOffice's) and read from a package: array constants, defined
// names (one naming another, a built-in one local to a sheet, one of whole
// columns) and references to other sheets, under tAttr jumps too, which pass
// over the tokens they do in Excel 97. LibreOffice and gnumeric compute what
// the formulas give, xlrd lists the names, our reader reads the formulas back,
// and a copy of the copy keeps the names; a reference to several sheets, which
// gnumeric reads as its first sheet alone, keeps its value and is named.
TEST(Biff5Formulas, FormulasWeWriteForExcel5AreReadByOthers) {
    LibState().Reset();
    struct {
        const char16_t* Formula;
        const char* Value;
        bool Excel4; // the formula is kept in an Excel 4 copy (the first sheet, no name)
    } cases[] = {
        {u"SUM({1,2,3})", "6", true},
        {u"SUM({1,2;3,4})", "10", true},
        {u"LOOKUP(2,{1,2,3},{\"a\",\"bc\",\"d\"})", "bc", true},
        {u"COUNT({1;2;3;4;5})", "5", true},
        {u"Data!A1+1", "101", false},
        {u"SUM(Data!A1:B1)", "100.2", false},
        {u"Data!A1*VAT", "20", false},
        {u"IF(Data!A1>50,\"big\",\"small\")", "big", false},
        {u"CHOOSE(2,Data!A1,Data!B1,3)", "0.2", false},
        {u"SUM(Block)*Rate", "20.04", false},
        {u"Twice", "200", false},
        {u"IF(A1>5,A2,A3)", "10", true},
        {u"SUM(Columns)", "100.2", false},
        {u"SUM(Here)", "16", false},
        {u"Doubled+1", "13", false},
    };
    // The names as xlrd lists them: global, or local to the first sheet.
    const std::string names = "N\tVAT\t-1\t0\tData!$B$1\n"
                              "N\tBlock\t-1\t0\tData!$A$1:$B$1\n"
                              "N\tTwice\t-1\t0\tData!$A$1*2.0\n"
                              "N\tRate\t-1\t0\tVAT\n"
                              "N\tPrint_Area\t0\t1\tSheet1!$A$1:$A$12\n"
                              "N\tColumns\t-1\t0\tData!$A$1:$B$65536\n"
                              "N\tHere\t-1\t0\tSheet1!$A$1:$A$2\n"
                              "N\tFirst\t-1\t0\tSheet1!$A$1\n"
                              "N\tDoubled\t-1\t0\tFirst*2.0\n"
                              "N\tMine\t0\t0\tSheet1!$A$4\n";
    // Those of the first sheet that name no name, as an Excel 4 copy keeps
    // them (it has no local names), read back and written as Excel 97; the
    // others are named in the warnings of the write.
    const std::string names4 = "N\tHere\t-1\t0\tSheet1!$A$1:$A$2\n"
                               "N\tFirst\t-1\t0\tSheet1!$A$1\n"
                               "N\tMine\t-1\t0\tSheet1!$A$4\n"
                               "N\tPrint_Area\t0\t1\tSheet1!$A$1:$A$12\n";
    const char* dropped4[] = {"VAT", "Block", "Twice", "Rate", "Columns", "Doubled"};
    testfiles::ScratchDir dir;
    TTabrix4 made;
    made.Sheets().Add(0).SetName(u"Data");
    made.Sheets().Add(0).SetName(u"More");
    // Readers show the first sheet, the one with the formulas.
    made.Workbook().SetSelectedTab(0);
    made.GetSheet(1).SetAsFloat(0, 0, 100);
    made.GetSheet(1).SetAsFloat(1, 0, 0.2);
    made.GetSheet(2).SetAsFloat(0, 0, 5);
    for (const auto& [name, formula, sheet] :
         {std::tuple{u"VAT", u"Data!$B$1", 0}, std::tuple{u"Block", u"Data!$A$1:$B$1", 0},
          std::tuple{u"Twice", u"Data!$A$1*2", 0}, std::tuple{u"Rate", u"VAT", 0},
          std::tuple{u"_xlnm.Print_Area", u"Sheet1!$A$1:$A$12", 1}, std::tuple{u"Columns", u"Data!$A:$B", 0},
          std::tuple{u"Here", u"Sheet1!$A$1:$A$2", 0}, std::tuple{u"First", u"Sheet1!$A$1", 0},
          std::tuple{u"Doubled", u"First*2", 0}, std::tuple{u"Mine", u"Sheet1!$A$4", 1}}) {
        TInternalName& n = made.GetInternalNames().Add();
        n.SetName(name);
        n.FormulaText = formula;
        n.SheetNumber = uint16_t(sheet);
    }
    int row = 0;
    for (const auto& c : cases) {
        const TEncodedFormula f = made.FormulaHandler().EncodeFormula(c.Formula, {.FileSyntax = true});
        made.GetSheet(0).PutFormula(ctNumberFormula, 0, row++, 15, int(f.TokenLength), f.Data, {});
    }
    const TEncodedFormula sheets =
        made.FormulaHandler().EncodeFormula(u"SUM(Data:More!A1)", {.FileSyntax = true});
    made.GetSheet(2).PutFormula(ctNumberFormula, 1, 0, 15, int(sheets.TokenLength), sheets.Data, {});
    // The workbook itself, and read back from Excel 97 and from a package.
    const std::string from8 = dir.File("from8.xls"), fromx = dir.File("fromx.xlsx");
    for (const auto& [file, version] :
         {std::pair{from8, TExcelVersion::xvExcel97}, std::pair{fromx, TExcelVersion::xvExcel2007}}) {
        made.SetVersion(version);
        made.SetFilename(Utf8ToWide(file));
        made.Write();
    }
    // LibreOffice's Excel 97 file has the tAttr jumps our encoder leaves out.
    testfiles::LibreOfficeConvert({from8}, dir.File("lo"), "xls:MS Excel 97");
    const std::string office8 = dir.File("lo/from8.xls");
    ASSERT_TRUE(testfiles::Exists(office8));
    std::vector<std::string> files;
    for (const std::string& source : {std::string(), from8, fromx, office8}) {
        TTabrix4 read;
        TTabrix4& book = source.empty() ? made : read;
        if (!source.empty()) {
            read.SetFilename(Utf8ToWide(source));
            read.Read();
        }
        files.push_back(dir.File("excel5" + std::to_string(files.size()) + ".xls"));
        book.SetVersion(TExcelVersion::xvExcel50);
        book.SetFilename(Utf8ToWide(files.back()));
        book.Write();
        // A reference to several sheets keeps its value, saying so (the
        // other warnings name the records of Excel 97 files Excel 5 lacks).
        std::vector<std::string> warnings;
        for (const std::string& w : book.Warnings())
            if (w.find(": records of the Excel 97 file not written") == std::string::npos)
                warnings.push_back(w);
        ASSERT_EQ(warnings.size(), 1u) << testing::PrintToString(book.Warnings());
        EXPECT_EQ(warnings[0].rfind("More!B1: formula =SUM(Data:More!A1", 0), 0u) << warnings[0];
        EXPECT_NE(warnings[0].find(" not written to .xls (Excel 5) "), std::string::npos);
    }
    // The jumps of the Excel 5 formulas pass over the tokens they do in
    // Excel 97.
    const auto jumps = JumpsOfFirstSheet(office8, TTokenLayout::BIFF8);
    EXPECT_FALSE(jumps.at(7).empty());
    EXPECT_FALSE(jumps.at(8).empty());
    EXPECT_EQ(JumpsOfFirstSheet(files.back(), TTokenLayout::BIFF5), jumps);
    // The names as xlrd lists them in any order: ours, or LibreOffice's as
    // xlrd lists them in its file (LibreOffice adds its own).
    const auto listing = [](const std::vector<std::string>& books) {
        const auto listed = oracle::RunPerFile(
            "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("xlrd_names.py")), books);
        std::vector<std::multiset<std::string>> out;
        for (size_t i = 0; i < books.size(); ++i) {
            EXPECT_TRUE(listed[i].Ok) << books[i] << ": " << listed[i].Error;
            // Whole columns end at the last row of the version.
            std::multiset<std::string>& lines = out.emplace_back();
            for (std::string line : listed[i].Raw) {
                if (const size_t at = line.find("$16384"); at != std::string::npos)
                    line.replace(at, 6, "$65536");
                lines.insert(line);
            }
        }
        return out;
    };
    std::multiset<std::string> ours;
    std::istringstream in(names);
    for (std::string line; std::getline(in, line);) ours.insert(line);
    const std::multiset<std::string> theirs = listing({office8}).front();
    const auto office = OfficeColumnsA(files, dir.Path());
    for (size_t k = 0; k < files.size(); ++k) {
        const std::string& file = files[k];
        SCOPED_TRACE(file);
        const auto gnumeric = GnumericColumnA(file, dir.Path());
        TTabrix4 back;
        back.SetFilename(Utf8ToWide(file));
        back.Read();
        for (row = 0; row < int(std::size(cases)); ++row) {
            SCOPED_TRACE(WideToUtf8(cases[row].Formula));
            EXPECT_TRUE(Same(At(office[k], row), cases[row].Value)) << "LibreOffice " << At(office[k], row);
            EXPECT_TRUE(Same(At(gnumeric, row), cases[row].Value)) << "gnumeric " << At(gnumeric, row);
            EXPECT_EQ(back.GetSheet(0).GetAsFormula(0, row), WideToUtf8(cases[row].Formula));
            // Our evaluator has no CHOOSE.
            if (!std::u16string_view(cases[row].Formula).starts_with(u"CHOOSE")) {
                EXPECT_EQ(Computed(back, 0, 0, row), cases[row].Value);
            }
        }
        // The copy, and its copies in Excel 5 and Excel 97, keep the names.
        std::vector<std::string> copies = {file};
        for (const auto& [suffix, version] : {std::pair{"again5.xls", TExcelVersion::xvExcel50},
                                              std::pair{"again8.xls", TExcelVersion::xvExcel97}}) {
            copies.push_back(dir.File(std::to_string(k) + suffix));
            back.SetVersion(version);
            back.SetFilename(Utf8ToWide(copies.back()));
            back.Write();
        }
        const auto listed = listing(copies);
        for (size_t i = 0; i < copies.size(); ++i)
            EXPECT_EQ(listed[i], files[k] == files.back() ? theirs : ours) << copies[i];
    }

    // Excel 4 copies of the first sheet keep the names of that sheet; the
    // other names are named in the warnings. LibreOffice makes the names of
    // an Excel 4 file the sheet's and finds none that a cell names: formulas
    // that name names or other sheets keep their values, named as well.
    std::vector<std::string> files4;
    // A description, which Excel 4 names do not have.
    made.GetInternalNames().Items(made.GetInternalNames().Count() - 1).Texts[1] = u"Fourth row";
    for (const std::string& source : {std::string(), from8, fromx}) {
        TTabrix4 read;
        TTabrix4& book = source.empty() ? made : read;
        if (!source.empty()) {
            read.SetFilename(Utf8ToWide(source));
            read.Read();
        }
        files4.push_back(dir.File("excel4" + std::to_string(files4.size()) + ".xls"));
        book.SetVersion(TExcelVersion::xvExcel40);
        book.SetFilename(Utf8ToWide(files4.back()));
        book.Write();
        SCOPED_TRACE(files4.back());
        const auto warned = [&](const std::string& start) {
            return std::count_if(book.Warnings().begin(), book.Warnings().end(), [&](const std::string& w) {
                return w.rfind(start, 0) == 0 &&
                       w.find(" not written to .xls (Excel 4)") != std::string::npos;
            });
        };
        for (const char* name : dropped4)
            EXPECT_EQ(warned("Defined name '" + std::string(name) + "'"), 1) << name;
        for (const char* name : {"Here", "First", "Print_Area"})
            EXPECT_EQ(warned("Defined name '" + std::string(name) + "'"), 0) << name;
        EXPECT_EQ(warned("Defined name 'Mine': its menu, description, help and status texts"),
                  source.empty() ? 1 : 0);
        for (row = 0; row < int(std::size(cases)); ++row)
            EXPECT_EQ(
                warned("Sheet1!A" + std::to_string(row + 1) + ": formula =" + WideToUtf8(cases[row].Formula)),
                cases[row].Excel4 ? 0 : 1)
                << WideToUtf8(cases[row].Formula);
    }
    std::multiset<std::string> ours4;
    std::istringstream in4(names4);
    for (std::string line; std::getline(in4, line);) ours4.insert(line);
    const auto office4 = OfficeColumnsA(files4, dir.Path());
    // LibreOffice's and gnumeric's Excel 97 files of the first copy hold the
    // names as they read them.
    testfiles::LibreOfficeConvert({files4[0]}, dir.File("lo4"), "xls:MS Excel 97");
    const std::string gnumeric8 = dir.File("gnumeric4.xls");
    const oracle::TRun g = oracle::Run("ssconvert -T Gnumeric_Excel:excel_biff8 " + oracle::Quote(files4[0]) +
                                       " " + oracle::Quote(gnumeric8));
    EXPECT_EQ(g.Status, 0) << g.Output;
    // LibreOffice's names are the sheet's; gnumeric's name no sheet, and it
    // adds names of its own.
    const std::multiset<std::string> office4Names = {
        "N\tExcel_BuiltIn_Print_Area\t0\t0\tSheet1!$A$1:$A$12", "N\tFirst\t0\t0\tSheet1!$A$1",
        "N\tHere\t0\t0\tSheet1!$A$1:$A$2", "N\tMine\t0\t0\tSheet1!$A$4"};
    const std::multiset<std::string> gnumeric4Names = {"N\tFirst\t-1\t0\t$A$1", "N\tHere\t-1\t0\t$A$1:$A$2",
                                                       "N\tMine\t-1\t0\t$A$4",
                                                       "N\tPrint_Area\t-1\t1\t$A$1:$A$12"};
    const auto others4 = listing({dir.File("lo4/excel40.xls"), gnumeric8});
    EXPECT_EQ(others4[0], office4Names) << "LibreOffice";
    EXPECT_TRUE(
        std::includes(others4[1].begin(), others4[1].end(), gnumeric4Names.begin(), gnumeric4Names.end()))
        << "gnumeric";
    for (size_t k = 0; k < files4.size(); ++k) {
        const std::string& file = files4[k];
        SCOPED_TRACE(file);
        const auto gnumeric = GnumericColumnA(file, dir.Path());
        const oracle::XlrdBook x = oracle::ReadWithXlrd(file);
        ASSERT_TRUE(x.Ok) << x.Error;
        std::map<int, std::string> xlrdColumnA;
        for (const oracle::XlrdCell& c : x.Cells)
            if (c.Sheet == 0 && c.Col == 0) xlrdColumnA[c.Row] = c.Value;
        TTabrix4 back;
        back.SetFilename(Utf8ToWide(file));
        back.Read();
        // The copy of the copy, in Excel 4 again, read back too.
        const std::string again = dir.File(std::to_string(k) + "again4.xls");
        back.SetVersion(TExcelVersion::xvExcel40);
        back.SetFilename(Utf8ToWide(again));
        back.Write();
        EXPECT_TRUE(back.Warnings().empty()) << back.Warnings().front();
        TTabrix4 backAgain;
        backAgain.SetFilename(Utf8ToWide(again));
        backAgain.Read();
        for (row = 0; row < int(std::size(cases)); ++row) {
            SCOPED_TRACE(WideToUtf8(cases[row].Formula));
            // The formulas were set without a result: the value kept, and
            // the one a formula is written with, is the computed one (a
            // blank where the library computes none: CHOOSE); xlrd reads it
            // for every cell.
            const bool computed = made.ComputedFormulaValue(0, 0, row).has_value();
            const std::string value = cases[row].Excel4 || computed ? cases[row].Value : "";
            EXPECT_TRUE(Same(At(office4[k], row), value)) << "LibreOffice " << At(office4[k], row);
            EXPECT_TRUE(Same(At(gnumeric, row), value)) << "gnumeric " << At(gnumeric, row);
            EXPECT_TRUE(Same(xlrdColumnA[row], value)) << "xlrd " << xlrdColumnA[row];
            for (TTabrix4* b : {&back, &backAgain}) {
                TCell* cell = b->GetSheet(0).GetCell(0, row);
                ASSERT_NE(cell, nullptr);
                EXPECT_EQ(cell->IsFormula(), cases[row].Excel4);
                if (!cell->IsFormula()) continue;
                EXPECT_EQ(b->GetSheet(0).GetAsFormula(0, row), WideToUtf8(cases[row].Formula));
                EXPECT_EQ(Computed(*b, 0, 0, row), cases[row].Value);
            }
        }
        // The names as xlrd lists them from Excel 97 copies of both (xlrd
        // reads no names of Excel 4 files).
        std::vector<std::string> copies;
        for (TTabrix4* b : {&back, &backAgain}) {
            copies.push_back(dir.File(std::to_string(k) + "from4_" + std::to_string(copies.size()) + ".xls"));
            b->SetVersion(TExcelVersion::xvExcel97);
            b->SetFilename(Utf8ToWide(copies.back()));
            b->Write();
        }
        for (const auto& listed : listing(copies)) EXPECT_EQ(listed, ours4);
    }
}

// A13 of the two other sheets holds +'Dalimex zamówienia'!A13:G14: the
// area's cell in the formula's row and column.
TEST(ImplicitIntersection, AnAreaOfAnotherSheetGivesItsCellInTheFormulasRowAndColumn) {
    const std::filesystem::path real = oracle::RealWorldDir();
    const std::filesystem::path file = real / "ExcelDataReader" / "Test_Issue_11642_ValuesNotLoaded.xls";
    if (real.empty() || !std::filesystem::exists(file)) GTEST_SKIP() << "no real-world files";
    LibState().Reset();
    testfiles::ScratchDir dir;
    // Every sheet to a CSV file of its own.
    const testfiles::TProgramRun r = testfiles::LibreOfficeConvert(
        {file.string()}, dir.Path(),
        "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1");
    TTabrix4 book;
    book.SetFilename(file.u16string());
    book.Read();
    for (int sheet : {1, 2}) {
        const std::string name = WideToUtf8(book.GetSheet(sheet).Name());
        SCOPED_TRACE(name);
        EXPECT_EQ(book.GetSheet(sheet).GetAsFormula(0, 12), "+'Dalimex zam\xC3\xB3wienia'!A13:G14");
        const std::string csv = dir.File(file.stem().string() + "-" + name + ".csv");
        ASSERT_TRUE(testfiles::Exists(csv)) << r.Output;
        const auto rows = oracle::CsvRows(testfiles::Slurp(csv));
        ASSERT_GT(rows.size(), 12u);
        EXPECT_EQ(Computed(book, sheet, 0, 12), rows[12].at(0));
    }
}
