// Tables written here are read back by an independent reader (dbfread).
#include "support_dbf.h"

#include "support_readers.h"

using namespace exchange;
using namespace dbftest;

namespace {

// One line per field ("NAME T length decimals"), then one line per record, values joined by '|'.
const char* Reader = R"(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding=sys.argv[2], char_decode_errors='strict')
for f in t.fields:
    print(f.name, f.type, f.length, f.decimal_count)
for r in t:
    print('|'.join(v.isoformat() if hasattr(v, 'isoformat') else str(v) for v in r.values()))
)";

std::string ReadWithDbfread(const std::string& table, const std::string& encoding) {
    return testfiles::RunPython(Reader, {table, encoding});
}

class DbfOracle : public ::testing::Test {
protected:
    void SetUp() override { SetDbfClock(FixedDay); }
    void TearDown() override { SetDbfClock(nullptr); }
    Folder dir;
};

TEST_F(DbfOracle, WrittenTablesReadTheSameElsewhere) {
    std::string path = dir.File("goods.dbf");
    WriteTable(path,
               {{"NUMBER", dftNumeric, 5, 0},
                {"barcode", dftCharacter, 13, 0},
                {"NAME", dftCharacter, 31, 0},
                {"PRICE", dftFloat, 10, 2},
                {"REMAINS", dftFloat, 12, 3},
                {"WEIGHT", dftLogical, 1, 0},
                {"SOLD", dftDate, 8, 0}},
               {{"1", "4820000000017", A("Хліб «Київський»"), "12,5", "2,5", "Yes", "31.12.99"},
                {"65535", "", "", "0", "", "No", "29.02.00"},
                {"", "7", "x", "-3", "1234567,891", "", ""}});
    EXPECT_EQ(
        ReadWithDbfread(path, "cp1251"),
        "NUMBER N 5 0\nBARCODE C 13 0\nNAME C 31 0\nPRICE F 10 2\nREMAINS F 12 3\nWEIGHT L 1 0\nSOLD D 8 0\n"
        "1|4820000000017|Хліб «Київський»|12.5|2.5|True|1999-12-31\n"
        "65535|||0.0|None|False|2000-02-29\n"
        "None|7|x|-3.0|1234567.891|None|None\n");
}

TEST_F(DbfOracle, EveryPostedRecordIsInAValidTable) {
    std::string path = dir.File("part.dbf");
    TDBF t;
    t.SetTableName(path);
    t.AddFieldDefs("ID", dftNumeric, 3, 0);
    t.AddFieldDefs("NAME", dftCharacter, 20, 0);
    t.CreateTable();
    t.EmptyTable();
    std::string expected = "ID N 3 0\nNAME C 20 0\n";
    for (int i = 1; i <= 3; ++i) {
        t.Append();
        t.SetFieldData(1, std::to_string(i));
        t.SetFieldData(2, A("група ") + std::to_string(i));
        t.Post();
        expected += std::to_string(i) + "|група " + std::to_string(i) + "\n";
        std::string copy = dir.File("copy" + std::to_string(i) + ".dbf");
        Spit(copy, Slurp(path));
        EXPECT_EQ(ReadWithDbfread(copy, "cp1251"), expected);
    }
    // The disk fills up during the next record; the table object is dropped without Close.
    {
        FileSizeLimit limit(Slurp(path).size() + 5);
        EXPECT_NE(ErrorOf([&] { t.Append(); }), "");
    }
    EXPECT_EQ(ReadWithDbfread(path, "cp1251"), expected);
}

TEST_F(DbfOracle, OemTablesMatchTheirCodePage) {
    // NAME C(6), Q N(3,0); code-page byte 0x26; one record "Щука", 7.
    std::string name = platform::AnsiToOem(A("Щука"));
    std::string image = std::string("\x03\x7C\x03\x05\x01\x00\x00\x00\x61\x00\x0A\x00", 12) +
                        std::string(17, '\0') + "\x26" + std::string(2, '\0') + "NAME" +
                        std::string(7, '\0') + "C" + std::string(4, '\0') + "\x06" + std::string(15, '\0') +
                        "Q" + std::string(10, '\0') + "N" + std::string(4, '\0') + "\x03" +
                        std::string(15, '\0') + "\x0D" + " " + name + "    7" + "\x1A";
    std::string path = dir.File("oem.dbf");
    Spit(path, image);
    EXPECT_EQ(ReadWithDbfread(path, "cp866"), "NAME C 6 0\nQ N 3 0\nЩука|7\n");
    TDBF t;
    t.SetTableName(path);
    t.Open();
    EXPECT_EQ(t.GetFieldData(1), A("Щука"));
    EXPECT_EQ(t.GetFieldData(2), "7");
}

// Tables marked with each code page dBase names, written by Python's own
// codecs and read by dbfread in that code page: a name the register's code
// page holds reads as dbfread reads it, any other is told not to fit.
TEST_F(DbfOracle, TablesAreReadInTheCodePageOfTheirMark) {
    const char* const writer = R"PY(
import struct, sys
folder = sys.argv[1]
marks = {0x01: "cp437", 0x02: "cp850", 0x03: "cp1252", 0x26: "cp866", 0x57: "cp1251", 0x64: "cp852",
         0x65: "cp866", 0x66: "cp865", 0x6A: "cp737", 0x7B: "cp932", 0x7D: "cp1255", 0xC8: "cp1250",
         0xC9: "cp1251", 0xCB: "cp1253"}
names = ["Tea 5°", "Café crème", "«Чай» №2", "Čaj §1", "Τσάι", "תה ±5", "茶", "Ґудзик"]
for mark, codec in marks.items():
    held = []
    for name in names:
        try:
            held.append(name.encode(codec))
        except UnicodeEncodeError:
            pass
    path = "%s/m%02X.dbf" % (folder, mark)
    head = struct.pack("<BBBBIHH17xB2x", 3, 124, 1, 2, len(held), 65, 21, mark)
    head += struct.pack("<11sc4xBB14x", b"NAME", b"C", 20, 0)
    open(path, "wb").write(head + b"\r" + b"".join(b" " + n.ljust(20) for n in held) + b"\x1a")
    import dbfread
    for record in dbfread.DBF(path, encoding=codec, char_decode_errors="strict"):
        name = record["NAME"]
        try:
            name.encode("cp1251")
            fits = "1"
        except UnicodeEncodeError:
            fits = "0"
        sys.stdout.buffer.write(("%s\x1f%s\x1f%s\n" % (path, name, fits)).encode("utf-8"))
)PY";
    const testfiles::Rows rows = testfiles::SplitRows(testfiles::RunPython(writer, {dir.Path()}));
    ASSERT_GT(rows.size(), 25u); // every code page holds a few of the names
    std::string open;
    TDBF t;
    for (const std::vector<std::string>& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        SCOPED_TRACE(row[0] + " " + row[1]);
        if (row[0] != open) {
            if (t.Active()) t.Close();
            t.SetTableName(row[0]);
            t.Open();
            open = row[0];
        } else {
            t.Next();
        }
        EXPECT_EQ(t.FieldTextFitsAnsi(1), row[2] == "1");
        if (row[2] == "1") {
            EXPECT_EQ(t.GetFieldData(1), A(row[1].c_str()));
        }
    }
}

} // namespace
