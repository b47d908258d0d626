// One whole journal read from the register: 128-byte blocks, the first from
// GetJournal and each next from NextCommand, all appended until the block
// the register marks as the last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"

namespace exchange {

inline constexpr std::size_t JournalBlockSize = 128;
// A journal beyond this is no journal of this register: the read stops.
inline constexpr std::size_t MaxJournalBytes = std::size_t{16} << 20;

struct JournalRead {
    enum Outcome { Complete, Failed, TooLarge } outcome = Failed;
    std::vector<uint8_t> bytes; // every block in order; emptied unless complete
    std::string errorText;      // the library's text of a failure (ANSI)
};

JournalRead ReadJournal(const device::DeviceApi& api, int32_t journal, std::size_t limit = MaxJournalBytes);

} // namespace exchange
