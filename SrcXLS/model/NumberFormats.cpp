#include "SrcXLS/model/NumberFormats.h"

#include "SrcXLS/XLSChecksum.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <array>

namespace xls {

namespace {
uint16_t TextHash(std::u16string_view text) {
    uint16_t h = 0;
    for (char16_t c : text) {
        h = uint16_t(((h << 5) | (h >> 11)) ^ uint8_t(c));
        h = uint16_t(((h << 5) | (h >> 11)) ^ uint8_t(c >> 8));
    }
    return h;
}

std::string NotFound(int index) {
    return "Can not find number format# " + std::to_string(index);
}
} // namespace

std::u16string_view BuiltInNumberFormat(int index) {
    static constexpr std::array<std::u16string_view, 59> texts = {
        u"",
        u"0",
        u"0.00",
        u"#,##0",
        u"#,##0.00",
        u"_($#,##0_);($#,##0)",
        u"_($#,##0_);[Red]($#,##0)",
        u"_($#,##0.00_);($#,##0.00)",
        u"_($#,##0.00_);[Red]($#,##0.00)",
        u"0%",
        u"0.00%",
        u"0.00E+00",
        u"# ?/?",
        u"# ?\?/??",
        u"m/d/yy",
        u"d-mmm-y",
        u"d-mmm",
        u"mmmm-yy",
        u"h:mm AM/PM",
        u"h:mm:ss AM/PM",
        u"h:mm",
        u"h:mm:SS",
        u"m/d/yy h:mm",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"_(#,##0_);(#,##0)",
        u"_(#,##0_);[Red](#,##0)",
        u"_(#,##0.00_);(#,##0.00)",
        u"_(#,##0.00_);[Red](#,##0.00)",
        u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
        u"_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)",
        u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"?\?_);_(@_)",
        u"_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"?\?_);_(@_)",
        u"mm:ss",
        u"[h]:mm:ss",
        u"mm:ss.0",
        u"##0.0E+0",
        u"@",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u"",
        u""};
    return index >= 0 && index < int(texts.size()) ? texts[index] : std::u16string_view();
}

TNumberFormat::TNumberFormat(std::u16string_view text, int index, int usageCount)
    : Index(index), UsageCount(usageCount), text(text), hash(TextHash(text)) {}

void TNumberFormat::SetText(std::u16string_view value) {
    text = value;
    hash = TextHash(value);
}

void TNumberFormats::Clear() {
    DropLookups();
    items.clear();
    highestIndex = 0;
    sorted = true;
}

TNumberFormat* TNumberFormats::FindOrAdd(std::u16string_view text) {
    if (text.empty()) {
        // The empty text is the general format at position 0.
        if (!items.empty()) return items[0].get();
    } else {
        uint16_t h = TextHash(text);
        for (const auto& f : items)
            if (f->Hash() == h && f->Text() == text) {
                ++f->UsageCount;
                return f.get();
            }
    }
    ++highestIndex;
    DropLookups();
    items.push_back(std::make_unique<TNumberFormat>(text, highestIndex, 1));
    return items.back().get();
}

void TNumberFormats::BuildByIndex() {
    byIndex.clear();
    for (const auto& f : items) byIndex.emplace(f->Index, f.get());
    byIndexValid = true;
}

void TNumberFormats::BuildByText() {
    byText.clear();
    for (const auto& f : items) byText.emplace(f->Text(), f.get());
    byTextValid = true;
}

void TNumberFormats::DropLookups() {
    byIndex.clear();
    byText.clear();
    byIndexValid = byTextValid = false;
}

TNumberFormat* TNumberFormats::AddRead(std::u16string_view text, int index, int count) {
    if (!byIndexValid) BuildByIndex();
    const auto found = byIndex.find(index);
    TNumberFormat* f = found == byIndex.end() ? nullptr : found->second;
    if (f) {
        if (f->Text() != text) {
            f->SetText(text);
            byText.clear();
            byTextValid = false;
        }
        f->UsageCount = f->UsageCount < 0 ? count : f->UsageCount + count;
    } else {
        sorted = sorted && (items.empty() || items.back()->Index < index);
        items.push_back(std::make_unique<TNumberFormat>(text, index, count));
        f = items.back().get();
        byIndex.emplace(index, f);
        if (byTextValid) byText.emplace(f->Text(), f);
    }
    highestIndex = std::max(highestIndex, index);
    return f;
}

void TNumberFormats::AddBuiltIns() {
    highestIndex = 0;
    for (int i = 0; i <= LastBuiltInNumberFormat; ++i) AddRead(BuiltInNumberFormat(i), i, -1);
    Sort();
}

int TNumberFormats::AddOld(std::u16string_view text) {
    if (text.empty() || UpperCaseWide(text) == u"GENERAL") return 0;
    if (!byTextValid) BuildByText();
    if (const auto found = byText.find(std::u16string(text)); found != byText.end())
        return found->second->Index;
    int index = highestIndex + 1;
    AddRead(text, index, 1);
    return index;
}

bool TNumberFormats::IsBuiltInXLSXId(int id) {
    return (id >= 0 && id <= 4) || (id >= 9 && id <= 22) || (id >= 37 && id <= 40) || (id >= 45 && id <= 49);
}

void TNumberFormats::AddXLSX(std::u16string_view text, int id) {
    if (IsBuiltInXLSXId(id)) return;
    // An id the list already has takes the package's text: no index twice.
    if (TNumberFormat* f = ByIndex(id)) {
        f->SetText(text);
        f->UsageCount = std::max(f->UsageCount, 1);
        return;
    }
    DropLookups();
    // Ids added in ascending order keep the list sorted.
    sorted = sorted && (items.empty() || items.back()->Index < id);
    items.push_back(std::make_unique<TNumberFormat>(text, id, 1));
    highestIndex = std::max(highestIndex, id);
}

void TNumberFormats::Sort() {
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a->Index < b->Index; });
    sorted = true;
}

int TNumberFormats::IndexOfIndex(int index) {
    if (index < 0 || items.empty()) return -1;
    if (!sorted) Sort();
    auto it = std::lower_bound(items.begin(), items.end(), index,
                               [](const auto& f, int i) { return f->Index < i; });
    return it != items.end() && (*it)->Index == index ? int(it - items.begin()) : -1;
}

TNumberFormat* TNumberFormats::ByIndex(int index) {
    return GetItem(IndexOfIndex(index));
}

void TNumberFormats::AddUse(int index) {
    if (index <= LastBuiltInNumberFormat) return;
    TNumberFormat* f = ByIndex(index);
    if (!f) throw XLSError(NotFound(index));
    ++f->UsageCount;
}

void TNumberFormats::Release(int index) {
    if (index <= LastBuiltInNumberFormat) return;
    if (IndexOfIndex(index) < 0) throw XLSError(NotFound(index));
    ReleaseQuietly(index);
}

void TNumberFormats::ReleaseQuietly(int index) noexcept {
    if (index <= LastBuiltInNumberFormat) return;
    int pos = IndexOfIndex(index);
    if (pos < 0) return;
    TNumberFormat* f = items[size_t(pos)].get();
    if (f->UsageCount >= 0) --f->UsageCount;
    if (f->UsageCount < 1) {
        DropLookups();
        items.erase(items.begin() + pos);
    }
}

} // namespace xls
