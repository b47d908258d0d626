#include "exchange/TForm8.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/Guarded.h"
#include "console/Settings.h"
#include "exchange/CsvOptions.h"
#include "exchange/FormParts.h"
#include "exchange/JobSide.h"
#include "platform/ui/Ui.h"

namespace exchange {

using console::CsvOptionsRecord;
using console::SettingsFileName;

using platform::MakeChild;

TForm8::TForm8(console::ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm8");
    setWindowTitle(QString::fromUtf8("Настройки CSV"));
    SetFixedDialogFrame(*this);

    auto* layout = MakeChild<QVBoxLayout>(this);
    auto* delimiterRow = MakeChild<QHBoxLayout>();
    Label1 = MakeChild<QLabel>(QString::fromUtf8("Роздільник стовпців:"), this);
    ComboBox1 = MakeChild<QComboBox>(this);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->addItems(
        {QString::fromUtf8("крапка з комою"), QString::fromUtf8("кома"), QString::fromUtf8("табуляція")});
    ComboBox1->setCurrentIndex(0);
    delimiterRow->addWidget(Label1);
    delimiterRow->addWidget(ComboBox1);
    layout->addLayout(delimiterRow);

    auto box = [this, layout](const char* name, const char* text) {
        auto* check = MakeChild<QCheckBox>(QString::fromUtf8(text), this);
        check->setObjectName(name);
        layout->addWidget(check);
        return check;
    };
    CheckBox1 = box("CheckBox1", "Кодова сторінка CP866");
    CheckBox2 = box("CheckBox2", "Подвійні лапки у текстових полях");
    CheckBox3 = box("CheckBox3", "Зберігати  пропуски зліва та справа у тексті");
    CheckBox4 = box("CheckBox4", "Ігнорувати порожні рядки");
    CheckBox4->setChecked(true);

    auto* buttons = MakeChild<QHBoxLayout>();
    Button1 = MakeButton(this, "Button1", "Зберегти");
    Button1->setDefault(true);
    Button2 = MakeButton(this, "Button2", "Відміна");
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    InstallJobHelpKey(this);
    Side().Form8 = this;
}

TForm8::~TForm8() {
    if (Side().Form8 == this) Side().Form8 = nullptr;
}

void TForm8::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TForm8::FormShow() {
    const CsvOptionsRecord& options = state.CsvOptions;
    if (int item = DelimiterItem(options.Delimiter); item >= 0) ComboBox1->setCurrentIndex(item);
    CheckBox1->setChecked(options.Cp866);
    CheckBox2->setChecked(options.Quotes);
    CheckBox3->setChecked(options.LRBlanks);
    CheckBox4->setChecked(options.IgnoreEmptyLines);
}

void TForm8::Button1Click() {
    CsvOptionsRecord& options = state.CsvOptions;
    int item = ComboBox1->currentIndex();
    if (item >= 0 && item < DelimiterItemCount) options.Delimiter = DelimiterOfItem(item);
    options.Cp866 = CheckBox1->isChecked();
    options.Quotes = CheckBox2->isChecked();
    options.LRBlanks = CheckBox3->isChecked();
    options.IgnoreEmptyLines = CheckBox4->isChecked();
    // The options hold for this run even when the file cannot keep them; the user is told so.
    console::Guarded(
        [item, &options] {
            platform::IniFile ini(platform::ProgramFile(SettingsFileName));
            WriteCsvOptions(ini, item, options);
        },
        console::ErrorShown::InErrorBox);
    accept();
}

void TForm8::Button2Click() {
    reject();
}

} // namespace exchange
