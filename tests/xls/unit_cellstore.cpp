// Cells, the cell store at the 2007 limits and the display texts of values.
#include "SrcXLS/XLSArena.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/model/CellStorage.h"
#include "platform/RegionalSettings.h"
#include "support_messages.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

using namespace xls;

namespace {

struct Store : ::testing::Test {
    TXFonts fonts;
    TCellFormats formats{&fonts, true};
    TSST2 strings{&fonts};
    TCellValuesList list;
    TCellValues cells{&list, &strings, &formats};

    std::unique_ptr<TCell> Number(double v, int format = DefaultCellFormat) {
        return std::make_unique<TFloatCell>(&formats, format, 0, 0, v);
    }
    std::unique_ptr<TCell> Text(std::u16string_view s) {
        return std::make_unique<TStringCell>(&formats, DefaultCellFormat, 0, 0, &strings,
                                             strings.AddString(s));
    }
    std::unique_ptr<TCell> Blank() { return std::make_unique<TBlankCell>(&formats, DefaultCellFormat, 0, 0); }
    // A format entry of its own (not permanent) with the given font colour.
    int ColouredFormat(int colour) {
        holders.push_back(std::make_unique<TBlankCell>(&formats, DefaultCellFormat, 0, 0));
        holders.back()->SetFillForeColor(colour);
        return holders.back()->GetFormatIndex();
    }
    std::vector<std::unique_ptr<TCell>> holders;
    void SetUp() override {
        LibState().Reset();
        LibState().Locale.DecimalSeparator = u'.';
    }
    void TearDown() override {
        cells.Clear();
        holders.clear();
        LibState().Reset();
    }
};

std::vector<std::pair<int, int>> Walk(TCellStorage& s) {
    std::vector<std::pair<int, int>> out;
    s.BeginIterate();
    while (TCell* c = s.NextCell()) out.emplace_back(int(c->Row), c->Col);
    return out;
}

} // namespace

TEST_F(Store, CornersOfTheLargestSheetAreFoundAndWalkedLast) {
    cells.PutCell(16383, 1048575, Number(9));
    cells.PutCell(0, 0, Number(1));
    cells.PutCell(16383, 0, Number(2));
    cells.PutCell(0, 1048575, Number(3));
    ASSERT_NE(cells.FindCell(16383, 1048575), nullptr);
    EXPECT_EQ(static_cast<TFloatCell*>(cells.FindCell(16383, 1048575))->Value, 9);
    EXPECT_EQ(Walk(cells),
              (std::vector<std::pair<int, int>>{{0, 0}, {0, 16383}, {1048575, 0}, {1048575, 16383}}));
    cells.CalcDimensions(16383, 1048575);
    EXPECT_EQ(cells.FirstCol, 0);
    EXPECT_EQ(cells.LastCol, 16383);
    EXPECT_EQ(cells.LastRow, 1048575);
    EXPECT_EQ(MessageOf([&] { cells.PutCell(16384, 0, Number(1)); }), "Cell position is outside the sheet");
    EXPECT_EQ(MessageOf([&] { cells.PutCell(0, 1048576, Number(1)); }), "Cell position is outside the sheet");
    EXPECT_EQ(MessageOf([&] { cells.PutCell(-1, 0, Number(1)); }), "Cell position is outside the sheet");
    EXPECT_EQ(cells.FindCell(-1, 0), nullptr);
    EXPECT_EQ(cells.FindCell(20000, 5), nullptr);
}

// An arena starts small, so that the many small lists of a workbook stay
// small; its first block, of any size, still fits the chunk it is cut from.
TEST(CellArena, AFirstBlockOfAnySizeFitsItsChunk) {
    for (size_t bytes : {size_t(1), size_t(512), size_t(513), size_t(1024), size_t(1025), size_t(70000)}) {
        TArena arena;
        auto* block = static_cast<uint8_t*>(arena.Allocate(bytes));
        std::fill_n(block, bytes, uint8_t(0xAB));
        auto* next = static_cast<uint8_t*>(arena.Allocate(8));
        EXPECT_TRUE(next < block || next >= block + bytes) << bytes;
        EXPECT_GE(arena.BytesReserved(), arena.BytesInUse()) << bytes;
        arena.Free(block, bytes);
        // Small blocks come back through the free lists; larger ones are the heap's.
        if (bytes <= TArena::MaxSmall) {
            EXPECT_EQ(arena.Allocate(bytes), block) << bytes;
        }
    }
}

TEST_F(Store, RandomPutsAndRemovesWalkInRowThenColumnOrder) {
    std::mt19937 rng(7);
    std::map<std::pair<int, int>, double> oracle;
    for (int i = 0; i < 4000; ++i) {
        int col = int(rng() % 600), row = int(rng() % 3000);
        if (i % 3 == 2) col = col % 384 + 16000, row += 1040000;
        if (rng() % 5 == 0) {
            cells.RemoveCell(col, row);
            oracle.erase({row, col});
        } else {
            cells.PutCell(col, row, Number(i));
            oracle[{row, col}] = i;
        }
    }
    std::vector<std::pair<int, int>> expected;
    for (auto& [pos, v] : oracle) expected.push_back(pos);
    EXPECT_EQ(Walk(cells), expected);
    EXPECT_EQ(cells.Count(), int64_t(oracle.size()));
    for (auto& [pos, v] : oracle) {
        TCell* c = cells.FindCell(pos.second, pos.first);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(static_cast<TFloatCell*>(c)->Value, v);
    }
    cells.Clear();
    EXPECT_EQ(cells.FindCell(oracle.begin()->first.second, oracle.begin()->first.first), nullptr);
    cells.CalcDimensions(16383, 1048575);
    EXPECT_EQ(cells.FirstCol + cells.LastCol + cells.FirstRow + cells.LastRow, 0);
}

TEST_F(Store, ReplacingKeepsTheFormatAndGivesTheOldStringBack) {
    int red = ColouredFormat(10);
    int before = formats.Count();
    cells.PutCell(2, 3, Text(u"old"));
    cells.FindCell(2, 3)->SetFormatIndex(red);
    TSSTEntry* old = static_cast<TStringCell*>(cells.FindCell(2, 3))->Entry();
    EXPECT_EQ(old->UsageCount, 1);
    cells.PutCell(2, 3, Number(5));
    EXPECT_EQ(cells.FindCell(2, 3)->GetFormatIndex(), red);
    EXPECT_EQ(int(strings.Count()), 0) << "a replaced string must not stay in the table";
    cells.RemoveCell(2, 3);
    holders.clear();
    EXPECT_EQ(formats.Count(), before - 1) << "the last user of a format entry is gone";
    // The same text in two cells is one entry with two uses.
    cells.PutCell(0, 0, Text(u"x"));
    cells.PutCell(1, 0, Text(u"x"));
    EXPECT_EQ(int(strings.Count()), 1);
    cells.Clear();
    EXPECT_EQ(int(strings.Count()), 0);
}

// A store cleared beside another that shares its tables gives back exactly
// its own uses of strings, formats and fonts, whether few or many strings go,
// some with font runs: the tables end as if it never was.
TEST_F(Store, ClearingOneOfTwoStoresLeavesTheOthersCounts) {
    struct Case {
        int texts;   // texts of the first store, some also in the second
        bool rich;   // every fifth with a run in a font of its own
        bool shared; // the second store holds cells too
    };
    const Case cases[] = {
        {10, false, true}, {400, false, true}, {400, false, false}, {400, true, true}, {300, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.texts) + (c.rich ? " rich" : "") + (c.shared ? " shared" : ""));
        TXFonts tf, f;
        TArena cellArena; // the first store's cells come from it, the second's from the heap
        TCellFormats twinPool{&tf, true}, pool{&f, true};
        TSST2 twinSst{&tf}, sst{&f};
        TCellValues twin{&list, &twinSst, &twinPool}, second{&list, &sst, &pool}, first{&list, &sst, &pool};
        for (int r = 0; r < 150 && c.shared; ++r)
            for (auto [store, table, p] :
                 {std::tuple(&twin, &twinSst, &twinPool), std::tuple(&second, &sst, &pool)})
                store->PutCell(0, r,
                               std::make_unique<TStringCell>(
                                   p, DefaultCellFormat, 0, 0, table,
                                   table->AddString(u"T" + std::u16string(size_t(r % 50), u'x'))));
        pool.CellArena = &cellArena;
        for (int i = 0; i < c.texts * 3; ++i) {
            const std::u16string text = u"T" + std::u16string(size_t(i % c.texts), u'x');
            TFontDesc font;
            font.Size = 8 + i % 7;
            const TSSTFontRun run{1, font};
            TSSTEntry* e =
                c.rich && i % 5 == 0 ? sst.AddFormattedString(text, std::span(&run, 1)) : sst.AddString(text);
            first.PutCell(i % 7, i, NewCell<TStringCell>(&pool, DefaultCellFormat, 0, 0, &sst, e));
            if (i % 4 == 0)
                first.PutCell(9, i, NewCell<TFloatCell>(&pool, (i / 4) % 3 + 20, 0, 0, double(i)));
            if (i % 11 == 0) first.FindCell(i % 7, i)->SetFillForeColor(10 + i % 4);
        }
        first.Clear();
        EXPECT_EQ(cellArena.BytesInUse(), 0u);
        EXPECT_EQ(sst.Count(), twinSst.Count());
        EXPECT_EQ(sst.StringCount(), twinSst.StringCount());
        EXPECT_EQ(pool.Count(), twinPool.Count());
        ASSERT_EQ(f.Count(), tf.Count());
        for (int i = 0; i < f.Count(); ++i) EXPECT_EQ(f.GetItem(i)->UsageCount, tf.GetItem(i)->UsageCount);
    }
}

TEST_F(Store, CopiesCountTheirOwnUses) {
    cells.PutCell(0, 0, Text(u"shared"));
    auto copy = cells.FindCell(0, 0)->MakeCopy();
    auto* entry = static_cast<TStringCell*>(copy.get())->Entry();
    EXPECT_EQ(entry->UsageCount, 2);
    copy.reset();
    EXPECT_EQ(entry->UsageCount, 1);

    const uint8_t tokens[] = {0x1E, 0x05, 0x00};
    TNumberFormulaCell formula(&formats, DefaultCellFormat, 1, 1, 3, tokens);
    formula.Value = 42;
    auto fcopy = formula.MakeCopy();
    EXPECT_EQ(static_cast<TNumberFormulaCell*>(fcopy.get())->Value, 0)
        << "no cached result until recalculated";
    EXPECT_EQ(static_cast<TFormulaCell*>(fcopy.get())->TokenLength(), 3);

    uint8_t array[16] = {0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0x1E, 0x01};
    TNumberArrayFormulaCell arrayCell(&formats, DefaultCellFormat, 0, 0, 3, tokens, 0, array);
    arrayCell.Value = 7;
    auto acopy = arrayCell.MakeCopy();
    EXPECT_EQ(static_cast<TNumberArrayFormulaCell*>(acopy.get())->Value, 7);
    EXPECT_EQ(static_cast<TBaseArrayFormulaCell*>(acopy.get())->GetArrayTokens().size(), 2u);

    // A formula kept as text stays text: as tokens its bytes are garbage.
    TStringFormulaCell text(&formats, DefaultCellFormat, 0, 0, "SUM(A1:A3)", 4, 1);
    auto tcopy = text.MakeCopy();
    auto* t = static_cast<TFormulaCell*>(tcopy.get());
    EXPECT_TRUE(t->IsText());
    EXPECT_EQ(t->GetFormulaText(), u"SUM(A1:A3)");
    EXPECT_EQ(t->SharedLink(), NoSharedFormula);
}

TEST_F(Store, CellsRefuseValuesOutsideTheirRange) {
    EXPECT_EQ(MessageOf([&] { TErrorCell(&formats, 15, 0, 0, 0); }), "Invalid cell error value");
    EXPECT_EQ(MessageOf([&] { TErrorCell(&formats, 15, 0, 0, 8); }), "Invalid cell error value");
    uint8_t shortArray[13] = {};
    EXPECT_EQ(MessageOf([&] {
                  TNumberArrayFormulaCell(&formats, 15, 0, 0, 0, std::span<const uint8_t>(), 0, shortArray);
              }),
              "Invalid ARRAY record");
    TFloatCell beyond(&formats, 5000, 0, 0, 1);
    EXPECT_EQ(beyond.GetFormatIndex(), DefaultCellFormat);
}

TEST_F(Store, SharedFormulaCellsCannotGoWithoutFormulaServices) {
    TCellStorage plain;
    plain.PutCell(0, 0, std::make_unique<TNumberFormulaCell>(&formats, 15, 0, 0, "A1", 2, 0));
    EXPECT_EQ(MessageOf([&] { plain.RemoveCell(0, 0); }), "Can not delete shared formula");
    EXPECT_NE(plain.FindCell(0, 0), nullptr);
    int reported = 0;
    list.OnSharedFormulaRemoved = [&](TCellValues&, TCell&) { ++reported; };
    cells.PutCell(0, 0, std::make_unique<TNumberFormulaCell>(&formats, 15, 0, 0, "A1", 2, 0));
    cells.PutCell(0, 0, Number(1));
    EXPECT_EQ(reported, 1);
    plain.Clear();
}

TEST_F(Store, BlankRunsEndAtAGap) {
    cells.PutCell(0, 0, Blank());
    cells.PutCell(1, 0, Blank());
    cells.PutCell(3, 0, Blank());
    cells.PutCell(4, 1, Blank());
    cells.BeginIterate();
    TCell* first = cells.NextCell();
    EXPECT_EQ(first->Col, 0);
    TCell* second = cells.NextBlankInRow();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Col, 1);
    EXPECT_EQ(cells.NextBlankInRow(), nullptr) << "column 2 is empty";
    EXPECT_EQ(cells.NextCell()->Col, 3);
    EXPECT_EQ(cells.NextBlankInRow(), nullptr) << "the next blank is in another row";
    EXPECT_EQ(cells.NextCell()->Row, 1u);
}

TEST_F(Store, DisplayTextFollowsTheNumberFormat) {
    auto withNumberFormat = [&](int numberFormat, double value = 1234.5) {
        TBlankCell holder(&formats, DefaultCellFormat, 0, 0);
        TCellFormat working(&formats, DefaultCellFormat);
        working.SetNumberFormatIndex(numberFormat);
        holder.SetFormat(working);
        cells.PutCellKeepFormat(0, 0, Number(value, holder.GetFormatIndex()));
        return cells.GetDisplayText(0, 0);
    };
    EXPECT_EQ(withNumberFormat(0), u"1234.5");
    EXPECT_EQ(withNumberFormat(11), u"1.23E+03");
    // The built-in fractions as the spreadsheet programs show them: a
    // fraction of zero leaves blanks, a carry goes to the whole part.
    EXPECT_EQ(withNumberFormat(12), u"1234 1/2");
    EXPECT_EQ(withNumberFormat(12, -0.5), u"- 1/2");
    EXPECT_EQ(withNumberFormat(12, 2.9999999), u"3    ");
    EXPECT_EQ(withNumberFormat(13, 0.01), u"  1/99");
    EXPECT_EQ(withNumberFormat(2), u"1234.50");
    platform::RegionalSettings rs;
    rs.shortDateFormat = "dd.MM.yyyy";
    rs.longTimeFormat = "H:mm:ss";
    platform::SetRegional(rs);
    EXPECT_EQ(withNumberFormat(14, 45000.75), u"15.03.2023");
    EXPECT_EQ(withNumberFormat(20, 45000.75), u"18:00");
    platform::SetRegional(platform::RegionalSettings());

    LibState().StrTRUE = u"Yes";
    cells.PutCell(1, 0, std::make_unique<TBooleanCell>(&formats, 15, 1, 0, 1));
    EXPECT_EQ(cells.GetDisplayText(1, 0), u"Yes");
    cells.PutCell(2, 0, std::make_unique<TErrorCell>(&formats, 15, 2, 0, 7));
    EXPECT_EQ(cells.GetDisplayText(2, 0), u"N/A");
    EXPECT_EQ(cells.GetDisplayText(9, 9), u"");
}
