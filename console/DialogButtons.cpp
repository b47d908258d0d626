#include "console/DialogButtons.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "platform/ui/Ui.h"

namespace console {

QHBoxLayout* AddButtonRow(QBoxLayout* column) {
    auto* row = platform::MakeChild<QHBoxLayout>();
    row->addStretch();
    column->addLayout(row);
    return row;
}

QPushButton* AddDialogButton(QWidget* parent, QBoxLayout* row, const char* name, const QString& text,
                             std::function<void()> click) {
    auto* button = platform::MakeChild<QPushButton>(text, parent);
    button->setObjectName(name);
    row->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, parent, std::move(click));
    return button;
}

} // namespace console
