#include "console/Q710_Form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "console/ActionButton.h"
#include "console/Connection.h"
#include "console/ConsoleWindows.h"
#include "console/ContextHelp.h"
#include "console/EditExit.h"
#include "console/Guarded.h"
#include "console/MainBatch.h"
#include "console/MessageBoxes.h"
#include "console/TQProgressBar.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/WindowPlacement.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

// Help contexts of the action categories.
enum : int {
    kConnectionHelp = 2,
    kGoodsConfigHelp = 3,
    kGoodsGroupHelp = 4,
    kDiscountHelp = 5,
    kGoodsProgHelp = 6,
    kReportsHelp = 7,
};

constexpr std::array<int, 10> kPageHelp = {2, 3, 4, 5, 6, 7, 0, 0, 0, 0};

} // namespace

TForm1::TForm1(ConsoleState& state, ConsoleWindows& windows) : state(state), windows(windows) {
    setObjectName("Form1");
    setWindowTitle(UiText("Cash retail  (v.2-01)"));
    setMinimumSize(780, 465);
    SetHelpContext(this, 1);
    CreateActions();
    CreateMenuAndStatus();

    auto* central = MakeChild<QWidget>(this);
    auto* row = MakeChild<QHBoxLayout>(central);
    row->setContentsMargins(2, 2, 2, 2);
    CreateTree();
    row->addWidget(TreeView1);
    row->addWidget(CreateLeftPanel());
    PageControl1 = MakeChild<QStackedWidget>(central);
    PageControl1->setObjectName("PageControl1");
    row->addWidget(PageControl1, 1);
    setCentralWidget(central);
    CreatePages();

    Timer1 = MakeChild<QTimer>(this);
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    OpenDialog1 = {"Microsoft Excel (*.xls)|*.xls", "", "", "", false};
    SaveDialog1 = {"Microsoft Excel (*.xls)|*.xls", "", "", "", true};

    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this] { TreeView1Change(); });
    connect(PageControl1, &QStackedWidget::currentChanged, this, [this] { PageControl1Change(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive) ApplicationEvents1Activate();
    });
    InstallHelpKey(this, HelpNotFoundText());
}

TForm1::~TForm1() = default;

QAction* TForm1::MakeAction(const char* name, const char* caption, int helpContext) {
    auto* action = MakeChild<QAction>(UiText(caption), this);
    action->setObjectName(name);
    SetHelpContext(action, helpContext);
    ActionList1.push_back(action);
    addAction(action); // shortcuts work wherever the focus is in the window
    return action;
}

void TForm1::CreateActions() {
    Connect = MakeAction("Connect", "Підключитися", kConnectionHelp);
    Disconnect = MakeAction("Disconnect", "Відключитися", kConnectionHelp);
    ECRPowerOff = MakeAction("ECRPowerOff", "Вимкнути ЕККА", kConnectionHelp);
    ModemConnect = MakeAction("ModemConnect", "Подзвонити", kConnectionHelp);
    ModemDisconnect = MakeAction("ModemDisconnect", "Розірвати зв'язок", kConnectionHelp);
    ModemECRPowerOff = MakeAction("ModemECRPowerOff", "Вимкнути ЕККА", kConnectionHelp);
    Connect->setShortcut(Qt::Key_F10);
    Disconnect->setShortcut(Qt::Key_F11);
    ECRPowerOff->setShortcut(Qt::Key_F12);
    ModemConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F10));
    ModemDisconnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F11));
    ModemECRPowerOff->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F12));

    // The pages that show these actions give them their captions; until then
    // an action shows its name.
    auto named = [this](const char* name, int help) { return MakeAction(name, name, help); };
    ActionReadLengthNameOfGoods = named("ActionReadLengthNameOfGoods", kGoodsConfigHelp);
    ActionWriteLengthNameOfGoods = named("ActionWriteLengthNameOfGoods", kGoodsConfigHelp);
    ActionReadTextPattern = named("ActionReadTextPattern", kGoodsConfigHelp);
    ActionWriteTextPattern = named("ActionWriteTextPattern", kGoodsConfigHelp);
    ActionReadAllTextPatterns = named("ActionReadAllTextPatterns", kGoodsConfigHelp);
    ActionWriteDiscMarg = named("ActionWriteDiscMarg", kGoodsConfigHelp);
    ActionSetDiscMargFlags = named("ActionSetDiscMargFlags", kGoodsConfigHelp);
    ActionReadDiscMarg = named("ActionReadDiscMarg", kGoodsConfigHelp);
    ActionReadFastCode = named("ActionReadFastCode", kGoodsConfigHelp);
    ActionWriteFastCode = named("ActionWriteFastCode", kGoodsConfigHelp);
    ActionReadAllFastCodes = named("ActionReadAllFastCodes", kGoodsConfigHelp);
    ActionReadNameOfGroup = named("ActionReadNameOfGroup", kGoodsGroupHelp);
    ActionWriteNameOfGroup = named("ActionWriteNameOfGroup", kGoodsGroupHelp);
    ActionReadNamesOfAllGroups = named("ActionReadNamesOfAllGroups", kGoodsGroupHelp);
    ActionExportGroupsOfGoods = named("ActionExportGroupsOfGoods", kGoodsGroupHelp);
    ActionImportGroupsOfGoods = named("ActionImportGroupsOfGoods", kGoodsGroupHelp);
    ActionGroupsStop = MakeAction("ActionGroupsStop", "Стоп !", kGoodsGroupHelp);
    ActionGroupsStop->setToolTip(UiText("Зупинити процес"));
    ActionWriteGoodsByNumber = named("ActionWriteGoodsByNumber", kGoodsProgHelp);
    ActionUpdateDBToECRByCode = named("ActionUpdateDBToECRByCode", kGoodsProgHelp);
    ActionEraseAllGoods = named("ActionEraseAllGoods", kGoodsProgHelp);
    ActionReadGoods = named("ActionReadGoods", kGoodsProgHelp);
    ActionWriteGoods = named("ActionWriteGoods", kGoodsProgHelp);
    ActionGoodsDelete = named("ActionGoodsDelete", kGoodsProgHelp);
    ActionWriteNewPrice = named("ActionWriteNewPrice", kGoodsProgHelp);
    ActionWriteNewQuant = named("ActionWriteNewQuant", kGoodsProgHelp);
    ActionGoodsStop = MakeAction("ActionGoodsStop", "Cтоп !", kGoodsProgHelp); // Latin C
    ActionReadReportByAllGoods = named("ActionReadReportByAllGoods", kReportsHelp);
    ActionReadDayReport = named("ActionReadDayReport", kReportsHelp);
    ActionReadPeriodicReport = named("ActionReadPeriodicReport", kReportsHelp);
    ActionReadReportByCriticalRemains = named("ActionReadReportByCriticalRemains", kReportsHelp);
    ActionErasePeriodicReport = named("ActionErasePeriodicReport", kReportsHelp);
    ActionXReportByHours = named("ActionXReportByHours", kReportsHelp);
    ActionGetPeriodicXRepByHours = named("ActionGetPeriodicXRepByHours", kReportsHelp);
    ActionXReportOfDay = named("ActionXReportOfDay", kReportsHelp);
    ActionErasePeriodXRepByHours = named("ActionErasePeriodXRepByHours", kReportsHelp);
    ActionReadDiscountGroup = named("ActionReadDiscountGroup", kDiscountHelp);
    ActionWriteDiscountGroup = named("ActionWriteDiscountGroup", kDiscountHelp);
    ActionReadAllDiscountGroups = named("ActionReadAllDiscountGroups", kDiscountHelp);
    ActionWriteAllDiscountGroups = named("ActionWriteAllDiscountGroups", kDiscountHelp);
    ActionExit = MakeAction("ActionExit", "Вихід", 0);
    ActionInformation = MakeAction("ActionInformation", "Про програму", 0);
    ActionToolBarSettings = MakeAction("ActionToolBarSettings", "ActionToolBarSettings", 0);

    DeviceActions = {ActionReadLengthNameOfGoods,
                     ActionWriteLengthNameOfGoods,
                     ActionReadTextPattern,
                     ActionWriteTextPattern,
                     ActionReadAllTextPatterns,
                     ActionWriteDiscMarg,
                     ActionSetDiscMargFlags,
                     ActionReadDiscMarg,
                     ActionReadFastCode,
                     ActionWriteFastCode,
                     ActionReadAllFastCodes,
                     ActionReadNameOfGroup,
                     ActionWriteNameOfGroup,
                     ActionReadNamesOfAllGroups,
                     ActionExportGroupsOfGoods,
                     ActionImportGroupsOfGoods,
                     ActionReadDiscountGroup,
                     ActionWriteDiscountGroup,
                     ActionReadAllDiscountGroups,
                     ActionWriteAllDiscountGroups,
                     ActionWriteGoodsByNumber,
                     ActionUpdateDBToECRByCode,
                     ActionEraseAllGoods,
                     ActionReadGoods,
                     ActionWriteGoods,
                     ActionGoodsDelete,
                     ActionWriteNewPrice,
                     ActionWriteNewQuant,
                     ActionReadReportByAllGoods,
                     ActionReadDayReport,
                     ActionReadPeriodicReport,
                     ActionReadReportByCriticalRemains,
                     ActionErasePeriodicReport,
                     ActionGetPeriodicXRepByHours,
                     ActionXReportByHours,
                     ActionXReportOfDay,
                     ActionErasePeriodXRepByHours};

    connect(Connect, &QAction::triggered, this, [this] { ConnectExecute(); });
    connect(Disconnect, &QAction::triggered, this, [this] { DisconnectExecute(); });
    connect(ECRPowerOff, &QAction::triggered, this, [this] { ECRPowerOffExecute(); });
    connect(ModemConnect, &QAction::triggered, this, [this] { ModemConnectExecute(); });
    connect(ModemDisconnect, &QAction::triggered, this, [this] { ModemDisconnectExecute(); });
    connect(ModemECRPowerOff, &QAction::triggered, this, [this] { ModemECRPowerOffExecute(); });
    connect(ActionGoodsStop, &QAction::triggered, this, [this] { ActionGoodsStopExecute(); });
    connect(ActionGroupsStop, &QAction::triggered, this, [this] { ActionGroupsStopExecute(); });
    connect(ActionExit, &QAction::triggered, this, [this] { ActionExitExecute(); });
    connect(ActionInformation, &QAction::triggered, this, [this] { ActionInformationExecute(); });
}

void TForm1::CreateMenuAndStatus() {
    QMenuBar* menu = menuBar();
    auto* about = menu->addAction(UiText("Про программу"));
    connect(about, &QAction::triggered, ActionInformation, &QAction::trigger);
    N66 = menu->addAction(UiText("Справка"));
    N66->setObjectName("N66");
    connect(N66, &QAction::triggered, this, [this] { N66Click(); });

    StatusBar1 = statusBar();
    StatusBar1->setObjectName("StatusBar1");
    statusPanel = MakeChild<QLabel>(StatusBar1);
    StatusBar1->addWidget(statusPanel, 1);
}

void TForm1::CreateTree() {
    TreeView1 = MakeChild<QTreeWidget>(this);
    TreeView1->setObjectName("TreeView1");
    TreeView1->setHeaderHidden(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    int index = 0;
    auto node = [&index](const char* text, QTreeWidgetItem* item) {
        item->setText(0, UiText(text));
        item->setData(0, Qt::UserRole, index++);
        return item;
    };
    auto* root = node("Подключение", MakeChild<QTreeWidgetItem>(TreeView1));
    node("Прямое", MakeChild<QTreeWidgetItem>(root));
    node("Модемное", MakeChild<QTreeWidgetItem>(root));
    for (const char* text : {"Конфигурация базы товаров", "База товаров", "Группы товаров", "Отчёты",
                             "Дисконт", "Текстовые шаблоны", "Клавиши быстрого доступа", "Скидки и наценки"})
        node(text, MakeChild<QTreeWidgetItem>(TreeView1));
    TreeView1->expandAll();
    // Wide enough for the longest item in the user's font, with room for a
    // scroll bar should the window be made low.
    int contents = static_cast<QAbstractItemView*>(TreeView1)->sizeHintForColumn(0) +
                   2 * TreeView1->frameWidth() + TreeView1->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                   8;
    TreeView1->setFixedWidth(std::max(210, contents));
}

QWidget* TForm1::CreateLeftPanel() {
    Panel1 = MakeChild<QWidget>(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedWidth(40);
    Label36 = MakeChild<QLabel>(UiText("0 %"), Panel1);
    Label36->setObjectName("Label36");
    Label36->setAlignment(Qt::AlignCenter);
    QProgressBar1 = MakeChild<TQProgressBar>(Panel1);
    QProgressBar1->setObjectName("QProgressBar1");
    QProgressBar1->SetOrientation(boVertical);
    goodsProgress = std::make_unique<BarDisplay>(*QProgressBar1, *Label36);
    Panel1->installEventFilter(this);
    return Panel1;
}

void TForm1::CreatePages() {
    for (std::size_t i = 0; i < TabSheets.size(); ++i) {
        TabSheets[i] = MakeChild<QWidget>(PageControl1);
        TabSheets[i]->setObjectName(QString("TabSheet%1").arg(i + 1, 2, 10, QChar('0')));
        SetHelpContext(TabSheets[i], kPageHelp[i]);
        PageControl1->addWidget(TabSheets[i]);
    }
    CreateConnectionPages();
    CreateGroupsPage();
    CreatePatternsPage();

    // Page of the buttons that open the key dialogs.
    auto* keys = MakeChild<QVBoxLayout>(TabSheets[8]);
    BitBtn3 = MakeChild<QPushButton>(UiText("Клавіші швидкого доступу"), TabSheets[8]);
    BitBtn4 = MakeChild<QPushButton>(UiText("Послідовність команд"), TabSheets[8]);
    BitBtn3->setObjectName("BitBtn3");
    BitBtn4->setObjectName("BitBtn4");
    keys->addWidget(BitBtn3);
    keys->addWidget(BitBtn4);
    keys->addStretch();
    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    DialogButtons.push_back(BitBtn3);
    DialogButtons.push_back(BitBtn4);

    CreateGoodsPages();
    CreateDiscountGroupsPage();
    CreateDiscMargPage();
    // The reports page: the goods reports beside the register's own, the
    // reading bar, the erase box, and the journal buttons at its foot.
    auto* reports = MakeChild<QVBoxLayout>(TabSheets[5]);
    reports->setContentsMargins(4, 4, 4, 4);
    auto* top = MakeChild<QHBoxLayout>();
    reports->addLayout(top);
    CreateReportsPage(top, reports);
    CreateXReportsPage(top, reports);
    reports->addStretch();
    auto* journal = MakeChild<QHBoxLayout>();
    reports->addLayout(journal);
    BitBtn5 = MakeChild<QPushButton>(UiText("Опції формування ЕЖ"), TabSheets[5]);
    BitBtn7 = MakeChild<QPushButton>(UiText("Електронний журнал"), TabSheets[5]);
    BitBtn5->setObjectName("BitBtn5");
    BitBtn7->setObjectName("BitBtn7");
    journal->addWidget(BitBtn5);
    journal->addWidget(BitBtn7);
    journal->addStretch();
    connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
    connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    DialogButtons.push_back(BitBtn5);
    DialogButtons.push_back(BitBtn7);

    PageControl1->setCurrentIndex(0);
}

bool TForm1::FormCreate() {
    std::string errorText;
    if (!state.Device.Load(platform::ProgramFolder(), errorText)) {
        ShowErrorText(platform::Ansi(errorText));
        return false;
    }
    PageControl1Change();
    StoredSettings stored = ReadSettings(platform::IniFile(platform::ProgramFile(SettingsFileName)));
    ApplySettings(stored);
    DefaultDiscountGroupsFromPickers();
    if (AddrECR->text() == "0") {
        AddrECR->setEnabled(false);
        UpDown1->setEnabled(false);
    }
    Disconnect->setEnabled(false);
    ModemDisconnect->setEnabled(false);
    DisableDeviceActions();
    return true;
}

std::string TForm1::StatusText() const {
    return platform::FromQString(statusPanel->text());
}

void TForm1::SetStatusText(const std::string& text) {
    statusPanel->setText(platform::ToQString(text));
}

void TForm1::EnableDeviceActions() {
    for (QAction* a : DeviceActions) a->setEnabled(true);
    for (QWidget* w : DeviceButtons) w->setEnabled(true);
    for (QWidget* w : DialogButtons) w->setEnabled(true);
    ECRPowerOff->setEnabled(state.ModemSession == 0);
    ModemECRPowerOff->setEnabled(state.ModemSession != 0);
}

void TForm1::DisableDeviceActions() {
    for (QAction* a : DeviceActions) a->setEnabled(false);
    for (QWidget* w : DeviceButtons) w->setEnabled(false);
    for (QWidget* w : DialogButtons) w->setEnabled(false);
    ECRPowerOff->setEnabled(false);
    ModemECRPowerOff->setEnabled(false);
}

void TForm1::FreeConnection() {
    // A freed connection object is never handed to the library again.
    if (connectionFreed) return;
    connectionFreed = true;
    state.Api().RadarFree();
}

bool TForm1::SessionOpen() const {
    return Disconnect->isEnabled() || ModemDisconnect->isEnabled() || heldDisconnect || heldModemDisconnect;
}

bool TForm1::ModemSessionOpen() const {
    return ModemDisconnect->isEnabled() || heldModemDisconnect;
}

void TForm1::HoldSessionEnd() {
    if (holdDepth++ > 0) return;
    heldDisconnect = Disconnect->isEnabled();
    heldModemDisconnect = ModemDisconnect->isEnabled();
    Disconnect->setEnabled(false);
    ModemDisconnect->setEnabled(false);
}

void TForm1::ReleaseSessionEnd() {
    if (holdDepth == 0 || --holdDepth > 0) return;
    if (heldDisconnect) Disconnect->setEnabled(true);
    if (heldModemDisconnect) ModemDisconnect->setEnabled(true);
    heldDisconnect = heldModemDisconnect = false;
    // A close confirmed while the operation ran comes back once it has ended.
    if (closeConfirmed) QTimer::singleShot(0, this, [this] { close(); });
}

bool TForm1::SessionUsable() const {
    return Disconnect->isEnabled() || (ModemDisconnect->isEnabled() && modemLinkUp);
}

void TForm1::RestoreDeviceActions() {
    if (SessionUsable())
        EnableDeviceActions();
    else
        DisableDeviceActions();
}

void TForm1::TreeView1Change() {
    QTreeWidgetItem* item = TreeView1->currentItem();
    if (item == nullptr) return;
    int index = item->data(0, Qt::UserRole).toInt();
    PageControl1->setCurrentIndex(index == 0 ? 0 : index - 1);
}

void TForm1::PageControl1Change() {
    int index = PageControl1->currentIndex();
    if (index >= 0 && index <= 5) SetHelpContext(PageControl1, 2 + index);
}

void TForm1::Panel1Resize() {
    Label36->setGeometry(0, 4, Panel1->width(), 16);
    QProgressBar1->setGeometry(8, 24, Panel1->width() - 16, std::max(0, Panel1->height() - 27));
}

void TForm1::N66Click() {
    ShowContextHelp(1, HelpNotFoundText());
}

void TForm1::ActionExitExecute() {
    close();
}

void TForm1::ShowCentred(QWidget& dialog) {
    platform::PlaceCentred(dialog, this);
}

void TForm1::ActionInformationExecute() {
    ShowCentred(*windows.AboutBox);
    platform::ShowModal(*windows.AboutBox);
}

void TForm1::ApplicationEvents1Activate() {
    if (isMinimized()) showNormal();
}

void TForm1::BitBtn3Click() {
    platform::ShowModal(*windows.Form9);
}
void TForm1::BitBtn4Click() {
    platform::ShowModal(*windows.Form10);
}

void TForm1::BitBtn5Click() {
    if (windows.JournalOptionsDialog == nullptr) return;
    ShowCentred(*windows.JournalOptionsDialog);
    platform::ShowModal(*windows.JournalOptionsDialog);
}

void TForm1::BitBtn7Click() {
    if (windows.JournalDialog == nullptr) return;
    ShowCentred(*windows.JournalDialog);
    platform::ShowModal(*windows.JournalDialog);
}

void TForm1::ActionGoodsStopExecute() {
    state.StopRequested.Goods = 1;
}
void TForm1::ActionGroupsStopExecute() {
    state.StopRequested.Groups = 1;
}

bool TForm1::FormCloseQuery() {
    state.Closing = 1;
    if (!closeConfirmed && SessionOpen() &&
        platform::MessageBox(Ansi("Ви дійсно бажаєте завершити роботу програми?"), Ansi("Завершення роботи"),
                             QuestionBox) != platform::IdYes) {
        // Declined: a later register failure must not be taken for a close.
        state.Closing = 0;
        return false;
    }
    if (state.Busy != 0) {
        // The running operation sees Closing and ends first; the window closes
        // once it has, so no register call follows the hang-up or RadarFree.
        closeConfirmed = true;
        return false;
    }
    closeConfirmed = false;
    // A hang-up the library refuses is reported and the program still closes.
    if (ModemDisconnect->isEnabled()) ModemDisconnectExecute();
    return true;
}

void TForm1::FormClose() {
    Timer1->stop();
    Guarded(
        [this] {
            platform::IniFile ini(platform::ProgramFile(SettingsFileName));
            WriteSettings(ini, CurrentSettings());
        },
        ErrorShown::InErrorBox);
    // The library itself is unloaded once the message loop has returned, so
    // an operation still on the stack never calls into unloaded code.
    if (state.Device.Loaded()) FreeConnection();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel1 && event->type() == QEvent::Resize) Panel1Resize();
    if (watched == discountBox && event->type() == QEvent::Resize) ArrangeDiscountPage();
    // One check at a time for both edits: the message of one must not start the other's.
    if ((watched == AddrPC || watched == AddrECR) && event->type() == QEvent::FocusOut && !checkingAddress &&
        LeavesForAnotherControl(*static_cast<QFocusEvent*>(event))) {
        checkingAddress = true;
        if (watched == AddrPC)
            AddrPCExit();
        else
            AddrECRExit();
        checkingAddress = false;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace console
