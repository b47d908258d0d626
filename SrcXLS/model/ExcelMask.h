// Number format masks: a format text parsed into up to four sections of
// tokens (positive, negative, zero, text) and numbers rendered through them.
#pragma once

#include "SrcXLS/XLSLocale.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

// The shortest general text of a number (15 significant digits).
std::u16string FloatToGeneralText(double value, char16_t decimalSeparator);
// A number shown in the general format, as spreadsheet programs show it:
// 15 significant digits, plain from 1E-9 up to 1E15 (whole numbers up to
// 2^53), else with an exponent of at least three digits ("1E+020") or, below
// one, two ("1E-10").
std::u16string ShownGeneralText(double value, char16_t decimalSeparator);
// The same into out, reusing its storage.
void ShownGeneralTextTo(double value, char16_t decimalSeparator, std::u16string& out);

enum TMaskTokenKind : uint8_t {
    mtkText = 0, // @, and the exponent mark E+ / E-
    mtkLiteral = 1,
    mtkString = 2,
    mtkDigitOpt = 3,   // #
    mtkDigitSpace = 4, // ?
    mtkDigitZero = 5,  // 0
    mtkYear2 = 6,
    mtkYear4 = 7,
    mtkMonth = 8, // 8..12: m, mm, mmm, mmmm, mmmmm
    mtkDay = 13,  // 13..16: d, dd, ddd, dddd
    mtkHour = 17,
    mtkHour2 = 18,
    mtkHour12 = 19,
    mtkHour12x2 = 20,
    mtkElapsedHours = 21,
    mtkMinute = 22,
    mtkMinute2 = 23,
    mtkElapsedMinutes = 24,
    mtkSecond = 25,
    mtkSecond2 = 26,
    mtkElapsedSeconds = 27,
    mtkAMPM = 28,
    mtkampm = 29,
    mtkAP = 30,
    mtkDecimalPoint = 31,
    mtkPercent = 32,
    mtkNumberStart = 33,
    mtkThreeSpaces = 34,
    mtkComma = 35,       // a comma: separators in numbers, itself in dates
    mtkGeneral = 36,     // "General" in any letter case
    mtkFractionBar = 37, // the '/' of a fraction
    mtkDenominator = 38, // a fixed denominator (its digits in Str)
};

enum TMaskSectionFlags : uint8_t {
    msfText = 1,
    msfThousands = 2,
    msfDecimalPoint = 4,
    msfPercent = 8,
    msfExponent = 16,
    msfDateTime = 32,
    msfZero = 64,
    msfFraction = 128,
};

// A section's condition ("[>100]"); mcNone for the usual sign rules.
enum TMaskCondition : uint8_t { mcNone, mcLess, mcGreater, mcEqual, mcLessEqual, mcGreaterEqual, mcNotEqual };

struct TMaskToken {
    uint8_t Kind = mtkLiteral;
    char16_t Ch = 0;
    std::u16string Str;
};

struct TMaskSection {
    std::vector<TMaskToken> Tokens;
    uint32_t Color = 0; // 0x00BBGGRR
    uint8_t Flags = 0;
    int Decimals = 0;
    int DecimalPos = -1;
    int TrailingCommas = 0;
    int ExponentDigits = 0; // digit placeholders after E+ or E-
    TMaskCondition Condition = mcNone;
    double ConditionValue = 0;
    bool Matches(double value) const;
};

class TExcelMask {
public:
    // Raises for a text longer than 255 characters.
    void SetMask(std::u16string_view text);
    const std::u16string& Mask() const { return mask; }
    const TMaskSection* Section(int i) const { return sections[i].get(); }

    std::u16string FormatValue(double value) const;
    std::u16string FormatByteSize(double value) const;
    // A text value through the text section; without one the text itself.
    bool HasTextSection() const { return TextSection() != nullptr; }
    std::u16string FormatText(std::u16string_view text) const;

    // Dates count from 1904-01-01 (the 1904 date system), not from 1900.
    bool Date1904 = false;

    // Separators and names: those of the language the format names, else the
    // locale set, else the library's.
    const TXLSLocale& Locale() const;
    void SetLocale(const TXLSLocale* locale) { this->locale = locale; }

private:
    // The section that shows the value, and whether it shows it without its sign.
    const TMaskSection* Choose(double value, bool& unsigned_) const;
    // The first section when it holds '@', else the fourth.
    const TMaskSection* TextSection() const;
    std::u16string RenderText(const TMaskSection& s, std::u16string_view text) const;
    std::u16string Render(const TMaskSection* section, double value) const;
    std::u16string RenderNumber(const TMaskSection& s, double value) const;
    std::u16string RenderExponent(const TMaskSection& s, double value) const;
    std::u16string RenderFraction(const TMaskSection& s, double value) const;
    std::u16string RenderDateTime(const TMaskSection& s, double value) const;

    std::u16string mask;
    std::array<std::unique_ptr<TMaskSection>, 4> sections;
    const TXLSLocale* locale = nullptr;
    // The language the first section names ("[$-422]"), when one is held.
    const TXLSLocale* language = nullptr;
};

} // namespace xls
