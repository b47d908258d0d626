#include "SrcXLS/formats/BIFFFormulaTokens.h"

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
