// Words of the control commands (see README): a quoted word carries a
// leading 0x01 byte.
#pragma once

#include <optional>
#include <string>

namespace sim {

// A decimal or 0x hex number; nothing for a quoted word or any other text.
std::optional<long long> Number(const std::string& word);
// The word without its quoted-word mark.
std::string Plain(const std::string& word);

} // namespace sim
