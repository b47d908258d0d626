#include "console/TForm12.h"

namespace console {

TForm12::TForm12(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TForm12");
    setWindowTitle(QString::fromUtf8("Опції формування електронного журнала"));
}

} // namespace console
