#include "exchange/GroupCsvLine.h"

#include <optional>

#include "console/NumberText.h"
#include "device/GroupRecords.h"
#include "exchange/CsvOptions.h"

namespace exchange {

namespace {

std::string Trimmed(std::string_view text) {
    return console::TrimText(std::string(text));
}

// The name field after the number's delimiter; nothing when its quotes are
// not as the options ask.
std::optional<std::string> NameField(std::string field, const console::CsvOptionsRecord& options) {
    if (!options.LRBlanks) field = Trimmed(field);
    bool enclosed = false;
    if (options.Quotes) {
        bool quoteAtAnEnd = !field.empty() && (field.front() == '"' || field.back() == '"');
        // A quote left open would cost the name a character of its own.
        bool paired = field.size() >= 2 && field.find('"') != field.rfind('"');
        if (!quoteAtAnEnd || !paired) return std::nullopt;
        // A name the export enclosed in quotes keeps the delimiters inside them.
        enclosed = field.front() == '"' && field.back() == '"';
        field = field.substr(1, field.size() - 2);
    }
    if (!enclosed) field = field.substr(0, field.find(options.Delimiter));
    if (options.Cp866) field = OemToAnsiText(field);
    if (field.size() > GroupNameSize) field.resize(GroupNameSize);
    return field;
}

} // namespace

GroupLine ParseGroupCsvLine(std::string_view line, const console::CsvOptionsRecord& options) {
    GroupLine result;
    std::string text = options.LRBlanks ? std::string(line) : Trimmed(line);
    if (text.empty()) {
        result.kind = options.IgnoreEmptyLines ? GroupLineKind::Skip : GroupLineKind::FormatError;
        return result;
    }
    std::size_t delimiter = text.find(options.Delimiter);
    std::optional<int32_t> number;
    if (delimiter != std::string::npos) number = console::Int32Of(text.substr(0, delimiter));
    if (!number) {
        result.kind = GroupLineKind::FormatError;
        return result;
    }
    if (*number < 1 || *number > GoodsGroupCount) {
        result.kind = GroupLineKind::RangeError;
        return result;
    }
    std::optional<std::string> name = NameField(text.substr(delimiter + 1), options);
    if (!name) {
        result.kind = GroupLineKind::NameError;
        return result;
    }
    result.kind = GroupLineKind::Group;
    result.number = static_cast<uint8_t>(*number);
    result.name = std::move(*name);
    return result;
}

std::string GroupLineMessage(GroupLineKind kind, std::size_t lineNumber) {
    const std::string at = " (рядок №" + std::to_string(lineNumber) + ")!";
    switch (kind) {
    case GroupLineKind::FormatError:
        return "Помилка формату даних" + at;
    case GroupLineKind::RangeError:
        return "Невірно задано номер товарної групи" + at + "\r\nМожливий діапазон значень: 1...100!";
    case GroupLineKind::NameError:
        return "Невірний формат назви товарної групи" + at;
    default:
        return {};
    }
}

} // namespace exchange
