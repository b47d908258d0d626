#include "console/TForm8.h"

namespace console {

TForm8::TForm8(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm8");
    setWindowTitle(QString::fromUtf8("Настройки CSV"));
}

} // namespace console
