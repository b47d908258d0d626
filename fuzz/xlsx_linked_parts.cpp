// The parts of a package that formulas read besides the sheets: an external
// link part (another workbook's sheets, names and cached values), written
// again from what was read and read back; a table part; and the text of a
// structured reference to a table. The first byte chooses which.
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXExternalLinks.h"
#include "SrcXLS/formats/XLSXTables.h"
#include "SrcXLS/formulas/TableReferences.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        try {
            xls::TExternalLinkReader reader;
            xls::TSupBook book;
            std::string id;
            reader.Read(text, "xl/externalLinks/externalLink1.xml", book, id);
            const std::string again = xls::ExternalLinkPart(book);
            xls::ExternalLinkRelationships(book);
            xls::TExternalLinkReader second;
            xls::TSupBook back;
            second.Read(again, "again.xml", back, id);
            if (back.Sheets.size() != book.Sheets.size() || back.Names.size() != book.Names.size())
                __builtin_trap();
        } catch (const xls::XLSError&) {
        }
        break;
    case 1:
        try {
            xls::TTablePartReader reader;
            xls::TTableDef table = reader.Read(text, "xl/tables/table1.xml");
            xls::TTableArea area;
            std::string why;
            xls::ResolveTableReference(table, u"[#All]", table.Row1, area, why);
        } catch (const xls::XLSError&) {
        }
        break;
    default: {
        xls::TTableDef table;
        table.Name = u"T";
        table.Col1 = 1, table.Row1 = 1, table.Col2 = 3, table.Row2 = 9;
        table.TotalsRows = 1;
        table.Columns = {u"A", u"B [x]", u"C"};
        std::u16string selector;
        for (char c : text) selector.push_back(char16_t(uint8_t(c)));
        xls::TTableArea area;
        std::string why;
        if (xls::ResolveTableReference(table, selector, 4, area, why) &&
            (area.Col1 < table.Col1 || area.Col2 > table.Col2 || area.Row1 < table.Row1 ||
             area.Row2 > table.Row2))
            __builtin_trap();
        break;
    }
    }
    return 0;
}
