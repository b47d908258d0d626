// What the job side's windows share: the help key (every control has help
// context 9), the fixed dialog frame, named buttons.
#pragma once

class QDialog;
class QPushButton;
class QWidget;

namespace exchange {

inline constexpr int JobHelpContext = 9;

// F1 in the window opens "HELP.chm" from the program's folder at context 9,
// or says "Допомога не знайдена!" when it cannot.
void InstallJobHelpKey(QWidget* window);
void JobHelpRequest();

// Single border, title with the system menu only.
void SetFixedDialogFrame(QDialog& dialog);
// A push button with its object name and caption (UTF-8).
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption);

} // namespace exchange
