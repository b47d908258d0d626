// The XML goods reader: a document read as a stream, every answer; never
// more than the reader's limit of items. The stream and a whole document
// agree on whether the text parses, on the frame's verdict and on every
// element's attributes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exchange/ReportDocument.h"
#include "goods_run.h"
#include "platform/XmlDocument.h"
#include "platform/XmlStream.h"

namespace {

// An element and its own attributes (no namespace declarations) as one line.
std::string ElementLine(std::string_view name,
                        const std::vector<std::pair<std::string, std::string>>& attributes) {
    std::string line(name);
    for (const auto& [n, v] : attributes)
        if (n != "xmlns" && n.rfind("xmlns:", 0) != 0) line += "\x1F" + n + "=" + v;
    return line;
}

void WholeElements(const platform::XmlNode& node, std::vector<std::string>& lines) {
    if (node.Kind() == platform::XmlNodeKind::Element)
        lines.push_back(ElementLine(node.Name(), node.Attributes()));
    for (platform::XmlNode child = node.FirstChild(); child; child = child.NextSibling())
        WholeElements(child, lines);
}

// The frame's facts as the stream gathers them, to compare with the whole document's, and every
// element with its attributes.
struct Shape : platform::XmlStreamHandler {
    void StartElement(std::size_t depth, std::string_view name,
                      const platform::XmlStreamAttributes& a) override {
        Node(depth, name, true);
        std::vector<std::pair<std::string, std::string>> attributes;
        for (std::size_t i = 0; i < a.Count(); ++i) attributes.emplace_back(a.Name(i), a.Value(i));
        elements.push_back(ElementLine(name, attributes));
    }
    void Leaf(std::size_t depth, platform::XmlNodeKind, std::string_view name) override {
        Node(depth, name, false);
    }
    void Node(std::size_t depth, std::string_view name, bool element) {
        if (depth == 0 && element) shape.rootName = name;
        if (depth == 1) {
            const std::size_t index = shape.rootChildren++;
            if (index == 0) shape.firstName = name;
            if (index == 2) shape.thirdName = name;
            open = element ? index : 99;
        }
        if (depth == 2 && open == 0) shape.firstHasChildren = true;
        if (depth == 2 && open == 2) ++dataChildren;
    }
    exchange::ReportShape shape;
    std::vector<std::string> elements;
    std::size_t open = 99;
    std::size_t dataChildren = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzzgoods::Run r(data[0]);
    exchange::ReadGoodsXml(r.run, text);
    r.Check();
    if (r.goods.size() > exchange::XmlGoodsLimit) __builtin_trap();

    platform::XmlDocument document;
    const bool parsed = document.LoadXml(text);
    Shape streamed;
    const platform::XmlStreamResult result = platform::StreamXmlText(text, streamed);
    if (parsed != result.Ok()) __builtin_trap();
    if (!parsed) return 0;
    // Tags of many attributes reach the stream in another way than the whole document: they must agree.
    std::vector<std::string> whole;
    WholeElements(document.Node(), whole);
    if (whole != streamed.elements) __builtin_trap();
    exchange::ReportFrame frame = exchange::CheckReportFrame(document, std::nullopt);
    streamed.shape.thirdHasChildren = streamed.dataChildren > 0;
    if (frame.message != exchange::CheckReportShape(streamed.shape, std::nullopt)) __builtin_trap();
    if (frame.ok && frame.data.ChildCount() != streamed.dataChildren) __builtin_trap();
    return 0;
}
