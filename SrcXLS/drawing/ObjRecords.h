// What a sheet's shapes carry besides their drawing records: the OBJ record
// of sub-records after each shape's ClientData, the object attached to a
// shape by its OBJ object type (a text with its TXO record, a cell note with
// its NOTE record, or a control or chart kept as read), and the NOTE record.
#pragma once

#include "SrcXLS/drawing/EscherRecords.h"
#include "SrcXLS/drawing/Shapes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xls {

class TXFont;
class TXFonts;

// Kind codes of attached objects.
enum TOutsideKind : uint8_t {
    okOther = 0,
    okLabel = 1,
    okButton = 2,
    okListBox = 3,
    okCheckBox = 4,
    okComboBox = 5,
    okRadioButton = 6,
    okGroupBox = 7,
    okScrollBar = 8,
    okTextBox = 9,
    okAutoShapeText = 10,
    okNote = 11,
    okChart = 12,
};

// OBJ object types (ftCmo).
namespace objtype {
constexpr int Line = 1;
constexpr int Rectangle = 2;
constexpr int Oval = 3;
constexpr int Chart = 5;
constexpr int Text = 6;
constexpr int Button = 7;
constexpr int Picture = 8;
constexpr int CheckBox = 11;
constexpr int RadioButton = 12;
constexpr int Label = 14;
constexpr int ScrollBar = 17;
constexpr int ListBox = 18;
constexpr int GroupBox = 19;
constexpr int ComboBox = 20;
constexpr int Note = 25;
constexpr int AutoShape = 30;
} // namespace objtype

class TShapeOutsideMso {
public:
    explicit TShapeOutsideMso(uint8_t kind) : Kind(kind) {}
    virtual ~TShapeOutsideMso() = default;

    // True for objects that write the shape's whole OBJ record themselves.
    bool WritesOwnObj = false;
    uint16_t ObjectId = 0;
    uint16_t CmoFlags = 0;
    uint8_t Kind;

    // fUIObj: an object of the sheet's own user interface, such as an
    // autofilter's drop-down.
    bool IsUIObject() const { return (CmoFlags & 0x0100) != 0; }

    // A copy for a copied shape; raises "Can not assign this interface"
    // for objects that cannot be copied.
    virtual std::unique_ptr<TShapeOutsideMso> Copy() const;
    // Reads the records that follow the OBJ (a chart's substream).
    virtual void ReadFollowing(TXLSStream& stream);
    // Reads the TXO and its CONTINUEs after the shape's ClientTextbox;
    // false when this object takes no text.
    virtual bool ReadText(TXLSStream& stream);
    // Writes what follows the OBJ, or the OBJ itself for objects that
    // write their own.
    virtual void Write(TDrawingOut& out) const;
    virtual bool CarriesText() const { return false; }
    // The object type of an object that writes its own OBJ, else -1.
    virtual int ObjectType() const { return -1; }
    virtual void SetObjectId(uint16_t id) { ObjectId = id; }
};

// One formatting run of a TXO: first character, font index, reserved.
struct TTXORun {
    uint16_t FirstChar = 0;
    uint16_t Font = 0;
    uint32_t Reserved = 0;
    bool operator==(const TTXORun&) const = default;
};

class TShapeOutsideMsoBaseText : public TShapeOutsideMso {
public:
    explicit TShapeOutsideMsoBaseText(uint16_t objectId, uint8_t kind);
    ~TShapeOutsideMsoBaseText() override;

    // The TXO body: 18 bytes and the formula (its length in the u16 at 16).
    std::vector<uint8_t> Txo;
    std::u16string Text;
    std::vector<TTXORun> Runs;
    // False for an object made for a shape that has a text id but no text
    // records: it writes none either.
    bool HasTxo = false;

    // Options 0x0212, no text, two empty runs.
    void SetDefaultText();
    // Texts of a TXO hold at most 65535 characters; longer ones are cut.
    void SetText(std::u16string_view text);
    // The first run takes this pool font, wherever deletions of other
    // fonts move it; the text holds a use of it.
    void HoldRunFont(TXFonts& pool, TXFont& font);

    std::unique_ptr<TShapeOutsideMso> Copy() const override;
    bool ReadText(TXLSStream& stream) override;
    void Write(TDrawingOut& out) const override;
    bool CarriesText() const override { return HasTxo; }

protected:
    void CopyTextTo(TShapeOutsideMsoBaseText& dest) const;

private:
    TXFonts* fontPool = nullptr;
    TXFont* runFont = nullptr;
};

class TShapeOutsideMsoNote : public TShapeOutsideMsoBaseText {
public:
    explicit TShapeOutsideMsoNote(uint16_t objectId) : TShapeOutsideMsoBaseText(objectId, okNote) {}

    uint32_t Col = 0;
    uint32_t Row = 0;
    // 0x0002: always shown.
    uint16_t NoteFlags = 0;
    std::u16string Author;
    // Set once a NOTE record of the file found this shape.
    bool Bound = false;
    // Read from a file and no NOTE record found it (yet): written back
    // without one, so that a note no other reader showed does not appear,
    // until the program gives it a cell.
    bool WithoutRecord = false;

    std::unique_ptr<TShapeOutsideMso> Copy() const override;
};

// An embedded chart as read: its OBJ body and its substream, written back
// as they came.
class TShapeOutsideMsoKept : public TShapeOutsideMso {
public:
    TShapeOutsideMsoKept(int objectType, std::vector<uint8_t> objBody);

    std::vector<uint8_t> ObjBody;
    std::unique_ptr<TShapeOutsideMsoBaseText> Caption;
    std::vector<TDrawingIn::TKeptRecord> Following;

    void ReadFollowing(TXLSStream& stream) override;
    bool ReadText(TXLSStream& stream) override;
    void Write(TDrawingOut& out) const override;
    bool CarriesText() const override { return Caption != nullptr; }
    int ObjectType() const override { return objectType; }
    void SetObjectId(uint16_t id) override;

private:
    int objectType;
};

struct TDrawingNames;
class TEscherGroup;

// What the objects of a drawing's shapes are made with.
struct TObjContext {
    const TDrawingNames* Names = nullptr;
    // For embedded charts (kept as read without them).
    TEscherGroup* Group = nullptr;
    TXFonts* Fonts = nullptr;
};

// Reads the OBJ record that follows a shape's ClientData into the shape's
// sub-records, or into the object that takes them (a control, or a chart
// kept as read), which it returns; raises the drawing's highest object id
// to the ftCmo's.
std::unique_ptr<TShapeOutsideMso> ReadObjRecord(TShape& shape, TXLSStream& stream, uint16_t& highestObjectId,
                                                const TObjContext& context = {});
// The object attached to a shape by its OBJ object type (none for shapes
// without text).
std::unique_ptr<TShapeOutsideMso> CreateAttachedObject(const TShape& shape);
// Writes the OBJ record from the shape's sub-records.
void WriteObjRecord(const TShape& shape, TXLSStream& stream);
// ftCmo body: object type, object id, flags, 12 reserved bytes.
std::vector<uint8_t> CmoBody(uint16_t objectType, uint16_t objectId, uint16_t flags);

// The NOTE record of a BIFF8 sheet.
struct TNoteRecord {
    uint16_t Row = 0;
    uint16_t Col = 0;
    uint16_t Flags = 0;
    uint16_t ObjectId = 0;
    std::u16string Author;
    bool AuthorCut = false; // the record ends inside the author
};
TNoteRecord DecodeNote(std::span<const uint8_t> body);
std::vector<uint8_t> EncodeNote(const TNoteRecord& note);

// A note of a BIFF2-BIFF5 file: a NOTE record with the cell and the length
// of the text, which goes on in NOTE records of row 0xFFFF.
struct TOldNote {
    uint16_t Row = 0;
    uint16_t Col = 0;
    std::u16string Text;
};
// Adds the note of a record, or the rest of the text of the note before it.
void AddOldNote(std::vector<TOldNote>& notes, std::span<const uint8_t> body, int codePage);

} // namespace xls
