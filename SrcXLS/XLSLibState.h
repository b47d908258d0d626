// Library-wide state shared by every workbook in the process: the active
// reference limits, the boolean texts, the run-time colour palette and the
// locale. One
// thread uses the library at a time; the last Version set wins for all.
#pragma once

#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSLocale.h"

#include <array>
#include <cstdint>
#include <string>

namespace xls {

constexpr int PaletteSize = 65;
using TPalette = std::array<uint32_t, PaletteSize>;

// Colours as 0x00BBGGRR; index 64 is the automatic colour marker.
const TPalette& DefaultPalette();

// The locale of the program's regional settings at start-up.
TXLSLocale StartUpLocale();

struct TLibraryState {
    int MaxColumn = 16383;
    int MaxRow = 1048575;
    std::u16string StrTRUE = u"TRUE";
    std::u16string StrFALSE = u"FALSE";
    TPalette Palette = DefaultPalette();
    TXLSLocale Locale = StartUpLocale();

    // Back to the start-up values (tests and a fresh process).
    void Reset() { *this = TLibraryState(); }
    // Limits of a file version (255/65535 below the 2007 format).
    void SetLimits(TExcelVersion v) {
        MaxColumn = xls::MaxColumn(v);
        MaxRow = xls::MaxRow(v);
    }
};

TLibraryState& LibState();

} // namespace xls
