#include "exchange/FormParts.h"

#include <QDialog>
#include <QPushButton>
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

void SetFixedDialogFrame(QDialog& dialog) {
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = platform::MakeChild<QPushButton>(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    return button;
}

} // namespace exchange
