// The XML goods reader: a document that passes the report frame's checks,
// every answer; never more than the reader's limit of items.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exchange/ReportDocument.h"
#include "goods_run.h"
#include "platform/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzzgoods::Run r(data[0]);
    platform::XmlDocument document;
    document.LoadXml(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    if (!exchange::CheckReportFrame(document, std::nullopt).ok) return 0;
    exchange::ReadGoodsXml(r.run, document);
    r.Check();
    if (r.goods.size() > exchange::XmlGoodsLimit) __builtin_trap();
    return 0;
}
