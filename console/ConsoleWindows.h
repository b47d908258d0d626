// The console's own windows, created by the program block in their fixed
// order; the main window reaches the dialogs it shows through them.
#pragma once

#include <QDialog>
#include <memory>

#include "console/Q710_Form.h"
#include "console/TAboutBox.h"
#include "console/TForm10.h"
#include "console/TForm11.h"
#include "console/TForm6.h"
#include "console/TForm7.h"
#include "console/TForm9.h"

namespace console {

struct ConsoleWindows {
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm6> Form6;
    std::unique_ptr<TForm7> Form7;
    std::unique_ptr<TForm10> Form10;
    std::unique_ptr<TForm9> Form9;
    std::unique_ptr<TForm11> Form11;
    std::unique_ptr<TAboutBox> AboutBox;
    // The exchange side's journal dialogs (TForm12, TForm13), which the
    // program block creates and points these at.
    QDialog* JournalOptionsDialog = nullptr;
    QDialog* JournalDialog = nullptr;
};

} // namespace console
