#include "console/TForm9.h"

namespace console {

TForm9::TForm9(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm9");
    setWindowTitle(QString::fromUtf8("Програмування клавіш швидкого доступу"));
}

} // namespace console
