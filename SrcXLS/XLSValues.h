// Values every part of the workbook shares: error codes and their texts,
// the formula value record and RK numbers.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace xls {

// Error index 1..7 in memory; BIFF codes only at the file's edge.
constexpr int ErrorIndexCount = 8;
constexpr int ErrorIndexNum = 6;                 // #NUM!
std::u16string_view ErrorDisplayText(int index); // 7 is "N/A"
std::u16string_view ErrorFileText(int index);    // 7 is "#N/A"

std::u16string ErrorCodeToText(uint8_t code); // "#???" for unknown codes
int ErrorCodeToIndex(uint8_t code);           // 0 for unknown codes
uint8_t ErrorIndexToCode(int index);          // 0x2A for 0, 7 and above
int ErrorTextToIndex(std::u16string_view text, bool useFileTable);

enum TFormulaValueType : uint8_t {
    fvFloat = 0,
    fvBoolean = 1,
    fvError = 2,
    fvString = 3,
    fvRef = 4,
    fvArea = 5,
    fvXRef = 6,
    fvXArea = 7,
    fvNull = 8,
};

// The value of a formula or a cell. Rows are 32-bit so that references into
// 2007 sheets (rows above 65535) keep their row.
struct TFormulaValue {
    std::u16string Text;
    TFormulaValueType ValType = fvNull;
    bool Boolean = false;
    uint8_t Error = 0;
    double Float = 0;
    uint16_t Col1 = 0, Col2 = 0;
    uint32_t Row1 = 0, Row2 = 0;
    uint16_t Sheet = 0;
};

void SetFormulaValueEmpty(TFormulaValue& v);
void SetFormulaValueFloat(TFormulaValue& v, double value);
void SetFormulaValueBoolean(TFormulaValue& v, bool value);
void SetFormulaValueError(TFormulaValue& v, int errorIndex);
void SetFormulaValueString(TFormulaValue& v, std::u16string_view text);
void SetFormulaValueRef(TFormulaValue& v, int col, int row);
void SetFormulaValueArea(TFormulaValue& v, int col1, int row1, int col2, int row2);
void SetFormulaValueXRef(TFormulaValue& v, int col, int row, int sheet);
void SetFormulaValueXArea(TFormulaValue& v, int col1, int row1, int col2, int row2, int sheet);

std::u16string FormulaValueAsString(const TFormulaValue& v);
// False when the kinds differ or either is an error; raises for references.
bool CompareFormulaValues(const TFormulaValue& a, const TFormulaValue& b, double& result);
int64_t FormulaValueCellCount(const TFormulaValue& v);

double DecodeRK(uint32_t rk);
// True when value has an RK form that decodes to exactly the same double.
bool EncodeRK(double value, uint32_t& rk);

} // namespace xls
