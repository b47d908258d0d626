// An edit's text and a field check's outcome in its edit, for the pages of
// the main window.
#pragma once

#include <string>

#include "console/ReportOptions.h"

class QLineEdit;

namespace console {

// The edit's text (ANSI).
std::string TextOf(const QLineEdit* edit);

// The checked text goes back into the edit; the message (UTF-8) is shown in
// an error box when the check refused the text. True when it did not.
bool ApplyCheck(QLineEdit* edit, const FieldCheck& check, const char* message);

// The user types at most `typed` characters, while a text the program puts in
// keeps up to `shown` (Qt's own limit would cut a value set from the register
// or a file, and the cut value would be sent back).
void LimitTyping(QLineEdit* edit, int typed, int shown);

} // namespace console
