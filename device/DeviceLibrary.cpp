#include "device/DeviceLibrary.h"

#include <dlfcn.h>

#include <type_traits>

namespace device {

namespace {

constexpr std::size_t MaxDeviceText = 1024;

std::string JoinPath(const std::string& folder, const char* file) {
    if (folder.empty()) return std::string("./") + file;
    if (folder.back() == '/') return folder + file;
    return folder + "/" + file;
}

} // namespace

DeviceLibrary::~DeviceLibrary() {
    Unload();
}

bool DeviceLibrary::Load(const std::string& folder, std::string& errorText) {
    Unload();
    const std::string path = JoinPath(folder, FileName);
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        errorText = "Не вдається завантажити бібліотеку ЕККА " + path;
        if (reason != nullptr) errorText += ": " + DeviceText(reason);
        return false;
    }
    std::string missing;
    auto bind = [&](auto& slot, const char* name) {
        if (!missing.empty()) return;
        void* symbol = dlsym(handle_, name);
        if (symbol == nullptr) {
            missing = name;
            return;
        }
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
    };
#define Q710_BIND(ret, name, params) bind(api_.name, #name);
    Q710_DEVICE_FUNCTIONS(Q710_BIND)
#undef Q710_BIND
    if (!missing.empty()) {
        Unload();
        errorText = "У бібліотеці ЕККА " + path + " немає функції " + missing;
        return false;
    }
    errorText.clear();
    return true;
}

void DeviceLibrary::Unload() {
    api_ = DeviceApi{};
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

std::string DeviceText(const char* p) {
    if (p == nullptr) return {};
    // Byte by byte, so nothing past the terminator is touched; a text
    // without one is cut at the bound.
    std::size_t length = 0;
    while (length < MaxDeviceText && p[length] != '\0') ++length;
    return std::string(p, length);
}

} // namespace device
