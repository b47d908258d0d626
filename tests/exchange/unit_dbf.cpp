#include "platform/RegionalSettings.h"
#include "support_dbf.h"

#include <filesystem>
#include <unistd.h>

using namespace exchange;
using namespace dbftest;

namespace {

std::string Desc(const std::string& name, char letter, int len, int dec = 0) {
    std::string d(32, '\0');
    d.replace(0, name.size(), name);
    d[11] = letter;
    d[16] = static_cast<char>(len);
    d[17] = static_cast<char>(dec);
    return d;
}

std::string U16(int v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

// A table image as another writer makes it: `tail` goes between the descriptors' 0x0D and the records.
std::string Image(const std::vector<std::string>& descs, const std::vector<std::string>& records,
                  char codePage, int recLen, const std::string& tail = "") {
    std::string body;
    for (const auto& d : descs) body += d;
    body += '\x0D' + tail;
    std::string h(32, '\0');
    h[0] = 3;
    h[4] = static_cast<char>(records.size());
    h.replace(8, 2, U16(static_cast<int>(32 + body.size())));
    h.replace(10, 2, U16(recLen));
    h[29] = codePage;
    std::string all = h + body;
    for (const auto& r : records) all += r;
    return all + '\x1A';
}

class Dbf : public ::testing::Test {
protected:
    void SetUp() override { SetDbfClock(FixedDay); }
    void TearDown() override {
        SetDbfClock(nullptr);
        platform::SetRegional({});
        platform::SetAtomicWriteHook(nullptr);
    }
    using Defs = std::initializer_list<std::tuple<const char*, TDbfFieldType, int, int>>;
    // By default ID N(3,0) and NAME C(20).
    void Create(TDBF& t, Defs defs = {{"id", dftNumeric, 3, 0}, {"Name", dftCharacter, 20, 0}}) {
        t.SetTableName(path);
        for (const auto& [name, type, size, dec] : defs) t.AddFieldDefs(name, type, size, dec);
        t.CreateTable();
        t.EmptyTable();
    }
    static void UseSeparator(char c) {
        platform::RegionalSettings rs;
        rs.decimalSeparator = c;
        platform::SetRegional(rs);
    }
    Folder dir;
    std::string path = dir.File("t.dbf");
};

TEST_F(Dbf, EmptyTableHasTheExactLayout) {
    TDBF t;
    Create(t);
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_TRUE(t.Eof());
    t.Close();
    std::string expected = std::string("\x03\x7C\x03\x05", 4) + std::string(4, '\0') + U16(97) + U16(24) +
                           std::string(20, '\0') + Desc("ID", 'N', 3) + Desc("NAME", 'C', 20) + "\x0D\x1A";
    EXPECT_EQ(Slurp(path), expected);
}

TEST_F(Dbf, FieldDefinitionsAndMisuse) {
    TDBF t;
    EXPECT_EQ(ErrorOf([&] { t.SetTableName(dir.File("x.csv")); }),
              std::string("TableName: Недопустимый тип файла"));
    t.AddFieldDefs("totalselsum", dftFloat, 12, 2);
    t.AddFieldDefs("flag", dftLogical, 9, 3); // length 1, no decimals
    t.AddFieldDefs("day", dftDate, 3, 0);     // length 8
    t.AddFieldDefs("vat", dftNumeric, 1, 0);
    EXPECT_EQ(ErrorOf([&] { t.AddFieldDefs("x", dftCharacter, 0, 0); }),
              std::string("AddFieldDefs: Недопустимый размер поля"));
    EXPECT_EQ(ErrorOf([&] { t.AddFieldDefs("x", dftFloat, 3, 2); }),
              std::string("AddFieldDefs: Недопустимое значение FldPrecision"));
    t.SetTableName(dir.File("x.DbF"));
    t.CreateTable();
    EXPECT_EQ(t.GetFieldName(1), "TOTALSELSU");
    EXPECT_EQ(Slurp(t.TableName()).substr(10, 2), U16(1 + 12 + 1 + 8 + 1));
    EXPECT_EQ(Slurp(t.TableName())[32 + 32 + 17], '\0');
    EXPECT_EQ(ErrorOf([&] { t.GetFieldData(5); }), std::string("GetFieldData: Неверный номер поля: 5"));
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(0, "1"); }), std::string("SetFieldData: Неверный номер поля: 0"));
    t.Close();
    EXPECT_EQ(ErrorOf([&] { t.Append(); }), std::string("Append: Файл не открыт"));
    EXPECT_EQ(ErrorOf([&] { t.CreateTable(); }), std::string("CreateTable: Не заданы описания полей"));
    t.SetTableName(path);
    EXPECT_EQ(ErrorOf([&] { t.Open(); }), std::string("Open: Не найден файл ") + path);
}

TEST_F(Dbf, ValuesAreStoredAndReadByType) {
    UseSeparator(',');
    TDBF t;
    Create(t, {{"L", dftLogical, 1, 0},
               {"D", dftDate, 8, 0},
               {"F", dftFloat, 10, 2},
               {"N", dftNumeric, 3, 0},
               {"C", dftCharacter, 6, 0}});
    struct Row {
        const char *l, *d, *f, *n, *c, *stored;
    };
    const Row rows[] = {
        {"FALSE", "01.02.03", "5", "7", " ab\t\r\n", " F20030201      5.00  7 ab   "},
        {"yes", "01.02.51", "1.5", "-12", "", " T19510201      1.50-12      "},
        {"maybe", "29.02.24", "-0,125", "", "\xC0\xC1", "  20240229     -0.12   \xC0\xC1    "},
        {"", "", "", "999", "abcdef", "                    999abcdef"},
    };
    for (const Row& r : rows) {
        t.Append();
        for (int f = 1; f <= 5; ++f) t.SetFieldData(f, (&r.l)[f - 1]);
        t.Post();
    }
    t.Close();
    std::string file = Slurp(path);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(file.substr(193 + i * 29, 29), rows[i].stored) << i;

    t.Open();
    EXPECT_EQ(t.RecordCount(), 4u);
    const char* back[][5] = {{"False", "01.02.03", "5,00", "7", "ab"},
                             {"True", "01.02.51", "1,50", "-12", ""},
                             {"", "29.02.24", "-0,12", "", "\xC0\xC1"},
                             {"", "", "", "999", "abcdef"}};
    for (int i = 0; i < 4; ++i, t.Next()) {
        for (int f = 1; f <= 5; ++f) EXPECT_EQ(t.GetFieldData(f), back[i][f - 1]) << i << "," << f;
    }
    EXPECT_TRUE(t.Eof());
}

TEST_F(Dbf, RefusedValuesNeverTouchTheRecord) {
    UseSeparator('.');
    TDBF t;
    Create(t, {{"D", dftDate, 8, 0}, {"F", dftFloat, 5, 2}, {"C", dftCharacter, 2, 0}});
    t.Append();
    t.Append();
    std::string data = std::string("SetFieldData: Ошибка данных - Ряд: 2, Поле: ");
    std::string size = std::string("SetFieldData: Недопустимый размер данных\rРяд: 2, Поле: ");
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(1, "31.02.03"); }), data + "1");
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(1, "1.2.2003"); }), data + "1");
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(1, "01.13.03"); }), data + "1");
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(1, "01.02.2003"); }), size + "1");
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(2, "1,5"); }), data + "2"); // '.' is the separator here
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(2, "1e999"); }), data + "2");
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(2, "123"); }), size + "2"); // "123.00" outgrows F(5,2)
    EXPECT_EQ(ErrorOf([&] { t.SetFieldData(3, "abc"); }), size + "3");
    t.SetFieldData(3, "ab  \x01");
    t.Post();
    t.Close();
    EXPECT_EQ(Slurp(path).substr(145), std::string(14, ' ') + "ab\x1A");
}

TEST_F(Dbf, MovingWritesTheModifiedRecordAndCloseDoesNot) {
    TDBF t;
    Create(t);
    EXPECT_EQ(ErrorOf([&] { t.First(); }), std::string("First: В файле нет записей"));
    EXPECT_EQ(ErrorOf([&] { t.Next(); }), std::string("Next: В файле нет записей"));
    EXPECT_EQ(ErrorOf([&] { t.Last(); }), std::string("Last: В файле нет записей"));
    for (const char* id : {"1", "2", "3"}) {
        t.Append();
        t.SetFieldData(1, id);
        t.Post();
    }
    t.First();
    t.SetFieldData(2, "first");
    t.Next(); // writes record 1
    EXPECT_EQ(t.RecNo(), 2u);
    t.Last();
    t.Next();
    EXPECT_EQ(t.RecNo(), 3u);
    t.SetFieldData(2, "lost");
    t.Close();
    t.Open();
    EXPECT_EQ(t.GetFieldData(2), "first");
    t.Last();
    EXPECT_EQ(t.GetFieldData(1), "3");
    EXPECT_EQ(t.GetFieldData(2), "");
}

TEST_F(Dbf, ForeignTablesAreRead) {
    std::string oemName = platform::AnsiToOem(A("Чай"));
    auto descs = std::vector<std::string>{Desc("NAME", 'C', 5), Desc("Q", 'N', 4, 1), Desc("M", 'M', 2),
                                          Desc("B", 'L', 1)};
    std::string rec = "*" + oemName + "  " + " 2.5" + ".." + "?";
    // Foreign writers: padding in the record, bytes after the descriptors' end mark, no end-of-file mark.
    std::string oem = Image(descs, {rec + "XX"}, '\x26', 15, std::string(263, '\0'));
    oem.pop_back();
    Spit(path, oem);
    TDBF t;
    t.SetTableName(path);
    t.Open();
    EXPECT_EQ(t.FieldCount(), 4);
    EXPECT_EQ(t.GetFieldData(4), " ");
    EXPECT_EQ(t.GetFieldData(1), A("Чай"));
    EXPECT_EQ(t.GetFieldData(2), "2,5");
    EXPECT_EQ(t.GetFieldType(3), dftUnknown);
    EXPECT_EQ(t.GetFieldName(3), "M");
    t.Close();
    // The code-page byte names the code page of the texts, as dBase marks
    // them; the ANSI code page's marks, 0 and unknown marks read as they
    // stand. A character ANSI lacks reads as '?' and does not fit.
    const struct {
        char mark;
        std::string bytes; // 5 of them, the field's length
        std::string ansi;
        bool fits;
    } marks[] = {
        {'\x26', oemName + "  ", A("Чай"), true},
        {'\x65', oemName + "  ", A("Чай"), true},
        {'\x57', oemName + "  ", oemName, true},
        {'\xC9', A("Чай") + "  ", A("Чай"), true},
        {'\x00', oemName + "  ", oemName, true},
        {'\x7F', oemName + "  ", oemName, true},
        {'\x01', "5\xF8   ", A("5°"), true},
        {'\x02', "Caf\x82 ", "Caf?", false},
        {'\x03', "\xABT\xBB\xB1 ", A("«T»±"), true},
        {'\x64',
         "\xAC"
         "aj\xF5 ",
         A("?aj§"), false},
        {'\x66', "5\xF8   ", A("5°"), true},
        {'\x6A', "\x92\xA9 5\xF8", A("?? 5°"), false},
        {'\x7B', "\x84X\x84p ", A("Ча"), true},
        {'\x7B', "\x92\x83\x87\x82 ", A("?№"), false},
        {'\x7B', "\x84\x20\x84p ", A("?") + " " + A("а"), false},
        {'\x7D', "\xFA\xB1   ", A("?±"), false},
        {'\xC8',
         "\xC8"
         "aj\xA7 ",
         A("?aj§"), false},
        {'\xCB', "\xAB\xD4\xBB  ", A("«?»"), false},
    };
    for (const auto& m : marks) {
        SCOPED_TRACE(int(static_cast<unsigned char>(m.mark)));
        ASSERT_EQ(m.bytes.size(), 5u);
        Spit(path, Image(descs, {"*" + m.bytes + " 2.5..?"}, m.mark, 13));
        t.Open();
        EXPECT_EQ(t.GetFieldData(1), m.ansi);
        EXPECT_EQ(t.FieldTextFitsAnsi(1), m.fits);
        EXPECT_TRUE(t.FieldTextFitsAnsi(2));
        t.Close();
    }
}

TEST_F(Dbf, MalformedHeadersAreRefused) {
    std::string good = Image({Desc("A", 'C', 2)}, {" xy", " zw"}, 0, 3);
    ASSERT_EQ(good.size(), 65u + 6 + 1);
    auto with = [&](std::size_t at, const std::string& bytes) {
        return std::string(good).replace(at, bytes.size(), bytes);
    };
    const std::string images[] = {
        good.substr(0, 20),                  // shorter than a header
        with(8, U16(33)),                    // no room for a descriptor
        with(8, U16(200)),                   // header beyond the file
        with(10, U16(2)),                    // record shorter than its fields
        with(10, U16(0)),                    // no record length
        with(32 + 16, std::string(1, '\0')), // field of length 0
        with(32, "\x0D"),                    // no field
        with(4, "\x03"),                     // more records than the file holds
        with(4, "\xFF\xFF\xFF\xFF"),         // a count that would overflow
        good.substr(0, 65 + 5),              // last record cut short
    };
    TDBF t;
    t.SetTableName(path);
    for (const auto& image : images) {
        Spit(path, image);
        EXPECT_EQ(ErrorOf([&] { t.Open(); }), std::string("ReadHeader: Ошибка чтения заголовка файла"))
            << &image - images;
        EXPECT_FALSE(t.Active());
    }
    Spit(path, good);
    t.Open();
    t.Last();
    EXPECT_EQ(t.GetFieldData(1), "zw");
}

TEST_F(Dbf, ExclusiveOpenExcludesOthers) {
    TDBF a, b;
    Create(a);
    a.Close();
    a.SetExclusive(true);
    a.Open();
    b.SetTableName(path);
    std::string busy = std::string(
        "Файл t.dbf невозможно открыть в монопольном\rрежиме, т.к. он уже используется другой программой");
    EXPECT_EQ(ErrorOf([&] { b.Open(); }), busy);
    a.Close();
    a.SetExclusive(false);
    a.Open();
    b.Open(); // two shared opens
    TDBF c;
    c.SetTableName(path);
    c.SetExclusive(true);
    EXPECT_EQ(ErrorOf([&] { c.Open(); }), busy);
}

TEST_F(Dbf, AppendFailingHalfWayKeepsAValidTable) {
    TDBF t;
    Create(t);
    t.Append();
    t.SetFieldData(1, "1");
    t.Post();
    std::string before = Slurp(path);
    {
        FileSizeLimit limit(before.size() + 10);
        EXPECT_EQ(ErrorOf([&] { t.Append(); }), std::string("Append: Ошибка сохранения записи"));
    }
    EXPECT_EQ(Slurp(path), before);
    EXPECT_EQ(t.RecordCount(), 1u);
    EXPECT_EQ(t.GetFieldData(1), "1");
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 1u);
    EXPECT_EQ(t.GetFieldData(1), "1");
}

TEST_F(Dbf, CompactionKeepsTheCountedRecordsAndSurvivesFailures) {
    TDBF t;
    Create(t);
    for (const char* id : {"1", "2"}) {
        t.Append();
        t.SetFieldData(1, id);
        t.Post();
    }
    t.Close();
    Spit(path, Slurp(path) + std::string(24 * 3, 'j')); // bytes beyond the counted records
    std::string old = Slurp(path);

    static int calls;
    calls = 0;
    platform::SetAtomicWriteHook([](const std::string&, std::size_t) {
        if (++calls == 2) throw platform::FileError("disk full");
    });
    t.Open();
    EXPECT_EQ(ErrorOf([&] { t.EmptyTable(); }), std::string("RewriteTable: Ошибка при перезаписи файла"));
    EXPECT_EQ(Slurp(path), old);
    EXPECT_EQ(dir.Entries(), 1); // no temporary file left
    EXPECT_TRUE(t.Active());
    EXPECT_EQ(t.RecordCount(), 2u);
    platform::SetAtomicWriteHook(nullptr);

    // Compaction leaves the current folder alone.
    Folder cwd;
    std::string home = std::filesystem::current_path();
    ASSERT_EQ(chdir(cwd.Path().c_str()), 0);
    t.RewriteTable();
    ASSERT_EQ(chdir(home.c_str()), 0);
    EXPECT_EQ(cwd.Entries(), 0);
    EXPECT_EQ(Slurp(path).size(), 97u + 2 * 24 + 1);
    t.Last();
    EXPECT_EQ(t.GetFieldData(1), "2");
    t.EmptyTable();
    EXPECT_EQ(Slurp(path).size(), 98u);
    EXPECT_TRUE(t.IsEmpty());
}

TEST_F(Dbf, CreatingReplacesAnOldFileOnlyWhenComplete) {
    Spit(path, "old contents");
    platform::SetAtomicWriteHook(
        [](const std::string&, std::size_t) { throw platform::FileError("disk full"); });
    TDBF t;
    t.SetTableName(path);
    t.AddFieldDefs("A", dftCharacter, 1, 0);
    EXPECT_EQ(ErrorOf([&] { t.CreateTable(); }),
              std::string("WriteHeader: Ошибка сохранения заголовка файла"));
    EXPECT_EQ(Slurp(path), "old contents");
    EXPECT_EQ(dir.Entries(), 1);
    TDBF u;
    u.SetTableName(dir.File("missing/t.dbf"));
    u.AddFieldDefs("A", dftCharacter, 1, 0);
    EXPECT_THROW(u.CreateTable(), std::runtime_error);
}

} // namespace
