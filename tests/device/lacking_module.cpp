// Exports every device function but GetFastCode, which is renamed away.
#include "device/Q710Api.h"

#define GetFastCode GetFastCode_absent

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define Q710_STUB(ret, name, params)                                                                         \
    extern "C" __attribute__((visibility("default"))) ret name params {                                      \
        return ret();                                                                                        \
    }
Q710_DEVICE_FUNCTIONS(Q710_STUB)
#undef Q710_STUB
#pragma GCC diagnostic pop
