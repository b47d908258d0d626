#include "SrcXLS/drawing/DrawingObjects.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/DrawingGroup.h"

#include <cmath>

namespace xls {

namespace {

constexpr double EmuPerCm = 360000;

template <class T> T& AttachedAs(const TShapeClientAnchor* shape) {
    if (!shape) throw XLSError("The drawing object has no shape");
    auto* object = dynamic_cast<T*>(shape->Attached.get());
    if (!object) throw XLSError("The drawing object has no shape");
    return *object;
}

} // namespace

// ---- items of drawing objects

void TDrwCustom::AssignMacro(std::u16string_view name) {
    TShapeClientAnchor* shape = Shape();
    if (!shape) throw XLSError("The drawing object has no shape");
    const std::vector<uint8_t> formula = AddedMacroFormula(Context ? Context->Names : nullptr, name);
    auto& list = shape->ObjSubRecords;
    auto macro =
        std::find_if(list.begin(), list.end(), [](const TObjSubRecord& s) { return s.Ft == ft::Macro; });
    if (macro != list.end()) {
        macro->Body = formula;
    } else {
        // Before the closing ftEnd; a list without one keeps all it has.
        if (!list.empty() && list.back().Ft == ft::End) list.pop_back();
        list.push_back({ft::Macro, formula});
        list.push_back({ft::End, {}});
    }
    shape->Opt.Put(447, 0x00010001);
    shape->Opt.Put(959, 0x00080008);
}

TShapeOutsideMsoBaseText& TCustomDrwText::TextObject() const {
    return AttachedAs<TShapeOutsideMsoBaseText>(Shape());
}

std::u16string TCustomDrwText::GetText() const {
    return TextObject().Text;
}

void TCustomDrwText::SetText(std::u16string_view text) {
    TextObject().SetText(text.substr(0, 32767));
}

double TCustomDrwText::Margin(int property) const {
    int64_t v = Shape() ? Shape()->Opt.Value(property) : -1;
    // The format's defaults: 0.1 inch left and right, 0.05 inch top and bottom.
    if (v < 0) v = property == 129 || property == 131 ? 91440 : 45720;
    return double(v) / EmuPerCm;
}

void TCustomDrwText::SetMargin(int property, double cm) {
    if (!Shape()) throw XLSError("The drawing object has no shape");
    Shape()->Opt.Put(uint16_t(property), uint32_t(std::llround(std::max(0.0, cm) * EmuPerCm)));
}

TShapeOutsideMsoNote& TDrwNote::Note() const {
    return AttachedAs<TShapeOutsideMsoNote>(Shape());
}

int TDrwNote::GetCellCol() const {
    return int(Note().Col);
}
void TDrwNote::SetCellCol(int col) {
    Note().Col = uint32_t(std::max(col, 0));
    Note().WithoutRecord = false;
}
int TDrwNote::GetCellRow() const {
    return int(Note().Row);
}
void TDrwNote::SetCellRow(int row) {
    Note().Row = uint32_t(std::max(row, 0));
    Note().WithoutRecord = false;
}
std::u16string TDrwNote::GetAuthor() const {
    return Note().Author;
}
void TDrwNote::SetAuthor(std::u16string_view author) {
    Note().Author = author.substr(0, 0xFFFF);
}
bool TDrwNote::GetAlwaysVisible() const {
    return Note().NoteFlags & 0x0002;
}
void TDrwNote::SetAlwaysVisible(bool on) {
    if (on)
        Note().NoteFlags |= 0x0002;
    else
        Note().NoteFlags &= ~0x0002;
    Shape()->Shown = on;
}

void TDrwNote::AssignMacro(std::u16string_view) {
    throw XLSError("Notes can not have macros assigned");
}

TBasicShapeType TDrwBasic::GetShapeType() const {
    const TShape* s = Shape();
    if (!s) return TBasicShapeType::bstLine;
    if (s->ShapeType == shapetype::Rectangle) return TBasicShapeType::bstRectangle;
    if (s->ShapeType == shapetype::Ellipse) return TBasicShapeType::bstEllipse;
    if (s->ShapeType == shapetype::Line && s->Opt.Value(465) == 1) return TBasicShapeType::bstArrow;
    return TBasicShapeType::bstLine;
}

void TDrwBasic::SetShapeType(TBasicShapeType type) {
    TShape* s = Shape();
    if (!s) throw XLSError("The drawing object has no shape");
    const bool line = type == TBasicShapeType::bstLine || type == TBasicShapeType::bstArrow;
    s->SetShapeType(line                                  ? shapetype::Line
                    : type == TBasicShapeType::bstEllipse ? shapetype::Ellipse
                                                          : shapetype::Rectangle);
    s->Opt.Clear();
    if (line) {
        const std::pair<uint16_t, uint32_t> props[] = {
            {191, 0x00080008}, {324, 4}, {383, 0x00010000}, {447, 0x00100000},
            {448, 0x08000040}, {465, 0}, {511, 0x00100010}};
        for (auto [id, value] : props)
            s->Opt.Add(id, id == 465 && type == TBasicShapeType::bstArrow ? 1 : value);
    } else {
        const std::pair<uint16_t, uint32_t> props[] = {
            {191, 0x00080008}, {385, 0x0800000D}, {447, 0x00100010}, {448, 0x08000040}};
        for (auto [id, value] : props) s->Opt.Add(id, value);
    }
    s->Opt.FixCount();
}

namespace {
constexpr uint32_t AutoShapeTypes[] = {183, 184, 66, 67, 68, 69, 70, 76, 77, 78, 79, 80, 81, 82, 83};
}

TAutoShapeType TDrwAutoShape::GetShapeType() const {
    const TShape* s = Shape();
    for (size_t i = 0; s && i < std::size(AutoShapeTypes); ++i)
        if (AutoShapeTypes[i] == s->ShapeType) return TAutoShapeType(i);
    return TAutoShapeType::astSun;
}

void TDrwAutoShape::SetShapeType(TAutoShapeType type) {
    if (!Shape()) throw XLSError("The drawing object has no shape");
    size_t i = size_t(type);
    Shape()->SetShapeType(i < std::size(AutoShapeTypes) ? AutoShapeTypes[i] : AutoShapeTypes[0]);
}

uint32_t TDrwAutoShape::GetLineColor() const {
    return Shape() ? uint32_t(Shape()->Opt.Value(448)) : 0;
}
void TDrwAutoShape::SetLineColor(uint32_t color) {
    if (Shape()) Shape()->Opt.Put(448, color);
}
uint32_t TDrwAutoShape::GetFillColor() const {
    return Shape() ? uint32_t(Shape()->Opt.Value(385)) : 0;
}
void TDrwAutoShape::SetFillColor(uint32_t color) {
    if (Shape()) Shape()->Opt.Put(385, color);
}

namespace {
// The file name of a picture's stored path.
std::u16string FileNamePart(const std::u16string& path) {
    const size_t slash = path.find_last_of(u"/\\");
    return slash == path.npos ? path : path.substr(slash + 1);
}
} // namespace

int TDrwPicture::GetPictureId() const {
    const TOPTItem* ref = Shape() ? Shape()->Opt.BlipRef() : nullptr;
    return ref ? int(ref->Value) : 0;
}

void TDrwPicture::SetPictureId(int id) {
    TShapeClientAnchor* s = Shape();
    if (!s) throw XLSError("The drawing object has no shape");
    const int count = Context && Context->Pictures ? Context->Pictures->Count() : 0;
    // Without pictures only 0 is a position: another would fail the write.
    if (id < 0 || id > count) throw XLSError("Picture Id out of range.");
    TOPTItem* ref = s->Opt.BlipRef();
    if (!ref) throw XLSError("Shape has no Blip Id");
    const std::u16string name =
        id > 0 ? FileNamePart(Context->Pictures->Items(id - 1).Name) : std::u16string();
    if (s->Opt.Find(261))
        s->Opt.SetComplexText(261, name);
    else
        s->Opt.AddComplexText(261, name), s->Opt.FixCount();
    ref->Value = uint32_t(id);
}

std::u16string TDrwPicture::GetPictureName() const {
    return Shape() ? Shape()->Opt.ComplexText(261) : std::u16string();
}

// A picture is named by its whole name or, as the getter gives it, by its
// file name alone; among pictures of that file name the current one stays.
void TDrwPicture::SetPictureName(std::u16string_view name) {
    const std::u16string upper = UpperCaseWide(name);
    TMSOPictures* pictures = Context ? Context->Pictures : nullptr;
    const int count = pictures ? pictures->Count() : 0;
    for (int i = 0; i < count; ++i)
        if (UpperCaseWide(pictures->Items(i).Name) == upper) return SetPictureId(i + 1);
    auto fileNamed = [&](int id) {
        return id > 0 && id <= count && UpperCaseWide(FileNamePart(pictures->Items(id - 1).Name)) == upper;
    };
    if (fileNamed(GetPictureId())) return SetPictureId(GetPictureId());
    for (int i = 0; i < count; ++i)
        if (fileNamed(i + 1)) return SetPictureId(i + 1);
    throw XLSError("Can not find picture: " + WideToUtf8(name));
}

// ---- items of controls

TShapeControlListBox& TControlListBox::Control() const {
    return AttachedAs<TShapeControlListBox>(Shape());
}

std::u16string TControlListBox::GetSourceArea() const {
    int sheet = 0, col1 = 0, row1 = 0, col2 = 0, row2 = 0;
    Control().GetSourceArea(sheet, col1, row1, col2, row2);
    return AreaToRefStr(col1, row1, col2, row2, true, true, true, true);
}

void TControlListBox::SetSourceArea(std::u16string_view text) {
    int col1 = 0, row1 = 0, col2 = 0, row2 = 0;
    TRefFlags f1, f2;
    if (!AreaStrToColRow(text, col1, row1, col2, row2, f1, f2)) throw XLSError("Invalid area reference");
    Control().SetSourceArea(col1, row1, col2, row2);
}

std::u16string TControlListBox::GetDestCell() const {
    int col = 0, row = 0;
    Control().GetLinkCell(col, row);
    return ColRowToRefStr(col, row, true, true);
}

void TControlListBox::SetDestCell(std::u16string_view text) {
    int col = 0, row = 0;
    bool absCol = false, absRow = false;
    if (!RefStrToColRow(text, col, row, absCol, absRow)) throw XLSError("Invalid cell reference");
    Control().SetLinkCell(col, row);
}

TShapeOutsideMsoBaseTextMacro& TControlText::Control() const {
    return AttachedAs<TShapeOutsideMsoBaseTextMacro>(Shape());
}

std::u16string TControlText::GetText() const {
    return Control().Text;
}

void TControlText::SetText(std::u16string_view text) {
    Control().SetText(text);
}

std::u16string TControlTextMacro::GetMacroName() const {
    return Control().GetMacroName();
}

void TControlTextMacro::SetMacroName(std::u16string_view name) {
    // The macro name made or found, not an earlier name of that text.
    Control().Macro = AddedMacroFormula(Context ? Context->Names : nullptr, name);
}

// ---- collections

template <class Item> Item& TDrwCollection<Item>::Bind(TShapeClientAnchor& shape) {
    auto item = std::make_unique<Item>();
    item->Context = &context;
    Item& added = this->Insert(std::move(item));
    added.Name = Prefix() + Utf8ToWide(std::to_string(added.ID()));
    added.SetShape(&shape);
    return added;
}

template <class Item> Item& TDrwCollection<Item>::Add() {
    if (loading) throw XLSError("[int] An item added while shapes are read");
    return Bind(CreateShape());
}

template <class Item> Item& TDrwCollection<Item>::AddShape(TShapeClientAnchor& shape) {
    loading = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{loading};
    return Bind(shape);
}

template <class Item> Item* TDrwCollection<Item>::FindByShape(const TShape& shape) const {
    for (int i = 0; i < this->Count(); ++i)
        if (this->GetItem(i).Shape() == &shape) return &this->GetItem(i);
    return nullptr;
}

template <class Item> void TDrwCollection<Item>::Forget(const TShape& shape) {
    for (int i = this->Count() - 1; i >= 0; --i)
        if (this->GetItem(i).Shape() == &shape) TCollection<Item>::Delete(i);
}

// The item goes first, then its shape: the drawing's notice of the shape
// finds no item left to forget.
template <class Item> void TDrwCollection<Item>::Delete(int index) {
    TShape* shape = this->GetItem(index).Shape();
    TCollection<Item>::Delete(index);
    if (shape) context.Drawing->DeleteShape(shape->ShapeId);
}

template <class Item> void TDrwCollection<Item>::Clear() {
    std::vector<TShape*> shapes;
    for (int i = 0; i < this->Count(); ++i)
        if (TShape* shape = this->GetItem(i).Shape()) shapes.push_back(shape);
    TCollection<Item>::Clear();
    context.Drawing->DeleteShapes(shapes);
}

TControlComboBoxes::TControlComboBoxes(const TDrawingContext& context)
    : TDrwCollection<TControlComboBox>(context, u"ComboBox ", {}) {}

std::u16string TControlComboBoxes::Prefix() const {
    return Autofilter ? u"ComboBox Autofilter " : u"ComboBox ";
}

TShapeClientAnchor& TControlComboBoxes::CreateShape() {
    return Autofilter ? context.Drawing->AddAutofilterComboBox() : context.Drawing->AddComboBox();
}

void TControlComboBoxes::DeleteById(int id) {
    for (int i = 0; i < Count(); ++i)
        if (GetItem(i).ID() == id) {
            Delete(i);
            return;
        }
}

TDrawingObjects::TDrawingObjects(const TDrawingContext& context)
    : Texts(context, u"Text ", [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddTextBox(); }),
      Notes(context, u"Note ", [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddNote(); }),
      Basics(context, u"Basic ", [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddBasicShape(); }),
      AutoShapes(context, u"AutoShape ",
                 [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddAutoShape(); }),
      Pictures(context, u"Picture ", [](TEscherDrawing& d) -> TShapeClientAnchor& {
          TShapeClientAnchor& shape = d.AddPicture();
          shape.Anchor.Flags |= 0x0002;
          return shape;
      }) {}

void TDrawingObjects::Clear() {
    Texts.Clear();
    Notes.Clear();
    Basics.Clear();
    AutoShapes.Clear();
    Pictures.Clear();
}

void TDrawingObjects::Forget(const TShape& shape) {
    Texts.Forget(shape);
    Notes.Forget(shape);
    Basics.Forget(shape);
    AutoShapes.Forget(shape);
    Pictures.Forget(shape);
}

bool TDrawingObjects::Bind(TShape& shape) {
    auto* client = dynamic_cast<TShapeClientAnchor*>(&shape);
    if (!client) return false;
    if (TEscherDrawing::NoteOf(shape)) {
        Notes.AddShape(*client);
        return true;
    }
    if (dynamic_cast<TShapeOutsideMsoBaseTextMacro*>(shape.Attached.get())) return false;
    const int type = shape.ObjectType();
    if (auto* text = dynamic_cast<TShapeOutsideMsoBaseText*>(shape.Attached.get());
        text && (text->Kind == okTextBox || type == objtype::Text)) {
        Texts.AddShape(*client);
        return true;
    }
    if (shape.ShapeType == shapetype::PictureFrame || type == objtype::Picture) {
        Pictures.AddShape(*client);
        return true;
    }
    if (type == objtype::AutoShape) {
        AutoShapes.AddShape(*client);
        return true;
    }
    if (type == objtype::Line || type == objtype::Rectangle || type == objtype::Oval) {
        Basics.AddShape(*client);
        return true;
    }
    return false;
}

TControlObjects::TControlObjects(const TDrawingContext& context)
    : ListBoxes(context, u"ListBox ",
                [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddListBox(); }),
      ComboBoxes(context),
      Buttons(context, u"Button ", [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddButton(); }),
      CheckBoxes(context, u"CheckBox ",
                 [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddCheckBox(); }),
      RadioButtons(context, u"RadioButton ",
                   [](TEscherDrawing& d) -> TShapeClientAnchor& { return d.AddRadioButton(); }),
      drawing(*context.Drawing) {}

void TControlObjects::Clear() {
    ListBoxes.Clear();
    ComboBoxes.Clear();
    Buttons.Clear();
    CheckBoxes.Clear();
    RadioButtons.Clear();
}

void TControlObjects::Forget(const TShape& shape) {
    ListBoxes.Forget(shape);
    ComboBoxes.Forget(shape);
    Buttons.Forget(shape);
    CheckBoxes.Forget(shape);
    RadioButtons.Forget(shape);
}

bool TControlObjects::Bind(TShape& shape) {
    auto* client = dynamic_cast<TShapeClientAnchor*>(&shape);
    if (!client || !shape.Attached) return false;
    switch (shape.Attached->ObjectType()) {
    case objtype::ListBox:
        ListBoxes.AddShape(*client);
        return true;
    case objtype::ComboBox:
        ComboBoxes.AddShape(*client);
        return true;
    case objtype::Button:
        Buttons.AddShape(*client);
        return true;
    case objtype::CheckBox:
        CheckBoxes.AddShape(*client);
        return true;
    case objtype::RadioButton:
        RadioButtons.AddShape(*client);
        return true;
    default:
        return false;
    }
}

template class TDrwCollection<TDrwText>;
template class TDrwCollection<TDrwNote>;
template class TDrwCollection<TDrwBasic>;
template class TDrwCollection<TDrwAutoShape>;
template class TDrwCollection<TDrwPicture>;
template class TDrwCollection<TControlListBox>;
template class TDrwCollection<TControlComboBox>;
template class TDrwCollection<TControlButton>;
template class TDrwCollection<TControlCheckBox>;
template class TDrwCollection<TControlRadioButton>;

void TControlObjects::NameDeleted(int position) {
    drawing.NameDeleted(position);
}

} // namespace xls
