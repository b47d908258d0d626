// The connection settings kept in "Q710b.ini" beside the program: read once
// while the main window is created, written back when it closes.
#pragma once

#include <cstdint>
#include <string>

#include "console/ConsoleState.h"
#include "platform/IniFile.h"

namespace console {

inline constexpr const char* SettingsFileName = "Q710b.ini";

// What the connection pages show. Addresses are the texts of their edits.
struct ConnectionSettings {
    int portIndex = 0; // COM1..COM8
    int baudIndex = 0; // 4800, 9600, 19200, 38400; -1 none
    std::string pcAddress = "1";
    std::string ecrAddress = "0";
    bool netMode = false;
    bool dialMode = false; // tone dialling
    bool selectDevice = false;
    bool configDevice = false;
    std::string phone;     // ANSI
    int attemptsIndex = 2; // "1".."10"
};

struct StoredSettings {
    ConnectionSettings connection;
    uint8_t ecrAddress = 2; // the register address kept while network mode is off
    CsvOptionsRecord csv;
};

// A missing file, section or key, and values the lists do not hold, read as
// the defaults.
StoredSettings ReadSettings(const platform::IniFile& ini);
// Writes GENERAL and REMOTE CONNECTION, every key even when an address text
// is not a number (its default is written); a file that cannot be written
// raises platform::IniError.
void WriteSettings(platform::IniFile& ini, const ConnectionSettings& settings);

} // namespace console
