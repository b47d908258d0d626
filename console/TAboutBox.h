// The about box: the program's name, version and the maker's notices.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

class QLabel;
class QPushButton;

namespace console {

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(ConsoleState& state, QWidget* parent = nullptr);

    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QPushButton* OKButton = nullptr;

private:
    ConsoleState& state;
};

} // namespace console
