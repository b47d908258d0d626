// The modem call: a script of states that each GetModemState poll advances
// by one step, the last step staying.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum : uint8_t {
    ModemWaiting = 0, // between attempts; wait 0 = given up
    ModemBusy = 6,
    ModemConnected = 8,
    ModemDialling = 9,
    ModemUndefined = 15,
};

struct ModemStep {
    uint8_t state = ModemWaiting;
    uint16_t attempt = 0; // 0: the attempt counter as it stands
    uint16_t maximum = 0; // 0: the configured maximum
    uint16_t wait = 0;
};

class Modem {
public:
    bool SetMaxAttempts(int attempts);
    uint16_t MaxAttempts() const { return maxAttempts_; }
    void SetScript(std::vector<ModemStep> script) { script_ = std::move(script); }
    const std::vector<ModemStep>& Script() const { return script_; }

    void Dial(const std::string& phone);
    void Cancel();
    // The state of this poll; moves the script on.
    uint8_t Poll();
    bool Connected() const { return connected_; }
    bool Active() const { return active_; }
    uint16_t CurrentAttempt() const;
    uint16_t ShownMaximum() const;
    uint16_t RetryWait() const { return current_.wait; }
    const std::string& Phone() const { return phone_; }

private:
    std::vector<ModemStep> DefaultScript() const;

    std::vector<ModemStep> script_; // empty: the default
    std::vector<ModemStep> running_;
    std::size_t next_ = 0;
    ModemStep current_{};
    uint16_t maxAttempts_ = 3;
    bool active_ = false;
    bool connected_ = false;
    std::string phone_;
};

} // namespace sim
