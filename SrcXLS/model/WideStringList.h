// A list of wide strings with an integer value each that tells its owner
// about every change.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TXLSWideStringList {
public:
    using TOnChange = std::function<void(TXLSWideStringList&)>;

    TXLSWideStringList() = default;
    virtual ~TXLSWideStringList() = default;

    int Add(std::u16string_view text) { return AddWithValue(text, 0); }
    int AddWithValue(std::u16string_view text, int value);
    // Adds the part after the first blank (from the second character on), trimmed.
    int AddAfterBlank(std::u16string_view line);
    void Clear();
    // Removes the item at i; raises for an index out of range.
    void Delete(int i);

    int GetCount() const { return int(items.size()); }
    std::u16string GetItem(int i) const;
    int GetValue(int i) const;
    // i equal to the count appends.
    void SetItem(int i, std::u16string_view text);

    std::u16string GetConcatText() const;
    std::u16string GetText() const; // every item followed by CR LF
    std::u16string GetPrefixedText(std::u16string_view prefix) const;
    void SetText(std::u16string_view text);

    void BeginUpdate() { ++updateCount; }
    void EndUpdate() {
        if (updateCount > 0) --updateCount;
    }

    TOnChange OnChange;

protected:
    void Changed();

private:
    struct TItem {
        std::u16string Text;
        int Value = 0;
    };
    std::vector<TItem> items;
    int updateCount = 0;
};

class TXLSValueWideStringList : public TXLSWideStringList {
public:
    char16_t NameValueSeparator = u'=';
};

} // namespace xls
