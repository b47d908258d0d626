// The page of the discount groups against the simulated register: the
// controls kept in step with the chosen entry, the card checks, reading one
// and all groups (the coloured listing and every status of the batch),
// writing one and all, and "\Discount.ini". What was written is judged by the
// register's own records, read straight from its library.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimeEdit>
#include <cstring>

#include "console/ActionButton.h"
#include "console/DiscountGroups.h"
#include "console/PercentEdit.h"
#include "support_reports.h"

namespace {

using testing_console::ReportHarness;
using F = console::TForm1;

std::vector<std::string> Calls(const ReportHarness& h, const std::string& function) {
    std::vector<std::string> out;
    for (const std::string& line : testing_console::LogLines(h.SimulatorLog(), ""))
        if (line.rfind(function + "(", 0) == 0) out.push_back(line);
    return out;
}

Q710DiscountGroupRecord RegisterGroup(ReportHarness& h, int group) {
    Q710DiscountGroupRecord r{};
    const char* err = nullptr;
    EXPECT_EQ(h.State().Api().GetDiscountGroupParameters103(group, &r, &err), 0) << group;
    return r;
}

// The listing as lines of text with their colour; every line must be bold.
struct Shown {
    std::string text;
    QColor colour;
};
std::vector<Shown> Listing(const F& f) {
    std::vector<Shown> lines;
    for (QTextBlock b = f.RichEdit1->document()->begin(); b.isValid(); b = b.next()) {
        QTextCharFormat format = b.charFormat();
        if (!b.text().isEmpty()) {
            auto it = b.begin();
            format = it.fragment().charFormat();
            EXPECT_EQ(format.fontWeight(), QFont::Bold) << b.text().toStdString();
        }
        lines.push_back({b.text().toStdString(), format.foreground().color()});
    }
    return lines;
}

std::vector<std::string> Texts(const std::vector<Shown>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text);
    return out;
}

TEST(DiscountPage, StartsWithTheDefaultGroups) {
    ReportHarness h;
    F& f = h.Form();
    const double today = console::TodayDays();
    for (int i = 0; i < console::DiscountGroupCount; ++i) {
        const Q710DiscountGroupRecord& g = h.State().DiscountGroups[i];
        EXPECT_EQ(g.group, i + 1);
        EXPECT_EQ(g.value, 0);
        EXPECT_EQ(g.firstCard, 1u);
        EXPECT_EQ(g.lastCard, 1u);
        EXPECT_EQ(g.beginDate, today);
        EXPECT_EQ(g.endDate, today);
        EXPECT_EQ(g.terms, 0);
    }
    EXPECT_EQ(f.BeginDate->date(), QDate::currentDate()); // the pickers keep their dates
    EXPECT_FALSE(f.BeginDate->isEnabled() || f.BeginTime->isEnabled() || f.CBMonday->isEnabled());
    EXPECT_EQ(f.CBDiscountGroup->count(), 15);
}

// Every control stores into the chosen entry; choosing a group shows it.
TEST(DiscountPage, ControlsKeepTheChosenEntryInStep) {
    ReportHarness h;
    F& f = h.Form();
    auto& groups = h.State().DiscountGroups;
    f.CBDiscountGroup->setCurrentIndex(2);
    f.MEDiscountValueByGroup->SetMaskText("05.50");
    f.CBDiscountByDate->setChecked(true);
    EXPECT_TRUE(f.BeginDate->isEnabled() && f.EndDate->isEnabled());
    f.BeginDate->setDate(QDate(2024, 3, 1));
    f.CBDiscountByTime->setChecked(true);
    f.EndTime->setTime(QTime(18, 30));
    f.CBDiscountByDayOfWeek->setChecked(true);
    f.CBSaturday->setChecked(true);
    f.CBSunday->setChecked(true);
    const Q710DiscountGroupRecord& g = groups[2];
    EXPECT_EQ(g.value, 550);
    EXPECT_EQ(g.terms, 7);
    EXPECT_EQ(g.beginDate, 45352.0); // 01.03.2024
    EXPECT_DOUBLE_EQ(g.endTime, 18.5 / 24);
    EXPECT_EQ(g.days[5], -1);
    EXPECT_EQ(g.days[6], -1);
    EXPECT_EQ(groups[1].value, 0); // the others untouched

    f.CBDiscountGroup->setCurrentIndex(1);
    EXPECT_EQ(f.MEDiscountValueByGroup->MaskText(), "00.00");
    EXPECT_FALSE(f.CBDiscountByDate->isChecked() || f.BeginDate->isEnabled() || f.CBSunday->isChecked());
    f.CBDiscountGroup->setCurrentIndex(2);
    EXPECT_EQ(f.MEDiscountValueByGroup->MaskText(), "05.50");
    EXPECT_TRUE(f.CBDiscountByTime->isChecked() && f.CBSunday->isChecked() && f.CBSunday->isEnabled());
    EXPECT_EQ(f.BeginDate->date(), QDate(2024, 3, 1));
    EXPECT_EQ(f.EndTime->time(), QTime(18, 30));
    EXPECT_EQ(groups[2].terms, 7);

    // Days switched off: each day box unchecked and its flag cleared.
    f.CBDiscountByDayOfWeek->setChecked(false);
    EXPECT_FALSE(f.CBSunday->isChecked() || f.CBSunday->isEnabled());
    EXPECT_EQ(groups[2].days[6], 0);
    EXPECT_EQ(groups[2].terms, 3);
    // A cleared place of the value reads as 0.
    f.MEDiscountValueByGroup->setCursorPosition(4);
    testing_console::PressKey(f.MEDiscountValueByGroup, Qt::Key_Backspace);
    EXPECT_EQ(f.MEDiscountValueByGroup->MaskText(), "05.00");
    EXPECT_EQ(groups[2].value, 500);
}

TEST(DiscountPage, CardCodesAreCheckedWhenLeft) {
    struct Case {
        const char* typed;
        const char* shown;
        uint64_t stored;
        bool message;
    };
    const Case cases[] = {
        {"123", "123", 123, false},
        {"0", "1", 1, false},
        {"abc", "1", 1, true},
        {"12a", "1", 1, true},
        {" 42 ", "42", 42, false},
        {"9999999999999999999", "9999999999999999999", 9999999999999999999u, false}, // 19 places
    };
    ReportHarness h;
    F& f = h.Form();
    f.CBDiscountGroup->setCurrentIndex(4);
    for (bool first : {true, false}) {
        QLineEdit* edit = first ? f.FirstCardCodeByDiscountGroup : f.LastCardCodeByDiscountGroup;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(first ? "first " : "last ") + c.typed);
            std::size_t boxes = h.ui.boxes.size();
            edit->setText(c.typed);
            first ? f.FirstCardCodeByDiscountGroupExit() : f.LastCardCodeByDiscountGroupExit();
            EXPECT_EQ(edit->text().toStdString(), c.shown);
            const Q710DiscountGroupRecord& g = h.State().DiscountGroups[4];
            EXPECT_EQ(first ? g.firstCard : g.lastCard, c.stored);
            ASSERT_EQ(h.ui.boxes.size(), boxes + (c.message ? 1 : 0));
            if (c.message) {
                EXPECT_EQ(
                    h.ui.boxes.back().Utf8Text(),
                    std::string(first ? "Невірно заданий початковий" : "Невірно заданий кінцевий") +
                        " код дисконтної картки!\r\nМожливий діапазон значень: 1..9999999999999999999!");
                EXPECT_EQ(h.ui.boxes.back().style, 0x2010u);
            }
        }
    }
}

// Reading one group shows it through the controls, whose handlers carry it
// into the entry; the card codes wait for their edits to be left.
TEST(DiscountPage, ReadingOneGroupShowsItInTheControls) {
    ReportHarness h;
    F& f = h.Form();
    f.CBDiscountGroup->setCurrentIndex(1); // group 2: by time, 9:00..21:00, Monday to Friday flags
    f.ActionReadDiscountGroup->trigger();
    EXPECT_EQ(f.PageControl1->currentIndex(), 6);
    EXPECT_EQ(f.MEDiscountValueByGroup->MaskText(), "02.00");
    EXPECT_EQ(f.FirstCardCodeByDiscountGroup->text(), "2000");
    EXPECT_EQ(f.LastCardCodeByDiscountGroup->text(), "2999");
    EXPECT_FALSE(f.CBDiscountByDate->isChecked());
    EXPECT_TRUE(f.CBDiscountByTime->isChecked() && f.BeginTime->isEnabled());
    EXPECT_FALSE(f.CBDiscountByDayOfWeek->isChecked());
    EXPECT_EQ(f.BeginTime->time(), QTime(9, 0));
    EXPECT_EQ(f.EndTime->time(), QTime(21, 0));
    const Q710DiscountGroupRecord& g = h.State().DiscountGroups[1];
    EXPECT_EQ(g.value, 200);
    EXPECT_EQ(g.terms, 2);
    EXPECT_DOUBLE_EQ(g.beginTime, 0.375);
    EXPECT_EQ(g.firstCard, 1u);

    f.CBDiscountGroup->setCurrentIndex(3);
    EXPECT_EQ(Calls(h, "GetDiscountGroupParameters103"),
              std::vector<std::string>{"GetDiscountGroupParameters103(2)"});
}

// A fresh register read whole: every group listed, in its colours, bold.
TEST(DiscountPage, ReadingAllGroupsListsThemInColour) {
    ReportHarness h;
    F& f = h.Form();
    f.RichEdit1->setPlainText("old");
    bool lockedMeanwhile = true;
    h.ui.onProcessMessages = [&] {
        lockedMeanwhile = lockedMeanwhile && h.State().Busy == 1 &&
                          !f.ActionReadAllDiscountGroups->isEnabled() &&
                          !f.ActionWriteDiscountGroup->isEnabled() && !f.BitBtn6->isEnabled();
    };
    f.CBDiscountGroup->setCurrentIndex(2);
    f.ActionReadAllDiscountGroups->trigger();
    EXPECT_TRUE(lockedMeanwhile);
    EXPECT_EQ(h.State().Busy, 0);
    EXPECT_TRUE(f.ActionReadAllDiscountGroups->isEnabled());
    EXPECT_TRUE(h.ui.boxes.empty());

    std::vector<Shown> lines = Listing(f);
    const QColor text = f.RichEdit1->palette().color(QPalette::WindowText);
    const QColor blue(0, 0, 255), red(255, 0, 0), maroon(128, 0, 0), green(0, 128, 0);
    const std::vector<std::pair<std::string, QColor>> group1 = {
        {"ДИСКОНТНА ГРУПА №1", text},
        {"Значення знижки: 1,00%", blue},
        {"Початковий код картки: 1000", blue},
        {"Кінцевий код картки: 1999", blue},
        {std::string(50, '-'), blue},
        {"Термін дії знижки:", blue},
        {"По діапазону дат: 01.01.2024 - 31.12.2024", red},
        {"", text}};
    ASSERT_GT(lines.size(), group1.size());
    for (std::size_t i = 0; i < group1.size(); ++i) {
        EXPECT_EQ(lines[i].text, group1[i].first);
        if (!group1[i].first.empty()) {
            EXPECT_EQ(lines[i].colour, group1[i].second) << lines[i].text;
        }
    }
    std::vector<std::string> texts = Texts(lines);
    auto at = [&](const std::string& line) {
        return std::find(texts.begin(), texts.end(), line) - texts.begin();
    };
    EXPECT_EQ(lines[at("Інтервал часу: 9:00:00 - 21:00:00")].colour, maroon);
    EXPECT_EQ(lines[at("По днях тижня: Пн Вв Ср Чт Пт")].colour, green);
    EXPECT_EQ(texts[at("ДИСКОНТНА ГРУПА №4") + 5], "Тип знижки: безстрокова");
    EXPECT_EQ(texts.back(), "Тип знижки: безстрокова"); // group 15
    EXPECT_EQ(std::count(texts.begin(), texts.end(), std::string(50, '-')), 15);

    // The entries hold the register's groups; the chosen one is shown.
    for (int n = 1; n <= 15; ++n) {
        const Q710DiscountGroupRecord& g = h.State().DiscountGroups[n - 1];
        Q710DiscountGroupRecord r = RegisterGroup(h, n);
        EXPECT_EQ(g.group, n);
        EXPECT_EQ(g.value, r.value);
        EXPECT_EQ(g.firstCard, r.firstCard);
        EXPECT_EQ(g.terms, r.terms);
    }
    EXPECT_EQ(h.State().DiscountGroups[0].days[0], -1); // the first record is copied whole
    EXPECT_EQ(h.State().DiscountGroups[2].days[4], -1); // group 3: by days
    EXPECT_EQ(f.MEDiscountValueByGroup->MaskText(), "03.00");
    EXPECT_TRUE(f.CBDiscountByDayOfWeek->isChecked() && f.CBFriday->isChecked());
}

// The statuses of the first call and of the batch, each with what becomes
// of the page and the listing after it.
TEST(DiscountPage, ReadingAllGroupsThroughEveryStatus) {
    struct Case {
        const char* name;
        const char* scenario;
        std::vector<std::string> lines; // expected among the listing
        const char* box;                // "" when none
        int firstListed;                // group of the first listed header, 0 when none
    };
    const Case cases[] = {
        {"group 1 unavailable: the record of group 2 is taken", "discount-group 1 unavailable\n", {}, "", 2},
        {"unavailable groups in the batch are named and skipped",
         "discount-group 5 unavailable\ndiscount-group 15 unavailable\n",
         {"Дисконтна група №5 недоступна", "Дисконтна група №15 недоступна"},
         "",
         1},
        {"none programmed",
         "discount-group 1 unavailable\ndiscount-group 2 unavailable\ndiscount-group 3 unavailable\n"
         "discount-group 4 unavailable\ndiscount-group 5 unavailable\ndiscount-group 6 unavailable\n"
         "discount-group 7 unavailable\ndiscount-group 8 unavailable\ndiscount-group 9 unavailable\n"
         "discount-group 10 unavailable\ndiscount-group 11 unavailable\ndiscount-group 12 unavailable\n"
         "discount-group 13 unavailable\ndiscount-group 14 unavailable\ndiscount-group 15 unavailable\n",
         {},
         "В ЕККА не запрограмовано жодної дисконтної групи!",
         0},
        {"the register does not answer",
         "fail GetDiscountGroupParameters103 status 0xFD text \"Немає зв'язку: ЕККА не відповідає!\"\n",
         {},
         "Немає зв'язку: ЕККА не відповідає!",
         0},
        {"another failure of the first call is listed and the batch is asked on",
         "fail GetDiscountGroupParameters103 status 0x31 text \"Збій читання\"\n",
         {"Збій читання"},
         "Немає незавершеного запиту даних",
         0},
        {"a failed record ends the reading", "fail-record 3 text \"Збій запису\"\n", {}, "Збій запису", 1},
        {"a first record of group 16 is refused",
         "discount-group-byte 0 16\n",
         {"Невірний номер дисконтної групи у відповіді ЕККА: 16"},
         "",
         2},
        {"a batch record of group 16 is refused",
         "discount-group-byte 3 15\n",
         {"Невірний номер дисконтної групи у відповіді ЕККА: 16"},
         "",
         1},
        {"a first record of group 0 is refused",
         "discount-group-byte 0 0\n",
         {"Невірний номер дисконтної групи у відповіді ЕККА: 0"},
         "",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReportHarness h(c.scenario);
        F& f = h.Form();
        f.ActionReadAllDiscountGroups->trigger();
        std::vector<std::string> texts = Texts(Listing(f));
        for (const std::string& line : c.lines)
            EXPECT_NE(std::find(texts.begin(), texts.end(), line), texts.end()) << line;
        if (*c.box) {
            ASSERT_EQ(h.ui.boxes.size(), 1u);
            EXPECT_EQ(h.ui.boxes[0].Utf8Text(), c.box);
            EXPECT_EQ(h.ui.boxes[0].style, 0x2010u);
        } else {
            EXPECT_TRUE(h.ui.boxes.empty());
        }
        auto header = std::find_if(texts.begin(), texts.end(),
                                   [](const std::string& t) { return t.rfind("ДИСКОНТНА ГРУПА №", 0) == 0; });
        if (c.firstListed == 0) {
            EXPECT_EQ(header, texts.end());
        } else {
            ASSERT_NE(header, texts.end());
            EXPECT_EQ(*header, "ДИСКОНТНА ГРУПА №" + std::to_string(c.firstListed));
        }
        EXPECT_EQ(h.State().Busy, 0);
        EXPECT_TRUE(f.ActionReadAllDiscountGroups->isEnabled());
        // Nothing out of the table's range was written: every entry keeps its own number.
        for (int n = 1; n <= 15; ++n) EXPECT_EQ(h.State().DiscountGroups[n - 1].group, n);
    }
}

TEST(DiscountPage, WritingOneGroupTakesTheControls) {
    ReportHarness h;
    F& f = h.Form();
    f.CBDiscountGroup->setCurrentIndex(6);
    f.MEDiscountValueByGroup->SetMaskText("12.50");
    f.FirstCardCodeByDiscountGroup->setText("4820000000000");
    f.LastCardCodeByDiscountGroup->setText("4829999999999");
    f.CBDiscountByDate->setChecked(true);
    f.BeginDate->setDate(QDate(2025, 1, 1));
    f.EndDate->setDate(QDate(2025, 6, 30));
    f.BeginTime->setTime(QTime(8, 0)); // the time box is off: no times
    f.CBDiscountByDayOfWeek->setChecked(true);
    f.CBWednesday->setChecked(true);
    f.ActionWriteDiscountGroup->trigger();
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].Utf8Text(), "Параметри дисконтної групи №7 успішно записані.");
    EXPECT_EQ(h.ui.boxes[0].style, 0x2040u);
    Q710DiscountGroupRecord r = RegisterGroup(h, 7);
    EXPECT_EQ(r.value, 1250);
    EXPECT_EQ(r.terms, 5);
    EXPECT_EQ(r.firstCard, 4820000000000u);
    EXPECT_EQ(r.lastCard, 4829999999999u);
    EXPECT_EQ(r.beginDate, 45658.0);
    EXPECT_EQ(r.endDate, 45838.0);
    EXPECT_EQ(r.beginTime, 0.0);
    const int16_t days[7] = {0, 0, -1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(r.days, days, sizeof days), 0);
    // The record was sent with group byte 0, as the window builds it.
    std::vector<std::string> sent = Calls(h, "SetDiscountGroupParameters103");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(0, 35), "SetDiscountGroupParameters103(7, 00");

    // A first card above the last, and a card text that does not convert: nothing is written.
    f.FirstCardCodeByDiscountGroup->setText("200");
    f.LastCardCodeByDiscountGroup->setText("123");
    f.ActionWriteDiscountGroup->trigger();
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "Код початкової картки більший за код кінцевої картки!");
    f.FirstCardCodeByDiscountGroup->setText("abc");
    f.ActionWriteDiscountGroup->trigger();
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "'abc' is not a valid UInt64 value");
    EXPECT_EQ(h.ui.boxes.back().style & 0xF0u, platform::MbIconError);
    EXPECT_EQ(Calls(h, "SetDiscountGroupParameters103").size(), 1u);
}

// Card codes of twenty digits (any 64-bit code the register or the file
// holds) are shown whole, so reading a group and writing it back sends the
// same codes; typing stops at nineteen places.
TEST(DiscountPage, TwentyDigitCardsComeBackWhole) {
    ReportHarness h;
    F& f = h.Form();
    Q710DiscountGroupRecord r = RegisterGroup(h, 4);
    r.firstCard = 10000000000000000000u;
    r.lastCard = UINT64_MAX;
    const char* err = nullptr;
    ASSERT_EQ(h.State().Api().SetDiscountGroupParameters103(4, r, &err), 0);
    f.CBDiscountGroup->setCurrentIndex(3);
    f.ActionReadDiscountGroup->trigger();
    EXPECT_EQ(f.FirstCardCodeByDiscountGroup->text().toStdString(), "10000000000000000000");
    EXPECT_EQ(f.LastCardCodeByDiscountGroup->text().toStdString(), "18446744073709551615");
    f.FirstCardCodeByDiscountGroupExit();
    f.LastCardCodeByDiscountGroupExit();
    EXPECT_EQ(h.State().DiscountGroups[3].firstCard, 10000000000000000000u);
    EXPECT_EQ(h.State().DiscountGroups[3].lastCard, UINT64_MAX);
    f.ActionWriteDiscountGroup->trigger();
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "Параметри дисконтної групи №4 успішно записані.");
    Q710DiscountGroupRecord back = RegisterGroup(h, 4);
    EXPECT_EQ(back.firstCard, 10000000000000000000u);
    EXPECT_EQ(back.lastCard, UINT64_MAX);

    QLineEdit* edit = f.FirstCardCodeByDiscountGroup;
    edit->clear();
    for (int i = 0; i < 21; ++i) edit->insert("7");
    EXPECT_EQ(edit->text().toStdString(), std::string(19, '7'));
}

TEST(DiscountPage, WritingAllGroupsChecksEveryRangeFirstAndStopsAtAFailure) {
    {
        ReportHarness h;
        auto& groups = h.State().DiscountGroups;
        groups[6].firstCard = 10;
        groups[11].firstCard = 10;
        h.Form().ActionWriteAllDiscountGroups->trigger();
        ASSERT_EQ(h.ui.boxes.size(), 1u);
        EXPECT_EQ(h.ui.boxes[0].Utf8Text(),
                  "Група №7.\r\nКод початкової картки більший за код кінцевої картки!");
        EXPECT_TRUE(Calls(h, "SetDiscountGroupParameters103").empty());
    }
    {
        ReportHarness h("fail SetDiscountGroupParameters103 at 3 text \"Помилка запису групи\"\n");
        auto& groups = h.State().DiscountGroups;
        for (int i = 0; i < 15; ++i) groups[i].value = static_cast<uint16_t>(1000 + i);
        h.Form().ActionWriteAllDiscountGroups->trigger();
        EXPECT_EQ(h.BoxTexts(), std::vector<std::string>{"Помилка запису групи"});
        EXPECT_EQ(Calls(h, "SetDiscountGroupParameters103").size(), 3u);
        EXPECT_EQ(RegisterGroup(h, 2).value, 1001);
        EXPECT_EQ(RegisterGroup(h, 4).value, 400); // not reached
    }
    {
        ReportHarness h;
        h.Form().ActionWriteAllDiscountGroups->trigger();
        EXPECT_EQ(h.BoxTexts(), std::vector<std::string>{"Параметри всіх дисконтних груп успішно записані."});
        std::vector<std::string> sent = Calls(h, "SetDiscountGroupParameters103");
        ASSERT_EQ(sent.size(), 15u);
        EXPECT_EQ(sent[14].substr(0, 36), "SetDiscountGroupParameters103(15, 0f");
        EXPECT_EQ(RegisterGroup(h, 9).value, 0);
    }
}

TEST(DiscountPage, GroupsSavedToTheFileAndLoadedAllOrNothing) {
    ReportHarness h;
    F& f = h.Form();
    auto& groups = h.State().DiscountGroups;
    const std::string ini = h.dir.File("Discount.ini");
    f.BitBtn1->click();
    EXPECT_EQ(h.BoxTexts().back(), "Файл налаштунків дисконтних груп не знайдено!");
    EXPECT_EQ(h.ui.boxes.back().style, 0x2010u);

    groups[2].value = 700;
    groups[2].terms = 4;
    groups[2].days[1] = -1;
    groups[2].lastCard = 99;
    f.SpeedButton2->click();
    EXPECT_EQ(h.BoxTexts().back(), "Налаштунки дисконтних груп збережені!");
    EXPECT_EQ(h.ui.boxes.back().style, 0x2040u);
    const std::string saved = testfiles::Slurp(ini);
    EXPECT_NE(saved.find("[GROUP3]\r\nDiscountGroup=3\r\nDiscountType=4\r\nDiscountValue=700\r\n"
                         "FirstCodeByGroup=1\r\nLastCodeByGroup=99\r\n"),
              std::string::npos);

    for (auto& g : groups) g.value = 1;
    f.CBDiscountGroup->setCurrentIndex(2);
    f.BitBtn1->click();
    EXPECT_EQ(h.BoxTexts().back(), "Налаштунки дисконтних груп вдало завантажені!");
    EXPECT_EQ(groups[2].value, 700);
    EXPECT_EQ(groups[2].days[1], -1);
    EXPECT_EQ(groups[0].value, 0);
    EXPECT_EQ(f.MEDiscountValueByGroup->MaskText(), "07.00"); // the chosen group shown
    EXPECT_TRUE(f.CBTuesday->isChecked());

    // A garbage value anywhere: the conversion message and the table as it was.
    testfiles::Spit(ini, saved + "[GROUP15]\r\nFirstCodeByGroup=12x\r\n");
    testfiles::Spit(ini, [&] {
        std::string text = saved;
        text.replace(text.find("LastCodeByGroup=1\r\n", text.find("[GROUP14]")), 19,
                     "LastCodeByGroup=1x\r\n");
        return text;
    }());
    groups[0].value = 5;
    std::size_t boxes = h.ui.boxes.size();
    f.BitBtn1->click();
    ASSERT_EQ(h.ui.boxes.size(), boxes + 1);
    EXPECT_EQ(h.ui.boxes.back().Utf8Text(), "'1x' is not a valid UInt64 value");
    EXPECT_EQ(groups[0].value, 5);
    EXPECT_EQ(groups[2].value, 700);
}

} // namespace
