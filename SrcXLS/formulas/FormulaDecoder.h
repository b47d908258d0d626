// Token streams to formula text (without the leading "="). The decoder
// never raises for a bad token: it ends the text with a marker instead; the
// one failure it raises is "Function arguments missing".
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaText.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace xls {

// What the decoder asks about the names and sheets a formula refers to;
// the formula handler answers. Indexes come from files: an answer for an
// index out of range is a marker text, never a failure.
class TFormulaNameSource {
public:
    virtual ~TFormulaNameSource() = default;
    // A defined name by its 1-based number.
    virtual std::u16string DefinedName(int number) = 0;
    // The sheet part of a 3-D reference through an EXTERNSHEET entry,
    // quoted as needed and ending in "!".
    virtual std::u16string ExternSheet(int index) = 0;
    // An external name through an EXTERNSHEET entry, by its 1-based number.
    virtual std::u16string ExternName(int index, int number) = 0;
    // The name of a sheet by its 0-based number (BIFF5/7 3-D tokens), unquoted.
    virtual std::u16string SheetName(int sheet) = 0;
    // A BIFF5/7 external name through the file's own EXTERNSHEET records
    // (1-based index), by its 1-based number: the name of a function an
    // add-in name calls; "#NAME?" for what cannot be named.
    virtual std::u16string OldExternName(int /*index*/, int /*number*/) { return u"#NAME?"; }
    // Whether the defined name and the EXTERNSHEET entry are there: the
    // marker texts answered for those that are not read as formulas of
    // another meaning.
    virtual bool HasDefinedName(int /*number*/) { return true; }
    virtual bool HasExternSheet(int /*index*/) { return true; }
};

struct TDecodeContext {
    // Chooses the layout of the version-dependent tokens (BIFF2 .. BIFF8;
    // 2007 streams switch at their marker).
    TExcelVersion Version = TExcelVersion::xvExcel97;
    TFormulaSyntax Syntax;
    TFormulaNameSource* Names = nullptr;
    // The base cell of relative tokens (tRefN, tAreaN); -1 when there is
    // none, which reads the offsets from A1.
    int Row = -1;
    int Col = -1;
    // Code page of the 8-bit strings of BIFF2-BIFF7 tokens.
    int CodePage = DefaultCodePage;
    // When given: what first had to be written as a marker instead of
    // formula text (a token that does not decode, a missing value, a name,
    // sheet entry or function that is not there, values left over); left
    // as it is when everything decoded.
    std::string* Fault = nullptr;
};

// How a fault begins that names a macro sheet's command: sound tokens, but
// no worksheet function (a binary file keeps them as read).
inline constexpr std::string_view MacroCommandFault = "macro command ";
inline bool IsMacroCommandFault(std::string_view fault) {
    return fault.substr(0, MacroCommandFault.size()) == MacroCommandFault;
}

// The text of the tokens: data holds tokenLength bytes of tokens and then
// the data of their array constants.
std::u16string DecodeFormula(std::span<const uint8_t> data, size_t tokenLength,
                             const TDecodeContext& context);

} // namespace xls
