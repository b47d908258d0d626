// The job window: shown modally by the main window, it runs the one
// procedure of the chosen format and operation kind half a second after it
// appears, shows its progress, offers cancel and closes when it is done.
#pragma once

#include <QDialog>

#include "console/ConsoleState.h"
#include "exchange/Dispatcher.h"
#include "exchange/JobSide.h"
#include "exchange/JobWorkbook.h"

class QLabel;
class QPushButton;
class QTimer;
class TQProgressBar;

namespace exchange {

class TForm4 : public QDialog, public JobProgress {
public:
    explicit TForm4(console::ConsoleState& state, QWidget* parent = nullptr);
    ~TForm4() override;

    QLabel* Label1 = nullptr;
    TQProgressBar* QProgressBar1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button1 = nullptr; // "Отменить"
    QTimer* Timer1 = nullptr;
    JobWorkbookPtr XLS; // the workbook of the XLS procedures

    void FormShow();
    void Button1Click();
    void Timer1Timer();

    // What the last run of the timer did.
    DispatchResult LastResult() const { return lastResult; }

    void SetMaximum(int32_t maximum) override;
    bool Step() override;

    // Escape and the close box act as the stop button: a running job stops
    // (the window closes itself when it ends); one not started yet never
    // starts.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    console::ConsoleState& state;
    bool jobRunning = false;
    DispatchResult lastResult = DispatchResult::NothingToRun;
};

} // namespace exchange
