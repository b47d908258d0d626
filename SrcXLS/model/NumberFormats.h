// The workbook's number formats: texts with the index the XF records use
// and a usage count. Indexes 0..58 are the built-ins and never go away.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace xls {

constexpr int LastBuiltInNumberFormat = 58;

class TNumberFormat {
public:
    TNumberFormat(std::u16string_view text, int index, int usageCount);
    const std::u16string& Text() const { return text; }
    void SetText(std::u16string_view value);
    uint16_t Hash() const { return hash; }
    int Index;
    int UsageCount; // -1: a built-in nothing uses; the FORMAT writers skip it
    bool IsUnused() const { return UsageCount < 0; }

private:
    std::u16string text;
    uint16_t hash;
};

class TNumberFormats {
public:
    int Count() const { return int(items.size()); }
    TNumberFormat* GetItem(int position) const {
        return position >= 0 && position < Count() ? items[position].get() : nullptr;
    }
    int HighestIndex() const { return highestIndex; }

    void Clear();
    TNumberFormat* FindOrAdd(std::u16string_view text);
    TNumberFormat* AddRead(std::u16string_view text, int index, int count);
    void AddBuiltIns();
    void AddXLSX(std::u16string_view text, int id);
    // A format of a BIFF2-BIFF4 file, which numbers its formats by order:
    // the index of the entry with the same text (0 for "General" in any
    // letter case), else of a new entry as read.
    int AddOld(std::u16string_view text);
    static bool IsBuiltInXLSXId(int id);

    int IndexOfIndex(int index);
    TNumberFormat* ByIndex(int index);
    void Sort();

    // Uses of formats above the built-ins; raise for an index the list lacks.
    void AddUse(int index);
    void Release(int index);
    // Release for destruction paths: never raises.
    void ReleaseQuietly(int index) noexcept;

private:
    // The entries by index and by text (the first with that text), for the
    // formats of a file read one by one: a file's formats take time in
    // proportion to their count.
    void BuildByIndex();
    void BuildByText();
    void DropLookups();
    std::vector<std::unique_ptr<TNumberFormat>> items;
    int highestIndex = 0;
    bool sorted = true;
    std::unordered_map<int, TNumberFormat*> byIndex;
    std::unordered_map<std::u16string, TNumberFormat*> byText;
    bool byIndexValid = false, byTextValid = false;
};

std::u16string_view BuiltInNumberFormat(int index);

} // namespace xls
