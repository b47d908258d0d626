#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "support_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

using platform::IniError;
using platform::IniFile;
using testfiles::ScratchDir;
using testfiles::Slurp;
using testfiles::Spit;

namespace {

struct IniTest : ::testing::Test {
    ScratchDir dir;
    std::string path = dir.File("Q710b.ini");
};

TEST_F(IniTest, MissingFileReadsDefaults) {
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("GENERAL", "PORT", "COM1"), "COM1");
    EXPECT_EQ(ini.ReadInteger("GENERAL", "BAUD RATE", 4800), 4800);
    EXPECT_TRUE(ini.ReadBool("CSV", "IgnoreEmptyLines", true));
    EXPECT_FALSE(ini.SectionExists("GENERAL"));
    EXPECT_FALSE(ini.ValueExists("GENERAL", "PORT"));
    EXPECT_EQ(ini.FileName(), path);
}

TEST_F(IniTest, NamesMatchWithoutCaseAndFirstMatchWins) {
    // "[Знижки]" / "Код" in Windows-1251, looked up in other cases.
    Spit(path, "[general]\r\nport = COM3\r\nPORT=COM4\r\n"
               "[\xC7\xED\xE8\xE6\xEA\xE8]\r\n\xCA\xEE\xE4=7\r\n"
               "[GENERAL]\r\nBaud Rate=9600\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("GENERAL", "Port", ""), "COM3");
    EXPECT_EQ(ini.ReadInteger("\xE7\xED\xE8\xE6\xEA\xE8", "\xEA\xEE\xE4", 0), 7);
    EXPECT_EQ(ini.ReadInteger("\xC7\xCD\xC8\xC6\xCA\xC8", "\xCA\xCE\xC4", 0), 7);
    // Only the first section of a name is looked at, as Windows does.
    EXPECT_EQ(ini.ReadInteger("GENERAL", "BAUD RATE", 4800), 4800);
    EXPECT_TRUE(ini.SectionExists("  General "));
    EXPECT_TRUE(ini.ValueExists("general", "port"));
    EXPECT_FALSE(ini.ValueExists("general", "phone"));
    // І/і, Ї/ї, Є/є, Ґ/ґ fold too.
    EXPECT_TRUE(platform::SameTextAnsi("\xB2\xAF\xAA\xA5", "\xB3\xBF\xBA\xB4"));
    EXPECT_FALSE(platform::SameTextAnsi("\xB2", "\xB4"));
    EXPECT_FALSE(platform::SameTextAnsi("a", "ab"));
}

TEST_F(IniTest, ValuesLoseOuterBlanksAndQuotesAndKeepInnerBlanks) {
    Spit(path, "[R]\nPHONE =  8 044  123 45 67 \t\nQ=\"  quoted  \"\nS='x'\nHALF=\"x\nEMPTY=\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("R", "PHONE", "-"), "8 044  123 45 67");
    EXPECT_EQ(ini.ReadString("R", "Q", "-"), "  quoted  ");
    EXPECT_EQ(ini.ReadString("R", "S", "-"), "x");
    EXPECT_EQ(ini.ReadString("R", "HALF", "-"), "\"x");
    EXPECT_EQ(ini.ReadString("R", "EMPTY", "-"), "");
}

TEST_F(IniTest, IntegersFollowWindowsRules) {
    Spit(path, "[N]\na=12\nb= -5 \nc=0x1F\nd=$10\ne=12abc\nf=\ng=2147483647\nh=2147483648\n"
               "i=-2147483648\nj=0xFFFFFFFF\nk=0x100000000\nl=0x\nm=+3\nn=1.5\n");
    const int def = -77;
    const int expected[] = {12, -5, 31, 16, def, def, 2147483647, def, -2147483647 - 1, -1, def, def, 3, def};
    IniFile ini(path);
    for (char key = 'a'; key <= 'n'; ++key)
        EXPECT_EQ(ini.ReadInteger("N", std::string(1, key), def), expected[key - 'a']) << key;
}

TEST_F(IniTest, BooleansAreIntegers) {
    Spit(path, "[B]\none=1\nzero=0\ntwo=2\nneg=-1\nyes=yes\n");
    IniFile ini(path);
    EXPECT_TRUE(ini.ReadBool("B", "one", false));
    EXPECT_FALSE(ini.ReadBool("B", "zero", true));
    EXPECT_TRUE(ini.ReadBool("B", "two", false));
    EXPECT_TRUE(ini.ReadBool("B", "neg", false));
    EXPECT_TRUE(ini.ReadBool("B", "yes", true));
    EXPECT_FALSE(ini.ReadBool("B", "yes", false));
    ini.WriteBool("B", "one", false);
    ini.WriteBool("B", "new", true);
    EXPECT_EQ(Slurp(path), "[B]\none=0\nzero=0\ntwo=2\nneg=-1\nyes=yes\nnew=1\n");
}

TEST_F(IniTest, WritingKeepsEveryOtherLineByteForByte) {
    const std::string before =
        "; settings\r\n[GENERAL]\r\nPORT=COM1\r\nUnknown = kept  \r\nno equals sign here\r\n"
        "\r\n[REMOTE CONNECTION]\r\nPHONE=123\r\n\r\n\r\n[CSV]\r\nDELIM=TAB";
    Spit(path, before);
    IniFile ini(path);
    ini.WriteString("general", "port", "COM5");
    ini.WriteInteger("GENERAL", "BAUD RATE", 19200);
    ini.WriteString("REMOTE CONNECTION", "ATTEMTS", "3");
    ini.WriteBool("CSV", "CP866", true);
    ini.WriteBool("NEW", "X", false);
    EXPECT_EQ(Slurp(path),
              "; settings\r\n[GENERAL]\r\nPORT=COM5\r\nUnknown = kept  \r\nno equals sign here\r\n"
              "BAUD RATE=19200\r\n\r\n[REMOTE CONNECTION]\r\nPHONE=123\r\nATTEMTS=3\r\n\r\n\r\n"
              "[CSV]\r\nDELIM=TAB\r\nCP866=1\r\n[NEW]\r\nX=0\r\n");
}

// A section written in one go gives the file that key-by-key writes give.
TEST_F(IniTest, WritingASectionAtOnceEqualsWritingItsKeysOneByOne) {
    const std::string before = "[GROUP2]\nDiscountValue=5\nkept=1\n\n[OTHER]\nA=1\n";
    const std::vector<std::pair<std::string, std::string>> values = {
        {"DiscountGroup", "2"}, {"discountvalue", "550"}, {"New", "x\r\ny"}, {"DiscountGroup", "3"}};
    for (const char* section : {"GROUP2", "GROUP9"}) {
        Spit(path, before);
        IniFile(path).WriteValues(section, values);
        std::string atOnce = Slurp(path);
        Spit(path, before);
        IniFile oneByOne(path);
        for (const auto& [key, value] : values) oneByOne.WriteString(section, key, value);
        EXPECT_EQ(atOnce, Slurp(path)) << section;
    }
    EXPECT_EQ(IniFile(path).ReadString("GROUP9", "New", ""), "x  y");
}

TEST_F(IniTest, NewFileUsesCrLfAndOldFilesKeepTheirLineBreaks) {
    IniFile ini(path);
    ini.WriteString("GENERAL", "PORT", "COM2");
    ini.WriteString("GENERAL", "PHONE", "");
    EXPECT_EQ(Slurp(path), "[GENERAL]\r\nPORT=COM2\r\nPHONE=\r\n");

    std::string lf = dir.File("lf.ini");
    Spit(lf, "[A]\nk=1\n");
    IniFile(lf).WriteString("A", "m", "2");
    EXPECT_EQ(Slurp(lf), "[A]\nk=1\nm=2\n");
}

TEST_F(IniTest, SeveralObjectsOnOneFileSeeEachOthersWrites) {
    IniFile mainWindow(path);
    IniFile csvDialog(path);
    mainWindow.WriteString("GENERAL", "PORT", "COM2");
    csvDialog.WriteString("CSV", "DELIM", ",");
    mainWindow.WriteString("GENERAL", "PORT", "COM3");
    EXPECT_EQ(csvDialog.ReadString("GENERAL", "PORT", ""), "COM3");
    EXPECT_EQ(mainWindow.ReadString("CSV", "DELIM", ""), ",");
}

TEST_F(IniTest, LineBreaksInAValueCannotInjectKeys) {
    IniFile ini(path);
    ini.WriteString("R", "PHONE", "123\r\n[GENERAL]\nPORT=COM9");
    EXPECT_EQ(ini.ReadString("R", "PHONE", ""), "123  [GENERAL] PORT=COM9");
    EXPECT_FALSE(ini.SectionExists("GENERAL"));
    EXPECT_THROW(ini.WriteString("R", "A=B", "1"), IniError);
    EXPECT_THROW(ini.WriteString("R", "", "1"), IniError);
    EXPECT_THROW(ini.WriteString("R]", "A", "1"), IniError);
    EXPECT_THROW(ini.WriteString("R\n", "A", "1"), IniError);
}

TEST_F(IniTest, EraseSectionRemovesEveryCopyAndKeepsTheRest) {
    Spit(path, "[A]\na=1\n[B]\nb=2\n\n[a]\nx=3\n[C]\nc=4");
    IniFile ini(path);
    ini.EraseSection("A");
    EXPECT_EQ(Slurp(path), "[B]\nb=2\n\n[C]\nc=4");
    EXPECT_FALSE(ini.SectionExists("A"));
    ini.EraseSection("missing");
    EXPECT_EQ(Slurp(path), "[B]\nb=2\n\n[C]\nc=4");
}

TEST_F(IniTest, GarbageReadsWithoutHarm) {
    using namespace std::string_literals;
    std::string junk = "\xEF\xBB\xBF[S]\rk=1\rbin\0\x01\xFF=\x02\n"s;
    junk += std::string(200000, 'x') + "\n[T\nkey=value\n===\n[]\n=v\n]\n";
    Spit(path, junk);
    IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "k", 0), 1);
    EXPECT_EQ(ini.ReadString("T", "key", ""), "value");
    EXPECT_EQ(ini.ReadString("S", std::string("bin\0\x01\xFF", 6), "-"), "\x02");
    ini.WriteString("T", "key", "v2");
    std::string after = Slurp(path);
    EXPECT_EQ(after.size(), junk.size() - 3);
    EXPECT_EQ(ini.ReadString("T", "key", ""), "v2");
}

void FailingHook(const std::string&, std::size_t) {
    throw platform::FileError("simulated disk failure");
}

TEST_F(IniTest, FailedWriteThrowsAndKeepsTheOldFile) {
    const std::string before = "[GENERAL]\r\nPORT=COM1\r\n";
    Spit(path, before);
    IniFile ini(path);
    platform::SetAtomicWriteHook(FailingHook);
    try {
        ini.WriteString("GENERAL", "PORT", "COM2");
        ADD_FAILURE() << "no error";
    } catch (const IniError& e) {
        EXPECT_NE(std::string(e.what()).find("simulated disk failure"), std::string::npos);
    }
    platform::SetAtomicWriteHook(nullptr);
    EXPECT_EQ(Slurp(path), before);
    EXPECT_EQ(testfiles::CountEntries(dir.Path()), 1);

    IniFile nowhere(dir.File("no/such/folder/Q710b.ini"));
    EXPECT_THROW(nowhere.WriteBool("GENERAL", "NET MODE", true), IniError);
}

TEST_F(IniTest, UnreadableFileIsNotReplacedByOneKey) {
    // A folder where the file should be: reading fails, so writing must not wipe it.
    std::string folder = dir.File("sub.ini");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    IniFile ini(folder);
    EXPECT_EQ(ini.ReadString("A", "b", "def"), "def");
    EXPECT_THROW(ini.WriteString("A", "b", "c"), IniError);
    EXPECT_THROW(ini.EraseSection("A"), IniError);
}

} // namespace
