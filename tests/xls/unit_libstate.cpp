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
    EXPECT_EQ(ClampColorIndex(64), 64);
    EXPECT_EQ(ClampColorIndex(200), 64);
    EXPECT_EQ(ApplyTint(0x10F080, 0.5), 0x90FFFFu);
    EXPECT_EQ(ApplyTint(0x10F080, -0.5), 0x007000u); // 127.5 rounds to even 128
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
    c.Value = 5;
    EXPECT_EQ(ResolveExtColor(c), 0x4F81BDu);
    c.Value = 40;
    EXPECT_EQ(ResolveExtColor(c), AutomaticColorMarker);
    c.Value = 1;
    c.Tint = 0.2;
    EXPECT_EQ(ResolveExtColor(c), 0x333333u);
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
