// The console's own message boxes: task-modal, the icon and buttons of their
// kind, captions in the program's language. Texts are ANSI.
#pragma once

#include <string>

#include "platform/ui/Ui.h"

namespace console {

inline constexpr unsigned ErrorBox = platform::MbTaskModal | platform::MbIconError;
inline constexpr unsigned InfoBox = platform::MbTaskModal | platform::MbIconInformation;
inline constexpr unsigned QuestionBox = platform::MbTaskModal | platform::MbIconQuestion | platform::MbYesNo;
inline constexpr unsigned WarningQuestionBox =
    platform::MbTaskModal | platform::MbIconWarning | platform::MbYesNo;
inline constexpr unsigned RetryBox = platform::MbTaskModal | platform::MbIconError | platform::MbRetryCancel;

// "Помилка" and "Повідомлення".
std::string ErrorCaption();
std::string InfoCaption();

// The text in an error box, or an information box, with its caption.
void ShowErrorText(const std::string& text);
void ShowInfoText(const std::string& text);
// "Експорт даних завершено!", then what the export changed in its file, if
// anything; `changes` is cleared.
void ShowExportDone(std::string& changes);

} // namespace console
