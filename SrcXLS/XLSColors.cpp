#include "SrcXLS/XLSColors.h"

#include "SrcXLS/XLSLibState.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace xls {

int NearestPaletteIndex(uint32_t rgb) {
    const TPalette& pal = LibState().Palette;
    int best = 8;
    int bestDistance = 16777215;
    for (int i = 8; i < 64; ++i) {
        int d = 0;
        for (int shift = 0; shift < 24; shift += 8)
            d += std::abs(int((rgb >> shift) & 0xFF) - int((pal[i] >> shift) & 0xFF));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int ClampColorIndex(int i) {
    return i < 65 ? i : 64;
}

double EmuToCm(int64_t emu) {
    return double(emu) / 360000;
}
int64_t CmToEmu(double cm) {
    return int64_t(std::nearbyint(cm * 360000));
}

uint32_t ApplyTint(uint32_t rgb, double tint) {
    int delta = int(std::nearbyint(std::abs(tint) * 255));
    uint32_t out = rgb & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        int c = int((rgb >> shift) & 0xFF);
        c = tint >= 0 ? std::min(c + delta, 255) : std::max(c - delta, 0);
        out |= uint32_t(c) << shift;
    }
    return out;
}

uint32_t ResolveExtColor(const TExtColor& color) {
    static constexpr std::array<uint32_t, 12> theme = {0x000000, 0xFFFFFF, 0x1F497D, 0xEEECE1,
                                                       0x4F81BD, 0xC0504D, 0x9BBB59, 0x8064A2,
                                                       0x4BACC6, 0xF79646, 0x0000FF, 0x800080};
    uint32_t rgb;
    switch (color.Kind) {
    case eckAuto:
        rgb = AutomaticColorMarker;
        break;
    case eckIndexed:
        rgb = LibState().Palette[std::min<int>(color.Index, PaletteSize - 1)];
        break;
    case eckRGB:
        rgb = color.Value & 0xFFFFFF;
        break;
    case eckTheme:
        if (color.Value == 0 || color.Value > theme.size())
            rgb = AutomaticColorMarker;
        else
            rgb = theme[color.Value - 1];
        break;
    default:
        rgb = 0;
    }
    return color.Tint != 0 ? ApplyTint(rgb, color.Tint) : rgb;
}

} // namespace xls
