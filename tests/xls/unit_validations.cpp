#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/model/DataValidations.h"

#include "support_biffbuild.h"
#include "support_messages.h"
#include "support_state.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace biffbuild;

namespace {

std::vector<Record> WrittenRecords(const TDataValidations& list) {
    return Records(Written([&](TXLSStream& s) { list.WriteDVal(s); }), true);
}

void ReadBack(const std::vector<Record>& records, TDataValidations& into) {
    size_t next = 1;
    into.ReadDVal(records.at(0).Body, [&](std::vector<uint8_t>& dv) {
        if (next >= records.size() || records[next].Id != dval::DV) return false;
        dv = records[next++].Body;
        return true;
    });
}

struct SemicolonLocale : FreshLibState {
    void SetUp() override {
        FreshLibState::SetUp();
        LibState().Locale.ListSeparator = u';';
        LibState().Locale.DecimalSeparator = u',';
    }
};

} // namespace

TEST_F(SemicolonLocale, ValidationsWrittenAndReadBack) {
    TTabrix4 book;
    book.Sheets().Add(0).SetName(u"Ціни");
    TDataValidations& list = book.GetSheet(0).Validations();
    EXPECT_TRUE(WrittenRecords(list).empty());
    // Only the first expression set: the default option word.
    TDataValidation& number = list.Add();
    number.Areas.AddArea(2, 1, 2, 10);
    number.SetExpression1(u"1,5");
    // An explicit list: its items separated by NUL in the string token.
    TDataValidation& items = list.Add();
    items.Areas.AddArea(0, 0, 0, 5);
    items.SetValidationType(TValidationType::vtList);
    items.SetExpression1(u"\"чай;кава\"");
    // A list from cells of another sheet: no explicit-list bit.
    TDataValidation& cells = list.Add();
    cells.SetValidationType(TValidationType::vtList);
    cells.SetExpression1(u"'Ціни'!$A$1:$A$4");
    EXPECT_EQ(cells.Expression1Tokens[0], 0x3B); // an area of another sheet
    TDataValidation& between = list.Add();
    between.Areas.AddArea(3, 0, 4, 0);
    between.SetValidationType(TValidationType::vtInteger);
    between.SetValidationStyle(TValidationStyle::vsWarning);
    between.SetValidationOperator(TValidationOperator::vopBetween);
    between.SetOptions(voSupressDropDown | voShowErrorBox);
    between.SetExpression1(u"1");
    between.SetExpression2(u"100");
    between.SetInputTitle(u"Кількість");
    between.SetInputMsg(u"Від 1 до 100");

    const auto records = WrittenRecords(list);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].Body, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0}));
    EXPECT_EQ(GetU32(records[1].Body.data()), 0x002C0102u);
    EXPECT_EQ(GetU32(records[2].Body.data()), 0x002C0183u);
    EXPECT_EQ(GetU32(records[3].Body.data()), 0x002C0103u);
    EXPECT_EQ(GetU32(records[4].Body.data()), 0x00080211u);
    // An empty text is a count of 1, flag 0 and one zero byte.
    EXPECT_EQ(Bytes(records[1].Body.begin() + 4, records[1].Body.begin() + 8), (Bytes{1, 0, 0, 0}));
    const Bytes& list8 = records[2].Body;
    const Bytes token = {0x17, 8,    1,    0x47, 0x04, 0x30, 0x04, 0x39, 0x04, 0,
                         0,    0x3A, 0x04, 0x30, 0x04, 0x32, 0x04, 0x30, 0x04};
    EXPECT_NE(std::search(list8.begin(), list8.end(), token.begin(), token.end()), list8.end());

    TDataValidations& back = book.GetSheet(1).Validations();
    ReadBack(records, back);
    ASSERT_EQ(back.Count(), 4);
    EXPECT_EQ(back.Items(0).GetExpression1(), u"1,5");
    EXPECT_EQ(back.Items(1).GetExpression1(), u"\"чай;кава\"");
    EXPECT_EQ(back.Items(2).GetExpression1(), u"Ціни!$A$1:$A$4");
    const TDataValidation& b = back.Items(3);
    EXPECT_EQ(b.GetExpression1(), u"1");
    EXPECT_EQ(b.GetExpression2(), u"100");
    EXPECT_EQ(b.GetValidationType(), TValidationType::vtInteger);
    EXPECT_EQ(b.GetValidationStyle(), TValidationStyle::vsWarning);
    EXPECT_EQ(b.GetValidationOperator(), TValidationOperator::vopBetween);
    EXPECT_EQ(b.GetOptions(), voSupressDropDown | voShowErrorBox);
    EXPECT_EQ(b.GetInputTitle(), u"Кількість");
    EXPECT_EQ(b.GetInputMsg(), u"Від 1 до 100");
    EXPECT_EQ(b.GetErrorMsg(), u"");
    EXPECT_FALSE(b.Changed());
    EXPECT_EQ(WrittenRecords(back), records);
}

TEST(Validations, AnUntouchedValidationKeepsItsOptionWordAndTextsAreTrimmed) {
    // A bit no property covers (0x400), 8-bit texts with blanks and a NUL.
    Body dv = Body()
                  .U32(0x002C0503)
                  .U16(3)
                  .U8(0)
                  .Raw({' ', 'T', 0})
                  .U16(0)
                  .U16(1)
                  .U8(1)
                  .U16('x')
                  .U16(1)
                  .U8(0)
                  .U8(0);
    dv.U16(0).U16(0).U16(0).U16(0).U16(1).U16(0).U16(0).U16(0).U16(0);
    TDataValidation v;
    v.Read(dv.b);
    EXPECT_EQ(v.GetInputTitle(), u"T");
    EXPECT_EQ(v.GetErrorTitle(), u"");
    EXPECT_EQ(v.GetInputMsg(), u"x");
    EXPECT_EQ(v.GetValidationType(), TValidationType::vtList);
    EXPECT_EQ(GetU32(v.Body().data()), 0x002C0503u);
    v.SetErrorMsg(u"No");
    EXPECT_EQ(GetU32(v.Body().data()), 0x002C0103u); // rebuilt from the properties
}

// A DV record that does not read costs that validation, and DV records the
// DVAL counts that are not there are counted: the others are read.
TEST(Validations, MalformedRecordsCostThemselves) {
    const Bytes dvalOf2 = Body().U16(0).U32(0).U32(0).U32(0xFFFFFFFF).U32(2).b;
    auto dv = [](const Body& rest, uint32_t options = 0) { return Body().U32(options).Raw(rest.b).b; };
    // Empty texts, then a formula of one array constant (1 x 1) holding value.
    auto arrayOf = [](const Bytes& value) {
        return Body()
            .U16(0)
            .U16(0)
            .U16(0)
            .U16(0)
            .U16(8)
            .U16(0)
            .Raw({0x60, 0, 0, 0, 0, 0, 0, 0})
            .U8(0)
            .U16(0)
            .Raw(value);
    };
    const Bytes errorValue = {0x10, 0x07, 0, 0, 0, 0, 0, 0};
    const Bytes good = dv(Body().U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0));
    struct Case {
        const char* what;
        std::vector<Bytes> dvs;
        uint32_t missing, damaged;
    } cases[] = {
        {"a missing DV", {good}, 1, 0},
        {"a string flag", {dv(Body().U16(1).U8(2).U8('a')), good}, 0, 1},
        {"a string past the body", {dv(Body().U16(50).U8(1).U16('a')), good}, 0, 1},
        {"a formula past the body", {dv(Body().U16(0).U16(0).U16(0).U16(0).U16(9).U16(0).U8(1)), good}, 0, 1},
        {"ranges past the body",
         {dv(Body().U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(3).Raw(Bytes(8, 0))), good},
         0,
         1},
        // Array constants: only a list's items have a form in the model.
        {"a list's error item", {dv(arrayOf(errorValue).U16(0).U16(0).U16(0), 3), good}, 0, 1},
        {"an array constant of a whole number",
         {dv(arrayOf(Bytes(9, 1)).U16(0).U16(0).U16(0), 1), good},
         0,
         1},
        {"an array constant past the body", {dv(arrayOf({0x02, 5, 0, 0, 'a'}), 3), good}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TDataValidations list;
        size_t next = 0;
        const auto read = list.ReadDVal(dvalOf2, [&](std::vector<uint8_t>& body) {
            if (next >= c.dvs.size()) return false;
            body = c.dvs[next++];
            return true;
        });
        EXPECT_EQ(read.Missing, c.missing);
        EXPECT_EQ(read.Damaged, c.damaged);
        EXPECT_EQ(list.Count(), 1);
    }
    // A range count of 4096 or more reads as none.
    TDataValidation v;
    v.Read(dv(Body().U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).U16(5000)));
    EXPECT_EQ(v.Areas.Count(), 0);
}

// A list whose items an array constant gives (gnumeric writes it so) reads
// as the explicit list of those items, over its areas; written back, it is
// one.
TEST(Validations, AListOfAnArrayConstantReadsAsItsItems) {
    Body b;
    b.U32(0x00000103).U16(0).U8(0).U16(0).U8(0).U16(0).U8(0).U16(0).U8(0);
    b.U16(8).U16(0).Raw({0x60, 0, 0, 0, 0, 0, 0, 0});
    b.U8(2).U16(0); // three columns, one row
    b.U8(0x02).U16(2).U8(1).U16(u'ч').U16(u'й');
    b.U8(0x01).F64(2.5);
    b.U8(0x04).Raw({1, 0, 0, 0, 0, 0, 0, 0});
    b.U16(0).U16(0);
    b.U16(1).U16(1).U16(3).U16(0).U16(0); // A2:A4
    TDataValidation v;
    v.Read(b.b);
    EXPECT_EQ(v.GetValidationType(), TValidationType::vtList);
    const Bytes list = {0x17, 11, 1, 0x47, 0x04, 0x39, 0x04, 0, 0,   '2', 0,   '.', 0,
                        '5',  0,  0, 0,    'T',  0,    'R',  0, 'U', 0,   'E', 0};
    EXPECT_EQ(v.Expression1Tokens, list);
    ASSERT_EQ(v.Areas.Count(), 1);
    EXPECT_EQ(v.Areas[0].Row1, 1u);
    EXPECT_EQ(v.Areas[0].Row2, 3u);
    // The explicit list's option bit.
    EXPECT_EQ(GetU32(v.Body().data()), 0x00000183u);
}

// Writers differ on an empty string: its zero count alone, or the count
// and a flag byte (gnumeric). Both layouts read to the same validation.
TEST(Validations, EmptyStringsReadInEitherLayout) {
    auto dv = [](bool flagAfterEmpty) {
        Body b;
        b.U32(0x00080003);
        auto empty = [&] {
            b.U16(0);
            if (flagAfterEmpty) b.U8(0);
        };
        empty();
        b.U16(3).U8(0).Raw({'B', 'a', 'd'});
        empty();
        b.U16(1).U8(1).U16(0x0416);
        b.U16(3).U16(0).Raw({0x1E, 0x01, 0x00}); // =1
        b.U16(0).U16(0);
        b.U16(1).U16(0).U16(4).U16(2).U16(2); // C1:C5
        return b.b;
    };
    for (bool flag : {false, true}) {
        SCOPED_TRACE(flag ? "count and flag byte" : "count alone");
        TDataValidation v;
        v.Read(dv(flag));
        EXPECT_EQ(v.GetInputTitle(), u"");
        EXPECT_EQ(v.GetErrorTitle(), u"Bad");
        EXPECT_EQ(v.GetInputMsg(), u"");
        EXPECT_EQ(v.GetErrorMsg(), u"Ж");
        EXPECT_EQ(v.GetValidationType(), TValidationType::vtList);
        EXPECT_EQ(v.Expression1Tokens, (Bytes{0x1E, 0x01, 0x00}));
        EXPECT_TRUE(v.Expression2Tokens.empty());
        ASSERT_EQ(v.Areas.Count(), 1);
        EXPECT_EQ(v.Areas[0].Col1, 2u);
        EXPECT_EQ(v.Areas[0].Row2, 4u);
    }
}

// Relative references of the formulas are offsets from the top-left cell of
// the areas, as other readers take them: they move with the areas.
TEST_F(SemicolonLocale, RelativeReferencesFollowTheirAreas) {
    TTabrix4 book;
    TSheet& s = book.GetSheet(0);
    auto& cf = s.ConditionalFormats().Add();
    cf.Areas.AddArea(1, 1, 1, 4);
    cf.Condition1.SetCompareCell(false);
    cf.Condition1.SetFormula1(u"A2>$A$1");
    cf.Condition1.FmtFont.SetFontStyle(xfsBold);
    // tRefN: row offset 0, column offset -1, both relative; then $A$1 with
    // no relative part.
    EXPECT_EQ(Bytes(cf.Condition1.Formula1Tokens.begin(), cf.Condition1.Formula1Tokens.begin() + 10),
              (Bytes{0x4C, 0x00, 0x00, 0xFF, 0xC0, 0x4C, 0x00, 0x00, 0x00, 0x00}));
    auto& dv = s.Validations().Add();
    dv.Areas.AddArea(2, 1, 2, 4);
    dv.SetValidationType(TValidationType::vtCustom);
    dv.SetExpression1(u"SUM(A2:B2)<10");
    EXPECT_EQ(dv.Expression1Tokens[0], 0x2D); // tAreaN
    book.MoveCells(0, 1, 1, 2, 4, 0, 4, 11,
                   ICellOperations::coConditionalFormats | ICellOperations::coValidations);
    EXPECT_EQ(cf.Condition1.GetFormula1(), u"D12>$A$1");
    EXPECT_EQ(dv.GetExpression1(), u"SUM(D12:E12)<10");
}

// Copies and moves of cells take the conditional formats (0x40) and the
// validations (0x80) of the block along; deleting cells removes the area.
TEST(AreaBoundCollections, FollowTheCellsOfBlockOperations) {
    TTabrix4 book;
    book.Sheets().Add(0);
    TSheet& s0 = book.GetSheet(0);
    TSheet& s1 = book.GetSheet(1);
    auto& cf = s0.ConditionalFormats().Add();
    cf.Areas.AddArea(0, 0, 1, 3);
    cf.Condition1.FmtFont.SetFontStyle(xfsBold);
    auto& dv = s0.Validations().Add();
    dv.Areas.AddArea(0, 0, 0, 1);
    dv.SetExpression1(u"5");
    auto area = [](const TAreaBoundItem& item, int i) {
        const TCellArea& a = item.Areas.GetItem(i);
        return std::vector<uint32_t>{a.Col1, a.Row1, a.Col2, a.Row2};
    };

    // Copy to another sheet: clipped copies at the destination.
    book.CopyCells(0, 0, 0, 0, 1, 1, 5, 10,
                   ICellOperations::coConditionalFormats | ICellOperations::coValidations);
    ASSERT_EQ(s1.ConditionalFormats().Count(), 1);
    EXPECT_EQ(area(s1.ConditionalFormats().Items(0), 0), (std::vector<uint32_t>{5, 10, 5, 11}));
    EXPECT_TRUE(s1.ConditionalFormats().Items(0).Condition1.FmtFont.Used);
    ASSERT_EQ(s1.Validations().Count(), 1);
    EXPECT_EQ(area(s1.Validations().Items(0), 0), (std::vector<uint32_t>{5, 10, 5, 11}));
    EXPECT_EQ(s1.Validations().Items(0).Expression1Tokens, dv.Expression1Tokens);

    // Without the bits nothing comes along.
    book.CopyCells(0, 0, 0, 1, 3, 1, 20, 20, ICellOperations::coCells);
    EXPECT_EQ(s1.ConditionalFormats().Count(), 1);

    // Move within the sheet: the validation goes with its cells.
    book.MoveCells(0, 0, 0, 0, 1, 0, 3, 0, ICellOperations::coValidations);
    EXPECT_EQ(area(dv, 0), (std::vector<uint32_t>{3, 0, 3, 1}));
    EXPECT_EQ(area(cf, 0), (std::vector<uint32_t>{0, 0, 1, 3}));

    // Deleting cells removes them from the areas.
    book.DeleteCells(0, 0, 0, 1, 1);
    EXPECT_EQ(area(cf, 0), (std::vector<uint32_t>{0, 2, 1, 3}));
    book.DeleteCells(0, 3, 0, 3, 1);
    EXPECT_EQ(dv.Areas.Count(), 0);
    EXPECT_EQ(s0.Validations().Count(), 1); // kept, written with no areas
}
