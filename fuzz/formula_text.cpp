// Formula text in the three encoder modes and two syntaxes, the first byte
// choosing which: what encodes decodes to text that encodes to the same
// tokens' text again.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaDecoder.h"
#include "SrcXLS/formulas/FormulaEncoder.h"
#include "SrcXLS/formulas/FormulaTokens.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace xls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    TEncodeOptions options;
    options.Mode = TEncodeMode(1 + data[0] % 3);
    if (data[0] & 0x10) options.Syntax = TFormulaSyntax::Display(TXLSLocale{u',', u' ', u'.', u':', u';'});
    options.Class = uint8_t((data[0] >> 5) & 3) * 0x20;
    const std::u16string text = Utf8ToWide(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    TEncodedFormula first;
    try {
        first = EncodeFormula(text, options);
    } catch (const XLSError&) {
        return 0;
    }
    // The range operator between constants reads back differently ("1:2"
    // is a row range): such nonsense is left out of the comparison.
    TTokenWalker walker(std::span<const uint8_t>(first.Data).first(first.TokenLength), TTokenLayout::BIFF8);
    TToken token;
    while (walker.Next(token) == TWalkStatus::Token)
        if (token.Id == ptg::Range) return 0;
    TDecodeContext context;
    context.Version =
        options.Mode == TEncodeMode::em2007 ? TExcelVersion::xvExcel2007 : TExcelVersion::xvExcel97;
    context.Syntax = options.Syntax;
    const std::u16string decoded = DecodeFormula(first.Data, first.TokenLength, context);
    if (options.Mode == TEncodeMode::emOpenDocument) options.Mode = TEncodeMode::emBIFF8;
    TEncodedFormula second;
    try {
        second = EncodeFormula(decoded, options);
    } catch (const XLSError&) {
        std::abort(); // decoded text of the encoder's own tokens must encode
    }
    if (DecodeFormula(second.Data, second.TokenLength, context) != decoded) std::abort();
    return 0;
}
