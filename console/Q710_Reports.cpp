// The main window's goods reports: the reports page, the option dialogs they
// open and the runs of the reading loops.
#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/ActionButton.h"
#include "console/ConsoleWindows.h"
#include "console/ContextHelp.h"
#include "console/GoodsReports.h"
#include "console/Guarded.h"
#include "console/MainBatch.h"
#include "console/MessageBoxes.h"
#include "console/Q710_Form.h"
#include "console/RadioGroup.h"
#include "console/TQProgressBar.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

std::string TextOf(const QLineEdit* edit) {
    return platform::FromQString(edit->text());
}

} // namespace

void TForm1::CreateReportsPage(QHBoxLayout* top, QVBoxLayout* page) {
    QWidget* sheet = TabSheets[ReportsPage];
    ActionReadDayReport->setText(UiText("Продаж (денний)"));
    ActionReadPeriodicReport->setText(UiText("Продаж (період.)"));
    ActionReadReportByAllGoods->setText(UiText("Повний звіт (денний)"));
    ActionReadReportByCriticalRemains->setText(UiText("Критичний залишок"));

    auto* goods = MakeChild<QGroupBox>(UiText(" Звіти по товарам: "), sheet);
    auto* grid = MakeChild<QGridLayout>(goods);
    auto button = [this, goods](QAction* action, const char* name) {
        auto* b = MakeChild<ActionButton>(action, goods);
        b->setObjectName(name);
        return b;
    };
    BitBtnReadDayReport = button(ActionReadDayReport, "BitBtnReadDayReport");
    BitBtnReadPeriodicReport = button(ActionReadPeriodicReport, "BitBtnReadPeriodicReport");
    BitBtnReadReportByAllGoods = button(ActionReadReportByAllGoods, "BitBtnReadReportByAllGoods");
    BitBtnReadReportByCriticalRemains =
        button(ActionReadReportByCriticalRemains, "BitBtnReadReportByCriticalRemains");
    BitBtn6 = MakeChild<QPushButton>(UiText("Діапазон кодів"), goods);
    BitBtn6->setObjectName("BitBtn6");
    SetHelpContext(BitBtn6, 7);
    for (QPushButton* b : std::initializer_list<QPushButton*>{BitBtnReadDayReport, BitBtnReadPeriodicReport,
                                                              BitBtnReadReportByAllGoods, BitBtn6,
                                                              BitBtnReadReportByCriticalRemains})
        grid->addWidget(b);
    grid->setRowStretch(grid->rowCount(), 1);
    top->addWidget(goods, 1);
    DeviceButtons.push_back(BitBtn6);

    auto* progress = MakeChild<QHBoxLayout>();
    QProgressBar3 = MakeChild<TQProgressBar>(sheet);
    QProgressBar3->setObjectName("QProgressBar3");
    QProgressBar3->setFixedHeight(16);
    QProgressBar3->SetMaximum(ReportBarMaximum);
    Label8 = MakeChild<QLabel>(UiText("0 %"), sheet);
    Label8->setObjectName("Label8");
    Label8->setFixedWidth(48);
    progress->addWidget(QProgressBar3, 1);
    progress->addWidget(Label8);
    page->addLayout(progress);
    reportProgress = std::make_unique<BarDisplay>(*QProgressBar3, *Label8);

    connect(ActionReadDayReport, &QAction::triggered, this, [this] { ActionReadDayReportExecute(); });
    connect(ActionReadPeriodicReport, &QAction::triggered, this,
            [this] { ActionReadPeriodicReportExecute(); });
    connect(ActionReadReportByAllGoods, &QAction::triggered, this,
            [this] { ActionReadReportByAllGoodsExecute(); });
    connect(ActionReadReportByCriticalRemains, &QAction::triggered, this,
            [this] { ActionReadReportByCriticalRemainsExecute(); });
    connect(BitBtn6, &QPushButton::clicked, this, [this] { BitBtn6Click(); });
}

void TForm1::RunReading(ReadingJob& job, ActionButton* start) {
    MainBatchWindow window(*this, start);
    RunReadingLoop(state, window, ReportProgress(), *job.target, job.member);
}

void TForm1::ActionReadDayReportExecute() {
    if (state.Busy != 0) return;
    ReadingJob job = DayReportJob(state.Api(), ::Shared());
    RunReading(job, BitBtnReadDayReport);
}

void TForm1::ActionReadPeriodicReportExecute() {
    if (state.Busy != 0) return;
    ReadingJob job = PeriodicReportJob(state.Api(), ::Shared());
    RunReading(job, BitBtnReadPeriodicReport);
}

void TForm1::ActionReadReportByAllGoodsExecute() {
    if (state.Busy != 0) return;
    TForm6& options = *windows.Form6;
    options.ReportBar = QProgressBar3;
    options.Execute();
    if (state.DialogAccepted == 0) return;
    AllGoodsOptions chosen{options.RGMode1->ItemIndex(), options.FirstGoodsNumber, options.LastGoodsNumber};
    ReadingJob job = AllGoodsReportJob(state.Api(), ::Shared(), ReportProgress(), chosen);
    RunReading(job, BitBtnReadReportByAllGoods);
}

void TForm1::BitBtn6Click() {
    if (state.Busy != 0) return;
    TForm11& options = *windows.Form11;
    options.Execute();
    if (state.DialogAccepted == 0) return;
    std::optional<CodeRange> range = CodeRangeOf(TextOf(options.FirstPLU), TextOf(options.LastPLU),
                                                 TextOf(options.FirstBarcode), TextOf(options.LastBarcode));
    if (!range) {
        ShowInfoText(Ansi("Помилка діапазона товарних кодів!"));
        return;
    }
    ReadingJob job = RangeReportJob(state.Api(), ::Shared(), ReportProgress(), *range);
    RunReading(job, nullptr);
}

void TForm1::ActionReadReportByCriticalRemainsExecute() {
    if (state.Busy != 0) return;
    TForm7& options = *windows.Form7;
    options.Execute();
    if (state.DialogAccepted == 0) return;
    std::optional<int32_t> threshold = ThresholdOf(TextOf(options.CriticalRemain));
    if (!threshold || *threshold < 0) {
        ShowErrorText(Ansi("Помилка в параметрі \"критичний залишок\"!"));
        return;
    }
    std::optional<int32_t> group = 0;
    if (options.RadioGroup2->ItemIndex() != 0) group = Int32Of(TextOf(options.Goods_Group2));
    if (!group || *group < 0 || *group > 100) {
        ShowErrorText(Ansi("Помилка товарної групи!"));
        return;
    }
    ReadingJob job = CriticalRemainsReportJob(state.Api(), ::Shared(), *group, *threshold);
    RunReading(job, BitBtnReadReportByCriticalRemains);
}

} // namespace console
