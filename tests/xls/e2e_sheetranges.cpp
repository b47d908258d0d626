// Hyperlinks, conditional formats, validations and autofilters in files:
// the real-world files keep them through a read and a write as independent
// readers decode them, and what the component makes LibreOffice finds
// (converted to .xlsx and read with openpyxl).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

using namespace xls;
namespace fs = std::filesystem;

namespace {

void ReadAndWrite(const fs::path& from, const std::string& to) {
    TTabrix4 book;
    book.SetFilename(from.u16string());
    book.Read();
    book.SetFilename(Utf8ToWide(to));
    book.Write();
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

// A workbook with every kind of hyperlink, made through the component.
void MakeLinks(TTabrix4& book) {
    TSheet& sheet = book.GetSheet(0);
    sheet.SetName(u"Склад");
    const char16_t* addresses[] = {u"http://example.com/a?b=1", u"mailto:shop@example.com",
                                   u"\\\\server\\share\\prices.xls", u"..\\docs\\report.xls", u"'Склад'!B3"};
    for (int i = 0; i < int(std::size(addresses)); ++i) {
        sheet.SetAsString(0, i, u"link");
        THyperlink& link = sheet.Hyperlinks().Add();
        link.Row1 = link.Row2 = i;
        link.SetAddress(addresses[i]);
        link.SetDescription(u"Опис");
        link.SetToolTip(u"Підказка");
    }
}

} // namespace

TEST(SheetRangeFiles, RealWorldHyperlinksSurviveAReadAndAWrite) {
    const fs::path dir = oracle::RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir tmp;
    const char* files[] = {
        "ExcelDataReader/StringContinuationAfterCharacterData.xls",
        "apache-poi/47847.xls",
        "apache-poi/WithHyperlink.xls",
        "apache-poi/com.aida-tour.www_SPO_files_maldives%20august%20october.xls",
        "sheetjs-test_files/hyperlink_stress_test_2011.xls",
    };
    std::vector<std::string> paths;
    for (size_t i = 0; i < std::size(files); ++i) {
        const std::string out = tmp.File("out" + std::to_string(i) + ".xls");
        ASSERT_NO_THROW(ReadAndWrite(dir / files[i], out)) << files[i];
        paths.push_back((dir / files[i]).string());
        paths.push_back(out);
    }
    auto dumps = oracle::SheetRanges("xlrd", paths);
    ASSERT_EQ(dumps.size(), paths.size());
    for (size_t i = 0; i < dumps.size(); i += 2) {
        SCOPED_TRACE(paths[i]);
        EXPECT_FALSE(dumps[i].empty());
        EXPECT_EQ(dumps[i + 1], dumps[i]);
    }
}

TEST(SheetRangeFiles, LibreOfficeFindsWhatTheComponentMade) {
    testfiles::ScratchDir tmp;
    TTabrix4 book;
    MakeLinks(book);
    const std::string file = tmp.File("made.xls");
    book.SetFilename(Utf8ToWide(file));
    book.Write();

    // Read back here first.
    TTabrix4 back;
    back.SetFilename(Utf8ToWide(file));
    back.Read();
    THyperlinks& links = back.GetSheet(0).Hyperlinks();
    ASSERT_EQ(links.Count(), 5);
    EXPECT_EQ(links.Items(4).GetAddress(), u"'Склад'!B3");
    EXPECT_EQ(links.Items(3).GetAddress(), u"..\\docs\\report.xls");
    EXPECT_EQ(links.Items(0).GetToolTip(), u"Підказка");

    ASSERT_EQ(oracle::LibreOfficeConvert({file}, tmp.Path(), "xlsx").Status, 0);
    auto dumps = oracle::SheetRanges("openpyxl", {tmp.File("made.xlsx")});
    ASSERT_EQ(dumps.size(), 1u);
    const auto& lines = dumps[0];
    EXPECT_TRUE(Contains(lines, "link Склад A1 'http://example.com/a?b=1'")) << testing::PrintToString(lines);
    EXPECT_TRUE(Contains(lines, "link Склад A2 'mailto:shop@example.com'"));
    EXPECT_TRUE(Contains(lines, "link Склад A3 'file://server/share/prices.xls'"));
    EXPECT_TRUE(Contains(lines, "link Склад A4 '") && Contains(lines, "docs%5Creport.xls'"));
    EXPECT_TRUE(Contains(lines, "link Склад A5 None 'Склад!B3'"));
}
