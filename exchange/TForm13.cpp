#include "exchange/TForm13.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/ContextHelp.h"
#include "console/DialogButtons.h"
#include "console/FieldEdit.h"
#include "console/Guarded.h"
#include "console/MessageBoxes.h"
#include "console/NumberText.h"
#include "console/UpDown.h"
#include "exchange/FormParts.h"
#include "exchange/JobSide.h"
#include "exchange/JournalRead.h"
#include "exchange/JournalXml.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace exchange {

using console::Guarded;
using console::InstallDefaultHelpKey;
using console::Int32Of;
using console::LimitTyping;
using console::NoDefaultButton;
using console::ShowErrorText;
using console::ShowInfoText;
using console::UpDown;

namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

// The spinner's number: a number typed into its edit counts, put into the
// spinner's range; anything else leaves the spinner where it was.
int32_t SpinnerValue(QLineEdit* edit, UpDown* upDown) {
    if (std::optional<int32_t> typed = Int32Of(platform::FromQString(edit->text())))
        upDown->SetPosition(*typed);
    else
        upDown->SetPosition(upDown->Position());
    return upDown->Position();
}

QLineEdit* SpinnerEdit(QWidget* parent, const char* name, int maxLength) {
    auto* edit = MakeChild<QLineEdit>(parent);
    edit->setObjectName(name);
    edit->setMaxLength(maxLength);
    edit->setFixedWidth(56);
    edit->setEnabled(false);
    return edit;
}

} // namespace

TForm13::TForm13(console::ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm13");
    setWindowTitle(UiText("Електронний журнал"));
    SetFixedDialogFrame(*this);
    auto* column = MakeChild<QVBoxLayout>(this);

    GroupBox1 = MakeChild<QGroupBox>(UiText(" Параметри електронного журнала: "), this);
    auto* grid = MakeChild<QGridLayout>(GroupBox1);
    Edit1 = SpinnerEdit(GroupBox1, "Edit1", 1);
    // One digit typed; the spinner's position (up to 255 journals) is shown whole.
    LimitTyping(Edit1, 1, 3);
    UpDown1 = MakeChild<UpDown>(Edit1, 1, 7, GroupBox1);
    UpDown1->setObjectName("UpDown1");
    UpDown1->SetPosition(1);
    UpDown1->setEnabled(false);
    BitBtn2 = MakeButton(GroupBox1, "BitBtn2", "Зчитати");
    auto* journalRow = MakeChild<QHBoxLayout>();
    journalRow->addWidget(Edit1);
    journalRow->addWidget(UpDown1);
    journalRow->addStretch();
    journalRow->addWidget(BitBtn2);
    grid->addLayout(journalRow, 0, 0, 1, 2);
    const char* captions[] = {"Доступна кількість журналів:", "Номер зміни: ", "Номер журналу в зміні: ",
                              "Довжина контрольної стрічки: ", "Довжина інформіції для ПК: "};
    for (int i = 0; i < 5; ++i) {
        grid->addWidget(MakeChild<QLabel>(UiText(captions[i]), GroupBox1), i + 1, 0);
        Values[static_cast<std::size_t>(i)] = MakeChild<QLabel>(QStringLiteral("---"), GroupBox1);
        Values[static_cast<std::size_t>(i)]->setObjectName(QString("Value%1").arg(i + 1));
        grid->addWidget(Values[static_cast<std::size_t>(i)], i + 1, 1);
    }
    column->addWidget(GroupBox1);

    // The edit takes as many digits as a shift number has; one is typed.
    Edit2 = SpinnerEdit(this, "Edit2", 5);
    UpDown2 = MakeChild<UpDown>(Edit2, 1, 1, this);
    UpDown2->setObjectName("UpDown2");
    UpDown2->SetPosition(1);
    UpDown2->setEnabled(false);
    auto* reportRow = MakeChild<QHBoxLayout>();
    reportRow->addWidget(MakeChild<QLabel>(UiText("Номер звіту: "), this));
    reportRow->addWidget(Edit2);
    reportRow->addWidget(UpDown2);
    reportRow->addStretch();
    column->addLayout(reportRow);

    auto* buttons = MakeChild<QHBoxLayout>();
    BitBtn3 = MakeButton(this, "BitBtn3", "Зчитати ЕЖ");
    BitBtn4 = MakeButton(this, "BitBtn4", "Зчитати звіт");
    BitBtn1 = MakeButton(this, "BitBtn1", "Вихід");
    for (QPushButton* b : {BitBtn3, BitBtn4, BitBtn1}) buttons->addWidget(b);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    NoDefaultButton(this);
    InstallDefaultHelpKey(this);
}

void TForm13::BitBtn2Click() {
    Guarded([this] {
        Q710JournalParams& params = Side().JournalParamsValue;
        uint8_t journals = 0;
        const char* err = nullptr;
        if (state.Api().GetJournalParams(SpinnerValue(Edit1, UpDown1), &journals, &params, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        UpDown1->SetMax(journals);
        const uint32_t values[] = {journals, params.shift, params.journalInShift, params.controlTapeLength,
                                   params.pcInfoLength};
        for (std::size_t i = 0; i < Values.size(); ++i) Values[i]->setText(QString::number(values[i]));
        Edit1->setEnabled(true);
        UpDown1->setEnabled(true);
        UpDown1->SetPosition(UpDown1->Position());
        // The last closed shift's report; never below the spinner's first number.
        UpDown2->SetMax(params.shift);
        UpDown2->SetPosition(params.shift - 1);
        Edit2->setEnabled(true);
        UpDown2->setEnabled(true);
    });
}

void TForm13::BitBtn3Click() {
    Guarded([this] {
        JournalRead read = ReadJournal(state.Api(), SpinnerValue(Edit1, UpDown1));
        if (read.outcome == JournalRead::Failed) {
            ShowErrorText(read.errorText);
            return;
        }
        if (read.outcome == JournalRead::TooLarge) {
            ShowErrorText(Ansi(
                "Обсяг електронного журналу перевищує 16 МБ. Зчитування зупинено, журнал не збережено!"));
            return;
        }
        JobSide& side = Side();
        ConvertJournalToXml(state, side, side.JournalParamsValue, read.bytes);
        ShowInfoText(Ansi("Зчитування електронного журналу закінчено"));
    });
}

void TForm13::BitBtn4Click() {
    Guarded([this] {
        std::vector<uint8_t> buffer(ZReportBufferSize);
        const int32_t report = SpinnerValue(Edit2, UpDown2);
        const char* err = nullptr;
        if (state.Api().GetReport(report, buffer.data(), static_cast<int32_t>(buffer.size()) - 1, &err) !=
            Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        ConvertZReportToXml(state, Side(), report, buffer);
        ShowInfoText(Ansi("Зчитування денного Z-звіту закінчено"));
    });
}

void TForm13::BitBtn1Click() {
    reject();
}

} // namespace exchange
