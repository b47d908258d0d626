// Library-wide state, colours, the bucket list and temporary files.
#include "SrcXLS/XLSBucketList.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSColors.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSTempFiles.h"
#include "platform/RegionalSettings.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace xls;

TEST(LibState, LocaleFromTheRegionalSettings) {
    platform::RegionalSettings rs;
    rs.decimalSeparator = '.';
    rs.thousandsSeparator = "\xA0";
    TXLSLocale loc = LocaleFromRegional(rs);
    EXPECT_EQ(loc.DecimalSeparator, u'.');
    EXPECT_EQ(loc.ThousandSeparator, u'\u00a0');
    EXPECT_EQ(loc.DateSeparator, u'.');
    EXPECT_EQ(loc.ListSeparator, u';');
}

TEST(Colors, NearestPaletteAndTint) {
    LibState().Reset();
    EXPECT_EQ(NearestPaletteIndex(0x0000FF), 10); // also entry 35's value: the first wins
    EXPECT_EQ(NearestPaletteIndex(0xFFFF00), 15);
    EXPECT_EQ(NearestPaletteIndex(0x0101FE), 10);
    // Package colours come as RRGGBB: red stays red, blue blue.
    EXPECT_EQ(NearestPaletteIndexOfRGB(0xFF0000), 10);
    EXPECT_EQ(NearestPaletteIndexOfRGB(0x0000FF), 12);
    EXPECT_EQ(NearestPaletteIndexOfRGB(0xFEFF01), 13);
    EXPECT_EQ(ClampColorIndex(64), 64);
    EXPECT_EQ(ClampColorIndex(200), 64);
    EXPECT_EQ(CmToEmu(2.54), 914400);
    EXPECT_DOUBLE_EQ(EmuToCm(360000), 1.0);

    TExtColor c;
    EXPECT_EQ(ResolveExtColor(c), AutomaticColorMarker);
    c.Kind = eckIndexed;
    c.Index = 12;
    EXPECT_EQ(ResolveExtColor(c), 0xFF0000u);
    c.Index = 200; // beyond the palette: the automatic entry, never out of bounds
    EXPECT_EQ(ResolveExtColor(c), AutomaticColorMarker);
    c.Kind = eckRGB;
    c.Value = 0xAB123456;
    EXPECT_EQ(ResolveExtColor(c), 0x123456u);
    c.Kind = eckTheme;
    c.Value = 40;
    EXPECT_EQ(ResolveExtColor(c), AutomaticColorMarker);
    c.Value = 1;
    c.Tint = 0.2;
    EXPECT_EQ(ResolveExtColor(c), 0x333333u);
}

// Theme numbers as the theme part orders its colours, and tints as
// LibreOffice applies them (its conversion of the same package to .xls).
TEST(Colors, ThemeNumbersAndTintsAsLibreOfficeConverts) {
    const uint32_t theme[] = {0xFFFFFF, 0x000000, 0xEEECE1, 0x1F497D, 0x4F81BD, 0xC0504D,
                              0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646, 0x0000FF, 0x800080};
    TExtColor c;
    c.Kind = eckTheme;
    for (uint32_t i = 0; i < 12; ++i) {
        c.Value = i;
        EXPECT_EQ(ResolveExtColor(c), theme[i]) << "theme " << i;
    }
    TThemeColors own = DefaultThemeColors();
    own[4] = 0x5B9BD5;
    c.Value = 4;
    EXPECT_EQ(ResolveExtColor(c, own), 0x5B9BD5u);

    const struct {
        uint32_t Value; // theme number
        double Tint;
        uint32_t Expected;
    } tints[] = {
        {4, 0.4, 0x95B3D7},   {5, 0.4, 0xD99694},  {4, -0.25, 0x376092}, {5, -0.25, 0x953735},
        {4, 0.8, 0xDCE6F2},   {5, 0.8, 0xF2DCDB},  {4, -0.5, 0x254061},  {5, -0.5, 0x632523},
        {4, 0.6, 0xB9CDE5},   {5, 0.6, 0xE6B9B8},  {0, -0.5, 0x808080},  {1, 0.5, 0x808080},
        {0, -0.05, 0xF2F2F2}, {1, 0.35, 0x595959}, {0, -0.15, 0xD9D9D9}, {1, 0.25, 0x404040},
        {2, -0.1, 0xDDD9C3},  {3, 0.4, 0x558ED5},  {9, -0.25, 0xE46C0A},
    };
    for (const auto& t : tints) {
        c.Value = t.Value;
        c.Tint = t.Tint;
        EXPECT_EQ(ResolveExtColor(c), t.Expected) << "theme " << t.Value << " tint " << t.Tint;
    }
    // The luminance alone moves, whatever the byte order.
    EXPECT_EQ(ApplyTint(0xBD814F, 0.4), 0xD7B395u);
}

TEST(BucketList, AddFindDeleteClear) {
    std::u16string_view names[] = {u"sheet", u"row", u"c", u"v", u"Row"};
    auto list = TXLSStringBucketList::CreateFromArray(names);
    EXPECT_EQ(list.Count(), 5);
    int id = -1;
    ASSERT_TRUE(list.Find(u"Row", id));
    EXPECT_EQ(id, 4);
    ASSERT_TRUE(list.Find(u"row", id));
    EXPECT_EQ(id, 1);
    EXPECT_FALSE(list.Find(u"ROW", id));
    EXPECT_THROW(list.Add(u"c", 9), EListError);
    list.Locked = true;
    try {
        list.Add(u"new", 9);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Bucket List Locked");
    }
    EXPECT_THROW(list.Clear(), EListError);
    list.Locked = false;
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Find(u"sheet", id));
    EXPECT_EQ(list.Add(u"sheet", 3), 3);
}

TEST(TempFiles, ExclusiveAndCleanupOnlyOfUnheldOwnFiles) {
    auto dir = std::filesystem::temp_directory_path() / ("xlstmp_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(IsLibraryTempFileName("XLS123.tmp"));
    EXPECT_FALSE(IsLibraryTempFileName("XLS.tmp"));
    EXPECT_FALSE(IsLibraryTempFileName("XLSX123.tmp"));
    EXPECT_FALSE(IsLibraryTempFileName("XLS12a.tmp"));
    EXPECT_FALSE(IsLibraryTempFileName("XLS123.tmpx"));

    auto a = TTempFile::Create(dir);
    auto b = TTempFile::Create(dir);
    EXPECT_NE(a->Path(), b->Path());
    for (const char* other : {"XLS999.tmp", "XLSreport.xls", "XLS77.tmp.bak", "notes.txt"})
        std::ofstream(dir / other) << "x";
    EXPECT_EQ(RemoveStaleTempFiles(dir), 1); // only the leftover XLS999.tmp
    EXPECT_TRUE(std::filesystem::exists(a->Path()));
    EXPECT_TRUE(std::filesystem::exists(dir / "XLSreport.xls"));
    EXPECT_TRUE(std::filesystem::exists(dir / "XLS77.tmp.bak"));
    EXPECT_FALSE(std::filesystem::exists(dir / "XLS999.tmp"));
    auto path = a->Path();
    a.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
    b.reset();
    std::filesystem::remove_all(dir);
    EXPECT_THROW(TTempFile::Create(dir / "missing"), XLSError);
}
