// What the goods readers take from a row, the conversions they share and the
// frame around them: the register's table size, progress, cancel, the
// duplicate-PLU log.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "exchange/GoodsImport.h"
#include "platform/CodePages.h"
#include "support_goods_files.h"

using namespace exchange_test;
using exchange::FormatCsv;
using exchange::FormatDbf;
using exchange::FormatXls;
using exchange::FormatXml;

namespace {

const char* const kExtension[4] = {".xml", ".xls", ".csv", ".dbf"};

class GoodsReaders : public ::testing::Test {
public:
    GoodsReaders() : profile(UkrainianProfile()) { EnsureApplication(); }
    std::string Write(int format, const std::vector<GoodsRowText>& rows, const std::string& name = "goods") {
        return WriteGoods(dir, format, rows, name);
    }
    std::string WriteText(const std::string& name, const std::string& bytes) {
        std::string path = dir.File(name);
        WriteFile(path, bytes);
        return path;
    }
    ScratchDir dir;
    RegionalProfile profile;
};

std::string Utf8Name(const GoodsProg& g) {
    return platform::AnsiToUtf8(g.Name());
}

TEST(GoodsConversions, RoundingTruthAndLimits) {
    RegionalProfile profile(UkrainianProfile());
    struct Scaled {
        const char* text;
        int scale;
        std::optional<int32_t> value;
    } scaled[] = {
        {"0,125", 100, 12},
        {"0,375", 100, 38},
        {"12,50", 100, 1250},
        {" 7 ", 100, 700},
        {"-1,5", 1000, std::nullopt},
        {"-0", 1000, 0},
        {"1,0005", 1000, 1000},
        {"1,0015", 1000, 1002},
        {"2e3", 1, std::nullopt},
        {"21474836,47", 100, INT32_MAX},
        {"21474836,48", 100, std::nullopt},
        {"1e999", 100, std::nullopt},
        {"", 100, std::nullopt},
        {"1.5", 100, std::nullopt},
        {"1,5,0", 100, std::nullopt},
    };
    for (const Scaled& c : scaled)
        EXPECT_EQ(exchange::AmountOf(platform::AnsiToUtf16(c.text), c.scale), c.value) << c.text;
    EXPECT_EQ(exchange::ScaledOf(std::numeric_limits<double>::quiet_NaN(), 100), std::nullopt);

    struct Truth {
        const char* text;
        std::optional<bool> value;
    } truths[] = {{"True", true}, {"FALSE", false}, {"tRuE", true}, {"1", true}, {"0", false},
                  {"-2,5", true}, {"0,0", false},   {"yes", {}},    {"", {}},    {"Tru", {}}};
    for (const Truth& c : truths) EXPECT_EQ(exchange::TruthOf(c.text), c.value) << c.text;

    EXPECT_EQ(exchange::IntegerOf(" -2147483648 "), -2147483648LL);
    EXPECT_EQ(exchange::IntegerOf("2147483648"), std::nullopt);
    EXPECT_EQ(exchange::IntegerOf("0x10"), std::nullopt);
    EXPECT_EQ(exchange::Integer64Of("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(exchange::Integer64Of("4,8"), std::nullopt);
}

// One table of price and quantity texts, judged alike by the four readers
// under a decimal comma and a decimal point: the value, or the column's
// message (the row dropped on Yes). Texts a format cannot hold are left out
// of it: a minus sign the 8-bit code pages lack in CSV and dBase files, and
// in a dBase number field another point than its decimal one.
TEST_F(GoodsReaders, NumberTextsAlikeInEveryReader) {
    struct Row {
        const char* text;
        const char* comma; // the number it stands for, nullptr: the column's message
        const char* dot;
    } rows[] = {
        {"12,50", "12.50", nullptr},
        {"12.50", nullptr, "12.50"},
        {"1234,56", "1234.56", nullptr}, // as the exports write money
        {"2,5", "2.5", nullptr},         // and quantities
        {"3", "3", "3"},
        {"0", "0", "0"},
        {"1 234,50 грн.", "1234.50", nullptr},
        {"$1,234.50", nullptr, "1234.50"},
        {"1\u00a0234\u00a0567,5", "1234567.5", nullptr},
        {"15,- грн", "15", nullptr},
        {"15.-", nullptr, "15"},
        {"(акція) 12,00", "12", nullptr},
        {"(12.00)", nullptr, nullptr},
        {"−5,00", nullptr, nullptr},
        {"–7,50 грн", nullptr, nullptr},
        {"-0,01", nullptr, nullptr},
        {"12,00-", nullptr, nullptr},
        {"0,500", "0.5", nullptr},
        {"0.500", nullptr, "0.5"},
        {"0,001", "0.001", nullptr},
        {"1e3", nullptr, nullptr},
        {"1,5E3", nullptr, nullptr},
        {"1e-5", nullptr, nullptr},
        {"12 34", nullptr, nullptr},
        {"5 шт.", "5", "5"},
        {",5", "0.5", nullptr},
        {".5", nullptr, "0.5"},
        {"21474836,47", "21474836.47", nullptr},
        {"42949672,95", "42949672.95", nullptr},
    };
    struct Column {
        int column;
        int scale;
        const char* message;
    } const columns[] = {{cPrice, 100, "Помилка в ціні на товар:"},
                         {cQuantity, 1000, "Помилка в кількості товару:"}};
    std::vector<DbfField> fields = GoodsDbfFields();
    fields[cPrice].length = fields[cQuantity].length = 24;
    for (bool point : {false, true}) {
        RegionalProfile regional(point ? DotProfile() : UkrainianProfile());
        for (const Row& row : rows) {
            const std::string text = row.text;
            const char* const number = point ? row.dot : row.comma;
            for (const Column& column : columns) {
                // The value the text stands for, as the register takes it: nothing beyond 32 bits.
                std::optional<int32_t> expected;
                if (number != nullptr) {
                    const double scaled = std::nearbyint(std::strtod(number, nullptr) * column.scale);
                    if (scaled <= INT32_MAX) expected = static_cast<int32_t>(scaled);
                }
                for (int format = 0; format < 4; ++format) {
                    bool lossy = false;
                    platform::Utf8ToAnsi(text, &lossy);
                    if ((format == FormatCsv || format == FormatDbf) && lossy) continue;
                    if (format == FormatDbf && text.find(point ? ',' : '.') != std::string::npos) continue;
                    SCOPED_TRACE(text + (point ? " point " : " comma ") + kExtension[format] + " scale " +
                                 std::to_string(column.scale));
                    GoodsRowText goods = With(With(GoodsRow(1), cPrice, "3"), cQuantity, "3");
                    goods = With(goods, column.column, format == FormatXls ? "'" + text : text);
                    const std::string path = format == FormatDbf
                                                 ? WriteText("n.dbf", GoodsDbf({goods}, fields))
                                                 : Write(format, {goods});
                    ImportSetup yes;
                    if (!expected) yes.answers = {platform::IdYes};
                    ImportRun run = ImportFile(format, 3, path, yes);
                    if (expected) {
                        ASSERT_EQ(run.goods.size(), 1u);
                        EXPECT_TRUE(run.boxes.empty());
                        EXPECT_EQ(column.column == cPrice ? run.goods[0].price : run.goods[0].quantity,
                                  *expected);
                    } else {
                        EXPECT_TRUE(run.goods.empty());
                        ASSERT_EQ(run.boxes.size(), 1u);
                        EXPECT_EQ(run.boxes[0].Utf8Text().rfind(column.message, 0), 0u)
                            << run.boxes[0].Utf8Text();
                    }
                }
            }
        }
    }
}

TEST_F(GoodsReaders, CsvOptions) {
    struct Case {
        const char* what;
        std::string line; // UTF-8, then ANSI; OEM when cp866
        console::CsvOptionsRecord options;
        std::string name; // UTF-8; empty: refused
        int32_t plu = 101;
        int32_t price = 100;
    } cases[] = {
        {"quote at the end only", "1;101;48;Хліб\";1;1;1;1;0;0;0;0", {';', false, true, false, true}, ""},
        {"quote at the start only", "1;101;48;\"Хліб;1;1;1;1;0;0;0;0", {';', false, true, false, true}, ""},
        {"delimiter and doubled quotes inside the quotes",
         "1;101;48;\"Хліб; \"\"Київ\"\"\";1;1;1;1;0;0;0;0",
         {';', false, true, false, true},
         "Хліб; \"Київ\""},
        {"tab inside the quotes",
         "1\t101\t48\t\"Ка\tва\"\t1\t1\t1\t1\t0\t0\t0\t0",
         {'\t', false, true, false, true},
         "Ка\tва"},
        {"no PLU: the barcode alone",
         "1;;48;Хліб;1;1;1;1;0;0;0;0",
         {';', false, false, false, true},
         "Хліб",
         0},
        {"a semicolon in a comma file stays in the name",
         "1,101,48,Хліб; житній,1,1,1,1,0,0,0,0",
         {',', false, false, false, true},
         "Хліб; житній"},
        // Quoted fields are taken whole without QUOTES too, numbers included.
        {"quoted name without the option",
         "1;101;48;\"Хліб; \"\"Київ\"\"\";1;1;1;1;0;0;0;0",
         {';', false, false, false, true},
         "Хліб; \"Київ\""},
        {"decimal commas quoted in a comma file",
         "\"1\",101,48,Хліб,\"12,50\",\"2,5\",1,1,0,0,0,0",
         {',', false, false, false, true},
         "Хліб",
         101,
         1250},
        {"a quote inside an unquoted name",
         "1;101;48;Хліб \"Київ\";1;1;1;1;0;0;0;0",
         {';', false, false, false, true},
         "Хліб \"Київ\""},
        {"quote left open without the option",
         "1;101;48;\"Хліб;1;1;1;1;0;0;0;0",
         {';', false, false, false, true},
         ""},
        {"text after the closing quote without the option",
         "1;101;48;\"Хліб\" 2;1;1;1;1;0;0;0;0",
         {';', false, false, false, true},
         ""},
        // A quoted name is taken whole, its end blanks included, in every setting.
        {"blanks in quotes", "1;101;48;\" Чай\";1;1;1;1;0;0;0;0", {';', false, true, false, true}, " Чай"},
        {"blanks in quotes without the option",
         "1;101;48; \"Чай \" ;1;1;1;1;0;0;0;0",
         {';', false, false, false, true},
         "Чай "},
        {"blanks in quotes in OEM 866",
         "1;101;48;\"  a  \";1;1;1;1;0;0;0;0",
         {';', true, true, false, true},
         "  a  "},
        {"unquoted blanks kept by LRBlanks",
         "1;101;48;  a  ;1;1;1;1;0;0;0;0",
         {';', false, false, true, true},
         "  a  "},
        {"unquoted blanks cut", "1;101;48;  a  ;1;1;1;1;0;0;0;0", {';', false, false, false, true}, "a"},
        // OEM 866 names: what Windows-1251 holds is taken, anything else refused.
        {"cp866 name", "1;101;48;Чай №1 Єє;1;1;1;1;0;0;0;0", {';', true, false, false, true}, "Чай №1 Єє"},
        {"cp866 quoted name", "1;101;48;\"Чай\";1;1;1;1;0;0;0;0", {';', true, true, false, true}, "Чай"},
        {"cp866 black square", "1;101;48;Чай ■;1;1;1;1;0;0;0;0", {';', true, false, false, true}, ""},
        {"cp866 square root", "1;101;48;√2;1;1;1;1;0;0;0;0", {';', true, true, false, true}, ""},
        {"cp866 box drawing", "1;101;48;Чай │ ░;1;1;1;1;0;0;0;0", {';', true, false, false, true}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportSetup setup;
        setup.csv = c.options;
        if (c.name.empty()) setup.answers = {platform::IdYes};
        const std::string bytes = c.options.Cp866 ? platform::Utf16ToOem(platform::Utf8ToUtf16(c.line))
                                                  : platform::Utf8ToAnsi(c.line);
        ImportRun run = ImportFile(FormatCsv, 3, WriteText("o.csv", bytes), setup);
        if (c.name.empty()) {
            // Box 6, and Yes skips the line.
            EXPECT_TRUE(run.goods.empty());
            ASSERT_EQ(run.boxes.size(), 1u);
            EXPECT_EQ(run.boxes[0].Utf8Text(),
                      "Помилка в найменуванні товару:\r\nрядок №1 стовбчик №3!\r\nІгнорувати?");
            EXPECT_TRUE(run.done);
            continue;
        }
        ASSERT_EQ(run.goods.size(), 1u);
        EXPECT_EQ(Utf8Name(run.goods[0]), c.name);
        EXPECT_EQ(run.goods[0].plu, c.plu);
        EXPECT_EQ(run.goods[0].barcode, 48);
        EXPECT_EQ(run.goods[0].price, c.price);
    }
}

TEST_F(GoodsReaders, CsvLinesAndNumbers) {
    // Line ends of every kind; line numbers count empty lines, without a
    // 16-bit limit.
    std::string bytes = GoodsCsv({GoodsRow(1)}) + "\n\r" + platform::Utf8ToAnsi(*GoodsRow(2)[0]) + ";1x\r";
    ImportSetup no;
    no.answers = {platform::IdNo};
    ImportRun run = ImportFile(FormatCsv, 3, WriteText("ends.csv", bytes), no);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(), "Ошибка в коде PLU:\r\nстрока №4 колонка №1!\r\nПропустить строку?");
    std::string many = GoodsCsv({GoodsRow(1)}) + std::string(65540, '\n') + "2;1x\r\n";
    run = ImportFile(FormatCsv, 3, WriteText("many.csv", many), no);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(),
              "Ошибка в коде PLU:\r\nстрока №65542 колонка №1!\r\nПропустить строку?");
}

TEST_F(GoodsReaders, XmlLimitAndMissingValues) {
    std::vector<GoodsRowText> rows;
    for (int n = 0; n < 5271; ++n) rows.push_back(With(GoodsRow(n % 5000), cPlu, std::to_string(n + 1)));
    ImportRun run = ImportFile(FormatXml, 4, Write(FormatXml, rows));
    EXPECT_TRUE(run.done);
    EXPECT_EQ(run.goods.size(), 5269u);
    EXPECT_EQ(run.goods.back().plu, 5269);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(),
              "Імпортовано перші 5269 товарів документа. Не імпортовано товарів: 2.");
    EXPECT_EQ(run.boxes[0].Utf8Caption(), "Повідомлення");
    EXPECT_EQ(run.boxes[0].style, 0x2040u);
    // Only items past the limit are counted: other elements, comments and
    // texts there are no goods.
    std::string document = GoodsXml(rows);
    document.insert(document.rfind("</DATA>"), "<z/><!--c-->text<Other Number='1'/><Item/><z/>");
    run = ImportFile(FormatXml, 4, WriteText("others.xml", document));
    EXPECT_EQ(run.goods.size(), 5269u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(),
              "Імпортовано перші 5269 товарів документа. Не імпортовано товарів: 3.");
    rows.resize(5269);
    document = GoodsXml(rows);
    document.insert(document.rfind("</DATA>"), "<z/><z/><!--c-->");
    run = ImportFile(FormatXml, 4, WriteText("limit.xml", document));
    EXPECT_EQ(run.goods.size(), 5269u);
    EXPECT_TRUE(run.boxes.empty());
    // Remains and group may be left out or empty; a name of blanks passes and is stored empty.
    GoodsRowText sparse =
        With(With(With(GoodsRow(1), cQuantity, std::nullopt), cGroup, ""), cPlu, std::nullopt);
    run = ImportFile(FormatXml, 3, Write(FormatXml, {sparse, With(GoodsRow(2), cName, "   ")}));
    ASSERT_EQ(run.goods.size(), 2u);
    EXPECT_EQ(run.goods[0].quantity, 0);
    EXPECT_EQ(run.goods[0].group, 1);
    EXPECT_EQ(run.goods[0].plu, 0);
    EXPECT_EQ(Utf8Name(run.goods[1]), "");
}

TEST_F(GoodsReaders, WorkbookRows) {
    // Captions and a text row between the data rows are passed over; cells of
    // every kind give their values.
    std::vector<GoodsRowText> rows = {
        GoodsRow(1),
        With(GoodsRow(2), cNumber, "'not a number"),
        With(With(With(GoodsRow(3), cWeight, "TRUE"), cPresence, "'true"), cBlocking, "FALSE"),
        With(With(GoodsRow(4), cPrice, "'1 234,50 грн."), cBarcode, "'0004820000004"),
        With(With(GoodsRow(5), cQuantity, "'1,25"), cTax, "2,5"),
    };
    ImportRun run = ImportFile(FormatXls, 3, Write(FormatXls, rows));
    ASSERT_TRUE(run.done);
    ASSERT_EQ(run.goods.size(), 4u);
    EXPECT_EQ(run.goods[1].plu, 103);
    EXPECT_EQ(run.goods[1].weighed, 1);
    EXPECT_EQ(run.goods[1].presenceControl, 1);
    EXPECT_EQ(run.goods[1].saleBlocking, 0);
    EXPECT_EQ(run.goods[2].price, 123450);
    EXPECT_EQ(run.goods[2].barcode, 4820000004);
    EXPECT_EQ(run.goods[3].quantity, 1250);
    EXPECT_EQ(run.goods[3].tax, 1); // 2,5 rounds to the even 2
}

TEST_F(GoodsReaders, RegisterCancelAndDuplicateLog) {
    // The register cannot tell its table size: nothing is read.
    ImportSetup failing;
    failing.simulator = "fail GetLengthGoodsName text \"Немає відповіді\"";
    ImportRun run = ImportFile(FormatCsv, 3, dir.File("absent.csv"), failing);
    EXPECT_EQ(run.maximum, -1); // never set: nothing was read
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(), "Немає відповіді");
    EXPECT_EQ(run.boxes[0].style, 0x2010u);
    EXPECT_FALSE(run.done);

    // Rows 1, 4 and 7 share a PLU, and 5 and 9: two lines. A cancel after
    // the sixth row still logs what was read.
    std::vector<GoodsRowText> rows;
    for (int n = 1; n <= 9; ++n) {
        int plu = n == 4 || n == 7 ? 1 : n == 9 ? 5 : n;
        rows.push_back(With(With(GoodsRow(n), cPlu, std::to_string(plu)), cNumber, std::to_string(10 * n)));
    }
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(kExtension[format]);
        run = ImportFile(format, 3, Write(format, rows, "dup"));
        EXPECT_TRUE(run.done);
        EXPECT_EQ(run.maximum, 5269); // the register's table size
        EXPECT_EQ(run.steps, 9);
        EXPECT_EQ(platform::AnsiToUtf8(run.log),
                  "[PLU:1 Barcode:4820000000001] Номер за списком: 10 = 40 = 70\r\n"
                  "[PLU:5 Barcode:4820000000005] Номер за списком: 50 = 90\r\n");
        ImportSetup cancel;
        cancel.cancelAfter = 6;
        run = ImportFile(format, 4, Write(format, rows, "cancel"), cancel);
        EXPECT_FALSE(run.done);
        EXPECT_EQ(run.goods.size(), 6u);
        EXPECT_EQ(platform::AnsiToUtf8(run.log),
                  "[PLU:1 Barcode:4820000000001] Номер за списком: 10 = 40\r\n");
    }
}

} // namespace

namespace {

// Damaged, truncated and hostile files: a clear message or a bounded import,
// never a crash, and nothing beyond what the file holds.
TEST_F(GoodsReaders, HostileFiles) {
    const std::string row = platform::Utf8ToAnsi(GoodsCsv({GoodsRow(1)}));
    // A line of 50 MB: the name is taken whole (the register cuts it).
    std::string huge = "1;101;4820000000001;" + std::string(50 << 20, 'x') + ";1;1;1;1;0;0;0;0\r\n";
    ImportRun run = ImportFile(FormatCsv, 3, WriteText("huge.csv", huge));
    ASSERT_EQ(run.goods.size(), 1u);
    EXPECT_EQ(run.goods[0].Name().size(), std::size_t{50} << 20);
    huge.clear();
    // 100,000 fields: the first twelve count.
    std::string wide = row.substr(0, row.size() - 2);
    for (int i = 0; i < 100000; ++i) wide += ";9";
    run = ImportFile(FormatCsv, 3, WriteText("wide.csv", wide + "\r\n"));
    EXPECT_TRUE(run.done && run.goods.size() == 1u && run.boxes.empty());
    // A file cut in the middle of a line: the missing fields are refused.
    ImportSetup no;
    no.answers = {platform::IdNo};
    run = ImportFile(FormatCsv, 3, WriteText("cut.csv", row + row.substr(0, 25)), no);
    EXPECT_EQ(run.goods.size(), 1u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(), "Помилка в ціні на товар:\r\nрядок №2 стовбчик №4!\r\nІгнорувати?");

    // An XML name of 10 MB is beyond what the XML parser takes: its message.
    std::string xml = GoodsXml({With(GoodsRow(1), cName, std::string(10 << 20, 'x'))});
    run = ImportFile(FormatXml, 3, WriteText("long.xml", xml));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_FALSE(run.boxes[0].Utf8Text().empty());
    EXPECT_FALSE(run.done);

    // Tables whose header lies: more records, a longer header or record than the file.
    std::string table = GoodsDbf({GoodsRow(1), GoodsRow(2)});
    for (auto [offset, value] : {std::pair{4, 0x7F}, {8, 0xFF}, {10, 0xFF}, {9, 0x80}}) {
        std::string lying = table;
        lying[static_cast<std::size_t>(offset)] = static_cast<char>(value);
        run = ImportFile(FormatDbf, 3, WriteText("lying.dbf", lying));
        ASSERT_EQ(run.boxes.size(), 1u) << offset;
        EXPECT_EQ(run.boxes[0].Utf8Text(), "Пошкоджена структура даних!");
        EXPECT_TRUE(run.goods.empty());
    }
    // An OEM table whose second name reads as characters ANSI lacks (its
    // ANSI bytes are box drawing in OEM 866): refused, never altered.
    table = GoodsDbf({With(GoodsRow(1), cName, "Tea"), GoodsRow(2)}, GoodsDbfFields(), 0x26);
    run = ImportFile(FormatDbf, 3, WriteText("oem.dbf", table));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Utf8Text(), "Помилка в найменуванні товару:\r\nрядок №2 поле \"Name\"!");
    ASSERT_EQ(run.goods.size(), 1u);
    EXPECT_EQ(run.goods[0].Name(), "Tea");
    EXPECT_FALSE(run.done);
    // A workbook cut short: the component's error, nothing read.
    std::string book = dir.File("whole.xls");
    WriteGoodsXls(book, {GoodsRow(1), GoodsRow(2)});
    std::string bytes = ReadFile(book);
    run = ImportFile(FormatXls, 3, WriteText("cut.xls", bytes.substr(0, bytes.size() / 2)));
    EXPECT_EQ(run.result, exchange::DispatchResult::Failed);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_FALSE(run.boxes[0].Utf8Text().empty());
    EXPECT_FALSE(run.done);
    EXPECT_TRUE(run.goods.empty());
}

} // namespace
