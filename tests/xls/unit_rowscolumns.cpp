// Rows and columns of a sheet: flags kept by the setters, outline levels
// that stay inside their bits, lookups of rows in any file order, columns
// freed when they return to defaults, format uses counted while the objects
// live, format changes reported with full row and column numbers, and the
// ROW and COLINFO bodies byte for byte.
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/model/XLSColumns.h"
#include "SrcXLS/model/XLSRows.h"

#include "tests/xls/support_biffbuild.h"
#include "tests/xls/support_hex.h"
#include "tests/xls/support_messages.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

using namespace xls;

namespace {

class RowsColumnsTest : public Biff8Limits {
protected:
    // A pool entry beyond the permanent ones, used once by a holder that the
    // test can let go.
    int NewEntry(int fillColor) {
        holder = std::make_unique<Holder>(&formats);
        holder->SetFillForeColor(fillColor);
        return holder->GetFormatIndex();
    }

    struct Holder : TFormattedObject {
        explicit Holder(TCellFormats* pool) : TFormattedObject(pool, DefaultCellFormat) {}
        ~Holder() override { ReleaseFormat(); }
    };

    TXFonts fonts;
    TCellFormats formats{&fonts, true};
    std::unique_ptr<Holder> holder;
};

HexBytes RowBody(const TXLSRows& rows, int index) {
    uint8_t body[16];
    EXPECT_TRUE(rows.WriteRowRecord(index, body));
    return HexBytes(body, body + 16);
}

// ROW: row, first column, last column + 1, height, reserved, options, format.
HexBytes RowRecord(uint16_t row, uint16_t options, uint16_t format, uint16_t height = 255) {
    HexBytes b(16, 0);
    PutU16(b.data(), row);
    PutU16(b.data() + 4, 10);
    PutU16(b.data() + 6, height);
    PutU16(b.data() + 12, options);
    PutU16(b.data() + 14, format);
    return b;
}

HexBytes Written(const TXLSColumns& columns) {
    return biffbuild::Written([&](TXLSStream& s) { columns.WriteColInfos(s); }, TExcelVersion::xvExcel40);
}

} // namespace

TEST_F(RowsColumnsTest, RowFlagsFollowTheSetters) {
    TXLSRows rows(&formats);
    TXLSRow& r = rows.Add(4);
    EXPECT_EQ(r.LastCol, 255);

    r.SetHeight(300);
    EXPECT_EQ(r.Flags, 0x0040);
    r.SetHeight(255);
    EXPECT_EQ(r.Flags, 0);
    r.SetHidden(true);
    r.SetCollapsed(true);
    EXPECT_EQ(r.Flags, 0x0030);
    r.SetHidden(false);
    EXPECT_EQ(r.Flags, 0x0010);

    LibState().SetLimits(TExcelVersion::xvExcel2007);
    EXPECT_EQ(rows.Add(5).LastCol, 16383);
}

TEST_F(RowsColumnsTest, RowOutlineLevelsStayInTheirThreeBits) {
    TXLSRows rows(&formats);
    TXLSRow& r = rows.Add(0);
    r.SetCollapsed(true);
    r.SetOutlineLevel(3);
    EXPECT_EQ(r.Flags, 0x0013);
    r.SetOutlineLevel(9); // deeper than the record holds: its deepest
    EXPECT_EQ(r.Flags, 0x0017);
    EXPECT_EQ(r.OutlineLevel, 9);
    r.SetOutlineLevel(16);
    EXPECT_EQ(r.Flags, 0x0010);
    r.SetOutlineLevel(2);
    EXPECT_EQ(RowBody(rows, 0), FromHex("00 00 00 00 FF 00 FF 00 00 00 00 00 12 01 0F 00"));
}

TEST_F(RowsColumnsTest, IndexOfAnswersQuicklyAndFindsEveryRow) {
    TXLSRows rows(&formats);
    EXPECT_EQ(rows.IndexOf(0), -1);
    for (uint32_t n : {9u, 1u, 7u, 3u, 5u, 70000u}) rows.Add(n);
    rows.Sort();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rows.IndexOf(2 * i + 1), i);
        EXPECT_EQ(rows.IndexOf(2 * i), -1);
    }
    EXPECT_EQ(rows.IndexOf(-1), -1);
    EXPECT_EQ(rows.IndexOf(10), -1);
    // Beyond the active limits nothing is searched for.
    EXPECT_EQ(rows.Find(70000), nullptr);
    LibState().SetLimits(TExcelVersion::xvExcel2007);
    ASSERT_NE(rows.Find(70000), nullptr);
    EXPECT_EQ(rows.Find(70000)->Row, 70000u);
    EXPECT_EQ(rows.IndexOf(65536 + 7), -1);
}

TEST_F(RowsColumnsTest, LoadedRowsAreKeptInOrderWhateverTheFileOrder) {
    TXLSRows rows(&formats);
    int entry = NewEntry(10);
    HexBytes r8 = RowRecord(8, 0x0100, uint16_t(entry)); // no own format: the field is ignored
    HexBytes r2 = RowRecord(2, 0x0180, uint16_t(entry), 400);
    HexBytes r5 = RowRecord(5, 0x0142, 20);
    rows.LoadRowRecord(r8);
    rows.LoadRowRecord(r2);
    rows.LoadRowRecord(r5);
    ASSERT_EQ(rows.Count(), 3);
    EXPECT_EQ(rows[0].Row, 2u);
    EXPECT_EQ(rows[1].Row, 5u);
    EXPECT_EQ(rows[2].Row, 8u);
    EXPECT_EQ(rows.Find(8)->GetFormatIndex(), DefaultCellFormat);
    EXPECT_EQ(rows.Find(2)->GetFormatIndex(), entry);
    EXPECT_EQ(rows.Find(2)->Height, 400);
    EXPECT_EQ(rows.Find(5)->OutlineLevel, 2);
    EXPECT_EQ(rows.Find(5)->FirstCol, 0);
    EXPECT_EQ(rows.Find(5)->LastCol, 10);

    // A row listed twice: the later record wins, the list stays unique.
    HexBytes again = RowRecord(5, 0x0100, 0, 500);
    rows.LoadRowRecord(again);
    ASSERT_EQ(rows.Count(), 3);
    EXPECT_EQ(rows.Find(5)->Height, 500);
    EXPECT_EQ(rows.Find(5)->GetFormatIndex(), DefaultCellFormat);

    // Written back: the format flag follows the format, 0x0100 is always set.
    EXPECT_EQ(RowBody(rows, 0),
              Cat({FromHex("02 00 00 00 0A 00 90 01 00 00 00 00 80 01"), HexBytes{uint8_t(entry), 0}}));

    HexBytes cut(15, 0);
    EXPECT_EQ(MessageOf([&] { rows.LoadRowRecord(cut); }), "Record too short: row format beyond the end");
    EXPECT_EQ(rows.Count(), 3);
}

// Files list rows in any order, some twice; lookups may come between the
// records. The list matches a map of the last record read per row.
TEST_F(RowsColumnsTest, RowOrdersOfFilesAndLookupsBetweenRecords) {
    std::vector<uint16_t> descending, shuffled;
    for (uint16_t r = 3000; r-- > 0;) descending.push_back(r);
    for (uint32_t i = 0; i < 3000; ++i) shuffled.push_back(uint16_t(i * 7919 % 1000));
    const struct {
        std::vector<uint16_t> order;
        int lookupEvery; // 0: no lookups while reading
    } cases[] = {
        {descending, 0}, {descending, 50}, {shuffled, 0}, {shuffled, 7}, {{5, 3, 5, 1, 3, 9, 0, 9}, 1}};
    for (const auto& c : cases) {
        TXLSRows rows(&formats);
        std::map<uint16_t, uint16_t> heights;
        for (size_t i = 0; i < c.order.size(); ++i) {
            const uint16_t height = uint16_t(i % 4000 + 1);
            rows.LoadRowRecord(RowRecord(c.order[i], 0x0140, 0, height));
            heights[c.order[i]] = height;
            if (c.lookupEvery && i % size_t(c.lookupEvery) == 0) {
                ASSERT_NE(rows.Find(c.order[i / 2]), nullptr);
                EXPECT_EQ(rows.Find(c.order[i / 2])->Height, heights[c.order[i / 2]]);
            }
        }
        ASSERT_EQ(rows.Count(), int(heights.size()));
        int i = 0;
        for (const auto& [row, height] : heights) {
            EXPECT_EQ(rows[i].Row, row);
            EXPECT_EQ(rows[i++].Height, height) << row;
        }
    }
}

TEST_F(RowsColumnsTest, RowRecordsStayInsideTheirFields) {
    TXLSRows rows(&formats);
    TXLSRow& r = rows.Add(0x1234);
    r.FirstCol = 300;
    r.LastCol = 16383;
    r.SetHeight(0x0190);
    r.Flags |= 0x0080; // a stale format flag is dropped
    EXPECT_EQ(RowBody(rows, 0), FromHex("34 12 FF 00 FF 00 90 01 00 00 00 00 40 01 0F 00"));

    // A 2007 row has no ROW record.
    rows.Add(65536);
    uint8_t body[16];
    EXPECT_FALSE(rows.WriteRowRecord(1, body));
    EXPECT_EQ(MessageOf([&] { rows.WriteRowRecord(2, body); }), "List index out of bounds (2)");
}

TEST_F(RowsColumnsTest, RowsCountTheirFormatWhileTheyLive) {
    int entry = NewEntry(12);
    TCellFormat* format = formats.GetItem(entry);
    int before = formats.Count();
    {
        TXLSRows rows(&formats);
        HexBytes body = RowRecord(1, 0x0180, uint16_t(entry));
        rows.LoadRowRecord(body);
        EXPECT_EQ(format->UsageCount, 2);
        holder.reset();
        EXPECT_EQ(formats.Count(), before); // the row keeps it
        EXPECT_EQ(format->UsageCount, 1);
    }
    EXPECT_EQ(formats.Count(), before - 1);
}

TEST_F(RowsColumnsTest, FormatChangesAreReportedWithTheFullNumber) {
    LibState().SetLimits(TExcelVersion::xvExcel2007);
    TXLSRows rows(&formats);
    TXLSColumns columns(&formats);
    TXLSRow& r = rows.Add(70000);
    TXLSColumn* c = (columns.AddColumns(300, 1), columns[300]);
    std::vector<std::pair<TCellFormat*, int>> calls;
    auto record = [&](TCellFormat* f, int n) { calls.emplace_back(f, n); };
    rows.OnChange = record; // installed after the row was made
    columns.OnChange = record;

    r.SetFillForeColor(10);
    r.SetFillForeColor(10);
    c->SetFontStyle(1);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, r.Format());
    EXPECT_EQ(calls[0].second, 70000);
    EXPECT_EQ(calls[1].first, c->Format());
    EXPECT_EQ(calls[1].second, 300);
}

TEST_F(RowsColumnsTest, ColumnValuesAreChecked) {
    TXLSColumns columns(&formats);
    columns.AddColumns(2, 1);
    TXLSColumn& c = *columns[2];
    EXPECT_EQ(c.GetWidth(), 2500);
    c.SetWidth(65535);
    EXPECT_EQ(MessageOf([&] { c.SetWidth(65536); }), "Invalid value");
    EXPECT_EQ(MessageOf([&] { c.SetWidth(-1); }), "Invalid value");
    EXPECT_EQ(c.GetWidth(), 65535);
    c.SetOutlineLevel(16);
    EXPECT_EQ(MessageOf([&] { c.SetOutlineLevel(17); }), "Invalid value");
    EXPECT_EQ(c.GetOutlineLevel(), 16);
}

TEST_F(RowsColumnsTest, EqualAndDefaultColumns) {
    TXLSColumns columns(&formats);
    columns.AddColumns(0, 2);
    TXLSColumn& a = *columns[0];
    TXLSColumn& b = *columns[1];
    EXPECT_TRUE(a.IsDefault());
    b.CustomWidth = true;
    EXPECT_TRUE(a.Equal(b)); // the custom-width mark does not count
    b.Collapsed = true;
    EXPECT_FALSE(a.Equal(b));
    EXPECT_FALSE(b.IsDefault());
    b.Collapsed = false;
    b.SetFillForeColor(10);
    EXPECT_FALSE(a.Equal(b));
    EXPECT_FALSE(b.IsDefault());
    a.SetFillForeColor(10);
    EXPECT_TRUE(a.Equal(b));
}

TEST_F(RowsColumnsTest, ColumnsComeAndGoWithTheirSettings) {
    TXLSColumns columns(&formats);
    columns.SetWidths(3, 6, 2500); // default width: no objects
    for (int i = 3; i <= 6; ++i) EXPECT_EQ(columns[i], nullptr);
    columns.SetWidths(3, 6, 4000);
    for (int i = 3; i <= 6; ++i) ASSERT_NE(columns[i], nullptr);
    EXPECT_EQ(columns[4]->GetWidth(), 4000);
    columns[5]->Hidden = true;
    columns.SetWidths(4, 5, 2500);
    EXPECT_EQ(columns[4], nullptr);          // back to defaults: freed
    ASSERT_NE(columns[5], nullptr);          // still hidden
    EXPECT_EQ(columns[5]->GetWidth(), 2500); // kept with the width
    EXPECT_EQ(columns[3]->GetWidth(), 4000);

    // Refused ranges and widths change nothing.
    EXPECT_EQ(MessageOf([&] { columns.SetWidths(6, 5, 100); }), "Invalid columns");
    EXPECT_EQ(MessageOf([&] { columns.SetWidths(16380, 16384, 100); }), "Invalid columns");
    EXPECT_EQ(MessageOf([&] { columns.SetWidths(3, 3, 70000); }), "Invalid value");
    EXPECT_EQ(columns[3]->GetWidth(), 4000);
    EXPECT_EQ(MessageOf([&] { columns.ClearRange(-1, 3); }), "Invalid columns");
    EXPECT_EQ(MessageOf([&] { columns.ClearRange(4, 3); }), "Invalid columns");
    EXPECT_EQ(MessageOf([&] { columns.AddColumns(16383, 2); }), "Invalid columns");
    EXPECT_NE(columns[3], nullptr);

    columns.AddColumns(5, 3); // an existing column stays as it is
    EXPECT_TRUE(columns[5]->Hidden);
    EXPECT_TRUE(columns[7]->IsDefault());
    columns.AddColumns(16383, 1);
    EXPECT_NE(columns[16383], nullptr);
    EXPECT_EQ(columns[16384], nullptr);
    EXPECT_EQ(columns[-1], nullptr);

    columns.ClearRange(3, 5);
    EXPECT_EQ(columns[3], nullptr);
    EXPECT_EQ(columns[5], nullptr);
    EXPECT_NE(columns[6], nullptr);
    columns.Clear();
    EXPECT_EQ(columns[16383], nullptr);
}

TEST_F(RowsColumnsTest, ColInfoReadsOnlyTheColumnsItCanHold) {
    TXLSColumns columns(&formats);
    columns.AddColumns(252, 1);
    columns[252]->Hidden = true;
    // Columns 250 .. 300, width 0x0C00, format 20, hidden, level 2, collapsed.
    HexBytes body = FromHex("FA 00 2C 01 00 0C 14 00 01 12 00 00");
    columns.LoadColInfo(body);
    for (int i = 250; i <= 255; ++i) {
        const TXLSColumn* c = columns[i];
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c->Col, i);
        EXPECT_EQ(c->GetWidth(), 0x0C00);
        EXPECT_EQ(c->GetFormatIndex(), 20);
        EXPECT_TRUE(c->Hidden);
        EXPECT_FALSE(c->CustomWidth);
        EXPECT_EQ(c->GetOutlineLevel(), 2);
        EXPECT_TRUE(c->Collapsed);
    }
    EXPECT_EQ(columns[256], nullptr);

    HexBytes shown = FromHex("FC 00 FC 00 00 0C 0F 00 02 00 00 00");
    columns.LoadColInfo(shown); // replaces what the slot held
    EXPECT_FALSE(columns[252]->Hidden);
    EXPECT_TRUE(columns[252]->CustomWidth);

    HexBytes cut = FromHex("00 00 01 00 00 0C 0F 00 02");
    EXPECT_EQ(MessageOf([&] { columns.LoadColInfo(cut); }),
              "Record too short: column options beyond the end");
    EXPECT_EQ(columns[0], nullptr);
}

TEST_F(RowsColumnsTest, ColInfoRunsOfEqualColumns) {
    TXLSColumns columns(&formats);
    columns.SetWidths(3, 7, 3000);
    columns.AddColumns(9, 1);
    columns[9]->Hidden = true;
    columns[9]->SetOutlineLevel(9); // deeper than the record holds: its deepest
    columns[9]->Collapsed = true;
    columns.SetWidths(300, 301, 3000); // beyond the record's columns
    EXPECT_EQ(Written(columns), FromHex("7D 00 0C 00 03 00 07 00 B8 0B 0F 00 02 00 00 00 "
                                        "7D 00 0C 00 09 00 09 00 C4 09 0F 00 01 17 00 00"));

    // A run breaks where a column differs or a slot is empty.
    columns[5]->CustomWidth = true; // not compared
    columns[6]->SetFillForeColor(10);
    int entry = columns[6]->GetFormatIndex();
    columns.ClearRange(9, 9);
    EXPECT_EQ(Written(columns),
              Cat({FromHex("7D 00 0C 00 03 00 05 00 B8 0B 0F 00 02 00 00 00 "
                           "7D 00 0C 00 06 00 06 00 B8 0B"),
                   HexBytes{uint8_t(entry), 0},
                   FromHex("02 00 00 00 7D 00 0C 00 07 00 07 00 B8 0B 0F 00 02 00 00 00")}));
}
