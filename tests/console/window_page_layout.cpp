// Every page of the main window readable at the size the program opens with
// and at the minimum size 780 x 465: no control is squeezed below the size
// it needs to show its caption, its text or its value whole. Pictures of the
// discount-group page at both sizes are left in Q710_TEST_OUT.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "support_program.h"
#include "support_readers.h"

namespace {

using testing_console::ProgramHarness;

std::string Describe(const QWidget* w) {
    std::string text;
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) text = b->text().toStdString();
    if (auto* l = qobject_cast<const QLabel*>(w)) text = l->text().toStdString();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) text = g->title().toStdString();
    return std::string(w->metaObject()->className()) + " " + w->objectName().toStdString() + " \"" + text +
           "\" " + std::to_string(w->width()) + "x" + std::to_string(w->height());
}

// Controls of the page that are shown smaller than they need: a caption, a
// text or a value would be cut. Scroll areas (the listing) may be small.
std::vector<std::string> Squeezed(QWidget* page) {
    std::vector<std::string> found;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(page) || w->isWindow()) continue;
        // The parts of a spin box or a combo box are sized by it.
        if (qobject_cast<QAbstractSpinBox*>(w->parentWidget()) != nullptr ||
            qobject_cast<QComboBox*>(w->parentWidget()) != nullptr)
            continue;
        if (qobject_cast<QTextEdit*>(w) != nullptr) continue;
        if (qobject_cast<QAbstractButton*>(w) == nullptr && qobject_cast<QLabel*>(w) == nullptr &&
            qobject_cast<QGroupBox*>(w) == nullptr && qobject_cast<QAbstractSpinBox*>(w) == nullptr &&
            qobject_cast<QComboBox*>(w) == nullptr && qobject_cast<QLineEdit*>(w) == nullptr)
            continue;
        // The arrows of a spin button are small by design.
        if (qobject_cast<QToolButton*>(w) != nullptr) continue;
        QSize need = w->minimumSizeHint();
        // An edit needs room for the text it holds and for a number as long
        // as it takes (a barcode's 13 digits at most).
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            const QString digits(std::min(e->maxLength(), 13), QChar('0'));
            need.setWidth(std::max(e->fontMetrics().horizontalAdvance(e->text()),
                                   e->fontMetrics().horizontalAdvance(digits)) +
                          6);
        }
        // Buttons and labels need their whole caption.
        if (qobject_cast<QAbstractButton*>(w) != nullptr || qobject_cast<QLabel*>(w) != nullptr)
            need = need.expandedTo(w->sizeHint());
        if (auto* g = qobject_cast<QGroupBox*>(w)) {
            int title = g->fontMetrics().horizontalAdvance(g->title());
            need.setWidth(std::max(need.width(), title + 16));
        }
        if (w->width() < need.width() || w->height() < need.height())
            found.push_back(Describe(w) + " needs " + std::to_string(need.width()) + "x" +
                            std::to_string(need.height()));
    }
    return found;
}

void ExpectReadable(ProgramHarness& h, const char* size) {
    console::TForm1& f = h.Form();
    for (int page = 0; page < f.PageControl1->count(); ++page) {
        f.PageControl1->setCurrentIndex(page);
        QApplication::processEvents();
        for (const std::string& s : Squeezed(f.PageControl1->currentWidget()))
            ADD_FAILURE() << size << ", page " << page << ": " << s;
    }
    // The tree and the left panel keep their width too.
    EXPECT_GE(f.TreeView1->width(), f.TreeView1->minimumWidth());
}

void Picture(ProgramHarness& h, const std::string& name) {
    h.Form().PageControl1->setCurrentIndex(6);
    QApplication::processEvents();
    std::string file = h.dir.File(name);
    ASSERT_TRUE(h.Form().grab().save(QString::fromStdString(file), "PNG"));
    testfiles::KeepTestOutput(file, name);
}

TEST(PageLayout, EveryPageReadableAtTheOpeningAndTheMinimumSize) {
    ProgramHarness h;
    ASSERT_TRUE(h.Create());
    console::TForm1& f = h.Form();
    f.show();
    QApplication::processEvents();
    // As the program opens: the window's own size, wholly on the screen.
    QSize opening = f.size();
    EXPECT_GE(opening.width(), 780);
    EXPECT_GE(opening.height(), 465);
    EXPECT_TRUE(f.screen()->availableGeometry().contains(f.frameGeometry())) << opening.width();
    ExpectReadable(h, "opening size");
    Picture(h, "page6_open.png");

    // Wide enough for the discount listing beside the group's controls.
    f.resize(1100, 620);
    QApplication::processEvents();
    ExpectReadable(h, "1100x620");
    f.resize(780, 465);
    QApplication::processEvents();
    ASSERT_EQ(f.size(), QSize(780, 465));
    ExpectReadable(h, "780x465");
    Picture(h, "page6_780.png");
}

} // namespace
