// The button row at the foot of a dialog: buttons named after their control,
// right-aligned, each running its handler when clicked.
#pragma once

#include <QString>
#include <functional>

class QBoxLayout;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace console {

// A right-aligned row added to the dialog's column.
QHBoxLayout* AddButtonRow(QBoxLayout* column);
QPushButton* AddDialogButton(QWidget* parent, QBoxLayout* row, const char* name, const QString& text,
                             std::function<void()> click);

// The dialog's default button, the one Enter presses. Its handler runs only
// after the exit check of the field that has the focus accepted the text, so
// no stale or unnormalised value is taken; a refusal keeps the dialog open.
QPushButton* AddConfirmButton(QWidget* dialog, QBoxLayout* row, const char* name, const QString& text,
                              std::function<void()> click);
// The same rule for a button made elsewhere.
void ConnectConfirm(QPushButton* button, QWidget* dialog, std::function<void()> click);

// A dialog without a default button: Qt would make its first button the
// default, and Enter typed in any field would press it (send a key sequence,
// read over what the user set). Called once its buttons exist.
void NoDefaultButton(QWidget* dialog);

} // namespace console
