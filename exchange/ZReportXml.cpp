// The daily Z report as the register hands it out (178 bytes: a journal
// document header, FN and PN, rates and the shift's totals) and its XML
// document.
#include "exchange/JournalXml.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"

namespace exchange {

namespace {

constexpr uint16_t kZBodyLength = 165;
constexpr uint8_t kZType = 10;
// The fields after PN take 129 bytes: FN and PN hold 38 characters at most.
constexpr std::size_t kMaxIdCharacters = 38;

uint64_t Le(std::span<const uint8_t> b, std::size_t at, std::size_t width) {
    uint64_t v = 0;
    for (std::size_t i = width; i-- > 0;) v = v << 8 | b[at + i];
    return v;
}

std::string Money(int64_t hundredths) {
    return platform::AnsiToUtf8(platform::FormatKopecks(hundredths));
}

// A text from `at` to its zero inside the buffer; nothing without one.
std::optional<std::string> Text(std::span<const uint8_t> b, std::size_t at) {
    for (std::size_t i = at; i < b.size(); ++i)
        if (b[i] == 0)
            return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                               b.begin() + static_cast<std::ptrdiff_t>(i));
    return std::nullopt;
}

// The totals of one side: 5 sums, 4 VAT sums, 4 TAX sums, the receipts.
void SideAttributes(XmlTextWriter& record, std::span<const uint8_t> b, std::size_t at, const char* side) {
    const std::string prefix = std::string(side) + "TotalSum";
    auto sum = [&](std::size_t offset) { return Money(static_cast<int32_t>(Le(b, offset, 4))); };
    for (int i = 0; i < 5; ++i) record.Attribute(prefix + std::to_string(i + 1), sum(at + 4 * i));
    for (int i = 0; i < 4; ++i)
        record.Attribute(prefix + "VAT" + std::to_string(i + 1), sum(at + 20 + 4 * i));
    for (int i = 0; i < 4; ++i)
        record.Attribute(prefix + "TAX" + std::to_string(i + 1), sum(at + 36 + 4 * i));
    record.Attribute(std::string(side) + "Receipts", std::to_string(Le(b, at + 52, 2)));
}

} // namespace

bool ZReportXmlText(int reportNo, std::span<const uint8_t> b, std::string& text) {
    XmlTextWriter w;
    StartMainDocument(w, "Z_REPORT", {{"SMENA_ID", std::to_string(reportNo & 0xFFFF)}},
                      "Электронный Z-отчёт");
    std::optional<std::string> fn, pn;
    const bool isZ = b.size() == ZReportBufferSize && Le(b, 0, 2) == kZBodyLength && b[2] == kZType &&
                     (fn = Text(b, 9)) && (pn = Text(b, 10 + fn->size())) &&
                     fn->size() + pn->size() <= kMaxIdCharacters;
    if (!isZ) {
        text = w.Finish();
        return false;
    }
    const std::size_t p = 11 + fn->size() + pn->size();
    auto time = [&b](std::size_t at) {
        return platform::AnsiToUtf8(platform::FormatRegisterTime(static_cast<uint32_t>(Le(b, at, 4))));
    };
    w.Start("DocumentHeader");
    w.TextElement("DocumentNumber", std::to_string(Le(b, 3, 2)));
    w.TextElement("DocumentDateTime", time(5));
    w.End();
    w.Start("DocumentData");
    w.Start("DocumentRecord");
    w.Attribute("FN", platform::AnsiToUtf8(*fn));
    w.Attribute("PN", platform::AnsiToUtf8(*pn));
    w.Attribute("VAT_DT", time(p));
    for (int i = 0; i < 4; ++i)
        w.Attribute("VAT" + std::to_string(i + 1), Money(static_cast<int64_t>(Le(b, p + 4 + 2 * i, 2))));
    for (int i = 0; i < 4; ++i)
        w.Attribute("TAX" + std::to_string(i + 1), Money(static_cast<int64_t>(Le(b, p + 12 + 2 * i, 2))));
    w.Attribute("VatType", std::to_string(b[p + 20] + 1));
    SideAttributes(w, b, p + 21, "Sale");
    SideAttributes(w, b, p + 75, "Refund");
    text = w.Finish();
    return true;
}

} // namespace exchange
