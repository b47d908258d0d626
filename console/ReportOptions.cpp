#include "console/ReportOptions.h"

#include <algorithm>

namespace console {
namespace {

bool AllDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits only, clamped: a long run of digits is simply "large".
int64_t DigitsValue(const std::string& digits) {
    if (digits.size() > 12) return INT64_MAX;
    int64_t value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

} // namespace

ReadModeOptions ApplyReadMode(int mode, int32_t goodsNum, int32_t firstNumber, int32_t lastNumber) {
    ReadModeOptions o;
    switch (mode) {
    case 0:
        o.goodsNumEnabled = true;
        o.firstGoodsNumber = goodsNum;
        o.lastGoodsNumber = goodsNum;
        o.barMaximum = 1;
        break;
    case 1:
        o.goodsNumEnabled = true;
        o.firstGoodsNumber = 0;
        o.lastGoodsNumber = goodsNum;
        o.barMaximum = goodsNum == 0 ? 1 : goodsNum;
        break;
    case 2:
        o.goodsNumEnabled = true;
        o.firstGoodsNumber = goodsNum;
        o.lastGoodsNumber = -1;
        break;
    case 3:
        o.firstGoodsNumber = 0;
        o.lastGoodsNumber = -1;
        break;
    case 4:
        o.rangeEnabled = true;
        o.firstGoodsNumber = std::min(firstNumber, lastNumber);
        o.lastGoodsNumber = std::max(firstNumber, lastNumber);
        o.barMaximum = o.lastGoodsNumber == o.firstGoodsNumber ? 1 : o.lastGoodsNumber - o.firstGoodsNumber;
        break;
    default:
        break;
    }
    return o;
}

FieldCheck CheckGoodsNumberField(const std::string& text) {
    std::string t = TrimText(text);
    if (t.empty()) return {"0", false};
    if (!AllDigits(t)) return {"0", true};
    if (DigitsValue(t) > LastGoodsIndex) return {std::to_string(LastGoodsIndex), false};
    return {t, false};
}

FieldCheck CheckGoodsGroupField(const std::string& text) {
    std::string t = TrimText(text);
    if (t.empty()) return {"1", false};
    if (!AllDigits(t)) return {"1", true};
    int64_t value = DigitsValue(t);
    if (value < 1) return {"1", false};
    if (value > 100) return {"100", false};
    return {t, false};
}

FieldCheck NormaliseThreshold(const std::string& text) {
    std::string s = TrimText(text);
    std::size_t commas = std::count(s.begin(), s.end(), ',');
    bool digits = std::any_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    bool plain = std::all_of(s.begin(), s.end(), [](char c) { return c == ',' || (c >= '0' && c <= '9'); });
    // Signs and exponents are refused too: the result is a count of thousandths.
    if (!digits || !plain || commas > 1) return {"0,000", true};

    std::size_t comma = s.find(',');
    std::size_t length = s.size();
    if (comma == std::string::npos) {
        if (length == 1)
            s = "0,00" + s;
        else if (length == 2)
            s = "0,0" + s;
        else if (length == 3)
            s = "0," + s;
        else if (length <= 13)
            s.insert(length - 3, ",");
        else
            s = "0,00";
    } else {
        if (comma == 0 && length < 12) s = "0" + s;
        // More than three decimals are cut off, not rounded.
        comma = s.find(',');
        if (s.size() - comma - 1 > 3) s.resize(comma + 4);
    }
    for (std::size_t decimals = s.size() - s.find(',') - 1; decimals < 3; ++decimals) s += '0';
    while (s.size() > 1 && s[0] == '0' && s[1] != ',') s.erase(0, 1);
    return {s, false};
}

FieldCheck CheckBarcodeField(const std::string& text) {
    std::optional<int64_t> value = Int64Of(text);
    if (!value) return {"", true};
    if (*value == 0) return {"", false};
    return {text, false};
}

std::optional<int32_t> ThresholdOf(const std::string& text) {
    std::string t = text;
    if (std::size_t comma = t.find(','); comma != std::string::npos) t.erase(comma, 1);
    return Int32Of(t);
}

std::optional<CodeRange> CodeRangeOf(const std::string& firstPlu, const std::string& lastPlu,
                                     const std::string& firstBarcode, const std::string& lastBarcode) {
    auto fb = Int64Of(firstBarcode);
    auto fp = Int32Of(firstPlu);
    auto lb = Int64Of(lastBarcode);
    auto lp = Int32Of(lastPlu);
    if (!fb || !fp || !lb || !lp) return std::nullopt;
    return CodeRange{*fp, *lp, *fb, *lb};
}

} // namespace console
