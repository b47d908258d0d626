// The reader's handlers of the sheet collections bound to cell areas:
// hyperlinks, conditional formats, data validations and autofilters.
#include "SrcXLS/formats/TabrixReader.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/model/Sheet.h"

namespace xls {

void TTabrixReader::ReadHyperlink() {
    Drop();
    Placeholder(placeholder::SheetTail);
    THyperlinks& links = Sheet().Hyperlinks();
    links.ReadHyperlink(Body(), SheetIndex);
    std::vector<uint8_t> tip;
    if (NextRecordIs({hlink::HLINKTOOLTIP}, tip)) links.ReadToolTip(tip);
}

void TTabrixReader::ReadCondFmt() {
    Drop();
    Placeholder(placeholder::SheetTail);
    // The bounds a warning names, taken before the CF records take the
    // buffer's place (a shorter body is refused by ReadCondFmt).
    const std::span<const uint8_t> body = Body();
    int row1 = 0, row2 = 0, col1 = 0, col2 = 0;
    if (body.size() >= 12) {
        row1 = GetU16(&body[4]), row2 = GetU16(&body[6]);
        col1 = GetU16(&body[8]), col2 = GetU16(&body[10]);
    }
    const auto read = Sheet().ConditionalFormats().ReadCondFmt(
        body, [this](std::vector<uint8_t>& cf) { return NextRecordIs({condfmt::CF}, cf); });
    const std::string where = WideToUtf8(AreaToRefStr(col1, row1, col2, row2, false, false, false, false));
    if (read.Count == 0)
        Warn("the conditional format on " + where + " was left out: it has no conditions");
    else if (read.Missing == read.Count)
        Warn("the conditional format on " + where + " was left out: its CF records are missing");
    else if (read.Missing > 0)
        Warn(std::to_string(read.Missing) + " of the " + std::to_string(read.Count) +
             " conditions of the format on " + where + " were left out: their CF records are missing");
    if (read.Beyond.empty()) return;
    std::string named;
    for (size_t i = 0; i < read.Beyond.size(); ++i)
        named += (i ? "; " : "") + std::to_string(4 + i) + ": " + WideToUtf8(read.Beyond[i]);
    Warn("the conditions past the third of the format on " + where + " were left out (" + named +
         "): a format holds three");
}

// A CF record that no CONDFMT took would come back without one: other
// readers refuse that or warn of it.
void TTabrixReader::DropOrphanCF() {
    Drop();
    Warn("a conditional format's CF record without its CONDFMT was left out");
}

void TTabrixReader::ReadDVal() {
    Drop();
    Placeholder(placeholder::SheetTail);
    const auto read = Sheet().Validations().ReadDVal(
        Body(), [this](std::vector<uint8_t>& dv) { return NextRecordIs({dval::DV}, dv); });
    if (read.Missing > 0)
        Warn(std::to_string(read.Missing) + " of the " + std::to_string(read.Count) +
             " data validations its DVAL record counts were left out: their DV records are missing");
    if (read.Damaged > 0)
        Warn(std::to_string(read.Damaged) +
             " data validation(s) whose DV record does not read were left out");
}

void TTabrixReader::ReadAutoFilterRecord() {
    Drop();
    TAutoFilters& filters = Sheet().AutoFilters();
    switch (Header.Id) {
    case autofilter::FILTERMODE:
        filters.ReadFilterMode();
        return;
    case autofilter::AUTOFILTERINFO:
        filters.ReadAutoFilterInfo(Body());
        return;
    default:
        filters.ReadAutoFilter(Body());
        return;
    }
}

} // namespace xls
