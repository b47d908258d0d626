// The control commands of sales (language in README.md): receipts, cash
// documents, shift closing, the register's clock, cashier and tax settings,
// and direct settings of report figures for tests at the counters' limits.
#include <cstddef>
#include <cstring>
#include <set>
#include <sstream>

#include "device/simulator/ControlWords.h"
#include "device/simulator/Simulator.h"

namespace sim {

namespace {

bool Quoted(const std::string& word) {
    return !word.empty() && word[0] == '\x01';
}

// A decimal with up to `decimals` digits after a point, as a count of
// 1/10^decimals units: "12.5" with 2 decimals is 1250. No sign.
std::optional<int64_t> Scaled(const std::string& word, int decimals) {
    if (word.empty() || Quoted(word)) return std::nullopt;
    int64_t value = 0;
    int digits = 0;
    int after = -1;
    for (char c : word) {
        if (c == '.' && after < 0) {
            after = 0;
            continue;
        }
        if (c < '0' || c > '9' || ++digits > 15) return std::nullopt;
        value = value * 10 + (c - '0');
        if (after >= 0 && ++after > decimals) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    for (int i = after < 0 ? 0 : after; i < decimals; ++i) value *= 10;
    return value;
}

std::optional<int32_t> Scaled32(const std::string& word, int decimals) {
    const auto value = Scaled(word, decimals);
    if (!value || *value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*value);
}

// Days from 01.01.0001 of a civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

// A register time: seconds since 01.01.2001, or YYYY-MM-DDTHH:MM[:SS].
std::optional<uint32_t> TimeOf(const std::string& word) {
    if (auto n = Number(word)) {
        if (*n < 0 || *n > UINT32_MAX) return std::nullopt;
        return static_cast<uint32_t>(*n);
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    const int got = std::sscanf(word.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail);
    if (got != 5 && got != 6) return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
        return std::nullopt;
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > monthDays[mo - 1] + (mo == 2 && leap ? 1 : 0)) return std::nullopt;
    const int64_t days = DaysFromCivil(y, mo, d) - DaysFromCivil(2001, 1, 1);
    const int64_t seconds = days * 86400 + h * 3600 + mi * 60 + s;
    if (seconds < 0 || seconds > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(seconds);
}

// Print attributes: 1..5, or 6:height:type:width.
std::optional<std::vector<uint8_t>> AttributesOf(const std::string& word) {
    std::vector<uint8_t> out;
    std::istringstream list(Plain(word));
    std::string item;
    while (std::getline(list, item, ',')) {
        std::vector<long long> parts;
        std::istringstream fields(item);
        std::string field;
        while (std::getline(fields, field, ':')) {
            const auto n = Number(field);
            if (!n || *n < 0 || *n > 255) return std::nullopt;
            parts.push_back(*n);
        }
        if (parts.empty() || parts[0] < 1 || parts[0] > 6 || (parts[0] == 6) != (parts.size() == 4) ||
            (parts[0] != 6 && parts.size() != 1))
            return std::nullopt;
        for (long long p : parts) out.push_back(static_cast<uint8_t>(p));
    }
    return out;
}

// Reads the words of `receipt sale|refund ...` into a request; the reason on failure.
std::string ParseReceipt(const std::vector<std::string>& words, ReceiptRequest& r) {
    if (words.size() < 2 || (words[1] != "sale" && words[1] != "refund")) return "receipt sale|refund ...";
    r.refund = words[1] == "refund";
    enum { None, Item, Comment, Discount } current = None;
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::string& w = words[i];
        auto next = [&]() -> const std::string* { return i + 1 < words.size() ? &words[++i] : nullptr; };
        const std::string* value = nullptr;
        if (w == "at") {
            const auto t = (value = next()) ? TimeOf(*value) : std::nullopt;
            if (!t) return "at needs a time (YYYY-MM-DDTHH:MM[:SS] or seconds)";
            r.time = t;
        } else if (w == "cancel") {
            r.cancelled = true;
        } else if (w == "item") {
            const auto n = (value = next()) ? Number(*value) : std::nullopt;
            if (!n || *n < 0 || *n >= GoodsCapacity) return "item needs a goods number";
            ItemRequest item;
            item.goodsNumber = static_cast<int>(*n);
            r.lines.emplace_back(item);
            current = Item;
        } else if (w == "comment") {
            value = next();
            if (!value || !Quoted(*value)) return "comment needs a quoted text";
            r.lines.emplace_back(CommentRecord{{}, Plain(*value)});
            current = Comment;
        } else if (w == "discount" || w == "markup") {
            DiscountRequest d;
            d.markup = w == "markup";
            const std::string* kind = next();
            value = next();
            const auto v = value ? Scaled32(*value, 2) : std::nullopt;
            if (!kind || (*kind != "percent" && *kind != "amount") || !v) return w + " percent P|amount A";
            d.byAmount = *kind == "amount";
            d.value = *v;
            r.lines.emplace_back(d);
            current = Discount;
        } else if (w == "pay") {
            static const char* const forms[] = {"cash", "card", "credit"};
            const std::string* form = next();
            value = next();
            const auto sum = value ? Scaled32(*value, 2) : std::nullopt;
            int index = -1;
            for (int f = 0; form && f < 3; ++f)
                if (*form == forms[f]) index = f;
            if (index < 0 || !sum) return "pay cash|card|credit SUM";
            r.payments.push_back({static_cast<uint8_t>(index), *sum});
            current = None;
        } else if (current == Item && (w == "qty" || w == "price" || w == "cancelled")) {
            auto& item = std::get<ItemRequest>(r.lines.back());
            if (w == "cancelled") {
                item.cancelled = true;
                continue;
            }
            const auto v = (value = next()) ? Scaled32(*value, w == "qty" ? 3 : 2) : std::nullopt;
            if (!v) return w + " needs a number";
            (w == "qty" ? item.amount : item.price.emplace()) = *v;
        } else if (current == Comment && w == "attr") {
            const auto attributes = (value = next()) ? AttributesOf(*value) : std::nullopt;
            if (!attributes) return "attr needs a list of 1..5 or 6:height:type:width";
            std::get<CommentRecord>(r.lines.back()).attributes = *attributes;
        } else if (current == Discount &&
                   (w == "total" || w == "online" || w == "group" || w == "cancelled")) {
            auto& d = std::get<DiscountRequest>(r.lines.back());
            (w == "total"    ? d.onTotal
             : w == "online" ? d.online
             : w == "group"  ? d.byGroup
                             : d.cancelled) = true;
        } else if (current == Discount && w == "id") {
            const auto n = (value = next()) ? Number(*value) : std::nullopt;
            if (!n || *n < 0) return "id needs a number";
            std::get<DiscountRequest>(r.lines.back()).id = static_cast<uint64_t>(*n);
        } else {
            return "unexpected word: " + Plain(w);
        }
    }
    return {};
}

// An optional "at TIME" after a command's own words.
bool OptionalTime(const std::vector<std::string>& words, std::size_t from, std::optional<uint32_t>& time) {
    if (words.size() == from) return true;
    if (words.size() != from + 2 || words[from] != "at") return false;
    time = TimeOf(words[from + 1]);
    return time.has_value();
}

// Fields of the X report a test may set, by offset and width.
struct XField {
    const char* name;
    std::size_t offset;
    std::size_t size;
};
const XField kXFields[] = {
    {"sale-receipts", 0, 2},    {"payout-receipts", 2, 2},  {"sales-tax-1", 16, 4},
    {"sales-tax-2", 20, 4},     {"sales-tax-3", 24, 4},     {"sales-tax-4", 28, 4},
    {"sales-untaxed", 32, 4},   {"payouts-tax-1", 36, 4},   {"payouts-tax-2", 40, 4},
    {"payouts-tax-3", 44, 4},   {"payouts-tax-4", 48, 4},   {"payouts-untaxed", 52, 4},
    {"sales-cash", 56, 4},      {"sales-card", 60, 4},      {"sales-credit", 64, 4},
    {"payouts-cash", 68, 4},    {"payouts-card", 72, 4},    {"payouts-credit", 76, 4},
    {"cash-in", 80, 4},         {"cash-out", 84, 4},        {"margins-sales", 88, 4},
    {"margins-payouts", 92, 4}, {"discounts-sales", 96, 4}, {"discounts-payouts", 100, 4},
};

void SetLe(void* base, std::size_t offset, std::size_t size, uint64_t value) {
    auto* bytes = static_cast<uint8_t*>(base) + offset;
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

const std::set<std::string>& SalesVerbs() {
    static const std::set<std::string> verbs = {"receipt",     "cash-in",  "cash-out",   "z-report",
                                                "clock",       "cashier",  "vat-rates",  "tax-rates",
                                                "vat-type",    "tax-name", "fiscal-ids", "payout-name",
                                                "clear-sales", "x-figure", "hour",       "hour-batch"};
    return verbs;
}

} // namespace

bool Simulator::IsSalesCommand(const std::string& verb) {
    return SalesVerbs().count(verb) != 0;
}

bool Simulator::SalesControl(const std::vector<std::string>& words, std::string& reply) {
    auto fail = [&](const std::string& why) {
        reply = "error: " + why;
        return false;
    };
    auto rates = [&](std::array<uint16_t, TaxedGroupCount>& out) {
        if (words.size() != 1 + TaxedGroupCount) return false;
        std::array<uint16_t, TaxedGroupCount> read{};
        for (std::size_t g = 0; g < read.size(); ++g) {
            const auto rate = Scaled(words[g + 1], 2);
            if (!rate || *rate > 9999) return false;
            read[g] = static_cast<uint16_t>(*rate);
        }
        out = read;
        memory_.sales.taxes.ratesTime = memory_.sales.clock;
        return true;
    };
    const std::string& verb = words[0];
    SalesState& sales = memory_.sales;
    std::string error;
    cursor_.Close();

    if (verb == "receipt") {
        ReceiptRequest request;
        error = ParseReceipt(words, request);
        if (error.empty()) error = RecordReceipt(memory_, request);
    } else if (verb == "cash-in" || verb == "cash-out") {
        const auto sum = words.size() > 1 ? Scaled32(words[1], 2) : std::nullopt;
        std::optional<uint32_t> time;
        if (!sum || !OptionalTime(words, 2, time)) return fail(verb + " SUM [at TIME]");
        error = RecordCash(memory_, verb == "cash-in", *sum, time);
    } else if (verb == "z-report") {
        std::optional<uint32_t> time;
        if (!OptionalTime(words, 1, time)) return fail("z-report [at TIME]");
        error = CloseShift(memory_, time);
    } else if (verb == "clock") {
        const auto time = words.size() == 2 ? TimeOf(words[1]) : std::nullopt;
        if (!time) return fail("clock YYYY-MM-DDTHH:MM[:SS]|SECONDS");
        sales.clock = *time;
    } else if (verb == "cashier") {
        const auto id = NumberAt(words, 1, 0, 255);
        if (!id || words.size() != 3 || !Quoted(words[2])) return fail("cashier ID \"NAME\"");
        sales.cashierId = static_cast<uint8_t>(*id);
        sales.cashierName = Plain(words[2]);
    } else if (verb == "vat-rates") {
        if (!rates(sales.taxes.vatRates)) return fail("vat-rates R R R R (percent, 0..99.99)");
    } else if (verb == "tax-rates") {
        if (!rates(sales.taxes.taxRates)) return fail("tax-rates R R R R (percent, 0..99.99)");
    } else if (verb == "vat-type") {
        const auto type = NumberAt(words, 1, 0, 255);
        if (!type || words.size() != 2) return fail("vat-type N");
        sales.taxes.vatType = static_cast<uint8_t>(*type);
    } else if (verb == "tax-name" || verb == "payout-name") {
        const bool tax = verb == "tax-name";
        const auto index = tax ? NumberAt(words, 1, 1, TaxedGroupCount) : NumberAt(words, 1, 0, 3);
        if (!index || words.size() != 3 || !Quoted(words[2]))
            return fail(verb + (tax ? " K \"TEXT\" (K 1..4)" : " K \"TEXT\" (K 0..3)"));
        (tax ? sales.taxes.taxNames[static_cast<std::size_t>(*index - 1)]
             : sales.payoutOperationNames[static_cast<std::size_t>(*index)]) = Plain(words[2]);
    } else if (verb == "fiscal-ids") {
        if (words.size() != 3 || !Quoted(words[1]) || !Quoted(words[2]))
            return fail("fiscal-ids \"FN\" \"PN\"");
        sales.fiscalNumber = Plain(words[1]);
        sales.taxNumber = Plain(words[2]);
    } else if (verb == "clear-sales") {
        ClearSales(memory_);
    } else if (verb == "x-figure") {
        const XField* field = nullptr;
        for (const XField& f : kXFields)
            if (words.size() == 3 && words[1] == f.name) field = &f;
        const auto value =
            field ? NumberAt(words, 2, 0, field->size == 2 ? UINT16_MAX : UINT32_MAX) : std::nullopt;
        if (!value) return fail("x-figure NAME VALUE (names in README)");
        SetLe(&memory_.xReport, field->offset, field->size, static_cast<uint64_t>(*value));
    } else if (verb == "hour") {
        const bool daily = words.size() == 7 && words[1] == "daily";
        const bool periodic = words.size() == 7 && words[1] == "periodic";
        const auto hour = NumberAt(words, 2, 0, 23);
        const long long countMax = daily ? UINT16_MAX : UINT32_MAX;
        const auto sales1 = NumberAt(words, 3, 0, countMax), refunds = NumberAt(words, 4, 0, countMax);
        const auto saleSum =
            daily ? NumberAt(words, 5, 0, UINT32_MAX) : NumberAt(words, 5, INT64_MIN, INT64_MAX);
        const auto refundSum =
            daily ? NumberAt(words, 6, 0, UINT32_MAX) : NumberAt(words, 6, INT64_MIN, INT64_MAX);
        if ((!daily && !periodic) || !hour || !sales1 || !refunds || !saleSum || !refundSum)
            return fail("hour daily|periodic H SALE-RECEIPTS REFUND-RECEIPTS SALE-SUM REFUND-SUM");
        const auto h = static_cast<std::size_t>(*hour);
        if (daily)
            memory_.hours[h] = {static_cast<uint16_t>(*sales1), static_cast<uint16_t>(*refunds),
                                static_cast<uint32_t>(*saleSum), static_cast<uint32_t>(*refundSum)};
        else
            memory_.periodicHours[h] = {static_cast<uint32_t>(*sales1), static_cast<uint32_t>(*refunds),
                                        static_cast<int64_t>(*saleSum), static_cast<int64_t>(*refundSum)};
    } else if (verb == "hour-batch") {
        const auto lines = NumberAt(words, 1, 0, 1000);
        std::optional<long long> size = 0;
        if (words.size() == 4 && words[2] == "size")
            size = NumberAt(words, 3, 1, 1024);
        else if (words.size() != 2)
            size.reset();
        if (!lines || !size) return fail("hour-batch LINES [size BYTES]");
        scenario_.SetHourBatch(static_cast<int>(*lines), static_cast<int>(*size));
        return true;
    }
    if (!error.empty()) return fail(error);
    Changed();
    return true;
}

std::string Simulator::SalesDump() const {
    const SalesState& s = memory_.sales;
    std::ostringstream out;
    const Shift* shift = s.shifts.empty() ? nullptr : &s.shifts.back();
    out << "clock=" << s.clock << "\nshift=" << (shift ? shift->number : 0)
        << "\nshift-open=" << s.ShiftOpen() << "\nshift-documents=" << (shift ? shift->documents.size() : 0)
        << "\ndrawer=" << s.drawer << "\nnext-document=" << s.nextDocument
        << "\nhour-lines=" << scenario_.HourLines() << "\n";
    return out.str();
}

std::optional<uint32_t> ControlTime(const std::string& word) {
    return TimeOf(word);
}

std::optional<int32_t> ControlScaled(const std::string& word, int decimals) {
    return Scaled32(word, decimals);
}

} // namespace sim
