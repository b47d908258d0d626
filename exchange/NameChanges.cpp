#include "exchange/NameChanges.h"

#include <algorithm>

#include "platform/CodePages.h"

namespace exchange {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

// Characters XML does not hold, written as blanks (tab and line breaks it holds).
bool IsXmlForbidden(char c) {
    return static_cast<unsigned char>(c) < ' ' && c != '\t' && c != '\n' && c != '\r';
}

} // namespace

ExportNameChanges::ExportNameChanges(Reading reading, const console::CsvOptionsRecord& options)
    : reading(reading), oem(reading == Reading::Csv && options.Cp866) {}

std::string ExportNameChanges::ReadBack(std::string_view name) const {
    std::string text(name);
    switch (reading) {
    case Reading::Csv:
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        return text;
    case Reading::Xml:
    case Reading::XmlTrimmed:
        std::replace_if(text.begin(), text.end(), IsXmlForbidden, ' ');
        return reading == Reading::Xml ? text : Trim(text);
    case Reading::Dbf:
        break;
    }
    return Trim(text);
}

void ExportNameChanges::Note(const ReportLayout& layout, const ReportRow& row) {
    const bool named = std::any_of(layout.columns.begin(), layout.columns.end(),
                                   [](const ReportColumn& c) { return c.kind == ValueKind::Name; });
    if (!named) return;
    bool lossy = false;
    if (oem) platform::Utf16ToOem(platform::AnsiToUtf16(row.name), &lossy);
    if (lossy) letters.Add(row.numbers[0], row.name);
    const std::string back = ReadBack(row.name);
    if (back != row.name) {
        std::string shown = back;
        std::replace_if(shown.begin(), shown.end(), IsBlank, ' ');
        blanks.Add(row.numbers[0], shown);
    }
}

void ExportNameChanges::Changed::Add(int64_t number, std::string_view name) {
    if (count++ < Named)
        first.push_back(platform::Utf8ToAnsi("№") + std::to_string(number) + " " + std::string(name));
}

std::string ExportNameChanges::Changed::Text(const char* head) const {
    std::string text = platform::Utf8ToAnsi(head) + std::to_string(count) +
                       platform::Utf8ToAnsi(count > Named ? ", перші з них:" : ":");
    for (const std::string& name : first) text += "\r\n" + name;
    return text;
}

std::string ExportNameChanges::Text() const {
    std::string text;
    if (letters.count > 0)
        text = letters.Text("Кодова сторінка CP866 не має деяких літер назв, тож у файлі їх замінено схожими "
                            "знаками. Змінено назв: ");
    if (blanks.count > 0) {
        if (!text.empty()) text += "\r\n\r\n";
        text +=
            blanks.Text("Пропуски на початку й у кінці назв, переведення рядків і керівні знаки цей формат "
                        "не зберігає: імпорт прочитає ці назви без них або з пропусками замість них. "
                        "Змінено назв: ");
    }
    return text;
}

} // namespace exchange
