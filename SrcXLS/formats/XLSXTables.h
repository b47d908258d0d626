// The table parts of a package's sheets, read for the formulas that name
// them ("Goods[Price]"); the parts themselves go back as they were.
#pragma once

#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/formulas/TableReferences.h"

#include <string>
#include <string_view>

namespace xls {

// One table part: its name, area, header and totals rows and column names.
// Raises XLSError for a part that is no XML or no table.
class TTablePartReader : public TXLSExcelXmlReader {
public:
    TTableDef Read(std::string_view text, std::string_view partName);

protected:
    bool OnTag(int elementId, TExXMLTag& tag) override;

private:
    TTableDef* table = nullptr;
    bool seenTable = false;
    std::string part;
};

} // namespace xls
