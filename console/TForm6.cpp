#include "console/TForm6.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/ContextHelp.h"
#include "console/DialogButtons.h"
#include "console/EditExit.h"
#include "console/MessageBoxes.h"
#include "console/RadioGroup.h"
#include "console/ReportOptions.h"
#include "console/TQProgressBar.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::MakeChild;
using platform::UiText;

int32_t FieldValue(const QLineEdit* edit) {
    return Int32Of(platform::FromQString(edit->text())).value_or(0);
}

} // namespace

TForm6::TForm6(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm6");
    setWindowTitle(UiText("Опції денного звіту по всім товарам"));
    SetHelpContext(this, 7);
    auto* column = MakeChild<QVBoxLayout>(this);

    RGMode1 = MakeChild<RadioGroup>(
        UiText(" Режим читання звіту: "),
        std::vector<QString>{UiText("Тільки вказаний номер"), UiText("Спочату по вказаний номер"),
                             UiText("З вказаного номера до кінця"), UiText("Спочатку до кінця"),
                             UiText("Тільки вказаний діапазон")},
        this);
    RGMode1->setObjectName("RGMode1");
    RGMode1->OnClick = [this] { RGMode1Click(); };
    column->addWidget(RGMode1);

    auto numberEdit = [this](const char* name, QLineEdit*& edit, UpDown*& upDown, QWidget* owner) {
        edit = MakeChild<QLineEdit>(owner);
        edit->setObjectName(name);
        edit->setMaxLength(4);
        edit->setFixedWidth(60);
        upDown = MakeChild<UpDown>(edit, 0, LastGoodsIndex, owner);
        upDown->SetPosition(0);
        upDown->OnClick = [this] { RGMode1Click(); };
        auto* pair = MakeChild<QWidget>(owner);
        auto* row = MakeChild<QHBoxLayout>(pair);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(edit);
        row->addWidget(upDown);
        row->addStretch();
        return pair;
    };
    auto* numberRow = MakeChild<QHBoxLayout>();
    numberRow->addWidget(MakeChild<QLabel>(UiText("Номер товару в базі:"), this));
    numberRow->addWidget(numberEdit("GoodsNum", GoodsNum, UpDown21, this));
    column->addLayout(numberRow);
    UpDown21->setObjectName("UpDown21");

    RangeBox = MakeChild<QGroupBox>(UiText(" Діапазон: "), this);
    auto* grid = MakeChild<QGridLayout>(RangeBox);
    grid->addWidget(MakeChild<QLabel>(UiText("Початковий номер:"), RangeBox), 0, 0);
    grid->addWidget(numberEdit("FirstNumber", FirstNumber, UpDown22, RangeBox), 0, 1);
    grid->addWidget(MakeChild<QLabel>(UiText("Кінцевий номер:"), RangeBox), 1, 0);
    grid->addWidget(numberEdit("LastNumber", LastNumber, UpDown23, RangeBox), 1, 1);
    UpDown22->setObjectName("UpDown22");
    UpDown23->setObjectName("UpDown23");
    column->addWidget(RangeBox);
    for (QWidget* w : std::initializer_list<QWidget*>{FirstNumber, UpDown22, LastNumber, UpDown23})
        w->setEnabled(false);

    QHBoxLayout* buttons = AddButtonRow(column);
    Button1 = AddConfirmButton(this, buttons, "Button1", UiText("Виконати звіт"), [this] { Button1Click(); });
    Button2 = AddDialogButton(this, buttons, "Button2", UiText("Відміна"), [this] { Button2Click(); });

    OnExit(GoodsNum, [this] { return GoodsNumExit(); });
    OnExit(FirstNumber, [this] { return FirstNumberExit(); });
    OnExit(LastNumber, [this] { return LastNumberExit(); });
    InstallHelpKey(this, HelpNotFoundText());
}

int TForm6::Execute() {
    FormShow();
    return platform::ShowModal(*this);
}

void TForm6::FormShow() {
    // Only the run button accepts: the window's close box cancels.
    state.DialogAccepted = 0;
    RGMode1Click();
}

void TForm6::RGMode1Click() {
    ReadModeOptions o = ApplyReadMode(RGMode1->ItemIndex(), FieldValue(GoodsNum), FieldValue(FirstNumber),
                                      FieldValue(LastNumber));
    GoodsNum->setEnabled(o.goodsNumEnabled);
    UpDown21->setEnabled(o.goodsNumEnabled);
    for (QWidget* w : std::initializer_list<QWidget*>{FirstNumber, UpDown22, LastNumber, UpDown23})
        w->setEnabled(o.rangeEnabled);
    FirstGoodsNumber = o.firstGoodsNumber;
    LastGoodsNumber = o.lastGoodsNumber;
    if (o.barMaximum && ReportBar != nullptr) ReportBar->SetMaximum(*o.barMaximum);
}

bool TForm6::CheckNumber(QLineEdit* edit, const char* message) {
    FieldCheck check = CheckGoodsNumberField(platform::FromQString(edit->text()));
    edit->setText(platform::ToQString(check.text));
    if (check.refused) {
        ShowErrorText(platform::Ansi(message));
        return false;
    }
    RGMode1Click();
    return true;
}

bool TForm6::GoodsNumExit() {
    return CheckNumber(GoodsNum, "Невірно заданий номер товару в базі!");
}

bool TForm6::FirstNumberExit() {
    return CheckNumber(FirstNumber, "Початковий номер товару (послуги) в базі заданий невірно!\r\n"
                                    "В якості номера товару (послуги) в базі має бути тільки число!");
}

bool TForm6::LastNumberExit() {
    return CheckNumber(LastNumber, "Кінцевий номер товару (послуги) в базі заданий невірно!\r\n"
                                   "В якості номера товару (послуги) в базі має бути тільки число!");
}

void TForm6::Button1Click() {
    state.DialogAccepted = 1;
    accept();
}

void TForm6::Button2Click() {
    state.DialogAccepted = 0;
    reject();
}

} // namespace console
