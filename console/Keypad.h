// The on-screen copy of the register's keypad that the key-sequence and the
// fast-keys dialogs share: a picture, the 28 key buttons and the clear
// button, five rows of six places.
#pragma once

#include <QWidget>
#include <functional>

#include "console/KeySequence.h"

class QLabel;
class QPushButton;

namespace console {

class Keypad : public QWidget {
public:
    explicit Keypad(QWidget* parent = nullptr);

    // A key button was pressed; the clear button was pressed.
    std::function<void(const KeyDef&)> OnKey;
    std::function<void()> OnClear;

    QLabel* Picture = nullptr;
    QPushButton* BitBtn1 = nullptr; // clear
    // The key button of a key table entry's button name.
    QPushButton* KeyButton(const char* name) const;
};

} // namespace console
