#include "SrcXLS/model/TextMeasure.h"

#include <array>
#include <cmath>

namespace xls {

namespace {

// Advance widths of the printable ASCII characters 32..126, in 1/1000 em.
constexpr std::array<uint16_t, 95> asciiWidths = {
    278, 278, 355, 556, 556, 889, 667,  191, 333, 333, 389, 584, 278, 333, 278, 278, // ' '../
    556, 556, 556, 556, 556, 556, 556,  556, 556, 556,                               // 0..9
    278, 278, 584, 584, 584, 556, 1015,                                              // :..@
    667, 667, 722, 722, 667, 611, 778,  722, 278, 500, 667, 556, 833,                // A..M
    722, 778, 667, 778, 722, 667, 611,  722, 667, 944, 667, 667, 611,                // N..Z
    278, 278, 278, 469, 556, 333,                                                    // [..`
    556, 556, 500, 556, 556, 278, 556,  556, 222, 222, 500, 222, 833,                // a..m
    556, 556, 556, 556, 333, 500, 278,  556, 500, 722, 500, 500, 500,                // n..z
    334, 260, 334, 584};                                                             // {..~

constexpr int CharWidthOf(char16_t c) {
    if (c >= 32 && c <= 126) return asciiWidths[size_t(c - 32)];
    if (c >= 0x0410 && c <= 0x042F) return 700; // Cyrillic capitals
    if (c >= 0x0430 && c <= 0x045F) return 560; // Cyrillic small letters
    if (c >= 0x0400 && c <= 0x040F) return 700;
    if (c < 32) return 0;
    return 600;
}

// Every character up to the Cyrillic block looked up at once: widths are
// summed for every text cell an automatic column width measures.
constexpr size_t TableChars = 0x460;
constexpr auto charWidths = [] {
    std::array<uint16_t, TableChars> t{};
    for (size_t c = 0; c < TableChars; ++c) t[c] = uint16_t(CharWidthOf(char16_t(c)));
    return t;
}();

int CharWidth(char16_t c) {
    return c < TableChars ? charWidths[c] : 600;
}

constexpr double LineHeight = 1.150; // ascent + descent, in em
constexpr double Leading = 0.150;    // internal leading, in em

} // namespace

void TFontMetricsMeasurer::SelectFont(const TXFont& font) {
    // Twips to pixels at 96 per inch: height / 20 points x 96 / 72.
    emPixels = double(font.Height) / 20.0 * 96.0 / 72.0;
    bold = font.Style & xfsBold;
    italic = font.Style & xfsItalic;
}

int TFontMetricsMeasurer::TextWidth(std::u16string_view text) {
    int64_t units = 0;
    for (char16_t c : text) units += CharWidth(c);
    double width = double(units) / 1000.0 * emPixels;
    if (bold) width *= 1.08;
    if (italic && !text.empty()) width += emPixels * 0.1;
    return int(std::ceil(width - 1e-9));
}

int TFontMetricsMeasurer::TextHeight(std::u16string_view) {
    return int(std::ceil(emPixels * LineHeight - 1e-9));
}

int TFontMetricsMeasurer::InternalLeading() {
    return int(std::lround(emPixels * Leading));
}

} // namespace xls
