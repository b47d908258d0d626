#include "console/Settings.h"

#include <algorithm>

#include "console/Connection.h"
#include "console/Guarded.h"

namespace console {
namespace {

constexpr const char* kGeneral = "GENERAL";
constexpr const char* kRemote = "REMOTE CONNECTION";
constexpr const char* kCsv = "CSV";

int AddressOr(const std::string& text, int fallback) {
    try {
        return IntegerValue(text);
    } catch (const ConsoleError&) {
        return fallback;
    }
}

} // namespace

StoredSettings ReadSettings(const platform::IniFile& ini) {
    StoredSettings stored;
    ConnectionSettings& c = stored.connection;

    std::string port = ini.ReadString(kGeneral, "PORT", "COM1");
    for (int i = 0; i < 8; ++i)
        if (platform::SameTextAnsi(port, "COM" + std::to_string(i + 1))) c.portIndex = i;
    int baud = ini.ReadInteger(kGeneral, "BAUD RATE", 4800);
    for (int i = 0; i < int(BaudRates.size()); ++i)
        if (baud == int(BaudRates[i])) c.baudIndex = i;
    // The spin buttons hold the addresses within their ranges.
    c.pcAddress = std::to_string(std::clamp(ini.ReadInteger(kGeneral, "ADDR(PC)", 1), 1, 255));
    int ecr = std::clamp(ini.ReadInteger(kGeneral, "ADDR(ECR)", 0), 0, 255);
    c.ecrAddress = std::to_string(ecr);
    stored.ecrAddress = static_cast<uint8_t>(ecr == 0 ? 2 : ecr);
    c.netMode = ini.ReadBool(kGeneral, "NET MODE", false);

    c.dialMode = ini.ReadBool(kRemote, "DIAL MODE", false);
    c.selectDevice = ini.ReadBool(kRemote, "SELECT DEVICE", false);
    c.configDevice = ini.ReadBool(kRemote, "CONFIG DEVICE", false);
    c.phone = ini.ReadString(kRemote, "PHONE", "");
    int attempts = ini.ReadInteger(kRemote, "ATTEMTS", 3);
    // Outside the list the default holds, so a dial never meets an empty choice.
    c.attemptsIndex = (attempts >= 1 && attempts <= 10 ? attempts : 3) - 1;

    std::string delim = ini.ReadString(kCsv, "DELIM", ";");
    stored.csv.Delimiter = delim == "," ? ',' : delim == "TAB" ? '\t' : ';';
    stored.csv.Cp866 = ini.ReadBool(kCsv, "CP866", false);
    stored.csv.Quotes = ini.ReadBool(kCsv, "Quotes", false);
    stored.csv.LRBlanks = ini.ReadBool(kCsv, "LRBlanks", false);
    stored.csv.IgnoreEmptyLines = ini.ReadBool(kCsv, "IgnoreEmptyLines", true);
    return stored;
}

void WriteSettings(platform::IniFile& ini, const ConnectionSettings& c) {
    ini.WriteString(kGeneral, "PORT", "COM" + std::to_string(PortOfIndex(c.portIndex)));
    if (c.baudIndex >= 0 && c.baudIndex < int(BaudRates.size()))
        ini.WriteInteger(kGeneral, "BAUD RATE", int(BaudRates[c.baudIndex]));
    ini.WriteInteger(kGeneral, "ADDR(PC)", AddressOr(c.pcAddress, 1));
    ini.WriteInteger(kGeneral, "ADDR(ECR)", AddressOr(c.ecrAddress, 0));
    ini.WriteBool(kGeneral, "NET MODE", c.netMode);
    ini.WriteBool(kRemote, "DIAL MODE", c.dialMode);
    ini.WriteBool(kRemote, "SELECT DEVICE", c.selectDevice);
    ini.WriteBool(kRemote, "CONFIG DEVICE", c.configDevice);
    ini.WriteString(kRemote, "PHONE", c.phone);
    ini.WriteInteger(kRemote, "ATTEMTS",
                     c.attemptsIndex >= 0 && c.attemptsIndex <= 9 ? c.attemptsIndex + 1 : 3);
}

} // namespace console
