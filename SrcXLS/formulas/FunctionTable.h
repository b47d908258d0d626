// The built-in function table shared by the formula encoder, decoder and
// evaluator: argument ranges, names and argument classes by function number.
#pragma once

#include <cstdint>
#include <string_view>

namespace xls {

constexpr int ExcelFunctionCount = 381;
// MaxArgs of a function with any number of arguments the token can hold.
constexpr uint8_t VariableArgs = 99;
// MinArgs and MaxArgs of a function that cannot be used in formulas.
constexpr uint8_t RefusedFunction = 255;

struct TExcelFunctions {
    uint8_t MinArgs;
    uint8_t MaxArgs;
    const char16_t* Name; // upper case, as written in formula text
    // Token classes of the arguments at positions 1-6: 0x20 reference,
    // 0x40 value, 0x60 array; 0 keeps the class of the position before.
    uint8_t Classes[6];

    bool Refused() const { return MinArgs == RefusedFunction; }
    bool FixedArity() const { return MinArgs == MaxArgs; }
};

// index 0..ExcelFunctionCount-1.
const TExcelFunctions& ExcelFunction(int index);
// The number of the function with this upper-case name, -1 when none.
int FindExcelFunction(std::u16string_view upperName);
// The class of the argument at 0-based position: the last non-zero class
// among the positions up to it (0 when none: the encoder's defaults).
uint8_t ArgumentClass(const TExcelFunctions& f, int position);

} // namespace xls
