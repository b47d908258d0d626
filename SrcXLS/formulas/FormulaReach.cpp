#include "SrcXLS/formulas/FormulaReach.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formulas/FormulaHandler.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/model/Cell.h"
#include "SrcXLS/model/CellStorage.h"
#include "SrcXLS/model/Sheet.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace xls {

using L = TTokenLayout;

namespace {

// The functions whose result may come from any cell.
constexpr int Indirect = 148;
constexpr int Offset = 78;
// Larger output blocks are matched against the references, not cell by cell.
constexpr int64_t CellsLookedUp = 4096;

bool Linked(L layout) {
    return layout == L::BIFF8 || layout == L::X2007;
}

uint64_t Key(int64_t col, int64_t row) {
    return uint64_t(row) << 16 | uint64_t(col);
}

} // namespace

bool TReachSeeds::Any() const {
    return Latest() > 0;
}

uint32_t TReachSeeds::Latest() const {
    uint32_t latest = Names.empty() ? 0 : NamesTime;
    for (uint32_t t : WholeSheets) latest = std::max(latest, t);
    for (const auto& sheet : Cells)
        for (const TCell& c : sheet) latest = std::max(latest, c.Time);
    return latest;
}

TFormulaReach::TFormulaReach(TSheets& sheets, TFormulaHandler& handler) : sheets(sheets), handler(handler) {}

TFormulaReach::~TFormulaReach() = default;

void TFormulaReach::Collect(std::span<const uint8_t> tokens, TTokenLayout layout, int sheet, int row, int col,
                            TUses& uses) {
    TTokenWalker walker(tokens, layout);
    TToken t;
    // Before BIFF5 a name between tSheet and tEndSheet is another workbook's.
    bool otherBook = false;
    for (;;) {
        // What does not walk adds nothing more.
        if (walker.Next(t) != TWalkStatus::Token) return;
        const uint8_t* p = t.Data;
        if (t.Layout < L::BIFF5 && (t.Id == ptg::Sheet || t.Id == ptg::EndSheet))
            otherBook = t.Id == ptg::Sheet;
        switch (t.Base) {
        case ptg::Exp: {
            // A cell of an array or shared formula: the formula of its first cell.
            const int64_t r = GetU16(p), c = GetU16(p + 2);
            uses.Areas.push_back({sheet, sheet, c, r, c, r});
            break;
        }
        case ptg::Func:
        case ptg::FuncVar: {
            const TFunctionCall call = FunctionCallOf(t);
            if (!call.Command && (call.Number == Indirect || call.Number == Offset)) uses.Any = true;
            break;
        }
        case ptg::Name:
            if (!otherBook) AddName(GetU16(p), sheet, uses);
            break;
        case ptg::NameX:
            if (Linked(t.Layout)) {
                const TSupBook* book = handler.Externals().BookOf(GetU16(p));
                if (book && book->Kind == SupBookSelf) AddName(GetU16(p + 2), sheet, uses);
            } else if (t.Layout == L::BIFF5 && int16_t(GetU16(p)) < 0) {
                AddName(GetU16(p + 10), sheet, uses);
            }
            break;
        case ptg::Ref:
        case ptg::RefN:
        case ptg::Area:
        case ptg::AreaN: {
            TRefAddress a, b;
            if (t.Base == ptg::Ref || t.Base == ptg::RefN)
                a = b = ReadRefAddress(p, p + (t.Layout == L::X2007 ? 4 : 2), t.Layout);
            else
                ReadAreaAddresses(p, t.Layout, a, b);
            const bool relative = t.Base == ptg::RefN || t.Base == ptg::AreaN;
            if (relative && row < 0) {
                // A name's relative reference: any cell of the sheet that uses it.
                uses.Areas.push_back({sheet, sheet, 0, 0, TCellStorage::MaxCol, TCellStorage::MaxRow});
                break;
            }
            if (relative) {
                ResolveRefAddress(a, t.Layout, row, col);
                ResolveRefAddress(b, t.Layout, row, col);
            }
            uses.Areas.push_back({sheet, sheet, std::min(a.Col, b.Col), std::min(a.Row, b.Row),
                                  std::max(a.Col, b.Col), std::max(a.Row, b.Row)});
            break;
        }
        case ptg::Ref3d:
        case ptg::Area3d: {
            int first = 0, last = 0;
            const uint8_t* q = nullptr;
            if (Linked(t.Layout)) {
                // Another workbook's cells no edit here changes.
                const TSupBook* book = handler.Externals().BookOf(GetU16(p));
                if (!book || book->Kind != SupBookSelf) break;
                const TExtSheet& e = handler.Externals().Entry(GetU16(p));
                if (e.First >= NoSheetEntry || e.Last >= NoSheetEntry) break;
                first = e.First;
                last = e.Last;
                q = p + 2;
            } else {
                if (int16_t(GetU16(p)) >= 0 || GetU16(p + 10) == 0xFFFF || GetU16(p + 12) == 0xFFFF) break;
                first = GetU16(p + 10);
                last = GetU16(p + 12);
                q = p + 14;
            }
            TRefAddress a, b;
            if (t.Base == ptg::Ref3d)
                a = b = ReadRefAddress(q, q + (t.Layout == L::X2007 ? 4 : 2), t.Layout);
            else
                ReadAreaAddresses(q, t.Layout, a, b);
            uses.Areas.push_back({std::min(first, last), std::max(first, last), std::min(a.Col, b.Col),
                                  std::min(a.Row, b.Row), std::max(a.Col, b.Col), std::max(a.Row, b.Row)});
            break;
        }
        default:
            break;
        }
    }
}

const TFormulaReach::TUses& TFormulaReach::NameUses(int number) {
    static const TUses none;
    if (number < 1) return none;
    if (size_t(number) > nameState.size()) {
        nameState.resize(size_t(number), 0);
        nameUses.resize(size_t(number));
    }
    const size_t i = size_t(number - 1);
    // A name that names itself in turn adds nothing more.
    if (nameState[i] != 0) return nameUses[i];
    nameState[i] = 1;
    std::vector<uint8_t> data;
    size_t length = 0;
    TUses uses;
    if (handler.NameFormula(number, data, length) && length <= data.size())
        Collect(std::span<const uint8_t>(data).first(length), L::BIFF8, -1, -1, -1, uses);
    nameUses[i] = std::move(uses);
    nameState[i] = 2;
    return nameUses[i];
}

void TFormulaReach::AddName(int number, int sheet, TUses& uses) {
    uses.Names.insert(number);
    const TUses n = NameUses(number);
    for (TArea a : n.Areas) {
        if (a.Sheet1 < 0) a.Sheet1 = a.Sheet2 = sheet;
        uses.Areas.push_back(a);
    }
    uses.Names.insert(n.Names.begin(), n.Names.end());
    uses.Any = uses.Any || n.Any;
}

void TFormulaReach::CollectCell(int sheet, TFormulaCell& cell, TFormula& f) {
    const int col = cell.Col, row = int(cell.Row);
    f.Sheet = sheet;
    f.Cell = &cell;
    f.Output = {sheet, sheet, col, row, col, row};
    int c1, r1, c2, r2;
    if (sheets.Items(sheet).ArrayFormulaArea(cell, c1, r1, c2, r2)) f.Output = {sheet, sheet, c1, r1, c2, r2};
    f.Placed = cell.Placed;
    if (cell.IsText()) {
        TEncodedFormula e;
        try {
            if (handler.CompileText(sheet, cell, e))
                Collect(std::span<const uint8_t>(e.Data).first(e.TokenLength), L::BIFF8, sheet, row, col,
                        f.Uses);
        } catch (const XLSError&) {
        }
        return;
    }
    const L layout = TokenLayoutOf(cell.TokenVersion());
    if (const auto* array = dynamic_cast<const TBaseArrayFormulaCell*>(&cell)) {
        const std::span<const uint8_t> data =
            array->ArrayData().subspan(TBaseArrayFormulaCell::ArrayHeadSize);
        const size_t length = size_t(array->GetArrayTokenLength());
        if (length <= data.size()) Collect(data.first(length), layout, sheet, row, col, f.Uses);
    }
    const size_t length = size_t(cell.TokenLength());
    if (length <= cell.Data().size()) Collect(cell.Data().first(length), layout, sheet, row, col, f.Uses);
}

std::vector<std::pair<int, TFormulaCell*>> TFormulaReach::Reached(const TReachSeeds& seeds) {
    std::vector<std::pair<int, TFormulaCell*>> out;
    if (!seeds.Any()) return out;
    const int count = sheets.Count();
    formulas.clear();
    for (int s = 0; s < count; ++s) {
        // Collected first: compiling a kept text looks cells up.
        std::vector<TFormulaCell*> cells;
        TCellValues& store = sheets.Items(s).Cells();
        store.BeginIterate();
        while (TCell* c = store.NextCell())
            if (c->IsFormula()) cells.push_back(static_cast<TFormulaCell*>(c));
        for (TFormulaCell* c : cells) CollectCell(s, *c, formulas.emplace_back());
    }
    // Who refers to what: single cells by their place, blocks in a list, by sheet.
    std::vector<std::unordered_map<uint64_t, std::vector<int>>> single;
    std::vector<std::vector<std::pair<TArea, int>>> blocks;
    single.resize(size_t(count));
    blocks.resize(size_t(count));
    // Changed blocks of cells and when they changed.
    std::deque<std::pair<TArea, uint32_t>> changed;
    // A formula placed after a change holds a result given after it.
    auto reach = [&](TFormula& f, uint32_t time) {
        if (time <= f.Placed || time <= f.Reached) return;
        f.Reached = time;
        changed.emplace_back(f.Output, time);
    };
    const uint32_t latest = seeds.Latest();
    for (size_t k = 0; k < formulas.size(); ++k) {
        TFormula& f = formulas[k];
        if (f.Uses.Any) reach(f, latest);
        for (int n : f.Uses.Names)
            if (seeds.Names.count(n)) reach(f, seeds.NamesTime);
        for (const TArea& a : f.Uses.Areas)
            for (int s = std::max(a.Sheet1, 0); s <= std::min(a.Sheet2, count - 1); ++s) {
                if (size_t(s) < seeds.WholeSheets.size()) reach(f, seeds.WholeSheets[size_t(s)]);
                if (a.Col1 == a.Col2 && a.Row1 == a.Row2)
                    single[size_t(s)][Key(a.Col1, a.Row1)].push_back(int(k));
                else
                    blocks[size_t(s)].emplace_back(a, int(k));
            }
    }
    for (size_t s = 0; s < seeds.Cells.size() && s < size_t(count); ++s)
        for (const TReachSeeds::TCell& c : seeds.Cells[s])
            changed.emplace_back(TArea{int(s), int(s), c.Col, c.Row, c.Col, c.Row}, c.Time);
    while (!changed.empty()) {
        const auto [a, time] = changed.front();
        changed.pop_front();
        if (a.Sheet1 < 0 || a.Sheet1 >= count) continue;
        const size_t s = size_t(a.Sheet1);
        const int64_t cells = (a.Col2 - a.Col1 + 1) * (a.Row2 - a.Row1 + 1);
        if (cells <= CellsLookedUp) {
            for (int64_t r = a.Row1; r <= a.Row2; ++r)
                for (int64_t c = a.Col1; c <= a.Col2; ++c)
                    if (auto it = single[s].find(Key(c, r)); it != single[s].end())
                        for (int k : it->second) reach(formulas[size_t(k)], time);
        } else {
            for (auto& [key, users] : single[s]) {
                const int64_t r = int64_t(key >> 16), c = int64_t(key & 0xFFFF);
                if (r >= a.Row1 && r <= a.Row2 && c >= a.Col1 && c <= a.Col2)
                    for (int k : users) reach(formulas[size_t(k)], time);
            }
        }
        for (const auto& [b, k] : blocks[s])
            if (b.Col1 <= a.Col2 && a.Col1 <= b.Col2 && b.Row1 <= a.Row2 && a.Row1 <= b.Row2)
                reach(formulas[size_t(k)], time);
    }
    for (const TFormula& f : formulas)
        if (f.Reached) out.emplace_back(f.Sheet, f.Cell);
    formulas.clear();
    return out;
}

} // namespace xls
