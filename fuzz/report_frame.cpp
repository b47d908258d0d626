// An XML report document as the imports read it: frame checks, then every
// item and its attributes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exchange/ReportDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::XmlDocument document;
    document.LoadXml(std::string_view(reinterpret_cast<const char*>(data), size));
    for (auto id : {std::optional<std::string_view>{}, std::optional<std::string_view>{"{XMLREP1}"}}) {
        exchange::ReportFrame frame = exchange::CheckReportFrame(document, id);
        if (!frame.ok) continue;
        for (platform::XmlNode item = frame.data.FirstChild(); item; item = item.NextSibling()) {
            if (!exchange::CheckReportItem(item).empty()) break;
            for (const auto& [name, value] : item.Attributes())
                if (name.empty() && !value.empty()) __builtin_trap();
            (void)item.Attribute("Id");
        }
    }
    return 0;
}
