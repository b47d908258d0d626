// The one seam between string cells and the workbook's string table: cells
// hold an entry and one use of it; the table interns, counts and numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace xls {

// An entry of the string table; cells never look inside.
struct TCellString;

class TCellStringTable {
public:
    virtual ~TCellStringTable() = default;
    // The entry of an equal text with one more use, or a new entry with one.
    virtual TCellString* AddString(std::u16string_view text) = 0;
    virtual void AddUse(TCellString* entry) = 0;
    // One use less; the entry goes when nobody uses it.
    virtual void Release(TCellString* entry) noexcept = 0;
    virtual std::u16string Text(const TCellString* entry) const = 0;
    // The index the last string-table write gave the entry.
    virtual uint32_t WriteIndex(const TCellString* entry) const = 0;
    virtual void Clear() = 0;
};

// A plain table of unique texts with use counts.
class TPlainCellStrings final : public TCellStringTable {
public:
    TPlainCellStrings();
    ~TPlainCellStrings() override;
    TCellString* AddString(std::u16string_view text) override;
    void AddUse(TCellString* entry) override;
    void Release(TCellString* entry) noexcept override;
    std::u16string Text(const TCellString* entry) const override;
    uint32_t WriteIndex(const TCellString* entry) const override;
    void Clear() override;

    int Count() const { return int(entries.size()); }
    int UseCount(const TCellString* entry) const;
    // Numbers the entries 0.. in an order of its own (as a write does).
    void AssignWriteIndexes();

private:
    std::unordered_map<std::u16string, std::unique_ptr<TCellString>> entries;
};

} // namespace xls
