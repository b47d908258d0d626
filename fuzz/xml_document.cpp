// Parses arbitrary bytes as an XML document, walks what was read, and checks that whatever the service
// writes (the read document, or the bytes as attribute and text values) parses again.
#include "platform/XmlDocument.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using platform::XmlDocument;
using platform::XmlNode;

namespace {

std::size_t Walk(XmlNode node, int depth) {
    std::size_t seen = node.Name().size() + node.Text().size() + node.Attributes().size();
    if (depth > 300) return seen;
    for (XmlNode c = node.FirstChild(); c; c = c.NextSibling()) seen += Walk(c, depth + 1);
    (void)node.Attribute("Name");
    (void)node.SelectSingleNode("Item");
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    XmlDocument doc;
    if (doc.LoadXml(bytes)) {
        Walk(doc.Node(), 0);
        std::string saved = doc.SaveToString();
        XmlDocument again;
        if (!again.LoadXml(saved)) std::abort();
    } else if (doc.ParseError().empty()) {
        std::abort();
    }

    XmlDocument built;
    if (!built.LoadXml("<REPORT/>")) std::abort();
    XmlNode item = built.DocumentElement().AppendChild(built.CreateElement("Item"));
    item.SetAttribute("Name", bytes);
    item.AppendChild(built.CreateTextNode(bytes));
    built.Node().AppendChild(built.CreateProcessingInstruction("note", bytes));
    XmlDocument reread;
    if (!reread.LoadXml(built.SaveToString())) std::abort();
    return 0;
}
