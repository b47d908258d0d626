// The fast keys dialog: the register's eight fast keys, each a sequence of
// register keys (or a goods code typed with the digit keys) composed on the
// shared keypad, read from and written to the register.
#pragma once

#include <QDialog>
#include <array>

#include "console/ConsoleState.h"
#include "console/KeySequence.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace console {

class Keypad;

inline constexpr int FastKeyCount = 8;

class TForm9 : public QDialog {
public:
    explicit TForm9(ConsoleState& state, QWidget* parent = nullptr);

    // One handler for the 28 key buttons (Button0Click..Button28Click).
    void KeyClick(const KeyDef& key);
    void BitBtn1Click();
    void BitBtnReadFastCodeClick();
    void BitBtnReadAllFastCodesClick();
    void BitBtnWriteFastCodeClick();
    void Button21Click();

    QComboBox* CBFastKey = nullptr;
    QLineEdit* FastCode = nullptr;
    Keypad* Keys = nullptr;
    QPushButton* BitBtnReadFastCode = nullptr;
    QPushButton* BitBtnReadAllFastCodes = nullptr;
    QPushButton* BitBtnWriteFastCode = nullptr;
    QPushButton* Button21 = nullptr;

    // The stored sequence and labels of fast key k (0..7).
    const KeySequence& Stored(int k) const { return stored[static_cast<std::size_t>(k)]; }

private:
    int Selected() const;
    // Reads fast key k from the register into its store; false after
    // showing the library's text.
    bool ReadKey(int k);

    ConsoleState& state;
    std::array<KeySequence, FastKeyCount> stored;
};

} // namespace console
