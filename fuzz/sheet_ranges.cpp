// The records of the sheet collections bound to cell areas and of
// autofilters, each read from a fuzzed body and written again: the first
// byte chooses the record.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/formats/XLSStream.h"
#include "SrcXLS/model/AutoFilters.h"
#include "SrcXLS/model/ConditionalFormats.h"
#include "SrcXLS/model/DataValidations.h"
#include "SrcXLS/model/Hyperlinks.h"

#include <algorithm>
#include <span>

namespace {

template <class Read, class Write> void ReadAndWrite(Read read, Write write) {
    try {
        read();
    } catch (const xls::XLSError&) {
        return;
    }
    std::vector<uint8_t> image;
    xls::TXLSStream stream;
    stream.TargetStream = &image;
    stream.OpenWrite("", xls::TExcelVersion::xvExcel97);
    try {
        write(stream);
    } catch (const xls::XLSError&) {
    }
    stream.Discard();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> body(data + 1, size - 1);
    // A CONDFMT or DVAL with the records after it: bodies each after a u16
    // length.
    std::vector<std::vector<uint8_t>> pieces;
    for (size_t at = 0; at + 2 <= body.size() && pieces.size() < 8;) {
        const size_t n = std::min<size_t>(body[at] | body[at + 1] << 8, body.size() - at - 2);
        pieces.emplace_back(body.begin() + long(at + 2), body.begin() + long(at + 2 + n));
        at += 2 + n;
    }
    if (pieces.empty()) pieces.emplace_back();
    size_t next = 1;
    auto following = [&](std::vector<uint8_t>& out) {
        if (next >= pieces.size()) return false;
        out = pieces[next++];
        return true;
    };
    switch (data[0] % 5) {
    case 0: {
        xls::THyperlinks links;
        ReadAndWrite(
            [&] {
                // A tool tip after the link: the body split at its middle.
                links.ReadHyperlink(body, 0);
                links.ReadToolTip(body.subspan(body.size() / 2));
            },
            [&](xls::TXLSStream& s) { links.WriteHyperlinks(s); });
        break;
    }
    case 2: {
        xls::TConditionalFormats formats;
        ReadAndWrite([&] { formats.ReadCondFmt(pieces[0], following); },
                     [&](xls::TXLSStream& s) {
                         for (int i = 0; i < formats.Count(); ++i)
                             for (int c = 0; c < 3; ++c) {
                                 formats.Items(i).Condition(c).GetFormula1();
                                 formats.Items(i).Condition(c).GetFormula2();
                             }
                         formats.WriteCondFmts(s);
                     });
        break;
    }
    case 3: {
        xls::TDataValidations list;
        ReadAndWrite([&] { list.ReadDVal(pieces[0], following); },
                     [&](xls::TXLSStream& s) {
                         for (int i = 0; i < list.Count(); ++i) {
                             list.Items(i).GetExpression1();
                             list.Items(i).GetExpression2();
                         }
                         list.WriteDVal(s);
                     });
        break;
    }
    case 4: {
        // AUTOFILTERINFO, then AUTOFILTER records.
        xls::TAutoFilters filters;
        ReadAndWrite(
            [&] {
                filters.ReadAutoFilterInfo(pieces[0]);
                std::vector<uint8_t> next;
                while (following(next)) filters.ReadAutoFilter(next);
            },
            [&](xls::TXLSStream& s) { filters.WriteAutoFilters(s); });
        break;
    }
    default: {
        xls::THyperlinks links;
        ReadAndWrite([&] { links.ReadToolTip(body); }, [&](xls::TXLSStream& s) { links.WriteHyperlinks(s); });
        break;
    }
    }
    return 0;
}
