// Text helpers of the simulated register: its own messages are written here
// in UTF-8 and handed out in the register's code page, Windows-1251.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// UTF-8 to Windows-1251; characters without a place there become '?'.
std::string ToCp1251(std::string_view utf8);

// Reads at most maxBytes of a caller's text; null reads as empty.
std::string BoundedText(const char* text, std::size_t maxBytes);

} // namespace sim
