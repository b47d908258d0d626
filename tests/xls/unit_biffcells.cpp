#include "SrcXLS/formats/BIFFCellRecords.h"

#include "support_biffbuild.h"
#include "support_messages.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace xls;

namespace {

using biffbuild::Body;
using Bytes = std::vector<uint8_t>;

// Row, column and format: the start of every cell record.
Body Cell(uint16_t row, uint16_t col, uint16_t xf) {
    return Body().U16(row).U16(col).U16(xf);
}

std::vector<TReadCell> Decode(uint16_t id, const Bytes& body, TFileText text = {}) {
    std::vector<TReadCell> out;
    DecodeValueCells(id, body, text, out);
    return out;
}

} // namespace

TEST(BIFFCells, MulRKGivesOneCellPerEntryWithItsOwnFormat) {
    Body b;
    b.U16(7).U16(2);
    uint32_t rks[3] = {(1u << 2) | 2, ((uint32_t(0x3FF00000) >> 2) << 2), (150u << 2) | 3};
    for (int i = 0; i < 3; ++i) b.U16(uint16_t(20 + i)).U32(rks[i]);
    auto cells = Decode(biff::MULRK, b.U16(4).b);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].Col, 2);
    EXPECT_EQ(cells[2].Col, 4);
    EXPECT_EQ(cells[1].Row, 7u);
    EXPECT_EQ(cells[0].Format, 20);
    EXPECT_EQ(cells[2].Format, 22);
    EXPECT_EQ(cells[0].Number, 1.0);
    EXPECT_EQ(cells[2].Number, 1.5);

    auto bl = Decode(biff::MULBLANK, Body().U16(1).U16(250).U16(15).U16(16).U16(251).b);
    ASSERT_EQ(bl.size(), 2u);
    EXPECT_EQ(bl[1].Kind, TReadCellKind::Blank);
    EXPECT_EQ(bl[1].Col, 251);
    EXPECT_EQ(bl[1].Format, 16);

    EXPECT_NE(MessageOf([] { Decode(biff::MULRK, Bytes{1, 0, 2}); }), "(no exception)");
}

TEST(BIFFCells, LabelsByVersion) {
    auto c8 = Decode(biff::LABEL, Cell(0, 1, 15).U16(2).Raw({0x01, 0x16, 0x04, 'a', 0}).b);
    ASSERT_EQ(c8.size(), 1u);
    EXPECT_EQ(c8[0].Text, u"Жa");

    // Below BIFF8 there is no flag byte: a first character 0x01 is text.
    auto c5 = Decode(biff::LABEL, Cell(0, 1, 15).U16(3).Raw({0x01, 0xC6, 0xE0}).b,
                     {TExcelVersion::xvExcel50, 1251});
    EXPECT_EQ(c5[0].Text, u"\u0001Жа");

    EXPECT_EQ(Decode(biff::RSTRING, Cell(3, 0, 21).U16(2).Raw({0x00, 'o', 'k', 1, 0, 0, 0}).b)[0].Text,
              u"ok");

    // BIFF2: the XF index is the low six bits of the first attribute byte.
    Bytes label2 = {4, 0, 2, 0, 0x45, 0, 0, 3, 0xCF, 0xE8, 0xE2};
    auto c2 = Decode(biff::LABEL2, label2, {TExcelVersion::xvExcel21, 1251});
    EXPECT_EQ(c2[0].Row, 4u);
    EXPECT_EQ(c2[0].Col, 2);
    EXPECT_EQ(c2[0].Format, 5);
    EXPECT_EQ(c2[0].Text, u"Пив");

    // A UTF-16 count of 60000 in a short record is refused.
    Bytes longLabel = Cell(0, 0, 15).U16(60000).Raw({0x01, 'a', 0}).b;
    EXPECT_NE(MessageOf([&] { Decode(biff::LABEL, longLabel); }).find("Record too short"), std::string::npos);
}

TEST(BIFFCells, Biff2ValueRecordsIncludingBlankAndBoolErr) {
    Bytes integer = {1, 0, 3, 0, 0, 0, 0, 0x39, 0x30};
    EXPECT_EQ(Decode(biff::INTEGER2, integer)[0].Number, 12345.0);
    Bytes number = Body().Raw({1, 0, 3, 0, 0, 0, 0}).F64(-2.25).b;
    EXPECT_EQ(Decode(biff::NUMBER2, number)[0].Number, -2.25);
    Bytes boolean = {0, 0, 0, 0, 0, 0, 0, 1, 0};
    auto b = Decode(biff::BOOLERR2, boolean);
    EXPECT_EQ(b[0].Kind, TReadCellKind::Boolean);
    EXPECT_EQ(b[0].Code, 1);
    Bytes error = {0, 0, 0, 0, 0, 0, 0, 0x07, 1};
    auto e = Decode(biff::BOOLERR2, error);
    EXPECT_EQ(e[0].Kind, TReadCellKind::Error);
    EXPECT_EQ(e[0].Code, 0x07);
    Bytes blank = {9, 0, 8, 0, 0, 0, 0};
    EXPECT_EQ(Decode(biff::BLANK2, blank)[0].Kind, TReadCellKind::Blank);
}

TEST(BIFFCells, FixedCellRecordsRefuseShortBodies) {
    for (uint16_t id : {biff::NUMBER, biff::RK, biff::BOOLERR, biff::LABELSST, biff::BLANK, biff::LABEL}) {
        Bytes cut = Cell(1, 1, 15).b;
        cut.pop_back();
        EXPECT_NE(MessageOf([&] { Decode(id, cut); }), "(no exception)") << std::hex << id;
    }
    auto s = Decode(biff::LABELSST, Cell(2, 3, 17).U32(99).b);
    EXPECT_EQ(s[0].Kind, TReadCellKind::SharedText);
    EXPECT_EQ(s[0].SSTIndex, 99u);
    EXPECT_EQ(s[0].Format, 17);
}

TEST(BIFFCells, FormulaResults) {
    auto result = [](std::initializer_list<uint8_t> b) {
        std::array<uint8_t, 8> a{};
        std::copy(b.begin(), b.end(), a.begin());
        return DecodeCachedResult(std::span<const uint8_t, 8>(a));
    };
    EXPECT_EQ(result({0, 0, 0, 0, 0, 0, 0xFF, 0xFF}).Kind, TCachedResultKind::String);
    auto b = result({1, 0, 1, 0, 0, 0, 0xFF, 0xFF});
    EXPECT_EQ(b.Kind, TCachedResultKind::Boolean);
    EXPECT_EQ(b.Value, 1);
    auto e = result({2, 0, 0x2A, 0, 0, 0, 0xFF, 0xFF});
    EXPECT_EQ(e.Kind, TCachedResultKind::Error);
    EXPECT_EQ(e.Value, 0x2A);
    EXPECT_EQ(result({3, 0, 0, 0, 0, 0, 0xFF, 0xFF}).Kind, TCachedResultKind::EmptyString);
    EXPECT_EQ(result({9, 0, 0, 0, 0, 0, 0xFF, 0xFF}).Kind, TCachedResultKind::Unknown);
    auto n = result({0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
    EXPECT_EQ(n.Kind, TCachedResultKind::Number);
    EXPECT_EQ(n.Number, 1.0);
}

TEST(BIFFCells, FormulaLayoutsAndTokenLengths) {
    EXPECT_EQ(FormulaLayout(biff::FORMULA, TExcelVersion::xvExcel21, 0), TFormulaLayout::BIFF2);
    EXPECT_EQ(FormulaLayout(biff::FORMULA, TExcelVersion::xvExcel97, 6), TFormulaLayout::BIFF5);
    EXPECT_EQ(FormulaLayout(biff::FORMULA4, TExcelVersion::xvExcel40, 0), TFormulaLayout::BIFF3);
    EXPECT_EQ(FormulaLayout(biff::FORMULA3, TExcelVersion::xvExcel97, 6), TFormulaLayout::BIFF5);

    Bytes f8 = Cell(4, 5, 21).F64(3.5).U16(0x0008).U32(0).U16(3).Raw({0x1E, 0x02, 0x00, 0xAA}).b;
    auto r8 = DecodeFormula(f8, TFormulaLayout::BIFF5);
    EXPECT_EQ(r8.Row, 4u);
    EXPECT_EQ(r8.Col, 5);
    EXPECT_EQ(r8.Format, 21);
    EXPECT_EQ(r8.Options, 0x0008);
    EXPECT_EQ(r8.Cce, 3);
    EXPECT_EQ(r8.Data.size(), 4u);
    EXPECT_EQ(DecodeCachedResult(std::span<const uint8_t, 8>(r8.Result)).Number, 3.5);

    Bytes f3 = Cell(1, 1, 15).F64(0).U16(0).U16(1).U8(0x03).b;
    EXPECT_EQ(DecodeFormula(f3, TFormulaLayout::BIFF3).Cce, 1);

    Bytes f2 = Body().Raw({2, 0, 1, 0, 0x4A, 0, 0}).F64(0).Raw({0, 2, 0x1E, 0x01}).b;
    auto r2 = DecodeFormula(f2, TFormulaLayout::BIFF2);
    EXPECT_EQ(r2.Cce, 2);
    EXPECT_EQ(r2.Format, 10);

    // A token length beyond the record, or a record cut inside its fixed
    // part, is refused.
    Bytes over = f8;
    over[20] = 50;
    EXPECT_NE(MessageOf([&] { DecodeFormula(over, TFormulaLayout::BIFF5); }), "(no exception)");
    Bytes cut(f8.begin(), f8.begin() + 18);
    EXPECT_NE(MessageOf([&] { DecodeFormula(cut, TFormulaLayout::BIFF5); }), "(no exception)");
}

TEST(BIFFCells, SharedFormulaAndStringRecords) {
    Bytes shr = Body().Raw({1, 0, 3, 0, 2, 4, 0, 3}).U16(2).Raw({0x4C, 0x00, 0xEE, 0xEE}).b;
    auto s = DecodeSharedFormula(shr);
    EXPECT_TRUE(s.Range.Contains(2, 1));
    EXPECT_TRUE(s.Range.Contains(4, 3));
    EXPECT_FALSE(s.Range.Contains(5, 3));
    EXPECT_FALSE(s.Range.Contains(2, 4));
    EXPECT_EQ(s.Tokens.size(), 2u);
    // A token length larger than the record.
    Bytes bad = shr;
    bad[8] = 40;
    EXPECT_NE(MessageOf([&] { DecodeSharedFormula(bad); }), "(no exception)");

    Bytes str8 = {2, 0, 1, 0x16, 0x04, 'x', 0};
    EXPECT_EQ(DecodeFormulaString(biff::STRING, str8, {}), u"Жx");
    Bytes str5 = {2, 0, 0xC6, 'x'};
    EXPECT_EQ(DecodeFormulaString(biff::STRING, str5, {TExcelVersion::xvExcel50, 1251}), u"Жx");
    Bytes str2 = {1, 0xC6};
    EXPECT_EQ(DecodeFormulaString(biff::STRING2, str2, {TExcelVersion::xvExcel21, 1251}), u"Ж");
}
