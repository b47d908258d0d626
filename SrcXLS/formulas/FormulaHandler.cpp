#include "SrcXLS/formulas/FormulaHandler.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSLibState.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/FormulaValues.h"
#include "SrcXLS/formulas/LaterFunctions.h"
#include "SrcXLS/formulas/TableReferences.h"
#include "SrcXLS/formulas/TokenRewriting.h"
#include "SrcXLS/model/CellStorage.h"

#include <algorithm>

namespace xls {

namespace {

const char* const WrongCell = "Cell is missing/is of wrong type";
// The sheet number of an EXTERNSHEET entry whose sheet was deleted.
constexpr int DeletedSheet = 0xFFFF;
const char* const SharedFormulaMissing = "Excpected shared formula not found";

TFormulaSyntax SyntaxOf(bool fileSyntax) {
    return fileSyntax ? TFormulaSyntax::File() : TFormulaSyntax::Display(LibState().Locale);
}

bool Has2007Marker(std::span<const uint8_t> tokens) {
    TTokenWalker w(tokens, TTokenLayout::BIFF8);
    TToken t;
    while (w.Next(t) == TWalkStatus::Token)
        if (t.Layout == TTokenLayout::X2007) return true;
    return !tokens.empty() && tokens[0] == ptg::Layout2007;
}

// The tokens of a cell as the writer and decoder take them: the array
// formula's for an array cell.
struct TCellTokens {
    std::span<const uint8_t> Data;
    size_t Length = 0;
};

TCellTokens TokensOf(const TFormulaCell& cell) {
    if (const auto* array = dynamic_cast<const TBaseArrayFormulaCell*>(&cell)) {
        const auto data = array->ArrayData().subspan(TBaseArrayFormulaCell::ArrayHeadSize);
        return {data, size_t(array->GetArrayTokenLength())};
    }
    return {cell.Data(), size_t(cell.TokenLength())};
}

std::u16string KeptText(const TFormulaCell& cell) {
    return cell.GetFormulaText();
}

// A cell of an .xlsx shared formula that takes the anchor's formula.
bool IsSharedMember(const TFormulaCell& cell) {
    return cell.IsText() && cell.SharedLink() != NoSharedFormula && cell.TokenLength() == 0;
}

bool IsSharedAnchor(const TCell* cell, uint16_t index) {
    const auto* f = dynamic_cast<const TFormulaCell*>(cell);
    return f && f->IsText() && f->SharedLink() == index && f->TokenLength() > 0;
}

} // namespace

TFormulaHandler::TFormulaHandler(TCellValuesList& stores) : stores(stores) {
    names.OnNameDeleted = [this](int position) { NameDeleted(position); };
}

TFormulaHandler::~TFormulaHandler() = default;

void TFormulaHandler::Clear() {
    externals.Clear();
    names.Clear();
    tables.clear();
    oldExternSheets.clear();
}

void TFormulaHandler::PrefixLaterFunctionNames() {
    for (int i = 0; i < names.Count(); ++i) {
        TInternalName& n = names.Items(i);
        // A function of the workbook's macros keeps its name; a later
        // function's name stands for no formula, or an error.
        const bool placeholder =
            n.TokenLength == 0 || (n.TokenLength == 2 && n.Data.size() >= 2 && n.Data[0] == ptg::Err);
        if (!(n.Options & noFunction) || (n.Options & noVBAProcedure) || n.IsBuiltIn() || !placeholder)
            continue;
        const std::u16string hidden = HiddenFunctionName(n.GetName());
        if (!hidden.empty()) n.SetName(hidden);
    }
}

// ---------------------------------------------------------------------------
// Text and tokens

TEncodedFormula TFormulaHandler::Encode(std::u16string_view text, const TFormulaEncoding& how,
                                        TEncodeMode mode) {
    TEncodeOptions o;
    o.Mode = mode;
    o.Syntax = SyntaxOf(how.FileSyntax);
    o.Class = how.Class;
    o.MaxSize = how.MaxSize;
    o.Names = this;
    o.LaterFunctions = how.FileSyntax;
    o.BaseRow = how.Row;
    o.BaseCol = how.Col;
    if (OnEncodeError && how.UserText)
        o.OnError = [this](int number, const std::string& message) { OnEncodeError(*this, number, message); };
    const int saved = encodingSheet;
    encodingSheet = how.Sheet;
    try {
        TEncodedFormula f = xls::EncodeFormula(text, o);
        encodingSheet = saved;
        return f;
    } catch (...) {
        encodingSheet = saved;
        throw;
    }
}

TEncodedFormula TFormulaHandler::EncodeFormula(std::u16string_view text, const TFormulaEncoding& how) {
    const TEncodeMode mode = how.OpenDocument ? TEncodeMode::emOpenDocument
                             : how.Layout2007 || (version == TExcelVersion::xvExcel2007 && !how.BIFF8)
                                 ? TEncodeMode::em2007
                                 : TEncodeMode::emBIFF8;
    return Encode(text, how, mode);
}

std::u16string TFormulaHandler::DecodeFormula(std::span<const uint8_t> data, size_t tokenLength,
                                              const TFormulaDecoding& how) {
    TDecodeContext c;
    c.Version = how.TokenVersion;
    c.Syntax = SyntaxOf(how.FileSyntax);
    c.Names = this;
    c.Row = how.Row;
    c.Col = how.Col;
    c.CodePage = CodePage;
    c.Fault = how.Fault;
    const int saved = decodingSheet;
    decodingSheet = how.Sheet;
    try {
        std::u16string text = xls::DecodeFormula(data, tokenLength, c);
        decodingSheet = saved;
        return text;
    } catch (...) {
        decodingSheet = saved;
        throw;
    }
}

TFormulaCell& TFormulaHandler::SharedAnchor(TCellValues& store, uint16_t index, int& col1, int& row1,
                                            int& col2, int& row2) {
    if (index >= store.StringList.size() ||
        !AreaStrToColRowPlain(store.StringList[index], col1, row1, col2, row2))
        throw XLSError(SharedFormulaMissing);
    OrderArea(col1, row1, col2, row2);
    // The cell the reader found the text in, else the area's first cell.
    if (index < store.SharedAnchors.size() && store.SharedAnchors[index].first >= 0) {
        const auto [col, row] = store.SharedAnchors[index];
        if (TCell* anchor = store.FindCell(col, row); IsSharedAnchor(anchor, index))
            return static_cast<TFormulaCell&>(*anchor);
    }
    TCell* anchor = store.FindCell(col1, row1);
    if (IsSharedAnchor(anchor, index)) return static_cast<TFormulaCell&>(*anchor);
    throw XLSError(SharedFormulaMissing);
}

TEncodedFormula TFormulaHandler::SharedMemberTokens(int sheet, const TFormulaCell& cell) {
    if (sheet < 0 || sheet >= stores.Count()) throw XLSError(SharedFormulaMissing);
    int col1, row1, col2, row2;
    const TFormulaCell& anchor = SharedAnchor(stores.Items(sheet), cell.SharedLink(), col1, row1, col2, row2);
    TFormulaEncoding how;
    how.Sheet = sheet;
    how.FileSyntax = true;
    how.Row = int(anchor.Row);
    how.Col = anchor.Col;
    TEncodedFormula f = Encode(KeptText(anchor), how, TEncodeMode::em2007);
    Shift2007SharedFormula(std::span<uint8_t>(f.Data).first(f.TokenLength), int(cell.Col) - anchor.Col,
                           int(int64_t(cell.Row) - anchor.Row));
    return f;
}

TEncodedFormula TFormulaHandler::TextFormulaTokens(int sheet, const TFormulaCell& cell) {
    if (IsSharedMember(cell)) return SharedMemberTokens(sheet, cell);
    TFormulaEncoding how;
    how.Sheet = sheet;
    how.FileSyntax = true;
    how.Row = int(cell.Row);
    how.Col = cell.Col;
    // A package's text in its own layout, whatever version the workbook is
    // to be written in: it runs over the cells as they are.
    return Encode(KeptText(cell), how, TEncodeMode::em2007);
}

bool TFormulaHandler::CompileText(int sheet, const TFormulaCell& cell, TEncodedFormula& tokens) {
    if (IsSharedMember(cell)) {
        if (sheet < 0 || sheet >= stores.Count()) throw XLSError(SharedFormulaMissing);
        int col1, row1, col2, row2;
        SharedAnchor(stores.Items(sheet), cell.SharedLink(), col1, row1, col2, row2);
    }
    try {
        tokens = TextFormulaTokens(sheet, cell);
        return true;
    } catch (const XLSError&) {
        return false;
    }
}

std::u16string TFormulaHandler::CellFormula(int sheet, const TFormulaCell& cell, bool fileSyntax,
                                            std::string* fault) {
    if (IsSharedMember(cell)) {
        const TEncodedFormula f = SharedMemberTokens(sheet, cell);
        TFormulaDecoding how;
        how.Row = int(cell.Row);
        how.Col = cell.Col;
        how.Sheet = sheet;
        how.FileSyntax = fileSyntax;
        how.Fault = fault;
        return DecodeFormula(f.Data, f.TokenLength, how);
    }
    if (cell.IsText()) return KeptText(cell);
    TCellTokens tokens = TokensOf(cell);
    // A cell that points into an array formula (tExp alone) shows the array's.
    if (tokens.Length == 5 && tokens.Data[0] == ptg::Exp && sheet >= 0 && sheet < stores.Count()) {
        const int row = GetU16(tokens.Data.data() + 1), col = GetU16(tokens.Data.data() + 3);
        if (auto* array = dynamic_cast<TBaseArrayFormulaCell*>(stores.Items(sheet).FindCell(col, row)))
            tokens = TokensOf(*array);
    }
    TFormulaDecoding how;
    how.Row = int(cell.Row);
    how.Col = cell.Col;
    how.Sheet = sheet;
    how.FileSyntax = fileSyntax;
    how.TokenVersion = cell.TokenVersion();
    how.Fault = fault;
    return DecodeFormula(tokens.Data, tokens.Length, how);
}

std::u16string TFormulaHandler::CellFormulaText(int sheet, const TFormulaCell& cell, bool fileSyntax) {
    return CellFormula(sheet, cell, fileSyntax);
}

std::u16string TFormulaHandler::GetCellFormulaXML(int sheet, int col, int row) {
    if (sheet < 0 || sheet >= stores.Count()) throw XLSError(WrongCell);
    auto* cell = dynamic_cast<TFormulaCell*>(stores.Items(sheet).FindCell(col, row));
    if (!cell) throw XLSError(WrongCell);
    return CellFormula(sheet, *cell, true);
}

namespace {
// The reason part of a message of the encoder ("Error in formula ...\r<reason>").
std::string ReasonOf(const XLSError& e) {
    const std::string text = e.what();
    const size_t cr = text.rfind('\r');
    return cr == text.npos ? text : text.substr(cr + 1);
}

// A formula cell whose BIFF8 tokens the write makes through the encoder.
bool CompiledForBIFF8(const TFormulaCell& cell) {
    return cell.IsText() || cell.TokenVersion() < TExcelVersion::xvExcel97;
}

// A cell of a data table: its one token names the table's first cell, the
// same in every layout from BIFF3 on.
bool DataTableCell(const TFormulaCell& cell, std::span<const uint8_t> own, size_t ownLength) {
    return !cell.IsText() && ownLength == 5 && own.size() >= 5 && own[0] == ptg::Tbl &&
           cell.TokenVersion() >= TExcelVersion::xvExcel30;
}
} // namespace

const TBaseArrayFormulaCell* TFormulaHandler::ArrayOf(int sheet, const TFormulaCell& cell) {
    if (const auto* array = dynamic_cast<const TBaseArrayFormulaCell*>(&cell);
        array && array->ArrayOptions == 0)
        return array;
    // A further cell points at the first with its token alone (also one
    // whose boolean or error result an array cell could not hold).
    const std::span<const uint8_t> own = cell.Data();
    if (cell.IsText() || cell.TokenLength() != 5 || own.size() < 5 || own[0] != ptg::Exp || sheet < 0 ||
        sheet >= stores.Count())
        return nullptr;
    const auto* array = dynamic_cast<const TBaseArrayFormulaCell*>(
        stores.Items(sheet).FindCell(GetU16(own.data() + 3), GetU16(own.data() + 1)));
    return array && array->ArrayOptions == 0 ? array : nullptr;
}

bool TFormulaHandler::BIFF8Tokens(int sheet, const TFormulaCell& cell, std::vector<uint8_t>& data,
                                  size_t& tokenLength, std::string* why) {
    return FormulaTokens(sheet, cell, TExcelVersion::xvExcel97, data, tokenLength, why);
}

bool TFormulaHandler::BIFF8Layout(int sheet, const TFormulaCell& cell, std::span<const uint8_t> own,
                                  size_t ownLength, std::vector<uint8_t>& data, size_t& tokenLength,
                                  std::string* why) {
    const bool biff8 = !CompiledForBIFF8(cell);
    if ((biff8 && !Has2007Marker(own.first(std::min(ownLength, own.size())))) ||
        DataTableCell(cell, own, ownLength)) {
        data.assign(own.begin(), own.end());
        tokenLength = ownLength;
        return true;
    }
    if (biff8) {
        auto converted = Tokens2007ToBIFF8(own, ownLength, tokenLength, why);
        if (!converted) return false;
        data = std::move(*converted);
        return true;
    }
    // Kept .xlsx text and the tokens of older versions go through text.
    try {
        TFormulaEncoding how;
        how.Sheet = sheet;
        how.FileSyntax = true;
        how.BIFF8 = true;
        how.Row = int(cell.Row);
        how.Col = cell.Col;
        std::string fault;
        const std::u16string text = CellFormula(sheet, cell, true, &fault);
        if (!fault.empty()) {
            // A marker in the text would be read as something else.
            if (why) *why = "its tokens do not decode: " + fault;
            return false;
        }
        try {
            TEncodedFormula f = Encode(text, how, TEncodeMode::emBIFF8);
            data = std::move(f.Data);
            tokenLength = f.TokenLength;
            return true;
        } catch (const XLSError& e) {
            // A package's formula naming cells past the limits of the file.
            if (cell.IsText() && CutForBIFF8(text, how, data, tokenLength, why)) return true;
            if (why && why->empty()) *why = ReasonOf(e);
            return false;
        }
    } catch (const XLSError& e) {
        if (why) *why = ReasonOf(e);
        return false;
    }
}

bool TFormulaHandler::CutForBIFF8(std::u16string_view text, const TFormulaEncoding& how,
                                  std::vector<uint8_t>& data, size_t& tokenLength, std::string* why) {
    TEncodedFormula f;
    try {
        f = Encode(text, how, TEncodeMode::em2007);
    } catch (const XLSError&) {
        return false;
    }
    TBIFF8Cut cut;
    auto tokens = Tokens2007ToBIFF8(f.Data, f.TokenLength, tokenLength, nullptr, &cut);
    if (tokens && cut.Out) {
        if (why) *why = "it names cells beyond column IV or row 65536";
        return false;
    }
    if (!tokens || !cut.Cut) return false;
    data = std::move(*tokens);
    if (why) *why = "cut at column IV or row 65536";
    return true;
}

bool TFormulaHandler::OlderLayout(int sheet, const TFormulaCell& cell, std::span<const uint8_t> own,
                                  size_t ownLength, TExcelVersion target, std::vector<uint8_t>& data,
                                  size_t& tokenLength, std::string* why) {
    const TOldLinks* links = oldLinks && target == oldLinksTarget ? &*oldLinks : nullptr;
    // The names of the file written are numbered anew, and those of an Excel
    // 4 file are named by no cell.
    if (!cell.IsText() && cell.TokenVersion() == target &&
        !(links && NamesAName(own.first(std::min(ownLength, own.size())), TokenLayoutOf(target)))) {
        data.assign(own.begin(), own.end());
        tokenLength = ownLength;
        return true;
    }
    if (DataTableCell(cell, own, ownLength)) {
        // The library's Excel 4 files hold no data tables.
        if (target < TExcelVersion::xvExcel50) {
            if (why) *why = "a cell of a data table";
            return false;
        }
        data.assign(own.begin(), own.begin() + 5);
        tokenLength = 5;
        return true;
    }
    // Tokens that do not decode would read as another formula there (a
    // macro sheet's command is kept as read).
    std::string fault;
    try {
        CellFormula(sheet, cell, true, &fault);
    } catch (const XLSError& e) {
        fault = ReasonOf(e);
    }
    if (!fault.empty() && !IsMacroCommandFault(fault)) {
        if (why) *why = "its tokens do not decode: " + fault;
        return false;
    }
    // Older files take what converts to their layout: from BIFF8 tokens,
    // made from the kept text when the formula is one.
    std::vector<uint8_t> source;
    size_t sourceLength = 0;
    TExcelVersion from = cell.TokenVersion();
    if (cell.IsText() || from >= TExcelVersion::xvExcel97) {
        if (!BIFF8Layout(sheet, cell, own, ownLength, source, sourceLength, why)) return false;
        from = TExcelVersion::xvExcel97;
    } else {
        source.assign(own.begin(), own.end());
        sourceLength = ownLength;
    }
    // Each version gets the functions it has.
    if (!CallsInVersion(std::span<const uint8_t>(source).first(sourceLength), TokenLayoutOf(from), target,
                        why))
        return false;
    auto converted = TokensToOldLayout(source, sourceLength, from, CodePage, tokenLength, links);
    // The names of an older file are named through BIFF8 tokens.
    if (!converted && links && !links->OneSheet && from < TExcelVersion::xvExcel97 &&
        BIFF8Layout(sheet, cell, own, ownLength, source, sourceLength, nullptr))
        converted =
            TokensToOldLayout(source, sourceLength, TExcelVersion::xvExcel97, CodePage, tokenLength, links);
    if (!converted) {
        if (why)
            *why =
                links && links->OneSheet &&
                        NamesAName(std::span<const uint8_t>(source).first(sourceLength), TokenLayoutOf(from))
                    ? "it names a defined name, which not every reader of Excel 4 files computes"
                    : "names, other sheets or functions the older layout does not hold";
        return false;
    }
    data = std::move(*converted);
    return true;
}

bool TFormulaHandler::FormulaTokens(int sheet, const TFormulaCell& cell, TExcelVersion target,
                                    std::vector<uint8_t>& data, size_t& tokenLength, std::string* why) {
    // A cell of an array formula keeps its pointing token when the array's
    // formula has a form in the layout.
    if (const TBaseArrayFormulaCell* array = ArrayOf(sheet, cell)) {
        if (!ArrayFormulaTokens(sheet, *array, target, data, tokenLength, why)) return false;
        data.assign(cell.Data().begin(), cell.Data().end());
        tokenLength = size_t(cell.TokenLength());
        return true;
    }
    // A further cell of an array whose first is not there stays as read.
    if (dynamic_cast<const TBaseArrayFormulaCell*>(&cell)) {
        if (target >= TExcelVersion::xvExcel97 ? cell.TokenVersion() >= TExcelVersion::xvExcel97
                                               : cell.TokenVersion() == target) {
            data.assign(cell.Data().begin(), cell.Data().end());
            tokenLength = size_t(cell.TokenLength());
            return true;
        }
        if (why) *why = "an array formula whose first cell is missing";
        return false;
    }
    if (target >= TExcelVersion::xvExcel97)
        return BIFF8Layout(sheet, cell, cell.Data(), size_t(cell.TokenLength()), data, tokenLength, why);
    return OlderLayout(sheet, cell, cell.Data(), size_t(cell.TokenLength()), target, data, tokenLength, why);
}

bool TFormulaHandler::ArrayFormulaTokens(int sheet, const TBaseArrayFormulaCell& cell, TExcelVersion target,
                                         std::vector<uint8_t>& data, size_t& tokenLength, std::string* why) {
    const TCellTokens tokens = TokensOf(cell);
    if (target >= TExcelVersion::xvExcel97)
        return BIFF8Layout(sheet, cell, tokens.Data, tokens.Length, data, tokenLength, why);
    return OlderLayout(sheet, cell, tokens.Data, tokens.Length, target, data, tokenLength, why);
}

void TFormulaHandler::PrepareBIFF8Cells() {
    std::vector<uint8_t> data;
    size_t length = 0;
    for (int s = 0; s < stores.Count(); ++s) {
        TCellValues& store = stores.Items(s);
        store.BeginIterate();
        while (TCell* c = store.NextCell()) {
            // Cells past the sheet of the file are not written.
            if (!c->IsFormula() || c->Col > 255 || c->Row > 65535) continue;
            const auto& f = static_cast<const TFormulaCell&>(*c);
            if (CompiledForBIFF8(f)) BIFF8Tokens(s, f, data, length, nullptr);
        }
    }
}

void TFormulaHandler::ReencodeCell(int sheet, int col, int row) {
    if (sheet < 0 || sheet >= stores.Count()) return;
    // Tokens of the same meaning change no value.
    TCellValuesList::TQuiet quiet(stores);
    TCellValues& store = stores.Items(sheet);
    auto* cell = dynamic_cast<TFormulaCell*>(store.FindCell(col, row));
    if (!cell || !cell->IsText()) return;
    if (cell->SharedLink() != NoSharedFormula) {
        UnshareFormula(store, *cell);
        return;
    }
    TFormulaEncoding how;
    how.Sheet = sheet;
    how.FileSyntax = true;
    how.Row = row;
    how.Col = col;
    TEncodedFormula f = Encode(KeptText(*cell), how, TEncodeMode::em2007);
    cell->SetFormula(f.Data, f.TokenLength);
}

void TFormulaHandler::UnshareFormula(TCellValues& store, TCell& given) {
    auto* cell = dynamic_cast<TFormulaCell*>(&given);
    if (!cell) return;
    TCellValuesList::TQuiet quiet(stores);
    const uint16_t index = cell->SharedLink();
    int col1 = 0, row1 = 0, col2 = 0, row2 = 0;
    const TFormulaCell& anchor = SharedAnchor(store, index, col1, row1, col2, row2);
    TFormulaEncoding how;
    how.Sheet = stores.IndexOf(&store);
    how.FileSyntax = true;
    how.Row = int(anchor.Row);
    how.Col = anchor.Col;
    const TEncodedFormula f = Encode(KeptText(anchor), how, TEncodeMode::em2007);
    const int anchorCol = anchor.Col;
    const int64_t anchorRow = anchor.Row;
    // The members, the anchor and the given cell among them: the stored
    // cells of the area, not every address in it.
    std::vector<TFormulaCell*> members;
    store.BeginIterate();
    while (TCell* c = store.NextCell()) {
        if (int(c->Col) < col1 || int(c->Col) > col2 || int64_t(c->Row) < row1 || int64_t(c->Row) > row2)
            continue;
        if (auto* m = dynamic_cast<TFormulaCell*>(c); m && m->IsText() && m->SharedLink() == index)
            members.push_back(m);
    }
    for (TFormulaCell* m : members) {
        std::vector<uint8_t> tokens = f.Data;
        Shift2007SharedFormula(std::span<uint8_t>(tokens).first(f.TokenLength), int(m->Col) - anchorCol,
                               int(int64_t(m->Row) - anchorRow));
        m->SetFormula(tokens, f.TokenLength);
    }
    store.StringList[index].clear();
}

void TFormulaHandler::AdjustFormula(int sheet, TFormulaCell& cell, bool adjustAll, bool firstRowFixed,
                                    int rows, int cols) {
    if (cell.IsText()) {
        TFormulaEncoding how;
        how.Sheet = sheet;
        how.FileSyntax = true;
        // The text was written for the cell where it stood.
        how.Row = int(cell.Row) - rows;
        how.Col = cell.Col - cols;
        const TEncodedFormula f = Encode(KeptText(cell), how, TEncodeMode::em2007);
        cell.SetFormula(f.Data, f.TokenLength);
    }
    std::vector<uint8_t> data(cell.Data().begin(), cell.Data().end());
    AdjustCell(cell.TokenVersion() >= TExcelVersion::xvExcel97,
               std::span<uint8_t>(data).first(size_t(cell.TokenLength())), adjustAll, firstRowFixed, rows,
               cols);
    const TExcelVersion layout = cell.TokenVersion();
    cell.SetFormula(data, size_t(cell.TokenLength()));
    cell.SetTokenVersion(layout);
}

// ---------------------------------------------------------------------------
// Names and sheets for the decoder

int TFormulaHandler::FindSheet(std::u16string_view name) {
    if (!SheetNameAt || !SheetCount) return -1;
    auto found = sheetIndex.find(name);
    const int count = SheetCount();
    if (found != sheetIndex.end() && found->second < count &&
        TNoCaseEqual()(SheetNameAt(found->second), name))
        return found->second;
    // Sheets were renamed, added or removed since: index them again.
    sheetIndex.clear();
    for (int i = count - 1; i >= 0; --i) sheetIndex[SheetNameAt(i)] = i;
    found = sheetIndex.find(name);
    return found == sheetIndex.end() ? -1 : found->second;
}

std::u16string TFormulaHandler::SheetNameOf(int index) {
    if (!SheetNameAt || !SheetCount || index < 0 || index >= SheetCount()) return {};
    if (size_t(index) < writtenSheetNames.size()) return writtenSheetNames[size_t(index)];
    return SheetNameAt(index);
}

std::u16string TFormulaHandler::WrittenSheetName(std::u16string_view name) {
    const int index = writtenSheetNames.empty() ? -1 : FindSheet(name);
    return index < 0 ? std::u16string(name) : SheetNameOf(index);
}

std::u16string TFormulaHandler::WithWrittenSheetNames(std::u16string_view text, int sheet, int col, int row,
                                                      bool always, bool* unfollowed) {
    if (unfollowed) *unfollowed = false;
    if (!SheetNameAt || (writtenSheetNames.empty() && !always)) return std::u16string(text);
    // Only a text that may name a renamed sheet is compiled.
    const std::u16string upper = UpperCaseWide(text);
    bool names = false;
    for (size_t i = 0; i < writtenSheetNames.size() && !names; ++i) {
        const std::u16string old = SheetNameAt(int(i));
        if (old == writtenSheetNames[i]) continue;
        std::u16string quoted;
        for (char16_t c : old) quoted += c == u'\'' ? u"''" : std::u16string(1, c);
        names =
            upper.find(UpperCaseWide(old)) != upper.npos || upper.find(UpperCaseWide(quoted)) != upper.npos;
    }
    if (!names && !always) return std::u16string(text);
    TFormulaEncoding how;
    how.Sheet = sheet;
    how.FileSyntax = true;
    how.Row = row;
    how.Col = col;
    try {
        const TEncodedFormula f = Encode(text, how, TEncodeMode::em2007);
        // Another workbook's sheet of that name stays as it is written.
        if (!always && !NamesRenamedSheet(f, sheet)) return std::u16string(text);
        TFormulaDecoding back;
        back.Sheet = sheet;
        back.FileSyntax = true;
        back.Row = row;
        back.Col = col;
        return DecodeFormula(f.Data, f.TokenLength, back);
    } catch (const XLSError&) {
        if (unfollowed) *unfollowed = names;
        return std::u16string(text);
    }
}

bool TFormulaHandler::NamesRenamedSheet(const TEncodedFormula& f, int sheet) {
    auto renamed = [this](int index) {
        return index >= 0 && size_t(index) < writtenSheetNames.size() &&
               writtenSheetNames[size_t(index)] != SheetNameAt(index);
    };
    bool names = false;
    std::vector<uint8_t> data = f.Data;
    FollowSheetReferences(std::span<uint8_t>(data).first(f.TokenLength), TTokenLayout::BIFF8,
                          [&](uint16_t& entry) {
                              const TSupBook* book = externals.BookOf(entry);
                              if (book && book->Kind == SupBookSelf)
                                  names = names || renamed(externals.Entry(entry).First) ||
                                          renamed(externals.Entry(entry).Last);
                              return false;
                          });
    // A name local to a renamed sheet is written through it.
    size_t length = f.TokenLength;
    FollowNames(
        data, length, TTokenLayout::BIFF8,
        [&](int number) {
            if (number >= 1 && number <= this->names.Count()) {
                const int local = this->names.Items(number - 1).SheetNumber - 1;
                names = names || (local != sheet && renamed(local));
            }
            return number;
        },
        [this](int entry) {
            const TSupBook* book = externals.BookOf(entry);
            return book && book->Kind == SupBookSelf;
        },
        0);
    return names;
}

std::u16string TFormulaHandler::DefinedName(int number) {
    if (number >= 1 && number <= names.Count()) {
        // A name local to another sheet than the formula's is named through its sheet.
        const TInternalName& n = names.Items(number - 1);
        if (n.Options & noFunction) return std::u16string(PackageFunctionName(n.GetName()));
        const std::u16string sheet = n.SheetNumber > 0 && n.SheetNumber - 1 != decodingSheet
                                         ? SheetNameOf(n.SheetNumber - 1)
                                         : std::u16string();
        return sheet.empty() ? n.GetName() : QuoteSheetName(sheet) + u"!" + n.GetName();
    }
    return u"#NAME?";
}

bool TFormulaHandler::HasDefinedName(int number) {
    return number >= 1 && number <= names.Count();
}

bool TFormulaHandler::HasExternSheet(int index) {
    return externals.BookOf(index) != nullptr;
}

std::u16string TFormulaHandler::ExternSheet(int index) {
    const TSupBook* book = externals.BookOf(index);
    if (!book || book->Kind == SupBookAddIn) return u"#REF!";
    if (book->Kind == SupBookOther) {
        const TExtSheet& e = externals.Entry(index);
        const int link = linkNumbers ? externals.LinkNumber(int(e.Book)) : 0;
        if (link == 0) return externals.GetExternSheetText(index, -1);
        if (e.First >= book->Sheets.size()) return u"#REF!";
        // "[1]Sheet1!", quoted as a whole when the sheet's name needs it.
        const std::u16string sheet = book->Sheets[e.First].Text();
        const std::u16string quoted = QuoteSheetName(sheet);
        const std::u16string number = u"[" + Utf8ToWide(std::to_string(link)) + u"]";
        return quoted == sheet ? number + sheet + u"!" : u"'" + number + quoted.substr(1) + u"!";
    }
    const TExtSheet& e = externals.Entry(index);
    const std::u16string first = SheetNameOf(e.First), last = SheetNameOf(e.Last);
    if (first.empty() || last.empty()) return u"#REF!";
    if (e.First == e.Last) return QuoteSheetName(first) + u"!";
    return QuoteSheetRange(first, last) + u"!";
}

std::u16string TFormulaHandler::ExternName(int index, int number) {
    const TSupBook* book = externals.BookOf(index);
    if (!book) return u"#NAME?";
    if (book->Kind == SupBookSelf) return DefinedName(number);
    if (book->Kind == SupBookAddIn) {
        if (number < 1 || size_t(number) > book->Names.size()) return u"#NAME?";
        // A later function an add-in name calls gets the prefix other programs read.
        const std::u16string text = book->Names[size_t(number) - 1].Text();
        const std::u16string_view future = FutureFunctionText(text);
        return future.empty() ? text : std::u16string(future);
    }
    const int link = linkNumbers ? externals.LinkNumber(int(externals.Entry(index).Book)) : 0;
    if (link > 0 && number >= 1 && size_t(number) <= book->Names.size())
        return u"[" + Utf8ToWide(std::to_string(link)) + u"]!" +
               QuoteSheetName(book->Names[size_t(number) - 1].Text());
    return externals.GetExternSheetText(index, number);
}

std::u16string TFormulaHandler::OldExternName(int index, int number) {
    // A sheet's own table, else the workbook's.
    auto table = decodingSheet >= 0 && decodingSheet < stores.Count()
                     ? oldExternSheets.find(&stores.Items(decodingSheet))
                     : oldExternSheets.end();
    if (table == oldExternSheets.end()) table = oldExternSheets.find(nullptr);
    if (table == oldExternSheets.end() || index < 1 || size_t(index) > table->second.size()) return u"#NAME?";
    const TOldExternSheet& sheet = table->second[size_t(index) - 1];
    if (!sheet.AddIn || number < 1 || size_t(number) > sheet.Names.size()) return u"#NAME?";
    // A later function gets the prefix other programs read, as through an
    // Excel 97 file's add-in book.
    const std::u16string& text = sheet.Names[size_t(number) - 1];
    const std::u16string_view future = FutureFunctionText(text);
    return future.empty() ? text : std::u16string(future);
}

std::u16string TFormulaHandler::SheetName(int sheet) {
    const std::u16string name = SheetNameOf(sheet);
    return name.empty() ? u"#REF" : name;
}

// ---------------------------------------------------------------------------
// Names and sheets for the encoder

int TFormulaHandler::DefinedNameIndex(std::u16string_view name, std::u16string_view sheet) {
    if (sheet.empty()) return names.IndexOfName(name, encodingSheet);
    const int index = FindSheet(sheet);
    if (index < 0) return -1;
    for (int i = 0; i < names.Count(); ++i)
        if (names.Items(i).SheetNumber == index + 1 && TNoCaseEqual()(names.Items(i).GetName(), name))
            return i;
    return -1;
}

// A sheet, or a range of sheets "First:Last", of this workbook.
bool TFormulaHandler::HasSheet(std::u16string_view name) {
    if (FindSheet(name) >= 0) return true;
    const size_t colon = name.find(u':');
    return colon != name.npos && FindSheet(name.substr(0, colon)) >= 0 &&
           FindSheet(name.substr(colon + 1)) >= 0;
}

int TFormulaHandler::ExternSheetIndex(std::u16string_view path, std::u16string_view file,
                                      std::u16string_view sheet, int& sheetIndex) {
    sheetIndex = -1;
    if (!path.empty() || !file.empty()) return externals.AddExternSheet(path, file, sheet);
    if (!SheetCount) return -1;
    // "#REF!A1": the sheet was deleted.
    if (sheet == u"#REF!") return externals.GetSelfSheetIndex(DeletedSheet, DeletedSheet, SheetCount());
    // "First:Last" names a range of sheets; a sheet name holds no ":".
    const size_t colon = sheet.find(u':');
    const int first = FindSheet(sheet.substr(0, colon));
    const int last = colon == sheet.npos ? first : FindSheet(sheet.substr(colon + 1));
    if (first < 0 || last < 0) return -1;
    sheetIndex = first;
    return externals.GetSelfSheetIndex(std::min(first, last), std::max(first, last), SheetCount());
}

bool TFormulaHandler::ExternName(std::u16string_view path, std::u16string_view file, std::u16string_view name,
                                 int& externIndex, int& number) {
    return externals.FindExternName(path, file, name, externIndex, number);
}

bool TFormulaHandler::FunctionName(std::u16string_view name, int& nameIndex, int& externIndex, int& number) {
    nameIndex = -1;
    const std::u16string_view base = WithoutFuturePrefix(name);
    if (base.size() == name.size() && IsAddInFunction(name)) {
        externals.AddAddInName(UpperCaseWide(name), externIndex, number);
        return true;
    }
    const std::u16string hidden = HiddenFunctionName(name);
    const std::u16string text = hidden.empty() ? std::u16string(name) : hidden;
    nameIndex = names.IndexOfName(text);
    if (nameIndex >= 0) return true;
    if (text.size() > 255 || BuiltInNameCode(text) != NoBuiltIn ||
        TNoCaseEqual()(text.substr(0, 6), u"_xlnm."))
        return false;
    // A hidden name of the function after the names there are, as
    // spreadsheet programs write it: its value is #NAME?.
    TInternalName& n = names.Add();
    n.SetName(text);
    n.Options = noHidden | noFunction | noMacro;
    n.Data = {ptg::Err, ErrorIndexToCode(fe::Name)};
    n.TokenLength = 2;
    nameIndex = names.Count() - 1;
    return true;
}

bool TFormulaHandler::TableReference(std::u16string_view table, std::u16string_view selector, int baseRow,
                                     int baseCol, int& externIndex, TTableArea& area, std::string& why) {
    const TTableDef* found = nullptr;
    for (const TTableDef& t : tables) {
        const bool mine = table.empty() ? t.Sheet == encodingSheet && baseRow >= t.Row1 &&
                                              baseRow <= t.Row2 && baseCol >= t.Col1 && baseCol <= t.Col2
                                        : TNoCaseEqual()(t.Name, table);
        if (mine) {
            found = &t;
            break;
        }
    }
    if (!found) {
        why = table.empty() ? "a table reference outside any table" : "no table " + WideToUtf8(table);
        return false;
    }
    if (!ResolveTableReference(*found, selector, baseRow, area, why)) return false;
    externIndex = -1;
    if (found->Sheet != encodingSheet) {
        if (!SheetCount || found->Sheet < 0 || found->Sheet >= SheetCount()) {
            why = "table " + WideToUtf8(found->Name) + " on a sheet that is gone";
            return false;
        }
        externIndex = externals.GetSelfSheetIndex(found->Sheet, found->Sheet, SheetCount());
    }
    return true;
}

void TFormulaHandler::DeleteFilterRangeName(int sheet) {
    if (sheet >= 0) names.DeleteBuiltInName(FilterDatabaseCode, sheet + 1);
}

// ---------------------------------------------------------------------------
// Names deleted, names for the evaluator

void TFormulaHandler::Calculate(std::span<const uint8_t> tokens, int sheet, int col, int row,
                                TFormulaValue& result) const {
    if (OnCalculate) {
        OnCalculate(tokens, sheet, col, row, result);
        return;
    }
    SetFormulaValueError(result, 7);
}

bool TFormulaHandler::NameDeletedInTokens(std::vector<uint8_t>& data, size_t& tokenLength, int position,
                                          TTokenLayout layout) {
    return RenumberNames(
        data, tokenLength, position + 1,
        [this](int entry) {
            const TSupBook* book = externals.BookOf(entry);
            return book && book->Kind == SupBookSelf;
        },
        layout, goneNameCode);
}

void TFormulaHandler::NameDeleted(int position) {
    std::vector<uint8_t> data;
    for (int s = 0; s < stores.Count(); ++s) {
        TCellValues& store = stores.Items(s);
        store.BeginIterate();
        while (TCell* c = store.NextCell()) {
            auto* f = dynamic_cast<TFormulaCell*>(c);
            // Text names by text.
            if (!f || f->IsText()) continue;
            const TExcelVersion version = f->TokenVersion();
            const TTokenLayout layout = TokenLayoutOf(version);
            if (auto* array = dynamic_cast<TBaseArrayFormulaCell*>(f)) {
                const TCellTokens t = TokensOf(*array);
                data.assign(t.Data.begin(), t.Data.end());
                size_t length = t.Length;
                if (NameDeletedInTokens(data, length, position, layout)) array->SetArrayFormula(data, length);
            }
            data.assign(f->Data().begin(), f->Data().end());
            size_t length = size_t(f->TokenLength());
            if (length <= data.size() && NameDeletedInTokens(data, length, position, layout)) {
                f->SetFormula(data, length);
                f->SetTokenVersion(version);
            }
        }
    }
    for (int i = 0; i < names.Count(); ++i) {
        TInternalName& n = names.Items(i);
        size_t length = n.TokenLength;
        if (NameDeletedInTokens(n.Data, length, position)) n.TokenLength = uint16_t(length);
    }
    if (OnNameDeleted) OnNameDeleted(position);
}

void TFormulaHandler::DeleteSheetNames(int index) {
    struct TRestore {
        uint8_t& code;
        ~TRestore() { code = 0x1D; }
    } restore{goneNameCode};
    // A reference to a name of a sheet that is gone names the sheet.
    goneNameCode = ErrorIndexToCode(fe::Ref);
    for (int i = names.Count() - 1; i >= 0; --i)
        if (names.Items(i).SheetNumber == index + 1) names.Delete(i);
}

// ---------------------------------------------------------------------------
// Sheets deleted

bool TFormulaHandler::EncodeSheetText(std::u16string_view text, int sheet, int col, int row,
                                      TEncodedFormula& f) {
    // Only a text that names a sheet is compiled.
    if (text.find(u'!') == text.npos) return false;
    TFormulaEncoding how;
    how.Sheet = sheet;
    how.FileSyntax = true;
    how.Row = row;
    how.Col = col;
    try {
        f = Encode(text, how, TEncodeMode::em2007);
        return true;
    } catch (const XLSError&) {
        return false;
    }
}

std::u16string TFormulaHandler::TextWithoutSheet(std::u16string_view text, int deleted, int sheet, int col,
                                                 int row) {
    TEncodedFormula f;
    if (!EncodeSheetText(text, sheet, col, row, f)) return std::u16string(text);
    const int count = SheetCount ? SheetCount() : 0;
    int dead = -1;
    // The sheets still count with the deleted one: a range of sheets that
    // starts or ends at it starts after it or ends before it.
    auto follow = [&](uint16_t& entry) {
        const TSupBook* book = externals.BookOf(entry);
        if (!book || book->Kind != SupBookSelf) return false;
        const int first = externals.Entry(entry).First, last = externals.Entry(entry).Last;
        if (first >= NoSheetEntry || last >= NoSheetEntry || first > deleted || last < deleted) return false;
        const int from = first == deleted ? deleted + 1 : first;
        const int to = last == deleted ? deleted - 1 : last;
        if (from > to) {
            if (dead < 0) dead = externals.GetSelfSheetIndex(DeletedSheet, DeletedSheet, count);
            entry = uint16_t(dead);
            return true;
        }
        entry = uint16_t(externals.GetSelfSheetIndex(from, to, count));
        return false;
    };
    const bool sheets =
        FollowSheetReferences(std::span<uint8_t>(f.Data).first(f.TokenLength), TTokenLayout::BIFF8, follow);
    if (!LocalNamesGone(f.Data, f.TokenLength, deleted) && !sheets) return std::u16string(text);
    TFormulaDecoding back;
    back.Sheet = sheet;
    back.FileSyntax = true;
    back.Row = row;
    back.Col = col;
    return DecodeFormula(f.Data, f.TokenLength, back);
}

bool TFormulaHandler::LocalNamesGone(std::vector<uint8_t>& data, size_t& tokenLength, int index) {
    return FollowNames(
        data, tokenLength, TTokenLayout::BIFF8,
        [&](int number) {
            return number >= 1 && number <= names.Count() && names.Items(number - 1).SheetNumber == index + 1
                       ? 0
                       : number;
        },
        [this](int entry) {
            const TSupBook* book = externals.BookOf(entry);
            return book && book->Kind == SupBookSelf;
        },
        ErrorIndexToCode(fe::Ref));
}

bool TFormulaHandler::TextNamesSheet(std::u16string_view text, int index, int sheet, int col, int row) {
    TEncodedFormula f;
    if (!EncodeSheetText(text, sheet, col, row, f)) return false;
    // A name of the sheet, named through it.
    std::vector<uint8_t> copy = f.Data;
    size_t length = f.TokenLength;
    if (LocalNamesGone(copy, length, index)) return true;
    bool names = false;
    FollowSheetReferences(
        std::span<uint8_t>(f.Data).first(f.TokenLength), TTokenLayout::BIFF8, [&](uint16_t& entry) {
            const TSupBook* book = externals.BookOf(entry);
            if (book && book->Kind == SupBookSelf) {
                const TExtSheet& e = externals.Entry(entry);
                names = names || (e.First <= index && e.Last >= index && e.Last < NoSheetEntry);
            }
            return false;
        });
    return names;
}

void TFormulaHandler::SheetDeleted(int deleted) {
    deletedSheet = deleted;
    // Its own link table goes with it: a sheet made later may take its cells' place.
    if (deleted >= 0 && deleted < stores.Count()) oldExternSheets.erase(&stores.Items(deleted));
    externals.SelfSheetDeleted(deleted, goneEntries);
    std::vector<uint8_t> data;
    for (int s = 0; s < stores.Count(); ++s) {
        TCellValues& store = stores.Items(s);
        store.BeginIterate();
        while (TCell* c = store.NextCell()) {
            auto* f = dynamic_cast<TFormulaCell*>(c);
            if (!f || f->IsText()) continue;
            const TExcelVersion version = f->TokenVersion();
            const TTokenLayout layout = TokenLayoutOf(version);
            if (auto* array = dynamic_cast<TBaseArrayFormulaCell*>(f)) {
                const TCellTokens t = TokensOf(*array);
                data.assign(t.Data.begin(), t.Data.end());
                if (t.Length <= data.size() &&
                    SheetDeletedInTokens(std::span<uint8_t>(data).first(t.Length), layout))
                    array->SetArrayFormula(data, t.Length);
            }
            data.assign(f->Data().begin(), f->Data().end());
            const size_t length = size_t(f->TokenLength());
            if (length <= data.size() &&
                SheetDeletedInTokens(std::span<uint8_t>(data).first(length), layout)) {
                f->SetFormula(data, length);
                f->SetTokenVersion(version);
            }
        }
    }
    for (int i = 0; i < names.Count(); ++i) {
        TInternalName& n = names.Items(i);
        if (n.SheetNumber > deleted + 1) --n.SheetNumber;
        if (n.TokenLength <= n.Data.size())
            SheetDeletedInTokens(std::span<uint8_t>(n.Data).first(n.TokenLength), TTokenLayout::BIFF8);
    }
    std::erase_if(tables, [deleted](const TTableDef& t) { return t.Sheet == deleted; });
    for (TTableDef& t : tables)
        if (t.Sheet > deleted) --t.Sheet;
}

bool TFormulaHandler::SheetDeletedInTokens(std::span<uint8_t> tokens, TTokenLayout layout) {
    return FollowSheetReferences(
        tokens, layout, [this](uint16_t& entry) { return entry < goneEntries.size() && goneEntries[entry]; },
        [this](uint16_t& first, uint16_t& last) {
            return deletedSheet >= 0 && !TExternalNames::SheetsWithout(first, last, deletedSheet);
        });
}

void TFormulaHandler::CompileNameTexts(TNameFormulas* written, std::vector<std::string>* warnings) {
    for (int i = 0; i < names.Count(); ++i) {
        TInternalName& n = names.Items(i);
        if (!n.Data.empty() || n.FormulaText.empty()) continue;
        TFormulaEncoding how;
        how.Class = ptg::ClassRef;
        how.Sheet = n.SheetNumber - 1;
        how.FileSyntax = true;
        how.BIFF8 = true;
        std::string why;
        try {
            const TEncodedFormula f = EncodeFormula(n.FormulaText, how);
            n.Data = f.Data;
            n.TokenLength = uint16_t(f.TokenLength);
            continue;
        } catch (const XLSError& e) {
            why = ReasonOf(e);
        }
        if (!written) continue;
        // The model keeps the name's own formula; the file gets what BIFF8
        // holds of it.
        const std::string name = "Name " + WideToUtf8(n.GetName()) + ": formula " +
                                 WideToUtf8(std::u16string_view(n.FormulaText).substr(0, 200)) +
                                 (n.FormulaText.size() > 200 ? "..." : "");
        TNameFormula& out = (*written)[i];
        try {
            const TEncodedFormula f = Encode(n.FormulaText, how, TEncodeMode::em2007);
            size_t tokenLength = 0;
            TBIFF8Cut cut;
            if (auto tokens = Tokens2007ToBIFF8(f.Data, f.TokenLength, tokenLength, &why, &cut);
                tokens && tokenLength <= 0xFFFF) {
                out.Data = std::move(*tokens);
                out.TokenLength = uint16_t(tokenLength);
                if (warnings && cut.Cut)
                    warnings->push_back(name + " cut at column IV or row 65536 in .xls" +
                                        (cut.Out ? " (references wholly beyond it become #REF!)" : ""));
                else if (warnings && cut.Out)
                    warnings->push_back(name + " beyond column IV or row 65536: #REF! in .xls");
                continue;
            }
        } catch (const XLSError& e) {
            why = ReasonOf(e);
        }
        while (!why.empty() && why.back() == ' ') why.pop_back();
        out.Data = {ptg::Err, ErrorIndexToCode(fe::Name)};
        out.TokenLength = uint16_t(out.Data.size());
        if (warnings) warnings->push_back(name + " not written to .xls (" + why + "); the name gives #NAME?");
    }
}

bool TFormulaHandler::NameFormula(int number, std::vector<uint8_t>& data, size_t& tokenLength) {
    if (number < 1 || number > names.Count()) return false;
    const TInternalName& n = names.Items(number - 1);
    if (n.TokenLength > 0 && n.TokenLength <= n.Data.size()) {
        data = n.Data;
        tokenLength = n.TokenLength;
        return true;
    }
    if (n.FormulaText.empty()) return false;
    TFormulaEncoding how;
    how.Class = ptg::ClassRef;
    how.Sheet = n.SheetNumber - 1;
    how.FileSyntax = true;
    try {
        TEncodedFormula f = EncodeFormula(n.FormulaText, how);
        data = std::move(f.Data);
        tokenLength = f.TokenLength;
        return true;
    } catch (const XLSError&) {
        return false;
    }
}

void TFormulaHandler::ExternCellValue(int entry, int sheetOffset, int row, int col,
                                      TFormulaValue& value) const {
    const TSupBook* book = externals.BookOf(entry);
    const long sheet = book ? long(externals.Entry(entry).First) + sheetOffset : -1;
    if (!book || book->Kind != SupBookOther || sheet < 0 || size_t(sheet) >= book->Sheets.size()) {
        SetFormulaValueError(value, 4);
        return;
    }
    CRNValue(book->Sheets[size_t(sheet)], row, col, value);
}

} // namespace xls
