// The simulated register's sales: receipts and cash documents recorded by
// control commands, the figures that follow from them (X report, hour lines,
// goods counters, shift totals), the Z report, the erasing of periodic
// reports and the report batches as the program reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "device/simulator/SimText.h"
#include "support_sim.h"

namespace {

using testfiles::ScratchDir;

// Goods with known figures: number, price, tax group, weighed, presence
// control, sale blocked, remainder.
void Program(sim::Simulator& s, uint16_t number, int32_t price, uint8_t tax, bool weighed = false,
             bool presence = false, bool blocked = false, int32_t remainder = 100000) {
    Q710GoodsProgData g{};
    g.price = price;
    g.group = static_cast<uint8_t>(10 + number % 10);
    g.tax = tax;
    g.weighed = weighed ? -1 : 0;
    g.presenceControl = presence ? -1 : 0;
    g.saleBlocking = blocked ? -1 : 0;
    g.quantity = remainder;
    g.plu = 900 + number;
    g.barcode = 4829000000000 + number;
    g.name = "Test";
    const char* err = nullptr;
    ASSERT_EQ(s.SetGoodsByNumber(number, g, &err), 0) << device::DeviceText(err);
}

void Script(sim::Simulator& s, const std::string& text) {
    std::string reply;
    ASSERT_TRUE(s.RunScript(text, reply)) << reply;
}

// A register with no sales, five goods of its own and 50.00 in the drawer.
class SimSales : public ::testing::Test {
protected:
    void SetUp() override {
        s = simtest::MakeSimulator(folder);
        simtest::Connect(*s);
        Script(*s, "clear-sales\nclock 2024-03-01T09:00");
        Program(*s, 1000, 1000, 0);                          // 10.00, group А
        Program(*s, 1001, 550, 1, true);                     // 5.50 a kilo, group Б
        Program(*s, 1002, 300, 4);                           // 3.00, untaxed
        Program(*s, 1003, 100, 2, false, true, false, 2000); // 2 in stock, presence control
        Program(*s, 1004, 100, 3, false, false, true);       // sale blocked
        Script(*s, "cash-in 50.00 at 2024-03-01T09:00");
    }
    const sim::Goods& G(int n) { return *s->Memory().goods.At(n); }
    const Q710XReportData& X() { return s->Memory().xReport; }
    const sim::Shift& Shift() { return s->Memory().sales.shifts.back(); }

    ScratchDir folder;
    std::unique_ptr<sim::Simulator> s;
};

TEST_F(SimSales, ReceiptsMoveEveryFigure) {
    Script(*s,
           // 20.00 + 8.25 less 10 % (0.83) on the second item; change from cash.
           "receipt sale at 2024-03-01T09:15 item 1000 qty 2 item 1001 qty 1.5 discount percent 10"
           " pay card 10.00 pay cash 20.00\n"
           // 9.00 with a markup of 1.00 on the total, on credit.
           "receipt sale at 2024-03-01T09:40 item 1002 qty 3 markup amount 1.00 total pay credit 10.00\n"
           "receipt refund at 2024-03-01T10:05 item 1000 qty 1\n"
           // Cancelled: recorded, counts nothing.
           "receipt sale at 2024-03-01T10:30 item 1000 qty 5 cancel\n"
           // 0.07 off 13.00 spread by the items' amounts: 0.06 and 0.01.
           "receipt sale at 2024-03-01T11:00 item 1000 item 1002 discount amount 0.07 total\n");

    const Q710XReportData& x = X();
    EXPECT_EQ(x.saleReceipts, 3);
    EXPECT_EQ(x.payoutReceipts, 1);
    EXPECT_EQ(x.salesByTax[0], 2000u + 994u);
    EXPECT_EQ(x.salesByTax[1], 742u);
    EXPECT_EQ(x.untaxedSales, 1000u + 299u);
    EXPECT_EQ(x.payoutsByTax[0], 1000u);
    EXPECT_EQ(x.salesByPayment[0], 1742u + 1293u);
    EXPECT_EQ(x.salesByPayment[1], 1000u);
    EXPECT_EQ(x.salesByPayment[2], 1000u);
    EXPECT_EQ(x.payoutsByPayment[0], 1000u);
    EXPECT_EQ(x.cashIn, 5000u);
    EXPECT_EQ(x.discountsOnSales, 83u + 7u);
    EXPECT_EQ(x.marginsOnSales, 100u);
    EXPECT_EQ(s->Memory().sales.drawer, 5000 + 1742 + 1293 - 1000);

    const auto& hours = s->Memory().hours;
    EXPECT_EQ(hours[9].saleReceipts, 2);
    EXPECT_EQ(hours[9].saleSum, 2742u + 1000u);
    EXPECT_EQ(hours[10].refundReceipts, 1);
    EXPECT_EQ(hours[10].refundSum, 1000u);
    EXPECT_EQ(hours[10].saleReceipts, 0); // the cancelled receipt
    EXPECT_EQ(hours[11].saleSum, 1293u);
    EXPECT_EQ(s->Memory().periodicHours[9].saleSum, 3742);

    // Goods: quantity, gross sum, discounts and margins per side.
    const std::array<uint32_t, 8> g1000 = {3000, 1000, 3000, 1000, 6, 0, 0, 0};
    const std::array<uint32_t, 8> g1001 = {1500, 0, 825, 0, 83, 0, 0, 0};
    const std::array<uint32_t, 8> g1002 = {4000, 0, 1200, 0, 1, 0, 100, 0};
    EXPECT_EQ(G(1000).day, g1000);
    EXPECT_EQ(G(1001).day, g1001);
    EXPECT_EQ(G(1002).day, g1002);
    EXPECT_EQ(G(1000).period[0], 3000u);
    EXPECT_EQ(G(1000).period[3], 1000u);
    EXPECT_EQ(G(1000).remainder, 100000u - 3000u + 1000u);

    const sim::Shift& shift = Shift();
    EXPECT_TRUE(shift.open);
    EXPECT_EQ(shift.opened, 730976400u); // 01.03.2024 9:00, the cash-in
    EXPECT_EQ(shift.sales.totals[0], 2994);
    EXPECT_EQ(shift.sales.totals[4], 1299);
    EXPECT_EQ(shift.sales.vat[0], 333 + 166); // 20 % included in 20.00 and 9.94
    EXPECT_EQ(shift.sales.vat[1], 49);        // 7 % in 7.42
    EXPECT_EQ(shift.sales.receipts, 3u);
    EXPECT_EQ(shift.refunds.totals[0], 1000);
    const std::vector<uint8_t> types = {4, 0, 0, 1, 2, 0};
    ASSERT_EQ(shift.documents.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(shift.documents[i].type, types[i]) << i;
        EXPECT_EQ(shift.documents[i].number, shift.documents[0].number + i) << i;
    }
}

// The records of one receipt, in the order the journal keeps them.
TEST_F(SimSales, ReceiptRecordsCarryWhatTheJournalNeeds) {
    Script(*s, "vat-type 1\ntax-rates 0 5 0 0\ntax-name 2 \"Збір\"\ncashier 7 \"Олена\"\n"
               "receipt sale at 2024-03-01T12:00 comment \"Акція\" attr 3,6:40:2:13 item 1001 qty 2 cancelled"
               " item 1001 qty 2 item 1002 discount percent 5 online id 77 pay cash 20.00");
    const sim::JournalDocument& doc = Shift().documents.back();
    EXPECT_EQ(doc.time, 730987200u);
    ASSERT_EQ(doc.records.size(), 8u);
    const std::vector<std::size_t> kinds = {1, 0, 0, 0, 2, 3, 4, 5};
    for (std::size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(doc.records[i].index(), kinds[i]) << i;

    const auto& comment = std::get<sim::CommentRecord>(doc.records[0]);
    EXPECT_EQ(comment.attributes, (std::vector<uint8_t>{3, 6, 40, 2, 13}));
    EXPECT_EQ(comment.text, sim::ToCp1251("Акція"));
    const auto& cancelled = std::get<sim::ItemRecord>(doc.records[1]);
    EXPECT_TRUE(cancelled.cancelled);
    const auto& item = std::get<sim::ItemRecord>(doc.records[2]);
    EXPECT_EQ(item.code, (uint64_t{4829000001001} << 20) | 1901);
    EXPECT_EQ(item.amount, 2000);
    EXPECT_EQ(item.price, 550);
    EXPECT_EQ(item.cost, 1100);
    EXPECT_EQ(item.flags, 0x01 | 0x08);
    const auto& discount = std::get<sim::DiscountRecord>(doc.records[4]);
    EXPECT_EQ(discount.flags, 0x01 | 0x08);
    EXPECT_EQ(discount.percent, 500);
    EXPECT_EQ(discount.preTotal, 300);
    EXPECT_EQ(discount.value, 15);
    EXPECT_EQ(discount.id, 77u);
    const auto& total = std::get<sim::TotalRecord>(doc.records[5]);
    EXPECT_EQ(total.total, 1100 + 285);
    EXPECT_EQ(total.vatType, 1);
    EXPECT_EQ(total.mask, 0x12); // groups Б and Д
    EXPECT_EQ(total.vat[1].rate, 700);
    EXPECT_EQ(total.vat[1].sum, 69); // 1100 x 7 / 112
    EXPECT_EQ(total.tax[1].sum, 49); // 1100 x 5 / 112
    EXPECT_EQ(total.vat[4].sum, 0);
    EXPECT_EQ(total.taxNames[1], sim::ToCp1251("Збір"));
    const auto& payment = std::get<sim::PaymentRecord>(doc.records[6]);
    EXPECT_EQ(payment.sum, 2000);
    EXPECT_EQ(payment.change, 2000 - 1385);
    const auto& close = std::get<sim::CloseRecord>(doc.records[7]);
    EXPECT_EQ(close.cashierId, 7);
    EXPECT_EQ(close.cashierName, sim::ToCp1251("Олена"));

    // A refund's total has no entry for the untaxed group.
    Script(*s, "receipt refund item 1002 item 1000");
    EXPECT_EQ(std::get<sim::TotalRecord>(Shift().documents.back().records[2]).mask, 0x01);
}

TEST_F(SimSales, RefusedDocumentsChangeNothing) {
    const char* const refused[] = {
        "receipt sale item 999",                                // not programmed
        "receipt sale item 1004",                               // sale blocked
        "receipt sale item 1003 qty 2 item 1003",               // more than in stock
        "receipt sale item 1000 qty 1.5",                       // not weighed
        "receipt sale discount percent 5 item 1000",            // nothing to discount yet
        "receipt sale item 1000 cancelled discount percent 5",  // the item before it is cancelled
        "receipt sale item 1002 discount amount 3.01",          // above the amount
        "receipt sale item 1000 discount percent 100.00",       // percent out of range
        "receipt sale item 1000 pay cash 9.99",                 // below the total
        "receipt sale item 1002 pay card 3.00 pay credit 0.01", // card and credit above the total
        "receipt refund item 1000 pay cash 9.00",               // a refund pays out exactly
        "receipt refund item 1000 qty 6",                       // more cash than the drawer holds
        "receipt sale item 1000 cancelled",                     // nothing stands
        "receipt sale item 1000 cancel pay cash 10.00",         // a cancelled receipt takes no payment
        "receipt sale item 1000 qty -1",                        // not a quantity
        "receipt sale item 1000 at 2024-02-30T10:00",           // no such day
        "receipt return item 1000",                             // no such kind
        "receipt sale item 1000 bonus",                         // unknown word
        "cash-out 50.01",                                       // more than the drawer holds
        "cash-in 0",
        "z-report at 2024-02-29T23:00", // before the shift opened
        "hour daily 24 1 0 0 0",
        "hour daily 3 65536 0 0 0",
        "x-figure sale-receipts 65536",
        "x-figure sales-tax-5 1",
        "vat-rates 20 7 0",
    };
    const std::vector<uint8_t> before = s->Memory().Serialize();
    for (const char* command : refused) {
        std::string reply;
        EXPECT_FALSE(s->Control(command, reply)) << command;
        EXPECT_EQ(reply.rfind("error: ", 0), 0u) << command << ": " << reply;
        EXPECT_EQ(s->Memory().Serialize(), before) << command;
    }
}

TEST_F(SimSales, ZReportClosesTheShiftAndTheDayStartsAgain) {
    Script(*s, "receipt sale at 2024-03-01T09:15 item 1000\nreceipt refund at 2024-03-01T10:00 item 1002\n"
               "z-report at 2024-03-01T21:30");
    const char* err = nullptr;
    Q710XReportData x{};
    ASSERT_EQ(s->GetDataXReport(&x, &err), 0);
    EXPECT_EQ(x.shiftStart, 36892.0); // the day is closed
    EXPECT_EQ(x.saleReceipts, 0);
    EXPECT_EQ(x.salesByTax[0], 0u);
    EXPECT_EQ(s->Memory().hours[9].saleReceipts, 0);
    EXPECT_EQ(s->Memory().periodicHours[9].saleReceipts, 1u);
    EXPECT_FALSE(G(1000).SoldToday());
    EXPECT_EQ(G(1000).period[0], 1000u);
    EXPECT_EQ(s->Memory().lastDayClosed, 36892.0 + 8460 + 21.5 / 24);

    const sim::Shift& closed = Shift();
    ASSERT_TRUE(closed.z.has_value());
    EXPECT_FALSE(closed.open);
    EXPECT_EQ(closed.z->time, 731021400u);
    EXPECT_EQ(closed.z->sales.totals[0], 1000);
    EXPECT_EQ(closed.z->sales.vat[0], 167);
    EXPECT_EQ(closed.z->refunds.totals[4], 300);
    EXPECT_EQ(closed.z->refunds.receipts, 1u);
    EXPECT_EQ(closed.z->fiscalNumber, "3000123456");
    EXPECT_EQ(closed.z->number, closed.documents.back().number + 1);

    std::string reply;
    EXPECT_FALSE(s->Control("z-report", reply)); // nothing open
    Script(*s, "receipt sale at 2024-03-02T08:05 item 1002");
    ASSERT_EQ(s->GetDataXReport(&x, &err), 0);
    EXPECT_EQ(x.shiftStart, 36892.0 + 8461 + (8 * 60 + 5) / 1440.0);
    EXPECT_EQ(x.saleReceipts, 1);
    EXPECT_EQ(Shift().number, closed.number + 1);
}

TEST_F(SimSales, ErasingPeriodicReports) {
    Script(*s, "receipt sale at 2024-03-01T13:00 item 1000 item 1001 item 1002 item 1003");
    const char* err = nullptr;
    // By codes: PLU and barcode both in range.
    ASSERT_EQ(s->ErasePeriodicReportByGoodsCode103(1900, 1901, 4829000001001, 4829000001002, &err), 0);
    EXPECT_TRUE(G(1000).InPeriod());
    EXPECT_FALSE(G(1001).InPeriod());
    EXPECT_TRUE(G(1001).SoldToday()); // the day's counters stay
    // By groups: goods 1002 is in group 12, 1003 in 13.
    ASSERT_EQ(s->ErasePeriodicReportByGoodsGroup103(12, 12, &err), 0);
    EXPECT_FALSE(G(1002).InPeriod());
    EXPECT_TRUE(G(1003).InPeriod());
    ASSERT_EQ(s->ErasePeriodicReportByGoodsGroup103(0, 0, &err), 0);
    EXPECT_TRUE(s->Memory().goods.Select(0, [](const sim::Goods& g) { return g.InPeriod(); }).empty());
    EXPECT_EQ(s->Memory().periodicHours[13].saleReceipts, 1u);
    ASSERT_EQ(s->ErasePeriodicXReportByHours103(&err), 0);
    EXPECT_EQ(s->Memory().periodicHours[13].saleReceipts, 0u);
    EXPECT_EQ(s->Memory().hours[13].saleReceipts, 1);

    for (auto bad : {std::pair{5, 4}, {0, 3}, {1, 101}, {-1, -1}})
        EXPECT_EQ(s->ErasePeriodicReportByGoodsGroup103(bad.first, bad.second, &err), 0x13) << bad.first;
    EXPECT_EQ(s->ErasePeriodicReportByGoodsCode103(2, 1, 0, 9999999999999, &err), 0x13);
    EXPECT_EQ(s->ErasePeriodicReportByGoodsCode103(0, 1048576, 0, 1, &err), 0x13);
    EXPECT_EQ(s->ErasePeriodicReportByGoodsCode103(0, 1, 0, 10000000000000, &err), 0x13);
    s->HostDisconnect();
    EXPECT_EQ(s->ErasePeriodicXReportByHours103(&err), 0x02);
    EXPECT_EQ(s->GetDataXReport(nullptr, &err), 0x02);
}

TEST_F(SimSales, SalesSurviveARestart) {
    Script(*s, "receipt sale at 2024-03-01T09:15 item 1000 discount percent 5 online id 9\n"
               "receipt sale item 1001 qty 0.25 comment \"x\" attr 1\nz-report at 2024-03-01T20:00\n"
               "vat-type 3\ntax-name 1 \"A\"\nfiscal-ids \"FN1\" \"PN1\"\npayout-name 2 \"B\"\n"
               "receipt refund at 2024-03-02T10:00 item 1000");
    const std::vector<uint8_t> image = s->Memory().Serialize();
    s.reset();
    s = simtest::MakeSimulator(folder);
    EXPECT_EQ(s->Memory().Serialize(), image);
    EXPECT_EQ(s->Memory().sales.shifts.size(), 2u);
}

// Through the library as the program reads them.
class SimReportBatches : public simtest::SimLibraryTest {
protected:
    std::vector<std::vector<uint8_t>> ReadLines(int size, uint8_t& end) {
        std::vector<std::vector<uint8_t>> lines;
        const char* err = nullptr;
        for (;;) {
            std::vector<uint8_t> buffer(static_cast<std::size_t>(size), 0xEE);
            end = Api().NextCommand(buffer.data(), size - 1, &err);
            if (end != 0) return lines;
            lines.push_back(buffer);
        }
    }
};

TEST_F(SimReportBatches, HourReportsDeliverTwentyFourLines) {
    ConnectDirect();
    Ctl("hour daily 0 1 2 3 4\nhour daily 23 65535 0 4294967295 7\n"
        "hour periodic 0 4294967295 1 -150 9223372036854775807\nhour periodic 23 5 6 -9223372036854775808 8");
    const char* err = nullptr;
    uint16_t sr = 0, rr = 0;
    uint32_t ss = 0, rs = 0;
    ASSERT_EQ(Api().GetXReportByHours(0, &sr, &rr, &ss, &rs, &err), 0);
    EXPECT_EQ(std::tuple(sr, rr, ss, rs), std::tuple(1, 2, 3u, 4u));
    uint8_t end = 0;
    auto lines = ReadLines(12, end);
    EXPECT_EQ(end, Q710_END_OF_DATA);
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(simtest::Le(lines[7].data(), 0, 2), 8u); // the demo's hour 8: 8 receipts
    EXPECT_EQ(simtest::Le(lines[22].data(), 0, 2), 65535u);
    EXPECT_EQ(simtest::Le(lines[22].data(), 4, 4), 4294967295u);

    uint32_t psr = 0, prr = 0;
    int64_t pss = 0, prs = 0;
    ASSERT_EQ(Api().GetPeriodicXReportByHours103(0, &psr, &prr, &pss, &prs, &err), 0);
    EXPECT_EQ(std::tuple(psr, prr, pss, prs), std::tuple(4294967295u, 1u, int64_t{-150}, INT64_MAX));
    lines = ReadLines(24, end);
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(static_cast<int64_t>(simtest::Le(lines[22].data(), 8, 8)), INT64_MIN);

    // Other line counts and record sizes on request.
    Ctl("hour-batch 20");
    ASSERT_EQ(Api().GetXReportByHours(0, &sr, &rr, &ss, &rs, &err), 0);
    EXPECT_EQ(ReadLines(12, end).size(), 19u);
    Ctl("hour-batch 30");
    ASSERT_EQ(Api().GetPeriodicXReportByHours103(0, &psr, &prr, &pss, &prs, &err), 0);
    EXPECT_EQ(ReadLines(24, end).size(), 29u);
    Ctl("hour-batch 24 size 13");
    ASSERT_EQ(Api().GetXReportByHours(0, &sr, &rr, &ss, &rs, &err), 0);
    std::vector<uint8_t> buffer(12);
    EXPECT_EQ(Api().NextCommand(buffer.data(), 11, &err), 0x05);
    Ctl("clear-faults\nhour-batch 0");
    EXPECT_EQ(Api().GetXReportByHours(0, &sr, &rr, &ss, &rs, &err), Q710_END_OF_DATA);
    Ctl("clear-faults\nend-batch 5");
    ASSERT_EQ(Api().GetPeriodicXReportByHours103(0, &psr, &prr, &pss, &prs, &err), 0);
    EXPECT_EQ(ReadLines(24, end).size(), 4u);
    EXPECT_EQ(Api().GetXReportByHours(0, nullptr, &rr, &ss, &rs, &err), 0x13);
}

TEST_F(SimReportBatches, XReportAnswersItsFiguresAndTheShiftStart) {
    ConnectDirect();
    Ctl("x-figure sale-receipts 65535\nx-figure discounts-payouts 4294967295\nx-figure cash-in 12");
    Q710XReportData x{};
    const char* err = nullptr;
    ASSERT_EQ(Api().GetDataXReport(&x, &err), 0);
    EXPECT_EQ(x.saleReceipts, 65535);
    EXPECT_EQ(x.discountsOnPayouts, 4294967295u);
    EXPECT_EQ(x.cashIn, 12u);
    EXPECT_EQ(x.salesByTax[0], 1250050u); // the demo's own
    EXPECT_NEAR(x.shiftStart, 45300.3541666667, 1e-9);
    Ctl("z-report");
    ASSERT_EQ(Api().GetDataXReport(&x, &err), 0);
    EXPECT_EQ(x.shiftStart, 36892.0);
    EXPECT_EQ(x.saleReceipts, 0);
}

} // namespace
