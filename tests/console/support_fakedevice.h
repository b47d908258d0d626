// An in-process stand-in for the connection and modem functions of the
// device library: scripted answers and a log of the calls.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"

namespace testing_console {

struct ModemAnswer {
    uint8_t state = 0;
    uint16_t retryWait = 0;
    uint16_t currentAttempt = 1;
    uint16_t maxAttempts = 3;
};

struct FakeDevice {
    std::vector<std::string> calls;
    int16_t hostConnect = 1;
    uint8_t memoryFree = 0;
    uint8_t powerOff = 0;
    int16_t setMaxAttempts = 1;
    int16_t modemDial = 1;
    int16_t cancelCall = 1;
    int16_t deviceNameOk = 1;
    int16_t stateOk = 1;
    const char* errorText = ""; // handed out by failing calls (may be null)
    const char* modemName = "USR 56K";
    std::deque<ModemAnswer> modem; // one answer per state query; the last one repeats
    ModemAnswer polled;

    // The device in use by the function table; set by the constructor.
    FakeDevice();
    ~FakeDevice();
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    const device::DeviceApi& Api() const;
    std::string Calls() const; // joined with blanks
};

} // namespace testing_console
