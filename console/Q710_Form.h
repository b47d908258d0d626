// The main window: navigation tree, ten pages with hidden tabs, the register
// actions, status bar and the close sequence; each page's controls and
// handlers live in a file of their own (Q710_Connection.cpp, Q710_Goods.cpp, ...).
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "console/Connection.h"
#include "console/ConsoleState.h"
#include "console/Settings.h"
#include "platform/ui/Ui.h"

class QAction;
class QBoxLayout;
class QGroupBox;
class QLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QStatusBar;
class QTimer;
class QTreeWidget;
class QHBoxLayout;
class QVBoxLayout;
class QDateEdit;
class QTextEdit;
class QTimeEdit;
class TQProgressBar;

namespace console {

class ActionButton;
class ProgressDisplay;
class RadioGroup;
class UpDown;
class PercentEdit;
struct ConsoleWindows;
struct ReadingJob;
struct WritingMember;

class TForm1 : public QMainWindow {
public:
    TForm1(ConsoleState& state, ConsoleWindows& windows);
    ~TForm1() override;

    // Loads the device library, reads the settings and leaves every register
    // action disabled. False (after telling the user) when the library cannot
    // be used: the program cannot run then.
    bool FormCreate();

    // Controls. Qt parents own them.
    QTreeWidget* TreeView1 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label36 = nullptr;
    TQProgressBar* QProgressBar1 = nullptr; // vertical; the writing loops
    QStackedWidget* PageControl1 = nullptr;
    std::array<QWidget*, 10> TabSheets{}; // TabSheet01..TabSheet10
    QStatusBar* StatusBar1 = nullptr;
    QComboBox* PortNumber = nullptr;
    QComboBox* BRate = nullptr;
    QLineEdit* AddrPC = nullptr;
    UpDown* UpDown2 = nullptr;
    QLineEdit* AddrECR = nullptr;
    UpDown* UpDown1 = nullptr;
    QCheckBox* NetMode = nullptr;
    QLineEdit* Phone = nullptr;
    QCheckBox* CBDialMode = nullptr;
    QCheckBox* CBSelectDialog = nullptr;
    QCheckBox* CBConfigDialog = nullptr;
    QComboBox* CBAttempts = nullptr;
    QPushButton* BitBtn3 = nullptr; // fast keys
    QPushButton* BitBtn4 = nullptr; // key sequence
    QPushButton* BitBtn5 = nullptr; // electronic-journal options
    QPushButton* BitBtn7 = nullptr; // electronic journal
    // Reports page: the reading loops' bar and the goods report buttons.
    TQProgressBar* QProgressBar3 = nullptr;
    QLabel* Label8 = nullptr;
    ActionButton* BitBtnReadDayReport = nullptr;
    ActionButton* BitBtnReadPeriodicReport = nullptr;
    ActionButton* BitBtnReadReportByAllGoods = nullptr;
    ActionButton* BitBtnReadReportByCriticalRemains = nullptr;
    QPushButton* BitBtn6 = nullptr; // report by a range of codes
    // Reports page: the register's own reports and the erase box.
    ActionButton *BitBtnXReportOfDay = nullptr, *BitBtnXReportByHours = nullptr,
                 *BitBtnGetPeriodicXRepByHours = nullptr, *BitBtnErasePeriodXRepByHours = nullptr,
                 *BitBtnErasePeriodicReport = nullptr;
    RadioGroup* RGEraseMode = nullptr;
    QLineEdit *FirstBarcode = nullptr, *LastBarcode = nullptr, *FirstPLU = nullptr, *LastPLU = nullptr,
              *FirstGoodsGroup = nullptr, *LastGoodsGroup = nullptr;
    UpDown *UpDownFirstGoodsGroup = nullptr, *UpDownLastGoodsGroup = nullptr;
    QPushButton* Button1 = nullptr; // period of the last closed shift
    // Goods-name length page and goods page.
    QLineEdit* LengthGoodsName = nullptr;
    UpDown* UpDownLengthGoodsName = nullptr;
    QLineEdit *Goods_Code = nullptr, *Goods_PLU = nullptr, *Goods_Price = nullptr, *Goods_Name = nullptr,
              *Goods_Quant = nullptr, *Goods_Group = nullptr;
    UpDown *UpDownGoodsPLU = nullptr, *UpDownGoodsGroup = nullptr;
    QComboBox *CBTax_Group = nullptr, *CB_Option = nullptr;
    QCheckBox *CBGoodsIsWeight = nullptr, *CBGoodsPresenceAttr = nullptr, *CBGoodsBlocking = nullptr;
    ActionButton *BitBtnReadLengthNameOfGoods = nullptr, *BitBtnWriteLengthNameOfGoods = nullptr,
                 *BitBtnReadGoods = nullptr, *BitBtnWriteGoods = nullptr, *BitBtnWriteNewPrice = nullptr,
                 *BitBtnWriteNewQuant = nullptr, *BitBtnGoodsDelete = nullptr, *BitBtnEraseAllGoods = nullptr,
                 *BitBtnWriteGoodsByNumber = nullptr, *BitBtnUpdateDBToECRByCode = nullptr;
    QPushButton* BitBtn2 = nullptr; // erase failure records
    // Page of the fixed discount and margin.
    PercentEdit *MEDiscountValue = nullptr, *MEMarginValue = nullptr;
    QCheckBox *CBDiscountsEnabled = nullptr, *CBMarginsEnabled = nullptr;
    ActionButton *BitBtnWriteDiscMarg = nullptr, *BitBtnSetDiscMargFlags = nullptr,
                 *BitBtnReadDiscMarg = nullptr;
    // Page of the discount groups.
    QComboBox* CBDiscountGroup = nullptr;
    PercentEdit* MEDiscountValueByGroup = nullptr;
    QLineEdit *FirstCardCodeByDiscountGroup = nullptr, *LastCardCodeByDiscountGroup = nullptr;
    QCheckBox *CBDiscountByDate = nullptr, *CBDiscountByTime = nullptr, *CBDiscountByDayOfWeek = nullptr;
    QDateEdit *BeginDate = nullptr, *EndDate = nullptr;
    QTimeEdit *BeginTime = nullptr, *EndTime = nullptr;
    QCheckBox *CBMonday = nullptr, *CBTuesday = nullptr, *CBWednesday = nullptr, *CBThursday = nullptr,
              *CBFriday = nullptr, *CBSaturday = nullptr, *CBSunday = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    ActionButton *BitBtnReadDiscountGroup = nullptr, *BitBtnWriteDiscountGroup = nullptr,
                 *BitBtnReadAllDiscountGroups = nullptr, *BitBtnWriteAllDiscountGroups = nullptr;
    QPushButton* SpeedButton2 = nullptr; // save the groups to the file
    QPushButton* BitBtn1 = nullptr;      // load them from it
    // Goods-group page.
    QLineEdit* GoodsGroupIndex = nullptr;
    UpDown* UpDownGoodsGroupIndex = nullptr;
    QLineEdit* GoodsGroupName = nullptr;
    QPlainTextEdit* Memo2 = nullptr; // the log of every group operation
    QCheckBox* CBEraseGoodsGroup = nullptr;
    ActionButton* BitBtnReadNameOfGroup = nullptr;
    ActionButton* BitBtnWriteNameOfGroup = nullptr;
    ActionButton* BitBtnReadNamesOfAllGroups = nullptr;
    ActionButton* BitBtnImportGroupsOfGoods = nullptr;
    ActionButton* BitBtnExportGroupsOfGoods = nullptr;
    // Text-pattern page.
    QLineEdit* PatternNumber = nullptr;
    UpDown* UpDownPatternNumber = nullptr;
    QLineEdit* CursorPosition = nullptr;
    UpDown* UpDownCursorPosition = nullptr;
    QLineEdit* PatternText = nullptr;
    ActionButton* BitBtnReadTextPattern = nullptr;
    ActionButton* BitBtnWriteTextPattern = nullptr;
    ActionButton* BitBtnReadAllTextPatterns = nullptr;
    QAction* N66 = nullptr;   // menu "Справка"
    QTimer* Timer1 = nullptr; // modem poll
    platform::FileDialogRequest OpenDialog1;
    platform::FileDialogRequest SaveDialog1;

    // Actions of ActionList1.
    QAction *Connect = nullptr, *Disconnect = nullptr, *ECRPowerOff = nullptr;
    QAction *ModemConnect = nullptr, *ModemDisconnect = nullptr, *ModemECRPowerOff = nullptr;
    QAction *ActionReadLengthNameOfGoods = nullptr, *ActionWriteLengthNameOfGoods = nullptr,
            *ActionReadTextPattern = nullptr, *ActionWriteTextPattern = nullptr,
            *ActionReadAllTextPatterns = nullptr, *ActionWriteDiscMarg = nullptr,
            *ActionSetDiscMargFlags = nullptr, *ActionReadDiscMarg = nullptr, *ActionReadFastCode = nullptr,
            *ActionWriteFastCode = nullptr, *ActionReadAllFastCodes = nullptr;
    QAction *ActionReadNameOfGroup = nullptr, *ActionWriteNameOfGroup = nullptr,
            *ActionReadNamesOfAllGroups = nullptr, *ActionExportGroupsOfGoods = nullptr,
            *ActionImportGroupsOfGoods = nullptr, *ActionGroupsStop = nullptr;
    QAction *ActionWriteGoodsByNumber = nullptr, *ActionUpdateDBToECRByCode = nullptr,
            *ActionEraseAllGoods = nullptr, *ActionReadGoods = nullptr, *ActionWriteGoods = nullptr,
            *ActionGoodsDelete = nullptr, *ActionWriteNewPrice = nullptr, *ActionWriteNewQuant = nullptr,
            *ActionGoodsStop = nullptr;
    QAction *ActionReadReportByAllGoods = nullptr, *ActionReadDayReport = nullptr,
            *ActionReadPeriodicReport = nullptr, *ActionReadReportByCriticalRemains = nullptr,
            *ActionErasePeriodicReport = nullptr, *ActionXReportByHours = nullptr,
            *ActionGetPeriodicXRepByHours = nullptr, *ActionXReportOfDay = nullptr,
            *ActionErasePeriodXRepByHours = nullptr;
    QAction *ActionReadDiscountGroup = nullptr, *ActionWriteDiscountGroup = nullptr,
            *ActionReadAllDiscountGroups = nullptr, *ActionWriteAllDiscountGroups = nullptr;
    QAction *ActionExit = nullptr, *ActionInformation = nullptr, *ActionToolBarSettings = nullptr;
    std::vector<QAction*> ActionList1;
    // The 37 register actions switched by Enable/DisableDeviceActions.
    std::vector<QAction*> DeviceActions;
    // Plain buttons that reach the register, switched with the actions.
    std::vector<QWidget*> DeviceButtons;
    // Buttons of dialogs that call the register themselves, switched with the
    // actions: a dialog opened without a session, or from a running loop's
    // message processing, would call the library on a freed connection or in
    // the middle of a batch.
    std::vector<QWidget*> DialogButtons;

    // Status bar panel 0 (ANSI).
    std::string StatusText() const;
    void SetStatusText(const std::string& text);

    void EnableDeviceActions();
    void DisableDeviceActions();
    // After a register operation: the actions come back only while a session
    // is still usable (a direct connection, or a modem call that got through).
    void RestoreDeviceActions();
    bool SessionUsable() const;
    // A direct connection or a modem call is open, its end held or not.
    bool SessionOpen() const;
    bool ModemSessionOpen() const;
    // While a long operation runs the session cannot be ended ("Відключитися"
    // F11, "Розірвати зв'язок" Ctrl+F11): the running loop would call the
    // library on a freed connection. Release gives them back as they were,
    // unless the session ended meanwhile (the modem gave up or was hung up).
    void HoldSessionEnd();
    void ReleaseSessionEnd();

    // The settings the connection pages show, and showing stored ones.
    ConnectionSettings CurrentSettings() const;
    void ApplySettings(const StoredSettings& stored);

    // Handlers.
    bool FormCloseQuery();
    void FormClose();
    void TreeView1Change();
    void PageControl1Change();
    void Panel1Resize();
    void N66Click();
    void ActionExitExecute();
    void ActionInformationExecute();
    void ApplicationEvents1Activate();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn7Click();
    void ActionGoodsStopExecute();
    void ActionGroupsStopExecute();
    void ConnectExecute();
    void DisconnectExecute();
    void NetModeClick();
    void AddrPCExit();
    void AddrECRExit();
    void ModemConnectExecute();
    void ModemDisconnectExecute();
    void Timer1Timer();
    void ECRPowerOffExecute();
    void ModemECRPowerOffExecute();
    void ActionReadDayReportExecute();
    void ActionReadPeriodicReportExecute();
    void ActionReadReportByAllGoodsExecute();
    void BitBtn6Click();
    void ActionReadReportByCriticalRemainsExecute();
    void ActionXReportOfDayExecute();
    void ActionXReportByHoursExecute();
    void ActionGetPeriodicXRepByHoursExecute();
    void ActionErasePeriodXRepByHoursExecute();
    void ActionErasePeriodicReportExecute();
    // Checks of the erase box's edits; false when the text was refused.
    bool FirstBarcodeExit();
    bool LastBarcodeExit();
    bool FirstGoodsGroupExit();
    bool LastGoodsGroupExit();
    void ActionWriteGoodsByNumberExecute();
    void ActionUpdateDBToECRByCodeExecute();
    void ActionReadLengthNameOfGoodsExecute();
    void ActionWriteLengthNameOfGoodsExecute();
    void ActionReadGoodsExecute();
    void ActionWriteGoodsExecute();
    void ActionWriteNewPriceExecute();
    void ActionWriteNewQuantExecute();
    void ActionGoodsDeleteExecute();
    void ActionEraseAllGoodsExecute();
    void BitBtn2Click();
    void Button1Click();
    void CBGoodsPresenceAttrClick();
    // Field checks of the goods pages; false when the text was refused (the
    // user was told and the field reset).
    bool Goods_PLUExit();
    bool Goods_CodeExit();
    bool Goods_GroupExit();
    bool Goods_PriceExit();
    bool Goods_QuantExit();
    bool LengthGoodsNameExit();
    // Fixed discount and margin.
    void ActionReadDiscMargExecute();
    void ActionWriteDiscMargExecute();
    void ActionSetDiscMargFlagsExecute();
    void MEDiscountValueChange();
    void MEMarginValueChange();
    // Discount groups.
    void ShowDiscountGroup();
    void CBDiscountGroupChange();
    void MEDiscountValueByGroupChange();
    bool FirstCardCodeByDiscountGroupExit();
    bool LastCardCodeByDiscountGroupExit();
    void CBDiscountByDateClick();
    void CBDiscountByTimeClick();
    void CBDiscountByDayOfWeekClick();
    void BeginDateChange();
    void EndDateChange();
    void BeginTimeChange();
    void EndTimeChange();
    // CBMondayClick..CBSundayClick: day 0 is Monday.
    void DayOfWeekClick(int day);
    void ActionReadDiscountGroupExecute();
    void ActionReadAllDiscountGroupsExecute();
    void ActionWriteDiscountGroupExecute();
    void ActionWriteAllDiscountGroupsExecute();
    void SpeedButton2Click();
    void BitBtn1Click();
    void ActionReadNameOfGroupExecute();
    void ActionWriteNameOfGroupExecute();
    void ActionReadNamesOfAllGroupsExecute();
    void ActionImportGroupsOfGoodsExecute();
    void ActionExportGroupsOfGoodsExecute();
    void ActionReadTextPatternExecute();
    void ActionWriteTextPatternExecute();
    void ActionReadAllTextPatternsExecute();
    // Field checks of the group and pattern pages, as those above.
    bool GoodsGroupIndexExit();
    bool PatternNumberExit();
    bool CursorPositionExit();

    // The progress of the reading loops (QProgressBar3, Label8) and of the
    // writing loops (QProgressBar1, Label36).
    ProgressDisplay& ReportProgress() { return *reportProgress; }
    ProgressDisplay& GoodsProgress() { return *goodsProgress; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* MakeAction(const char* name, const char* caption, int helpContext);
    void CreateActions();
    void CreateTree();
    void CreatePages();
    void CreateConnectionPages();
    void CreateMenuAndStatus();
    QWidget* CreateLeftPanel();
    void SetSessionControlsEnabled(bool on);
    void SetModemSessionControlsEnabled(bool on);
    void EndModemSession();
    // RadarFree, once after each session began (and once when none began).
    void FreeConnection();
    void ShowCentred(QWidget& dialog);
    void CheckAddressEdit(AddressEdit which, QLineEdit* edit, QLineEdit* other);
    // The goods reports go into `top`, the reading bar below it into `page`.
    void CreateReportsPage(QHBoxLayout* top, QVBoxLayout* page);
    // The register's reports (and the last shift's period) beside the goods
    // reports in `top`, the erase box into `page`.
    void CreateXReportsPage(QHBoxLayout* top, QVBoxLayout* page);
    void CreateGroupsPage();
    void CreatePatternsPage();
    void RunReading(ReadingJob& job, ActionButton* start);
    void RunWriting(const WritingMember& member, ActionButton* start);
    void CreateGoodsPages();
    QWidget* CreateGoodsFields(QWidget* sheet);
    void CreateDiscMargPage();
    void CreateDiscountGroupsPage();
    QWidget* CreateDiscountTermBox(QWidget* parent);
    // The discount listing beside or below the group's controls, as the
    // page's width allows.
    void ArrangeDiscountPage();
    bool CheckCardEdit(QLineEdit* edit, bool first);
    QCheckBox* DayBox(int day) const;
    Q710DiscountGroupRecord& ChosenGroup();
    // Every discount group at its defaults, with the dates the pickers show.
    void DefaultDiscountGroupsFromPickers();

    ConsoleState& state;
    ConsoleWindows& windows;
    QLabel* statusPanel = nullptr;
    std::vector<ActionButton*> actionButtons;
    bool modemLinkUp = false; // the modem poll reported the connection
    int holdDepth = 0;
    bool heldDisconnect = false, heldModemDisconnect = false;
    bool closeConfirmed = false; // a close the user confirmed during a long operation follows it
    bool connectionFreed = false;
    bool checkingAddress = false;
    std::unique_ptr<ProgressDisplay> reportProgress;
    std::unique_ptr<ProgressDisplay> goodsProgress;
    QGroupBox* discountBox = nullptr;
    QBoxLayout* discountRow = nullptr;
    QLayout* discountControls = nullptr;
};

} // namespace console
