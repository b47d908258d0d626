#include "console/TForm11.h"

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
#include "console/ReportOptions.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::MakeChild;
using platform::UiText;

} // namespace

TForm11::TForm11(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm11");
    setWindowTitle(UiText("Отчёт по диапазону кодов"));
    SetHelpContext(this, 7);
    auto* column = MakeChild<QVBoxLayout>(this);
    auto* box = MakeChild<QGroupBox>(UiText(" Дневной отчёт по диапазону кодов: "), this);
    auto* grid = MakeChild<QGridLayout>(box);
    auto edit = [box](const char* name, const char* hint, int length) {
        auto* e = MakeChild<QLineEdit>(box);
        e->setObjectName(name);
        e->setToolTip(UiText(hint));
        e->setMaxLength(length);
        return e;
    };
    FirstPLU = edit("FirstPLU", "Начальный код PLU:\r\n(0..999999)", 6);
    LastPLU = edit("LastPLU", "Конечный код PLU: \r\n(0...999999)", 6);
    FirstBarcode = edit("FirstBarcode", "Початковий код товару,\r\n(1000000...9999999999999)", 13);
    LastBarcode = edit("LastBarcode", "Кінцевий код товару,\r\n(1000000...9999999999999)", 13);
    FirstPLU->setText("1");
    LastPLU->setText("1");
    grid->addWidget(MakeChild<QLabel>(UiText("С PLU :"), box), 0, 0);
    grid->addWidget(FirstPLU, 0, 1);
    grid->addWidget(MakeChild<QLabel>(UiText("До PLU :"), box), 0, 2);
    grid->addWidget(LastPLU, 0, 3);
    grid->addWidget(MakeChild<QLabel>(UiText("С штрих-кода :"), box), 1, 0);
    grid->addWidget(FirstBarcode, 1, 1);
    grid->addWidget(MakeChild<QLabel>(UiText("До штрих-кода:"), box), 1, 2);
    grid->addWidget(LastBarcode, 1, 3);
    auto* runRow = MakeChild<QHBoxLayout>();
    runRow->addStretch();
    grid->addLayout(runRow, 2, 0, 1, 4);
    Button1 =
        AddConfirmButton(this, runRow, "Button1", UiText("Выполнить отчёт"), [this] { Button1Click(); });
    column->addWidget(box);
    Button21 =
        AddDialogButton(this, AddButtonRow(column), "Button21", UiText("Выход"), [this] { Button21Click(); });

    // The PLU fields are checked when the report converts them.
    OnExit(FirstBarcode, [this] { return FirstBarcodeExit(); });
    OnExit(LastBarcode, [this] { return LastBarcodeExit(); });
    InstallDefaultHelpKey(this);
}

int TForm11::Execute() {
    // Only the run button accepts: the window's close box cancels.
    state.DialogAccepted = 0;
    return platform::ShowModal(*this);
}

bool TForm11::CheckBarcode(QLineEdit* edit, const char* message) {
    FieldCheck check = CheckBarcodeField(platform::FromQString(edit->text()));
    if (check.refused) ShowErrorText(platform::Ansi(message));
    edit->setText(platform::ToQString(check.text));
    return !check.refused;
}

bool TForm11::FirstBarcodeExit() {
    return CheckBarcode(
        FirstBarcode,
        "Невірно заданий початковий код товару!\r\nМожливий діапазон значень: 1000000..9999999999999!");
}

bool TForm11::LastBarcodeExit() {
    return CheckBarcode(
        LastBarcode,
        "Невірно заданий кінцевий код товару!\r\nМожливий діапазон значень: 1000000..9999999999999!");
}

void TForm11::Button1Click() {
    state.DialogAccepted = 1;
    accept();
}

void TForm11::Button21Click() {
    state.DialogAccepted = 0;
    reject();
}

} // namespace console
