#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/ui/AnsiText.h"
#include "platform/ui/ScriptedUi.h"
#include "platform/ui/Translations.h"
#include "platform/ui/Ui.h"
#include "platform/ui/WindowPlacement.h"

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

    // Replaced out of order, as `ui = std::make_unique<ScriptedUi>()` does: the newer one stays in charge
    // and, when it goes, the original comes back rather than the destroyed one.
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

namespace {

TEST(MessageBoxText, BreaksLinesAtCrLfLoneCrAndLoneLf) {
    const std::pair<const char*, const char*> cases[] = {
        {"a\r\nb", "a\nb"},   {"a\rb", "a\nb"},   {"a\nb", "a\nb"},     {"a\r\rb", "a\n\nb"},
        {"a\n\rb", "a\n\nb"}, {"end\r", "end\n"}, {"\r\n\r\n", "\n\n"}, {"plain", "plain"},
    };
    for (auto [text, lines] : cases) EXPECT_EQ(platform::MessageLines(text), lines) << text;

    EnsureApplication();
    // A DBF failure text with a bare CR, and markup that must stay text.
    std::unique_ptr<QMessageBox> box =
        platform::MakeMessageBox("CreateTable:\rfile <b>x</b>", platform::Ansi("Помилка"), 0x2015);
    EXPECT_EQ(box->text(), "CreateTable:\nfile <b>x</b>");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8("Помилка"));
    EXPECT_EQ(box->buttons().size(), 2);
}

TEST(WindowPlacement, CentredOnTheOwnerAndWhollyOnScreen) {
    const QRect screen(0, 0, 1280, 1024);
    struct Case {
        QRect owner;
        QSize size;
        QPoint place;
    };
    const Case cases[] = {
        {{100, 100, 800, 600}, {400, 200}, {300, 300}}, // plain centre
        {{0, -200, 780, 465}, {420, 300}, {180, 0}},    // owner above the top: pushed down
        {{900, 800, 780, 465}, {400, 300}, {880, 724}}, // past the right and bottom edges
        {{-500, 100, 600, 400}, {300, 200}, {0, 200}},  // past the left edge
        {{0, 0, 400, 300}, {1600, 1200}, {0, 0}},       // larger than the screen: its top-left
        {{200, 100, 780, 465}, {780, 465}, {200, 100}}, // the owner's own size
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::CentredPlace(c.owner, c.size, screen), c.place)
            << c.owner.x() << "," << c.owner.y() << " " << c.size.width();
    // A screen that does not start at 0,0 (a second monitor).
    EXPECT_EQ(platform::CentredPlace({1300, 0, 200, 100}, {400, 300}, {1280, 0, 1920, 1080}),
              QPoint(1280, 0));
}

// The first showing places a dialog that has never had a size of its own;
// later showings leave it where the user put it.
TEST(WindowPlacement, FirstShowingCentresOnTheOwnerWithTheDialogsOwnSize) {
    EnsureApplication();
    QWidget owner;
    owner.setGeometry(50, 60, 700, 500);
    owner.show();
    QDialog dialog;
    auto* column = new QVBoxLayout(&dialog);
    column->addWidget(new QLabel("A dialog with a layout", &dialog));
    platform::PlaceCentred(dialog, &owner);
    QSize size = dialog.sizeHint();
    EXPECT_EQ(dialog.size(), size);
    QPoint centre = dialog.frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - owner.frameGeometry().center().x()), 1);
    EXPECT_LE(std::abs(centre.y() - owner.frameGeometry().center().y()), 1);
    dialog.move(5, 5);
    platform::PlaceOnFirstShow(dialog);
    EXPECT_EQ(dialog.pos(), QPoint(5, 5));
}

TEST(Toolkit, StandardButtonsFollowTheUsersLanguage) {
    EnsureApplication();
    ASSERT_TRUE(platform::LoadToolkitTranslations(QLocale(QLocale::Ukrainian, QLocale::Ukraine)));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Retry | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), QString::fromUtf8("Так"));
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), QString::fromUtf8("Ні"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), QString::fromUtf8("Скасувати"));
    platform::LoadToolkitTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    QMessageBox english;
    english.setStandardButtons(QMessageBox::Yes);
    EXPECT_EQ(english.button(QMessageBox::Yes)->text().remove('&'), "Yes");
}

// Qt would append an application display name to every window's caption.
TEST(Toolkit, TheApplicationTitleIsNoDisplayName) {
    EnsureApplication();
    platform::SetApplicationTitle("ZRV-Q710");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    EXPECT_EQ(platform::ApplicationTitle(), "ZRV-Q710");
}

} // namespace
