#include "SrcXLS/drawing/FormControls.h"

#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace xls {

namespace ft {
constexpr uint16_t Cbls = 0x0A;
constexpr uint16_t Rbo = 0x0B;
constexpr uint16_t Sbs = 0x0C;
constexpr uint16_t SbsFmla = 0x0E;
constexpr uint16_t RboData = 0x11;
constexpr uint16_t CblsData = 0x12;
constexpr uint16_t CblsFmla = 0x14;
} // namespace ft

namespace {

constexpr uint8_t ptgNameX = 0x39;
constexpr uint8_t ptgRef = 0x24;
constexpr uint8_t ptgArea = 0x25;
constexpr uint8_t ptgArea3d = 0x3B;

void SubRecord(std::vector<uint8_t>& out, uint16_t type, std::span<const uint8_t> body, uint16_t cb) {
    TByteWriter w(out);
    w.U16(type);
    w.U16(cb);
    w.Bytes(body.data(), body.size());
}

void SubRecord(std::vector<uint8_t>& out, uint16_t type, std::span<const uint8_t> body) {
    if (!body.empty()) SubRecord(out, type, body, uint16_t(body.size()));
}

void Cmo(std::vector<uint8_t>& out, int type, uint16_t id, uint16_t flags,
         const std::array<uint8_t, 12>& reserved) {
    std::vector<uint8_t> body = CmoBody(uint16_t(type), id, flags);
    std::copy(reserved.begin(), reserved.end(), body.begin() + 6);
    SubRecord(out, ft::Cmo, body);
}

// The fields an ftCmo gives every control.
template <class T> void TakeCmo(T& control, const std::vector<uint8_t>& body) {
    if (body.size() < 6) return;
    control.ObjectId = GetU16(body.data() + 2);
    control.CmoFlags = GetU16(body.data() + 4);
    std::copy_n(body.begin() + 6, std::min<size_t>(12, body.size() - 6), control.CmoReserved.begin());
}

// Raises the control's message for a sub-record it does not take.
void Refuse(uint16_t type, const char* kind) {
    char message[48];
    std::snprintf(message, sizeof message, "Unknown record %.4X in OBJ %s", unsigned(type), kind);
    throw XLSError(message);
}

bool Accepts(uint16_t type, std::initializer_list<uint16_t> types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

std::vector<uint8_t> Bytes(const TObjSubRecord& s) {
    return s.Body;
}

} // namespace

std::vector<uint8_t> MacroFormula(int namePosition, int sheetEntry) {
    std::vector<uint8_t> f;
    TByteWriter w(f);
    w.U16(7);
    w.U32(0);
    w.U8(ptgNameX);
    w.U16(uint16_t(sheetEntry));
    w.U16(uint16_t(namePosition + 1));
    w.U16(0);
    w.U8(0);
    return f;
}

namespace {
int SheetEntry(const TDrawingNames* names) {
    return names && names->MacroSheetEntry ? names->MacroSheetEntry() : 0;
}
} // namespace

std::vector<uint8_t> AddedMacroFormula(const TDrawingNames* names, std::u16string_view text) {
    if (!names || !names->AddMacroName) throw XLSError("Can not find Name " + WideToUtf8(text));
    const int position = names->AddMacroName(text);
    return MacroFormula(position, SheetEntry(names));
}

int MacroNameIndex(const std::vector<uint8_t>& formula) {
    if (formula.size() < 11 || formula[6] != ptgNameX) return 0;
    return GetU16(formula.data() + 9);
}

void MacroNameDeleted(std::vector<uint8_t>& formula, int position) {
    const int index = MacroNameIndex(formula);
    if (index == 0) return;
    if (index == position + 1)
        formula.clear();
    else if (index > position + 1)
        PutU16(formula.data() + 9, uint16_t(index - 1));
}

// ---- controls with a caption

TShapeOutsideMsoBaseTextMacro::TShapeOutsideMsoBaseTextMacro(uint16_t objectId, uint8_t kind, int objectType,
                                                             const TDrawingNames* names)
    : TShapeOutsideMsoBaseText(objectId, kind), names(names), objectType(objectType) {
    WritesOwnObj = true;
}

std::u16string TShapeOutsideMsoBaseTextMacro::GetMacroName() const {
    const int index = MacroNameIndex(Macro);
    if (index == 0 || !names || !names->NameText) return {};
    return names->NameText(index - 1);
}

bool TShapeOutsideMsoBaseTextMacro::SetMacroName(std::u16string_view text) {
    const int position = names && names->IndexOfName ? names->IndexOfName(text) : -1;
    if (position < 0) throw XLSError("Can not find Name " + WideToUtf8(text));
    Macro = MacroFormula(position, SheetEntry(names));
    return true;
}

void TShapeOutsideMsoBaseTextMacro::NameDeleted(int position) {
    MacroNameDeleted(Macro, position);
}

void TShapeOutsideMsoBaseTextMacro::CopyMacroTo(TShapeOutsideMsoBaseTextMacro& dest) const {
    CopyTextTo(dest);
    dest.Macro = Macro;
    dest.CmoReserved = CmoReserved;
}

void TShapeOutsideMsoBaseTextMacro::Write(TDrawingOut& out) const {
    std::vector<uint8_t> body;
    Cmo(body, objectType, ObjectId, CmoFlags, CmoReserved);
    AppendSubRecords(body);
    SubRecord(body, ft::End, {}, 0);
    out.Biff().WriteRawRecord(biff::OBJ, body.data(), uint16_t(body.size()));
    TShapeOutsideMsoBaseText::Write(out);
}

TShapeControlButton::TShapeControlButton(uint16_t objectId, const TDrawingNames* names)
    : TShapeOutsideMsoBaseTextMacro(objectId, okButton, objtype::Button, names) {
    CmoFlags = 0x4001;
}

std::unique_ptr<TShapeOutsideMso> TShapeControlButton::Copy() const {
    auto copy = std::make_unique<TShapeControlButton>(ObjectId, names);
    CopyMacroTo(*copy);
    return copy;
}

void TShapeControlButton::ReadObjSubRecords(const std::vector<TObjSubRecord>& list) {
    Macro.clear();
    for (const auto& s : list) {
        if (!Accepts(s.Ft, {ft::End, ft::Macro, ft::Cmo})) Refuse(s.Ft, "LBS");
        if (s.Ft == ft::Macro) Macro = Bytes(s);
        if (s.Ft == ft::Cmo) TakeCmo(*this, s.Body);
    }
}

void TShapeControlButton::AppendSubRecords(std::vector<uint8_t>& body) const {
    SubRecord(body, ft::Macro, Macro);
}

TShapeControlCheckBox::TShapeControlCheckBox(uint16_t objectId, const TDrawingNames* names)
    : TShapeOutsideMsoBaseTextMacro(objectId, okCheckBox, objtype::CheckBox, names), Cbls(12, 0) {
    CmoFlags = 0x0011;
}

std::unique_ptr<TShapeOutsideMso> TShapeControlCheckBox::Copy() const {
    auto copy = std::make_unique<TShapeControlCheckBox>(ObjectId, names);
    CopyMacroTo(*copy);
    copy->Cbls = Cbls;
    copy->CblsFmla = CblsFmla;
    copy->CblsData = CblsData;
    return copy;
}

void TShapeControlCheckBox::ReadObjSubRecords(const std::vector<TObjSubRecord>& list) {
    Macro.clear(), Cbls.clear(), CblsFmla.clear(), CblsData.clear();
    for (const auto& s : list) {
        switch (s.Ft) {
        case ft::End:
            break;
        case ft::Macro:
            Macro = Bytes(s);
            break;
        case ft::Cbls:
            Cbls = Bytes(s);
            break;
        case ft::CblsData:
            CblsData = Bytes(s);
            break;
        case ft::CblsFmla:
            CblsFmla = Bytes(s);
            break;
        case ft::Cmo:
            TakeCmo(*this, s.Body);
            break;
        default:
            Refuse(s.Ft, "CBLS");
        }
    }
}

void TShapeControlCheckBox::AppendSubRecords(std::vector<uint8_t>& body) const {
    SubRecord(body, ft::Cbls, Cbls);
    SubRecord(body, ft::Macro, Macro);
    SubRecord(body, ft::CblsFmla, CblsFmla);
    SubRecord(body, ft::CblsData, CblsData);
}

TShapeControlRadioButton::TShapeControlRadioButton(uint16_t objectId, const TDrawingNames* names)
    : TShapeOutsideMsoBaseTextMacro(objectId, okRadioButton, objtype::RadioButton, names), Cbls(12, 0) {
    CmoFlags = 0x0011;
}

std::unique_ptr<TShapeOutsideMso> TShapeControlRadioButton::Copy() const {
    auto copy = std::make_unique<TShapeControlRadioButton>(ObjectId, names);
    CopyMacroTo(*copy);
    copy->Cbls = Cbls;
    copy->Rbo = Rbo;
    copy->CblsFmla = CblsFmla;
    copy->CblsData = CblsData;
    copy->RboData = RboData;
    return copy;
}

void TShapeControlRadioButton::ReadObjSubRecords(const std::vector<TObjSubRecord>& list) {
    Macro.clear(), Cbls.clear(), Rbo.clear(), CblsFmla.clear(), CblsData.clear(), RboData.clear();
    for (const auto& s : list) {
        switch (s.Ft) {
        case ft::End:
            break;
        case ft::Macro:
            Macro = Bytes(s);
            break;
        case ft::Cbls:
            Cbls = Bytes(s);
            break;
        case ft::Rbo:
            Rbo = Bytes(s);
            break;
        case ft::RboData:
            RboData = Bytes(s);
            break;
        case ft::CblsData:
            CblsData = Bytes(s);
            break;
        case ft::CblsFmla:
            CblsFmla = Bytes(s);
            break;
        case ft::Cmo:
            TakeCmo(*this, s.Body);
            break;
        default:
            Refuse(s.Ft, "RBO");
        }
    }
}

void TShapeControlRadioButton::AppendSubRecords(std::vector<uint8_t>& body) const {
    SubRecord(body, ft::Cbls, Cbls);
    SubRecord(body, ft::Rbo, Rbo);
    SubRecord(body, ft::Macro, Macro);
    SubRecord(body, ft::CblsFmla, CblsFmla);
    SubRecord(body, ft::CblsData, CblsData);
    SubRecord(body, ft::RboData, RboData);
}

// ---- list data

size_t TObjLBS::Size(bool raw) const {
    if (raw) return Body.size();
    return Formula.empty() ? 10 : 17 + Formula.size();
}

// The source range: cbFmla, then (when not 0) the formula's length, a
// reserved u32, the formula and padding up to cbFmla; then the list's
// line count, selection, flags and edit id.
size_t TObjLBS::ReadHead(TByteReader& r) {
    const size_t cbFmla = r.U16("list data");
    Formula.clear();
    if (cbFmla > 0) {
        TByteReader f(r.Bytes(cbFmla, "list formula"));
        const size_t cce = f.U16("list formula");
        Reserved = f.U32("list formula");
        auto tokens = f.Bytes(cce, "list formula");
        Formula.assign(tokens.begin(), tokens.end());
        Trailing = f.AtEnd() ? 0 : f.U8();
    }
    Lines = r.U16("list data");
    Selected = r.U16("list data");
    Flags = r.U16("list data");
    EditId = r.U16("list data");
    return r.Position();
}

size_t TObjLBS::Read(std::span<const uint8_t> body) {
    Body.assign(body.begin(), body.end());
    TByteReader r(body);
    return ReadHead(r);
}

void TObjLBS::AppendHead(std::vector<uint8_t>& out) const {
    TByteWriter w(out);
    if (Formula.empty()) {
        w.U16(0);
    } else {
        w.U16(uint16_t(Formula.size() + 7));
        w.U16(uint16_t(Formula.size()));
        w.U32(Reserved);
        w.Bytes(Formula.data(), Formula.size());
        w.U8(Trailing);
    }
    w.U16(Lines);
    w.U16(Selected);
    w.U16(Flags);
    w.U16(EditId);
}

void TObjLBS::Append(std::vector<uint8_t>& out, bool raw) const {
    if (raw)
        out.insert(out.end(), Body.begin(), Body.end());
    else
        AppendHead(out);
}

TObjLBSListBox::TObjLBSListBox() {
    Lines = 10;
    Selected = 1;
    Flags = 0x0008;
}

size_t TObjLBSListBox::Size(bool raw) const {
    return raw ? Body.size() : TObjLBS::Size(false) + ((Flags & 0x0030) ? Selection.size() : 0);
}

size_t TObjLBSListBox::Read(std::span<const uint8_t> body) {
    Body.assign(body.begin(), body.end());
    TByteReader r(body);
    ReadHead(r);
    Selection.clear();
    if (Flags & 0x0030) {
        auto s = r.Bytes(std::min<size_t>(Lines, r.Remaining()));
        Selection.assign(s.begin(), s.end());
    }
    return r.Position();
}

void TObjLBSListBox::Append(std::vector<uint8_t>& out, bool raw) const {
    TObjLBS::Append(out, raw);
    if (!raw && (Flags & 0x0030)) out.insert(out.end(), Selection.begin(), Selection.end());
}

TObjLBSComboBox::TObjLBSComboBox() {
    Lines = 0;
    Selected = 0;
    Flags = 0;
}

size_t TObjLBSComboBox::Size(bool raw) const {
    return raw ? Body.size() : TObjLBS::Size(false) + 6;
}

size_t TObjLBSComboBox::Read(std::span<const uint8_t> body) {
    Body.assign(body.begin(), body.end());
    TByteReader r(body);
    ReadHead(r);
    if (r.Remaining() >= 6) {
        DropStyle = r.U16();
        DropLines = r.U16();
        MinWidth = r.U16();
    }
    return r.Position();
}

void TObjLBSComboBox::Append(std::vector<uint8_t>& out, bool raw) const {
    TObjLBS::Append(out, raw);
    if (raw) return;
    TByteWriter w(out);
    w.U16(DropStyle);
    w.U16(DropLines);
    w.U16(MinWidth);
}

// ---- list and combo boxes

TShapeControlListBox::TShapeControlListBox(uint16_t objectId, bool combo, const TDrawingNames* names)
    : TShapeOutsideMso(combo ? okComboBox : okListBox), IsCombo(combo), names(names) {
    WritesOwnObj = true;
    ObjectId = objectId;
    CmoFlags = 0x2011;
    // Reserved, value, minimum, maximum, increment, page, horizontal,
    // scroll width, flags.
    const uint16_t sbs[] = {0, 0, 0, 0, 4, 1, 5, 0, 16, 1};
    for (int i = 0; i < 10; ++i) PutU16(Sbs.data() + 2 * i, sbs[i]);
    LinkCell = {ptgRef, 1, 0, 1, 0, 0};
    if (combo)
        Lbs = std::make_unique<TObjLBSComboBox>();
    else
        Lbs = std::make_unique<TObjLBSListBox>();
}

std::unique_ptr<TShapeOutsideMso> TShapeControlListBox::Copy() const {
    throw XLSError("TShapeControlListBox: Assign not implemented");
}

void TShapeControlListBox::GetLinkCell(int& col, int& row) const {
    if (LinkCell.size() < 5 || LinkCell[0] != ptgRef) throw XLSError("Unknown SBS formula.");
    row = GetU16(LinkCell.data() + 1);
    col = GetU16(LinkCell.data() + 3);
}

void TShapeControlListBox::SetLinkCell(int col, int row) {
    if (LinkCell.size() != 6 || LinkCell[0] != ptgRef) throw XLSError("Unknown SBS formula.");
    if (GetU16(LinkCell.data() + 1) == row && GetU16(LinkCell.data() + 3) == col) return;
    PutU16(LinkCell.data() + 1, uint16_t(row));
    PutU16(LinkCell.data() + 3, uint16_t(col));
    Changed = true;
}

void TShapeControlListBox::GetSourceArea(int& sheet, int& col1, int& row1, int& col2, int& row2) const {
    const std::vector<uint8_t>& f = Lbs->Formula;
    if (f.empty()) throw XLSError("No source area assigned");
    size_t at = 1;
    sheet = -1;
    if (f.size() == 9 && f[0] == ptgArea) {
    } else if (f.size() == 11 && f[0] == ptgArea3d) {
        sheet = GetU16(f.data() + 1);
        at = 3;
    } else {
        throw XLSError("Unknown LBS formula.");
    }
    row1 = GetU16(f.data() + at);
    row2 = GetU16(f.data() + at + 2);
    col1 = GetU16(f.data() + at + 4);
    col2 = GetU16(f.data() + at + 6);
}

void TShapeControlListBox::SetSourceArea(int col1, int row1, int col2, int row2) {
    std::vector<uint8_t>& f = Lbs->Formula;
    if (f.size() != 9 || f[0] != ptgArea) f.assign({ptgArea, 0, 0, 0, 0, 0, 0, 0, 0});
    PutU16(f.data() + 1, uint16_t(row1));
    PutU16(f.data() + 3, uint16_t(row2));
    PutU16(f.data() + 5, uint16_t(col1));
    PutU16(f.data() + 7, uint16_t(col2));
    Changed = true;
}

void TShapeControlListBox::SetAutofilter(bool on) {
    if (!on) throw XLSError("An autofilter combo box can not be changed to a normal.");
    CmoFlags = 0x2101;
    Lbs->Flags = 0x0301;
    if (auto* combo = dynamic_cast<TObjLBSComboBox*>(Lbs.get())) {
        combo->DropStyle = 10;
        combo->DropLines = 8;
    }
    LinkCell.clear();
    Changed = true;
}

void TShapeControlListBox::NameDeleted(int position) {
    MacroNameDeleted(Macro, position);
}

void TShapeControlListBox::ReadObjSubRecords(const std::vector<TObjSubRecord>& list) {
    Macro.clear(), SbsFmla.clear(), LinkCell.clear();
    bool autofilter = false;
    for (const auto& s : list) {
        switch (s.Ft) {
        case ft::End:
            break;
        case ft::Macro:
            Macro = Bytes(s);
            break;
        case ft::Sbs:
            Sbs.fill(0);
            std::copy_n(s.Body.begin(), std::min<size_t>(20, s.Body.size()), Sbs.begin());
            break;
        case ft::SbsFmla:
            SbsFmla = Bytes(s);
            if (SbsFmla.size() >= 12 && GetU16(SbsFmla.data()) == 5)
                LinkCell.assign(SbsFmla.begin() + 6, SbsFmla.begin() + 12);
            break;
        case ft::LbsData:
            Lbs->Read(s.Body);
            LbsCb = s.Cb;
            break;
        case ft::Cmo:
            TakeCmo(*this, s.Body);
            autofilter = (CmoFlags & 0x0100) != 0;
            break;
        default:
            Refuse(s.Ft, "LBS");
        }
        if (s.Ft == ft::LbsData && !IsCombo) break;
    }
    if (autofilter) LinkCell.clear();
    Changed = false;
}

void TShapeControlListBox::Write(TDrawingOut& out) const {
    std::vector<uint8_t> body;
    Cmo(body, ObjectType(), ObjectId, CmoFlags, CmoReserved);
    SubRecord(body, ft::Sbs, Sbs);
    SubRecord(body, ft::Macro, Macro);
    if (Changed) {
        if (!LinkCell.empty()) {
            std::vector<uint8_t> fmla;
            TByteWriter w(fmla);
            w.U16(5);
            w.U32(0);
            w.Bytes(LinkCell.data(), LinkCell.size());
            SubRecord(body, ft::SbsFmla, fmla);
        }
    } else {
        SubRecord(body, ft::SbsFmla, SbsFmla);
    }
    // A control read without list data gets it from the fields: an empty
    // one would not read again.
    const bool raw = !Changed && !Lbs->Body.empty();
    std::vector<uint8_t> lbs;
    Lbs->Append(lbs, raw);
    SubRecord(body, ft::LbsData, lbs, raw ? LbsCb : uint16_t(0x1FDE));
    if (IsCombo) SubRecord(body, ft::End, {}, 0);
    out.Biff().WriteRawRecord(biff::OBJ, body.data(), uint16_t(body.size()));
}

// ---- scroll bars

TShapeControlScrollBar::TShapeControlScrollBar(uint16_t objectId) : TShapeOutsideMso(okScrollBar) {
    WritesOwnObj = true;
    ObjectId = objectId;
    CmoFlags = 0x6011;
}

std::vector<uint8_t> TShapeControlScrollBar::LinkCell() const {
    if (SbsFmla.size() >= 12 && GetU16(SbsFmla.data()) == 5)
        return {SbsFmla.begin() + 6, SbsFmla.begin() + 12};
    return {};
}

void TShapeControlScrollBar::ReadObjSubRecords(const std::vector<TObjSubRecord>& list) {
    Macro.clear(), SbsFmla.clear();
    for (const auto& s : list) {
        switch (s.Ft) {
        case ft::End:
            break;
        case ft::Macro:
            Macro = Bytes(s);
            break;
        case ft::Sbs:
            Sbs.fill(0);
            std::copy_n(s.Body.begin(), std::min<size_t>(20, s.Body.size()), Sbs.begin());
            break;
        case ft::SbsFmla:
            SbsFmla = Bytes(s);
            break;
        case ft::Cmo:
            TakeCmo(*this, s.Body);
            break;
        default:
            Refuse(s.Ft, "CBLS");
        }
    }
}

void TShapeControlScrollBar::Write(TDrawingOut& out) const {
    std::vector<uint8_t> body;
    Cmo(body, objtype::ScrollBar, ObjectId, CmoFlags, CmoReserved);
    SubRecord(body, ft::Sbs, Sbs);
    SubRecord(body, ft::Macro, Macro);
    SubRecord(body, ft::SbsFmla, SbsFmla);
    SubRecord(body, ft::End, {}, 0);
    out.Biff().WriteRawRecord(biff::OBJ, body.data(), uint16_t(body.size()));
}

std::unique_ptr<TShapeOutsideMso> CreateControl(int objectType, const std::vector<TObjSubRecord>& list,
                                                const TDrawingNames* names) {
    switch (objectType) {
    case objtype::Button: {
        auto c = std::make_unique<TShapeControlButton>(0, names);
        c->ReadObjSubRecords(list);
        return c;
    }
    case objtype::CheckBox: {
        auto c = std::make_unique<TShapeControlCheckBox>(0, names);
        c->ReadObjSubRecords(list);
        return c;
    }
    case objtype::RadioButton: {
        auto c = std::make_unique<TShapeControlRadioButton>(0, names);
        c->ReadObjSubRecords(list);
        return c;
    }
    case objtype::ScrollBar: {
        auto c = std::make_unique<TShapeControlScrollBar>(0);
        c->ReadObjSubRecords(list);
        return c;
    }
    case objtype::ListBox:
    case objtype::ComboBox: {
        auto c = std::make_unique<TShapeControlListBox>(0, objectType == objtype::ComboBox, names);
        c->ReadObjSubRecords(list);
        return c;
    }
    default:
        return nullptr;
    }
}

} // namespace xls
