// The checks and values of the report option dialogs, without any window:
// the read modes of the report by all goods, the number, group, threshold and
// barcode fields, and the conversions the main window applies to them.
// Texts are ANSI; the decimal separator of quantities is always the comma.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "console/NumberText.h"

namespace console {

// Goods numbers of the register's base run from 0 to this.
inline constexpr int32_t LastGoodsIndex = 5268;

// What a read mode of the report by all goods hands back.
struct ReadModeOptions {
    int32_t firstGoodsNumber = 0;
    int32_t lastGoodsNumber = -1; // -1: to the end of the base
    std::optional<int32_t> barMaximum;
    bool goodsNumEnabled = false;
    bool rangeEnabled = false; // the first and last number fields
};
// Modes: 0 the given number only, 1 from the start to the given number, 2
// from the given number to the end, 3 the whole base, 4 the given range.
ReadModeOptions ApplyReadMode(int mode, int32_t goodsNum, int32_t firstNumber, int32_t lastNumber);

// A goods number field: blank -> "0", above the base -> its last number;
// anything but digits is refused and becomes "0".
FieldCheck CheckGoodsNumberField(const std::string& text);
// The goods group field: 1..100; blank or below -> "1", above -> "100";
// anything but digits is refused and becomes "1".
FieldCheck CheckGoodsGroupField(const std::string& text);
// The critical remainder: a number with exactly three decimals after a
// comma ("1,250"); anything but digits and one comma is refused and gives
// "0,000". Digits without a comma count as thousandths.
FieldCheck NormaliseThreshold(const std::string& text);
// A barcode field: the text kept, emptied silently (0), or refused (not a
// 64-bit integer, blank included) and emptied.
FieldCheck CheckBarcodeField(const std::string& text);

// The threshold in thousandths: the text without its first comma.
std::optional<int32_t> ThresholdOf(const std::string& text);

// The codes of the report by a range of codes.
struct CodeRange {
    int32_t firstPlu = 0;
    int32_t lastPlu = 0;
    int64_t firstBarcode = 0;
    int64_t lastBarcode = 0;
};
std::optional<CodeRange> CodeRangeOf(const std::string& firstPlu, const std::string& lastPlu,
                                     const std::string& firstBarcode, const std::string& lastBarcode);

} // namespace console
