// Form controls and the drawing-objects model of a sheet: the OBJ records
// new controls are written with, controls read and written back, linked
// cells, source ranges, autofilter drop-downs and macros; the collections
// whose items stand for the sheet's shapes.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "SrcXLS/model/XFonts.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_hex.h"

#include <gtest/gtest.h>

using namespace xls;
using drawingtest::Bytes;
using drawingtest::Record;

namespace {

// Defined names of a test: a list of texts, searched in any letter case.
struct Names {
    std::vector<std::u16string> texts;
    TDrawingNames view;
    Names() {
        view.IndexOfName = [this](std::u16string_view t) {
            for (size_t i = 0; i < texts.size(); ++i)
                if (UpperCaseWide(texts[i]) == UpperCaseWide(t)) return int(i);
            return -1;
        };
        view.NameText = [this](int i) { return i >= 0 && i < int(texts.size()) ? texts[size_t(i)] : u""; };
        view.AddMacroName = [this](std::u16string_view t) {
            texts.emplace_back(t);
            return int(texts.size()) - 1;
        };
    }
};

// The OBJ record (and what follows it) a control of a new shape writes.
std::vector<Record> Written(const TShape& shape) {
    return drawingtest::WrittenRecords([&](TXLSStream& s) {
        TDrawingOut out(s);
        shape.Attached->Write(out);
    });
}

struct Fixture {
    TXFonts fonts;
    TEscherGroup group;
    Names names;
    TEscherDrawing drawing{group, &fonts};
    Fixture() { drawing.Names = &names.view; }
};

} // namespace

TEST(DrawingControls, NewControlsWriteTheirObjRecords) {
    const std::string sbs = "0C00 1400 0000000000000000040001000500000010000100 ";
    const std::string b2 = "0E00 0C00 0500 00000000 240100010000 ";
    const struct {
        const char* Name;
        TShapeClientAnchor& (TEscherDrawing::*Create)();
        std::string Obj;
        const char* Caption;
    } cases[] = {
        {"list box", &TEscherDrawing::AddListBox,
         "1500 1200 1200 0100 1120 000000000000000000000000 " + sbs + b2 +
             "1300 DE1F 0000 0A00 0100 0800 0000",
         nullptr},
        {"combo box", &TEscherDrawing::AddComboBox,
         "1500 1200 1400 0100 1120 000000000000000000000000 " + sbs + b2 +
             "1300 DE1F 0000 0000 0000 0000 0000 0000 0A00 0000 0000 0000",
         nullptr},
        {"autofilter drop-down", &TEscherDrawing::AddAutofilterComboBox,
         "1500 1200 1400 0100 0121 000000000000000000000000 " + sbs +
             "1300 DE1F 0000 0000 0000 0103 0000 0A00 0800 0000 0000 0000",
         nullptr},
        {"button", &TEscherDrawing::AddButton, "1500 1200 0700 0100 0140 000000000000000000000000 0000 0000",
         "Button"},
        {"check box", &TEscherDrawing::AddCheckBox,
         "1500 1200 0B00 0100 1100 000000000000000000000000 0A00 0C00 000000000000000000000000 0000 0000",
         "CheckBox"},
        {"radio button", &TEscherDrawing::AddRadioButton,
         "1500 1200 0C00 0100 1100 000000000000000000000000 0A00 0C00 000000000000000000000000 0000 0000",
         "RadioButton"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        TShapeClientAnchor& shape = (f.drawing.*c.Create)();
        EXPECT_EQ(shape.ShapeType, shapetype::HostControl);
        EXPECT_TRUE(shape.ObjSubRecords.empty()); // the control writes its OBJ
        auto records = Written(shape);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records[0].Body, FromHex(c.Obj));
        if (c.Caption) {
            auto lines = drawingtest::DecodeDrawing(drawingtest::WrittenDrawing(f.drawing));
            bool found = false;
            for (const auto& l : lines)
                found |= l.find(std::string(" ") + c.Caption + " runs") != std::string::npos;
            EXPECT_TRUE(found);
        }
        // Read back into a drawing of its own, the control writes the same.
        Fixture g;
        auto all = drawingtest::WrittenDrawing(f.drawing);
        drawingtest::ReadDrawingFrom(g.drawing, all);
        ASSERT_EQ(g.drawing.ShapeCount(), 1);
        EXPECT_EQ(g.drawing.Shape(0).ObjectType(), shape.ObjectType());
        EXPECT_EQ(drawingtest::WrittenDrawing(g.drawing), all);
    }
}

TEST(DrawingControls, LinkedCellsSourceRangesAndAutofilters) {
    Fixture f;
    auto& box = static_cast<TShapeControlListBox&>(*f.drawing.AddListBox().Attached);
    int col = 0, row = 0, sheet = 0, col2 = 0, row2 = 0;
    box.GetLinkCell(col, row);
    EXPECT_EQ(std::make_pair(col, row), std::make_pair(1, 1)); // B2
    box.Changed = false;
    box.SetLinkCell(1, 4); // B5: the row alone changes
    box.GetLinkCell(col, row);
    EXPECT_EQ(std::make_pair(col, row), std::make_pair(1, 4));
    EXPECT_TRUE(box.Changed);
    try {
        box.GetSourceArea(sheet, col, row, col2, row2);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "No source area assigned");
    }
    box.SetSourceArea(0, 2, 1, 9);
    box.GetSourceArea(sheet, col, row, col2, row2);
    EXPECT_EQ(std::vector<int>({sheet, col, row, col2, row2}), std::vector<int>({-1, 0, 2, 1, 9}));
    box.Lbs->Formula = FromHex("3B 0200 0100 0300 0400 0500");
    box.GetSourceArea(sheet, col, row, col2, row2);
    EXPECT_EQ(std::vector<int>({sheet, col, row, col2, row2}), std::vector<int>({2, 4, 1, 5, 3}));
    box.Lbs->Formula = FromHex("24 0100 0100");
    EXPECT_THROW(box.GetSourceArea(sheet, col, row, col2, row2), XLSError);

    auto& drop = static_cast<TShapeControlListBox&>(*f.drawing.AddAutofilterComboBox().Attached);
    EXPECT_TRUE(drop.LinkCell.empty());
    try {
        drop.SetLinkCell(0, 0);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Unknown SBS formula.");
    }
    try {
        drop.SetAutofilter(false);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "An autofilter combo box can not be changed to a normal.");
    }
    EXPECT_THROW(drop.Copy(), XLSError); // list and combo boxes are not copied
}

TEST(DrawingControls, MacrosFollowTheNames) {
    Fixture f;
    f.names.texts = {u"First", u"Run", u"Third"};
    auto& button = static_cast<TShapeControlButton&>(*f.drawing.AddButton().Attached);
    auto& plain = static_cast<TShapeControlButton&>(*f.drawing.AddButton().Attached);
    auto& check = static_cast<TShapeControlCheckBox&>(*f.drawing.AddCheckBox().Attached);
    EXPECT_TRUE(button.SetMacroName(u"third"));
    EXPECT_EQ(button.Macro, FromHex("0700 00000000 39 0000 0300 0000 00"));
    EXPECT_EQ(button.GetMacroName(), u"Third");
    check.SetMacroName(u"Run");
    try {
        button.SetMacroName(u"Missing");
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Can not find Name Missing");
    }
    // "First" goes: the names after it move down, check boxes included.
    for (auto* c : std::initializer_list<TShapeOutsideMsoBaseTextMacro*>{&button, &plain, &check})
        c->NameDeleted(0);
    EXPECT_EQ(MacroNameIndex(button.Macro), 2);
    EXPECT_EQ(MacroNameIndex(check.Macro), 1);
    EXPECT_TRUE(plain.Macro.empty()); // a button without macro stays without
    // "Run" goes: the check box's macro named it and goes with it.
    check.NameDeleted(0);
    button.NameDeleted(0);
    EXPECT_TRUE(check.Macro.empty());
    EXPECT_EQ(MacroNameIndex(button.Macro), 1);
}

// Each control takes only its own sub-records: a file with another is
// refused with the control's message.
TEST(DrawingControls, SubRecordsAControlDoesNotTakeAreRefused) {
    const struct {
        uint16_t Type;
        const char* Extra;
        const char* Message;
    } cases[] = {
        {objtype::Button, "0A00 0000", "Unknown record 000A in OBJ LBS"},
        {objtype::CheckBox, "0B00 0000", "Unknown record 000B in OBJ CBLS"},
        {objtype::RadioButton, "0C00 0000", "Unknown record 000C in OBJ RBO"},
        {objtype::ScrollBar, "0A00 0000", "Unknown record 000A in OBJ CBLS"},
        {objtype::ComboBox, "0700 0000", "Unknown record 0007 in OBJ LBS"},
    };
    for (const auto& c : cases) {
        Bytes body = CmoBody(c.Type, 3, 0x0011);
        Bytes obj = FromHex("1500 1200");
        obj.insert(obj.end(), body.begin(), body.end());
        Bytes extra = FromHex(std::string(c.Extra) + " 0000 0000");
        obj.insert(obj.end(), extra.begin(), extra.end());
        drawingtest::RecordReader in({{biff::OBJ, obj}});
        TShape shape;
        uint16_t highest = 0;
        try {
            ReadObjRecord(shape, in.Stream(), highest);
            ADD_FAILURE() << c.Message;
        } catch (const XLSError& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
    }
}

// A scroll bar keeps its settings, macro and linked cell as read and writes
// them back in its order; its macro follows deleted names.
TEST(DrawingControls, ScrollBarsComeBack) {
    Bytes obj = FromHex("1500 1200");
    Bytes cmo = CmoBody(objtype::ScrollBar, 9, 0x6011);
    obj.insert(obj.end(), cmo.begin(), cmo.end());
    Bytes rest = FromHex("0C00 1400 00000000 0300 0000 6400 0100 0A00 0000 1000 0100"
                         "0400 0E00 0700 00000000 39 0000 0300 0000 00"
                         "0E00 0C00 0500 00000000 24 0400 0100 00"
                         "0000 0000");
    obj.insert(obj.end(), rest.begin(), rest.end());
    TShape shape;
    uint16_t highest = 0;
    drawingtest::RecordReader in({{biff::OBJ, obj}});
    shape.Attached = ReadObjRecord(shape, in.Stream(), highest);
    auto& bar = dynamic_cast<TShapeControlScrollBar&>(*shape.Attached);
    EXPECT_EQ(bar.LinkCell(), FromHex("24 0400 0100 00"));
    EXPECT_EQ(Written(shape)[0].Body, obj);
    bar.NameDeleted(0);
    EXPECT_EQ(MacroNameIndex(bar.Macro), 2);
    bar.NameDeleted(1);
    EXPECT_TRUE(bar.Macro.empty());
    EXPECT_EQ(Written(shape)[0].Body.size(), obj.size() - 18);
}

namespace {

// A workbook whose first sheet's collections are the ones under test.
struct Book {
    TTabrix4 book;
    TSheet& Sheet() { return book.GetSheet(0); }
    TDrawingObjects& Objects() { return Sheet().DrawingObjects(); }
    TControlObjects& Controls() { return Sheet().ControlsObjects(); }
    TEscherDrawing& Drawing() { return Sheet().Drawing(); }
};

} // namespace

TEST(DrawingObjectsModel, ItemsStandForShapes) {
    Book b;
    TControlListBox& list = b.Controls().ListBoxes.Add();
    EXPECT_EQ(list.Name, u"ListBox 0");
    EXPECT_EQ(list.Shape()->ShapeType, shapetype::HostControl);
    EXPECT_EQ(list.GetDestCell(), u"$B$2");
    list.SetDestCell(u"C7");
    list.SetSourceArea(u"Лист1!A1:A10");
    EXPECT_EQ(list.GetDestCell(), u"$C$7");
    EXPECT_EQ(list.GetSourceArea(), u"$A$1:$A$10");
    EXPECT_THROW(list.SetDestCell(u"A1:B2"), XLSError);
    EXPECT_THROW(list.SetSourceArea(u"A1"), XLSError);

    b.Controls().ComboBoxes.Add();
    b.Controls().ComboBoxes.Autofilter = true;
    TControlComboBox& drop = b.Controls().ComboBoxes.Add();
    EXPECT_EQ(drop.Name, u"ComboBox Autofilter 1");
    EXPECT_EQ(drop.Shape()->Attached->CmoFlags, 0x2101);
    b.Controls().Buttons.Add().SetText(u"Записати");
    b.Controls().CheckBoxes.Add();
    b.Controls().RadioButtons.Add();
    EXPECT_EQ(b.Drawing().ShapeCount(), 6);

    // The autofilter removes its drop-downs by their collection ids.
    b.Controls().ComboBoxes.DeleteById(drop.ID());
    b.Controls().ComboBoxes.DeleteById(99);
    EXPECT_EQ(b.Controls().ComboBoxes.Count(), 1);
    EXPECT_EQ(b.Drawing().ShapeCount(), 5);

    TDrwNote& note = b.Objects().Notes.Add();
    note.SetCellCol(3);
    note.SetCellRow(8);
    note.SetAuthor(u"Касир");
    note.SetText(std::u16string(40000, u'ж'));
    note.SetAlwaysVisible(true);
    EXPECT_EQ(note.GetText().size(), 32767u);
    EXPECT_THROW(note.AssignMacro(u"M"), XLSError);
    TDrwText& text = b.Objects().Texts.Add();
    EXPECT_DOUBLE_EQ(text.GetMarginLeft(), 0.254); // the format's default, 0.1 inch
    text.SetMarginLeft(0.5);                       // added where the shape has none
    EXPECT_EQ(text.Shape()->Opt.Value(129), 180000);
    text.SetCol1Offset(0.5);
    EXPECT_EQ(text.Shape()->Anchor.Col1Offset, 512);

    TDrwBasic& basic = b.Objects().Basics.Add();
    basic.SetShapeType(TBasicShapeType::bstArrow);
    EXPECT_EQ(basic.GetShapeType(), TBasicShapeType::bstArrow);
    basic.SetShapeType(TBasicShapeType::bstEllipse);
    EXPECT_EQ(basic.Shape()->ObjectType(), objtype::Oval);
    TDrwAutoShape& sun = b.Objects().AutoShapes.Add();
    sun.SetShapeType(TAutoShapeType::astQuadArrowCallout);
    EXPECT_EQ(sun.Shape()->ShapeType, 83u);
    EXPECT_EQ(sun.GetShapeType(), TAutoShapeType::astQuadArrowCallout);
    sun.SetFillColor(0x0000FF);
    EXPECT_EQ(sun.GetFillColor(), 0x0000FFu);

    TDrwPicture& frame = b.Objects().Pictures.Add();
    EXPECT_EQ(frame.Shape()->Anchor.Flags, 0x0002);
    EXPECT_THROW(frame.SetPictureId(1), XLSError); // no pictures in the workbook
    auto picture = std::make_unique<TMSOPicture>();
    picture->LoadFromBytes({1, 2, 3}, u"/tmp/logo.png", pictype::PNG);
    b.book.Pictures().Insert(std::move(picture));
    frame.SetPictureName(u"/TMP/LOGO.PNG");
    EXPECT_EQ(frame.GetPictureId(), 1);
    EXPECT_EQ(frame.GetPictureName(), u"logo.png");
    frame.SetPictureId(0);
    EXPECT_EQ(frame.GetPictureName(), u"");
    try {
        frame.SetPictureId(2);
        ADD_FAILURE();
    } catch (const XLSError& e) {
        EXPECT_STREQ(e.what(), "Picture Id out of range.");
    }
    EXPECT_THROW(frame.SetPictureName(u"other.png"), XLSError);

    // Clearing the controls takes the shapes of all five kinds.
    b.Controls().Clear();
    EXPECT_EQ(b.Drawing().ShapeCount(), 5);
    // Cells deleted take the shapes whose top-left cell they held, and their items.
    b.book.DeleteCells(0, 0, 0, 10, 10);
    EXPECT_EQ(b.Objects().Notes.Count(), 0);
    EXPECT_EQ(b.Objects().Texts.Count(), 0);
}

TEST(DrawingObjectsModel, AssignedMacrosAndReadShapes) {
    Book b;
    Names names;
    b.Drawing().Names = &names.view;
    TDrawingContext context{&b.Drawing(), &names.view, &b.book.Pictures()};
    TDrawingObjects objects(context);
    TDrwBasic& basic = objects.Basics.Add();
    basic.AssignMacro(u"Macro1");
    basic.AssignMacro(u"Macro2"); // the second replaces the first
    auto& list = basic.Shape()->ObjSubRecords;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].Ft, ft::Macro);
    EXPECT_EQ(MacroNameIndex(list[1].Body), 2);
    EXPECT_EQ(list.back().Ft, ft::End);
    int fill = 0;
    for (const auto& item : basic.Shape()->Opt.Items) fill += item.Number() == 447;
    EXPECT_EQ(fill, 1); // set, not added twice
    EXPECT_EQ(basic.Shape()->Opt.Value(447), 0x00010001);
    objects.Clear();

    // A workbook written and read: one item per shape of each kind, no new shapes.
    b.Objects().Notes.Add().SetText(u"Примітка");
    b.Objects().Texts.Add().SetText(u"Текст");
    b.Objects().Basics.Add();
    b.Objects().AutoShapes.Add();
    b.Controls().ListBoxes.Add();
    b.Controls().ComboBoxes.Add();
    b.Controls().Buttons.Add();
    b.Controls().CheckBoxes.Add();
    b.Controls().RadioButtons.Add();
    const int shapes = b.Drawing().ShapeCount();
    testfiles::ScratchDir dir;
    b.book.SetFilename(std::filesystem::path(dir.File("controls.xls")).u16string());
    b.book.Write();
    Book back;
    back.book.SetFilename(std::filesystem::path(dir.File("controls.xls")).u16string());
    back.book.Read();
    EXPECT_EQ(back.Drawing().ShapeCount(), shapes);
    const int counts[] = {back.Objects().Notes.Count(),        back.Objects().Texts.Count(),
                          back.Objects().Basics.Count(),       back.Objects().AutoShapes.Count(),
                          back.Controls().ListBoxes.Count(),   back.Controls().ComboBoxes.Count(),
                          back.Controls().Buttons.Count(),     back.Controls().CheckBoxes.Count(),
                          back.Controls().RadioButtons.Count()};
    for (int c : counts) EXPECT_EQ(c, 1);
    EXPECT_EQ(back.Objects().Notes[0].GetText(), u"Примітка");
    EXPECT_EQ(back.Controls().Buttons[0].GetText(), u"Button");
    EXPECT_EQ(back.Controls().ListBoxes[0].GetDestCell(), u"$B$2");
}

// Macros through the workbook's defined names: a macro name is made once
// (another name of that text is not taken for it) and named through the
// workbook's own EXTERNSHEET entry; deleting names moves the macros of
// controls and shapes down, and a macro whose name went goes.
TEST(DrawingObjectsModel, MacrosUseTheWorkbookNames) {
    Book b;
    TInternalNames& names = b.book.GetInternalNames();
    names.Add().SetName(u"Kasa"); // a range name of the same text
    names.Add().SetName(u"Rest");
    TControlButton& button = b.Controls().Buttons.Add();
    button.SetMacroName(u"kasa");
    TDrwBasic& basic = b.Objects().Basics.Add();
    basic.AssignMacro(u"KASA");
    ASSERT_EQ(names.Count(), 3);
    EXPECT_EQ(names.Items(2).Options & (noVBAProcedure | noMacro), noVBAProcedure | noMacro);
    const auto& macro = static_cast<TShapeControlButton&>(*button.Shape()->Attached).Macro;
    EXPECT_EQ(MacroNameIndex(macro), 3);
    EXPECT_EQ(b.book.FormulaHandler().Externals().GetSelfSheet(GetU16(macro.data() + 7)), 0xFFFE);
    auto shapeMacro = [&]() -> const TObjSubRecord* {
        for (const auto& sub : basic.Shape()->ObjSubRecords)
            if (sub.Ft == ft::Macro) return &sub;
        return nullptr;
    };
    ASSERT_NE(shapeMacro(), nullptr);
    EXPECT_EQ(shapeMacro()->Body, macro);

    names.Delete(0);
    EXPECT_EQ(MacroNameIndex(macro), 2);
    EXPECT_EQ(button.GetMacroName(), u"kasa");
    EXPECT_EQ(MacroNameIndex(shapeMacro()->Body), 2);
    names.Delete(1); // the macro name itself
    EXPECT_TRUE(macro.empty());
    EXPECT_EQ(shapeMacro(), nullptr);
    EXPECT_EQ(basic.Shape()->ObjSubRecords.back().Ft, ft::End);
}
