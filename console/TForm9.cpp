#include "console/TForm9.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "console/ContextHelp.h"
#include "console/DialogButtons.h"
#include "console/Keypad.h"
#include "console/MessageBoxes.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

// The items name the keys with a Cyrillic Т; item k is fast key k + 1.
constexpr const char* kFastKeys[FastKeyCount] = {"Т1",     "Т2",     "Т3",     "Т4",
                                                 "[Ф]+Т1", "[Ф]+Т2", "[Ф]+Т3", "[Ф]+Т4"};

} // namespace

TForm9::TForm9(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm9");
    setWindowTitle(UiText("Програмування клавіш швидкого доступу"));
    auto* column = MakeChild<QVBoxLayout>(this);
    auto* speedCode = MakeChild<QGroupBox>(UiText(" Клавіши швидкого доступу:  "), this);
    speedCode->setObjectName("GBSpeedCode");
    auto* inner = MakeChild<QVBoxLayout>(speedCode);

    auto* keyRow = MakeChild<QHBoxLayout>();
    keyRow->addWidget(MakeChild<QLabel>(UiText("Клавіша швидкого доступу:"), speedCode));
    CBFastKey = MakeChild<QComboBox>(speedCode);
    CBFastKey->setObjectName("CBFastKey");
    CBFastKey->setToolTip(UiText("Клавіша швидкого \r\nдоступу на ЕККА"));
    for (const char* item : kFastKeys) CBFastKey->addItem(UiText(item));
    keyRow->addWidget(CBFastKey);
    keyRow->addStretch();
    inner->addLayout(keyRow);

    auto* codeBox = MakeChild<QGroupBox>(UiText(" Код товару чи послідовність команд: "), speedCode);
    auto* codeColumn = MakeChild<QVBoxLayout>(codeBox);
    FastCode = MakeSequenceDisplay(codeBox);
    codeColumn->addWidget(FastCode);
    Keys = MakeChild<Keypad>(codeBox);
    codeColumn->addWidget(Keys, 0, Qt::AlignHCenter);
    inner->addWidget(codeBox);

    auto* buttons = MakeChild<QHBoxLayout>();
    inner->addLayout(buttons);
    BitBtnReadFastCode = AddDialogButton(speedCode, buttons, "BitBtnReadFastCode", UiText("Прочитати"),
                                         [this] { BitBtnReadFastCodeClick(); });
    BitBtnReadAllFastCodes =
        AddDialogButton(speedCode, buttons, "BitBtnReadAllFastCodes", UiText("Всі клавіши"),
                        [this] { BitBtnReadAllFastCodesClick(); });
    BitBtnWriteFastCode = AddDialogButton(speedCode, buttons, "BitBtnWriteFastCode", UiText("Записати"),
                                          [this] { BitBtnWriteFastCodeClick(); });
    column->addWidget(speedCode);
    Button21 =
        AddDialogButton(this, AddButtonRow(column), "Button21", UiText("Вихід"), [this] { Button21Click(); });

    Keys->OnKey = [this](const KeyDef& key) { KeyClick(key); };
    Keys->OnClear = [this] { BitBtn1Click(); };
    NoDefaultButton(this);
    InstallDefaultHelpKey(this);
}

int TForm9::Selected() const {
    return std::clamp(CBFastKey->currentIndex(), 0, FastKeyCount - 1);
}

void TForm9::KeyClick(const KeyDef& key) {
    AddKeyToSequence(stored[static_cast<std::size_t>(Selected())], key, FastCode);
}

void TForm9::BitBtn1Click() {
    ClearSequence(stored[static_cast<std::size_t>(Selected())], FastCode);
}

bool TForm9::ReadKey(int k) {
    const char* code = nullptr;
    const char* err = nullptr;
    if (state.Api().GetFastCode(k + 1, &code, &err) != Q710_OK) {
        ShowErrorText(device::DeviceText(err));
        return false;
    }
    // The library's text is copied at once; the store keeps 255 characters.
    KeySequence& s = stored[static_cast<std::size_t>(k)];
    s.letters = device::DeviceText(code).substr(0, MaxSequenceText);
    std::string labels = SequenceToLabels(s.letters);
    s.labels = labels.substr(0, MaxSequenceText);
    if (k == Selected()) FastCode->setText(platform::ToQString(labels));
    return true;
}

void TForm9::BitBtnReadFastCodeClick() {
    if (ReadKey(Selected())) FastCode->setFocus();
}

void TForm9::BitBtnReadAllFastCodesClick() {
    std::string summary;
    for (int k = 0; k < FastKeyCount; ++k) {
        if (!ReadKey(k)) return;
        const KeySequence& s = stored[static_cast<std::size_t>(k)];
        if (s.labels.empty()) continue;
        summary += Ansi("Клавіша: ") + "\"" + Ansi(kFastKeys[k]) + "\"" + Ansi(" --> Послідовність: ") +
                   s.labels + "\r\n";
    }
    if (summary.empty()) summary = Ansi("Не запрограмовано жодної клавіші швидкого доступу!");
    platform::MessageBox(summary, Ansi("Клавіши швидкого доступу"), InfoBox);
}

void TForm9::BitBtnWriteFastCodeClick() {
    const KeySequence& s = stored[static_cast<std::size_t>(Selected())];
    const char* err = nullptr;
    if (state.Api().SetFastCode(Selected() + 1, s.letters.c_str(), &err) != Q710_OK) {
        ShowErrorText(device::DeviceText(err));
        return;
    }
    ShowInfoText(Ansi("Клавіша швидкого доступу ") + "\"" + platform::FromQString(CBFastKey->currentText()) +
                 "\"" + Ansi(" успішно запрограмована."));
}

void TForm9::Button21Click() {
    accept();
}

} // namespace console
