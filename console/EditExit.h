// Runs a check when the user leaves an edit for another control of the same
// window (not when the window itself loses the focus).
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "console/NumberText.h"

class QFocusEvent;
class QLineEdit;
class QWidget;

namespace console {

class EditExit : public QObject {
public:
    EditExit(QWidget* edit, std::function<void()> check);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> check;
    bool running = false; // a message box of the check takes the focus too
};

// Whether a focus loss moves to another control of the same window.
bool LeavesForAnotherControl(const QFocusEvent& event);

// Installs the check on the edit; the edit owns it.
void OnExit(QWidget* edit, std::function<void()> check);

// Runs a check on the edit's text as leaving it does: a refused text shows
// the message (ANSI) first, then the edit shows the checked text. False when
// the text was refused, so an action about to use it can stop.
bool ApplyFieldCheck(QLineEdit* edit, FieldCheck (*check)(const std::string&), const std::string& message);

} // namespace console
