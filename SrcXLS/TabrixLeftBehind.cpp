#include "SrcXLS/TabrixLeftBehind.h"

#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ChartRecords.h"
#include "SrcXLS/drawing/EscherDrawing.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "SrcXLS/drawing/Shapes.h"
#include "SrcXLS/formats/BIFFRecords.h"
#include "SrcXLS/formats/DefaultRecords.h"
#include "SrcXLS/formats/KeptRecords.h"
#include "SrcXLS/formats/VBAProject.h"
#include "SrcXLS/formats/XLSXSheetSettings.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/model/AutoFilters.h"
#include "SrcXLS/model/ConditionalFormats.h"
#include "SrcXLS/model/DataValidations.h"
#include "SrcXLS/model/Hyperlinks.h"
#include "SrcXLS/model/PrintSettings.h"
#include "SrcXLS/model/Sheet.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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

// The drawing of a sheet as a warning names what it leaves: a line a kind.
std::vector<std::string> ShapesByKind(TSheet& sheet) {
    const TShapeCounts n = CountShapes(sheet);
    std::vector<std::string> out;
    if (n.Notes) out.push_back(Counted(n.Notes, "note", "notes"));
    if (n.Pictures) out.push_back(Counted(n.Pictures, "picture", "pictures"));
    if (n.Charts) out.push_back(Counted(n.Charts, "chart", "charts"));
    if (n.Controls) out.push_back(Counted(n.Controls, "form control", "form controls"));
    if (n.Shapes) out.push_back(Counted(n.Shapes, "shape or text box", "shapes and text boxes"));
    return out;
}

// The pivot tables a binary sheet keeps as read (one SXVIEW each).
int PivotTables(TSheet& sheet) {
    constexpr uint16_t SXVIEW = 0x00B0;
    int n = 0;
    for (int i = 0; i < sheet.Records().Count(); ++i) n += sheet.Records().GetItem(i).Id() == SXVIEW;
    return n;
}

// The panes of a sheet as a warning names them; none when it has none.
const char* Panes(TSheet& sheet) {
    switch (sheet.Pane().PaneType) {
    case TPaneType::ptFrozen:
        return "the frozen panes";
    case TPaneType::ptSplit:
        return "the split panes";
    default:
        return nullptr;
    }
}

// Margins, a scale, fitting to pages, page breaks or landscape pages of
// their own: what a new sheet does not have.
bool PageSetUp(TSheet& sheet) {
    const TPrintSettings& print = sheet.PrintSettings();
    const double margins[] = {print.GetMarginLeft(), print.GetMarginRight(), print.GetMarginTop(),
                              print.GetMarginBottom()};
    for (size_t i = 0; i < std::size(margins); ++i)
        if (margins[i] >= 0 && margins[i] != TPrintSettings::DefaultMargins[i]) return true;
    const uint16_t scale = print.GetScalingFactor();
    return (scale != 0 && scale != 100) || (sheet.GetWorkspaceOptions() & woFitToPage) ||
           print.HorizPagebreaks().Count() > 0 || print.VertPagebreaks().Count() > 0 ||
           !print.GetOptions().Contains(TPrintSetupOption::psoPortrait);
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
        for (const std::string& kind : ShapesByKind(sheet)) warn(kind);
        if (const int n = PivotTables(sheet)) warn(Counted(n, "pivot table", "pivot tables"));
        if (const char* panes = Panes(sheet)) warn(panes);
        if (sheet.Records().GetProtect() != 0) warn("sheet protection");
        const TPrintSettings& print = sheet.PrintSettings();
        if (!print.GetHeader().empty() || !print.GetFooter().empty()) warn("the header and footer");
        if (PageSetUp(sheet)) warn("the page setup");
    }
    if (int n = book.ChartSheets().Count())
        book.AddWarning("Workbook: " + Counted(n, "chart sheet", "chart sheets") + " not written to " +
                        target);
    if (book.VBA().HasContent())
        book.AddWarning("Workbook: the VBA project (macros) not written to " + target);
}

void WarnMadeLeftBehind(TTabrix4& book) {
    const std::string target = "the .xlsx file";
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        const std::string name = SheetName(sheet);
        // A package's own drawings and protection are kept as its parts and
        // elements: the model holds only what was made through it.
        for (const std::string& kind : ShapesByKind(sheet))
            book.AddWarning(name + ": " + kind + " not written to " + target);
        if (sheet.Records().GetProtect() != 0)
            book.AddWarning(name + ": sheet protection not written to " + target);
        // The page setup the package writer carries is margins, header and
        // footer and fitting to pages.
        const TPrintSettings& print = sheet.PrintSettings();
        const uint16_t scale = print.GetScalingFactor();
        if ((scale != 0 && scale != 100) || !print.GetOptions().Contains(TPrintSetupOption::psoPortrait) ||
            print.HorizPagebreaks().Count() > 0 || print.VertPagebreaks().Count() > 0)
            book.AddWarning(name + ": the page setup (scale, orientation, page breaks) not written to " +
                            target);
    }
    if (int n = book.ChartSheets().Count())
        book.AddWarning("Workbook: " + Counted(n, "chart sheet", "chart sheets") + " not written to " +
                        target);
}

namespace {

// Areas beyond a sheet's limits: those that start beyond are left out, the
// others cut; the first of each named.
struct TBeyond {
    uint32_t LastCol = 255, LastRow = 65535;
    std::string LastColName = "IV";
    int Out = 0, Cut = 0;
    std::u16string FirstOut, FirstCut;
    // Whether the area is affected.
    bool Add(uint32_t col1, uint32_t row1, uint32_t col2, uint32_t row2) {
        const std::u16string text =
            col1 == col2 && row1 == row2
                ? ColRowToRefStr(int(col1), int(row1), false, false)
                : AreaToRefStr(int(col1), int(row1), int(col2), int(row2), false, false, false, false);
        if (col1 > LastCol || row1 > LastRow) {
            if (Out++ == 0) FirstOut = text;
            return true;
        }
        if (col2 > LastCol || row2 > LastRow) {
            if (Cut++ == 0) FirstCut = text;
            return true;
        }
        return false;
    }
    void Warn(TTabrix4& book, const std::string& sheet, std::string_view one, std::string_view many,
              const std::string& target) const {
        const std::string limit = "column " + LastColName + " or row " + std::to_string(LastRow + 1);
        if (Out)
            book.AddWarning(sheet + ": " + Counted(Out, one, many) + " beyond " + limit + " not written to " +
                            target + " (first: " + WideToUtf8(FirstOut) + ")");
        if (Cut)
            book.AddWarning(sheet + ": " + Counted(Cut, one, many) + " cut at " + limit + " in " + target +
                            " (first: " + WideToUtf8(FirstCut) + ")");
    }
};

// Merged areas that share cells with an earlier one (changed through their
// fields): no file holds both.
void WarnOverlappingMerged(TTabrix4& book, TSheet& sheet, const std::string& target) {
    const std::vector<bool> overlapping = sheet.MergedCells().LaterOverlapping();
    const int n = int(std::count(overlapping.begin(), overlapping.end(), true));
    if (n > 0)
        book.AddWarning(SheetName(sheet) + ": " + Counted(n, "merged area", "merged areas") +
                        " sharing cells with an earlier one not written to " + target);
}

} // namespace

void WarnBeyondBinaryLimits(TTabrix4& book, TExcelVersion version) {
    const bool biff8 = version >= TExcelVersion::xvExcel97;
    const std::string target = biff8 ? ".xls" : ".xls (Excel 5)";
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        TBeyond merged, formats, links;
        merged.LastRow = formats.LastRow = links.LastRow = uint32_t(LastFileRow(version));
        const TMergedCells& areas = sheet.MergedCells();
        for (int i = 0; i < areas.Count(); ++i)
            merged.Add(areas[i].Col1, areas[i].Row1, areas[i].Col2, areas[i].Row2);
        merged.Warn(book, SheetName(sheet), "merged area", "merged areas", target);
        WarnOverlappingMerged(book, sheet, target);
        if (const char* panes = Panes(sheet);
            panes && !sheet.Pane().FitsWithin(MaxColumn(version), LastFileRow(version)))
            book.AddWarning(SheetName(sheet) + ": " + panes + " beyond column IV or row " +
                            std::to_string(LastFileRow(version) + 1) + " not written to " + target);
        // Excel 5 files get neither (the write names them as a whole).
        if (!biff8) continue;
        for (int i = 0; i < sheet.ConditionalFormats().Count(); ++i) {
            const TBaseCellAreas& cf = sheet.ConditionalFormats().Items(i).Areas;
            for (int k = 0; k < cf.Count(); ++k)
                if (formats.Add(cf[k].Col1, cf[k].Row1, cf[k].Col2, cf[k].Row2)) break;
        }
        formats.Warn(book, SheetName(sheet), "conditional format", "conditional formats", target);
        for (int i = 0; i < sheet.Hyperlinks().Count(); ++i) {
            const THyperlink& h = sheet.Hyperlinks().Items(i);
            links.Add(uint32_t(h.Col1), uint32_t(h.Row1), uint32_t(h.Col2), uint32_t(h.Row2));
        }
        links.Warn(book, SheetName(sheet), "hyperlink", "hyperlinks", target);
    }
}

void WarnBeyondPackageLimits(TTabrix4& book) {
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        TBeyond merged;
        merged.LastCol = uint32_t(MaxColumn(TExcelVersion::xvExcel2007));
        merged.LastRow = uint32_t(MaxRow(TExcelVersion::xvExcel2007));
        merged.LastColName = "XFD";
        const TMergedCells& areas = sheet.MergedCells();
        for (int i = 0; i < areas.Count(); ++i)
            merged.Add(areas[i].Col1, areas[i].Row1, areas[i].Col2, areas[i].Row2);
        merged.Warn(book, SheetName(sheet), "merged area", "merged areas", "the .xlsx file");
        WarnOverlappingMerged(book, sheet, "the .xlsx file");
    }
}

void WarnOlderRecordsLeftBehind(TTabrix4& book, TExcelVersion version) {
    const TExcelVersion read = book.GetOrigVersion();
    if (read == TExcelVersion::xvExcel2007 || read == version) return;
    const std::string target = version >= TExcelVersion::xvExcel97   ? ".xls"
                               : version == TExcelVersion::xvExcel50 ? ".xls (Excel 5)"
                                                                     : ".xls (Excel 4)";
    static const char* const versions[] = {"Excel 2", "Excel 3", "Excel 4", "Excel 5", "Excel 97"};
    const bool known = read >= TExcelVersion::xvExcel21 && read <= TExcelVersion::xvExcel97;
    const std::string file =
        known ? std::string("the ") + versions[int(read) - int(TExcelVersion::xvExcel21)] + " file"
              : std::string("the file read");
    constexpr uint16_t OBJ = 0x005D, NOTE = 0x001C;
    const bool older = read <= TExcelVersion::xvExcel50;
    // The records the writer leaves out (of an Excel 4 file's, those of the
    // first sheet: the others go whole). Of older files: the drawing objects
    // are counted on their own, the notes become notes of the drawing of an
    // Excel 97 file, and the names and their link table go in the layout of
    // the version written.
    auto leftOut = [&](const std::string& where, const TRecordStorageDefault& list) {
        const TKeptLeftOut left =
            older ? KeptRecordsLeftOut(list, read, version,
                                       {OBJ, version >= TExcelVersion::xvExcel97 ? NOTE : uint16_t(0xFFFF),
                                        0x0016, 0x0017, 0x0018, 0x0023, 0x0218, 0x0223})
                  : KeptRecordsLeftOut(list, read, version);
        if (left.Substreams)
            book.AddWarning(
                where + ": " +
                Counted(left.Substreams, "embedded chart of " + file, "embedded charts of " + file) +
                " not written to " + target);
        if (left.Names.empty()) return;
        std::string names;
        for (const std::string& n : left.Names) names += (names.empty() ? "" : ", ") + n;
        book.AddWarning(where + ": records of " + file + " not written to " + target +
                        (version >= TExcelVersion::xvExcel50
                             ? " (their layout differs there): "
                             : " (it holds only the records the library makes): ") +
                        names);
    };
    leftOut("Workbook", book.GlobalsStorage());
    for (int s = 0; s < book.Sheets().Count(); ++s) {
        TSheet& sheet = book.GetSheet(s);
        int n = 0;
        for (int i = 0; older && i < sheet.Records().Count(); ++i)
            n += sheet.Records().GetItem(i).Id() == OBJ;
        if (n)
            book.AddWarning(
                SheetName(sheet) + ": " +
                Counted(n, "drawing object of the older file", "drawing objects of the older file") +
                " not written to " + target);
        if (version >= TExcelVersion::xvExcel50 || s == 0) leftOut(SheetName(sheet), sheet.Records());
    }
}

namespace {

// The page setup of a sheet that an Excel 5 or Excel 4 file cannot hold:
// headers and footers of more than 255 characters; in Excel 4 the header
// and footer margins and the number of copies.
void WarnOlderPageSetup(TTabrix4& book, TSheet& sheet, bool biff4, const std::string& target) {
    const TPrintSettings& print = sheet.PrintSettings();
    for (const auto& [what, text] :
         {std::pair{"the header", &print.GetHeader()}, {"the footer", &print.GetFooter()}})
        if (text->size() > 255)
            book.AddWarning(SheetName(sheet) + ": " + what + " (" + std::to_string(text->size()) +
                            " characters) cut to 255 in " + target);
    if (!biff4) return;
    // A new sheet's header and footer margins are half an inch.
    if (print.GetHeaderMargin() != 0.5 || print.GetFooterMargin() != 0.5)
        book.AddWarning(SheetName(sheet) + ": the header and footer margins not written to " + target);
    if (print.GetCopies() > 1)
        book.AddWarning(SheetName(sheet) + ": the number of copies not written to " + target);
}

} // namespace

void WarnOlderBinaryLeftBehind(TTabrix4& book, TExcelVersion version) {
    const bool biff4 = version < TExcelVersion::xvExcel50;
    const std::string target = biff4 ? ".xls (Excel 4)" : ".xls (Excel 5)";
    // A BIFF4 file holds one worksheet.
    const int sheets = biff4 ? std::min(book.Sheets().Count(), 1) : book.Sheets().Count();
    for (int s = 0; s < sheets; ++s) {
        TSheet& sheet = book.GetSheet(s);
        auto warn = [&](const std::string& what) {
            book.AddWarning(SheetName(sheet) + ": " + what + " not written to " + target);
        };
        if (int n = sheet.ConditionalFormats().Count())
            warn(Counted(n, "conditional format", "conditional formats"));
        if (int n = sheet.Validations().Count()) warn(Counted(n, "data validation", "data validations"));
        if (int n = sheet.Hyperlinks().Count()) warn(Counted(n, "hyperlink", "hyperlinks"));
        if (sheet.AutoFilters().Count() > 0) warn("the autofilter");
        WarnOlderPageSetup(book, sheet, biff4, target);
        if (biff4 && (sheet.Records().GetProtect() != 0 || sheet.SheetProtection != FullSheetProtection))
            warn("sheet protection");
        else if (sheet.SheetProtection != FullSheetProtection)
            warn("what the sheet's protection allows");
        if (!biff4) continue;
        if (int n = sheet.MergedCells().Count()) warn(Counted(n, "merged area", "merged areas"));
        if (const char* panes = Panes(sheet)) warn(panes);
        for (const std::string& kind : ShapesByKind(sheet)) warn(kind);
    }
    if (biff4) {
        if (int n = book.Sheets().Count() + book.ChartSheets().Count() - sheets)
            book.AddWarning("Workbook: " + Counted(n, "sheet after the first", "sheets after the first") +
                            " not written to " + target + " (it holds one sheet)");
        if (book.VBA().HasContent())
            book.AddWarning("Workbook: the VBA project (macros) not written to " + target);
    }
    // The names a file does not hold are named when the names are written.
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
            else if (id == etsheetViews && FindElement(sd.SavedTags.Text(i), "pane") != std::string::npos)
                what = "the frozen or split panes";
            else if (id == etsheetPr && FindElement(sd.SavedTags.Text(i), "tabColor") != std::string::npos)
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
