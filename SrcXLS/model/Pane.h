// The frozen or split pane of a sheet's window.
#pragma once

#include "SrcXLS/formats/RecordStorage.h"

#include <cstdint>
#include <memory>

namespace xls {

enum class TPaneType : uint8_t { ptNone, ptFrozen, ptSplit };

class TPane {
public:
    TPane() { Clear(); }
    TPane(const TPane&) = delete;
    TPane& operator=(const TPane&) = delete;

    TPaneType PaneType = TPaneType::ptNone;
    int SplitColX = 0;
    int SplitRowY = 0;
    int LeftCol = 0;
    int TopRow = 0;

    // Back to no pane, the lower right pane active, no kept records.
    void Clear();
    uint8_t GetActivePane() const { return activePane; }
    // 0..3; anything else raises "Value out of range" and keeps the pane.
    void SetActivePane(int value);

    // Whether a sheet whose last column and row are these holds the pane:
    // the first cells of its lower and right panes, and the rows and columns
    // a frozen pane keeps above and left of them (a split pane is placed in
    // twips, which any sheet holds).
    bool FitsWithin(int lastCol, int lastRow) const {
        const bool frozen = PaneType == TPaneType::ptFrozen;
        return TopRow <= lastRow && LeftCol <= lastCol &&
               (!frozen || (SplitRowY <= lastRow && SplitColX <= lastCol));
    }

    // The SELECTION records read with the pane, written back after it.
    TBaseRecordStorage& Records();
    const TBaseRecordStorage& Records() const;

private:
    uint8_t activePane = 3;
    // Made when the first is kept: most sheets have none.
    std::unique_ptr<TBaseRecordStorage> records;
};

} // namespace xls
