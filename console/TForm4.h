// The export/import job window dialog.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

namespace console {

class TForm4 : public QDialog {
public:
    explicit TForm4(ConsoleState& state, QWidget* parent = nullptr);

private:
    ConsoleState& state;
};

} // namespace console
