#include "SrcXLS/model/WideStringList.h"

#include "SrcXLS/XLSDefs.h"

namespace xls {

void TXLSWideStringList::Changed() {
    if (updateCount == 0 && OnChange) OnChange(*this);
}

int TXLSWideStringList::AddWithValue(std::u16string_view text, int value) {
    items.push_back({std::u16string(text), value});
    Changed();
    return int(items.size()) - 1;
}

int TXLSWideStringList::AddAfterBlank(std::u16string_view line) {
    size_t blank = line.size() > 1 ? line.find(u' ', 1) : line.npos;
    if (blank == line.npos) return Add(line);
    std::u16string_view rest = line.substr(blank + 1);
    size_t b = rest.find_first_not_of(u' ');
    if (b == rest.npos) return Add(u"");
    size_t e = rest.find_last_not_of(u' ');
    return Add(rest.substr(b, e - b + 1));
}

void TXLSWideStringList::Clear() {
    items.clear();
    Changed();
}

void TXLSWideStringList::Delete(int i) {
    if (i < 0 || i >= GetCount()) throw XLSError("Index out of range");
    items.erase(items.begin() + i);
    Changed();
}

std::u16string TXLSWideStringList::GetItem(int i) const {
    return i >= 0 && i < GetCount() ? items[i].Text : std::u16string();
}

int TXLSWideStringList::GetValue(int i) const {
    return i >= 0 && i < GetCount() ? items[i].Value : 0;
}

void TXLSWideStringList::SetItem(int i, std::u16string_view text) {
    if (i >= 0 && i < GetCount())
        items[i].Text = text;
    else if (i == GetCount())
        Add(text);
    else
        throw XLSError("Index out of range");
    Changed();
}

std::u16string TXLSWideStringList::GetConcatText() const {
    std::u16string s;
    for (const auto& it : items) s += it.Text;
    return s;
}

std::u16string TXLSWideStringList::GetText() const {
    std::u16string s;
    for (const auto& it : items) s.append(it.Text).append(u"\r\n");
    return s;
}

std::u16string TXLSWideStringList::GetPrefixedText(std::u16string_view prefix) const {
    std::u16string s;
    for (const auto& it : items) s.append(prefix).append(u" ").append(it.Text).append(u"\r\n");
    return s;
}

void TXLSWideStringList::SetText(std::u16string_view text) {
    auto isBreak = [](char16_t c) {
        return c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == 0x2028 || c == 0x2029;
    };
    BeginUpdate();
    items.clear();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!isBreak(text[i])) continue;
        items.push_back({std::u16string(text.substr(start, i - start)), 0});
        // One following LF or CR belongs to the same break.
        if (i + 1 < text.size() && (text[i + 1] == u'\n' || text[i + 1] == u'\r')) ++i;
        start = i + 1;
    }
    if (start < text.size()) items.push_back({std::u16string(text.substr(start)), 0});
    EndUpdate();
    Changed();
}

} // namespace xls
