#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "device/DeviceLibrary.h"

namespace {

std::string BinDir() {
    const char* dir = std::getenv("Q710_BIN_DIR");
    return dir ? dir : "";
}

TEST(DeviceLibrary, BindsEveryFunctionOfTheSimulator) {
    device::DeviceLibrary library;
    std::string error = "stale";
    ASSERT_TRUE(library.Load(BinDir(), error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(library.Loaded());
    int bound = 0;
#define Q710_COUNT_BOUND(ret, name, params) bound += library.Api().name != nullptr ? 1 : 0;
    Q710_DEVICE_FUNCTIONS(Q710_COUNT_BOUND)
#undef Q710_COUNT_BOUND
    EXPECT_EQ(bound, 62);
    library.Unload();
    library.Unload();
    EXPECT_FALSE(library.Loaded());
    EXPECT_EQ(library.Api().HostConnect, nullptr);
    // A second load after unloading works as the first.
    ASSERT_TRUE(library.Load(BinDir() + "/", error)) << error;
}

TEST(DeviceLibrary, RefusesALibraryLackingAFunction) {
    device::DeviceLibrary library;
    std::string error;
    EXPECT_FALSE(library.Load(Q710_LACKING_MODULE_DIR, error));
    EXPECT_FALSE(library.Loaded());
    EXPECT_EQ(error, std::string("У бібліотеці ЕККА ") + Q710_LACKING_MODULE_DIR +
                         "/Q710_201.so немає функції GetFastCode");
    EXPECT_EQ(library.Api().HostConnect, nullptr);
}

TEST(DeviceLibrary, RefusesAMissingFile) {
    device::DeviceLibrary library;
    std::string error;
    EXPECT_FALSE(library.Load("/nonexistent-folder-q710", error));
    EXPECT_FALSE(library.Loaded());
    // Our sentence, the system's own reason after it.
    EXPECT_EQ(
        error.rfind("Не вдається завантажити бібліотеку ЕККА /nonexistent-folder-q710/Q710_201.so: ", 0), 0u)
        << error;
}

TEST(DeviceText, NullEmptyAndBounded) {
    EXPECT_EQ(device::DeviceText(nullptr), "");
    EXPECT_EQ(device::DeviceText("\xCF\xF0\xE8"), "\xCF\xF0\xE8");
    // A text without a terminator within the bound is cut there; the guard
    // byte after the bound is never reached.
    std::string unterminated(2000, 'a');
    unterminated[1024] = 'X';
    std::string text = device::DeviceText(unterminated.data());
    EXPECT_EQ(text.size(), 1024u);
    EXPECT_EQ(text.find('X'), std::string::npos);
}

} // namespace
