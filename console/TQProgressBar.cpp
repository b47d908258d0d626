#include "console/TQProgressBar.h"

#include <QFontMetrics>
#include <QImage>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace QProgBar {

int64_t PercentUnits(int64_t position, int64_t maximum) {
    if (maximum <= 0) return 0;
    // A loop may run past the maximum it was given; the label stops at 100 %.
    return std::clamp<int64_t>(position, 0, maximum) * 100 / maximum;
}

std::string PercentText(int64_t position, int64_t maximum) {
    return std::to_string(PercentUnits(position, maximum)) + " %";
}

namespace {

constexpr int HLSMAX = 240;
constexpr int RGBMAX = 255;
constexpr int UndefinedHue = 160;

int Red(TColor c) {
    return c & 0xFF;
}
int Green(TColor c) {
    return (c >> 8) & 0xFF;
}
int Blue(TColor c) {
    return (c >> 16) & 0xFF;
}
TColor MakeColor(int r, int g, int b) {
    auto byte = [](int v) { return TColor(std::clamp(v, 0, 255)); };
    return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

} // namespace

HLS RGBToHLS(TColor color) {
    int r = Red(color), g = Green(color), b = Blue(color);
    int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    HLS hls{UndefinedHue, ((mx + mn) * HLSMAX + RGBMAX) / (2 * RGBMAX), 0};
    if (mx == mn) return hls;
    int delta = mx - mn;
    if (hls.lightness <= HLSMAX / 2)
        hls.saturation = (delta * HLSMAX + (mx + mn) / 2) / (mx + mn);
    else
        hls.saturation = (delta * HLSMAX + (2 * RGBMAX - mx - mn) / 2) / (2 * RGBMAX - mx - mn);
    int rd = ((mx - r) * (HLSMAX / 6) + delta / 2) / delta;
    int gd = ((mx - g) * (HLSMAX / 6) + delta / 2) / delta;
    int bd = ((mx - b) * (HLSMAX / 6) + delta / 2) / delta;
    if (r == mx)
        hls.hue = bd - gd;
    else if (g == mx)
        hls.hue = HLSMAX / 3 + rd - bd;
    else
        hls.hue = 2 * HLSMAX / 3 + gd - rd;
    if (hls.hue < 0) hls.hue += HLSMAX;
    if (hls.hue > HLSMAX) hls.hue -= HLSMAX;
    return hls;
}

int HueToRGB(int m1, int m2, int hue) {
    if (hue < 0) hue += HLSMAX;
    if (hue > HLSMAX) hue -= HLSMAX;
    if (hue < HLSMAX / 6) return m1 + ((m2 - m1) * hue + HLSMAX / 12) / (HLSMAX / 6);
    if (hue < HLSMAX / 2) return m2;
    if (hue < 2 * HLSMAX / 3) return m1 + ((m2 - m1) * (2 * HLSMAX / 3 - hue) + HLSMAX / 12) / (HLSMAX / 6);
    return m1;
}

TColor HLSToRGB(int hue, int lightness, int saturation) {
    if (saturation == 0) {
        int grey = lightness * RGBMAX / HLSMAX;
        return MakeColor(grey, grey, grey);
    }
    int m2 = lightness <= HLSMAX / 2
                 ? (lightness * (HLSMAX + saturation) + HLSMAX / 2) / HLSMAX
                 : lightness + saturation - (lightness * saturation + HLSMAX / 2) / HLSMAX;
    int m1 = 2 * lightness - m2;
    auto channel = [&](int h) { return (HueToRGB(m1, m2, h) * RGBMAX + HLSMAX / 2) / HLSMAX; };
    return MakeColor(channel(hue + HLSMAX / 3), channel(hue), channel(hue - HLSMAX / 3));
}

long double LightnessProfile(long double x) {
    return -4342.9L * std::pow(x, 5.0L) + 10543.0L * std::pow(x, 4.0L) - 8216.0L * std::pow(x, 3.0L) +
           2018.1L * std::pow(x, 2.0L) + 11.096L * x + 164.6L;
}

TColor GradientColor(int i, int length, TColor startColor, TColor finalColor, bool singleColor) {
    if (singleColor || i <= 0) return startColor;
    if (i >= length) return finalColor;
    if (startColor == finalColor) return startColor;
    long double t = static_cast<long double>(i) / length;
    auto mix = [t](int s, int f) { return s + static_cast<int>(std::trunc((f - s) * t)); };
    return MakeColor(mix(Red(startColor), Red(finalColor)), mix(Green(startColor), Green(finalColor)),
                     mix(Blue(startColor), Blue(finalColor)));
}

std::vector<TColor> ShadeColumn(TColor color, int n, TQBarLook look) {
    std::vector<TColor> column;
    if (n <= 0) return column;
    column.reserve(n);
    HLS hls = RGBToHLS(color);
    for (int k = 0; k < n; ++k) {
        long double p = LightnessProfile(static_cast<long double>(k) / n);
        int lightness;
        if (look == blGlass)
            lightness = static_cast<int>(std::nearbyint(p)); // ties to even
        else
            lightness = std::clamp(hls.lightness - 212 + static_cast<int>(std::trunc(p)), 0, HLSMAX);
        column.push_back(HLSToRGB(hls.hue, lightness, hls.saturation));
    }
    return column;
}

int BorderFor(TQBarOrientation orientation, int width, int height) {
    return (orientation == boHorizontal ? height : width) < 10 ? 1 : 2;
}

Geometry MakeGeometry(TQBarOrientation orientation, int width, int height, int border) {
    Geometry g;
    g.border = border;
    g.doubleBorder = 2 * border;
    g.barLength = (orientation == boHorizontal ? width : height) - g.doubleBorder;
    g.minFilledLength = g.doubleBorder + 1;
    g.thickness = (orientation == boHorizontal ? height : width) - g.doubleBorder + 1;
    return g;
}

int FilledLength(int32_t position, int32_t maximum, const Geometry& geometry, double* percent) {
    int32_t value = std::min(position, maximum);
    double pct = static_cast<double>(static_cast<int64_t>(value) * 100) / maximum;
    if (percent) *percent = pct;
    int length = geometry.barLength;
    double len = length * pct / 100.0;
    int filled;
    if (len > 0 && geometry.minFilledLength > len)
        filled = geometry.minFilledLength;
    else if (len > length)
        filled = length;
    else
        filled = static_cast<int>(std::nearbyint(len)); // ties to even
    // A bar shorter than the minimum fill still never fills past its end.
    return std::min(filled, std::max(length, 0));
}

std::vector<BlockEntry> BuildBlockMap(TQBarOrientation orientation, const Geometry& geometry, int blockSize,
                                      int spaceSize) {
    int length = geometry.barLength;
    std::vector<BlockEntry> map(length <= 0 ? 1 : length + 1);
    if (orientation == boHorizontal) {
        int s = 3, e = blockSize + 2;
        for (int i = 1; i <= length; ++i) {
            map[i] = {s <= i && i <= e, e};
            if (i == e) {
                s = e + spaceSize + 1;
                e = std::min(s + blockSize - 1, length);
            }
        }
    } else {
        int d = geometry.doubleBorder;
        int s = length - 3, e = s - blockSize + 1;
        for (int i = length; i >= d; --i) {
            map[i] = {e <= i && i <= s, e};
            if (i == e) {
                s = e - spaceSize - 1;
                e = std::max(s - blockSize + 1, d);
            }
        }
    }
    return map;
}

ColorTables BuildColorTables(const ColorSettings& settings, const Geometry& geometry) {
    ColorTables tables;
    int length = geometry.barLength;
    int across = geometry.thickness;
    bool cylinder = settings.kind == bkCylinder;
    auto column = [&](TColor base) {
        return cylinder ? ShadeColumn(base, across, settings.look)
                        : std::vector<TColor>(std::max(across, 0), base);
    };
    int count = length <= 0 ? 1 : length + 1;
    tables.columns.reserve(count);
    for (int i = 0; i < count; ++i)
        tables.columns.push_back(
            column(GradientColor(i, length, settings.startColor, settings.finalColor, settings.singleColor)));
    // across - 1 is the thickness side less both borders.
    tables.inactive =
        across - 1 <= 0 ? std::vector<TColor>{settings.inactivePosColor} : column(settings.inactivePosColor);
    if (cylinder && settings.invertInactPos) {
        for (TColor& c : tables.inactive) {
            HLS hls = RGBToHLS(c);
            c = HLSToRGB(hls.hue, HLSMAX - hls.lightness, hls.saturation);
        }
    }
    return tables;
}

void PaintBarPixels(const PaintInput& input, const std::function<void(int, int, TColor)>& setPixel) {
    if (!input.tables) return;
    const Geometry& g = input.geometry;
    const int d = g.doubleBorder, length = g.barLength, filled = input.filled;
    const bool horizontal = input.orientation == boHorizontal;
    const auto& columns = input.tables->columns;
    const auto& inactive = input.tables->inactive;
    const std::vector<BlockEntry> noBlocks;
    const auto& map = input.blockMap ? *input.blockMap : noBlocks;

    auto inBlock = [&](int i) { return i >= 0 && i < int(map.size()) && map[i].inBlock; };
    // A block is drawn in the bar colours only once the fill has reached its
    // far end.
    auto incomplete = [&](int i) {
        return horizontal ? map[i].blockEnd > filled : map[i].blockEnd < input.height - filled;
    };
    auto paintLine = [&](int i, const std::vector<TColor>& colours) {
        int last = horizontal ? input.height - d : input.width - d;
        for (int k = d - 1; k <= last; ++k) {
            if (k < 0 || k >= int(colours.size())) continue;
            if (horizontal)
                setPixel(i, k, colours[k]);
            else
                setPixel(k, i, colours[k]);
        }
    };
    auto paintFilled = [&](int i) {
        if (input.blocksOn) {
            if (!inBlock(i)) return;
            if (input.showFullBlock && incomplete(i)) {
                if (input.showInactivePos) paintLine(i, inactive);
                return;
            }
        }
        if (i >= 0 && i < int(columns.size())) paintLine(i, columns[i]);
    };
    auto paintInactive = [&](int i) {
        if (input.blocksOn && !inBlock(i)) return;
        paintLine(i, inactive);
    };

    if (horizontal) {
        for (int x = d - 1; x <= filled; ++x) paintFilled(x);
        if (input.showInactivePos)
            for (int x = filled < 3 ? 3 : filled + 1; x <= length; ++x) paintInactive(x);
    } else {
        for (int y = length - 1; y >= input.height - filled; --y) paintFilled(y);
        if (input.showInactivePos)
            for (int y = filled < 3 ? length : input.height - filled - 1; y >= d; --y) paintInactive(y);
    }
}

} // namespace QProgBar

using namespace QProgBar;

namespace {

QColor ToQColor(TColor c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Up to 15 significant digits with the user's decimal separator.
QString GeneralText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    QString result = QString::fromLatin1(text);
    result.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return result;
}

} // namespace

TQProgressBar::TQProgressBar(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    resize(64, 16);
    HandleResize();
}

TQProgressBar::~TQProgressBar() = default;

void TQProgressBar::SetSleep(std::function<void(int)> value) {
    sleep = std::move(value);
}

const Geometry& TQProgressBar::BarGeometry() {
    SyncSize();
    return geometry;
}

void TQProgressBar::SyncSize() {
    if (size() != knownSize) HandleResize();
}

void TQProgressBar::ApplySize() {
    knownSize = size();
    UpdateBarLength();
    if (updating) return;
    if (blocksOn) RebuildBlockMap();
    RebuildColorTables();
}

void TQProgressBar::HandleResize() {
    ApplySize();
    if (!updating) SetPosition(position);
}

void TQProgressBar::UpdateBarLength() {
    geometry = MakeGeometry(orientation, width(), height(), geometry.border);
}

void TQProgressBar::RebuildBlockMap() {
    if (blockSize != 0 && spaceSize != 0)
        blockMap = BuildBlockMap(orientation, geometry, blockSize, spaceSize);
}

void TQProgressBar::RebuildColorTables() {
    if (!updating) tables = BuildColorTables(colors, geometry);
}

void TQProgressBar::Repaint() {
    if (!painting) update();
}

void TQProgressBar::SetOrientation(TQBarOrientation value) {
    SyncSize();
    updating = true;
    if (value != orientation) {
        int w = width(), h = height();
        if ((value == boVertical && h < w) || (value == boHorizontal && w < h)) resize(h, w);
        orientation = value;
    }
    geometry.border = BorderFor(orientation, width(), height());
    ApplySize();
    updating = false;
    RebuildBlockMap();
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetBarKind(TQBarKind value) {
    colors.kind = value;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetBarLook(TQBarLook value) {
    colors.look = value;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetRoundCorner(bool value) {
    cornerRadius = value ? 5 : 0;
    Repaint();
}

void TQProgressBar::SetBackgroundColor(TColor value) {
    backgroundColor = value;
    Repaint();
}

void TQProgressBar::SetBarColor(TColor value) {
    colors.startColor = colors.finalColor = value;
    colors.singleColor = true;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetStartColor(TColor value) {
    colors.startColor = value;
    colors.singleColor = colors.startColor == colors.finalColor;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetFinalColor(TColor value) {
    colors.finalColor = value;
    colors.singleColor = colors.startColor == colors.finalColor;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetShowInactivePos(bool value) {
    showInactivePos = value;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetInvertInactPos(bool value) {
    colors.invertInactPos = value;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetInactivePosColor(TColor value) {
    colors.inactivePosColor = value;
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetShaped(bool value) {
    shaped = value;
    Repaint();
}

void TQProgressBar::SetShapeColor(TColor value) {
    shapeColor = value;
    Repaint();
}

bool TQProgressBar::SetBlockField(int32_t& field, int32_t value) {
    SyncSize();
    // Compared by magnitude: the field keeps |value|.
    int64_t magnitude = value < 0 ? -int64_t(value) : int64_t(value);
    if (magnitude > geometry.barLength) return false;
    field = int32_t(magnitude);
    blocksOn = blockSize > 0 && spaceSize > 0;
    if (blocksOn) RebuildBlockMap();
    RebuildColorTables();
    Repaint();
    return true;
}

void TQProgressBar::SetBlockSize(int32_t value) {
    SetBlockField(blockSize, value);
}

void TQProgressBar::SetSpaceSize(int32_t value) {
    SetBlockField(spaceSize, value);
}

void TQProgressBar::SetShowFullBlock(bool value) {
    SyncSize();
    showFullBlock = value;
    if (value) RebuildBlockMap();
    RebuildColorTables();
    Repaint();
}

void TQProgressBar::SetMaximum(int32_t value) {
    maximum = std::max(value, 0);
    Repaint();
}

void TQProgressBar::SetPosition(int32_t value) {
    if (size() != knownSize) ApplySize();
    position = value;
    if (maximum == 0) return;
    int32_t clamped = std::min(value, maximum);
    if (value <= 0) {
        filled = 0;
    } else {
        filled = QProgBar::FilledLength(value, maximum, geometry, &percent);
        if (autoHint)
            setToolTip(showPosAsPct ? GeneralText(percent) + QStringLiteral(" %")
                                    : QString::number(position));
    }
    Repaint();
    if (hideOnTerminate && maximum == clamped) {
        sleep(100);
        hide();
    }
}

void TQProgressBar::PlaceCaption(const QString& text) {
    caption = text;
    captionShown = !text.isEmpty();
    if (!captionShown) return;
    QFontMetrics metrics(font());
    captionY = (height() - metrics.height()) / 2;
    int textWidth = metrics.horizontalAdvance(text);
    switch (captionAlign) {
    case caLeft:
        captionX = 0;
        break;
    case caRight:
        captionX = width() - textWidth - 1;
        break;
    case caCenter:
        captionX = (width() - textWidth) / 2;
        break;
    }
}

void TQProgressBar::SetCaption(const QString& text) {
    PlaceCaption(text);
    if (captionShown) Repaint();
}

void TQProgressBar::SetCaptionAlign(TQCaptionAlign value) {
    captionAlign = value;
    SetCaption(caption);
}

void TQProgressBar::SetFont(const QFont& value) {
    setFont(value);
}

void TQProgressBar::SetAutoCaption(bool value) {
    autoCaption = value;
    Repaint();
}

void TQProgressBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    SyncSize();
}

void TQProgressBar::paintEvent(QPaintEvent*) {
    painting = true;
    SyncSize();
    QPainter painter(this);
    const int w = width(), h = height();
    if (shaped) {
        painter.setPen(QPen(ToQColor(shapeColor), 1));
        painter.setBrush(ToQColor(backgroundColor));
        // The radius is the corner ellipse's width and height.
        double radius = cornerRadius / 2.0;
        if (radius > 0)
            painter.drawRoundedRect(QRectF(0, 0, w - 1, h - 1), radius, radius);
        else
            painter.drawRect(QRect(0, 0, w - 1, h - 1));
    }

    QImage pixels(std::max(w, 1), std::max(h, 1), QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::transparent);
    PaintInput input;
    input.orientation = orientation;
    input.width = w;
    input.height = h;
    input.geometry = geometry;
    input.filled = filled;
    input.blocksOn = blocksOn;
    input.showFullBlock = showFullBlock;
    input.showInactivePos = showInactivePos;
    input.blockMap = &blockMap;
    input.tables = &tables;
    PaintBarPixels(input, [&](int x, int y, TColor c) {
        if (x >= 0 && y >= 0 && x < w && y < h) pixels.setPixel(x, y, ToQColor(c).rgb());
    });
    painter.drawImage(0, 0, pixels);

    if (autoCaption)
        PlaceCaption(showPosAsPct ? GeneralText(percent) + QStringLiteral("%") : QString::number(position));
    if (captionShown) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(font());
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(captionX, captionY + QFontMetrics(font()).ascent(), caption);
    }
    painting = false;
}
