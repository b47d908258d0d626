// The goods pages' field checks, the values the register gets and the texts
// of their information boxes.
#include <gtest/gtest.h>

#include "console/GoodsFields.h"
#include "console/Guarded.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace {

using console::FieldCheck;

struct Check {
    const char* in;
    const char* out;
    bool refused;
};

void ExpectChecks(FieldCheck (*check)(const std::string&), std::initializer_list<Check> cases) {
    for (const Check& c : cases) {
        SCOPED_TRACE(std::string("'") + c.in + "'");
        FieldCheck result = check(c.in);
        EXPECT_EQ(result.text, c.out);
        EXPECT_EQ(result.refused, c.refused);
    }
}

FieldCheck Price(const std::string& text) {
    return console::NormaliseDecimalField(text, console::PriceDecimals);
}
FieldCheck Quantity(const std::string& text) {
    return console::NormaliseDecimalField(text, console::QuantityDecimals);
}

TEST(GoodsFields, PriceNormaliser) {
    ExpectChecks(Price, {
                            {"1,2,3", "12,30", false},
                            {",5", "0,50", false},
                            {"007,5", "7,50", false},
                            {"1,2345", "1,23", false},
                            {"5", "0,05", false},
                            {"12", "0,12", false},
                            {"1234", "12,34", false},
                            {"  99 ", "0,99", false},
                            {"", "0,00", false},
                            {"   ", "0,00", false},
                            {"0", "0,00", false},
                            {"000", "0,00", false},
                            {"1234567890123", "12345678901,23", false},
                            {"12345678901234", "0,00", false},
                            {"12,", "12,00", false},
                            {",", "0,00", false},
                            {"1.5", "0,00", true},
                            {"-5", "0,00", true},
                            {"1e3", "0,00", true},
                            {"12 34", "0,00", true},
                        });
}

TEST(GoodsFields, QuantityNormaliser) {
    ExpectChecks(Quantity, {
                               {"1234", "1,234", false},
                               {"0", "0,000", false},
                               {"5", "0,005", false},
                               {"12", "0,012", false},
                               {"123", "0,123", false},
                               {"2,5", "2,500", false},
                               {"1,2,3,4", "123,400", false},
                               {",25", "0,250", false},
                               {"3,14159", "3,141", false},
                               {"12345678901234", "0,000", false},
                               {"x", "0,000", true},
                           });
}

TEST(GoodsFields, CodeGroupAndLengthChecks) {
    ExpectChecks(console::CheckPluField, {
                                             {" 12 ", "12", false},
                                             {"1048576", "1048576", false},
                                             {"", "0", true},
                                             {"12a", "0", true},
                                             {"99999999999", "0", true},
                                         });
    ExpectChecks(console::CheckGoodsCodeField, {
                                                   {"4820000000017", "4820000000017", false},
                                                   {" 0 ", "1", false},
                                                   {"9223372036854775807", "9223372036854775807", false},
                                                   {"9223372036854775808", "1", true},
                                                   {"", "1", true},
                                                   {"48-20", "1", true},
                                               });
    ExpectChecks(console::CheckGoodsGroupNumber, {
                                                     {"1", "1", false},
                                                     {" 100", "100", false},
                                                     {"0", "1", true},
                                                     {"101", "1", true},
                                                     {"300", "1", true}, // would wrap to group 44 in 8 bits
                                                     {"", "1", true},
                                                     {"x", "1", true},
                                                 });
    ExpectChecks(console::CheckNameLengthField, {
                                                    {"25", "25", false},
                                                    {" 31 ", "31", false},
                                                    {"19", "20", false},
                                                    {"0", "20", false},
                                                    {"40", "31", false},
                                                    {"99999999999999", "31", false},
                                                    {"020", "20", false},
                                                    {"", "20", false},
                                                    {"2a", "20", true},
                                                    {"-5", "20", true},
                                                });
}

TEST(GoodsFields, ValuesTheRegisterGets) {
    EXPECT_EQ(console::ScaledValue("12,30"), 1230);
    EXPECT_EQ(console::ScaledValue("0,005"), 5);
    EXPECT_EQ(console::ScaledValue("21474836,47"), 2147483647);
    EXPECT_THROW(console::ScaledValue("21474836,48"), console::ConsoleError);
    EXPECT_THROW(console::ScaledValue("12345678901,23"), console::ConsoleError);
    EXPECT_EQ(console::Int64Value("9999999999999"), 9999999999999);
    EXPECT_THROW(console::Int64Value("1,5"), console::ConsoleError);

    console::GoodsPageValues page{"12,50", "2,500", "17", "4820000000017", "5", "\xD5\xEB\xB3\xE1", 3,
                                  true,    false,   true};
    GoodsProg g = console::GoodsProgOf(page);
    EXPECT_EQ(g.price, 1250);
    EXPECT_EQ(g.quantity, 2500);
    EXPECT_EQ(g.plu, 17);
    EXPECT_EQ(g.barcode, 4820000000017);
    EXPECT_EQ(g.group, 5);
    EXPECT_EQ(g.tax, 3);
    EXPECT_EQ(g.weighed, -1);
    EXPECT_EQ(g.presenceControl, 0);
    EXPECT_EQ(g.saleBlocking, -1);
    EXPECT_EQ(g.payoutOperation, 0);
    EXPECT_EQ(g.Name(), "\xD5\xEB\xB3\xE1");
    page.group = "256";
    EXPECT_THROW(console::GoodsProgOf(page), console::ConsoleError);
}

TEST(GoodsFields, InformationBoxes) {
    platform::RegionalSettings rs; // Ukrainian defaults, whatever the machine
    platform::RegionalSettings previous = platform::Regional();
    platform::SetRegional(rs);

    EXPECT_EQ(platform::AnsiToUtf8(console::NameLengthInfoText(25, 5269, 300, 2)),
              "Максимальна довжина назви товару складає 25 симв.\r\n"
              "Максимально можлива кількість товарів в базі: 5269\r\n"
              "Кількість запрограмованих товарів в базі: 300\r\n"
              "Кількість збійних записів у товарній базі: 2.");

    GoodsStruct g;
    g.number = 7;
    g.plu = 8;
    g.barcode = 4820000000119;
    g.SetName(platform::Utf8ToAnsi("Сир твердий"));
    g.price = 123456;
    g.group = 100;
    g.tax = 4;
    g.weighed = -1;
    g.payoutOperation = 3;
    g.remainder = 2500;
    g.soldQuantity = 4294967295u; // shown unsigned
    g.payoutQuantity = 1;
    g.salesSum = 5;
    g.payoutsSum = 10;
    g.discountsOnSales = 100;
    g.discountsOnPayouts = 0;
    g.marginsOnSales = 4294967295u;
    g.marginsOnPayouts = 99;
    EXPECT_EQ(platform::AnsiToUtf8(console::GoodsInfoText(g)),
              "Порядковий номер товару в базі: 7\r\n"
              "Код товару (PLU): 8\r\n"
              "Штрих-код: 4820000000119\r\n"
              "Найменування товару: Сир твердий\r\n"
              "Ціна: 1\u00A0234,56 грн.\r\n"
              "Номер товарної групи: 100\r\n"
              "Належність до податкової групи: Д\r\n"
              "Тип товару:  ваговий\r\n"
              "Контроль наявності товару:  не здійснюється\r\n"
              "Блокування продажу при недостатній наявності:  не здійснюється\r\n"
              "Номер операції виплати: 3\r\n"
              "Кількість (залишок) товару: 2,500\r\n"
              "Кількість продажу: 4294967,295\r\n"
              "Кількість виплат: 0,001\r\n"
              "Сума продажу: 0,05 грн.\r\n"
              "Сума виплат: 0,10 грн.\r\n"
              "Сума знижок по продажах: 1,00 грн.\r\n"
              "Сума знижок по виплатах: 0,00 грн.\r\n"
              "Сума націнок по продажах: 42\u00A0949\u00A0672,95 грн.\r\n"
              "Сума націнок по виплатах: 0,99 грн.");

    // A system with the dot still gets the comma on the goods page.
    platform::RegionalSettings dot = rs;
    dot.decimalSeparator = '.';
    dot.thousandsSeparator = ",";
    platform::SetRegional(dot);
    EXPECT_EQ(console::PriceText(123456), "1234,56");
    EXPECT_EQ(console::QuantityText(5), "0,005");
    platform::SetRegional(rs);

    EXPECT_EQ(platform::AnsiToUtf8(console::LastShiftText(45299.3333333333, 45299.9166666667)),
              "Відкрита: 08.01.2024 8:00:00\r\nЗакрита: 08.01.2024 22:00:00");
    EXPECT_EQ(platform::AnsiToUtf8(console::LastShiftText(45300.0, 45300.5)),
              "Відкрита: 09.01.2024 0:00:00\r\nЗакрита: 09.01.2024 12:00:00");
    platform::SetRegional(previous);
}

} // namespace
