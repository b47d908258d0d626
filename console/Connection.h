// Opening and closing register sessions, directly over a serial port or by a
// modem call, without any window: the main window's handlers read their
// controls, call these and show the outcome. Texts are ANSI.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "device/DeviceLibrary.h"

namespace console {

// The rates of the baud rate list, in its order.
inline constexpr std::array<uint32_t, 4> BaudRates = {4800, 9600, 19200, 38400};

// Serial port 1..8 of the port list's item (any other item: 1) and the baud
// rate of the rate list's item (none: 9600).
uint8_t PortOfIndex(int itemIndex);
uint32_t BaudOfIndex(int itemIndex);

// The integer value of a text (blanks around it and a sign allowed); a text
// that is not a 32-bit integer raises ConsoleError.
int32_t IntegerValue(const std::string& text);

struct DirectLink {
    int32_t pcAddress = 1;
    int32_t ecrAddress = 0;
    uint8_t port = 1;
    uint32_t baud = 4800;
};
enum class DirectResult { Connected, ConnectFailed, NoLink };
struct DirectOutcome {
    DirectResult result = DirectResult::ConnectFailed;
    std::string errorText; // the library's text when the port did not open
};
// Sets the addresses, opens the port and checks that the register answers;
// a register that does not answer gets its port closed again.
DirectOutcome OpenDirectSession(const device::DeviceApi& api, const DirectLink& link);
std::string DirectStatusText(const std::string& portText, const std::string& baudText);
std::string ConnectingStatusText();
std::string NoLinkText();

struct ModemCall {
    int32_t attempts = 3;
    bool tone = false;
    bool showChoice = false;
    bool showConfig = false;
    std::string phone;
};
// Prepares the library for a modem call and dials; a refusal raises
// ConsoleError with the library's text.
void StartModemCall(const device::DeviceApi& api, const ModemCall& call);

enum class ModemPollKind { Status, Connected, GiveUp, Unchanged };
struct ModemPoll {
    ModemPollKind kind = ModemPollKind::Unchanged;
    std::string status; // the status bar text for Status and Connected
};
// One look at the modem; a failing query raises ConsoleError.
ModemPoll PollModem(const device::DeviceApi& api, const std::string& phone);
// Hangs up; a refusal raises ConsoleError and the call stays as it was.
void CancelModemCall(const device::DeviceApi& api);

// The check of an address edit when it is left.
enum class AddressEdit { Pc, Ecr };
struct AddressCheck {
    std::string text;     // the text the edit gets
    std::string message;  // an error to show, or empty
    bool refocus = false; // the edit takes the focus again
};
AddressCheck CheckAddress(AddressEdit edit, const std::string& text, const std::string& otherText);

// Asks, switches the register off and reports the outcome.
void ConfirmPowerOff(const device::DeviceApi& api);

} // namespace console
