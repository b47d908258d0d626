#include "device/simulator/Sales.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <type_traits>

#include "device/simulator/RegisterMemory.h"

namespace sim {

namespace {

constexpr double Epoch2001 = 36892.0; // 01.01.2001 in days since 30.12.1899
constexpr uint32_t MaxDocuments = 1u << 24;
constexpr std::size_t MaxTextBytes = 255;
constexpr uint32_t MaxListEntries = 4096; // package entries and service items of one document

int64_t RoundDiv(int64_t numerator, int64_t denominator) {
    return numerator >= 0 ? (numerator + denominator / 2) / denominator
                          : -((-numerator + denominator / 2) / denominator);
}

// Fixed-width register counters wrap like the register's own.
template <class T> void Add(T& field, int64_t value) {
    using U = std::make_unsigned_t<T>;
    field = static_cast<T>(static_cast<U>(static_cast<U>(field) + static_cast<U>(value)));
}

// A standing item of the receipt being built.
struct Standing {
    std::size_t record = 0;
    int goods = 0;
    int group = 0;
    int32_t amount = 0;
    int32_t cost = 0;
    int64_t net = 0; // cost after its discounts and markups
    int64_t discount = 0;
    int64_t margin = 0;
};

// Spreads a discount or markup on the total over the standing items by their
// net amounts; the kopecks left by rounding down go to the first items.
void Spread(std::vector<Standing>& items, int64_t value, bool markup) {
    const int64_t base = std::accumulate(items.begin(), items.end(), int64_t{0},
                                         [](int64_t sum, const Standing& s) { return sum + s.net; });
    std::vector<int64_t> share(items.size());
    int64_t given = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        share[i] = base == 0 ? 0 : value * items[i].net / base;
        given += share[i];
    }
    for (std::size_t i = 0; given < value; i = (i + 1) % items.size()) {
        if (markup || share[i] < items[i].net) {
            ++share[i];
            ++given;
        }
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].net += markup ? share[i] : -share[i];
        (markup ? items[i].margin : items[i].discount) += share[i];
    }
}

uint8_t ItemFlags(const Goods& g) {
    uint8_t flags = g.tax & 7;
    if (g.weighed) flags |= 0x08;
    if (g.presenceControl) flags |= 0x10;
    if (g.saleBlocking) flags |= 0x20;
    return static_cast<uint8_t>(flags | (g.payoutOperation & 3) << 6);
}

TotalRecord TotalOf(const std::vector<Standing>& items, const TaxSettings& taxes, bool refund,
                    std::array<int64_t, TaxGroupCount>& groupNet) {
    TotalRecord t;
    t.vatType = taxes.vatType;
    const bool withTax = taxes.vatType == 1 || taxes.vatType == 3;
    std::array<bool, TaxGroupCount> present{};
    int64_t total = 0;
    for (const Standing& s : items) {
        groupNet[static_cast<std::size_t>(s.group)] += s.net;
        present[static_cast<std::size_t>(s.group)] = true;
        total += s.net;
    }
    t.total = static_cast<int32_t>(total);
    // A refund's total carries no entry for the untaxed group.
    const int groups = refund ? TaxedGroupCount : TaxGroupCount;
    for (int g = 0; g < groups; ++g) {
        if (!present[static_cast<std::size_t>(g)]) continue;
        t.mask |= static_cast<uint8_t>(1 << g);
        const auto i = static_cast<std::size_t>(g);
        const uint16_t vatRate = g < TaxedGroupCount ? taxes.vatRates[i] : 0;
        const uint16_t taxRate = withTax && g < TaxedGroupCount ? taxes.taxRates[i] : 0;
        t.vat[i] = {vatRate, static_cast<int32_t>(IncludedTax(groupNet[i], vatRate, taxRate))};
        if (withTax && g < TaxedGroupCount) {
            t.tax[i] = {taxRate, static_cast<int32_t>(IncludedTax(groupNet[i], taxRate, vatRate))};
            t.taxNames[i] = taxes.taxNames[i];
        }
    }
    return t;
}

Shift& OpenShift(SalesState& s, uint32_t time) {
    if (!s.ShiftOpen()) {
        Shift shift;
        shift.number = static_cast<uint16_t>(s.shifts.empty() ? 1 : s.shifts.back().number + 1);
        shift.opened = time;
        s.shifts.push_back(std::move(shift));
    }
    return s.shifts.back();
}

uint16_t TakeDocumentNumber(SalesState& s) {
    const uint16_t number = s.nextDocument;
    s.nextDocument = static_cast<uint16_t>(number == UINT16_MAX ? 1 : number + 1);
    return number;
}

void ZeroGoodsCounters(GoodsBase& base, bool period) {
    for (int n = 0; n < base.Capacity(); ++n) {
        const Goods* g = base.At(n);
        if (g == nullptr || (!g->SoldToday() && (!period || !g->InPeriod()))) continue;
        Goods copy = *g;
        copy.day = {};
        if (period) copy.period = {};
        base.Put(n, std::move(copy));
    }
}

// Moves the figures of a receipt that stands: X report, hour lines, goods,
// shift totals and the drawer.
void CountReceipt(RegisterMemory& m, bool refund, uint32_t time, const std::vector<Standing>& items,
                  const TotalRecord& total, const std::array<int64_t, TaxGroupCount>& groupNet,
                  const std::vector<PaymentRecord>& payments) {
    Q710XReportData& x = m.xReport;
    int64_t discounts = 0, margins = 0;
    for (const Standing& s : items) {
        discounts += s.discount;
        margins += s.margin;
    }
    uint32_t* byTax = refund ? x.payoutsByTax : x.salesByTax;
    for (int g = 0; g < TaxedGroupCount; ++g) Add(byTax[g], groupNet[static_cast<std::size_t>(g)]);
    Add(refund ? x.untaxedPayouts : x.untaxedSales, groupNet[TaxedGroupCount]);
    int64_t cash = 0;
    for (const PaymentRecord& p : payments) {
        const int64_t received = p.sum - p.change;
        Add((refund ? x.payoutsByPayment : x.salesByPayment)[p.form], received);
        if (p.form == PayCash) cash += received;
    }
    Add(refund ? x.payoutReceipts : x.saleReceipts, 1);
    Add(refund ? x.discountsOnPayouts : x.discountsOnSales, discounts);
    Add(refund ? x.marginsOnPayouts : x.marginsOnSales, margins);

    const std::size_t hour = (time / 3600) % 24;
    HourLine& day = m.hours[hour];
    PeriodicHourLine& period = m.periodicHours[hour];
    Add(refund ? day.refundReceipts : day.saleReceipts, 1);
    Add(refund ? day.refundSum : day.saleSum, total.total);
    Add(refund ? period.refundReceipts : period.saleReceipts, 1);
    Add(refund ? period.refundSum : period.saleSum, total.total);

    const std::size_t side = refund ? 1 : 0;
    for (const Standing& s : items) {
        Goods g = *m.goods.At(s.goods);
        Add(g.day[side], s.amount);
        Add(g.day[2 + side], s.cost);
        Add(g.day[4 + side], s.discount);
        Add(g.day[6 + side], s.margin);
        g.period[side] = std::min(g.period[side] + static_cast<uint64_t>(s.amount), Max48);
        g.period[2 + side] = std::min(g.period[2 + side] + static_cast<uint64_t>(s.cost), Max48);
        const int64_t remainder = int64_t{g.remainder} + (refund ? s.amount : -int64_t{s.amount});
        g.remainder = static_cast<uint32_t>(std::clamp<int64_t>(remainder, 0, UINT32_MAX));
        m.goods.Put(s.goods, std::move(g));
    }

    Shift& shift = m.sales.shifts.back();
    SideTotals& totals = refund ? shift.refunds : shift.sales;
    for (std::size_t g = 0; g < TaxGroupCount; ++g) totals.totals[g] += groupNet[g];
    for (std::size_t g = 0; g < TaxedGroupCount; ++g) {
        totals.vat[g] += total.vat[g].sum;
        totals.tax[g] += total.tax[g].sum;
    }
    ++totals.receipts;
    m.sales.drawer += refund ? -cash : cash;
}

// The item lines of a receipt request become item records and standing items.
std::string AddItem(const RegisterMemory& m, const ReceiptRequest& r, const ItemRequest& item,
                    JournalDocument& doc, std::vector<Standing>& items, std::vector<int64_t>& taken) {
    const Goods* g = m.goods.At(item.goodsNumber);
    const std::string which = "goods " + std::to_string(item.goodsNumber);
    if (g == nullptr) return which + " is not programmed";
    if (g->failure) return which + " is a failure record";
    if (item.amount <= 0) return "a quantity must be above 0";
    if (!g->weighed && item.amount % 1000 != 0) return which + " is not weighed: whole quantities only";
    const int64_t price = item.price ? *item.price : int64_t{g->price};
    if (price < 0 || price > INT32_MAX) return which + ": price out of range";
    const int64_t cost = RoundDiv(price * item.amount, 1000);
    if (cost > INT32_MAX) return which + ": cost out of range";
    if (!r.refund && !item.cancelled && !r.cancelled) {
        if (g->saleBlocking) return "sale of " + which + " is blocked";
        int64_t& used = taken[static_cast<std::size_t>(item.goodsNumber)];
        if (g->presenceControl && int64_t{g->remainder} < used + item.amount) return "not enough of " + which;
        used += item.amount;
    }
    ItemRecord record;
    record.cancelled = item.cancelled;
    record.goodsNumber = g->number;
    record.code = g->Code();
    record.amount = item.amount;
    record.price = static_cast<int32_t>(price);
    record.cost = static_cast<int32_t>(cost);
    record.flags = ItemFlags(*g);
    record.refundOperationName = m.sales.payoutOperationNames[g->payoutOperation & 3];
    record.name = g->name;
    if (!item.cancelled)
        items.push_back({doc.records.size(), g->number, g->tax, item.amount, record.cost, cost, 0, 0});
    doc.records.emplace_back(std::move(record));
    return {};
}

std::string AddDiscount(const DiscountRequest& d, bool lastIsStanding, JournalDocument& doc,
                        std::vector<Standing>& items) {
    if (items.empty() || (!d.onTotal && !lastIsStanding)) return "a discount needs a standing item before it";
    int64_t base = 0;
    for (const Standing& s : items) base += s.net;
    if (!d.onTotal) base = items.back().net;
    if (d.value < 0 || (!d.byAmount && d.value > 9999)) return "discount out of range";
    const int64_t value = d.byAmount ? d.value : RoundDiv(base * d.value, 10000);
    if (!d.markup && value > base) return "a discount cannot exceed the amount it applies to";
    if (base + value > INT32_MAX) return "markup out of range";
    DiscountRecord record;
    record.cancel = d.cancelled ? 1 : 0;
    record.flags = static_cast<uint8_t>((d.markup ? 0 : 1) | (d.byAmount ? 2 : 0) | (d.onTotal ? 4 : 0) |
                                        (d.online ? 8 : 0) | (d.byGroup ? 16 : 0));
    record.percent = d.byAmount ? 0 : static_cast<uint16_t>(d.value);
    record.preTotal = static_cast<int32_t>(base);
    record.value = static_cast<int32_t>(value);
    record.id = d.id;
    doc.records.emplace_back(record);
    if (d.cancelled) return {};
    if (d.onTotal) {
        Spread(items, value, d.markup);
    } else {
        Standing& s = items.back();
        s.net += d.markup ? value : -value;
        (d.markup ? s.margin : s.discount) += value;
    }
    return {};
}

std::string AddPayments(const SalesState& s, const ReceiptRequest& r, int64_t total, JournalDocument& doc,
                        std::vector<PaymentRecord>& payments) {
    if (r.cancelled) return r.payments.empty() ? "" : "a cancelled receipt takes no payment";
    std::vector<PaymentRequest> asked = r.payments;
    if (asked.empty()) asked.push_back({PayCash, static_cast<int32_t>(total)});
    int64_t paid = 0, other = 0, cash = 0;
    for (const PaymentRequest& p : asked) {
        if (p.form > PayCredit || p.sum < 0) return "bad payment";
        paid += p.sum;
        (p.form == PayCash ? cash : other) += p.sum;
    }
    if (r.refund && paid != total) return "a refund is paid out exactly";
    if (r.refund && cash > s.drawer) return "not enough cash in the drawer";
    if (!r.refund && paid < total) return "payments below the total";
    if (!r.refund && other > total) return "card and credit payments above the total";
    int64_t change = r.refund ? 0 : paid - total;
    for (auto p = asked.rbegin(); p != asked.rend(); ++p) {
        PaymentRecord record{p->form, p->sum, 0};
        if (record.form == PayCash && change > 0) {
            record.change = static_cast<int32_t>(std::min<int64_t>(change, record.sum));
            change -= record.change;
        }
        payments.insert(payments.begin(), record);
    }
    for (const PaymentRecord& p : payments) doc.records.emplace_back(p);
    return {};
}

} // namespace

int64_t IncludedTax(int64_t gross, uint16_t rate, uint16_t otherRate) {
    return RoundDiv(gross * rate, 10000 + int64_t{rate} + otherRate);
}

ZReport ZReportOf(const SalesState& sales, const Shift& shift, uint16_t number, uint32_t time) {
    ZReport z;
    z.number = number;
    z.time = time;
    z.fiscalNumber = sales.fiscalNumber;
    z.taxNumber = sales.taxNumber;
    z.ratesTime = sales.taxes.ratesTime;
    z.vatRates = sales.taxes.vatRates;
    z.taxRates = sales.taxes.taxRates;
    z.vatType = sales.taxes.vatType;
    z.sales = shift.sales;
    z.refunds = shift.refunds;
    return z;
}

double RegisterTimeToDays(uint32_t seconds) {
    return Epoch2001 + seconds / 86400 + static_cast<double>(seconds % 86400) / 86400.0;
}

double ShiftStartDays(const SalesState& sales) {
    const Shift* shift = sales.CurrentShift();
    return shift ? RegisterTimeToDays(shift->opened) : Epoch2001;
}

void AddDocument(SalesState& s, JournalDocument doc) {
    doc.number = TakeDocumentNumber(s);
    s.clock = doc.time;
    OpenShift(s, doc.time).documents.push_back(std::move(doc));
}

std::string RecordReceipt(RegisterMemory& m, const ReceiptRequest& r) {
    SalesState& s = m.sales;
    JournalDocument doc;
    doc.type = r.refund ? (r.cancelled ? DocCancelRefundReceipt : DocRefundReceipt)
                        : (r.cancelled ? DocCancelSaleReceipt : DocSaleReceipt);
    doc.time = r.time.value_or(s.clock);
    std::vector<Standing> items;
    std::vector<int64_t> taken(static_cast<std::size_t>(m.goods.Capacity()));
    bool lastIsStanding = false;
    for (const auto& line : r.lines) {
        std::string error;
        if (const auto* item = std::get_if<ItemRequest>(&line)) {
            error = AddItem(m, r, *item, doc, items, taken);
            lastIsStanding = !item->cancelled;
        } else if (const auto* comment = std::get_if<CommentRecord>(&line)) {
            doc.records.emplace_back(*comment);
        } else {
            error = AddDiscount(std::get<DiscountRequest>(line), lastIsStanding, doc, items);
        }
        if (!error.empty()) return error;
    }
    if (items.empty() && !r.cancelled) return "a receipt needs a standing item";
    std::array<int64_t, TaxGroupCount> groupNet{};
    int64_t sum = 0;
    for (const Standing& item : items) sum += item.net;
    if (sum > INT32_MAX) return "receipt total out of range";
    const TotalRecord total = TotalOf(items, s.taxes, r.refund, groupNet);
    doc.records.emplace_back(total);
    std::vector<PaymentRecord> payments;
    if (std::string error = AddPayments(s, r, total.total, doc, payments); !error.empty()) return error;
    doc.records.emplace_back(CloseRecord{s.cashierId, s.cashierName});

    const uint32_t time = doc.time;
    AddDocument(s, std::move(doc));
    if (!r.cancelled) CountReceipt(m, r.refund, time, items, total, groupNet, payments);
    return {};
}

std::string RecordCash(RegisterMemory& m, bool cashIn, int32_t sum, std::optional<uint32_t> time) {
    SalesState& s = m.sales;
    if (sum <= 0) return "a cash sum must be above 0";
    if (!cashIn && sum > s.drawer) return "not enough cash in the drawer";
    s.drawer += cashIn ? sum : -int64_t{sum};
    JournalDocument doc;
    doc.type = cashIn ? DocCashIn : DocCashOut;
    doc.time = time.value_or(s.clock);
    doc.cash = {sum, static_cast<int32_t>(std::clamp<int64_t>(s.drawer, INT32_MIN, INT32_MAX)), s.cashierId,
                s.cashierName};
    AddDocument(s, std::move(doc));
    Add(cashIn ? m.xReport.cashIn : m.xReport.cashOut, sum);
    return {};
}

std::string CloseShift(RegisterMemory& m, std::optional<uint32_t> time) {
    SalesState& s = m.sales;
    if (!s.ShiftOpen()) return "no shift is open";
    Shift& shift = s.shifts.back();
    const uint32_t at = time.value_or(s.clock);
    if (at < shift.opened) return "the shift cannot close before it opened";
    shift.z = ZReportOf(s, shift, TakeDocumentNumber(s), at);
    shift.open = false;
    shift.closed = at;
    s.clock = at;
    m.lastDayOpened = RegisterTimeToDays(shift.opened);
    m.lastDayClosed = RegisterTimeToDays(at);
    m.xReport = {};
    m.hours = {};
    ZeroGoodsCounters(m.goods, false);
    return {};
}

void ClearSales(RegisterMemory& m) {
    m.xReport = {};
    m.hours = {};
    m.periodicHours = {};
    ZeroGoodsCounters(m.goods, true);
    m.sales.shifts.clear();
    m.sales.drawer = 0;
    m.sales.nextDocument = 1;
}

// State file.

namespace {

void WriteTotals(ByteWriter& w, const SideTotals& t) {
    for (int64_t v : t.totals) w.U64(static_cast<uint64_t>(v));
    for (int64_t v : t.vat) w.U64(static_cast<uint64_t>(v));
    for (int64_t v : t.tax) w.U64(static_cast<uint64_t>(v));
    w.U32(t.receipts);
}

void ReadTotals(ByteReader& r, SideTotals& t) {
    for (int64_t& v : t.totals) v = static_cast<int64_t>(r.U64());
    for (int64_t& v : t.vat) v = static_cast<int64_t>(r.U64());
    for (int64_t& v : t.tax) v = static_cast<int64_t>(r.U64());
    t.receipts = r.U32();
}

void WriteBytes(ByteWriter& w, const std::vector<uint8_t>& bytes) {
    w.Text(std::string(bytes.begin(), bytes.end()));
}

struct RecordWriter {
    ByteWriter& w;
    void operator()(const ItemRecord& i) const {
        w.U8(i.cancelled);
        w.U16(i.goodsNumber);
        w.U64(i.code);
        w.U32(static_cast<uint32_t>(i.amount));
        w.U32(static_cast<uint32_t>(i.price));
        w.U32(static_cast<uint32_t>(i.cost));
        w.U8(i.flags);
        w.Text(i.refundOperationName);
        w.Text(i.name);
    }
    void operator()(const CommentRecord& c) const {
        WriteBytes(w, c.attributes);
        w.Text(c.text);
    }
    void operator()(const DiscountRecord& d) const {
        w.U8(d.cancel);
        w.U8(d.flags);
        w.U16(d.percent);
        w.U32(static_cast<uint32_t>(d.preTotal));
        w.U32(static_cast<uint32_t>(d.value));
        w.U8(d.id.has_value());
        w.U64(d.id.value_or(0));
    }
    void operator()(const TotalRecord& t) const {
        w.U32(static_cast<uint32_t>(t.total));
        w.U8(t.vatType);
        w.U8(t.mask);
        for (const TaxEntry& e : t.vat) {
            w.U16(e.rate);
            w.U32(static_cast<uint32_t>(e.sum));
        }
        for (const TaxEntry& e : t.tax) {
            w.U16(e.rate);
            w.U32(static_cast<uint32_t>(e.sum));
        }
        for (const std::string& name : t.taxNames) w.Text(name);
    }
    void operator()(const PaymentRecord& p) const {
        w.U8(p.form);
        w.U32(static_cast<uint32_t>(p.sum));
        w.U32(static_cast<uint32_t>(p.change));
    }
    void operator()(const CloseRecord& c) const {
        w.U8(c.cashierId);
        w.Text(c.cashierName);
    }
};

bool ReadRecord(ByteReader& r, ReceiptRecord& out) {
    auto i32 = [&r] { return static_cast<int32_t>(r.U32()); };
    switch (r.U8()) {
    case 0: {
        ItemRecord i;
        i.cancelled = r.U8() != 0;
        i.goodsNumber = r.U16();
        i.code = r.U64();
        i.amount = i32();
        i.price = i32();
        i.cost = i32();
        i.flags = r.U8();
        i.refundOperationName = r.Text(MaxTextBytes);
        i.name = r.Text(MaxTextBytes);
        out = std::move(i);
        break;
    }
    case 1: {
        CommentRecord c;
        const std::string attributes = r.Text(MaxTextBytes);
        c.attributes.assign(attributes.begin(), attributes.end());
        c.text = r.Text(MaxTextBytes);
        out = std::move(c);
        break;
    }
    case 2: {
        DiscountRecord d;
        d.cancel = r.U8();
        d.flags = r.U8();
        d.percent = r.U16();
        d.preTotal = i32();
        d.value = i32();
        const bool hasId = r.U8() != 0;
        const uint64_t id = r.U64();
        if (hasId) d.id = id;
        out = d;
        break;
    }
    case 3: {
        TotalRecord t;
        t.total = i32();
        t.vatType = r.U8();
        t.mask = r.U8();
        for (TaxEntry& e : t.vat) e = {r.U16(), i32()};
        for (TaxEntry& e : t.tax) e = {r.U16(), i32()};
        for (std::string& name : t.taxNames) name = r.Text(MaxTextBytes);
        out = std::move(t);
        break;
    }
    case 4: {
        PaymentRecord p;
        p.form = r.U8();
        p.sum = i32();
        p.change = i32();
        out = p;
        break;
    }
    case 5: {
        CloseRecord c;
        c.cashierId = r.U8();
        c.cashierName = r.Text(MaxTextBytes);
        out = std::move(c);
        break;
    }
    default:
        return false;
    }
    return r.Ok();
}

void WriteDocument(ByteWriter& w, const JournalDocument& d) {
    w.U8(d.type);
    w.U16(d.number);
    w.U32(d.time);
    w.U32(static_cast<uint32_t>(d.records.size()));
    for (const ReceiptRecord& record : d.records) {
        w.U8(static_cast<uint8_t>(record.index()));
        std::visit(RecordWriter{w}, record);
    }
    w.U32(static_cast<uint32_t>(d.cash.sum));
    w.U32(static_cast<uint32_t>(d.cash.total));
    w.U8(d.cash.cashierId);
    w.Text(d.cash.cashierName);
    w.U32(static_cast<uint32_t>(d.packages.size()));
    for (const PackageEntry& p : d.packages) {
        w.U32(static_cast<uint32_t>(p.first));
        w.U32(static_cast<uint32_t>(p.last));
        w.U32(p.time);
    }
    w.U8(d.service.cashierId);
    w.U64(d.service.shipperId);
    w.U32(static_cast<uint32_t>(d.service.items.size()));
    for (const ServiceItem& i : d.service.items) {
        w.U64(i.code);
        w.U32(static_cast<uint32_t>(i.amount));
        w.U32(static_cast<uint32_t>(i.price));
    }
}

bool ReadDocument(ByteReader& r, JournalDocument& d) {
    d.type = r.U8();
    d.number = r.U16();
    d.time = r.U32();
    const uint32_t count = r.U32();
    for (uint32_t i = 0; i < count && r.Ok(); ++i) {
        ReceiptRecord record;
        if (!ReadRecord(r, record)) return false;
        d.records.push_back(std::move(record));
    }
    d.cash.sum = static_cast<int32_t>(r.U32());
    d.cash.total = static_cast<int32_t>(r.U32());
    d.cash.cashierId = r.U8();
    d.cash.cashierName = r.Text(MaxTextBytes);
    const uint32_t packages = r.U32();
    if (!r.Ok() || packages > MaxListEntries) return false;
    d.packages.resize(packages);
    for (PackageEntry& p : d.packages) {
        p.first = static_cast<int32_t>(r.U32());
        p.last = static_cast<int32_t>(r.U32());
        p.time = r.U32();
    }
    d.service.cashierId = r.U8();
    d.service.shipperId = r.U64();
    const uint32_t items = r.U32();
    if (!r.Ok() || items > MaxListEntries) return false;
    d.service.items.resize(items);
    for (ServiceItem& i : d.service.items) {
        i.code = r.U64();
        i.amount = static_cast<int32_t>(r.U32());
        i.price = static_cast<int32_t>(r.U32());
    }
    return r.Ok();
}

void WriteZ(ByteWriter& w, const ZReport& z) {
    w.U16(z.number);
    w.U32(z.time);
    w.Text(z.fiscalNumber);
    w.Text(z.taxNumber);
    w.U32(z.ratesTime);
    for (uint16_t v : z.vatRates) w.U16(v);
    for (uint16_t v : z.taxRates) w.U16(v);
    w.U8(z.vatType);
    WriteTotals(w, z.sales);
    WriteTotals(w, z.refunds);
}

void ReadZ(ByteReader& r, ZReport& z) {
    z.number = r.U16();
    z.time = r.U32();
    z.fiscalNumber = r.Text(MaxTextBytes);
    z.taxNumber = r.Text(MaxTextBytes);
    z.ratesTime = r.U32();
    for (uint16_t& v : z.vatRates) v = r.U16();
    for (uint16_t& v : z.taxRates) v = r.U16();
    z.vatType = r.U8();
    ReadTotals(r, z.sales);
    ReadTotals(r, z.refunds);
}

} // namespace

void SalesState::Write(ByteWriter& w) const {
    w.U32(clock);
    w.U8(cashierId);
    w.Text(cashierName);
    for (uint16_t v : taxes.vatRates) w.U16(v);
    for (uint16_t v : taxes.taxRates) w.U16(v);
    w.U8(taxes.vatType);
    w.U32(taxes.ratesTime);
    for (const std::string& name : taxes.taxNames) w.Text(name);
    w.Text(fiscalNumber);
    w.Text(taxNumber);
    for (const std::string& name : payoutOperationNames) w.Text(name);
    w.U16(nextDocument);
    w.U64(static_cast<uint64_t>(drawer));
    w.U32(static_cast<uint32_t>(shifts.size()));
    for (const Shift& shift : shifts) {
        w.U16(shift.number);
        w.U32(shift.opened);
        w.U8(shift.open);
        w.U32(shift.closed);
        w.U32(static_cast<uint32_t>(shift.documents.size()));
        for (const JournalDocument& d : shift.documents) WriteDocument(w, d);
        w.U32(static_cast<uint32_t>(shift.journalBreaks.size()));
        for (uint32_t at : shift.journalBreaks) w.U32(at);
        WriteTotals(w, shift.sales);
        WriteTotals(w, shift.refunds);
        w.U8(shift.z.has_value());
        if (shift.z) WriteZ(w, *shift.z);
    }
}

bool SalesState::Read(ByteReader& r) {
    SalesState s;
    s.clock = r.U32();
    s.cashierId = r.U8();
    s.cashierName = r.Text(MaxTextBytes);
    for (uint16_t& v : s.taxes.vatRates) v = r.U16();
    for (uint16_t& v : s.taxes.taxRates) v = r.U16();
    s.taxes.vatType = r.U8();
    s.taxes.ratesTime = r.U32();
    for (std::string& name : s.taxes.taxNames) name = r.Text(MaxTextBytes);
    s.fiscalNumber = r.Text(MaxTextBytes);
    s.taxNumber = r.Text(MaxTextBytes);
    for (std::string& name : s.payoutOperationNames) name = r.Text(MaxTextBytes);
    s.nextDocument = r.U16();
    s.drawer = static_cast<int64_t>(r.U64());
    const uint32_t shiftCount = r.U32();
    if (!r.Ok() || shiftCount > UINT16_MAX) return false;
    for (uint32_t i = 0; i < shiftCount && r.Ok(); ++i) {
        Shift shift;
        shift.number = r.U16();
        shift.opened = r.U32();
        shift.open = r.U8() != 0;
        shift.closed = r.U32();
        const uint32_t documents = r.U32();
        if (!r.Ok() || documents > MaxDocuments) return false;
        for (uint32_t d = 0; d < documents && r.Ok(); ++d) {
            JournalDocument doc;
            if (!ReadDocument(r, doc)) return false;
            shift.documents.push_back(std::move(doc));
        }
        const uint32_t breaks = r.U32();
        if (!r.Ok() || breaks > MaxListEntries) return false;
        for (uint32_t b = 0; b < breaks; ++b) shift.journalBreaks.push_back(r.U32());
        ReadTotals(r, shift.sales);
        ReadTotals(r, shift.refunds);
        if (r.U8() != 0) ReadZ(r, shift.z.emplace());
        // Only the last shift can still be open.
        if (shift.open && i + 1 != shiftCount) return false;
        s.shifts.push_back(std::move(shift));
    }
    if (!r.Ok()) return false;
    *this = std::move(s);
    return true;
}

} // namespace sim
