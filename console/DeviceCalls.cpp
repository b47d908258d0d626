#include "console/DeviceCalls.h"

#include <QAction>

#include "console/ActionButton.h"
#include "console/MessageBoxes.h"
#include "device/DeviceLibrary.h"
#include "platform/ui/AnsiText.h"

namespace console {

WaitCaption::WaitCaption(ActionButton* button) : button(button) {
    button->setText(platform::UiText("Зачекайте!"));
    button->repaint();
}

WaitCaption::~WaitCaption() {
    Restore();
}

void WaitCaption::Restore() {
    if (button == nullptr) return;
    button->setText(button->Action()->text());
    button->repaint();
    button = nullptr;
}

bool Succeeded(uint8_t status, const char* const* err) {
    if (status == Q710_OK) return true;
    ShowErrorText(device::DeviceText(*err));
    return false;
}

} // namespace console
