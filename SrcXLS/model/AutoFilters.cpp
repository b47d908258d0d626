#include "SrcXLS/model/AutoFilters.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "SrcXLS/formats/XLSStream.h"

#include <algorithm>
#include <cstring>

namespace xls {

namespace {

// Value types of a condition and the kinds they give.
constexpr uint8_t vtNone = 0x00, vtRK = 0x02, vtNumber = 0x04, vtString = 0x06, vtBoolErr = 0x08,
                  vtBlanks = 0x0C, vtNonBlanks = 0x0E;
constexpr uint8_t kindUnknown = 7;

TAutoFilterCondition ReadCondition(std::span<const uint8_t> b) {
    TAutoFilterCondition c;
    std::copy(b.begin(), b.end(), c.Raw.begin());
    c.Operator = b[1];
    switch (b[0]) {
    case vtNone:
        c.Kind = 0;
        break;
    case vtRK:
        c.Kind = 1;
        c.Number = DecodeRK(GetU32(b.data() + 2));
        break;
    case vtNumber: {
        c.Kind = 1;
        uint64_t bits = uint64_t(GetU32(b.data() + 2)) | uint64_t(GetU32(b.data() + 6)) << 32;
        std::memcpy(&c.Number, &bits, 8);
        break;
    }
    case vtString:
        c.Kind = 2;
        break;
    case vtBoolErr:
        c.Kind = b[2] ? 4 : 3;
        c.BoolOrError = b[3];
        break;
    case vtBlanks:
        c.Kind = 5;
        break;
    case vtNonBlanks:
        c.Kind = 6;
        break;
    default:
        c.Kind = kindUnknown;
        break;
    }
    return c;
}

void WriteCondition(TByteWriter& w, const TAutoFilterCondition& c) {
    uint8_t b[10] = {};
    b[1] = c.Operator;
    switch (c.Kind) {
    case 1: {
        b[0] = vtNumber;
        uint64_t bits;
        std::memcpy(&bits, &c.Number, 8);
        PutU32(b + 2, uint32_t(bits));
        PutU32(b + 6, uint32_t(bits >> 32));
        break;
    }
    case 2:
        b[0] = vtString;
        b[6] = uint8_t(std::min(c.Text.size(), TAutoFilters::MaxConditionText));
        break;
    case 3:
    case 4:
        b[0] = vtBoolErr;
        b[2] = c.Kind == 4;
        b[3] = c.BoolOrError;
        break;
    case 5:
        b[0] = vtBlanks;
        break;
    case 6:
        b[0] = vtNonBlanks;
        break;
    case kindUnknown:
        std::copy(c.Raw.begin(), c.Raw.end(), b);
        break;
    default:
        break;
    }
    w.Bytes(b, sizeof b);
}

} // namespace

TAutoFilter& TAutoFilters::Filter(int entry) {
    if (size_t(entry) >= items.size()) items.resize(size_t(entry) + 1);
    auto& slot = items[size_t(entry)];
    if (!slot) {
        slot = std::make_unique<TAutoFilter>();
        slot->Entry = uint16_t(entry);
    }
    return *slot;
}

namespace {

// An autofilter drop-down is a combo box whose OBJ says it belongs to the
// sheet's user interface.
bool IsDropDown(const TControlComboBox& box) {
    const TShapeClientAnchor* shape = box.Shape();
    return shape && shape->Attached && shape->Attached->IsUIObject();
}

} // namespace

void TAutoFilters::LinkDropDowns() {
    if (!Controls) return;
    std::vector<std::pair<int, int>> dropDowns; // column, ID
    for (int i = 0; i < Controls->Count(); ++i) {
        const TControlComboBox& box = Controls->GetItem(i);
        if (IsDropDown(box)) dropDowns.emplace_back(box.GetCol1(), box.ID());
    }
    if (dropDowns.empty()) return;
    const int first = std::min_element(dropDowns.begin(), dropDowns.end())->first;
    for (const auto& f : items) {
        if (!f) continue;
        for (const auto& [col, id] : dropDowns)
            if (col == first + f->Entry) f->Control = id;
    }
}

void TAutoFilters::MakeDropDowns(int col1, int row, int count) {
    if (!Controls) return;
    for (int i = 0; i < Controls->Count(); ++i)
        if (IsDropDown(Controls->GetItem(i))) return;
    struct Restore {
        TControlComboBoxes& boxes;
        bool was;
        ~Restore() { boxes.Autofilter = was; }
    } restore{*Controls, Controls->Autofilter};
    Controls->Autofilter = true;
    for (int c = col1; c < col1 + count; ++c) {
        TControlComboBox& box = Controls->Add();
        box.SetCol1(c);
        box.SetRow1(row);
        box.SetCol2(c + 1);
        box.SetRow2(row + 1);
    }
    FilterCount = uint16_t(count);
    LinkDropDowns();
}

void TAutoFilters::Clear() {
    if (Controls) {
        std::vector<int> ids;
        for (const auto& f : items)
            if (f && f->Control >= 0) ids.push_back(f->Control);
        for (int i = 0; i < Controls->Count(); ++i)
            if (IsDropDown(Controls->GetItem(i))) ids.push_back(Controls->GetItem(i).ID());
        for (int id : ids) Controls->DeleteById(id);
    }
    if (DeleteRangeName) DeleteRangeName();
    items.clear();
    FilterMode = false;
    FilterCount = 0;
    infoRead = false;
}

void TAutoFilters::Assign(const TAutoFilters& source) {
    Clear();
    FilterMode = source.FilterMode;
    FilterCount = source.FilterCount;
    infoRead = source.infoRead;
    // The copies have no drop-downs of their own.
    for (const auto& f : source.items) {
        items.push_back(f ? std::make_unique<TAutoFilter>(*f) : nullptr);
        if (items.back()) items.back()->Control = -1;
    }
}

void TAutoFilters::ReadAutoFilterInfo(std::span<const uint8_t> body) {
    TByteReader r(body);
    FilterCount = r.U16("filter count");
    infoRead = true;
}

// A filter goes to the slot of its column entry, whatever the order of the
// records, so writing numbers it by its own column again.
void TAutoFilters::ReadAutoFilter(std::span<const uint8_t> body) {
    TByteReader r(body);
    const uint16_t entry = r.U16("filter column");
    const uint16_t flags = r.U16("filter options");
    TAutoFilterCondition c[2] = {ReadCondition(r.Bytes(10, "condition")),
                                 ReadCondition(r.Bytes(10, "condition"))};
    for (auto& cond : c) {
        if (cond.Kind != 2) continue;
        const size_t chars = cond.Raw[6];
        const bool wide = r.U8("condition text") & 1;
        auto bytes = r.Bytes(chars * (wide ? 2 : 1), "condition text");
        if (wide) {
            cond.Text.resize(chars);
            for (size_t i = 0; i < chars; ++i) cond.Text[i] = char16_t(GetU16(bytes.data() + 2 * i));
        } else {
            cond.Text = Latin1ToWide(bytes);
        }
    }
    // A sheet has 256 columns; a second filter of a column replaces the first.
    if (entry > 255) throw XLSError("Bad record in file");
    TAutoFilter& f = Filter(entry);
    f.Flags = flags;
    f.Conditions[0] = c[0];
    f.Conditions[1] = c[1];
}

void TAutoFilters::WriteAutoFilters(TXLSStream& stream, const std::function<void(std::string)>& warn) const {
    if (!Present()) return;
    // A read sheet keeps whether its rows were filtered; a new filter says so.
    if (FilterMode || !infoRead) stream.WriteHeader(autofilter::FILTERMODE, 0);
    uint8_t info[2];
    PutU16(info, std::max<uint16_t>(FilterCount, uint16_t(items.size())));
    stream.WriteHeader(autofilter::AUTOFILTERINFO, 2);
    stream.WriteRecordData(info, 2);
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i]) continue;
        const TAutoFilter& f = *items[i];
        std::vector<uint8_t> body;
        TByteWriter w(body);
        w.U16(uint16_t(i));
        w.U16(f.Flags);
        for (const auto& c : f.Conditions) WriteCondition(w, c);
        for (const auto& c : f.Conditions) {
            if (c.Kind != 2) continue;
            // The record counts a text's characters in one byte.
            if (c.Text.size() > MaxConditionText && warn)
                warn("the autofilter text of column " + std::to_string(i + 1) + " is cut to " +
                     std::to_string(MaxConditionText) + " of its " + std::to_string(c.Text.size()) +
                     " characters");
            w.U8(1);
            for (char16_t ch : std::u16string_view(c.Text).substr(0, MaxConditionText)) w.U16(ch);
        }
        stream.WriteHeader(autofilter::AUTOFILTER, uint16_t(body.size()));
        stream.WriteRecordData(body.data(), body.size());
    }
}

} // namespace xls
