// Context help of the windows: controls, pages, menu entries and actions carry
// a help context; the help key opens "HELP.chm" from the program's folder at
// the context of the focused control (or its nearest parent that has one).
#pragma once

#include <cstdint>
#include <string>

class QObject;
class QWidget;
class QMenuBar;

namespace console {

inline constexpr const char* HelpFileName = "HELP.chm";

void SetHelpContext(QObject* object, int context);
int HelpContextOf(const QObject* object);
// The first non-zero help context from the control up through its parents; 0: none.
int ControlHelpContext(const QWidget* control);
// The help context of the menu bar's highlighted entry; 0: none.
int MenuHelpContext(const QMenuBar* menu);

// Opens the help file at a context; when it cannot be shown, shows failText
// (ANSI) as a plain message.
void ShowContextHelp(uint32_t context, const std::string& failText);
std::string HelpNotFoundText();

// The help key of a window: the highlighted menu entry, else the focused
// control, decides the context; with none nothing happens.
void HelpRequest(QWidget* window, const std::string& failText);
// Makes the help key of the window run HelpRequest.
void InstallHelpKey(QWidget* window, const std::string& failText);
// The help key of a window without a handler of its own: the application's
// help file at the focused control's context, nothing shown when it fails.
void InstallDefaultHelpKey(QWidget* window);

} // namespace console
