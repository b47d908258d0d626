// The CSV settings: delimiter, OEM 866 text, quotes, blanks, empty lines;
// confirmed, they are kept in section CSV of the settings file.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace exchange {

class TForm8 : public QDialog {
public:
    explicit TForm8(console::ConsoleState& state, QWidget* parent = nullptr);
    ~TForm8() override;

    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr; // CP866
    QCheckBox* CheckBox2 = nullptr; // quotes
    QCheckBox* CheckBox3 = nullptr; // keep blanks
    QCheckBox* CheckBox4 = nullptr; // ignore empty lines
    QPushButton* Button1 = nullptr; // "Зберегти"
    QPushButton* Button2 = nullptr; // "Відміна"

    void FormShow();
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    console::ConsoleState& state;
};

} // namespace exchange
