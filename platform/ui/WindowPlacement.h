// Where windows open: centred on their owner and wholly on its screen, the
// first time too (before the first showing a window has no size of its own
// yet, so its size is settled first).
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace platform {

// The top-left corner of a window of `size` centred on `owner`, moved as
// little as needed to lie within `screen` (its top-left corner when it is
// larger than the screen).
QPoint CentredPlace(const QRect& owner, const QSize& size, const QRect& screen);

// Centres `window` on `owner` (its screen when there is no visible owner).
void PlaceCentred(QWidget& window, const QWidget* owner);

// The window a dialog without a parent belongs to: the active window, else
// the visible main window; null when there is none.
const QWidget* DefaultOwner();

// Places a window at its first showing unless it was placed already; later
// showings keep where the user left it.
void PlaceOnFirstShow(QWidget& window);

} // namespace platform
