// The goods report and the periodic goods report as CSV: every option set
// read back by Python's csv module, the bytes where the options leave the
// file ambiguous, and the job's save and cancel paths.
#include <algorithm>
#include <gtest/gtest.h>

#include "exchange/ReportCsvExport.h"
#include "platform/CodePages.h"
#include "support_reports.h"

using namespace exchange_test;

namespace {

struct CsvCase {
    platform::RegionalSettings profile;
    char delimiter;
    bool quotes;
    bool cp866;
};

std::string Describe(const CsvCase& c) {
    return std::string("decimal '") + c.profile.decimalSeparator + "' delimiter " +
           (c.delimiter == '\t' ? std::string("TAB") : std::string(1, c.delimiter)) +
           (c.quotes ? " quotes" : "") + (c.cp866 ? " cp866" : "");
}

// Every option set: values holding the delimiter or a quote are quoted, so
// a comma delimiter with decimal commas reads back too.
std::vector<CsvCase> EveryCase() {
    std::vector<CsvCase> cases;
    for (const auto& profile : {UkrainianProfile(), DotProfile()})
        for (char delimiter : {';', ',', '\t'})
            for (bool quotes : {false, true})
                for (bool cp866 : {false, true}) cases.push_back({profile, delimiter, quotes, cp866});
    return cases;
}

// A name holding every delimiter and quotes.
const char* const kHardName = "Хліб \"Київ\"; житній,\tсвіжий";

// OEM 866 has no Ukrainian і: it is written as the Latin letter.
Rows AsCodePage(Rows rows, bool cp866) {
    if (!cp866) return rows;
    for (auto& row : rows)
        for (std::string& value : row)
            for (std::size_t at; (at = value.find("і")) != std::string::npos;) value.replace(at, 2, "i");
    return rows;
}

template <class Record>
std::string WriteCsv(Job& job, const ScratchDir& dir, const CsvCase& c, int kind, std::vector<Record> records,
                     std::vector<Record> SharedArrays::*array) {
    platform::ScriptedUi ui;
    job.arrays.*array = std::move(records);
    job.state.CsvOptions.Delimiter = c.delimiter;
    job.state.CsvOptions.Quotes = c.quotes;
    job.state.CsvOptions.Cp866 = c.cp866;
    std::string path = dir.File("report" + std::to_string(kind) + ".csv");
    EXPECT_EQ(RunExport(job, exchange::FormatCsv, kind, path, ui), exchange::DispatchResult::Ran);
    return path;
}

} // namespace

TEST(ReportCsv, ReportsReadBackUnderEveryOptionSet) {
    ScratchDir dir;
    int kinds[] = {5, 9, 10};
    int n = 0;
    for (const CsvCase& c : EveryCase()) {
        SCOPED_TRACE(Describe(c));
        RegionalProfile profile(c.profile);
        Job job;
        int kind = kinds[n++ % 3];
        GoodsStruct hard = Bread();
        hard.SetName(platform::Utf8ToAnsi(kHardName));
        std::string path = WriteCsv(job, dir, c, kind, {hard, Widest()}, &SharedArrays::GoodsReport);
        char sep = c.profile.decimalSeparator;
        const char* encoding = c.cp866 ? "cp866" : "cp1251";
        Rows expected = {BreadTexts(sep), WidestTexts(sep)};
        expected[0][3] = kHardName;
        EXPECT_EQ(PythonCsvRows(path, c.delimiter, true, encoding), AsCodePage(expected, c.cp866));
        // The name CP866 cannot hold is named after the export, with its number; the one it holds is not.
        EXPECT_EQ(platform::AnsiToUtf8(job.state.ExportChanges),
                  c.cp866
                      ? std::string("Кодова сторінка CP866 не має деяких літер назв, тож у файлі їх замінено "
                                    "схожими знаками. Змінено назв: 1:\r\n№1 ") +
                            kHardName
                      : "");
        // Every line ends with CR LF and no delimiter.
        std::string bytes = ReadFile(path);
        ASSERT_GE(bytes.size(), 3u);
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
        EXPECT_NE(bytes[bytes.size() - 3], c.delimiter);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2);
        EXPECT_EQ(bytes.find("\r\n"), bytes.find('\n') - 1);
        if (n == 1) KeepTestOutput(path, "goods_report.csv");
        // The periodic report keeps the signs and the width of its counters.
        path =
            WriteCsv(job, dir, c, 6, {PeriodicBread(), PeriodicLarge()}, &SharedArrays::PeriodicGoodsReport);
        EXPECT_EQ(PythonCsvRows(path, c.delimiter, true, encoding),
                  AsCodePage({PeriodicBreadTexts(sep), PeriodicLargeTexts(sep)}, c.cp866));
        EXPECT_EQ(job.state.ExportChanges, "");
    }
}

// A value holding the delimiter or a quote is quoted, a number too, with its
// quotes doubled, whatever QUOTES says; QUOTES quotes the texts besides.
// OEM 866 turns typographic quotes into plain ones, which are then doubled.
TEST(ReportCsv, ValuesHoldingTheDelimiterOrAQuoteAreQuoted) {
    RegionalProfile profile(UkrainianProfile());
    const struct {
        const char* name;
        char delimiter;
        bool quotes, cp866;
        std::string line; // UTF-8; OEM bytes for cp866
    } cases[] = {
        {"Хліб \"Київ\"", ',', true, true,
         "7,12,0,\"\x95\xAB"
         "i\xA1 \"\"\x8A\xA8\xF5\xA2\"\"\",\"150,75\",\"2,5\",1,3,1,0,1,0,\"-2,5\",\"-1,50\",3,\"0,00\""},
        {"Хліб \"Київ\"", '\t', false, false,
         "7\t12\t0\t\"Хліб \"\"Київ\"\"\"\t150,75\t2,5\t1\t3\t1\t0\t1\t0\t-2,5\t-1,50\t3\t0,00"},
        {"Сир; твердий", ';', false, false,
         "7;12;0;\"Сир; твердий\";150,75;2,5;1;3;1;0;1;0;-2,5;-1,50;3;0,00"},
        {"Сир\tтвердий", ';', false, false, "7;12;0;Сир\tтвердий;150,75;2,5;1;3;1;0;1;0;-2,5;-1,50;3;0,00"},
        {"Сир «Ок»", ';', false, true,
         "7;12;0;\"\x91\xA8\xE0 \"\"\x8E\xAA\"\"\";150,75;2,5;1;3;1;0;1;0;-2,5;-1,50;3;0,00"},
        {"Сир", ';', true, false, "7;12;0;\"Сир\";150,75;2,5;1;3;1;0;1;0;-2,5;-1,50;3;0,00"},
    };
    const exchange::ReportLayout& layout = exchange::PeriodicGoodsReportLayout();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PeriodicGoodsStruct cheese = PeriodicBread();
        cheese.SetName(platform::Utf8ToAnsi(c.name));
        console::CsvOptionsRecord options;
        options.Delimiter = c.delimiter;
        options.Quotes = c.quotes;
        options.Cp866 = c.cp866;
        EXPECT_EQ(exchange::ReportCsvLine(layout, exchange::RowOf(cheese), options),
                  c.cp866 ? c.line : platform::Utf8ToAnsi(c.line));
    }
}

TEST(ReportCsv, LineBreaksInANameDoNotSplitTheRecord) {
    ScratchDir dir;
    RegionalProfile profile(DotProfile());
    GoodsStruct broken = Bread();
    broken.SetName("A\r\nB\nC");
    Job job;
    CsvCase c{DotProfile(), ';', true, false};
    std::string path = WriteCsv(job, dir, c, 9, {broken, Bread()}, &SharedArrays::GoodsReport);
    Rows rows = PythonCsvRows(path, ';', true, "cp1251");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][3], "A  B C");
    EXPECT_EQ(rows[1], BreadTexts('.'));
}

// A CSV export in code page 866 names the names it cannot hold, in every
// report that has names and in the groups: how many, and the first five
// with their numbers; nothing when it held them all, or wrote no file.
TEST(ReportCsv, Cp866ExportsNameTheNamesTheyChange) {
    ScratchDir dir;
    RegionalProfile profile(UkrainianProfile());
    const std::string head = "Кодова сторінка CP866 не має деяких літер назв, тож у файлі їх замінено "
                             "схожими знаками. Змінено назв: ";
    std::vector<GoodsStruct> goods;
    const char* const names[] = {"Хліб", "Сир",        "Ґудзик", "Чай «Липа»", "Кава",
                                 "Їжак", "Вода — газ", "Сік…",   "Ціна €"};
    for (int i = 0; i < 9; ++i) {
        GoodsStruct g = Bread();
        g.number = static_cast<uint16_t>(10 + i);
        g.SetName(platform::Utf8ToAnsi(names[i]));
        goods.push_back(g);
    }
    PeriodicGoodsStruct periodic = PeriodicBread();
    periodic.SetName(platform::Utf8ToAnsi("Сир «Гауда» і ґуля"));
    std::vector<GoodsGroupRecord> groups = EmptyGroupTable();
    groups[0] = {4, platform::Utf8ToAnsi("Напої")};
    groups[1] = {9, platform::Utf8ToAnsi("Хлібобулочні")};
    const struct {
        const char* what;
        int kind;
        bool cp866;
        bool saved;
        std::string told;
    } cases[] = {
        {"goods", 5, true, true,
         head + "6, перші з них:\r\n№10 Хліб\r\n№12 Ґудзик\r\n№13 Чай «Липа»\r\n№16 Вода — газ\r\n№17 Сік…"},
        {"goods in 1251", 9, false, true, ""},
        {"goods not saved", 10, true, false, ""},
        {"periodic", 6, true, true, head + "1:\r\n№7 Сир «Гауда» і ґуля"},
        {"groups", 2, true, true, head + "1:\r\n№9 Хлібобулочні"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::ScriptedUi ui;
        Job job;
        job.arrays.GoodsReport = goods;
        job.arrays.PeriodicGoodsReport = {periodic};
        job.arrays.GoodsGroupTable = groups;
        job.state.CsvOptions.Cp866 = c.cp866;
        std::optional<std::string> path;
        if (c.saved) path = dir.File("changes.csv");
        EXPECT_EQ(RunExport(job, exchange::FormatCsv, c.kind, path, ui), exchange::DispatchResult::Ran);
        EXPECT_EQ(platform::AnsiToUtf8(job.state.ExportChanges), c.told);
    }
}
