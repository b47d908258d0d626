// The options of the report by all goods: the read mode and the goods
// numbers it needs. Hands back DialogAccepted, FirstGoodsNumber and
// LastGoodsNumber, and sets the maximum of the main window's report bar for
// the modes that know their length.
#pragma once

#include <QDialog>
#include <cstdint>

#include "console/ConsoleState.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class TQProgressBar;

namespace console {

class RadioGroup;
class UpDown;

class TForm6 : public QDialog {
public:
    explicit TForm6(ConsoleState& state, QWidget* parent = nullptr);

    // Runs the show handler and shows the dialog modally.
    int Execute();

    void FormShow();
    void RGMode1Click();
    // Field checks: false when the text was refused.
    bool GoodsNumExit();
    bool FirstNumberExit();
    bool LastNumberExit();
    void Button1Click();
    void Button2Click();

    RadioGroup* RGMode1 = nullptr;
    QLineEdit* GoodsNum = nullptr;
    UpDown* UpDown21 = nullptr;
    QGroupBox* RangeBox = nullptr;
    QLineEdit* FirstNumber = nullptr;
    UpDown* UpDown22 = nullptr;
    QLineEdit* LastNumber = nullptr;
    UpDown* UpDown23 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    int32_t FirstGoodsNumber = 0;
    int32_t LastGoodsNumber = 0;        // -1: to the end of the base
    TQProgressBar* ReportBar = nullptr; // the main window's bar of the reading loops

private:
    bool CheckNumber(QLineEdit* edit, const char* message);

    ConsoleState& state;
};

} // namespace console
