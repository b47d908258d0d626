// Charts of real files read and written: the sheet list keeps its chart
// sheets in place, every chart substream (chart sheets and embedded charts)
// keeps its records, and LibreOffice converting the original and the
// written file to .xlsx finds the same charts with the same series.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "support_drawing.h"
#include "support_files.h"
#include "support_process.h"
#include "tests/xls/support_oracle.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace xls;
namespace fs = std::filesystem;
using drawingtest::Bytes;
using drawingtest::Record;

namespace {

std::string Hex(const Bytes& b) {
    std::string out;
    char x[4];
    for (uint8_t c : b) {
        std::snprintf(x, sizeof x, "%02X", c);
        out += x;
    }
    return out;
}

// The sheet list: type byte and name of every BOUNDSHEET (BIFF8).
std::vector<std::string> SheetList(const std::vector<Record>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) {
        if (r.Id != 0x0085 || r.Body.size() < 8) continue;
        std::u16string name;
        const bool wide = r.Body[7] & 1;
        for (size_t k = 0; k < r.Body[6] && 8 + (k + 1) * (wide ? 2 : 1) <= r.Body.size(); ++k)
            name += wide ? char16_t(GetU16(r.Body.data() + 8 + 2 * k)) : char16_t(r.Body[8 + k]);
        out.push_back(std::to_string(r.Body[5]) + " " + WideToUtf8(name));
    }
    return out;
}

// Every chart substream of a workbook stream, each as lines: the records
// (GELFRAMEs joined with their continuations) and its drawing decoded.
std::vector<std::vector<std::string>> Charts(const Bytes& stream) {
    std::vector<std::vector<std::string>> out;
    auto records = biffbuild::Records(stream);
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& bof = records[i];
        if (bof.Id != 0x0809 || bof.Body.size() < 4 || bof.Body[2] != 0x20) continue;
        std::vector<std::string> lines;
        std::vector<Record> drawing;
        for (++i; i < records.size() && records[i].Id != 0x000A; ++i) {
            const Record& r = records[i];
            if (r.Id == 0x00EC || r.Id == 0x005D || r.Id == 0x01B6 || (r.Id == 0x003C && !drawing.empty())) {
                drawing.push_back(r);
                continue;
            }
            Bytes body = r.Body;
            while (r.Id == 0x1066 && i + 1 < records.size() &&
                   (records[i + 1].Id == 0x1066 || records[i + 1].Id == 0x003C)) {
                body.insert(body.end(), records[i + 1].Body.begin(), records[i + 1].Body.end());
                ++i;
            }
            lines.push_back(std::to_string(r.Id) + " " + Hex(body));
        }
        for (auto& l : drawingtest::DecodeDrawing(drawing)) lines.push_back(l);
        out.push_back(lines);
    }
    return out;
}

} // namespace

TEST(DrawingCharts, RealChartsAndChartSheetsComeBack) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    std::vector<std::string> copies, xlsx;
    int charts = 0, chartSheets = 0;
    for (const fs::path& file : oracle::RealWorldXls()) {
        Bytes stream;
        try {
            stream = biffbuild::WorkbookStream(testfiles::Slurp(file.string()));
        } catch (const std::exception&) {
            continue;
        }
        auto before = Charts(stream);
        if (before.empty() || stream.size() < 8 || GetU16(stream.data() + 4) != 0x0600) continue;
        const std::string name = std::to_string(copies.size());
        const std::string out = dir.File("w" + name + ".xls");
        try {
            TTabrix4 book;
            book.SetFilename(file.u16string());
            book.Read();
            book.SetFilename(fs::path(out).u16string());
            book.Write();
        } catch (const XLSError& e) {
            if (std::string(e.what()).find("ncrypt") != std::string::npos) continue;
            ADD_FAILURE() << file << ": " << e.what();
            continue;
        }
        SCOPED_TRACE(file.string());
        Bytes written = biffbuild::WorkbookStream(testfiles::Slurp(out));
        EXPECT_EQ(SheetList(biffbuild::Records(written)), SheetList(biffbuild::Records(stream)));
        auto after = Charts(written);
        EXPECT_EQ(after, before);
        charts += int(before.size());
        for (const auto& r : biffbuild::Records(stream))
            chartSheets += r.Id == 0x0085 && r.Body.size() >= 6 && r.Body[5] == 2;
        const std::string original = dir.File("o" + name + ".xls");
        fs::copy_file(file, original);
        copies.push_back(original);
        copies.push_back(out);
    }
    EXPECT_GT(charts, 25);
    EXPECT_GT(chartSheets, 18);

    testfiles::LibreOfficeConvert(copies, dir.File("conv"), "xlsx");
    for (const auto& c : copies) xlsx.push_back(dir.File("conv/" + fs::path(c).stem().string() + ".xlsx"));
    auto read = drawingtest::DrawingOracle("charts", xlsx);
    int compared = 0;
    for (size_t i = 0; i + 1 < read.size(); i += 2) {
        SCOPED_TRACE(copies[i]);
        if (read[i][0] != "OK") continue;
        EXPECT_EQ(read[i + 1], read[i]);
        compared += int(read[i].size()) - 1;
    }
    EXPECT_GT(compared, 15);
}
