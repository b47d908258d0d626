#include "device/simulator/Journal.h"

#include <algorithm>
#include <type_traits>
#include <variant>

#include "device/simulator/RegisterMemory.h"

namespace sim {

namespace {

constexpr std::size_t MaxBody = 0xFFFE; // 0xFFFF marks the end of the journal
constexpr std::size_t MaxPackageEntries = 1000;
constexpr std::size_t MaxServiceItems = 255;

bool RefundSide(uint8_t type) {
    return type == DocRefundReceipt || type == DocCancelRefundReceipt;
}

void Text(ByteWriter& w, const std::string& text) {
    for (char c : text) w.U8(static_cast<uint8_t>(c));
    w.U8(0);
}

// The payload of each record after its length and type bytes.
struct RecordPayload {
    ByteWriter& w;
    bool refund;
    void operator()(const ItemRecord& i) const {
        w.U8(i.cancelled ? 1 : 0);
        w.U64(i.code);
        w.U32(static_cast<uint32_t>(i.amount));
        w.U32(static_cast<uint32_t>(i.price));
        w.U32(static_cast<uint32_t>(i.cost));
        w.U8(i.flags);
        Text(w, i.refundOperationName);
        Text(w, i.name);
    }
    void operator()(const CommentRecord& c) const {
        for (uint8_t a : c.attributes) w.U8(a);
        Text(w, c.text);
    }
    void operator()(const DiscountRecord& d) const {
        w.U8(d.cancel);
        w.U8(d.flags);
        w.U16(d.percent);
        w.U32(static_cast<uint32_t>(d.preTotal));
        w.U32(static_cast<uint32_t>(d.value));
        if (d.id) w.U64(*d.id);
    }
    void operator()(const TotalRecord& t) const {
        w.U32(static_cast<uint32_t>(t.total));
        w.U8(t.vatType);
        w.U8(t.mask);
        // A refund's total has no fifth entry.
        const int vatEntries = refund ? TaxedGroupCount : TaxGroupCount;
        for (int g = 0; g < vatEntries; ++g) {
            if ((t.mask >> g & 1) == 0) continue;
            w.U16(t.vat[static_cast<std::size_t>(g)].rate);
            w.U32(static_cast<uint32_t>(t.vat[static_cast<std::size_t>(g)].sum));
        }
        if (t.vatType != 1 && t.vatType != 3) return;
        for (int g = 0; g < TaxedGroupCount; ++g) {
            if ((t.mask >> g & 1) == 0) continue;
            w.U16(t.tax[static_cast<std::size_t>(g)].rate);
            w.U32(static_cast<uint32_t>(t.tax[static_cast<std::size_t>(g)].sum));
        }
        for (int g = 0; g < TaxedGroupCount; ++g)
            if (t.mask >> g & 1) Text(w, t.taxNames[static_cast<std::size_t>(g)]);
    }
    void operator()(const PaymentRecord& p) const {
        w.U8(p.form);
        w.U32(static_cast<uint32_t>(p.sum));
        if (p.form == PayCash && !refund) w.U32(static_cast<uint32_t>(p.change));
    }
    void operator()(const CloseRecord& c) const {
        w.U8(c.cashierId);
        Text(w, c.cashierName);
    }
};

std::vector<uint8_t> ReceiptBody(const JournalDocument& doc) {
    std::vector<uint8_t> body;
    for (const ReceiptRecord& record : doc.records) {
        ByteWriter payload;
        std::visit(RecordPayload{payload, RefundSide(doc.type)}, record);
        const std::size_t length = std::min<std::size_t>(2 + payload.Bytes().size(), 255);
        // A record the register could not hold, or one past the largest body, is left out.
        if (2 + payload.Bytes().size() > 255 || body.size() + length > MaxBody) continue;
        body.push_back(static_cast<uint8_t>(length));
        body.push_back(static_cast<uint8_t>(record.index()));
        body.insert(body.end(), payload.Bytes().begin(), payload.Bytes().end());
    }
    return body;
}

std::vector<uint8_t> BodyOf(const JournalDocument& doc) {
    ByteWriter w;
    switch (doc.type) {
    case DocCashIn:
    case DocCashOut:
        w.U16(doc.number);
        w.U32(static_cast<uint32_t>(doc.cash.sum));
        w.U32(static_cast<uint32_t>(doc.cash.total));
        w.U8(doc.cash.cashierId);
        Text(w, doc.cash.cashierName);
        return w.Bytes();
    case DocTransmitReport:
    case DocDeliveryReport:
        for (const PackageEntry& p : doc.packages) {
            w.U32(static_cast<uint32_t>(p.first));
            w.U32(static_cast<uint32_t>(p.last));
            w.U32(p.time);
        }
        return w.Bytes();
    case DocServiceAccept:
    case DocServiceReturn:
        w.U8(doc.service.cashierId);
        w.U8(static_cast<uint8_t>(doc.service.items.size()));
        w.U64(doc.service.shipperId);
        for (const ServiceItem& i : doc.service.items) {
            w.U64(i.code);
            w.U32(static_cast<uint32_t>(i.amount));
            w.U32(static_cast<uint32_t>(i.price));
        }
        return w.Bytes();
    default:
        return ReceiptBody(doc);
    }
}

void PutU16(std::vector<uint8_t>& bytes, std::size_t at, uint16_t value) {
    if (at + 2 > bytes.size()) return;
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

std::optional<uint32_t> TimeOr(std::optional<uint32_t> time, const SalesState& s) {
    return time ? time : std::optional<uint32_t>(s.clock);
}

} // namespace

std::string JournalDamage::Describe() const {
    std::string text;
    if (bodyLength)
        text += "body-length " + std::to_string(bodyLength->document) + " " +
                std::to_string(bodyLength->length) + ";";
    if (recordLength)
        text += "record-length " + std::to_string(recordLength->document) + " " +
                std::to_string(recordLength->record) + " " + std::to_string(recordLength->length) + ";";
    if (cut) text += "cut " + std::to_string(*cut) + ";";
    if (noEnd) text += "no-end;";
    if (pad != 0) text += "pad " + std::to_string(pad) + ";";
    if (endless) text += "endless;";
    if (zLength) text += "z-length " + std::to_string(*zLength) + ";";
    if (zType) text += "z-type " + std::to_string(*zType) + ";";
    return text;
}

std::vector<JournalRef> JournalsOf(const SalesState& sales) {
    std::vector<JournalRef> journals;
    for (const Shift& shift : sales.shifts) {
        std::vector<std::size_t> starts = {0};
        for (uint32_t b : shift.journalBreaks)
            if (b > starts.back() && b <= shift.documents.size()) starts.push_back(b);
        for (std::size_t j = 0; j < starts.size(); ++j) {
            const std::size_t end = j + 1 < starts.size() ? starts[j + 1] : shift.documents.size();
            journals.push_back({&shift, static_cast<uint8_t>(j + 1), starts[j], end});
        }
    }
    return journals;
}

std::vector<uint8_t> DocumentBytes(const JournalDocument& doc) {
    std::vector<uint8_t> body = BodyOf(doc);
    body.resize(std::min(body.size(), MaxBody));
    ByteWriter w;
    w.U16(static_cast<uint16_t>(body.size()));
    w.U8(doc.type);
    w.U16(doc.number);
    w.U32(doc.time);
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

std::vector<uint8_t> JournalStream(const JournalRef& journal, const JournalDamage& damage) {
    std::vector<uint8_t> stream;
    for (std::size_t d = journal.begin; d < journal.end; ++d) {
        const JournalDocument& doc = journal.shift->documents[d];
        std::vector<uint8_t> bytes = DocumentBytes(doc);
        const std::size_t index = d - journal.begin;
        if (damage.bodyLength && damage.bodyLength->document == index)
            PutU16(bytes, 0, damage.bodyLength->length);
        if (damage.recordLength && damage.recordLength->document == index) {
            // Records follow one another by their own length bytes.
            std::size_t at = 9;
            for (std::size_t r = 0; r < damage.recordLength->record && at < bytes.size() && bytes[at] > 0;
                 ++r)
                at += bytes[at];
            if (at < bytes.size()) bytes[at] = damage.recordLength->length;
        }
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    if (damage.cut) {
        stream.resize(std::min(stream.size(), *damage.cut));
    } else if (!damage.noEnd) {
        stream.push_back(0xFF);
        stream.push_back(0xFF);
    }
    return stream;
}

std::vector<std::vector<uint8_t>> JournalBlocks(const std::vector<uint8_t>& stream, uint8_t pad) {
    std::vector<std::vector<uint8_t>> blocks;
    for (std::size_t at = 0; at < stream.size() || blocks.empty(); at += JournalBlockBytes) {
        std::vector<uint8_t> block(JournalBlockBytes, pad);
        const std::size_t n = std::min(JournalBlockBytes, stream.size() - std::min(at, stream.size()));
        std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(std::min(at, stream.size())), n,
                    block.begin());
        blocks.push_back(std::move(block));
    }
    return blocks;
}

Q710JournalParams ParamsOf(const JournalRef& journal) {
    Q710JournalParams params{};
    params.shift = journal.shift->number;
    params.journalInShift = journal.inShift;
    for (std::size_t d = journal.begin; d < journal.end; ++d) {
        const JournalDocument& doc = journal.shift->documents[d];
        const auto bytes = static_cast<uint32_t>(DocumentBytes(doc).size());
        if (doc.type == DocServiceAccept || doc.type == DocServiceReturn)
            params.pcInfoLength += bytes;
        else
            params.controlTapeLength += bytes;
    }
    return params;
}

uint64_t JournalBytesUsed(const SalesState& sales) {
    uint64_t used = 0;
    for (const JournalRef& j : JournalsOf(sales)) {
        const Q710JournalParams p = ParamsOf(j);
        used += uint64_t{p.controlTapeLength} + p.pcInfoLength + 2;
    }
    return used;
}

std::vector<uint8_t> ZReportBuffer(const ZReport& z, const JournalDamage& damage) {
    ByteWriter w;
    w.U16(damage.zLength.value_or(165));
    w.U8(damage.zType.value_or(DocZReport));
    w.U16(z.number);
    w.U32(z.time);
    Text(w, z.fiscalNumber);
    Text(w, z.taxNumber);
    w.U32(z.ratesTime);
    for (uint16_t r : z.vatRates) w.U16(r);
    for (uint16_t r : z.taxRates) w.U16(r);
    w.U8(z.vatType);
    for (const SideTotals* side : {&z.sales, &z.refunds}) {
        for (int64_t v : side->totals) w.U32(static_cast<uint32_t>(v));
        for (int64_t v : side->vat) w.U32(static_cast<uint32_t>(v));
        for (int64_t v : side->tax) w.U32(static_cast<uint32_t>(v));
        w.U16(static_cast<uint16_t>(side->receipts));
    }
    // Identities too long for the answer are cut with it.
    std::vector<uint8_t> buffer = w.Bytes();
    buffer.resize(ZReportBytes, 0);
    return buffer;
}

std::string RecordPackages(RegisterMemory& memory, bool delivery, std::vector<PackageEntry> entries,
                           std::optional<uint32_t> time) {
    if (entries.empty() || entries.size() > MaxPackageEntries)
        return "a package report holds 1..1000 entries";
    JournalDocument doc;
    doc.type = delivery ? DocDeliveryReport : DocTransmitReport;
    doc.time = *TimeOr(time, memory.sales);
    doc.packages = std::move(entries);
    AddDocument(memory.sales, std::move(doc));
    return {};
}

std::string RecordServiceInfo(RegisterMemory& memory, bool returned, ServiceInfo info,
                              std::optional<uint32_t> time) {
    if (info.items.size() > MaxServiceItems) return "service information holds at most 255 items";
    JournalDocument doc;
    doc.type = returned ? DocServiceReturn : DocServiceAccept;
    doc.time = *TimeOr(time, memory.sales);
    doc.service = std::move(info);
    AddDocument(memory.sales, std::move(doc));
    return {};
}

std::string StartJournal(RegisterMemory& memory) {
    SalesState& s = memory.sales;
    if (!s.ShiftOpen()) return "no shift is open";
    Shift& shift = s.shifts.back();
    const auto at = static_cast<uint32_t>(shift.documents.size());
    const uint32_t last = shift.journalBreaks.empty() ? 0 : shift.journalBreaks.back();
    if (at == last) return "the shift's journal holds no document yet";
    if (JournalsOf(s).size() >= 255) return "the register keeps at most 255 journals";
    shift.journalBreaks.push_back(at);
    return {};
}

} // namespace sim
