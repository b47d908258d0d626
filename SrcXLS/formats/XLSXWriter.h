// The package writer: the workbook model as an Office Open XML spreadsheet
// package. Every part is made here, in a fixed order, and what the reader
// kept is put back: the other entries of the package read (copied as they
// are stored), the elements of workbook.xml and of each worksheet that the
// model does not hold, and the kept style sections. Worksheet parts are made
// while the archive is written, a few thousand cells at a time.
#pragma once

#include "SrcXLS/formats/XLSXPackage.h"
#include "SrcXLS/formats/XLSXmlTags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace xls {

class TCellFormat;
class TSheet;
struct TXLSXRangeElements;

std::string_view DefaultThemeText();

// Deflate level of the parts (fast: worksheets are most of a package).
constexpr int PackageDeflateLevel = 1;

// The name a sheet is written under in a package, and why it differs from
// the model's (empty: it does not).
struct TPackageSheetName {
    std::u16string Name;
    std::string Reason;
};
// The names of sheets (in order) as a package holds them: each of
// [ ] : * ? / \ of a name becomes "_", a name longer than 31 characters is
// cut to 31, and a name so made that another one (or one of others, the
// kept sheets' names) already has, without regard to case, gets "_2",
// "_3"... Names a package can hold stay as they are.
std::vector<TPackageSheetName> PackageSheetNames(const std::vector<std::u16string>& names,
                                                 const std::vector<std::u16string>& others = {});

class TXLS2007Writer {
public:
    explicit TXLS2007Writer(TXLSXWorkbook& book) : book(book) {}

    // The whole package as bytes, or written into an open file (fd) while
    // the archive is made.
    std::vector<uint8_t> WritePackage(int fd = -1);

    // Single parts, for the package writer and its tests.
    std::string WorkbookPart(const TXMLRelationsWorkbook::TRebuilt& ids);
    std::string StylesPart();
    std::string SharedStringsPart();
    std::string CorePropertiesPart(int64_t unixTime) const;
    std::string AppPropertiesPart() const;
    static std::string RelationshipsPart(const TXMLRelations& relations);
    // The style index ("s") a cell, row or column of pool format f gets; 0
    // for the default entry.
    int StyleIndex(int poolIndex) const;
    bool Converted() const { return converted; }

private:
    struct TStyleMap;
    struct TPackageOut;
    // The steps of WritePackage.
    bool NameSheets();
    void CopyKeptEntries(TPackageOut& out, bool renamed);
    std::vector<int> AddWorkbookParts(TPackageOut& out);
    std::vector<TXLSXRangeElements> MadeRangeElements(const std::vector<int>& made);
    void AddWorksheets(TPackageOut& out, const std::vector<int>& made,
                       std::vector<TXLSXRangeElements>& ranges, bool renamed);
    void AddPackageRelations(TPackageOut& out);
    void AddContentTypes(TPackageOut& out);
    void PrepareStyles();
    // The pool's placeholder at 4 (see TXLSXBookData) is not written: the
    // package's font of a pool font.
    bool FontGap() const;
    int FontId(int poolIndex) const;
    // The elements of the styles part, in their order.
    void WriteNumFmts(std::string& out);
    void WriteFonts(TXLSExcelXmlWriter& w);
    void MapBiffFillsAndBorders(TStyleMap& map);
    void WriteFills(TXLSExcelXmlWriter& w, const TStyleMap& map);
    void WriteBorders(TXLSExcelXmlWriter& w, const TStyleMap& map);
    void WriteCellStyleXfs(TXLSExcelXmlWriter& w);
    void WriteCellXfs(TXLSExcelXmlWriter& w);
    void WriteCellStyles(std::string& out);
    void WriteXf(TXLSExcelXmlWriter& w, const TCellFormat& f, bool cellVariant);
    bool HasDefinedNames() const;
    void WriteDefinedNames(std::string& out, const std::vector<int>& order) const;
    std::string RewriteIds(const std::string& fragment, const std::map<std::string, std::string>& ids) const;

    TXLSXWorkbook& book;
    TXLSExcelXmlWriter writer;
    bool converted = true;
    // Fill and border ids of the formats, by pool position.
    std::vector<int> fillIds, borderIds;
    int firstWritten = 21; // the first pool position written as a cell xf
    // Of a workbook converted from a binary one: the cell xf each pool
    // position from firstWritten on is written as (made with the cell xfs).
    std::vector<int> cellXfIds;
    int requiredFills = 0, requiredBorders = 0;
    // Relationship Ids (before renumbering) of the external link parts the
    // write makes for the other workbooks of a binary workbook.
    std::vector<std::string> linkIds;
    // Differential formats of the conditional formats the write makes from
    // the model, after the package's own.
    std::vector<std::string> madeDxfs;
    // The names the sheets are written under (empty outside a write: the
    // model's names).
    std::vector<std::u16string> sheetNames;
    // The kept sheets' names where they differ from the package's (XML
    // text; empty: as read).
    std::vector<std::string> keptSheetNames;
    std::u16string SheetName(int index) const;
    // Kept text (of the part or sheet where names) naming the sheets by
    // the names they are written under; the formulas that cannot follow
    // are named in warnings.
    std::string KeptText(std::string_view text, int sheet, const std::string& where) const;
};

} // namespace xls
