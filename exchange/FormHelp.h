// The help key of the job side's windows: every control has help context 9.
#pragma once

class QWidget;

namespace exchange {

inline constexpr int JobHelpContext = 9;

// F1 in the window opens "HELP.chm" from the program's folder at context 9,
// or says "Допомога не знайдена!" when it cannot.
void InstallJobHelpKey(QWidget* window);
void JobHelpRequest();

} // namespace exchange
