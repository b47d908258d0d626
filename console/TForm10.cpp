#include "console/TForm10.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/ContextHelp.h"
#include "console/DialogButtons.h"
#include "console/Keypad.h"
#include "console/MessageBoxes.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

TForm10::TForm10(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm10");
    setWindowTitle(UiText("Формування послідовності команд"));
    auto* column = MakeChild<QVBoxLayout>(this);
    auto* box = MakeChild<QGroupBox>(UiText(" Послідовність клавіатурних команд: "), this);
    auto* inner = MakeChild<QVBoxLayout>(box);
    FastCode = MakeSequenceDisplay(box);
    inner->addWidget(FastCode);
    Keys = MakeChild<Keypad>(box);
    inner->addWidget(Keys, 0, Qt::AlignHCenter);
    BitBtnWriteFastCode = MakeChild<QPushButton>(UiText("Передати послідовність"), box);
    BitBtnWriteFastCode->setObjectName("BitBtnWriteFastCode");
    inner->addWidget(BitBtnWriteFastCode);
    column->addWidget(box);
    Button21 =
        AddDialogButton(this, AddButtonRow(column), "Button21", UiText("Вихід"), [this] { Button21Click(); });

    Keys->OnKey = [this](const KeyDef& key) { KeyClick(key); };
    Keys->OnClear = [this] { BitBtn1Click(); };
    connect(BitBtnWriteFastCode, &QPushButton::clicked, this, [this] { BitBtnWriteFastCodeClick(); });
    NoDefaultButton(this);
    InstallDefaultHelpKey(this);
}

void TForm10::KeyClick(const KeyDef& key) {
    AddKeyToSequence(sequence, key, FastCode);
}

void TForm10::BitBtn1Click() {
    ClearSequence(sequence, FastCode);
}

void TForm10::BitBtnWriteFastCodeClick() {
    const char* err = nullptr;
    if (state.Api().ExecuteBarCode(sequence.letters.c_str(), &err) == Q710_OK)
        ShowInfoText(Ansi("Послідовність клавіатурних команд успішно відправлена."));
    else
        ShowErrorText(device::DeviceText(err));
}

void TForm10::Button21Click() {
    accept();
}

} // namespace console
