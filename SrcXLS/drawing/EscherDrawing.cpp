#include "SrcXLS/drawing/EscherDrawing.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/drawing/DrawingGroup.h"
#include "SrcXLS/drawing/FormControls.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <unordered_set>

namespace xls {

namespace {

// Groups inside groups are read recursively; deeper files are refused.
constexpr int MaxGroupDepth = 64;

// Shape properties whose value is the id of another shape of the drawing:
// the next text box of a chain, the master shape.
constexpr int PropNextInChain = 138;
constexpr int PropMaster = 769;
// Rules of the solver container after the shapes: a rule id, then the ids
// of the shapes it ties.
struct TShapeRule {
    uint16_t Type;
    size_t Shapes;
};
constexpr TShapeRule ShapeRules[] = {{0xF012, 3}, {0xF014, 1}, {0xF017, 1}};

uint32_t DefaultTextId() {
    static std::mt19937 random{std::random_device{}()};
    auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return uint32_t(random() % 65535) + uint32_t(ticks.count());
}

TMSOObjCLIENTANCHOR* AnchorOf(TShape& shape) {
    if (auto* s = dynamic_cast<TShapeClientAnchor*>(&shape)) return &s->Anchor;
    if (auto* g = dynamic_cast<TShapeGroupClientAnchor*>(&shape)) return &g->Anchor;
    return nullptr;
}

[[noreturn]] void ShapeLength() {
    throw XLSError("Error while reading Shape. Length <> 0");
}

// Whether a record of the shape container starts at `at` of the bytes read
// ahead: the container or the read-ahead piece ends there, or a drawing
// record header that fits in the container stands there.
bool StartsRecord(const std::vector<uint8_t>& ahead, size_t at, int64_t left) {
    if (int64_t(at) == left || at == ahead.size()) return true;
    if (at + 8 > ahead.size()) return false;
    const TMSOHeader next = TMSOHeader::Parse(ahead.data() + at);
    return next.Type >= 0xF000 && next.Type <= 0xF1FF &&
           (next.IsContainer() || int64_t(next.Length) <= left - int64_t(at) - 8);
}

// The body of a property table, left bytes of the shape container after its
// header. A damaged file may state the table's length wrong (cut short, or
// past the container): when the next record does not start where the
// stated length ends, the table is as long as its own items make it, where
// the next record starts after that. `stated` is cleared when the items'
// length was taken.
std::vector<uint8_t> ReadPropertyTable(TDrawingIn& in, const TMSOHeader& h, int64_t left, bool& stated) {
    stated = true;
    if (left < 0) ShapeLength();
    const int64_t reach = std::min<int64_t>(left, in.PieceLeft());
    // A table that runs on into the next drawing record is as long as it says.
    if (int64_t(h.Length) <= left && int64_t(h.Length) > reach) return in.ReadBody(h.Length);
    std::vector<uint8_t> ahead = in.ReadBody(uint32_t(reach));
    size_t length = h.Length;
    if (int64_t(h.Length) > reach || !StartsRecord(ahead, h.Length, left)) {
        for (size_t own : TOPT::ContentLengths(ahead, h.Instance))
            if (StartsRecord(ahead, own, left)) {
                length = own;
                stated = false;
                break;
            }
        if (stated && int64_t(h.Length) > left) ShapeLength();
    }
    in.Unread({ahead.begin() + ptrdiff_t(length), ahead.end()});
    ahead.resize(length);
    return ahead;
}

} // namespace

TEscherDrawing::TEscherDrawing(TEscherGroup& group, TXFonts* fonts)
    : group(group), fonts(fonts), root(std::make_unique<TShapeGroupClientAnchor>(this)) {}

TEscherDrawing::~TEscherDrawing() {
    group.DetachDrawing(*this);
}

void TEscherDrawing::Clear() {
    notesById.clear();
    if (OnShapeDeleting)
        for (int i = 0; i < root->Count(); ++i) OnShapeDeleting(root->GetShape(i));
    root->ClearShapes();
    if (drawingId != 0) {
        try {
            group.ReleaseDrawing(drawingId);
        } catch (const XLSError&) {
            // A group cleared first has no entry left to release.
        }
    }
    drawingId = 0;
    nextShapeId = 0;
    highestObjectId = 0;
    regroupItems.clear();
    hasRegroupItems = false;
    rootKept = {};
    trailing = {};
    skipped.clear();
    readWarnings.clear();
}

// ---- ids

void TEscherDrawing::EnsureRegistered() {
    if (drawingId != 0) {
        group.TouchDrawing(drawingId);
        return;
    }
    auto [id, first] = group.NewDrawing(*this);
    drawingId = id;
    root->Flags = sfGroup | sfPatriarch;
    root->ShapeId = first;
    nextShapeId = first + 1;
}

// Each drawing owns whole blocks of 1024 ids; when its block is used up (or
// the next id lies in a block it does not own) it takes a new one, so shape
// ids never collide across drawings.
uint32_t TEscherDrawing::NewShapeId() {
    if (nextShapeId % 1024 == 0 || !group.OwnsCluster(drawingId, nextShapeId))
        nextShapeId = group.NewCluster(*this);
    return nextShapeId++;
}

uint16_t TEscherDrawing::NewObjectId() {
    if (highestObjectId == 0xFFFF) throw XLSError("Too many drawing objects on the sheet");
    return ++highestObjectId;
}

uint32_t TEscherDrawing::NewTextId() {
    return TextIdSource ? TextIdSource() : DefaultTextId();
}

// ---- creators

TShapeClientAnchor& TEscherDrawing::NewShape(uint32_t type, int col1, int row1, int col2, int row2) {
    EnsureRegistered();
    auto shape = std::make_unique<TShapeClientAnchor>();
    shape->ShapeType = type;
    shape->ShapeId = NewShapeId();
    shape->Flags = sfHaveAnchor | sfHaveShapeType;
    shape->Anchor.Col1 = col1;
    shape->Anchor.Row1 = row1;
    shape->Anchor.Col2 = col2;
    shape->Anchor.Row2 = row2;
    return static_cast<TShapeClientAnchor&>(root->Add(std::move(shape)));
}

namespace {
void SetProperties(TShape& shape, std::initializer_list<std::pair<uint16_t, uint32_t>> properties) {
    for (auto [id, value] : properties) shape.Opt.Add(id, value);
    shape.Opt.FixCount();
}
} // namespace

TShapeClientAnchor& TEscherDrawing::AddTextBox() {
    TShapeClientAnchor& shape = NewShape(shapetype::TextBox, 1, 1, 3, 5);
    SetProperties(shape,
                  {{128, NewTextId()}, {139, 2}, {191, 0x00080008}, {385, 0x08000041}, {448, 0x08000040}});
    const uint16_t id = NewObjectId();
    shape.ObjSubRecords = {{ft::Cmo, CmoBody(objtype::Text, id, 0x6011)}, {ft::End, {}}};
    auto text = std::make_unique<TShapeOutsideMsoBaseText>(id, okTextBox);
    text->CmoFlags = 0x6011;
    text->SetDefaultText();
    shape.Attached = std::move(text);
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddBasicShape() {
    TShapeClientAnchor& shape = NewShape(shapetype::Line, 1, 1, 3, 5);
    SetProperties(shape, {{191, 0x00080008},
                          {324, 4},
                          {383, 0x00010000},
                          {447, 0x00100000},
                          {448, 0x08000040},
                          {511, 0x00100010}});
    shape.ObjSubRecords = {{ft::Cmo, CmoBody(objtype::Line, NewObjectId(), 0x6011)}, {ft::End, {}}};
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddNote() {
    TShapeClientAnchor& shape = NewShape(shapetype::TextBox, 1, 1, 3, 5);
    SetProperties(shape, {{128, NewTextId()},
                          {139, 2},
                          {191, 0x00080008},
                          {344, 0},
                          {385, 0x08000050},
                          {387, 0x08000050},
                          {389, 0x100000F4},
                          {447, 0x00100010},
                          {451, 0x100000F4},
                          {513, 0},
                          {515, 0x100000F4},
                          {575, 0x00030003},
                          {959, 0x00020002}});
    const uint16_t id = NewObjectId();
    shape.ObjSubRecords = {
        {ft::Cmo, CmoBody(objtype::Note, id, 0x4011)}, {ft::Nts, std::vector<uint8_t>(22, 0)}, {ft::End, {}}};
    auto note = std::make_unique<TShapeOutsideMsoNote>(id);
    note->CmoFlags = 0x4011;
    note->SetDefaultText();
    if (fonts) {
        TXFont font;
        font.Height = 160;
        note->HoldRunFont(*fonts, *fonts->FindOrAdd(font));
    }
    shape.Attached = std::move(note);
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddAutoShape() {
    TShapeClientAnchor& shape = NewShape(shapetype::Sun, 1, 1, 2, 5);
    SetProperties(shape, {{191, 0x00080008}, {385, 0x08000041}, {448, 0x08000040}});
    shape.ObjSubRecords = {{ft::Cmo, CmoBody(objtype::AutoShape, NewObjectId(), 0x6011)}, {ft::End, {}}};
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddPicture() {
    TShapeClientAnchor& shape = NewShape(shapetype::PictureFrame, 1, 1, 3, 7);
    shape.Opt.Add(0x4000 | 260, 0);
    shape.Opt.AddComplexText(261, u"[???]");
    shape.Opt.FixCount();
    shape.ObjSubRecords = {{ft::Cmo, CmoBody(objtype::Picture, NewObjectId(), 0x6011)},
                           {ft::Cf, {0xFF, 0xFF}},
                           {ft::PioGrbit, {0, 0}},
                           {ft::End, {}}};
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddListBox() {
    TShapeClientAnchor& shape = NewShape(shapetype::HostControl, 3, 1, 5, 5);
    SetProperties(shape, {{127, 0x01040104}, {191, 0x00080008}, {448, 0x08000040}, {511, 0x00100010}});
    shape.Attached = std::make_unique<TShapeControlListBox>(NewObjectId(), false, Names);
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddComboBox() {
    TShapeClientAnchor& shape = NewShape(shapetype::HostControl, 3, 1, 5, 2);
    SetProperties(shape, {{127, 0x01040104}, {191, 0x00080008}, {448, 0x08000040}, {511, 0x00100010}});
    shape.Attached = std::make_unique<TShapeControlListBox>(NewObjectId(), true, Names);
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddAutofilterComboBox() {
    TShapeClientAnchor& shape = AddComboBox();
    static_cast<TShapeControlListBox&>(*shape.Attached).SetAutofilter(true);
    return shape;
}

namespace {
template <class Control>
void Caption(TShapeClientAnchor& shape, std::unique_ptr<Control> control, std::u16string_view text) {
    control->SetDefaultText();
    control->SetText(text);
    shape.Attached = std::move(control);
}
} // namespace

TShapeClientAnchor& TEscherDrawing::AddButton() {
    TShapeClientAnchor& shape = NewShape(shapetype::HostControl, 3, 1, 4, 2);
    SetProperties(shape, {{127, 0x01040104},
                          {128, NewTextId()},
                          {133, 1},
                          {139, 2},
                          {191, 0x001A0008},
                          {385, 0x08000043},
                          {387, 0x08000043},
                          {447, 0x00110011},
                          {448, 0x08000040},
                          {959, 0x00080008}});
    Caption(shape, std::make_unique<TShapeControlButton>(NewObjectId(), Names), u"Button");
    return shape;
}

namespace {
void CheckBoxProperties(TShape& shape, uint32_t textId) {
    SetProperties(shape, {{127, 0x01000100},
                          {128, textId},
                          {133, 1},
                          {139, 2},
                          {191, 0x001A0008},
                          {383, 0x00290029},
                          {385, 0x08000041},
                          {447, 0x00100000},
                          {448, 0x08000040},
                          {511, 0x00080000}});
}
} // namespace

TShapeClientAnchor& TEscherDrawing::AddCheckBox() {
    TShapeClientAnchor& shape = NewShape(shapetype::HostControl, 3, 1, 4, 2);
    CheckBoxProperties(shape, NewTextId());
    Caption(shape, std::make_unique<TShapeControlCheckBox>(NewObjectId(), Names), u"CheckBox");
    return shape;
}

TShapeClientAnchor& TEscherDrawing::AddRadioButton() {
    TShapeClientAnchor& shape = NewShape(shapetype::HostControl, 3, 1, 4, 2);
    CheckBoxProperties(shape, NewTextId());
    Caption(shape, std::make_unique<TShapeControlRadioButton>(NewObjectId(), Names), u"RadioButton");
    return shape;
}

// ---- deleting

void TEscherDrawing::AfterDelete() {
    if (root->Count() > 0) {
        group.TouchDrawing(drawingId);
    } else if (drawingId != 0) {
        group.ReleaseDrawing(drawingId);
        drawingId = 0;
    }
}

void TEscherDrawing::DeleteShape(uint32_t shapeId) {
    int index = root->IndexOfId(shapeId);
    if (index < 0) return;
    TShape* gone = &root->GetShape(index);
    if (OnShapeDeleting) OnShapeDeleting(*gone);
    for (auto& [id, shapes] : notesById) std::erase(shapes, gone);
    root->Delete(index);
    AfterDelete();
}

// One pass over the shapes, however many go.
void TEscherDrawing::DeleteShapes(const std::vector<TShape*>& list) {
    if (list.empty()) return;
    std::unordered_set<const TShape*> gone(list.begin(), list.end());
    std::vector<int> indexes;
    for (int i = 0; i < root->Count(); ++i)
        if (gone.count(&root->GetShape(i))) indexes.push_back(i);
    if (indexes.empty()) return;
    if (OnShapeDeleting)
        for (int i : indexes) OnShapeDeleting(root->GetShape(i));
    for (auto& [id, shapes] : notesById) std::erase_if(shapes, [&](TShape* s) { return gone.count(s) > 0; });
    root->DeleteAll(gone);
    AfterDelete();
}

// ---- editing

TShapeOutsideMsoNote* TEscherDrawing::NoteOf(const TShape& shape) {
    return dynamic_cast<TShapeOutsideMsoNote*>(shape.Attached.get());
}

bool TEscherDrawing::TopLeft(const TShape& shape, int& col, int& row) {
    if (const TShapeOutsideMsoNote* note = NoteOf(shape)) {
        col = int(note->Col);
        row = int(note->Row);
        return true;
    }
    if (auto* a = AnchorOf(const_cast<TShape&>(shape))) {
        col = a->Col1;
        row = a->Row1;
        return true;
    }
    return false;
}

// Moves a shape so that its top-left cell lands on (col, row): the anchor
// keeps its size in cells and a note keeps its box beside its cell.
void TEscherDrawing::Place(TShape& shape, int col, int row) {
    if (dynamic_cast<TShapeChildAnchor*>(&shape) || dynamic_cast<TShapeGroupChildAnchor*>(&shape))
        throw XLSError("Not implemented: Move shape child anchor");
    TMSOObjCLIENTANCHOR* a = AnchorOf(shape);
    if (!a) throw XLSError("Dont know how to Move this shape");
    int fromCol = 0, fromRow = 0;
    TopLeft(shape, fromCol, fromRow);
    int dc = std::max(col - fromCol, -a->Col1), dr = std::max(row - fromRow, -a->Row1);
    a->Col1 += dc;
    a->Col2 += dc;
    a->Row1 += dr;
    a->Row2 += dr;
    if (TShapeOutsideMsoNote* note = NoteOf(shape)) {
        note->Col = uint32_t(std::max(col, 0));
        note->Row = uint32_t(std::max(row, 0));
    }
}

void TEscherDrawing::MoveShape(int index, int col, int row) {
    Place(root->GetShape(index), col, row);
}

std::unique_ptr<TShape> TEscherDrawing::CopyOf(const TShape& source) {
    std::unique_ptr<TShape> copy = NewShapeLike(source, this);
    source.Assign(*copy);
    copy->ShapeId = NewShapeId();
    if (copy->ObjectId() >= 0) copy->SetObjectId(NewObjectId());
    copy->RenewTextId(NewTextId());
    return copy;
}

void TEscherDrawing::CheckCopyable(const std::vector<TShape*>& list) {
    for (const TShape* s : list) {
        NewShapeLike(*s, nullptr);
        if (s->Attached) s->Attached->Copy();
    }
}

void TEscherDrawing::CopyShape(int index, int col, int row) {
    const TShape& source = root->GetShape(index);
    EnsureRegistered();
    TShape& copy = root->Add(CopyOf(source));
    if (!dynamic_cast<TShapeChildAnchor*>(&copy) && !dynamic_cast<TShapeGroupChildAnchor*>(&copy))
        Place(copy, col, row);
    if (OnShapeAdded) OnShapeAdded(*this, copy);
}

void TEscherDrawing::GetShapesInArea(std::vector<TShape*>& list, int col1, int row1, int col2,
                                     int row2) const {
    for (int i = 0; i < root->Count(); ++i) {
        TShape& s = root->GetShape(i);
        int col = 0, row = 0;
        if (TopLeft(s, col, row) && col >= col1 && col <= col2 && row >= row1 && row <= row2)
            list.push_back(&s);
    }
}

void TEscherDrawing::CopyShapesInArea(int col1, int row1, int col2, int row2, int destCol, int destRow) {
    std::vector<TShape*> list;
    GetShapesInArea(list, col1, row1, col2, row2);
    CheckCopyable(list);
    for (TShape* s : list) {
        int col = 0, row = 0;
        TopLeft(*s, col, row);
        CopyShape(root->IndexOfId(s->ShapeId), destCol + col - col1, destRow + row - row1);
    }
}

void TEscherDrawing::MoveShapesInArea(int col1, int row1, int col2, int row2, int destCol, int destRow) {
    std::vector<TShape*> list;
    GetShapesInArea(list, col1, row1, col2, row2);
    for (TShape* s : list) {
        int col = 0, row = 0;
        TopLeft(*s, col, row);
        Place(*s, destCol + col - col1, destRow + row - row1);
    }
}

void TEscherDrawing::CopyShapesFrom(const std::vector<TShape*>& list, int deltaCol, int deltaRow) {
    if (list.empty()) return;
    CheckCopyable(list);
    EnsureRegistered();
    for (const TShape* s : list) {
        TShape& copy = root->Add(CopyOf(*s));
        int col = 0, row = 0;
        if ((deltaCol || deltaRow) && TopLeft(copy, col, row)) Place(copy, col + deltaCol, row + deltaRow);
        if (OnShapeAdded) OnShapeAdded(*this, copy);
    }
}

// ---- pictures

namespace {
template <class F> void ForEachShape(const TShapeGroup& group, F&& f) {
    for (int i = 0; i < group.Count(); ++i) {
        TShape& s = group.GetShape(i);
        f(s);
        if (auto* g = dynamic_cast<TShapeGroup*>(&s)) ForEachShape(*g, f);
    }
}
} // namespace

void TEscherDrawing::ListBlipRefs(std::set<int>& used) const {
    ForEachShape(*root, [&](const TShape& s) {
        for (const TOPTItem& item : s.Opt.Items)
            if (item.IsBlip() && !item.IsComplex() && item.Value > 0 && item.Value <= uint32_t(INT32_MAX))
                used.insert(int(item.Value) - 1);
    });
}

std::vector<uint32_t> TEscherDrawing::RemapBlipIds(const std::vector<int>& fileBlipIds) {
    std::vector<uint32_t> dropped;
    ForEachShape(*root, [&](TShape& s) {
        for (TOPTItem& item : s.Opt.Items) {
            if (!item.IsBlip() || item.IsComplex() || item.Value == 0) continue;
            auto at = std::find(fileBlipIds.begin(), fileBlipIds.end(), int64_t(item.Value) - 1);
            if (at == fileBlipIds.end()) {
                dropped.push_back(item.Value);
                item.Value = 0;
                continue;
            }
            item.Value = uint32_t(at - fileBlipIds.begin() + 1);
        }
    });
    return dropped;
}

void TEscherDrawing::MarkUsedPictures(TMSOPictures& pictures) const {
    ForEachShape(*root, [&](TShape& s) {
        for (const TOPTItem& item : s.Opt.Items) {
            if (!item.IsBlip() || item.IsComplex()) continue;
            if (item.Value > uint32_t(pictures.Count())) throw XLSError("Unassigned picture in file.");
            if (item.Value > 0 && pictures.Items(int(item.Value) - 1).RefCount == 0)
                pictures.Items(int(item.Value) - 1).RefCount = 1;
        }
    });
}

void TEscherDrawing::NameDeleted(int position) {
    ForEachShape(*root, [&](TShape& s) {
        // A shape's macro of that name goes with its sub-record.
        auto& list = s.ObjSubRecords;
        for (auto sub = list.begin(); sub != list.end();) {
            const bool held = sub->Ft == ft::Macro && !sub->Body.empty();
            if (held) MacroNameDeleted(sub->Body, position);
            sub = held && sub->Body.empty() ? list.erase(sub) : sub + 1;
        }
        TShapeOutsideMso* object = s.Attached.get();
        if (auto* c = dynamic_cast<TShapeOutsideMsoBaseTextMacro*>(object))
            c->NameDeleted(position);
        else if (auto* l = dynamic_cast<TShapeControlListBox*>(object))
            l->NameDeleted(position);
        else if (auto* b = dynamic_cast<TShapeControlScrollBar*>(object))
            b->NameDeleted(position);
    });
}

void TEscherDrawing::SheetDeleted(const std::function<bool(std::span<uint8_t> tokens)>& follow) {
    // A formula of a control's sub-record: its size, 4 reserved bytes, its tokens.
    auto fmla = [&](std::vector<uint8_t>& body) {
        if (body.size() < 6) return false;
        const size_t size = GetU16(body.data());
        return size <= body.size() - 6 && follow(std::span<uint8_t>(body).subspan(6, size));
    };
    ForEachShape(*root, [&](TShape& s) {
        TShapeOutsideMso* object = s.Attached.get();
        if (auto* l = dynamic_cast<TShapeControlListBox*>(object)) {
            fmla(l->SbsFmla);
            // The source range is written from the fields once it changed.
            if (l->Lbs && follow(l->Lbs->Formula)) l->Changed = true;
        } else if (auto* b = dynamic_cast<TShapeControlScrollBar*>(object)) {
            fmla(b->SbsFmla);
        } else if (auto* c = dynamic_cast<TShapeControlCheckBox*>(object)) {
            fmla(c->CblsFmla);
        } else if (auto* r = dynamic_cast<TShapeControlRadioButton*>(object)) {
            fmla(r->CblsFmla);
        }
    });
}

// ---- notes

bool TEscherDrawing::BindNote(int col, int row, std::u16string_view author, uint16_t objectId,
                              uint16_t flags) {
    TShape* target = nullptr;
    // Object ids that occur twice bind in file order.
    if (auto found = notesById.find(objectId); found != notesById.end())
        for (TShape* s : found->second)
            if (!NoteOf(*s)->Bound) {
                target = s;
                break;
            }
    if (!target) return false;
    TShapeOutsideMsoNote* note = NoteOf(*target);
    note->Col = uint32_t(col);
    note->Row = uint32_t(row);
    note->NoteFlags = flags;
    note->Author = author;
    note->Bound = true;
    note->WithoutRecord = false;
    if (auto* client = dynamic_cast<TShapeClientAnchor*>(target)) client->Shown = (flags & 0x0002) != 0;
    return true;
}

void TEscherDrawing::DropNote(uint16_t objectId) {
    const auto found = notesById.find(objectId);
    if (found == notesById.end()) return;
    for (TShape* s : found->second)
        if (!NoteOf(*s)->Bound) {
            if (root->IndexOfId(s->ShapeId) >= 0) DeleteShape(s->ShapeId);
            return;
        }
}

void TEscherDrawing::CheckNoteCells(int maxCol, int maxRow) const {
    for (int i = 0; i < root->Count(); ++i)
        if (const TShapeOutsideMsoNote* note = NoteOf(root->GetShape(i)))
            if (note->Col > uint32_t(maxCol) || note->Row > uint32_t(maxRow))
                throw XLSError("Cell position is outside the sheet");
}

// ---- reading

std::vector<TDrawingIn::TKeptRecord> TEscherDrawing::TakeSkippedRecords() {
    return std::move(skipped);
}

std::vector<std::string> TEscherDrawing::TakeReadWarnings() {
    return std::move(readWarnings);
}

void TEscherDrawing::ReadDrawing(TXLSStream& stream, uint32_t recordLength) {
    TDrawingIn in(stream, recordLength);
    struct KeepSkipped {
        TDrawingIn& in;
        std::vector<TDrawingIn::TKeptRecord>& to;
        ~KeepSkipped() {
            for (auto& r : in.Skipped) to.push_back(std::move(r));
        }
    } keepSkipped{in, skipped};

    TMSOHeader h = in.ReadHeader();
    if (h.Type != mso::DgContainer) throw XLSError("Expected record missing: DGCONTAINER");
    int64_t dgLeft = h.Length;
    highestObjectId = 0;

    h = in.ReadHeader();
    if (h.Type != mso::Dg) throw XLSError("Expected record missing: DG");
    std::vector<uint8_t> dg = in.ReadBody(h.Length);
    if (dg.size() < 8) throw XLSError("Expected record missing: DG");
    dgLeft -= 8 + int64_t(h.Length);
    drawingId = h.Instance;
    nextShapeId = GetU32(dg.data() + 4);

    h = in.ReadHeader();
    dgLeft -= 8;
    if (h.Type == mso::RegroupItems) {
        std::vector<uint8_t> items = in.ReadBody(h.Length);
        dgLeft -= h.Length;
        hasRegroupItems = true;
        for (size_t i = 0; i + 4 <= items.size() && i / 4 < h.Instance; i += 4)
            regroupItems.push_back(GetU32(items.data() + i));
        h = in.ReadHeader();
        dgLeft -= 8;
    }
    if (h.Type != mso::SpgrContainer) throw XLSError("Expected record missing: SPGRCONTAINER");
    int64_t spgrLeft = h.Length;
    dgLeft -= spgrLeft;

    // The root's own container: its group rectangle and its Sp.
    h = in.ReadHeader();
    if (h.Type != mso::SpContainer) throw XLSError("Expected record missing: SPCONTAINER");
    spgrLeft -= 8 + int64_t(h.Length);
    bool haveSpgr = false, haveSp = false;
    for (int64_t left = h.Length; left > 0;) {
        TMSOHeader r = in.ReadHeader();
        left -= 8;
        std::vector<uint8_t> body = r.IsContainer() ? std::vector<uint8_t>{} : in.ReadBody(r.Length);
        if (!r.IsContainer()) left -= r.Length;
        if (r.Type == mso::Spgr && body.size() >= 16 && !haveSpgr) {
            std::copy_n(body.begin(), 16, root->GroupRect.begin());
            haveSpgr = true;
        } else if (r.Type == mso::Sp && body.size() >= 8 && !haveSp) {
            if (!haveSpgr) throw XLSError("Expected record missing: SPGR");
            root->ShapeId = GetU32(body.data());
            root->Flags = GetU32(body.data() + 4);
            root->ShapeType = r.Instance;
            if (!(root->Flags & sfPatriarch)) throw XLSError("SP is not root");
            haveSp = true;
        } else {
            rootKept.Add(r, std::move(body));
        }
        if (left < 0) ShapeLength();
    }
    if (!haveSpgr) throw XLSError("Expected record missing: SPGR");
    if (!haveSp) throw XLSError("Expected record missing: SP");

    ReadGroupChildren(in, *root, spgrLeft, 0);

    // Records after the shapes inside the drawing container.
    while (dgLeft > 0 && (!in.PieceEmpty() || stream.PeekRecordId() == biff::MSODRAWING)) {
        TMSOHeader r = in.ReadHeader();
        dgLeft -= 8;
        std::vector<uint8_t> body;
        if (!r.IsContainer()) {
            body = in.ReadBody(r.Length);
            dgLeft -= r.Length;
        }
        trailing.Add(r, std::move(body));
    }
    if (!in.PieceEmpty()) throw XLSError("Error while reading MSODRAWING. Length <> 0");

    // The next id never falls on one the file uses.
    uint32_t highest = root->ShapeId;
    ForEachShape(*root, [&](TShape& s) { highest = std::max(highest, s.ShapeId); });
    nextShapeId = std::max(nextShapeId, highest + 1);
    auto [id, first] = group.RegisterDrawing(*this);
    drawingId = id;
    if (first) MoveToBlock(first);
}

// A drawing read under another drawing's id got an id and a block of its
// own: its shapes take ids from that block, so that the clusters of the
// group and the drawing's Dg agree and no id is another drawing's. The
// properties and rules that name shapes of the drawing follow.
void TEscherDrawing::MoveToBlock(uint32_t first) {
    std::unordered_map<uint32_t, uint32_t> moved;
    moved.emplace(root->ShapeId, first);
    root->ShapeId = first;
    nextShapeId = first + 1;
    ForEachShape(*root, [&](TShape& s) {
        const uint32_t id = NewShapeId();
        moved.emplace(s.ShapeId, id);
        s.ShapeId = id;
    });
    auto follow = [&](uint32_t& id) {
        if (auto at = moved.find(id); at != moved.end()) id = at->second;
    };
    ForEachShape(*root, [&](TShape& s) {
        for (TOPTItem& item : s.Opt.Items)
            if (!item.IsComplex() && (item.Number() == PropNextInChain || item.Number() == PropMaster))
                follow(item.Value);
    });
    for (auto& r : trailing.Records)
        for (const TShapeRule& rule : ShapeRules)
            if (r.Header.Type == rule.Type)
                for (size_t k = 0; k < rule.Shapes && 8 + 4 * k <= r.Body.size(); ++k) {
                    uint32_t id = GetU32(r.Body.data() + 4 + 4 * k);
                    follow(id);
                    PutU32(r.Body.data() + 4 + 4 * k, id);
                }
}

void TEscherDrawing::ReadGroupChildren(TDrawingIn& in, TShapeGroup& parent, int64_t length, int depth) {
    if (depth > MaxGroupDepth) throw XLSError("Drawing groups nested too deeply");
    const char* groupLength = "Error while reading Shape. Group Length <> 0";
    while (length > 0) {
        TMSOHeader h = in.ReadHeader();
        length -= 8 + int64_t(h.Length);
        if (length < 0) throw XLSError(groupLength);
        std::unique_ptr<TShape> shape;
        int64_t groupLeft = 0;
        if (h.Type == mso::SpgrContainer) {
            groupLeft = h.Length;
            TMSOHeader sp = in.ReadHeader();
            if (sp.Type != mso::SpContainer) throw XLSError("Expected record missing: SPCONTAINER");
            groupLeft -= 8 + int64_t(sp.Length);
            if (groupLeft < 0) throw XLSError(groupLength);
            shape = ReadShapeContainer(in, sp.Length, true);
        } else if (h.Type == mso::SpContainer) {
            shape = ReadShapeContainer(in, h.Length, false);
        } else {
            throw XLSError("Expected record missing: SPCONTAINER");
        }
        TShape& added = parent.Add(std::move(shape));
        if (OnShapeAdded) OnShapeAdded(*this, added);
        if (auto* g = dynamic_cast<TShapeGroup*>(&added); g && h.Type == mso::SpgrContainer)
            ReadGroupChildren(in, *g, groupLeft, depth + 1);
    }
    if (length != 0) throw XLSError(groupLength);
}

std::unique_ptr<TShape> TEscherDrawing::ReadShapeContainer(TDrawingIn& in, uint32_t length, bool asGroup) {
    TXLSStream& stream = in.Stream();
    std::unique_ptr<TShape> shape;
    std::array<uint8_t, 16> groupRect{};
    TMSORecords before; // records ahead of the Sp
    bool clientData = false;
    std::unique_ptr<TShapeOutsideMsoBaseText> earlyText;
    auto need = [&]() -> TShape& {
        if (!shape) throw XLSError("Expected record missing: SP");
        return *shape;
    };
    for (int64_t left = length; left > 0;) {
        TMSOHeader h = in.ReadHeader();
        left -= 8;
        std::vector<uint8_t> body;
        if (h.Type == mso::OPT && !h.IsContainer()) {
            bool stated = true;
            body = ReadPropertyTable(in, h, left, stated);
            if (!stated)
                readWarnings.push_back("shape #" + std::to_string(shape ? shape->ShapeId : 0) +
                                       ": its drawing properties state a length of " +
                                       std::to_string(h.Length) + " bytes where they take " +
                                       std::to_string(body.size()) + "; read as they take");
            h.Length = uint32_t(body.size());
            left -= h.Length;
        } else if (!h.IsContainer()) {
            if (int64_t(h.Length) > left) ShapeLength();
            body = in.ReadBody(h.Length);
            left -= h.Length;
        }
        switch (h.Type) {
        case mso::Spgr:
            if (body.size() < 16) ShapeLength();
            std::copy_n(body.begin(), 16, groupRect.begin());
            break;
        case mso::Sp: {
            if (shape || body.size() < 8) {
                need().Kept.Add(h, std::move(body));
                break;
            }
            const uint32_t flags = GetU32(body.data() + 4);
            if (asGroup || (flags & sfGroup)) {
                std::unique_ptr<TShapeGroup> g;
                if (flags & sfChild)
                    g = std::make_unique<TShapeGroupChildAnchor>(this);
                else
                    g = std::make_unique<TShapeGroupClientAnchor>(this);
                g->GroupRect = groupRect;
                shape = std::move(g);
            } else if (flags & sfChild) {
                shape = std::make_unique<TShapeChildAnchor>();
            } else {
                shape = std::make_unique<TShapeClientAnchor>();
            }
            shape->ShapeId = GetU32(body.data());
            shape->Flags = flags;
            shape->ShapeType = h.Instance;
            shape->Kept = std::move(before);
            shape->HasOpt = false;
            break;
        }
        case mso::OPT:
            // Properties whose data other writers state beyond repair cost
            // only themselves.
            if (!need().Opt.ParseKeeping(body, h.Instance))
                readWarnings.push_back("shape #" + std::to_string(shape->ShapeId) +
                                       ": the data of its drawing properties does not add up; its complex "
                                       "properties (geometry, texts) were left out");
            shape->HasOpt = true;
            break;
        case mso::ChildAnchor:
            if (auto* c = dynamic_cast<TShapeChildAnchor*>(&need()); c && body.size() >= 16)
                std::copy_n(body.begin(), 16, c->Rect.begin());
            else if (auto* g = dynamic_cast<TShapeGroupChildAnchor*>(shape.get()); g && body.size() >= 16)
                std::copy_n(body.begin(), 16, g->Rect.begin());
            else
                throw XLSError("CHILDANCHOR when shape not is ChildAnchor");
            break;
        case mso::ClientAnchor:
            if (TMSOObjCLIENTANCHOR* a = AnchorOf(need()))
                a->Read(body);
            else
                throw XLSError("CLIENTANCHOR when shape not is ClientAnchor");
            break;
        case mso::ClientData: {
            if (h.Length != 0) throw XLSError("Size of CLIENTDATA > 0");
            TShape& s = need();
            if (clientData || !in.PieceEmpty()) throw XLSError("Expected record missing: OBJ");
            clientData = true;
            std::unique_ptr<TShapeOutsideMso> kept =
                ReadObjRecord(s, stream, highestObjectId, {Names, &group, fonts});
            if (kept) {
                kept->ReadFollowing(stream);
                s.Attached = std::move(kept);
            } else {
                s.Attached = CreateAttachedObject(s);
            }
            if (earlyText) {
                if (auto* t = dynamic_cast<TShapeOutsideMsoBaseText*>(s.Attached.get())) {
                    t->Txo = std::move(earlyText->Txo);
                    t->Text = std::move(earlyText->Text);
                    t->Runs = std::move(earlyText->Runs);
                    t->HasTxo = true;
                } else if (!s.Attached) {
                    s.Attached = std::move(earlyText);
                }
            }
            if (TShapeOutsideMsoNote* note = NoteOf(s)) {
                note->WithoutRecord = true;
                notesById[note->ObjectId].push_back(&s);
            }
            break;
        }
        case mso::ClientTextbox: {
            TShape& s = need();
            // Its text is in the TXO right after it.
            if (!in.PieceEmpty() || stream.PeekRecordId() != biff::TXO) {
                s.Kept.Add(h, std::move(body));
                break;
            }
            if (!clientData) {
                earlyText = std::make_unique<TShapeOutsideMsoBaseText>(0, okOther);
                earlyText->ReadText(stream);
                break;
            }
            if (!s.Attached) {
                uint16_t id = uint16_t(std::max(s.ObjectId(), 0));
                s.Attached = std::make_unique<TShapeOutsideMsoBaseText>(id, okOther);
            }
            if (!s.Attached->ReadText(stream)) ShapeLength();
            break;
        }
        default:
            if (shape)
                shape->Kept.Add(h, std::move(body));
            else
                before.Add(h, std::move(body));
        }
    }
    TShape& s = need();
    s.HasClientData = clientData;
    return shape;
}

// ---- writing

void TEscherDrawing::WriteDrawing(TXLSStream& stream) const {
    if (root->Count() == 0) return;
    TDrawingOut out(stream);
    const uint32_t regroup = hasRegroupItems ? 8 + 4 * uint32_t(regroupItems.size()) : 0;
    const uint32_t base = 80 + regroup + rootKept.Size();
    uint32_t children = 0;
    for (int i = 0; i < root->Count(); ++i) children += root->GetShape(i).Size();
    const uint32_t dgLength = base - 8 + children + trailing.Size();

    out.Header(15, 0, mso::DgContainer, dgLength);
    out.Header(0, drawingId, mso::Dg, 8);
    out.U32(uint32_t(root->Count()) + 1);
    out.U32(nextShapeId);
    if (hasRegroupItems) {
        out.Header(0, uint16_t(regroupItems.size()), mso::RegroupItems, 4 * uint32_t(regroupItems.size()));
        for (uint32_t v : regroupItems) out.U32(v);
    }
    out.Header(15, 0, mso::SpgrContainer, dgLength - 24 - regroup - trailing.Size());
    out.Header(15, 0, mso::SpContainer, 40 + rootKept.Size());
    out.Header(1, 0, mso::Spgr, 16);
    out.Bytes(root->GroupRect);
    out.Header(2, uint16_t(root->ShapeType), mso::Sp, 8);
    out.U32(root->ShapeId);
    out.U32(root->Flags);
    std::vector<uint8_t> bytes;
    rootKept.AppendTo(bytes);
    out.Bytes(bytes);
    for (int i = 0; i < root->Count(); ++i) root->GetShape(i).WriteShape(out);
    bytes.clear();
    trailing.AppendTo(bytes);
    out.Bytes(bytes);
    out.Flush();
    if (out.Total() != uint64_t(dgLength) + 8)
        throw XLSError("[int] Drawing size does not match its records");

    for (int i = 0; i < root->Count(); ++i) {
        const TShape& s = root->GetShape(i);
        const TShapeOutsideMsoNote* note = NoteOf(s);
        if (!note || note->WithoutRecord) continue;
        TNoteRecord n;
        n.Row = uint16_t(std::min<uint32_t>(note->Row, 0xFFFF));
        n.Col = uint16_t(std::min<uint32_t>(note->Col, 0xFFFF));
        n.Flags = note->NoteFlags;
        n.ObjectId = uint16_t(std::max(s.ObjectId(), 0));
        n.Author = note->Author;
        std::vector<uint8_t> body = EncodeNote(n);
        stream.WriteRawRecord(biff::NOTE, body.data(), uint16_t(body.size()));
    }
}

} // namespace xls
