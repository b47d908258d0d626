// The register maker's device library: the records it exchanges and its 62
// functions. Every text crossing this boundary is single-byte Windows-1251.
// Records are plain C layouts so the library, the program and the simulator
// agree on them; the raw batch layouts that NextCommand delivers are byte
// arrays unpacked by the program (device/GoodsRecords).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define Q710_CALL __stdcall
#else
#define Q710_CALL
#endif

// Status bytes of the data functions.
enum : uint8_t {
    Q710_OK = 0x00,
    Q710_NOT_FOUND = 0x14,
    Q710_END_OF_DATA = 0xA2,
    Q710_DISCOUNT_GROUP_NOT_AVAILABLE = 0xFD,
};

// Sizes of the raw batch records delivered by NextCommand.
enum : int32_t {
    Q710_RAW_GOODS_SIZE = 83,
    Q710_RAW_PERIODIC_GOODS_SIZE = 75,
    Q710_RAW_GROUP_NAME_SIZE = 21,
    Q710_RAW_TEXT_PATTERN_SIZE = 29,
    Q710_RAW_DISCOUNT_GROUP_SIZE = 33,
    Q710_RAW_HOURLY_LINE_SIZE = 12,
    Q710_RAW_PERIODIC_HOURLY_LINE_SIZE = 24,
    Q710_JOURNAL_BLOCK_SIZE = 128,
    Q710_Z_REPORT_SIZE = 178,
};

extern "C" {

// One goods record as the library fills it (goods reports, GetGoodsByCode).
// Flags are 16-bit: -1 set, 0 clear; tax group 0..4, goods group 1..100.
struct Q710GoodsData {
    uint16_t number;
    uint32_t price; // kopecks
    uint8_t group;  // 1..100
    uint8_t tax;    // 0..4
    int16_t weighed;
    int16_t presenceControl;
    int16_t saleBlocking;
    uint8_t payoutOperation; // 0..3
    uint32_t remainder;      // thousandths
    uint32_t soldQuantity;   // thousandths
    uint32_t payoutQuantity; // thousandths
    uint32_t salesSum;       // kopecks, this and the five below
    uint32_t payoutsSum;
    uint32_t discountsOnSales;
    uint32_t discountsOnPayouts;
    uint32_t marginsOnSales;
    uint32_t marginsOnPayouts;
    int32_t plu; // 0..1048575
    int64_t barcode;
    const char* name; // zero-terminated; owned by whoever filled the record
};

// One line of the periodic report by goods as the library fills it.
struct Q710PeriodicGoodsData {
    uint16_t number;
    uint32_t price;
    uint8_t group;
    uint8_t tax;
    int16_t weighed;
    int16_t presenceControl;
    int16_t saleBlocking;
    uint8_t payoutOperation;
    uint32_t remainder;
    int64_t soldQuantity;
    int64_t payoutQuantity;
    int64_t salesSum;
    int64_t payoutsSum;
    int32_t plu;
    int64_t barcode;
    const char* name;
};

// One goods record as the program writes it (passed by value).
struct Q710GoodsProgData {
    int32_t price; // kopecks
    uint8_t group; // 1..100
    uint8_t tax;   // 0..4
    int16_t weighed;
    int16_t presenceControl;
    int16_t saleBlocking;
    uint8_t payoutOperation;
    int32_t quantity; // thousandths
    int32_t plu;
    int64_t barcode;
    const char* name;
};

// Discount group, 72 bytes. Dates and times are days since 30.12.1899.
struct Q710DiscountGroupRecord {
    uint8_t group;  // 1..15
    uint8_t terms;  // 1 dates, 2 time, 4 weekdays
    uint16_t value; // 0..9999, hundredths of a percent
    uint8_t reserved1[4];
    uint64_t firstCard;
    uint64_t lastCard;
    double beginDate;
    double endDate;
    double beginTime;
    double endTime;
    int16_t days[7]; // Monday..Sunday, -1 / 0
    uint8_t reserved2[2];
};

// Data of the X report, 104 bytes; sums in kopecks.
struct Q710XReportData {
    uint16_t saleReceipts;
    uint16_t payoutReceipts;
    uint8_t reserved[4];
    double shiftStart;      // 36892.0 while the day is closed
    uint32_t salesByTax[4]; // А..Г
    uint32_t untaxedSales;
    uint32_t payoutsByTax[4];
    uint32_t untaxedPayouts;
    uint32_t salesByPayment[3]; // cash, card, credit
    uint32_t payoutsByPayment[3];
    uint32_t cashIn;
    uint32_t cashOut;
    uint32_t marginsOnSales;
    uint32_t marginsOnPayouts;
    uint32_t discountsOnSales;
    uint32_t discountsOnPayouts;
};

#pragma pack(push, 1)
// Parameters of one electronic journal, 11 bytes.
struct Q710JournalParams {
    uint16_t shift;
    uint8_t journalInShift;
    uint32_t controlTapeLength;
    uint32_t pcInfoLength;
};
#pragma pack(pop)

} // extern "C"

static_assert(sizeof(Q710DiscountGroupRecord) == 72);
static_assert(sizeof(Q710XReportData) == 104);
static_assert(sizeof(Q710JournalParams) == 11);

// The 62 functions: X(result type, name, parameter list). Connection and
// modem functions answer a 16-bit boolean, data functions a status byte; the
// last `err` argument receives a library-owned error text ("" on success).
#define Q710_DEVICE_FUNCTIONS(X)                                                                             \
    /* connection and addressing */                                                                          \
    X(int16_t, HostConnect, (uint8_t port, uint32_t baud, int32_t p3, int32_t p4, const char** err))         \
    X(void, HostDisconnect, (void))                                                                          \
    X(void, ECRDisconnect, (void))                                                                           \
    X(void, SetAddressTransmitter, (int32_t address))                                                        \
    X(void, SetAddressReceiver, (int32_t address))                                                           \
    X(void, DisableRS485, (void))                                                                            \
    X(void, RadarCreate, (void))                                                                             \
    X(void, RadarFree, (void))                                                                               \
    X(uint8_t, MemoryFree, (const char** err))                                                               \
    X(uint8_t, PowerOff, (const char** err))                                                                 \
    X(uint8_t, NextCommand, (void* buffer, int32_t lastIndex, const char** err))                             \
    /* modem */                                                                                              \
    X(int16_t, ModemDial,                                                                                    \
      (int16_t tone, int16_t reserved, int16_t showChoice, int16_t showConfig, const char* phone,            \
       const char** err))                                                                                    \
    X(int16_t, ModemCancelCall, (const char** err))                                                          \
    X(int16_t, SetModemMaxAttempts, (int32_t attempts, const char** err))                                    \
    X(int16_t, GetModemMaxAttempts, (uint16_t * attempts, const char** err))                                 \
    X(int16_t, GetModemCurrentAttempt, (uint16_t * attempt, const char** err))                               \
    X(int16_t, GetModemRetryWait, (uint16_t * seconds, const char** err))                                    \
    X(int16_t, GetModemState, (uint8_t * state, const char** err))                                           \
    X(int16_t, GetModemDeviceName, (const char** name, const char** err))                                    \
    /* goods table */                                                                                        \
    X(uint8_t, GetLengthGoodsName,                                                                           \
      (uint8_t * nameLength, uint16_t * maxGoods, uint16_t * programmedGoods, uint16_t * failureRecords,     \
       const char** err))                                                                                    \
    X(uint8_t, SetLengthGoodsName, (int32_t length, const char** err))                                       \
    X(uint8_t, GetGoodsByNumber,                                                                             \
      (uint16_t first, int16_t failuresOnly, Q710GoodsData * goods, const char** err))                       \
    X(uint8_t, SetGoodsByNumber, (uint16_t number, Q710GoodsProgData goods, const char** err))               \
    X(uint8_t, GetGoodsByCode, (int32_t plu, int64_t barcode, Q710GoodsData * goods, const char** err))      \
    X(uint8_t, SetGoodsByCode, (Q710GoodsProgData goods, const char** err))                                  \
    X(uint8_t, SetGoodsByCode2, (Q710GoodsProgData goods, const char** err))                                 \
    X(uint8_t, SetGoodsPrice, (int32_t plu, int64_t barcode, int32_t price, const char** err))               \
    X(uint8_t, SetGoodsQuantity,                                                                             \
      (int32_t plu, int64_t barcode, int32_t quantity, int32_t option, const char** err))                    \
    X(uint8_t, EraseGoodsByCode, (int32_t plu, int64_t barcode, const char** err))                           \
    X(uint8_t, EraseAllGoods, (const char** err))                                                            \
    X(uint8_t, EraseAdditionalCodes, (int64_t first, int64_t last, const char** err))                        \
    X(uint8_t, EraseFailureRecords, (const char** err))                                                      \
    /* goods reports */                                                                                      \
    X(uint8_t, GetQuantityRecordsOfGoods, (int32_t selector, uint16_t * count, const char** err))            \
    X(uint8_t, GetSaleGoodsByMinNumber, (int32_t reserved, Q710GoodsData * goods, const char** err))         \
    X(uint8_t, GetPeriodicReportOfGoodsByNumber,                                                             \
      (int32_t reserved, Q710PeriodicGoodsData * goods, const char** err))                                   \
    X(uint8_t, GetGoodsByRange,                                                                              \
      (int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode, int64_t lastBarcode, Q710GoodsData * goods,  \
       const char** err))                                                                                    \
    X(uint8_t, GetGoodsWithLessQuantity,                                                                     \
      (int32_t reserved, int32_t group, int32_t threshold, Q710GoodsData * goods, const char** err))         \
    X(uint8_t, ErasePeriodicReportByGoodsCode103,                                                            \
      (int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode, int64_t lastBarcode, const char** err))      \
    X(uint8_t, ErasePeriodicReportByGoodsGroup103,                                                           \
      (int32_t firstGroup, int32_t lastGroup, const char** err))                                             \
    /* goods groups and text patterns */                                                                     \
    X(uint8_t, GetGoodsGroupName, (int32_t group, const char** name, const char** err))                      \
    X(uint8_t, SetGoodsGroupName, (int32_t group, const char* name, const char** err))                       \
    X(uint8_t, GetTextPattern, (int32_t pattern, uint8_t * cursor, const char** text, const char** err))     \
    X(uint8_t, SetTextPattern, (int32_t pattern, int32_t cursor, const char* text, const char** err))        \
    /* keys */                                                                                               \
    X(uint8_t, GetFastCode, (int32_t key, const char** code, const char** err))                              \
    X(uint8_t, SetFastCode, (int32_t key, const char* code, const char** err))                               \
    X(uint8_t, ExecuteBarCode, (const char* sequence, const char** err))                                     \
    /* discounts and margins */                                                                              \
    X(uint8_t, GetDiscMargValues,                                                                            \
      (uint16_t * discount, uint16_t * margin, int16_t * discountsAllowed, int16_t * marginsAllowed,         \
       const char** err))                                                                                    \
    X(uint8_t, SetDiscMargValues, (int32_t discount, int32_t margin, const char** err))                      \
    X(uint8_t, SetDiscountMarginFlags, (int32_t discounts, int32_t margins, const char** err))               \
    X(uint8_t, GetDiscountGroupParameters103,                                                                \
      (int32_t group, Q710DiscountGroupRecord * record, const char** err))                                   \
    X(uint8_t, SetDiscountGroupParameters103,                                                                \
      (int32_t group, Q710DiscountGroupRecord record, const char** err))                                     \
    /* X report and reports by hours */                                                                      \
    X(uint8_t, GetDataXReport, (Q710XReportData * report, const char** err))                                 \
    X(uint8_t, GetXReportByHours,                                                                            \
      (int32_t reserved, uint16_t * saleReceipts, uint16_t * refundReceipts, uint32_t * saleSum,             \
       uint32_t * refundSum, const char** err))                                                              \
    X(uint8_t, GetPeriodicXReportByHours103,                                                                 \
      (int32_t reserved, uint32_t * saleReceipts, uint32_t * refundReceipts, int64_t * saleSum,              \
       int64_t * refundSum, const char** err))                                                               \
    X(uint8_t, ErasePeriodicXReportByHours103, (const char** err))                                           \
    X(uint8_t, GetPeiodOfLastDay, (double* opened, double* closed, const char** err))                        \
    /* electronic journal */                                                                                 \
    X(uint8_t, GetJournalParams,                                                                             \
      (int32_t journal, uint8_t * journals, Q710JournalParams * params, const char** err))                   \
    X(uint8_t, GetJournal,                                                                                   \
      (int32_t journal, int32_t p2, int32_t p3, void* block, int32_t lastIndex, const char** err))           \
    X(uint8_t, GetReport, (int32_t report, void* buffer, int32_t lastIndex, const char** err))               \
    X(uint8_t, GetFreeVolumeJournal, (uint32_t * bytes, const char** err))                                   \
    X(uint8_t, GetJournalOptions, (uint8_t * options, const char** err))                                     \
    X(uint8_t, SetJournalOptions, (uint8_t options, const char** err))

// Function pointer types, e.g. Q710_HostConnect_t.
#define Q710_DECLARE_TYPE(ret, name, params) using Q710_##name##_t = ret(Q710_CALL*) params;
Q710_DEVICE_FUNCTIONS(Q710_DECLARE_TYPE)
#undef Q710_DECLARE_TYPE

// Number of functions in the list above.
#define Q710_COUNT_ONE(ret, name, params) +1
inline constexpr int Q710_FUNCTION_COUNT = 0 Q710_DEVICE_FUNCTIONS(Q710_COUNT_ONE);
#undef Q710_COUNT_ONE
static_assert(Q710_FUNCTION_COUNT == 62);
