// The program block: the twelve windows, created once in a fixed order, and
// the run of the message loop.
#pragma once

#include <memory>
#include <string>

#include "console/ConsoleState.h"
#include "console/Q710_Form.h"
#include "console/TAboutBox.h"
#include "console/TForm10.h"
#include "console/TForm11.h"
#include "console/TForm12.h"
#include "console/TForm13.h"
#include "console/TForm6.h"
#include "console/TForm7.h"
#include "console/TForm9.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "exchange/TForm8.h"

namespace console {

// In creation order; destroyed in the reverse order.
struct ConsoleWindows {
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm4> Form4;
    std::unique_ptr<TForm5> Form5;
    std::unique_ptr<TForm6> Form6;
    std::unique_ptr<TForm7> Form7;
    std::unique_ptr<TForm8> Form8;
    std::unique_ptr<TForm10> Form10;
    std::unique_ptr<TForm9> Form9;
    std::unique_ptr<TForm11> Form11;
    std::unique_ptr<TAboutBox> AboutBox;
    std::unique_ptr<TForm12> Form12;
    std::unique_ptr<TForm13> Form13;
};

class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Sets the application's title and help file and creates the windows,
    // the main window first. False when the main window could not start (the
    // user was told why); no other window is created then.
    bool Create();
    // Shows the main window and runs the message loop until it closes; then
    // the device library is unloaded. With a picture file named, the shown
    // window is saved there as PNG and closed (a check without a person).
    int Run(const std::string& pictureFile = {});

    ConsoleState state; // outlives the windows
    ConsoleWindows windows;

private:
    // The main window's hand-off to the export and import jobs.
    void ConnectExchange();
};

// The whole program: create, run, end. The exit code.
int RunProgram(const std::string& pictureFile = {});

} // namespace console
