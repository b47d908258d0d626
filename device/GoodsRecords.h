// Goods records on the program side and the raw batch records they are
// unpacked from. The library is handed these records as its own C layouts
// (Q710GoodsData* and friends), so each record keeps its name pointer aimed at
// the text of its own string, through copies and moves as well.
#pragma once

#include "device/GroupRecords.h"
#include "device/Q710Api.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Name bytes in the raw goods records.
inline constexpr std::size_t GoodsNameSize = 31;

// A library record plus the program's own copy of its name. The record is
// complete while `name` points at `nameString`; a record the library has just
// filled carries the library's pointer until CompleteLibraryRecord.
template <class Data> struct NamedRecord : Data {
    std::string nameString;

    NamedRecord() : Data{} { this->name = nameString.c_str(); }
    NamedRecord(const NamedRecord& other) : Data(other), nameString(other.nameString) {
        if (other.IsComplete()) this->name = nameString.c_str();
    }
    NamedRecord(NamedRecord&& other) noexcept : NamedRecord() { *this = std::move(other); }
    NamedRecord& operator=(const NamedRecord& other) {
        if (this != &other) {
            static_cast<Data&>(*this) = other;
            nameString = other.nameString;
            if (other.IsComplete()) this->name = nameString.c_str();
        }
        return *this;
    }
    NamedRecord& operator=(NamedRecord&& other) noexcept {
        if (this != &other) {
            bool complete = other.IsComplete();
            static_cast<Data&>(*this) = other;
            nameString = std::move(other.nameString);
            if (complete) {
                this->name = nameString.c_str();
                other.name = other.nameString.c_str();
            }
        }
        return *this;
    }
    ~NamedRecord() = default;

    // Stores the name up to its first zero byte and completes the record.
    void SetName(std::string_view text) {
        nameString.assign(text.substr(0, text.find('\0')));
        this->name = nameString.c_str();
    }
    bool IsComplete() const { return this->name == nameString.c_str(); }
    // The name as readers of the pointer see it; empty while incomplete.
    std::string_view Name() const { return IsComplete() ? std::string_view(nameString) : std::string_view(); }
};

// One goods record as read from the register (reports, display, export).
struct GoodsStruct : NamedRecord<Q710GoodsData> {};
// One line of the periodic report by goods.
struct PeriodicGoodsStruct : NamedRecord<Q710PeriodicGoodsData> {};
// One goods record as written to the register; pass it by value as
// Q710GoodsProgData once its name is set.
struct GoodsProg : NamedRecord<Q710GoodsProgData> {};

// One hour of the daily report by hours (12 bytes in the batch).
struct HourlyReportLine {
    uint16_t saleReceipts;
    uint16_t refundReceipts;
    uint32_t saleSum;   // kopecks
    uint32_t refundSum; // kopecks
};

// One hour of the periodic report by hours (24 bytes in the batch).
struct PeriodicHourlyReportLine {
    uint32_t saleReceipts;
    uint32_t refundReceipts;
    int64_t saleSum;   // kopecks
    int64_t refundSum; // kopecks
};

static_assert(sizeof(HourlyReportLine) == Q710_RAW_HOURLY_LINE_SIZE);
static_assert(sizeof(PeriodicHourlyReportLine) == Q710_RAW_PERIODIC_HOURLY_LINE_SIZE);

// Unpacking of the raw batch records. Each overwrites the whole record and
// returns true, or returns false and leaves the record as it was when `raw`
// is shorter than the layout.
[[nodiscard]] bool UnpackGoodsRecord(std::span<const uint8_t> raw, GoodsStruct& record);
[[nodiscard]] bool UnpackPeriodicGoodsRecord(std::span<const uint8_t> raw, PeriodicGoodsStruct& record);
[[nodiscard]] bool UnpackHourlyLine(std::span<const uint8_t> raw, HourlyReportLine& line);
[[nodiscard]] bool UnpackPeriodicHourlyLine(std::span<const uint8_t> raw, PeriodicHourlyReportLine& line);

// Completes a record the library filled itself (the first record of a batch,
// GetGoodsByCode): copies the text at the library's name pointer, at most
// GoodsNameSize bytes; a null pointer reads as an empty name.
void CompleteLibraryRecord(GoodsStruct& record);
void CompleteLibraryRecord(PeriodicGoodsStruct& record);

// The arrays through which the register side and the exchange side hand
// records to each other.
struct SharedArrays {
    std::vector<GoodsProg> ImportedGoods;
    std::vector<GoodsStruct> GoodsReport;
    std::vector<PeriodicGoodsStruct> PeriodicGoodsReport;
    std::vector<HourlyReportLine> HourlyReport;
    std::vector<PeriodicHourlyReportLine> PeriodicHourlyReport;
    // Goods groups: filled by an import and written to the register, or
    // filled from the register and written by an export.
    std::vector<GoodsGroupRecord> GoodsGroupTable;

    // Empties every array, in the order of the members.
    void Clear();
    ~SharedArrays() { Clear(); }
};

// The program's one set of shared arrays.
SharedArrays& Shared();
