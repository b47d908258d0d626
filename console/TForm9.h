// The fast keys dialog.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

namespace console {

class TForm9 : public QDialog {
public:
    explicit TForm9(ConsoleState& state, QWidget* parent = nullptr);

private:
    ConsoleState& state;
};

} // namespace console
