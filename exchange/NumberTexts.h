// The one rule by which every import reads a price or quantity text (a
// workbook text cell, a CSV field, an XML attribute, a dBase field), goods
// and groups alike, so that the same text means the same number, or is
// refused, whatever file it came in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/RegionalSettings.h"

namespace exchange {

// The number of a text as the user's regional settings write it, in plain
// form: an optional '-', the digits and the regional decimal separator
// ("-1234,50" where it is a comma); empty when the text holds no number.
//
// Only the characters between the first and the last digit make the number:
// there the decimal separator marks the decimals (once), the thousands
// separator or a blank stands only before exactly three digits and never
// after a leading group of zeros, anything else (a letter of an exponent,
// another separator) makes no number: a price is never scaled by a power of
// ten. A decimal separator right before the digits makes them decimals.
// Before the digits, a '-' or a typographic minus (U+2212, U+2013) is the
// sign, and so are parentheses around the digits; after them, a decimal
// separator followed by a dash ("15,-") stands for no fraction, and one
// trailing decimal separator is dropped. Any other dash or minus-like
// character before the digits, and any sign or dash after them, makes no
// number: a negative is never read as a positive. What else stands before or
// after the number is a currency text and goes.
std::string NumberTextOf(std::u16string_view text,
                         const platform::RegionalSettings& rs = platform::Regional());

// The value of such a text; nothing when it holds no number (or one too
// large for a double).
std::optional<double> NumberTextValue(std::u16string_view text,
                                      const platform::RegionalSettings& rs = platform::Regional());

// NumberTextOf of an ANSI (Windows-1251) text.
std::string CleanNumberText(std::string_view text,
                            const platform::RegionalSettings& rs = platform::Regional());

} // namespace exchange
