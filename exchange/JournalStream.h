// The register's electronic journal as a byte stream: documents of a 9-byte
// header and a body, receipts made of records. The walk takes a stream from
// the device apart without ever reading past the data, a document's body or
// a record: a body cut short by the end of the data is read as far as it
// reaches, a record past its body is cut at the body's end, a record whose
// fixed fields do not fit is passed over, a record length of 0 or 1 ends its
// body, texts end at their zero or at the end of their record, and lists
// (package entries, service items) hold only the entries wholly inside the
// body. Texts are Windows-1251 bytes as the register keeps them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace exchange {

enum JournalDocumentType : uint8_t {
    SaleReceipt = 0,
    RefundReceipt = 1,
    CancelSaleReceipt = 2,
    CancelRefundReceipt = 3,
    CashIn = 4,
    CashOut = 5,
    TransmitReport = 6,
    DeliveryReport = 7,
    ServiceInfoAcceptItem = 16,
    ServiceInfoReturnItem = 17,
};

inline constexpr uint16_t JournalEndMarker = 0xFFFF;
inline constexpr std::size_t JournalHeaderSize = 9;

// The type's name as the XML carries it; null for a type not interpreted.
const char* JournalDocumentTypeName(uint8_t type);
inline bool IsReceipt(uint8_t type) {
    return type <= CancelRefundReceipt;
}
// Refund and cancelled-refund receipts.
inline bool IsRefundSide(uint8_t type) {
    return type == RefundReceipt || type == CancelRefundReceipt;
}

struct JournalItem {
    uint8_t cancel = 0;
    uint64_t code = 0;  // barcode << 20 | PLU
    int32_t amount = 0; // thousandths
    int32_t price = 0;  // kopecks
    int32_t cost = 0;
    uint8_t flags = 0; // bits 0-2 VAT index, 3 weighed, 4 presence, 5 blocked, 6-7 refund operation
    std::string refundOperationName;
    std::string name;
};

struct JournalCommentAttribute {
    uint8_t code = 0;                    // 1..6
    std::array<uint8_t, 3> parameters{}; // code 6: barcode height, type, width
};
struct JournalComment {
    std::vector<JournalCommentAttribute> attributes;
    std::string text; // as stored, up to its zero
};

struct JournalDiscount {
    uint8_t cancel = 0;
    uint8_t flags = 0; // bit 0 discount, 1 by amount, 2 on the total, 3 online, 4 by group
    uint16_t percent = 0;
    int32_t preTotal = 0;
    int32_t value = 0;
    std::optional<uint64_t> id; // only in a record of 22 bytes or more
};

// A VAT or TAX entry of a total: k = its mask bit + 1.
struct JournalTaxEntry {
    int k = 0;
    uint16_t rate = 0;
    int32_t sum = 0;
};
struct JournalTotal {
    int32_t total = 0;
    uint8_t vatType = 0;
    uint8_t mask = 0;
    std::vector<JournalTaxEntry> vat;
    std::vector<JournalTaxEntry> tax;               // VAT types 1 and 3
    std::vector<std::pair<int, std::string>> names; // k and the TAX's name
};

struct JournalPayment {
    uint8_t form = 0; // 0 cash, 1 card, 2 credit
    int32_t sum = 0;
    std::optional<int32_t> change; // cash payments of sale-side receipts
};

struct JournalClose {
    uint8_t cashierId = 0;
    std::string cashierName;
};

// Receipt records; the index is the record type (0 item ... 5 close).
using JournalRecord =
    std::variant<JournalItem, JournalComment, JournalDiscount, JournalTotal, JournalPayment, JournalClose>;

struct JournalCash {
    int32_t sum = 0;
    int32_t total = 0;
    uint8_t cashierId = 0;
    std::string cashierName;
};

struct JournalPackage {
    int32_t first = 0;
    int32_t last = 0;
    uint32_t time = 0;
};

struct JournalServiceItem {
    uint64_t code = 0;
    int32_t amount = 0;
    int32_t price = 0;
};

// One document and what its type makes of its body.
struct JournalDocument {
    uint16_t bodyLength = 0; // as the header gives it
    uint8_t type = 0;
    uint16_t number = 0;                  // the header's; cash documents the one at the start of their body
    uint32_t time = 0;                    // seconds since 01.01.2001 00:00:00
    std::vector<JournalRecord> records;   // receipts
    std::optional<JournalCash> cash;      // cash in and out
    std::vector<JournalPackage> packages; // package reports
    std::optional<uint8_t> cashierId;     // service information, as far as its body reaches
    std::optional<uint8_t> itemsCount;
    std::optional<uint64_t> shipperId;
    std::vector<JournalServiceItem> items;
};

// Calls `visit` for every document of the stream in order, until the end
// marker or the end of the data.
void WalkJournal(std::span<const uint8_t> stream, const std::function<void(const JournalDocument&)>& visit);

} // namespace exchange
