#include "exchange/JournalStream.h"

#include <algorithm>

namespace exchange {

namespace {

// Little-endian reads inside one span; the caller checks the size first.
class Bytes {
public:
    explicit Bytes(std::span<const uint8_t> data) : data(data) {}
    std::size_t Size() const { return data.size(); }
    bool Has(std::size_t offset, std::size_t count) const {
        return offset <= data.size() && count <= data.size() - offset;
    }
    uint64_t Unsigned(std::size_t offset, std::size_t width) const {
        uint64_t value = 0;
        for (std::size_t i = width; i-- > 0;) value = value << 8 | data[offset + i];
        return value;
    }
    uint8_t U8(std::size_t offset) const { return data[offset]; }
    uint16_t U16(std::size_t offset) const { return static_cast<uint16_t>(Unsigned(offset, 2)); }
    uint32_t U32(std::size_t offset) const { return static_cast<uint32_t>(Unsigned(offset, 4)); }
    int32_t I32(std::size_t offset) const { return static_cast<int32_t>(U32(offset)); }
    uint64_t U64(std::size_t offset) const { return Unsigned(offset, 8); }
    // The text from `offset` to its zero or the end; `next` is the offset
    // after the zero (the end when there is none).
    std::string Text(std::size_t offset, std::size_t& next) const {
        if (offset >= data.size()) {
            next = data.size();
            return {};
        }
        auto begin = data.begin() + static_cast<std::ptrdiff_t>(offset);
        auto zero = std::find(begin, data.end(), uint8_t{0});
        next = zero == data.end() ? data.size() : static_cast<std::size_t>(zero - data.begin()) + 1;
        return std::string(begin, zero);
    }

private:
    std::span<const uint8_t> data;
};

std::optional<JournalRecord> ReadItem(const Bytes& r) {
    if (!r.Has(0, 24)) return std::nullopt;
    JournalItem item;
    item.cancel = r.U8(2);
    item.code = r.U64(3);
    item.amount = r.I32(11);
    item.price = r.I32(15);
    item.cost = r.I32(19);
    item.flags = r.U8(23);
    std::size_t next = 0;
    item.refundOperationName = r.Text(24, next);
    item.name = r.Text(next, next);
    return item;
}

std::optional<JournalRecord> ReadComment(const Bytes& r) {
    JournalComment comment;
    std::size_t at = 2;
    while (at < r.Size() && r.U8(at) >= 1 && r.U8(at) <= 6) {
        JournalCommentAttribute attribute{r.U8(at), {}};
        if (attribute.code == 6) {
            // Its three parameters must be there, or the run ends.
            if (!r.Has(at + 1, 3)) {
                at = r.Size();
                break;
            }
            for (std::size_t p = 0; p < 3; ++p) attribute.parameters[p] = r.U8(at + 1 + p);
            at += 3;
        }
        comment.attributes.push_back(attribute);
        ++at;
    }
    std::size_t next = 0;
    comment.text = r.Text(at, next);
    return comment;
}

std::optional<JournalRecord> ReadDiscount(const Bytes& r) {
    if (!r.Has(0, 14)) return std::nullopt;
    JournalDiscount d;
    d.cancel = r.U8(2);
    d.flags = r.U8(3);
    d.percent = r.U16(4);
    d.preTotal = r.I32(6);
    d.value = r.I32(10);
    // The 8-byte id needs a record of 22 bytes.
    if (r.Has(14, 8)) d.id = r.U64(14);
    return d;
}

std::optional<JournalRecord> ReadTotal(const Bytes& r, bool refund) {
    if (!r.Has(0, 8)) return std::nullopt;
    JournalTotal t;
    t.total = r.I32(2);
    t.vatType = r.U8(6);
    t.mask = r.U8(7);
    std::size_t at = 8;
    // Entries are read as far as they reach.
    auto entries = [&](int bits, std::vector<JournalTaxEntry>& out) {
        for (int bit = 0; bit < bits; ++bit) {
            if ((t.mask >> bit & 1) == 0) continue;
            if (!r.Has(at, 6)) return false;
            out.push_back({bit + 1, r.U16(at), r.I32(at + 2)});
            at += 6;
        }
        return true;
    };
    if (!entries(refund ? 4 : 5, t.vat)) return t;
    if (t.vatType != 1 && t.vatType != 3) return t;
    if (!entries(4, t.tax)) return t;
    for (int bit = 0; bit < 4 && at < r.Size(); ++bit) {
        if ((t.mask >> bit & 1) == 0) continue;
        std::string name = r.Text(at, at);
        t.names.emplace_back(bit + 1, std::move(name));
    }
    return t;
}

std::optional<JournalRecord> ReadPayment(const Bytes& r, bool refund) {
    if (!r.Has(0, 7)) return std::nullopt;
    JournalPayment p;
    p.form = r.U8(2);
    p.sum = r.I32(3);
    if (!refund && p.form == 0 && r.Has(7, 4)) p.change = r.I32(7);
    return p;
}

std::optional<JournalRecord> ReadClose(const Bytes& r) {
    if (!r.Has(0, 3)) return std::nullopt;
    JournalClose c;
    c.cashierId = r.U8(2);
    std::size_t next = 0;
    c.cashierName = r.Text(3, next);
    return c;
}

void ReadReceipt(std::span<const uint8_t> body, bool refund, JournalDocument& doc) {
    std::size_t at = 0;
    while (body.size() - at >= 2) {
        const std::size_t length = body[at];
        // A record that cannot hold its own type ends the body.
        if (length < 2) break;
        const Bytes record(body.subspan(at, std::min(length, body.size() - at)));
        std::optional<JournalRecord> read;
        switch (record.U8(1)) {
        case 0:
            read = ReadItem(record);
            break;
        case 1:
            read = ReadComment(record);
            break;
        case 2:
            read = ReadDiscount(record);
            break;
        case 3:
            read = ReadTotal(record, refund);
            break;
        case 4:
            read = ReadPayment(record, refund);
            break;
        case 5:
            read = ReadClose(record);
            break;
        default:
            break;
        }
        if (read) doc.records.push_back(std::move(*read));
        at += length;
        if (at >= body.size()) break;
    }
}

void ReadCash(const Bytes& body, JournalDocument& doc) {
    if (body.Has(0, 2)) doc.number = body.U16(0);
    if (!body.Has(0, 11)) return;
    JournalCash cash;
    cash.sum = body.I32(2);
    cash.total = body.I32(6);
    cash.cashierId = body.U8(10);
    std::size_t next = 0;
    cash.cashierName = body.Text(11, next);
    doc.cash = std::move(cash);
}

void ReadPackages(const Bytes& body, JournalDocument& doc) {
    for (std::size_t at = 0; body.Has(at, 12); at += 12)
        doc.packages.push_back({body.I32(at), body.I32(at + 4), body.U32(at + 8)});
}

void ReadService(const Bytes& body, JournalDocument& doc) {
    if (body.Has(0, 1)) doc.cashierId = body.U8(0);
    if (body.Has(1, 1)) doc.itemsCount = body.U8(1);
    if (body.Has(2, 8)) doc.shipperId = body.U64(2);
    const std::size_t count = doc.itemsCount.value_or(0);
    for (std::size_t i = 0; i < count && body.Has(10 + 16 * i, 16); ++i) {
        const std::size_t at = 10 + 16 * i;
        doc.items.push_back({body.U64(at), body.I32(at + 8), body.I32(at + 12)});
    }
}

} // namespace

const char* JournalDocumentTypeName(uint8_t type) {
    switch (type) {
    case SaleReceipt:
        return "SaleReceipt";
    case RefundReceipt:
        return "RefundReceipt";
    case CancelSaleReceipt:
        return "CancelSaleReceipt";
    case CancelRefundReceipt:
        return "CancelRefundReceipt";
    case CashIn:
        return "CashIn";
    case CashOut:
        return "CashOut";
    case TransmitReport:
        return "TransmitReport";
    case DeliveryReport:
        return "DeliveryReport";
    case ServiceInfoAcceptItem:
        return "ServiceInfoAcceptItem";
    case ServiceInfoReturnItem:
        return "ServiceInfoReturnItem";
    default:
        return nullptr;
    }
}

void WalkJournal(std::span<const uint8_t> stream, const std::function<void(const JournalDocument&)>& visit) {
    const Bytes data(stream);
    std::size_t at = 0;
    while (data.Has(at, 2)) {
        const uint16_t length = data.U16(at);
        if (length == JournalEndMarker || !data.Has(at, JournalHeaderSize)) break;
        JournalDocument doc;
        doc.bodyLength = length;
        doc.type = data.U8(at + 2);
        doc.number = data.U16(at + 3);
        doc.time = data.U32(at + 5);
        const std::size_t bodyStart = at + JournalHeaderSize;
        // A body cut short by the end of the data is read as far as it reaches.
        const std::span<const uint8_t> body =
            stream.subspan(bodyStart, std::min<std::size_t>(length, stream.size() - bodyStart));
        if (IsReceipt(doc.type))
            ReadReceipt(body, IsRefundSide(doc.type), doc);
        else if (doc.type == CashIn || doc.type == CashOut)
            ReadCash(Bytes(body), doc);
        else if (doc.type == TransmitReport || doc.type == DeliveryReport)
            ReadPackages(Bytes(body), doc);
        else if (doc.type == ServiceInfoAcceptItem || doc.type == ServiceInfoReturnItem)
            ReadService(Bytes(body), doc);
        visit(doc);
        at = bodyStart + length;
    }
}

} // namespace exchange
