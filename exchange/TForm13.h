// The electronic journal dialog: the journal parameters, one whole journal
// read into its XML document, one daily Z report read into its own.
#pragma once

#include <QDialog>
#include <array>

#include "console/ConsoleState.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace console {
class UpDown;
} // namespace console

namespace exchange {

class TForm13 : public QDialog {
public:
    explicit TForm13(console::ConsoleState& state, QWidget* parent = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* Edit1 = nullptr; // journal number
    console::UpDown* UpDown1 = nullptr;
    QPushButton* BitBtn2 = nullptr; // "Зчитати"
    // Values of: journals available, shift, journal in the shift, control
    // tape length, length of the information for the PC.
    std::array<QLabel*, 5> Values{};
    QLineEdit* Edit2 = nullptr; // Z report number
    console::UpDown* UpDown2 = nullptr;
    QPushButton* BitBtn3 = nullptr; // "Зчитати ЕЖ"
    QPushButton* BitBtn4 = nullptr; // "Зчитати звіт"
    QPushButton* BitBtn1 = nullptr; // "Вихід"

    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn1Click();

private:
    console::ConsoleState& state;
};

} // namespace exchange
