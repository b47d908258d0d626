#include "device/GoodsRecords.h"

#include <cstring>

namespace {

// Little-endian unsigned integer of `size` bytes at `offset`; the caller has
// checked the span's length.
uint64_t ReadLE(std::span<const uint8_t> raw, std::size_t offset, std::size_t size) {
    uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = (value << 8) | raw[offset + i];
    return value;
}

int16_t FlagBit(uint8_t flags, int bit) {
    return (flags >> bit) & 1 ? int16_t(-1) : int16_t(0);
}

// Bytes 0..11, shared by both goods layouts.
template <class Record> void UnpackHead(std::span<const uint8_t> raw, Record& record) {
    uint8_t flags = raw[7];
    record.number = uint16_t(ReadLE(raw, 0, 2));
    record.price = uint32_t(ReadLE(raw, 2, 4));
    record.group = uint8_t(raw[6] + 1);
    record.tax = flags & 7;
    record.weighed = FlagBit(flags, 3);
    record.presenceControl = FlagBit(flags, 4);
    record.saleBlocking = FlagBit(flags, 5);
    record.payoutOperation = uint8_t(((flags >> 6) & 1) + ((flags >> 7) & 1) * 2);
    record.remainder = uint32_t(ReadLE(raw, 8, 4));
}

// Goods code (PLU in the low 20 bits, barcode above) and the name after it.
template <class Record>
void UnpackCodeAndName(std::span<const uint8_t> raw, std::size_t offset, Record& record) {
    uint64_t code = ReadLE(raw, offset, 8);
    record.plu = int32_t(code & 0xFFFFF);
    record.barcode = int64_t(code >> 20);
    const char* text = reinterpret_cast<const char*>(raw.data() + offset + 8);
    record.SetName(std::string_view(text, GoodsNameSize));
}

// Consecutive counters of `width` bytes from offset 12 on; returns the offset
// after them.
template <class Counter, std::size_t N>
std::size_t UnpackCounters(std::span<const uint8_t> raw, std::size_t width, Counter* const (&counters)[N]) {
    std::size_t offset = 12;
    for (Counter* counter : counters) {
        *counter = Counter(ReadLE(raw, offset, width));
        offset += width;
    }
    return offset;
}

template <class Record> void CompleteFromLibrary(Record& record) {
    if (record.IsComplete()) return;
    const char* text = record.name;
    record.SetName(text ? std::string_view(text, strnlen(text, GoodsNameSize)) : std::string_view());
}

} // namespace

bool UnpackGoodsRecord(std::span<const uint8_t> raw, GoodsStruct& record) {
    if (raw.size() < std::size_t(Q710_RAW_GOODS_SIZE)) return false;
    GoodsStruct fresh;
    UnpackHead(raw, fresh);
    uint32_t* const counters[] = {&fresh.soldQuantity,   &fresh.payoutQuantity,   &fresh.salesSum,
                                  &fresh.payoutsSum,     &fresh.discountsOnSales, &fresh.discountsOnPayouts,
                                  &fresh.marginsOnSales, &fresh.marginsOnPayouts};
    UnpackCodeAndName(raw, UnpackCounters(raw, 4, counters), fresh);
    record = std::move(fresh);
    return true;
}

bool UnpackPeriodicGoodsRecord(std::span<const uint8_t> raw, PeriodicGoodsStruct& record) {
    if (raw.size() < std::size_t(Q710_RAW_PERIODIC_GOODS_SIZE)) return false;
    PeriodicGoodsStruct fresh;
    UnpackHead(raw, fresh);
    int64_t* const counters[] = {&fresh.soldQuantity, &fresh.payoutQuantity, &fresh.salesSum,
                                 &fresh.payoutsSum};
    UnpackCodeAndName(raw, UnpackCounters(raw, 6, counters), fresh);
    record = std::move(fresh);
    return true;
}

bool UnpackHourlyLine(std::span<const uint8_t> raw, HourlyReportLine& line) {
    if (raw.size() < std::size_t(Q710_RAW_HOURLY_LINE_SIZE)) return false;
    line.saleReceipts = uint16_t(ReadLE(raw, 0, 2));
    line.refundReceipts = uint16_t(ReadLE(raw, 2, 2));
    line.saleSum = uint32_t(ReadLE(raw, 4, 4));
    line.refundSum = uint32_t(ReadLE(raw, 8, 4));
    return true;
}

bool UnpackPeriodicHourlyLine(std::span<const uint8_t> raw, PeriodicHourlyReportLine& line) {
    if (raw.size() < std::size_t(Q710_RAW_PERIODIC_HOURLY_LINE_SIZE)) return false;
    line.saleReceipts = uint32_t(ReadLE(raw, 0, 4));
    line.refundReceipts = uint32_t(ReadLE(raw, 4, 4));
    line.saleSum = int64_t(ReadLE(raw, 8, 8));
    line.refundSum = int64_t(ReadLE(raw, 16, 8));
    return true;
}

void CompleteLibraryRecord(GoodsStruct& record) {
    CompleteFromLibrary(record);
}
void CompleteLibraryRecord(PeriodicGoodsStruct& record) {
    CompleteFromLibrary(record);
}

void SharedArrays::Clear() {
    ImportedGoods.clear();
    GoodsReport.clear();
    PeriodicGoodsReport.clear();
    HourlyReport.clear();
    PeriodicHourlyReport.clear();
    GoodsGroupTable.clear();
}

SharedArrays& Shared() {
    static SharedArrays arrays;
    return arrays;
}
