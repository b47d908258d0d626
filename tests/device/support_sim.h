// Helpers of the simulator tests: a simulator in a fresh scratch folder,
// connected directly, and little-endian reads of raw record bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "device/simulator/Simulator.h"
#include "support_files.h"

namespace simtest {

inline uint64_t Le(const uint8_t* bytes, int offset, int size) {
    uint64_t v = 0;
    for (int i = 0; i < size; ++i) v |= static_cast<uint64_t>(bytes[offset + i]) << (8 * i);
    return v;
}

inline std::unique_ptr<sim::Simulator> MakeSimulator(const testfiles::ScratchDir& folder,
                                                     const std::string& log = "") {
    sim::Simulator::Options options;
    options.statePath = folder.File("state.bin");
    options.logPath = log;
    return std::make_unique<sim::Simulator>(options);
}

inline void Connect(sim::Simulator& s) {
    const char* err = nullptr;
    ASSERT_NE(s.HostConnect(1, 9600, 20, 20, &err), 0);
    ASSERT_EQ(s.MemoryFree(&err), 0);
}

inline void Command(sim::Simulator& s, const std::string& command) {
    std::string reply;
    ASSERT_TRUE(s.Control(command, reply)) << command << ": " << reply;
}

} // namespace simtest

#include <dlfcn.h>

#include "device/DeviceLibrary.h"

namespace simtest {

using ControlFn = int (*)(const char*, char*, int);

// The built simulator loaded as the program loads it, with its memory in a
// temporary folder and reset before every test.
class SimLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<testfiles::ScratchDir>();
        setenv("Q710_SIM_STATE", folder_->File("state.bin").c_str(), 1);
        unsetenv("Q710_SIM_LOG");
        unsetenv("Q710_SIM_SCENARIO");
        library_ = std::make_unique<device::DeviceLibrary>();
        std::string error;
        const char* bin = std::getenv("Q710_BIN_DIR");
        ASSERT_TRUE(library_->Load(bin ? bin : "", error)) << error;
        // A second reference to the same module, for the control function.
        handle_ = dlopen((std::string(bin ? bin : ".") + "/" + device::DeviceLibrary::FileName).c_str(),
                         RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr);
        control_ = reinterpret_cast<ControlFn>(dlsym(handle_, "Q710SimControl"));
        ASSERT_NE(control_, nullptr);
    }
    static void TearDownTestSuite() {
        if (handle_) dlclose(handle_);
        library_.reset();
        folder_.reset();
    }
    void SetUp() override {
        ASSERT_NE(control_, nullptr);
        Ctl("state-file " + folder_->File("state.bin") + "\nreset\nlog off");
    }
    const device::DeviceApi& Api() const { return library_->Api(); }
    // Runs control commands; fails the test when one is refused.
    std::string Ctl(const std::string& commands) {
        char reply[8192];
        const int rc = control_(commands.c_str(), reply, sizeof reply);
        EXPECT_EQ(rc, 0) << commands << ": " << reply;
        return reply;
    }
    void ConnectDirect() {
        const char* err = nullptr;
        ASSERT_NE(Api().HostConnect(1, 9600, 20, 20, &err), 0) << device::DeviceText(err);
        ASSERT_EQ(Api().MemoryFree(&err), 0);
    }
    static inline std::unique_ptr<testfiles::ScratchDir> folder_;
    static inline std::unique_ptr<device::DeviceLibrary> library_;
    static inline void* handle_ = nullptr;
    static inline ControlFn control_ = nullptr;
};

} // namespace simtest
