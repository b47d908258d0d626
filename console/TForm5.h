// The format choice dialog.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

namespace console {

class TForm5 : public QDialog {
public:
    explicit TForm5(ConsoleState& state, QWidget* parent = nullptr);

private:
    ConsoleState& state;
};

} // namespace console
