// 8-bit text of BIFF5 and BIFF4 files written after a read: it stays in
// the code page read, which the written CODEPAGE record names; text the
// code page cannot hold makes the write fail rather than change.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_oracles.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace biffbuild;

namespace {

// A BIFF5 book in code page 1253: sheet "Φύλλο", A1 "Γειά", A2 2.5.
Bytes GreekBook() {
    const std::string sheetName = "\xD6\xFD\xEB\xEB\xEF", hello = "\xC3\xE5\xE9\xDC";
    Stream s;
    s.Bof5(0x0005).Rec(0x0042, Body().U16(1253)).BoundSheet5(sheetName).Eof();
    s.Bof5(0x0010);
    s.Rec(0x0204, Body().U16(0).U16(0).U16(15).U16(uint16_t(hello.size())).Raw(Bytes(hello.begin(), hello.end())));
    s.Number(1, 0, 2.5);
    s.Eof();
    return CompoundImage(s.Data(), u"Book");
}

uint16_t CodePageRecord(const std::string& image) {
    Bytes bytes(image.begin(), image.end());
    Bytes stream = image.compare(0, 4, "\xD0\xCF\x11\xE0") == 0 ? WorkbookStream(bytes) : bytes;
    for (const auto& r : Records(stream))
        if (r.Id == 0x0042 && r.Body.size() >= 2) return uint16_t(r.Body[0] | r.Body[1] << 8);
    return 0;
}

} // namespace

TEST(BIFFCodePage, TextReadInACodePageIsWrittenInIt) {
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
