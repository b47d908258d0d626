#include "console/FieldEdit.h"

#include <QLineEdit>

#include "console/MessageBoxes.h"
#include "platform/ui/AnsiText.h"

namespace console {

std::string TextOf(const QLineEdit* edit) {
    return platform::FromQString(edit->text());
}

bool ApplyCheck(QLineEdit* edit, const FieldCheck& check, const char* message) {
    edit->setText(platform::ToQString(check.text));
    if (check.refused) ShowErrorText(platform::Ansi(message));
    return !check.refused;
}

} // namespace console
