// The goods imports of the four formats through the dispatcher against the
// simulated register: every box of the readers' tables with both answers
// where there are two, the frame (ignore-all, kind 4, cancel, the register's
// refusal), the conversions and the readers' own rules.
#include <gtest/gtest.h>

#include "exchange/Dispatcher.h"
#include "exchange/GoodsImport.h"
#include "platform/CodePages.h"
#include "support_goods_files.h"

using namespace exchange_test;
using exchange::FormatCsv;
using exchange::FormatDbf;
using exchange::FormatXls;
using exchange::FormatXml;

namespace {

constexpr unsigned E = 0x2010, Q = 0x2014, W = 0x2034, I = 0x2040;

const char* const kExtension[4] = {".xml", ".xls", ".csv", ".dbf"};

class GoodsImport : public ::testing::Test {
public:
    GoodsImport() : profile(UkrainianProfile()) { EnsureApplication(); }

    std::string Write(int format, const std::vector<GoodsRowText>& rows, const std::string& name = "goods") {
        return WriteGoods(dir, format, rows, name);
    }
    std::string WriteBytes(int format, const std::string& bytes) {
        std::string path = dir.File(std::string("raw") + kExtension[format]);
        WriteFile(path, bytes);
        return path;
    }

    ScratchDir dir;
    RegionalProfile profile;
};

std::vector<int32_t> Plus(const std::vector<GoodsProg>& goods) {
    std::vector<int32_t> plus;
    for (const GoodsProg& g : goods) plus.push_back(g.plu);
    return plus;
}

// A box about the middle of three rows: Yes drops that row and the run goes
// on to the third, No (or OK) ends the run after the first.
struct BoxCase {
    const char* what;
    std::function<GoodsRowText(GoodsRowText)> change; // of the middle row
    unsigned style;
    const char* caption;
    std::string text;
    int kind = 3;
};

void ExpectBoxes(GoodsImport& t, int format, const std::vector<BoxCase>& cases, const ImportSetup& base = {},
                 const std::function<std::string(int, const std::vector<GoodsRowText>&)>& write = {}) {
    for (const BoxCase& c : cases) {
        const bool question = (c.style & 0xF) == platform::MbYesNo;
        for (int answer :
             question ? std::vector<int>{platform::IdYes, platform::IdNo} : std::vector<int>{0}) {
            SCOPED_TRACE(std::string(c.what) + (answer == platform::IdYes ? " / Yes" : " / No"));
            std::vector<GoodsRowText> rows = {GoodsRow(1), c.change(GoodsRow(2)), GoodsRow(3)};
            ImportSetup setup = base;
            if (answer != 0) setup.answers = {answer};
            std::string path = write ? write(format, rows) : t.Write(format, rows);
            ImportRun run = ImportFile(format, c.kind, path, setup);
            ASSERT_EQ(run.boxes.size(), 1u);
            EXPECT_EQ(run.boxes[0].Utf8Text(), c.text);
            EXPECT_EQ(run.boxes[0].Utf8Caption(), c.caption);
            EXPECT_EQ(run.boxes[0].style, c.style);
            const bool dropped = answer == platform::IdYes;
            EXPECT_EQ(run.done, dropped);
            const std::vector<int32_t> kept =
                dropped ? std::vector<int32_t>{101, 103} : std::vector<int32_t>{101};
            EXPECT_EQ(Plus(run.goods), kept);
        }
    }
}

std::function<GoodsRowText(GoodsRowText)> Set(int column, std::optional<std::string> value) {
    return [=](GoodsRowText row) { return With(row, column, value); };
}
std::function<GoodsRowText(GoodsRowText)> Set2(int c1, std::optional<std::string> v1, int c2,
                                               std::optional<std::string> v2) {
    return [=](GoodsRowText row) { return With(With(row, c1, v1), c2, v2); };
}

const char* const kRange =
    "Номер товару виходить за межі допустимих значень:\r\n%s.\r\n"
    "Можливий діапазон значень: 0..5268!\r\nПродовжити, ігноруючи всі товари за межами діапазону?";
std::string Range(const std::string& where) {
    std::string text = kRange;
    return text.replace(text.find("%s"), 2, where);
}

TEST_F(GoodsImport, CsvBoxes) {
    ExpectBoxes(
        *this, FormatCsv,
        {
            {"number", Set(cNumber, "x"), Q, "Помилка",
             "Помилка в номері товару:\r\nрядок №2 стовбчик №1!\r\nІгнорувати?"},
            {"number range", Set(cNumber, "5269"), W, "Попередження", Range("рядок №2 стовбчик №1")},
            {"PLU", Set(cPlu, "1x"), Q, "Ошибка",
             "Ошибка в коде PLU:\r\nстрока №2 колонка №1!\r\nПропустить строку?"},
            {"no codes", Set2(cPlu, "", cBarcode, ""), W, "Предупреждение",
             "Не заданы  внутренний код и штрих-код товара:\r\nстрока №2 колонка №2!\r\nПропустить строку?"},
            {"barcode", Set(cBarcode, "48200x"), Q, "Ошибка",
             "Ошибка в штрих-коде:\r\nстрока №2 колонка №2!\r\nПропустить строку?"},
            {"barcode empty with a PLU", Set(cBarcode, ""), Q, "Ошибка",
             "Ошибка в штрих-коде:\r\nстрока №2 колонка №2!\r\nПропустить строку?"},
            {"name", Set(cName, ""), Q, "Помилка",
             "Найменування товару повинно містити хоча б один символ!\r\nрядок №2 стовбчик №3.\r\n"
             "Ігнорувати?"},
            {"price", Set(cPrice, "12.50"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №2 стовбчик №4!\r\nІгнорувати?"},
            {"price beyond 32 bits", Set(cPrice, "21474836,48"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №2 стовбчик №4!\r\nІгнорувати?"},
            {"price below zero", Set(cPrice, "-12,50 грн."), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №2 стовбчик №4!\r\nІгнорувати?"},
            {"price in exponent form", Set(cPrice, "1e3"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №2 стовбчик №4!\r\nІгнорувати?"},
            {"quantity", Set(cQuantity, ""), Q, "Помилка",
             "Помилка в кількості товару:\r\nрядок №2 стовбчик №5!\r\nІгнорувати?"},
            {"quantity below zero", Set(cQuantity, "–2,5"), Q, "Помилка",
             "Помилка в кількості товару:\r\nрядок №2 стовбчик №5!\r\nІгнорувати?"},
            {"PLU beyond 20 bits", Set(cPlu, "1048576"), Q, "Ошибка",
             "Ошибка в коде PLU:\r\nстрока №2 колонка №1!\r\nПропустить строку?"},
            {"barcode of 14 digits", Set(cBarcode, "10000000000000"), Q, "Ошибка",
             "Ошибка в штрих-коде:\r\nстрока №2 колонка №2!\r\nПропустить строку?"},
            {"codes both 0", Set2(cPlu, "0", cBarcode, "0"), W, "Предупреждение",
             "Не заданы  внутренний код и штрих-код товара:\r\nстрока №2 колонка №2!\r\nПропустить строку?"},
            {"group", Set(cGroup, "101"), Q, "Помилка",
             "Помилка в номері товарної групи:\r\nрядок №2 стовбчик №6.\r\nМожливий діапазон значень: 1..100!"
             "\r\nІгнорувати?"},
            {"tax group", Set(cTax, "6"), Q, "Помилка",
             "Помилка податкової групи:\r\nрядок №2 стовбчик №7.\r\nМожливий діапазон значень: 1..5!\r\n"
             "Ігнорувати?"},
            {"weighed", Set(cWeight, "2"), Q, "Помилка",
             "Помилка ознаки типу товару:\r\nрядок №2 стовбчик №8.\r\n"
             "Можливі значення: 0 - поштучний, 1 - ваговий!\r\nІгнорувати?"},
            {"presence", Set(cPresence, "-1"), Q, "Помилка",
             "Помилка ознаки контролю наявності товару:\r\nрядок №2 стовбчик №9.\r\nМожливі значення:\r\n"
             " 0 - контролювати,\r\n 1 - не контролювати!\r\nІгнорувати?"},
            {"blocking", Set(cBlocking, "yes"), Q, "Помилка",
             "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nрядок №2 стовбчик №10."
             "\r\nМожливі значення:\r\n 0 - не блокувати продаж,\r\n 1 - блокувати продаж!\r\nІгнорувати?"},
            {"payout", Set(cPayout, "4"), Q, "Помилка",
             "Помилка номера операції виплати:\r\nрядок №2 стовбчик №11.\r\nМожливий діапазон значень: "
             "0..3!\r\n"
             "Ігнорувати?"},
            // A short line lacks its later fields: the first missing one is refused.
            {"short line",
             [](GoodsRowText row) {
                 for (int c = cGroup; c <= cPayout; ++c) row[c].reset();
                 return row;
             },
             Q, "Помилка",
             "Помилка в номері товарної групи:\r\nрядок №2 стовбчик №6.\r\nМожливий діапазон значень: 1..100!"
             "\r\nІгнорувати?"},
        });
    // Quoted names: a field without quotes is refused.
    ImportSetup quoted;
    quoted.csv.Quotes = true;
    auto quote = [](GoodsRowText row) {
        row[cName] = "\"" + *row[cName] + "\"";
        return row;
    };
    auto writeQuoted = [&](int format, const std::vector<GoodsRowText>& rows) {
        std::vector<GoodsRowText> q = rows;
        q[0] = quote(q[0]);
        q[2] = quote(q[2]);
        return Write(format, q);
    };
    ExpectBoxes(
        *this, FormatCsv,
        {{"name not quoted", Set(cName, "Хліб"), Q, "Помилка",
          "Помилка в найменуванні товару:\r\nрядок №2 стовбчик №3!\r\nІгнорувати?"},
         {"empty name in quotes", Set(cName, "\"\""), Q, "Помилка",
          "Найменування товару повинно містити хоча б один символ!\r\nрядок №2 стовбчик №3.\r\nІгнорувати?"}},
        quoted, writeQuoted);
}

TEST_F(GoodsImport, XmlBoxes) {
    const auto item = [](const char* attribute) {
        return std::string("Item #1 атрибут \"") + attribute + "\"";
    };
    ExpectBoxes(
        *this, FormatXml,
        {
            {"no number", Set(cNumber, std::nullopt), E, "Помилка", "Не знайдений атрибут \"Number\"."},
            {"number", Set(cNumber, "5.0"), Q, "Помилка",
             "Помилка в номері товару:\r\n Item #1 атрибут \"Number\"!\r\nІгнорувати?"},
            {"number range", Set(cNumber, "-1"), W, "Попередження", Range(item("Number"))},
            {"PLU", Set(cPlu, ""), Q, "Ошибка",
             "Ошибка в коде PLU:\r\nItem #1 атрибут \"PLU\"!\r\nПропустить строку?"},
            {"no barcode", Set(cBarcode, std::nullopt), E, "Ошибка",
             "Ошибка в штрих-коде:\r\nItem #1 - не знайдений атрибут \"Barcode\"."},
            {"no codes", Set2(cPlu, std::nullopt, cBarcode, " "), W, "Предупреждение",
             "Не заданы  внутренний код и штрих-код товара:\r\nItem #1 атрибуты \"PLU\" и \"Barcode\"!\r\n"
             "Пропустить строку?"},
            {"empty barcode with a PLU", Set(cBarcode, ""), Q, "Ошибка",
             "Ошибка в штрих-коде:\r\nItem #1 атрибут \"Code\"!\r\nПропустить строку?"},
            {"name", Set(cName, ""), Q, "Помилка",
             "Найменування товару повинно містити хоча б один символ!\r\nItem #1 атрибут \"Name\"!\r\n"
             "Ігнорувати?"},
            {"missing name", Set(cName, std::nullopt), Q, "Помилка",
             "Найменування товару повинно містити хоча б один символ!\r\nItem #1 атрибут \"Name\"!\r\n"
             "Ігнорувати?"},
            {"name beyond the code page", Set(cName, "茶"), Q, "Помилка",
             "Помилка в найменуванні товара:\r\nItem #1 атрибут \"Name\"!\r\nІгнорувати?"},
            {"missing price", Set(cPrice, std::nullopt), Q, "Помилка",
             "Помилка в ціні на товар:\r\nItem #1 атрибут \"Price\"!\r\nІгнорувати?"},
            {"price grouped by commas", Set(cPrice, "1,234.5"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nItem #1 атрибут \"Price\"!\r\nІгнорувати?"},
            {"price below zero", Set(cPrice, "−5,00"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nItem #1 атрибут \"Price\"!\r\nІгнорувати?"},
            {"quantity", Set(cQuantity, "1e999"), Q, "Помилка",
             "Помилка в кількості товару:\r\nItem #1 атрибут \"Remains\"!\r\nІгнорувати?"},
            {"quantity below zero", Set(cQuantity, "(2,5)"), Q, "Помилка",
             "Помилка в кількості товару:\r\nItem #1 атрибут \"Remains\"!\r\nІгнорувати?"},
            {"PLU below zero", Set(cPlu, "-7"), Q, "Ошибка",
             "Ошибка в коде PLU:\r\nItem #1 атрибут \"PLU\"!\r\nПропустить строку?"},
            {"codes both 0", Set2(cPlu, "0", cBarcode, "0"), W, "Предупреждение",
             "Не заданы  внутренний код и штрих-код товара:\r\nItem #1 атрибуты \"PLU\" и \"Barcode\"!\r\n"
             "Пропустить строку?"},
            {"group", Set(cGroup, "0"), Q, "Помилка",
             "Помилка в номері товарної групи:\r\nItem #1 атрибут \"GroupID\"!\r\n"
             "Можливий діапазон значень: 1..100!\r\nІгнорувати?"},
            {"missing tax group", Set(cTax, std::nullopt), Q, "Помилка",
             "Помилка податкової групи:\r\nItem #1 атрибут \"VAT\"!\r\nМожливий діапазон значень: "
             "\"1\"..\"5\"!"
             "\r\nІгнорувати?"},
            {"weighed", Set(cWeight, "yes"), Q, "Помилка",
             "Помилка ознаки типу товару:\r\nItem #1 атрибут \"Weight\"!\r\n"
             "Можливі значення: 0 - поштучний, 1 - ваговий!\r\nІгнорувати?"},
            {"presence", Set(cPresence, std::nullopt), Q, "Помилка",
             "Помилка ознаки контролю наявності товару:\r\nItem #1 атрибут \"Presence\"!\r\nМожливі значення:"
             "\r\n 0 - контролювати,\r\n 1 - не контролювати!\r\nІгнорувати?"},
            {"blocking", Set(cBlocking, "Tru"), Q, "Помилка",
             "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nItem #1 атрибут "
             "\"Blocking\"!\r\nМожливі значення:\r\n 0 - не блокувати продаж,\r\n 1 - блокувати продаж!\r\n"
             "Ігнорувати?"},
            {"payout beyond the register's four", Set(cPayout, "4"), Q, "Помилка",
             "Помилка номера операції виплати:\r\nItem #1 атрибут \"PaymentType\"!\r\n"
             "Можливий діапазон значень: \"0\"..\"3\"!\r\nІгнорувати?"},
        });
}

TEST_F(GoodsImport, XlsBoxes) {
    ExpectBoxes(
        *this, FormatXls,
        {
            {"number", Set(cNumber, "2147483648"), Q, "Помилка",
             "Помилка в номері товару:\r\nрядок №3 стовбчик №1!\r\nІгнорувати?"},
            {"number range", Set(cNumber, "5269"), W, "Попередження", Range("рядок №3 стовбчик №1")},
            {"number an error value", Set(cNumber, "#DIV/0!"), Q, "Помилка",
             "Помилка в номері товару:\r\nрядок №3 стовбчик №1!\r\nІгнорувати?"},
            {"number #N/A", Set(cNumber, "#N/A"), Q, "Помилка",
             "Помилка в номері товару:\r\nрядок №3 стовбчик №1!\r\nІгнорувати?"},
            {"no barcode", Set(cBarcode, std::nullopt), W, "Предупреждение",
             "Не задан  код/штрих-код товара:\r\nстрока №3 колонка №2!\r\nПропустить строку?"},
            {"barcode", Set(cBarcode, "48-20"), Q, "Ошибка",
             "Ошибка в штрих-коде:\r\nстрока №3 колонка №2!\r\nПропустить строку?"},
            {"PLU", Set(cPlu, "12,5"), Q, "Ошибка",
             "Ошибка в дополнительном коде:\r\nстрока №3 колонка №3!\r\nПропустить строку?"},
            {"PLU beyond 20 bits", Set(cPlu, "2000000"), Q, "Ошибка",
             "Ошибка в дополнительном коде:\r\nстрока №3 колонка №3!\r\nПропустить строку?"},
            {"codes both 0", Set2(cPlu, std::nullopt, cBarcode, "'0"), W, "Предупреждение",
             "Не задан  код/штрих-код товара:\r\nстрока №3 колонка №2!\r\nПропустить строку?"},
            {"name", Set(cName, std::nullopt), Q, "Помилка",
             "Найменування товару повинно містити хоча б один символ!\r\nрядок №3 стовбчик "
             "№4!\r\nІгнорувати?"},
            {"name beyond the code page", Set(cName, "茶"), Q, "Помилка",
             "Помилка в найменуванні товара:\r\nрядок №3 стовбчик №4!\r\nІгнорувати?"},
            {"price", Set(cPrice, "TRUE"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №3 стовбчик №5!\r\nІгнорувати?"},
            // Only the regional separators between digits: no price is scaled by a power of ten.
            {"price with a decimal point", Set(cPrice, "15.50"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №3 стовбчик №5!\r\nІгнорувати?"},
            {"price grouped by commas", Set(cPrice, "1,234.5"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №3 стовбчик №5!\r\nІгнорувати?"},
            {"price with a group of two", Set(cPrice, "'1 23,50 грн."), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №3 стовбчик №5!\r\nІгнорувати?"},
            {"price in exponent form", Set(cPrice, "'1,5E3"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №3 стовбчик №5!\r\nІгнорувати?"},
            {"price below zero", Set(cPrice, "'–7,50 грн"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №3 стовбчик №5!\r\nІгнорувати?"},
            {"price a negative number", Set(cPrice, "-0,01"), Q, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №3 стовбчик №5!\r\nІгнорувати?"},
            {"quantity", Set(cQuantity, "lots"), Q, "Помилка",
             "Помилка в кількості товару:\r\nрядок №3 стовбчик №6!\r\nІгнорувати?"},
            {"quantity in exponent form", Set(cQuantity, "'1e3"), Q, "Помилка",
             "Помилка в кількості товару:\r\nрядок №3 стовбчик №6!\r\nІгнорувати?"},
            {"quantity below zero", Set(cQuantity, "-1"), Q, "Помилка",
             "Помилка в кількості товару:\r\nрядок №3 стовбчик №6!\r\nІгнорувати?"},
            {"group", Set(cGroup, "100,6"), Q, "Помилка",
             "Помилка в номері товарної групи:\r\nрядок №3 стовбчик №7.\r\nМожливий діапазон значень: 1..100!"
             "\r\nІгнорувати?"},
            {"tax group", Set(cTax, "0"), Q, "Помилка",
             "Помилка податкової групи:\r\nрядок №3 стовбчик №8.\r\nМожливий діапазон значень: \"1\"..\"5\"!"
             "\r\nІгнорувати?"},
            {"weighed", Set(cWeight, std::nullopt), Q, "Помилка",
             "Помилка ознаки типу товару:\r\nрядок №3 стовбчик №9.\r\n"
             "Можливі значення: 0 - поштучний, 1 - ваговий!\r\nІгнорувати?"},
            {"presence", Set(cPresence, "maybe"), Q, "Помилка",
             "Помилка ознаки контролю наявності товару:\r\nрядок №3 стовбчик №10.\r\nМожливі значення:\r\n"
             " 0 - контролювати,\r\n 1 - не контролювати!\r\nІгнорувати?"},
            {"blocking", Set(cBlocking, "'T"), Q, "Помилка",
             "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nрядок №3 стовбчик "
             "№11.\r\n"
             "Можливі значення:\r\n 0 - не блокувати продаж,\r\n 1 - блокувати продаж!\r\nІгнорувати?"},
            {"payout", Set(cPayout, "-1"), Q, "Помилка",
             "Помилка номера операції виплати:\r\nрядок №3 стовбчик №12.\r\n"
             "Можливий діапазон значень: \"0\"..\"3\"!\r\nІгнорувати?"},
            {"payout beyond the register's four", Set(cPayout, "4"), Q, "Помилка",
             "Помилка номера операції виплати:\r\nрядок №3 стовбчик №12.\r\n"
             "Можливий діапазон значень: \"0\"..\"3\"!\r\nІгнорувати?"},
        });
}

TEST_F(GoodsImport, DbfValueBoxes) {
    ExpectBoxes(
        *this, FormatDbf,
        {
            {"number", Set(cNumber, "1.5"), E, "Помилка",
             "Помилка в номері товару:\r\nрядок №2 поле \"Number\"!"},
            {"number range", Set(cNumber, "5269"), W, "Попередження", Range("рядок №2 поле \"Number\"")},
            {"PLU", Set(cPlu, ""), Q, "Ошибка",
             "Ошибка в коде PLU:\r\nзапись №2 поле \"PLU\"!\r\nПропустить запись?"},
            {"no codes", Set2(cPlu, "0", cBarcode, ""), W, "Предупреждение",
             "Не заданы  внутренний код и штрих-код товара:\r\nзапись №2 поле \"Barcode\"!\r\n"
             "Пропустить запись?"},
            {"barcode", Set(cBarcode, "12 34"), Q, "Ошибка",
             "Ошибка в штрих-коде:\r\nстрока №2 колонка №2!\r\nПропустить строку?"},
            {"name", Set(cName, ""), E, "Помилка",
             "Найменування товару повинно містити хоча б один символ!\r\nрядок №2 поле \"Name\"."},
            {"price", Set(cPrice, "*"), E, "Помилка", "Помилка в ціні на товар:\r\nрядок №2 поле \"Price\"!"},
            {"price below zero", Set(cPrice, "-1,5"), E, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №2 поле \"Price\"!"},
            {"price in exponent form", Set(cPrice, "1,5E3"), E, "Помилка",
             "Помилка в ціні на товар:\r\nрядок №2 поле \"Price\"!"},
            {"quantity below zero", Set(cQuantity, "-0,5"), E, "Помилка",
             "Помилка в кількості товару:\r\nрядок №2 поле \"Remains\"!"},
            {"barcode below zero", Set(cBarcode, "-5"), Q, "Ошибка",
             "Ошибка в штрих-коде:\r\nстрока №2 колонка №2!\r\nПропустить строку?"},
            {"codes both 0", Set2(cPlu, "0", cBarcode, "0"), W, "Предупреждение",
             "Не заданы  внутренний код и штрих-код товара:\r\nзапись №2 поле \"Barcode\"!\r\n"
             "Пропустить запись?"},
            {"quantity", Set(cQuantity, ""), E, "Помилка",
             "Помилка в кількості товару:\r\nрядок №2 поле \"Remains\"!"},
            {"group", Set(cGroup, "x"), E, "Помилка",
             "Помилка в номері товарної групи:\r\nрядок №2 поле \"GroupID\"!"},
            {"group range", Set(cGroup, "101"), E, "Помилка",
             "Помилка в номері товарної групи:\r\nрядок №2 поле \"GroupID\".\r\nМожливий діапазон значень: "
             "1..100!"},
            {"tax group", Set(cTax, "-"), E, "Помилка",
             "Помилка податкової групи:\r\nрядок №2 поле \"VAT\"!"},
            {"tax group range", Set(cTax, "6"), E, "Помилка",
             "Помилка податкової групи:\r\nрядок №2 поле \"VAT\".\r\nМожливий діапазон значень: "
             "\"1\"..\"5\"!"},
            {"weighed", Set(cWeight, ""), E, "Помилка",
             "Помилка ознаки типу товару:\r\nрядок №2 поле \"Weight\"!"},
            {"presence", Set(cPresence, "?"), E, "Помилка",
             "Помилка ознаки контролю наявності:\r\nрядок №2 поле \"Presence\"!"},
            {"blocking", Set(cBlocking, "X"), E, "Помилка",
             "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nрядок №2 поле "
             "\"Blocking\"!"},
            {"payout", Set(cPayout, "x"), E, "Помилка",
             "Помилка номера операції виплати:\r\nрядок №2 поле \"Paytype\"!"},
            {"payout beyond the register's four", Set(cPayout, "4"), E, "Помилка",
             "Помилка номера операції виплати:\r\nрядок №2 поле \"Paytype\"!"},
        });
}

// Each of the twelve fields in the wrong place or of the wrong type ends the
// import with that field's box before its value is read.
TEST_F(GoodsImport, DbfFieldBoxes) {
    struct Case {
        int field;
        std::string name;
        char type;
        const char* caption;
        const char* text;
    } cases[] = {
        {0, "NUMBR", 'N', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Number\"!"},
        {1, "PLU", 'C', "Ошибка", "Ошибка поля \"PLU\"!"},
        {2, "BARCODE", 'N', "Ошибка", "Ошибка поля \"BARCODE\"!"},
        {3, "TITLE", 'C', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Name\"!"},
        {4, "PRICE", 'N', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Price\"!"},
        {5, "REMAINS", 'C', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Remains\"!"},
        {6, "GROUP", 'N', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"GroupID\"!"},
        {7, "VAT", 'F', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"VAT\"!"},
        {8, "WEIGHT", 'N', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Weight\"!"},
        {9, "PRESENCE", 'C', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Presence\"!"},
        {10, "BLOCK", 'L', "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Blocking\"!"},
        {11, "PAYTYPE", 'C', "Помилка", "Помилка номера операції виплати:\r\nрядок №1 поле \"Paytype\"!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<DbfField> fields = GoodsDbfFields();
        fields[static_cast<std::size_t>(c.field)].name = c.name;
        fields[static_cast<std::size_t>(c.field)].type = c.type;
        std::string path = WriteBytes(FormatDbf, GoodsDbf({GoodsRow(1), GoodsRow(2)}, fields));
        ImportRun run = ImportFile(FormatDbf, 3, path);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].Utf8Text(), c.text);
        EXPECT_EQ(run.boxes[0].Utf8Caption(), c.caption);
        EXPECT_EQ(run.boxes[0].style, E);
        EXPECT_FALSE(run.done);
        EXPECT_TRUE(run.goods.empty());
    }
    // A table with fewer fields lacks the field the reader needs next.
    std::vector<DbfField> fields = GoodsDbfFields();
    fields.resize(5);
    ImportRun shortTable = ImportFile(FormatDbf, 3, WriteBytes(FormatDbf, GoodsDbf({GoodsRow(1)}, fields)));
    ASSERT_EQ(shortTable.boxes.size(), 1u);
    EXPECT_EQ(shortTable.boxes[0].Utf8Text(), "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Remains\"!");
    // Updating by code: a first field that is not NUMBER ends without a word.
    fields = GoodsDbfFields();
    fields[0].name = "CODE";
    ImportRun update = ImportFile(FormatDbf, 4, WriteBytes(FormatDbf, GoodsDbf({GoodsRow(1)}, fields)));
    EXPECT_TRUE(update.boxes.empty());
    EXPECT_FALSE(update.done);
}

// Boxes of a whole file: an OK box that ends the import with nothing read.
TEST_F(GoodsImport, FileBoxes) {
    struct Case {
        int format;
        std::string bytes;
        const char* text;
        console::CsvOptionsRecord csv = {};
    } cases[] = {
        {FormatXml, "<REPORT><HEADER/>", nullptr},
        {FormatXml, "<?xml version=\"1.0\"?><GOODS/>", "Не знайдений вузол \"REPORT\"."},
        {FormatXml, "<REPORT><HEADER><A/></HEADER><FIELDS_NAME/></REPORT>",
         "У вузла \"REPORT\" недопустима кількість дочірніх вузлів."},
        {FormatXml, "<REPORT><HEADER><A/></HEADER><FIELDS_NAME/><DATA/></REPORT>",
         "Вузол \"DATA\" не містить дочірніх елементів."},
        {FormatXml, "<REPORT><HEADER><A/></HEADER><FIELDS_NAME/><DATA><Goods Number=\"1\"/></DATA></REPORT>",
         "Не знайдений елемент \"Item\"."},
        {FormatXml,
         "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
         "<REPORT><HEADER><A>&b;</A></HEADER><F/><DATA><Item/></DATA></REPORT>",
         nullptr},
        {FormatDbf, "not a table", "Пошкоджена структура даних!"},
        {FormatDbf, GoodsDbf({}), "DBF-таблиця даних по товарним групам порожня!"},
        {FormatCsv, GoodsCsv({GoodsRow(1)}) + "\r\n" + GoodsCsv({GoodsRow(3)}),
         "Помилка формату даних (рядок №2)!", console::CsvOptionsRecord{';', false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 60));
        ImportSetup setup;
        setup.csv = c.csv;
        ImportRun run = ImportFile(c.format, 3, WriteBytes(c.format, c.bytes), setup);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].Utf8Text(), c.text != nullptr ? c.text : run.boxes[0].Utf8Text());
        EXPECT_FALSE(run.boxes[0].Utf8Text().empty());
        EXPECT_EQ(run.boxes[0].Utf8Caption(), "Помилка");
        EXPECT_EQ(run.boxes[0].style, E);
        EXPECT_FALSE(run.done);
        EXPECT_EQ(run.goods.size(), c.format == FormatCsv ? 1u : 0u);
    }
    // A workbook without a number in column A.
    std::string path = dir.File("empty.xls");
    WriteGoodsXls(path, {With(GoodsRow(1), cNumber, "'1")});
    ImportRun run = ImportFile(FormatXls, 3, path);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(), "Дані для запису в ЕККА не знайдені!");
    EXPECT_FALSE(run.done);
    // An empty CSV file completes at once with no goods.
    ImportRun empty = ImportFile(FormatCsv, 3, WriteBytes(FormatCsv, ""));
    EXPECT_TRUE(empty.done && empty.goods.empty() && empty.boxes.empty());
}

TEST_F(GoodsImport, IgnoreAllOutOfRangeAndKind4) {
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(format);
        std::vector<GoodsRowText> rows = {GoodsRow(1), With(GoodsRow(2), cNumber, "5269"),
                                          With(GoodsRow(3), cNumber, "9000"), GoodsRow(4),
                                          With(GoodsRow(5), cNumber, "70000")};
        std::string path = Write(format, rows, "range");
        ImportSetup yes;
        yes.answers = {platform::IdYes};
        ImportRun ignoring = ImportFile(format, 3, path, yes);
        EXPECT_TRUE(ignoring.done);
        EXPECT_EQ(ignoring.boxes.size(), 1u);
        EXPECT_EQ(Plus(ignoring.goods), (std::vector<int32_t>{101, 104}));
        // Kind 4 takes every number; the log keeps its low 16 bits (70000 is 4464).
        rows.push_back(With(GoodsRow(6), cPlu, "105"));
        ImportRun update = ImportFile(format, 4, Write(format, rows, "update"));
        EXPECT_TRUE(update.done);
        EXPECT_TRUE(update.boxes.empty());
        EXPECT_EQ(Plus(update.goods), (std::vector<int32_t>{101, 102, 103, 104, 105, 105}));
        EXPECT_EQ(platform::AnsiToUtf8(update.log),
                  "[PLU:105 Barcode:4820000000005] Номер за списком: 4464 = 6\r\n");
    }
}

} // namespace
