// The shapes of a sheet drawing: a shape with its property table, the
// records kept from the file, its OBJ sub-records and the object attached
// to it (text, note, control, chart), placed by a client anchor (top level)
// or a child anchor (inside a group); groups hold further shapes.
#pragma once

#include "SrcXLS/drawing/EscherRecords.h"
#include "SrcXLS/drawing/ShapeAnchors.h"

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

namespace xls {

class TEscherDrawing;
class TShapeOutsideMso;

// Shape types the library creates.
namespace shapetype {
constexpr uint32_t Rectangle = 1;
constexpr uint32_t Ellipse = 3;
constexpr uint32_t Line = 20;
constexpr uint32_t PictureFrame = 75;
constexpr uint32_t Sun = 183;
constexpr uint32_t HostControl = 201;
constexpr uint32_t TextBox = 202;
} // namespace shapetype

// One OBJ sub-record: u16 ft, u16 cb, body.
struct TObjSubRecord {
    uint16_t Ft = 0;
    std::vector<uint8_t> Body;
    // The cb as read, where the body's length is not it (ftLbsData).
    uint16_t Cb = 0;
};

namespace ft {
constexpr uint16_t End = 0x00;
constexpr uint16_t Macro = 0x04;
constexpr uint16_t Cf = 0x07;
constexpr uint16_t PioGrbit = 0x08;
constexpr uint16_t Nts = 0x0D;
constexpr uint16_t LbsData = 0x13;
constexpr uint16_t Cmo = 0x15;
} // namespace ft

class TShape {
public:
    TShape();
    virtual ~TShape();
    TShape(const TShape&) = delete;
    TShape& operator=(const TShape&) = delete;

    uint32_t ShapeId = 0;
    uint32_t ShapeType = 0;
    uint32_t Flags = 0;
    TOPT Opt;
    // Records of the shape's container that nothing here reads.
    TMSORecords Kept;
    std::vector<TObjSubRecord> ObjSubRecords;
    // Bytes after the OBJ's ftEnd, as read.
    std::vector<uint8_t> ObjTail;
    // False for a shape read without ClientData: it has no OBJ either.
    bool HasClientData = true;
    // False for a shape read without a property table (none is written
    // while it stays empty).
    bool HasOpt = true;
    std::unique_ptr<TShapeOutsideMso> Attached;

    // Bytes the shape's records take inside the drawing (its OBJ and TXO
    // BIFF records not counted).
    virtual uint32_t Size() const;
    virtual void WriteShape(TDrawingOut& out) const;
    // Copies this shape into dest (which gets shape id 0).
    virtual void Assign(TShape& dest) const;

    // Keeps the ftCmo object type in step with line, rectangle and oval types.
    void SetShapeType(uint32_t type);
    // The ftCmo sub-record's body, nullptr when none.
    std::vector<uint8_t>* Cmo();
    const std::vector<uint8_t>* Cmo() const;
    // Object type and id of the ftCmo, or of the attached object that
    // writes its own OBJ; -1 when none.
    int ObjectType() const;
    int ObjectId() const;
    void SetObjectId(uint16_t id);
    bool CarriesText() const;
    bool WritesOpt() const { return HasOpt || !Opt.Items.empty(); }
    // A new random text id into property 128, when the shape has one.
    void RenewTextId(uint32_t textId);

protected:
    // The records from Sp to ClientData (without the container header).
    void WriteOwnRecords(TDrawingOut& out) const;
    virtual void WriteAnchor(TDrawingOut& out) const;
    // Size of the anchor record (0 when none).
    virtual uint32_t AnchorSize() const { return 0; }
    // The OBJ record and what the attached object writes after it.
    void WriteObj(TDrawingOut& out) const;
    uint32_t BaseSize() const;
};

class TShapeClientAnchor : public TShape {
public:
    bool Shown = true;
    TMSOObjCLIENTANCHOR Anchor;

    uint32_t Size() const override;
    void Assign(TShape& dest) const override;

protected:
    void WriteAnchor(TDrawingOut& out) const override;
    uint32_t AnchorSize() const override { return 26; }
};

class TShapeChildAnchor : public TShape {
public:
    std::array<uint8_t, 16> Rect{};

    uint32_t Size() const override;
    void Assign(TShape& dest) const override;

protected:
    void WriteAnchor(TDrawingOut& out) const override;
    uint32_t AnchorSize() const override { return 24; }
};

class TShapeGroup : public TShape {
public:
    explicit TShapeGroup(TEscherDrawing* drawing) : drawing(drawing) {}

    std::array<uint8_t, 16> GroupRect{};

    int Count() const { return int(children.size()); }
    TShape& GetShape(int index) const;
    TShape& Add(std::unique_ptr<TShape> shape);
    void Delete(int index);
    // Removes the child with that shape id; false when there is none.
    bool DeleteById(uint32_t shapeId);
    // Index of the child with that shape id, -1 when none.
    int IndexOfId(uint32_t shapeId) const;
    void ClearShapes() { children.clear(); }
    // Removes every child in the set, in one pass.
    void DeleteAll(const std::unordered_set<const TShape*>& shapes);
    TEscherDrawing* Drawing() const { return drawing; }

    // Bytes of the group's own records, up to its OBJ.
    virtual uint32_t OwnSize() const = 0;
    uint32_t Size() const override;
    void WriteShape(TDrawingOut& out) const override;
    void Assign(TShape& dest) const override;

protected:
    TEscherDrawing* drawing;
    std::vector<std::unique_ptr<TShape>> children;
};

class TShapeGroupClientAnchor : public TShapeGroup {
public:
    using TShapeGroup::TShapeGroup;
    TMSOObjCLIENTANCHOR Anchor;

    uint32_t OwnSize() const override;
    void Assign(TShape& dest) const override;

protected:
    void WriteAnchor(TDrawingOut& out) const override;
    uint32_t AnchorSize() const override { return 26; }
};

class TShapeGroupChildAnchor : public TShapeGroup {
public:
    using TShapeGroup::TShapeGroup;
    std::array<uint8_t, 16> Rect{};

    uint32_t OwnSize() const override;
    void Assign(TShape& dest) const override;

protected:
    void WriteAnchor(TDrawingOut& out) const override;
    uint32_t AnchorSize() const override { return 24; }
};

// A new shape of the same class as source (a group for the drawing);
// raises "Dont know how to Copy this shape" for any other class.
std::unique_ptr<TShape> NewShapeLike(const TShape& source, TEscherDrawing* drawing);

} // namespace xls
