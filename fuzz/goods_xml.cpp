// The XML goods reader: a document read as a stream, every answer; never
// more than the reader's limit of items. The stream and a whole document
// agree on whether the text parses and on the frame's verdict.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exchange/ReportDocument.h"
#include "goods_run.h"
#include "platform/XmlDocument.h"
#include "platform/XmlStream.h"

namespace {

// The frame's facts as the stream gathers them, to compare with the whole document's.
struct Shape : platform::XmlStreamHandler {
    void StartElement(std::size_t depth, std::string_view name,
                      const platform::XmlStreamAttributes& a) override {
        Node(depth, name, true);
        for (std::size_t i = 0; i < a.Count(); ++i) (void)a.Value(i);
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
    exchange::ReportFrame frame = exchange::CheckReportFrame(document, std::nullopt);
    streamed.shape.thirdHasChildren = streamed.dataChildren > 0;
    if (frame.message != exchange::CheckReportShape(streamed.shape, std::nullopt)) __builtin_trap();
    if (frame.ok && frame.data.ChildCount() != streamed.dataChildren) __builtin_trap();
    return 0;
}
