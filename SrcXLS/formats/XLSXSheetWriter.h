// A worksheet part made piece by piece while the archive is written: the
// kept elements before the cells, the cells a few thousand at a time, the
// kept elements after them. Rows carry their height, visibility, outline
// and format; cells their format, type and value or formula.
#pragma once

#include "SrcXLS/formats/XLSXPackage.h"

#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace xls {

class TSheet;
class TCell;
class TXLSRow;

// "A1" or "A1:B2" (zero-based columns and rows).
void AppendArea(std::string& out, int col1, int64_t row1, int col2, int64_t row2);

class TXLSXSheetWriter {
public:
    using TStyleIndex = std::function<int(int poolIndex)>;

    TXLSXSheetWriter(TSheet& sheet, TXLSXSheetData& data, TStyleIndex styleIndex,
                     std::function<std::string(TSheet&, TFormulaCell&)> formulaText);
    // Appends the next piece of the part; false when the part is complete.
    bool Next(std::string& out);
    // The whole part at once (small sheets, tests).
    std::string WholePart();
    // Elements made from the model (element id, text; in schema order),
    // written after the cells where order (the schema's order of element
    // ids) puts them; one of a kind the part keeps already (a list: data
    // validations, hyperlinks) joins the kept one's list.
    void SetMadeElements(std::vector<std::pair<int, std::string>> elements, std::span<const int> order);
    // The text the kept elements are written with (sheets they name under
    // other names); as kept when not set.
    void SetKeptText(std::function<std::string(const std::string&)> text) { keptText = std::move(text); }

private:
    void WriteHead(std::string& out);
    void WriteKept(std::string& out, bool head);
    void WriteCols(std::string& out);
    void WriteMergeCells(std::string& out);
    void WriteRowStart(std::string& out, int64_t row, const TXLSRow* record);
    void WriteCell(std::string& out, TCell& cell);
    void WriteFormula(std::string& out, TCell& cell);
    // Rows with records and no cells before row (all when row < 0).
    void FlushEmptyRows(std::string& out, int64_t beforeRow);

    TSheet& sheet;
    TXLSXSheetData& data;
    TStyleIndex styleIndex;
    std::function<std::string(TSheet&, TFormulaCell&)> formulaText;
    std::function<std::string(const std::string&)> keptText;
    int stage = 0;
    int fragment = 0; // next kept element
    int64_t openRow = -1;
    int nextRecord = 0; // next row record to write
    TCell* pending = nullptr;
    std::vector<std::pair<int, std::string>> made;
    size_t nextMade = 0;
    std::span<const int> schemaOrder;
    int Rank(int elementId) const;
    void WriteMadeBefore(std::string& out, int elementId);
};

} // namespace xls
