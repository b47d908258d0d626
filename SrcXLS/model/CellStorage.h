// The cells of one sheet, addressed in four steps (row group, row, column
// block, column) over 1,048,576 rows by 16,384 columns. Only populated
// groups of 64 rows and 128-column blocks take memory, so that a workbook
// of many small sheets stays small; a block keeps its cells packed in
// column order behind an occupancy mask. A one-cell cache serves the common
// "set a cell, then format or read it" pattern, and a cursor walks the cells
// in row order, columns ascending within a row.
#pragma once

#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/ExcelMask.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace xls {

class TCellStorage {
public:
    static constexpr int MaxCol = 16383;
    static constexpr int MaxRow = 1048575;

    TCellStorage();
    virtual ~TCellStorage();
    TCellStorage(const TCellStorage&) = delete;
    TCellStorage& operator=(const TCellStorage&) = delete;

    // Raises "Cell position is outside the sheet" beyond the table.
    static void CheckPosition(int64_t col, int64_t row);

    TCell* FindCell(int col, int row);
    // Stores cell at (col, row), freeing a cell that stood there; the new
    // cell takes over the old one's format. Returns the stored cell.
    TCell* PutCell(int col, int row, std::unique_ptr<TCell> cell);
    // The same, the new cell keeping its own format (copy and move).
    TCell* PutCellKeepFormat(int col, int row, std::unique_ptr<TCell> cell);
    void RemoveCell(int col, int row);
    // Takes the cell out without freeing it; nullptr when there is none.
    std::unique_ptr<TCell> DetachCell(int col, int row);

    // Walk in storage order. The store must not change during a walk.
    void BeginIterate();
    TCell* NextCell();
    // The next cell when it is a blank in the column right after the last
    // cell returned, in the same row (advancing); else nullptr.
    TCell* NextBlankInRow();

    // Used area of the stored cells; all 0 for an empty store.
    void CalcDimensions(int maxCol, int maxRow);
    int FirstCol = 0, LastCol = 0, FirstRow = 0, LastRow = 0;

    virtual void Clear();
    // Forgets every cell at once, running no cell's destructor but those of
    // cells that hold more than themselves: for a workbook whose cells,
    // strings and formats all go together (their arena frees the cells).
    void Discard();
    int64_t Count() const { return count; }
    // Bytes held by the table itself (not the cells).
    size_t TableBytes() const;

    // A formula cell of a shared formula is about to go.
    virtual void SharedFormulaRemoved(TCell& cell);
    // A cell was put (the cell), replaced or taken out (null); (-1, -1):
    // every cell went.
    virtual void CellChanged(int /*col*/, int /*row*/, TCell* /*cell*/) {}

private:
    struct TLeaf {
        uint16_t Block = 0;
        std::array<uint64_t, 2> Bits{};
        std::vector<std::unique_ptr<TCell>> Cells;
        int Rank(int slot) const;
        bool Has(int slot) const { return (Bits[slot >> 6] >> (slot & 63)) & 1; }
    };
    using TRow = std::vector<TLeaf>;
    static constexpr int GroupBits = 6;
    static constexpr int GroupRows = 1 << GroupBits;
    struct TRowBlock {
        std::array<TRow, GroupRows> Rows;
    };

    TRow* FindRow(int row) const;
    TRow& MakeRow(int row);
    std::unique_ptr<TCell>* FindSlot(int col, int row);
    std::unique_ptr<TCell>& MakeSlot(int col, int row);
    TCell* Store(int col, int row, std::unique_ptr<TCell> cell, bool takeFormat);
    void ReportShared(TCell& cell);
    void Forget(const TCell* cell) {
        if (cache == cell) cache = nullptr;
    }

    // Up to the last group that was populated.
    std::vector<std::unique_ptr<TRowBlock>> top;
    TCell* cache = nullptr;
    const TCell* lastWalked = nullptr;
    int64_t count = 0;
    int64_t holdingMore = 0; // cells whose destructor frees more than the cell
    // Cursor: row group, row within it, leaf within the row, cell within the leaf.
    int curTop = 0, curRow = 0, curLeaf = 0, curCell = 0;
};

class TCellValuesList;

// The store as the rest of the workbook sees it: strings, display texts and
// the notice to the formula services when a shared formula loses a cell.
class TCellValues : public TCellStorage {
public:
    TCellValues(TCellValuesList* owner, TSST2* strings, TCellFormats* formats);
    ~TCellValues() override;

    TSST2* Strings() const { return strings; }
    TCellFormats* Formats() const { return formats; }
    void Clear() override;

    // As the cell shows: numbers and texts through their format.
    std::u16string GetDisplayText(int col, int row);
    std::u16string GetDisplayText(const TCell& cell);
    // The cell's value as text: numbers through their format, texts as they are.
    std::u16string GetValueText(const TCell& cell);
    std::u16string GetNumberText(int formatIndex, double value);
    std::u16string GetNumberText(const TCellFormat* format, double value);
    // The display text into out, reusing its storage: for walks that
    // measure every cell.
    void DisplayTextTo(const TCell& cell, std::u16string& out);
    void SharedFormulaRemoved(TCell& cell) override;
    void CellChanged(int col, int row, TCell* cell) override;

    // Shared-formula areas the formula services keep per sheet, and the
    // cell (column, row) that holds each one's text, (-1, -1) for its
    // area's first cell.
    std::vector<std::u16string> StringList;
    std::vector<std::pair<int, int>> SharedAnchors;

private:
    TCellValuesList* owner;
    bool going = false;
    TSST2* strings;
    TCellFormats* formats;
    // The mask a format shows numbers with; empty for the general format.
    std::u16string_view MaskTextOf(const TCellFormat* format, std::u16string& regional) const;
    // The mask of a format's text, parsed once for a run of cells.
    const TExcelMask& MaskOf(std::u16string_view maskText);
    // A text through the text section of a format, when it has one.
    void ShowText(const TCellFormat* format, std::u16string& text);
    TExcelMask mask;
    bool maskSet = false;
    bool maskDates = false; // the mask shows dates or times
};

// The stores of a workbook in sheet order, for the formula services. The
// sheets own their stores; the list only points to them.
class TCellValuesList {
public:
    using TSharedFormulaRemoved = std::function<void(TCellValues& store, TCell& cell)>;

    int Count() const { return int(stores.size()); }
    TCellValues& Items(int index) const;
    void Add(TCellValues* store) { stores.push_back(store); }
    // Set while the workbook clears or destroys all its sheets with their
    // strings and formats: the stores then discard their cells.
    bool Discarding = false;
    void Remove(TCellValues* store);
    void Clear() { stores.clear(); }
    void Reset() {}
    int IndexOf(const TCellValues* store) const;

    TSharedFormulaRemoved OnSharedFormulaRemoved;
    // A cell of a store was put (the cell), replaced or taken out (null;
    // (-1, -1): all of them), unless Quiet is above 0: while the workbook reads a file, or
    // gives a formula another form of the same meaning.
    std::function<void(TCellValues& store, int col, int row, TCell* cell)> OnCellChanged;
    int Quiet = 0;
    struct TQuiet {
        TCellValuesList& list;
        explicit TQuiet(TCellValuesList& l) : list(l) { ++list.Quiet; }
        ~TQuiet() { --list.Quiet; }
        TQuiet(const TQuiet&) = delete;
        TQuiet& operator=(const TQuiet&) = delete;
    };
    // Whether the workbook counts its dates from 1904; empty: from 1900.
    std::function<bool()> Date1904;

private:
    std::vector<TCellValues*> stores;
};

} // namespace xls
