#include "console/FieldEdit.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "console/MessageBoxes.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {

std::string TextOf(const QLineEdit* edit) {
    return platform::FromQString(edit->text());
}

bool ApplyCheck(QLineEdit* edit, const FieldCheck& check, const char* message) {
    edit->setText(platform::ToQString(check.text));
    if (check.refused) ShowErrorText(platform::Ansi(message));
    return !check.refused;
}

void LimitTyping(QLineEdit* edit, int typed, int shown) {
    edit->setMaxLength(shown);
    edit->setValidator(platform::MakeChild<QRegularExpressionValidator>(
        QRegularExpression(QStringLiteral("^.{0,%1}$").arg(typed)), edit));
}

} // namespace console
