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

// The name field after the number's delimiter: a quoted field taken whole,
// or, without a quote in front, the text up to a further delimiter. Nothing
// when QUOTES asks for quotes it lacks, its quotes are not right, it holds a
// NUL byte, which would cut it short in the register, or a character the
// register's code page lacks.
std::optional<std::string> NameField(std::string_view rest, const console::CsvOptionsRecord& options) {
    std::string_view unquoted = rest;
    std::optional<CsvField> quoted = NextCsvField(rest, options.Delimiter, options.LRBlanks);
    if (!quoted || (options.Quotes && !quoted->quoted)) return std::nullopt;
    std::string field;
    if (quoted->quoted) {
        field = std::move(quoted->text);
    } else {
        field = options.LRBlanks ? std::string(unquoted) : Trimmed(unquoted);
        field = field.substr(0, field.find(options.Delimiter));
    }
    if (field.find('\0') != std::string::npos) return std::nullopt;
    if (field.size() > GroupNameSize) field.resize(GroupNameSize);
    if (!options.Cp866) return field;
    return OemNameToAnsi(field);
}

} // namespace

GroupLine ParseGroupCsvLine(std::string_view line, const console::CsvOptionsRecord& options) {
    GroupLine result;
    std::string text = options.LRBlanks ? std::string(line) : Trimmed(line);
    if (text.empty()) {
        result.kind = options.IgnoreEmptyLines ? GroupLineKind::Skip : GroupLineKind::FormatError;
        return result;
    }
    // The number, blanks around it never counted; a quoted one is taken whole.
    std::string_view rest = text;
    std::optional<CsvField> numberField = NextCsvField(rest, options.Delimiter, false);
    std::optional<int32_t> number;
    if (numberField && numberField->delimited) number = console::Int32Of(Trimmed(numberField->text));
    if (!number) {
        result.kind = GroupLineKind::FormatError;
        return result;
    }
    if (*number < 1 || *number > GoodsGroupCount) {
        result.kind = GroupLineKind::RangeError;
        return result;
    }
    std::optional<std::string> name = NameField(rest, options);
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
