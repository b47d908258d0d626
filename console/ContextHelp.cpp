#include "console/ContextHelp.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QShortcut>
#include <QVariant>
#include <QWidget>
#include <functional>

#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

constexpr const char* kProperty = "helpContext";

// Runs `request` when the help key is pressed anywhere in the window.
void OnHelpKey(QWidget* window, std::function<void()> request) {
    auto* key = platform::MakeChild<QShortcut>(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, std::move(request));
}

} // namespace

void SetHelpContext(QObject* object, int context) {
    object->setProperty(kProperty, context);
}

int HelpContextOf(const QObject* object) {
    return object == nullptr ? 0 : object->property(kProperty).toInt();
}

int ControlHelpContext(const QWidget* control) {
    for (const QWidget* w = control; w != nullptr; w = w->parentWidget())
        if (int context = HelpContextOf(w); context != 0) return context;
    return 0;
}

int MenuHelpContext(const QMenuBar* menu) {
    if (menu == nullptr) return 0;
    return HelpContextOf(menu->activeAction());
}

std::string HelpNotFoundText() {
    return platform::Ansi("Допомога не знайдена!");
}

void ShowContextHelp(uint32_t context, const std::string& failText) {
    if (!platform::ShowHelp(platform::ProgramFile(HelpFileName), context)) platform::ShowMessage(failText);
}

void HelpRequest(QWidget* window, const std::string& failText) {
    int context = 0;
    if (auto* main = qobject_cast<QMainWindow*>(window); main != nullptr && main->menuWidget() != nullptr)
        context = MenuHelpContext(qobject_cast<QMenuBar*>(main->menuWidget()));
    if (context == 0) {
        QWidget* focused = window->focusWidget();
        context = ControlHelpContext(focused != nullptr ? focused : window);
    }
    if (context != 0) ShowContextHelp(static_cast<uint32_t>(context), failText);
}

void InstallHelpKey(QWidget* window, const std::string& failText) {
    OnHelpKey(window, [window, failText] { HelpRequest(window, failText); });
}

void InstallDefaultHelpKey(QWidget* window) {
    OnHelpKey(window, [window] {
        QWidget* focused = window->focusWidget();
        int context = ControlHelpContext(focused != nullptr ? focused : window);
        platform::ShowHelp(platform::ApplicationHelpFile(), static_cast<uint32_t>(context));
    });
}

} // namespace console
