// The options of the report by all goods dialog.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

namespace console {

class TForm6 : public QDialog {
public:
    explicit TForm6(ConsoleState& state, QWidget* parent = nullptr);

private:
    ConsoleState& state;
};

} // namespace console
