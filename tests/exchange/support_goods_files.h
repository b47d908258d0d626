// Goods files for the import tests, written here without the program's own
// writers (the workbook excepted): rows of text values in the order of the
// CSV and DBF layouts, turned into each format.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "exchange/Dispatcher.h"
#include "exchange/JobSide.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"

namespace exchange_test {

// Number, PLU, barcode, name, price, quantity, group, tax group (1..5),
// weighed, presence control, sale blocking (1/0), payout operation; texts
// UTF-8 with ',' as decimal separator. A missing value leaves the XML
// attribute out, the workbook cell empty and the CSV field empty.
using GoodsRowText = std::array<std::optional<std::string>, 12>;
enum GoodsColumn {
    cNumber,
    cPlu,
    cBarcode,
    cName,
    cPrice,
    cQuantity,
    cGroup,
    cTax,
    cWeight,
    cPresence,
    cBlocking,
    cPayout
};

// An ordinary row: number n, PLU 100 + n, barcode 4820000000000 + n, name
// "Товар n", price "12,50", quantity "2,5", group 3, tax group 2, flags 1 0 1,
// payout 2.
GoodsRowText GoodsRow(int n);
// The row with one value changed.
GoodsRowText With(GoodsRowText row, int column, std::optional<std::string> value);

// CSV lines (ANSI), fields joined by `delimiter`, CR LF after each line.
std::string GoodsCsv(const std::vector<GoodsRowText>& rows, char delimiter = ';');
// A report document with one Item per row (attributes of the goods report
// export), UTF-8.
std::string GoodsXml(const std::vector<GoodsRowText>& rows);

// A dBase III field: name as stored, type letter, length, decimals.
struct DbfField {
    std::string name;
    char type;
    int length;
    int decimals = 0;
};
// The twelve fields of the goods table.
std::vector<DbfField> GoodsDbfFields();
// A table image built byte by byte: values are right-aligned in N and F
// fields with '.' for the decimal separator, "T"/"F" for 1/0 in L fields,
// ANSI text left-aligned in C fields; `codePage` goes to header byte 29.
std::string GoodsDbf(const std::vector<GoodsRowText>& rows,
                     const std::vector<DbfField>& fields = GoodsDbfFields(), uint8_t codePage = 0);

// A BIFF8 workbook written through the workbook component: captions in rows
// 0 and 1, row k of `rows` in sheet row k + 2, columns A..L as the goods
// workbook export places them (barcode before PLU). A value that reads as a
// number becomes a number cell, "TRUE"/"FALSE" a boolean cell, "#DIV/0!" and
// "#N/A" an error cell, "'" first a text cell of the rest, anything else a
// text cell.
void WriteGoodsXls(const std::string& path, const std::vector<GoodsRowText>& rows);

// Writes the rows as `name` + the format's extension in `dir`; the path.
std::string WriteGoods(const ScratchDir& dir, int format, const std::vector<GoodsRowText>& rows,
                       const std::string& name = "goods");

// A goods import run through the dispatcher against the simulated register.
struct ImportRun {
    exchange::DispatchResult result = exchange::DispatchResult::NothingToRun;
    bool done = false;
    std::vector<GoodsProg> goods;
    std::vector<platform::ScriptedUi::Box> boxes;
    std::string log; // the duplicate-PLU log, "" when none
    int steps = 0;   // progress steps
    int32_t maximum = 0;
};
struct ImportSetup {
    std::vector<int> answers;
    console::CsvOptionsRecord csv;
    std::string simulator; // control commands before the run
    int cancelAfter = -1;
};
// Writes `bytes` to `file` (for XLS, the rows through WriteGoodsXls) and
// imports it with the format's procedure for kind 3 or 4.
ImportRun ImportFile(int format, int kind, const std::string& file, const ImportSetup& setup = {});

} // namespace exchange_test
