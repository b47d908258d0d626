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

} // namespace console
