// The simulated register's scenario commands, followed by a short batch.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/simulator/Simulator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);
    // Commands that name files stay out: the fuzzer must not write anywhere.
    if (script.find("log") != std::string::npos || script.find("state-file") != std::string::npos) return 0;
    sim::Simulator s(sim::Simulator::Options{});
    std::string reply;
    s.RunScript(script, reply);
    const char* err = nullptr;
    s.Call<int16_t>("HostConnect", &err, [&] { return s.HostConnect(1, 9600, 20, 20, &err); });
    Q710GoodsData first{};
    s.Call<uint8_t>("GetGoodsByNumber", &err, [&] { return s.GetGoodsByNumber(0, 0, &first, &err); });
    uint8_t buffer[Q710_RAW_GOODS_SIZE];
    for (int i = 0; i < 4; ++i)
        s.Call<uint8_t>("NextCommand", &err, [&] { return s.NextCommand(buffer, sizeof buffer - 1, &err); });
    return 0;
}
