// The register's goods table: numbered slots, each empty or holding one
// goods item with its daily and periodic counters.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/Q710Api.h"
#include "device/simulator/Bytes.h"

namespace sim {

inline constexpr int GoodsCapacity = 5269;
inline constexpr int MaxNameBytes = 31;
inline constexpr int32_t MaxPlu = 0xFFFFF;
inline constexpr int64_t MaxBarcode = 9999999999999;
inline constexpr uint64_t Max48 = (uint64_t{1} << 48) - 1;

struct Goods {
    uint16_t number = 0;
    uint32_t price = 0;
    uint8_t group = 1; // 1..100
    uint8_t tax = 0;   // 0..4
    bool weighed = false;
    bool presenceControl = false;
    bool saleBlocking = false;
    uint8_t payoutOperation = 0; // 0..3
    uint32_t remainder = 0;
    // Day: sold, payout quantities; sales, payouts sums; discounts and
    // margins on sales and payouts.
    std::array<uint32_t, 8> day{};
    // Period: sold, payout quantities; sales, payouts sums (48-bit).
    std::array<uint64_t, 4> period{};
    int32_t plu = 0;
    int64_t barcode = 0;
    std::string name; // at most 31 bytes, Windows-1251
    bool failure = false;

    uint64_t Code() const { return (static_cast<uint64_t>(barcode) << 20) | static_cast<uint32_t>(plu); }
    bool SoldToday() const;
    bool InPeriod() const;
};

// Raw batch records.
std::vector<uint8_t> RawGoodsRecord(const Goods& g);
std::vector<uint8_t> RawPeriodicRecord(const Goods& g);
// The records the library fills for the first item of a batch; the name
// pointer is left to the caller.
Q710GoodsData GoodsDataOf(const Goods& g);
Q710PeriodicGoodsData PeriodicDataOf(const Goods& g);

// Whether a record the program writes holds values the table can take.
bool ValidProgData(const Q710GoodsProgData& data);
Goods GoodsFromProg(const Q710GoodsProgData& data, int nameLength);

class GoodsBase {
public:
    GoodsBase();

    int Capacity() const { return static_cast<int>(slots_.size()); }
    int NameLength() const { return nameLength_; }
    void SetNameLength(int length) { nameLength_ = length; }
    int Programmed() const;
    int Failures() const;

    const Goods* At(int number) const;
    // Number of the goods with these codes, or -1.
    int Find(int32_t plu, int64_t barcode) const;
    int FirstFree() const;
    void Put(int number, Goods goods);
    void Erase(int number);
    void EraseAll();
    int EraseFailures();
    void MarkFailure(int number);

    std::set<int64_t>& AdditionalCodes() { return additional_; }
    const std::set<int64_t>& AdditionalCodes() const { return additional_; }

    // Programmed goods in number order, from `first`.
    template <class Pred> std::vector<const Goods*> Select(int first, Pred pred) const {
        std::vector<const Goods*> out;
        for (int n = first < 0 ? 0 : first; n < Capacity(); ++n)
            if (slots_[n] && pred(*slots_[n])) out.push_back(&*slots_[n]);
        return out;
    }

    void Write(ByteWriter& w) const;
    bool Read(ByteReader& r);

private:
    std::vector<std::optional<Goods>> slots_;
    std::set<int64_t> additional_;
    int nameLength_ = 25;
};

} // namespace sim
