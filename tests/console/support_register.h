// The register's own goods records, read straight from the simulated library:
// the batch's first record as the library fills its C record, every next one
// decoded here from the raw bytes NextCommand delivers. Nothing of the
// program's reading loops or unpacking is used, so these records can judge
// what the program wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"

namespace testing_console {

struct RegisterRecord {
    uint16_t number = 0;
    uint32_t price = 0; // kopecks
    uint8_t group = 0;  // 1..100
    uint8_t tax = 0;    // 0..4
    bool weighed = false;
    bool presenceControl = false;
    bool saleBlocking = false;
    uint8_t payoutOperation = 0;
    uint32_t remainder = 0; // thousandths
    // In the record's own order: sold quantity, payout quantity, sales sum,
    // payouts sum, then (day records only) discounts on sales and payouts,
    // margins on sales and payouts.
    std::vector<int64_t> counters;
    int32_t plu = 0;
    int64_t barcode = 0;
    std::string name; // Windows-1251
};

using FirstGoodsCall = std::function<uint8_t(Q710GoodsData*, const char**)>;

// A goods batch (83-byte records) started by `first`; empty when the first
// call finds nothing.
std::vector<RegisterRecord> ReadGoodsBatch(const device::DeviceApi& api, const FirstGoodsCall& first);
// The periodic report by goods (75-byte records).
std::vector<RegisterRecord> ReadPeriodicBatch(const device::DeviceApi& api);

} // namespace testing_console
