// Tables of a package (lists with a header row and named columns) and the
// structured references formulas make to them: "Goods[Price]",
// "Goods[[#This Row],[Price]:[Qty]]", "Goods[#All]". A binary workbook has
// no tables: its formulas name the cells such a reference stands for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace xls {

struct TTableDef {
    std::u16string Name;
    int Sheet = 0;
    // The whole table, header and totals rows included.
    int Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
    int HeaderRows = 1;
    int TotalsRows = 0;
    std::vector<std::u16string> Columns; // left to right
};

// The cells a structured reference names.
struct TTableArea {
    int Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
    bool ThisRow = false; // the row is the formula's own
};

// The cells of the part of a table that selector names (the text between the
// reference's outer brackets: "Price", "#Totals", "[#This Row],[A]:[B]",
// "@Price"); baseRow is the formula's own row. False with the reason in why
// for a column the table lacks, a part it has no rows for, a row outside it
// or text that is no reference.
bool ResolveTableReference(const TTableDef& table, std::u16string_view selector, int baseRow,
                           TTableArea& area, std::string& why);

} // namespace xls
