// The checks and texts of the goods pages without any window: the field
// checks run when an edit is left (and again before an operation takes the
// value), the values the register gets, and the texts of the information
// boxes. Texts are ANSI; money and quantities always use the comma.
#pragma once

#include <cstdint>
#include <string>

#include "console/ReportOptions.h"
#include "device/GoodsRecords.h"

namespace console {

// Decimals of a price and of a quantity.
inline constexpr int PriceDecimals = 2;
inline constexpr int QuantityDecimals = 3;

// A price (2 decimals) or quantity (3 decimals) text: blanks trimmed; any
// character but digits and commas refused ("0,00" / "0,000"); every comma
// but the last dropped; digits without a comma taken as hundredths or
// thousandths; decimals cut or padded to the count; leading zeros dropped.
// "1,2,3" gives "12,30" as a price, "1234" "1,234" as a quantity.
FieldCheck NormaliseDecimalField(const std::string& text, int decimals);
// The PLU field: a 32-bit integer, else refused and "0".
FieldCheck CheckPluField(const std::string& text);
// The barcode field: a 64-bit integer, else refused and "1"; 0 becomes "1".
FieldCheck CheckGoodsCodeField(const std::string& text);
// The message for a goods group number outside the register's groups.
inline constexpr const char* GoodsGroupRangeText =
    "Невірно заданий номер товарної групи!\r\nМожливий діапазон значень: 1...100!";

// The goods group of the goods page: an integer 1..100 (the record holds the
// group in 8 bits), else refused and "1".
FieldCheck CheckGoodsGroupNumber(const std::string& text);
// The name length: digits only, below 20 gives "20", 32 or more "31", an
// empty text "20" (all three silently); anything else refused and "20".
FieldCheck CheckNameLengthField(const std::string& text);

// Integers of the fields as the operations take them; a text that is not one
// raises ConsoleError with the conversion's message.
int64_t Int64Value(const std::string& text);
// A money or quantity text with its comma removed: kopecks or thousandths.
int32_t ScaledValue(const std::string& text);

// Kopecks and thousandths as the goods page shows them: "12,34", "2,500".
std::string PriceText(uint32_t kopecks);
std::string QuantityText(uint32_t thousandths);

// The goods page as one record the register is given.
struct GoodsPageValues {
    std::string price, quantity, plu, barcode, group, name;
    int taxIndex = 0; // 0..4 for А..Д
    bool weighed = false;
    bool presenceControl = false;
    bool saleBlocking = false;
};
GoodsProg GoodsProgOf(const GoodsPageValues& page);

// Texts of the information boxes (CR LF between the lines).
std::string NameLengthInfoText(uint8_t nameLength, uint16_t maxGoods, uint16_t programmed, uint16_t failures);
std::string GoodsInfoText(const GoodsStruct& goods);
// Dates and times of the register (days since 30.12.1899).
std::string LastShiftText(double opened, double closed);

} // namespace console
