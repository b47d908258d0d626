// The key sequence and fast keys dialogs with their shared keypad, against
// the simulated register: what each key adds, the 32-key limit, clearing,
// sending, and reading and writing the eight fast keys.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/KeySequence.h"
#include "console/Keypad.h"
#include "console/TForm10.h"
#include "console/TForm9.h"
#include "platform/ui/AnsiText.h"
#include "support_reports.h"

namespace {

using platform::IdNo;
using platform::IdYes;
using testing_console::ReportHarness;

std::vector<std::string> Calls(const ReportHarness& h, const std::string& function) {
    std::vector<std::string> out;
    for (const std::string& line : testing_console::LogLines(h.SimulatorLog(), ""))
        if (line.rfind(function + "(", 0) == 0) out.push_back(platform::Utf8(line));
    return out;
}

void Press(console::Keypad* keys, const char* button, int times = 1) {
    for (int i = 0; i < times; ++i) keys->KeyButton(button)->click();
}

std::string Shown(const QLineEdit* edit) {
    return edit->text().toStdString();
}

// Every key's letter and label, and the labels read back from letters.
TEST(KeyTable, LettersAndLabels) {
    ASSERT_EQ(console::Keys().size(), 28u);
    std::string letters;
    std::string labels;
    for (const console::KeyDef& k : console::Keys()) {
        letters += k.letter;
        labels += k.label;
    }
    EXPECT_EQ(letters, "0123456789:,-+RAFDUMPHTSOKC*");
    EXPECT_EQ(platform::Utf8(console::SequenceToLabels(letters)), labels);
    EXPECT_EQ(labels.substr(0, 30), "[0][1][2][3][4][5][6][7][8][9]");
    const std::pair<const char*, const char*> read[] = {
        {"", ""}, {"12", "[1][2]"}, {"F:P", "[Ф][00][T1]"}, {"1Q2", "[1][2]"}, {"*K-", "[X][KT][-%]"}};
    for (auto [sequence, shown] : read) EXPECT_EQ(platform::Utf8(console::SequenceToLabels(sequence)), shown);
    EXPECT_EQ(console::KeyOfButton("Button21"), nullptr); // the exit button is no key
}

TEST(KeySequenceDialog, KeysUpToThirtyTwoAndTheLimitMessage) {
    ReportHarness h;
    console::TForm10& d = *h.program->windows.Form10;
    Press(d.Keys, "Button10"); // "00": one key, one letter
    Press(d.Keys, "Button14");
    EXPECT_EQ(Shown(d.FastCode), "[00][ЦІНА]");
    EXPECT_EQ(d.Sequence().letters, ":R");
    Press(d.Keys, "Button7", 30);
    EXPECT_EQ(d.Sequence().letters.size(), 32u);
    std::string full = Shown(d.FastCode);
    EXPECT_TRUE(h.ui.boxes.empty());
    Press(d.Keys, "Button28");
    EXPECT_EQ(Shown(d.FastCode), full);
    EXPECT_EQ(d.Sequence().letters.size(), 32u);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Досягнута максимальна довжина послідовності!");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Повідомлення");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2040u);
}

TEST(KeySequenceDialog, ClearAsksOnlyWhenThereIsSomething) {
    ReportHarness h;
    console::TForm10& d = *h.program->windows.Form10;
    d.Keys->BitBtn1->click();
    EXPECT_TRUE(h.ui.boxes.empty());
    Press(d.Keys, "Button1");
    h.ui.QueueAnswer(IdNo);
    d.Keys->BitBtn1->click();
    EXPECT_EQ(Shown(d.FastCode), "[1]");
    h.ui.QueueAnswer(IdYes);
    d.Keys->BitBtn1->click();
    EXPECT_EQ(Shown(d.FastCode), "");
    EXPECT_EQ(d.Sequence().letters, "");
    ASSERT_EQ(h.ui.boxes.size(), 2u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Стерти набрану послідовність?");
    EXPECT_EQ(h.ui.boxes[0].Utf8Caption(), "Запитання");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2024u);
}

// Sent as typed, the sequence stays; the dialog shows it again when reopened.
TEST(KeySequenceDialog, SendingKeepsTheSequence) {
    ReportHarness h("fail ExecuteBarCode at 2 text \"Послідовність не виконана\"\n");
    console::TForm1& f = h.Form();
    console::TForm10& d = *h.program->windows.Form10;
    h.ui.QueueModal([&](QDialog&) {
        Press(d.Keys, "Button16");
        Press(d.Keys, "Button20");
        d.BitBtnWriteFastCode->click();
        d.BitBtnWriteFastCode->click();
        d.Button21->click();
        return d.result();
    });
    f.BitBtn4->click();
    std::string seen;
    h.ui.QueueModal([&](QDialog&) {
        seen = Shown(d.FastCode);
        return 0;
    });
    f.BitBtn4->click();
    EXPECT_EQ(seen, "[Ф][T1]");
    EXPECT_EQ(Calls(h, "ExecuteBarCode"),
              (std::vector<std::string>{"ExecuteBarCode(\"FP\")", "ExecuteBarCode(\"FP\")"}));
    EXPECT_EQ(h.BoxTexts(),
              (std::vector<std::string>{"Послідовність клавіатурних команд успішно відправлена.",
                                        "Послідовність не виконана"}));
    EXPECT_EQ(h.ui.boxes[1].style, 0x2010u);
    // Without a connection the library answers for itself, the empty sequence goes too.
    d.Keys->BitBtn1->click(); // unscripted question: No
    h.ui.QueueAnswer(IdYes);
    d.Keys->BitBtn1->click();
    f.Disconnect->trigger();
    d.BitBtnWriteFastCode->click();
    EXPECT_EQ(Calls(h, "ExecuteBarCode").back(), "ExecuteBarCode(\"\")");
    EXPECT_NE(h.BoxTexts().back().find("ЕККА не відповідає"), std::string::npos);
}

TEST(FastKeysDialog, ItemsNameTheKeysWithCyrillicT) {
    ReportHarness h;
    console::TForm9& d = *h.program->windows.Form9;
    ASSERT_EQ(d.CBFastKey->count(), 8);
    EXPECT_EQ(d.CBFastKey->itemText(0).toStdString(), "Т1");
    EXPECT_EQ(d.CBFastKey->itemText(0).at(0).unicode(), 0x0422);
    EXPECT_EQ(d.CBFastKey->itemText(7).toStdString(), "[Ф]+Т4");
    EXPECT_EQ(d.CBFastKey->currentIndex(), 0);
}

// Reading one key and all of them: the summary lists the keys that hold a
// sequence; a letter of no key shows no label and is written back as read.
TEST(FastKeysDialog, ReadOneReadAllAndWriteBack) {
    ReportHarness h("fast-key 3 \"1Q2\"\n");
    console::TForm9& d = *h.program->windows.Form9;
    d.CBFastKey->setCurrentIndex(2);
    d.BitBtnReadFastCode->click();
    EXPECT_EQ(Shown(d.FastCode), "[1][2]");
    EXPECT_EQ(d.Stored(2).letters, "1Q2");
    d.BitBtnWriteFastCode->click();
    EXPECT_EQ(Calls(h, "SetFastCode").back(), "SetFastCode(3, \"1Q2\")");
    EXPECT_EQ(h.BoxTexts().back(), "Клавіша швидкого доступу \"Т3\" успішно запрограмована.");
    EXPECT_EQ(h.ui.boxes.back().style, 0x2040u);

    d.CBFastKey->setCurrentIndex(6);
    d.BitBtnReadAllFastCodesClick();
    EXPECT_EQ(h.BoxTexts().back(), "Клавіша: \"Т1\" --> Послідовність: [1][2]\r\n"
                                   "Клавіша: \"Т2\" --> Послідовність: [3][4][5]\r\n"
                                   "Клавіша: \"Т3\" --> Послідовність: [1][2]\r\n"
                                   "Клавіша: \"Т4\" --> Послідовність: [7]\r\n"
                                   "Клавіша: \"[Ф]+Т3\" --> Послідовність: [9]\r\n");
    EXPECT_EQ(h.ui.boxes.back().Utf8Caption(), "Клавіши швидкого доступу");
    EXPECT_EQ(h.ui.boxes.back().style, 0x2040u);
    EXPECT_EQ(Shown(d.FastCode), "[9]"); // the chosen key
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(Calls(h, "GetFastCode")[static_cast<std::size_t>(k)],
                  "GetFastCode(" + std::to_string(k) + ")");
}

TEST(FastKeysDialog, NothingProgrammedAndAFailureHalfWay) {
    {
        ReportHarness h("fast-key 1 \"\"\nfast-key 2 \"\"\nfast-key 4 \"\"\nfast-key 7 \"\"\n");
        h.program->windows.Form9->BitBtnReadAllFastCodes->click();
        EXPECT_EQ(h.BoxTexts(),
                  std::vector<std::string>{"Не запрограмовано жодної клавіші швидкого доступу!"});
        EXPECT_EQ(Shown(h.program->windows.Form9->FastCode), "");
    }
    {
        ReportHarness h("fail GetFastCode at 3 text \"Немає відповіді\"\n");
        console::TForm9& d = *h.program->windows.Form9;
        d.BitBtnReadAllFastCodes->click();
        EXPECT_EQ(h.BoxTexts(), std::vector<std::string>{"Немає відповіді"});
        EXPECT_EQ(Calls(h, "GetFastCode").size(), 3u);
        EXPECT_EQ(d.Stored(1).letters, "345"); // read before the failure
        EXPECT_EQ(d.Stored(3).letters, "");
        d.CBFastKey->setCurrentIndex(3);
        d.BitBtnReadFastCode->click(); // the failure was once
        EXPECT_EQ(d.Stored(3).letters, "7");
    }
}

// Keys go to the chosen fast key's own sequence; clearing clears only that one.
TEST(FastKeysDialog, EachFastKeyKeepsItsOwnSequence) {
    ReportHarness h("fast-key 5 \"11111111111111111111111111111111111\"\n"); // 35 letters
    console::TForm9& d = *h.program->windows.Form9;
    Press(d.Keys, "Button1");
    d.CBFastKey->setCurrentIndex(1);
    EXPECT_EQ(Shown(d.FastCode), "[1]"); // choosing a key does not change the display
    Press(d.Keys, "Button2");
    EXPECT_EQ(Shown(d.FastCode), "[2]");
    d.CBFastKey->setCurrentIndex(0);
    Press(d.Keys, "Button3");
    EXPECT_EQ(Shown(d.FastCode), "[1][3]");
    h.ui.QueueAnswer(IdYes);
    d.Keys->BitBtn1->click();
    EXPECT_EQ(d.Stored(0).letters, "");
    EXPECT_EQ(d.Stored(1).letters, "2");
    d.BitBtnWriteFastCode->click(); // an empty sequence is written too
    EXPECT_EQ(Calls(h, "SetFastCode").back(), "SetFastCode(1, \"\")");
    // A sequence read with 32 letters or more takes no further key.
    d.CBFastKey->setCurrentIndex(4);
    d.BitBtnReadFastCode->click();
    std::size_t boxes = h.ui.boxes.size();
    Press(d.Keys, "Button5");
    EXPECT_EQ(d.Stored(4).letters.size(), 35u);
    ASSERT_EQ(h.ui.boxes.size(), boxes + 1);
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "Досягнута максимальна довжина послідовності!");
}

} // namespace

namespace {

// The buttons that open the key and journal dialogs: a dialog opened from a
// running loop's message processing would call the register in the middle of
// the batch, one opened without a session on a freed connection, so they are
// off while any long operation runs and once the session has ended.
TEST(DialogButtons, OffWhileALongOperationRunsAndWithoutASession) {
    const std::pair<const char*, QAction * console::TForm1::*> operations[] = {
        {"hours report", &console::TForm1::ActionXReportByHours},
        {"all discount groups", &console::TForm1::ActionReadAllDiscountGroups},
        {"all group names", &console::TForm1::ActionReadNamesOfAllGroups},
    };
    for (auto [name, action] : operations) {
        SCOPED_TRACE(name);
        ReportHarness h;
        console::TForm1& f = h.Form();
        ASSERT_EQ(f.DialogButtons.size(), 4u);
        int samples = 0;
        bool off = true;
        h.atRecord = [&](int) {
            ++samples;
            for (QWidget* w : f.DialogButtons) off = off && !w->isEnabled();
        };
        (f.*action)->trigger();
        EXPECT_GT(samples, 0);
        EXPECT_TRUE(off);
        for (QWidget* w : f.DialogButtons) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        f.Disconnect->trigger();
        for (QWidget* w : f.DialogButtons) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
}

} // namespace

namespace {

// Neither key dialog has a default button: Enter, typed wherever the focus is
// but on a button, sends nothing to the register (in the key sequence dialog
// it would have run the keys on the register).
TEST(KeyDialogs, EnterSendsNothing) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    console::TForm10& sequence = *h.program->windows.Form10;
    h.ui.QueueModal([&](QDialog& d) {
        d.show();
        Press(sequence.Keys, "Button1");
        sequence.FastCode->setFocus();
        testing_console::PressKey(sequence.FastCode, Qt::Key_Return);
        d.hide();
        return 0;
    });
    f.BitBtn4->click();
    console::TForm9& fast = *h.program->windows.Form9;
    h.ui.QueueModal([&](QDialog& d) {
        d.show();
        Press(fast.Keys, "Button2");
        for (QWidget* w : std::initializer_list<QWidget*>{fast.FastCode, fast.CBFastKey}) {
            w->setFocus();
            testing_console::PressKey(w, Qt::Key_Return);
        }
        d.hide();
        return 0;
    });
    f.BitBtn3->click();
    EXPECT_TRUE(Calls(h, "ExecuteBarCode").empty());
    EXPECT_TRUE(Calls(h, "GetFastCode").empty());
    EXPECT_TRUE(Calls(h, "SetFastCode").empty());
    EXPECT_TRUE(h.ui.boxes.empty());
}

} // namespace
