#include "console/MessageBoxes.h"

#include "platform/ui/AnsiText.h"

namespace console {

std::string ErrorCaption() {
    return platform::Ansi("Помилка");
}

std::string InfoCaption() {
    return platform::Ansi("Повідомлення");
}

void ShowErrorText(const std::string& text) {
    platform::MessageBox(text, ErrorCaption(), ErrorBox);
}

void ShowInfoText(const std::string& text) {
    platform::MessageBox(text, InfoCaption(), InfoBox);
}

void ShowExportDone(std::string& changes) {
    ShowInfoText(platform::Ansi("Експорт даних завершено!"));
    if (!changes.empty()) ShowInfoText(changes);
    changes.clear();
}

} // namespace console
