#include "exchange/CsvOptions.h"

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

std::string CleanNumberText(std::string_view text, const platform::RegionalSettings& rs) {
    if (!text.empty() && text.back() == rs.decimalSeparator) text.remove_suffix(1);
    std::string out;
    for (char c : text)
        if ((c >= '0' && c <= '9') || c == rs.decimalSeparator) out += c;
    return out;
}

} // namespace exchange
