// Reads arbitrary bytes as "\Discount.ini": either the whole table converts or the load is refused with the
// conversion message. A table that loaded is saved and loaded again, and from then on saving gives the same
// file.
#include "console/DiscountGroups.h"
#include "console/Guarded.h"
#include "console/UInt64Lib.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Saving syncs every file it writes: in memory that costs nothing.
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : platform::TempFolder();
    static const std::string base = folder + "/fuzz_discount_" + std::to_string(getpid());
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        (void)console::StrToUInt64(bytes);
    } catch (const console::UInt64Error&) {
    }
    platform::WriteFileAtomic(base + "a.ini", bytes);
    try {
        console::DiscountGroupTable table =
            console::LoadDiscountGroups(platform::IniFile(base + "a.ini"), 45292.0, 45657.0);
        platform::IniFile second(base + "b.ini");
        console::SaveDiscountGroups(second, table, nullptr);
        console::DiscountGroupTable again = console::LoadDiscountGroups(second, 1.0, 1.0);
        platform::IniFile third(base + "c.ini");
        console::SaveDiscountGroups(third, again, nullptr);
        if (platform::ReadWholeFile(base + "b.ini") != platform::ReadWholeFile(base + "c.ini")) std::abort();
    } catch (const console::ConsoleError&) {
    }
    for (const char* name : {"a.ini", "b.ini", "c.ini"}) unlink((base + name).c_str());
    return 0;
}
