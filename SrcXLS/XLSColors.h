// Colour helpers over the run-time palette (colours as 0x00BBGGRR) and the
// 2007 colour record.
#pragma once

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

int NearestPaletteIndex(uint32_t rgb);
int ClampColorIndex(int i);
double EmuToCm(int64_t emu);
int64_t CmToEmu(double cm);
uint32_t ApplyTint(uint32_t rgb, double tint);
uint32_t ResolveExtColor(const TExtColor& color);

} // namespace xls
