// Conversions between formula values as spreadsheet programs make them:
// values to numbers, booleans and texts, comparisons, and the regional
// texts of numbers and money amounts.
#pragma once

#include "SrcXLS/XLSValues.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform {
struct RegionalSettings;
}

namespace xls {

// Error indexes of the values formulas give.
namespace fe {
constexpr int Null = 1;
constexpr int Div0 = 2;
constexpr int Value = 3;
constexpr int Ref = 4;
constexpr int Name = 5;
constexpr int Num = 6;
constexpr int NA = 7;
} // namespace fe

// A number from a text as a formula operand reads it: blanks around it
// allowed, the regional decimal separator, thousands separators between
// groups of three digits, an exponent, or a money amount in the regional
// form; nothing for any other text.
std::optional<double> TextToNumber(std::u16string_view text);

// The text of a number as the General number format shows it (15
// significant digits, an exponent from 1E+015 on or below 1E-9), with the
// regional decimal separator: the one text of a number made into a text.
std::u16string NumberText(double value);
// The text of a scalar value: numbers as NumberText, booleans as the
// library's TRUE/FALSE texts, errors as their text, empty as "".
std::u16string ValueText(const TFormulaValue& v);

// A scalar value as a number for an operator or function argument: numbers
// as they are, booleans 1/0, empty 0, texts that read as numbers; else the
// error index (an error value's own, #VALUE! for other texts).
int ValueToNumber(const TFormulaValue& v, double& out);
// A scalar as a condition: numbers not 0, booleans, empty FALSE, the texts
// TRUE and FALSE in any letter case; else the error index.
int ValueToBoolean(const TFormulaValue& v, bool& out);

// Whether two numbers are equal as spreadsheet programs compare them: they
// agree to 15 significant digits, so that 0.1+0.2 equals 0.3.
bool NearlyEqual(double a, double b);
// a + b and a - b as spreadsheet programs compute them: a sum or difference
// that cancels its operands to within 15 significant digits is 0.
double CancellingAdd(double a, double b);
double CancellingSubtract(double a, double b);

// Orders two scalars as comparisons do: numbers before texts before
// booleans, numbers as NearlyEqual takes them, texts without regard to
// letter case, empty as 0, "" or FALSE.
int CompareScalars(const TFormulaValue& a, const TFormulaValue& b);

// value rounded to digits decimals (negative: tens, hundreds...), halves
// away from zero on the decimal value the double stands for.
double RoundHalfAway(double value, int digits);

// FIXED: decimals after the regional separator (negative: rounded to tens
// and so on), the regional thousands separator unless noGroups.
std::u16string FixedText(double value, int decimals, bool noGroups, const platform::RegionalSettings& rs);
// DOLLAR: the regional money format with decimals after the separator.
std::u16string MoneyText(double value, int decimals, const platform::RegionalSettings& rs);

} // namespace xls
