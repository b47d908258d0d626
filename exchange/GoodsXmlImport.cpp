// The XML goods reader: the items of a report document's DATA, read by the
// attribute names the goods report export writes. The document is read as a
// stream: only the frame's facts and the items within the limit are kept,
// the items past it are counted.
#include <array>

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
constexpr std::array<std::string_view, 12> kAttributes = {"Number", "PLU",      "Barcode",  "Name",
                                                          "Price",  "Remains",  "GroupID",  "VAT",
                                                          "Weight", "Presence", "Blocking", "PaymentType"};

// A child of DATA within the limit: its kind and name, and the values of the
// attributes above it has.
struct GoodsItem {
    platform::XmlNodeKind kind = platform::XmlNodeKind::None;
    std::string name;
    std::array<std::optional<std::string>, kAttributes.size()> values;

    std::optional<std::string> Attribute(std::string_view attribute) const {
        for (std::size_t i = 0; i < kAttributes.size(); ++i)
            if (kAttributes[i] == attribute) return values[i];
        return std::nullopt;
    }
};

// The frame's facts and DATA's children as the document streams past.
class GoodsDocument : public platform::XmlStreamHandler {
public:
    void StartElement(std::size_t depth, std::string_view name,
                      const platform::XmlStreamAttributes& attributes) override {
        GoodsItem* item = Node(depth, platform::XmlNodeKind::Element, name);
        if (item == nullptr) return;
        for (std::size_t i = 0; i < attributes.Count(); ++i) {
            const std::string attribute = attributes.Name(i);
            for (std::size_t k = 0; k < kAttributes.size(); ++k)
                if (kAttributes[k] == attribute && !item->values[k]) item->values[k] = attributes.Value(i);
        }
    }
    void Leaf(std::size_t depth, platform::XmlNodeKind kind, std::string_view name) override {
        Node(depth, kind, name);
    }

    ReportShape shape;
    std::vector<GoodsItem> items; // the first XmlGoodsLimit children of DATA
    std::size_t left = 0;         // its items past them

private:
    // Takes a node in; the item to fill when it is a child of DATA within the limit.
    GoodsItem* Node(std::size_t depth, platform::XmlNodeKind kind, std::string_view name) {
        const bool element = kind == platform::XmlNodeKind::Element;
        if (depth == 0) {
            if (element) shape.rootName = name;
        } else if (depth == 1) {
            const std::size_t index = shape.rootChildren++;
            if (index == 0) shape.firstName = name;
            if (index == 2) shape.thirdName = name;
            openChild = element ? index : kNone;
        } else if (depth == 2 && openChild == 0) {
            shape.firstHasChildren = true;
        } else if (depth == 2 && openChild == 2) {
            shape.thirdHasChildren = true;
            if (items.size() == XmlGoodsLimit) {
                // Only items past the limit are goods left out.
                if (element && name == "Item") ++left;
                return nullptr;
            }
            items.push_back({kind, std::string(name), {}});
            return element ? &items.back() : nullptr;
        }
        return nullptr;
    }

    static constexpr std::size_t kNone = ~std::size_t{0};
    std::size_t openChild = kNone; // the child of the root whose children come now
};

// An attribute's value; a missing attribute reads as an empty value.
std::string Value(const GoodsItem& item, const char* name) {
    return item.Attribute(name).value_or(std::string());
}

RowEnd ReadItem(GoodsImportRun& run, const GoodsItem& item, int64_t n) {
    int32_t number = 0;
    std::optional<std::string> numberText = item.Attribute("Number");
    if (!numberText && !run.SkipNumber()) return run.Refuse(kXml[1], n);
    std::optional<int64_t> numberValue = numberText ? IntegerOf(*numberText) : std::nullopt;
    if (auto end = run.CheckNumber(numberValue, n, kXml[2], kXml[3], number)) return *end;

    GoodsProg goods;
    if (std::optional<std::string> plu = item.Attribute("PLU")) {
        std::optional<int64_t> value = IntegerOf(Trimmed(*plu));
        if (!value || !IsGoodsPlu(*value)) return run.Refuse(kXml[4], n);
        goods.plu = static_cast<int32_t>(*value);
    }
    std::optional<std::string> barcodeText = item.Attribute("Barcode");
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
bool ReadGoodsItems(GoodsImportRun& run, const GoodsDocument& document,
                    const platform::XmlStreamResult& result, std::string_view path) {
    if (!result.Ok()) {
        run.Show(ImportBox::Error, "Помилка",
                 result.fileError ? result.reason : XmlStructureMessage(path, result.reason, result.line));
        return false;
    }
    if (std::string message = CheckReportShape(document.shape, std::nullopt); !message.empty()) {
        run.Show(ImportBox::Error, "Помилка", message);
        return false;
    }
    for (std::size_t index = 0; index < document.items.size(); ++index) {
        const GoodsItem& item = document.items[index];
        if (std::string message = CheckReportItem(item.kind, item.name); !message.empty()) {
            run.Refuse({ImportBox::Error, "Помилка", message.c_str()}, static_cast<int64_t>(index));
            return false;
        }
        if (ReadItem(run, item, static_cast<int64_t>(index)) == RowEnd::Ended) return false;
    }
    if (document.left > 0) {
        std::string text = kItemsLeft;
        text.replace(text.find("%1"), 2, std::to_string(XmlGoodsLimit));
        text.replace(text.find("%2"), 2, std::to_string(document.left));
        run.Inform(text.c_str());
    }
    return true;
}

} // namespace

bool ReadGoodsXml(GoodsImportRun& run, std::string_view text) {
    GoodsDocument document;
    const platform::XmlStreamResult result = platform::StreamXmlText(text, document);
    return ReadGoodsItems(run, document, result, {});
}

bool ReadGoodsXmlFile(GoodsImportRun& run, const std::string& path) {
    GoodsDocument document;
    const platform::XmlStreamResult result = platform::StreamXmlFile(path, document);
    return ReadGoodsItems(run, document, result, path);
}

} // namespace exchange
