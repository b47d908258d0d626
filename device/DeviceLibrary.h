// Binds the register's device library at run time: the file beside the
// program, all 62 functions looked up by name before anything is called.
#pragma once

#include <string>

#include "device/Q710Api.h"

namespace device {

// One pointer per library function, named as the function.
struct DeviceApi {
#define Q710_API_MEMBER(ret, name, params) Q710_##name##_t name = nullptr;
    Q710_DEVICE_FUNCTIONS(Q710_API_MEMBER)
#undef Q710_API_MEMBER
};

class DeviceLibrary {
public:
    static constexpr const char* FileName = "Q710_201.so";

    DeviceLibrary() = default;
    ~DeviceLibrary();
    DeviceLibrary(const DeviceLibrary&) = delete;
    DeviceLibrary& operator=(const DeviceLibrary&) = delete;

    // Opens FileName in the folder and binds every function. On failure
    // nothing stays loaded and errorText names the file (and the function).
    bool Load(const std::string& folder, std::string& errorText);
    void Unload();
    bool Loaded() const { return handle_ != nullptr; }
    const DeviceApi& Api() const { return api_; }

private:
    void* handle_ = nullptr;
    DeviceApi api_;
};

// A text handed out by the library; null reads as empty, at most 1024 bytes.
std::string DeviceText(const char* p);

} // namespace device
