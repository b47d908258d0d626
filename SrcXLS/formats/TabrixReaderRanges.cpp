// The reader's handlers of the sheet collections bound to cell areas:
// hyperlinks, conditional formats, data validations and autofilters.
#include "SrcXLS/formats/TabrixReader.h"

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
    Sheet().ConditionalFormats().ReadCondFmt(
        Body(), [this](std::vector<uint8_t>& cf) { return NextRecordIs({condfmt::CF}, cf); });
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
