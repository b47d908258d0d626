#include "device/simulator/Simulator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "device/simulator/SimText.h"

namespace sim {

namespace {

constexpr std::size_t UnterminatedFill = 1100;
constexpr auto SaveInterval = std::chrono::milliseconds(200);
constexpr std::size_t MaxPhoneBytes = 64;
constexpr int MaxScriptBytes = 1 << 20;

const char* const TextNoLink = "Немає зв'язку: ЕККА не відповідає!";
const char* const TextBadValue = "Невірне значення параметра";
const char* const TextNotFound = "Товар не знайдено";
const char* const TextNothingFound = "Товарів не знайдено";
const char* const TextEndOfData = "Кінець даних";

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

const char* TextSlot::Set(const std::string& text, bool unterminated) {
    bytes_.assign(text.begin(), text.end());
    if (unterminated) bytes_.insert(bytes_.end(), UnterminatedFill, '~');
    bytes_.push_back('\0');
    return bytes_.data();
}

Simulator::Options Simulator::FromEnvironment() {
    Options options;
    options.statePath = StateFile::DefaultPath();
    options.logPath = EnvText("Q710_SIM_LOG");
    options.scenarioPath = EnvText("Q710_SIM_SCENARIO");
    return options;
}

Simulator::Simulator(Options options)
    : options_(std::move(options)), memory_(RegisterMemory::Demo()), stateFile_(options_.statePath) {
    log_.SetPath(options_.logPath);
    if (!options_.statePath.empty() && !LoadState()) {
        dirty_ = true;
        SaveIfDue(true);
    }
    if (!options_.scenarioPath.empty()) {
        std::ifstream in(options_.scenarioPath, std::ios::binary);
        std::string text(MaxScriptBytes, '\0');
        in.read(text.data(), MaxScriptBytes);
        text.resize(static_cast<std::size_t>(in.gcount()));
        std::string reply;
        RunScript(text, reply);
    }
}

Simulator::~Simulator() {
    Flush();
}

bool Simulator::LoadState() {
    const auto image = stateFile_.Load();
    return image && memory_.Deserialize(*image);
}

void Simulator::Changed() {
    dirty_ = true;
    SaveIfDue(false);
}

void Simulator::SaveIfDue(bool force) {
    if (!dirty_ || options_.statePath.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastSave_ < SaveInterval) return;
    if (stateFile_.Save(memory_.Serialize())) dirty_ = false;
    lastSave_ = now;
}

void Simulator::Flush() {
    SaveIfDue(true);
}

bool Simulator::IsLocalCall(const std::string& name) {
    return name == "GetModemState" || name == "GetModemDeviceName" || name == "GetModemRetryWait" ||
           name == "GetModemCurrentAttempt" || name == "GetModemMaxAttempts";
}

uint8_t Simulator::Ok(const char** err) {
    if (err) *err = error_.Set("", scenario_.Unterminated());
    return Q710_OK;
}

uint8_t Simulator::Fail(const char** err, uint8_t status, const std::string& cp1251Text) {
    if (err) *err = error_.Set(cp1251Text, scenario_.Unterminated());
    return status;
}

uint8_t Simulator::FailUtf8(const char** err, uint8_t status, const char* utf8Text) {
    return Fail(err, status, ToCp1251(utf8Text));
}

int16_t Simulator::BoolOk(const char** err) {
    Ok(err);
    return -1;
}

int16_t Simulator::BoolFail(const char** err, const char* utf8Text) {
    FailUtf8(err, StatusFailed, utf8Text);
    return 0;
}

uint8_t Simulator::NoLink(const char** err) {
    return FailUtf8(err, StatusNoLink, TextNoLink);
}

bool Simulator::LinkUp() const {
    if (poweredOff_) return false;
    if (modem_.Connected()) return true;
    const bool network = receiver_ != 0 && !rs485Disabled_;
    return connected_ && (!network || receiver_ == registerAddress_);
}

const char* Simulator::NameText(const std::string& name) {
    return name_.Set(name, scenario_.Unterminated());
}

template <class T, class Value> int16_t Simulator::Answer(T* out, Value value, const char** err) {
    if (out == nullptr) return BoolFail(err, TextBadValue);
    *out = value();
    return BoolOk(err);
}

// Connection and addressing.

int16_t Simulator::HostConnect(uint8_t port, uint32_t baud, int32_t, int32_t, const char** err) {
    if (port < 1 || port > 8 || !ports_[port]) {
        connected_ = false;
        return BoolFail(err, ("Порт COM" + std::to_string(port) + " недоступний").c_str());
    }
    if (baud != 4800 && baud != 9600 && baud != 19200 && baud != 38400) {
        connected_ = false;
        return BoolFail(err, "Невірна швидкість обміну");
    }
    connected_ = true;
    poweredOff_ = false;
    return BoolOk(err);
}

void Simulator::HostDisconnect() {
    connected_ = false;
    Flush();
}

void Simulator::ECRDisconnect() {
    connected_ = false;
    Flush();
}

void Simulator::SetAddressReceiver(int32_t address) {
    receiver_ = address;
    if (address != 0) rs485Disabled_ = false;
}

void Simulator::RadarFree() {
    radar_ = false;
    modem_.Cancel();
    Flush();
}

uint8_t Simulator::MemoryFree(const char** err) {
    return LinkUp() ? Ok(err) : NoLink(err);
}

uint8_t Simulator::PowerOff(const char** err) {
    if (!LinkUp()) return NoLink(err);
    poweredOff_ = true;
    Flush();
    return Ok(err);
}

uint8_t Simulator::NextCommand(void* buffer, int32_t lastIndex, const char** err) {
    if (journal_.open) return NextJournalBlock(buffer, lastIndex, err);
    if (!cursor_.IsOpen()) return FailUtf8(err, StatusNoBatch, "Немає незавершеного запиту даних");
    if (buffer == nullptr || lastIndex < 0 || lastIndex + 1 < cursor_.RecordSize())
        return FailUtf8(err, StatusSmallBuffer, "Розмір буфера замалий для запису");
    if (!LinkUp()) return NoLink(err);
    const std::vector<uint8_t>* record = cursor_.Peek();
    if (record == nullptr) {
        const uint8_t status = cursor_.EndStatus();
        return FailUtf8(err, status, status == Q710_NOT_FOUND ? TextNothingFound : TextEndOfData);
    }
    if (auto fault = scenario_.RecordFault(cursor_.NextIndex())) return Fail(err, fault->status, fault->text);
    if (const BatchCursor::Refusal* refusal = cursor_.NextRefusal()) {
        const uint8_t status = refusal->status;
        const std::string text = refusal->text;
        cursor_.Advance();
        return Fail(err, status, text);
    }
    std::memcpy(buffer, record->data(), std::min<std::size_t>(record->size(), cursor_.RecordSize()));
    cursor_.Advance();
    return Ok(err);
}

// Modem.

int16_t Simulator::ModemDial(int16_t, int16_t, int16_t, int16_t, const char* phone, const char** err) {
    if (!radar_) return BoolFail(err, "Об'єкт зв'язку не створено");
    const std::string number = BoundedText(phone, MaxPhoneBytes);
    if (number.empty()) return BoolFail(err, "Не задано номер телефону");
    modem_.Dial(number);
    poweredOff_ = false;
    if (scenario_.QuietDial()) {
        Ok(err);
        return 0;
    }
    return BoolOk(err);
}

int16_t Simulator::ModemCancelCall(const char** err) {
    modem_.Cancel();
    Flush();
    return BoolOk(err);
}

int16_t Simulator::SetModemMaxAttempts(int32_t attempts, const char** err) {
    if (!modem_.SetMaxAttempts(attempts)) return BoolFail(err, "Невірна кількість спроб набору (1..10)");
    return BoolOk(err);
}

int16_t Simulator::GetModemMaxAttempts(uint16_t* attempts, const char** err) {
    return Answer(
        attempts, [&] { return modem_.ShownMaximum(); }, err);
}

int16_t Simulator::GetModemCurrentAttempt(uint16_t* attempt, const char** err) {
    return Answer(
        attempt, [&] { return modem_.CurrentAttempt(); }, err);
}

int16_t Simulator::GetModemRetryWait(uint16_t* seconds, const char** err) {
    return Answer(
        seconds, [&] { return modem_.RetryWait(); }, err);
}

int16_t Simulator::GetModemState(uint8_t* state, const char** err) {
    return Answer(
        state, [&] { return modem_.Poll(); }, err);
}

int16_t Simulator::GetModemDeviceName(const char** name, const char** err) {
    return Answer(
        name, [&] { return modemName_.Set("Standard 33600 bps Modem", scenario_.Unterminated()); }, err);
}

// Goods table.

uint8_t Simulator::GetLengthGoodsName(uint8_t* nameLength, uint16_t* maxGoods, uint16_t* programmed,
                                      uint16_t* failures, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (!nameLength || !maxGoods || !programmed || !failures)
        return FailUtf8(err, StatusBadValue, TextBadValue);
    const GoodsBase& base = memory_.goods;
    *nameLength = static_cast<uint8_t>(base.NameLength());
    *maxGoods = static_cast<uint16_t>(base.Capacity());
    *programmed = static_cast<uint16_t>(base.Programmed());
    *failures = static_cast<uint16_t>(base.Failures());
    return Ok(err);
}

uint8_t Simulator::SetLengthGoodsName(int32_t length, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (length < 20 || length > MaxNameBytes)
        return FailUtf8(err, StatusBadValue, "Невірна довжина назви товару (20..31)");
    memory_.goods.SetNameLength(length);
    Changed();
    return Ok(err);
}

uint8_t Simulator::GetGoodsByCode(int32_t plu, int64_t barcode, Q710GoodsData* goods, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (goods == nullptr) return FailUtf8(err, StatusBadValue, TextBadValue);
    const int number = memory_.goods.Find(plu, barcode);
    if (number < 0) return FailUtf8(err, Q710_NOT_FOUND, TextNotFound);
    const Goods& g = *memory_.goods.At(number);
    *goods = GoodsDataOf(g);
    goods->name = NameText(g.name);
    return Ok(err);
}

uint8_t Simulator::WriteGoods(int number, const Q710GoodsProgData& data, const char** err) {
    Goods goods = GoodsFromProg(data, memory_.goods.NameLength());
    if (const Goods* old = memory_.goods.At(number);
        old && old->plu == goods.plu && old->barcode == goods.barcode) {
        goods.day = old->day;
        goods.period = old->period;
    }
    memory_.goods.Put(number, std::move(goods));
    Changed();
    return Ok(err);
}

uint8_t Simulator::SetGoodsByNumber(uint16_t number, const Q710GoodsProgData& data, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (number >= memory_.goods.Capacity())
        return FailUtf8(err, StatusTableFull, "Номер товару поза межами товарної бази");
    if (!ValidProgData(data)) return FailUtf8(err, StatusBadValue, "Невірні параметри товару");
    const int holder = memory_.goods.Find(data.plu, data.barcode);
    if (holder >= 0 && holder != number)
        return FailUtf8(err, StatusCodeTaken, "Товар з таким кодом уже запрограмовано");
    return WriteGoods(number, data, err);
}

uint8_t Simulator::SetGoodsByCode(const Q710GoodsProgData& data, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (!ValidProgData(data)) return FailUtf8(err, StatusBadValue, "Невірні параметри товару");
    int number = memory_.goods.Find(data.plu, data.barcode);
    if (number < 0) number = memory_.goods.FirstFree();
    if (number < 0) return FailUtf8(err, StatusTableFull, "Товарна база заповнена");
    return WriteGoods(number, data, err);
}

uint8_t Simulator::SetGoodsByCode2(const Q710GoodsProgData& data, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (!ValidProgData(data)) return FailUtf8(err, StatusBadValue, "Невірні параметри товару");
    const int number = memory_.goods.Find(data.plu, data.barcode);
    if (number < 0) return SetGoodsByCode(data, err);
    Goods goods = *memory_.goods.At(number);
    const uint64_t remainder = uint64_t{goods.remainder} + static_cast<uint32_t>(data.quantity);
    if (remainder > UINT32_MAX) return FailUtf8(err, StatusBadValue, "Переповнення залишку товару");
    goods.price = static_cast<uint32_t>(data.price);
    goods.remainder = static_cast<uint32_t>(remainder);
    memory_.goods.Put(number, std::move(goods));
    Changed();
    return Ok(err);
}

uint8_t Simulator::SetGoodsPrice(int32_t plu, int64_t barcode, int32_t price, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (price < 0) return FailUtf8(err, StatusBadValue, TextBadValue);
    const int number = memory_.goods.Find(plu, barcode);
    if (number < 0) return FailUtf8(err, Q710_NOT_FOUND, TextNotFound);
    Goods goods = *memory_.goods.At(number);
    goods.price = static_cast<uint32_t>(price);
    memory_.goods.Put(number, std::move(goods));
    Changed();
    return Ok(err);
}

uint8_t Simulator::SetGoodsQuantity(int32_t plu, int64_t barcode, int32_t quantity, int32_t option,
                                    const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (quantity < 0 || option < 0 || option > 2) return FailUtf8(err, StatusBadValue, TextBadValue);
    const int number = memory_.goods.Find(plu, barcode);
    if (number < 0) return FailUtf8(err, Q710_NOT_FOUND, TextNotFound);
    Goods goods = *memory_.goods.At(number);
    int64_t remainder = quantity;
    if (option == 1) remainder = int64_t{goods.remainder} + quantity;
    if (option == 2) remainder = int64_t{goods.remainder} - quantity;
    if (remainder < 0) return FailUtf8(err, StatusBadValue, "Недостатня кількість товару");
    if (remainder > UINT32_MAX) return FailUtf8(err, StatusBadValue, "Переповнення залишку товару");
    goods.remainder = static_cast<uint32_t>(remainder);
    memory_.goods.Put(number, std::move(goods));
    Changed();
    return Ok(err);
}

uint8_t Simulator::EraseGoodsByCode(int32_t plu, int64_t barcode, const char** err) {
    if (!LinkUp()) return NoLink(err);
    const int number = memory_.goods.Find(plu, barcode);
    if (number < 0) return FailUtf8(err, Q710_NOT_FOUND, TextNotFound);
    memory_.goods.Erase(number);
    Changed();
    return Ok(err);
}

uint8_t Simulator::EraseAllGoods(const char** err) {
    if (!LinkUp()) return NoLink(err);
    memory_.goods.EraseAll();
    Changed();
    return Ok(err);
}

uint8_t Simulator::EraseAdditionalCodes(int64_t first, int64_t last, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (first > last) return FailUtf8(err, StatusBadValue, TextBadValue);
    auto& codes = memory_.goods.AdditionalCodes();
    codes.erase(codes.lower_bound(first), codes.upper_bound(last));
    Changed();
    return Ok(err);
}

uint8_t Simulator::EraseFailureRecords(const char** err) {
    if (!LinkUp()) return NoLink(err);
    memory_.goods.EraseFailures();
    Changed();
    return Ok(err);
}

uint8_t Simulator::GetPeiodOfLastDay(double* opened, double* closed, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (opened == nullptr || closed == nullptr) return FailUtf8(err, StatusBadValue, TextBadValue);
    *opened = memory_.lastDayOpened;
    *closed = memory_.lastDayClosed;
    return Ok(err);
}

// Goods reports.

uint8_t Simulator::GetQuantityRecordsOfGoods(int32_t selector, uint16_t* count, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (count == nullptr || (selector != 0 && selector != -1))
        return FailUtf8(err, StatusBadValue, TextBadValue);
    if (auto forced = scenario_.CountOverride(selector)) {
        *count = static_cast<uint16_t>(*forced);
        return Ok(err);
    }
    const auto selected =
        memory_.goods.Select(0, [&](const Goods& g) { return selector == 0 ? g.SoldToday() : g.InPeriod(); });
    *count = static_cast<uint16_t>(selected.size());
    return Ok(err);
}

bool Simulator::BatchStartFaulted(const char** err, uint8_t& status) {
    auto fault = scenario_.BatchStartFault();
    if (!fault) {
        if (auto end = scenario_.EarlyEnd(); end && end->first <= 0) fault = Fault{end->second, ""};
    }
    if (!fault) return false;
    std::string text = fault->text;
    if (text.empty() && fault->status == Q710_NOT_FOUND) text = ToCp1251(TextNothingFound);
    if (text.empty() && fault->status == Q710_END_OF_DATA) text = ToCp1251(TextEndOfData);
    status = Fail(err, fault->status, text);
    return true;
}

template <class Data, class MakeData, class MakeRaw>
uint8_t Simulator::StartBatch(const std::vector<const Goods*>& selected, Data* out, MakeData makeData,
                              MakeRaw makeRaw, int recordSize, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (out == nullptr) return FailUtf8(err, StatusBadValue, TextBadValue);
    if (uint8_t status; BatchStartFaulted(err, status)) return status;
    if (selected.empty()) return FailUtf8(err, Q710_NOT_FOUND, TextNothingFound);
    *out = makeData(*selected[0]);
    out->name = NameText(selected[0]->name);
    std::vector<std::vector<uint8_t>> rest;
    for (std::size_t i = 1; i < selected.size(); ++i) rest.push_back(makeRaw(*selected[i]));
    OpenBatch(std::move(rest), recordSize);
    return Ok(err);
}

void Simulator::OpenBatch(std::vector<std::vector<uint8_t>> rest, int recordSize) {
    if (auto size = scenario_.RecordSize()) {
        recordSize = *size;
        for (auto& record : rest) record.resize(static_cast<std::size_t>(recordSize), 0);
    }
    cursor_.Open(std::move(rest), recordSize, Q710_END_OF_DATA);
    if (auto end = scenario_.EarlyEnd()) cursor_.EndAfter(end->first, end->second);
}

uint8_t Simulator::StartGoodsBatch(const std::vector<const Goods*>& selected, Q710GoodsData* goods,
                                   const char** err) {
    return StartBatch(selected, goods, GoodsDataOf, RawGoodsRecord, Q710_RAW_GOODS_SIZE, err);
}

uint8_t Simulator::StartPeriodicBatch(const std::vector<const Goods*>& selected, Q710PeriodicGoodsData* goods,
                                      const char** err) {
    return StartBatch(selected, goods, PeriodicDataOf, RawPeriodicRecord, Q710_RAW_PERIODIC_GOODS_SIZE, err);
}

uint8_t Simulator::GetSaleGoodsByMinNumber(int32_t, Q710GoodsData* goods, const char** err) {
    return StartGoodsBatch(memory_.goods.Select(0, [](const Goods& g) { return g.SoldToday(); }), goods, err);
}

uint8_t Simulator::GetPeriodicReportOfGoodsByNumber(int32_t, Q710PeriodicGoodsData* goods, const char** err) {
    return StartPeriodicBatch(memory_.goods.Select(0, [](const Goods& g) { return g.InPeriod(); }), goods,
                              err);
}

uint8_t Simulator::GetGoodsByNumber(uint16_t first, int16_t failuresOnly, Q710GoodsData* goods,
                                    const char** err) {
    return StartGoodsBatch(
        memory_.goods.Select(first, [&](const Goods& g) { return failuresOnly == 0 || g.failure; }), goods,
        err);
}

uint8_t Simulator::GetGoodsByRange(int32_t firstPlu, int32_t lastPlu, int64_t firstBarcode,
                                   int64_t lastBarcode, Q710GoodsData* goods, const char** err) {
    return StartGoodsBatch(memory_.goods.Select(0,
                                                [&](const Goods& g) {
                                                    return g.plu >= firstPlu && g.plu <= lastPlu &&
                                                           g.barcode >= firstBarcode &&
                                                           g.barcode <= lastBarcode;
                                                }),
                           goods, err);
}

uint8_t Simulator::GetGoodsWithLessQuantity(int32_t, int32_t group, int32_t threshold, Q710GoodsData* goods,
                                            const char** err) {
    if (group < 0 || group > 100) {
        if (!LinkUp()) return NoLink(err);
        return FailUtf8(err, StatusBadValue, TextBadValue);
    }
    return StartGoodsBatch(memory_.goods.Select(0,
                                                [&](const Goods& g) {
                                                    return (group == 0 || g.group == group) &&
                                                           int64_t{g.remainder} < int64_t{threshold};
                                                }),
                           goods, err);
}

} // namespace sim
