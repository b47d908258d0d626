// The CSV goods reader: one goods row per line, the first twelve fields of
// the goods report's CSV layout.
#include <array>

#include "exchange/CsvOptions.h"
#include "exchange/GoodsImport.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"

namespace exchange {

namespace {

constexpr std::size_t kFields = 12;
constexpr std::size_t kNameField = 3;

// Boxes by their number in the reader's table; the fields after the goods
// number count from 1 in the texts.
const ImportMessage kCsv[] = {
    {},
    {ImportBox::Question, "Помилка", "Помилка в номері товару:\r\nрядок №%n стовбчик №1!\r\nІгнорувати?"},
    {ImportBox::Warning, "Попередження",
     "Номер товару виходить за межі допустимих значень:\r\nрядок №%n стовбчик №1.\r\n"
     "Можливий діапазон значень: 0..%m!\r\nПродовжити, ігноруючи всі товари за межами діапазону?"},
    {ImportBox::Question, "Ошибка", "Ошибка в коде PLU:\r\nстрока №%n колонка №1!\r\nПропустить строку?"},
    {ImportBox::Warning, "Предупреждение",
     "Не заданы  внутренний код и штрих-код товара:\r\nстрока №%n колонка №2!\r\nПропустить строку?"},
    {ImportBox::Question, "Ошибка", "Ошибка в штрих-коде:\r\nстрока №%n колонка №2!\r\nПропустить строку?"},
    {ImportBox::Question, "Помилка",
     "Помилка в найменуванні товару:\r\nрядок №%n стовбчик №3!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Найменування товару повинно містити хоча б один символ!\r\nрядок №%n стовбчик №3.\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в найменуванні товара:\r\nрядок №%n стовбчик №3!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка", "Помилка в ціні на товар:\r\nрядок №%n стовбчик №4!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка", "Помилка в кількості товару:\r\nрядок №%n стовбчик №5!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в номері товарної групи:\r\nрядок №%n стовбчик №6.\r\nМожливий діапазон значень: 1..100!\r\n"
     "Ігнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка податкової групи:\r\nрядок №%n стовбчик №7.\r\nМожливий діапазон значень: "
     "1..5!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки типу товару:\r\nрядок №%n стовбчик №8.\r\nМожливі значення: 0 - поштучний, 1 - "
     "ваговий!\r\n"
     "Ігнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки контролю наявності товару:\r\nрядок №%n стовбчик №9.\r\nМожливі значення:\r\n"
     " 0 - контролювати,\r\n 1 - не контролювати!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nрядок №%n стовбчик №10.\r\n"
     "Можливі значення:\r\n 0 - не блокувати продаж,\r\n 1 - блокувати продаж!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка номера операції виплати:\r\nрядок №%n стовбчик №11.\r\nМожливий діапазон значень: 0..3!\r\n"
     "Ігнорувати?"},
};

const ImportMessage kFormatError = {ImportBox::Error, "Помилка", "Помилка формату даних (рядок №%n)!"};

// The fields of a line from the left; fields the line lacks are empty (they
// fail their own check). A field that begins with a quote is taken whole, a
// delimiter or a doubled quote inside it included, whatever QUOTES says; one
// whose quotes are not right is nothing, and the fields after it are not
// split then. The numbers are trimmed; the name keeps what its quotes hold,
// blanks included, and an unquoted one is trimmed unless LRBlanks is set.
struct LineFields {
    std::array<std::optional<std::string>, kFields> fields{};
    bool nameQuoted = false;
};

LineFields SplitFields(std::string_view line, const console::CsvOptionsRecord& options) {
    LineFields out;
    for (std::size_t i = 0; i < kFields; ++i) {
        const bool name = i == kNameField;
        std::optional<CsvField> field = NextCsvField(line, options.Delimiter, name && options.LRBlanks);
        if (!field) break;
        const bool whole = name && (field->quoted || options.LRBlanks);
        out.fields[i] = whole ? std::move(field->text) : std::string(Trimmed(field->text));
        if (name) out.nameQuoted = field->quoted;
    }
    return out;
}

// A flag field: "0" clear, "1" set (all bits).
std::optional<int16_t> FlagOf(std::string_view field) {
    std::optional<int64_t> value = IntegerOf(field);
    if (!value || (*value != 0 && *value != 1)) return std::nullopt;
    return static_cast<int16_t>(*value == 1 ? -1 : 0);
}

RowEnd ReadLine(GoodsImportRun& run, std::string_view line, int64_t n,
                const console::CsvOptionsRecord& options) {
    const LineFields split = SplitFields(line, options);
    // A field whose quotes are not right converts to nothing.
    std::array<std::string_view, kFields> f{};
    for (std::size_t i = 0; i < kFields; ++i)
        if (split.fields[i]) f[i] = *split.fields[i];
    auto given = [&split](std::size_t i) { return split.fields[i].has_value(); };
    auto integer = [&](std::size_t i) { return given(i) ? IntegerOf(f[i]) : std::nullopt; };
    auto amount = [&](std::size_t i, int scale) {
        return given(i) ? AmountOf(platform::AnsiToUtf16(f[i]), scale) : std::nullopt;
    };

    int32_t number = 0;
    if (auto end = run.CheckNumber(integer(0), n, kCsv[1], kCsv[2], number)) return *end;

    GoodsProg goods;
    std::optional<int64_t> plu = given(1) && f[1].empty() ? std::optional<int64_t>(0) : integer(1);
    if (!plu || !IsGoodsPlu(*plu)) return run.Refuse(kCsv[3], n);
    goods.plu = static_cast<int32_t>(*plu);
    if (goods.plu == 0 && given(2) && f[2].empty()) return run.Refuse(kCsv[4], n);
    std::optional<int64_t> barcode = given(2) ? Integer64Of(f[2]) : std::nullopt;
    if (!barcode || !IsGoodsBarcode(*barcode)) return run.Refuse(kCsv[5], n);
    if (goods.plu == 0 && *barcode == 0) return run.Refuse(kCsv[4], n);
    goods.barcode = *barcode;

    // A name whose quotes are not right, with a NUL byte that would cut it
    // short in the register, or with a character the register's code page
    // lacks, is no name.
    if (!given(kNameField) || (options.Quotes && !split.nameQuoted) ||
        f[kNameField].find('\0') != std::string_view::npos)
        return run.Refuse(kCsv[6], n);
    const std::string_view name = f[kNameField];
    std::optional<std::string> ansi = options.Cp866 ? OemNameToAnsi(name) : std::string(name);
    if (!ansi) return run.Refuse(kCsv[6], n);
    if (ansi->empty()) return run.Refuse(kCsv[7], n);
    goods.SetName(std::move(*ansi));

    std::optional<int32_t> price = amount(4, 100);
    if (!price) return run.Refuse(kCsv[9], n);
    goods.price = *price;
    std::optional<int32_t> quantity = amount(5, 1000);
    if (!quantity) return run.Refuse(kCsv[10], n);
    goods.quantity = *quantity;
    std::optional<int64_t> group = integer(6);
    if (!group || *group < 1 || *group > 100) return run.Refuse(kCsv[11], n);
    goods.group = static_cast<uint8_t>(*group);
    std::optional<int64_t> tax = integer(7);
    if (!tax || *tax < 1 || *tax > 5) return run.Refuse(kCsv[12], n);
    goods.tax = static_cast<uint8_t>(*tax - 1);
    int16_t* flags[] = {&goods.weighed, &goods.presenceControl, &goods.saleBlocking};
    for (std::size_t i = 0; i < 3; ++i) {
        std::optional<int16_t> flag = given(8 + i) ? FlagOf(f[8 + i]) : std::nullopt;
        if (!flag) return run.Refuse(kCsv[13 + i], n);
        *flags[i] = *flag;
    }
    std::optional<int64_t> payout = integer(11);
    if (!payout || *payout < 0 || *payout > MaxPayoutOperation) return run.Refuse(kCsv[16], n);
    goods.payoutOperation = static_cast<uint8_t>(*payout);
    return run.Accept(std::move(goods), number);
}

} // namespace

bool ReadGoodsCsv(GoodsImportRun& run, std::string_view file, const console::CsvOptionsRecord& options) {
    int64_t n = 0;
    for (std::size_t pos = 0; pos < file.size();) {
        std::size_t end = file.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = file.size();
        std::string_view line = file.substr(pos, end - pos);
        pos = end;
        if (pos < file.size() && file[pos] == '\r') ++pos;
        if (pos < file.size() && file[pos] == '\n' && (pos == end || file[end] == '\r')) ++pos;
        ++n;
        if (!options.LRBlanks) line = Trimmed(line);
        if (line.empty()) {
            if (options.IgnoreEmptyLines) continue;
            run.Refuse(kFormatError, n);
            return false;
        }
        if (ReadLine(run, line, n, options) == RowEnd::Ended) return false;
    }
    return true;
}

bool ReadGoodsCsvFile(GoodsImportRun& run, const std::string& path,
                      const console::CsvOptionsRecord& options) {
    const std::string bytes = platform::ReadWholeFile(path);
    // Names read byte for byte from a UTF-8 file would reach the register garbled.
    if (IsUtf8Text(bytes, options.Cp866)) {
        run.Show(ImportBox::Error, "Помилка", Utf8FileMessage);
        return false;
    }
    return ReadGoodsCsv(run, bytes, options);
}

} // namespace exchange
