// Goods files that other programs wrote import with every value: XML from
// Python's ElementTree, workbooks from xlwt, LibreOffice and gnumeric and
// BIFF2-BIFF4 files built byte by byte, CSV from Python's csv module in
// CP1251 and CP866 with each option, dBase III tables built with struct.
#include <gtest/gtest.h>

#include <cstdlib>

#include "exchange/GoodsImport.h"
#include "platform/CodePages.h"
#include "support_goods_files.h"
#include "support_process.h"

using namespace exchange_test;

namespace {

struct Goods {
    int number;
    std::optional<int> plu;
    std::string barcode;
    std::string name;            // UTF-8
    std::string price, quantity; // with '.'
    int32_t kopecks, thousandths;
    int group, tax;
    bool weighed, presence, blocking;
    int payout;
};

// Names without the delimiters and quotes of the CSV files, whose writer
// would quote them.
const std::vector<Goods> kGoods = {
    {0, 101, "4820000000017", "Хліб білий", "12.50", "2.5", 1250, 2500, 3, 2, true, false, true, 2},
    {1, std::nullopt, "4820000000024", "Молоко 2.5%", "0.125", "1000", 12, 1000000, 100, 5, false, true,
     false, 0},
    {2, 7, "1", "Ґудзики (Зірка)", "0.375", "0.0004", 38, 0, 1, 1, true, true, true, 3},
    {3, 999999, "9999999999999", "Їжак-печиво №2", "9999999.99", "2147483.647", 999999999, 2147483647, 50, 4,
     false, false, false, 1},
    {4, 101, "4820000000031", "Сир твердий", "99", "0", 9900, 0, 7, 3, false, true, true, 0},
};

// The best fit of the letters CP866 lacks, as the program's tables have it.
std::string Oem866(std::string name) {
    for (auto [from, to] :
         {std::pair<const char*, const char*>{"І", "I"}, {"і", "i"}, {"Ґ", "Г"}, {"ґ", "г"}})
        for (std::size_t at; (at = name.find(from)) != std::string::npos;)
            name.replace(at, std::string(from).size(), to);
    return name;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else
            out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    }
    return out + "\"";
}

// The rows as goods_writers.py takes them, names changed by `name`.
std::string Recipe(const std::function<std::string(const Goods&)>& name, const std::string& options) {
    std::string rows;
    for (const Goods& g : kGoods) {
        if (!rows.empty()) rows += ",";
        rows += "[" + std::to_string(g.number) + "," + (g.plu ? std::to_string(*g.plu) : "null") + "," +
                Json(g.barcode) + "," + Json(name(g)) + "," + Json(g.price) + "," + Json(g.quantity) + "," +
                std::to_string(g.group) + "," + std::to_string(g.tax) + "," + std::to_string(g.weighed) +
                "," + std::to_string(g.presence) + "," + std::to_string(g.blocking) + "," +
                std::to_string(g.payout) + "]";
    }
    return "{\"rows\": [" + rows + "]" + options + "}";
}

std::string Writers() {
    const char* source = std::getenv("Q710_SOURCE_DIR");
    return testfiles::Slurp(std::string(source ? source : "..") + "/tests/exchange/goods_writers.py");
}

// The CSV a spreadsheet program converts: captions, then the rows with '.'.
std::string SheetCsv(char delimiter, const std::function<std::string(const Goods&)>& name) {
    std::string text =
        "НОМЕР;ШТРИХ-КОД;PLU;НАЙМЕНУВАННЯ;ЦІНА;ЗАЛИШОК;ГРУПА;ПДВ;ВАГА;НАЯВНІСТЬ;БЛОК;ВИПЛАТА\n";
    if (delimiter != ';') std::replace(text.begin(), text.end(), ';', delimiter);
    for (const Goods& g : kGoods) {
        std::vector<std::string> v = {std::to_string(g.number),
                                      g.barcode,
                                      g.plu ? std::to_string(*g.plu) : "",
                                      "\"" + name(g) + "\"",
                                      g.price,
                                      g.quantity,
                                      std::to_string(g.group),
                                      std::to_string(g.tax),
                                      std::to_string(g.weighed),
                                      std::to_string(g.presence),
                                      std::to_string(g.blocking),
                                      std::to_string(g.payout)};
        for (std::size_t i = 0; i < v.size(); ++i) text += (i ? std::string(1, delimiter) : "") + v[i];
        text += "\n";
    }
    return text;
}

void ExpectGoods(const ImportRun& run, int format, const std::function<std::string(const Goods&)>& name) {
    ASSERT_TRUE(run.boxes.empty()) << run.boxes[0].Utf8Text();
    ASSERT_TRUE(run.done);
    ASSERT_EQ(run.goods.size(), kGoods.size());
    const int16_t set = format == exchange::FormatXls ? 1 : -1;
    for (std::size_t i = 0; i < kGoods.size(); ++i) {
        const Goods& want = kGoods[i];
        const GoodsProg& got = run.goods[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.plu, want.plu.value_or(0));
        EXPECT_EQ(got.barcode, std::stoll(want.barcode));
        EXPECT_EQ(platform::AnsiToUtf8(got.Name()), name(want));
        EXPECT_EQ(got.price, want.kopecks);
        EXPECT_EQ(got.quantity, want.thousandths);
        EXPECT_EQ(got.group, want.group);
        EXPECT_EQ(got.tax, want.tax - 1);
        EXPECT_EQ(got.weighed, want.weighed ? set : 0);
        EXPECT_EQ(got.presenceControl, want.presence ? set : 0);
        EXPECT_EQ(got.saleBlocking, want.blocking ? set : 0);
        EXPECT_EQ(got.payoutOperation, want.payout);
    }
    // PLU 101 twice: the log names both numbers.
    EXPECT_EQ(platform::AnsiToUtf8(run.log), "[PLU:101 Barcode:4820000000017] Номер за списком: 0 = 4\r\n");
}

// A gnumeric conversion that must succeed.
void ExpectRuns(const std::string& command) {
    const testfiles::TProgramRun run = testfiles::RunProgram(command);
    ASSERT_EQ(run.Status, 0) << run.Why();
}

const auto kSame = [](const Goods& g) { return g.name; };
const auto kOem = [](const Goods& g) { return Oem866(g.name); };
const auto kLatin = [](const Goods& g) { return "Goods " + std::to_string(g.number); };
// Names holding every delimiter and quotes, which a CSV writer quotes.
const auto kQuoted = [](const Goods& g) { return g.name + "; \"кава\",\tчай"; };
const auto kOemQuoted = [](const Goods& g) { return Oem866(kQuoted(g)); };

class GoodsFiles : public ::testing::Test {
public:
    GoodsFiles() { EnsureApplication(); }
    // Writes the goods with goods_writers.py.
    std::string Write(const std::string& kind, const std::string& name, const std::string& recipe) {
        std::string recipeFile = dir.File(name + ".json");
        WriteFile(recipeFile, recipe);
        std::string path = dir.File(name);
        testfiles::RunPython(Writers(), {kind, path, recipeFile});
        return path;
    }
    ScratchDir dir;
};

TEST_F(GoodsFiles, XmlFromElementTree) {
    RegionalProfile profile(UkrainianProfile());
    for (const char* encoding : {"UTF-8", "windows-1251"}) {
        SCOPED_TRACE(encoding);
        std::string path = Write("xml", std::string(encoding) + ".xml",
                                 Recipe(kSame, std::string(", \"encoding\": \"") + encoding + "\""));
        ExpectGoods(ImportFile(exchange::FormatXml, 3, path), exchange::FormatXml, kSame);
    }
}

TEST_F(GoodsFiles, CsvFromPythonWithEveryOption) {
    struct Case {
        const char* what;
        std::string options; // for goods_writers.py
        console::CsvOptionsRecord csv;
        bool dot;
        std::function<std::string(const Goods&)> name; // in the file
        std::function<std::string(const Goods&)> read = {};
    } cases[] = {
        {"cp1251 semicolon", "", {';', false, false, false, true}, false, kSame},
        {"cp1251 comma, dot decimals",
         ", \"delimiter\": \",\", \"decimal\": \".\"",
         {',', false, false, false, true},
         true,
         kSame},
        {"cp1251 tab", ", \"delimiter\": \"\\t\"", {'\t', false, false, false, true}, false, kSame},
        {"quoted names", ", \"quotes\": true", {';', false, true, false, true}, true, kSame},
        {"cp866", ", \"encoding\": \"cp866\"", {';', true, false, false, true}, false, kOem},
        {"cp866 quoted",
         ", \"encoding\": \"cp866\", \"quotes\": true",
         {';', true, true, false, true},
         true,
         kOem},
        {"blanks kept in quotes",
         ", \"quotes\": true, \"blanks\": true",
         {';', false, true, true, true},
         true,
         kSame,
         [](const Goods& g) { return " " + g.name + " "; }},
        // A quoted name is taken whole, its blanks too, whatever LRBlanks says.
        {"blanks kept in quotes without LRBlanks",
         ", \"quotes\": true, \"blanks\": true",
         {';', false, true, false, true},
         true,
         kSame,
         [](const Goods& g) { return " " + g.name + " "; }},
        {"empty lines skipped", ", \"empty_lines\": true", {';', false, false, false, true}, false, kSame},
        // Fields holding the delimiter or a quote are quoted by the writer and
        // taken whole with QUOTES or without: decimal commas in a comma file,
        // names with delimiters and doubled quotes.
        {"cp1251 comma, decimal commas quoted",
         ", \"delimiter\": \",\"",
         {',', false, false, false, true},
         false,
         kQuoted},
        {"cp1251 tab, names quoted",
         ", \"delimiter\": \"\\t\"",
         {'\t', false, false, false, true},
         false,
         kQuoted},
        {"cp1251 semicolon, names quoted", "", {';', false, false, false, true}, false, kQuoted},
        {"all texts quoted, comma",
         ", \"quotes\": true, \"delimiter\": \",\"",
         {',', false, true, false, true},
         true,
         kQuoted},
        {"cp866 comma, decimal commas quoted",
         ", \"encoding\": \"cp866\", \"delimiter\": \",\"",
         {',', true, false, false, true},
         false,
         kOemQuoted},
        {"cp866 tab, all texts quoted",
         ", \"encoding\": \"cp866\", \"quotes\": true, \"delimiter\": \"\\t\"",
         {'\t', true, true, false, true},
         true,
         kOemQuoted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegionalProfile profile(c.dot ? DotProfile() : UkrainianProfile());
        std::string path = Write("csv", "goods.csv", Recipe(c.name, c.options));
        ImportSetup setup;
        setup.csv = c.csv;
        ExpectGoods(ImportFile(exchange::FormatCsv, 3, path, setup), exchange::FormatCsv,
                    c.read ? c.read : c.name);
    }
}

TEST_F(GoodsFiles, DbfBuiltWithStruct) {
    RegionalProfile profile(UkrainianProfile());
    ExpectGoods(ImportFile(exchange::FormatDbf, 3, Write("dbf", "goods.dbf", Recipe(kSame, ""))),
                exchange::FormatDbf, kSame);
    // Code-page byte 0x26, and dBase's own mark of code page 866 (0x65): the names are OEM text.
    for (const char* mark : {"38", "101"}) {
        SCOPED_TRACE(mark);
        ExpectGoods(
            ImportFile(exchange::FormatDbf, 3,
                       Write("dbf", "oem.dbf",
                             Recipe(kOem, std::string(", \"encoding\": \"cp866\", \"codepage\": ") + mark))),
            exchange::FormatDbf, kOem);
    }
}

TEST_F(GoodsFiles, WorkbooksOfEveryBiffVersion) {
    RegionalProfile profile(UkrainianProfile());
    struct Case {
        const char* kind;
        std::string options;
    } cases[] = {
        {"xls", ""}, // xlwt, BIFF8: number cells
        {"xls", ", \"text_barcodes\": true, \"money_text\": true"},
        {"biff2", ""},
        {"biff3", ""},
        {"biff4", ", \"text_barcodes\": true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + c.options);
        std::string path = Write(c.kind, std::string(c.kind) + ".xls", Recipe(kSame, c.options));
        ExpectGoods(ImportFile(exchange::FormatXls, 3, path), exchange::FormatXls, kSame);
    }
}

// LibreOffice converts a CSV to BIFF8 in one call; gnumeric writes BIFF5
// (its BIFF5 text is Latin-1, so these names are Latin).
TEST_F(GoodsFiles, WorkbooksOfSpreadsheetPrograms) {
    RegionalProfile profile(UkrainianProfile());
    WriteFile(dir.File("lo.csv"), SheetCsv(';', kSame));
    const testfiles::TProgramRun lo =
        testfiles::LibreOfficeConvert({dir.File("lo.csv")}, dir.File("lo"), "xls", "CSV:59,34,76,1,,1033");
    ASSERT_EQ(lo.Status, 0) << lo.Why();
    ExpectGoods(ImportFile(exchange::FormatXls, 3, dir.File("lo/lo.xls")), exchange::FormatXls, kSame);

    WriteFile(dir.File("gn.csv"), SheetCsv(',', kLatin));
    ExpectRuns("ssconvert -T Gnumeric_Excel:excel_biff7 '" + dir.File("gn.csv") + "' '" + dir.File("gn.xls") +
               "'");
    ExpectGoods(ImportFile(exchange::FormatXls, 4, dir.File("gn.xls")), exchange::FormatXls, kLatin);
}

// An .xlsx file named in the import dialog imports through the package
// reader: LibreOffice and gnumeric convert the CSV to packages.
TEST_F(GoodsFiles, PackagesOfSpreadsheetPrograms) {
    RegionalProfile profile(UkrainianProfile());
    WriteFile(dir.File("goods.csv"), SheetCsv(';', kSame));
    const testfiles::TProgramRun lo = testfiles::LibreOfficeConvert({dir.File("goods.csv")}, dir.File("lo"),
                                                                    "xlsx", "CSV:59,34,76,1,,1033");
    ASSERT_EQ(lo.Status, 0) << lo.Why();
    ExpectGoods(ImportFile(exchange::FormatXls, 3, dir.File("lo/goods.xlsx")), exchange::FormatXls, kSame);

    WriteFile(dir.File("gn.csv"), SheetCsv(',', kSame));
    ExpectRuns("ssconvert -T Gnumeric_Excel:xlsx2 '" + dir.File("gn.csv") + "' '" + dir.File("gn.xlsx") +
               "'");
    ExpectGoods(ImportFile(exchange::FormatXls, 4, dir.File("gn.xlsx")), exchange::FormatXls, kSame);
}

} // namespace
