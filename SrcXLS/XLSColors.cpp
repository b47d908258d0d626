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

int NearestPaletteIndexOfRGB(uint32_t rgb) {
    return NearestPaletteIndex(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}

const TThemeColors& DefaultThemeColors() {
    static constexpr TThemeColors colors = {0xFFFFFF, 0x000000, 0xEEECE1, 0x1F497D, 0x4F81BD, 0xC0504D,
                                            0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646, 0x0000FF, 0x800080};
    return colors;
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

namespace {
double HueToChannel(double p, double q, double h) {
    if (h < 0) h += 1;
    if (h > 1) h -= 1;
    if (h < 1.0 / 6) return p + (q - p) * 6 * h;
    if (h < 0.5) return q;
    if (h < 2.0 / 3) return p + (q - p) * (2.0 / 3 - h) * 6;
    return p;
}
} // namespace

uint32_t ApplyTint(uint32_t rgb, double tint) {
    const double c[3] = {double((rgb >> 16) & 0xFF) / 255, double((rgb >> 8) & 0xFF) / 255,
                         double(rgb & 0xFF) / 255};
    const double hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
    double l = (hi + lo) / 2, s = 0, h = 0;
    if (hi > lo) {
        const double d = hi - lo;
        s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
        if (hi == c[0])
            h = (c[1] - c[2]) / d + (c[1] < c[2] ? 6 : 0);
        else if (hi == c[1])
            h = (c[2] - c[0]) / d + 2;
        else
            h = (c[0] - c[1]) / d + 4;
        h /= 6;
    }
    tint = std::clamp(tint, -1.0, 1.0);
    l = tint < 0 ? l * (1 + tint) : l * (1 - tint) + tint;
    double out[3] = {l, l, l};
    if (s > 0) {
        const double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q;
        out[0] = HueToChannel(p, q, h + 1.0 / 3);
        out[1] = HueToChannel(p, q, h);
        out[2] = HueToChannel(p, q, h - 1.0 / 3);
    }
    uint32_t result = rgb & 0xFF000000u;
    for (int i = 0; i < 3; ++i)
        result |= uint32_t(std::clamp(std::lround(out[i] * 255), 0L, 255L)) << (16 - 8 * i);
    return result;
}

uint32_t ResolveExtColor(const TExtColor& color, const TThemeColors& theme) {
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
        if (color.Value >= theme.size()) return AutomaticColorMarker;
        rgb = theme[color.Value];
        break;
    default:
        rgb = 0;
    }
    return color.Tint != 0 && rgb != AutomaticColorMarker ? ApplyTint(rgb, color.Tint) : rgb;
}

} // namespace xls
