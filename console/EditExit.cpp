#include "console/EditExit.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QWidget>

#include "console/MessageBoxes.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {

EditExit::EditExit(QWidget* edit, std::function<void()> check) : QObject(edit), check(std::move(check)) {
    edit->installEventFilter(this);
}

bool EditExit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !running &&
        LeavesForAnotherControl(*static_cast<QFocusEvent*>(event))) {
        running = true;
        check();
        running = false;
    }
    return QObject::eventFilter(watched, event);
}

bool LeavesForAnotherControl(const QFocusEvent& event) {
    return event.reason() != Qt::ActiveWindowFocusReason && event.reason() != Qt::PopupFocusReason;
}

void OnExit(QWidget* edit, std::function<void()> check) {
    platform::MakeChild<EditExit>(edit, std::move(check));
}

bool ApplyFieldCheck(QLineEdit* edit, FieldCheck (*check)(const std::string&), const std::string& message) {
    FieldCheck result = check(platform::FromQString(edit->text()));
    if (result.refused) ShowErrorText(message);
    edit->setText(platform::ToQString(result.text));
    return !result.refused;
}

} // namespace console
