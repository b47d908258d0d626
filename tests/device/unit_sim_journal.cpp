// The simulated register's electronic journal, read through its exported
// functions and decoded here by the byte offsets of the journal stream: the
// documents its sales make, the blocks and their last status, the Z report's
// 178 bytes, the size arguments it refuses and the damage it is asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support_sim.h"

namespace {

using simtest::Le;

class SimJournal : public simtest::SimLibraryTest {
protected:
    void SetUp() override {
        SimLibraryTest::SetUp();
        ConnectDirect();
        Ctl("clear-sales\nclock 2024-03-01T09:00\nfiscal-ids \"FN12345678\" \"PN1234567890\"");
    }
    // Blocks of journal `n` and the status of each.
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> Blocks(int n, int limit = 1000) {
        std::vector<std::pair<uint8_t, std::vector<uint8_t>>> blocks;
        std::vector<uint8_t> block(128);
        const char* err = nullptr;
        uint8_t status = Api().GetJournal(n, 3, 0, block.data(), 127, &err);
        while (static_cast<int>(blocks.size()) < limit) {
            blocks.emplace_back(status, block);
            if (status != 0) break;
            status = Api().NextCommand(block.data(), 127, &err);
        }
        return blocks;
    }
    std::vector<uint8_t> Stream(int n) {
        std::vector<uint8_t> stream;
        for (const auto& [status, block] : Blocks(n)) stream.insert(stream.end(), block.begin(), block.end());
        return stream;
    }
    // Type and body length of each document, up to the end mark.
    static std::vector<std::pair<int, int>> Documents(const std::vector<uint8_t>& s) {
        std::vector<std::pair<int, int>> docs;
        for (std::size_t at = 0; at + 9 <= s.size();) {
            const int length = static_cast<int>(Le(s.data(), static_cast<int>(at), 2));
            if (length == 0xFFFF) break;
            docs.emplace_back(s[at + 2], length);
            at += 9 + static_cast<std::size_t>(length);
        }
        return docs;
    }
};

TEST_F(SimJournal, SalesBecomeDocumentsOfTheShiftsJournals) {
    Ctl("cash-in 500.00\n"
        "receipt sale comment \"Акція\" attr 3,6:40:2:13 item 2 qty 2 discount percent 5 id 4821 pay cash "
        "1000.00\n"
        "receipt refund item 2\n"
        "receipt sale item 7 cancel\n"
        "packages transmit 1-20@2024-03-01T10:00 21-25\n"
        "service accept shipper 9000000000000000001 item 2 qty 3 price 1.50 item 7\n"
        "new-journal\n"
        "cash-out 100.00\n"
        "z-report at 2024-03-01T21:00\n"
        "receipt sale item 7");
    uint8_t count = 0;
    Q710JournalParams params{};
    const char* err = nullptr;
    ASSERT_EQ(Api().GetJournalParams(2, &count, &params, &err), 0) << device::DeviceText(err);
    EXPECT_EQ(count, 3);
    const uint16_t shift = params.shift;
    // The record is packed: its fields are compared as copies, a reference
    // to one would be misaligned.
    EXPECT_EQ(uint8_t{params.journalInShift}, 2);
    EXPECT_EQ(uint32_t{params.controlTapeLength}, 9u + 11 + 7 + 1)
        << "one cash-out: header and body (\"Касир 1\" is 7 bytes)";

    std::vector<uint8_t> first = Stream(1);
    const auto docs = Documents(first);
    ASSERT_EQ(docs.size(), 6u);
    const std::vector<int> types = {4, 0, 1, 2, 6, 16};
    for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(docs[i].first, types[i]) << i;
    EXPECT_EQ(docs[4].second, 24) << "two package entries";
    EXPECT_EQ(docs[5].second, 10 + 2 * 16) << "service information of two items";
    ASSERT_EQ(Api().GetJournalParams(1, &count, &params, &err), 0);
    EXPECT_EQ(uint32_t{params.pcInfoLength}, 9u + 42);
    std::size_t streamBytes = 2; // the end mark
    for (const auto& d : docs) streamBytes += 9 + static_cast<std::size_t>(d.second);
    EXPECT_EQ(params.controlTapeLength + params.pcInfoLength + 2, streamBytes);

    // The sale: its records by type, the comment's attribute run, the
    // discount's id in a 22-byte record, the close record last.
    std::size_t at = 9 + static_cast<std::size_t>(docs[0].second);
    const std::size_t bodyEnd = at + 9 + static_cast<std::size_t>(docs[1].second);
    at += 9;
    std::vector<int> recordTypes;
    while (at < bodyEnd) {
        recordTypes.push_back(first[at + 1]);
        if (first[at + 1] == 1) {
            EXPECT_EQ(std::vector<uint8_t>(first.begin() + static_cast<std::ptrdiff_t>(at + 2),
                                           first.begin() + static_cast<std::ptrdiff_t>(at + 7)),
                      (std::vector<uint8_t>{3, 6, 40, 2, 13}));
        }
        if (first[at + 1] == 2) {
            EXPECT_EQ(first[at], 22);
            EXPECT_EQ(Le(first.data(), static_cast<int>(at + 14), 8), 4821u);
        }
        at += first[at];
    }
    EXPECT_EQ(recordTypes, (std::vector<int>{1, 0, 2, 3, 4, 5}));

    // The Z report of the closed shift: 178 bytes, FN and PN, the rates behind them.
    std::vector<uint8_t> z(178, 0xEE);
    ASSERT_EQ(Api().GetReport(shift, z.data(), 177, &err), 0) << device::DeviceText(err);
    EXPECT_EQ(Le(z.data(), 0, 2), 165u);
    EXPECT_EQ(z[2], 10);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(z.data() + 9)), "FN12345678");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(z.data() + 20)), "PN1234567890");
    EXPECT_EQ(Le(z.data(), 33 + 4, 2), 2000u) << "VAT rate 1 at P + 4 with P = 33";
    EXPECT_EQ(Le(z.data(), 33 + 73, 2), 1u) << "sale receipts: the cancelled one does not count";
    EXPECT_EQ(Api().GetReport(shift + 1, z.data(), 177, &err), Q710_NOT_FOUND) << "the open shift has none";
}

TEST_F(SimJournal, BlocksEndWithTheLastOneAnsweredAsTheEnd) {
    for (int i = 0; i < 30; ++i) Ctl("receipt sale item 2 item 7");
    auto blocks = Blocks(1);
    ASSERT_GT(blocks.size(), 3u);
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i].first, 0) << i;
    EXPECT_EQ(blocks.back().first, Q710_END_OF_DATA);
    std::vector<uint8_t> block(128);
    const char* err = nullptr;
    EXPECT_EQ(Api().NextCommand(block.data(), 127, &err), sim::StatusNoBatch)
        << "nothing after the last block";

    // Only the journal's own sizes; a block fails where the scenario says.
    EXPECT_EQ(Api().GetJournal(1, 3, 0, block.data(), 126, &err), sim::StatusSmallBuffer);
    EXPECT_EQ(Api().GetJournal(1, 2, 0, block.data(), 127, &err), sim::StatusBadValue);
    EXPECT_EQ(Api().GetJournal(9, 3, 0, block.data(), 127, &err), sim::StatusBadValue);
    ASSERT_EQ(Api().GetJournal(1, 3, 0, block.data(), 127, &err), 0);
    EXPECT_EQ(Api().NextCommand(block.data(), 128, &err), sim::StatusSmallBuffer);
    std::vector<uint8_t> z(178);
    EXPECT_EQ(Api().GetReport(412, z.data(), 178, &err), sim::StatusSmallBuffer);
    Ctl("fail-record 2 status 0x55");
    blocks = Blocks(1);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks.back().first, 0x55);

    // An empty journal: one block, the end mark at once.
    Ctl("clear-faults\nclear-sales\ncash-in 1.00\nnew-journal\nz-report");
    uint8_t count = 0;
    Q710JournalParams params{};
    ASSERT_EQ(Api().GetJournalParams(1, &count, &params, &err), 0);
    EXPECT_EQ(count, 2);
}

TEST_F(SimJournal, DamageAsked) {
    Ctl("receipt sale item 2 item 7\nreceipt sale item 7");
    const std::vector<uint8_t> whole = Stream(1);
    Ctl("journal-damage body-length 1 60000");
    EXPECT_EQ(Documents(Stream(1)).at(1).second, 60000);
    Ctl("journal-damage off\njournal-damage record-length 0 1 0");
    std::vector<uint8_t> s = Stream(1);
    const std::size_t second = 9 + s[9];
    EXPECT_EQ(s[second], 0);
    Ctl("journal-damage off\njournal-damage cut 20\njournal-damage pad 0xFF");
    s = Stream(1);
    ASSERT_EQ(s.size(), 128u);
    EXPECT_EQ(std::vector<uint8_t>(s.begin(), s.begin() + 20),
              std::vector<uint8_t>(whole.begin(), whole.begin() + 20));
    EXPECT_EQ(s[20], 0xFF);
    Ctl("journal-damage off\njournal-damage endless");
    auto blocks = Blocks(1, 500);
    EXPECT_EQ(blocks.size(), 500u);
    EXPECT_EQ(blocks.back().first, 0);
    Ctl("journal-damage off\nz-damage type 9\nfiscal-ids \"1234567890123456789012345\" "
        "\"12345678901234567890\"\n"
        "z-report");
    std::vector<uint8_t> z(178, 0xEE);
    const char* err = nullptr;
    uint8_t count = 0;
    Q710JournalParams params{};
    ASSERT_EQ(Api().GetJournalParams(1, &count, &params, &err), 0);
    ASSERT_EQ(Api().GetReport(params.shift, z.data(), 177, &err), 0);
    EXPECT_EQ(z[2], 9);
    EXPECT_EQ(z[9 + 25 + 1 + 20], 0) << "the identities are whole while they fit";
    // Free space: the capacity less what the journals hold, above 2^31 too.
    Ctl("journal-free 3000000000");
    uint32_t free = 0;
    ASSERT_EQ(Api().GetFreeVolumeJournal(&free, &err), 0);
    EXPECT_EQ(free, 3000000000u);
    Ctl("receipt sale item 7");
    ASSERT_EQ(Api().GetFreeVolumeJournal(&free, &err), 0);
    EXPECT_LT(free, 3000000000u);
    // The Z report's damage above and the stream's: a reset register has none.
    Ctl("journal-damage cut 20\nreset");
    EXPECT_NE(Ctl("dump").find("\njournal-damage=\n"), std::string::npos);
}

} // namespace
