// Cells shown through their number formats as LibreOffice shows them
// (en-US): the workbooks in numfmt/ were written by python3-xlwt, every
// format once under a built-in index where one fits and once under a custom
// index, and expected.tsv holds LibreOffice's texts of their cells
// (numfmt/make_expected.py makes all three).
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "platform/RegionalSettings.h"
#include "support_files.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

using namespace xls;

namespace {

struct Expected {
    std::string File;
    int Row = 0;
    std::string Format, Value, Shown;
};

std::string NumfmtDir() {
    const char* src = std::getenv("Q710_SOURCE_DIR");
    return std::string(src ? src : ".") + "/tests/xls/numfmt";
}

std::vector<Expected> ReadExpected() {
    std::vector<Expected> rows;
    std::istringstream in(testfiles::Slurp(NumfmtDir() + "/expected.tsv"));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        for (size_t start = 0;;) {
            size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab == line.npos ? line.npos : tab - start));
            if (tab == line.npos) break;
            start = tab + 1;
        }
        if (f.size() == 5) rows.push_back({f[0], std::stoi(f[1]), f[2], f[3], f[4]});
    }
    return rows;
}

struct ShownFormats : FreshLibState {
    platform::RegionalSettings saved = platform::Regional();
    void SetUp() override {
        FreshLibState::SetUp();
        // The built-in date and time formats follow the regional settings.
        platform::RegionalSettings us = saved;
        us.shortDateFormat = "M/d/yy";
        us.longTimeFormat = "H:mm:ss";
        platform::SetRegional(us);
        LibState().Locale = TXLSLocale();
    }
    void TearDown() override {
        platform::SetRegional(saved);
        FreshLibState::TearDown();
    }
};

} // namespace

TEST_F(ShownFormats, CellsShowWhatLibreOfficeShows) {
    const std::vector<Expected> rows = ReadExpected();
    ASSERT_GE(rows.size(), 300u) << "expected texts in " << NumfmtDir();
    std::map<std::string, std::unique_ptr<TTabrix4>> books;
    for (const char* name : {"builtin", "custom"}) {
        auto& book = books[name] = std::make_unique<TTabrix4>();
        book->SetFilename(Utf8ToWide(NumfmtDir() + "/" + name + ".xls"));
        book->Read();
    }
    std::map<std::string, int> formats;
    int wrong = 0;
    for (const Expected& e : rows) {
        TSheet& sheet = books.at(e.File)->GetSheet(0);
        ++formats[e.Format];
        const std::string ours = WideToUtf8(sheet.Cells().GetDisplayText(0, e.Row));
        if (ours != e.Shown)
            ADD_FAILURE() << ++wrong << " " << e.File << " \"" << e.Format << "\" of " << e.Value << ": \""
                          << ours << "\", LibreOffice \"" << e.Shown << "\"";
        // What a text cell holds stays its own text, whatever it shows.
        if (e.Value.size() >= 2 && e.Value.front() == '\'') {
            EXPECT_EQ(WideToUtf8(sheet.GetAsString(0, e.Row)), e.Value.substr(1, e.Value.size() - 2))
                << e.Format;
        }
    }
    EXPECT_GE(formats.size(), 70u);
}
