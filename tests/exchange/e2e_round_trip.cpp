// A class test: random register contents (goods and goods groups: names with
// blanks at their ends, quotes, delimiters, line breaks, control characters
// and letters code page 866 lacks; prices and quantities over the whole
// 32-bit range, the limits included) through every export, every CSV option
// and both decimal separators, and back through the program's own import of
// the same format into the simulated register. Every record comes back as it
// was; or the export named the record whose name it changed; or the import
// refused the record with the message of the column whose value the register
// cannot hold (a price or quantity of 2^31 or more); or a dBase export
// refused a value too wide for its field with its error. The register never
// refuses what an import took. From a fixed seed, about a minute;
// Q710_ROUNDTRIP_CASES=N runs N cases, Q710_ROUNDTRIP_SEED=S from seed S.
// The workbook headers before Qt's: its `slots` macro would rewrite them.
#include "SrcXLS/XLSLibState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <regex>
#include <set>

#include "exchange/CsvOptions.h"
#include "exchange/Dispatcher.h"
#include "platform/CodePages.h"
#include "support_reports.h"

using namespace exchange_test;

namespace {

const char* const kExtensions[4] = {"xml", "xls", "csv", "dbf"};

// What a case writes and reads: the format, the CSV options, the separators.
struct Options {
    int format = 0;
    console::CsvOptionsRecord csv{';', false, false, false, true};
    bool point = false;

    std::string Text() const {
        std::string text = kExtensions[format];
        if (format == exchange::FormatCsv)
            text += std::string(" delimiter ") +
                    (csv.Delimiter == '\t' ? "TAB" : std::string(1, csv.Delimiter)) +
                    (csv.Cp866 ? " cp866" : "") + (csv.Quotes ? " quotes" : "") +
                    (csv.LRBlanks ? " lrblanks" : "");
        return text + (point ? " decimal point" : " decimal comma");
    }
};

class Generator {
public:
    explicit Generator(uint64_t seed) : rng(seed) {}

    uint64_t Below(uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(rng); }
    bool OneIn(uint64_t n) { return Below(n) == 0; }

    // A name of at most `size` bytes (ANSI) of pieces shop names are made of
    // and of what files find hard to hold.
    std::string Name(std::size_t size) {
        static const char* const pieces[] = {"Чай",  "Хліб", "Ґудзик", "Їжак",   "cafe",  "7",  "0,5",  " ",
                                             "  ",   "\"",   "'",      ";",      ",",     "\t", "\r\n", "\n",
                                             "\x01", "«",    "»",      "—",      "№",     "і",  "ґ",    "Є",
                                             "&",    "<",    "%",      "\u2122", "\u20AC"};
        std::string name;
        const uint64_t count = 1 + Below(6);
        for (uint64_t i = 0; i < count; ++i) name += platform::Utf8ToAnsi(pieces[Below(std::size(pieces))]);
        if (OneIn(4)) name.insert(0, " ");
        if (OneIn(4)) name += " ";
        name.resize(std::min(name.size(), size));
        return name.empty() ? "x" : name;
    }

    // Kopecks or thousandths: mostly what a shop holds, now and then a limit of the range.
    uint32_t Amount(uint32_t typical) {
        static const uint32_t limits[] = {0,          1,          99,         999999999, 1000000000,
                                          2147483647, 2147483648, 4294967295, 100000};
        if (OneIn(12)) return limits[Below(std::size(limits))];
        if (OneIn(20)) return static_cast<uint32_t>(Below(uint64_t{1} << 32));
        return static_cast<uint32_t>(Below(typical));
    }

    std::vector<GoodsStruct> Goods() {
        std::vector<GoodsStruct> goods(1 + Below(8));
        std::set<int64_t> numbers, plus, barcodes;
        for (GoodsStruct& g : goods) {
            do g.number = static_cast<uint16_t>(Below(5269));
            while (!numbers.insert(g.number).second);
            do {
                g.plu = OneIn(5) ? 0 : static_cast<int32_t>(Below(OneIn(8) ? 0x100000 : 100000));
                g.barcode = OneIn(5) ? 0 : static_cast<int64_t>(Below(10000000000000));
            } while ((g.plu == 0 && g.barcode == 0) || (g.plu != 0 && !plus.insert(g.plu).second) ||
                     (g.barcode != 0 && !barcodes.insert(g.barcode).second));
            g.SetName(Name(31));
            g.price = Amount(10000000);
            g.remainder = Amount(100000000);
            g.group = static_cast<uint8_t>(1 + Below(100));
            g.tax = static_cast<uint8_t>(Below(5));
            g.weighed = OneIn(2) ? -1 : 0;
            g.presenceControl = OneIn(2) ? -1 : 0;
            g.saleBlocking = OneIn(2) ? -1 : 0;
            g.payoutOperation = static_cast<uint8_t>(Below(4));
            for (uint32_t* counter :
                 {&g.soldQuantity, &g.payoutQuantity, &g.salesSum, &g.payoutsSum, &g.discountsOnSales,
                  &g.discountsOnPayouts, &g.marginsOnSales, &g.marginsOnPayouts})
                *counter = OneIn(30) ? Amount(1000000) : static_cast<uint32_t>(Below(1000000));
        }
        return goods;
    }

    std::vector<GoodsGroupRecord> Groups() {
        std::vector<GoodsGroupRecord> table = EmptyGroupTable();
        const uint64_t count = 1 + Below(8);
        for (uint64_t i = 0; i < count; ++i) table[i] = {static_cast<uint8_t>(1 + Below(100)), Name(20)};
        return table;
    }

    Options Choose() {
        Options o;
        o.format = static_cast<int>(Below(4));
        o.point = OneIn(2);
        o.csv.Delimiter = exchange::DelimiterOfItem(static_cast<int>(Below(3)));
        o.csv.Cp866 = OneIn(3);
        o.csv.Quotes = OneIn(2);
        o.csv.LRBlanks = OneIn(2);
        return o;
    }

private:
    std::mt19937_64 rng;
};

// What an export told the user about the names it changed: the numbers it
// listed, and the counts of its paragraphs.
struct Told {
    std::set<int64_t> listed;
    std::vector<std::size_t> counts;
};

Told ToldOf(const std::string& ansi) {
    Told told;
    const std::string text = platform::AnsiToUtf8(ansi);
    static const std::regex count("Змінено назв: (\\d+)");
    for (std::sregex_iterator it(text.begin(), text.end(), count), end; it != end; ++it)
        told.counts.push_back(std::stoul((*it)[1]));
    static const std::regex listed("\r\n№(\\d+) ");
    for (std::sregex_iterator it(text.begin(), text.end(), listed), end; it != end; ++it)
        told.listed.insert(std::stoll((*it)[1]));
    return told;
}

// The names whose change an export told: every changed one, when no
// paragraph names more than it lists, and of the others only those of
// records the import refused for another column; none told when none
// changed.
void ExpectTold(const Told& told, const std::set<int64_t>& changed, const std::set<int64_t>& refused) {
    const bool whole =
        std::all_of(told.counts.begin(), told.counts.end(), [](std::size_t c) { return c <= 5; });
    std::set<int64_t> listed;
    for (int64_t number : told.listed)
        if (refused.count(number) == 0) listed.insert(number);
    if (whole) {
        EXPECT_EQ(listed, changed);
    } else {
        for (int64_t number : listed) EXPECT_EQ(changed.count(number), 1u) << number;
    }
    if (changed.empty() && refused.empty()) {
        EXPECT_TRUE(told.counts.empty());
    }
}

// Whether a dBase export of the goods holds every value in its field.
bool FitsTheTable(const std::vector<GoodsStruct>& goods) {
    constexpr uint32_t kMoney = 999999999; // "9999999.99", ten characters
    return std::all_of(goods.begin(), goods.end(), [](const GoodsStruct& g) {
        return g.plu <= 999999 && g.price <= kMoney && g.salesSum <= kMoney && g.payoutsSum <= kMoney &&
               g.discountsOnSales <= kMoney && g.discountsOnPayouts <= kMoney && g.marginsOnSales <= kMoney &&
               g.marginsOnPayouts <= kMoney;
    });
}

// The record a row of the import's messages names: the sheet row of a
// workbook (from 2), the item of a document (from 0), the line or record of
// a CSV file or table (from 1).
std::size_t RecordOfRow(int format, int64_t row) {
    switch (format) {
    case exchange::FormatXls:
        return static_cast<std::size_t>(row - 2);
    case exchange::FormatXml:
        return static_cast<std::size_t>(row);
    default:
        return static_cast<std::size_t>(row - 1);
    }
}

class RoundTrip : public ::testing::Test {
protected:
    RoundTrip() { EnsureApplication(); }
    void SetProfile(bool point) {
        platform::SetRegional(point ? DotProfile() : UkrainianProfile());
        xls::LibState().Locale = xls::LocaleFromRegional(platform::Regional());
    }
    ~RoundTrip() override {
        platform::SetRegional(previous);
        xls::LibState().Locale = xls::LocaleFromRegional(previous);
    }
    void Goods(Generator& random, const Options& o, const std::string& path);
    void Groups(Generator& random, const Options& o, const std::string& path);

    platform::RegionalSettings previous = platform::Regional();
    ScratchDir dir;
    // What the cases met, so that a run that meets none of it fails.
    struct Met {
        std::size_t refused = 0;    // records refused by a column's message
        std::size_t told = 0;       // exports that named names they changed
        std::size_t tooWide = 0;    // dBase exports refused
        std::size_t registered = 0; // records the register holds as they were
    } met;
};

void RoundTrip::Goods(Generator& random, const Options& o, const std::string& path) {
    const std::vector<GoodsStruct> original = random.Goods();
    Job job;
    job.state.CsvOptions = o.csv;
    ASSERT_TRUE(ConnectSimulator(job.state));
    job.arrays.GoodsReport = original;
    std::string told;
    {
        platform::ScriptedUi ui;
        const exchange::DispatchResult result =
            RunExport(job, o.format, 5 + 4 * static_cast<int>(random.Below(2)), path, ui);
        if (o.format == exchange::FormatDbf && !FitsTheTable(original)) {
            // A value too wide for its field: the table's own error, and no file.
            EXPECT_EQ(result, exchange::DispatchResult::Failed);
            EXPECT_FALSE(FileExists(path));
            ++met.tooWide;
            return;
        }
        ASSERT_EQ(result, exchange::DispatchResult::Ran);
        ASSERT_TRUE(FileExists(path));
        told = job.state.ExportChanges;
    }

    platform::ScriptedUi ui;
    for (int i = 0; i < 20; ++i) ui.QueueAnswer(platform::IdYes); // drop each refused record
    // As the job window starts every job.
    job.state.MakeMetod = {3, path, 0, 0};
    job.arrays.ImportedGoods.clear();
    exchange::JobContext context = job.Context();
    exchange::Dispatch(context, o.format, 3);

    // The refused records: each by its column's message about a value of 2^31 or more.
    std::set<std::size_t> refused;
    static const std::regex row("(?:№|#)(\\d+)");
    for (const platform::ScriptedUi::Box& box : ui.boxes) {
        const std::string text = box.Utf8Text();
        std::smatch m;
        ASSERT_TRUE(std::regex_search(text, m, row)) << text;
        const std::size_t record = RecordOfRow(o.format, std::stoll(m[1]));
        ASSERT_LT(record, original.size()) << text;
        const GoodsStruct& g = original[record];
        const bool price = text.rfind("Помилка в ціні на товар:", 0) == 0;
        const bool quantity = text.rfind("Помилка в кількості товару:", 0) == 0;
        // A name the file keeps no character of (blanks, control characters) reads back empty.
        const bool name = text.rfind("Найменування товару повинно містити хоча б один символ!", 0) == 0;
        const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
        EXPECT_TRUE((price && g.price > INT32_MAX) ||
                    (quantity && g.price <= INT32_MAX && g.remainder > INT32_MAX) ||
                    (name && std::all_of(g.Name().begin(), g.Name().end(), isBlank)))
            << text << "\nprice " << g.price << " quantity " << g.remainder;
        refused.insert(record);
        ++met.refused;
    }
    // The dBase reader ends at its first refusal: nothing reaches the register then.
    if (job.state.MakeMetod.Done != 1) {
        EXPECT_EQ(o.format, exchange::FormatDbf);
        EXPECT_EQ(refused.size(), 1u);
        return;
    }
    ASSERT_EQ(job.arrays.ImportedGoods.size() + refused.size(), original.size());

    // Loaded as the goods page loads them: the register takes every record.
    const device::DeviceApi& api = job.state.Api();
    const char* err = nullptr;
    ASSERT_EQ(api.SetLengthGoodsName(31, &err), 0);
    for (std::size_t i = 0; i < job.arrays.ImportedGoods.size(); ++i)
        ASSERT_EQ(api.SetGoodsByNumber(static_cast<uint16_t>(i), job.arrays.ImportedGoods[i], &err), 0)
            << i << " " << device::DeviceText(err);
    std::set<int64_t> changed;
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (refused.count(i) != 0) continue;
        const GoodsStruct& want = original[i];
        SCOPED_TRACE("record " + std::to_string(i) + " " + platform::AnsiToUtf8(want.Name()));
        GoodsStruct got;
        ASSERT_EQ(api.GetGoodsByCode(want.plu, want.barcode, &got, &err), 0) << device::DeviceText(err);
        CompleteLibraryRecord(got);
        EXPECT_EQ(got.price, want.price);
        EXPECT_EQ(got.remainder, want.remainder);
        EXPECT_EQ(got.group, want.group);
        EXPECT_EQ(got.tax, want.tax);
        EXPECT_EQ(got.weighed != 0, want.weighed != 0);
        EXPECT_EQ(got.presenceControl != 0, want.presenceControl != 0);
        EXPECT_EQ(got.saleBlocking != 0, want.saleBlocking != 0);
        EXPECT_EQ(got.payoutOperation, want.payoutOperation);
        if (got.Name() != want.Name())
            changed.insert(want.number);
        else
            ++met.registered;
    }
    std::set<int64_t> refusedNumbers;
    for (std::size_t record : refused) refusedNumbers.insert(original[record].number);
    ExpectTold(ToldOf(told), changed, refusedNumbers);
    if (!told.empty()) ++met.told;
}

void RoundTrip::Groups(Generator& random, const Options& o, const std::string& path) {
    const std::vector<GoodsGroupRecord> original = random.Groups();
    const std::size_t used = UsedGroupEntries(original);
    Job job;
    job.state.CsvOptions = o.csv;
    job.arrays.GoodsGroupTable = original;
    platform::ScriptedUi ui;
    ASSERT_EQ(RunExport(job, o.format, 2, path, ui), exchange::DispatchResult::Ran);
    const std::string told = job.state.ExportChanges;
    job.state.MakeMetod = {1, path, 0, 0};
    exchange::JobContext context = job.Context();
    exchange::Dispatch(context, o.format, 1);
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].Utf8Text());
    ASSERT_EQ(job.state.MakeMetod.Done, 1);
    const std::vector<GoodsGroupRecord>& table = job.arrays.GoodsGroupTable;
    ASSERT_EQ(UsedGroupEntries(table), used);
    std::set<int64_t> changed;
    for (std::size_t i = 0; i < used; ++i) {
        EXPECT_EQ(table[i].Number, original[i].Number);
        if (table[i].Name != original[i].Name) changed.insert(original[i].Number);
    }
    ExpectTold(ToldOf(told), changed, {});
}

TEST_F(RoundTrip, RegisterContentsComeBackThroughEveryExport) {
    const char* cases = std::getenv("Q710_ROUNDTRIP_CASES");
    const char* seed = std::getenv("Q710_ROUNDTRIP_SEED");
    const std::size_t count = cases != nullptr ? std::strtoull(cases, nullptr, 10) : 2000;
    Generator random(seed != nullptr ? std::strtoull(seed, nullptr, 10) : 52);
    for (std::size_t n = 0; n < count; ++n) {
        const Options o = random.Choose();
        const bool goods = random.OneIn(4) == false;
        SCOPED_TRACE("case " + std::to_string(n) + (goods ? " goods " : " groups ") + o.Text());
        SetProfile(o.point);
        const std::string name = std::string(goods ? "goods." : "groups.") + kExtensions[o.format];
        const std::string path = dir.File(name);
        if (goods)
            Goods(random, o, path);
        else
            Groups(random, o, path);
        if (HasFailure()) {
            if (FileExists(path)) testfiles::KeepTestOutput(path, "roundtrip_" + name);
            break;
        }
        std::remove(path.c_str());
    }
    if (count >= 1000) {
        EXPECT_GT(met.refused, 0u);
        EXPECT_GT(met.told, 0u);
        EXPECT_GT(met.tooWide, 0u);
        EXPECT_GT(met.registered, count);
    }
}

} // namespace
