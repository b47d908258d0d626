// The export jobs of every format around their file: the save dialog, a
// cancelled dialog, a cancel during the records, an empty report and a
// failed write. What is saved, when, and what is left behind.
#include <filesystem>
#include <gtest/gtest.h>

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSLibState.h"
#include "exchange/JobWorkbook.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "support_reports.h"

using namespace exchange_test;
using exchange::DispatchResult;

namespace {

struct Export {
    const char* name;
    int format;
    int kind;
    const char* filter;
    const char* extension;
    bool dialogFirst; // the dialog before the records: its cancel leaves the report
};

const Export kExports[] = {
    {"xml", exchange::FormatXml, 9, "XML Document (*.xml)|*.xml", "xml", false},
    {"xml periodic", exchange::FormatXml, 6, "XML Document (*.xml)|*.xml", "xml", false},
    {"xls", exchange::FormatXls, 9, "Excel files (*.xls)|*.xls", "xls", false},
    {"xls periodic", exchange::FormatXls, 6, "Excel files(*.xls)|*.xls", "xls", false},
    {"csv", exchange::FormatCsv, 9, "CSV (*.csv)|*.csv", "csv", false},
    {"dbf", exchange::FormatDbf, 9, "DBF (*.dbf)|*.dbf", "dbf", true},
    {"xml daily hours", exchange::FormatXml, 7, "XML Document (*.xml)|*.xml", "xml", false},
    {"xls periodic hours", exchange::FormatXls, 8, "Excel files (*.xls)|*.xls", "xls", false},
    {"csv daily hours", exchange::FormatCsv, 7, "CSV (*.csv)|*.csv", "csv", false},
    {"dbf periodic hours", exchange::FormatDbf, 8, "DBF (*.dbf)|*.dbf", "dbf", true},
};

class ExportJob : public ::testing::Test {
protected:
    ExportJob() {
        EnsureApplication();
        xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
    }
    void Fill() {
        ui.reset(); // each restores the backend it found
        job.reset();
        job = std::make_unique<Job>();
        job->arrays.GoodsReport = {Bread(), Widest(), Bread()};
        job->arrays.PeriodicGoodsReport = {PeriodicBread(), PeriodicBread(), PeriodicBread()};
        job->arrays.HourlyReport.assign(3, HourlyReportLine{1, 2, 3, 4});
        job->arrays.PeriodicHourlyReport.assign(3, PeriodicHourlyReportLine{1, 2, -3, 4});
        job->state.MakeMetod.FileName = "earlier";
        ui = std::make_unique<platform::ScriptedUi>();
    }
    std::size_t Left(const Export& e) const {
        switch (e.kind) {
        case 6:
            return job->arrays.PeriodicGoodsReport.size();
        case 7:
            return job->arrays.HourlyReport.size();
        case 8:
            return job->arrays.PeriodicHourlyReport.size();
        default:
            return job->arrays.GoodsReport.size();
        }
    }
    DispatchResult Run(const Export& e, std::optional<std::string> path) {
        return RunExport(*job, e.format, e.kind, std::move(path), *ui);
    }
    RegionalProfile profile{UkrainianProfile()};
    ScratchDir dir;
    std::unique_ptr<Job> job;
    std::unique_ptr<platform::ScriptedUi> ui;
};

} // namespace

TEST_F(ExportJob, ConfirmedSaveWritesTheFileAndEmptiesTheReport) {
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        Fill();
        std::string path = dir.File(std::string("saved ") + e.name + "." + e.extension);
        ASSERT_EQ(Run(e, path), DispatchResult::Ran);
        EXPECT_EQ(job->progress.maximum, 3);
        EXPECT_EQ(job->progress.steps, 3);
        ASSERT_EQ(ui->fileDialogs.size(), 1u);
        EXPECT_TRUE(ui->fileDialogs[0].save);
        EXPECT_EQ(ui->fileDialogs[0].request.filter, e.filter);
        EXPECT_EQ(ui->fileDialogs[0].request.defaultExt, e.extension);
        EXPECT_EQ(ui->fileDialogs[0].request.fileName, "");
        EXPECT_EQ(job->state.MakeMetod.FileName, path);
        EXPECT_EQ(job->state.MakeMetod.Done, 1);
        EXPECT_TRUE(job->side().FileWritten);
        EXPECT_EQ(Left(e), 0u);
        EXPECT_TRUE(FileExists(path));
        EXPECT_TRUE(ui->boxes.empty());
    }
}

TEST_F(ExportJob, CancelledDialogWritesNothing) {
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        Fill();
        ASSERT_EQ(Run(e, std::nullopt), DispatchResult::Ran);
        EXPECT_EQ(ui->fileDialogs.size(), 1u);
        EXPECT_EQ(job->state.MakeMetod.FileName, "earlier");
        EXPECT_FALSE(job->side().FileWritten);
        EXPECT_TRUE(ui->boxes.empty());
        // Where the dialog comes first nothing has happened yet; otherwise the job is over.
        EXPECT_EQ(job->state.MakeMetod.Done, e.dialogFirst ? 0 : 1);
        EXPECT_EQ(Left(e), e.dialogFirst ? 3u : 0u);
        EXPECT_EQ(job->progress.steps, e.dialogFirst ? 0 : 3);
        EXPECT_EQ(testfiles::CountEntries(dir.Path()), 0);
    }
}

// A cancel during the records ends the job as done but is no success: the
// formats that ask at the end ask nothing, a table keeps what it has.
TEST_F(ExportJob, CancelDuringTheRecordsIsNoSuccess) {
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        Fill();
        job->progress.cancelAfter = 2;
        std::string path = dir.File(std::string("part ") + e.name + "." + e.extension);
        ASSERT_EQ(Run(e, path), DispatchResult::Ran);
        EXPECT_EQ(job->progress.steps, 2);
        EXPECT_EQ(ui->fileDialogs.size(), e.dialogFirst ? 1u : 0u);
        EXPECT_EQ(FileExists(path), e.dialogFirst);
        EXPECT_EQ(job->state.MakeMetod.Done, 1);
        EXPECT_FALSE(job->side().FileWritten);
        EXPECT_EQ(Left(e), 0u);
    }
    Rows part = DbfreadRecords(dir.File("part dbf.dbf"));
    ASSERT_EQ(part.size(), 2u);
    EXPECT_EQ(part[0][0], "1");
    EXPECT_EQ(part[1][0], "65535");
}

// Every format's export names the names its own import reads back
// otherwise: blanks at the ends (cut by the goods XML import and by dBase
// tables), line breaks (blanks in CSV) and control characters (blanks in
// XML); a workbook keeps them all.
TEST_F(ExportJob, NamesTheFileChangesAreTold) {
    const char* const names[] = {"Хліб", " Чай", "Чай ", "А\r\nБ", "Сир\x01"};
    const std::string head =
        "Пропуски на початку й у кінці назв, переведення рядків і керівні знаки цей формат "
        "не зберігає: імпорт прочитає ці назви без них або з пропусками замість них. "
        "Змінено назв: ";
    const struct {
        const char* what;
        int format;
        int kind;
        std::string told;
    } cases[] = {
        {"csv goods", exchange::FormatCsv, 9, head + "1:\r\n№4 А  Б"},
        {"csv groups", exchange::FormatCsv, 2, head + "1:\r\n№4 А  Б"},
        {"xml goods", exchange::FormatXml, 5, head + "3:\r\n№2 Чай\r\n№3 Чай\r\n№5 Сир"},
        {"xml periodic", exchange::FormatXml, 6, head + "1:\r\n№5 Сир "},
        {"xml groups", exchange::FormatXml, 2, head + "1:\r\n№5 Сир "},
        {"dbf goods", exchange::FormatDbf, 10, head + "3:\r\n№2 Чай\r\n№3 Чай\r\n№5 Сир"},
        {"dbf groups", exchange::FormatDbf, 2, head + "3:\r\n№2 Чай\r\n№3 Чай\r\n№5 Сир"},
        {"xls goods", exchange::FormatXls, 9, ""},
        {"xls groups", exchange::FormatXls, 2, ""},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::ScriptedUi ui;
        Job job;
        job.arrays.GoodsGroupTable = EmptyGroupTable();
        for (int n = 1; n <= 5; ++n) {
            GoodsStruct goods = Bread();
            goods.number = static_cast<uint16_t>(n);
            goods.SetName(platform::Utf8ToAnsi(names[n - 1]));
            job.arrays.GoodsReport.push_back(goods);
            PeriodicGoodsStruct periodic = PeriodicBread();
            periodic.number = static_cast<uint16_t>(n);
            periodic.SetName(goods.Name());
            job.arrays.PeriodicGoodsReport.push_back(periodic);
            job.arrays.GoodsGroupTable[n - 1] = {static_cast<uint8_t>(n), std::string(goods.Name())};
        }
        const std::string path =
            dir.File(std::string("names.") + (c.format == exchange::FormatXml   ? "xml"
                                              : c.format == exchange::FormatXls ? "xls"
                                              : c.format == exchange::FormatCsv ? "csv"
                                                                                : "dbf"));
        EXPECT_EQ(RunExport(job, c.format, c.kind, path, ui), DispatchResult::Ran);
        EXPECT_EQ(platform::AnsiToUtf8(job.state.ExportChanges), c.told);
    }
}

TEST_F(ExportJob, EmptyReportStillAsksAndSaves) {
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        Fill();
        job->arrays.GoodsReport.clear();
        job->arrays.PeriodicGoodsReport.clear();
        job->arrays.HourlyReport.clear();
        job->arrays.PeriodicHourlyReport.clear();
        std::string path = dir.File(std::string("empty ") + e.name + "." + e.extension);
        ASSERT_EQ(Run(e, path), DispatchResult::Ran);
        EXPECT_EQ(job->progress.maximum, 0);
        EXPECT_EQ(ui->fileDialogs.size(), 1u);
        EXPECT_EQ(job->state.MakeMetod.Done, 1);
        EXPECT_TRUE(job->side().FileWritten);
        EXPECT_TRUE(FileExists(path));
    }
    EXPECT_EQ(ReadFile(dir.File("empty csv.csv")), "");
    EXPECT_EQ(DbfreadRows(dir.File("empty dbf.dbf")).size(), 1u + 20u + 1u);
    EXPECT_EQ(ReadFile(dir.File("empty dbf.dbf")).size(), 674u);
}

// A write that fails shows why, keeps the file that stood there, leaves no
// temporary file and does not end the job as done.
TEST_F(ExportJob, FailedWriteKeepsThePreviousFileAndIsShown) {
    for (const Export& e : kExports) {
        if (e.dialogFirst) continue; // the table's own failures are in the DBF tests
        SCOPED_TRACE(e.name);
        Fill();
        job->arrays.GoodsReport.assign(20000, Bread()); // more than one block
        job->arrays.PeriodicGoodsReport.assign(20000, PeriodicBread());
        job->arrays.HourlyReport.assign(100000, HourlyReportLine{1, 2, 3, 4}); // short lines: more of them
        job->arrays.PeriodicHourlyReport.assign(100000, PeriodicHourlyReportLine{1, 2, -3, 4});
        std::string path = dir.File(std::string("old.") + e.extension);
        WriteFile(path, "old contents");
        platform::SetAtomicWriteHook([](const std::string&, std::size_t done) {
            if (done > 0) throw platform::FileError("disk full");
        });
        DispatchResult result = Run(e, path);
        platform::SetAtomicWriteHook(nullptr);
        EXPECT_EQ(result, DispatchResult::Failed);
        EXPECT_EQ(job->state.MakeMetod.Done, 0);
        EXPECT_FALSE(job->side().FileWritten);
        ASSERT_EQ(ui->boxes.size(), 1u);
        EXPECT_NE(ui->boxes[0].Utf8Text().find("disk full"), std::string::npos) << ui->boxes[0].Utf8Text();
        EXPECT_EQ(ui->boxes[0].style & 0xF0u, platform::MbIconError);
        EXPECT_EQ(ReadFile(path), "old contents");
        EXPECT_EQ(testfiles::CountEntries(dir.Path()), 1);
        std::filesystem::remove(path);
    }
}

TEST_F(ExportJob, MissingFolderIsNamedOrTheTableIsNotCreated) {
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        Fill();
        std::string path = dir.File(std::string("missing-folder/day.") + e.extension);
        DispatchResult result = Run(e, path);
        EXPECT_EQ(job->state.MakeMetod.Done, 0);
        EXPECT_FALSE(job->side().FileWritten);
        ASSERT_EQ(ui->boxes.size(), 1u);
        EXPECT_EQ(ui->boxes[0].style & 0xF0u, platform::MbIconError);
        if (e.dialogFirst) {
            EXPECT_EQ(result, DispatchResult::Ran);
            EXPECT_EQ(ui->boxes[0].Utf8Text(),
                      "Не вдалося створити таблицю dbf!\r\nНе вдається записати файл " + path +
                          ": Немає такого файлу або каталогу");
            EXPECT_EQ(ui->boxes[0].Utf8Caption(), "Помилка");
            EXPECT_EQ(job->state.MakeMetod.FileName, path);
            EXPECT_EQ(Left(e), 3u);
            EXPECT_EQ(job->progress.steps, 0);
        } else {
            EXPECT_EQ(result, DispatchResult::Failed);
            EXPECT_NE(ui->boxes[0].Utf8Text().find("Не вдається записати файл " + path +
                                                   ": Немає такого файлу або каталогу"),
                      std::string::npos)
                << ui->boxes[0].Utf8Text();
        }
    }
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 0);
}

// Saving over a symbolic link (as some users keep a shared report) writes
// the file it points to and leaves the link in place.
TEST_F(ExportJob, SavingOverALinkWritesTheFileItPointsTo) {
    std::filesystem::create_directory(dir.File("shared"));
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.name);
        Fill();
        std::string real = dir.File(std::string("shared/report.") + e.extension);
        std::string link = dir.File(std::string("report.") + e.extension);
        WriteFile(real, "old contents");
        std::filesystem::create_symlink(std::string("shared/report.") + e.extension, link);
        EXPECT_EQ(Run(e, link), DispatchResult::Ran);
        EXPECT_TRUE(job->side().FileWritten);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_NE(ReadFile(real), "old contents");
        EXPECT_EQ(ReadFile(link), ReadFile(real));
        std::filesystem::remove(link);
        std::filesystem::remove(real);
        EXPECT_EQ(testfiles::CountEntries(dir.File("shared")), 0);
    }
}
