#include "support_fakedevice.h"

#include <cassert>

namespace testing_console {
namespace {

FakeDevice* fake = nullptr;

void Log(std::string call) {
    fake->calls.push_back(std::move(call));
}

const char* Fail(const char** err, bool ok) {
    *err = ok ? "" : fake->errorText;
    return *err;
}

// Each state query takes the next answer (the last one repeats); the other
// modem queries of that poll see the same answer.
ModemAnswer NextAnswer() {
    if (!fake->modem.empty()) {
        fake->polled = fake->modem.front();
        if (fake->modem.size() > 1) fake->modem.pop_front();
    }
    return fake->polled;
}

ModemAnswer Current() {
    return fake->polled;
}

device::DeviceApi MakeApi() {
    device::DeviceApi api;
    api.SetAddressTransmitter = [](int32_t a) { Log("SetAddressTransmitter(" + std::to_string(a) + ")"); };
    api.SetAddressReceiver = [](int32_t a) { Log("SetAddressReceiver(" + std::to_string(a) + ")"); };
    api.HostConnect = [](uint8_t port, uint32_t baud, int32_t p3, int32_t p4, const char** err) -> int16_t {
        Log("HostConnect(" + std::to_string(port) + "," + std::to_string(baud) + "," + std::to_string(p3) +
            "," + std::to_string(p4) + ")");
        Fail(err, fake->hostConnect != 0);
        return fake->hostConnect;
    };
    api.MemoryFree = [](const char** err) -> uint8_t {
        Log("MemoryFree");
        Fail(err, fake->memoryFree == 0);
        return fake->memoryFree;
    };
    api.HostDisconnect = [] { Log("HostDisconnect"); };
    api.DisableRS485 = [] { Log("DisableRS485"); };
    api.RadarCreate = [] { Log("RadarCreate"); };
    api.RadarFree = [] { Log("RadarFree"); };
    api.PowerOff = [](const char** err) -> uint8_t {
        Log("PowerOff");
        Fail(err, fake->powerOff == 0);
        return fake->powerOff;
    };
    api.SetModemMaxAttempts = [](int32_t n, const char** err) -> int16_t {
        Log("SetModemMaxAttempts(" + std::to_string(n) + ")");
        Fail(err, fake->setMaxAttempts != 0);
        return fake->setMaxAttempts;
    };
    api.ModemDial = [](int16_t tone, int16_t reserved, int16_t choice, int16_t config, const char* phone,
                       const char** err) -> int16_t {
        Log("ModemDial(" + std::to_string(tone) + "," + std::to_string(reserved) + "," +
            std::to_string(choice) + "," + std::to_string(config) + "," + phone + ")");
        Fail(err, fake->modemDial != 0);
        return fake->modemDial;
    };
    api.ModemCancelCall = [](const char** err) -> int16_t {
        Log("ModemCancelCall");
        Fail(err, fake->cancelCall != 0);
        return fake->cancelCall;
    };
    api.GetModemDeviceName = [](const char** name, const char** err) -> int16_t {
        Log("GetModemDeviceName");
        *name = fake->modemName;
        Fail(err, fake->deviceNameOk != 0);
        return fake->deviceNameOk;
    };
    api.GetModemState = [](uint8_t* state, const char** err) -> int16_t {
        Log("GetModemState");
        *state = NextAnswer().state;
        Fail(err, fake->stateOk != 0);
        return fake->stateOk;
    };
    api.GetModemRetryWait = [](uint16_t* seconds, const char** err) -> int16_t {
        Log("GetModemRetryWait");
        *seconds = Current().retryWait;
        Fail(err, true);
        return 1;
    };
    api.GetModemCurrentAttempt = [](uint16_t* n, const char** err) -> int16_t {
        Log("GetModemCurrentAttempt");
        *n = Current().currentAttempt;
        Fail(err, true);
        return 1;
    };
    api.GetModemMaxAttempts = [](uint16_t* n, const char** err) -> int16_t {
        Log("GetModemMaxAttempts");
        *n = Current().maxAttempts;
        Fail(err, true);
        return 1;
    };
    return api;
}

} // namespace

FakeDevice::FakeDevice() {
    assert(fake == nullptr);
    fake = this;
}

FakeDevice::~FakeDevice() {
    fake = nullptr;
}

const device::DeviceApi& FakeDevice::Api() const {
    static const device::DeviceApi api = MakeApi();
    return api;
}

std::string FakeDevice::Calls() const {
    std::string joined;
    for (const auto& call : calls) joined += (joined.empty() ? "" : " ") + call;
    return joined;
}

} // namespace testing_console
