#include "device/GoodsRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Builds raw register records byte by byte, little-endian.
struct RawBuilder {
    std::vector<uint8_t> bytes;
    explicit RawBuilder(std::size_t size) : bytes(size, 0) {}
    RawBuilder& Put(std::size_t offset, uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) bytes.at(offset + i) = uint8_t(value >> (8 * i));
        return *this;
    }
    RawBuilder& Name(std::size_t offset, const std::string& text) {
        std::memcpy(bytes.data() + offset, text.data(), text.size());
        return *this;
    }
};

RawBuilder GoodsRaw() {
    RawBuilder raw(83);
    raw.Put(0, 0x1234, 2).Put(2, 0x89ABCDEF, 4).Put(6, 99, 1).Put(7, 0xC9, 1).Put(8, 4000000000u, 4);
    for (int i = 0; i < 8; ++i) raw.Put(12 + 4 * i, 1000 + i, 4);
    raw.Put(44, 0x0000000C80300005ull, 8);
    return raw;
}

TEST(GoodsRecords, UnpacksEveryFieldOfTheGoodsRecord) {
    RawBuilder raw = GoodsRaw();
    raw.Name(52, "Milk");
    GoodsStruct g;
    ASSERT_TRUE(UnpackGoodsRecord(raw.bytes, g));
    EXPECT_EQ(g.number, 0x1234);
    EXPECT_EQ(g.price, 0x89ABCDEFu);
    EXPECT_EQ(g.group, 100); // group byte 99
    // Flags 0xC9: tax group Б, weighed, no presence control, no blocking, payout 3.
    EXPECT_EQ(g.tax, 1);
    EXPECT_EQ(g.weighed, -1);
    EXPECT_EQ(g.presenceControl, 0);
    EXPECT_EQ(g.saleBlocking, 0);
    EXPECT_EQ(g.payoutOperation, 3);
    EXPECT_EQ(g.remainder, 4000000000u);
    uint32_t counters[] = {g.soldQuantity,     g.payoutQuantity,     g.salesSum,       g.payoutsSum,
                           g.discountsOnSales, g.discountsOnPayouts, g.marginsOnSales, g.marginsOnPayouts};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(counters[i], uint32_t(1000 + i)) << "counter " << i;
    EXPECT_EQ(g.plu, 5);
    EXPECT_EQ(g.barcode, 51203);
    EXPECT_STREQ(g.name, "Milk");
    EXPECT_EQ(g.Name(), "Milk");
}

TEST(GoodsRecords, FlagBitsEachSetTheirOwnField) {
    struct Case {
        uint8_t flags;
        int tax;
        int16_t weighed, presence, blocking;
        int payout;
    } cases[] = {
        {0x00, 0, 0, 0, 0, 0}, {0x04, 4, 0, 0, 0, 0}, {0x10, 0, 0, -1, 0, 0},   {0x20, 0, 0, 0, -1, 0},
        {0x40, 0, 0, 0, 0, 1}, {0x80, 0, 0, 0, 0, 2}, {0x3F, 7, -1, -1, -1, 0},
    };
    for (const Case& c : cases) {
        RawBuilder raw = GoodsRaw();
        raw.Put(7, c.flags, 1);
        GoodsStruct g;
        ASSERT_TRUE(UnpackGoodsRecord(raw.bytes, g));
        EXPECT_EQ(g.tax, c.tax) << int(c.flags);
        EXPECT_EQ(g.weighed, c.weighed) << int(c.flags);
        EXPECT_EQ(g.presenceControl, c.presence) << int(c.flags);
        EXPECT_EQ(g.saleBlocking, c.blocking) << int(c.flags);
        EXPECT_EQ(g.payoutOperation, c.payout) << int(c.flags);
    }
}

TEST(GoodsRecords, NameOf31CharactersEndsWithTheRecord) {
    std::string full(31, 'N');
    RawBuilder raw = GoodsRaw();
    raw.Name(52, full);
    GoodsStruct g;
    ASSERT_TRUE(UnpackGoodsRecord(raw.bytes, g));
    EXPECT_EQ(std::strlen(g.name), 31u);
    EXPECT_EQ(g.Name(), full);

    // Bytes after the first zero are not part of the name.
    raw.Name(52, std::string("AB\0CD", 5));
    ASSERT_TRUE(UnpackGoodsRecord(raw.bytes, g));
    EXPECT_EQ(g.nameString, "AB");
    EXPECT_STREQ(g.name, "AB");
}

TEST(GoodsRecords, CodeSplitsIntoPluAndBarcode) {
    RawBuilder raw = GoodsRaw();
    raw.Put(44, 0xFFFFFFFFFFFFFFFFull, 8);
    GoodsStruct g;
    ASSERT_TRUE(UnpackGoodsRecord(raw.bytes, g));
    EXPECT_EQ(g.plu, 0xFFFFF);
    EXPECT_EQ(g.barcode, int64_t(0xFFFFFFFFFFFull));
}

TEST(GoodsRecords, UnpacksThePeriodicRecordWith48BitCounters) {
    RawBuilder raw(75);
    raw.Put(0, 7, 2).Put(2, 1250, 4).Put(6, 0, 1).Put(7, 0x32, 1).Put(8, 500, 4);
    raw.Put(12, 0xFFFFFFFFFFFFull, 6)
        .Put(18, 0x800000000001ull, 6)
        .Put(24, 3, 6)
        .Put(30, 0x0123456789ABull, 6);
    raw.Put(36, 0x0000000C80300005ull, 8).Name(44, std::string(31, 'P'));
    PeriodicGoodsStruct p;
    ASSERT_TRUE(UnpackPeriodicGoodsRecord(raw.bytes, p));
    EXPECT_EQ(p.number, 7);
    EXPECT_EQ(p.price, 1250u);
    EXPECT_EQ(p.group, 1);
    EXPECT_EQ(p.tax, 2);
    EXPECT_EQ(p.presenceControl, -1);
    EXPECT_EQ(p.saleBlocking, -1);
    EXPECT_EQ(p.weighed, 0);
    EXPECT_EQ(p.remainder, 500u);
    EXPECT_EQ(p.soldQuantity, 281474976710655); // top byte set widens without sign
    EXPECT_EQ(p.payoutQuantity, 140737488355329);
    EXPECT_EQ(p.salesSum, 3);
    EXPECT_EQ(p.payoutsSum, 0x0123456789AB);
    EXPECT_EQ(p.plu, 5);
    EXPECT_EQ(p.barcode, 51203);
    EXPECT_EQ(p.Name(), std::string(31, 'P'));
}

TEST(GoodsRecords, ShortBuffersAreRefusedAndLeaveTheRecord) {
    RawBuilder raw = GoodsRaw();
    raw.Name(52, "Kept");
    GoodsStruct g;
    ASSERT_TRUE(UnpackGoodsRecord(raw.bytes, g));
    std::vector<uint8_t> shortGoods(raw.bytes.begin(), raw.bytes.end() - 1);
    EXPECT_FALSE(UnpackGoodsRecord(shortGoods, g));
    EXPECT_FALSE(UnpackGoodsRecord({}, g));
    EXPECT_EQ(g.Name(), "Kept");
    EXPECT_EQ(g.number, 0x1234);

    PeriodicGoodsStruct p;
    p.SetName("Kept");
    EXPECT_FALSE(UnpackPeriodicGoodsRecord(std::span(raw.bytes.data(), 74), p));
    EXPECT_EQ(p.Name(), "Kept");

    HourlyReportLine h{1, 2, 3, 4};
    EXPECT_FALSE(UnpackHourlyLine(std::span(raw.bytes.data(), 11), h));
    EXPECT_EQ(h.refundSum, 4u);
    PeriodicHourlyReportLine ph{1, 2, 3, 4};
    EXPECT_FALSE(UnpackPeriodicHourlyLine(std::span(raw.bytes.data(), 23), ph));
    EXPECT_EQ(ph.refundSum, 4);
}

TEST(GoodsRecords, UnpackingReplacesEveryFieldOfAReusedRecord) {
    RawBuilder first = GoodsRaw();
    first.Name(52, "First and longer");
    RawBuilder second(83);
    second.Name(52, "2nd");
    GoodsStruct g;
    ASSERT_TRUE(UnpackGoodsRecord(first.bytes, g));
    ASSERT_TRUE(UnpackGoodsRecord(second.bytes, g));
    EXPECT_EQ(g.number, 0);
    EXPECT_EQ(g.group, 1);
    EXPECT_EQ(g.weighed, 0);
    EXPECT_EQ(g.payoutOperation, 0);
    EXPECT_EQ(g.marginsOnPayouts, 0u);
    EXPECT_EQ(g.barcode, 0);
    EXPECT_STREQ(g.name, "2nd");
}

TEST(GoodsRecords, HourLinesUnpackLittleEndian) {
    RawBuilder day(12);
    day.Put(0, 0xFFFF, 2).Put(2, 2, 2).Put(4, 0xFEDCBA98, 4).Put(8, 17, 4);
    HourlyReportLine h{};
    ASSERT_TRUE(UnpackHourlyLine(day.bytes, h));
    EXPECT_EQ(h.saleReceipts, 0xFFFF);
    EXPECT_EQ(h.refundReceipts, 2);
    EXPECT_EQ(h.saleSum, 0xFEDCBA98u);
    EXPECT_EQ(h.refundSum, 17u);

    RawBuilder period(24);
    period.Put(0, 100000, 4).Put(4, 9, 4).Put(8, uint64_t(-5), 8).Put(16, 1ull << 40, 8);
    PeriodicHourlyReportLine p{};
    ASSERT_TRUE(UnpackPeriodicHourlyLine(period.bytes, p));
    EXPECT_EQ(p.saleReceipts, 100000u);
    EXPECT_EQ(p.refundReceipts, 9u);
    EXPECT_EQ(p.saleSum, -5);
    EXPECT_EQ(p.refundSum, int64_t(1) << 40);
}

// The pointer handed to the library must always show the record's own name.
template <class Record> void ExpectOwnName(const Record& r, const std::string& text) {
    EXPECT_TRUE(r.IsComplete());
    EXPECT_EQ(r.name, r.nameString.c_str());
    EXPECT_EQ(std::string(r.name), text);
}

TEST(GoodsRecords, CopiesAndMovesKeepTheirOwnName) {
    // Long enough to live on the heap, so a stale pointer would show.
    const std::string longName = "A goods name of thirty-one ch.";
    GoodsStruct original;
    original.SetName(longName);
    original.price = 99;

    GoodsStruct copy(original);
    ExpectOwnName(copy, longName);
    EXPECT_NE(copy.name, original.name);
    EXPECT_EQ(copy.price, 99u);

    GoodsStruct assigned;
    assigned.SetName("x");
    assigned = original;
    ExpectOwnName(assigned, longName);

    GoodsStruct moved(std::move(copy));
    ExpectOwnName(moved, longName);
    ExpectOwnName(copy, copy.nameString); // moved-from stays self-consistent

    GoodsStruct moveAssigned;
    moveAssigned = std::move(assigned);
    ExpectOwnName(moveAssigned, longName);

    original.SetName("changed");
    ExpectOwnName(moved, longName);

    // Growing an array moves every element.
    std::vector<GoodsStruct> report;
    for (int i = 0; i < 100; ++i) {
        report.emplace_back();
        report.back().SetName("Goods number " + std::to_string(i) + " with a long name");
    }
    for (int i = 0; i < 100; ++i)
        ExpectOwnName(report[i], "Goods number " + std::to_string(i) + " with a long name");
    std::vector<GoodsStruct> copied = report;
    report.clear();
    ExpectOwnName(copied[42], "Goods number 42 with a long name");
}

TEST(GoodsRecords, ProgRecordPassedByValueCarriesItsName) {
    std::vector<GoodsProg> imported(1);
    imported[0].SetName("Хліб"); // bytes as they came; the record does not recode
    imported[0].plu = 12;
    imported.resize(50);
    Q710GoodsProgData passed = imported[0];
    EXPECT_STREQ(passed.name, "Хліб");
    EXPECT_EQ(passed.plu, 12);
    ExpectOwnName(imported[49], ""); // new records point at their empty name, never null
}

TEST(GoodsRecords, LibraryFilledRecordIsCompletedWithACopy) {
    char libraryText[] = "Sugar 1kg";
    GoodsStruct g;
    Q710GoodsData* handed = &g;
    handed->name = libraryText;
    handed->group = 100;
    handed->weighed = 1; // the library may set flags to any non-zero value
    EXPECT_FALSE(g.IsComplete());

    // A copy taken before completion still shows the library's text.
    GoodsStruct early(g);
    EXPECT_EQ(early.name, libraryText);

    CompleteLibraryRecord(g);
    std::strcpy(libraryText, "changed");
    ExpectOwnName(g, "Sugar 1kg");
    EXPECT_EQ(g.group, 100);
    EXPECT_EQ(g.weighed, 1);

    // A complete record is left as it is.
    CompleteLibraryRecord(g);
    ExpectOwnName(g, "Sugar 1kg");
}

TEST(GoodsRecords, LibraryNameIsReadBoundedAndNullReadsEmpty) {
    GoodsStruct g;
    g.name = nullptr;
    CompleteLibraryRecord(g);
    ExpectOwnName(g, "");

    // No terminator within the name's size: at most 31 bytes are read.
    char unterminated[31];
    std::memset(unterminated, 'Z', sizeof unterminated);
    PeriodicGoodsStruct p;
    p.name = unterminated;
    CompleteLibraryRecord(p);
    ExpectOwnName(p, std::string(31, 'Z'));
}

TEST(GoodsRecords, SharedArraysAreOneObjectAndEmptyTogether) {
    SharedArrays& shared = Shared();
    EXPECT_EQ(&shared, &Shared());
    shared.ImportedGoods.resize(2);
    shared.GoodsReport.resize(3);
    shared.PeriodicGoodsReport.resize(1);
    shared.HourlyReport.resize(24);
    shared.PeriodicHourlyReport.resize(24);
    shared.Clear();
    EXPECT_TRUE(shared.ImportedGoods.empty());
    EXPECT_TRUE(shared.GoodsReport.empty());
    EXPECT_TRUE(shared.PeriodicGoodsReport.empty());
    EXPECT_TRUE(shared.HourlyReport.empty());
    EXPECT_TRUE(shared.PeriodicHourlyReport.empty());
}

} // namespace
