// From the simulated register to the file: the daily report by goods and the
// periodic report by goods of a full base read batch by batch into the
// shared arrays, exported in each format and read back by independent
// readers, value by value against the records read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "device/DeviceLibrary.h"
#include "platform/CodePages.h"
#include "support_reports.h"

using namespace exchange_test;

namespace {

constexpr int kBaseSize = 5269;

// The register's records as the reading loops put them into the arrays: the
// first filled by the library, each next one unpacked from its raw record.
template <class Record, class First, class Unpack>
std::vector<Record> ReadBatch(const device::DeviceApi& api, First first, Unpack unpack, int rawSize) {
    std::vector<Record> records;
    Record record;
    const char* err = nullptr;
    if (first(record, &err) != Q710_OK) return records;
    CompleteLibraryRecord(record);
    records.push_back(record);
    std::vector<uint8_t> raw(static_cast<std::size_t>(rawSize));
    while (api.NextCommand(raw.data(), rawSize - 1, &err) == Q710_OK) {
        Record next;
        if (!unpack(raw, next)) break;
        records.push_back(std::move(next));
    }
    return records;
}

// Exact decimal text of a count of 1/10^decimals units.
std::string Fixed(int64_t units, int decimals, char sep) {
    int64_t scale = decimals == 2 ? 100 : 1000;
    uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    std::string fraction = std::to_string(magnitude % static_cast<uint64_t>(scale));
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    return (units < 0 ? "-" : "") + std::to_string(magnitude / static_cast<uint64_t>(scale)) + sep + fraction;
}

std::string General(int64_t thousandths, char sep) {
    std::string text = Fixed(thousandths, 3, sep);
    while (text.back() == '0') text.pop_back();
    if (text.back() == sep) text.pop_back();
    return text;
}

// The values of a record as the text formats write them; flags by `yes`/`no`,
// money and quantities by `money` and `quantity`.
template <class Record, class Money, class Quantity>
std::vector<std::string> Expected(const Record& r, const char* yes, const char* no, Money money,
                                  Quantity quantity) {
    std::string name(r.Name());
    name = name.substr(0, name.find('\0'));
    std::vector<std::string> v = {std::to_string(r.number),
                                  std::to_string(r.plu),
                                  std::to_string(r.barcode),
                                  platform::AnsiToUtf8(name),
                                  money(r.price),
                                  quantity(r.remainder),
                                  std::to_string(r.group),
                                  std::to_string(r.tax + 1),
                                  r.weighed != 0 ? yes : no,
                                  r.presenceControl != 0 ? yes : no,
                                  r.saleBlocking != 0 ? yes : no,
                                  std::to_string(r.payoutOperation),
                                  quantity(r.soldQuantity),
                                  money(r.salesSum),
                                  quantity(r.payoutQuantity),
                                  money(r.payoutsSum)};
    if constexpr (std::is_same_v<Record, GoodsStruct>) {
        for (int64_t sum : {int64_t{r.discountsOnSales}, int64_t{r.discountsOnPayouts},
                            int64_t{r.marginsOnSales}, int64_t{r.marginsOnPayouts}})
            v.push_back(money(sum));
    }
    return v;
}

template <class Record>
Rows TextRows(const std::vector<Record>& records, char sep, const char* yes, const char* no) {
    Rows rows;
    for (const Record& r : records)
        rows.push_back(Expected(
            r, yes, no, [sep](int64_t k) { return Fixed(k, 2, sep); },
            [sep](int64_t t) { return General(t, sep); }));
    return rows;
}

// What dbfread reads, numbers printed with their field's decimals. Text
// fields are padded with blanks, so trailing blanks of a name do not stay.
template <class Record> Rows TableRows(const std::vector<Record>& records) {
    Rows rows;
    for (const Record& r : records) {
        rows.push_back(Expected(
            r, "True", "False", [](int64_t k) { return Fixed(k, 2, '.'); },
            [](int64_t t) { return Fixed(t, 3, '.'); }));
        std::string& name = rows.back()[3];
        name.erase(name.find_last_not_of(' ') + 1);
    }
    return rows;
}

Rows PythonXmlItems(const std::string& path) {
    static const char* script = R"PY(
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
print(root.find("HEADER/REPORT_ID").text, len(root.find("FIELDS_NAME").attrib))
for item in root.find("DATA"):
    sys.stdout.buffer.write(("\x1f".join(item.attrib.values()) + "\n").encode("utf-8"))
)PY";
    return SplitRows(RunPython(script, {path}));
}

class ReportsFromTheRegister : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<ScratchDir>();
        WriteFile(folder->File("scenario.txt"), "seed-goods " + std::to_string(kBaseSize) + "\n");
        setenv("Q710_SIM_STATE", folder->File("state.bin").c_str(), 1);
        setenv("Q710_SIM_SCENARIO", folder->File("scenario.txt").c_str(), 1);
        unsetenv("Q710_SIM_LOG");
        library = std::make_unique<device::DeviceLibrary>();
        const char* bin = std::getenv("Q710_BIN_DIR");
        std::string error;
        ASSERT_TRUE(library->Load(bin != nullptr ? bin : ".", error)) << error;
        const device::DeviceApi& api = library->Api();
        const char* err = nullptr;
        ASSERT_NE(api.HostConnect(1, 19200, 20, 20, &err), 0) << device::DeviceText(err);
        day = ReadBatch<GoodsStruct>(
            api, [&api](GoodsStruct& g, const char** e) { return api.GetSaleGoodsByMinNumber(0, &g, e); },
            [](std::span<const uint8_t> raw, GoodsStruct& g) { return UnpackGoodsRecord(raw, g); },
            Q710_RAW_GOODS_SIZE);
        periodic = ReadBatch<PeriodicGoodsStruct>(
            api,
            [&api](PeriodicGoodsStruct& g, const char** e) {
                return api.GetPeriodicReportOfGoodsByNumber(0, &g, e);
            },
            [](std::span<const uint8_t> raw, PeriodicGoodsStruct& g) {
                return UnpackPeriodicGoodsRecord(raw, g);
            },
            Q710_RAW_PERIODIC_GOODS_SIZE);
        api.HostDisconnect();
    }
    static void TearDownTestSuite() {
        day.clear();
        periodic.clear();
        library.reset();
        folder.reset();
    }
    void SetUp() override {
        ASSERT_GT(day.size(), 3000u);
        ASSERT_GT(periodic.size(), 4000u);
        job.arrays.GoodsReport = day;
        job.arrays.PeriodicGoodsReport = periodic;
    }
    exchange::DispatchResult Run(int format, int kind, const std::string& path) {
        return RunExport(job, format, kind, path, ui);
    }
    void ExpectDone() {
        EXPECT_EQ(job.state.MakeMetod.Done, 1);
        EXPECT_TRUE(exchange::Side().FileWritten);
        EXPECT_TRUE(ui.boxes.empty());
    }

    static std::unique_ptr<ScratchDir> folder;
    static std::unique_ptr<device::DeviceLibrary> library;
    static std::vector<GoodsStruct> day;
    static std::vector<PeriodicGoodsStruct> periodic;

    RegionalProfile profile{UkrainianProfile()};
    ScratchDir dir;
    platform::ScriptedUi ui;
    Job job;
};

std::unique_ptr<ScratchDir> ReportsFromTheRegister::folder;
std::unique_ptr<device::DeviceLibrary> ReportsFromTheRegister::library;
std::vector<GoodsStruct> ReportsFromTheRegister::day;
std::vector<PeriodicGoodsStruct> ReportsFromTheRegister::periodic;

} // namespace

TEST_F(ReportsFromTheRegister, DailyAndPeriodicReportsAsCsv) {
    job.state.CsvOptions.Delimiter = ';';
    job.state.CsvOptions.Quotes = true;
    std::string daily = dir.File("day.csv");
    ASSERT_EQ(Run(exchange::FormatCsv, 9, daily), exchange::DispatchResult::Ran);
    ExpectDone();
    EXPECT_EQ(PythonCsvRows(daily, ';', true, "cp1251"), TextRows(day, ',', "1", "0"));
    KeepTestOutput(daily, "day_report_5269.csv");

    std::string period = dir.File("period.csv");
    ASSERT_EQ(Run(exchange::FormatCsv, 6, period), exchange::DispatchResult::Ran);
    ExpectDone();
    EXPECT_EQ(PythonCsvRows(period, ';', true, "cp1251"), TextRows(periodic, ',', "1", "0"));
    KeepTestOutput(period, "periodic_report_5269.csv");
}

TEST_F(ReportsFromTheRegister, DailyAndPeriodicReportsAsDbf) {
    std::string daily = dir.File("day.dbf");
    ASSERT_EQ(Run(exchange::FormatDbf, 9, daily), exchange::DispatchResult::Ran);
    ExpectDone();
    EXPECT_EQ(DbfreadRecords(daily), TableRows(day));
    KeepTestOutput(daily, "day_report_5269.dbf");

    std::string period = dir.File("period.dbf");
    ASSERT_EQ(Run(exchange::FormatDbf, 6, period), exchange::DispatchResult::Ran);
    ExpectDone();
    EXPECT_EQ(DbfreadRecords(period), TableRows(periodic));
    KeepTestOutput(period, "periodic_report_5269.dbf");
}

TEST_F(ReportsFromTheRegister, PeriodicReportAsXml) {
    std::string path = dir.File("period.xml");
    ASSERT_EQ(Run(exchange::FormatXml, 6, path), exchange::DispatchResult::Ran);
    ExpectDone();
    EXPECT_TRUE(XmllintAccepts(path));
    Rows expected = {{"{XMLREP5} 15"}};
    Rows items = TextRows(periodic, ',', "True", "False");
    expected.insert(expected.end(), items.begin(), items.end());
    EXPECT_EQ(PythonXmlItems(path), expected);
    KeepTestOutput(path, "periodic_report_5269.xml");
}
