// The simulated register behind the exported device functions: connection,
// modem, goods table, goods report batches; faults on request; memory kept
// in a state file; every call optionally logged.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "device/Q710Api.h"
#include "device/simulator/BatchCursor.h"
#include "device/simulator/CallLog.h"
#include "device/simulator/Journal.h"
#include "device/simulator/Modem.h"
#include "device/simulator/RegisterMemory.h"
#include "device/simulator/Scenario.h"
#include "device/simulator/StateFile.h"

namespace sim {

// Failure statuses of the simulated register besides the common ones.
enum : uint8_t {
    StatusFailed = 0x01, // a connection or modem call refused (its result is 0)
    StatusNoLink = 0x02,
    StatusNoBatch = 0x04,
    StatusSmallBuffer = 0x05,
    StatusBadValue = 0x13,
    StatusTableFull = 0x2D,
    StatusCodeTaken = 0x96,
    StatusInjected = 0xE0,
};

// A text handed out to the caller: valid until it is set again.
class TextSlot {
public:
    const char* Set(const std::string& text, bool unterminated);
    const char* Data() const { return bytes_.data(); }

private:
    std::vector<char> bytes_ = std::vector<char>(1, '\0');
};

class Simulator {
public:
    struct Options {
        std::string statePath; // empty: memory only
        std::string logPath;   // empty: no call log
        std::string scenarioPath;
    };
    // Options from Q710_SIM_STATE, Q710_SIM_LOG and Q710_SIM_SCENARIO.
    static Options FromEnvironment();

    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Runs one exported call: logs it, counts it, closes an open batch for
    // any call that is not part of it, answers an injected fault or runs
    // `body`.
    template <class R, class Body, class... Args>
    R Call(const char* name, const char** err, Body body, const Args&... args);

    // One control command (see README); false with the reason in `reply`.
    bool Control(const std::string& command, std::string& reply);
    bool RunScript(const std::string& text, std::string& reply);

    RegisterMemory& Memory() { return memory_; }
    Scenario& Faults() { return scenario_; }
    void Flush();

    // Connection and addressing.
    int16_t HostConnect(uint8_t port, uint32_t baud, int32_t p3, int32_t p4, const char** err);
    void HostDisconnect();
    void ECRDisconnect();
    void SetAddressTransmitter(int32_t address) { transmitter_ = address; }
    void SetAddressReceiver(int32_t address);
    void DisableRS485() { rs485Disabled_ = true; }
    void RadarCreate() { radar_ = true; }
    void RadarFree();
    uint8_t MemoryFree(const char** err);
    uint8_t PowerOff(const char** err);
    uint8_t NextCommand(void* buffer, int32_t lastIndex, const char** err);
    // Modem.
    int16_t ModemDial(int16_t tone, int16_t reserved, int16_t showChoice, int16_t showConfig,
                      const char* phone, const char** err);
    int16_t ModemCancelCall(const char** err);
    int16_t SetModemMaxAttempts(int32_t attempts, const char** err);
    int16_t GetModemMaxAttempts(uint16_t* attempts, const char** err);
    int16_t GetModemCurrentAttempt(uint16_t* attempt, const char** err);
    int16_t GetModemRetryWait(uint16_t* seconds, const char** err);
    int16_t GetModemState(uint8_t* state, const char** err);
    int16_t GetModemDeviceName(const char** name, const char** err);
    // Goods table.
    uint8_t GetLengthGoodsName(uint8_t* nameLength, uint16_t* maxGoods, uint16_t* programmed,
                               uint16_t* failures, const char** err);
    uint8_t SetLengthGoodsName(int32_t length, const char** err);
    uint8_t GetGoodsByCode(int32_t plu, int64_t barcode, Q710GoodsData* goods, const char** err);
    uint8_t SetGoodsByNumber(uint16_t number, const Q710GoodsProgData& goods, const char** err);
    uint8_t SetGoodsByCode(const Q710GoodsProgData& goods, const char** err);
    uint8_t SetGoodsByCode2(const Q710GoodsProgData& goods, const char** err);
    uint8_t SetGoodsPrice(int32_t plu, int64_t barcode, int32_t price, const char** err);
    uint8_t SetGoodsQuantity(int32_t plu, int64_t barcode, int32_t quantity, int32_t option,
                             const char** err);
    uint8_t EraseGoodsByCode(int32_t plu, int64_t barcode, const char** err);
    uint8_t EraseAllGoods(const char** err);
    uint8_t EraseAdditionalCodes(int64_t first, int64_t last, const char** err);
    uint8_t EraseFailureRecords(const char** err);
    // Opening and closing time of the last closed shift (days since 30.12.1899).
    uint8_t GetPeiodOfLastDay(double* opened, double* closed, const char** err);
    // Goods reports.
    uint8_t GetQuantityRecordsOfGoods(int32_t selector, uint16_t* count, const char** err);
    uint8_t GetSaleGoodsByMinNumber(int32_t reserved, Q710GoodsData* goods, const char** err);
    uint8_t GetPeriodicReportOfGoodsByNumber(int32_t reserved, Q710PeriodicGoodsData* goods,
                                             const char** err);
    uint8_t GetGoodsByNumber(uint16_t first, int16_t failuresOnly, Q710GoodsData* goods, const char** err);
    uint8_t GetGoodsByRange(int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode, int64_t lastBarcode,
                            Q710GoodsData* goods, const char** err);
    uint8_t GetGoodsWithLessQuantity(int32_t reserved, int32_t group, int32_t threshold, Q710GoodsData* goods,
                                     const char** err);
    // X report and reports by hours.
    uint8_t GetDataXReport(Q710XReportData* report, const char** err);
    uint8_t GetXReportByHours(int32_t reserved, uint16_t* saleReceipts, uint16_t* refundReceipts,
                              uint32_t* saleSum, uint32_t* refundSum, const char** err);
    uint8_t GetPeriodicXReportByHours103(int32_t reserved, uint32_t* saleReceipts, uint32_t* refundReceipts,
                                         int64_t* saleSum, int64_t* refundSum, const char** err);
    uint8_t ErasePeriodicXReportByHours103(const char** err);
    uint8_t ErasePeriodicReportByGoodsCode103(int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode,
                                              int64_t lastBarcode, const char** err);
    uint8_t ErasePeriodicReportByGoodsGroup103(int32_t firstGroup, int32_t lastGroup, const char** err);
    // Keys, fixed discount and margin, discount groups (SimDiscounts.cpp).
    uint8_t GetFastCode(int32_t key, const char** code, const char** err);
    uint8_t SetFastCode(int32_t key, const char* code, const char** err);
    uint8_t ExecuteBarCode(const char* sequence, const char** err);
    uint8_t GetDiscMargValues(uint16_t* discount, uint16_t* margin, int16_t* discountsAllowed,
                              int16_t* marginsAllowed, const char** err);
    uint8_t SetDiscMargValues(int32_t discount, int32_t margin, const char** err);
    uint8_t SetDiscountMarginFlags(int32_t discounts, int32_t margins, const char** err);
    // Group 1 also opens the batch of the groups after it (33-byte records).
    uint8_t GetDiscountGroupParameters103(int32_t group, Q710DiscountGroupRecord* record, const char** err);
    uint8_t SetDiscountGroupParameters103(int32_t group, const Q710DiscountGroupRecord& record,
                                          const char** err);
    // Goods groups and text patterns.
    uint8_t GetGoodsGroupName(int32_t group, const char** name, const char** err);
    uint8_t SetGoodsGroupName(int32_t group, const char* name, const char** err);
    uint8_t GetTextPattern(int32_t pattern, uint8_t* cursor, const char** text, const char** err);
    uint8_t SetTextPattern(int32_t pattern, int32_t cursor, const char* text, const char** err);
    // Electronic journal and Z report (SimJournal.cpp).
    uint8_t GetJournalParams(int32_t journal, uint8_t* journals, Q710JournalParams* params, const char** err);
    uint8_t GetJournal(int32_t journal, int32_t p2, int32_t p3, void* block, int32_t lastIndex,
                       const char** err);
    uint8_t GetReport(int32_t report, void* buffer, int32_t lastIndex, const char** err);
    uint8_t GetFreeVolumeJournal(uint32_t* bytes, const char** err);
    uint8_t GetJournalOptions(uint8_t* options, const char** err);
    uint8_t SetJournalOptions(uint8_t options, const char** err);

    bool LinkUp() const;

private:
    uint8_t Ok(const char** err);
    uint8_t Fail(const char** err, uint8_t status, const std::string& cp1251Text);
    uint8_t FailUtf8(const char** err, uint8_t status, const char* utf8Text);
    int16_t BoolOk(const char** err);
    int16_t BoolFail(const char** err, const char* utf8Text);
    uint8_t NoLink(const char** err);
    void Changed();
    void SaveIfDue(bool force);
    void Reset();
    bool LoadState();

    // Starts a goods batch from the selected goods: record 0 into `goods`,
    // the rest queued raw.
    uint8_t StartGoodsBatch(const std::vector<const Goods*>& selected, Q710GoodsData* goods,
                            const char** err);
    uint8_t StartPeriodicBatch(const std::vector<const Goods*>& selected, Q710PeriodicGoodsData* goods,
                               const char** err);
    // Queues the records NextCommand hands out after a batch's first call.
    void OpenBatch(std::vector<std::vector<uint8_t>> rest, int recordSize);
    // A raw text record: the text, then zeros, or '~' up to the end while
    // texts go out unterminated.
    std::vector<uint8_t> TextRecord(std::string_view prefix, std::string_view text, std::size_t size) const;
    template <class Data, class MakeData, class MakeRaw>
    uint8_t StartBatch(const std::vector<const Goods*>& selected, Data* out, MakeData makeData,
                       MakeRaw makeRaw, int recordSize, const char** err);
    // Puts value() into a caller's out field; a null field is refused.
    template <class T, class Value> int16_t Answer(T* out, Value value, const char** err);
    bool BatchStartFaulted(const char** err, uint8_t& status);
    const char* NameText(const std::string& name);
    uint8_t WriteGoods(int number, const Q710GoodsProgData& data, const char** err);

    // The commands of the simulator's own state and its faults (SimControl.cpp).
    struct ControlCommand;
    static bool IsLocalCall(const std::string& name);
    // The sales commands (receipts, shifts, report figures; see README).
    static bool IsSalesCommand(const std::string& verb);
    static bool IsJournalCommand(const std::string& verb);
    bool JournalControl(const std::vector<std::string>& words, std::string& reply);
    std::string JournalDump() const;
    uint8_t NextJournalBlock(void* buffer, int32_t lastIndex, const char** err);
    bool SalesControl(const std::vector<std::string>& words, std::string& reply);
    std::string SalesDump() const;
    // The commands of keys and discounts (see README).
    static bool IsDiscountCommand(const std::string& verb);
    bool DiscountControl(const std::vector<std::string>& words, std::string& reply);
    std::string DiscountDump() const;
    // Answers hour 0 through the out arguments and opens the batch of the
    // other hours.
    template <class Line, class Count, class Sum>
    uint8_t HourReport(const std::array<Line, 24>& hours, int layoutSize, Count* saleReceipts,
                       Count* refundReceipts, Sum* saleSum, Sum* refundSum, const char** err);
    // Zeroes the periodic counters of the goods `select` picks.
    uint8_t EraseGoodsPeriod(const std::function<bool(const Goods&)>& select, const char** err);

    Options options_;
    RegisterMemory memory_;
    StateFile stateFile_;
    CallLog log_;
    Scenario scenario_;
    BatchCursor cursor_;
    // The journal's blocks still to go out through NextCommand.
    struct JournalBlocksCursor {
        std::vector<std::vector<uint8_t>> blocks;
        std::size_t next = 0;
        uint8_t pad = 0;
        bool endless = false;
        bool open = false;
        void Open(std::vector<std::vector<uint8_t>> all, uint8_t fill, bool forever);
        void Close() { open = false; }
    };
    JournalBlocksCursor journal_;
    JournalDamage journalDamage_;
    Modem modem_;
    TextSlot error_;
    TextSlot name_;
    TextSlot modemName_;
    TextSlot fastCode_;
    // The next discount batch hands out this group byte in record `first`
    // (0: the first call's record).
    std::optional<std::pair<int, uint8_t>> discountGroupByte_;
    std::vector<bool> ports_ = std::vector<bool>(9, true); // index 1..8
    int32_t transmitter_ = 1;
    int32_t receiver_ = 0;
    int32_t registerAddress_ = 2;
    bool rs485Disabled_ = false;
    bool radar_ = false;
    bool connected_ = false;
    bool poweredOff_ = false;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point lastSave_{};
};

template <class R, class Body, class... Args>
R Simulator::Call(const char* name, const char** err, Body body, const Args&... args) {
    if (log_.Enabled()) log_.Append(CallLine(name, args...));
    const std::string function = name;
    const int number = scenario_.CountCall(function);
    if (function != "NextCommand" && !IsLocalCall(function)) {
        cursor_.Close();
        journal_.Close();
    }
    SaveIfDue(false);
    if constexpr (std::is_void_v<R>) {
        (void)err;
        (void)number;
        body();
    } else {
        R result;
        if (auto fault = scenario_.CallFault(function, number)) {
            result = static_cast<R>(Fail(err, fault->status, fault->text));
            if constexpr (std::is_same_v<R, int16_t>) result = 0;
        } else {
            result = body();
        }
        if (err != nullptr && scenario_.TakeNullError(function)) *err = nullptr;
        return result;
    }
}

} // namespace sim
