// An electronic journal stream from the register: walked, and written as its
// XML document.
#include <cstddef>
#include <cstdint>
#include <span>

#include "exchange/JournalStream.h"
#include "exchange/JournalXml.h"
#include "platform/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> stream(data, size);
    std::size_t documents = 0;
    exchange::WalkJournal(stream, [&documents](const exchange::JournalDocument& doc) {
        ++documents;
        for (const auto& record : doc.records)
            if (const auto* total = std::get_if<exchange::JournalTotal>(&record))
                if (total->vat.size() > 5 || total->tax.size() > 4) __builtin_trap();
        if (doc.items.size() > doc.itemsCount.value_or(0)) __builtin_trap();
    });
    // Every document needs its 9-byte header.
    if (documents > size / 9) __builtin_trap();
    // The text is well-formed whatever the stream held.
    platform::XmlDocument document;
    if (!document.LoadXml(exchange::JournalXmlText(Q710JournalParams{1, 1, 0, 0}, stream))) __builtin_trap();
    return 0;
}
