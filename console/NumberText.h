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

} // namespace console
