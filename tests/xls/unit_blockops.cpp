// Block operations of the component (copy, move, delete of cells and merged
// areas): what refuses changes nothing, and merged areas never overlap.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSZip.h"
#include "support_files.h"
#include "support_messages.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>

using namespace xls;

namespace {

constexpr int Cells = ICellOperations::coCells;
constexpr int Merged = ICellOperations::coMergedCells;
constexpr int Adjust = ICellOperations::coAdjustFormulas;

// Every cell and merged area of every sheet, as text, to see that nothing changed.
std::string Snapshot(TTabrix4& wb) {
    std::ostringstream out;
    for (int i = 0; i < wb.Sheets().Count(); ++i) {
        TSheet& s = wb.GetSheet(i);
        TCellValues& store = s.Cells();
        store.BeginIterate();
        while (TCell* c = store.NextCell()) out << i << ':' << c->Col << ',' << c->Row << ' ';
        for (int a = 0; a < s.MergedCells().Count(); ++a) {
            const TCellArea& m = s.MergedCells()[a];
            out << i << ":[" << m.Col1 << ',' << m.Row1 << '-' << m.Col2 << ',' << m.Row2 << "] ";
        }
    }
    return out.str();
}

// True when two merged areas of the sheet share a cell.
bool MergedAreasOverlap(TSheet& s) {
    TMergedCells& m = s.MergedCells();
    for (int i = 0; i < m.Count(); ++i)
        for (int j = i + 1; j < m.Count(); ++j)
            if (m[i].Col1 <= m[j].Col2 && m[j].Col1 <= m[i].Col2 && m[i].Row1 <= m[j].Row2 &&
                m[j].Row1 <= m[i].Row2)
                return true;
    return false;
}

struct BlockOps : FreshLibState {
    TTabrix4 wb;
    void SetUp() override {
        FreshLibState::SetUp();
        wb.Sheets().Add(0);
    }
    TSheet& S(int i) { return wb.GetSheet(i); }
};

} // namespace

TEST_F(BlockOps, RefusedOperationsChangeNothing) {
    struct Case {
        const char* what;
        TExcelVersion version;
        std::function<void(TTabrix4&)> op;
        const char* message;
    };
    const char* split = "Can not change part of a merged cell";
    const char* outside = "Cell position is outside the sheet";
    const Case cases[] = {
        {"move whose corner lies inside a merged area", TExcelVersion::xvExcel97,
         [](TTabrix4& w) { w.MoveCells(0, 1, 1, 1, 1, 0, 6, 6, Cells | Merged); }, split},
        {"delete that cuts a merged area in pieces", TExcelVersion::xvExcel97,
         [](TTabrix4& w) { w.DeleteCells(0, 1, 1, 1, 1); }, split},
        {"move to another sheet that cuts a merged area", TExcelVersion::xvExcel97,
         [](TTabrix4& w) { w.MoveCells(0, 1, 1, 1, 1, 1, 6, 6, Cells | Merged); }, split},
        {"rows pushed past row 65,536 of a BIFF8 sheet", TExcelVersion::xvExcel97,
         [](TTabrix4& w) { w.MoveCells(0, 0, 10, 255, 65535, 0, 0, 20, Cells | Merged); }, outside},
        {"columns pushed past column 256 of a BIFF8 sheet", TExcelVersion::xvExcel97,
         [](TTabrix4& w) { w.CopyCells(0, 0, 0, 255, 65535, 1, 3, 0, Cells); }, outside},
        {"rows pushed past the last row of a 2007 sheet", TExcelVersion::xvExcel2007,
         [](TTabrix4& w) { w.MoveCells(0, 0, 10, 16383, 1048575, 0, 0, 20, Cells | Merged); }, outside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wb.SetVersion(c.version);
        wb.Sheets().Clear();
        wb.Sheets().Add(0);
        wb.Sheets().Add(0);
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 3; ++col) S(0).SetAsInteger(col, r, 10 * r + col);
        S(0).SetAsInteger(255, LibState().MaxRow, 7);
        S(0).MergedCells().AddArea(0, 0, 2, 2);
        const std::string before = Snapshot(wb);
        EXPECT_EQ(MessageOf([&] { c.op(wb); }), c.message);
        EXPECT_EQ(Snapshot(wb), before);
    }
}

TEST_F(BlockOps, WholeSheetMovesInsertRowsAndColumnsOf2007Sheets) {
    wb.SetVersion(TExcelVersion::xvExcel2007);
    S(0).SetAsInteger(0, 0, 1);
    S(0).SetAsInteger(3, 10, 2);
    S(0).SetAsInteger(16000, 1048000, 3);
    S(0).MergedCells().AddArea(1, 6, 2, 7);
    // Three rows inserted at row 5.
    wb.MoveCells(0, 0, 5, 16383, 1048575, 0, 0, 8, Cells | Merged);
    EXPECT_EQ(S(0).GetAsInteger(0, 0), 1);
    EXPECT_EQ(S(0).GetAsInteger(3, 13), 2);
    EXPECT_EQ(S(0).GetAsInteger(16000, 1048003), 3);
    EXPECT_EQ(S(0).GetCell(3, 10), nullptr);
    ASSERT_EQ(S(0).MergedCells().Count(), 1);
    EXPECT_EQ(S(0).MergedCells()[0].Row1, 9u);
    // Two columns inserted at column 3, beside the merged area.
    wb.MoveCells(0, 3, 0, 16383, 1048575, 0, 5, 0, Cells | Merged);
    EXPECT_EQ(S(0).GetAsInteger(5, 13), 2);
    EXPECT_EQ(S(0).GetAsInteger(16002, 1048003), 3);
    ASSERT_EQ(S(0).MergedCells().Count(), 1);
    EXPECT_EQ(S(0).MergedCells()[0].Col2, 2u);
}

// A move takes merged areas whole or not at all: one the block would cut
// refuses it, unchanged; those inside move whole, and those the moved block
// lands on give way.
TEST_F(BlockOps, MovesNeverStretchOrJoinMergedAreas) {
    struct Case {
        const char* what;
        int col1, row1, col2, row2, destSheet, destCol, destRow;
        bool refused;
        std::vector<std::array<uint32_t, 4>> areas; // of the destination sheet afterwards
    };
    const Case cases[] = {
        {"a block cutting A1:B2 (B1:C3 to E1)", 1, 0, 2, 2, 0, 4, 0, true, {}},
        {"a block cutting D1:E2 from the left (C1:D3 to H1)", 2, 0, 3, 2, 0, 7, 0, true, {}},
        {"whole rows cutting both areas (rows 2-3 down by 5)", 0, 1, 255, 2, 0, 0, 6, true, {}},
        {"to another sheet, cutting A1:B2", 1, 0, 2, 2, 1, 4, 0, true, {}},
        {"A1:B3 onto D1:E2: A1:B2 moves whole, D1:E2 gives way", 0, 0, 1, 2, 0, 3, 0, false, {{3, 0, 4, 1}}},
        {"A1:E2 one row down: both move whole", 0, 0, 4, 1, 0, 0, 1, false, {{0, 1, 1, 2}, {3, 1, 4, 2}}},
        {"D1:E3 right of both: D1:E2 moves whole beside A1:B2",
         3,
         0,
         4,
         2,
         0,
         5,
         0,
         false,
         {{0, 0, 1, 1}, {5, 0, 6, 1}}},
        {"A1:B2 to another sheet", 0, 0, 1, 1, 1, 2, 4, false, {{2, 4, 3, 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wb.Sheets().Clear();
        wb.Sheets().Add(0);
        wb.Sheets().Add(0);
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 5; ++col) S(0).SetAsInteger(col, r, 10 * r + col);
        S(0).MergedCells().AddArea(0, 0, 1, 1);
        S(0).MergedCells().AddArea(3, 0, 4, 1);
        const std::string before = Snapshot(wb);
        const std::string m = MessageOf([&] {
            wb.MoveCells(0, c.col1, c.row1, c.col2, c.row2, c.destSheet, c.destCol, c.destRow,
                         Cells | Merged);
        });
        if (c.refused) {
            EXPECT_EQ(m, "Can not change part of a merged cell");
            EXPECT_EQ(Snapshot(wb), before);
            continue;
        }
        EXPECT_EQ(m, "(no exception)");
        EXPECT_FALSE(MergedAreasOverlap(S(c.destSheet))) << Snapshot(wb);
        std::vector<std::array<uint32_t, 4>> areas;
        TMergedCells& merged = S(c.destSheet).MergedCells();
        for (int i = 0; i < merged.Count(); ++i)
            areas.push_back({merged[i].Col1, merged[i].Row1, merged[i].Col2, merged[i].Row2});
        std::sort(areas.begin(), areas.end());
        EXPECT_EQ(areas, c.areas) << Snapshot(wb);
        // The moved values are where the block went.
        EXPECT_EQ(S(c.destSheet).GetAsInteger(c.destCol, c.destRow), 10 * c.row1 + c.col1);
    }
}

TEST_F(BlockOps, CopiesOntoMergedAreasLeaveNoTwoAreasSharingACell) {
    struct Case {
        const char* what;
        int srcSheet, destSheet;
        int move;
        int destCol, destRow;
    };
    const Case cases[] = {
        {"copy within the sheet, one cell right and down", 0, 0, 0, 1, 6},
        {"move within the sheet onto an area beside the block", 0, 0, 1, 0, 8},
        {"copy to another sheet onto its own areas", 0, 1, 0, 1, 6},
        {"move to another sheet onto its own areas", 0, 1, 1, 1, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wb.Sheets().Clear();
        wb.Sheets().Add(0);
        wb.Sheets().Add(0);
        S(0).MergedCells().AddArea(0, 5, 1, 6);
        S(0).MergedCells().AddArea(0, 9, 3, 9);
        S(1).MergedCells().AddArea(0, 7, 2, 7);
        S(1).MergedCells().AddArea(2, 5, 5, 5);
        if (c.move)
            wb.MoveCells(c.srcSheet, 0, 5, 1, 6, c.destSheet, c.destCol, c.destRow, Merged);
        else
            wb.CopyCells(c.srcSheet, 0, 5, 1, 6, c.destSheet, c.destCol, c.destRow, Merged);
        EXPECT_FALSE(MergedAreasOverlap(S(c.destSheet))) << Snapshot(wb);
        bool landed = false;
        TMergedCells& m = S(c.destSheet).MergedCells();
        for (int i = 0; i < m.Count(); ++i)
            landed |= int(m[i].Col1) == c.destCol && int(m[i].Row1) == c.destRow &&
                      int(m[i].Col2) == c.destCol + 1 && int(m[i].Row2) == c.destRow + 1;
        EXPECT_TRUE(landed) << "the copied area is at its destination: " << Snapshot(wb);
    }
}

namespace {

// A package of two sheets whose first holds 1..5 in A1:A5 and, in B1:B5, the
// shared formula A1*2 (or the one given) as spreadsheet programs write it:
// the text in B1 only.
std::vector<uint8_t> SharedFormulaPackage(const std::string& formula = "A1*2") {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    std::string rows;
    for (int r = 1; r <= 5; ++r) {
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c><c r=\"B" + n + "\">" +
                (r == 1 ? "<f t=\"shared\" ref=\"B1:B5\" si=\"0\">" + formula + "</f>"
                        : "<f t=\"shared\" si=\"0\"/>") +
                "<v>" + std::to_string(2 * r) + "</v></c></row>";
    }
    const std::map<std::string, std::string> parts = {
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"},
        {"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                            "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns:r=\"" + rel +
                                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>"
                                "<sheet name=\"T\" sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
             "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
             "/worksheet\" Target=\"worksheets/sheet2.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", "<worksheet><sheetData>" + rows + "</sheetData></worksheet>"},
        {"xl/worksheets/sheet2.xml", "<worksheet><sheetData/></worksheet>"},
    };
    TXLSZipArchive zip;
    zip.Create();
    for (const auto& [name, data] : parts) zip.AddFile(name, data, 6);
    return zip.Close();
}

// Every formula of the workbook as "sheet!cell=formula".
std::set<std::string> Formulas(TTabrix4& wb) {
    std::set<std::string> out;
    for (int i = 0; i < wb.Sheets().Count(); ++i) {
        TSheet& s = wb.GetSheet(i);
        std::vector<std::pair<int, int>> at;
        s.Cells().BeginIterate();
        while (TCell* c = s.Cells().NextCell())
            if (c->IsFormula()) at.emplace_back(c->Col, int(c->Row));
        for (auto [col, row] : at)
            out.insert(WideToUtf8(s.Name() + u"!" + ColRowToRefStr(col, row, false, false)) + "=" +
                       s.GetAsFormula(col, row));
    }
    return out;
}

} // namespace

// Copies and moves of cells of a package's shared formula keep their
// formulas, moved with them when asked, and the cells that stay keep theirs;
// so do the package and the .xls written of the result.
TEST_F(BlockOps, CellsOfAPackagesSharedFormulaKeepTheirFormulas) {
    struct Case {
        const char* what;
        bool move;
        const char16_t *block, *dest; // on sheet S; dest on T when it says so
        int options;
        std::string formulas;          // besides those of B1:B5 that stay
        const char* shared = "A{r}*2"; // the shared formula, {r} its row
    };
    const Case cases[] = {
        {"members copied, their references moved", false, u"B2:B3", u"D2", Cells | Adjust,
         "S!D2=C2*2 S!D3=C3*2"},
        {"members copied as they are", false, u"B2:B3", u"D2", Cells, "S!D2=A2*2 S!D3=A3*2"},
        {"the whole block with its first cell", false, u"B1:B5", u"D1", Cells | Adjust,
         "S!D1=C1*2 S!D2=C2*2 S!D3=C3*2 S!D4=C4*2 S!D5=C5*2"},
        {"a copy onto the first cell", false, u"A4:B5", u"A1", Cells | Adjust, ""},
        {"members copied to another sheet", false, u"B2:B3", u"T!B2", Cells | Adjust, "T!B2=A2*2 T!B3=A3*2"},
        {"members moved from the first cell", true, u"B2:B3", u"D2", Cells | Adjust,
         "-S!B2 -S!B3 S!D2=C2*2 S!D3=C3*2"},
        {"the first cell moved from the others", true, u"B1:B2", u"D1", Cells,
         "-S!B1 -S!B2 S!D1=A1*2 S!D2=A2*2"},
        {"the block moved down onto itself", true, u"B1:B5", u"B3", Cells | Adjust,
         "-S!B1 -S!B2 S!B3=A3*2 S!B4=A4*2 S!B5=A5*2 S!B6=A6*2 S!B7=A7*2"},
        {"members moved to another sheet", true, u"B4:B5", u"T!A1", Cells, "-S!B4 -S!B5 T!A1=A4*2 T!A2=A5*2"},
        // Whole columns stay whole in the .xls, and the members the move
        // leaves keep their formulas there.
        {"a member naming a whole column moved", true, u"B5:B5", u"D10", Cells | Adjust,
         "-S!B5 S!D10=SUM(C:C)+C10", "SUM(A:A)+A{r}"},
        {"a member naming a whole row moved", true, u"B5:B5", u"D10", Cells, "-S!B5 S!D10=SUM(5:5)+A5",
         "SUM({r}:{r})+A{r}"},
    };
    testfiles::ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto at = [&c](int r) {
            std::string f = c.shared;
            for (size_t i; (i = f.find("{r}")) != f.npos;) f.replace(i, 3, std::to_string(r));
            return f;
        };
        std::string kept;
        for (int r = 1; r <= 5; ++r) kept += " S!B" + std::to_string(r) + "=" + at(r);
        const std::vector<uint8_t> package = SharedFormulaPackage(at(1));
        // The formulas kept, changed as the case says ("-cell" gone).
        std::map<std::string, std::string> expect;
        std::istringstream words(kept + " " + c.formulas);
        for (std::string w; words >> w;)
            if (w[0] == '-')
                expect.erase(w.substr(1));
            else
                expect[w.substr(0, w.find('='))] = w;
        std::set<std::string> formulas;
        for (const auto& [cell, f] : expect) formulas.insert(f);
        ReadPackageFile(wb, &package);
        wb.AfterRead();
        int col1, row1, col2, row2, col, row;
        ASSERT_TRUE(AreaStrToColRowPlain(c.block, col1, row1, col2, row2));
        const std::u16string_view dest(c.dest);
        const int sheet = dest.starts_with(u"T!") ? 1 : 0;
        ASSERT_TRUE(RefStrToColRowPlain(dest.substr(dest.find(u'!') + 1), col, row));
        if (c.move)
            wb.MoveCells(0, col1, row1, col2, row2, sheet, col, row, c.options);
        else
            wb.CopyCells(0, col1, row1, col2, row2, sheet, col, row, c.options);
        EXPECT_EQ(Formulas(wb), formulas);
        std::vector<uint8_t> written;
        WritePackageFile(wb, &written);
        TTabrix4 back;
        ReadPackageFile(back, &written);
        back.AfterRead();
        EXPECT_EQ(Formulas(back), formulas);
        wb.SetVersion(TExcelVersion::xvExcel97);
        wb.SetFilename(Utf8ToWide(dir.File("copy.xls")));
        wb.Write();
        back.SetFilename(wb.GetFilename());
        back.Read();
        EXPECT_EQ(Formulas(back), formulas);
    }
}

TEST_F(BlockOps, EachSheetsRangeNamesItsOwnSheet) {
    wb.Sheets().Add(0);
    for (int i = 0; i < wb.Sheets().Count(); ++i) EXPECT_EQ(S(i).Range().SheetIndex, i);
    wb.Sheets().Delete(0);
    EXPECT_EQ(S(1).Range().SheetIndex, 1) << "an index follows a deleted sheet";
}

TEST_F(BlockOps, SheetNamesFollowTheSpreadsheetRule) {
    const std::u16string longest(31, u'x');
    for (std::u16string bad : {std::u16string(), longest + u"x", std::u16string(u"a:b"),
                               std::u16string(u"a\\b"), std::u16string(u"a/b"), std::u16string(u"a?"),
                               std::u16string(u"*"), std::u16string(u"[a"), std::u16string(u"a]")}) {
        EXPECT_EQ(MessageOf([&] { S(0).SetName(bad); }), "Invalid sheet name \"" + WideToUtf8(bad) + "\"");
        EXPECT_EQ(S(0).Name(), u"Sheet1");
    }
    S(0).SetName(longest);
    S(1).SetName(u"Звіт (1) 'а' – №2");
    EXPECT_EQ(S(0).Name(), longest);
}
