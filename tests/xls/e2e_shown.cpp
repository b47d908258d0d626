// xlsbench dump --shown prints the cells as LibreOffice shows them (en-US);
// xlsbench formulas says which formulas hold no result.
#include "support_files.h"
#include "support_oracle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

TEST(XlsbenchDump, ShownValuesAreLibreOfficesTexts) {
    const char* bin = std::getenv("Q710_BIN_DIR");
    const char* src = std::getenv("Q710_SOURCE_DIR");
    ASSERT_TRUE(bin && src);
    const std::string dir = std::string(src) + "/tests/xls/numfmt";
    oracle::TRun r = oracle::RunOurs(std::string(bin) + "/xlsbench dump --shown '" + dir + "/custom.xls'");
    ASSERT_EQ(r.Status, 0) << r.Output;
    std::vector<std::string> shown;
    std::istringstream out(r.Output);
    for (std::string line; std::getline(out, line);) shown.push_back(line.substr(line.rfind('\t') + 1));
    std::istringstream expected(testfiles::Slurp(dir + "/expected.tsv"));
    size_t row = 0;
    for (std::string line; std::getline(expected, line);) {
        if (line.rfind("custom\t", 0) != 0) continue;
        ASSERT_LT(row, shown.size());
        EXPECT_EQ(shown[row++], line.substr(line.rfind('\t') + 1)) << line;
    }
    EXPECT_EQ(row, shown.size());
}

// The generated formulas were written by openpyxl without results: each
// line gives "(no value)" as the cached value, then what we compute.
TEST(XlsbenchFormulas, AFormulaReadWithoutAResultHasNone) {
    const char* bin = std::getenv("Q710_BIN_DIR");
    const char* src = std::getenv("Q710_SOURCE_DIR");
    ASSERT_TRUE(bin && src);
    const std::string file = std::string(src) + "/tests/xls/functions/cases.xlsx";
    oracle::TRun r = oracle::RunOurs(std::string(bin) + "/xlsbench formulas '" + file + "'");
    ASSERT_EQ(r.Status, 0) << r.Output;
    std::istringstream out(r.Output);
    int lines = 0;
    for (std::string line; std::getline(out, line);) {
        const std::vector<std::string> f = oracle::Fields(line);
        ASSERT_EQ(f.size(), 6u) << line;
        EXPECT_EQ(f[4], "(no value)") << line;
        ++lines;
    }
    EXPECT_GE(lines, 1000);
}
