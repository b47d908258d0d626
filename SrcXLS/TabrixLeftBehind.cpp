#include "SrcXLS/TabrixLeftBehind.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/drawing/Shapes.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formats/VBAProject.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/model/AutoFilters.h"
#include "SrcXLS/model/ConditionalFormats.h"
#include "SrcXLS/model/DataValidations.h"
#include "SrcXLS/model/Hyperlinks.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Sheet.h"

#include <map>
#include <string>
#include <string_view>

namespace xls {

namespace {

std::string SheetName(const TSheet& sheet) {
    return "Sheet '" + WideToUtf8(sheet.Name()) + "'";
}

// "3 notes", "1 note".
std::string Counted(int n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The shapes of a binary sheet by what they are.
struct TShapeCounts {
    int Notes = 0, Pictures = 0, Charts = 0, Controls = 0, Shapes = 0, FilterArrows = 0;
};

TShapeCounts CountShapes(TSheet& sheet) {
    TShapeCounts n;
    TEscherDrawing& drawing = sheet.Drawing();
    for (int i = 0; i < drawing.ShapeCount(); ++i) {
        const TShape& shape = drawing.Shape(i);
        switch (shape.ObjectType()) {
        case objtype::Note:
            ++n.Notes;
            break;
        case objtype::Picture:
            ++n.Pictures;
            break;
        case objtype::Chart:
            ++n.Charts;
            break;
        case objtype::ComboBox:
            // The drop-down arrows of an autofilter go with it.
            if (shape.Attached && shape.Attached->IsUIObject())
                ++n.FilterArrows;
            else
                ++n.Controls;
            break;
        case objtype::Button:
        case objtype::CheckBox:
        case objtype::RadioButton:
        case objtype::Label:
        case objtype::ScrollBar:
        case objtype::ListBox:
        case objtype::GroupBox:
            ++n.Controls;
            break;
        default:
            ++n.Shapes;
        }
    }
    return n;
}

// Margins, a scale, page breaks or landscape pages of their own (the SETUP
// options: bit 1 portrait, bit 2 no printer settings).
bool PageSetUp(const TPrintSettings& print) {
    const uint16_t options = print.GetOptions().Bits();
    const uint16_t scale = print.GetScalingFactor();
    return print.GetMarginLeft() >= 0 || print.GetMarginRight() >= 0 || print.GetMarginTop() >= 0 ||
           print.GetMarginBottom() >= 0 || (scale != 0 && scale != 100) ||
           print.HorizPagebreaks().Count() > 0 || print.VertPagebreaks().Count() > 0 || (options & 6) == 0;
}

// Kept package elements of a sheet by what a reader sees in them; an
// element not named here holds settings of little weight (default sizes,
// ignored errors) and is left without a word.
const std::map<int, std::string_view>& PackageElementKinds() {
    static const std::map<int, std::string_view> kinds = {
        {etconditionalFormatting, "conditional formats"},
        {etdataValidations, "data validations"},
        {ethyperlinks, "hyperlinks"},
        {etautoFilter, "the autofilter"},
        {etdrawing, "the drawing (pictures, charts, shapes)"},
        {etlegacyDrawing, "notes and older form controls"},
        {etlegacyDrawingHF, "header and footer pictures"},
        {etpicture, "the background picture"},
        {etoleObjects, "OLE objects"},
        {etcontrols, "form controls"},
        {ettableParts, "tables"},
        {etsheetProtection, "sheet protection"},
        {etprotectedRanges, "protected ranges"},
        {etscenarios, "scenarios"},
        {etpageSetup, "the page setup"},
        {etheaderFooter, "headers and footers"},
        {etprintOptions, "print options"},
        {etrowBreaks, "page breaks"},
        {etcolBreaks, "page breaks"},
        {etcustomSheetViews, "custom views"},
        {etextLst, "extensions (newer conditional formats, sparklines, slicers)"},
    };
    return kinds;
}

// An element that switches something on: an attribute whose name starts
// with the prefix set to "1" or "true" (an empty protection element
// protects nothing).
bool Switched(const std::string& text, std::string_view prefix) {
    for (size_t at = text.find(' '); at != std::string::npos; at = text.find(' ', at + 1)) {
        const size_t eq = text.find('=', at);
        if (eq == std::string::npos) break;
        if (text.compare(at + 1, prefix.size(), prefix) != 0) continue;
        const std::string_view value = std::string_view(text).substr(eq + 1, 6);
        if (value.starts_with("\"1\"") || value.starts_with("\"true\"") || value.starts_with("'1'"))
            return true;
    }
    return false;
}

void WarnAlternateContent(TTabrix4& book, TSheet& sheet, std::string_view target) {
    const int n = sheet.PackageData().AlternateContents;
    if (n > 0)
        book.AddWarning(SheetName(sheet) + ": " +
                        Counted(n, "mc:AlternateContent element", "mc:AlternateContent elements") +
                        " (newer form controls, OLE objects) not written to " + std::string(target));
}

} // namespace

void WarnBinaryLeftBehind(TTabrix4& book) {
    const std::string target = "the .xlsx file";
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        const std::string name = SheetName(sheet);
        auto warn = [&](const std::string& what) {
            book.AddWarning(name + ": " + what + " not written to " + target);
        };
        const TShapeCounts shapes = CountShapes(sheet);
        if (shapes.Notes) warn(Counted(shapes.Notes, "note", "notes"));
        if (shapes.Pictures) warn(Counted(shapes.Pictures, "picture", "pictures"));
        if (shapes.Charts) warn(Counted(shapes.Charts, "chart", "charts"));
        if (shapes.Controls) warn(Counted(shapes.Controls, "form control", "form controls"));
        if (shapes.Shapes) warn(Counted(shapes.Shapes, "shape or text box", "shapes and text boxes"));
        if (sheet.Pane().PaneType == TPaneType::ptFrozen) warn("the frozen panes");
        if (sheet.Pane().PaneType == TPaneType::ptSplit) warn("the split panes");
        if (sheet.Records().GetProtect() != 0) warn("sheet protection");
        const TPrintSettings& print = sheet.PrintSettings();
        if (!print.GetHeader().empty() || !print.GetFooter().empty()) warn("the header and footer");
        if (PageSetUp(print)) warn("the page setup");
    }
    if (int n = book.ChartSheets().Count())
        book.AddWarning("Workbook: " + Counted(n, "chart sheet", "chart sheets") + " not written to " +
                        target);
    if (book.VBA().HasContent())
        book.AddWarning("Workbook: the VBA project (macros) not written to " + target);
}

void WarnPackageLeftBehind(TTabrix4& book, bool toBinary) {
    const std::string target = toBinary ? "the .xls file" : "the .xlsx file";
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        WarnAlternateContent(book, sheet, target);
        if (!toBinary) continue;
        const TXLSXSheetData& sd = sheet.PackageData();
        std::map<std::string_view, bool> named;
        for (int i = 0; i < sd.SavedTags.Count(); ++i) {
            const int id = sd.SavedTags.ElementId(i);
            auto kind = PackageElementKinds().find(id);
            std::string_view what;
            if (id == etsheetProtection && !Switched(sd.SavedTags.Text(i), "sheet")) continue;
            if (kind != PackageElementKinds().end())
                what = kind->second;
            else if (id == etsheetViews && sd.SavedTags.Text(i).find("pane") != std::string::npos)
                what = "the frozen or split panes";
            else if (id == etsheetPr && sd.SavedTags.Text(i).find("tabColor") != std::string::npos)
                what = "the tab colour";
            if (what.empty() || named[what]) continue;
            named[what] = true;
            book.AddWarning(SheetName(sheet) + ": " + std::string(what) + " not written to " + target);
        }
        for (int i = 0; i < sd.Relations.Count(); ++i)
            if (sd.Relations.Item(i).TypeName == "pivotTable") {
                book.AddWarning(SheetName(sheet) + ": pivot tables not written to " + target);
                break;
            }
    }
    if (!toBinary) return;
    const TXLSXBookData& bd = book.PackageData();
    for (const TXLSXKeptSheet& k : bd.KeptSheets)
        book.AddWarning("Sheet '" + XMLDecodeTextUtf8(k.Name) +
                        "' (a chart sheet or a sheet of another kind) not written to " + target);
    for (int i = 0; i < bd.Relations.Count(); ++i)
        if (bd.Relations.Item(i).Kind == rkVbaProject)
            book.AddWarning("Workbook: the VBA project (macros) not written to " + target);
    for (int i = 0; i < bd.SavedTags.Count(); ++i)
        if (bd.SavedTags.ElementId(i) == etworkbookProtection && Switched(bd.SavedTags.Text(i), "lock"))
            book.AddWarning("Workbook: workbook protection not written to " + target);
}

} // namespace xls
