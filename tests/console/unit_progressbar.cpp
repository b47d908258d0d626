#include "console/TQProgressBar.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

using namespace QProgBar;

namespace {

TEST(ProgressPercent, IntegerPartInSixtyFourBits) {
    EXPECT_EQ(PercentText(0, 0), "0 %");
    EXPECT_EQ(PercentText(17, 0), "0 %");
    EXPECT_EQ(PercentText(5, -3), "0 %");
    EXPECT_EQ(PercentText(1, 3), "33 %");
    EXPECT_EQ(PercentText(2, 3), "66 %"); // truncated, never rounded up
    EXPECT_EQ(PercentText(5268, 5269), "99 %");
    EXPECT_EQ(PercentText(5269, 5269), "100 %");
    EXPECT_EQ(PercentUnits(30000000, 40000000), 75); // position * 100 beyond 32 bits
    EXPECT_EQ(PercentUnits(2147483647, 2147483647), 100);
    EXPECT_EQ(PercentUnits(6, 5), 100); // a loop that ran past its count
    EXPECT_EQ(PercentText(40, 1), "100 %");
    EXPECT_EQ(PercentText(-3, 10), "0 %");
}

TEST(ProgressGeometry, FilledLength) {
    Geometry wide = MakeGeometry(boHorizontal, 300, 16, 2); // length 296
    double percent = -1;
    EXPECT_EQ(FilledLength(1, 100, wide, &percent), 5); // 2.96 is below the minimum
    EXPECT_DOUBLE_EQ(percent, 1.0);
    EXPECT_EQ(FilledLength(150, 100, wide, &percent), 296);
    EXPECT_DOUBLE_EQ(percent, 100.0);
    EXPECT_EQ(FilledLength(1, 3, wide, &percent), 99); // 98.67
    EXPECT_NEAR(percent, 33.3333333, 1e-6);

    Geometry fifty = MakeGeometry(boHorizontal, 54, 16, 2);
    EXPECT_EQ(FilledLength(13, 100, fifty, nullptr), 6);  // 6.5: halves go to even
    EXPECT_EQ(FilledLength(15, 100, fifty, nullptr), 8);  // 7.5
    EXPECT_EQ(FilledLength(3, 100, fifty, nullptr), 5);   // 1.5 -> minimum
    EXPECT_EQ(FilledLength(99, 100, fifty, nullptr), 50); // 49.5

    // Products beyond 32 bits.
    EXPECT_EQ(FilledLength(50000000, 100000000, fifty, &percent), 25);
    EXPECT_DOUBLE_EQ(percent, 50.0);
    EXPECT_EQ(FilledLength(2147483647, 2147483647, fifty, nullptr), 50);

    // A bar shorter than the minimum fill stays inside its length.
    Geometry tiny = MakeGeometry(boHorizontal, 6, 16, 2);
    EXPECT_EQ(FilledLength(1, 100, tiny, nullptr), 2);
}

TEST(ProgressColors, GradientInterpolatesEachChannelTruncated) {
    const TColor start = 0x0000FF, final = 0xFF6432; // red 255 -> 50, green 0 -> 100, blue 0 -> 255
    EXPECT_EQ(GradientColor(0, 4, start, final, false), start);
    EXPECT_EQ(GradientColor(-3, 4, start, final, false), start);
    EXPECT_EQ(GradientColor(4, 4, start, final, false), final);
    EXPECT_EQ(GradientColor(9, 4, start, final, false), final);
    // t = 1/4: red 255 - 51.25 -> 204 (toward zero), green 25, blue 63.75 -> 63.
    EXPECT_EQ(GradientColor(1, 4, start, final, false), TColor(204 | 25 << 8 | 63 << 16));
    // t = 3/4: red 255 - 153.75 -> 102, green 75, blue 191.25 -> 191.
    EXPECT_EQ(GradientColor(3, 4, start, final, false), TColor(102 | 75 << 8 | 191 << 16));
    EXPECT_EQ(GradientColor(2, 4, start, final, true), start);
}

TEST(ProgressColors, CylinderShading) {
    // Glass: the profile sets the lightness whatever the base colour's own.
    EXPECT_EQ(ShadeColumn(0x000080, 12, blGlass), ShadeColumn(0x0000FF, 12, blGlass));
    std::vector<TColor> glass = ShadeColumn(0x808080, 12, blGlass);
    ASSERT_EQ(glass.size(), 12u);
    EXPECT_EQ(glass[0], 0xAFAFAFu); // lightness 165
    EXPECT_EQ(glass[3], 0xD6D6D6u); // 202
    EXPECT_EQ(glass[8], 0x9A9A9Au); // 145

    // Metal: the colour's own lightness shifted by the profile less 212.
    std::vector<TColor> metal = ShadeColumn(0x808080, 12, blMetal);
    EXPECT_EQ(metal[3], 0x747474u); // 120 - 212 + 202 = 110
    EXPECT_EQ(metal[8], 0x383838u); // 120 - 212 + 145 = 53
    EXPECT_EQ(ShadeColumn(0xFFFFFF, 12, blMetal)[0], 0xCCCCCCu);
    for (TColor c : ShadeColumn(0x000000, 12, blMetal)) EXPECT_EQ(c, 0u); // clamped at 0
    EXPECT_NE(ShadeColumn(0x000080, 12, blMetal), ShadeColumn(0x0000FF, 12, blMetal));

    EXPECT_TRUE(ShadeColumn(0x808080, 0, blGlass).empty());
    EXPECT_TRUE(ShadeColumn(0x808080, -3, blGlass).empty());
}

TEST(ProgressColors, Tables) {
    Geometry g = MakeGeometry(boHorizontal, 64, 15, 2); // length 60, thickness 12
    ColorSettings flat;
    flat.startColor = 0x0000FF;
    flat.finalColor = 0xFF0000;
    flat.singleColor = false;
    ColorTables t = BuildColorTables(flat, g);
    ASSERT_EQ(t.columns.size(), 61u);
    for (const auto& column : t.columns) ASSERT_EQ(column.size(), 12u);
    EXPECT_EQ(t.columns[0][5], 0x0000FFu);
    EXPECT_EQ(t.columns[60][5], 0xFF0000u);
    EXPECT_EQ(t.columns[30][0], t.columns[30][11]); // flat: one colour across
    EXPECT_EQ(t.inactive, std::vector<TColor>(12, 0x808080));

    ColorSettings cylinder;
    cylinder.kind = bkCylinder;
    cylinder.look = blGlass;
    cylinder.inactivePosColor = 0x808080;
    cylinder.invertInactPos = true;
    t = BuildColorTables(cylinder, g);
    EXPECT_EQ(t.columns[10], ShadeColumn(0x00FF00, 12, blGlass));
    EXPECT_EQ(t.inactive[0], 0x4F4F4Fu); // lightness 240 - 165
    EXPECT_EQ(t.inactive[3], 0x292929u); // 202 reads back as 201 from the shaded colour

    // Degenerate sizes still give one column and one inactive colour.
    t = BuildColorTables(flat, MakeGeometry(boHorizontal, 4, 4, 2));
    EXPECT_EQ(t.columns.size(), 1u);
    EXPECT_EQ(t.inactive.size(), 1u);
}

std::set<int> BlockIndexes(const std::vector<BlockEntry>& map) {
    std::set<int> in;
    for (int i = 0; i < int(map.size()); ++i)
        if (map[i].inBlock) in.insert(i);
    return in;
}

std::set<int> Range(int from, int to) {
    std::set<int> r;
    for (int i = from; i <= to; ++i) r.insert(i);
    return r;
}

TEST(ProgressBlocks, VerticalBlocksGrowFromTheBottom) {
    Geometry g = MakeGeometry(boVertical, 16, 64, 2); // length 60
    std::vector<BlockEntry> map = BuildBlockMap(boVertical, g, 5, 2);
    ASSERT_EQ(map.size(), 61u);
    std::set<int> expected;
    for (int s = 57; s >= 8; s -= 7) expected.merge(Range(s - 4, s));
    EXPECT_EQ(BlockIndexes(map), expected);
    EXPECT_EQ(map[57].blockEnd, 53);
    EXPECT_EQ(map[53].blockEnd, 53);
    EXPECT_EQ(map[50].blockEnd, 46);
    EXPECT_FALSE(map[60].inBlock);
}

// Pixel sink for the painter: colour per (x, y).
using Pixels = std::map<std::pair<int, int>, TColor>;

Pixels Paint(const PaintInput& input) {
    Pixels pixels;
    PaintBarPixels(input, [&](int x, int y, TColor c) { pixels[{x, y}] = c; });
    return pixels;
}

struct Bar {
    PaintInput input;
    ColorTables tables;
    std::vector<BlockEntry> map;
    Bar(TQBarOrientation orientation, int w, int h, ColorSettings colors = {}) {
        input.orientation = orientation;
        input.width = w;
        input.height = h;
        input.geometry = MakeGeometry(orientation, w, h, BorderFor(orientation, w, h));
        tables = BuildColorTables(colors, input.geometry);
        input.tables = &tables;
    }
};

TEST(ProgressPaint, StaleSizesPaintNothingOutsideTheTables) {
    Bar bar(boHorizontal, 64, 16, {});
    bar.input.width = 200; // the widget grew, the tables did not yet
    bar.input.height = 40;
    bar.input.filled = 150;
    bar.input.showInactivePos = true;
    Pixels p = Paint(bar.input);
    for (const auto& [xy, c] : p) {
        EXPECT_LE(xy.first, 60);
        EXPECT_LT(xy.second, 13);
    }
}

} // namespace
