// Every workbook of the shared corpus that our reader reads, copied through
// every version (a package, Excel 97, Excel 5, Excel 4): each copy written
// opens in our reader, in xlrd (openpyxl for a package) and in gnumeric
// without a message of damage; a write that is refused says why. The walk
// is cut into shards, each a test of its own so that they run side by side;
// by default it walks a sample of the corpus drawn with a fixed seed, and
// with Q710_CORPUS_WALK=all every file.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace xls;
namespace fs = std::filesystem;

namespace {

constexpr int Shards = 6;
// Files walked without Q710_CORPUS_WALK=all.
constexpr size_t Sampled = 96;

struct TVersion {
    TExcelVersion Version;
    const char* Extension;
};
constexpr TVersion Versions[] = {
    {TExcelVersion::xvExcel2007, ".xlsx"},
    {TExcelVersion::xvExcel97, ".v8.xls"},
    {TExcelVersion::xvExcel50, ".v5.xls"},
    {TExcelVersion::xvExcel40, ".v4.xls"},
};

// The files of one shard: every workbook of the corpus, or the sample.
std::vector<fs::path> ShardFiles(int shard) {
    std::vector<fs::path> all = oracle::RealWorldXls();
    const std::vector<fs::path> packages = oracle::RealWorldXlsx();
    all.insert(all.end(), packages.begin(), packages.end());
    std::sort(all.begin(), all.end());
    const char* walk = std::getenv("Q710_CORPUS_WALK");
    if (!(walk && std::string(walk) == "all") && all.size() > Sampled) {
        std::mt19937 draw(44);
        std::shuffle(all.begin(), all.end(), draw);
        all.resize(Sampled);
        std::sort(all.begin(), all.end());
    }
    std::vector<fs::path> out;
    for (size_t i = size_t(shard); i < all.size(); i += Shards) out.push_back(all[i]);
    return out;
}

// gnumeric's messages of damage about a file, without the process number
// and the time that differ from run to run; none when it did not run.
std::set<std::string> GnumericDamage(const std::string& file, bool& ran) {
    const oracle::TRun r = oracle::Run("ssconvert --export-type=Gnumeric_stf:stf_csv " + oracle::Quote(file) +
                                           " " + oracle::Quote(file + ".csv"),
                                       60);
    ran = r.Status != -1; // else reported by Run: failed, or skipped where a bound stopped it
    std::set<std::string> out;
    if (ran && r.Status != 0) out.insert("exit status " + std::to_string(r.Status));
    std::istringstream lines(r.Output);
    static const std::regex noise(R"(\(ssconvert:\d+\)|\d\d:\d\d:\d\d\.\d+|\*\* )");
    for (std::string l; std::getline(lines, l);)
        for (const char* word : {"corrupt", "Condition", "CRITICAL"})
            if (l.find(word) != std::string::npos) {
                out.insert(std::regex_replace(l, noise, ""));
                break;
            }
    return out;
}

bool IsPackage(const std::string& file) {
    const std::string ext = fs::path(file).extension().string();
    return ext == ".xlsx" || ext == ".xlsm" || ext == ".XLSX";
}

class CorpusWalk : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(CorpusWalk, EveryCopyOpensInEveryReader) {
    if (oracle::RealWorldDir().empty()) GTEST_SKIP() << "no real-world test files here";
    testfiles::ScratchDir dir;
    // The files each oracle reads: the copies, and the sources it reads too
    // (a copy may be refused only as its source is).
    std::vector<std::string> binaries, packages;
    std::map<std::string, std::string> sourceOf; // copy -> its source
    size_t n = 0, judged = 0;
    for (const fs::path& file : ShardFiles(GetParam())) {
        // Files built to exhaust a reader's memory: the bomb tests judge them.
        if (file.filename().string().rfind("poc-", 0) == 0) continue;
        {
            TTabrix4 book;
            book.SetFilename(file.u16string());
            try {
                book.Read();
            } catch (const XLSError&) {
                continue; // the reading tests judge the files our reader refuses
            }
        }
        ++n;
        (IsPackage(file.string()) ? packages : binaries).push_back(file.string());
        bool ran = false;
        const std::set<std::string> sourceDamage = GnumericDamage(file.string(), ran);
        const std::string base = dir.File(std::to_string(n));
        for (const TVersion& v : Versions) {
            const std::string copy = base + v.Extension;
            SCOPED_TRACE(file.string() + " -> " + v.Extension);
            TTabrix4 book;
            book.SetFilename(file.u16string());
            book.Read();
            book.SetVersion(v.Version);
            book.SetFilename(Utf8ToWide(copy));
            try {
                book.Write();
            } catch (const XLSError& e) {
                // A refusal says why, and leaves no file.
                EXPECT_GT(std::string(e.what()).size(), 10u) << e.what();
                EXPECT_FALSE(fs::exists(copy));
                continue;
            }
            TTabrix4 back;
            back.SetFilename(Utf8ToWide(copy));
            EXPECT_NO_THROW(back.Read());
            (v.Version == TExcelVersion::xvExcel2007 ? packages : binaries).push_back(copy);
            sourceOf[copy] = file.string();
            for (const std::string& m : GnumericDamage(copy, ran))
                if (!sourceDamage.count(m)) ADD_FAILURE() << "gnumeric: " << m;
            judged += ran;
        }
    }
    // One python process for each oracle over all the shard's files.
    for (const auto& [files, script] :
         {std::pair{&binaries, "xlrd_cells.py"}, std::pair{&packages, "openpyxl_cells.py"}}) {
        const std::vector<oracle::TOracleFile> seen =
            oracle::RunPerFile("/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath(script)), *files, 400);
        std::map<std::string, bool> refused;
        for (size_t i = 0; i < files->size(); ++i)
            refused[(*files)[i]] = !seen[i].Ok && seen[i].NoVerdict.empty();
        for (size_t i = 0; i < files->size(); ++i) {
            const auto source = sourceOf.find((*files)[i]);
            if (source == sourceOf.end() || !refused[(*files)[i]]) continue;
            // Refused as the source is, by the same reader.
            const auto same = refused.find(source->second);
            EXPECT_TRUE(same != refused.end() && same->second)
                << source->second << " -> " << (*files)[i] << ": " << script << " " << seen[i].Error;
        }
    }
    std::cout << "shard " << GetParam() << ": " << n << " workbooks, " << judged
              << " copies read by gnumeric\n";
}

INSTANTIATE_TEST_SUITE_P(Shard, CorpusWalk, ::testing::Range(0, Shards));
