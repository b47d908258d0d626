// The drawing of one sheet: its root group of shapes, the shape and object
// ids it hands out, the creators of the shapes a program adds, the sheet
// editing operations that carry shapes along with cells, and the reading
// and writing of the sheet's MSODRAWING, OBJ, TXO and NOTE records.
#pragma once

#include "SrcXLS/drawing/Shapes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace xls {

class TEscherGroup;
class TMSOPictures;
class TShapeOutsideMsoNote;
class TShapeOutsideMsoBaseText;
class TXFonts;
struct TDrawingNames;

class TEscherDrawing {
public:
    using TShapeAdded = std::function<void(TEscherDrawing& drawing, TShape& shape)>;
    // A random number below 65535 plus the tick count: the text ids of new shapes.
    using TTextIdSource = std::function<uint32_t()>;

    TEscherDrawing(TEscherGroup& group, TXFonts* fonts);
    ~TEscherDrawing();
    TEscherDrawing(const TEscherDrawing&) = delete;
    TEscherDrawing& operator=(const TEscherDrawing&) = delete;

    // Removes every shape and gives the drawing id back to the group.
    void Clear();
    TEscherGroup& Group() const { return group; }
    TShapeGroupClientAnchor& Root() { return *root; }
    const TShapeGroupClientAnchor& Root() const { return *root; }
    int ShapeCount() const { return root->Count(); }
    TShape& Shape(int index) const { return root->GetShape(index); }
    uint16_t DrawingId() const { return drawingId; }
    uint32_t NextFreeShapeId() const { return nextShapeId; }
    uint16_t HighestObjectId() const { return highestObjectId; }

    void EnsureRegistered();
    uint32_t NewShapeId();
    uint16_t NewObjectId();
    uint32_t NewTextId();
    TTextIdSource TextIdSource;
    TShapeAdded OnShapeAdded;
    // Told before a root shape is removed (deleted, or with the whole drawing).
    std::function<void(TShape& shape)> OnShapeDeleting;
    // The workbook's defined names, for the macros of controls.
    const TDrawingNames* Names = nullptr;

    // Shape creators: each returns the new shape, added to the root group.
    TShapeClientAnchor& AddTextBox();
    TShapeClientAnchor& AddBasicShape();
    TShapeClientAnchor& AddNote();
    TShapeClientAnchor& AddAutoShape();
    TShapeClientAnchor& AddPicture();
    TShapeClientAnchor& AddListBox();
    TShapeClientAnchor& AddComboBox();
    TShapeClientAnchor& AddAutofilterComboBox();
    TShapeClientAnchor& AddButton();
    TShapeClientAnchor& AddCheckBox();
    TShapeClientAnchor& AddRadioButton();
    // A chart with an empty record tree.
    TShapeClientAnchor& AddChart();

    // Removes the root shape with that id (nothing when absent).
    void DeleteShape(uint32_t shapeId);

    // Sheet editing on root shapes by the top-left cell of their anchor
    // (for a note its cell).
    void MoveShape(int index, int col, int row);
    void CopyShape(int index, int col, int row);
    void GetShapesInArea(std::vector<TShape*>& list, int col1, int row1, int col2, int row2) const;
    void CopyShapesInArea(int col1, int row1, int col2, int row2, int destCol, int destRow);
    void MoveShapesInArea(int col1, int row1, int col2, int row2, int destCol, int destRow);
    // Copies of shapes of another sheet, appended and moved by the deltas.
    void CopyShapesFrom(const std::vector<TShape*>& list, int deltaCol = 0, int deltaRow = 0);
    void DeleteShapes(const std::vector<TShape*>& list);
    // Raises when a shape of the list cannot be copied, before anything changes.
    static void CheckCopyable(const std::vector<TShape*>& list);

    // The stream stands after the sheet's first MSODRAWING header.
    void ReadDrawing(TXLSStream& stream, uint32_t recordLength);
    // IMDATA records met inside the drawing, to be kept with the sheet.
    std::vector<TDrawingIn::TKeptRecord> TakeSkippedRecords();
    // What the last read left out of the drawing, one line of English each.
    std::vector<std::string> TakeReadWarnings();
    void WriteDrawing(TXLSStream& stream) const;
    // Before a write: raises "Cell position is outside the sheet" when a
    // note's cell lies beyond the last column or row of the version.
    void CheckNoteCells(int maxCol, int maxRow) const;
    // A NOTE record read from the file finds its shape; false when no
    // note shape of that object id is left to bind.
    bool BindNote(int col, int row, std::u16string_view author, uint16_t objectId, uint16_t flags);
    // A NOTE record read from the file that names no cell of the sheet:
    // the note shape it would bind goes (a note inside a group stays, as
    // notes without their record do).
    void DropNote(uint16_t objectId);

    // After a read: the positions in the file of the pictures the shapes
    // refer to.
    void ListBlipRefs(std::set<int>& used) const;
    // After a read: picture references from positions in the file to
    // positions in the picture store. A reference to no picture the store
    // holds becomes 0 (none); the references so dropped are answered.
    std::vector<uint32_t> RemapBlipIds(const std::vector<int>& fileBlipIds);
    // Before a write: the pictures the shapes use get a reference count.
    void MarkUsedPictures(TMSOPictures& pictures) const;
    // A defined name at position went: the macros of every shape and
    // control, grouped ones included, follow.
    void NameDeleted(int position);
    // A sheet of the workbook deleted: the linked cells and source ranges
    // of the controls, grouped ones included, go through follow, which
    // rewrites tokens in place and answers whether it changed them.
    void SheetDeleted(const std::function<bool(std::span<uint8_t> tokens)>& follow);

    // The note of a root shape, nullptr when it has none.
    static TShapeOutsideMsoNote* NoteOf(const TShape& shape);
    // The top-left cell of a root shape; false for shapes not placed by cells.
    static bool TopLeft(const TShape& shape, int& col, int& row);

private:
    TShapeClientAnchor& NewShape(uint32_t type, int col1, int row1, int col2, int row2);
    void AfterDelete();
    void Place(TShape& shape, int col, int row);
    std::unique_ptr<TShape> CopyOf(const TShape& source);

    std::unique_ptr<TShape> ReadShapeContainer(TDrawingIn& in, uint32_t length, bool asGroup);
    void ReadGroupChildren(TDrawingIn& in, TShapeGroup& group, int64_t length, int depth);
    // The shapes of a drawing read take ids from the block that starts at first.
    void MoveToBlock(uint32_t first);

    TEscherGroup& group;
    TXFonts* fonts;
    std::unique_ptr<TShapeGroupClientAnchor> root;
    uint16_t drawingId = 0;
    uint32_t nextShapeId = 0;
    uint16_t highestObjectId = 0;
    std::vector<uint32_t> regroupItems;
    bool hasRegroupItems = false;
    // Records of the root's own container beyond Spgr and Sp.
    TMSORecords rootKept;
    // Records after the shapes inside the drawing container.
    TMSORecords trailing;
    std::vector<TDrawingIn::TKeptRecord> skipped;
    std::vector<std::string> readWarnings;
    // Notes by object id in file order, for the NOTE records of a file.
    std::unordered_map<uint16_t, std::vector<TShape*>> notesById;
};

} // namespace xls
