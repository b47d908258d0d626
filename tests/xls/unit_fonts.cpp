// The font pool and FONT record bodies.
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/model/XFonts.h"

#include <gtest/gtest.h>

using namespace xls;

TEST(FontPool, MatchingForReuse) {
    TXFonts fonts;
    TXFont probe;
    probe.Name = u"ARIAL";
    EXPECT_EQ(fonts.IndexOfEqual(probe), 0);    // names compare without case
    EXPECT_EQ(fonts.FindEqual(probe), nullptr); // the hash index is exact
    probe.Name = u"Arial";
    EXPECT_EQ(fonts.FindEqual(probe), fonts.GetItem(0));
    for (int i = 0; i < 5; ++i) fonts.GetItem(i)->IsDefault = true;
    TXFont* added = fonts.FindOrAdd(probe);
    EXPECT_EQ(added->PoolIndex, 5);
    EXPECT_EQ(fonts.FindOrAdd(probe), added);
    probe.Style = xfsBold;
    EXPECT_EQ(fonts.IndexOfEqual(probe), -1);
}

TEST(FontPool, DeleteRenumbersLaterFonts) {
    TXFonts fonts;
    for (int i = 0; i < 4; ++i) fonts.Add()->Height = 300 + i;
    fonts.Delete(6);
    ASSERT_EQ(fonts.Count(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fonts.GetItem(i)->PoolIndex, i);
    EXPECT_EQ(fonts.GetItem(6)->Height, 302u);
    TXFont probe;
    probe.Height = 303;
    EXPECT_EQ(fonts.FindEqual(probe), fonts.GetItem(7));
    // Two equal fonts (a package may list one twice): the index forgets the
    // deleted one, not the one found first.
    fonts.Add()->Height = 303;
    fonts.Delete(7);
    ASSERT_EQ(fonts.Count(), 8);
    EXPECT_EQ(fonts.FindEqual(probe), fonts.GetItem(7));
    fonts.Delete(7);
    EXPECT_EQ(fonts.FindEqual(probe), nullptr);
}

TEST(FontPool, PlatformFonts) {
    TXFonts fonts;
    TFontDesc desc;
    desc.Name = u"Times";
    desc.Size = 12;
    desc.Bold = true;
    desc.Color = 0x0000FF;
    TXFont* f = fonts.FindOrAddPlatformFont(desc);
    EXPECT_EQ(f->ColorIndex, 10);
    EXPECT_EQ(f->Height, 240u);
    EXPECT_EQ(f->Style, xfsBold);
    EXPECT_EQ(fonts.FindOrAddPlatformFont(desc), f);
    desc.Underline = true;
    EXPECT_NE(fonts.FindOrAddPlatformFont(desc), f);
    EXPECT_EQ(PlatformColorToIndex(0x800080), 36);
    TFontDesc back;
    f->AssignToPlatformFont(back);
    EXPECT_EQ(back.Size, 12);
    EXPECT_EQ(back.Color, 0x0000FFu);
    EXPECT_TRUE(back.Bold);
}

TEST(FontRecord, Biff8BodyByteForByte) {
    TXFont f;
    f.Name = u"Ab\u0416";
    f.Height = 240;
    f.Style = xfsBold | xfsItalic | xfsStrikeOut;
    f.ColorIndex = 10;
    f.SubSuperscript = 1;
    f.Underline = 3;
    f.Charset = 204;
    auto body = f.SaveToRecord(TExcelVersion::xvExcel97);
    std::vector<uint8_t> expected = {0xF0, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0xBC, 0x02, 0x01, 0x00, 0x21,
                                     0x02, 204,  0x00, 0x03, 0x01, 'A',  0,    'b',  0,    0x16, 0x04};
    EXPECT_EQ(body, expected);
    TXFont back;
    back.LoadFromRecord(body);
    EXPECT_TRUE(back.Equal(f));
    EXPECT_EQ(back.Underline, 3);
    EXPECT_EQ(back.SubSuperscript, 1);
}

TEST(FontRecord, ColourZeroAndAccountingUnderline) {
    TXFont f;
    f.ColorIndex = 0;
    f.Underline = 4;
    auto body = f.SaveToRecord(TExcelVersion::xvExcel97);
    EXPECT_EQ(body[4], 0xFF);
    EXPECT_EQ(body[5], 0x7F);
    EXPECT_EQ(body[10], 0x22);
    TXFont back;
    back.LoadFromRecord(body);
    EXPECT_EQ(back.ColorIndex, 0);
    EXPECT_EQ(back.Underline, 4);
    // Heights go as a point to 409.55 points, what readers take.
    for (auto [height, written] : {std::pair{0u, 20}, {19u, 20}, {20u, 20}, {8191u, 8191}, {70000u, 8191}}) {
        f.Height = height;
        EXPECT_EQ(GetU16(f.SaveToRecord(TExcelVersion::xvExcel97).data()), written) << height;
    }
}

TEST(FontRecord, OlderVersionsWriteEightBitNames) {
    TXFont f;
    f.Name = u"Caf\u00e9";
    auto body = f.SaveToRecord(TExcelVersion::xvExcel50, 1252);
    ASSERT_EQ(body.size(), 15u + 4);
    EXPECT_EQ(body[14], 4);
    EXPECT_EQ(body[18], 0xE9);
    TXFont back;
    back.LoadFromRecord(body, TExcelVersion::xvExcel50, 1252);
    EXPECT_EQ(back.Name, f.Name);
    // A character the code page lacks is not silently replaced.
    f.Name = u"Caf\u00e9\u4e2d";
    try {
        f.SaveToRecord(TExcelVersion::xvExcel50, 1252);
        ADD_FAILURE() << "no error";
    } catch (const XLSError& e) {
        EXPECT_NE(std::string(e.what()).find("code page 1252"), std::string::npos) << e.what();
    }
}

TEST(FontRecord, MalformedAndOversizedBodies) {
    TXFont f;
    std::vector<uint8_t> shortBody = {0xC8, 0, 0, 0, 8, 0};
    EXPECT_THROW(f.LoadFromRecord(shortBody), XLSError);
    TXFont named;
    named.Name = u"Arial";
    auto body = named.SaveToRecord(TExcelVersion::xvExcel97);
    body[14] = 40; // the name claims more characters than the record holds
    EXPECT_THROW(f.LoadFromRecord(body), XLSError);
    named.Name = std::u16string(300, u'x');
    body = named.SaveToRecord(TExcelVersion::xvExcel97);
    EXPECT_EQ(body[14], 255);
    EXPECT_EQ(body.size(), 16u + 510);
    body = named.SaveToRecord(TExcelVersion::xvExcel97);
    body[4] = 0x00;
    body[5] = 0x01; // colour 256
    f.LoadFromRecord(body);
    EXPECT_EQ(f.ColorIndex, 0);
}

TEST(FontEx12, ColourRecordTakesPartInEquality) {
    TXFontEx12 a, b;
    EXPECT_EQ(a.Color12.Kind, eckNotSet);
    EXPECT_TRUE(a.Equal(b));
    b.SetColorRGB(0x123456);
    EXPECT_EQ(b.GetColorRGB(), 0x123456u);
    EXPECT_FALSE(a.Equal(b));
    EXPECT_NE(a.Hash(), b.Hash());
    TXFont plain;
    plain.ColorIndex = 12;
    a.Assign(plain);
    EXPECT_EQ(a.Color12.Kind, eckIndexed);
    EXPECT_EQ(a.Color12.Index, 12);
    EXPECT_FALSE(plain.Equal(a));
}
