// Unsigned 64-bit integers as decimal text, and back from decimal or
// hexadecimal text: the register's discount-card codes and journal values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console/Guarded.h"

namespace console {

// The conversion error of StrToUInt64: "'<text>' is not a valid UInt64 value"
// with the whole input as given (ANSI, shown as it is).
class UInt64Error : public ConsoleError {
public:
    using ConsoleError::ConsoleError;
};

// The whole text as a value: leading blanks (spaces only) and one "+" may
// come first; decimal digits, or hexadecimal ones after "$", "0x" or "0X".
// Anything else, an empty text and a value beyond 64 bits raise UInt64Error.
// A zero character ends the text.
uint64_t StrToUInt64(std::string_view text);

// The decimal form without leading zeros, "0" for zero.
std::string UInt64ToStr(uint64_t value);

} // namespace console
