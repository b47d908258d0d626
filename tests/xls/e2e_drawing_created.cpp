// Drawings a program makes: notes, pictures, a text box and shapes added
// through the sheet's drawing, written and read by xlrd (notes), and by
// LibreOffice and gnumeric (converted to .xlsx, read with openpyxl:
// comments and pictures; the text box's text in LibreOffice's own format).
// The notes of an older file written as BIFF8 are read by xlrd too.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/DrawingObjects.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_process.h"
#include "support_readers.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace xls;
namespace fs = std::filesystem;
using drawingtest::Bytes;

namespace {

// A 24-bit BMP of a colour gradient.
Bytes GradientBmp(int w, int h) {
    Bytes b;
    TByteWriter x(b);
    const int stride = (w * 3 + 3) / 4 * 4;
    x.U16(0x4D42);
    x.U32(uint32_t(54 + stride * h));
    x.U32(0);
    x.U32(54);
    x.U32(40);
    x.U32(uint32_t(w));
    x.U32(uint32_t(h));
    x.U16(1);
    x.U16(24);
    for (int i = 0; i < 6; ++i) x.U32(0);
    for (int y = 0; y < h; ++y) {
        for (int c = 0; c < w; ++c) {
            x.U8(uint8_t(c * 255 / w));
            x.U8(uint8_t(y * 255 / h));
            x.U8(uint8_t(128));
        }
        for (int p = w * 3; p < stride; ++p) x.U8(0);
    }
    return b;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(DrawingCreated, NotesPicturesAndShapesAreReadByOtherPrograms) {
    testfiles::ScratchDir dir;
    const std::string bmpFile = dir.File("photo.bmp");
    const Bytes bmp = GradientBmp(40, 30);
    testfiles::Spit(bmpFile, std::string(bmp.begin(), bmp.end()));

    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    sheet.SetAsString(0, 0, u"Товар");
    sheet.SetAsInteger(2, 3, 125);
    TEscherDrawing& drawing = sheet.Drawing();

    TShapeClientAnchor& shown = drawing.AddNote();
    TShapeOutsideMsoNote* note = TEscherDrawing::NoteOf(shown);
    note->Col = 2;
    note->Row = 3;
    note->Author = u"Касир";
    note->NoteFlags = 0x0002;
    note->SetText(u"Ціна змінена\nз 1 травня");
    TShapeOutsideMsoNote* hidden = TEscherDrawing::NoteOf(drawing.AddNote());
    hidden->SetText(u"Перша клітинка");

    // A BMP file becomes a PNG in the store; the picture frame refers to it.
    TMSOPicture& picture = book.Pictures().AddPictureFile(bmpFile);
    ASSERT_EQ(picture.PictureType, pictype::PNG);
    TShapeClientAnchor& frame = drawing.AddPicture();
    frame.Opt.BlipRef()->Value = 1;
    frame.Anchor.Col1 = 4, frame.Anchor.Row1 = 2, frame.Anchor.Col2 = 7, frame.Anchor.Row2 = 9;
    // The bitmap's picture took the name of a PNG: a file of that name is refused.
    const std::string pngFile = dir.File("photo.png");
    testfiles::Spit(pngFile, std::string(picture.Data.begin(), picture.Data.end()));
    EXPECT_THROW(book.Pictures().AddPictureFile(pngFile), XLSError);

    TShapeClientAnchor& box = drawing.AddTextBox();
    dynamic_cast<TShapeOutsideMsoBaseText&>(*box.Attached).SetText(u"Каса №1");
    box.Anchor.Row1 = 12, box.Anchor.Row2 = 15;
    drawing.AddBasicShape().Anchor.Row1 = 20;
    drawing.AddAutoShape().Anchor.Row1 = 25;

    const std::string file = dir.File("drawings.xls");
    book.SetFilename(fs::path(file).u16string());
    book.Write();
    testfiles::KeepTestOutput(file, "drawings.xls");
    EXPECT_EQ(picture.RefCount, 1u);

    // xlrd: both notes with their authors and texts.
    auto notes = drawingtest::DrawingOracle("notes", {file})[0];
    ASSERT_EQ(notes[0], "OK");
    EXPECT_TRUE(Contains(notes, "N\t0\t3\t2\tКасир\tЦіна змінена\\nз 1 травня"));
    EXPECT_TRUE(Contains(notes, "N\t0\t0\t0\t\tПерша клітинка"));

    // LibreOffice and gnumeric, through .xlsx: the comments at their cells
    // and the picture with the pixels of the bitmap.
    // PIL reads the same pixels from the bitmap as from our PNG.
    auto images = drawingtest::DrawingOracle("png", {bmpFile, pngFile});
    auto pixels = images[1];
    ASSERT_EQ(pixels[0], "OK");
    EXPECT_EQ(images[0], pixels);
    const std::string pictureLine = "I\t0\t4,2\tpng\t40\t30\t" + pixels[1].substr(pixels[1].rfind('\t') + 1);

    testfiles::LibreOfficeConvert({file}, dir.File("lo"), "xlsx");
    testfiles::LibreOfficeConvert({file}, dir.File("lo"), "fods");
    oracle::Run("ssconvert " + oracle::Quote(file) + " " + oracle::Quote(dir.File("gnumeric.xlsx")));
    auto read = drawingtest::DrawingOracle("xlsx", {dir.File("lo/drawings.xlsx"), dir.File("gnumeric.xlsx")});
    const char* programs[] = {"LibreOffice", "gnumeric"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(programs[i]);
        ASSERT_EQ(read[i][0], "OK");
        bool comment = false, first = false;
        for (const auto& l : read[i]) {
            comment |= l.rfind("C\t0\tC4\t", 0) == 0 && l.find("Ціна змінена") != std::string::npos;
            first |= l.rfind("C\t0\tA1\t", 0) == 0 && l.find("Перша клітинка") != std::string::npos;
        }
        EXPECT_TRUE(comment && first);
        EXPECT_TRUE(Contains(read[i], pictureLine));
    }
    const std::string fods = testfiles::Slurp(dir.File("lo/drawings.fods"));
    EXPECT_NE(fods.find("Каса №1"), std::string::npos);

    // A package holds none of them: the write names each kind.
    book.SetVersion(TExcelVersion::xvExcel2007);
    book.SetFilename(fs::path(dir.File("drawings.xlsx")).u16string());
    book.Write();
    const std::vector<std::string> expected = {
        "Sheet 'Sheet1': 2 notes not written to the .xlsx file",
        "Sheet 'Sheet1': 1 picture not written to the .xlsx file",
        "Sheet 'Sheet1': 3 shapes and text boxes not written to the .xlsx file"};
    EXPECT_EQ(book.Warnings(), expected);
}

// The notes of a BIFF5 file are kept as its NOTE records; written as BIFF8
// they become notes of the sheets' drawings, which xlrd reads with the same
// texts at the same cells; written as BIFF5 again the records are as read.
TEST(DrawingCreated, NotesOfOlderFilesSurviveBothVersions) {
    const fs::path original = oracle::RealWorldDir() / "sheetjs-test_files/biff5/comments_stress_test.xls";
    if (oracle::RealWorldDir().empty() || !fs::exists(original))
        GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    TTabrix4 book;
    book.SetFilename(original.u16string());
    book.Read();
    ASSERT_EQ(book.GetVersion(), TExcelVersion::xvExcel50);
    const std::string biff8 = dir.File("notes8.xls"), biff5 = dir.File("notes5.xls");
    book.SetVersion(TExcelVersion::xvExcel97);
    book.SetFilename(fs::path(biff8).u16string());
    book.Write();
    book.SetVersion(TExcelVersion::xvExcel50);
    book.SetFilename(fs::path(biff5).u16string());
    book.Write();
    // The notes stood in the drawings only while the BIFF8 file was written.
    for (int i = 0; i < book.Sheets().Count(); ++i) EXPECT_EQ(book.GetSheet(i).Drawing().ShapeCount(), 0);

    auto notes = drawingtest::DrawingOracle("notes", {original.string(), biff8, biff5});
    ASSERT_EQ(notes[0][0], "OK");
    EXPECT_EQ(notes[0].size(), 28u);
    EXPECT_EQ(notes[1], notes[0]);
    EXPECT_EQ(notes[2], notes[0]);
    auto records = [](const std::string& path) {
        std::vector<drawingtest::Record> out;
        for (auto& r : biffbuild::Records(biffbuild::WorkbookStream(testfiles::Slurp(path))))
            if (r.Id == biff::NOTE) out.push_back(r);
        return out;
    };
    EXPECT_EQ(records(biff5), records(original.string()));
}

// The five controls made through the sheet's control objects: LibreOffice
// imports each with its caption, linked cell and source range.
TEST(DrawingCreated, ControlsAreImportedByLibreOffice) {
    testfiles::ScratchDir dir;
    TTabrix4 book;
    TSheet& sheet = book.GetSheet(0);
    for (int r = 0; r < 10; ++r) sheet.SetAsString(0, r, u"Товар " + Utf8ToWide(std::to_string(r)));
    TControlObjects& controls = sheet.ControlsObjects();
    TControlListBox& list = controls.ListBoxes.Add();
    list.SetSourceArea(u"A1:A10");
    list.SetDestCell(u"C3");
    TControlComboBox& combo = controls.ComboBoxes.Add();
    combo.SetSourceArea(u"$A$1:$A$5");
    combo.SetDestCell(u"C4");
    combo.SetRow1(6), combo.SetRow2(7);
    TControlButton& button = controls.Buttons.Add();
    button.SetText(u"Записати");
    button.SetRow1(9), button.SetRow2(10);
    button.SetMacroName(u"Zapys_Zvitu");
    TControlCheckBox& check = controls.CheckBoxes.Add();
    check.SetText(u"Ваговий");
    check.SetRow1(12), check.SetRow2(13);
    check.SetMacroName(u"zapys_zvitu"); // the same macro name again
    TControlRadioButton& radio = controls.RadioButtons.Add();
    radio.SetText(u"Готівка");
    radio.SetRow1(15), radio.SetRow2(16);
    radio.SetMacroName(u"Oplata");
    // A control whose macro names a name the workbook lacks (as a damaged
    // file may have it): kept as it is, naming nothing.
    TControlButton& stray = controls.Buttons.Add();
    stray.SetRow1(18), stray.SetRow2(19);
    auto& strayControl = static_cast<TShapeControlButton&>(*stray.Shape()->Attached);
    strayControl.Macro = MacroFormula(40);
    EXPECT_EQ(stray.GetMacroName(), u"");
    EXPECT_EQ(book.GetInternalNames().Count(), 2);
    const std::string file = dir.File("controls.xls");
    book.SetFilename(fs::path(file).u16string());
    book.Write();
    testfiles::KeepTestOutput(file, "controls.xls");
    TTabrix4 back;
    back.SetFilename(fs::path(file).u16string());
    back.Read();
    TControlObjects& read = back.GetSheet(0).ControlsObjects();
    ASSERT_EQ(read.Buttons.Count(), 2);
    EXPECT_EQ(read.Buttons[0].GetMacroName(), u"Zapys_Zvitu");
    EXPECT_EQ(read.CheckBoxes[0].GetMacroName(), u"Zapys_Zvitu");
    EXPECT_EQ(read.RadioButtons[0].GetMacroName(), u"Oplata");
    EXPECT_EQ(read.Buttons[1].GetMacroName(), u"");
    EXPECT_EQ(static_cast<TShapeControlButton&>(*read.Buttons[1].Shape()->Attached).Macro, MacroFormula(40));

    testfiles::LibreOfficeConvert({file}, dir.File("lo"), "fods");
    const std::string fods = testfiles::Slurp(dir.File("lo/controls.fods"));
    const char* expected[] = {
        "form:linked-cell=\"Sheet1.C3\"", "form:source-cell-range=\"Sheet1.A1:Sheet1.A10\"",
        "form:dropdown=\"true\"",         "form:linked-cell=\"Sheet1.C4\"",
        "form:label=\"Записати\"",        "<form:checkbox",
        "form:label=\"Ваговий\"",         "<form:radio",
        "form:label=\"Готівка\"",
    };
    for (const char* e : expected) EXPECT_NE(fods.find(e), std::string::npos) << e;

    // The controls as LibreOffice writes them to .xls: our reader takes them.
    testfiles::LibreOfficeConvert({file}, dir.File("lox"), "xls:MS Excel 97");
    TTabrix4 theirs;
    theirs.SetFilename(fs::path(dir.File("lox/controls.xls")).u16string());
    theirs.Read();
    TControlObjects& their = theirs.GetSheet(0).ControlsObjects();
    ASSERT_EQ(their.ListBoxes.Count(), 1);
    EXPECT_EQ(their.ListBoxes[0].GetDestCell(), u"$C$3");
    EXPECT_EQ(their.ListBoxes[0].GetSourceArea(), u"$A$1:$A$10");
    ASSERT_EQ(their.ComboBoxes.Count(), 1);
    EXPECT_EQ(their.ComboBoxes[0].GetDestCell(), u"$C$4");
    ASSERT_EQ(their.Buttons.Count(), 2);
    EXPECT_EQ(their.Buttons[0].GetText(), u"Записати");
    ASSERT_EQ(their.CheckBoxes.Count(), 1);
    EXPECT_EQ(their.CheckBoxes[0].GetText(), u"Ваговий");
    ASSERT_EQ(their.RadioButtons.Count(), 1);
    EXPECT_EQ(their.RadioButtons[0].GetText(), u"Готівка");
}
