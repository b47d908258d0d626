// Form controls: push buttons, check boxes, radio buttons, list boxes, combo
// boxes (the drop-down arrows of an autofilter among them) and scroll bars.
// Each is the object of a shape of type 201 that keeps the control's
// settings and writes the shape's whole OBJ record itself; controls with a
// caption write their text like a text box.
#pragma once

#include "SrcXLS/drawing/ObjRecords.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace xls {

// What controls need of the workbook's defined names (the component
// provides it): a name's 0-based position by its text in any letter case
// (-1 when none), and the text at a position (empty when none).
struct TDrawingNames {
    std::function<int(std::u16string_view text)> IndexOfName;
    std::function<std::u16string(int position)> NameText;
    // Appends a name marked as a VBA macro, with the workbook's own
    // EXTERNSHEET entry made sure of; answers its position.
    std::function<int(std::u16string_view text)> AddMacroName;
    // The EXTERNSHEET entry of the workbook itself that macro formulas
    // name, made sure of (0 when the workbook has no such list).
    std::function<int()> MacroSheetEntry;
};

// The 14-byte macro formula of an ftMacro: a reference to a defined name
// through the workbook's own EXTERNSHEET entry.
std::vector<uint8_t> MacroFormula(int namePosition, int sheetEntry = 0);
// The macro formula of a name made a macro name: an existing macro name of
// that text, else one appended.
std::vector<uint8_t> AddedMacroFormula(const TDrawingNames* names, std::u16string_view text);
// The 1-based name index a macro formula names, 0 when it names none.
int MacroNameIndex(const std::vector<uint8_t>& formula);
// A defined name at position went: a macro formula naming a later name
// follows it down, one naming that name goes.
void MacroNameDeleted(std::vector<uint8_t>& formula, int position);

class TShapeOutsideMsoBaseTextMacro : public TShapeOutsideMsoBaseText {
public:
    TShapeOutsideMsoBaseTextMacro(uint16_t objectId, uint8_t kind, int objectType,
                                  const TDrawingNames* names);

    std::vector<uint8_t> Macro; // the ftMacro body, empty when none
    // The ftCmo's 12 reserved bytes, as read.
    std::array<uint8_t, 12> CmoReserved{};

    std::u16string GetMacroName() const;
    // Raises "Can not find Name " + text when no defined name has it.
    bool SetMacroName(std::u16string_view text);
    // A defined name was deleted: indexes above it move down; a macro of
    // the deleted name goes.
    void NameDeleted(int position);

    int ObjectType() const override { return objectType; }
    void Write(TDrawingOut& out) const override;
    // Takes the control's fields from the sub-records of its OBJ.
    virtual void ReadObjSubRecords(const std::vector<TObjSubRecord>& list) = 0;

protected:
    // The sub-records after ftCmo and before ftEnd.
    virtual void AppendSubRecords(std::vector<uint8_t>& body) const = 0;
    void CopyMacroTo(TShapeOutsideMsoBaseTextMacro& dest) const;
    const TDrawingNames* names;
    int objectType;
};

class TShapeControlButton : public TShapeOutsideMsoBaseTextMacro {
public:
    TShapeControlButton(uint16_t objectId, const TDrawingNames* names);
    std::unique_ptr<TShapeOutsideMso> Copy() const override;
    void ReadObjSubRecords(const std::vector<TObjSubRecord>& list) override;

protected:
    void AppendSubRecords(std::vector<uint8_t>& body) const override;
};

class TShapeControlCheckBox : public TShapeOutsideMsoBaseTextMacro {
public:
    TShapeControlCheckBox(uint16_t objectId, const TDrawingNames* names);
    std::vector<uint8_t> Cbls, CblsFmla, CblsData;
    std::unique_ptr<TShapeOutsideMso> Copy() const override;
    void ReadObjSubRecords(const std::vector<TObjSubRecord>& list) override;

protected:
    void AppendSubRecords(std::vector<uint8_t>& body) const override;
};

class TShapeControlRadioButton : public TShapeOutsideMsoBaseTextMacro {
public:
    TShapeControlRadioButton(uint16_t objectId, const TDrawingNames* names);
    std::vector<uint8_t> Cbls, Rbo, CblsFmla, CblsData, RboData;
    std::unique_ptr<TShapeOutsideMso> Copy() const override;
    void ReadObjSubRecords(const std::vector<TObjSubRecord>& list) override;

protected:
    void AppendSubRecords(std::vector<uint8_t>& body) const override;
};

// The list data of a list or combo box (the ftLbsData body).
class TObjLBS {
public:
    virtual ~TObjLBS() = default;
    std::vector<uint8_t> Body;    // as read
    std::vector<uint8_t> Formula; // the source range's tokens
    uint32_t Reserved = 0;
    uint8_t Trailing = 0;
    uint16_t Lines = 0, Selected = 0, Flags = 0, EditId = 0;

    // Bytes of the body: as read (raw) or from the fields.
    virtual size_t Size(bool raw) const;
    // Reads a body; answers the bytes used.
    virtual size_t Read(std::span<const uint8_t> body);
    virtual void Append(std::vector<uint8_t>& out, bool raw) const;
    virtual std::unique_ptr<TObjLBS> Clone() const = 0;

protected:
    size_t ReadHead(TByteReader& r);
    void AppendHead(std::vector<uint8_t>& out) const;
};

class TObjLBSListBox : public TObjLBS {
public:
    TObjLBSListBox();
    std::vector<uint8_t> Selection; // Lines bytes, with multiple selection
    size_t Size(bool raw) const override;
    size_t Read(std::span<const uint8_t> body) override;
    void Append(std::vector<uint8_t>& out, bool raw) const override;
    std::unique_ptr<TObjLBS> Clone() const override { return std::make_unique<TObjLBSListBox>(*this); }
};

class TObjLBSComboBox : public TObjLBS {
public:
    TObjLBSComboBox();
    uint16_t DropStyle = 0, DropLines = 10, MinWidth = 0;
    size_t Size(bool raw) const override;
    size_t Read(std::span<const uint8_t> body) override;
    void Append(std::vector<uint8_t>& out, bool raw) const override;
    std::unique_ptr<TObjLBS> Clone() const override { return std::make_unique<TObjLBSComboBox>(*this); }
};

class TShapeControlListBox : public TShapeOutsideMso {
public:
    // A combo box when combo is set.
    TShapeControlListBox(uint16_t objectId, bool combo, const TDrawingNames* names);

    bool IsCombo;
    std::array<uint8_t, 20> Sbs{};
    std::vector<uint8_t> LinkCell; // 0x24, u16 row, u16 column, 0
    std::vector<uint8_t> SbsFmla;  // as read
    std::vector<uint8_t> Macro;
    std::unique_ptr<TObjLBS> Lbs;
    std::array<uint8_t, 12> CmoReserved{};
    // True: written from the fields; false: the bodies as read.
    bool Changed = true;
    // The ftLbsData's cb as read (written with it while nothing changed).
    uint16_t LbsCb = 0x1FDE;

    void GetLinkCell(int& col, int& row) const;
    void SetLinkCell(int col, int row);
    void GetSourceArea(int& sheet, int& col1, int& row1, int& col2, int& row2) const;
    void SetSourceArea(int col1, int row1, int col2, int row2);
    // Only on: the drop-down arrow of an autofilter.
    void SetAutofilter(bool on);
    void NameDeleted(int position);

    std::unique_ptr<TShapeOutsideMso> Copy() const override;
    void Write(TDrawingOut& out) const override;
    int ObjectType() const override { return IsCombo ? objtype::ComboBox : objtype::ListBox; }
    void ReadObjSubRecords(const std::vector<TObjSubRecord>& list);

private:
    const TDrawingNames* names;
};

class TShapeControlScrollBar : public TShapeOutsideMso {
public:
    explicit TShapeControlScrollBar(uint16_t objectId);
    std::array<uint8_t, 20> Sbs{};
    std::vector<uint8_t> Macro, SbsFmla;
    std::array<uint8_t, 12> CmoReserved{};

    // The linked cell: the formula bytes of the ftSbsFmla when it holds one.
    std::vector<uint8_t> LinkCell() const;
    void NameDeleted(int position) { MacroNameDeleted(Macro, position); }
    void Write(TDrawingOut& out) const override;
    int ObjectType() const override { return objtype::ScrollBar; }
    void ReadObjSubRecords(const std::vector<TObjSubRecord>& list);
};

// The control of an OBJ of a control type (button, check box, radio
// button, scroll bar, list box, combo box) taking the sub-records read;
// nullptr for other types.
std::unique_ptr<TShapeOutsideMso> CreateControl(int objectType, const std::vector<TObjSubRecord>& list,
                                                const TDrawingNames* names);

} // namespace xls
