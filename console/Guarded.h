// Errors that end a handler and are shown the way the application shows an
// uncaught error: the message in a box with the application title.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace console {

// A failure whose text (ANSI) is shown as it is, e.g. the device library's
// error text or a number that does not convert.
class ConsoleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Shows an error that ended a handler: error icon, OK, application title.
void ShowError(const std::exception& error);

// Runs a handler; an error it raises is shown and the handler ends there.
template <class F> void Guarded(F&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

} // namespace console
