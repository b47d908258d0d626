#include "console/TForm7.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/ContextHelp.h"
#include "console/DialogButtons.h"
#include "console/EditExit.h"
#include "console/FieldEdit.h"
#include "console/MessageBoxes.h"
#include "console/RadioGroup.h"
#include "console/ReportOptions.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::MakeChild;
using platform::UiText;

} // namespace

TForm7::TForm7(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm7");
    setWindowTitle(UiText("Звіт по критичним залишкам"));
    SetHelpContext(this, 7);
    auto* column = MakeChild<QVBoxLayout>(this);

    RadioGroup2 = MakeChild<RadioGroup>(
        UiText(" Фільтр по товарним групам: "),
        std::vector<QString>{UiText("Всі товарні групи"), UiText("Товарна група: ")}, this);
    RadioGroup2->setObjectName("RadioGroup2");
    RadioGroup2->OnClick = [this] { RadioGroup2Click(); };
    column->addWidget(RadioGroup2);

    auto* form = MakeChild<QFormLayout>();
    Goods_Group2 = MakeChild<QLineEdit>(this);
    Goods_Group2->setObjectName("Goods_Group2");
    Goods_Group2->setToolTip(UiText("Номер товарної\r\nгрупи (1...100)"));
    Goods_Group2->setMaxLength(3);
    Goods_Group2->setFixedWidth(50);
    UpDown3 = MakeChild<UpDown>(Goods_Group2, 1, 100, this);
    UpDown3->setObjectName("UpDown3");
    UpDown3->SetPosition(100);
    auto* groupRow = MakeChild<QHBoxLayout>();
    groupRow->addWidget(Goods_Group2);
    groupRow->addWidget(UpDown3);
    groupRow->addStretch();
    form->addRow(UiText("Товарна група:"), groupRow);
    Goods_Group2->setEnabled(false);
    UpDown3->setEnabled(false);

    CriticalRemain = MakeChild<QLineEdit>(this);
    CriticalRemain->setObjectName("CriticalRemain");
    // Ten characters typed; the normalised text may be longer and must stay whole.
    LimitTyping(CriticalRemain, 10, 16);
    form->addRow(UiText("Критичний залишок:  "), CriticalRemain);
    column->addLayout(form);

    QHBoxLayout* buttons = AddButtonRow(column);
    Button1 = AddConfirmButton(this, buttons, "Button1", UiText("Виконати звіт"), [this] { Button1Click(); });
    Button2 = AddDialogButton(this, buttons, "Button2", UiText("Вихід"), [this] { Button2Click(); });

    OnExit(Goods_Group2, [this] { return Goods_Group2Exit(); });
    OnExit(CriticalRemain, [this] { return CriticalRemainExit(); });
    InstallHelpKey(this, platform::Ansi("Файл допомоги не знайдений!"));
}

int TForm7::Execute() {
    FormShow();
    return platform::ShowModal(*this);
}

void TForm7::FormShow() {
    // The threshold's decimal separator is the comma the main window removes.
    CriticalRemain->setText("0,000");
    // Only the run button accepts: the window's close box cancels.
    state.DialogAccepted = 0;
}

void TForm7::RadioGroup2Click() {
    bool one = RadioGroup2->ItemIndex() == 1;
    Goods_Group2->setEnabled(one);
    UpDown3->setEnabled(one);
}

bool TForm7::Goods_Group2Exit() {
    FieldCheck check = CheckGoodsGroupField(platform::FromQString(Goods_Group2->text()));
    if (check.refused) ShowErrorText(platform::Ansi("Помилка товарної групи!"));
    Goods_Group2->setText(platform::ToQString(check.text));
    return !check.refused;
}

bool TForm7::CriticalRemainExit() {
    FieldCheck check = NormaliseThreshold(platform::FromQString(CriticalRemain->text()));
    if (check.refused) ShowErrorText(platform::Ansi("Помилка в параметрі \"критичний залишок\"!"));
    CriticalRemain->setText(platform::ToQString(check.text));
    return !check.refused;
}

void TForm7::Button1Click() {
    state.DialogAccepted = 1;
    accept();
}

void TForm7::Button2Click() {
    state.DialogAccepted = 0;
    reject();
}

} // namespace console
