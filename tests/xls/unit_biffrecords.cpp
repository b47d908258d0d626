// Generated records byte for byte in each file version: window, zoom,
// selection, pane and protection records, the format block and page setup.
#include "SrcXLS/formats/BIFFRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/model/CellFormats.h"
#include "SrcXLS/model/Pane.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Selection.h"
#include "SrcXLS/model/XFonts.h"

#include "tests/xls/support_biffbuild.h"
#include "tests/xls/support_hex.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

using namespace xls;
using V = TExcelVersion;

namespace {

std::vector<biffbuild::Record> Records(const std::function<void(TBIFFRecordWriter&)>& build,
                                       V v = V::xvExcel97) {
    return biffbuild::Records(biffbuild::Written(
                                  [&](TXLSStream& s) {
                                      TBIFFRecordWriter w(s);
                                      build(w);
                                  },
                                  v),
                              true);
}

} // namespace

TEST(BIFFRecords, SclOnlyForAZoomOtherThanFull) {
    EXPECT_TRUE(Records([](auto& w) { w.WriteScl(100); }).empty());
    EXPECT_TRUE(Records([](auto& w) { w.WriteScl(0); }).empty());
    auto r = Records([](auto& w) { w.WriteScl(75); });
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Id, 0x00A0);
    EXPECT_EQ(r[0].Body, FromHex("4B 00 64 00"));
}

TEST(BIFFRecords, SelectionHoldsItsRanges) {
    TSelectedAreas sel;
    sel.Clear();
    sel.Add() = {1, 2, 3, 4};
    sel.Add() = {0, 10, 0, 12};
    sel.AddCell(300, 70000); // beyond the fields: stored as their largest values
    auto r = Records([&](auto& w) { w.WriteSelection(3, sel); });
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Id, 0x001D);
    EXPECT_EQ(r[0].Body.size(), 27u);
    EXPECT_EQ(r[0].Body, FromHex("03 FF FF FF 00 02 00 03 00"
                                 "02 00 04 00 01 03"
                                 "0A 00 0C 00 00 00"
                                 "FF FF FF FF FF FF"));

    // Without ranges the active cell is the one range.
    sel.Clear();
    sel.ActiveCol = 2;
    sel.ActiveRow = 5;
    r = Records([&](auto& w) { w.WriteSelection(1, sel); });
    EXPECT_EQ(r[0].Body, FromHex("01 05 00 02 00 00 00 01 00 05 00 05 00 02 02"));
}

TEST(BIFFRecords, PaneWithHorizontalSplitOnlyGetsTwoSelections) {
    TPane pane;
    pane.PaneType = TPaneType::ptFrozen;
    pane.SplitColX = 2;
    pane.LeftCol = 2;
    pane.TopRow = 0;
    auto r = Records([&](auto& w) { w.WritePane(pane); });
    ASSERT_EQ(biffbuild::IdsOf(r), (std::vector<uint16_t>{0x0041, 0x001D, 0x001D}));
    EXPECT_EQ(r[0].Body, FromHex("02 00 00 00 00 00 02 00 01 00"));
    EXPECT_EQ(r[1].Body, FromHex("03 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
    EXPECT_EQ(r[2].Body, FromHex("01 00 00 02 00 00 00 01 00 00 00 00 00 02 02"));
}

TEST(BIFFRecords, PaneSelectionsKeptOnlyWhenTheyFitTheSplit) {
    TPane pane;
    pane.PaneType = TPaneType::ptSplit;
    pane.SplitColX = 1000;
    pane.SplitRowY = 500;
    pane.TopRow = 7;
    pane.LeftCol = 3;
    const HexBytes kept = FromHex("00 09 00 09 00 00 00 01 00 09 00 09 00 09 09");
    for (int i = 0; i < 4; ++i) pane.Records().Add(0x001D, kept);
    auto r = Records([&](auto& w) { w.WritePane(pane); });
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].Body, FromHex("E8 03 F4 01 07 00 03 00 00 00"));
    for (int i = 1; i < 5; ++i) EXPECT_EQ(r[i].Body, kept);

    // Two kept records do not fit four panes: generated at the corners.
    pane.Records().Clear();
    pane.Records().Add(0x001D, kept);
    pane.Records().Add(0x001D, kept);
    r = Records([&](auto& w) { w.WritePane(pane); });
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[1].Body, FromHex("03 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
    EXPECT_EQ(r[2].Body, FromHex("02 07 00 00 00 00 00 01 00 07 00 07 00 00 00"));
    EXPECT_EQ(r[3].Body, FromHex("01 00 00 03 00 00 00 01 00 00 00 00 00 03 03"));
    EXPECT_EQ(r[4].Body, FromHex("00 07 00 03 00 00 00 01 00 07 00 07 00 03 03"));

    // A pane without a split value writes nothing.
    pane.SplitColX = pane.SplitRowY = 0;
    EXPECT_TRUE(Records([&](auto& w) { w.WritePane(pane); }).empty());
}

TEST(BIFFRecords, WindowRecords) {
    TRecordStorageGlobals globals;
    auto r = Records([&](auto& w) {
        w.WriteWindow1(globals.Window1Data());
        w.WriteWindow2Short(0x06B6, true);
        w.WriteWindow2Short(0x0002, false);
    });
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].Id, 0x003D);
    EXPECT_EQ(r[0].Body, FromHex("64 00 64 00 10 27 58 1B 38 00 00 00 00 00 01 00 58 02"));
    EXPECT_EQ(r[1].Id, 0x023E);
    EXPECT_EQ(r[1].Body, FromHex("B6 06 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(r[2].Body, FromHex("A2 04 00 00 00 00 00 00 00 00"));
}

TEST(BIFFRecords, SheetProtectionOnlyWhenSomethingIsAllowed) {
    EXPECT_TRUE(Records([](auto& w) { w.WriteSheetProtection(0x7FFF); }).empty());
    auto r = Records([](auto& w) { w.WriteSheetProtection(0x4003); });
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Id, 0x0867);
    EXPECT_EQ(r[0].Body, FromHex("67 08 00 00 00 00 00 00 00 00 00 00 02 00 01 FF FF FF FF 03 40 00 00"));
}

class FormatBlock : public ::testing::Test {
protected:
    TXFonts fonts;
    TCellFormats formats{&fonts, true};
};

TEST_F(FormatBlock, FontFourIsNeverWritten) {
    fonts.GetItem(4)->Name = u"Skipped";
    TXFont* bold = fonts.Add();
    bold->Name = u"Тахома";
    bold->Style = xfsBold | xfsItalic;
    bold->ColorIndex = 10;
    bold->Underline = 1;
    for (V v : {V::xvExcel97, V::xvExcel50, V::xvExcel40}) {
        auto r = Records([&](auto& w) { w.WriteFonts(fonts); }, v);
        ASSERT_EQ(r.size(), 5u);
        EXPECT_EQ(r[0].Id, v == V::xvExcel40 ? 0x0231 : 0x0031);
        if (v == V::xvExcel97) {
            EXPECT_EQ(r[4].Body.size(), 16u + 2 * 6);
            EXPECT_EQ(r[4].Body[2], 0x03); // bold flag beside the weight, italic
            EXPECT_EQ(r[0].Body[2], 0x00);
        } else if (v == V::xvExcel50) {
            // The name in the 8-bit code page, the font's character set that code page's.
            EXPECT_EQ(HexBytes(r[4].Body.end() - 7, r[4].Body.end()), FromHex("06 D2 E0 F5 EE EC E0"));
            EXPECT_EQ(r[0].Body[12], 204);
        } else { // height, bold italic underline, red, name
            EXPECT_EQ(r[4].Body, FromHex("C8 00 07 00 0A 00 06 D2 E0 F5 EE EC E0"));
        }
    }
}

TEST_F(FormatBlock, NumberFormatsInUse) {
    TCellFormat* f = formats.Add();
    f->SetNumberFormat(u"0.000");
    auto r = Records([&](auto& w) { w.WriteFormats(formats); });
    // 9 and 42-45 of the default entries, then the new one.
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[0].Id, 0x041E);
    EXPECT_EQ(r[0].Body, FromHex("09 00 02 00 01 30 00 25 00"));
    EXPECT_EQ(r[5].Body, FromHex("3B 00 05 00 01 30 00 2E 00 30 00 30 00 30 00"));

    r = Records([&](auto& w) { w.WriteFormats(formats); }, V::xvExcel50);
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[5].Body, FromHex("3B 00 05 30 2E 30 30 30"));
}

// Below BIFF5 a cell format names the place of its FORMAT record, so the
// general format comes first and built-ins in use are written too.
TEST_F(FormatBlock, Biff4CellFormatsNameTheirFormatRecord) {
    TCellFormat* two = formats.Add();
    two->SetNumberFormatIndex(2);
    TCellFormat* user = formats.Add();
    user->SetNumberFormat(u"0.000");
    auto r = Records(
        [&](auto& w) {
            w.WriteFormats(formats);
            w.WriteXFs(formats);
        },
        V::xvExcel40);
    // General, 2, 9, 42, 43, 44, 45, 59; then one XF per entry.
    ASSERT_EQ(r.size(), 8u + size_t(formats.Count()));
    EXPECT_EQ(r[0].Body, FromHex("00 00 07 47 65 6E 65 72 61 6C"));
    EXPECT_EQ(r[1].Body, FromHex("02 00 04 30 2E 30 30"));
    EXPECT_EQ(r[7].Body, FromHex("3B 00 05 30 2E 30 30 30"));
    const auto& xfTwo = r[8 + size_t(two->PoolIndex)];
    const auto& xfUser = r[8 + size_t(user->PoolIndex)];
    const auto& xfDefault = r[8 + DefaultCellFormat];
    EXPECT_EQ(xfTwo.Id, 0x0443);
    EXPECT_EQ(xfTwo.Body.size(), 12u);
    EXPECT_EQ(xfTwo.Body[1], 1);
    EXPECT_EQ(xfUser.Body[1], 7);
    EXPECT_EQ(xfDefault.Body[1], 0);
}

TEST_F(FormatBlock, CellFormatLayoutsByVersion) {
    const struct {
        V Version;
        uint16_t Id;
        size_t Size;
    } cases[] = {{V::xvExcel97, 0x00E0, 20}, {V::xvExcel50, 0x00E0, 16}, {V::xvExcel40, 0x0443, 12}};
    for (const auto& c : cases) {
        auto r = Records([&](auto& w) { w.WriteXFs(formats); }, c.Version);
        ASSERT_EQ(r.size(), size_t(formats.Count()));
        EXPECT_EQ(r[15].Id, c.Id);
        EXPECT_EQ(r[15].Body.size(), c.Size);
    }
}

TEST(BIFFRecords, StylesOfANewWorkbookAndKeptOnes) {
    auto r = Records([](auto& w) { w.WriteStyles(true, {}); });
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[0].Id, 0x0293);
    std::vector<uint8_t> all;
    for (const auto& s : r) all.insert(all.end(), s.Body.begin(), s.Body.end());
    EXPECT_EQ(all, FromHex("10 80 03 FF 11 80 06 FF 12 80 04 FF 13 80 07 FF 00 80 00 FF 14 80 05 FF"));

    std::vector<std::vector<uint8_t>> kept = {FromHex("00 80 00 FF"), FromHex("15 00 03 00 00 41 62 63")};
    r = Records([&](auto& w) { w.WriteStyles(false, kept); });
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].Body, kept[1]);
}

TEST(BIFFRecords, PaletteWhenChangedOrAlwaysAsked) {
    TPalette palette = DefaultPalette();
    EXPECT_TRUE(Records([&](auto& w) { w.WritePalette(palette, false); }).empty());
    palette[8] = 0x00332211;
    auto r = Records([&](auto& w) { w.WritePalette(palette, false); });
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Id, 0x0092);
    ASSERT_EQ(r[0].Body.size(), 226u);
    EXPECT_EQ(HexBytes(r[0].Body.begin(), r[0].Body.begin() + 10), FromHex("38 00 11 22 33 00 FF FF FF 00"));
    r = Records([&](auto& w) { w.WritePalette(DefaultPalette(), true); }, V::xvExcel50);
    EXPECT_EQ(r.size(), 1u);
}

class PageSetup : public Biff8Limits {
protected:
    TRecordStorageSheet records;
    TPrintSettings print{records};
};

TEST_F(PageSetup, HeaderAndFooterText) {
    print.SetHeader(u"Звіт");
    auto r = Records([&](auto& w) { w.WriteHeaderFooter(print); });
    ASSERT_EQ(biffbuild::IdsOf(r), (std::vector<uint16_t>{0x0014, 0x0015}));
    EXPECT_EQ(r[0].Body, FromHex("04 00 01 17 04 32 04 56 04 42 04"));
    EXPECT_TRUE(r[1].Body.empty());

    r = Records([&](auto& w) { w.WriteHeaderFooter(print); }, V::xvExcel50);
    EXPECT_EQ(r[0].Body, FromHex("04 C7 E2 B3 F2"));

    // One count byte: a longer text is cut so that count and bytes agree.
    print.SetFooter(std::u16string(300, u'x'));
    r = Records([&](auto& w) { w.WriteHeaderFooter(print); }, V::xvExcel50);
    EXPECT_EQ(r[1].Body.size(), 256u);
    EXPECT_EQ(r[1].Body[0], 255);
}

TEST_F(PageSetup, NegativeMarginsAreUnset) {
    print.SetMarginLeft(-1);
    print.SetMarginRight(0);
    auto r = Records([&](auto& w) { w.WriteMargins(print); });
    ASSERT_EQ(biffbuild::IdsOf(r), (std::vector<uint16_t>{0x0027, 0x0028, 0x0029}));
    EXPECT_EQ(r[0].Body, FromHex("00 00 00 00 00 00 00 00"));
    EXPECT_EQ(r[1].Body, FromHex("00 00 00 00 00 00 F0 3F"));
}

TEST_F(PageSetup, PageBreaksCountFromOne) {
    EXPECT_TRUE(Records([&](auto& w) { w.WritePageBreaks(print); }).empty());
    print.HorizPagebreaks().Add().Row = 9;
    auto& v = print.VertPagebreaks().Add();
    v.Col = 3;
    v.Row1 = -1;
    auto r = Records([&](auto& w) { w.WritePageBreaks(print); });
    ASSERT_EQ(biffbuild::IdsOf(r), (std::vector<uint16_t>{0x001B, 0x001A}));
    EXPECT_EQ(r[0].Body, FromHex("01 00 0A 00 01 00 00 01"));
    EXPECT_EQ(r[1].Body, FromHex("01 00 04 00 00 00 FF FF"));

    r = Records([&](auto& w) { w.WritePageBreaks(print); }, V::xvExcel50);
    EXPECT_EQ(r[0].Body, FromHex("01 00 0A 00"));
    EXPECT_EQ(r[1].Body, FromHex("01 00 04 00"));
}
