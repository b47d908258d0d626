// The options of the report of goods with critical remains: the threshold
// and the goods-group filter. Hands back DialogAccepted and its fields.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

class QLineEdit;
class QPushButton;

namespace console {

class RadioGroup;
class UpDown;

class TForm7 : public QDialog {
public:
    explicit TForm7(ConsoleState& state, QWidget* parent = nullptr);

    // Runs the show handler and shows the dialog modally.
    int Execute();

    void FormShow();
    void RadioGroup2Click();
    // Field checks: false when the text was refused.
    bool Goods_Group2Exit();
    bool CriticalRemainExit();
    void Button1Click();
    void Button2Click();

    RadioGroup* RadioGroup2 = nullptr;
    QLineEdit* Goods_Group2 = nullptr;
    UpDown* UpDown3 = nullptr;
    QLineEdit* CriticalRemain = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

private:
    ConsoleState& state;
};

} // namespace console
