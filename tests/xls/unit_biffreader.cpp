#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/formats/RecordStorage.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/XLSColumns.h"
#include "SrcXLS/model/XLSRows.h"

#include "support_biffbuild.h"
#include "support_files.h"
#include "support_messages.h"
#include "support_state.h"

#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <malloc.h>

using namespace xls;
using namespace biffbuild;

namespace {

// A BIFF8 workbook: globals with the given BOUNDSHEETs, then the sheets.
struct Book8 {
    Stream globals;
    std::vector<Stream> sheets;
    std::vector<std::string> names;

    Book8& Sheet(const std::string& name, const std::function<void(Stream&)>& cells = {}) {
        names.push_back(name);
        Stream s;
        s.Bof8(0x0010);
        if (cells) cells(s);
        s.Eof();
        sheets.push_back(s);
        return *this;
    }
    Bytes Image() const {
        Stream all;
        all.Bof8(0x0005).Raw(globals.Data());
        for (const auto& n : names) all.BoundSheet8(n);
        all.Eof();
        for (const auto& s : sheets) all.Raw(s.Data());
        return CompoundImage(all.Data());
    }
};

void Read(TTabrix4& book, const Bytes& image) {
    ReadWorkbookFile(book, &image);
    book.AfterRead();
}

std::string ReadMessage(const Bytes& image) {
    TTabrix4 book;
    return MessageOf([&] { Read(book, image); });
}

Bytes NumberResult(double v) {
    return Body().F64(v).b;
}
Bytes Special(uint8_t kind, uint8_t value = 0) {
    return {kind, 0, value, 0, 0, 0, 0xFF, 0xFF};
}

} // namespace

TEST(BIFFReader, ErrorsNameTheRecordAndKeepThePercentSignsOfTheMessage) {
    Book8 b;
    b.Sheet("a", [](Stream& s) { s.Rec(0x8123, Body().U16(1)); });
    std::string m = ReadMessage(b.Image());
    EXPECT_EQ(m.substr(0, 32), "Error on reading record # 4, 812");
    EXPECT_NE(m.find("Offs: 000000"), std::string::npos);
    EXPECT_EQ(m.substr(m.size() - 19), "\rBad record in file");

    // A message of the model with '%' in it arrives as it was.
    Book8 dup;
    dup.Sheet("100%s%n").Sheet("100%S%N");
    EXPECT_NE(ReadMessage(dup.Image()).find("\"100%S%N\" allready exists"), std::string::npos);

    // A record cut by the end of the stream.
    Stream cut;
    cut.Bof8(0x0005).Raw({0x03, 0x02, 0x0E, 0x00, 1, 2});
    EXPECT_NE(ReadMessage(CompoundImage(cut.Data())).find("Bad record in file"), std::string::npos);

    EXPECT_EQ(ReadMessage(CompoundImage(Bytes{1, 2, 3, 4, 5, 6})), "The file is not an Excel workbook");
}

TEST(BIFFReader, SubstreamsSheetsAndWhatComesAfterTheLast) {
    Book8 b;
    b.Sheet("One", [](Stream& s) { s.Number(0, 0, 1); });
    // A name the component's setter refuses is kept as the file has it.
    b.Sheet("Q1/Q2: [*?]\\", [](Stream& s) {
        // An embedded chart inside the sheet: kept whole, sheet order intact.
        s.Bof8(0x0020).Rec(0x1001, Body().U16(1)).Eof();
        s.Number(1, 1, 2);
    });
    b.Sheet("Three", [](Stream& s) { s.Number(2, 2, 3); });
    b.sheets.push_back(Stream().Raw({0xFF, 0xFF, 0xFF}));
    TTabrix4 book;
    Read(book, b.Image());
    ASSERT_EQ(book.Sheets().Count(), 3);
    EXPECT_EQ(book.Sheets().Items(1).Name(), u"Q1/Q2: [*?]\\");
    EXPECT_EQ(book.Sheets().Items(2).GetAsFloat(2, 2), 3);
    TRecordStorageSheet& two = book.Sheets().Items(1).Records();
    int chart = two.IndexOf(0x1001);
    ASSERT_GT(chart, 0);
    EXPECT_EQ(two.GetItem(chart - 1).Id(), 0x0809);
    EXPECT_EQ(two.GetItem(chart + 1).Id(), 0x000A);
    EXPECT_EQ(book.GetVersion(), TExcelVersion::xvExcel97);
}

TEST(BIFFReader, ChartSheetsAndCustomViewsLeaveNothingBehind) {
    Stream all;
    all.Bof8(0x0005).BoundSheet8("Chart", 0, 2).BoundSheet8("Data").Eof();
    all.Bof8(0x0020).Rec(0x1002, Body().U32(0)).Eof();
    all.Bof8(0x0010).Number(0, 0, 5);
    all.Rec(0x01AA, Body().Raw(Bytes(16, 0))).Rec(0x7777, Body().U16(9)).Rec(0x01AB, Body()).Eof();
    TTabrix4 book;
    Read(book, CompoundImage(all.Data()));
    ASSERT_EQ(book.Sheets().Count(), 1);
    EXPECT_EQ(book.Sheets().Items(0).Name(), u"Data");
    TRecordStorageSheet& list = book.Sheets().Items(0).Records();
    EXPECT_LT(list.IndexOf(0x7777), 0);
    EXPECT_LT(list.IndexOf(0x01AA), 0);
    EXPECT_LT(list.IndexOf(0x1002), 0);
}

TEST(BIFFReader, UnknownRecordsStayInTheirListInFileOrder) {
    Book8 b;
    b.globals.Rec(0x0901, Body().U16(1)).Rec(0x004D, Body().Raw({1, 2, 3}));
    b.Sheet("S", [](Stream& s) { s.Rec(0x0902, Body().U8(7)).Number(0, 0, 1).Rec(0x0903, Body()); });
    TTabrix4 book;
    Read(book, b.Image());
    auto& g = book.GlobalsStorage();
    ASSERT_GE(g.IndexOf(0x004D), 0);
    EXPECT_LT(g.IndexOf(0x0901), g.IndexOf(0x004D));
    EXPECT_EQ(g.GetItem(g.IndexOf(0x004D)).Body().size(), 3u);
    auto& s = book.Sheets().Items(0).Records();
    EXPECT_LT(s.IndexOf(0x0902), s.IndexOf(0x0903));
    EXPECT_LT(g.IndexOf(0x0902), 0);
}

// Some writers give a plain single-sheet stream the BIFF5-BIFF8 BOF id with
// the 6-byte BIFF3-BIFF4 body; its records are the older ones.
TEST(BIFFReader, PlainStreamWithTheNewerBOFIdAndTheOlderBody) {
    Stream s;
    s.Rec(0x0809, Body().U16(0).U16(0x0010).U16(0));
    s.Rec(0x041E, Body().U16(0).Str8("General"));
    s.Rec(0x0443, Body().Raw(Bytes(12, 0)));
    s.Rec(0x0004, Body().U16(0).U16(0).Raw({0, 0, 0}).Str8("BIFF2"));
    s.Rec(0x0204, Body().U16(1).U16(0).U16(0).U16(3).Raw({'a', 'b', 'c'}));
    s.Rec(0x027E, Body().U16(1).U16(2).U16(0).U32(0x40934800)); // 1234 as RK
    s.Eof();
    TTabrix4 book;
    Read(book, s.Data());
    EXPECT_EQ(book.GetVersion(), TExcelVersion::xvExcel40);
    ASSERT_EQ(book.Sheets().Count(), 1);
    TSheet& sheet = book.Sheets().Items(0);
    EXPECT_EQ(sheet.GetAsString(0, 0), u"BIFF2");
    EXPECT_EQ(sheet.GetAsString(0, 1), u"abc");
    EXPECT_EQ(sheet.GetAsFloat(2, 1), 1234.0);
    // A longer body under that id in a plain file is no workbook this reader knows.
    Stream longer;
    longer.Rec(0x0809, Body().U16(0x0600).U16(0x0010).U32(0).U32(0).U32(0)).Eof();
    EXPECT_NE(ReadMessage(longer.Data()).find("not an Excel workbook"), std::string::npos);
}

TEST(BIFFReader, OldSingleSheetFiles) {
    // BIFF4: the file is the sheet; its records belong to the sheet's list.
    Stream s4;
    s4.Rec(0x0409, Body().U16(0).U16(0x0010).U16(0));
    s4.Rec(0x0042, Body().U16(1251));
    s4.Rec(0x0231, Body().U16(200).U16(0).U16(0x7FFF).Str8("Arial"));
    s4.Rec(0x0443, Body().Raw(Bytes(12, 0)));
    s4.Rec(0x0203, Body().U16(0).U16(0).U16(0).F64(12.5));
    s4.Rec(0x0204, Body().U16(1).U16(0).U16(0).U16(3).Raw({0xCF, 0xE8, 0xE2}));
    s4.Rec(0x0999, Body().U8(1));
    // The selection (C2, no pane) goes to the model.
    s4.Rec(0x001D, Body().U8(3).U16(1).U16(2).U16(0).U16(1).U16(1).U16(1).U8(2).U8(2));
    // Excel 4's page setup: paper A3, scale 55, start page 1, fit 1 x 2,
    // landscape; and a zoom of 130 %.
    s4.Rec(0x00A1, Body().U16(8).U16(55).U16(1).U16(1).U16(2).U16(0));
    s4.Rec(0x00A0, Body().U16(13).U16(10));
    s4.Eof();
    TTabrix4 book;
    Read(book, s4.Data());
    EXPECT_EQ(book.GetVersion(), TExcelVersion::xvExcel40);
    ASSERT_EQ(book.Sheets().Count(), 1);
    TSheet& sheet = book.Sheets().Items(0);
    EXPECT_EQ(sheet.Name(), u"Sheet1");
    EXPECT_EQ(sheet.GetAsFloat(0, 0), 12.5);
    EXPECT_EQ(sheet.GetAsString(0, 1), u"Пив");
    EXPECT_GE(sheet.Records().IndexOf(0x0999), 0);
    EXPECT_EQ(sheet.SelectedAreas().ActiveRow, 1);
    EXPECT_EQ(sheet.SelectedAreas().ActiveCol, 2);
    const TPrintSettings& print = sheet.PrintSettings();
    EXPECT_EQ(print.GetPaperSize(), TPaperSize::psA3);
    EXPECT_EQ(print.GetScalingFactor(), 55);
    EXPECT_EQ(print.GetFitHeight(), 2);
    EXPECT_FALSE(print.GetOptions().Contains(TPrintSetupOption::psoPortrait));
    // The later fields are the defaults: the record is written whole.
    EXPECT_EQ(sheet.Records().DefaultBlock(0x00A1)->Length(), 34);
    EXPECT_EQ(print.GetHeaderMargin(), 0.5);
    EXPECT_EQ(sheet.GetZoom(), 130);

    // BIFF2: value records of their own, boolean and error cells included.
    Stream s2;
    s2.Rec(0x0009, Body().U16(2).U16(0x0010));
    s2.Rec(0x0002, Body().U16(0).U16(0).Raw({0, 0, 0}).U16(7));
    s2.Rec(0x0005, Body().U16(1).U16(0).Raw({0, 0, 0}).U8(1).U8(0));
    s2.Rec(0x0005, Body().U16(2).U16(0).Raw({0, 0, 0}).U8(0x07).U8(1));
    s2.Rec(0x0004, Body().U16(3).U16(0).Raw({0, 0, 0}).Str8("ab"));
    s2.Eof();
    TTabrix4 b2;
    Read(b2, s2.Data());
    TSheet& s = b2.Sheets().Items(0);
    EXPECT_EQ(s.GetAsFloat(0, 0), 7);
    EXPECT_EQ(s.GetCellType(0, 1), ctBoolean);
    EXPECT_EQ(s.GetCellType(0, 2), ctError);
    EXPECT_EQ(s.GetAsString(0, 3), u"ab");
}

// The defined names of the older versions go to the list, their formulas
// made BIFF8 tokens that a formula using them computes; a damaged NAME
// leaves a stand-in in its place, named in a warning. A single-sheet
// file's names name its sheet and its built-in names belong to it; its
// lists are whole; its widths, row heights and BIFF2 font colours are read.
TEST(BIFFReader, NamesColumnsAndRowsOfOlderFiles) {
    const Bytes ref3d = {0x3A, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Stream all;
    all.Bof5(0x0005).Rec(0x0042, Body().U16(1251)).BoundSheet5("S");
    all.Rec(0x0018, Body()
                        .U16(0)
                        .U8(0)
                        .U8(4)
                        .U16(uint16_t(ref3d.size()))
                        .U16(0)
                        .U16(0)
                        .Raw({0, 0, 0, 0})
                        .Raw({'R', 'a', 't', 'e'})
                        .Raw(ref3d));
    all.Rec(0x0018, Body().U16(0).U8(0).U8(40).U16(0).U16(0).U16(0).Raw({0, 0, 0, 0}).Raw({'x'}));
    all.Eof();
    all.Bof5(0x0010).Number(0, 0, 4);
    all.Formula(1, 0, NumberResult(8), 0, {0x43, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1E, 2, 0, 0x05});
    all.Eof();
    TTabrix4 book;
    Read(book, CompoundImage(all.Data(), u"Book"));
    TInternalNames& names = book.GetInternalNames();
    ASSERT_EQ(names.Count(), 2);
    EXPECT_EQ(names.Items(0).GetName(), u"Rate");
    EXPECT_EQ(book.FormulaHandler().DecodeFormula(names.Items(0).Data, names.Items(0).TokenLength,
                                                  {.FileSyntax = true}),
              u"S!$A$1");
    EXPECT_EQ(names.Items(1).GetName(), u"_Name2");
    ASSERT_EQ(book.Warnings().size(), 1u);
    EXPECT_NE(book.Warnings()[0].find("Defined name number 2 not read"), std::string::npos)
        << book.Warnings()[0];
    EXPECT_EQ(book.GetSheet(0).GetAsFormula(0, 1), "Rate*2");
    TFormulaValue v;
    book.MakeEvaluator()->CalculateCell(0, 0, 1, v);
    EXPECT_EQ(v.Float, 8);

    Stream s3;
    s3.Rec(0x0209, Body().U16(0).U16(0x0010));
    s3.Rec(0x0218, Body().U16(0x20).U8(0).U8(1).U16(7).Raw({6, 0x25, 0, 0, 1, 0, 0, 1}));
    s3.Rec(0x007D, Body().U16(1).U16(2).U16(5000).U16(15).U16(0).U8(0));
    s3.Number(0, 0, 1).Eof();
    TTabrix4 b3;
    Read(b3, s3.Data());
    ASSERT_EQ(b3.GetInternalNames().Count(), 1);
    const TInternalName& area = b3.GetInternalNames().Items(0);
    EXPECT_EQ(area.GetName(), u"Print_Area");
    EXPECT_EQ(area.SheetNumber, 1);
    EXPECT_EQ(b3.FormulaHandler().DecodeFormula(area.Data, area.TokenLength, {.FileSyntax = true}),
              u"Sheet1!$A$1:$B$2");
    TSheet& sheet3 = b3.GetSheet(0);
    EXPECT_EQ(sheet3.Columns().GetItem(2)->GetWidth(), 5000);
    EXPECT_EQ(sheet3.Records().GetItem(0).Id(), 0x0809);
    EXPECT_GE(b3.GlobalsStorage().IndexOf(placeholder::BoundSheets), 0);
    EXPECT_EQ(b3.GlobalsStorage().GetItem(b3.GlobalsStorage().Count() - 1).Id(), 0x000A);

    Stream s2;
    s2.Rec(0x0009, Body().U16(2).U16(0x0010));
    s2.Rec(0x0031, Body().U16(200).U16(0).Str8("Arial")).Rec(0x0045, Body().U16(2));
    s2.Rec(0x0024, Body().U8(0).U8(0).U16(3000));
    s2.Rec(0x0008, Body().U16(0).U16(0).U16(2).U16(400).U16(0).U8(0).U16(0));
    s2.Rec(0x0002, Body().U16(0).U16(0).Raw({0, 0, 0}).U16(7)).Eof();
    TTabrix4 b2;
    Read(b2, s2.Data());
    TSheet& sheet2 = b2.GetSheet(0);
    EXPECT_EQ(b2.Fonts().GetItem(0)->ColorIndex, 10);
    EXPECT_EQ(sheet2.Columns().GetItem(0)->GetWidth(), 3000);
    ASSERT_EQ(sheet2.Rows().Count(), 1);
    EXPECT_EQ(sheet2.Rows().GetItem(0).Height, 400);
}

// An Excel 5 file calls functions through add-in names of its link table,
// a sheet's own where it has one: they read as an Excel 97 file's do.
TEST(BIFFReader, FunctionsOfExcel5AddInNamesAreNamed) {
    // tNameX of EXTERNSHEET record index, name 1, then a call of it with "a", "b".
    auto call = [](uint8_t index) {
        Bytes t = {0x39, index, 0};
        t.resize(t.size() + 8, 0);
        t.insert(t.end(), {1, 0});
        t.resize(t.size() + 12, 0);
        t.insert(t.end(), {0x17, 1, 'a', 0x17, 1, 'b', 0x42, 3, 0xFF, 0});
        return t;
    };
    auto addIn = [](Stream& s, const std::string& name) {
        s.Rec(0x0017, Body().Str8(":"));
        s.Rec(0x0023, Body().U16(0).U32(0).Str8(name).U16(2).Raw({0x1C, 0x17}));
    };
    const Bytes text = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    Stream all;
    all.Bof5(0x0005).BoundSheet5("S").BoundSheet5("T");
    all.Rec(0x0017, Body().Str8("\x04"));
    addIn(all, "IFS");
    all.Eof();
    // S has a table of its own, T none.
    all.Bof5(0x0010);
    addIn(all, "CONCAT");
    all.Formula(0, 0, text, 0, call(1)).Rec(0x0207, Body().U16(2).Raw({'a', 'b'}));
    all.Eof();
    all.Bof5(0x0010);
    all.Formula(0, 0, text, 0, call(2)).Rec(0x0207, Body().U16(1).Raw({'b'}));
    all.Formula(1, 0, text, 0, call(1)).Rec(0x0207, Body().U16(1).Raw({'x'}));
    all.Formula(2, 0, text, 0, call(3)).Rec(0x0207, Body().U16(1).Raw({'x'}));
    all.Eof();
    TTabrix4 book;
    Read(book, CompoundImage(all.Data(), u"Book"));
    EXPECT_EQ(book.GetSheet(0).GetAsFormula(0, 0), "_xlfn.CONCAT(\"a\",\"b\")");
    EXPECT_EQ(book.GetSheet(1).GetAsFormula(0, 0), "_xlfn.IFS(\"a\",\"b\")");
    // Not an add-in's, or past the table: no function is named.
    EXPECT_EQ(book.GetSheet(1).GetAsFormula(0, 1), "#NAME?(\"a\",\"b\")");
    EXPECT_EQ(book.GetSheet(1).GetAsFormula(0, 2), "#NAME?(\"a\",\"b\")");
}

TEST(BIFFReader, Biff5TextFollowsTheCodePage) {
    Stream all;
    all.Bof5(0x0005).Rec(0x0042, Body().U16(1251)).Rec(0x005C, Body().Str8("\xCF\xE5\xF2\xF0"));
    all.BoundSheet5("\xD2\xEE\xE2\xE0\xF0").Eof();
    all.Bof5(0x0010).Rec(0x0204, Body().U16(0).U16(0).U16(15).U16(2).Raw({0xC0, 0xE1})).Eof();
    TTabrix4 book;
    Read(book, CompoundImage(all.Data(), u"Book"));
    EXPECT_EQ(book.GetVersion(), TExcelVersion::xvExcel50);
    EXPECT_EQ(book.Sheets().Items(0).Name(), u"Товар");
    EXPECT_EQ(book.Sheets().Items(0).GetAsString(0, 0), u"Аб");
    EXPECT_EQ(book.GetUserName(), u"Петр");

    // The code page of an older file is the one its text is written in
    // again (the version test writes it back); a BIFF8 file's CODEPAGE says
    // nothing about 8-bit text.
    EXPECT_EQ(book.CodePage, 1251);
    Book8 b8;
    b8.globals.Rec(0x0042, Body().U16(1252));
    b8.Sheet("S");
    TTabrix4 book8;
    Read(book8, b8.Image());
    EXPECT_EQ(book8.CodePage, DefaultCodePage);
}

TEST(BIFFReader, ProgressRunsFromZeroToHundredStrictlyRising) {
    Book8 b;
    b.Sheet("S", [](Stream& s) {
        for (int i = 0; i < 400; ++i) s.Number(uint16_t(i), 0, i);
    });
    TTabrix4 book;
    std::vector<int> seen;
    book.OnProgress = [&](TTabrix4&, int v) { seen.push_back(v); };
    Read(book, b.Image());
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]);
}

TEST(BIFFReader, FontsPaletteAndFormats) {
    Book8 b;
    for (int i = 0; i < 5; ++i)
        b.globals.Rec(0x0031, Body()
                                  .U16(uint16_t(200 + 20 * i))
                                  .U16(0)
                                  .U16(8)
                                  .U16(400)
                                  .U16(0)
                                  .Raw({0, 0, 0, 0})
                                  .U8(1)
                                  .U8(0)
                                  .Raw({'A'}));
    Body palette;
    palette.U16(56);
    for (int i = 0; i < 56; ++i) palette.U32(0x00010203 + uint32_t(i));
    b.globals.Rec(0x0092, palette);
    b.globals.Rec(0x041E, Body().U16(170).Str16("0.000"));
    Body xf;
    xf.U16(5).U16(170).Raw(Bytes(16, 0));
    for (int i = 0; i < 16; ++i) b.globals.Rec(0x00E0, xf);
    b.Sheet("S", [](Stream& s) { s.Number(0, 0, 1, 15); });
    TTabrix4 book;
    Read(book, b.Image());
    EXPECT_EQ(book.Fonts().GetItem(5)->Height, 280u);
    EXPECT_EQ(book.Fonts().GetItem(3)->Height, 260u);
    EXPECT_EQ(LibState().Palette[8], 0x00010203u);
    EXPECT_EQ(LibState().Palette[63], 0x00010203u + 55);
    EXPECT_LT(book.GlobalsStorage().IndexOf(0x0092), 0);
    EXPECT_EQ(book.DefaultFormats().GetItem(15)->GetNumberFormat(), u"0.000");
    LibState().Reset();
}

TEST(BIFFReader, PaneSelectionsMergedCellsAndBreaks) {
    Book8 b;
    b.Sheet("S", [](Stream& s) {
        s.Rec(0x023E, Body().U16(0x06BE).U32(0).U32(0x40).Raw(Bytes(8, 0)));
        s.Rec(0x0041, Body().U16(1).U16(2).U16(2).U16(1).U8(9).U8(0));
        for (uint8_t pane : {3, 1, 0})
            s.Rec(0x001D, Body().U8(pane).U16(pane).U16(4).U16(0).U16(1).U16(pane).U16(pane).U8(4).U8(4));
        s.Rec(0x00E5, Body().U16(2).U16(0).U16(1).U16(0).U16(2).U16(5).U16(5).U16(1).U16(3));
        s.Rec(0x001B, Body().U16(1).U16(10).U16(0).U16(255));
    });
    TTabrix4 book;
    Read(book, b.Image());
    TSheet& sheet = book.Sheets().Items(0);
    EXPECT_EQ(sheet.Pane().GetActivePane(), 3);
    EXPECT_EQ(sheet.Pane().PaneType, TPaneType::ptFrozen);
    EXPECT_EQ(sheet.Pane().Records().Count(), 3);
    EXPECT_EQ(sheet.SelectedAreas().ActiveRow, 3);
    EXPECT_EQ(sheet.SelectedAreas().ActiveCol, 4);
    ASSERT_EQ(sheet.MergedCells().Count(), 2);
    EXPECT_EQ(sheet.MergedCells()[1].Col2, 3u);
    auto& breaks = sheet.PrintSettings().HorizPagebreaks();
    ASSERT_EQ(breaks.Count(), 1);
    EXPECT_EQ(breaks[0].Row, 9);
    EXPECT_EQ(breaks[0].Col1, -1);
    EXPECT_EQ(breaks[0].Col2, 254);
}

TEST(BIFFReader, FormulaResultsSharedAndArrayFormulas) {
    Book8 b;
    b.Sheet("S", [](Stream& s) {
        Bytes sum = {0x1E, 0x02, 0x00};
        s.Formula(0, 0, NumberResult(3), 0, sum);
        s.Formula(0, 1, NumberResult(3), 0, {}); // no tokens: no cell
        s.Formula(0, 2, Special(0), 0, sum);     // text without STRING: no cell
        s.Formula(0, 3, Special(0), 0, sum).Rec(0x0207, Body().Str16("hi"));
        s.Formula(0, 4, Special(1, 1), 0, sum);
        s.Formula(0, 5, Special(2, 0x07), 0, sum);
        // Shared formula over C2:C4 anchored at C2.
        Bytes exp = {0x01, 1, 0, 2, 0};
        s.Formula(1, 2, NumberResult(10), 0x0008, exp);
        s.Rec(0x04BC,
              Body().U16(1).U16(3).U8(2).U8(2).U8(0).U8(3).U16(3).Raw({0x1E, 0x05, 0x00}).Raw({9, 9}));
        s.Formula(2, 2, NumberResult(11), 0x0008, exp);
        s.Formula(3, 2, NumberResult(12), 0x0008, exp);
        // Array formula over A6:B7.
        Bytes arr = {0x01, 5, 0, 0, 0};
        s.Formula(5, 0, NumberResult(1), 0, arr);
        s.Rec(0x0221, Body().U16(5).U16(6).U8(0).U8(1).U16(0).U32(0).U16(3).Raw({0x1E, 0x01, 0x00}));
        s.Formula(5, 1, Special(0), 0, arr).Rec(0x0207, Body().Str16("t"));
        s.Formula(6, 0, NumberResult(3), 0, arr);
        s.Formula(6, 1, Special(2, 0x2A), 0, arr);
    });
    TTabrix4 book;
    Read(book, b.Image());
    TSheet& s = book.Sheets().Items(0);
    EXPECT_EQ(s.GetCellType(0, 0), ctNumberFormula);
    EXPECT_EQ(s.GetCellType(1, 0), ctNone);
    EXPECT_EQ(s.GetCellType(2, 0), ctNone);
    EXPECT_EQ(s.GetAsString(3, 0), u"hi");
    EXPECT_EQ(s.GetCellType(4, 0), ctBooleanFormula);
    EXPECT_EQ(s.GetCellType(5, 0), ctErrorFormula);
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(s.GetCellType(2, row), ctNumberFormula);
        EXPECT_EQ(s.GetAsFloat(2, row), 9 + row);
    }
    EXPECT_EQ(s.GetCellType(0, 5), ctNumberArrayFormula);
    EXPECT_EQ(s.GetCellType(1, 5), ctStringArrayFormula);
    EXPECT_EQ(s.GetAsString(1, 5), u"t");
    EXPECT_EQ(s.GetAsFloat(0, 6), 3);
    EXPECT_EQ(s.GetCellType(1, 6), ctErrorFormula);

    // Members of a shared formula get their own references; where the
    // shared tokens cannot be walked the cached values stay as plain cells.
    Book8 shared;
    shared.Sheet("S", [](Stream& st) {
        Bytes anchorB2 = {0x01, 1, 0, 1, 0}, anchorB3 = {0x01, 2, 0, 1, 0};
        // B2:B4 = A(row) + 1, and overlapping it B3:B4 = A(row-1) * 2.
        st.Formula(1, 1, NumberResult(5), 0x0008, anchorB2);
        st.Rec(0x04BC, Body().U16(1).U16(3).U8(1).U8(1).U8(0).U8(3).U16(9).Raw(
                           {0x2C, 0x00, 0x00, 0xFF, 0xC0, 0x1E, 0x01, 0x00, 0x03}));
        st.Formula(2, 1, NumberResult(6), 0x0008, anchorB3);
        st.Rec(0x04BC, Body().U16(2).U16(3).U8(1).U8(1).U8(0).U8(2).U16(9).Raw(
                           {0x2C, 0xFF, 0xFF, 0xFF, 0xC0, 0x1E, 0x02, 0x00, 0x05}));
        st.Formula(3, 1, NumberResult(7), 0x0008, anchorB3);
        // D2:D4 holds a memory area, whose areas a cell cannot take over:
        // values only.
        Bytes anchorD2 = {0x01, 1, 0, 3, 0};
        st.Formula(1, 3, NumberResult(1.5), 0x0008, anchorD2);
        st.Rec(0x04BC,
               Body().U16(1).U16(3).U8(3).U8(3).U8(0).U8(3).U16(8).Raw({0x26, 0, 0, 0, 0, 1, 0, 0x15}));
        st.Formula(2, 3, Special(0), 0x0008, anchorD2).Rec(0x0207, Body().Str16("txt"));
        st.Formula(3, 3, Special(1, 1), 0x0008, anchorD2);
    });
    TTabrix4 sb;
    Read(sb, shared.Image());
    TSheet& ss = sb.Sheets().Items(0);
    auto tokens = [&](int col, int row) {
        auto* f = dynamic_cast<TFormulaCell*>(ss.GetCell(col, row));
        return f ? Bytes(f->Data().begin(), f->Data().end()) : Bytes{};
    };
    EXPECT_EQ(tokens(1, 1), Bytes({0x24, 0x01, 0x00, 0x00, 0xC0, 0x1E, 0x01, 0x00, 0x03}));
    EXPECT_EQ(tokens(1, 2), Bytes({0x24, 0x01, 0x00, 0x00, 0xC0, 0x1E, 0x02, 0x00, 0x05}));
    EXPECT_EQ(tokens(1, 3), Bytes({0x24, 0x02, 0x00, 0x00, 0xC0, 0x1E, 0x02, 0x00, 0x05}));
    EXPECT_EQ(ss.GetAsFloat(1, 3), 7);
    EXPECT_EQ(ss.GetCellType(3, 1), ctFloat);
    EXPECT_EQ(ss.GetAsFloat(3, 1), 1.5);
    EXPECT_EQ(ss.GetCellType(3, 2), ctString);
    EXPECT_EQ(ss.GetAsString(3, 2), u"txt");
    EXPECT_EQ(ss.GetCellType(3, 3), ctBoolean);

    // A shared member whose anchor lies in no range read so far.
    Book8 bad;
    bad.Sheet("S", [](Stream& st) { st.Formula(4, 1, NumberResult(1), 0x0008, {0x01, 9, 0, 9, 0}); });
    EXPECT_NE(ReadMessage(bad.Image()).find("Fixup error in shared formula at C=1,R=4 (B5)"),
              std::string::npos);
}

TEST(BIFFReader, MoreSheetSubstreamsThanBoundSheetsAreLeftOut) {
    Stream extra;
    extra.Bof8(0x0005).BoundSheet8("A").BoundSheet8("B").Eof();
    extra.Bof8(0x0010).Eof().Bof8(0x0010).Eof().Bof8(0x0010).Eof();
    TTabrix4 book;
    Read(book, CompoundImage(extra.Data()));
    EXPECT_EQ(book.Sheets().Count(), 2);
}

// Records outside every substream (after an EOF, after a BOF of no known
// kind) belong to no list: they are left out and counted, and a copy in
// each version reads back with the cells.
TEST(BIFFReader, RecordsOutsideEverySubstreamAreLeftOut) {
    Stream between;
    between.Bof8(0x0005).BoundSheet8("A").Eof();
    between.Rec(0x0081, Body().U16(0x04C1)).Number(3, 3, 9);
    between.Bof8(0x0010).Number(0, 0, 1.5).Eof();
    // An Excel 3 file whose first BOF opens nothing; the sheet starts later.
    Stream opensNone;
    opensNone.Rec(0x0209, Body().U16(0).U16(0x0F00).U16(1)).Rec(0x0081, Body().U16(0x04C1));
    opensNone.Rec(0x0209, Body().U16(0).U16(0x0010).U16(1))
        .Rec(0x0203, Body().U16(0).U16(0).U16(15).F64(1.5));
    testfiles::ScratchDir dir;
    const std::pair<Bytes, const char*> cases[] = {{CompoundImage(between.Data()), "2 record(s)"},
                                                   {opensNone.Data(), "1 record(s)"}};
    for (const auto& [image, count] : cases) {
        TTabrix4 book;
        Read(book, image);
        ASSERT_EQ(book.Sheets().Count(), 1);
        EXPECT_EQ(book.GetSheet(0).GetAsFloat(0, 0), 1.5);
        ASSERT_FALSE(book.Warnings().empty());
        EXPECT_EQ(book.Warnings()[0], std::string(count) + " outside every substream were left out")
            << book.Warnings()[0];
        for (TExcelVersion v :
             {TExcelVersion::xvExcel97, TExcelVersion::xvExcel50, TExcelVersion::xvExcel40}) {
            SCOPED_TRACE(int(v));
            const std::string file = dir.File("copy.xls");
            book.SetVersion(v);
            book.SetFilename(std::u16string(file.begin(), file.end()));
            book.Write();
            TTabrix4 again;
            again.SetFilename(book.GetFilename());
            again.Read();
            EXPECT_EQ(again.GetSheet(0).GetAsFloat(0, 0), 1.5);
            EXPECT_EQ(again.GetSheet(0).Cells().Count(), 1);
        }
    }
}

// A record, or a record with those that belong to it, that holds no cell
// and does not read costs itself: the cells before and after it are read,
// and a warning names it, its sheet and why.
TEST(BIFFReader, ADamagedItemCostsItselfWithAWarningNamingItsSheet) {
    auto condfmt = [](uint16_t count, uint16_t ranges, size_t rangeBytes) {
        return Body().U16(count).U16(1).Raw(Bytes(8, 0)).U16(ranges).Raw(Bytes(rangeBytes, 0));
    };
    const Body cf = Body().U8(1).U8(3).U16(0).U16(0).U32(0x3FFFFF).U16(0);
    auto dv = [](const Body& rest) { return Body().U32(0).Raw(rest.b); };
    const Body goodDV = dv(Body().U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0));
    auto dval = [](uint32_t count) { return Body().U16(0).U32(0).U32(0).U32(0xFFFFFFFF).U32(count); };
    // A URL link whose description claims 500 characters.
    const Body hlink =
        Body().U16(0).U16(0).U16(0).U16(0).Raw(Bytes(16, 1)).U32(2).U32(0x17).U32(500).U16('a');
    struct Case {
        const char* what;
        std::function<void(Stream&)> item; // between the sheet's two cells
        const char* warning;
        bool globals = false; // the warning names no sheet
    } cases[] = {
        {"CONDFMT ranges past its end", [&](Stream& s) { s.Rec(0x01B0, condfmt(1, 3, 16)).Rec(0x01B1, cf); },
         "Record too short: ranges beyond the end"},
        {"a CF formula past its end",
         [&](Stream& s) {
             s.Rec(0x01B0, condfmt(1, 1, 8)).Rec(0x01B1, Body().U8(1).U8(3).U16(10).U16(0).U32(0).U16(0));
         },
         "Record too short: formula 1"},
        {"a DVAL counting more DV records than follow",
         [&](Stream& s) { s.Rec(0x01B2, dval(2)).Rec(0x01BE, goodDV); },
         "1 of the 2 data validations its DVAL record counts were left out"},
        {"a DV that does not read",
         [&](Stream& s) {
             s.Rec(0x01B2, dval(2)).Rec(0x01BE, dv(Body().U16(1).U8(2).U8('a'))).Rec(0x01BE, goodDV);
         },
         "1 data validation(s) whose DV record does not read were left out"},
        {"an HLINK description past its end", [&](Stream& s) { s.Rec(0x01B8, hlink); }, "the hyperlink"},
        {"a NOTE outside the sheet",
         [](Stream& s) { s.Rec(0x001C, Body().U16(2).U16(0xFFFF).U16(0).U16(1).U16(0)); },
         "S!CRXP3: the note (object #1) lies outside the sheet; it was left out"},
        {"a BOF of another version inside the sheet",
         [](Stream& s) {
             s.Rec(0x0209, Body().U16(0x00A4).U16(0x0004).Raw({'0', '.', '0', '0'}));
         },
         "a BOF record (0x0209, substream type 0x0004) that starts no substream was left out"},
        {"an XCT without its CRN records",
         [](Stream& s) { s.Rec(0x0059, Body().U16(2).U16(0)).Rec(0x005A, Body().Raw(Bytes(4, 0))); },
         "CRN record missing"},
        {"a FONT cut short", [](Stream& s) { s.Rec(0x0031, Body().U16(200)); },
         "the font (record 0x0031) could not be read and the default stands in its place", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Book8 b;
        if (c.globals) c.item(b.globals);
        b.Sheet("S", [&](Stream& s) {
            s.Number(0, 0, 1.5);
            if (!c.globals) c.item(s);
            s.Number(5, 0, 2.5);
        });
        TTabrix4 book;
        Read(book, b.Image());
        EXPECT_EQ(book.GetSheet(0).GetAsFloat(0, 0), 1.5);
        EXPECT_EQ(book.GetSheet(0).GetAsFloat(0, 5), 2.5);
        std::string all;
        for (const std::string& w : book.Warnings()) all += w + "\n";
        EXPECT_NE(all.find(c.warning), std::string::npos) << all;
        if (!c.globals) {
            EXPECT_TRUE(all.starts_with("Sheet 'S': ") || all.starts_with("S!")) << all;
        }
    }
}

// A sheet whose EOF is damaged ends where the next sheet starts: every
// sheet is read, and the warning says so.
TEST(BIFFReader, ASheetWithoutItsEOFEndsAtTheNextBOF) {
    Stream all;
    all.Bof8(0x0005).BoundSheet8("A").BoundSheet8("B").BoundSheet8("C").Eof();
    all.Bof8(0x0010).Number(0, 0, 1).Rec(0x00FE);
    all.Bof8(0x0010).Number(0, 0, 2).Eof();
    all.Bof8(0x0010).Number(0, 0, 3).Eof();
    TTabrix4 book;
    Read(book, CompoundImage(all.Data()));
    ASSERT_EQ(book.Sheets().Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(book.GetSheet(i).GetAsFloat(0, 0), i + 1);
    ASSERT_FALSE(book.Warnings().empty());
    EXPECT_NE(book.Warnings()[0].find("Sheet 'A': its EOF record is missing"), std::string::npos)
        << book.Warnings()[0];
}

// Shapes other writers produce and other readers take.
TEST(BIFFReader, WhatOtherReadersTakeIsRead) {
    auto biff5Label = [](size_t firstBytes, size_t restBytes) {
        Stream all;
        all.Bof5(0x0005).Rec(0x0042, Body().U16(1251)).BoundSheet5("S").Eof();
        Body label = Body().U16(0).U16(0).U16(15).U16(uint16_t(firstBytes + restBytes));
        label.Raw(Bytes(firstBytes, 0xC0));
        all.Bof5(0x0010).Rec(0x0204, label).Rec(0x003C, Bytes(restBytes, 'b')).Eof();
        return CompoundImage(all.Data(), u"Book");
    };
    // An SST of two strings whose head counts say otherwise; cells point at
    // both and past them.
    auto sst = [](uint32_t count) {
        Book8 b;
        b.globals.Rec(0x00FC, Body().U32(count).U32(count).Str16("x").Str16("y"));
        b.Sheet("S", [](Stream& s) {
            for (uint16_t i = 0; i < 3; ++i) s.Rec(0x00FD, Body().U16(i).U16(0).U16(15).U32(i == 2 ? 7 : i));
        });
        return b.Image();
    };
    const std::u16string longText(40000, u'q');
    auto longSst = [] {
        // 40,000 characters in the SST and its CONTINUE records.
        Bytes all = Body().U32(1).U32(1).U16(40000).U8(0).Raw(Bytes(40000, 'q')).b;
        Book8 b;
        b.globals.Rec(0x00FC, Bytes(all.begin(), all.begin() + 8224));
        for (size_t at = 8224; at < all.size(); at += 8223) {
            // Each piece starts with its own option byte (0: 8-bit).
            const size_t n = std::min(all.size() - at, size_t(8223));
            Bytes piece(n + 1, 0);
            std::copy_n(all.begin() + ptrdiff_t(at), n, piece.begin() + 1);
            b.globals.Rec(0x003C, piece);
        }
        b.Sheet("S", [](Stream& s) { s.Rec(0x00FD, Body().U16(0).U16(0).U16(15).U32(0)); });
        return b.Image();
    };
    struct Case {
        const char* what;
        Bytes image;
        std::u16string text; // of the cell A1
    };
    const Case cases[] = {
        {"an empty record 0xFFFF",
         [] {
             Book8 b;
             b.Sheet("S",
                     [](Stream& s) { s.Rec(0xFFFF).Rec(0x0204, Body().U16(0).U16(0).U16(15).Str16("ok")); });
             return b.Image();
         }(),
         u"ok"},
        {"a BIFF5 LABEL continued in a CONTINUE record", biff5Label(2000, 1000),
         std::u16string(2000, u'А') + std::u16string(1000, u'b')},
        {"a BIFF8 LABEL continued with its own flag byte",
         [] {
             Book8 b;
             b.Sheet("S", [](Stream& s) {
                 s.Rec(0x0204, Body().U16(0).U16(0).U16(15).U16(5).U8(0).Raw({'a', 'b', 'c'}));
                 s.Rec(0x003C, Body().U8(1).Raw({0x16, 0x04, 'z', 0}));
             });
             return b.Image();
         }(),
         u"abcЖz"},
        {"an SST counting none", sst(0), u"x"},
        {"an SST counting fewer", sst(1), u"x"},
        {"an SST counting more", sst(9), u"x"},
        {"a string longer than a setter keeps", longSst(), longText},
        {"a SUPBOOK and an EXTERNSHEET in a sheet",
         [] {
             Book8 b;
             b.Sheet("S", [](Stream& s) {
                 s.Rec(0x01AE, Body().U16(1).U16(0x0401));
                 s.Rec(0x0017, Body().U16(1).U16(0).U16(0).U16(0));
                 s.Rec(0x0204, Body().U16(0).U16(0).U16(15).Str16("ok"));
             });
             return b.Image();
         }(),
         u"ok"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTabrix4 book;
        ASSERT_EQ(MessageOf([&] { Read(book, c.image); }), "(no exception)");
        EXPECT_EQ(book.Sheets().Items(0).GetAsString(0, 0), c.text);
    }
    TTabrix4 book;
    Read(book, sst(9));
    EXPECT_EQ(book.Sheets().Items(0).GetAsString(0, 1), u"y");
    EXPECT_EQ(book.Sheets().Items(0).GetCellType(0, 2), ctString) << "an index past the strings";
    EXPECT_EQ(book.Sheets().Items(0).GetAsString(0, 2), u"");
    // A setter keeps its limit.
    book.Sheets().Items(0).SetAsString(0, 3, longText);
    EXPECT_EQ(book.Sheets().Items(0).GetAsString(0, 3).size(), 32767u);
    // Other ids with bit 15 stay refused.
    Book8 bad;
    bad.Sheet("S", [](Stream& s) { s.Rec(0xFFFF, Body().U8(0)); });
    EXPECT_NE(ReadMessage(bad.Image()).find("Bad record in file"), std::string::npos);
}

// Counts a file gives (the SST's, DIMENSIONS', INDEX') set
// aside nothing beyond what its records hold: a small file claiming 16.7
// million cells and 4 billion strings reads as the two cells it has.
TEST(BIFFReader, CountsOfTheFileReserveNothingBeyondItsRecords) {
    Book8 b;
    b.globals.Rec(0x00FC, Body().U32(0xFFFFFFFF).U32(0xFFFFFFFF).Str16("x"));
    b.Sheet("S", [](Stream& s) {
        s.Rec(0x020B, Body().U32(0).U32(0).U32(0x100000).U32(0));
        s.Rec(0x0200, Body().U32(0).U32(0x100000).U16(0).U16(16).U16(0));
        s.Rec(0x00FD, Body().U16(0).U16(0).U16(15).U32(0));
        s.Number(65535, 255, 1.5);
    });
    testfiles::ScratchDir dir;
    const std::string file = dir.File("claims.xls");
    const Bytes image = b.Image();
    platform::WriteFileAtomic(file,
                              std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    TTabrix4 book;
    const size_t before = mallinfo2().uordblks;
    book.SetFilename(std::u16string(file.begin(), file.end()));
    book.Read();
    EXPECT_LT(mallinfo2().uordblks - before, size_t(2) << 20);
    EXPECT_LT(book.Strings().TableBytes(), 4096u);
    TSheet& sheet = book.Sheets().Items(0);
    EXPECT_EQ(sheet.Cells().Count(), 2);
    EXPECT_EQ(sheet.GetAsString(0, 0), u"x");
    EXPECT_EQ(sheet.GetAsFloat(255, 65535), 1.5);
}

// The first cell of an array formula keeps a boolean or error result as
// that value, also through a write and a second read.
TEST(BIFFReader, ArrayFormulaResultsKeepTheirKind) {
    Book8 b;
    b.Sheet("S", [](Stream& s) {
        const Bytes arr = {0x01, 0, 0, 0, 0}, arr2 = {0x01, 2, 0, 0, 0};
        s.Formula(0, 0, Special(2, 0x0F), 0, arr);
        s.Rec(0x0221, Body().U16(0).U16(0).U8(0).U8(0).U16(0).U32(0).U16(3).Raw({0x1E, 0x01, 0x00}));
        s.Formula(2, 0, Special(1, 1), 0, arr2);
        s.Rec(0x0221, Body().U16(2).U16(2).U8(0).U8(0).U16(0).U32(0).U16(3).Raw({0x1E, 0x01, 0x00}));
    });
    TTabrix4 book;
    Read(book, b.Image());
    auto check = [](TTabrix4& wb) {
        TSheet& s = wb.Sheets().Items(0);
        EXPECT_EQ(s.GetCellType(0, 0), ctNumberArrayFormula);
        EXPECT_EQ(s.GetAsString(0, 0), u"#VALUE!");
        EXPECT_EQ(s.Cells().GetDisplayText(0, 0), u"#VALUE!");
        EXPECT_EQ(s.GetAsString(0, 2), u"TRUE");
        EXPECT_EQ(s.GetAsVariant(0, 2), TCellVariant(uint8_t(1)));
    };
    check(book);
    testfiles::ScratchDir dir;
    const std::string file = dir.File("array.xls");
    book.SetFilename(std::u16string(file.begin(), file.end()));
    book.Write();
    TTabrix4 again;
    again.SetFilename(book.GetFilename());
    again.Read();
    check(again);
}

// A second record for a cell brings its own format; the setters keep the
// format of the cell they replace.
TEST(BIFFReader, ASecondCellRecordBringsItsFormat) {
    Book8 b;
    b.Sheet("S", [](Stream& s) { s.Number(0, 0, 1, 17).Number(0, 0, 2, 16).Number(1, 0, 3, 17); });
    TTabrix4 book;
    Read(book, b.Image());
    TSheet& s = book.Sheets().Items(0);
    EXPECT_EQ(s.GetAsFloat(0, 0), 2);
    EXPECT_EQ(s.GetCell(0, 0)->GetFormatIndex(), 16);
    s.SetAsInteger(0, 1, 4);
    EXPECT_EQ(s.GetCell(0, 1)->GetFormatIndex(), 17);
}

// BIFF2-BIFF4 number their formats by order; fonts and cell formats come
// into the pools, and a BIFF4 file written back keeps them.
using OldBIFF = FreshLibState;

TEST_F(OldBIFF, FormatsFontsAndCellFormatsAreReadIntoThePools) {
    struct Case {
        const char* what;
        uint16_t bof, font, format, xf;
        Bytes xfBody; // font 1, format place 2 (bold, "0.00%")
    };
    const Case cases[] = {
        {"BIFF4", 0x0409, 0x0231, 0x041E, 0x0443, {1, 2, 0x01, 0x00, 0x00, 0x0C, 0, 0, 0, 0, 0, 0}},
        {"BIFF3", 0x0209, 0x0231, 0x001E, 0x0243, {1, 2, 0x01, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"BIFF2", 0x0009, 0x0031, 0x001E, 0x0043, {1, 0, 0x42, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool biff2 = c.bof == 0x0009;
        auto font = [&](uint16_t options, const std::string& name) {
            Body b = Body().U16(200).U16(options);
            if (!biff2) b.U16(0x7FFF);
            return b.Str8(name);
        };
        auto format = [&](const std::string& text) {
            Body b;
            if (c.format == 0x041E) b.U16(0);
            return b.Str8(text);
        };
        Stream s;
        s.Rec(c.bof, Body().U16(0).U16(0x0010));
        s.Rec(c.font, font(0, "Arial")).Rec(c.font, font(1, "Arial"));
        s.Rec(c.format, format("General")).Rec(c.format, format("0.0")).Rec(c.format, format("0.00%"));
        s.Rec(c.xf, Bytes(c.xfBody.size(), 0)).Rec(c.xf, c.xfBody);
        if (biff2)
            s.Rec(0x0003, Body().U16(0).U16(0).Raw({0x01, 0, 0}).F64(0.25));
        else
            s.Rec(0x0203, Body().U16(0).U16(0).U16(1).F64(0.25));
        s.Eof();
        TTabrix4 book;
        Read(book, s.Data());
        LibState().Locale.DecimalSeparator = u'.';
        auto check = [](TTabrix4& wb) {
            TSheet& sheet = wb.Sheets().Items(0);
            TCell* cell = sheet.GetCell(0, 0);
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(cell->GetNumberFormat(), u"0.00%");
            EXPECT_EQ(sheet.Cells().GetDisplayText(0, 0), u"25.00%");
            EXPECT_TRUE(cell->GetFontStyle() & xfsBold);
        };
        check(book);
        if (c.bof != 0x0409) continue;
        testfiles::ScratchDir dir;
        const std::string file = dir.File("old.xls");
        book.SetFilename(std::u16string(file.begin(), file.end()));
        book.Write();
        TTabrix4 again;
        again.SetFilename(book.GetFilename());
        again.Read();
        EXPECT_EQ(again.GetVersion(), TExcelVersion::xvExcel40);
        check(again);
    }
}
