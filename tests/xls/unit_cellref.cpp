// Cell-reference text in both directions and the area helpers.
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace xls;

using CellRef = FreshLibState;

TEST_F(CellRef, LettersBothWays) {
    struct {
        int col, row;
        const char16_t* text;
    } cases[] = {{0, 0, u"A1"},     {25, 9, u"Z10"},          {26, 0, u"AA1"},
                 {675, 0, u"YZ1"},  {676, 0, u"ZA1"},         {701, 0, u"ZZ1"},
                 {702, 0, u"AAA1"}, {255, 65535, u"IV65536"}, {16383, 1048575, u"XFD1048576"}};
    for (const auto& c : cases) {
        EXPECT_EQ(ColRowToRefStrEx(c.col, c.row, false, false), c.text);
        int col = -5, row = -5;
        bool ac = true, ar = true;
        ASSERT_TRUE(RefStrToColRowEx(c.text, col, row, ac, ar)) << std::string(c.text, c.text + 3);
        EXPECT_EQ(col, c.col);
        EXPECT_EQ(row, c.row);
        EXPECT_FALSE(ac || ar);
    }
    EXPECT_EQ(ColRowToRefStr(3, 4, true, true), u"$D$5");
    EXPECT_EQ(AreaToRefStrEx(0, 0, 2, 1, false, true, true, false), u"A$1:$C2");
}

TEST_F(CellRef, AbsoluteMarksAndTheTwoHundredFiftySixColumnParser) {
    // RefStrToColRow knows columns up to IV only, never silently IV for more.
    struct {
        const char16_t* text;
        bool ex, old;
        int col, row;
        bool ac, ar;
    } cases[] = {{u"A$10", true, true, 0, 9, false, true},  {u"$A10", true, true, 0, 9, true, false},
                 {u"$B$3", true, true, 1, 2, true, true},   {u"IV1", true, true, 255, 0, false, false},
                 {u"IW1", true, false, 0, 0, false, false}, {u"JA1", true, false, 0, 0, false, false},
                 {u"AAA1", true, false, 0, 0, false, false}};
    for (const auto& c : cases) {
        for (bool old : {false, true}) {
            int col = -1, row = -1;
            bool ac = false, ar = false;
            bool ok =
                old ? RefStrToColRow(c.text, col, row, ac, ar) : RefStrToColRowEx(c.text, col, row, ac, ar);
            ASSERT_EQ(ok, old ? c.old : c.ex) << std::string(c.text, c.text + 3) << old;
            if (ok && c.old) {
                EXPECT_EQ(std::tie(col, row, ac, ar), std::tie(c.col, c.row, c.ac, c.ar));
            }
        }
    }
    int col, row;
    EXPECT_FALSE(RefStrToColRowPlain(u"$A10", col, row));
}

TEST_F(CellRef, MalformedReferencesFail) {
    int col, row;
    bool ac, ar;
    for (const char16_t* bad : {u"", u"$10", u"A", u"A0", u"10", u"$", u"A$", u"1A", u"a1", u"A1B",
                                u"Sheet!A1", u"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA1", u"A99999999999999999999"}) {
        EXPECT_FALSE(RefStrToColRowEx(bad, col, row, ac, ar));
        EXPECT_FALSE(RefStrToColRow(bad, col, row, ac, ar));
    }
    EXPECT_FALSE(RefStrToColRowPlain(u"XFE1", col, row));
    EXPECT_FALSE(RefStrToColRowPlain(u"A1048577", col, row));
    LibState().SetLimits(TExcelVersion::xvExcel97);
    EXPECT_FALSE(RefStrToColRowPlain(u"IW1", col, row));
    EXPECT_FALSE(RefStrToColRowPlain(u"A65537", col, row));
    EXPECT_TRUE(RefStrToColRowPlain(u"IV65536", col, row));
}

TEST_F(CellRef, Areas) {
    int c1, r1, c2, r2;
    TRefFlags f1, f2;
    ASSERT_TRUE(AreaStrToColRow(u"'My sheet'!$A1:C$7", c1, r1, c2, r2, f1, f2));
    EXPECT_EQ(c1, 0);
    EXPECT_EQ(r2, 6);
    EXPECT_TRUE(f1.AbsCol && !f1.AbsRow && !f2.AbsCol && f2.AbsRow);
    EXPECT_FALSE(AreaStrToColRowSimple(u"A1", c1, r1, c2, r2));
    ASSERT_TRUE(AreaStrToColRowPlain(u"B2:XFD1048576", c1, r1, c2, r2));
    EXPECT_EQ(c2, 16383);
    EXPECT_FALSE(AreaStrToColRowPlain(u"B2:C", c1, r1, c2, r2));

    c1 = 5, r1 = 9, c2 = 2, r2 = 3;
    OrderArea(c1, r1, c2, r2);
    EXPECT_EQ(c1, 2);
    EXPECT_EQ(r1, 3);
    EXPECT_EQ(c2, 5);
    EXPECT_EQ(r2, 9);
}

TEST_F(CellRef, ClipFollowsTheActiveLimits) {
    int c1 = -3, r1 = -1, c2 = 20000, r2 = 2000000;
    ASSERT_TRUE(ClipAreaToLimits(c1, r1, c2, r2));
    EXPECT_EQ(c1, 0);
    EXPECT_EQ(r1, 0);
    EXPECT_EQ(c2, 16383);
    EXPECT_EQ(r2, 1048575);
    c1 = 300, r1 = 0, c2 = 400, r2 = 5;
    EXPECT_TRUE(ClipAreaToLimits(c1, r1, c2, r2));
    LibState().SetLimits(TExcelVersion::xvExcel97);
    c1 = 300, r1 = 0, c2 = 400, r2 = 5;
    EXPECT_FALSE(ClipAreaToLimits(c1, r1, c2, r2));
    c1 = 0, r1 = 0, c2 = 400, r2 = 70000;
    ASSERT_TRUE(ClipAreaToLimits(c1, r1, c2, r2));
    EXPECT_EQ(c2, 255);
    EXPECT_EQ(r2, 65535);
    c1 = 0, r1 = 0, c2 = -1, r2 = 5;
    EXPECT_FALSE(ClipAreaToLimits(c1, r1, c2, r2));
}
