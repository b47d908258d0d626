// Names and 3-D references of a workbook written as BIFF5 when it was read
// from another version: the NAME records in the BIFF5 layout, and what the
// cell formulas of the write need to name names and sheets.
#include "SrcXLS/formulas/FormulaHandler.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/model/CellStorage.h"

namespace xls {

namespace {

// The largest BIFF5 record body.
constexpr size_t MaxOldRecord = 2080;

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

bool TFormulaHandler::BeginOldLinks(std::vector<std::vector<uint8_t>>& records,
                                    std::vector<std::string>& dropped) {
    EndOldLinks();
    CompileNameTexts();
    TOldLinks links;
    links.SelfSheets = [this](uint16_t entry, uint16_t& first, uint16_t& last) {
        const TSupBook* book = externals.BookOf(entry);
        if (!book || book->Kind != SupBookSelf) return false;
        const TExtSheet& e = externals.Entry(entry);
        // A reference to several sheets is not read back alike by every
        // reader of Excel 5 files: its formula keeps its value.
        if (e.First == NoSheetEntry || e.First != e.Last) return false;
        first = last = e.First;
        return true;
    };
    std::vector<bool> written(size_t(names.Count()), false);
    links.NameWritten = [&written](int number) {
        return number >= 1 && size_t(number) <= written.size() && written[size_t(number - 1)];
    };

    // Names written as the BIFF8 writer writes them; those of functions
    // (macros, add-ins, functions Excel 5 lacks) are written as they are,
    // but not named.
    std::vector<bool> listed(size_t(names.Count()), false);
    for (int i = 0; i < names.Count(); ++i) {
        const TInternalName& n = names.Items(i);
        listed[size_t(i)] = n.Loaded || !n.NameBytes().empty();
        written[size_t(i)] =
            listed[size_t(i)] && !n.IsFunctionCall() && !(n.Options & (noFunction | noVBAProcedure));
    }
    // A name that names a name without its formula loses its own: until
    // nothing changes.
    std::vector<std::optional<std::vector<uint8_t>>> bodies(size_t(names.Count()));
    std::vector<std::string> why(size_t(names.Count()));
    for (bool changed = true; changed;) {
        changed = false;
        for (int i = 0; i < names.Count(); ++i) {
            if (!listed[size_t(i)]) continue;
            const TInternalName& n = names.Items(i);
            const bool formula = n.TokenLength > 0 && n.TokenLength <= n.Data.size();
            std::optional<std::vector<uint8_t>> tokens = std::vector<uint8_t>();
            size_t length = 0;
            if (formula) {
                tokens = TokensToOldLayout(n.Data, n.TokenLength, TExcelVersion::xvExcel97, CodePage, length,
                                           &links);
                if (!tokens)
                    why[size_t(i)] = "other workbooks, names or functions the older layout does not hold";
            } else if (!n.FormulaText.empty()) {
                tokens.reset();
                why[size_t(i)] = "a formula that does not compile";
            }
            std::optional<std::vector<uint8_t>> body;
            try {
                body =
                    n.OldRecordBody(tokens ? *tokens : std::vector<uint8_t>(), tokens ? length : 0, CodePage);
            } catch (const XLSError&) {
                // The name's text has no 8-bit form: a stand-in keeps its number.
                TInternalName standIn = n;
                standIn.SetName(u"_Name" + Utf8ToWide(std::to_string(i + 1)));
                body = standIn.OldRecordBody(tokens ? *tokens : std::vector<uint8_t>(), tokens ? length : 0,
                                             CodePage);
            }
            if (tokens && body->size() > MaxOldRecord) {
                tokens.reset();
                why[size_t(i)] = "a formula too long for the record";
                body = n.OldRecordBody({}, 0, CodePage);
            }
            bodies[size_t(i)] = std::move(body);
            if (!tokens && written[size_t(i)]) {
                written[size_t(i)] = false;
                changed = true;
            }
        }
    }
    records.clear();
    bool needed = false;
    for (int i = 0; i < names.Count(); ++i) {
        if (!listed[size_t(i)]) continue;
        needed = true;
        records.push_back(std::move(*bodies[size_t(i)]));
        if (why[size_t(i)].empty() || names.Items(i).IsFunctionCall()) continue;
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
        dropped.push_back("Defined name '" + WideToUtf8(n.GetName()) + "': formula" +
                          (text.empty() ? "" : " =" + WideToUtf8(text)) + " not written to .xls (Excel 5) (" +
                          why[size_t(i)] + "); the name is written without it");
    }
    // Without names, the cell formulas that name other sheets need the table.
    std::vector<uint8_t> data;
    size_t length = 0;
    for (int s = 0; s < stores.Count() && !needed; ++s) {
        TCellValues& store = stores.Items(s);
        store.BeginIterate();
        while (TCell* c = store.NextCell()) {
            if (!c->IsFormula() || c->Col > 255 || c->Row > 16383) continue;
            const auto& f = static_cast<const TFormulaCell&>(*c);
            if (!f.IsText() && f.TokenVersion() < TExcelVersion::xvExcel97) continue;
            if (BIFF8Tokens(s, f, data, length, nullptr) &&
                Has3dReference(std::span<const uint8_t>(data).first(length), links)) {
                needed = true;
                break;
            }
        }
    }
    if (!needed) return false;
    // LibreOffice looks the names of Excel 5 cell formulas up among the
    // global ones alone: a cell that names a local name keeps its value.
    oldNames = written;
    for (int i = 0; i < names.Count(); ++i)
        if (names.Items(i).SheetNumber != 0) oldNames[size_t(i)] = false;
    links.NameWritten = [this](int number) {
        return number >= 1 && size_t(number) <= oldNames.size() && oldNames[size_t(number - 1)];
    };
    oldLinks = std::move(links);
    return true;
}

} // namespace xls
