// Files other programs wrote, imported through the windows into the
// simulated register, and the program's own exports read back: quoted CSV
// names as Python's csv module writes them, NUL bytes, UTF-8 files, group
// names the register's code page cannot hold, formula rows of a workbook
// LibreOffice saved, a DBF export to a name of another type, XML files that
// do not parse, a duplicate-PLU log that cannot be written. What reached the
// register is read from its library and its call log.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "SrcXLS/XLSLibState.h"
#include "console/RadioGroup.h"
#include "console/TForm6.h"
#include "exchange/CsvOptions.h"
#include "exchange/TForm4.h"
#include "exchange/TForm5.h"
#include "platform/CodePages.h"
#include "platform/RegionalSettings.h"
#include "platform/ui/AnsiText.h"
#include "support_files.h"
#include "support_process.h"
#include "support_program.h"
#include "support_readers.h"
#include "support_register.h"

namespace {

using testing_console::ProgramHarness;
using testing_console::RegisterRecord;

enum : int { kXml = 0, kXls = 1, kCsv = 2, kDbf = 3 };

// The bytes of a literal, NUL bytes inside it included.
template <std::size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// A Python script run by /usr/bin/python3 with its arguments (memory and
// time bounded); a script that fails fails the test.
void Python(const testfiles::ScratchDir& dir, const std::string& script,
            const std::vector<std::string>& args) {
    testfiles::Spit(dir.File("writer.py"), script);
    std::string command = "/usr/bin/python3 " + testfiles::ShellQuote(dir.File("writer.py"));
    for (const std::string& a : args) command += " " + testfiles::ShellQuote(a);
    const testfiles::TProgramRun run = testfiles::RunProgram(command);
    if (run.Ran()) {
        EXPECT_EQ(run.Status, 0) << run.Errors;
    }
}

class ImportFiles : public ::testing::Test {
protected:
    void Start(const std::string& scenario = "") {
        h.WriteScenario(scenario);
        ASSERT_TRUE(h.Create());
        h.Form().Connect->trigger();
    }
    void QueueJob(int format, const std::string& file, bool import) {
        testing_console::QueueJob(h, format, file, import);
    }
    void LoadGoods(int format, const std::string& file) {
        QueueJob(format, file, true);
        h.Form().ActionWriteGoodsByNumber->trigger();
    }
    void ImportGroups(int format, const std::string& file) {
        QueueJob(format, file, true);
        h.Form().ActionImportGroupsOfGoods->trigger();
    }
    void EraseAll() {
        h.ui.QueueAnswer(platform::IdYes);
        h.Form().ActionEraseAllGoods->trigger();
        Boxes();
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (const auto& box : h.ui.boxes) texts.push_back(box.Utf8Text());
        h.ui.boxes.clear();
        return texts;
    }
    std::vector<RegisterRecord> Table() {
        const device::DeviceApi& api = h.State().Api();
        return testing_console::ReadGoodsBatch(
            api, [&api](Q710GoodsData* g, const char** e) { return api.GetGoodsByNumber(0, 0, g, e); });
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const RegisterRecord& r : Table()) names.push_back(platform::AnsiToUtf8(r.name));
        return names;
    }
    // The register's group names 1..100 (UTF-8).
    std::vector<std::string> GroupNames() {
        std::vector<std::string> names;
        const device::DeviceApi& api = h.State().Api();
        for (int i = 1; i <= 100; ++i) {
            const char* name = nullptr;
            const char* err = nullptr;
            EXPECT_EQ(api.GetGoodsGroupName(i, &name, &err), 0);
            names.push_back(platform::AnsiToUtf8(device::DeviceText(name)));
        }
        return names;
    }
    // LibreOffice's .xls copies of packages in the scratch folder, beside them.
    void LibreOfficeCopies(const std::vector<std::string>& packages) {
        std::vector<std::string> paths;
        for (const std::string& p : packages) paths.push_back(h.dir.File(p));
        const testfiles::TProgramRun lo = testfiles::LibreOfficeConvert(paths, h.dir.Path(), "xls");
        EXPECT_EQ(lo.Status, 0) << lo.Why();
        for (const std::string& p : packages)
            ASSERT_TRUE(testfiles::Exists(h.dir.File(p.substr(0, p.rfind('.')) + ".xls"))) << p;
    }
    bool Logged(const std::string& call) const {
        return h.SimulatorLog().find(call + "(") != std::string::npos;
    }

    testing_console::UkrainianSystem system;
    ProgramHarness h;
};

// Goods rows of Python's csv module: with QUOTES its texts quoted, numbers
// bare (QUOTE_NONNUMERIC); without, only the fields that hold the delimiter
// or a quote, decimal commas included (QUOTE_MINIMAL); a quote in a text
// doubled.
const char* const kCsvWriter = R"PY(
import csv, sys
out, delimiter, encoding = sys.argv[1], sys.argv[2], sys.argv[3]
nonnumeric = len(sys.argv) < 5 or sys.argv[4] == "1"
rows = [
    [0, 101, 4820000000017, "Ка;ва", 12, 1, 1, 1, 0, 0, 0, 0],
    [1, 102, 4820000000024, 'Хліб "Київ"', 7, 2, 1, 1, 0, 0, 0, 0],
    [2, 103, 4820000000031, "Чай,\tчорний", 30, 3, 1, 1, 0, 0, 0, 0],
]
if not nonnumeric:
    for row in rows:
        row[4] = str(row[4]) + ",25"
quoting = csv.QUOTE_NONNUMERIC if nonnumeric else csv.QUOTE_MINIMAL
with open(out, "w", encoding=encoding, newline="") as f:
    csv.writer(f, delimiter=delimiter, quoting=quoting, lineterminator="\r\n").writerows(rows)
)PY";

// Names as Python's csv module quotes them come in whole: "Ка;ва" with its
// semicolon, `Молоко"` with its first letter, `"Хліб ""Київ"""` with one
// quote of each pair, "Xl\0ib" refused rather than cut; without QUOTES a
// price "12,25" in a comma file stays one field.
TEST_F(ImportFiles, QuotedCsvNamesOfPythonsCsvModule) {
    const struct {
        char delimiter;
        bool quotes;
    } cases[] = {{';', true}, {',', false}, {'\t', false}};
    Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.delimiter) + (c.quotes ? " quotes" : ""));
        EraseAll();
        h.State().CsvOptions = {c.delimiter, false, c.quotes, false, true};
        const std::string file = h.dir.File("goods.csv");
        Python(h.dir, kCsvWriter, {file, std::string(1, c.delimiter), "cp1251", c.quotes ? "1" : "0"});
        // Lines no csv writer makes: a quote at one end only, a NUL byte.
        std::vector<std::string> lines;
        if (c.quotes)
            lines.push_back(platform::Utf8ToAnsi("3;104;4820000000048;Молоко\";5;1;1;1;0;0;0;0\r\n"));
        lines.push_back(platform::Utf8ToAnsi("4;105;4820000000055;\"Сир;6;1;1;1;0;0;0;0\r\n"));
        lines.push_back(Bytes("5;106;4820000000062;\"Xl\0ib\";8;1;1;1;0;0;0;0\r\n"));
        std::string bytes = testfiles::Slurp(file);
        for (std::string line : lines) {
            std::replace(line.begin(), line.end(), ';', c.delimiter);
            bytes += line;
        }
        testfiles::Spit(file, bytes);
        for (std::size_t i = 0; i < lines.size(); ++i) h.ui.QueueAnswer(platform::IdYes); // skip the line
        LoadGoods(kCsv, file);
        std::vector<std::string> boxes = Boxes();
        ASSERT_EQ(boxes.size(), lines.size() + 1);
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(boxes[i], "Помилка в найменуванні товару:\r\nрядок №" + std::to_string(4 + i) +
                                    " стовбчик №3!\r\nІгнорувати?");
        EXPECT_EQ(boxes.back(), "Запис бази товарів завершений!");
        EXPECT_EQ(Names(), (std::vector<std::string>{"Ка;ва", "Хліб \"Київ\"", "Чай,\tчорний"}));
        std::vector<RegisterRecord> table = Table();
        ASSERT_EQ(table.size(), 3u);
        EXPECT_EQ(table[1].price, c.quotes ? 700u : 725u);
        EXPECT_EQ(table[2].plu, 103);
    }
}

// The program's own goods export read back into an erased register under
// every option set: names holding a delimiter or quotes come back whole and
// prices and quantities with decimals exact, whatever the delimiter, QUOTES,
// code page and decimal separator. Every name code page 866 holds (as
// Python's codec judges) comes back unchanged; every other one the export
// names after its success, the count and the first ones with their numbers,
// and it comes back with the letters CP866 has in their place; success is
// never told alone for changed names.
TEST_F(ImportFiles, OwnCsvExportsReadBackUnderEveryOption) {
    const std::vector<std::string> names = {"Кава; \"мелена\"", "Чай,\tчорний", "Сир «Гауда» і ґуля", "Хліб"};
    const std::vector<bool> held = testing_console::Cp866Holds(names);
    std::vector<std::pair<int, std::string>> changed;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!held[i]) changed.emplace_back(static_cast<int>(i), names[i]);
    Start();
    for (char decimal : {',', '.'}) {
        platform::RegionalSettings regional = platform::Regional();
        regional.decimalSeparator = decimal;
        platform::SetRegional(regional);
        for (char delimiter : {';', ',', '\t'})
            for (bool quotes : {false, true})
                for (bool cp866 : {false, true}) {
                    SCOPED_TRACE(std::string("decimal ") + decimal + " delimiter " +
                                 (delimiter == '\t' ? std::string("TAB") : std::string(1, delimiter)) +
                                 (quotes ? " quotes" : "") + (cp866 ? " cp866" : ""));
                    EraseAll();
                    const device::DeviceApi& api = h.State().Api();
                    std::vector<GoodsProg> written;
                    for (int i = 0; i < 4; ++i) {
                        GoodsProg g;
                        g.price = 1250 * (i + 1) + 5;
                        g.group = static_cast<uint8_t>(1 + 33 * i);
                        g.tax = static_cast<uint8_t>(i);
                        g.weighed = i == 1 ? -1 : 0;
                        g.quantity = 2500 * i + 1;
                        g.plu = 200 + i;
                        g.barcode = 4820000000100 + i;
                        g.payoutOperation = static_cast<uint8_t>(i);
                        g.SetName(platform::Utf8ToAnsi(names[i]));
                        const char* err = nullptr;
                        ASSERT_EQ(api.SetGoodsByNumber(static_cast<uint16_t>(i), g, &err), 0);
                    }
                    const std::vector<RegisterRecord> before = Table();
                    h.State().CsvOptions = {delimiter, cp866, quotes, false, true};
                    const std::string file = h.dir.File("all.csv");
                    h.ui.QueueModal([](QDialog& d) {
                        static_cast<console::TForm6&>(d).RGMode1->Click(3); // the whole base
                        d.findChild<QPushButton*>("Button1")->click();
                        return d.result();
                    });
                    h.ui.QueueAnswer(platform::IdNo); // not only the failure records
                    QueueJob(kCsv, file, false);
                    h.Form().ActionReadReportByAllGoods->trigger();
                    std::vector<std::string> told = {"Експорт даних завершено!"};
                    if (cp866) told.push_back(testing_console::Cp866ChangesText(changed));
                    std::vector<std::string> boxes = Boxes();
                    ASSERT_GE(boxes.size(), told.size());
                    EXPECT_EQ(
                        std::vector<std::string>(boxes.end() - static_cast<long>(told.size()), boxes.end()),
                        told);
                    EraseAll();
                    LoadGoods(kCsv, file);
                    EXPECT_EQ(Boxes(), std::vector<std::string>{"Запис бази товарів завершений!"});
                    std::vector<RegisterRecord> after = Table();
                    ASSERT_EQ(after.size(), before.size());
                    for (std::size_t i = 0; i < before.size(); ++i) {
                        RegisterRecord expected = before[i];
                        expected.counters.clear();
                        // A name the export named comes back as the file holds it.
                        if (cp866 && !held[i])
                            expected.name = platform::OemToAnsi(platform::AnsiToOem(expected.name));
                        after[i].counters.clear();
                        EXPECT_EQ(platform::AnsiToUtf8(after[i].name), platform::AnsiToUtf8(expected.name));
                        EXPECT_EQ(std::tie(after[i].price, after[i].remainder, after[i].plu, after[i].barcode,
                                           after[i].group, after[i].tax, after[i].weighed,
                                           after[i].payoutOperation),
                                  std::tie(expected.price, expected.remainder, expected.plu, expected.barcode,
                                           expected.group, expected.tax, expected.weighed,
                                           expected.payoutOperation));
                    }
                    if (delimiter == ',' && !quotes && !cp866 && decimal == ',')
                        testfiles::KeepTestOutput(file, "goods_export_comma_decimal_comma.csv");
                }
    }
}

// A UTF-8 file (with or without the byte-order mark) is told before
// anything is written, in the goods and the group imports.
TEST_F(ImportFiles, Utf8CsvIsRefusedBeforeAnythingIsWritten) {
    Start();
    const std::vector<std::string> tableBefore = Names();
    const std::vector<std::string> groupsBefore = GroupNames();
    for (const char* encoding : {"utf-8", "utf-8-sig"}) {
        SCOPED_TRACE(encoding);
        const std::string goods = h.dir.File(std::string("goods_") + encoding + ".csv");
        Python(h.dir, kCsvWriter, {goods, ";", encoding});
        LoadGoods(kCsv, goods);
        EXPECT_EQ(Boxes(), std::vector<std::string>{exchange::Utf8FileMessage});

        const std::string groups = h.dir.File(std::string("groups_") + encoding + ".csv");
        Python(h.dir,
               "import csv, sys\n"
               "with open(sys.argv[1], 'w', encoding=sys.argv[2], newline='') as f:\n"
               "    csv.writer(f, delimiter=';').writerows([[1, 'Кава'], [2, 'Чай']])\n",
               {groups, encoding});
        ImportGroups(kCsv, groups);
        EXPECT_EQ(Boxes(), std::vector<std::string>{exchange::Utf8FileMessage});
    }
    EXPECT_FALSE(Logged("SetGoodsByNumber"));
    EXPECT_FALSE(Logged("SetGoodsGroupName"));
    EXPECT_EQ(Names(), tableBefore);
    EXPECT_EQ(GroupNames(), groupsBefore);
}

// Group names: a NUL byte in a CSV name and characters the register's code
// page lacks in a workbook LibreOffice saved, in an ElementTree document and
// in an OEM 866 file get the name message ("Кава ☃ €" never reaches the
// register as "Кава ? €").
TEST_F(ImportFiles, GroupNamesTheRegisterCannotHold) {
    Start();
    const std::string message = "Невірний формат назви товарної групи (рядок №";
    std::vector<std::string> groups = GroupNames();

    const std::string csv = h.dir.File("nul.csv");
    testfiles::Spit(csv, platform::Utf8ToAnsi("1;Кава\r\n") + Bytes("2;Xl\0ib\r\n3;Tea\r\n"));
    ImportGroups(kCsv, csv);
    // The groups before the refused line are written, as after any refused line.
    EXPECT_EQ(Boxes(), (std::vector<std::string>{message + "2)!", "Імпорт даних завершено!"}));
    groups[0] = "Кава";
    EXPECT_EQ(GroupNames(), groups);

    testfiles::Spit(h.dir.File("names.csv"), "НОМЕР;НАЗВА\n5;Чай\n6;Кава ☃ €\n");
    Python(h.dir,
           "import csv, sys\n"
           "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8'), delimiter=';'))\n"
           "import openpyxl\n"
           "book = openpyxl.Workbook()\n"
           "for r in rows: book.active.append([int(r[0]) if r[0].isdigit() else r[0], r[1]])\n"
           "book.save(sys.argv[2])\n",
           {h.dir.File("names.csv"), h.dir.File("names.xlsx")});
    ASSERT_NO_FATAL_FAILURE(LibreOfficeCopies({"names.xlsx"}));
    ImportGroups(kXls, h.dir.File("names.xls"));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{message + "2)!", "Імпорт даних завершено!"}));
    groups[4] = "Чай";
    EXPECT_EQ(GroupNames(), groups);

    Python(h.dir,
           "import sys, xml.etree.ElementTree as ET\n"
           "r = ET.Element('REPORT')\n"
           "h = ET.SubElement(r, 'HEADER')\n"
           "ET.SubElement(h, 'REPORT_ID').text = '{XMLREP1}'\n"
           "ET.SubElement(r, 'FIELDS_NAME')\n"
           "d = ET.SubElement(r, 'DATA')\n"
           "ET.SubElement(d, 'Item', Id='7', Name='Сік')\n"
           "ET.SubElement(d, 'Item', Id='8', Name='Кава ☃ €')\n"
           "ET.ElementTree(r).write(sys.argv[1], encoding='UTF-8', xml_declaration=True)\n",
           {h.dir.File("names.xml")});
    ImportGroups(kXml, h.dir.File("names.xml"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{message + "2)!"});
    EXPECT_EQ(GroupNames(), groups); // an XML file that stops writes nothing

    // OEM 866 characters Windows-1251 lacks, in the group and the goods
    // imports, get the name message ("Чай ■" is not written as "Чай ?", nor
    // "│" as "|").
    h.State().CsvOptions = {';', true, false, false, true};
    const std::string oem = h.dir.File("oem.csv");
    testfiles::Spit(oem, "9;\x97\xA0\xA9\r\n10;\x97\xA0\xA9 \xFE\r\n");
    ImportGroups(kCsv, oem);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{message + "2)!", "Імпорт даних завершено!"}));
    groups[8] = "Чай";
    EXPECT_EQ(GroupNames(), groups);
    const std::vector<std::string> tableBefore = Names();
    testfiles::Spit(oem, "0;101;4820000000017;\x97\xA0\xA9;1;1;1;1;0;0;0;0\r\n"
                         "1;102;4820000000024;\x8A\xA0\xA2\xA0 \xB3;1;1;1;1;0;0;0;0\r\n");
    h.ui.QueueAnswer(platform::IdNo); // the import ends: nothing is written
    LoadGoods(kCsv, oem);
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Помилка в найменуванні товару:\r\nрядок №2 стовбчик №3!\r\nІгнорувати?"});
    EXPECT_EQ(Names(), tableBefore);
    EXPECT_FALSE(Logged("SetGoodsByNumber"));
}

// Rows whose column A holds a formula with a number as its result are goods
// rows, taken by the cached value LibreOffice saved, none dropped.
TEST_F(ImportFiles, WorkbookFormulaRowsAreGoodsRows) {
    Start();
    EraseAll();
    Python(h.dir,
           "import sys, openpyxl\n"
           "book = openpyxl.Workbook()\n"
           "s = book.active\n"
           "s.append(['НОМЕР:', 'ШТРИХ-КОД:', 'PLU:', 'НАЙМЕНУВАННЯ:'])\n"
           "s.append(['=1-1', '4820000000017', 301, 'Формула', 5, 1, 1, 1, False, False, False, 0])\n"
           "s.append([1, '4820000000024', 302, 'Число', 6, 1, 1, 1, False, False, False, 0])\n"
           "s.append(['=A3+1', '4820000000031', 303, 'Сума', 7, 1, 1, 1, False, False, False, 0])\n"
           "s.append([None, '4820000000048', 304, 'Масив', 8, 1, 1, 1, False, False, False, 0])\n"
           "s['A5'] = '=SUM(A2:A3)+2'\n"
           "s.formula_attributes['A5'] = {'t': 'array', 'ref': 'A5'}\n"
           "book.save(sys.argv[1])\n",
           {h.dir.File("formulas.xlsx")});
    ASSERT_NO_FATAL_FAILURE(LibreOfficeCopies({"formulas.xlsx"}));
    LoadGoods(kXls, h.dir.File("formulas.xls"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Запис бази товарів завершений!"});
    EXPECT_EQ(Names(), (std::vector<std::string>{"Формула", "Число", "Сума", "Масив"}));
}

// Goods whose codes, name, price, quantity and groups are formulas, as openpyxl (no cached value, with and
// without a full calculation on load asked), XlsxWriter (0 cached, a full calculation on load asked), xlwt
// (an empty text cached) and LibreOffice (values cached) write them: the writer's value, else the one the
// workbook library computes; a VLOOKUP the library does not compute, without a cached value, and an error
// value get the price's message; an error value in column A (#DIV/0!, #N/A) the number's. No price or
// quantity reaches the register as 0, no formula row is skipped or dropped, and success is not shown
// for them.
const char* const kFormulaGoodsWriter = R"PY(
import sys, openpyxl, xlsxwriter, xlwt, zipfile
out = sys.argv[1]
rows = [
    ["НОМЕР:", "ШТРИХ-КОД:", "PLU:", "НАЙМЕНУВАННЯ:", "ЦІНА:", "ЗАЛИШОК:"],
    [0, "4820000000017", 301, "Хліб", "=1000+200", "=2500*2", 1, "=1+1", False, False, False, 0],
    ["=A2+1", "4820000000024", "=C2+1", '="Мо"&"локо"', "=E2/4", 3, "=G2*2", 1, False, True, False, 0],
    ["=A3+1", "4820000000031", 303, "Чай", "=VLOOKUP(1,A2:A3,1,FALSE)", 1, 1, 1, False, False, False, 0],
    ["=A4+1", "4820000000048", 304, "Сіль", "=1/0", 1, 1, 1, False, False, False, 0],
    ["=1/0", "4820000000055", 305, "Ділення", 1, 1, 1, 1, False, False, False, 0],
    ["=NA()", "4820000000062", 306, "Немає", 1, 1, 1, 1, False, False, False, 0],
]
book = openpyxl.Workbook()
for r in rows: book.active.append(r)
book.save(out + "/openpyxl.xlsx")
book = xlsxwriter.Workbook(out + "/xlsxwriter.xlsx")
sheet = book.add_worksheet()
for i, r in enumerate(rows): sheet.write_row(i, 0, r)
book.close()
book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Goods")
for i, r in enumerate(rows):
    for j, v in enumerate(r):
        sheet.write(i, j, xlwt.Formula(v[1:]) if isinstance(v, str) and v.startswith("=") else v)
book.save(out + "/xlwt.xls")
# openpyxl's file without its request for a full calculation on load.
with zipfile.ZipFile(out + "/openpyxl.xlsx") as z, zipfile.ZipFile(out + "/uncached.xlsx", "w") as w:
    for i in z.infolist():
        data = z.read(i.filename)
        w.writestr(i, data.replace(b' fullCalcOnLoad="1"', b"") if i.filename == "xl/workbook.xml" else data)
)PY";

TEST_F(ImportFiles, WorkbookFormulasTakeTheirValues) {
    Start();
    Python(h.dir, kFormulaGoodsWriter, {h.dir.Path()});
    ASSERT_NO_FATAL_FAILURE(LibreOfficeCopies({"openpyxl.xlsx"}));
    const struct {
        const char* file;
        bool cached;
    } cases[] = {{"openpyxl.xlsx", false},
                 {"uncached.xlsx", false},
                 {"xlsxwriter.xlsx", false},
                 {"xlwt.xls", false},
                 {"openpyxl.xls", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EraseAll();
        const auto priceBox = [](int row) {
            return "Помилка в ціні на товар:\r\nрядок №" + std::to_string(row) +
                   " стовбчик №5!\r\nІгнорувати?";
        };
        const auto numberBox = [](int row) {
            return "Помилка в номері товару:\r\nрядок №" + std::to_string(row) +
                   " стовбчик №1!\r\nІгнорувати?";
        };
        std::vector<std::string> boxes = {priceBox(4), numberBox(5), numberBox(6),
                                          "Запис бази товарів завершений!"};
        if (!c.cached) boxes.insert(boxes.begin(), priceBox(3));
        for (std::size_t i = 1; i < boxes.size(); ++i) h.ui.QueueAnswer(platform::IdYes); // drop the row
        LoadGoods(kXls, h.dir.File(c.file));
        EXPECT_EQ(Boxes(), boxes);
        std::vector<RegisterRecord> table = Table();
        ASSERT_EQ(table.size(), c.cached ? 3u : 2u);
        EXPECT_EQ(platform::AnsiToUtf8(table[1].name), "Молоко");
        EXPECT_EQ(
            std::vector<uint32_t>({table[0].price, table[0].remainder, table[1].price, table[1].remainder}),
            std::vector<uint32_t>({120000, 5000000, 30000, 3000}));
        EXPECT_EQ(std::vector<int>({table[0].tax, table[1].plu, table[1].group, table[1].presenceControl}),
                  std::vector<int>({1, 302, 2, 1}));
        if (c.cached) {
            EXPECT_EQ(table[2].price, 100u);
        }
    }
}

// Group rows whose column A is a formula are taken by its value, names
// likewise: groups 2 and 3 of LibreOffice's file among them.
TEST_F(ImportFiles, WorkbookGroupFormulasTakeTheirValues) {
    Start();
    Python(h.dir,
           "import sys, openpyxl, xlwt\n"
           "rows = [['НОМЕР ГРУПИ:', 'НАЗВА:'], [1, 'Хліб'], ['=A2+1', '=\"Ка\"&\"ва\"'], ['=A3+1', 'Чай']]\n"
           "book = openpyxl.Workbook()\n"
           "for r in rows: book.active.append(r)\n"
           "book.save(sys.argv[1] + '/groups.xlsx')\n"
           "book = xlwt.Workbook(encoding='utf-8')\n"
           "sheet = book.add_sheet('G')\n"
           "for i, r in enumerate(rows):\n"
           "    for j, v in enumerate(r):\n"
           "        sheet.write(i, j, xlwt.Formula(v[1:]) if str(v).startswith('=') else v)\n"
           "book.save(sys.argv[1] + '/xlwt.xls')\n",
           {h.dir.Path()});
    ASSERT_NO_FATAL_FAILURE(LibreOfficeCopies({"groups.xlsx"}));
    const device::DeviceApi& api = h.State().Api();
    for (const char* file : {"groups.xlsx", "xlwt.xls", "groups.xls"}) {
        SCOPED_TRACE(file);
        const char* err = nullptr;
        for (int g = 1; g <= 3; ++g) ASSERT_EQ(api.SetGoodsGroupName(g, "", &err), 0);
        ImportGroups(kXls, h.dir.File(file));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Імпорт даних завершено!"});
        std::vector<std::string> names = GroupNames();
        names.resize(3);
        EXPECT_EQ(names, (std::vector<std::string>{"Хліб", "Кава", "Чай"}));
    }
}

// dBase tables hold their texts in the code page their mark names (0x65 is
// dBase's own mark of code page 866, which many DOS programs write): goods
// and group names reach the register as the table holds them, and a name the
// register's code page cannot hold gets the name's message, nothing written.
// The tables are written by Python's own codecs.
TEST_F(ImportFiles, DbaseTablesMarkedWithTheirCodePage) {
    Start();
    EraseAll();
    const char* source = std::getenv("Q710_SOURCE_DIR");
    const std::string writers =
        testfiles::Slurp(std::string(source ? source : "..") + "/tests/exchange/goods_writers.py");
    const std::string groupWriter =
        "import struct, sys\n"
        "names = sys.argv[3].split('|')\n"
        "head = struct.pack('<BBBBIHH17xB2x', 3, 124, 1, 2, len(names), 97, 24, int(sys.argv[2]))\n"
        "head += struct.pack('<11sc4xBB14x', b'ID', b'N', 3, 0)\n"
        "head += struct.pack('<11sc4xBB14x', b'NAME', b'C', 20, 0)\n"
        "body = b''.join(b' ' + str(n + 1).encode().rjust(3) + name.encode(sys.argv[4]).ljust(20) for n, "
        "name "
        "in enumerate(names))\n"
        "open(sys.argv[1], 'wb').write(head + b'\\r' + body + b'\\x1a')\n";
    const struct {
        int mark;
        const char* codec;
        std::vector<std::string> names; // held by the register's code page
        const char* foreign;            // a name it cannot hold, nullptr: none in this code page
    } marks[] = {
        {0x26, "cp866", {"Молоко", "Хлеб №1"}, nullptr},
        {0x65, "cp866", {"Молоко", "Хлеб №1"}, nullptr},
        {0xC9, "cp1251", {"Ґудзик", "Їжак"}, nullptr},
        {0x57, "cp1251", {"Ґудзик", "Їжак"}, nullptr},
        {0x03, "cp1252", {"Tea «Lux»", "Cafe ±5"}, "Café crème"},
        {0x01, "cp437", {"Tea 5°", "Cafe"}, "Café crème"},
        {0x02, "cp850", {"Tea ±5", "Cafe"}, "Café crème"},
        {0x64, "cp852", {"Tea §5", "Cafe"}, "Čaj"},
        {0x66, "cp865", {"Tea 5°", "Cafe"}, "Kaffe ø"},
        {0x6A, "cp737", {"Tea 5°", "Cafe"}, "Τσάι"},
        {0x7B, "cp932", {"Чай №5", "Cafe"}, "茶"},
        {0x7D, "cp1255", {"Tea ±5", "Cafe"}, "תה"},
        {0xC8, "cp1250", {"Tea §5", "Cafe"}, "Čaj"},
        {0xCB, "cp1253", {"«Tea»", "Cafe"}, "Τσάι"},
    };
    for (const auto& m : marks) {
        SCOPED_TRACE(m.codec + (" " + std::to_string(m.mark)));
        const std::string mark = std::to_string(m.mark);
        const auto goodsFile = [&](const std::vector<std::string>& names, const std::string& file) {
            std::string rows;
            for (std::size_t n = 0; n < names.size(); ++n)
                rows += std::string(n ? ", " : "") + "[" + std::to_string(n) + ", " +
                        std::to_string(101 + n) + ", \"48200000000" + std::to_string(17 + n) + "\", \"" +
                        names[n] + "\", \"12.50\", \"2.5\", 3, 2, 1, 0, 1, 2]";
            const std::string recipe = h.dir.File("recipe.json");
            testfiles::Spit(recipe, "{\"rows\": [" + rows + "], \"encoding\": \"" + m.codec +
                                        "\", \"codepage\": " + mark + "}");
            const std::string path = h.dir.File(file + mark + ".dbf");
            Python(h.dir, writers, {"dbf", path, recipe});
            return path;
        };
        const auto groupsFile = [&](const std::vector<std::string>& names, const std::string& file) {
            std::string joined;
            for (const std::string& name : names) joined += (joined.empty() ? "" : "|") + name;
            const std::string path = h.dir.File(file + mark + ".dbf");
            Python(h.dir, groupWriter, {path, mark, joined, m.codec});
            return path;
        };
        LoadGoods(kDbf, goodsFile(m.names, "goods"));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Запис бази товарів завершений!"});
        EXPECT_EQ(Names(), m.names);
        ImportGroups(kDbf, groupsFile(m.names, "groups"));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Імпорт даних завершено!"});
        std::vector<std::string> names = GroupNames();
        names.resize(m.names.size());
        EXPECT_EQ(names, m.names);
        if (m.foreign != nullptr) {
            EraseAll();
            LoadGoods(kDbf, goodsFile({m.names[0], m.foreign}, "foreign"));
            EXPECT_EQ(Boxes(),
                      std::vector<std::string>{"Помилка в найменуванні товару:\r\nрядок №2 поле \"Name\"!"});
            EXPECT_TRUE(Names().empty());
            ImportGroups(kDbf, groupsFile({m.foreign}, "foreigngroups"));
            EXPECT_EQ(Boxes(), std::vector<std::string>{"Невірний формат назви товарної групи (рядок №1)!"});
            EXPECT_EQ(GroupNames()[0], m.names[0]);
        }
        EraseAll();
        const char* err = nullptr;
        for (int g = 1; g <= 2; ++g) ASSERT_EQ(h.State().Api().SetGoodsGroupName(g, "", &err), 0);
    }
}

// Price texts keep their scale: only the separators between digits are
// judged, the regional decimal separator marking the decimals and the
// regional thousands separator or a blank standing before exactly three
// digits, never after a leading 0; a sign before the digits, a dash after
// the decimal separator for no kopecks; any other gets the price's message,
// and so does a price below zero: the load never stops on the register's
// refusal, the valid rows are written. The texts as openpyxl and XlsxWriter
// write them and as LibreOffice keeps them, under a decimal comma and a
// decimal point.
TEST_F(ImportFiles, PriceTextsKeepTheirScale) {
    Start();
    const char* const prices[] = {
        "15.50",     "1 234,50 грн.", "1,234.5",  "1\u00a0234\u00a0567,5",
        "$1,234.50", "12,5",          "15,- грн", "(акція) 12,00",
        "−5,00",     "–7,50 грн",     "0,500",    "0,001",
        "1e3",       "1,5E3",         "12,00 –",  "—3",
    };
    std::string rows;
    for (int n = 0; n < static_cast<int>(std::size(prices)); ++n) {
        const char* price = prices[n];
        rows += "[" + std::to_string(n) + ", '48200000001" + (n < 10 ? "0" : "") + std::to_string(n) + "', " +
                std::to_string(301 + n) + ", 'Товар " + std::to_string(n) + "', '" + price +
                "', 1, 1, 1, False, False, False, 0],\n";
    }
    Python(h.dir,
           "import sys, openpyxl, xlsxwriter\n"
           "rows = [\n" +
               rows +
               "]\n"
               "book = openpyxl.Workbook()\n"
               "for r in rows: book.active.append(r)\n"
               "book.save(sys.argv[1] + '/openpyxl.xlsx')\n"
               "book = xlsxwriter.Workbook(sys.argv[1] + '/xlsxwriter.xlsx')\n"
               "sheet = book.add_worksheet()\n"
               "for i, r in enumerate(rows):\n"
               "    for j, v in enumerate(r): sheet.write_string(i, j, v) if isinstance(v, str) else "
               "sheet.write(i, j, v)\n"
               "book.close()\n",
           {h.dir.Path()});
    ASSERT_NO_FATAL_FAILURE(LibreOfficeCopies({"openpyxl.xlsx"}));
    const auto priceBox = [](int row) {
        return "Помилка в ціні на товар:\r\nрядок №" + std::to_string(row) + " стовбчик №5!\r\nІгнорувати?";
    };
    const struct {
        char decimal;
        std::string thousands;
        std::vector<int> refused;      // rows
        std::vector<uint32_t> kopecks; // of the rows taken
    } regions[] = {
        {',', "\xA0", {0, 2, 4, 8, 9, 12, 13, 14, 15}, {123450, 123456750, 1250, 1500, 1200, 50, 0}},
        {'.', ",", {1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {1550, 123450, 123450}},
    };
    for (const auto& region : regions) {
        platform::RegionalSettings regional = platform::Regional();
        regional.decimalSeparator = region.decimal;
        regional.thousandsSeparator = region.thousands;
        platform::SetRegional(regional);
        for (const char* file : {"openpyxl.xlsx", "xlsxwriter.xlsx", "openpyxl.xls"}) {
            SCOPED_TRACE(std::string(file) + " decimal " + region.decimal);
            EraseAll();
            std::vector<std::string> boxes;
            for (int row : region.refused) {
                boxes.push_back(priceBox(row));
                h.ui.QueueAnswer(platform::IdYes); // drop the row
            }
            boxes.push_back("Запис бази товарів завершений!");
            LoadGoods(kXls, h.dir.File(file));
            EXPECT_EQ(Boxes(), boxes);
            std::vector<uint32_t> kopecks;
            for (const RegisterRecord& r : Table()) kopecks.push_back(r.price);
            EXPECT_EQ(kopecks, region.kopecks);
        }
    }
}

// Group names from formulas without a value the import can take, as
// openpyxl writes them (UPPER and VLOOKUP, which the library does not
// compute, no cached value) or that give an error value, get the name's
// message: the groups before are written, the register's names of the rest
// stay; LibreOffice's copy caches "ЧАЙ" and "Сік". An error value in column
// A gets the number's message: no group gets an empty name or "#DIV/0!",
// and no row is dropped.
TEST_F(ImportFiles, WorkbookGroupNamesWithoutAValue) {
    Start();
    Python(h.dir,
           "import sys, openpyxl\n"
           "rows = [['НОМЕР ГРУПИ:', 'НАЗВА:'], [1, 'Хліб', None, 1, 'Сік'], [2, '=UPPER(\"чай\")'],\n"
           "        [3, '=VLOOKUP(1,D2:E2,2,FALSE)'], [4, '=1/0'], [5, 'Вода']]\n"
           "book = openpyxl.Workbook()\n"
           "for r in rows: book.active.append(r)\n"
           "book.save(sys.argv[1] + '/names.xlsx')\n"
           "book = openpyxl.Workbook()\n"
           "for r in [[1, 'Хліб'], ['=1/0', 'Вода'], [3, 'Сир']]: book.active.append(r)\n"
           "book.save(sys.argv[1] + '/numbers.xlsx')\n",
           {h.dir.Path()});
    ASSERT_NO_FATAL_FAILURE(LibreOfficeCopies({"names.xlsx", "numbers.xlsx"}));
    const std::string nameMessage = "Невірний формат назви товарної групи (рядок №";
    const std::string numberMessage = "Невірно задано номер товарної групи (рядок №";
    const struct {
        const char* file;
        std::string box;
        std::vector<std::string> names; // groups 1..5 afterwards
    } cases[] = {
        {"names.xlsx", nameMessage + "2)!", {"Хліб", "Стара 2", "Стара 3", "Стара 4", "Стара 5"}},
        {"names.xls", nameMessage + "4)!", {"Хліб", "ЧАЙ", "Сік", "Стара 4", "Стара 5"}},
        {"numbers.xlsx", numberMessage + "1)!", {"Хліб", "Стара 2", "Стара 3", "Стара 4", "Стара 5"}},
        {"numbers.xls", numberMessage + "1)!", {"Хліб", "Стара 2", "Стара 3", "Стара 4", "Стара 5"}},
    };
    const device::DeviceApi& api = h.State().Api();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const char* err = nullptr;
        for (int g = 1; g <= 5; ++g)
            ASSERT_EQ(
                api.SetGoodsGroupName(g, platform::Utf8ToAnsi("Стара " + std::to_string(g)).c_str(), &err),
                0);
        const std::size_t logged = h.SimulatorLog().size();
        ImportGroups(kXls, h.dir.File(c.file));
        EXPECT_EQ(Boxes(), (std::vector<std::string>{c.box, "Імпорт даних завершено!"}));
        std::vector<std::string> names = GroupNames();
        names.resize(5);
        EXPECT_EQ(names, c.names);
        // Nothing but the names taken reached the register.
        const std::string log = h.SimulatorLog().substr(logged);
        std::size_t written = 0;
        for (std::size_t at = 0; (at = log.find("SetGoodsGroupName(", at)) != std::string::npos; ++at)
            ++written;
        EXPECT_EQ(written, c.names[1] == "ЧАЙ" ? 3u : 1u) << log;
    }
}

// A workbook the library refuses is told in a sentence of ours naming the
// file, the library's text after it (a file that cannot be opened keeps the
// system's reason), never the library's English text alone; nothing
// reaches the register.
TEST_F(ImportFiles, RefusedWorkbooksNameTheFile) {
    Start();
    Python(h.dir,
           "import sys, xlwt, zipfile\n"
           "book = xlwt.Workbook()\n"
           "book.add_sheet('S').write(0, 0, 1)\n"
           "book.save(sys.argv[1] + '/whole.xls')\n"
           "data = open(sys.argv[1] + '/whole.xls', 'rb').read()\n"
           "open(sys.argv[1] + '/cut.xls', 'wb').write(data[:-600])\n"
           "open(sys.argv[1] + '/text.xlsx', 'w').write('1;Хліб')\n"
           "with zipfile.ZipFile(sys.argv[1] + '/empty.xlsx', 'w') as z: z.writestr('[Content_Types].xml', "
           "'<Types/>')\n",
           {h.dir.Path()});
    const std::vector<std::string> tableBefore = Names();
    const std::vector<std::string> groupsBefore = GroupNames();
    const std::string sentence = "Не вдається прочитати книгу Excel ";
    const std::pair<std::string, std::string> cases[] = {
        {"cut.xls", sentence + h.dir.File("cut.xls") +
                        ":\r\nBad compound file: the directory points past the end of the file"},
        {"text.xlsx", sentence + h.dir.File("text.xlsx") + ":\r\nFile is not a ZIP archive or is damaged"},
        {"empty.xlsx", sentence + h.dir.File("empty.xlsx") + ":\r\nThe package holds no workbook part"},
        {"none.xls",
         "Не вдається відкрити файл " + h.dir.File("none.xls") + ": Немає такого файлу або каталогу"},
    };
    for (const auto& [file, text] : cases) {
        SCOPED_TRACE(file);
        LoadGoods(kXls, h.dir.File(file));
        EXPECT_EQ(Boxes(), std::vector<std::string>{text});
        ImportGroups(kXls, h.dir.File(file));
        EXPECT_EQ(Boxes(), std::vector<std::string>{text});
    }
    EXPECT_FALSE(Logged("SetGoodsByNumber"));
    EXPECT_FALSE(Logged("SetGoodsGroupName"));
    EXPECT_EQ(Names(), tableBefore);
    EXPECT_EQ(GroupNames(), groupsBefore);
}

// A DBF export to a name that is not ".dbf" is refused with the table's own
// error: no file ("t.txt" is not written), no success.
TEST_F(ImportFiles, DbfExportToAnotherTypeOfNameIsRefused) {
    Start();
    const std::string report = h.dir.File("t.txt");
    QueueJob(kDbf, report, false);
    h.Form().ActionReadDayReport->trigger();
    std::vector<std::string> boxes = Boxes();
    EXPECT_EQ(boxes, std::vector<std::string>{"TableName: Недопустимый тип файла"});
    EXPECT_FALSE(testfiles::Exists(report));
    EXPECT_EQ(h.State().MakeMetod.Done, 0);

    const std::string groups = h.dir.File("g.csv");
    QueueJob(kDbf, groups, false);
    h.Form().ActionExportGroupsOfGoods->trigger();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"TableName: Недопустимый тип файла"});
    EXPECT_FALSE(testfiles::Exists(groups));
}

// An XML file that does not parse is told in a sentence of ours naming the
// file and the line, the parser's own text after it; nothing is written.
TEST_F(ImportFiles, XmlThatDoesNotParseNamesTheFileAndTheLine) {
    Start();
    std::string deep = "<REPORT>\n";
    for (int i = 0; i < 300; ++i) deep += "<a>";
    const struct {
        const char* name;
        std::string text;
        std::string reason;
    } cases[] = {
        {"deep.xml", deep, " (рядок 2):\r\nExcessive depth in document: 256 use XML_PARSE_HUGE option"},
        {"open.xml", "<REPORT>\n<Item a=\"1\"/ ></REPORT>",
         " (рядок 2):\r\nCouldn't find end of Start Tag Item line 2"},
        {"entity.xml", "<!DOCTYPE r [\n<!ENTITY a \"b\">]><r/>",
         " (рядок 2):\r\nОголошення сутностей у документі не допускаються"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = h.dir.File(c.name);
        testfiles::Spit(file, c.text);
        LoadGoods(kXml, file);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Помилка структури XML-файлу " + file + c.reason});
        ImportGroups(kXml, file);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Помилка структури XML-файлу " + file + c.reason});
    }
    EXPECT_FALSE(Logged("SetGoodsByNumber"));
    EXPECT_FALSE(Logged("SetGoodsGroupName"));
}

// A duplicate-PLU log that cannot be written is told with the reason (not
// "Не вдається видалити файл …/goods.csv.log" for a log that never
// existed), and the goods still reach the register. Its name one character
// too long stands for any folder the log cannot go into (root writes into
// read-only folders); without root, a read-only folder too.
TEST_F(ImportFiles, DuplicateLogThatCannotBeWrittenIsTold) {
    Start();
    EraseAll();
    const std::string rows = "0;7;4820000000017;A;1;1;1;1;0;0;0;0\r\n1;7;4820000000024;B;1;1;1;1;0;0;0;0\r\n";
    std::vector<std::pair<std::string, std::string>> cases; // file, reason
    // 252 characters: the log's 256 pass the folder's limit of 255.
    const std::string longName = h.dir.File(std::string(248, 'g') + ".csv");
    cases.push_back({longName, "Задовга назва файлу"});
    if (geteuid() != 0) {
        ASSERT_EQ(mkdir(h.dir.File("ro").c_str(), 0700), 0);
        cases.push_back({h.dir.File("ro/goods.csv"), "Доступ заборонено"});
    }
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(reason);
        testfiles::Spit(file, rows);
        if (file.find("/ro/") != std::string::npos) chmod(h.dir.File("ro").c_str(), 0500);
        LoadGoods(kCsv, file);
        chmod(h.dir.File("ro").c_str(), 0700);
        EXPECT_EQ(Boxes(), (std::vector<std::string>{"Не вдається записати журнал повторних кодів PLU " +
                                                         file + ".log: " + reason,
                                                     "Запис бази товарів завершений!"}));
        EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B"}));
        struct stat st {};
        EXPECT_NE(stat((file + ".log").c_str(), &st), 0);
    }
}

} // namespace
