// The register's sales: receipts, cash documents and shifts as the register
// keeps them in its electronic journal, and how each one moves the figures
// the reports read (X report, hour lines, goods counters, shift totals).
// Money is in kopecks, amounts in thousandths, rates in hundredths of a
// percent, times in seconds since 01.01.2001 00:00:00.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "device/simulator/Bytes.h"

namespace sim {

struct RegisterMemory;

// Document types as the journal stream numbers them.
enum DocumentType : uint8_t {
    DocSaleReceipt = 0,
    DocRefundReceipt = 1,
    DocCancelSaleReceipt = 2,
    DocCancelRefundReceipt = 3,
    DocCashIn = 4,
    DocCashOut = 5,
    DocTransmitReport = 6,
    DocDeliveryReport = 7,
    DocZReport = 10,
    DocServiceAccept = 16,
    DocServiceReturn = 17,
};

// Payment forms.
enum PaymentForm : uint8_t { PayCash = 0, PayCard = 1, PayCredit = 2 };

// Tax groups А..Г carry VAT; group Д (index 4) is untaxed.
inline constexpr int TaxGroupCount = 5;
inline constexpr int TaxedGroupCount = 4;

// Receipt records, in the order the receipt printed them. The variant's index
// is the record type of the journal stream (0 item ... 5 close).
struct ItemRecord {
    bool cancelled = false;
    uint16_t goodsNumber = 0;
    uint64_t code = 0;  // barcode << 20 | PLU
    int32_t amount = 0; // thousandths
    int32_t price = 0;  // kopecks
    int32_t cost = 0;   // price x amount, kopecks
    uint8_t flags =
        0; // bits 0-2 tax group, 3 weighed, 4 presence control, 5 sale blocked, 6-7 payout operation
    std::string refundOperationName; // Windows-1251
    std::string name;
};
struct CommentRecord {
    // Print attributes 1..6; a 6 is followed by its three parameter bytes
    // (barcode height, type, width), as the journal stores them.
    std::vector<uint8_t> attributes;
    std::string text;
};
struct DiscountRecord {
    uint8_t cancel = 0; // not 0: cancelled, not applied
    // bit 0 discount (clear: markup), 1 by amount (clear: by percent), 2 on the
    // total (clear: on the item before it), 3 online, 4 by discount group
    uint8_t flags = 0;
    uint16_t percent = 0; // 0 for an amount
    int32_t preTotal = 0; // the amount it applied to
    int32_t value = 0;
    std::optional<uint64_t> id;
};
struct TaxEntry {
    uint16_t rate = 0;
    int32_t sum = 0;
};
struct TotalRecord {
    int32_t total = 0;
    uint8_t vatType = 0;
    uint8_t mask = 0; // tax groups present: VAT entries (and TAX entries for groups below 4)
    std::array<TaxEntry, TaxGroupCount> vat{};
    std::array<TaxEntry, TaxedGroupCount> tax{}; // only for VAT types 1 and 3
    std::array<std::string, TaxedGroupCount> taxNames;
};
struct PaymentRecord {
    uint8_t form = PayCash;
    int32_t sum = 0;
    int32_t change = 0; // cash payments of sale receipts only
};
struct CloseRecord {
    uint8_t cashierId = 0;
    std::string cashierName;
};
using ReceiptRecord =
    std::variant<ItemRecord, CommentRecord, DiscountRecord, TotalRecord, PaymentRecord, CloseRecord>;

// The body of a cash-in or cash-out document.
struct CashBody {
    int32_t sum = 0;
    int32_t total = 0; // cash in the drawer afterwards
    uint8_t cashierId = 0;
    std::string cashierName;
};

// One entry of a package report: the packages first..last sent (or
// delivered) at a time.
struct PackageEntry {
    int32_t first = 0;
    int32_t last = 0;
    uint32_t time = 0;
};

// Service information for the PC: goods taken in from (or given back to) a
// shipper. It goes into the journal only; no figure moves.
struct ServiceItem {
    uint64_t code = 0;  // barcode << 20 | PLU
    int32_t amount = 0; // thousandths
    int32_t price = 0;  // kopecks
};
struct ServiceInfo {
    uint8_t cashierId = 0;
    uint64_t shipperId = 0;
    std::vector<ServiceItem> items; // at most 255
};

struct JournalDocument {
    uint8_t type = DocSaleReceipt;
    uint16_t number = 0;
    uint32_t time = 0;
    std::vector<ReceiptRecord> records; // receipts
    CashBody cash;                      // cash documents
    std::vector<PackageEntry> packages; // package reports (transmit, delivery)
    ServiceInfo service;                // service information
};

// One side (sales or refunds) of a shift's totals by tax group.
struct SideTotals {
    std::array<int64_t, TaxGroupCount> totals{};
    std::array<int64_t, TaxedGroupCount> vat{};
    std::array<int64_t, TaxedGroupCount> tax{};
    uint32_t receipts = 0;
};

// The daily Z report as GetReport hands it out (layout of the 178-byte answer).
struct ZReport {
    uint16_t number = 0;
    uint32_t time = 0;
    std::string fiscalNumber; // FN, Windows-1251
    std::string taxNumber;    // PN
    uint32_t ratesTime = 0;   // VAT_DT
    std::array<uint16_t, TaxedGroupCount> vatRates{};
    std::array<uint16_t, TaxedGroupCount> taxRates{};
    uint8_t vatType = 0;
    SideTotals sales;
    SideTotals refunds;
};

struct Shift {
    uint16_t number = 0;
    uint32_t opened = 0;
    bool open = true;
    uint32_t closed = 0;
    std::vector<JournalDocument> documents; // in the order the register made them
    // The electronic journal starts anew at these documents (the shift's
    // journal 2, 3, ...); journal 1 starts at the shift's first document.
    std::vector<uint32_t> journalBreaks;
    SideTotals sales;
    SideTotals refunds;
    std::optional<ZReport> z; // once closed
};

struct TaxSettings {
    std::array<uint16_t, TaxedGroupCount> vatRates{2000, 700, 0, 0};
    std::array<uint16_t, TaxedGroupCount> taxRates{};
    uint8_t vatType = 0;    // 1 and 3 add TAX entries to receipt totals
    uint32_t ratesTime = 0; // when the rates were programmed
    std::array<std::string, TaxedGroupCount> taxNames;
};

// Everything about sales that the register keeps besides the report figures.
struct SalesState {
    uint32_t clock = 0; // the register's clock; documents without a time of their own take it
    uint8_t cashierId = 1;
    std::string cashierName; // Windows-1251
    TaxSettings taxes;
    std::string fiscalNumber;
    std::string taxNumber;
    std::array<std::string, 4> payoutOperationNames; // by payout operation number 0..3
    uint16_t nextDocument = 1;
    int64_t drawer = 0;        // cash in the drawer
    std::vector<Shift> shifts; // in order; the last one may be open

    bool ShiftOpen() const { return !shifts.empty() && shifts.back().open; }
    const Shift* CurrentShift() const { return ShiftOpen() ? &shifts.back() : nullptr; }

    void Write(ByteWriter& w) const;
    bool Read(ByteReader& r);
};

// What a scenario asks the register to sell or refund.
struct ItemRequest {
    int goodsNumber = 0;
    int32_t amount = 1000;
    std::optional<int32_t> price; // an open price instead of the goods' own
    bool cancelled = false;
};
struct DiscountRequest {
    bool markup = false;
    bool byAmount = false;
    int32_t value = 0; // kopecks by amount, hundredths of a percent by percent
    bool onTotal = false;
    bool online = false;
    bool byGroup = false;
    std::optional<uint64_t> id;
    bool cancelled = false;
};
struct PaymentRequest {
    uint8_t form = PayCash;
    int32_t sum = 0;
};
struct ReceiptRequest {
    bool refund = false;
    bool cancelled = false; // the receipt is cancelled before payment: nothing counts
    std::optional<uint32_t> time;
    std::vector<std::variant<ItemRequest, CommentRecord, DiscountRequest>> lines;
    std::vector<PaymentRequest> payments; // none: the total in cash
};

// Each of these changes nothing and answers the reason (UTF-8) when the
// register would refuse; otherwise it records the document, moves the
// figures and answers an empty text.
std::string RecordReceipt(RegisterMemory& memory, const ReceiptRequest& request);
std::string RecordCash(RegisterMemory& memory, bool cashIn, int32_t sum, std::optional<uint32_t> time);
// Records a document made elsewhere in the open shift (opening the next
// shift when none is open): it takes the next document number and sets the
// clock to its time.
void AddDocument(SalesState& s, JournalDocument doc);
// A package report (transmit or delivery) and service information (accept
// or return): journal documents that move no figure.
std::string RecordPackages(RegisterMemory& memory, bool delivery, std::vector<PackageEntry> entries,
                           std::optional<uint32_t> time);
std::string RecordServiceInfo(RegisterMemory& memory, bool returned, ServiceInfo info,
                              std::optional<uint32_t> time);
// Starts the open shift's next electronic journal.
std::string StartJournal(RegisterMemory& memory);

// Closes the open shift with its Z report: the day's figures start again.
std::string CloseShift(RegisterMemory& memory, std::optional<uint32_t> time);

// The Z report of a shift with the register's present identity and rates.
ZReport ZReportOf(const SalesState& sales, const Shift& shift, uint16_t number, uint32_t time);

// Zero sales: the X report, both hour reports, every goods counter, the
// shifts and the drawer; the goods table and the settings stay.
void ClearSales(RegisterMemory& memory);

// The X report's shift start: days since 30.12.1899, exactly 01.01.2001
// 00:00:00 while no shift is open.
double ShiftStartDays(const SalesState& sales);

// Register seconds as days since 30.12.1899.
double RegisterTimeToDays(uint32_t seconds);

// The tax included in a gross sum at `rate` when the gross also holds
// `otherRate` (VAT and TAX of one group), rounded half away from zero.
int64_t IncludedTax(int64_t gross, uint16_t rate, uint16_t otherRate);

} // namespace sim
