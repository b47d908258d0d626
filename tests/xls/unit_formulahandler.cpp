// The formula handler in the workbook: formula text of cells in file and
// display syntax, 3-D references through the EXTERNSHEET table, .xlsx
// shared formulas dissolved, formulas moved with copied cells (and a
// refused copy changing nothing), and the tokens the cell writer gets for
// formulas of other layouts.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/model/Cell.h"
#include "support_files.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

using namespace xls;
using Bytes = std::vector<uint8_t>;

namespace {

struct FormulaBook : FreshLibState {
    TTabrix4 book;
    TFormulaHandler& formulas = book.FormulaHandler();

    // A formula cell made from text (file syntax) on a sheet.
    TFormulaCell* Put(int sheet, int col, int row, std::u16string_view text, double value = 0) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Sheet = sheet;
        TEncodedFormula f = formulas.EncodeFormula(text, how);
        TFormulaResult r;
        r.Number = value;
        auto* cell = static_cast<TFormulaCell*>(
            book.GetSheet(sheet).PutFormula(ctNumberFormula, col, row, 15, int(f.TokenLength), f.Data, r));
        return cell;
    }
    std::string Text(int sheet, int col, int row) { return book.GetSheet(sheet).GetAsFormula(col, row); }
    // Written to a file and read back into a new workbook.
    std::unique_ptr<TTabrix4> RoundTrip(TExcelVersion version = TExcelVersion::xvExcel97) {
        testfiles::ScratchDir dir;
        book.SetVersion(version);
        book.SetFilename(Utf8ToWide(dir.File("book.xls")));
        book.Write();
        auto back = std::make_unique<TTabrix4>();
        back->SetFilename(Utf8ToWide(dir.File("book.xls")));
        back->Read();
        return back;
    }
};

} // namespace

TEST_F(FormulaBook, TextInFileSyntaxWhateverTheUsersSeparators) {
    LibState().Locale.DecimalSeparator = u',';
    LibState().Locale.ListSeparator = u';';
    Put(0, 2, 0, u"1.5+SUM(A1,B1)");
    EXPECT_EQ(Text(0, 2, 0), "1.5+SUM(A1,B1)");
    EXPECT_EQ(formulas.GetCellFormulaXML(0, 2, 0), u"1.5+SUM(A1,B1)");
    // Shown with the user's separators, and read back from them.
    book.ShowFormulas = true;
    EXPECT_EQ(book.GetSheet(0).GetAsString(2, 0), u"1,5+SUM(A1;B1)");
    TEncodedFormula f = formulas.EncodeFormula(u"1,5+SUM(A1;B1)");
    EXPECT_EQ(formulas.DecodeFormula(f.Data, f.TokenLength, {.FileSyntax = true}), u"1.5+SUM(A1,B1)");
    book.ShowFormulas = false;
    EXPECT_EQ(book.GetSheet(0).GetAsString(2, 0), u"0");
    // Cells without a formula have none.
    book.GetSheet(0).SetAsFloat(0, 0, 1);
    EXPECT_THROW(book.GetSheet(0).GetAsFormula(0, 0), XLSError);
    EXPECT_THROW(formulas.GetCellFormulaXML(0, 0, 0), XLSError);
    EXPECT_THROW(formulas.GetCellFormulaXML(0, 9, 9), XLSError);
    formulas.ReencodeCell(0, 0, 0); // not a formula: nothing happens
    EXPECT_EQ(book.GetSheet(0).GetCellType(0, 0), ctFloat);
    // The layout follows the workbook's version.
    EXPECT_NE(formulas.EncodeFormula(u"A1").Data[0], 0xFE);
    book.SetVersion(TExcelVersion::xvExcel2007);
    TEncodedFormula x = formulas.EncodeFormula(u"A1");
    EXPECT_EQ(x.Data[0], 0xFE);
    EXPECT_EQ(x.TokenLength, 8u);
}

TEST_F(FormulaBook, ReferencesToOtherSheetsAndNamesAreWrittenAndReadBack) {
    book.GetSheet(0).SetName(u"Data");
    book.Sheets().Add(0).SetName(u"My Sheet");
    book.Sheets().Add(0).SetName(u"S2");
    TInternalName& rate = book.GetInternalNames().Add();
    rate.SetName(u"Rate");
    TEncodedFormula ref = formulas.EncodeFormula(u"'My Sheet'!$B$1", {.Class = 0x20, .FileSyntax = true});
    rate.Data = ref.Data;
    rate.TokenLength = uint16_t(ref.TokenLength);
    Put(0, 0, 0, u"'My Sheet'!A1+Data!B2*Rate");
    Put(0, 0, 1, u"SUM('S2'!A1:B2,'My Sheet:S2'!C3)");
    Put(1, 0, 0, u"#REF!A1+1");
    const auto back = RoundTrip();
    EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 0), "'My Sheet'!A1+Data!B2*Rate");
    EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 1), "SUM('S2'!A1:B2,'My Sheet:S2'!C3)");
    EXPECT_EQ(back->GetSheet(1).GetAsFormula(0, 0), "#REF!A1+1");
    TInternalNames& names = back->GetInternalNames();
    ASSERT_EQ(names.Count(), 1);
    EXPECT_EQ(names.Items(0).GetName(), u"Rate");
    EXPECT_EQ(back->FormulaHandler().DecodeFormula(names.Items(0).Data, names.Items(0).TokenLength,
                                                   {.FileSyntax = true}),
              u"'My Sheet'!$B$1");
    // A sheet that does not exist is refused.
    EXPECT_THROW(formulas.EncodeFormula(u"Nowhere!A1"), XLSError);
}

TEST_F(FormulaBook, SharedFormulasOfPackagesAreDissolved) {
    // B1:B3 share the text of B1 (=A1*2); B4 belongs to another shared formula.
    TCellValues& cells = book.GetSheet(0).Cells();
    cells.StringList = {u"B1:B3", u"B4:B4"};
    TFormulaResult r;
    TSheet& sheet = book.GetSheet(0);
    sheet.PutFormulaText(ctNumberFormula, 1, 0, 15, "A1*2", 0, 0, r);
    sheet.PutFormulaText(ctNumberFormula, 1, 1, 15, "", 0, 0, r);
    sheet.PutFormulaText(ctNumberFormula, 1, 2, 15, "", 0, 0, r);
    sheet.PutFormulaText(ctNumberFormula, 1, 3, 15, "A4+1", 1, 0, r);
    // Replacing a member dissolves its shared formula: every other member
    // gets tokens; the other shared formula stays as it was.
    sheet.SetAsFloat(1, 1, 7);
    EXPECT_EQ(Text(0, 1, 0), "A1*2");
    EXPECT_EQ(Text(0, 1, 2), "A3*2");
    EXPECT_FALSE(static_cast<TFormulaCell*>(sheet.GetCell(1, 2))->IsText());
    EXPECT_TRUE(static_cast<TFormulaCell*>(sheet.GetCell(1, 3))->IsText());
    EXPECT_TRUE(cells.StringList[0].empty());
    // A shared formula whose first cell is gone cannot be dissolved.
    TSheet& other = book.Sheets().Add(0);
    other.Cells().StringList.push_back(u"C1:C2");
    other.PutFormulaText(ctNumberFormula, 2, 1, 15, "", 0, 0, r);
    EXPECT_THROW(other.DeleteCell(2, 1), XLSError);
    EXPECT_EQ(other.GetCellType(2, 1), ctNumberFormula);
    book.Sheets().Delete(1);
    // The writer writes kept text as BIFF8 tokens; text it cannot encode
    // gives the cached value and a warning.
    sheet.PutFormulaText(ctNumberFormula, 3, 0, 15, "SUM(A1:A2)*2", NoSharedFormula, 0, r);
    r.Number = 5;
    sheet.PutFormulaText(ctNumberFormula, 3, 1, 15, "GET.CELL(1)", NoSharedFormula, 0, r);
    const auto back = RoundTrip();
    ASSERT_EQ(book.Warnings().size(), 1u);
    EXPECT_EQ(book.Warnings()[0], "Sheet1!D2: formula =GET.CELL(1) not written to .xls (Invalid function "
                                  "name GET.CELL); its value is kept");
    EXPECT_EQ(back->GetSheet(0).GetAsFormula(3, 0), "SUM(A1:A2)*2");
    EXPECT_EQ(back->GetSheet(0).GetAsFormula(1, 3), "A4+1");
    EXPECT_EQ(back->GetSheet(0).GetCellType(3, 1), ctFloat);
    EXPECT_EQ(back->GetSheet(0).GetAsFloat(3, 1), 5);
}

TEST_F(FormulaBook, MembersOfSharedFormulasTakeTheAnchorsFormulaMoved) {
    // Each recipe: the anchor's text at (col, row), the shared area, and
    // members with the formula each must show.
    struct TMember {
        int Col, Row;
        const char* Formula;
    };
    struct {
        const char* Anchor;
        int Col, Row;
        const char16_t* Area;
        std::vector<TMember> Members;
    } recipes[] = {
        {"A1*2", 1, 0, u"B1:B4", {{1, 1, "A2*2"}, {1, 3, "A4*2"}}},
        {"$A$1+A1+A$1+$A1", 2, 0, u"C1:D2", {{3, 0, "$A$1+B1+B$1+$A1"}, {3, 1, "$A$1+B2+B$1+$A2"}}},
        {"SUM(A1:A2)&Sheet2!B1", 4, 1, u"E2:E3", {{4, 2, "SUM(A2:A3)&Sheet2!B2"}}},
        // An anchor that is not the area's first cell: the reader says
        // where it stands.
        {"A5-1", 6, 4, u"F5:G6", {{5, 5, "#REF!-1"}, {6, 5, "A6-1"}}},
    };
    TSheet& sheet = book.GetSheet(0);
    book.Sheets().Add(0).SetName(u"Sheet2");
    TCellValues& cells = sheet.Cells();
    TFormulaResult r;
    for (uint16_t index = 0; index < std::size(recipes); ++index) {
        const auto& recipe = recipes[index];
        cells.StringList.push_back(recipe.Area);
        int col1, row1, col2, row2;
        ASSERT_TRUE(AreaStrToColRowPlain(recipe.Area, col1, row1, col2, row2));
        cells.SharedAnchors.push_back(col1 == recipe.Col && row1 == recipe.Row
                                          ? std::make_pair(-1, -1)
                                          : std::make_pair(recipe.Col, recipe.Row));
        sheet.PutFormulaText(ctNumberFormula, recipe.Col, recipe.Row, 15, recipe.Anchor, index, 0, r);
        for (const TMember& m : recipe.Members)
            sheet.PutFormulaText(ctNumberFormula, m.Col, m.Row, 15, "", index, 0, r);
    }
    for (const auto& recipe : recipes)
        for (const TMember& m : recipe.Members) {
            EXPECT_EQ(Text(0, m.Col, m.Row), m.Formula) << recipe.Anchor;
            EXPECT_EQ(WideToUtf8(formulas.GetCellFormulaXML(0, m.Col, m.Row)), m.Formula);
        }
    // The members compute with their own references.
    sheet.SetAsFloat(0, 0, 1.5);
    sheet.SetAsFloat(0, 3, 4);
    TFormulaValue v;
    sheet.CalculateCell(1, 3, v);
    EXPECT_EQ(v.Float, 8);
    // Written as a binary workbook, every member is a formula of its own.
    const auto back = RoundTrip();
    for (const auto& recipe : recipes)
        for (const TMember& m : recipe.Members)
            EXPECT_EQ(back->GetSheet(0).GetAsFormula(m.Col, m.Row), m.Formula) << recipe.Anchor;
    // A member whose anchor is gone says so.
    cells.StringList.push_back(u"H1:H2");
    sheet.PutFormulaText(ctNumberFormula, 7, 1, 15, "", uint16_t(cells.StringList.size() - 1), 0, r);
    EXPECT_THROW(Text(0, 7, 1), XLSError);
    EXPECT_THROW(sheet.CalculateCell(7, 1, v), XLSError);
}

TEST_F(FormulaBook, CopiedAndMovedFormulasMoveTheirReferences) {
    book.SetVersion(TExcelVersion::xvExcel97);
    Put(0, 0, 0, u"B1+$C$1+SUM(B$1:B2)");
    const int cells = ICellOperations::coCells;
    book.CopyCells(0, 0, 0, 0, 0, 0, 0, 2, cells | ICellOperations::coAdjustFormulas);
    EXPECT_EQ(Text(0, 0, 2), "B3+$C$1+SUM(B$1:B4)");
    book.CopyCells(0, 0, 0, 0, 0, 0, 1, 2,
                   cells | ICellOperations::coAdjustFormulas | ICellOperations::coAdjustOption4);
    EXPECT_EQ(Text(0, 1, 2), "C3+$D$3+SUM(C$3:C4)");
    book.CopyCells(0, 0, 0, 0, 0, 0, 2, 2,
                   cells | ICellOperations::coAdjustFormulas | ICellOperations::coAdjustOption2);
    EXPECT_EQ(Text(0, 2, 2), "D1+$C$1+SUM(D$1:D4)");
    book.CopyCells(0, 0, 0, 0, 0, 0, 3, 2, cells); // no adjustment
    EXPECT_EQ(Text(0, 3, 2), "B1+$C$1+SUM(B$1:B2)");
    book.MoveCells(0, 0, 2, 0, 2, 0, 5, 0, cells | ICellOperations::coAdjustFormulas);
    EXPECT_EQ(Text(0, 5, 0), "G1+$C$1+SUM(G$1:G2)");
    EXPECT_EQ(book.GetSheet(0).GetCell(0, 2), nullptr);
    // Moved up past the first row, a reference becomes #REF!.
    Put(0, 0, 5, u"B5+B6");
    book.MoveCells(0, 0, 5, 0, 5, 0, 0, 0, cells | ICellOperations::coAdjustFormulas);
    EXPECT_EQ(Text(0, 0, 0), "#REF!+B1");
    // A package's text copied to another sheet names its sheet's own name
    // there, with or without its references moved.
    TSheet& other = book.Sheets().Add(0);
    other.SetName(u"Other");
    TInternalName& own = book.GetInternalNames().Add();
    own.SetName(u"Own");
    own.SheetNumber = 1;
    own.FormulaText = u"Sheet1!$B$1";
    book.GetSheet(0).SetAsFloat(1, 0, 7);
    TFormulaResult seven;
    seven.Number = 7;
    book.GetSheet(0).PutFormulaText(ctNumberFormula, 9, 0, 15, "SUM(Own)", NoSharedFormula, 0, seven);
    book.CopyCells(0, 9, 0, 9, 0, 1, 9, 0, cells);
    book.CopyCells(0, 9, 0, 9, 0, 1, 9, 3, cells | ICellOperations::coAdjustFormulas);
    for (int row : {0, 3}) {
        EXPECT_EQ(Text(1, 9, row), "SUM(Sheet1!Own)");
        TFormulaValue v;
        other.CalculateCell(9, row, v);
        EXPECT_EQ(v.Float, 7);
    }
}

TEST_F(FormulaBook, ARefusedCopyChangesNothing) {
    book.SetVersion(TExcelVersion::xvExcel97);
    Put(0, 0, 0, u"B1*2", 1);
    const uint8_t unknown[] = {0x44, 0, 0, 1, 0xC0, 0x30};
    TFormulaResult r;
    book.GetSheet(0).PutFormula(ctNumberFormula, 0, 1, 15, 6, unknown, r);
    book.GetSheet(0).SetAsFloat(0, 5, 9);
    const int options = ICellOperations::coCells | ICellOperations::coAdjustFormulas;
    EXPECT_THROW(book.MoveCells(0, 0, 0, 0, 1, 0, 0, 5, options), XLSError);
    EXPECT_EQ(Text(0, 0, 0), "B1*2");
    EXPECT_EQ(book.GetSheet(0).GetCellType(0, 1), ctNumberFormula);
    EXPECT_EQ(book.GetSheet(0).GetAsFloat(0, 5), 9);
    EXPECT_EQ(book.GetSheet(0).Cells().Count(), 3);
}

TEST_F(FormulaBook, FormulasOfOneLayoutAreWrittenInAnother) {
    Put(0, 0, 0, u"\"a\"&B1&SUM(C1:C2)");
    Put(0, 0, 1, u"{1,\"x\"}");
    Put(0, 0, 2, u"'Sheet1'!A1"); // no BIFF4 form: the value
    for (TExcelVersion v : {TExcelVersion::xvExcel50, TExcelVersion::xvExcel40}) {
        SCOPED_TRACE(int(v));
        const auto back = RoundTrip(v);
        EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 0), "\"a\"&B1&SUM(C1:C2)");
        if (v == TExcelVersion::xvExcel50) {
            EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 1), "{1,\"x\"}");
            EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 2), "Sheet1!A1");
        } else {
            EXPECT_EQ(back->GetSheet(0).GetCellType(0, 2), ctFloat);
        }
        // And from the older layout to BIFF8 again.
        if (v != TExcelVersion::xvExcel50) continue;
        back->SetVersion(TExcelVersion::xvExcel97);
        testfiles::ScratchDir dir;
        back->SetFilename(Utf8ToWide(dir.File("again.xls")));
        back->Write();
        TTabrix4 again;
        again.SetFilename(Utf8ToWide(dir.File("again.xls")));
        again.Read();
        EXPECT_EQ(again.GetSheet(0).GetAsFormula(0, 0), "\"a\"&B1&SUM(C1:C2)");
    }
}

// Tokens that do not decode (an unknown token, a tExp whose shared formula
// is missing, an operator without its value) have no formula text: copied
// to a package, such a cell keeps its cached value, and the write names it.
TEST_F(FormulaBook, FormulasWhoseTokensDoNotDecodeKeepTheirValuesInAPackage) {
    const struct {
        Bytes Tokens;
        const char* Warning; // "" for a formula that decodes
    } cases[] = {
        {{0x1E, 2, 0}, ""},
        {{0xFF},
         "Sheet1!A2: formula not written to .xlsx (its tokens do not decode: Unknown ptg[FF]); its "
         "value is kept"},
        {{0x01, 0xFF, 0xFF, 0xFF, 0x00},
         "Sheet1!A3: formula not written to .xlsx (its tokens do not decode: the shared or array formula it "
         "belongs to is missing); its value is kept"},
        {{0x1E, 1, 0, 0x03},
         "Sheet1!A4: formula not written to .xlsx (its tokens do not decode: a value is missing); its value "
         "is "
         "kept"},
    };
    TFormulaResult r;
    r.Number = 1;
    for (int row = 0; row < 4; ++row)
        book.GetSheet(0).PutFormula(ctNumberFormula, 0, row, 15, int(cases[row].Tokens.size()),
                                    cases[row].Tokens, r);
    testfiles::ScratchDir dir;
    const std::string file = dir.File("book.xlsx");
    book.SetVersion(TExcelVersion::xvExcel2007);
    book.SetFilename(Utf8ToWide(file));
    book.Write();
    std::vector<std::string> expected;
    for (const auto& c : cases)
        if (*c.Warning) expected.push_back(c.Warning);
    EXPECT_EQ(book.Warnings(), expected);
    // No marker text stands in the part as a formula.
    const std::string bytes = testfiles::Slurp(file);
    TXLSZipArchive zip;
    zip.OpenBuffer(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    const std::string part = zip.Extract("xl/worksheets/sheet1.xml");
    EXPECT_NE(part.find("<c r=\"A1\"><f>2</f><v>1</v></c>"), std::string::npos) << part;
    for (const char* cell : {"A2", "A3", "A4"})
        EXPECT_NE(part.find("<c r=\"" + std::string(cell) + "\"><v>1</v></c>"), std::string::npos) << part;
    TTabrix4 back;
    back.SetFilename(Utf8ToWide(file));
    back.Read();
    EXPECT_EQ(back.GetSheet(0).GetCellType(0, 0), ctNumberFormula);
    for (int row = 1; row < 4; ++row) {
        EXPECT_EQ(back.GetSheet(0).GetCellType(0, row), ctFloat) << row;
        EXPECT_EQ(back.GetSheet(0).GetAsFloat(0, row), 1) << row;
    }
}

// Formulas kept as package text are compiled while the cells are written:
// the sheets they name must have their link-table entries by then.
TEST_F(FormulaBook, KeptTextNamingOtherSheetsWritesItsLinkTable) {
    book.GetSheet(0).SetName(u"One");
    TSheet& two = book.Sheets().Add(0);
    two.SetName(u"Two");
    two.SetAsFloat(0, 0, 21);
    TFormulaResult r;
    book.GetSheet(0).PutFormulaText(ctNumberFormula, 0, 0, 15, "Two!A1*2", NoSharedFormula, 0, r);
    book.GetSheet(0).PutFormulaText(ctNumberFormula, 0, 1, 15, "SUM(One:Two!A1)", NoSharedFormula, 0, r);
    const auto back = RoundTrip();
    EXPECT_TRUE(book.Warnings().empty());
    EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 0), "Two!A1*2");
    EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 1), "SUM(One:Two!A1)");
    TFormulaValue v;
    back->CalculateCell(0, 0, 0, v);
    EXPECT_EQ(v.Float, 42);
    back->CalculateCell(0, 0, 1, v);
    EXPECT_EQ(v.Float, 21 + 42);
}

// Functions BIFF8's table lacks: later ones and user-defined ones through a
// hidden function name after the names there are, the Analysis ToolPak's
// through the add-in book; both reach OnFunction by the function's name.
TEST_F(FormulaBook, FunctionsTheTableLacksAreCalledThroughNames) {
    TInternalName& rate = book.GetInternalNames().Add();
    rate.SetName(u"Rate");
    rate.FormulaText = u"2";
    TFormulaResult r;
    TSheet& sheet = book.GetSheet(0);
    const char* texts[] = {"IFERROR(1/0,7)*Rate", "_xlfn.CONCAT(\"a\",\"b\")", "su(B4)", "EDATE(A1,1)",
                           "SUMIFS(B1:B5,B1:B5,\">1\")+su(2)"};
    for (int row = 0; row < 5; ++row)
        sheet.PutFormulaText(ctNumberFormula, 0, row, 15, texts[row], NoSharedFormula, 0, r);
    const auto back = RoundTrip();
    EXPECT_TRUE(book.Warnings().empty());
    for (int row = 0; row < 5; ++row) EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, row), texts[row]);
    // The names: the workbook's own first, then one per function, hidden.
    const TInternalNames& names = back->GetInternalNames();
    ASSERT_EQ(names.Count(), 5);
    const char16_t* expected[] = {u"Rate", u"_xlfn.IFERROR", u"_xlfn.CONCAT", u"su", u"_xlfn.SUMIFS"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(names.Items(i).GetName(), expected[i]);
    EXPECT_EQ(names.Items(1).Options, noHidden | noFunction | noMacro);
    EXPECT_TRUE(names.Items(3).IsFunctionCall());
    EXPECT_FALSE(names.Items(0).IsFunctionCall());
    const TExternalNames& ext = back->FormulaHandler().Externals();
    ASSERT_EQ(ext.BookCount(), 1);
    EXPECT_EQ(ext.Book(0).Kind, SupBookAddIn);
    EXPECT_EQ(ext.Book(0).Names.at(0).Text(), u"EDATE");
    // Evaluated, each call reaches OnFunction with the function's name.
    std::vector<std::u16string> called;
    back->OnFunction = [&](TTabrix4&, std::u16string_view name, std::vector<TFormulaValue>& args,
                           TFormulaValue& result) {
        called.emplace_back(name);
        SetFormulaValueFloat(result, double(args.size()));
    };
    TFormulaValue v;
    for (int row = 0; row < 5; ++row) back->CalculateCell(0, 0, row, v);
    EXPECT_EQ(called,
              (std::vector<std::u16string>{u"IFERROR", u"CONCAT", u"su", u"EDATE", u"SUMIFS", u"su"}));
    // Text the user types still names only the table's functions.
    EXPECT_THROW(back->FormulaHandler().EncodeFormula(u"IFERROR(1,2)"), XLSError);
}

// Hidden names of later functions that a file gives without their prefix
// (as earlier writers made them) are read with it; a macro's name is not.
TEST_F(FormulaBook, LaterFunctionsNamedWithoutPrefixAreReadWithIt) {
    struct TName {
        const char16_t* Name;
        uint16_t Options;
        Bytes Tokens;
        const char16_t* Read;
    };
    const TName made[] = {
        {u"IFS", noHidden | noFunction | noMacro, {0x1C, 0x1D}, u"_xlfn.IFS"},
        {u"NETWORKDAYS.INTL", noHidden | noFunction | noMacro, {}, u"_xlfn.NETWORKDAYS.INTL"},
        {u"SWITCH", noFunction | noVBAProcedure | noMacro, {}, u"SWITCH"}, // a macro of the workbook
        {u"CONCAT", noFunction, {0x1E, 1, 0}, u"CONCAT"},                  // a formula of its own
        {u"Total", 0, {0x1E, 2, 0}, u"Total"},
    };
    for (const TName& m : made) {
        TInternalName& n = book.GetInternalNames().Add();
        n.SetName(m.Name);
        n.Options = m.Options;
        n.Data = m.Tokens;
        n.TokenLength = uint16_t(m.Tokens.size());
    }
    Put(0, 0, 0, u"IFS(1>2,1,TRUE,9)");
    Put(0, 0, 1, u"NETWORKDAYS.INTL(1,9)");
    const auto back = RoundTrip();
    const TInternalNames& names = back->GetInternalNames();
    ASSERT_EQ(names.Count(), int(std::size(made)));
    for (int i = 0; i < names.Count(); ++i) EXPECT_EQ(names.Items(i).GetName(), made[i].Read) << i;
    EXPECT_EQ(back->GetSheet(0).GetAsFormula(0, 0), "_xlfn.IFS(1>2,1,TRUE,9)");
    // Packages name this one without the prefix.
    EXPECT_EQ(back->FormulaHandler().GetCellFormulaXML(0, 0, 1), u"NETWORKDAYS.INTL(1,9)");
}

// A sheet a file named with characters a quoted name may not hold (a "?"
// an Excel 95 code page left, brackets as of another workbook's path) is
// still named in formulas.
TEST_F(FormulaBook, SheetsReadWithForbiddenCharactersAreNamed) {
    book.Sheets().Add(0).SetReadName(u"a?b");
    book.GetSheet(1).SetAsFloat(0, 0, 4);
    Put(0, 0, 0, u"'a?b'!A1*2+SUM('Sheet1:a?b'!A1)");
    EXPECT_EQ(Text(0, 0, 0), "'a?b'!A1*2+SUM('Sheet1:a?b'!A1)");
    EXPECT_THROW(Put(0, 0, 1, u"'x?y'!A1"), XLSError);
    book.Sheets().Add(0).SetReadName(u"Tab[x]y");
    book.GetSheet(2).SetAsFloat(0, 0, 3);
    Put(0, 0, 2, u"'Tab[x]y'!A1+SUM('a?b:Tab[x]y'!A1)");
    EXPECT_EQ(Text(0, 0, 2), "'Tab[x]y'!A1+SUM('a?b:Tab[x]y'!A1)");
    // A quoted path that names no sheet is another workbook's.
    Put(0, 0, 3, u"'Tab[y]y'!A1");
    EXPECT_EQ(Text(0, 0, 3), "'Tab\\[y]y'!A1");
}

TEST_F(FormulaBook, EncoderErrorsGoToTheErrorEventForTextsTheUserGives) {
    std::vector<std::pair<int, std::string>> seen;
    formulas.OnEncodeError = [&](TFormulaHandler& sender, int number, const std::string& message) {
        EXPECT_EQ(&sender, &formulas);
        seen.emplace_back(number, message);
    };
    TEncodedFormula f = formulas.EncodeFormula(u"GOTO(1)", {.UserText = true});
    EXPECT_EQ(f.TokenLength, 0u);
    EXPECT_TRUE(f.Data.empty());
    f = formulas.EncodeFormula(u"ROUND(1)", {.UserText = true});
    EXPECT_EQ(f.TokenLength, 0u);
    f = formulas.EncodeFormula(u"  ", {.UserText = true});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0],
              (std::pair<int, std::string>{4, "Error in formula GOTO(1)\rInvalid function name GOTO"}));
    EXPECT_EQ(seen[1].first, 17);
    EXPECT_EQ(seen[2].first, 18);
    // A tokenizer error is seen, then raised; texts of files always raise.
    EXPECT_THROW(formulas.EncodeFormula(u"\"open", {.UserText = true}), XLSError);
    EXPECT_EQ(seen.back().first, 5);
    EXPECT_THROW(formulas.EncodeFormula(u"GOTO(1)", {.FileSyntax = true}), XLSError);
    EXPECT_EQ(seen.size(), 4u);
    // A validation's text the user gives goes through the event too.
    EXPECT_TRUE(formulas.RangeFormulaTokens(0, u"NoSuchName+1", 0, 255, 0, 0).empty());
    EXPECT_EQ(seen.back().first, 7);
}

// Table references of packages name the cells of their table: resolved when
// the text is compiled (for the evaluator and for a binary workbook).
TEST_F(FormulaBook, TableReferencesNameTheirCells) {
    book.GetSheet(0).SetName(u"Data");
    book.Sheets().Add(0).SetName(u"Other");
    // Goods: B2:E6, a header row, three data rows (3-5), a totals row.
    TTableDef goods;
    goods.Name = u"Goods";
    goods.Sheet = 0;
    goods.Col1 = 1, goods.Row1 = 1, goods.Col2 = 4, goods.Row2 = 5;
    goods.TotalsRows = 1;
    goods.Columns = {u"Name", u"Price", u"Qty", u"Unit [kg]"};
    formulas.AddTable(goods);
    struct Case {
        const char16_t* Text;
        int Sheet, Row; // where the formula stands
        const char* Written;
    };
    const Case cases[] = {
        {u"SUM(Goods[Price])", 0, 9, "SUM($C$3:$C$5)"},
        {u"goods[Price]", 0, 9, "$C$3:$C$5"},
        {u"Goods[]", 0, 9, "$B$3:$E$5"},
        {u"Goods[#All]", 0, 9, "$B$2:$E$6"},
        {u"Goods[#Headers]", 0, 9, "$B$2:$E$2"},
        {u"Goods[#Totals]", 0, 9, "$B$6:$E$6"},
        {u"Goods[[#Headers],[#Data],[Qty]]", 0, 9, "$D$2:$D$5"},
        {u"Goods[[#Data],[#Totals],[Price]:[Qty]]", 0, 9, "$C$3:$D$6"},
        {u"Goods[[#This Row],[Price]]*Goods[[#This Row],[Qty]]", 0, 3, "$C4*$D4"},
        {u"Goods[@Qty]", 0, 2, "$D3"},
        {u"[@Price]+[[#This Row],[Unit '[kg']]]", 0, 4, "$C5+$E5"},
        {u"Goods[ [Price] : [Qty] ]", 0, 9, "$C$3:$D$5"},
        {u"SUM(Goods[Price])", 1, 0, "SUM(Data!$C$3:$C$5)"},
        // A column of the formula's own table, as totals rows name it.
        {u"SUBTOTAL(109,[Price])", 0, 5, "SUBTOTAL(109,$C$3:$C$5)"},
        {u"[Qty]*2", 0, 4, "$D$3:$D$5*2"},
    };
    for (const Case& c : cases) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.BIFF8 = true;
        how.Sheet = c.Sheet;
        how.Row = c.Row;
        how.Col = 1;
        TEncodedFormula f = formulas.EncodeFormula(c.Text, how);
        TFormulaDecoding back;
        back.FileSyntax = true;
        back.Sheet = c.Sheet;
        EXPECT_EQ(WideToUtf8(formulas.DecodeFormula(f.Data, f.TokenLength, back)), c.Written)
            << WideToUtf8(c.Text);
    }
    // What names no cells of the table is refused with the reason.
    struct Refused {
        const char16_t* Text;
        int Row;
        const char* Reason;
    };
    const Refused refused[] = {
        {u"Goods[Weight]", 9, "no column Weight in table Goods"},
        {u"Stock[Price]", 9, "no table Stock"},
        {u"Goods[[#This Row],[Price]]", 9, "a row of table Goods outside its data"},
        {u"Goods[[#Headers],[#Totals]]", 9, "parts of table Goods that do not meet"},
        {u"[@Price]", 9, "a table reference outside any table"},
        {u"SUM([Price])", 9, "a table reference outside any table"},
        {u"Goods[[Price]", 9, "Enclosing characther ] missing"},
        {u"Goods[#Nothing]", 9, "a table reference that cannot be read"},
    };
    for (const Refused& r : refused) {
        TFormulaEncoding how;
        how.FileSyntax = true;
        how.Sheet = 0;
        how.Row = r.Row;
        how.Col = 2;
        try {
            formulas.EncodeFormula(r.Text, how);
            ADD_FAILURE() << WideToUtf8(r.Text) << " compiled";
        } catch (const XLSError& e) {
            EXPECT_NE(std::string(e.what()).find(r.Reason), std::string::npos) << e.what();
        }
    }
}

// Formula texts LibreOffice writes into packages: a range of sheets one of
// whose names is quoted, a name of another workbook in quotes, and calls of
// up to 255 arguments (binary workbooks keep their own limit).
TEST_F(FormulaBook, LibreOfficesTextsAreRead) {
    book.GetSheet(0).SetName(u"Data");
    book.Sheets().Add(0).SetName(u"My Sheet");
    book.Sheets().Add(0).SetName(u"Z 9");
    book.Sheets().Add(0).SetName(u"S1");
    TFormulaEncoding file;
    file.FileSyntax = true;
    const std::pair<const char16_t*, const char16_t*> texts[] = {
        {u"SUM(Data:'My Sheet'!A1)", u"SUM('Data:My Sheet'!A1)"},
        {u"SUM('Data':'My Sheet'!A1)", u"SUM('Data:My Sheet'!A1)"},
        {u"SUM('My Sheet':'Z 9'!A1:B2)", u"SUM('My Sheet:Z 9'!A1:B2)"},
        {u"SUM('Data:My Sheet'!A1)", u"SUM('Data:My Sheet'!A1)"},
        // The last name reads as a cell.
        {u"SUM('Z 9':S1!A1:A1)", u"SUM('Z 9:S1'!A1:A1)"},
        {u"'My Sheet':S1!$C$1*2", u"'My Sheet:S1'!$C$1*2"},
        {u"SUM(Data:S1!B2)", u"SUM(Data:S1!B2)"},
    };
    for (const auto& [text, expected] : texts) {
        TEncodedFormula f = formulas.EncodeFormula(text, file);
        EXPECT_EQ(formulas.DecodeFormula(f.Data, f.TokenLength, {.FileSyntax = true}), expected)
            << WideToUtf8(text);
    }
    // "[1]!'Name'": the link's name, when the package has the link.
    TSupBook linked;
    linked.Path = WideStringToBIFFStr(u"\x01other.xlsx");
    TExtName name;
    name.Name = WideStringToBIFFStr(u"!Odd name");
    linked.Names.push_back(name);
    formulas.Externals().AddLinkedBook(linked);
    TEncodedFormula n = formulas.EncodeFormula(u"[1]!'!Odd name'*2", file);
    EXPECT_EQ(n.Data[0] & 0x1F, 0x19); // tNameX
    EXPECT_THROW(formulas.EncodeFormula(u"[2]!'!Odd name'", file), XLSError);
    // 255 arguments in a package's layout, 127 in a binary workbook's.
    std::u16string many = u"SUM(";
    for (int i = 0; i < 255; ++i) many += i ? u",A1" : u"A1";
    many += u")";
    book.GetSheet(0).SetAsFloat(0, 0, 2);
    book.SetVersion(TExcelVersion::xvExcel2007);
    TEncodedFormula wide = formulas.EncodeFormula(many, file);
    EXPECT_EQ(formulas.DecodeFormula(wide.Data, wide.TokenLength, {.FileSyntax = true}), many);
    TFormulaResult r;
    book.GetSheet(0).PutFormulaText(ctNumberFormula, 1, 0, 15, WideToUtf8(many), NoSharedFormula, 0, r);
    TFormulaValue v;
    book.CalculateCell(0, 1, 0, v);
    EXPECT_EQ(v.Float, 510);
    EXPECT_THROW(formulas.EncodeFormula(u"SUM(A1," + many.substr(4), file), XLSError); // 256
    file.BIFF8 = true;
    EXPECT_THROW(formulas.EncodeFormula(many, file), XLSError);
    // Tokens of 255 arguments have no form in a binary workbook: the cell
    // keeps its value, with the reason.
    book.GetSheet(0).PutFormula(ctNumberFormula, 2, 0, 15, int(wide.TokenLength), wide.Data, r);
    RoundTrip();
    ASSERT_EQ(book.Warnings().size(), 2u);
    EXPECT_NE(book.Warnings()[0].find("Wrong number of arguments for function SUM"), std::string::npos);
    EXPECT_NE(book.Warnings()[1].find("more than 127 arguments to a function"), std::string::npos);
}
