// The one open batch: the raw records that NextCommand still has to deliver
// after the batch's first call filled record 0.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

class BatchCursor {
public:
    // Opens a batch whose first record went out with the first call.
    void Open(std::vector<std::vector<uint8_t>> rest, int recordSize, uint8_t endStatus);
    void Close() { open_ = false; }
    bool IsOpen() const { return open_; }
    int RecordSize() const { return recordSize_; }
    // Index of the record the next delivery hands out (the first call's
    // record is 0).
    int NextIndex() const { return static_cast<int>(next_) + 1; }
    // Ends the batch early once `delivered` records (the first included)
    // went out, with this status instead of the normal end.
    void EndAfter(int delivered, uint8_t status);
    // Record `index` (counted as NextIndex counts) is not delivered: its turn
    // answers this status and text (Windows-1251) and the batch goes on.
    void Refuse(int index, uint8_t status, std::string text);
    struct Refusal {
        uint8_t status;
        std::string text;
    };
    // The refusal standing in for the next record, if any.
    const Refusal* NextRefusal() const;
    // The next record, or nothing at the end; the end status then.
    const std::vector<uint8_t>* Peek() const;
    uint8_t EndStatus() const;
    void Advance() { ++next_; }

private:
    std::vector<std::vector<uint8_t>> rest_;
    std::size_t next_ = 0;
    int recordSize_ = 0;
    uint8_t endStatus_ = 0xA2;
    int earlyEnd_ = -1;
    uint8_t earlyStatus_ = 0xA2;
    std::map<int, Refusal> refusals_;
    bool open_ = false;
};

} // namespace sim
