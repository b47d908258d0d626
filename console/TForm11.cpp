#include "console/TForm11.h"

namespace console {

TForm11::TForm11(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm11");
    setWindowTitle(QString::fromUtf8("Отчёт по диапазону кодов"));
}

} // namespace console
