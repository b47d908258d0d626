#include "device/simulator/Modem.h"

namespace sim {

bool Modem::SetMaxAttempts(int attempts) {
    if (attempts < 1 || attempts > 10) return false;
    maxAttempts_ = static_cast<uint16_t>(attempts);
    return true;
}

std::vector<ModemStep> Modem::DefaultScript() const {
    return {{ModemDialling, 1, 0, 0}, {ModemConnected, 1, 0, 0}};
}

void Modem::Dial(const std::string& phone) {
    phone_ = phone;
    running_ = script_.empty() ? DefaultScript() : script_;
    next_ = 0;
    current_ = {ModemDialling, 1, 0, 0};
    active_ = true;
    connected_ = false;
}

void Modem::Cancel() {
    running_.clear();
    next_ = 0;
    current_ = {};
    active_ = false;
    connected_ = false;
}

uint8_t Modem::Poll() {
    if (!active_) return ModemWaiting;
    if (next_ < running_.size()) {
        const ModemStep& step = running_[next_++];
        if (step.attempt != 0) current_.attempt = step.attempt;
        current_.state = step.state;
        current_.maximum = step.maximum;
        current_.wait = step.wait;
    }
    connected_ = current_.state == ModemConnected;
    // A wait of 0 between attempts means the call was given up.
    if (current_.state == ModemWaiting && current_.wait == 0) {
        active_ = false;
        connected_ = false;
    }
    return current_.state;
}

uint16_t Modem::CurrentAttempt() const {
    return current_.attempt;
}

uint16_t Modem::ShownMaximum() const {
    return current_.maximum != 0 ? current_.maximum : maxAttempts_;
}

} // namespace sim
