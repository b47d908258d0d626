// A sheet's autofilter settings as BIFF8 files hold them: whether rows are
// filtered (FILTERMODE), the number of filter columns (AUTOFILTERINFO) and
// one AUTOFILTER record per filtered column with up to two conditions. The
// filtered range is the sheet's built-in name 13 (the defined names keep
// it) and the drop-down buttons are controls of the sheet's drawing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace xls {

class TXLSStream;
class TControlComboBoxes;

namespace autofilter {
constexpr uint16_t FILTERMODE = 0x009B;
constexpr uint16_t AUTOFILTERINFO = 0x009D;
constexpr uint16_t AUTOFILTER = 0x009E;
} // namespace autofilter

struct TAutoFilterCondition {
    // 0 none, 1 number, 2 string, 3 boolean, 4 error, 5 all blanks, 6 all
    // non-blanks; 7 a value type not known here, kept as read.
    uint8_t Kind = 0;
    uint8_t Operator = 0;    // the comparison code, passed through
    uint8_t BoolOrError = 0; // the boolean or the error code
    double Number = 0;
    std::u16string Text;
    std::array<uint8_t, 10> Raw{}; // the condition of an unknown type
};

struct TAutoFilter {
    uint16_t Entry = 0; // the column within the filtered range
    // Its drop-down: the collection ID in the sheet's combo boxes, -1 none.
    int Control = -1;
    uint16_t Flags = 0; // the AUTOFILTER flags word, passed through
    TAutoFilterCondition Conditions[2];
};

class TAutoFilters {
public:
    // Entries may be empty (no filter for that column).
    int Count() const { return int(items.size()); }
    TAutoFilter* Items(int index) const { return items[size_t(index)].get(); }
    // The filter of a column entry, made when there is none.
    TAutoFilter& Filter(int entry);
    // Removes the filters' drop-downs (every autofilter drop-down of the
    // sheet's combo boxes) and the sheet's filter range name too.
    void Clear();
    // After a read: each filter's Control is the drop-down over its column
    // (the autofilter drop-downs, one per column of the range, from its
    // first column on).
    void LinkDropDowns();
    // For filters made here: a drop-down over each of the count columns of
    // the range from col1 on, in its first row (unless the sheet has its
    // drop-downs), each filter linked to its own.
    void MakeDropDowns(int col1, int row, int count);
    void Assign(const TAutoFilters& source);
    // The sheet's combo boxes, where the drop-downs live (set by the sheet).
    TControlComboBoxes* Controls = nullptr;
    // Deletes the sheet's built-in name 13 (set by the sheet).
    std::function<void()> DeleteRangeName;

    // FILTERMODE: rows are hidden by the filter.
    bool FilterMode = false;
    // AUTOFILTERINFO's count: drop-down buttons of the filtered range.
    uint16_t FilterCount = 0;
    // Whether the sheet has an autofilter (AUTOFILTERINFO read or filters made).
    bool Present() const { return infoRead || !items.empty(); }

    void ReadFilterMode() { FilterMode = true; }
    // Malformed bodies raise XLSError.
    void ReadAutoFilterInfo(std::span<const uint8_t> body);
    void ReadAutoFilter(std::span<const uint8_t> body);
    // FILTERMODE (when set), AUTOFILTERINFO and the AUTOFILTER records, each
    // numbered by its position; nothing without an autofilter. A condition's
    // text keeps its first MaxConditionText characters; warn hears of a cut.
    void WriteAutoFilters(TXLSStream& stream, const std::function<void(std::string)>& warn = {}) const;
    static constexpr size_t MaxConditionText = 255;

private:
    std::vector<std::unique_ptr<TAutoFilter>> items;
    bool infoRead = false;
};

} // namespace xls
