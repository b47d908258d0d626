// A Z report buffer from the register, as its XML document.
#include <cstddef>
#include <cstdint>
#include <span>

#include "exchange/JournalXml.h"
#include "platform/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text;
    const bool built = exchange::ZReportXmlText(7, std::span<const uint8_t>(data, size), text);
    if (built && size != exchange::ZReportBufferSize) __builtin_trap();
    platform::XmlDocument document;
    if (!document.LoadXml(text)) __builtin_trap();
    return 0;
}
