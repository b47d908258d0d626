// The CSV options: their section of the settings file and the text helpers
// the CSV and workbook procedures share.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/ConsoleState.h"
#include "exchange/NumberTexts.h"
#include "platform/IniFile.h"
#include "platform/RegionalSettings.h"

namespace exchange {

inline constexpr const char* CsvSection = "CSV";

// Items of the delimiter list: 0 semicolon, 1 comma, 2 tab.
inline constexpr int DelimiterItemCount = 3;
// The item of a delimiter; -1 for any other character.
int DelimiterItem(char delimiter);
// The delimiter of an item (0..2); a semicolon for any other item.
char DelimiterOfItem(int item);
// The settings-file text of an item: ";", "," or "TAB".
const char* DelimiterKeyText(int item);

// Writes the five options to section CSV: "DELIM" (only when the item is
// 0..2), "CP866", "QUOTES", "LRBlanks", "IgnoreEmptyLines" as "1"/"0".
// Throws platform::IniError when the file cannot be written.
void WriteCsvOptions(platform::IniFile& ini, int delimiterItem, const console::CsvOptionsRecord& options);

// OEM 866 text to ANSI 1251 and back, byte for byte.
std::string OemToAnsiText(std::string_view text);
std::string AnsiToOemText(std::string_view text);

// The lines of a text file as a list of lines loads them: each ends at CR LF,
// LF or a lone CR; the last needs no end, and an end after it adds no line.
// The views point into `text`.
std::vector<std::string_view> SplitTextLines(std::string_view text);

// The field at the front of `rest` as both CSV imports read it, whatever the
// QUOTES option says. One that begins with a double quote (after blanks and
// control characters unless `keepBlanks`) is a quoted field: it ends at the
// quote that the delimiter or the end of the line follows (blanks between
// them skipped unless `keepBlanks`); a doubled quote inside it is one quote
// and a delimiter inside it is part of the text. Any other field is the text
// up to the next delimiter, as it stands. `rest` is left after the field's
// delimiter. Nothing when a quoted field is never closed or text follows its
// closing quote.
struct CsvField {
    std::string text;
    bool quoted = false;
    bool delimited = false; // a delimiter followed the field
};
std::optional<CsvField> NextCsvField(std::string_view& rest, char delimiter, bool keepBlanks);

// One field of an exported line: enclosed in double quotes, with every quote
// inside doubled, when `quote` asks for it, it holds the delimiter or a
// quote, or it is empty or has blanks at an end, so that the imports (and
// spreadsheet programs) read it back whole.
std::string CsvFieldText(std::string_view text, char delimiter, bool quote);

// A name read from an OEM 866 file in Windows-1251, the register's code page;
// nothing when one of its characters has no place there (box drawing, ■, √):
// the register would get another name.
std::optional<std::string> OemNameToAnsi(std::string_view oem);

// A file in UTF-8 where the register's 8-bit code pages are expected: it
// begins with the UTF-8 byte-order mark, or it is valid UTF-8 and holds
// characters beyond ASCII (a Windows-1251 text with letters hardly ever is).
// Where the file is OEM 866 (`oem`), letters of it make valid UTF-8 now and
// then ("ЄЧай", "сАБ"): it is UTF-8 only with bytes of its line drawing,
// which no name holds and which every UTF-8 letter of two bytes brings, or
// with punctuation and symbols of three bytes (quotes, dashes, "№").
bool IsUtf8Text(std::string_view bytes, bool oem);
inline constexpr const char* Utf8FileMessage =
    "Файл у кодуванні UTF-8: збережіть його в кодуванні Windows-1251 (або DOS 866) і повторіть імпорт!";

} // namespace exchange
