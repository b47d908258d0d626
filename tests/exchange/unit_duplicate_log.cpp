// The duplicate-PLU log: which lines, their exact bytes, the old log, and an
// import longer than a 16-bit counter.
#include <gtest/gtest.h>

#include "exchange/DuplicatePluLog.h"
#include "platform/AtomicFile.h"
#include "support_exchange.h"

using namespace exchange_test;
using exchange::GoodsDupCheckRecord;

namespace {
const std::string kListed = "] \xCD\xEE\xEC\xE5\xF0 \xE7\xE0 \xF1\xEF\xE8\xF1\xEA\xEE\xEC: "; // Номер за списком

std::vector<GoodsDupCheckRecord> Entries(const std::vector<int32_t>& plus) {
    std::vector<GoodsDupCheckRecord> out;
    for (std::size_t i = 0; i < plus.size(); ++i)
        out.push_back({static_cast<uint16_t>(100 + i + 1), plus[i], static_cast<int64_t>(i) * 1000, 0});
    return out;
}
} // namespace

TEST(DuplicateLog, OneLinePerPluWithItsLaterNumbers) {
    ScratchDir dir;
    std::string import = dir.File("goods.xls");
    // Entries 1, 4, 7 share one PLU, 5 and 9 another; 2, 3, 6, 8 are alone.
    std::vector<GoodsDupCheckRecord> entries = Entries({50, 1, 2, 50, -7, 3, 50, 4, -7});
    entries[0].Barcode = -4820000000001LL;
    exchange::WriteDuplicatePluLog(import, entries);
    EXPECT_EQ(ReadFile(import + ".log"), "[PLU:50 Barcode:-4820000000001" + kListed + "101 = 104 = 107\r\n" +
                                             "[PLU:-7 Barcode:4000" + kListed + "105 = 109\r\n");
    for (std::size_t i : {3u, 6u, 8u}) EXPECT_EQ(entries[i].Reported, 1) << i;
    for (std::size_t i : {0u, 1u, 4u}) EXPECT_EQ(entries[i].Reported, 0) << i;
}

TEST(DuplicateLog, BarcodesAreNotCompared) {
    std::vector<GoodsDupCheckRecord> entries = {{1, 10, 777, 0}, {2, 11, 777, 0}};
    EXPECT_TRUE(exchange::DuplicatePluLines(entries).empty());
}

TEST(DuplicateLog, NoDuplicatesRemovesAnOlderLogAndWritesNone) {
    ScratchDir dir;
    std::string import = dir.File("goods.csv");
    WriteFile(import + ".log", "old");
    std::vector<GoodsDupCheckRecord> entries = Entries({1, 2, 3});
    exchange::WriteDuplicatePluLog(import, entries);
    EXPECT_FALSE(FileExists(import + ".log"));

    std::vector<GoodsDupCheckRecord> none;
    WriteFile(import + ".log", "old");
    exchange::WriteDuplicatePluLog(import, none);
    EXPECT_FALSE(FileExists(import + ".log"));
}

TEST(DuplicateLog, MoreEntriesThanASixteenBitCounter) {
    // 70000 rows, mostly without a PLU (barcode-only goods share PLU 0).
    std::vector<GoodsDupCheckRecord> entries(70000);
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = {static_cast<uint16_t>(i), static_cast<int32_t>(i % 3 == 0 ? 0 : i), 0, 0};
    entries[69999].Plu = 5;
    std::vector<std::string> lines = exchange::DuplicatePluLines(entries);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 18), "[PLU:0 Barcode:0" + kListed.substr(0, 2));
    EXPECT_NE(lines[0].find(" = 65535 = 2 = "), std::string::npos); // 65535 % 3 == 0; numbers wrap at 16 bits
    EXPECT_EQ(lines[1], "[PLU:5 Barcode:0" + kListed + "5 = " + std::to_string(uint16_t(69999)));
}

TEST(DuplicateLog, UnwritableFolderRaises) {
    ScratchDir dir;
    std::vector<GoodsDupCheckRecord> entries = Entries({1, 1});
    EXPECT_THROW(exchange::WriteDuplicatePluLog(dir.File("missing/goods.csv"), entries), platform::FileError);
}
