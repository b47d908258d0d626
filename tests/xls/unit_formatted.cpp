// Copy-change-intern of formats and fonts, a recount of every pool's usage
// counts after random operations, and the sheet's working format, prepared
// outside the pool so that getting a format ready never adds or counts
// pool entries.
#include "SrcXLS/model/ApplyFormat.h"
#include "SrcXLS/model/FormattedObject.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace xls;

namespace {

struct Workbook {
    TXFonts fonts;
    TCellFormats formats{&fonts, true};
    TCellFormats second{&fonts, false};
};

// A cell: one counted use of its format while it lives.
struct Cell : TFormattedObject {
    explicit Cell(TCellFormats* pool, int index = DefaultCellFormat)
        : TFormattedObject(pool, DefaultCellFormat) {
        SetFormatIndex(index);
    }
    ~Cell() override { ReleaseFormat(); }
};

struct Row : TFormattedObjectNotify {
    using TFormattedObjectNotify::TFormattedObjectNotify;
    int OwnerNumber() const override { return 7; }
    int hooks = 0;

protected:
    void AfterChange() override { ++hooks; }
};

} // namespace

TEST(FormattedObject, SharedEntriesAndDeletionRenumbering) {
    Workbook wb;
    Cell a(&wb.formats), b(&wb.formats), c(&wb.formats);
    // The same value twice adds one entry, used once.
    a.SetFillForeColor(10);
    a.SetFillForeColor(10);
    ASSERT_EQ(wb.formats.Count(), 23);
    EXPECT_EQ(a.Format()->UsageCount, 1);
    EXPECT_TRUE(a.IsFormatted());
    b.SetFillForeColor(10);
    EXPECT_EQ(a.Format(), b.Format());
    EXPECT_EQ(a.Format()->UsageCount, 2);
    c.SetBorderTopStyle(2);
    TCellFormat* cEntry = c.Format();
    EXPECT_EQ(cEntry->PoolIndex, 23);
    a.SetFillForeColor(64);
    EXPECT_EQ(b.Format()->UsageCount, 1);
    b.SetFillPattern(0);
    b.SetFillBackColor(64);
    b.SetFillForeColor(64);
    // b's old entry went away: c keeps its entry object, whose index moved down.
    EXPECT_EQ(c.Format(), cEntry);
    EXPECT_EQ(cEntry->PoolIndex, 22);
    EXPECT_EQ(wb.formats[22], cEntry);
}

TEST(FormattedObject, BoldOnTwoCellsSharesFontAndFormat) {
    Workbook wb;
    Cell a(&wb.formats), b(&wb.formats);
    a.SetFontStyle(xfsBold);
    ASSERT_EQ(wb.fonts.Count(), 6);
    EXPECT_EQ(wb.fonts.GetItem(5)->UsageCount, 1);
    EXPECT_EQ(a.GetFontIndex(), 5);
    int formats = wb.formats.Count();
    b.SetFontStyle(xfsBold);
    EXPECT_EQ(wb.fonts.Count(), 6);
    EXPECT_EQ(wb.formats.Count(), formats);
    EXPECT_EQ(a.Format(), b.Format());
    EXPECT_EQ(b.GetFontStyle(), xfsBold);
}

TEST(FormattedObject, FontDeletionLowersLaterFontIndexesInBothPools) {
    Workbook wb;
    wb.second.ResetDefaults();
    Cell a(&wb.formats), b(&wb.formats), c(&wb.second);
    a.SetFontName(u"Times");
    b.SetFontName(u"Courier");
    ASSERT_EQ(b.GetFontIndex(), 6);
    c.SetFontName(u"Courier"); // the second pool shares the font pool
    EXPECT_EQ(c.GetFontIndex(), 6);
    a.SetFontName(u"Arial");
    EXPECT_EQ(wb.fonts.Count(), 6);
    EXPECT_EQ(b.GetFontIndex(), 5);
    EXPECT_EQ(c.GetFontIndex(), 5);
    EXPECT_EQ(b.GetFontName(), u"Courier");
    EXPECT_EQ(c.GetFontName(), u"Courier");
}

TEST(FormattedObject, FontStaysWhileACopiedCellStillUsesIt) {
    Workbook wb;
    auto a = std::make_unique<Cell>(&wb.formats);
    a->SetFontStyle(xfsBold);
    Cell copy(&wb.formats, a->GetFormatIndex()); // a copied cell shares the entry
    a->SetFontStyle(0);
    EXPECT_EQ(copy.GetFontStyle(), xfsBold);
    EXPECT_EQ(wb.fonts.Count(), 6);
    a.reset();
    copy.SetFontStyle(0);
    EXPECT_EQ(wb.fonts.Count(), 5);
}

TEST(FormattedObject, RowsTellTheirListAboutChangesOnly) {
    Workbook wb;
    Row row(&wb.formats, DefaultCellFormat);
    std::vector<std::pair<TCellFormat*, int>> calls;
    row.OnChange = [&](TCellFormat* f, int owner) { calls.push_back({f, owner}); };
    row.SetFillForeColor(12);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, row.Format());
    EXPECT_EQ(calls[0].second, 7);
    row.SetFillForeColor(12);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(row.hooks, 2);
    row.ReleaseFormat();
}

TEST(FormattedObject, OutOfRangeIndexFallsBackToTheDefaultFormat) {
    Workbook wb;
    Cell a(&wb.formats, 5000);
    EXPECT_EQ(a.GetFormatIndex(), DefaultCellFormat);
    Cell b(&wb.formats);
    b.SetFillPattern(2);
    int own = b.GetFormatIndex();
    b.SetFormatIndex(own); // re-pointing to its only use keeps the entry
    EXPECT_EQ(b.GetFormatIndex(), own);
    EXPECT_EQ(b.Format()->UsageCount, 1);
}

TEST(FormattedObject, RecountedUsageMatchesAfterRandomOperations) {
    Workbook wb;
    wb.second.Add();
    wb.second.MarkPermanent();
    std::mt19937 gen(20240611);
    std::vector<std::unique_ptr<Cell>> cells;
    const char16_t* names[] = {u"Arial", u"Times", u"Courier", u"Verdana"};
    const char16_t* masks[] = {u"", u"0.00", u"0.000", u"#,##0.0", u"d/m/yy"};
    auto pick = [&](int n) { return int(gen() % unsigned(n)); };
    for (int step = 0; step < 20000; ++step) {
        if (cells.size() < 40 || pick(10) == 0) {
            TCellFormats* pool = pick(4) ? &wb.formats : &wb.second;
            if (pool->Count() == 0) pool = &wb.formats;
            cells.push_back(std::make_unique<Cell>(pool, pick(pool->Count())));
        }
        Cell& c = *cells[pick(int(cells.size()))];
        int lastOp = pick(12);
        switch (lastOp) {
        case 0:
            c.SetFillForeColor(pick(3) ? 8 + pick(6) : 64);
            break;
        case 1:
            c.SetFillPattern(pick(3));
            break;
        case 2:
            c.SetBorderLeftStyle(pick(3));
            break;
        case 3:
            c.SetFontStyle(pick(4));
            break;
        case 4:
            c.SetFontName(names[pick(4)]);
            break;
        case 5:
            c.SetFontColor(8 + pick(4));
            break;
        case 6:
            c.SetNumberFormat(masks[pick(5)]);
            break;
        case 7: { // copy: a new cell on the same entry
            auto copy = std::make_unique<Cell>(c.Pool(), c.GetFormatIndex());
            cells.push_back(std::move(copy));
            break;
        }
        case 8:
            cells.erase(cells.begin() + pick(int(cells.size())));
            break;
        case 9:
            c.SetFormatIndex(pick(c.Pool()->Count()));
            break;
        case 10:
            c.SetFontSize20(uint32_t(160 + 20 * pick(3)));
            break;
        default:
            c.SetHorizAlignment(pick(4));
            break;
        }
    }

    std::map<const TCellFormat*, int> formatUses;
    for (const auto& c : cells) {
        ASSERT_EQ(c->Pool()->GetItem(c->GetFormatIndex()), c->Format());
        ++formatUses[c->Format()];
    }
    std::vector<int> fontUses(size_t(wb.fonts.Count()), 0);
    for (TCellFormats* pool : {&wb.formats, &wb.second}) {
        for (int i = 0; i < pool->Count(); ++i) {
            TCellFormat* f = (*pool)[i];
            ASSERT_EQ(f->PoolIndex, i);
            ASSERT_LT(f->GetFontIndex(), wb.fonts.Count());
            ++fontUses[size_t(f->GetFontIndex())];
            if (i >= pool->PermanentCount()) {
                EXPECT_EQ(f->UsageCount, formatUses[f]) << "entry " << i;
            }
        }
    }
    int counted = 0;
    for (int i = wb.fonts.PermanentCount(); i < wb.fonts.Count(); ++i) {
        EXPECT_EQ(wb.fonts.GetItem(i)->UsageCount, fontUses[size_t(i)]) << "font " << i;
        EXPECT_GT(fontUses[size_t(i)], 0);
        ++counted;
    }
    EXPECT_GT(counted, 3);
    for (TCellFormats* pool : {&wb.formats, &wb.second}) {
        auto& list = pool->NumberFormats();
        for (int p = 0; p < list.Count(); ++p) {
            TNumberFormat* nf = list.GetItem(p);
            if (nf->Index > LastBuiltInNumberFormat) {
                int uses = 0;
                for (int i = 0; i < pool->Count(); ++i)
                    uses += (*pool)[i]->GetNumberFormatIndex() == nf->Index;
                EXPECT_EQ(nf->UsageCount, uses) << "number format " << nf->Index;
            }
        }
    }
    cells.clear();
    for (TCellFormats* pool : {&wb.formats, &wb.second}) EXPECT_EQ(pool->Count(), pool->PermanentCount());
    EXPECT_EQ(wb.fonts.Count(), wb.fonts.PermanentCount());
}

TEST(ApplyFormat, WorkingFormatStaysOutOfThePool) {
    Workbook wb;
    int count = wb.formats.Count();
    TApplyFormat holder(&wb.formats, nullptr);
    holder.Format().SetFillForeColor(10);
    holder.Format().SetNumberFormat(u"0.00");
    EXPECT_FALSE(holder.Format().InPool());
    EXPECT_EQ(holder.Format().Pool(), &wb.formats);
    EXPECT_EQ(wb.formats.Count(), count);
    EXPECT_EQ(wb.formats.IndexOfEqual(holder.Format()), -1);
}
