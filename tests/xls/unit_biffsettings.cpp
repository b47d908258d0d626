#include "SrcXLS/formats/BIFFSettingsRecords.h"
#include "SrcXLS/model/XFonts.h"

#include "support_messages.h"

#include <gtest/gtest.h>

using namespace xls;

namespace {

using Bytes = std::vector<uint8_t>;

TFileText Biff8() {
    return {TExcelVersion::xvExcel97, 1252};
}
TFileText Biff5(int codePage = 1251) {
    return {TExcelVersion::xvExcel50, codePage};
}

} // namespace

TEST(BIFFSettings, TextFollowsTheVersionAndTheCodePage) {
    // "Ціна" in 1251; the same bytes in a BIFF8 compressed string are Latin-1.
    Bytes cp1251 = {0xD6, 0xB3, 0xED, 0xE0};
    TByteReader r5(cp1251);
    EXPECT_EQ(Biff5().Chars(r5, 4), u"Ціна");
    Bytes flagged = {0x00, 0xD6, 0xB3, 0xED, 0xE0};
    TByteReader r8(flagged);
    EXPECT_EQ(Biff8().Chars(r8, 4), u"\u00D6\u00B3\u00ED\u00E0");
    Bytes wide = {0x01, 0x26, 0x04, 0x56, 0x04};
    TByteReader rw(wide);
    EXPECT_EQ(Biff8().Chars(rw, 2), u"Ці");
    // A count beyond the body is refused, not read past it.
    Bytes shortWide = {0x01, 0x16, 0x04};
    TByteReader rs(shortWide);
    EXPECT_NE(MessageOf([&] { Biff8().Chars(rs, 2); }).find("Record too short"), std::string::npos);
}

TEST(BIFFSettings, BoundSheetAndFormatByVersion) {
    Bytes sheet8 = {0, 0, 0, 0, 0x02, 0x00, 3, 0x01, 'A', 0, 'B', 0, 0x16, 0x04};
    auto e8 = DecodeBoundSheet(sheet8, Biff8());
    EXPECT_EQ(e8.Name, u"ABЖ");
    EXPECT_EQ(e8.Visibility, 2);
    Bytes sheet5 = {0, 0, 0, 0, 0x01, 0x00, 2, 0xC0, 0xE1};
    auto e5 = DecodeBoundSheet(sheet5, Biff5());
    EXPECT_EQ(e5.Name, u"Аб");
    EXPECT_EQ(e5.Visibility, 1);

    Bytes format8 = {0xA4, 0x00, 3, 0x00, 0x00, '0', '.', '0'};
    auto f8 = DecodeFormat(format8, Biff8());
    EXPECT_EQ(f8.Index, 164);
    EXPECT_EQ(f8.Text, u"0.0");
    Bytes format5 = {0xA5, 0x00, 5, '0', ' ', 0xE3, 0xF0, 0xED};
    auto f5 = DecodeFormat(format5, Biff5());
    EXPECT_EQ(f5.Index, 165);
    EXPECT_EQ(f5.Text, u"0 грн");
    Bytes truncated = {0xA4, 0x00, 9, 0x00, 0x00, '0'};
    EXPECT_NE(MessageOf([&] { DecodeFormat(truncated, Biff8()); }), "(no exception)");
}

TEST(BIFFSettings, OldFontLayouts) {
    TXFont f2;
    Bytes biff2 = {0xF0, 0x00, 0x05, 0x00, 5, 'A', 'r', 'i', 'a', 'l'};
    LoadOldFont(f2, biff2, TExcelVersion::xvExcel21, Biff5(1252));
    EXPECT_EQ(f2.Height, 240u);
    EXPECT_EQ(f2.Style, xfsBold);
    EXPECT_EQ(f2.Underline, 1);
    EXPECT_EQ(f2.Name, u"Arial");
    TXFont f4;
    Bytes biff4 = {0xC8, 0x00, 0x0A, 0x00, 0x0A, 0x00, 2, 0xD2, 0xE0};
    LoadOldFont(f4, biff4, TExcelVersion::xvExcel40, Biff5());
    EXPECT_EQ(f4.Style, xfsItalic | xfsStrikeOut);
    EXPECT_EQ(f4.ColorIndex, 10);
    EXPECT_EQ(f4.Name, u"Та");
    Bytes cut = {0xC8, 0x00, 0x00};
    EXPECT_NE(MessageOf([&] { LoadOldFont(f4, cut, TExcelVersion::xvExcel40, Biff5()); }), "(no exception)");
}

TEST(BIFFSettings, PaletteTakesAtMost57ColoursAndWhatTheRecordHolds) {
    Bytes body = {60, 0};
    for (int i = 0; i < 60; ++i) body.insert(body.end(), {uint8_t(i), 0, 0, 0});
    auto colors = DecodePalette(body);
    ASSERT_EQ(colors.size(), 57u);
    EXPECT_EQ(colors[56], 56u);
    // A count larger than the record: only the colours present.
    Bytes shortBody = {57, 0, 1, 2, 3, 0, 4, 5, 6, 0};
    EXPECT_EQ(DecodePalette(shortBody), (std::vector<uint32_t>{0x030201, 0x060504}));
}

TEST(BIFFSettings, WriteAccessWindow2AndDimensionsNormalised) {
    Bytes old = {4, 0xCF, 0xE5, 0xF2, 0xF0, ' ', ' ', ' '};
    EXPECT_EQ(DecodeOldWriteAccess(old, Biff5()), u"Петр");
    // The count may claim more than the record holds.
    Bytes over = {200, 'a', 'b'};
    EXPECT_EQ(DecodeOldWriteAccess(over, Biff5()), u"ab");

    Bytes w8(32, 'x');
    auto padded = PadWriteAccess(w8);
    ASSERT_EQ(padded.size(), 112u);
    EXPECT_EQ(padded[31], 'x');
    EXPECT_EQ(padded[32], 0x20);
    EXPECT_EQ(padded[111], 0x20);

    Bytes win2 = {0xB6, 0x06, 1, 0, 2, 0, 0x40, 0, 0, 0};
    auto w = Window2ToBIFF8(win2);
    ASSERT_EQ(w.size(), 18u);
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 10), win2);
    EXPECT_EQ(Bytes(w.begin() + 10, w.end()), Bytes(8, 0));

    Bytes dim5 = {1, 0, 0xFF, 0xFF, 2, 0, 9, 0, 0, 0};
    EXPECT_EQ(DimensionsToBIFF8(dim5), (Bytes{1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 2, 0, 9, 0, 0, 0}));
}

TEST(BIFFSettings, HeaderFooterByVersion) {
    EXPECT_EQ(DecodeHeaderFooter({}, Biff8()), u"");
    Bytes h5 = {3, '&', 'P', 0xB3};
    EXPECT_EQ(DecodeHeaderFooter(h5, Biff5()), u"&Pі");
    Bytes h8 = {2, 0, 1, 'p', 0, 0x16, 0x04};
    EXPECT_EQ(DecodeHeaderFooter(h8, Biff8()), u"pЖ");
}

TEST(BIFFSettings, SelectionAndPane) {
    Bytes sel = {3, 5, 0, 2, 0, 1, 0, 2, 0, 0, 0, 1, 0, 0, 3, 5, 0, 5, 0, 2, 2};
    auto s = DecodeSelection(sel);
    EXPECT_EQ(s.Pane, 3);
    EXPECT_EQ(s.ActiveRow, 5);
    EXPECT_EQ(s.ActiveCol, 2);
    EXPECT_EQ(s.ActiveIndex, 1);
    ASSERT_EQ(s.Areas.size(), 2u);
    EXPECT_EQ(s.Areas[0].Row2, 1);
    EXPECT_EQ(s.Areas[0].Col2, 3);
    EXPECT_EQ(s.Areas[1].Row1, 5);
    EXPECT_EQ(s.Areas[1].Col1, 2);
    // A count of 200 areas in a record holding one: one area, the active
    // index pointing at it.
    Bytes over = {3, 0, 0, 0, 0, 7, 0, 200, 0, 0, 0, 0, 0, 0, 0};
    auto o = DecodeSelection(over);
    EXPECT_EQ(o.Areas.size(), 1u);
    EXPECT_EQ(o.ActiveIndex, 0);

    Bytes pane = {1, 0, 2, 0, 3, 0, 4, 0, 9, 0};
    auto p = DecodePane(pane);
    EXPECT_EQ(p.SplitColX, 1);
    EXPECT_EQ(p.SplitRowY, 2);
    EXPECT_EQ(p.TopRow, 3);
    EXPECT_EQ(p.LeftCol, 4);
    EXPECT_EQ(p.ActivePane, 3); // 9 clamped
}

TEST(BIFFSettings, PageBreaksMergedCellsAndCountsCut) {
    Bytes h8 = {1, 0, 10, 0, 0, 0, 0xFF, 0};
    auto b8 = DecodePageBreaks(h8, TExcelVersion::xvExcel97);
    ASSERT_EQ(b8.size(), 1u);
    EXPECT_EQ(b8[0].Position, 10);
    EXPECT_EQ(b8[0].Start, 0);
    EXPECT_EQ(b8[0].End, 255);
    Bytes h5 = {2, 0, 4, 0, 9, 0};
    auto b5 = DecodePageBreaks(h5, TExcelVersion::xvExcel50);
    ASSERT_EQ(b5.size(), 2u);
    EXPECT_EQ(b5[1].Position, 9);
    Bytes over = {0xFF, 0xFF, 4, 0};
    EXPECT_EQ(DecodePageBreaks(over, TExcelVersion::xvExcel50).size(), 1u);

    Bytes merged = {5, 0, 1, 0, 2, 0, 3, 0, 4, 0};
    auto m = DecodeMergedCells(merged);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].Row1, 1);
    EXPECT_EQ(m[0].Row2, 2);
    EXPECT_EQ(m[0].Col1, 3);
    EXPECT_EQ(m[0].Col2, 4);
}

TEST(BIFFSettings, FeatHdrOnlyForSheetProtection) {
    Bytes protection(23, 0);
    protection[12] = 2;
    protection[19] = 0xFF;
    protection[20] = 0xFF;
    EXPECT_EQ(DecodeFeatHdrProtection(protection), uint16_t(0x7FFF));
    // Ignored-errors headers end at byte 19: no protection read from them.
    Bytes ignored(19, 0);
    ignored[12] = 3;
    EXPECT_FALSE(DecodeFeatHdrProtection(ignored));
    Bytes other = protection;
    other[12] = 4;
    EXPECT_FALSE(DecodeFeatHdrProtection(other));

    Bytes ext(20, 0);
    ext[16] = 0x8A;
    EXPECT_EQ(DecodeSheetExtTabColor(ext), uint8_t(0x0A));
    EXPECT_FALSE(DecodeSheetExtTabColor(Bytes(12, 0)));
}

TEST(BIFFSettings, BOFOfEveryVersion) {
    Bytes b2 = {0x00, 0x02, 0x10, 0x00};
    auto bof2 = DecodeBOF(b2);
    EXPECT_EQ(bof2.Type, 0x10);
    EXPECT_FALSE(bof2.Full);
    Bytes b8 = {0x00, 0x06, 0x05, 0x00, 0xAF, 0x18, 0xCE, 0x07, 0, 0, 0, 0, 6, 0, 0, 0};
    auto bof8 = DecodeBOF(b8);
    EXPECT_TRUE(bof8.Full);
    EXPECT_EQ(bof8.Year, 0x07CE);
    EXPECT_EQ(bof8.Lowest, 6u);
    EXPECT_NE(MessageOf([] { DecodeBOF(Bytes{0x00, 0x06}); }), "(no exception)");
    EXPECT_TRUE(IsBOFId(0x0409));
    EXPECT_FALSE(IsBOFId(0x0109));
}
