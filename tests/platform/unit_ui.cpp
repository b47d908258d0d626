#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/ui/AnsiText.h"
#include "platform/ui/ScriptedUi.h"
#include "platform/ui/Ui.h"

namespace {

using platform::ScriptedUi;

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "unit_ui";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) static QApplication app(argc, argv);
}

TEST(AnsiText, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(platform::FromQString(platform::ToQString(all)), all);
    EXPECT_EQ(platform::Ansi(platform::Utf8(all)), all);
}

TEST(AnsiText, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(platform::Ansi("a\xE2\x82\xB4z"), "a?z"); // hryvnia sign
    EXPECT_EQ(platform::Ansi("\xE4\xB8\xAD"), "?");
}

TEST(MessageBoxStyle, DismissingAnswersCancelOrNoWhereTheBoxHasThem) {
    const std::pair<unsigned, int> cases[] = {{0x2010, platform::IdOk},     {0x2040, platform::IdOk},
                                              {0x2024, platform::IdNo},     {0x2034, platform::IdNo},
                                              {0x2015, platform::IdCancel}, {0x23, platform::IdCancel},
                                              {0x10, platform::IdOk}};
    for (auto [style, answer] : cases) EXPECT_EQ(platform::DismissAnswer(style), answer) << style;
}

TEST(FileDialogs, FiltersBecomeQtFiltersWithTheWindowsPatterns) {
    EXPECT_EQ(platform::ToQtFilter("Microsoft Excel (*.xls)|*.xls"), "Microsoft Excel (*.xls)");
    EXPECT_EQ(platform::ToQtFilter("Excel files(*.xls)|*.xls"), "Excel files(*.xls)");
    EXPECT_EQ(platform::ToQtFilter("XML Document (*.xml)|*.xml|All|*.*"), "XML Document (*.xml);;All (*.*)");
    EXPECT_EQ(platform::ToQtFilter("Tables|*.dbf;*.DBF"), "Tables (*.dbf *.DBF)");
    EXPECT_EQ(platform::ToQtFilter(""), "");
    EXPECT_EQ(platform::ToQtFilter("dangling"), "");
}

TEST(FileDialogs, DefaultExtensionOnlyWhereTheNameHasNone) {
    EXPECT_EQ(platform::WithDefaultExtension("/tmp/report", "xls"), "/tmp/report.xls");
    EXPECT_EQ(platform::WithDefaultExtension("/tmp/report.csv", "xls"), "/tmp/report.csv");
    EXPECT_EQ(platform::WithDefaultExtension("/tmp/v1.2/report", "xml"), "/tmp/v1.2/report.xml");
    EXPECT_EQ(platform::WithDefaultExtension("/tmp/report", ""), "/tmp/report");
}

TEST(ScriptedUi, InstallsItselfAndPutsThePreviousBackendBack) {
    platform::UiBackend* original = &platform::Ui();
    {
        ScriptedUi outer;
        EXPECT_EQ(&platform::Ui(), &outer);
        {
            ScriptedUi inner;
            EXPECT_EQ(&platform::Ui(), &inner);
        }
        EXPECT_EQ(&platform::Ui(), &outer);
    }
    EXPECT_EQ(&platform::Ui(), original);

    // Replaced out of order, as `ui = std::make_unique<ScriptedUi>()` does: the newer one stays in charge and,
    // when it goes, the original comes back rather than the destroyed one.
    auto first = std::make_unique<ScriptedUi>();
    auto second = std::make_unique<ScriptedUi>();
    first.reset();
    EXPECT_EQ(&platform::Ui(), second.get());
    second.reset();
    EXPECT_EQ(&platform::Ui(), original);
}

TEST(ScriptedUi, AnswersBoxesInOrderAndRecordsThem) {
    ScriptedUi ui;
    ui.QueueAnswer(platform::IdNo);
    ui.QueueAnswer(platform::IdRetry);
    EXPECT_EQ(platform::MessageBox("q1", "c1", 0x2024), platform::IdNo);
    EXPECT_EQ(platform::MessageBox("q2", "c2", 0x2015), platform::IdRetry);
    EXPECT_EQ(platform::MessageBox("q3", "c3", 0x2015), platform::IdCancel);
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[1].text, "q2");
    EXPECT_EQ(ui.boxes[1].caption, "c2");
    EXPECT_EQ(ui.boxes[1].style, 0x2015u);
    EXPECT_TRUE(ui.boxes[1].scripted);
    EXPECT_FALSE(ui.boxes[2].scripted);
    EXPECT_EQ(ui.Unscripted(), 1);
    EXPECT_EQ(ui.PendingReplies(), 0u);
}

TEST(ScriptedUi, PlainMessageHasTheApplicationTitleAsCaption) {
    ScriptedUi ui;
    platform::SetApplicationTitle("ZRV-Q710");
    platform::ShowMessage(platform::Ansi("Допомога не знайдена!"));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "ZRV-Q710");
    EXPECT_EQ(ui.boxes[0].Utf8Text(), "Допомога не знайдена!");
    EXPECT_EQ(ui.boxes[0].style, 0u);
}

TEST(ScriptedUi, FileDialogsTakeQueuedPathsAndAddTheDefaultExtension) {
    ScriptedUi ui;
    ui.QueueFile("/data/goods");
    ui.QueueFile(std::nullopt);
    platform::FileDialogRequest save{"XML Document (*.xml)|*.xml", "xml", "", "", true};
    ASSERT_TRUE(platform::SaveFileDialog(save));
    EXPECT_EQ(save.fileName, "/data/goods.xml");
    platform::FileDialogRequest open{"CSV (*.csv)|*.csv", "csv", "", "kept", false};
    EXPECT_FALSE(platform::OpenFileDialog(open));
    EXPECT_EQ(open.fileName, "kept");
    EXPECT_FALSE(platform::OpenFileDialog(open)); // nothing queued: cancelled
    ASSERT_EQ(ui.fileDialogs.size(), 3u);
    EXPECT_TRUE(ui.fileDialogs[0].save);
    EXPECT_TRUE(ui.fileDialogs[0].request.overwritePrompt);
    EXPECT_EQ(ui.fileDialogs[0].request.filter, "XML Document (*.xml)|*.xml");
    EXPECT_EQ(ui.fileDialogs[0].answer, "/data/goods");
    EXPECT_FALSE(ui.fileDialogs[1].save);
    EXPECT_EQ(ui.fileDialogs[1].request.defaultExt, "csv");
    EXPECT_EQ(ui.Unscripted(), 1);
}

TEST(ScriptedUi, ModalWindowsRunTheQueuedReplyWithTheDialog) {
    EnsureApplication();
    ScriptedUi ui;
    QDialog dialog;
    dialog.setObjectName("TForm5");
    dialog.setWindowTitle(QString::fromUtf8("Вибір формату"));
    ui.QueueModal([&ui](QDialog& shown) {
        // A box shown from inside the dialog is recorded after the dialog.
        platform::MessageBox("inner", "c", 0x2040);
        shown.setProperty("touched", true);
        EXPECT_EQ(ui.modals.size(), 1u);
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(platform::ShowModal(dialog), QDialog::Accepted);
    EXPECT_TRUE(dialog.property("touched").toBool());
    EXPECT_EQ(platform::ShowModal(dialog), QDialog::Rejected);
    ASSERT_EQ(ui.modals.size(), 2u);
    EXPECT_EQ(ui.modals[0].objectName, "TForm5");
    EXPECT_EQ(ui.modals[0].title, "Вибір формату");
    EXPECT_EQ(ui.modals[0].result, QDialog::Accepted);
    EXPECT_FALSE(ui.modals[1].scripted);
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST(ScriptedUi, HelpShowsOnlyAnExistingFile) {
    ScriptedUi ui;
    auto dir = std::filesystem::temp_directory_path() / "unit_ui_help";
    std::filesystem::create_directories(dir);
    platform::SetProgramFolder(dir.string());
    std::string help = platform::ProgramFile("HELP.chm");
    std::filesystem::remove(help);
    EXPECT_FALSE(platform::ShowHelp(help, 7));
    std::ofstream(help) << "x";
    EXPECT_TRUE(platform::ShowHelp(help, 2));
    ui.helpViewerWorks = false;
    EXPECT_FALSE(platform::ShowHelp(help, 3));
    ASSERT_EQ(ui.helps.size(), 3u);
    EXPECT_EQ(ui.helps[0].file, (dir / "HELP.chm").string());
    EXPECT_EQ(ui.helps[0].context, 7u);
    EXPECT_TRUE(ui.helps[1].shown);
    platform::SetProgramFolder("");
    std::filesystem::remove_all(dir);
}

TEST(ScriptedUi, WaitsAreRecordedNotWaitedAndTheLoopHookRuns) {
    ScriptedUi ui;
    int hooked = 0;
    ui.onProcessMessages = [&hooked] { ++hooked; };
    platform::Sleep(2000);
    platform::ProcessMessages();
    platform::ProcessMessages();
    EXPECT_EQ(ui.sleeps, std::vector<unsigned>{2000});
    EXPECT_EQ(ui.processMessagesCalls, 2);
    EXPECT_EQ(hooked, 2);
}

} // namespace
