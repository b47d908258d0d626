// The main window's reports of the register itself on the reports page: the
// X report of the day, the daily and periodic reports by hours handed to the
// export job, and erasing the periodic reports by hours and by goods.
#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "console/ActionButton.h"
#include "console/EditExit.h"
#include "console/FieldEdit.h"
#include "console/Guarded.h"
#include "console/MainBatch.h"
#include "console/MessageBoxes.h"
#include "console/Q710_Form.h"
#include "console/RadioGroup.h"
#include "console/UpDown.h"
#include "console/XReports.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

QLineEdit* MakeEdit(QWidget* parent, const char* name, const char* text, const char* hint, int maxLength) {
    auto* edit = MakeChild<QLineEdit>(UiText(text), parent);
    edit->setObjectName(name);
    edit->setToolTip(UiText(hint));
    edit->setMaxLength(maxLength);
    return edit;
}

const char* const kBarcodeRange = "\r\nМожливий діапазон значень: 1000000..9999999999999!";
const char* const kGroupNumber = "\r\nВ якості номера товарної групи може бути тільки число!";
const char* const kEraseHoursCaption = "Обнуління погодинного звіту";

} // namespace

void TForm1::CreateXReportsPage(QHBoxLayout* top, QVBoxLayout* page) {
    QWidget* sheet = TabSheets[ReportsPage];
    ActionXReportOfDay->setText(UiText("X - звіт денний"));
    ActionXReportByHours->setText(UiText("Годинний звіт (денний)"));
    ActionGetPeriodicXRepByHours->setText(UiText("Годинний звіт (період.)"));
    ActionErasePeriodXRepByHours->setText(UiText("Обнулити годинний звіт"));
    ActionErasePeriodicReport->setText(UiText("Обнулити звіт"));

    auto button = [](QAction* action, const char* name, QWidget* parent) {
        auto* b = MakeChild<ActionButton>(action, parent);
        b->setObjectName(name);
        return b;
    };
    auto* reports = MakeChild<QGroupBox>(UiText(" Звіти ЕККА: "), sheet);
    auto* grid = MakeChild<QGridLayout>(reports);
    BitBtnXReportOfDay = button(ActionXReportOfDay, "BitBtnXReportOfDay", reports);
    BitBtnXReportByHours = button(ActionXReportByHours, "BitBtnXReportByHours", reports);
    BitBtnGetPeriodicXRepByHours =
        button(ActionGetPeriodicXRepByHours, "BitBtnGetPeriodicXRepByHours", reports);
    BitBtnErasePeriodXRepByHours =
        button(ActionErasePeriodXRepByHours, "BitBtnErasePeriodXRepByHours", reports);
    for (QPushButton* b :
         std::initializer_list<QPushButton*>{BitBtnXReportOfDay, BitBtnXReportByHours,
                                             BitBtnGetPeriodicXRepByHours, BitBtnErasePeriodXRepByHours})
        grid->addWidget(b);
    auto* column = MakeChild<QVBoxLayout>();
    column->addWidget(reports);
    column->addWidget(Button1);
    top->addLayout(column, 1);

    auto* erase = MakeChild<QGroupBox>(UiText(" Обнуління  періодичного звіту: "), sheet);
    auto* row = MakeChild<QHBoxLayout>(erase);
    RGEraseMode = MakeChild<RadioGroup>(
        UiText(" Опції: "),
        std::vector<QString>{UiText("По кодам"), UiText("По групам"), UiText("По всім товарам")}, erase);
    RGEraseMode->setObjectName("RGEraseMode");
    RGEraseMode->SetItemIndex(EraseByCodes);
    row->addWidget(RGEraseMode);
    auto* fields = MakeChild<QGridLayout>();
    FirstBarcode =
        MakeEdit(erase, "FirstBarcode", "", "Початковий код товару,\r\n(1000000...9999999999999)", 13);
    LastBarcode = MakeEdit(erase, "LastBarcode", "", "Кінцевий код товару,\r\n(1000000...9999999999999)", 13);
    FirstPLU = MakeEdit(erase, "FirstPLU", "1", "Начальный код PLU:\r\n(0..999999)", 6);
    LastPLU = MakeEdit(erase, "LastPLU", "1", "Конечный код PLU: \r\n(0...999999)", 6);
    FirstGoodsGroup =
        MakeEdit(erase, "FirstGoodsGroup", "1", "Початковий номер \r\nтоварної групи (1...100)", 3);
    LastGoodsGroup = MakeEdit(erase, "LastGoodsGroup", "1", "Кінцевий номер \r\nтоварної групи (1...100)", 3);
    UpDownFirstGoodsGroup = MakeChild<UpDown>(FirstGoodsGroup, 1, 100, erase);
    UpDownLastGoodsGroup = MakeChild<UpDown>(LastGoodsGroup, 1, 100, erase);
    UpDownFirstGoodsGroup->setObjectName("UpDownFirstGoodsGroup");
    UpDownLastGoodsGroup->setObjectName("UpDownLastGoodsGroup");
    // A column of each range's first values under "з:", one of its last under "по:".
    const std::pair<const char*, std::pair<QWidget*, QWidget*>> rows[] = {
        {"Штрих-код", {FirstBarcode, LastBarcode}},
        {"PLU", {FirstPLU, LastPLU}},
        {"Група",
         {EditWithUpDown(erase, FirstGoodsGroup, UpDownFirstGoodsGroup),
          EditWithUpDown(erase, LastGoodsGroup, UpDownLastGoodsGroup)}},
    };
    fields->addWidget(MakeChild<QLabel>(UiText("з:"), erase), 0, 1);
    fields->addWidget(MakeChild<QLabel>(UiText("по:"), erase), 0, 2);
    for (int i = 0; i < 3; ++i) {
        fields->addWidget(MakeChild<QLabel>(UiText(rows[i].first), erase), i + 1, 0);
        fields->addWidget(rows[i].second.first, i + 1, 1);
        fields->addWidget(rows[i].second.second, i + 1, 2);
    }
    // Room for a whole barcode.
    const int barcodeWidth = FirstBarcode->fontMetrics().horizontalAdvance(QString(14, QChar('0')));
    FirstBarcode->setMinimumWidth(barcodeWidth);
    LastBarcode->setMinimumWidth(barcodeWidth);
    BitBtnErasePeriodicReport = button(ActionErasePeriodicReport, "BitBtnErasePeriodicReport", erase);
    fields->addWidget(BitBtnErasePeriodicReport, 4, 1, 1, 2, Qt::AlignLeft);
    row->addLayout(fields);
    row->addStretch();
    page->addWidget(erase);

    OnExit(FirstBarcode, [this] { FirstBarcodeExit(); });
    OnExit(LastBarcode, [this] { LastBarcodeExit(); });
    OnExit(FirstGoodsGroup, [this] { FirstGoodsGroupExit(); });
    OnExit(LastGoodsGroup, [this] { LastGoodsGroupExit(); });
    connect(ActionXReportOfDay, &QAction::triggered, this, [this] { ActionXReportOfDayExecute(); });
    connect(ActionXReportByHours, &QAction::triggered, this, [this] { ActionXReportByHoursExecute(); });
    connect(ActionGetPeriodicXRepByHours, &QAction::triggered, this,
            [this] { ActionGetPeriodicXRepByHoursExecute(); });
    connect(ActionErasePeriodXRepByHours, &QAction::triggered, this,
            [this] { ActionErasePeriodXRepByHoursExecute(); });
    connect(ActionErasePeriodicReport, &QAction::triggered, this,
            [this] { ActionErasePeriodicReportExecute(); });
}

bool TForm1::FirstBarcodeExit() {
    return ApplyCheck(FirstBarcode, CheckBarcodeField(TextOf(FirstBarcode)),
                      (std::string("Невірно заданий початковий штрих-код!") + kBarcodeRange).c_str());
}

bool TForm1::LastBarcodeExit() {
    return ApplyCheck(LastBarcode, CheckBarcodeField(TextOf(LastBarcode)),
                      (std::string("Невірно заданий кінцевий штрих-код!") + kBarcodeRange).c_str());
}

bool TForm1::FirstGoodsGroupExit() {
    return ApplyCheck(
        FirstGoodsGroup, CheckEraseGroupField(TextOf(FirstGoodsGroup)),
        (std::string("Номер початкової товарної групи заданий невірно!") + kGroupNumber).c_str());
}

bool TForm1::LastGoodsGroupExit() {
    return ApplyCheck(LastGoodsGroup, CheckEraseGroupField(TextOf(LastGoodsGroup)),
                      (std::string("Номер кінцевої товарної групи заданий невірно!") + kGroupNumber).c_str());
}

void TForm1::ActionXReportOfDayExecute() {
    if (state.Busy != 0) return;
    Q710XReportData data{};
    const char* err = nullptr;
    if (state.Api().GetDataXReport(&data, &err) != Q710_OK) {
        ShowErrorText(device::DeviceText(err));
        return;
    }
    UseXReportSeparators();
    platform::MessageBox(XReportText(data), Ansi("Дані поточного денного X-звіту"), InfoBox);
}

void TForm1::ActionXReportByHoursExecute() {
    if (state.Busy != 0) return;
    ReadingJob job = DailyHoursReportJob(state.Api(), ::Shared(), ReportProgress());
    MainBatchWindow window(*this, BitBtnXReportByHours);
    RunReadingLoop(state, window, ReportProgress(), *job.target, job.member);
}

void TForm1::ActionGetPeriodicXRepByHoursExecute() {
    if (state.Busy != 0) return;
    ReadingJob job = PeriodicHoursReportJob(state.Api(), ::Shared(), ReportProgress());
    MainBatchWindow window(*this, BitBtnGetPeriodicXRepByHours);
    RunReadingLoop(state, window, ReportProgress(), *job.target, job.member);
}

void TForm1::ActionErasePeriodXRepByHoursExecute() {
    if (state.Busy != 0) return;
    const std::string question =
        Ansi("Буде здійснено обнуління періодичного погодинного звіту.") + "\r\n" + Ansi("Ви впевнені?");
    if (platform::MessageBox(question, Ansi(kEraseHoursCaption), WarningQuestionBox) != platform::IdYes)
        return;
    const char* err = nullptr;
    if (state.Api().ErasePeriodicXReportByHours103(&err) != Q710_OK) {
        ShowErrorText(device::DeviceText(err));
        return;
    }
    platform::MessageBox(Ansi("Обнуління періодичного погодинного звіту завершено."),
                         Ansi(kEraseHoursCaption), InfoBox);
}

void TForm1::ActionErasePeriodicReportExecute() {
    if (state.Busy != 0) return;
    const int mode = RGEraseMode->ItemIndex();
    // The checks of leaving the edits run again: a value typed and never left
    // reaches the register only as they leave it.
    if (mode == EraseByCodes && !(FirstBarcodeExit() && LastBarcodeExit())) return;
    if (mode == EraseByGroups && !(FirstGoodsGroupExit() && LastGoodsGroupExit())) return;
    EraseFields fields{TextOf(FirstPLU),    TextOf(LastPLU),         TextOf(FirstBarcode),
                       TextOf(LastBarcode), TextOf(FirstGoodsGroup), TextOf(LastGoodsGroup)};
    Guarded([&] {
        EraseOutcome outcome = ErasePeriodicGoodsReport(state.Api(), mode, fields);
        (outcome.ok ? ShowInfoText : ShowErrorText)(outcome.text);
    });
}

} // namespace console
