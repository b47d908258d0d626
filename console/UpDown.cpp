#include "console/UpDown.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/Ui.h"

namespace console {

UpDown::UpDown(QLineEdit* associate, int min, int max, QWidget* parent)
    : QWidget(parent), associate(associate), min(min), max(max), position(min) {
    auto* layout = platform::MakeChild<QVBoxLayout>(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* up = platform::MakeChild<QToolButton>(this);
    auto* down = platform::MakeChild<QToolButton>(this);
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setFixedSize(16, 11);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    connect(up, &QToolButton::clicked, this, [this] {
        Step(1);
        if (OnClick) OnClick();
    });
    connect(down, &QToolButton::clicked, this, [this] {
        Step(-1);
        if (OnClick) OnClick();
    });
}

void UpDown::SetPosition(int value) {
    position = std::clamp(value, min, max);
    associate->setText(QString::number(position));
}

void UpDown::Step(int delta) {
    bool ok = false;
    int current = associate->text().trimmed().toInt(&ok);
    SetPosition((ok ? current : position) + delta);
}

QWidget* EditWithUpDown(QWidget* parent, QLineEdit* edit, UpDown* upDown) {
    auto* pair = platform::MakeChild<QWidget>(parent);
    auto* row = platform::MakeChild<QHBoxLayout>(pair);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(edit);
    row->addWidget(upDown);
    row->addStretch();
    return pair;
}

} // namespace console
