#include "device/simulator/Scenario.h"

namespace sim {

int Scenario::CountCall(const std::string& name) {
    return ++calls_[name];
}

int Scenario::Calls(const std::string& name) const {
    const auto it = calls_.find(name);
    return it == calls_.end() ? 0 : it->second;
}

void Scenario::FailCall(const std::string& name, int at, bool persistent, Fault fault) {
    callRules_.push_back({name, Calls(name) + (at < 1 ? 1 : at), persistent, std::move(fault), false});
}

std::optional<Fault> Scenario::CallFault(const std::string& name, int callNumber) {
    for (CallRule& rule : callRules_) {
        if (rule.spent || rule.name != name) continue;
        if (callNumber == rule.at || (rule.persistent && callNumber > rule.at)) {
            if (!rule.persistent) rule.spent = true;
            return rule.fault;
        }
    }
    return std::nullopt;
}

void Scenario::FailRecord(int index, bool persistent, Fault fault) {
    recordRules_.push_back({index, persistent, std::move(fault), false});
}

std::optional<Fault> Scenario::RecordFault(int index) {
    for (OnceRule& rule : recordRules_) {
        if (rule.spent || rule.index != index) continue;
        if (!rule.persistent) rule.spent = true;
        return rule.fault;
    }
    return std::nullopt;
}

void Scenario::FailBatchStart(bool persistent, Fault fault) {
    batchStart_ = OnceRule{0, persistent, std::move(fault), false};
}

std::optional<Fault> Scenario::BatchStartFault() {
    if (!batchStart_) return std::nullopt;
    Fault fault = batchStart_->fault;
    if (!batchStart_->persistent) batchStart_.reset();
    return fault;
}

std::optional<int> Scenario::CountOverride(int selector) const {
    const auto it = counts_.find(selector);
    if (it == counts_.end()) return std::nullopt;
    return it->second;
}

void Scenario::NullError(const std::string& name, bool persistent) {
    nullErrors_[name] = persistent;
}

bool Scenario::TakeNullError(const std::string& name) {
    const auto it = nullErrors_.find(name);
    if (it == nullErrors_.end()) return false;
    if (!it->second) nullErrors_.erase(it);
    return true;
}

std::string Scenario::Describe() const {
    int active = 0;
    for (const CallRule& rule : callRules_) active += rule.spent ? 0 : 1;
    for (const OnceRule& rule : recordRules_) active += rule.spent ? 0 : 1;
    std::string text = "fault-rules=" + std::to_string(active) + "\n";
    text += "batch-start-rule=" + std::string(batchStart_ ? "1" : "0") + "\n";
    if (earlyEnd_)
        text +=
            "end-batch=" + std::to_string(earlyEnd_->first) + " " + std::to_string(earlyEnd_->second) + "\n";
    for (const auto& [selector, count] : counts_)
        text += "count " + std::to_string(selector) + "=" + std::to_string(count) + "\n";
    if (recordSize_) text += "record-size=" + std::to_string(*recordSize_) + "\n";
    text += "unterminated=" + std::string(unterminated_ ? "1" : "0") + "\n";
    return text;
}

} // namespace sim
