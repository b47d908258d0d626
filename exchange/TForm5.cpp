#include "exchange/TForm5.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "exchange/Dispatcher.h"
#include "exchange/FormParts.h"
#include "exchange/JobSide.h"
#include "exchange/TForm8.h"
#include "platform/ui/Ui.h"

namespace exchange {

using platform::MakeChild;

TForm5::TForm5(console::ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm5");
    setWindowTitle(QString::fromUtf8("Вибір формату"));
    SetFixedDialogFrame(*this);

    auto* layout = MakeChild<QVBoxLayout>(this);
    RadioGroup1 = MakeChild<QGroupBox>(QString::fromUtf8(" Доступні формати: "), this);
    RadioGroup1->setObjectName("RadioGroup1");
    auto* items = MakeChild<QVBoxLayout>(RadioGroup1);
    group = MakeChild<QButtonGroup>(this);
    const char* texts[4] = {"Document XML   (*.xml)", "Microsoft Excel  (*.xls)", "Формат CSV      (*.csv)",
                            "Формат DBF      (*.dbf)"};
    for (int i = 0; i < 4; ++i) {
        RadioItems[i] = MakeChild<QRadioButton>(QString::fromUtf8(texts[i]), RadioGroup1);
        group->addButton(RadioItems[i], i);
        items->addWidget(RadioItems[i]);
    }
    layout->addWidget(RadioGroup1);

    auto* buttons = MakeChild<QHBoxLayout>();
    Button1 = MakeButton(this, "Button1", "Вибрати");
    Button1->setDefault(true);
    Button2 = MakeButton(this, "Button2", "Відмінити");
    Button3 = MakeButton(this, "Button3", "Настройка CSV");
    Button3->setEnabled(false);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SetItemIndex(Side().FormatIndex);
    connect(group, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    InstallJobHelpKey(this);
    Side().Form5 = this;
}

TForm5::~TForm5() {
    if (Side().Form5 == this) Side().Form5 = nullptr;
}

int TForm5::ItemIndex() const {
    return group->checkedId();
}

void TForm5::SetItemIndex(int index) {
    if (index >= 0 && index < 4) RadioItems[index]->setChecked(true);
    RadioGroup1Click();
}

void TForm5::RadioGroup1Click() {
    Side().FormatIndex = ItemIndex();
    Button3->setEnabled(ItemIndex() == FormatCsv);
}

void TForm5::Button1Click() {
    JobSide& side = Side();
    side.FormatIndex = ItemIndex();
    state.DialogAccepted = 1;
    const FormatDialogText* text = DialogTextOf(side.FormatIndex);
    if (IsImportKind(state.MakeMetod.OperationKind) && text != nullptr) {
        platform::FileDialogRequest& dialog = side.OpenDialog();
        dialog.filter = text->filter;
        dialog.defaultExt = text->defaultExt;
        if (platform::OpenFileDialog(dialog)) {
            state.MakeMetod.FileName = dialog.fileName;
        } else {
            state.MakeMetod.Done = 0;
            state.DialogAccepted = 0;
        }
    }
    QDialog::done(state.DialogAccepted != 0 ? Accepted : Rejected);
}

void TForm5::Button2Click() {
    state.MakeMetod.Done = 0;
    state.DialogAccepted = 0;
    QDialog::reject();
}

void TForm5::Button3Click() {
    JobSide& side = Side();
    if (side.Form8 != nullptr) {
        platform::ShowModal(*side.Form8);
    } else {
        TForm8 form(state);
        platform::ShowModal(form);
    }
}

void TForm5::reject() {
    Button2Click();
}

} // namespace exchange
