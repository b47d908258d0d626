// The CSV settings dialog.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

namespace console {

class TForm8 : public QDialog {
public:
    explicit TForm8(ConsoleState& state, QWidget* parent = nullptr);

private:
    ConsoleState& state;
};

} // namespace console
