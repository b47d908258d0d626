// An XML report document as the imports read it: frame checks, then every
// item and its attributes; read as a stream, as the groups import reads it,
// it gets the whole document's verdict and the same first items.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exchange/ReportDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::XmlDocument document;
    document.LoadXml(text);
    for (auto id : {std::optional<std::string_view>{}, std::optional<std::string_view>{"{XMLREP1}"}}) {
        exchange::ReportFrame frame = exchange::CheckReportFrame(document, id);
        exchange::ReportStream stream({"Id", "Name"}, 3, id.has_value());
        // Both refuse the same texts; the parser may give a malformed one another reason in pieces.
        const std::string message = stream.ReadText(text, id);
        if (message.empty() != frame.message.empty()) __builtin_trap();
        if (document.ParseError().empty() && message != frame.message) __builtin_trap();
        if (!frame.ok) continue;
        std::size_t index = 0;
        for (platform::XmlNode child = frame.data.FirstChild(); child && index < 3;
             child = child.NextSibling(), ++index) {
            if (index >= stream.Items().size()) __builtin_trap();
            const exchange::ReportItem& item = stream.Items()[index];
            if (item.name != child.Name() || item.kind != child.Kind()) __builtin_trap();
            if (item.kind == platform::XmlNodeKind::Element &&
                (item.values[0] != child.Attribute("Id") || item.values[1] != child.Attribute("Name")))
                __builtin_trap();
        }
        if (index != stream.Items().size()) __builtin_trap();
        for (platform::XmlNode item = frame.data.FirstChild(); item; item = item.NextSibling()) {
            if (!exchange::CheckReportItem(item).empty()) break;
            for (const auto& [name, value] : item.Attributes())
                if (name.empty() && !value.empty()) __builtin_trap();
            (void)item.Attribute("Id");
        }
    }
    return 0;
}
