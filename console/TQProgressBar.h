// The program's own progress bar: a flat or cylinder-shaded bar, horizontal or
// vertical, one colour or a gradient, optionally cut into blocks, painted
// pixel by pixel from colour tables rebuilt whenever a property changes.
// Callers set Maximum first, then Position.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Colours are $00BBGGRR: red in the low byte.
using TColor = uint32_t;

enum TQBarOrientation : uint8_t { boHorizontal = 0, boVertical = 1 };
enum TQBarKind : uint8_t { bkFlat = 0, bkCylinder = 1 };
enum TQBarLook : uint8_t { blMetal = 0, blGlass = 1 };
enum TQCaptionAlign : uint8_t { caLeft = 0, caRight = 1, caCenter = 2 };

// Geometry and colour maths of the bar; no widget needed.
namespace QProgBar {

// Integer part of position * 100 / maximum, in 64 bits, within 0..100; 0 while
// maximum <= 0.
int64_t PercentUnits(int64_t position, int64_t maximum);
// PercentUnits followed by " %", e.g. "37 %"; "0 %" while maximum <= 0.
std::string PercentText(int64_t position, int64_t maximum);

struct HLS {
    int hue;
    int lightness;
    int saturation;
};
// Integer colour conversions on the 0..240 scale (hue of greys 160).
HLS RGBToHLS(TColor color);
TColor HLSToRGB(int hue, int lightness, int saturation);
int HueToRGB(int m1, int m2, int hue);

// Lightness (0..240 scale) across a cylinder at x in [0, 1).
long double LightnessProfile(long double x);
// Colour at position i of a bar of `length` positions.
TColor GradientColor(int i, int length, TColor startColor, TColor finalColor, bool singleColor);
// n colours across a cylinder bar of the given base colour.
std::vector<TColor> ShadeColumn(TColor color, int n, TQBarLook look);

// Sizes along (length) and across (thickness) the bar.
struct Geometry {
    int border = 2;
    int doubleBorder = 4;
    int barLength = 0;
    int minFilledLength = 0;
    int thickness = 0; // entries of each colour column
};
// Border 1 for bars thinner than 10 pixels, else 2.
int BorderFor(TQBarOrientation orientation, int width, int height);
Geometry MakeGeometry(TQBarOrientation orientation, int width, int height, int border);

// Filled length in pixels for a position (already known to be > 0) against a
// positive maximum; `percent` receives position * 100 / maximum.
int FilledLength(int32_t position, int32_t maximum, const Geometry& geometry, double* percent);

struct BlockEntry {
    bool inBlock = false;
    int32_t blockEnd = 0;
};
// One entry per pixel along the bar (barLength + 1 entries); blocks start
// next to the border, at the left or at the bottom.
std::vector<BlockEntry> BuildBlockMap(TQBarOrientation orientation, const Geometry& geometry, int blockSize,
                                      int spaceSize);

struct ColorSettings {
    TQBarKind kind = bkFlat;
    TQBarLook look = blMetal;
    TColor startColor = 0x00FF00;
    TColor finalColor = 0x00FF00;
    bool singleColor = true;
    TColor inactivePosColor = 0x808080;
    bool invertInactPos = false;
};
struct ColorTables {
    std::vector<std::vector<TColor>> columns; // per position along, per pixel across
    std::vector<TColor> inactive;             // per pixel across
};
ColorTables BuildColorTables(const ColorSettings& settings, const Geometry& geometry);

// What the pixel painter needs; the tables and map are the widget's.
struct PaintInput {
    TQBarOrientation orientation = boHorizontal;
    int width = 0;
    int height = 0;
    Geometry geometry;
    int filled = 0;
    bool blocksOn = false;
    bool showFullBlock = false;
    bool showInactivePos = false;
    const std::vector<BlockEntry>* blockMap = nullptr;
    const ColorTables* tables = nullptr;
};
// Calls setPixel(x, y, colour) for every bar pixel; pixels whose table entry
// does not exist are left alone.
void PaintBarPixels(const PaintInput& input, const std::function<void(int, int, TColor)>& setPixel);

} // namespace QProgBar

class TQProgressBar : public QWidget {
public:
    explicit TQProgressBar(QWidget* parent = nullptr);
    ~TQProgressBar() override;

    TQBarOrientation Orientation() const { return orientation; }
    void SetOrientation(TQBarOrientation value);
    TQBarKind BarKind() const { return colors.kind; }
    void SetBarKind(TQBarKind value);
    TQBarLook BarLook() const { return colors.look; }
    void SetBarLook(TQBarLook value);
    bool RoundCorner() const { return cornerRadius > 0; }
    void SetRoundCorner(bool value);
    TColor BackgroundColor() const { return backgroundColor; }
    void SetBackgroundColor(TColor value);
    TColor BarColor() const { return colors.startColor; }
    void SetBarColor(TColor value);
    TColor StartColor() const { return colors.startColor; }
    void SetStartColor(TColor value);
    TColor FinalColor() const { return colors.finalColor; }
    void SetFinalColor(TColor value);
    bool ShowInactivePos() const { return showInactivePos; }
    void SetShowInactivePos(bool value);
    bool InvertInactPos() const { return colors.invertInactPos; }
    void SetInvertInactPos(bool value);
    TColor InactivePosColor() const { return colors.inactivePosColor; }
    void SetInactivePosColor(TColor value);
    bool Shaped() const { return shaped; }
    void SetShaped(bool value);
    TColor ShapeColor() const { return shapeColor; }
    void SetShapeColor(TColor value);
    int32_t BlockSize() const { return blockSize; }
    void SetBlockSize(int32_t value);
    int32_t SpaceSize() const { return spaceSize; }
    void SetSpaceSize(int32_t value);
    bool ShowFullBlock() const { return showFullBlock; }
    void SetShowFullBlock(bool value);
    int32_t Maximum() const { return maximum; }
    void SetMaximum(int32_t value);
    // The value last assigned, not clamped to the maximum.
    int32_t Position() const { return position; }
    void SetPosition(int32_t value);
    bool HideOnTerminate() const { return hideOnTerminate; }
    void SetHideOnTerminate(bool value) { hideOnTerminate = value; }
    QString Caption() const { return caption; }
    void SetCaption(const QString& text);
    TQCaptionAlign CaptionAlign() const { return captionAlign; }
    void SetCaptionAlign(TQCaptionAlign value);
    QFont Font() const { return font(); }
    void SetFont(const QFont& value);
    bool AutoCaption() const { return autoCaption; }
    void SetAutoCaption(bool value);
    bool AutoHint() const { return autoHint; }
    void SetAutoHint(bool value) { autoHint = value; }
    bool ShowPosAsPct() const { return showPosAsPct; }
    void SetShowPosAsPct(bool value) { showPosAsPct = value; }

    // State derived from the properties, for the windows that show it.
    const QProgBar::Geometry& BarGeometry();
    int FilledLength() const { return filled; }
    double Percent() const { return percent; }
    bool CaptionShown() const { return captionShown; }
    int CaptionX() const { return captionX; }
    int CaptionY() const { return captionY; }

    // The pause before hiding a finished bar; tests replace it.
    void SetSleep(std::function<void(int milliseconds)> sleep);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SyncSize();
    void ApplySize();
    void HandleResize();
    void Repaint();
    void UpdateBarLength();
    void RebuildBlockMap();
    void RebuildColorTables();
    void PlaceCaption(const QString& text);
    bool SetBlockField(int32_t& field, int32_t value);

    std::vector<QProgBar::BlockEntry> blockMap;
    QProgBar::ColorTables tables;
    bool updating = false;
    bool painting = false;
    TQBarOrientation orientation = boHorizontal;
    QProgBar::Geometry geometry;
    bool shaped = true;
    TColor shapeColor = 0x743C00;
    int cornerRadius = 5;
    TColor backgroundColor = 0xFFFFFF;
    QProgBar::ColorSettings colors;
    bool showInactivePos = false;
    double percent = 0;
    int32_t position = 0;
    int filled = 0;
    int32_t maximum = 100;
    bool blocksOn = false;
    bool showFullBlock = false;
    int32_t spaceSize = 0;
    int32_t blockSize = 0;
    bool hideOnTerminate = false;
    QString caption;
    TQCaptionAlign captionAlign = caLeft;
    int captionX = 0;
    int captionY = 0;
    bool captionShown = false;
    bool showPosAsPct = false;
    bool autoCaption = false;
    bool autoHint = false;
    QSize knownSize;
    std::function<void(int)> sleep;
};
