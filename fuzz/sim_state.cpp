// The simulated register's state file image.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/simulator/RegisterMemory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::RegisterMemory memory = sim::RegisterMemory::Demo(0);
    if (memory.Deserialize(std::vector<uint8_t>(data, data + size))) {
        const std::vector<uint8_t> again = memory.Serialize();
        sim::RegisterMemory copy = sim::RegisterMemory::Demo(0);
        if (!copy.Deserialize(again) || copy.Serialize() != again) __builtin_trap();
    }
    return 0;
}
