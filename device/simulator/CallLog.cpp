#include "device/simulator/CallLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "device/simulator/SimText.h"

namespace sim {

namespace {

constexpr std::size_t MaxLoggedText = 1024;

void AppendHex(std::string& line, uint8_t byte) {
    static const char digits[] = "0123456789abcdef";
    line += digits[byte >> 4];
    line += digits[byte & 15];
}

} // namespace

void AppendArg(std::string& line, const char* text) {
    if (text == nullptr) {
        line += "null";
        return;
    }
    line += '"';
    for (char c : BoundedText(text, MaxLoggedText)) {
        const auto byte = static_cast<uint8_t>(c);
        if (c == '"' || c == '\\') {
            line += '\\';
            line += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            line += "\\x";
            AppendHex(line, byte);
        } else {
            line += c;
        }
    }
    line += '"';
}

void AppendArg(std::string& line, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", value);
    line += text;
}

void AppendArg(std::string& line, const Q710GoodsProgData& g) {
    line += '{';
    AppendArg(line, g.price);
    for (int v : {int(g.group), int(g.tax), int(g.weighed), int(g.presenceControl), int(g.saleBlocking),
                  int(g.payoutOperation), int(g.quantity), int(g.plu)}) {
        line += ", ";
        AppendArg(line, v);
    }
    line += ", ";
    AppendArg(line, g.barcode);
    line += ", ";
    AppendArg(line, g.name);
    line += '}';
}

void AppendArg(std::string& line, const Q710DiscountGroupRecord& record) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i) AppendHex(line, bytes[i]);
}

void CallLog::Append(const std::string& line) const {
    if (path_.empty()) return;
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const ssize_t written = write(fd, line.data(), line.size());
    (void)written;
    close(fd);
}

} // namespace sim
