// The workbook goods reader: the rows of the first sheet from the first one
// whose column A holds a number, columns A..L as the goods report's workbook
// export writes them (number, barcode, PLU, name, price, remains, ...).
// The workbook headers come before Qt's: its `slots` macro would rewrite them.
#include "exchange/WorkbookCells.h"

#include <cmath>
#include <limits>

#include "exchange/GoodsImport.h"
#include "exchange/NumberTexts.h"
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

// A goods row: column A holds a number, an error value or a formula whose
// value is not known (these get the number's message).
bool IsGoodsRow(WorkbookCells& cells, int row) {
    return cells.At(0, row).IsNumberOrError();
}

// One cell as the reader takes it.
struct Cell : WorkbookValue {
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
    // The text of the value as the reader judges it for a number.
    std::u16string NumberText() const {
        if (const auto* text = std::get_if<std::u16string>(&value)) return *text;
        return platform::AnsiToUtf16(Text());
    }
    // The value as a number; a text must hold one (the one rule of number
    // texts). Nothing for a missing cell or an error.
    std::optional<double> Number() const {
        if (error) return std::nullopt;
        if (const auto* text = std::get_if<std::u16string>(&value)) return NumberTextValue(*text);
        if (const auto* flag = std::get_if<uint8_t>(&value)) return *flag;
        if (const auto* number = std::get_if<int32_t>(&value)) return *number;
        if (const auto* number = std::get_if<double>(&value)) return *number;
        return std::nullopt;
    }
    // The number, or a text that holds one, rounded to the nearest integer
    // (ties to even) within 32 bits.
    std::optional<int64_t> Integer() const {
        std::optional<double> number = Number();
        return number ? WorkbookValue{xls::ctFloat, *number}.Integer() : std::nullopt;
    }
    std::optional<bool> Truth() const {
        if (error) return std::nullopt;
        if (std::holds_alternative<std::u16string>(value)) return TruthOf(Trimmed(Text()));
        std::optional<double> number = Number();
        if (!number) return std::nullopt;
        return *number != 0;
    }
};

RowEnd ReadRow(GoodsImportRun& run, WorkbookCells& cells, int row) {
    auto cell = [&](int col) { return Cell{cells.At(col, row)}; };
    const int64_t n = row;
    int32_t number = 0;
    if (auto end = run.CheckNumber(cell(0).Integer(), n, kXls[1], kXls[2], number)) return *end;

    // An error value, or a formula without one, is no value of any column:
    // an empty PLU would become 0, and "#DIV/0!" a price of 0.
    GoodsProg goods;
    Cell code = cell(1);
    std::string barcodeText = code.Text();
    if (barcodeText.empty() && !code.error) return run.Refuse(kXls[3], n);
    std::optional<int64_t> barcode = code.error ? std::nullopt : Integer64Of(barcodeText);
    if (!barcode || !IsGoodsBarcode(*barcode)) return run.Refuse(kXls[4], n);
    goods.barcode = *barcode;
    Cell plu = cell(2);
    if (plu.error || !plu.Text().empty()) {
        std::optional<int64_t> value = plu.error ? std::nullopt : IntegerOf(plu.Text());
        if (!value || !IsGoodsPlu(*value)) return run.Refuse(kXls[5], n);
        goods.plu = static_cast<int32_t>(*value);
    }
    if (goods.plu == 0 && goods.barcode == 0) return run.Refuse(kXls[3], n);

    Cell name = cell(3);
    bool lossy = false;
    std::string nameText = name.Text(&lossy);
    if (nameText.empty() && !name.error) return run.Refuse(kXls[6], n);
    // A name the register's code page cannot hold (or with a NUL, which cuts
    // it short) would reach it garbled.
    if (name.error || lossy || nameText.find('\0') != std::string::npos) return run.Refuse(kXls[7], n);
    goods.SetName(nameText);

    // A number is taken as it is; a text as a price text (a currency, the
    // thousands apart).
    Cell priceCell = cell(4);
    std::optional<int32_t> price;
    if (priceCell.IsNumber())
        price = AmountOf(*priceCell.Number(), 100);
    else if (!priceCell.error)
        price = AmountOf(priceCell.NumberText(), 100);
    if (!price) return run.Refuse(kXls[8], n);
    goods.price = *price;
    std::optional<double> remains = cell(5).Number();
    std::optional<int32_t> quantity = remains ? AmountOf(*remains, 1000) : std::nullopt;
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
    // The register has four payout operations and refuses any other number.
    std::optional<int64_t> payout = cell(11).Integer();
    if (!payout || *payout < 0 || *payout > MaxPayoutOperation) return run.Refuse(kXls[15], n);
    goods.payoutOperation = static_cast<uint8_t>(*payout);
    return run.Accept(std::move(goods), number);
}

} // namespace

bool ReadGoodsXls(GoodsImportRun& run, WorkbookCells& cells) {
    const int last = cells.Sheet().GetLastRow();
    int first = 0;
    while (first <= last && !IsGoodsRow(cells, first)) ++first;
    if (first > last) {
        run.Refuse(kNoData, 0);
        return false;
    }
    for (int row = first; row <= last; ++row) {
        if (!IsGoodsRow(cells, row)) continue;
        if (ReadRow(run, cells, row) == RowEnd::Ended) return false;
    }
    return true;
}

bool ReadGoodsXlsFile(GoodsImportRun& run, xls::TTabrix4& book, const std::string& path) {
    ReadImportWorkbook(book, path);
    if (book.Sheets().Count() == 0) {
        run.Refuse(kNoData, 0);
        return false;
    }
    WorkbookCells cells(book, 0);
    return ReadGoodsXls(run, cells);
}

} // namespace exchange
