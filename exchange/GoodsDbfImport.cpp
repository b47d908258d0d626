// The DBF goods reader: the records of a dBase III table whose first twelve
// fields are those of the goods report's table, each field's name and type
// checked before its value is taken.
#include "exchange/DBF.h"
#include "exchange/GoodsImport.h"
#include "platform/CodePages.h"

namespace exchange {

namespace {

const ImportMessage kOpenFailed = {ImportBox::Error, "Помилка", "Пошкоджена структура даних!"};
const ImportMessage kEmpty = {ImportBox::Error, "Помилка", "DBF-таблиця даних по товарним групам порожня!"};

// Boxes by their number in the reader's table.
const ImportMessage kDbf[] = {
    {},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Number\"!"},
    {ImportBox::Error, "Помилка", "Помилка в номері товару:\r\nрядок №%n поле \"Number\"!"},
    {ImportBox::Warning, "Попередження",
     "Номер товару виходить за межі допустимих значень:\r\nрядок №%n поле \"Number\".\r\n"
     "Можливий діапазон значень: 0..%m!\r\nПродовжити, ігноруючи всі товари за межами діапазону?"},
    {ImportBox::Error, "Ошибка", "Ошибка поля \"PLU\"!"},
    {ImportBox::Question, "Ошибка", "Ошибка в коде PLU:\r\nзапись №%n поле \"PLU\"!\r\nПропустить запись?"},
    {ImportBox::Error, "Ошибка", "Ошибка поля \"BARCODE\"!"},
    {ImportBox::Warning, "Предупреждение",
     "Не заданы  внутренний код и штрих-код товара:\r\nзапись №%n поле \"Barcode\"!\r\nПропустить запись?"},
    {ImportBox::Question, "Ошибка", "Ошибка в штрих-коде:\r\nстрока №%n колонка №2!\r\nПропустить строку?"},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Name\"!"},
    {ImportBox::Error, "Помилка",
     "Найменування товару повинно містити хоча б один символ!\r\nрядок №%n поле \"Name\"."},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Price\"!"},
    {ImportBox::Error, "Помилка", "Помилка в ціні на товар:\r\nрядок №%n поле \"Price\"!"},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Remains\"!"},
    {ImportBox::Error, "Помилка", "Помилка в кількості товару:\r\nрядок №%n поле \"Remains\"!"},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"GroupID\"!"},
    {ImportBox::Error, "Помилка", "Помилка в номері товарної групи:\r\nрядок №%n поле \"GroupID\"!"},
    {ImportBox::Error, "Помилка",
     "Помилка в номері товарної групи:\r\nрядок №%n поле \"GroupID\".\r\nМожливий діапазон значень: 1..100!"},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"VAT\"!"},
    {ImportBox::Error, "Помилка", "Помилка податкової групи:\r\nрядок №%n поле \"VAT\"!"},
    {ImportBox::Error, "Помилка",
     "Помилка податкової групи:\r\nрядок №%n поле \"VAT\".\r\nМожливий діапазон значень: \"1\"..\"5\"!"},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Weight\"!"},
    {ImportBox::Error, "Помилка", "Помилка ознаки типу товару:\r\nрядок №%n поле \"Weight\"!"},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Presence\"!"},
    {ImportBox::Error, "Помилка", "Помилка ознаки контролю наявності:\r\nрядок №%n поле \"Presence\"!"},
    {ImportBox::Error, "Помилка", "Невірна назва або тип поля DBF-таблиці:\r\nполе \"Blocking\"!"},
    {ImportBox::Error, "Помилка",
     "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nрядок №%n поле \"Blocking\"!"},
    {ImportBox::Error, "Помилка", "Помилка номера операції виплати:\r\nрядок №%n поле \"Paytype\"!"},
};

// A name the register would get altered: a character its code page lacks
// (an OEM table) or a NUL byte.
const ImportMessage kDbfName = {ImportBox::Error, "Помилка",
                                "Помилка в найменуванні товару:\r\nрядок №%n поле \"Name\"!"};

// The twelve fields by position: name, type and the box of a mismatch.
struct FieldRule {
    const char* name;
    TDbfFieldType type;
    int box;
};
const FieldRule kFields[] = {
    {"NUMBER", dftNumeric, 1},    {"PLU", dftNumeric, 4},       {"BARCODE", dftCharacter, 6},
    {"NAME", dftCharacter, 9},    {"PRICE", dftFloat, 11},      {"REMAINS", dftFloat, 13},
    {"GROUPID", dftNumeric, 15},  {"VAT", dftNumeric, 18},      {"WEIGHT", dftLogical, 21},
    {"PRESENCE", dftLogical, 23}, {"BLOCKING", dftLogical, 25}, {"PAYTYPE", dftNumeric, 27},
};

// Reads field `position` (1..12) once its name and type are right; a table
// without that field has the wrong field there too.
bool FieldIs(const TDBF& table, int position) {
    const FieldRule& rule = kFields[position - 1];
    return position <= table.FieldCount() && table.GetFieldName(position) == rule.name &&
           table.GetFieldType(position) == rule.type;
}

RowEnd ReadRecord(GoodsImportRun& run, const TDBF& table, int64_t n) {
    auto field = [&](int position) -> std::optional<std::string> {
        if (!FieldIs(table, position)) return std::nullopt;
        return table.GetFieldData(position);
    };
    auto badField = [&](int position) { return run.Refuse(kDbf[kFields[position - 1].box], n); };

    std::optional<std::string> numberText = field(1);
    if (!numberText) return run.SkipNumber() ? RowEnd::Ended : badField(1);
    int32_t number = 0;
    if (auto end = run.CheckNumber(IntegerOf(*numberText), n, kDbf[2], kDbf[3], number)) return *end;

    GoodsProg goods;
    std::optional<std::string> text = field(2);
    if (!text) return badField(2);
    std::optional<int64_t> plu = IntegerOf(*text);
    if (!plu || !IsGoodsPlu(*plu)) return run.Refuse(kDbf[5], n);
    goods.plu = static_cast<int32_t>(*plu);
    if (!(text = field(3))) return badField(3);
    if (goods.plu == 0 && text->empty()) return run.Refuse(kDbf[7], n);
    std::optional<int64_t> barcode = Integer64Of(*text);
    if (!barcode || !IsGoodsBarcode(*barcode)) return run.Refuse(kDbf[8], n);
    if (goods.plu == 0 && *barcode == 0) return run.Refuse(kDbf[7], n);
    goods.barcode = *barcode;
    if (!(text = field(4))) return badField(4);
    if (!table.FieldTextFitsAnsi(4) || text->find('\0') != std::string::npos) return run.Refuse(kDbfName, n);
    if (text->empty()) return run.Refuse(kDbf[10], n);
    goods.SetName(*text);

    if (!(text = field(5))) return badField(5);
    std::optional<int32_t> price = AmountOf(platform::AnsiToUtf16(*text), 100);
    if (!price) return run.Refuse(kDbf[12], n);
    goods.price = *price;
    if (!(text = field(6))) return badField(6);
    std::optional<int32_t> quantity = AmountOf(platform::AnsiToUtf16(*text), 1000);
    if (!quantity) return run.Refuse(kDbf[14], n);
    goods.quantity = *quantity;
    if (!(text = field(7))) return badField(7);
    std::optional<int64_t> group = IntegerOf(*text);
    if (!group) return run.Refuse(kDbf[16], n);
    if (*group < 1 || *group > 100) return run.Refuse(kDbf[17], n);
    goods.group = static_cast<uint8_t>(*group);
    if (!(text = field(8))) return badField(8);
    std::optional<int64_t> tax = IntegerOf(*text);
    if (!tax) return run.Refuse(kDbf[19], n);
    if (*tax < 1 || *tax > 5) return run.Refuse(kDbf[20], n);
    goods.tax = static_cast<uint8_t>(*tax - 1);
    int16_t* flags[] = {&goods.weighed, &goods.presenceControl, &goods.saleBlocking};
    for (int i = 0; i < 3; ++i) {
        if (!(text = field(9 + i))) return badField(9 + i);
        std::optional<bool> flag = TruthOf(*text);
        if (!flag) return run.Refuse(kDbf[22 + 2 * i], n);
        *flags[i] = *flag ? -1 : 0;
    }
    // The register has four payout operations and refuses any other number.
    if (!(text = field(12))) return badField(12);
    std::optional<int64_t> payout = IntegerOf(*text);
    if (!payout || *payout < 0 || *payout > MaxPayoutOperation) return badField(12);
    goods.payoutOperation = static_cast<uint8_t>(*payout);
    return run.Accept(std::move(goods), number);
}

} // namespace

bool ReadGoodsDbf(GoodsImportRun& run, TDBF& table) {
    if (table.IsEmpty()) {
        run.Refuse(kEmpty, 0);
        return false;
    }
    table.First();
    for (;;) {
        if (ReadRecord(run, table, table.RecNo()) == RowEnd::Ended) return false;
        if (table.Eof()) return true;
        table.Next();
    }
}

bool ReadGoodsDbfFile(GoodsImportRun& run, const std::string& path) {
    TDBF table;
    try {
        table.SetTableName(path);
        table.Open();
    } catch (const std::exception&) {
        run.Refuse(kOpenFailed, 0);
        return false;
    }
    bool done = ReadGoodsDbf(run, table);
    table.Close();
    return done;
}

} // namespace exchange
