#include "exchange/JournalXml.h"

#include <algorithm>

#include "console/UInt64Lib.h"
#include "exchange/JournalStream.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/XmlDocument.h"

namespace exchange {

namespace {

// Escapes as the document service saves: in values also the quote and the
// line and tab characters, which a reader would otherwise normalise.
void EscapeSafe(std::string& out, std::string_view text, bool attribute) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* replacement = nullptr;
        switch (text[i]) {
        case '<':
            replacement = "&lt;";
            break;
        case '>':
            replacement = "&gt;";
            break;
        case '&':
            replacement = "&amp;";
            break;
        case '"':
            if (attribute) replacement = "&quot;";
            break;
        case '\r':
            replacement = "&#13;";
            break;
        case '\n':
            if (attribute) replacement = "&#10;";
            break;
        case '\t':
            if (attribute) replacement = "&#9;";
            break;
        default:
            break;
        }
        if (replacement == nullptr) continue;
        out.append(text.substr(run, i - run));
        out += replacement;
        run = i + 1;
    }
    out.append(text.substr(run));
}

// Characters XML does not allow become blanks first.
void Escape(std::string& out, std::string_view text, bool attribute) {
    if (platform::IsXmlSafeText(text))
        EscapeSafe(out, text, attribute);
    else
        EscapeSafe(out, platform::XmlSafeText(text), attribute);
}

std::string Utf8(std::string_view ansi) {
    // Numbers and most register texts are plain ASCII.
    if (std::all_of(ansi.begin(), ansi.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(ansi);
    return platform::AnsiToUtf8(ansi);
}

std::string Money(int64_t kopecks) {
    return Utf8(platform::FormatKopecks(kopecks));
}
std::string Amount(int64_t thousandths) {
    return Utf8(platform::FormatThousandths(thousandths));
}
std::string Time(uint32_t seconds) {
    return Utf8(platform::FormatRegisterTime(seconds));
}
const char* YesNo(bool set) {
    return set ? "YES" : "NO";
}

// Leading bytes 7..31 are dropped, later bytes 1..31 become blanks.
std::string CommentLine(std::string_view text) {
    std::size_t first = 0;
    while (first < text.size() && text[first] >= 7 && text[first] <= 31) ++first;
    std::string line(text.substr(first));
    for (char& c : line)
        if (c >= 1 && c <= 31) c = ' ';
    return Utf8(line);
}

const char* CommentAttributeName(uint8_t code) {
    static const char* const names[] = {"Compressed", "Normal", "Center", "Left", "EAN+HRI", "Print"};
    return names[code - 1];
}

class JournalWriter {
public:
    explicit JournalWriter(XmlTextWriter& w) : w(w) {}

    void Document(const JournalDocument& doc) {
        w.Start("DocumentHeader");
        w.TextElement("DocumentDateTime", Time(doc.time));
        const char* name = JournalDocumentTypeName(doc.type);
        if (name != nullptr) {
            w.TextElement("DocumentType", name);
            if (IsReceipt(doc.type) || doc.type == CashIn || doc.type == CashOut)
                w.TextElement("DocumentNumer", std::to_string(doc.number));
            if (doc.cashierId) w.TextElement("CashierId", std::to_string(*doc.cashierId));
            if (doc.itemsCount) w.TextElement("ItemsCount", std::to_string(*doc.itemsCount));
            if (doc.shipperId) w.TextElement("ShipperID", console::UInt64ToStr(*doc.shipperId));
        }
        w.End();
        if (name == nullptr) return;
        w.Start("DocumentData");
        for (const JournalRecord& record : doc.records) Record(doc.type, record);
        if (doc.cash) {
            w.Start("DocumentRecords");
            w.Attribute("CashSum", Money(doc.cash->sum));
            w.Attribute("CashTotal", Money(doc.cash->total));
            w.Attribute("CashierId", std::to_string(doc.cash->cashierId));
            w.Attribute("CashierName", Utf8(doc.cash->cashierName));
            w.End();
        }
        for (std::size_t i = 0; i < doc.packages.size(); ++i) {
            w.Start("DocumentRecord");
            w.Attribute("BLOCK", std::to_string(i + 1));
            w.Attribute("FirstPackage", std::to_string(doc.packages[i].first));
            w.Attribute("LastPackage", std::to_string(doc.packages[i].last));
            w.Attribute("DateTime", Time(doc.packages[i].time));
            w.End();
        }
        for (std::size_t i = 0; i < doc.items.size(); ++i) {
            w.Start("DocumentRecord");
            w.Attribute("ItemIndex", std::to_string(i + 1));
            Code(doc.items[i].code);
            w.Attribute("ItemAmount", Amount(doc.items[i].amount));
            w.Attribute("ItemPrice", Money(doc.items[i].price));
            w.End();
        }
        w.End();
    }

private:
    void Code(uint64_t code) {
        w.Attribute("ItemBaseCode", std::to_string(code >> 20));
        w.Attribute("ItemAddCode", std::to_string(code & 0xFFFFF));
    }

    void Record(uint8_t type, const JournalRecord& record) {
        const bool refund = IsRefundSide(type);
        // The CLOSE record of sale-side receipts is named with a final s.
        const bool saleClose = !refund && std::holds_alternative<JournalClose>(record);
        w.Start(saleClose ? "DocumentRecords" : "DocumentRecord");
        std::visit([&](const auto& r) { Write(r, refund); }, record);
        w.End();
    }

    void Write(const JournalItem& r, bool refund) {
        w.Attribute("RecordType", refund ? "REFUND" : "SALE");
        w.Attribute("ItemCanceling", YesNo(r.cancel != 0));
        Code(r.code);
        w.Attribute("ItemAmount", Amount(r.amount));
        w.Attribute("ItemPrice", Money(r.price));
        w.Attribute("ItemCost", Money(r.cost));
        w.Attribute("ItemVATIndex", std::to_string((r.flags & 7) + 1));
        w.Attribute("ItemWeight", YesNo(r.flags & 0x08));
        w.Attribute("ItemControl", YesNo(r.flags & 0x10));
        w.Attribute("ItemBlocking", YesNo(r.flags & 0x20));
        w.Attribute("ItemRefundOperationNum", std::to_string(r.flags >> 6));
        w.Attribute("ItemRefundOperationName", Utf8(r.refundOperationName));
        w.Attribute("ItemName", Utf8(r.name));
    }
    void Write(const JournalComment& r, bool) {
        w.Attribute("RecordType", "COMMENT");
        for (const JournalCommentAttribute& a : r.attributes) {
            w.Attribute("CommentAttr" + std::to_string(a.code), CommentAttributeName(a.code));
            if (a.code != 6) continue;
            w.Attribute("BarcodeHeight", std::to_string(a.parameters[0]));
            w.Attribute("BarcodeType", std::to_string(a.parameters[1]));
            w.Attribute("BarcodeWidht", std::to_string(a.parameters[2]));
        }
        w.Attribute("CommentLine", CommentLine(r.text));
    }
    void Write(const JournalDiscount& r, bool) {
        w.Attribute("RecordType", "DISCOUNT");
        w.Attribute("DsctCanceling", std::to_string(r.cancel));
        w.Attribute("DsctOperation", r.flags & 1 ? "DISCOUNT" : "MARKUP");
        w.Attribute("DsctType1", r.flags & 2 ? "AMOUNT" : "PERCENT");
        w.Attribute("DsctType2", r.flags & 4 ? "TOTAL" : "ITEM");
        w.Attribute("DsctOnline", YesNo(r.flags & 8));
        w.Attribute("DsctByGroup", YesNo(r.flags & 16));
        w.Attribute("DsctPercentValue", Money(r.percent));
        w.Attribute("DsctPreTotalValue", Money(r.preTotal));
        w.Attribute("DsctValue", Money(r.value));
        if (r.id) w.Attribute("DsctId", console::UInt64ToStr(*r.id));
    }
    void Write(const JournalTotal& r, bool refund) {
        w.Attribute("RecordType", "TOTAL");
        w.Attribute("ReceiptTotal", Money(r.total));
        w.Attribute(refund ? "VATType" : "VatType", std::to_string(r.vatType));
        for (const JournalTaxEntry& v : r.vat) {
            w.Attribute("VAT" + std::to_string(v.k), Money(v.rate));
            w.Attribute("SumVAT" + std::to_string(v.k), Money(v.sum));
        }
        for (const JournalTaxEntry& t : r.tax) {
            w.Attribute("TAX" + std::to_string(t.k), Money(t.rate));
            w.Attribute("SumTAX" + std::to_string(t.k), Money(t.sum));
        }
        for (const auto& [k, name] : r.names) w.Attribute("NameTAX" + std::to_string(k), Utf8(name));
    }
    void Write(const JournalPayment& r, bool) {
        static const char* const forms[] = {"CASH", "CARD", "CREDIT"};
        w.Attribute("RecordType", "PAYMENT");
        w.Attribute("PaymentForm", r.form < 3 ? forms[r.form] : "");
        w.Attribute("PaymentSum", Money(r.sum));
        if (r.change) w.Attribute("ChangeSum", Money(*r.change));
    }
    void Write(const JournalClose& r, bool) {
        w.Attribute("RecordType", "CLOSE");
        w.Attribute("CashierId", std::to_string(r.cashierId));
        w.Attribute("CashierName", Utf8(r.cashierName));
    }

    XmlTextWriter& w;
};

} // namespace

XmlTextWriter::XmlTextWriter() : out("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n") {}

void XmlTextWriter::WriteAttributes() {
    for (std::size_t i = 0; i < attributeCount; ++i) {
        out += ' ';
        out += attributes[i].first;
        out += "=\"";
        Escape(out, attributes[i].second, true);
        out += '"';
    }
    attributeCount = 0;
}

void XmlTextWriter::CloseStartTag() {
    if (!startTagOpen) return;
    WriteAttributes();
    out += '>';
    startTagOpen = false;
}

void XmlTextWriter::Start(std::string_view name) {
    CloseStartTag();
    out += '<';
    out += name;
    open.emplace_back(name);
    startTagOpen = true;
}

void XmlTextWriter::Attribute(std::string_view name, std::string_view value) {
    // A name given again takes the new value in its old place, as in a document.
    for (std::size_t i = 0; i < attributeCount; ++i)
        if (attributes[i].first == name) {
            attributes[i].second = value;
            return;
        }
    // The strings of earlier tags are reused: a journal writes millions of values.
    if (attributeCount == attributes.size()) attributes.emplace_back();
    attributes[attributeCount].first = name;
    attributes[attributeCount].second = value;
    ++attributeCount;
}

void XmlTextWriter::TextElement(std::string_view name, std::string_view text) {
    Start(name);
    if (!text.empty()) {
        CloseStartTag();
        Escape(out, text, false);
    }
    End();
}

void XmlTextWriter::End() {
    if (startTagOpen) {
        WriteAttributes();
        out += "/>";
        startTagOpen = false;
    } else {
        out += "</";
        out += open.back();
        out += '>';
    }
    open.pop_back();
}

void XmlTextWriter::Reserve(std::size_t bytes) {
    out.reserve(bytes);
}

std::string XmlTextWriter::Finish() {
    while (!open.empty()) End();
    out += "\r\n";
    return std::move(out);
}

void StartMainDocument(XmlTextWriter& w, const char* reportId,
                       const std::vector<std::pair<const char*, std::string>>& ids, const char* reportName) {
    w.Start("MAIN");
    w.Attribute("xmlns", MainNamespace);
    w.Start("HEADER");
    w.TextElement("DEVELOPMENT", "ТОВ \"ВЕЛОТА\"");
    w.TextElement("MODEL", "ZRV-Q710");
    w.TextElement("VERSION", "2-01");
    w.TextElement("REPORT_ID", reportId);
    for (const auto& [name, text] : ids) w.TextElement(name, text);
    w.TextElement("REPORT_NAME", reportName);
    w.End();
    w.Start("DATA");
}

std::string JournalXmlText(const Q710JournalParams& params, std::span<const uint8_t> stream) {
    XmlTextWriter w;
    // About ten bytes of text for each byte of the stream.
    w.Reserve(stream.size() * 12);
    StartMainDocument(
        w, "ELECTRONIC JOURNAL",
        {{"SMENA_ID", std::to_string(params.shift)}, {"JOURNAL_ID", std::to_string(params.journalInShift)}},
        "Электронный журнал");
    JournalWriter writer(w);
    WalkJournal(stream, [&writer](const JournalDocument& doc) { writer.Document(doc); });
    return w.Finish();
}

} // namespace exchange
