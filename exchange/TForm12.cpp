#include "exchange/TForm12.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/ContextHelp.h"
#include "console/DialogButtons.h"
#include "console/Guarded.h"
#include "console/MessageBoxes.h"
#include "console/UInt64Lib.h"
#include "exchange/FormParts.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace exchange {

using console::Guarded;
using console::InstallDefaultHelpKey;
using console::NoDefaultButton;
using console::ShowErrorText;
using console::ShowInfoText;
using console::UInt64ToStr;

namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

} // namespace

TForm12::TForm12(console::ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm12");
    setWindowTitle(UiText("Опції формування електронного журнала"));
    SetFixedDialogFrame(*this);
    auto* column = MakeChild<QVBoxLayout>(this);
    auto* box = MakeChild<QGroupBox>(UiText(" Опції: "), this);
    auto* boxColumn = MakeChild<QVBoxLayout>(box);
    auto check = [box, boxColumn](const char* name, const char* text) {
        auto* c = MakeChild<QCheckBox>(UiText(text), box);
        c->setObjectName(name);
        boxColumn->addWidget(c);
        return c;
    };
    CheckBox1 = check("CheckBox1", " Формувати контрольну стрічку (КСЕФ)*");
    CheckBox2 = check("CheckBox2", " Формувати службову інформацію");
    CheckBox3 = check("CheckBox3", " Друкувати контрольну стрічку*");
    boxColumn->addWidget(MakeChild<QLabel>(UiText("* У фіскальному режимі запис значень ігнорується."), box));
    column->addWidget(box);

    auto* buttons = MakeChild<QHBoxLayout>();
    auto button = [this, buttons](const char* name, const char* caption, const char* hint) {
        QPushButton* b = MakeButton(this, name, caption);
        if (hint != nullptr) b->setToolTip(UiText(hint));
        buttons->addWidget(b);
        return b;
    };
    BitBtn1 = button("BitBtn1", "Прочитати", "Прочитати налаштунки \r\nелектронного журнала");
    BitBtn2 = button("BitBtn2", "Записати", "Записати налаштунки\r\nелектронного журнала");
    BitBtn4 = button("BitBtn4", "Вільний простір", "Прочитати вільний об'єм \r\nелектронного журнала");
    BitBtn3 = button("BitBtn3", "Вихід", nullptr);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    NoDefaultButton(this);
    InstallDefaultHelpKey(this);
}

void TForm12::BitBtn1Click() {
    Guarded([this] {
        uint8_t options = 0;
        const char* err = nullptr;
        if (state.Api().GetJournalOptions(&options, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        CheckBox1->setChecked(options & 1);
        CheckBox2->setChecked(options & 2);
        CheckBox3->setChecked(options & 4);
    });
}

void TForm12::BitBtn2Click() {
    Guarded([this] {
        const auto options =
            static_cast<uint8_t>((CheckBox1->isChecked() ? 1 : 0) | (CheckBox2->isChecked() ? 2 : 0) |
                                 (CheckBox3->isChecked() ? 4 : 0));
        const char* err = nullptr;
        if (state.Api().SetJournalOptions(options, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        ShowInfoText(Ansi("Опції формування електронного журнала успішно записані!"));
    });
}

void TForm12::BitBtn4Click() {
    Guarded([this] {
        uint32_t bytes = 0;
        const char* err = nullptr;
        if (state.Api().GetFreeVolumeJournal(&bytes, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        ShowInfoText(Ansi("Вільний об'єм електронного журнала скадає ") + UInt64ToStr(bytes) +
                     Ansi(" байт."));
    });
}

void TForm12::BitBtn3Click() {
    reject();
}

} // namespace exchange
