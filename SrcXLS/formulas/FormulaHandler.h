// The workbook's one door to formulas: text to tokens and back with the
// workbook's names and sheets, the defined names and external references,
// the tokens the BIFF8 writer needs, and the dissolving of .xlsx shared
// formulas. The component creates one and keeps it for its whole life.
#pragma once

#include "SrcXLS/XLSText.h"
#include "SrcXLS/XLSValues.h"
#include "SrcXLS/formulas/DefinedNames.h"
#include "SrcXLS/formulas/ExternalNames.h"
#include "SrcXLS/formulas/FormulaDecoder.h"
#include "SrcXLS/formulas/FormulaEncoder.h"
#include "SrcXLS/formulas/TokenRewriting.h"
#include "SrcXLS/model/FormulaServices.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace xls {

class TCell;
class TCellValues;
class TCellValuesList;
class TFormulaCell;
struct TOldNamePlan;

// How formula text is made into tokens.
struct TFormulaEncoding {
    // Class of the top-level operands: 0 the defaults, 0x20 for formulas
    // that must give references (validation lists, names of ranges).
    uint8_t Class = 0;
    // The largest token stream (with array data) the caller takes.
    size_t MaxSize = 8224;
    // The sheet the formula belongs to: its local names come first.
    int Sheet = -1;
    // "." and "," whatever the user's separators (the text of files).
    bool FileSyntax = false;
    // BIFF8 tokens even in a 2007 workbook.
    bool BIFF8 = false;
    // 2007-layout tokens whatever the workbook's version (a package's text).
    bool Layout2007 = false;
    // "[.A1]" style references.
    bool OpenDocument = false;
    // A text the user gave (a validation's, a chart's): its numbered errors
    // go to OnEncodeError when that is set.
    bool UserText = false;
    // The formula's own cell (the row a table reference takes); -1 for none.
    int Row = -1, Col = -1;
};

// How tokens are made into text.
struct TFormulaDecoding {
    // The base cell of relative tokens (shared formulas, validations and
    // conditional formats); -1 when there is none.
    int Row = -1;
    int Col = -1;
    // The sheet the formula belongs to: names local to other sheets are
    // written with their sheet; -1 for none (a defined name's formula).
    int Sheet = -1;
    // "." and "," whatever the user's separators.
    bool FileSyntax = false;
    // The version whose layout the tokens are in (a cell's TokenVersion).
    TExcelVersion TokenVersion = TExcelVersion::xvExcel97;
    // When given: what could not be decoded (TDecodeContext::Fault).
    std::string* Fault = nullptr;
};

class TFormulaHandler : public IFormulaServices, private TFormulaNameSource, private TFormulaNameResolver {
public:
    explicit TFormulaHandler(TCellValuesList& stores);
    ~TFormulaHandler() override;
    TFormulaHandler(const TFormulaHandler&) = delete;
    TFormulaHandler& operator=(const TFormulaHandler&) = delete;

    // The workbook's sheets as formulas count them, installed by the
    // component: a sheet's name and their count.
    std::function<std::u16string(int index)> SheetNameAt;
    std::function<int()> SheetCount;
    // The index of a sheet by name in any letter case, -1 when none.
    int FindSheet(std::u16string_view name);

    // Numbered errors of the formula encoder (Invalid function name,
    // Unknown name...) in texts the user gives: when set, it receives the
    // handler, the error's number and its message instead of an exception,
    // and the formula compiles to no tokens. Texts of files still raise.
    std::function<void(TFormulaHandler& encoder, int number, const std::string& message)> OnEncodeError;

    // The tables of a package, which formula text names as "Goods[Price]";
    // emptied by Clear.
    void AddTable(TTableDef table) { tables.push_back(std::move(table)); }
    const std::vector<TTableDef>& Tables() const { return tables; }

    // Formula text as package parts write it: other workbooks as "[n]", the
    // number of their external link part, not by their paths. Set by the
    // package writer while it writes.
    void SetLinkNumbers(bool on) { linkNumbers = on; }
    // The names sheets are written under when they differ from the model's
    // (a package cannot hold some): decoded formulas name them so, and
    // WithWrittenSheetNames gives kept text the same names. Empty: none.
    // Set by the package writer while it writes.
    void SetWrittenSheetNames(std::vector<std::u16string> names) { writtenSheetNames = std::move(names); }
    bool RenamesSheets() const { return !writtenSheetNames.empty(); }
    // Formula text kept from a package (file syntax, the formula of the
    // cell (sheet, col, row)) with the sheets it names under their written
    // names: compiled and made text again when it names a renamed sheet; as
    // it is otherwise, and when it does not compile.
    // With always, any text that compiles is made text again (a reference
    // as the decoder writes it: "'Sheet'!A1" as "Sheet!A1").
    // When given, unfollowed tells whether the text names a renamed sheet
    // and stays as it is because it does not compile.
    std::u16string WithWrittenSheetNames(std::u16string_view text, int sheet, int col, int row,
                                         bool always = false, bool* unfollowed = nullptr);
    // The name the sheet of this name (any letter case) is written under;
    // the name itself when no sheet has it.
    std::u16string WrittenSheetName(std::u16string_view name);

    // Empties the names and external references.
    void Clear();
    // After a binary workbook is read: the hidden names through which it
    // calls later functions named without their prefix ("IFS", as some
    // writers give them) get it ("_xlfn.IFS"), the form other programs read.
    void PrefixLaterFunctionNames();
    // An EXTERNSHEET or EXTERNNAME record of an Excel 5 file (8-bit text in
    // codePage), the workbook's (store null) or a sheet's own (store its
    // cells): the sheets of the table that stand for add-in functions, with
    // the names of those functions, which the file's formulas call.
    void ReadOldLink(const TCellValues* store, uint16_t id, std::span<const uint8_t> body, int codePage);
    void SetVersion(TExcelVersion version) { this->version = version; }
    TExcelVersion GetVersion() const { return version; }
    TInternalNames& Names() { return names; }
    TExternalNames& Externals() { return externals; }
    TCellValuesList& CellStores() { return stores; }
    // The code page of 8-bit text in BIFF2-BIFF5 tokens.
    int CodePage = DefaultCodePage;

    // Text to tokens: the 2007 layout in an xvExcel2007 workbook, BIFF8
    // otherwise. Raises XLSError with the encoder's message.
    TEncodedFormula EncodeFormula(std::u16string_view text, const TFormulaEncoding& how = {});
    // Tokens (tokenLength bytes, then their array data) to text.
    std::u16string DecodeFormula(std::span<const uint8_t> data, size_t tokenLength,
                                 const TFormulaDecoding& how = {});
    // The formula of a cell: the tokens of its array formula for an array
    // cell, and of the array a cell of an array points into; the kept text
    // of an .xlsx formula as it was kept.
    std::u16string CellFormula(int sheet, const TFormulaCell& cell, bool fileSyntax,
                               std::string* fault = nullptr);
    // The tokens a formula kept as .xlsx text runs with: its text compiled
    // (the 2007 layout, whatever version is to be written), or for a member of a shared formula, which
    // has no text of its own, the anchor's formula moved to the member's
    // cell (2007 layout, with its marker). Raises the encoder's messages and
    // "Excpected shared formula not found".
    TEncodedFormula TextFormulaTokens(int sheet, const TFormulaCell& cell);
    // The same; false where the text does not compile (a name or sheet it
    // names is not there). Raises only for a member without its anchor.
    bool CompileText(int sheet, const TFormulaCell& cell, TEncodedFormula& tokens);
    // The formula of the cell at (sheet, col, row) in file syntax; raises
    // "Cell is missing/is of wrong type" for a cell that has none.
    std::u16string GetCellFormulaXML(int sheet, int col, int row);
    // A formula kept as .xlsx text gets 2007-layout tokens (through its
    // shared formula when it belongs to one); other cells stay as they are.
    void ReencodeCell(int sheet, int col, int row);
    // Dissolves the .xlsx shared formula a cell belongs to: every member
    // gets its own tokens. Raises "Excpected shared formula not found" when
    // the formula's first cell or area is not there; then nothing changed.
    // The store must not be in a walk of its cells.
    void UnshareFormula(TCellValues& store, TCell& cell);
    // Moves the references of a formula cell that was copied or moved by
    // (rows, cols); a kept .xlsx text is made into tokens first (for the
    // sheet it now stands on). Raises for tokens that cannot be walked.
    void AdjustFormula(int sheet, TFormulaCell& cell, bool adjustAll, bool firstRowFixed, int rows, int cols);

    // A sheet deleted (deleted: its index in the formulas' numbering).
    // Before it goes: the formula text kept from a package (file syntax, the
    // formula of the cell (sheet, col, row), -1 for none) as it reads once
    // the sheet is gone: a reference to it alone is #REF!, a range of sheets
    // loses it; the text as it is where it names it nowhere or does not
    // compile. The sheets keep their names in the text.
    std::u16string TextWithoutSheet(std::u16string_view text, int deleted, int sheet, int col, int row);
    // Whether such a text names the sheet at index, alone or within a range
    // of sheets; false for a text that does not compile.
    bool TextNamesSheet(std::u16string_view text, int index, int sheet, int col, int row);
    // As it goes: the EXTERNSHEET entries of the workbook's own sheets count
    // without it (a range of sheets loses it, an entry of it alone names no
    // sheet), references through an entry of it alone in cells and names
    // become #REF!, and the names local to later sheets follow their sheets;
    // every formula cell is left without its result, for writes to compute.
    // The other holders of tokens follow with SheetDeletedInTokens, until the
    // next deletion.
    void SheetDeleted(int deleted);
    bool SheetDeletedInTokens(std::span<uint8_t> tokens, TTokenLayout layout = TTokenLayout::BIFF8);

    // Defined names deleted: after the list's Delete (or DeleteBuiltInName)
    // the references of cells and of the other names follow, those to the
    // deleted name become #NAME? and those to later names count one less;
    // then OnNameDeleted (installed by the component) lets the other holders
    // of formulas follow, with the name's 0-based position.
    std::function<void(int position)> OnNameDeleted;

    // The value of BIFF8 tokens for the base cell (sheet, col, row), -1 for
    // none; the component installs OnCalculate, which owns the evaluator.
    // Without it the value is #N/A.
    std::function<void(std::span<const uint8_t> tokens, int sheet, int col, int row, TFormulaValue& result)>
        OnCalculate;
    void Calculate(std::span<const uint8_t> tokens, int sheet, int col, int row, TFormulaValue& result) const;
    // The same for one token stream of the BIFF8 or 2007 layout (tokenLength
    // bytes, then array data); whether it changed.
    bool NameDeletedInTokens(std::vector<uint8_t>& data, size_t& tokenLength, int position,
                             TTokenLayout layout = TTokenLayout::BIFF8);
    // The names local to the sheet at index go, as it does: references to
    // them become #REF!, not the #NAME? of a name deleted alone.
    void DeleteSheetNames(int index);
    // The BIFF code of the error that references to the name being deleted become.
    uint8_t GoneNameCode() const { return goneNameCode; }

    // The BIFF8 tokens of every name that has only the text of an .xlsx
    // formula, before a BIFF8 write. Without written, a text that does not
    // compile leaves the name without a formula. With it, such a name gets
    // there the formula the write gives it: its areas cut at column IV and
    // row 65536 (references wholly beyond made #REF!), or #NAME? where the
    // text does not compile for BIFF8 at all; warnings says which (UTF-8,
    // one line each).
    void CompileNameTexts(TNameFormulas* written = nullptr, std::vector<std::string>* warnings = nullptr);
    // Before a BIFF8 write, ahead of the link table and the names: every cell
    // formula the write makes from text (.xlsx text, older layouts) is
    // compiled once, so that the sheets and other workbooks it names have
    // their EXTERNSHEET entries, and the functions it calls their names, by
    // the time those records are written. The cell writer compiles them
    // again and finds the same entries.
    void PrepareBIFF8Cells();

    // Before a BIFF5 write of a workbook read from another version: the
    // NAME records in the BIFF5 layout, one per name the BIFF8 writer
    // writes, each after the names it names (formulas follow); a name
    // whose formula has no BIFF5 form (another workbook's sheets or names,
    // a name that has none itself) is written without it, with a text in
    // dropped. When the file needs the link table (for its names or for
    // cell formulas with 3-D references), the answer is true and, until
    // EndOldLinks, cell formulas written as BIFF5 name their names and the
    // workbook's sheets; the cells that name a name written without its
    // formula keep their values.
    // For an Excel 4 file (target xvExcel40) the names of its one sheet in
    // the BIFF4 layout: the global names whose formulas name that sheet
    // alone, and the names local to it, when they name no name; the others
    // are not written and are named in dropped. Its cell formulas that name
    // names keep their values.
    bool BeginOldLinks(std::vector<std::vector<uint8_t>>& records, std::vector<std::string>& dropped,
                       TExcelVersion target = TExcelVersion::xvExcel50);
    void EndOldLinks() {
        oldLinks.reset();
        oldNames.clear();
    }

    // For the evaluator. The tokens of the formula of the defined name
    // numbered number (1-based, as tName gives it): its tokens (BIFF8
    // layout), or its .xlsx text made into tokens of the workbook's layout
    // (a 2007 stream starts with its marker); false for a number past the
    // list or a name without a formula that compiles.
    bool NameFormula(int number, std::vector<uint8_t>& data, size_t& tokenLength);
    // The cached value of an external name (EXTERNSHEET entry, 1-based
    // number), raising the library's messages for what has none.
    void ExternNameValue(int entry, int number, TFormulaValue& value) const {
        externals.GetNameValue(entry, number, value);
    }
    // The cached value of a cell of another workbook through an EXTERNSHEET
    // entry (the sheet offset counts from the entry's first sheet): #REF!
    // for an entry that is not another workbook's or a sheet past its list,
    // #VALUE! for a cell without a cached value. The own workbook's sheet of
    // an entry is Externals().GetSelfSheet.
    void ExternCellValue(int entry, int sheetOffset, int row, int col, TFormulaValue& value) const;

    // IFormulaServices.
    std::u16string CellFormulaText(int sheet, const TFormulaCell& cell, bool fileSyntax) override;
    bool FormulaTokens(int sheet, const TFormulaCell& cell, TExcelVersion version, std::vector<uint8_t>& data,
                       size_t& tokenLength, std::string* why = nullptr) override;
    bool ArrayFormulaTokens(int sheet, const TBaseArrayFormulaCell& cell, TExcelVersion version,
                            std::vector<uint8_t>& data, size_t& tokenLength,
                            std::string* why = nullptr) override;
    std::u16string RangeFormulaText(int sheet, std::span<const uint8_t> tokens, int baseRow,
                                    int baseCol) override;
    // The same in file syntax, as a package writes it.
    std::u16string RangeFormulaText(int sheet, std::span<const uint8_t> tokens, int baseRow, int baseCol,
                                    bool fileSyntax);
    // In file syntax written for the cell at (row, col): the references mean
    // there what they mean at the base cell.
    std::u16string RangeFormulaTextAt(int sheet, std::span<const uint8_t> tokens, int baseRow, int baseCol,
                                      int row, int col);
    std::vector<uint8_t> RangeFormulaTokens(int sheet, std::u16string_view text, uint8_t operandClass,
                                            size_t maxSize, int baseRow, int baseCol) override;
    bool CompilesAsFormula(int sheet, std::u16string_view text, size_t maxSize) override;
    void DeleteFilterRangeName(int sheet) override;

private:
    // TFormulaNameSource.
    std::u16string DefinedName(int number) override;
    std::u16string ExternSheet(int index) override;
    std::u16string ExternName(int index, int number) override;
    std::u16string SheetName(int sheet) override;
    std::u16string OldExternName(int index, int number) override;
    bool HasDefinedName(int number) override;
    bool HasExternSheet(int index) override;
    // TFormulaNameResolver.
    int DefinedNameIndex(std::u16string_view name, std::u16string_view sheet) override;
    bool HasSheet(std::u16string_view name) override;
    int ExternSheetIndex(std::u16string_view path, std::u16string_view file, std::u16string_view sheet,
                         int& sheetIndex) override;
    bool ExternName(std::u16string_view path, std::u16string_view file, std::u16string_view name,
                    int& externIndex, int& number) override;
    bool FunctionName(std::u16string_view name, int& nameIndex, int& externIndex, int& number) override;
    bool TableReference(std::u16string_view table, std::u16string_view selector, int baseRow, int baseCol,
                        int& externIndex, TTableArea& area, std::string& why) override;

    TEncodedFormula Encode(std::u16string_view text, const TFormulaEncoding& how, TEncodeMode mode);
    // The anchor of the shared formula index of store (the cell that holds
    // its text) and its area; raises "Excpected shared formula not found".
    TFormulaCell& SharedAnchor(TCellValues& store, uint16_t index, int& col1, int& row1, int& col2,
                               int& row2);
    // The member's formula: the anchor's moved to its cell.
    TEncodedFormula SharedMemberTokens(int sheet, const TFormulaCell& cell);
    bool BIFF8Tokens(int sheet, const TFormulaCell& cell, std::vector<uint8_t>& data, size_t& tokenLength,
                     std::string* why);
    // The tokens given (of the cell's formula, or of its array formula: the
    // text CellFormula gives is theirs) in BIFF8, and in an older layout.
    bool BIFF8Layout(int sheet, const TFormulaCell& cell, std::span<const uint8_t> tokens, size_t tokenLength,
                     std::vector<uint8_t>& data, size_t& newLength, std::string* why);
    // A package's formula that names cells past column IV or row 65536 with
    // its areas cut there ("cut at ..." in why); false when a reference lies
    // wholly beyond (why says so) or the text does not compile.
    bool CutForBIFF8(std::u16string_view text, const TFormulaEncoding& how, std::vector<uint8_t>& data,
                     size_t& tokenLength, std::string* why);
    bool OlderLayout(int sheet, const TFormulaCell& cell, std::span<const uint8_t> tokens, size_t tokenLength,
                     TExcelVersion target, std::vector<uint8_t>& data, size_t& newLength, std::string* why);
    // The array formula whose first cell the cell is or points at alone; null for none.
    const TBaseArrayFormulaCell* ArrayOf(int sheet, const TFormulaCell& cell);
    std::u16string SheetNameOf(int index);
    // An older version's write: the warnings for the names written without
    // their formulas or left out, and whether cell formulas name other
    // sheets that the link table names.
    void TellOldNamesDropped(const TOldNamePlan& plan, std::vector<std::string>& dropped);
    bool CellsNameOtherSheets(const TOldLinks& links);
    void NameDeleted(int position);
    // Whether formula tokens (BIFF8 or 2007 layout) of the sheet name a
    // sheet of the workbook that has another written name, or a name local
    // to one.
    bool NamesRenamedSheet(const TEncodedFormula& f, int sheet);
    // References to the names local to the sheet at index made #REF! in
    // tokens of the BIFF8 or 2007 layout; whether there were any.
    bool LocalNamesGone(std::vector<uint8_t>& data, size_t& tokenLength, int index);
    // Kept text that names a sheet ("!") compiled in the 2007 layout for the
    // cell (sheet, col, row); false for any other text.
    bool EncodeSheetText(std::u16string_view text, int sheet, int col, int row, TEncodedFormula& f);

    TCellValuesList& stores;
    TExcelVersion version = TExcelVersion::xvExcel97;
    TInternalNames names;
    TExternalNames externals;
    int encodingSheet = -1;
    int decodingSheet = -1;
    bool linkNumbers = false;
    std::vector<std::u16string> writtenSheetNames;
    std::vector<TTableDef> tables;
    // The error references to a deleted name become (its BIFF code).
    uint8_t goneNameCode = 0x1D; // #NAME?
    // The last sheet deleted and the entries that named it alone.
    int deletedSheet = -1;
    std::vector<bool> goneEntries;
    // While a BIFF5 file with a link table is written: how names and 3-D
    // references convert, and which names are written with their formulas.
    std::optional<TOldLinks> oldLinks;
    TExcelVersion oldLinksTarget = TExcelVersion::xvExcel50;
    std::vector<int> oldNames; // their numbers in the file, 0 for those not named
    // The link tables of an Excel 5 file, the workbook's under null and the
    // sheets' own under their cells: per EXTERNSHEET record whether it stands
    // for add-in functions, and the names that follow it.
    struct TOldExternSheet {
        bool AddIn = false;
        std::vector<std::u16string> Names;
    };
    std::unordered_map<const TCellValues*, std::vector<TOldExternSheet>> oldExternSheets;
    // Sheet indexes by name in any case; checked on every hit, rebuilt on a miss.
    std::unordered_map<std::u16string, int, TNoCaseHash, TNoCaseEqual> sheetIndex;
};

} // namespace xls
