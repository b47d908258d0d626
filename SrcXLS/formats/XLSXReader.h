// The package reader: an Office Open XML spreadsheet package into the
// workbook model. The parts are found through the package's relationships
// (the usual part names only when a package has none), each part is fed to
// the tokenizer, and every finished element arrives by its id. What the
// model holds goes into it; the other elements of workbook.xml and of each
// worksheet are kept as text for the writer, with markers where the writer
// puts what it makes itself.
#pragma once

#include "SrcXLS/formats/XLSXPackage.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/formats/XLSZip.h"

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class TSheet;
class TCellFormatEx12;
class TXFont;
class TXFontEx12;
class TXLSWideStringList;
struct TFormulaResult;

class TXLS2007Reader : public TXLSExcelXmlReader {
public:
    enum TPartKind : uint8_t {
        pkNone,
        pkWorkbook,
        pkWorkbookRels,
        pkPackageRels,
        pkStyles,
        pkSheet,
        pkSheetRels,
        pkSharedStrings,
        pkTheme,
    };

    explicit TXLS2007Reader(TXLSXWorkbook& book) : book(book) {}
    // Reads the package held in data; the model keeps what was read when it
    // raises.
    void ReadPackage(std::span<const uint8_t> data, const TZipLimits& limits = {});

    // Parts larger than this are parsed in pieces of this size as they inflate.
    size_t PieceSize = size_t(1) << 20;

protected:
    void OnTagStart(int elementId, TExXMLTag& tag) override;
    bool OnTag(int elementId, TExXMLTag& tag) override;
    THold HoldOf(int elementId, const TExXMLTag& tag) const override;

private:
    // A text read piece by piece as its elements end: the pieces a cell
    // holds, each with its font, and the length of them all. The string of
    // the "si" being read, and the inline string of the cell being read.
    struct TTextRead {
        std::vector<std::pair<std::u16string, int>> Pieces;
        size_t Kept = 0, Length = 0;
        bool Rich = false;
        void Clear();
        // Whether a piece of that many characters adds to what is kept.
        bool Takes(size_t n) const;
        void Add(std::u16string_view text, int font);
        std::u16string Text() const;
    };
    struct TRel {
        std::string Id, TypeName, Target;
        bool External = false;
    };
    void ReadPart(const std::string& name, TPartKind kind);
    // The name, when the package has that part; else the read ends.
    std::string RequirePart(const std::string& name) const;
    std::vector<TRel> ReadRelations(const std::string& part, TXMLRelations* keep);
    std::vector<TRel> ReadSheetRelations(const std::string& part, TXMLRelations& keep);
    void ReadStyles(const std::string& part);
    void DropUnknownRelationIds();
    void FindDamagedKeptParts(const std::set<std::string>& replaced, std::set<std::string>& damaged);
    bool HasRelation(std::string_view type) const;
    // Names the elements of a part its read left out for their nesting.
    void WarnCut(const std::string& part, int64_t before);
    bool TopLevel(const TExXMLTag& tag) const;

    void MapWorkbookRelations();
    void ReadExternalLinks();
    void ReadTables(const std::string& sheetPart, const std::vector<TRel>& sheetRels);
    bool WorkbookTag(int id, TExXMLTag& tag);
    void ReadDefinedName(TExXMLTag& tag);
    bool StylesTag(int id, TExXMLTag& tag);
    // An item of a section of the styles, as it ends.
    bool StyleItem(int section, int id, TExXMLTag& tag);
    void PutRichInline(TSheet& sheet, int col, int row, int format);
    // A font of the package into the pool, past the placeholder at 4.
    TXFont* AddFont(const TXFontEx12& font);
    void PrepareCellFormats();
    bool SheetTag(int id, TExXMLTag& tag);
    bool StringsTag(int id, TExXMLTag& tag);
    void AddSharedString();
    bool ThemeTag(TExXMLTag& tag);
    void DropDamagedParts();
    // Kept texts within the package's budget (see KeptBudget).
    bool TakeText(TExXMLTag& tag, int id, std::string& text);
    void KeepTag(TXLSSavedTags& tags, TExXMLTag& tag, int id);
    std::string KeptRootAttributes(const TExXMLTag& tag);
    void LeaveOut(std::string what);
    void WarnLeftOut(const std::string& part);
    // A "c" being read: where it stands, its format, its type and the
    // children that hold its value, formula and inline string.
    struct TCellRead {
        int Col = 0, Row = 0, Format = 0;
        std::string_view Type;
        TExXMLTag *V = nullptr, *F = nullptr, *Is = nullptr;
    };
    void ReadCell(TExXMLTag& c);
    // Where a cell stands; false when its row is passed over.
    bool PlaceCell(TExXMLTag& c, int& col, int& row);
    std::u16string CellString(const TCellRead& cell) const;
    // The value a formula cell's "v" holds, read as its type says.
    TFormulaResult CachedResult(const TCellRead& cell) const;
    // False when the formula has no text to keep, and the cell its value.
    bool PutFormulaCell(const TCellRead& cell);
    // The range and anchor cell of the shared formula si.
    void KeepSharedAnchor(const TCellRead& cell, int64_t si);
    // A cell without a formula, by its type.
    void PutValueCell(const TCellRead& cell);
    void PutNumberCell(TSheet& sheet, const TCellRead& cell);
    void PutSharedStringCell(TSheet& sheet, const TCellRead& cell);
    void PutTextCell(TSheet& sheet, const TCellRead& cell);
    void PutBooleanCell(TSheet& sheet, const TCellRead& cell);
    void PutErrorCell(TSheet& sheet, const TCellRead& cell);
    void PutDateCell(TSheet& sheet, const TCellRead& cell);
    void ReadRow(TExXMLTag& row);
    void ReadCols(TExXMLTag& col);
    void ReadXf(TExXMLTag& xf, TCellFormatEx12& format, bool cellVariant);
    // A "t" or "r" of a string, read into text as it ends (with the font of
    // a run, in a rich one).
    void ReadStringPiece(TExXMLTag& piece, TTextRead& text, bool rich);
    int CellFormat(int64_t s) const;

    TXLSXWorkbook& book;
    TXLSZipArchive zip;
    TPartKind kind = pkNone;
    std::string partName;
    std::string workbookPart;
    std::vector<TRel>* relations = nullptr; // of the part being read
    TXMLRelations* keepList = nullptr;      // receives the kept ones
    std::vector<TRel> workbookRels;
    // By Id: the last of an Id, a sheet's before any other.
    std::map<std::string, size_t, std::less<>> workbookRelById;
    TSheet* current = nullptr;
    int sheetCount = 0;   // "sheet" elements read as sheets or kept
    int sheetsListed = 0; // every "sheet" element: local names count by them
    struct TSheetPart {
        TSheet* Sheet;
        std::string Part;
    };
    std::vector<TSheetPart> sheetParts;
    // The model's sheet of each "sheet" element that became one.
    std::map<int, int> modelSheetAt;
    int64_t lastRow = -1;
    int lastCol = -1;
    bool skipRow = false; // a row numbered 0
    // Texts longer than a cell holds, cut as they are stored: the length
    // of each shared string cut (by its index), and of the sheet being
    // read the count and the first cell, for its warning.
    std::map<int64_t, size_t> cutStrings;
    int cutTexts = 0;
    std::string firstCut;
    size_t firstCutLength = 0;
    void NoteCut(int col, int row, size_t length);
    void WarnCutTexts();
    int64_t columnsSet = 0;
    TTextRead sharedText, inlineText;
    // The shared strings the package holds (rich inline strings join the
    // read list after them).
    int sharedCount = 0;
    // The number formats of the styles, added together at the section's end.
    std::vector<std::pair<int, std::u16string>> numberFormats;
    uint64_t keepBudget = 0;
    std::vector<std::string> leftOut; // of the part being read
    // The colours theme numbers stand for.
    TThemeColors theme = DefaultThemeColors();
};

// An ISO 8601 date and time ("2024-01-31T12:30:00Z") as a serial day
// number; false when the text is not one.
bool IsoDateToSerial(std::string_view text, bool date1904, double& serial);

} // namespace xls
