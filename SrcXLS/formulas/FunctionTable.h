// The built-in function table shared by the formula encoder, decoder and
// evaluator: argument ranges, names and argument classes by function number.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace xls {

constexpr int ExcelFunctionCount = 381;
// MaxArgs of a function with any number of arguments the token can hold.
constexpr uint8_t VariableArgs = 99;
// MinArgs and MaxArgs of a function that cannot be used in formulas.
constexpr uint8_t RefusedFunction = 255;

// Function numbers of the table that the formula code names.
namespace fn {
constexpr int Count = 0;
constexpr int If = 1;
constexpr int IsNA = 2;
constexpr int IsError = 3;
constexpr int Sum = 4;
constexpr int Average = 5;
constexpr int Min = 6;
constexpr int Max = 7;
constexpr int Row = 8;
constexpr int Column = 9;
constexpr int NA = 10;
constexpr int Npv = 11;
constexpr int StDev = 12;
constexpr int Dollar = 13;
constexpr int Fixed = 14;
constexpr int Sin = 15;
constexpr int Cos = 16;
constexpr int Tan = 17;
constexpr int Atan = 18;
constexpr int Pi = 19;
constexpr int Sqrt = 20;
constexpr int Exp = 21;
constexpr int Ln = 22;
constexpr int Log10 = 23;
constexpr int Abs = 24;
constexpr int Int = 25;
constexpr int Sign = 26;
constexpr int Round = 27;
constexpr int Lookup = 28;
constexpr int True = 34;
constexpr int False = 35;
constexpr int And = 36;
constexpr int Or = 37;
constexpr int Not = 38;
constexpr int Mod = 39;
constexpr int IsNumber = 128;
// The number a variable-count call carries for a function that is not in
// the table (add-in, macro or newer function): its name comes as the first
// argument.
constexpr int External = 255;
constexpr int Concatenate = 336;
constexpr int GetPivotData = 358;
} // namespace fn

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

// Whether a file of the version holds the function numbered number called
// with count arguments: the function came with that version or before, and
// took that many arguments there. why, when given, says what the version
// lacks. Commands of macro sheets and calls through names (fn::External)
// are none of the table's: the callers judge them.
bool FunctionInVersion(int number, int count, TExcelVersion version, std::string* why = nullptr);

} // namespace xls
