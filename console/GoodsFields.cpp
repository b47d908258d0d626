#include "console/GoodsFields.h"

#include <algorithm>

#include "console/Connection.h"
#include "console/Guarded.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace console {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), IsDigit);
}

std::string U(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// The user's settings with the comma as decimal separator, which the pages'
// texts use whatever the system's is.
platform::RegionalSettings CommaSettings() {
    platform::RegionalSettings rs = platform::Regional();
    rs.decimalSeparator = ',';
    if (rs.thousandsSeparator == ",") rs.thousandsSeparator = "\xA0";
    return rs;
}

std::string Money(uint32_t kopecks) {
    return platform::FormatMoneyKopecks(kopecks, CommaSettings());
}

std::string Quantity(uint32_t thousandths) {
    return platform::FormatThousandths(thousandths, CommaSettings());
}

std::string YesNo(int16_t flag, const char* yes, const char* no) {
    return U(flag != 0 ? yes : no);
}

} // namespace

FieldCheck NormaliseDecimalField(const std::string& text, int decimals) {
    const std::string zero = decimals == PriceDecimals ? "0,00" : "0,000";
    std::string s = TrimText(text);
    if (!std::all_of(s.begin(), s.end(), [](char c) { return IsDigit(c) || c == ','; })) return {zero, true};
    // Every comma but the last goes.
    if (std::size_t last = s.rfind(','); last != std::string::npos) {
        std::string kept;
        for (std::size_t i = 0; i < s.size(); ++i)
            if (s[i] != ',' || i == last) kept += s[i];
        s = kept;
    }
    const std::size_t d = static_cast<std::size_t>(decimals);
    const std::size_t comma = s.find(',');
    if (s.empty()) {
        s = zero;
    } else if (comma == 0 && s.size() < 12) {
        s = "0" + s;
    } else if (comma == std::string::npos && s.size() <= d) {
        s = "0," + std::string(d - s.size(), '0') + s;
    } else if (comma == std::string::npos && s.size() <= 13) {
        s.insert(s.size() - d, ",");
    } else if (comma == std::string::npos) {
        s = "0,00";
    } else if (s.size() - comma - 1 > d) {
        // Further decimals are cut, not rounded.
        s.resize(comma + 1 + d);
    }
    for (std::size_t have = s.size() - s.find(',') - 1; have < d; ++have) s += '0';
    while (s.size() > 1 && s[0] == '0' && s[1] != ',') s.erase(0, 1);
    return {s, false};
}

FieldCheck CheckPluField(const std::string& text) {
    std::string t = TrimText(text);
    if (!Int32Of(t)) return {"0", true};
    return {t, false};
}

FieldCheck CheckGoodsCodeField(const std::string& text) {
    std::string t = TrimText(text);
    std::optional<int64_t> value = Int64Of(t);
    if (!value) return {"1", true};
    if (*value == 0) return {"1", false};
    return {t, false};
}

FieldCheck CheckGoodsGroupNumber(const std::string& text) {
    std::string t = TrimText(text);
    std::optional<int32_t> value = Int32Of(t);
    if (!value || *value < 1 || *value > 100) return {"1", true};
    return {t, false};
}

FieldCheck CheckNameLengthField(const std::string& text) {
    std::string t = TrimText(text);
    if (t.empty()) return {"20", false};
    if (!AllDigits(t)) return {"20", true};
    // Digits only: a long run is simply "too long".
    const long value = t.size() > 9 ? 1000000000L : std::stol(t);
    if (value >= 32) return {"31", false};
    if (value < 20) return {"20", false};
    return {std::to_string(value), false};
}

int64_t Int64Value(const std::string& text) {
    std::optional<int64_t> value = Int64Of(text);
    if (!value) throw ConsoleError("'" + platform::AnsiToUtf8(text) + "' is not a valid integer value");
    return *value;
}

int32_t ScaledValue(const std::string& text) {
    std::string digits = text;
    digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
    return IntegerValue(digits);
}

std::string PriceText(uint32_t kopecks) {
    return platform::FormatKopecks(kopecks, CommaSettings());
}

std::string QuantityText(uint32_t thousandths) {
    return Quantity(thousandths);
}

GoodsProg GoodsProgOf(const GoodsPageValues& page) {
    GoodsProg goods;
    goods.price = ScaledValue(page.price);
    int32_t group = IntegerValue(page.group);
    if (group < 1 || group > 100) throw ConsoleError(GoodsGroupRangeText);
    goods.group = static_cast<uint8_t>(group);
    goods.tax = static_cast<uint8_t>(std::clamp(page.taxIndex, 0, 4));
    goods.weighed = page.weighed ? -1 : 0;
    goods.presenceControl = page.presenceControl ? -1 : 0;
    goods.saleBlocking = page.saleBlocking ? -1 : 0;
    goods.payoutOperation = 0; // the page has no payout operation
    goods.quantity = ScaledValue(page.quantity);
    goods.plu = IntegerValue(page.plu);
    goods.barcode = Int64Value(page.barcode);
    goods.SetName(page.name);
    return goods;
}

std::string NameLengthInfoText(uint8_t nameLength, uint16_t maxGoods, uint16_t programmed,
                               uint16_t failures) {
    return U("Максимальна довжина назви товару складає ") + std::to_string(nameLength) + U(" симв.") +
           "\r\n" + U("Максимально можлива кількість товарів в базі: ") + std::to_string(maxGoods) + "\r\n" +
           U("Кількість запрограмованих товарів в базі: ") + std::to_string(programmed) + "\r\n" +
           U("Кількість збійних записів у товарній базі: ") + std::to_string(failures) + ".";
}

std::string GoodsInfoText(const GoodsStruct& g) {
    static const char* const taxLetters[] = {"А", "Б", "В", "Г", "Д"};
    const std::string tax = g.tax < 5 ? U(taxLetters[g.tax]) : std::to_string(g.tax);
    const std::pair<const char*, std::string> lines[] = {
        {"Порядковий номер товару в базі: ", std::to_string(g.number)},
        {"Код товару (PLU): ", std::to_string(g.plu)},
        {"Штрих-код: ", std::to_string(g.barcode)},
        {"Найменування товару: ", std::string(g.Name())},
        {"Ціна: ", Money(g.price)},
        {"Номер товарної групи: ", std::to_string(g.group)},
        {"Належність до податкової групи: ", tax},
        {"Тип товару: ", YesNo(g.weighed, " ваговий", " поштучний")},
        {"Контроль наявності товару: ", YesNo(g.presenceControl, " здійснюється", " не здійснюється")},
        {"Блокування продажу при недостатній наявності: ",
         YesNo(g.saleBlocking, " здійснюється", " не здійснюється")},
        {"Номер операції виплати: ", std::to_string(g.payoutOperation)},
        {"Кількість (залишок) товару: ", Quantity(g.remainder)},
        {"Кількість продажу: ", Quantity(g.soldQuantity)},
        {"Кількість виплат: ", Quantity(g.payoutQuantity)},
        {"Сума продажу: ", Money(g.salesSum)},
        {"Сума виплат: ", Money(g.payoutsSum)},
        {"Сума знижок по продажах: ", Money(g.discountsOnSales)},
        {"Сума знижок по виплатах: ", Money(g.discountsOnPayouts)},
        {"Сума націнок по продажах: ", Money(g.marginsOnSales)},
        {"Сума націнок по виплатах: ", Money(g.marginsOnPayouts)},
    };
    std::string text;
    for (const auto& [label, value] : lines) {
        if (!text.empty()) text += "\r\n";
        text += U(label) + value;
    }
    return text;
}

std::string LastShiftText(double opened, double closed) {
    auto when = [](double days) {
        platform::CivilDateTime t = platform::DaysToCivil(days);
        return platform::FormatShortDate(t) + " " + platform::FormatLongTime(t);
    };
    return U("Відкрита: ") + when(opened) + "\r\n" + U("Закрита: ") + when(closed);
}

} // namespace console
