#include "SrcXLS/drawing/Shapes.h"

#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"

namespace xls {

TShape::TShape() = default;
TShape::~TShape() = default;

bool TShape::CarriesText() const {
    return Attached && Attached->CarriesText();
}

uint32_t TShape::BaseSize() const {
    // SpContainer header, Sp, OPT, ClientData.
    uint32_t size = 24 + (WritesOpt() ? 8 + Opt.Size() : 0) + (HasClientData ? 8 : 0) + Kept.Size();
    if (CarriesText()) size += 8; // the ClientTextbox header
    return size;
}

uint32_t TShape::Size() const {
    return BaseSize() + AnchorSize();
}

uint32_t TShapeClientAnchor::Size() const {
    return BaseSize() + 26;
}

uint32_t TShapeChildAnchor::Size() const {
    return BaseSize() + 24;
}

void TShape::WriteAnchor(TDrawingOut&) const {}

void TShapeClientAnchor::WriteAnchor(TDrawingOut& out) const {
    Anchor.Write(out);
}

void TShapeChildAnchor::WriteAnchor(TDrawingOut& out) const {
    out.Header(0, 0, mso::ChildAnchor, 16);
    out.Bytes(Rect);
}

void TShapeGroupClientAnchor::WriteAnchor(TDrawingOut& out) const {
    Anchor.Write(out);
}

void TShapeGroupChildAnchor::WriteAnchor(TDrawingOut& out) const {
    out.Header(0, 0, mso::ChildAnchor, 16);
    out.Bytes(Rect);
}

void TShape::WriteOwnRecords(TDrawingOut& out) const {
    out.Header(2, uint16_t(ShapeType), mso::Sp, 8);
    out.U32(ShapeId);
    out.U32(Flags);
    if (WritesOpt()) {
        std::vector<uint8_t> opt;
        Opt.AppendBody(opt);
        out.Header(3, Opt.Count, mso::OPT, uint32_t(opt.size()));
        out.Bytes(opt);
    }
    std::vector<uint8_t> kept;
    Kept.AppendTo(kept);
    out.Bytes(kept);
    WriteAnchor(out);
    if (HasClientData) out.Header(0, 0, mso::ClientData, 0);
}

void TShape::WriteObj(TDrawingOut& out) const {
    if (!HasClientData) return;
    if (Attached && Attached->WritesOwnObj) {
        Attached->Write(out);
        return;
    }
    WriteObjRecord(*this, out.Biff());
    if (Attached) Attached->Write(out);
}

void TShape::WriteShape(TDrawingOut& out) const {
    out.Header(15, 0, mso::SpContainer, Size() - 8);
    WriteOwnRecords(out);
    WriteObj(out);
}

void TShape::Assign(TShape& dest) const {
    dest.ShapeId = 0;
    dest.ShapeType = ShapeType;
    dest.Flags = Flags;
    dest.Opt = Opt;
    dest.Kept = Kept;
    dest.ObjSubRecords = ObjSubRecords;
    dest.ObjTail = ObjTail;
    dest.HasClientData = HasClientData;
    dest.HasOpt = HasOpt;
    dest.Attached = Attached ? Attached->Copy() : nullptr;
}

void TShapeClientAnchor::Assign(TShape& dest) const {
    TShape::Assign(dest);
    if (auto* d = dynamic_cast<TShapeClientAnchor*>(&dest)) {
        d->Anchor.Assign(Anchor);
        d->Shown = Shown;
    }
}

void TShapeChildAnchor::Assign(TShape& dest) const {
    TShape::Assign(dest);
    if (auto* d = dynamic_cast<TShapeChildAnchor*>(&dest)) d->Rect = Rect;
}

std::vector<uint8_t>* TShape::Cmo() {
    // Object type, object id and flags: a shorter body is no ftCmo.
    for (auto& s : ObjSubRecords)
        if (s.Ft == ft::Cmo && s.Body.size() >= 6) return &s.Body;
    return nullptr;
}

const std::vector<uint8_t>* TShape::Cmo() const {
    return const_cast<TShape*>(this)->Cmo();
}

int TShape::ObjectType() const {
    if (const auto* cmo = Cmo()) return GetU16(cmo->data());
    return Attached ? Attached->ObjectType() : -1;
}

int TShape::ObjectId() const {
    if (const auto* cmo = Cmo()) return GetU16(cmo->data() + 2);
    return Attached ? int(Attached->ObjectId) : -1;
}

void TShape::SetObjectId(uint16_t id) {
    if (auto* cmo = Cmo()) PutU16(cmo->data() + 2, id);
    if (Attached) Attached->SetObjectId(id);
}

void TShape::SetShapeType(uint32_t type) {
    ShapeType = type;
    int objectType = type == shapetype::Rectangle            ? objtype::Rectangle
                     : type == shapetype::Ellipse            ? objtype::Oval
                     : type == 13 || type == shapetype::Line ? objtype::Line
                                                             : -1;
    if (objectType < 0) return;
    if (auto* cmo = Cmo()) PutU16(cmo->data(), uint16_t(objectType));
}

void TShape::RenewTextId(uint32_t textId) {
    Opt.SetValue(128, textId);
}

// ---- groups

TShape& TShapeGroup::GetShape(int index) const {
    if (index < 0 || index >= Count())
        throw XLSError("List index out of bounds (" + std::to_string(index) + ")");
    return *children[size_t(index)];
}

TShape& TShapeGroup::Add(std::unique_ptr<TShape> shape) {
    children.push_back(std::move(shape));
    return *children.back();
}

void TShapeGroup::Delete(int index) {
    GetShape(index);
    children.erase(children.begin() + index);
}

void TShapeGroup::DeleteAll(const std::unordered_set<const TShape*>& shapes) {
    std::erase_if(children, [&](const std::unique_ptr<TShape>& c) { return shapes.count(c.get()) > 0; });
}

int TShapeGroup::IndexOfId(uint32_t shapeId) const {
    for (size_t i = 0; i < children.size(); ++i)
        if (children[i]->ShapeId == shapeId) return int(i);
    return -1;
}

bool TShapeGroup::DeleteById(uint32_t shapeId) {
    int i = IndexOfId(shapeId);
    if (i < 0) return false;
    Delete(i);
    return true;
}

uint32_t TShapeGroup::Size() const {
    uint32_t size = OwnSize();
    for (const auto& c : children) size += c->Size();
    return size;
}

uint32_t TShapeGroupClientAnchor::OwnSize() const {
    return BaseSize() + 58;
}

uint32_t TShapeGroupChildAnchor::OwnSize() const {
    return BaseSize() + 56;
}

void TShapeGroup::WriteShape(TDrawingOut& out) const {
    out.Header(15, 0, mso::SpgrContainer, Size() - 8);
    out.Header(15, 0, mso::SpContainer, OwnSize() - 16);
    out.Header(1, 0, mso::Spgr, 16);
    out.Bytes(GroupRect);
    WriteOwnRecords(out);
    WriteObj(out);
    for (const auto& c : children) c->WriteShape(out);
}

std::unique_ptr<TShape> NewShapeLike(const TShape& source, TEscherDrawing* drawing) {
    if (dynamic_cast<const TShapeGroupClientAnchor*>(&source))
        return std::make_unique<TShapeGroupClientAnchor>(drawing);
    if (dynamic_cast<const TShapeGroupChildAnchor*>(&source))
        return std::make_unique<TShapeGroupChildAnchor>(drawing);
    if (dynamic_cast<const TShapeClientAnchor*>(&source)) return std::make_unique<TShapeClientAnchor>();
    if (dynamic_cast<const TShapeChildAnchor*>(&source)) return std::make_unique<TShapeChildAnchor>();
    throw XLSError("Dont know how to Copy this shape");
}

void TShapeGroup::Assign(TShape& dest) const {
    TShape::Assign(dest);
    auto* d = dynamic_cast<TShapeGroup*>(&dest);
    if (!d) return;
    d->GroupRect = GroupRect;
    d->children.clear();
    for (const auto& c : children) {
        if (dynamic_cast<const TShapeClientAnchor*>(c.get())) throw XLSError("ClientAnchor in ShapeGroup");
        std::unique_ptr<TShape> copy = NewShapeLike(*c, d->drawing);
        c->Assign(*copy);
        if (d->drawing) {
            copy->ShapeId = d->drawing->NewShapeId();
            copy->RenewTextId(d->drawing->NewTextId());
        }
        d->children.push_back(std::move(copy));
    }
}

void TShapeGroupClientAnchor::Assign(TShape& dest) const {
    TShapeGroup::Assign(dest);
    if (auto* d = dynamic_cast<TShapeGroupClientAnchor*>(&dest)) d->Anchor.Assign(Anchor);
}

void TShapeGroupChildAnchor::Assign(TShape& dest) const {
    TShapeGroup::Assign(dest);
    if (auto* d = dynamic_cast<TShapeGroupChildAnchor*>(&dest)) d->Rect = Rect;
}

} // namespace xls
