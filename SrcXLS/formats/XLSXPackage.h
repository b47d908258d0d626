// What a workbook and each sheet keep of a package besides the model: the
// elements kept as text, the relationships, the style sections kept whole,
// the sheets the model does not hold (chart and dialog sheets) and the
// names of the parts the writer makes anew. Also the parts of a workbook
// that the package reader fills and the package writer writes.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/XLSXRelations.h"
#include "SrcXLS/formats/XLSXSavedTags.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace xls {

class TSheets;
class TSheet;
class TXFonts;
class TCellFormats;
class TEx12CellStyles;
class TSST2;
class TRecordStorageGlobals;
class TFormulaCell;
class TExXMLTag;
class TXLSXmlWriter;
class TFormulaHandler;

// A "sheet" entry of workbook.xml whose part the model does not read.
struct TXLSXKeptSheet {
    int Position = 0;  // among all sheets of the workbook
    std::string Name;  // raw, as in the file
    std::string State; // "" visible, "hidden", "veryHidden"
    std::string RelationId;
};

struct TXLSXBookData {
    TXLSSavedTags SavedTags;
    TXMLRelationsWorkbook Relations;
    // The package's relationships but those the writer makes (workbook,
    // core and extended properties).
    TXMLRelations PackageRelations;
    TXMLExtRelations ExtRelations;
    // styles.xml sections kept whole: dxfs, tableStyles, colors; and the
    // attributes of its root.
    std::array<std::string, 3> StyleFragments;
    std::string StyleRootAttributes;
    int CalcId = 0;
    // calcPr asks for a full calculation on load: the cached values were not
    // computed by the writer (some writers store 0 for every formula).
    bool FullCalcOnLoad = false;
    std::vector<TXLSXKeptSheet> KeptSheets;
    // Parts of the package read that the writer makes anew; they are not
    // copied back.
    std::vector<std::string> ReplacedParts;
    // The font pool holds a placeholder at 4, where a binary workbook has no
    // font, that the package does not: package fonts from 4 on stand one
    // place further in the pool.
    bool FontGap = false;
    // The workbook part as the package read named it ("xl/workbook.xml").
    std::string WorkbookPart;
    // Entries of the package read that failed their checks: they are not
    // copied back, nor are the relationships of kept parts to them.
    std::vector<std::string> DroppedParts;
    // Kept parts whose formulas and sheet names followed sheets renamed or
    // deleted since the read (by lower-case name): written so.
    std::map<std::string, std::string> FollowedParts;

    void Clear() {
        SavedTags.Clear();
        Relations.Clear();
        PackageRelations.Clear();
        ExtRelations.Clear();
        for (auto& f : StyleFragments) f.clear();
        StyleRootAttributes.clear();
        CalcId = 0;
        FullCalcOnLoad = false;
        KeptSheets.clear();
        ReplacedParts.clear();
        FollowedParts.clear();
        FontGap = false;
        WorkbookPart.clear();
        DroppedParts.clear();
    }
};

// The settings of a sheet that a package holds as elements of its part and
// the model holds too (the window's panes and zoom, the margins, the header
// and footer, fitting to pages): as the model held them when the part was
// last read or written, to tell what was set through the model since.
struct TXLSXSheetSettings {
    // Left, right, top, bottom, header, footer (inches).
    std::array<double, 6> Margins = {0.75, 0.75, 1.0, 1.0, 0.5, 0.5};
    std::u16string Header, Footer;
    int PaneType = 0; // TPaneType
    int SplitX = 0, SplitY = 0, LeftCol = 0, TopRow = 0, ActivePane = 3;
    int Zoom = 100;
    bool FitToPage = false;
    int FitWidth = 1, FitHeight = 1;
    bool SamePane(const TXLSXSheetSettings& o) const {
        return PaneType == o.PaneType && SplitX == o.SplitX && SplitY == o.SplitY && LeftCol == o.LeftCol &&
               TopRow == o.TopRow && ActivePane == o.ActivePane;
    }
};

struct TXLSXSheetData {
    TXLSSavedTags SavedTags;
    TXMLRelations Relations;
    // Areas of the shared formulas by their index, and of the array
    // formulas by their cell (row << 16 | column).
    std::map<int, std::string> SharedAreas;
    std::map<uint64_t, std::string> ArrayAreas;
    // Formulas read without a cached value (row << 16 | column): none is
    // written for them either.
    std::set<uint64_t> Uncached;
    // The workbook relationship of a sheet whose part is written back as it
    // was read (a macro sheet); empty for a worksheet the writer makes.
    std::string KeptRelationId;
    // The sheet's part in the package read; its relationships' targets are
    // relative to it.
    std::string SourcePart;
    // mc:AlternateContent elements of the part that the model does not hold.
    int AlternateContents = 0;
    TXLSXSheetSettings Settings;

    void Clear() {
        SavedTags.Clear();
        Relations.Clear();
        SharedAreas.clear();
        ArrayAreas.clear();
        Uncached.clear();
        KeptRelationId.clear();
        SourcePart.clear();
        AlternateContents = 0;
        Settings = {};
    }
};

// The parts of a workbook the package reader and writer work on.
struct TXLSXWorkbook {
    TSheets* Sheets = nullptr;
    TXFonts* Fonts = nullptr;
    TCellFormats* Formats = nullptr;      // the cell formats, package xf 0 at 21
    TCellFormats* StyleFormats = nullptr; // the style formats of cellStyleXfs
    TEx12CellStyles* CellStyles = nullptr;
    TSST2* Strings = nullptr;
    TRecordStorageGlobals* Globals = nullptr;
    TXLSXBookData* Book = nullptr;
    // The version of the file the workbook was read from (xvNone: made here).
    TExcelVersion OrigVersion = TExcelVersion::xvNone;
    // The workbook part gets the macro-enabled content type.
    bool MacroEnabled = false;
    // The package read last, whose other parts are written back.
    std::vector<uint8_t> KeptPackage;
    // A formula goes without its value: the package asks for a full
    // calculation on load.
    bool CalculateOnLoad = false;
    // Receives what a read or write leaves behind, one line each.
    std::function<void(std::string)> Warn;

    // The formula text of a cell in file syntax; empty when it has none.
    std::function<std::string(TSheet& sheet, TFormulaCell& cell)> FormulaText;
    // The defined names and the formula text of token formulas.
    TFormulaHandler* Formulas = nullptr;
};

} // namespace xls
