#include "device/simulator/BatchCursor.h"

namespace sim {

void BatchCursor::Open(std::vector<std::vector<uint8_t>> rest, int recordSize, uint8_t endStatus) {
    rest_ = std::move(rest);
    next_ = 0;
    recordSize_ = recordSize;
    endStatus_ = endStatus;
    earlyEnd_ = -1;
    refusals_.clear();
    open_ = true;
}

void BatchCursor::Refuse(int index, uint8_t status, std::string text) {
    refusals_[index] = Refusal{status, std::move(text)};
}

const BatchCursor::Refusal* BatchCursor::NextRefusal() const {
    auto it = refusals_.find(NextIndex());
    return it == refusals_.end() ? nullptr : &it->second;
}

void BatchCursor::EndAfter(int delivered, uint8_t status) {
    earlyEnd_ = delivered;
    earlyStatus_ = status;
}

const std::vector<uint8_t>* BatchCursor::Peek() const {
    if (!open_) return nullptr;
    if (earlyEnd_ >= 0 && NextIndex() >= earlyEnd_) return nullptr;
    return next_ < rest_.size() ? &rest_[next_] : nullptr;
}

uint8_t BatchCursor::EndStatus() const {
    if (earlyEnd_ >= 0 && NextIndex() >= earlyEnd_) return earlyStatus_;
    return endStatus_;
}

} // namespace sim
