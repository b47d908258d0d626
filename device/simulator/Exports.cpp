// The exported functions of the simulated register.
#include <type_traits>

#include "device/Q710Api.h"

#define Q710_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

template <class R> R Unsupported() {
    if constexpr (!std::is_void_v<R>) return R(0xFF);
}

} // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define Q710_STUB(ret, name, params)                                                                         \
    Q710_EXPORT ret Q710_CALL name params {                                                                  \
        return Unsupported<ret>();                                                                           \
    }
Q710_DEVICE_FUNCTIONS(Q710_STUB)
#undef Q710_STUB
#pragma GCC diagnostic pop
