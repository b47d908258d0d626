// Names and 3-D references of a workbook written as BIFF5 when it was read
// from another version, and the names of a BIFF4 file of its first sheet:
// the NAME records in the layout of the version, and what the cell formulas
// of the write need to name names and sheets.
#include "SrcXLS/formulas/FormulaHandler.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/model/CellStorage.h"

#include <algorithm>
#include <numeric>
#include <optional>

namespace xls {

namespace {

// The largest BIFF4 and BIFF5 record body.
constexpr size_t MaxOldRecord = 2080;
// The built-in names BIFF4 knows: Consolidate_Area to Sheet_Title.
constexpr int LastBIFF4BuiltIn = 12;

bool Has3dReference(std::span<const uint8_t> tokens, const TOldLinks& links) {
    TTokenWalker walker(tokens, TTokenLayout::BIFF8, false);
    TToken t;
    while (walker.Next(t) == TWalkStatus::Token) {
        if (t.Base != ptg::Ref3d && t.Base != ptg::Area3d && t.Base != ptg::RefErr3d &&
            t.Base != ptg::AreaErr3d)
            continue;
        uint16_t first = 0, last = 0;
        if (links.SelfSheets(GetU16(t.Data), first, last)) return true;
    }
    return false;
}

} // namespace

void TFormulaHandler::ReadOldLink(const TCellValues* store, uint16_t id, std::span<const uint8_t> body,
                                  int codePage) {
    std::vector<TOldExternSheet>& table = oldExternSheets[store];
    if (id == externrec::EXTERNSHEET) {
        // u8 length, then the text: ":" alone stands for add-in functions.
        TOldExternSheet& sheet = table.emplace_back();
        sheet.AddIn = body.size() >= 2 && body[0] == 1 && body[1] == ':';
        return;
    }
    // EXTERNNAME: u16 options, 4 bytes, u8 length, the name's text.
    if (table.empty() || body.size() < 7 || body.size() < size_t(7) + body[6]) return;
    table.back().Names.push_back(
        CodePageToWide(std::string_view(reinterpret_cast<const char*>(body.data()) + 7, body[6]), codePage));
}

// What a write in an older version makes of the defined names: which the
// file lists and writes with their formulas (why not, where not), their
// order and numbers there, and their NAME bodies.
struct TOldNamePlan {
    bool Biff4 = false;
    TExcelVersion Target = TExcelVersion::xvExcel50;
    size_t Count = 0;
    std::vector<bool> Listed, Written;
    std::vector<std::string> Why;
    std::vector<int> Order, Numbers;
    std::vector<std::optional<std::vector<uint8_t>>> Bodies;
};

namespace {

// Names written as the BIFF8 writer writes them; those of functions
// (macros, add-ins, functions Excel 5 lacks) are written as they are, but
// not named. An Excel 4 file has the names of its sheet, and names no
// function.
void ListOldNames(TInternalNames& names, TOldNamePlan& plan) {
    plan.Count = size_t(names.Count());
    plan.Listed.assign(plan.Count, false);
    plan.Written.assign(plan.Count, false);
    plan.Why.assign(plan.Count, {});
    for (size_t i = 0; i < plan.Count; ++i) {
        const TInternalName& n = names.Items(int(i));
        plan.Listed[i] = n.Loaded || !n.NameBytes().empty();
        plan.Written[i] =
            plan.Listed[i] && !n.IsFunctionCall() && !(n.Options & (noFunction | noVBAProcedure));
        if (!plan.Biff4 || !plan.Listed[i] || n.IsFunctionCall()) continue;
        if (!plan.Written[i])
            plan.Why[i] = "a macro's or a function's name";
        else if (n.SheetNumber > 1)
            plan.Why[i] = "it belongs to another sheet";
        else if (n.GetBuiltInCode() != NoBuiltIn && n.GetBuiltInCode() > LastBIFF4BuiltIn)
            plan.Why[i] = "a built-in name Excel 4 does not have";
        plan.Listed[i] = plan.Written[i] = plan.Why[i].empty();
    }
    if (!plan.Biff4) return;
    // One sheet, one list: a name of the sheet hides a global name of its text.
    for (size_t i = 0; i < plan.Count; ++i) {
        if (!plan.Listed[i] || names.Items(int(i)).SheetNumber != 0) continue;
        const std::u16string text = UpperCaseWide(names.Items(int(i)).GetName());
        for (size_t j = 0; j < plan.Count; ++j)
            if (plan.Listed[j] && names.Items(int(j)).SheetNumber == 1 &&
                UpperCaseWide(names.Items(int(j)).GetName()) == text) {
                plan.Listed[i] = plan.Written[i] = false;
                plan.Why[i] = "a name of the sheet has its text";
                break;
            }
    }
}

// LibreOffice reads the names of an Excel 5 file in their order, a name
// that names a later one as an error: the names a name names come before
// it (in their order otherwise), and every reference follows.
void OrderOldNames(TInternalNames& names, TOldNamePlan& plan) {
    plan.Order.clear();
    plan.Numbers.assign(plan.Count, 0);
    std::vector<uint8_t> state(plan.Count, 0); // 1 being placed, 2 placed
    // The names a name names that are still to be placed, last first.
    auto named = [&](size_t i) {
        std::vector<size_t> out;
        const TInternalName& n = names.Items(int(i));
        if (n.TokenLength > n.Data.size()) return out;
        TTokenWalker walker(std::span<const uint8_t>(n.Data).first(n.TokenLength), TTokenLayout::BIFF8,
                            false);
        TToken t;
        while (walker.Next(t) == TWalkStatus::Token)
            if (t.Base == ptg::Name && GetU16(t.Data) >= 1 && GetU16(t.Data) <= plan.Count)
                out.insert(out.begin(), size_t(GetU16(t.Data) - 1));
        return out;
    };
    std::vector<std::pair<size_t, std::vector<size_t>>> stack;
    for (size_t root = 0; root < plan.Count; ++root) {
        if (state[root] || !plan.Listed[root]) continue;
        state[root] = 1;
        stack.emplace_back(root, named(root));
        while (!stack.empty()) {
            if (stack.back().second.empty()) {
                const size_t i = stack.back().first;
                stack.pop_back();
                state[i] = 2;
                plan.Order.push_back(int(i));
                plan.Numbers[i] = int(plan.Order.size());
                continue;
            }
            const size_t j = stack.back().second.back();
            stack.back().second.pop_back();
            // A name in a cycle comes where the cycle is met.
            if (state[j] || !plan.Listed[j]) continue;
            state[j] = 1;
            stack.emplace_back(j, named(j));
        }
    }
}

// The NAME body of one name in the order written, with its formula or,
// where it has none in the older layout, without (an Excel 4 file leaves
// the name out); false when it lost its formula now.
bool OldNameBody(TInternalNames& names, TOldNamePlan& plan, int i, const TOldLinks& links, int codePage) {
    const TInternalName& n = names.Items(i);
    std::string& why = plan.Why[size_t(i)];
    const bool formula = n.TokenLength > 0 && n.TokenLength <= n.Data.size();
    std::optional<std::vector<uint8_t>> tokens = std::vector<uint8_t>();
    size_t length = 0;
    std::string calls;
    if (formula && !CallsInVersion(std::span<const uint8_t>(n.Data).first(n.TokenLength), TTokenLayout::BIFF8,
                                   plan.Target, &calls)) {
        tokens.reset();
        why = calls;
    } else if (formula) {
        tokens = TokensToOldLayout(n.Data, n.TokenLength, TExcelVersion::xvExcel97, codePage, length, &links);
        if (!tokens)
            why = plan.Biff4 && NamesAName(std::span<const uint8_t>(n.Data).first(n.TokenLength),
                                           TTokenLayout::BIFF8)
                      ? "it names a defined name, which not every reader of Excel 4 files reads"
                  : plan.Biff4 ? "it names other sheets, other workbooks or functions Excel 4 does not hold"
                               : "other workbooks, names or functions the older layout does not hold";
    } else if (!n.FormulaText.empty()) {
        tokens.reset();
        why = "a formula that does not compile";
    }
    auto bodyOf = [&](const TInternalName& of) {
        return of.OldRecordBody(tokens ? *tokens : std::vector<uint8_t>(), tokens ? length : 0, codePage,
                                plan.Target);
    };
    std::optional<std::vector<uint8_t>> body;
    try {
        body = bodyOf(n);
    } catch (const XLSError&) {
        if (plan.Biff4) {
            tokens.reset();
            why = "a text without an 8-bit form";
        } else {
            // The name's text has no 8-bit form: a stand-in keeps its number.
            TInternalName standIn = n;
            standIn.SetName(u"_Name" + Utf8ToWide(std::to_string(i + 1)));
            body = bodyOf(standIn);
        }
    }
    if (tokens && body->size() > MaxOldRecord) {
        tokens.reset();
        why = "a formula too long for the record";
        if (!plan.Biff4) body = n.OldRecordBody({}, 0, codePage);
    }
    plan.Bodies[size_t(i)] = std::move(body);
    if (tokens || !plan.Written[size_t(i)]) return false;
    plan.Written[size_t(i)] = false;
    return true;
}

// A name that names a name written without its formula loses its own,
// until nothing changes; in the order written a name comes after those it
// names: one pass settles all but cycles.
void OldNameBodies(TInternalNames& names, TOldNamePlan& plan, const TOldLinks& links, int codePage) {
    plan.Bodies.assign(plan.Count, std::nullopt);
    for (bool changed = true; changed;) {
        changed = false;
        for (int i : plan.Order) {
            if (plan.Biff4 && !plan.Written[size_t(i)]) continue;
            changed = OldNameBody(names, plan, i, links, codePage) || changed;
        }
    }
}

} // namespace

void TFormulaHandler::TellOldNamesDropped(const TOldNamePlan& plan, std::vector<std::string>& dropped) {
    const std::string file = plan.Biff4 ? ".xls (Excel 4)" : ".xls (Excel 5)";
    // Excel 4 leaves names out of the order written.
    std::vector<int> told = plan.Order;
    if (plan.Biff4) {
        told.resize(plan.Count);
        std::iota(told.begin(), told.end(), 0);
    }
    for (int i : told) {
        if (plan.Why[size_t(i)].empty() || names.Items(i).IsFunctionCall()) continue;
        const TInternalName& n = names.Items(i);
        std::u16string text = n.FormulaText;
        if (n.TokenLength > 0) {
            try {
                TFormulaDecoding how;
                how.FileSyntax = true;
                text = DecodeFormula(n.Data, n.TokenLength, how);
            } catch (const XLSError&) {
            }
        }
        const std::string formula = text.empty() ? "" : "=" + WideToUtf8(text);
        if (plan.Biff4)
            dropped.push_back("Defined name '" + WideToUtf8(n.GetName()) + "'" +
                              (formula.empty() ? "" : " (" + formula + ")") + " not written to " + file +
                              " (" + plan.Why[size_t(i)] + ")");
        else
            dropped.push_back("Defined name '" + WideToUtf8(n.GetName()) + "': formula" +
                              (formula.empty() ? "" : " " + formula) + " not written to " + file + " (" +
                              plan.Why[size_t(i)] + "); the name is written without it");
    }
    if (!plan.Biff4) return;
    // Its names have no texts besides their own.
    for (int i : plan.Order) {
        const TInternalName& n = names.Items(i);
        if (plan.Written[size_t(i)] &&
            std::any_of(std::begin(n.Texts), std::end(n.Texts), [](const auto& t) { return !t.empty(); }))
            dropped.push_back("Defined name '" + WideToUtf8(n.GetName()) +
                              "': its menu, description, help and status texts not written to " + file);
    }
}

bool TFormulaHandler::CellsNameOtherSheets(const TOldLinks& links) {
    std::vector<uint8_t> data;
    size_t length = 0;
    for (int s = 0; s < stores.Count(); ++s) {
        TCellValues& store = stores.Items(s);
        store.BeginIterate();
        while (TCell* c = store.NextCell()) {
            if (!c->IsFormula() || c->Col > 255 || c->Row > 16383) continue;
            const auto& f = static_cast<const TFormulaCell&>(*c);
            if (!f.IsText() && f.TokenVersion() < TExcelVersion::xvExcel97) continue;
            if (BIFF8Tokens(s, f, data, length, nullptr) &&
                Has3dReference(std::span<const uint8_t>(data).first(length), links))
                return true;
        }
    }
    return false;
}

bool TFormulaHandler::BeginOldLinks(std::vector<std::vector<uint8_t>>& records,
                                    std::vector<std::string>& dropped, TExcelVersion target) {
    EndOldLinks();
    CompileNameTexts();
    TOldNamePlan plan;
    plan.Biff4 = target == TExcelVersion::xvExcel40;
    plan.Target = target;
    const bool biff4 = plan.Biff4;
    TOldLinks links;
    links.OneSheet = biff4;
    links.SelfSheets = [this, biff4](uint16_t entry, uint16_t& first, uint16_t& last) {
        const TSupBook* book = externals.BookOf(entry);
        if (!book || book->Kind != SupBookSelf) return false;
        const TExtSheet& e = externals.Entry(entry);
        // A reference to several sheets is not read back alike by every
        // reader of Excel 5 files: its formula keeps its value.
        if (e.First == NoSheetEntry || e.First != e.Last) return false;
        // An Excel 4 file holds the first sheet alone.
        if (biff4 && e.First != 0) return false;
        first = last = e.First;
        return true;
    };
    ListOldNames(names, plan);
    OrderOldNames(names, plan);
    // LibreOffice makes the names of an Excel 4 file the sheet's and looks
    // up those a formula names among global ones, making up an empty one:
    // an Excel 4 file names no name.
    if (!biff4)
        links.NameNumber = [&plan](int number) {
            return number >= 1 && size_t(number) <= plan.Count && plan.Written[size_t(number - 1)]
                       ? plan.Numbers[size_t(number - 1)]
                       : 0;
        };
    OldNameBodies(names, plan, links, CodePage);
    records.clear();
    for (int i : plan.Order)
        if (!biff4 || plan.Written[size_t(i)]) records.push_back(std::move(*plan.Bodies[size_t(i)]));
    TellOldNamesDropped(plan, dropped);
    const bool needed = !records.empty();
    // Nor do its cell formulas: they keep their values.
    if (biff4) {
        if (!needed) return false;
        oldLinks = TOldLinks{};
        oldLinks->OneSheet = true;
        oldLinksTarget = target;
        return true;
    }
    // Without names, the cell formulas that name other sheets need the table.
    if (!needed && !CellsNameOtherSheets(links)) return false;
    // LibreOffice looks the names of Excel 5 cell formulas up among the
    // global ones alone: a cell that names a local name keeps its value.
    oldNames.assign(plan.Count, 0);
    for (size_t i = 0; i < plan.Count; ++i)
        if (plan.Written[i] && names.Items(int(i)).SheetNumber == 0) oldNames[i] = plan.Numbers[i];
    links.NameNumber = [this](int number) {
        return number >= 1 && size_t(number) <= oldNames.size() ? oldNames[size_t(number - 1)] : 0;
    };
    oldLinks = std::move(links);
    oldLinksTarget = target;
    return true;
}

} // namespace xls
