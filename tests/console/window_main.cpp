#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <filesystem>
#include <functional>

#include "console/ActionButton.h"
#include "console/ContextHelp.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"
#include "support_program.h"

namespace {

using testfiles::Spit;
using testing_console::ProgramHarness;

bool Enabled(QAction* a) {
    return a->isEnabled();
}

TEST(MainWindow, StartsIdleWithTheDefaultSettings) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    EXPECT_EQ(platform::ApplicationTitle(), "ZRV-Q710");
    EXPECT_EQ(f.PortNumber->currentText(), "COM1");
    EXPECT_EQ(f.BRate->currentIndex(), 0);
    EXPECT_EQ(f.AddrPC->text(), "1");
    EXPECT_EQ(f.AddrECR->text(), "0");
    EXPECT_FALSE(f.AddrECR->isEnabled());
    EXPECT_FALSE(f.NetMode->isChecked());
    EXPECT_EQ(f.CBAttempts->currentText(), "3");
    EXPECT_EQ(h.State().EcrAddress, 2);
    EXPECT_EQ(h.State().CsvOptions.Delimiter, ';');
    EXPECT_TRUE(h.State().CsvOptions.IgnoreEmptyLines);
    for (QAction* a : f.DeviceActions) EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    // The key and journal dialogs call the register themselves: no session, no dialog.
    for (QWidget* w : f.DialogButtons) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(Enabled(f.ECRPowerOff) || Enabled(f.ModemECRPowerOff));
    EXPECT_TRUE(Enabled(f.Connect) && Enabled(f.ModemConnect));
    EXPECT_FALSE(Enabled(f.Disconnect) || Enabled(f.ModemDisconnect));
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.StatusText(), "");
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(MainWindow, CreatesEveryWindowAndTheButtonsShowThemModally) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    const app::ProgramWindows& w = h.program->windows;
    ASSERT_TRUE(w.Form4 && w.Form6 && w.Form7 && w.Form11 && w.Form12);
    h.Form().Connect->trigger();
    h.Form().BitBtn3->click();
    h.Form().BitBtn4->click();
    h.Form().BitBtn7->click();
    h.Form().ActionInformation->trigger();
    ASSERT_EQ(h.ui.modals.size(), 4u);
    EXPECT_EQ(h.ui.modals[0].objectName, "TForm9");
    EXPECT_EQ(h.ui.modals[1].objectName, "TForm10");
    EXPECT_EQ(h.ui.modals[2].objectName, "TForm13");
    EXPECT_EQ(h.ui.modals[3].objectName, "TAboutBox");
}

TEST(MainWindow, MissingLibraryIsNamedAndNothingElseStarts) {
    ProgramHarness h(false);
    EXPECT_FALSE(h.Create());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text().rfind(
                  "Не вдається завантажити бібліотеку ЕККА " + h.dir.File("Q710_201.so"), 0),
              0u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
    EXPECT_FALSE(h.State().Device.Loaded());
    EXPECT_EQ(h.program->windows.Form4, nullptr);
}

TEST(MainWindow, UnusableLibraryIsRefused) {
    ProgramHarness h(false);
    // Any file that is not a usable library stands for a broken one.
    Spit(h.dir.File("Q710_201.so"), "not a library");
    EXPECT_FALSE(h.Create());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_NE(h.ui.boxes[0].text.find("Q710_201.so"), std::string::npos);
}

TEST(MainWindow, NetworkModeFromTheSettings) {
    ProgramHarness h;
    h.WriteSettingsFile("[GENERAL]\nNET MODE=1\nADDR(ECR)=5\n");
    ASSERT_TRUE(h.Create());
    EXPECT_EQ(h.Form().AddrECR->text(), "5");
    EXPECT_TRUE(h.Form().AddrECR->isEnabled());
    EXPECT_EQ(h.Form().UpDown1->Min(), 1);

    ProgramHarness zero;
    zero.WriteSettingsFile("[GENERAL]\nNET MODE=1\nADDR(ECR)=0\n");
    ASSERT_TRUE(zero.Create());
    EXPECT_EQ(zero.Form().AddrECR->text(), "2");
}

TEST(MainWindow, NetworkModeOffAndOnRestoresTheRegisterAddress) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.NetMode->setChecked(true); // first switch-on after a fresh start
    EXPECT_EQ(f.AddrECR->text(), "2");
    f.AddrECR->setText("17");
    f.NetMode->setChecked(false);
    EXPECT_EQ(f.AddrECR->text(), "0");
    EXPECT_FALSE(f.AddrECR->isEnabled());
    EXPECT_EQ(f.UpDown1->Min(), 0);
    f.NetMode->setChecked(true);
    EXPECT_EQ(f.AddrECR->text(), "17");
    EXPECT_TRUE(f.AddrECR->isEnabled());
}

TEST(MainWindow, AddressEditsAreCheckedWhenLeft) {
    ProgramHarness h;
    h.WriteSettingsFile("[GENERAL]\nNET MODE=1\nADDR(ECR)=5\n");
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.AddrECR->setText("ab");
    f.AddrECRExit();
    EXPECT_EQ(f.AddrECR->text(), "2");
    f.AddrECR->setText("150");
    f.AddrECRExit();
    EXPECT_EQ(f.AddrECR->text(), "99");
    f.AddrPC->setText("99");
    f.AddrPCExit();
    EXPECT_EQ(f.AddrPC->text(), "1");
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Невірно задана адреса ЕККА!\r\nМожливий діапазон значень: 1..99!");
    EXPECT_EQ(h.ui.boxes[1].Utf8Text(),
              "Адреса ПК співпадає з адресою ЕККА!\r\nВведіть нове значення адреси ПК.");
    EXPECT_EQ(h.ui.boxes[1].style, 0x2010u);
}

TEST(MainWindow, TreeSelectsPagesAndPagesSetTheHelpContext) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    QTreeWidgetItem* root = f.TreeView1->topLevelItem(0);
    f.TreeView1->setCurrentItem(root->child(1));
    EXPECT_EQ(f.PageControl1->currentIndex(), 1);
    f.TreeView1->setCurrentItem(root);
    EXPECT_EQ(f.PageControl1->currentIndex(), 0);
    f.TreeView1->setCurrentItem(root->child(0));
    EXPECT_EQ(f.PageControl1->currentIndex(), 0);
    f.TreeView1->setCurrentItem(f.TreeView1->topLevelItem(2)); // "База товаров"
    EXPECT_EQ(f.PageControl1->currentIndex(), 3);
    f.TreeView1->setCurrentItem(f.TreeView1->topLevelItem(8)); // "Скидки и наценки"
    EXPECT_EQ(f.PageControl1->currentIndex(), 9);
    EXPECT_EQ(f.TreeView1->topLevelItem(8)->text(0).toStdString(), "Скидки и наценки");

    f.PageControl1->setCurrentIndex(2);
    EXPECT_EQ(console::HelpContextOf(f.PageControl1), 4);
    f.PageControl1->setCurrentIndex(7);
    EXPECT_EQ(console::HelpContextOf(f.PageControl1), 4);
    EXPECT_EQ(console::ControlHelpContext(f.TabSheets[7]), 4);
    EXPECT_EQ(console::ControlHelpContext(f.AddrPC), 2);
    EXPECT_EQ(console::ControlHelpContext(f.Phone), 3);
}

TEST(MainWindow, HelpWithoutAHelpFileSaysSo) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    h.Form().N66Click();
    ASSERT_EQ(h.ui.helps.size(), 1u);
    EXPECT_EQ(h.ui.helps[0].context, 1u);
    EXPECT_EQ(h.ui.helps[0].file, h.dir.File("HELP.chm"));
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Допомога не знайдена!");
    EXPECT_EQ(h.ui.boxes[0].caption, "ZRV-Q710");
    EXPECT_EQ(h.ui.boxes[0].style, 0u);

    Spit(h.dir.File("HELP.chm"), "help");
    h.Form().AddrPC->setFocus();
    console::HelpRequest(&h.Form(), console::HelpNotFoundText());
    ASSERT_EQ(h.ui.helps.size(), 2u);
    EXPECT_TRUE(h.ui.helps[1].shown);
    EXPECT_EQ(h.ui.boxes.size(), 1u);
}

TEST(MainWindow, HelpKeyOverAControlWithoutContextDoesNothing) {
    testing_console::EnsureApplication();
    platform::ScriptedUi ui;
    QWidget lone;
    QLineEdit edit(&lone);
    console::HelpRequest(&lone, console::HelpNotFoundText());
    EXPECT_TRUE(ui.helps.empty());
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(MainWindow, DeviceActionsFollowTheSessionKind) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.EnableDeviceActions();
    for (QAction* a : f.DeviceActions) EXPECT_TRUE(a->isEnabled());
    EXPECT_TRUE(Enabled(f.ECRPowerOff));
    EXPECT_FALSE(Enabled(f.ModemECRPowerOff));
    h.State().ModemSession = 1;
    f.EnableDeviceActions();
    EXPECT_FALSE(Enabled(f.ECRPowerOff));
    EXPECT_TRUE(Enabled(f.ModemECRPowerOff));
    f.DisableDeviceActions();
    for (QAction* a : f.DeviceActions) EXPECT_FALSE(a->isEnabled());
    EXPECT_FALSE(Enabled(f.ECRPowerOff) || Enabled(f.ModemECRPowerOff));
    // Neither touches the session actions nor the stop and plain ones.
    for (QAction* a : {f.Connect, f.ModemConnect, f.ActionGoodsStop, f.ActionGroupsStop, f.ActionExit,
                       f.ActionInformation})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    // Without a usable session the actions do not come back after an operation.
    f.RestoreDeviceActions();
    EXPECT_FALSE(f.DeviceActions.front()->isEnabled());
    f.ActionGoodsStop->trigger();
    f.ActionGroupsStop->trigger();
    EXPECT_EQ(h.State().StopRequested.Goods, 1);
    EXPECT_EQ(h.State().StopRequested.Groups, 1);
}

TEST(MainWindow, ClosingWithoutASessionAsksNothingAndWritesTheSettings) {
    ProgramHarness h;
    h.WriteSettingsFile("[CSV]\r\nDELIM=TAB\r\n[GENERAL]\r\nPORT=COM9\r\n");
    ASSERT_TRUE(h.Create());
    h.Form().show();
    h.Form().Phone->setText(QString::fromUtf8("№7"));
    h.Form().CBAttempts->setCurrentIndex(9);
    EXPECT_TRUE(h.Form().close());
    EXPECT_TRUE(h.ui.boxes.empty());
    EXPECT_EQ(h.State().Closing, 1);
    platform::IniFile ini(h.dir.File("Q710b.ini"));
    EXPECT_EQ(ini.ReadString("GENERAL", "PORT", ""), "COM1");
    EXPECT_EQ(ini.ReadString("GENERAL", "BAUD RATE", ""), "4800");
    EXPECT_EQ(ini.ReadString("REMOTE CONNECTION", "PHONE", ""), "\xB9"
                                                                "7");
    EXPECT_EQ(ini.ReadString("REMOTE CONNECTION", "ATTEMTS", ""), "10");
    EXPECT_EQ(ini.ReadString("CSV", "DELIM", ""), "TAB");
}

TEST(MainWindow, DeclinedCloseKeepsTheWindowAndClearsClosing) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    h.Form().show();
    h.Form().Disconnect->setEnabled(true); // a direct session is open
    h.ui.QueueAnswer(platform::IdNo);
    EXPECT_FALSE(h.Form().close());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Ви дійсно бажаєте завершити роботу програми?");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Завершення роботи");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2024u);
    EXPECT_EQ(h.State().Closing, 0);
    EXPECT_FALSE(std::filesystem::exists(h.dir.File("Q710b.ini")));
    h.ui.QueueAnswer(platform::IdYes);
    EXPECT_TRUE(h.Form().close());
    EXPECT_TRUE(std::filesystem::exists(h.dir.File("Q710b.ini")));
}

TEST(MainWindow, SettingsThatCannotBeWrittenAreReportedAndTheCloseGoesOn) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    h.Form().show();
    std::filesystem::create_directory(h.dir.File("Q710b.ini")); // in the way of the file
    EXPECT_TRUE(h.Form().close());
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Помилка");
    // In the program's language, and readable (the text is converted for the box).
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Не вдається оновити файл налаштувань: Не вдається прочитати файл " +
                                            h.dir.File("Q710b.ini") + ": Це каталог");
}

// The about box and the journal dialogs open centred on the main window and
// wholly on the screen with the frame the platform puts around them, the
// first time too (before it was ever shown a dialog has no size of its own):
// the about box ends within the screen.
TEST(MainWindow, DialogsOpenCentredAndWhollyOnScreenWithTheirFrame) {
    const struct {
        const char* name;
        std::function<void(console::TForm1&)> open;
    } dialogs[] = {
        {"about", [](console::TForm1& f) { f.ActionInformation->trigger(); }},
        {"journal options", [](console::TForm1& f) { f.BitBtn5->click(); }},
        {"journal", [](console::TForm1& f) { f.BitBtn7->click(); }},
    };
    for (const auto& dialog : dialogs) {
        for (int corner = 0; corner < 4; ++corner) {
            // A program of its own each time: the dialog's first showing.
            ProgramHarness h;
            ASSERT_TRUE(h.Create());
            h.Form().Connect->trigger();
            h.Form().show();
            const QRect screen = h.Form().screen()->availableGeometry();
            const QPoint corners[] = {{screen.right() - 300, screen.bottom() - 200},
                                      {screen.x() + 10, screen.y() + 10},
                                      {screen.x(), screen.y() - 100},
                                      {screen.x() - 500, screen.bottom() - 100}};
            const QPoint at = corners[corner];
            SCOPED_TRACE(std::string(dialog.name) + " at " + std::to_string(at.x()) + "," +
                         std::to_string(at.y()));
            h.Form().move(at);
            QApplication::processEvents();
            QRect placed, frame;
            QMargins margins;
            h.ui.QueueModal([&](QDialog& d) {
                // Where the program put it, then shown as the program shows
                // it: the frame is the platform's.
                placed = QRect(d.pos(), d.size());
                d.show();
                QApplication::processEvents();
                frame = d.frameGeometry();
                margins = d.windowHandle()->frameMargins();
                d.hide();
                return 0;
            });
            dialog.open(h.Form());
            // The offscreen platform frames windows too (an X server without a
            // window manager does not).
            if (QGuiApplication::platformName() == "offscreen") {
                EXPECT_FALSE(margins.isNull());
            }
            // The place the program chose holds the whole frame, and the
            // platform did not have to move it.
            EXPECT_TRUE(screen.contains(placed.marginsAdded(
                QMargins(0, 0, margins.left() + margins.right(), margins.top() + margins.bottom()))))
                << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
            EXPECT_EQ(frame.topLeft(), placed.topLeft());
            EXPECT_TRUE(screen.contains(frame))
                << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
            // Centred unless the screen's edge is in the way.
            QRect owner = h.Form().frameGeometry();
            QPoint offset = frame.center() - owner.center();
            if (screen.contains(frame.translated(-offset))) {
                EXPECT_LE(std::abs(offset.x()), 1) << offset.y();
                EXPECT_LE(std::abs(offset.y()), 1) << offset.x();
            }
        }
    }
}

// Every tree item shows whole, the longest one ("Конфигурация базы товаров") too.
TEST(MainWindow, TreeIsWideEnoughForItsLongestItem) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    h.Form().show();
    QTreeWidget* tree = h.Form().TreeView1;
    int needed = static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(0);
    EXPECT_GE(tree->viewport()->width(), needed);
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        QRect rect = tree->visualItemRect(*it);
        int text = tree->fontMetrics().horizontalAdvance((*it)->text(0));
        EXPECT_LE(rect.left() + text, tree->viewport()->width()) << (*it)->text(0).toStdString();
    }
}

} // namespace
