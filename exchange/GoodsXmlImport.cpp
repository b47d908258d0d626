// The XML goods reader: the items of a report document's DATA, read by the
// attribute names the goods report export writes. The document is read as a
// stream: only the frame's facts and the items within the limit are kept,
// the items past it are counted.
#include <algorithm>

#include "exchange/GoodsImport.h"
#include "exchange/ReportDocument.h"
#include "platform/CodePages.h"
#include "platform/XmlStream.h"

namespace exchange {

namespace {

// Boxes by their number in the reader's table.
const ImportMessage kXml[] = {
    {},
    {ImportBox::Error, "Помилка", "Не знайдений атрибут \"Number\"."},
    {ImportBox::Question, "Помилка",
     "Помилка в номері товару:\r\n Item #%n атрибут \"Number\"!\r\nІгнорувати?"},
    {ImportBox::Warning, "Попередження",
     "Номер товару виходить за межі допустимих значень:\r\nItem #%n атрибут \"Number\".\r\n"
     "Можливий діапазон значень: 0..%m!\r\nПродовжити, ігноруючи всі товари за межами діапазону?"},
    {ImportBox::Question, "Ошибка", "Ошибка в коде PLU:\r\nItem #%n атрибут \"PLU\"!\r\nПропустить строку?"},
    {ImportBox::Error, "Ошибка", "Ошибка в штрих-коде:\r\nItem #%n - не знайдений атрибут \"Barcode\"."},
    {ImportBox::Warning, "Предупреждение",
     "Не заданы  внутренний код и штрих-код товара:\r\nItem #%n атрибуты \"PLU\" и \"Barcode\"!\r\n"
     "Пропустить строку?"},
    {ImportBox::Question, "Ошибка",
     "Ошибка в штрих-коде:\r\nItem #%n атрибут \"Code\"!\r\nПропустить строку?"},
    {ImportBox::Question, "Помилка",
     "Найменування товару повинно містити хоча б один символ!\r\nItem #%n атрибут \"Name\"!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в найменуванні товара:\r\nItem #%n атрибут \"Name\"!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в ціні на товар:\r\nItem #%n атрибут \"Price\"!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в кількості товару:\r\nItem #%n атрибут \"Remains\"!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка в номері товарної групи:\r\nItem #%n атрибут \"GroupID\"!\r\nМожливий діапазон значень: "
     "1..100!\r\n"
     "Ігнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка податкової групи:\r\nItem #%n атрибут \"VAT\"!\r\nМожливий діапазон значень: \"1\"..\"5\"!\r\n"
     "Ігнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки типу товару:\r\nItem #%n атрибут \"Weight\"!\r\nМожливі значення: 0 - поштучний, 1 - "
     "ваговий!"
     "\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки контролю наявності товару:\r\nItem #%n атрибут \"Presence\"!\r\nМожливі значення:\r\n"
     " 0 - контролювати,\r\n 1 - не контролювати!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка ознаки блокування продажу товара при недостатній наявності:\r\nItem #%n атрибут "
     "\"Blocking\"!\r\n"
     "Можливі значення:\r\n 0 - не блокувати продаж,\r\n 1 - блокувати продаж!\r\nІгнорувати?"},
    {ImportBox::Question, "Помилка",
     "Помилка номера операції виплати:\r\nItem #%n атрибут \"PaymentType\"!\r\n"
     "Можливий діапазон значень: \"0\"..\"3\"!\r\nІгнорувати?"},
};

// The user is told how many items the limit left out.
const char* const kItemsLeft = "Імпортовано перші %1 товарів документа. Не імпортовано товарів: %2.";

// The attributes an item is read by.
const std::vector<std::string> kAttributes = {"Number", "PLU",      "Barcode",  "Name",
                                              "Price",  "Remains",  "GroupID",  "VAT",
                                              "Weight", "Presence", "Blocking", "PaymentType"};

// An attribute's value; nothing when the item lacks it.
const std::optional<std::string>& Attribute(const ReportItem& item, std::string_view attribute) {
    const auto at = std::find(kAttributes.begin(), kAttributes.end(), attribute);
    return item.values[static_cast<std::size_t>(at - kAttributes.begin())];
}

// An attribute's value; a missing attribute reads as an empty value.
std::string Value(const ReportItem& item, const char* name) {
    return Attribute(item, name).value_or(std::string());
}

RowEnd ReadItem(GoodsImportRun& run, const ReportItem& item, int64_t n) {
    int32_t number = 0;
    std::optional<std::string> numberText = Attribute(item, "Number");
    if (!numberText && !run.SkipNumber()) return run.Refuse(kXml[1], n);
    std::optional<int64_t> numberValue = numberText ? IntegerOf(*numberText) : std::nullopt;
    if (auto end = run.CheckNumber(numberValue, n, kXml[2], kXml[3], number)) return *end;

    GoodsProg goods;
    if (std::optional<std::string> plu = Attribute(item, "PLU")) {
        std::optional<int64_t> value = IntegerOf(Trimmed(*plu));
        if (!value || !IsGoodsPlu(*value)) return run.Refuse(kXml[4], n);
        goods.plu = static_cast<int32_t>(*value);
    }
    std::optional<std::string> barcodeText = Attribute(item, "Barcode");
    if (!barcodeText) return run.Refuse(kXml[5], n);
    if (goods.plu == 0 && Trimmed(*barcodeText).empty()) return run.Refuse(kXml[6], n);
    std::optional<int64_t> barcode = Integer64Of(Trimmed(*barcodeText));
    if (!barcode || !IsGoodsBarcode(*barcode)) return run.Refuse(kXml[7], n);
    if (goods.plu == 0 && *barcode == 0) return run.Refuse(kXml[6], n);
    goods.barcode = *barcode;

    std::string name = Value(item, "Name");
    if (name.empty()) return run.Refuse(kXml[8], n);
    // A name the register's code page cannot hold would reach it garbled.
    bool lossy = false;
    std::string ansiName = platform::Utf8ToAnsi(Trimmed(name), &lossy);
    if (lossy) return run.Refuse(kXml[9], n);
    goods.SetName(ansiName);

    std::optional<int32_t> price = AmountOf(platform::Utf8ToUtf16(Value(item, "Price")), 100);
    if (!price) return run.Refuse(kXml[10], n);
    goods.price = *price;
    std::string remains = Value(item, "Remains");
    std::optional<int32_t> quantity =
        remains.empty() ? 0 : AmountOf(platform::Utf8ToUtf16(Trimmed(remains)), 1000);
    if (!quantity) return run.Refuse(kXml[11], n);
    goods.quantity = *quantity;
    std::string groupText = Value(item, "GroupID");
    std::optional<int64_t> group = groupText.empty() ? 1 : IntegerOf(groupText);
    if (!group || *group < 1 || *group > 100) return run.Refuse(kXml[12], n);
    goods.group = static_cast<uint8_t>(*group);
    std::optional<int64_t> tax = IntegerOf(Value(item, "VAT"));
    if (!tax || *tax < 1 || *tax > 5) return run.Refuse(kXml[13], n);
    goods.tax = static_cast<uint8_t>(*tax - 1);
    const char* const flagNames[] = {"Weight", "Presence", "Blocking"};
    int16_t* flags[] = {&goods.weighed, &goods.presenceControl, &goods.saleBlocking};
    for (std::size_t i = 0; i < 3; ++i) {
        std::optional<bool> flag = TruthOf(Trimmed(Value(item, flagNames[i])));
        if (!flag) return run.Refuse(kXml[14 + i], n);
        *flags[i] = *flag ? -1 : 0;
    }
    // The register has four payout operations and refuses any other number.
    std::optional<int64_t> payout = IntegerOf(Value(item, "PaymentType"));
    if (!payout || *payout < 0 || *payout > MaxPayoutOperation) return run.Refuse(kXml[17], n);
    goods.payoutOperation = static_cast<uint8_t>(*payout);
    return run.Accept(std::move(goods), number);
}

// The frame's checks, then the items; the items past the limit are told.
bool ReadGoodsItems(GoodsImportRun& run, const ReportStream& document, const std::string& failure) {
    if (!failure.empty()) {
        run.Show(ImportBox::Error, "Помилка", failure);
        return false;
    }
    const std::vector<ReportItem>& items = document.Items();
    for (std::size_t index = 0; index < items.size(); ++index) {
        const ReportItem& item = items[index];
        if (std::string message = CheckReportItem(item.kind, item.name); !message.empty()) {
            run.Refuse({ImportBox::Error, "Помилка", message.c_str()}, static_cast<int64_t>(index));
            return false;
        }
        if (ReadItem(run, item, static_cast<int64_t>(index)) == RowEnd::Ended) return false;
    }
    if (document.Left() > 0) {
        std::string text = kItemsLeft;
        text.replace(text.find("%1"), 2, std::to_string(XmlGoodsLimit));
        text.replace(text.find("%2"), 2, std::to_string(document.Left()));
        run.Inform(text.c_str());
    }
    return true;
}

} // namespace

bool ReadGoodsXml(GoodsImportRun& run, std::string_view text) {
    ReportStream document(kAttributes, XmlGoodsLimit, false);
    const std::string failure = document.ReadText(text, std::nullopt);
    return ReadGoodsItems(run, document, failure);
}

bool ReadGoodsXmlFile(GoodsImportRun& run, const std::string& path) {
    ReportStream document(kAttributes, XmlGoodsLimit, false);
    const std::string failure = document.ReadFile(path, std::nullopt);
    return ReadGoodsItems(run, document, failure);
}

} // namespace exchange
