#include "console/BatchLoop.h"

#include <algorithm>

#include "console/Guarded.h"
#include "console/MessageBoxes.h"
#include "console/TQProgressBar.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::Ansi;

bool IsEndOfData(uint8_t status) {
    return status == Q710_NOT_FOUND || status == Q710_END_OF_DATA;
}

// Retry or Cancel after a failed record: the library's text and the prompt.
bool AskRetry(const char* err) {
    std::string text = device::DeviceText(err) + "\r\n" + Ansi("ВИБЕРІТЬ ДІЮ!");
    return platform::MessageBox(text, ErrorCaption(), RetryBox) == platform::IdRetry;
}

bool AskStop(const std::string& question, const std::string& caption) {
    return platform::MessageBox(question, caption, QuestionBox) == platform::IdYes;
}

// The application title while a loop runs, and its saved text.
class TitleGuard {
public:
    TitleGuard() : saved(platform::ApplicationTitle()) {}
    void Show(const std::string& prefix, const ProgressDisplay& display) const {
        platform::SetApplicationTitle(prefix + display.Label());
    }
    void Restore() const { platform::SetApplicationTitle(saved); }

private:
    std::string saved;
};

void Advance(ProgressDisplay& display) {
    display.SetPosition(display.Position() + 1);
    display.SetLabel(PercentLabel(display.Position(), display.Maximum()));
}

// The part of a reading loop that may end early; the closing steps follow it.
BatchEnd ReadRecords(ConsoleState& state, BatchWindow& window, ProgressDisplay& display, BatchTarget& target,
                     const ReadingMember& member, const TitleGuard& title) {
    const device::DeviceApi& api = state.Api();
    auto showEnd = [&] {
        display.SetLabel("100 %");
        title.Show(member.titlePrefix, display);
        display.SetPosition(display.Maximum());
        window.Repaint();
    };

    if (member.prepare && !member.prepare()) return BatchEnd::Failed;
    const char* err = nullptr;
    if (member.countSelector) {
        uint16_t count = 0;
        if (api.GetQuantityRecordsOfGoods(*member.countSelector, &count, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            return BatchEnd::Failed;
        }
        display.SetMaximum(count);
    }

    uint8_t status = target.ReadFirst(&err);
    if (status != Q710_OK) {
        showEnd();
        if (status == Q710_NOT_FOUND && !member.fixedCount) {
            ShowInfoText(member.nothingFoundText);
            return BatchEnd::NothingFound;
        }
        ShowErrorText(device::DeviceText(err));
        return BatchEnd::Failed;
    }
    display.SetPosition(display.Position() + 1);
    target.CompleteFirst();

    std::vector<uint8_t> buffer(static_cast<std::size_t>(target.RawSize()));
    for (;;) {
        if (member.lastNumber != -1 && target.LastNumber() >= member.lastNumber) break;
        if (member.fixedCount && target.Size() >= *member.fixedCount) break;
        // A record shorter than its layout never shows the previous one's bytes.
        std::fill(buffer.begin(), buffer.end(), uint8_t{0});
        status = api.NextCommand(buffer.data(), target.RawSize() - 1, &err);
        if (status != Q710_OK && member.fixedCount) {
            showEnd();
            if (state.Closing == 0)
                ShowErrorText(IsEndOfData(status) ? member.incompleteText : device::DeviceText(err));
            return BatchEnd::Incomplete;
        }
        if (status != Q710_OK && !IsEndOfData(status) && state.Closing == 0) {
            window.Repaint();
            if (AskRetry(err)) continue;
            return BatchEnd::Cancelled;
        }
        if (status != Q710_OK) {
            showEnd();
            if (IsEndOfData(status)) break;
            return BatchEnd::Closed;
        }
        target.Append(buffer);
        Advance(display);
        title.Show(member.titlePrefix, display);
        platform::ProcessMessages();
        // A close confirmed meanwhile ends the operation before the connection goes.
        if (state.Closing != 0) return BatchEnd::Closed;
        if (state.StopRequested.Goods != 0) {
            if (AskStop(member.stopQuestion, member.stopCaption)) return BatchEnd::Stopped;
            state.StopRequested.Goods = 0;
        }
    }

    display.SetPosition(display.Maximum());
    display.SetLabel("100 %");
    title.Show(member.titlePrefix, display);
    window.Repaint();
    state.MakeMetod.OperationKind = member.kind;
    title.Restore();
    bool exported = state.RunExchangeJob && state.RunExchangeJob(state);
    return exported ? BatchEnd::Exported : BatchEnd::NotExported;
}

// The part of a writing loop that may end early; the closing steps follow it.
BatchEnd WriteRecords(ConsoleState& state, BatchWindow& window, ProgressDisplay& display,
                      std::vector<GoodsProg>& records, const WritingMember& member, const TitleGuard& title,
                      std::size_t& written) {
    if (records.empty()) return BatchEnd::Completed;
    display.SetMaximum(static_cast<int32_t>(std::min<std::size_t>(records.size(), INT32_MAX)));
    display.SetPosition(0);
    display.SetLabel("0 %");
    for (std::size_t i = 0; i < records.size();) {
        const char* err = nullptr;
        uint8_t status = member.write(i, records[i], &err);
        if (status == Q710_OK) {
            ++written;
            ++i;
            if (display.Position() < display.Maximum()) {
                Advance(display);
                title.Show(member.recordPrefix, display);
            }
            platform::ProcessMessages();
            if (state.Closing != 0) {
                window.Repaint();
                return BatchEnd::Closed;
            }
            if (state.StopRequested.Goods != 0) {
                bool stop = AskStop(member.stopQuestion, member.stopCaption);
                window.Repaint();
                if (stop) return BatchEnd::Stopped;
                state.StopRequested.Goods = 0;
            }
            continue;
        }
        bool final = std::find(member.finalErrors.begin(), member.finalErrors.end(), status) !=
                     member.finalErrors.end();
        if (final) {
            ShowErrorText(device::DeviceText(err));
            window.Repaint();
            return BatchEnd::Failed;
        }
        if (state.Closing != 0) {
            window.Repaint();
            return BatchEnd::Closed;
        }
        bool retry = AskRetry(err);
        window.Repaint();
        if (!retry) return BatchEnd::Cancelled;
        // Retry sends the same element again.
    }
    display.SetPosition(display.Maximum());
    display.SetLabel("100 %");
    title.Show(member.startPrefix, display);
    window.Repaint();
    ShowInfoText(member.completionMessage);
    return BatchEnd::Completed;
}

// Runs the part of a loop that may end early; an error it raises is shown
// and the loop's closing steps still run.
template <class F> BatchEnd RunGuarded(F&& part) {
    BatchEnd end = BatchEnd::Failed;
    Guarded([&] { end = part(); });
    return end;
}

// Locks the window for a loop and shows the loop's title.
void BeginLoop(ConsoleState& state, BatchWindow& window, const TitleGuard& title, const std::string& prefix,
               const ProgressDisplay& display) {
    window.Lock();
    state.Busy = 1;
    title.Show(prefix, display);
    window.Repaint();
}

} // namespace

std::string PercentLabel(int64_t position, int64_t maximum) {
    return QProgBar::PercentText(position, maximum);
}

BatchOutcome RunReadingLoop(ConsoleState& state, BatchWindow& window, ProgressDisplay& display,
                            BatchTarget& target, const ReadingMember& member) {
    display.SetLabel("0 %");
    window.ShowPage(ReportsPage);
    TitleGuard title;
    BeginLoop(state, window, title, member.titlePrefix, display);

    BatchOutcome outcome;
    outcome.end = RunGuarded([&] { return ReadRecords(state, window, display, target, member, title); });
    // Closing steps, on every path.
    outcome.records = target.Size();
    window.Repaint();
    target.Clear();
    title.Restore();
    window.Unlock();
    state.StopRequested.Goods = 0;
    state.Busy = 0;
    if (member.maximumAtEnd) display.SetMaximum(*member.maximumAtEnd);
    display.SetPosition(0);
    display.SetLabel("0 %");
    window.Repaint();
    // Success is reported only when the export wrote its file.
    if (outcome.end == BatchEnd::Exported) ShowExportDone(state.ExportChanges);
    return outcome;
}

BatchOutcome RunWritingLoop(ConsoleState& state, BatchWindow& window, ProgressDisplay& display,
                            std::vector<GoodsProg>& records, const WritingMember& member) {
    display.SetPosition(0);
    display.SetLabel("0 %");
    window.ShowPage(GoodsPage);
    window.Repaint();
    state.MakeMetod.OperationKind = member.kind;
    bool imported = state.RunExchangeJob && state.RunExchangeJob(state);
    if (!imported) {
        records.clear();
        return {BatchEnd::NotExported, 0};
    }

    window.Repaint();
    TitleGuard title;
    BeginLoop(state, window, title, member.startPrefix, display);

    BatchOutcome outcome;
    outcome.end = RunGuarded(
        [&] { return WriteRecords(state, window, display, records, member, title, outcome.records); });
    records.clear();
    title.Restore();
    window.Unlock();
    state.StopRequested.Goods = 0;
    display.SetPosition(0);
    display.SetLabel("0 %");
    state.Busy = 0;
    window.Repaint();
    return outcome;
}

} // namespace console
