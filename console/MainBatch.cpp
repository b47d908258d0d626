#include "console/MainBatch.h"

#include <QLabel>
#include <QStackedWidget>

#include "console/ActionButton.h"
#include "console/Q710_Form.h"
#include "console/TQProgressBar.h"
#include "platform/ui/AnsiText.h"

namespace console {

int32_t BarDisplay::Maximum() const {
    return bar.Maximum();
}
void BarDisplay::SetMaximum(int32_t value) {
    bar.SetMaximum(value);
}
int32_t BarDisplay::Position() const {
    return bar.Position();
}
void BarDisplay::SetPosition(int32_t value) {
    bar.SetPosition(value);
}
std::string BarDisplay::Label() const {
    return platform::FromQString(label.text());
}
void BarDisplay::SetLabel(const std::string& text) {
    label.setText(platform::ToQString(text));
}

void MainBatchWindow::Repaint() {
    form.repaint();
}

void MainBatchWindow::ShowPage(int index) {
    form.PageControl1->setCurrentIndex(index);
}

void MainBatchWindow::Lock() {
    if (start != nullptr) {
        own = start->Action();
        start->SetAction(stop != nullptr ? stop : form.ActionGoodsStop);
    }
    form.DisableDeviceActions();
    form.HoldSessionEnd();
}

void MainBatchWindow::Unlock() {
    if (start != nullptr && own != nullptr) start->SetAction(own);
    form.ReleaseSessionEnd();
    form.RestoreDeviceActions();
}

} // namespace console
