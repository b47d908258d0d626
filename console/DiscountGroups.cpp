#include "console/DiscountGroups.h"

#include <cmath>
#include <ctime>
#include <utility>

#include "console/Guarded.h"
#include "console/UInt64Lib.h"
#include "platform/CodePages.h"
#include "platform/IniFile.h"

namespace console {
namespace {

// Texts written here in UTF-8, shown in the program's code page.
std::string Ansi(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}

constexpr double Days2001 = 36892.0; // 01.01.2001 as days since 30.12.1899
constexpr int MaxPercent = 9999;
constexpr int AllTerms = 7;

// Term bits of a group.
enum : uint8_t { ByDate = 1, ByTime = 2, ByDayOfWeek = 4 };

const char* const kDayKeys[7] = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
const char* const kDayNames[7] = {" Пн", " Вв", " Ср", " Чт", " Пт", " Сб", " Нд"};

uint64_t Le(std::span<const uint8_t> raw, std::size_t offset, std::size_t size) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(raw[offset + i]) << (8 * i);
    return v;
}

std::string SectionOf(int group) {
    return "GROUP" + std::to_string(group);
}

// An integer key of a section that must lie in [low, high].
int RangedInteger(const platform::IniFile& ini, const std::string& section, const char* key, int def, int low,
                  int high) {
    int value = ini.ReadInteger(section, key, def);
    if (value < low || value > high)
        throw ConsoleError("Невірне значення \"" + std::string(key) + "\" у секції [" +
                           platform::AnsiToUtf8(section) +
                           "] файлу налаштунків дисконтних груп: " + std::to_string(value));
    return value;
}

double DateOf(const std::string& text, const platform::RegionalSettings& rs) {
    std::optional<platform::CivilDateTime> date = platform::ParseShortDate(text, rs);
    if (!date) throw ConsoleError("'" + platform::AnsiToUtf8(text) + "' is not a valid date");
    return platform::CivilToDays(*date);
}

double TimeOf(const std::string& text, const platform::RegionalSettings& rs) {
    std::optional<platform::CivilDateTime> time = platform::ParseTime(text, rs);
    if (!time) throw ConsoleError("'" + platform::AnsiToUtf8(text) + "' is not a valid time");
    return (time->hour * 3600.0 + time->minute * 60.0 + time->second) / 86400.0;
}

} // namespace

std::string PercentText(uint32_t hundredths) {
    std::string digits = std::to_string(hundredths);
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    digits.insert(digits.size() - 2, ".");
    return digits;
}

std::optional<uint16_t> PercentValue(std::string_view text) {
    if (text.size() < 3) return std::nullopt;
    std::string digits = std::string(text.substr(0, 2)) + std::string(text.substr(3));
    if (digits.empty() || digits.size() > 4) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return static_cast<uint16_t>(value);
}

Q710DiscountGroupRecord DefaultDiscountGroup(int group, double beginDate, double endDate) {
    Q710DiscountGroupRecord r{};
    r.group = static_cast<uint8_t>(group);
    r.firstCard = 1;
    r.lastCard = 1;
    r.beginDate = beginDate;
    r.endDate = endDate;
    return r;
}

DiscountGroupTable DefaultDiscountGroups(double beginDate, double endDate) {
    DiscountGroupTable table{};
    for (int i = 0; i < DiscountGroupCount; ++i) table[i] = DefaultDiscountGroup(i + 1, beginDate, endDate);
    return table;
}

CardCheck CheckCardCode(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    std::size_t end = text.find_last_not_of(" \t\r\n");
    std::string trimmed = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
    try {
        uint64_t value = StrToUInt64(trimmed);
        if (value == 0) return {"1", 1, false};
        return {trimmed, value, false};
    } catch (const UInt64Error&) {
        return {"1", 1, true};
    }
}

std::string CardCodeMessage(bool first) {
    return Ansi(first ? "Невірно заданий початковий код дисконтної картки!"
                      : "Невірно заданий кінцевий код дисконтної картки!") +
           "\r\n" + Ansi("Можливий діапазон значень: 1..9999999999999999999!");
}

bool CardRangeRefused(const Q710DiscountGroupRecord& group) {
    return group.firstCard > group.lastCard;
}

int FirstRefusedGroup(const DiscountGroupTable& table) {
    for (int i = 0; i < DiscountGroupCount; ++i)
        if (CardRangeRefused(table[i])) return i + 1;
    return 0;
}

bool ValidGroupNumber(int group) {
    return group >= 1 && group <= DiscountGroupCount;
}

std::optional<DiscountBatchRecord> UnpackDiscountBatch(std::span<const uint8_t> raw) {
    if (raw.size() < static_cast<std::size_t>(Q710_RAW_DISCOUNT_GROUP_SIZE)) return std::nullopt;
    DiscountBatchRecord r;
    r.group = raw[0] + 1;
    r.value = static_cast<uint16_t>(Le(raw, 1, 2));
    r.firstCard = Le(raw, 3, 8);
    r.lastCard = Le(raw, 11, 8);
    r.terms = raw[19];
    r.beginDate = static_cast<uint32_t>(Le(raw, 20, 4));
    r.endDate = static_cast<uint32_t>(Le(raw, 24, 4));
    r.beginTime = static_cast<uint16_t>(Le(raw, 28, 2));
    r.endTime = static_cast<uint16_t>(Le(raw, 30, 2));
    r.dayBits = raw[32];
    return r;
}

bool ApplyDiscountBatch(DiscountGroupTable& table, const DiscountBatchRecord& record, double today) {
    if (!ValidGroupNumber(record.group)) return false;
    Q710DiscountGroupRecord& entry = table[static_cast<std::size_t>(record.group - 1)];
    entry.group = static_cast<uint8_t>(record.group);
    entry.value = record.value;
    if (record.value == 0) return true;
    entry.firstCard = record.firstCard;
    entry.lastCard = record.lastCard;
    entry.terms = record.terms;
    if (record.terms & ByDate) {
        entry.beginDate = Days2001 + record.beginDate / 86400.0;
        entry.endDate = Days2001 + record.endDate / 86400.0;
    }
    if (record.terms & ByTime) {
        entry.beginTime = std::floor(today) + record.beginTime / 1440.0;
        entry.endTime = std::floor(today) + record.endTime / 1440.0;
    }
    if (record.terms & ByDayOfWeek)
        for (int d = 0; d < 7; ++d)
            if (record.dayBits & (1u << d)) entry.days[d] = -1;
    return true;
}

std::vector<ListingLine> DiscountGroupListing(const Q710DiscountGroupRecord& group,
                                              const platform::RegionalSettings& rs) {
    using C = ListingColour;
    std::vector<ListingLine> lines;
    lines.push_back({Ansi("ДИСКОНТНА ГРУПА №") + std::to_string(group.group), C::WindowText});
    lines.push_back(
        {Ansi("Значення знижки: ") + platform::FormatScaled(int64_t{group.value}, 2, rs) + "%", C::Blue});
    if (group.value == 0) return lines;
    lines.push_back({Ansi("Початковий код картки: ") + UInt64ToStr(group.firstCard), C::Blue});
    lines.push_back({Ansi("Кінцевий код картки: ") + UInt64ToStr(group.lastCard), C::Blue});
    lines.push_back({std::string(50, '-'), C::Blue});
    if (group.terms == 0) {
        lines.push_back({Ansi("Тип знижки: безстрокова"), C::Blue});
        return lines;
    }
    lines.push_back({Ansi("Термін дії знижки:"), C::Blue});
    if (group.terms & ByDate)
        lines.push_back({Ansi("По діапазону дат: ") + ShortDateText(group.beginDate, rs) + " - " +
                             ShortDateText(group.endDate, rs),
                         C::Red});
    if (group.terms & ByTime)
        lines.push_back({Ansi("Інтервал часу: ") + LongTimeText(group.beginTime, rs) + " - " +
                             LongTimeText(group.endTime, rs),
                         C::Maroon});
    if (group.terms & ByDayOfWeek) {
        std::string days = Ansi("По днях тижня:");
        for (int d = 0; d < 7; ++d)
            if (group.days[d] != 0) days += Ansi(kDayNames[d]);
        lines.push_back({days, C::Green});
    }
    return lines;
}

bool ReadAllDiscountGroups(const device::DeviceApi& api, DiscountGroupTable& table, double beginDate,
                           double endDate, double today, DiscountListing& listing) {
    table = DefaultDiscountGroups(beginDate, endDate);
    auto list = [&](const Q710DiscountGroupRecord& group) {
        for (const ListingLine& line : DiscountGroupListing(group)) listing.Add(line);
    };
    auto refusedGroup = [&](int group) {
        listing.Add({Ansi("Невірний номер дисконтної групи у відповіді ЕККА: ") + std::to_string(group),
                     ListingColour::WindowText});
    };

    Q710DiscountGroupRecord first{};
    first.group = 1;
    const char* err = nullptr;
    uint8_t status = api.GetDiscountGroupParameters103(1, &first, &err);
    std::string errorText = device::DeviceText(err);
    if (status == Q710_OK || (status == Q710_DISCOUNT_GROUP_NOT_AVAILABLE && first.group > 1)) {
        if (ValidGroupNumber(first.group)) {
            table[first.group - 1] = first;
            list(first);
        } else {
            refusedGroup(first.group);
        }
    } else if (status == Q710_DISCOUNT_GROUP_NOT_AVAILABLE &&
               errorText.find(Ansi("ЕККА не відповідає")) != std::string::npos) {
        listing.ShowError(errorText);
        return false;
    } else if (status == Q710_END_OF_DATA) {
        listing.ShowError(Ansi("В ЕККА не запрограмовано жодної дисконтної групи!"));
        return false;
    } else {
        listing.Add({errorText, ListingColour::WindowText});
    }

    // A first record naming no group of the table counts as group 1.
    const int from = ValidGroupNumber(first.group) ? first.group + 1 : 2;
    for (int k = from; k <= DiscountGroupCount; ++k) {
        listing.ProcessMessages();
        listing.Add({"", ListingColour::WindowText});
        std::array<uint8_t, Q710_RAW_DISCOUNT_GROUP_SIZE> buffer{};
        status = api.NextCommand(buffer.data(), Q710_RAW_DISCOUNT_GROUP_SIZE - 1, &err);
        if (status == Q710_DISCOUNT_GROUP_NOT_AVAILABLE) {
            listing.Add({device::DeviceText(err), ListingColour::WindowText});
            continue;
        }
        if (status == Q710_END_OF_DATA) break;
        if (status != Q710_OK) {
            listing.ShowError(device::DeviceText(err));
            return false;
        }
        std::optional<DiscountBatchRecord> record = UnpackDiscountBatch(buffer);
        if (!record || !ApplyDiscountBatch(table, *record, today)) {
            refusedGroup(record ? record->group : 0);
            continue;
        }
        list(table[record->group - 1]);
    }
    return true;
}

void SaveDiscountGroups(platform::IniFile& ini, const DiscountGroupTable& table,
                        const std::function<void()>& afterGroup, const platform::RegionalSettings& rs) {
    for (int n = 1; n <= DiscountGroupCount; ++n) {
        const Q710DiscountGroupRecord& g = table[n - 1];
        std::vector<std::pair<std::string, std::string>> values = {
            {"DiscountGroup", std::to_string(g.group)},   {"DiscountType", std::to_string(g.terms)},
            {"DiscountValue", std::to_string(g.value)},   {"FirstCodeByGroup", UInt64ToStr(g.firstCard)},
            {"LastCodeByGroup", UInt64ToStr(g.lastCard)}, {"BeginDate", ShortDateText(g.beginDate, rs)},
            {"EndDate", ShortDateText(g.endDate, rs)},    {"BeginTime", LongTimeText(g.beginTime, rs)},
            {"EndTime", LongTimeText(g.endTime, rs)},
        };
        for (int d = 0; d < 7; ++d) values.emplace_back(kDayKeys[d], g.days[d] != 0 ? "1" : "0");
        ini.WriteValues(SectionOf(n), values);
        if (afterGroup) afterGroup();
    }
}

DiscountGroupTable LoadDiscountGroups(const platform::IniFile& ini, double beginDate, double endDate,
                                      const platform::RegionalSettings& rs) {
    DiscountGroupTable table{};
    const std::string beginText = ShortDateText(beginDate, rs);
    const std::string endText = ShortDateText(endDate, rs);
    for (int n = 1; n <= DiscountGroupCount; ++n) {
        const std::string section = SectionOf(n);
        Q710DiscountGroupRecord& g = table[n - 1];
        g = Q710DiscountGroupRecord{};
        g.group =
            static_cast<uint8_t>(RangedInteger(ini, section, "DiscountGroup", n, 1, DiscountGroupCount));
        g.terms = static_cast<uint8_t>(RangedInteger(ini, section, "DiscountType", 0, 0, AllTerms));
        g.value = static_cast<uint16_t>(RangedInteger(ini, section, "DiscountValue", 0, 0, MaxPercent));
        g.firstCard = StrToUInt64(ini.ReadString(section, "FirstCodeByGroup", "1"));
        g.lastCard = StrToUInt64(ini.ReadString(section, "LastCodeByGroup", "1"));
        g.beginDate = DateOf(ini.ReadString(section, "BeginDate", beginText), rs);
        g.endDate = DateOf(ini.ReadString(section, "EndDate", endText), rs);
        g.beginTime = TimeOf(ini.ReadString(section, "BeginTime", "0"), rs);
        g.endTime = TimeOf(ini.ReadString(section, "EndTime", "0"), rs);
        for (int d = 0; d < 7; ++d) g.days[d] = ini.ReadBool(section, kDayKeys[d], false) ? -1 : 0;
    }
    return table;
}

double TodayDays() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    platform::CivilDateTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    return platform::CivilToDays(t);
}

std::string ShortDateText(double days, const platform::RegionalSettings& rs) {
    return platform::FormatShortDate(platform::DaysToCivil(days), rs);
}

std::string LongTimeText(double days, const platform::RegionalSettings& rs) {
    return platform::FormatLongTime(platform::DaysToCivil(days), rs);
}

} // namespace console
