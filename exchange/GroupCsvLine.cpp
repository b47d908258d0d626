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
// not as the options ask or it holds a NUL byte, which would cut it short in
// the register. Anything from a further delimiter on is dropped.
std::optional<std::string> NameField(std::string_view rest, const console::CsvOptionsRecord& options) {
    std::string field;
    if (options.Quotes) {
        std::optional<std::string> quoted = QuotedField(rest, options.Delimiter, options.LRBlanks);
        if (!quoted) return std::nullopt;
        field = std::move(*quoted);
    } else {
        field = options.LRBlanks ? std::string(rest) : Trimmed(rest);
        field = field.substr(0, field.find(options.Delimiter));
    }
    if (field.find('\0') != std::string::npos) return std::nullopt;
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
    std::optional<std::string> name = NameField(std::string_view(text).substr(delimiter + 1), options);
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
