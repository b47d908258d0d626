// The options of the daily report by a range of codes: the first and last
// PLU codes and barcodes. Hands back DialogAccepted and the four texts.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"

class QLineEdit;
class QPushButton;

namespace console {

class TForm11 : public QDialog {
public:
    explicit TForm11(ConsoleState& state, QWidget* parent = nullptr);

    // Shows the dialog modally.
    int Execute();

    // Field checks: false when the text was refused.
    bool FirstBarcodeExit();
    bool LastBarcodeExit();
    void Button1Click();
    void Button21Click();

    QLineEdit* FirstPLU = nullptr;
    QLineEdit* LastPLU = nullptr;
    QLineEdit* FirstBarcode = nullptr;
    QLineEdit* LastBarcode = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button21 = nullptr;

private:
    bool CheckBarcode(QLineEdit* edit, const char* message);

    ConsoleState& state;
};

} // namespace console
