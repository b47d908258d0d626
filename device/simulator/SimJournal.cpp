// The electronic journal functions of the simulated register: parameters,
// the journal in 128-byte blocks (the last one answered 0xA2 with its data),
// the Z report, the option bits and the free space; and the control commands
// that add journal documents or damage what is handed out.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "device/simulator/ControlWords.h"
#include "device/simulator/SimText.h"
#include "device/simulator/Simulator.h"

namespace sim {

namespace {

const char* const TextBadSize = "Невірний розмір буфера";

bool Quoted(const std::string& word) {
    return !word.empty() && word[0] == '\x01';
}

// "FIRST-LAST" or "FIRST-LAST@TIME".
std::optional<PackageEntry> PackageOf(const std::string& word, uint32_t defaultTime) {
    if (Quoted(word)) return std::nullopt;
    const std::size_t dash = word.find('-');
    const std::size_t at = word.find('@');
    if (dash == std::string::npos || dash == 0) return std::nullopt;
    const auto first = Number(word.substr(0, dash));
    const auto last =
        Number(word.substr(dash + 1, at == std::string::npos ? std::string::npos : at - dash - 1));
    std::optional<uint32_t> time = defaultTime;
    if (at != std::string::npos) time = ControlTime(word.substr(at + 1));
    if (!first || !last || !time || *first < 0 || *last < *first || *last > INT32_MAX) return std::nullopt;
    return PackageEntry{static_cast<int32_t>(*first), static_cast<int32_t>(*last), *time};
}

const std::vector<std::string>& JournalVerbs() {
    static const std::vector<std::string> verbs = {"packages",       "service",  "new-journal",
                                                   "journal-damage", "z-damage", "journal-free"};
    return verbs;
}

} // namespace

void Simulator::JournalBlocksCursor::Open(std::vector<std::vector<uint8_t>> all, uint8_t fill, bool forever) {
    blocks = std::move(all);
    next = 1;
    pad = fill;
    endless = forever;
    open = true;
}

bool Simulator::IsJournalCommand(const std::string& verb) {
    const auto& verbs = JournalVerbs();
    return std::find(verbs.begin(), verbs.end(), verb) != verbs.end();
}

uint8_t Simulator::GetJournalParams(int32_t journal, uint8_t* journals, Q710JournalParams* params,
                                    const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (journals == nullptr || params == nullptr)
        return FailUtf8(err, StatusBadValue, "Невірне значення параметра");
    const std::vector<JournalRef> all = JournalsOf(memory_.sales);
    *journals = static_cast<uint8_t>(all.size());
    if (all.empty()) return FailUtf8(err, Q710_NOT_FOUND, "Електронний журнал порожній");
    if (journal < 1 || static_cast<std::size_t>(journal) > all.size())
        return Fail(err, StatusBadValue,
                    ToCp1251("Журнал №") + std::to_string(journal) + ToCp1251(" відсутній"));
    *params = ParamsOf(all[static_cast<std::size_t>(journal - 1)]);
    return Ok(err);
}

uint8_t Simulator::GetJournal(int32_t journal, int32_t p2, int32_t p3, void* block, int32_t lastIndex,
                              const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (block == nullptr || lastIndex != static_cast<int32_t>(JournalBlockBytes) - 1)
        return FailUtf8(err, StatusSmallBuffer, TextBadSize);
    if (p2 != 3 || p3 != 0) return FailUtf8(err, StatusBadValue, "Невірні параметри запиту журналу");
    const std::vector<JournalRef> all = JournalsOf(memory_.sales);
    if (journal < 1 || static_cast<std::size_t>(journal) > all.size())
        return Fail(err, StatusBadValue,
                    ToCp1251("Журнал №") + std::to_string(journal) + ToCp1251(" відсутній"));
    std::vector<std::vector<uint8_t>> blocks = JournalBlocks(
        JournalStream(all[static_cast<std::size_t>(journal - 1)], journalDamage_), journalDamage_.pad);
    std::memcpy(block, blocks.front().data(), JournalBlockBytes);
    if (blocks.size() == 1 && !journalDamage_.endless) {
        Ok(err);
        return Q710_END_OF_DATA;
    }
    journal_.Open(std::move(blocks), journalDamage_.pad, journalDamage_.endless);
    return Ok(err);
}

uint8_t Simulator::NextJournalBlock(void* buffer, int32_t lastIndex, const char** err) {
    if (buffer == nullptr || lastIndex != static_cast<int32_t>(JournalBlockBytes) - 1)
        return FailUtf8(err, StatusSmallBuffer, TextBadSize);
    if (!LinkUp()) return NoLink(err);
    if (auto fault = scenario_.RecordFault(static_cast<int>(std::min<std::size_t>(journal_.next, INT32_MAX))))
        return Fail(err, fault->status, fault->text);
    if (journal_.next < journal_.blocks.size()) {
        std::memcpy(buffer, journal_.blocks[journal_.next].data(), JournalBlockBytes);
    } else {
        std::memset(buffer, journal_.pad, JournalBlockBytes);
    }
    ++journal_.next;
    Ok(err);
    if (journal_.endless || journal_.next < journal_.blocks.size()) return Q710_OK;
    journal_.Close();
    return Q710_END_OF_DATA;
}

uint8_t Simulator::GetReport(int32_t report, void* buffer, int32_t lastIndex, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (buffer == nullptr || lastIndex != static_cast<int32_t>(ZReportBytes) - 1)
        return FailUtf8(err, StatusSmallBuffer, TextBadSize);
    for (const Shift& shift : memory_.sales.shifts) {
        if (shift.number != report || !shift.z) continue;
        const std::vector<uint8_t> bytes = ZReportBuffer(*shift.z, journalDamage_);
        std::memcpy(buffer, bytes.data(), ZReportBytes);
        return Ok(err);
    }
    return Fail(err, Q710_NOT_FOUND,
                ToCp1251("Z-звіт №") + std::to_string(report) + ToCp1251(" не знайдено"));
}

uint8_t Simulator::GetFreeVolumeJournal(uint32_t* bytes, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (bytes == nullptr) return FailUtf8(err, StatusBadValue, "Невірне значення параметра");
    const uint64_t used = JournalBytesUsed(memory_.sales);
    *bytes = static_cast<uint32_t>(memory_.journalCapacity > used ? memory_.journalCapacity - used : 0);
    return Ok(err);
}

uint8_t Simulator::GetJournalOptions(uint8_t* options, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (options == nullptr) return FailUtf8(err, StatusBadValue, "Невірне значення параметра");
    *options = memory_.journalOptions;
    return Ok(err);
}

uint8_t Simulator::SetJournalOptions(uint8_t options, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (options > 7) return FailUtf8(err, StatusBadValue, "Невірні опції електронного журналу");
    memory_.journalOptions = options;
    Changed();
    return Ok(err);
}

bool Simulator::JournalControl(const std::vector<std::string>& words, std::string& reply) {
    auto fail = [&](const std::string& why) {
        reply = "error: " + why;
        return false;
    };
    const std::string& verb = words[0];
    std::string error;
    journal_.Close();
    cursor_.Close();

    if (verb == "packages") {
        const bool delivery = words.size() > 1 && words[1] == "delivery";
        if (words.size() < 3 || (!delivery && words[1] != "transmit"))
            return fail("packages transmit|delivery FIRST-LAST[@TIME]... [at TIME]");
        std::optional<uint32_t> time;
        std::size_t end = words.size();
        if (end >= 2 && words[end - 2] == "at") {
            time = ControlTime(words[end - 1]);
            if (!time) return fail("bad time: " + Plain(words[end - 1]));
            end -= 2;
        }
        std::vector<PackageEntry> entries;
        for (std::size_t i = 2; i < end; ++i) {
            const auto entry = PackageOf(words[i], time.value_or(memory_.sales.clock));
            if (!entry) return fail("bad package entry: " + Plain(words[i]));
            entries.push_back(*entry);
        }
        error = RecordPackages(memory_, delivery, std::move(entries), time);
    } else if (verb == "service") {
        const bool returned = words.size() > 1 && words[1] == "return";
        if (words.size() < 2 || (!returned && words[1] != "accept"))
            return fail(
                "service accept|return [shipper N] [cashier ID] item N [qty Q] [price P]... [at TIME]");
        ServiceInfo info;
        info.cashierId = memory_.sales.cashierId;
        std::optional<uint32_t> time;
        for (std::size_t i = 2; i < words.size(); ++i) {
            const std::string& w = words[i];
            const bool hasValue = i + 1 < words.size();
            if (w == "shipper" && hasValue) {
                const std::string id = words[++i];
                if (id.empty() || id.size() > 20 || id.find_first_not_of("0123456789") != std::string::npos)
                    return fail("bad shipper id");
                errno = 0;
                info.shipperId = std::strtoull(id.c_str(), nullptr, 10);
                if (errno == ERANGE) return fail("bad shipper id");
            } else if (w == "cashier" && hasValue) {
                const auto n = NumberAt(words, ++i, 0, 255);
                if (!n) return fail("bad cashier id");
                info.cashierId = static_cast<uint8_t>(*n);
            } else if (w == "at" && hasValue) {
                time = ControlTime(words[++i]);
                if (!time) return fail("bad time: " + Plain(words[i]));
            } else if (w == "item" && hasValue) {
                const auto goods = NumberAt(words, ++i, 0, GoodsCapacity - 1);
                const Goods* g = goods ? memory_.goods.At(static_cast<int>(*goods)) : nullptr;
                if (g == nullptr) return fail("goods not programmed: " + Plain(words[i]));
                ServiceItem item{g->Code(), 1000,
                                 static_cast<int32_t>(std::min<uint32_t>(g->price, INT32_MAX))};
                while (i + 2 < words.size() + 1 && i + 1 < words.size() &&
                       (words[i + 1] == "qty" || words[i + 1] == "price")) {
                    const bool qty = words[i + 1] == "qty";
                    const auto value =
                        i + 2 < words.size() ? ControlScaled(words[i + 2], qty ? 3 : 2) : std::nullopt;
                    if (!value) return fail("bad " + words[i + 1]);
                    (qty ? item.amount : item.price) = *value;
                    i += 2;
                }
                info.items.push_back(item);
            } else {
                return fail("unexpected word: " + Plain(w));
            }
        }
        error = RecordServiceInfo(memory_, returned, std::move(info), time);
    } else if (verb == "new-journal") {
        if (words.size() != 1) return fail("new-journal");
        error = StartJournal(memory_);
    } else if (verb == "journal-damage") {
        JournalDamage& d = journalDamage_;
        const std::string kind = words.size() > 1 ? words[1] : "";
        if (kind == "off" && words.size() == 2) {
            const auto zLength = d.zLength;
            const auto zType = d.zType;
            d = JournalDamage{};
            d.zLength = zLength;
            d.zType = zType;
        } else if (kind == "body-length" && words.size() == 4 && NumberAt(words, 2, 0, 1000000) &&
                   NumberAt(words, 3, 0, 0xFFFF)) {
            d.bodyLength =
                JournalDamage::BodyLength{static_cast<std::size_t>(*NumberAt(words, 2, 0, 1000000)),
                                          static_cast<uint16_t>(*NumberAt(words, 3, 0, 0xFFFF))};
        } else if (kind == "record-length" && words.size() == 5 && NumberAt(words, 2, 0, 1000000) &&
                   NumberAt(words, 3, 0, 1000000) && NumberAt(words, 4, 0, 255)) {
            d.recordLength =
                JournalDamage::RecordLength{static_cast<std::size_t>(*NumberAt(words, 2, 0, 1000000)),
                                            static_cast<std::size_t>(*NumberAt(words, 3, 0, 1000000)),
                                            static_cast<uint8_t>(*NumberAt(words, 4, 0, 255))};
        } else if (kind == "cut" && words.size() == 3 && NumberAt(words, 2, 0, 1 << 30)) {
            d.cut = static_cast<std::size_t>(*NumberAt(words, 2, 0, 1 << 30));
        } else if (kind == "no-end" && words.size() == 2) {
            d.noEnd = true;
        } else if (kind == "pad" && words.size() == 3 && NumberAt(words, 2, 0, 255)) {
            d.pad = static_cast<uint8_t>(*NumberAt(words, 2, 0, 255));
        } else if (kind == "endless" && words.size() == 2) {
            d.endless = true;
        } else {
            return fail(
                "journal-damage body-length DOC LEN | record-length DOC REC LEN | cut BYTES | no-end | "
                "pad BYTE | endless | off");
        }
        return true;
    } else if (verb == "z-damage") {
        const std::string kind = words.size() > 1 ? words[1] : "";
        if (kind == "off" && words.size() == 2) {
            journalDamage_.zLength.reset();
            journalDamage_.zType.reset();
        } else if (kind == "length" && words.size() == 3 && NumberAt(words, 2, 0, 0xFFFF)) {
            journalDamage_.zLength = static_cast<uint16_t>(*NumberAt(words, 2, 0, 0xFFFF));
        } else if (kind == "type" && words.size() == 3 && NumberAt(words, 2, 0, 255)) {
            journalDamage_.zType = static_cast<uint8_t>(*NumberAt(words, 2, 0, 255));
        } else {
            return fail("z-damage length LEN | type T | off");
        }
        return true;
    } else if (verb == "journal-free") {
        const auto free = NumberAt(words, 1, 0, UINT32_MAX);
        if (!free || words.size() != 2) return fail("journal-free BYTES (0..4294967295)");
        const uint64_t capacity = JournalBytesUsed(memory_.sales) + static_cast<uint64_t>(*free);
        memory_.journalCapacity = static_cast<uint32_t>(std::min<uint64_t>(capacity, UINT32_MAX));
    }
    if (!error.empty()) return fail(error);
    Changed();
    return true;
}

std::string Simulator::JournalDump() const {
    const std::vector<JournalRef> all = JournalsOf(memory_.sales);
    return "journals=" + std::to_string(all.size()) +
           "\njournal-options=" + std::to_string(memory_.journalOptions) +
           "\njournal-damage=" + journalDamage_.Describe() + "\n";
}

} // namespace sim
