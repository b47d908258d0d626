#include "console/EditExit.h"

#include <QFocusEvent>
#include <QWidget>

#include "platform/ui/Ui.h"

namespace console {

EditExit::EditExit(QWidget* edit, std::function<void()> check) : QObject(edit), check(std::move(check)) {
    edit->installEventFilter(this);
}

bool EditExit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !running) {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            running = true;
            check();
            running = false;
        }
    }
    return QObject::eventFilter(watched, event);
}

void OnExit(QWidget* edit, std::function<void()> check) {
    platform::MakeChild<EditExit>(edit, std::move(check));
}

} // namespace console
