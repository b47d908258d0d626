// The parts the package writer makes and what the reader makes of them: the
// 2007 cell formats, the styles part of a workbook made here and of one
// read from a package, workbook.xml with its relationships, and the rows
// and cells of a worksheet part.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/XLSXWriter.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/formats/XLSZip.h"
#include "SrcXLS/formulas/FormulaEncoder.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/CellFormatsEx12.h"

#include "support_files.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace xls;

namespace {

std::string Part(std::vector<uint8_t> image, const char* name) {
    TXLSZipArchive zip;
    zip.OpenBuffer(image);
    return zip.Extract(name);
}

std::vector<uint8_t> Write(TTabrix4& book) {
    std::vector<uint8_t> image;
    WritePackageFile(book, &image);
    return image;
}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

} // namespace

TEST(XlsxStyles, Ex12FormatsHoldTheirFillBorderAndFont) {
    TTabrix4 book;
    TCellFormats& pool = book.DefaultFormats();
    TFill* fill = pool.Fills().Add(TFill::CreatePattern(1, 10, 64));
    TBorder* border = pool.Borders().Add();
    border->Sides[TBorder::bsLeft].Style = 2;
    TCellFormatEx12* a = pool.AddEx12();
    a->SetFill(fill);
    a->SetBorder(border);
    a->SetNumberFormatIndex(14);
    TCellFormatEx12* b = pool.AddEx12();
    b->Assign(*a);
    EXPECT_EQ(fill->UsageCount, 2);
    EXPECT_EQ(border->UsageCount, 2);
    // Never shared, never a date, no BIFF fill or border of their own.
    EXPECT_FALSE(a->Equal(*b));
    EXPECT_FALSE(a->HasFill());
    EXPECT_FALSE(a->IsDateFormat());
    EXPECT_EQ(pool.IndexOfEqual(*a), -1);
    // Getters read the fill and the border; side colour setters set an index.
    EXPECT_EQ(a->GetFillPattern(), 1);
    EXPECT_EQ(a->GetFillForeColor(), 10);
    EXPECT_EQ(a->GetBorderLeftStyle(), 2);
    a->SetBorderLeftColor(10);
    EXPECT_EQ(border->Sides[TBorder::bsLeft].Color.Kind, eckIndexed);
    EXPECT_EQ(b->GetBorderLeftColor(), 10);
    EXPECT_EQ(a->GetBorderLeftColorRGB(), border->Sides[TBorder::bsLeft].Color.RGB);
    a->SetBorderLeftStyle(5); // the 2007 border does not change through the BIFF setter
    EXPECT_EQ(a->GetBorderLeftStyle(), 2);
    pool.Delete(b->PoolIndex);
    EXPECT_EQ(fill->UsageCount, 1);
}

TEST(XlsxStyles, WorkbookMadeHereStartsItsStylesTheRequiredWay) {
    TTabrix4 book;
    TSheet& s = book.GetSheet(0);
    s.SetAsFloat(0, 0, 1);
    s.SetAsFloat(1, 0, 2);
    s.SetAsFloat(2, 0, 3);
    for (int c = 1; c <= 2; ++c) {
        s.GetCell(c, 0)->SetFillPattern(1);
        s.GetCell(c, 0)->SetFillForeColor(12);
    }
    s.GetCell(2, 0)->SetBorderTopStyle(5);
    s.GetCell(2, 0)->SetHorizAlignment(2);
    s.GetCell(2, 0)->SetProtection(0);
    const std::string styles = Part(Write(book), "xl/styles.xml");
    // The two fills and the border every package starts with, then one fill
    // for both cells' look.
    EXPECT_TRUE(Has(
        styles, "<fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill>"
                "<fill><patternFill patternType=\"gray125\"/></fill>"
                "<fill><patternFill patternType=\"solid\"><fgColor indexed=\"12\"/><bgColor indexed=\"9\"/>"
                "</patternFill></fill>"))
        << styles;
    EXPECT_TRUE(Has(styles, "<borders count=\"2\"><border><left/><right/><top/><bottom/><diagonal/></border>"
                            "<border><left/><right/><top style=\"thick\"><color indexed=\"0\"/></top>"))
        << styles;
    // The default cell format is the first cell format; the style formats
    // after it are none.
    EXPECT_TRUE(
        Has(styles,
            "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"));
    EXPECT_TRUE(
        Has(styles,
            "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"2\" borderId=\"1\" xfId=\"0\" applyFill=\"1\" "
            "applyBorder=\"1\" applyAlignment=\"1\" applyProtection=\"1\"><alignment horizontal=\"center\"/>"
            "<protection locked=\"0\"/></xf>"))
        << styles;
    EXPECT_TRUE(
        Has(styles, "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"));
    const std::string sheet = Part(Write(book), "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(Has(
        sheet, "<c r=\"A1\"><v>1</v></c><c r=\"B1\" s=\"1\"><v>2</v></c><c r=\"C1\" s=\"2\"><v>3</v></c>"))
        << sheet;
}

TEST(XlsxStyles, StylesOfAPackageReadAndWrittenBack) {
    TTabrix4 book;
    TSheet& s = book.GetSheet(0);
    s.SetAsString(0, 0, u"x");
    s.GetCell(0, 0)->SetFontStyle(xfsBold);
    s.GetCell(0, 0)->SetFillPattern(1);
    s.GetCell(0, 0)->SetFillForeColor(13);
    s.GetCell(0, 0)->SetNumberFormat(u"0.000");
    testfiles::ScratchDir dir;
    book.SetFilename(std::filesystem::path(dir.File("a.xlsx")).u16string());
    book.SetVersion(TExcelVersion::xvExcel2007);
    book.Write();
    std::vector<uint8_t> first = Write(book);
    TTabrix4 read;
    read.SetFilename(book.GetFilename());
    read.Read();
    // Package xf 0 is pool entry 21; fills, borders and fonts by position.
    TCell* c = read.GetSheet(0).GetCell(0, 0);
    ASSERT_NE(c, nullptr);
    auto* f = dynamic_cast<TCellFormatEx12*>(c->Format());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(c->GetFormatIndex(), 21 + 1);
    EXPECT_EQ(f->GetFont()->Style, xfsBold);
    EXPECT_EQ(f->GetFillForeColor(), 13);
    EXPECT_EQ(c->GetNumberFormat(), u"0.000");
    EXPECT_EQ(f->StyleXfId, 0);
    // Written again, the styles are the same and the cell keeps its "s".
    std::vector<uint8_t> second = Write(read);
    EXPECT_EQ(Part(second, "xl/styles.xml"), Part(first, "xl/styles.xml"));
    EXPECT_TRUE(Has(Part(second, "xl/worksheets/sheet1.xml"), "<c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c>"));
}

TEST(XlsxWorkbookPart, SheetsTakeTheIdsOfTheRebuiltRelationships) {
    TTabrix4 book;
    book.Sheets().Add(0).SetName(u"Two & more");
    book.GetSheet(1).Hidden = THiddenState::hsHidden;
    // A kept relationship that sorts before the worksheets.
    TXLSXBookData& data = book.PackageData();
    TXMLRelation& r = data.Relations.Add("rId9");
    TXMLRelationsWorkbook::SetWorkbookType(
        r, "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml");
    r.Target = "../customXml/item1.xml";
    data.SavedTags.AddMarker(etsheets);
    data.SavedTags.Add("<pivotCaches><pivotCache cacheId=\"1\" r:id=\"rId9\"/></pivotCaches>", etpivotCaches);
    data.SavedTags.AddMarker(etexternalReferences);
    std::vector<uint8_t> image = Write(book);
    const std::string wb = Part(image, "xl/workbook.xml"), rels = Part(image, "xl/_rels/workbook.xml.rels");
    EXPECT_TRUE(Has(wb,
                    "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId2\"/>"
                    "<sheet name=\"Two &amp; more\" sheetId=\"2\" state=\"hidden\" r:id=\"rId3\"/></sheets>"))
        << wb;
    // calcPr stands before the kept element the schema puts after it, whose Id follows its relationship.
    EXPECT_TRUE(
        Has(wb, "<calcPr calcId=\"0\"/><pivotCaches><pivotCache cacheId=\"1\" r:id=\"rId1\"/></pivotCaches>"))
        << wb;
    EXPECT_TRUE(Has(rels,
                    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                    "relationships/customXml\" Target=\"../customXml/item1.xml\"/>"));
    EXPECT_TRUE(Has(rels,
                    "Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                    "worksheet\" Target=\"worksheets/sheet1.xml\""));
    // The kept list itself stays as read: a second write gives the same.
    EXPECT_EQ(data.Relations.Count(), 1);
    EXPECT_EQ(Part(Write(book), "xl/workbook.xml"), wb);
}

TEST(XlsxSheetPart, RowsAndCellsWithAllTheyHold) {
    TTabrix4 book;
    book.SetVersion(TExcelVersion::xvExcel2007);
    TSheet& s = book.GetSheet(0);
    s.SetAsFloat(0, 0, std::nan(""));
    s.SetAsFloat(1, 0, 0.1 + 0.2);
    s.Rows().Add(0).SetHeight(400);
    s.Rows().Add(2).SetHidden(true); // a row without cells
    s.Rows().Add(5).SetOutlineLevel(2);
    s.Rows().Sort();
    // An array formula over A4:B4 as a BIFF file holds it, and kept
    // formula texts read without a result: one the library computes, one
    // it does not.
    TEncodedFormula f = EncodeFormula(u"1+2", TEncodeOptions());
    std::vector<uint8_t> array(TBaseArrayFormulaCell::ArrayHeadSize);
    PutU16(array.data(), 3);
    PutU16(array.data() + 2, 3);
    array[4] = 0;
    array[5] = 1;
    PutU16(array.data() + 12, uint16_t(f.TokenLength));
    array.insert(array.end(), f.Data.begin(), f.Data.end());
    std::vector<uint8_t> exp = {0x01, 3, 0, 0, 0}; // tExp to A4
    s.PutArrayFormulaNumber(0, 3, DefaultCellFormat, 5, exp, 0, array, 3);
    s.PutArrayFormulaNumber(1, 3, DefaultCellFormat, 5, exp, 1, array, 3);
    s.PutFormulaText(ctStringFormula, 2, 4, DefaultCellFormat, "CONCATENATE(\"a\",\"<b>\")", NoSharedFormula,
                     4, {});
    s.PutFormulaText(ctNumberFormula, 3, 4, DefaultCellFormat, "SUMIF(B1,\">0\")", NoSharedFormula, 0, {});
    const std::vector<uint8_t> image = Write(book);
    const std::string sheet = Part(image, "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(Has(sheet, "<dimension ref=\"A1:D5\"/>")) << sheet;
    EXPECT_TRUE(Has(sheet, "<row r=\"1\" ht=\"20\" customHeight=\"1\"><c r=\"A1\" t=\"e\"><v>#NUM!</v></c>"
                           "<c r=\"B1\"><v>0.30000000000000004</v></c></row><row r=\"3\" hidden=\"1\"/>"))
        << sheet;
    EXPECT_TRUE(
        Has(sheet, "<c r=\"A4\"><f t=\"array\" ref=\"A4:B4\">1+2</f><v>3</v></c><c r=\"B4\"><v>3</v></c>"))
        << sheet;
    EXPECT_TRUE(Has(sheet,
                    "<c r=\"C5\" t=\"str\"><f ca=\"1\">CONCATENATE(&quot;a&quot;,&quot;&lt;b&gt;&quot;)</f>"
                    "<v>a&lt;b&gt;</v></c><c r=\"D5\"><f>SUMIF(B1,&quot;&gt;0&quot;)</f></c>"))
        << sheet;
    // Without D5's value the workbook is calculated on load.
    EXPECT_TRUE(Has(Part(image, "xl/workbook.xml"), "<calcPr calcId=\"0\" fullCalcOnLoad=\"1\"/>"));
    EXPECT_TRUE(Has(sheet, "<row r=\"6\" outlineLevel=\"2\"/>")) << sheet;
}

// Settings set through the model go into the elements a package kept: what
// was set replaces its own attribute or child, the rest stays as read.
TEST(XlsxSheetPart, SettingsSetThroughTheModelGoIntoTheKeptElements) {
    TTabrix4 book;
    book.SetVersion(TExcelVersion::xvExcel2007);
    TSheet& s = book.GetSheet(0);
    TXLSSavedTags& tags = s.PackageData().SavedTags;
    tags.Add(
        "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"><pane ySplit=\"1\" topLeftCell=\"A2\" "
        "activePane=\"bottomLeft\" state=\"frozen\"/><selection "
        "pane=\"bottomLeft\"/></sheetView></sheetViews>",
        etsheetViews);
    tags.AddMarker(etsheetData);
    tags.Add("<pageMargins left='0.7' right='0.7' top='0.75' bottom='0.75' header='0.3' footer='0.3'/>",
             etpageMargins);
    tags.Add("<headerFooter differentOddEven=\"1\"><evenHeader>E</evenHeader></headerFooter>",
             etheaderFooter);
    s.Pane().PaneType = TPaneType::ptFrozen;
    s.Pane().SplitColX = 1, s.Pane().SplitRowY = 2, s.Pane().LeftCol = 1, s.Pane().TopRow = 2;
    s.SetZoom(80);
    s.PrintSettings().SetMarginLeft(2);
    s.PrintSettings().SetFooter(u"&CF<");
    const std::string expected =
        "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\" zoomScale=\"80\"><pane xSplit=\"1\" "
        "ySplit=\"2\" topLeftCell=\"B3\" activePane=\"bottomRight\" state=\"frozen\"/><selection "
        "pane=\"bottomLeft\"/></sheetView></sheetViews><sheetData></sheetData><pageMargins left='2' "
        "right='0.7' top='0.75' "
        "bottom='0.75' header='0.3' footer='0.3'/><headerFooter differentOddEven=\"1\"><oddFooter>&amp;CF&lt;"
        "</oddFooter><evenHeader>E</evenHeader></headerFooter>";
    // A second write finds nothing set since the first.
    for (int write = 0; write < 2; ++write) {
        const std::string sheet = Part(Write(book), "xl/worksheets/sheet1.xml");
        EXPECT_TRUE(Has(sheet, expected)) << sheet;
        EXPECT_TRUE(book.Warnings().empty());
    }
    // What of the page setup it does not carry, the write names.
    s.PrintSettings().SetScalingFactor(80);
    Write(book);
    EXPECT_EQ(book.Warnings(),
              std::vector<std::string>{"Sheet 'Sheet1': the page setup (scale, orientation, page "
                                       "breaks) not written to the .xlsx file"});
}
