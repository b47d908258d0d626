// The page of the fixed discount and margin against the simulated register,
// and the masked percentage edit it and the discount-group page use.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "console/PercentEdit.h"
#include "support_reports.h"

namespace {

using testing_console::ReportHarness;

std::vector<std::string> Calls(const ReportHarness& h, const std::string& function) {
    std::vector<std::string> out;
    for (const std::string& line : testing_console::LogLines(h.SimulatorLog(), ""))
        if (line.rfind(function + "(", 0) == 0) out.push_back(line);
    return out;
}

void Type(QWidget* edit, char c) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + (c - '0'), Qt::NoModifier, QString(QChar(c)));
    QApplication::sendEvent(edit, &press);
}

// Typing keeps the mask's five places; a cleared place reads as 0 at once.
TEST(PercentEdit, TypedAndClearedPlaces) {
    testing_console::EnsureApplication();
    console::PercentEdit edit;
    int changes = 0;
    edit.OnChange = [&] {
        ++changes;
        edit.SetMaskText(console::FillMaskBlanks(edit.MaskText()));
    };
    EXPECT_EQ(edit.MaskText(), "00.00");
    edit.setCursorPosition(0);
    for (char c : std::string("12345")) Type(&edit, c); // the fifth finds no place
    EXPECT_EQ(edit.MaskText(), "12.34");
    EXPECT_GT(changes, 0);
    edit.setCursorPosition(4); // after the 3
    testing_console::PressKey(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.MaskText(), "12.04");
    edit.selectAll();
    testing_console::PressKey(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.MaskText(), "00.00");
    edit.setCursorPosition(0);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(&edit, &letter);
    EXPECT_EQ(edit.MaskText(), "00.00");
    // Without a handler the empty places show, and stay in the text.
    console::PercentEdit bare;
    bare.SetMaskText("1x.3");
    EXPECT_EQ(bare.MaskText(), "1?.3?");
    EXPECT_EQ(console::FillMaskBlanks("??.?5"), "00.05");
}

TEST(DiscMargPage, ReadShowsTheValuesAndSwitches) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    f.ActionReadDiscMarg->trigger();
    EXPECT_EQ(f.MEDiscountValue->MaskText(), "05.00");
    EXPECT_EQ(f.MEMarginValue->MaskText(), "02.50");
    EXPECT_TRUE(f.CBDiscountsEnabled->isChecked());
    EXPECT_FALSE(f.CBMarginsEnabled->isChecked());
    EXPECT_EQ(f.PageControl1->currentIndex(), 9);
    EXPECT_TRUE(h.ui.boxes.empty());
}

// Values written and read back: the texts of both rules, both ways.
TEST(DiscMargPage, ValuesWrittenAndReadBack) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    const std::pair<const char*, const char*> values[] = {
        {"00.00", "99.99"}, {"00.05", "05.50"}, {"12.34", "00.00"}};
    for (auto [discount, margin] : values) {
        f.MEDiscountValue->SetMaskText(discount);
        f.MEMarginValue->SetMaskText(margin);
        f.ActionWriteDiscMarg->trigger();
        f.MEDiscountValue->SetMaskText("11.11");
        f.MEMarginValue->SetMaskText("11.11");
        f.ActionReadDiscMarg->trigger();
        EXPECT_EQ(f.MEDiscountValue->MaskText(), discount);
        EXPECT_EQ(f.MEMarginValue->MaskText(), margin);
    }
    EXPECT_EQ(Calls(h, "SetDiscMargValues"),
              (std::vector<std::string>{"SetDiscMargValues(0, 9999)", "SetDiscMargValues(5, 550)",
                                        "SetDiscMargValues(1234, 0)"}));
    ASSERT_EQ(h.ui.boxes.size(), 3u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Записані нові значення фіксованих знижок та націнок.");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Повідомлення");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2040u);
    EXPECT_EQ(f.BitBtnWriteDiscMarg->text().toStdString(), "Записати нові значення");
}

// Clearing the 3 of 12.34 sends 1204.
TEST(DiscMargPage, AClearedDigitIsSentAsZero) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    f.MEDiscountValue->SetMaskText("12.34");
    f.MEDiscountValue->setCursorPosition(4);
    testing_console::PressKey(f.MEDiscountValue, Qt::Key_Backspace);
    EXPECT_EQ(f.MEDiscountValue->MaskText(), "12.04");
    f.ActionWriteDiscMarg->trigger();
    EXPECT_EQ(Calls(h, "SetDiscMargValues"), std::vector<std::string>{"SetDiscMargValues(1204, 0)"});
}

TEST(DiscMargPage, SwitchesAreSentAsAllBitsOrNone) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    for (bool on : {false, true}) {
        f.CBDiscountsEnabled->setChecked(on);
        f.CBMarginsEnabled->setChecked(on);
        f.ActionSetDiscMargFlags->trigger();
    }
    EXPECT_EQ(Calls(h, "SetDiscountMarginFlags"),
              (std::vector<std::string>{"SetDiscountMarginFlags(0, 0)", "SetDiscountMarginFlags(-1, -1)"}));
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[1].Utf8Text(), "Ознаки фіксованих знижок та націнок були успішно встановлені.");
    EXPECT_EQ(h.ui.boxes[1].style, 0x2040u);
    EXPECT_EQ(f.BitBtnSetDiscMargFlags->text().toStdString(), "Записати ознаки");
}

// Failures show the library's own text; the controls keep what they showed.
TEST(DiscMargPage, FailuresShowTheLibrarysText) {
    ReportHarness h("fail GetDiscMargValues text \"Немає даних\"\n"
                    "fail SetDiscMargValues status 0x31 text \"Зміна заборонена\"\n"
                    "fail SetDiscountMarginFlags text \"Зміна ознак заборонена\"\n");
    console::TForm1& f = h.Form();
    f.MEDiscountValue->SetMaskText("07.07");
    f.ActionReadDiscMarg->trigger();
    EXPECT_EQ(f.MEDiscountValue->MaskText(), "07.07");
    f.ActionWriteDiscMarg->trigger();
    EXPECT_EQ(f.BitBtnWriteDiscMarg->text().toStdString(), "Записати нові значення");
    f.ActionSetDiscMargFlags->trigger();
    EXPECT_EQ(h.BoxTexts(),
              (std::vector<std::string>{"Немає даних", "Зміна заборонена", "Зміна ознак заборонена"}));
    for (const auto& box : h.ui.boxes) {
        EXPECT_EQ(box.style, 0x2010u);
        EXPECT_EQ(box.Utf8Caption(), "Помилка");
    }
}

} // namespace
