// The workbook goods reader: the rows of the first sheet from the first one
// whose column A holds a number, columns A..L as the goods report's workbook
// export writes them (number, barcode, PLU, name, price, remains, ...).
// The workbook headers come before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/Tabrix4.h"

#include <cmath>
#include <limits>

#include "exchange/CsvOptions.h"
#include "exchange/GoodsImport.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace exchange {

namespace {

// Boxes by their number in the reader's table.
const ImportMessage kXls[] = {
    {},
    {ImportBox::Question, "Помилка", "Помилка в номері товару:\r\nрядок №%n стовбчик №1!\r\nІгнорувати?"},
    {ImportBox::Warning, "Попередження",
     "Номер товару виходить за межі допустимих значень:\r\nрядок №%n стовбчик №1.\r\n"
     "Можливий діапазон значень: 0..%m!\r\nПродовжити, ігноруючи всі товари за межами діапазону?"},
    {ImportBox::Warning, "Предупреждение",
     "Не задан  код/штрих-код товара:\r\nстрока №%n колонка №2!\r\nПропустить строку?"},
    {ImportBox::Question, "Ошибка", "Ошибка в штрих-коде:\r\nстрока №%n колонка №2!\r\nПропустить строку?"},
    {ImportBox::Question, "Ошибка",
     "Ошибка в дополнительном коде:\r\nстрока №%n колонка №3!\r\nПропустить строку?"},
    {ImportBox::Question, "Помилка",
     "Найменування товару повинно містити хоча б один символ!\r\nрядок №%n стовбчик №4!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в найменуванні товара:\r\nрядок №%n стовбчик №4!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка", "Помилка в ціні на товар:\r\nрядок №%n стовбчик №5!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка", "Помилка в кількості товару:\r\nрядок №%n стовбчик №6!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в номері товарної групи:\r\nрядок №%n стовбчик №7.\r\nМожливий діапазон значень: 1..100!\r\n"
     "Ігнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка податкової групи:\r\nрядок №%n стовбчик №8.\r\nМожливий діапазон значень: \"1\"..\"5\"!\r\n"
     "Ігнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки типу товару:\r\nрядок №%n стовбчик №9.\r\nМожливі значення: 0 - поштучний, 1 - "
     "ваговий!\r\n"
     "Ігнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки контролю наявності товару:\r\nрядок №%n стовбчик №10.\r\nМожливі значення:\r\n"
     " 0 - контролювати,\r\n 1 - не контролювати!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nрядок №%n стовбчик №11.\r\n"
     "Можливі значення:\r\n 0 - не блокувати продаж,\r\n 1 - блокувати продаж!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка номера операції виплати:\r\nрядок №%n стовбчик №12.\r\nМожливий діапазон значень: "
     "\"0\"..\"3\"!\r\n"
     "Ігнорувати?"},
};

const ImportMessage kNoData = {ImportBox::Error, "Помилка", "Дані для запису в ЕККА не знайдені!"};

// Column A of a goods row holds a number: a number cell, or a formula whose
// cached result is a number.
bool HoldsNumber(xls::TSheet& sheet, int row) {
    switch (sheet.GetCellType(0, row)) {
    case xls::ctInteger:
    case xls::ctFloat:
        return true;
    case xls::ctNumberFormula:
    case xls::ctNumberArrayFormula:
        return std::holds_alternative<double>(sheet.GetAsVariant(0, row));
    default:
        return false;
    }
}

// One cell as the reader takes it.
struct Cell {
    int type = xls::ctNone;
    xls::TCellVariant value;

    bool IsError() const { return type == xls::ctError || type == xls::ctErrorFormula; }

    // The value's text (ANSI): numbers in the general form with the user's
    // decimal separator, truth values as the workbook shows them, nothing
    // for a blank or missing cell. `lossy` tells of characters the code page
    // lacks.
    std::string Text(bool* lossy = nullptr) const {
        if (type == xls::ctBlank) return {};
        struct Visitor {
            bool* lossy;
            std::string operator()(std::monostate) const { return {}; }
            std::string operator()(uint8_t flag) const { return flag != 0 ? "TRUE" : "FALSE"; }
            std::string operator()(int32_t number) const { return std::to_string(number); }
            std::string operator()(double number) const { return platform::FormatGeneral(number); }
            std::string operator()(const std::u16string& text) const {
                return platform::Utf16ToAnsi(text, lossy);
            }
        };
        return std::visit(Visitor{lossy}, value);
    }
    // The value as a number; a text must hold one. Nothing for a missing cell.
    std::optional<double> Number() const {
        if (std::holds_alternative<std::u16string>(value)) return platform::ParseDecimal(Text());
        if (const auto* flag = std::get_if<uint8_t>(&value)) return *flag;
        if (const auto* number = std::get_if<int32_t>(&value)) return *number;
        if (const auto* number = std::get_if<double>(&value)) return *number;
        return std::nullopt;
    }
    // The value rounded to the nearest integer (ties to even) within 32 bits.
    std::optional<int64_t> Integer() const {
        std::optional<double> number = Number();
        if (!number || !std::isfinite(*number)) return std::nullopt;
        double rounded = std::nearbyint(*number);
        if (rounded < std::numeric_limits<int32_t>::min() || rounded > std::numeric_limits<int32_t>::max())
            return std::nullopt;
        return static_cast<int64_t>(rounded);
    }
    std::optional<bool> Truth() const {
        if (std::holds_alternative<std::u16string>(value)) return TruthOf(Trimmed(Text()));
        std::optional<double> number = Number();
        if (!number) return std::nullopt;
        return *number != 0;
    }
};

RowEnd ReadRow(GoodsImportRun& run, xls::TSheet& sheet, int row) {
    auto cell = [&](int col) { return Cell{sheet.GetCellType(col, row), sheet.GetAsVariant(col, row)}; };
    const int64_t n = row;
    int32_t number = 0;
    if (auto end = run.CheckNumber(cell(0).Integer(), n, kXls[1], kXls[2], number)) return *end;

    GoodsProg goods;
    std::string barcodeText = cell(1).Text();
    if (barcodeText.empty()) return run.Refuse(kXls[3], n);
    std::optional<int64_t> barcode = Integer64Of(barcodeText);
    if (!barcode) return run.Refuse(kXls[4], n);
    goods.barcode = *barcode;
    Cell plu = cell(2);
    if (!plu.Text().empty()) {
        std::optional<int64_t> value = IntegerOf(plu.Text());
        if (!value) return run.Refuse(kXls[5], n);
        goods.plu = static_cast<int32_t>(*value);
    }

    Cell name = cell(3);
    bool lossy = false;
    std::string nameText = name.Text(&lossy);
    if (nameText.empty()) return run.Refuse(kXls[6], n);
    // An error value is no name, and a name the register's code page cannot
    // hold (or with a NUL, which cuts it short) would reach it garbled.
    if (name.IsError() || lossy || nameText.find('\0') != std::string::npos) return run.Refuse(kXls[7], n);
    goods.SetName(nameText);

    std::optional<int32_t> price = ScaledOf(CleanNumberText(cell(4).Text()), 100);
    if (!price) return run.Refuse(kXls[8], n);
    goods.price = *price;
    std::optional<double> remains = cell(5).Number();
    std::optional<int32_t> quantity = remains ? ScaledOf(*remains, 1000) : std::nullopt;
    if (!quantity) return run.Refuse(kXls[9], n);
    goods.quantity = *quantity;
    std::optional<int64_t> group = cell(6).Integer();
    if (!group || *group < 1 || *group > 100) return run.Refuse(kXls[10], n);
    goods.group = static_cast<uint8_t>(*group);
    std::optional<int64_t> tax = cell(7).Integer();
    if (!tax || *tax < 1 || *tax > 5) return run.Refuse(kXls[11], n);
    goods.tax = static_cast<uint8_t>(*tax - 1);
    int16_t* flags[] = {&goods.weighed, &goods.presenceControl, &goods.saleBlocking};
    for (int i = 0; i < 3; ++i) {
        std::optional<bool> flag = cell(8 + i).Truth();
        if (!flag) return run.Refuse(kXls[12 + i], n);
        *flags[i] = *flag ? 1 : 0;
    }
    // The record holds 8 bits: a wider number would become another operation.
    std::optional<int64_t> payout = cell(11).Integer();
    if (!payout || *payout < 0 || *payout > 255) return run.Refuse(kXls[15], n);
    goods.payoutOperation = static_cast<uint8_t>(*payout);
    return run.Accept(std::move(goods), number);
}

} // namespace

bool ReadGoodsXls(GoodsImportRun& run, xls::TSheet& sheet) {
    const int last = sheet.GetLastRow();
    int first = 0;
    while (first <= last && !HoldsNumber(sheet, first)) ++first;
    if (first > last) {
        run.Refuse(kNoData, 0);
        return false;
    }
    for (int row = first; row <= last; ++row) {
        if (!HoldsNumber(sheet, row)) continue;
        if (ReadRow(run, sheet, row) == RowEnd::Ended) return false;
    }
    return true;
}

bool ReadGoodsXlsFile(GoodsImportRun& run, xls::TTabrix4& book, const std::string& path) {
    book.Clear();
    book.Sheets().Clear();
    book.SetFilename(platform::Utf8ToUtf16(path));
    book.Read();
    if (book.Sheets().Count() == 0) {
        run.Refuse(kNoData, 0);
        return false;
    }
    return ReadGoodsXls(run, book.Sheets().GetItem(0));
}

} // namespace exchange
