#include "support_register.h"

#include <gtest/gtest.h>

namespace testing_console {

namespace {

uint64_t Little(const uint8_t* bytes, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

std::string NameAt(const char* text) {
    std::string name;
    for (int i = 0; text != nullptr && i < 31 && text[i] != '\0'; ++i) name += text[i];
    return name;
}

template <class Data> RegisterRecord FromLibrary(const Data& d) {
    RegisterRecord r;
    r.number = d.number;
    r.price = d.price;
    r.group = d.group;
    r.tax = d.tax;
    r.weighed = d.weighed != 0;
    r.presenceControl = d.presenceControl != 0;
    r.saleBlocking = d.saleBlocking != 0;
    r.payoutOperation = d.payoutOperation;
    r.remainder = d.remainder;
    r.plu = d.plu;
    r.barcode = d.barcode;
    r.name = NameAt(d.name);
    return r;
}

// Bytes 0..11, the counters (`width` bytes each), the goods code and the name.
RegisterRecord FromRaw(const std::vector<uint8_t>& raw, int counters, int width) {
    const uint8_t* b = raw.data();
    RegisterRecord r;
    r.number = static_cast<uint16_t>(Little(b, 2));
    r.price = static_cast<uint32_t>(Little(b + 2, 4));
    r.group = static_cast<uint8_t>(b[6] + 1);
    r.tax = b[7] & 7;
    r.weighed = (b[7] & 0x08) != 0;
    r.presenceControl = (b[7] & 0x10) != 0;
    r.saleBlocking = (b[7] & 0x20) != 0;
    r.payoutOperation = static_cast<uint8_t>((b[7] & 0x40 ? 1 : 0) + (b[7] & 0x80 ? 2 : 0));
    r.remainder = static_cast<uint32_t>(Little(b + 8, 4));
    const uint8_t* p = b + 12;
    for (int i = 0; i < counters; ++i, p += width)
        r.counters.push_back(static_cast<int64_t>(Little(p, width)));
    uint64_t code = Little(p, 8);
    r.plu = static_cast<int32_t>(code & 0xFFFFF);
    r.barcode = static_cast<int64_t>(code >> 20);
    r.name = NameAt(reinterpret_cast<const char*>(p + 8));
    return r;
}

void ReadRest(const device::DeviceApi& api, std::vector<RegisterRecord>& records, int size, int counters,
              int width) {
    std::vector<uint8_t> raw(static_cast<std::size_t>(size) + 1, 0);
    const char* err = nullptr;
    uint8_t status;
    while ((status = api.NextCommand(raw.data(), size - 1, &err)) == Q710_OK)
        records.push_back(FromRaw(raw, counters, width));
    EXPECT_EQ(status, Q710_END_OF_DATA);
}

} // namespace

std::vector<RegisterRecord> ReadGoodsBatch(const device::DeviceApi& api, const FirstGoodsCall& first) {
    std::vector<RegisterRecord> records;
    Q710GoodsData d{};
    const char* err = nullptr;
    if (first(&d, &err) != Q710_OK) return records;
    records.push_back(FromLibrary(d));
    records.back().counters = {d.soldQuantity,   d.payoutQuantity,   d.salesSum,
                               d.payoutsSum,     d.discountsOnSales, d.discountsOnPayouts,
                               d.marginsOnSales, d.marginsOnPayouts};
    ReadRest(api, records, Q710_RAW_GOODS_SIZE, 8, 4);
    return records;
}

std::vector<RegisterRecord> ReadPeriodicBatch(const device::DeviceApi& api) {
    std::vector<RegisterRecord> records;
    Q710PeriodicGoodsData d{};
    const char* err = nullptr;
    if (api.GetPeriodicReportOfGoodsByNumber(0, &d, &err) != Q710_OK) return records;
    records.push_back(FromLibrary(d));
    records.back().counters = {d.soldQuantity, d.payoutQuantity, d.salesSum, d.payoutsSum};
    ReadRest(api, records, Q710_RAW_PERIODIC_GOODS_SIZE, 4, 6);
    return records;
}

} // namespace testing_console
