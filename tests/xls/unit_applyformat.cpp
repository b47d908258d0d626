// The sheet's working format: prepared outside the pool, so that getting a
// format ready never adds or counts pool entries.
#include "SrcXLS/model/ApplyFormat.h"
#include "SrcXLS/model/XFonts.h"

#include <gtest/gtest.h>

using namespace xls;

TEST(ApplyFormatTest, WorkingFormatStaysOutOfThePool) {
    TXFonts fonts;
    TCellFormats formats(&fonts, true);
    int count = formats.Count();
    TApplyFormat holder(&formats, nullptr);
    holder.Format().SetFillForeColor(10);
    holder.Format().SetNumberFormat(u"0.00");
    EXPECT_FALSE(holder.Format().InPool());
    EXPECT_EQ(holder.Format().Pool(), &formats);
    EXPECT_EQ(formats.Count(), count);
    EXPECT_EQ(formats.IndexOfEqual(holder.Format()), -1);
}
