#include "SrcXLS/formats/XLSStream.h"
#include "tests/platform/support_oracle.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace xls;

namespace {

// Copies every record of the source workbook into a new file of the same
// version, keeping the extra objects; answers the version read.
TExcelVersion CopyRecords(const std::filesystem::path& from, const std::filesystem::path& to) {
    TExtraObjects extra;
    TXLSStream in, out;
    in.ExtraObjects = &extra;
    TExcelVersion v = in.OpenRead(from);
    out.ExtraObjects = &extra;
    out.OpenWrite(to, v);
    TBIFFHeader h;
    std::vector<uint8_t> body;
    while (in.ReadHeader(h) == 4) {
        body.resize(h.Length);
        EXPECT_EQ(in.ReadRecordData(body.data(), h.Length), h.Length);
        out.WriteRawRecord(h.Id, body.data(), h.Length);
    }
    out.Close();
    return v;
}

std::vector<std::string> Without(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> kept;
    for (auto& l : lines)
        if (l.rfind(prefix, 0) != 0) kept.push_back(l);
    return kept;
}

} // namespace

TEST(XLSStreamOracle, ExtraObjectsSurviveAWriteByteForByte) {
    std::filesystem::path src = oracle::RealWorldDir() / "apache-poi" / "WithCheckBoxes.xls";
    if (!std::filesystem::exists(src)) GTEST_SKIP() << "corpus not present";
    oracle::TempFolder tmp;
    std::filesystem::path dst = tmp.path / "copy.xls";
    ASSERT_EQ(CopyRecords(src, dst), TExcelVersion::xvExcel97);
    auto lists = oracle::OleList(tmp.path, {src.string(), dst.string()});
    ASSERT_EQ(lists.size(), 2u);
    const auto& before = lists[0].second;
    const auto& after = lists[1].second;
    ASSERT_FALSE(before.empty());
    ASSERT_NE(before[0].rfind("ERROR", 0), 0u) << before[0];
    // Summary streams, CompObj, Ctls and the root's class id come back as they
    // were; the records were copied one for one, so "Workbook" is equal too;
    // the macro storage goes only through the macro project.
    EXPECT_EQ(after, Without(before, "_VBA_PROJECT_CUR"));
    EXPECT_GT(after.size(), 5u);
}

TEST(XLSStreamOracle, GnumericWorkbookRoundTrip) {
    oracle::TempFolder tmp;
    std::ofstream(tmp.path / "in.csv") << "a,b\n1,2\n";
    int status = 0;
    oracle::RunForOutput("cd '" + tmp.path.string() + "' && HOME='" + tmp.path.string() +
                             "' ssconvert in.csv in.xls >/dev/null 2>&1",
                         status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(CopyRecords(tmp.path / "in.xls", tmp.path / "out.xls"), TExcelVersion::xvExcel97);
    auto lists = oracle::OleList(tmp.path, {(tmp.path / "in.xls").string(), (tmp.path / "out.xls").string()});
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[1].second, lists[0].second);
    // xlrd opens the copy.
    oracle::XlrdBook x = oracle::ReadWithXlrd(tmp.path / "out.xls");
    ASSERT_TRUE(x.Ok) << x.Error;
    ASSERT_EQ(x.Cells.size(), 4u);
    EXPECT_EQ(x.Cells[3].Value, "2.0");
}

// Every workbook of the corpus read record by record, drawing groups joined
// over their continuation pieces: the stream either reads to the end or
// reports a clear error.
TEST(XLSStreamOracle, CorpusRecordsReadToTheEnd) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "corpus not present";
    int read = 0, joined = 0, refused = 0;
    for (const auto& path : oracle::RealWorldXls()) {
        TXLSStream s;
        try {
            if (s.OpenRead(path) == TExcelVersion::xvNone) continue;
            TBIFFHeader h;
            std::vector<uint8_t> body;
            while (s.ReadHeader(h) == 4) {
                int64_t total = h.Length;
                if (h.Id == biff::MSODRAWINGGROUP) {
                    int64_t at = s.Position();
                    s.Seek(h.Length, 1);
                    while (s.PeekRecordId() == biff::CONTINUE || s.PeekRecordId() == biff::MSODRAWINGGROUP) {
                        total += s.PeekRecordLength();
                        s.Seek(4 + s.PeekRecordLength(), 1);
                    }
                    s.Seek(at, 0);
                    s.BeginJoin();
                    ++joined;
                }
                body.resize(size_t(total));
                int got = s.ReadRecordData(body.data(), int(total));
                s.EndJoin();
                if (got < total) {
                    EXPECT_GE(s.Position(), s.Size()) << path; // cut short only at the end
                    break;
                }
            }
            ++read;
        } catch (const std::exception& ex) {
            ++refused;
            EXPECT_TRUE(dynamic_cast<const platform::cfb::CompoundFileError*>(&ex) ||
                        dynamic_cast<const XLSError*>(&ex))
                << path << ": " << ex.what();
        }
    }
    std::cout << read << " read, " << joined << " drawing groups joined, " << refused << " refused\n";
    EXPECT_GT(read, 170);
    EXPECT_GT(joined, 15);
}
