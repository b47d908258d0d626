// Goods-group files between the program and other programs: every export
// read back by an independent reader (ElementTree and xmllint, xlrd with its
// fonts, Python's csv, dbfread), and files written by others (ElementTree,
// xlwt, LibreOffice, Python's csv, a dBase writer of its own) imported.
#include <gtest/gtest.h>

#include "exchange/Dispatcher.h"
#include "platform/CodePages.h"
#include "platform/ui/ScriptedUi.h"
#include "support_exchange.h"
#include "support_process.h"
#include "support_reports.h"

using namespace exchange_test;

namespace {

using Lines = std::vector<std::string>;

// Ten groups with Ukrainian names, one empty, one at 20 characters.
std::vector<GoodsGroupRecord> TenGroups() {
    const char* names[] = {"Хліб",    "Молоко", "",    "Кава \"Лате\"",  "12345678901234567890",
                           "Ґудзики", "Сіль",   "Чай", "Вода; газована", "Їжа"};
    std::vector<GoodsGroupRecord> table = EmptyGroupTable();
    for (int i = 0; i < 10; ++i)
        table[static_cast<std::size_t>(i)] = {static_cast<uint8_t>(i * 11 + 1),
                                              platform::Utf8ToAnsi(names[i])};
    return table;
}

struct ExportRun {
    std::string path;
    int done = 0;
    bool written = false;
    Lines memo;
    std::size_t tableLeft = 0;
};

ExportRun Export(int format, std::optional<std::string> path, const console::CsvOptionsRecord& options = {}) {
    platform::ScriptedUi ui;
    Job job;
    ExportRun run;
    job.side().Main.AppendMemo2 = [&run](const std::string& line) { run.memo.push_back(line); };
    job.arrays.GoodsGroupTable = TenGroups();
    job.state.CsvOptions = options;
    RunExport(job, format, 2, path, ui);
    run.path = path.value_or("");
    run.done = job.state.MakeMetod.Done;
    run.written = job.side().FileWritten;
    run.tableLeft = job.arrays.GoodsGroupTable.size();
    EXPECT_EQ(ui.Unscripted(), 0);
    EXPECT_EQ(job.progress.maximum, 100);
    EXPECT_EQ(job.progress.steps, run.written ? 10 : job.progress.steps);
    return run;
}

TEST(GroupsFiles, ExportsReadBackByIndependentReaders) {
    ScratchDir dir;
    const char* ext[] = {"xml", "xls", "csv", "dbf"};
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(ext[format]);
        ExportRun run = Export(format, dir.File(std::string("groups.") + ext[format]));
        EXPECT_EQ(run.done, 1);
        EXPECT_TRUE(run.written);
        EXPECT_EQ(run.tableLeft, 0u);
        // The DBF export tells the memo nothing.
        if (format == exchange::FormatDbf)
            EXPECT_TRUE(run.memo.empty());
        else
            EXPECT_EQ(run.memo, (Lines{std::string(62, '-'), "Данні збережено у файлі:", run.path,
                                       "Файл експорту закрито!"}));
    }
    EXPECT_TRUE(XmllintAccepts(dir.File("groups.xml")));
    Lines outline = PythonXmlOutline(dir.File("groups.xml"));
    Lines expectedOutline = {"REPORT",
                             "REPORT/HEADER",
                             "REPORT/HEADER/DEVELOPMENT=ТОВ \"ВЕЛОТА\"",
                             "REPORT/HEADER/MODEL=ZRV-Q710",
                             "REPORT/HEADER/VERSION=2-01",
                             "REPORT/HEADER/REPORT_ID={XMLREP1}",
                             "REPORT/HEADER/REPORT_NAME=Товарні групи",
                             "REPORT/FIELDS_NAME",
                             "REPORT/FIELDS_NAME@FIELD_1=НОМЕР ГРУПИ",
                             "REPORT/FIELDS_NAME@FIELD_2=НАЗВА ТОВАРНОЇ ГРУПИ",
                             "REPORT/DATA"};
    for (const GoodsGroupRecord& g : TenGroups()) {
        if (g.Number == 0) break;
        expectedOutline.push_back("REPORT/DATA/Item");
        expectedOutline.push_back("REPORT/DATA/Item@Id=" + std::to_string(g.Number));
        expectedOutline.push_back("REPORT/DATA/Item@Name=" + platform::AnsiToUtf8(g.Name));
    }
    EXPECT_EQ(outline, expectedOutline);

    Rows xls = XlrdRows(dir.File("groups.xls"));
    // The numbers' column is blue down to row 101, cells or none.
    ASSERT_EQ(xls.size(), 103u);
    EXPECT_EQ(xls[13], (std::vector<std::string>{"_:/0000ff", "e"}));
    EXPECT_EQ(xls[102], (std::vector<std::string>{"_:/0000ff", "e"}));
    EXPECT_EQ(xls[0], (std::vector<std::string>{"1", "80"}));
    EXPECT_EQ(xls[1], (std::vector<std::string>{"e", "e"}));
    EXPECT_EQ(xls[2],
              (std::vector<std::string>{"s:НОМЕР ГРУПИ:/0000ff/B", "s:НАЗВА ТОВАРНОЇ ГРУПИ:/0000ff/B"}));
    EXPECT_EQ(xls[3], (std::vector<std::string>{"n:1/0000ff", "s:Хліб/000000"}));
    EXPECT_EQ(xls[5], (std::vector<std::string>{"n:23/0000ff", "s:/000000"}));
    EXPECT_EQ(xls[12], (std::vector<std::string>{"n:100/0000ff", "s:Їжа/000000"}));

    // A name holding the delimiter or a quote is quoted, its quotes doubled,
    // as Python's csv module reads it.
    Rows csv = PythonCsvRows(dir.File("groups.csv"), ';', true, "cp1251");
    ASSERT_EQ(csv.size(), 10u);
    EXPECT_EQ(csv[3], (std::vector<std::string>{"34", "Кава \"Лате\""}));
    EXPECT_EQ(csv[8], (std::vector<std::string>{"89", "Вода; газована"}));
    EXPECT_EQ(ReadFile(dir.File("groups.csv")).substr(0, 8), "1;\xD5\xEB\xB3\xE1\r\n");

    Rows dbf = DbfreadRows(dir.File("groups.dbf"));
    ASSERT_EQ(dbf.size(), 4u + 10u);
    EXPECT_EQ(dbf[0], (std::vector<std::string>{"97", "24"}));
    EXPECT_EQ(dbf[1], (std::vector<std::string>{"ID", "N", "3", "0"}));
    EXPECT_EQ(dbf[2], (std::vector<std::string>{"NAME", "C", "20", "0"}));
    EXPECT_EQ(dbf[4], (std::vector<std::string>{"1", "Хліб"}));
    EXPECT_EQ(dbf[8], (std::vector<std::string>{"45", "12345678901234567890"}));
}

TEST(GroupsFiles, CancelledSaveWritesNothingAndTellsNothing) {
    for (int format = 0; format < 4; ++format) {
        ExportRun run = Export(format, std::nullopt);
        EXPECT_FALSE(run.written);
        EXPECT_TRUE(run.memo.empty());
        // Only the DBF export asks before it builds anything: it keeps the table and is not done.
        EXPECT_EQ(run.done, format == exchange::FormatDbf ? 0 : 1);
        EXPECT_EQ(run.tableLeft, format == exchange::FormatDbf ? 100u : 0u);
    }
}

using Groups = std::vector<std::pair<int, std::string>>;

Groups Imported(int format, const std::string& path, const console::CsvOptionsRecord& options = {}) {
    platform::ScriptedUi ui;
    Job job;
    job.state.CsvOptions = options;
    job.state.MakeMetod.FileName = path;
    job.state.MakeMetod.OperationKind = 1;
    exchange::JobContext context = job.Context();
    exchange::Dispatch(context, format, 1);
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].Utf8Text();
    EXPECT_EQ(job.state.MakeMetod.Done, 1);
    Groups groups;
    const auto& table = job.arrays.GoodsGroupTable;
    for (std::size_t i = 0; i < UsedGroupEntries(table); ++i)
        groups.emplace_back(table[i].Number, platform::AnsiToUtf8(table[i].Name));
    return groups;
}

// The groups every foreign file below holds: names with the delimiters and
// quotes, which CSV writers quote.
const Groups kForeign = {
    {1, "Хліб"}, {2, "Молоко, сир"}, {15, "Кава; мелена"}, {100, "Група \"А\"\tостання"}};
const Groups kForeignNoUkrainian = {
    {1, "Хлеб"}, {2, "Молоко, сир"}, {15, "Кава; мелена"}, {100, "Група \"А\"\tостання"}};

const char* const kGroupsPy = R"PY(
groups = [(1, "Хліб"), (2, "Молоко, сир"), (15, "Кава; мелена"), (100, "Група \"А\"\tостання")]
no_ukrainian = [(1, "Хлеб"), (2, "Молоко, сир"), (15, "Кава; мелена"), (100, "Група \"А\"\tостання")]
)PY";

TEST(GroupsFiles, FilesOfOtherWritersImport) {
    ScratchDir dir;
    const std::string script = std::string(kGroupsPy) + R"PY(
import csv, sys, struct, xlwt, xml.etree.ElementTree as ET
out = sys.argv[1]

root = ET.Element("REPORT")
header = ET.SubElement(root, "HEADER")
for tag, text in [("DEVELOPMENT", "x"), ("MODEL", "ZRV-Q710"), ("VERSION", "2-01"),
                  ("REPORT_ID", "{XMLREP1}"), ("REPORT_NAME", "Товарні групи")]:
    ET.SubElement(header, tag).text = text
ET.SubElement(root, "FIELDS_NAME", FIELD_1="НОМЕР ГРУПИ", FIELD_2="НАЗВА ТОВАРНОЇ ГРУПИ")
data = ET.SubElement(root, "DATA")
for n, name in groups:
    ET.SubElement(data, "Item", Id=str(n), Name=name)
ET.indent(root)
ET.ElementTree(root).write(out + "/et.xml", encoding="utf-8", xml_declaration=True)

book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Групи")
sheet.write(0, 0, "Товарні групи магазину")
sheet.write(2, 0, "НОМЕР ГРУПИ:")
for i, (n, name) in enumerate(groups):
    sheet.write(3 + i, 0, n)
    sheet.write(3 + i, 1, name)
book.save(out + "/xlwt.xls")

with open(out + "/libre.csv", "w", encoding="utf-8", newline="") as f:
    w = csv.writer(f)
    w.writerow(["Групи"])
    for n, name in groups:
        w.writerow([n, name])

for enc, rows in [("cp1251", groups), ("cp866", no_ukrainian)]:
    for word, delimiter in [("semicolon", ";"), ("comma", ","), ("tab", "\t")]:
        name = out + "/py_" + enc + "_" + word
        with open(name + "_quoted.csv", "w", encoding=enc, newline="") as f:
            csv.writer(f, delimiter=delimiter, quoting=csv.QUOTE_NONNUMERIC).writerows(rows)
        with open(name + "_plain.csv", "w", encoding=enc, newline="") as f:
            csv.writer(f, delimiter=delimiter).writerows(rows)

def dbf(path, fields, rows, enc, codepage):
    records = []
    for row in rows:
        body = b" "
        for (name, kind, size), value in zip(fields, row):
            text = str(value).encode(enc)
            body += text.rjust(size) if kind == b"N" else text.ljust(size)
        records.append(body)
    length = 1 + sum(size for _, _, size in fields)
    head = struct.pack("<BBBBIHH17xB2x", 3, 124, 1, 2, len(rows), 32 * (len(fields) + 1) + 1, length,
                       codepage)
    for name, kind, size in fields:
        head += struct.pack("<11sc4xBB14x", name, kind, size, 0)
    with open(path, "wb") as f:
        f.write(head + b"\r" + b"".join(records) + b"\x1a")

dbf(out + "/own.dbf", [(b"ID", b"N", 3), (b"NAME", b"C", 20)], groups, "cp1251", 0)
dbf(out + "/own_oem.dbf", [(b"NAME", b"C", 30), (b"ID", b"N", 5)],
    [(name, n) for n, name in no_ukrainian], "cp866", 0x26)
dbf(out + "/dbase_866.dbf", [(b"ID", b"N", 3), (b"NAME", b"C", 20)], no_ukrainian, "cp866", 0x65)
)PY";
    RunPython(script, {dir.Path()});
    // LibreOffice writes the workbook from its own reading of a CSV file.
    const testfiles::TProgramRun lo =
        testfiles::LibreOfficeConvert({dir.File("libre.csv")}, dir.Path(), "xls:MS Excel 97", "CSV:44,34,76");
    ASSERT_EQ(lo.Status, 0) << lo.Why();

    EXPECT_EQ(Imported(exchange::FormatXml, dir.File("et.xml")), kForeign);
    EXPECT_EQ(Imported(exchange::FormatXls, dir.File("xlwt.xls")), kForeign);
    EXPECT_EQ(Imported(exchange::FormatXls, dir.File("libre.xls")), kForeign);
    // Python's csv module under every delimiter: its quoted fields are taken
    // whole with QUOTES and without.
    const std::pair<char, const char*> delimiters[] = {{';', "semicolon"}, {',', "comma"}, {'\t', "tab"}};
    for (auto [delimiter, word] : delimiters)
        for (bool cp866 : {false, true})
            for (bool quotes : {false, true}) {
                const std::string file = std::string("py_") + (cp866 ? "cp866_" : "cp1251_") + word +
                                         (quotes ? "_quoted.csv" : "_plain.csv");
                SCOPED_TRACE(file);
                const console::CsvOptionsRecord options{delimiter, cp866, quotes, false, true};
                EXPECT_EQ(Imported(exchange::FormatCsv, dir.File(file), options),
                          cp866 ? kForeignNoUkrainian : kForeign);
            }
    EXPECT_EQ(Imported(exchange::FormatDbf, dir.File("own.dbf")), kForeign);
    EXPECT_EQ(Imported(exchange::FormatDbf, dir.File("own_oem.dbf")), kForeignNoUkrainian);
    // dBase's own mark of code page 866.
    EXPECT_EQ(Imported(exchange::FormatDbf, dir.File("dbase_866.dbf")), kForeignNoUkrainian);
}

} // namespace
