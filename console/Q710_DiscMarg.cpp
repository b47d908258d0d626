// The main window's page of the fixed discount and margin: the two
// percentages and the two switches, read from and written to the register.
#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "console/ActionButton.h"
#include "console/ContextHelp.h"
#include "console/DeviceCalls.h"
#include "console/DiscountGroups.h"
#include "console/MessageBoxes.h"
#include "console/PercentEdit.h"
#include "console/Q710_Form.h"
#include "platform/ui/AnsiText.h"

namespace console {
namespace {

using platform::Ansi;
using platform::MakeChild;
using platform::UiText;

constexpr int kDiscMargPage = 9;
constexpr int kDiscMargHelp = 3;
constexpr int kMaxPercent = 9999;

// "?" positions of a percentage edit become "0" as soon as they appear.
void FillBlanks(PercentEdit* edit) {
    std::string text = edit->MaskText();
    if (text.find('?') != std::string::npos) edit->SetMaskText(FillMaskBlanks(text));
}

void ShowPercent(PercentEdit* edit, uint32_t value) {
    // A value beyond the mask is shown as the largest the mask holds.
    edit->SetMaskText(PercentText(std::min<uint32_t>(value, kMaxPercent)));
}

} // namespace

void TForm1::CreateDiscMargPage() {
    QWidget* sheet = TabSheets[kDiscMargPage];
    auto* column = MakeChild<QVBoxLayout>(sheet);
    auto* box = MakeChild<QGroupBox>(UiText(" Фіксовані знижки та націнки: "), sheet);
    SetHelpContext(box, kDiscMargHelp);
    auto* grid = MakeChild<QGridLayout>(box);
    auto percent = [box](const char* name, const char* hint) {
        auto* edit = MakeChild<PercentEdit>(box);
        edit->setObjectName(name);
        edit->setToolTip(UiText(hint));
        edit->setFixedWidth(70);
        return edit;
    };
    MEDiscountValue = percent("MEDiscountValue", "Значення фіксованої\r\nзнижки (0...99,99) %");
    MEMarginValue = percent("MEMarginValue", "Значення фіксованої\r\nнацінки (0...99,99) %");
    grid->addWidget(MakeChild<QLabel>(UiText("Знижка:"), box), 0, 0);
    grid->addWidget(MEDiscountValue, 0, 1);
    grid->addWidget(MakeChild<QLabel>(UiText("%"), box), 0, 2);
    grid->addWidget(MakeChild<QLabel>(UiText("Націнка:"), box), 1, 0);
    grid->addWidget(MEMarginValue, 1, 1);
    grid->addWidget(MakeChild<QLabel>(UiText("%"), box), 1, 2);
    CBDiscountsEnabled = MakeChild<QCheckBox>(UiText("Дозволені знижки в ЕККА"), box);
    CBDiscountsEnabled->setObjectName("CBDiscountsEnabled");
    CBMarginsEnabled = MakeChild<QCheckBox>(UiText("Дозволені націнки в ЕККА"), box);
    CBMarginsEnabled->setObjectName("CBMarginsEnabled");
    grid->addWidget(CBDiscountsEnabled, 2, 0, 1, 4);
    grid->addWidget(CBMarginsEnabled, 3, 0, 1, 4);
    grid->setColumnStretch(3, 1);

    ActionWriteDiscMarg->setText(UiText("Записати нові значення"));
    ActionSetDiscMargFlags->setText(UiText("Записати ознаки"));
    ActionReadDiscMarg->setText(UiText("Знижки та націнки"));
    BitBtnWriteDiscMarg = MakeActionButton(ActionWriteDiscMarg, "BitBtnWriteDiscMarg", box);
    BitBtnSetDiscMargFlags = MakeActionButton(ActionSetDiscMargFlags, "BitBtnSetDiscMargFlags", box);
    BitBtnReadDiscMarg = MakeActionButton(ActionReadDiscMarg, "BitBtnReadDiscMarg", box);
    auto* buttons = MakeChild<QHBoxLayout>();
    for (QWidget* b : {BitBtnWriteDiscMarg, BitBtnSetDiscMargFlags, BitBtnReadDiscMarg})
        buttons->addWidget(b);
    grid->addLayout(buttons, 4, 0, 1, 4);
    column->addWidget(box);
    column->addStretch();

    MEDiscountValue->OnChange = [this] { MEDiscountValueChange(); };
    MEMarginValue->OnChange = [this] { MEMarginValueChange(); };
    connect(ActionReadDiscMarg, &QAction::triggered, this, [this] { ActionReadDiscMargExecute(); });
    connect(ActionWriteDiscMarg, &QAction::triggered, this, [this] { ActionWriteDiscMargExecute(); });
    connect(ActionSetDiscMargFlags, &QAction::triggered, this, [this] { ActionSetDiscMargFlagsExecute(); });
}

void TForm1::ActionReadDiscMargExecute() {
    uint16_t discount = 0, margin = 0;
    int16_t discounts = 0, margins = 0;
    const char* err = nullptr;
    if (!Succeeded(state.Api().GetDiscMargValues(&discount, &margin, &discounts, &margins, &err), &err))
        return;
    ShowPercent(MEDiscountValue, discount);
    ShowPercent(MEMarginValue, margin);
    CBDiscountsEnabled->setChecked(discounts != 0);
    CBMarginsEnabled->setChecked(margins != 0);
    PageControl1->setCurrentIndex(kDiscMargPage);
    CBDiscountsEnabled->setFocus();
}

void TForm1::ActionWriteDiscMargExecute() {
    int32_t discount = PercentValue(MEDiscountValue->MaskText()).value_or(0);
    int32_t margin = PercentValue(MEMarginValue->MaskText()).value_or(0);
    const char* err = nullptr;
    uint8_t status = 0;
    {
        WaitCaption wait(BitBtnWriteDiscMarg);
        status = state.Api().SetDiscMargValues(discount, margin, &err);
    }
    if (Succeeded(status, &err)) ShowInfoText(Ansi("Записані нові значення фіксованих знижок та націнок."));
}

void TForm1::ActionSetDiscMargFlagsExecute() {
    const char* err = nullptr;
    uint8_t status = 0;
    {
        WaitCaption wait(BitBtnSetDiscMargFlags);
        status = state.Api().SetDiscountMarginFlags(CBDiscountsEnabled->isChecked() ? -1 : 0,
                                                    CBMarginsEnabled->isChecked() ? -1 : 0, &err);
    }
    if (Succeeded(status, &err))
        ShowInfoText(Ansi("Ознаки фіксованих знижок та націнок були успішно встановлені."));
}

void TForm1::MEDiscountValueChange() {
    FillBlanks(MEDiscountValue);
}

void TForm1::MEMarginValueChange() {
    FillBlanks(MEMarginValue);
}

} // namespace console
