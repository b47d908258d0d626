// The exported functions of the simulated register: each locks the one
// simulator, logs its inputs and hands over to it.
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

#include "device/Q710Api.h"
#include "device/simulator/Simulator.h"

#define Q710_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

sim::Simulator& Sim() {
    static const std::unique_ptr<sim::Simulator> simulator =
        std::make_unique<sim::Simulator>(sim::Simulator::FromEnvironment());
    return *simulator;
}

// Runs one call under the lock; `args` are the logged inputs.
template <class R, class Body, class... Args>
R Run(const char* name, const char** err, Body body, const Args&... args) {
    std::lock_guard<std::mutex> guard(Lock());
    return Sim().Call<R>(name, err, body, args...);
}

} // namespace

// Connection and addressing.

Q710_EXPORT int16_t HostConnect(uint8_t port, uint32_t baud, int32_t p3, int32_t p4, const char** err) {
    return Run<int16_t>(
        "HostConnect", err, [&] { return Sim().HostConnect(port, baud, p3, p4, err); }, port, baud, p3, p4);
}
Q710_EXPORT void HostDisconnect(void) {
    Run<void>("HostDisconnect", nullptr, [] { Sim().HostDisconnect(); });
}
Q710_EXPORT void ECRDisconnect(void) {
    Run<void>("ECRDisconnect", nullptr, [] { Sim().ECRDisconnect(); });
}
Q710_EXPORT void SetAddressTransmitter(int32_t address) {
    Run<void>(
        "SetAddressTransmitter", nullptr, [&] { Sim().SetAddressTransmitter(address); }, address);
}
Q710_EXPORT void SetAddressReceiver(int32_t address) {
    Run<void>(
        "SetAddressReceiver", nullptr, [&] { Sim().SetAddressReceiver(address); }, address);
}
Q710_EXPORT void DisableRS485(void) {
    Run<void>("DisableRS485", nullptr, [] { Sim().DisableRS485(); });
}
Q710_EXPORT void RadarCreate(void) {
    Run<void>("RadarCreate", nullptr, [] { Sim().RadarCreate(); });
}
Q710_EXPORT void RadarFree(void) {
    Run<void>("RadarFree", nullptr, [] { Sim().RadarFree(); });
}
Q710_EXPORT uint8_t MemoryFree(const char** err) {
    return Run<uint8_t>("MemoryFree", err, [&] { return Sim().MemoryFree(err); });
}
Q710_EXPORT uint8_t PowerOff(const char** err) {
    return Run<uint8_t>("PowerOff", err, [&] { return Sim().PowerOff(err); });
}
Q710_EXPORT uint8_t NextCommand(void* buffer, int32_t lastIndex, const char** err) {
    return Run<uint8_t>(
        "NextCommand", err, [&] { return Sim().NextCommand(buffer, lastIndex, err); }, lastIndex);
}

// Modem.

Q710_EXPORT int16_t ModemDial(int16_t tone, int16_t reserved, int16_t showChoice, int16_t showConfig,
                              const char* phone, const char** err) {
    return Run<int16_t>(
        "ModemDial", err, [&] { return Sim().ModemDial(tone, reserved, showChoice, showConfig, phone, err); },
        tone, reserved, showChoice, showConfig, phone);
}
Q710_EXPORT int16_t ModemCancelCall(const char** err) {
    return Run<int16_t>("ModemCancelCall", err, [&] { return Sim().ModemCancelCall(err); });
}
Q710_EXPORT int16_t SetModemMaxAttempts(int32_t attempts, const char** err) {
    return Run<int16_t>(
        "SetModemMaxAttempts", err, [&] { return Sim().SetModemMaxAttempts(attempts, err); }, attempts);
}
Q710_EXPORT int16_t GetModemMaxAttempts(uint16_t* attempts, const char** err) {
    return Run<int16_t>("GetModemMaxAttempts", err, [&] { return Sim().GetModemMaxAttempts(attempts, err); });
}
Q710_EXPORT int16_t GetModemCurrentAttempt(uint16_t* attempt, const char** err) {
    return Run<int16_t>("GetModemCurrentAttempt", err,
                        [&] { return Sim().GetModemCurrentAttempt(attempt, err); });
}
Q710_EXPORT int16_t GetModemRetryWait(uint16_t* seconds, const char** err) {
    return Run<int16_t>("GetModemRetryWait", err, [&] { return Sim().GetModemRetryWait(seconds, err); });
}
Q710_EXPORT int16_t GetModemState(uint8_t* state, const char** err) {
    return Run<int16_t>("GetModemState", err, [&] { return Sim().GetModemState(state, err); });
}
Q710_EXPORT int16_t GetModemDeviceName(const char** name, const char** err) {
    return Run<int16_t>("GetModemDeviceName", err, [&] { return Sim().GetModemDeviceName(name, err); });
}

// Goods table.

Q710_EXPORT uint8_t GetLengthGoodsName(uint8_t* nameLength, uint16_t* maxGoods, uint16_t* programmedGoods,
                                       uint16_t* failureRecords, const char** err) {
    return Run<uint8_t>("GetLengthGoodsName", err, [&] {
        return Sim().GetLengthGoodsName(nameLength, maxGoods, programmedGoods, failureRecords, err);
    });
}
Q710_EXPORT uint8_t SetLengthGoodsName(int32_t length, const char** err) {
    return Run<uint8_t>(
        "SetLengthGoodsName", err, [&] { return Sim().SetLengthGoodsName(length, err); }, length);
}
Q710_EXPORT uint8_t GetGoodsByNumber(uint16_t first, int16_t failuresOnly, Q710GoodsData* goods,
                                     const char** err) {
    return Run<uint8_t>(
        "GetGoodsByNumber", err, [&] { return Sim().GetGoodsByNumber(first, failuresOnly, goods, err); },
        first, failuresOnly);
}
Q710_EXPORT uint8_t SetGoodsByNumber(uint16_t number, Q710GoodsProgData goods, const char** err) {
    return Run<uint8_t>(
        "SetGoodsByNumber", err, [&] { return Sim().SetGoodsByNumber(number, goods, err); }, number, goods);
}
Q710_EXPORT uint8_t GetGoodsByCode(int32_t plu, int64_t barcode, Q710GoodsData* goods, const char** err) {
    return Run<uint8_t>(
        "GetGoodsByCode", err, [&] { return Sim().GetGoodsByCode(plu, barcode, goods, err); }, plu, barcode);
}
Q710_EXPORT uint8_t SetGoodsByCode(Q710GoodsProgData goods, const char** err) {
    return Run<uint8_t>(
        "SetGoodsByCode", err, [&] { return Sim().SetGoodsByCode(goods, err); }, goods);
}
Q710_EXPORT uint8_t SetGoodsByCode2(Q710GoodsProgData goods, const char** err) {
    return Run<uint8_t>(
        "SetGoodsByCode2", err, [&] { return Sim().SetGoodsByCode2(goods, err); }, goods);
}
Q710_EXPORT uint8_t SetGoodsPrice(int32_t plu, int64_t barcode, int32_t price, const char** err) {
    return Run<uint8_t>(
        "SetGoodsPrice", err, [&] { return Sim().SetGoodsPrice(plu, barcode, price, err); }, plu, barcode,
        price);
}
Q710_EXPORT uint8_t SetGoodsQuantity(int32_t plu, int64_t barcode, int32_t quantity, int32_t option,
                                     const char** err) {
    return Run<uint8_t>(
        "SetGoodsQuantity", err, [&] { return Sim().SetGoodsQuantity(plu, barcode, quantity, option, err); },
        plu, barcode, quantity, option);
}
Q710_EXPORT uint8_t EraseGoodsByCode(int32_t plu, int64_t barcode, const char** err) {
    return Run<uint8_t>(
        "EraseGoodsByCode", err, [&] { return Sim().EraseGoodsByCode(plu, barcode, err); }, plu, barcode);
}
Q710_EXPORT uint8_t EraseAllGoods(const char** err) {
    return Run<uint8_t>("EraseAllGoods", err, [&] { return Sim().EraseAllGoods(err); });
}
Q710_EXPORT uint8_t EraseAdditionalCodes(int64_t first, int64_t last, const char** err) {
    return Run<uint8_t>(
        "EraseAdditionalCodes", err, [&] { return Sim().EraseAdditionalCodes(first, last, err); }, first,
        last);
}
Q710_EXPORT uint8_t EraseFailureRecords(const char** err) {
    return Run<uint8_t>("EraseFailureRecords", err, [&] { return Sim().EraseFailureRecords(err); });
}

// Goods reports.

Q710_EXPORT uint8_t GetQuantityRecordsOfGoods(int32_t selector, uint16_t* count, const char** err) {
    return Run<uint8_t>(
        "GetQuantityRecordsOfGoods", err,
        [&] { return Sim().GetQuantityRecordsOfGoods(selector, count, err); }, selector);
}
Q710_EXPORT uint8_t GetSaleGoodsByMinNumber(int32_t reserved, Q710GoodsData* goods, const char** err) {
    return Run<uint8_t>(
        "GetSaleGoodsByMinNumber", err, [&] { return Sim().GetSaleGoodsByMinNumber(reserved, goods, err); },
        reserved);
}
Q710_EXPORT uint8_t GetPeriodicReportOfGoodsByNumber(int32_t reserved, Q710PeriodicGoodsData* goods,
                                                     const char** err) {
    return Run<uint8_t>(
        "GetPeriodicReportOfGoodsByNumber", err,
        [&] { return Sim().GetPeriodicReportOfGoodsByNumber(reserved, goods, err); }, reserved);
}
Q710_EXPORT uint8_t GetGoodsByRange(int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode,
                                    int64_t lastBarcode, Q710GoodsData* goods, const char** err) {
    return Run<uint8_t>(
        "GetGoodsByRange", err,
        [&] { return Sim().GetGoodsByRange(firstPlu, lastPlu, firstBarcode, lastBarcode, goods, err); },
        firstPlu, lastPlu, firstBarcode, lastBarcode);
}
Q710_EXPORT uint8_t GetGoodsWithLessQuantity(int32_t reserved, int32_t group, int32_t threshold,
                                             Q710GoodsData* goods, const char** err) {
    return Run<uint8_t>(
        "GetGoodsWithLessQuantity", err,
        [&] { return Sim().GetGoodsWithLessQuantity(reserved, group, threshold, goods, err); }, reserved,
        group, threshold);
}

Q710_EXPORT uint8_t ErasePeriodicReportByGoodsCode103(int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode,
                                                      int64_t lastBarcode, const char** err) {
    return Run<uint8_t>(
        "ErasePeriodicReportByGoodsCode103", err,
        [&] {
            return Sim().ErasePeriodicReportByGoodsCode103(firstPlu, lastPlu, firstBarcode, lastBarcode, err);
        },
        firstPlu, lastPlu, firstBarcode, lastBarcode);
}
Q710_EXPORT uint8_t ErasePeriodicReportByGoodsGroup103(int32_t firstGroup, int32_t lastGroup,
                                                       const char** err) {
    return Run<uint8_t>(
        "ErasePeriodicReportByGoodsGroup103", err,
        [&] { return Sim().ErasePeriodicReportByGoodsGroup103(firstGroup, lastGroup, err); }, firstGroup,
        lastGroup);
}

// Goods groups and text patterns.

Q710_EXPORT uint8_t GetGoodsGroupName(int32_t group, const char** name, const char** err) {
    return Run<uint8_t>(
        "GetGoodsGroupName", err, [&] { return Sim().GetGoodsGroupName(group, name, err); }, group);
}
Q710_EXPORT uint8_t SetGoodsGroupName(int32_t group, const char* name, const char** err) {
    return Run<uint8_t>(
        "SetGoodsGroupName", err, [&] { return Sim().SetGoodsGroupName(group, name, err); }, group, name);
}
Q710_EXPORT uint8_t GetTextPattern(int32_t pattern, uint8_t* cursor, const char** text, const char** err) {
    return Run<uint8_t>(
        "GetTextPattern", err, [&] { return Sim().GetTextPattern(pattern, cursor, text, err); }, pattern);
}
Q710_EXPORT uint8_t SetTextPattern(int32_t pattern, int32_t cursor, const char* text, const char** err) {
    return Run<uint8_t>(
        "SetTextPattern", err, [&] { return Sim().SetTextPattern(pattern, cursor, text, err); }, pattern,
        cursor, text);
}

// Keys.

Q710_EXPORT uint8_t GetFastCode(int32_t key, const char** code, const char** err) {
    return Run<uint8_t>(
        "GetFastCode", err, [&] { return Sim().GetFastCode(key, code, err); }, key);
}
Q710_EXPORT uint8_t SetFastCode(int32_t key, const char* code, const char** err) {
    return Run<uint8_t>(
        "SetFastCode", err, [&] { return Sim().SetFastCode(key, code, err); }, key, code);
}
Q710_EXPORT uint8_t ExecuteBarCode(const char* sequence, const char** err) {
    return Run<uint8_t>(
        "ExecuteBarCode", err, [&] { return Sim().ExecuteBarCode(sequence, err); }, sequence);
}

// Discounts and margins.

Q710_EXPORT uint8_t GetDiscMargValues(uint16_t* discount, uint16_t* margin, int16_t* discountsAllowed,
                                      int16_t* marginsAllowed, const char** err) {
    return Run<uint8_t>("GetDiscMargValues", err, [&] {
        return Sim().GetDiscMargValues(discount, margin, discountsAllowed, marginsAllowed, err);
    });
}
Q710_EXPORT uint8_t SetDiscMargValues(int32_t discount, int32_t margin, const char** err) {
    return Run<uint8_t>(
        "SetDiscMargValues", err, [&] { return Sim().SetDiscMargValues(discount, margin, err); }, discount,
        margin);
}
Q710_EXPORT uint8_t SetDiscountMarginFlags(int32_t discounts, int32_t margins, const char** err) {
    return Run<uint8_t>(
        "SetDiscountMarginFlags", err, [&] { return Sim().SetDiscountMarginFlags(discounts, margins, err); },
        discounts, margins);
}
Q710_EXPORT uint8_t GetDiscountGroupParameters103(int32_t group, Q710DiscountGroupRecord* record,
                                                  const char** err) {
    return Run<uint8_t>(
        "GetDiscountGroupParameters103", err,
        [&] { return Sim().GetDiscountGroupParameters103(group, record, err); }, group);
}
Q710_EXPORT uint8_t SetDiscountGroupParameters103(int32_t group, Q710DiscountGroupRecord record,
                                                  const char** err) {
    return Run<uint8_t>(
        "SetDiscountGroupParameters103", err,
        [&] { return Sim().SetDiscountGroupParameters103(group, record, err); }, group, record);
}

// X report and reports by hours.

Q710_EXPORT uint8_t GetDataXReport(Q710XReportData* report, const char** err) {
    return Run<uint8_t>("GetDataXReport", err, [&] { return Sim().GetDataXReport(report, err); });
}
Q710_EXPORT uint8_t GetXReportByHours(int32_t reserved, uint16_t* saleReceipts, uint16_t* refundReceipts,
                                      uint32_t* saleSum, uint32_t* refundSum, const char** err) {
    return Run<uint8_t>(
        "GetXReportByHours", err,
        [&] {
            return Sim().GetXReportByHours(reserved, saleReceipts, refundReceipts, saleSum, refundSum, err);
        },
        reserved);
}
Q710_EXPORT uint8_t GetPeriodicXReportByHours103(int32_t reserved, uint32_t* saleReceipts,
                                                 uint32_t* refundReceipts, int64_t* saleSum,
                                                 int64_t* refundSum, const char** err) {
    return Run<uint8_t>(
        "GetPeriodicXReportByHours103", err,
        [&] {
            return Sim().GetPeriodicXReportByHours103(reserved, saleReceipts, refundReceipts, saleSum,
                                                      refundSum, err);
        },
        reserved);
}
Q710_EXPORT uint8_t ErasePeriodicXReportByHours103(const char** err) {
    return Run<uint8_t>("ErasePeriodicXReportByHours103", err,
                        [&] { return Sim().ErasePeriodicXReportByHours103(err); });
}
Q710_EXPORT uint8_t GetPeiodOfLastDay(double* opened, double* closed, const char** err) {
    return Run<uint8_t>("GetPeiodOfLastDay", err,
                        [&] { return Sim().GetPeiodOfLastDay(opened, closed, err); });
}

// Electronic journal.

Q710_EXPORT uint8_t GetJournalParams(int32_t journal, uint8_t* journals, Q710JournalParams* params,
                                     const char** err) {
    return Run<uint8_t>(
        "GetJournalParams", err, [&] { return Sim().GetJournalParams(journal, journals, params, err); },
        journal);
}
Q710_EXPORT uint8_t GetJournal(int32_t journal, int32_t p2, int32_t p3, void* block, int32_t lastIndex,
                               const char** err) {
    return Run<uint8_t>(
        "GetJournal", err, [&] { return Sim().GetJournal(journal, p2, p3, block, lastIndex, err); }, journal,
        p2, p3, lastIndex);
}
Q710_EXPORT uint8_t GetReport(int32_t report, void* buffer, int32_t lastIndex, const char** err) {
    return Run<uint8_t>(
        "GetReport", err, [&] { return Sim().GetReport(report, buffer, lastIndex, err); }, report, lastIndex);
}
Q710_EXPORT uint8_t GetFreeVolumeJournal(uint32_t* bytes, const char** err) {
    return Run<uint8_t>("GetFreeVolumeJournal", err, [&] { return Sim().GetFreeVolumeJournal(bytes, err); });
}
Q710_EXPORT uint8_t GetJournalOptions(uint8_t* options, const char** err) {
    return Run<uint8_t>("GetJournalOptions", err, [&] { return Sim().GetJournalOptions(options, err); });
}
Q710_EXPORT uint8_t SetJournalOptions(uint8_t options, const char** err) {
    return Run<uint8_t>(
        "SetJournalOptions", err, [&] { return Sim().SetJournalOptions(options, err); }, options);
}

// The control interface for tests and demos: one command (or several lines)
// in, the reply out, cut to replySize - 1 bytes and zero-terminated.
// Returns 0 when every command was carried out.
Q710_EXPORT int Q710SimControl(const char* command, char* reply, int replySize) {
    std::string answer;
    bool ok = false;
    {
        std::lock_guard<std::mutex> guard(Lock());
        ok = Sim().RunScript(command ? std::string(command, strnlen(command, 1 << 20)) : std::string(),
                             answer);
    }
    if (reply != nullptr && replySize > 0) {
        const std::size_t size =
            std::min<std::size_t>(answer.size(), static_cast<std::size_t>(replySize) - 1);
        std::memcpy(reply, answer.data(), size);
        reply[size] = '\0';
    }
    return ok ? 0 : 1;
}

// Every export has exactly the type the program binds it with.
#define Q710_CHECK_TYPE(ret, name, params)                                                                   \
    static_assert(std::is_same_v<decltype(&name), Q710_##name##_t>, #name " differs from its declaration");
Q710_DEVICE_FUNCTIONS(Q710_CHECK_TYPE)
#undef Q710_CHECK_TYPE
