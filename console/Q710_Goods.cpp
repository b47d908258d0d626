// The main window's goods table programming: the goods-name length page, the
// goods page with its field checks and single-item operations, erasing, and
// the loading and updating of the whole table from an imported file.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "console/ActionButton.h"
#include "console/Connection.h"
#include "console/ContextHelp.h"
#include "console/DeviceCalls.h"
#include "console/EditExit.h"
#include "console/FieldEdit.h"
#include "console/GoodsFields.h"
#include "console/GoodsReports.h"
#include "console/Guarded.h"
#include "console/MainBatch.h"
#include "console/MessageBoxes.h"
#include "console/NumberText.h"
#include "console/Q710_Form.h"
#include "console/UpDown.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

constexpr int kNameLengthPage = 2;
constexpr int kGoodsProgHelp = 6;

QLineEdit* MakeEdit(QWidget* parent, const char* name, const char* text, int maxLength) {
    auto* edit = MakeChild<QLineEdit>(UiText(text), parent);
    edit->setObjectName(name);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    return edit;
}

// One call with the register controls locked and Busy set, the starting
// button (if any) showing the stop action meanwhile.
template <class Call> uint8_t WhileLocked(TForm1& form, uint8_t& busy, ActionButton* start, Call call) {
    MainBatchWindow window(form, start);
    window.Lock();
    busy = 1;
    form.repaint();
    uint8_t status = call();
    window.Unlock();
    busy = 0;
    return status;
}

} // namespace

void TForm1::CreateGoodsPages() {
    // Page of the goods-name length.
    QWidget* config = TabSheets[kNameLengthPage];
    auto* configColumn = MakeChild<QVBoxLayout>(config);
    auto* lengthBox = MakeChild<QGroupBox>(UiText(" Довжина назви товару: "), config);
    auto* lengthRow = MakeChild<QHBoxLayout>(lengthBox);
    LengthGoodsName = MakeEdit(lengthBox, "LengthGoodsName", "25", 2);
    LengthGoodsName->setFixedWidth(40);
    UpDownLengthGoodsName = MakeChild<UpDown>(LengthGoodsName, 20, 31, lengthBox);
    UpDownLengthGoodsName->setObjectName("UpDownLengthGoodsName");
    UpDownLengthGoodsName->SetPosition(25);
    ActionReadLengthNameOfGoods->setText(UiText("Прочитати"));
    ActionWriteLengthNameOfGoods->setText(UiText("Записати"));
    BitBtnReadLengthNameOfGoods = MakeChild<ActionButton>(ActionReadLengthNameOfGoods, lengthBox);
    BitBtnReadLengthNameOfGoods->setObjectName("BitBtnReadLengthNameOfGoods");
    BitBtnWriteLengthNameOfGoods = MakeChild<ActionButton>(ActionWriteLengthNameOfGoods, lengthBox);
    BitBtnWriteLengthNameOfGoods->setObjectName("BitBtnWriteLengthNameOfGoods");
    lengthRow->addWidget(EditWithUpDown(lengthBox, LengthGoodsName, UpDownLengthGoodsName));
    lengthRow->addWidget(BitBtnReadLengthNameOfGoods);
    lengthRow->addWidget(BitBtnWriteLengthNameOfGoods);
    configColumn->addWidget(lengthBox);
    configColumn->addStretch();

    // Goods page: the fields, the single-item operations, the whole table.
    QWidget* sheet = TabSheets[GoodsPage];
    auto* column = MakeChild<QVBoxLayout>(sheet);
    column->addWidget(CreateGoodsFields(sheet));

    auto* table = MakeChild<QGroupBox>(UiText(" База товарів ЕККА: "), sheet);
    auto* grid = MakeChild<QGridLayout>(table);
    ActionWriteGoodsByNumber->setText(UiText("Завантажити базу товарів"));
    ActionUpdateDBToECRByCode->setText(UiText("Оновити базу товарів"));
    ActionEraseAllGoods->setText(UiText("Видалити базу товарів"));
    auto button = [table](QAction* action, const char* name) {
        auto* b = MakeChild<ActionButton>(action, table);
        b->setObjectName(name);
        return b;
    };
    BitBtnWriteGoodsByNumber = button(ActionWriteGoodsByNumber, "BitBtnWriteGoodsByNumber");
    BitBtnUpdateDBToECRByCode = button(ActionUpdateDBToECRByCode, "BitBtnUpdateDBToECRByCode");
    BitBtnEraseAllGoods = button(ActionEraseAllGoods, "BitBtnEraseAllGoods");
    BitBtn2 = MakeChild<QPushButton>(UiText("Видалити збійні записи"), table);
    BitBtn2->setObjectName("BitBtn2");
    SetHelpContext(BitBtn2, kGoodsProgHelp);
    grid->addWidget(BitBtnWriteGoodsByNumber, 0, 0);
    grid->addWidget(BitBtnUpdateDBToECRByCode, 0, 1);
    grid->addWidget(BitBtnEraseAllGoods, 1, 0);
    grid->addWidget(BitBtn2, 1, 1);
    column->addWidget(table);
    column->addStretch();

    // The reports page places it.
    Button1 = MakeChild<QPushButton>(UiText("Період останньої закритої зміни"), TabSheets[ReportsPage]);
    Button1->setObjectName("Button1");
    SetHelpContext(Button1, 7);
    DeviceButtons.push_back(BitBtn2);
    DeviceButtons.push_back(Button1);

    connect(ActionReadLengthNameOfGoods, &QAction::triggered, this,
            [this] { ActionReadLengthNameOfGoodsExecute(); });
    connect(ActionWriteLengthNameOfGoods, &QAction::triggered, this,
            [this] { ActionWriteLengthNameOfGoodsExecute(); });
    connect(ActionReadGoods, &QAction::triggered, this, [this] { ActionReadGoodsExecute(); });
    connect(ActionWriteGoods, &QAction::triggered, this, [this] { ActionWriteGoodsExecute(); });
    connect(ActionWriteNewPrice, &QAction::triggered, this, [this] { ActionWriteNewPriceExecute(); });
    connect(ActionWriteNewQuant, &QAction::triggered, this, [this] { ActionWriteNewQuantExecute(); });
    connect(ActionGoodsDelete, &QAction::triggered, this, [this] { ActionGoodsDeleteExecute(); });
    connect(ActionEraseAllGoods, &QAction::triggered, this, [this] { ActionEraseAllGoodsExecute(); });
    connect(ActionWriteGoodsByNumber, &QAction::triggered, this,
            [this] { ActionWriteGoodsByNumberExecute(); });
    connect(ActionUpdateDBToECRByCode, &QAction::triggered, this,
            [this] { ActionUpdateDBToECRByCodeExecute(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(CBGoodsPresenceAttr, &QCheckBox::toggled, this, [this] { CBGoodsPresenceAttrClick(); });
    OnExit(LengthGoodsName, [this] { return LengthGoodsNameExit(); });
    OnExit(Goods_PLU, [this] { return Goods_PLUExit(); });
    OnExit(Goods_Code, [this] { return Goods_CodeExit(); });
    OnExit(Goods_Group, [this] { return Goods_GroupExit(); });
    OnExit(Goods_Price, [this] { return Goods_PriceExit(); });
    OnExit(Goods_Quant, [this] { return Goods_QuantExit(); });
}

QWidget* TForm1::CreateGoodsFields(QWidget* sheet) {
    auto* box = MakeChild<QGroupBox>(UiText(" Товар: "), sheet);
    auto* form = MakeChild<QFormLayout>(box);
    Goods_Code = MakeEdit(box, "Goods_Code", "1", 13);
    Goods_PLU = MakeEdit(box, "Goods_PLU", "0", 6);
    Goods_PLU->setFixedWidth(70);
    UpDownGoodsPLU = MakeChild<UpDown>(Goods_PLU, 0, 5268, box);
    UpDownGoodsPLU->setObjectName("UpDownGoodsPLU");
    Goods_Name = MakeEdit(box, "Goods_Name", "Товар", 31);
    Goods_Price = MakeEdit(box, "Goods_Price", "0,00", 0);
    // Thirteen characters typed; the normalised text (a comma added to 13
    // digits) is shown whole.
    LimitTyping(Goods_Price, 13, 14);
    Goods_Quant = MakeEdit(box, "Goods_Quant", "0,000", 0);
    Goods_Group = MakeEdit(box, "Goods_Group", "1", 3);
    Goods_Group->setFixedWidth(50);
    UpDownGoodsGroup = MakeChild<UpDown>(Goods_Group, 1, 100, box);
    UpDownGoodsGroup->setObjectName("UpDownGoodsGroup");
    CBTax_Group = MakeChild<QComboBox>(box);
    CBTax_Group->setObjectName("CBTax_Group");
    for (const char* letter : {"А", "Б", "В", "Г", "Д"}) CBTax_Group->addItem(UiText(letter));
    CB_Option = MakeChild<QComboBox>(box);
    CB_Option->setObjectName("CB_Option");
    for (const char* option : {"=", "+", "-"}) CB_Option->addItem(option);
    CBGoodsIsWeight = MakeChild<QCheckBox>(UiText("Ваговий товар"), box);
    CBGoodsIsWeight->setObjectName("CBGoodsIsWeight");
    CBGoodsPresenceAttr = MakeChild<QCheckBox>(UiText("Контроль наявності товару"), box);
    CBGoodsPresenceAttr->setObjectName("CBGoodsPresenceAttr");
    CBGoodsBlocking = MakeChild<QCheckBox>(UiText("Блокувати продаж при недостатній наявності"), box);
    CBGoodsBlocking->setObjectName("CBGoodsBlocking");
    CBGoodsBlocking->setEnabled(false);

    auto* quantity = MakeChild<QWidget>(box);
    auto* quantityRow = MakeChild<QHBoxLayout>(quantity);
    quantityRow->setContentsMargins(0, 0, 0, 0);
    quantityRow->addWidget(CB_Option);
    quantityRow->addWidget(Goods_Quant);
    // Two short fields share a row, so the page fits the window's smallest size.
    auto pair = [box](QWidget* first, const char* label, QWidget* second) {
        auto* row = MakeChild<QWidget>(box);
        auto* line = MakeChild<QHBoxLayout>(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(first);
        line->addSpacing(12);
        if (*label != '\0') line->addWidget(MakeChild<QLabel>(UiText(label), row));
        line->addWidget(second);
        line->addStretch();
        return row;
    };
    form->addRow(UiText("Штрих-код:"), Goods_Code);
    form->addRow(UiText("Найменування:"), Goods_Name);
    form->addRow(UiText("Код PLU:"), pair(EditWithUpDown(box, Goods_PLU, UpDownGoodsPLU), "Товарна група:",
                                          EditWithUpDown(box, Goods_Group, UpDownGoodsGroup)));
    form->addRow(UiText("Ціна:"), pair(Goods_Price, "Податкова група:", CBTax_Group));
    form->addRow(UiText("Кількість:"), quantity);
    form->addRow(QString(), pair(CBGoodsIsWeight, "", CBGoodsPresenceAttr));
    form->addRow(QString(), CBGoodsBlocking);

    ActionReadGoods->setText(UiText("Прочитати"));
    ActionWriteGoods->setText(UiText("Записати"));
    ActionWriteNewPrice->setText(UiText("Нова ціна"));
    ActionWriteNewQuant->setText(UiText("Нова кількість"));
    ActionGoodsDelete->setText(UiText("Видалити"));
    auto* buttons = MakeChild<QHBoxLayout>();
    auto button = [box, buttons](QAction* action, const char* name) {
        auto* b = MakeChild<ActionButton>(action, box);
        b->setObjectName(name);
        buttons->addWidget(b);
        return b;
    };
    BitBtnReadGoods = button(ActionReadGoods, "BitBtnReadGoods");
    BitBtnWriteGoods = button(ActionWriteGoods, "BitBtnWriteGoods");
    BitBtnWriteNewPrice = button(ActionWriteNewPrice, "BitBtnWriteNewPrice");
    BitBtnWriteNewQuant = button(ActionWriteNewQuant, "BitBtnWriteNewQuant");
    BitBtnGoodsDelete = button(ActionGoodsDelete, "BitBtnGoodsDelete");
    form->addRow(buttons);
    return box;
}

bool TForm1::Goods_PLUExit() {
    return ApplyCheck(Goods_PLU, CheckPluField(TextOf(Goods_PLU)), "Невірно заданий номер товару (PLU)!");
}

bool TForm1::Goods_CodeExit() {
    return ApplyCheck(Goods_Code, CheckGoodsCodeField(TextOf(Goods_Code)),
                      "Невірно заданий код товара!\r\nМожливий діапазон значень: 0,1000000..9999999999999!");
}

bool TForm1::Goods_GroupExit() {
    // A number outside the register's groups 1..100 gets the range; any other text the number line.
    const bool number = Int32Of(TrimText(TextOf(Goods_Group))).has_value();
    return ApplyCheck(Goods_Group, CheckGoodsGroupNumber(TextOf(Goods_Group)),
                      number ? GoodsGroupRangeText
                             : "Невірно заданий номер товарної групи!\r\n"
                               "В якості номера товарної групи може бути тільки число!");
}

bool TForm1::Goods_PriceExit() {
    return ApplyCheck(Goods_Price, NormaliseDecimalField(TextOf(Goods_Price), PriceDecimals),
                      "Невірно задана ціна товару!\r\nВ якості ціни може бути тільки число!");
}

bool TForm1::Goods_QuantExit() {
    return ApplyCheck(Goods_Quant, NormaliseDecimalField(TextOf(Goods_Quant), QuantityDecimals),
                      "Невірно задана кількість товару!\r\nВ якості кількості може бути тільки число!");
}

bool TForm1::LengthGoodsNameExit() {
    return ApplyCheck(LengthGoodsName, CheckNameLengthField(TextOf(LengthGoodsName)),
                      "Невірно задана довжина назви товару!\r\nМожливий діапазон значень: 20..31!");
}

void TForm1::CBGoodsPresenceAttrClick() {
    CBGoodsBlocking->setEnabled(CBGoodsPresenceAttr->isChecked());
}

void TForm1::ActionReadLengthNameOfGoodsExecute() {
    if (state.Busy != 0) return;
    uint8_t length = 0;
    uint16_t maxGoods = 0, programmed = 0, failures = 0;
    const char* err = nullptr;
    if (!Succeeded(state.Api().GetLengthGoodsName(&length, &maxGoods, &programmed, &failures, &err), &err))
        return;
    LengthGoodsName->setText(QString::number(length));
    platform::MessageBox(NameLengthInfoText(length, maxGoods, programmed, failures),
                         Ansi("Параметри бази товарів"), InfoBox);
    PageControl1->setCurrentIndex(kNameLengthPage);
    LengthGoodsName->setFocus();
}

void TForm1::ActionWriteLengthNameOfGoodsExecute() {
    if (state.Busy != 0 || !LengthGoodsNameExit()) return;
    Guarded([this] {
        int32_t length = IntegerValue(TextOf(LengthGoodsName));
        WaitCaption wait(BitBtnWriteLengthNameOfGoods);
        const char* err = nullptr;
        uint8_t status = state.Api().SetLengthGoodsName(length, &err);
        wait.Restore();
        if (Succeeded(status, &err))
            ShowInfoText(Ansi("Записане нове значення максимальної\r\nдовжини назви товару."));
    });
}

void TForm1::ActionReadGoodsExecute() {
    if (state.Busy != 0 || !Goods_PLUExit() || !Goods_CodeExit()) return;
    Guarded([this] {
        int32_t plu = IntegerValue(TextOf(Goods_PLU));
        int64_t barcode = Int64Value(TextOf(Goods_Code));
        GoodsStruct goods;
        const char* err = nullptr;
        if (!Succeeded(state.Api().GetGoodsByCode(plu, barcode, &goods, &err), &err)) return;
        CompleteLibraryRecord(goods);
        Goods_PLU->setText(QString::number(goods.plu));
        Goods_Code->setText(QString::number(goods.barcode));
        Goods_Group->setText(QString::number(goods.group));
        if (goods.tax < 5) CBTax_Group->setCurrentIndex(goods.tax);
        Goods_Name->setText(platform::ToQString(goods.Name()));
        Goods_Price->setText(platform::ToQString(PriceText(goods.price)));
        Goods_Quant->setText(platform::ToQString(QuantityText(goods.remainder)));
        CBGoodsIsWeight->setChecked(goods.weighed != 0);
        CBGoodsPresenceAttr->setChecked(goods.presenceControl != 0);
        CBGoodsBlocking->setChecked(goods.saleBlocking != 0);
        platform::MessageBox(GoodsInfoText(goods), Ansi("Параметри бази товарів"), InfoBox);
        PageControl1->setCurrentIndex(GoodsPage);
    });
}

void TForm1::ActionWriteGoodsExecute() {
    if (state.Busy != 0) return;
    if (!Goods_PLUExit() || !Goods_CodeExit() || !Goods_PriceExit() || !Goods_QuantExit() ||
        !Goods_GroupExit())
        return;
    Guarded([this] {
        GoodsPageValues page;
        page.price = TextOf(Goods_Price);
        page.quantity = TextOf(Goods_Quant);
        page.plu = TextOf(Goods_PLU);
        page.barcode = TextOf(Goods_Code);
        page.group = TextOf(Goods_Group);
        page.name = TextOf(Goods_Name);
        page.taxIndex = CBTax_Group->currentIndex();
        page.weighed = CBGoodsIsWeight->isChecked();
        page.presenceControl = CBGoodsPresenceAttr->isChecked();
        page.saleBlocking = CBGoodsBlocking->isChecked();
        GoodsProg goods = GoodsProgOf(page);
        WaitCaption wait(BitBtnWriteGoods);
        const char* err = nullptr;
        uint8_t status = state.Api().SetGoodsByCode(goods, &err);
        wait.Restore();
        if (Succeeded(status, &err))
            ShowInfoText(Ansi("Товар з кодом: ") + page.barcode + "\r\n" +
                         Ansi("було успішно записано в ЕККА."));
    });
}

void TForm1::ActionWriteNewPriceExecute() {
    if (state.Busy != 0 || !Goods_PLUExit() || !Goods_CodeExit() || !Goods_PriceExit()) return;
    Guarded([this] {
        int32_t price = ScaledValue(TextOf(Goods_Price));
        int32_t plu = IntegerValue(TextOf(Goods_PLU));
        int64_t barcode = Int64Value(TextOf(Goods_Code));
        const char* err = nullptr;
        if (Succeeded(state.Api().SetGoodsPrice(plu, barcode, price, &err), &err))
            ShowInfoText(Ansi("Нова ціна була успішно записана."));
    });
}

void TForm1::ActionWriteNewQuantExecute() {
    if (state.Busy != 0 || !Goods_PLUExit() || !Goods_CodeExit() || !Goods_QuantExit()) return;
    Guarded([this] {
        int32_t quantity = ScaledValue(TextOf(Goods_Quant));
        int32_t plu = IntegerValue(TextOf(Goods_PLU));
        int64_t barcode = Int64Value(TextOf(Goods_Code));
        const char* err = nullptr;
        if (Succeeded(state.Api().SetGoodsQuantity(plu, barcode, quantity, CB_Option->currentIndex(), &err),
                      &err))
            ShowInfoText(Ansi("Нова кількість товарів була успішно записана."));
    });
}

void TForm1::ActionGoodsDeleteExecute() {
    if (state.Busy != 0 || !Goods_PLUExit() || !Goods_CodeExit()) return;
    Guarded([this] {
        const std::string barcodeText = TextOf(Goods_Code);
        if (platform::MessageBox(Ansi("Ви дійсно бажаєте видалити ") + "\r\n" + Ansi(" товар з кодом: ") +
                                     barcodeText + "?",
                                 Ansi("Видалення"), QuestionBox) != platform::IdYes)
            return;
        int32_t plu = IntegerValue(TextOf(Goods_PLU));
        int64_t barcode = Int64Value(barcodeText);
        WaitCaption wait(BitBtnGoodsDelete);
        const char* err = nullptr;
        uint8_t status = state.Api().EraseGoodsByCode(plu, barcode, &err);
        wait.Restore();
        if (Succeeded(status, &err))
            ShowInfoText(Ansi("Товар з кодом: ") + barcodeText + Ansi(" успішно видалений."));
    });
}

void TForm1::ActionEraseAllGoodsExecute() {
    if (state.Busy != 0) return;
    if (platform::MessageBox(Ansi("ДАНІ БУДУТЬ ВИДАЛЕНІ БЕЗ МОЖЛИВОСТІ ЇХ ВІДНОВЛЕННЯ!\r\n"
                                  "Ви дійсно бажаєте видалити базу товарів ЕККА?"),
                             Ansi("Попередження!"), WarningQuestionBox) != platform::IdYes)
        return;
    const char* err = nullptr;
    uint8_t status =
        WhileLocked(*this, state.Busy, BitBtnEraseAllGoods, [&] { return state.Api().EraseAllGoods(&err); });
    if (!Succeeded(status, &err)) return;
    if (!Succeeded(state.Api().EraseAdditionalCodes(1, 9999999999999, &err), &err)) {
        ShowInfoText(Ansi("База товарів успішно видалена, але коди з доповненням залишились не видалені!"));
        return;
    }
    ShowInfoText(Ansi("База товарів успішно видалена."));
}

void TForm1::BitBtn2Click() {
    if (state.Busy != 0) return;
    if (platform::MessageBox(
            Ansi("БУДУТЬ ВИДАЛЕНІ ТІЛЬКИ ЗБІЙНІ ЗАПИСИ У БАЗІ ТОВАРІВ!\r\nПродовжити операцію?"),
            Ansi("Попередження!"), WarningQuestionBox) != platform::IdYes)
        return;
    const char* err = nullptr;
    uint8_t status =
        WhileLocked(*this, state.Busy, nullptr, [&] { return state.Api().EraseFailureRecords(&err); });
    if (Succeeded(status, &err)) ShowInfoText(Ansi("Збійні записи у базі товарів успішно видалені."));
}

void TForm1::Button1Click() {
    if (state.Busy != 0) return;
    double opened = 0, closed = 0;
    const char* err = nullptr;
    if (!Succeeded(state.Api().GetPeiodOfLastDay(&opened, &closed, &err), &err)) return;
    platform::MessageBox(LastShiftText(opened, closed), Ansi("Період останньої закритої зміни"), InfoBox);
}

void TForm1::RunWriting(const WritingMember& member, ActionButton* start) {
    MainBatchWindow window(*this, start);
    RunWritingLoop(state, window, GoodsProgress(), ::Shared().ImportedGoods, member);
}

void TForm1::ActionWriteGoodsByNumberExecute() {
    if (state.Busy != 0) return;
    RunWriting(WriteGoodsByNumberMember(state.Api()), BitBtnWriteGoodsByNumber);
}

void TForm1::ActionUpdateDBToECRByCodeExecute() {
    if (state.Busy != 0) return;
    RunWriting(UpdateGoodsByCodeMember(state.Api()), BitBtnUpdateDBToECRByCode);
}

} // namespace console
