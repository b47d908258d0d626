// The goods report workbooks as the XLS exports leave them in the job's
// workbook component, read back through the component's own accessors.
#include <gtest/gtest.h>

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "exchange/JobWorkbook.h"
#include "exchange/ReportXlsExport.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "support_reports.h"

using namespace exchange_test;
using exchange::DispatchResult;

namespace {

constexpr int kBlueIndex = 12; // the default palette's 0x0000FF

std::string Money(int64_t kopecks) {
    return platform::AnsiToUtf8(platform::FormatMoneyKopecks(kopecks));
}

// "type:text" of the cells of one row, columns 0..columns-1.
std::vector<std::string> RowCells(xls::TSheet& sheet, int row, int columns) {
    std::vector<std::string> cells;
    for (int col = 0; col < columns; ++col)
        cells.push_back(std::to_string(sheet.GetCellType(col, row)) + ":" +
                        platform::Utf16ToUtf8(sheet.GetAsString(col, row)));
    return cells;
}

// Palette index of the font colour and style bits, per column of a row;
// "-" where there is no cell.
std::vector<std::string> RowLooks(xls::TSheet& sheet, int row, int columns) {
    std::vector<std::string> looks;
    for (int col = 0; col < columns; ++col) {
        xls::TCell* cell = sheet.GetCell(col, row);
        looks.push_back(cell == nullptr ? "-"
                                        : std::to_string(cell->GetFontColor()) + "/" +
                                              std::to_string(cell->GetFontStyle()));
    }
    return looks;
}

std::vector<std::string> Looks(int columns, const std::string& all, int blueColumn = -1,
                               const std::string& blue = "") {
    std::vector<std::string> looks(static_cast<std::size_t>(columns), all);
    if (blueColumn >= 0) looks[static_cast<std::size_t>(blueColumn)] = blue;
    return looks;
}

class XlsReports : public ::testing::Test {
protected:
    // Float cells show the decimal separator of the regional settings.
    XlsReports() { xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional()); }
    xls::TTabrix4& Book() { return exchange::JobWorkbook(job.side()); }
    xls::TSheet& Sheet() { return Book().GetSheet(0); }
    exchange::DispatchResult Run(int kind, std::optional<std::string> path) {
        return RunExport(job, exchange::FormatXls, kind, std::move(path), ui);
    }

    RegionalProfile profile{UkrainianProfile()};
    platform::ScriptedUi ui;
    Job job;
};

} // namespace

// Each value in its column as its cell kind; the caption row blue and bold
// over exactly its columns, in the data rows only column 1 blue.
TEST_F(XlsReports, RowsHoldEachValueInItsColumnWithItsKindAndFont) {
    exchange::BuildGoodsReportSheet(Book(), {Bread()}, nullptr);
    ASSERT_EQ(Book().Sheets().Count(), 1);
    xls::TSheet& sheet = Sheet();
    EXPECT_EQ(RowCells(sheet, 0, 21), std::vector<std::string>(21, "0:")) << "row 0 stays empty";
    std::vector<std::string> captions = RowCells(sheet, 1, 21);
    EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + 3),
              (std::vector<std::string>{"5:НОМЕР:", "5:ШТРИХ-КОД:", "5:PLU:"}));
    EXPECT_EQ(captions[19], "5:СУМА НАЦІНОК З ВИПЛАТ:");
    EXPECT_EQ(captions[20], "0:");
    EXPECT_EQ(RowCells(sheet, 2, 21), (std::vector<std::string>{"3:1",
                                                                "5:4820000000001",
                                                                "3:5",
                                                                "5:Хліб житній",
                                                                "5:12,50 грн.",
                                                                "4:1,5",
                                                                "3:3",
                                                                "3:1",
                                                                "6:TRUE",
                                                                "6:TRUE",
                                                                "6:FALSE",
                                                                "3:2",
                                                                "4:2",
                                                                "5:1\u00A0234,56 грн.",
                                                                "4:0,001",
                                                                "5:0,05 грн.",
                                                                "5:0,00 грн.",
                                                                "5:0,10 грн.",
                                                                "5:0,99 грн.",
                                                                "5:1,00 грн.",
                                                                "0:"}));
    EXPECT_EQ(RowCells(sheet, 3, 20), std::vector<std::string>(20, "0:"));

    const std::string blue = std::to_string(kBlueIndex);
    const std::string plain = RowLooks(sheet, 2, 1)[0];
    EXPECT_NE(plain.substr(0, plain.find('/')), blue);
    std::vector<std::string> captionLooks = Looks(20, blue + "/1");
    captionLooks.push_back("-");
    EXPECT_EQ(RowLooks(sheet, 1, 21), captionLooks);
    EXPECT_EQ(RowLooks(sheet, 2, 20), Looks(20, plain, 1, blue + "/0"));

    exchange::BuildPeriodicGoodsReportSheet(Book(), {PeriodicBread()}, nullptr);
    xls::TSheet& periodic = Sheet();
    captions = RowCells(periodic, 1, 17);
    EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + 3),
              (std::vector<std::string>{"5:НОМЕР:", "5:PLU:", "5:ШТРИХ-КОД:"}));
    EXPECT_EQ(captions[16], "0:");
    EXPECT_EQ(RowCells(periodic, 2, 17),
              (std::vector<std::string>{"3:7", "3:12", "5:0", "5:Сир твердий", "5:" + Money(15075), "4:2,5",
                                        "3:1", "3:3", "6:TRUE", "6:FALSE", "6:TRUE", "3:0", "4:-2,5",
                                        "5:" + Money(-150), "4:3", "5:" + Money(0), "0:"}));
    captionLooks = Looks(16, blue + "/1");
    captionLooks.push_back("-");
    EXPECT_EQ(RowLooks(periodic, 1, 17), captionLooks);
    EXPECT_EQ(RowLooks(periodic, 2, 16), Looks(16, plain, 1, blue + "/0"));
}

TEST_F(XlsReports, EmptyReportLeavesTheCaptionRowOnly) {
    exchange::BuildGoodsReportSheet(Book(), {Bread(), Bread(), Bread()}, nullptr);
    job.arrays.GoodsReport.clear();
    ASSERT_EQ(Run(9, std::nullopt), DispatchResult::Ran);
    xls::TSheet& sheet = Sheet();
    EXPECT_EQ(RowCells(sheet, 1, 2), (std::vector<std::string>{"5:НОМЕР:", "5:ШТРИХ-КОД:"}));
    EXPECT_EQ(RowLooks(sheet, 2, 20), Looks(20, "-")) << "nothing of the earlier sheet is left";
    EXPECT_EQ(job.progress.maximum, 0);
    ASSERT_EQ(ui.fileDialogs.size(), 1u) << "the dialog is shown for an empty report too";
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
}

// A cancelled job keeps the rows built so far in the workbook, fitted, but
// shows no dialog and writes nothing; a cancelled dialog writes nothing
// either. Both still end the job as done, with the report emptied.
TEST_F(XlsReports, CancelledJobOrDialogEndsDoneWithoutAFile) {
    job.arrays.GoodsReport = {Bread(), Widest(), Bread(), Widest()};
    job.progress.cancelAfter = 2;
    ScratchDir dir;
    ASSERT_EQ(Run(5, dir.File("never.xls")), DispatchResult::Ran);
    EXPECT_FALSE(FileExists(dir.File("never.xls")));
    EXPECT_EQ(job.progress.maximum, 4);
    EXPECT_EQ(job.progress.steps, 2);
    EXPECT_TRUE(ui.fileDialogs.empty());
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    EXPECT_FALSE(job.side().FileWritten);
    EXPECT_TRUE(job.arrays.GoodsReport.empty());
    xls::TSheet& sheet = Sheet();
    EXPECT_EQ(sheet.GetCellType(0, 3), 3);
    EXPECT_EQ(sheet.GetCellType(0, 4), 0);
    const xls::TXLSColumn* name = sheet.Columns().GetItem(3);
    ASSERT_NE(name, nullptr) << "columns are fitted after a cancel";
    EXPECT_GT(name->GetWidth(), xls::TXLSColumn::DefaultWidth);

    Job second;
    second.arrays.PeriodicGoodsReport = {PeriodicBread()};
    platform::ScriptedUi ui2;
    ASSERT_EQ(RunExport(second, exchange::FormatXls, 6, std::nullopt, ui2), DispatchResult::Ran);
    ASSERT_EQ(ui2.fileDialogs.size(), 1u);
    const platform::FileDialogRequest& asked = ui2.fileDialogs[0].request;
    EXPECT_EQ(asked.filter, "Excel files(*.xls)|*.xls");
    EXPECT_EQ(asked.defaultExt, "xls");
    EXPECT_EQ(asked.fileName, "");
    EXPECT_EQ(second.state.MakeMetod.Done, 1);
    EXPECT_FALSE(second.side().FileWritten);
    EXPECT_TRUE(second.arrays.PeriodicGoodsReport.empty());
    EXPECT_TRUE(ui2.boxes.empty());
}

// Whatever an earlier job left in the component (another version, more
// sheets, more rows), an export starts from an empty BIFF8 workbook.
TEST_F(XlsReports, ExportStartsFromAnEmptyBiff8Workbook) {
    xls::TTabrix4& book = Book();
    book.Sheets().Add(0).SetAsString(5, 70, u"stale");
    book.GetSheet(0).SetAsString(1, 9, u"stale");
    for (xls::TExcelVersion version : {xls::TExcelVersion::xvExcel2007, xls::TExcelVersion::xvExcel21}) {
        book.SetVersion(version);
        job.arrays.GoodsReport = {Bread()};
        ASSERT_EQ(Run(10, std::nullopt), DispatchResult::Ran);
        EXPECT_EQ(book.GetVersion(), xls::TExcelVersion::xvExcel97);
        ASSERT_EQ(book.Sheets().Count(), 1);
        EXPECT_EQ(Sheet().GetCellType(0, 2), 3);
        EXPECT_EQ(Sheet().GetCellType(0, 3), 0);
        EXPECT_EQ(Sheet().GetCellType(1, 9), 0);
        EXPECT_TRUE(ui.boxes.empty());
    }
}
