// Formula tokens as files and the model hold them: the first byte chooses
// the layout (BIFF2-BIFF5, BIFF8, 2007), the second how many of the rest
// are tokens (the others are their array data). Every walker runs over the
// same bytes; text the encoder takes back must decode to itself.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formulas/FormulaDecoder.h"
#include "SrcXLS/formulas/FormulaEncoder.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/formulas/TokenRewriting.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace xls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const TExcelVersion versions[] = {TExcelVersion::xvExcel21, TExcelVersion::xvExcel30,
                                             TExcelVersion::xvExcel40, TExcelVersion::xvExcel50,
                                             TExcelVersion::xvExcel97, TExcelVersion::xvExcel2007};
    const TExcelVersion version = versions[data[0] % 6];
    std::vector<uint8_t> bytes(data + 2, data + size);
    if (version == TExcelVersion::xvExcel2007) bytes.insert(bytes.begin(), ptg::Layout2007);
    const size_t tokenLength = std::min<size_t>(bytes.size(), data[1] == 0xFF ? bytes.size() : data[1]);

    TDecodeContext context;
    context.Version = version;
    context.Row = data[0] >> 3;
    context.Col = data[1] >> 2;
    std::u16string text;
    try {
        text = DecodeFormula(bytes, tokenLength, context);
    } catch (const XLSError&) {
    }
    try {
        FormulaArrayDataSize(bytes, tokenLength, TokenLayoutOf(version));
    } catch (const XLSError&) {
    }
    std::vector<uint8_t> tokens(bytes.begin(), bytes.begin() + long(tokenLength));
    try {
        AdjustCell(version >= TExcelVersion::xvExcel97, tokens, data[0] & 0x40, data[0] & 0x80,
                   int(data[1]) - 128, int(data[0]) - 128);
    } catch (const XLSError&) {
    }
    try {
        Shift2007SharedFormula(tokens, data[1] - 100, data[0] - 100);
    } catch (const XLSError&) {
    }
    SharedFormulaToCell(tokens, {}, version, data[1], data[0]);
    size_t length = 0;
    Tokens2007ToBIFF8(bytes, tokenLength, length);
    // A name deleted: a renumbered stream still walks to its end, its array
    // data after it.
    if (version >= TExcelVersion::xvExcel97) {
        std::vector<uint8_t> renamed = bytes;
        size_t renamedLength = tokenLength;
        const int deleted = 1 + data[1] % 4;
        if (RenumberNames(renamed, renamedLength, deleted, [&](int entry) { return entry == data[0] % 3; })) {
            if (renamedLength > renamed.size() ||
                renamed.size() - renamedLength != bytes.size() - tokenLength)
                std::abort();
            TTokenWalker walker(std::span<const uint8_t>(renamed).first(renamedLength), TTokenLayout::BIFF8);
            TToken t;
            TWalkStatus s;
            while ((s = walker.Next(t)) == TWalkStatus::Token) {
            }
            if (s != TWalkStatus::End) std::abort();
        }
    }

    // Text the encoder accepts reads back as the same text. An operand left
    // empty (a missing argument outside a function) starts or ends the text
    // with the intersection's space, which the encoder drops: such texts are left out.
    if (text.empty() || text.back() == u' ' || text.front() == u' ') return 0;
    TEncodedFormula encoded;
    try {
        TEncodeOptions options;
        options.Mode = version == TExcelVersion::xvExcel2007 ? TEncodeMode::em2007 : TEncodeMode::emBIFF8;
        encoded = EncodeFormula(text, options);
    } catch (const XLSError&) {
        return 0;
    }
    // The range operator between constants reads back differently ("1:2"
    // is a row range): such nonsense is left out of the comparison.
    TTokenWalker walker(std::span<const uint8_t>(encoded.Data).first(encoded.TokenLength),
                        TTokenLayout::BIFF8);
    TToken token;
    while (walker.Next(token) == TWalkStatus::Token)
        if (token.Id == ptg::Range) return 0;
    TDecodeContext again;
    again.Version = version == TExcelVersion::xvExcel2007 ? version : TExcelVersion::xvExcel97;
    const std::u16string back = DecodeFormula(encoded.Data, encoded.TokenLength, again);
    // A missing argument used as an operand ("-" of nothing) leaves blanks
    // that read back otherwise: there only the blanks may differ.
    bool missing = false;
    TTokenWalker original(std::span<const uint8_t>(bytes).first(tokenLength), TokenLayoutOf(version));
    while (original.Next(token) == TWalkStatus::Token) missing = missing || token.Id == ptg::MissArg;
    const auto solid = [](std::u16string s) {
        std::erase(s, u' ');
        return s;
    };
    if (back != text && !(missing && solid(back) == solid(text))) {
        std::fprintf(stderr, "decoded: %s\nagain:   %s\n", WideToUtf8(text).c_str(),
                     WideToUtf8(back).c_str());
        std::abort();
    }
    return 0;
}
