// A worksheet part made piece by piece while the archive is written: the
// kept elements before the cells, the cells a few thousand at a time, the
// kept elements after them. Rows carry their height, visibility, outline
// and format; cells their format, type and value or formula.
#pragma once

#include "SrcXLS/formats/XLSXPackage.h"

#include <functional>
#include <string>

namespace xls {

class TSheet;
class TCell;
class TXLSRow;

class TXLSXSheetWriter {
public:
    using TStyleIndex = std::function<int(int poolIndex)>;

    TXLSXSheetWriter(TSheet& sheet, TXLSXSheetData& data, TStyleIndex styleIndex,
                     std::function<std::string(TSheet&, TFormulaCell&)> formulaText);
    // Appends the next piece of the part; false when the part is complete.
    bool Next(std::string& out);
    // The whole part at once (small sheets, tests).
    std::string WholePart();

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
    int stage = 0;
    int fragment = 0; // next kept element
    int64_t openRow = -1;
    int nextRecord = 0; // next row record to write
    TCell* pending = nullptr;
};

} // namespace xls
