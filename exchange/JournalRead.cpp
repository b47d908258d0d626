#include "exchange/JournalRead.h"

namespace exchange {

JournalRead ReadJournal(const device::DeviceApi& api, int32_t journal, std::size_t limit) {
    JournalRead read;
    std::vector<uint8_t> block(JournalBlockSize);
    const char* err = nullptr;
    const int32_t lastIndex = static_cast<int32_t>(JournalBlockSize) - 1;
    uint8_t status = api.GetJournal(journal, 3, 0, block.data(), lastIndex, &err);
    for (;;) {
        if (status != Q710_OK && status != Q710_END_OF_DATA) {
            read.outcome = JournalRead::Failed;
            read.errorText = device::DeviceText(err);
            read.bytes.clear();
            return read;
        }
        if (read.bytes.size() + block.size() > limit) {
            read.outcome = JournalRead::TooLarge;
            read.bytes.clear();
            return read;
        }
        read.bytes.insert(read.bytes.end(), block.begin(), block.end());
        if (status == Q710_END_OF_DATA) break;
        // A short answer must not repeat the bytes of the block before it.
        std::fill(block.begin(), block.end(), uint8_t{0});
        status = api.NextCommand(block.data(), lastIndex, &err);
    }
    read.outcome = JournalRead::Complete;
    return read;
}

} // namespace exchange
