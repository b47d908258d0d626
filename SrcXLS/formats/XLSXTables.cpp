#include "SrcXLS/formats/XLSXTables.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXml.h"

#include <algorithm>

namespace xls {

namespace {

int64_t IntAttribute(const TExXMLTag& tag, std::string_view name, int64_t fallback) {
    int64_t v = 0;
    return ParseXMLInt(tag.RawNamed(name), v) ? v : fallback;
}

// Columns a table names: no more than a sheet has.
constexpr size_t MaxColumns = 16384;

} // namespace

TTableDef TTablePartReader::Read(std::string_view text, std::string_view partName) {
    TTableDef def;
    table = &def;
    seenTable = false;
    part = partName;
    ReadPartAndDrop(text, partName);
    if (!seenTable) throw XLSError("No table in " + std::string(partName));
    return def;
}

bool TTablePartReader::OnTag(int /*elementId*/, TExXMLTag& tag) {
    const std::string_view name = LocalPart(tag.Name);
    if (name == "tableColumn") {
        if (table->Columns.size() < MaxColumns) table->Columns.push_back(XMLDecodeText(tag.RawNamed("name")));
        return true;
    }
    if (name != "table" || !tag.Parent || tag.Parent->Parent) return false;
    seenTable = true;
    std::u16string shown = XMLDecodeText(tag.RawNamed("displayName"));
    table->Name = shown.empty() ? XMLDecodeText(tag.RawNamed("name")) : shown;
    const std::u16string ref = XMLDecodeText(tag.RawNamed("ref"));
    if (!AreaStrToColRowPlain(ref, table->Col1, table->Row1, table->Col2, table->Row2))
        throw XLSError("A table without its area in " + part);
    OrderArea(table->Col1, table->Row1, table->Col2, table->Row2);
    table->HeaderRows = int(std::clamp<int64_t>(IntAttribute(tag, "headerRowCount", 1), 0, 1));
    table->TotalsRows = int(std::clamp<int64_t>(IntAttribute(tag, "totalsRowCount", 0), 0, 1));
    return true;
}

} // namespace xls
