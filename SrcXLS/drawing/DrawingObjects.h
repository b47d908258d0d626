// The drawing objects of a sheet as a program adds and edits them: text
// boxes, notes, basic shapes, auto shapes and pictures (TDrawingObjects),
// and list boxes, combo boxes, buttons, check boxes and radio buttons
// (TControlObjects). Each item stands for one shape of the sheet's drawing
// and publishes its anchor and its kind's settings; adding an item makes
// its shape, and shapes read from a file get items bound to them.
#pragma once

#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/FormControls.h"
#include "SrcXLS/drawing/ShapeAnchors.h"
#include "SrcXLS/model/Collection.h"

#include <functional>
#include <memory>
#include <string>

namespace xls {

class TMSOPictures;

// What the items of a sheet need: its drawing, the workbook's names and
// pictures.
struct TDrawingContext {
    TEscherDrawing* Drawing = nullptr;
    const TDrawingNames* Names = nullptr;
    TMSOPictures* Pictures = nullptr;
};

class TDrwCustom : public TDrwAnchor {
public:
    // Appends a defined name marked as a VBA macro and makes the shape run
    // it when clicked.
    virtual void AssignMacro(std::u16string_view name);
    const TDrawingContext* Context = nullptr;
};

class TCustomDrwText : public TDrwCustom {
public:
    std::u16string GetText() const;
    // A text of 32768 characters or more keeps its first 32767.
    void SetText(std::u16string_view text);
    // Properties 129-132 in centimetres (EMU / 360000); a margin the shape
    // lacks reads as the format's default and is added when set.
    double GetMarginLeft() const { return Margin(129); }
    void SetMarginLeft(double cm) { SetMargin(129, cm); }
    double GetMarginTop() const { return Margin(130); }
    void SetMarginTop(double cm) { SetMargin(130, cm); }
    double GetMarginRight() const { return Margin(131); }
    void SetMarginRight(double cm) { SetMargin(131, cm); }
    double GetMarginBottom() const { return Margin(132); }
    void SetMarginBottom(double cm) { SetMargin(132, cm); }

protected:
    TShapeOutsideMsoBaseText& TextObject() const;
    double Margin(int property) const;
    void SetMargin(int property, double cm);
};

class TDrwText : public TCustomDrwText {};

class TDrwNote : public TCustomDrwText {
public:
    int GetCellCol() const;
    void SetCellCol(int col);
    int GetCellRow() const;
    void SetCellRow(int row);
    std::u16string GetAuthor() const;
    void SetAuthor(std::u16string_view author);
    bool GetAlwaysVisible() const;
    void SetAlwaysVisible(bool on);
    // Raises "Notes can not have macros assigned".
    void AssignMacro(std::u16string_view name) override;

private:
    TShapeOutsideMsoNote& Note() const;
};

enum class TBasicShapeType : uint8_t { bstLine, bstArrow, bstEllipse, bstRectangle };

class TDrwBasic : public TDrwCustom {
public:
    TBasicShapeType GetShapeType() const;
    void SetShapeType(TBasicShapeType type);
};

enum class TAutoShapeType : uint8_t {
    astSun,
    astMoon,
    astLeftArrow,
    astDownArrow,
    astUpArrow,
    astLeftRightArrow,
    astUpDownArrow,
    astQuadArrow,
    astLeftArrowCallout,
    astRightArrowCallout,
    astUpArrowCallout,
    astDownArrowCallout,
    astLeftRightArrowCallout,
    astUpDownArrowCallout,
    astQuadArrowCallout,
};

class TDrwAutoShape : public TDrwCustom {
public:
    TAutoShapeType GetShapeType() const;
    void SetShapeType(TAutoShapeType type);
    uint32_t GetLineColor() const;
    void SetLineColor(uint32_t color);
    uint32_t GetFillColor() const;
    void SetFillColor(uint32_t color);
};

class TDrwPicture : public TDrwCustom {
public:
    int GetPictureId() const;
    // 1-based position in the workbook's pictures, 0 none: "Picture Id out
    // of range." outside them.
    void SetPictureId(int id);
    std::u16string GetPictureName() const;
    // "Can not find picture: " + name when no picture has it.
    void SetPictureName(std::u16string_view name);
};

class TControlListBox : public TDrwAnchor {
public:
    const TDrawingContext* Context = nullptr;
    // The list's source range as absolute A1 text ("$A$1:$A$5").
    std::u16string GetSourceArea() const;
    // An area text, a sheet part before "!" skipped; else "Invalid area reference".
    void SetSourceArea(std::u16string_view text);
    // The linked cell as absolute A1 text.
    std::u16string GetDestCell() const;
    // "Invalid cell reference" for a text that is not a cell.
    void SetDestCell(std::u16string_view text);

protected:
    TShapeControlListBox& Control() const;
};

class TControlComboBox : public TControlListBox {};

class TControlText : public TDrwAnchor {
public:
    const TDrawingContext* Context = nullptr;
    std::u16string GetText() const;
    void SetText(std::u16string_view text);

protected:
    TShapeOutsideMsoBaseTextMacro& Control() const;
};

class TControlTextMacro : public TControlText {
public:
    std::u16string GetMacroName() const;
    // Appends the name as a macro name, then finds it for the control.
    void SetMacroName(std::u16string_view name);
};

class TControlButton : public TControlTextMacro {};
class TControlCheckBox : public TControlTextMacro {};
class TControlRadioButton : public TControlTextMacro {};

// A collection of items of one kind, each bound to a root shape of the
// sheet's drawing.
template <class Item> class TDrwCollection : public TCollection<Item> {
public:
    using TCreator = std::function<TShapeClientAnchor&(TEscherDrawing&)>;
    TDrwCollection(const TDrawingContext& context, std::u16string prefix, TCreator creator)
        : context(context), prefix(std::move(prefix)), creator(std::move(creator)) {}

    // A new item with a new shape.
    Item& Add();
    // An item for a shape read from a file.
    Item& AddShape(TShapeClientAnchor& shape);
    // Deletes the items' shapes from the drawing, then the items.
    void Clear();
    // Deletes the item's shape, then the item.
    void Delete(int index);
    Item* FindByShape(const TShape& shape) const;
    // The item of a shape the drawing removes goes with it.
    void Forget(const TShape& shape);

protected:
    virtual std::u16string Prefix() const { return prefix; }
    virtual TShapeClientAnchor& CreateShape() { return creator(*context.Drawing); }
    Item& Bind(TShapeClientAnchor& shape);
    const TDrawingContext& context;
    std::u16string prefix;
    TCreator creator;
    bool loading = false;
};

class TControlComboBoxes : public TDrwCollection<TControlComboBox> {
public:
    explicit TControlComboBoxes(const TDrawingContext& context);
    // Items added while set are autofilter drop-downs.
    bool Autofilter = false;
    // Deletes the item with that collection ID, with its shape; nothing
    // when there is none.
    void DeleteById(int id);

protected:
    std::u16string Prefix() const override;
    TShapeClientAnchor& CreateShape() override;
};

class TDrawingObjects {
public:
    explicit TDrawingObjects(const TDrawingContext& context);
    TDrwCollection<TDrwText> Texts;
    TDrwCollection<TDrwNote> Notes;
    TDrwCollection<TDrwBasic> Basics;
    TDrwCollection<TDrwAutoShape> AutoShapes;
    TDrwCollection<TDrwPicture> Pictures;
    void Clear();
    // Gives a shape read from a file an item of its kind; false for kinds
    // these collections do not hold.
    bool Bind(TShape& shape);
    void Forget(const TShape& shape);
};

class TControlObjects {
public:
    explicit TControlObjects(const TDrawingContext& context);
    TDrwCollection<TControlListBox> ListBoxes;
    TControlComboBoxes ComboBoxes;
    TDrwCollection<TControlButton> Buttons;
    TDrwCollection<TControlCheckBox> CheckBoxes;
    TDrwCollection<TControlRadioButton> RadioButtons;
    void Clear();
    bool Bind(TShape& shape);
    void Forget(const TShape& shape);
    // A defined name was deleted: the macros of the drawing's controls and
    // shapes follow.
    void NameDeleted(int position);

private:
    TEscherDrawing& drawing;
};

} // namespace xls
