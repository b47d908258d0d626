// The workbook component and its sheets as the exchange side uses them.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "bench/xls_bombs.h"
#include "fuzz/sheet_edits.h"
#include "support_files.h"
#include "support_messages.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <cmath>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>

using namespace xls;

namespace {

using Workbook = FreshLibState;

} // namespace

namespace {

struct FakeMeasurer : TTextMeasurer {
    int selects = 0;
    void SelectFont(const TXFont&) override { ++selects; }
    int TextWidth(std::u16string_view text) override { return 7 * int(text.size()); }
    int TextHeight(std::u16string_view) override { return 15; }
    int InternalLeading() override { return 2; }
};

struct Exchange : FreshLibState {
    TTabrix4 wb;
    TSheet* sheet = nullptr;
    void SetUp() override {
        FreshLibState::SetUp();
        wb.SetVersion(TExcelVersion::xvExcel97);
        LibState().Locale.DecimalSeparator = u'.';
        // What every export does first.
        wb.Clear();
        wb.Sheets().Clear();
        sheet = &wb.Sheets().Add(0);
    }
};

} // namespace

TEST_F(Exchange, IntegersRoundHalfToEvenAndRefuseOtherKinds) {
    sheet->SetAsFloat(0, 0, 2.5);
    sheet->SetAsFloat(1, 0, 3.5);
    sheet->SetAsFloat(2, 0, -2.5);
    sheet->SetAsInteger(3, 0, -7);
    sheet->SetAsString(4, 0, u"12");
    sheet->SetAsFloat(5, 0, 3e10);
    EXPECT_EQ(sheet->GetAsInteger(0, 0), 2);
    EXPECT_EQ(sheet->GetAsInteger(1, 0), 4);
    EXPECT_EQ(sheet->GetAsInteger(2, 0), -2);
    EXPECT_EQ(sheet->GetAsInteger(3, 0), -7);
    for (int col : {4, 5, 6})
        EXPECT_EQ(MessageOf([&] { sheet->GetAsInteger(col, 0); }), "Cell is missing/is of wrong type");
    // An unsigned count passes its bits unchanged.
    sheet->SetAsInteger(0, 1, int32_t(uint32_t(4000000000u)));
    EXPECT_EQ(uint32_t(sheet->GetAsInteger(0, 1)), 4000000000u);
    // No file holds a number that is not finite: such a value is the error.
    const double notFinite[] = {std::nan(""), HUGE_VAL, -HUGE_VAL};
    for (int col = 0; col < 3; ++col) {
        sheet->SetAsFloat(col, 2, notFinite[col]);
        EXPECT_EQ(sheet->GetCellType(col, 2), ctError);
        EXPECT_EQ(sheet->GetAsString(col, 2), u"#NUM!");
    }
    // A text cut to what a cell holds keeps both halves of a character made
    // of two, or neither.
    std::u16string text(32766, u'a');
    text += u"\U0001F600";
    sheet->SetAsString(0, 3, text);
    EXPECT_EQ(sheet->GetAsString(0, 3), text.substr(0, 32766));
    text.insert(0, u"b");
    sheet->SetAsString(0, 3, text);
    EXPECT_EQ(sheet->GetAsString(0, 3), text.substr(0, 32767));
}

TEST_F(Exchange, TypedReadsOfEveryKind) {
    sheet->SetAsInteger(0, 0, 42);
    sheet->SetAsFloat(1, 0, 2.5);
    sheet->SetAsString(2, 0, u"Товар");
    sheet->SetAsBoolean(3, 0, true);
    sheet->PutError(4, 0, 15, 2);
    sheet->PutBlank(5, 0, 15);
    TFormulaResult result;
    result.Text = u"cached";
    const uint8_t tokens[] = {0x17, 0x01, 0x00, 0x41};
    sheet->PutFormula(ctStringFormula, 6, 0, 15, 4, tokens, result);
    result.ErrorCode = 0x07;
    sheet->PutFormula(ctErrorFormula, 7, 0, 15, 4, tokens, result);
    EXPECT_EQ(MessageOf([&] { sheet->PutFormula(ctNumberArrayFormula, 8, 0, 15, 4, tokens, result); }),
              "Invalid Formula cell type");

    std::vector<int> types;
    for (int c = 0; c <= 8; ++c) types.push_back(sheet->GetCellType(c, 0));
    EXPECT_EQ(types, (std::vector<int>{3, 4, 5, 6, 7, 1, 9, 11, 0}));
    std::vector<std::u16string> texts;
    for (int c = 0; c <= 8; ++c) texts.push_back(sheet->GetAsString(c, 0));
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"42", u"2.5", u"Товар", u"TRUE", u"#DIV/0!", u"",
                                                  u"cached", u"#DIV/0!", u""}));
    // An error formula shows one text, whether its formula is tokens or a
    // package's text.
    result.ErrorCode = 0x2A;
    sheet->PutFormula(ctErrorFormula, 9, 0, 15, 4, tokens, result);
    sheet->PutFormulaText(ctErrorFormula, 10, 0, 15, "NA()", NoSharedFormula, 0, result);
    EXPECT_EQ(sheet->GetAsString(9, 0), u"N/A");
    EXPECT_EQ(sheet->GetAsString(10, 0), u"N/A");
    TTabrix4::SetStrTRUE(u"Yes");
    EXPECT_EQ(sheet->GetAsString(3, 0), u"Yes");

    EXPECT_TRUE(std::holds_alternative<std::monostate>(sheet->GetAsVariant(8, 0)));
    EXPECT_EQ(std::get<uint8_t>(sheet->GetAsVariant(5, 0)), 0);
    EXPECT_EQ(std::get<uint8_t>(sheet->GetAsVariant(3, 0)), 1);
    EXPECT_EQ(std::get<int32_t>(sheet->GetAsVariant(0, 0)), 42);
    EXPECT_EQ(std::get<double>(sheet->GetAsVariant(1, 0)), 2.5);
    EXPECT_EQ(std::get<std::u16string>(sheet->GetAsVariant(2, 0)), u"Товар");
    EXPECT_EQ(std::get<std::u16string>(sheet->GetAsVariant(4, 0)), u"#DIV/0!");
    EXPECT_EQ(sheet->GetAsFloat(0, 0), 42);
    EXPECT_EQ(sheet->GetAsFloat(2, 0), 0);

    TFormulaValue v;
    sheet->GetCellValue(5, 0, v);
    EXPECT_EQ(v.ValType, fvError);
    EXPECT_EQ(v.Error, 7);
    TFormulaValue ref;
    SetFormulaValueRef(ref, 5, 0);
    sheet->GetRefValue(ref, v);
    EXPECT_EQ(v.ValType, fvNull);
    EXPECT_EQ(MessageOf([&] { sheet->GetRefValue(v, v); }), "FV Ref expected");
}

TEST_F(Exchange, SettersNotifyExceptForStrings) {
    std::vector<std::pair<int, int>> changed;
    sheet->OnCellChanged = [&](int c, int r) { changed.emplace_back(c, r); };
    sheet->SetAsInteger(1, 2, 1);
    sheet->SetAsFloat(3, 4, 1);
    sheet->SetAsBoolean(5, 6, true);
    sheet->SetAsString(7, 8, u"x");
    EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{1, 2}, {3, 4}, {5, 6}}));
    EXPECT_EQ(MessageOf([&] { sheet->SetAsInteger(16384, 0, 1); }), "Cell position is outside the sheet");
    EXPECT_EQ(MessageOf([&] { sheet->SetAsString(0, -1, u"x"); }), "Cell position is outside the sheet");
}

// The export road: ranges coloured and made bold first, values written
// after, every cell keeps its look and the pools stay consistent.
TEST_F(Exchange, RangeFormatsSurviveTheValuesWrittenLater) {
    TCellFormats& pool = wb.DefaultFormats();
    int formatsBefore = pool.Count(), fontsBefore = wb.Fonts().Count();
    sheet->Range().SetArea(0, 1, 2, 1).SetFontColor(0xFF0000);
    sheet->Range().SetFontStyle(1);
    EXPECT_EQ(sheet->GetCellType(1, 1), ctBlank);
    sheet->SetAsString(0, 1, u"Code");
    sheet->SetAsInteger(1, 1, 5);
    sheet->SetAsFloat(2, 1, 1.5);
    // The look itself is checked in the written file (the export road).
    TCell* a = sheet->GetCell(0, 1);
    TCell* c = sheet->GetCell(2, 1);
    EXPECT_EQ(a->Format(), c->Format()) << "cells of one look share one entry";
    EXPECT_EQ(a->Format()->UsageCount, 3);
    sheet->SetAsInteger(3, 1, 1);
    EXPECT_EQ(sheet->GetCell(3, 1)->GetFormatIndex(), DefaultCellFormat);
    for (int col = 0; col < 3; ++col) sheet->DeleteCell(col, 1);
    EXPECT_EQ(pool.Count(), formatsBefore);
    EXPECT_EQ(wb.Fonts().Count(), fontsBefore);
}

TEST_F(Exchange, RangeAreasAreClippedOrRefused) {
    TXLSRange& r = sheet->Range();
    r.SetArea(0, 1, 19, 70000);
    EXPECT_EQ(r.Row2(), 65535);
    EXPECT_EQ(r.AreaKind(), 3);
    r.SetArea(5, 5, 2, 2);
    EXPECT_EQ(std::vector<int>({r.Col1(), r.Row1(), r.Col2(), r.Row2()}), std::vector<int>({2, 2, 5, 5}));
    EXPECT_EQ(MessageOf([&] { r.SetArea(300, 0, 301, 0); }), "Range is outside sheet limits");
    EXPECT_EQ(r.Col1(), 2) << "a refused area keeps the old one";
    EXPECT_EQ(r.SetArea(4, 0, 4, 9).AreaKind(), 1);
    EXPECT_EQ(r.SetArea(0, 3, 9, 3).AreaKind(), 2);
    EXPECT_EQ(r.SetArea(-5, 3, 3, 3).Col1(), 0);
    wb.SetVersion(TExcelVersion::xvExcel2007);
    r.SetArea(0, 1048570, 0, 2000000).SetFontStyle(2);
    EXPECT_EQ(sheet->GetCellType(0, 1048575), ctBlank);
    EXPECT_EQ(sheet->GetCell(0, 1048575)->GetFontStyle(), 2);
}

TEST_F(Exchange, SheetsAreNamedByRunningNumberAndNamesStayUnique) {
    EXPECT_EQ(sheet->Name(), u"Sheet3") << "two sheets were made before this one";
    wb.Sheets().Clear();
    EXPECT_EQ(wb.Sheets().Count(), 0);
    EXPECT_EQ(MessageOf([&] { wb.Sheets().Items(0); }), "List index out of bounds (0)");
    TSheet& a = wb.Sheets().Add(0);
    EXPECT_EQ(a.Name(), u"Sheet4");
    a.SetName(u"Sheet5");
    TSheet& b = wb.Sheets().Add(0);
    EXPECT_EQ(b.Name(), u"Sheet6") << "the generated name was taken";
    a.SetName(u"ЗВІТ");
    a.SetName(u"звіт");
    EXPECT_EQ(a.Name(), u"ЗВІТ") << "a change of letter case only is ignored";
    EXPECT_EQ(MessageOf([&] { b.SetName(u"Звіт"); }), "Sheet name \"Звіт\" allready exists");
    EXPECT_EQ(b.Name(), u"Sheet6");
    EXPECT_EQ(wb.Sheets().FindByName(u"звіт"), &a);
    EXPECT_EQ(wb.Sheets().FindByName(u"none"), nullptr);
    EXPECT_EQ(wb.Sheets().NameList().GetItem(0), u"ЗВІТ");
    // A name given up, by a rename or with its sheet, is free again.
    a.SetName(u"Каса");
    b.SetName(u"звіт");
    EXPECT_EQ(MessageOf([&] { b.SetName(u"КАСА"); }), "Sheet name \"КАСА\" allready exists");
    wb.Sheets().Delete(0);
    b.SetName(u"каса");
    EXPECT_EQ(wb.Sheets().FindByName(u"Каса"), &b);
    EXPECT_EQ(wb.Sheets().Add(0).Name(), u"Sheet6");
    wb.Sheets().Items(1).SetName(u"Sheet9");
    EXPECT_EQ(MessageOf([&] { b.SetName(u"sheet9"); }), "Sheet name \"sheet9\" allready exists");
}

TEST_F(Exchange, NewCellsTakeTheirColumnsOrRowsFormat) {
    TXLSColumns& cols = sheet->Columns();
    cols.AddColumns(0, 1);
    cols[0]->SetFontStyle(xfsBold);
    TXLSRow& row = sheet->Rows().Add(5);
    row.SetFontStyle(xfsItalic);
    sheet->SetAsInteger(0, 5, 1);
    sheet->SetAsInteger(1, 5, 1);
    sheet->SetAsInteger(1, 6, 1);
    EXPECT_EQ(sheet->GetCell(0, 5)->GetFontStyle(), xfsBold) << "the column wins over the row";
    EXPECT_EQ(sheet->GetCell(1, 5)->GetFontStyle(), xfsItalic);
    EXPECT_EQ(sheet->GetCell(1, 6)->GetFormatIndex(), DefaultCellFormat);
    // A later change of the column reaches the cells it already holds.
    cols[0]->SetFontStyle(xfsStrikeOut);
    EXPECT_EQ(sheet->GetCell(0, 5)->GetFontStyle(), xfsStrikeOut);
    EXPECT_EQ(sheet->GetCell(1, 5)->GetFontStyle(), xfsItalic);
    sheet->Clear();
    EXPECT_EQ(cols[0], nullptr);
}

TEST_F(Exchange, UsedAreaAndDimensions) {
    EXPECT_EQ(sheet->GetLastRow(), 0);
    sheet->SetAsInteger(3, 7, 1);
    sheet->SetAsInteger(300, 70000, 1);
    sheet->UpdateDimensions();
    EXPECT_EQ(sheet->FirstRow(), 7);
    EXPECT_EQ(sheet->LastRow(), 70000);
    EXPECT_EQ(sheet->LastCol(), 300);
    auto d = sheet->Records().DimensionsData();
    EXPECT_EQ(GetU32(d.data()), 7u);
    EXPECT_EQ(GetU32(d.data() + 4), 65536u) << "one past the last row a BIFF8 sheet has";
    EXPECT_EQ(GetU16(d.data() + 8), 3);
    EXPECT_EQ(GetU16(d.data() + 10), 256);
    // A file whose DIMENSIONS understates its cells still shows every row.
    sheet->SetLastRow(2);
    sheet->AfterRead(TExcelVersion::xvExcel97);
    EXPECT_EQ(sheet->GetLastRow(), 70000);
}

TEST_F(Exchange, AutoWidthFitsTheWidestCell) {
    auto fake = std::make_unique<FakeMeasurer>();
    wb.SetMeasurer(std::move(fake));
    sheet->SetAsString(0, 0, u"abc");
    sheet->SetAsString(0, 1, u"a");
    sheet->SetAsInteger(1, 0, 12345);
    sheet->SetAsString(2, 0, std::u16string(3000, u'x'));
    EXPECT_EQ(sheet->AutoWidthCols(0, 3), 0) << "column 3 has no cell";
    TXLSColumns& cols = sheet->Columns();
    EXPECT_EQ(cols[0]->GetWidth(), 914);  // (21 + 2 x 2) / 7 x 256
    EXPECT_EQ(cols[1]->GetWidth(), 1499); // right-aligned: one more leading
    EXPECT_EQ(cols[2]->GetWidth(), 65535) << "too wide a text gives the widest column";
    EXPECT_EQ(cols[3], nullptr) << "a column without cells keeps its width";
    EXPECT_EQ(sheet->AutoWidthCol(1), 41);
    EXPECT_EQ(sheet->AutoWidthCols(2, 1), 0);
}

TEST_F(Workbook, ClearKeepsSettingsAndLeavesOneSheet) {
    TTabrix4 wb;
    wb.SetFilename(u"C:\\out\\report.xls");
    wb.SetVersion(TExcelVersion::xvExcel2007);
    wb.ShowFormulas = true;
    wb.GetSheet(0).SetAsString(0, 0, u"x");
    wb.Sheets().Add(0);
    wb.Workbook().SetLeft(5);
    wb.SetRecomendReadOnly(true);
    wb.Clear();
    EXPECT_EQ(wb.GetVersion(), TExcelVersion::xvExcel2007);
    EXPECT_EQ(wb.GetFilename(), u"C:\\out\\report.xls");
    EXPECT_TRUE(wb.ShowFormulas);
    ASSERT_EQ(wb.Sheets().Count(), 1);
    EXPECT_EQ(wb.GetSheet(0).GetCellType(0, 0), 0);
    EXPECT_EQ(wb.Workbook().GetLeft(), 100);
    EXPECT_TRUE(wb.GetFileSharing().empty());
    EXPECT_EQ(wb.DefaultFormats().Count(), TTabrix4().DefaultFormats().Count());
}

TEST_F(Workbook, PropertiesOverKeptRecords) {
    TTabrix4 wb;
    wb.SetRecomendReadOnly(true);
    EXPECT_EQ(wb.GetFileSharing(), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(wb.GetRecomendReadOnly());
    wb.SetRecomendReadOnly(false);
    EXPECT_TRUE(wb.GetFileSharing().empty());
    wb.SetFilename(u"book.XLSM");
    EXPECT_TRUE(wb.Excel2007MacroFile());
    wb.SetFilename(u"book.xls");
    EXPECT_FALSE(wb.Excel2007MacroFile());
    wb.OptionsDialog().SetCalcCount(0);
    EXPECT_EQ(wb.OptionsDialog().GetCalcCount(), 1);
    wb.OptionsDialog().SetCalcCount(40000);
    EXPECT_EQ(wb.OptionsDialog().GetCalcCount(), 32767);
    wb.Workbook().SetOptions(0xFFFF);
    EXPECT_EQ(wb.Workbook().GetOptions(), 0x3B);
    TStyles styles;
    const uint8_t builtIn[] = {0x00, 0x80, 0x03, 0xFF};
    const uint8_t truncated[] = {0x10, 0x00, 0x20, 0x00, 0x01, 'a'};
    styles.Add(builtIn);
    styles.Add(truncated);
    EXPECT_EQ(styles.Items(0).size(), 4u);
    EXPECT_EQ(styles.Items(1).size(), 6u) << "never more than the record holds";
}

TEST_F(Workbook, VersionSetsLimits) {
    TTabrix4 wb;
    wb.SetVersion(TExcelVersion::xvExcel2007);
    EXPECT_EQ(LibState().MaxColumn, 16383);
    EXPECT_EQ(LibState().MaxRow, 1048575);
    EXPECT_EQ(wb.GetMaxRecSize(), 8224);
    wb.SetVersion(TExcelVersion::xvExcel50);
    EXPECT_EQ(wb.GetMaxRecSize(), 2080);
    EXPECT_EQ(wb.Sheets().GetMaxRecSize(), 2080);
}

TEST_F(Workbook, CopyAndMoveOfCellBlocks) {
    TTabrix4 wb;
    TSheet& s = wb.GetSheet(0);
    TSheet& t = wb.Sheets().Add(0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) s.SetAsInteger(c, r, 10 * r + c);
    s.SetAsString(1, 1, u"mid");
    s.MergedCells().AddArea(0, 0, 1, 0);
    // Overlapping copy one row down: the rows that stood there are copied.
    wb.CopyCells(0, 0, 0, 2, 1, 0, 0, 1, ICellOperations::coCells);
    EXPECT_EQ(s.GetAsInteger(2, 1), 2);
    EXPECT_EQ(s.GetAsInteger(2, 2), 12);
    EXPECT_EQ(s.GetAsString(1, 2), u"mid");
    wb.MoveCells(0, 0, 0, 2, 2, 1, 5, 5, ICellOperations::coCells | ICellOperations::coMergedCells);
    EXPECT_EQ(s.GetCellType(0, 0), 0);
    EXPECT_EQ(t.GetAsInteger(7, 6), 2);
    EXPECT_EQ(t.GetAsString(6, 7), u"mid");
    EXPECT_EQ(t.MergedCells().Count(), 1);
    EXPECT_EQ(s.MergedCells().Count(), 0);
    wb.DeleteCells(1, 5, 5, 7, 7);
    EXPECT_EQ(t.Cells().Count(), 0);
}

// One cell replaced over and over, by a new text, a number or a formatted
// text, takes no more memory after the first rounds: cells and strings go
// back to the workbook's arena and are reused.
TEST_F(Workbook, ReplacingOneCellAgainAndAgainDoesNotGrow) {
    TTabrix4 wb;
    TSheet& sheet = wb.GetSheet(0);
    auto round = [&](int i) {
        sheet.SetAsString(3, 7, u"T" + std::u16string(size_t(i % 300), u'x'));
        sheet.SetAsFloat(3, 7, i);
        sheet.SetAsString(3, 7, u"F" + std::u16string(size_t(i % 40), u'y'));
        sheet.GetCell(3, 7)->SetFillForeColor(10 + i % 3);
    };
    for (int i = 0; i < 300; ++i) round(i);
    const size_t cells = wb.DefaultFormats().CellArena->BytesReserved();
    const int formats = wb.DefaultFormats().Count();
    for (int i = 0; i < 20000; ++i) round(i);
    EXPECT_EQ(wb.DefaultFormats().CellArena->BytesReserved(), cells);
    EXPECT_EQ(wb.DefaultFormats().Count(), formats);
    EXPECT_EQ(wb.Strings().Count(), 1u);
    EXPECT_EQ(wb.Strings().StringCount(), 1);
}

// A workbook of many small sheets costs a few kilobytes a sheet: 5,000
// sheets of one number each read within 80 MB.
TEST_F(Workbook, ManySmallSheetsReadWithinABound) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("sheets.xls");
    // Made by a child too, so that this process maps no more than before.
    ASSERT_TRUE(bombs::RunLimited(size_t(4) << 30, [&] { bombs::ManySheets(file, 5000); }).Ok);
    const auto run = bombs::RunLimited(size_t(80) << 20, [&] {
        TTabrix4 book;
        book.SetFilename(Utf8ToWide(file));
        book.Read();
        if (book.Sheets().Count() != 5000 || book.GetSheet(4999).GetAsInteger(0, 0) != 5000)
            throw std::runtime_error("the sheets were not read");
    });
    EXPECT_TRUE(run.Ok) << run.Error;
    // What the package writer makes the reader takes: 10,000 sheets are
    // two parts each.
    TTabrix4 book;
    for (int i = 1; i < 10000; ++i) book.Sheets().Add(0);
    book.GetSheet(9999).SetAsInteger(0, 0, 10000);
    std::vector<uint8_t> image;
    WritePackageFile(book, &image);
    TTabrix4 back;
    ASSERT_NO_THROW(ReadPackageFile(back, &image));
    EXPECT_EQ(back.Sheets().Count(), 10000);
    EXPECT_EQ(back.GetSheet(9999).GetAsInteger(0, 0), 10000);
}

namespace {

// A formula of sheet S1 of a workbook of sheets S1, S2 and S3, what it reads
// and computes once S2 is deleted, and what it reads once S3 is renamed
// Third instead.
struct TSheetEdit {
    const char16_t* Formula;
    const char* Deleted;
    const char* Value;
    const char* Renamed;
    const char* RenamedValue;
};

constexpr TSheetEdit SheetEdits[] = {
    {u"S3!A1*2", "S3!A1*2", "40", "Third!A1*2", "40"},
    {u"S2!A1+1", "#REF!+1", "#REF!", "S2!A1+1", "11"},
    {u"SUM(S1:S3!B1)", "SUM(S1:S3!B1)", "4", "SUM(S1:Third!B1)", "6"},
    {u"SUM(S1:S2!B1)", "SUM(S1!B1)", "1", "SUM(S1:S2!B1)", "3"},
    {u"SUM(S2:S3!B1)", "SUM(S3!B1)", "3", "SUM(S2:Third!B1)", "5"},
    {u"Far+B1", "Far+B1", "21", "Far+B1", "21"},
    {u"SUM(S3!A1:B1)+S1!B1", "SUM(S3!A1:B1)+S1!B1", "24", "SUM(Third!A1:B1)+S1!B1", "24"},
    // The first sheet quoted, the last reading as a cell.
    {u"SUM('S1':S3!B1)", "SUM(S1:S3!B1)", "4", "SUM(S1:Third!B1)", "6"},
    // Names local to other sheets: one that goes with its sheet is #REF!.
    {u"S2!Own+1", "#REF!+1", "#REF!", "S2!Own+1", "3"},
    {u"S3!Late*2", "S3!Late*2", "6", "Third!Late*2", "6"},
    // Another workbook's sheet of the name of one of these.
    {u"[ext.xlsx]S3!A1*2", "[ext.xlsx]S3!A1*2", "#VALUE!", "[ext.xlsx]S3!A1*2", "#VALUE!"},
};

// Formulas of S1 (column E) with the results their file cached, which the
// library does not compute: those that do not reach S2 keep them through
// its deletion and every write; one that reaches it is written without it.
struct TCachedEdit {
    const char16_t* Formula;
    double Cached;
    bool ReachesS2;
};

constexpr TCachedEdit CachedEdits[] = {
    {u"VLOOKUP(1,B1:B1,1,0)", 1, false},
    {u"SUM([ext.xlsx]S2:S3!A1)", 15, false},
    {u"VLOOKUP(10,S2!A1:A1,1,0)", 10, true},
    // Through a formula of S1 that reaches S2, and through a name.
    {u"VLOOKUP(11,A2:A2,1,0)", 11, true},
    {u"VLOOKUP(10,Gone,1,0)", 10, true},
    {u"VLOOKUP(20,Far,1,0)", 20, false},
};

// Global names, then a name local to S2 (which goes with it) and one local to S3.
struct TSheetEditName {
    const char16_t* Name;
    int Sheet;
    const char16_t* Formula;
    const char* Deleted; // nullptr: gone
    const char* Renamed;
};

constexpr TSheetEditName SheetEditNames[] = {
    {u"Far", -1, u"S3!$A$1", "S3!$A$1", "Third!$A$1"},
    {u"Gone", -1, u"S2!$A$1", "#REF!", "S2!$A$1"},
    {u"Span", -1, u"S1:S3!$B$1", "S1:S3!$B$1", "S1:Third!$B$1"},
    {u"Own", 1, u"S2!$B$1", nullptr, "S2!$B$1"},
    {u"Late", 2, u"S3!$B$1", "S3!$B$1", "Third!$B$1"},
};

std::string Shown(const TFormulaValue& v) {
    if (v.ValType == fvFloat) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", v.Float);
        return buf;
    }
    return v.ValType == fvError ? WideToUtf8(ErrorFileText(v.Error)) : WideToUtf8(FormulaValueAsString(v));
}

std::string ValueText(TTabrix4& book, int sheet, int col, int row) {
    TFormulaValue v;
    book.CalculateCell(sheet, col, row, v);
    return Shown(v);
}

std::string Unquoted(std::string text);

std::map<std::string, std::string> EditedNames(TTabrix4& book) {
    std::map<std::string, std::string> out;
    TInternalNames& names = book.GetInternalNames();
    for (int i = 0; i < names.Count(); ++i) {
        const TInternalName& n = names.Items(i);
        TFormulaDecoding how;
        how.FileSyntax = true;
        how.Sheet = n.SheetNumber - 1;
        const std::u16string text =
            n.TokenLength ? book.FormulaHandler().DecodeFormula(n.Data, n.TokenLength, how) : n.FormulaText;
        out[WideToUtf8(n.GetName()) + "@" + std::to_string(n.SheetNumber - 1)] = Unquoted(WideToUtf8(text));
    }
    return out;
}

void FillSheetEditBook(TTabrix4& made) {
    made.GetSheet(0).SetName(u"S1");
    made.Sheets().Add(0).SetName(u"S2");
    made.Sheets().Add(0).SetName(u"S3");
    for (int s = 0; s < 3; ++s) made.GetSheet(s).SetAsFloat(1, 0, s + 1);
    made.GetSheet(1).SetAsFloat(0, 0, 10);
    made.GetSheet(2).SetAsFloat(0, 0, 20);
    TFormulaEncoding how;
    how.FileSyntax = true;
    for (const TSheetEditName& n : SheetEditNames) {
        TInternalName& name = made.GetInternalNames().Add();
        name.SetName(n.Name);
        name.SheetNumber = uint16_t(n.Sheet + 1);
        how.Class = 0x20;
        how.Sheet = n.Sheet;
        const TEncodedFormula f = made.FormulaHandler().EncodeFormula(n.Formula, how);
        name.Data = f.Data;
        name.TokenLength = uint16_t(f.TokenLength);
    }
    how.Class = 0;
    how.Sheet = 0;
    for (size_t i = 0; i < std::size(SheetEdits); ++i) {
        const TEncodedFormula f = made.FormulaHandler().EncodeFormula(SheetEdits[i].Formula, how);
        made.GetSheet(0).PutFormula(ctNumberFormula, 0, int(i), 15, int(f.TokenLength), f.Data, {});
    }
    for (size_t i = 0; i < std::size(CachedEdits); ++i) {
        const TEncodedFormula f = made.FormulaHandler().EncodeFormula(CachedEdits[i].Formula, how);
        TFormulaResult cached;
        cached.Number = CachedEdits[i].Cached;
        made.GetSheet(0).PutFormula(ctNumberFormula, 4, int(i), 15, int(f.TokenLength), f.Data, cached);
    }
    made.GetSheet(0).Hyperlinks().Add().SetAddress(u"S3!A1");
    made.GetSheet(0).Hyperlinks().Add().SetAddress(u"S2!A1");
    // A conditional format and validations that name other sheets.
    TConditionalFormat& format = made.GetSheet(0).ConditionalFormats().Add();
    format.Areas.AddArea(2, 0, 2, 0);
    format.Condition1.SetCompareCell(false);
    format.Condition1.SetFormula1(u"S3!$A$1>5");
    format.Condition1.FmtFont.SetFontStyle(xfsBold);
    for (const char16_t* text : {u"S2!$A$1>0", u"SUM(S1:S3!$B$1)>0"}) {
        TDataValidation& v = made.GetSheet(0).Validations().Add();
        v.Areas.AddArea(3, 0, 3, 0);
        v.SetValidationType(TValidationType::vtCustom);
        v.SetExpression1(text);
    }
}

// The workbook made here (origin 0), read back from .xls (1) or from .xlsx (2).
void MakeSheetEditBook(TTabrix4& book, int origin, const std::string& dir) {
    if (origin == 0) {
        FillSheetEditBook(book);
        return;
    }
    TTabrix4 made;
    FillSheetEditBook(made);
    made.SetVersion(origin == 1 ? TExcelVersion::xvExcel97 : TExcelVersion::xvExcel2007);
    made.SetFilename(Utf8ToWide(dir + (origin == 1 ? "/made.xls" : "/made.xlsx")));
    made.Write();
    book.SetFilename(made.GetFilename());
    book.Read();
}

// Without quotes: S1 quoted or not (it reads as a cell too) is one sheet.
std::string Unquoted(std::string text) {
    std::erase(text, '\'');
    return text;
}

// The other workbook as a formula of a package names it: by its link part.
std::string Linked(std::string text, bool package) {
    if (const size_t at = text.find("[ext.xlsx]"); package && at != text.npos) text.replace(at, 10, "[1]");
    return text;
}

// The formulas of S1 and the names as every write and read gives them back.
// ranges: the conditional format and validations are there (a package's,
// which the model keeps as its elements, do not go into .xls).
void ExpectSheetEdit(TTabrix4& book, bool deleted, const std::string& where, bool ranges = true) {
    SCOPED_TRACE(where);
    const bool package = book.GetOrigVersion() == TExcelVersion::xvExcel2007;
    for (size_t i = 0; i < std::size(SheetEdits); ++i) {
        EXPECT_EQ(Unquoted(book.GetSheet(0).GetAsFormula(0, int(i))),
                  Linked(deleted ? SheetEdits[i].Deleted : SheetEdits[i].Renamed, package))
            << i;
        EXPECT_EQ(ValueText(book, 0, 0, int(i)), deleted ? SheetEdits[i].Value : SheetEdits[i].RenamedValue)
            << i;
    }
    std::map<std::string, std::string> expect;
    for (const TSheetEditName& n : SheetEditNames) {
        const int sheet = deleted && n.Sheet == 2 ? 1 : n.Sheet;
        if (!deleted || n.Deleted)
            expect[WideToUtf8(n.Name) + "@" + std::to_string(sheet)] = deleted ? n.Deleted : n.Renamed;
    }
    EXPECT_EQ(EditedNames(book), expect);
    // The conditional format and validations: in the model, or kept as the
    // elements of the package read.
    TSheet& s1 = book.GetSheet(0);
    const std::vector<std::string> ranged = {deleted ? "S3!$A$1>5" : "Third!$A$1>5",
                                             deleted ? "#REF!>0" : "S2!$A$1>0",
                                             deleted ? "SUM(S1:S3!$B$1)>0" : "SUM(S1:Third!$B$1)>0"};
    if (s1.ConditionalFormats().Count() == 1 && s1.Validations().Count() == 2) {
        EXPECT_EQ(Unquoted(WideToUtf8(s1.ConditionalFormats().Items(0).Condition1.GetFormula1())), ranged[0]);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(Unquoted(WideToUtf8(s1.Validations().Items(i).GetExpression1())),
                      ranged[size_t(i) + 1]);
    } else if (ranges) {
        std::string kept;
        for (int i = 0; i < s1.PackageData().SavedTags.Count(); ++i)
            kept += s1.PackageData().SavedTags.Text(i);
        for (size_t at; (at = kept.find("&gt;")) != kept.npos;) kept.replace(at, 4, ">");
        for (size_t at; (at = kept.find("&apos;")) != kept.npos;) kept.replace(at, 6, "");
        for (const std::string& f : ranged)
            EXPECT_NE(Unquoted(kept).find(">" + f + "<"), std::string::npos) << f << kept;
    }
    // Results kept, or computed anew where the library can (never the old).
    for (size_t i = 0; i < std::size(CachedEdits); ++i) {
        TFormulaValue v;
        s1.GetCellValue(4, int(i), v);
        const auto& f = static_cast<const TFormulaCell&>(*s1.GetCell(4, int(i)));
        TFormulaValue old;
        SetFormulaValueFloat(old, CachedEdits[i].Cached);
        if (!deleted || !CachedEdits[i].ReachesS2)
            EXPECT_EQ(Shown(v), Shown(old)) << WideToUtf8(CachedEdits[i].Formula);
        else
            EXPECT_TRUE(book.HoldsNoResult(0, f) || Shown(v) != Shown(old))
                << WideToUtf8(CachedEdits[i].Formula);
    }
    THyperlinks& links = book.GetSheet(0).Hyperlinks();
    if (links.Count() == 2) {
        EXPECT_EQ(links.Items(0).TextMark(), deleted ? u"S3!A1" : u"Third!A1");
        EXPECT_EQ(links.Items(1).TextMark(), deleted ? u"#REF!" : u"S2!A1");
    }
}

} // namespace

TEST_F(Workbook, DeletedAndRenamedSheetsAreFollowedByEveryFormula) {
    testfiles::ScratchDir dir;
    for (int origin = 0; origin < 3; ++origin)
        for (bool deleting : {true, false}) {
            SCOPED_TRACE(std::string(deleting ? "deleted" : "renamed") + " in a workbook from origin " +
                         std::to_string(origin));
            TTabrix4 book;
            MakeSheetEditBook(book, origin, dir.Path());
            if (deleting) {
                book.Sheets().Delete(1);
                ASSERT_EQ(book.Sheets().Count(), 2);
            } else {
                book.GetSheet(2).SetName(u"Third");
            }
            ExpectSheetEdit(book, deleting, "after the edit");
            for (TExcelVersion v : {TExcelVersion::xvExcel97, TExcelVersion::xvExcel2007}) {
                const bool package = v == TExcelVersion::xvExcel2007;
                book.SetVersion(v);
                book.SetFilename(Utf8ToWide(dir.File(package ? "edited.xlsx" : "edited.xls")));
                book.Write();
                // The results kept are written: none is lost.
                for (const std::string& w : book.Warnings()) EXPECT_EQ(w.find("is lost"), w.npos) << w;
                TTabrix4 back;
                back.SetFilename(book.GetFilename());
                back.Read();
                ExpectSheetEdit(back, deleting, package ? "written as .xlsx" : "written as .xls",
                                origin != 2 || package);
            }
        }
}

// Random workbooks under random sequences of edits, from a fixed seed (the
// fuzz target sheet_edits runs the same on any bytes).
TEST_F(Workbook, EditsKeepTheMeaningOfEveryFormulaTheyDoNotTouch) {
    testfiles::ScratchDir dir;
    std::mt19937 random(20261208);
    const auto start = std::chrono::steady_clock::now();
    int faults = 0;
    for (int i = 0; i < 500 && faults < 5; ++i) {
        std::vector<uint8_t> bytes(40 + random() % 200);
        for (uint8_t& b : bytes) b = uint8_t(random());
        const std::string fault = sheetedits::RunCase(bytes.data(), bytes.size(), dir.File("edits.xls"));
        LibState().Reset();
        if (!fault.empty()) ++faults;
        EXPECT_EQ(fault, "") << "case " << i;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}
