#include "console/TForm4.h"

namespace console {

TForm4::TForm4(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm4");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(314, 119);
}

} // namespace console
