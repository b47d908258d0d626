// The key sequence dialog: a sequence of register keys composed on the
// on-screen keypad and sent to the register for immediate execution. The
// sequence stays while the program runs, until the user clears it.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"
#include "console/KeySequence.h"

class QLineEdit;
class QPushButton;

namespace console {

class Keypad;

class TForm10 : public QDialog {
public:
    explicit TForm10(ConsoleState& state, QWidget* parent = nullptr);

    // One handler for the 28 key buttons (Button0Click..Button28Click).
    void KeyClick(const KeyDef& key);
    void BitBtn1Click();
    void BitBtnWriteFastCodeClick();
    void Button21Click();

    QLineEdit* FastCode = nullptr;
    Keypad* Keys = nullptr;
    QPushButton* BitBtnWriteFastCode = nullptr;
    QPushButton* Button21 = nullptr;

    const KeySequence& Sequence() const { return sequence; }

private:
    ConsoleState& state;
    KeySequence sequence;
};

} // namespace console
