// The discount groups from the page's controls to the file and the register:
// fifteen groups composed through the controls, saved to "\Discount.ini"
// (read back by Python's configparser), written to the register (its own
// records read straight from its library and compared with the file), read
// back into the coloured listing; pictures of the page and of the fast keys
// dialog. Kept in Q710_TEST_OUT: Discount.ini, discount_groups.tsv,
// discount_groups.png, fast_keys.png.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <cstdio>

#include "console/DiscountGroups.h"
#include "console/Keypad.h"
#include "console/PercentEdit.h"
#include "console/TForm9.h"
#include "platform/RegionalSettings.h"
#include "support_files.h"
#include "support_readers.h"
#include "support_reports.h"

namespace {

using testing_console::ReportHarness;

// Group n as composed: every term combination, cards, dates, times, days.
struct Composed {
    int group;
    int value;
    uint64_t first, last;
    int terms;
    QDate begin, end;
    QTime from, to;
    int dayBits;
};

Composed Compose(int n) {
    return {n,
            n * 613 % 10000,
            1000000000000ull * n,
            1000000000000ull * n + 999ull * n * n,
            (n + 6) % 8, // group 1 with every term
            QDate(2025, 1, n),
            QDate(2025, 12, n),
            QTime(8 + n % 5, n * 7 % 60),
            QTime(20, n),
            (n * 37) % 128};
}

void Enter(console::TForm1& f, const Composed& c) {
    f.CBDiscountGroup->setCurrentIndex(c.group - 1);
    f.MEDiscountValueByGroup->SetMaskText(console::PercentText(static_cast<uint32_t>(c.value)));
    f.FirstCardCodeByDiscountGroup->setText(QString::number(c.first));
    f.FirstCardCodeByDiscountGroupExit();
    f.LastCardCodeByDiscountGroup->setText(QString::number(c.last));
    f.LastCardCodeByDiscountGroupExit();
    f.CBDiscountByDate->setChecked(c.terms & 1);
    f.CBDiscountByTime->setChecked(c.terms & 2);
    f.CBDiscountByDayOfWeek->setChecked(c.terms & 4);
    f.BeginDate->setDate(c.begin);
    f.EndDate->setDate(c.end);
    f.BeginTime->setTime(c.from);
    f.EndTime->setTime(c.to);
    QCheckBox* days[7] = {f.CBMonday, f.CBTuesday,  f.CBWednesday, f.CBThursday,
                          f.CBFriday, f.CBSaturday, f.CBSunday};
    if (c.terms & 4)
        for (int d = 0; d < 7; ++d) days[d]->setChecked(c.dayBits & (1 << d));
}

std::string Two(int v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

// The register's record of a group as a line: group, terms, value, cards,
// dates dd.mm.yyyy, times hh:mm, day bits.
std::string TsvLine(const Q710DiscountGroupRecord& r) {
    auto date = [](double days) {
        platform::CivilDateTime t = platform::DaysToCivil(days);
        return Two(t.day) + "." + Two(t.month) + "." + std::to_string(t.year);
    };
    auto time = [](double days) {
        platform::CivilDateTime t = platform::DaysToCivil(days);
        return Two(t.hour) + ":" + Two(t.minute);
    };
    int bits = 0;
    for (int d = 0; d < 7; ++d) bits |= r.days[d] != 0 ? 1 << d : 0;
    return std::to_string(r.group) + "\t" + std::to_string(r.terms) + "\t" + std::to_string(r.value) + "\t" +
           std::to_string(r.firstCard) + "\t" + std::to_string(r.lastCard) + "\t" + date(r.beginDate) + "\t" +
           date(r.endDate) + "\t" + time(r.beginTime) + "\t" + time(r.endTime) + "\t" + std::to_string(bits);
}

// The file as configparser reads it, against the register's lines: each
// key of a group as the register holds it (dates and times only where their
// term bit is set, as the register keeps the others at 0).
constexpr const char* kCompare = R"PY(
import configparser, csv, sys
ini = configparser.ConfigParser()
ini.optionxform = str
ini.read(sys.argv[1], encoding="cp1251")
rows = list(csv.reader(open(sys.argv[2], encoding="ascii"), delimiter="\t"))
assert len(ini.sections()) == 15, ini.sections()
assert len(rows) == 15
for row in rows:
    group, terms, value, first, last, bd, ed, bt, et, bits = row
    s = ini["GROUP" + group]
    assert s["DiscountGroup"] == group, (group, s["DiscountGroup"])
    assert s["DiscountType"] == terms and s["DiscountValue"] == value, group
    assert s["FirstCodeByGroup"] == first and s["LastCodeByGroup"] == last, group
    if int(terms) & 1:
        assert (s["BeginDate"], s["EndDate"]) == (bd, ed), (group, s["BeginDate"], bd)
    if int(terms) & 2:
        h, m = bt.split(":")
        assert s["BeginTime"] == "%d:%s:00" % (int(h), m), (group, s["BeginTime"], bt)
    days = sum(1 << i for i, k in enumerate(["MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"]) if s[k] == "1")
    assert str(days if int(terms) & 4 else 0) == bits, (group, days, bits)
print("ok")
)PY";

// Pixels of the listing's colours in a picture.
constexpr const char* kColours = R"PY(
import sys
from PIL import Image
im = Image.open(sys.argv[1]).convert("RGB")
seen = set(im.getdata())
want = {"blue": (0, 0, 255), "red": (255, 0, 0), "maroon": (128, 0, 0), "green": (0, 128, 0)}
print(im.size[0], im.size[1], " ".join(k for k, v in sorted(want.items()) if v in seen))
)PY";

TEST(DiscountGroupsEndToEnd, ComposedSavedWrittenAndListed) {
    ReportHarness h;
    console::TForm1& f = h.Form();
    f.resize(1100, 620);
    f.show();
    f.TreeView1->setCurrentItem(f.TreeView1->topLevelItem(5)); // "Дисконт"
    ASSERT_EQ(f.PageControl1->currentIndex(), 6);
    for (int n = 1; n <= 15; ++n) Enter(f, Compose(n));

    f.SpeedButton2->click();
    const std::string ini = h.dir.File("Discount.ini");
    testfiles::KeepTestOutput(ini, "Discount.ini");
    f.ActionWriteAllDiscountGroups->trigger();
    ASSERT_EQ(h.BoxTexts(), (std::vector<std::string>{"Налаштунки дисконтних груп збережені!",
                                                      "Параметри всіх дисконтних груп успішно записані."}));

    std::string tsv;
    for (int n = 1; n <= 15; ++n) {
        Q710DiscountGroupRecord r{};
        const char* err = nullptr;
        ASSERT_EQ(h.State().Api().GetDiscountGroupParameters103(n, &r, &err), 0);
        const Composed c = Compose(n);
        EXPECT_EQ(r.value, c.value) << n;
        EXPECT_EQ(r.firstCard, c.first) << n;
        EXPECT_EQ(r.lastCard, c.last) << n;
        EXPECT_EQ(r.terms, c.terms) << n;
        tsv += TsvLine(r) + "\n";
    }
    const std::string tsvPath = h.dir.File("discount_groups.tsv");
    testfiles::Spit(tsvPath, tsv);
    testfiles::KeepTestOutput(tsvPath, "discount_groups.tsv");
    EXPECT_EQ(testfiles::RunPython(kCompare, {ini, tsvPath}), "ok\n");

    f.ActionReadAllDiscountGroups->trigger();
    EXPECT_EQ(h.ui.boxes.size(), 2u);
    const std::string page = h.dir.File("discount_groups.png");
    ASSERT_TRUE(f.grab().save(QString::fromStdString(page), "PNG"));
    testfiles::KeepTestOutput(page, "discount_groups.png");
    EXPECT_EQ(testfiles::RunPython(kColours, {page}), "1100 620 blue green maroon red\n");

    console::TForm9& keys = *h.program->windows.Form9;
    keys.show();
    h.ui.QueueAnswer(platform::IdOk);
    keys.BitBtnReadAllFastCodes->click();
    keys.CBFastKey->setCurrentIndex(2);
    for (const char* button : {"Button16", "Button20", "Button10"}) keys.Keys->KeyButton(button)->click();
    const std::string dialog = h.dir.File("fast_keys.png");
    ASSERT_TRUE(keys.grab().save(QString::fromStdString(dialog), "PNG"));
    testfiles::KeepTestOutput(dialog, "fast_keys.png");
    QImage picture(QString::fromStdString(dialog));
    EXPECT_EQ(picture.size(), keys.size());
    EXPECT_GT(picture.width(), 250);
    keys.hide();
}

} // namespace
