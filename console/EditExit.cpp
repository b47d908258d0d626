#include "console/EditExit.h"

#include <QFocusEvent>
#include <QWidget>

#include "platform/ui/Ui.h"

namespace console {

EditExit::EditExit(QWidget* edit, ExitCheck check) : QObject(edit), check(std::move(check)) {
    edit->installEventFilter(this);
}

bool EditExit::Run() {
    if (running) return true;
    running = true;
    bool accepted = check();
    running = false;
    return accepted;
}

bool EditExit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && LeavesForAnotherControl(*static_cast<QFocusEvent*>(event)))
        Run();
    return QObject::eventFilter(watched, event);
}

bool LeavesForAnotherControl(const QFocusEvent& event) {
    return event.reason() != Qt::ActiveWindowFocusReason && event.reason() != Qt::PopupFocusReason;
}

void InstallExit(QWidget* edit, ExitCheck check) {
    platform::MakeChild<EditExit>(edit, std::move(check));
}

bool CheckFocusedField(const QWidget* window) {
    QWidget* focus = window->focusWidget();
    if (focus == nullptr || !focus->isEnabled()) return true;
    for (QObject* child : focus->children())
        if (auto* exit = dynamic_cast<EditExit*>(child)) return exit->Run();
    return true;
}

} // namespace console
