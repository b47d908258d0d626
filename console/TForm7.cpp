#include "console/TForm7.h"

namespace console {

TForm7::TForm7(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm7");
    setWindowTitle(QString::fromUtf8("Звіт по критичним залишкам"));
}

} // namespace console
