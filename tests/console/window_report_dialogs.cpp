// The report option dialogs and the about box: their field checks, what they
// hand back, and their help keys.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

#include "console/RadioGroup.h"
#include "console/TAboutBox.h"
#include "console/TForm11.h"
#include "console/TForm6.h"
#include "console/TForm7.h"
#include "console/TQProgressBar.h"
#include "console/UpDown.h"
#include "support_program.h"

namespace {

using testing_console::ProgramHarness;

class Dialogs : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.Create()); }
    app::ProgramWindows& W() { return h.program->windows; }
    std::string LastBox() const { return h.ui.boxes.empty() ? "" : h.ui.boxes.back().Utf8Text(); }
    void ExpectErrorBox(const std::string& text) {
        ASSERT_FALSE(h.ui.boxes.empty());
        EXPECT_EQ(h.ui.boxes.back().Utf8Text(), text);
        EXPECT_EQ(h.ui.boxes.back().Utf8Caption(), "Помилка");
        EXPECT_EQ(h.ui.boxes.back().style, 0x2010u);
    }
    static void PressHelp(QWidget& window) { emit window.findChild<QShortcut*>()->activated(); }
    ProgramHarness h;
};

TEST_F(Dialogs, AllGoodsOptionsApplyTheModeOnShowAndOnEveryChange) {
    console::TForm6& f = *W().Form6;
    f.ReportBar = h.Form().QProgressBar3;
    f.GoodsNum->setText("25");
    h.ui.QueueModal([&](QDialog&) {
        EXPECT_EQ(f.FirstGoodsNumber, 25); // mode 0 applied on show
        EXPECT_EQ(f.LastGoodsNumber, 25);
        EXPECT_EQ(h.Form().QProgressBar3->Maximum(), 1);
        EXPECT_TRUE(f.GoodsNum->isEnabled());
        EXPECT_FALSE(f.FirstNumber->isEnabled() || f.LastNumber->isEnabled() || f.UpDown22->isEnabled());
        f.RGMode1->Click(4);
        f.FirstNumber->setText("10");
        f.LastNumber->setText("3");
        f.LastNumberExit();
        EXPECT_EQ(f.FirstGoodsNumber, 3);
        EXPECT_EQ(f.LastGoodsNumber, 10);
        EXPECT_EQ(h.Form().QProgressBar3->Maximum(), 7);
        EXPECT_FALSE(f.GoodsNum->isEnabled());
        EXPECT_TRUE(f.FirstNumber->isEnabled() && f.UpDown23->isEnabled());
        // An arrow click applies the mode too.
        f.UpDown22->findChildren<QToolButton*>()[1]->click(); // down: 10 -> 9
        EXPECT_EQ(f.FirstNumber->text(), "9");
        EXPECT_EQ(h.Form().QProgressBar3->Maximum(), 6);
        f.FirstNumber->setText("5");
        f.LastNumber->setText("5");
        f.FirstNumberExit();
        EXPECT_EQ(h.Form().QProgressBar3->Maximum(), 1);
        f.RGMode1->Click(2);
        EXPECT_EQ(f.FirstGoodsNumber, 25);
        EXPECT_EQ(f.LastGoodsNumber, -1);
        EXPECT_EQ(h.Form().QProgressBar3->Maximum(), 1); // left as it was
        f.Button1->click();
        return f.result();
    });
    f.Execute();
    EXPECT_EQ(h.State().DialogAccepted, 1);
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST_F(Dialogs, AllGoodsNumberFieldsRefuseLettersAndClampToTheBase) {
    console::TForm6& f = *W().Form6;
    f.FormShow();
    f.GoodsNum->setText("5");
    f.GoodsNumExit();
    EXPECT_EQ(f.FirstGoodsNumber, 5);
    f.GoodsNum->setText("12a");
    f.GoodsNumExit();
    ExpectErrorBox("Невірно заданий номер товару в базі!");
    EXPECT_EQ(f.GoodsNum->text(), "0");
    EXPECT_EQ(f.FirstGoodsNumber, 5); // the refused text does not apply the mode
    f.GoodsNum->setText("9999");
    f.GoodsNumExit();
    EXPECT_EQ(f.GoodsNum->text(), "5268");
    EXPECT_EQ(f.FirstGoodsNumber, 5268);
    f.FirstNumber->setText("x");
    f.FirstNumberExit();
    ExpectErrorBox("Початковий номер товару (послуги) в базі заданий невірно!\r\n"
                   "В якості номера товару (послуги) в базі має бути тільки число!");
    f.LastNumber->setText(" ");
    f.LastNumberExit();
    EXPECT_EQ(f.LastNumber->text(), "0");
    EXPECT_EQ(h.ui.boxes.size(), 2u);
}

TEST_F(Dialogs, OptionDialogsClosedWithTheCloseBoxAreCancelled) {
    for (QDialog* d : std::initializer_list<QDialog*>{W().Form6.get(), W().Form7.get(), W().Form11.get()}) {
        h.State().DialogAccepted = 1;
        h.ui.QueueModalResult(0);
        if (d == W().Form6.get()) W().Form6->Execute();
        if (d == W().Form7.get()) W().Form7->Execute();
        if (d == W().Form11.get()) W().Form11->Execute();
        EXPECT_EQ(h.State().DialogAccepted, 0) << d->objectName().toStdString();
        // The run button accepts, the other button cancels.
        d->findChild<QPushButton*>("Button1")->click();
        EXPECT_EQ(h.State().DialogAccepted, 1);
        QPushButton* exit = d->findChild<QPushButton*>(d == W().Form11.get() ? "Button21" : "Button2");
        exit->click();
        EXPECT_EQ(h.State().DialogAccepted, 0);
    }
}

// Enter in a field (the default button, with the focus still in the field)
// runs that field's check before anything is taken; a refusal keeps the
// dialog open.
TEST_F(Dialogs, EnterRunsTheFocusedFieldsCheckFirst) {
    struct Case {
        const char* dialog;
        const char* field;
        const char* typed;
        const char* shown; // the field after the check
        bool accepted;
        const char* box; // "" when none
    };
    const Case cases[] = {
        {"TForm6", "GoodsNum", "12", "12", true, ""},
        {"TForm6", "GoodsNum", "9999", "5268", true, ""},
        {"TForm6", "GoodsNum", "12a", "0", false, "Невірно заданий номер товару в базі!"},
        {"TForm7", "CriticalRemain", "1,5", "1,500", true, ""},
        {"TForm7", "CriticalRemain", "x", "0,000", false, "Помилка в параметрі \"критичний залишок\"!"},
        {"TForm7", "Goods_Group2", "150", "100", true, ""},
        {"TForm7", "Goods_Group2", "a", "1", false, "Помилка товарної групи!"},
        {"TForm11", "LastBarcode", "4820000000001", "4820000000001", true, ""},
        {"TForm11", "FirstBarcode", "abc", "", false,
         "Невірно заданий початковий код товару!\r\nМожливий діапазон значень: 1000000..9999999999999!"},
    };
    W().Form6->ReportBar = h.Form().QProgressBar3;
    W().Form7->RadioGroup2->Click(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dialog) + " " + c.field + " " + c.typed);
        std::size_t boxes = h.ui.boxes.size();
        bool stayedOpen = false;
        QString shown;
        h.ui.QueueModal([&](QDialog& d) {
            d.show();
            auto* edit = d.findChild<QLineEdit*>(c.field);
            edit->setFocus();
            edit->setText(QString::fromUtf8(c.typed));
            testing_console::PressKey(edit, Qt::Key_Return);
            shown = edit->text();
            stayedOpen = d.isVisible();
            if (stayedOpen) d.hide();
            return d.result();
        });
        std::string name = c.dialog;
        if (name == "TForm6") W().Form6->Execute();
        if (name == "TForm7") W().Form7->Execute();
        if (name == "TForm11") W().Form11->Execute();
        EXPECT_EQ(shown.toStdString(), c.shown);
        EXPECT_EQ(stayedOpen, !c.accepted);
        EXPECT_EQ(h.State().DialogAccepted, c.accepted ? 1 : 0);
        EXPECT_EQ(h.ui.boxes.size(), boxes + (*c.box ? 1 : 0));
        if (*c.box) ExpectErrorBox(c.box);
        if (name == "TForm6" && c.accepted) {
            EXPECT_EQ(W().Form6->FirstGoodsNumber, std::stoi(c.shown));
        }
    }
}

TEST_F(Dialogs, CriticalRemainsThresholdAndGroupChecks) {
    console::TForm7& f = *W().Form7;
    EXPECT_EQ(f.Goods_Group2->text(), "100");
    EXPECT_FALSE(f.Goods_Group2->isEnabled() || f.UpDown3->isEnabled());
    f.CriticalRemain->setText("7");
    f.FormShow();
    EXPECT_EQ(f.CriticalRemain->text(), "0,000");
    f.RadioGroup2->Click(1);
    EXPECT_TRUE(f.Goods_Group2->isEnabled() && f.UpDown3->isEnabled());
    f.RadioGroup2->Click(0);
    EXPECT_FALSE(f.Goods_Group2->isEnabled());

    f.CriticalRemain->setText("1234");
    f.CriticalRemainExit();
    EXPECT_EQ(f.CriticalRemain->text(), "1,234");
    f.CriticalRemain->setText("-2,5");
    f.CriticalRemainExit();
    ExpectErrorBox("Помилка в параметрі \"критичний залишок\"!");
    EXPECT_EQ(f.CriticalRemain->text(), "0,000");

    f.Goods_Group2->setText("150");
    f.Goods_Group2Exit();
    EXPECT_EQ(f.Goods_Group2->text(), "100");
    f.Goods_Group2->setText("");
    f.Goods_Group2Exit();
    EXPECT_EQ(f.Goods_Group2->text(), "1");
    f.Goods_Group2->setText("a1");
    f.Goods_Group2Exit();
    ExpectErrorBox("Помилка товарної групи!");
    EXPECT_EQ(f.Goods_Group2->text(), "1");
    EXPECT_EQ(h.ui.boxes.size(), 2u);
}

TEST_F(Dialogs, RangeBarcodeChecksLeaveThePluFieldsAlone) {
    console::TForm11& f = *W().Form11;
    EXPECT_EQ(f.FirstPLU->text(), "1");
    EXPECT_EQ(f.LastPLU->text(), "1");
    EXPECT_EQ(f.FirstBarcode->text(), "");
    f.FirstBarcodeExit();
    ExpectErrorBox(
        "Невірно заданий початковий код товару!\r\nМожливий діапазон значень: 1000000..9999999999999!");
    f.FirstBarcode->setText("0");
    f.FirstBarcodeExit();
    EXPECT_EQ(f.FirstBarcode->text(), "");
    f.FirstBarcode->setText("12");
    f.FirstBarcodeExit();
    EXPECT_EQ(f.FirstBarcode->text(), "12");
    f.LastBarcode->setText("x");
    f.LastBarcodeExit();
    ExpectErrorBox(
        "Невірно заданий кінцевий код товару!\r\nМожливий діапазон значень: 1000000..9999999999999!");
    EXPECT_EQ(f.LastBarcode->text(), "");
    EXPECT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(f.FirstPLU->maxLength(), 6);
    EXPECT_EQ(f.LastBarcode->maxLength(), 13);
}

TEST_F(Dialogs, HelpKeysOfTheDialogs) {
    PressHelp(*W().Form6);
    EXPECT_EQ(LastBox(), "Допомога не знайдена!");
    PressHelp(*W().Form7);
    EXPECT_EQ(LastBox(), "Файл допомоги не знайдений!");
    PressHelp(*W().AboutBox);
    EXPECT_EQ(LastBox(), "Допомога не знайдена!");
    ASSERT_EQ(h.ui.helps.size(), 3u);
    EXPECT_EQ(h.ui.helps[0].context, 7u);
    EXPECT_EQ(h.ui.helps[1].context, 7u);
    EXPECT_EQ(h.ui.helps[2].context, 1u);
    // The range dialog leaves the key to the application's help file, silently.
    std::size_t boxes = h.ui.boxes.size();
    PressHelp(*W().Form11);
    ASSERT_EQ(h.ui.helps.size(), 4u);
    EXPECT_EQ(h.ui.helps[3].file, platform::ApplicationHelpFile());
    EXPECT_EQ(h.ui.boxes.size(), boxes);
}

TEST_F(Dialogs, AboutBoxShowsTheProgramAndClosesWithOk) {
    console::TAboutBox& box = *W().AboutBox;
    EXPECT_EQ(box.ProductName->text().toStdString(), "Програма обслуговування таблиці \n  товарів ЕККА серії "
                                                     "\"ЗРВ-Q710\"\n                 з версією 2-01");
    EXPECT_EQ(box.Version->text().toStdString(), "Версія: 3.0.4");
    EXPECT_TRUE(box.OKButton->isDefault());
    h.ui.QueueModal([&](QDialog& d) {
        box.OKButton->click();
        return d.result();
    });
    h.Form().ActionInformation->trigger();
    ASSERT_EQ(h.ui.modals.size(), 1u);
    EXPECT_EQ(h.ui.modals[0].objectName, "TAboutBox");
    EXPECT_EQ(h.ui.modals[0].result, QDialog::Accepted);
}

} // namespace
