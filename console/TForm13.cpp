#include "console/TForm13.h"

namespace console {

TForm13::TForm13(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm13");
    setWindowTitle(QString::fromUtf8("Електронний журнал"));
}

} // namespace console
