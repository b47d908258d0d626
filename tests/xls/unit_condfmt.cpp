#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/ConditionalFormats.h"

#include "support_biffbuild.h"
#include "support_files.h"
#include "support_messages.h"
#include "support_state.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace biffbuild;

namespace {

std::vector<Record> WrittenRecords(const TConditionalFormats& formats) {
    return Records(Written([&](TXLSStream& s) { formats.WriteCondFmts(s); }), true);
}

// Reads CONDFMT records with the CF records after them, as the reader does.
void ReadBack(const std::vector<Record>& records, TConditionalFormats& into) {
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].Id != condfmt::CONDFMT) continue;
        size_t next = i + 1;
        into.ReadCondFmt(records[i].Body, [&](std::vector<uint8_t>& cf) {
            if (next >= records.size() || records[next].Id != condfmt::CF) return false;
            cf = records[next++].Body;
            return true;
        });
    }
}

} // namespace

TEST(ConditionalFormats, FontBorderAndPatternProperties) {
    TCondFmtData c;
    EXPECT_FALSE(c.Used());
    EXPECT_EQ(c.FmtFont.GetColor(), 64);
    EXPECT_EQ(c.FmtFont.GetHeight20(), 0u);
    // Bold and strike-out: weight 700, options 0x80, modified flags 0x18.
    c.FmtFont.SetFontStyle(xfsBold | xfsStrikeOut);
    EXPECT_EQ(GetU16(c.FmtFont.Block.data() + 72), 700);
    EXPECT_EQ(GetU32(c.FmtFont.Block.data() + 68), 0x80u);
    EXPECT_EQ(GetU32(c.FmtFont.Block.data() + 88), 0x18u);
    EXPECT_EQ(c.FmtFont.GetFontStyle(), xfsBold | xfsStrikeOut);
    c.FmtFont.SetFontStyle(xfsItalic);
    EXPECT_EQ(GetU32(c.FmtFont.Block.data() + 88), 0x98u);
    EXPECT_EQ(c.FmtFont.GetFontStyle(), xfsItalic);
    c.FmtFont.SetColor(10 + 128);
    EXPECT_EQ(c.FmtFont.GetColor(), 10);
    c.FmtFont.SetColor(64);
    EXPECT_EQ(GetU32(c.FmtFont.Block.data() + 80), 0xFFFFFFFFu);
    struct {
        TXUnderline u;
        uint8_t code;
    } underlines[] = {{TXUnderline::xulNone, 0},
                      {TXUnderline::xulSingle, 1},
                      {TXUnderline::xulDouble, 2},
                      {TXUnderline::xulSingleAccount, 0x21},
                      {TXUnderline::xulDoubleAccount, 0x22}};
    for (auto [u, code] : underlines) {
        c.FmtFont.SetUnderline(u);
        EXPECT_EQ(c.FmtFont.Block[76], code);
        EXPECT_EQ(c.FmtFont.GetUnderline(), u);
    }
    EXPECT_EQ(GetU32(c.FmtFont.Block.data() + 96), 0u);
    c.FmtFont.SetHeight20(240);
    EXPECT_TRUE(c.FmtFont.Used);
    c.FmtFont.SetHeight20(0);
    EXPECT_FALSE(c.FmtFont.Used);

    // One side's style or colour leaves the others.
    TCondFmtBorder& b = c.FmtBorder;
    EXPECT_EQ(GetU32(b.Block.data() + 2), 0x20402040u);
    b.SetStyle(0, 1);
    b.SetStyle(2, 1);
    b.SetStyle(2, 6); // thin to double on top
    EXPECT_EQ(GetU16(b.Block.data()), 0x0601);
    EXPECT_EQ(b.GetStyle(2), 6);
    b.SetColor(2, 10);
    EXPECT_EQ(GetU32(b.Block.data() + 2), (0x20402040u & ~(0x7Fu << 16)) | (10u << 16));
    EXPECT_EQ((std::array<bool, 4>{true, false, true, false}), b.UsedSides);
    b.SetStyle(0, 0);
    EXPECT_FALSE(b.UsedSides[0]);

    TCondFmtPattern& p = c.FmtPattern;
    EXPECT_EQ(p.GetBackColor(), 64);
    p.SetFillPattern(1);
    p.SetBackColor(13);
    p.SetForeColor(64);
    EXPECT_EQ(GetU16(p.Block.data()), 1 << 10);
    EXPECT_EQ(GetU16(p.Block.data() + 2), 13);
    EXPECT_TRUE(p.UsedPattern && p.UsedBack);
    EXPECT_FALSE(p.UsedFore);
    EXPECT_EQ(p.GetForeColor(), 64);
}

// Formula texts in the separators of a locale with ",".
struct CommaLocale : FreshLibState {
    void SetUp() override {
        FreshLibState::SetUp();
        LibState().Locale.ListSeparator = u',';
        LibState().Locale.DecimalSeparator = u'.';
    }
};

TEST_F(CommaLocale, ConditionalFormatsWrittenAndReadBack) {
    // Formulas take the workbook's formula services: the sheets' collections.
    TTabrix4 book;
    book.Sheets().Add(0);
    TConditionalFormats& formats = book.GetSheet(0).ConditionalFormats();
    // Nothing to write: no area, or no condition in use.
    formats.Add().Condition1.FmtFont.SetFontStyle(xfsBold);
    formats.Add().Areas.AddArea(0, 0, 1, 1);
    TConditionalFormat& f = formats.Add();
    f.Areas.AddArea(1, 4, 2, 8);
    f.Areas.AddArea(5, 0, 5, 0);
    f.Condition1.SetCompOperator(TConditionOperator::coBetween);
    f.Condition1.SetFormula1(u"3");
    f.Condition1.SetFormula2(u"5.5");
    f.Condition1.FmtFont.SetFontStyle(xfsBold);
    f.Condition1.FmtPattern.SetBackColor(13);
    f.Condition3.SetCompareCell(false);
    f.Condition3.SetFormula1(u"SUM(A1:B2)>7");
    f.Condition3.FmtBorder.SetStyle(3, 2);

    const auto records = WrittenRecords(formats);
    ASSERT_EQ(IdsOf(records), (std::vector<uint16_t>{condfmt::CONDFMT, condfmt::CF, condfmt::CF}));
    // Two conditions in use; the bounding rectangle; two areas.
    EXPECT_EQ(records[0].Body, Body()
                                   .U16(2)
                                   .U16(1)
                                   .U16(0)
                                   .U16(8)
                                   .U16(1)
                                   .U16(5)
                                   .U16(2)
                                   .U16(4)
                                   .U16(8)
                                   .U16(1)
                                   .U16(2)
                                   .U16(0)
                                   .U16(0)
                                   .U16(5)
                                   .U16(5)
                                   .b);
    // Font and pattern blocks before the formulas: 12 + 118 + 4 bytes.
    const uint32_t flags = GetU32(records[1].Body.data() + 6);
    EXPECT_EQ(flags & 0x7E000000, condfmt::FontBlock | condfmt::PatternBlock);
    EXPECT_EQ(flags & 0x70000, 0x50000u); // the back colour applies
    EXPECT_EQ(records[1].Body.size(), 12u + 118 + 4 + 3 + 9);
    EXPECT_EQ(GetU32(records[2].Body.data() + 6) & condfmt::BorderBlock, condfmt::BorderBlock);
    EXPECT_EQ(GetU32(records[2].Body.data() + 6) & 0x2000, 0u); // the bottom side applies

    TConditionalFormats& back = book.GetSheet(1).ConditionalFormats();
    ReadBack(records, back);
    ASSERT_EQ(back.Count(), 1);
    const TConditionalFormat& g = back.Items(0);
    ASSERT_EQ(g.Areas.Count(), 2);
    EXPECT_EQ(g.Areas.GetItem(0).Row2, 8u);
    EXPECT_EQ(g.Condition1.GetCompOperator(), TConditionOperator::coBetween);
    EXPECT_EQ(g.Condition1.GetFormula1(), u"3");
    EXPECT_EQ(g.Condition1.GetFormula2(), u"5.5");
    EXPECT_EQ(g.Condition1.FmtFont.GetFontStyle(), xfsBold);
    EXPECT_EQ(g.Condition1.FmtPattern.GetBackColor(), 13);
    EXPECT_FALSE(g.Condition2.GetCompareCell());
    EXPECT_EQ(g.Condition2.GetFormula1(), u"SUM(A1:B2)>7");
    EXPECT_EQ(g.Condition2.FmtBorder.GetStyle(3), 2);
    // The same records again.
    EXPECT_EQ(WrittenRecords(back), records);
    // Text that does not compile raises and keeps the formula.
    EXPECT_NE(MessageOf([&] { f.Condition1.SetFormula1(u"3+"); }), "(no exception)");
    EXPECT_EQ(f.Condition1.GetFormula1(), u"3");
}

TEST(ConditionalFormats, BlocksNotModelledAndConditionsWithoutAFormatAreKept) {
    // Number format (a built-in one), alignment and protection blocks, then
    // a formula; and a condition without any block.
    Body withBlocks = Body().U8(1).U8(3).U16(3).U16(0).U32(condfmt::NumberBlock | condfmt::AlignmentBlock |
                                                           condfmt::ProtectionBlock | 0x3FFFFF);
    withBlocks.U16(0).Raw({0, 14}).Raw({1, 2, 3, 4, 5, 6, 7, 8}).Raw({9, 10}).Raw({0x1E, 0x07, 0x00});
    Body bare = Body().U8(2).U8(0).U16(3).U16(0).U32(0x3FFFFF).U16(0).Raw({0x1E, 0x01, 0x00});
    Body condfmt = Body().U16(2).U16(1).U16(0).U16(0).U16(0).U16(0).U16(1).U16(0).U16(0).U16(0).U16(0);
    std::vector<Record> records = {
        {condfmt::CONDFMT, condfmt.b}, {condfmt::CF, withBlocks.b}, {condfmt::CF, bare.b}};
    TConditionalFormats formats;
    ReadBack(records, formats);
    ASSERT_EQ(formats.Count(), 1);
    EXPECT_EQ(formats.Items(0).Condition1.Alignment, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(WrittenRecords(formats), records);
}

// The format refuses a record that does not read; the sheet reader then
// leaves out that format alone, with a warning (see the BIFF reader's items).
TEST(ConditionalFormats, MalformedRecordsAreRefused) {
    auto condfmt = [](uint16_t count, uint16_t ranges, size_t rangeBytes) {
        return Body().U16(count).U16(1).Raw(Bytes(8, 0)).U16(ranges).Raw(Bytes(rangeBytes, 0)).b;
    };
    const Bytes cf = Body().U8(1).U8(3).U16(0).U16(0).U32(0x3FFFFF).U16(0).b;
    struct Case {
        const char* what;
        Bytes condfmt;
        std::vector<Bytes> cfs;
        std::string message;
    } cases[] = {
        {"ranges past the body", condfmt(1, 3, 16), {cf}, "Record too short: ranges beyond the end"},
        {"a formula past the body",
         condfmt(1, 1, 8),
         {Body().U8(1).U8(3).U16(10).U16(0).U32(0).U16(0).b},
         "Record too short: formula 1"},
        {"a font block cut",
         condfmt(1, 1, 8),
         {Body().U8(1).U8(3).U16(0).U16(0).U32(condfmt::FontBlock).U16(0).Raw(Bytes(50, 0)).b},
         "Record too short: font block"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TConditionalFormats formats;
        size_t next = 0;
        const std::string m = MessageOf([&] {
            formats.ReadCondFmt(c.condfmt, [&](std::vector<uint8_t>& body) {
                if (next >= c.cfs.size()) return false;
                body = c.cfs[next++];
                return true;
            });
        });
        EXPECT_NE(m.find(c.message), std::string::npos) << m;
    }
}

// Some writers put an empty record where a condition BIFF8 cannot hold (a
// colour scale, a data bar) would stand: the format keeps the conditions
// present and is left out without any.
TEST(ConditionalFormats, AFormatWithoutItsCFRecordsKeepsWhatIsThere) {
    auto condfmt = [](uint16_t count) {
        return Body().U16(count).U16(1).U16(0).U16(9).U16(2).U16(2).U16(1).U16(0).U16(9).U16(2).U16(2).b;
    };
    const Bytes cf = Body().U8(1).U8(3).U16(0).U16(0).U32(0x3FFFFF).U16(0).b;
    struct Case {
        const char* what;
        uint16_t count;
        std::vector<Bytes> cfs;
        int missing, formats;
        size_t beyond = 0;
    } cases[] = {
        {"no CF at all", 1, {}, 1, 0},          {"one of two", 2, {cf}, 1, 1},
        {"all three", 3, {cf, cf, cf}, 0, 1},   {"a count of none", 0, {}, 0, 0},
        {"four", 4, {cf, cf, cf, cf}, 0, 1, 1}, {"five, one of them missing", 5, {cf, cf, cf, cf}, 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TConditionalFormats formats;
        formats.Add().Areas.AddArea(0, 0, 0, 0); // one read before stays
        size_t next = 0;
        const auto read = formats.ReadCondFmt(condfmt(c.count), [&](std::vector<uint8_t>& body) {
            if (next >= c.cfs.size()) return false;
            body = c.cfs[next++];
            return true;
        });
        EXPECT_EQ(read.Missing, c.missing);
        EXPECT_EQ(read.Beyond.size(), c.beyond);
        ASSERT_EQ(formats.Count(), 1 + c.formats);
        EXPECT_EQ(next, c.cfs.size());
        if (c.formats == 0) continue;
        const TConditionalFormat& f = formats.Items(1);
        ASSERT_EQ(f.Areas.Count(), 1);
        EXPECT_EQ(f.Areas[0].Col2, 2u);
        EXPECT_EQ(f.Areas[0].Row2, 9u);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(f.Condition(i).Written(), i < int(c.cfs.size())) << i;
        for (const auto& named : read.Beyond) EXPECT_EQ(named, u"cell value = ");
    }
}

// LibreOffice writes an empty 0xFFFF record where a condition BIFF8 cannot
// hold stood, between a CONDFMT and its CF records: the real conditions stay
// with their CONDFMT, whose count becomes what is written, and a CF that no
// CONDFMT takes is left out with a warning, never written without one.
TEST(ConditionalFormats, CFRecordsStayWithTheirCondFmt) {
    const Bytes condfmt2 =
        Body().U16(2).U16(1).U16(0).U16(9).U16(0).U16(0).U16(1).U16(0).U16(9).U16(0).U16(0).b;
    Bytes condfmt1 = condfmt2;
    condfmt1[0] = 1;
    const Bytes cf = Body().U8(2).U8(0).U16(3).U16(0).U32(0x3FFFFF).U16(0).Raw({0x1E, 0x05, 0x00}).b;
    Bytes condfmt0 = condfmt2, condfmt5 = condfmt2;
    condfmt0[0] = 0;
    condfmt5[0] = 5;
    const Bytes equal = Body().U8(1).U8(3).U16(3).U16(0).U32(0x3FFFFF).U16(0).Raw({0x1E, 0x07, 0x00}).b;
    const Record cond2{condfmt::CONDFMT, condfmt2}, cond1{condfmt::CONDFMT, condfmt1}, empty{0xFFFF, {}},
        cfRecord{condfmt::CF, cf}, cond0{condfmt::CONDFMT, condfmt0}, cond5{condfmt::CONDFMT, condfmt5},
        cfEqual{condfmt::CF, equal};
    const struct {
        const char* Name;
        std::vector<Record> Records;
        std::vector<size_t> Conditions; // per CONDFMT written
        const char* Warning;
    } cases[] = {
        {"an empty record before the CF", {cond2, empty, cfRecord}, {1}, "1 of the 2 conditions"},
        {"an empty record between two CFs", {cond2, cfRecord, empty, cfRecord}, {2}, nullptr},
        {"a CF without a CONDFMT", {cfRecord}, {}, "CF record without its CONDFMT"},
        {"a CF past the count", {cond1, cfRecord, cfRecord}, {1}, "CF record without its CONDFMT"},
        {"a CONDFMT without conditions", {cond0}, {}, "on A1:A10 was left out: it has no conditions"},
        {"five conditions on one range",
         {cond5, cfRecord, cfRecord, cfRecord, cfRecord, cfEqual},
         {3},
         "the conditions past the third of the format on A1:A10 were left out (4: formula 5; 5: cell value = "
         "7)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Stream all;
        all.Bof8(0x0005).BoundSheet8("S").Eof().Bof8(0x0010);
        for (const Record& r : c.Records) all.Rec(r.Id, r.Body);
        all.Eof();
        const Bytes image = CompoundImage(all.Data());
        TTabrix4 book;
        ReadWorkbookFile(book, &image);
        book.AfterRead();
        bool warned = false;
        for (const auto& w : book.Warnings()) warned |= c.Warning && w.find(c.Warning) != std::string::npos;
        EXPECT_EQ(warned, c.Warning != nullptr) << testing::PrintToString(book.Warnings());
        EXPECT_EQ(book.Warnings().size(), c.Warning ? 1u : 0u);

        testfiles::ScratchDir dir;
        book.SetFilename(Utf8ToWide(dir.File("back.xls")));
        book.Write();
        const auto records = Substreams(WorkbookStream(testfiles::Slurp(dir.File("back.xls")))).at(1);
        std::vector<size_t> conditions;
        for (size_t i = 0; i < records.size(); ++i) {
            if (records[i].Id == condfmt::CF) {
                ASSERT_TRUE(records[i - 1].Id == condfmt::CONDFMT || records[i - 1].Id == condfmt::CF);
                continue;
            }
            if (records[i].Id != condfmt::CONDFMT) continue;
            size_t n = 0;
            while (i + 1 + n < records.size() && records[i + 1 + n].Id == condfmt::CF) ++n;
            EXPECT_EQ(GetU16(records[i].Body.data()), n);
            conditions.push_back(n);
        }
        EXPECT_EQ(conditions, c.Conditions);
    }
}
