// Checksums, error codes, formula values and RK numbers.
#include "SrcXLS/XLSChecksum.h"
#include "SrcXLS/XLSValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace xls;

TEST(Checksum, CrcIsThePublishedValueWithoutFinalInversion) {
    EXPECT_EQ(Crc32OfBytes("abc", 3), 0xCADBBE3Du);
    EXPECT_EQ(~Crc32OfBytes("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32OfBytes("", 0), 0xFFFFFFFFu);
    EXPECT_EQ(Crc32OfWideString(u""), 0xFFFFFFFFu);
    // Characters up to 255 fold one byte, so a Latin-1 text hashes like its bytes.
    EXPECT_EQ(Crc32OfWideString(u"abc\u00e9"), Crc32OfBytes("abc\xe9", 4));
    // Wider characters fold the high byte first.
    EXPECT_EQ(Crc32OfWideString(u"\u0416"), Crc32OfBytes("\x04\x16", 2));
}

// Long inputs are folded eight bytes at a time: every length, start offset
// and continuation must give what one byte at a time gives.
TEST(Checksum, LongInputsMatchTheBytewiseRegister) {
    const char* fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(~Crc32OfBytes(fox, std::strlen(fox)), 0x414FA339u);
    std::mt19937 gen(7);
    std::vector<uint8_t> data(300);
    for (auto& b : data) b = uint8_t(gen());
    const uint32_t* table = Crc32Table();
    for (size_t start = 0; start < 9; ++start)
        for (size_t n = 0; start + n <= data.size(); n += 1 + n / 16) {
            uint32_t bytewise = 0xFFFFFFFFu;
            for (size_t i = start; i < start + n; ++i)
                bytewise = table[(bytewise ^ data[i]) & 0xFF] ^ (bytewise >> 8);
            ASSERT_EQ(Crc32OfBytes(data.data() + start, n), bytewise) << start << " " << n;
            const size_t half = n / 3;
            ASSERT_EQ(
                Crc32Update(Crc32OfBytes(data.data() + start, half), data.data() + start + half, n - half),
                bytewise);
        }
}

TEST(Checksum, Hash16RotatesAndXors) {
    EXPECT_EQ(Hash16OfBytes("", 0), 0);
    uint8_t b[2] = {1, 2};
    EXPECT_EQ(Hash16OfBytes(b, 2), (1 << 5) ^ 2);
    std::vector<uint8_t> many(40, 0xFF);
    uint16_t h = 0;
    for (uint8_t x : many) h = uint16_t(((h << 5) | (h >> 11)) ^ x);
    EXPECT_EQ(Hash16OfBytes(many.data(), many.size()), h);
}

TEST(ErrorCodes, TablesAndConversions) {
    EXPECT_EQ(ErrorCodeToText(0x2A), u"N/A");
    EXPECT_EQ(ErrorCodeToText(0x07), u"#DIV/0!");
    EXPECT_EQ(ErrorCodeToText(0x99), u"#???");
    EXPECT_EQ(ErrorTextToIndex(u"#N/A", true), 7);
    EXPECT_EQ(ErrorTextToIndex(u"#N/A", false), 0);
    EXPECT_EQ(ErrorTextToIndex(u"N/A", false), 7);
    EXPECT_EQ(ErrorTextToIndex(u"#ref!", true), 0);
    const uint8_t codes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(ErrorIndexToCode(i), codes[i - 1]);
        EXPECT_EQ(ErrorCodeToIndex(codes[i - 1]), i);
    }
    EXPECT_EQ(ErrorIndexToCode(0), 0x2A);
    EXPECT_EQ(ErrorIndexToCode(9), 0x2A);
    EXPECT_EQ(ErrorCodeToIndex(0x01), 0);
}

TEST(FormulaValues, CompareByKind) {
    TFormulaValue a, b;
    double r = 99;
    SetFormulaValueFloat(a, 0.5);
    SetFormulaValueFloat(b, 0.2);
    ASSERT_TRUE(CompareFormulaValues(a, b, r));
    EXPECT_GT(r, 0); // a fraction of a difference still orders them
    SetFormulaValueString(a, u"abc");
    SetFormulaValueString(b, u"ABC");
    ASSERT_TRUE(CompareFormulaValues(a, b, r));
    EXPECT_EQ(r, 0);
    SetFormulaValueString(b, u"abd");
    ASSERT_TRUE(CompareFormulaValues(a, b, r));
    EXPECT_LT(r, 0);
    SetFormulaValueBoolean(a, true);
    SetFormulaValueBoolean(b, true);
    ASSERT_TRUE(CompareFormulaValues(a, b, r));
    EXPECT_EQ(r, 1);
    SetFormulaValueError(b, 3);
    EXPECT_FALSE(CompareFormulaValues(a, b, r));
    SetFormulaValueError(a, 3);
    EXPECT_FALSE(CompareFormulaValues(a, b, r));
    r = 42;
    SetFormulaValueEmpty(a);
    SetFormulaValueEmpty(b);
    EXPECT_TRUE(CompareFormulaValues(a, b, r));
    EXPECT_EQ(r, 42);
    SetFormulaValueRef(a, 1, 1);
    SetFormulaValueRef(b, 1, 1);
    EXPECT_THROW(CompareFormulaValues(a, b, r), XLSError);
}

TEST(FormulaValues, AreasKeepRowsOf2007Sheets) {
    TFormulaValue v;
    SetFormulaValueArea(v, 2, 3, 4, 7);
    EXPECT_EQ(FormulaValueCellCount(v), 15);
    SetFormulaValueXArea(v, 0, 0, 16383, 1048575, 2);
    EXPECT_EQ(v.Row2, 1048575u);
    EXPECT_EQ(FormulaValueCellCount(v), int64_t(16384) * 1048576);
    SetFormulaValueXRef(v, 3, 900000, 1);
    EXPECT_EQ(v.Row1, 900000u);
    EXPECT_EQ(FormulaValueCellCount(v), 1);
    EXPECT_EQ(FormulaValueAsString(v), u"");
}

namespace {
uint64_t Bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}
} // namespace

TEST(RK, DecodesTheFourForms) {
    EXPECT_EQ(DecodeRK(0x3FF00000), 1.0);
    EXPECT_EQ(DecodeRK(0x3FF00001), 0.01);
    EXPECT_EQ(DecodeRK(0x00000196), 101.0);
    EXPECT_EQ(DecodeRK(0x00000197), 1.01);
    EXPECT_EQ(DecodeRK(0xFFFFFFFE), -1.0);
}

TEST(RK, EncodesOnlyWhatDecodesToTheSameDouble) {
    uint32_t rk = 0;
    ASSERT_TRUE(EncodeRK(1.0, rk));
    EXPECT_EQ(rk, 0x3FF00000u);
    ASSERT_TRUE(EncodeRK(101.0, rk));
    EXPECT_EQ(DecodeRK(rk), 101.0);
    ASSERT_TRUE(EncodeRK(1234.56, rk));
    EXPECT_EQ(rk & 1, 1u);
    EXPECT_EQ(DecodeRK(rk), 1234.56);
    ASSERT_TRUE(EncodeRK(-536870912.0, rk));
    EXPECT_EQ(DecodeRK(rk), -536870912.0);
    ASSERT_TRUE(EncodeRK(-0.0, rk));
    EXPECT_TRUE(std::signbit(DecodeRK(rk)));
    // x 100 gives a whole number, but dividing back does not restore the value.
    EXPECT_FALSE(EncodeRK(3.3000000000000003, rk));
    EXPECT_FALSE(EncodeRK(0.1 + 0.2, rk));
    EXPECT_FALSE(EncodeRK(std::nan(""), rk));
    EXPECT_FALSE(EncodeRK(1e300 * 10, rk));

    std::mt19937_64 gen(7);
    std::uniform_int_distribution<int> cents(-100000000, 100000000);
    int encoded = 0;
    for (int i = 0; i < 20000; ++i) {
        double v = cents(gen) / 100.0;
        if (EncodeRK(v, rk)) {
            ++encoded;
            ASSERT_EQ(Bits(DecodeRK(rk)), Bits(v)) << v;
        }
    }
    EXPECT_GT(encoded, 15000); // money values mostly have an RK form
}
