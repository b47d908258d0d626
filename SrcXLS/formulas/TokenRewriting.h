// Formulas rewritten as tokens, without text: references moved with their
// cells, the members of shared formulas, and 2007-layout tokens as BIFF8
// tokens. Every rewrite walks the stream once to check it before changing
// anything, so a refused stream is left as it was.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formulas/FormulaTokens.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xls {

// Moves the references of a formula whose cell moved by (rowDelta,
// colDelta): the relative parts, or every part with adjustAll; with
// firstRowFixed the first row of each reference stays. A part moved off the
// sheet (BIFF5/7 256 x 16384, BIFF8 256 x 65536, 2007 layout 16384 x
// 1048576) turns the token into its #REF! error token of the same class and
// size. biff8 chooses the BIFF8 layout, else BIFF5/7, until a 2007 marker.
// Raises "Unknown ptg[%.2X] in AdjustCell" for a stream it cannot walk.
void AdjustCell(bool biff8, std::span<uint8_t> tokens, bool adjustAll, bool firstRowFixed, int rowDelta,
                int colDelta);

// The tokens of a shared formula (SHRFMLA) as the formula of the cell at
// col, row: each relative reference (tRefN, tAreaN, and the 3-D references'
// relative parts) becomes an ordinary reference to the cell or area it
// points at from there, its relative flags kept. When the tokens hold array
// constants, extra (the SHRFMLA's data after the tokens, their values)
// follows them. Empty when a token is not known, runs past the end, or has
// data after the tokens that a cell cannot take over (memory areas); the
// caller then keeps the cached value.
std::optional<std::vector<uint8_t>> SharedFormulaToCell(std::span<const uint8_t> tokens,
                                                        std::span<const uint8_t> extra, TExcelVersion version,
                                                        int col, int row);

// Moves the parts of the 2007-layout references that are not absolute by
// (rowOffset, colOffset), for a member of a shared formula of an .xlsx
// file; a part moved off the sheet gives the error token. Raises "Illegal
// ptg[%.2X] in Shared 2007 Formula" for tRefN/tAreaN and "Unknown ptg[%.2X]
// in Shared 2007 Formula" for a stream it cannot walk.
void Shift2007SharedFormula(std::span<uint8_t> tokens, int colOffset, int rowOffset);

// What Tokens2007ToBIFF8 did to references beyond column IV or row 65536
// when asked to cut them: areas cut there, references wholly beyond made
// #REF!.
struct TBIFF8Cut {
    bool Cut = false;
    bool Out = false;
};

// 2007-layout tokens (with their leading marker) as BIFF8 tokens, the data
// after the tokens kept; whole columns and whole rows stay whole. Empty when
// a reference lies beyond column IV or row 65536 (unless cut is given: then
// such references are cut there, or made #REF!, and cut says so), a call has
// more than 127 arguments, or the stream cannot be walked; then why, when
// given, says which.
std::optional<std::vector<uint8_t>> Tokens2007ToBIFF8(std::span<const uint8_t> data, size_t tokenLength,
                                                      size_t& biff8TokenLength, std::string* why = nullptr,
                                                      TBIFF8Cut* cut = nullptr);

// How names and 3-D references of BIFF8 tokens go into the BIFF5 layout:
// a 3-D reference through an EXTERNSHEET entry of the workbook itself
// names its sheets by number, with the negative number of the first one's
// EXTERNSHEET record (a BIFF5 file written here has one per sheet, in tab
// order); a name takes its number in the file.
struct TOldLinks {
    // The first and last sheet of an entry of the workbook itself (0xFFFF
    // for a deleted one); false for an entry that is not to be written.
    std::function<bool(uint16_t entry, uint16_t& first, uint16_t& last)> SelfSheets;
    // The number in the file written of the name numbered number (both
    // 1-based); 0 for a name that is not to be named.
    std::function<int(int number)> NameNumber;
    // BIFF4: the one sheet's references are written without a sheet.
    bool OneSheet = false;
};

// Tokens (tokenLength bytes, then their array data) of one version's
// layout in the layout of BIFF4 and BIFF5 (the same for what is kept):
// references, strings and array strings of BIFF8 and the function numbers
// of BIFF2 and BIFF3 converted (8-bit text in codePage), the tAttr jumps
// over tokens whose size changed following them. With links, BIFF8 names
// and 3-D references to the workbook's own sheets as well.
// Empty when a token has no form there (other names and 3-D references,
// external names, memory tokens, the 2007 layout, jumps of BIFF2/BIFF3
// attributes), a reference lies beyond the older sheet or a text has
// characters the code page lacks.
std::optional<std::vector<uint8_t>> TokensToOldLayout(std::span<const uint8_t> data, size_t tokenLength,
                                                      TExcelVersion from, int codePage,
                                                      size_t& newTokenLength,
                                                      const TOldLinks* links = nullptr);

// Whether a file of the version holds every function the tokens of the
// layout call, with the argument counts they pass; why, when given, names
// the first it lacks. Commands of macro sheets and calls through names are
// left to other checks; a stream that cannot be walked is left to them too.
bool CallsInVersion(std::span<const uint8_t> tokens, TTokenLayout layout, TExcelVersion version,
                    std::string* why = nullptr);

// Whether tokens of the layout name a defined name (tName).
bool NamesAName(std::span<const uint8_t> tokens, TTokenLayout layout);
// Whether the tokens call the built-in function of that number.
bool CallsFunction(std::span<const uint8_t> tokens, TTokenLayout layout, int number);

// The references to defined names in tokens of the layout (tokenLength
// bytes, then their array data): tName tokens (before BIFF5 those not of
// another workbook), tNameX tokens through an EXTERNSHEET entry of the
// workbook itself (selfEntry tells; in BIFF5 a negative one) are handed
// their name's number (1-based) and take the number follow gives; where it
// gives 0 the token becomes the error of errorCode (BIFF code), with the
// tAttr jumps and the sub-expression sizes of memory tokens over it made
// shorter. Answers whether anything changed; a stream that cannot be
// walked is left as it was.
bool FollowNames(std::vector<uint8_t>& data, size_t& tokenLength, TTokenLayout layout,
                 const std::function<int(int number)>& follow,
                 const std::function<bool(int entry)>& selfEntry, uint8_t errorCode);
// The same after the name numbered deleted was removed: references to later
// names count one less, those to the deleted one become the error (#NAME?
// unless given).
bool RenumberNames(std::vector<uint8_t>& data, size_t& tokenLength, int deleted,
                   const std::function<bool(int entry)>& selfEntry, TTokenLayout layout = TTokenLayout::BIFF8,
                   uint8_t errorCode = 0x1D);

// The references of BIFF8 tokens (tokenLength bytes, then their array data)
// made 3-D references through the EXTERNSHEET entry externSheet, as the
// names of a single-sheet file name that sheet; the tAttr jumps and the
// sub-expression sizes of memory tokens over them grow. Answers whether
// anything changed; a stream that cannot be walked is left as it was.
bool QualifyReferences(std::vector<uint8_t>& data, size_t& tokenLength, uint16_t externSheet);

// The 3-D references of tokens that follow an edit of the workbook's sheets:
// in the BIFF8 and 2007 layouts entry is handed each one's EXTERNSHEET
// entry, in the older layouts ownSheets the first and last sheet of each
// one of the workbook itself; either may change them, and answers true
// when the reference names no sheet any more: it becomes its #REF! error
// token of the same class and size. Answers whether anything changed; a
// stream that cannot be walked is left as it was.
bool FollowSheetReferences(std::span<uint8_t> tokens, TTokenLayout layout,
                           const std::function<bool(uint16_t& entry)>& entry,
                           const std::function<bool(uint16_t& first, uint16_t& last)>& ownSheets = {});

} // namespace xls
