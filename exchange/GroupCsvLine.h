// One line of a goods-group CSV file as the import reads it: the group number
// before the first delimiter, the name after it, by the CSV options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console/ConsoleState.h"

namespace exchange {

enum class GroupLineKind : uint8_t {
    Group,       // number and name taken
    Skip,        // an empty line the options skip
    FormatError, // an empty line refused, no delimiter, or no integer before it
    RangeError,  // a number outside 1..100
    NameError,   // the name's quotes are not as the options ask
};

struct GroupLine {
    GroupLineKind kind = GroupLineKind::Skip;
    uint8_t number = 0;
    std::string name; // ANSI, at most 20 characters
};

GroupLine ParseGroupCsvLine(std::string_view line, const console::CsvOptionsRecord& options);

// The message of a refused line (UTF-8); lines count from 1.
std::string GroupLineMessage(GroupLineKind kind, std::size_t lineNumber);

} // namespace exchange
