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
    // The count and bounds a warning names, taken before the CF records
    // take the buffer's place (a shorter body is refused by ReadCondFmt).
    const std::span<const uint8_t> body = Body();
    int count = 0, row1 = 0, row2 = 0, col1 = 0, col2 = 0;
    if (body.size() >= 12) {
        count = GetU16(&body[0]);
        row1 = GetU16(&body[4]), row2 = GetU16(&body[6]);
        col1 = GetU16(&body[8]), col2 = GetU16(&body[10]);
    }
    const int missing = Sheet().ConditionalFormats().ReadCondFmt(
        body, [this](std::vector<uint8_t>& cf) { return NextRecordIs({condfmt::CF}, cf); });
    if (missing == 0) return;
    const std::string where = WideToUtf8(AreaToRefStr(col1, row1, col2, row2, false, false, false, false));
    if (missing == count)
        Warn("the conditional format on " + where + " was left out: its CF records are missing");
    else
        Warn(std::to_string(missing) + " of the " + std::to_string(count) + " conditions of the format on " +
             where + " were left out: their CF records are missing");
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
    Sheet().Validations().ReadDVal(Body(),
                                   [this](std::vector<uint8_t>& dv) { return NextRecordIs({dval::DV}, dv); });
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
