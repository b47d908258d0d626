// The on-screen copy of the register's keypad that the key-sequence and the
// fast-keys dialogs share: a picture, the 28 key buttons and the clear
// button, five rows of six places.
#pragma once

#include <QWidget>
#include <functional>

#include "console/KeySequence.h"

class QLabel;
class QLineEdit;
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

// What both key dialogs do with a sequence and its read-only display.
QLineEdit* MakeSequenceDisplay(QWidget* parent);
// Adds the key and shows the labels, or says that the sequence is full.
void AddKeyToSequence(KeySequence& sequence, const KeyDef& key, QLineEdit* display);
// Asks, when the display shows something, and then clears both.
void ClearSequence(KeySequence& sequence, QLineEdit* display);

} // namespace console
