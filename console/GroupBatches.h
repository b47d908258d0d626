// The goods-group and text-pattern operations of the main window that need
// no widget: the checks of their number edits, the memo and box texts, and
// the batches (all names into the memo, export, import with clearing, all
// patterns into one box). The window is known through GroupsWindow only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/BatchLoop.h"
#include "console/ConsoleState.h"
#include "console/NumberText.h"
#include "device/GroupRecords.h"

namespace console {

inline constexpr int GroupsPage = 4;
inline constexpr int PatternsPage = 7;

// Group number: not an integer is refused and gives "1", 0 gives "1";
// anything else (101 too) stays as it is.
FieldCheck CheckGroupNumber(const std::string& text);
// Pattern number (1..20) and cursor position (1..28): trimmed, empty gives
// "1", a character other than a digit is refused and gives "1", then
// clamped to the range.
FieldCheck CheckPatternNumber(const std::string& text);
FieldCheck CheckCursorPosition(const std::string& text);
// The messages of the refusals (UTF-8).
inline constexpr const char* GroupNumberMessage =
    "Невірно заданий номер товарної групи!\r\nВ якості номера товарної групи може бути тільки число!";
inline constexpr const char* PatternNumberMessage =
    "Невірно заданий номер текстового шаблону!\r\nВ якості номеру текстового шаблону може бути тільки число!";
inline constexpr const char* CursorPositionMessage =
    "Невірно задана позиція курсора в рядку текстового шаблону!\r\nМожливий діапазон значень: 1..28!";

// "Група 7: name", or "Група 7: <немає назви>" for an empty name (ANSI).
std::string GroupMemoLine(int number, std::string_view name);
// The text with "^" before the character at a 1-based position; a position
// outside the text puts it at the nearer end.
std::string WithCaret(std::string_view text, int position);

// What the group operations need of the main window besides the batch
// window: the log memo of the group page.
class GroupsWindow : public BatchWindow {
public:
    virtual void ClearMemo() = 0;
    virtual void AddMemoLine(const std::string& ansi) = 0;
    virtual void FocusMemo() = 0;
};

// Reads the 100 names into the memo, with the stop question after each.
void ReadAllGroupNames(ConsoleState& state, GroupsWindow& window);

// Reads the 100 names into the table and hands it to the export job (kind
// 2). True when the job wrote its file.
bool ExportGroupNames(ConsoleState& state, GroupsWindow& window, ProgressDisplay& display,
                      std::vector<GoodsGroupRecord>& table);

// Runs the import job (kind 1) into the table, optionally clears every name
// of the register, then writes the imported names. True when every name of
// the table was written (or the user stopped the writing).
bool ImportGroupNames(ConsoleState& state, GroupsWindow& window, ProgressDisplay& display,
                      std::vector<GoodsGroupRecord>& table, bool clearFirst);

// Reads the 20 patterns and shows them in one box, the cursor marked "^".
// The window's Lock shows the waiting caption, Unlock restores it.
void ReadAllTextPatterns(ConsoleState& state, BatchWindow& window);

} // namespace console
