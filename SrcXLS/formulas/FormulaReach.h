// Which formulas an edit reaches: those whose references, defined names,
// ranges of sheets and, in turn, the formulas they refer to can reach a
// changed cell, a sheet that changes whole (a deleted one) or a name that
// goes. The others keep the result they hold; these compute anew.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <utility>
#include <vector>

namespace xls {

class TFormulaCell;
class TFormulaHandler;
class TSheets;
enum class TTokenLayout : uint8_t;

// What edits changed, by sheet index (as formulas count sheets), each
// with the time it changed: a formula placed later (TFormulaCell::Placed)
// holds a result given after it.
struct TReachSeeds {
    struct TCell {
        int Col = 0, Row = 0;
        uint32_t Time = 0;
    };
    // The last time each sheet changed whole; 0 for none.
    std::vector<uint32_t> WholeSheets;
    std::vector<std::vector<TCell>> Cells;
    // Defined names that go (1-based numbers, as tokens name them), and when.
    std::set<int> Names;
    uint32_t NamesTime = 0;
    bool Any() const;
    uint32_t Latest() const;
};

class TFormulaReach {
public:
    TFormulaReach(TSheets& sheets, TFormulaHandler& handler);
    ~TFormulaReach();

    // The formula cells (with their sheet index) the seeds reach, through
    // every formula of the workbook. A formula that calls INDIRECT or
    // OFFSET, which can reach any cell, counts as reached by any edit; one
    // whose references cannot be told (tokens that do not walk, a text that
    // does not compile), which the library does not compute either, keeps
    // the result it holds.
    std::vector<std::pair<int, TFormulaCell*>> Reached(const TReachSeeds& seeds);

private:
    // A block of cells over a range of sheets; sheet -1 in a name's formula:
    // the sheet of the formula that uses the name.
    struct TArea {
        int Sheet1 = 0, Sheet2 = 0;
        int64_t Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
    };
    struct TUses {
        std::vector<TArea> Areas;
        std::set<int> Names;
        bool Any = false; // reached by any edit
    };
    struct TFormula {
        int Sheet = 0;
        TFormulaCell* Cell = nullptr;
        TArea Output; // the cells whose values it gives
        TUses Uses;
        uint32_t Placed = 0;
        uint32_t Reached = 0; // the latest change that reached it; 0 for none
    };

    void Collect(std::span<const uint8_t> tokens, TTokenLayout layout, int sheet, int row, int col,
                 TUses& uses);
    void AddName(int number, int sheet, TUses& uses);
    const TUses& NameUses(int number);
    void CollectCell(int sheet, TFormulaCell& cell, TFormula& f);

    TSheets& sheets;
    TFormulaHandler& handler;
    std::vector<TFormula> formulas;
    std::vector<int> nameState; // 0 not collected, 1 collecting, 2 done
    std::vector<TUses> nameUses;
};

} // namespace xls
