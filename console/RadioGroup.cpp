#include "console/RadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/ui/Ui.h"

namespace console {

RadioGroup::RadioGroup(const QString& title, const std::vector<QString>& items, QWidget* parent)
    : QGroupBox(title, parent) {
    auto* layout = platform::MakeChild<QVBoxLayout>(this);
    for (const QString& text : items) {
        auto* button = platform::MakeChild<QRadioButton>(text, this);
        layout->addWidget(button);
        std::size_t index = buttons.size();
        connect(button, &QRadioButton::clicked, this, [this, index] { Click(static_cast<int>(index)); });
        buttons.push_back(button);
    }
    if (!buttons.empty()) buttons.front()->setChecked(true);
}

int RadioGroup::ItemIndex() const {
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

void RadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < static_cast<int>(buttons.size()))
        buttons[static_cast<std::size_t>(index)]->setChecked(true);
}

void RadioGroup::Click(int index) {
    SetItemIndex(index);
    if (OnClick) OnClick();
}

} // namespace console
