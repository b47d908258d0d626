#include "SrcXLS/XLSValues.h"

#include "SrcXLS/XLSText.h"

#include <array>
#include <cmath>
#include <cstring>

namespace xls {

namespace {
constexpr std::array<std::u16string_view, ErrorIndexCount> displayTexts = {
    u"[int] No error value", u"#NULL!", u"#DIV/0!", u"#VALUE!", u"#REF!", u"#NAME?", u"#NUM!", u"N/A"};
constexpr std::array<std::u16string_view, ErrorIndexCount> fileTexts = {
    u"[int] No error value", u"#NULL!", u"#DIV/0!", u"#VALUE!", u"#REF!", u"#NAME?", u"#NUM!", u"#N/A"};
constexpr std::array<uint8_t, ErrorIndexCount> errorCodes = {0x2A, 0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};

uint64_t Bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}
} // namespace

std::u16string_view ErrorDisplayText(int index) {
    return index >= 0 && index < ErrorIndexCount ? displayTexts[index] : displayTexts[0];
}
std::u16string_view ErrorFileText(int index) {
    return index >= 0 && index < ErrorIndexCount ? fileTexts[index] : fileTexts[0];
}

int ErrorCodeToIndex(uint8_t code) {
    for (int i = 1; i < ErrorIndexCount; ++i)
        if (errorCodes[i] == code) return i;
    return 0;
}

std::u16string ErrorCodeToText(uint8_t code) {
    int i = ErrorCodeToIndex(code);
    return i ? std::u16string(displayTexts[i]) : u"#???";
}

uint8_t ErrorIndexToCode(int index) {
    index &= 0x7F;
    return index >= 1 && index < 7 ? errorCodes[index] : 0x2A;
}

int ErrorTextToIndex(std::u16string_view text, bool useFileTable) {
    const auto& table = useFileTable ? fileTexts : displayTexts;
    for (int i = 1; i < ErrorIndexCount; ++i)
        if (table[i] == text) return i;
    return 0;
}

void SetFormulaValueEmpty(TFormulaValue& v) {
    v.ValType = fvNull;
}
void SetFormulaValueFloat(TFormulaValue& v, double value) {
    v.ValType = fvFloat;
    v.Float = value;
}
void SetFormulaValueBoolean(TFormulaValue& v, bool value) {
    v.ValType = fvBoolean;
    v.Boolean = value;
}
void SetFormulaValueError(TFormulaValue& v, int errorIndex) {
    v.ValType = fvError;
    v.Error = uint8_t(errorIndex);
}
void SetFormulaValueString(TFormulaValue& v, std::u16string_view text) {
    v.ValType = fvString;
    v.Text = text;
}
void SetFormulaValueRef(TFormulaValue& v, int col, int row) {
    v.ValType = fvRef;
    v.Col1 = v.Col2 = uint16_t(col);
    v.Row1 = v.Row2 = uint32_t(row);
}
void SetFormulaValueArea(TFormulaValue& v, int col1, int row1, int col2, int row2) {
    v.ValType = fvArea;
    v.Col1 = uint16_t(col1);
    v.Row1 = uint32_t(row1);
    v.Col2 = uint16_t(col2);
    v.Row2 = uint32_t(row2);
}
void SetFormulaValueXRef(TFormulaValue& v, int col, int row, int sheet) {
    SetFormulaValueRef(v, col, row);
    v.ValType = fvXRef;
    v.Sheet = uint16_t(sheet);
}
void SetFormulaValueXArea(TFormulaValue& v, int col1, int row1, int col2, int row2, int sheet) {
    SetFormulaValueArea(v, col1, row1, col2, row2);
    v.ValType = fvXArea;
    v.Sheet = uint16_t(sheet);
}

std::u16string FormulaValueAsString(const TFormulaValue& v) {
    return v.ValType == fvString ? v.Text : std::u16string();
}

bool CompareFormulaValues(const TFormulaValue& a, const TFormulaValue& b, double& result) {
    if (a.ValType != b.ValType || a.ValType == fvError) return false;
    switch (a.ValType) {
    case fvFloat:
        result = a.Float - b.Float;
        return true;
    case fvBoolean:
        result = a.Boolean == b.Boolean ? 1 : 0;
        return true;
    case fvString: {
        int c = UpperCaseWide(a.Text).compare(UpperCaseWide(b.Text));
        result = c < 0 ? -1 : c > 0 ? 1 : 0;
        return true;
    }
    case fvNull:
        return true;
    default:
        throw XLSError("Illegal value in comparision");
    }
}

int64_t FormulaValueCellCount(const TFormulaValue& v) {
    if (v.ValType != fvArea && v.ValType != fvXArea) return 1;
    return (int64_t(v.Col2) - v.Col1 + 1) * (int64_t(v.Row2) - v.Row1 + 1);
}

double DecodeRK(uint32_t rk) {
    double d;
    if (rk & 2) {
        d = double(int32_t(rk) >> 2);
    } else {
        uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, 8);
    }
    return (rk & 1) ? d / 100 : d;
}

bool EncodeRK(double value, uint32_t& rk) {
    if (!std::isfinite(value)) return false;
    for (uint32_t flag = 0; flag < 2; ++flag) {
        double x = flag ? value * 100 : value;
        uint64_t b = Bits(x);
        uint32_t candidate;
        if ((b & 0x3FFFFFFFFull) == 0) {
            candidate = uint32_t(b >> 32) | flag;
        } else if (x == std::floor(x) && x >= -536870912.0 && x <= 536870911.0) {
            candidate = (uint32_t(int32_t(x)) << 2) | 2u | flag;
        } else {
            continue;
        }
        // Only forms that give back the very same double (a ×100 form may not).
        if (Bits(DecodeRK(candidate)) == Bits(value)) {
            rk = candidate;
            return true;
        }
    }
    return false;
}

} // namespace xls
