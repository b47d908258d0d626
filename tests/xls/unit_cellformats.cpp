// Cell format entries: bit fields, used-attribute flags and XF bodies.
#include "SrcXLS/model/CellFormats.h"

#include <gtest/gtest.h>

using namespace xls;

namespace {
std::vector<int> Words(const TXFBody& b, int from) {
    std::vector<int> w;
    for (int i = from; i < 20; i += 2) w.push_back(b[i] | (b[i + 1] << 8));
    return w;
}
} // namespace

TEST(CellFormat, NewAndDefaultEntries) {
    TXFonts fonts;
    TCellFormats pool(&fonts, true);
    ASSERT_EQ(pool.Count(), 22);
    EXPECT_EQ(pool.PermanentCount(), 22);
    EXPECT_EQ(Words(pool[21]->Body(), 4),
              (std::vector<int>{0x0001, 0x0020, 0x0000, 0x0000, 0x2040, 0x2040, 0x0010, 0x20C0}));
    EXPECT_EQ(Words(pool[15]->Body(), 0), (std::vector<int>{0, 0, 0x0001, 0x0020, 0, 0, 0, 0, 0, 0x20C0}));
    EXPECT_EQ(Words(pool[3]->Body(), 0),
              (std::vector<int>{2, 0, 0xFFF5, 0x0020, 0xF400, 0, 0, 0, 0, 0x20C0}));
    EXPECT_EQ(pool[16]->GetNumberFormatIndex(), 42);
    EXPECT_EQ(pool.NumberFormats().ByIndex(42)->UsageCount, 1);
    EXPECT_TRUE(pool.NumberFormats().ByIndex(22)->IsUnused());
    EXPECT_THROW(pool.AddDefaults(), XLSError);
    EXPECT_FALSE(pool[21]->IsDateFormat());
}

TEST(CellFormat, RotationMapping) {
    TCellFormat f;
    struct {
        int set, stored, read;
    } cases[] = {{-45, 135, -45}, {120, 90, 90}, {-100, 180, -90},
                 {300, 255, 255}, {-1, 91, -1},  {45, 45, 45}};
    for (auto c : cases) {
        f.SetRotation(c.set);
        EXPECT_EQ(f.Body()[7], c.stored) << c.set;
        EXPECT_EQ(f.GetRotation(), c.read) << c.set;
    }
}

TEST(CellFormat, FillAndBorderUsedFlags) {
    TCellFormat f;
    f.SetFillForeColor(10);
    EXPECT_EQ(f.GetFillPattern(), 1);
    EXPECT_EQ(f.GetFillForeColor(), 10);
    EXPECT_EQ(f.GetFillBackColor(), 9);
    EXPECT_TRUE(f.UsedAttributes() & 0x40);
    EXPECT_TRUE(f.HasFill());

    TCellFormat g;
    g.SetFillForeColor(64);
    EXPECT_EQ(g.GetFillPattern(), 0);
    EXPECT_EQ(g.GetFillBackColor(), 64); // stored 65 reads as 64
    EXPECT_TRUE(g.UsedAttributes() & 0x40);
    g.SetFillBackColor(64);
    EXPECT_FALSE(g.UsedAttributes() & 0x40);

    TCellFormat b;
    b.SetBorderLeftStyle(2);
    EXPECT_TRUE(b.UsedAttributes() & 0x20);
    EXPECT_TRUE(b.HasBorder());
    b.SetBorderLeftStyle(0);
    EXPECT_FALSE(b.UsedAttributes() & 0x20);
    b.SetBorderDiagStyle(3);
    EXPECT_TRUE(b.HasBorder());

    TCellFormat c, d;
    c.SetHorizAlignment(0); // sets alignment used, nothing else changes
    EXPECT_FALSE(c.Equal(d));
    EXPECT_EQ(c.Body()[9] & ~0x10, d.Body()[9]);
}

TEST(CellFormat, ValuesNeverSpillIntoNeighbouringFields) {
    TCellFormat f;
    f.SetBorderLeftStyle(0x1F);
    EXPECT_EQ(f.GetBorderRightStyle(), 0);
    f.SetBorderLeftColor(200);
    EXPECT_EQ(f.GetBorderRightColor(), 64);
    f.SetBorderTopColor(0xFFF);
    EXPECT_EQ(f.GetBorderBottomColor(), 64);
    f.SetFillPattern(0xFF);
    EXPECT_EQ(f.GetFillPattern(), 63);
    f.SetIndent(17);
    EXPECT_EQ(f.GetIndent(), 1);
    EXPECT_FALSE(f.GetMerge());
    f.SetBorderDiagLines(7);
    EXPECT_EQ(f.GetBorderDiagLines(), 3);
    EXPECT_EQ(f.GetBorderRightColor(), 64);
}

TEST(CellFormat, Biff5BodiesRoundTripEveryBackgroundColour) {
    for (int bg = 0; bg < 128; ++bg) {
        std::array<uint8_t, 16> xf5{};
        int w3 = 0x20 | (1 << 8) | 0xF400, w4 = 12 | (bg << 7), w5 = 5 | (3 << 6) | (17 << 9);
        int w6 = 2 | (1 << 3) | (4 << 6) | (30 << 9), w7 = 40 | (41 << 7);
        int words[8] = {3, 0, 0xFFF5, w3, w4, w5, w6, w7};
        for (int i = 0; i < 8; ++i) {
            xf5[2 * i] = uint8_t(words[i]);
            xf5[2 * i + 1] = uint8_t(words[i] >> 8);
        }
        TCellFormat f;
        f.LoadFromXF5(xf5);
        ASSERT_EQ(f.SaveToXF5(), xf5) << bg;
        EXPECT_EQ(f.GetRotation(), 255);
        EXPECT_EQ(f.GetBorderTopStyle(), 2);
        EXPECT_EQ(f.GetBorderBottomColor(), 17);
        EXPECT_EQ(f.GetBorderRightColor(), 41);
        EXPECT_EQ(f.GetFillPattern(), 5);
    }
    TCellFormat f;
    f.SetRotation(60);
    EXPECT_EQ(f.SaveToXF5()[7] & 3, 2);
    f.SetRotation(-60); // stored as 150
    EXPECT_EQ(f.SaveToXF5()[7] & 3, 3);
    f.SetBorderLeftStyle(9); // no such style in this layout: a thin line
    EXPECT_EQ((f.SaveToXF5()[12] >> 3) & 7, 1);
    EXPECT_EQ(f.SaveToXF5()[13] >> 1 & 0x7F, 64);
}

TEST(CellFormat, Biff4AndBiff8Bodies) {
    TCellFormat f;
    f.SetHorizAlignment(2);
    f.SetWrapShrink(1);
    f.SetBorderTopStyle(1);
    f.SetBorderRightStyle(12);
    f.SetProtection(3);
    auto xf4 = f.SaveToXF4();
    std::array<uint8_t, 12> expected = {0, uint8_t(-59), 3, 0, 2 | 8 | 32, 8 | 16 | 32 | 128, 0,
                                        0, 0xC1,         0, 0, 0};
    EXPECT_EQ(xf4, expected);
    TCellFormat g;
    g.LoadFromXF8(f.SaveToXF8());
    EXPECT_TRUE(g.Equal(f));
    std::vector<uint8_t> shortBody(19);
    EXPECT_THROW(g.LoadFromXF8(shortBody), XLSError);
    EXPECT_THROW(g.LoadFromXF5(std::vector<uint8_t>(15)), XLSError);
    EXPECT_THROW(g.SetCellColorRGB(0), XLSError);
    auto side = f.GetBorderSide(2);
    EXPECT_TRUE(side.Set);
    EXPECT_EQ(side.Style, 1);
    EXPECT_EQ(side.Color, 64);
}

TEST(CellFormat, NumberFormatsAreCountedPerEntry) {
    TXFonts fonts;
    TCellFormats pool(&fonts, true);
    TCellFormat unbound;
    EXPECT_THROW(unbound.SetNumberFormat(u"0.0"), XLSError);
    {
        TCellFormat a(&pool);
        EXPECT_THROW(a.SetNumberFormat(std::u16string(256, u'0')), XLSError);
        a.SetNumberFormat(u"0.000");
        EXPECT_EQ(a.GetNumberFormatIndex(), 59);
        EXPECT_EQ(pool.NumberFormats().ByIndex(59)->UsageCount, 1);
        TCellFormat b(&pool);
        b.Assign(a);
        EXPECT_EQ(pool.NumberFormats().ByIndex(59)->UsageCount, 2);
        b.SetNumberFormat(u"0.0");
        EXPECT_EQ(pool.NumberFormats().ByIndex(59)->UsageCount, 1);
        EXPECT_EQ(b.GetNumberFormat(), u"0.0");
        a.SetNumberFormatIndex(14);
        EXPECT_EQ(pool.NumberFormats().ByIndex(59), nullptr);
    }
    EXPECT_EQ(pool.NumberFormats().ByIndex(60), nullptr); // released when b went
    std::array<uint8_t, 20> xf{};
    xf[2] = 200; // a format the file never defined
    TCellFormat c(&pool);
    EXPECT_THROW(c.LoadFromXF8(xf), XLSError);
    EXPECT_EQ(c.GetNumberFormatIndex(), 0);
}

TEST(CellFormatPool, EqualEntriesAndDeletion) {
    TXFonts fonts;
    TCellFormats pool(&fonts, true);
    TCellFormat probe(&pool, 15);
    EXPECT_EQ(pool.IndexOfEqual(probe), 15);
    probe.SetFillPattern(3);
    EXPECT_EQ(pool.IndexOfEqual(probe), -1);
    TCellFormat* a = pool.AddCopy(probe);
    TCellFormat* b = pool.AddCopy(probe);
    EXPECT_EQ(pool.IndexOfEqual(probe), a->PoolIndex); // the first of equal entries
    pool.Delete(a->PoolIndex);
    EXPECT_EQ(b->PoolIndex, 22);
    EXPECT_EQ(pool.IndexOfEqual(probe), 22);
    pool[5]->LoadFromXF8(probe.SaveToXF8()); // an entry changed in place is found too
    EXPECT_EQ(pool.IndexOfEqual(probe), 5);
    pool.Clear();
    EXPECT_EQ(pool.Count(), 0);
    pool.ResetDefaults();
    EXPECT_EQ(pool.Count(), 21);
    EXPECT_EQ(pool.PermanentCount(), 21);
}
