// The elements of workbook.xml and of a worksheet part that the model does
// not hold, kept as text in document order, with markers where the writer
// puts the elements it makes itself. The root element's own attributes (its
// namespace declarations above all) are kept too, so that the kept
// fragments keep the prefixes they use.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TXLSSavedTags {
public:
    void Clear() {
        items.clear();
        RootAttributes.clear();
    }
    void Add(std::string text, int elementId) { items.push_back({std::move(text), elementId}); }
    // "<name attributes/>" under the element's id.
    void AddMarker(int elementId, std::string_view attributeText = {});
    int Count() const { return int(items.size()); }
    const std::string& Text(int index) const { return items[size_t(index)].Text; }
    void SetText(int index, std::string text) { items[size_t(index)].Text = std::move(text); }
    void Delete(int index) { items.erase(items.begin() + index); }
    int ElementId(int index) const { return items[size_t(index)].Id; }
    bool HasMarker(int elementId) const;
    // Puts a marker where the schema's order of the part's elements puts it:
    // before the first kept element that comes after it (at the end when
    // none does).
    void InsertMarker(int elementId, std::span<const int> schemaOrder);

    // Attributes of the part's root as read (" xmlns:x14ac=\"...\" ..."),
    // without the two the writer writes.
    std::string RootAttributes;

private:
    struct TItem {
        std::string Text;
        int Id = 0;
    };
    std::vector<TItem> items;
};

} // namespace xls
