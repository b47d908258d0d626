#include "console/TQProgressBar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLocale>

#include <initializer_list>
#include <memory>
#include <vector>

namespace {

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "window_progressbar";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

constexpr QRgb Sentinel = 0xFF010203;

// The bar as it paints itself, over a sentinel colour where it paints nothing.
QImage Render(TQProgressBar& bar) {
    QImage image(bar.size(), QImage::Format_ARGB32);
    image.fill(Sentinel);
    bar.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QRgb Rgb(TColor c) {
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Green = 0xFF00FF00;
const QRgb Outline = Rgb(0x743C00);

struct PixelAt {
    int x, y;
    QRgb colour;
};
void ExpectPixels(const QImage& image, std::initializer_list<PixelAt> pixels) {
    for (const PixelAt& p : pixels) EXPECT_EQ(image.pixel(p.x, p.y), p.colour) << "at " << p.x << ", " << p.y;
}

class ProgressBarWindow : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        QLocale::setDefault(QLocale::c());
        bar = std::make_unique<TQProgressBar>();
        bar->SetSleep([this](int ms) { sleeps.push_back(ms); });
    }
    std::unique_ptr<TQProgressBar> bar;
    std::vector<int> sleeps;
};

TEST_F(ProgressBarWindow, NewControlDefaults) {
    // 64 x 16 with a border of 2: position 0 of 100 fills nothing.
    EXPECT_EQ(bar->BarGeometry().minFilledLength, 5);
    ExpectPixels(Render(*bar),
                 {{32, 0, Outline}, {63, 8, Outline}, {32, 15, Outline}, {10, 8, White}, {3, 8, White}});
}

TEST_F(ProgressBarWindow, FlatBarFillsFromTheLeft) {
    bar->SetPosition(50);
    EXPECT_EQ(bar->FilledLength(), 30);
    ExpectPixels(Render(*bar), {{2, 8, White},
                                {3, 8, Green},
                                {30, 3, Green},
                                {30, 12, Green},
                                {30, 2, White},
                                {30, 13, White},
                                {31, 8, White}});
}

TEST_F(ProgressBarWindow, OutlineCornersAndShape) {
    EXPECT_NE(Render(*bar).pixel(0, 0), Outline); // rounded corner
    bar->SetRoundCorner(false);
    EXPECT_FALSE(bar->RoundCorner());
    EXPECT_EQ(Render(*bar).pixel(0, 0), Outline);

    bar->SetBackgroundColor(0x0000FF);
    bar->SetShapeColor(0x00FFFF);
    QImage image = Render(*bar);
    EXPECT_EQ(image.pixel(0, 0), Rgb(0x00FFFF));
    EXPECT_EQ(image.pixel(20, 8), Rgb(0x0000FF));

    bar->SetShaped(false);
    bar->SetPosition(50);
    image = Render(*bar);
    EXPECT_EQ(image.pixel(32, 0), Sentinel);
    EXPECT_EQ(image.pixel(40, 8), Sentinel);
    EXPECT_EQ(image.pixel(10, 8), Green);
}

// Lightness of a painted pixel on the 0..240 scale.
int Lightness(QRgb pixel) {
    return QProgBar::RGBToHLS(qRed(pixel) | qGreen(pixel) << 8 | qBlue(pixel) << 16).lightness;
}

TEST_F(ProgressBarWindow, CylinderGlassAsTheJobWindowUsesIt) {
    bar->resize(281, 16);
    bar->SetBarKind(bkCylinder);
    bar->SetBarLook(blGlass);
    bar->SetBarColor(0xFF2424);
    bar->SetShowInactivePos(true);
    bar->SetInactivePosColor(0xDBCFEF);
    bar->SetPosition(40);
    QImage image = Render(*bar);
    // Rows follow the cylinder's profile (13 entries across).
    const int profile[][2] = {{3, 201}, {6, 179}, {9, 145}, {12, 176}};
    for (const auto& [y, lightness] : profile) {
        QRgb filled = image.pixel(50, y);
        EXPECT_NEAR(Lightness(filled), lightness, 2) << y;
        EXPECT_EQ(QProgBar::RGBToHLS(qRed(filled) | qGreen(filled) << 8 | qBlue(filled) << 16).hue, 160) << y;
        EXPECT_NEAR(Lightness(image.pixel(200, y)), lightness, 2) << y;
    }
    // The inactive part keeps its own hue, which is not the bar's.
    QRgb inactive = image.pixel(200, 6);
    EXPECT_GT(qRed(inactive), qGreen(inactive));
    EXPECT_EQ(image.pixel(50, 6), image.pixel(100, 6)); // one colour along the bar

    // Glass ignores the colour's own lightness, metal keeps it.
    bar->SetBarColor(0x800000);
    EXPECT_EQ(Render(*bar).pixel(50, 6), image.pixel(50, 6));
    bar->SetBarLook(blMetal);
    QImage metal = Render(*bar);
    EXPECT_LT(Lightness(metal.pixel(50, 6)), Lightness(image.pixel(50, 6)));
    bar->SetBarColor(0xFF2424);
    EXPECT_GT(Lightness(Render(*bar).pixel(50, 6)), Lightness(metal.pixel(50, 6)));
}

TEST_F(ProgressBarWindow, InvertedInactivePart) {
    bar->SetBarKind(bkCylinder);
    bar->SetBarLook(blGlass);
    bar->SetShowInactivePos(true);
    bar->SetInactivePosColor(0x808080);
    int plain = Lightness(Render(*bar).pixel(40, 3));
    bar->SetInvertInactPos(true);
    int inverted = Lightness(Render(*bar).pixel(40, 3));
    EXPECT_NEAR(plain + inverted, 240, 2);
}

TEST_F(ProgressBarWindow, VerticalBarFillsFromTheBottom) {
    bar->SetOrientation(boVertical);
    EXPECT_EQ(bar->width(), 16);
    EXPECT_EQ(bar->height(), 64);
    EXPECT_EQ(bar->BarGeometry().barLength, 60);
    bar->SetPosition(50);
    ExpectPixels(
        Render(*bar),
        {{8, 59, Green}, {8, 34, Green}, {8, 33, White}, {3, 40, Green}, {12, 40, Green}, {13, 40, White}});

    // Back to horizontal swaps the sides again.
    bar->SetOrientation(boHorizontal);
    EXPECT_EQ(bar->width(), 64);
    EXPECT_EQ(bar->height(), 16);
}

TEST_F(ProgressBarWindow, GradientRunsAlongTheWholeBar) {
    bar->SetStartColor(0x0000FF);
    bar->SetFinalColor(0xFF0000);
    bar->SetPosition(100);
    QImage image = Render(*bar);
    EXPECT_EQ(image.pixel(3, 8), qRgb(243, 0, 12)); // 255 - trunc(255 * 3 / 60)
    EXPECT_EQ(image.pixel(60, 8), qRgb(0, 0, 255));
    bar->SetPosition(50);
    image = Render(*bar);
    EXPECT_EQ(image.pixel(30, 8), qRgb(128, 0, 127)); // half-filled shows the first half
    EXPECT_EQ(image.pixel(40, 8), White);

    bar->SetFinalColor(0x0000FF); // equal colours: one colour again
    EXPECT_EQ(Render(*bar).pixel(30, 8), qRgb(255, 0, 0));
}

TEST_F(ProgressBarWindow, BlocksAndTheirLimits) {
    bar->SetBlockSize(61); // longer than the bar: ignored
    EXPECT_EQ(bar->BlockSize(), 0);
    bar->SetBlockSize(-5);
    EXPECT_EQ(bar->BlockSize(), 5);
    bar->SetSpaceSize(2);
    bar->SetPosition(100);
    ExpectPixels(Render(*bar), {{5, 8, Green}, {8, 8, White}, {10, 8, Green}});
    bar->SetShowFullBlock(true);
    bar->SetPosition(20); // 12 pixels: the block 10..14 is not complete
    ExpectPixels(Render(*bar), {{7, 8, Green}, {12, 8, White}});
}

TEST_F(ProgressBarWindow, PositionIsStoredUnclampedAndMaximumZeroOnlyStores) {
    bar->SetPosition(150);
    EXPECT_EQ(bar->Position(), 150);
    EXPECT_EQ(bar->FilledLength(), 60);
    EXPECT_DOUBLE_EQ(bar->Percent(), 100.0);
    bar->SetPosition(-4);
    EXPECT_EQ(bar->FilledLength(), 0);
    EXPECT_EQ(bar->Position(), -4);

    bar->SetPosition(50);
    bar->SetMaximum(-7);
    EXPECT_EQ(bar->Maximum(), 0);
    bar->SetHideOnTerminate(true);
    bar->SetPosition(0);
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_EQ(bar->FilledLength(), 30); // unchanged
    EXPECT_TRUE(sleeps.empty());

    // Large counts stay exact.
    bar->SetHideOnTerminate(false);
    bar->SetMaximum(100000000);
    bar->SetPosition(75000000);
    EXPECT_EQ(bar->FilledLength(), 45);
}

TEST_F(ProgressBarWindow, HidesAfterAPauseWhenFinished) {
    QWidget window;
    bar->setParent(&window);
    window.show();
    ASSERT_TRUE(bar->isVisible());
    bar->SetHideOnTerminate(true);
    bar->SetMaximum(10);
    bar->SetPosition(9);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(sleeps.empty());
    bar->SetPosition(10);
    EXPECT_EQ(sleeps, std::vector<int>{100});
    EXPECT_FALSE(bar->isVisible());

    bar->show();
    bar->SetPosition(11); // past the end counts as finished
    EXPECT_EQ(sleeps.size(), 2u);
    EXPECT_FALSE(bar->isVisible());

    bar->show();
    bar->SetHideOnTerminate(false);
    bar->SetPosition(10);
    EXPECT_EQ(sleeps.size(), 2u);
    EXPECT_TRUE(bar->isVisible());
    bar->setParent(nullptr);
}

TEST_F(ProgressBarWindow, ThinBarsGetAThinBorderOnOrientation) {
    bar->resize(100, 8);
    EXPECT_EQ(bar->BarGeometry().border, 2); // a resize keeps the border
    EXPECT_EQ(bar->BarGeometry().barLength, 96);
    bar->SetOrientation(boHorizontal);
    EXPECT_EQ(bar->BarGeometry().border, 1);
    EXPECT_EQ(bar->BarGeometry().barLength, 98);
    EXPECT_EQ(bar->BarGeometry().minFilledLength, 3);
    bar->SetPosition(1); // 0.98 pixels: the minimum of 3
    EXPECT_EQ(bar->FilledLength(), 3);
    QImage image = Render(*bar);
    EXPECT_EQ(image.pixel(1, 4), Green);
    EXPECT_EQ(image.pixel(3, 4), Green);
    EXPECT_EQ(image.pixel(4, 4), White);
}

TEST_F(ProgressBarWindow, ResizeRecomputesTheFill) {
    bar->SetPosition(50);
    bar->resize(124, 16);
    QImage image = Render(*bar);
    EXPECT_EQ(bar->FilledLength(), 60);
    EXPECT_EQ(image.pixel(60, 8), Green);
    EXPECT_EQ(image.pixel(61, 8), White);
}

TEST_F(ProgressBarWindow, HintsAndCaptions) {
    bar->SetAutoHint(true);
    bar->SetPosition(150);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("150"));
    bar->SetShowPosAsPct(true);
    bar->SetMaximum(3);
    bar->SetPosition(1);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("33.3333333333333 %"));

    bar->SetCaption(QStringLiteral("Pg"));
    EXPECT_TRUE(bar->CaptionShown());
    bar->SetCaptionAlign(caRight);
    int right = bar->CaptionX() + QFontMetrics(bar->font()).horizontalAdvance(QStringLiteral("Pg")) + 1;
    EXPECT_EQ(right, bar->width());
    bar->SetCaptionAlign(caLeft);
    EXPECT_EQ(bar->CaptionX(), 0);
    bar->SetCaption(QString());
    EXPECT_FALSE(bar->CaptionShown());

    // Automatic captions follow the bar at each paint.
    bar->SetAutoCaption(true);
    bar->SetMaximum(100);
    bar->SetPosition(50);
    Render(*bar);
    EXPECT_EQ(bar->Caption(), QStringLiteral("50%"));
    bar->SetShowPosAsPct(false);
    bar->SetPosition(20);
    Render(*bar);
    EXPECT_EQ(bar->Caption(), QStringLiteral("20"));
}

TEST_F(ProgressBarWindow, CaptionIsDrawn) {
    bar->resize(120, 24);
    bar->SetBarColor(0xFFFFFF);
    bar->SetFont(QFont(QStringLiteral("Sans"), 12));
    QImage blank = Render(*bar);
    bar->SetCaption(QStringLiteral("WWW"));
    QImage captioned = Render(*bar);
    int changed = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) changed += captioned.pixel(x, y) != blank.pixel(x, y);
    EXPECT_GT(changed, 10);
}

} // namespace
