// Runs a check when the user leaves an edit for another control of the same
// window (not when the window itself loses the focus).
#pragma once

#include <QObject>
#include <functional>

class QFocusEvent;
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

} // namespace console
