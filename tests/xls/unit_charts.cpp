// Chart record trees from hostile substreams, the built-in sequences, and
// the chart model over them: binding, series ranges and names, geometry,
// gel frames and the errors of trees the model cannot stand on.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/drawing/ChartModel.h"
#include "support_drawing.h"
#include "support_files.h"

#include <gtest/gtest.h>

using namespace xls;
using biffbuild::Bytes;
using biffbuild::Record;

namespace {

// The tree as ids in hex, children in parentheses.
std::string Shape(const TChartRecord& r) {
    std::string out;
    char id[8];
    for (int i = 0; i < r.Count(); ++i) {
        std::snprintf(id, sizeof id, "%s%04X", i ? " " : "", r.Child(i).Id);
        out += id;
        if (r.Child(i).Count()) out += "(" + Shape(r.Child(i)) + ")";
    }
    return out;
}

// Reads the records (nothing after them) into a tree: "" or the error.
std::string ReadTree(const std::vector<Record>& records, TChartRecord& root, TXFonts* fonts = nullptr) {
    biffbuild::Stream s;
    s.Bof8(0x0010);
    for (const auto& r : records) s.Rec(r.Id, r.Body);
    Bytes image = biffbuild::CompoundImage(s.Data());
    TXLSStream stream;
    stream.SourceStream = &image;
    stream.OpenRead("");
    TBIFFHeader h;
    stream.ReadHeader(h);
    stream.Seek(h.Length, 1);
    try {
        ReadChartRecords(root, stream, {fonts, nullptr});
    } catch (const XLSError& e) {
        return e.what();
    }
    return "";
}

std::vector<Record> Written(const TChartRecord& root) {
    return drawingtest::WrittenRecords([&](TXLSStream& s) { WriteChartRecords(root, s, nullptr); });
}

constexpr uint16_t BOF = 0x0809, EOFR = 0x000A, BEGIN = 0x1033, END = 0x1034;
const Bytes Bof = {0x00, 0x06, 0x20, 0x00};

} // namespace

TEST(ChartRecords, SubstreamsAsTheyComeAndAsTheyBreak) {
    std::vector<Record> deep = {{BOF, Bof}};
    for (int i = 0; i < 70; ++i) deep.insert(deep.end(), {{0x1032, {0, 0, 0, 0}}, {BEGIN, {}}});
    deep.push_back({EOFR, {}});
    struct Case {
        const char* Name;
        std::vector<Record> Records;
        const char* Error;
        const char* Tree;
    } cases[] = {
        {"whole",
         {{BOF, Bof},
          {0x1002, {}},
          {BEGIN, {}},
          {0x1003, {}},
          {BEGIN, {}},
          {0x1051, {}},
          {END, {}},
          {END, {}},
          {EOFR, {}}},
         "",
         "0809 1002(1003(1051)) 000A"},
        {"no end",
         {{BOF, Bof}, {0x1002, {}}, {BEGIN, {}}, {0x1003, {}}},
         "Chart substream ends before its EOF",
         ""},
        {"nesting never closes",
         {{BOF, Bof}, {0x1002, {}}, {BEGIN, {}}, {0x1003, {}}, {BEGIN, {}}, {0x1051, {}}, {EOFR, {}}},
         "",
         "0809 1002(1003(1051)) 000A"},
        {"END with nothing open", {{BOF, Bof}, {END, {}}, {0x1002, {}}, {EOFR, {}}}, "", "0809 1002 000A"},
        {"BEGIN first", {{BEGIN, {}}, {0x1002, {}}, {END, {}}, {EOFR, {}}}, "", "1002 000A"},
        {"nested substream",
         {{BOF, Bof}, {BOF, Bof}, {EOFR, {}}, {0x1002, {}}, {EOFR, {}}},
         "",
         "0809 0809 000A 1002 000A"},
        {"nesting too deep", deep, "Chart records nested too deeply", ""},
        {"frames apart only by an END with nothing open",
         {{BOF, Bof}, {0x1066, {1}}, {END, {}}, {0x1066, {2}}, {0x1066, {3}}, {EOFR, {}}},
         "",
         "0809 1066 000A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TChartRecord root(nullptr, chartid::Root);
        EXPECT_EQ(ReadTree(c.Records, root), c.Error);
        if (*c.Error) continue;
        EXPECT_EQ(Shape(root), c.Tree);
        // Written back, it nests as it reads: BEGIN and END balanced.
        TChartRecord again(nullptr, chartid::Root);
        EXPECT_EQ(ReadTree(Written(root), again), "");
        EXPECT_EQ(Shape(again), c.Tree);
    }
}

TEST(ChartRecords, FontsBeyondThePoolKeepTheirIndex) {
    TXFonts fonts;
    fonts.Add();
    TChartRecord root(nullptr, chartid::Root);
    ASSERT_EQ(ReadTree({{BOF, Bof},
                        {0x1060, {1, 2, 3, 4, 5, 6, 7, 8, 40, 0}},
                        {0x1026, {41, 0}},
                        {0x1026, {0, 0}},
                        {EOFR, {}}},
                       root, &fonts),
              "");
    EXPECT_EQ(root.Child(1).Font, nullptr);
    EXPECT_EQ(root.Child(3).Font, fonts.GetItem(0));
    auto out = Written(root);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[1].Body, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 40, 0}));
    EXPECT_EQ(out[2].Body, (Bytes{41, 0}));
}

TEST(ChartRecords, BuiltInSequences) {
    struct Case {
        int Kind;
        const char* Tree;
    } cases[] = {
        {2, "1051 1051 1051 1051 1006(105F) 1045"},
        {3, "105F 1007 100A 100B 1009"},
        {5, "1017 1022 1015(104F 1025(104F 1051))"},
        {8, "103E 1022 1015(104F 1025(104F 1051)) 1006(105F 1007 100A 100B 1009)"},
    };
    for (const Case& c : cases) {
        TChartRecord node(nullptr, chartid::CHARTFORMAT);
        InsertDefaultChartRecords(node, c.Kind, nullptr);
        EXPECT_EQ(Shape(node), c.Tree) << c.Kind;
    }
    // The default chart's fonts: the written FONTX name the pool positions
    // of the two fonts its FBIs added.
    TXFonts fonts;
    TChartRecord root(nullptr, chartid::Root);
    InsertDefaultChartRecords(root, 0, &fonts);
    const int first = fonts.GetItem(fonts.Count() - 2)->PoolIndex,
              second = fonts.GetItem(fonts.Count() - 1)->PoolIndex;
    std::vector<int> fontx;
    for (const auto& r : Written(root))
        if (r.Id == 0x1026 || r.Id == 0x1060)
            fontx.push_back(GetU16(r.Body.data() + (r.Id == 0x1060 ? 8 : 0)));
    EXPECT_EQ(fontx, (std::vector<int>{first, second, first, second}));
}

namespace {

struct Book {
    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    TDrwChart& chart = sheet.Charts().Add();
    TXLSChartSerie& serie = chart.Series[0];
    TChartRecord& series = *serie.Record();
};

} // namespace

TEST(ChartModel, DefaultChartWithEachGroup) {
    struct Case {
        int Kind;
        uint8_t Code;
        bool DefDataPoint;
    } cases[] = {{5, 3, false}, {4, 1, true}, {6, 0, false}, {7, 0, false},
                 {8, 0, true},  {9, 0, true}, {10, 0, true}};
    for (const Case& c : cases) {
        Book b;
        TChartRecord& group = *b.chart.PlotArea.Style->Record();
        while (group.Count()) group.Delete(0);
        InsertDefaultChartRecords(group, c.Kind, nullptr);
        b.chart.Bind();
        EXPECT_EQ(b.chart.PlotArea.Style->StyleCode(), c.Code) << c.Kind;
        EXPECT_EQ(b.chart.PlotArea.Style->DefDataPoint != nullptr, c.DefDataPoint) << c.Kind;
        EXPECT_EQ(b.chart.PlotArea.Style->Legend.Record()->Id, chartid::LEGEND);
    }
    Book b;
    EXPECT_EQ(b.chart.Name, u"Chart 0");
    EXPECT_EQ(b.chart.Series.Count(), 1);
    EXPECT_EQ(b.chart.DefaultTextA.Font(), b.book.Fonts().GetItem(b.book.Fonts().Count() - 2));
    EXPECT_EQ(b.chart.DefaultTextB.Font(), b.book.Fonts().GetItem(b.book.Fonts().Count() - 1));
    ASSERT_TRUE(b.chart.PlotArea.CategoryAxis && b.chart.PlotArea.ValueAxis);
    EXPECT_EQ(b.chart.PlotArea.ValueAxis->Scaling.Record()->Id, chartid::VALUERANGE);
    EXPECT_EQ(b.chart.GetSheetOptions(), csoOnlyVisibleCells);
    b.chart.SetSheetOptions(csoDoNotSize);
    EXPECT_EQ(b.chart.GetSheetOptions(), csoDoNotSize);
    EXPECT_EQ(GetU16(b.chart.Rec().Find(chartid::CHART)->Find(chartid::SHTPROPS)->Body.data()), 0x000C);
}

TEST(ChartModel, SeriesRangesAndNames) {
    Book b;
    b.sheet.SetAsString(4, 0, u"Виторг");
    struct Case {
        const char* Range;
        int Count; // value count of the series afterwards
    } ranges[] = {{"Sheet1!$A$1:$B$3", 6}, {"Sheet1!$C$2:$C$11", 10}, {"Sheet1!$A$1:$Z$3000", 0xFFFF}};
    for (const Case& c : ranges) {
        const std::u16string text = Utf8ToWide(c.Range);
        b.serie.SetValues(text);
        EXPECT_EQ(b.serie.GetValues(), text);
        EXPECT_EQ(GetU16(b.series.Body.data() + 6), c.Count) << c.Range;
    }
    b.serie.SetCategory(u"Sheet1!$A$1:$A$6");
    EXPECT_EQ(b.serie.GetCategory(), u"Sheet1!$A$1:$A$6");
    b.serie.SetValues2(u"");
    EXPECT_EQ(b.serie.GetValues2(), u"");

    EXPECT_EQ(b.serie.GetSerieName(), u"");
    b.serie.SetSerieName(u"\"Каса 1\"");
    EXPECT_EQ(b.serie.GetSerieName(), u"\"Каса 1\"");
    EXPECT_EQ(b.series.Child(1).Id, chartid::SERIESTEXT);
    // The ranges stay where they were after the inserted text.
    EXPECT_EQ(b.serie.GetCategory(), u"Sheet1!$A$1:$A$6");
    b.serie.SetSerieName(u"Sheet1!$E$1");
    b.serie.SetSerieName(u"\"Каса 2");
    EXPECT_EQ(b.serie.GetSerieName(), u"\"Каса 2\"");
    // A literal name keeps no formula beside it.
    EXPECT_EQ(b.series.Child(0).Body, (Bytes{0, 1, 0, 0, 0, 0, 0, 0}));
    b.serie.SetSerieName(u"Sheet1!$E$1");
    EXPECT_EQ(b.serie.GetSerieName(), u"Виторг");
    EXPECT_EQ(b.series.Child(0).Body[1], 2);
    // Any other formula shows its computed value.
    b.sheet.SetAsFloat(4, 1, 12);
    const std::pair<const char16_t*, const char16_t*> formulas[] = {
        {u"Sheet1!$E$1&\" \"&Sheet1!$E$2", u"Виторг 12"},
        {u"Sheet1!$E$2*2", u"24"},
        {u"Sheet1!$E$1/2", u"#VALUE!"},
    };
    for (const auto& [formula, shown] : formulas) {
        b.serie.SetSerieName(formula);
        EXPECT_EQ(b.serie.GetSerieName(), shown);
    }
}

TEST(ChartModel, GeometryAndDefaultDataPoint) {
    Book b;
    const std::pair<TSerieItemGeomtery, uint16_t> geometries[] = {
        {TSerieItemGeomtery::sigCylinder, 0x0001},       {TSerieItemGeomtery::sigPyramid, 0x0100},
        {TSerieItemGeomtery::sigChoppedPyramid, 0x0200}, {TSerieItemGeomtery::sigCone, 0x0101},
        {TSerieItemGeomtery::sigChoppedCone, 0x0201},    {TSerieItemGeomtery::sigDefault, 0x0000},
    };
    TChartRecord& shape = b.serie.DefDataPoint->Record()->Child(0);
    for (auto [geometry, stored] : geometries) {
        b.serie.SetGeomtery(geometry);
        EXPECT_EQ(GetU16(shape.Body.data()), stored);
        EXPECT_EQ(b.serie.GetGeomtery(), geometry);
    }
    b.serie.SetGeomtery(TSerieItemGeomtery::sigLast);
    EXPECT_EQ(b.serie.GetGeomtery(), TSerieItemGeomtery::sigDefault);
    PutU16(shape.Body.data(), 0x0300);
    EXPECT_EQ(b.serie.GetGeomtery(), TSerieItemGeomtery::sigDefault);

    EXPECT_FALSE(b.serie.GetHasDefDataPoint());
    b.serie.SetHasDefDataPoint(false);
    EXPECT_EQ(b.serie.DefDataPoint->Record()->Count(), 1);
    b.serie.SetHasDefDataPoint(true);
    EXPECT_TRUE(b.serie.GetHasDefDataPoint());
    b.serie.SetHasDefDataPoint(true);
    EXPECT_EQ(b.serie.DefDataPoint->Record()->Count(), 6);
    EXPECT_EQ(b.serie.DefDataPoint->AreaFormat.Record()->Id, chartid::AREAFORMAT);
}

TEST(ChartModel, GelFrameWrittenFromItsTable) {
    Book b;
    TChartRecord& frame = *b.chart.Frame.Record();
    // An OPT of two properties, then a record the table does not hold.
    Bytes body = {0x23, 0x00, 0x0B, 0xF0, 12, 0, 0, 0, 0x81, 0x01, 1, 0, 0, 0, 0x83, 0x01, 2, 0, 0, 0};
    const Bytes tail = {0x03, 0x00, 0x22, 0xF1, 6, 0, 0, 0, 0x9E, 0x01, 5, 0, 0, 0};
    body.insert(body.end(), tail.begin(), tail.end());
    frame.Add(chartid::GELFRAME, body);
    b.chart.Bind();
    ASSERT_TRUE(b.chart.Frame.GelFrame);
    b.chart.Frame.GelFrame->Opt().SetValue(0x0183, 0x00FF00FF);
    std::vector<Record> out = Written(b.chart.Rec());
    auto gel = std::find_if(out.begin(), out.end(), [](const Record& r) { return r.Id == 0x1066; });
    ASSERT_NE(gel, out.end());
    Bytes expected = {0x23, 0x00, 0x0B, 0xF0, 12,   0,    0,    0, 0x81, 0x01,
                      1,    0,    0,    0,    0x83, 0x01, 0xFF, 0, 0xFF, 0};
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(gel->Body, expected);
}

TEST(ChartModel, TreesTheModelCannotStandOn) {
    using TBreak = std::function<void(TDrwChart&)>;
    auto remove = [](TChartRecord& parent, uint16_t id) { parent.Delete(parent.IndexOf(parent.Find(id))); };
    struct Case {
        TBreak Break;
        const char* Error;
    } cases[] = {
        {[&](TDrwChart& c) { remove(c.Rec(), chartid::CHART); }, "Can not find CHART record."},
        {[&](TDrwChart& c) { remove(*c.DefaultTextA.Record()->Parent(), chartid::TEXT); },
         "Excpected Chart record missing: TEXT"},
        {[](TDrwChart& c) {
             TChartRecord& group = *c.PlotArea.Style->Record();
             while (group.Count()) group.Delete(0);
         },
         "Chart style record is missing"},
        {[](TDrwChart& c) { c.PlotArea.Style->Record()->Child(0).Id = 0x1234; }, "Unknown chart style 1234"},
        {[](TDrwChart& c) { PutU16(c.PlotArea.ValueAxis->Record()->Body.data(), 7); }, "Unknown axis type 7"},
        {[](TDrwChart& c) {
             c.Series[0].Record()->Add(chartid::DATAFORMAT, {0, 0, 0, 0, 0, 0, 0, 0});
         },
         "DATAFORMAT has no child records"},
        {[](TDrwChart& c) {
             c.Frame.Record()->Add(chartid::GELFRAME, {0x03, 0, 0x0A, 0xF0, 0, 0, 0, 0});
         },
         "First MSO record in Gelframe is not OPT"},
    };
    for (const Case& c : cases) {
        Book b;
        c.Break(b.chart);
        try {
            b.chart.Bind();
            ADD_FAILURE() << "no error for " << c.Error;
        } catch (const XLSError& e) {
            EXPECT_STREQ(e.what(), c.Error);
        }
    }
}

TEST(ChartModel, SeriesFormulasThatDoNotDecode) {
    struct Case {
        Bytes Ai;
        const char* Error;
    } cases[] = {
        {{1, 2, 0, 0, 0, 0, 9, 0, 0x3B, 0, 0}, "Series formula does not decode: formula too long"},
        {{1, 2, 0, 0}, "Series formula does not decode: record too short"},
        {{1, 2, 0, 0, 0, 0, 1, 0, 0xFF}, "Series formula does not decode: Unknown ptg[FF]"},
        {{1, 2, 0, 0, 0, 0, 3, 0, 0x3B, 0, 0}, "Series formula does not decode: ptg[3B] runs past the end"},
    };
    for (const Case& c : cases) {
        Book b;
        b.series.Child(1).Body = c.Ai;
        try {
            b.serie.GetValues();
            ADD_FAILURE() << "no error for " << c.Error;
        } catch (const XLSError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.Error, 0), 0u) << e.what();
        }
    }
    // Without its AI a range has no data.
    Book b;
    b.series.Delete(3);
    b.chart.Bind();
    EXPECT_THROW(b.chart.Series[0].GetValues2(), XLSError);
    EXPECT_THROW(b.chart.Series[0].SetValues2(u"Sheet1!$A$1:$A$2"), XLSError);
}

TEST(ChartModel, ChartsComeBackFromTheFile) {
    testfiles::ScratchDir dir;
    const std::string file = dir.File("charts.xls");
    {
        TTabrix4 book;
        TSheet& sheet = book.GetSheet(0);
        sheet.SetAsInteger(0, 0, 1);
        for (int i = 0; i < 3; ++i) {
            TDrwChart& chart = sheet.Charts().Add();
            chart.Series[0].SetValues(Utf8ToWide("Sheet1!$A$1:$A$" + std::to_string(i + 2)));
            chart.Series[0].SetSerieName(u"\"S" + Utf8ToWide(std::to_string(i)) + u"\"");
        }
        sheet.Charts().Delete(1);
        book.SetFilename(std::filesystem::path(file).u16string());
        book.Write();
    }
    TTabrix4 book;
    book.SetFilename(std::filesystem::path(file).u16string());
    book.Read();
    TDrwCharts& charts = book.GetSheet(0).Charts();
    ASSERT_EQ(charts.Count(), 2);
    EXPECT_EQ(charts[0].Series[0].GetValues(), u"Sheet1!$A$1:$A$2");
    EXPECT_EQ(charts[1].Series[0].GetValues(), u"Sheet1!$A$1:$A$4");
    EXPECT_EQ(charts[1].Series[0].GetSerieName(), u"\"S2\"");
    book.GetSheet(0).Charts().Clear();
    EXPECT_EQ(book.GetSheet(0).Drawing().ShapeCount(), 0);
}

TEST(ChartModel, FormulasRewrittenInPlace) {
    Book b;
    b.serie.SetValues(u"Sheet1!$A$1:$A$5");
    b.serie.SetCategory(u"Sheet1!$B$1:$B$5");
    std::vector<size_t> seen;
    RewriteChartFormulas(b.chart.Rec(), [&](std::vector<uint8_t>& tokens) {
        seen.push_back(tokens.size());
        if (tokens.size() != 11 || GetU16(tokens.data() + 7) != 1) return false;
        tokens = {0x1C, 0x1D}; // the categories become #NAME?
        return true;
    });
    // The default chart's other AIs hold no formula.
    EXPECT_EQ(seen, (std::vector<size_t>{11, 11}));
    EXPECT_EQ(b.serie.GetValues(), u"Sheet1!$A$1:$A$5");
    EXPECT_EQ(b.serie.GetCategory(), u"#NAME?");
}

// Series formulas that name defined names follow a deleted name: later names
// are renumbered, the deleted one becomes #NAME?; chart sheets likewise.
TEST(ChartModel, SeriesFormulasFollowDeletedNames) {
    Book b;
    TInternalNames& names = b.book.GetInternalNames();
    for (const char16_t* text : {u"First", u"Rates"}) {
        TInternalName& name = names.Add();
        name.SetName(text);
        TEncodedFormula ref =
            b.book.FormulaHandler().EncodeFormula(u"Sheet1!$A$1:$A$3", {.Class = 0x20, .FileSyntax = true});
        name.Data = ref.Data;
        name.TokenLength = uint16_t(ref.TokenLength);
    }
    b.serie.SetValues(u"Rates");
    b.serie.SetCategory(u"First");
    names.Delete(0);
    EXPECT_EQ(b.serie.GetValues(), u"Rates");
    EXPECT_EQ(b.serie.GetCategory(), u"#NAME?");
    names.Delete(0);
    EXPECT_EQ(b.serie.GetValues(), u"#NAME?");
}

TEST(ChartModel, SeriesFormulasFollowDeletedSheets) {
    Book b;
    b.book.Sheets().Add(0).SetName(u"Gone");
    b.book.Sheets().Add(0).SetName(u"Kept");
    b.serie.SetValues(u"Kept!$A$1:$A$3");
    b.serie.SetCategory(u"Gone!$B$1:$B$3");
    b.book.Sheets().Delete(1);
    EXPECT_EQ(b.serie.GetValues(), u"Kept!$A$1:$A$3");
    EXPECT_EQ(b.serie.GetCategory(), u"#REF!");
}
