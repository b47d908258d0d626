// Converting an electronic journal of 4 MB (receipts of every record type,
// cash documents, package reports, service information) into its XML
// document and the document's text; and the walk alone.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "exchange/JournalStream.h"
#include "exchange/JournalXml.h"
#include "platform/CodePages.h"

namespace {

constexpr std::size_t kJournalBytes = 4u << 20;

struct Writer {
    std::vector<uint8_t> bytes;
    void Le(uint64_t v, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Text(const std::string& ansi) {
        bytes.insert(bytes.end(), ansi.begin(), ansi.end());
        bytes.push_back(0);
    }
};

void Record(Writer& body, uint8_t type, const Writer& payload) {
    body.Le(payload.bytes.size() + 2, 1);
    body.Le(type, 1);
    body.bytes.insert(body.bytes.end(), payload.bytes.begin(), payload.bytes.end());
}

void Document(Writer& stream, uint8_t type, uint16_t number, const Writer& body) {
    stream.Le(body.bytes.size(), 2);
    stream.Le(type, 1);
    stream.Le(number, 2);
    stream.Le(726494400u + number * 60u, 4);
    stream.bytes.insert(stream.bytes.end(), body.bytes.begin(), body.bytes.end());
}

// A sale of five items with a comment, a discount, the total, two payments
// and the close; a cash document and a package report now and then.
std::vector<uint8_t> Journal() {
    const std::string name = platform::Utf8ToAnsi("Молоко пастеризоване 2,5%");
    Writer stream;
    for (uint16_t n = 1; stream.bytes.size() < kJournalBytes; ++n) {
        Writer body;
        Writer comment;
        comment.Le(3, 1);
        comment.Text(platform::Utf8ToAnsi("Дякуємо за покупку!"));
        Record(body, 1, comment);
        for (int i = 0; i < 5; ++i) {
            Writer item;
            item.Le(0, 1);
            item.Le((4820000000000ull + n * 5 + i) << 20 | static_cast<uint64_t>(i), 8);
            item.Le(1500, 4);
            item.Le(2599 + i, 4);
            item.Le(3899, 4);
            item.Le(i % 5, 1);
            item.Text("");
            item.Text(name);
            Record(body, 0, item);
        }
        Writer discount;
        for (uint64_t v : {0, 5, 500, 19495, 975}) discount.Le(v, v > 255 ? 4 : (v == 500 ? 2 : 1));
        Record(body, 2, discount);
        Writer total;
        total.Le(18520, 4);
        total.Le(0, 1);
        total.Le(0x03, 1);
        for (int g = 0; g < 2; ++g) {
            total.Le(2000, 2);
            total.Le(3087, 4);
        }
        Record(body, 3, total);
        Writer card, cash, close;
        card.Le(1, 1);
        card.Le(1000, 4);
        cash.Le(0, 1);
        cash.Le(20000, 4);
        cash.Le(2480, 4);
        close.Le(1, 1);
        close.Text(platform::Utf8ToAnsi("Касир 1"));
        Record(body, 4, card);
        Record(body, 4, cash);
        Record(body, 5, close);
        Document(stream, 0, n, body);
        if (n % 50 == 0) {
            Writer packages;
            for (int e = 0; e < 4; ++e)
                for (uint64_t v : {uint64_t(e * 10 + 1), uint64_t(e * 10 + 10), uint64_t(726494400 + e)})
                    packages.Le(v, 4);
            Document(stream, 6, n, packages);
        }
    }
    stream.Le(0xFFFF, 2);
    return stream.bytes;
}

void BM_ConvertJournal4MB(benchmark::State& state) {
    const std::vector<uint8_t> journal = Journal();
    for (auto _ : state) {
        benchmark::DoNotOptimize(exchange::JournalXmlText(Q710JournalParams{413, 1, 0, 0}, journal));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * journal.size()));
}
BENCHMARK(BM_ConvertJournal4MB)->Unit(benchmark::kMillisecond);

void BM_WalkJournal4MB(benchmark::State& state) {
    const std::vector<uint8_t> journal = Journal();
    for (auto _ : state) {
        std::size_t records = 0;
        exchange::WalkJournal(
            journal, [&records](const exchange::JournalDocument& d) { records += d.records.size(); });
        benchmark::DoNotOptimize(records);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * journal.size()));
}
BENCHMARK(BM_WalkJournal4MB)->Unit(benchmark::kMillisecond);

} // namespace
