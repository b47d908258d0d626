// The about box dialog.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

namespace console {

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(ConsoleState& state, QWidget* parent = nullptr);

private:
    ConsoleState& state;
};

} // namespace console
