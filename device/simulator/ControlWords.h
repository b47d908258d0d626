// Words of the control commands (see README): a quoted word carries a
// leading 0x01 byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A decimal or 0x hex number; nothing for a quoted word or any other text.
std::optional<long long> Number(const std::string& word);
// The number of words[index] when there is one within low..high.
std::optional<long long> NumberAt(const std::vector<std::string>& words, std::size_t index, long long low,
                                  long long high);
// The word without its quoted-word mark.
std::string Plain(const std::string& word);
// A register time: seconds since 01.01.2001, or YYYY-MM-DDTHH:MM[:SS].
std::optional<uint32_t> ControlTime(const std::string& word);
// A decimal with up to `decimals` places as a count of its units ("12.5"
// with 2 is 1250); no sign, at most 32 bits.
std::optional<int32_t> ControlScaled(const std::string& word, int decimals);

} // namespace sim
