// Program-wide state of the register console and the exchange side: plain
// flags on the one user-interface thread, owned by the program block and
// handed to every window.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "device/DeviceLibrary.h"

namespace console {

// The job handed from the main window to the export/import job window.
struct MakeMetodRecord {
    uint8_t OperationKind = 0; // 1..10
    std::string FileName;      // ANSI
    uint8_t Done = 0;
    uint32_t Reserved = 0;
};

// CSV settings read at start-up from the settings file.
struct CsvOptionsRecord {
    char Delimiter = ';';
    bool Cp866 = false;
    bool Quotes = false;
    bool LRBlanks = false;
    bool IgnoreEmptyLines = true;
};

struct StopFlags {
    uint8_t Goods = 0;  // set by ActionGoodsStop
    uint8_t Groups = 0; // set by ActionGroupsStop
};

struct ConsoleState {
    device::DeviceLibrary Device; // loaded while the main window is created
    uint8_t EcrAddress = 0;       // register address kept while network mode is off
    uint8_t DirectSession = 0;
    uint8_t ModemSession = 0;
    uint8_t Busy = 0;    // a long register operation runs
    uint8_t Closing = 0; // the main window was asked to close
    StopFlags StopRequested;
    uint8_t DialogAccepted = 0; // the format choice or an option dialog was confirmed
    uint8_t JobCancelled = 0;   // the job window's cancel button
    MakeMetodRecord MakeMetod;
    // What the last export changed of the register's texts in its file
    // (ANSI), told after its success; empty when it changed nothing.
    std::string ExportChanges;
    CsvOptionsRecord CsvOptions;
    std::array<Q710DiscountGroupRecord, 15> DiscountGroups{}; // group n in entry n - 1

    // Hands the operation kind in MakeMetod to the exchange side (format
    // choice, then the job window); true when the job wrote or read its file.
    // The program block connects it; tests put a stand-in here.
    std::function<bool(ConsoleState&)> RunExchangeJob;

    const device::DeviceApi& Api() const { return Device.Api(); }
};

} // namespace console
