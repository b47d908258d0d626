// Everything the simulated register keeps between runs: the goods table and
// the other tables and report figures, with the demo data a fresh register
// starts with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "device/Q710Api.h"
#include "device/simulator/GoodsBase.h"
#include "device/simulator/Sales.h"

namespace sim {

struct TextPattern {
    uint8_t cursor = 0;
    std::string text; // at most 28 bytes
};

struct HourLine {
    uint16_t saleReceipts = 0;
    uint16_t refundReceipts = 0;
    uint32_t saleSum = 0;
    uint32_t refundSum = 0;
};

struct PeriodicHourLine {
    uint32_t saleReceipts = 0;
    uint32_t refundReceipts = 0;
    int64_t saleSum = 0;
    int64_t refundSum = 0;
};

// Key sequences kept of those sent for execution.
inline constexpr std::size_t MaxSentSequences = 1000;

struct RegisterMemory {
    GoodsBase goods;
    std::array<std::string, 100> groupNames;
    std::array<TextPattern, 20> patterns;
    std::array<std::string, 8> fastKeys;
    uint16_t discount = 0;
    uint16_t margin = 0;
    bool discountsAllowed = false;
    bool marginsAllowed = false;
    std::array<Q710DiscountGroupRecord, 15> discountGroups{};
    // A group the register does not hand out answers 0xFD.
    std::array<bool, 15> discountGroupAvailable{};
    // The key sequences sent for execution, oldest first (the last MaxSentSequences).
    std::vector<std::string> sentSequences;
    Q710XReportData xReport{};
    std::array<HourLine, 24> hours{};
    std::array<PeriodicHourLine, 24> periodicHours{};
    double lastDayOpened = 0;
    double lastDayClosed = 0;
    // The electronic journal's option bits (1 control tape, 2 service
    // information, 4 printed control tape) and its capacity: the free space
    // is the capacity less the bytes of the journals kept.
    uint8_t journalOptions = 0;
    uint32_t journalCapacity = 0;
    SalesState sales;

    // Fresh demo data with `goodsCount` goods numbered from 0.
    static RegisterMemory Demo(int goodsCount = 300);
    // Replaces the goods with `count` generated ones.
    void SeedGoods(int count);

    std::vector<uint8_t> Serialize() const;
    // False (and nothing changed) for bytes that are not a whole, valid image.
    bool Deserialize(const std::vector<uint8_t>& bytes);
};

} // namespace sim
