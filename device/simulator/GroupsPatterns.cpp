// The register's goods-group names and receipt text patterns: one read or
// write at a time, and the batches the first group and the first pattern
// start (21-byte name records, 29-byte pattern records).
#include "device/simulator/SimText.h"
#include "device/simulator/Simulator.h"

namespace sim {

namespace {

constexpr std::size_t GroupNameBytes = 20;
constexpr std::size_t PatternTextBytes = 28;
constexpr std::size_t MaxArgumentText = 1024;

} // namespace

std::vector<uint8_t> Simulator::TextRecord(std::string_view prefix, std::string_view text,
                                           std::size_t size) const {
    std::vector<uint8_t> record(prefix.begin(), prefix.end());
    record.insert(record.end(), text.begin(), text.end());
    record.resize(size, scenario_.Unterminated() ? '~' : 0);
    return record;
}

uint8_t Simulator::GetGoodsGroupName(int32_t group, const char** name, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (name == nullptr) return FailUtf8(err, StatusBadValue, "Невірне значення параметра");
    if (group < 1 || group > 100)
        return FailUtf8(err, StatusBadValue, "Невірний номер товарної групи (1..100)");
    if (uint8_t status; group == 1 && BatchStartFaulted(err, status)) return status;
    *name = NameText(memory_.groupNames[static_cast<std::size_t>(group - 1)]);
    if (group == 1) {
        std::vector<std::vector<uint8_t>> rest;
        for (std::size_t i = 1; i < memory_.groupNames.size(); ++i)
            rest.push_back(TextRecord("", memory_.groupNames[i], Q710_RAW_GROUP_NAME_SIZE));
        OpenBatch(std::move(rest), Q710_RAW_GROUP_NAME_SIZE);
    }
    return Ok(err);
}

uint8_t Simulator::SetGoodsGroupName(int32_t group, const char* name, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (group < 1 || group > 100)
        return FailUtf8(err, StatusBadValue, "Невірний номер товарної групи (1..100)");
    // A null name clears the group.
    const std::string text = BoundedText(name, MaxArgumentText);
    if (text.size() > GroupNameBytes)
        return FailUtf8(err, StatusBadValue, "Назва товарної групи довша за 20 символів");
    memory_.groupNames[static_cast<std::size_t>(group - 1)] = text;
    Changed();
    return Ok(err);
}

// The first pattern's cursor goes out as the user counts it (1..28), the
// batch records carry the register's own count from 0.
uint8_t Simulator::GetTextPattern(int32_t pattern, uint8_t* cursor, const char** text, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (cursor == nullptr || text == nullptr)
        return FailUtf8(err, StatusBadValue, "Невірне значення параметра");
    if (pattern < 1 || pattern > 20)
        return FailUtf8(err, StatusBadValue, "Невірний номер текстового шаблону (1..20)");
    if (uint8_t status; pattern == 1 && BatchStartFaulted(err, status)) return status;
    const TextPattern& p = memory_.patterns[static_cast<std::size_t>(pattern - 1)];
    *cursor = static_cast<uint8_t>(p.cursor + 1);
    *text = NameText(p.text);
    if (pattern == 1) {
        std::vector<std::vector<uint8_t>> rest;
        for (std::size_t i = 1; i < memory_.patterns.size(); ++i) {
            const TextPattern& next = memory_.patterns[i];
            rest.push_back(TextRecord(std::string(1, static_cast<char>(next.cursor)), next.text,
                                      Q710_RAW_TEXT_PATTERN_SIZE));
        }
        OpenBatch(std::move(rest), Q710_RAW_TEXT_PATTERN_SIZE);
    }
    return Ok(err);
}

uint8_t Simulator::SetTextPattern(int32_t pattern, int32_t cursor, const char* text, const char** err) {
    if (!LinkUp()) return NoLink(err);
    if (pattern < 1 || pattern > 20)
        return FailUtf8(err, StatusBadValue, "Невірний номер текстового шаблону (1..20)");
    if (cursor < 1 || cursor > 28) return FailUtf8(err, StatusBadValue, "Невірна позиція курсора (1..28)");
    const std::string value = BoundedText(text, MaxArgumentText);
    if (value.size() > PatternTextBytes)
        return FailUtf8(err, StatusBadValue, "Текст шаблону довший за 28 символів");
    TextPattern& p = memory_.patterns[static_cast<std::size_t>(pattern - 1)];
    p.cursor = static_cast<uint8_t>(cursor - 1);
    p.text = value;
    Changed();
    return Ok(err);
}

} // namespace sim
