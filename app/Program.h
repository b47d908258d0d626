// The program block: the twelve windows, created once in a fixed order, and
// the run of the message loop.
#pragma once

#include <memory>
#include <string>

#include "console/ConsoleState.h"
#include "console/ConsoleWindows.h"
#include "exchange/TForm12.h"
#include "exchange/TForm13.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "exchange/TForm8.h"

namespace app {

// Every window of the program; the exchange side's windows beside the
// console's. Created in the fixed order, destroyed in the reverse order.
struct ProgramWindows : console::ConsoleWindows {
    std::unique_ptr<exchange::TForm4> Form4;
    std::unique_ptr<exchange::TForm5> Form5;
    std::unique_ptr<exchange::TForm8> Form8;
    std::unique_ptr<exchange::TForm12> Form12;
    std::unique_ptr<exchange::TForm13> Form13;
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

    console::ConsoleState state; // outlives the windows
    ProgramWindows windows;

private:
    // The main window's hand-off to the export and import jobs.
    void ConnectExchange();
};

// The whole program: create, run, end. The exit code.
int RunProgram(const std::string& pictureFile = {});

} // namespace app
