#include "console/TForm5.h"

namespace console {

TForm5::TForm5(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm5");
    setWindowTitle(QString::fromUtf8("Вибір формату"));
}

} // namespace console
