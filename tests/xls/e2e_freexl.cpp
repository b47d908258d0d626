// FreeXL (libfreexl, the .xls reader of GDAL and SpatiaLite) reads the
// workbooks the component writes: every sheet with its used area and its
// values, the last row and column of a sheet, and files large enough that
// their compound file needs DIFAT sectors.
#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSText.h"
#include "support_files.h"
#include "support_freexl.h"

#include "tests/xls/support_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace xls;
using testfiles::FreeXLCell;

using FreeXLReads = FreshLibState;

TEST_F(FreeXLReads, WorkbooksWeWrite) {
    struct Case {
        const char* what;
        std::function<void(TTabrix4&)> fill;
        unsigned sheets;
        std::pair<unsigned, unsigned short> dimensions; // of the first sheet
        std::vector<FreeXLCell> cells;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"the last row and column of a sheet",
         [](TTabrix4& wb) {
             wb.GetSheet(0).SetAsInteger(0, 0, 1);
             wb.GetSheet(0).SetAsString(255, 65535, u"край");
         },
         1,
         {65536, 256},
         {{0, 0, 0}, {0, 65535, 255}},
         {"1", "край"}},
        {"two sheets",
         [](TTabrix4& wb) {
             wb.GetSheet(0).SetAsFloat(2, 3, 2.5);
             wb.Sheets().Add(0).SetAsString(1, 1, u"Товар");
         },
         2,
         {4, 3},
         {{0, 3, 2}, {1, 1, 1}},
         {"2.5", "Товар"}},
        {"a sheet whose compound file needs DIFAT sectors",
         [](TTabrix4& wb) {
             TSheet& s = wb.GetSheet(0);
             for (int r = 0; r < 65536; ++r)
                 for (int c = 0; c < 16; ++c) {
                     const int n = r * 16 + c;
                     if (c < 8)
                         s.SetAsFloat(c, r, n * 0.5);
                     else
                         s.SetAsString(c, r, u"S" + Utf8ToWide(std::to_string(n % 314573)));
                 }
         },
         1,
         {65536, 16},
         {{0, 0, 0}, {0, 65535, 7}, {0, 65535, 15}},
         {"0", "524283.5", "S104856"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testfiles::ScratchDir dir;
        const std::string file = dir.File("book.xls");
        TTabrix4 book;
        c.fill(book);
        book.SetFilename(Utf8ToWide(file));
        book.Write();
        testfiles::FreeXLBook x = testfiles::ReadWithFreeXL(file, c.cells);
        ASSERT_TRUE(x.Opened) << "freexl_open gave " << x.Status << x.Failure;
        EXPECT_EQ(x.Sheets, c.sheets);
        ASSERT_FALSE(x.Dimensions.empty());
        EXPECT_EQ(x.Dimensions[0], c.dimensions);
        EXPECT_EQ(x.Values, c.values);
    }
}
