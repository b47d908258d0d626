#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/model/AutoFilters.h"

#include "support_biffbuild.h"
#include "support_messages.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace biffbuild;

namespace {

std::vector<Record> WrittenRecords(const TAutoFilters& filters) {
    return Records(Written([&](TXLSStream& s) { filters.WriteAutoFilters(s); }), true);
}

// A condition of a value type with its eight value bytes.
Body Condition(uint8_t type, uint8_t op, std::initializer_list<uint8_t> value = {}) {
    Body b;
    b.U8(type).U8(op);
    Bytes v(value);
    v.resize(8, 0);
    return b.Raw(v);
}

Body StringCondition(uint8_t op, uint8_t chars) {
    return Body().U8(0x06).U8(op).U32(0).U8(chars).Raw({0, 0, 0});
}

} // namespace

TEST(AutoFilters, ConditionsOfEveryKindReadAndWrittenBack) {
    TAutoFilters filters;
    filters.ReadAutoFilterInfo(Body().U16(5).b);
    // Column 2: two texts, one 8-bit and one UTF-16.
    filters.ReadAutoFilter(Body()
                               .U16(2)
                               .U16(0x0001)
                               .Raw(StringCondition(2, 3).b)
                               .Raw(StringCondition(5, 2).b)
                               .U8(0)
                               .Raw({'Y', 'e', 's'})
                               .U8(1)
                               .U16(u'Т')
                               .U16(u'к')
                               .b);
    // Column 0: an RK number and a boolean.
    filters.ReadAutoFilter(Body()
                               .U16(0)
                               .U16(0)
                               .Raw(Condition(0x02, 3, {0x06, 0x02, 0, 0}).b)
                               .Raw(Condition(0x08, 2, {0, 1}).b)
                               .b);
    // Column 4: all blanks and an error; column 3: a value type not known here.
    filters.ReadAutoFilter(
        Body().U16(4).U16(0).Raw(Condition(0x0C, 0).b).Raw(Condition(0x08, 2, {1, 0x07}).b).b);
    filters.ReadAutoFilter(
        Body().U16(3).U16(0).Raw(Condition(0x10, 1, {9, 9, 9}).b).Raw(Condition(0x0E, 0).b).b);
    ASSERT_EQ(filters.Count(), 5);
    EXPECT_EQ(filters.Items(1), nullptr);
    const TAutoFilter& text = *filters.Items(2);
    EXPECT_EQ(text.Conditions[0].Kind, 2);
    EXPECT_EQ(text.Conditions[0].Text, u"Yes");
    EXPECT_EQ(text.Conditions[1].Text, u"Тк");
    EXPECT_EQ(text.Conditions[1].Operator, 5);
    const TAutoFilter& number = *filters.Items(0);
    EXPECT_EQ(number.Conditions[0].Kind, 1);
    EXPECT_EQ(number.Conditions[0].Number, 129.0); // RK integer 129
    EXPECT_EQ(number.Conditions[1].Kind, 3);
    EXPECT_EQ(number.Conditions[1].BoolOrError, 1);
    EXPECT_EQ(filters.Items(4)->Conditions[1].Kind, 4);
    EXPECT_EQ(filters.Items(3)->Conditions[0].Kind, 7);

    const auto records = WrittenRecords(filters);
    // No FILTERMODE was read; the count as read; the filters by column.
    ASSERT_EQ(IdsOf(records), (std::vector<uint16_t>{autofilter::AUTOFILTERINFO, autofilter::AUTOFILTER,
                                                     autofilter::AUTOFILTER, autofilter::AUTOFILTER,
                                                     autofilter::AUTOFILTER}));
    EXPECT_EQ(records[0].Body, Body().U16(5).b);
    // The RK number comes back as an IEEE double; texts in UTF-16.
    EXPECT_EQ(Bytes(records[1].Body.begin() + 4, records[1].Body.begin() + 14),
              Condition(0x04, 3, {0, 0, 0, 0, 0, 0x20, 0x60, 0x40}).b);
    EXPECT_EQ(records[2].Body, Body()
                                   .U16(2)
                                   .U16(0x0001)
                                   .Raw(StringCondition(2, 3).b)
                                   .Raw(StringCondition(5, 2).b)
                                   .U8(1)
                                   .U16('Y')
                                   .U16('e')
                                   .U16('s')
                                   .U8(1)
                                   .U16(u'Т')
                                   .U16(u'к')
                                   .b);
    EXPECT_EQ(Bytes(records[3].Body.begin() + 4, records[3].Body.begin() + 14),
              Condition(0x10, 1, {9, 9, 9}).b);
    TAutoFilters back;
    back.ReadAutoFilterInfo(records[0].Body);
    for (size_t i = 1; i < records.size(); ++i) back.ReadAutoFilter(records[i].Body);
    EXPECT_EQ(WrittenRecords(back), records);
}

TEST(AutoFilters, NewFiltersAreNumberedByTheirColumns) {
    TAutoFilters filters;
    EXPECT_TRUE(WrittenRecords(filters).empty());
    filters.Filter(2).Conditions[0].Kind = 6;
    filters.Filter(0).Conditions[0].Kind = 5;
    const auto records = WrittenRecords(filters);
    ASSERT_EQ(IdsOf(records), (std::vector<uint16_t>{autofilter::FILTERMODE, autofilter::AUTOFILTERINFO,
                                                     autofilter::AUTOFILTER, autofilter::AUTOFILTER}));
    EXPECT_EQ(records[1].Body, Body().U16(3).b);
    EXPECT_EQ(GetU16(records[2].Body.data()), 0);
    EXPECT_EQ(GetU16(records[3].Body.data()), 2);
}

// The record counts a text's characters in one byte: a longer text keeps
// its first 255 characters, with their count, and the write says so.
TEST(AutoFilters, ALongTextIsCutWithItsCount) {
    TAutoFilters filters;
    std::u16string text;
    for (int i = 0; i < 300; ++i) text.push_back(char16_t(u'a' + i % 26));
    TAutoFilter& f = filters.Filter(1);
    f.Conditions[0].Kind = 2;
    f.Conditions[0].Text = text;
    f.Conditions[1].Kind = 2;
    f.Conditions[1].Text = u"ok";
    std::vector<std::string> warnings;
    const auto records =
        Records(Written([&](TXLSStream& s) {
                    filters.WriteAutoFilters(s, [&](std::string w) { warnings.push_back(w); });
                }),
                true);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].Body.size(), 24u + 1 + 2 * 255 + 1 + 2 * 2);
    EXPECT_EQ(records[2].Body[4 + 6], 255);
    TAutoFilters back;
    back.ReadAutoFilter(records[2].Body);
    EXPECT_EQ(back.Items(1)->Conditions[0].Text, text.substr(0, 255));
    EXPECT_EQ(back.Items(1)->Conditions[1].Text, u"ok");
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "the autofilter text of column 2 is cut to 255 of its 300 characters"});
}

TEST(AutoFilters, MalformedRecordsAreRefused) {
    struct Case {
        const char* what;
        Bytes body;
        std::string message;
    } cases[] = {
        {"cut conditions", Body().U16(0).U16(0).Raw(Bytes(12, 0)).b, "Record too short"},
        {"a text past the body", Body().U16(0).U16(0).Raw(StringCondition(2, 40).b).Raw(Bytes(10, 0)).U8(0).b,
         "Record too short"},
        {"a column past the sheet", Body().U16(300).U16(0).Raw(Bytes(20, 0)).b, "Bad record in file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TAutoFilters filters;
        EXPECT_NE(MessageOf([&] { filters.ReadAutoFilter(c.body); }).find(c.message), std::string::npos);
    }
    TAutoFilters filters;
    EXPECT_NE(MessageOf([&] { filters.ReadAutoFilterInfo(Bytes{1}); }).find("Record too short"),
              std::string::npos);
}

// A filter's drop-down lives among the sheet's combo boxes (made as an
// autofilter drop-down); clearing the filters removes it with its shape.
TEST(AutoFilters, ClearingRemovesTheDropDowns) {
    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    TControlComboBoxes& boxes = sheet.ControlsObjects().ComboBoxes;
    boxes.Autofilter = true;
    const int first = boxes.Add().ID();
    const int second = boxes.Add().ID();
    boxes.Autofilter = false;
    boxes.Add(); // an ordinary combo box stays
    ASSERT_EQ(sheet.Drawing().ShapeCount(), 3);
    sheet.AutoFilters().Filter(0).Control = first;
    sheet.AutoFilters().Filter(3).Control = second;
    TSheet& copy = book.Sheets().Add(0);
    copy.AutoFilters().Assign(sheet.AutoFilters());
    EXPECT_EQ(copy.AutoFilters().Items(0)->Control, -1);
    sheet.AutoFilters().Clear();
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(sheet.Drawing().ShapeCount(), 1);
    EXPECT_FALSE(sheet.AutoFilters().Present());
}

// After a read each filter is linked to the drop-down over its column (one
// per column of the range, from its first column on); clearing removes
// every drop-down of the range, those of columns without a filter too.
TEST(AutoFilters, FiltersAreLinkedToTheirDropDownsAndClearedWithAll) {
    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    TControlComboBoxes& boxes = sheet.ControlsObjects().ComboBoxes;
    boxes.Add().SetCol1(0); // an ordinary combo box stays
    boxes.Autofilter = true;
    std::vector<int> ids;
    for (int col : {4, 2, 3}) {
        TControlComboBox& box = boxes.Add();
        box.SetCol1(col);
        box.SetCol2(col + 1);
        ids.push_back(box.ID());
    }
    boxes.Autofilter = false;
    TAutoFilters& filters = sheet.AutoFilters();
    filters.Filter(0);
    filters.Filter(2);
    filters.LinkDropDowns();
    EXPECT_EQ(filters.Items(0)->Control, ids[1]);
    EXPECT_EQ(filters.Items(2)->Control, ids[0]);
    filters.Clear();
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.GetItem(0).GetCol1(), 0);
    EXPECT_EQ(sheet.Drawing().ShapeCount(), 1);
}

// The filter range name goes with the filters wherever it stands in the
// list; the names after it move up (references to them follow).
TEST(AutoFilters, ClearingDeletesTheFilterRangeNameWhereverItStands) {
    struct Case {
        std::vector<int> sheetNumbers; // of the names, each a filter range name
        int cleared;                   // the sheet (index) whose filters go
        std::vector<int> left;         // the sheet numbers of the names left
    } cases[] = {
        {{1, 2}, 1, {1}},    // the last name
        {{2, 1, 2}, 1, {1}}, // two names of one sheet, as gnumeric writes them
        {{2, 1}, 1, {1}},    // another name after it
        {{1}, 1, {1}},       // another sheet's: kept
        {{}, 0, {}},
    };
    for (const auto& c : cases) {
        TTabrix4 book;
        book.Sheets().Add(0);
        TInternalNames& names = book.GetInternalNames();
        for (int number : c.sheetNumbers) {
            TInternalName& n = names.Add();
            n.SetBuiltInCode(FilterDatabaseCode);
            n.SheetNumber = uint16_t(number);
        }
        book.GetSheet(c.cleared).AutoFilters().Clear();
        std::vector<int> left;
        for (int i = 0; i < names.Count(); ++i) left.push_back(names.Items(i).SheetNumber);
        EXPECT_EQ(left, c.left);
    }
}
