// Integers typed into edits: blanks around them and a sign allowed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace console {

// Blanks and control characters cut from both ends.
std::string TrimText(const std::string& text);
// The integer of a text, or nothing when it is not one of that size.
std::optional<int32_t> Int32Of(const std::string& text);
std::optional<int64_t> Int64Of(const std::string& text);

// The outcome of leaving an edit: the text it gets and whether the field's
// message is shown.
struct FieldCheck {
    std::string text;
    bool refused = false; // show the message
};

} // namespace console
