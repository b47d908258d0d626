// The fifteen discount groups without their page: percentage texts, the
// defaults, card codes, the register's batch record, reading all groups, the
// listing of a group and the "\Discount.ini" file. Texts are ANSI.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceLibrary.h"
#include "platform/RegionalSettings.h"

namespace platform {
class IniFile;
}

namespace console {

inline constexpr int DiscountGroupCount = 15;
using DiscountGroupTable = std::array<Q710DiscountGroupRecord, DiscountGroupCount>;

// Percentages as the masked edits show them: hundredths of a percent as two
// digits, a point and two digits (550 gives "05.50", 0 gives "00.00").
std::string PercentText(uint32_t hundredths);
// The other way: the text without its third character (the point) as a
// decimal number; nothing when that is no number of 0..9999.
std::optional<uint16_t> PercentValue(std::string_view text);

// Group `group` with no term, value 0, cards 1, the two dates, times 0 and
// no days.
Q710DiscountGroupRecord DefaultDiscountGroup(int group, double beginDate, double endDate);
DiscountGroupTable DefaultDiscountGroups(double beginDate, double endDate);

// A card code as its edit leaves it: a text that is no code of 64 bits is
// refused and becomes "1"; 0 becomes "1" silently.
struct CardCheck {
    std::string text;
    uint64_t value = 1;
    bool refused = false;
};
CardCheck CheckCardCode(const std::string& text);
// "... Можливий діапазон значень: 1..9999999999999999999!" after the card's
// own first line.
std::string CardCodeMessage(bool first);

// A group whose first card code is above its last one cannot be written.
bool CardRangeRefused(const Q710DiscountGroupRecord& group);
// The first such group of the table (1..15), or 0 when there is none.
int FirstRefusedGroup(const DiscountGroupTable& table);

// A group number the register handed over; the table has 1..15 only.
bool ValidGroupNumber(int group);

// The register's 33-byte batch record of one group.
struct DiscountBatchRecord {
    int group = 0; // the record's byte + 1
    uint16_t value = 0;
    uint64_t firstCard = 0;
    uint64_t lastCard = 0;
    uint8_t terms = 0;
    uint32_t beginDate = 0; // seconds since 01.01.2001
    uint32_t endDate = 0;
    uint16_t beginTime = 0; // minutes since midnight
    uint16_t endTime = 0;
    uint8_t dayBits = 0; // bit 0 Monday .. bit 6 Sunday
};
std::optional<DiscountBatchRecord> UnpackDiscountBatch(std::span<const uint8_t> raw);
// Puts a batch record into its group's entry: the number and value always,
// the rest only for a non-zero value (dates when term bit 0 is set, times on
// `today` when bit 1 is, the days when bit 2 is). False for a group outside
// 1..15: nothing changes.
bool ApplyDiscountBatch(DiscountGroupTable& table, const DiscountBatchRecord& record, double today);

// The lines of one group in the listing of all groups, each bold.
enum class ListingColour { WindowText, Blue, Red, Maroon, Green };
struct ListingLine {
    std::string text;
    ListingColour colour = ListingColour::WindowText;
};
std::vector<ListingLine> DiscountGroupListing(const Q710DiscountGroupRecord& group,
                                              const platform::RegionalSettings& rs = platform::Regional());

// What reading all groups shows and asks of the window.
class DiscountListing {
public:
    virtual ~DiscountListing() = default;
    virtual void Add(const ListingLine& line) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ProcessMessages() = 0;
};

// Reads every group from the register into the table (reset to its defaults
// first) and lists them: the first call, then each record of the batch. True
// when the batch ended normally (the chosen group is then shown again).
bool ReadAllDiscountGroups(const device::DeviceApi& api, DiscountGroupTable& table, double beginDate,
                           double endDate, double today, DiscountListing& listing);

// "\Discount.ini": sections "GROUP1".."GROUP15".
inline constexpr const char* DiscountIniName = "Discount.ini";
// Writes the table, one section after the other; `afterGroup` runs after each.
void SaveDiscountGroups(platform::IniFile& ini, const DiscountGroupTable& table,
                        const std::function<void()>& afterGroup,
                        const platform::RegionalSettings& rs = platform::Regional());
// Reads a whole table; a key that is missing takes its default (the dates
// the pickers show for the dates). A card code, date or time that does not
// convert, and a number outside its range, raise ConsoleError with the
// conversion message: then nothing is taken.
DiscountGroupTable LoadDiscountGroups(const platform::IniFile& ini, double beginDate, double endDate,
                                      const platform::RegionalSettings& rs = platform::Regional());

// Dates and times of the groups: days since 30.12.1899 and their texts.
double TodayDays();
std::string ShortDateText(double days, const platform::RegionalSettings& rs = platform::Regional());
std::string LongTimeText(double days, const platform::RegionalSettings& rs = platform::Regional());

} // namespace console
