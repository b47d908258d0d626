// Goods-group imports in the four formats: what reaches GoodsGroupTable,
// whether the job counts as done, and every message byte for byte, one table
// of files per format.
#include <gtest/gtest.h>

#include "SrcXLS/Tabrix4.h"
#include "exchange/CsvOptions.h"
#include "exchange/DBF.h"
#include "exchange/Dispatcher.h"
#include "exchange/JobWorkbook.h"
#include "platform/CodePages.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"

using namespace exchange_test;

namespace {

using Groups = std::vector<std::pair<int, std::string>>; // number, UTF-8 name

struct Outcome {
    Groups groups; // the used entries
    int done = 0;
    std::vector<std::string> boxes; // UTF-8
    std::vector<unsigned> styles;
};

Outcome Import(int format, const std::string& path, const console::CsvOptionsRecord& options = {}) {
    platform::ScriptedUi ui;
    Job job;
    job.state.CsvOptions = options;
    job.state.MakeMetod.OperationKind = 1;
    job.state.MakeMetod.FileName = path;
    exchange::JobContext context = job.Context();
    exchange::Dispatch(context, format, 1);
    Outcome out;
    const auto& table = job.arrays.GoodsGroupTable;
    for (std::size_t i = 0; i < UsedGroupEntries(table); ++i)
        out.groups.emplace_back(table[i].Number, platform::AnsiToUtf8(table[i].Name));
    out.done = job.state.MakeMetod.Done;
    for (const auto& box : ui.boxes) {
        out.boxes.push_back(box.Utf8Text());
        out.styles.push_back(box.style);
    }
    return out;
}

const char* const kRange = "\r\nМожливий діапазон значень: 1...100!";

std::string Row(const char* head, int row) {
    return std::string(head) + " (рядок №" + std::to_string(row) + ")!";
}

// A report document of groups; `items` is the text inside DATA.
std::string GroupsDocument(const std::string& items, const char* id = "{XMLREP1}") {
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><REPORT><HEADER><DEVELOPMENT>x</DEVELOPMENT>"
               "<REPORT_ID>") +
           id + "</REPORT_ID></HEADER><FIELDS_NAME/><DATA>" + items + "</DATA></REPORT>";
}

std::string Items(int count, int first = 1) {
    std::string items;
    for (int i = 0; i < count; ++i)
        items += "<Item Id=\"" + std::to_string((first + i - 1) % 100 + 1) + "\" Name=\"G" +
                 std::to_string(i) + "\"/>";
    return items;
}

struct FileCase {
    const char* what;
    std::string contents;
    Groups groups;
    int done;
    std::vector<std::string> boxes;
};

void RunCases(int format, const char* extension, const std::vector<FileCase>& cases,
              const console::CsvOptionsRecord& options = {}) {
    ScratchDir dir;
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = dir.File(std::string("groups.") + extension);
        WriteFile(path, c.contents);
        Outcome out = Import(format, path, options);
        EXPECT_EQ(out.groups, c.groups);
        EXPECT_EQ(out.done, c.done);
        EXPECT_EQ(out.boxes, c.boxes);
    }
}

TEST(GroupsImport, XmlItemsAndEveryRefusal) {
    const std::string twentyFive = "абвгдеєжзиіїйклмнопрстуфх";
    const std::string convert =
        "EConvertError. Виникла помилка з повідомленням: 'x7' is not a valid integer value";
    RunCases(exchange::FormatXml, "xml",
             {
                 {"items",
                  GroupsDocument(
                      "<Item Id=\"7\" Name=\"Чай\"/><Item Name=\"\" Id=\" 9 \"/><Item Id=\"7\" Name=\"" +
                      twentyFive + "\"/>"),
                  {{7, "Чай"}, {9, ""}, {7, twentyFive.substr(0, 40)}},
                  1,
                  {}},
                 {"indented, with a declaration of its own",
                  "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<REPORT>\n <HEADER>\n  "
                  "<REPORT_ID>{XMLREP1}</REPORT_ID>\n </HEADER>\n <FIELDS_NAME/>\n <DATA>\n  <Item Id=\"3\" "
                  "Name=\"\xD7\xE0\xE9\"/>\n </DATA>\n</REPORT>\n",
                  {{3, "Чай"}},
                  1,
                  {}},
                 {"id 0",
                  GroupsDocument(Items(2) + "<Item Id=\"0\" Name=\"a\"/>"),
                  {{1, "G0"}, {2, "G1"}},
                  0,
                  {std::string("Невірно заданий номер товарної групи!") + kRange}},
                 {"id 101",
                  GroupsDocument("<Item Id=\"101\" Name=\"a\"/>"),
                  {},
                  0,
                  {std::string("Невірно заданий номер товарної групи!") + kRange}},
                 {"id not a number", GroupsDocument("<Item Id=\"x7\" Name=\"a\"/>"), {}, 0, {convert}},
                 {"no id", GroupsDocument("<Item Name=\"a\"/>"), {}, 0, {"Не знайдений атрибут \"Id\"."}},
                 {"no name", GroupsDocument("<Item Id=\"4\"/>"), {}, 0, {"Не знайдений атрибут \"Name\"."}},
                 {"a comment among the items",
                  GroupsDocument("<Item Id=\"4\" Name=\"a\"/><!-- x -->"),
                  {{4, "a"}},
                  0,
                  {"Не знайдений елемент \"Item\"."}},
                 {"another report",
                  GroupsDocument(Items(1), "{XMLREP2}"),
                  {},
                  0,
                  {"Не знайдений ідентифікатор звіту!"}},
                 {"no items", GroupsDocument(""), {}, 0, {"Вузол \"DATA\" не містить дочірніх елементів."}},
                 // The report id is the text of HEADER's first REPORT_ID, in as many parts as it comes.
                 {"a document type, the id in parts",
                  std::string(
                      GroupsDocument("<Item Id=\"5\" Name=\" a   b \"/>", "{XML<!-- x -->REP<![CDATA[1]]>}"))
                      .insert(38, "<!DOCTYPE REPORT [<!-- ]> --><!ATTLIST Item Name NMTOKENS #IMPLIED>]>"),
                  {{5, "a b"}},
                  1,
                  {}},
                 {"blanks around the id",
                  GroupsDocument(Items(1), " {XMLREP1} "),
                  {},
                  0,
                  {"Не знайдений ідентифікатор звіту!"}},
                 {"the id of a second REPORT_ID",
                  GroupsDocument(Items(1), "{XMLREP2}</REPORT_ID><REPORT_ID>{XMLREP1}"),
                  {},
                  0,
                  {"Не знайдений ідентифікатор звіту!"}},
                 {"UTF-16",
                  [] {
                      std::string bytes = "\xFF\xFE";
                      for (char16_t c :
                           platform::Utf8ToUtf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" +
                                                 GroupsDocument("<Item Id=\"8\" Name=\"Чай\"/>").substr(38)))
                          bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
                      return bytes;
                  }(),
                  {{8, "Чай"}},
                  1,
                  {}},
                 {"a hundred items, then other elements",
                  GroupsDocument(Items(100) + "<z/><!-- c -->text<Item Id=\"0\"/>"),
                  [] {
                      Groups groups;
                      for (int i = 0; i < 100; ++i) groups.push_back({i + 1, "G" + std::to_string(i)});
                      return groups;
                  }(),
                  1,
                  {}},
             });
    // 120 items give exactly the first 100.
    ScratchDir dir;
    WriteFile(dir.File("g.xml"), GroupsDocument(Items(120)));
    Outcome out = Import(exchange::FormatXml, dir.File("g.xml"));
    ASSERT_EQ(out.groups.size(), 100u);
    EXPECT_EQ(out.groups[99], (std::pair<int, std::string>{100, "G99"}));
    // The conversion failure is a plain message, not an error box.
    WriteFile(dir.File("g.xml"), GroupsDocument("<Item Id=\"x7\" Name=\"a\"/>"));
    EXPECT_EQ(Import(exchange::FormatXml, dir.File("g.xml")).styles, std::vector<unsigned>{0u});
    // A file that is no XML: the parser's own reason.
    WriteFile(dir.File("g.xml"), "");
    out = Import(exchange::FormatXml, dir.File("g.xml"));
    ASSERT_EQ(out.boxes.size(), 1u);
    EXPECT_FALSE(out.boxes[0].empty());
    EXPECT_EQ(out.done, 0);
}

// CSV lines under the options they are read with.
struct CsvCase {
    const char* what;
    console::CsvOptionsRecord options;
    std::string contents;
    Groups groups;
    int done;
    std::vector<std::string> boxes;
};

console::CsvOptionsRecord Csv(char delimiter = ';', bool quotes = false, bool cp866 = false,
                              bool blanks = false, bool ignoreEmpty = true) {
    return {delimiter, cp866, quotes, blanks, ignoreEmpty};
}

TEST(GroupsImport, CsvLinesUnderTheirOptions) {
    const std::string name30 = "123456789012345678901234567890";
    std::string manyLines;
    for (int i = 0; i < 100000; ++i)
        manyLines += std::to_string(i % 100 + 1) + ";name" + std::to_string(i) + "\r\n";
    const CsvCase cases[] = {
        {"plain", Csv(), "7;Чай\r\n8;" + platform::Utf8ToAnsi("Кава") + "\n9;x", {}, 1, {}},
        {"quoted", Csv(';', true), "7;\"Milk\"\r\n", {{7, "Milk"}}, 1, {}},
        // A quoted field is taken whole whatever QUOTES says, the number's too.
        {"quotes taken without the option", Csv(), "7;\"Milk\"\r\n", {{7, "Milk"}}, 1, {}},
        {"quoted number and name", Csv(','), "\"7\",\"A,B\"\r\n", {{7, "A,B"}}, 1, {}},
        {"doubled quote without the option",
         Csv('\t'),
         "7\t\"Milk\t\"\"A\"\"\"\r\n",
         {{7, "Milk\t\"A\""}},
         1,
         {}},
        {"a quote inside an unquoted name", Csv(), "7;Milk \"A\"\r\n", {{7, "Milk \"A\""}}, 1, {}},
        {"quote left open without the option",
         Csv(),
         "1;a\r\n7;\"Milk;x\r\n",
         {{1, "a"}},
         1,
         {Row("Невірний формат назви товарної групи", 2)}},
        // The quoted field ends at its closing quote; what follows its delimiter is dropped.
        {"delimiter after the quote", Csv(';', true), "7;\"Milk\";x\r\n", {{7, "Milk"}}, 1, {}},
        {"doubled quote", Csv(';', true), "7;\"Milk \"\"A\"\"\"\r\n", {{7, "Milk \"A\""}}, 1, {}},
        {"text after the closing quote",
         Csv(';', true),
         "7;\"Milk\" 2\r\n",
         {},
         1,
         {Row("Невірний формат назви товарної групи", 1)}},
        {"NUL in the name",
         Csv(),
         std::string("1;a\r\n2;Xl\0ib\r\n", 13),
         {{1, "a"}},
         1,
         {Row("Невірний формат назви товарної групи", 2)}},
        {"NUL in a quoted name",
         Csv(';', true),
         std::string("2;\"Xl\0ib\"\r\n", 12),
         {},
         1,
         {Row("Невірний формат назви товарної групи", 1)}},
        {"UTF-8", Csv(), "1;Кава\r\n", {}, 0, {exchange::Utf8FileMessage}},
        {"UTF-8 with its mark",
         Csv(),
         "\xEF\xBB\xBF"
         "1;Kava\r\n",
         {},
         0,
         {exchange::Utf8FileMessage}},
        {"delimiter inside the quotes", Csv(';', true), "7;\"A;B\"\r\n", {{7, "A;B"}}, 1, {}},
        {"delimiter without quotes", Csv(), "7;A;B\r\n", {{7, "A"}}, 1, {}},
        {"quote left open",
         Csv(';', true),
         "1;\"a\"\r\n7;\"Milk\r\n",
         {{1, "a"}},
         1,
         {Row("Невірний формат назви товарної групи", 2)}},
        {"quote only at the end",
         Csv(';', true),
         "7;Milk\"\r\n",
         {},
         1,
         {Row("Невірний формат назви товарної групи", 1)}},
        {"no quotes at all",
         Csv(';', true),
         "7;Milk\r\n",
         {},
         1,
         {Row("Невірний формат назви товарної групи", 1)}},
        {"empty line refused",
         Csv(';', false, false, false, false),
         "1;a\r\n\r\n2;b\r\n",
         {{1, "a"}},
         1,
         {Row("Помилка формату даних", 2)}},
        {"empty lines skipped", Csv(), "\r\n1;a\r\n  \r\n2;b\r\n", {{1, "a"}, {2, "b"}}, 1, {}},
        {"number not a number", Csv(), "abc;x\r\n", {}, 1, {Row("Помилка формату даних", 1)}},
        {"no delimiter", Csv(), "7\r\n", {}, 1, {Row("Помилка формату даних", 1)}},
        {"group 0",
         Csv(),
         "5;a\r\n0;b\r\n",
         {{5, "a"}},
         1,
         {Row("Невірно задано номер товарної групи", 2) + kRange}},
        {"group 101", Csv(), "101;b\r\n", {}, 1, {Row("Невірно задано номер товарної групи", 1) + kRange}},
        {"a name of 30", Csv(), "3;" + name30, {{3, name30.substr(0, 20)}}, 1, {}},
        {"blanks trimmed", Csv(), "  4 ; a b  \r\n", {{4, "a b"}}, 1, {}},
        {"blanks kept", Csv(';', false, false, true), " 4 ; a b \r\n", {{4, " a b "}}, 1, {}},
        {"tab", Csv('\t'), "4\tx\ty\r\n", {{4, "x"}}, 1, {}},
        {"cp866", Csv(';', true, true), "5;\"\x97\xA0\xA9\"\r\n", {{5, "Чай"}}, 1, {}},
        // OEM 866 characters Windows-1251 lacks (■ √ ░ │) are refused, not altered.
        {"cp866 black square",
         Csv(';', false, true),
         "5;\x97\xA0\xA9 \xFC"
         "1\r\n6;\x97\xA0\xA9 \xFE\r\n",
         {{5, "Чай №1"}},
         1,
         {Row("Невірний формат назви товарної групи", 2)}},
        {"cp866 square root",
         Csv(';', true, true),
         "5;\"\xFB"
         "2\"\r\n",
         {},
         1,
         {Row("Невірний формат назви товарної групи", 1)}},
        {"cp866 box drawing",
         Csv(';', false, true),
         "5;\xB0\xB3\xC4\r\n",
         {},
         1,
         {Row("Невірний формат назви товарної групи", 1)}},
        {"empty file", Csv(), "", {}, 0, {"Файл імпорту даних по товарним групам порожній!"}},
    };
    ScratchDir dir;
    for (const CsvCase& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(dir.File("g.csv"), c.contents);
        Outcome out = Import(exchange::FormatCsv, dir.File("g.csv"), c.options);
        if (std::string(c.what) == "plain") {
            EXPECT_EQ(out.groups, (Groups{{7, platform::AnsiToUtf8("Чай")}, {8, "Кава"}, {9, "x"}}));
        } else {
            EXPECT_EQ(out.groups, c.groups);
        }
        EXPECT_EQ(out.done, c.done);
        EXPECT_EQ(out.boxes, c.boxes);
    }
    // 100,000 lines: the first 100 groups, nothing more.
    WriteFile(dir.File("g.csv"), manyLines);
    Outcome out = Import(exchange::FormatCsv, dir.File("g.csv"));
    ASSERT_EQ(out.groups.size(), 100u);
    EXPECT_EQ(out.groups.back(), (std::pair<int, std::string>{100, "name99"}));
    EXPECT_EQ(out.done, 1);
}

// A workbook with rows of (column 0, column 1) cells as its first sheet.
struct XlsRow {
    int row;
    std::optional<double> number; // nothing: a text in column 0
    std::string text0;
    std::optional<std::string> name;
    int errors = 0; // an error value (#DIV/0!) in column 0 (1), column 1 (2)
};

std::string WriteWorkbook(const ScratchDir& dir, const std::vector<XlsRow>& rows) {
    xls::TTabrix4& book = exchange::JobWorkbook(exchange::Side());
    book.Clear();
    book.SetVersion(xls::TExcelVersion::xvExcel97);
    xls::TSheet& sheet = book.Sheets().GetItem(0);
    for (const XlsRow& r : rows) {
        if (r.number && *r.number == static_cast<int32_t>(*r.number))
            sheet.SetAsInteger(0, r.row, static_cast<int32_t>(*r.number));
        else if (r.number)
            sheet.SetAsFloat(0, r.row, *r.number);
        else
            sheet.SetAsString(0, r.row, platform::Utf8ToUtf16(r.text0));
        if (r.name) sheet.SetAsString(1, r.row, platform::Utf8ToUtf16(*r.name));
        for (int col = 0; col < 2; ++col)
            if ((r.errors & (1 << col)) != 0) sheet.PutError(col, r.row, 15, 2);
    }
    std::string path = dir.File("g.xls");
    book.SetFilename(platform::Utf8ToUtf16(path));
    book.Write();
    return path;
}

TEST(GroupsImport, XlsRowsFromTheFirstNumberOn) {
    const struct {
        const char* what;
        std::vector<XlsRow> rows;
        Groups groups;
        int done;
        std::vector<std::string> boxes;
    } cases[] = {
        {"title and blank rows first",
         {{0, {}, "Групи", {}},
          {3, 7, "", "Чай"},
          {4, {}, "note", "x"},
          {6, 2.5, "", {}},
          {7, 8, "", "12345678901234567890123"}},
         {{7, "Чай"}, {2, ""}, {8, "12345678901234567890"}},
         1,
         {}},
        {"101 at row 5 keeps the rows before",
         {{2, 1, "", "a"}, {3, 2, "", "b"}, {5, 101, "", "c"}, {6, 3, "", "d"}},
         {{1, "a"}, {2, "b"}},
         1,
         {Row("Невірно задано номер товарної групи", 5) + kRange}},
        {"a number no integer holds",
         {{2, 1, "", "a"}, {4, 1e12, "", "b"}},
         {{1, "a"}},
         1,
         {Row("Невірно задано номер товарної групи", 4)}},
        {"no number anywhere", {{0, {}, "a", "b"}}, {}, 0, {"Дані для запису в ЕККА не знайдені!"}},
        // An error value is no name, and no number: the groups before stay.
        {"an error value as a name",
         {{2, 1, "", "a"}, {3, 2, "", {}, 2}, {4, 3, "", "c"}},
         {{1, "a"}},
         1,
         {Row("Невірний формат назви товарної групи", 3)}},
        {"an error value as a number",
         {{2, 1, "", "a"}, {3, {}, "", "b", 1}, {4, 3, "", "c"}},
         {{1, "a"}},
         1,
         {Row("Невірно задано номер товарної групи", 3)}},
        {"an error value first",
         {{3, {}, "", "b", 1}},
         {},
         1,
         {Row("Невірно задано номер товарної групи", 3)}},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = WriteWorkbook(dir, c.rows);
        Outcome out = Import(exchange::FormatXls, path);
        EXPECT_EQ(out.groups, c.groups);
        EXPECT_EQ(out.done, c.done);
        EXPECT_EQ(out.boxes, c.boxes);
    }
    std::vector<XlsRow> many;
    for (int r = 0; r < 150; ++r) many.push_back({r + 2, r % 100 + 1, "", "n" + std::to_string(r)});
    Outcome out = Import(exchange::FormatXls, WriteWorkbook(dir, many));
    EXPECT_EQ(out.groups.size(), 100u);
    EXPECT_EQ(out.done, 1);
}

// A table of groups made with the table class; `fields` in order.
std::string WriteTable(const ScratchDir& dir, const std::vector<exchange::TDbfFieldType>& types,
                       const std::vector<std::string>& fields,
                       const std::vector<std::vector<std::string>>& records, bool oem = false) {
    std::string path = dir.File("g.dbf");
    std::remove(path.c_str());
    exchange::TDBF table;
    table.SetTableName(path);
    for (std::size_t i = 0; i < fields.size(); ++i)
        table.AddFieldDefs(fields[i], types[i], types[i] == exchange::dftNumeric ? 3 : 20, 0);
    table.CreateTable();
    for (const auto& record : records) {
        table.Append();
        for (std::size_t i = 0; i < record.size(); ++i)
            table.SetFieldData(static_cast<int>(i + 1), platform::Utf8ToAnsi(record[i]));
        table.Post();
    }
    table.Close();
    if (oem) { // the code-page byte of OEM 866 text: the same bytes read as OEM
        std::string bytes = ReadFile(path);
        bytes[29] = '\x26';
        WriteFile(path, bytes);
    }
    return path;
}

TEST(GroupsImport, DbfRecordsInEitherFieldOrder) {
    using exchange::dftCharacter;
    using exchange::dftNumeric;
    const struct {
        const char* what;
        std::vector<exchange::TDbfFieldType> types;
        std::vector<std::string> fields;
        std::vector<std::vector<std::string>> records;
        Groups groups;
        int done;
        std::vector<std::string> boxes;
        bool oem = false;
    } cases[] = {
        {"ID, NAME",
         {dftNumeric, dftCharacter},
         {"ID", "NAME"},
         {{"7", "Чай"}, {"9", ""}},
         {{7, "Чай"}, {9, ""}},
         1,
         {}},
        {"NAME, ID", {dftCharacter, dftNumeric}, {"NAME", "ID"}, {{" Сир ", "100"}}, {{100, "Сир"}}, 1, {}},
        {"a third field",
         {dftNumeric, dftCharacter, dftCharacter},
         {"ID", "NAME", "X"},
         {{"1", "a", "b"}},
         {},
         0,
         {"Таблиця має невірну кількість полів, або пошкоджена!"}},
        {"no record",
         {dftNumeric, dftCharacter},
         {"ID", "NAME"},
         {},
         {},
         0,
         {"DBF-таблиця даних по товарним групам порожня!"}},
        {"group 0 in the second record",
         {dftNumeric, dftCharacter},
         {"ID", "NAME"},
         {{"1", "a"}, {"0", "b"}},
         {{1, "a"}},
         0,
         {Row("Невірно задано номер товарної групи", 2) + kRange}},
        {"an empty number",
         {dftNumeric, dftCharacter},
         {"ID", "NAME"},
         {{"", "a"}},
         {},
         0,
         {"Помилка імпорту товарних груп: поле - ID (Номер групи)\r\n (Row=0; Col=ID)."}},
        {"number as text",
         {dftCharacter, dftCharacter},
         {"ID", "NAME"},
         {{"1", "a"}},
         {},
         0,
         {"Невірний тип або опис поля ID."}},
        {"another name",
         {dftNumeric, dftCharacter},
         {"ID", "TITLE"},
         {{"1", "a"}},
         {},
         0,
         {"Невірний тип або опис поля TITLE."}},
        // "Чай" in ANSI bytes reads as box-drawing characters in OEM 866.
        {"an OEM name the register cannot hold",
         {dftNumeric, dftCharacter},
         {"ID", "NAME"},
         {{"1", "Tea"}, {"2", "Чай"}},
         {{1, "Tea"}},
         0,
         {"Невірний формат назви товарної групи (рядок №2)!"},
         true},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome out = Import(exchange::FormatDbf, WriteTable(dir, c.types, c.fields, c.records, c.oem));
        EXPECT_EQ(out.groups, c.groups);
        EXPECT_EQ(out.done, c.done);
        EXPECT_EQ(out.boxes, c.boxes);
    }
    std::vector<std::vector<std::string>> many;
    for (int r = 0; r < 150; ++r) many.push_back({std::to_string(r % 100 + 1), "n"});
    Outcome out =
        Import(exchange::FormatDbf, WriteTable(dir, {dftNumeric, dftCharacter}, {"ID", "NAME"}, many));
    EXPECT_EQ(out.groups.size(), 100u) << "at most 100 entries";
    EXPECT_EQ(out.done, 1);
    for (const char* damaged : {"", "not a table at all", "\x03\x7c\x01\x01\xff\xff\xff\x7f"}) {
        WriteFile(dir.File("g.dbf"), damaged);
        out = Import(exchange::FormatDbf, dir.File("g.dbf"));
        EXPECT_EQ(out.boxes, std::vector<std::string>{"Пошкоджена структура даних!"});
        EXPECT_EQ(out.done, 0);
    }
}

} // namespace
