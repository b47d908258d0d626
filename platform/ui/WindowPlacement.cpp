#include "platform/ui/WindowPlacement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace platform {
namespace {

constexpr char kPlacedProperty[] = "q710Placed";

int Clamp(int start, int length, int areaStart, int areaLength) {
    start = std::min(start, areaStart + areaLength - length);
    return std::max(start, areaStart);
}

// The frame the platform puts around the window. Before a window's first
// showing a window manager may not have framed it yet; the owner's frame,
// which it has, stands in then.
QMargins FrameMargins(QWidget& window, const QWidget* owner) {
    QMargins margins;
    if (window.isWindow()) {
        window.winId(); // the platform window, which knows its frame
        if (QWindow* handle = window.windowHandle()) margins = handle->frameMargins();
    }
    if (margins.isNull() && owner != nullptr)
        if (QWindow* handle = owner->windowHandle()) margins = handle->frameMargins();
    return margins;
}

} // namespace

QPoint CentredPlace(const QRect& owner, const QSize& size, const QRect& screen) {
    int x = owner.x() + (owner.width() - size.width()) / 2;
    int y = owner.y() + (owner.height() - size.height()) / 2;
    return {Clamp(x, size.width(), screen.x(), screen.width()),
            Clamp(y, size.height(), screen.y(), screen.height())};
}

void PlaceCentred(QWidget& window, const QWidget* owner) {
    window.setProperty(kPlacedProperty, true);
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Resized)) window.adjustSize();
    bool hasOwner = owner != nullptr && owner->isVisible();
    QScreen* screen = hasOwner ? owner->screen() : window.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect area = screen->availableGeometry();
    QRect ownerRect = hasOwner ? owner->frameGeometry() : area;
    // The frame counts: the whole window, frame included, lies on the screen.
    const QMargins frame = FrameMargins(window, hasOwner ? owner : nullptr);
    const QSize outer = window.size().grownBy(frame);
    const QPoint corner = CentredPlace(ownerRect, outer, area);
    // A window's position is that of its frame.
    window.move(corner);
}

const QWidget* DefaultOwner() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && qobject_cast<QMainWindow*>(w) != nullptr) return w;
    return nullptr;
}

void PlaceOnFirstShow(QWidget& window) {
    if (window.property(kPlacedProperty).toBool()) return;
    const QWidget* owner =
        window.parentWidget() != nullptr ? window.parentWidget()->window() : DefaultOwner();
    PlaceCentred(window, owner == &window ? nullptr : owner);
}

} // namespace platform
