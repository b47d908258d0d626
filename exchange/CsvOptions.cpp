#include "exchange/CsvOptions.h"

#include <algorithm>

#include "platform/CodePages.h"

namespace exchange {

namespace {
constexpr char kDelimiters[DelimiterItemCount] = {';', ',', '\t'};
constexpr const char* kDelimiterKeys[DelimiterItemCount] = {";", ",", "TAB"};
} // namespace

int DelimiterItem(char delimiter) {
    for (int i = 0; i < DelimiterItemCount; ++i)
        if (kDelimiters[i] == delimiter) return i;
    return -1;
}

char DelimiterOfItem(int item) {
    return item >= 0 && item < DelimiterItemCount ? kDelimiters[item] : ';';
}

const char* DelimiterKeyText(int item) {
    return item >= 0 && item < DelimiterItemCount ? kDelimiterKeys[item] : "";
}

void WriteCsvOptions(platform::IniFile& ini, int delimiterItem, const console::CsvOptionsRecord& options) {
    if (delimiterItem >= 0 && delimiterItem < DelimiterItemCount)
        ini.WriteString(CsvSection, "DELIM", DelimiterKeyText(delimiterItem));
    ini.WriteBool(CsvSection, "CP866", options.Cp866);
    ini.WriteBool(CsvSection, "QUOTES", options.Quotes);
    ini.WriteBool(CsvSection, "LRBlanks", options.LRBlanks);
    ini.WriteBool(CsvSection, "IgnoreEmptyLines", options.IgnoreEmptyLines);
}

std::string OemToAnsiText(std::string_view text) {
    return platform::OemToAnsi(text);
}

std::string AnsiToOemText(std::string_view text) {
    return platform::AnsiToOem(text);
}

std::vector<std::string_view> SplitTextLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

namespace {

bool IsBlank(char c, char delimiter) {
    return static_cast<unsigned char>(c) <= 32 && c != delimiter;
}

// A quoted field at the front of `rest` (see NextCsvField), telling also
// whether a delimiter followed its closing quote.
std::optional<std::string> QuotedField(std::string_view& rest, char delimiter, bool keepBlanks,
                                       bool& delimited) {
    std::string_view s = rest;
    if (!keepBlanks)
        while (!s.empty() && IsBlank(s.front(), delimiter)) s.remove_prefix(1);
    if (s.empty() || s.front() != '"') return std::nullopt;
    std::string text;
    for (std::size_t i = 1;;) {
        const std::size_t quote = s.find('"', i);
        if (quote == std::string_view::npos) return std::nullopt; // never closed
        text.append(s.substr(i, quote - i));
        if (quote + 1 < s.size() && s[quote + 1] == '"') {
            text += '"';
            i = quote + 2;
            continue;
        }
        std::size_t after = quote + 1;
        if (!keepBlanks)
            while (after < s.size() && IsBlank(s[after], delimiter)) ++after;
        if (after < s.size() && s[after] != delimiter) return std::nullopt;
        delimited = after < s.size();
        rest = delimited ? s.substr(after + 1) : std::string_view();
        return text;
    }
}

} // namespace

std::optional<CsvField> NextCsvField(std::string_view& rest, char delimiter, bool keepBlanks) {
    std::string_view s = rest;
    if (!keepBlanks)
        while (!s.empty() && IsBlank(s.front(), delimiter)) s.remove_prefix(1);
    CsvField field;
    if (!s.empty() && s.front() == '"') {
        std::optional<std::string> text = QuotedField(rest, delimiter, keepBlanks, field.delimited);
        if (!text) return std::nullopt;
        field.text = std::move(*text);
        field.quoted = true;
        return field;
    }
    const std::size_t at = rest.find(delimiter);
    field.text = std::string(rest.substr(0, at));
    field.delimited = at != std::string_view::npos;
    rest = field.delimited ? rest.substr(at + 1) : std::string_view();
    return field;
}

std::string CsvFieldText(std::string_view text, char delimiter, bool quote) {
    const char special[] = {delimiter, '"', '\0'};
    // Blanks at its ends, or nothing at all at the end of a line, would be
    // trimmed away by the reader.
    quote = quote || text.empty() || IsBlank(text.front(), delimiter) || IsBlank(text.back(), delimiter) ||
            text.find_first_of(special) != std::string_view::npos;
    if (!quote) return std::string(text);
    std::string field = "\"";
    for (char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    return field + '"';
}

std::optional<std::string> OemNameToAnsi(std::string_view oem) {
    bool lossy = false;
    std::string ansi = platform::Utf16ToAnsi(platform::OemToUtf16(oem), &lossy);
    if (lossy) return std::nullopt;
    return ansi;
}

bool IsUtf8Text(std::string_view bytes, bool oem) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return true;
    const auto beyond = [oem](char c) {
        const auto b = static_cast<unsigned char>(c);
        return oem ? b >= 0xB0 && b <= 0xDF : b >= 0x80;
    };
    if (!platform::IsUtf8(bytes)) return false;
    if (std::any_of(bytes.begin(), bytes.end(), beyond)) return true;
    // Punctuation, currency signs and letter-like symbols (U+2000 to U+217F:
    // quotes, dashes, the euro, "№") take three bytes that 866 reads as "т"
    // followed by a capital А to Е and a letter, which no name holds.
    if (!oem) return false;
    const std::u16string text = platform::Utf8ToUtf16(bytes);
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= 0x2000 && c <= 0x217F; });
}

} // namespace exchange
