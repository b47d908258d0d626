// The simulated register's fast keys, the key sequences it executes, its
// fixed discount and margin and its fifteen discount groups.
#include <cmath>
#include <sstream>

#include "device/simulator/Bytes.h"
#include "device/simulator/ControlWords.h"
#include "device/simulator/SimText.h"
#include "device/simulator/Simulator.h"

namespace sim {

namespace {

constexpr int FastKeyCount = 8;
constexpr int DiscountGroupCount = 15;
constexpr std::size_t MaxSequenceBytes = 255;
constexpr int MaxPercent = 9999;
constexpr double Days2001 = 36892.0; // 01.01.2001 as days since 30.12.1899

const char* const TextBadValue = "Невірне значення параметра";
const char* const TextBadKey = "Невірний номер клавіші швидкого доступу";
const char* const TextBadGroup = "Невірний номер дисконтної групи";
const char* const TextNoLinkGroup = "Немає зв'язку: ЕККА не відповідає!";
const char* const TextNoGroups = "Дисконтні групи не запрограмовані";
const char* const TextBadRange = "Код початкової картки більший за код кінцевої";

std::string UnavailableText(int group) {
    return ToCp1251("Дисконтна група №" + std::to_string(group) + " недоступна");
}

// Seconds from 01.01.2001 to the date part of `days`; dates before it give 0.
uint32_t DateSeconds(double days) {
    if (!std::isfinite(days) || days <= Days2001) return 0;
    const double seconds = (std::floor(days) - Days2001) * 86400.0;
    return seconds >= 4294967295.0 ? 4294967295u : static_cast<uint32_t>(seconds);
}

// Minutes since midnight of the time-of-day part of `days`.
uint16_t TimeMinutes(double days) {
    if (!std::isfinite(days)) return 0;
    const double fraction = days - std::floor(days);
    return static_cast<uint16_t>(static_cast<int>(std::lround(fraction * 1440.0)) % 1440);
}

// The 33-byte record NextCommand hands out for one group.
std::vector<uint8_t> BatchRecord(const Q710DiscountGroupRecord& g, uint8_t groupByte) {
    ByteWriter w;
    w.U8(groupByte);
    w.U16(g.value);
    w.U64(g.firstCard);
    w.U64(g.lastCard);
    w.U8(g.terms);
    w.U32(DateSeconds(g.beginDate));
    w.U32(DateSeconds(g.endDate));
    w.U16(TimeMinutes(g.beginTime));
    w.U16(TimeMinutes(g.endTime));
    uint8_t dayBits = 0;
    for (int d = 0; d < 7; ++d)
        if (g.days[d] != 0) dayBits = static_cast<uint8_t>(dayBits | (1u << d));
    w.U8(dayBits);
    return w.Bytes();
}

} // namespace

uint8_t Simulator::GetFastCode(int32_t key, const char** code, const char** err) {
    if (code == nullptr) return FailUtf8(err, StatusBadValue, TextBadValue);
    *code = fastCode_.Set("", false);
    if (!LinkUp()) return NoLink(err);
    if (key < 1 || key > FastKeyCount) return FailUtf8(err, StatusBadValue, TextBadKey);
    *code = fastCode_.Set(memory_.fastKeys[static_cast<std::size_t>(key - 1)], scenario_.Unterminated());
    return Ok(err);
}

uint8_t Simulator::SetFastCode(int32_t key, const char* code, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (key < 1 || key > FastKeyCount) return FailUtf8(err, StatusBadValue, TextBadKey);
    memory_.fastKeys[static_cast<std::size_t>(key - 1)] = BoundedText(code, MaxSequenceBytes);
    Changed();
    return Ok(err);
}

uint8_t Simulator::ExecuteBarCode(const char* sequence, const char** err) {
    if (!LinkUp()) return NoLink(err);
    std::vector<std::string>& sent = memory_.sentSequences;
    sent.push_back(BoundedText(sequence, MaxSequenceBytes));
    if (sent.size() > MaxSentSequences) sent.erase(sent.begin());
    Changed();
    return Ok(err);
}

uint8_t Simulator::GetDiscMargValues(uint16_t* discount, uint16_t* margin, int16_t* discountsAllowed,
                                     int16_t* marginsAllowed, const char** err) {
    if (!discount || !margin || !discountsAllowed || !marginsAllowed)
        return FailUtf8(err, StatusBadValue, TextBadValue);
    if (!LinkUp()) return NoLink(err);
    *discount = memory_.discount;
    *margin = memory_.margin;
    *discountsAllowed = memory_.discountsAllowed ? -1 : 0;
    *marginsAllowed = memory_.marginsAllowed ? -1 : 0;
    return Ok(err);
}

uint8_t Simulator::SetDiscMargValues(int32_t discount, int32_t margin, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (discount < 0 || discount > MaxPercent || margin < 0 || margin > MaxPercent)
        return FailUtf8(err, StatusBadValue, TextBadValue);
    memory_.discount = static_cast<uint16_t>(discount);
    memory_.margin = static_cast<uint16_t>(margin);
    Changed();
    return Ok(err);
}

uint8_t Simulator::SetDiscountMarginFlags(int32_t discounts, int32_t margins, const char** err) {
    if (!LinkUp()) return NoLink(err);
    memory_.discountsAllowed = discounts != 0;
    memory_.marginsAllowed = margins != 0;
    Changed();
    return Ok(err);
}

uint8_t Simulator::GetDiscountGroupParameters103(int32_t group, Q710DiscountGroupRecord* record,
                                                 const char** err) {
    if (record == nullptr) return FailUtf8(err, StatusBadValue, TextBadValue);
    // The register answers this call with 0xFD when it does not answer at all.
    if (!LinkUp()) return FailUtf8(err, Q710_DISCOUNT_GROUP_NOT_AVAILABLE, TextNoLinkGroup);
    if (group < 1 || group > DiscountGroupCount) return FailUtf8(err, StatusBadValue, TextBadGroup);
    const auto byteOf = discountGroupByte_;
    discountGroupByte_.reset();
    auto available = [this](int g) {
        return memory_.discountGroupAvailable[static_cast<std::size_t>(g - 1)];
    };
    auto fill = [&](int g) {
        *record = memory_.discountGroups[static_cast<std::size_t>(g - 1)];
        record->group = static_cast<uint8_t>(g);
        if (byteOf && byteOf->first == 0) record->group = byteOf->second;
    };
    if (group != 1) {
        if (!available(group)) return Fail(err, Q710_DISCOUNT_GROUP_NOT_AVAILABLE, UnavailableText(group));
        fill(group);
        return Ok(err);
    }

    if (uint8_t status; BatchStartFaulted(err, status)) return status;
    int first = 1;
    while (first <= DiscountGroupCount && !available(first)) ++first;
    if (first > DiscountGroupCount) return FailUtf8(err, Q710_END_OF_DATA, TextNoGroups);
    fill(first);
    // The groups after the first one handed out; record k of the batch is group first + k.
    std::vector<std::vector<uint8_t>> rest;
    for (int g = first + 1; g <= DiscountGroupCount; ++g) {
        const int index = g - first;
        uint8_t groupByte = static_cast<uint8_t>(g - 1);
        if (byteOf && byteOf->first == index) groupByte = byteOf->second;
        rest.push_back(BatchRecord(memory_.discountGroups[static_cast<std::size_t>(g - 1)], groupByte));
    }
    cursor_.Open(std::move(rest), Q710_RAW_DISCOUNT_GROUP_SIZE, Q710_END_OF_DATA);
    for (int g = first + 1; g <= DiscountGroupCount; ++g)
        if (!available(g)) cursor_.Refuse(g - first, Q710_DISCOUNT_GROUP_NOT_AVAILABLE, UnavailableText(g));
    if (auto end = scenario_.EarlyEnd()) cursor_.EndAfter(end->first, end->second);
    // Group 1 itself is not available: the record names the first group that is.
    if (first != 1) return Fail(err, Q710_DISCOUNT_GROUP_NOT_AVAILABLE, UnavailableText(1));
    return Ok(err);
}

uint8_t Simulator::SetDiscountGroupParameters103(int32_t group, const Q710DiscountGroupRecord& record,
                                                 const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (group < 1 || group > DiscountGroupCount) return FailUtf8(err, StatusBadValue, TextBadGroup);
    if (record.value > MaxPercent || record.terms > 7) return FailUtf8(err, StatusBadValue, TextBadValue);
    if (record.firstCard > record.lastCard) return FailUtf8(err, StatusBadValue, TextBadRange);
    Q710DiscountGroupRecord stored = record;
    stored.group = static_cast<uint8_t>(group);
    std::fill(std::begin(stored.reserved1), std::end(stored.reserved1), uint8_t{0});
    std::fill(std::begin(stored.reserved2), std::end(stored.reserved2), uint8_t{0});
    for (int16_t& day : stored.days) day = day != 0 ? -1 : 0;
    memory_.discountGroups[static_cast<std::size_t>(group - 1)] = stored;
    memory_.discountGroupAvailable[static_cast<std::size_t>(group - 1)] = true;
    Changed();
    return Ok(err);
}

bool Simulator::IsDiscountCommand(const std::string& verb) {
    return verb == "discount-group" || verb == "discount-group-byte" || verb == "fast-key";
}

bool Simulator::DiscountControl(const std::vector<std::string>& words, std::string& reply) {
    auto fail = [&](const std::string& why) {
        reply = "error: " + why;
        return false;
    };
    const std::string& verb = words[0];
    if (verb == "discount-group") {
        const auto group = NumberAt(words, 1, 1, DiscountGroupCount);
        if (!group || words.size() != 3 || (words[2] != "available" && words[2] != "unavailable"))
            return fail("discount-group N available|unavailable (N 1..15)");
        memory_.discountGroupAvailable[static_cast<std::size_t>(*group - 1)] = words[2] == "available";
        Changed();
    } else if (verb == "discount-group-byte") {
        const auto record = NumberAt(words, 1, 0, DiscountGroupCount - 1);
        const auto byte = NumberAt(words, 2, 0, 255);
        if (!record || !byte || words.size() != 3) return fail("discount-group-byte K B (K 0..14, B 0..255)");
        discountGroupByte_ = std::make_pair(static_cast<int>(*record), static_cast<uint8_t>(*byte));
    } else {
        const auto key = NumberAt(words, 1, 1, FastKeyCount);
        if (!key || words.size() != 3) return fail("fast-key N \"TEXT\" (N 1..8)");
        const std::string text = Plain(words[2]);
        if (text.size() > MaxSequenceBytes) return fail("a fast key holds at most 255 bytes");
        memory_.fastKeys[static_cast<std::size_t>(*key - 1)] = text;
        Changed();
    }
    reply = "ok";
    return true;
}

std::string Simulator::DiscountDump() const {
    std::ostringstream out;
    out << "discount=" << memory_.discount << "\nmargin=" << memory_.margin
        << "\ndiscounts-allowed=" << memory_.discountsAllowed
        << "\nmargins-allowed=" << memory_.marginsAllowed << "\ndiscount-groups-unavailable=";
    const char* separator = "";
    for (int g = 1; g <= DiscountGroupCount; ++g) {
        if (memory_.discountGroupAvailable[static_cast<std::size_t>(g - 1)]) continue;
        out << separator << g;
        separator = ",";
    }
    out << "\nsent-sequences=" << memory_.sentSequences.size() << "\n";
    return out.str();
}

} // namespace sim
