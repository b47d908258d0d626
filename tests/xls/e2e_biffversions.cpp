// Workbooks read from one BIFF version and written in the same or another:
// 8-bit text stays in the code page read, which the written CODEPAGE record
// names (text the code page cannot hold makes the write fail rather than
// change); formulas keep their tokens only in the version they were read in.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace xls;
using namespace biffbuild;

namespace {

// A BIFF5 book in code page 1253: sheet "Φύλλο", A1 "Γειά", A2 2.5.
Bytes GreekBook() {
    const std::string sheetName = "\xD6\xFD\xEB\xEB\xEF", hello = "\xC3\xE5\xE9\xDC";
    Stream s;
    s.Bof5(0x0005).Rec(0x0042, Body().U16(1253)).BoundSheet5(sheetName).Eof();
    s.Bof5(0x0010);
    s.Rec(0x0204,
          Body().U16(0).U16(0).U16(15).U16(uint16_t(hello.size())).Raw(Bytes(hello.begin(), hello.end())));
    s.Number(1, 0, 2.5);
    s.Eof();
    return CompoundImage(s.Data(), u"Book");
}

uint16_t CodePageRecord(const std::string& image) {
    for (const auto& r : Records(WorkbookStream(image)))
        if (r.Id == 0x0042 && r.Body.size() >= 2) return uint16_t(r.Body[0] | r.Body[1] << 8);
    return 0;
}

} // namespace

TEST(BIFFVersions, TextReadInACodePageIsWrittenInIt) {
    testfiles::ScratchDir dir;
    Bytes image = GreekBook();
    testfiles::Spit(dir.File("greek.xls"), std::string(image.begin(), image.end()));
    TTabrix4 book;
    book.SetFilename(Utf8ToWide(dir.File("greek.xls")));
    book.Read();
    EXPECT_EQ(book.CodePage, 1253);
    EXPECT_EQ(book.GetSheet(0).Name(), u"Φύλλο");
    EXPECT_EQ(book.GetSheet(0).GetAsString(0, 0), u"Γειά");

    for (TExcelVersion version : {TExcelVersion::xvExcel50, TExcelVersion::xvExcel40}) {
        SCOPED_TRACE(int(version));
        book.SetVersion(version);
        book.SetFilename(Utf8ToWide(dir.File("out.xls")));
        book.Write();
        std::string written = testfiles::Slurp(dir.File("out.xls"));
        EXPECT_EQ(CodePageRecord(written), 1253);
        oracle::XlrdBook x = oracle::ReadWithXlrd(dir.File("out.xls"));
        ASSERT_TRUE(x.Ok) << x.Error;
        if (version == TExcelVersion::xvExcel50) {
            ASSERT_EQ(x.Sheets.size(), 1u);
            EXPECT_EQ(x.Sheets[0], u"Φύλλο");
        }
        ASSERT_EQ(x.Cells.size(), 2u);
        EXPECT_EQ(x.Cells[0].Value, "Γειά");
        EXPECT_EQ(x.Cells[1].Value, "2.5");
    }

    // Cyrillic is not in 1253: the BIFF5 write fails and leaves the old
    // file as it was; BIFF8 holds any text.
    book.GetSheet(0).SetAsString(0, 2, u"Жук");
    book.SetVersion(TExcelVersion::xvExcel50);
    std::string before = testfiles::Slurp(dir.File("out.xls"));
    try {
        book.Write();
        ADD_FAILURE() << "no error";
    } catch (const XLSError& e) {
        EXPECT_NE(std::string(e.what()).find("code page 1253"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testfiles::Slurp(dir.File("out.xls")), before);
    book.SetVersion(TExcelVersion::xvExcel97);
    book.Write();
    oracle::XlrdBook x = oracle::ReadWithXlrd(dir.File("out.xls"));
    ASSERT_TRUE(x.Ok) << x.Error;
    ASSERT_EQ(x.Cells.size(), 3u);
    EXPECT_EQ(x.Cells[2].Value, "Жук");

    // A new workbook keeps the default code page.
    TTabrix4 fresh;
    EXPECT_EQ(fresh.CodePage, DefaultCodePage);
    book.Clear();
    EXPECT_EQ(book.CodePage, DefaultCodePage);
}

TEST(BIFFVersions, FormulasReadInOneVersionAreWrittenInAnother) {
    // BIFF5: A1 2.5, A2 =A1+1 (3.5), A3 ="x"&"y" (text "xy").
    Stream s;
    s.Bof5(0x0005).BoundSheet5("S").Eof();
    s.Bof5(0x0010).Number(0, 0, 2.5);
    s.Formula(1, 0, Body().F64(3.5).b, 0, {0x44, 0x00, 0xC0, 0x00, 0x1E, 0x01, 0x00, 0x03});
    s.Formula(2, 0, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, 0, {0x17, 0x01, 'x', 0x17, 0x01, 'y', 0x08});
    s.Rec(0x0207, Body().U16(2).Raw({'x', 'y'}));
    s.Eof();
    Bytes image = CompoundImage(s.Data(), u"Book");
    testfiles::ScratchDir dir;
    testfiles::Spit(dir.File("in.xls"), std::string(image.begin(), image.end()));

    auto formulas = [](const std::string& file) {
        int n = 0;
        for (const auto& r : Records(WorkbookStream(testfiles::Slurp(file))))
            n += r.Id == 0x0006 || r.Id == 0x0406;
        return n;
    };
    for (TExcelVersion version :
         {TExcelVersion::xvExcel50, TExcelVersion::xvExcel97, TExcelVersion::xvExcel40}) {
        SCOPED_TRACE(int(version));
        TTabrix4 book;
        book.SetFilename(Utf8ToWide(dir.File("in.xls")));
        book.Read();
        book.SetVersion(version);
        book.SetFilename(Utf8ToWide(dir.File("out.xls")));
        book.Write();
        // The tokens are written in the layout of the version written.
        EXPECT_EQ(formulas(dir.File("out.xls")), 2);
        TTabrix4 back;
        back.SetFilename(Utf8ToWide(dir.File("out.xls")));
        back.Read();
        EXPECT_EQ(back.GetSheet(0).GetAsFormula(0, 1), "A1+1");
        EXPECT_EQ(back.GetSheet(0).GetAsFormula(0, 2), "\"x\"&\"y\"");
        oracle::XlrdBook x = oracle::ReadWithXlrd(dir.File("out.xls"));
        ASSERT_TRUE(x.Ok) << x.Error;
        ASSERT_EQ(x.Cells.size(), 3u);
        EXPECT_EQ(x.Cells[1].Value, "3.5");
        EXPECT_EQ(x.Cells[2].Value, "xy");
    }
}

// A BIFF4 file of the corpus written back as BIFF4: every cell keeps its
// number format and its font as xlrd sees them.
TEST(BIFFVersions, Biff4FileWrittenBackKeepsFormatsAndFonts) {
    const std::filesystem::path original = oracle::RealWorldDir() / "apache-poi" / "testEXCEL_4.xls";
    if (oracle::RealWorldDir().empty() || !std::filesystem::exists(original))
        GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    TTabrix4 book;
    book.SetFilename(original.u16string());
    book.Read();
    ASSERT_EQ(book.GetVersion(), TExcelVersion::xvExcel40);
    book.SetFilename(Utf8ToWide(dir.File("out.xls")));
    book.Write();
    // The cell facts of a dump: formats and fonts by cell.
    auto facts = [](const std::string& file) {
        oracle::TRun r = oracle::XlrdDump(file);
        EXPECT_EQ(r.Status, 0) << r.Output;
        std::vector<std::string> lines;
        std::istringstream in(r.Output);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("numfmt ", 0) == 0 || line.rfind("font ", 0) == 0) lines.push_back(line);
        return lines;
    };
    const auto want = facts(original.string()), got = facts(dir.File("out.xls"));
    EXPECT_GT(want.size(), 3000u);
    ASSERT_EQ(got.size(), want.size());
    int differ = 0;
    for (size_t i = 0; i < want.size(); ++i)
        if (got[i] != want[i] && ++differ <= 5) ADD_FAILURE() << want[i] << "\n became " << got[i];
    EXPECT_EQ(differ, 0);
}
