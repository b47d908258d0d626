// Colour helpers over the run-time palette (colours as 0x00BBGGRR) and the
// 2007 colour record.
#pragma once

#include <array>
#include <cstdint>

namespace xls {

constexpr uint32_t AutomaticColorMarker = 0x0F000000;

enum TExtColorKind : uint8_t { eckAuto = 0, eckIndexed = 1, eckRGB = 2, eckTheme = 3, eckNotSet = 4 };

// A 2007 colour: by palette index, by value or by theme number, with a tint.
struct TExtColor {
    uint32_t RGB = 0; // resolved
    double Tint = 0;
    uint8_t Kind = eckAuto;
    uint8_t Index = 0;
    uint32_t Value = 0; // RGB value or theme number
    bool operator==(const TExtColor&) const = default;
};

// The colours of a package's theme as 0x00RRGGBB, by the number a "theme"
// attribute gives: 0 lt1, 1 dk1, 2 lt2, 3 dk2, 4-9 accent1-6, 10 hlink,
// 11 folHlink.
using TThemeColors = std::array<uint32_t, 12>;
// Those of the default Office theme, for a package without a theme part.
const TThemeColors& DefaultThemeColors();

// The palette entry (8..63) nearest to a colour given as 0x00BBGGRR, the
// palette's own order.
int NearestPaletteIndex(uint32_t rgb);
// The same for a colour given as 0x00RRGGBB, the order of package colours.
int NearestPaletteIndexOfRGB(uint32_t rgb);
int ClampColorIndex(int i);
double EmuToCm(int64_t emu);
int64_t CmToEmu(double cm);
// The colour with its HSL luminance moved by the tint (-1..1): towards black
// below 0, towards white above; hue and saturation stay. Either byte order.
uint32_t ApplyTint(uint32_t rgb, double tint);
// The colour a 2007 colour record stands for: a palette entry for kind 1
// (0x00BBGGRR), 0x00RRGGBB for RGB and theme colours, the automatic marker
// for automatic colours and theme numbers the theme lacks.
uint32_t ResolveExtColor(const TExtColor& color, const TThemeColors& theme = DefaultThemeColors());

} // namespace xls
