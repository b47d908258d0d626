// The message of the library exception an action raises, for tests.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <functional>
#include <string>

inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const xls::XLSError& e) {
        return e.what();
    }
    return "(no exception)";
}
