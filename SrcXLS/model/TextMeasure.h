// Measuring cell texts for automatic column widths. The default measurer
// works from font metrics tables of its own, so widths are the same on every
// machine; tests install a fixed fake.
#pragma once

#include "SrcXLS/model/XFonts.h"

#include <string_view>

namespace xls {

class TTextMeasurer {
public:
    virtual ~TTextMeasurer() = default;
    virtual void SelectFont(const TXFont& font) = 0;
    // Pixels of the text in the selected font.
    virtual int TextWidth(std::u16string_view text) = 0;
    virtual int TextHeight(std::u16string_view text) = 0;
    virtual int InternalLeading() = 0;
};

// A sans-serif face at 96 pixels per inch: advance widths per character,
// wider for bold, an average for characters outside the table.
class TFontMetricsMeasurer final : public TTextMeasurer {
public:
    void SelectFont(const TXFont& font) override;
    int TextWidth(std::u16string_view text) override;
    int TextHeight(std::u16string_view text) override;
    int InternalLeading() override;

private:
    double emPixels = 13.333;
    bool bold = false;
    bool italic = false;
};

} // namespace xls
