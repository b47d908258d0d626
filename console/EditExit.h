// Runs a check when the user leaves an edit for another control of the same
// window (not when the window itself loses the focus). Enter and the default
// button confirm a dialog without leaving the edit, so a confirming button
// runs the focused edit's check itself first (CheckFocusedField).
#pragma once

#include <QObject>
#include <functional>
#include <type_traits>

class QFocusEvent;
class QWidget;

namespace console {

// A field check: false when it refused the text (it has told the user and
// put its fallback text in).
using ExitCheck = std::function<bool()>;

class EditExit : public QObject {
public:
    EditExit(QWidget* edit, ExitCheck check);

    // Runs the check unless it is already running; true when it accepted.
    bool Run();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ExitCheck check;
    bool running = false; // a message box of the check takes the focus too
};

// Whether a focus loss moves to another control of the same window.
bool LeavesForAnotherControl(const QFocusEvent& event);

// Installs the check on the edit; the edit owns it.
void InstallExit(QWidget* edit, ExitCheck check);

// As InstallExit; a check that returns nothing never refuses.
template <class F> void OnExit(QWidget* edit, F check) {
    if constexpr (std::is_void_v<std::invoke_result_t<F&>>)
        InstallExit(edit, [check = std::move(check)]() mutable {
            check();
            return true;
        });
    else
        InstallExit(edit, ExitCheck(std::move(check)));
}

// Runs the exit check of the edit that has the focus in `window`, as leaving
// it would; true when there is none or it accepted the text.
bool CheckFocusedField(const QWidget* window);

} // namespace console
