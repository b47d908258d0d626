// The format choice, the CSV settings and the job window, driven through the
// scripted user as the main window will drive them.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

#include "console/TQProgressBar.h"
#include "exchange/ExchangeJob.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "exchange/TForm8.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"

using namespace exchange_test;
using exchange::TForm4;
using exchange::TForm5;
using exchange::TForm8;

namespace {

class JobWindows : public ::testing::Test {
public:
    JobWindows() {
        EnsureApplication();
        ResetSide();
        platform::SetProgramFolder(dir.Path());
        form4 = std::make_unique<TForm4>(state);
        form5 = std::make_unique<TForm5>(state);
        form8 = std::make_unique<TForm8>(state);
    }
    ~JobWindows() override {
        Shared().Clear();
        ResetSide();
        platform::SetProgramFolder("");
    }

    // The user picks a format and presses "Вибрати".
    void ChooseFormat(int index) {
        ui.QueueModal([index](QDialog& d) {
            auto& f = dynamic_cast<TForm5&>(d);
            f.SetItemIndex(index);
            f.Button1->click();
            return f.result();
        });
    }
    // The job window appears and its timer fires.
    void JobWindowRuns() {
        ui.QueueModal([](QDialog& d) {
            auto& f = dynamic_cast<TForm4&>(d);
            f.FormShow();
            f.Timer1Timer();
            return f.result();
        });
    }
    std::vector<std::string> ModalNames() const {
        std::vector<std::string> names;
        for (const auto& m : ui.modals) names.push_back(m.objectName);
        return names;
    }

    ScratchDir dir;
    platform::ScriptedUi ui;
    console::ConsoleState state;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<TForm5> form5;
    std::unique_ptr<TForm8> form8;
};

std::string Text(const QLabel* label) {
    return label->text().toStdString();
}

} // namespace

TEST_F(JobWindows, CsvSettingsButtonFollowsTheChoiceAndTheChoiceStays) {
    EXPECT_EQ(form5->ItemIndex(), 0);
    EXPECT_FALSE(form5->Button3->isEnabled());
    form5->RadioItems[2]->click();
    EXPECT_TRUE(form5->Button3->isEnabled());
    form5->RadioItems[3]->click();
    EXPECT_FALSE(form5->Button3->isEnabled());
    form5->RadioItems[2]->click();
    // A later showing (and the job window) sees the same choice.
    TForm5 again(state);
    EXPECT_EQ(again.ItemIndex(), 2);
    EXPECT_TRUE(again.Button3->isEnabled());
    EXPECT_EQ(exchange::Side().FormatIndex, 2);

    ui.QueueModalResult(0);
    again.Button3->click();
    EXPECT_EQ(ModalNames(), std::vector<std::string>{"TForm8"});
}

TEST_F(JobWindows, ImportsAskForTheFileOfTheChosenFormat) {
    state.MakeMetod.OperationKind = 3;
    form5->SetItemIndex(exchange::FormatDbf);
    ui.QueueFile(dir.File("goods"));
    form5->Button1->click();
    EXPECT_EQ(state.DialogAccepted, 1);
    EXPECT_EQ(state.MakeMetod.FileName, dir.File("goods.dbf"));
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_FALSE(ui.fileDialogs[0].save);
    EXPECT_EQ(ui.fileDialogs[0].request.filter, "DBF (*.dbf)|*.dbf");

    state.MakeMetod.Done = 1;
    ui.QueueFile(std::nullopt);
    form5->Button1->click();
    EXPECT_EQ(state.DialogAccepted, 0);
    EXPECT_EQ(state.MakeMetod.Done, 0);
    EXPECT_EQ(state.MakeMetod.FileName, dir.File("goods.dbf"));

    // Exports choose their file at the end of the job.
    state.MakeMetod.OperationKind = 9;
    form5->Button1->click();
    EXPECT_EQ(state.DialogAccepted, 1);
    EXPECT_EQ(ui.fileDialogs.size(), 2u);
}

TEST_F(JobWindows, ClosingTheChoiceAnyWayCancels) {
    state.DialogAccepted = 1;
    state.MakeMetod.Done = 1;
    form5->reject(); // Escape or the close box
    EXPECT_EQ(state.DialogAccepted, 0);
    EXPECT_EQ(state.MakeMetod.Done, 0);
    state.DialogAccepted = 1;
    form5->Button2->click();
    EXPECT_EQ(state.DialogAccepted, 0);
}

TEST_F(JobWindows, CsvDialogShowsTheOptionsAndSavesThemOnlyWhenConfirmed) {
    state.CsvOptions = {'\t', true, false, true, false};
    form8->FormShow();
    EXPECT_EQ(form8->ComboBox1->currentIndex(), 2);
    EXPECT_TRUE(form8->CheckBox1->isChecked());
    EXPECT_FALSE(form8->CheckBox2->isChecked());
    EXPECT_TRUE(form8->CheckBox3->isChecked());
    EXPECT_FALSE(form8->CheckBox4->isChecked());

    form8->ComboBox1->setCurrentIndex(1);
    form8->CheckBox2->setChecked(true);
    form8->Button2->click();
    EXPECT_EQ(state.CsvOptions.Delimiter, '\t');
    EXPECT_FALSE(state.CsvOptions.Quotes);
    EXPECT_FALSE(FileExists(dir.File("Q710b.ini")));
    form8->FormShow();
    EXPECT_EQ(form8->ComboBox1->currentIndex(), 2);
    EXPECT_FALSE(form8->CheckBox2->isChecked());

    form8->ComboBox1->setCurrentIndex(1);
    form8->CheckBox2->setChecked(true);
    form8->Button1->click();
    EXPECT_EQ(state.CsvOptions.Delimiter, ',');
    EXPECT_TRUE(state.CsvOptions.Quotes);
    EXPECT_TRUE(state.CsvOptions.Cp866);
    EXPECT_EQ(ReadFile(dir.File("Q710b.ini")),
              "[CSV]\r\nDELIM=,\r\nCP866=1\r\nQUOTES=1\r\nLRBlanks=1\r\nIgnoreEmptyLines=0\r\n");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(JobWindows, CsvDialogTellsWhenTheSettingsCannotBeKept) {
    platform::SetProgramFolder(dir.File("missing"));
    form8->FormShow();
    form8->CheckBox1->setChecked(true);
    form8->Button1->click();
    EXPECT_TRUE(state.CsvOptions.Cp866);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].Utf8Caption(), "Помилка");
}

TEST_F(JobWindows, ExportRunsThroughBothWindowsAndReportsTheWrittenFile) {
    Shared().GoodsReport = {Goods(1, 5, 0, "A"), Goods(2, 6, 0, "B"), Goods(3, 7, 0, "C")};
    ChooseFormat(exchange::FormatXml);
    JobWindowRuns();
    ui.QueueFile(dir.File("day.xml"));
    EXPECT_TRUE(exchange::RunExportJob(state, 9));
    EXPECT_EQ(ModalNames(), (std::vector<std::string>{"TForm5", "TForm4"}));
    EXPECT_EQ(state.MakeMetod.OperationKind, 9);
    EXPECT_EQ(state.MakeMetod.Done, 1);
    EXPECT_TRUE(XmllintAccepts(dir.File("day.xml")));
    EXPECT_TRUE(Shared().GoodsReport.empty());
    EXPECT_EQ(form4->QProgressBar1->Maximum(), 3);
    EXPECT_EQ(form4->QProgressBar1->Position(), 3);
    EXPECT_EQ(Text(form4->Label2), "100 %");
    EXPECT_EQ(ui.processMessagesCalls, 3);
    EXPECT_EQ(ui.Unscripted(), 0);
}

TEST_F(JobWindows, NothingWrittenIsNeverReportedAsSuccess) {
    struct Case {
        const char* what;
        std::function<void(JobWindows&)> script;
        uint8_t kind;
        int modals;
    } cases[] = {
        {"format choice cancelled", [](JobWindows& t) { t.ui.QueueModalResult(0); }, 9, 1},
        {"save dialog cancelled",
         [](JobWindows& t) {
             t.ChooseFormat(exchange::FormatXml);
             t.JobWindowRuns();
             t.ui.QueueFile(std::nullopt);
         },
         5, 2},
        {"format not there yet",
         [](JobWindows& t) {
             t.ChooseFormat(exchange::FormatXls);
             t.JobWindowRuns();
         },
         7, 2},
        {"no such kind",
         [](JobWindows& t) {
             t.ChooseFormat(exchange::FormatXml);
             t.JobWindowRuns();
         },
         0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.modals.clear();
        Shared().GoodsReport = {Goods(1, 5, 0, "A")};
        c.script(*this);
        EXPECT_FALSE(exchange::RunExportJob(state, c.kind));
        EXPECT_EQ(static_cast<int>(ui.modals.size()), c.modals);
        EXPECT_EQ(ui.PendingReplies(), 0u);
        EXPECT_EQ(testfiles::CountEntries(dir.Path()), 0);
    }
}

TEST_F(JobWindows, CancelButtonStopsTheJobBeforeTheSaveDialog) {
    Shared().GoodsReport = {Goods(1, 5, 0, "A"), Goods(2, 6, 0, "B"), Goods(3, 7, 0, "C"),
                            Goods(4, 8, 0, "D")};
    ui.onProcessMessages = [this] {
        if (ui.processMessagesCalls == 2) form4->Button1->click();
    };
    ChooseFormat(exchange::FormatXml);
    JobWindowRuns();
    EXPECT_FALSE(exchange::RunExportJob(state, 10));
    EXPECT_TRUE(ui.fileDialogs.empty());
    EXPECT_EQ(state.JobCancelled, 1);
    EXPECT_EQ(state.MakeMetod.Done, 1);
    EXPECT_EQ(Text(form4->Label2), "50 %");
    EXPECT_TRUE(Shared().GoodsReport.empty());
}

// Escape and the close box during a running job act as its stop button: the
// window stays until the job has stopped, and the job writes nothing more.
TEST_F(JobWindows, EscapeAndTheCloseBoxStopARunningJob) {
    for (bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "close box");
        Shared().GoodsReport = {Goods(1, 5, 0, "A"), Goods(2, 6, 0, "B"), Goods(3, 7, 0, "C"),
                                Goods(4, 8, 0, "D")};
        bool shownWhileStopping = false;
        ui.processMessagesCalls = 0;
        ui.onProcessMessages = [&] {
            if (ui.processMessagesCalls != 2) return;
            if (escape) {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(form4.get(), &key);
            } else {
                form4->close();
            }
            shownWhileStopping = form4->isVisible();
        };
        ChooseFormat(exchange::FormatXml);
        ui.QueueModal([](QDialog& d) {
            auto& f = dynamic_cast<TForm4&>(d);
            f.show(); // starts the timer
            f.Timer1Timer();
            return f.result();
        });
        std::size_t dialogs = ui.fileDialogs.size();
        EXPECT_FALSE(exchange::RunExportJob(state, 10));
        EXPECT_EQ(ui.fileDialogs.size(), dialogs); // stopped before its save dialog
        EXPECT_TRUE(shownWhileStopping);
        EXPECT_FALSE(form4->isVisible());
        EXPECT_EQ(state.JobCancelled, 1);
        EXPECT_EQ(Text(form4->Label2), "50 %");
    }
    // Before the job starts, Escape closes the window and the job never runs.
    Shared().GoodsReport = {Goods(1, 5, 0, "A")};
    ui.onProcessMessages = nullptr;
    ChooseFormat(exchange::FormatXml);
    ui.QueueModal([](QDialog& d) {
        auto& f = dynamic_cast<TForm4&>(d);
        f.show();
        f.reject();
        EXPECT_FALSE(f.Timer1->isActive());
        return f.result();
    });
    EXPECT_FALSE(exchange::RunExportJob(state, 10));
    EXPECT_EQ(state.MakeMetod.Done, 0);
    EXPECT_EQ(Shared().GoodsReport.size(), 1u);
}

TEST_F(JobWindows, ModemCallIsHungUpOnlyWhenTheUserAgrees) {
    int hangUps = 0;
    exchange::Side().Main.ModemLinkUp = [] { return true; };
    exchange::Side().Main.ModemDisconnect = [&hangUps] { ++hangUps; };
    for (int answer : {platform::IdNo, platform::IdYes}) {
        ui.QueueAnswer(answer);
        ChooseFormat(exchange::FormatXml);
        JobWindowRuns();
        ui.QueueFile(std::nullopt);
        exchange::RunExportJob(state, 9);
    }
    EXPECT_EQ(hangUps, 1);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].Utf8Text(), "Розірвати модемне з'єднання?");
    EXPECT_EQ(ui.boxes[0].Utf8Caption(), "Модем");
    EXPECT_EQ(ui.boxes[0].style, 0x2024u);
}

TEST_F(JobWindows, ShownWindowStartsTheJobFromItsTimerAndCloses) {
    Shared().GoodsReport = {Goods(1, 5, 0, "A")};
    state.JobCancelled = 1; // left from an earlier job
    ChooseFormat(exchange::FormatXml);
    ui.QueueModal([](QDialog& d) { return d.exec(); });
    ui.QueueFile(dir.File("full.xml"));
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [this] { form4->reject(); });
    watchdog.start(5000);
    EXPECT_TRUE(exchange::RunExportJob(state, 5));
    EXPECT_TRUE(watchdog.isActive());
    EXPECT_FALSE(form4->Timer1->isActive());
    EXPECT_FALSE(form4->isVisible());
    EXPECT_TRUE(FileExists(dir.File("full.xml")));
}

TEST_F(JobWindows, WorksWithoutTheProgramsWindows) {
    form4.reset();
    form5.reset();
    EXPECT_EQ(exchange::Side().Form4, nullptr);
    Shared().GoodsReport = {Goods(1, 5, 0, "A")};
    ChooseFormat(exchange::FormatXml);
    JobWindowRuns();
    ui.QueueFile(dir.File("own.xml"));
    EXPECT_TRUE(exchange::RunExportJob(state, 9));
    EXPECT_TRUE(FileExists(dir.File("own.xml")));
}

TEST_F(JobWindows, ImportOutcomeFollowsTheOpenDialog) {
    state.MakeMetod.OperationKind = 4;
    ChooseFormat(exchange::FormatCsv);
    ui.QueueFile(std::nullopt);
    EXPECT_FALSE(exchange::RunExchangeJob(state));
    EXPECT_EQ(ModalNames(), std::vector<std::string>{"TForm5"});

    // The file chosen, the job reads it into ImportedGoods and is done.
    ASSERT_TRUE(ConnectSimulator(state));
    WriteFile(dir.File("goods.csv"), "5;12;4820000000017;Bread;12,50;2,5;3;2;1;0;1;2\r\n");
    ChooseFormat(exchange::FormatCsv);
    ui.QueueFile(dir.File("goods.csv"));
    JobWindowRuns();
    EXPECT_TRUE(exchange::RunExchangeJob(state));
    EXPECT_EQ(state.MakeMetod.Done, 1);
    EXPECT_TRUE(ui.boxes.empty());
    ASSERT_EQ(Shared().ImportedGoods.size(), 1u);
    EXPECT_EQ(Shared().ImportedGoods[0].Name(), "Bread");
    EXPECT_EQ(Text(form4->Label2), "0 %"); // one row of 5269
}
