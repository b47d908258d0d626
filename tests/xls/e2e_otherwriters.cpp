// Files other programs write (LibreOffice, gnumeric, openpyxl, XlsxWriter,
// and real-world files) are read with the values other readers see, a
// damaged part costing only that part; and what the component writes back
// of them LibreOffice, gnumeric and FreeXL read with the source's values,
// dates and protection. Each outside program runs bounded in time and
// memory (support_process.h).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/formulas/DefinedNames.h"
#include "SrcXLS/model/Cell.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_freexl.h"
#include "support_oracle.h"
#include "support_process.h"
#include "support_readers.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

using namespace xls;
namespace fs = std::filesystem;

namespace {

using Cells = std::map<std::tuple<int, int, int>, std::string>;

// An outside program within the oracles' bounds.
oracle::TRun Bounded(const std::string& command, unsigned seconds = 120) {
    return oracle::Run(command, seconds);
}

// Runs a python script written into the folder; true when it ran.
bool RunPython(const testfiles::ScratchDir& dir, const std::string& script) {
    testfiles::Spit(dir.File("make.py"), script);
    return Bounded("/usr/bin/python3 " + oracle::Quote(dir.File("make.py"))).Status == 0;
}

// Every sheet to "<name>-<sheet>.csv": values as stored, or as shown.
std::string CsvFilter(bool asShown) {
    return std::string("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,") +
           (asShown ? "true" : "false") + ",false,false,-1";
}

// The non-empty fields of a CSV file (as Python's csv module reads it) as
// sheet s's cells.
void AddCsv(Cells& cells, int sheet, const std::string& file) {
    const testfiles::Rows rows = testfiles::PythonCsvRows(file, ',', true, "utf-8");
    for (int row = 0; row < int(rows.size()); ++row)
        for (int col = 0; col < int(rows[size_t(row)].size()); ++col)
            if (!rows[size_t(row)][size_t(col)].empty())
                cells[{sheet, row, col}] = rows[size_t(row)][size_t(col)];
}

// A number as its shortest text, for comparing numbers written with more
// digits than they hold; any other text as it is.
std::string Canonical(const std::string& text) {
    double v;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end) return text;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

Cells Canonical(const Cells& cells) {
    Cells out;
    for (const auto& [k, v] : cells) out[k] = Canonical(v);
    return out;
}

// Our non-empty cells: numbers in the shortest text, texts as UTF-8.
Cells OurCells(TTabrix4& book) {
    Cells out;
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.Sheets().Items(s);
        sheet.Cells().BeginIterate();
        std::vector<std::pair<int, int>> at;
        while (TCell* c = sheet.Cells().NextCell()) at.emplace_back(c->Col, int(c->Row));
        for (auto [col, row] : at) {
            const int t = sheet.GetCellType(col, row);
            std::string v;
            if (t == ctInteger || t == ctFloat || t == ctNumberFormula) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%.15g", sheet.GetAsFloat(col, row));
                v = buf;
            } else if (t != ctBlank) {
                v = WideToUtf8(sheet.GetAsString(col, row));
            }
            if (!v.empty()) out[{s, row, col}] = v;
        }
    }
    return out;
}

// What xlrd reads, in the same form.
Cells XlrdCells(const std::string& file) {
    oracle::XlrdBook x = oracle::ReadWithXlrd(file);
    Cells out;
    if (!x.Ok) return out;
    for (const auto& c : x.Cells)
        if (!c.Value.empty()) out[{c.Sheet, c.Row, c.Col}] = c.Kind == 'n' ? Canonical(c.Value) : c.Value;
    return out;
}

void ReadBook(TTabrix4& book, const std::string& file) {
    book.SetFilename(Utf8ToWide(file));
    book.Read();
}

void WriteBook(TTabrix4& book, const std::string& file) {
    book.SetFilename(Utf8ToWide(file));
    book.Write();
}

bool HasWarning(const TTabrix4& book, const std::string& part) {
    for (const auto& w : book.Warnings())
        if (w.find(part) != std::string::npos) return true;
    return false;
}

fs::path RealFile(const std::string& name) {
    const fs::path dir = oracle::RealWorldDir();
    return dir.empty() ? fs::path() : dir / name;
}

using OtherWriters = FreshLibState;
using WrittenBack = FreshLibState;

} // namespace

// LibreOffice writes a colour scale or a data bar it cannot express in BIFF8
// as a CONDFMT with an empty 0xFFFF record where its CF should stand; beside
// a rule it can express, the CONDFMT counts both and the real CF follows the
// empty record.
TEST_F(OtherWriters, LibreOfficeConditionalFormatsThatBIFF8CannotHold) {
    testfiles::ScratchDir dir;
    ASSERT_TRUE(
        RunPython(dir, "import openpyxl\n"
                       "from openpyxl.formatting.rule import ColorScaleRule, DataBarRule, CellIsRule, "
                       "FormulaRule\n"
                       "from openpyxl.styles import PatternFill\n"
                       "wb = openpyxl.Workbook()\n"
                       "ws = wb.active\n"
                       "ws.title = 'Scale'\n"
                       "for i in range(1, 11):\n"
                       "    ws.cell(row=i, column=1, value=i)\n"
                       "    ws.cell(row=i, column=2, value=i * 1.5)\n"
                       "    ws.cell(row=i, column=3, value='t%d' % i)\n"
                       "ws.conditional_formatting.add('A1:A10', ColorScaleRule(start_type='min', "
                       "start_color='FF0000', end_type='max', end_color='00FF00'))\n"
                       "ws.conditional_formatting.add('B1:B10', DataBarRule(start_type='min', "
                       "end_type='max', color='638EC6'))\n"
                       "ws.conditional_formatting.add('C1:C10', CellIsRule(operator='equal', "
                       "formula=['\"t3\"'], fill=PatternFill(bgColor='FFFF00', fill_type='solid')))\n"
                       "ws2 = wb.create_sheet('After')\n"
                       "ws2['A1'] = 42\n"
                       "ws2['B2'] = 'tail'\n"
                       "ws3 = wb.create_sheet('Mixed')\n"
                       "for i in range(1, 11):\n"
                       "    ws3.cell(row=i, column=1, value=i)\n"
                       "ws3.conditional_formatting.add('A1:A10', ColorScaleRule(start_type='min', "
                       "start_color='FF0000', end_type='max', end_color='00FF00'))\n"
                       "ws3.conditional_formatting.add('A1:A10', FormulaRule(formula=['A1>5'], "
                       "fill=PatternFill(bgColor='FFFF00', fill_type='solid')))\n"
                       "wb.save('" +
                           dir.File("cf.xlsx") + "')\n"));
    if (testfiles::LibreOfficeConvert({dir.File("cf.xlsx")}, dir.Path(), "xls").Status != 0 ||
        !testfiles::Exists(dir.File("cf.xls")))
        FAIL() << "LibreOffice did not convert the workbook";
    const auto stream = biffbuild::WorkbookStream(testfiles::Slurp(dir.File("cf.xls")));
    ASSERT_GE(biffbuild::CountOf(biffbuild::Records(stream), 0xFFFF), 2u) << "the shape this test is about";

    TTabrix4 book;
    ReadBook(book, dir.File("cf.xls"));
    const Cells xlrd = XlrdCells(dir.File("cf.xls"));
    ASSERT_FALSE(xlrd.empty()) << "xlrd did not read the file";
    EXPECT_EQ(OurCells(book), xlrd);
    // The comparison LibreOffice could write stays; the other two are left
    // out, each named in a warning.
    TSheet& scale = book.GetSheet(0);
    ASSERT_EQ(scale.ConditionalFormats().Count(), 1);
    const TConditionalFormat& kept = scale.ConditionalFormats().Items(0);
    ASSERT_EQ(kept.Areas.Count(), 1);
    EXPECT_EQ(kept.Areas[0].Col1, 2u);
    EXPECT_EQ(kept.Areas[0].Row2, 9u);
    EXPECT_TRUE(HasWarning(book, "Sheet 'Scale': the conditional format on A1:A10 was left out"));
    EXPECT_TRUE(HasWarning(book, "on B1:B10 was left out"));
    // The formula rule stays with its CONDFMT.
    TSheet& mixed = book.GetSheet(2);
    ASSERT_EQ(mixed.ConditionalFormats().Count(), 1);
    EXPECT_EQ(mixed.ConditionalFormats().Items(0).Condition1.GetFormula1(), u"A1>5");
    EXPECT_FALSE(mixed.ConditionalFormats().Items(0).Condition2.Written());
    EXPECT_TRUE(HasWarning(book, "Sheet 'Mixed': 1 of the 2 conditions of the format on A1:A10"));

    // Written back, LibreOffice reads the same values and the formats kept;
    // every CF follows its CONDFMT, which counts the CFs written.
    WriteBook(book, dir.File("back.xls"));
    testfiles::KeepTestOutput(dir.File("cf.xls"), "libreoffice_condfmt.xls");
    testfiles::KeepTestOutput(dir.File("back.xls"), "libreoffice_condfmt_copy.xls");
    const auto back = biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(dir.File("back.xls"))));
    ASSERT_EQ(biffbuild::CountOf(back, 0x01B1), 2u);
    for (size_t i = 0; i < back.size(); ++i)
        if (back[i].Id == 0x01B1) {
            EXPECT_EQ(back[i - 1].Id, 0x01B0);
            EXPECT_EQ(GetU16(back[i - 1].Body.data()), 1);
        }
    const std::string out = dir.File("csv");
    fs::create_directory(out);
    ASSERT_TRUE(
        testfiles::LibreOfficeConvert({dir.File("cf.xls"), dir.File("back.xls")}, out, CsvFilter(false))
            .Status == 0);
    for (const char* sheet : {"-Scale.csv", "-After.csv", "-Mixed.csv"})
        EXPECT_EQ(testfiles::Slurp(out + "/back" + sheet), testfiles::Slurp(out + "/cf" + sheet)) << sheet;
    ASSERT_TRUE(testfiles::LibreOfficeConvert({dir.File("back.xls")}, out, "xlsx").Status == 0);
    const auto ranges = oracle::SheetRanges("openpyxl", {out + "/back.xlsx"});
    ASSERT_EQ(ranges.size(), 1u);
    int formats = 0, formulas = 0;
    for (const auto& line : ranges[0]) {
        formats += line.find("C1:C10") != std::string::npos;
        formulas += line.find("cf Mixed A1:A10 expression None ['A1>5']") != std::string::npos;
    }
    EXPECT_EQ(formats, 1);
    EXPECT_EQ(formulas, 1) << ::testing::PrintToString(ranges[0]);
    // gnumeric finds the rule and no CF without its CONDFMT.
    const oracle::TRun gnumeric = Bounded("ssconvert " + oracle::Quote(dir.File("back.xls")) + " " +
                                          oracle::Quote(dir.File("back.gnumeric")));
    ASSERT_EQ(gnumeric.Status, 0) << gnumeric.Output;
    EXPECT_EQ(gnumeric.Output.find("CF record"), std::string::npos) << gnumeric.Output;
    const std::string xml = Bounded("zcat " + oracle::Quote(dir.File("back.gnumeric"))).Output;
    EXPECT_NE(xml.find("<gnm:Expression0>A1&gt;5</gnm:Expression0>"), std::string::npos);
}

// A conditional format and a custom validation over several areas whose
// cells each test themselves, from LibreOffice's .xls of either order of the
// areas, as read and after moves, written as a package: the area whose first
// cell LibreOffice takes for the formula's (the smallest column, then row)
// comes first, where gnumeric takes it, and the formula is written for that
// cell; the validation has no second formula (LibreOffice stores "0"), which
// gnumeric refuses it for. LibreOffice and gnumeric read every cell testing
// itself.
TEST_F(OtherWriters, ConditionalFormatsAndValidationsOverSeveralAreasWrittenAsPackages) {
    testfiles::ScratchDir dir;
    ASSERT_TRUE(
        RunPython(dir, "import openpyxl\n"
                       "from openpyxl.formatting.rule import FormulaRule\n"
                       "from openpyxl.styles import PatternFill\n"
                       "from openpyxl.worksheet.datavalidation import DataValidation\n"
                       "for name, sqref in (('ab', 'B6:B10 D2:D5'), ('ba', 'D2:D5 B6:B10')):\n"
                       "    wb = openpyxl.Workbook()\n"
                       "    ws = wb.active\n"
                       "    ws.title = 'S'\n"
                       "    for r in range(1, 12):\n"
                       "        ws.cell(r, 2, r)\n"
                       "        ws.cell(r, 4, r)\n"
                       "    ws.conditional_formatting.add(sqref, FormulaRule(formula=['B6>5'], "
                       "fill=PatternFill(bgColor='FFFF00', fill_type='solid')))\n"
                       "    dv = DataValidation(type='custom', formula1='B6>5', showErrorMessage=True)\n"
                       "    dv.sqref = sqref\n"
                       "    ws.add_data_validation(dv)\n"
                       "    wb.save('" +
                           dir.File("") + "' + name + '.xlsx')\n"));
    if (testfiles::LibreOfficeConvert({dir.File("ab.xlsx"), dir.File("ba.xlsx")}, dir.Path(), "xls").Status !=
            0 ||
        !testfiles::Exists(dir.File("ab.xls")) || !testfiles::Exists(dir.File("ba.xls")))
        FAIL() << "LibreOffice did not convert the workbooks";
    constexpr int Moved =
        ICellOperations::coCells | ICellOperations::coConditionalFormats | ICellOperations::coValidations;
    const struct {
        const char* Source;
        std::function<void(TTabrix4&)> Edit;
        const char* Element;    // as we write it
        const char* Validation; // the same
    } cases[] = {
        {"ab", nullptr,
         R"(sqref="B6:B10 D2:D5"><cfRule type="expression" dxfId="0" priority="1"><formula>B6&gt;5)",
         R"(sqref="B6:B10 D2:D5"><formula1>B6&gt;5</formula1></dataValidation>)"},
        {"ba", nullptr,
         R"(sqref="B6:B10 D2:D5"><cfRule type="expression" dxfId="0" priority="1"><formula>B6&gt;5)",
         R"(sqref="B6:B10 D2:D5"><formula1>B6&gt;5</formula1></dataValidation>)"},
        // The whole block, and the area that came first away to the right.
        {"ab", [](TTabrix4& b) { b.MoveCells(0, 1, 0, 3, 9, 0, 5, 10, Moved); },
         R"(sqref="F16:F20 H12:H15"><cfRule type="expression" dxfId="0" priority="1"><formula>F16&gt;5)",
         R"(sqref="F16:F20 H12:H15"><formula1>F16&gt;5</formula1></dataValidation>)"},
        // Tokens of references at their cells (B2 for the areas' first cell;
        // D2 for the validation's first area's, as LibreOffice stores them), as
        // other writers give them, rather than offsets.
        {"ab",
         [](TTabrix4& b) {
             b.GetSheet(0).ConditionalFormats().Items(0).Condition1.Formula1Tokens = {
                 0x44, 0x01, 0x00, 0x01, 0xC0, 0x1E, 0x05, 0x00, 0x0D};
             b.GetSheet(0).Validations().Items(0).Expression1Tokens = {0x44, 0x01, 0x00, 0x03, 0xC0,
                                                                       0x1E, 0x05, 0x00, 0x0D};
         },
         R"(sqref="B6:B10 D2:D5"><cfRule type="expression" dxfId="0" priority="1"><formula>B6&gt;5)",
         R"(sqref="B6:B10 D2:D5"><formula1>B6&gt;5</formula1></dataValidation>)"},
        {"ba", [](TTabrix4& b) { b.MoveCells(0, 1, 5, 1, 9, 0, 7, 1, Moved); },
         R"(sqref="D2:D5 H2:H6"><cfRule type="expression" dxfId="0" priority="1"><formula>D2&gt;5)",
         R"(sqref="D2:D5 H2:H6"><formula1>D2&gt;5</formula1></dataValidation>)"},
    };
    std::vector<std::string> ours, gnumeric, libre;
    testfiles::ScratchDir lo;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Element);
        TTabrix4 book;
        ReadBook(book, dir.File(std::string(c.Source) + ".xls"));
        ASSERT_EQ(book.GetSheet(0).ConditionalFormats().Count(), 1);
        ASSERT_EQ(book.GetSheet(0).Validations().Count(), 1);
        if (c.Edit) c.Edit(book);
        book.SetVersion(TExcelVersion::xvExcel2007);
        ours.push_back(dir.File("ours" + std::to_string(ours.size()) + ".xlsx"));
        WriteBook(book, ours.back());
        const std::string package = testfiles::Slurp(ours.back());
        TXLSZipArchive zip;
        zip.OpenBuffer(std::span(reinterpret_cast<const uint8_t*>(package.data()), package.size()));
        const std::string sheet = zip.Extract("xl/worksheets/sheet1.xml");
        EXPECT_NE(sheet.find(c.Element), std::string::npos);
        EXPECT_NE(sheet.find(c.Validation), std::string::npos) << sheet;
        gnumeric.push_back(dir.File("gn" + std::to_string(gnumeric.size()) + ".xlsx"));
        const oracle::TRun gn =
            Bounded("ssconvert " + oracle::Quote(ours.back()) + " " + oracle::Quote(gnumeric.back()));
        ASSERT_EQ(gn.Status, 0) << gn.Output;
        libre.push_back(lo.File(fs::path(ours.back()).filename().string()));
    }
    ASSERT_EQ(testfiles::LibreOfficeConvert(ours, lo.Path(), "xlsx").Status, 0);
    std::vector<std::string> read = libre;
    read.insert(read.end(), gnumeric.begin(), gnumeric.end());
    const auto ranges = oracle::SheetRanges("openpyxl", read);
    ASSERT_EQ(ranges.size(), read.size());
    for (size_t i = 0; i < read.size(); ++i) {
        // "cf S B6:B10 D2:D5 expression None ['B6>5']" and "dv S B6:B10 D2:D5
        // custom between 'B6>5' ...": the cell the formula is written for, by
        // the reader's rule, tests itself.
        const bool byLibre = i < libre.size();
        int rules = 0, validations = 0;
        for (const std::string& line : ranges[i]) {
            const bool rule = line.rfind("cf S ", 0) == 0;
            if (!rule && line.rfind("dv S ", 0) != 0) continue;
            ++(rule ? rules : validations);
            std::istringstream words(line.substr(5));
            int col = -1, row = -1;
            for (std::string w; words >> w && w != (rule ? "expression" : "custom");) {
                int c1, r1, c2, r2;
                ASSERT_TRUE(AreaStrToColRowPlain(Utf8ToWide(w), c1, r1, c2, r2)) << line;
                if (col < 0 || (byLibre && (c1 < col || (c1 == col && r1 < row)))) col = c1, row = r1;
            }
            EXPECT_NE(line.find("'" + WideToUtf8(ColRowToRefStr(col, row, false, false)) + ">5'"),
                      std::string::npos)
                << read[i] << ": " << line;
        }
        EXPECT_GE(rules, 1) << read[i] << ::testing::PrintToString(ranges[i]);
        EXPECT_GE(validations, 1) << read[i] << ::testing::PrintToString(ranges[i]);
    }
}

// gnumeric writes every cell-value rule of a range into one CONDFMT, five
// or four of them where BIFF8 holds three. The workbook is read with the
// first three rules of each range; the rules past them are named in a
// warning. LibreOffice and gnumeric find those three in our copy.
TEST_F(OtherWriters, GnumericConditionalFormatsOfMoreThanThreeRules) {
    testfiles::ScratchDir dir;
    ASSERT_TRUE(RunPython(
        dir, "import openpyxl\n"
             "from openpyxl.formatting.rule import CellIsRule\n"
             "from openpyxl.styles import PatternFill\n"
             "wb = openpyxl.Workbook()\n"
             "ws = wb.active\n"
             "ws.title = 'Rules'\n"
             "for i in range(1, 11):\n"
             "    ws.cell(row=i, column=1, value=i)\n"
             "    ws.cell(row=i, column=2, value=i * 2)\n"
             "fill = PatternFill(bgColor='FFFF00', fill_type='solid')\n"
             "rules = [('greaterThan', ['8']), ('lessThan', ['2']), ('equal', ['5']), "
             "('between', ['3', '4']), ('equal', ['7'])]\n"
             "for op, f in rules:\n"
             "    ws.conditional_formatting.add('A1:A10', CellIsRule(operator=op, formula=f, fill=fill))\n"
             "for op, f in rules[:4]:\n"
             "    ws.conditional_formatting.add('B1:B10', CellIsRule(operator=op, formula=f, fill=fill))\n"
             "wb.save('" +
                 dir.File("rules.xlsx") + "')\n"));
    const std::string gnumeric = dir.File("rules.xls");
    const oracle::TRun made = Bounded("ssconvert -T Gnumeric_Excel:excel_biff8 " +
                                      oracle::Quote(dir.File("rules.xlsx")) + " " + oracle::Quote(gnumeric));
    ASSERT_TRUE(made.Status == 0 && testfiles::Exists(gnumeric))
        << "ssconvert did not convert the workbook: " << made.Output;
    const auto records = biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(gnumeric)));
    ASSERT_EQ(biffbuild::CountOf(records, 0x01B1), 9u) << "the shape this test is about";
    testfiles::KeepTestOutput(gnumeric, "gnumeric_condfmt_five_rules.xls");

    TTabrix4 book;
    ReadBook(book, gnumeric);
    EXPECT_EQ(OurCells(book), XlrdCells(gnumeric));
    const TConditionalFormats& formats = book.GetSheet(0).ConditionalFormats();
    ASSERT_EQ(formats.Count(), 2);
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(formats.Items(f).Condition1.GetCompOperator(), TConditionOperator::coGreater);
        EXPECT_EQ(formats.Items(f).Condition1.GetFormula1(), u"8");
        EXPECT_EQ(formats.Items(f).Condition3.GetFormula1(), u"5");
    }
    EXPECT_TRUE(HasWarning(book,
                           "Sheet 'Rules': the conditions past the third of the format on A1:A10 were left "
                           "out (4: cell value between 3 and 4; 5: cell value = 7)"));
    EXPECT_TRUE(HasWarning(book, "on B1:B10 were left out (4: cell value between 3 and 4)"));
    EXPECT_EQ(book.Warnings().size(), 2u) << testing::PrintToString(book.Warnings());

    WriteBook(book, dir.File("back.xls"));
    testfiles::KeepTestOutput(dir.File("back.xls"), "gnumeric_condfmt_five_rules_copy.xls");
    const std::string out = dir.File("xlsx");
    ASSERT_EQ(testfiles::LibreOfficeConvert({dir.File("back.xls")}, out, "xlsx").Status, 0);
    const auto ranges = oracle::SheetRanges("openpyxl", {out + "/back.xlsx"});
    ASSERT_EQ(ranges.size(), 1u);
    int rules = 0;
    for (const auto& line : ranges[0]) rules += line.rfind("cf Rules ", 0) == 0;
    EXPECT_EQ(rules, 6) << testing::PrintToString(ranges[0]);
    const oracle::TRun read = Bounded("ssconvert " + oracle::Quote(dir.File("back.xls")) + " " +
                                      oracle::Quote(dir.File("back.gnumeric")));
    ASSERT_EQ(read.Status, 0) << read.Output;
    // gnumeric finds the first three rules on both ranges, which share one style region.
    const std::string xml = Bounded("zcat " + oracle::Quote(dir.File("back.gnumeric"))).Output;
    const size_t region =
        xml.find("<gnm:StyleRegion startCol=\"0\" startRow=\"0\" endCol=\"1\" endRow=\"9\">");
    ASSERT_NE(region, std::string::npos);
    std::vector<std::string> expressions;
    const std::string open = "<gnm:Expression0>";
    for (size_t at = xml.find(open, region);
         at != std::string::npos && at < xml.find("</gnm:StyleRegion>", region); at = xml.find(open, at + 1))
        expressions.push_back(
            xml.substr(at + open.size(), xml.find('<', at + open.size()) - at - open.size()));
    EXPECT_EQ(expressions, (std::vector<std::string>{"8", "2", "5"}));
}

// gnumeric writes an empty string of a validation as a zero count followed
// by the flag byte.
TEST_F(OtherWriters, GnumericValidations) {
    testfiles::ScratchDir dir;
    ASSERT_TRUE(
        RunPython(dir, "import openpyxl\n"
                       "from openpyxl.worksheet.datavalidation import DataValidation\n"
                       "wb = openpyxl.Workbook()\n"
                       "ws = wb.active\n"
                       "ws.title = 'Valid'\n"
                       "for i in range(1, 6):\n"
                       "    ws.cell(row=i, column=1, value=i)\n"
                       "    ws.cell(row=i, column=2, value='x%d' % i)\n"
                       "dv = DataValidation(type='whole', operator='between', formula1='1', "
                       "formula2='10')\n"
                       "ws.add_data_validation(dv); dv.add('A1:A5')\n"
                       "dv2 = DataValidation(type='list', formula1='\"a,b,c\"', showErrorMessage=True, "
                       "errorTitle='Bad', error='Pick one')\n"
                       "ws.add_data_validation(dv2); dv2.add('C1:C5')\n"
                       "wb.create_sheet('Next')['A1'] = 7\n"
                       "wb.save('" +
                           dir.File("dv.xlsx") + "')\n"));
    // gnumeric's copy of a workbook this component wrote, too.
    {
        TTabrix4 ours;
        TSheet& s = ours.GetSheet(0);
        s.SetAsInteger(0, 0, 5);
        TDataValidation& v = s.Validations().Add();
        v.Areas.AddArea(0, 0, 0, 9);
        v.SetValidationType(TValidationType::vtInteger);
        v.SetExpression1(u"1");
        WriteBook(ours, dir.File("ours.xls"));
    }
    for (const char* name : {"dv", "ours"}) {
        const std::string from = dir.File(std::string(name) + (name[0] == 'd' ? ".xlsx" : ".xls"));
        const std::string to = dir.File(std::string(name) + "_gnumeric.xls");
        if (Bounded("ssconvert -T Gnumeric_Excel:excel_biff8 " + oracle::Quote(from) + " " +
                    oracle::Quote(to))
                    .Status != 0 ||
            !testfiles::Exists(to))
            FAIL() << "ssconvert did not convert " << name;
    }

    TTabrix4 book;
    ReadBook(book, dir.File("dv_gnumeric.xls"));
    const Cells xlrd = XlrdCells(dir.File("dv_gnumeric.xls"));
    ASSERT_FALSE(xlrd.empty()) << "xlrd did not read the file";
    EXPECT_EQ(OurCells(book), xlrd);
    TDataValidations& list = book.GetSheet(0).Validations();
    ASSERT_EQ(list.Count(), 2);
    // gnumeric writes them in no fixed order.
    const bool listFirst = list.Items(0).Areas[0].Col1 == 2;
    const TDataValidation& whole = list.Items(listFirst ? 1 : 0);
    const TDataValidation& items = list.Items(listFirst ? 0 : 1);
    EXPECT_EQ(whole.GetValidationType(), TValidationType::vtInteger);
    EXPECT_EQ(whole.GetValidationOperator(), TValidationOperator::vopBetween);
    EXPECT_EQ(whole.GetExpression2(), u"10");
    EXPECT_EQ(whole.Areas[0].Row2, 4u);
    EXPECT_EQ(items.GetValidationType(), TValidationType::vtList);
    EXPECT_EQ(items.GetErrorTitle(), u"Bad");
    EXPECT_EQ(items.GetErrorMsg(), u"Pick one");
    EXPECT_EQ(items.GetInputTitle(), u"");
    EXPECT_EQ(items.Areas[0].Col1, 2u);

    TTabrix4 ours;
    ReadBook(ours, dir.File("ours_gnumeric.xls"));
    ASSERT_EQ(ours.GetSheet(0).Validations().Count(), 1);
    EXPECT_EQ(ours.GetSheet(0).Validations().Items(0).GetExpression1(), u"1");
    EXPECT_EQ(ours.GetSheet(0).Validations().Items(0).Areas[0].Row2, 9u);
}

// A plain record stream that starts with the BIFF5-BIFF8 BOF id and a
// 6-byte body; xlrd refuses it, LibreOffice and gnumeric read it.
TEST_F(OtherWriters, PlainStreamWithASixByteBIFF8BOF) {
    const fs::path file = RealFile("ExcelDataReader/Test_git_issue_368_header.xls");
    if (file.empty() || !fs::exists(file)) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    const std::string out = dir.File("csv");
    fs::create_directory(out);
    if (testfiles::LibreOfficeConvert({file.string()}, out, CsvFilter(false)).Status != 0)
        FAIL() << "LibreOffice did not convert the workbook";
    Cells libreOffice;
    AddCsv(libreOffice, 0, out + "/Test_git_issue_368_header-Sheet1.csv");
    ASSERT_EQ(libreOffice.size(), 6u);
    TTabrix4 book;
    ReadBook(book, file.string());
    EXPECT_EQ(OurCells(book), Canonical(libreOffice));
}

// A damaged compound file stays refused when no other reader opens it: of
// the 823 sectors its workbook stream needs, the file holds 548, two of
// its seven allocation-table sectors and its second directory sector lie
// beyond its end. LibreOffice takes it for a text file, gnumeric, xlrd and
// olefile refuse it.
TEST_F(OtherWriters, ACompoundFileCutShortStaysRefused) {
    const fs::path file = RealFile("ExcelDataReader/Test_git_issue_5.xls");
    if (file.empty() || !fs::exists(file)) GTEST_SKIP() << "no real-world test files here";
    TTabrix4 book;
    try {
        ReadBook(book, file.string());
        ADD_FAILURE() << "read";
    } catch (const XLSError& e) {
        EXPECT_NE(std::string(e.what()).find("Bad compound file"), std::string::npos) << e.what();
    }
}

// A package sheet whose part is missing reads as an empty sheet with the
// rest of the workbook, and a shared-string index beyond the table as an
// empty text, as LibreOffice reads them.
TEST_F(OtherWriters, PackagesWithAMissingSheetPartOrStringIndex) {
    testfiles::ScratchDir dir;
    ASSERT_TRUE(
        RunPython(dir, "import xlsxwriter, zipfile, re\n"
                       "wb = xlsxwriter.Workbook('" +
                           dir.File("full.xlsx") +
                           "')\n"
                           "ws = wb.add_worksheet('First')\n"
                           "ws.write('A1', 'one'); ws.write('B1', 1.5); ws.write('A2', 'two')\n"
                           "wb.add_worksheet('Gone').write('A1', 'lost')\n"
                           "wb.add_worksheet('Third').write('B2', 'three')\n"
                           "wb.close()\n"
                           "zin = zipfile.ZipFile('" +
                           dir.File("full.xlsx") +
                           "')\n"
                           "for out, change in (('nopart.xlsx', 'drop'), ('index.xlsx', 'index')):\n"
                           "    z = zipfile.ZipFile('" +
                           dir.Path() +
                           "/' + out, 'w', zipfile.ZIP_DEFLATED)\n"
                           "    for n in zin.namelist():\n"
                           "        data = zin.read(n)\n"
                           "        if change == 'drop' and n == 'xl/worksheets/sheet2.xml': continue\n"
                           "        if change == 'index' and n == 'xl/worksheets/sheet1.xml':\n"
                           "            data = re.sub(rb'(<c r=\"A2\" t=\"s\"><v>)\\d+', rb'\\g<1>7', data)\n"
                           "        z.writestr(n, data)\n"
                           "    z.close()\n"));
    const std::string out = dir.File("csv");
    fs::create_directory(out);
    if (testfiles::LibreOfficeConvert({dir.File("nopart.xlsx"), dir.File("index.xlsx")}, out,
                                      CsvFilter(false))
            .Status != 0)
        FAIL() << "LibreOffice did not convert the packages";
    struct Case {
        const char* name;
        std::vector<std::string> sheets;
        const char* warning;
    } cases[] = {
        {"nopart", {"First", "Gone", "Third"}, "Sheet 'Gone': its part xl/worksheets/sheet2.xml is missing"},
        {"index", {"First", "Gone", "Third"}, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cells libreOffice;
        for (int s = 0; s < int(c.sheets.size()); ++s) {
            const std::string csv = out + "/" + c.name + "-" + c.sheets[size_t(s)] + ".csv";
            if (testfiles::Exists(csv)) AddCsv(libreOffice, s, csv);
        }
        TTabrix4 book;
        ReadBook(book, dir.File(std::string(c.name) + ".xlsx"));
        ASSERT_EQ(book.Sheets().Count(), int(c.sheets.size()));
        for (int s = 0; s < int(c.sheets.size()); ++s)
            EXPECT_EQ(WideToUtf8(book.GetSheet(s).Name()), c.sheets[size_t(s)]);
        EXPECT_EQ(OurCells(book), Canonical(libreOffice));
        if (c.warning) {
            EXPECT_TRUE(HasWarning(book, c.warning));
        }
        // Written back, the package holds the same.
        WriteBook(book, dir.File(std::string(c.name) + "_back.xlsx"));
        TTabrix4 back;
        ReadBook(back, dir.File(std::string(c.name) + "_back.xlsx"));
        EXPECT_EQ(OurCells(back), Canonical(libreOffice));
    }
    TTabrix4 index;
    ReadBook(index, dir.File("index.xlsx"));
    EXPECT_EQ(index.GetSheet(0).GetCellType(0, 1), ctString);
}

namespace {

// Record ids a BIFF4 worksheet file holds.
const std::set<uint16_t> BIFF4Ids = {0x0409, 0x005C, 0x0042, 0x000D, 0x000F, 0x0011, 0x000E, 0x0022, 0x002A,
                                     0x002B, 0x0225, 0x008C, 0x008D, 0x0081, 0x0231, 0x0014, 0x0015, 0x0083,
                                     0x0084, 0x00A1, 0x0040, 0x041E, 0x0019, 0x0443, 0x0293, 0x0055, 0x007D,
                                     0x0200, 0x0208, 0x0201, 0x0203, 0x0204, 0x0205, 0x027E, 0x0406, 0x0207,
                                     0x0221, 0x003D, 0x023E, 0x001D, 0x000A};

// The cells of every sheet as LibreOffice and gnumeric show them, numbers
// in their shortest text.
struct Shown {
    Cells LibreOffice, Gnumeric;
};

// Both programs' views of the files, in order; empty when a program did not run.
std::vector<Shown> ShownByOthers(const testfiles::ScratchDir& dir, const std::vector<std::string>& files) {
    std::vector<Shown> out(files.size());
    const std::string csv = dir.File("shown");
    fs::create_directories(csv);
    if (testfiles::LibreOfficeConvert(files, csv, CsvFilter(true)).Status != 0) return {};
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string base = fs::path(files[i]).stem().string();
        for (const auto& e : fs::directory_iterator(csv))
            if (e.path().filename().string().rfind(base + "-", 0) == 0)
                AddCsv(out[i].LibreOffice, 0, e.path());
        const std::string g = csv + "/" + base + ".g.csv";
        if (Bounded("ssconvert " + oracle::Quote(files[i]) + " " + oracle::Quote(g), 120).Status != 0)
            return {};
        AddCsv(out[i].Gnumeric, 0, g);
        out[i].LibreOffice = Canonical(out[i].LibreOffice);
        out[i].Gnumeric = Canonical(out[i].Gnumeric);
    }
    return out;
}

unsigned FreeXLCells(const std::string& file) {
    testfiles::FreeXLBook x = testfiles::ReadWithFreeXL(file, {}, true);
    return x.Opened ? x.NonEmptyCells : 0;
}

} // namespace

// BIFF4 has no MULRK or MULBLANK: numbers are RK or NUMBER records of their
// own and blanks BLANK records, so every reader sees every cell.
TEST_F(WrittenBack, BIFF4WritesOnlyRecordsOfItsVersion) {
    testfiles::ScratchDir dir;
    std::vector<std::string> sources, copies;
    const fs::path biff3 = RealFile("ExcelDataReader/biff3.xls");
    if (!biff3.empty() && fs::exists(biff3)) {
        sources.push_back(dir.File("biff3.xls"));
        fs::copy_file(biff3, sources.back());
    }
    {
        // Runs of numbers, of blanks, texts, booleans, errors and a formula.
        TTabrix4 made;
        TSheet& s = made.GetSheet(0);
        for (int c = 0; c < 6; ++c) {
            s.SetAsInteger(c, 0, c + 1);
            s.SetAsFloat(c, 1, c + 0.25);
            s.SetAsFloat(c, 2, 1.0 / 3 + c);
            s.PutBlank(c, 3, 15);
        }
        s.SetAsString(0, 4, u"text");
        s.SetAsBoolean(1, 4, true);
        s.PutError(2, 4, 15, 2);
        TFormulaResult r;
        r.Text = u"ab";
        s.PutFormulaText(ctStringFormula, 3, 4, 15, "\"a\"&\"b\"", 0, 0, r);
        made.SetVersion(TExcelVersion::xvExcel40);
        WriteBook(made, dir.File("made.xls"));
        testfiles::KeepTestOutput(dir.File("made.xls"), "biff4_made.xls");
    }
    for (const std::string& from : sources) {
        TTabrix4 book;
        ReadBook(book, from);
        ASSERT_EQ(book.GetVersion(), TExcelVersion::xvExcel30);
        book.SetVersion(TExcelVersion::xvExcel40);
        copies.push_back(dir.File("copy_" + fs::path(from).filename().string()));
        WriteBook(book, copies.back());
    }
    copies.push_back(dir.File("made.xls"));

    for (const std::string& file : copies) {
        SCOPED_TRACE(file);
        std::set<uint16_t> foreign;
        for (const auto& rec : biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(file)), true))
            if (!BIFF4Ids.count(rec.Id)) foreign.insert(rec.Id);
        EXPECT_TRUE(foreign.empty()) << "first foreign record id " << std::hex << *foreign.begin();
    }
    // FreeXL sees every cell (blanks and formulas are none to it), xlrd's
    // count for the source.
    EXPECT_EQ(FreeXLCells(dir.File("made.xls")), 21u);
    if (!sources.empty()) {
        EXPECT_EQ(FreeXLCells(copies[0]), 6871u);
    }

    std::vector<std::string> all = sources;
    all.insert(all.end(), copies.begin(), copies.end());
    const std::vector<Shown> shown = ShownByOthers(dir, all);
    if (shown.empty()) FAIL() << "LibreOffice or gnumeric did not convert the files";
    for (size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(shown[sources.size() + i].LibreOffice, shown[i].LibreOffice) << sources[i];
        EXPECT_EQ(shown[sources.size() + i].Gnumeric, shown[i].Gnumeric) << sources[i];
    }
    const Shown& made = shown.back();
    EXPECT_EQ(made.LibreOffice.size(), 22u);
    EXPECT_EQ(made.Gnumeric.size(), 22u);
    EXPECT_EQ(made.LibreOffice.at({0, 1, 5}), "5.25");
    EXPECT_EQ(made.Gnumeric.at({0, 4, 3}), "ab");
}

// BIFF3 and BIFF4 files in the 1904 date system show their dates as other
// readers show them, and a BIFF4 copy keeps the system.
TEST_F(WrittenBack, The1904DateSystemOfOldFiles) {
    testfiles::ScratchDir dir;
    std::vector<std::string> sources, copies;
    for (const char* name : {"as3xls_BIFF3.xls", "as3xls_BIFF4.xls"}) {
        const fs::path f = RealFile(std::string("ExcelDataReader/") + name);
        if (f.empty() || !fs::exists(f)) GTEST_SKIP() << "no real-world test files here";
        sources.push_back(dir.File(name));
        fs::copy_file(f, sources.back());
    }
    for (const std::string& from : sources) {
        SCOPED_TRACE(from);
        TTabrix4 book;
        ReadBook(book, from);
        EXPECT_TRUE(book.Workbook().GetDate1904());
        // A date cell (C3) as LibreOffice, gnumeric and xlrd show it: 19 January 2002.
        EXPECT_EQ(book.GetSheet(0).Cells().GetDisplayText(2, 2), u"19-Jan-02");
        book.SetVersion(TExcelVersion::xvExcel40);
        // FreeXL reads no Mac Roman text; the texts are ASCII.
        book.CodePage = 1252;
        copies.push_back(dir.File("copy_" + fs::path(from).filename().string()));
        WriteBook(book, copies.back());
        const auto records = biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(copies.back())));
        const biffbuild::Record* mode = biffbuild::Find(records, 0x0022);
        ASSERT_TRUE(mode);
        EXPECT_EQ(mode->Body, (biffbuild::Bytes{1, 0}));
        testfiles::FreeXLBook x = testfiles::ReadWithFreeXL(copies.back(), {{0, 2, 2}});
        ASSERT_TRUE(x.Opened);
        EXPECT_EQ(x.Values, std::vector<std::string>{"2002-01-19"});
    }
    std::vector<std::string> all = sources;
    all.insert(all.end(), copies.begin(), copies.end());
    const std::vector<Shown> shown = ShownByOthers(dir, all);
    if (shown.empty()) FAIL() << "LibreOffice or gnumeric did not convert the files";
    for (size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i]);
        EXPECT_EQ(shown[i].LibreOffice.at({0, 2, 2}), "19-Jan-02");
        EXPECT_EQ(shown[sources.size() + i].LibreOffice, shown[i].LibreOffice);
        EXPECT_EQ(shown[sources.size() + i].Gnumeric, shown[i].Gnumeric);
    }
}

// A protection FEATHDR without PROTECT leaves the sheet unprotected in the
// copy, as in the source; a protected sheet stays protected.
TEST_F(WrittenBack, SheetProtectionAsTheSourceHadIt) {
    testfiles::ScratchDir dir;
    struct Source {
        std::string file;
        bool protectedSheet;
    };
    std::vector<Source> sources;
    for (const char* name : {"ExcelDataReader/protectedsheet-xxx.xls", "apache-poi/50833.xls"}) {
        const fs::path f = RealFile(name);
        if (!f.empty() && fs::exists(f)) sources.push_back({f.string(), false});
    }
    ASSERT_TRUE(RunPython(dir, "import openpyxl\n"
                               "wb = openpyxl.Workbook()\n"
                               "wb.active['A1'] = 'locked'\n"
                               "wb.active.protection.sheet = True\n"
                               "wb.create_sheet('Open')['A1'] = 'open'\n"
                               "wb.save('" +
                                   dir.File("locked.xlsx") + "')\n"));
    if (testfiles::LibreOfficeConvert({dir.File("locked.xlsx")}, dir.Path(), "xls").Status != 0 ||
        !testfiles::Exists(dir.File("locked.xls")))
        FAIL() << "LibreOffice did not convert the workbook";
    sources.push_back({dir.File("locked.xls"), true});

    std::vector<std::string> copies;
    for (size_t i = 0; i < sources.size(); ++i) {
        TTabrix4 book;
        ReadBook(book, sources[i].file);
        copies.push_back(dir.File("copy" + std::to_string(i) + ".xls"));
        WriteBook(book, copies.back());
    }
    const std::string out = dir.File("xlsx");
    fs::create_directory(out);
    ASSERT_TRUE(testfiles::LibreOfficeConvert(copies, out, "xlsx").Status == 0);
    for (size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i].file);
        const std::string x = out + "/copy" + std::to_string(i) + ".xlsx";
        oracle::TRun r = Bounded("/usr/bin/python3 -c " +
                                     oracle::Quote("import openpyxl, sys\n"
                                                   "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                                   "print('protected', ''.join(str(int(ws.protection.sheet)) "
                                                   "for ws in wb.worksheets))\n") +
                                     " " + oracle::Quote(x),
                                 120);
        ASSERT_EQ(r.Status, 0) << r.Output;
        const size_t at = r.Output.find("protected ");
        ASSERT_NE(at, std::string::npos) << r.Output;
        // The first sheet as the source had it, the others unprotected.
        const std::string flags = r.Output.substr(at + 10, r.Output.find('\n', at) - at - 10);
        ASSERT_FALSE(flags.empty());
        EXPECT_EQ(flags[0], sources[i].protectedSheet ? '1' : '0') << r.Output;
        EXPECT_EQ(flags.find('1', 1), std::string::npos) << "a further sheet protected: " << r.Output;
    }
}

namespace {

int FilterRangeNames(TTabrix4& book) {
    int n = 0;
    for (int i = 0; i < book.GetInternalNames().Count(); ++i)
        n += book.GetInternalNames().Items(i).GetBuiltInCode() == FilterDatabaseCode;
    return n;
}

int ComboBoxes(TTabrix4& book) {
    int n = 0;
    for (int s = 0; s < book.Sheets().Count(); ++s)
        n += book.GetSheet(s).ControlsObjects().ComboBoxes.Count();
    return n;
}

// The lines of LibreOffice's .xlsx of each file (converted in one call)
// that name an autofilter, as openpyxl reads them.
std::vector<std::vector<std::string>> FiltersLibreOfficeShows(const testfiles::ScratchDir& dir,
                                                              const std::vector<std::string>& files) {
    const std::string out = dir.File("xlsx");
    fs::create_directories(out);
    if (testfiles::LibreOfficeConvert(files, out, "xlsx").Status != 0) return {};
    std::vector<std::string> packages;
    for (const auto& f : files) packages.push_back(out + "/" + fs::path(f).stem().string() + ".xlsx");
    std::vector<std::vector<std::string>> result;
    for (const auto& lines : oracle::SheetRanges("openpyxl", packages)) {
        result.emplace_back();
        for (const auto& l : lines)
            if (l.rfind("autofilter ", 0) == 0) result.back().push_back(l);
    }
    return result;
}

} // namespace

// Clearing the filters of every sheet of a real file leaves no filter range
// name and no drop-down; the reader links each filter to its drop-down.
TEST_F(OtherWriters, AutoFiltersClearedOnEverySheet) {
    const fs::path file = RealFile("sheetjs-test_files/AutoFilter.xls");
    if (file.empty() || !fs::exists(file)) GTEST_SKIP() << "no real-world test files here";
    TTabrix4 book;
    ReadBook(book, file.string());
    ASSERT_EQ(book.Sheets().Count(), 11);
    const int rangeNames = FilterRangeNames(book);
    EXPECT_GE(rangeNames, 10);
    EXPECT_GE(ComboBoxes(book), 50);
    int linked = 0, filters = 0;
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TAutoFilters& f = book.GetSheet(s).AutoFilters();
        for (int i = 0; i < f.Count(); ++i)
            if (f.Items(i)) {
                ++filters;
                linked += f.Items(i)->Control >= 0;
            }
    }
    EXPECT_GT(filters, 0);
    EXPECT_EQ(linked, filters);
    const int names = book.GetInternalNames().Count();
    const int shapes = book.GetSheet(0).Drawing().ShapeCount();
    const int dropDowns0 = book.GetSheet(0).ControlsObjects().ComboBoxes.Count();

    for (int s = 0; s < book.Sheets().Count(); ++s) book.GetSheet(s).AutoFilters().Clear();
    EXPECT_EQ(FilterRangeNames(book), 0);
    EXPECT_EQ(ComboBoxes(book), 0);
    EXPECT_EQ(book.GetInternalNames().Count(), names - rangeNames);
    EXPECT_EQ(book.GetSheet(0).Drawing().ShapeCount(), shapes - dropDowns0);

    testfiles::ScratchDir dir;
    WriteBook(book, dir.File("cleared.xls"));
    TTabrix4 back;
    ReadBook(back, dir.File("cleared.xls"));
    EXPECT_EQ(FilterRangeNames(back), 0);
    EXPECT_EQ(ComboBoxes(back), 0);
    EXPECT_EQ(OurCells(back), OurCells(book));
    const auto shown = FiltersLibreOfficeShows(dir, {dir.File("cleared.xls")});
    if (shown.empty()) FAIL() << "LibreOffice did not convert the workbook";
    EXPECT_TRUE(shown[0].empty()) << testing::PrintToString(shown[0]);
}

// Filters made here get the filter range name, by which LibreOffice and
// gnumeric find them.
TEST_F(OtherWriters, AutoFiltersMadeHereAreShownByOthers) {
    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    sheet.SetName(u"Goods's");
    for (int c = 0; c < 3; ++c) sheet.SetAsString(c + 1, 1, u"head");
    for (int r = 2; r < 8; ++r)
        for (int c = 0; c < 3; ++c) sheet.SetAsInteger(c + 1, r, r * 10 + c);
    TAutoFilter& f = sheet.AutoFilters().Filter(1);
    f.Conditions[0].Kind = 1;
    f.Conditions[0].Operator = 4; // greater than
    f.Conditions[0].Number = 40;
    testfiles::ScratchDir dir;
    WriteBook(book, dir.File("made.xls"));
    testfiles::KeepTestOutput(dir.File("made.xls"), "autofilter_made.xls");
    EXPECT_EQ(FilterRangeNames(book), 1);
    // The range, one drop-down over each of its columns, the filter linked.
    EXPECT_EQ(ComboBoxes(book), 3);
    EXPECT_GE(f.Control, 0);
    TTabrix4 back;
    ReadBook(back, dir.File("made.xls"));
    EXPECT_EQ(FilterRangeNames(back), 1);
    EXPECT_EQ(ComboBoxes(back), 3);
    ASSERT_TRUE(back.GetSheet(0).AutoFilters().Items(1));
    EXPECT_GE(back.GetSheet(0).AutoFilters().Items(1)->Control, 0);

    const auto shown = FiltersLibreOfficeShows(dir, {dir.File("made.xls")});
    if (shown.empty()) FAIL() << "LibreOffice did not convert the workbook";
    EXPECT_EQ(shown[0], std::vector<std::string>{"autofilter Goods's B2:D8"});
    const std::string gnumeric = dir.File("made.gnumeric");
    if (Bounded("ssconvert " + oracle::Quote(dir.File("made.xls")) + " " + oracle::Quote(gnumeric), 120)
            .Status != 0)
        FAIL() << "ssconvert did not convert the workbook";
    const oracle::TRun xml = Bounded("zcat " + oracle::Quote(gnumeric), 60);
    EXPECT_NE(xml.Output.find("<gnm:Filter Area=\"B2:D8\""), std::string::npos);

    // They go with Clear, name and drop-downs.
    back.GetSheet(0).AutoFilters().Clear();
    EXPECT_EQ(FilterRangeNames(back), 0);
    EXPECT_EQ(ComboBoxes(back), 0);
}

// gnumeric gives a filtered sheet two filter range names, one of them
// hidden; Clear removes both, so LibreOffice finds no filter and no name of
// one in the copy.
TEST_F(OtherWriters, GnumericFilterRangeNamesAllGoWithClear) {
    testfiles::ScratchDir dir;
    ASSERT_TRUE(
        RunPython(dir, "import xlsxwriter\n"
                       "wb = xlsxwriter.Workbook('" +
                           dir.File("af.xlsx") +
                           "')\n"
                           "ws = wb.add_worksheet('Data')\n"
                           "ws.write_row(0, 0, ['Name', 'Qty', 'Price'])\n"
                           "for i in range(1, 8): ws.write_row(i, 0, ['item%d' % i, i * 3, i * 1.5])\n"
                           "ws.autofilter(0, 0, 7, 2)\n"
                           "ws.filter_column(1, 'x > 5')\n"
                           "wb.close()\n"));
    const std::string gnumeric = dir.File("af_gnumeric.xls");
    const oracle::TRun made = Bounded("ssconvert -T Gnumeric_Excel:excel_biff8 " +
                                      oracle::Quote(dir.File("af.xlsx")) + " " + oracle::Quote(gnumeric));
    ASSERT_TRUE(made.Status == 0 && testfiles::Exists(gnumeric))
        << "ssconvert did not convert the workbook: " << made.Output;
    TTabrix4 book;
    ReadBook(book, gnumeric);
    ASSERT_EQ(FilterRangeNames(book), 2);
    const int names = book.GetInternalNames().Count();
    book.GetSheet(0).AutoFilters().Clear();
    EXPECT_EQ(FilterRangeNames(book), 0);
    EXPECT_EQ(book.GetInternalNames().Count(), names - 2);
    WriteBook(book, dir.File("cleared.xls"));
    testfiles::KeepTestOutput(dir.File("cleared.xls"), "autofilter_gnumeric_cleared.xls");

    const auto filters = FiltersLibreOfficeShows(dir, {dir.File("cleared.xls")});
    ASSERT_FALSE(filters.empty()) << "LibreOffice did not convert our workbook";
    EXPECT_TRUE(filters[0].empty()) << testing::PrintToString(filters[0]);
    const oracle::TRun shown = oracle::OpenpyxlStyles(dir.File("xlsx/cleared.xlsx"));
    ASSERT_EQ(shown.Status, 0) << shown.Output;
    EXPECT_EQ(shown.Output.find("FilterDatabase"), std::string::npos) << shown.Output;
    const std::string again = dir.File("cleared.gnumeric");
    const oracle::TRun read =
        Bounded("ssconvert " + oracle::Quote(dir.File("cleared.xls")) + " " + oracle::Quote(again));
    ASSERT_EQ(read.Status, 0) << "gnumeric did not read our workbook: " << read.Output;
    const oracle::TRun xml = Bounded("zcat " + oracle::Quote(again), 60);
    EXPECT_EQ(xml.Output.find("<gnm:Filter "), std::string::npos);
    EXPECT_EQ(xml.Output.find("FilterDatabase"), std::string::npos);
}
