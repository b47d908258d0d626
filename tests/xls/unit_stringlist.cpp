// Wide string lists: line splitting, callbacks and text forms.
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/model/WideStringList.h"

#include <gtest/gtest.h>

using namespace xls;

TEST(WideStringList, SetTextSplitsAtEveryKindOfBreak) {
    struct {
        std::u16string text;
        std::vector<std::u16string> items;
    } cases[] = {
        {u"a\r\nb", {u"a", u"b"}},
        {u"a\n\rb", {u"a", u"b"}},
        {u"a\r\rb", {u"a", u"b"}},
        {u"\r\n", {u""}},
        {u"a\r\n", {u"a"}},
        {u"a\n\nb", {u"a", u"b"}},
        {u"a\n\n\nb", {u"a", u"", u"b"}},
        {u"x\u2028y\u2029z\vw\fv", {u"x", u"y", u"z", u"w", u"v"}},
        {u"", {}},
        {u"single", {u"single"}},
    };
    for (const auto& c : cases) {
        TXLSWideStringList list;
        list.SetText(c.text);
        ASSERT_EQ(list.GetCount(), int(c.items.size()));
        for (int i = 0; i < list.GetCount(); ++i) EXPECT_EQ(list.GetItem(i), c.items[i]);
    }
}

TEST(WideStringList, CallbacksAndSuspendedUpdates) {
    TXLSWideStringList list;
    int calls = 0;
    list.OnChange = [&](TXLSWideStringList&) { ++calls; };
    list.AddWithValue(u"a", 7);
    EXPECT_EQ(calls, 1);
    list.SetItem(1, u"b"); // appends: once from the add, once from the set
    EXPECT_EQ(calls, 3);
    list.SetItem(0, u"A");
    EXPECT_EQ(calls, 4);
    EXPECT_THROW(list.SetItem(5, u"x"), XLSError);
    list.BeginUpdate();
    list.Add(u"c");
    list.Clear();
    list.EndUpdate();
    EXPECT_EQ(calls, 4);
    list.SetText(u"p\nq");
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(list.GetValue(9), 0);
    EXPECT_EQ(list.GetItem(-1), u"");
}

TEST(WideStringList, TextForms) {
    TXLSWideStringList list;
    list.Add(u"one");
    list.AddWithValue(u"two", 3);
    EXPECT_EQ(list.GetConcatText(), u"onetwo");
    EXPECT_EQ(list.GetText(), u"one\r\ntwo\r\n");
    EXPECT_EQ(list.GetPrefixedText(u"Attribute"), u"Attribute one\r\nAttribute two\r\n");
    EXPECT_EQ(list.GetValue(1), 3);
    list.AddAfterBlank(u"Attribute   VB_Name = \"Module1\"  ");
    EXPECT_EQ(list.GetItem(2), u"VB_Name = \"Module1\"");
    list.AddAfterBlank(u" leading"); // a blank at the first position does not count
    EXPECT_EQ(list.GetItem(3), u" leading");
    list.AddAfterBlank(u"noblank");
    EXPECT_EQ(list.GetItem(4), u"noblank");
    TXLSValueWideStringList values;
    EXPECT_EQ(values.NameValueSeparator, u'=');
}
