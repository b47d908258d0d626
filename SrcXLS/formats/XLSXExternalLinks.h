// External link parts of a package: another workbook that formulas read
// ("[1]Sheet1!A1", "[1]!Name"), with its sheet names, its names and the
// values cached from it. They are read into the same supporting books as
// the SUPBOOK, EXTERNNAME, XCT and CRN records of a binary workbook, and
// written from them.
#pragma once

#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/formulas/ExternalNames.h"

#include <string>
#include <string_view>

namespace xls {

inline constexpr std::string_view CtExternalLink =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.externalLink+xml";
inline constexpr std::string_view ExternalLinkPathType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/externalLinkPath";

// One externalLink part into a book: its sheets with their cached values
// (cells a binary workbook can hold: columns A-IV, rows up to 65536) and
// its names. relationId receives the r:id of the other workbook's path.
// Raises XLSError for a part that is no XML or has no externalBook.
class TExternalLinkReader : public TXLSExcelXmlReader {
public:
    void Read(std::string_view text, std::string_view partName, TSupBook& book, std::string& relationId);

protected:
    bool OnTag(int elementId, TExXMLTag& tag) override;

private:
    void ReadName(const TExXMLTag& tag);
    void ReadCell(const TExXMLTag& cell, int sheet, int row);

    TSupBook* book = nullptr;
    std::string* relationId = nullptr;
    bool seenBook = false;
};

// The encoded path of a SUPBOOK for the target (UTF-8, references
// resolved) of an external link's relationship ("../data/book.xls",
// "file:///C:/dir/book.xls").
std::vector<uint8_t> EncodedPathOfTarget(std::string_view target);
// The relationship target for the encoded path of a book.
std::string TargetOfEncodedPath(const std::vector<uint8_t>& encodedPath);

// The externalLink part of a book and the relationships part beside it.
std::string ExternalLinkPart(const TSupBook& book);
std::string ExternalLinkRelationships(const TSupBook& book);

} // namespace xls
