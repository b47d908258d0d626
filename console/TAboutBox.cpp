#include "console/TAboutBox.h"

namespace console {

TAboutBox::TAboutBox(ConsoleState& state, QWidget* parent) : QDialog(parent), state(state) {
    setObjectName("TAboutBox");
    setWindowTitle(QString::fromUtf8("Про програму"));
}

} // namespace console
