// Charts a program adds: the default chart with each chart group over a
// block of cells, written to .xls and converted by LibreOffice to .xlsx,
// whose chart parts openpyxl reads: the chart kind, the ranges of its
// series and the values LibreOffice took from the cells.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/drawing/ChartModel.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_process.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

using namespace xls;
namespace fs = std::filesystem;

namespace {

// The default chart with the group of kind instead of its bar group.
TDrwChart& AddChart(TSheet& sheet, TXFonts& fonts, int kind) {
    TDrwChart& chart = sheet.Charts().Add();
    TChartRecord& group = *chart.PlotArea.Style->Record();
    while (group.Count() > 0) group.Delete(0);
    InsertDefaultChartRecords(group, kind, &fonts);
    chart.Bind();
    return chart;
}

void FillBlock(TSheet& sheet) {
    for (int row = 0; row < 6; ++row) {
        sheet.SetAsInteger(0, row, 2020 + row);
        sheet.SetAsFloat(1, row, 1.5 * (row + 1));
        sheet.SetAsInteger(2, row, 100 - row * 7);
    }
}

} // namespace

TEST(ChartsDefault, EveryGroupOverARangeOpensInLibreOffice) {
    struct Case {
        int Kind;
        // openpyxl's class of the chart LibreOffice wrote (it has no surface
        // charts: it shows them as columns).
        const char* Chart;
        const char* Direction; // bars or columns
        bool ChangeValues;     // values set once, then set to the next column
    };
    const Case cases[] = {
        {0, "BarChart", "col", false},  {4, "AreaChart", "", false},    {5, "BarChart", "bar", false},
        {6, "LineChart", "", false},    {7, "PieChart", "", false},     {8, "RadarChart", "", false},
        {9, "ScatterChart", "", false}, {10, "BarChart", "col", false}, {6, "LineChart", "", true},
    };
    testfiles::ScratchDir dir;
    std::vector<std::string> written, xlsx;
    for (const Case& c : cases) {
        TTabrix4 book;
        TSheet& sheet = book.GetSheet(0);
        FillBlock(sheet);
        TDrwChart& chart = c.Kind ? AddChart(sheet, book.Fonts(), c.Kind) : sheet.Charts().Add();
        TXLSChartSerie& serie = chart.Series[0];
        serie.SetValues(u"Sheet1!$B$1:$B$6");
        serie.SetCategory(u"Sheet1!$A$1:$A$6");
        if (c.ChangeValues) serie.SetValues(u"Sheet1!$C$1:$C$6");
        const std::string name = "chart" + std::to_string(written.size());
        written.push_back(dir.File(name + ".xls"));
        xlsx.push_back(dir.File("conv/" + name + ".xlsx"));
        book.SetFilename(fs::path(written.back()).u16string());
        book.Write();
        if (const char* out = std::getenv("Q710_TEST_OUT"))
            fs::copy_file(written.back(), fs::path(out) / (name + ".xls"),
                          fs::copy_options::overwrite_existing);
    }
    testfiles::LibreOfficeConvert(written, dir.File("conv"), "xlsx");
    auto read = drawingtest::DrawingOracle("series", xlsx);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("kind " + std::to_string(c.Kind));
        const char* values = c.ChangeValues ? "Sheet1!$C$1:$C$6\t" : "Sheet1!$B$1:$B$6\t";
        const char* cached = c.ChangeValues ? "100,93,86,79,72,65" : "1.5,3,4.5,6,7.5,9";
        EXPECT_EQ(read[i], (std::vector<std::string>{
                               "OK",
                               std::string("C\t0\t") + c.Chart + "\t" + c.Direction,
                               std::string("S\t") + values + "Sheet1!$A$1:$A$6\t" + cached,
                           }));
    }
}
