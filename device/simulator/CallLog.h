// One line per device call appended to a file: the function's name and its
// input arguments, e.g. HostConnect(4, 19200, 20, 20).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "device/Q710Api.h"

namespace sim {

void AppendArg(std::string& line, const char* text);
void AppendArg(std::string& line, double value);
void AppendArg(std::string& line, const Q710GoodsProgData& goods);
void AppendArg(std::string& line, const Q710DiscountGroupRecord& record);
template <class T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
void AppendArg(std::string& line, T value) {
    if constexpr (std::is_signed_v<T>)
        line += std::to_string(static_cast<long long>(value));
    else
        line += std::to_string(static_cast<unsigned long long>(value));
}

template <class... Args> std::string CallLine(const char* name, const Args&... args) {
    std::string line = name;
    line += '(';
    bool first = true;
    ((line += first ? "" : ", ", first = false, AppendArg(line, args)), ...);
    line += ")\n";
    return line;
}

class CallLog {
public:
    void SetPath(std::string path) { path_ = std::move(path); }
    const std::string& Path() const { return path_; }
    bool Enabled() const { return !path_.empty(); }
    // Appends the line with one write, so lines of several processes never mix.
    void Append(const std::string& line) const;

private:
    std::string path_;
};

} // namespace sim
