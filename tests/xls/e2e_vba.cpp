// The macro projects of the real-world files: kept byte for byte through a
// read and a write (checked with python3-olefile), their modules' sources
// decompressed and compressed again, and written anew when asked.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/VBACompression.h"
#include "platform/compound/CompoundFile.h"
#include "support_biffbuild.h"
#include "support_files.h"
#include "support_oracle.h"
#include "tests/platform/support_oracle.h"

#include <gtest/gtest.h>

using namespace xls;
namespace fs = std::filesystem;

namespace {

const char* const MacroFiles[] = {
    "ExcelDataReader/Test_Issue_11642_ValuesNotLoaded.xls",
    "apache-poi/31749.xls",
    "apache-poi/44010-TwoCharts.xls",
    "apache-poi/SimpleMacro.xls",
    "apache-poi/SquareMacro.xls",
    "apache-poi/StringContinueRecords.xls",
    "apache-poi/WithCheckBoxes.xls",
    "apache-poi/ex45978-extraLinkTableSheets.xls",
    "apache-poi/testNames.xls",
    "read-excel/MiscOperatorTests.xls",
    "sheetjs-test_files/BlankSheetTypes.xls",
    "sheetjs-test_files/comments_stress_test.xls",
    "sheetjs-test_files/numfmt_1_russian.xls",
};

constexpr uint16_t OBPROJ = 0x00D3;

std::vector<std::string> Only(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

void ReadAndWrite(TTabrix4& book, const fs::path& from, const std::string& to) {
    book.SetFilename(from.u16string());
    book.Read();
    book.SetFilename(Utf8ToWide(to));
    book.Write();
}

size_t ObProjCount(const std::string& file) {
    return biffbuild::CountOf(biffbuild::Substreams(biffbuild::WorkbookStream(testfiles::Slurp(file)))[0],
                              OBPROJ);
}

} // namespace

TEST(VBAFiles, ProjectsAreKeptByteForByteAndTheirSourcesCompressAgain) {
    const fs::path dir = oracle::RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "no real-world test files here";
    oracle::TempFolder tmp;
    std::vector<std::string> files;
    for (size_t i = 0; i < std::size(MacroFiles); ++i) {
        const fs::path in = dir / MacroFiles[i];
        const std::string out = (tmp.path / ("out" + std::to_string(i) + ".xls")).string();
        SCOPED_TRACE(MacroFiles[i]);
        TTabrix4 book;
        ASSERT_NO_THROW(ReadAndWrite(book, in, out));
        const TXLSVBA& vba = book.VBA();
        EXPECT_TRUE(vba.Loaded);
        EXPECT_GT(vba.ModuleCount(), 0);
        EXPECT_EQ(ObProjCount(out), ObProjCount(in.string()));
        // Every module's source, as stored, decompresses; compressed here
        // (both match searches) it decompresses to the same bytes.
        const auto image = platform::cfb::CompoundFile::Load(in);
        const platform::cfb::Element* storage = image.Root().Find(u"_VBA_PROJECT_CUR")->Find(u"VBA");
        for (int m = 0; m < vba.ModuleCount(); ++m) {
            const auto& module = vba.Module(m);
            const auto& stream =
                storage->Find(module.StreamName.empty() ? module.Name : module.StreamName)->Data;
            const std::vector<uint8_t> source = VBADecompress(std::span(stream).subspan(module.Offset));
            EXPECT_FALSE(source.empty());
            for (bool best : {true, false}) EXPECT_EQ(VBADecompress(VBACompress(source, best)), source);
        }
        files.push_back(in.string());
        files.push_back(out);
    }
    auto lists = oracle::OleList(tmp.path, files);
    ASSERT_EQ(lists.size(), files.size());
    for (size_t i = 0; i < lists.size(); i += 2) {
        SCOPED_TRACE(lists[i].first);
        auto kept = Only(lists[i].second, "_VBA_PROJECT_CUR");
        EXPECT_GT(kept.size(), 3u);
        EXPECT_EQ(Only(lists[i + 1].second, "_VBA_PROJECT_CUR"), kept);
    }
}

TEST(VBAFiles, WithoutPreservingMacrosTheProjectAndItsMarkGo) {
    const fs::path dir = oracle::RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "no real-world test files here";
    oracle::TempFolder tmp;
    const std::string out = (tmp.path / "out.xls").string();
    TTabrix4 book;
    book.PreserveMacros = false;
    ReadAndWrite(book, dir / "apache-poi/SimpleMacro.xls", out);
    EXPECT_EQ(book.VBA().ModuleCount(), 0);
    EXPECT_EQ(ObProjCount(out), 0u);
    auto lists = oracle::OleList(tmp.path, {out});
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_TRUE(Only(lists[0].second, "_VBA_PROJECT_CUR").empty());
    EXPECT_FALSE(Only(lists[0].second, "\x05SummaryInformation").empty());
}

TEST(VBAFiles, AProjectRebuiltFromItsModulesReadsBackTheSame) {
    const fs::path dir = oracle::RealWorldDir();
    if (dir.empty()) GTEST_SKIP() << "no real-world test files here";
    oracle::TempFolder tmp;
    for (const char* name : {"apache-poi/SimpleMacro.xls", "sheetjs-test_files/numfmt_1_russian.xls"}) {
        SCOPED_TRACE(name);
        const std::string out = (tmp.path / "out.xls").string();
        TTabrix4 book;
        book.VBA().Rebuild = true;
        ReadAndWrite(book, dir / name, out);
        EXPECT_TRUE(book.VBA().KeepProject);

        TTabrix4 again;
        again.SetFilename(Utf8ToWide(out));
        again.Read();
        const TXLSVBA &a = book.VBA(), &b = again.VBA();
        ASSERT_EQ(b.ModuleCount(), a.ModuleCount());
        EXPECT_EQ(b.Project.CodePage, a.Project.CodePage);
        for (int m = 0; m < a.ModuleCount(); ++m) {
            EXPECT_EQ(b.Module(m).Name, a.Module(m).Name);
            EXPECT_EQ(b.Module(m).Kind, a.Module(m).Kind);
            EXPECT_EQ(b.Module(m).Offset, 16u);
            EXPECT_EQ(b.Module(m).Attributes.GetText(), a.Module(m).Attributes.GetText());
            EXPECT_EQ(b.Module(m).Code.GetText(), a.Module(m).Code.GetText());
        }
        // PROJECT and PROJECTwm as read; the cached compilations gone.
        EXPECT_EQ(b.ProjectText.GetText(), a.ProjectText.GetText());
        EXPECT_EQ(b.ProjectWm, a.ProjectWm);
        auto lists = oracle::OleList(tmp.path, {out});
        ASSERT_EQ(lists.size(), 1u);
        auto project = Only(lists[0].second, "_VBA_PROJECT_CUR");
        EXPECT_TRUE(Only(project, "_VBA_PROJECT_CUR/VBA/__SRP_").empty());
        EXPECT_EQ(Only(project, "_VBA_PROJECT_CUR/VBA/_VBA_PROJECT|stream|824|").size(), 1u);
    }
}
