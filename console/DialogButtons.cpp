#include "console/DialogButtons.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "console/EditExit.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

QPushButton* MakeButton(QWidget* parent, QBoxLayout* row, const char* name, const QString& text) {
    auto* button = platform::MakeChild<QPushButton>(text, parent);
    button->setObjectName(name);
    row->addWidget(button);
    return button;
}

} // namespace

QHBoxLayout* AddButtonRow(QBoxLayout* column) {
    auto* row = platform::MakeChild<QHBoxLayout>();
    row->addStretch();
    column->addLayout(row);
    return row;
}

QPushButton* AddDialogButton(QWidget* parent, QBoxLayout* row, const char* name, const QString& text,
                             std::function<void()> click) {
    QPushButton* button = MakeButton(parent, row, name, text);
    QObject::connect(button, &QPushButton::clicked, parent, std::move(click));
    return button;
}

QPushButton* AddConfirmButton(QWidget* dialog, QBoxLayout* row, const char* name, const QString& text,
                              std::function<void()> click) {
    QPushButton* button = MakeButton(dialog, row, name, text);
    button->setDefault(true);
    ConnectConfirm(button, dialog, std::move(click));
    return button;
}

void ConnectConfirm(QPushButton* button, QWidget* dialog, std::function<void()> click) {
    QObject::connect(button, &QPushButton::clicked, dialog, [dialog, click = std::move(click)] {
        if (CheckFocusedField(dialog)) click();
    });
}

void NoDefaultButton(QWidget* dialog) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) button->setAutoDefault(false);
}

} // namespace console
