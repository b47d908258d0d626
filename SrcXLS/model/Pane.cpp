#include "SrcXLS/model/Pane.h"

namespace xls {

void TPane::Clear() {
    PaneType = TPaneType::ptNone;
    SplitColX = 0;
    SplitRowY = 0;
    LeftCol = 0;
    TopRow = 0;
    activePane = 3;
    records.reset();
}

TBaseRecordStorage& TPane::Records() {
    if (!records) records = std::make_unique<TBaseRecordStorage>();
    return *records;
}

const TBaseRecordStorage& TPane::Records() const {
    static const TBaseRecordStorage none;
    return records ? *records : none;
}

void TPane::SetActivePane(int value) {
    if (value < 0 || value > 3) throw XLSError("Value out of range");
    activePane = uint8_t(value);
}

} // namespace xls
