// A titled group of radio buttons with one selected item, and a handler run
// when the user clicks an item.
#pragma once

#include <QGroupBox>
#include <functional>
#include <vector>

class QRadioButton;

namespace console {

class RadioGroup : public QGroupBox {
public:
    RadioGroup(const QString& title, const std::vector<QString>& items, QWidget* parent = nullptr);
    int ItemIndex() const;
    // Selects an item without running the click handler.
    void SetItemIndex(int index);
    // Selects an item as a click does.
    void Click(int index);
    QRadioButton* Item(int index) const { return buttons.at(static_cast<std::size_t>(index)); }
    std::function<void()> OnClick;

private:
    std::vector<QRadioButton*> buttons;
};

} // namespace console
