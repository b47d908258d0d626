// Errors that end a handler and are shown the way the application shows an
// uncaught error. Exception texts are UTF-8 everywhere (the register's and
// the files' 8-bit texts are converted where they are thrown); they become
// the message box's 8-bit text only here, where a box shows them.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace console {

// A failure whose text (UTF-8) is shown as it is, e.g. the device library's
// error text or a number that does not convert.
class ConsoleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How an error that ended a handler is shown.
enum class ErrorShown {
    AsUncaught, // error icon, OK, the application title as caption
    InErrorBox, // the program's own error box: caption "Помилка", task-modal
};

void ShowError(const std::exception& error, ErrorShown how = ErrorShown::AsUncaught);

// Runs a handler; an error it raises is shown and the handler ends there.
// True when it ran through.
template <class F> bool Guarded(F&& handler, ErrorShown how = ErrorShown::AsUncaught) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        ShowError(error, how);
    } catch (...) {
        ShowError(ConsoleError("Невідома помилка"), how);
    }
    return false;
}

} // namespace console
