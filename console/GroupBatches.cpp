#include "console/GroupBatches.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "console/Guarded.h"
#include "console/MessageBoxes.h"
#include "console/NumberText.h"
#include "platform/ui/AnsiText.h"
#include "platform/ui/Ui.h"

namespace console {
namespace {

using platform::Ansi;

const std::string& DashLine() {
    static const std::string line(62, '-');
    return line;
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Trimmed, empty to "1", digits only, then within 1..max.
FieldCheck CheckBoundedNumber(const std::string& text, int max) {
    FieldCheck check{TrimText(text), false};
    if (check.text.empty()) check.text = "1";
    if (!AllDigits(check.text)) return {"1", true};
    // Two characters fit the edit; a longer text must not overflow.
    int value = check.text.size() > 9 ? max + 1 : std::stoi(check.text);
    if (value < 1) check.text = "1";
    if (value > max) check.text = std::to_string(max);
    return check;
}

bool AskYes(const char* question, const char* caption) {
    return platform::MessageBox(Ansi(question), Ansi(caption), QuestionBox) == platform::IdYes;
}

// The title, progress bar and label of one group batch, and what every end
// of it restores.
class GroupRun {
public:
    GroupRun(ConsoleState& state, GroupsWindow& window, ProgressDisplay& display)
        : state(state), window(window), display(display), savedTitle(platform::ApplicationTitle()) {}

    void ShowTitle(const char* prefix) { platform::SetApplicationTitle(Ansi(prefix) + display.Label()); }
    void RestoreTitle() const { platform::SetApplicationTitle(savedTitle); }
    void Begin(const char* prefix) {
        window.Lock();
        state.Busy = 1;
        ShowTitle(prefix);
    }
    // One record done: the bar, its label, the title, the message loop.
    void Advance(const char* prefix) {
        display.SetPosition(display.Position() + 1);
        display.SetLabel(PercentLabel(display.Position(), display.Maximum()));
        ShowTitle(prefix);
        window.Repaint();
        platform::ProcessMessages();
    }
    void ResetProgress() {
        display.SetPosition(0);
        display.SetLabel("0 %");
    }
    void Memo(const char* utf8) { window.AddMemoLine(Ansi(utf8)); }
    void MemoBlock(std::initializer_list<const char*> lines) {
        for (const char* line : lines) window.AddMemoLine(line == nullptr ? DashLine() : Ansi(line));
    }
    // The stop flag was set meanwhile: Yes stops, No clears the flag. A close
    // confirmed meanwhile stops without a question.
    bool StopAsked(const char* question, const char* caption) {
        if (state.Closing != 0) return true;
        if (state.StopRequested.Groups == 0) return false;
        if (AskYes(question, caption)) return true;
        state.StopRequested.Groups = 0;
        return false;
    }
    // Every end: title, starting button, stop flag, register actions, Busy.
    void End() {
        window.Repaint();
        RestoreTitle();
        window.Unlock();
        state.StopRequested.Groups = 0;
        state.Busy = 0;
    }

    ConsoleState& state;
    GroupsWindow& window;
    ProgressDisplay& display;

private:
    std::string savedTitle;
};

constexpr const char* kDash = nullptr; // a dash line in MemoBlock

// The part of the export that may end early; true when the job was run.
bool ReadNamesForExport(GroupRun& run, std::vector<GoodsGroupRecord>& table, bool& written) {
    ConsoleState& state = run.state;
    const device::DeviceApi& api = state.Api();
    table = EmptyGroupTable();
    for (int i = 1; i <= GoodsGroupCount; ++i) {
        const char* name = nullptr;
        const char* err = nullptr;
        if (api.GetGoodsGroupName(i, &name, &err) != Q710_OK) {
            if (state.Closing != 0) return false;
            run.window.Repaint();
            ShowErrorText(device::DeviceText(err));
            run.MemoBlock({kDash, "Експорт даних завершено з помилкою!", kDash});
            run.ResetProgress();
            return false;
        }
        GoodsGroupRecord& entry = table[static_cast<std::size_t>(i - 1)];
        entry.Number = static_cast<uint8_t>(i);
        entry.Name = BoundedLibraryText(name, GroupNameSize);
        run.window.AddMemoLine(GroupMemoLine(i, entry.Name));
        run.Advance("Q710 Експорт ");
        if (run.StopAsked("Ви дійсно бажаєте зупинити експорт товарних груп?", "Експорт товарних груп")) {
            run.MemoBlock({kDash, "Експорт даних зупинений користувачем!"});
            run.ResetProgress();
            return false;
        }
    }
    state.MakeMetod.OperationKind = 2;
    run.RestoreTitle();
    written = state.RunExchangeJob && state.RunExchangeJob(state);
    run.display.SetPosition(run.display.Maximum());
    // Success is told only when the file was written.
    run.MemoBlock({kDash, written ? "Експорт даних завершено!" : "Експорт даних завершено з помилками!"});
    return true;
}

// Clears every name; false when a failure ended the import.
bool ClearAllNames(GroupRun& run) {
    const device::DeviceApi& api = run.state.Api();
    run.display.SetMaximum(2 * GoodsGroupCount);
    run.MemoBlock({"Триває очищення назв товарних груп", kDash});
    for (int i = 1; i <= GoodsGroupCount; ++i) {
        const char* err = nullptr;
        if (api.SetGoodsGroupName(i, nullptr, &err) != Q710_OK) {
            ShowErrorText(device::DeviceText(err));
            run.MemoBlock({"Очищення завершено з помилкою", "Файл імпорту закрито!", kDash});
            run.ResetProgress();
            return false;
        }
        run.Advance("Q710 Очищення ");
        if (run.state.Closing != 0) return false;
        if (run.StopAsked("Ви дійсно бажаєте зупинити очищення товарних груп?", "Очишення товарних груп")) {
            // Only the clearing stops; the names are still written.
            run.state.StopRequested.Groups = 0;
            break;
        }
    }
    return true;
}

// Writes the used entries; false when a failure ended the import.
bool WriteImportedNames(GroupRun& run, const std::vector<GoodsGroupRecord>& table) {
    const device::DeviceApi& api = run.state.Api();
    run.MemoBlock({"Розпочато запис назв товарних груп:", kDash});
    const std::size_t used = UsedGroupEntries(table);
    for (std::size_t i = 0; i < used; ++i) {
        const GoodsGroupRecord& entry = table[i];
        const char* err = nullptr;
        if (api.SetGoodsGroupName(entry.Number, entry.Name.c_str(), &err) != Q710_OK) {
            run.window.Repaint();
            ShowErrorText(device::DeviceText(err));
            run.MemoBlock(
                {kDash, "Імпорт даних завершено з помилкою!", "Файл імпорту товарних груп закрито!", kDash});
            run.ResetProgress();
            return false;
        }
        run.window.AddMemoLine(GroupMemoLine(entry.Number, entry.Name));
        run.Advance("Q710 Імпорт ");
        if (run.state.Closing != 0) return false;
        if (run.StopAsked("Ви дійсно бажаєте зупинити імпорт товарних груп?", "Імпорт товарних груп")) break;
    }
    return true;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

// Runs a batch part; an error it raises is shown and the part ends.
template <class F> bool RunPart(F&& part) {
    bool ran = false;
    Guarded([&] { ran = part(); });
    return ran;
}

} // namespace

FieldCheck CheckGroupNumber(const std::string& text) {
    std::optional<int32_t> value = Int32Of(text);
    if (!value) return {"1", true};
    return {*value == 0 ? "1" : text, false};
}

FieldCheck CheckPatternNumber(const std::string& text) {
    return CheckBoundedNumber(text, TextPatternCount);
}

FieldCheck CheckCursorPosition(const std::string& text) {
    return CheckBoundedNumber(text, CursorPositionMax);
}

std::string GroupMemoLine(int number, std::string_view name) {
    return Ansi("Група ") + std::to_string(number) + ": " +
           (name.empty() ? Ansi("<немає назви>") : std::string(name));
}

std::string WithCaret(std::string_view text, int position) {
    std::size_t at = static_cast<std::size_t>(std::clamp(position, 1, static_cast<int>(text.size()) + 1) - 1);
    std::string marked(text);
    marked.insert(at, 1, '^');
    return marked;
}

void ReadAllGroupNames(ConsoleState& state, GroupsWindow& window) {
    window.ClearMemo();
    window.Repaint();
    window.Lock();
    state.Busy = 1;
    RunPart([&] {
        const device::DeviceApi& api = state.Api();
        const char* name = nullptr;
        const char* err = nullptr;
        if (api.GetGoodsGroupName(1, &name, &err) != Q710_OK) {
            if (state.Closing == 0) ShowErrorText(device::DeviceText(err));
            return false;
        }
        window.ShowPage(GroupsPage);
        window.FocusMemo();
        window.AddMemoLine(GroupMemoLine(1, BoundedLibraryText(name, GroupNameSize)));
        std::vector<uint8_t> buffer(Q710_RAW_GROUP_NAME_SIZE);
        for (int n = 1; n < GoodsGroupCount; ++n) {
            // A short record must not leave the last one's bytes behind.
            std::fill(buffer.begin(), buffer.end(), uint8_t{0});
            uint8_t status = api.NextCommand(buffer.data(), Q710_RAW_GROUP_NAME_SIZE - 1, &err);
            if (status == Q710_END_OF_DATA) {
                ShowInfoText(Ansi("Зчитування даних завершено!"));
                return false;
            }
            if (status != Q710_OK) {
                if (state.Closing == 0) ShowErrorText(device::DeviceText(err));
                return false;
            }
            window.AddMemoLine(GroupMemoLine(n + 1, UnpackGroupName(buffer)));
            platform::ProcessMessages();
            window.Repaint();
            if (state.Closing != 0) return false;
            if (state.StopRequested.Groups != 0) {
                if (AskYes("Ви дійсно бажаєте зупинити процес зчитування назв товарних груп?",
                           "Товарні групи"))
                    break;
                state.StopRequested.Groups = 0;
            }
        }
        ShowInfoText(Ansi("Зчитування даних закінчено!"));
        return true;
    });
    window.Unlock();
    state.StopRequested.Groups = 0;
    state.Busy = 0;
}

bool ExportGroupNames(ConsoleState& state, GroupsWindow& window, ProgressDisplay& display,
                      std::vector<GoodsGroupRecord>& table) {
    window.ClearMemo();
    display.SetMaximum(GoodsGroupCount);
    display.SetLabel("0 %");
    window.ShowPage(GroupsPage);
    GroupRun run(state, window, display);
    run.Begin("Q710 Експорт ");
    run.MemoBlock({"Розпочато експорт назв товарних груп:", kDash});
    bool written = false;
    bool reachedJob = RunPart([&] { return ReadNamesForExport(run, table, written); });
    run.End();
    table.clear();
    if (reachedJob) {
        if (written) ShowExportDone(state.ExportChanges);
        run.ResetProgress();
    }
    return written;
}

bool ImportGroupNames(ConsoleState& state, GroupsWindow& window, ProgressDisplay& display,
                      std::vector<GoodsGroupRecord>& table, bool clearFirst) {
    window.ClearMemo();
    window.ShowPage(GroupsPage);
    display.SetMaximum(GoodsGroupCount);
    display.SetLabel("0 %");
    window.Repaint();
    state.MakeMetod.OperationKind = 1;
    bool imported = state.RunExchangeJob && state.RunExchangeJob(state);
    if (!imported || state.MakeMetod.Done == 0) {
        table.clear();
        return false;
    }
    GroupRun run(state, window, display);
    run.Begin("Q710 Імпорт ");
    bool complete = RunPart([&] {
        if (state.MakeMetod.FileName.empty()) return false;
        if (!FileExists(state.MakeMetod.FileName)) {
            ShowErrorText(Ansi("Файл не знайдено!"));
            return false;
        }
        if (clearFirst && !ClearAllNames(run)) return false;
        if (!WriteImportedNames(run, table)) return false;
        table.clear();
        display.SetPosition(display.Maximum());
        display.SetLabel("100 %");
        run.ShowTitle("Q710 Імпорт ");
        run.MemoBlock({kDash, "Імпорт даних завершено!", "Файл імпорту закрито!", kDash});
        return true;
    });
    run.End();
    table.clear();
    if (complete) {
        ShowInfoText(Ansi("Імпорт даних завершено!"));
        run.ResetProgress();
    }
    return complete;
}

void ReadAllTextPatterns(ConsoleState& state, BatchWindow& window) {
    window.Lock();
    state.Busy = 1;
    window.Repaint();
    auto finish = [&] {
        window.Unlock();
        state.Busy = 0;
    };
    try {
        const device::DeviceApi& api = state.Api();
        std::string collected = Ansi("Шаблон №1: <пустий>");
        uint8_t cursor = 0;
        const char* text = nullptr;
        const char* err = nullptr;
        if (api.GetTextPattern(1, &cursor, &text, &err) != Q710_OK) {
            finish();
            ShowErrorText(device::DeviceText(err));
            return;
        }
        std::string first = BoundedLibraryText(text, PatternTextSize);
        if (!first.empty()) collected = Ansi("Шаблон №1: ") + WithCaret(first, cursor);
        collected += "\r\n";
        std::vector<uint8_t> buffer(Q710_RAW_TEXT_PATTERN_SIZE);
        for (int n = 1; n < TextPatternCount; ++n) {
            std::fill(buffer.begin(), buffer.end(), uint8_t{0});
            uint8_t status = api.NextCommand(buffer.data(), Q710_RAW_TEXT_PATTERN_SIZE - 1, &err);
            if (status != Q710_OK) {
                finish();
                if (status == Q710_END_OF_DATA)
                    ShowInfoText(Ansi("Зчитування даних завершено!"));
                else
                    ShowErrorText(device::DeviceText(err));
                return;
            }
            platform::ProcessMessages();
            if (state.Closing != 0) {
                finish();
                return;
            }
            TextPatternRecord record;
            (void)UnpackTextPattern(buffer, record);
            collected += Ansi("Шаблон №") + std::to_string(n + 1) + ": ";
            collected += record.text.empty() ? Ansi("<пустий>") : WithCaret(record.text, record.cursor + 1);
            collected += "\r\n";
        }
        finish();
        platform::MessageBox(collected, Ansi("Текстові шаблони"), InfoBox);
    } catch (const std::exception& error) {
        finish();
        ShowError(error);
    }
}

} // namespace console
