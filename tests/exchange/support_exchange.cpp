#include "support_exchange.h"

#include <QApplication>
#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

namespace exchange_test {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "exchange_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        // Never destroyed: the keyboard that key events create is a global of
        // Qt's that goes before a static application would at exit.
        std::make_unique<QApplication>(argc, argv).release();
        QApplication::setQuitOnLastWindowClosed(false);
    }
}

void FakeProgress::SetMaximum(int32_t value) {
    maximum = value;
}

bool FakeProgress::Step() {
    ++steps;
    if (cancelAfter >= 0 && steps >= cancelAfter) state.JobCancelled = 1;
    return state.JobCancelled != 0;
}

void ResetSide() {
    exchange::JobSide& side = exchange::Side();
    side.Main = {};
    side.FormatIndex = exchange::FormatXml;
    side.GoodsDupCheck.clear();
    side.XmlDocument.reset();
    side.FileWritten = false;
}

Job::Job() {
    ResetSide();
}
Job::~Job() {
    ResetSide();
}

GoodsStruct Goods(uint16_t number, int32_t plu, int64_t barcode, const std::string& ansiName) {
    GoodsStruct g;
    g.number = number;
    g.plu = plu;
    g.barcode = barcode;
    g.group = 1;
    g.SetName(ansiName);
    return g;
}

RegionalProfile::RegionalProfile(const platform::RegionalSettings& settings)
    : previous(platform::Regional()) {
    platform::SetRegional(settings);
}
RegionalProfile::~RegionalProfile() {
    platform::SetRegional(previous);
}

platform::RegionalSettings UkrainianProfile() {
    platform::RegionalSettings rs;
    rs.decimalSeparator = ',';
    rs.thousandsSeparator = "\xA0";
    rs.currency = "\xE3\xF0\xED.";
    return rs;
}

platform::RegionalSettings DotProfile() {
    platform::RegionalSettings rs;
    rs.decimalSeparator = '.';
    rs.thousandsSeparator = ",";
    rs.currency = "$";
    rs.currencyFormat = 0;
    rs.negativeCurrencyFormat = 1;
    return rs;
}

namespace {

std::string BinDir() {
    const char* bin = std::getenv("Q710_BIN_DIR");
    return bin ? bin : ".";
}

} // namespace

std::string SimulatorControl(const std::string& commands) {
    using Control = int (*)(const char*, char*, int);
    static void* handle = nullptr;
    if (handle == nullptr)
        handle = dlopen((BinDir() + "/" + device::DeviceLibrary::FileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    auto control = handle ? reinterpret_cast<Control>(dlsym(handle, "Q710SimControl")) : nullptr;
    if (control == nullptr) return "no simulator";
    std::string reply(8192, '\0');
    EXPECT_EQ(control(commands.c_str(), reply.data(), static_cast<int>(reply.size())), 0) << commands;
    reply.resize(reply.find('\0'));
    return reply;
}

bool ConnectSimulator(console::ConsoleState& state, const std::string& commands) {
    // One scratch memory for the process, never the user's own.
    static ScratchDir memory;
    setenv("Q710_SIM_STATE", memory.File("state.bin").c_str(), 1);
    unsetenv("Q710_SIM_LOG");
    unsetenv("Q710_SIM_SCENARIO");
    std::string error;
    if (!state.Device.Loaded() && !state.Device.Load(BinDir(), error)) {
        ADD_FAILURE() << error;
        return false;
    }
    SimulatorControl("state-file " + memory.File("state.bin") + "\nreset\nlog off\n" + commands);
    const char* err = nullptr;
    if (state.Api().HostConnect(1, 9600, 20, 20, &err) == 0) {
        ADD_FAILURE() << device::DeviceText(err);
        return false;
    }
    return true;
}

} // namespace exchange_test
