// The electronic-journal options dialog: the three option bits read and
// written, and the journal's free space.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

class QCheckBox;
class QPushButton;

namespace exchange {

class TForm12 : public QDialog {
public:
    explicit TForm12(console::ConsoleState& state, QWidget* parent = nullptr);

    QCheckBox* CheckBox1 = nullptr; // bit 0: form the control tape
    QCheckBox* CheckBox2 = nullptr; // bit 1: form service information
    QCheckBox* CheckBox3 = nullptr; // bit 2: print the control tape
    QPushButton* BitBtn1 = nullptr; // "Прочитати"
    QPushButton* BitBtn2 = nullptr; // "Записати"
    QPushButton* BitBtn4 = nullptr; // "Вільний простір"
    QPushButton* BitBtn3 = nullptr; // "Вихід"

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn4Click();
    void BitBtn3Click();

private:
    console::ConsoleState& state;
};

} // namespace exchange
