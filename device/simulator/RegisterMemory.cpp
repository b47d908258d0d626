#include "device/simulator/RegisterMemory.h"

#include <algorithm>
#include <cstring>

#include "device/simulator/SimText.h"

namespace sim {

namespace {

constexpr uint32_t ImageMagic = 0x4D533751; // "Q7SM"
constexpr uint32_t ImageVersion = 4;

const char* const Products[] = {
    "Хліб білий",       "Батон нарізний",  "Молоко 2,5%",      "Кефір 1%",        "Сир твердий",
    "Масло вершкове",   "Сметана 20%",     "Йогурт ягідний",   "Ковбаса варена",  "Сосиски молочні",
    "Яйця курячі",      "Цукор",           "Борошно пшеничне", "Рис круглий",     "Гречка",
    "Олія соняшникова", "Сіль кухонна",    "Чай чорний",       "Кава мелена",     "Цукерки шоколадні",
    "Печиво вівсяне",   "Яблука",          "Картопля",         "Цибуля ріпчаста", "Морква",
    "Сік яблучний",     "Вода мінеральна", "Пиво світле",      "Ґудзики",         "Зубна паста",
};
const char* const Variants[] = {"",       "0,5 кг",    "1 кг",   "вагове", "пакет",
                                "пляшка", "уп. 10 шт", "економ", "преміум"};
const char* const GroupNames[] = {
    "Хлібобулочні",    "Молочні продукти", "М'ясні вироби",  "Бакалія",    "Напої",
    "Овочі та фрукти", "Кондитерські",     "Побутова хімія", "Галантерея", "Тютюн",
};
const char* const Patterns[] = {
    "Дякуємо за покупку!", "Ласкаво просимо", "Приходьте ще!", "Акція тижня", "Знижка 5%",
};

// A fixed pseudo-random sequence, so every fresh register looks the same.
class Sequence {
public:
    explicit Sequence(uint32_t seed) : state_(seed) {}
    uint32_t Next(uint32_t bound) {
        state_ = state_ * 1664525u + 1013904223u;
        return bound == 0 ? 0 : (state_ >> 8) % bound;
    }

private:
    uint32_t state_;
};

std::string Cut(const std::string& text, std::size_t size) {
    return text.substr(0, std::min(text.size(), size));
}

Goods DemoGoods(int n, Sequence& seq) {
    constexpr int productCount = sizeof Products / sizeof Products[0];
    constexpr int variantCount = sizeof Variants / sizeof Variants[0];
    Goods g;
    std::string name = Products[n % productCount];
    const char* variant = Variants[(n / productCount) % variantCount];
    if (*variant) name += std::string(" ") + variant;
    if (n >= productCount * variantCount) name += " " + std::to_string(n);
    g.name = Cut(ToCp1251(name), 25);
    g.plu = n + 1;
    g.barcode = 4820000000000 + static_cast<int64_t>(n) * 17;
    g.price = 50 + seq.Next(49950);
    g.group = static_cast<uint8_t>(1 + seq.Next(100));
    g.tax = static_cast<uint8_t>(n % 5);
    g.weighed = n % 7 == 3;
    g.presenceControl = n % 3 == 0;
    g.saleBlocking = g.presenceControl && n % 2 == 0;
    g.payoutOperation = static_cast<uint8_t>(n % 11 == 0 ? seq.Next(4) : 0);
    g.remainder = n % 9 == 0 ? seq.Next(1000) : seq.Next(200000);
    if (n % 3 != 2) {
        const uint32_t sold = 1000 * (1 + seq.Next(20));
        g.day[0] = sold;
        g.day[2] = static_cast<uint32_t>(static_cast<uint64_t>(g.price) * sold / 1000);
        if (n % 10 == 0) {
            g.day[1] = 1000;
            g.day[3] = g.price;
        }
        g.day[4] = g.day[2] / 50;
        g.day[6] = n % 4 == 0 ? g.day[2] / 100 : 0;
    }
    if (n % 5 != 4) {
        const uint64_t sold = g.day[0] + 1000 * (1 + seq.Next(500));
        g.period[0] = sold;
        g.period[1] = g.day[1] + (n % 13 == 0 ? 2000 : 0);
        g.period[2] = static_cast<uint64_t>(g.price) * sold / 1000;
        g.period[3] = static_cast<uint64_t>(g.price) * g.period[1] / 1000;
    }
    return g;
}

// Shift totals of demo sales: the taxes of each group as the register computes them.
SideTotals DemoTotals(const TaxSettings& taxes, std::array<int64_t, TaxGroupCount> totals,
                      uint32_t receipts) {
    SideTotals t;
    t.totals = totals;
    for (std::size_t g = 0; g < TaxedGroupCount; ++g) t.vat[g] = IncludedTax(totals[g], taxes.vatRates[g], 0);
    t.receipts = receipts;
    return t;
}

// Sales of the demo register: shift 412 closed with its Z report, shift 413
// open with the figures of the demo X report (their receipts are not in the
// journal).
void DemoSales(RegisterMemory& m) {
    SalesState& s = m.sales;
    const Q710XReportData& x = m.xReport;
    s.clock = 726494400; // 09.01.2024 12:00:00
    s.cashierName = ToCp1251("Касир 1");
    s.fiscalNumber = "3000123456";
    s.taxNumber = "123456789012";
    s.taxes.ratesTime = 725760000; // 01.01.2024
    s.taxes.taxNames = {ToCp1251("Акциз"), ToCp1251("Збір"), "", ""};
    s.payoutOperationNames = {"", ToCp1251("Повернення"), ToCp1251("Виплата"), ToCp1251("Аванс")};
    s.nextDocument = 2046;
    s.drawer = int64_t{x.cashIn} - x.cashOut + x.salesByPayment[0] - x.payoutsByPayment[0];

    Shift closed;
    closed.number = 412;
    closed.opened = 726393600; // 08.01.2024 8:00:00
    closed.open = false;
    closed.closed = 726444000; // 08.01.2024 22:00:00
    closed.sales = DemoTotals(s.taxes, {980000, 150000, 0, 0, 5000}, 41);
    closed.refunds = DemoTotals(s.taxes, {1200, 0, 0, 0, 0}, 1);
    closed.z = ZReportOf(s, closed, 1998, closed.closed);

    Shift open;
    open.number = 413;
    open.opened = 726481800; // 09.01.2024 8:30:00
    open.sales = DemoTotals(
        s.taxes, {x.salesByTax[0], x.salesByTax[1], x.salesByTax[2], x.salesByTax[3], x.untaxedSales},
        x.saleReceipts);
    open.refunds = DemoTotals(
        s.taxes,
        {x.payoutsByTax[0], x.payoutsByTax[1], x.payoutsByTax[2], x.payoutsByTax[3], x.untaxedPayouts},
        x.payoutReceipts);
    s.shifts = {closed, open};
}

void WriteDiscountGroup(ByteWriter& w, const Q710DiscountGroupRecord& r) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&r);
    for (std::size_t i = 0; i < sizeof r; ++i) w.U8(bytes[i]);
}

void ReadDiscountGroup(ByteReader& r, Q710DiscountGroupRecord& out) {
    uint8_t bytes[sizeof out];
    for (uint8_t& b : bytes) b = r.U8();
    std::memcpy(&out, bytes, sizeof out);
}

} // namespace

void RegisterMemory::SeedGoods(int count) {
    goods.EraseAll();
    goods.AdditionalCodes().clear();
    Sequence seq(7101);
    count = std::clamp(count, 0, goods.Capacity());
    for (int n = 0; n < count; ++n) goods.Put(n, DemoGoods(n, seq));
    for (int n : {17, 123})
        if (n < count) goods.MarkFailure(n);
    for (int64_t code = 2000000000017; code < 2000000000100; code += 17) goods.AdditionalCodes().insert(code);
}

RegisterMemory RegisterMemory::Demo(int goodsCount) {
    RegisterMemory m;
    m.SeedGoods(goodsCount);
    for (int i = 0; i < 100; ++i)
        m.groupNames[i] = i < 10 ? ToCp1251(GroupNames[i]) : ToCp1251("Група ") + std::to_string(i + 1);
    for (int i = 0; i < 20; ++i) {
        m.patterns[i].cursor = static_cast<uint8_t>(i % 5);
        m.patterns[i].text = i < 5 ? ToCp1251(Patterns[i]) : "";
    }
    m.fastKeys = {"12", "345", "", "7", "", "", "9", ""};
    m.discount = 500;
    m.margin = 250;
    m.discountsAllowed = true;
    for (int i = 0; i < 15; ++i) {
        Q710DiscountGroupRecord& r = m.discountGroups[i];
        r.group = static_cast<uint8_t>(i + 1);
        r.terms = i < 3 ? static_cast<uint8_t>(1 << i) : 0;
        r.value = static_cast<uint16_t>(100 * (i + 1));
        r.firstCard = 1000 * (i + 1);
        r.lastCard = 1000 * (i + 1) + 999;
        r.beginDate = 45292.0; // 01.01.2024
        r.endDate = 45657.0;
        r.beginTime = 0.375;
        r.endTime = 0.875;
        for (int d = 0; d < 7; ++d) r.days[d] = d < 5 ? -1 : 0;
        m.discountGroupAvailable[i] = true;
    }
    Q710XReportData& x = m.xReport;
    x.saleReceipts = 57;
    x.payoutReceipts = 2;
    x.shiftStart = 45300.3541666667;
    x.salesByTax[0] = 1250050;
    x.salesByTax[1] = 340000;
    x.untaxedSales = 12000;
    x.payoutsByTax[0] = 4500;
    x.salesByPayment[0] = 1402050;
    x.salesByPayment[1] = 200000;
    x.payoutsByPayment[0] = 4500;
    x.cashIn = 50000;
    x.cashOut = 20000;
    x.marginsOnSales = 1200;
    x.discountsOnSales = 8300;
    for (int h = 8; h < 21; ++h) {
        m.hours[h] = {static_cast<uint16_t>(h), static_cast<uint16_t>(h % 4 == 0 ? 1 : 0),
                      static_cast<uint32_t>(12345 * h), static_cast<uint32_t>(h % 4 == 0 ? 990 : 0)};
        m.periodicHours[h] = {static_cast<uint32_t>(40 * h), static_cast<uint32_t>(h % 3),
                              int64_t{456789} * h, int64_t{1500} * (h % 3)};
    }
    m.lastDayOpened = 45299.3333333333;
    m.lastDayClosed = 45299.9166666667;
    m.journalOptions = 1;
    m.journalCapacity = 2097152;
    DemoSales(m);
    return m;
}

std::vector<uint8_t> RegisterMemory::Serialize() const {
    ByteWriter w;
    w.U32(ImageMagic);
    w.U32(ImageVersion);
    goods.Write(w);
    for (const std::string& name : groupNames) w.Text(name);
    for (const TextPattern& p : patterns) {
        w.U8(p.cursor);
        w.Text(p.text);
    }
    for (const std::string& key : fastKeys) w.Text(key);
    w.U16(discount);
    w.U16(margin);
    w.U8(discountsAllowed);
    w.U8(marginsAllowed);
    for (const auto& g : discountGroups) WriteDiscountGroup(w, g);
    for (bool available : discountGroupAvailable) w.U8(available);
    w.U32(static_cast<uint32_t>(sentSequences.size()));
    for (const std::string& s : sentSequences) w.Text(s);
    const auto* x = reinterpret_cast<const uint8_t*>(&xReport);
    for (std::size_t i = 0; i < sizeof xReport; ++i) w.U8(x[i]);
    for (const HourLine& h : hours) {
        w.U16(h.saleReceipts);
        w.U16(h.refundReceipts);
        w.U32(h.saleSum);
        w.U32(h.refundSum);
    }
    for (const PeriodicHourLine& h : periodicHours) {
        w.U32(h.saleReceipts);
        w.U32(h.refundReceipts);
        w.U64(static_cast<uint64_t>(h.saleSum));
        w.U64(static_cast<uint64_t>(h.refundSum));
    }
    w.F64(lastDayOpened);
    w.F64(lastDayClosed);
    w.U8(journalOptions);
    w.U32(journalCapacity);
    sales.Write(w);
    return w.Bytes();
}

bool RegisterMemory::Deserialize(const std::vector<uint8_t>& bytes) {
    ByteReader r(bytes.data(), bytes.size());
    if (r.U32() != ImageMagic || r.U32() != ImageVersion) return false;
    RegisterMemory m;
    if (!m.goods.Read(r)) return false;
    for (std::string& name : m.groupNames) name = r.Text(20);
    for (TextPattern& p : m.patterns) {
        p.cursor = r.U8();
        p.text = r.Text(28);
    }
    for (std::string& key : m.fastKeys) key = r.Text(255);
    m.discount = r.U16();
    m.margin = r.U16();
    m.discountsAllowed = r.U8() != 0;
    m.marginsAllowed = r.U8() != 0;
    for (auto& g : m.discountGroups) ReadDiscountGroup(r, g);
    for (bool& available : m.discountGroupAvailable) available = r.U8() != 0;
    const uint32_t sentCount = r.U32();
    if (!r.Ok() || sentCount > MaxSentSequences) return false;
    m.sentSequences.resize(sentCount);
    for (std::string& s : m.sentSequences) s = r.Text(255);
    uint8_t x[sizeof m.xReport];
    for (uint8_t& b : x) b = r.U8();
    std::memcpy(&m.xReport, x, sizeof x);
    for (HourLine& h : m.hours) {
        h.saleReceipts = r.U16();
        h.refundReceipts = r.U16();
        h.saleSum = r.U32();
        h.refundSum = r.U32();
    }
    for (PeriodicHourLine& h : m.periodicHours) {
        h.saleReceipts = r.U32();
        h.refundReceipts = r.U32();
        h.saleSum = static_cast<int64_t>(r.U64());
        h.refundSum = static_cast<int64_t>(r.U64());
    }
    m.lastDayOpened = r.F64();
    m.lastDayClosed = r.F64();
    m.journalOptions = r.U8();
    m.journalCapacity = r.U32();
    if (!m.sales.Read(r) || !r.Ok() || !r.AtEnd()) return false;
    *this = std::move(m);
    return true;
}

} // namespace sim
