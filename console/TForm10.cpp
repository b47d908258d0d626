#include "console/TForm10.h"

namespace console {

TForm10::TForm10(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm10");
    setWindowTitle(QString::fromUtf8("Формування послідовності команд"));
}

} // namespace console
