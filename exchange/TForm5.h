// The format choice: XML, XLS, CSV or DBF for the job the main window starts;
// for imports it also asks for the file.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace exchange {

class TForm5 : public QDialog {
public:
    explicit TForm5(console::ConsoleState& state, QWidget* parent = nullptr);
    ~TForm5() override;

    QGroupBox* RadioGroup1 = nullptr;
    QRadioButton* RadioItems[4] = {};
    QPushButton* Button1 = nullptr; // "Вибрати"
    QPushButton* Button2 = nullptr; // "Відмінити"
    QPushButton* Button3 = nullptr; // "Настройка CSV"

    int ItemIndex() const;
    void SetItemIndex(int index);

    void RadioGroup1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // Escape and the close box cancel like Button2.
    void reject() override;

private:
    console::ConsoleState& state;
    QButtonGroup* group = nullptr;
};

} // namespace exchange
