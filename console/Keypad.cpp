#include "console/Keypad.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>

#include "console/MessageBoxes.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::MakeChild;
using platform::UiText;

// Places 2..6 of the five rows; the first place of the first row holds the
// picture, its last the clear button.
constexpr const char* kLayout[5][6] = {
    {nullptr, "Button12", "Button13", "Button15", "Button16", nullptr},
    {"Button28", "Button7", "Button8", "Button9", "Button17", "Button22"},
    {"Button14", "Button4", "Button5", "Button6", "Button18", "Button23"},
    {"Button26", "Button1", "Button2", "Button3", "Button19", "Button24"},
    {"Button27", "Button0", "Button10", "Button11", "Button20", "Button25"},
};

constexpr int kKeySize = 44;

// A small drawing of the register: its body, display and paper.
QPixmap RegisterPicture() {
    QPixmap picture(kKeySize, kKeySize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(12, 3, 20, 14); // paper
    p.setBrush(QColor(90, 96, 110));
    p.drawRoundedRect(3, 14, 38, 27, 4, 4); // body
    p.setBrush(QColor(120, 200, 120));
    p.drawRect(8, 18, 28, 7); // display
    p.setBrush(QColor(220, 220, 220));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 4; ++col) p.drawRect(8 + col * 7, 28 + row * 6, 5, 4);
    return picture;
}

} // namespace

Keypad::Keypad(QWidget* parent) : QWidget(parent) {
    setObjectName("Keypad");
    auto* grid = MakeChild<QGridLayout>(this);
    grid->setSpacing(3);
    Picture = MakeChild<QLabel>(this);
    Picture->setObjectName("Image1");
    Picture->setPixmap(RegisterPicture());
    Picture->setAlignment(Qt::AlignCenter);
    grid->addWidget(Picture, 0, 0);
    BitBtn1 = MakeChild<QPushButton>(this);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_LineEditClearButton));
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setToolTip(UiText("Стерти послідовність"));
    BitBtn1->setFixedSize(kKeySize, kKeySize);
    BitBtn1->setAutoDefault(false);
    grid->addWidget(BitBtn1, 0, 5);
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        if (OnClear) OnClear();
    });
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 6; ++col) {
            const KeyDef* key = kLayout[row][col] ? KeyOfButton(kLayout[row][col]) : nullptr;
            if (key == nullptr) continue;
            auto* button = MakeChild<QPushButton>(UiText(key->caption), this);
            button->setObjectName(key->button);
            button->setFixedSize(kKeySize, kKeySize);
            button->setFocusPolicy(Qt::NoFocus);
            button->setAutoDefault(false); // Enter never presses a key
            grid->addWidget(button, row, col);
            connect(button, &QPushButton::clicked, this, [this, key] {
                if (OnKey) OnKey(*key);
            });
        }
    }
}

QLineEdit* MakeSequenceDisplay(QWidget* parent) {
    auto* display = MakeChild<QLineEdit>(parent);
    display->setObjectName("FastCode");
    display->setReadOnly(true);
    display->setToolTip(UiText("Код товару в базі ЕККА, \r\nякий буде викликатися\r\nза клавішею швидкого "
                               "доступу\r\n(1...9999999999999999999)"));
    return display;
}

void AddKeyToSequence(KeySequence& sequence, const KeyDef& key, QLineEdit* display) {
    if (!sequence.Add(key)) {
        platform::MessageBox(platform::Ansi("Досягнута максимальна довжина послідовності!"), InfoCaption(),
                             InfoBox);
        return;
    }
    display->setText(platform::ToQString(sequence.labels));
}

void ClearSequence(KeySequence& sequence, QLineEdit* display) {
    if (display->text().isEmpty()) return;
    if (platform::MessageBox(platform::Ansi("Стерти набрану послідовність?"), platform::Ansi("Запитання"),
                             QuestionBox) != platform::IdYes)
        return;
    display->clear();
    sequence.Clear();
}

QPushButton* Keypad::KeyButton(const char* name) const {
    return findChild<QPushButton*>(name);
}

} // namespace console
