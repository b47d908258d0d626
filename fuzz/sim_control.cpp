// The simulated register's scenario commands, followed by short batches.
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
    Q710XReportData x{};
    s.Call<uint8_t>("GetDataXReport", &err, [&] { return s.GetDataXReport(&x, &err); });
    uint16_t receipts = 0, refunds = 0;
    uint32_t sum = 0, refundSum = 0;
    s.Call<uint8_t>("GetXReportByHours", &err,
                    [&] { return s.GetXReportByHours(0, &receipts, &refunds, &sum, &refundSum, &err); });
    uint8_t line[Q710_RAW_HOURLY_LINE_SIZE];
    for (int i = 0; i < 2; ++i)
        s.Call<uint8_t>("NextCommand", &err, [&] { return s.NextCommand(line, sizeof line - 1, &err); });
    return 0;
}
