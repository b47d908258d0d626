// Reads arbitrary bytes as a settings file, then writes a key and erases a section and checks the results.
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = platform::TempFolder() + "/fuzz_ini_" + std::to_string(getpid()) + ".ini";
    std::string bytes(reinterpret_cast<const char*>(data), size);
    platform::WriteFileAtomic(path, bytes);
    platform::IniFile ini(path);
    (void)ini.ReadString("GENERAL", "PORT", "COM1");
    const std::string baud = ini.ReadString("GENERAL", "BAUD RATE", "none");
    (void)ini.ReadBool("CSV", "Quotes", false);
    (void)ini.SectionExists("REMOTE CONNECTION");
    ini.WriteString("CSV", "DELIM", "TAB");
    if (ini.ReadString("CSV", "DELIM", "") != "TAB") std::abort();
    if (ini.ReadString("GENERAL", "BAUD RATE", "none") != baud) std::abort(); // other keys keep their values
    ini.EraseSection("CSV");
    if (ini.SectionExists("CSV")) std::abort();
    unlink(path.c_str());
    return 0;
}
