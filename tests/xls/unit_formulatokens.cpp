#include "SrcXLS/formulas/TokenRewriting.h"

#include <gtest/gtest.h>

using namespace xls;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr auto BIFF8 = TExcelVersion::xvExcel97;
constexpr auto BIFF5 = TExcelVersion::xvExcel50;

Bytes Convert(const Bytes& tokens, TExcelVersion version, int col, int row, const Bytes& extra = {}) {
    auto out = SharedFormulaToCell(tokens, extra, version, col, row);
    return out ? *out : Bytes{0xEE};
}

} // namespace

TEST(SharedFormulaTokens, Biff8RelativeReferencesPointFromTheCell) {
    // =A(row-1) + $B$3 + SUM(C(row):D(row+1)) at C10 (col 2, row 9):
    // tRefN row -1 col -2 (both relative), tRefN absolute B3, tAdd,
    // tAreaN rows 0..+1 (relative), cols C..D absolute, tFuncVar SUM, tAdd.
    Bytes shared = {0x2C, 0xFF, 0xFF, 0xFE, 0xC0,                                                 //
                    0x2C, 0x02, 0x00, 0x01, 0x00,                                                 //
                    0x03,                                                                         //
                    0x2D, 0x00, 0x00, 0x01, 0x00, 0x02, 0x80, 0x03, 0x80, 0x22, 0x01, 0x04, 0x00, //
                    0x03};
    Bytes want = {0x24, 0x08, 0x00, 0x00, 0xC0,                                                 //
                  0x24, 0x02, 0x00, 0x01, 0x00,                                                 //
                  0x03,                                                                         //
                  0x25, 0x09, 0x00, 0x0A, 0x00, 0x02, 0x80, 0x03, 0x80, 0x22, 0x01, 0x04, 0x00, //
                  0x03};
    EXPECT_EQ(Convert(shared, BIFF8, 2, 9), want);

    // Value and array classes keep their class; columns wrap at 256 like
    // the row at 65536.
    EXPECT_EQ(Convert({0x4C, 0x01, 0x00, 0x01, 0xC0}, BIFF8, 255, 65535),
              Bytes({0x44, 0x00, 0x00, 0x00, 0xC0}));
    EXPECT_EQ(Convert({0x6D, 0, 0, 0, 0, 0, 0xC0, 0, 0xC0}, BIFF8, 4, 7),
              Bytes({0x65, 7, 0, 7, 0, 4, 0xC0, 4, 0xC0}));
    // A 3-D reference keeps its sheet index; its relative parts move.
    EXPECT_EQ(Convert({0x3A, 0x02, 0x00, 0x01, 0x00, 0x01, 0xC0}, BIFF8, 3, 3),
              Bytes({0x3A, 0x02, 0x00, 0x04, 0x00, 0x04, 0xC0}));
}

TEST(SharedFormulaTokens, Biff5FlagsSitInTheRowField) {
    // tRefN row +2 (relative), col -1 (relative) at B5; tAreaN absolute
    // rows, relative columns 0..+1.
    Bytes shared = {0x2C, 0x02, 0xC0, 0xFF, 0x2D, 0x00, 0x40, 0x04, 0x40, 0x00, 0x01, 0x03};
    EXPECT_EQ(Convert(shared, BIFF5, 1, 4),
              Bytes({0x24, 0x06, 0xC0, 0x00, 0x25, 0x00, 0x40, 0x04, 0x40, 0x01, 0x02, 0x03}));
    // A negative 14-bit row offset.
    EXPECT_EQ(Convert({0x2C, 0xFF, 0xBF, 0x00}, BIFF5, 0, 10), Bytes({0x24, 0x09, 0x80, 0x00}));
    // BIFF5 token sizes: tName has 14 bytes, tRef3d 17 (the reference at
    // its end).
    Bytes name(15, 0);
    name[0] = 0x23;
    EXPECT_EQ(Convert(name, BIFF5, 0, 0), name);
    Bytes ref3d(18, 0);
    ref3d[0] = 0x3A;
    ref3d[15] = 0x01, ref3d[16] = 0x80; // row +1, relative
    Bytes moved = ref3d;
    moved[15] = 0x06;
    EXPECT_EQ(Convert(ref3d, BIFF5, 0, 5), moved);
}

TEST(SharedFormulaTokens, TokensThatCannotBeWalkedGiveNothing) {
    // Strings, attribute jump tables and constants are stepped over whole.
    Bytes walked = {0x17, 0x02, 0x01, 'a',  0,    'b',  0,          // wide tStr
                    0x19, 0x04, 0x01, 0x00, 0x04, 0x00, 0x08, 0x00, // tAttrChoose, 2 offsets
                    0x1F, 0,    0,    0,    0,    0,    0,    0xF0, 0x3F,
                    0x1E, 0x01, 0x00, 0x1D, 0x01, 0x1C, 0x07, 0x15};
    EXPECT_EQ(Convert(walked, BIFF8, 0, 0), walked);
    EXPECT_EQ(Convert({0x17, 0x02, 'a', 'b'}, BIFF5, 0, 0), Bytes({0x17, 0x02, 'a', 'b'}));
    // An array constant takes its values from after the shared tokens;
    // without one they stay behind.
    Bytes values = {0x00, 0x00, 0x01, 0x12, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes array = {0x60, 0, 0, 0, 0, 0, 0, 0, 0x42, 0x01, 0x13, 0x00};
    Bytes withValues = array;
    withValues.insert(withValues.end(), values.begin(), values.end());
    EXPECT_EQ(Convert(array, BIFF8, 0, 0, values), withValues);
    EXPECT_EQ(Convert({0x1E, 0x01, 0x00}, BIFF8, 0, 0, values), Bytes({0x1E, 0x01, 0x00}));

    Bytes none{0xEE};
    EXPECT_EQ(Convert({0x26, 0, 0, 0, 0, 0, 0}, BIFF8, 0, 0), none); // memory area
    EXPECT_EQ(Convert({0x18, 0x01}, BIFF8, 0, 0), none);             // unknown token
    EXPECT_EQ(Convert({0x2C, 0x01, 0x00, 0x01}, BIFF8, 0, 0), none); // cut short
    EXPECT_EQ(Convert({0x17, 0x05, 0x00, 'a'}, BIFF8, 0, 0), none);  // string past the end
    EXPECT_EQ(Convert({0x19, 0x04, 0xFF, 0xFF}, BIFF8, 0, 0), none); // jump table past the end
    EXPECT_EQ(Convert({0x1E, 0x01, 0x00}, TExcelVersion::xvExcel40, 0, 0), none);
    EXPECT_EQ(Convert({}, BIFF8, 0, 0), Bytes{});
}

namespace {
Bytes Adjusted(Bytes tokens, bool biff8, bool all, bool firstRowFixed, int rows, int cols) {
    AdjustCell(biff8, tokens, all, firstRowFixed, rows, cols);
    return tokens;
}
} // namespace

TEST(AdjustCellTokens, ReferencesMoveWithTheirCell) {
    struct Case {
        Bytes Tokens;
        bool Biff8, All, FirstRowFixed;
        int Rows, Cols;
        Bytes Want;
    };
    const Case cases[] = {
        // Relative A1 by (1, 1) is B2; absolute $A$1 stays unless all move.
        {{0x44, 0, 0, 0, 0xC0}, true, false, false, 1, 1, {0x44, 1, 0, 1, 0xC0}},
        {{0x44, 0, 0, 0, 0x00}, true, false, false, 1, 1, {0x44, 0, 0, 0, 0x00}},
        {{0x44, 0, 0, 0, 0x00}, true, true, false, 1, 1, {0x44, 1, 0, 1, 0x00}},
        // Off the sheet: the error token of the same class, data kept.
        {{0x44, 0, 0, 0, 0xC0}, true, false, false, -1, 0, {0x4A, 0, 0, 0, 0xC0}},
        {{0x25, 0, 0, 4, 0, 0, 0xC0, 0, 0xC0},
         true,
         false,
         false,
         0,
         256,
         {0x2B, 0, 0, 4, 0, 0, 0xC0, 0, 0xC0}},
        {{0x3A, 1, 0, 0xFF, 0xFF, 0, 0xC0}, true, false, false, 1, 0, {0x3C, 1, 0, 0xFF, 0xFF, 0, 0xC0}},
        // The first row fixed: A1:A5 by 2 rows is A1:A7.
        {{0x25, 0, 0, 4, 0, 0, 0xC0, 0, 0xC0}, true, false, true, 2, 0, {0x25, 0, 0, 6, 0, 0, 0xC0, 0, 0xC0}},
        // BIFF5: flags in the row word, 14-bit rows.
        {{0x44, 0, 0xC0, 3}, false, false, false, 2, 1, {0x44, 2, 0xC0, 4}},
        {{0x44, 0xFF, 0xFF, 3}, false, false, false, 1, 0, {0x4A, 0xFF, 0xFF, 3}},
        // The 2007 layout after its marker; its error tokens keep 6 bytes.
        {{0xFE, 0x44, 0xFF, 0xFF, 0x0F, 0x00, 0, 0},
         true,
         false,
         false,
         1,
         0,
         {0xFE, 0x4A, 0xFF, 0xFF, 0x0F, 0x00, 0, 0}},
        {{0xFE, 0x2A, 0, 0, 0, 0, 0, 0, 0x1E, 1, 0},
         true,
         false,
         false,
         5,
         5,
         {0xFE, 0x2A, 0, 0, 0, 0, 0, 0, 0x1E, 1, 0}},
        {{0xFE, 0x24, 9, 0, 0, 0x80, 2, 0x00},
         true,
         false,
         false,
         1,
         1,
         {0xFE, 0x24, 9, 0, 0, 0x80, 3, 0x00}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Adjusted(c.Tokens, c.Biff8, c.All, c.FirstRowFixed, c.Rows, c.Cols), c.Want)
            << int(c.Tokens[0]);
}

TEST(AdjustCellTokens, AStreamThatCannotBeWalkedIsLeftAlone) {
    Bytes tokens = {0x44, 0, 0, 0, 0xC0, 0x30};
    const Bytes before = tokens;
    try {
        AdjustCell(true, tokens, false, false, 1, 1);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Unknown ptg[30] in AdjustCell");
    }
    EXPECT_EQ(tokens, before);
}

TEST(Shared2007Tokens, MembersShiftAndConvertToBIFF8) {
    Bytes tokens = {0xFE, 0x44, 1, 0, 0, 0, 1, 0x80, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0};
    Shift2007SharedFormula(tokens, 2, 3);
    // Relative parts move, on other sheets too; an absolute column stays.
    EXPECT_EQ(tokens, Bytes({0xFE, 0x44, 4, 0, 0, 0, 1, 0x80, 0x3A, 0, 0, 3, 0, 0, 0, 2, 0}));
    Bytes up = {0xFE, 0x44, 1, 0, 0, 0, 1, 0x00};
    Shift2007SharedFormula(up, 0, -2);
    EXPECT_EQ(up[1], 0x4A);
    Bytes relative = {0xFE, 0x4C, 0, 0, 0, 0, 0, 0};
    try {
        Shift2007SharedFormula(relative, 1, 1);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Illegal ptg[4C] in Shared 2007 Formula");
    }
    Bytes unknown = {0xFE, 0x30};
    EXPECT_THROW(Shift2007SharedFormula(unknown, 1, 1), XLSError);

    // To BIFF8: flags turn round, the marker goes, array data stays behind.
    const Bytes x = {0xFE, 0x44, 2, 0,    0, 0x80, 1,    0x00, 0x3B, 3, 0, 0, 0, 0, 0,    9,    0,
                     0,    0,    0, 0x80, 1, 0x80, 0x60, 0,    0,    0, 0, 0, 0, 0, 0x03, 0xAA, 0xBB};
    size_t length = 0;
    auto biff8 = Tokens2007ToBIFF8(x, x.size() - 2, length);
    ASSERT_TRUE(biff8);
    EXPECT_EQ(*biff8, Bytes({0x44, 2,    0,    1, 0x40, 0x3B, 3, 0, 0, 0, 9,    0,    0,   0x80,
                             1,    0x80, 0x60, 0, 0,    0,    0, 0, 0, 0, 0x03, 0xAA, 0xBB}));
    EXPECT_EQ(length, biff8->size() - 2);
    EXPECT_FALSE(Tokens2007ToBIFF8(Bytes{0xFE, 0x44, 0, 0, 1, 0, 0, 0}, 8, length)); // row 65537
    EXPECT_FALSE(Tokens2007ToBIFF8(Bytes{0xFE, 0x44, 0, 0, 0, 0, 0, 1}, 8, length)); // column 257
}
