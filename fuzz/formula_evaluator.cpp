// Formula tokens run by the evaluator: the first byte chooses the layout
// (BIFF2-BIFF5, BIFF8, 2007), the second how many of the rest are tokens
// (the others are their array data), a bit of the first whether they are run
// as an array formula. The workbook has numbers, a text, a
// formula cell, a name and a second sheet for the tokens to refer to.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/formulas/FormulaEvaluator.h"
#include "SrcXLS/formulas/FormulaTokens.h"
#include "SrcXLS/model/Cell.h"

#include <cstdint>
#include <memory>
#include <vector>

using namespace xls;

namespace {
TTabrix4& Book() {
    static std::unique_ptr<TTabrix4> book = [] {
        auto b = std::make_unique<TTabrix4>();
        TSheet& s = b->GetSheet(0);
        for (int r = 0; r < 8; ++r) s.SetAsFloat(0, r, r - 3.5);
        s.SetAsString(1, 0, u"x");
        const TEncodedFormula f = b->FormulaHandler().EncodeFormula(u"A1*2+B2", {.FileSyntax = true});
        s.PutFormula(ctNumberFormula, 1, 1, 15, int(f.TokenLength), f.Data, {});
        b->Sheets().Add(0).SetAsFloat(0, 0, 1);
        TInternalName& n = b->GetInternalNames().Add();
        n.SetName(u"Self");
        const TEncodedFormula g = b->FormulaHandler().EncodeFormula(u"Self+A1", {.FileSyntax = true});
        n.Data = g.Data;
        n.TokenLength = uint16_t(g.TokenLength);
        return b;
    }();
    return *book;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const TExcelVersion versions[] = {TExcelVersion::xvExcel21, TExcelVersion::xvExcel30,
                                             TExcelVersion::xvExcel40, TExcelVersion::xvExcel50,
                                             TExcelVersion::xvExcel97, TExcelVersion::xvExcel2007};
    const TExcelVersion version = versions[data[0] % 6];
    std::vector<uint8_t> bytes(data + 2, data + size);
    if (version == TExcelVersion::xvExcel2007) bytes.insert(bytes.begin(), ptg::Layout2007);
    const size_t tokenLength = std::min<size_t>(bytes.size(), data[1] == 0xFF ? bytes.size() : data[1]);
    TTabrix4& book = Book();
    const auto evaluator = book.MakeEvaluator();
    try {
        TFormulaValue v;
        evaluator->EvaluateTokens(bytes, tokenLength, version, data[0] >> 7, data[1] & 3, data[0] & 7, v,
                                  data[0] & 0x40);
    } catch (const XLSError&) {
    }
    return 0;
}
