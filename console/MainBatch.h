// The main window's side of the batch loops: a progress bar with its label,
// and the window with the starting button that turns into the stop button.
#pragma once

#include "console/BatchLoop.h"

class QAction;
class QLabel;
class TQProgressBar;

namespace console {

class ActionButton;
class TForm1;

class BarDisplay final : public ProgressDisplay {
public:
    BarDisplay(TQProgressBar& bar, QLabel& label) : bar(bar), label(label) {}
    int32_t Maximum() const override;
    void SetMaximum(int32_t value) override;
    int32_t Position() const override;
    void SetPosition(int32_t value) override;
    std::string Label() const override;
    void SetLabel(const std::string& text) override;

private:
    TQProgressBar& bar;
    QLabel& label;
};

class MainBatchWindow final : public BatchWindow {
public:
    // Without a starting button only the register controls are locked. The
    // starting button becomes `stop` (ActionGoodsStop when none is given).
    MainBatchWindow(TForm1& form, ActionButton* start, QAction* stop = nullptr)
        : form(form), start(start), stop(stop) {}
    void Repaint() override;
    void ShowPage(int index) override;
    void Lock() override;
    void Unlock() override;

private:
    TForm1& form;
    ActionButton* start;
    QAction* stop;
    QAction* own = nullptr;
};

} // namespace console
