#include "exchange/FormHelp.h"

#include <QShortcut>
#include <QWidget>

#include "platform/CodePages.h"
#include "platform/ui/Ui.h"

namespace exchange {

void JobHelpRequest() {
    if (!platform::ShowHelp(platform::ProgramFile("HELP.chm"), JobHelpContext))
        platform::ShowMessage(platform::Utf8ToAnsi("Допомога не знайдена!"));
}

void InstallJobHelpKey(QWidget* window) {
    auto* key = platform::MakeChild<QShortcut>(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, [] { JobHelpRequest(); });
}

} // namespace exchange
