#include "console/TForm6.h"

namespace console {

TForm6::TForm6(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm6");
    setWindowTitle(QString::fromUtf8("Опції денного звіту по всім товарам"));
}

} // namespace console
