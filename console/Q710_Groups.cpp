// The main window's goods-group page: one name read and written by number,
// all 100 names read into the memo, and the import and export of names.
#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "console/Connection.h"
#include "console/ContextHelp.h"
#include "console/EditExit.h"
#include "console/FieldEdit.h"
#include "console/GroupBatches.h"
#include "console/Guarded.h"
#include "console/MainBatch.h"
#include "console/MessageBoxes.h"
#include "console/Q710_Form.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

constexpr int kGroupPageHelp = 4;

// The group page as the group batches see it: the starting button turns
// into the group stop button, the memo takes the log.
class GroupsPageWindow final : public GroupsWindow {
public:
    GroupsPageWindow(TForm1& form, ActionButton* start)
        : form(form), batch(form, start, form.ActionGroupsStop) {}
    void Repaint() override { batch.Repaint(); }
    void ShowPage(int index) override { batch.ShowPage(index); }
    void Lock() override { batch.Lock(); }
    void Unlock() override { batch.Unlock(); }
    void ClearMemo() override { form.Memo2->clear(); }
    void AddMemoLine(const std::string& ansi) override {
        form.Memo2->appendPlainText(platform::ToQString(ansi));
    }
    void FocusMemo() override { form.Memo2->setFocus(); }

private:
    TForm1& form;
    MainBatchWindow batch;
};

} // namespace

void TForm1::CreateGroupsPage() {
    QWidget* sheet = TabSheets[GroupsPage];
    ActionReadNameOfGroup->setText(UiText("Прочитати"));
    ActionWriteNameOfGroup->setText(UiText("Записати"));
    ActionReadNamesOfAllGroups->setText(UiText("Прочитати назви всіх груп"));
    ActionImportGroupsOfGoods->setText(UiText("Імпорт"));
    ActionExportGroupsOfGoods->setText(UiText("Експорт"));

    GoodsGroupIndex = MakeChild<QLineEdit>(sheet);
    GoodsGroupIndex->setObjectName("GoodsGroupIndex");
    GoodsGroupIndex->setMaxLength(3);
    GoodsGroupIndex->setFixedWidth(60);
    GoodsGroupIndex->setToolTip(UiText("Номер товарної\r\nгрупи (1...100)"));
    UpDownGoodsGroupIndex = MakeChild<UpDown>(GoodsGroupIndex, 1, 100, sheet);
    UpDownGoodsGroupIndex->setObjectName("UpDownGoodsGroupIndex");
    UpDownGoodsGroupIndex->SetPosition(1);
    GoodsGroupName = MakeChild<QLineEdit>(sheet);
    GoodsGroupName->setObjectName("GoodsGroupName");
    GoodsGroupName->setMaxLength(static_cast<int>(GroupNameSize));
    Memo2 = MakeChild<QPlainTextEdit>(sheet);
    Memo2->setObjectName("Memo2");
    Memo2->setReadOnly(true);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CBEraseGoodsGroup = MakeChild<QCheckBox>(UiText("Очистити назви всіх груп (імпорт)"), sheet);
    CBEraseGoodsGroup->setObjectName("CBEraseGoodsGroup");
    for (QWidget* w :
         std::initializer_list<QWidget*>{GoodsGroupIndex, GoodsGroupName, Memo2, CBEraseGoodsGroup})
        SetHelpContext(w, kGroupPageHelp);

    auto button = [sheet](QAction* action, const char* name) {
        return MakeActionButton(action, name, sheet);
    };
    BitBtnReadNameOfGroup = button(ActionReadNameOfGroup, "BitBtnReadNameOfGroup");
    BitBtnWriteNameOfGroup = button(ActionWriteNameOfGroup, "BitBtnWriteNameOfGroup");
    BitBtnReadNamesOfAllGroups = button(ActionReadNamesOfAllGroups, "BitBtnReadNamesOfAllGroups");
    BitBtnImportGroupsOfGoods = button(ActionImportGroupsOfGoods, "BitBtnImportGroupsOfGoods");
    BitBtnExportGroupsOfGoods = button(ActionExportGroupsOfGoods, "BitBtnExportGroupsOfGoods");

    auto* grid = MakeChild<QGridLayout>(sheet);
    auto* number = MakeChild<QHBoxLayout>();
    number->addWidget(GoodsGroupIndex);
    number->addWidget(UpDownGoodsGroupIndex);
    number->addStretch();
    grid->addWidget(MakeChild<QLabel>(UiText("Номер групи:"), sheet), 0, 0);
    grid->addLayout(number, 0, 1);
    grid->addWidget(BitBtnReadNameOfGroup, 0, 2);
    grid->addWidget(MakeChild<QLabel>(UiText("Назва групи:"), sheet), 1, 0);
    grid->addWidget(GoodsGroupName, 1, 1);
    grid->addWidget(BitBtnWriteNameOfGroup, 1, 2);
    grid->addWidget(Memo2, 2, 0, 1, 3);
    grid->addWidget(CBEraseGoodsGroup, 3, 0, 1, 3);
    auto* batches = MakeChild<QHBoxLayout>();
    for (QWidget* w : std::initializer_list<QWidget*>{BitBtnReadNamesOfAllGroups, BitBtnImportGroupsOfGoods,
                                                      BitBtnExportGroupsOfGoods})
        batches->addWidget(w);
    grid->addLayout(batches, 4, 0, 1, 3);
    grid->setRowStretch(2, 1);

    OnExit(GoodsGroupIndex, [this] { return GoodsGroupIndexExit(); });
    connect(ActionReadNameOfGroup, &QAction::triggered, this, [this] { ActionReadNameOfGroupExecute(); });
    connect(ActionWriteNameOfGroup, &QAction::triggered, this, [this] { ActionWriteNameOfGroupExecute(); });
    connect(ActionReadNamesOfAllGroups, &QAction::triggered, this,
            [this] { ActionReadNamesOfAllGroupsExecute(); });
    connect(ActionImportGroupsOfGoods, &QAction::triggered, this,
            [this] { ActionImportGroupsOfGoodsExecute(); });
    connect(ActionExportGroupsOfGoods, &QAction::triggered, this,
            [this] { ActionExportGroupsOfGoodsExecute(); });
}

bool TForm1::GoodsGroupIndexExit() {
    return ApplyCheck(GoodsGroupIndex, CheckGroupNumber(TextOf(GoodsGroupIndex)), GroupNumberMessage);
}

void TForm1::ActionReadNameOfGroupExecute() {
    if (state.Busy != 0 || !GoodsGroupIndexExit()) return;
    Guarded([this] {
        int32_t number = IntegerValue(platform::FromQString(GoodsGroupIndex->text()));
        const char* name = nullptr;
        const char* err = nullptr;
        if (state.Api().GetGoodsGroupName(number, &name, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        GoodsGroupName->setText(platform::ToQString(BoundedLibraryText(name, GroupNameSize)));
        PageControl1->setCurrentIndex(GroupsPage);
        GoodsGroupName->setFocus();
    });
}

void TForm1::ActionWriteNameOfGroupExecute() {
    if (state.Busy != 0 || !GoodsGroupIndexExit()) return;
    Guarded([this] {
        std::string numberText = platform::FromQString(GoodsGroupIndex->text());
        std::string name = platform::FromQString(GoodsGroupName->text()).substr(0, GroupNameSize);
        const char* err = nullptr;
        if (state.Api().SetGoodsGroupName(IntegerValue(numberText), name.c_str(), &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return;
        }
        ShowInfoText(Ansi("Назва товарної групи №") + numberText + Ansi(" була успішно записана."));
    });
}

void TForm1::ActionReadNamesOfAllGroupsExecute() {
    if (state.Busy != 0) return;
    GroupsPageWindow window(*this, BitBtnReadNamesOfAllGroups);
    ReadAllGroupNames(state, window);
}

void TForm1::ActionImportGroupsOfGoodsExecute() {
    if (state.Busy != 0) return;
    GroupsPageWindow window(*this, BitBtnImportGroupsOfGoods);
    ImportGroupNames(state, window, GoodsProgress(), ::Shared().GoodsGroupTable,
                     CBEraseGoodsGroup->isChecked());
}

void TForm1::ActionExportGroupsOfGoodsExecute() {
    if (state.Busy != 0) return;
    GroupsPageWindow window(*this, BitBtnExportGroupsOfGoods);
    ExportGroupNames(state, window, GoodsProgress(), ::Shared().GoodsGroupTable);
}

} // namespace console
